// The scan progress frame during and after a scan, the window with the clients it found, and the
// update file dialog on a published update.

#include "cshotcontext.h"
#include "cstoretestrun.h"
#include "cupdatelist.h"
#include "qtm.h"
#include "selupfiledlg.h"

#include <QCheckBox>
#include <QFile>

namespace {

// What a scan of one /24 reports, in the order the probes report: the frame and the status bar
// follow the console's own counting.
void reportScan(qtm &window, int failures, const QStringList &found)
{
    int n = 0;
    for (const QString &label : found) {
        const QString uuid = QStringLiteral("{5a0c3e2b-7d41-4f6e-9b8a-0000000001%1}").arg(++n, 2, 10, QLatin1Char('0'));
        window.addPC(label, uuid, QString::number(n % 2 + 1));
    }
    for (int i = 0; i < failures; ++i)
        window.DoScanFailed();
}

} // namespace

BRAMIX_SCREENS(scan)
{
    {
        // The frame as the "&Search" action leaves it, without probing anything: these pictures are
        // taken outside any test network.
        qtm window(nullptr, {});
        window.init();
        window.m_scanStarted = 255;
        window.m_scanFinished = 0;
        window.m_found = 0;
        window.m_scanFrame.setWindowFlags(Qt::FramelessWindowHint);
        window.m_scanFrame.start();
        window.m_scanFrame.setDone(false);
        reportScan(
            window, 95, {QStringLiteral("ACCOUNTS-07(198.51.100.7)"), QStringLiteral("LAB-PC12(198.51.100.12)")});
        ctx.save(&window.m_scanFrame, QStringLiteral("scan_busy"));
        reportScan(window, 157, {QStringLiteral("RECEPTION-2(198.51.100.40)")});
        ctx.save(&window.m_scanFrame, QStringLiteral("scan_done"));
        window.resize(858, 536);
        ctx.save(&window, QStringLiteral("scan_found"));
    }

    if (!ctx.liveData()) {
        if (!QFile::exists(CStoreTestRun::path(QStringLiteral("uplist.xml"))))
            CStoreTestRun::installShipped(QStringLiteral("uplist.xml"));
        CUpdateList list;
        list.setList(
            {QStringLiteral("C:\\Bramix\\update\\BramixClient.exe"), QStringLiteral("C:\\Bramix\\update\\Inquix.dll")},
            {QStringLiteral("/srv/bramix/update/BramixClient"), QStringLiteral("/srv/bramix/update/libInquix.so")},
            QStringLiteral("2.2.20100301"));
    }
    SelUpFileDlg dialog(nullptr);
    ctx.save(&dialog, QStringLiteral("updatefiles"));
    if (auto *force = dialog.findChild<QCheckBox *>(QStringLiteral("cbForce")))
        force->setChecked(true);
    ctx.save(&dialog, QStringLiteral("updatefiles_force"));
}
