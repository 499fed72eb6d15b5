/*
 * Spooler control: against Wine's real "Spooler" service, and against a
 * service manager replaced inside this executable for the waits that the
 * real service never shows (stalled checkpoints, long wait hints).
 */
#include <memory>
#include "harness.h"

namespace {

/* ---- the real service ---------------------------------------------------- */

/* The spooler's current state as the service manager reports it (0 when unknown). */
DWORD SpoolerState()
{
    DWORD state = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, "spooler", SERVICE_ALL_ACCESS) : NULL;
    SERVICE_STATUS status;
    if (service && QueryServiceStatus(service, &status)) state = status.dwCurrentState;
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return state;
}

/* Brings the spooler into the running or stopped state with plain service calls. */
void PutSpooler(DWORD wanted)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, "spooler", SERVICE_ALL_ACCESS) : NULL;
    ASSERT_TRUE(service != NULL) << "no spooler service on the test machine";
    SERVICE_STATUS status;
    if (SpoolerState() != wanted) {
        if (wanted == SERVICE_RUNNING) StartServiceA(service, 0, NULL);
        else ControlService(service, SERVICE_CONTROL_STOP, &status);
    }
    for (int i = 0; i < 300 && SpoolerState() != wanted; i++) Sleep(100);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    ASSERT_EQ(wanted, SpoolerState());
}

/* Calls seen by the recording wrappers around the real functions. */
struct RealCalls {
    std::vector<DWORD> sleeps;
    int starts = 0, managerOpens = 0;
    std::vector<BOOL> controlResults;
    std::vector<DWORD> controlErrors, controlStates;
} Real;

void *RealSleep, *RealControlService, *RealStartServiceA;

void WINAPI RecordSleep(DWORD ms)
{
    Real.sleeps.push_back(ms);
    ((void(WINAPI *)(DWORD))RealSleep)(ms);
}

BOOL WINAPI RecordControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS *status)
{
    BOOL result = ((BOOL(WINAPI *)(SC_HANDLE, DWORD, SERVICE_STATUS *))RealControlService)(service, control, status);
    DWORD error = GetLastError();
    Real.controlResults.push_back(result);
    Real.controlErrors.push_back(result ? 0 : error);
    Real.controlStates.push_back(status->dwCurrentState);
    SetLastError(error);
    return result;
}

BOOL WINAPI RecordStartService(SC_HANDLE service, DWORD count, LPCSTR *arguments)
{
    Real.starts++;
    return ((BOOL(WINAPI *)(SC_HANDLE, DWORD, LPCSTR *))RealStartServiceA)(service, count, arguments);
}

