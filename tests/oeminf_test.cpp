/* OEM INF cleanup: copies of the product's printer INF and their twins go from the Windows INF
 * folder, everything else stays. The Windows folder is a scratch folder "WINDOWS.0" here
 * (GetWindowsDirectoryA of the test executable is replaced), so the real INF folder is untouched. */
#include "harness.h"

#include <set>

namespace {

char FakeWindowsFolder[MAX_PATH];

UINT WINAPI FakeGetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    UINT length = (UINT)strlen(FakeWindowsFolder);
    if (size <= length) return length + 1;
    memcpy(buffer, FakeWindowsFolder, length + 1);
    return length;
}

/* An INF of the given class; strings are the lines of its "Strings" section, extra more
   sections before it. A signature of "" makes an old-style INF without a Version section. */
std::string Inf(const std::string &className, const std::string &strings, const std::string &extra = "",
                const std::string &signature = "$Windows NT$")
{
    std::string text;
    if (!signature.empty())
        text += "[Version]\r\nSignature=\"" + signature + "\"\r\nClass=" + className +
                "\r\nProvider=%Maker%\r\n\r\n";
    text += "[Manufacturer]\r\n%Maker%=Models\r\n\r\n[Models]\r\n%Model%=Model.Install\r\n\r\n" + extra;
    text += "[Strings]\r\n" + strings;
    return text;
}

const std::string ProductStrings = "Maker=\"Quenmar\"\r\nModel=\"Quenmar T58\"\r\n";

/* A scratch Windows folder "...\WINDOWS.0" with an INF folder, made the Windows folder of the
   program's code for the test's life. */
struct InfFolderTest : ::testing::Test {
    ScratchDir dir;
    std::string windows, inf;
    ImportPatch *patch = NULL;

    void SetUp() override
    {
        windows = dir / "WINDOWS.0";
        inf = windows + "\\inf";
        MakeDirs(inf);
        snprintf(FakeWindowsFolder, sizeof FakeWindowsFolder, "%s", windows.c_str());
        patch = new ImportPatch("KERNEL32.dll", "GetWindowsDirectoryA", (void *)FakeGetWindowsDirectoryA);
        ResetProgramState("winxp");
    }
    void TearDown() override { delete patch; }

