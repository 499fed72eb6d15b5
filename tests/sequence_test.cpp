/* The start-up checks as the user meets them: the Windows versions that run
   and those refused, 64-bit Windows, and a user who is no administrator
   (which Wine cannot produce: its user is always one), each through WinMain
   with its exit code and box. */
#include "test.h"

static struct {
    DWORD major, minor;
    BOOL wow64, administrator;
} Machine;
static char BoxCaption[256], BoxText[512];

static BOOL WINAPI FakeGetVersionExA(OSVERSIONINFOA *version)
{
    version->dwMajorVersion = Machine.major;
    version->dwMinorVersion = Machine.minor;
    return TRUE;
}

static BOOL WINAPI FakeIsWow64Process(HANDLE, BOOL *wow64)
{
    *wow64 = Machine.wow64;
    return TRUE;
}

static FARPROC WINAPI FakeGetProcAddress(HMODULE module, const char *name)
{
    if (strcmp(name, "IsWow64Process") == 0)
        return (FARPROC)(void *)FakeIsWow64Process;
    return GetProcAddress(module, name);
}

static BOOL WINAPI FakeAccessCheck(PSECURITY_DESCRIPTOR, HANDLE, DWORD, PGENERIC_MAPPING, PPRIVILEGE_SET,
                                   DWORD *, DWORD *granted, BOOL *status)
{
    *granted = Machine.administrator;
    *status = Machine.administrator;
    return TRUE;
}

static int WINAPI RecordBox(HWND, const char *text, const char *caption, UINT)
{
    snprintf(BoxCaption, sizeof(BoxCaption), "%s", caption);
    snprintf(BoxText, sizeof(BoxText), "%s", text);
    return IDOK;
}

static const struct {
    DWORD major, minor;
    BOOL wow64, administrator;
    int exitCode;
    const char *caption, *text;
} Refusals[] = {
    { 4, 0, FALSE, TRUE, 1, "Quenmar T58 deinstallieren",
      "Das Deinstallationsprogramm kann nicht mit dieser Version von Windows verwendet werden.\n"
      "Das Deinstallationsprogramm wird nun beendet." },
    { 3, 51, FALSE, TRUE, 1, "Quenmar T58 deinstallieren", NULL },
    { 4, 1, FALSE, TRUE, 1, "Quenmar T58 deinstallieren", NULL },
    { 5, 1, TRUE, TRUE, 1, "Quenmar T58 deinstallieren", NULL },
    { 5, 0, FALSE, FALSE, 2, "FEHLER!",
      "Sie m\xfcssen als Administrator angemeldet sein, um diesen Vorgang durchzuf\xfchren." },
    { 5, 1, FALSE, FALSE, 2, "FEHLER!", NULL },
    { 6, 0, FALSE, FALSE, 2, "FEHLER!", NULL },
};

/* Versions that run, and the family each one counts as. */
static const struct {
    DWORD major, minor;
    DWORD *family;
} Families[] = {
    { 4, 10, &IsWin98 }, { 4, 90, &IsWinMe }, { 5, 0, &IsWin2000 },
    { 5, 1, &IsWinXP }, { 5, 2, &IsWinXP }, { 6, 1, &IsWinXP },
};

int main(void)
{
    unsigned i;
    int code;

    PatchImport("KERNEL32.dll", "GetVersionExA", (void *)FakeGetVersionExA);
    PatchImport("KERNEL32.dll", "GetProcAddress", (void *)FakeGetProcAddress);
    PatchImport("ADVAPI32.dll", "AccessCheck", (void *)FakeAccessCheck);
    PatchImport("USER32.dll", "MessageBoxA", (void *)RecordBox);
    for (i = 0; i < ARRAY_SIZE(Refusals); i++) {
        Machine.major = Refusals[i].major;
        Machine.minor = Refusals[i].minor;
        Machine.wow64 = Refusals[i].wow64;
        Machine.administrator = Refusals[i].administrator;
        IsWinXP = IsWin2000 = IsWin98 = IsWinMe = 0;
        BoxCaption[0] = BoxText[0] = '\0';
        code = WinMain(GetModuleHandleA(NULL), NULL, (char *)"", SW_SHOW);
        ok(code == Refusals[i].exitCode, "version %lu.%lu%s: exit code %d, wanted %d", Machine.major, Machine.minor,
           Machine.wow64 ? " under WOW64" : "", code, Refusals[i].exitCode);
        ok(strcmp(BoxCaption, Refusals[i].caption) == 0, "version %lu.%lu: box \"%s\", wanted \"%s\"",
           Machine.major, Machine.minor, BoxCaption, Refusals[i].caption);
        ok(Refusals[i].text == NULL || strcmp(BoxText, Refusals[i].text) == 0, "version %lu.%lu: box text \"%s\"",
           Machine.major, Machine.minor, BoxText);
    }
    Machine.wow64 = FALSE;
    for (i = 0; i < ARRAY_SIZE(Families); i++) {
        Machine.major = Families[i].major;
        Machine.minor = Families[i].minor;
        IsWinXP = IsWin2000 = IsWin98 = IsWinMe = 0;
        ok(DetectWindowsFamily() && *Families[i].family == 1 && IsWinXP + IsWin2000 + IsWin98 + IsWinMe == 1,
           "version %lu.%lu: not taken as its family alone", Machine.major, Machine.minor);
    }
    Machine.administrator = TRUE;
    BoxCaption[0] = '\0';
    ok(CheckAdministrator() == 1 && BoxCaption[0] == '\0', "Windows XP: an administrator was refused");
    /* On 98 and Me there is no check: the same denying access check passes. */
    Machine.administrator = FALSE;
    IsWinXP = 0;
    IsWin98 = 1;
    ok(CheckAdministrator() == 1, "Windows 98: a user who is no administrator was refused");
    return Done("sequence");
}
