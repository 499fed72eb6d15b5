/* Painting of the progress window: the header picture, the header text, and
   the bar with its percentage, drawn straight into the three controls. */
#include <stdio.h>
#include "uninstall.h"
#include "resource.h"

#define WHITE RGB(255, 255, 255)
#define BLUE RGB(0, 0, 255)
#define BLACK RGB(0, 0, 0)

/* Creates the bold or normal font of the painted texts. */
static HFONT CreatePaintFont(LONG weight)
{
    LOGFONTA font;

    ZeroMemory(&font, sizeof(font));
    font.lfHeight = -3;
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = FF_SWISS;
    lstrcpynA(font.lfFaceName, "MS Sans Serif", sizeof(font.lfFaceName));
    return CreateFontIndirectA(&font);
}

/* Stretches the whole header picture over the picture control. */
static void DrawPicture(HDC picture, HDC memory, HBITMAP bitmap, const RECT *area)
{
    BITMAP size;

    if (bitmap == NULL || !GetObjectA(bitmap, sizeof(size), &size))
        return;
    StretchBlt(picture, 0, 0, area->right, area->bottom, memory, 0, 0, size.bmWidth, size.bmHeight,
               SRCCOPY);
}

/* Draws the label "<ProgressValue>%" centred in the white bar area. */
static void DrawPercentage(HDC bar, HBRUSH white, RECT *area)
{
    char format[260] = "";
    char label[260];

    FillRect(bar, area, white);
    LoadStringA(hInstance, IDS_PERCENT, format, sizeof(format));
    if (snprintf(label, sizeof(label), format, ProgressValue) < 0)
        label[0] = '\0';
    DrawTextA(bar, label, -1, area, DT_CENTER | DT_VCENTER);
}

/* Draws the bar over the percentage with an inverting mix: blue over white,
   white over the blue label. */
static void DrawBar(HDC bar, const RECT *area)
{
    RECT filled = *area;
    int previousMix;

    ScaleBarToPercent(ProgressValue, &filled);
    previousMix = SetROP2(bar, R2_NOTXORPEN);
    Rectangle(bar, filled.left, filled.top, filled.right, filled.bottom);
    SetROP2(bar, previousMix);
}

void PaintProgressWindow(HWND window)
{
    PAINTSTRUCT paint;
    HWND barControl = GetDlgItem(window, IDC_BAR);
    HWND headerControl = GetDlgItem(window, IDC_HEADER_TEXT);
    HWND pictureControl = GetDlgItem(window, IDC_PICTURE);
    RECT barArea = { 0, 0, 0, 0 }, headerArea = { 0, 0, 0, 0 }, pictureArea = { 0, 0, 0, 0 };
    char text[260] = "";

    BeginPaint(window, &paint);
    HDC bar = GetDC(barControl);
    HDC header = GetDC(headerControl);
    HDC picture = GetDC(pictureControl);
    HDC memory = CreateCompatibleDC(picture);
    GetClientRect(barControl, &barArea);
    GetClientRect(headerControl, &headerArea);
    GetClientRect(pictureControl, &pictureArea);

    HFONT boldFont = CreatePaintFont(FW_BOLD);
    HFONT normalFont = CreatePaintFont(FW_NORMAL);
    HBITMAP bitmap = LoadBitmapA(hInstance, MAKEINTRESOURCEA(IDB_HEADER));
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    HGDIOBJ previousBarFont = SelectObject(bar, normalFont);
    HGDIOBJ previousHeaderFont = SelectObject(header, boldFont);
    SetBkMode(bar, TRANSPARENT);
    SetBkMode(header, TRANSPARENT);
    SetTextColor(bar, BLUE);
    SetTextColor(header, BLACK);
    HBRUSH barWhite = CreateSolidBrush(WHITE);
    HBRUSH headerWhite = CreateSolidBrush(WHITE);
    HBRUSH blueBrush = CreateSolidBrush(BLUE);
    HPEN bluePen = CreatePen(PS_SOLID, 1, BLUE);
    HGDIOBJ previousBrush = SelectObject(bar, blueBrush);
    HGDIOBJ previousPen = SelectObject(bar, bluePen);

    DrawPicture(picture, memory, bitmap, &pictureArea);
    FillRect(header, &headerArea, headerWhite);
    LoadStringA(hInstance, IDS_PLEASE_WAIT, text, sizeof(text));
    DrawTextA(header, text, -1, &headerArea, DT_SINGLELINE | DT_BOTTOM);
    DrawPercentage(bar, barWhite, &barArea);
    DrawBar(bar, &barArea);

    SelectObject(bar, previousPen);
    SelectObject(bar, previousBrush);
    SelectObject(header, previousHeaderFont);
    SelectObject(bar, previousBarFont);
    SelectObject(memory, previousBitmap);
    DeleteObject(bluePen);
    DeleteObject(blueBrush);
    DeleteObject(headerWhite);
    DeleteObject(barWhite);
    DeleteObject(bitmap);
    DeleteObject(normalFont);
    DeleteObject(boldFont);
    DeleteDC(memory);
    ReleaseDC(pictureControl, picture);
    ReleaseDC(headerControl, header);
    ReleaseDC(barControl, bar);
    EndPaint(window, &paint);
}
