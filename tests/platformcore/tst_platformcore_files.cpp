#include "catomicfile.h"
#include "cfileguard.h"

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
    QCoreApplication app(argc, argv);
    TestPlatformCoreFiles tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_platformcore_files.moc"
