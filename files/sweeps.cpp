/* The file phase: the product's companion programs unregister themselves,
   then its files go step by step, each step a row of one table that names the
   families it runs on, what else it waits for, its folder and its name
   table. What other printers of the maker or a sibling model still need
   stays. */
#include "uninstall.h"
#include <stdio.h>
#include <string.h>
#include <shlobj.h>

/* The monitor program in the installation folder, started with "-u". */
#define MonitorProgramName "REZevavav_T58.exe"
/* The TWAIN folder below the Windows folder, which holds a folder of the maker. */
#define TwainFolderName "twain_32"
/* The printer driver's own folder below the driver folder on Windows XP, and
   the driver's status file in it. */
#define XpDriverFolderName "quenmarquenmar_t5828e0"
#define DriverStatusFileName "qnmstat.ini"

decltype(TableC1) TableC1 = {
#include "C1.inc"
};
decltype(TableC2) TableC2 = {
#include "C2.inc"
};
decltype(TableC3) TableC3 = {
#include "C3.inc"
};
decltype(TableC4) TableC4 = {
#include "C4.inc"
};
decltype(TableC5) TableC5 = {
#include "C5.inc"
};
decltype(TableC6) TableC6 = {
#include "C6.inc"
};
decltype(TableC7) TableC7 = {
#include "C7.inc"
};
decltype(TableC8) TableC8 = {
#include "C8.inc"
};
decltype(TableC9) TableC9 = {
#include "C9.inc"
};
decltype(TableC10) TableC10 = {
#include "C10.inc"
};
decltype(TableN1) TableN1 = {
#include "N1.inc"
};
decltype(TableN2) TableN2 = {
#include "N2.inc"
};
decltype(TableN3) TableN3 = {
#include "N3.inc"
};
decltype(TableN4) TableN4 = {
#include "N4.inc"
};
decltype(TableN5) TableN5 = {
#include "N5.inc"
};
decltype(TableN6) TableN6 = {
#include "N6.inc"
};
decltype(TableN7) TableN7 = {
#include "N7.inc"
};
decltype(TableN8) TableN8 = {
#include "N8.inc"
};
decltype(TableS1) TableS1 = {
#include "S1.inc"
};
decltype(TableS2) TableS2 = {
#include "S2.inc"
};
decltype(TableS3) TableS3 = {
#include "S3.inc"
};
decltype(TableS4) TableS4 = {
#include "S4.inc"
};
decltype(TableS5) TableS5 = {
#include "S5.inc"
};
decltype(TableS6) TableS6 = {
#include "S6.inc"
};
decltype(TableS7) TableS7 = {
#include "S7.inc"
};

/* Joins folder, a backslash and name into buffer; 0, with buffer empty, when
   the folder is empty or the whole would not fit. */
