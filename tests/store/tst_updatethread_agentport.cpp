#include "cmessages.h"
#include "cpushcapture.h"
#include "cstoretestrun.h"
#include "cupdatethread.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The console's push: the thread connects to the agent port of its target itself. Runs in a network
// namespace of its own, since it binds the fixed agent port.
class TestUpdateThreadAgentPort : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void connectsAndPushes()
    {
        const QString path = m_dir.filePath("BramixClient.exe");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(9000, 'z'));
        f.close();
        QTcpServer agentPort;
        QVERIFY(agentPort.listen(QHostAddress::LocalHost, CMessages::AgentPort));
        CUpdateThread thread(nullptr, nullptr, {path}, "127.0.0.1");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QVERIFY(agentPort.waitForNewConnection(30000));
        QTcpSocket *agent = agentPort.nextPendingConnection();
        QByteArray bytes;
        QVERIFY(CPushCapture::collect(agent, &thread, &bytes));
        QCOMPARE(ok.count(), 1);
        QCOMPARE(ok.at(0).at(0).toString(), QString("127.0.0.1"));
        QCOMPARE(failed.count(), 0);
        const QList<CPushCapture::Frame> frames = CPushCapture::frames(bytes);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0).fields, QStringList({"SWAPLETFILE", "BramixClient.exe", ""}));
        QCOMPARE(frames.at(0).payload, QByteArray(9000, 'z'));
    }

    void emptyListStillConnects()
    {
        QTcpServer agentPort;
        QVERIFY(agentPort.listen(QHostAddress::LocalHost, CMessages::AgentPort));
        CUpdateThread thread(nullptr, nullptr, QStringList(), "127.0.0.1");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        thread.start();
        QVERIFY(agentPort.waitForNewConnection(30000));
        QVERIFY(thread.wait(30000));
        QCOMPARE(ok.count(), 1);
    }

    void noAgentIsConnectFailure()
    {
        CUpdateThread thread(nullptr, nullptr, {m_dir.filePath("x")}, "127.0.0.1");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        QVERIFY(thread.wait(40000));
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QString("127.0.0.1"));
    }

    void interruptedWhileConnecting()
    {
        // A listener whose accept queue is full drops further connection attempts, so the connect
        // hangs until the thread is asked to stop.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(CMessages::AgentPort);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        QVERIFY(::listen(fd, 0) == 0);
        QList<int> fillers;
        for (int i = 0; i < 4; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(c, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
            fillers.append(c);
        }
        QTest::qWait(200);
        CUpdateThread thread(nullptr, nullptr, QStringList(), "127.0.0.1");
        QSignalSpy ok(&thread, &CUpdateThread::updateOK);
        QSignalSpy failed(&thread, &CUpdateThread::updateConnectFailed);
        thread.start();
        const bool endedAlone = thread.wait(500);
        thread.requestInterruption();
        QVERIFY(thread.wait(10000));
        for (int c : fillers)
            ::close(c);
        ::close(fd);
        if (endedAlone)
            QSKIP("the kernel accepted the connection; nothing to interrupt");
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
    }
};

BRAMIX_STORE_TEST_MAIN(TestUpdateThreadAgentPort)
#include "tst_updatethread_agentport.moc"
