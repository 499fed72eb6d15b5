/* The spooler's stop and start against a scripted service manager, which
   Wine's own cannot be made to act as: a service reporting a huge wait hint,
   one whose checkpoint moves forever, one stuck in a pending state. Sleep
   runs a virtual clock, so each wait is measured, not sat through. */
#include "test.h"

static const struct {
    const char *what;
    int start;          /* StartSpooler, else StopSpooler */
    DWORD state, hint;  /* before the request; the wait hint while the change is under way */
    unsigned every;     /* queries between two moves of the checkpoint; 0: it stands still */
    ULONGLONG doneAt;   /* virtual milliseconds at which the change is done; 0: never */
    int result;
    ULONGLONG bound;    /* of the virtual time waited */
} Scripts[] = {
    { "huge wait hint", 0, SERVICE_RUNNING, 0xFFFFFFFF, 0, 0, 0, 120000 },
    { "huge wait hint, stopped soon", 0, SERVICE_RUNNING, 0xFFFFFFFF, 0, 1, 1, 10000 },
    { "checkpoint moving forever", 0, SERVICE_RUNNING, 0, 1, 0, 0, 120000 },
    /* Given up once the checkpoint stood still for longer than the hint: the hint and one sleep. */
    { "stuck in STOP_PENDING", 0, SERVICE_RUNNING, 5000, 0, 0, 0, 6000 },
    { "stopping, the checkpoint moving slowly", 0, SERVICE_RUNNING, 1500, 2, 8000, 1, 9000 },
    { "already stopped", 0, SERVICE_STOPPED, 0, 0, 0, 0, 0 },
    { "starting", 1, SERVICE_STOPPED, 2000, 1, 3000, 1, 4000 },
};
static unsigned Current, Queries, Handles, Changing;
static ULONGLONG Clock;

static BOOL Report(SERVICE_STATUS *status)
{
    int start = Scripts[Current].start, done = Changing && Scripts[Current].doneAt && Clock >= Scripts[Current].doneAt;

    status->dwCurrentState = !Changing ? Scripts[Current].state
                             : start   ? (done ? SERVICE_RUNNING : SERVICE_START_PENDING)
                                       : (done ? SERVICE_STOPPED : SERVICE_STOP_PENDING);
    status->dwWaitHint = done ? 0 : Scripts[Current].hint;
    status->dwCheckPoint = done || !Scripts[Current].every ? 0 : Queries / Scripts[Current].every;
    return TRUE;
}

static void WINAPI AdvanceClock(DWORD milliseconds) { Clock += milliseconds; }
/* The manager (machine and database names) or the service (manager and service names). */
static SC_HANDLE WINAPI OpenHandle(const void *, const char *, DWORD) { return (SC_HANDLE)(ULONG_PTR)++Handles; }
static BOOL WINAPI CloseHandleOfManager(SC_HANDLE) { return Handles-- > 0; }
static BOOL WINAPI Start(SC_HANDLE, DWORD, const char **) { return Changing = 1; }
/* An hour of waiting or ten thousand queries fail the query: a wait without a bound fails instead of hanging. */
static BOOL WINAPI Query(SC_HANDLE, SERVICE_STATUS *status)
{
    return ++Queries < 10000 && Clock < 3600000 && Report(status);
}

/* A stop request to a stopped service fails, with its status. */
static BOOL WINAPI Control(SC_HANDLE, DWORD control, SERVICE_STATUS *status)
{
    Changing |= control == SERVICE_CONTROL_STOP && Scripts[Current].state != SERVICE_STOPPED;
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return Report(status) && (Changing || control != SERVICE_CONTROL_STOP);
}

int main(void)
{
    int result, wanted;

    PatchImport("KERNEL32.dll", "Sleep", (void *)AdvanceClock);
    PatchImport("ADVAPI32.dll", "OpenSCManagerA", (void *)OpenHandle);
    PatchImport("ADVAPI32.dll", "OpenServiceA", (void *)OpenHandle);
    PatchImport("ADVAPI32.dll", "CloseServiceHandle", (void *)CloseHandleOfManager);
    PatchImport("ADVAPI32.dll", "ControlService", (void *)Control);
    PatchImport("ADVAPI32.dll", "QueryServiceStatus", (void *)Query);
    PatchImport("ADVAPI32.dll", "StartServiceA", (void *)Start);
    IsWinXP = 1;
    for (Current = 0; Current < ARRAY_SIZE(Scripts); Current++) {
        Clock = Queries = Handles = Changing = 0;
        result = Scripts[Current].start ? StartSpooler() : StopSpooler();
        wanted = Scripts[Current].result;
        /* Between two queries a second at least. */
        ok(result == wanted && Clock <= Scripts[Current].bound && Queries <= Clock / 1000 + 2 && !Handles,
           "%s: result %d after %llu ms and %u queries with %u handles open, wanted %d within %llu ms",
           Scripts[Current].what, result, Clock, Queries, Handles, wanted, Scripts[Current].bound);
    }
    return Done("spooler");
}
