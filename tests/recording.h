/* Replacements for system functions that the program's message boxes and
 * progress steps call, recording what the program asked for. Shared by the
 * in-process tests of the sequence and the progress display. */
#ifndef QUENMAR_TEST_RECORDING_H
#define QUENMAR_TEST_RECORDING_H

#include <map>
#include <string>
#include <vector>
#include "harness.h"

/* Everything the replaced functions and the test's phases saw, in call order. */
static std::vector<std::string> Events;

struct ShownBox {
    HWND owner;
    std::string caption, text;
    UINT flags;
};
static std::vector<ShownBox> ShownBoxes;

/* The answer to a box, by caption; a box not listed gets IDCANCEL. */
static std::map<std::string, int> BoxAnswers;

static int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    ShownBoxes.push_back({owner, caption ? caption : "(null)", text ? text : "(null)", flags});
    Events.push_back(std::string("box ") + (caption ? caption : "(null)"));
    auto answer = BoxAnswers.find(caption ? caption : "");
    return answer == BoxAnswers.end() ? IDCANCEL : answer->second;
}

typedef BOOL(WINAPI *SetDlgItemTextFunction)(HWND, int, LPCSTR);
static SetDlgItemTextFunction RealSetDlgItemText;

/* Records each phase text with the percentage current at that moment. */
static BOOL WINAPI RecordSetDlgItemText(HWND window, int id, LPCSTR text)
{
    if (id == 1001)
        Events.push_back(std::string("step ") + text + " " + std::to_string(ProgressValue));
    return RealSetDlgItemText(window, id, text);
}

/* Starts recording: message boxes answered from BoxAnswers, phase texts
 * noted; everything recorded before is dropped. */
struct BoxAndStepRecording {
    ImportPatch box{"user32.dll", "MessageBoxA", (void *)RecordMessageBox};
    ImportPatch step{"user32.dll", "SetDlgItemTextA", (void *)RecordSetDlgItemText};
    BoxAndStepRecording()
    {
        RealSetDlgItemText = (SetDlgItemTextFunction)step.previous;
        Events.clear();
        ShownBoxes.clear();
        BoxAnswers.clear();
    }
};

/* The step events of ShowProgress(text, from, to). */
static void AddSteps(std::vector<std::string> &events, const char *text, int from, int to)
{
    for (int percent = from; percent < to; percent++)
        events.push_back(std::string("step ") + text + " " + std::to_string(percent));
}

#endif
