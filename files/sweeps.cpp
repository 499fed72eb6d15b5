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
/* The maker's folder inside the TWAIN folder and under Program Files. */
#define MakerFolderName "Quenmar"
/* The printer driver's own folder below the driver folder on Windows XP. */
#define XpDriverFolderName "quenmarquenmar_t5828e0"
/* The driver's status file inside that folder. */
#define DriverStatusFileName "qnmstat.ini"

const char TableC1[][27] = {
#include "C1.inc"
};
const char TableC2[][25] = {
#include "C2.inc"
};
const char TableC3[][13] = {
#include "C3.inc"
};
const char TableC4[][18] = {
#include "C4.inc"
};
const char TableC5[][31] = {
#include "C5.inc"
};
const char TableC6[][19] = {
#include "C6.inc"
};
const char TableC7[][20] = {
#include "C7.inc"
};
const char TableC8[][13] = {
#include "C8.inc"
};
const char TableC9[][21] = {
#include "C9.inc"
};
const char TableC10[][13] = {
#include "C10.inc"
};
const char TableN1[][13] = {
#include "N1.inc"
};
const char TableN2[][30] = {
#include "N2.inc"
};
const char TableN3[][33] = {
#include "N3.inc"
};
const char TableN4[][13] = {
#include "N4.inc"
};
const char TableN5[][13] = {
#include "N5.inc"
};
const char TableN6[][18] = {
#include "N6.inc"
};
const char TableN7[][22] = {
#include "N7.inc"
};
const char TableN8[][20] = {
#include "N8.inc"
};
const char TableS1[][11] = {
#include "S1.inc"
};
const char TableS2[][30] = {
#include "S2.inc"
};
const char TableS3[][30] = {
#include "S3.inc"
};
const char TableS4[][13] = {
#include "S4.inc"
};
const char TableS5[][13] = {
#include "S5.inc"
};
const char TableS6[][18] = {
#include "S6.inc"
};
const char TableS7[][24] = {
#include "S7.inc"
};

/* Number of rows of a name table. */
#define TableRows(table) (sizeof(table) / sizeof((table)[0]))

static_assert(TableRows(TableC1) == TableC1Rows, "C1 rows");
static_assert(TableRows(TableC2) == TableC2Rows, "C2 rows");
static_assert(TableRows(TableC3) == TableC3Rows, "C3 rows");
static_assert(TableRows(TableC4) == TableC4Rows, "C4 rows");
static_assert(TableRows(TableC5) == TableC5Rows, "C5 rows");
static_assert(TableRows(TableC6) == TableC6Rows, "C6 rows");
static_assert(TableRows(TableC7) == TableC7Rows, "C7 rows");
static_assert(TableRows(TableC8) == TableC8Rows, "C8 rows");
static_assert(TableRows(TableC9) == TableC9Rows, "C9 rows");
static_assert(TableRows(TableC10) == TableC10Rows, "C10 rows");
static_assert(TableRows(TableN1) == TableN1Rows, "N1 rows");
static_assert(TableRows(TableN2) == TableN2Rows, "N2 rows");
static_assert(TableRows(TableN3) == TableN3Rows, "N3 rows");
static_assert(TableRows(TableN4) == TableN4Rows, "N4 rows");
static_assert(TableRows(TableN5) == TableN5Rows, "N5 rows");
static_assert(TableRows(TableN6) == TableN6Rows, "N6 rows");
static_assert(TableRows(TableN7) == TableN7Rows, "N7 rows");
static_assert(TableRows(TableN8) == TableN8Rows, "N8 rows");
static_assert(TableRows(TableS1) == TableS1Rows, "S1 rows");
static_assert(TableRows(TableS2) == TableS2Rows, "S2 rows");
static_assert(TableRows(TableS3) == TableS3Rows, "S3 rows");
static_assert(TableRows(TableS4) == TableS4Rows, "S4 rows");
static_assert(TableRows(TableS5) == TableS5Rows, "S5 rows");
static_assert(TableRows(TableS6) == TableS6Rows, "S6 rows");
static_assert(TableRows(TableS7) == TableS7Rows, "S7 rows");

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

/* Puts the Windows folder into a buffer of 256 bytes; 0, with the buffer
   empty, when it cannot be had within it. */
