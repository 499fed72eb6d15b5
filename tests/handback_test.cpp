/*
 * Hand-back of the companion applications to a sibling model (Windows XP):
 * searches of every fixed drive, the paths written, and what is never created.
 */
#include <map>
#include "handback_fixture.h"

namespace {

int DriveListings;
void *RealDriveStrings;

DWORD WINAPI CountDriveStrings(DWORD size, LPSTR buffer)
{
    DriveListings++;
    return ((DWORD(WINAPI *)(DWORD, LPSTR))RealDriveStrings)(size, buffer);
}

void *RealSetCurrentDirectory;

/* Refuses to make the root of drive D: current, as for a drive that is not ready. */
BOOL WINAPI RefuseSecondDriveRoot(LPCSTR path)
{
    if (_stricmp(path, "D:\\") == 0) {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    return ((BOOL(WINAPI *)(LPCSTR))RealSetCurrentDirectory)(path);
}

TEST_F(HandBack, WithoutASiblingNothingIsSearchedOrWritten)
{
    SiblingModelPresent = 0;
    DriveListings = 0;
    ImportPatch drives("KERNEL32.dll", "GetLogicalDriveStringsA", (void *)CountDriveStrings);
    RealDriveStrings = drives.previous;
    EXPECT_EQ(0, Run());
    EXPECT_EQ(0, DriveListings);
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(std::vector<std::string>(4, "C:\\old\\Rudorid55.exe"), DocumentCommands());
    ExpectCopyAppPaths("C:\\old\\Rudorid55.exe");
    EXPECT_EQ("C:\\old\\OCR\\Sprint.exe", RegGet(HKEY_LOCAL_MACHINE, OcrAppPaths, NULL));
    EXPECT_EQ("Quenmar T58", RegGet(HKEY_LOCAL_MACHINE, CopyAppKey, "Product"));
}

TEST_F(HandBack, CopyApplicationFoundOnTheSecondDrive)
{
    MakeDirs(scratch / "deep\\deeper\\deepest");
    std::string program = std::string(SecondDrive) + "\\Scan Apps\\Rudorid55.exe";
    WriteTextFile(program, "copy application");
    std::string shortProgram = ShortPathOf(program);
    ASSERT_EQ(std::string::npos, shortProgram.find(' '));

    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands(shortProgram), DocumentCommands());
    ExpectCopyAppPaths(program);
    /* Drive C: is walked completely, its deepest folder included, before D: is listed. */
    const std::vector<std::string> &listed = Listed();
    size_t firstD = 0, deepest = listed.size();
    while (firstD < listed.size() && toupper((unsigned char)listed[firstD][0]) != 'D') firstD++;
    for (size_t i = 0; i < listed.size() && deepest == listed.size(); i++)
        if (listed[i] == scratch / "deep\\deeper\\deepest") deepest = i;
    ASSERT_LT(firstD, listed.size());
    EXPECT_LT(deepest, firstD);
    EXPECT_EQ('C', toupper((unsigned char)listed[0][0]));
    /* The OCR program is nowhere: its App Paths entry goes with its subkey. */
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OcrAppPaths));
    EXPECT_EQ("Quenmar T60", RegGet(HKEY_LOCAL_MACHINE, CopyAppKey, "Product"));
}

TEST_F(HandBack, FirstHitOnTheFirstDriveWinsAndTheOcrProgramIsFound)
{
    std::string program = scratch / "Copy App\\Rudorid55.exe";
    std::string ocr = scratch / "OCR Prog\\Sprint.exe";
    WriteTextFile(program, "copy application");
    WriteTextFile(ocr, "ocr program");
    WriteTextFile(std::string(SecondDrive) + "\\Rudorid55.exe", "another copy");
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands(ShortPathOf(program)), DocumentCommands());
    ExpectCopyAppPaths(program);
    EXPECT_FALSE(ListedOnDrive('D'));
    EXPECT_EQ(ocr, RegGet(HKEY_LOCAL_MACHINE, OcrAppPaths, NULL));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OcrAppPaths, "Path"));
    EXPECT_EQ("subkey", RegGet(HKEY_LOCAL_MACHINE, std::string(OcrAppPaths) + "\\Extra", "Kind"));
}

