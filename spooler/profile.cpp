/* Windows profile clean-up: the product's printer leaves the printer sections
   of WIN.INI (or their registry mapping), the default printer is cleared, and
   every top-level window is told that the profile changed. */
#include "uninstall.h"

/* Removes the product's queue from "Devices" and "PrinterPorts", clears the default
   printer and broadcasts the change; returns the result of the broadcast. */
int ResetDefaultPrinterProfile(void)
{
    /* An empty queue name would name no entry, or on some versions the whole
       section: the printer sections are only touched for a known queue. */
    if (ProductPrinterName[0] != '\0') {
        WriteProfileStringA("Devices", ProductPrinterName, NULL);
        WriteProfileStringA("PrinterPorts", ProductPrinterName, NULL);
    }
    WriteProfileStringA("Windows", "Device", NULL);
    return SendNotifyMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0) ? 1 : 0;
}
