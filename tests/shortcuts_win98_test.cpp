/* Shortcuts and program groups on Windows 98/Me (Wine plays Windows 98, so that RegDeleteKeyA
 * deletes whole trees as there): desktop shortcuts with the search below the Windows folder,
 * program groups in several profiles, and the per-user keys. */
#include "harness.h"
#include "plant_files.h"

#include <shlobj.h>

namespace {

const char ScanShortcut[] = "Scan & Copy Control Program.lnk";
const char MenuOrder[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenmar T58";

/* 9x-style profiles below the Windows folder, made by the test and removed afterwards. */
struct ProfilesTest : ::testing::TestWithParam<const char *> {
    std::string profiles, desktop;
    std::vector<std::string> placed;

    void SetUp() override
    {
        ResetProgramState(GetParam());
        profiles = WindowsDir() + "\\Profiles";
        ASSERT_FALSE(PathExists(profiles));
        desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
        ASSERT_FALSE(desktop.empty());
        strcpy(InstallDir, "C:\\Program Files\\QuenmarT58");
    }
    void TearDown() override
    {
        RemoveTree(profiles);
        for (const std::string &path : placed) RemoveTree(path);
        ClearScheduledRemovals();
    }
    std::string Place(const std::string &path)
    {
        WriteTextFile(path, "shortcut");
        placed.push_back(path);
        return path;
    }
    std::string Group(const std::string &user) { return profiles + "\\" + user + "\\Start Menu\\Programs\\Quenmar T58"; }
};

/* The keys below HKEY_USERS of every profile the test machine has. */
std::vector<std::string> UserProfiles() { return RegSubkeys(HKEY_USERS, ""); }

}  // namespace

TEST_P(ProfilesTest, DesktopShortcutsAndTheFirstCopyBelowTheWindowsFolder)
{
    std::string scan = Place(desktop + "\\" + ScanShortcut);
    std::string product = Place(desktop + "\\Quenmar T58.lnk");
    std::string other = Place(desktop + "\\Other Program.lnk");
    std::string copy = Place(profiles + "\\bob\\Desktop\\" + ScanShortcut);
    std::string beside = Place(profiles + "\\bob\\Desktop\\Quenmar T58.lnk");
    std::string elsewhere = Place(profiles + "\\bob\\Desktop\\Other Program.lnk");

    EXPECT_EQ(1, RemoveDesktopShortcuts());
    for (const std::string &gone : {scan, product, copy, beside}) EXPECT_FALSE(PathExists(gone)) << gone;
    EXPECT_TRUE(PathExists(other));
    EXPECT_TRUE(PathExists(elsewhere));
    EXPECT_STREQ("C:\\Program Files\\QuenmarT58", InstallDir);
}

TEST_P(ProfilesTest, TreeIsNotSearchedWhileASiblingModelIsInstalled)
{
    std::string scan = Place(desktop + "\\" + ScanShortcut);
    std::string copy = Place(profiles + "\\bob\\Desktop\\" + ScanShortcut);
    SiblingModelPresent = OtherMakerPrinterPresent = 1;
    EXPECT_EQ(1, RemoveDesktopShortcuts());
    EXPECT_FALSE(PathExists(scan));
    EXPECT_TRUE(PathExists(copy));
}

TEST_P(ProfilesTest, GroupsOfEveryProfileGoAndInstallDirIsKept)
{
    std::vector<std::string> groups = {Group("alice"), Group("bob"), Group("carol"), Group("All Users")};
    for (const std::string &group : groups) {
        WriteTextFile(group + "\\Quenmar T58.lnk", "shortcut");
        WriteTextFile(group + "\\" + ScanShortcut, "shortcut");
    }
    std::string neighbour = profiles + "\\alice\\Start Menu\\Programs\\Other.lnk";
    WriteTextFile(neighbour, "shortcut");
    std::string file = profiles + "\\alice\\Quenmar T58";   /* a file of that name is no group */
    WriteTextFile(file, "data");

    EXPECT_EQ(1, RemoveProgramGroupFolders());
    for (const std::string &group : groups) EXPECT_FALSE(PathExists(group)) << group;
    EXPECT_TRUE(PathExists(neighbour));
    EXPECT_TRUE(PathExists(file));
    EXPECT_STREQ("C:\\Program Files\\QuenmarT58", InstallDir);
}

TEST_P(ProfilesTest, GroupHoldingAUsersFileEndsTheRepetitionScheduled)
{
    std::string group = Group("alice");
    WriteTextFile(group + "\\Quenmar T58.lnk", "shortcut");
    WriteTextFile(group + "\\my notes.txt", "the user's own");

    DWORD start = GetTickCount();
    EXPECT_EQ(1, RemoveProgramGroupFolders());
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_TRUE(PathExists(group + "\\my notes.txt"));
    EXPECT_FALSE(PathExists(group + "\\Quenmar T58.lnk"));
    std::string command = RegGet(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "1");
    EXPECT_EQ("command /c rd " + ShortPathOf(group), command);
    EXPECT_STREQ("C:\\Program Files\\QuenmarT58", InstallDir);
}

TEST_P(ProfilesTest, PerUserKeysFollowTheSiblingFlag)
{
    std::vector<std::string> users = UserProfiles();
    ASSERT_FALSE(users.empty());
    /* the outermost key of each profile that the test creates, removed at the end */
    std::vector<std::string> created;
    for (const std::string &user : users) {
        std::string path = user;
        for (const char *part : {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer", "MenuOrder",
                                  "Start Menu", "Programs"}) {
            path += std::string("\\") + part;
            if (!RegKeyExists(HKEY_USERS, path)) {
                created.push_back(path);
                break;
            }
        }
    }
    for (int sibling = 0; sibling < 2; sibling++) {
        for (const std::string &user : users) {
            RegPut(HKEY_USERS, user + "\\" + MenuOrder, "Order", "data");
            RegPut(HKEY_USERS, user + "\\Software\\ZedUrar\\Scan\\Settings", "Path", "C:\\x");
            RegPut(HKEY_USERS, user + "\\Software\\ZudAdov\\DevOred5.5", "Product", "Quenmar T58");
            RegPut(HKEY_USERS, user + "\\Software\\ZudAdovOther", "Keep", "1");
        }
        ResetProgramState(GetParam());
        SiblingModelPresent = OtherMakerPrinterPresent = sibling;
        EXPECT_EQ(1, RemoveProgramGroupFolders());
        for (const std::string &user : users) {
            EXPECT_FALSE(RegKeyExists(HKEY_USERS, user + "\\" + MenuOrder)) << user;
            EXPECT_TRUE(RegKeyExists(HKEY_USERS, user + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"));
            EXPECT_EQ(sibling == 1, RegKeyExists(HKEY_USERS, user + "\\Software\\ZedUrar")) << user;
            EXPECT_EQ(sibling == 1, RegKeyExists(HKEY_USERS, user + "\\Software\\ZudAdov")) << user;
            EXPECT_TRUE(RegKeyExists(HKEY_USERS, user + "\\Software\\ZudAdovOther")) << user;
        }
    }
    for (const std::string &user : users)
        for (const char *key : {"\\Software\\ZedUrar", "\\Software\\ZudAdov", "\\Software\\ZudAdovOther"})
            RegRemoveTree(HKEY_USERS, user + key);
    for (const std::string &key : created) RegRemoveTree(HKEY_USERS, key);
}

INSTANTIATE_TEST_SUITE_P(Family9x, ProfilesTest, ::testing::Values("win98", "winme"));

/* a found group that cannot be made current ------------------------------------ */

namespace {

typedef BOOL(WINAPI *SetCurrentDirectoryFunction)(LPCSTR);
SetCurrentDirectoryFunction RealSetCurrentDirectory;

/* Refuses folders named after the product, whichever form of their path is given. */
BOOL WINAPI RefusingSetCurrentDirectory(LPCSTR path)
{
    char longPath[MAX_PATH];
    if (GetLongPathNameA(path, longPath, sizeof longPath)) {
        size_t length = strlen(longPath);
        if (length > 12 && _stricmp(longPath + length - 12, "\\Quenmar T58") == 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    return RealSetCurrentDirectory(path);
}

}  // namespace

TEST(GroupFolders, FolderThatCannotBeEnteredIsSkippedNeverItsParent)
{
    ResetProgramState("win98");
    std::string programs = WindowsDir() + "\\Profiles\\alice\\Start Menu\\Programs";
    std::string group = programs + "\\Quenmar T58";
    WriteTextFile(group + "\\Quenmar T58.lnk", "shortcut");
    WriteTextFile(programs + "\\Other.lnk", "the parent's shortcut");
    strcpy(InstallDir, "C:\\Program Files\\QuenmarT58");
    RealSetCurrentDirectory = (SetCurrentDirectoryFunction)PatchImport(
        "KERNEL32.dll", "SetCurrentDirectoryA", (void *)RefusingSetCurrentDirectory);
    EXPECT_EQ(1, RemoveProgramGroupFolders());
    PatchImport("KERNEL32.dll", "SetCurrentDirectoryA", (void *)RealSetCurrentDirectory);

    EXPECT_TRUE(PathExists(programs + "\\Other.lnk"));
    EXPECT_TRUE(PathExists(group + "\\Quenmar T58.lnk"));
    EXPECT_STREQ("C:\\Program Files\\QuenmarT58", InstallDir);
    RemoveTree(WindowsDir() + "\\Profiles");
    ClearScheduledRemovals();
}
