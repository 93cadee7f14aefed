// What one client, and floods of update checks, may cost the server: measured on the server as
// installed (scripts/install.sh server) and run as "BramixServer -e" in the default environment (no
// test variables), in a network namespace of its own.
//
//   bench_serverbounds [--help] [--stage DIR] [--scenario big-client|closing-checks|never-readers|all]
//                      [--big-mb MB] [--burst N] [--small N] [--peers N] [--server-cpus LIST] [--keep]
//
// big-client: one client's file of --big-mb MB (80); one notice of that client, then --burst (32) of
// its notices at once, while --small (20) other clients send notices in a loop. Figures: the
// server's peak resident memory during the one notice and during the burst, the longest wait of the
// other clients, the resident memory 5 s after the burst, and whether every notice was acknowledged
// and stored exactly once.
// closing-checks: a client update of 16 MiB published; --peers (2000) peers that each send an update
// check and close at once. Figures: update-log records written for them, the server's open files
// before and 40 s after the flood began, its resident and peak memory.
// never-readers: the same update; the server's open-file limit set to 2,048; --peers peers that send
// an update check and never read, while one client sends a notice every 200 ms. Figures: how many
// notices were answered, how many within 2 s, the longest wait, and the server's open files.
//
// --stage names the staged build (build/stage/bin) to install from, by default the one this program
// lies in, so that one program compares two builds: run it for each in turn, sides alternating.
// --server-cpus runs the server under "taskset -c LIST": the C library sizes its heaps by the CPUs
// a process may use.
#include "cfaultserver.h"
#include "cmessages.h"
#include "cserverbench.h"
#include "cshortframe.h"
#include "ctestmemory.h"
#include "ctestxml.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Options
{
    QString stage;
    QString scenario = QStringLiteral("all");
    int bigMb = 80;
    int burst = 32;
    int small = 20;
    int peers = 2000;
    QString serverCpus;
    bool keep = false;
};

bool parse(const QStringList &args, Options *o)
{
    return CServerBench::parseOptions(args,
        {{"--stage", nullptr, &o->stage}, {"--scenario", nullptr, &o->scenario}, {"--big-mb", &o->bigMb},
            {"--burst", &o->burst}, {"--small", &o->small}, {"--peers", &o->peers},
            {"--server-cpus", nullptr, &o->serverCpus}, {"--keep", nullptr, nullptr, &o->keep}},
        "bench_serverbounds",
        "usage: bench_serverbounds [--stage DIR] [--scenario big-client|closing-checks|never-readers|all]\n"
        "                          [--big-mb MB] [--burst N] [--small N] [--peers N]\n"
        "                          [--server-cpus LIST] [--keep]\n");
}

QByteArray updateCheck(const QString &label)
{
    return CShortFrame::encode(CMessages::buildUpdateCheck(QStringLiteral("2.1.20090713"), QStringLiteral("1"), label));
}

