/*
 * Quenmar T58 removal program: process-wide values and prototypes,
 * grouped by the file that defines them.
 */
#ifndef QUENMAR_UNINSTALL_H
#define QUENMAR_UNINSTALL_H

#include <windows.h>

/* Names of the product, its maker and its model series. */
#define ProductDisplayName "Quenmar T58"
#define ProductFolderName "QuenmarT58"
#define ScannerDescription "Quenmar T58 MFP Scanner"

/* Progress percentages run from 0 to 100; string ids come from resources/resource.h. */

/* sequence/globals.cpp: values set at start-up and shared by the phases */
extern HINSTANCE hInstance;
extern DWORD IsWinXP, IsWin2000, IsWin98, IsWinMe;
extern DWORD OtherMakerPrinterPresent, SiblingModelPresent;
extern char SiblingDriverName[256];
extern char InstallDir[256];
extern char DefaultInstallDir[256];
extern char FoundFolder[260];
extern char ProductPrinterName[256];
extern char MatchedKeyName[260];
extern HWND ProgressWindow;
extern int ProgressValue;
extern char TraceBuffer[512];
extern unsigned RunOnceSerial;

/* True on Windows 2000 and XP, and on Windows 98 and Me. */
#define IsNtFamily() (IsWinXP || IsWin2000)
#define Is9xFamily() (IsWin98 || IsWinMe)

/* sequence/winmain.cpp */
int RunRemovalPhases(void);

/* sequence/platform.cpp */
int DetectWindowsFamily(void);
int CheckAdministrator(void);
void RestartWindows(void);

/* sequence/discovery.cpp */
void SurveyPrinters(void);
int FindInstallDir(void);
int FindFileOnFixedDrives(const char *name);

/* sequence/findtree.cpp */
int FindNameInTree(const char *name, int mode);

/* sequence/selfremove.cpp */
void ScheduleSelfRemoval(void);

/* progress/progress.cpp */
int CreateProgressWindow(void);
void ShowProgress(UINT textId, int from, int to);
int SetProgressStep(UINT textId, int percent);
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int ScaleBarToPercent(int percent, RECT *rect);

/* progress/paint.cpp */
void PaintProgressWindow(HWND window);

/* progress/messages.cpp */
void ShowStringMessage(UINT captionId, UINT textId);
int ShowSystemError(DWORD errorCode);

/* files/delete.cpp */
int DeleteFileOrDefer(const char *folder, const char *name);
int TempRenameFallback(const char *path);
int TraceRemoval(const char *message);
void CopySubstring(char *dst, const char *src, unsigned start, unsigned count);

/* files/reboot.cpp */
int DeleteOnReboot(char *path, const char *target);
int RemoveDirOnReboot(char *path);

/* files/sweeps.cpp */
void RemoveProductFiles(void);
int SweepCommonFiles(void);
int SweepNtFiles(void);
int Sweep9xFiles(void);

/* files/shortcuts.cpp */
int RemoveDesktopShortcuts(void);
int RemoveProgramGroupFolders(void);

/* files/oeminf.cpp */
int CleanOemInfFiles(void);
int ListInfFiles(char **list, const char *folder);
int IsProductPrinterInf(const char *name, const char *folder);
int DeletePnfTwin(char *path);
void *AllocBlock(DWORD size);
void FreeBlock(void *block);

/* files/companion.cpp */
int RunCompanionRemoval(const char *path);
int RunStatusServiceRemoval(void);

/* registry/keytree.cpp */
LONG DeleteKeyTree(const char *path);
int GrantKeyFullAccess(const char *path);
int FindKeyByValue(HKEY parent, const char *valueName, const char *wantedData);

/* registry/devices.cpp */
int RemoveDeviceRegistrations(void);
int RemoveDeviceClassEntries(void);
int RemovePrinterQueues(void);

/* registry/sweeps.cpp */
int RemoveRegistryEntries(void);
int RemoveCommonRegistryEntries(void);
int Remove9xRegistryEntries(void);
int RemoveNtRegistryEntries(void);

/* spooler/spooler.cpp */
int StopSpooler(void);
int StartSpooler(void);

/* spooler/profile.cpp */
int ResetDefaultPrinterProfile(void);

/* restore/mfc.cpp */
int RestoreSharedSettings(void);
int RestoreMfcRegistrations(void);
int WriteUninstallMarker(void);

/* restore/handback.cpp */
int HandBackCompanionApps(void);

#endif
LONG DeleteKeyWithSubkeys(HKEY root, const char *path);
void TraceRegistryDeletion(const char *format, const char *first, const char *second);
void DeleteKeysByValue(const char *parentPath, const char *valueName, const char *wantedData, int isQueue);
