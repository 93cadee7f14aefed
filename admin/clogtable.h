#pragma once

#include <QFrame>

class CLogTable : public QFrame
{
    Q_OBJECT
public:
    explicit CLogTable(QWidget *parent = nullptr);
    ~CLogTable() override;
};
