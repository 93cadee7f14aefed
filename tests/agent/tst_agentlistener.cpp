// The agent's command listener in the running program: identity answers built from a fake Device's
// fixed answers, the console's address stored as server, file pushes handed over to a stub Swaplet,
// and every refusal.

#include "cagentfixture.h"
#include "ccommandframe.h"
#include "cconsole.h"
#include "cfakedevice.h"
#include "cmessages.h"
#include "cshortframe.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kUuid = QStringLiteral("{7a3f0c2d-2222-4000-8000-00000000bbbb}");

QString serverOf(const QByteArray &set)
{
    QDomDocument doc;
    doc.setContent(set, true);
    return doc.documentElement().firstChildElement("server").text();
}

QByteArray payload(int size)
{
    QByteArray out;
    for (int i = 0; i < size; ++i)
        out.append(char((i * 31) ^ (i >> 3)));
    return out;
}

} // namespace

class TestAgentListener : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CAgentFixture> m_agent;

    // A fresh agent with its own platform state, the fake Device answering answers (WQL text to
    // answer), running as a console run until its listener is up.
    bool start(const QByteArray &set, const QJsonObject &answers = QJsonObject())
    {
        m_agent.reset(new CAgentFixture);
        if (!m_agent->isValid() || !m_agent->writeSet(set))
            return false;
        const QString file = m_agent->env().filePath("answers.json");
        if (!CFakeDevice::setAnswers(file, answers) || !CFakeDevice::install(file))
            return false;
        return m_agent->startConsole() && m_agent->waitForLog("service binding ok!");
    }

    bool stillAnswering() { return CConsole::identity("getUUID:127.0.0.1").startsWith("UUID:"); }

    QStringList temps() const { return QDir(m_agent->dir()).entryList({"*.temp"}, QDir::Files); }

