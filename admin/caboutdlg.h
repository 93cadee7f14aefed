#pragma once

#include "ui_caboutdlg.h"

#include <QDialog>

// The About box: the console's picture, product line and version.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
    ~CAboutDlg() override;

    Ui_CAboutDlgClass ui;
};
