// Change notices against a large store: a list.xml of many clients, each with an inventory file
// holding a realistic Software class, and many threads applying notices at once, as the server's
// workers do.
//
//   bench_store [--clients N] [--software ROWS] [--threads T] [--notices M] [--items K] [--copies]
//               [--fresh]
//   bench_store --large-file MB [--items K]
//
// Defaults: 10000 clients, 1500 Software rows, 16 threads, 1000 notices of 2 items. Without
// --copies the inventory files start as hard links of one filled file (each is replaced by a file
// of its own at its first change), which builds the store in seconds and little disk. Clients
// start with the notice flag "no", as every client has it after its first notice; --fresh starts
// them without it, so that every client's first notice also rewrites list.xml.
//
// --large-file: one client file of about MB megabytes as the fill of a hostile answer writes it (one
// Software block of one-letter rows, ten times the answer's size), then one notice of K items
// applied to it, with the malloc settings of the server: prints the time, the peak resident size
// above the size before the notice (per byte of file) and what stays resident after it.
#include "cbenchstore.h"
#include "cpcconfig.h"
#include "cset.h"
#include "ctestmemory.h"
#include "cxmlfile.h"
#include "cxmltree.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <ctime>

#include <malloc.h>

namespace {

struct Options
{
    int clients = 10000;
    int software = 1500;
    int threads = 16;
    int notices = 1000;
    int items = 2;
    bool copies = false;
    bool fresh = false;
    int largeFileMB = 0;
};

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args.at(i);
        auto next = [&]() { return i + 1 < args.size() ? args.at(++i).toInt() : 0; };
        if (a == "--clients")
            o.clients = next();
        else if (a == "--software")
            o.software = next();
        else if (a == "--threads")
            o.threads = next();
        else if (a == "--notices")
            o.notices = next();
        else if (a == "--items")
            o.items = next();
        else if (a == "--copies")
            o.copies = true;
        else if (a == "--fresh")
            o.fresh = true;
        else if (a == "--large-file")
            o.largeFileMB = next();
    }
    o.clients = std::max(1, o.clients);
    o.threads = std::max(1, o.threads);
    o.items = std::max(1, o.items);
    return o;
}

// CPU time of the calling thread: the step costs stay meaningful on a loaded machine.
qint64 cpuNow()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct CpuTimer
{
    qint64 start_ = 0;
    void start() { start_ = cpuNow(); }
    qint64 nsecsElapsed() const { return cpuNow() - start_; }
};

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

double percentile(std::vector<qint64> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return ms(v[i]);
}

