/*
 * Message boxes of the removal program answered by caption, and runs of the
 * real program on the test machine (used by the tests and by tools/boxbot).
 */
#ifndef QUENMAR_TEST_BOXES_H
#define QUENMAR_TEST_BOXES_H

#include <windows.h>
#include <string>
#include <vector>

/* message boxes and the real program -------------------------------------- */

struct BoxRecord {
    std::string caption, text;
    UINT buttons;        /* MB_OK, MB_OKCANCEL, MB_YESNO ... as found */
    UINT icon;           /* MB_ICONINFORMATION, MB_ICONEXCLAMATION, MB_ICONQUESTION, MB_ICONERROR or 0 */
    int defaultButton;   /* id of the default button (IDOK, IDCANCEL ...) */
    int answer;          /* the button pressed */
};

struct BoxAnswer {
    std::string caption; /* the box to wait for */
    int button;          /* IDOK, IDCANCEL, IDYES, IDNO */
};

/* A thread that answers the boxes of any process on the test machine in the
 * given order (each by its caption), records them, and records the changing
 * phase texts of the progress window. */
struct BoxAnswerer {
    BoxAnswerer(const std::vector<BoxAnswer> &answers);
    ~BoxAnswerer();
    std::vector<BoxRecord> Boxes() const;
    std::vector<std::string> PhaseTexts() const;
    void *state;
};

struct ProgramRun {
    DWORD exitCode;                     /* STILL_ACTIVE when it timed out (then killed) */
    std::vector<BoxRecord> boxes;
    std::vector<std::string> phases;
};

/* Full path of the real removal program on the test machine. */
std::string ProgramPath();

/* Runs the real removal program with Wine playing the given Windows version
 * ("win95", "nt40", "win98", "winme", "win2k", "winxp", "win2003"),
 * answering its boxes in order, and waits for it to end. */
ProgramRun RunRemovalProgram(const char *version, const std::vector<BoxAnswer> &answers,
                             DWORD timeoutMs = 120000);

/* Starts a program of the test machine with Wine playing the given version
 * (per-program setting) and waits for its exit code. */
DWORD RunWithVersion(const std::string &path, const char *version, const std::string &arguments,
                     DWORD timeoutMs = 120000);

#endif
