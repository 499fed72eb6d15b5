/* Registry deletion primitives: whole-tree deletion below HKEY_LOCAL_MACHINE
   with access repair on the NT family, and the search of a key's subkeys by a
   string value that one of them holds. In a plan (PlanOnly) the deletions
   report what they would do instead (registry/plan.cpp). */
#include <stdio.h>
#include <string.h>
#include <shlwapi.h>
#include "uninstall.h"

/* Number of values of one subkey that FindKeyByValue looks at. */
#define SEARCHED_VALUES 100

/* The short names of the roots, which traces and reports put in front of a key's path. */
static const struct {
    HKEY root;
    const char *name;
} RootNames[] = {
    {HKEY_LOCAL_MACHINE, "HKLM"},
    {HKEY_CURRENT_USER, "HKCU"},
    {HKEY_CLASSES_ROOT, "HKCR"},
    {HKEY_CURRENT_CONFIG, "HKCC"},
    {HKEY_USERS, "HKU"},
};

const char *RootName(HKEY root)
{
    unsigned i;

    for (i = 0; i < ARRAY_SIZE(RootNames); i++)
        if (RootNames[i].root == root)
            return RootNames[i].name;
    return "";
}

/* Deletes root\path with its subkeys: SHDeleteKeyA on the NT family, where
   RegDeleteKeyA refuses a key that has subkeys; RegDeleteKeyA elsewhere. */
LONG DeleteKeyWithSubkeys(HKEY root, const char *path)
{
    if (PlanOnly)
        return PlanKeyRemoval(root, path, 0);
    if (IsNtFamily())
        return (LONG)SHDeleteKeyA(root, path);
    return RegDeleteKeyA(root, path);
}

/* 1 when row of a name table follows the row of a key below it: the row
   then names a key that other products share, after the product's own keys
   in it (as a folder's row follows the rows of its contents). */
int IsSharedKeyRow(const char *table, unsigned width, unsigned row)
{
    char key[256], previous[256];
    size_t length;

    if (row == 0)
        return 0;
    CopySubstring(previous, table, (row - 1) * width, width);
    CopySubstring(key, table, row * width, width);
    length = strlen(key);
    return _strnicmp(previous, key, length) == 0 && previous[length] == '\\';
}

/* Deletes root\path, a key that other products share, only when nothing is
   left in it: no subkey and no value. Its access list is never replaced, so
   such a key that lets nobody in stays. ERROR_DIR_NOT_EMPTY when something
   is left, otherwise the status of the call that failed or ERROR_SUCCESS. */
LONG DeleteKeyIfEmpty(HKEY root, const char *path)
{
    DWORD subkeys, values;
    HKEY key;
    LONG status;

    if (PlanOnly)
        return PlanSharedKeyRemoval(root, path);
    status = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return status;
    if (subkeys != 0 || values != 0)
        return ERROR_DIR_NOT_EMPTY;
    return RegDeleteKeyA(root, path);
}

/* Deletes the value valueName of the open key root\keyPath; as RegDeleteValueA. */
LONG DeleteRegistryValue(HKEY root, const char *keyPath, HKEY key, const char *valueName)
{
    if (PlanOnly)
        return PlanValueRemoval(root, keyPath, key, valueName);
    return RegDeleteValueA(key, valueName);
}

/* Replaces the access list of HKLM\path by one entry that gives the local
   Administrators group full access; the owner and the subkeys keep theirs. */
int GrantKeyFullAccess(const char *path)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    SECURITY_DESCRIPTOR descriptor;
    PSID administrators = NULL;
    PACL acl = NULL;
    DWORD aclSize;
    HKEY key;
    int result = 0;

    /* An empty path would name HKEY_LOCAL_MACHINE itself. */
    if (path == NULL || path[0] == '\0')
        return 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return 0;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        goto done;
    aclSize = GetLengthSid(administrators) + 24;
    acl = (PACL)HeapAlloc(GetProcessHeap(), 0, aclSize);
    if (acl == NULL)
        goto done;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION)
        || !AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, administrators))
        goto done;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
        goto done;
    if (RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS)
        result = 1;
done:
    RegCloseKey(key);
    if (acl != NULL)
        HeapFree(GetProcessHeap(), 0, acl);
    if (administrators != NULL)
        FreeSid(administrators);
    return result;
}

