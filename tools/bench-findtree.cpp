/* Measures the program's tree walk (FindNameInTree) against the floor any
 * Win32 program meets: a bare FindFirstFileA/FindNextFileA walk with an
 * explicit stack, and against "cmd /c dir /s /b", over one large tree.
 *
 *   bench-findtree <root folder> <name>
 *
 * Puts a folder of that name at the far end of the walk (the folder visited
 * last), then prints one line per method: "<method> <seconds> <folders>". */
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "uninstall.h"

/* Seconds elapsed since start. */
static double Seconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

/* True for the entries "." and "..". */
static bool IsDots(const char *name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

/* Walks the tree below root depth first, subfolders in the reverse of their
 * listing order (the order of the program's walk); counts the folders listed
 * and stops when a folder of that name is listed. Returns the folder visited
 * last. */
static std::string BareWalk(const std::string &root, const char *name, long *folders, bool *found)
{
    std::vector<std::string> pending(1, root);
    std::string folder;
    WIN32_FIND_DATAA entry;
    *folders = 0;
    *found = false;
    while (!pending.empty() && !*found) {
        folder = pending.back();
        pending.pop_back();
        (*folders)++;
        HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (listing == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (IsDots(entry.cFileName) || !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                || (entry.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM))
                continue;
            pending.push_back(folder + "\\" + entry.cFileName);
            *found = _stricmp(entry.cFileName, name) == 0;
        } while (!*found && FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    return folder;
}

/* Runs a command line and waits for it; false when it cannot be started. */
static bool RunCommand(const char *commandLine)
{
    char command[512];
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process;
    snprintf(command, sizeof command, "%s", commandLine);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bench-findtree <root folder> <name>\n");
        return 2;
    }
    std::string root = argv[1];
    const char *name = argv[2];
    LARGE_INTEGER start;
    long folders = 0;
    bool found = false;

    std::string last = BareWalk(root, name, &folders, &found);
    if (found) {
        fprintf(stderr, "a folder %s exists already\n", name);
        return 1;
    }
    std::string target = last + "\\" + name;
    if (!CreateDirectoryA(target.c_str(), NULL)) {
        fprintf(stderr, "cannot create %s\n", target.c_str());
        return 1;
    }
    printf("tree %ld folders, sought %s\n", folders, target.c_str());

    /* Three rounds each, the order changing from round to round, so that
       neither method gets the colder file cache or the busier moments of a
       shared machine; the best time of each counts. */
    double bare = 1e9, ours = 1e9;
    for (int round = 0; round < 6; round++) {
        bool ourTurn = round % 4 == 1 || round % 4 == 2;
        double seconds;
        if (ourTurn) {
            SetCurrentDirectoryA(root.c_str());
            QueryPerformanceCounter(&start);
            int ourFound = FindNameInTree(name, 0);
            seconds = Seconds(start);
            if (!ourFound || _stricmp(InstallDir, target.c_str()) != 0) {
                fprintf(stderr, "FindNameInTree gave %d, %s\n", ourFound, InstallDir);
                return 1;
            }
            ours = seconds < ours ? seconds : ours;
        } else {
            QueryPerformanceCounter(&start);
            BareWalk(root, name, &folders, &found);
            seconds = Seconds(start);
            if (!found) {
                fprintf(stderr, "bare walk did not find %s\n", name);
                return 1;
            }
            bare = seconds < bare ? seconds : bare;
        }
        printf("round %d %s %.2f\n", round + 1, ourTurn ? "ours" : "bare", seconds);
        fflush(stdout);
    }
    SetCurrentDirectoryA("C:\\");
    printf("bare %.2f\n", bare);
    printf("ours %.2f\n", ours);

    std::string dir = "cmd.exe /c dir /s /b \"" + root + "\" > NUL";
    QueryPerformanceCounter(&start);
    if (!RunCommand(dir.c_str())) {
        fprintf(stderr, "cannot run %s\n", dir.c_str());
        return 1;
    }
    printf("dir %.2f\n", Seconds(start));
    return 0;
}
