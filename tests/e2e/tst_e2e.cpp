// The system's two roads with real processes: BramixServer and BramixClient installed as services
// under the stand-in service manager, Inquix registered, the machine replaced by a fixture tree.
#include "e2efixture.h"

#include "ctestxml.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray package(const QByteArray &name, const QByteArray &version)
{
    return "Package: " + name + "\nStatus: install ok installed\nArchitecture: all\nVersion: " + version
        + "\nDescription: " + name + " tool\n\n";
}

QString row(const QString &name, const QString &version)
{
    return QStringLiteral("Caption=%1 tool\nDescription=%1 tool\nName=%1\nVersion=%2\n").arg(name, version);
}

QStringList elementTexts(const QDomElement &parent, const QString &tag)
{
    QStringList out;
    for (QDomElement e = parent.firstChildElement(tag); !e.isNull(); e = e.nextSiblingElement(tag))
        out << e.text();
    return out;
}

// Processes whose program file is path itself (not a replaced, deleted one).
QList<qint64> processesOf(const QString &path)
{
    QList<qint64> out;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        bool ok = false;
        const qint64 n = pid.toLongLong(&ok);
        if (!ok)
            continue;
        if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) == canonical)
            out << n;
    }
    return out;
}

// After a new client file reached the agent: Swaplet logged the swap and the start, the program file
// holds the new bytes under a new inode with the old mode, no ".temp" is left, and the service runs
// again from the new file. Check QTest::currentTestFailed() after the call.
void verifySwappedAndRunning(E2eFixture &f, const QByteArray &newClient, const struct stat &before)
{
    const QString client = f.clientDir() + "/BramixClient";
    const QString swapletLog = f.clientDir() + "/updateLog.log";
    QVERIFY(CTestEnvironment::waitFor(
        [&] { return CTestEnvironment::readFile(swapletLog).contains("start service"); }, 60000));
    QVERIFY2(CTestEnvironment::readFile(swapletLog)
                 .endsWith("update file is:" + QFile::encodeName(client) + "\nstart service OK\n"),
        CTestEnvironment::readFile(swapletLog).constData());
    QCOMPARE(CTestEnvironment::readFile(client), newClient);
    QVERIFY(!QFileInfo::exists(client + ".temp"));
    QVERIFY(QFileInfo(client).permissions() & QFile::ExeOwner);
    struct stat after;
    QCOMPARE(::stat(QFile::encodeName(client).constData(), &after), 0);
    QVERIFY(after.st_ino != before.st_ino);
    QCOMPARE(after.st_mode & 07777, before.st_mode & 07777);

    // The service runs again, from the new file.
    QVERIFY(CTestEnvironment::waitFor([&] { return f.clientRunning() && !processesOf(client).isEmpty(); }, 30000));
    QVERIFY(E2eFixture::waitForPort(2211, 60000));
}

} // namespace

