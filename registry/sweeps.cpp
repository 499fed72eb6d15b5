/* The registry phase: the printer and device registrations found by their
   content, and the keys and values that the product's installer is known to
   create, named in tables, step by step, each step a row of one table that
   chooses it by the Windows family and by the printers of the maker and of
   the model series that stay installed. */
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
#define Image9xClassKey "System\\CurrentControlSet\\Services\\Class\\Image"
#define PrintAmUsb9xClassKey "System\\CurrentControlSet\\Services\\Class\\PrintAMUSB"

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
        status = IsSharedKeyRow(table, width, row) ? DeleteKeyIfEmpty(root, path) : DeleteProductKey(root, path);
        if (status != ERROR_SUCCESS)
            TraceFailure((DWORD)status, "Cannot delete key %s\\%s", RootName(root), path);
        else if (format != NULL)
            TraceDeletion(format, path, NULL);
        else
            TraceDeletion("Deleted Registry Entry\n%s\\%s", RootName(root), path);
    }
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

/* 1 when root\keyPath holds a value of that name, or, with name NULL, when
   the key root\keyPath is there. */
static int RegistryHolds(HKEY root, const char *keyPath, const char *name)
{
    HKEY key;
    int holds;

    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    holds = name == NULL || RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    return holds;
}

/* In a plan, names the keys (keyPath NULL) or the values of keyPath (each
   behind folder when one is given) that a table names below root and a
   printer spares, but for keys that an earlier step takes all the same. */
static void ReportSparedEntries(const char *spare, HKEY root, const char *keyPath, const char *folder,
                                const char *table, unsigned width, unsigned rows)
{
    char row[256], name[256];
    unsigned index;

    for (index = 0; spare != NULL && index < rows; index++) {
        CopySubstring(row, table, index * width, width);
        if (keyPath == NULL && RegistryHolds(root, row, NULL) && !IsKeyPlannedAway(root, row, NULL))
            ReportLine("keep for %s\t%s\\%s", spare, RootName(root), row);
        if (keyPath == NULL || (folder != NULL && !JoinPath(name, sizeof(name), folder, row)))
            continue;
        if (RegistryHolds(root, keyPath, folder != NULL ? name : row))
            ReportLine("keep for %s\t%s\\%s\t\"%s\"", spare, RootName(root), keyPath, folder != NULL ? name : row);
    }
}

/* The roots by the short names that the traces give them. */
#define HKLM HKEY_LOCAL_MACHINE
#define HKCU HKEY_CURRENT_USER
#define HKCR HKEY_CLASSES_ROOT
#define HKCC HKEY_CURRENT_CONFIG

/* What a step of the registry phase does: deletes the keys that it names
   below its root, with their subkeys (a key that other products share only
   when nothing is left in it), or below HKLM with their access lists
   replaced; deletes the values that it names (joined to its folder, if any)
   of its key, the value of the product's queue in the keys that it names, or
   the values that it names only when they name a queue of the product as the
   default printer; deletes the subkeys of its key whose description it
   names; or calls a function of its own. Each deletion is traced by the
   step's format, or, for keys without one, as "Deleted Registry Entry". */
enum RegistryStepKind {
    DeleteKeys, DeleteKeyTrees, DeleteValues, DeleteQueueValue, DeleteDefaultPrinter, DeleteByDescription,
    CallFunction
};

/* The steps of the registry phase, in their order: the device registrations,
   the steps of both families, those of 98 and Me, those of 2000 and XP, and
   the device-class instances and printer queues that are left. */
