// Entry points of libadvapi32: the service manager and event log as the service host calls them.

#include "ceventlog.h"
#include "cservicedatabase.h"
#include "cservicedispatcher.h"
#include "cserviceruntime.h"
#include "lasterror.h"
#include "winsvc.h"

#include <QFile>
#include <QMutex>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct ScHandle
{
    enum Kind { Manager, Service };
    Kind kind;
    DWORD access;
    QString name; // service handles: the name as installed
};

struct EventSource
{
    QString source;
};

QMutex g_handleLock;
QSet<const void *> g_handles;

template<typename T> T *track(T *object)
{
    QMutexLocker locker(&g_handleLock);
    g_handles.insert(object);
    return object;
}

QSet<const void *> g_eventSources; // subset of g_handles that are event sources

ScHandle *scHandle(SC_HANDLE h, ScHandle::Kind kind)
{
    ScHandle *p = reinterpret_cast<ScHandle *>(h);
    {
        QMutexLocker locker(&g_handleLock);
        if (!p || !g_handles.contains(p) || g_eventSources.contains(p))
            return nullptr;
    }
    return p->kind == kind ? p : nullptr;
}

QString fromWide(LPCWSTR s)
{
    return s ? QString::fromUtf16(s) : QString();
}

BOOL fail(DWORD code)
{
    t_lastError = code;
    return FALSE;
}

// The handle h of that kind if it was opened with access; otherwise null, with the error to report
// set.
ScHandle *handleWithAccess(SC_HANDLE h, ScHandle::Kind kind, DWORD access)
{
    ScHandle *p = scHandle(h, kind);
    if (!p) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((p->access & access) == 0) {
        fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return p;
}

ScHandle *serviceHandle(SC_HANDLE h, DWORD access)
{
    return handleWithAccess(h, ScHandle::Service, access);
}

// The database entry of an open service; false, with the error set, if it was deleted meanwhile.
bool installedEntry(const ScHandle *h, CServiceDatabase::Entry *e)
{
    if (CServiceDatabase::find(h->name, e) == CServiceDatabase::Ok)
        return true;
    fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    return false;
}

// The status of an open service as the service manager reports it.
void currentStatus(const ScHandle *h, SERVICE_STATUS *status)
{
    CServiceDatabase::Entry e;
    const DWORD type = CServiceDatabase::find(h->name, &e) == CServiceDatabase::Ok ? e.serviceType : 0;
    CServiceRuntime::query(CServiceRuntime::statusPath(h->name), type, status);
}

bool isLocalMachine(LPCWSTR machine)
{
    const QString m = fromWide(machine);
    if (m.isEmpty())
        return true;
    QString bare = m;
    while (bare.startsWith(QLatin1Char('\\')))
        bare.remove(0, 1);
    char host[256] = {};
    ::gethostname(host, sizeof(host) - 1);
    return bare == QLatin1String(".") || bare.compare(QString::fromLocal8Bit(host), Qt::CaseInsensitive) == 0;
}

bool validName(const QString &name)
{
    return !name.isEmpty() && name.size() <= 256 && !name.contains(QLatin1Char('/'))
        && !name.contains(QLatin1Char('\\'));
}

// Packs strings behind a fixed structure in a caller's buffer, as the configuration queries return.
class Packer
{
public:
    Packer(LPBYTE buffer, DWORD size, DWORD fixed)
        : m_buffer(buffer)
        , m_size(size)
        , m_used(fixed)
    { }
    LPWSTR add(const QString &s)
    {
        const DWORD bytes = DWORD((s.size() + 1) * sizeof(WCHAR));
        m_used = (m_used + 1u) & ~1u;
        const DWORD at = m_used;
        m_used += bytes;
        if (!m_buffer || m_used > m_size)
            return nullptr;
        std::memcpy(m_buffer + at, s.utf16(), size_t(s.size()) * sizeof(WCHAR));
        reinterpret_cast<WCHAR *>(m_buffer + at)[s.size()] = 0;
        return reinterpret_cast<LPWSTR>(m_buffer + at);
    }
    DWORD used() const { return m_used; }
    bool fits() const { return m_buffer && m_used <= m_size; }

private:
    LPBYTE m_buffer;
    DWORD m_size;
    DWORD m_used;
};

} // namespace

void setLastErrorCode(DWORD code)
{
    t_lastError = code;
}

extern "C" {

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}

SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess)
{
    if (!isLocalMachine(lpMachineName)) {
        fail(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    const QString db = fromWide(lpDatabaseName);
    if (!db.isEmpty() && db.compare(QLatin1String("ServicesActive"), Qt::CaseInsensitive) != 0) {
        fail(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    return reinterpret_cast<SC_HANDLE>(track(new ScHandle {ScHandle::Manager, dwDesiredAccess, QString()}));
}

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
    DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
    LPDWORD lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName, LPCWSTR lpPassword)
{
    if (!handleWithAccess(hSCManager, ScHandle::Manager, SC_MANAGER_CREATE_SERVICE))
        return nullptr;
    CServiceDatabase::Entry e;
    e.name = fromWide(lpServiceName);
    if (!validName(e.name)) {
        fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    const DWORD baseType = dwServiceType & ~DWORD(SERVICE_INTERACTIVE_PROCESS);
    if ((baseType != SERVICE_WIN32_OWN_PROCESS && baseType != SERVICE_WIN32_SHARE_PROCESS)
        || dwStartType > SERVICE_DISABLED || dwErrorControl > 3 || !lpBinaryPathName || !*lpBinaryPathName
        || lpdwTagId) {
        fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    e.account = fromWide(lpServiceStartName);
    if ((dwServiceType & SERVICE_INTERACTIVE_PROCESS) && !e.account.isEmpty()
        && e.account.compare(QLatin1String("LocalSystem"), Qt::CaseInsensitive) != 0) {
        fail(ERROR_INVALID_PARAMETER); // interactive services run as the local system account only
        return nullptr;
    }
    e.displayName = lpDisplayName && *lpDisplayName ? fromWide(lpDisplayName) : e.name;
    e.serviceType = dwServiceType;
    e.startType = dwStartType;
    e.errorControl = dwErrorControl;
    e.binaryPath = fromWide(lpBinaryPathName);
    e.loadOrderGroup = fromWide(lpLoadOrderGroup);
    if (lpDependencies) {
        QStringList deps;
        for (LPCWSTR p = lpDependencies; *p;) {
            const QString d = QString::fromUtf16(p);
            deps << d;
            p += d.size() + 1;
        }
        e.dependencies = deps.join(QLatin1Char('\n'));
    }
    e.passwordGiven = lpPassword && *lpPassword;
    switch (CServiceDatabase::add(e)) {
    case CServiceDatabase::Ok:
        break;
    case CServiceDatabase::Exists:
        fail(ERROR_SERVICE_EXISTS);
        return nullptr;
    case CServiceDatabase::DuplicateDisplayName:
        fail(ERROR_DUPLICATE_SERVICE_NAME);
        return nullptr;
    default:
        fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return reinterpret_cast<SC_HANDLE>(track(new ScHandle {ScHandle::Service, dwDesiredAccess, e.name}));
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess)
{
    if (!scHandle(hSCManager, ScHandle::Manager)) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const QString name = fromWide(lpServiceName);
    if (name.isEmpty()) {
        fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    CServiceDatabase::Entry e;
    switch (CServiceDatabase::find(name, &e)) {
    case CServiceDatabase::Ok:
        break;
    case CServiceDatabase::NotFound:
        fail(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    default:
        fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return reinterpret_cast<SC_HANDLE>(track(new ScHandle {ScHandle::Service, dwDesiredAccess, e.name}));
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject)
{
    ScHandle *h = reinterpret_cast<ScHandle *>(hSCObject);
    {
        QMutexLocker locker(&g_handleLock);
        if (!h || !g_handles.contains(h) || g_eventSources.contains(h))
            return fail(ERROR_INVALID_HANDLE);
        g_handles.remove(h);
    }
    delete h;
    return TRUE;
}

BOOL DeleteService(SC_HANDLE hService)
{
    ScHandle *h = serviceHandle(hService, DELETE);
    if (!h)
        return FALSE;
    switch (CServiceDatabase::remove(h->name)) {
    case CServiceDatabase::Ok:
        return TRUE;
    case CServiceDatabase::NotFound:
        return fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    default:
        return fail(ERROR_ACCESS_DENIED);
    }
}

BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR *lpServiceArgVectors)
{
    ScHandle *h = serviceHandle(hService, SERVICE_START);
    if (!h)
        return FALSE;
    CServiceDatabase::Entry e;
    if (!installedEntry(h, &e))
        return FALSE;
    if (e.startType == SERVICE_DISABLED)
        return fail(ERROR_SERVICE_DISABLED);
    QStringList args;
    for (DWORD i = 0; i < dwNumServiceArgs; ++i) {
        if (!lpServiceArgVectors || !lpServiceArgVectors[i])
            return fail(ERROR_INVALID_PARAMETER);
        args << QString::fromUtf16(lpServiceArgVectors[i]);
    }
    const DWORD rc = CServiceRuntime::start(e.name, e.serviceType, e.binaryPath, args);
    if (rc != ERROR_SUCCESS)
        return fail(rc);
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus)
{
    ScHandle *h = serviceHandle(hService, SERVICE_QUERY_STATUS);
    if (!h)
        return FALSE;
    if (!lpServiceStatus)
        return fail(ERROR_INVALID_PARAMETER);
    currentStatus(h, lpServiceStatus);
    return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus)
{
    ScHandle *h = scHandle(hService, ScHandle::Service);
    if (!h)
        return fail(ERROR_INVALID_HANDLE);
    if (!lpServiceStatus)
        return fail(ERROR_INVALID_PARAMETER);

    DWORD neededAccess = 0;
    DWORD neededAccept = 0;
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
        neededAccess = SERVICE_STOP;
        neededAccept = SERVICE_ACCEPT_STOP;
        break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        neededAccess = SERVICE_PAUSE_CONTINUE;
        neededAccept = SERVICE_ACCEPT_PAUSE_CONTINUE;
        break;
    case SERVICE_CONTROL_INTERROGATE:
        neededAccess = SERVICE_INTERROGATE;
        break;
    case 6: // parameter change
        neededAccess = SERVICE_PAUSE_CONTINUE;
        neededAccept = 0x8;
        break;
    case 7: // network binding changes
    case 8:
    case 9:
    case 10:
        neededAccess = SERVICE_PAUSE_CONTINUE;
        neededAccept = 0x10;
        break;
    default:
        if (dwControl < 128 || dwControl > 255)
            return fail(ERROR_INVALID_PARAMETER); // shutdown and system codes are not for callers
        neededAccess = SERVICE_USER_DEFINED_CONTROL;
    }
    if ((h->access & neededAccess) == 0)
        return fail(ERROR_ACCESS_DENIED);

    currentStatus(h, lpServiceStatus);
    const DWORD state = lpServiceStatus->dwCurrentState;
    if (state == SERVICE_STOPPED)
        return fail(ERROR_SERVICE_NOT_ACTIVE);
    if (neededAccept && (lpServiceStatus->dwControlsAccepted & neededAccept) == 0)
        return fail(ERROR_INVALID_SERVICE_CONTROL);
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
        return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);

    const QByteArray channel = QFile::encodeName(CServiceRuntime::channelPath(h->name));
    sockaddr_un addr;
    if (!CServiceRuntime::channelAddress(channel, &addr))
        return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    const quint32 code = dwControl;
    if (!CServiceRuntime::writeFully(fd, &code, sizeof(code), true)) {
        ::close(fd);
        return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    // The handler runs to its end before the answer comes; the service manager waits 30 s for it.
    char reply[sizeof(quint32) + sizeof(SERVICE_STATUS)];
    size_t got = 0;
    const int timeoutMs = 30000;
    while (got < sizeof(reply)) {
        pollfd p {fd, POLLIN, 0};
        const int n = ::poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return fail(ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        const ssize_t r = ::read(fd, reply + got, sizeof(reply) - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ::close(fd);
            return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL); // the service went away meanwhile
        }
        got += size_t(r);
    }
    ::close(fd);
    quint32 result;
    std::memcpy(&result, reply, sizeof(result));
    std::memcpy(lpServiceStatus, reply + sizeof(result), sizeof(SERVICE_STATUS));
    if (result != ERROR_SUCCESS)
        return fail(result);
    return TRUE;
}

BOOL QueryServiceConfigW(
    SC_HANDLE hService, LPQUERY_SERVICE_CONFIGW lpServiceConfig, DWORD cbBufSize, LPDWORD pcbBytesNeeded)
{
    ScHandle *h = serviceHandle(hService, SERVICE_QUERY_CONFIG);
    if (!h)
        return FALSE;
    if (!pcbBytesNeeded)
        return fail(ERROR_INVALID_PARAMETER);
    CServiceDatabase::Entry e;
    if (!installedEntry(h, &e))
        return FALSE;

    QUERY_SERVICE_CONFIGW config;
    std::memset(&config, 0, sizeof(config));
    config.dwServiceType = e.serviceType;
    config.dwStartType = e.startType;
    config.dwErrorControl = e.errorControl;
    LPBYTE buffer = reinterpret_cast<LPBYTE>(lpServiceConfig);
    Packer packer(cbBufSize >= sizeof(config) ? buffer : nullptr, cbBufSize, DWORD(sizeof(config)));
    config.lpBinaryPathName = packer.add(e.binaryPath);
    config.lpLoadOrderGroup = packer.add(e.loadOrderGroup);
    QString deps = e.dependencies;
    deps.replace(QLatin1Char('\n'), QChar(0));
    config.lpDependencies = packer.add(deps + QChar(0));
    config.lpServiceStartName = packer.add(e.account.isEmpty() ? QStringLiteral("LocalSystem") : e.account);
    config.lpDisplayName = packer.add(e.displayName);
    *pcbBytesNeeded = packer.used();
    if (!packer.fits())
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpServiceConfig, &config, sizeof(config));
    return TRUE;
}

BOOL QueryServiceConfig2W(
    SC_HANDLE hService, DWORD dwInfoLevel, LPBYTE lpBuffer, DWORD cbBufSize, LPDWORD pcbBytesNeeded)
{
    ScHandle *h = serviceHandle(hService, SERVICE_QUERY_CONFIG);
    if (!h)
        return FALSE;
    if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION)
        return fail(ERROR_INVALID_LEVEL);
    if (!pcbBytesNeeded)
        return fail(ERROR_INVALID_PARAMETER);
    CServiceDatabase::Entry e;
    if (!installedEntry(h, &e))
        return FALSE;
    SERVICE_DESCRIPTIONW desc {nullptr};
    Packer packer(cbBufSize >= sizeof(desc) ? lpBuffer : nullptr, cbBufSize, DWORD(sizeof(desc)));
    if (e.hasDescription)
        desc.lpDescription = packer.add(e.description);
    *pcbBytesNeeded = packer.used();
    if (!packer.fits())
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpBuffer, &desc, sizeof(desc));
    return TRUE;
}

BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo)
{
    ScHandle *h = serviceHandle(hService, SERVICE_CHANGE_CONFIG);
    if (!h)
        return FALSE;
    if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION)
        return fail(ERROR_INVALID_LEVEL);
    if (!lpInfo)
        return fail(ERROR_INVALID_PARAMETER);
    const SERVICE_DESCRIPTIONW *desc = static_cast<const SERVICE_DESCRIPTIONW *>(lpInfo);
    if (!desc->lpDescription)
        return TRUE; // no change
    const QString text = QString::fromUtf16(desc->lpDescription);
    switch (CServiceDatabase::setDescription(h->name, !text.isEmpty(), text)) {
    case CServiceDatabase::Ok:
        return TRUE;
    case CServiceDatabase::NotFound:
        return fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    default:
        return fail(ERROR_ACCESS_DENIED);
    }
}

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW *lpServiceStartTable)
{
    return CServiceDispatcher::run(lpServiceStartTable);
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR lpServiceName, LPHANDLER_FUNCTION lpHandlerProc)
{
    return CServiceDispatcher::registerHandler(lpServiceName, lpHandlerProc);
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus)
{
    return CServiceDispatcher::setStatus(hServiceStatus, lpServiceStatus);
}

HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName)
{
    if (!isLocalMachine(lpUNCServerName)) {
        fail(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (!lpSourceName) {
        fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    EventSource *s = new EventSource {QString::fromUtf16(lpSourceName)};
    QMutexLocker locker(&g_handleLock);
    g_handles.insert(s);
    g_eventSources.insert(s);
    return s;
}

BOOL DeregisterEventSource(HANDLE hEventLog)
{
    EventSource *s = static_cast<EventSource *>(hEventLog);
    {
        QMutexLocker locker(&g_handleLock);
        if (!s || !g_eventSources.contains(s))
            return fail(ERROR_INVALID_HANDLE);
        g_eventSources.remove(s);
        g_handles.remove(s);
    }
    delete s;
    return TRUE;
}

BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid, WORD wNumStrings,
    DWORD dwDataSize, LPCWSTR *lpStrings, LPVOID lpRawData)
{
    Q_UNUSED(lpUserSid);
    QString source;
    {
        QMutexLocker locker(&g_handleLock);
        EventSource *s = static_cast<EventSource *>(hEventLog);
        if (!s || !g_eventSources.contains(s))
            return fail(ERROR_INVALID_HANDLE);
        source = s->source;
    }
    if ((wNumStrings && !lpStrings) || (dwDataSize && !lpRawData))
        return fail(ERROR_INVALID_PARAMETER);
    QStringList strings;
    for (WORD i = 0; i < wNumStrings; ++i)
        strings << fromWide(lpStrings[i]);
    const QByteArray data
        = dwDataSize ? QByteArray(static_cast<const char *>(lpRawData), int(dwDataSize)) : QByteArray();
    if (!CEventLog::append(source, wType, wCategory, dwEventID, strings, data))
        return fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

} // extern "C"
