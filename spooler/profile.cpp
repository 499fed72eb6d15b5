/* Windows profile clean-up: the product's printer leaves the printer sections
   of WIN.INI (or their registry mapping), the default printer is cleared
   where it is one of the product's queues, and every top-level window is
   told that the profile changed. */
#include <string.h>
#include "uninstall.h"

/* Room for a printer setting, "queue,driver,port", whose queue name fits in 255 characters. */
#define SettingSize 512

/* True when a printer setting names a queue that the run removes: its text
   before the first comma is, ignoring case, one of the queues on the
   product's driver that the start-up survey found. */
static int NamesRemovedQueue(const char *setting)
{
    size_t length = strcspn(setting, ",");
    unsigned row;

    for (row = 0; row < ARRAY_SIZE(ProductQueueNames) && ProductQueueNames[row][0] != '\0'; row++)
        if (strlen(ProductQueueNames[row]) == length && _strnicmp(setting, ProductQueueNames[row], length) == 0)
            return 1;
    return 0;
}

/* Deletes a value of root\keyPath that holds a default printer when it names
   a queue that the run removes; one that is missing, no text or too long
   stays. */
void DeleteDefaultPrinterValue(HKEY root, const char *keyPath, const char *valueName)
{
    char setting[SettingSize];
    HKEY key;
    LONG status;

    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    if (ReadTextValue(key, valueName, setting, sizeof(setting)) && NamesRemovedQueue(setting)) {
        status = DeleteRegistryValue(root, keyPath, key, valueName);
        if (status != ERROR_SUCCESS)
            TraceFailure((DWORD)status, "Cannot delete value %s of %s\\%s", valueName, RootName(root), keyPath);
    }
    RegCloseKey(key);
}

/* Deletes an entry of a section of the profile; a plan reports it instead,
   when it is there. */
static void DeleteProfileEntry(const char *section, const char *name)
{
    char setting[SettingSize];

    if (!PlanOnly)
        WriteProfileStringA(section, name, NULL);
    else if (GetProfileStringA(section, name, "", setting, sizeof(setting)) > 0)
        ReportLine("delete profile entry\t[%s]\t\"%s\"", section, name);
}

/* Removes the product's queue from "Devices" and "PrinterPorts", clears the
   default printer when it is one of the product's queues (a setting that
   fills the buffer may be cut, and stays) and broadcasts the change; returns
   the result of the broadcast. */
int ResetDefaultPrinterProfile(void)
{
    char setting[SettingSize];
    DWORD length = GetProfileStringA("Windows", "Device", "", setting, sizeof(setting));

    /* An empty queue name would name no entry, or on some versions the whole
       section: the printer sections are only touched for a known queue. */
    if (ProductPrinterName[0] != '\0') {
        DeleteProfileEntry("Devices", ProductPrinterName);
        DeleteProfileEntry("PrinterPorts", ProductPrinterName);
    }
    if (length < sizeof(setting) - 1 && NamesRemovedQueue(setting))
        DeleteProfileEntry("Windows", "Device");
    return SendNotifyMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0) ? 1 : 0;
}
