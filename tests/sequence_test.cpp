/* The entry and phase sequence, the platform checks and the restart: in
 * process with the removal phases observed where the sequence calls them,
 * and the real program on every Windows version Wine can play. */
#include <algorithm>
#include "harness.h"
#include "recording.h"
#include "expected_texts.h"
#include "resource.h"

/* The removal phases of this test executable. Each replaces the whole
 * object file that defines it in the program, so that the sequence can be
 * observed calling them; the phases report failure, which must not change
 * the sequence. The other operations of those files are not called here. */
int StopSpooler(void) { Events.push_back("StopSpooler"); return 0; }
int StartSpooler(void) { Events.push_back("StartSpooler"); return 0; }
void RemoveProductFiles(void) { Events.push_back("RemoveProductFiles"); }
int RemoveRegistryEntries(void) { Events.push_back("RemoveRegistryEntries"); return 0; }
int RestoreSharedSettings(void) { Events.push_back("RestoreSharedSettings"); return 0; }
int ResetDefaultPrinterProfile(void) { Events.push_back("ResetDefaultPrinterProfile"); return 0; }
void ScheduleSelfRemoval(void) { Events.push_back("ScheduleSelfRemoval"); }
int SweepCommonFiles(void) { ADD_FAILURE() << "SweepCommonFiles"; return 0; }
int SweepNtFiles(void) { ADD_FAILURE() << "SweepNtFiles"; return 0; }
int Sweep9xFiles(void) { ADD_FAILURE() << "Sweep9xFiles"; return 0; }
int RemoveCommonRegistryEntries(void) { ADD_FAILURE() << "RemoveCommonRegistryEntries"; return 0; }
int Remove9xRegistryEntries(void) { ADD_FAILURE() << "Remove9xRegistryEntries"; return 0; }
int RemoveNtRegistryEntries(void) { ADD_FAILURE() << "RemoveNtRegistryEntries"; return 0; }
int RestoreMfcRegistrations(void) { ADD_FAILURE() << "RestoreMfcRegistrations"; return 0; }
int WriteUninstallMarker(void) { ADD_FAILURE() << "WriteUninstallMarker"; return 0; }
LONG SetStringValue(HKEY, const char *, const char *) { ADD_FAILURE() << "SetStringValue"; return 0; }

/* replaced system functions ------------------------------------------------ */

/* The version GetVersionExA reports, and whether it fails. */
static DWORD PlayedMajor, PlayedMinor;
static BOOL VersionQueryWorks;
static DWORD VersionRecordSize;

static BOOL WINAPI PlayVersion(LPOSVERSIONINFOA version)
{
    VersionRecordSize = version->dwOSVersionInfoSize;
    if (!VersionQueryWorks)
        return FALSE;
    version->dwMajorVersion = PlayedMajor;
    version->dwMinorVersion = PlayedMinor;
    version->dwPlatformId = PlayedMajor >= 5 ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    return TRUE;
}

/* How IsWow64Process answers, when it is replaced. */
static BOOL Wow64Answer, Wow64QueryWorks;
static FARPROC(WINAPI *RealGetProcAddress)(HMODULE, LPCSTR);

static BOOL WINAPI PlayWow64(HANDLE, PBOOL wow64)
{
    *wow64 = Wow64Answer;
    return Wow64QueryWorks;
}

static FARPROC WINAPI GetProcAddressWithWow64(HMODULE module, LPCSTR name)
{
    if (!IS_INTRESOURCE(name) && strcmp(name, "IsWow64Process") == 0)
        return (FARPROC)(void *)PlayWow64;
    return RealGetProcAddress(module, name);
}

static FARPROC WINAPI GetProcAddressWithoutWow64(HMODULE module, LPCSTR name)
{
    if (!IS_INTRESOURCE(name) && strcmp(name, "IsWow64Process") == 0)
        return NULL;
    return RealGetProcAddress(module, name);
}

static void WINAPI RecordSleep(DWORD milliseconds)
{
    Events.push_back("Sleep " + std::to_string(milliseconds));
}