// Whether the server has closed (or reset) a connection, seen without reading what waits in it.
bool closedByServer(int fd)
{
    pollfd p {fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

double mib(qint64 kib)
{
    return kib / 1024.0;
}

const char *verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

// The highest resident size of a process, sampled every 10 ms while it runs: the peak figure where
// the kernel does not let the peak be set back.
class CPeakSampler
{
public:
    explicit CPeakSampler(qint64 pid)
        : m_pid(pid)
        , m_thread(QThread::create([this] {
            while (!m_stop.load()) {
                const qint64 kib = CTestMemory::statusKiB(m_pid, "VmRSS");
                qint64 seen = m_peak.load();
                while (kib > seen && !m_peak.compare_exchange_weak(seen, kib)) { }
                QThread::msleep(10);
            }
        }))
    {
        m_thread->start();
    }
    ~CPeakSampler()
    {
        m_stop = true;
        m_thread->wait();
    }
    void reset() { m_peak = CTestMemory::statusKiB(m_pid, "VmRSS"); }
    qint64 peak() const { return m_peak.load(); }

private:
    qint64 m_pid;
    std::atomic<bool> m_stop {false};
    std::atomic<qint64> m_peak {0};
    std::unique_ptr<QThread> m_thread;
};

// One server installation in a directory of its own, from a staged build, run as "-e".
class CInstalledServer
{
public:
    bool install(const QString &stage, bool keep)
    {
        m_tmp.setAutoRemove(!keep);
        const QString script = CServerBench::scriptPath(QStringLiteral("install.sh"));
        if (!m_tmp.isValid() || script.isEmpty())
            return false;
        m_dir = m_tmp.filePath(QStringLiteral("server"));
        return QProcess::execute(QStringLiteral("bash"), {script, QStringLiteral("server"), m_dir, stage}) == 0;
    }
    QString dir() const { return m_dir; }
    QString file(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    QString tmpPath(const QString &name) const { return m_tmp.filePath(name); }

    bool start(const QString &cpus)
    {
        // The default environment: none of the variables through which tests tune the server.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &key : env.keys()) {
            if (key.startsWith(QLatin1String("BRAMIX_TEST_")))
                env.remove(key);
        }
        env.insert(QStringLiteral("BRAMIX_PLATFORM_ROOT"), m_tmp.filePath(QStringLiteral("platform")));
        QDir().mkpath(m_tmp.filePath(QStringLiteral("platform")));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_dir);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        if (cpus.isEmpty())
            m_process.start(file(QStringLiteral("BramixServer")), {QStringLiteral("-e")});
        else
            m_process.start(QStringLiteral("taskset"),
                {QStringLiteral("-c"), cpus, file(QStringLiteral("BramixServer")), QStringLiteral("-e")});
        return m_process.waitForStarted(10000) && CServerBench::waitForPort(15000);
    }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    ~CInstalledServer() { stop(); }

private:
    QTemporaryDir m_tmp;
    QString m_dir;
    QProcess m_process;
};

struct SmallNotice
{
    int client;
    QString row;
    qint64 startMs;
    qint64 ms; // -1: not acknowledged
};

bool bigClient(const Options &o)
{
    std::printf("== big-client: a %d MB client file, 1 notice then %d at once, %d other clients in a loop\n", o.bigMb,
        o.burst, o.small);
    CInstalledServer server;
    if (!server.install(o.stage, o.keep))
        return false;
    const int clients = 1 + o.small; // client 0 has the large file
    // About 175 bytes a Software row.
    const QByteArray big = CServerBench::inventoryFile(int(qint64(o.bigMb) * 1000000 / 175));
    const QByteArray usual = CServerBench::inventoryFile(300);
    if (!CServerBench::writeFile(server.file(QStringLiteral("list.xml")), CServerBench::clientList(clients, false))
        || !CServerBench::writeFile(server.file(CServerBench::uuidOf(0) + QStringLiteral(".xml")), big))
        return false;
    for (int i = 1; i < clients; ++i) {
        if (!CServerBench::writeFile(server.file(CServerBench::uuidOf(i) + QStringLiteral(".xml")), usual))
            return false;
    }
    std::printf("client file %lld bytes; the others %lld bytes\n", qint64(big.size()), qint64(usual.size()));
    if (!server.start(o.serverCpus))
        return false;
    const qint64 pid = server.pid();
    CPeakSampler sampler(pid);
    QElapsedTimer clock;
    clock.start();

    // The other clients, each sending one notice after another.
    std::atomic<bool> stopSmall {false};
    QMutex resultsLock;
    std::vector<SmallNotice> smallResults;
    std::vector<std::unique_ptr<QThread>> smallThreads;
    for (int c = 1; c < clients; ++c) {
        smallThreads.emplace_back(QThread::create([&, c] {
            for (int n = 0; !stopSmall.load(); ++n) {
                const QString row = QStringLiteral("Caption=small %1 %2\n").arg(c).arg(n);
                const qint64 start = clock.elapsed();
                const qint64 ms = CFaultServer::timedNotice(CServerBench::uuidOf(c), row, 60000);
                QMutexLocker locker(&resultsLock);
                smallResults.push_back({c, row, start, ms});
            }
        }));
        smallThreads.back()->start();
    }
    QThread::sleep(2);

    const bool peakReset = CTestMemory::resetPeak(pid);
    sampler.reset();
    const QString oneRow = QStringLiteral("Caption=big one\n");
    const qint64 oneMs = CFaultServer::timedNotice(CServerBench::uuidOf(0), oneRow, 600000);
    const qint64 onePeak = peakReset ? CTestMemory::statusKiB(pid, "VmHWM") : sampler.peak();
    QThread::sleep(2);

    CTestMemory::resetPeak(pid);
    sampler.reset();
    const qint64 burstStart = clock.elapsed();
    std::vector<qint64> burstMs(size_t(o.burst), -1);
    std::vector<std::unique_ptr<QThread>> burst;
    for (int k = 0; k < o.burst; ++k) {
        burst.emplace_back(QThread::create([&, k] {
            burstMs[size_t(k)]
                = CFaultServer::timedNotice(CServerBench::uuidOf(0), QStringLiteral("Caption=big %1\n").arg(k), 900000);
        }));
        burst.back()->start();
    }
    for (auto &t : burst)
        t->wait();
    const qint64 burstEnd = clock.elapsed();
    const qint64 burstPeak = peakReset ? CTestMemory::statusKiB(pid, "VmHWM") : sampler.peak();
    stopSmall = true;
    for (auto &t : smallThreads)
        t->wait();
    QThread::sleep(5);
    const qint64 after = CTestMemory::statusKiB(pid, "VmRSS");
    const bool alive = server.running();
    server.stop();

    int burstAcked = 0;
    for (qint64 ms : burstMs)
        burstAcked += ms >= 0 ? 1 : 0;
    qint64 smallMax = 0;
    qint64 smallMaxInBurst = 0;
    int smallAcked = 0;
    std::vector<qint64> inBurst;
    for (const SmallNotice &r : smallResults) {
        smallAcked += r.ms >= 0 ? 1 : 0;
        const qint64 ms = r.ms >= 0 ? r.ms : 60000;
        smallMax = qMax(smallMax, ms);
        if (r.startMs + ms >= burstStart && r.startMs <= burstEnd) {
            smallMaxInBurst = qMax(smallMaxInBurst, ms);
            inBurst.push_back(ms);
        }
    }
    std::sort(inBurst.begin(), inBurst.end());

    // Stored exactly once: every acknowledged row; none that was not.
    int missing = 0;
    int twice = 0;
    int unacked = 0;
    const QMap<QString, int> bigRows
        = CTestXml::storedRows(server.file(CServerBench::uuidOf(0) + QStringLiteral(".xml")));
    const auto checkRow = [&](const QMap<QString, int> &rows, const QString &row, bool acked) {
        const int n = rows.value(row);
        if (acked && n == 0)
            ++missing;
        else if (n > 1)
            ++twice;
        else if (!acked && n > 0)
            ++unacked;
    };
    checkRow(bigRows, oneRow, oneMs >= 0);
    for (int k = 0; k < o.burst; ++k)
        checkRow(bigRows, QStringLiteral("Caption=big %1\n").arg(k), burstMs[size_t(k)] >= 0);
    std::vector<QMap<QString, int>> smallRows(static_cast<size_t>(clients));
    for (int c = 1; c < clients; ++c)
        smallRows[size_t(c)] = CTestXml::storedRows(server.file(CServerBench::uuidOf(c) + QStringLiteral(".xml")));
    for (const SmallNotice &r : smallResults)
        checkRow(smallRows[size_t(r.client)], r.row, r.ms >= 0);
    const bool unreadable = bigRows.isEmpty();

    std::printf("one notice: acknowledged %s in %.2f s, server peak %.0f MiB\n", oneMs >= 0 ? "yes" : "NO",
        oneMs / 1000.0, mib(onePeak));
    std::printf("%d at once: %d acknowledged in %.2f s, server peak %.0f MiB (%.2fx one notice's)\n", o.burst,
        burstAcked, (burstEnd - burstStart) / 1000.0, mib(burstPeak), double(burstPeak) / qMax<qint64>(1, onePeak));
    std::printf("other clients: %d notices, %d acknowledged; longest wait %.2f s (%.2f s during the burst; p50 %.3f s, "
                "p99 %.3f s there)\n",
        int(smallResults.size()), smallAcked, smallMax / 1000.0, smallMaxInBurst / 1000.0,
        inBurst.empty() ? 0.0 : inBurst[inBurst.size() / 2] / 1000.0,
        inBurst.empty() ? 0.0 : inBurst[size_t(double(inBurst.size() - 1) * 0.99)] / 1000.0);
    std::printf("resident 5 s after the burst: %.0f MiB; server %s; peaks from %s\n", mib(after),
        alive ? "running" : "DIED", peakReset ? "VmHWM, set back before each phase" : "VmRSS sampled every 10 ms");
    std::printf("check: %d acknowledged rows missing, %d stored twice, %d stored without acknowledgement%s\n", missing,
        twice, unacked, unreadable ? "; the client file DOES NOT PARSE" : "");
    const bool allAcked = oneMs >= 0 && burstAcked == o.burst && smallAcked == int(smallResults.size());
    const bool storedOnce = missing == 0 && twice == 0 && unacked == 0 && !unreadable;
    std::printf("goal: burst peak <= 1.5x one notice's + 64 MiB (%.0f MiB): %s\n", mib(onePeak * 3 / 2 + 64 * 1024),
        verdict(burstPeak <= onePeak * 3 / 2 + 64 * 1024));
    std::printf("goal: other clients wait <= 2 s: %s\n", verdict(smallMax <= 2000));
    std::printf("goal: < 512 MiB resident 5 s after: %s\n", verdict(after < 512 * 1024));
    std::printf("goal: every notice acknowledged and stored once: %s\n", verdict(allAcked && storedOnce && alive));
    return true;
}

// A client update of 16 MiB on offer in uplist.xml.
bool publishUpdate(const CInstalledServer &server)
{
    const QString update = server.tmpPath(QStringLiteral("BramixClient"));
    return CServerBench::writeFile(update, QByteArray(16 * 1024 * 1024, 'u'))
        && CServerBench::writeFile(server.file(QStringLiteral("uplist.xml")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uplist>\n  <windows>\n    <file>" + update.toUtf8()
                + "</file>\n  </windows>\n  <linux/>\n  <version>2.1.20090715</version>\n  <setdate>12 10 2026 "
                  "09:00:00</setdate>\n</uplist>\n");
}

int records(const CInstalledServer &server)
{
    QFile f(server.file(QStringLiteral("updateLog.xml")));
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("<record>")) : -1;
}

void raiseOwnFileLimit()
{
    rlimit lim {};
    ::getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &lim);
}

