// The stand-in service manager and event log through their own interface: the results and last
// errors callers rely on.

#include "cservicefixture.h"
#include "qtservicecontroller.h"

#include <QFile>
#include <QJsonObject>
#include <QTest>
#include <QThread>

#include <string>

namespace {

std::u16string w(const QString &s)
{
    return s.toStdU16String();
}

// Owns a manager handle and, optionally, one service handle.
struct Handles
{
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    Handles() { manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }
    ~Handles()
    {
        if (service)
            CloseServiceHandle(service);
        if (manager)
            CloseServiceHandle(manager);
    }
    SC_HANDLE create(const QString &name, const QString &path, DWORD startType = SERVICE_DEMAND_START)
    {
        const std::u16string n = w(name), p = w(path);
        return CreateServiceW(manager, n.c_str(), n.c_str(), SERVICE_ALL_ACCESS, 0x110, startType, SERVICE_ERROR_NORMAL,
            p.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    SC_HANDLE open(const QString &name, DWORD access)
    {
        const std::u16string n = w(name);
        return OpenServiceW(manager, n.c_str(), access);
    }
};

} // namespace

class TestServiceManager : public QObject
{
    Q_OBJECT

private slots:
    void createDuplicateRefused();
    void openMissing();
    void deleteRemoves();
    void dispatcherOutsideManager();
    void controlStoppedService();
    void controlNotAccepted();
    void accessChecked();
    void startRunningRefused();
    void disabledService();
    void missingExecutable();
    void configBufferTooSmall();
    void unreadableDatabaseKept();
    void concurrentCreates();
    void eventLogRecord();
};

void TestServiceManager::createDuplicateRefused()
{
    CServiceFixture fx;
    Handles h;
    QVERIFY(h.manager);
    SC_HANDLE first = h.create(QStringLiteral("Dup"), fx.program());
    QVERIFY(first);
    CloseServiceHandle(first);
    SetLastError(0);
    QVERIFY(!h.create(QStringLiteral("Dup"), fx.program()));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_EXISTS));
    QVERIFY(!h.create(QStringLiteral("dUP"), fx.program())); // names compare without case
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_EXISTS));
}

void TestServiceManager::openMissing()
{
    CServiceFixture fx;
    Handles h;
    SetLastError(0);
    QVERIFY(!h.open(QStringLiteral("Nope"), SERVICE_QUERY_STATUS));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}

void TestServiceManager::deleteRemoves()
{
    CServiceFixture fx;
    Handles h;
    h.service = h.create(QStringLiteral("Gone"), fx.program());
    QVERIFY(h.service);
    QVERIFY(DeleteService(h.service));
    QVERIFY(!h.open(QStringLiteral("Gone"), SERVICE_QUERY_CONFIG));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    QVERIFY(!DeleteService(h.service));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
}

void TestServiceManager::dispatcherOutsideManager()
{
    CServiceFixture fx;
    static bool called = false;
    std::u16string name = w(QStringLiteral("Bramix Test Service"));
    SERVICE_TABLE_ENTRYW table[2] = {{name.data(), [](DWORD, LPWSTR *) { called = true; }}, {nullptr, nullptr}};
    SetLastError(0);
    QVERIFY(!StartServiceCtrlDispatcherW(table));
    QCOMPARE(GetLastError(), DWORD(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    QVERIFY(!called);
    QVERIFY(!RegisterServiceCtrlHandlerW(name.c_str(), [](DWORD) {}));
}

void TestServiceManager::controlStoppedService()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    Handles h;
    h.service = h.open(CServiceFixture::serviceName(), SERVICE_ALL_ACCESS);
    QVERIFY(h.service);
    SERVICE_STATUS st {};
    QVERIFY(!ControlService(h.service, SERVICE_CONTROL_STOP, &st));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
    QCOMPARE(st.dwCurrentState, DWORD(SERVICE_STOPPED));
    QVERIFY(!ControlService(h.service, 130, &st));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
}

void TestServiceManager::controlNotAccepted()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    Handles h;
    h.service = h.open(CServiceFixture::serviceName(), SERVICE_ALL_ACCESS);
    SERVICE_STATUS st {};
    QVERIFY(!ControlService(h.service, SERVICE_CONTROL_PAUSE, &st));
    QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_SERVICE_CONTROL));
    QVERIFY(!ControlService(h.service, SERVICE_CONTROL_CONTINUE, &st));
    QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_SERVICE_CONTROL));
    QVERIFY(!ControlService(h.service, SERVICE_CONTROL_SHUTDOWN, &st));
    QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    QCOMPARE(fx.hooks().size(), 1);
    QVERIFY(ControlService(h.service, SERVICE_CONTROL_STOP, &st));
    QVERIFY(fx.waitForState(SERVICE_STOPPED));
}