static BOOL WINAPI RecordExitWindows(UINT flags, DWORD)
{
    Events.push_back("ExitWindowsEx " + std::to_string(flags));
    return TRUE;
}

static BOOL(WINAPI *RealOpenProcessToken)(HANDLE, DWORD, PHANDLE);
static BOOL OpenProcessTokenWorks;

static BOOL WINAPI RecordOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    Events.push_back("OpenProcessToken " + std::to_string(access));
    if (!OpenProcessTokenWorks) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return RealOpenProcessToken(process, access, token);
}

static BOOL(WINAPI *RealAdjustTokenPrivileges)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
static BOOL PrivilegeHeld;

/* Notes which privilege is enabled; a privilege not held is reported as
 * Windows does, through the last error alone. */
static BOOL WINAPI RecordAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES wanted, DWORD size,
                                               PTOKEN_PRIVILEGES previous, PDWORD needed)
{
    LUID shutdown;
    LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &shutdown);
    bool enablesShutdown = !disableAll && wanted->PrivilegeCount == 1
                           && wanted->Privileges[0].Luid.LowPart == shutdown.LowPart
                           && wanted->Privileges[0].Luid.HighPart == shutdown.HighPart
                           && wanted->Privileges[0].Attributes == SE_PRIVILEGE_ENABLED;
    Events.push_back(enablesShutdown ? "enable SeShutdownPrivilege" : "AdjustTokenPrivileges other");
    if (!PrivilegeHeld) {
        SetLastError(ERROR_NOT_ALL_ASSIGNED);
        return TRUE;
    }
    return RealAdjustTokenPrivileges(token, disableAll, wanted, size, previous, needed);
}

/* The calls of the administrator check, counted by name. */
static std::map<std::string, int> SecurityCalls;
static BOOL AccessGranted;

static BOOL WINAPI CountImpersonateSelf(SECURITY_IMPERSONATION_LEVEL)
{
    SecurityCalls["ImpersonateSelf"]++;
    return TRUE;
}
static BOOL WINAPI CountOpenThreadToken(HANDLE, DWORD, BOOL, PHANDLE)
{
    SecurityCalls["OpenThreadToken"]++;
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}
static BOOL WINAPI CountOpenProcessToken(HANDLE, DWORD, PHANDLE)
{
    SecurityCalls["OpenProcessToken"]++;
    return FALSE;
}
static BOOL WINAPI CountAllocateSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                    DWORD, PSID *)
{
    SecurityCalls["AllocateAndInitializeSid"]++;
    return FALSE;
}
static BOOL(WINAPI *RealFreeSid)(PSID);
static PVOID WINAPI CountFreeSid(PSID sid)
{
    SecurityCalls["FreeSid"]++;
    return (PVOID)(INT_PTR)RealFreeSid(sid);
}
static BOOL(WINAPI *RealRevertToSelf)(void);
static BOOL WINAPI CountRevertToSelf(void)
{
    SecurityCalls["RevertToSelf"]++;
    return RealRevertToSelf();
}

/* Answers an access check as for a user outside the Administrators group,
 * after checking what the program asked: read access against a descriptor
 * that grants read and write to that group alone. */
static BOOL WINAPI PlayAccessCheck(PSECURITY_DESCRIPTOR descriptor, HANDLE, DWORD desired, PGENERIC_MAPPING mapping,
                                   PPRIVILEGE_SET, LPDWORD privilegesLength, LPDWORD granted, LPBOOL status)
{
    SecurityCalls["AccessCheck"]++;
    EXPECT_EQ(1u, desired);
    EXPECT_EQ(1u, mapping->GenericRead);
    EXPECT_EQ(2u, mapping->GenericWrite);
    EXPECT_EQ(0u, mapping->GenericExecute);
    EXPECT_EQ(3u, mapping->GenericAll);
    EXPECT_EQ(20u, *privilegesLength);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = NULL;
    PSID owner = NULL;
    EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
    EXPECT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    /* S-1-5-32-544, the built-in Administrators group */
    static DWORD administratorsSid[4] = {0x00000201, 0x05000000, 32, 544};
    PSID administrators = (PSID)administratorsSid;
    EXPECT_TRUE(owner != NULL && EqualSid(owner, administrators));
    if (present && acl != NULL && acl->AceCount == 1) {
        ACCESS_ALLOWED_ACE *ace = NULL;
        GetAce(acl, 0, (void **)&ace);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(3u, ace->Mask);
        EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, administrators));
    } else {
        ADD_FAILURE() << "the descriptor does not hold one access entry";
    }
    *granted = AccessGranted ? 1 : 0;
    *status = AccessGranted;
    return TRUE;
}

