/* The progress bar as painted: blue up to the percentage, white after it,
   read back from the bar control (Wine's display driver keeps the pixels
   even when it shows nothing). */
#include "test.h"
#include "resource.h"

static const struct {
    int percent;
    int filledPerMille; /* of the bar's width */
} Cases[] = {
    { 0, 0 }, { 42, 420 }, { 99, 990 }, { 100, 1000 },
    /* A value outside 0 to 100 leaves the rectangle whole: a full bar. */
    { 101, 1000 }, { -1, 1000 },
};

/* One progress step to the value, and the repaint it asks for. */
static void ShowValue(int percent)
{
    MSG message;
    int pass;

    SetProgressStep(IDS_REMOVING_FILES, percent);
    for (pass = 0; pass < 20; pass++) {
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(5);
    }
}

int main(void)
{
    HWND bar;
    RECT area;
    HDC window, copy;
    COLORREF colour, wanted;
    int x, y, filled;
    unsigned i;

    hInstance = GetModuleHandleA(NULL);
    CreateProgressWindow();
    bar = GetDlgItem(ProgressWindow, IDC_BAR);
    ok(bar != NULL && GetClientRect(bar, &area) && area.right > 100, "no bar control of a usable width");
    window = GetDC(bar);
    copy = CreateCompatibleDC(window);
    SelectObject(copy, CreateCompatibleBitmap(window, area.right, area.bottom));
    /* Below the label, which the bar inverts. */
    y = area.bottom - 2;
    for (i = 0; i < ARRAY_SIZE(Cases); i++) {
        ShowValue(Cases[i].percent);
        BitBlt(copy, 0, 0, area.right, area.bottom, window, 0, 0, SRCCOPY);
        filled = area.right * Cases[i].filledPerMille / 1000;
        for (x = 1; x < area.right - 1; x++) {
            if (x == filled || x == filled - 1)
                continue;
            colour = GetPixel(copy, x, y);
            wanted = x < filled ? RGB(0, 0, 255) : RGB(255, 255, 255);
            if (!ok(colour == wanted, "%d %%: pixel %d of %ld is %06lx, wanted %06lx", Cases[i].percent, x,
                    area.right, colour, wanted))
                break;
        }
    }
    return Done("progress");
}
