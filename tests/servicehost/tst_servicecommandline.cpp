// The service command line as an administrator uses it: every option of a program on the service
// host, run as a real process against a private service database.

#include "cservicefixture.h"
#include "qtservicecontroller.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTest>

class TestServiceCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void help_data();
    void help();
    void versionNotInstalled();
    void versionInstalled();
    void installAccounts_data();
    void installAccounts();
    void installTwiceKeepsEntry();
    void installRecordsProgramDescriptionStartType();
    void installPathWithBlanks();
    void controllerInstall();
    void uninstall();
    void uninstallNotInstalled();
    void notAnOptionRunsService_data();
    void notAnOptionRunsService();
    void withoutServiceLibrary();
};

void TestServiceCommandLine::help_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("short") << QStringLiteral("-h");
    QTest::newRow("long") << QStringLiteral("-help");
}

void TestServiceCommandLine::help()
{
    QFETCH(QString, option);
    CServiceFixture fx;
    QVERIFY(fx.isValid());
    const auto r = fx.run({option});
    QCOMPARE(r.exitCode, 0);
    const QByteArray expected = "\n" + QFile::encodeName(fx.program())
        + " -[i|u|e|s|v|h]\n\t-i(nstall) [account] [password]\t: Install the service, optionally using given account "
          "and password\n\t-u(ninstall)\t: Uninstall the service.\n\t-e(xec)\t\t: Run as a regular application. "
          "Useful for debugging.\n\t-t(erminate)\t: Stop the service.\n\t-c(ommand) num\t: Send command code num to "
          "the service.\n\t-v(ersion)\t: Print version and status information.\n\t-h(elp)   \t: Show this "
          "help\n\tNo arguments\t: Start the service.\n";
    QCOMPARE(r.out, expected);
    QVERIFY(r.err.isEmpty());
    QVERIFY(!fx.databaseEntry().contains(QStringLiteral("name")));
}

void TestServiceCommandLine::versionNotInstalled()
{
    CServiceFixture fx;
    const auto r = fx.run({QStringLiteral("-v")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out,
        "The service\n\tBramix Test Service\n\t" + QFile::encodeName(fx.program())
            + "\n\nis not installed and not running\n\n");
}

void TestServiceCommandLine::versionInstalled()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    const auto r = fx.run({QStringLiteral("-version")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.endsWith("\n\nis installed and not running\n\n"));
    QVERIFY(fx.startRunning());
    QVERIFY(fx.run({QStringLiteral("-v")}).out.endsWith("\n\nis installed and running\n\n"));
}

void TestServiceCommandLine::installAccounts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("account"); // as stored: empty means the local system account
    QTest::addColumn<bool>("passwordGiven");
    QTest::addColumn<int>("serviceType");

    QTest::newRow("no account") << QStringList {"-i"} << "" << false << 0x110;
    QTest::newRow("long option") << QStringList {"-install"} << "" << false << 0x110;
    QTest::newRow("local account, no password") << QStringList {"-i", "admin"} << ".\\admin" << false << 0x10;
    QTest::newRow("local account, password") << QStringList {"-i", "admin", "secret"} << ".\\admin" << true << 0x10;
    QTest::newRow("empty password") << QStringList {"-i", "admin", ""} << ".\\admin" << false << 0x10;
    QTest::newRow("domain account") << QStringList {"-i", "DOMAIN\\user", "pw"} << "DOMAIN\\user" << true << 0x10;
    QTest::newRow("LocalSystem") << QStringList {"-i", "LocalSystem", "pw"} << "" << false << 0x110;
    QTest::newRow(".\\LocalSystem") << QStringList {"-i", ".\\LocalSystem"} << "" << false << 0x110;
    QTest::newRow("case differs") << QStringList {"-i", ".\\localsystem"} << ".\\localsystem" << false << 0x10;
}

void TestServiceCommandLine::installAccounts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, account);
    QFETCH(bool, passwordGiven);
    QFETCH(int, serviceType);
    CServiceFixture fx;
    const auto r = fx.run(arguments);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(
        r.out, "The service Bramix Test Service has been installed under: " + QFile::encodeName(fx.program()) + "\n");
    const QJsonObject e = fx.databaseEntry();
    QCOMPARE(e.value(QStringLiteral("account")).toString(), account);
    QCOMPARE(e.value(QStringLiteral("passwordGiven")).toBool(), passwordGiven);
    QCOMPARE(e.value(QStringLiteral("serviceType")).toInt(), serviceType);
    QVERIFY(!CTestEnvironment::readFile(fx.env().platformRoot() + "/services.json").contains("secret"));
}