static BOOL WINAPI FailAccessCheck(PSECURITY_DESCRIPTOR, HANDLE, DWORD, PGENERIC_MAPPING, PPRIVILEGE_SET, LPDWORD,
                                   LPDWORD, LPBOOL)
{
    SecurityCalls["AccessCheck"]++;
    SetLastError(ERROR_NO_IMPERSONATION_TOKEN);
    return FALSE;
}

/* in-process runs of WinMain ---------------------------------------------- */

/* The wait box, found by its text control while the program shows it. */
static HWND WaitWindow;
static BOOL WINAPI RecordWaitText(HWND window, int id, LPCSTR text)
{
    if (id == IDC_WAIT_TEXT) {
        WaitWindow = window;
        Events.push_back(std::string("wait ") + text);
    }
    return RecordSetDlgItemText(window, id, text);
}

/* One in-process run of WinMain with Windows played at the given version,
 * boxes answered by caption, and the pause, the restart and the token calls
 * of the restart recorded (the test machine is never restarted). Windows the
 * run leaves open are closed at the end. */
struct WinMainRun : ::testing::Test {
    BoxAndStepRecording recording;
    ImportPatch waitText{"user32.dll", "SetDlgItemTextA", (void *)RecordWaitText};
    ImportPatch version{"kernel32.dll", "GetVersionExA", (void *)PlayVersion};
    ImportPatch sleep{"kernel32.dll", "Sleep", (void *)RecordSleep};
    ImportPatch exitWindows{"user32.dll", "ExitWindowsEx", (void *)RecordExitWindows};
    ImportPatch openToken{"advapi32.dll", "OpenProcessToken", (void *)RecordOpenProcessToken};
    ImportPatch adjust{"advapi32.dll", "AdjustTokenPrivileges", (void *)RecordAdjustTokenPrivileges};
    std::vector<bool> waitShownAtBox;

    void SetUp() override
    {
        ResetProgramState("");
        RealOpenProcessToken = (BOOL(WINAPI *)(HANDLE, DWORD, PHANDLE))openToken.previous;
        RealAdjustTokenPrivileges = (BOOL(WINAPI *)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                                    PDWORD))adjust.previous;
        OpenProcessTokenWorks = TRUE;
        PrivilegeHeld = TRUE;
        VersionQueryWorks = TRUE;
        WaitWindow = NULL;
        Play(5, 1);
    }
    void TearDown() override
    {
        if (ProgressWindow != NULL)
            DestroyWindow(ProgressWindow);
        if (WaitWindow != NULL && IsWindow(WaitWindow))
            DestroyWindow(WaitWindow);
        ResetProgramState("");
    }
    void Play(DWORD major, DWORD minor)
    {
        PlayedMajor = major;
        PlayedMinor = minor;
    }
    int Run() { return WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_HIDE); }
    /* The events of a run that was confirmed, up to the closing box. */
    std::vector<std::string> ConfirmedRun()
    {
        std::vector<std::string> events = {std::string("wait ") + ExpectedTextOf(IDS_PLEASE_WAIT), "box VORSICHT!"};
        AddSteps(events, ExpectedTextOf(IDS_PREPARING), 0, 4);
        events.push_back("StopSpooler");
        AddSteps(events, ExpectedTextOf(IDS_REMOVING_FILES), 4, 26);
        events.push_back("RemoveProductFiles");
        AddSteps(events, ExpectedTextOf(IDS_REMOVING_REGISTRY), 36, 52);
        events.push_back("RemoveRegistryEntries");
        AddSteps(events, ExpectedTextOf(IDS_REMOVING_REGISTRY), 52, 68);
        events.push_back("RestoreSharedSettings");
        events.push_back("StartSpooler");
        AddSteps(events, ExpectedTextOf(IDS_REMOVING_PRINTER), 68, 98);
        events.push_back("ResetDefaultPrinterProfile");
        AddSteps(events, ExpectedTextOf(IDS_DONE), 98, 100);
        events.push_back("Sleep 1000");
        events.push_back("ScheduleSelfRemoval");
        events.push_back("box Deinstallation abgeschlossen");
        return events;
    }
};

