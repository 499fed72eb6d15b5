/* Print spooler control: the spooler is stopped before the product's driver
   files are removed and started again afterwards (Windows 2000 and XP only;
   the 9x family has no spooler service). */
#include "uninstall.h"

/* Opens the service manager and the "spooler" service; on failure nothing stays open. */
static int OpenSpooler(SC_HANDLE *manager, SC_HANDLE *service)
{
    *service = NULL;
    *manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (*manager == NULL)
        return 0;
    *service = OpenServiceA(*manager, "spooler", SERVICE_ALL_ACCESS);
    if (*service == NULL) {
        CloseServiceHandle(*manager);
        *manager = NULL;
        return 0;
    }
    return 1;
}

static void CloseSpooler(SC_HANDLE manager, SC_HANDLE service)
{
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

/* Sends a control; returns whether the service manager reported a status in *status
   (it does on success and with the three errors that still describe the service). */
static int ControlSpooler(SC_HANDLE service, DWORD control, SERVICE_STATUS *status, int *succeeded)
{
    DWORD error;

    *succeeded = ControlService(service, control, status) ? 1 : 0;
    if (*succeeded)
        return 1;
    error = GetLastError();
    return error == ERROR_INVALID_SERVICE_CONTROL || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
           error == ERROR_SERVICE_NOT_ACTIVE;
}

/* Waits while the service advances its checkpoint, sleeping its whole wait hint each
   time; returns result, or 0 when it stopped advancing short of the wanted state. */
static int WaitForServiceState(SC_HANDLE service, SERVICE_STATUS *status, DWORD wanted, int result)
{
    DWORD checkpoint;

    for (;;) {
        checkpoint = status->dwCheckPoint;
        Sleep(status->dwWaitHint);
        if (!QueryServiceStatus(service, status))
            return 0;
        if (status->dwCheckPoint == checkpoint)
            break;
        if (status->dwCurrentState == wanted)
            return result;
    }
    return status->dwCurrentState == wanted ? result : 0;
}

/* Stops the print spooler; 1 when it ended up stopped by this request. */
int StopSpooler(void)
{
    SC_HANDLE manager, service;
    SERVICE_STATUS status;
    int result, succeeded;

    if (!IsNtFamily())
        return 0;
    if (!OpenSpooler(&manager, &service))
        return 0;
    ZeroMemory(&status, sizeof(status));
    if (!ControlSpooler(service, SERVICE_CONTROL_STOP, &status, &succeeded)) {
        result = 0;
    } else {
        result = succeeded;
        if (status.dwCurrentState != SERVICE_STOPPED)
            result = WaitForServiceState(service, &status, SERVICE_STOPPED, result);
    }
    CloseSpooler(manager, service);
    return result;
}

/* Starts the print spooler unless it runs; 1 when it ended up running. */
int StartSpooler(void)
{
    SC_HANDLE manager, service;
    SERVICE_STATUS status, fresh;
    int result, succeeded;

    if (!IsNtFamily())
        return 0;
    if (!OpenSpooler(&manager, &service))
        return 0;
    result = 0;
    if (QueryServiceStatus(service, &status)) {
        result = 1;
        if (status.dwCurrentState == SERVICE_STOPPED && !StartServiceA(service, 0, NULL))
            result = 0;
        ZeroMemory(&fresh, sizeof(fresh));
        if (ControlSpooler(service, SERVICE_CONTROL_INTERROGATE, &fresh, &succeeded))
            status = fresh;
        if (status.dwCurrentState != SERVICE_RUNNING)
            result = WaitForServiceState(service, &status, SERVICE_RUNNING, result);
    }
    CloseSpooler(manager, service);
    return result;
}
