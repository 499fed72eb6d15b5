/* Deletion primitives on the NT family (the machine plays Windows XP): real
 * files held open or running, the pending renames of MoveFileExA, and the
 * restart that carries them out. */
#include "primitives_fixture.h"

/* Sources of the pending deletions (empty target) in their order. */
static std::vector<std::string> PendingDeletions()
{
    std::vector<std::string> sources;
    for (const auto &pair : PendingRenames())
        if (pair.second.empty())
            sources.push_back(pair.first);
    return sources;
}

/* The folder part of a path, without its last backslash. */
static std::string ParentOf(const std::string &path)
{
    return path.substr(0, path.rfind('\\'));
}

typedef PrimitivesTest NtDeletion;

TEST(CopySubstring, CountZeroGivesEmptyText)
{
    char dst[8];
    memset(dst, 'x', sizeof dst);
    CopySubstring(dst, "abcdef", 2, 0);
    EXPECT_STREQ("", dst);
    EXPECT_EQ('x', dst[1]);
}

TEST(CopySubstring, PaddedRecordsYieldTheirNames)
{
    /* Three records of width 6: NUL padding, blank padding, a full row. */
    const char table[] = "ab\0\0\0\0" "cde\0  " "fghij";
    char dst[8];
    memset(dst, 'x', sizeof dst);

    CopySubstring(dst, table, 0, 6);
    EXPECT_STREQ("ab", dst);
    CopySubstring(dst, table, 6, 6);
    EXPECT_STREQ("cde", dst);
    EXPECT_EQ(0, memcmp(dst, "cde\0  \0", 7)) << "copies past the NUL and ends after count";
    EXPECT_EQ('x', dst[7]) << "nothing written beyond count + 1";
    CopySubstring(dst, table, 12, 6);
    EXPECT_STREQ("fghij", dst);
}

TEST(TraceRemoval, HandsTheMessageToADebuggerAndShowsNothing)
{
    TraceRecorder traces;
    EXPECT_EQ(1, TraceRemoval("Deleted File\nC:\\x.dll"));
    EXPECT_EQ(std::vector<std::string>{"Deleted File\nC:\\x.dll"}, traces.Messages());
}

TEST_F(NtDeletion, WithoutFamilyNothingIsTouched)
{
    ResetProgramState("");
    WriteTextFile(Path("keep.dll"), "data");
    EXPECT_EQ(0, DeleteFileOrDefer(dir->path.c_str(), "keep.dll"));
    EXPECT_TRUE(PathExists(Path("keep.dll")));
    EXPECT_TRUE(traces->Messages().empty());
}

TEST_F(NtDeletion, ItemsNotInUseAreDeletedAndFilesTraced)
{
    ResetProgramState("winxp");
    WriteTextFile(Path("ro.dll"), "data");
    WriteTextFile(Path("sub\\hs.dat"), "data");
    MakeDirs(Path("Empty"));
    SetFileAttributesA(Path("ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(Path("sub\\hs.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    for (const char *name : {"ro.dll", "sub\\hs.dat", "Empty"})
        EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), name));

    EXPECT_FALSE(PathExists(Path("ro.dll")));
    EXPECT_FALSE(PathExists(Path("sub\\hs.dat")));
    EXPECT_FALSE(PathExists(Path("Empty")));
    EXPECT_EQ((std::vector<std::string>{FileTrace(true, Path("ro.dll")), FileTrace(true, Path("sub\\hs.dat"))}),
              traces->Messages());
    EXPECT_TRUE(PendingDeletions().empty());
}

TEST_F(NtDeletion, MissingNamesAndOverlongPairsAreSkipped)
{
    ResetProgramState("winxp");
    /* folder + "\" + name is 256 characters; its first 255 name another file. */
    std::string folder = Path("f");
    std::string name(256 - folder.size() - 1, 'n');
    std::string cut = (folder + "\\" + name).substr(0, 255);
    WriteTextFile(cut, "another file");

    EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), "missing.dll"));
    EXPECT_EQ(1, DeleteFileOrDefer(folder.c_str(), name.c_str()));

    EXPECT_TRUE(PathExists(cut));
    EXPECT_TRUE(traces->Messages().empty());
    EXPECT_TRUE(PendingDeletions().empty());
}

