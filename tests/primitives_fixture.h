/* Shared by the tests of the deletion primitives on both families: pending
 * restart work is cleared around every test, traces are recorded, and the
 * real program can be run while its file is kept for the later tests. */
#ifndef QUENMAR_TEST_PRIMITIVES_FIXTURE_H
#define QUENMAR_TEST_PRIMITIVES_FIXTURE_H

#include <memory>
#include "harness.h"

/* The program's trace of a deleted or scheduled file on one family. */
static std::string FileTrace(bool ntFamily, const std::string &path)
{
    return (ntFamily ? "Deleted File\n" : "Deleted File\r\n") + path;
}

struct PrimitivesTest : ::testing::Test {
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<TraceRecorder> traces;

    void SetUp() override
    {
        ClearPendingRenames();
        dir.reset(new ScratchDir);
        traces.reset(new TraceRecorder);
    }
    void TearDown() override
    {
        traces.reset();
        dir.reset();
        ClearPendingRenames();
        ResetProgramState("");
    }
    std::string Path(const std::string &name) const { return *dir / name; }
};

/* Runs the real program through to its closing box, declines the restart and
 * checks that it ended normally. The program file is saved first and put back
 * by RestoreProgram, so that later tests of the executable can run it. */
static std::string SavedProgramPath()
{
    return "C:\\qt58scratch\\saved-program.exe";
}

static void RunProgramDecliningRestart(const char *version)
{
    MakeDirs("C:\\qt58scratch");
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), SavedProgramPath().c_str(), FALSE));
    ProgramRun run = RunRemovalProgram(version, {{"VORSICHT!", IDOK},
                                                 {"Deinstallation abgeschlossen", IDNO},
                                                 {"Neustart erforderlich", IDOK}});
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(3u, run.boxes.size());
    EXPECT_EQ("Neustart erforderlich", run.boxes[2].caption);
}

static void RestoreProgram()
{
    EXPECT_TRUE(MoveFileExA(SavedProgramPath().c_str(), ProgramPath().c_str(), MOVEFILE_REPLACE_EXISTING));
    RemoveDirectoryA("C:\\qt58scratch");
}

#endif
