/* The registry phase: the printer and device registrations found by their
   content, and the keys and values that the product's installer is known to
   create, named in tables and chosen by the Windows family and by the
   printers of the maker and of the model series that stay installed. */
#include "uninstall.h"

decltype(TableRegC1) TableRegC1 = {
#include "RegC1.inc"
};
decltype(TableRegC4) TableRegC4 = {
#include "RegC4.inc"
};
decltype(TableRegC5) TableRegC5 = {
#include "RegC5.inc"
};
decltype(TableRegC6) TableRegC6 = {
#include "RegC6.inc"
};
decltype(TableRegC7) TableRegC7 = {
#include "RegC7.inc"
};
decltype(TableRegC8) TableRegC8 = {
#include "RegC8.inc"
};
decltype(TableRegC9) TableRegC9 = {
#include "RegC9.inc"
};
decltype(TableRegW1) TableRegW1 = {
#include "RegW1.inc"
};
decltype(TableRegW2) TableRegW2 = {
#include "RegW2.inc"
};
decltype(TableRegW3) TableRegW3 = {
#include "RegW3.inc"
};
decltype(TableRegW4) TableRegW4 = {
#include "RegW4.inc"
};
decltype(TableRegW5) TableRegW5 = {
#include "RegW5.inc"
};
decltype(TableRegW6) TableRegW6 = {
#include "RegW6.inc"
};
decltype(TableRegW7) TableRegW7 = {
#include "RegW7.inc"
};
decltype(TableRegW8) TableRegW8 = {
#include "RegW8.inc"
};
decltype(TableRegW9) TableRegW9 = {
#include "RegW9.inc"
};
decltype(TableRegW9Maker) TableRegW9Maker = {
#include "RegW9Maker.inc"
};
decltype(TableRegW10) TableRegW10 = {
#include "RegW10.inc"
};
decltype(TableRegW10Maker) TableRegW10Maker = {
#include "RegW10Maker.inc"
};
decltype(TableRegW12) TableRegW12 = {
#include "RegW12.inc"
};
decltype(TableRegW13) TableRegW13 = {
#include "RegW13.inc"
};
decltype(TableRegW14) TableRegW14 = {
#include "RegW14.inc"
};
decltype(TableRegN1) TableRegN1 = {
#include "RegN1.inc"
};
decltype(TableRegN2) TableRegN2 = {
#include "RegN2.inc"
};
decltype(TableRegN3) TableRegN3 = {
#include "RegN3.inc"
};
decltype(TableRegN4) TableRegN4 = {
#include "RegN4.inc"
};
decltype(TableRegN5) TableRegN5 = {
#include "RegN5.inc"
};
decltype(TableRegN6) TableRegN6 = {
#include "RegN6.inc"
};
decltype(TableRegN7) TableRegN7 = {
#include "RegN7.inc"
};
decltype(TableRegN8) TableRegN8 = {
#include "RegN8.inc"
};
decltype(TableRegN9) TableRegN9 = {
#include "RegN9.inc"
};
decltype(TableRegN10) TableRegN10 = {
#include "RegN10.inc"
};
decltype(TableRegN10Maker) TableRegN10Maker = {
#include "RegN10Maker.inc"
};
decltype(TableRegN11) TableRegN11 = {
#include "RegN11.inc"
};
decltype(TableRegN12) TableRegN12 = {
#include "RegN12.inc"
};

#define RunKey "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define SharedDllsKey "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
#define InstalledFilesKey "System\\CurrentControlSet\\Control\\InstalledFiles"
#define Known16DllsKey "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs"
#define IcmKey "Software\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr"
#define OemNameKey "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name"
#define ProblemKeyA "System\\CurrentControlSet\\Control\\ASD\\Prob\\{9B4E7760-3196-11CF-97EA-00AA0034319D}"
#define ProblemKeyB "System\\CurrentControlSet\\Control\\ASD\\Prob\\{CF2524C0-29AE-11CF-97EA-00AA0034319D}"

/* Traces of deleted values: the first %s is the value's name, the second the
   path of its key. ListTrace serves the 9x lists of installed files, 16-bit
   modules, colour profiles and OEM INF names. */
#define RunTrace "Deleted Registry Value %s from \nHKLM\\%s"
#define SharedDllsTrace "Deleted Registry Value %s from HKLM\r\n%s"
#define PrinterSettingsTrace "Deleted Registry Value %s from HKCU\n%s"
#define ListTrace "Deleted Value %s\n From HKLM\\%s"
#define ProblemTrace "Deleted Value %s\r\n From HKLM\\%s"

/* Deletes root\path with its subkeys. On the NT family a key of the machine
   (below HKLM, or among its classes below HKCR) whose access list refuses
   the deletion is deleted as the device keys are, its access list replaced
   on the way, rather than left behind. */
