// The service run under the stand-in service manager: a real service process, controlled through its
// own command line and the controller, with the hooks it records and the status the manager shows.

#include "cservicefixture.h"
#include "qtservicecontroller.h"

#include <QFile>
#include <QTest>

#include <csignal>

class TestServiceRun : public QObject
{
    Q_OBJECT

private slots:
    void startHookOnceInMainThreadWhileStartPending();
    void startArgumentsReachApplication();
    void startWhileRunningRefused();
    void startUninstalledFails();
    void pauseResume_data();
    void pauseResume();
    void pausedCountsAsRunning();
    void flagsChangedWhileRunningTakeEffect();
    void command_data();
    void command();
    void commandRefusedWhenNotRunning();
    void interrogateReachesNoHook();
    void stopWithinWait();
    void slowStopperReportedNotStopped();
    void cannotBeStopped();
    void applicationQuitsItself();
    void killedProcessShowsStopped();
    void dispatcherFailureIsLogged();
};

void TestServiceRun::startHookOnceInMainThreadWhileStartPending()
{
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_HOLDSTART", QFile::encodeName(fx.holdPath()));
    QVERIFY(fx.install());
    const auto r = fx.run({});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    QVERIFY(fx.waitForHook(QStringLiteral("start ")));
    // The start hook is running and held: the manager shows the service starting.
    QCOMPARE(fx.state(), DWORD(SERVICE_START_PENDING));
    QVERIFY(QtServiceController(CServiceFixture::serviceName()).isRunning());
    QVERIFY(CTestEnvironment::writeFile(fx.holdPath(), "go"));
    QVERIFY(fx.waitForState(SERVICE_RUNNING));
    const QStringList hooks = fx.hooks();
    QCOMPARE(hooks.size(), 1);
    QVERIFY2(hooks.at(0).endsWith(QLatin1String(" thread=main")), qPrintable(hooks.at(0)));
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).strings, QStringList {QStringLiteral("Test service started")});
}

void TestServiceRun::startArgumentsReachApplication()
{
    // From a console, the program asks the manager to start the service with its arguments after
    // the program path; the service main hands them on after the service name.
    CServiceFixture fx;
    QVERIFY(fx.install());
    QCOMPARE(fx.run({QStringLiteral("-s"), QStringLiteral("two words")}).exitCode, 0);
    QVERIFY(fx.waitForState(SERVICE_RUNNING));
    QCOMPARE(fx.hooks(), QStringList {QStringLiteral("start Bramix Test Service|-s|two words thread=main")});
}

void TestServiceRun::startWhileRunningRefused()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    const auto r = fx.run({});
    QCOMPARE(r.exitCode, 256 - 4);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service could not start\n"));
    QVERIFY(!QtServiceController(CServiceFixture::serviceName()).start());
    QCOMPARE(fx.state(), DWORD(SERVICE_RUNNING));
    QCOMPARE(fx.hooks().size(), 1);
}

void TestServiceRun::startUninstalledFails()
{
    CServiceFixture fx;
    QtServiceController c(CServiceFixture::serviceName());
    QVERIFY(!c.start());
    QVERIFY(!c.isRunning());
    QCOMPARE(c.startupType(), QtServiceController::ManualStartup);
    QVERIFY(c.serviceFilePath().isEmpty());
}

void TestServiceRun::pauseResume_data()
{
    QTest::addColumn<QByteArray>("flags");
    QTest::addColumn<bool>("suspendable");
    QTest::newRow("CanBeSuspended") << QByteArray("suspend") << true;
    QTest::newRow("default flags") << QByteArray() << false;
}