TEST_F(WinMainRun, DeclinedWarningEndsWithFourAndChangesNothing)
{
    BoxAnswers["VORSICHT!"] = IDCANCEL;
    EXPECT_EQ(4, Run());
    std::vector<std::string> expected = {std::string("wait ") + ExpectedTextOf(IDS_PLEASE_WAIT), "box VORSICHT!"};
    EXPECT_EQ(expected, Events);
    EXPECT_EQ((HWND)NULL, ProgressWindow);
    EXPECT_FALSE(IsWindow(WaitWindow));

    ASSERT_EQ(1u, ShownBoxes.size());
    std::string warning = ExpectedTextOf(IDS_WARNING);
    warning.replace(warning.find("%s"), 2, "Quenmar T58");
    EXPECT_EQ(warning, ShownBoxes[0].text);
    EXPECT_EQ((HWND)NULL, ShownBoxes[0].owner);
    EXPECT_EQ((UINT)(MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2), ShownBoxes[0].flags);
}

TEST_F(WinMainRun, NoInClosingBoxRemindsOfRestartAndEndsWithZero)
{
    BoxAnswers["VORSICHT!"] = IDOK;
    BoxAnswers["Deinstallation abgeschlossen"] = IDNO;
    BoxAnswers["Neustart erforderlich"] = IDOK;
    EXPECT_EQ(0, Run());
    std::vector<std::string> expected = ConfirmedRun();
    expected.push_back("box Neustart erforderlich");
    EXPECT_EQ(expected, Events);
    EXPECT_EQ(99, ProgressValue);
    EXPECT_TRUE(IsWinXP);

    ASSERT_EQ(3u, ShownBoxes.size());
    EXPECT_EQ(ExpectedTextOf(IDS_RESTART_QUESTION), ShownBoxes[1].text);
    EXPECT_EQ((HWND)NULL, ShownBoxes[1].owner);
    EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), ShownBoxes[1].flags);
    EXPECT_EQ(ExpectedTextOf(IDS_REMEMBER_RESTART), ShownBoxes[2].text);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), ShownBoxes[2].flags);
    ASSERT_NE((HWND)NULL, ProgressWindow);
    EXPECT_TRUE(IsWindowVisible(ProgressWindow));
    EXPECT_FALSE(IsWindow(WaitWindow));
}