static LONG DeleteProductKey(HKEY root, const char *path)
{
    char machinePath[256];
    LONG status = DeleteKeyWithSubkeys(root, path);
    int written;

    if (status != ERROR_ACCESS_DENIED || !IsNtFamily() || (root != HKEY_LOCAL_MACHINE && root != HKEY_CLASSES_ROOT))
        return status;
    written = snprintf(machinePath, sizeof(machinePath), "%s%s", root == HKEY_CLASSES_ROOT ? "SOFTWARE\\Classes\\" : "",
                       path);
    if (written < 0 || written >= (int)sizeof(machinePath))
        return status;
    return DeleteKeyTree(machinePath) == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}

/* Deletes the keys that a table names below root, each with its subkeys,
   but for a key that other products share: that one goes only when nothing
   is left in it once the product's keys named before it are gone. Each
   deletion is traced with the key's path by format, or, without one, as
   "Deleted Registry Entry" with the root's short name in front of the path. */
static void DeleteKeysTracedAs(HKEY root, const char *format, const char *table, unsigned width, unsigned rows)
{
    char path[256];
    unsigned row;
    LONG status;

    for (row = 0; row < rows; row++) {
        CopySubstring(path, table, row * width, width);
        if (_stricmp(path, AppPathsKey OcrProgramName) == 0 && !ProductOwnsOcrAppPath)
            continue;
        status = IsSharedKeyRow(table, width, row) ? DeleteKeyIfEmpty(root, path) : DeleteProductKey(root, path);
        if (status != ERROR_SUCCESS)
            TraceFailure((DWORD)status, "Cannot delete key %s\\%s", RootName(root), path);
        else if (format != NULL)
            TraceDeletion(format, path, NULL);
        else
            TraceDeletion("Deleted Registry Entry\n%s\\%s", RootName(root), path);
    }
}

static void DeleteKeysFromTable(HKEY root, const char *table, unsigned width, unsigned rows)
{
    DeleteKeysTracedAs(root, NULL, table, width, rows);
}

/* Deletes the device enumeration keys that a table names below HKEY_LOCAL_MACHINE,
   repairing their access lists on the way (only a failure is traced). */
static void DeleteKeyTreesFromTable(const char *table, unsigned width, unsigned rows)
{
    char path[256];
    unsigned row;

    for (row = 0; row < rows; row++) {
        CopySubstring(path, table, row * width, width);
        DeleteKeyTree(path);
    }
}

/* Deletes one value of the open key root\keyPath and traces it (when a
   format is given) with the value's name and the key's path. */
static void DeleteTracedValue(HKEY root, HKEY key, const char *keyPath, const char *valueName,
                              const char *traceFormat)
{
    LONG status = DeleteRegistryValue(root, keyPath, key, valueName);

    if (status != ERROR_SUCCESS)
        TraceFailure((DWORD)status, "Cannot delete value %s of %s\\%s", valueName, RootName(root), keyPath);
    else if (traceFormat != NULL)
        TraceDeletion(traceFormat, valueName, keyPath);
}

/* Deletes the value valueName of root\keyPath; nothing when the key does not open. */
static void DeleteSingleValue(HKEY root, const char *keyPath, const char *valueName, const char *traceFormat)
{
    HKEY key;

    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    DeleteTracedValue(root, key, keyPath, valueName, traceFormat);
    RegCloseKey(key);
}

/* Deletes the value valueName from each key below root that a table names. */
static void DeleteValueFromKeys(HKEY root, const char *valueName, const char *traceFormat, const char *table,
                                unsigned width, unsigned rows)
{
    char path[256];
    unsigned row;

    for (row = 0; row < rows; row++) {
        CopySubstring(path, table, row * width, width);
        DeleteSingleValue(root, path, valueName, traceFormat);
    }
}

/* Deletes from root\keyPath the values that a table names, each name joined
   to folder with "\" when a folder is given; nothing when the key does not
   open. A joined name that would not fit is skipped. */
static void DeleteValuesFromTable(HKEY root, const char *keyPath, const char *folder, const char *traceFormat,
                                  const char *table, unsigned width, unsigned rows)
{
    char row[256], name[256];
    unsigned index;
    HKEY key;

    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (index = 0; index < rows; index++) {
        CopySubstring(row, table, index * width, width);
        if (folder == NULL)
            DeleteTracedValue(root, key, keyPath, row, traceFormat);
        else if (JoinPath(name, sizeof(name), folder, row))
            DeleteTracedValue(root, key, keyPath, name, traceFormat);
    }
    RegCloseKey(key);
}

