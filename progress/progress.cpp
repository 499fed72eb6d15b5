/* The progress window: its creation, the phase steps that set its text and
   move its bar, and its dialog procedure. */
#include "uninstall.h"
#include "resource.h"

int CreateProgressWindow(void)
{
    char title[260] = "";

    ProgressWindow = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                        ProgressDialogProc, 0);
    if (ProgressWindow == NULL)
        return 1;
    LoadStringA(hInstance, IDS_TITLE, title, sizeof(title));
    SetWindowTextA(ProgressWindow, title);
    ShowWindow(ProgressWindow, SW_SHOW);
    UpdateWindow(ProgressWindow);
    SetForegroundWindow(ProgressWindow);
    return 1;
}

void ShowProgress(UINT textId, int from, int to)
{
    int percent;

    for (percent = from; percent < to; percent++)
        SetProgressStep(textId, percent);
}

/* Asks the dialog to repaint, which redraws the header, the picture and the
   bar whatever the update region. The area invalidated is the bar's size
   taken in the dialog's own coordinates, so it lies in the header band and
   leaves the bar control itself valid: repainting that control would cover
   the painted bar with the dialog's background. */
static void InvalidateBar(void)
{
    HWND bar = GetDlgItem(ProgressWindow, IDC_BAR);
    RECT area;

    if (bar != NULL && GetClientRect(bar, &area))
        InvalidateRect(ProgressWindow, &area, FALSE);
}

int SetProgressStep(UINT textId, int percent)
{
    char text[260];
    MSG message;

    if (LoadStringA(hInstance, textId, text, sizeof(text)) == 0)
        return 0;
    ProgressValue = percent;
    /* Without a window there is nothing to show, and no queue to pump. */
    if (ProgressWindow == NULL)
        return 1;
    SetDlgItemTextA(ProgressWindow, IDC_PHASE_TEXT, text);
    while (PeekMessageA(&message, ProgressWindow, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    InvalidateBar();
    return 1;
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    char text[260] = "";

    switch (message) {
    case WM_INITDIALOG:
        LoadStringA(hInstance, IDS_STATUS, text, sizeof(text));
        SetDlgItemTextA(window, IDC_STATUS_CAPTION, text);
        return TRUE;
    case WM_PAINT:
        PaintProgressWindow(window);
        return FALSE;
    default:
        return FALSE;
    }
}

/* The right edge becomes the filled width, not the left edge plus it: the
   bar's client rectangle, the only one passed, starts at 0. */
int ScaleBarToPercent(int percent, RECT *rect)
{
    if (percent < 0 || percent > 100)
        return 0;
    rect->right = (rect->right - rect->left) * percent / 100;
    return 1;
}
