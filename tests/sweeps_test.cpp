/* The file phase on Windows 2000 and XP, on a machine planted with every row of the tables and
 * other products' files in the same folders. */
#include "sweeps_fixture.h"

TEST_P(SweepTest, RemovesExactlyWhatTheConditionsSelect)
{
    TraceRecorder traces;
    DWORD start = GetTickCount();
    RemoveProductFiles();
    printf("file phase on %s with %s: %lu ms for %zu planted items\n", family.c_str(),
           FlagName(std::get<1>(GetParam())), GetTickCount() - start, files.items.size());
    EXPECT_EQ("", Report());

    std::string drivers = SystemDir() + "\\spool\\drivers\\w32x86";
    bool xp = family == "winxp";
    EXPECT_EQ(!xp, PathExists(drivers + "\\quenmarquenmar_t5828e0"));
    EXPECT_EQ(!xp, PathExists(Installed("QnmPrnChkXP.exe")));
    EXPECT_EQ(otherMaker, PathExists(drivers + "\\QnmBceS.exe"));
    EXPECT_EQ(otherMaker, PathExists(drivers + "\\3\\QMK_BUSY.WAV"));
    EXPECT_EQ(sibling, PathExists(SystemDir() + "\\PXKRN13.DLL"));
    EXPECT_FALSE(PathExists(Group()));
    EXPECT_FALSE(PathExists(WindowsDir() + "\\inf\\oem58.inf"));
    EXPECT_FALSE(PathExists(WindowsDir() + "\\inf\\oem58.PNF"));
    EXPECT_TRUE(PathExists(WindowsDir() + "\\inf\\othervnd.inf"));
    /* every deleted file is traced with its full path */
    EXPECT_TRUE(traces.Contains("Deleted File\n" + Installed("Sprint\\Sprint.exe")));
    EXPECT_FALSE(traces.Contains("QnmBceS uninstalled Successfully."));
}

/* Cases that need no flag combination: run once per family. */
struct SweepOnceTest : SweepTest {};

TEST_P(SweepOnceTest, FileInUseIsScheduledWithItsFoldersAndGoesAtTheRestart)
{
    std::string held = Installed("Sprint\\Scan\\SprScan.dll");
    std::string scan = Installed("Sprint\\Scan");
    {
        HeldFile holder(held);
        RemoveProductFiles();
    }
    EXPECT_TRUE(PathExists(held));
    EXPECT_TRUE(IsPendingDeletion(held));
    EXPECT_TRUE(IsPendingDeletion(scan));
    EXPECT_TRUE(IsPendingDeletion(Installed("Sprint")));
    EXPECT_TRUE(IsPendingDeletion(InstallDirFor()));
    for (const PlantedItem &item : files.items) {
        if (item.expectGone && PathExists(item.path)) {
            EXPECT_TRUE(IsPendingDeletion(item.path)) << item.path;
        }
    }

    PlayRestart();
    for (const PlantedItem &item : files.items)
        EXPECT_EQ(!item.expectGone, PathExists(item.path)) << item.path;
}

TEST_P(SweepOnceTest, GroupFolderHoldingAUsersFileStaysInPlaceScheduled)
{
    std::string notes = Group() + "\\my notes.txt";
    WriteTextFile(notes, "the user's own");
    RemoveProductFiles();
    EXPECT_TRUE(PathExists(notes));
    EXPECT_FALSE(PathExists(Group() + "\\Quenmar T58.lnk"));
    EXPECT_TRUE(IsPendingDeletion(Group()));
    for (const auto &pending : PendingRenames())
        EXPECT_EQ(std::string::npos, pending.first.find("my notes")) << pending.first;
    RemoveTree(Group());
}

TEST_P(SweepTest, StatusProgramRunsAndIsTracedUnlessAnotherPrinterOfTheMakerNeedsIt)
{
    ScratchDir dir;
    std::string record = dir / "started.txt";
    SetEnvironmentVariableA("QT58_RECORD", record.c_str());
    std::string status = SystemDir() + "\\QnmBceS.exe";
    SetFileAttributesA(status.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileA("C:\\qt58test\\recorder.exe", status.c_str(), FALSE));
    TraceRecorder traces;
    RemoveProductFiles();
    SetEnvironmentVariableA("QT58_RECORD", NULL);
    EXPECT_EQ(!otherMaker, traces.Contains("QnmBceS uninstalled Successfully."));
    for (int waited = 0; waited < 5000 && ReadTextFile(record).empty(); waited += 100) Sleep(100);
    EXPECT_EQ(!otherMaker, ReadTextFile(record).find("QnmBceS.exe -u") != std::string::npos);
    EXPECT_EQ(otherMaker, PathExists(status));
}

TEST_P(SweepOnceTest, OtherFamilysSweepTouchesNothing)
{
    EXPECT_EQ(0, Sweep9xFiles());
    for (const PlantedItem &item : files.items) EXPECT_TRUE(PathExists(item.path)) << item.path;
}

INSTANTIATE_TEST_SUITE_P(NtFamily, SweepTest,
                         ::testing::Combine(::testing::Values("winxp", "win2k"),
                                            ::testing::Values(NoOtherPrinter, OtherMakerPrinter, SiblingModel)),
                         SweepCaseName);
INSTANTIATE_TEST_SUITE_P(NtFamily, SweepOnceTest,
                         ::testing::Combine(::testing::Values("winxp", "win2k"), ::testing::Values(NoOtherPrinter)),
                         SweepCaseName);
