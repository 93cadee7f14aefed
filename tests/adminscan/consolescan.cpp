// bramix-consolescan [--details] | --show <UUID> | --push <file> <version>: the console's own network scan, for
// the run command and the end-to-end tests, which have no screen. It builds the console's main window offscreen from
// the files of its directory (it must lie in the server's directory, as the console does), runs
// "&Search", waits for the scan to end and prints one line "<UUID> <host label>" per new client (with
// --details, followed by the client's Details lines, indented); standard error gets the progress text,
// the scan's time and the process's peak resident size. --show prints the Details lines of a
// listed client without scanning. --push publishes <file> as the Linux client of <version> through the
// console's update file dialog with "push at once" ticked, waits until every listed client has
// reported and prints the update frame's text; it fails unless every push succeeded. No dialog waits: a message box the
// console would show is printed to standard error instead.
//
// It scans and pushes only inside a network namespace made for it: every local IPv4 address must lie in
// 127.0.0.0/8 or in BRAMIX_SCAN_ADDRESS's range (e.g. 198.51.100.1/24), otherwise it refuses.
#include "cnetnsguard.h"
#include "ctestdialogs.h"
#include "ctestmemory.h"
#include "qtm.h"
#include "selupfiledlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Bramix"));
    const QStringList args = app.arguments();
    const bool details = args.contains(QStringLiteral("--details"));
    if (args.value(1) == QLatin1String("--show") && args.size() == 3) {
        qtm window;
        window.init();
        const QList<QTreeWidgetItem *> items
            = window.ui.treeWidget->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
        for (QTreeWidgetItem *item : items) {
            if (item->data(0, Qt::UserRole).toString() != QStringLiteral("UUID=") + args.at(2))
                continue;
            emit window.ui.treeWidget->itemClicked(item, 0);
            std::printf("%s\n", qPrintable(item->text(0)));
            for (int row = 0; row < window.m_details->count(); ++row)
                std::printf("    %s\n", qPrintable(window.m_details->item(row)->text()));
            return 0;
        }
        std::fprintf(stderr, "bramix-consolescan: %s is not listed\n", qPrintable(args.at(2)));
        return 1;
    }
    const QString problem = CNetnsGuard::check();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "bramix-consolescan: %s\n", qPrintable(problem));
        return 1;
    }
    if (args.value(1) == QLatin1String("--push") && args.size() == 4) {
        CTestDialogs dialogs;
        CDialogs::setInstance(&dialogs);
        const QString file = args.at(2);
        const QString version = args.at(3);
        dialogs.dialogHandlers.enqueue([file, version](QDialog &dialog) {
            auto *dlg = qobject_cast<SelUpFileDlg *>(&dialog);
            if (!dlg)
                return int(QDialog::Rejected);
            dlg->findChild<QListWidget *>(QStringLiteral("WindowsList"))->clear();
            dlg->findChild<QListWidget *>(QStringLiteral("LinuxList"))->clear();
            dlg->setList({}, {file}, version);
            dlg->findChild<QCheckBox *>(QStringLiteral("cbForce"))->setChecked(true);
            return int(QDialog::Accepted);
        });
        int rc = 1;
        {
            qtm window;
            window.init();
            window.ui.actionUpdate_Client->trigger();
            QElapsedTimer timer;
            timer.start();
            while (window.m_updateTotal > 0 && window.m_updateOK + window.m_updateFailed < window.m_updateTotal
                && timer.elapsed() < 300000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::processEvents();
            for (const CTestDialogs::Message &m : std::as_const(dialogs.messages))
                std::fprintf(
                    stderr, "bramix-consolescan: message box \"%s\": %s", qPrintable(m.title), qPrintable(m.text));
            const QLabel *text = window.m_updateFrame.findChild<QLabel *>(QStringLiteral("m_ctrText"));
            std::printf("%s\n", text ? qPrintable(text->text()) : "");
            if (window.m_updateTotal > 0 && window.m_updateOK == window.m_updateTotal)
                rc = 0;
        }
        CDialogs::setInstance(nullptr);
        return rc;
    }
    CTestDialogs dialogs;
    CDialogs::setInstance(&dialogs);

    int rc = 0;
    {
        qtm window;
        window.init();
        const int before = window.ui.treeWidget->topLevelItemCount();
        window.ui.action_Open->trigger();
        QElapsedTimer timer;
        timer.start();
        while (window.m_scanFinished < window.m_scanStarted && timer.elapsed() < 300000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const qint64 scanMs = timer.elapsed();
        QCoreApplication::processEvents();
        for (const CTestDialogs::Message &m : std::as_const(dialogs.messages))
            std::fprintf(stderr, "bramix-consolescan: message box \"%s\": %s", qPrintable(m.title), qPrintable(m.text));
        std::fprintf(stderr, "bramix-consolescan: %d scaned,found %d\n", window.m_scanFinished, window.m_found);
        if (window.m_scanFinished < window.m_scanStarted)
            rc = 1;
        std::fprintf(stderr, "bramix-consolescan: scan %s after %lld ms, peak resident %lld KiB\n",
            rc == 0 ? "ended" : "still running", static_cast<long long>(scanMs),
            static_cast<long long>(CTestMemory::statusKiB("VmHWM")));
        // The scan appends its new clients after the items the tree had.
        for (int i = before; i < window.ui.treeWidget->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = window.ui.treeWidget->topLevelItem(i);
            const QString uuid = item->data(0, Qt::UserRole).toString().section(QLatin1Char('='), 1);
            std::printf("%s %s\n", qPrintable(uuid), qPrintable(item->text(0)));
            if (!details)
                continue;
            emit window.ui.treeWidget->itemClicked(item, 0);
            for (int row = 0; row < window.m_details->count(); ++row)
                std::printf("    %s\n", qPrintable(window.m_details->item(row)->text()));
        }
        std::fflush(stdout);
    }
    CDialogs::setInstance(nullptr);
    return rc;
}
