/* Process-wide values: set once at start-up or by the phase that owns them. */
#include "uninstall.h"

HINSTANCE hInstance;
DWORD IsWinXP, IsWin2000, IsWin98, IsWinMe;
DWORD OtherMakerPrinterPresent, SiblingModelPresent;
char SiblingDriverName[256];
/* Lists filled by the start-up survey, each ended by its first empty row: the
   queues on the product's driver, which the run removes, and the drivers of
   every other installed printer. */
char ProductQueueNames[8][256];
char OtherPrinterDrivers[32][256];
char InstallDir[256];
char DefaultInstallDir[256];
DWORD ProductOwnsOcrAppPath;
char FoundFolder[260];
char ProductPrinterName[256];
char MatchedKeyName[260];
HWND ProgressWindow;
int ProgressValue;
char TraceBuffer[512];
unsigned RunOnceSerial;
/* Set by the switches: no box, wait box, progress window or restart (/quiet,
   and /plan, which is unattended too); the changing calls report what they
   would do instead of doing it (/plan); the file that /log or /plan names. */
DWORD QuietRun, PlanOnly;
char ReportPath[MAX_PATH];