TEST_F(WinMainRun, YesRestartsWithShutdownPrivilegeOnlyOnNtFamily)
{
    struct Version {
        DWORD major, minor;
        bool nt;
    } versions[] = {{5, 0, true}, {5, 1, true}, {5, 2, true}, {6, 1, true}, {4, 10, false}, {4, 90, false}};
    for (const Version &v : versions) {
        Events.clear();
        ResetProgramState("");
        Play(v.major, v.minor);
        BoxAnswers["VORSICHT!"] = IDOK;
        BoxAnswers["Deinstallation abgeschlossen"] = IDYES;
        EXPECT_EQ(0, Run());
        std::vector<std::string> expected = ConfirmedRun();
        AddSteps(expected, ExpectedTextOf(IDS_RESTARTING), 100, 101);
        if (v.nt) {
            expected.push_back("OpenProcessToken " + std::to_string(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
            expected.push_back("enable SeShutdownPrivilege");
        }
        expected.push_back("ExitWindowsEx " + std::to_string(EWX_REBOOT));
        EXPECT_EQ(expected, Events) << v.major << "." << v.minor;
        EXPECT_EQ(100, ProgressValue);
        DestroyWindow(ProgressWindow);
    }
}

TEST_F(WinMainRun, RestartRefusedIsSilentAndEndsWithZero)
{
    BoxAnswers["VORSICHT!"] = IDOK;
    BoxAnswers["Deinstallation abgeschlossen"] = IDYES;
    PrivilegeHeld = FALSE;
    EXPECT_EQ(0, Run());
    EXPECT_EQ("enable SeShutdownPrivilege", Events.back());
    EXPECT_EQ(2u, ShownBoxes.size());
    DestroyWindow(ProgressWindow);

    ResetProgramState("");
    Events.clear();
    OpenProcessTokenWorks = FALSE;
    EXPECT_EQ(0, Run());
    EXPECT_EQ("OpenProcessToken " + std::to_string(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), Events.back());
}

TEST_F(WinMainRun, UnsupportedVersionIsRefusedWithOne)
{
    Play(4, 0);
    EXPECT_EQ(1, Run());
    std::vector<std::string> expected = {std::string("wait ") + ExpectedTextOf(IDS_PLEASE_WAIT),
                                         "box Quenmar T58 deinstallieren"};
    EXPECT_EQ(expected, Events);
    EXPECT_FALSE(IsWinXP || IsWin2000 || IsWin98 || IsWinMe);
    ASSERT_EQ(1u, ShownBoxes.size());
    EXPECT_EQ(ExpectedTextOf(IDS_WRONG_VERSION), ShownBoxes[0].text);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), ShownBoxes[0].flags);
    /* the wait box stays behind the refusal */
    EXPECT_TRUE(IsWindowVisible(WaitWindow));
    DestroyWindow(WaitWindow);

    VersionQueryWorks = FALSE;
    EXPECT_EQ(1, Run());
}

TEST_F(WinMainRun, NonAdministratorIsRefusedWithTwo)
{
    SecurityCalls.clear();
    AccessGranted = FALSE;
    ImportPatch access("advapi32.dll", "AccessCheck", (void *)PlayAccessCheck);
    EXPECT_EQ(2, Run());
    std::vector<std::string> expected = {std::string("wait ") + ExpectedTextOf(IDS_PLEASE_WAIT), "box FEHLER!"};
    EXPECT_EQ(expected, Events);
    EXPECT_EQ(1, SecurityCalls["AccessCheck"]);
    ASSERT_EQ(1u, ShownBoxes.size());
    EXPECT_EQ(ExpectedTextOf(IDS_NOT_ADMIN), ShownBoxes[0].text);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), ShownBoxes[0].flags);
    EXPECT_EQ((HWND)NULL, ProgressWindow);
}

TEST_F(WinMainRun, Wow64IsRefusedWithOne)
{
    ImportPatch query("kernel32.dll", "GetProcAddress", (void *)GetProcAddressWithWow64);
    RealGetProcAddress = (FARPROC(WINAPI *)(HMODULE, LPCSTR))query.previous;
    Wow64Answer = TRUE;
    Wow64QueryWorks = TRUE;
    EXPECT_EQ(1, Run());
    std::vector<std::string> expected = {std::string("wait ") + ExpectedTextOf(IDS_PLEASE_WAIT),
                                         "box Quenmar T58 deinstallieren"};
    EXPECT_EQ(expected, Events);
    EXPECT_FALSE(IsWinXP);
}

/* platform checks one by one ---------------------------------------------- */

struct PlatformCheck : ::testing::Test {
    ImportPatch version{"kernel32.dll", "GetVersionExA", (void *)PlayVersion};
    void SetUp() override
    {
        ResetProgramState("");
        VersionQueryWorks = TRUE;
    }
    void TearDown() override { ResetProgramState(""); }
};

