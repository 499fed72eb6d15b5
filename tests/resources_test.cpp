/* The resources of the built removal program: every string-table text byte
 * for byte in Windows-1252, the dialog templates, the images, the version
 * record and the manifest. */
#include <set>
#include "harness.h"
#include "expected_texts.h"
#include "resource.h"

/* The built program, loaded as data for reading its resources. */
struct ProgramResources : ::testing::Test {
    HMODULE program = NULL;
    void SetUp() override
    {
        program = LoadLibraryExA(ProgramPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE((HMODULE)NULL, program) << ProgramPath() << " error " << GetLastError();
    }
    void TearDown() override
    {
        if (program != NULL)
            FreeLibrary(program);
    }
    /* The bytes of one resource, empty when it does not exist. */
    std::string Resource(LPCSTR type, LPCSTR name)
    {
        HRSRC found = FindResourceA(program, name, type);
        if (found == NULL)
            return "";
        HGLOBAL loaded = LoadResource(program, found);
        return std::string((const char *)LockResource(loaded), SizeofResource(program, found));
    }
};

TEST_F(ProgramResources, EveryStringLoadsAsItsWindows1252Bytes)
{
    ASSERT_EQ(1252u, GetACP()) << "the test machine must use the Windows-1252 code page";
    for (const ExpectedText &entry : ExpectedTexts) {
        char text[1024];
        int length = LoadStringA(program, entry.id, text, sizeof(text));
        EXPECT_EQ(strlen(entry.text), (size_t)length) << entry.id;
        EXPECT_EQ(std::string(entry.text), std::string(text, length)) << entry.id;
    }
}

TEST_F(ProgramResources, StringTableHoldsNoOtherTexts)
{
    std::set<unsigned> expected, found;
    for (const ExpectedText &entry : ExpectedTexts)
        expected.insert(entry.id);
    /* Blocks of 16 strings, each a length and that many UTF-16 units. */
    for (unsigned block = 1; block <= 0x1000; block++) {
        std::string data = Resource(RT_STRING, MAKEINTRESOURCEA(block));
        const WORD *unit = (const WORD *)data.data();
        const WORD *end = unit + data.size() / 2;
        for (unsigned i = 0; i < 16 && unit < end; i++) {
            if (*unit != 0)
                found.insert((block - 1) * 16 + i);
            unit += 1 + *unit;
        }
    }
    EXPECT_EQ(expected, found);
}

/* One control of a dialog template. */
struct Control {
    int id, x, y, cx, cy;
    DWORD style;
    bool operator==(const Control &o) const
    {
        return id == o.id && x == o.x && y == o.y && cx == o.cx && cy == o.cy && style == o.style;
    }
};
static void PrintTo(const Control &c, std::ostream *out)
{
    *out << "{" << c.id << " " << c.x << "," << c.y << "," << c.cx << "," << c.cy << " style 0x" << std::hex
         << c.style << std::dec << "}";
}

/* A dialog template (DLGTEMPLATE form) read word by word. */
struct Dialog {
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string title, fontFace;
    int fontSize = 0;
    std::vector<Control> controls;
    std::vector<std::string> classes;
};

/* Reads a zero-terminated UTF-16 text of ASCII letters, or an ordinal. */
static std::string ReadText(const WORD *&at)
{
    std::string text;
    if (*at == 0xFFFF) {
        text = "#" + std::to_string(at[1]);
        at += 2;
        return text;
    }
    while (*at != 0)
        text += (char)*at++;
    at++;
    return text;
}

static Dialog ParseDialog(const std::string &data)
{
    Dialog dialog;
    if (data.size() < sizeof(DLGTEMPLATE))
        return dialog;
    const DLGTEMPLATE *head = (const DLGTEMPLATE *)data.data();
    dialog.style = head->style;
    dialog.x = head->x;
    dialog.y = head->y;
    dialog.cx = head->cx;
    dialog.cy = head->cy;
    const WORD *at = (const WORD *)(head + 1);
    ReadText(at); /* menu */
    ReadText(at); /* class */
    dialog.title = ReadText(at);
    if (dialog.style & DS_SETFONT) {
        dialog.fontSize = *at++;
        dialog.fontFace = ReadText(at);
    }
    for (int i = 0; i < head->cdit; i++) {
        at = (const WORD *)(((ULONG_PTR)at + 3) & ~(ULONG_PTR)3);
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)at;
        dialog.controls.push_back({(short)item->id, item->x, item->y, item->cx, item->cy, item->style});
        at = (const WORD *)(item + 1);
        /* The static class, by its ordinal or by its name in any letter case. */
        std::string type = ReadText(at);
        dialog.classes.push_back(type == "#130" || _stricmp(type.c_str(), "static") == 0 ? "static" : type);
        ReadText(at); /* title */
        WORD extra = *at++;
        at = (const WORD *)((const BYTE *)at + extra);
    }
    return dialog;
}

static const DWORD Child = WS_CHILD | WS_VISIBLE;

