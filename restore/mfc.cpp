/* Restoration phase: settings that the product shares with other software
   go back to their defaults. The shared MFC runtime's class and type-library
   registrations point at the system's own copy of the library again, the 9x
   default printer of the hardware profile is cleared when it is one of the
   product's queues, the companion applications are handed to a sibling
   model, and a run-once marker is left. */
#include <stdio.h>
#include <string.h>
#include "uninstall.h"

/* Server keys of the three shared MFC classes, under HKEY_CLASSES_ROOT. */
decltype(TableMfcClassKeys) TableMfcClassKeys = {
#include "MfcClassKeys.inc"
};

#define MfcInterfaceB1 "Interface\\{2334D2B1-713E-11CF-8AE5-00AA00C00905}\\TypeLib"
#define MfcInterfaceB3 "Interface\\{2334D2B3-713E-11CF-8AE5-00AA00C00905}\\TypeLib"
#define Win2000TypeLib "{831FDD16-0C5C-11D2-A9FC-0000F8754DA1}"
#define Win9xTypeLib "{C1A8AF28-1257-101B-8FB0-0020AF039CA3}"
#define UninstallMarker "QuenmarUninstallRan"

/* Writes one REG_SZ value, whose length counts the terminating zero, into
   root\path: a key that is there, or else one that create makes. A plan
   reports it instead. The status of the call that failed, or ERROR_SUCCESS. */
LONG WriteStringValue(HKEY root, const char *path, const char *name, const char *data, int create)
{
    HKEY key;
    LONG status;

    if (PlanOnly)
        return PlanValueWrite(root, path, name, data, create);
    status = create ? RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL)
                    : RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)data, (DWORD)strlen(data) + 1);
    RegCloseKey(key);
    return status;
}

/* Creates or opens a key under HKEY_CLASSES_ROOT and writes one value into it. */
static void SetClassesRootValue(const char *path, const char *name, const char *data)
{
    WriteStringValue(HKEY_CLASSES_ROOT, path, name, data, 1);
}

/* Points the class servers that a table names at the named library in the
   system folder. */
static void SetClassServers(const char *libraryName, const char *table, unsigned width, unsigned rows)
{
    char systemDir[MAX_PATH], library[MAX_PATH + 16], row[256];
    UINT length;
    int written;
    unsigned i;

    length = GetSystemDirectoryA(systemDir, sizeof(systemDir));
    if (length == 0 || length >= sizeof(systemDir))
        return;
    written = snprintf(library, sizeof(library), "%s\\%s", systemDir, libraryName);
    if (written < 0 || (size_t)written >= sizeof(library))
        return;
    for (i = 0; i < rows; i++) {
        CopySubstring(row, table, i * width, width);
        SetClassesRootValue(row, NULL, library);
    }
}

/* Re-points the shared MFC registrations for the running family; always 1. */
int RestoreMfcRegistrations(void)
{
    const char *version;

    if (IsNtFamily()) {
        SetClassServers("MFC42u.DLL", TABLE_ARGS(TableMfcClassKeys));
        if (IsWin2000) {
            SetClassesRootValue(MfcInterfaceB1, NULL, Win2000TypeLib);
            SetClassesRootValue(MfcInterfaceB1, "Version", "2.0");
            SetClassesRootValue(MfcInterfaceB3, NULL, Win2000TypeLib);
            SetClassesRootValue(MfcInterfaceB3, "Version", "2.0");
        }
    } else if (Is9xFamily()) {
        version = IsWin98 ? "1.1" : "2.0";
        SetClassServers("MFC42.DLL", TABLE_ARGS(TableMfcClassKeys));
        SetClassesRootValue(MfcInterfaceB3, NULL, Win9xTypeLib);
        SetClassesRootValue(MfcInterfaceB3, "Version", version);
        SetClassesRootValue(MfcInterfaceB1, "Version", version);
    }
    TraceRemoval("Restored Defaults paths for MFC DLL");
    return 1;
}

/* Leaves an empty RunOnce value as the sign that the removal ran; 0 without the key. */
int WriteUninstallMarker(void)
{
    return WriteStringValue(HKEY_LOCAL_MACHINE, RunOnceKey, UninstallMarker, "", 0) == ERROR_SUCCESS;
}

/* The restoration phase; returns the result of writing the marker. */
int RestoreSharedSettings(void)
{
    if (Is9xFamily())
        DeleteDefaultPrinterValue(HKEY_CURRENT_CONFIG, PrintersKey, "Default");
    RestoreMfcRegistrations();
    if (SiblingModelPresent)
        HandBackCompanionApps();
    return WriteUninstallMarker();
}