void TestServiceManager::accessChecked()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    QVERIFY(fx.startRunning());
    Handles h;
    h.service = h.open(CServiceFixture::serviceName(), SERVICE_QUERY_STATUS);
    SERVICE_STATUS st {};
    QVERIFY(!ControlService(h.service, SERVICE_CONTROL_STOP, &st));
    QCOMPARE(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    QVERIFY(!StartServiceW(h.service, 0, nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    QVERIFY(!DeleteService(h.service));
    QCOMPARE(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    QCOMPARE(fx.state(), DWORD(SERVICE_RUNNING));
    SC_HANDLE connectOnly = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const std::u16string n = w(QStringLiteral("Other"));
    QVERIFY(!CreateServiceW(connectOnly, n.c_str(), n.c_str(), SERVICE_ALL_ACCESS, 0x10, SERVICE_DEMAND_START, 1,
        n.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseServiceHandle(connectOnly);
}

void TestServiceManager::startRunningRefused()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    Handles h;
    h.service = h.open(CServiceFixture::serviceName(), SERVICE_START | SERVICE_QUERY_STATUS);
    QVERIFY(StartServiceW(h.service, 0, nullptr));
    QVERIFY(fx.waitForState(SERVICE_RUNNING));
    QVERIFY(!StartServiceW(h.service, 0, nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_ALREADY_RUNNING));
    QCOMPARE(fx.hooks().size(), 1);
}

void TestServiceManager::disabledService()
{
    CServiceFixture fx;
    Handles h;
    h.service = h.create(CServiceFixture::serviceName(), fx.program(), SERVICE_DISABLED);
    QVERIFY(h.service);
    QCOMPARE(QtServiceController(CServiceFixture::serviceName()).startupType(), QtServiceController::AutoStartup);
    QVERIFY(!StartServiceW(h.service, 0, nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_SERVICE_DISABLED));
}

void TestServiceManager::missingExecutable()
{
    CServiceFixture fx;
    Handles h;
    h.service = h.create(QStringLiteral("Ghost"), fx.env().filePath(QStringLiteral("no such program")));
    QVERIFY(h.service);
    QVERIFY(!StartServiceW(h.service, 0, nullptr));
    QCOMPARE(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    SERVICE_STATUS st {};
    QVERIFY(QueryServiceStatus(h.service, &st));
    QCOMPARE(st.dwCurrentState, DWORD(SERVICE_STOPPED));
    QVERIFY(!QtServiceController(QStringLiteral("Ghost")).isRunning());
}

void TestServiceManager::configBufferTooSmall()
{
    CServiceFixture fx;
    QVERIFY(fx.install());
    Handles h;
    h.service = h.open(CServiceFixture::serviceName(), SERVICE_QUERY_CONFIG);
    DWORD needed = 0;
    alignas(QUERY_SERVICE_CONFIGW) BYTE small[sizeof(QUERY_SERVICE_CONFIGW) + 8];
    QVERIFY(!QueryServiceConfigW(h.service, reinterpret_cast<QUERY_SERVICE_CONFIGW *>(small), sizeof(small), &needed));
    QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    QVERIFY(needed > sizeof(small));
    QByteArray big(int(needed), '\0');
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(big.data());
    QVERIFY(QueryServiceConfigW(h.service, config, needed, &needed));
    QCOMPARE(QString::fromUtf16(config->lpBinaryPathName), fx.program());
    QCOMPARE(QString::fromUtf16(config->lpServiceStartName), QStringLiteral("LocalSystem"));
    QCOMPARE(QString::fromUtf16(config->lpDisplayName), CServiceFixture::serviceName());
    QCOMPARE(config->dwServiceType, DWORD(0x110));
}

void TestServiceManager::unreadableDatabaseKept()
{
    CServiceFixture fx;
    const QString db = fx.env().platformRoot() + QStringLiteral("/services.json");
    QVERIFY(CTestEnvironment::writeFile(db, "{ not json"));
    const auto r = fx.run({QStringLiteral("-i")});
    QCOMPARE(r.exitCode, 255);
    QCOMPARE(CTestEnvironment::readFile(db), QByteArray("{ not json"));
}

void TestServiceManager::concurrentCreates()
{
    CServiceFixture fx;
    const int threads = 6;
    const int perThread = 10;
    QList<QThread *> workers;
    for (int t = 0; t < threads; ++t) {
        workers << QThread::create([t, perThread, &fx] {
            Handles h;
            for (int i = 0; i < perThread; ++i) {
                SC_HANDLE s = h.create(QStringLiteral("S%1-%2").arg(t).arg(i), fx.program());
                if (s)
                    CloseServiceHandle(s);
            }
        });
        workers.last()->start();
    }
    for (QThread *wk : workers) {
        QVERIFY(wk->wait(60000));
        delete wk;
    }
    Handles h;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < perThread; ++i) {
            SC_HANDLE s = h.open(QStringLiteral("S%1-%2").arg(t).arg(i), SERVICE_QUERY_CONFIG);
            QVERIFY2(s, qPrintable(QStringLiteral("S%1-%2").arg(t).arg(i)));
            CloseServiceHandle(s);
        }
    }
}

void TestServiceManager::eventLogRecord()
{
    CServiceFixture fx;
    const std::u16string source = w(QStringLiteral("Raw Source"));
    const std::u16string remote = w(QStringLiteral("\\\\elsewhere.invalid"));
    QVERIFY(!RegisterEventSourceW(remote.c_str(), source.c_str()));
    HANDLE h = RegisterEventSourceW(nullptr, source.c_str());
    QVERIFY(h);
    const std::u16string a = w(QStringLiteral("first")), b = w(QStringLiteral("sec\nond"));
    LPCWSTR strings[2] = {a.c_str(), b.c_str()};
    char data[2] = {'\x01', '\xab'};
    QVERIFY(ReportEventW(h, EVENTLOG_WARNING_TYPE, 3, 77, nullptr, 2, 2, strings, data));
    QVERIFY(DeregisterEventSource(h));
    QVERIFY(!DeregisterEventSource(h));
    QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).source, QStringLiteral("Raw Source"));
    QCOMPARE(log.at(0).type, QStringLiteral("warning"));
    QCOMPARE(log.at(0).category, 3);
    QCOMPARE(log.at(0).eventId, 77);
    QCOMPARE(log.at(0).data, QByteArray("\x01\xab", 2));
    QCOMPARE(log.at(0).strings, (QStringList {QStringLiteral("first"), QStringLiteral("sec\nond")}));
}

QTEST_GUILESS_MAIN(TestServiceManager)
#include "tst_servicemanager.moc"
