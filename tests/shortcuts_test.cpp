/* Desktop shortcuts on Windows 2000/XP: the all-users desktop, the user's desktop, and the
 * profiles tree; and the shortcut deletion inside a program group folder. */
#include "harness.h"
#include "plant_files.h"

#include <shlobj.h>

namespace {

const char ScanShortcut[] = "Scan & Copy Control Program.lnk";

/* The two desktops of the test machine and a further profile below the profiles folder, with
   the scan shortcut placed where a test wants it; everything placed is removed again. */
struct DesktopTest : ::testing::TestWithParam<const char *> {
    std::string commonDesktop, desktop, otherProfile;
    std::vector<std::string> placed;

    void SetUp() override
    {
        ResetProgramState(GetParam());
        commonDesktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
        desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
        ASSERT_FALSE(commonDesktop.empty());
        ASSERT_FALSE(desktop.empty());
        std::string profiles = desktop.substr(0, desktop.rfind('\\'));
        profiles = profiles.substr(0, profiles.rfind('\\'));
        otherProfile = profiles + "\\qt58other";
        strcpy(InstallDir, "C:\\Program Files\\QuenmarT58");
    }
    void TearDown() override
    {
        for (const std::string &path : placed) RemoveTree(path);
        RemoveTree(otherProfile);
        ClearScheduledRemovals();
    }
    std::string Place(const std::string &folder, const std::string &name = ScanShortcut)
    {
        std::string path = folder + "\\" + name;
        WriteTextFile(path, "shortcut");
        placed.push_back(path);
        return path;
    }
};

}  // namespace

TEST_P(DesktopTest, AllUsersDesktopFirstAndTheUsersDesktopIsThenNotExamined)
{
    std::string common = Place(commonDesktop), own = Place(desktop);
    EXPECT_EQ(1, RemoveDesktopShortcuts());
    EXPECT_FALSE(PathExists(common));
    EXPECT_TRUE(PathExists(own));
}

TEST_P(DesktopTest, UsersDesktopWhenTheAllUsersDesktopHasNone)
{
    std::string own = Place(desktop), product = Place(desktop, "Quenmar T58.lnk");
    std::string deeper = Place(otherProfile + "\\Desktop");
    EXPECT_EQ(1, RemoveDesktopShortcuts());
    EXPECT_FALSE(PathExists(own));
    EXPECT_TRUE(PathExists(deeper));
    EXPECT_TRUE(PathExists(product));   /* the product shortcut is not looked for here */
}

TEST_P(DesktopTest, OnlyDeeperInTheProfilesTree)
{
    std::string deeper = Place(otherProfile + "\\Desktop\\Tools");
    SetFileAttributesA(deeper.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string beside = Place(otherProfile + "\\Desktop\\Tools", "Quenmar T58.lnk");
    EXPECT_EQ(1, RemoveDesktopShortcuts());
    EXPECT_FALSE(PathExists(deeper));
    EXPECT_TRUE(PathExists(beside));
    EXPECT_STREQ("C:\\Program Files\\QuenmarT58", InstallDir);
}

TEST_P(DesktopTest, TreeIsNotSearchedWhileASiblingModelIsInstalled)
{
    std::string deeper = Place(otherProfile + "\\Desktop");
    SiblingModelPresent = OtherMakerPrinterPresent = 1;
    EXPECT_EQ(1, RemoveDesktopShortcuts());
    EXPECT_TRUE(PathExists(deeper));
}

TEST_P(DesktopTest, FolderCarryingTheShortcutNameIsNeitherDeletedNorTakenForInstallDir)
{
    std::string folder = otherProfile + "\\Desktop\\" + ScanShortcut;
    MakeDirs(folder);
    EXPECT_EQ(1, RemoveDesktopShortcuts());
    EXPECT_TRUE(PathExists(folder));
    EXPECT_STREQ("C:\\Program Files\\QuenmarT58", InstallDir);
    EXPECT_FALSE(IsPendingDeletion(folder));
}

TEST_P(DesktopTest, ShortcutInUseOnADesktopEndsTheSearchUnscheduled)
{
    std::string own = Place(desktop), deeper = Place(otherProfile + "\\Desktop");
    {
        HeldFile held(own);
        EXPECT_EQ(1, RemoveDesktopShortcuts());
    }
    EXPECT_TRUE(PathExists(own));
    EXPECT_FALSE(IsPendingDeletion(own));
    EXPECT_TRUE(PathExists(deeper));
}

INSTANTIATE_TEST_SUITE_P(NtFamily, DesktopTest, ::testing::Values("winxp", "win2k"));

/* desktop paths from which no tree is searched ------------------------------- */

namespace {

const char *FakeDesktop;

BOOL WINAPI FakeShellFolder(HWND, LPSTR path, int csidl, BOOL)
{
    if (csidl == CSIDL_COMMON_DESKTOPDIRECTORY) {
        strcpy(path, "C:\\users\\Public\\Desktop");
        return TRUE;
    }
    strcpy(path, FakeDesktop);
    return TRUE;
}

}  // namespace

TEST(DesktopSearch, NeverFromADriveRootOrANetworkPath)
{
    ScratchDir dir;
    std::string planted = dir / "deep\\" + ScanShortcut;
    WriteTextFile(planted, "shortcut");
    ResetProgramState("winxp");
    for (const char *desktop : {"C:\\qt58scratch\\Desktop", "C:\\Desktop", "\\\\server\\share\\user\\Desktop",
                                "\\\\server\\share\\profiles\\user\\Desktop", "Desktop"}) {
        FakeDesktop = desktop;
        ImportPatch patch("SHELL32.dll", "SHGetSpecialFolderPathA", (void *)FakeShellFolder);
        DWORD start = GetTickCount();
        EXPECT_EQ(1, RemoveDesktopShortcuts()) << desktop;
        EXPECT_LT(GetTickCount() - start, 2000u) << desktop;
        EXPECT_TRUE(PathExists(planted)) << desktop;
    }
}

/* shortcuts inside a group folder --------------------------------------------- */

TEST(GroupShortcuts, OnlyShortcutsOfTheFolderItselfGo)
{
    ScratchDir dir;
    std::string group = dir / "Quenmar T58";
    WriteTextFile(group + "\\Quenmar T58.lnk", "shortcut");
    WriteTextFile(group + "\\Readme.LNK", "shortcut");
    WriteTextFile(group + "\\notes.txt", "the user's own");
    WriteTextFile(group + "\\list.lnkx", "not a shortcut");
    MakeDirs(group + "\\folder.lnk");
    WriteTextFile(dir / "Parent.lnk", "the parent's shortcut");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);

    EXPECT_EQ(1, DeleteShortcutsInFolder(group.c_str()));
    EXPECT_FALSE(PathExists(group + "\\Quenmar T58.lnk"));
    EXPECT_FALSE(PathExists(group + "\\Readme.LNK"));
    EXPECT_TRUE(PathExists(group + "\\notes.txt"));
    EXPECT_TRUE(PathExists(group + "\\list.lnkx"));
    EXPECT_TRUE(PathExists(group + "\\folder.lnk"));

    /* a folder that cannot be made current is skipped: the current folder's shortcuts stay */
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path.c_str()));
    EXPECT_EQ(0, DeleteShortcutsInFolder((dir / "Missing Group").c_str()));
    EXPECT_EQ(0, DeleteShortcutsInFolder(""));
    EXPECT_TRUE(PathExists(dir / "Parent.lnk"));
    SetCurrentDirectoryA(previous);
}
