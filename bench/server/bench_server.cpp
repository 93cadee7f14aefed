// Load generator for BramixServer: plays many client agents sending change notices at once against
// a server started in a directory of its own, with a client list of many clients whose inventory
// files hold a realistic inventory. Afterwards it checks that every acknowledged item was stored
// exactly once, that no unacknowledged item was stored, and that every file still parses.
//
//   bench_server [--help] [--clients N] [--software ROWS] [--connections C] [--notices M] [--seconds S]
//                [--items K] [--fresh] [--keep] [--no-netns]
//                [--drip PEERS] [--big PEERS] [--remove-notice ITEMS]
//
// Defaults: 10000 clients, 300 Software rows each, 64 clients sending at once, 20000 notices of 2
// items or 60 s, whichever ends first. Clients start with the notice flag "no", as every client has
// it after its first notice; --fresh starts them with "yes", so that every notice also rewrites
// list.xml. The server binds port 2210, so the bench runs itself in a
// network namespace of its own (scripts/netns-run.sh) unless --no-netns is given.
//
// Attacks, running while the load does (the load's notices are the real ones timed during them):
// --drip: peers that each send one byte of a request every second; --big: peers that each send a
// 60 MiB frame as fast as they can, again and again; --remove-notice: before the load, one notice of
// that many "remove" items, timed on its own. The server's peak resident memory is reported, and
// beside its CPU time per notice its page faults (minor and major, from /proc/<pid>/stat).
//
// To compare two builds, run each one's staged bench_server (it starts the BramixServer beside it)
// in turn, sides alternating, and say the machine's load (it prints the load average at the end).
#include "cmessages.h"
#include "cserverbench.h"
#include "cshortframe.h"
#include "cshortframereader.h"
#include "ctestmemory.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtEndian>

