/* The registry phase: the printer and device registrations found by their
   content, and the keys and values that the product's installer is known to
   create, named in tables and chosen by the Windows family and by the
   printers of the maker and of the model series that stay installed. */
#include "uninstall.h"

/* Name tables: one row per line in registry/tables/<name>.tbl. */
static const char TableRegC1[][27] = {
#include "RegC1.inc"
};
static const char TableRegC4[][49] = {
#include "RegC4.inc"
};
static const char TableRegC5[][77] = {
#include "RegC5.inc"
};
static const char TableRegC6[][66] = {
#include "RegC6.inc"
};
static const char TableRegC7[][65] = {
#include "RegC7.inc"
};
static const char TableRegC8[][31] = {
#include "RegC8.inc"
};
static const char TableRegC9[][17] = {
#include "RegC9.inc"
};
static const char TableRegW1[][16] = {
#include "RegW1.inc"
};
static const char TableRegW2[][65] = {
#include "RegW2.inc"
};
static const char TableRegW3[][61] = {
#include "RegW3.inc"
};
static const char TableRegW4[][108] = {
#include "RegW4.inc"
};
static const char TableRegW5[][80] = {
#include "RegW5.inc"
};
static const char TableRegW6[][62] = {
#include "RegW6.inc"
};
static const char TableRegW7[][94] = {
#include "RegW7.inc"
};
static const char TableRegW8[][60] = {
#include "RegW8.inc"
};
static const char TableRegW9[][13] = {
#include "RegW9.inc"
};
static const char TableRegW9Maker[][13] = {
#include "RegW9Maker.inc"
};
static const char TableRegW10[][13] = {
#include "RegW10.inc"
};
static const char TableRegW10Maker[][13] = {
#include "RegW10Maker.inc"
};
static const char TableRegW12[][11] = {
#include "RegW12.inc"
};
static const char TableRegW13[][63] = {
#include "RegW13.inc"
};
static const char TableRegW14[][93] = {
#include "RegW14.inc"
};
static const char TableRegN1[][58] = {
#include "RegN1.inc"
};
static const char TableRegN2[][50] = {
#include "RegN2.inc"
};
static const char TableRegN3[][69] = {
#include "RegN3.inc"
};
static const char TableRegN4[][165] = {
#include "RegN4.inc"
};
static const char TableRegN5[][94] = {
#include "RegN5.inc"
};
static const char TableRegN6[][17] = {
#include "RegN6.inc"
};
static const char TableRegN7[][9] = {
#include "RegN7.inc"
};
static const char TableRegN8[][60] = {
#include "RegN8.inc"
};
static const char TableRegN9[][60] = {
#include "RegN9.inc"
};
static const char TableRegN10[][34] = {
#include "RegN10.inc"
};
static const char TableRegN10Maker[][34] = {
#include "RegN10Maker.inc"
};
static const char TableRegN11[][97] = {
#include "RegN11.inc"
};
static const char TableRegN12[][49] = {
#include "RegN12.inc"
};

/* The row count of a table. */
#define ROWS(table) (sizeof(table) / sizeof(table[0]))
/* A table as the arguments rows, width, count. */
#define TABLE(table) (const char *)table, (unsigned)sizeof(table[0]), (unsigned)ROWS(table)

static_assert(ROWS(TableRegC1) == 2 && ROWS(TableRegC4) == 43 && ROWS(TableRegC5) == 7 && ROWS(TableRegC6) == 6
              && ROWS(TableRegC7) == 3 && ROWS(TableRegC8) == 3 && ROWS(TableRegC9) == 1, "common table rows");
static_assert(ROWS(TableRegW1) == 2 && ROWS(TableRegW2) == 2 && ROWS(TableRegW3) == 4 && ROWS(TableRegW4) == 17
              && ROWS(TableRegW5) == 1 && ROWS(TableRegW6) == 2 && ROWS(TableRegW7) == 1 && ROWS(TableRegW8) == 1
              && ROWS(TableRegW9) == 43 && ROWS(TableRegW9Maker) == 42 && ROWS(TableRegW10) == 11
              && ROWS(TableRegW10Maker) == 2 && ROWS(TableRegW12) == 3 && ROWS(TableRegW13) == 4
              && ROWS(TableRegW14) == 1, "9x table rows");
static_assert(ROWS(TableRegN1) == 6 && ROWS(TableRegN2) == 1 && ROWS(TableRegN3) == 3 && ROWS(TableRegN4) == 9
              && ROWS(TableRegN5) == 2 && ROWS(TableRegN6) == 1 && ROWS(TableRegN7) == 1 && ROWS(TableRegN8) == 6
              && ROWS(TableRegN9) == 1 && ROWS(TableRegN10) == 20 && ROWS(TableRegN10Maker) == 29
              && ROWS(TableRegN11) == 1 && ROWS(TableRegN12) == 2, "NT table rows");

