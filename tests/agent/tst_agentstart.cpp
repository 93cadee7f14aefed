// The agent's service start: the four steps and their log texts, the listener's failure road, and
// pause/continue under the stand-in service manager.

#include "cagentfixture.h"
#include "cconsole.h"
#include "cfakedevice.h"
#include "cfakeserver.h"
#include "cmessages.h"
#include "winsvc.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>

class TestAgentStart : public QObject
{
    Q_OBJECT

private:
    // A Device that finds no object of any class, so every query is made.
    static bool installDevice(CAgentFixture &agent)
    {
        const QString file = agent.env().filePath("answers.json");
        return CFakeDevice::setAnswers(file, QJsonObject()) && CFakeDevice::install(file);
    }

private slots:
    void withoutDeviceNothingIsRecorded()
    {
        // Inquix not registered: no class can be queried, so the stored inventory stands and no
        // removal reaches the server; one line names each class.
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        QByteArray set = CAgentFixture::setDocument("{1d7c2a5e-0000-4000-8000-000000000004}", "");
        set.replace("<CPU>\n    <content></content>", "<CPU>\n    <content>Name=c1\n</content>");
        QVERIFY(agent.writeSet(set));
        QVERIFY(agent.startConsole());
        QVERIFY(agent.waitForLog("service binding ok!"));
        QStringList expected;
        for (const QString &key : CAgentFixture::classKeys())
            expected << "inventory query of class " + key + " could not be made: no Device object";
        expected << "service binding ok!";
        QCOMPARE(agent.log(), expected);
        QCOMPARE(agent.readSet(), set);
    }

    void brokenSetLogsEveryGuardThenListens_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("asService");
        QTest::newRow("missing") << QByteArray() << false << false;
        QTest::newRow("empty") << QByteArray() << true << false;
        QTest::newRow("not well-formed") << QByteArray("<?xml version=\"1.0\"?>\n<set><UUID>x</set>\n") << true
                                         << false;
        QTest::newRow("missing, as a service") << QByteArray() << false << true;
    }

    void brokenSetLogsEveryGuardThenListens()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, present);
        QFETCH(bool, asService);
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        QFile::remove(agent.setPath());
        if (present)
            QVERIFY(agent.writeSet(content));
        if (asService) {
            QVERIFY(agent.install());
            QVERIFY(agent.startService());
            QVERIFY(agent.waitForState(SERVICE_RUNNING));
        } else {
            QVERIFY(agent.startConsole());
        }
        QVERIFY(agent.waitForLog("service binding ok!"));
        const QStringList expected {"unknow exception in calling method of CSet",
            "unknow exception in calling method of CSet", "unknow exception in calling method of CChangeNotice",
            "service binding ok!"};
        QCOMPARE(agent.log(), expected);
        // The listener runs although nothing could be read: an identity request is taken and refused
        // without an answer, with one line.
        CConsole::Reply reply;
        CConsole::identity("getUUID:127.0.0.1", &reply);
        QVERIFY(reply.connected);
        QVERIFY(reply.closedByAgent);
        QVERIFY(reply.bytes.isEmpty());
        QVERIFY(agent.waitForLogCount(6));
        QCOMPARE(agent.log().mid(4),
            QStringList({"connect comeing the server!", "identity request not answered: set.xml cannot be read"}));
        if (asService)
            QCOMPARE(agent.state(), quint32(SERVICE_RUNNING));
        else
            QCOMPARE(agent.process().state(), QProcess::Running);
    }

    void rootOtherThanSetLogsTheSameGuards()
    {
        // A document whose root is not "set": the update check reads an empty server address (no
        // failure), the inventory step and the change notice fail.
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        QVERIFY(agent.writeSet(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><server>127.0.0.1</server></config>\n"));
        QVERIFY(agent.startConsole());
        QVERIFY(agent.waitForLog("service binding ok!"));
        QCOMPARE(agent.log(),
            QStringList({"unknow exception in calling method of CSet",
                "unknow exception in calling method of CChangeNotice", "service binding ok!"}));
    }

    void agentPortTakenStopsTheService()
    {
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        QVERIFY(installDevice(agent));
        QVERIFY(agent.writeSet(CAgentFixture::setDocument("{1d7c2a5e-0000-4000-8000-000000000001}", "")));
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress::Any, CMessages::AgentPort));
        QVERIFY(agent.install());
        QVERIFY(agent.startService());
        QVERIFY(agent.waitForState(SERVICE_STOPPED));
        const QStringList log = agent.log();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log.first().startsWith("listen error:"), qPrintable(log.first()));
        // The toolkit's reason follows directly.
        const QString reason = log.first().mid(int(strlen("listen error:")));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!reason.startsWith(' '));
        QVERIFY(!log.contains("service binding ok!"));
        QTRY_COMPARE_WITH_TIMEOUT(agent.servicePid(), 0, 15000);
    }

    void pauseAndContinueKeepTheListenerAnswering()
    {
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        const QString uuid = "{1d7c2a5e-0000-4000-8000-000000000002}";
        QVERIFY(agent.writeSet(CAgentFixture::setDocument(uuid, "")));
        QVERIFY(agent.install());
        QVERIFY(agent.startService());
        QVERIFY(agent.waitForState(SERVICE_RUNNING));
        QVERIFY(agent.waitForLog("service binding ok!"));

        QVERIFY(agent.control(SERVICE_CONTROL_PAUSE));
        QVERIFY(agent.waitForState(SERVICE_PAUSED));
        QVERIFY(CConsole::identity("getUUID:127.0.0.5").startsWith("UUID:" + uuid + "|"));

        QVERIFY(agent.control(SERVICE_CONTROL_CONTINUE));
        QVERIFY(agent.waitForState(SERVICE_RUNNING));
        QVERIFY(CConsole::identity("getUUID:127.0.0.6").startsWith("UUID:" + uuid + "|"));

        QVERIFY(agent.control(SERVICE_CONTROL_STOP));
        QVERIFY(agent.waitForState(SERVICE_STOPPED));
    }

    void consoleRunSendsUpdateCheckAndNoticeAfterTheStartHook()
    {
        // Both messages go out on connections of their own, whatever their order.
        CFakeServer server;
        QVERIFY(server.listen());
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        QVERIFY(installDevice(agent));
        const QByteArray record = "      <record time=\"t\" type=\"add\" notice=\"no\" ID=\"{a}\">c=1\n</record>\n";
        QVERIFY(agent.writeSet(CAgentFixture::setDocument("{1d7c2a5e-0000-4000-8000-000000000003}", "127.0.0.1",
            {{"CPU", "    <changelog>\n" + record + "    </changelog>\n"}})));
        QVERIFY(agent.startConsole());
        QVERIFY(server.waitForText("update:"));
        QVERIFY(server.waitForText("changelog:"));
        QCOMPARE(server.connectionCount(), 2);
        QVERIFY(server.connectionWith("update:") != server.connectionWith("changelog:"));
        QCOMPARE(agent.log(), QStringList({"service binding ok!"}));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestAgentStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_agentstart.moc"