namespace {

struct Options
{
    int clients = 10000;
    int software = 300;
    int connections = 64;
    int notices = 20000;
    int seconds = 60;
    int items = 2;
    bool fresh = false;
    bool keep = false;
    bool netns = true;
    int drip = 0;
    int big = 0;
    int removeItems = 0;
};

bool parse(const QStringList &args, Options *o)
{
    return CServerBench::parseOptions(args,
        {{"--clients", &o->clients}, {"--software", &o->software}, {"--connections", &o->connections},
            {"--notices", &o->notices}, {"--seconds", &o->seconds}, {"--items", &o->items}, {"--drip", &o->drip},
            {"--big", &o->big}, {"--remove-notice", &o->removeItems}, {"--fresh", nullptr, nullptr, &o->fresh},
            {"--keep", nullptr, nullptr, &o->keep}, {"--no-netns", nullptr, nullptr, &o->netns, false}},
        "bench_server",
        "usage: bench_server [--clients N] [--software ROWS] [--connections C] [--notices M]\n"
        "                    [--seconds S] [--items K] [--fresh] [--keep] [--no-netns]\n"
        "                    [--drip PEERS] [--big PEERS] [--remove-notice ITEMS]\n"
        "--no-netns: use the namespace it runs in (port 2210 must be free there; run it\n"
        "inside one of its own, e.g. unshare -rn with lo up, as scripts/netns-run.sh does)\n");
}

QString itemRow(int notice, int item)
{
    return QStringLiteral("Caption=Bench package %1.%2\nVendor=Bench\nVersion=1.0\n").arg(notice).arg(item);
}

// A request of the given size as its peer starts it: the extended count, then the string's count.
QByteArray frameHead(quint32 bytes)
{
    QByteArray head = QByteArray::fromHex("ffff");
    char b[4];
    qToBigEndian(bytes, b);
    head.append(b, 4);
    qToBigEndian(bytes - 4, b);
    head.append(b, 4);
    return head;
}

// Peers that send one byte of a 1 MiB request each second, each reconnecting when the server closes
// it.
void dripPeers(int peers, const std::atomic<bool> &stop, std::atomic<int> *reconnects)
{
    const QByteArray head = frameHead(1 << 20);
    std::vector<int> fds(size_t(peers), -1);
    std::vector<int> sent(size_t(peers), 0);
    while (!stop) {
        for (int i = 0; i < peers && !stop; ++i) {
            if (fds[i] < 0) {
                fds[i] = CServerBench::connectRaw();
                sent[i] = 0;
            }
            if (fds[i] < 0)
                continue;
            const char c = sent[i] < head.size() ? head.at(sent[i]) : 'x';
            if (::send(fds[i], &c, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1) {
                ::close(fds[i]);
                fds[i] = -1;
                ++*reconnects;
                continue;
            }
            ++sent[i];
        }
        for (int t = 0; t < 10 && !stop; ++t)
            QThread::msleep(100);
    }
    for (int fd : fds)
        if (fd >= 0)
            ::close(fd);
}

// One peer sending 60 MiB frames as fast as it can, reconnecting each time the server closes it.
void bigFramePeer(const std::atomic<bool> &stop, std::atomic<qint64> *sentBytes, std::atomic<int> *closed)
{
    const quint32 size = 60u * 1024 * 1024;
    const QByteArray head = frameHead(size);
    const QByteArray chunk(1 << 20, 'x');
    while (!stop) {
        const int fd = CServerBench::connectRaw();
        if (fd < 0) {
            QThread::msleep(10);
            continue;
        }
        qint64 left = size - 4;
        bool ok = ::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL) == head.size();
        while (ok && left > 0 && !stop) {
            const ssize_t n = ::send(fd, chunk.constData(), size_t(qMin<qint64>(left, chunk.size())), MSG_NOSIGNAL);
            ok = n > 0;
            if (ok) {
                left -= n;
                *sentBytes += n;
            }
        }
        if (!ok)
            ++*closed;
        ::close(fd);
    }
}

struct Result
{
    int notice;
    int client;
    bool acked;
    qint64 latencyUs;
    qint64 connectUs;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), &o))
        return 2;

    // Port 2210 of our own: run again inside a fresh network namespace.
    if (o.netns)
        CServerBench::enterNetworkNamespace(argc, argv, "bench_server");

    const QString stage = QCoreApplication::applicationDirPath();
    QTemporaryDir tmp;
    tmp.setAutoRemove(!o.keep);
    if (!tmp.isValid())
        return 1;
    const QString dir = tmp.filePath(QStringLiteral("server"));
    QDir().mkpath(dir);
    for (const char *name : {"BramixServer", "libadvapi32.so", "configtempl.xml", "uplist.xml", "updateLog.xml"}) {
        const QString from = stage + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::copy(from, dir + QLatin1Char('/') + QLatin1String(name))) {
            std::fprintf(stderr, "bench_server: %s missing (build BramixServer and advapi32)\n", qPrintable(from));
            return 1;
        }
        QFile::setPermissions(dir + QLatin1Char('/') + QLatin1String(name), QFileInfo(from).permissions());
    }

    // The store: list.xml of all clients and one inventory file each. They start as hard links of
    // one file; the server replaces a file by a new one of its own at its first change.
    QElapsedTimer setup;
    setup.start();
    const QByteArray inventory = CServerBench::inventoryFile(o.software);
    if (!CServerBench::writeFile(dir + QStringLiteral("/list.xml"), CServerBench::clientList(o.clients, o.fresh))
        || !CServerBench::writeFile(tmp.filePath(QStringLiteral("inventory.xml")), inventory))
        return 1;
    for (int i = 0; i < o.clients; ++i) {
        const QByteArray link
            = QFile::encodeName(dir + QLatin1Char('/') + CServerBench::uuidOf(i) + QStringLiteral(".xml"));
        if (::link(QFile::encodeName(tmp.filePath(QStringLiteral("inventory.xml"))).constData(), link.constData()) != 0)
            return 1;
    }
    std::printf(
        "store: %d clients, inventory file %lld bytes (%d Software rows), list.xml %lld bytes; made in %lld ms\n",
        o.clients, qint64(inventory.size()), o.software, QFileInfo(dir + QStringLiteral("/list.xml")).size(),
        setup.elapsed());

    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRAMIX_PLATFORM_ROOT"), tmp.filePath(QStringLiteral("platform")));
    QDir().mkpath(tmp.filePath(QStringLiteral("platform")));
    server.setProcessEnvironment(env);
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(dir + QStringLiteral("/BramixServer"), {QStringLiteral("-e")});
    if (!server.waitForStarted(10000) || !CServerBench::waitForPort(15000)) {
        std::fprintf(stderr, "bench_server: the server does not listen on 2210\n");
        return 1;
    }

    const qint64 serverPid = server.processId();
    if (o.drip > 0) {
        rlimit lim {};
        ::getrlimit(RLIMIT_NOFILE, &lim);
        lim.rlim_cur = lim.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &lim);
    }

    // The single large notice: "remove" items of the client's own rows, then of rows it lacks.
    if (o.removeItems > 0) {
        QStringList items;
        for (int k = 0; k < o.removeItems; ++k) {
            const QString caption = QStringLiteral("Package %1 with a long descriptive name").arg(k);
            items << CMessages::changeItem(QStringLiteral("Software"), QStringLiteral("remove"),
                QStringLiteral("Caption=%1\nVendor=Vendor %2\nVersion=%3.%4.%5\nInstallDate=20090713\n")
                    .arg(caption)
                    .arg(k % 37)
                    .arg(k % 9)
                    .arg(k % 17)
                    .arg(k));
        }
        const QString text = CMessages::buildChangeNotice(CServerBench::uuidOf(o.clients - 1), items);
        QElapsedTimer t;
        t.start();
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), 2210);
        bool acked = false;
        if (s.waitForConnected(30000)) {
            CShortFrame::write(&s, text);
            CShortFrameReader reader;
            acked = reader.readBlocking(&s, 300000) == CShortFrameReader::Complete
                && reader.text() == QLatin1String("setChange:ok");
        }
        std::printf("notice of %d \"remove\" items (%lld bytes): %s in %.3f s\n", o.removeItems,
            qint64(text.size()) * 2, acked ? "acknowledged" : "NOT ACKNOWLEDGED", t.nsecsElapsed() / 1e9);
    }

    std::atomic<bool> stopAttack {false};
    std::atomic<int> dripReconnects {0}, bigClosed {0};
    std::atomic<qint64> bigSent {0};
    std::vector<std::unique_ptr<QThread>> attackers;
    if (o.drip > 0)
        attackers.emplace_back(QThread::create([&] { dripPeers(o.drip, stopAttack, &dripReconnects); }));
    for (int i = 0; i < o.big; ++i)
        attackers.emplace_back(QThread::create([&] { bigFramePeer(stopAttack, &bigSent, &bigClosed); }));
    for (auto &a : attackers)
        a->start();
    if (o.drip > 0)
        QThread::sleep(3); // every dripping peer connected and begun

    // The load: each sender thread plays one client agent after another, one notice per connection,
    // and waits for the acknowledgement before the next.
    std::atomic<int> nextNotice {0};
    QDeadlineTimer stopAt(qint64(o.seconds) * 1000);
    std::vector<std::vector<Result>> results(o.connections);
    std::vector<std::unique_ptr<QThread>> senders;
    QElapsedTimer wall;
    wall.start();
    for (int t = 0; t < o.connections; ++t) {
        senders.emplace_back(QThread::create([&, t] {
            for (;;) {
                const int n = nextNotice.fetch_add(1);
                if (n >= o.notices || stopAt.hasExpired())
                    return;
                // Spread the notices over the clients so that neighbours rarely meet.
                const int client = int((qint64(n) * 7919) % o.clients);
                QStringList items;
                for (int k = 0; k < o.items; ++k)
                    items << CMessages::changeItem(QStringLiteral("Software"), QStringLiteral("add"), itemRow(n, k));
                const QString text = CMessages::buildChangeNotice(CServerBench::uuidOf(client), items);
                QElapsedTimer lat;
                lat.start();
                QTcpSocket s;
                s.connectToHost(QStringLiteral("127.0.0.1"), 2210);
                bool acked = false;
                qint64 connectUs = -1;
                if (s.waitForConnected(30000)) {
                    connectUs = lat.nsecsElapsed() / 1000;
                    CShortFrame::write(&s, text);
                    CShortFrameReader reader;
                    acked = reader.readBlocking(&s, 30000) == CShortFrameReader::Complete
                        && reader.text() == QLatin1String("setChange:ok");
                }
                results[t].push_back({n, client, acked, lat.nsecsElapsed() / 1000, connectUs});
                s.abort();
            }
        }));
        senders.back()->start();
    }
    for (auto &s : senders)
        s->wait();
    const qint64 elapsedMs = wall.elapsed();
    stopAttack = true;
    for (auto &a : attackers)
        a->wait();
    const bool serverAlive = server.state() == QProcess::Running;
    const qint64 peakKiB = CTestMemory::statusKiB(serverPid, "VmHWM");
    if (o.drip > 0)
        std::printf(
            "attack: %d dripping peers, %d of their connections closed by the server\n", o.drip, dripReconnects.load());
    if (o.big > 0)
        std::printf("attack: %d peers sending 60 MiB frames, %.1f MiB sent, %d connections closed by the server\n",
            o.big, bigSent.load() / 1048576.0, bigClosed.load());
    std::printf("server %s; peak resident memory %.1f MiB\n", serverAlive ? "running" : "DIED", peakKiB / 1024.0);

    // The server's CPU time over the run (user + system ticks) and its page faults, from /proc: a
    // server that hands memory back to the kernel and takes it again at once pays for it in faults.
    double serverCpuS = 0;
    qint64 minorFaults = -1, majorFaults = -1;
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(server.processId()));
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray line = stat.readAll();
            const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (f.size() > 12) {
                minorFaults = f.at(7).toLongLong();
                majorFaults = f.at(9).toLongLong();
                serverCpuS = (f.at(11).toLongLong() + f.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
            }
        }
    }
    server.kill();
    server.waitForFinished(10000);

    // Figures.
    std::vector<Result> all;
    for (auto &r : results)
        all.insert(all.end(), r.begin(), r.end());
    std::vector<qint64> lat, conn;
    int acked = 0;
    for (const Result &r : all) {
        if (r.acked) {
            ++acked;
            lat.push_back(r.latencyUs);
            conn.push_back(r.connectUs);
        }
    }
    std::sort(lat.begin(), lat.end());
    std::sort(conn.begin(), conn.end());
    auto pct = [&](double p) { return lat.empty() ? 0.0 : lat[size_t(p * double(lat.size() - 1))] / 1000.0; };
    std::printf("sent %d notices (%d items each) from %d clients at once in %.2f s: %d acknowledged\n", int(all.size()),
        o.items, o.connections, elapsedMs / 1000.0, acked);
    std::printf("throughput: %.0f notices/s\n", acked * 1000.0 / qMax<qint64>(1, elapsedMs));
    std::printf("server CPU: %.2f s, %.2f ms per notice; page faults: %lld minor, %lld major (%.1f per notice); "
                "load average at the end: %s\n",
        serverCpuS, acked ? serverCpuS * 1000.0 / acked : 0.0, minorFaults, majorFaults,
        acked ? double(minorFaults + majorFaults) / acked : 0.0, CServerBench::loadAverage().constData());
    std::printf("latency: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", pct(0.50), pct(0.99),
        lat.empty() ? 0.0 : lat.back() / 1000.0);
    auto cpct = [&](double p) { return conn.empty() ? 0.0 : conn[size_t(p * double(conn.size() - 1))] / 1000.0; };
    std::printf("of which connecting: p50 %.2f ms, p99 %.2f ms\n", cpct(0.50), cpct(0.99));

    // Check: each touched file parses and holds each acknowledged item exactly once (content and
    // record), and no item of an unacknowledged notice; every touched client is flagged "no".
    QElapsedTimer check;
    check.start();
    std::vector<std::vector<const Result *>> byClient(o.clients);
    for (const Result &r : all)
        byClient[r.client].push_back(&r);
    // The files are checked by several threads at once: parsing thousands of them one by one takes
    // far longer than the run itself.
    std::atomic<int> badFiles {0}, missing {0}, duplicated {0}, unexpected {0};
    std::atomic<int> nextClient {0};
    auto checkFiles = [&] {
        for (int c = nextClient.fetch_add(1); c < o.clients; c = nextClient.fetch_add(1)) {
            if (byClient[c].empty())
                continue;
            QFile f(dir + QLatin1Char('/') + CServerBench::uuidOf(c) + QStringLiteral(".xml"));
            QDomDocument doc;
            if (!f.open(QIODevice::ReadOnly) || !doc.setContent(&f)) {
                ++badFiles;
                continue;
            }
            QHash<QString, int> contentCount, recordCount;
            const QDomElement sw = doc.documentElement().firstChildElement(QStringLiteral("Software"));
            for (QDomElement e = sw.firstChildElement(QStringLiteral("content")); !e.isNull();
                 e = e.nextSiblingElement(QStringLiteral("content")))
                contentCount[e.text()]++;
            const QDomElement log = sw.firstChildElement(QStringLiteral("changelog"));
            for (QDomElement e = log.firstChildElement(QStringLiteral("record")); !e.isNull();
                 e = e.nextSiblingElement(QStringLiteral("record")))
                recordCount[e.text()]++;
            for (const Result *r : byClient[c]) {
                for (int k = 0; k < o.items; ++k) {
                    const QString row = itemRow(r->notice, k);
                    const int cc = contentCount.value(row), rc = recordCount.value(row);
                    if (r->acked) {
                        if (cc == 0 || rc == 0)
                            ++missing;
                        else if (cc > 1 || rc > 1)
                            ++duplicated;
                    } else if (cc || rc) {
                        ++unexpected;
                    }
                }
            }
        }
    };
    std::vector<std::unique_ptr<QThread>> checkers;
    for (int t = 0; t < qMax(1, QThread::idealThreadCount()); ++t) {
        checkers.emplace_back(QThread::create(checkFiles));
        checkers.back()->start();
    }
    for (auto &t : checkers)
        t->wait();
    QFile listFile(dir + QStringLiteral("/list.xml"));
    QDomDocument list;
    int flagged = 0, touched = 0;
    const bool listOk = listFile.open(QIODevice::ReadOnly) && list.setContent(&listFile);
    if (listOk) {
        int c = 0;
        for (QDomElement pc = list.documentElement().firstChildElement(QStringLiteral("pc")); !pc.isNull();
             pc = pc.nextSiblingElement(QStringLiteral("pc")), ++c) {
            if (c < o.clients && !byClient[c].empty()) {
                ++touched;
                flagged += pc.attribute(QStringLiteral("notice")) == QLatin1String("no");
            }
        }
    }
    std::printf("check (%lld ms): %d files unreadable, %d items missing, %d stored twice, %d stored without "
                "acknowledgement; list.xml %s, %d of %d touched clients flagged \"no\"\n",
        check.elapsed(), badFiles.load(), missing.load(), duplicated.load(), unexpected.load(),
        listOk ? "parses" : "DOES NOT PARSE", flagged, touched);
    if (o.keep)
        std::printf("kept: %s\n", qPrintable(tmp.path()));
    const bool ok = badFiles == 0 && missing == 0 && duplicated == 0 && unexpected == 0 && listOk && flagged == touched
        && acked == int(all.size()) && serverAlive;
    std::printf("%s\n", ok ? "OK: every item stored exactly once" : "FAILED");
    return ok ? 0 : 1;
}
