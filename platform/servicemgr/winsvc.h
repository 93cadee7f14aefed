#pragma once

// The service manager and event-log interface of our stand-in libadvapi32: the functions the service
// host looks up by name, with the call shapes it uses, and the values it passes. Wide strings are
// UTF-16 (char16_t). One ABI only (x86-64 / aarch64 Linux), so no calling-convention marks.

#include <cstdint>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t BOOL;
typedef DWORD *LPDWORD;
typedef BYTE *LPBYTE;
typedef void *LPVOID;
typedef void *HANDLE;
typedef void *PSID;
typedef char16_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;

struct SC_HANDLE__;
typedef SC_HANDLE__ *SC_HANDLE;
struct SERVICE_STATUS_HANDLE__;
typedef SERVICE_STATUS_HANDLE__ *SERVICE_STATUS_HANDLE;

struct SERVICE_STATUS
{
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef SERVICE_STATUS *LPSERVICE_STATUS;

typedef void (*LPSERVICE_MAIN_FUNCTIONW)(DWORD dwNumServicesArgs, LPWSTR *lpServiceArgVectors);
typedef void (*LPHANDLER_FUNCTION)(DWORD dwControl);

struct SERVICE_TABLE_ENTRYW
{
    LPWSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
};

struct QUERY_SERVICE_CONFIGW
{
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    LPWSTR lpBinaryPathName;
    LPWSTR lpLoadOrderGroup;
    DWORD dwTagId;
    LPWSTR lpDependencies;
    LPWSTR lpServiceStartName;
    LPWSTR lpDisplayName;
};
typedef QUERY_SERVICE_CONFIGW *LPQUERY_SERVICE_CONFIGW;

struct SERVICE_DESCRIPTIONW
{
    LPWSTR lpDescription;
};

// Results
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Manager access
#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_ALL_ACCESS 0xF003F

// Service access
#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_USER_DEFINED_CONTROL 0x0100
#define DELETE 0x00010000
#define SERVICE_ALL_ACCESS 0xF01FF

// Service types
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020
#define SERVICE_INTERACTIVE_PROCESS 0x00000100

// Start types
#define SERVICE_BOOT_START 0x00000000
#define SERVICE_SYSTEM_START 0x00000001
#define SERVICE_AUTO_START 0x00000002
#define SERVICE_DEMAND_START 0x00000003
#define SERVICE_DISABLED 0x00000004

// Error control
#define SERVICE_ERROR_IGNORE 0x00000000
#define SERVICE_ERROR_NORMAL 0x00000001

// States
#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004
#define SERVICE_CONTINUE_PENDING 0x00000005
#define SERVICE_PAUSE_PENDING 0x00000006
#define SERVICE_PAUSED 0x00000007

// Controls accepted
#define SERVICE_ACCEPT_STOP 0x00000001
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004

// Control codes
#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_PAUSE 0x00000002
#define SERVICE_CONTROL_CONTINUE 0x00000003
#define SERVICE_CONTROL_INTERROGATE 0x00000004
#define SERVICE_CONTROL_SHUTDOWN 0x00000005

// Configuration levels
#define SERVICE_CONFIG_DESCRIPTION 1

// Event types
#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

// Last-error codes the stand-in reports
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_INVALID_LEVEL 124
#define ERROR_INVALID_SERVICE_CONTROL 1052
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053
#define ERROR_SERVICE_NO_THREAD 1054
#define ERROR_SERVICE_ALREADY_RUNNING 1056
#define ERROR_SERVICE_DISABLED 1058
#define ERROR_SERVICE_DOES_NOT_EXIST 1060
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061
#define ERROR_SERVICE_NOT_ACTIVE 1062
#define ERROR_FAILED_SERVICE_CONTROLLER_CONNECT 1063
#define ERROR_DATABASE_DOES_NOT_EXIST 1065
#define ERROR_PROCESS_ABORTED 1067
#define ERROR_SERVICE_EXISTS 1073
#define ERROR_DUPLICATE_SERVICE_NAME 1078
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072
#define ERROR_SERVICE_DEPENDENCY_DELETED 1075
#define RPC_S_SERVER_UNAVAILABLE 1722

#define BRAMIX_ADVAPI_EXPORT __attribute__((visibility("default")))

extern "C" {

// Service manager
BRAMIX_ADVAPI_EXPORT SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess);
BRAMIX_ADVAPI_EXPORT SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
    DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
    LPCWSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
    LPCWSTR lpPassword);
BRAMIX_ADVAPI_EXPORT SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess);
BRAMIX_ADVAPI_EXPORT BOOL DeleteService(SC_HANDLE hService);
BRAMIX_ADVAPI_EXPORT BOOL CloseServiceHandle(SC_HANDLE hSCObject);
BRAMIX_ADVAPI_EXPORT BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR *lpServiceArgVectors);
BRAMIX_ADVAPI_EXPORT BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus);
BRAMIX_ADVAPI_EXPORT BOOL QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus);
BRAMIX_ADVAPI_EXPORT BOOL QueryServiceConfigW(
    SC_HANDLE hService, LPQUERY_SERVICE_CONFIGW lpServiceConfig, DWORD cbBufSize, LPDWORD pcbBytesNeeded);
BRAMIX_ADVAPI_EXPORT BOOL QueryServiceConfig2W(
    SC_HANDLE hService, DWORD dwInfoLevel, LPBYTE lpBuffer, DWORD cbBufSize, LPDWORD pcbBytesNeeded);
BRAMIX_ADVAPI_EXPORT BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo);

// Service process side
BRAMIX_ADVAPI_EXPORT BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW *lpServiceStartTable);
BRAMIX_ADVAPI_EXPORT SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(
    LPCWSTR lpServiceName, LPHANDLER_FUNCTION lpHandlerProc);
BRAMIX_ADVAPI_EXPORT BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus);

// Event log
BRAMIX_ADVAPI_EXPORT HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
BRAMIX_ADVAPI_EXPORT BOOL DeregisterEventSource(HANDLE hEventLog);
BRAMIX_ADVAPI_EXPORT BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
    WORD wNumStrings, DWORD dwDataSize, LPCWSTR *lpStrings, LPVOID lpRawData);

// Per-thread last error of the functions above
BRAMIX_ADVAPI_EXPORT DWORD GetLastError();
BRAMIX_ADVAPI_EXPORT void SetLastError(DWORD dwErrCode);
}
