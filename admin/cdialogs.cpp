#include "cdialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QPrintDialog>

namespace {
CDialogs *g_dialogs = nullptr;
}

CDialogs::~CDialogs()
{
    if (g_dialogs == this)
        g_dialogs = nullptr;
}

CDialogs *CDialogs::instance()
{
    static CDialogs toolkit;
    return g_dialogs ? g_dialogs : &toolkit;
}

void CDialogs::setInstance(CDialogs *dialogs)
{
    g_dialogs = dialogs;
}

QMessageBox::StandardButton CDialogs::message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString CDialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString CDialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList CDialogs::getOpenFileNames(
    QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QFont CDialogs::getFont(bool *ok, const QFont &initial, QWidget *parent)
{
    return QFontDialog::getFont(ok, initial, parent);
}

int CDialogs::execPrintDialog(QPrintDialog &dialog)
{
    return dialog.exec();
}

int CDialogs::execDialog(QDialog &dialog)
{
    return dialog.exec();
}

QMessageBox::StandardButton CDialogs::warning(QWidget *parent, const QString &title, const QString &text)
{
    return instance()->message(parent, QMessageBox::Warning, title, text);
}

QMessageBox::StandardButton CDialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    return instance()->message(parent, QMessageBox::Information, title, text);
}

QMessageBox::StandardButton CDialogs::question(QWidget *parent, const QString &title, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return instance()->message(parent, QMessageBox::Question, title, text, buttons, defaultButton);
}
