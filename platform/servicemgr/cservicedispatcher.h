#pragma once

#include "winsvc.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <string>
#include <vector>

// Service-process side: the dispatcher of a process the service manager started. It serves the
// control socket in the thread that called StartServiceCtrlDispatcherW, calls the registered handler
// there for each request, and records every status the service reports.
class CServiceDispatcher
{
public:
    static BOOL run(const SERVICE_TABLE_ENTRYW *table);
    static SERVICE_STATUS_HANDLE registerHandler(LPCWSTR name, LPHANDLER_FUNCTION handler);
    static BOOL setStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS *status);

private:
    CServiceDispatcher() = default;
    void serve(int listenFd);
    void answer(int fd);

    static CServiceDispatcher *s_current;

    QMutex m_mutex;
    QString m_name;
    QString m_statusPath;
    QByteArray m_startTime;
    qint64 m_pid = 0;
    LPHANDLER_FUNCTION m_handler = nullptr;
    SERVICE_STATUS m_status {};
    int m_wakeFd = -1;
    std::vector<std::u16string> m_args;
    std::vector<LPWSTR> m_argv;
};
