/* Shows the removal program's progress window after a step to 42 % and
 * keeps it painted, for a screenshot under a real display. Writes the screen
 * rectangles of the window and of its bar to the file named on its command
 * line once the window is painted, then runs until it is ended. */
#include <stdio.h>
#include "uninstall.h"
#include "resource.h"

/* The rectangle of a window's client area in screen coordinates. */
static RECT ScreenClientRect(HWND window)
{
    RECT area;
    GetClientRect(window, &area);
    MapWindowPoints(window, NULL, (POINT *)&area, 2);
    return area;
}

/* Handles the window's messages for the given time. */
static void PumpFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    MSG message;

    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(10);
    }
}

int main(int argc, char **argv)
{
    MSG message;

    hInstance = GetModuleHandleA(NULL);
    IsWinXP = 1;
    CreateProgressWindow();
    /* The display's first paint of the new window settles before the step. */
    PumpFor(1000);
    ShowProgress(IDS_REMOVING_FILES, 42, 43);
    /* The step's repaint is carried out by the next pass of the queue. */
    PumpFor(500);
    if (argc > 1) {
        RECT window, bar = ScreenClientRect(GetDlgItem(ProgressWindow, IDC_BAR));
        GetWindowRect(ProgressWindow, &window);
        FILE *out = fopen(argv[1], "w");
        if (out != NULL) {
            fprintf(out, "%ld %ld %ld %ld %ld %ld %ld %ld\n", window.left, window.top, window.right,
                    window.bottom, bar.left, bar.top, bar.right, bar.bottom);
            fclose(out);
        }
    }
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