/* Keys and values of the product on both families. */
int RemoveCommonRegistryEntries(void)
{
    char windows[256], name[256];

    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, RunKey, NULL, RunTrace, TABLE_ARGS(TableRegC1));
    if (GetWindowsFolder(windows) && JoinPath(name, sizeof(name), windows, "unvise32.exe"))
        DeleteSingleValue(HKEY_LOCAL_MACHINE, SharedDllsKey, name, NULL);
    DeleteDefaultPrinterValue(HKEY_CURRENT_USER, "Printers", "DeviceOld");
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE_ARGS(TableRegC4));
    DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegC5));
    if (!SiblingModelPresent) {
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegC6));
        DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE_ARGS(TableRegC7));
    }
    if (OtherMakerPrinterPresent)
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegC8));
    else
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegC9));
    return 1;
}

/* Keys and values of the product on Windows 98 and Me. */
int Remove9xRegistryEntries(void)
{
    char windows[256], inf[256];

    if (IsNtFamily())
        return 0;
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, RunKey, NULL, RunTrace, TABLE_ARGS(TableRegW1));
    DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE_ARGS(TableRegW2));
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE_ARGS(TableRegW3));
    DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegW4));
    if (OtherMakerPrinterPresent)
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegW5));
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegW6));
    DeleteKeysTracedAs(HKEY_CURRENT_USER, "Deleted Registry Key\n%s", TABLE_ARGS(TableRegW7));
    DeleteKeysFromTable(HKEY_CURRENT_CONFIG, TABLE_ARGS(TableRegW8));
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, InstalledFilesKey, NULL, ListTrace, TABLE_ARGS(TableRegW9));
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, InstalledFilesKey, NULL, ListTrace, TABLE_ARGS(TableRegW9Maker));
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, Known16DllsKey, NULL, ListTrace, TABLE_ARGS(TableRegW10));
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, Known16DllsKey, NULL, ListTrace, TABLE_ARGS(TableRegW10Maker));
    DeleteSingleValue(HKEY_LOCAL_MACHINE, IcmKey, "qnmT58.icm", ListTrace);
    if (GetWindowsFolder(windows) && JoinPath(inf, sizeof(inf), windows, "inf"))
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, OemNameKey, inf, ListTrace, TABLE_ARGS(TableRegW12));
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, ProblemKeyA, NULL, ProblemTrace, TABLE_ARGS(TableRegW13));
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, ProblemKeyB, NULL, ProblemTrace, TABLE_ARGS(TableRegW13));
    if (IsWinMe)
        DeleteKeysTracedAs(HKEY_CURRENT_USER, "Deleted Key %s\r\n From HKCU", TABLE_ARGS(TableRegW14));
    RemoveProgramGroupFolders();
    DeleteKeysByValue("System\\CurrentControlSet\\Services\\Class\\Image", DriverDescValue, ScannerDescription, 0);
    DeleteKeysByValue("System\\CurrentControlSet\\Services\\Class\\PrintAMUSB", DriverDescValue, ProductDisplayName, 0);
    DeleteKeysByValue(Printer9xClassKey, DriverDescValue, ProductDisplayName, 0);
    return 1;
}

/* Keys and values of the product on Windows 2000 and XP. */
int RemoveNtRegistryEntries(void)
{
    char system[256];

    if (Is9xFamily())
        return 0;
    DeleteKeyTreesFromTable(TABLE_ARGS(TableRegN1));
    if (!OtherMakerPrinterPresent) {
        DeleteKeyTreesFromTable(TABLE_ARGS(TableRegN2));
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegN3));
    }
    DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegN4));
    DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE_ARGS(TableRegN5));
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE_ARGS(TableRegN6));
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, RunKey, NULL, RunTrace, TABLE_ARGS(TableRegN7));
    if (ProductPrinterName[0] != '\0')
        DeleteValueFromKeys(HKEY_CURRENT_USER, ProductPrinterName, PrinterSettingsTrace, TABLE_ARGS(TableRegN8));
    DeleteKeysFromTable(HKEY_CURRENT_CONFIG, TABLE_ARGS(TableRegN9));
    if (GetSystemFolder(system)) {
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, SharedDllsKey, system, SharedDllsTrace, TABLE_ARGS(TableRegN10));
        if (!OtherMakerPrinterPresent)
            DeleteValuesFromTable(HKEY_LOCAL_MACHINE, SharedDllsKey, system, SharedDllsTrace,
                                  TABLE_ARGS(TableRegN10Maker));
    }
    if (IsWin2000) {
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE_ARGS(TableRegN11));
        return 1;
    }
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE_ARGS(TableRegN12));
    return 1;
}

/* The registry phase, in its fixed order; the queues go last. */
int RemoveRegistryEntries(void)
{
    RemoveDeviceRegistrations();
    RemoveCommonRegistryEntries();
    if (Is9xFamily())
        Remove9xRegistryEntries();
    else if (IsNtFamily())
        RemoveNtRegistryEntries();
    else
        return 0;
    RemoveDeviceClassEntries();
    return RemovePrinterQueues();
}