void TestServiceCommandLine::installTwiceKeepsEntry()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    const QByteArray before = CTestEnvironment::readFile(fx.env().platformRoot() + "/services.json");
    const auto r = fx.run({QStringLiteral("-i"), QStringLiteral("admin"), QStringLiteral("pw")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service is already installed\n"));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(CTestEnvironment::readFile(fx.env().platformRoot() + "/services.json"), before);
}

void TestServiceCommandLine::installRecordsProgramDescriptionStartType()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QtServiceController c(CServiceFixture::serviceName());
    QVERIFY(c.isInstalled());
    QCOMPARE(c.serviceFilePath(), fx.program());
    QCOMPARE(c.serviceDescription(), CServiceFixture::serviceName());
    QCOMPARE(c.startupType(), QtServiceController::AutoStartup);
    const QJsonObject e = fx.databaseEntry();
    QCOMPARE(e.value(QStringLiteral("displayName")).toString(), CServiceFixture::serviceName());
    QCOMPARE(e.value(QStringLiteral("startType")).toInt(), SERVICE_AUTO_START);
    QCOMPARE(e.value(QStringLiteral("errorControl")).toInt(), SERVICE_ERROR_NORMAL);
}

void TestServiceCommandLine::installPathWithBlanks()
{
    CServiceFixture fx;
    const QString dir = fx.env().filePath(QStringLiteral("Program Files/Bramix"));
    QVERIFY(CTestEnvironment::copyStaged({QStringLiteral("bxtestservice"), QStringLiteral("libadvapi32.so")}, dir));
    fx.setProgram(dir + QStringLiteral("/bxtestservice"));
    QVERIFY(fx.install());
    QCOMPARE(fx.databaseEntry().value(QStringLiteral("binaryPath")).toString(), fx.program());
    // And the manager can start it from there.
    QVERIFY(fx.startRunning());
    QVERIFY(fx.waitForHook(QStringLiteral("start ")));
}

void TestServiceCommandLine::controllerInstall()
{
    // The controller installs by running the program with "-i"; an installed service counts as
    // success too.
    CServiceFixture fx;
    QVERIFY(QtServiceController::install(fx.program(), QStringLiteral("admin"), QString()));
    QCOMPARE(fx.databaseEntry().value(QStringLiteral("account")).toString(), QStringLiteral(".\\admin"));
    QCOMPARE(fx.databaseEntry().value(QStringLiteral("passwordGiven")).toBool(), false);
    QVERIFY(QtServiceController::install(fx.program()));
    QVERIFY(!QtServiceController::install(fx.env().filePath(QStringLiteral("missing"))));
    QtServiceController c(CServiceFixture::serviceName());
    QVERIFY(c.uninstall());
    QVERIFY(!c.isInstalled());
    QVERIFY(!c.uninstall());
}

void TestServiceCommandLine::uninstall()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    const auto r = fx.run({QStringLiteral("-u")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("The service Bramix Test Service has been uninstalled.\n"));
    QVERIFY(!QtServiceController(CServiceFixture::serviceName()).isInstalled());
    QVERIFY(fx.install()); // and can be installed again
    QCOMPARE(fx.run({QStringLiteral("-uninstall")}).exitCode, 0);
    QVERIFY(!QtServiceController(CServiceFixture::serviceName()).isInstalled());
}

void TestServiceCommandLine::uninstallNotInstalled()
{
    CServiceFixture fx;
    const auto r = fx.run({QStringLiteral("-u")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service is not installed\n"));
    QVERIFY(r.out.isEmpty());
}

void TestServiceCommandLine::notAnOptionRunsService_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("-s") << QStringLiteral("-s");
    QTest::newRow("upper case") << QStringLiteral("-I");
    QTest::newRow("double dash") << QStringLiteral("--install");
    QTest::newRow("word") << QStringLiteral("hello");
}

void TestServiceCommandLine::notAnOptionRunsService()
{
    // Not installed: the run asks the manager to start the service, which fails.
    QFETCH(QString, argument);
    CServiceFixture fx;
    const auto r = fx.run({argument});
    QCOMPARE(r.exitCode, 256 - 4);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service could not start\n"));
    QVERIFY(!QtServiceController(CServiceFixture::serviceName()).isInstalled());
    QVERIFY(fx.eventLog().isEmpty()); // the failed hand-over to the manager is not logged
}

void TestServiceCommandLine::withoutServiceLibrary()
{
    // A program whose directory lacks the service library (and no other copy on the loader's path).
    CServiceFixture fx;
    const QString dir = fx.env().filePath(QStringLiteral("bare"));
    QVERIFY(CTestEnvironment::copyStaged({QStringLiteral("bxtestservice")}, dir));
    fx.setProgram(dir + QStringLiteral("/bxtestservice"));

    auto r = fx.run({QStringLiteral("-i")});
    QCOMPARE(r.exitCode, 255);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service could not be installed\n"));

    r = fx.run({});
    QCOMPARE(r.exitCode, 256 - 4);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service could not start\n"));

    r = fx.run({QStringLiteral("-v")});
    QVERIFY(r.out.endsWith("\n\nis not installed and not running\n\n"));

    // The console run works, but its log lines go nowhere.
    r = fx.run({QStringLiteral("-e")}, 1000);
    QCOMPARE(r.exitCode, -1000); // runs until stopped
    QVERIFY(fx.waitForHook(QStringLiteral("start ")));
    QVERIFY(!QFile::exists(fx.env().platformRoot() + "/eventlog.txt"));
}

QTEST_GUILESS_MAIN(TestServiceCommandLine)
#include "tst_servicecommandline.moc"
