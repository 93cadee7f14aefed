// The console's scan and forced push, timed. Runs inside a namespace that bench/scan/run.sh made;
// refuses to scan when a local IPv4 address lies outside 127.0.0.0/8 and BRAMIX_SCAN_ADDRESS's range.
//
//   bench_scan scan [<clients already listed>]   one scan from the "&Search" action: ms to "OK"
//   bench_scan push <first address> <clients> <MiB>   forced push of one file to every client
//   bench_scan fill real16|dollars|carets|letters   one client file filled from an answer of just under 16 MiB
//   bench_scan console <dir> [<cores>]   the console installed in <dir> (its bramix-consolescan, started
//       there), on its first <cores> cores when given: its exit code, time to its end and peak RSS
//   bench_scan files <dir> <first address> <count> <mode> [<count> <mode>]...
//       after a scan of bench_scan_agents with these arguments by the console installed in <dir>: how
//       many of the agents that answer whole are listed with a file that parses, and how many of the
//       others (silent, drip16, lure16) are listed
//
// It runs from a copy of itself with the shipped store files in a scratch directory (the console
// keeps its files beside the program); files reads the directory given.
#include "cbenchstore.h"
#include "chostileanswers.h"
#include "cnetnsguard.h"
#include "cpcconfig.h"
#include "cset.h"
#include "ctestdialogs.h"
#include "ctestmemory.h"
#include "ctestprocess.h"
#include "qtm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kMarker[] = "BRAMIX_BENCH_SCAN_RELOCATED";

int relocate(char **argv)
{
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString from = QFileInfo(self).absolutePath();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    for (const QString &name : {QFileInfo(self).fileName(), QStringLiteral("configtempl.xml"),
             QStringLiteral("list.xml"), QStringLiteral("uplist.xml"), QStringLiteral("updateLog.xml")}) {
        if (!QFile::copy(from + QLatin1Char('/') + name, dir.filePath(name))) {
            std::fprintf(stderr, "bench_scan: cannot copy %s into %s\n", qPrintable(name), qPrintable(dir.path()));
            return 2;
        }
    }
    const QString copy = dir.filePath(QFileInfo(self).fileName());
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
    const QByteArray program = QFile::encodeName(copy);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kMarker, "1", 1);
        argv[0] = const_cast<char *>(program.constData());
        ::execv(program.constData(), argv);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

// A client file that is not empty and parses, read as a stream: a file of millions of rows would
// not fit a document here.
bool parses(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

long peakRssKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

int scan(int listed)
{
    if (listed > 0) {
        CBenchStore::Options options;
        options.clients = listed;
        options.software = 50;
        QStringList uuids;
        if (!CBenchStore::build(options, uuids))
            return 1;
    }
    const QString problem = CNetnsGuard::check();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "bench_scan: %s\n", qPrintable(problem));
        return 1;
    }
    qtm window;
    window.init();
    QElapsedTimer timer;
    timer.start();
    window.ui.action_Open->trigger();
    const qint64 started = timer.elapsed();
    if (!waitUntil([&] { return window.m_scanFinished == window.m_scanStarted; }, 300000)) {
        std::fprintf(stderr, "bench_scan: the scan did not end\n");
        return 1;
    }
    const qint64 total = timer.elapsed();
    const long peak = peakRssKiB();
    std::list<PCEntry> clients;
    {
        CSet list;
        list.openList();
        list.getPCList(clients);
    }
    // Every listed client must have an inventory file that is not empty and parses.
    int good = 0;
    for (const PCEntry &client : clients) {
        if (parses(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QString::fromStdString(client.at("UUID"))
                + QStringLiteral(".xml")))
            ++good;
    }
    std::printf("scan: %d probes (started in %lld ms), %d new clients, list now %zu clients (%d with a good file): "
                "%lld ms to \"OK\"; peak RSS %ld KiB\n",
        window.m_scanStarted, static_cast<long long>(started), window.m_found, clients.size(), good,
        static_cast<long long>(total), peak);
    return good == int(clients.size()) ? 0 : 1;
}

int push(const QString &first, int count, int mib)
{
    const quint32 base = QHostAddress(first).toIPv4Address();
    {
        CSet list;
        list.openList();
        for (int i = 0; i < count; ++i)
            list.addPC(
                QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(base + quint32(i), 8, 16, QLatin1Char('0')),
                QStringLiteral("AGENT%1").arg(i), QHostAddress(base + quint32(i)).toString(),
                QStringLiteral("2.1.20090713"), QStringLiteral("1"));
    }
    const QString file = QCoreApplication::applicationDirPath() + QStringLiteral("/BramixClient.exe");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray mebibyte(1024 * 1024, 'u');
        for (int i = 0; i < mib; ++i)
            out.write(mebibyte);
    }
    CTestDialogs dialogs;
    CDialogs::setInstance(&dialogs);
    dialogs.dialogHandlers.enqueue([&](QDialog &dialog) {
        dialog.findChild<QListWidget *>(QStringLiteral("WindowsList"))->clear();
        dialog.findChild<QListWidget *>(QStringLiteral("WindowsList"))->addItem(file);
        dialog.findChild<QCheckBox *>(QStringLiteral("cbForce"))->setChecked(true);
        return int(QDialog::Accepted);
    });
    const long before = peakRssKiB();
    qtm window;
    window.init();
    QElapsedTimer timer;
    timer.start();
    window.ui.actionUpdate_Client->trigger();
    if (!waitUntil([&] { return window.m_updateOK + window.m_updateFailed == window.m_updateTotal; }, 600000)) {
        std::fprintf(stderr, "bench_scan: the push did not end\n");
        return 1;
    }
    const qint64 ms = timer.elapsed();
    std::printf("push: %d clients, %d MiB each: %d ok, %d failed in %lld ms = %.1f pushes/s, %.0f MiB/s; peak RSS "
                "%ld KiB (%ld KiB before the console)\n",
        window.m_updateTotal, mib, window.m_updateOK, window.m_updateFailed, static_cast<long long>(ms),
        window.m_updateTotal * 1000.0 / qMax<qint64>(ms, 1),
        window.m_updateOK * double(mib) * 1000.0 / qMax<qint64>(ms, 1), peakRssKiB(), before);
    CDialogs::setInstance(nullptr);
    return window.m_updateFailed == 0 ? 0 : 1;
}