/* Deletes HKLM\path with all its subkeys on the NT family, giving each key an
   Administrators-only access list on the way down and deleting the keys on
   the way back up. Returns ERROR_NO_MORE_ITEMS (259) when the key is gone,
   1 on the 9x family (nothing done), ERROR_BADKEY (1010) for an empty path or
   a key whose access list cannot be replaced, otherwise the failing status.
   A subkey that survives its own deletion, or whose path would not fit, is
   stepped over so that its siblings still go; the key then stays and the
   status of its refused deletion is returned. */
LONG DeleteKeyTree(const char *path)
{
    char name[256], lastName[sizeof(name)], child[256];
    DWORD nameSize, index = 0;
    HKEY key;
    LONG status;

    if (IsWin98 || IsWinMe)
        return 1;
    if (path == NULL || path[0] == '\0')
        return ERROR_BADKEY;
    if (PlanOnly)
        return PlanKeyRemoval(HKEY_LOCAL_MACHINE, path, 1) == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : ERROR_BADKEY;
    if (!GrantKeyFullAccess(path))
        return ERROR_BADKEY;
    status = RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key);
    if (status != ERROR_SUCCESS)
        return status;
    lastName[0] = '\0';
    for (;;) {
        nameSize = sizeof(name);
        status = RegEnumKeyExA(key, index, name, &nameSize, NULL, NULL, NULL, NULL);
        if (status != ERROR_SUCCESS)
            break;
        /* The subkey handed down last time is still listed at this index. */
        if (strcmp(name, lastName) == 0 || !JoinPath(child, sizeof(child), path, name)) {
            index++;
            continue;
        }
        memcpy(lastName, name, sizeof(lastName));
        DeleteKeyTree(child);
    }
    RegCloseKey(key);
    if (status != ERROR_NO_MORE_ITEMS)
        return status;
    status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    if (status != ERROR_SUCCESS)
        TraceFailure((DWORD)status, "Cannot delete key HKLM\\%s", path);
    return status == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : status;
}

/* True when one of the first values of key is named valueName and holds
   wantedData as its one string, in at most 255 bytes (both ignoring case). */
static int KeyHoldsValue(HKEY key, const char *valueName, const char *wantedData)
{
    char name[256], data[256];
    DWORD index, nameSize, dataSize, length;
    LONG status;

    for (index = 0; index < SEARCHED_VALUES; index++) {
        nameSize = 255;
        status = RegEnumValueA(key, index, name, &nameSize, NULL, NULL, NULL, NULL);
        /* A name too long for the buffer is not the one looked for. */
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            return 0;
        if (name[0] == '\0' || _stricmp(name, valueName) != 0)
            continue;
        dataSize = 255;
        if (RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)data, &dataSize) != ERROR_SUCCESS)
            return 0;
        /* The data may come without its terminator, or with a buffer's worth
           of zeros after it (a multi-string of one string ends in two); any
           other byte after the first zero means more than the one string. */
        data[dataSize] = '\0';
        for (length = strlen(data); length < dataSize; length++)
            if (data[length] != '\0')
                return 0;
        return _stricmp(data, wantedData) == 0;
    }
    return 0;
}

/* Finds the first subkey of parent that holds the value valueName with the
   data wantedData and puts its name into MatchedKeyName. Given the parent's
   path below HKEY_LOCAL_MACHINE, a subkey that a plan reported as gone is
   passed. */
int FindKeyByValue(HKEY parent, const char *valueName, const char *wantedData, const char *parentPath)
{
    char name[sizeof(MatchedKeyName)];
    DWORD index;
    HKEY subkey;
    int found;

    if (parent == NULL)
        return 0;
    for (index = 0; RegEnumKeyA(parent, index, name, sizeof(name)) == ERROR_SUCCESS; index++) {
        if ((parentPath != NULL && IsKeyPlannedAway(HKEY_LOCAL_MACHINE, parentPath, name))
            || RegOpenKeyExA(parent, name, 0, KEY_READ, &subkey) != ERROR_SUCCESS)
            continue;
        found = KeyHoldsValue(subkey, valueName, wantedData);
        RegCloseKey(subkey);
        if (found) {
            memcpy(MatchedKeyName, name, sizeof(name));
            return 1;
        }
    }
    return 0;
}
