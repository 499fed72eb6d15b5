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

/* The longest wait for one change of the spooler's state, and the shortest
   and longest sleep between two queries, in milliseconds. */
#define WaitLimit 120000
#define ShortestSleep 1000
#define LongestSleep 10000

/* Waits while the service moves towards the wanted state, as Microsoft's
   service-control sample does: it sleeps a tenth of the wait hint (1 to 10
   seconds), gives up once the checkpoint has stood still for longer than the
   wait hint, and waits two minutes at most in all, so that a service that
   reports a huge hint or a checkpoint that moves forever cannot freeze the
   removal. The time waited is the sum of the sleeps. Returns result, or 0
   when the service did not reach the wanted state. */
static int WaitForServiceState(SC_HANDLE service, SERVICE_STATUS *status, DWORD wanted, int result)
{
    DWORD checkpoint = status->dwCheckPoint;
    DWORD waited = 0, stalled = 0, step;

    while (status->dwCurrentState != wanted && waited < WaitLimit) {
        step = status->dwWaitHint / 10;
        step = step < ShortestSleep ? ShortestSleep : step > LongestSleep ? LongestSleep : step;
        if (step > WaitLimit - waited)
            step = WaitLimit - waited;
        Sleep(step);
        waited += step;
        if (!QueryServiceStatus(service, status))
            return 0;
        if (status->dwCheckPoint != checkpoint) {
            checkpoint = status->dwCheckPoint;
            stalled = 0;
        } else if ((stalled += step) > status->dwWaitHint) {
            break;
        }
    }
    return status->dwCurrentState == wanted ? result : 0;
}

/* Stops the print spooler; 1 when it ended up stopped by this request. A
   plan reports it instead. */
int StopSpooler(void)
{
    SC_HANDLE manager, service;
    SERVICE_STATUS status;
    int result, succeeded;

    if (!IsNtFamily())
        return 0;
    if (PlanOnly) {
        ReportLine("stop the print spooler (driver files that only the spooler holds then go at once, though "
                   "listed below as in use)");
        return 0;
    }
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

/* Starts the print spooler unless it runs; 1 when it ended up running. A
   plan reports it instead. */
int StartSpooler(void)
{
    SC_HANDLE manager, service;
    SERVICE_STATUS status, fresh;
    int result, succeeded;

    if (!IsNtFamily())
        return 0;
    if (PlanOnly) {
        ReportLine("start the print spooler again");
        return 0;
    }
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
