#include "cservicedispatcher.h"

#include "cserviceruntime.h"
#include "lasterror.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

CServiceDispatcher *CServiceDispatcher::s_current = nullptr;

namespace {

QMutex g_dispatcherLock; // guards s_current's creation

QString fromWide(LPCWSTR s)
{
    return s ? QString::fromUtf16(s) : QString();
}

} // namespace

BOOL CServiceDispatcher::run(const SERVICE_TABLE_ENTRYW *table)
{
    if (!table || !table[0].lpServiceName || !table[0].lpServiceProc) {
        setLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char *service = std::getenv(CServiceRuntime::envService);
    const char *channel = std::getenv(CServiceRuntime::envChannel);
    const char *statusFile = std::getenv(CServiceRuntime::envStatus);
    const char *args = std::getenv(CServiceRuntime::envArgs);
    if (!service || !channel || !statusFile) {
        // Not started by the service manager.
        setLastErrorCode(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return FALSE;
    }

    CServiceDispatcher *d;
    {
        QMutexLocker locker(&g_dispatcherLock);
        if (s_current) {
            setLastErrorCode(ERROR_SERVICE_ALREADY_RUNNING);
            return FALSE;
        }
        d = new CServiceDispatcher; // lives for the rest of the process: handles point at it
        d->m_name = QString::fromUtf8(service);
        d->m_statusPath = QFile::decodeName(statusFile);
        d->m_pid = ::getpid();
        d->m_startTime = CServiceRuntime::processStartTime(d->m_pid);
        const QStringList startArgs = CServiceRuntime::decodeArguments(args ? QByteArray(args) : QByteArray());
        d->m_args.push_back(d->m_name.toStdU16String());
        for (const QString &a : startArgs)
            d->m_args.push_back(a.toStdU16String());
        s_current = d;
    }
    const QByteArray channelPath(channel);
    // Programs this service starts are not services of ours.
    ::unsetenv(CServiceRuntime::envService);
    ::unsetenv(CServiceRuntime::envChannel);
    ::unsetenv(CServiceRuntime::envStatus);
    ::unsetenv(CServiceRuntime::envArgs);

    // The table entry for our service; a process with a single service runs it whatever its name.
    const SERVICE_TABLE_ENTRYW *entry = nullptr;
    int count = 0;
    for (const SERVICE_TABLE_ENTRYW *e = table; e->lpServiceName; ++e, ++count) {
        if (!entry && fromWide(e->lpServiceName).compare(d->m_name, Qt::CaseInsensitive) == 0)
            entry = e;
    }
    if (!entry && count == 1)
        entry = table;
    if (!entry || !entry->lpServiceProc) {
        setLastErrorCode(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }

    int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr;
    if (listenFd < 0 || !CServiceRuntime::channelAddress(channelPath, &addr)) {
        if (listenFd >= 0)
            ::close(listenFd);
        setLastErrorCode(ERROR_SERVICE_NO_THREAD);
        return FALSE;
    }
    ::unlink(channelPath.constData());
    const int bound = ::bind(listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
    // Only the service's own user may send controls (connecting needs write permission). Set on
    // the path after binding: the process umask is shared by all threads and not ours to change.
    if (bound != 0 || ::chmod(channelPath.constData(), 0600) != 0 || ::listen(listenFd, 16) != 0) {
        ::close(listenFd);
        setLastErrorCode(ERROR_SERVICE_NO_THREAD);
        return FALSE;
    }
    d->m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
    struct stat boundInfo;
    const bool haveInfo = ::stat(channelPath.constData(), &boundInfo) == 0;

    for (std::u16string &a : d->m_args)
        d->m_argv.push_back(a.data());
    d->m_argv.push_back(nullptr);
    LPSERVICE_MAIN_FUNCTIONW main = entry->lpServiceProc;
    const DWORD argc = DWORD(d->m_args.size());
    LPWSTR *argv = d->m_argv.data();
    std::thread([main, argc, argv]() { main(argc, argv); }).detach();

    d->serve(listenFd);

    ::close(listenFd);
    // A new run of the service may already have bound the path again: remove only our own socket.
    struct stat nowInfo;
    if (haveInfo && ::stat(channelPath.constData(), &nowInfo) == 0 && nowInfo.st_ino == boundInfo.st_ino
        && nowInfo.st_dev == boundInfo.st_dev)
        ::unlink(channelPath.constData());
    return TRUE;
}

void CServiceDispatcher::serve(int listenFd)
{
    for (;;) {
        {
            QMutexLocker locker(&m_mutex);
            if (m_status.dwCurrentState == SERVICE_STOPPED && m_handler)
                return;
        }
        pollfd fds[2];
        fds[0].fd = listenFd;
        fds[0].events = POLLIN;
        fds[1].fd = m_wakeFd;
        fds[1].events = POLLIN;
        const int n = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, m_wakeFd >= 0 ? -1 : 200);
        if (n < 0 && errno != EINTR)
            return;
        if (n > 0 && m_wakeFd >= 0 && (fds[1].revents & POLLIN)) {
            uint64_t v;
            if (::read(m_wakeFd, &v, sizeof(v)) < 0) { }
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                answer(fd);
                ::close(fd);
            }
        }
    }
}

void CServiceDispatcher::answer(int fd)
{
    timeval tv {5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    quint32 code = 0;
    if (!CServiceRuntime::readFully(fd, &code, sizeof(code)))
        return;
    LPHANDLER_FUNCTION handler;
    {
        QMutexLocker locker(&m_mutex);
        handler = m_handler;
    }
    quint32 result = ERROR_SUCCESS;
    if (handler)
        handler(code); // in this, the dispatcher's thread, as the service manager does
    else
        result = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    SERVICE_STATUS status;
    {
        QMutexLocker locker(&m_mutex);
        status = m_status;
    }
    char reply[sizeof(quint32) + sizeof(SERVICE_STATUS)];
    std::memcpy(reply, &result, sizeof(result));
    std::memcpy(reply + sizeof(result), &status, sizeof(status));
    CServiceRuntime::writeFully(fd, reply, sizeof(reply), true);
}

SERVICE_STATUS_HANDLE CServiceDispatcher::registerHandler(LPCWSTR name, LPHANDLER_FUNCTION handler)
{
    CServiceDispatcher *d;
    {
        QMutexLocker locker(&g_dispatcherLock);
        d = s_current;
    }
    if (!name || !handler) {
        setLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!d || fromWide(name).compare(d->m_name, Qt::CaseInsensitive) != 0) {
        setLastErrorCode(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    QMutexLocker locker(&d->m_mutex);
    d->m_handler = handler;
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(d);
}

BOOL CServiceDispatcher::setStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS *status)
{
    CServiceDispatcher *d;
    {
        QMutexLocker locker(&g_dispatcherLock);
        d = s_current;
    }
    if (!d || handle != reinterpret_cast<SERVICE_STATUS_HANDLE>(d)) {
        setLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!status || status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > SERVICE_PAUSED) {
        setLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The record is written under the lock, so reports reach the file in the order they were made.
    QMutexLocker locker(&d->m_mutex);
    d->m_status = *status;
    CServiceRuntime::writeStatus(d->m_statusPath, d->m_pid, d->m_startTime, *status);
    if (status->dwCurrentState == SERVICE_STOPPED && d->m_wakeFd >= 0) {
        const uint64_t one = 1;
        if (::write(d->m_wakeFd, &one, sizeof(one)) < 0) { }
    }
    return TRUE;
}
