#pragma once

#include <QFrame>

class UpdateProcessFrame : public QFrame
{
    Q_OBJECT
public:
    explicit UpdateProcessFrame(QWidget *parent = nullptr);
    ~UpdateProcessFrame() override;
};