void TestServiceRun::pauseResume()
{
    QFETCH(QByteArray, flags);
    QFETCH(bool, suspendable);
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_FLAGS", flags);
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());

    auto r = fx.run({QStringLiteral("-p")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.isEmpty() && r.err.isEmpty());
    if (suspendable) {
        // The request completes only after the hook has run: no waiting needed.
        QCOMPARE(fx.state(), DWORD(SERVICE_PAUSED));
        QCOMPARE(fx.hooks().last(), QStringLiteral("pause thread=main"));
    } else {
        QCOMPARE(fx.state(), DWORD(SERVICE_RUNNING));
        QCOMPARE(fx.hooks().size(), 1);
    }

    r = fx.run({QStringLiteral("-resume")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(fx.state(), DWORD(SERVICE_RUNNING));
    if (suspendable)
        QCOMPARE(fx.hooks().last(), QStringLiteral("resume thread=main"));
    else
        QCOMPARE(fx.hooks().size(), 1);

    QtServiceController c(CServiceFixture::serviceName());
    QCOMPARE(c.pause(), suspendable);
    QCOMPARE(c.resume(), suspendable);
}

void TestServiceRun::pausedCountsAsRunning()
{
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_FLAGS", "suspend");
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    QCOMPARE(fx.run({QStringLiteral("-pause")}).exitCode, 0);
    QCOMPARE(fx.state(), DWORD(SERVICE_PAUSED));
    QVERIFY(QtServiceController(CServiceFixture::serviceName()).isRunning());
    QVERIFY(fx.run({QStringLiteral("-v")}).out.endsWith("is installed and running\n\n"));
    // A paused service still takes commands and stops.
    QCOMPARE(fx.run({QStringLiteral("-c"), QStringLiteral("4")}).exitCode, 0);
    QCOMPARE(fx.hooks().last(), QStringLiteral("command 4 thread=main"));
    QCOMPARE(fx.state(), DWORD(SERVICE_PAUSED));
    QCOMPARE(fx.run({QStringLiteral("-t")}).exitCode, 0);
    QCOMPARE(fx.state(), DWORD(SERVICE_STOPPED));
}

void TestServiceRun::flagsChangedWhileRunningTakeEffect()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    QCOMPARE(fx.status().dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP));
    QCOMPARE(fx.run({QStringLiteral("-c"), QStringLiteral("5")}).exitCode, 0); // sets CanBeSuspended
    QCOMPARE(fx.status().dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE));
    QCOMPARE(fx.run({QStringLiteral("-p")}).exitCode, 0);
    QCOMPARE(fx.state(), DWORD(SERVICE_PAUSED));
}

void TestServiceRun::command_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("hook"); // empty: no hook is called
    QTest::newRow("2") << QStringList {"-c", "2"} << "command 2 thread=main";
    QTest::newRow("long option") << QStringList {"-command", "3"} << "command 3 thread=main";
    QTest::newRow("127") << QStringList {"-c", "127"} << "command 127 thread=main";
    QTest::newRow("no number") << QStringList {"-c"} << "command 0 thread=main";
    QTest::newRow("not a number") << QStringList {"-c", "abc"} << "command 0 thread=main";
    QTest::newRow("128") << QStringList {"-c", "128"} << "";
    QTest::newRow("200") << QStringList {"-c", "200"} << "";
    QTest::newRow("-1") << QStringList {"-c", "-1"} << "";
}

void TestServiceRun::command()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, hook);
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    const auto r = fx.run(arguments);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.isEmpty() && r.err.isEmpty());
    if (hook.isEmpty()) {
        // A later accepted command proves the refused one never arrived.
        QCOMPARE(fx.run({QStringLiteral("-c"), QStringLiteral("1")}).exitCode, 0);
        QCOMPARE(fx.hooks().mid(1), QStringList {QStringLiteral("command 1 thread=main")});
    } else {
        QCOMPARE(fx.hooks().mid(1), QStringList {hook});
    }
    QCOMPARE(fx.state(), DWORD(SERVICE_RUNNING));
}

void TestServiceRun::commandRefusedWhenNotRunning()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QtServiceController c(CServiceFixture::serviceName());
    QVERIFY(!c.sendCommand(1));
    QCOMPARE(fx.run({QStringLiteral("-c"), QStringLiteral("1")}).exitCode, 0);
    QVERIFY(fx.hooks().isEmpty());
}

void TestServiceRun::interrogateReachesNoHook()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    QVERIFY(manager);
    const std::u16string name = CServiceFixture::serviceName().toStdU16String();
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_INTERROGATE);
    QVERIFY(service);
    SERVICE_STATUS st {};
    QVERIFY(ControlService(service, SERVICE_CONTROL_INTERROGATE, &st));
    QCOMPARE(st.dwCurrentState, DWORD(SERVICE_RUNNING));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    QCOMPARE(fx.hooks().size(), 1);
}

