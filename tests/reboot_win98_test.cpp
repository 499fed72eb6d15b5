/* Deletion primitives on the 9x family (the machine plays Windows 98): the
 * real WININIT.INI in the Windows folder, real RunOnce values, and the
 * restart that carries them out. */
#include <map>
#include "primitives_fixture.h"

static const char RunOnceCommandsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

/* Name and data of every value of the RunOnce key. */
static std::map<std::string, std::string> RunOnceValues()
{
    std::map<std::string, std::string> values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; index++) {
        char name[256], data[1024];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1;
        if (RegEnumValueA(key, index, name, &nameSize, NULL, NULL, (BYTE *)data, &dataSize) != ERROR_SUCCESS)
            break;
        data[dataSize] = 0;
        values[name] = data;
    }
    RegCloseKey(key);
    return values;
}

/* An optional file of the Windows folder: its bytes, or absent. */
struct SavedFile {
    std::string path, bytes;
    bool present;
    explicit SavedFile(const std::string &name) : path(WindowsDir() + "\\" + name), present(PathExists(path))
    {
        bytes = ReadTextFile(path);
        DeleteFileA(path.c_str());
    }
    ~SavedFile()
    {
        DeleteFileA(path.c_str());
        if (present)
            WriteTextFile(path, bytes);
    }
};

/* Every test starts without WININIT.INI and WININIT.BAK, and the RunOnce key
 * is put back as it was afterwards. */
struct Win9xDeletion : PrimitivesTest {
    std::unique_ptr<SavedFile> winInit, winInitBackup;
    std::map<std::string, std::string> runOnce;

    void SetUp() override
    {
        PrimitivesTest::SetUp();
        winInit.reset(new SavedFile("wininit.ini"));
        winInitBackup.reset(new SavedFile("wininit.bak"));
        runOnce = RunOnceValues();
        ResetProgramState("win98");
    }
    void TearDown() override
    {
        for (const auto &value : RunOnceValues())
            if (!runOnce.count(value.first)) {
                HKEY key;
                ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, 0, KEY_ALL_ACCESS, &key));
                RegDeleteValueA(key, value.first.c_str());
                RegCloseKey(key);
            }
        for (const auto &value : runOnce)
            RegPut(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, value.first.c_str(), value.second);
        winInitBackup.reset();
        winInit.reset();
        PrimitivesTest::TearDown();
    }
    std::string WinInitPath() const { return winInit->path; }
    std::string WinInit() const { return ReadTextFile(WinInitPath()); }
    /* A file of the scratch folder, created, and its path in a buffer of 256. */
    std::string MakeFile(const std::string &name, char *buffer)
    {
        WriteTextFile(Path(name), "data");
        snprintf(buffer, 256, "%s", Path(name).c_str());
        return ShortPathOf(Path(name));
    }
};

TEST_F(Win9xDeletion, LineGoesFirstIntoTheSectionAndEveryOtherByteStays)
{
    struct Case {
        const char *before; /* NULL: no WININIT.INI */
        const char *target, *after; /* "@" stands for the short path */
    } cases[] = {
        {NULL, NULL, "[rename]\r\nNUL=@\r\n"},
        {"", "C:\\NEW.EXE", "[rename]\r\nC:\\NEW.EXE=@\r\n"},
        {"[Boot]\r\nShell=Explorer.EXE\r\n[Rename]\r\nNUL=C:\\OLD.TXT\r\n[Other]\r\nKey=Value\r\n", NULL,
         "[Boot]\r\nShell=Explorer.EXE\r\n[Rename]\r\nNUL=@\r\nNUL=C:\\OLD.TXT\r\n[Other]\r\nKey=Value\r\n"},
        {"[rename]\nNUL=C:\\OLD.TXT\n", NULL, "[rename]\nNUL=@\r\nNUL=C:\\OLD.TXT\n"},
        {"[Boot]\r\nShell=Explorer.EXE", NULL, "[Boot]\r\nShell=Explorer.EXE\r\n[rename]\r\nNUL=@\r\n"},
        {"[Boot]\r\nA=1\r\n[RENAME]", NULL, "[Boot]\r\nA=1\r\n[RENAME]\r\nNUL=@\r\n"},
        {"[Boot]\r\nNote=[rename]\r\n", NULL, "[Boot]\r\nNote=[rename]\r\n[rename]\r\nNUL=@\r\n"},
    };
    for (const Case &c : cases) {
        char path[256];
        std::string shortPath = MakeFile("Printer Monitor.dll", path);
        DeleteFileA(WinInitPath().c_str());
        if (c.before)
            WriteTextFile(WinInitPath(), c.before);

        EXPECT_EQ(1, DeleteOnReboot(path, c.target));

        EXPECT_EQ(shortPath, path) << "the buffer now holds the short form";
        std::string expected = c.after;
        expected.replace(expected.find('@'), 1, shortPath);
        EXPECT_EQ(expected, WinInit()) << "before: " << (c.before ? c.before : "no file");
    }
}

