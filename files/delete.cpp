/* Deletion of single files and folders, with the restart-time fallback for
   items in use, the traces of what was removed and of what failed, and the
   row fetch of the name tables. In a plan (PlanOnly) the calls that would
   change the disk report what they would do instead (files/plan.cpp). */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include "uninstall.h"

/* Builds "<temporary folder>\<tmpnam name>" in a buffer of MAX_PATH bytes;
   0 when either part is missing or the whole would not fit. */
static int BuildTemporaryName(char *buffer)
{
    char tempFolder[256];
    const char *name;
    DWORD length = GetTempPathA(sizeof(tempFolder), tempFolder);
    int written;

    if (length == 0 || length >= sizeof(tempFolder))
        return 0;
    name = tmpnam(NULL);
    if (name == NULL)
        return 0;
    written = snprintf(buffer, MAX_PATH, "%s\\%s", tempFolder, name);
    return written > 0 && written < MAX_PATH;
}

/* NT family: lists the item in the pending renames, for deletion at the next
   start; 0, traced, when that is refused. */
int ScheduleNtDeletion(const char *path)
{
    if (PlanOnly)
        return PlanRestartRemoval(path);
    if (MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        NoteScheduled(path);
        return 1;
    }
    TraceFailure(GetLastError(), "Cannot schedule %s", path);
    return 0;
}

/* Moves a file that cannot be deleted out of its folder into the temporary
   folder and schedules the moved file for deletion at the next restart. A
   file that cannot be moved (opened without delete sharing) and every folder
   are scheduled under their own path instead: a folder carried into the
   temporary folder would take files that are not the product's with it. A
   name that does not exist is not scheduled. */
int TempRenameFallback(const char *path)
{
    char temporaryName[MAX_PATH];
    DWORD attributes = GetFileAttributesA(path);

    if (PlanOnly)
        return PlanMoveAside(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && BuildTemporaryName(temporaryName)) {
        if (MoveFileExA(path, temporaryName, MOVEFILE_WRITE_THROUGH))
            return ScheduleNtDeletion(temporaryName);
        TraceFailure(GetLastError(), "Cannot move aside %s", path);
    }
    return ScheduleNtDeletion(path);
}

/* Removes one item by its full path, or schedules it for the next restart.
   The 9x family works on the short path, which its restart-time mechanisms
   need, and schedules files through WININIT.INI and folders whose name is
   longer than four characters through RunOnce; the NT family moves a file in
   use aside. Deleted and scheduled files are traced, folders are not. */
static void DeleteItem(char *path, const char *name)
{
    char shortPath[256];
    char *item = path;
    DWORD attributes, error;

    if (Is9xFamily()) {
        if (!GetShortPath(path, shortPath))
            return;
        item = shortPath;
    }
    attributes = GetFileAttributesA(item);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (RemoveFolder(item))
            return;
        if (IsNtFamily())
            TempRenameFallback(path);
        else if (strlen(name) > 4)
            RemoveDirOnReboot(path);
        return;
    }
    if (!RemoveFile(item, 1)) {
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return;
        TraceFailure(error, "Cannot delete %s", item);
        if (IsNtFamily())
            TempRenameFallback(item);
        else
            DeleteOnReboot(item, NULL);
    }
    TraceDeletion(IsNtFamily() ? "Deleted File\n%s" : "Deleted File\r\n%s", item, NULL);
}

/* Removes folder\name (a file or a folder) now or at the next restart. A pair
   that does not fit a path of 255 characters is skipped as a missing name. */
int DeleteFileOrDefer(const char *folder, const char *name)
{
    char path[256];
    int written;

    if (!IsNtFamily() && !Is9xFamily())
        return 0;
    written = snprintf(path, sizeof(path), "%s\\%s", folder, name);
    if (written < 0 || written >= (int)sizeof(path))
        return 1;
    DeleteItem(path, name);
    return 1;
}

/* Deletes a file now, after clearing its read-only, hidden and system
   attributes when clearAttributes is set; as DeleteFileA, the last error
   tells why it failed. */
BOOL RemoveFile(const char *path, int clearAttributes)
{
    if (PlanOnly)
        return PlanFileRemoval(path, clearAttributes);
    if (clearAttributes)
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path);
}

/* Removes a folder now when it is empty; as RemoveDirectoryA. */
BOOL RemoveFolder(const char *path)
{
    if (PlanOnly)
        return PlanFolderRemoval(path);
    return RemoveDirectoryA(path);
}

/* Puts the short (8.3) form of an existing path into a buffer of 256 bytes;
   0, with the buffer undefined, when the path does not exist or its short
   form would not fit. */
int GetShortPath(const char *path, char *shortPath)
{
    DWORD length = GetShortPathNameA(path, shortPath, 256);

    return length != 0 && length < 256;
}

/* Hands a removal message to a debugger, if one listens, and to the log;
   shows nothing. */
int TraceRemoval(const char *message)
{
    OutputDebugStringA(message);
    if (!PlanOnly)
        ReportLine("%s", message);
    return 1;
}

/* Formats a removal message with up to two names into TraceBuffer and hands
   it to TraceRemoval; a message too long for the buffer is dropped whole. */
void TraceDeletion(const char *format, const char *first, const char *second)
{
    int written = snprintf(TraceBuffer, sizeof(TraceBuffer), format, first, second);

    if (written > 0 && written < (int)sizeof(TraceBuffer))
        TraceRemoval(TraceBuffer);
}

/* Hands a debugger and the log a short line on a deletion, a move aside or
   a scheduling that failed: the formatted text and ": error <code>". A name
   that is not there (2, 3) is the normal case of a row that was never
   installed and is not reported; a line too long for its buffer is dropped
   whole. */
void TraceFailure(DWORD error, const char *format, ...)
{
    char line[sizeof(TraceBuffer)];
    va_list arguments;
    int written, tail;

    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return;
    va_start(arguments, format);
    written = vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    if (written < 0 || written >= (int)sizeof(line))
        return;
    tail = snprintf(line + written, sizeof(line) - written, ": error %lu", error);
    if (tail > 0 && tail < (int)sizeof(line) - written)
        TraceRemoval(line);
}

/* Copies count characters of src from position start (also past a NUL) and
   ends dst after them; dst must hold count + 1 characters. */
void CopySubstring(char *dst, const char *src, unsigned start, unsigned count)
{
    if (start >= start + count) {
        dst[0] = '\0';
        return;
    }
    memcpy(dst, src + start, count);
    dst[count] = '\0';
}
