#include "qtservicesysprivate.h"

#include "qtservicebaseprivate.h"
#include "qtservicecontrollerhandler.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstring>

QtServiceSysPrivate *QtServiceSysPrivate::instance = nullptr;

QtServiceSysPrivate::QtServiceSysPrivate()
{
    std::memset(&status, 0, sizeof(status));
    instance = this;
}

QtServiceSysPrivate::~QtServiceSysPrivate()
{
    if (instance == this)
        instance = nullptr;
}

DWORD QtServiceSysPrivate::acceptedControls(QtServiceBase::ServiceFlags flags)
{
    DWORD controls = 0;
    if (!(flags & QtServiceBase::CannotBeStopped))
        controls |= SERVICE_ACCEPT_STOP;
    if (flags & QtServiceBase::CanBeSuspended)
        controls |= SERVICE_ACCEPT_PAUSE_CONTINUE;
    return controls;
}

void QtServiceSysPrivate::reportLocked()
{
    if (pSetServiceStatus && serviceStatus)
        pSetServiceStatus(serviceStatus, &status);
}

void QtServiceSysPrivate::setStatus(DWORD state)
{
    if (!loadServiceApi())
        return;
    QMutexLocker locker(&statusLock);
    status.dwCurrentState = state;
    reportLocked();
}

void QtServiceSysPrivate::setServiceFlags(QtServiceBase::ServiceFlags flags)
{
    if (!loadServiceApi())
        return;
    QMutexLocker locker(&statusLock);
    status.dwControlsAccepted = acceptedControls(flags);
    reportLocked();
}

void QtServiceSysPrivate::serviceMain(DWORD argc, LPWSTR *argv)
{
    QtServiceSysPrivate *d = instance;
    if (!d || !QtServiceBase::instance())
        return;
    for (DWORD i = 0; i < argc; ++i)
        d->serviceArgs.append(QString::fromUtf16(argv[i]));

    d->startSemaphore.release(); // the main thread may now create the application
    d->startSemaphore2.acquire(); // ...and we wait until it has, with its event receiver

    const std::u16string name = QtServiceBase::instance()->serviceName().toStdU16String();
    d->serviceStatus = pRegisterServiceCtrlHandler(name.c_str(), handler);
    if (d->serviceStatus)
        handler(QTSERVICE_STARTUP); // runs the start hook in the main thread
}

void QtServiceSysPrivate::handler(DWORD code)
{
    QtServiceSysPrivate *d = instance;
    if (!d)
        return;

    d->mutex.lock();
    auto post = [d](int type) {
        QCoreApplication::postEvent(d->controllerHandler, new QEvent(QEvent::Type(QEvent::User + type)));
    };
    switch (code) {
    case SERVICE_CONTROL_STOP:
        d->setStatus(SERVICE_STOP_PENDING);
        post(1);
        d->condition.wait(&d->mutex);
        break;
    case SERVICE_CONTROL_PAUSE:
        d->setStatus(SERVICE_PAUSE_PENDING);
        post(2);
        d->condition.wait(&d->mutex);
        d->setStatus(SERVICE_PAUSED);
        break;
    case SERVICE_CONTROL_CONTINUE:
        d->setStatus(SERVICE_CONTINUE_PENDING);
        post(3);
        d->condition.wait(&d->mutex);
        d->setStatus(SERVICE_RUNNING);
        break;
    case QTSERVICE_STARTUP:
        d->setStatus(SERVICE_START_PENDING);
        post(QTSERVICE_STARTUP);
        d->condition.wait(&d->mutex);
        d->setStatus(SERVICE_RUNNING);
        break;
    default:
        if (code >= 128 && code <= 255) {
            post(int(code));
            d->condition.wait(&d->mutex);
        }
        break;
    }
    d->mutex.unlock();

    // Also the whole answer to an interrogation.
    if (pOpenSCManager) {
        QMutexLocker locker(&d->statusLock);
        if (d->status.dwCurrentState != SERVICE_STOPPED)
            d->reportLocked();
    }
}

void QtServiceSysPrivate::handleCustomEvent(QEvent *e)
{
    const int code = int(e->type()) - int(QEvent::User);
    QtServiceBase *service = QtServiceBase::instance();
    if (service) {
        switch (code) {
        case SERVICE_CONTROL_STOP:
            service->stop();
            QCoreApplication::instance()->quit();
            break;
        case SERVICE_CONTROL_PAUSE:
            service->pause();
            break;
        case SERVICE_CONTROL_CONTINUE:
            service->resume();
            break;
        case QTSERVICE_STARTUP:
            service->start();
            break;
        default:
            if (code >= 128 && code <= 255)
                service->processCommand(code - 128);
            break;
        }
    }
    mutex.lock();
    condition.wakeAll();
    mutex.unlock();
}
