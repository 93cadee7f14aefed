#pragma once

#include <QFont>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QPrintDialog;
class QWidget;

// Every console dialog that waits for the user goes through here: message boxes, file and font
// dialogs, the print dialog and the console's own modal dialogs. By default the toolkit's dialogs
// run; a test installs a stand-in that answers from a script and records what was asked.
class CDialogs
{
public:
    virtual ~CDialogs();

    // The dialogs in use; never null.
    static CDialogs *instance();
    // Replaces the dialogs in use (null brings back the toolkit's); the caller keeps ownership.
    static void setInstance(CDialogs *dialogs);

    // A modal message box; an empty title leaves the box's title unset.
    virtual QMessageBox::StandardButton message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
    virtual QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
    virtual QStringList getOpenFileNames(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
    virtual QFont getFont(bool *ok, const QFont &initial, QWidget *parent);
    // Runs a print dialog modally: QDialog::Accepted or QDialog::Rejected.
    virtual int execPrintDialog(QPrintDialog &dialog);
    // Runs one of the console's own modal dialogs (About box, folder editor, ...): its exec() result.
    virtual int execDialog(QDialog &dialog);

    // Shorthands for message().
    static QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text);
    static QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text);
    static QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
};
