/* Process-wide values: set once at start-up or by the phase that owns them. */
#include "uninstall.h"

HINSTANCE hInstance;
DWORD IsWinXP, IsWin2000, IsWin98, IsWinMe;
DWORD OtherMakerPrinterPresent, SiblingModelPresent;
char SiblingDriverName[256];
/* The drivers of the installed printers other than the product's, as the
   start-up survey found them; the list ends at its first empty row. */
char OtherPrinterDrivers[32][256];
char InstallDir[256];
char DefaultInstallDir[256];
char FoundFolder[260];
char ProductPrinterName[256];
char MatchedKeyName[260];
HWND ProgressWindow;
int ProgressValue;
char TraceBuffer[512];
unsigned RunOnceSerial;
