#pragma once

#include "cdialogs.h"

#include <QFont>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

class QDialog;

// Dialogs that never wait: each call takes the next scripted answer (or a "cancelled" answer when
// none is queued) and records what the console asked.
class CTestDialogs : public CDialogs
{
public:
    struct Message
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        bool hasParent;
    };
    struct FileRequest
    {
        QString kind; // "save", "open", "openMany"
        QString caption;
        QString dir;
        QString filter;
    };
    // Gets the dialog the console built (ready to inspect or to fill in) and returns its result.
    typedef std::function<int(QDialog &)> DialogHandler;

    CTestDialogs();
    ~CTestDialogs() override;

    // Scripted answers, taken in order.
    QQueue<QMessageBox::StandardButton> answers; // none queued: the box's Cancel-like NoButton
    QQueue<QStringList> fileNames; // none queued: the dialog was cancelled
    QQueue<QFont> fonts; // none queued: cancelled (ok = false)
    QQueue<bool> printAccepts; // none queued: rejected
    QQueue<DialogHandler> dialogHandlers; // none queued: rejected without running

    // What was asked.
    QList<Message> messages;
    QList<FileRequest> fileRequests;
    QStringList printDialogTitles;
    QStringList dialogs; // object names of the dialogs run

    QMessageBox::StandardButton message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) override;
    QString getSaveFileName(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter) override;
    QString getOpenFileName(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter) override;
    QStringList getOpenFileNames(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter) override;
    QFont getFont(bool *ok, const QFont &initial, QWidget *parent) override;
    int execPrintDialog(QPrintDialog &dialog) override;
    int execDialog(QDialog &dialog) override;

    // Forgets scripts and records.
    void reset();

private:
    QStringList nextFiles(const QString &kind, const QString &caption, const QString &dir, const QString &filter);
};
