// BramixServer under attack, as a real process: hundreds of peers dripping their requests a byte at
// a time, headers that announce far more than follows, frames that fill the buffer cap, and update
// checks whose pushes go to clients that read nothing.
#include "ccommandframe.h"
#include "cfaultserver.h"
#include "cidleconnections.h"
#include "cmessages.h"
#include "crawpeer.h"
#include "cshortframe.h"
#include "cshortframereader.h"
#include "ctestmemory.h"

#include <QDomDocument>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QUuid>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const qint64 MiB = 1024 * 1024;

QString newUuid()
{
    return QUuid::createUuid().toString();
}

QString noticeText(const QString &uuid, const QString &row)
{
    return CMessages::buildChangeNotice(
        uuid, {CMessages::changeItem(QStringLiteral("Software"), QStringLiteral("add"), row)});
}

// A notice of one row, the row padded so that the frame's count is exactly count bytes (4 for the
// string's length, 2 per UTF-16 unit); the row is returned in row.
QByteArray noticeOfCount(const QString &uuid, const QString &prefix, qint64 count, QString *row)
{
    const qsizetype units = qsizetype((count - 4) / 2);
    *row = prefix;
    row->append(QString(units - noticeText(uuid, prefix).size(), QLatin1Char('a')));
    return CShortFrame::encode(noticeText(uuid, *row));
}

QByteArray utf16be(const QString &text)
{
    QByteArray bytes(text.size() * 2, '\0');
    qToBigEndian<quint16>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

QByteArray extendedHead(quint32 count)
{
    QByteArray head(6, '\0');
    qToBigEndian<quint16>(CShortFrame::ExtendedMark, head.data());
    qToBigEndian<quint32>(count, head.data() + 2);
    return head;
}

bool isAckFrame(const QByteArray &bytes)
{
    QString text;
    return CShortFrame::decode(bytes, &text) && CMessages::isAck(text);
}

// An update check from a client of an older version, labelled label.
QByteArray updateCheckFrame(const QString &label)
{
    return CShortFrame::encode(CMessages::buildUpdateCheck(QStringLiteral("2.1.20090713"), QStringLiteral("1"), label));
}

using Peers = std::vector<std::unique_ptr<CRawPeer>>;

// Peers that each send an update check and then read nothing (their receive buffers are small, so
// a push to them stalls at once).
bool checksThatReadNothing(int count, Peers *peers)
{
    for (int i = 0; i < count; ++i) {
        peers->push_back(std::make_unique<CRawPeer>(4096));
        if (!peers->back()->connectTo(CMessages::ServerPort))
            return false;
        peers->back()->sendSome(updateCheckFrame(QStringLiteral("reads nothing%1").arg(i)));
    }
    return true;
}

int closedCount(const Peers &peers)
{
    int n = 0;
    for (const auto &p : peers)
        n += p->remoteClosed() ? 1 : 0;
    return n;
}

} // namespace

class TestServerAttack : public QObject
{
    Q_OBJECT

private slots:
    // Peers that send their request a byte at a time, or stop sending, hold no worker: with two
    // workers, real notices are answered at once while hundreds of them are connected. Each such
    // connection is closed when it has sent nothing for the wait, or has not sent its whole frame
    // by the deadline, with nothing written to it; what it sent is never stored.
    void slowPeers_data()
    {
        QTest::addColumn<int>("firstBytes"); // sent at once
        QTest::addColumn<int>("dripMs"); // then one byte each so often; 0: nothing more

        QTest::newRow("nothing sent") << 0 << 0;
        QTest::newRow("two bytes, then silence") << 2 << 0;
        QTest::newRow("a byte every two seconds") << 1 << 2000;
    }

