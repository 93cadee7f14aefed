// The update file dialog with chosen files, the warning for files whose names a push cannot carry,
// and the HTML export's question before it replaces a file the added ".html" names.

#include "cdialogs.h"
#include "cresourcepage.h"
#include "cshotcontext.h"
#include "selupfiledlg.h"

#include <QCommandLinkButton>
#include <QCoreApplication>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// The file dialogs answer with the given lists of names in turn; every message box is kept
// (answered No) so the shot can show it.
class CBoxDialogs : public CDialogs
{
public:
    explicit CBoxDialogs(const QList<QStringList> &names)
        : m_names(names)
    {
        CDialogs::setInstance(this);
    }
    ~CBoxDialogs() override { CDialogs::setInstance(nullptr); }

    QStringList getOpenFileNames(QWidget *, const QString &, const QString &, const QString &) override
    {
        return m_names.isEmpty() ? QStringList() : m_names.takeFirst();
    }
    QString getSaveFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        return getOpenFileNames(nullptr, QString(), QString(), QString()).value(0);
    }
    QMessageBox::StandardButton message(QWidget *, QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton) override
    {
        boxes.append({icon, title, text, buttons});
        return QMessageBox::No;
    }

    struct Box
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    QList<Box> boxes;

private:
    QList<QStringList> m_names;
};

void saveBox(CShotContext &ctx, const CBoxDialogs::Box &b, const QString &name)
{
    QMessageBox box(b.icon, b.title, b.text, b.buttons);
    ctx.save(&box, name);
}

} // namespace

BRAMIX_SCREENS(update)
{
    {
        SelUpFileDlg dlg;
        for (const char *list : {"WindowsList", "LinuxList"})
            dlg.findChild<QListWidget *>(QLatin1String(list))->clear();
        dlg.setList(
            {QStringLiteral("C:\\Bramix\\update\\BramixClient.exe"), QStringLiteral("C:\\Bramix\\update\\Inquix.dll")},
            {QStringLiteral("/srv/bramix/update/bramix-client")}, QStringLiteral("2.2.20100301"));
        CBoxDialogs dialogs({{QStringLiteral("/srv/bramix/update/client:v2"),
                                 QString::fromUtf8("/srv/bramix/update/\xe6\x9b\xb4\xe6\x96\xb0-client"),
                                 QStringLiteral("/srv/bramix/update/bramix-agent")},
            {QStringLiteral("C:\\Bramix\\update\\Client 2:1.exe")}});
        dlg.findChild<QCommandLinkButton *>(QStringLiteral("buLinSel"))->click();
        ctx.save(&dlg, QStringLiteral("update_files"));
        if (!dialogs.boxes.isEmpty())
            saveBox(ctx, dialogs.boxes.first(), QStringLiteral("update_files_refused_two"));
        dialogs.boxes.clear();
        dlg.findChild<QCommandLinkButton *>(QStringLiteral("buWinSel"))->click();
        if (!dialogs.boxes.isEmpty())
            saveBox(ctx, dialogs.boxes.first(), QStringLiteral("update_files_refused_one"));
    }
    {
        QTemporaryDir dir;
        if (!dir.isValid())
            return;
        QFile taken(dir.filePath(QStringLiteral("inventory.html")));
        if (!taken.open(QIODevice::WriteOnly))
            return;
        taken.close();
        CBoxDialogs dialogs({{dir.filePath(QStringLiteral("inventory"))}});
        CResourcePage::save(nullptr, QStringLiteral("caption"), QStringLiteral("filter"),
            QCoreApplication::translate("qtm", "Export"), [](QTextStream &out) {
                out << CResourcePage::head() << CResourcePage::tail();
                return true;
            });
        if (!dialogs.boxes.isEmpty())
            saveBox(ctx, dialogs.boxes.first(), QStringLiteral("export_replace_question"));
    }
}
