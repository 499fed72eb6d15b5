/*
 * Shared set-up of the hand-back tests: the companion applications'
 * registrations as the product's installer left them, a sibling model,
 * program copies on drives C: and D:, and a record of the folders listed.
 */
#ifndef QUENMAR_HANDBACK_FIXTURE_H
#define QUENMAR_HANDBACK_FIXTURE_H

#include <direct.h>
#include <memory>
#include "harness.h"

const char *const DocumentKeys[] = {
    "Quenmar.Document\\DefaultIcon",
    "Quenmar.Document\\shell\\open\\command",
    "Quenmar.Document\\shell\\print\\command",
    "Quenmar.Document\\shell\\printto\\command",
};
const char *const CopyAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Rudorid55.exe";
const char *const OcrAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Sprint.exe";
const char *const CopyAppKey = "Software\\ZudAdov\\DevOred5.5";
const char *const SecondDrive = "D:\\qt58hand";
const char *const KeptFoundFolder = "C:\\kept\\found\\folder";

/* The four document values for a program text (the path, quoted or not). */
inline std::vector<std::string> ExpectedCommands(const std::string &program)
{
    return {program + ",1", program + " \"%1\"", program + " /p \"%1\"",
            program + " /pt \"%1 \"  \"%2\"  \"%3\"  \"%4\" "};
}

/* The four document values as they stand. */
inline std::vector<std::string> DocumentCommands()
{
    std::vector<std::string> values;
    for (const char *key : DocumentKeys) values.push_back(RegGet(HKEY_CLASSES_ROOT, key, NULL));
    return values;
}

/* Folders listed by FindFirstFileA while recording is on, in order. */
inline std::vector<std::string> &Listed()
{
    static std::vector<std::string> listed;
    return listed;
}
inline bool &Recording()
{
    static bool recording;
    return recording;
}
inline void *&RealFindFirstFile()
{
    static void *real;
    return real;
}

/* Notes the folder that a listing covers: the pattern's folder, or the current one. */
inline HANDLE WINAPI RecordFindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    if (Recording()) {
        char folder[MAX_PATH] = "";
        const char *slash = strrchr(pattern, '\\');
        if (slash) Listed().push_back(std::string(pattern, slash - pattern));
        else if (GetCurrentDirectoryA(sizeof(folder), folder)) Listed().push_back(folder);
    }
    return ((HANDLE(WINAPI *)(LPCSTR, LPWIN32_FIND_DATAA))RealFindFirstFile())(pattern, data);
}

/* Whether any listing happened on the drive of the given letter. */
inline bool ListedOnDrive(char letter)
{
    for (const std::string &entry : Listed())
        if (toupper((unsigned char)entry[0]) == letter) return true;
    return false;
}

class HandBack : public ::testing::Test {
protected:
    ScratchDir scratch;
    char startDir[MAX_PATH] = "";
    std::unique_ptr<ImportPatch> listings;

    void SetUp() override
    {
        ASSERT_EQ((UINT)DRIVE_FIXED, GetDriveTypeA("D:\\")) << "the test machine lacks the fixed drive D:";
        ASSERT_FALSE(PathExists(SecondDrive));
        GetCurrentDirectoryA(sizeof(startDir), startDir);
        ResetProgramState(Family());
        SiblingModelPresent = 1;
        strcpy(SiblingDriverName, "Quenmar T60");
        strcpy(DefaultInstallDir, "C:\\Program Files\\QuenmarT58");
        strcpy(InstallDir, DefaultInstallDir);
        strcpy(FoundFolder, KeptFoundFolder);
        PlantKeys();
        Listed().clear();
        Recording() = false;
        listings.reset(new ImportPatch("KERNEL32.dll", "FindFirstFileA", (void *)RecordFindFirstFile));
        RealFindFirstFile() = listings->previous;
        /* The run starts in a folder of its own, on the first drive. */
        SetCurrentDirectoryA(scratch.path.c_str());
    }
    void TearDown() override
    {
        listings.reset();
        SetCurrentDirectoryA(startDir);
        RemoveKeys();
        RemoveTree(SecondDrive);
    }
    virtual const char *Family() { return "winxp"; }

    /* The registrations as the product's installer left them. */
    void PlantKeys()
    {
        for (const char *key : DocumentKeys) RegPut(HKEY_CLASSES_ROOT, key, NULL, "C:\\old\\Rudorid55.exe");
        RegPut(HKEY_LOCAL_MACHINE, CopyAppPaths, NULL, "C:\\old\\Rudorid55.exe");
        RegPut(HKEY_LOCAL_MACHINE, CopyAppPaths, "Path", "C:\\old");
        RegPut(HKEY_LOCAL_MACHINE, OcrAppPaths, NULL, "C:\\old\\OCR\\Sprint.exe");
        RegPut(HKEY_LOCAL_MACHINE, std::string(OcrAppPaths) + "\\Extra", "Kind", "subkey");
        RegPut(HKEY_LOCAL_MACHINE, CopyAppKey, "Product", "Quenmar T58");
    }
    void RemoveKeys()
    {
        RegRemoveTree(HKEY_CLASSES_ROOT, "Quenmar.Document");
        RegRemoveTree(HKEY_LOCAL_MACHINE, CopyAppPaths);
        RegRemoveTree(HKEY_LOCAL_MACHINE, OcrAppPaths);
        RegRemoveTree(HKEY_LOCAL_MACHINE, "Software\\ZudAdov");
    }

    /* Runs the hand-back with the listings recorded; checks that the current
     * drive and folder, FoundFolder and InstallDir are kept. */
    int Run()
    {
        char before[MAX_PATH] = "", after[MAX_PATH] = "";
        std::string installDir = InstallDir;
        GetCurrentDirectoryA(sizeof(before), before);
        int drive = _getdrive();
        Listed().clear();
        Recording() = true;
        int result = HandBackCompanionApps();
        Recording() = false;
        GetCurrentDirectoryA(sizeof(after), after);
        EXPECT_STREQ(before, after);
        EXPECT_EQ(drive, _getdrive());
        EXPECT_STREQ(KeptFoundFolder, FoundFolder);
        EXPECT_EQ(installDir, InstallDir);
        return result;
    }

    /* The App Paths entry of the copy application: its (default) and "Path". */
    void ExpectCopyAppPaths(const std::string &path)
    {
        EXPECT_EQ(path, RegGet(HKEY_LOCAL_MACHINE, CopyAppPaths, NULL));
        EXPECT_EQ(path.substr(0, path.rfind('\\')), RegGet(HKEY_LOCAL_MACHINE, CopyAppPaths, "Path"));
    }
};

#endif
