#include "cserviceruntime.h"

#include "catomicfile.h"
#include "cfileguard.h"
#include "cplatformstate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

const char *const CServiceRuntime::envService = "BRAMIX_SCM_SERVICE";
const char *const CServiceRuntime::envChannel = "BRAMIX_SCM_CHANNEL";
const char *const CServiceRuntime::envStatus = "BRAMIX_SCM_STATUS";
const char *const CServiceRuntime::envArgs = "BRAMIX_SCM_ARGS";

namespace {

// Service names compare without case; the file names must too. A digest keeps the socket path
// short (sun_path holds 108 bytes) whatever the name.
QString idFor(const QString &serviceName)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(serviceName.toCaseFolded().toUtf8(), QCryptographicHash::Sha1).toHex().left(20));
}

} // namespace

bool CServiceRuntime::readFully(int fd, void *buf, size_t len)
{
    char *p = static_cast<char *>(buf);
    while (len > 0) {
        ssize_t n = ::read(fd, p, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= size_t(n);
    }
    return true;
}

bool CServiceRuntime::writeFully(int fd, const void *buf, size_t len, bool socket)
{
    const char *p = static_cast<const char *>(buf);
    while (len > 0) {
        ssize_t n = socket ? ::send(fd, p, len, MSG_NOSIGNAL) : ::write(fd, p, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= size_t(n);
    }
    return true;
}

bool CServiceRuntime::channelAddress(const QByteArray &path, sockaddr_un *addr)
{
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(addr->sun_path))
        return false;
    std::memcpy(addr->sun_path, path.constData(), size_t(path.size()));
    return true;
}

QString CServiceRuntime::runDir()
{
    const QString dir = CPlatformState::filePath(QStringLiteral("services"));
    QDir().mkpath(dir);
    return dir;
}

QString CServiceRuntime::statusPath(const QString &serviceName)
{
    return runDir() + QLatin1Char('/') + idFor(serviceName) + QStringLiteral(".status");
}

QString CServiceRuntime::channelPath(const QString &serviceName)
{
    return runDir() + QLatin1Char('/') + idFor(serviceName) + QStringLiteral(".sock");
}

QString CServiceRuntime::outputPath(const QString &serviceName)
{
    return runDir() + QLatin1Char('/') + idFor(serviceName) + QStringLiteral(".out");
}

QByteArray CServiceRuntime::processStartTime(qint64 pid)
{
    if (pid <= 0)
        return QByteArray();
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray stat = f.readAll();
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return QByteArray();
    // Fields after the command name: state is field 3, the start time field 22.
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 20)
        return QByteArray();
    const char state = fields.at(0).isEmpty() ? '?' : fields.at(0).at(0);
    if (state == 'Z' || state == 'X')
        return QByteArray(); // exited, only not yet reaped
    return fields.at(19);
}

bool CServiceRuntime::processAlive(qint64 pid, const QByteArray &startTime)
{
    const QByteArray now = processStartTime(pid);
    return !now.isEmpty() && now == startTime;
}

