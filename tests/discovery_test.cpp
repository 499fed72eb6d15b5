/* Start-up discovery: the printer survey from the registry, the installation
 * folder from the OCR program's registered path or the fixed drives, and the
 * walk of a folder tree. The test machine has a fixed drive D:, a removable
 * drive E: and a network drive F:, all empty. */
#include <direct.h>
#include <memory>
#include "harness.h"

static const char QueuesKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
static const char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
static const char AppPathKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\sprint.exe";

/* The current folder of the process. */
static std::string CurrentFolder()
{
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    return std::string(folder, length < sizeof folder ? length : 0);
}

/* Names of the entries of a folder in the order the file system lists them. */
static std::vector<std::string> ListingOrder(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    do
        if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, ".."))
            names.push_back(entry.cFileName);
    while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return names;
}

/* Every test starts with the family XP, no App Paths entry of the OCR program,
 * an empty scratch folder and the current folder where it was; what a test
 * plants (printer queues, folders on other drives) goes again afterwards. */
struct DiscoveryTest : ::testing::Test {
    std::unique_ptr<ScratchDir> dir;
    std::string savedFolder;
    std::vector<std::string> queues, trees;
    bool hadPrinters;

    void SetUp() override
    {
        ResetProgramState("winxp");
        dir.reset(new ScratchDir);
        savedFolder = CurrentFolder();
        hadPrinters = RegKeyExists(HKEY_LOCAL_MACHINE, QueuesKey);
        ASSERT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, AppPathKey));
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(savedFolder.c_str());
        RemovePrinters();
        RegRemoveTree(HKEY_LOCAL_MACHINE, AppPathKey);
        for (const std::string &tree : trees)
            RemoveTree(tree);
        dir.reset();
        ResetProgramState("");
    }
    std::string Path(const std::string &name) const { return *dir / name; }
    void PlantPrinter(const std::string &queue, const std::string &driver)
    {
        queues.push_back(queue);
        RegPut(HKEY_LOCAL_MACHINE, std::string(QueuesKey) + "\\" + queue, "Printer Driver", driver);
    }
    void RemovePrinters()
    {
        for (const std::string &queue : queues)
            RegRemoveTree(HKEY_LOCAL_MACHINE, std::string(QueuesKey) + "\\" + queue);
        queues.clear();
        if (!hadPrinters)
            RegRemoveTree(HKEY_LOCAL_MACHINE, QueuesKey);
    }
    /* Creates a folder on another drive; its top folder goes after the test. */
    void PlantFolder(const std::string &folder)
    {
        trees.push_back(folder.substr(0, folder.find('\\', 3)));
        MakeDirs(folder);
    }
    /* Makes the scratch folder current for a walk. */
    void EnterScratch() const { ASSERT_TRUE(SetCurrentDirectoryA(dir->path.c_str())); }
    std::string DefaultFolder() const
    {
        return RegGet(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir") + "\\QuenmarT58";
    }
};

typedef DiscoveryTest PrinterSurvey;
typedef DiscoveryTest InstallFolder;
typedef DiscoveryTest TreeWalk;

TEST_F(PrinterSurvey, FlagsFollowTheDriversOfOtherPrinters)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> printers; /* queue, driver */
        DWORD otherMaker, sibling;
        std::string siblingDriver;
    } cases[] = {
        {{{"Office Printer", "Quenmar T58"}, {"Upstairs", "quenmar t58"}}, 0, 0, ""},
        {{{"Office Printer", "Quenmar T58"}, {"Second", "Quenmar T60"}}, 1, 1, "Quenmar T60"},
        {{{"Second", "Quenmar T58 Plus"}}, 1, 1, "Quenmar T58 Plus"},
        {{{"Laser", "Quenmar Laser 5"}}, 1, 0, ""},
        {{{"Laser", "quenmar laser 5"}, {"Second", "quenmar t60"}}, 0, 0, ""},
        {{{"A Laser", "Quenmar Laser 5"}, {"B First", "Quenmar T60"}, {"C Second", "Quenmar T70"}}, 1, 1, "Quenmar T60"},
        {{{"Other", "Generic Text Only"}}, 0, 0, ""},
    };
    for (const Case &c : cases) {
        std::string drivers;
        for (const auto &printer : c.printers) {
            PlantPrinter(printer.first, printer.second);
            drivers += printer.second + "; ";
        }
        ResetProgramState("winxp");

        SurveyPrinters();

        EXPECT_EQ(c.otherMaker, OtherMakerPrinterPresent) << drivers;
        EXPECT_EQ(c.sibling, SiblingModelPresent) << drivers;
        EXPECT_EQ(c.siblingDriver, SiblingDriverName) << drivers;
        RemovePrinters();
    }
}