TEST_F(NtDeletion, ItemsInUseAreScheduledAndGoneAfterRestart)
{
    ResetProgramState("winxp");
    WriteTextFile(Path("Held.dll"), "held");
    WriteTextFile(Path("Full\\user.doc"), "the user's own");
    WriteTextFile(Path("Emptied\\product.dat"), "product");
    std::string moved;
    {
        RunningProgram running(Path("Monitor.exe"));
        HeldFile held(Path("Held.dll"));
        ASSERT_FALSE(DeleteFileA(Path("Monitor.exe").c_str())) << "a running program's file cannot be deleted";

        for (const char *name : {"Monitor.exe", "Held.dll", "Full", "Emptied"})
            EXPECT_EQ(1, DeleteFileOrDefer(dir->path.c_str(), name));

        /* The running program is moved into the temporary folder under a fresh
         * name; the held file cannot be moved, nor are folders: they are
         * scheduled where they are. */
        std::vector<std::string> pending = PendingDeletions();
        ASSERT_EQ(4u, pending.size());
        moved = pending[0];
        EXPECT_EQ((std::vector<std::string>{moved, Path("Held.dll"), Path("Full"), Path("Emptied")}), pending);
        EXPECT_EQ(0, _stricmp(TempDir().c_str(), ParentOf(moved).c_str())) << moved;
        EXPECT_EQ(ReadTextFile("C:\\qt58test\\holder.exe"), ReadTextFile(moved)) << "the moved program";
        EXPECT_FALSE(PathExists(Path("Monitor.exe")));
        EXPECT_EQ((std::vector<std::string>{"Cannot delete " + Path("Monitor.exe") + ": error 5",
                                            FileTrace(true, Path("Monitor.exe")),
                                            "Cannot delete " + Path("Held.dll") + ": error 32",
                                            "Cannot move aside " + Path("Held.dll") + ": error 32",
                                            FileTrace(true, Path("Held.dll"))}),
                  traces->Messages());
    }
    EXPECT_EQ("held", ReadTextFile(Path("Held.dll")));
    EXPECT_EQ("the user's own", ReadTextFile(Path("Full\\user.doc")));
    DeleteFileA(Path("Emptied\\product.dat").c_str());

    PlayRestart();

    EXPECT_FALSE(PathExists(moved));
    EXPECT_FALSE(PathExists(Path("Held.dll")));
    EXPECT_FALSE(PathExists(Path("Emptied")));
    EXPECT_EQ("the user's own", ReadTextFile(Path("Full\\user.doc"))) << "a folder that still holds files stays";
    EXPECT_TRUE(PendingRenames().empty());
}

TEST_F(NtDeletion, FallbackKeepsFoldersInPlaceAndSchedulesNothingMissing)
{
    ResetProgramState("win2k");
    WriteTextFile(Path("Group\\Own shortcut.lnk"), "link");
    char missing[256];
    snprintf(missing, sizeof missing, "%s", Path("gone\\nothing.dll").c_str());

    EXPECT_EQ(1, TempRenameFallback(Path("Group").c_str()));
    EXPECT_EQ(0, TempRenameFallback(Path("nothing").c_str()));
    EXPECT_EQ(0, DeleteOnReboot(missing, NULL));

    EXPECT_TRUE(PathExists(Path("Group\\Own shortcut.lnk")));
    EXPECT_EQ(std::vector<std::string>{Path("Group")}, PendingDeletions());
    EXPECT_EQ(Path("gone\\nothing.dll"), missing) << "the NT family leaves the buffer alone";
}

TEST(SelfRemoval, NtProgramFileIsMovedAsideAndGoneAfterRestart)
{
    ClearPendingRenames();
    RunProgramDecliningRestart("winxp");
    std::vector<std::string> moved;
    for (const std::string &path : PendingDeletions())
        if (_stricmp(ParentOf(path).c_str(), TempDir().c_str()) == 0)
            moved.push_back(path);

    ASSERT_EQ(1u, moved.size()) << "the program's own file, moved into the temporary folder";
    EXPECT_FALSE(PathExists(ProgramPath()));
    EXPECT_EQ(ReadTextFile(SavedProgramPath()), ReadTextFile(moved[0])) << "still present until the restart";

    PlayRestart();

    EXPECT_FALSE(PathExists(moved[0]));
    RestoreProgram();
    ClearPendingRenames();
}
