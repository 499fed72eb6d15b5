/* Removal at the next restart: "[rename]" lines of WININIT.INI for files on
   the 9x family (the NT family moves the file aside instead), and RunOnce
   commands that remove folders. */
#include <stdio.h>
#include <string.h>
#include "uninstall.h"

#define RENAME_SECTION "[rename]"
#define RENAME_SECTION_LENGTH ((DWORD)sizeof(RENAME_SECTION) - 1)
#define RENAME_HEADER RENAME_SECTION "\r\n"
#define RENAME_HEADER_LENGTH ((DWORD)sizeof(RENAME_HEADER) - 1)
#define LINE_BREAK_LENGTH 2
#define WININIT_NAME "\\WinInit.Ini"

/* Finds the "[rename]" header (any letter case) at the start of a line and
   ended by "\r\n", a bare "\n" or the end of the text; *insertAt receives the
   offset just behind the header line. */
static int FindRenameSection(const char *text, DWORD size, DWORD *insertAt)
{
    DWORD line = 0;

    while (line + RENAME_SECTION_LENGTH <= size) {
        if (_strnicmp(text + line, RENAME_SECTION, RENAME_SECTION_LENGTH) == 0) {
            DWORD end = line + RENAME_SECTION_LENGTH;
            if (end == size) {
                *insertAt = end;
                return 1;
            }
            if (text[end] == '\r' && end + 1 < size && text[end + 1] == '\n')
                end++;
            if (text[end] == '\n') {
                *insertAt = end + 1;
                return 1;
            }
        }
        while (line < size && text[line] != '\n')
            line++;
        line++;
    }
    return 0;
}

/* Ends a last line that lacks its line break with "\r\n"; returns the size. */
static DWORD EndLastLine(char *text, DWORD size)
{
    if (size == 0 || text[size - 1] == '\n')
        return size;
    memcpy(text + size, "\r\n", LINE_BREAK_LENGTH);
    return size + LINE_BREAK_LENGTH;
}

/* Puts the line first into the "[rename]" section of the mapped file text,
   adding the section at the end when there is none; every byte that was
   there before stays. The view has room for a line break, the header and the
   line behind the text. Returns the new size of the text. */
static DWORD InsertRenameLine(char *text, DWORD size, const char *line, DWORD length)
{
    DWORD insertAt;

    if (!FindRenameSection(text, size, &insertAt)) {
        size = EndLastLine(text, size);
        memcpy(text + size, RENAME_HEADER, RENAME_HEADER_LENGTH);
        size += RENAME_HEADER_LENGTH;
        insertAt = size;
    } else if (insertAt == size) {
        size = insertAt = EndLastLine(text, size);
    }
    memmove(text + insertAt + length, text + insertAt, size - insertAt);
    memcpy(text + insertAt, line, length);
    return size + length;
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

    if (size == INVALID_FILE_SIZE || high != 0
        || size > MAXDWORD - LINE_BREAK_LENGTH - RENAME_HEADER_LENGTH - length)
        return 0;
    mapping = CreateFileMappingA(file, NULL, PAGE_READWRITE, 0,
                                 size + LINE_BREAK_LENGTH + RENAME_HEADER_LENGTH + length, NULL);
    if (mapping == NULL) {
        error = GetLastError();
    } else {
        view = (char *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
        if (view == NULL) {
            error = GetLastError();
        } else {
            finalSize = InsertRenameLine(view, size, line, length);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
    }
    SetFilePointer(file, (LONG)finalSize, NULL, FILE_BEGIN);
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
    file = CreateFileA(iniPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        TraceFailure(GetLastError(), "Cannot schedule %s", path);
        return 0;
    }
    result = AddLineToWinInit(file, line, (DWORD)length);
    if (!result)
        TraceFailure(GetLastError(), "Cannot schedule %s", path);
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
    return result == ERROR_SUCCESS;
}
