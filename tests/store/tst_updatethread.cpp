#include "cpushcapture.h"
#include "cstoretestrun.h"
#include "cupdatethread.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>

namespace {

// The push's stall deadline in this test; the thread reads it when it is made.
const int kStallMs = 1500;

QByteArray pattern(qint64 size, int seed)
{
    QByteArray out(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        out[i] = char((i * 31 + seed) & 0xFF);
    return out;
}

// A connected pair as the server has it: the agent's socket and the server's socket of the accepted
// connection (without parent, as the server's worker makes it).
struct Connection
{
    QTcpServer server;
    QTcpSocket agent;
    QTcpSocket *worker = nullptr;

    bool open()
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        agent.connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!agent.waitForConnected(10000) || !server.waitForNewConnection(10000))
            return false;
        worker = server.nextPendingConnection();
        worker->setParent(nullptr);
        return true;
    }
    ~Connection() { delete worker; }
};

} // namespace

class TestUpdateThread : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString makeFile(const QString &name, const QByteArray &data)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        f.write(data);
        return path;
    }

private slots:
    void frames_data()
    {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::newRow("empty file") << QList<qint64> {0};
        QTest::newRow("one piece") << QList<qint64> {8192};
        QTest::newRow("piece and a byte") << QList<qint64> {8193};
        QTest::newRow("two files") << QList<qint64> {10, 5};
        QTest::newRow("empty then full") << QList<qint64> {0, 3};
        QTest::newRow("large") << QList<qint64> {3 * 1024 * 1024 + 17};
    }

    void frames()
    {
        QFETCH(QList<qint64>, sizes);
        QStringList paths;
        QList<QByteArray> contents;
        for (int i = 0; i < sizes.size(); ++i) {
            contents.append(pattern(sizes.at(i), i));
            paths.append(makeFile(QString("update%1.exe").arg(i), contents.last()));
        }
        Connection c;
        QVERIFY(c.open());
        CUpdateThread thread(nullptr, c.worker, paths, "0");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QByteArray bytes;
        QVERIFY(CPushCapture::collect(&c.agent, &thread, &bytes));
        QCOMPARE(ok.count(), 1);
        QCOMPARE(ok.at(0).at(0).toString(), QString("0"));
        QCOMPARE(failed.count(), 0);
        // The given socket is handed back, disconnected, not deleted.
        QCOMPARE(c.worker->thread(), QThread::currentThread());
        QCOMPARE(c.worker->state(), QAbstractSocket::UnconnectedState);

        qint64 expected = 0;
        bool incomplete = true;
        const QList<CPushCapture::Frame> got = CPushCapture::frames(bytes, &incomplete);
        QVERIFY(!incomplete);
        QCOMPARE(got.size(), sizes.size());
        for (int i = 0; i < got.size(); ++i) {
            const QString header = QString("SWAPLETFILE:update%1.exe:").arg(i);
            QCOMPARE(got.at(i).fields, QStringList({"SWAPLETFILE", QString("update%1.exe").arg(i), ""}));
            QCOMPARE(int(got.at(i).headerLength), header.size());
            QCOMPARE(qint64(got.at(i).total), sizes.at(i) + header.size() + 6);
            QVERIFY(got.at(i).payload == contents.at(i));
            expected += 6 + header.size() + sizes.at(i);
        }
        QCOMPARE(qint64(bytes.size()), expected);
    }

    void emptyListIsSuccess()
    {
        Connection c;
        QVERIFY(c.open());
        CUpdateThread thread(nullptr, c.worker, QStringList(), "0");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QByteArray bytes;
        QVERIFY(CPushCapture::collect(&c.agent, &thread, &bytes));
        QCOMPARE(ok.count(), 1);
        QCOMPARE(failed.count(), 0);
        QVERIFY(bytes.isEmpty());
    }

    void refusedFileEndsThePush_data()
    {
        QTest::addColumn<QString>("bad"); // the second file of three
        QTest::newRow("missing") << "missing";
        QTest::newRow("directory") << "directory";
        QTest::newRow("colon in name") << "a:b.exe";
        QTest::newRow("outside Latin-1") << QString::fromUtf8("\xe6\x9b\xb4\xe6\x96\xb0.exe");
        QTest::newRow("backslash in name") << "a\\b.exe";
        QTest::newRow("path ends in slash") << "slash";
        QTest::newRow("control character in name") << QString("a") + QChar(0x01) + "b.exe";
        QTest::newRow("line feed in name") << "a\nb.exe";
        QTest::newRow("C1 control in name") << QString("a") + QChar(0x85) + "b.exe";
        // The file system reads the name up to the NUL: the first file would go out under it.
        QTest::newRow("NUL in name") << "nul";
    }

    void refusedFileEndsThePush()
    {
        QFETCH(QString, bad);
        const QByteArray first = pattern(20000, 1);
        QString badPath;
        if (bad == "missing") {
            badPath = m_dir.filePath("gone.exe");
        } else if (bad == "directory") {
            badPath = m_dir.filePath("sub");
            QDir().mkpath(badPath);
        } else if (bad == "nul") {
            badPath = m_dir.filePath("first.exe") + QChar(0) + ".exe";
        } else if (bad == "slash") {
            badPath = m_dir.filePath("sub") + "/";
            QDir().mkpath(badPath);
        } else {
            badPath = makeFile(bad, pattern(100, 2));
            QVERIFY(QFile::exists(badPath));
        }
        const QStringList paths {makeFile("first.exe", first), badPath, makeFile("third.exe", pattern(10, 3))};
        Connection c;
        QVERIFY(c.open());
        CUpdateThread thread(nullptr, c.worker, paths, "0");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QByteArray bytes;
        QVERIFY(CPushCapture::collect(&c.agent, &thread, &bytes));
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QString("0"));
        bool incomplete = true;
        const QList<CPushCapture::Frame> got = CPushCapture::frames(bytes, &incomplete);
        QVERIFY(!incomplete);
        QCOMPARE(got.size(), 1);
        QVERIFY(got.at(0).payload == first);
    }

    void refusedFirstFileSendsNothing()
    {
        Connection c;
        QVERIFY(c.open());
        CUpdateThread thread(nullptr, c.worker, {m_dir.filePath("none.exe"), makeFile("ok.exe", "x")}, "0");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QByteArray bytes;
        QVERIFY(CPushCapture::collect(&c.agent, &thread, &bytes));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(ok.count(), 0);
        QVERIFY(bytes.isEmpty());
    }

    void interruptionEndsABlockedPush()
    {
        // The agent reads nothing: the socket buffers fill and the thread waits for them to drain.
        const QString big = makeFile("big.exe", pattern(48 * 1024 * 1024, 5));
        Connection c;
        QVERIFY(c.open());
        c.agent.setReadBufferSize(4096);
        CUpdateThread thread(nullptr, c.worker, {big}, "0");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QVERIFY(!thread.wait(300));
        thread.requestInterruption();
        QVERIFY(thread.wait(10000));
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
    }

    // A push ends as a failure once it has written nothing for the stall deadline, however long it
    // has run before; a client that keeps reading, however slowly, gets its whole file. The agent
    // reads straight from its socket, step bytes every pace ms, until it has taken stopAfter bytes.
    void stallDeadline_data()
    {
        QTest::addColumn<qint64>("step");
        QTest::addColumn<int>("pace");
        QTest::addColumn<qint64>("stopAfter");
        QTest::addColumn<bool>("delivered");
        const qint64 size = 12 * 1024 * 1024;
        QTest::newRow("never reads") << qint64(0) << 100 << qint64(0) << false;
        QTest::newRow("reads slowly, longer than the deadline")
            << qint64(1024 * 1024) << kStallMs * 2 / 5 << size * 2 << true;
        QTest::newRow("stops reading midway") << qint64(1024 * 1024) << 100 << qint64(2 * 1024 * 1024) << false;
    }

    void stallDeadline()
    {
        QFETCH(qint64, step);
        QFETCH(int, pace);
        QFETCH(qint64, stopAfter);
        QFETCH(bool, delivered);
        // Far more than the socket buffers of both ends hold.
        const QByteArray data = pattern(12 * 1024 * 1024, 7);
        const QString big = makeFile("stall.exe", data);
        Connection c;
        QVERIFY(c.open());
        c.agent.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
        qputenv("BRAMIX_TEST_PUSH_STALL_MS", QByteArray::number(kStallMs));
        CUpdateThread thread(nullptr, c.worker, {big}, "0");
        qunsetenv("BRAMIX_TEST_PUSH_STALL_MS");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        QSignalSpy stalled(&thread, &CUpdateThread::updateStalled);
        QElapsedTimer clock;
        clock.start();
        thread.start();
        const auto stop = qScopeGuard([&] {
            thread.requestInterruption();
            thread.wait();
        });
        QByteArray bytes;
        QElapsedTimer sinceRead;
        sinceRead.start();
        qint64 lastByte = 0; // when the agent last took a byte
        while (!thread.wait(20) && clock.elapsed() < 60000) {
            if (step == 0 || qint64(bytes.size()) >= stopAfter || sinceRead.elapsed() < pace)
                continue;
            sinceRead.restart();
            QByteArray piece(step, '\0');
            const qint64 n = ::recv(int(c.agent.socketDescriptor()), piece.data(), size_t(step), MSG_DONTWAIT);
            if (n > 0) {
                bytes.append(piece.constData(), n);
                lastByte = clock.elapsed();
            }
        }
        QVERIFY(thread.isFinished());
        const qint64 ended = clock.elapsed();
        if (delivered) {
            QVERIFY(CPushCapture::collect(&c.agent, &thread, &bytes));
            QCOMPARE(ok.count(), 1);
            QCOMPARE(failed.count(), 0);
            QVERIFY2(ended > kStallMs, qPrintable(QString::number(ended)));
            const QList<CPushCapture::Frame> got = CPushCapture::frames(bytes);
            QCOMPARE(got.size(), 1);
            QVERIFY(got.at(0).payload == data);
            return;
        }
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QString("0"));
        QCOMPARE(stalled.count(), 1); // told once, well before the end
        QCOMPARE(stalled.at(0).at(0).toString(), QString("0"));
        // Ended by the deadline, counted from the last byte the socket took, not from the start.
        const qint64 idle = ended - lastByte;
        QVERIFY2(idle >= kStallMs - 100 && idle < kStallMs + 3000,
            qPrintable(QString("ended %1 ms after the agent's last read").arg(idle)));
        QVERIFY(qint64(bytes.size()) < qint64(data.size()));
        qInfo("push to an agent that %s: failed %lld ms after its last read (deadline %d ms)",
            step == 0 ? "never reads" : "stopped reading", idle, kStallMs);
    }

    void peerGoneIsFailure()
    {
        const QString big = makeFile("big2.exe", pattern(48 * 1024 * 1024, 6));
        Connection c;
        QVERIFY(c.open());
        CUpdateThread thread(nullptr, c.worker, {big}, "0");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QVERIFY(c.agent.waitForReadyRead(10000));
        c.agent.abort();
        QVERIFY(thread.wait(30000));
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
    }

    void getFileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("forward slashes") << "/srv/up/BramixClient.exe"
                                         << "BramixClient.exe";
        QTest::newRow("backslashes") << "C:\\up\\BramixClient.exe"
                                     << "BramixClient.exe";
        QTest::newRow("bare") << "BramixClient.exe"
                              << "BramixClient.exe";
        QTest::newRow("mixed, cut at last slash") << "C:\\a/b\\c.exe"
                                                  << "b\\c.exe";
    }

    void getFileName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        CUpdateThread thread(nullptr);
        QString out;
        QVERIFY(QMetaObject::invokeMethod(
            &thread, "getFileName", Qt::DirectConnection, Q_RETURN_ARG(QString, out), Q_ARG(QString, path)));
        QCOMPARE(out, name);
    }
};

BRAMIX_STORE_TEST_MAIN(TestUpdateThread)
#include "tst_updatethread.moc"
