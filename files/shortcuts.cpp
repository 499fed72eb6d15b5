/* Shortcuts and program groups: the desktop shortcuts of the scan and copy
   control program and of the product, and on Windows 98/Me the product's
   Start-menu groups in every profile below the Windows folder with the
   per-user keys that belong to them. */
#include "uninstall.h"
#include <stdio.h>
#include <string.h>
#include <shlobj.h>
#include "resource.h"

/* The desktop shortcut of the scan and copy control program. */
#define ScanShortcutName "Scan & Copy Control Program.lnk"

decltype(TableProductShortcut) TableProductShortcut = {
#include "ProductShortcut.inc"
};
decltype(TableMenuOrderKey) TableMenuOrderKey = {
#include "MenuOrderKey.inc"
};
decltype(TableVendorKeys) TableVendorKeys = {
#include "VendorKeys.inc"
};

/* 1 when a file name ends in ".lnk" (any case); a pattern search also
   matches longer extensions through their short names. */
static int IsShortcutName(const char *name)
{
    size_t length = strlen(name);

    return length > 4 && _stricmp(name + length - 4, ".lnk") == 0;
}

/* Makes folder the current folder and deletes the shortcuts in it (plain
   deletion, no fallback); a folder that cannot be made current is skipped,
   so that no other folder's shortcuts are ever touched. 0 when skipped. */
