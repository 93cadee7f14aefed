#pragma once

#include <QMainWindow>

class CReport : public QMainWindow
{
    Q_OBJECT
public:
    explicit CReport(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~CReport() override;
};
