// The progress frames busy and done, both logs and the folder editor.

#include "clogtable.h"
#include "cpcconfig.h"
#include "cset.h"
#include "cshotcontext.h"
#include "cstoretestrun.h"
#include "cupdatelog.h"
#include "frame.h"
#include "listeditdlg.h"
#include "qtm.h"
#include "updateprocessframe.h"

#include <QFile>
#include <QStandardItemModel>
#include <QTreeWidget>

namespace {

const QString kLab = QStringLiteral("{5a0c3e2b-7d41-4f6e-9b8a-000000000001}");

struct Client
{
    const char *uuid;
    const char *name;
    const char *ip;
    const char *os;
    const char *folder;
};

const Client kClients[] = {
    {"{5a0c3e2b-7d41-4f6e-9b8a-0000000000a1}", "ACCOUNTS-01", "198.51.100.21", "1", "lab"},
    {"{5a0c3e2b-7d41-4f6e-9b8a-0000000000a2}", "\xe8\xb4\xa2\xe5\x8a\xa1-02", "198.51.100.22", "2", "lab"},
    {"{5a0c3e2b-7d41-4f6e-9b8a-0000000000a3}", "RECEPTION", "198.51.100.23", "1", ""},
    {"{5a0c3e2b-7d41-4f6e-9b8a-0000000000a4}", "BUILD-MAC", "198.51.100.24", "3", "0"},
};

// Folders, clients with change records and update records, made through the store once per run.
void makeFixture()
{
    for (const char *name : {"list.xml", "configtempl.xml", "updateLog.xml"}) {
        if (!QFile::exists(CStoreTestRun::path(name)))
            CStoreTestRun::installShipped(name);
    }
    CSet set;
    set.openList();
    if (set.findPC(QString::fromLatin1(kClients[0].uuid)) == 1)
        return;
    set.addFolder(QStringLiteral("Accounting"), kLab);
    for (const Client &c : kClients) {
        const QString uuid = QString::fromLatin1(c.uuid);
        set.addPC(uuid, QString::fromUtf8(c.name), c.ip, QStringLiteral("2.1.20090713"), c.os);
        if (*c.folder)
            set.setPCFolder(
                uuid, QLatin1String(c.folder) == QLatin1String("lab") ? kLab : QString::fromLatin1(c.folder));
        CPcConfig cfg(uuid);
        cfg.open();
        cfg.createFromTemplate(
            QStringLiteral("UUID:%1|%2(%3)|2.1.20090713-1").arg(uuid, QString::fromUtf8(c.name), c.ip));
    }
    const QString first = QString::fromLatin1(kClients[0].uuid);
    const QString second = QString::fromLatin1(kClients[1].uuid);
    for (const QString &item : {QStringLiteral("^CPU$add$Name=Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n"),
             QStringLiteral("^Printer$add$Caption=HP LaserJet 4250 PCL6\n"),
             QStringLiteral("^Software$remove$Caption=Contoso Viewer 3.1\n"),
             QStringLiteral("^DiskDrive$add$Caption=ST3250410AS\nSize=250056737280\n")}) {
        CPcConfig cfg(first);
        cfg.open();
        cfg.applyChange(first + item);
    }
    {
        CPcConfig cfg(second);
        cfg.open();
        cfg.applyChange(second + QStringLiteral("^MemoryDevice$add$Capacity=2147483648\n"));
    }
    CUpdateLog log;
    log.init();
    log.addRecord(QStringLiteral("ACCOUNTS-01(198.51.100.21)"), QString(), QStringLiteral("2.2.20100301"),
        {QStringLiteral("C:\\Bramix\\update\\BramixClient.exe"), QStringLiteral("C:\\Bramix\\update\\readme.txt")},
        QStringLiteral("force"));
    log.addRecord(QStringLiteral("RECEPTION(198.51.100.23)"), QStringLiteral("2.1.20090713"),
        QStringLiteral("2.2.20100301"), {QStringLiteral("C:\\Bramix\\update\\BramixClient.exe")},
        QStringLiteral("auto"));
    log.save();
}

template<class F> void frameShots(CShotContext &ctx, const QString &name, const QString &counts)
{
    F frame(nullptr);
    frame.setWindowFlags(Qt::FramelessWindowHint);
    frame.start();
    frame.setDone(false);
    ctx.save(&frame, name + QStringLiteral("_busy"));
    frame.setDone(true);
    frame.finish();
    frame.setText(counts);
    ctx.save(&frame, name + QStringLiteral("_done"));
}

} // namespace

BRAMIX_SCREENS(frames)
{
    if (!ctx.liveData())
        makeFixture();

    frameShots<Frame>(ctx, QStringLiteral("scanframe"), QStringLiteral("found 3, 256 of 256"));
    frameShots<UpdateProcessFrame>(ctx, QStringLiteral("updateframe"), QStringLiteral("OK 4, failed 0, all 4"));

    qtm window(nullptr, {});
    {
        CLogTable table(nullptr);
        table.setModel(window.createChangeLogModel());
        ctx.save(&table, QStringLiteral("changelog"));
        table.setModel(window.createUpdateLogModel());
        ctx.save(&table, QStringLiteral("updatelog"));
    }

    ListEditDlg folders(nullptr);
    if (auto *tree = folders.findChild<QTreeWidget *>(QStringLiteral("treeWidget")))
        tree->expandAll();
    ctx.save(&folders, QStringLiteral("folders"));
}
