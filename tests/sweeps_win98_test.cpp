/* The file phase on Windows 98 and Me (Wine plays Windows 98), on a machine planted with every
 * row of the tables and other products' files in the same folders. */
#include "sweeps_fixture.h"

namespace {

const char RunOnceCommandsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

/* The RunOnce commands written by the program, by their data. */
std::vector<std::string> RunOnceCommands()
{
    std::vector<std::string> commands;
    for (int serial = 1; serial < 50; serial++) {
        std::string data = RegGet(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, std::to_string(serial).c_str());
        if (!data.empty()) commands.push_back(data);
    }
    return commands;
}

/* Plays the start of Windows 98 after a restart: wineboot -r carries out WININIT.INI, then the
   RunOnce commands run in the order they were written, as Windows 98 runs them (Wine runs them
   last-first, so a folder's "rd" would come before that of the folder inside it), with a stand-in
   for the command interpreter that Wine lacks. */
void PlayRestartOf98()
{
    std::vector<std::string> commands = RunOnceCommands();
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, 0, KEY_ALL_ACCESS, &key));
    for (int serial = 1; serial < 50; serial++) RegDeleteValueA(key, std::to_string(serial).c_str());
    RegCloseKey(key);
    PlayRestart();
    std::string interpreter = SystemDir() + "\\command.exe";
    ASSERT_TRUE(CopyFileA("C:\\qt58test\\command.exe", interpreter.c_str(), FALSE));
    for (std::string command : commands) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    DeleteFileA(interpreter.c_str());
}

bool Holds(const std::vector<std::string> &list, const std::string &wanted)
{
    for (const std::string &entry : list)
        if (_stricmp(entry.c_str(), wanted.c_str()) == 0) return true;
    return false;
}

}  // namespace

TEST_P(SweepTest, RemovesExactlyWhatTheConditionsSelect)
{
    TraceRecorder traces;
    std::string sprint = ShortPathOf(Installed("Sprint\\Sprint.exe"));
    DWORD start = GetTickCount();
    RemoveProductFiles();
    printf("file phase on %s with %s: %lu ms for %zu planted items\n", family.c_str(),
           FlagName(std::get<1>(GetParam())), GetTickCount() - start, files.items.size());
    EXPECT_EQ("", Report());

    EXPECT_EQ(otherMaker, PathExists(SystemDir() + "\\QNMTRAY.EXE"));
    EXPECT_EQ(otherMaker, PathExists(SystemDir() + "\\QMK_BUSY.WAV"));
    EXPECT_EQ(sibling, PathExists(WindowsDir() + "\\SYSTEM32\\DRIVERS\\QNMUSBPR.SYS"));
    EXPECT_EQ(sibling, PathExists(SystemDir() + "\\PXKRN13.DLL"));
    EXPECT_FALSE(PathExists(Group()));
    EXPECT_FALSE(PathExists(ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Quenmar T58.lnk"));
    EXPECT_TRUE(PathExists(WindowsDir() + "\\twain_32"));
    /* files are traced by their short paths; nothing starts the status service on 9x */
    EXPECT_TRUE(traces.Contains("Deleted File\r\n" + sprint));
    EXPECT_FALSE(traces.Contains("QnmBceS uninstalled Successfully."));
}

/* Cases that need no flag combination: run once per family. */
struct SweepOnceTest : SweepTest {};

TEST_P(SweepOnceTest, FileInUseIsScheduledWithItsFoldersAndGoesAtTheRestart)
{
    std::string held = Installed("Sprint\\Scan\\SprScan.dll");
    std::string shortHeld = ShortPathOf(held), shortScan = ShortPathOf(Installed("Sprint\\Scan"));
    std::string shortSprint = ShortPathOf(Installed("Sprint"));
    {
        HeldFile holder(held);
        RemoveProductFiles();
    }
    EXPECT_TRUE(PathExists(held));
    std::string wininit = ReadTextFile(WindowsDir() + "\\wininit.ini");
    EXPECT_NE(std::string::npos, wininit.find("[rename]\r\nNUL=" + shortHeld + "\r\n")) << wininit;
    std::vector<std::string> commands = RunOnceCommands();
    EXPECT_TRUE(Holds(commands, "command /c rd " + shortScan));
    EXPECT_TRUE(Holds(commands, "command /c rd " + shortSprint));

    PlayRestartOf98();
    for (const PlantedItem &item : files.items) EXPECT_EQ(!item.expectGone, PathExists(item.path)) << item.path;
}

TEST_P(SweepOnceTest, GroupFolderHoldingAUsersFileStaysInPlaceScheduled)
{
    std::string notes = Group() + "\\my notes.txt";
    WriteTextFile(notes, "the user's own");
    RemoveProductFiles();
    EXPECT_TRUE(PathExists(notes));
    EXPECT_FALSE(PathExists(Group() + "\\Quenmar T58.lnk"));
    EXPECT_TRUE(Holds(RunOnceCommands(), "command /c rd " + ShortPathOf(Group())));
    RemoveTree(Group());
}

TEST_P(SweepOnceTest, FolderWithAFourCharacterNameIsLeftUnscheduled)
{
    std::string demo = Installed("Demo"), forms = Installed("Forms");
    WriteTextFile(demo + "\\mine.txt", "the user's own");
    WriteTextFile(forms + "\\mine.txt", "the user's own");
    std::string shortDemo = ShortPathOf(demo), shortForms = ShortPathOf(forms);
    RemoveProductFiles();
    EXPECT_TRUE(PathExists(demo + "\\mine.txt"));
    EXPECT_TRUE(PathExists(forms + "\\mine.txt"));
    std::vector<std::string> commands = RunOnceCommands();
    EXPECT_FALSE(Holds(commands, "command /c rd " + shortDemo));
    EXPECT_TRUE(Holds(commands, "command /c rd " + shortForms));
}

TEST_P(SweepOnceTest, OtherFamilysSweepTouchesNothing)
{
    EXPECT_EQ(0, SweepNtFiles());
    for (const PlantedItem &item : files.items) EXPECT_TRUE(PathExists(item.path)) << item.path;
}

INSTANTIATE_TEST_SUITE_P(Family9x, SweepTest,
                         ::testing::Combine(::testing::Values("win98", "winme"),
                                            ::testing::Values(NoOtherPrinter, OtherMakerPrinter, SiblingModel)),
                         SweepCaseName);
INSTANTIATE_TEST_SUITE_P(Family9x, SweepOnceTest,
                         ::testing::Combine(::testing::Values("win98", "winme"), ::testing::Values(NoOtherPrinter)),
                         SweepCaseName);
