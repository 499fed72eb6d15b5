/* The progress window, its steps and painting, and the message boxes,
 * run in-process on the test machine. */
#include "harness.h"
#include "recording.h"
#include "expected_texts.h"
#include "resource.h"

/* A fresh program state with the progress window created; the window is
 * destroyed again at the end. */
struct ProgressWindowTest : ::testing::Test {
    void SetUp() override
    {
        ResetProgramState("winxp");
        ASSERT_EQ(1, CreateProgressWindow());
        ASSERT_NE((HWND)NULL, ProgressWindow);
    }
    void TearDown() override
    {
        DestroyWindow(ProgressWindow);
        ResetProgramState("");
    }
    std::string ControlText(int id)
    {
        char text[300] = "";
        GetDlgItemTextA(ProgressWindow, id, text, sizeof(text));
        return text;
    }
};

TEST_F(ProgressWindowTest, ShowsTitleAndStatusAndCannotBeClosed)
{
    char title[300] = "";
    GetWindowTextA(ProgressWindow, title, sizeof(title));
    EXPECT_STREQ(ExpectedTextOf(IDS_TITLE), title);
    EXPECT_EQ(ExpectedTextOf(IDS_STATUS), ControlText(IDC_STATUS_CAPTION));
    EXPECT_TRUE(IsWindowVisible(ProgressWindow));
    EXPECT_FALSE(GetWindowLongA(ProgressWindow, GWL_STYLE) & WS_SYSMENU);
    SendMessageA(ProgressWindow, WM_CLOSE, 0, 0);
    SendMessageA(ProgressWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(ProgressWindow));
}

TEST_F(ProgressWindowTest, StepsSetTextAndPercentInRisingOrder)
{
    BoxAndStepRecording recording;
    ShowProgress(IDS_REMOVING_FILES, 4, 8);
    std::vector<std::string> expected;
    AddSteps(expected, ExpectedTextOf(IDS_REMOVING_FILES), 4, 8);
    EXPECT_EQ(expected, Events);
    EXPECT_EQ(7, ProgressValue);
    EXPECT_EQ(ExpectedTextOf(IDS_REMOVING_FILES), ControlText(IDC_PHASE_TEXT));
}

TEST_F(ProgressWindowTest, EmptyRangesAndUnknownTextsChangeNothing)
{
    ShowProgress(IDS_PREPARING, 2, 3);
    BoxAndStepRecording recording;
    ShowProgress(IDS_REMOVING_FILES, 5, 5);
    ShowProgress(IDS_REMOVING_FILES, 6, 5);
    EXPECT_EQ(0, SetProgressStep(1236, 50));
    ShowProgress(1236, 10, 20);
    EXPECT_TRUE(Events.empty());
    EXPECT_EQ(2, ProgressValue);
    EXPECT_EQ(ExpectedTextOf(IDS_PREPARING), ControlText(IDC_PHASE_TEXT));
}

static std::vector<HWND> InvalidatedWindows;

static BOOL WINAPI RecordInvalidateRect(HWND window, const RECT *, BOOL)
{
    InvalidatedWindows.push_back(window);
    return TRUE;
}

/* Without a progress window a step only sets the percentage: nothing is
 * pumped, and no repaint of the whole screen is asked for. */
TEST(ProgressWithoutWindow, StepSetsOnlyThePercentage)
{
    ResetProgramState("winxp");
    InvalidatedWindows.clear();
    ImportPatch invalidate("user32.dll", "InvalidateRect", (void *)RecordInvalidateRect);
    EXPECT_EQ(1, SetProgressStep(IDS_PREPARING, 3));
    EXPECT_EQ(3, ProgressValue);
    EXPECT_TRUE(InvalidatedWindows.empty());
    ResetProgramState("");
}

TEST(ScaleBar, WidthFollowsThePercentageWithinZeroToHundred)
{
    struct Case {
        int percent, result, right;
    } cases[] = {{0, 1, 0}, {42, 1, 84}, {100, 1, 200}, {-1, 0, 200}, {101, 0, 200}};
    for (const Case &c : cases) {
        RECT bar = {0, 0, 200, 15};
        EXPECT_EQ(c.result, ScaleBarToPercent(c.percent, &bar)) << c.percent;
        EXPECT_EQ(c.right, bar.right) << c.percent;
        EXPECT_EQ(0, bar.left) << c.percent;
        EXPECT_EQ(15, bar.bottom) << c.percent;
    }
    RECT shifted = {10, 0, 210, 15};
    EXPECT_EQ(1, ScaleBarToPercent(50, &shifted));
    EXPECT_EQ(110, shifted.right);
}

