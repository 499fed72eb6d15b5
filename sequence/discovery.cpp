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

/* The product's own programs, one of which marks its installation folder. */
decltype(TableInstalledPrograms) TableInstalledPrograms = {
#include "InstalledPrograms.inc"
};

#define CurrentVersionKey "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"

/* Replaces the environment variables that a text names ("%SystemDrive%") by
   their values, in its buffer of size bytes; 0, with the buffer empty, when
   the result does not fit. The ANSI call may want a byte more than the result
   and its NUL, so it writes into a buffer of its own. */
static int ExpandInPlace(char *text, DWORD size)
{
    char expanded[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsA(text, expanded, sizeof(expanded));

    if (length != 0 && length <= sizeof(expanded) && strlen(expanded) < size) {
        memcpy(text, expanded, strlen(expanded) + 1);
        return 1;
    }
    text[0] = '\0';
    return 0;
}

/* Reads a text value of at most size - 1 bytes and ends it with a NUL; a
   REG_EXPAND_SZ value is read as its expansion, which must fit as well. 0
   when the value is missing, not text, or longer. */
int ReadTextValue(HKEY key, const char *name, char *buffer, DWORD size)
{
    DWORD type;
    DWORD length = size - 1;

    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)buffer, &length) != ERROR_SUCCESS)
        return 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return 0;
    buffer[length] = '\0';
    return type == REG_SZ || ExpandInPlace(buffer, size);
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

/* Notes one installed printer in the survey values, and in the report with
   what it sets: a queue on the product's own driver in ProductQueueNames; any
   other driver in OtherPrinterDrivers, and as a printer of the maker or the
   first sibling model of the series. */
