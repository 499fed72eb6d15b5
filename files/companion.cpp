/* Companion removal programs: the product's monitor program and its status
   service's program are started with "-u" so that they unregister
   themselves. Nothing waits for them; the sweeps that follow take whatever
   they leave. */
#include <stdio.h>
#include "uninstall.h"
#include "resource.h"

/* The status service's program in the system folder. */
#define StatusProgramName "QnmBceS.exe"

/* Starts module with the command line "<name> -u" in folder, hidden or as
   the program chooses, and lets it run on its own; 1 when it was started (in
   a plan: reported, when the program is there). */
static int StartWithUninstallOption(const char *module, const char *name, const char *folder, int hidden)
{
    char commandLine[300];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    int written = snprintf(commandLine, sizeof(commandLine), "%s -u", name);

    if (written < 0 || written >= (int)sizeof(commandLine))
        return 0;
    if (PlanOnly)
        return PlanProgramStart(module, commandLine, folder, hidden);
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessA(module, commandLine, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
        return 0;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 1;
}

/* Starts the monitor program at path with "-u" by its short path, in the
   short form of the installation folder, and moves the progress bar from 26
   to 35 percent over two seconds while it works. The program is named as the
   module too, so that a long path is never split at a blank into another
   program's name. 0 when the program or the folder is missing or the start
   fails. */
int RunCompanionRemoval(const char *path)
{
    char program[256];
    char folder[256];
    int percent;

    if (!GetShortPath(path, program) || !GetShortPath(InstallDir, folder))
        return 0;
    if (!StartWithUninstallOption(program, program, folder, 0))
        return 0;
    for (percent = 26; percent <= 35; percent++) {
        ShowProgress(IDS_REMOVING_FILES, percent, percent + 1);
        Sleep(200);
    }
    return 1;
}

/* Starts the status service's program hidden with "QnmBceS.exe -u" in the
   system folder, on Windows 2000 and XP and only while no other printer of
   the maker needs it, and gives it half a second. The module is the file in
   the system folder and nothing else, so that a program of that name planted
   beside this program or in the current folder is never started. 0 when it
   was not started. */
int RunStatusServiceRemoval(void)
{
    char system[256];
    char module[256];

    if (!IsNtFamily() || OtherMakerPrinterPresent)
        return 0;
    if (!GetSystemFolder(system) || !JoinPath(module, sizeof(module), system, StatusProgramName))
        return 0;
    if (!StartWithUninstallOption(module, StatusProgramName, system, 1))
        return 0;
    Sleep(500);
    return 1;
}
