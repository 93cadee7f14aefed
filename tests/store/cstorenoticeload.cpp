#include "cstorenoticeload.h"

#include "cpcconfig.h"
#include "cset.h"

#include <QAtomicInt>
#include <QThread>
#include <QUuid>

#include <memory>
#include <vector>

QString CStoreNoticeLoad::cpuRow(const QString &tag, int t, int k)
{
    return QStringLiteral("Manufacturer=M\nName=%1-%2-%3\n").arg(tag).arg(t).arg(k);
}

QString CStoreNoticeLoad::softwareRow(const QString &tag, int t, int k)
{
    return QStringLiteral("Caption=%1-%2-%3 suite\nVersion=1.0\n").arg(tag).arg(t).arg(k);
}

QString CStoreNoticeLoad::items(const QString &tag, int t, int k)
{
    return QStringLiteral("^CPU$add$") + cpuRow(tag, t, k) + QStringLiteral("^Software$add$") + softwareRow(tag, t, k);
}

int CStoreNoticeLoad::runNotices(const QString &tag, int threads, int perThread, const QStringList &uuids)
{
    QAtomicInt failures;
    std::vector<std::unique_ptr<QThread>> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(QThread::create([&, t]() {
            for (int k = 0; k < perThread; ++k) {
                const QString uuid = uuids.at(clientOf(t, k, uuids.size()));
                CPcConfig cfg(uuid);
                cfg.open();
                if (cfg.applyChange(uuid + items(tag, t, k)) != 0)
                    failures.ref();
            }
        }));
        workers.back()->start();
    }
    for (auto &w : workers)
        w->wait();
    return failures.loadRelaxed() == 0 ? 0 : 1;
}

int CStoreNoticeLoad::runAdder(const QString &tag, int count)
{
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        CSet set;
        set.openList();
        if (set.addPC(QUuid::createUuid().toString(), QStringLiteral("%1-%2").arg(tag).arg(i),
                QStringLiteral("10.1.0.%1").arg(i % 250), QStringLiteral("2.1.20090713"), QStringLiteral("1"))
            != 0)
            ++failures;
        if (set.addFolder(QStringLiteral("%1-f%2").arg(tag).arg(i), QUuid::createUuid().toString()) != 0)
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