private slots:
    void cleanup() { m_agent.reset(); }

    void identityAnswerLayout()
    {
        const QJsonObject answers {{"select * from Win32_BIOS", "Manufacturer=A:B|C\n"},
            {"select * from Win32_Processor", "Name=c1\n^Name=c2\n"}, {"select * from Win32_Product", "Name=s$x\n"},
            {"select * from Win32_Printer", QJsonValue::Null}};
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1"), answers));
        CConsole::Reply reply;
        const QString text = CConsole::identity("getUUID:127.0.2.3", &reply);
        QVERIFY(reply.closedByAgent);
        const QString expected = "UUID:" + kUuid + "|" + CMessages::hostLabel() + "|2.1.20090713-2"
            + "^BIOS:Manufacturer=A B C\n^BaseBoard:^CDROMDrive:^CPU:Name=c1\n$Name=c2\n^DesktopMonitor:^DiskDrive:"
              "^MemoryDevice:^NetworkAdapter:^OS:^Printer:^Software:Name=s$x\n^SoundDevice:^VideoController:";
        QCOMPARE(text, expected);
        QCOMPARE(reply.bytes, CShortFrame::encode(expected)); // one frame, normal form, nothing after it
        QCOMPARE(serverOf(m_agent->readSet()), "127.0.2.3");
        QVERIFY(m_agent->log().contains("connect comeing the server!"));
    }

    void headerForms_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("stored");
        QTest::newRow("further fields") << "getUUID:127.0.2.4:extra:more"
                                        << "127.0.2.4";
        QTest::newRow("white space at both ends") << " \tgetUUID:127.0.2.5 \r\n"
                                                  << "127.0.2.5";
        QTest::newRow("empty address") << "getUUID:"
                                       << "";
        QTest::newRow("control characters dropped")
            << QString("getUUID:127.0.2.7") + QChar(0x01) + QChar(0x1B) << "127.0.2.7";
    }

    void headerForms()
    {
        QFETCH(QString, header);
        QFETCH(QString, stored);
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        QVERIFY(CConsole::identity(header).startsWith("UUID:" + kUuid + "|"));
        QCOMPARE(serverOf(m_agent->readSet()), stored);
    }

    void rootOtherThanSetGivesEmptyUuidAndStoresNothing()
    {
        const QByteArray doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n  <UUID>" + kUuid.toLatin1()
            + "</UUID>\n  <server>127.0.0.1</server>\n</config>\n";
        QVERIFY(start(doc));
        QVERIFY(CConsole::identity("getUUID:127.0.2.6").startsWith("UUID:|"));
        QCOMPARE(m_agent->readSet(), doc);
    }

    void identityRequestWithoutAddressIsRefused_data()
    {
        QTest::addColumn<QString>("header");
        QTest::newRow("no address field") << "getUUID";
        // Nothing of it could be stored: set.xml would stop parsing, or hold an empty server.
        QTest::newRow("only control characters") << QString("getUUID:") + QChar(0x01) + QChar(0x02) + QChar(0x1B);
        QTest::newRow("NUL") << QString("getUUID:") + QChar(0);
    }
    void identityRequestWithoutAddressIsRefused()
    {
        QFETCH(QString, header);
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        const QByteArray before = m_agent->readSet();
        const CConsole::Reply reply = CConsole::exchange(CCommandFrame::encodeCommand(header));
        QVERIFY(reply.closedByAgent);
        QVERIFY(reply.bytes.isEmpty());
        QCOMPARE(m_agent->readSet(), before);
        QVERIFY(stillAnswering());
    }

    void largeIdentityAnswerUsesTheExtendedFrame()
    {
        QString software;
        QStringList rows;
        for (int i = 0; i < 400; ++i) {
            const QString row = QStringLiteral("Name=package-%1\nDescription=%2\n").arg(i).arg(QString(120, 'd'));
            rows << row;
            software += (software.isEmpty() ? "" : "^") + row;
        }
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1"), {{"select * from Win32_Product", software}}));
        CConsole::Reply reply;
        const QString text = CConsole::identity("getUUID:10.1.2.7", &reply);
        QVERIFY(text.size() > CShortFrame::MaxShortUnits);
        QCOMPARE(reply.bytes.left(2), QByteArray("\xFF\xFF"));
        CMessages::IdentityAnswer answer;
        QVERIFY(CMessages::parseIdentityAnswer(text, &answer));
        QCOMPARE(answer.classes.size(), 13);
        QCOMPARE(answer.classes.at(10).classKey, "Software");
        QCOMPARE(answer.classes.at(10).rows, rows);
        QVERIFY(text.contains("^Software:" + rows.join('$') + "^SoundDevice:"));
    }

    void pushIsHandedToSwaplet_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<bool>("secondFile");
        QTest::addColumn<int>("size");
        QTest::newRow("one piece") << 0 << false << 3000;
        QTest::newRow("byte by byte") << 1 << false << 3000;
        QTest::newRow("pieces of 7") << 7 << false << 3000;
        QTest::newRow("two files") << 0 << true << 3000;
        QTest::newRow("two files, byte by byte") << 1 << true << 3000;
        QTest::newRow("several MiB") << 0 << true << 5 * 1024 * 1024 + 3;
    }

    void pushIsHandedToSwaplet()
    {
        QFETCH(int, pieceSize);
        QFETCH(bool, secondFile);
        QFETCH(int, size);
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        // An older update file is overwritten.
        QVERIFY(CTestEnvironment::writeFile(m_agent->filePath("BramixClient.temp"), QByteArray(9000, 'o')));
        const QByteArray file = payload(size);
        QByteArray bytes = CCommandFrame::encode("SWAPLETFILE:BramixClient:", file);
        if (secondFile)
            bytes += CCommandFrame::encode("SWAPLETFILE:second.bin:", "never read");
        const CConsole::Reply reply
            = CConsole::exchange(pieceSize ? CConsole::pieces(bytes, pieceSize) : QList<QByteArray> {bytes});
        QVERIFY(reply.bytes.isEmpty());
        QVERIFY(m_agent->waitForSwaplet());
        const QString temp = m_agent->filePath("BramixClient.temp");
        QCOMPARE(m_agent->swapletArguments(), QStringList {temp});
        QCOMPARE(m_agent->swapletCopy(), file);
        QCOMPARE(m_agent->swapletWorkingDir(), m_agent->dir());
        QCOMPARE(temps(), QStringList {"BramixClient.temp"});
        // The agent ends itself with code 0.
        QVERIFY(m_agent->waitForExit());
        QCOMPARE(m_agent->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_agent->process().exitCode(), 0);
        m_agent->releaseSwaplet();
    }

    void emptyFileIsHandedOverAtOnce()
    {
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        CConsole::exchange(CCommandFrame::encode("SWAPLETFILE:Inquix.dll:", QByteArray()));
        QVERIFY(m_agent->waitForSwaplet());
        QCOMPARE(m_agent->swapletArguments(), QStringList {m_agent->filePath("Inquix.dll.temp")});
        QCOMPARE(QFileInfo(m_agent->filePath("Inquix.dll.temp")).size(), 0);
        QVERIFY(m_agent->waitForExit());
        m_agent->releaseSwaplet();
    }

    void refusedCommands_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("push without name field") << CCommandFrame::encode("SWAPLETFILE", "xyz");
        QTest::newRow("empty name") << CCommandFrame::encode("SWAPLETFILE::", "xyz");
        QTest::newRow("dot") << CCommandFrame::encode("SWAPLETFILE:.:", "xyz");
        QTest::newRow("dot dot") << CCommandFrame::encode("SWAPLETFILE:..:", "xyz");
        QTest::newRow("slash") << CCommandFrame::encode("SWAPLETFILE:sub/x:", "xyz");
        QTest::newRow("backslash") << CCommandFrame::encode("SWAPLETFILE:sub\\x:", "xyz");
        // The file system reads a name up to its NUL: this one would write straight over set.xml.
        QTest::newRow("NUL") << CCommandFrame::encode(QString("SWAPLETFILE:set.xml") + QChar(0) + "x:", "xyz");
        QTest::newRow("control character")
            << CCommandFrame::encode(QString("SWAPLETFILE:a") + QChar(0x01) + "b:", "xyz");
        QTest::newRow("line feed") << CCommandFrame::encode("SWAPLETFILE:a\nb:", "xyz");
        QTest::newRow("C1 control") << CCommandFrame::encode(QString("SWAPLETFILE:a") + QChar(0x9B) + "b:", "xyz");
        const QByteArray header = "SWAPLETFILE:a:";
        QByteArray small;
        QDataStream(&small, QIODevice::WriteOnly) << qint32(header.size() + 5) << quint16(header.size());
        QTest::newRow("total below the head") << small + header + "xyz";
        QByteArray huge;
        QDataStream(&huge, QIODevice::WriteOnly) << qint32((1 << 30) + header.size() + 7) << quint16(header.size());
        QTest::newRow("payload beyond 1 GiB") << huge + header + "xyz";
    }

    void refusedCommands()
    {
        QFETCH(QByteArray, frame);
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        const QStringList before = QDir(m_agent->dir()).entryList(QDir::Files);
        const QByteArray set = m_agent->readSet();
        const CConsole::Reply reply = CConsole::exchange(frame);
        QVERIFY(reply.closedByAgent);
        QVERIFY(reply.bytes.isEmpty());
        QCOMPARE(temps(), QStringList());
        QCOMPARE(m_agent->readSet(), set);
        QCOMPARE(QDir(m_agent->dir()).entryList(QDir::Files), before);
        QVERIFY(stillAnswering());
        QVERIFY(!QFile::exists(m_agent->swapletArgsPath()));
        QCOMPARE(m_agent->process().state(), QProcess::Running);
    }

    void updateFileThatIsALinkIsMadeAnew()
    {
        // A link planted at the update file's name is removed, never written through.
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        const QString victim = m_agent->env().filePath("victim");
        QVERIFY(CTestEnvironment::writeFile(victim, "keep"));
        const QString temp = m_agent->filePath("BramixClient.temp");
        QVERIFY(QFile::link(victim, temp));
        const QByteArray file = payload(5000);
        CConsole::exchange(CCommandFrame::encode("SWAPLETFILE:BramixClient:", file));
        QVERIFY(m_agent->waitForSwaplet());
        QCOMPARE(CTestEnvironment::readFile(victim), QByteArray("keep"));
        QVERIFY(!QFileInfo(temp).isSymLink());
        QCOMPARE(m_agent->swapletCopy(), file);
        QVERIFY(m_agent->waitForExit());
        m_agent->releaseSwaplet();
    }

    void updateFileThatCannotBeOpenedDropsThePush()
    {
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        QVERIFY(QDir().mkdir(m_agent->filePath("BramixClient.temp")));
        const CConsole::Reply reply = CConsole::exchange(CCommandFrame::encode("SWAPLETFILE:BramixClient:", "data"));
        QVERIFY(reply.closedByAgent);
        QVERIFY(QFileInfo(m_agent->filePath("BramixClient.temp")).isDir());
        QVERIFY(stillAnswering());
        QVERIFY(!QFile::exists(m_agent->swapletArgsPath()));
    }

    void unknownCommandIsIgnored()
    {
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, CMessages::AgentPort);
        QVERIFY(socket.waitForConnected(10000));
        // Nothing after an unknown command is read, a push behind it included.
        socket.write(CCommandFrame::encodeCommand("getuuid:10.0.0.1") + CCommandFrame::encode("SWAPLETFILE:a:", "x"));
        QVERIFY(socket.waitForBytesWritten(5000));
        QVERIFY(!socket.waitForReadyRead(1000));
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(temps(), QStringList());
        // The next connection replaces this one and is served.
        QVERIFY(stillAnswering());
        QVERIFY(CTestEnvironment::waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }));
        QCOMPARE(serverOf(m_agent->readSet()), "127.0.0.1");
    }

    void interruptedPushIsDeleted_data()
    {
        QTest::addColumn<bool>("byNewConnection");
        QTest::newRow("connection closed") << false;
        QTest::newRow("new connection") << true;
    }

    void interruptedPushIsDeleted()
    {
        QFETCH(bool, byNewConnection);
        QVERIFY(start(CAgentFixture::setDocument(kUuid, "127.0.0.1")));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, CMessages::AgentPort);
        QVERIFY(socket.waitForConnected(10000));
        const QByteArray frame = CCommandFrame::encode("SWAPLETFILE:BramixClient:", payload(50000));
        socket.write(frame.left(20000));
        QVERIFY(socket.waitForBytesWritten(5000));
        const QString temp = m_agent->filePath("BramixClient.temp");
        // The update file grows as the payload arrives.
        QVERIFY(CTestEnvironment::waitFor([&] { return QFileInfo(temp).size() > 0; }));
        if (byNewConnection) {
            QVERIFY(stillAnswering());
            QVERIFY(CTestEnvironment::waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }));
        } else {
            socket.disconnectFromHost();
        }
        QVERIFY(CTestEnvironment::waitFor([&] { return !QFile::exists(temp); }));
        QVERIFY(stillAnswering());
        QVERIFY(!QFile::exists(m_agent->swapletArgsPath()));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestAgentListener test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_agentlistener.moc"