bool closingChecks(const Options &o)
{
    std::printf(
        "== closing-checks: a 16 MiB update published, %d peers that send a check and close at once\n", o.peers);
    CInstalledServer server;
    if (!server.install(o.stage, o.keep) || !publishUpdate(server) || !server.start(o.serverCpus))
        return false;
    const qint64 pid = server.pid();
    QThread::sleep(1);
    const int filesBefore = CTestMemory::openFiles(pid);
    const qint64 residentBefore = CTestMemory::statusKiB(pid, "VmRSS");
    CTestMemory::resetPeak(pid);
    QElapsedTimer clock;
    clock.start();
    std::atomic<int> sent {0};
    std::vector<std::unique_ptr<QThread>> senders;
    const int threads = 8;
    for (int t = 0; t < threads; ++t) {
        senders.emplace_back(QThread::create([&, t] {
            for (int i = t; i < o.peers; i += threads) {
                const int fd = CServerBench::connectRaw();
                if (fd < 0)
                    continue;
                const QByteArray frame = updateCheck(QStringLiteral("gone%1(192.0.2.%2)").arg(i).arg(i % 250));
                if (::send(fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL) == frame.size())
                    ++sent;
                ::close(fd);
            }
        }));
        senders.back()->start();
    }
    for (auto &t : senders)
        t->wait();
    const qint64 floodMs = clock.elapsed();
    const int recordsAtFloodEnd = records(server);
    QThread::msleep(ulong(qMax<qint64>(0, 40000 - clock.elapsed())));
    const int filesAfter = CTestMemory::openFiles(pid);
    const qint64 resident = CTestMemory::statusKiB(pid, "VmRSS");
    const qint64 peak = CTestMemory::statusKiB(pid, "VmHWM");
    const int written = records(server);
    const bool alive = server.running();
    server.stop();
    std::printf("%d checks sent and closed in %.2f s; update-log records: %d when the flood ended, %d at 40 s\n",
        sent.load(), floodMs / 1000.0, recordsAtFloodEnd, written);
    std::printf("open files %d before, %d at 40 s; resident %.0f MiB before, %.0f MiB at 40 s, peak %.0f MiB; "
                "server %s\n",
        filesBefore, filesAfter, mib(residentBefore), mib(resident), mib(peak), alive ? "running" : "DIED");
    std::printf("goal: at most 80 records: %s\n", verdict(written <= 80));
    std::printf("goal: open files within 80 of the start at 40 s: %s\n", verdict(qAbs(filesAfter - filesBefore) <= 80));
    std::printf("goal: under 256 MiB: %s (resident at 40 s), %s (peak)\n", verdict(resident < 256 * 1024),
        verdict(peak < 256 * 1024));
    return true;
}