SC_HANDLE WINAPI RefuseManager(LPCSTR, LPCSTR, DWORD)
{
    Real.managerOpens++;
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

/* Runs against the real service with recording wrappers; puts the spooler back
 * into the state it had before. */
class RealSpooler : public ::testing::Test {
protected:
    DWORD before = 0;
    std::vector<std::unique_ptr<ImportPatch>> patches;

    void SetUp() override
    {
        ResetProgramState("winxp");
        before = SpoolerState();
        ASSERT_TRUE(before == SERVICE_RUNNING || before == SERVICE_STOPPED) << "state " << before;
        Real = RealCalls();
        patches.emplace_back(new ImportPatch("KERNEL32.dll", "Sleep", (void *)RecordSleep));
        RealSleep = patches.back()->previous;
        patches.emplace_back(new ImportPatch("ADVAPI32.dll", "ControlService", (void *)RecordControlService));
        RealControlService = patches.back()->previous;
        patches.emplace_back(new ImportPatch("ADVAPI32.dll", "StartServiceA", (void *)RecordStartService));
        RealStartServiceA = patches.back()->previous;
    }
    void TearDown() override
    {
        patches.clear();
        PutSpooler(before);
    }
};

TEST_F(RealSpooler, StopsARunningSpooler)
{
    PutSpooler(SERVICE_RUNNING);
    Real = RealCalls();
    EXPECT_EQ(1, StopSpooler());
    EXPECT_EQ((DWORD)SERVICE_STOPPED, SpoolerState());
    ASSERT_EQ(1u, Real.controlResults.size());
    EXPECT_TRUE(Real.controlResults[0]);
}

TEST_F(RealSpooler, StoppingAStoppedSpoolerFailsAtOnce)
{
    PutSpooler(SERVICE_STOPPED);
    Real = RealCalls();
    EXPECT_EQ(0, StopSpooler());
    ASSERT_EQ(1u, Real.controlResults.size());
    EXPECT_FALSE(Real.controlResults[0]);
    EXPECT_EQ((DWORD)ERROR_SERVICE_NOT_ACTIVE, Real.controlErrors[0]);
    EXPECT_EQ((DWORD)SERVICE_STOPPED, Real.controlStates[0]);
    EXPECT_TRUE(Real.sleeps.empty());
    EXPECT_EQ((DWORD)SERVICE_STOPPED, SpoolerState());
}

TEST_F(RealSpooler, StartsAStoppedSpooler)
{
    PutSpooler(SERVICE_STOPPED);
    Real = RealCalls();
    EXPECT_EQ(1, StartSpooler());
    EXPECT_EQ(1, Real.starts);
    EXPECT_EQ((DWORD)SERVICE_RUNNING, SpoolerState());
}

TEST_F(RealSpooler, StartingARunningSpoolerOnlyInterrogates)
{
    PutSpooler(SERVICE_RUNNING);
    Real = RealCalls();
    EXPECT_EQ(1, StartSpooler());
    EXPECT_EQ(0, Real.starts);
    ASSERT_EQ(1u, Real.controlStates.size());
    EXPECT_EQ((DWORD)SERVICE_RUNNING, Real.controlStates[0]);
    EXPECT_TRUE(Real.sleeps.empty());
    EXPECT_EQ((DWORD)SERVICE_RUNNING, SpoolerState());
}

TEST(SpoolerFamilies, OnlyTheNtFamilyOpensTheServiceManager)
{
    ImportPatch refuse("ADVAPI32.dll", "OpenSCManagerA", (void *)RefuseManager);
    for (const char *family : {"win98", "winme", ""}) {
        ResetProgramState(family);
        Real = RealCalls();
        EXPECT_EQ(0, StopSpooler()) << family;
        EXPECT_EQ(0, StartSpooler()) << family;
        EXPECT_EQ(0, Real.managerOpens) << family;
    }
    /* The same replacement is reached on the NT family, where a refused manager gives 0. */
    for (const char *family : {"win2k", "winxp"}) {
        ResetProgramState(family);
        Real = RealCalls();
        EXPECT_EQ(0, StopSpooler()) << family;
        EXPECT_EQ(0, StartSpooler()) << family;
        EXPECT_EQ(2, Real.managerOpens) << family;
    }
}

/* ---- a scripted service manager ------------------------------------------ */

SC_HANDLE const FakeManager = (SC_HANDLE)(INT_PTR)0x5100;
SC_HANDLE const FakeService = (SC_HANDLE)(INT_PTR)0x5200;

/* What the scripted service manager answers, and what it was asked. */
struct Script {
    bool managerOpens = true, serviceOpens = true;
    BOOL controlSucceeds = TRUE;
    DWORD controlError = 0;
    bool controlReports = true;
    SERVICE_STATUS controlStatus = {};
    BOOL startSucceeds = TRUE;
    std::vector<SERVICE_STATUS> queries;   /* answers of QueryServiceStatus, in order */
    size_t queried = 0;
    std::vector<DWORD> sleeps, controls;
    int starts = 0;
    std::vector<SC_HANDLE> closed;
} Fake;

SERVICE_STATUS Status(DWORD state, DWORD checkpoint, DWORD waitHint)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwCheckPoint = checkpoint;
    status.dwWaitHint = waitHint;
    return status;
}

SC_HANDLE WINAPI FakeOpenManager(LPCSTR machine, LPCSTR database, DWORD access)
{
    EXPECT_EQ(NULL, machine);
    EXPECT_EQ(NULL, database);
    EXPECT_EQ((DWORD)SC_MANAGER_ALL_ACCESS, access);
    return Fake.managerOpens ? FakeManager : NULL;
}

SC_HANDLE WINAPI FakeOpenService(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    EXPECT_EQ(FakeManager, manager);
    EXPECT_STRCASEEQ("spooler", name);
    EXPECT_EQ((DWORD)SERVICE_ALL_ACCESS, access);
    return Fake.serviceOpens ? FakeService : NULL;
}

