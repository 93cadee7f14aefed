// The console run ("-e"): the service as an ordinary process, with its log still in the event log.

#include "cservicefixture.h"

#include <QFile>
#include <QProcess>
#include <QTest>

class TestServiceConsole : public QObject
{
    Q_OBJECT

private slots:
    void startHookFirstAndOnly_data();
    void startHookFirstAndOnly();
    void loopExitCodeIsRunResult();
    void consoleRunIgnoresControls();
};

void TestServiceConsole::startHookFirstAndOnly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("seen"); // the application's arguments after the program path
    QTest::newRow("-e") << QStringList {"-e"} << "";
    QTest::newRow("-exec with arguments") << QStringList {"-exec", "a", "-t"} << "|a|-t";
}

void TestServiceConsole::startHookFirstAndOnly()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, seen);
    CServiceFixture fx;
    QProcess p;
    p.start(fx.program(), arguments);
    QVERIFY(p.waitForStarted());
    QVERIFY(fx.waitForHook(QStringLiteral("start ")));
    QVERIFY(CTestEnvironment::waitFor([&] { return !fx.eventLog().isEmpty(); }));
    QCOMPARE(fx.hooks(), QStringList {QStringLiteral("start ") + fx.program() + seen + QStringLiteral(" thread=main")});
    // Logged under the service name, as a success record with the message as its one string.
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).source, CServiceFixture::serviceName());
    QCOMPARE(log.at(0).type, QStringLiteral("success"));
    QCOMPARE(log.at(0).strings, QStringList {QStringLiteral("Test service started")});
    // Nothing was installed or registered with the manager.
    QVERIFY(fx.databaseEntry().isEmpty());
    QCOMPARE(fx.state(), DWORD(0));
    p.kill();
    p.waitForFinished();
    QCOMPARE(fx.hooks().size(), 1);
}

void TestServiceConsole::loopExitCodeIsRunResult()
{
    // The start hook ends the event loop with code 9: the console run returns it as the exit code.
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_QUITCODE", "9");
    fx.setServiceEnv("BXTEST_NAME", "Console Named");
    const auto r = fx.run({QStringLiteral("-e")});
    QCOMPARE(r.exitCode, 9);
    QCOMPARE(fx.hooks(),
        (QStringList {QStringLiteral("start ") + fx.program() + QStringLiteral(" thread=main"),
            QStringLiteral("loopended 9 thread=main")}));
    QCOMPARE(fx.eventLog().at(0).source, QStringLiteral("Console Named"));
}

void TestServiceConsole::consoleRunIgnoresControls()
{
    // An installed service run from the console is not the manager's service: controls find it
    // not running and reach none of its hooks.
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_FLAGS", "suspend");
    QVERIFY(fx.install());
    QProcess p;
    p.start(fx.program(), {QStringLiteral("-e")});
    QVERIFY(p.waitForStarted());
    QVERIFY(fx.waitForHook(QStringLiteral("start ")));
    QCOMPARE(fx.run({QStringLiteral("-p")}).exitCode, 0);
    QCOMPARE(fx.run({QStringLiteral("-c"), QStringLiteral("3")}).exitCode, 0);
    QCOMPARE(fx.run({QStringLiteral("-t")}).exitCode, 0);
    QCOMPARE(fx.hooks().size(), 1);
    QCOMPARE(p.state(), QProcess::Running);
    p.kill();
    p.waitForFinished();
}

QTEST_GUILESS_MAIN(TestServiceConsole)
#include "tst_serviceconsole.moc"
