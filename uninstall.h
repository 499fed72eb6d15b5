/* Quenmar T58 removal program: the names that more than one file uses, the
   process-wide values, the name tables and the prototypes, grouped by the
   file that defines them. */
#ifndef QUENMAR_UNINSTALL_H
#define QUENMAR_UNINSTALL_H

#include <windows.h>
#include <stdio.h>

/* Names of the product, its maker and the places that several parts of the
   removal read or change. Registry key paths are relative to their root. */
#define ProductDisplayName "Quenmar T58"
#define ProductFolderName "QuenmarT58"
#define ScannerDescription "Quenmar T58 MFP Scanner"
#define MakerName "Quenmar"
#define OcrProgramName "Sprint.exe"
#define AppPathsKey "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
#define RunOnceKey "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define PrintersKey "System\\CurrentControlSet\\Control\\Print\\Printers"
#define Printer9xClassKey "System\\CurrentControlSet\\Services\\Class\\Printer"
#define PrinterDriverValue "Printer Driver"
#define DriverDescValue "DriverDesc"

/* Progress percentages run from 0 to 100; string ids come from resources/resource.h. */

/* The number of elements of an array: of a name table, its rows. */
#define ARRAY_SIZE(array) (sizeof(array) / sizeof((array)[0]))

/* Name tables: the product's data from <folder>/tables/<name>.tbl, one
   zero-terminated name per fixed-width record, a folder's row after the rows
   of its contents. Each is declared below with its shape, [rows][width], and
   defined beside its user as "decltype(Table) Table = { rows };": the
   compiler then refuses a row too many or a row too long, and a row too few
   leaves an empty last row. Every user takes a table as the three arguments
   of TABLE_ARGS and fetches its rows with CopySubstring. */
#define TABLE_ARGS(table) (const char *)(table), (unsigned)sizeof((table)[0]), (unsigned)ARRAY_SIZE(table)
/* A single name taken as a table of one row, and no names at all. */
#define NAME_ARGS(name) (name), (unsigned)sizeof(name), 1u
#define NO_NAMES NULL, 0u, 0u

/* Steps: each removal phase is a compiled-in table of steps (files/sweeps.cpp,
   registry/sweeps.cpp), one row per step in the phase's order, read by one
   loop. A row names the Windows families it runs on, what else must hold for
   it (StepApplies), where it works and what it does with its name table. */
enum StepFamilies {
    OnWin98 = 1, OnWinMe = 2, OnWin2000 = 4, OnWinXP = 8,
    On9x = OnWin98 | OnWinMe, OnNt = OnWin2000 | OnWinXP, OnAll = On9x | OnNt
};
/* What must hold for a step besides its family, flags that must all hold: no
   other printer of the maker is installed (a sibling model is one too), one
   is, no sibling model is, the OCR program's App Paths entry is the
   product's (ProductOwnsOcrAppPath); Always names none. */
enum StepCondition {
    Always = 0, IfNoOtherMaker = 1, IfOtherMaker = 2, IfNoSibling = 4, IfOcrEntryIsProducts = 8,
    IfNoSiblingOcrEntryIsProducts = IfNoSibling | IfOcrEntryIsProducts
};
/* The folders the steps work in (GetStepFolder). */
enum StepFolder {
    NoFolder, WindowsFolder, SystemFolder, InstallFolder, DefaultInstallFolder, ProgramFilesFolder, DesktopFolder,
    TwainFolder, WindowsColorFolder, InfFolder, SystemColorFolder, NtColorFolder, DriverFolder, Driver3Folder,
    XpDriverFolder
};