void CServiceRuntime::query(const QString &statusFile, DWORD serviceType, SERVICE_STATUS *status, qint64 *pid)
{
    std::memset(status, 0, sizeof(*status));
    status->dwServiceType = serviceType;
    status->dwCurrentState = SERVICE_STOPPED;
    if (pid)
        *pid = 0;
    QFile f(statusFile);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    if (o.isEmpty())
        return;
    const qint64 recordedPid = qint64(o.value(QStringLiteral("pid")).toDouble());
    const QByteArray startTime = o.value(QStringLiteral("startTime")).toString().toLatin1();
    if (pid)
        *pid = recordedPid;
    status->dwServiceType = DWORD(o.value(QStringLiteral("serviceType")).toDouble());
    status->dwCurrentState = DWORD(o.value(QStringLiteral("currentState")).toDouble());
    status->dwControlsAccepted = DWORD(o.value(QStringLiteral("controlsAccepted")).toDouble());
    status->dwWin32ExitCode = DWORD(o.value(QStringLiteral("win32ExitCode")).toDouble());
    status->dwServiceSpecificExitCode = DWORD(o.value(QStringLiteral("serviceSpecificExitCode")).toDouble());
    status->dwCheckPoint = DWORD(o.value(QStringLiteral("checkPoint")).toDouble());
    status->dwWaitHint = DWORD(o.value(QStringLiteral("waitHint")).toDouble());
    if (status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > SERVICE_PAUSED)
        status->dwCurrentState = SERVICE_STOPPED;
    if (status->dwCurrentState != SERVICE_STOPPED && !processAlive(recordedPid, startTime)) {
        // The process ended without reporting it: stopped, with the code Windows uses for that.
        status->dwCurrentState = SERVICE_STOPPED;
        status->dwWin32ExitCode = ERROR_PROCESS_ABORTED;
        status->dwServiceSpecificExitCode = 0;
    }
    if (status->dwCurrentState == SERVICE_STOPPED) {
        status->dwControlsAccepted = 0;
        status->dwCheckPoint = 0;
        status->dwWaitHint = 0;
    }
}

bool CServiceRuntime::writeStatus(
    const QString &statusFile, qint64 pid, const QByteArray &startTime, const SERVICE_STATUS &status, bool locked)
{
    QJsonObject o;
    o.insert(QStringLiteral("pid"), double(pid));
    o.insert(QStringLiteral("startTime"), QString::fromLatin1(startTime));
    o.insert(QStringLiteral("serviceType"), double(status.dwServiceType));
    o.insert(QStringLiteral("currentState"), double(status.dwCurrentState));
    o.insert(QStringLiteral("controlsAccepted"), double(status.dwControlsAccepted));
    o.insert(QStringLiteral("win32ExitCode"), double(status.dwWin32ExitCode));
    o.insert(QStringLiteral("serviceSpecificExitCode"), double(status.dwServiceSpecificExitCode));
    o.insert(QStringLiteral("checkPoint"), double(status.dwCheckPoint));
    o.insert(QStringLiteral("waitHint"), double(status.dwWaitHint));
    const QByteArray data = QJsonDocument(o).toJson(QJsonDocument::Compact);
    if (locked)
        return CAtomicFile::write(statusFile, data);
    CFileGuard guard(statusFile);
    return CAtomicFile::write(statusFile, data);
}

QByteArray CServiceRuntime::encodeArguments(const QStringList &arguments)
{
    QByteArrayList parts;
    for (const QString &a : arguments)
        parts.append(a.toUtf8().toPercentEncoding());
    return QByteArray::number(arguments.size()) + ':' + parts.join(',');
}

QStringList CServiceRuntime::decodeArguments(const QByteArray &encoded)
{
    QStringList result;
    const int colon = encoded.indexOf(':');
    if (colon < 0)
        return result;
    const int count = encoded.left(colon).toInt();
    if (count <= 0)
        return result;
    const QList<QByteArray> parts = encoded.mid(colon + 1).split(',');
    for (int i = 0; i < count && i < parts.size(); ++i)
        result.append(QString::fromUtf8(QByteArray::fromPercentEncoding(parts.at(i))));
    return result;
}