static const struct RegistryStep {
    const char *names;
    unsigned width, rows;
    StepFamilies families;
    StepCondition condition;
    RegistryStepKind how;
    HKEY root;
    const char *key;
    StepFolder folder;
    const char *trace;
    int (*call)(void);
} RegistrySteps[] = {
    /* device registrations */
    {NO_NAMES, OnAll, Always, CallFunction, NULL, NULL, NoFolder, NULL, RemoveDeviceRegistrations},
    /* Run values */
    {TABLE_ARGS(TableRegC1), OnAll, Always, DeleteValues, HKLM, RunKey, NoFolder, RunTrace, NULL},
    /* shared-library count */
    {NAME_ARGS("unvise32.exe"), OnAll, Always, DeleteValues, HKLM, SharedDllsKey, WindowsFolder, NULL, NULL},
    /* old default printer */
    {NAME_ARGS("DeviceOld"), OnAll, Always, DeleteDefaultPrinter, HKCU, "Printers", NoFolder, NULL, NULL},
    /* copy application's classes */
    {TABLE_ARGS(TableRegC4), OnAll, IfNoSibling, DeleteKeys, HKCR, NULL, NoFolder, NULL, NULL},
    /* uninstall entry, print monitors, printer and scan engine */
    {TABLE_ARGS(TableRegC5), OnAll, Always, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* OCR package, scan engine, document type and App Paths */
    {TABLE_ARGS(TableRegC6), OnAll, IfNoSibling, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* the OCR program's App Paths entry, which other scanner packages that bundle the program share */
    {NAME_ARGS(AppPathsKey OcrProgramName), OnAll, IfNoSiblingOcrEntryIsProducts, DeleteKeys, HKLM, NULL, NoFolder,
     NULL, NULL},
    /* per-user keys of the scan and OCR applications */
    {TABLE_ARGS(TableRegC7), OnAll, IfNoSibling, DeleteKeys, HKCU, NULL, NoFolder, NULL, NULL},
    /* three subkeys of the maker's key */
    {TABLE_ARGS(TableRegC8), OnAll, IfOtherMaker, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* the maker's key */
    {TABLE_ARGS(TableRegC9), OnAll, IfNoOtherMaker, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* Run values of the maker's programs */
    {TABLE_ARGS(TableRegW1), On9x, IfNoOtherMaker, DeleteValues, HKLM, RunKey, NoFolder, RunTrace, NULL},
    /* printer shell extension */
    {TABLE_ARGS(TableRegW2), On9x, Always, DeleteKeys, HKCR, NULL, NoFolder, NULL, NULL},
    /* copy application's entries */
    {TABLE_ARGS(TableRegW3), On9x, IfNoSibling, DeleteKeys, HKCR, NULL, NoFolder, NULL, NULL},
    /* devices, services, monitors, port, driver */
    {TABLE_ARGS(TableRegW4), On9x, Always, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* the maker's network printer monitor */
    {TABLE_ARGS(TableRegW5), On9x, IfOtherMaker, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* copy application's entries */
    {TABLE_ARGS(TableRegW6), On9x, IfNoSibling, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* Start-menu order */
    {TABLE_ARGS(TableRegW7), On9x, Always, DeleteKeys, HKCU, NULL, NoFolder, "Deleted Registry Key\n%s", NULL},
    /* hardware-profile printer */
    {TABLE_ARGS(TableRegW8), On9x, Always, DeleteKeys, HKCC, NULL, NoFolder, NULL, NULL},
    /* installed-file list */
    {TABLE_ARGS(TableRegW9), On9x, Always, DeleteValues, HKLM, InstalledFilesKey, NoFolder, ListTrace, NULL},
    /* installed-file list, the maker's files */
    {TABLE_ARGS(TableRegW9Maker), On9x, IfNoOtherMaker, DeleteValues, HKLM, InstalledFilesKey, NoFolder, ListTrace,
     NULL},
    /* 16-bit module list */
    {TABLE_ARGS(TableRegW10), On9x, Always, DeleteValues, HKLM, Known16DllsKey, NoFolder, ListTrace, NULL},
    /* 16-bit module list, the maker's files */
    {TABLE_ARGS(TableRegW10Maker), On9x, IfNoOtherMaker, DeleteValues, HKLM, Known16DllsKey, NoFolder, ListTrace,
     NULL},
    /* colour profile */
    {NAME_ARGS("qnmT58.icm"), On9x, Always, DeleteValues, HKLM, IcmKey, NoFolder, ListTrace, NULL},
    /* OEM INF names */
    {TABLE_ARGS(TableRegW12), On9x, Always, DeleteValues, HKLM, OemNameKey, InfFolder, ListTrace, NULL},
    /* device problem lists */
    {TABLE_ARGS(TableRegW13), On9x, Always, DeleteValues, HKLM, ProblemKeyA, NoFolder, ProblemTrace, NULL},
    {TABLE_ARGS(TableRegW13), On9x, Always, DeleteValues, HKLM, ProblemKeyB, NoFolder, ProblemTrace, NULL},
    /* Start-menu order */
    {TABLE_ARGS(TableRegW14), OnWinMe, Always, DeleteKeys, HKCU, NULL, NoFolder, "Deleted Key %s\r\n From HKCU", NULL},
    /* per-user keys and program groups of every profile */
    {NO_NAMES, On9x, Always, CallFunction, NULL, NULL, NoFolder, NULL, RemoveProgramGroupFolders},
    /* device-class instances */
    {NAME_ARGS(ScannerDescription), On9x, Always, DeleteByDescription, HKLM, Image9xClassKey, NoFolder, NULL,
     NULL},
    {NAME_ARGS(ProductDisplayName), On9x, Always, DeleteByDescription, HKLM, PrintAmUsb9xClassKey, NoFolder, NULL,
     NULL},
    {NAME_ARGS(ProductDisplayName), On9x, Always, DeleteByDescription, HKLM, Printer9xClassKey, NoFolder, NULL, NULL},
    /* USB device keys */
    {TABLE_ARGS(TableRegN1), OnNt, Always, DeleteKeyTrees, HKLM, NULL, NoFolder, NULL, NULL},
    /* status service device key */
    {TABLE_ARGS(TableRegN2), OnNt, IfNoOtherMaker, DeleteKeyTrees, HKLM, NULL, NoFolder, NULL, NULL},
    /* status service and network port monitor */
    {TABLE_ARGS(TableRegN3), OnNt, IfNoOtherMaker, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* ports, printer, scanner service, print processor, drivers */
    {TABLE_ARGS(TableRegN4), OnNt, Always, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* Start-menu order */
    {TABLE_ARGS(TableRegN5), OnNt, Always, DeleteKeys, HKCU, NULL, NoFolder, NULL, NULL},
    /* scan application's key */
    {TABLE_ARGS(TableRegN6), OnNt, IfNoSibling, DeleteKeys, HKCU, NULL, NoFolder, NULL, NULL},
    /* Run value of the maker's tray monitor */
    {TABLE_ARGS(TableRegN7), OnNt, IfNoOtherMaker, DeleteValues, HKLM, RunKey, NoFolder, RunTrace, NULL},
    /* per-user printer settings */
    {TABLE_ARGS(TableRegN8), OnNt, Always, DeleteQueueValue, HKCU, NULL, NoFolder, PrinterSettingsTrace, NULL},
    /* hardware-profile printer */
    {TABLE_ARGS(TableRegN9), OnNt, Always, DeleteKeys, HKCC, NULL, NoFolder, NULL, NULL},
    /* shared-library counts */
    {TABLE_ARGS(TableRegN10), OnNt, Always, DeleteValues, HKLM, SharedDllsKey, SystemFolder, SharedDllsTrace, NULL},
    /* shared-library counts, the maker's files */
    {TABLE_ARGS(TableRegN10Maker), OnNt, IfNoOtherMaker, DeleteValues, HKLM, SharedDllsKey, SystemFolder,
     SharedDllsTrace, NULL},
    /* Version-2 driver */
    {TABLE_ARGS(TableRegN11), OnWin2000, Always, DeleteKeys, HKLM, NULL, NoFolder, NULL, NULL},
    /* interface registrations */
    {TABLE_ARGS(TableRegN12), OnWinXP, IfNoSibling, DeleteKeys, HKCR, NULL, NoFolder, NULL, NULL},
    /* device-class instances */
    {NO_NAMES, OnAll, Always, CallFunction, NULL, NULL, NoFolder, NULL, RemoveDeviceClassEntries},
    /* printer queues */
    {NO_NAMES, OnAll, Always, CallFunction, NULL, NULL, NoFolder, NULL, RemovePrinterQueues},
};

/* The registry phase: the steps of the running family in their order. 0 on
   neither family. */
int RemoveRegistryEntries(void)
{
    char buffer[MAX_PATH], name[256];
    const RegistryStep *step;
    const char *folder;
    unsigned index, row;

    if (!IsNtFamily() && !Is9xFamily())
        return 0;
    for (index = 0; index < ARRAY_SIZE(RegistrySteps); index++) {
        step = &RegistrySteps[index];
        folder = GetStepFolder(step->folder, buffer);
        if (!StepApplies(step->families, step->condition)) {
            if (PlanOnly && (step->how == DeleteKeys || step->how == DeleteKeyTrees || step->how == DeleteValues))
                ReportSparedEntries(SparingPrinter(step->families, step->condition), step->root,
                                    step->how == DeleteValues ? step->key : NULL, folder,
                                    step->names, step->width, step->rows);
            continue;
        }
        /* No value is looked for below a folder that cannot be had. */
        if (folder != NULL && folder[0] == '\0')
            continue;
        switch (step->how) {
        case DeleteKeys:
            DeleteKeysTracedAs(step->root, step->trace, step->names, step->width, step->rows);
            break;
        case DeleteKeyTrees:
            DeleteKeyTreesFromTable(step->names, step->width, step->rows);
            break;
        case DeleteValues:
            DeleteValuesFromTable(step->root, step->key, folder, step->trace, step->names, step->width, step->rows);
            break;
        case DeleteQueueValue:
            if (ProductPrinterName[0] != '\0')
                DeleteValueFromKeys(step->root, ProductPrinterName, step->trace, step->names, step->width, step->rows);
            break;
        case DeleteDefaultPrinter:
        case DeleteByDescription:
            for (row = 0; row < step->rows; row++) {
                CopySubstring(name, step->names, row * step->width, step->width);
                if (step->how == DeleteDefaultPrinter)
                    DeleteDefaultPrinterValue(step->root, step->key, name);
                else
                    DeleteKeysByValue(step->key, DriverDescValue, name, 0);
            }
            break;
        case CallFunction:
            step->call();
            break;
        }
    }
    return 1;
}
