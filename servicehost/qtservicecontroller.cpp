#include "qtservicecontroller.h"

#include "qtservicecontrollerprivate.h"
#include "serviceapi.h"

#include <QProcess>
#include <QThread>

#include <string>
#include <vector>

namespace {

// One operation's manager and service handles, closed in reverse order when it ends.
class ServiceHandles
{
public:
    ServiceHandles(const QString &name, DWORD managerAccess, DWORD serviceAccess)
    {
        m_manager = pOpenSCManager(nullptr, nullptr, managerAccess);
        if (m_manager)
            m_service = pOpenService(m_manager, reinterpret_cast<LPCWSTR>(name.utf16()), serviceAccess);
    }
    ~ServiceHandles()
    {
        if (m_service)
            pCloseServiceHandle(m_service);
        if (m_manager)
            pCloseServiceHandle(m_manager);
    }
    ServiceHandles(const ServiceHandles &) = delete;
    ServiceHandles &operator=(const ServiceHandles &) = delete;

    SC_HANDLE service() const { return m_service; }

private:
    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
};

} // namespace

QtServiceController::QtServiceController(const QString &name)
    : d_ptr(new QtServiceControllerPrivate)
{
    d_ptr->serviceName = name;
    d_ptr->q_ptr = this;
}

QtServiceController::~QtServiceController()
{
    delete d_ptr;
}

QString QtServiceController::serviceName() const
{
    return d_ptr->serviceName;
}

bool QtServiceController::isInstalled() const
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, 0, SERVICE_QUERY_CONFIG);
    return h.service() != nullptr;
}

bool QtServiceController::isRunning() const
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, 0, SERVICE_QUERY_STATUS);
    if (!h.service())
        return false;
    SERVICE_STATUS info;
    if (!pQueryServiceStatus(h.service(), &info))
        return false;
    return info.dwCurrentState != SERVICE_STOPPED;
}

QString QtServiceController::serviceFilePath() const
{
    if (!loadServiceApi())
        return QString();
    ServiceHandles h(d_ptr->serviceName, 0, SERVICE_QUERY_CONFIG);
    if (!h.service())
        return QString();
    alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
    DWORD needed = 0;
    QUERY_SERVICE_CONFIGW *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(buffer);
    if (!pQueryServiceConfig(h.service(), config, sizeof(buffer), &needed) || !config->lpBinaryPathName)
        return QString();
    return QString::fromUtf16(config->lpBinaryPathName);
}

QString QtServiceController::serviceDescription() const
{
    if (!loadServiceApi())
        return QString();
    ServiceHandles h(d_ptr->serviceName, 0, SERVICE_QUERY_CONFIG);
    if (!h.service())
        return QString();
    alignas(SERVICE_DESCRIPTIONW) BYTE buffer[8096];
    DWORD needed = 0;
    if (!pQueryServiceConfig2(h.service(), SERVICE_CONFIG_DESCRIPTION, buffer, sizeof(buffer), &needed))
        return QString();
    const SERVICE_DESCRIPTIONW *desc = reinterpret_cast<const SERVICE_DESCRIPTIONW *>(buffer);
    return desc->lpDescription ? QString::fromUtf16(desc->lpDescription) : QString();
}

QtServiceController::StartupType QtServiceController::startupType() const
{
    if (!loadServiceApi())
        return ManualStartup;
    ServiceHandles h(d_ptr->serviceName, 0, SERVICE_QUERY_CONFIG);
    if (!h.service())
        return ManualStartup;
    alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
    DWORD needed = 0;
    QUERY_SERVICE_CONFIGW *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(buffer);
    if (!pQueryServiceConfig(h.service(), config, sizeof(buffer), &needed))
        return ManualStartup;
    return config->dwStartType == SERVICE_DEMAND_START ? ManualStartup : AutoStartup;
}

bool QtServiceController::install(const QString &programPath, const QString &account, const QString &password)
{
    const QStringList arguments = {QStringLiteral("-i"), account, password};
    return QProcess::execute(programPath, arguments) == 0;
}

bool QtServiceController::uninstall()
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_ALL_ACCESS, DELETE);
    if (!h.service())
        return false;
    return pDeleteService(h.service()) != 0;
}

bool QtServiceController::start(const QStringList &arguments)
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_CONNECT, SERVICE_START);
    if (!h.service())
        return false;
    std::vector<std::u16string> texts;
    texts.reserve(size_t(arguments.size()));
    for (const QString &a : arguments)
        texts.push_back(a.toStdU16String());
    std::vector<LPCWSTR> argv;
    for (const std::u16string &t : texts)
        argv.push_back(t.c_str());
    return pStartService(h.service(), DWORD(argv.size()), argv.empty() ? nullptr : argv.data()) != 0;
}

bool QtServiceController::start()
{
    return start(QStringList());
}

bool QtServiceController::stop()
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!h.service())
        return false;
    SERVICE_STATUS status;
    if (!pControlService(h.service(), SERVICE_CONTROL_STOP, &status)) {
        qErrnoWarning(int(serviceApiLastError()), "stopping");
        return false;
    }
    bool stopped = status.dwCurrentState == SERVICE_STOPPED;
    for (int i = 0; !stopped && i < 10; ++i) {
        QThread::msleep(200);
        if (!pQueryServiceStatus(h.service(), &status))
            break;
        stopped = status.dwCurrentState == SERVICE_STOPPED;
    }
    return stopped;
}

bool QtServiceController::pause()
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_CONNECT, SERVICE_PAUSE_CONTINUE);
    if (!h.service())
        return false;
    SERVICE_STATUS status;
    return pControlService(h.service(), SERVICE_CONTROL_PAUSE, &status) != 0;
}

bool QtServiceController::resume()
{
    if (!loadServiceApi())
        return false;
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_CONNECT, SERVICE_PAUSE_CONTINUE);
    if (!h.service())
        return false;
    SERVICE_STATUS status;
    return pControlService(h.service(), SERVICE_CONTROL_CONTINUE, &status) != 0;
}

bool QtServiceController::sendCommand(int code)
{
    if (!loadServiceApi())
        return false;
    if (uint(code) > 127 || !isRunning())
        return false;
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_CONNECT, SERVICE_USER_DEFINED_CONTROL);
    if (!h.service())
        return false;
    SERVICE_STATUS status;
    return pControlService(h.service(), DWORD(128 + code), &status) != 0;
}