static void NotePrinter(const char *queue, const char *driver)
{
    const char *role = "", *sibling = "";

    if (_stricmp(driver, ProductDisplayName) == 0) {
        AddToList(ProductQueueNames, ARRAY_SIZE(ProductQueueNames), queue);
        role = ": the product's, removed with it";
    } else {
        AddToList(OtherPrinterDrivers, ARRAY_SIZE(OtherPrinterDrivers), driver);
        if (strstr(driver, MakerName) != NULL) {
            OtherMakerPrinterPresent = 1;
            role = ": another printer of the maker";
        }
        if (!SiblingModelPresent && HoldsPrefix(driver, TABLE_ARGS(TableSiblingPrefixes))) {
            SiblingModelPresent = 1;
            memcpy(SiblingDriverName, driver, strlen(driver) + 1);
            sibling = ", the sibling model of the series";
        }
    }
    ReportLine("Printer \"%s\", driver \"%s\"%s%s", queue, driver, role, sibling);
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

/* True when folder holds a file (not a folder) that a row of a table
   names; with report set, every such file is reported. */
static int HoldsFileOfTable(const char *folder, const char *table, unsigned width, unsigned rows, int report)
{
    char name[256];
    char path[MAX_PATH];
    DWORD attributes;
    unsigned row;
    int found = 0;

    for (row = 0; row < rows && (report || !found); row++) {
        CopySubstring(name, table, row * width, width);
        if (!JoinPath(path, sizeof(path), folder, name))
            continue;
        attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        found = 1;
        if (report)
            ReportLine("The product's program %s is in it", name);
    }
    return found;
}

/* True when folder holds one of the product's own programs that only its
   installation puts there: what a folder that merely bears the product's
   name or holds the same OCR program lacks. */
int HoldsInstalledProgram(const char *folder)
{
    return HoldsFileOfTable(folder, TABLE_ARGS(TableInstalledPrograms), 0);
}

/* Takes a candidate into InstallDir in its canonical spelling unless it
   cannot be the product's folder: not a full path, a folder that does not
   exist, a drive root, the Program Files, Windows or system folder however
   spelt, a folder without any of the product's installed programs, or, with
   a sibling model installed, a folder outside one named "QuenmarT58". A
   refusal is reported with its reason. */
static int TakeInstallDirCandidate(const char *candidate)
{
    char folder[256];
    const char *refusal = NULL;

    if (!IsFullPath(candidate))
        refusal = "not a full path";
    else if (!CanonicalFolder(candidate, folder))
        refusal = "no such folder";
    else if (IsSystemFolder(folder))
        refusal = "a drive root, the Program Files, Windows or system folder";
    else if (!HoldsInstalledProgram(folder))
        refusal = "none of the product's programs in it";
    else if (SiblingModelPresent && !NamesProductFolder(folder))
        refusal = "not in a folder named " ProductFolderName ", and a sibling model is installed";
    if (refusal != NULL) {
        ReportLine("Refused as the installation folder: %s (%s)", candidate, refusal);
        return 0;
    }
    memcpy(InstallDir, folder, strlen(folder) + 1);
    return 1;
}

/* True when a folder, in its long form where it exists, is one of the
   product's folders or lies in one. Read before anything is removed, so that
   a short form still has its long one. */
static int IsProductPlace(const char *folder)
{
    char full[MAX_PATH], longForm[MAX_PATH];
    DWORD length = GetFullPathNameA(folder, sizeof(full), full, NULL);

    if (!IsFullPath(folder) || length == 0 || length >= sizeof(full))
        return 0;
    length = GetLongPathNameA(full, longForm, sizeof(longForm));
    return IsInProductFolder(length > 0 && length < sizeof(longForm) ? longForm : full);
}

/* Sets DefaultInstallDir and InstallDir: the folder two levels above the
   registered OCR program when it can be the product's, else the first folder
   "QuenmarT58" holding one of the product's installed programs on a fixed
   drive other than the Windows drive, else the default folder under Program
   Files. The OCR program's entry counts as the product's only when it names
   a place in the product's folders: other scanner packages bundle that
   program, and the entry is that of whichever package registered it last.
   The report learns where the folder was found and what it holds. */
int FindInstallDir(void)
{
    char programFiles[256] = "";
    char candidate[256];
    const char *source = "none found";
    int written, registered;

    DefaultInstallDir[0] = '\0';
    if (GetProgramFilesFolder(programFiles)) {
        written = snprintf(DefaultInstallDir, sizeof(DefaultInstallDir), "%s\\%s", programFiles,
                           ProductFolderName);
        if (written < 0 || written >= (int)sizeof(DefaultInstallDir))
            DefaultInstallDir[0] = '\0';
    }
    registered = ReadMachineText(AppPathsKey OcrProgramName, NULL, candidate, sizeof(candidate))
                 && CutToInstallFolder(candidate);
    if (registered && TakeInstallDirCandidate(candidate)) {
        source = "named by the App Paths entry of " OcrProgramName;
    } else if (FindFileOnFixedDrives(ProductFolderName)) {
        source = "found by the search of the fixed drives";
    } else if (DefaultInstallDir[0] != '\0') {
        memcpy(InstallDir, DefaultInstallDir, strlen(DefaultInstallDir) + 1);
        source = "the default folder";
    }
    ProductOwnsOcrAppPath = registered && IsProductPlace(candidate);
    if (registered)
        ReportLine("App Paths entry of %s: two folders below %s, %s", OcrProgramName, candidate,
                   ProductOwnsOcrAppPath ? "a place of the product's" : "not a place of the product's");
    ReportLine("Installation folder: %s (%s)", InstallDir, source);
    HoldsFileOfTable(InstallDir, TABLE_ARGS(TableInstalledPrograms), 1);
    return 1;
}

/* Searches the fixed drives other than the Windows drive, in drive order, for
   a folder of that name that holds one of the product's installed programs
   (its full path then in InstallDir); a folder of that name without one is
   passed by. The current drive and folder are put back afterwards. */
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
            found = FindNameInTree(name, 3);
    _chdrive(savedDrive);
    SetCurrentDirectoryA(savedFolder);
    return found;
}
