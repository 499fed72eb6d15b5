/* Windows 98's restart-time deletions: WININIT.INI byte for byte after
   DeleteOnReboot, from each content it may meet, and the RunOnce commands of
   RemoveDirOnReboot, which never take a name that another command holds;
   the program's own path, cut as Windows 98 cuts it, is never scheduled. */
#include "test.h"

static const struct {
    const char *before, *after; /* before NULL: no file; "%s" in after: the new line */
} Inis[] = {
    { NULL, "[rename]\r\n%s" },
    { "[Rename]\r\nNUL=C:\\OLD.TMP\r\n", "[Rename]\r\n%sNUL=C:\\OLD.TMP\r\n" },
    { "[rename]\nA=B\n", "[rename]\n%sA=B\n" },
    { "[boot]\r\nshell=x", "[boot]\r\nshell=x\r\n[rename]\r\n%s" },
    { "[boot]\r\nx=[rename]\r\n", "[boot]\r\nx=[rename]\r\n[rename]\r\n%s" },
    { "[boot]\r\n[RENAME]", "[boot]\r\n[RENAME]\r\n%s" },
};
static const char *const Taken[][3] = { /* names held by other commands, and the name then written */
    { NULL, NULL, "1" }, { "2", "3", "4" },
};
static char ModulePath[300];

/* GetModuleFileNameA as on Windows 98: a path longer than the buffer comes back cut, with the cut length. */
static DWORD WINAPI CutModuleFileName(HMODULE, char *buffer, DWORD size)
{
    lstrcpynA(buffer, ModulePath, size);
    return (DWORD)strlen(buffer);
}

int main(void)
{
    char ini[MAX_PATH], path[256], line[300], wanted[600], got[600];
    DWORD size;
    HKEY key;
    FILE *file;
    unsigned i, n;

    IsWin98 = 1;
    GetWindowsDirectoryA(ini, sizeof(ini));
    strcat(ini, "\\wininit.ini");
    fclose(fopen("C:\\qt58test\\held.tmp", "w"));
    for (i = 0; i < ARRAY_SIZE(Inis); i++) {
        DeleteFileA(ini);
        if (Inis[i].before != NULL && (file = fopen(ini, "wb")) != NULL) {
            fputs(Inis[i].before, file);
            fclose(file);
        }
        strcpy(path, "C:\\qt58test\\held.tmp");
        GetShortPathNameA(path, got, sizeof(got));
        snprintf(line, sizeof(line), "NUL=%s\r\n", got);
        snprintf(wanted, sizeof(wanted), Inis[i].after, line);
        DeleteOnReboot(path, NULL);
        file = fopen(ini, "rb");
        got[file != NULL ? fread(got, 1, sizeof(got) - 1, file) : 0] = '\0';
        if (file != NULL)
            fclose(file);
        ok(strcmp(got, wanted) == 0, "%s from \"%s\" is \"%s\", wanted \"%s\"", ini,
           Inis[i].before ? Inis[i].before : "(none)", got, wanted);
    }
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKey, 0, KEY_ALL_ACCESS, &key);
    for (i = 0; i < ARRAY_SIZE(Taken); i++) {
        for (n = 0; n < 2 && Taken[i][n] != NULL; n++)
            RegSetValueExA(key, Taken[i][n], 0, REG_SZ, (const BYTE *)"other", 6);
        strcpy(path, "C:\\qt58test");
        RemoveDirOnReboot(path);
        snprintf(wanted, sizeof(wanted), "command /c rd %s", path);
        size = sizeof(got);
        got[RegQueryValueExA(key, Taken[i][2], NULL, NULL, (BYTE *)got, &size) ? 0 : size] = '\0';
        ok(strcmp(got, wanted) == 0, "RunOnce value %s is \"%s\", wanted \"%s\"", Taken[i][2], got, wanted);
    }
    /* A program path of 259 characters whose first 254 name another file. */
    snprintf(ModulePath, sizeof(ModulePath), "C:\\qt58test\\%0242d", 0);
    fclose(fopen(ModulePath, "w"));
    strcat(ModulePath, "y.exe");
    DeleteFileA(ini);
    PatchImport("kernel32.dll", "GetModuleFileNameA", (void *)CutModuleFileName);
    ScheduleSelfRemoval();
    ok(GetFileAttributesA(ini) == INVALID_FILE_ATTRIBUTES, "%s written for the program path %s", ini, ModulePath);
    return Done("reboot");
}