static const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char SharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
static const char InstalledFilesKey[] = "System\\CurrentControlSet\\Control\\InstalledFiles";
static const char Known16DllsKey[] = "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs";
static const char IcmKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr";
static const char OemNameKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name";
static const char ProblemKeyA[] = "System\\CurrentControlSet\\Control\\ASD\\Prob\\{9B4E7760-3196-11CF-97EA-00AA0034319D}";
static const char ProblemKeyB[] = "System\\CurrentControlSet\\Control\\ASD\\Prob\\{CF2524C0-29AE-11CF-97EA-00AA0034319D}";

/* Trace formats: the first %s is the key path or value name, the second
   (where present) the key path. */
static const char HklmTrace[] = "Deleted Registry Entry\nHKLM\\%s";
static const char HkcuTrace[] = "Deleted Registry Entry\nHKCU\\%s";
static const char HkcrTrace[] = "Deleted Registry Entry\nHKCR\\%s";
static const char HkccTrace[] = "Deleted Registry Entry\nHKCC\\%s";
static const char RunTrace[] =
    "Deleted Registry Value %s from \nHKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char SharedDllsTrace[] =
    "Deleted Registry Value %s from HKLM\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
static const char PrinterSettingsTrace[] = "Deleted Registry Value %s from HKCU\n%s";
static const char InstalledFilesTrace[] =
    "Deleted Value %s\n From HKLM\\System\\CurrentControlSet\\Control\\InstalledFiles";
static const char Known16DllsTrace[] =
    "Deleted Value %s\n From HKLM\\System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs";
static const char IcmTrace[] = "Deleted Value %s\n From HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr";
static const char OemNameTrace[] =
    "Deleted Value %s\n From HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name";
static const char ProblemTrace[] = "Deleted Value %s\r\n From HKLM\\%s";

/* Deletes the keys that a table names below root, each with its subkeys,
   and traces every deletion with the key's path. */
static void DeleteKeysFromTable(HKEY root, const char *table, unsigned width, unsigned count,
                                const char *traceFormat)
{
    char path[256];
    unsigned row;

    for (row = 0; row < count; row++) {
        CopySubstring(path, table, row * width, width);
        if (DeleteKeyWithSubkeys(root, path) == ERROR_SUCCESS)
            TraceRegistryDeletion(traceFormat, path, NULL);
    }
}

/* Deletes the device enumeration keys that a table names below
   HKEY_LOCAL_MACHINE, repairing their access lists on the way (no trace). */
static void DeleteKeyTreesFromTable(const char *table, unsigned width, unsigned count)
{
    char path[256];
    unsigned row;

    for (row = 0; row < count; row++) {
        CopySubstring(path, table, row * width, width);
        DeleteKeyTree(path);
    }
}

/* Deletes one value of an open key and traces it (when a format is given)
   with the value's name and the key's path. */
static void DeleteTracedValue(HKEY key, const char *keyPath, const char *valueName, const char *traceFormat)
{
    if (RegDeleteValueA(key, valueName) == ERROR_SUCCESS && traceFormat != NULL)
        TraceRegistryDeletion(traceFormat, valueName, keyPath);
}

/* Deletes the value valueName of root\keyPath; nothing when the key does not open. */
static void DeleteSingleValue(HKEY root, const char *keyPath, const char *valueName, const char *traceFormat)
{
    HKEY key;

    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    DeleteTracedValue(key, keyPath, valueName, traceFormat);
    RegCloseKey(key);
}

/* Deletes from root\keyPath the values that a table names, each name joined
   to folder with "\" when a folder is given; nothing when the key does not
   open. A joined name that would not fit is skipped. */
static void DeleteValuesFromTable(HKEY root, const char *keyPath, const char *folder, const char *table,
                                  unsigned width, unsigned count, const char *traceFormat)
{
    char row[256], name[256];
    unsigned index;
    HKEY key;

    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (index = 0; index < count; index++) {
        CopySubstring(row, table, index * width, width);
        if (folder == NULL)
            DeleteTracedValue(key, keyPath, row, traceFormat);
        else if (JoinPath(name, sizeof(name), folder, row))
            DeleteTracedValue(key, keyPath, name, traceFormat);
    }
    RegCloseKey(key);
}

