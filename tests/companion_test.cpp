/* The companion programs started with "-u": stand-ins (tools/recorder.exe) record how they were
 * started into the file named by QT58_RECORD. */
#include "harness.h"

#include <sstream>

namespace {

struct StartRecord {
    std::string module, command, folder;
    unsigned long flags;
    unsigned show;
};

const char RecorderPath[] = "C:\\qt58test\\recorder.exe";

std::vector<StartRecord> ReadRecords(const std::string &path)
{
    std::vector<StartRecord> records;
    std::istringstream lines(ReadTextFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '\t')) fields.push_back(field);
        if (fields.size() == 5)
            records.push_back({fields[0], fields[1], fields[2], std::stoul(fields[3]), (unsigned)std::stoul(fields[4])});
    }
    return records;
}

/* The records once there are at least count of them, or what there is after the wait. */
std::vector<StartRecord> WaitForRecords(const std::string &path, size_t count, DWORD milliseconds = 5000)
{
    for (DWORD waited = 0;; waited += 50) {
        std::vector<StartRecord> records = ReadRecords(path);
        if (records.size() >= count || waited >= milliseconds) return records;
        Sleep(50);
    }
}

/* Deletes a copied program once its process has let go of it. */
void DeleteWhenFree(const std::string &path)
{
    for (int attempt = 0; attempt < 100 && PathExists(path); attempt++) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str())) Sleep(50);
    }
    EXPECT_FALSE(PathExists(path)) << path;
}

bool SamePath(const std::string &a, const std::string &b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

std::string FolderOfTestProgram()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.rfind('\\'));
}

/* A scratch folder with the record file named in QT58_RECORD, for the started stand-ins. */
struct Recording {
    ScratchDir dir;
    std::string file;
    Recording() : file(dir / "started.txt") { SetEnvironmentVariableA("QT58_RECORD", file.c_str()); }
    ~Recording() { SetEnvironmentVariableA("QT58_RECORD", NULL); }
};

}  // namespace

TEST(MonitorProgram, StartedByShortPathInShortInstallFolderWhileTheBarMoves)
{
    Recording recording;
    ResetProgramState("winxp");
    std::string installDir = recording.dir / "Program Files With Blanks\\Quenmar T58 Installation";
    MakeDirs(installDir);
    std::string monitor = installDir + "\\REZevavav_T58.exe";
    ASSERT_TRUE(CopyFileA(RecorderPath, monitor.c_str(), FALSE));
    snprintf(InstallDir, sizeof InstallDir, "%s", installDir.c_str());
    ProgressValue = 25;

    DWORD start = GetTickCount();
    EXPECT_EQ(1, RunCompanionRemoval(monitor.c_str()));
    DWORD elapsed = GetTickCount() - start;

    EXPECT_EQ(35, ProgressValue);
    EXPECT_GE(elapsed, 1900u);
    EXPECT_LT(elapsed, 4000u);
    std::vector<StartRecord> records = WaitForRecords(recording.file, 1);
    ASSERT_EQ(1u, records.size());
    std::string shortMonitor = ShortPathOf(monitor), shortInstallDir = ShortPathOf(installDir);
    ASSERT_NE(monitor, shortMonitor);
    EXPECT_EQ(shortMonitor + " -u", records[0].command);
    EXPECT_TRUE(SamePath(shortInstallDir, records[0].folder)) << records[0].folder;
    EXPECT_TRUE(SamePath(monitor, records[0].module) || SamePath(shortMonitor, records[0].module)) << records[0].module;
    EXPECT_EQ(0u, records[0].flags & STARTF_USESHOWWINDOW);
    EXPECT_STREQ(installDir.c_str(), InstallDir);
    DeleteWhenFree(monitor);
}