/* sequence/globals.cpp: values set at start-up and shared by the phases */
extern HINSTANCE hInstance;
extern DWORD IsWinXP, IsWin2000, IsWin98, IsWinMe;
extern DWORD OtherMakerPrinterPresent, SiblingModelPresent;
extern char SiblingDriverName[256];
extern char ProductQueueNames[8][256];
extern char OtherPrinterDrivers[32][256];
extern char InstallDir[256];
extern char DefaultInstallDir[256];
extern DWORD ProductOwnsOcrAppPath;
extern char FoundFolder[260];
extern char ProductPrinterName[256];
extern char MatchedKeyName[260];
extern HWND ProgressWindow;
extern int ProgressValue;
extern char TraceBuffer[512];
extern unsigned RunOnceSerial;
extern DWORD QuietRun, PlanOnly;
extern char ReportPath[MAX_PATH];

/* True on Windows 2000 and XP, and on Windows 98 and Me. */
#define IsNtFamily() (IsWinXP || IsWin2000)
#define Is9xFamily() (IsWin98 || IsWinMe)

/* sequence/winmain.cpp */
int RunRemovalPhases(void);

/* sequence/switches.cpp: ReadSwitches returns SwitchesRun, or the exit code
   after the usage was shown. */
#define SwitchesRun (-1)
int ReadSwitches(const char *commandLine);

/* sequence/report.cpp: the file that /log and /plan write, and what a plan
   has reported as gone. */
int StartReport(void);
void ReportLine(const char *format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
void ReportConditions(void);
DWORD PlanRemoval(const char *action, const char *item);
int IsPlannedAway(const char *name);

/* sequence/platform.cpp */
int DetectWindowsFamily(void);
int CheckAdministrator(void);
void RestartWindows(void);

/* sequence/discovery.cpp */
int ReadTextValue(HKEY key, const char *name, char *buffer, DWORD size);
void SurveyPrinters(void);
int FindInstallDir(void);
int FindFileOnFixedDrives(const char *name);
int HoldsInstalledProgram(const char *folder);
extern const char TableSiblingPrefixes[1][255], TableInstalledPrograms[5][18];

/* sequence/findtree.cpp */
int FindNameInTree(const char *name, int mode, const char *passed = NULL);
int IsInProductFolder(const char *folder);

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
int ScheduleNtDeletion(const char *path);
int TraceRemoval(const char *message);
void TraceDeletion(const char *format, const char *first, const char *second);
void TraceFailure(DWORD error, const char *format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));
void CopySubstring(char *dst, const char *src, unsigned start, unsigned count);
int GetShortPath(const char *path, char *shortPath);
BOOL RemoveFile(const char *path, int clearAttributes);
BOOL RemoveFolder(const char *path);

/* files/plan.cpp: what the file primitives report in a plan in place of acting */
BOOL PlanFileRemoval(const char *path, int clearAttributes);
BOOL PlanFolderRemoval(const char *path);
int PlanMoveAside(const char *path);
int PlanRestartRemoval(const char *path);
int PlanWinInitLine(const char *iniPath, const char *path);
int PlanProgramStart(const char *module, const char *commandLine, const char *folder, int hidden);

/* files/reboot.cpp */
int DeleteOnReboot(char *path, const char *target);
int RemoveDirOnReboot(char *path);
void NoteScheduled(const char *path);
int IsRestartPending(void);

/* files/text.cpp: edits and checks of text read from the machine, over byte
   buffers, with no Windows calls. InsertRenameLine needs RenameLineRoom bytes
   behind the text besides the line: a line break and the "[rename]" header. */
#define RenameLineRoom 12
size_t InsertRenameLine(char *text, size_t size, const char *line, size_t length);
int NamesModel(const char *text, size_t length, const char *model, int ignoreCase);

/* files/sweeps.cpp */
void RemoveProductFiles(void);
int StepApplies(StepFamilies families, StepCondition condition);
const char *SparingPrinter(StepFamilies families, StepCondition condition);
char *GetStepFolder(StepFolder folder, char *buffer);
int JoinPath(char *buffer, size_t size, const char *folder, const char *name);
int GetWindowsFolder(char *buffer);
int GetSystemFolder(char *buffer);
void DeleteTable(const char *folder, const char *table, unsigned width, unsigned rows);
extern const char TableC1[10][27], TableC2[5][25], TableC3[13][13], TableC4[8][18], TableC5[465][31];
extern const char TableC6[2][19], TableC7[9][20], TableC8[114][13], TableC9[8][21], TableC10[10][13];
extern const char TableN1[2][13], TableN2[5][30], TableN3[6][33], TableN4[25][13], TableN5[23][13];
extern const char TableN6[2][18], TableN7[3][22], TableN8[1][20];
extern const char TableS1[1][11], TableS2[8][30], TableS3[1][30], TableS4[40][13], TableS5[26][13];
extern const char TableS6[1][18], TableS7[3][24];

