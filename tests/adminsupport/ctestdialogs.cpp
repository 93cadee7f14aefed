#include "ctestdialogs.h"

#include <QDialog>
#include <QPrintDialog>

CTestDialogs::CTestDialogs()
{
    CDialogs::setInstance(this);
}

CTestDialogs::~CTestDialogs()
{
    CDialogs::setInstance(nullptr);
}

QMessageBox::StandardButton CTestDialogs::message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    Q_UNUSED(defaultButton);
    messages.append(Message {icon, title, text, buttons, parent != nullptr});
    return answers.isEmpty() ? QMessageBox::NoButton : answers.dequeue();
}

QStringList CTestDialogs::nextFiles(
    const QString &kind, const QString &caption, const QString &dir, const QString &filter)
{
    fileRequests.append(FileRequest {kind, caption, dir, filter});
    return fileNames.isEmpty() ? QStringList() : fileNames.dequeue();
}

QString CTestDialogs::getSaveFileName(QWidget *, const QString &caption, const QString &dir, const QString &filter)
{
    return nextFiles(QStringLiteral("save"), caption, dir, filter).value(0);
}

QString CTestDialogs::getOpenFileName(QWidget *, const QString &caption, const QString &dir, const QString &filter)
{
    return nextFiles(QStringLiteral("open"), caption, dir, filter).value(0);
}

QStringList CTestDialogs::getOpenFileNames(QWidget *, const QString &caption, const QString &dir, const QString &filter)
{
    return nextFiles(QStringLiteral("openMany"), caption, dir, filter);
}

QFont CTestDialogs::getFont(bool *ok, const QFont &initial, QWidget *)
{
    const bool have = !fonts.isEmpty();
    if (ok)
        *ok = have;
    return have ? fonts.dequeue() : initial;
}

int CTestDialogs::execPrintDialog(QPrintDialog &dialog)
{
    printDialogTitles.append(dialog.windowTitle());
    const bool accept = !printAccepts.isEmpty() && printAccepts.dequeue();
    return accept ? QDialog::Accepted : QDialog::Rejected;
}

int CTestDialogs::execDialog(QDialog &dialog)
{
    dialogs.append(dialog.objectName());
    if (dialogHandlers.isEmpty())
        return QDialog::Rejected;
    return dialogHandlers.dequeue()(dialog);
}

void CTestDialogs::reset()
{
    answers.clear();
    fileNames.clear();
    fonts.clear();
    printAccepts.clear();
    dialogHandlers.clear();
    messages.clear();
    fileRequests.clear();
    printDialogTitles.clear();
    dialogs.clear();
}
