/* Search of the folder tree below the current folder for one name, walked
   depth first with an explicit list of pending folders instead of recursion,
   so that the depth of the tree does not matter. */
#include <string.h>
#include "uninstall.h"

#define PENDING_PATH_SIZE 260
#define FIRST_PENDING_COUNT 1000

/* Folders still to be listed: paths of PENDING_PATH_SIZE bytes in one heap
   block that doubles whenever it is full. */
struct PendingFolders {
    char *paths;
    SIZE_T count, capacity;
};

/* Appends a folder path; 0 when the list cannot grow (the folder is then
   left out of the walk). */
static int PushPendingFolder(PendingFolders *pending, const char *path)
{
    char *grown;

    if (pending->count == pending->capacity) {
        grown = (char *)HeapReAlloc(GetProcessHeap(), 0, pending->paths,
                                    pending->capacity * 2 * PENDING_PATH_SIZE);
        if (grown == NULL)
            return 0;
        pending->paths = grown;
        pending->capacity *= 2;
    }
    memcpy(pending->paths + pending->count * PENDING_PATH_SIZE, path, strlen(path) + 1);
    pending->count++;
    return 1;
}

/* Takes the folder appended last off the list into folder; 0 when the list
   is used up. */
static int PopPendingFolder(PendingFolders *pending, char *folder)
{
    const char *path;

    if (pending->count == 0)
        return 0;
    pending->count--;
    path = pending->paths + pending->count * PENDING_PATH_SIZE;
    memcpy(folder, path, strlen(path) + 1);
    return 1;
}

/* Joins folder, a backslash (unless folder ends in one) and name into a
   buffer of PENDING_PATH_SIZE bytes; 0 when the path would not fit. */
static int JoinFolderPath(char *path, const char *folder, const char *name)
{
    size_t folderLength = strlen(folder);
    size_t separator = folderLength > 0 && folder[folderLength - 1] == '\\' ? 0 : 1;
    size_t nameLength = strlen(name);

    if (folderLength + separator + nameLength >= PENDING_PATH_SIZE)
        return 0;
    memcpy(path, folder, folderLength);
    if (separator)
        path[folderLength] = '\\';
    memcpy(path + folderLength + separator, name, nameLength + 1);
    return 1;
}

/* True when folder is one of the product's folders (InstallDir,
   DefaultInstallDir) or lies below one, compared in long form ignoring case. */
int IsInProductFolder(const char *folder)
{
    const char *productFolders[2] = {InstallDir, DefaultInstallDir};
    char product[PENDING_PATH_SIZE];
    DWORD length;
    int i;

    for (i = 0; i < 2; i++) {
        length = GetLongPathNameA(productFolders[i], product, sizeof(product));
        if (length == 0 || length >= sizeof(product)) {
            length = (DWORD)strlen(productFolders[i]);
            memcpy(product, productFolders[i], length + 1);
        }
        if (length > 0 && _strnicmp(folder, product, length) == 0
            && (folder[length] == '\0' || folder[length] == '\\'))
            return 1;
    }
    return 0;
}

/* True when path is one of the folders of a list of full paths, each ended by
   a NUL and the list by an empty one (NULL: none), ignoring case. */
static int IsPassedFolder(const char *passed, const char *path)
{
    for (; passed != NULL && *passed != '\0'; passed += strlen(passed) + 1)
        if (_stricmp(passed, path) == 0)
            return 1;
    return 0;
}

/* Looks at one entry listed in folder: a subfolder is queued, or, when its
   name is the sought one, its full path goes to InstallDir; in mode 1 a
   matching file (or folder) puts folder into FoundFolder. Mode 2 takes only a
   file outside the product's folders, whose copies there wait for their
   deletion at the next restart, and walks on past them. Mode 3 takes only a
   folder that holds one of the product's installed programs, and walks on
   past (and into) one that holds none, such as a copy of the driver CD.
   Entries with the system attribute are neither entered nor matched, and
   neither are links (junctions, mount points, symbolic links): what a link
   leads to is either walked where it really lies or is not the product's,
   and a link back up the tree would make the walk endless. A passed folder is
   only queued, and an entry that a plan reported as gone is not taken. 1
   when found. */
static int VisitEntry(PendingFolders *pending, const char *folder, const WIN32_FIND_DATAA *entry,
                      const char *name, int mode, const char *passed)
{
    char path[PENDING_PATH_SIZE];
    int matches;

    if (strcmp(entry->cFileName, ".") == 0 || strcmp(entry->cFileName, "..") == 0
        || (entry->dwFileAttributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT)))
        return 0;
    matches = _stricmp(entry->cFileName, name) == 0;
    if (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!JoinFolderPath(path, folder, entry->cFileName))
            return 0;
        if (!matches || mode == 2 || strlen(path) >= sizeof(InstallDir) || IsPassedFolder(passed, path)
            || (mode == 3 && !HoldsInstalledProgram(path)) || IsPlannedAway(path)) {
            PushPendingFolder(pending, path);
            return 0;
        }
        memcpy(InstallDir, path, strlen(path) + 1);
    } else if (mode == 0 || mode == 3 || !matches || (mode == 2 && IsInProductFolder(folder))
               || (JoinFolderPath(path, folder, entry->cFileName) && IsPlannedAway(path))) {
        return 0;
    }
    if (mode == 1 || mode == 2)
        memcpy(FoundFolder, folder, strlen(folder) + 1);
    return 1;
}

/* Lists one folder by its full path and looks at each entry; 1 when the
   sought entry was found. A folder whose listing cannot be started counts as
   empty. */
static int ListFolder(PendingFolders *pending, const char *folder, const char *name, int mode, const char *passed)
{
    char pattern[PENDING_PATH_SIZE];
    WIN32_FIND_DATAA entry;
    HANDLE listing;
    int found = 0;

    if (!JoinFolderPath(pattern, folder, "*"))
        return 0;
    listing = FindFirstFileA(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    do
        found = VisitEntry(pending, folder, &entry, name, mode, passed);
    while (!found && FindNextFileA(listing, &entry));
    FindClose(listing);
    return found;
}

/* Searches the tree below the current folder for a folder (mode 0), any
   entry (mode 1), a file outside the product's folders (mode 2) or a folder
   holding one of the product's installed programs (mode 3) of that name,
   ignoring case; the subfolders of a folder are visited in the reverse
   of their listing order. A folder of that name in passed (full paths as
   this walk spells them, see IsPassedFolder; NULL: none) is walked into like
   any other, never taken. The folders are listed by their full paths: making
   each one current would cost another open and close per folder, a third of
   the walk's time under Wine. */
int FindNameInTree(const char *name, int mode, const char *passed)
{
    PendingFolders pending;
    char folder[PENDING_PATH_SIZE];
    DWORD length = GetCurrentDirectoryA(sizeof(folder), folder);
    int found = 0;

    if (length == 0 || length >= sizeof(folder))
        return 0;
    pending.paths = (char *)HeapAlloc(GetProcessHeap(), 0, FIRST_PENDING_COUNT * PENDING_PATH_SIZE);
    if (pending.paths == NULL)
        return 0;
    pending.count = 0;
    pending.capacity = FIRST_PENDING_COUNT;
    do
        found = ListFolder(&pending, folder, name, mode, passed);
    while (!found && PopPendingFolder(&pending, folder));
    HeapFree(GetProcessHeap(), 0, pending.paths);
    return found;
}
