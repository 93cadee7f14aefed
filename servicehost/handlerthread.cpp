#include "handlerthread.h"

#include "qtservicebase.h"
#include "qtservicesysprivate.h"
#include "serviceapi.h"

#include <string>

void HandlerThread::run()
{
    QtServiceBase *service = QtServiceBase::instance();
    std::u16string name = service ? service->serviceName().toStdU16String() : std::u16string();
    SERVICE_TABLE_ENTRYW table[2];
    table[0].lpServiceName = name.data();
    table[0].lpServiceProc = QtServiceSysPrivate::serviceMain;
    table[1].lpServiceName = nullptr;
    table[1].lpServiceProc = nullptr;

    // Returns when the service has stopped, or at once when it fails.
    success = pStartServiceCtrlDispatcher(table) != 0;
    if (success)
        return;
    const DWORD error = serviceApiLastError();
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        console = true; // started as a plain process, not by the service manager
    } else if (service) {
        service->logMessage(
            QStringLiteral("The Service failed to start [%1]").arg(qt_error_string(int(error))), QtServiceBase::Error);
    }
    if (QtServiceSysPrivate::instance)
        QtServiceSysPrivate::instance->startSemaphore.release();
}