int fill(const QString &kind)
{
    const QString uuid = QStringLiteral("{00000000-0000-4000-8000-000000000001}");
    const QString label = QStringLiteral("AGENT1(198.51.100.2)");
    const QString answer = kind == QLatin1String("dollars") ? CHostileAnswers::dollars(uuid, label)
        : kind == QLatin1String("carets")                   ? CHostileAnswers::carets(uuid, label)
        : kind == QLatin1String("letters")                  ? CHostileAnswers::letters(uuid, label)
                                                            : CHostileAnswers::realRows(uuid, label);
    const qint64 before = CTestMemory::statusKiB("VmHWM");
    CTestMemory::resetPeak();
    QElapsedTimer timer;
    timer.start();
    int result;
    {
        CPcConfig config(uuid);
        config.open();
        result = config.createFromTemplate(answer);
    }
    const qint64 ms = timer.elapsed();
    const qint64 size
        = QFileInfo(QCoreApplication::applicationDirPath() + QLatin1Char('/') + uuid + QStringLiteral(".xml")).size();
    std::printf("fill %s: answer %lld bytes, result %d, file %lld bytes in %lld ms; peak RSS %lld KiB during the fill "
                "(%lld KiB with the answer built)\n",
        qPrintable(kind), static_cast<long long>(answer.size()) * 2, result, static_cast<long long>(size),
        static_cast<long long>(ms), static_cast<long long>(CTestMemory::statusKiB("VmHWM")),
        static_cast<long long>(before));
    return result == 0 ? 0 : 1;
}

int console(const QString &dir, int cores)
{
    const QByteArray program = QFile::encodeName(dir + QStringLiteral("/bramix-consolescan"));
    const QByteArray where = QFile::encodeName(dir);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (cores > 0)
            CTestProcess::keepToCores(cores);
        // The new clients it lists are not wanted here; what it says on standard error is.
        const int null = ::open("/dev/null", O_WRONLY);
        if (::chdir(where.constData()) != 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0)
            ::_exit(127);
        ::execl(program.constData(), program.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) { }
    std::printf("console: exit %d after %lld ms, peak RSS %ld KiB\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
        static_cast<long long>(timer.elapsed()), usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

// The UUIDs listed in dir's list.xml.
QSet<QString> listedIn(const QString &dir)
{
    QSet<QString> out;
    QFile file(dir + QStringLiteral("/list.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("pc"))
            out.insert(reader.attributes().value(QLatin1String("UUID")).toString());
    }
    return out;
}

int files(const QStringList &args)
{
    const QString dir = args.value(0);
    quint32 next = QHostAddress(args.value(1)).toIPv4Address();
    const QSet<QString> listed = listedIn(dir);
    const QStringList slowModes {QStringLiteral("silent"), QStringLiteral("drip16"), QStringLiteral("lure16")};
    int honest = 0;
    int honestListed = 0;
    int good = 0;
    int slow = 0;
    int slowListed = 0;
    for (int group = 2; group + 1 < args.size(); group += 2) {
        const int count = args.at(group).toInt();
        const bool whole = !slowModes.contains(args.at(group + 1));
        for (int i = 0; i < count; ++i, ++next) {
            const QString uuid = QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(next, 8, 16, QLatin1Char('0'));
            const bool isListed = listed.contains(uuid);
            if (!whole) {
                ++slow;
                slowListed += isListed ? 1 : 0;
                continue;
            }
            ++honest;
            if (!isListed)
                continue;
            ++honestListed;
            if (parses(dir + QLatin1Char('/') + uuid + QStringLiteral(".xml")))
                ++good;
        }
    }
    std::printf("files: %d of %d honest agents listed, %d with a file that parses; %d of %d slow agents listed\n",
        honestListed, honest, good, slowListed, slow);
    return honestListed == honest && good == honest && slowListed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "files") == 0) {
        QCoreApplication app(argc, argv);
        return files(app.arguments().mid(2));
    }
    if (argc > 2 && qstrcmp(argv[1], "console") == 0)
        return console(QFile::decodeName(argv[2]), argc > 3 ? QByteArray(argv[3]).toInt() : 0);
    if (!qEnvironmentVariableIsSet(kMarker))
        return relocate(argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvelle"));
    QCoreApplication::setApplicationName(QStringLiteral("BramixBench"));
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("scan"))
        return scan(args.value(2).toInt());
    if (args.value(1) == QLatin1String("fill") && args.size() == 3)
        return fill(args.at(2));
    if (args.value(1) == QLatin1String("push") && args.size() == 5)
        return push(args.at(2), args.at(3).toInt(), args.at(4).toInt());
    std::fprintf(stderr,
        "usage: bench_scan scan [<listed>] | push <first address> <clients> <MiB> | fill <kind> | "
        "console <dir> [<cores>] | files <dir> <first address> <count> <mode>...\n");
    return 2;
}
