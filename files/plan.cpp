/* What the file primitives do in a plan (PlanOnly): each judges from the
   disk as it is, and from what the plan has already reported as gone, what
   its call would do, reports that and returns as the call would have. The
   plan's lines are "<what happens><tab><full long path>". */
#include <string.h>
#include "uninstall.h"

#define ShareAll (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)

/* Puts the full long path of an item into item (MAX_PATH bytes) and returns
   its attributes; INVALID_FILE_ATTRIBUTES, with the last error
   ERROR_FILE_NOT_FOUND, when it is not there or the plan has it gone. */
static DWORD FindPlannedItem(const char *path, char *item)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof(full), full, NULL);

    if (length > 0 && length < sizeof(full)) {
        length = GetLongPathNameA(full, item, MAX_PATH);
        if (length > 0 && length < MAX_PATH && !IsPlannedAway(item))
            return GetFileAttributesA(item);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

/* Opens a file as a test with the given access and sharing; 0 with the last
   error when that fails. */
static int CanOpen(const char *path, DWORD access, DWORD share)
{
    HANDLE file = CreateFileA(path, access, share, NULL, OPEN_EXISTING, 0, NULL);

    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

/* 1 when the file can be moved now: on the NT family, no one holds it open
   without delete sharing. */
static int CanMove(const char *path)
{
    return CanOpen(path, DELETE, ShareAll);
}

/* 1 when the file cannot be deleted now: it cannot be moved (9x: it is open
   at all), or it is mapped as a running program's image, which keeps it from
   being written. */
static int IsInUse(const char *path)
{
    if (!(Is9xFamily() ? CanOpen(path, GENERIC_READ, 0) : CanMove(path)))
        return 1;
    return !CanOpen(path, GENERIC_WRITE, ShareAll) && GetLastError() == ERROR_SHARING_VIOLATION;
}

/* Sets the last error as the call would have and returns its result. */
static BOOL Result(DWORD error)
{
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

/* 1 when every item of the folder is gone by the plan. */
static int HoldsOnlyPlannedAway(const char *folder)
{
    char pattern[MAX_PATH], path[MAX_PATH];
    WIN32_FIND_DATAA entry;
    HANDLE find;
    int empty = 1;

    if (!JoinPath(pattern, sizeof(pattern), folder, "*"))
        return 0;
    find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 1;
    do
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            empty = JoinPath(path, sizeof(path), folder, entry.cFileName) && IsPlannedAway(path);
    while (empty && FindNextFileA(find, &entry));
    FindClose(find);
    return empty;
}

/* RemoveFile: a file that is there and not in use goes. A folder, or a
   read-only file whose attributes are left, refuses as DeleteFileA does. */
BOOL PlanFileRemoval(const char *path, int clearAttributes)
{
    char item[MAX_PATH];
    DWORD attributes = FindPlannedItem(path, item);

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || (!clearAttributes && (attributes & FILE_ATTRIBUTE_READONLY)))
        return Result(ERROR_ACCESS_DENIED);
    if (IsInUse(item))
        return Result(ERROR_SHARING_VIOLATION);
    return Result(PlanRemoval("delete file", item));
}

/* RemoveFolder: a folder goes when everything in it is gone by the plan. */
BOOL PlanFolderRemoval(const char *path)
{
    char item[MAX_PATH];
    DWORD attributes = FindPlannedItem(path, item);

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Result(ERROR_DIRECTORY);
    if (HoldsOnlyPlannedAway(item))
        return Result(PlanRemoval("remove folder", item));
    ReportLine("keep folder now, not empty\t%s", item);
    return Result(ERROR_DIR_NOT_EMPTY);
}

/* DeleteOnReboot, RemoveDirOnReboot and ScheduleNtDeletion: the item waits
   for the restart. 0 when it is not there. */
int PlanRestartRemoval(const char *path)
{
    char item[MAX_PATH];
    DWORD attributes = FindPlannedItem(path, item);

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    ReportLine("%s\t%s", attributes & FILE_ATTRIBUTE_DIRECTORY ? "remove folder at the restart, if empty then"
                                                                : "delete file at the restart (in use now)", item);
    return 1;
}

/* DeleteOnReboot on the 9x family: the file waits for the restart, unless
   another program holds WININIT.INI open (a missing one would be made). */
int PlanWinInitLine(const char *iniPath, const char *path)
{
    if (CanOpen(iniPath, GENERIC_READ | GENERIC_WRITE, 0) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return PlanRestartRemoval(path);
    ReportLine("keep file, WININIT.INI is in use now\t%s", path);
    return 0;
}

/* TempRenameFallback: a file that can be moved leaves its folder now and is
   deleted at the restart; anything else waits in its place. */
int PlanMoveAside(const char *path)
{
    char item[MAX_PATH];
    DWORD attributes = FindPlannedItem(path, item);

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && CanMove(item))
        return PlanRemoval("move aside now, delete at the restart (in use now)", item) == ERROR_SUCCESS;
    return PlanRestartRemoval(item);
}

/* The start of a companion program, in the form its own record takes:
   command line, folder, window shown or hidden. 0 when the program is not
   there. */
int PlanProgramStart(const char *module, const char *commandLine, const char *folder, int hidden)
{
    DWORD attributes = GetFileAttributesA(module);

    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    ReportLine("start program\t%s\t%s\t%s", commandLine, folder, hidden ? "hidden" : "shown");
    return 1;
}
