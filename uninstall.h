/* Quenmar T58 removal program: process-wide values and prototypes,
   grouped by the file that defines them. */
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
int GetShortPath(const char *path, char *shortPath);

/* files/reboot.cpp */
int DeleteOnReboot(char *path, const char *target);
int RemoveDirOnReboot(char *path);

/* files/sweeps.cpp */
void RemoveProductFiles(void);
int SweepCommonFiles(void);
int SweepNtFiles(void);
int Sweep9xFiles(void);
int JoinPath(char *buffer, size_t size, const char *folder, const char *name);
int GetWindowsFolder(char *buffer);
int GetSystemFolder(char *buffer);

/* Name tables of the file sweeps (files/tables/<NAME>.tbl): one name per
   fixed-width row, a folder's row after the rows of its contents. */
#define TableC1Rows 10
#define TableC2Rows 5
#define TableC3Rows 13
#define TableC4Rows 8
#define TableC5Rows 465
#define TableC6Rows 2
#define TableC7Rows 9
#define TableC8Rows 114
#define TableC9Rows 8
#define TableC10Rows 10
#define TableN1Rows 2
#define TableN2Rows 5
#define TableN3Rows 6
#define TableN4Rows 25
#define TableN5Rows 23
#define TableN6Rows 2
#define TableN7Rows 3
#define TableN8Rows 1
#define TableS1Rows 1
#define TableS2Rows 8
#define TableS3Rows 1
#define TableS4Rows 40
#define TableS5Rows 26
#define TableS6Rows 1
#define TableS7Rows 3
extern const char TableC1[][27], TableC2[][25], TableC3[][13], TableC4[][18], TableC5[][31];
extern const char TableC6[][19], TableC7[][20], TableC8[][13], TableC9[][21], TableC10[][13];
extern const char TableN1[][13], TableN2[][30], TableN3[][33], TableN4[][13], TableN5[][13];
extern const char TableN6[][18], TableN7[][22], TableN8[][20];
extern const char TableS1[][11], TableS2[][30], TableS3[][30], TableS4[][13], TableS5[][13];
extern const char TableS6[][18], TableS7[][24];

/* files/shortcuts.cpp */
int RemoveDesktopShortcuts(void);
int RemoveProgramGroupFolders(void);
int DeleteShortcutsInFolder(const char *folder);

/* The product's desktop shortcut, the per-user Start-menu ordering key of its
   program group and the two vendors' per-user keys (one name per row). */
#define TableProductShortcutRows 1
#define TableMenuOrderKeyRows 1
#define TableVendorKeysRows 2
extern const char TableProductShortcut[][16], TableMenuOrderKey[][93], TableVendorKeys[][17];

/* files/oeminf.cpp */
int CleanOemInfFiles(void);
int ListInfFiles(char **list, const char *folder);
int IsProductPrinterInf(const char *name, const char *folder);
int DeletePnfTwin(char *path);

/* files/heap.cpp */
void *AllocBlock(DWORD size);
void FreeBlock(void *block);

/* files/companion.cpp */
int RunCompanionRemoval(const char *path);
int RunStatusServiceRemoval(void);

/* registry/keytree.cpp */
LONG DeleteKeyTree(const char *path);
int GrantKeyFullAccess(const char *path);
int FindKeyByValue(HKEY parent, const char *valueName, const char *wantedData);
LONG DeleteKeyWithSubkeys(HKEY root, const char *path);
void TraceRegistryDeletion(const char *format, const char *first, const char *second);

/* registry/devices.cpp */
int RemoveDeviceRegistrations(void);
int RemoveDeviceClassEntries(void);
int RemovePrinterQueues(void);
void DeleteKeysByValue(const char *parentPath, const char *valueName, const char *wantedData, int isQueue);

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
LONG SetStringValue(HKEY key, const char *name, const char *data);

/* restore/handback.cpp */
int HandBackCompanionApps(void);

#endif
