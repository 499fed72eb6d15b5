/* The file phase: the product's companion programs unregister themselves,
   then its files go by the name tables common to both families and by those
   of the running family. What other printers of the maker or a sibling model
   still need stays. */
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

/* Removes the program group from the shell's programs folder (all users on
   the NT family, the user's own on the 9x family): its shortcuts, then the
   folder. Shortcuts are looked for only inside the group folder itself. */
static void RemoveProgramGroup(void)
{
    char programs[MAX_PATH];
    char group[256];
    int folderId = IsNtFamily() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;

    if (!SHGetSpecialFolderPathA(NULL, programs, folderId, FALSE)
        || !JoinPath(group, sizeof(group), programs, ProductDisplayName))
        return;
    DeleteShortcutsInFolder(group);
    SetCurrentDirectoryA(programs);
    RemoveFolderOrSchedule(group);
}

/* Removes the maker's folder under Program Files (beside the default
   installation folder) when it is empty, or schedules it. */
static void RemoveMakerFolder(void)
{
    char programFiles[256];
    char maker[256];
    char *lastSlash;

    memcpy(programFiles, DefaultInstallDir, sizeof(programFiles));
    programFiles[sizeof(programFiles) - 1] = '\0';
    lastSlash = strrchr(programFiles, '\\');
    if (lastSlash == NULL)
        return;
    *lastSlash = '\0';
    if (JoinPath(maker, sizeof(maker), programFiles, MakerName))
        RemoveFolderOrSchedule(maker);
}

/* The files that both families share: TWAIN data source, program group,
   colour profiles, sounds, the installed tree, the system folder's
   components, the desktop shortcuts and the maker's folder. 0 when no
   family is known. */
int SweepCommonFiles(void)
{
    char windows[256];
    char system[256];
    char folder[256];
    char maker[256];

    if (!IsNtFamily() && !Is9xFamily())
        return 0;
    GetWindowsFolder(windows);
    GetSystemFolder(system);

    JoinPath(folder, sizeof(folder), windows, TwainFolderName);
    DeleteTable(folder, TABLE_ARGS(TableC1));
    if (JoinPath(maker, sizeof(maker), folder, MakerName))
        RemoveFolder(maker);

    RemoveProgramGroup();

    JoinPath(folder, sizeof(folder), system, IsNtFamily() ? "spool\\drivers\\color" : "color");
    DeleteTable(folder, TABLE_ARGS(TableC2));

    if (!OtherMakerPrinterPresent) {
        if (IsNtFamily())
            JoinPath(folder, sizeof(folder), system, "spool\\drivers\\w32x86\\3");
        else
            memcpy(folder, system, sizeof(folder));
        DeleteTable(folder, TABLE_ARGS(TableC3));
    }

    DeleteTable(windows, TABLE_ARGS(TableC4));
    DeleteTable(InstallDir, TABLE_ARGS(TableC5));
    RemoveEmptyFolders(InstallDir, TABLE_ARGS(TableC6));
    RemoveFolderOrSchedule(InstallDir);
    DeleteTableInFolders(DefaultInstallDir, InstallDir, TABLE_ARGS(TableC7));

    if (!SiblingModelPresent)
        DeleteTable(system, TABLE_ARGS(TableC8));
    DeleteTable(system, TABLE_ARGS(TableC9));
    if (!OtherMakerPrinterPresent)
        DeleteTable(system, TABLE_ARGS(TableC10));

    RemoveDesktopShortcuts();
    RemoveMakerFolder();
    return 1;
}

/* The files of Windows 2000 and XP: driver files in the driver folders (and
   XP's per-driver folder), the Windows and system folders' own, the rest of
   the installation folders. 0 on any other family. */
int SweepNtFiles(void)
{
    char windows[256];
    char system[256];
    char drivers[256];
    char drivers3[256];
    char perDriver[256];

    if (!IsNtFamily())
        return 0;
    GetWindowsFolder(windows);
    GetSystemFolder(system);
    JoinPath(drivers, sizeof(drivers), system, "spool\\drivers\\w32x86");
    JoinPath(drivers3, sizeof(drivers3), drivers, "3");

    if (!OtherMakerPrinterPresent)
        DeleteTable(drivers3, TABLE_ARGS(TableN1));
    DeleteTable(windows, TABLE_ARGS(TableN2));
    DeleteTable(system, TABLE_ARGS(TableN3));
    DeleteTableInFolders(drivers, drivers3, TABLE_ARGS(TableN4));
    if (!OtherMakerPrinterPresent)
        DeleteTableInFolders(drivers, drivers3, TABLE_ARGS(TableN5));

    if (IsWinXP) {
        JoinPath(perDriver, sizeof(perDriver), drivers, XpDriverFolderName);
        DeleteTable(perDriver, TABLE_ARGS(TableN4));
        DeleteTable(perDriver, TABLE_ARGS(TableN5));
        DeleteInFolder(perDriver, DriverStatusFileName);
        RemoveFolderOrSchedule(perDriver);
    }

    DeleteTable(DefaultInstallDir, TABLE_ARGS(TableN6));
    DeleteTable(InstallDir, TABLE_ARGS(TableN7));
    if (IsWinXP)
        DeleteTable(InstallDir, TABLE_ARGS(TableN8));
    RemoveFolderOrSchedule(InstallDir);
    RemoveFolderOrSchedule(DefaultInstallDir);
    return 1;
}

/* The files of Windows 98 and Me: colour profile, INF files and drivers in
   the Windows folder, the 9x driver and the maker's components in the system
   folder, the rest of the installation folders, the TWAIN folder when it is
   empty and the product's desktop shortcut. 0 on any other family. */
int Sweep9xFiles(void)
{
    char windows[256];
    char system[256];
    char folder[256];
    char desktop[MAX_PATH];

    if (!Is9xFamily())
        return 0;
    GetWindowsFolder(windows);
    GetSystemFolder(system);

    JoinPath(folder, sizeof(folder), windows, "color");
    DeleteTable(folder, TABLE_ARGS(TableS1));
    DeleteTable(windows, TABLE_ARGS(TableS2));
    if (!SiblingModelPresent)
        DeleteTable(windows, TABLE_ARGS(TableS3));
    DeleteTable(system, TABLE_ARGS(TableS4));
    if (!OtherMakerPrinterPresent)
        DeleteTable(system, TABLE_ARGS(TableS5));

    DeleteTable(DefaultInstallDir, TABLE_ARGS(TableS6));
    RemoveFolderOrSchedule(DefaultInstallDir);
    JoinPath(folder, sizeof(folder), windows, TwainFolderName);
    RemoveFolderOrSchedule(folder);
    DeleteTable(InstallDir, TABLE_ARGS(TableS7));
    RemoveFolderOrSchedule(InstallDir);

    if (SHGetSpecialFolderPathA(NULL, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        DeleteTable(desktop, TABLE_ARGS(TableProductShortcut));
    return 1;
}

/* The file phase: the monitor program and (unless another printer of the
   maker needs it) the status service unregister themselves, then the common
   sweep and the sweep of the running family run. */
void RemoveProductFiles(void)
{
    char monitor[256];

    if (JoinPath(monitor, sizeof(monitor), InstallDir, MonitorProgramName))
        RunCompanionRemoval(monitor);
    if (RunStatusServiceRemoval())
        TraceRemoval("QnmBceS uninstalled Successfully.");
    SweepCommonFiles();
    if (Is9xFamily()) {
        Sweep9xFiles();
    } else if (IsNtFamily()) {
        CleanOemInfFiles();
        SweepNtFiles();
    }
}
