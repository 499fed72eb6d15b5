/* Start-up discovery: which printers of the same maker and model series are
   installed, and in which folder the product is installed. */
#include <ctype.h>
#include <direct.h>
#include <stdio.h>
#include <string.h>
#include <shlwapi.h>
#include "uninstall.h"

/* Driver-name prefixes of the product's model series. */
decltype(TableSiblingPrefixes) TableSiblingPrefixes = {
#include "SiblingPrefixes.inc"
};

#define CurrentVersionKey "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"

/* Reads a text value of at most size - 1 bytes and ends it with a NUL; 0 when
   the value is missing, not text, or longer. */
int ReadTextValue(HKEY key, const char *name, char *buffer, DWORD size)
{
    DWORD type;
    DWORD length = size - 1;

    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)buffer, &length) != ERROR_SUCCESS)
        return 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return 0;
    buffer[length] = '\0';
    return 1;
}

/* Reads a text value of a key below HKEY_LOCAL_MACHINE (see ReadTextValue). */
static int ReadMachineText(const char *keyPath, const char *name, char *buffer, DWORD size)
{
    HKEY key;
    int read;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    read = ReadTextValue(key, name, buffer, size);
    RegCloseKey(key);
    return read;
}

/* True when the driver's name holds one of the prefixes that a table names,
   looked for from the first row to the last. */
static int HoldsPrefix(const char *driver, const char *table, unsigned width, unsigned rows)
{
    char prefix[256];
    unsigned row;

    for (row = 0; row < rows; row++) {
        CopySubstring(prefix, table, row * width, width);
        if (strstr(driver, prefix) != NULL)
            return 1;
    }
    return 0;
}

/* Adds a name of at most 255 characters to a list of rows of 256 bytes
   that ends at its first empty row, unless the list holds it already
   (ignoring case); a full list takes no more. */
static void AddToList(char (*list)[256], unsigned rows, const char *name)
{
    unsigned row;

    for (row = 0; row < rows && list[row][0] != '\0'; row++)
        if (_stricmp(list[row], name) == 0)
            return;
    if (row < rows)
        memcpy(list[row], name, strlen(name) + 1);
}

/* Notes one installed printer in the survey values: a queue on the product's
   own driver in ProductQueueNames; any other driver in OtherPrinterDrivers,
   and as a printer of the maker or the first sibling model of the series. */
static void NotePrinter(const char *queue, const char *driver)
{
    if (_stricmp(driver, ProductDisplayName) == 0) {
        AddToList(ProductQueueNames, ARRAY_SIZE(ProductQueueNames), queue);
        return;
    }
    AddToList(OtherPrinterDrivers, ARRAY_SIZE(OtherPrinterDrivers), driver);
    if (strstr(driver, MakerName) != NULL)
        OtherMakerPrinterPresent = 1;
    if (SiblingModelPresent || !HoldsPrefix(driver, TABLE_ARGS(TableSiblingPrefixes)))
        return;
    SiblingModelPresent = 1;
    memcpy(SiblingDriverName, driver, strlen(driver) + 1);
}

/* Sets OtherMakerPrinterPresent, SiblingModelPresent, SiblingDriverName (the
   first sibling model in enumeration order) and the lists of the product's
   queues and of the other printers' drivers from every installed printer. A
   printer whose name or driver is too long, or whose driver is no text, is
   skipped. */
void SurveyPrinters(void)
{
    char name[256];
    char driver[256];
    HKEY printers, printer;
    DWORD index, length;
    LONG result;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PrintersKey, 0, KEY_READ, &printers) != ERROR_SUCCESS)
        return;
    for (index = 0;; index++) {
        length = sizeof(name);
        result = RegEnumKeyExA(printers, index, name, &length, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        if (RegOpenKeyExA(printers, name, 0, KEY_QUERY_VALUE, &printer) != ERROR_SUCCESS)
            continue;
        if (ReadTextValue(printer, PrinterDriverValue, driver, sizeof(driver)))
            NotePrinter(name, driver);
        RegCloseKey(printer);
    }
    RegCloseKey(printers);
}

/* Puts "Program Files" in the root of the Windows drive into a buffer of 256 bytes. */
static int GetWindowsDriveProgramFiles(char *folder)
{
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
    int written;

    if (length < 3 || length >= sizeof(windows))
        return 0;
    written = snprintf(folder, 256, "%.3sProgram Files", windows);
    return written > 0 && written < 256;
}

/* Puts the Program Files folder into a buffer of 256 bytes: the registered
   one, or else "Program Files" in the root of the Windows drive. */
static int GetProgramFilesFolder(char *folder)
{
    return ReadMachineText(CurrentVersionKey, "ProgramFilesDir", folder, 256) || GetWindowsDriveProgramFiles(folder);
}

/* Turns the registered path of the OCR program into the folder two levels
   above it: surrounding quotes dropped, then the file name and the OCR
   program's own folder cut off. 0 when the path has fewer than two
   backslashes. */
static int CutToInstallFolder(char *path)
{
    char *end;
    int cut;

    if (path[0] == '"') {
        memmove(path, path + 1, strlen(path));
        end = strchr(path, '"');
        if (end != NULL)
            *end = '\0';
    }
    for (cut = 0; cut < 2; cut++) {
        end = strrchr(path, '\\');
        if (end == NULL)
            return 0;
        *end = '\0';
    }
    return 1;
}