bool neverReaders(const Options &o)
{
    const rlim_t limit = 2048;
    const int holdSeconds = 60;
    std::printf("== never-readers: a 16 MiB update published, %d peers that send a check and never read, the "
                "server's open-file limit at %d, one client's notices every 200 ms\n",
        o.peers, int(limit));
    raiseOwnFileLimit();
    CInstalledServer server;
    if (!server.install(o.stage, o.keep) || !publishUpdate(server))
        return false;
    if (!CServerBench::writeFile(server.file(QStringLiteral("list.xml")), CServerBench::clientList(1, false))
        || !CServerBench::writeFile(
            server.file(CServerBench::uuidOf(0) + QStringLiteral(".xml")), CServerBench::inventoryFile(300))
        || !server.start(o.serverCpus))
        return false;
    const qint64 pid = server.pid();
    rlimit lim {limit, limit};
    if (::prlimit(pid_t(pid), RLIMIT_NOFILE, &lim, nullptr) != 0) {
        std::fprintf(stderr, "bench_serverbounds: cannot set the server's open-file limit\n");
        return false;
    }

    std::atomic<bool> stop {false};
    std::vector<qint64> waits;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QThread> good(QThread::create([&] {
        for (int n = 0; !stop.load(); ++n) {
            waits.push_back(
                CFaultServer::timedNotice(CServerBench::uuidOf(0), QStringLiteral("Caption=good %1\n").arg(n), 30000));
            QThread::msleep(200);
        }
    }));
    good->start();
    QThread::sleep(2);

    std::vector<int> peers;
    int refused = 0;
    for (int i = 0; i < o.peers; ++i) {
        const int fd = CServerBench::connectRaw(4096, 2000);
        if (fd < 0) {
            ++refused;
            continue;
        }
        const QByteArray frame = updateCheck(QStringLiteral("never%1(198.51.100.%2)").arg(i).arg(i % 250));
        ::send(fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        peers.push_back(fd);
    }
    const qint64 openedMs = clock.elapsed();
    const auto closedPeers = [&] {
        int n = 0;
        for (int fd : peers)
            n += closedByServer(fd) ? 1 : 0;
        return n;
    };
    QThread::sleep(5);
    const int closedSoon = closedPeers();
    int mostFiles = 0;
    while (clock.elapsed() < openedMs + holdSeconds * 1000) {
        mostFiles = qMax(mostFiles, CTestMemory::openFiles(pid));
        QThread::msleep(500);
    }
    const int closedAtEnd = closedPeers();
    for (int fd : peers)
        ::close(fd);
    QThread::sleep(3);
    stop = true;
    good->wait();
    const bool alive = server.running();
    server.stop();

    int answered = 0;
    int inTime = 0;
    qint64 longest = 0;
    for (qint64 ms : waits) {
        answered += ms >= 0 ? 1 : 0;
        inTime += ms >= 0 && ms <= 2000 ? 1 : 0;
        longest = qMax(longest, ms < 0 ? qint64(30000) : ms);
    }
    std::printf("%d peers connected in %.2f s (%d connections not accepted within 2 s); closed by the server: %d "
                "within 5 s, %d after %d s; server's open files at most %d\n",
        int(peers.size()), openedMs / 1000.0 - 2, refused, closedSoon, closedAtEnd, holdSeconds, mostFiles);
    std::printf("good client: %d notices, %d answered, %d within 2 s, longest wait %.2f s%s; server %s\n",
        int(waits.size()), answered, inTime, longest / 1000.0, answered < int(waits.size()) ? " (30 s: no answer)" : "",
        alive ? "running" : "DIED");
    std::printf("goal: every notice answered within 2 s: %s\n", verdict(inTime == int(waits.size()) && alive));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), &o))
        return 2;
    // Port 2210 of our own: run again inside a fresh network namespace.
    CServerBench::enterNetworkNamespace(argc, argv, "bench_serverbounds");
    if (o.stage.isEmpty())
        o.stage = QCoreApplication::applicationDirPath();
    o.stage = QDir(o.stage).absolutePath();
    std::printf("server from %s%s\n", qPrintable(o.stage),
        o.serverCpus.isEmpty() ? "" : qPrintable(QStringLiteral(", on CPUs ") + o.serverCpus));

    bool ok = true;
    const bool all = o.scenario == QLatin1String("all");
    if (all || o.scenario == QLatin1String("big-client"))
        ok = bigClient(o) && ok;
    if (all || o.scenario == QLatin1String("closing-checks"))
        ok = closingChecks(o) && ok;
    if (all || o.scenario == QLatin1String("never-readers"))
        ok = neverReaders(o) && ok;
    std::printf("load average at the end: %s\n", CServerBench::loadAverage().constData());
    if (!ok)
        std::fprintf(stderr, "bench_serverbounds: a scenario could not be set up\n");
    return ok ? 0 : 1;
}
