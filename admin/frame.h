#pragma once

#include <QFrame>

class Frame : public QFrame
{
    Q_OBJECT
public:
    explicit Frame(QWidget *parent = nullptr);
    ~Frame() override;
};
