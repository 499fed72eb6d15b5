/* Answers the message boxes of the removal program by caption and records
 * them, with the phase texts of its progress window; runs the real program.
 * Used by the tests and by tools/boxbot.exe, so it uses no test framework. */
#include "boxes.h"

#include <cstring>

struct AnswererState {
    std::vector<BoxAnswer> answers;
    size_t next = 0;
    std::vector<BoxRecord> boxes;
    std::vector<std::string> phases;
    std::vector<HWND> handled;
    CRITICAL_SECTION lock;
    HANDLE thread = NULL;
    volatile LONG stop = 0;
};

/* The window text of a control of another window, "" when there is none. */
static std::string ControlText(HWND window, int id)
{
    char text[2048] = "";
    HWND control = GetDlgItem(window, id);
    if (control) GetWindowTextA(control, text, sizeof text);
    return text;
}

/* Compares two icons by their colour and mask bits. */
static bool SameIcon(HICON a, HICON b)
{
    if (a == b) return true;
    ICONINFO ia, ib;
    if (!GetIconInfo(a, &ia)) return false;
    if (!GetIconInfo(b, &ib)) {
        DeleteObject(ia.hbmColor);
        DeleteObject(ia.hbmMask);
        return false;
    }
    bool same = true;
    HDC dc = GetDC(NULL);
    HBITMAP pairs[2][2] = {{ia.hbmColor, ib.hbmColor}, {ia.hbmMask, ib.hbmMask}};
    for (auto &pair : pairs) {
        if (!pair[0] || !pair[1]) {
            same = same && pair[0] == pair[1];
            continue;
        }
        std::vector<BYTE> bits[2];
        for (int i = 0; i < 2; i++) {
            BITMAPINFO info = {};
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = 32;
            info.bmiHeader.biHeight = 32;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            bits[i].resize(32 * 32 * 4);
            GetDIBits(dc, pair[i], 0, 32, bits[i].data(), &info, DIB_RGB_COLORS);
        }
        same = same && bits[0] == bits[1];
    }
    ReleaseDC(NULL, dc);
    DeleteObject(ia.hbmColor);
    DeleteObject(ia.hbmMask);
    DeleteObject(ib.hbmColor);
    DeleteObject(ib.hbmMask);
    return same;
}

/* The MB_ICON flag of a message box, found from the icon it shows. */
static UINT BoxIcon(HWND box)
{
    HICON shown = NULL;
    for (HWND child = GetWindow(box, GW_CHILD); child && !shown; child = GetWindow(child, GW_HWNDNEXT))
        shown = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
    if (!shown) return 0;
    static const struct { LPCSTR id; UINT flag; } icons[] = {
        {IDI_INFORMATION, MB_ICONINFORMATION}, {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
        {IDI_QUESTION, MB_ICONQUESTION}, {IDI_HAND, MB_ICONERROR}};
    for (const auto &icon : icons)
        if (SameIcon(shown, LoadIconA(NULL, icon.id))) return icon.flag;
    return 0;
}

/* The MB_ button set of a message box, found from its buttons. */
static UINT BoxButtons(HWND box)
{
    bool ok = GetDlgItem(box, IDOK), cancel = GetDlgItem(box, IDCANCEL);
    bool yes = GetDlgItem(box, IDYES), no = GetDlgItem(box, IDNO);
    if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (ok && cancel) return MB_OKCANCEL;
    if (GetDlgItem(box, IDRETRY)) return cancel ? MB_RETRYCANCEL : MB_ABORTRETRYIGNORE;
    return MB_OK;
}

/* The id of the button drawn as the default one. */
static int DefaultButton(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongA(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) return GetDlgCtrlID(child);
    return 0;
}

/* Records and answers one message box, or notes the progress window's text. */
static BOOL CALLBACK VisitWindow(HWND window, LPARAM param)
{
    AnswererState *state = (AnswererState *)param;
    char className[64] = "", caption[512] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    GetWindowTextA(window, caption, sizeof caption);
    if (GetDlgItem(window, 1001) && GetDlgItem(window, 1002)) {
        std::string phase = ControlText(window, 1001);
        EnterCriticalSection(&state->lock);
        if (!phase.empty() && (state->phases.empty() || state->phases.back() != phase))
            state->phases.push_back(phase);
        LeaveCriticalSection(&state->lock);
        return TRUE;
    }
    if (!GetDlgItem(window, 0xFFFF)) return TRUE;
    EnterCriticalSection(&state->lock);
    bool seen = false;
    for (HWND done : state->handled) seen = seen || done == window;
    if (!seen) {
        BoxRecord box;
        box.caption = caption;
        box.text = ControlText(window, 0xFFFF);
        box.buttons = BoxButtons(window);
        box.icon = BoxIcon(window);
        box.defaultButton = DefaultButton(window);
        if (state->next < state->answers.size() && state->answers[state->next].caption == box.caption)
            box.answer = state->answers[state->next++].button;
        else /* a box nobody expected: take the way out that changes nothing */
            box.answer = GetDlgItem(window, IDCANCEL) ? IDCANCEL : GetDlgItem(window, IDNO) ? IDNO : IDOK;
        state->boxes.push_back(box);
        state->handled.push_back(window);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(box.answer, BN_CLICKED),
                     (LPARAM)GetDlgItem(window, box.answer));
    }
    LeaveCriticalSection(&state->lock);
    return TRUE;
}