    void Put(const std::string &name, const std::string &text, bool readOnly = false)
    {
        WriteTextFile(inf + "\\" + name, text);
        if (readOnly) SetFileAttributesA((inf + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    bool Has(const std::string &name) { return PathExists(inf + "\\" + name); }
};

}  // namespace

TEST_F(InfFolderTest, OnlyTheProductsPrinterInfCopiesAndTheirTwinsGo)
{
    Put("oem1.inf", Inf("Printer", ProductStrings), true);
    Put("oem1.PNF", "precompiled", true);
    Put("oem2.inf", Inf("Printer", "Maker=\"Quenmar\"\r\nModel=\"Quenmar T58 PCL\"\r\n"));
    Put("oem3.inf", Inf("Printer", ProductStrings), true);
    Put("oem3.PNF", "precompiled");
    Put("QMTR.INF", Inf("Printer", ProductStrings));
    Put("QMTR.PNF", "precompiled");
    Put("oem4.inf", Inf("Image", "Maker=\"Quenmar\"\r\nModel=\"Quenmar T58 MFP Scanner\"\r\n"));
    Put("oem4.PNF", "precompiled");
    Put("oem5.inf", Inf("Printer", "Maker=\"quenmar\"\r\nModel=\"quenmar t58\"\r\n"));
    Put("oem6.inf", Inf("Printer", "Maker=\"Quenmar\"\r\nModel=\"Other Model\"\r\n",
                        "[Notes]\r\nText=\"Quenmar T58\"\r\n\r\n"));
    Put("oem7.inf", Inf("Printer", ProductStrings, "", ""));
    Put("oem8.inf", Inf("Printer", "Maker=\"Zephyr\"\r\nModel=\"Zephyr LX 200\"\r\n"));
    Put("oem8.PNF", "precompiled");
    Put("oem9.inf", Inf("Printer", "Maker=\"Quenmar\"\r\nModel=\"Quenmar T580\"\r\n"));
    Put("oem9.PNF", "precompiled");

    EXPECT_NE(0, CleanOemInfFiles());

    for (const char *gone : {"oem1.inf", "oem1.PNF", "oem2.inf", "oem3.inf", "oem3.PNF"})
        EXPECT_FALSE(Has(gone)) << gone;
    for (const char *kept : {"QMTR.INF", "QMTR.PNF", "oem4.inf", "oem4.PNF", "oem5.inf", "oem6.inf", "oem7.inf",
                             "oem8.inf", "oem8.PNF", "oem9.inf", "oem9.PNF"})
        EXPECT_TRUE(Has(kept)) << kept;
}

TEST_F(InfFolderTest, DriverInfIsNeverTakenInAnyLetterCase)
{
    for (const char *name : {"QMTR.INF", "qmtr.inf", "Qmtr.Inf"}) {
        Put(name, Inf("Printer", ProductStrings));
        EXPECT_EQ(0, IsProductPrinterInf(name, inf.c_str())) << name;
        CleanOemInfFiles();
        EXPECT_TRUE(Has(name)) << name;
        DeleteFileA((inf + "\\" + name).c_str());
    }
}

TEST_F(InfFolderTest, ModelNameMustEndWhereAWordEnds)
{
    struct Case {
        const char *model;
        int expected;
    } cases[] = {
        {"Quenmar T58", 1},       {"Quenmar T58 PCL", 1},   {"Quenmar T58,Series", 1}, {"Quenmar T58-2", 1},
        {"Quenmar T580", 0},      {"Quenmar T58a", 0},      {"Quenmar T58X Series", 0}, {"QUENMAR T58", 0},
    };
    for (const Case &c : cases) {
        Put("oem20.inf", Inf("Printer", std::string("Model=\"") + c.model + "\"\r\n"));
        EXPECT_EQ(c.expected, IsProductPrinterInf("oem20.inf", inf.c_str())) << c.model;
    }
    /* a later occurrence that ends properly counts */
    Put("oem21.inf", Inf("Printer", "Model=\"Quenmar T580 and Quenmar T58\"\r\n"));
    EXPECT_EQ(1, IsProductPrinterInf("oem21.inf", inf.c_str()));
}

TEST_F(InfFolderTest, SeriesInfNamingTheSiblingStaysWhileTheSiblingIsInstalled)
{
    Put("oem30.inf", Inf("Printer", "Model1=\"Quenmar T58\"\r\nModel2=\"Quenmar T60\"\r\n"));
    Put("oem30.PNF", "precompiled");
    Put("oem31.inf", Inf("Printer", ProductStrings));
    Put("oem31.PNF", "precompiled");
    SiblingModelPresent = OtherMakerPrinterPresent = 1;
    strcpy(SiblingDriverName, "Quenmar T60");

    CleanOemInfFiles();
    EXPECT_TRUE(Has("oem30.inf"));
    EXPECT_TRUE(Has("oem30.PNF"));
    EXPECT_FALSE(Has("oem31.inf"));
    EXPECT_FALSE(Has("oem31.PNF"));

    /* without a sibling the series INF is the product's */
    ResetProgramState("winxp");
    CleanOemInfFiles();
    EXPECT_FALSE(Has("oem30.inf"));
    EXPECT_FALSE(Has("oem30.PNF"));
}

TEST_F(InfFolderTest, ListingHoldsTheWholeFolder)
{
    std::set<std::string> expected;
    for (int i = 0; i < 60; i++) {
        std::string name = "oem" + std::to_string(100 + i) + "_with_a_rather_long_file_name.inf";
        Put(name, Inf("Printer", "Model=\"Other\"\r\n"));
        expected.insert(name);
    }
    Put("old.inf", Inf("Printer", ProductStrings, "", ""));
    Put("notes.txt", "not an INF");

    char *list = NULL;
    EXPECT_NE(0, ListInfFiles(&list, inf.c_str()));
    ASSERT_NE(nullptr, list);
    std::set<std::string> listed;
    for (const char *name = list; *name; name += strlen(name) + 1) listed.insert(name);
    FreeBlock(list);
    EXPECT_EQ(expected, listed);

    /* the default folder is the Windows INF folder */
    list = NULL;
    ListInfFiles(&list, NULL);
    ASSERT_NE(nullptr, list);
    listed.clear();
    for (const char *name = list; *name; name += strlen(name) + 1) listed.insert(name);
    FreeBlock(list);
    EXPECT_EQ(expected, listed);
}

TEST_F(InfFolderTest, EmptyOrMissingFolderListsNothing)
{
    Put("notes.txt", "not an INF");
    for (const std::string &folder : {inf, dir / "missing"}) {
        char *list = NULL;
        EXPECT_EQ(0, ListInfFiles(&list, folder.c_str())) << folder;
        ASSERT_NE(nullptr, list) << folder;
        EXPECT_EQ(0, list[0]) << folder;
        EXPECT_EQ(0, list[1]) << folder;
        FreeBlock(list);
    }
    RemoveTree(inf);
    EXPECT_NE(0, CleanOemInfFiles());
}

TEST_F(InfFolderTest, TwinNameIsTakenFromTheFileNameOnly)
{
    Put("oem7.PNF", "precompiled", true);
    Put("oem7.x.PNF", "precompiled");
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\oem7.inf", inf.c_str());
    EXPECT_NE(0, DeletePnfTwin(path));
    EXPECT_EQ(inf + "\\oem7.PNF", path);
    EXPECT_FALSE(Has("oem7.PNF"));
    EXPECT_TRUE(Has("oem7.x.PNF"));

    snprintf(path, sizeof path, "%s\\oem7.x.inf", inf.c_str());
    DeletePnfTwin(path);
    EXPECT_FALSE(Has("oem7.x.PNF"));

    /* no extension: no twin, the path stays */
    snprintf(path, sizeof path, "%s\\README", inf.c_str());
    EXPECT_NE(0, DeletePnfTwin(path));
    EXPECT_EQ(inf + "\\README", path);
}

/* heap failures ---------------------------------------------------------- */

namespace {

DWORD RaiseCode;
int AllocCalls;

LPVOID WINAPI RaisingHeapAlloc(HANDLE, DWORD, SIZE_T)
{
    AllocCalls++;
    RaiseException(RaiseCode, 0, 0, NULL);
    return NULL;
}

LPVOID WINAPI FailingHeapAlloc(HANDLE, DWORD, SIZE_T)
{
    AllocCalls++;
    return NULL;
}

BOOL WINAPI FailingHeapFree(HANDLE, DWORD, LPVOID)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

std::string SystemText(DWORD code)
{
    char *text = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, NULL,
                   code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    std::string result = text ? text : "";
    LocalFree(text);
    return result;
}

}  // namespace

TEST(HeapBlocks, ZeroFilledAndReleased)
{
    ResetProgramState("winxp");
    unsigned char *block = (unsigned char *)AllocBlock(4096);
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 4096; i++) ASSERT_EQ(0, block[i]);
    FreeBlock(block);
}

TEST(HeapBlocks, RaisedExceptionsAreShownAndTheAllocationFails)
{
    ResetProgramState("winxp");
    struct Case {
        DWORD raised, shown;
    } cases[] = {{STATUS_ACCESS_VIOLATION, ERROR_NOACCESS}, {STATUS_NO_MEMORY, ERROR_OUTOFMEMORY},
                 {0xE0000001, ERROR_OUTOFMEMORY}};
    for (const Case &c : cases) {
        BoxAnswerer answerer({{"Error", IDOK}});
        RaiseCode = c.raised;
        AllocCalls = 0;
        {
            ImportPatch patch("KERNEL32.dll", "HeapAlloc", (void *)RaisingHeapAlloc);
            EXPECT_EQ(nullptr, AllocBlock(16));
        }
        EXPECT_EQ(1, AllocCalls);
        std::vector<BoxRecord> boxes = answerer.Boxes();
        ASSERT_EQ(1u, boxes.size()) << std::hex << c.raised;
        EXPECT_EQ(SystemText(c.shown), boxes[0].text) << std::hex << c.raised;
    }
    /* the thread's exception handling is intact afterwards: a block is had as before */
    void *block = AllocBlock(16);
    EXPECT_NE(nullptr, block);
    FreeBlock(block);
}

TEST(HeapBlocks, PlainFailuresAreQuietAndFailedReleasesAreShown)
{
    ResetProgramState("winxp");
    BoxAnswerer answerer({{"Error", IDOK}});
    {
        ImportPatch patch("KERNEL32.dll", "HeapAlloc", (void *)FailingHeapAlloc);
        EXPECT_EQ(nullptr, AllocBlock(16));
    }
    void *block = AllocBlock(16);
    {
        ImportPatch patch("KERNEL32.dll", "HeapFree", (void *)FailingHeapFree);
        FreeBlock(block);
    }
    FreeBlock(block);
    std::vector<BoxRecord> boxes = answerer.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(SystemText(ERROR_INVALID_PARAMETER), boxes[0].text);
}

TEST_F(InfFolderTest, NoLineContextMeansNotTheProducts)
{
    Put("oem40.inf", Inf("Printer", ProductStrings));
    AllocCalls = 0;
    {
        ImportPatch patch("KERNEL32.dll", "HeapAlloc", (void *)FailingHeapAlloc);
        EXPECT_EQ(0, IsProductPrinterInf("oem40.inf", inf.c_str()));
    }
    EXPECT_EQ(1, AllocCalls);
    EXPECT_EQ(1, IsProductPrinterInf("oem40.inf", inf.c_str()));
}