/* What the painter drew, through the replaced drawing functions. */
struct Drawn {
    std::vector<std::pair<std::string, UINT>> texts;
    std::vector<RECT> rectangles;
    std::vector<int> mixes;
    std::vector<std::pair<LONG, LONG>> fonts; /* height, weight */
    std::vector<std::string> fontFaces;
    int stretchedTo[2] = {0, 0}, stretchedFrom[2] = {0, 0};
    DWORD stretchRop = 0;
};
static Drawn Paint;

typedef int(WINAPI *DrawTextFunction)(HDC, LPCSTR, int, LPRECT, UINT);
typedef BOOL(WINAPI *RectangleFunction)(HDC, int, int, int, int);
typedef int(WINAPI *SetRop2Function)(HDC, int);
typedef HFONT(WINAPI *CreateFontFunction)(const LOGFONTA *);
typedef BOOL(WINAPI *StretchBltFunction)(HDC, int, int, int, int, HDC, int, int, int, int, DWORD);
static DrawTextFunction RealDrawText;
static RectangleFunction RealRectangle;
static SetRop2Function RealSetRop2;
static CreateFontFunction RealCreateFont;
static StretchBltFunction RealStretchBlt;

static int WINAPI DrawDrawText(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format)
{
    Paint.texts.push_back({text, format});
    return RealDrawText(dc, text, length, rect, format);
}
static BOOL WINAPI DrawRectangle(HDC dc, int left, int top, int right, int bottom)
{
    Paint.rectangles.push_back({left, top, right, bottom});
    return RealRectangle(dc, left, top, right, bottom);
}
static int WINAPI DrawSetRop2(HDC dc, int mix)
{
    Paint.mixes.push_back(mix);
    return RealSetRop2(dc, mix);
}
static HFONT WINAPI DrawCreateFont(const LOGFONTA *font)
{
    Paint.fonts.push_back({font->lfHeight, font->lfWeight});
    Paint.fontFaces.push_back(font->lfFaceName);
    return RealCreateFont(font);
}
static BOOL WINAPI DrawStretchBlt(HDC to, int x, int y, int width, int height, HDC from, int fromX, int fromY,
                                  int fromWidth, int fromHeight, DWORD rop)
{
    Paint.stretchedTo[0] = width;
    Paint.stretchedTo[1] = height;
    Paint.stretchedFrom[0] = fromWidth;
    Paint.stretchedFrom[1] = fromHeight;
    Paint.stretchRop = rop;
    return RealStretchBlt(to, x, y, width, height, from, fromX, fromY, fromWidth, fromHeight, rop);
}
/* Repaints the progress window at the given percentage and records the drawing. */
static void PaintAt(int percent)
{
    Paint = Drawn();
    ProgressValue = percent;
    ImportPatch patches[] = {
        {"user32.dll", "DrawTextA", (void *)DrawDrawText},
        {"gdi32.dll", "Rectangle", (void *)DrawRectangle},
        {"gdi32.dll", "SetROP2", (void *)DrawSetRop2},
        {"gdi32.dll", "CreateFontIndirectA", (void *)DrawCreateFont},
        {"gdi32.dll", "StretchBlt", (void *)DrawStretchBlt},
    };
    RealDrawText = (DrawTextFunction)patches[0].previous;
    RealRectangle = (RectangleFunction)patches[1].previous;
    RealSetRop2 = (SetRop2Function)patches[2].previous;
    RealCreateFont = (CreateFontFunction)patches[3].previous;
    RealStretchBlt = (StretchBltFunction)patches[4].previous;
    InvalidateRect(ProgressWindow, NULL, FALSE);
    UpdateWindow(ProgressWindow);
}

/* The size of a control's client area. */
static RECT ClientOf(int id)
{
    RECT area = {0, 0, 0, 0};
    GetClientRect(GetDlgItem(ProgressWindow, id), &area);
    return area;
}