static DWORD WINAPI AnswerBoxes(void *param)
{
    AnswererState *state = (AnswererState *)param;
    while (!state->stop) {
        EnumWindows(VisitWindow, (LPARAM)state);
        Sleep(10);
    }
    EnumWindows(VisitWindow, (LPARAM)state);
    return 0;
}

BoxAnswerer::BoxAnswerer(const std::vector<BoxAnswer> &answers)
{
    AnswererState *s = new AnswererState;
    s->answers = answers;
    InitializeCriticalSection(&s->lock);
    s->thread = CreateThread(NULL, 0, AnswerBoxes, s, 0, NULL);
    state = s;
}

BoxAnswerer::~BoxAnswerer()
{
    AnswererState *s = (AnswererState *)state;
    InterlockedExchange(&s->stop, 1);
    WaitForSingleObject(s->thread, INFINITE);
    CloseHandle(s->thread);
    DeleteCriticalSection(&s->lock);
    delete s;
}

std::vector<BoxRecord> BoxAnswerer::Boxes() const
{
    AnswererState *s = (AnswererState *)state;
    EnterCriticalSection(&s->lock);
    std::vector<BoxRecord> copy = s->boxes;
    LeaveCriticalSection(&s->lock);
    return copy;
}

std::vector<std::string> BoxAnswerer::PhaseTexts() const
{
    AnswererState *s = (AnswererState *)state;
    EnterCriticalSection(&s->lock);
    std::vector<std::string> copy = s->phases;
    LeaveCriticalSection(&s->lock);
    return copy;
}

std::string ProgramPath()
{
    return "C:\\qt58test\\QT58Uninstall.exe";
}

/* Sets or clears (version NULL) Wine's version setting for one program name. */
static void SetProgramVersion(const std::string &path, const char *version)
{
    std::string key = "Software\\Wine\\AppDefaults\\" + path.substr(path.rfind('\\') + 1);
    if (!version) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) == ERROR_SUCCESS) {
        RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version, (DWORD)strlen(version) + 1);
        RegCloseKey(handle);
    }
}

DWORD RunWithVersion(const std::string &path, const char *version, const std::string &arguments, DWORD timeoutMs)
{
    SetProgramVersion(path, version);
    std::string command = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    DWORD code = STILL_ACTIVE;
    if (CreateProcessA(path.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, STILL_ACTIVE);
            WaitForSingleObject(process.hProcess, 10000);
        }
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    SetProgramVersion(path, NULL);
    return code;
}

ProgramRun RunRemovalProgram(const char *version, const std::vector<BoxAnswer> &answers, DWORD timeoutMs)
{
    ProgramRun run;
    BoxAnswerer answerer(answers);
    run.exitCode = RunWithVersion(ProgramPath(), version, "", timeoutMs);
    Sleep(50);
    run.boxes = answerer.Boxes();
    run.phases = answerer.PhaseTexts();
    return run;
}
