/* Removal at the next restart: "[rename]" lines of WININIT.INI for files on
   the 9x family (the NT family moves the file aside instead), and RunOnce
   commands that remove folders. A plan reports them instead. */
#include <stdio.h>
#include <string.h>
#include "uninstall.h"

#define WININIT_NAME "\\WinInit.Ini"

/* The items scheduled for the restart, the first of them by their paths, so
   that the end of the run can tell whether any of them is still there. */
static char ScheduledPaths[64][MAX_PATH];
static unsigned ScheduledCount;

/* Notes an item that was scheduled for the restart. */
void NoteScheduled(const char *path)
{
    size_t length = strlen(path);

    if (ScheduledCount < ARRAY_SIZE(ScheduledPaths) && length < MAX_PATH)
        memcpy(ScheduledPaths[ScheduledCount], path, length + 1);
    else
        ScheduledCount = ARRAY_SIZE(ScheduledPaths);
    ScheduledCount++;
}

/* 1 when an item scheduled for the restart is still there (or when more
   were scheduled than noted); an item that the run removed later anyway,
   such as a folder emptied by a later sweep, does not count. */
int IsRestartPending(void)
{
    unsigned i;

    if (ScheduledCount > ARRAY_SIZE(ScheduledPaths))
        return 1;
    for (i = 0; i < ScheduledCount; i++)
        if (GetFileAttributesA(ScheduledPaths[i]) != INVALID_FILE_ATTRIBUTES)
            return 1;
    return 0;
}

/* Adds the line to the open WININIT.INI through a file mapping that grows the
   file, then cuts the file to the size of its new text (or back to its old
   size when the mapping failed). 1 when the line was written; otherwise the
   thread's last error is that of the step that failed. */
static int AddLineToWinInit(HANDLE file, const char *line, DWORD length)
{
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    DWORD finalSize = size;
    DWORD error = ERROR_SUCCESS;
    HANDLE mapping;
    char *view;

    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    if (high != 0 || size > MAXDWORD - RenameLineRoom - length) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return 0;
    }
    mapping = CreateFileMappingA(file, NULL, PAGE_READWRITE, 0, size + RenameLineRoom + length, NULL);
    if (mapping == NULL) {
        error = GetLastError();
    } else {
        view = (char *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
        if (view == NULL) {
            error = GetLastError();
        } else {
            finalSize = (DWORD)InsertRenameLine(view, size, line, length);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
    }
    /* The size goes as an unsigned 32-bit distance: a file of 2 GB or more is
       not taken for a negative one, whose refusal would leave the file
       pointer at the start and cut the whole file away. */
    high = 0;
    if (SetFilePointer(file, (LONG)finalSize, (LONG *)&high, FILE_BEGIN) == finalSize)
        SetEndOfFile(file);
    /* The caller's trace names the step that failed, not the cut. */
    SetLastError(error);
    return finalSize != size;
}

/* Schedules the file for deletion (target NULL) or renaming at the next
   restart. NT family: moves it aside. 9x family: turns path into its short
   form and adds "<target or NUL>=<short path>" under "[rename]" in
   WININIT.INI. 0 when nothing was scheduled: the file does not exist, or
   WININIT.INI cannot be opened (in use) or mapped. */
int DeleteOnReboot(char *path, const char *target)
{
    char shortPath[256];
    char line[600];
    char iniPath[MAX_PATH + 16];
    HANDLE file;
    UINT folderLength;
    int length, result;

    if (IsNtFamily())
        return TempRenameFallback(path);
    if (!Is9xFamily() || !GetShortPath(path, shortPath))
        return 0;
    memcpy(path, shortPath, strlen(shortPath) + 1);
    length = snprintf(line, sizeof(line), "%s=%s\r\n", target != NULL ? target : "NUL", path);
    if (length <= 0 || length >= (int)sizeof(line))
        return 0;
    folderLength = GetWindowsDirectoryA(iniPath, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return 0;
    memcpy(iniPath + folderLength, WININIT_NAME, sizeof(WININIT_NAME));
    if (PlanOnly)
        return PlanWinInitLine(iniPath, path);
    file = CreateFileA(iniPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    result = file != INVALID_HANDLE_VALUE && AddLineToWinInit(file, line, (DWORD)length);
    /* Traced before the handle is closed, while the last error is still the failure's. */
    if (!result)
        TraceFailure(GetLastError(), "Cannot schedule %s", path);
    if (result)
        NoteScheduled(path);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return result;
}

/* Advances RunOnceSerial to the next number that names no value of the key
   yet, so that another program's pending command is never overwritten, and
   formats it into name. */
static void NextFreeRunOnceName(HKEY key, char *name, size_t size)
{
    do {
        RunOnceSerial++;
        snprintf(name, size, "%u", RunOnceSerial);
    } while (RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS);
}

/* Turns path into its short form and adds a RunOnce command that removes the
   folder at the next start (when it is empty then). A folder that does not
   exist is not scheduled. 1 when the command was written. */
int RemoveDirOnReboot(char *path)
{
    char shortPath[256];
    char name[16];
    char command[300];
    HKEY key;
    LONG result;
    int written;

    if (!GetShortPath(path, shortPath))
        return 0;
    memcpy(path, shortPath, strlen(shortPath) + 1);
    if (PlanOnly)
        return PlanRestartRemoval(path);
    written = snprintf(command, sizeof(command), "command /c rd %s", path);
    if (written < 0 || written >= (int)sizeof(command))
        return 0;
    result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKey, 0, KEY_ALL_ACCESS, &key);
    if (result == ERROR_SUCCESS) {
        NextFreeRunOnceName(key, name, sizeof(name));
        result = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)command, (DWORD)strlen(command) + 1);
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS)
        TraceFailure((DWORD)result, "Cannot schedule %s", path);
    else
        NoteScheduled(path);
    return result == ERROR_SUCCESS;
}