DWORD CServiceRuntime::start(
    const QString &serviceName, DWORD serviceType, const QString &binaryPath, const QStringList &arguments)
{
    const QString statusFile = statusPath(serviceName);
    CFileGuard guard(statusFile);
    if (!guard.isLocked())
        return ERROR_ACCESS_DENIED;

    SERVICE_STATUS current;
    query(statusFile, serviceType, &current);
    if (current.dwCurrentState != SERVICE_STOPPED)
        return ERROR_SERVICE_ALREADY_RUNNING;

    // Everything the children need is prepared here: after fork only async-signal-safe calls.
    const QByteArray path = QFile::encodeName(binaryPath);
    std::vector<QByteArray> envStore;
    auto setEnv
        = [&](const char *name, const QByteArray &value) { envStore.push_back(QByteArray(name) + '=' + value); };
    for (char **e = environ; e && *e; ++e) {
        const QByteArray entry(*e);
        if (entry.startsWith("BRAMIX_SCM_"))
            continue;
        envStore.push_back(entry);
    }
    setEnv(envService, serviceName.toUtf8());
    setEnv(envChannel, QFile::encodeName(channelPath(serviceName)));
    setEnv(envStatus, QFile::encodeName(statusFile));
    setEnv(envArgs, encodeArguments(arguments));
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    QByteArray argv0 = path;
    char *argv[] = {argv0.data(), nullptr};

    const QByteArray outPath = QFile::encodeName(outputPath(serviceName));
    int outFd = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    long maxFd = ::sysconf(_SC_OPEN_MAX);
    if (maxFd < 0 || maxFd > 65536)
        maxFd = 65536;

    int info[2];
    int go[2];
    if (::pipe2(info, O_CLOEXEC) != 0)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (::pipe2(go, O_CLOEXEC) != 0) {
        ::close(info[0]);
        ::close(info[1]);
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(info[0]);
        ::close(go[1]);
        ::setsid();
        const pid_t service = ::fork();
        if (service != 0) {
            qint32 p = service > 0 ? qint32(service) : -1;
            writeFully(info[1], &p, sizeof(p));
            ::_exit(0);
        }
        // The service process: default signal handling, no descriptors of the starter.
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof(dfl));
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int in = nullFd >= 0 ? nullFd : ::open("/dev/null", O_RDWR);
        ::dup2(in, 0);
        ::dup2(outFd >= 0 ? outFd : in, 1);
        ::dup2(outFd >= 0 ? outFd : in, 2);
        // Wait until the starter has recorded this process as starting.
        char c;
        while (::read(go[0], &c, 1) < 0 && errno == EINTR) { }
        ::dup3(info[1], 3, O_CLOEXEC);
        if (syscall(SYS_close_range, 4u, ~0u, 0u) != 0) {
            for (long fd = 4; fd < maxFd; ++fd)
                ::close(int(fd));
        }
        if (::chdir("/") != 0) { }
        ::execve(argv[0], argv, envp.data());
        qint32 err = errno;
        writeFully(3, &err, sizeof(err));
        ::_exit(127);
    }

    ::close(info[1]);
    ::close(go[0]);
    if (outFd >= 0)
        ::close(outFd);
    if (nullFd >= 0)
        ::close(nullFd);
    if (middle < 0) {
        ::close(info[0]);
        ::close(go[1]);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    int wstatus;
    while (::waitpid(middle, &wstatus, 0) < 0 && errno == EINTR) { }
    qint32 servicePid = -1;
    if (!readFully(info[0], &servicePid, sizeof(servicePid)) || servicePid <= 0) {
        ::close(info[0]);
        ::close(go[1]);
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    SERVICE_STATUS pending;
    std::memset(&pending, 0, sizeof(pending));
    pending.dwServiceType = serviceType;
    pending.dwCurrentState = SERVICE_START_PENDING;
    writeStatus(statusFile, servicePid, processStartTime(servicePid), pending, true);
    ::close(go[1]);

    qint32 execError = 0;
    const bool failed = readFully(info[0], &execError, sizeof(execError));
    ::close(info[0]);
    if (!failed)
        return ERROR_SUCCESS;

    SERVICE_STATUS stopped = pending;
    stopped.dwCurrentState = SERVICE_STOPPED;
    const DWORD code
        = (execError == ENOENT || execError == ENOTDIR) ? DWORD(ERROR_FILE_NOT_FOUND) : DWORD(ERROR_ACCESS_DENIED);
    stopped.dwWin32ExitCode = code;
    writeStatus(statusFile, 0, QByteArray(), stopped, true);
    return code;
}
