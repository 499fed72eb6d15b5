/* Entry of the removal program: the switches, the start-up checks, the
   confirmation, the removal phases in their fixed order and the closing
   restart offer. */
#include <stdio.h>
#include "uninstall.h"
#include "resource.h"

/* Exit codes of the process. */
#define EXIT_DONE 0
#define EXIT_WRONG_VERSION 1
#define EXIT_NOT_ADMINISTRATOR 2
#define EXIT_DECLINED 4
#define EXIT_NO_PLAN ERROR_CANNOT_MAKE
#define EXIT_RESTART_NEEDED ERROR_SUCCESS_REBOOT_REQUIRED

/* Shows the wait box with its text while the start-up checks run; NULL when
   it cannot be created (the run goes on without it). */
static HWND ShowWaitWindow(void)
{
    char text[100] = "";
    HWND window = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_WAIT), NULL, NULL, 0);

    if (window == NULL)
        return NULL;
    LoadStringA(hInstance, IDS_PLEASE_WAIT, text, sizeof(text));
    SetDlgItemTextA(window, IDC_WAIT_TEXT, text);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

int RunRemovalPhases(void)
{
    char caption[200] = "";
    char format[700] = "";
    char text[700];
    int length;

    LoadStringA(hInstance, IDS_CAUTION, caption, sizeof(caption));
    LoadStringA(hInstance, IDS_WARNING, format, sizeof(format));
    /* snprintf always ends the text; a text longer than the box's buffer is cut there. */
    length = snprintf(text, sizeof(text), format, ProductDisplayName);
    if (length < 0)
        text[0] = '\0';
    /* An unattended run goes on without the warning and the progress window. */
    if (!QuietRun) {
        if (MessageBoxA(NULL, text, caption, MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDOK)
            return 0;
        CreateProgressWindow();
    }
    ShowProgress(IDS_PREPARING, 0, 4);
    StopSpooler();
    ShowProgress(IDS_REMOVING_FILES, 4, 26);
    RemoveProductFiles();
    ShowProgress(IDS_REMOVING_REGISTRY, 36, 52);
    RemoveRegistryEntries();
    ShowProgress(IDS_REMOVING_REGISTRY, 52, 68);
    RestoreSharedSettings();
    StartSpooler();
    ShowProgress(IDS_REMOVING_PRINTER, 68, 98);
    ResetDefaultPrinterProfile();
    ShowProgress(IDS_DONE, 98, 100);
    Sleep(1000);
    return 1;
}

/* The wait box and the progress window are left to the end of the process:
   the wait box stays behind the early refusal boxes, the progress window
   behind the closing box. An unattended run (/quiet, /plan) shows neither
   and ends without the closing box, with EXIT_RESTART_NEEDED when anything
   besides this program's own file waits for the restart. */
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    char caption[100] = "";
    char text[256] = "";
    HWND waitWindow = NULL;
    int code;

    hInstance = instance;
    code = ReadSwitches(commandLine);
    if (code != SwitchesRun)
        return code;
    if (!QuietRun)
        waitWindow = ShowWaitWindow();
    if (!DetectWindowsFamily()) {
        ShowStringMessage(IDS_TITLE, IDS_WRONG_VERSION);
        return EXIT_WRONG_VERSION;
    }
    if (!CheckAdministrator())
        return EXIT_NOT_ADMINISTRATOR;
    if (!StartReport())
        return EXIT_NO_PLAN;
    SurveyPrinters();
    FindInstallDir();
    ReportConditions();
    if (waitWindow != NULL)
        DestroyWindow(waitWindow);

    if (!RunRemovalPhases())
        return EXIT_DECLINED;

    code = IsRestartPending() ? EXIT_RESTART_NEEDED : EXIT_DONE;
    LoadStringA(hInstance, IDS_DONE, caption, sizeof(caption));
    LoadStringA(hInstance, IDS_RESTART_QUESTION, text, sizeof(text));
    ScheduleSelfRemoval();
    ReportLine("%s", PlanOnly            ? "End of the plan"
                     : code != EXIT_DONE ? "Done; Windows must be restarted to finish"
                                         : "Done");
    if (QuietRun)
        return code;
    if (MessageBoxA(NULL, text, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        ShowStringMessage(IDS_RESTART_NEEDED, IDS_REMEMBER_RESTART);
        return EXIT_DONE;
    }
    ShowProgress(IDS_RESTARTING, 100, 101);
    RestartWindows();
    return EXIT_DONE;
}
