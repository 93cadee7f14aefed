#pragma once

#include "winsvc.h"

// The service manager and event-log functions, looked up by name in "advapi32" at first use. The
// table is process-wide; the API counts as available when its OpenSCManagerW entry is set.
typedef SERVICE_STATUS_HANDLE (*PRegisterServiceCtrlHandlerW)(LPCWSTR, LPHANDLER_FUNCTION);
typedef BOOL (*PSetServiceStatus)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
typedef BOOL (*PChangeServiceConfig2W)(SC_HANDLE, DWORD, LPVOID);
typedef BOOL (*PCloseServiceHandle)(SC_HANDLE);
typedef SC_HANDLE (*PCreateServiceW)(
    SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD, DWORD, LPCWSTR, LPCWSTR, LPDWORD, LPCWSTR, LPCWSTR, LPCWSTR);
typedef SC_HANDLE (*POpenSCManagerW)(LPCWSTR, LPCWSTR, DWORD);
typedef BOOL (*PDeleteService)(SC_HANDLE);
typedef SC_HANDLE (*POpenServiceW)(SC_HANDLE, LPCWSTR, DWORD);
typedef BOOL (*PQueryServiceStatus)(SC_HANDLE, LPSERVICE_STATUS);
typedef BOOL (*PStartServiceCtrlDispatcherW)(const SERVICE_TABLE_ENTRYW *);
typedef BOOL (*PStartServiceW)(SC_HANDLE, DWORD, LPCWSTR *);
typedef BOOL (*PControlService)(SC_HANDLE, DWORD, LPSERVICE_STATUS);
typedef BOOL (*PDeregisterEventSource)(HANDLE);
typedef BOOL (*PReportEventW)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR *, LPVOID);
typedef HANDLE (*PRegisterEventSourceW)(LPCWSTR, LPCWSTR);
typedef BOOL (*PQueryServiceConfigW)(SC_HANDLE, LPQUERY_SERVICE_CONFIGW, DWORD, LPDWORD);
typedef BOOL (*PQueryServiceConfig2W)(SC_HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
typedef DWORD (*PGetLastError)();

extern PRegisterServiceCtrlHandlerW pRegisterServiceCtrlHandler;
extern PSetServiceStatus pSetServiceStatus;
extern PChangeServiceConfig2W pChangeServiceConfig2;
extern PCloseServiceHandle pCloseServiceHandle;
extern PCreateServiceW pCreateService;
extern POpenSCManagerW pOpenSCManager;
extern PDeleteService pDeleteService;
extern POpenServiceW pOpenService;
extern PQueryServiceStatus pQueryServiceStatus;
extern PStartServiceCtrlDispatcherW pStartServiceCtrlDispatcher;
extern PStartServiceW pStartService;
extern PControlService pControlService;
extern PDeregisterEventSource pDeregisterEventSource;
extern PReportEventW pReportEvent;
extern PRegisterEventSourceW pRegisterEventSource;
extern PQueryServiceConfigW pQueryServiceConfig;
extern PQueryServiceConfig2W pQueryServiceConfig2;

bool loadServiceApi();

// The last error of the service API in this thread (0 when the API is not bound).
DWORD serviceApiLastError();