BOOL WINAPI FakeControl(SC_HANDLE service, DWORD control, SERVICE_STATUS *status)
{
    EXPECT_EQ(FakeService, service);
    Fake.controls.push_back(control);
    if (Fake.controlReports) *status = Fake.controlStatus;
    SetLastError(Fake.controlError);
    return Fake.controlSucceeds;
}

BOOL WINAPI FakeQuery(SC_HANDLE service, SERVICE_STATUS *status)
{
    EXPECT_EQ(FakeService, service);
    if (Fake.queried >= Fake.queries.size()) {
        ADD_FAILURE() << "more status queries than scripted";
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *status = Fake.queries[Fake.queried++];
    return TRUE;
}

BOOL WINAPI FailQuery(SC_HANDLE, SERVICE_STATUS *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI FakeStart(SC_HANDLE service, DWORD count, LPCSTR *arguments)
{
    EXPECT_EQ(FakeService, service);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(NULL, arguments);
    Fake.starts++;
    if (!Fake.startSucceeds) SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return Fake.startSucceeds;
}

BOOL WINAPI FakeClose(SC_HANDLE handle)
{
    Fake.closed.push_back(handle);
    return TRUE;
}

void WINAPI FakeSleep(DWORD ms)
{
    Fake.sleeps.push_back(ms);
}

/* Replaces the service manager functions and Sleep inside this executable. */
class ScriptedSpooler : public ::testing::Test {
protected:
    std::vector<std::unique_ptr<ImportPatch>> patches;
    std::vector<SC_HANDLE> both = {FakeService, FakeManager};

    void SetUp() override
    {
        ResetProgramState("winxp");
        Fake = Script();
        const struct { const char *dll, *function; void *replacement; } replaced[] = {
            {"ADVAPI32.dll", "OpenSCManagerA", (void *)FakeOpenManager},
            {"ADVAPI32.dll", "OpenServiceA", (void *)FakeOpenService},
            {"ADVAPI32.dll", "ControlService", (void *)FakeControl},
            {"ADVAPI32.dll", "QueryServiceStatus", (void *)FakeQuery},
            {"ADVAPI32.dll", "StartServiceA", (void *)FakeStart},
            {"ADVAPI32.dll", "CloseServiceHandle", (void *)FakeClose},
            {"KERNEL32.dll", "Sleep", (void *)FakeSleep},
        };
        for (const auto &r : replaced) patches.emplace_back(new ImportPatch(r.dll, r.function, r.replacement));
    }
    void TearDown() override
    {
        patches.clear();
        EXPECT_EQ(Fake.queries.size(), Fake.queried) << "scripted answers left over";
    }
};

TEST_F(ScriptedSpooler, StopSleepsEachWaitHintInFullWhileTheCheckpointAdvances)
{
    Fake.controlStatus = Status(SERVICE_STOP_PENDING, 1, 600000);
    Fake.queries = {Status(SERVICE_STOP_PENDING, 2, 45000), Status(SERVICE_STOP_PENDING, 3, 7),
                    Status(SERVICE_STOPPED, 0, 0)};
    EXPECT_EQ(1, StopSpooler());
    EXPECT_EQ(std::vector<DWORD>({SERVICE_CONTROL_STOP}), Fake.controls);
    EXPECT_EQ(std::vector<DWORD>({600000, 45000, 7}), Fake.sleeps);
    EXPECT_EQ(both, Fake.closed);
}

TEST_F(ScriptedSpooler, StopEndsAfterOneSleepWhenTheCheckpointStalls)
{
    Fake.controlStatus = Status(SERVICE_STOP_PENDING, 3, 7000);
    Fake.queries = {Status(SERVICE_STOP_PENDING, 3, 7000)};
    EXPECT_EQ(0, StopSpooler());
    EXPECT_EQ(std::vector<DWORD>({7000}), Fake.sleeps);
    EXPECT_EQ(both, Fake.closed);

    /* A stop that completes without moving the checkpoint still counts. */
    Fake = Script();
    Fake.controlStatus = Status(SERVICE_STOP_PENDING, 0, 10000);
    Fake.queries = {Status(SERVICE_STOPPED, 0, 0)};
    EXPECT_EQ(1, StopSpooler());
    EXPECT_EQ(std::vector<DWORD>({10000}), Fake.sleeps);
}

TEST_F(ScriptedSpooler, StopFailures)
{
    /* Refused without a status: nothing more is asked. */
    Fake.controlSucceeds = FALSE;
    Fake.controlError = ERROR_ACCESS_DENIED;
    Fake.controlReports = false;
    Fake.controlStatus = Status(SERVICE_RUNNING, 0, 0);
    EXPECT_EQ(0, StopSpooler());
    EXPECT_TRUE(Fake.sleeps.empty());
    EXPECT_EQ(both, Fake.closed);

    /* Refused with a status that is still pending: the wait runs, the result stays 0. */
    Fake = Script();
    Fake.controlSucceeds = FALSE;
    Fake.controlError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    Fake.controlStatus = Status(SERVICE_STOP_PENDING, 1, 500);
    Fake.queries = {Status(SERVICE_STOPPED, 0, 0)};
    EXPECT_EQ(0, StopSpooler());
    EXPECT_EQ(std::vector<DWORD>({500}), Fake.sleeps);

    /* No service: the manager is closed again. */
    Fake = Script();
    Fake.serviceOpens = false;
    EXPECT_EQ(0, StopSpooler());
    EXPECT_EQ(std::vector<SC_HANDLE>({FakeManager}), Fake.closed);
    EXPECT_TRUE(Fake.controls.empty());

    /* No manager: nothing to close. */
    Fake = Script();
    Fake.managerOpens = false;
    EXPECT_EQ(0, StopSpooler());
    EXPECT_TRUE(Fake.closed.empty());
}

TEST_F(ScriptedSpooler, StartWaitsOnTheInterrogatedStatus)
{
    Fake.queries = {Status(SERVICE_STOPPED, 0, 0), Status(SERVICE_START_PENDING, 2, 3000),
                    Status(SERVICE_RUNNING, 0, 0)};
    Fake.controlSucceeds = FALSE;
    Fake.controlError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    Fake.controlStatus = Status(SERVICE_START_PENDING, 1, 2000);
    EXPECT_EQ(1, StartSpooler());
    EXPECT_EQ(1, Fake.starts);
    EXPECT_EQ(std::vector<DWORD>({SERVICE_CONTROL_INTERROGATE}), Fake.controls);
    EXPECT_EQ(std::vector<DWORD>({2000, 3000}), Fake.sleeps);
    EXPECT_EQ(both, Fake.closed);
}

TEST_F(ScriptedSpooler, StartEndsAfterOneSleepWhenTheCheckpointStalls)
{
    Fake.queries = {Status(SERVICE_STOPPED, 0, 0), Status(SERVICE_START_PENDING, 5, 1500)};
    Fake.controlStatus = Status(SERVICE_START_PENDING, 5, 1500);
    EXPECT_EQ(0, StartSpooler());
    EXPECT_EQ(std::vector<DWORD>({1500}), Fake.sleeps);
}

TEST_F(ScriptedSpooler, StartFailures)
{
    /* The start fails and the interrogation reports nothing: the first status stands. */
    Fake.queries = {Status(SERVICE_STOPPED, 0, 0), Status(SERVICE_STOPPED, 0, 0)};
    Fake.startSucceeds = FALSE;
    Fake.controlSucceeds = FALSE;
    Fake.controlError = ERROR_INVALID_HANDLE;
    Fake.controlReports = false;
    Fake.controlStatus = Status(SERVICE_RUNNING, 0, 0);
    EXPECT_EQ(0, StartSpooler());
    EXPECT_EQ(std::vector<DWORD>({0}), Fake.sleeps);

    /* A failed start stays a failure even when the service then runs. */
    Fake = Script();
    Fake.queries = {Status(SERVICE_STOPPED, 0, 0)};
    Fake.startSucceeds = FALSE;
    Fake.controlStatus = Status(SERVICE_RUNNING, 0, 0);
    EXPECT_EQ(0, StartSpooler());
    EXPECT_TRUE(Fake.sleeps.empty());

    /* The status cannot be read: no start, no control. */
    Fake = Script();
    ImportPatch refuseQuery("ADVAPI32.dll", "QueryServiceStatus", (void *)FailQuery);
    EXPECT_EQ(0, StartSpooler());
    EXPECT_EQ(0, Fake.starts);
    EXPECT_TRUE(Fake.controls.empty());
    EXPECT_EQ(both, Fake.closed);

    /* No service: the manager is closed again. */
    Fake = Script();
    Fake.serviceOpens = false;
    EXPECT_EQ(0, StartSpooler());
    EXPECT_EQ(std::vector<SC_HANDLE>({FakeManager}), Fake.closed);
}

}  // namespace
