// The client agent (BramixClient) under faults, as a real process: flooded with idle connections on
// its agent port, and sent command frames whose total announces far more than any file.
#include "cagentfixture.h"
#include "ccommandframe.h"
#include "cconsole.h"
#include "cfakedevice.h"
#include "cfaultserver.h"
#include "cidleconnections.h"
#include "cmessages.h"
#include "cshortframe.h"

#include <QDataStream>
#include <QJsonObject>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kUuid = QStringLiteral("{5c0ffee0-1111-4000-8000-00000000fa17}");

// A command head with a total of our choosing.
QByteArray head(qint32 total, const QByteArray &header)
{
    QByteArray out;
    QDataStream(&out, QIODevice::WriteOnly) << total << quint16(header.size());
    return out + header;
}

} // namespace

class TestAgentFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CAgentFixture> m_agent;

    bool start()
    {
        m_agent.reset(new CAgentFixture);
        if (!m_agent->isValid() || !m_agent->writeSet(CAgentFixture::setDocument(kUuid, QStringLiteral("127.0.0.1"))))
            return false;
        const QString file = m_agent->env().filePath(QStringLiteral("answers.json"));
        const QJsonObject answers {{QStringLiteral("select * from Win32_Processor"), QStringLiteral("Name=c1\n")}};
        if (!CFakeDevice::setAnswers(file, answers) || !CFakeDevice::install(file))
            return false;
        return m_agent->startConsole() && m_agent->waitForLog(QStringLiteral("service binding ok!"));
    }

    bool answers(int timeoutMs = 20000)
    {
        const CConsole::Reply r
            = CConsole::exchange(CCommandFrame::encodeCommand(QStringLiteral("getUUID:127.0.0.1")), timeoutMs);
        QString text;
        return CShortFrame::decode(r.bytes, &text)
            && text.startsWith(QStringLiteral("UUID:") + kUuid + QLatin1Char('|'));
    }

    qint64 rss() const { return CFaultServer::residentKiB(m_agent->process().processId()); }

private slots:
    void cleanup() { m_agent.reset(); }

    void idleConnections()
    {
        const int idle = 2000;
        QVERIFY2(
            CIdleConnections::raiseFileLimit(idle + 1024) >= rlim_t(idle + 512), "cannot raise the open-file limit");
        QVERIFY(start());
        CIdleConnections conns;
        QCOMPARE(conns.open(CMessages::AgentPort, idle), idle);
        for (int i = 0; i < 5; ++i)
            QVERIFY2(answers(),
                qPrintable(QStringLiteral("identity request %1 unanswered beside %2 idle connections (%3 still open)")
                               .arg(i)
                               .arg(idle)
                               .arg(conns.stillOpen())));
        QCOMPARE(m_agent->process().state(), QProcess::Running);
        qInfo("%d idle connections held by the agent, %d still open; 5 identity requests answered", idle,
            conns.stillOpen());
    }

    void hugeTotal_data()
    {
        QTest::addColumn<QByteArray>("frameHead");
        QTest::addColumn<bool>("refused");
        const QByteArray push = "SWAPLETFILE:BramixClient:";
        // 0xFFFFFFFF: the signed total -1, no payload size at all.
        QTest::newRow("file push, total 0xFFFFFFFF") << head(qint32(0xFFFFFFFFu), push) << true;
        QTest::newRow("file push, total below its head") << head(push.size() + 5, push) << true;
        // 2 GiB announced and then far less sent: streamed to disk, never handed over.
        QTest::newRow("file push, total 0x7FFFFFFF") << head(0x7FFFFFFF, push) << false;
        // Another command: ignored, and nothing more is read from that connection.
        QTest::newRow("unknown command, total 0x7FFFFFFF") << head(0x7FFFFFFF, "FORMAT:C:") << false;
    }

    void hugeTotal()
    {
        QFETCH(QByteArray, frameHead);
        QFETCH(bool, refused);
        QVERIFY(start());
        QVERIFY(answers());
        const qint64 before = rss();
        QVERIFY(before > 0);

        // Up to 16 MiB after the head (as much as the agent takes), then the connection is closed.
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), CMessages::AgentPort);
        QVERIFY(socket.waitForConnected(5000));
        socket.write(frameHead);
        const QByteArray block(1 << 20, 'z');
        for (int i = 0; i < 16 && socket.state() == QAbstractSocket::ConnectedState; ++i) {
            socket.write(block);
            socket.waitForBytesWritten(2000);
            if (socket.bytesToWrite() > 4 * block.size())
                break; // the agent reads nothing more
        }
        if (refused) {
            // Refused at once: the agent closes without waiting for the announced bytes.
            QVERIFY(CTestEnvironment::waitFor(
                [&] {
                    socket.waitForReadyRead(10);
                    socket.readAll();
                    return socket.state() == QAbstractSocket::UnconnectedState;
                },
                15000));
        }
        const qint64 during = rss();
        socket.abort();

        QVERIFY(answers());
        QCOMPARE(m_agent->process().state(), QProcess::Running);
        QVERIFY2(m_agent->swapletArguments().isEmpty(), "an incomplete update file was handed over");
        const qint64 after = rss();
        qInfo("agent VmRSS %lld KiB before, %lld KiB while 16 MiB arrived, %lld KiB after", before, during, after);
        QVERIFY2(
            during - before < 32 * 1024 && after - before < 32 * 1024, "agent memory grew with the announced size");
    }
};

QTEST_GUILESS_MAIN(TestAgentFaults)
#include "tst_agentfaults.moc"