    void slowPeers()
    {
        QFETCH(int, firstBytes);
        QFETCH(int, dripMs);
        const int peers = 500;
        const qint64 waitMs = 4000;
        const qint64 deadlineMs = 9000;
        // Held behind the slow peers, a notice would be answered only once they are closed: what tells
        // is how many are answered while every peer is connected. A loaded machine may take seconds
        // over one, so the bound per notice is only below the deadline.
        const qint64 answerBoundMs = deadlineMs - 1000;
        QVERIFY(CIdleConnections::raiseFileLimit(peers + 1024) >= rlim_t(peers + 256));

        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_WORKERS"), QStringLiteral("2"));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_WAIT_MS"), QString::number(waitMs));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_DEADLINE_MS"), QString::number(deadlineMs));
        QVERIFY(server.start());

        // What the peers drip is a real notice: were it ever completed, it would be stored.
        const QString drippedRow = QStringLiteral("Caption=dripped\n");
        const QByteArray dripped = CShortFrame::encode(noticeText(uuid, drippedRow));
        struct Peer
        {
            std::unique_ptr<CRawPeer> socket;
            qint64 connectedAt = 0;
            qint64 lastSentAt = 0;
            qint64 endedAt = -1;
            qsizetype sent = 0;
        };
        std::vector<Peer> all(peers);
        QElapsedTimer clock;
        clock.start();
        for (Peer &p : all) {
            p.socket = std::make_unique<CRawPeer>();
            QVERIFY(p.socket->connectTo(CMessages::ServerPort));
            p.connectedAt = p.lastSentAt = clock.elapsed();
            if (firstBytes > 0) {
                QCOMPARE(p.socket->sendSome(dripped.left(firstBytes)), qint64(firstBytes));
                p.sent = firstBytes;
                p.lastSentAt = clock.elapsed();
            }
        }

        // The drip runs in a thread of its own, so that the real notices below do not pause it.
        std::atomic<bool> stop(false);
        std::atomic<int> endedPeers(0);
        std::thread drip([&] {
            while (!stop.load()) {
                int open = 0;
                for (Peer &p : all) {
                    if (p.endedAt >= 0)
                        continue;
                    const qint64 now = clock.elapsed();
                    if (dripMs > 0 && now - p.lastSentAt >= dripMs && p.sent < dripped.size() - 1) {
                        if (p.socket->sendSome(dripped.mid(p.sent, 1)) == 1) {
                            ++p.sent;
                            p.lastSentAt = now;
                        }
                    }
                    if (p.socket->poll(0)) {
                        p.endedAt = clock.elapsed();
                        ++endedPeers;
                    } else
                        ++open;
                }
                if (open == 0)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });

        // Real notices, until the first peers are due to be closed. What counts is that they are
        // answered while the peers are connected: on a slow machine the last may end after that.
        const qint64 firstClose = dripMs > 0 ? deadlineMs : waitMs;
        QStringList realRows;
        int answeredBesidePeers = 0;
        qint64 slowest = 0;
        while (clock.elapsed() < firstClose - 700) {
            const QString row = QStringLiteral("Caption=real %1\n").arg(realRows.size());
            const qint64 ms = CFaultServer::timedNotice(uuid, row, int(answerBoundMs));
            realRows.append(row);
            slowest = ms < 0 ? ms : qMax(slowest, ms);
            if (ms < 0 || ms > answerBoundMs)
                break;
            if (endedPeers.load() == 0)
                ++answeredBesidePeers;
            QThread::msleep(300);
        }

        const QDeadlineTimer giveUp(deadlineMs + 6000);
        while (!giveUp.hasExpired()) {
            bool open = false;
            for (const Peer &p : all)
                open = open || p.endedAt < 0;
            if (!open)
                break;
            QThread::msleep(50);
        }
        stop = true;
        drip.join();

        QVERIFY2(slowest >= 0 && slowest <= answerBoundMs,
            qPrintable(QStringLiteral("a real notice took %1 ms (-1: no answer) with %2 slow peers connected")
                           .arg(slowest)
                           .arg(peers)));
        QVERIFY2(answeredBesidePeers >= 3,
            qPrintable(
                QStringLiteral("%1 notices answered while every slow peer was connected").arg(answeredBesidePeers)));
        qint64 earliest = std::numeric_limits<qint64>::max();
        qint64 latest = 0;
        for (const Peer &p : all) {
            QVERIFY2(p.endedAt >= 0, "a slow peer is still connected after the deadline");
            QCOMPARE(p.socket->received(), qint64(0));
            // Closed after the wait since its last byte or at the deadline, whichever comes first,
            // and never before (each sweep may be a tenth of the wait late, the machine is shared).
            const qint64 expected = qMin(p.lastSentAt + waitMs, p.connectedAt + deadlineMs);
            earliest = qMin(earliest, p.endedAt - expected);
            latest = qMax(latest, p.endedAt - expected);
        }
        QVERIFY2(earliest >= -100,
            qPrintable(QStringLiteral("a slow peer was closed %1 ms before its time").arg(-earliest)));
        QVERIFY2(latest <= 2500, qPrintable(QStringLiteral("a slow peer was closed %1 ms late").arg(latest)));

        const QMap<QString, int> stored = CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml")));
        for (const QString &row : std::as_const(realRows))
            QCOMPARE(stored.value(row), 1);
        QCOMPARE(stored.value(drippedRow), 0);
        QVERIFY(server.running());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=after\n")) >= 0);
        qInfo("%d slow peers: %d real notices, slowest answered in %lld ms; peers closed %lld to %lld ms after "
              "their time",
            peers, int(realRows.size()), slowest, earliest, latest);
    }

    // A header announces a frame; only a few bytes follow. The server keeps what arrived, not what
    // was announced, and refuses a frame above 16 MiB at its header, writing nothing.
    void announcedFrames_data()
    {
        QTest::addColumn<quint32>("announced");
        QTest::addColumn<int>("sent"); // bytes after the header
        QTest::addColumn<bool>("refused");

        QTest::newRow("15 MiB, 10 bytes") << quint32(15 * MiB) << 10 << false;
        QTest::newRow("16 MiB, 10 bytes") << quint32(16 * MiB) << 10 << false;
        QTest::newRow("16 MiB, 256 KiB") << quint32(16 * MiB) << 256 * 1024 << false;
        QTest::newRow("16 MiB + 1") << quint32(16 * MiB + 1) << 10 << true;
        QTest::newRow("63 MiB") << quint32(63 * MiB) << 10 << true;
    }

    void announcedFrames()
    {
        QFETCH(quint32, announced);
        QFETCH(int, sent);
        QFETCH(bool, refused);
        const int peers = 64;
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.start());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=warm up\n")) >= 0);
        const qint64 rssBefore = server.statusKiB("VmRSS");
        const qint64 sizeBefore = server.statusKiB("VmSize");
        QVERIFY(rssBefore > 0 && sizeBefore > 0);

        std::vector<std::unique_ptr<CRawPeer>> all;
        const QByteArray bytes = extendedHead(announced) + QByteArray(sent, 'x');
        for (int i = 0; i < peers; ++i) {
            all.push_back(std::make_unique<CRawPeer>());
            QVERIFY(all.back()->connectTo(CMessages::ServerPort));
            if (refused)
                all.back()->sendSome(bytes); // the server may close before it took all
            else
                QVERIFY(all.back()->sendAll(bytes, 5000));
        }
        // Refused at the header: closed at once, not at the wait (30 s). Taken: still open a second on.
        const auto countEnded = [&] {
            int n = 0;
            for (const auto &p : all)
                n += p->poll(0) ? 1 : 0;
            return n;
        };
        if (refused)
            QVERIFY(CTestEnvironment::waitFor([&] { return countEnded() == peers; }, 5000));
        else
            QTest::qWait(1000);
        const int ended = countEnded();
        QCOMPARE(ended, refused ? peers : 0);
        for (const auto &p : all)
            QCOMPARE(p->received(), qint64(0));
        const qint64 rssAfter = server.statusKiB("VmRSS");
        const qint64 sizeAfter = server.statusKiB("VmSize");

        QVERIFY(server.running());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=after\n")) >= 0);
        qInfo("%d peers announcing %u bytes and sending %d: VmRSS %lld -> %lld KiB, VmSize %lld -> %lld KiB", peers,
            announced, sent, rssBefore, rssAfter, sizeBefore, sizeAfter);
        // What arrived, twice over for a growing buffer, and some slack for the server's own use.
        const qint64 arrivedKiB = refused ? 0 : qint64(peers) * sent / 1024;
        if (CTestMemory::figuresMean) {
            QVERIFY2(rssAfter - rssBefore < 2 * arrivedKiB + 8 * 1024, "resident memory grew with the announced size");
            QVERIFY2(
                sizeAfter - sizeBefore < 2 * arrivedKiB + 128 * 1024, "address space grew with the announced size");
        }
    }

    // The largest request is taken whole and served; one more unit is refused at the header with
    // nothing written and nothing stored.
    void noticeAtLimit_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("16 MiB") << qint64(16 * MiB) << true;
        QTest::newRow("16 MiB + 2") << qint64(16 * MiB + 2) << false;
    }

    void noticeAtLimit()
    {
        QFETCH(qint64, count);
        QFETCH(bool, accepted);
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.start());

        QString row;
        const QByteArray frame = noticeOfCount(uuid, QStringLiteral("Caption=large\n"), count, &row);
        QCOMPARE(qint64(frame.size()), count + 6);
        CRawPeer peer;
        peer.setKeepBytes(64);
        QVERIFY(peer.connectTo(CMessages::ServerPort));
        const bool allSent = peer.sendAll(frame, 10000);
        QVERIFY2(peer.waitEnded(60000), "no end of the connection");
        QVERIFY(server.running());
        if (accepted) {
            QVERIFY(allSent);
            QVERIFY(isAckFrame(peer.kept()));
            QCOMPARE(CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml"))).value(row), 1);
        } else {
            QCOMPARE(peer.received(), qint64(0));
            QCOMPARE(CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml"))).value(row), 0);
        }
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=after\n")) >= 0);
        qInfo("frame count %lld: %s, server peak VmHWM %lld KiB", count, accepted ? "served" : "refused",
            server.statusKiB("VmHWM"));
    }

    // Peers each sending a notice just under the largest frame, for clients of their own, all at
    // once: a worker holds several copies of its notice, so were they all served at once the
    // server would need gigabytes. Every notice is served, and the server's peak memory stays
    // under 1 GiB; once they are served, the server holds no more than a fraction of that.
    void largeNoticesAtOnce()
    {
        const int peers = 32;
        const qint64 count = 16 * MiB - 64 * 1024; // all of them fit the buffer cap (512 MiB) at once
        CFaultServer server;
        QVERIFY(server.isValid());
        QStringList uuids;
        for (int i = 0; i < peers; ++i)
            uuids.append(newUuid());
        QVERIFY(server.addClients(uuids));
        QVERIFY(server.start());

        // The frames differ in their client only: each peer sends a head of its own, then the
        // common tail of the first frame.
        QString row;
        const QByteArray first = noticeOfCount(uuids.at(0), QStringLiteral("Caption=large\n"), count, &row);
        const qsizetype at = first.indexOf(utf16be(uuids.at(0)));
        QVERIFY(at > 0);
        const qsizetype headSize = at + uuids.at(0).size() * 2;
        const QByteArray tail = first.mid(headSize);
        std::vector<std::unique_ptr<CRawPeer>> all;
        std::vector<QByteArray> heads;
        for (int i = 0; i < peers; ++i) {
            QByteArray head = first.left(headSize);
            head.replace(at, uuids.at(i).size() * 2, utf16be(uuids.at(i)));
            heads.push_back(head);
            all.push_back(std::make_unique<CRawPeer>());
            all.back()->setKeepBytes(64);
            QVERIFY(all.back()->connectTo(CMessages::ServerPort));
            QVERIFY(all.back()->sendAll(head, 5000));
        }
        QElapsedTimer clock;
        clock.start();
        std::vector<qsizetype> sent(peers, 0);
        for (bool done = false; !done && clock.elapsed() < 60000;) {
            done = true;
            for (int i = 0; i < peers; ++i) {
                if (sent[i] < tail.size()) {
                    const qint64 n = all[i]->sendSome(tail.mid(sent[i], 1 << 20));
                    QVERIFY2(n >= 0, "a notice within the buffer cap was refused");
                    sent[i] += n;
                    done = false;
                }
            }
        }
        int acked = 0;
        for (int i = 0; i < peers; ++i) {
            QVERIFY(all[i]->waitEnded(60000));
            acked += isAckFrame(all[i]->kept()) ? 1 : 0;
        }
        const qint64 peak = server.statusKiB("VmHWM");
        QVERIFY(server.running());
        qInfo("%d notices of %lld bytes at once: %d acknowledged in %lld ms, server peak VmHWM %lld KiB", peers, count,
            acked, clock.elapsed(), peak);
        // Workers live on and keep what a usual notice needs, but not what an oversized one took.
        const qint64 resident = server.statusKiB("VmRSS");
        qInfo("server VmRSS once they are served: %lld KiB", resident);
        QCOMPARE(acked, peers);
        for (const QString &uuid : std::as_const(uuids))
            QCOMPARE(CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml"))).value(row), 1);
        QVERIFY2(!CTestMemory::figuresMean || peak < 1024 * 1024, "server peak memory above 1 GiB");
        QVERIFY2(!CTestMemory::figuresMean || resident < 256 * 1024, "server kept the memory of oversized notices");
    }

    // More connections than the server may open files: those beyond its limit wait in the listen
    // queue, and the server does not spin on them (an accept that fails leaves the queue readable);
    // it keeps a few descriptors free for its workers.
    // Once the peers give up, the server accepts again and serves a notice.
    void outOfDescriptors()
    {
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.start());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=warm up\n")) >= 0);
        const int before = server.openFiles();
        QVERIFY(before > 0);
        const rlim_t limit = rlim_t(before + 40);
        rlimit lim {limit, limit};
        QVERIFY(::prlimit(pid_t(server.pid()), RLIMIT_NOFILE, &lim, nullptr) == 0);
        // CPU time of the server in clock ticks (user and system).
        const auto cpuTicks = [&] {
            const QByteArray stat = CTestEnvironment::readFile(QStringLiteral("/proc/%1/stat").arg(server.pid()));
            const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            return f.value(11).toLongLong() + f.value(12).toLongLong();
        };

        std::vector<std::unique_ptr<CRawPeer>> all;
        for (int i = 0; i < 120; ++i) {
            all.push_back(std::make_unique<CRawPeer>());
            QVERIFY(all.back()->connectTo(CMessages::ServerPort));
        }
        QVERIFY(CTestEnvironment::waitFor([&] { return server.openFiles() >= before + 30; }, 5000));
        const qint64 ticks = cpuTicks();
        QTest::qWait(1000);
        const qint64 spent = cpuTicks() - ticks;
        const int held = server.openFiles();

        all.clear();
        const qint64 ms = CFaultServer::timedNotice(uuid, QStringLiteral("Caption=after\n"), 10000);
        qInfo(
            "open files %d -> %d (limit %d), %lld of %ld CPU ticks in the second at the limit, notice after in %lld ms",
            before, held, int(limit), spent, ::sysconf(_SC_CLK_TCK), ms);
        QVERIFY2(spent * 4 < ::sysconf(_SC_CLK_TCK), "the server spins while out of descriptors");
        QVERIFY2(held < int(limit), "no descriptor left for the workers' files");
        QVERIFY2(ms >= 0, "no notice served after the server ran out of descriptors");
        QCOMPARE(CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml")))
                     .value(QStringLiteral("Caption=after\n")),
            1);
        QVERIFY(server.running());
    }

    // Incomplete requests across all connections stay under the cap (4 MiB here): the connection
    // whose bytes would pass it is closed with nothing written, the others keep theirs, and the
    // bytes of closed and of served requests no longer count.
    void bufferCapAcrossConnections()
    {
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_BUFFER_CAP_KIB"), QStringLiteral("4096"));
        QVERIFY(server.start());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=warm up\n")) >= 0);

        // A holds 3 MiB of its request, all but the last KiB.
        QString rowA;
        const QByteArray a = noticeOfCount(uuid, QStringLiteral("Caption=A\n"), 3 * MiB, &rowA);
        CRawPeer peerA;
        peerA.setKeepBytes(64);
        QVERIFY(peerA.connectTo(CMessages::ServerPort));
        QVERIFY(peerA.sendAll(a.left(a.size() - 1024), 5000));
        QVERIFY(!peerA.waitEnded(500));

        // B would bring the total to 5 MiB: closed, with nothing written. A keeps its bytes.
        QString rowB;
        const QByteArray b = noticeOfCount(uuid, QStringLiteral("Caption=B\n"), 2 * MiB, &rowB);
        CRawPeer peerB;
        QVERIFY(peerB.connectTo(CMessages::ServerPort));
        peerB.sendAll(b, 5000); // may fail part way: the server closes B
        QVERIFY(peerB.waitEnded(5000));
        QCOMPARE(peerB.received(), qint64(0));
        QVERIFY(!peerA.poll(0));

        // A small notice still fits beside A, and A, completed, is served.
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=small\n")) >= 0);
        QVERIFY(peerA.sendAll(a.right(1024), 5000));
        QVERIFY(peerA.waitEnded(20000));
        QVERIFY(isAckFrame(peerA.kept()));

        // With A served and B closed, the cap is free again: two requests of 3.5 MiB, one after the
        // other, are served.
        QStringList rows {rowA, QStringLiteral("Caption=small\n")};
        for (const char *name : {"Caption=C\n", "Caption=D\n"}) {
            QString row;
            const QByteArray frame = noticeOfCount(uuid, QLatin1String(name), 3 * MiB + MiB / 2, &row);
            CRawPeer peer;
            peer.setKeepBytes(64);
            QVERIFY(peer.connectTo(CMessages::ServerPort));
            QVERIFY2(peer.sendAll(frame, 5000), name);
            QVERIFY(peer.waitEnded(20000));
            QVERIFY2(isAckFrame(peer.kept()), name);
            rows.append(row);
        }

        const QMap<QString, int> stored = CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml")));
        for (const QString &row : std::as_const(rows))
            QCOMPARE(stored.value(row), 1);
        QCOMPARE(stored.value(rowB), 0);
        QVERIFY(server.running());
    }

    // Update checks that wait for the push pool (one push here, held by a client that reads
    // nothing) are watched. One whose peer goes is closed at once, its descriptor free long before
    // the pool is, and never gets a record; one whose peer stays past its connection's deadline is
    // closed then, with nothing sent, while the pool is still held.
    void waitingUpdateChecks_data()
    {
        QTest::addColumn<bool>("peersClose"); // the waiting peers close right after their check
        QTest::addColumn<QString>("deadlineMs"); // a connection's deadline; "" as shipped (2 min)
        QTest::addColumn<QString>("stallMs"); // the held push ends after this; "" as shipped (30 s)
        QTest::newRow("peers that close at once") << true << ""
                                                  << "8000";
        // The held push ends at its own deadline then, five times a connection's.
        QTest::newRow("peers that stay past the deadline") << false << "2000"
                                                           << "";
    }

    void waitingUpdateChecks()
    {
        QFETCH(bool, peersClose);
        QFETCH(QString, deadlineMs);
        QFETCH(QString, stallMs);
        const int waiting = 20;
        CFaultServer server;
        QVERIFY(server.isValid());
        QVERIFY(server.addClients({newUuid()}));
        const qint64 size = 16 * MiB;
        QVERIFY(server.publishUpdate(QByteArray(size, 'u')));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_PUSHES"), QStringLiteral("1"));
        if (!deadlineMs.isEmpty())
            server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_DEADLINE_MS"), deadlineMs);
        if (!stallMs.isEmpty())
            server.setEnv(QStringLiteral("BRAMIX_TEST_PUSH_STALL_MS"), stallMs);
        QVERIFY(server.start());
        const auto records = [&] {
            return CTestEnvironment::readFile(server.file(QStringLiteral("updateLog.xml"))).count("<record>");
        };

        CRawPeer held(4096);
        QVERIFY(held.connectTo(CMessages::ServerPort));
        QVERIFY(held.sendAll(updateCheckFrame(QStringLiteral("held(192.0.2.1)")), 5000));
        QVERIFY(CTestEnvironment::waitFor([&] { return held.pending() > 0 && records() == 1; }, 10000));
        const int before = server.openFiles();

        std::vector<std::unique_ptr<CRawPeer>> peers;
        for (int i = 0; i < waiting; ++i) {
            peers.push_back(std::make_unique<CRawPeer>());
            QVERIFY(peers.back()->connectTo(CMessages::ServerPort));
            QVERIFY(peers.back()->sendAll(updateCheckFrame(QStringLiteral("waiting%1(198.51.100.%1)").arg(i)), 5000));
            if (peersClose)
                peers.back()->close();
        }
        if (peersClose) {
            // Gone peers free their descriptors while the push pool is still held.
            QVERIFY2(CTestEnvironment::waitFor([&] { return server.openFiles() <= before + 2; }, 4000),
                qPrintable(
                    QStringLiteral("%1 open files, %2 before the gone peers").arg(server.openFiles()).arg(before)));
            QVERIFY(!held.remoteClosed());
            // A check behind them is served once the held push ends.
            CRawPeer reader;
            QVERIFY(reader.connectTo(CMessages::ServerPort));
            QVERIFY(reader.sendAll(updateCheckFrame(QStringLiteral("reader(192.0.2.2)")), 5000));
            QVERIFY(reader.waitEnded(60000));
            QVERIFY(reader.received() > size);
            QCOMPARE(records(), 2);
        } else {
            for (const auto &p : peers)
                QVERIFY2(p->waitEnded(15000), "a waiting check outlived its deadline");
            QVERIFY2(!held.remoteClosed(), "the waiting checks were closed only when the pool was free");
            for (const auto &p : peers)
                QCOMPARE(p->received(), qint64(0));
            QVERIFY(CTestEnvironment::waitFor([&] { return held.remoteClosed(); }, 30000));
            QTest::qWait(500);
            QCOMPARE(records(), 1);
        }
        QVERIFY(server.running());
    }

    // Update checks whose clients read nothing hold a descriptor each, but together never more than
    // their share of the open-file limit (256 here): the checks beyond it are closed at once, and
    // change notices are still accepted and answered at once.
    void updateChecksLeaveDescriptorsForNotices()
    {
        const int checks = 300;
        // A notice kept out gets no answer at all; the bound leaves a loaded machine seconds over one.
        const qint64 answerBoundMs = 5000;
        QVERIFY(CIdleConnections::raiseFileLimit(checks + 1024) >= rlim_t(checks + 256));
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.publishUpdate(QByteArray(16 * MiB, 'u')));
        QVERIFY(server.start());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=warm up\n")) >= 0);
        const rlim_t limit = 256;
        rlimit lim {limit, limit};
        QVERIFY(::prlimit(pid_t(server.pid()), RLIMIT_NOFILE, &lim, nullptr) == 0);
        const int before = server.openFiles();

        Peers peers;
        QVERIFY(checksThatReadNothing(checks, &peers));
        const auto closedPeers = [&] { return closedCount(peers); };
        // Every check has been dealt with once each is either closed or getting its push.
        const auto settled = [&] {
            for (const auto &p : peers) {
                if (!p->remoteClosed() && p->pending() <= 0)
                    return false;
            }
            return true;
        };
        // A quarter of what the descriptors kept free for workers leave: (256 - 32) / 4.
        const int share = 56;
        QVERIFY2(CTestEnvironment::waitFor(settled, 20000),
            qPrintable(
                QStringLiteral("%1 of %2 checks closed, the others not all pushed to").arg(closedPeers()).arg(checks)));
        QVERIFY(closedPeers() >= checks - share);
        const int held = server.openFiles();
        qint64 slowest = 0;
        for (int i = 0; i < 5; ++i) {
            const qint64 ms
                = CFaultServer::timedNotice(uuid, QStringLiteral("Caption=beside checks %1\n").arg(i), 10000);
            QVERIFY2(ms >= 0 && ms <= answerBoundMs,
                qPrintable(QStringLiteral("notice %1 took %2 ms (-1: no answer) beside %3 held checks")
                               .arg(i)
                               .arg(ms)
                               .arg(checks - closedPeers())));
            slowest = qMax(slowest, ms);
        }
        qInfo("%d update checks that read nothing at a limit of %d open files: %d closed at once, open files %d "
              "-> %d; notices answered in %lld ms at most",
            checks, int(limit), closedPeers(), before, held, slowest);
        QVERIFY(held <= before + share);
        const QMap<QString, int> stored = CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml")));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(stored.value(QStringLiteral("Caption=beside checks %1\n").arg(i)), 1);
        QVERIFY(server.running());
    }

    // With descriptors to spare, the update checks waiting for the push pool are still bounded: one
    // push runs to a client that reads nothing, 1,024 checks wait behind it, and those beyond are
    // closed at once. Change notices are answered all the while.
    void updateCheckQueueBound()
    {
        const int queueBound = 1024;
        const int checks = queueBound + 1 + 100;
        // 4608 descriptors leave checks a share of (4608 - 256) / 4, more than the queue's bound and
        // the one push (4 each).
        const rlim_t limit = 4608;
        if (CIdleConnections::raiseFileLimit(checks + 1024) < rlim_t(checks + 256))
            QSKIP("this machine's open-file limit is below what the test's peers need");
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        QVERIFY(server.publishUpdate(QByteArray(16 * MiB, 'u')));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_PUSHES"), QStringLiteral("1"));
        QVERIFY(server.start());
        QVERIFY(CFaultServer::timedNotice(uuid, QStringLiteral("Caption=warm up\n")) >= 0);
        rlimit lim {limit, limit};
        if (::prlimit(pid_t(server.pid()), RLIMIT_NOFILE, &lim, nullptr) != 0)
            QSKIP("the server's open-file limit cannot be raised to 4608 here");

        Peers peers;
        QVERIFY(checksThatReadNothing(checks, &peers));
        const auto closedPeers = [&] { return closedCount(peers); };
        const int beyond = checks - queueBound - 1;
        QVERIFY2(CTestEnvironment::waitFor([&] { return closedPeers() >= beyond; }, 20000),
            qPrintable(QStringLiteral("%1 of %2 checks closed").arg(closedPeers()).arg(checks)));
        QTest::qWait(1000);
        QCOMPARE(closedPeers(), beyond);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(
                CFaultServer::timedNotice(uuid, QStringLiteral("Caption=beside the queue %1\n").arg(i), 10000) >= 0);
        }
        QVERIFY(server.running());
    }

    // Update checks whose pushes go to clients that read nothing fill the push pool (three here,
    // and three workers for store work); the checks beyond it wait for a push to end. Notices are
    // answered at once all the while, and the waiting checks are served once the readers read.
    void pushPoolBound()
    {
        const int pool = 3;
        const int checks = 2 * pool;
        // A notice kept out gets no answer at all; the bound leaves a loaded machine seconds over one.
        const qint64 answerBoundMs = 5000;
        CFaultServer server;
        QVERIFY(server.isValid());
        const QString uuid = newUuid();
        QVERIFY(server.addClients({uuid}));
        // Far more than the socket buffers of a client that reads nothing take.
        const qint64 size = 16 * MiB;
        QVERIFY(server.publishUpdate(QByteArray(size, 'u')));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_PUSHES"), QString::number(pool));
        server.setEnv(QStringLiteral("BRAMIX_TEST_SERVER_MAX_WORKERS"), QString::number(pool));
        QVERIFY(server.start());

        std::vector<std::unique_ptr<CRawPeer>> readers;
        for (int i = 0; i < checks; ++i) {
            readers.push_back(std::make_unique<CRawPeer>(4096));
            QVERIFY(readers.back()->connectTo(CMessages::ServerPort));
            QVERIFY(readers.back()->sendAll(updateCheckFrame(QStringLiteral("slow%1(192.0.2.%1)").arg(i + 1)), 5000));
        }
        const auto pushing = [&] {
            int n = 0;
            for (const auto &r : readers)
                n += r->pending() > 0 ? 1 : 0;
            return n;
        };
        QVERIFY(CTestEnvironment::waitFor([&] { return pushing() == pool; }, 10000));
        QTest::qWait(500);
        QCOMPARE(pushing(), pool);

        qint64 slowest = 0;
        for (int i = 0; i < 3; ++i) {
            const qint64 ms = CFaultServer::timedNotice(uuid, QStringLiteral("Caption=during push %1\n").arg(i));
            QVERIFY2(ms >= 0 && ms <= answerBoundMs,
                qPrintable(
                    QStringLiteral("notice %1 took %2 ms (-1: no answer) while every push was stuck").arg(i).arg(ms)));
            slowest = qMax(slowest, ms);
        }
        QCOMPARE(pushing(), pool); // still stuck: the notices were answered beside them

        // The readers read: every check gets its whole push, the waiting ones too.
        const qint64 expected
            = CCommandFrame::encodeHead(CMessages::filePushHeader(QStringLiteral("BramixClient")), size).size() + size;
        for (const auto &r : readers)
            r->setReceiveBuffer(4 * MiB);
        const QDeadlineTimer limit(60000);
        for (bool all = false; !all && !limit.hasExpired();) {
            all = true;
            for (const auto &r : readers)
                all = r->poll(0) && all;
            if (!all)
                QThread::usleep(200);
        }
        for (const auto &r : readers)
            QCOMPARE(r->received(), expected);
        const QMap<QString, int> stored = CFaultServer::storedRows(server.file(uuid + QStringLiteral(".xml")));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(stored.value(QStringLiteral("Caption=during push %1\n").arg(i)), 1);
        qInfo("%d update checks stuck on readers that read nothing, pool of %d: notices answered in %lld ms at most",
            checks, pool, slowest);
    }
};

QTEST_GUILESS_MAIN(TestServerAttack)
#include "tst_serverattack.moc"
