// BramixClient installed and run under the stand-in service manager on this machine: the real Inquix
// takes the real inventory into the shipped set.xml, the update check and the change notice reach a
// test server on loopback, an identity request gets the live inventory and a file push hands over
// to (a stub) Swaplet, which outlives the service.

#include "cagentfixture.h"
#include "ccommandframe.h"
#include "cconsole.h"
#include "cfakeserver.h"
#include "cmessages.h"
#include "cset.h"
#include "cshortframe.h"
#include "winsvc.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QtTest>

namespace {

QDomElement rootOf(const QByteArray &set)
{
    QDomDocument doc;
    doc.setContent(set, true);
    return doc.documentElement();
}

QStringList contentsOf(const QDomElement &classElement)
{
    QStringList rows;
    for (QDomElement c = classElement.firstChildElement("content"); !c.isNull(); c = c.nextSiblingElement("content"))
        rows << c.text();
    return rows;
}

} // namespace

class TestAgentLive : public QObject
{
    Q_OBJECT

private slots:
    void serviceOnThisMachine()
    {
        qunsetenv("BRAMIX_WMI_ROOT");
        CAgentFixture agent;
        QVERIFY(agent.isValid());
        QVERIFY(agent.installShippedSet());
        QVERIFY(agent.registerInquix());
        // The shipped file knows no server yet; this machine's test server is on loopback.
        QByteArray shipped = agent.readSet();
        QVERIFY(shipped.contains("<server></server>"));
        QVERIFY(agent.writeSet(shipped.replace("<server></server>", "<server>127.0.0.1</server>")));

        CFakeServer server;
        server.setNoticeAnswers({"setChange:ok"});
        QVERIFY(server.listen());

        // First start: the first run fills identity and inventory; nothing is pending yet.
        QVERIFY(agent.install());
        QVERIFY(agent.startService());
        QVERIFY(agent.waitForState(SERVICE_RUNNING, 180000));
        QCOMPARE(agent.log(), QStringList {"service binding ok!"});
        QVERIFY(server.waitForText("update:2.1.20090713:2:" + CMessages::hostLabel()));
        QDomElement root = rootOf(agent.readSet());
        const QString uuid = root.firstChildElement("UUID").text();
        QCOMPARE(uuid.size(), 38);
        for (const char *key : {"CPU", "OS", "Software"})
            QVERIFY2(contentsOf(root.firstChildElement(key)).value(0).contains("Name="), key);
        QVERIFY(contentsOf(root.firstChildElement("Software")).size() > 1);
        QVERIFY(server.connectionWith("changelog:") == nullptr);
        QVERIFY(agent.control(SERVICE_CONTROL_STOP));
        QVERIFY(agent.waitForState(SERVICE_STOPPED));

        // A package that this machine no longer has: the next start records its removal and reports it.
        QDomDocument doc;
        QVERIFY(doc.setContent(agent.readSet(), true));
        QDomElement gone = doc.createElement("content");
        gone.appendChild(doc.createTextNode("Name=bramix-vanished-package\n"));
        doc.documentElement().firstChildElement("Software").appendChild(gone);
        QVERIFY(CSet::writeDocument(agent.setPath(), doc));

        QVERIFY(agent.startService());
        QVERIFY(agent.waitForState(SERVICE_RUNNING, 180000));
        QVERIFY(server.waitForText("changelog:"));
        QCOMPARE(server.connectionWith("changelog:")->texts.first(),
            "changelog:" + uuid + "^Software$remove$Name=bramix-vanished-package\n");
        QVERIFY(CTestEnvironment::waitFor([&] {
            const QDomElement log
                = rootOf(agent.readSet()).firstChildElement("Software").firstChildElement("changelog");
            const QDomElement record = log.firstChildElement("record");
            return !record.isNull() && record.attribute("notice") == "yes";
        }));

        // The console asks: the live inventory, in the extended frame when it is large.
        CConsole::Reply reply;
        const QString text = CConsole::identity("getUUID:127.0.0.1", &reply);
        // In a namespace of its own the client address is "::1", whose colons split the identity part for
        // the answer's readers; the class blocks are read as every reader reads them.
        QVERIFY(text.startsWith("UUID:" + uuid + "|" + CMessages::hostLabel() + "|2.1.20090713-2^BIOS:"));
        const QStringList blocks = text.split('^').mid(1);
        QCOMPARE(blocks.size(), 13);
        QVERIFY(blocks.at(10).startsWith("Software:"));
        root = rootOf(agent.readSet());
        QCOMPARE(blocks.at(10).mid(9).split('$').size(), contentsOf(root.firstChildElement("Software")).size());
        QCOMPARE(reply.bytes.left(2) == QByteArray("\xFF\xFF"), text.size() > CShortFrame::MaxShortUnits);
        QCOMPARE(root.firstChildElement("server").text(), "127.0.0.1");

        // A new client file: handed over to Swaplet; the service stops, Swaplet goes on.
        const QByteArray file(100000, 'n');
        const qint64 servicePid = agent.servicePid();
        QVERIFY(servicePid > 0);
        CConsole::exchange(CCommandFrame::encode("SWAPLETFILE:BramixClient:", file));
        QVERIFY(agent.waitForSwaplet());
        QCOMPARE(agent.swapletArguments(), QStringList {agent.filePath("BramixClient.temp")});
        QCOMPARE(agent.swapletCopy(), file);
        QVERIFY(agent.waitForState(SERVICE_STOPPED));
        QVERIFY(CTestEnvironment::waitFor([&] { return !CAgentFixture::processAlive(servicePid); }));
        QVERIFY(CAgentFixture::processAlive(agent.swapletPid()));
        agent.releaseSwaplet();
        QVERIFY(CTestEnvironment::waitFor([&] { return QFile::exists(agent.filePath("swaplet.done")); }));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestAgentLive test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_agentlive.moc"
