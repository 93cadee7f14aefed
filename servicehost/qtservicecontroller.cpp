#include "qtservicecontroller.h"

#include "qtservicecontrollerprivate.h"
#include "serviceapi.h"

#include <QProcess>
#include <QThread>

#include <string>
#include <vector>

namespace {

// One operation's manager and service handles, closed in reverse order when it ends. Both stay null
// when the service API is not available.
class ServiceHandles
{
public:
    ServiceHandles(const QString &name, DWORD managerAccess, DWORD serviceAccess)
    {
        if (!loadServiceApi())
            return;
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

// The installed binary path and start type; false if the configuration cannot be read.
bool readConfig(const QString &name, QString *binaryPath, DWORD *startType)
{
    ServiceHandles h(name, 0, SERVICE_QUERY_CONFIG);
    if (!h.service())
        return false;
    alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
    DWORD needed = 0;
    QUERY_SERVICE_CONFIGW *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(buffer);
    if (!pQueryServiceConfig(h.service(), config, sizeof(buffer), &needed))
        return false;
    if (binaryPath)
        *binaryPath = config->lpBinaryPathName ? QString::fromUtf16(config->lpBinaryPathName) : QString();
    if (startType)
        *startType = config->dwStartType;
    return true;
}

// Sends a control that needs only the given access and waits for nothing but its answer.
bool sendControl(const QString &name, DWORD access, DWORD code)
{
    ServiceHandles h(name, SC_MANAGER_CONNECT, access);
    if (!h.service())
        return false;
    SERVICE_STATUS status;
    return pControlService(h.service(), code, &status) != 0;
}

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
    ServiceHandles h(d_ptr->serviceName, 0, SERVICE_QUERY_CONFIG);
    return h.service() != nullptr;
}

bool QtServiceController::isRunning() const
{
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
    QString path;
    return readConfig(d_ptr->serviceName, &path, nullptr) ? path : QString();
}

QString QtServiceController::serviceDescription() const
{
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
    DWORD startType = 0;
    if (!readConfig(d_ptr->serviceName, nullptr, &startType))
        return ManualStartup;
    return startType == SERVICE_DEMAND_START ? ManualStartup : AutoStartup;
}

bool QtServiceController::install(const QString &programPath, const QString &account, const QString &password)
{
    const QStringList arguments = {QStringLiteral("-i"), account, password};
    return QProcess::execute(programPath, arguments) == 0;
}

bool QtServiceController::uninstall()
{
    ServiceHandles h(d_ptr->serviceName, SC_MANAGER_ALL_ACCESS, DELETE);
    if (!h.service())
        return false;
    return pDeleteService(h.service()) != 0;
}

bool QtServiceController::start(const QStringList &arguments)
{
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
    return sendControl(d_ptr->serviceName, SERVICE_PAUSE_CONTINUE, SERVICE_CONTROL_PAUSE);
}

bool QtServiceController::resume()
{
    return sendControl(d_ptr->serviceName, SERVICE_PAUSE_CONTINUE, SERVICE_CONTROL_CONTINUE);
}

bool QtServiceController::sendCommand(int code)
{
    if (uint(code) > 127 || !isRunning())
        return false;
    return sendControl(d_ptr->serviceName, SERVICE_USER_DEFINED_CONTROL, DWORD(128 + code));
}