class TestE2e : public QObject
{
    Q_OBJECT

private slots:
    // A package changes on the client computer; at the next service start the client's change
    // notice reaches the server, which stores it in "<UUID>.xml", flags the client "no" in list.xml
    // and acknowledges it, so that the client marks its records as sent.
    void inventoryChangeRoad()
    {
        E2eFixture f;
        QVERIFY(f.isValid());
        const QString machine = f.path("machine");
        const QString status = machine + "/var/lib/dpkg/status";
        QVERIFY(QDir().mkpath(machine + "/var/lib/dpkg"));
        QVERIFY(CTestEnvironment::writeFile(status, package("alpha", "1.0") + package("beta", "2.0")));
        QProcessEnvironment env;
        env.insert("BRAMIX_WMI_ROOT", machine);

        QVERIFY(f.startServer());
        QVERIFY(f.startClient(env));
        const QString uuid = f.scan();
        QCOMPARE(uuid.size(), 38);
        const QString inventory = f.serverDir() + "/" + uuid + ".xml";
        QCOMPARE(elementTexts(CTestXml::load(inventory).documentElement().firstChildElement("Software"), "content"),
            (QStringList {row("alpha", "1.0"), row("beta", "2.0")}));
        QVERIFY(CTestXml::noticeOf(f.serverDir() + "/list.xml", uuid) != QLatin1String("no"));

        // beta removed, alpha upgraded, gamma installed; then the next service start.
        QVERIFY(CTestEnvironment::writeFile(status, package("alpha", "1.1") + package("gamma", "3.0")));
        QVERIFY(f.stopClient());
        QVERIFY(f.startClient(env));

        QVERIFY(CTestEnvironment::waitFor(
            [&] { return CTestXml::noticeOf(f.serverDir() + "/list.xml", uuid) == "no"; }, 30000));
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                return elementTexts(
                           CTestXml::load(inventory).documentElement().firstChildElement("Software"), "content")
                    == QStringList {row("alpha", "1.1"), row("gamma", "3.0")};
            },
            30000));
        const QDomDocument doc = CTestXml::load(inventory);
        const QDomElement software = doc.documentElement().firstChildElement("Software");
        QStringList records;
        for (QDomElement r = software.firstChildElement("changelog").firstChildElement("record"); !r.isNull();
             r = r.nextSiblingElement("record"))
            records << r.attribute("type") + " " + r.attribute("digest");
        records.sort();
        QCOMPARE(records, (QStringList {"add alpha tool", "add gamma tool", "remove alpha tool", "remove beta tool"}));
        QVERIFY(!software.attribute("lastupdate").isEmpty());

        // The acknowledgement reached the client: every record of set.xml is marked as sent.
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                const QDomDocument set = CTestXml::load(f.clientDir() + "/set.xml");
                const QDomElement sw = set.documentElement().firstChildElement("Software");
                const QDomElement log = sw.firstChildElement("changelog");
                int sent = 0, all = 0;
                for (QDomElement r = log.firstChildElement("record"); !r.isNull(); r = r.nextSiblingElement("record")) {
                    ++all;
                    sent += r.attribute("notice") == QLatin1String("yes");
                }
                return all == 4 && sent == 4;
            },
            30000));
    }

    // A newer client published for Linux: at the client's next service start its update check
    // receives the file, Swaplet puts it in place of the client program and starts the client
    // service again, which now runs the new file.
    void clientUpdateRoad()
    {
        E2eFixture f;
        QVERIFY(f.isValid());
        const QString machine = f.path("machine");
        QVERIFY(QDir().mkpath(machine));
        QProcessEnvironment env;
        env.insert("BRAMIX_WMI_ROOT", machine);
        QVERIFY(f.startServer());
        QVERIFY(f.startClient(env));
        QVERIFY(f.stopClient());

        // The "newer" client: the same program with trailing bytes, which tell the files apart.
        const QString client = f.clientDir() + "/BramixClient";
        const QString published = f.path("updates") + "/BramixClient";
        QVERIFY(QDir().mkpath(f.path("updates")));
        const QByteArray newClient = CTestEnvironment::readFile(client) + QByteArray(4096, '\0') + "new client";
        QVERIFY(CTestEnvironment::writeFile(published, newClient));
        const QString uplist = f.serverDir() + "/uplist.xml";
        QVERIFY(CTestEnvironment::writeFile(uplist,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uplist>\n  <windows/>\n"
            "  <linux>\n    <file>"
                + published.toUtf8()
                + "</file>\n  </linux>\n  <version>2.1.20090715</version>\n"
                  "  <setdate>12 10 2026 10:00:00</setdate>\n</uplist>\n"));
        struct stat before;
        QCOMPARE(::stat(QFile::encodeName(client).constData(), &before), 0);

        // Not waiting for the listener: the old agent may be gone before a look at its port, and the
        // new one must not be seen before the offer is withdrawn, or its own check is served too.
        QVERIFY(f.startClient(env, E2eFixture::StartOnly));
        const QString updateLog = f.serverDir() + "/updateLog.xml";
        QVERIFY(CTestEnvironment::waitFor(
            [&] { return !CTestXml::load(updateLog).documentElement().firstChildElement("record").isNull(); }, 30000));
        // Withdraw the offer before the new client's own update check (Swaplet waits 5 s): its
        // version text still sorts first, so it would be served again and again.
        QVERIFY(CTestEnvironment::writeFile(uplist,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uplist>\n"
            "  <windows/>\n  <linux/>\n</uplist>\n"));

        verifySwappedAndRunning(f, newClient, before);
        if (QTest::currentTestFailed())
            return;

        const QDomDocument log = CTestXml::load(updateLog);
        const QDomElement record = log.documentElement().firstChildElement("record");
        QVERIFY(record.nextSiblingElement("record").isNull());
        QCOMPARE(record.firstChildElement("type").text(), QStringLiteral("auto"));
        QCOMPARE(record.firstChildElement("oldVersion").text(), QStringLiteral("2.1.20090713"));
        QCOMPARE(record.firstChildElement("newVersion").text(), QStringLiteral("2.1.20090715"));
        QCOMPARE(elementTexts(record.firstChildElement("files"), "file"), QStringList {published});
        // The host label up to a ":" of its address (here an IPv6 one, the namespace has no other).
        QVERIFY(record.firstChildElement("ip").text().startsWith(QHostInfo::localHostName() + "("));
    }

    // The console finds the client with its own scan, then publishes a newer Linux client with "push at
    // once": its push thread sends the file to the agent, Swaplet puts it in place of the client
    // program and starts the service again, which now runs the new file. No server runs, so no update
    // check serves the file: the client has it from the console alone.
    void forcedPushRoad()
    {
        E2eFixture f;
        QVERIFY(f.isValid());
        const QString machine = f.path("machine");
        QVERIFY(QDir().mkpath(machine));
        QProcessEnvironment env;
        env.insert("BRAMIX_WMI_ROOT", machine);
        QVERIFY(f.startClient(env));
        const QString uuid = f.scan();
        QCOMPARE(uuid.size(), 38);
        QVERIFY(CTestEnvironment::readFile(f.serverDir() + "/list.xml").contains(uuid.toUtf8()));

        const QString client = f.clientDir() + "/BramixClient";
        const QString published = f.path("updates") + "/BramixClient";
        QVERIFY(QDir().mkpath(f.path("updates")));
        const QByteArray newClient = CTestEnvironment::readFile(client) + QByteArray(4096, '\0') + "pushed client";
        QVERIFY(CTestEnvironment::writeFile(published, newClient));
        struct stat before;
        QCOMPARE(::stat(QFile::encodeName(client).constData(), &before), 0);

        QCOMPARE(f.push(published, "2.1.20090716"), QString("1 updated,sucessful 1"));

        verifySwappedAndRunning(f, newClient, before);
        if (QTest::currentTestFailed())
            return;

        // The console published the file and recorded the push as forced.
        QCOMPARE(
            elementTexts(
                CTestXml::load(f.serverDir() + "/uplist.xml").documentElement().firstChildElement("linux"), "file"),
            QStringList {published});
        const QDomElement record
            = CTestXml::load(f.serverDir() + "/updateLog.xml").documentElement().firstChildElement("record");
        QVERIFY(record.nextSiblingElement("record").isNull());
        QCOMPARE(record.firstChildElement("type").text(), QStringLiteral("force"));
        QCOMPARE(record.firstChildElement("newVersion").text(), QStringLiteral("2.1.20090716"));
        QCOMPARE(elementTexts(record.firstChildElement("files"), "file"), QStringList {published});
    }
};

QTEST_GUILESS_MAIN(TestE2e)
#include "tst_e2e.moc"
