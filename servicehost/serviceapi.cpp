#include "serviceapi.h"

#include "qtservicebaseprivate.h"

#include <QLibrary>

PRegisterServiceCtrlHandlerW pRegisterServiceCtrlHandler = nullptr;
PSetServiceStatus pSetServiceStatus = nullptr;
PChangeServiceConfig2W pChangeServiceConfig2 = nullptr;
PCloseServiceHandle pCloseServiceHandle = nullptr;
PCreateServiceW pCreateService = nullptr;
POpenSCManagerW pOpenSCManager = nullptr;
PDeleteService pDeleteService = nullptr;
POpenServiceW pOpenService = nullptr;
PQueryServiceStatus pQueryServiceStatus = nullptr;
PStartServiceCtrlDispatcherW pStartServiceCtrlDispatcher = nullptr;
PStartServiceW pStartService = nullptr;
PControlService pControlService = nullptr;
PDeregisterEventSource pDeregisterEventSource = nullptr;
PReportEventW pReportEvent = nullptr;
PRegisterEventSourceW pRegisterEventSource = nullptr;
PQueryServiceConfigW pQueryServiceConfig = nullptr;
PQueryServiceConfig2W pQueryServiceConfig2 = nullptr;

static PGetLastError pGetLastError = nullptr;

bool loadServiceApi()
{
    if (pOpenSCManager)
        return true;

    // The library ships next to the programs; the loader's search path is only the fallback, so an
    // installed directory works as it lies.
    QLibrary library;
    const QString program = QtServiceBasePrivate::filePath();
    const int slash = program.lastIndexOf(QLatin1Char('/'));
    bool loaded = false;
    if (slash >= 0) {
        library.setFileName(program.left(slash + 1) + QStringLiteral("advapi32"));
        loaded = library.load();
    }
    if (!loaded) {
        library.setFileName(QStringLiteral("advapi32"));
        library.load();
    }

    pRegisterServiceCtrlHandler = (PRegisterServiceCtrlHandlerW)library.resolve("RegisterServiceCtrlHandlerW");
    pSetServiceStatus = (PSetServiceStatus)library.resolve("SetServiceStatus");
    pChangeServiceConfig2 = (PChangeServiceConfig2W)library.resolve("ChangeServiceConfig2W");
    pCloseServiceHandle = (PCloseServiceHandle)library.resolve("CloseServiceHandle");
    pCreateService = (PCreateServiceW)library.resolve("CreateServiceW");
    pOpenSCManager = (POpenSCManagerW)library.resolve("OpenSCManagerW");
    pDeleteService = (PDeleteService)library.resolve("DeleteService");
    pOpenService = (POpenServiceW)library.resolve("OpenServiceW");
    pQueryServiceStatus = (PQueryServiceStatus)library.resolve("QueryServiceStatus");
    pStartServiceCtrlDispatcher = (PStartServiceCtrlDispatcherW)library.resolve("StartServiceCtrlDispatcherW");
    pStartService = (PStartServiceW)library.resolve("StartServiceW");
    pControlService = (PControlService)library.resolve("ControlService");
    pDeregisterEventSource = (PDeregisterEventSource)library.resolve("DeregisterEventSource");
    pReportEvent = (PReportEventW)library.resolve("ReportEventW");
    pRegisterEventSource = (PRegisterEventSourceW)library.resolve("RegisterEventSourceW");
    pQueryServiceConfig = (PQueryServiceConfigW)library.resolve("QueryServiceConfigW");
    pQueryServiceConfig2 = (PQueryServiceConfig2W)library.resolve("QueryServiceConfig2W");
    pGetLastError = (PGetLastError)library.resolve("GetLastError");

    return pOpenSCManager != nullptr;
}

DWORD serviceApiLastError()
{
    return pGetLastError ? pGetLastError() : 0;
}
