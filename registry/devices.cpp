/* Printer queues and device registrations of the product. Windows chose
   their key names (the queue's name, four-digit instance numbers), so they
   are found by a value inside them and every match is deleted. */
#include <string.h>
#include "uninstall.h"

#define ClassRootKey "SYSTEM\\CurrentControlSet\\Control\\Class"
#define ImageClassKey ClassRootKey "\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"
#define PrinterClassKey ClassRootKey "\\{4D36E979-E325-11CE-BFC1-08002BE10318}"

/* The two trees that hold the NT printer queues, in the order they are searched. */
decltype(TablePrinterTrees) TablePrinterTrees = {
#include "PrinterTrees.inc"
};

/* Keeps a queue name in ProductPrinterName; a name too long for it is not kept. */
static void RecordPrinterName(const char *name)
{
    size_t length = strlen(name);

    if (length < sizeof(ProductPrinterName))
        memcpy(ProductPrinterName, name, length + 1);
}

/* Deletes a 9x queue's key below HKEY_CURRENT_CONFIG. */
static void DeleteConfigPrinterKey(const char *queue)
{
    char path[256];
    LONG status;

    if (!JoinPath(path, sizeof(path), PrintersKey, queue))
        return;
    status = DeleteKeyWithSubkeys(HKEY_CURRENT_CONFIG, path);
    if (status == ERROR_SUCCESS)
        TraceDeletion("Deleted Key \nHKCC\\%s", path, NULL);
    else
        TraceFailure((DWORD)status, "Cannot delete key HKCC\\%s", path);
}

/* Deletes every subkey of HKLM\parentPath whose value valueName holds
   wantedData, searching again from the first subkey after each deletion. For
   9x queues (isQueue) each match is also recorded in ProductPrinterName and
   its key below HKEY_CURRENT_CONFIG deleted. A match that cannot be deleted
   would be found again, so the search of this parent ends there. */
void DeleteKeysByValue(const char *parentPath, const char *valueName, const char *wantedData, int isQueue)
{
    char path[512];
    HKEY parent;
    LONG status;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath, 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS)
        return;
    while (FindKeyByValue(parent, valueName, wantedData, parentPath)) {
        status = JoinPath(path, sizeof(path), parentPath, MatchedKeyName)
                     ? DeleteKeyWithSubkeys(HKEY_LOCAL_MACHINE, path) : ERROR_BUFFER_OVERFLOW;
        if (isQueue) {
            RecordPrinterName(MatchedKeyName);
            DeleteConfigPrinterKey(MatchedKeyName);
        }
        if (status != ERROR_SUCCESS) {
            TraceFailure((DWORD)status, "Cannot delete key HKLM\\%s\\%s", parentPath, MatchedKeyName);
            break;
        }
        TraceDeletion("Deleted Key \nHKLM\\%s\\%s", parentPath, MatchedKeyName);
    }
    RegCloseKey(parent);
}

/* What the first and the fourth step of the registry phase both remove: on
   the 9x family the queues, printer-class instances and root-enumerated
   printers, on the NT family the scanner instances. 0 on neither family. */
static int RemoveFamilyDeviceKeys(void)
{
    if (Is9xFamily()) {
        DeleteKeysByValue(PrintersKey, PrinterDriverValue, ProductDisplayName, 1);
        DeleteKeysByValue(Printer9xClassKey, DriverDescValue, ProductDisplayName, 0);
        DeleteKeysByValue("Enum\\Root\\printer", "DeviceDesc", ProductDisplayName, 0);
    } else if (IsNtFamily()) {
        DeleteKeysByValue(ImageClassKey, "FriendlyName", ScannerDescription, 0);
    } else {
        return 0;
    }
    return 1;
}

/* First step of the registry phase: on the 9x family the queues and device
   keys go at once; on the NT family the scanner instances go and the first
   queue of the product's driver is only recorded, for the later steps. */
int RemoveDeviceRegistrations(void)
{
    HKEY printers;

    if (!RemoveFamilyDeviceKeys())
        return 0;
    if (!IsNtFamily()
        || RegOpenKeyExA(HKEY_LOCAL_MACHINE, PrintersKey, 0, KEY_ALL_ACCESS, &printers) != ERROR_SUCCESS)
        return 1;
    if (FindKeyByValue(printers, PrinterDriverValue, ProductDisplayName))
        RecordPrinterName(MatchedKeyName);
    RegCloseKey(printers);
    return 1;
}

/* Fourth step of the registry phase: the device-class instances that the
   sweeps left. */
int RemoveDeviceClassEntries(void)
{
    if (!RemoveFamilyDeviceKeys())
        return 0;
    if (IsNtFamily())
        DeleteKeysByValue(PrinterClassKey, DriverDescValue, ProductDisplayName, 0);
    return 1;
}

/* Deletes the product's queues in each tree below HKEY_LOCAL_MACHINE that a
   table names. */
static void DeleteQueuesInTrees(const char *table, unsigned width, unsigned rows)
{
    char tree[256];
    unsigned row;

    for (row = 0; row < rows; row++) {
        CopySubstring(tree, table, row * width, width);
        DeleteKeysByValue(tree, PrinterDriverValue, ProductDisplayName, 0);
    }
}

/* Last step of the registry phase: the queues of the product's driver. */
int RemovePrinterQueues(void)
{
    if (IsNtFamily())
        DeleteQueuesInTrees(TABLE_ARGS(TablePrinterTrees));
    else if (Is9xFamily())
        DeleteKeysByValue(PrintersKey, PrinterDriverValue, ProductDisplayName, 0);
    return 1;
}