int run(const Options &o)
{
    const QString dir = QCoreApplication::applicationDirPath();
    std::printf("store: %d clients, %d Software rows each, in %s\n", o.clients, o.software, qPrintable(dir));

    QElapsedTimer build;
    build.start();
    CBenchStore::Options store;
    store.clients = o.clients;
    store.software = o.software;
    store.copies = o.copies;
    store.fresh = o.fresh;
    QStringList uuids;
    if (!CBenchStore::build(store, uuids))
        return 1;
    const QByteArray list = CBenchStore::readFile(dir + "/list.xml");
    const QByteArray filled = CBenchStore::readFile(dir + "/" + uuids.first() + ".xml");
    std::printf("built in %.1f s: list.xml %.2f MB, inventory file %.2f MB each (%s)\n", build.elapsed() / 1000.0,
        list.size() / 1e6, filled.size() / 1e6, o.copies ? "copies" : "hard links until first change");

    // The cost of one notice, step by step, on a client of its own.
    {
        const QString uuid = uuids.at(o.clients / 2);
        const QString path = dir + "/" + uuid + ".xml";
        const int rounds = 20;
        qint64 tList = 0, tParse = 0, tChange = 0, tSerialize = 0, tWrite = 0, tWhole = 0, wWrite = 0, wWhole = 0,
               wSerialize = 0, tTreeParse = 0, tTreeSerialize = 0;
        CpuTimer t;
        QElapsedTimer w;
        for (int r = -1; r < rounds; ++r) {
            if (r == 0) // the first round only warms up (first parse of the list, page cache)
                tList = tParse = tChange = tSerialize = tWrite = tWhole = wWrite = wWhole = wSerialize = tTreeParse
                    = tTreeSerialize = 0;
            t.start();
            {
                CSet set;
                set.openList();
                set.setNotice(uuid, false);
            }
            tList += t.nsecsElapsed();
            t.start();
            QDomDocument doc;
            QByteArray raw;
            CXmlFile::load(path, doc, &raw);
            tParse += t.nsecsElapsed();
            // The same file as the store's notices take it: through the pugixml tree.
            {
                t.start();
                CXmlTree tree;
                tree.load(raw);
                tTreeParse += t.nsecsElapsed();
                t.start();
                QByteArray out;
                tree.serialize(&out);
                tTreeSerialize += t.nsecsElapsed();
            }
            t.start();
            QDomElement root = doc.documentElement();
            const QString now = CXmlFile::timeStamp();
            for (int k = 0; k < o.items; ++k) {
                QDomElement cls = root.firstChildElement("Software");
                const QString row = CBenchStore::softwareRow(100000 + r * 10 + k);
                QDomElement content = doc.createElement("content");
                content.appendChild(doc.createTextNode(row));
                QString digest;
                CPcConfig::getDigest(row, "Software", digest);
                content.setAttribute("digest", digest);
                cls.appendChild(content);
                QDomElement rec = doc.createElement("record");
                rec.appendChild(doc.createTextNode(row));
                rec.setAttribute("time", now);
                rec.setAttribute("type", "add");
                rec.setAttribute("digest", digest);
                rec.setAttribute("notice", "no");
                QDomElement log = cls.firstChildElement("changelog");
                if (log.isNull())
                    log = cls.appendChild(doc.createElement("changelog")).toElement();
                log.appendChild(rec);
                cls.setAttribute("lastupdate", now);
                root.setAttribute("lastupdate", now);
            }
            tChange += t.nsecsElapsed();
            t.start();
            w.start();
            const QByteArray data = CXmlFile::serialize(doc, 4);
            tSerialize += t.nsecsElapsed();
            wSerialize += w.nsecsElapsed();
            t.start();
            w.start();
            CXmlFile::store(path, doc, 4, raw);
            tWrite += t.nsecsElapsed(); // serialises again, then writes
            wWrite += w.nsecsElapsed();
            t.start();
            w.start();
            {
                CPcConfig cfg(uuid);
                cfg.open();
                QString text = uuid;
                for (int k = 0; k < o.items; ++k)
                    text += "^Software$add$" + CBenchStore::softwareRow(200000 + r * 10 + k);
                cfg.applyChange(text);
            }
            tWhole += t.nsecsElapsed();
            wWhole += w.nsecsElapsed();
        }
        std::printf("one notice of %d items, single thread, mean CPU time of %d after a warm-up:\n", o.items, rounds);
        std::printf("  notice flag (list.xml)       %8.2f ms\n", ms(tList / rounds));
        std::printf(
            "  parse inventory file (DOM)   %8.2f ms (tree %.2f ms)\n", ms(tParse / rounds), ms(tTreeParse / rounds));
        std::printf("  change (DOM)                 %8.2f ms\n", ms(tChange / rounds));
        std::printf("  serialise (DOM)              %8.2f ms (tree %.2f ms)\n", ms(tSerialize / rounds),
            ms(tTreeSerialize / rounds));
        std::printf("  write (atomic replace)       %8.2f ms (wall %.2f ms with the sync to disk)\n",
            ms((tWrite - tSerialize) / rounds), ms((wWrite - wSerialize) / rounds));
        std::printf("  whole applyChange            %8.2f ms (wall %.2f ms: open, flag, lock, parse, change, write)\n",
            ms(tWhole / rounds), ms(wWhole / rounds));
    }

    // Many threads, notices for random clients, a few clients hit more often (same-file contention).
    std::vector<qint64> latencies(size_t(o.notices), 0);
    QAtomicInt nextNotice;
    QAtomicInt failures;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::unique_ptr<QThread>> workers;
    for (int t = 0; t < o.threads; ++t) {
        workers.emplace_back(QThread::create([&, t]() {
            QRandomGenerator rng(quint32(1234 + t));
            for (;;) {
                const int n = nextNotice.fetchAndAddRelaxed(1);
                if (n >= o.notices)
                    return;
                const int c = rng.bounded(10) == 0 ? rng.bounded(std::min(o.clients, 10)) : rng.bounded(o.clients);
                const QString uuid = uuids.at(c);
                QString text = uuid;
                for (int k = 0; k < o.items; ++k)
                    text += QStringLiteral("^Software$add$") + CBenchStore::softwareRow(300000 + n * o.items + k);
                QElapsedTimer one;
                one.start();
                CPcConfig cfg(uuid);
                cfg.open();
                if (cfg.applyChange(text) != 0)
                    failures.ref();
                latencies[size_t(n)] = one.nsecsElapsed();
            }
        }));
        workers.back()->start();
    }
    for (auto &w : workers)
        w->wait();
    const double seconds = wall.nsecsElapsed() / 1e9;
    std::printf("%d notices of %d items from %d threads in %.2f s: %.1f notices/s, p50 %.2f ms, p99 %.2f ms, "
                "%d failed\n",
        o.notices, o.items, o.threads, seconds, o.notices / seconds, percentile(latencies, 0.5),
        percentile(latencies, 0.99), failures.loadRelaxed());
    return failures.loadRelaxed() == 0 ? 0 : 1;
}

