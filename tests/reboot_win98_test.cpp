/* Windows 98's restart-time deletions: WININIT.INI byte for byte after
   DeleteOnReboot, from each content it may meet, and the RunOnce commands of
   RemoveDirOnReboot, which never take a name that another command holds. */
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
static const struct {
    const char *taken, *name; /* names held by another program's commands, by ';'; the name written */
} Serials[] = { { "", "1" }, { "2;3", "4" } };

int main(void)
{
    char ini[MAX_PATH], path[256], line[300], wanted[600], got[600], *name;
    DWORD size;
    HANDLE file;
    HKEY key;
    unsigned i;

    IsWin98 = 1;
    GetWindowsDirectoryA(ini, sizeof(ini));
    strcat(ini, "\\wininit.ini");
    CloseHandle(CreateFileA("C:\\qt58test\\held.tmp", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    for (i = 0; i < ARRAY_SIZE(Inis); i++) {
        DeleteFileA(ini);
        file = Inis[i].before ? CreateFileA(ini, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL) : NULL;
        if (file != NULL)
            WriteFile(file, Inis[i].before, strlen(Inis[i].before), &size, NULL), CloseHandle(file);
        strcpy(path, "C:\\qt58test\\held.tmp");
        GetShortPathNameA(path, got, sizeof(got));
        snprintf(line, sizeof(line), "NUL=%s\r\n", got);
        snprintf(wanted, sizeof(wanted), Inis[i].after, line);
        ok(DeleteOnReboot(path, NULL) == 1, "DeleteOnReboot(%s) failed", got);
        file = CreateFileA(ini, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        size = 0;
        ReadFile(file, got, sizeof(got) - 1, &size, NULL);
        CloseHandle(file);
        got[size] = '\0';
        ok(strcmp(got, wanted) == 0, "%s from \"%s\" is \"%s\", wanted \"%s\"", ini,
           Inis[i].before ? Inis[i].before : "(none)", got, wanted);
    }
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKey, 0, KEY_ALL_ACCESS, &key);
    for (i = 0; i < ARRAY_SIZE(Serials); i++) {
        strcpy(line, Serials[i].taken);
        for (name = strtok(line, ";"); name; name = strtok(NULL, ";"))
            RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)"other", 6);
        strcpy(path, "C:\\qt58test");
        ok(RemoveDirOnReboot(path) == 1, "RemoveDirOnReboot(C:\\qt58test) failed");
        snprintf(wanted, sizeof(wanted), "command /c rd %s", path);
        size = sizeof(got);
        got[RegQueryValueExA(key, Serials[i].name, NULL, NULL, (BYTE *)got, &size) ? 0 : size] = '\0';
        ok(strcmp(got, wanted) == 0, "RunOnce value %s is \"%s\", wanted \"%s\"", Serials[i].name, got, wanted);
        strcpy(line, Serials[i].taken);
        for (name = strtok(line, ";"); name; name = strtok(NULL, ";")) {
            size = sizeof(got);
            ok(!RegQueryValueExA(key, name, NULL, NULL, (BYTE *)got, &size) && !strcmp(got, "other"),
               "RunOnce value %s of another program became \"%s\"", name, got);
        }
    }
    return Done("reboot");
}