void TestServiceRun::stopWithinWait()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    const auto r = fx.run({QStringLiteral("-t")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.isEmpty(), r.err.constData());
    const SERVICE_STATUS st = fx.status();
    QCOMPARE(st.dwCurrentState, DWORD(SERVICE_STOPPED));
    QCOMPARE(st.dwWin32ExitCode, DWORD(0)); // the event loop's exit code
    QCOMPARE(fx.hooks().mid(1),
        (QStringList {QStringLiteral("stop thread=main"), QStringLiteral("loopended 0 thread=main")}));
    QCOMPARE(fx.eventLog().last().strings, QStringList {QStringLiteral("Test service stopping")});
    // Stopped for good: it can be started again.
    QVERIFY(fx.startRunning());
    QVERIFY(QtServiceController(CServiceFixture::serviceName()).stop());
}

void TestServiceRun::slowStopperReportedNotStopped()
{
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_EXITDELAY", "5000");
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    const auto r = fx.run({QStringLiteral("-terminate")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.startsWith("The service could not be stopped."), r.err.constData());
    QCOMPARE(fx.state(), DWORD(SERVICE_STOP_PENDING));
    QVERIFY(fx.hooks().contains(QStringLiteral("stop thread=main")));
    // The stop goes on.
    QVERIFY(fx.waitForState(SERVICE_STOPPED, 20000));
    QCOMPARE(fx.status().dwWin32ExitCode, DWORD(0));
}

void TestServiceRun::cannotBeStopped()
{
    CServiceFixture fx;
    fx.setServiceEnv("BXTEST_FLAGS", "nostop");
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    QCOMPARE(fx.status().dwControlsAccepted, DWORD(0));
    const auto r = fx.run({QStringLiteral("-t")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("stopping"), r.err.constData());
    QVERIFY(r.err.contains("The service could not be stopped."));
    QCOMPARE(fx.state(), DWORD(SERVICE_RUNNING));
    QCOMPARE(fx.hooks().size(), 1);
}

void TestServiceRun::applicationQuitsItself()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    QCOMPARE(fx.run({QStringLiteral("-c"), QStringLiteral("7")}).exitCode, 0); // exit(3)
    QVERIFY(fx.waitForState(SERVICE_STOPPED));
    QCOMPARE(fx.status().dwWin32ExitCode, DWORD(3));
    QVERIFY(!fx.hooks().contains(QStringLiteral("stop thread=main")));
}

void TestServiceRun::killedProcessShowsStopped()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    const qint64 pid = fx.servicePid();
    QVERIFY(pid > 0);
    QVERIFY(pid != QCoreApplication::applicationPid());
    ::kill(pid_t(pid), SIGKILL);
    QVERIFY(fx.waitForState(SERVICE_STOPPED));
    QCOMPARE(fx.status().dwWin32ExitCode, DWORD(ERROR_PROCESS_ABORTED));
    QVERIFY(fx.run({QStringLiteral("-v")}).out.endsWith("is installed and not running\n\n"));
    // Commands are refused, a new start works.
    QVERIFY(!QtServiceController(CServiceFixture::serviceName()).sendCommand(1));
    QVERIFY(fx.startRunning());
}

void TestServiceRun::dispatcherFailureIsLogged()
{
    // A dispatcher that cannot open its control channel fails with another error than "not started
    // by the manager": an error record in the event log and the failed-start exit.
    CServiceFixture fx;
    QVERIFY(fx.install());
    qputenv("BRAMIX_SCM_SERVICE", "Bramix Test Service");
    qputenv("BRAMIX_SCM_CHANNEL", QByteArray(200, 'x'));
    qputenv("BRAMIX_SCM_STATUS", QFile::encodeName(fx.env().filePath(QStringLiteral("status"))));
    const auto r = fx.run({});
    qunsetenv("BRAMIX_SCM_SERVICE");
    qunsetenv("BRAMIX_SCM_CHANNEL");
    qunsetenv("BRAMIX_SCM_STATUS");
    QCOMPARE(r.exitCode, 256 - 4);
    QCOMPARE(r.err, QByteArray("The service Bramix Test Service could not start\n"));
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).source, CServiceFixture::serviceName());
    QCOMPARE(log.at(0).type, QStringLiteral("error"));
    QCOMPARE(log.at(0).strings.size(), 1);
    QVERIFY2(log.at(0).strings.at(0).startsWith(QLatin1String("The Service failed to start [")),
        qPrintable(log.at(0).strings.at(0)));
    QVERIFY(fx.hooks().isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceRun)
#include "tst_servicerun.moc"