TEST(MonitorProgram, MissingProgramOrFolderStartsNothingAndMovesNoProgress)
{
    Recording recording;
    ResetProgramState("winxp");
    std::string installDir = recording.dir / "QuenmarT58";
    MakeDirs(installDir);
    snprintf(InstallDir, sizeof InstallDir, "%s", installDir.c_str());
    ProgressValue = 25;
    EXPECT_EQ(0, RunCompanionRemoval((installDir + "\\REZevavav_T58.exe").c_str()));
    EXPECT_EQ(25, ProgressValue);

    /* the program is there but the installation folder named in InstallDir is not */
    std::string monitor = recording.dir / "REZevavav_T58.exe";
    ASSERT_TRUE(CopyFileA(RecorderPath, monitor.c_str(), FALSE));
    snprintf(InstallDir, sizeof InstallDir, "%s", (recording.dir / "Missing").c_str());
    EXPECT_EQ(0, RunCompanionRemoval(monitor.c_str()));
    EXPECT_EQ(25, ProgressValue);
    EXPECT_TRUE(WaitForRecords(recording.file, 1, 1000).empty());
}

TEST(StatusProgram, StartedHiddenByBareNameInSystemFolderOnNtOnly)
{
    Recording recording;
    std::string status = SystemDir() + "\\QnmBceS.exe";
    ASSERT_TRUE(CopyFileA(RecorderPath, status.c_str(), FALSE));

    for (const char *family : {"winxp", "win2k"}) {
        ResetProgramState(family);
        DeleteFileA(recording.file.c_str());
        DWORD start = GetTickCount();
        EXPECT_EQ(1, RunStatusServiceRemoval()) << family;
        EXPECT_GE(GetTickCount() - start, 450u) << family;
        std::vector<StartRecord> records = WaitForRecords(recording.file, 1);
        ASSERT_EQ(1u, records.size()) << family;
        EXPECT_EQ("QnmBceS.exe -u", records[0].command);
        EXPECT_TRUE(SamePath(SystemDir(), records[0].folder)) << records[0].folder;
        EXPECT_TRUE(SamePath(status, records[0].module)) << records[0].module;
        EXPECT_EQ((unsigned long)STARTF_USESHOWWINDOW, records[0].flags & STARTF_USESHOWWINDOW);
        EXPECT_EQ((unsigned)SW_HIDE, records[0].show);
    }

    /* not on 9x, and not while another printer of the maker needs the service */
    DeleteFileA(recording.file.c_str());
    for (const char *family : {"win98", "winme"}) {
        ResetProgramState(family);
        EXPECT_EQ(0, RunStatusServiceRemoval()) << family;
    }
    ResetProgramState("winxp");
    OtherMakerPrinterPresent = 1;
    EXPECT_EQ(0, RunStatusServiceRemoval());
    EXPECT_TRUE(WaitForRecords(recording.file, 1, 1000).empty());
    DeleteWhenFree(status);
}

TEST(StatusProgram, CopiesBesideTheProgramOrInTheCurrentFolderAreNeverStarted)
{
    Recording recording;
    std::string status = SystemDir() + "\\QnmBceS.exe";
    std::string beside = FolderOfTestProgram() + "\\QnmBceS.exe";
    std::string current = recording.dir / "QnmBceS.exe";
    ASSERT_TRUE(CopyFileA(RecorderPath, beside.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(RecorderPath, current.c_str(), FALSE));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(recording.dir.path.c_str()));
    ResetProgramState("winxp");

    /* no program in the system folder: nothing is started */
    ASSERT_FALSE(PathExists(status));
    EXPECT_EQ(0, RunStatusServiceRemoval());
    EXPECT_TRUE(WaitForRecords(recording.file, 1, 1000).empty());

    /* with the system folder's program present, only that one runs */
    ASSERT_TRUE(CopyFileA(RecorderPath, status.c_str(), FALSE));
    EXPECT_EQ(1, RunStatusServiceRemoval());
    std::vector<StartRecord> records = WaitForRecords(recording.file, 1);
    Sleep(500);
    records = ReadRecords(recording.file);
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(SamePath(status, records[0].module)) << records[0].module;

    SetCurrentDirectoryA(previous);
    DeleteWhenFree(status);
    DeleteWhenFree(beside);
    DeleteWhenFree(current);
}