int GetWindowsFolder(char *buffer)
{
    UINT length = GetWindowsDirectoryA(buffer, 255);

    if (length == 0 || length >= 255) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

/* Puts the system folder into a buffer of 256 bytes; 0, with the buffer
   empty, when it cannot be had within it. */
int GetSystemFolder(char *buffer)
{
    UINT length = GetSystemDirectoryA(buffer, 255);

    if (length == 0 || length >= 255) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
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
static void DeleteTableRows(const char *folder, const char *secondFolder, const char *table,
                            unsigned rows, unsigned width)
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

/* Deletes the rows of a table in one folder. */
#define DeleteTable(folder, table) \
    DeleteTableRows(folder, NULL, (const char *)(table), TableRows(table), sizeof((table)[0]))
/* Deletes the rows of a table in two folders, the first folder first. */
#define DeleteTableTwice(folder, secondFolder, table) \
    DeleteTableRows(folder, secondFolder, (const char *)(table), TableRows(table), sizeof((table)[0]))

/* Removes a folder when it is empty; otherwise schedules its removal at the
   next restart: under its own path on the NT family, by a RunOnce "rd"
   command on the 9x family (which turns path into its short form). A folder
   that does not exist, or a file of that name, is left alone. */
static void RemoveFolderOrSchedule(char *path)
{
    DWORD attributes;

    if (path[0] == '\0' || RemoveDirectoryA(path))
        return;
    attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    if (IsNtFamily())
        MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
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
    if (JoinPath(maker, sizeof(maker), programFiles, MakerFolderName))
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
    char row[256];
    unsigned i;

    if (!IsNtFamily() && !Is9xFamily())
        return 0;
    GetWindowsFolder(windows);
    GetSystemFolder(system);

    JoinPath(folder, sizeof(folder), windows, "twain_32");
    DeleteTable(folder, TableC1);
    if (JoinPath(row, sizeof(row), folder, MakerFolderName))
        RemoveDirectoryA(row);

    RemoveProgramGroup();

    JoinPath(folder, sizeof(folder), system, IsNtFamily() ? "spool\\drivers\\color" : "color");
    DeleteTable(folder, TableC2);

    if (!OtherMakerPrinterPresent) {
        if (IsNtFamily())
            JoinPath(folder, sizeof(folder), system, "spool\\drivers\\w32x86\\3");
        else
            memcpy(folder, system, sizeof(folder));
        DeleteTable(folder, TableC3);
    }

    DeleteTable(windows, TableC4);
    DeleteTable(InstallDir, TableC5);
    for (i = 0; i < TableC6Rows; i++) {
        CopySubstring(row, (const char *)TableC6, i * sizeof(TableC6[0]), sizeof(TableC6[0]));
        if (JoinPath(folder, sizeof(folder), InstallDir, row))
            RemoveDirectoryA(folder);
    }
    RemoveFolderOrSchedule(InstallDir);
    DeleteTableTwice(DefaultInstallDir, InstallDir, TableC7);

    if (!SiblingModelPresent)
        DeleteTable(system, TableC8);
    DeleteTable(system, TableC9);
    if (!OtherMakerPrinterPresent)
        DeleteTable(system, TableC10);

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
        DeleteTable(drivers3, TableN1);
    DeleteTable(windows, TableN2);
    DeleteTable(system, TableN3);
    DeleteTableTwice(drivers, drivers3, TableN4);
    if (!OtherMakerPrinterPresent)
        DeleteTableTwice(drivers, drivers3, TableN5);

    if (IsWinXP) {
        JoinPath(perDriver, sizeof(perDriver), drivers, XpDriverFolderName);
        DeleteTable(perDriver, TableN4);
        DeleteTable(perDriver, TableN5);
        DeleteInFolder(perDriver, DriverStatusFileName);
        RemoveFolderOrSchedule(perDriver);
    }

    DeleteTable(DefaultInstallDir, TableN6);
    DeleteTable(InstallDir, TableN7);
    if (IsWinXP)
        DeleteTable(InstallDir, TableN8);
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
    DeleteTable(folder, TableS1);
    DeleteTable(windows, TableS2);
    if (!SiblingModelPresent)
        DeleteTable(windows, TableS3);
    DeleteTable(system, TableS4);
    if (!OtherMakerPrinterPresent)
        DeleteTable(system, TableS5);

    DeleteTable(DefaultInstallDir, TableS6);
    RemoveFolderOrSchedule(DefaultInstallDir);
    JoinPath(folder, sizeof(folder), windows, "twain_32");
    RemoveFolderOrSchedule(folder);
    DeleteTable(InstallDir, TableS7);
    RemoveFolderOrSchedule(InstallDir);

    if (SHGetSpecialFolderPathA(NULL, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        DeleteTableRows(desktop, NULL, (const char *)TableProductShortcut, TableProductShortcutRows,
                        sizeof(TableProductShortcut[0]));
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
    if (!OtherMakerPrinterPresent && RunStatusServiceRemoval())
        TraceRemoval("QnmBceS uninstalled Successfully.");
    SweepCommonFiles();
    if (Is9xFamily()) {
        Sweep9xFiles();
    } else if (IsNtFamily()) {
        CleanOemInfFiles();
        SweepNtFiles();
    }
}