TEST_F(PlatformCheck, VersionsSortIntoFourFamilies)
{
    struct Case {
        DWORD major, minor;
        int result;
        DWORD xp, w2k, w98, me;
    } cases[] = {
        {10, 0, 1, 1, 0, 0, 0}, {6, 0, 1, 1, 0, 0, 0}, {5, 2, 1, 1, 0, 0, 0}, {5, 1, 1, 1, 0, 0, 0},
        {5, 0, 1, 0, 1, 0, 0},  {4, 90, 1, 0, 0, 0, 1}, {4, 10, 1, 0, 0, 1, 0}, {4, 0, 0, 0, 0, 0, 0},
        {4, 91, 0, 0, 0, 0, 0}, {3, 95, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        ResetProgramState("");
        PlayedMajor = c.major;
        PlayedMinor = c.minor;
        EXPECT_EQ(c.result, DetectWindowsFamily()) << c.major << "." << c.minor;
        EXPECT_EQ(c.xp, IsWinXP) << c.major << "." << c.minor;
        EXPECT_EQ(c.w2k, IsWin2000) << c.major << "." << c.minor;
        EXPECT_EQ(c.w98, IsWin98) << c.major << "." << c.minor;
        EXPECT_EQ(c.me, IsWinMe) << c.major << "." << c.minor;
    }
    EXPECT_EQ(sizeof(OSVERSIONINFOA), VersionRecordSize);
    ResetProgramState("");
    VersionQueryWorks = FALSE;
    EXPECT_EQ(0, DetectWindowsFamily());
    EXPECT_FALSE(IsWinXP || IsWin2000 || IsWin98 || IsWinMe);
}

TEST_F(PlatformCheck, Wow64QueryDecidesWhereItExists)
{
    PlayedMajor = 5;
    PlayedMinor = 1;
    {
        ImportPatch query("kernel32.dll", "GetProcAddress", (void *)GetProcAddressWithWow64);
        RealGetProcAddress = (FARPROC(WINAPI *)(HMODULE, LPCSTR))query.previous;
        struct Case {
            BOOL works, wow64;
            int result;
        } cases[] = {{TRUE, FALSE, 1}, {TRUE, TRUE, 0}, {FALSE, FALSE, 0}};
        for (const Case &c : cases) {
            ResetProgramState("");
            Wow64QueryWorks = c.works;
            Wow64Answer = c.wow64;
            EXPECT_EQ(c.result, DetectWindowsFamily()) << c.works << c.wow64;
            EXPECT_EQ((DWORD)c.result, IsWinXP);
        }
    }
    ImportPatch missing("kernel32.dll", "GetProcAddress", (void *)GetProcAddressWithoutWow64);
    RealGetProcAddress = (FARPROC(WINAPI *)(HMODULE, LPCSTR))missing.previous;
    ResetProgramState("");
    EXPECT_EQ(1, DetectWindowsFamily());
    EXPECT_EQ(1u, IsWinXP);
}

/* Counts the calls of the administrator check and answers them as given. */
struct AdministratorCheck : ::testing::Test {
    BoxAndStepRecording recording;
    ImportPatch freeSid{"advapi32.dll", "FreeSid", (void *)CountFreeSid};
    ImportPatch revert{"advapi32.dll", "RevertToSelf", (void *)CountRevertToSelf};
    void SetUp() override
    {
        SecurityCalls.clear();
        RealFreeSid = (BOOL(WINAPI *)(PSID))freeSid.previous;
        RealRevertToSelf = (BOOL(WINAPI *)(void))revert.previous;
    }
    void TearDown() override { ResetProgramState(""); }
};

TEST_F(AdministratorCheck, WineAdministratorPassesOnNtFamily)
{
    for (const char *family : {"winxp", "win2k"}) {
        ResetProgramState(family);
        EXPECT_EQ(1, CheckAdministrator()) << family;
    }
    EXPECT_TRUE(ShownBoxes.empty());
    EXPECT_EQ(2, SecurityCalls["FreeSid"]);
    EXPECT_EQ(2, SecurityCalls["RevertToSelf"]);
}

TEST_F(AdministratorCheck, DeniedAccessShowsErrorAndFreesEverything)
{
    ImportPatch access("advapi32.dll", "AccessCheck", (void *)PlayAccessCheck);
    AccessGranted = FALSE;
    ResetProgramState("win2k");
    EXPECT_EQ(0, CheckAdministrator());
    ASSERT_EQ(1u, ShownBoxes.size());
    EXPECT_EQ("FEHLER!", ShownBoxes[0].caption);
    EXPECT_EQ(ExpectedTextOf(IDS_NOT_ADMIN), ShownBoxes[0].text);
    EXPECT_EQ(1, SecurityCalls["FreeSid"]);
    EXPECT_EQ(1, SecurityCalls["RevertToSelf"]);

    AccessGranted = TRUE;
    EXPECT_EQ(1, CheckAdministrator());
    EXPECT_EQ(1u, ShownBoxes.size());
}

TEST_F(AdministratorCheck, FailingStepsCountAsNotAdministrator)
{
    ResetProgramState("winxp");
    {
        ImportPatch access("advapi32.dll", "AccessCheck", (void *)FailAccessCheck);
        EXPECT_EQ(0, CheckAdministrator());
        EXPECT_EQ(1, SecurityCalls["FreeSid"]);
    }
    {
        ImportPatch thread("advapi32.dll", "OpenThreadToken", (void *)CountOpenThreadToken);
        ImportPatch process("advapi32.dll", "OpenProcessToken", (void *)CountOpenProcessToken);
        EXPECT_EQ(0, CheckAdministrator());
        /* a thread without a token of its own falls back to the process token */
        EXPECT_EQ(1, SecurityCalls["OpenThreadToken"]);
        EXPECT_EQ(1, SecurityCalls["OpenProcessToken"]);
    }
    {
        ImportPatch sid("advapi32.dll", "AllocateAndInitializeSid", (void *)CountAllocateSid);
        EXPECT_EQ(0, CheckAdministrator());
        EXPECT_EQ(1, SecurityCalls["FreeSid"]);
    }
    EXPECT_EQ(3u, ShownBoxes.size());
    EXPECT_EQ(3, SecurityCalls["RevertToSelf"]);
}

TEST_F(AdministratorCheck, NineXFamilyPassesWithoutAnySecurityCall)
{
    ImportPatch impersonate("advapi32.dll", "ImpersonateSelf", (void *)CountImpersonateSelf);
    ImportPatch thread("advapi32.dll", "OpenThreadToken", (void *)CountOpenThreadToken);
    ImportPatch process("advapi32.dll", "OpenProcessToken", (void *)CountOpenProcessToken);
    ImportPatch sid("advapi32.dll", "AllocateAndInitializeSid", (void *)CountAllocateSid);
    ImportPatch access("advapi32.dll", "AccessCheck", (void *)FailAccessCheck);
    for (const char *family : {"win98", "winme"}) {
        ResetProgramState(family);
        EXPECT_EQ(1, CheckAdministrator()) << family;
    }
    EXPECT_TRUE(SecurityCalls.empty());
    EXPECT_TRUE(ShownBoxes.empty());
}

/* the real program ------------------------------------------------------- */

/* The values of a registry key, by name. */
static std::vector<std::string> ValueNames(HKEY root, const char *path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[512];
    DWORD length = sizeof(name);
    for (DWORD i = 0; RegEnumValueA(key, i, name, &length, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         i++, length = sizeof(name))
        names.push_back(name);
    RegCloseKey(key);
    return names;
}

static const char RunOnceCommandsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

/* Takes back the restart-time work a complete run of the real program leaves
 * (its own file scheduled for deletion, WININIT.INI lines, RunOnce commands)
 * and puts the program file back for the next run. */
struct RestartWorkGuard {
    std::string backup = ProgramPath() + ".keep";
    bool hadWininit = PathExists(WindowsDir() + "\\wininit.ini");
    std::string wininit = ReadTextFile(WindowsDir() + "\\wininit.ini");
    std::vector<std::string> runOnce[2] = {ValueNames(HKEY_LOCAL_MACHINE, RunOnceCommandsKey),
                                           ValueNames(HKEY_CURRENT_USER, RunOnceCommandsKey)};

    RestartWorkGuard()
    {
        EXPECT_TRUE(PendingRenames().empty()) << "an earlier test left pending renames";
        CopyFileA(ProgramPath().c_str(), backup.c_str(), FALSE);
    }
    ~RestartWorkGuard()
    {
        /* a file scheduled for deletion is deleted now in its place */
        for (const auto &rename : PendingRenames())
            if (rename.second.empty())
                DeleteFileA(rename.first.c_str());
        ClearPendingRenames();
        if (hadWininit)
            WriteTextFile(WindowsDir() + "\\wininit.ini", wininit);
        else
            DeleteFileA((WindowsDir() + "\\wininit.ini").c_str());
        HKEY roots[2] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
        for (int i = 0; i < 2; i++) {
            for (const std::string &name : ValueNames(roots[i], RunOnceCommandsKey)) {
                if (std::find(runOnce[i].begin(), runOnce[i].end(), name) != runOnce[i].end())
                    continue;
                HKEY key;
                if (RegOpenKeyExA(roots[i], RunOnceCommandsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                    RegDeleteValueA(key, name.c_str());
                    RegCloseKey(key);
                }
            }
        }
        if (!PathExists(ProgramPath()))
            CopyFileA(backup.c_str(), ProgramPath().c_str(), TRUE);
        DeleteFileA(backup.c_str());
    }
};

/* The boxes' exact flags are checked in process above; across processes
 * Wine lets the answerer see the buttons but not which icon a box shows. */
TEST(RealProgram, OldVersionsAreRefusedWithOne)
{
    for (const char *version : {"win95", "nt40"}) {
        ProgramRun run = RunRemovalProgram(version, {{"Quenmar T58 deinstallieren", IDOK}});
        EXPECT_EQ(1u, run.exitCode) << version;
        ASSERT_EQ(1u, run.boxes.size()) << version;
        EXPECT_EQ(ExpectedTextOf(IDS_WRONG_VERSION), run.boxes[0].text);
        EXPECT_EQ((UINT)MB_OK, run.boxes[0].buttons);
        EXPECT_TRUE(run.phases.empty());
    }
}

TEST(RealProgram, SupportedVersionsRunThroughOrStopAtTheWarning)
{
    for (const char *version : {"win98", "winme", "win2k", "winxp", "win2003"}) {
        ProgramRun declined = RunRemovalProgram(version, {{"VORSICHT!", IDCANCEL}});
        EXPECT_EQ(4u, declined.exitCode) << version;
        ASSERT_EQ(1u, declined.boxes.size()) << version;
        std::string warning = ExpectedTextOf(IDS_WARNING);
        warning.replace(warning.find("%s"), 2, "Quenmar T58");
        EXPECT_EQ(warning, declined.boxes[0].text);
        EXPECT_EQ((UINT)MB_OKCANCEL, declined.boxes[0].buttons);
        EXPECT_EQ(IDCANCEL, declined.boxes[0].defaultButton);
        EXPECT_TRUE(declined.phases.empty()) << version;

        RestartWorkGuard guard;
        ProgramRun run = RunRemovalProgram(
            version, {{"VORSICHT!", IDOK}, {"Deinstallation abgeschlossen", IDNO}, {"Neustart erforderlich", IDOK}});
        EXPECT_EQ(0u, run.exitCode) << version;
        ASSERT_EQ(3u, run.boxes.size()) << version;
        EXPECT_EQ(ExpectedTextOf(IDS_RESTART_QUESTION), run.boxes[1].text);
        EXPECT_EQ((UINT)MB_YESNO, run.boxes[1].buttons);
        EXPECT_EQ(ExpectedTextOf(IDS_REMEMBER_RESTART), run.boxes[2].text);
        EXPECT_EQ((UINT)MB_OK, run.boxes[2].buttons);
        ASSERT_FALSE(run.phases.empty()) << version;
        EXPECT_EQ(ExpectedTextOf(IDS_DONE), run.phases.back());
    }
}