/* files/shortcuts.cpp */
int RemoveDesktopShortcuts(void);
int RemoveProgramGroupFolders(void);
int DeleteShortcutsInFolder(const char *folder);
extern const char TableProductShortcut[1][16], TableMenuOrderKey[1][93], TableVendorKeys[4][28];

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
int FindKeyByValue(HKEY parent, const char *valueName, const char *wantedData, const char *parentPath = NULL);
LONG DeleteKeyWithSubkeys(HKEY root, const char *path);
int IsSharedKeyRow(const char *table, unsigned width, unsigned row);
LONG DeleteKeyIfEmpty(HKEY root, const char *path);
LONG DeleteRegistryValue(HKEY root, const char *keyPath, HKEY key, const char *valueName);
const char *RootName(HKEY root);

/* registry/plan.cpp: what the registry primitives report in a plan in place of acting */
int IsKeyPlannedAway(HKEY root, const char *path, const char *subkey);
LONG PlanKeyRemoval(HKEY root, const char *path, int repairsAccess);
LONG PlanSharedKeyRemoval(HKEY root, const char *path);
LONG PlanValueRemoval(HKEY root, const char *keyPath, HKEY key, const char *valueName);
LONG PlanValueWrite(HKEY root, const char *path, const char *name, const char *data, int create);

/* registry/devices.cpp */
int RemoveDeviceRegistrations(void);
int RemoveDeviceClassEntries(void);
int RemovePrinterQueues(void);
void DeleteKeysByValue(const char *parentPath, const char *valueName, const char *wantedData, int isQueue);
extern const char TablePrinterTrees[2][60];

/* registry/sweeps.cpp */
int RemoveRegistryEntries(void);
extern const char TableRegC1[2][27], TableRegC4[43][49], TableRegC5[7][77], TableRegC6[7][66];
extern const char TableRegC7[5][65], TableRegC8[6][54], TableRegC9[4][31];
extern const char TableRegW1[2][16], TableRegW2[2][65], TableRegW3[4][61], TableRegW4[17][108];
extern const char TableRegW5[1][80], TableRegW6[2][62], TableRegW7[1][94], TableRegW8[1][60];
extern const char TableRegW9[43][13], TableRegW9Maker[42][13], TableRegW10[11][13], TableRegW10Maker[2][13];
extern const char TableRegW12[3][11], TableRegW13[4][63], TableRegW14[1][93];
extern const char TableRegN1[6][58], TableRegN2[1][50], TableRegN3[3][69], TableRegN4[9][165];
extern const char TableRegN5[2][94], TableRegN6[2][27], TableRegN7[1][9], TableRegN8[6][60];
extern const char TableRegN9[1][60], TableRegN10[20][34], TableRegN10Maker[29][34], TableRegN11[1][97];
extern const char TableRegN12[2][49];

/* spooler/spooler.cpp */
int StopSpooler(void);
int StartSpooler(void);

/* spooler/profile.cpp */
int ResetDefaultPrinterProfile(void);
void DeleteDefaultPrinterValue(HKEY root, const char *keyPath, const char *valueName);

/* restore/mfc.cpp */
int RestoreSharedSettings(void);
int RestoreMfcRegistrations(void);
int WriteUninstallMarker(void);
LONG WriteStringValue(HKEY root, const char *path, const char *name, const char *data, int create);
extern const char TableMfcClassKeys[3][60];

/* restore/handback.cpp */
int HandBackCompanionApps(void);

#endif