int DeleteShortcutsInFolder(const char *folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE find;

    if (folder[0] == '\0' || !SetCurrentDirectoryA(folder))
        return 0;
    find = FindFirstFileA("*.lnk", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 1;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsShortcutName(entry.cFileName)
            && !RemoveFile(entry.cFileName, 0))
            TraceFailure(GetLastError(), "Cannot delete %s\\%s", folder, entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return 1;
}

/* Loads the scan shortcut's name from the string table into a buffer of 256
   bytes; 0 when it is missing, so that an empty name never names a folder. */
static int LoadScanShortcutName(char *name)
{
    return LoadStringA(hInstance, IDS_SCAN_SHORTCUT, name, 256) > 0;
}

/* Deletes folder\name with no fallback; 1 when the shortcut was there
   (whether or not it could be deleted), 0 when it or its folder is missing. */
static int DeleteFoundOnDesktop(const char *folder, const char *name)
{
    char path[256];
    BOOL deleted;
    DWORD error;

    if (!JoinPath(path, sizeof(path), folder, name))
        return 0;
    SetLastError(0);
    deleted = RemoveFile(path, 0);
    error = GetLastError();
    if (!deleted)
        TraceFailure(error, "Cannot delete %s", path);
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

/* Searches the tree below folder for a file called name; 1 when found, with
   its folder in FoundFolder. The search borrows neither the current folder
   (it is put back to folder) nor InstallDir (a folder of that name found on
   the way would otherwise overwrite it). */
static int FindFileBelow(const char *folder, const char *name)
{
    char savedInstallDir[sizeof(InstallDir)];
    char path[256];
    DWORD attributes;
    int found;

    if (!SetCurrentDirectoryA(folder))
        return 0;
    memcpy(savedInstallDir, InstallDir, sizeof(savedInstallDir));
    FoundFolder[0] = '\0';
    found = FindNameInTree(name, 1);
    memcpy(InstallDir, savedInstallDir, sizeof(savedInstallDir));
    SetCurrentDirectoryA(folder);
    if (!found || !JoinPath(path, sizeof(path), FoundFolder, name))
        return 0;
    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* Derives the folder that holds the user profiles from the user's desktop
   path (two folders up) into a buffer of MAX_PATH bytes; 0 when that is not
   a folder below the root of a local fixed drive, which is never searched. */
static int GetProfilesFolder(char *profiles, const char *desktop)
{
    char root[4];
    char *cut;
    int level;

    if (strlen(desktop) >= MAX_PATH)
        return 0;
    strcpy(profiles, desktop);
    for (level = 0; level < 2; level++) {
        cut = strrchr(profiles, '\\');
        if (cut == NULL)
            return 0;
        *cut = '\0';
    }
    if (profiles[1] != ':' || profiles[2] != '\\' || profiles[3] == '\0')
        return 0;
    memcpy(root, profiles, 3);
    root[3] = '\0';
    return GetDriveTypeA(root) == DRIVE_FIXED;
}

/* Windows 98/Me: the shortcuts on the desktop, then the first further copy
   of the scan shortcut below the Windows folder with the product shortcut
   beside it. */
static int Remove9xDesktopShortcuts(void)
{
    char desktop[MAX_PATH];
    char windows[256];
    char scanName[256];
    int scanNameLoaded = LoadScanShortcutName(scanName);

    if (SHGetSpecialFolderPathA(NULL, desktop, CSIDL_DESKTOPDIRECTORY, FALSE) && desktop[0] != '\0') {
        DeleteFileOrDefer(desktop, ScanShortcutName);
        DeleteTable(desktop, TABLE_ARGS(TableProductShortcut));
        if (scanNameLoaded)
            DeleteFileOrDefer(desktop, scanName);
    }
    if (!scanNameLoaded || SiblingModelPresent || !GetWindowsFolder(windows))
        return 1;
    if (FindFileBelow(windows, scanName)) {
        DeleteFileOrDefer(FoundFolder, scanName);
        DeleteTable(FoundFolder, TABLE_ARGS(TableProductShortcut));
    }
    return 1;
}

/* Windows 2000/XP: the scan shortcut on the all-users desktop, else on the
   user's desktop, else the first copy found in the profiles tree. */
static int RemoveNtDesktopShortcuts(void)
{
    char commonDesktop[MAX_PATH];
    char desktop[MAX_PATH];
    char profiles[MAX_PATH];
    char scanName[256];

    if (!SHGetSpecialFolderPathA(NULL, commonDesktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE))
        return 0;
    if (DeleteFoundOnDesktop(commonDesktop, ScanShortcutName))
        return 1;
    if (!SHGetSpecialFolderPathA(NULL, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        return 1;
    if (DeleteFoundOnDesktop(desktop, ScanShortcutName))
        return 1;
    if (SiblingModelPresent || !GetProfilesFolder(profiles, desktop) || !LoadScanShortcutName(scanName))
        return 1;
    if (FindFileBelow(profiles, scanName))
        DeleteFileOrDefer(FoundFolder, scanName);
    return 1;
}

/* Deletes the desktop shortcuts of the scan and copy control program and of
   the product. While a sibling model is installed the tree is not searched:
   the program stays for it, and a shortcut found there is likely the
   sibling's. 0 on the NT family when the all-users desktop is unknown. */
int RemoveDesktopShortcuts(void)
{
    if (IsNtFamily())
        return RemoveNtDesktopShortcuts();
    if (Is9xFamily())
        return Remove9xDesktopShortcuts();
    return 0;
}

/* Deletes the keys that a table names in one profile below HKEY_USERS (with
   their subkeys, as RegDeleteKeyA does on Windows 98/Me), but a key that
   other products share only when nothing is left in it. */
static void DeleteProfileKeys(const char *profile, const char *table, unsigned width, unsigned rows)
{
    char subkey[256];
    char path[256];
    unsigned row;
    LONG status;

    for (row = 0; row < rows; row++) {
        CopySubstring(subkey, table, row * width, width);
        if (!JoinPath(path, sizeof(path), profile, subkey))
            continue;
        status = IsSharedKeyRow(table, width, row) ? DeleteKeyIfEmpty(HKEY_USERS, path)
                                                   : DeleteKeyWithSubkeys(HKEY_USERS, path);
        if (status != ERROR_SUCCESS)
            TraceFailure((DWORD)status, "Cannot delete key HKU\\%s", path);
    }
}

/* 1 when InstallDir, just set by a folder search, names a folder called
   after the product. */
static int FoundProductFolder(void)
{
    const char *name = strrchr(InstallDir, '\\');

    return name != NULL && _stricmp(name + 1, ProductDisplayName) == 0;
}

/* The most searches for program groups below the Windows folder in one run. */
#define MaxGroupSearches 32

/* Finds the folders named after the product below the Windows folder one
   search at a time, deletes their shortcuts and removes them. A found folder
   that cannot be removed now (it holds other files) is scheduled, and the
   later searches pass it, so that the groups found after it go too. */
static void RemoveGroupFoldersBelowWindows(void)
{
    char windows[256];
    char group[256];
    char shortGroup[256];
    char savedInstallDir[sizeof(InstallDir)];
    char passed[MaxGroupSearches * sizeof(InstallDir) + 1] = "";
    size_t passedLength = 0;
    unsigned search;

    if (!GetWindowsFolder(windows))
        return;
    memcpy(savedInstallDir, InstallDir, sizeof(savedInstallDir));
    for (search = 0; search < MaxGroupSearches; search++) {
        if (!SetCurrentDirectoryA(windows))
            break;
        InstallDir[0] = '\0';
        if (!FindNameInTree(ProductDisplayName, 0, passed) || !FoundProductFolder())
            break;
        memcpy(group, InstallDir, sizeof(group));
        if (GetShortPath(group, shortGroup))
            memcpy(group, shortGroup, sizeof(group));
        DeleteShortcutsInFolder(group);
        SetCurrentDirectoryA(windows);
        if (!RemoveFolder(group)) {
            RemoveDirOnReboot(group);
            memcpy(passed + passedLength, InstallDir, strlen(InstallDir) + 1);
            passedLength += strlen(InstallDir) + 1;
            passed[passedLength] = '\0';
        }
    }
    memcpy(InstallDir, savedInstallDir, sizeof(savedInstallDir));
}

/* Windows 98/Me: deletes in every profile the Start-menu ordering key of the
   program group and, unless a sibling model still uses them, the two
   vendors' keys; then removes the program groups below the Windows folder.
   0 on any other family and when HKEY_USERS cannot be opened. */
int RemoveProgramGroupFolders(void)
{
    HKEY users;
    char profile[256];
    DWORD index;
    DWORD size;
    LONG result;

    if (!Is9xFamily() || RegOpenKeyA(HKEY_USERS, NULL, &users) != ERROR_SUCCESS)
        return 0;
    for (index = 0;; index++) {
        size = 255;
        result = RegEnumKeyExA(users, index, profile, &size, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        profile[255] = '\0';
        DeleteProfileKeys(profile, TABLE_ARGS(TableMenuOrderKey));
        if (!SiblingModelPresent)
            DeleteProfileKeys(profile, TABLE_ARGS(TableVendorKeys));
    }
    RegCloseKey(users);
    RemoveGroupFoldersBelowWindows();
    return 1;
}
