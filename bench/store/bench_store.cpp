// Change notices against a large store: a list.xml of many clients, each with an inventory file
// holding a realistic Software class, and many threads applying notices at once, as the server's
// workers do.
//
//   bench_store [--clients N] [--software ROWS] [--threads T] [--notices M] [--items K] [--copies]
//               [--fresh]
//
// Defaults: 10000 clients, 1500 Software rows, 16 threads, 1000 notices of 2 items. Without
// --copies the inventory files start as hard links of one filled file (each is replaced by a file
// of its own at its first change), which builds the store in seconds and little disk. Clients
// start with the notice flag "no", as every client has it after its first notice; --fresh starts
// them without it, so that every client's first notice also rewrites list.xml.
#include "cmessages.h"
#include "cpcconfig.h"
#include "cset.h"
#include "cxmlfile.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

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
    }
    o.clients = std::max(1, o.clients);
    o.threads = std::max(1, o.threads);
    o.items = std::max(1, o.items);
    return o;
}

// One Win32_Product object as the agent stores it.
QString softwareRow(int i)
{
    return QStringLiteral("Caption=Contoso Application Suite %1 (x64) Update KB%2\n"
                          "Description=Contoso Application Suite %1 (x64) Update KB%2\n"
                          "IdentifyingNumber={%3}\n"
                          "InstallDate=20090612\n"
                          "InstallLocation=C\\Program Files\\Contoso\\Suite %1\\\n"
                          "InstallState=5\n"
                          "Name=Contoso Application Suite %1 (x64) Update KB%2\n"
                          "PackageCache=C\\Windows\\Installer\\%4.msi\n"
                          "SKUNumber=\n"
                          "Vendor=Contoso Software Corporation\n"
                          "Version=%5.%6.%7\n")
        .arg(i)
        .arg(900000 + i)
        .arg(QUuid::createUuidV5(QUuid(), QString::number(i)).toString(QUuid::WithoutBraces).toUpper())
        .arg(QString::number(0x1a2b3c + i, 16))
        .arg(i % 17)
        .arg(i % 100)
        .arg(i * 7 % 10000);
}

