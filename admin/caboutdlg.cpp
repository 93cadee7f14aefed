#include "caboutdlg.h"

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    ui.setupUi(this);
    // The console's own version; the client agent has a version of its own.
    ui.m_ctrVersion->setText(QStringLiteral("Version :") + QStringLiteral("2.1.20090715"));
}

CAboutDlg::~CAboutDlg() = default;
