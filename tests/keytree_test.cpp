/* Value data as programs write it, and key trees locked against everyone or kept by their owner. */
#include <shlwapi.h>
#include "test.h"
#include <sddl.h>

#define Parent "Software\\QT58Test"
#define Sought "Quenmar T58"

static const char LongData[300] = Sought;

/* DriverDesc of Parent\0001 after valuesBefore other values; size in bytes, zeros included. */
static const struct { DWORD type, size, valuesBefore; const char *data; int found; } Values[] = {
    { REG_SZ, 12, 0, Sought, 1 }, { REG_SZ, 12, 0, "qUENMAR t58", 1 }, { REG_SZ, 11, 0, Sought, 1 },
    { REG_SZ, 15, 0, Sought "\0\0\0", 1 }, { REG_MULTI_SZ, 13, 0, Sought "\0", 1 },
    { REG_SZ, 17, 0, Sought "\0Plus", 0 }, { REG_MULTI_SZ, 18, 0, Sought "\0Plus\0", 0 },
    { REG_SZ, 15, 0, Sought "\0\0X", 0 }, { REG_SZ, 17, 0, Sought " Plus", 0 },
    { REG_SZ, 12, 99, Sought, 1 }, { REG_SZ, 12, 100, Sought, 0 }, { REG_SZ, sizeof(LongData), 0, LongData, 0 },
};

/* Keys made below Parent: those of the row's "locked" bits with an access list
   that lets nobody in, those of its "kept" bits owned by SYSTEM and open to
   Administrators for DELETE alone, so that their list cannot be replaced. */
static const char *TreeKeys[] = { "T", "T\\A", "T\\A\\B", "T\\C" };
static const struct { unsigned locked, kept; const char *deleted; LONG status; } Trees[] = {
    { 0x4, 0, Parent "\\T", ERROR_NO_MORE_ITEMS }, { 0xE, 0, Parent "\\T", ERROR_NO_MORE_ITEMS },
    { 0xF, 0, Parent "\\T", ERROR_NO_MORE_ITEMS }, { 0, 0, Parent "\\Missing", ERROR_BADKEY }, { 0, 0, "", ERROR_BADKEY },
    /* T\A stays, stepped over: T\C still goes, and T's own deletion is refused. */
    { 0, 0x2, Parent "\\T", ERROR_ACCESS_DENIED },
};

int main(void)
{
    PSECURITY_DESCRIPTOR nobody, kept;
    char name[8];
    HKEY parent, key;
    unsigned i, k;
    LONG status, left;

    RegCreateKeyA(HKEY_LOCAL_MACHINE, Parent, &parent);
    for (i = 0; i < ARRAY_SIZE(Values); i++) {
        SHDeleteKeyA(parent, "0001");
        RegCreateKeyA(parent, "0001", &key);
        for (k = 0; k < Values[i].valuesBefore; k++) {
            snprintf(name, sizeof(name), "A%03u", k);
            RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)"", 1);
        }
        RegSetValueExA(key, "DriverDesc", 0, Values[i].type, (const BYTE *)Values[i].data, Values[i].size);
        RegCloseKey(key);
        ok(FindKeyByValue(parent, "DriverDesc", Sought) == Values[i].found, "HKLM\\" Parent "\\0001 DriverDesc \"%s\" "
           "(%lu bytes, type %lu) after %lu values: found is not %d", Values[i].data, Values[i].size, Values[i].type,
           Values[i].valuesBefore, Values[i].found);
    }
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, &nobody, NULL);
    ConvertStringSecurityDescriptorToSecurityDescriptorA("O:SYD:(A;;SD;;;BA)", SDDL_REVISION_1, &kept, NULL);
    for (i = 0; i < ARRAY_SIZE(Trees); i++) {
        for (k = 0; k < ARRAY_SIZE(TreeKeys); k++) {
            RegCreateKeyA(parent, TreeKeys[k], &key);
            if (Trees[i].locked >> k & 1)
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, nobody);
            if (Trees[i].kept >> k & 1)
                RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, kept);
            RegCloseKey(key);
        }
        status = DeleteKeyTree(Trees[i].deleted);
        left = RegOpenKeyExA(HKEY_LOCAL_MACHINE, Parent "\\T", 0, KEY_READ, &key);
        ok(status == Trees[i].status && (left == ERROR_FILE_NOT_FOUND) == (status == ERROR_NO_MORE_ITEMS),
           "DeleteKeyTree(\"%s\"), keys locked 0x%x, kept 0x%x: status %ld, wanted %ld; opening HKLM\\" Parent
           "\\T gave %ld", Trees[i].deleted, Trees[i].locked, Trees[i].kept, status, Trees[i].status, left);
        if (left == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    return Done("keytree");
}
