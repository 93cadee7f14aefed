#pragma once

#include "winsvc.h"

#include <QString>
#include <QStringList>

#include <sys/un.h>

// Run-time side of the service manager, shared by the controlling and the service processes: the
// per-service status file (last status the service reported, with its process id), the control
// socket path, process liveness, and starting a service process detached in a session of its own.
class CServiceRuntime
{
public:
    // Environment handed to a started service process (read and cleared by its dispatcher).
    static const char *const envService;
    static const char *const envChannel;
    static const char *const envStatus;
    static const char *const envArgs;

    static QString runDir();
    static QString statusPath(const QString &serviceName);
    static QString channelPath(const QString &serviceName);
    static QString outputPath(const QString &serviceName);

    // The status as the service manager reports it: a missing record or a dead process reads as
    // SERVICE_STOPPED. pid receives the recorded process id (0 if none).
    static void query(const QString &statusFile, DWORD serviceType, SERVICE_STATUS *status, qint64 *pid = nullptr);

    // Writes a status record for process pid (identified also by its start time). The caller holds
    // no lock; this takes the status file's lock itself unless locked is true.
    static bool writeStatus(const QString &statusFile, qint64 pid, const QByteArray &startTime,
        const SERVICE_STATUS &status, bool locked = false);

    static QByteArray processStartTime(qint64 pid);
    static bool processAlive(qint64 pid, const QByteArray &startTime);

    // Starts binaryPath detached (own session, outlives the caller) for serviceName with the start
    // arguments. Returns ERROR_SUCCESS or the error to report.
    static DWORD start(
        const QString &serviceName, DWORD serviceType, const QString &binaryPath, const QStringList &arguments);

    // Whole-buffer reads and writes on a pipe or socket, retrying after signals; false at end of
    // file or on error. Async-signal-safe: the starter uses them between fork and exec. On a socket
    // the write does not raise SIGPIPE, so a peer that went away is an error, not a signal.
    static bool readFully(int fd, void *buf, size_t len);
    static bool writeFully(int fd, const void *buf, size_t len, bool socket = false);

    // The control socket's address at path; false if the path does not fit in it.
    static bool channelAddress(const QByteArray &path, sockaddr_un *addr);

    static QByteArray encodeArguments(const QStringList &arguments);
    static QStringList decodeArguments(const QByteArray &encoded);
};