TEST_F(HandBack, NotFoundPointsAtTheSiblingsFolder)
{
    /* Under "Program Files" the path has a blank and is quoted in the commands. */
    EXPECT_EQ(1, Run());
    std::string sibling = "C:\\Program Files\\QuenmarT60\\Rudorid55.exe";
    EXPECT_EQ(ExpectedCommands("\"" + sibling + "\""), DocumentCommands());
    ExpectCopyAppPaths(sibling);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OcrAppPaths));
    EXPECT_EQ("Quenmar T60", RegGet(HKEY_LOCAL_MACHINE, CopyAppKey, "Product"));

    /* Without a blank the path is written as it is. */
    PlantKeys();
    strcpy(DefaultInstallDir, "C:\\Apps\\QuenmarT58");
    strcpy(SiblingDriverName, "Quenmar TX90");
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands("C:\\Apps\\QuenmarTX90\\Rudorid55.exe"), DocumentCommands());
    ExpectCopyAppPaths("C:\\Apps\\QuenmarTX90\\Rudorid55.exe");

    /* A driver name too long for a folder name leaves the copy application's entries alone. */
    PlantKeys();
    std::string longName = "Quenmar T" + std::string(100, 'Z');
    strcpy(SiblingDriverName, longName.c_str());
    EXPECT_EQ(1, Run());
    EXPECT_EQ(std::vector<std::string>(4, "C:\\old\\Rudorid55.exe"), DocumentCommands());
    ExpectCopyAppPaths("C:\\old\\Rudorid55.exe");
    EXPECT_EQ(longName, RegGet(HKEY_LOCAL_MACHINE, CopyAppKey, "Product"));
}

TEST_F(HandBack, AbsentKeysAreNotCreated)
{
    RemoveKeys();
    WriteTextFile(scratch / "OCR\\Sprint.exe", "ocr program");
    EXPECT_EQ(1, Run());
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Quenmar.Document"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, CopyAppPaths));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OcrAppPaths));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\ZudAdov"));
}

TEST_F(HandBack, TheProductsOwnCopiesCountAsNotFound)
{
    std::string sibling = scratch / "Program Files\\QuenmarT60\\Rudorid55.exe";
    std::string installed = scratch / "Program Files\\QuenmarT58";
    std::string moved = scratch / "Moved\\QuenmarT58";
    strcpy(DefaultInstallDir, installed.c_str());

    /* A copy left in the installation folder (held in its short form), with the OCR program below it. */
    WriteTextFile(moved + "\\Rudorid55.exe", "product copy");
    WriteTextFile(moved + "\\OCR\\Sprint.exe", "product ocr");
    strcpy(InstallDir, ShortPathOf(moved).c_str());
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands("\"" + sibling + "\""), DocumentCommands());
    ExpectCopyAppPaths(sibling);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OcrAppPaths));
    RemoveTree(moved);

    /* A copy left in the default installation folder. */
    PlantKeys();
    WriteTextFile(installed + "\\Rudorid55.exe", "product copy");
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands("\"" + sibling + "\""), DocumentCommands());

    /* The search goes on to the next drive and finds the sibling's copy there. */
    PlantKeys();
    std::string other = std::string(SecondDrive) + "\\Rudorid55.exe";
    WriteTextFile(other, "sibling copy");
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands(ShortPathOf(other)), DocumentCommands());
    RemoveTree(SecondDrive);

    /* A folder of the program's name is no program. */
    PlantKeys();
    RemoveTree(installed);
    MakeDirs(scratch / "Folder\\Rudorid55.exe");
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands("\"" + sibling + "\""), DocumentCommands());
}

TEST_F(HandBack, ADriveWhoseRootCannotBeEnteredIsSkipped)
{
    WriteTextFile(std::string(SecondDrive) + "\\Rudorid55.exe", "copy application");
    ImportPatch refuse("KERNEL32.dll", "SetCurrentDirectoryA", (void *)RefuseSecondDriveRoot);
    RealSetCurrentDirectory = refuse.previous;
    EXPECT_EQ(1, Run());
    EXPECT_FALSE(ListedOnDrive('D'));
    EXPECT_EQ(ExpectedCommands("\"C:\\Program Files\\QuenmarT60\\Rudorid55.exe\""), DocumentCommands());
    /* Each of the two searches lists every folder of C: once, and nothing in place of D:. */
    std::map<std::string, int> times;
    for (const std::string &entry : Listed()) times[entry]++;
    for (const auto &listing : times) EXPECT_EQ(2, listing.second) << listing.first;
}

}  // namespace
