#include "catomicfile.h"
#include "cfileguard.h"
#include "csyncrecorder.h"
#include "ctestenvironment.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One unguarded-looking read-modify-write of a counter file; only the guard makes it safe.
void increment(const QString &path, int times)
{
    for (int i = 0; i < times; ++i) {
        CFileGuard guard(path);
        QFile f(path);
        int value = 0;
        if (f.open(QIODevice::ReadOnly))
            value = f.readAll().toInt();
        f.close();
        QThread::yieldCurrentThread();
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QByteArray::number(value + 1));
    }
}

int counter(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toInt() : -1;
}

// Sets the last change of path (not of what a link names) ageSeconds into the past.
bool age(const QString &path, int ageSeconds)
{
    timespec times[2] {};
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - ageSeconds;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// A replacement killed mid-write: the file size limit stops the process with SIGXFSZ inside the
// write of a megabyte, as a crash or a kill would, leaving what the writer had made so far.
[[noreturn]] void writeUntilKilled(const QString &path)
{
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit small {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &small);
    CAtomicFile::write(path, QByteArray(1 << 20, 'n'));
    ::_exit(3); // not reached while the limit holds
}

} // namespace

class TestPlatformCoreFiles : public QObject
{
    Q_OBJECT
private slots:
    void guardExcludesThreads()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("counter");
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back(QThread::create([&] { increment(path, 200); }));
            threads.back()->start();
        }
        for (auto &t : threads)
            QVERIFY(t->wait(60000));
        QCOMPARE(counter(path), 1200);
    }

    void guardExcludesProcessesAndThreads()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("counter");
        std::vector<std::unique_ptr<QProcess>> children;
        for (int p = 0; p < 2; ++p) {
            children.emplace_back(new QProcess);
            children.back()->start(QCoreApplication::applicationFilePath(), {"--increment", path, "300"});
            QVERIFY(children.back()->waitForStarted(10000));
        }
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back(QThread::create([&] { increment(path, 300); }));
            threads.back()->start();
        }
        for (auto &t : threads)
            QVERIFY(t->wait(60000));
        for (auto &c : children) {
            QVERIFY(c->waitForFinished(60000));
            QCOMPARE(c->exitCode(), 0);
        }
        QCOMPARE(counter(path), 1200);
    }

    void oneFileByTwoSpellings()
    {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("sub"));
        QAtomicInt acquired;
        auto held = std::make_unique<CFileGuard>(dir.filePath("sub/f"));
        QVERIFY(held->isLocked());
        std::unique_ptr<QThread> other(QThread::create([&] {
            CFileGuard guard(dir.filePath("sub/../sub/./f"));
            acquired.storeRelease(guard.isLocked() ? 1 : 2);
        }));
        other->start();
        QVERIFY(!other->wait(200));
        QCOMPARE(acquired.loadAcquire(), 0);
        held.reset();
        QVERIFY(other->wait(10000));
        QCOMPARE(acquired.loadAcquire(), 1);
    }

    // A waiter asked to stop gives the wait up, holding nothing, whoever holds the lock; the holder is
    // not disturbed, and the lock is free for the next one once the holder lets go.
    void stopEndsTheWait_data()
    {
        QTest::addColumn<bool>("otherProcess");
        QTest::newRow("held by a thread of this process") << false;
        QTest::newRow("held by another process") << true;
    }

    void stopEndsTheWait()
    {
        QFETCH(bool, otherProcess);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.xml");
        std::unique_ptr<CFileGuard> held;
        QProcess holder;
        if (otherProcess) {
            holder.start(QCoreApplication::applicationFilePath(), {"--hold", path});
            QVERIFY(holder.waitForStarted(10000));
            QVERIFY(holder.waitForReadyRead(10000));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));
        } else {
            held = std::make_unique<CFileGuard>(path);
            QVERIFY(held->isLocked());
        }

        QAtomicInt outcome; // 0 waiting, 1 locked, 2 given up
        std::unique_ptr<QThread> waiter(QThread::create([&] {
            CFileGuard guard(path);
            outcome.storeRelease(guard.isLocked() ? 1 : 2);
        }));
        waiter->start();
        QVERIFY(!waiter->wait(300));
        QCOMPARE(outcome.loadAcquire(), 0);
        waiter->requestInterruption();
        QVERIFY(waiter->wait(10000));
        QCOMPARE(outcome.loadAcquire(), 2);

        if (otherProcess) {
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(10000));
            QCOMPARE(holder.exitCode(), 0);
        } else {
            held.reset();
        }
        std::unique_ptr<QThread> next(QThread::create([&] {
            CFileGuard guard(path);
            outcome.storeRelease(guard.isLocked() ? 1 : 2);
        }));
        next->start();
        QVERIFY(next->wait(10000));
        QCOMPARE(outcome.loadAcquire(), 1);
    }

    void guardsOfDifferentFilesRunSideBySide()
    {
        QTemporaryDir dir;
        CFileGuard a(dir.filePath("a"));
        std::unique_ptr<QThread> other(QThread::create([&] { CFileGuard b(dir.filePath("b")); }));
        other->start();
        QVERIFY(other->wait(10000));
    }

    void atomicWriteReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f.xml");
        QVERIFY(CAtomicFile::write(path, "first version, the longer one"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(CAtomicFile::write(path, "second"));
        QFile now(path);
        QVERIFY(now.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), QByteArray("second"));
        // A reader that opened the old version keeps reading it whole.
        QCOMPARE(old.readAll(), QByteArray("first version, the longer one"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"f.xml"}));
        QString error;
        QVERIFY(!CAtomicFile::write(dir.filePath("missing/f.xml"), "x", &error));
        QVERIFY(!error.isEmpty());
    }

    void readersNeverSeeAPart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f");
        const QByteArray a(1 << 20, 'a');
        const QByteArray b(3 << 19, 'b');
        QVERIFY(CAtomicFile::write(path, a));
        QAtomicInt stop;
        std::unique_ptr<QThread> writer(QThread::create([&] {
            for (int i = 0; !stop.loadAcquire(); ++i)
                CAtomicFile::write(path, i % 2 ? a : b);
        }));
        writer->start();
        int torn = 0;
        for (int i = 0; i < 300; ++i) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QByteArray got = f.readAll();
            if (got != a && got != b)
                ++torn;
        }
        stop.storeRelease(1);
        QVERIFY(writer->wait(30000));
        QCOMPARE(torn, 0);
    }

    // A replacement that has returned is on disk, the new name included: the data are synced before
    // the rename, and the directory after it, before the writer returns.
    void replacementIsDurable_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("pieces");
        QTest::addColumn<bool>("link");
        QTest::newRow("new file") << false << false << false;
        QTest::newRow("existing file") << true << false << false;
        QTest::newRow("written in pieces") << true << true << false;
        QTest::newRow("through a link") << true << false << true;
    }

    void replacementIsDurable()
    {
        QFETCH(bool, existing);
        QFETCH(bool, pieces);
        QFETCH(bool, link);
        QTemporaryDir dir;
        const QString target = dir.filePath("f.xml");
        const QString path = link ? dir.filePath("link.xml") : target;
        if (existing)
            QVERIFY(CTestEnvironment::writeFile(target, "old"));
        if (link)
            QVERIFY(QFile::link(target, path));
        CSyncRecorder::start(dir.path());
        bool written = false;
        if (pieces) {
            CAtomicFile file(path);
            written = file.open() && file.append("new ") && file.append("content") && file.commit();
        } else {
            written = CAtomicFile::write(path, "new content");
        }
        const QList<CSyncRecorder::Event> events = CSyncRecorder::stop();
        QVERIFY(written);
        int renames = 0;
        const QString fault = CSyncRecorder::durabilityFault(events, dir.path(), &renames);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(renames, 1);
        QCOMPARE(CTestEnvironment::readFile(target), QByteArray("new content"));
        QCOMPARE(QFileInfo(path).isSymLink(), link);
    }

    // A replacement in pieces takes the place of the old file only when committed; otherwise the
    // old file stays whole, and no temporary is left either way.
    void replacementInPieces_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("committed") << "commit" << true;
        QTest::newRow("cancelled") << "cancel" << false;
        QTest::newRow("dropped uncommitted") << "drop" << false;
        QTest::newRow("a piece cannot be written") << "fail" << false;
    }

    void replacementInPieces()
    {
        QFETCH(QString, ending);
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.xml");
        const QByteArray old(64 * 1024, 'o');
        QVERIFY(CTestEnvironment::writeFile(path, old));
        const QByteArray piece(64 * 1024, 'n');
        // A file size limit refuses the third piece as a full disk would (with the signal ignored,
        // the write fails with EFBIG).
        rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        {
            CAtomicFile file(path);
            QVERIFY(file.open());
            if (ending == "fail") {
                rlimit small = saved;
                small.rlim_cur = 2 * piece.size();
                QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
            }
            const bool appended = file.append(piece) && file.append(piece) && file.append(piece);
            ::setrlimit(RLIMIT_FSIZE, &saved);
            QCOMPARE(appended, ending != "fail");
            if (ending == "commit")
                QVERIFY(file.commit());
            else if (ending == "cancel")
                file.cancel();
            else if (ending == "fail")
                QVERIFY(!file.commit() && !file.errorString().isEmpty());
        }
        std::signal(SIGXFSZ, savedHandler);
        QCOMPARE(CTestEnvironment::readFile(path), replaced ? piece.repeated(3) : old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"f.xml"}));
    }

    // The start-up sweep removes only the writer's own temporaries, once they are old enough that
    // no writer is still at them; whatever else lies beside the store files stays as it is. A name
    // ending in "/" is a directory, one ending in "@" a symbolic link to a file outside.
    void sweepRemovesOnlyTheWritersTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("removed");
        const QString uuid = QStringLiteral("{6f1c2a3b-0d4e-4f50-9a8b-7c6d5e4f3a21}");
        QTest::newRow("writer's temporary of list.xml") << ".list.xml.aZ3kQw9PbX1m.bramix-new" << 600 << true;
        QTest::newRow("writer's temporary of a client file")
            << "." + uuid + ".xml.QqTTbWzLkMnX.bramix-new" << 86400 << true;
        QTest::newRow("fresh writer's temporary") << ".list.xml.aZ3kQw9PbX1m.bramix-new" << 5 << false;
        QTest::newRow("writer's temporary younger than five minutes")
            << ".updateLog.xml.MnOpQr0123ab.bramix-new" << 240 << false;
        QTest::newRow("set-aside client file") << uuid + ".xml.broken" << 3600 << false;
        QTest::newRow("second set-aside client file") << uuid + ".xml.2.broken" << 3600 << false;
        QTest::newRow("administrator's backup") << "list.xml.backup" << 3600 << false;
        QTest::newRow("administrator's backup, capitalised") << "list.xml.Backup" << 3600 << false;
        QTest::newRow("six mixed-case letters after the name") << "list.xml.QkTbWz" << 3600 << false;
        QTest::newRow("random part one short") << ".list.xml.aZ3kQw9PbX1.bramix-new" << 600 << false;
        QTest::newRow("not hidden") << "list.xml.aZ3kQw9PbX1m.bramix-new" << 600 << false;
        QTest::newRow("no target name") << "..aZ3kQw9PbX1m.bramix-new" << 600 << false;
        QTest::newRow("a store file") << "uplist.xml" << 600 << false;
        QTest::newRow("in a subdirectory") << "sub/.list.xml.aZ3kQw9PbX1m.bramix-new" << 600 << false;
        QTest::newRow("a directory") << ".list.xml.aZ3kQw9PbX1m.bramix-new/" << 600 << false;
        QTest::newRow("a symbolic link") << ".list.xml.aZ3kQw9PbX1m.bramix-new@" << 600 << false;
    }

    void sweepRemovesOnlyTheWritersTemporaries()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        QTemporaryDir outside;
        const QByteArray content = "<?xml version=\"1.0\"?>\n<pclist/>\n";
        QVERIFY(CTestEnvironment::writeFile(dir.filePath("list.xml"), content));
        const bool isDir = name.endsWith(QLatin1Char('/'));
        const bool isLink = name.endsWith(QLatin1Char('@'));
        const QString path = dir.filePath(isDir || isLink ? name.chopped(1) : name);
        const QString linked = outside.filePath("linked.xml");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (isDir) {
            QVERIFY(QDir().mkpath(path));
        } else if (isLink) {
            QVERIFY(CTestEnvironment::writeFile(linked, content));
            QVERIFY(age(linked, ageSeconds));
            QVERIFY(QFile::link(linked, path));
        } else if (!QFile::exists(path)) {
            QVERIFY(CTestEnvironment::writeFile(path, content));
        }
        QVERIFY(age(path, ageSeconds));

        QCOMPARE(CAtomicFile::removeStaleTemporaries(dir.path(), 5 * 60), removed ? 1 : 0);
        QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !removed);
        if (!removed && !isDir)
            QCOMPARE(CTestEnvironment::readFile(path), content);
        if (isLink)
            QCOMPARE(CTestEnvironment::readFile(linked), content);
        QCOMPARE(CTestEnvironment::readFile(dir.filePath("list.xml")), content);
    }

    // What a writer killed mid-write leaves is the sweep's to remove, by the name the writer really
    // gave it; the file it was replacing, and a copy set aside beside it, stay.
    void sweepRemovesWhatAKilledWriterLeft()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("list.xml");
        const QString aside = dir.filePath("list.xml.broken");
        QVERIFY(CTestEnvironment::writeFile(path, "old"));
        QVERIFY(CTestEnvironment::writeFile(aside, "set aside"));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--write-until-killed", path});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(CTestEnvironment::readFile(path), QByteArray("old"));
        QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        left.removeAll("list.xml");
        left.removeAll("list.xml.broken");
        QCOMPARE(left.size(), 1);
        const QString leftover = dir.filePath(left.first());
        QCOMPARE(QFileInfo(leftover).size(), 4096);

        // Still being written, as far as anyone can tell: kept.
        QCOMPARE(CAtomicFile::removeStaleTemporaries(dir.path(), 5 * 60), 0);
        QVERIFY(QFileInfo::exists(leftover));
        QVERIFY(age(leftover, 600));
        QVERIFY(age(aside, 600));
        QCOMPARE(CAtomicFile::removeStaleTemporaries(dir.path(), 5 * 60), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"list.xml", "list.xml.broken"}));
        QCOMPARE(CTestEnvironment::readFile(path), QByteArray("old"));
        QCOMPARE(CTestEnvironment::readFile(aside), QByteArray("set aside"));
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--increment") {
        increment(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
        return 0;
    }
    if (argc == 3 && QByteArray(argv[1]) == "--hold") {
        // Holds the lock until standard input ends.
        CFileGuard guard(QString::fromLocal8Bit(argv[2]));
        if (!guard.isLocked())
            return 1;
        std::fputs("locked\n", stdout);
        std::fflush(stdout);
        while (std::fgetc(stdin) != EOF) { }
        return 0;
    }
    if (argc == 3 && QByteArray(argv[1]) == "--write-until-killed")
        writeUntilKilled(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestPlatformCoreFiles tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_platformcore_files.moc"