int runLargeFile(const Options &o)
{
    // As the server's main sets them.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
    const QString dir = QCoreApplication::applicationDirPath();
    QFile::copy(dir + "/../configtempl.xml", dir + "/configtempl.xml");
    const QString uuid = QUuid::createUuid().toString();
    const QString path = CPcConfig::pathOf(uuid);
    {
        // "        <content digest=\"\">a</content>\n": 39 bytes a row.
        const qint64 rows = qint64(o.largeFileMB) * 1000000 / 39;
        QString answer = QStringLiteral("UUID:") + uuid + QStringLiteral("|bench(192.0.2.1)|2.1.20090713-1");
        answer += QStringLiteral("^Software:") + QStringLiteral("a$").repeated(rows);
        CPcConfig cfg(uuid);
        if (cfg.open() != 1 || cfg.createFromTemplate(answer) != 0) {
            std::fprintf(stderr, "bench_store: cannot fill %s\n", qPrintable(path));
            return 1;
        }
    }
    malloc_trim(0);
    const qint64 size = QFileInfo(path).size();
    QString text = uuid;
    for (int k = 0; k < o.items; ++k)
        text += QStringLiteral("^Software$add$") + CBenchStore::softwareRow(k);
    const bool peakReset = CTestMemory::resetPeak();
    const qint64 before = CTestMemory::statusKiB("VmRSS");
    QElapsedTimer wall;
    wall.start();
    int rc;
    {
        CPcConfig cfg(uuid);
        cfg.open();
        rc = cfg.applyChange(text);
    }
    const qint64 elapsed = wall.elapsed();
    const qint64 peak = CTestMemory::statusKiB("VmHWM") - before;
    const qint64 after = CTestMemory::statusKiB("VmRSS");
    std::printf("client file %.1f MB; one notice of %d items: %s in %lld ms\n", size / 1e6, o.items,
        rc == 0 ? "applied" : "FAILED", elapsed);
    std::printf("peak %.1f MiB above the %.1f MiB resident before (%.2f bytes per byte of file)%s; "
                "resident after %.1f MiB\n",
        peak / 1024.0, before / 1024.0, peak * 1024.0 / double(size), peakReset ? "" : " (peak not reset)",
        after / 1024.0);
    QFile::remove(path);
    return rc == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const int relocated = CBenchStore::relocate(argv, "BRAMIX_BENCH_STORE_RELOCATED");
    if (relocated >= 0)
        return relocated;
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    return options.largeFileMB > 0 ? runLargeFile(options) : run(options);
}
