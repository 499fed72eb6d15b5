/* The start-up checks as the user meets them: the Windows versions that run
   and those refused, 64-bit Windows, and a user who is no administrator
   (which Wine cannot produce: its user is always one), through WinMain with
   its exit code and box (none for an unattended run), or through the family
   check for the versions that run; and switches that end the run at once. */
#include "test.h"

static const struct {
    DWORD major, minor;
    BOOL wow64, administrator;
    DWORD *family;      /* the family a version that runs counts as */
    int exitCode;       /* else what WinMain returns */
    const char *caption, *text;
    const char *commandLine;
} Cases[] = {
    { 4, 10, 0, 0, &IsWin98, 0, NULL, NULL, "" }, { 4, 90, 0, 0, &IsWinMe, 0, NULL, NULL, "" },
    { 5, 0, 0, 1, &IsWin2000, 0, NULL, NULL, "" }, { 5, 1, 0, 1, &IsWinXP, 0, NULL, NULL, "" },
    { 5, 2, 0, 1, &IsWinXP, 0, NULL, NULL, "" }, { 6, 1, 0, 1, &IsWinXP, 0, NULL, NULL, "" },
    { 4, 0, 0, 1, NULL, 1, "Quenmar T58 deinstallieren",
      "Das Deinstallationsprogramm kann nicht mit dieser Version von Windows verwendet werden.\n"
      "Das Deinstallationsprogramm wird nun beendet.", "" },
    { 3, 51, 0, 1, NULL, 1, "Quenmar T58 deinstallieren", NULL, "" },
    { 4, 1, 0, 1, NULL, 1, "Quenmar T58 deinstallieren", NULL, "" },
    { 5, 1, 1, 1, NULL, 1, "Quenmar T58 deinstallieren", NULL, "" },
    { 5, 0, 0, 0, NULL, 2, "FEHLER!",
      "Sie m\xfcssen als Administrator angemeldet sein, um diesen Vorgang durchzuf\xfchren.", "" },
    { 5, 1, 0, 0, NULL, 2, "FEHLER!", NULL, "" },
    { 6, 0, 0, 0, NULL, 2, "FEHLER!", NULL, "" },
    { 5, 1, 0, 0, NULL, 2, "", NULL, "/quiet" }, { 4, 0, 0, 1, NULL, 1, "", NULL, "-QUIET /log:x.log" },
    { 5, 1, 0, 1, NULL, 82, "", NULL, "/plan:\"C:\\no such\\plan.txt\"" },
    { 5, 1, 0, 1, NULL, 0, "Quenmar T58 deinstallieren", NULL, "/?" },
    { 5, 1, 0, 1, NULL, 87, "Quenmar T58 deinstallieren", NULL, "/log" },
    { 5, 1, 0, 1, NULL, 87, "Quenmar T58 deinstallieren", NULL, "/plan:a.txt -Log:b.txt" },
};
static unsigned Case;
static char BoxCaption[256], BoxText[512];

static BOOL WINAPI FakeGetVersionExA(OSVERSIONINFOA *version)
{
    version->dwMajorVersion = Cases[Case].major;
    version->dwMinorVersion = Cases[Case].minor;
    return TRUE;
}

static BOOL WINAPI FakeIsWow64Process(HANDLE, BOOL *wow64)
{
    *wow64 = Cases[Case].wow64;
    return TRUE;
}

static FARPROC WINAPI FakeGetProcAddress(HMODULE module, const char *name)
{
    return strcmp(name, "IsWow64Process") ? GetProcAddress(module, name) : (FARPROC)(void *)FakeIsWow64Process;
}

static BOOL WINAPI FakeAccessCheck(PSECURITY_DESCRIPTOR, HANDLE, DWORD, PGENERIC_MAPPING, PPRIVILEGE_SET, DWORD *,
                                   DWORD *granted, BOOL *status)
{
    *granted = *status = Cases[Case].administrator;
    return TRUE;
}

static int WINAPI RecordBox(HWND, const char *text, const char *caption, UINT)
{
    snprintf(BoxCaption, sizeof(BoxCaption), "%s", caption);
    snprintf(BoxText, sizeof(BoxText), "%s", text);
    return IDOK;
}

int main(void)
{
    int code;

    PatchImport("KERNEL32.dll", "GetVersionExA", (void *)FakeGetVersionExA);
    PatchImport("KERNEL32.dll", "GetProcAddress", (void *)FakeGetProcAddress);
    PatchImport("ADVAPI32.dll", "AccessCheck", (void *)FakeAccessCheck);
    PatchImport("USER32.dll", "MessageBoxA", (void *)RecordBox);
    for (Case = 0; Case < ARRAY_SIZE(Cases); Case++) {
        IsWinXP = IsWin2000 = IsWin98 = IsWinMe = 0;
        BoxCaption[0] = BoxText[0] = '\0';
        if (Cases[Case].family != NULL) {
            /* Taken as its family alone, and let through: on 98 and Me with
               no check at all, even for a user the check would refuse. */
            ok(DetectWindowsFamily() && *Cases[Case].family && IsWinXP + IsWin2000 + IsWin98 + IsWinMe == 1
               && CheckAdministrator() && BoxCaption[0] == '\0', "version %lu.%lu: not run as its family",
               Cases[Case].major, Cases[Case].minor);
            continue;
        }
        QuietRun = PlanOnly = 0;
        ReportPath[0] = '\0';
        code = WinMain(GetModuleHandleA(NULL), NULL, (char *)Cases[Case].commandLine,
                       SW_SHOW);
        ok(code == Cases[Case].exitCode && strcmp(BoxCaption, Cases[Case].caption) == 0
           && (Cases[Case].text == NULL || strcmp(BoxText, Cases[Case].text) == 0),
           "version %lu.%lu%s%s %s: exit code %d, box \"%s\": \"%s\"", Cases[Case].major, Cases[Case].minor,
           Cases[Case].wow64 ? " under WOW64" : "", Cases[Case].administrator ? "" : ", no administrator",
           Cases[Case].commandLine, code, BoxCaption, BoxText);
    }
    return Done("sequence");
}
