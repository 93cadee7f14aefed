#include "cfakedevice.h"
#include "crelocatedrun.h"
#include "ctestenvironment.h"
#include "cwmiquery.h"
#include "qtservicebase.h"

#include <QDirIterator>
#include <QJsonObject>
#include <QtTest>

namespace {

// A service object that is never run: it makes QtServiceBase::instance() exist, so the bridge logs.
class CQuietService : public QtServiceBase
{
public:
    CQuietService(int argc, char **argv)
        : QtServiceBase(argc, argv, QStringLiteral("Bramix Query Test"))
    { }

protected:
    void start() override { }
    void createApplication(int &, char **) override { }
    int executeApplication() override { return 0; }
};

} // namespace

class TestWmiQuery : public QObject
{
    Q_OBJECT

private:
    CTestEnvironment m_env;
    QString m_answers;

    bool answer(const QString &wql, const QJsonValue &value)
    {
        QJsonObject o;
        o.insert(wql, value);
        return CFakeDevice::setAnswers(m_answers, o);
    }

    // Everything written under the private platform directory: the event log lives there.
    QByteArray platformFiles() const
    {
        QByteArray all;
        QDirIterator it(m_env.platformRoot(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            all += CTestEnvironment::readFile(it.next());
        return all;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        m_answers = m_env.filePath("answers.json");
        QVERIFY(CFakeDevice::setAnswers(m_answers, QJsonObject()));
        QVERIFY(CFakeDevice::install(m_answers));
    }

    void rows_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("wql");
        QTest::addColumn<QJsonValue>("answer");
        QTest::addColumn<QStringList>("rows");
        const QString cpu = "select * from Win32_Processor";
        QTest::newRow("no object: one empty row") << "CPU" << cpu << QJsonValue("") << QStringList {""};
        QTest::newRow("empty variant: one empty row")
            << "CPU" << cpu << QJsonValue(QJsonValue::Null) << QStringList {""};
        QTest::newRow("one object") << "CPU" << cpu << QJsonValue("Name=x\nCores=4\n")
                                    << QStringList {"Name=x\nCores=4\n"};
        QTest::newRow("three objects") << "BIOS"
                                       << "select * from Win32_BIOS" << QJsonValue("A=1\n^A=2\n^A=3\n")
                                       << QStringList {"A=1\n", "A=2\n", "A=3\n"};
        QTest::newRow("caret in a value splits")
            << "OS"
            << "select * from Win32_OperatingSystem" << QJsonValue("Name=a^b\n") << QStringList {"Name=a", "b\n"};
        QTest::newRow("empty parts kept") << "CPU" << cpu << QJsonValue("^^") << QStringList {"", "", ""};
        QTest::newRow("dollar kept") << "Printer"
                                     << "select * from Win32_Printer" << QJsonValue("Name=$lp$\n")
                                     << QStringList {"Name=$lp$\n"};
        QTest::newRow("colon and bar blanked")
            << "Software"
            << "select * from Win32_Product" << QJsonValue("Path=C:\\x|y\nUrl=http://a\n")
            << QStringList {"Path=C \\x y\nUrl=http //a\n"};
        QTest::newRow("error text is a row")
            << "CPU" << cpu << QJsonValue("ConnectServer error") << QStringList {"ConnectServer error"};
        QTest::newRow("key not in table queries empty text") << "cpu"
                                                             << "" << QJsonValue("X=1\n") << QStringList {"X=1\n"};
    }
    void rows()
    {
        QFETCH(QString, key);
        QFETCH(QString, wql);
        QFETCH(QJsonValue, answer);
        QFETCH(QStringList, rows);
        QVERIFY(this->answer(wql, answer));
        QCOMPARE(CWmiQuery().query(key), rows);
    }

    void madeTellsAnAnswerFromNone_data()
    {
        QTest::addColumn<QJsonValue>("answer");
        QTest::addColumn<bool>("made");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("no object") << QJsonValue("") << true << QStringList {""};
        QTest::newRow("rows") << QJsonValue("A=1\n^A=2\n") << true << QStringList {"A=1\n", "A=2\n"};
        QTest::newRow("locator not created") << QJsonValue("CoCreateInstance error") << false << QStringList();
        QTest::newRow("no connection") << QJsonValue("ConnectServer error") << false << QStringList();
        QTest::newRow("error words inside a row are data")
            << QJsonValue("Name=ConnectServer error\n") << true << QStringList {"Name=ConnectServer error\n"};
        QTest::newRow("characters XML cannot hold dropped")
            << QJsonValue(QString("A=x") + QChar(0x01) + QChar(0xFFFE) + "y\n") << true << QStringList {"A=xy\n"};
    }
    void madeTellsAnAnswerFromNone()
    {
        QFETCH(QJsonValue, answer);
        QFETCH(bool, made);
        QFETCH(QStringList, rows);
        QVERIFY(this->answer("select * from Win32_BIOS", answer));
        bool wasMade = !made;
        QCOMPARE(CWmiQuery().query("BIOS", &wasMade), rows);
        QCOMPARE(wasMade, made);
    }

    void unmadeQueryIsLoggedWithItsClass()
    {
        char arg0[] = "tst_wmiquery";
        char *argv[] = {arg0, nullptr};
        CQuietService service(1, argv);
        QVERIFY(answer("select * from Win32_BIOS", "A=1\n"));
        QVERIFY(CFakeDevice::unregister());
        bool made = true;
        QCOMPARE(CWmiQuery().query("BIOS", &made), QStringList());
        QVERIFY(!made);
        QVERIFY(CFakeDevice::install(m_answers));
        QVERIFY(CTestEnvironment::waitFor(
            [this] {
                return platformFiles().contains("inventory query of class BIOS could not be made: no Device object");
            },
            5000));
        QVERIFY(answer("select * from Win32_Processor", "ConnectServer error"));
        QCOMPARE(CWmiQuery().query("CPU", &made), QStringList());
        QVERIFY(CTestEnvironment::waitFor(
            [this] {
                return platformFiles().contains("inventory query of class CPU could not be made: ConnectServer error");
            },
            5000));
    }

    void eachCallMakesAndReleasesItsObject()
    {
        QVERIFY(answer("select * from Win32_BIOS", "A=1\n"));
        const int before = CFakeDevice::queries();
        CWmiQuery bridge;
        for (int i = 0; i < 3; ++i) {
            bridge.query("BIOS");
            QCOMPARE(CFakeDevice::liveObjects(), 0);
        }
        QCOMPARE(CFakeDevice::queries(), before + 3);
    }

    void rawAnswerIsUnchangedButBindsNothing()
    {
        // The interface identifier names no class, so the raw form finds no object to ask.
        QVERIFY(answer("select * from Win32_BIOS", "A=1:2|3\n^B\n"));
        QCOMPARE(CWmiQuery().queryRaw("BIOS"), QString());
    }

    void exceptionIsLoggedAndYieldsNoRows()
    {
        QVERIFY(answer("select * from Win32_Processor", QJsonObject {{"throw", true}}));
        // Without a service object nothing can be logged, and nothing breaks.
        QCOMPARE(CWmiQuery().query("CPU"), QStringList());

        char arg0[] = "tst_wmiquery";
        char *argv[] = {arg0, nullptr};
        CQuietService service(1, argv);
        QCOMPARE(QtServiceBase::instance(), &service);
        QCOMPARE(CWmiQuery().query("CPU"), QStringList());
        QVERIFY(CTestEnvironment::waitFor([this] { return platformFiles().contains("query exception"); }, 5000));
    }

    void unregisteredClassGivesOneEmptyRowAndLogsNothing()
    {
        char arg0[] = "tst_wmiquery";
        char *argv[] = {arg0, nullptr};
        CQuietService service(1, argv);
        const QByteArray logBefore = platformFiles();
        QVERIFY(answer("select * from Win32_BIOS", "A=1\n"));
        QVERIFY(CFakeDevice::unregister());
        QCOMPARE(CWmiQuery().query("BIOS"), QStringList {""});
        QCOMPARE(platformFiles().count("query exception"), logBefore.count("query exception"));
        QVERIFY(CFakeDevice::install(m_answers));
        QCOMPARE(CWmiQuery().query("BIOS"), QStringList {"A=1\n"});
    }
};

int main(int argc, char **argv)
{
    // The service host loads the event log's library from the program's directory.
    CRelocatedRun::relocate(argc, argv, {"libadvapi32.so"});
    QCoreApplication app(argc, argv);
    TestWmiQuery test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_wmiquery.moc"