int JoinPath(char *buffer, size_t size, const char *folder, const char *name)
{
    int written;

    buffer[0] = '\0';
    if (folder[0] == '\0')
        return 0;
    written = snprintf(buffer, size, "%s\\%s", folder, name);
    if (written < 0 || (size_t)written >= size) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

/* Puts a folder that Windows reports into a buffer of 256 bytes; 0, with the
   buffer empty, when it cannot be had within it. */
static int GetReportedFolder(UINT(WINAPI *report)(LPSTR, UINT), char *buffer)
{
    UINT length = report(buffer, 255);

    if (length == 0 || length >= 255) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

int GetWindowsFolder(char *buffer)
{
    return GetReportedFolder(GetWindowsDirectoryA, buffer);
}

int GetSystemFolder(char *buffer)
{
    return GetReportedFolder(GetSystemDirectoryA, buffer);
}

/* Removes one item of a folder now or at the next restart; nothing when the
   folder is unknown (empty), which would make the name relative to a drive. */
static void DeleteInFolder(const char *folder, const char *name)
{
    if (folder[0] != '\0')
        DeleteFileOrDefer(folder, name);
}

/* Hands every row of a name table to DeleteFileOrDefer in one folder, or, when
   a second folder is given, in both folders row by row. */
static void DeleteTableInFolders(const char *folder, const char *secondFolder, const char *table,
                                 unsigned width, unsigned rows)
{
    char name[256];
    unsigned row;

    for (row = 0; row < rows; row++) {
        CopySubstring(name, table, row * width, width);
        DeleteInFolder(folder, name);
        if (secondFolder != NULL)
            DeleteInFolder(secondFolder, name);
    }
}

/* Hands every row of a name table to DeleteFileOrDefer in one folder. */
void DeleteTable(const char *folder, const char *table, unsigned width, unsigned rows)
{
    DeleteTableInFolders(folder, NULL, table, width, rows);
}

/* Removes the folders that a table names in folder, those that are empty. */
static void RemoveEmptyFolders(const char *folder, const char *table, unsigned width, unsigned rows)
{
    char name[256], path[256];
    unsigned row;

    for (row = 0; row < rows; row++) {
        CopySubstring(name, table, row * width, width);
        if (JoinPath(path, sizeof(path), folder, name))
            RemoveFolder(path);
    }
}

/* Removes a folder when it is empty; otherwise schedules its removal at the
   next restart: under its own path on the NT family, by a RunOnce "rd"
   command on the 9x family (which turns path into its short form). A folder
   that does not exist, or a file of that name, is left alone. */
static void RemoveFolderOrSchedule(char *path)
{
    DWORD attributes;

    if (path[0] == '\0' || RemoveFolder(path))
        return;
    attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    if (IsNtFamily())
        ScheduleNtDeletion(path);
    else if (Is9xFamily())
        RemoveDirOnReboot(path);
}

/* Removes or schedules each folder that a table names in folder, or, with no
   rows, folder itself (which the 9x family may turn into its short form). */
static void RemoveFoldersOrSchedule(char *folder, const char *table, unsigned width, unsigned rows)
{
    char name[256], path[256];
    unsigned row;

    if (rows == 0)
        RemoveFolderOrSchedule(folder);
    for (row = 0; row < rows; row++) {
        CopySubstring(name, table, row * width, width);
        if (JoinPath(path, sizeof(path), folder, name))
            RemoveFolderOrSchedule(path);
    }
}

/* Removes the program group from the shell's programs folder (all users on
   the NT family, the user's own on the 9x family): its shortcuts, then the
   folder. Shortcuts are looked for only inside the group folder itself. */
static int RemoveProgramGroup(void)
{
    char programs[MAX_PATH];
    char group[256];
    int folderId = IsNtFamily() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;

    if (!SHGetSpecialFolderPathA(NULL, programs, folderId, FALSE)
        || !JoinPath(group, sizeof(group), programs, ProductDisplayName))
        return 0;
    DeleteShortcutsInFolder(group);
    SetCurrentDirectoryA(programs);
    RemoveFolderOrSchedule(group);
    return 1;
}

/* 1 when a step runs on the running family and all its conditions hold. */
int StepApplies(StepFamilies families, StepCondition condition)
{
    unsigned running = (IsWin98 ? OnWin98 : 0) | (IsWinMe ? OnWinMe : 0) | (IsWin2000 ? OnWin2000 : 0)
                       | (IsWinXP ? OnWinXP : 0);
    unsigned holding = (OtherMakerPrinterPresent ? IfOtherMaker : IfNoOtherMaker)
                       | (SiblingModelPresent ? 0 : IfNoSibling)
                       | (ProductOwnsOcrAppPath ? IfOcrEntryIsProducts : 0);

    return (families & running) && (condition & holding) == condition;
}

/* What spares a step of the running family that the printers' conditions
   skip: the sibling model or another printer of the maker; NULL when the
   step runs, is not for this family, or runs only beside another printer. */
const char *SparingPrinter(StepFamilies families, StepCondition condition)
{
    if (!StepApplies(families, Always) || StepApplies(families, condition))
        return NULL;
    if ((condition & IfNoSibling) && SiblingModelPresent)
        return "the sibling model";
    return (condition & IfNoOtherMaker) && OtherMakerPrinterPresent ? "another printer of the maker" : NULL;
}

/* In a plan, names the files of a table that a printer spares in folder, but
   for those that an earlier step takes all the same. */
static void ReportSparedFiles(const char *spare, const char *folder, const char *table, unsigned width,
                              unsigned rows)
{
    char name[256], path[MAX_PATH];
    unsigned row;

    for (row = 0; spare != NULL && folder != NULL && row < rows; row++) {
        CopySubstring(name, table, row * width, width);
        if (JoinPath(path, sizeof(path), folder, name) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES
            && !IsPlannedAway(path))
            ReportLine("keep for %s\t%s", spare, path);
    }
}

/* The folders of the steps that lie below another one. */
static const struct {
    StepFolder folder, parent;
    const char *name;
} Subfolders[] = {
    {TwainFolder, WindowsFolder, TwainFolderName},
    {WindowsColorFolder, WindowsFolder, "color"},
    {InfFolder, WindowsFolder, "inf"},
    {SystemColorFolder, SystemFolder, "color"},
    {NtColorFolder, SystemFolder, "spool\\drivers\\color"},
    {DriverFolder, SystemFolder, "spool\\drivers\\w32x86"},
    {Driver3Folder, DriverFolder, "3"},
    {XpDriverFolder, DriverFolder, XpDriverFolderName},
};

/* Puts the folder that a step names into buffer (MAX_PATH bytes, a folder
   built here held to 255 characters) and returns it, empty when it cannot be
   had; NULL for no folder. The installation folders are returned themselves:
   removing one may turn it into its short form for the steps after it. */
char *GetStepFolder(StepFolder folder, char *buffer)
{
    char parent[MAX_PATH];
    char *cut;
    unsigned index;

    buffer[0] = '\0';
    switch (folder) {
    case NoFolder:
        return NULL;
    case InstallFolder:
        return InstallDir;
    case DefaultInstallFolder:
        return DefaultInstallDir;
    case WindowsFolder:
        GetWindowsFolder(buffer);
        return buffer;
    case SystemFolder:
        GetSystemFolder(buffer);
        return buffer;
    case DesktopFolder:
        if (!SHGetSpecialFolderPathA(NULL, buffer, CSIDL_DESKTOPDIRECTORY, FALSE))
            buffer[0] = '\0';
        return buffer;
    case ProgramFilesFolder:
        /* The folder that holds the default installation folder. */
        memcpy(buffer, DefaultInstallDir, sizeof(DefaultInstallDir));
        buffer[sizeof(DefaultInstallDir) - 1] = '\0';
        cut = strrchr(buffer, '\\');
        if (cut != NULL)
            *cut = '\0';
        else
            buffer[0] = '\0';
        return buffer;
    default:
        break;
    }
    for (index = 0; index < ARRAY_SIZE(Subfolders); index++)
        if (Subfolders[index].folder == folder)
            JoinPath(buffer, 256, GetStepFolder(Subfolders[index].parent, parent), Subfolders[index].name);
    return buffer;
}

/* What a step of the file phase does: deletes its names in its folder (and
   in its second folder, row by row) now or at the restart, removes the
   folders it names when they are empty, removes them or schedules them
   (with no names its folder itself), or calls a function of its own. */
enum FileStepKind { DeleteNames, RemoveEmpty, RemoveOrSchedule, CallFunction };

/* The steps of the file phase after the companion programs, in their order:
   those of both families, then those of 2000 and XP, then those of 98 and Me. */
static const struct FileStep {
    const char *names;
    unsigned width, rows;
    StepFamilies families;
    StepCondition condition;
    StepFolder folder, secondFolder;
    FileStepKind how;
    int (*call)(void);
} FileSteps[] = {
    /* TWAIN data source */
    {TABLE_ARGS(TableC1), OnAll, Always, TwainFolder, NoFolder, DeleteNames, NULL},
    /* the maker's TWAIN folder */
    {NAME_ARGS(MakerName), OnAll, Always, TwainFolder, NoFolder, RemoveEmpty, NULL},
    /* program group */
    {NO_NAMES, OnAll, Always, NoFolder, NoFolder, CallFunction, RemoveProgramGroup},
    /* colour profiles */
    {TABLE_ARGS(TableC2), OnNt, Always, NtColorFolder, NoFolder, DeleteNames, NULL},
    {TABLE_ARGS(TableC2), On9x, Always, SystemColorFolder, NoFolder, DeleteNames, NULL},
    /* the maker's status sounds */
    {TABLE_ARGS(TableC3), OnNt, IfNoOtherMaker, Driver3Folder, NoFolder, DeleteNames, NULL},
    {TABLE_ARGS(TableC3), On9x, IfNoOtherMaker, SystemFolder, NoFolder, DeleteNames, NULL},
    /* settings and setup files */
    {TABLE_ARGS(TableC4), OnAll, Always, WindowsFolder, NoFolder, DeleteNames, NULL},
    /* the installed tree */
    {TABLE_ARGS(TableC5), OnAll, Always, InstallFolder, NoFolder, DeleteNames, NULL},
    /* image folders */
    {TABLE_ARGS(TableC6), OnAll, Always, InstallFolder, NoFolder, RemoveEmpty, NULL},
    /* the installation folder */
    {NO_NAMES, OnAll, Always, InstallFolder, NoFolder, RemoveOrSchedule, NULL},
    /* removal and check programs */
    {TABLE_ARGS(TableC7), OnAll, Always, DefaultInstallFolder, InstallFolder, DeleteNames, NULL},
    /* imaging library */
    {TABLE_ARGS(TableC8), OnAll, IfNoSibling, SystemFolder, NoFolder, DeleteNames, NULL},
    /* driver support files */
    {TABLE_ARGS(TableC9), OnAll, Always, SystemFolder, NoFolder, DeleteNames, NULL},
    /* the maker's shared components */
    {TABLE_ARGS(TableC10), OnAll, IfNoOtherMaker, SystemFolder, NoFolder, DeleteNames, NULL},
    /* desktop shortcuts */
    {NO_NAMES, OnAll, Always, NoFolder, NoFolder, CallFunction, RemoveDesktopShortcuts},
    /* the maker's folder */
    {NAME_ARGS(MakerName), OnAll, Always, ProgramFilesFolder, NoFolder, RemoveOrSchedule, NULL},
    /* OEM copies of the printer INF */
    {NO_NAMES, OnNt, Always, NoFolder, NoFolder, CallFunction, CleanOemInfFiles},
    /* the maker's status sounds */
    {TABLE_ARGS(TableN1), OnNt, IfNoOtherMaker, Driver3Folder, NoFolder, DeleteNames, NULL},
    /* removal program, OEM INF and scanner driver */
    {TABLE_ARGS(TableN2), OnNt, Always, WindowsFolder, NoFolder, DeleteNames, NULL},
    /* port monitor and print processor */
    {TABLE_ARGS(TableN3), OnNt, Always, SystemFolder, NoFolder, DeleteNames, NULL},
    /* printer driver */
    {TABLE_ARGS(TableN4), OnNt, Always, DriverFolder, Driver3Folder, DeleteNames, NULL},
    /* the maker's driver components */
    {TABLE_ARGS(TableN5), OnNt, IfNoOtherMaker, DriverFolder, Driver3Folder, DeleteNames, NULL},
    /* printer driver, in the driver's own folder */
    {TABLE_ARGS(TableN4), OnWinXP, Always, XpDriverFolder, NoFolder, DeleteNames, NULL},
    /* the maker's driver components, in the driver's own folder whatever else is installed */
    {TABLE_ARGS(TableN5), OnWinXP, Always, XpDriverFolder, NoFolder, DeleteNames, NULL},
    /* the driver's status file */
    {NAME_ARGS(DriverStatusFileName), OnWinXP, Always, XpDriverFolder, NoFolder, DeleteNames, NULL},
    /* the driver's own folder */
    {NO_NAMES, OnWinXP, Always, XpDriverFolder, NoFolder, RemoveOrSchedule, NULL},
    /* monitor removal programs */
    {TABLE_ARGS(TableN6), OnNt, Always, DefaultInstallFolder, NoFolder, DeleteNames, NULL},
    /* monitor installer and check program */
    {TABLE_ARGS(TableN7), OnNt, Always, InstallFolder, NoFolder, DeleteNames, NULL},
    /* check program */
    {TABLE_ARGS(TableN8), OnWinXP, Always, InstallFolder, NoFolder, DeleteNames, NULL},
    /* the installation folder */
    {NO_NAMES, OnNt, Always, InstallFolder, NoFolder, RemoveOrSchedule, NULL},
    /* the default installation folder */
    {NO_NAMES, OnNt, Always, DefaultInstallFolder, NoFolder, RemoveOrSchedule, NULL},
    /* colour profile */
    {TABLE_ARGS(TableS1), On9x, Always, WindowsColorFolder, NoFolder, DeleteNames, NULL},
    /* INF files and scanner driver */
    {TABLE_ARGS(TableS2), On9x, Always, WindowsFolder, NoFolder, DeleteNames, NULL},
    /* USB printing driver of the series */
    {TABLE_ARGS(TableS3), On9x, IfNoSibling, WindowsFolder, NoFolder, DeleteNames, NULL},
    /* printer driver */
    {TABLE_ARGS(TableS4), On9x, Always, SystemFolder, NoFolder, DeleteNames, NULL},
    /* the maker's shared components */
    {TABLE_ARGS(TableS5), On9x, IfNoOtherMaker, SystemFolder, NoFolder, DeleteNames, NULL},
    /* monitor removal program */
    {TABLE_ARGS(TableS6), On9x, Always, DefaultInstallFolder, NoFolder, DeleteNames, NULL},
    /* the default installation folder */
    {NO_NAMES, On9x, Always, DefaultInstallFolder, NoFolder, RemoveOrSchedule, NULL},
    /* the TWAIN folder */
    {NO_NAMES, On9x, Always, TwainFolder, NoFolder, RemoveOrSchedule, NULL},
    /* monitor installer and check program */
    {TABLE_ARGS(TableS7), On9x, Always, InstallFolder, NoFolder, DeleteNames, NULL},
    /* the installation folder */
    {NO_NAMES, On9x, Always, InstallFolder, NoFolder, RemoveOrSchedule, NULL},
    /* the product's desktop shortcut */
    {TABLE_ARGS(TableProductShortcut), On9x, Always, DesktopFolder, NoFolder, DeleteNames, NULL},
};

/* The file phase: the monitor program and (unless another printer of the
   maker needs it) the status service unregister themselves, then the steps
   of the running family run in their order. */
void RemoveProductFiles(void)
{
    char monitor[256], buffer[MAX_PATH], secondBuffer[MAX_PATH];
    const FileStep *step;
    char *folder;
    unsigned index;

    if (JoinPath(monitor, sizeof(monitor), InstallDir, MonitorProgramName))
        RunCompanionRemoval(monitor);
    if (RunStatusServiceRemoval())
        TraceRemoval("QnmBceS uninstalled Successfully.");
    for (index = 0; index < ARRAY_SIZE(FileSteps); index++) {
        step = &FileSteps[index];
        if (!StepApplies(step->families, step->condition)) {
            if (PlanOnly && step->how == DeleteNames)
                ReportSparedFiles(SparingPrinter(step->families, step->condition),
                                  GetStepFolder(step->folder, buffer), step->names, step->width, step->rows);
            continue;
        }
        folder = GetStepFolder(step->folder, buffer);
        switch (step->how) {
        case DeleteNames:
            DeleteTableInFolders(folder, GetStepFolder(step->secondFolder, secondBuffer), step->names, step->width,
                                 step->rows);
            break;
        case RemoveEmpty:
            RemoveEmptyFolders(folder, step->names, step->width, step->rows);
            break;
        case RemoveOrSchedule:
            RemoveFoldersOrSchedule(folder, step->names, step->width, step->rows);
            break;
        case CallFunction:
            step->call();
            break;
        }
    }
}
