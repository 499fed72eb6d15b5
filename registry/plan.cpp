/* What the registry primitives do in a plan (PlanOnly): each judges from the
   registry as it is, and from the keys that the plan has already reported as
   gone, what its call would do, reports that and returns the status the call
   would have returned. Keys are named "<root>\<path>" (HKLM, HKCU, HKCR, HKCC,
   HKU); the plan's lines are "<what happens><tab><key>", for a value also
   "<tab>"<name>"", for a value written "<tab>"<data>"" after that. */
#include <stdio.h>
#include "uninstall.h"

/* Names root\path\subkey (subkey NULL: root\path) in a buffer of 600 bytes;
   0 when it does not fit. */
static int FormKeyName(char *name, HKEY root, const char *path, const char *subkey)
{
    int written = snprintf(name, 600, "%s\\%s%s%s", RootName(root), path, subkey != NULL ? "\\" : "",
                           subkey != NULL ? subkey : "");

    return written > 0 && written < 600;
}

/* 1 when the plan reported root\path\subkey (subkey NULL: root\path), or a
   key above it, as gone. */
int IsKeyPlannedAway(HKEY root, const char *path, const char *subkey)
{
    char name[600];

    return FormKeyName(name, root, path, subkey) && IsPlannedAway(name);
}

/* DeleteKeyWithSubkeys, and DeleteKeyTree (repairsAccess: it replaces the
   access lists on the way): a key that is there goes with its subkeys, unless
   its access list lets no deletion in and is not replaced. */
LONG PlanKeyRemoval(HKEY root, const char *path, int repairsAccess)
{
    char name[600];
    HKEY key;
    LONG status;

    if (!FormKeyName(name, root, path, NULL) || IsPlannedAway(name))
        return ERROR_FILE_NOT_FOUND;
    status = RegOpenKeyExA(root, path, 0, KEY_READ | DELETE, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    else if (status != ERROR_ACCESS_DENIED || !repairsAccess)
        return status;
    return (LONG)PlanRemoval(repairsAccess ? "delete key, replacing access lists" : "delete key", name);
}

/* DeleteKeyIfEmpty: a shared key goes when it holds no value and every
   subkey is gone by the plan. */
LONG PlanSharedKeyRemoval(HKEY root, const char *path)
{
    char name[600], subkey[256];
    DWORD index, size, values = 0;
    HKEY key;
    LONG status;
    int left;

    if (!FormKeyName(name, root, path, NULL) || IsPlannedAway(name))
        return ERROR_FILE_NOT_FOUND;
    status = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    left = values != 0;
    for (index = 0; status == ERROR_SUCCESS && !left; index++) {
        size = sizeof(subkey);
        if (RegEnumKeyExA(key, index, subkey, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        left = !IsKeyPlannedAway(root, path, subkey);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!left)
        return (LONG)PlanRemoval("delete key, nothing else left in it", name);
    ReportLine("keep key, not empty\t%s", name);
    return ERROR_DIR_NOT_EMPTY;
}

/* DeleteRegistryValue: a value that is there goes. */
LONG PlanValueRemoval(HKEY root, const char *keyPath, HKEY key, const char *valueName)
{
    char name[600];

    if (!FormKeyName(name, root, keyPath, NULL) || IsPlannedAway(name)
        || RegQueryValueExA(key, valueName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    ReportLine("delete value\t%s\t\"%s\"", name, valueName);
    return ERROR_SUCCESS;
}

/* WriteStringValue: the value is written into a key that is there, or that
   is created (create). */
LONG PlanValueWrite(HKEY root, const char *path, const char *name, const char *data, int create)
{
    char keyName[600];
    HKEY key;
    LONG status;

    if (!FormKeyName(keyName, root, path, NULL))
        return ERROR_FILE_NOT_FOUND;
    if (!create) {
        if (IsPlannedAway(keyName))
            return ERROR_FILE_NOT_FOUND;
        status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
        if (status != ERROR_SUCCESS)
            return status;
        RegCloseKey(key);
    }
    ReportLine("write value\t%s\t\"%s\"\t\"%s\"", keyName, name != NULL ? name : "", data);
    return ERROR_SUCCESS;
}