/* Keys and values of the product on both families. */
int RemoveCommonRegistryEntries(void)
{
    char windows[256], name[256];

    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, RunKey, NULL, TABLE(TableRegC1), RunTrace);
    if (GetWindowsFolder(windows) && JoinPath(name, sizeof(name), windows, "unvise32.exe"))
        DeleteSingleValue(HKEY_LOCAL_MACHINE, SharedDllsKey, name, NULL);
    DeleteSingleValue(HKEY_CURRENT_USER, "Printers", "DeviceOld", NULL);
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE(TableRegC4), HkcrTrace);
    DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegC5), HklmTrace);
    if (!SiblingModelPresent) {
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegC6), HklmTrace);
        DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE(TableRegC7), HkcuTrace);
    }
    if (OtherMakerPrinterPresent)
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegC8), HklmTrace);
    else
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegC9), HklmTrace);
    return 1;
}

/* Keys and values of the product on Windows 98 and Me. */
int Remove9xRegistryEntries(void)
{
    char windows[256], inf[256];

    if (IsNtFamily())
        return 0;
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, RunKey, NULL, TABLE(TableRegW1), RunTrace);
    DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE(TableRegW2), HkcrTrace);
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE(TableRegW3), HkcrTrace);
    DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegW4), HklmTrace);
    if (OtherMakerPrinterPresent)
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegW5), HklmTrace);
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegW6), HklmTrace);
    DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE(TableRegW7), "Deleted Registry Key\n%s");
    DeleteKeysFromTable(HKEY_CURRENT_CONFIG, TABLE(TableRegW8), HkccTrace);
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, InstalledFilesKey, NULL, TABLE(TableRegW9), InstalledFilesTrace);
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, InstalledFilesKey, NULL, TABLE(TableRegW9Maker),
                              InstalledFilesTrace);
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, Known16DllsKey, NULL, TABLE(TableRegW10), Known16DllsTrace);
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, Known16DllsKey, NULL, TABLE(TableRegW10Maker), Known16DllsTrace);
    DeleteSingleValue(HKEY_LOCAL_MACHINE, IcmKey, "qnmT58.icm", IcmTrace);
    if (GetWindowsFolder(windows) && JoinPath(inf, sizeof(inf), windows, "inf"))
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, OemNameKey, inf, TABLE(TableRegW12), OemNameTrace);
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, ProblemKeyA, NULL, TABLE(TableRegW13), ProblemTrace);
    DeleteValuesFromTable(HKEY_LOCAL_MACHINE, ProblemKeyB, NULL, TABLE(TableRegW13), ProblemTrace);
    if (IsWinMe)
        DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE(TableRegW14), "Deleted Key %s\r\n From HKCU");
    RemoveProgramGroupFolders();
    DeleteKeysByValue("System\\CurrentControlSet\\Services\\Class\\Image", "DriverDesc", ScannerDescription, 0);
    DeleteKeysByValue("System\\CurrentControlSet\\Services\\Class\\PrintAMUSB", "DriverDesc", ProductDisplayName, 0);
    DeleteKeysByValue("System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc", ProductDisplayName, 0);
    return 1;
}

/* Keys and values of the product on Windows 2000 and XP. */
int RemoveNtRegistryEntries(void)
{
    char system[256], path[256];
    unsigned row;

    if (Is9xFamily())
        return 0;
    DeleteKeyTreesFromTable(TABLE(TableRegN1));
    if (!OtherMakerPrinterPresent) {
        DeleteKeyTreesFromTable(TABLE(TableRegN2));
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegN3), HklmTrace);
    }
    DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegN4), HklmTrace);
    DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE(TableRegN5), HkcuTrace);
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CURRENT_USER, TABLE(TableRegN6), HkcuTrace);
    if (!OtherMakerPrinterPresent)
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, RunKey, NULL, TABLE(TableRegN7), RunTrace);
    if (ProductPrinterName[0] != '\0') {
        for (row = 0; row < ROWS(TableRegN8); row++) {
            CopySubstring(path, (const char *)TableRegN8, row * sizeof(TableRegN8[0]), sizeof(TableRegN8[0]));
            DeleteSingleValue(HKEY_CURRENT_USER, path, ProductPrinterName, PrinterSettingsTrace);
        }
    }
    DeleteKeysFromTable(HKEY_CURRENT_CONFIG, TABLE(TableRegN9), HkccTrace);
    if (GetSystemFolder(system)) {
        DeleteValuesFromTable(HKEY_LOCAL_MACHINE, SharedDllsKey, system, TABLE(TableRegN10), SharedDllsTrace);
        if (!OtherMakerPrinterPresent)
            DeleteValuesFromTable(HKEY_LOCAL_MACHINE, SharedDllsKey, system, TABLE(TableRegN10Maker),
                                  SharedDllsTrace);
    }
    if (IsWin2000) {
        DeleteKeysFromTable(HKEY_LOCAL_MACHINE, TABLE(TableRegN11), HklmTrace);
        return 1;
    }
    if (!SiblingModelPresent)
        DeleteKeysFromTable(HKEY_CLASSES_ROOT, TABLE(TableRegN12), HkcrTrace);
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
