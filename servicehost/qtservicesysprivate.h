#pragma once

#include "qtservicebase.h"
#include "serviceapi.h"

#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QWaitCondition>

class QEvent;
class QtServiceControllerHandler;

// State of one service run under the service manager. The service main function and the control
// handler get no context from the manager; they reach this through instance().
class QtServiceSysPrivate
{
public:
    enum { QTSERVICE_STARTUP = 256 };

    QtServiceSysPrivate();
    ~QtServiceSysPrivate();

    static QtServiceSysPrivate *instance;

    static void serviceMain(DWORD argc, LPWSTR *argv);
    static void handler(DWORD code);

    void setStatus(DWORD state);
    void setServiceFlags(QtServiceBase::ServiceFlags flags);
    static DWORD acceptedControls(QtServiceBase::ServiceFlags flags);
    void handleCustomEvent(QEvent *e);

    SERVICE_STATUS status;
    SERVICE_STATUS_HANDLE serviceStatus = nullptr;
    QStringList serviceArgs;
    QWaitCondition condition;
    QMutex mutex;
    QSemaphore startSemaphore; // dispatcher ready
    QSemaphore startSemaphore2; // application ready
    QtServiceControllerHandler *controllerHandler = nullptr;

private:
    // Serialises changes and reports of the status record between the threads that make them
    // (main thread, dispatcher thread, service main thread); not part of the control hand-over.
    QMutex statusLock;
    void reportLocked();
    friend class QtServiceBasePrivate;
};