TEST_F(ProgressWindowTest, PaintDrawsHeaderPictureLabelAndInvertedBar)
{
    PaintAt(42);
    RECT bar = ClientOf(IDC_BAR), picture = ClientOf(IDC_PICTURE);
    ASSERT_GT(bar.right, 0);

    std::vector<std::pair<std::string, UINT>> texts = {
        {ExpectedTextOf(IDS_PLEASE_WAIT), DT_SINGLELINE | DT_BOTTOM}, {"42%", DT_CENTER | DT_VCENTER}};
    EXPECT_EQ(texts, Paint.texts);
    ASSERT_EQ(1u, Paint.rectangles.size());
    EXPECT_EQ(0, Paint.rectangles[0].left);
    EXPECT_EQ(bar.right * 42 / 100, Paint.rectangles[0].right);
    EXPECT_EQ(bar.bottom, Paint.rectangles[0].bottom);
    ASSERT_EQ(2u, Paint.mixes.size());
    EXPECT_EQ(R2_NOTXORPEN, Paint.mixes[0]);
    EXPECT_EQ(R2_COPYPEN, Paint.mixes[1]);
    std::vector<std::pair<LONG, LONG>> fonts = {{-3, FW_BOLD}, {-3, FW_NORMAL}};
    EXPECT_EQ(fonts, Paint.fonts);
    EXPECT_EQ(std::vector<std::string>(2, "MS Sans Serif"), Paint.fontFaces);
    EXPECT_EQ(picture.right, Paint.stretchedTo[0]);
    EXPECT_EQ(picture.bottom, Paint.stretchedTo[1]);
    EXPECT_EQ(204, Paint.stretchedFrom[0]);
    EXPECT_EQ(60, Paint.stretchedFrom[1]);
    EXPECT_EQ((DWORD)SRCCOPY, Paint.stretchRop);
}

TEST_F(ProgressWindowTest, PaintFillsTheWholeBarOutsideZeroToHundred)
{
    RECT bar = ClientOf(IDC_BAR);
    for (int percent : {-1, 101}) {
        PaintAt(percent);
        ASSERT_EQ(1u, Paint.rectangles.size()) << percent;
        EXPECT_EQ(bar.right, Paint.rectangles[0].right) << percent;
        EXPECT_EQ(std::to_string(percent) + "%", Paint.texts.back().first);
    }
    PaintAt(0);
    ASSERT_EQ(1u, Paint.rectangles.size());
    EXPECT_EQ(0, Paint.rectangles[0].right);
    EXPECT_EQ("0%", Paint.texts.back().first);
}

TEST(Messages, StringMessageShowsTableTextsWithInformationIcon)
{
    ResetProgramState("winxp");
    BoxAndStepRecording recording;
    ShowStringMessage(IDS_RESTART_NEEDED, IDS_REMEMBER_RESTART);
    ShowStringMessage(IDS_TITLE, IDS_WRONG_VERSION);
    ShowStringMessage(1236, 1238);
    ASSERT_EQ(3u, ShownBoxes.size());
    EXPECT_EQ((HWND)NULL, ShownBoxes[0].owner);
    EXPECT_EQ(ExpectedTextOf(IDS_RESTART_NEEDED), ShownBoxes[0].caption);
    EXPECT_EQ(ExpectedTextOf(IDS_REMEMBER_RESTART), ShownBoxes[0].text);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), ShownBoxes[0].flags);
    EXPECT_EQ(ExpectedTextOf(IDS_TITLE), ShownBoxes[1].caption);
    EXPECT_EQ(ExpectedTextOf(IDS_WRONG_VERSION), ShownBoxes[1].text);
    EXPECT_EQ("", ShownBoxes[2].caption);
    EXPECT_EQ("", ShownBoxes[2].text);
    ResetProgramState("");
}

TEST(Messages, SystemErrorShowsTheSystemTextUnderError)
{
    char *systemText = NULL;
    ASSERT_NE(0u, FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                                     | FORMAT_MESSAGE_FROM_SYSTEM,
                                 NULL, ERROR_NOT_ENOUGH_MEMORY, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                 (LPSTR)&systemText, 0, NULL));
    std::string expected = systemText;
    LocalFree(systemText);

    BoxAndStepRecording recording;
    EXPECT_EQ(1, ShowSystemError(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(1, ShowSystemError(0x2000FFFF));
    ASSERT_EQ(2u, ShownBoxes.size());
    EXPECT_EQ((HWND)NULL, ShownBoxes[0].owner);
    EXPECT_EQ("Error", ShownBoxes[0].caption);
    EXPECT_EQ(expected, ShownBoxes[0].text);
    EXPECT_EQ((UINT)MB_ICONINFORMATION, ShownBoxes[0].flags);
    EXPECT_EQ("Error", ShownBoxes[1].caption);
    EXPECT_EQ("", ShownBoxes[1].text);
}