TEST_F(ProgramResources, ProgressDialogIsLaidOutInTemplateOrder)
{
    Dialog dialog = ParseDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS)));
    EXPECT_EQ((DWORD)(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT), dialog.style);
    EXPECT_EQ(206, dialog.cx);
    EXPECT_EQ(90, dialog.cy);
    EXPECT_EQ("", dialog.title);
    EXPECT_EQ(8, dialog.fontSize);
    EXPECT_EQ("MS Sans Serif", dialog.fontFace);
    std::vector<Control> expected = {
        {1000, 10, 37, 186, 8, Child | SS_LEFT | WS_GROUP},
        {1001, 10, 57, 125, 8, Child | SS_LEFT | WS_GROUP},
        {1002, 10, 71, 186, 9, Child | SS_SUNKEN},
        {-1, 1, 32, 204, 1, Child | SS_ETCHEDHORZ},
        {1003, 10, 6, 123, 14, Child | SS_WHITEFRAME},
        {-1, 195, 6, 10, 14, Child | SS_WHITERECT},
        {-1, 0, 20, 205, 11, Child | SS_WHITERECT},
        {-1, 0, 0, 205, 6, Child | SS_WHITERECT},
        {-1, 0, 6, 10, 19, Child | SS_WHITERECT},
        {1004, 133, 6, 62, 14, Child | SS_WHITEFRAME},
    };
    EXPECT_EQ(expected, dialog.controls);
    EXPECT_EQ(std::vector<std::string>(expected.size(), "static"), dialog.classes);
}

TEST_F(ProgramResources, WaitBoxHasOneCentredText)
{
    Dialog dialog = ParseDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_WAIT)));
    EXPECT_EQ((DWORD)(WS_POPUP | WS_BORDER | DS_CENTER | DS_SETFONT), dialog.style);
    EXPECT_EQ(141, dialog.cx);
    EXPECT_EQ(34, dialog.cy);
    EXPECT_EQ(8, dialog.fontSize);
    EXPECT_EQ("MS Sans Serif", dialog.fontFace);
    std::vector<Control> expected = {{1007, 15, 13, 110, 8, Child | SS_CENTER | WS_GROUP}};
    EXPECT_EQ(expected, dialog.controls);
    EXPECT_EQ(std::vector<std::string>(1, "static"), dialog.classes);
}

TEST_F(ProgramResources, HeaderPictureIsAnUncompressed8BitBitmap)
{
    std::string data = Resource(RT_BITMAP, MAKEINTRESOURCEA(IDB_HEADER));
    ASSERT_GE(data.size(), sizeof(BITMAPINFOHEADER));
    const BITMAPINFOHEADER *info = (const BITMAPINFOHEADER *)data.data();
    EXPECT_EQ(204, info->biWidth);
    EXPECT_EQ(60, info->biHeight);
    EXPECT_EQ(8, info->biBitCount);
    EXPECT_EQ((DWORD)BI_RGB, info->biCompression);
}

static BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    ((std::vector<ULONG_PTR> *)names)->push_back(IS_INTRESOURCE(name) ? (ULONG_PTR)name : 0);
    return TRUE;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, IconGroupsHoldTwoSixteenColourSizesProgramIconFirst)
{
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesA(program, RT_GROUP_ICON, CollectName, (LONG_PTR)&groups);
    EXPECT_EQ((std::vector<ULONG_PTR>{IDI_PROGRAM, IDI_SMALL}), groups);
    for (ULONG_PTR group : groups) {
        std::string data = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(group));
        ASSERT_GE(data.size(), 6u);
        const WORD *head = (const WORD *)data.data();
        ASSERT_EQ(2, head[2]) << group;
        ASSERT_GE(data.size(), 6 + 2 * sizeof(GroupIconEntry));
        const GroupIconEntry *entries = (const GroupIconEntry *)(head + 3);
        for (int i = 0; i < 2; i++) {
            int size = i == 0 ? 32 : 16;
            EXPECT_EQ(size, entries[i].width) << group;
            EXPECT_EQ(size, entries[i].height) << group;
            EXPECT_EQ(16, entries[i].colours) << group;
            std::string image = Resource(RT_ICON, MAKEINTRESOURCEA(entries[i].id));
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            const BITMAPINFOHEADER *info = (const BITMAPINFOHEADER *)image.data();
            EXPECT_EQ(size, info->biWidth);
            EXPECT_EQ(2 * size, info->biHeight);
            EXPECT_EQ(4, info->biBitCount);
        }
    }
}

typedef DWORD(WINAPI *VersionSizeFunction)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI *VersionInfoFunction)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI *VersionQueryFunction)(LPCVOID, LPCSTR, LPVOID *, PUINT);

TEST_F(ProgramResources, VersionRecordNamesTheProductInGerman)
{
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_NE((HMODULE)NULL, version);
    VersionSizeFunction size = (VersionSizeFunction)(void *)GetProcAddress(version, "GetFileVersionInfoSizeA");
    VersionInfoFunction info = (VersionInfoFunction)(void *)GetProcAddress(version, "GetFileVersionInfoA");
    VersionQueryFunction query = (VersionQueryFunction)(void *)GetProcAddress(version, "VerQueryValueA");
    std::vector<char> record(size(ProgramPath().c_str(), NULL));
    ASSERT_FALSE(record.empty());
    ASSERT_TRUE(info(ProgramPath().c_str(), 0, (DWORD)record.size(), record.data()));

    auto text = [&](const char *name) {
        char *value = NULL;
        UINT length = 0;
        std::string path = std::string("\\StringFileInfo\\040704E4\\") + name;
        return query(record.data(), path.c_str(), (void **)&value, &length) && value ? std::string(value) : "";
    };
    EXPECT_EQ("Quenmar T58", text("ProductName"));
    EXPECT_EQ("Deinstallationsprogramm f\xfc" "r Quenmar T58", text("FileDescription"));
    EXPECT_EQ("1.0.0.0", text("FileVersion"));
    EXPECT_EQ("1.0.0.0", text("ProductVersion"));

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(query(record.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    WORD *translation = NULL;
    ASSERT_TRUE(query(record.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    EXPECT_EQ(0x0407, translation[0]);
    EXPECT_EQ(1252, translation[1]);
    FreeLibrary(version);
}

TEST_F(ProgramResources, ManifestAsksForAdministratorRights)
{
    std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""))
        << manifest;
}