TEST_F(PrinterSurvey, UnreadableDriverNamesAddNothing)
{
    queues.push_back("No Driver");
    RegPut(HKEY_LOCAL_MACHINE, std::string(QueuesKey) + "\\No Driver", "Port", "USB001");
    PlantPrinter("Overlong", std::string(280, 'x') + "Quenmar T60");
    RegPutDword(HKEY_LOCAL_MACHINE, std::string(QueuesKey) + "\\Overlong", "Attributes", 0);

    SurveyPrinters();

    EXPECT_EQ(0u, OtherMakerPrinterPresent);
    EXPECT_EQ(0u, SiblingModelPresent);
    EXPECT_STREQ("", SiblingDriverName);
}

TEST_F(InstallFolder, RegisteredOcrProgramGivesTheFolderTwoLevelsUp)
{
    const std::string programFiles = RegGet(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir");
    const std::string fallback = DefaultFolder();
    struct Case {
        DWORD sibling;
        std::string registered, expected;
    } cases[] = {
        {0, "D:\\Apps\\QuenmarT58\\OCR\\sprint.exe", "D:\\Apps\\QuenmarT58"},
        {0, "D:\\Apps\\Scan\\OCR\\sprint.exe", "D:\\Apps\\Scan"},
        {1, "D:\\Apps\\QuenmarT58\\OCR\\sprint.exe", "D:\\Apps\\QuenmarT58"},
        {1, "D:\\QuenmarT58\\Apps\\OCR\\sprint.exe", "D:\\QuenmarT58\\Apps"},
        {1, "D:\\Apps\\Scan\\OCR\\sprint.exe", fallback},
        {1, "D:\\Apps\\QuenmarT580\\OCR\\sprint.exe", fallback},
        {1, "D:\\Apps\\quenmart58\\OCR\\sprint.exe", fallback},
        {0, "\"D:\\Apps\\QuenmarT58\\OCR\\sprint.exe\"", "D:\\Apps\\QuenmarT58"},
        {0, "D:\\OCR\\sprint.exe", fallback},
        {0, "D:\\\\OCR\\sprint.exe", fallback},
        {0, "D:\\sprint.exe", fallback},
        {0, "sprint.exe", fallback},
        {0, "Apps\\Scan\\OCR\\sprint.exe", fallback},
        {0, "\\\\server\\share\\OCR\\sprint.exe", fallback},
        {0, programFiles + "\\OCR\\sprint.exe", fallback},
        {0, WindowsDir() + "\\OCR\\sprint.exe", fallback},
        {0, SystemDir() + "\\OCR\\sprint.exe", fallback},
        {0, "D:\\" + std::string(250, 'a') + "\\OCR\\sprint.exe", fallback},
    };
    for (const Case &c : cases) {
        RegPut(HKEY_LOCAL_MACHINE, AppPathKey, NULL, c.registered);
        ResetProgramState("winxp");
        SiblingModelPresent = c.sibling;

        EXPECT_EQ(1, FindInstallDir());

        EXPECT_EQ(c.expected, InstallDir) << c.registered << (c.sibling ? " with a sibling" : "");
        EXPECT_EQ(fallback, DefaultInstallDir);
    }
}

TEST_F(InstallFolder, WithoutProgramFilesValueTheDefaultIsOnTheWindowsDrive)
{
    const std::string programFiles = RegGet(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir");
    ASSERT_NE("", programFiles);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "ProgramFilesDir");
    RegCloseKey(key);

    FindInstallDir();

    RegPut(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", programFiles);
    std::string expected = WindowsDir().substr(0, 3) + "Program Files\\QuenmarT58";
    EXPECT_EQ(expected, DefaultInstallDir);
    EXPECT_EQ(expected, InstallDir);
}

TEST_F(InstallFolder, DriveSearchCoversOnlyFixedDrivesOtherThanTheWindowsDrive)
{
    ASSERT_EQ((UINT)DRIVE_FIXED, GetDriveTypeA("D:\\"));
    ASSERT_EQ((UINT)DRIVE_REMOVABLE, GetDriveTypeA("E:\\"));
    ASSERT_EQ((UINT)DRIVE_REMOTE, GetDriveTypeA("F:\\"));
    MakeDirs(Path("QuenmarT58"));
    PlantFolder("E:\\QuenmarT58");
    PlantFolder("F:\\Apps\\QuenmarT58");

    FindInstallDir();
    EXPECT_EQ(DefaultFolder(), InstallDir) << "found nowhere: the default folder";

    PlantFolder("D:\\Apps\\quenmart58");
    ResetProgramState("winxp");
    FindInstallDir();
    EXPECT_EQ("D:\\Apps\\quenmart58", std::string(InstallDir)) << "as D: spells it";
}

TEST_F(InstallFolder, DriveSearchPutsBackTheCurrentDriveAndFolder)
{
    PlantFolder("D:\\Work\\Deep\\Folder");
    PlantFolder("D:\\Apps\\QuenmarT58");
    for (const std::string &start : {dir->path, std::string("D:\\Work\\Deep")}) {
        ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
        int drive = _getdrive();

        EXPECT_EQ(1, FindFileOnFixedDrives("QuenmarT58"));
        EXPECT_EQ(0, FindFileOnFixedDrives("Nowhere"));

        EXPECT_EQ(drive, _getdrive());
        EXPECT_EQ(start, CurrentFolder());
        EXPECT_EQ("D:\\Apps\\QuenmarT58", std::string(InstallDir));
    }
}

TEST_F(TreeWalk, SubfoldersAreVisitedDepthFirstInReverseListingOrder)
{
    MakeDirs(Path("one"));
    MakeDirs(Path("two"));
    std::vector<std::string> order = ListingOrder(dir->path);
    ASSERT_EQ(2u, order.size());
    /* Shallow in the folder listed first, deep in the folder listed last. */
    MakeDirs(Path(order[0] + "\\Target"));
    MakeDirs(Path(order[1] + "\\deeper\\still\\target"));
    EnterScratch();

    EXPECT_EQ(1, FindNameInTree("TARGET", 0));

    EXPECT_EQ(Path(order[1] + "\\deeper\\still\\target"), std::string(InstallDir));
}

TEST_F(TreeWalk, FolderIsMatchedWhereItIsListed)
{
    MakeDirs(Path("a\\b\\c\\Target"));
    MakeDirs(Path("Target"));
    EnterScratch();

    EXPECT_EQ(1, FindNameInTree("target", 0));

    EXPECT_EQ(Path("Target"), std::string(InstallDir));
}

TEST_F(TreeWalk, HiddenFoldersAreEnteredAndSystemEntriesIgnored)
{
    MakeDirs(Path("Hidden\\Found"));
    MakeDirs(Path("System\\Lost"));
    MakeDirs(Path("Target"));
    WriteTextFile(Path("Files\\Target.lnk"), "link");
    SetFileAttributesA(Path("Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(Path("System").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA(Path("Target").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA(Path("Files\\Target.lnk").c_str(), FILE_ATTRIBUTE_SYSTEM);
    struct Case {
        const char *name;
        int mode, found;
    } cases[] = {{"Found", 0, 1}, {"Lost", 0, 0}, {"Target", 0, 0}, {"Target.lnk", 1, 0}};
    for (const Case &c : cases) {
        ResetProgramState("winxp");
        EnterScratch();
        EXPECT_EQ(c.found, FindNameInTree(c.name, c.mode)) << c.name;
        EXPECT_EQ(c.found ? Path("Hidden\\Found") : "", std::string(InstallDir)) << c.name;
        EXPECT_STREQ("", FoundFolder) << c.name;
    }
}

TEST_F(TreeWalk, ModeOneFindsFilesAndFillsFoundFolder)
{
    WriteTextFile(Path("Profiles\\user\\Desktop\\Scan.lnk"), "link");
    MakeDirs(Path("Profiles\\user\\Start Menu\\Quenmar T58"));

    EnterScratch();
    EXPECT_EQ(0, FindNameInTree("scan.lnk", 0)) << "mode 0 matches folders only";
    EnterScratch();
    EXPECT_EQ(1, FindNameInTree("scan.lnk", 1));
    EXPECT_EQ(Path("Profiles\\user\\Desktop"), std::string(FoundFolder));
    EXPECT_STREQ("", InstallDir) << "a file does not set InstallDir";

    EnterScratch();
    EXPECT_EQ(1, FindNameInTree("quenmar t58", 1));
    EXPECT_EQ(Path("Profiles\\user\\Start Menu"), std::string(FoundFolder));
    EXPECT_EQ(Path("Profiles\\user\\Start Menu\\Quenmar T58"), std::string(InstallDir));
}

TEST_F(TreeWalk, FolderBeyondTheFirstThousandPendingIsFound)
{
    char name[16];
    for (int i = 0; i < 1200; i++) {
        snprintf(name, sizeof name, "d%04d", i);
        ASSERT_TRUE(CreateDirectoryA(Path(name).c_str(), NULL));
    }
    std::vector<std::string> order = ListingOrder(dir->path);
    ASSERT_EQ(1200u, order.size());
    std::string holder = Path(order[1100]);
    MakeDirs(holder + "\\QuenmarT58");
    EnterScratch();

    EXPECT_EQ(1, FindNameInTree("QuenmarT58", 0));

    EXPECT_EQ(holder + "\\QuenmarT58", std::string(InstallDir));
}

TEST_F(TreeWalk, FolderWhosePathDoesNotFitInstallDirIsNotCut)
{
    /* parent\longName is 256 characters; cut to 255 it names another folder. */
    std::string parent = Path("p");
    std::string longName(256 - parent.size() - 1, 'q');
    std::string cutName = longName.substr(0, longName.size() - 1);
    MakeDirs(parent + "\\" + longName);
    MakeDirs(parent + "\\" + cutName);

    EnterScratch();
    EXPECT_EQ(0, FindNameInTree(longName.c_str(), 0));
    EXPECT_STREQ("", InstallDir);
    EnterScratch();
    EXPECT_EQ(1, FindNameInTree(cutName.c_str(), 0));
    EXPECT_EQ(parent + "\\" + cutName, std::string(InstallDir));
}

/* The patterns the walk lists, and a folder whose listing cannot be started. */
static std::vector<std::string> ListedPatterns;
static std::string UnreadableFolder;
static HANDLE(WINAPI *RealFindFirstFile)(LPCSTR, LPWIN32_FIND_DATAA);

static HANDLE WINAPI ListExceptUnreadable(LPCSTR pattern, LPWIN32_FIND_DATAA entry)
{
    ListedPatterns.push_back(pattern);
    if (_stricmp(pattern, (UnreadableFolder + "\\*").c_str()) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return RealFindFirstFile(pattern, entry);
}

TEST_F(TreeWalk, FolderThatCannotBeListedCountsAsEmpty)
{
    MakeDirs(Path("one\\QuenmarT58"));
    MakeDirs(Path("two\\QuenmarT58"));
    std::vector<std::string> order = ListingOrder(dir->path);
    ASSERT_EQ(2u, order.size());
    /* The folder listed last is visited first: it cannot be listed. */
    UnreadableFolder = Path(order[1]);
    ListedPatterns.clear();
    EnterScratch();
    int found;
    {
        ImportPatch listing("KERNEL32.dll", "FindFirstFileA", (void *)ListExceptUnreadable);
        RealFindFirstFile = (HANDLE(WINAPI *)(LPCSTR, LPWIN32_FIND_DATAA))listing.previous;
        found = FindNameInTree("QuenmarT58", 0);
    }
    EXPECT_EQ(1, found);
    EXPECT_EQ(Path(order[0] + "\\QuenmarT58"), std::string(InstallDir));
    EXPECT_EQ((std::vector<std::string>{Path("*"), Path(order[1] + "\\*"), Path(order[0] + "\\*")}),
              ListedPatterns) << "each folder listed once, in its own place";
}
