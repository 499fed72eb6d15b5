/* The real removal program on a machine planted with the product's files, on every family: its
 * boxes answered (OK, then No, then OK), it removes exactly what its file phase selects. */
#include "harness.h"
#include "plant_files.h"

#include <algorithm>

namespace {

const char RunOnceCommandsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::vector<std::string> RunOnceNames(HKEY root)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, RunOnceCommandsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

/* Puts back what a run of the real program leaves for the restart: its own file (scheduled, and
   on the NT family moved aside), the restart-time work and the RunOnce values it added. */
struct ProgramRunGuard {
    std::string program = ProgramPath(), backup = ProgramPath() + ".keep";
    std::vector<std::string> runOnce[2] = {RunOnceNames(HKEY_LOCAL_MACHINE), RunOnceNames(HKEY_CURRENT_USER)};

    ProgramRunGuard() { CopyFileA(program.c_str(), backup.c_str(), FALSE); }
    ~ProgramRunGuard()
    {
        ClearScheduledRemovals();
        CopyFileA(backup.c_str(), program.c_str(), FALSE);
        DeleteFileA(backup.c_str());
        HKEY roots[2] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
        for (int i = 0; i < 2; i++) {
            HKEY key;
            if (RegOpenKeyExA(roots[i], RunOnceCommandsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) continue;
            for (const std::string &name : RunOnceNames(roots[i]))
                if (std::find(runOnce[i].begin(), runOnce[i].end(), name) == runOnce[i].end())
                    RegDeleteValueA(key, name.c_str());
            RegCloseKey(key);
        }
    }
};

}  // namespace

TEST(RealProgram, RemovesThePlantedProductFilesOnEveryFamily)
{
    const std::string installDir = "C:\\Program Files\\QuenmarT58";
    for (const char *family : {"win98", "winme", "win2k", "winxp"}) {
        PlantedFiles files = PlantProductFiles(family, false, false, installDir, installDir);
        ASSERT_FALSE(files.items.empty()) << family;
        {
            ProgramRunGuard guard;
            ProgramRun run = RunRemovalProgram(
                family, {{"VORSICHT!", IDOK}, {"Deinstallation abgeschlossen", IDNO}, {"Neustart erforderlich", IDOK}});
            EXPECT_EQ(0u, run.exitCode) << family;
            EXPECT_EQ(3u, run.boxes.size()) << family;
            std::string unexpected;
            for (const std::string &line : UnexpectedItems(files)) unexpected += line + "\n";
            EXPECT_EQ("", unexpected) << family;
        }
        RemovePlantedFiles(files);
    }
}
