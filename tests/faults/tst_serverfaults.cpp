// BramixServer under faults, as real processes: killed with SIGKILL in the middle of a burst of
// change notices, flooded with idle connections, and sent frames that announce 4 GiB.
#include "cfaultserver.h"
#include "cidleconnections.h"
#include "cmessages.h"
#include "cnoticeclient.h"
#include "crawpeer.h"
#include "cshortframe.h"
#include "cshortframereader.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QTcpSocket>
#include <QUuid>
#include <QtTest>

namespace {

QString newUuid()
{
    return QUuid::createUuid().toString();
}

// A change notice on a connection of its own: true when "setChange:ok" comes back.
bool noticeAcknowledged(const QString &uuid, const QString &row, int timeoutMs = 60000)
{
    return CFaultServer::timedNotice(uuid, row, timeoutMs) >= 0;
}

} // namespace

class TestServerFaults : public QObject
{
    Q_OBJECT

private slots:
    void killedDuringNotices()
    {
        const int clients = 100;
        const int rowsPerClient = 20;
        CFaultServer server;
        QVERIFY(server.isValid());
        QStringList uuids;
        for (int i = 0; i < clients; ++i)
            uuids.append(newUuid());
        QVERIFY(server.addClients(uuids));
        QVERIFY(server.start());

        std::vector<std::unique_ptr<CNoticeClient>> agents;
        for (int i = 0; i < clients; ++i) {
            QStringList rows;
            for (int k = 0; k < rowsPerClient; ++k)
                rows.append(QStringLiteral("Caption=client %1 package %2\nVersion=1.%2\n").arg(i).arg(k));
            agents.push_back(std::make_unique<CNoticeClient>(uuids.at(i), rows, 1 + i % 3));
        }
        const auto acknowledged = [&] {
            int n = 0;
            for (const auto &a : agents)
                n += a->acknowledged();
            return n;
        };
        for (const auto &a : agents)
            a->run();

        // Kill the server in the middle of the burst.
        const int total = clients * rowsPerClient;
        QVERIFY(CTestEnvironment::waitFor([&] { return acknowledged() >= total / 4; }, 120000));
        server.kill();
        const int beforeKill = acknowledged();
        QVERIFY2(beforeKill < total, "the burst ended before the kill");

        // Dead server: the notices in flight fail, nothing is acknowledged.
        for (const auto &a : agents)
            a->stop();
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                for (const auto &a : agents)
                    if (a->busy())
                        return false;
                return true;
            },
            60000));
        QVERIFY2(server.unreadableFiles().isEmpty(), qPrintable(server.unreadableFiles().join(QLatin1Char(' '))));
        const QStringList stray = server.strayFiles();

        // Restarted on the same files, the clients send what was not acknowledged.
        QVERIFY(server.start());
        for (const auto &a : agents)
            a->run();
        QVERIFY(CTestEnvironment::waitFor([&] { return acknowledged() == total; }, 180000));
        QVERIFY2(server.unreadableFiles().isEmpty(), qPrintable(server.unreadableFiles().join(QLatin1Char(' '))));

        int failedNotices = 0;
        int storedTwice = 0;
        for (const auto &a : agents) {
            failedNotices += a->failedNotices();
            const QMap<QString, int> stored = CFaultServer::storedRows(server.file(a->uuid() + QStringLiteral(".xml")));
            QCOMPARE(stored.size(), rowsPerClient);
            for (const QString &row : a->rows()) {
                const int n = stored.value(row);
                // A notice the server stored but could not acknowledge before it died comes again, and
                // an add is applied as often as it arrives: such a change may be stored twice. Every
                // other change is stored exactly once.
                if (n == 2 && a->unanswered().contains(row)) {
                    ++storedTwice;
                    continue;
                }
                QVERIFY2(n == 1, qPrintable(QStringLiteral("%1 stored %2 times").arg(row.trimmed()).arg(n)));
            }
        }
        qInfo("%d clients, %d changes: %d acknowledged before the kill, %d notices unanswered and sent again, "
              "%d changes stored twice (stored, then killed before the acknowledgement), %d stray files after "
              "the kill%s%s",
            clients, total, beforeKill, failedNotices, storedTwice, int(stray.size()), stray.isEmpty() ? "" : ": ",
            qPrintable(stray.join(QLatin1Char(' '))));
    }

    void idleConnections()
    {
        const int idle = 2000;
        QVERIFY2(
            CIdleConnections::raiseFileLimit(idle + 1024) >= rlim_t(idle + 512), "cannot raise the open-file limit");
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.start());

        CIdleConnections conns;
        QCOMPARE(conns.open(CMessages::ServerPort, idle), idle);
        QVERIFY(CTestEnvironment::waitFor([&] { return server.running(); }, 1000));

        // Real requests are served while the idle connections are held.
        for (int i = 0; i < 5; ++i) {
            QVERIFY2(noticeAcknowledged(uuid, QStringLiteral("Caption=real %1\n").arg(i), 20000),
                qPrintable(QStringLiteral("notice %1 not answered while %2 idle connections are held (%3 still open)")
                               .arg(i)
                               .arg(idle)
                               .arg(conns.stillOpen())));
        }
        QVERIFY(server.running());
        qInfo("%d idle connections held, %d still open after the real requests; 5 notices answered", idle,
            conns.stillOpen());
    }

    // A worker whose thread cannot be started (thread creation fails while a file exists, as in a
    // process out of threads): its connection is closed with nothing written or stored, and its
    // place in the pool (one worker here) is free again: once threads can be made, the next
    // request is served.
    void threadStartFailure_data()
    {
        QTest::addColumn<bool>("updateCheck"); // else a change notice
        QTest::newRow("change notice") << false;
        QTest::newRow("update check") << true;
    }

    void threadStartFailure()
    {
        QFETCH(bool, updateCheck);
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.publishUpdate("new client"));
        const QString preload = QCoreApplication::applicationDirPath() + QStringLiteral("/faults_threadfail.so");
        QVERIFY2(QFile::exists(preload), qPrintable(preload));
        const QString noThreads = server.dir() + QStringLiteral("/../no-threads");
        server.setEnv(QStringLiteral("LD_PRELOAD"), preload);
        server.setEnv(QStringLiteral("BRAMIX_FAULT_THREADS_FILE"), noThreads);
        // A sanitizer's runtime wants to be loaded first; it is the preloaded library's next here.
        server.setEnv(QStringLiteral("ASAN_OPTIONS"),
            qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":verify_asan_link_order=0"));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_WORKERS"), QStringLiteral("1"));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_PUSHES"), QStringLiteral("1"));
        QVERIFY(server.start());

        const auto request = [&](const QString &label) {
            return CShortFrame::encode(updateCheck
                    ? CMessages::buildUpdateCheck(QStringLiteral("2.1.20090713"), QStringLiteral("1"), label)
                    : CMessages::buildChangeNotice(
                        uuid, {CMessages::changeItem(QStringLiteral("Software"), QStringLiteral("add"), label)}));
        };
        const QString refused = QStringLiteral("Caption=no thread\n");
        QVERIFY(CTestEnvironment::writeFile(noThreads, QByteArray()));
        CRawPeer first;
        QVERIFY(first.connectTo(CMessages::ServerPort));
        QVERIFY(first.sendAll(request(refused), 5000));
        QVERIFY2(first.waitEnded(10000), "the connection of a worker that did not start stays open");
        QCOMPARE(first.received(), qint64(0));
        QVERIFY(server.running());

        QVERIFY(QFile::remove(noThreads));
        const QString served = QStringLiteral("Caption=served\n");
        CRawPeer next;
        next.setKeepBytes(64);
        QVERIFY(next.connectTo(CMessages::ServerPort));
        QVERIFY(next.sendAll(request(served), 5000));
        QVERIFY2(next.waitEnded(20000), "no answer once threads can be made again");
        if (updateCheck) {
            QVERIFY(next.kept().contains("SWAPLETFILE:BramixClient:"));
            const QByteArray log = CTestEnvironment::readFile(server.file(QStringLiteral("updateLog.xml")));
            QCOMPARE(log.count("<record>"), 1);
            QVERIFY(log.contains(served.toUtf8()));
        } else {
            QString text;
            QVERIFY(CShortFrame::decode(next.kept(), &text) && CMessages::isAck(text));
            const QMap<QString, int> stored = CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml")));
            QCOMPARE(stored.value(refused), 0);
            QCOMPARE(stored.value(served), 1);
        }
    }

    void hugeFrame_data()
    {
        QTest::addColumn<QByteArray>("head");
        // Extended count 0xFFFFFFFF: 4 GiB announced.
        QTest::newRow("extended count 4 GiB") << QByteArray::fromHex("ffffffffffff");
        // The largest count above the limit.
        QTest::newRow("extended count limit + 1") << QByteArray::fromHex("ffff04000001");
    }

    void hugeFrame()
    {
        QFETCH(QByteArray, head);
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.start());
        QVERIFY(noticeAcknowledged(uuid, QStringLiteral("Caption=warm up\n")));
        const qint64 before = server.residentKiB();
        QVERIFY(before > 0);

        // Several peers at once, each announcing the frame and then sending what fits a socket.
        const int peers = 16;
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < peers; ++i) {
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QStringLiteral("127.0.0.1"), CMessages::ServerPort);
            QVERIFY(s->waitForConnected(5000));
            s->write(head + QByteArray(1 << 20, 'x'));
            sockets.push_back(std::move(s));
        }
        // Refused at once: the server closes each connection without waiting for the bytes (its
        // wait for missing bytes is 30 s).
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                for (const auto &s : sockets)
                    if (s->state() != QAbstractSocket::UnconnectedState)
                        return false;
                return true;
            },
            10000));
        const qint64 after = server.residentKiB();
        QVERIFY(server.running());
        QVERIFY(noticeAcknowledged(uuid, QStringLiteral("Caption=after\n")));
        qInfo("VmRSS %lld KiB before, %lld KiB after %d peers announced the frame", before, after, peers);
        QVERIFY2(after - before < 32 * 1024, "server memory grew with the announced size");
    }
};

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