/* True when "\QuenmarT58" (in this letter case) is a whole folder name in
   path, so that a sibling's "QuenmarT580" does not count. */
static int NamesProductFolder(const char *path)
{
    static const char folderName[] = "\\" ProductFolderName;
    const size_t length = sizeof(folderName) - 1;
    const char *at;

    for (at = strstr(path, folderName); at != NULL; at = strstr(at + 1, folderName))
        if (at[length] == '\\' || at[length] == '\0')
            return 1;
    return 0;
}

/* Brings an existing folder to one spelling in a buffer of 256 bytes: its
   full path (no "." or ".." parts, no doubled or forward separators), in long
   names, without a trailing separator unless it is a root. 0 when the folder
   does not exist or the spelling does not fit. */
static int CanonicalFolder(const char *folder, char *canonical)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(folder, sizeof(full), full, NULL);
    DWORD attributes;

    if (length == 0 || length >= sizeof(full))
        return 0;
    length = GetLongPathNameA(full, canonical, 256);
    if (length == 0 || length >= 256)
        return 0;
    while (length > 3 && canonical[length - 1] == '\\')
        canonical[--length] = '\0';
    attributes = GetFileAttributesA(canonical);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* True when a folder in canonical spelling is a drive root, the registered
   Program Files folder, "Program Files" on the Windows drive, the Windows
   folder or the system folder, each also brought to its canonical spelling. */
static int IsSystemFolder(const char *folder)
{
    char others[4][256] = {}, other[256];
    int i;

    ReadMachineText(CurrentVersionKey, "ProgramFilesDir", others[0], sizeof(others[0]));
    GetWindowsDriveProgramFiles(others[1]);
    GetWindowsFolder(others[2]);
    GetSystemFolder(others[3]);
    for (i = 0; i < 4; i++)
        if (others[i][0] != '\0' && CanonicalFolder(others[i], other) && _stricmp(folder, other) == 0)
            return 1;
    return PathIsRootA(folder);
}

/* True for a full path: "C:" alone, "C:Apps" or "\Apps" would be taken
   from whatever drive and folder are current. */
static int IsFullPath(const char *path)
{
    if (path[0] == '\\')
        return path[1] == '\\';
    return isalpha((unsigned char)path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

/* Takes a candidate into InstallDir in its canonical spelling unless it
   cannot be the product's folder: not a full path, a folder that does not
   exist, a drive root, the Program Files, Windows or system folder however
   spelt, or, with a sibling model installed, a folder outside one named
   "QuenmarT58". */
static int TakeInstallDirCandidate(const char *candidate)
{
    char folder[256];

    if (!IsFullPath(candidate) || !CanonicalFolder(candidate, folder) || IsSystemFolder(folder))
        return 0;
    if (SiblingModelPresent && !NamesProductFolder(folder))
        return 0;
    memcpy(InstallDir, folder, strlen(folder) + 1);
    return 1;
}

/* Sets DefaultInstallDir and InstallDir: the folder two levels above the
   registered OCR program when it can be the product's, else a folder
   "QuenmarT58" found on a fixed drive other than the Windows drive, else the
   default folder under Program Files. */
int FindInstallDir(void)
{
    char programFiles[256] = "";
    char candidate[256];
    int written;

    DefaultInstallDir[0] = '\0';
    if (GetProgramFilesFolder(programFiles)) {
        written = snprintf(DefaultInstallDir, sizeof(DefaultInstallDir), "%s\\%s", programFiles,
                           ProductFolderName);
        if (written < 0 || written >= (int)sizeof(DefaultInstallDir))
            DefaultInstallDir[0] = '\0';
    }
    if (ReadMachineText(AppPathsKey OcrProgramName, NULL, candidate, sizeof(candidate))
        && CutToInstallFolder(candidate) && TakeInstallDirCandidate(candidate))
        return 1;
    if (!FindFileOnFixedDrives(ProductFolderName) && DefaultInstallDir[0] != '\0')
        memcpy(InstallDir, DefaultInstallDir, strlen(DefaultInstallDir) + 1);
    return 1;
}

/* Searches the fixed drives other than the Windows drive, in drive order, for
   a folder of that name (its full path then in InstallDir). The current drive
   and folder are put back afterwards. */
int FindFileOnFixedDrives(const char *name)
{
    char savedFolder[256];
    char windows[MAX_PATH];
    char windowsRoot[4];
    char drives[256];
    const char *root;
    int savedDrive = _getdrive();
    int found = 0;
    DWORD length;

    length = GetCurrentDirectoryA(sizeof(savedFolder), savedFolder);
    if (length == 0 || length >= sizeof(savedFolder))
        return 0;
    length = GetWindowsDirectoryA(windows, sizeof(windows));
    if (length < 3 || length >= sizeof(windows))
        return 0;
    CopySubstring(windowsRoot, windows, 0, 3);
    length = GetLogicalDriveStringsA(sizeof(drives) - 1, drives);
    if (length == 0 || length >= sizeof(drives) - 1)
        return 0;
    for (root = drives; *root != '\0' && !found; root += strlen(root) + 1)
        if (GetDriveTypeA(root) == DRIVE_FIXED && _stricmp(root, windowsRoot) != 0
            && SetCurrentDirectoryA(root))
            found = FindNameInTree(name, 0);
    _chdrive(savedDrive);
    SetCurrentDirectoryA(savedFolder);
    return found;
}
