/* Runs the removal program with Wine playing a Windows version, answers its
 * boxes in the order given and prints what it showed and its exit code.
 *   boxbot <program> <version> [caption=OK|CANCEL|YES|NO ...] */
#include <cstdio>
#include <cstring>
#include "boxes.h"

/* The button id named by OK, CANCEL, YES or NO; 0 for anything else. */
static int ButtonId(const char *name)
{
    if (!strcmp(name, "OK")) return IDOK;
    if (!strcmp(name, "CANCEL")) return IDCANCEL;
    if (!strcmp(name, "YES")) return IDYES;
    if (!strcmp(name, "NO")) return IDNO;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: boxbot <program> <version> [caption=OK|CANCEL|YES|NO ...]\n");
        return 2;
    }
    std::vector<BoxAnswer> answers;
    for (int i = 3; i < argc; i++) {
        const char *equals = strrchr(argv[i], '=');
        if (!equals || !ButtonId(equals + 1)) {
            fprintf(stderr, "boxbot: bad answer %s\n", argv[i]);
            return 2;
        }
        answers.push_back({std::string(argv[i], equals - argv[i]), ButtonId(equals + 1)});
    }
    BoxAnswerer answerer(answers);
    DWORD code = RunWithVersion(argv[1], argv[2], "", 600000);
    Sleep(50);
    static const char *names[] = {"", "OK", "CANCEL", "", "", "", "YES", "NO"};
    for (const std::string &phase : answerer.PhaseTexts()) printf("phase: %s\n", phase.c_str());
    for (const BoxRecord &box : answerer.Boxes()) {
        std::string text = box.text;
        for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " / ");
        printf("box: [%s] %s -> %s\n", box.caption.c_str(), text.c_str(), names[box.answer & 7]);
    }
    printf("exit code: %lu\n", code);
    return 0;
}
