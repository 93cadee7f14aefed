#include "cnoticeflagbatch.h"
#include "cset.h"
#include "cstoretestrun.h"

#include <QCoreApplication>
#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

namespace {

const QString kPath = QStringLiteral("/nowhere/list.xml");

// A writer that records each write's flips and, on request, holds its first write until released.
struct RecordingWriter
{
    QMutex lock;
    QList<QList<CNoticeFlagBatch::Flip>> writes;
    QSemaphore entered;
    QSemaphore release;
    bool holdFirst = false;
    int rc = 0;
    std::atomic<int> returned {0};
    QList<int> returnedAtStart; // callers back at the start of each write

    CNoticeFlagBatch::Writer writer()
    {
        return [this](const QList<CNoticeFlagBatch::Flip> &flips, QByteArray *written) {
            int n;
            {
                QMutexLocker locker(&lock);
                writes.append(flips);
                returnedAtStart.append(returned.load());
                n = int(writes.size());
            }
            if (n == 1 && holdFirst) {
                entered.release();
                release.acquire();
            }
            *written = QByteArray::number(n);
            return rc;
        };
    }
};

} // namespace

class TestNoticeFlagBatch : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
    }

    // Flips that come while a write is under way are made by one next write, and nobody returns
    // before the write holding their flip is done.
    void mergesWhatWaits_data()
    {
        QTest::addColumn<int>("rc");
        QTest::newRow("written") << 0;
        QTest::newRow("failed") << -1;
    }
    void mergesWhatWaits()
    {
        QFETCH(int, rc);
        const QString path = kPath + QString::number(rc);
        RecordingWriter w;
        w.holdFirst = true;
        w.rc = rc;
        const int waiting = 20;
        std::vector<int> results(waiting + 1, 7);
        std::vector<QByteArray> written(waiting + 1);
        std::vector<std::unique_ptr<QThread>> threads;
        auto start = [&](int i) {
            threads.emplace_back(QThread::create([&, i] {
                results[size_t(i)] = CNoticeFlagBatch::flip(
                    path, {QStringLiteral("u%1").arg(i), QStringLiteral("no")}, w.writer(), &written[size_t(i)]);
                ++w.returned;
            }));
            threads.back()->start();
        };
        start(0);
        QVERIFY(w.entered.tryAcquire(1, 5000));
        for (int i = 1; i <= waiting; ++i)
            start(i);
        QThread::msleep(300); // all of them queued behind the held write
        QCOMPARE(w.returned.load(), 0);
        w.release.release();
        for (auto &t : threads)
            QVERIFY(t->wait(5000));

        QCOMPARE(w.writes.size(), 2);
        QCOMPARE(w.writes.at(0).size(), 1);
        QCOMPARE(w.writes.at(0).at(0).uuid, QStringLiteral("u0"));
        QSet<QString> second;
        for (const CNoticeFlagBatch::Flip &f : w.writes.at(1))
            second.insert(f.uuid);
        QCOMPARE(second.size(), waiting);
        QVERIFY(!second.contains(QStringLiteral("u0")));
        // None of the second write's callers was back before it began; the first write's caller may
        // or may not have counted itself yet.
        QVERIFY(w.returnedAtStart.at(1) <= 1);
        for (int i = 0; i <= waiting; ++i) {
            QCOMPARE(results[size_t(i)], rc);
            QCOMPARE(written[size_t(i)], QByteArray(i == 0 ? "1" : "2"));
        }
    }

    // Through the client list: concurrent flips all land, each visible in the file when its call
    // returns.
    void concurrentFlipsOfTheList()
    {
        const int clients = 48;
        QList<CSet::NewPC> pcs;
        QStringList uuids;
        for (int i = 0; i < clients; ++i) {
            uuids.append(QUuid::createUuid().toString());
            pcs.append({uuids.last(), QStringLiteral("pc%1").arg(i), QStringLiteral("192.0.2.%1").arg(i + 1),
                QStringLiteral("2.1"), QStringLiteral("1")});
        }
        {
            CSet set;
            set.openList();
            QCOMPARE(set.addPCs(pcs), clients);
            for (const QString &u : uuids)
                QCOMPARE(set.setNotice(u, true), 0);
        }
        std::vector<int> results(size_t(clients), 7);
        std::vector<int> seen(size_t(clients), 0);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < clients; ++i) {
            threads.emplace_back(QThread::create([&, i] {
                CSet set;
                set.openList();
                results[size_t(i)] = set.setNotice(uuids.at(i), false);
                // Durable means: any reader of the file sees the flip now.
                CSet reader;
                reader.openList();
                std::list<PCEntry> list;
                reader.getPCList(list);
                for (const PCEntry &e : list) {
                    if (e.at("UUID") == uuids.at(i).toStdString() && e.at("notice") == "no")
                        seen[size_t(i)] = 1;
                }
            }));
        }
        for (auto &t : threads)
            t->start();
        for (auto &t : threads)
            QVERIFY(t->wait(30000));
        for (int i = 0; i < clients; ++i) {
            QCOMPARE(results[size_t(i)], 0);
            QCOMPARE(seen[size_t(i)], 1);
        }
        QDomDocument doc;
        QVERIFY(CStoreTestRun::parses(QStringLiteral("list.xml"), &doc));
        const QDomNodeList all = doc.elementsByTagName(QStringLiteral("pc"));
        QCOMPARE(all.count(), clients);
        for (int i = 0; i < all.count(); ++i)
            QCOMPARE(all.item(i).toElement().attribute(QStringLiteral("notice")), QStringLiteral("no"));
    }

    // A root other than the list's: every flip of the write gets the list's -1, nothing is written.
    void foreignRoot()
    {
        QVERIFY(CStoreTestRun::write(QStringLiteral("list.xml"), "<list><pc UUID=\"{1}\" notice=\"yes\"/></list>\n"));
        CSet set;
        set.openList();
        QCOMPARE(set.setNotice(QStringLiteral("{1}"), false), -1);
        QCOMPARE(CStoreTestRun::read(QStringLiteral("list.xml")),
            QByteArray("<list><pc UUID=\"{1}\" notice=\"yes\"/></list>\n"));
    }
};

BRAMIX_STORE_TEST_MAIN(TestNoticeFlagBatch)
#include "tst_noticeflagbatch.moc"