QString identityAnswer(const QString &uuid, int software)
{
    QStringList softwareRows;
    for (int i = 0; i < software; ++i)
        softwareRows << softwareRow(i);
    const QList<CMessages::ClassBlock> classes = {
        {QStringLiteral("BIOS"), {QStringLiteral("Manufacturer=Phoenix\nName=Phoenix BIOS 6.00\nVersion=6.0\n")}},
        {QStringLiteral("BaseBoard"), {QStringLiteral("Manufacturer=ASUSTeK\nProduct=P5B\n")}},
        {QStringLiteral("CDROMDrive"), {QStringLiteral("Caption=HL-DT-ST DVDRAM GSA-H42N\n")}},
        {QStringLiteral("CPU"),
            {QStringLiteral("Manufacturer=GenuineIntel\nName=Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n")}},
        {QStringLiteral("DesktopMonitor"), {QStringLiteral("Caption=Plug and Play Monitor\n")}},
        {QStringLiteral("DiskDrive"), {QStringLiteral("Caption=ST3250410AS\nSize=250056737280\n")}},
        {QStringLiteral("MemoryDevice"),
            {QStringLiteral("Capacity=1073741824\n"), QStringLiteral("Capacity=1073741824\n")}},
        {QStringLiteral("NetworkAdapter"),
            {QStringLiteral("Name=Intel(R) PRO/1000 PL\n"), QStringLiteral("Name=WAN Miniport (IP)\n")}},
        {QStringLiteral("OS"), {QStringLiteral("Caption=Microsoft Windows XP Professional\nVersion=5.1.2600\n")}},
        {QStringLiteral("Printer"), {QStringLiteral("Caption=HP LaserJet 4250 PCL6\n")}},
        {QStringLiteral("Software"), softwareRows},
        {QStringLiteral("SoundDevice"), {QStringLiteral("Caption=Realtek High Definition Audio\n")}},
        {QStringLiteral("VideoController"), {QStringLiteral("Name=NVIDIA GeForce 7600 GS\n")}},
    };
    return CMessages::buildIdentityAnswer(
        uuid, QStringLiteral("bench(127.0.0.1)"), QStringLiteral("2.1.20090713"), QStringLiteral("1"), classes);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
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
    QFile::copy(dir + "/../configtempl.xml", dir + "/configtempl.xml");
    std::printf("store: %d clients, %d Software rows each, in %s\n", o.clients, o.software, qPrintable(dir));

    QElapsedTimer build;
    build.start();
    QStringList uuids;
    QByteArray list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist>\n";
    for (int i = 0; i < o.clients; ++i) {
        const QString uuid = QUuid::createUuid().toString();
        uuids.append(uuid);
        if (i % 100 == 0)
            list += QStringLiteral(
                "    <folder>\n        <name>Floor %1</name>\n        <value>%2</value>\n    </folder>\n")
                        .arg(i / 100)
                        .arg(QUuid::createUuid().toString())
                        .toUtf8();
        list += QStringLiteral("    <pc UUID=\"%1\"%6>\n        <name>PC-%2</name>\n        <ip>10.%3.%4.%5</ip>\n"
                               "        <version>2.1.20090713</version>\n        <os>1</os>\n    </pc>\n")
                    .arg(uuid)
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(i / 65536)
                    .arg(i / 256 % 256)
                    .arg(i % 256)
                    .arg(o.fresh ? QString() : QStringLiteral(" notice=\"no\""))
                    .toUtf8();
    }
    list += "</pclist>\n";
    if (!writeFile(dir + "/list.xml", list))
        return 1;
    // One client filled through the store; the others start as the same content.
    {
        CPcConfig first(uuids.first());
        first.open();
        if (first.createFromTemplate(identityAnswer(uuids.first(), o.software)) != 0) {
            std::fprintf(stderr, "cannot fill from configtempl.xml\n");
            return 1;
        }
    }
    const QString firstPath = dir + "/" + uuids.first() + ".xml";
    const QByteArray filled = [&] {
        QFile f(firstPath);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    for (int i = 1; i < o.clients; ++i) {
        const QString path = dir + "/" + uuids.at(i) + ".xml";
        const bool ok = o.copies
            ? writeFile(path, filled)
            : ::link(QFile::encodeName(firstPath).constData(), QFile::encodeName(path).constData()) == 0;
        if (!ok) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("built in %.1f s: list.xml %.2f MB, inventory file %.2f MB each (%s)\n", build.elapsed() / 1000.0,
        list.size() / 1e6, filled.size() / 1e6, o.copies ? "copies" : "hard links until first change");

    // The cost of one notice, step by step, on a client of its own.
    {
        const QString uuid = uuids.at(o.clients / 2);
        const QString path = dir + "/" + uuid + ".xml";
        const int rounds = 20;
        qint64 tList = 0, tParse = 0, tChange = 0, tSerialize = 0, tWrite = 0, tWhole = 0, wWrite = 0, wWhole = 0,
               wSerialize = 0;
        CpuTimer t;
        QElapsedTimer w;
        for (int r = -1; r < rounds; ++r) {
            if (r == 0) // the first round only warms up (first parse of the list, page cache)
                tList = tParse = tChange = tSerialize = tWrite = tWhole = wWrite = wWhole = wSerialize = 0;
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
            t.start();
            QDomElement root = doc.documentElement();
            const QString now = CXmlFile::timeStamp();
            for (int k = 0; k < o.items; ++k) {
                QDomElement cls = root.firstChildElement("Software");
                const QString row = softwareRow(100000 + r * 10 + k);
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
                    text += "^Software$add$" + softwareRow(200000 + r * 10 + k);
                cfg.applyChange(text);
            }
            tWhole += t.nsecsElapsed();
            wWhole += w.nsecsElapsed();
        }
        std::printf("one notice of %d items, single thread, mean CPU time of %d after a warm-up:\n", o.items, rounds);
        std::printf("  notice flag (list.xml)       %8.2f ms\n", ms(tList / rounds));
        std::printf("  parse inventory file         %8.2f ms\n", ms(tParse / rounds));
        std::printf("  change                       %8.2f ms\n", ms(tChange / rounds));
        std::printf("  serialise                    %8.2f ms\n", ms(tSerialize / rounds));
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
                    text += QStringLiteral("^Software$add$") + softwareRow(300000 + n * o.items + k);
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

} // namespace

int main(int argc, char **argv)
{
    // The store keeps its files beside the running program: run from a copy in a scratch directory.
    if (!qEnvironmentVariableIsSet("BRAMIX_BENCH_STORE_RELOCATED")) {
        const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        QTemporaryDir dir;
        if (!dir.isValid())
            return 2;
        QDir().mkpath(dir.filePath("bin"));
        const QString copy = dir.filePath("bin/bench_store");
        if (!QFile::copy(self, copy)
            || !QFile::copy(QFileInfo(self).absolutePath() + "/configtempl.xml", dir.filePath("configtempl.xml"))) {
            std::fprintf(stderr, "cannot set up %s (configtempl.xml beside the program?)\n", qPrintable(dir.path()));
            return 2;
        }
        QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
        const QByteArray program = QFile::encodeName(copy);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("BRAMIX_BENCH_STORE_RELOCATED", "1", 1);
            argv[0] = const_cast<char *>(program.constData());
            ::execv(program.constData(), argv);
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0) { }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    }
    QCoreApplication app(argc, argv);
    return run(parse(app.arguments()));
}
