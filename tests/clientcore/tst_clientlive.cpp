// The inventory step on this machine, as a service start takes it: the shipped set.xml, the real
// Inquix registered with the registration tool, and the WMI stand-in reading the live machine, then a
// machine replaced by a fixture tree whose packages change between two starts.

#include "crelocatedrun.h"
#include "cset.h"
#include "ctestenvironment.h"
#include "ctestprocess.h"
#include "cwmiquery.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QtTest>

namespace {

QString setPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/set.xml");
}

QDomElement rootOfFile()
{
    QDomDocument doc;
    doc.setContent(CTestEnvironment::readFile(setPath()), true);
    return doc.documentElement();
}

QStringList contentsOf(const QDomElement &classElement)
{
    QStringList rows;
    for (QDomElement c = classElement.firstChildElement("content"); !c.isNull(); c = c.nextSiblingElement("content"))
        rows << c.text();
    return rows;
}

// "<class>:<type>:<row>" of every record in the file, in class order.
QStringList records()
{
    QStringList out;
    const QDomElement root = rootOfFile();
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QDomElement log = c.firstChildElement("changelog");
        for (QDomElement r = log.firstChildElement("record"); !r.isNull(); r = r.nextSiblingElement("record"))
            out << c.tagName() + ":" + r.attribute("type") + ":" + r.text();
    }
    return out;
}

void inventoryPass()
{
    CSet set;
    set.init();
    set.checkVersion();
    set.setUUID_config();
    set.checkChange();
}

QByteArray package(const QByteArray &name, const QByteArray &version)
{
    return "Package: " + name + "\nStatus: install ok installed\nArchitecture: all\nVersion: " + version
        + "\nDescription: " + name + " tool\n\n";
}

} // namespace

class TestClientLive : public QObject
{
    Q_OBJECT

private:
    CTestEnvironment m_env;

    static int runRegsvr(const QStringList &arguments)
    {
        QByteArray output; // the tool's report is not wanted here
        return CTestProcess::run(CTestEnvironment::stagedFile(QStringLiteral("bramix-regsvr")), arguments,
            QProcessEnvironment::systemEnvironment(), QString(), &output, 30000);
    }

    bool installShippedSet()
    {
        QFile::remove(setPath());
        return QFile::copy(CTestEnvironment::stagedFile("set.xml"), setPath())
            && QFile::setPermissions(setPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        qunsetenv("BRAMIX_WMI_ROOT");
        QCOMPARE(runRegsvr({CTestEnvironment::stagedFile("libInquix.so")}), 0);
    }

    void firstRunFillsThisComputersInventory()
    {
        QVERIFY(installShippedSet());
        inventoryPass();
        const QDomElement root = rootOfFile();
        QCOMPARE(root.firstChildElement("UUID").text().size(), 38);
        // Classes this machine always has: its processor, its operating system, its packages.
        for (const char *key : {"CPU", "OS", "Software"}) {
            const QStringList rows = contentsOf(root.firstChildElement(key));
            QVERIFY2(!rows.isEmpty() && rows.first().contains("Name="), key);
            QVERIFY2(!root.firstChildElement(key).attribute("lastupdate").isEmpty(), key);
        }
        const QStringList live = CWmiQuery().query("Software");
        QCOMPARE(contentsOf(root.firstChildElement("Software")), live);
        QVERIFY(live.size() > 1);
        for (const QString &row : live)
            QVERIFY(!row.contains(':') && !row.contains('|'));
    }

    void secondPassRecordsNothing()
    {
        const QStringList before = records();
        const QByteArray file = CTestEnvironment::readFile(setPath());
        inventoryPass();
        QCOMPARE(records(), before);
        QCOMPARE(CTestEnvironment::readFile(setPath()), file);
    }

    void changedFixtureRecordsAddAndRemove()
    {
        const QString machine = m_env.filePath("machine");
        const QString status = machine + "/var/lib/dpkg/status";
        QVERIFY(QDir().mkpath(machine + "/var/lib/dpkg"));
        QVERIFY(CTestEnvironment::writeFile(status, package("alpha", "1.0") + package("beta", "2.0")));
        qputenv("BRAMIX_WMI_ROOT", QFile::encodeName(machine));
        QVERIFY(installShippedSet());
        inventoryPass();
        QCOMPARE(records(), QStringList());
        QCOMPARE(contentsOf(rootOfFile().firstChildElement("Software")).size(), 2);

        // beta removed, gamma installed, alpha upgraded.
        QVERIFY(CTestEnvironment::writeFile(status, package("alpha", "1.1") + package("gamma", "3.0")));
        inventoryPass();
        const QStringList recorded = records();
        QCOMPARE(recorded.size(), 4);
        const QString alphaOld = "Caption=alpha tool\nDescription=alpha tool\nName=alpha\nVersion=1.0\n";
        const QString alphaNew = "Caption=alpha tool\nDescription=alpha tool\nName=alpha\nVersion=1.1\n";
        const QString beta = "Caption=beta tool\nDescription=beta tool\nName=beta\nVersion=2.0\n";
        const QString gamma = "Caption=gamma tool\nDescription=gamma tool\nName=gamma\nVersion=3.0\n";
        QCOMPARE(recorded,
            (QStringList {"Software:add:" + alphaNew, "Software:add:" + gamma, "Software:remove:" + alphaOld,
                "Software:remove:" + beta}));
        QCOMPARE(contentsOf(rootOfFile().firstChildElement("Software")), (QStringList {alphaNew, gamma}));
        qunsetenv("BRAMIX_WMI_ROOT");
    }

    void cleanupTestCase() { runRegsvr({"-u", CTestEnvironment::stagedFile("libInquix.so")}); }
};

int main(int argc, char **argv)
{
    CRelocatedRun::relocate(argc, argv);
    QCoreApplication app(argc, argv);
    TestClientLive test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clientlive.moc"
