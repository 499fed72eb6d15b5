/* Times the program's tree walk (FindNameInTree) against a bare FindFirstFileA
   walk in the same order, the floor for any Win32 program, both looking for
   the folder <name> below <root>; the best of three rounds of each, taken in
   turns. */
#include <algorithm>
#include <string>
#include <vector>
#include "uninstall.h"

static int BareWalk(const char *root, const char *name)
{
    std::vector<std::string> pending(1, root);
    WIN32_FIND_DATAA entry;

    while (!pending.empty()) {
        std::string folder = pending.back();
        pending.pop_back();
        HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
        do
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry.cFileName[0] != '.') {
                if (!_stricmp(entry.cFileName, name))
                    return FindClose(listing), 1;
                pending.push_back(folder + "\\" + entry.cFileName);
            }
        while (listing != INVALID_HANDLE_VALUE && FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    return 0;
}

int main(int argc, char **argv)
{
    double best[2] = { 1e9, 1e9 };

    for (int round = 0, ours = 0; round < 6; round++, ours = !ours) {
        DWORD start = GetTickCount();
        SetCurrentDirectoryA(argc == 3 ? argv[1] : "");
        if (argc != 3 || !(ours ? FindNameInTree(argv[2], 0) : BareWalk(argv[1], argv[2])))
            return fprintf(stderr, "usage: bench-findtree <root> <name of a folder below it>\n"), 1;
        best[ours] = std::min(best[ours], (GetTickCount() - start) / 1000.0);
    }
    printf("bare walk %.2f s, FindNameInTree %.2f s (%+.1f %%)\n", best[0], best[1], 100 * best[1] / best[0] - 100);
}