/* Stands for CreateFileMappingA when the system has no room for the mapping. */
static HANDLE WINAPI FailMapping(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

TEST_F(Win9xDeletion, NothingIsWrittenForMissingFilesOrWinInitInUseOrUnmappable)
{
    char missing[256];
    snprintf(missing, sizeof missing, "%s", Path("No Such File.dll").c_str());
    EXPECT_EQ(0, DeleteOnReboot(missing, NULL));
    EXPECT_FALSE(PathExists(WinInitPath()));
    EXPECT_EQ(Path("No Such File.dll"), missing);

    const std::string before = "[Boot]\r\nShell=Explorer.EXE\r\n";
    char path[256];
    MakeFile("Scan Tool.dll", path);
    WriteTextFile(WinInitPath(), before);
    {
        HeldFile held(WinInitPath());
        EXPECT_EQ(0, DeleteOnReboot(path, NULL));
    }
    EXPECT_EQ(before, WinInit());
    {
        ImportPatch failing("KERNEL32.dll", "CreateFileMappingA", (void *)FailMapping);
        EXPECT_EQ(0, DeleteOnReboot(path, NULL));
    }
    EXPECT_EQ(before, WinInit()) << "cut back to its old size";
}

TEST_F(Win9xDeletion, ReadOnlyFileIsDeletedAndTracedWithItsShortPath)
{
    WriteTextFile(Path("Read Only Driver.dll"), "data");
    std::string shortPath = ShortPathOf(Path("Read Only Driver.dll"));
    SetFileAttributesA(Path("Read Only Driver.dll").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), "Read Only Driver.dll"));

    EXPECT_FALSE(PathExists(Path("Read Only Driver.dll")));
    EXPECT_EQ(std::vector<std::string>{FileTrace(false, shortPath)}, traces->Messages());
    EXPECT_FALSE(PathExists(WinInitPath()));
}

TEST_F(Win9xDeletion, FileInUseIsRenamedToNulAtRestart)
{
    WriteTextFile(WinInitPath(), "[Boot]\r\nShell=Explorer.EXE\r\n[Rename]\r\nNUL=C:\\NOTHERE.TXT\r\n");
    std::string path = Path("Held Driver.dll");
    WriteTextFile(path, "held");
    std::string shortPath = ShortPathOf(path);
    {
        HeldFile held(path);
        EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), "Held Driver.dll"));
    }
    EXPECT_EQ("[Boot]\r\nShell=Explorer.EXE\r\n[Rename]\r\nNUL=" + shortPath + "\r\nNUL=C:\\NOTHERE.TXT\r\n",
              WinInit());
    EXPECT_EQ((std::vector<std::string>{"Cannot delete " + shortPath + ": error 32", FileTrace(false, shortPath)}),
              traces->Messages());
    EXPECT_TRUE(PathExists(path));
    EXPECT_TRUE(PendingRenames().empty()) << "the 9x family does not use the pending renames";

    PlayRestart();

    EXPECT_FALSE(PathExists(path));
    EXPECT_FALSE(PathExists(WinInitPath())) << "done with, it becomes WININIT.BAK";
}

TEST_F(Win9xDeletion, FoldersThatStillHoldFilesGetRunOnceCommands)
{
    const char *names[] = {"Scanner Files", "Printer Files", "OCR Files", "Scan"};
    ASSERT_FALSE(runOnce.count("1") || runOnce.count("2") || runOnce.count("3") || runOnce.count("4"));
    for (const char *name : names)
        WriteTextFile(Path(std::string(name) + "\\user.doc"), "the user's own");
    MakeDirs(Path("Empty Folder"));

    for (const char *name : names)
        EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), name));
    EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), "Empty Folder"));

    for (int i = 0; i < 3; i++)
        EXPECT_EQ("command /c rd " + ShortPathOf(Path(names[i])),
                  RegGet(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, std::to_string(i + 1).c_str()));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, "4")) << "four characters or fewer: left";
    for (const char *name : names)
        EXPECT_TRUE(PathExists(Path(std::string(name) + "\\user.doc")));
    EXPECT_FALSE(PathExists(Path("Empty Folder")));
    EXPECT_TRUE(traces->Messages().empty()) << "folders are not traced";
}

TEST_F(Win9xDeletion, RunOnceCommandOfAnotherProgramSurvives)
{
    ASSERT_FALSE(runOnce.count("1") || runOnce.count("2"));
    RegPut(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, "1", "setup.exe /finish");
    MakeDirs(Path("Program Group"));
    char path[256], missing[256];
    snprintf(path, sizeof path, "%s", Path("Program Group").c_str());
    snprintf(missing, sizeof missing, "%s", Path("Missing Group").c_str());

    EXPECT_EQ(0, RemoveDirOnReboot(missing));
    EXPECT_EQ(1, RemoveDirOnReboot(path));

    EXPECT_EQ(Path("Missing Group"), missing);
    EXPECT_EQ(ShortPathOf(Path("Program Group")), path);
    EXPECT_EQ("setup.exe /finish", RegGet(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, "1"));
    EXPECT_EQ("command /c rd " + std::string(path), RegGet(HKEY_LOCAL_MACHINE, RunOnceCommandsKey, "2"));
    EXPECT_EQ(2u, RunOnceSerial);
}

TEST_F(Win9xDeletion, SelfRemovalAddsTheProgramToWinInitAndRestartDeletesIt)
{
    std::string shortPath = ShortPathOf(ProgramPath());
    ASSERT_NE("", shortPath);

    RunProgramDecliningRestart("win98");

    std::string text = WinInit();
    size_t section = text.find("[rename]\r\n");
    ASSERT_NE(std::string::npos, section) << text;
    EXPECT_NE(std::string::npos, text.find("\r\nNUL=" + shortPath + "\r\n", section)) << text;
    EXPECT_TRUE(PathExists(ProgramPath())) << "still present until the restart";

    PlayRestart();

    EXPECT_FALSE(PathExists(ProgramPath()));
    RestoreProgram();
}
