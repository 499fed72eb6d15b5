/*
 * Profile clean-up: the product's queue leaves "Devices" and "PrinterPorts",
 * the default printer goes, everything else of the profile stays, and the
 * change is broadcast.
 */
#include <map>
#include <memory>
#include "harness.h"

namespace {

typedef std::map<std::string, std::string> Entries;

/* Every entry of one profile section. */
Entries ReadSection(const char *section)
{
    char names[8192], value[512];
    Entries entries;
    DWORD length = GetProfileStringA(section, NULL, "", names, sizeof(names));
    for (const char *name = names; name < names + length && *name; name += strlen(name) + 1) {
        GetProfileStringA(section, name, "", value, sizeof(value));
        entries[name] = value;
    }
    return entries;
}

/* Makes a section hold exactly the given entries. */
void WriteSection(const char *section, const Entries &entries)
{
    for (const auto &entry : ReadSection(section))
        if (!entries.count(entry.first)) WriteProfileStringA(section, entry.first.c_str(), NULL);
    for (const auto &entry : entries) WriteProfileStringA(section, entry.first.c_str(), entry.second.c_str());
}

/* Profile writes seen by the recording wrapper, as "section|name|value or (none)". */
std::vector<std::string> Writes;
void *RealWriteProfileString;

BOOL WINAPI RecordWriteProfileString(LPCSTR section, LPCSTR name, LPCSTR value)
{
    Writes.push_back(std::string(section ? section : "(none)") + "|" + (name ? name : "(none)") + "|" +
                     (value ? value : "(none)"));
    return ((BOOL(WINAPI *)(LPCSTR, LPCSTR, LPCSTR))RealWriteProfileString)(section, name, value);
}

/* Broadcasts seen by the replaced SendNotifyMessageA, and its answer. */
struct Broadcast {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Broadcast> Broadcasts;
BOOL BroadcastAnswer;

BOOL WINAPI RecordBroadcast(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Broadcasts.push_back({window, message, wParam, lParam});
    return BroadcastAnswer;
}

const Entries OtherDevices = {{"Other Laser", "winspool,LPT1:"}, {"Quenmar T58 Copy", "winspool,USB002:"}};
const Entries OtherPorts = {{"Other Laser", "winspool,LPT1:,15,45"}, {"Quenmar T58 Copy", "winspool,USB002:,15,45"}};

/* Plants the product's queue and two other printers, with another printer as
 * the default; puts the three sections back as they were afterwards. */
class Profile : public ::testing::Test {
protected:
    Entries devices, ports, windows;
    std::vector<std::string> missingKeys;
    std::unique_ptr<ImportPatch> writes;

    void SetUp() override
    {
        /* Where the sections live in the registry; those missing now go again afterwards. */
        for (const char *section : {"Devices", "PrinterPorts", "Windows"}) {
            std::string key = std::string("Software\\Microsoft\\Windows NT\\CurrentVersion\\") + section;
            if (!RegKeyExists(HKEY_CURRENT_USER, key)) missingKeys.push_back(key);
        }
        devices = ReadSection("Devices");
        ports = ReadSection("PrinterPorts");
        windows = ReadSection("Windows");
        writes.reset(new ImportPatch("KERNEL32.dll", "WriteProfileStringA", (void *)RecordWriteProfileString));
        RealWriteProfileString = writes->previous;
        Plant();
    }
    /* The product's queue and two other printers, another printer the default. */
    void Plant()
    {
        Entries plantedDevices = OtherDevices, plantedPorts = OtherPorts;
        plantedDevices["Quenmar T58"] = "winspool,USB001:";
        plantedPorts["Quenmar T58"] = "winspool,USB001:,15,45";
        WriteSection("Devices", plantedDevices);
        WriteSection("PrinterPorts", plantedPorts);
        WriteProfileStringA("Windows", "Device", "Other Laser,winspool,LPT1:");
        WriteProfileStringA("Windows", "QT58Neighbour", "stays");
        Writes.clear();
    }
    void TearDown() override
    {
        writes.reset();
        WriteSection("Devices", devices);
        WriteSection("PrinterPorts", ports);
        /* Other values of "Windows" may not be texts: only the two planted ones are put back. */
        WriteProfileStringA("Windows", "QT58Neighbour", NULL);
        WriteProfileStringA("Windows", "Device", windows.count("Device") ? windows["Device"].c_str() : NULL);
        for (const std::string &key : missingKeys) RegRemoveTree(HKEY_CURRENT_USER, key);
    }
    /* The "Windows" section as planted, without its default printer. */
    Entries WindowsWithoutDevice()
    {
        Entries expected = windows;
        expected.erase("Device");
        expected["QT58Neighbour"] = "stays";
        return expected;
    }
};

TEST_F(Profile, ProductQueueAndDefaultPrinterGoOnBothFamilies)
{
    for (const char *family : {"winxp", "win98"}) {
        Plant();
        ResetProgramState(family);
        strcpy(ProductPrinterName, "Quenmar T58");
        ResetDefaultPrinterProfile();
        EXPECT_EQ(OtherDevices, ReadSection("Devices")) << family;
        EXPECT_EQ(OtherPorts, ReadSection("PrinterPorts")) << family;
        EXPECT_EQ(WindowsWithoutDevice(), ReadSection("Windows")) << family;
        EXPECT_EQ(std::vector<std::string>({"Devices|Quenmar T58|(none)", "PrinterPorts|Quenmar T58|(none)",
                                            "Windows|Device|(none)"}),
                  Writes)
            << family;
    }
}

TEST_F(Profile, WithoutAProductQueueOnlyTheDefaultPrinterGoes)
{
    ResetProgramState("winxp");
    Entries plantedDevices = ReadSection("Devices"), plantedPorts = ReadSection("PrinterPorts");
    ResetDefaultPrinterProfile();
    EXPECT_EQ(plantedDevices, ReadSection("Devices"));
    EXPECT_EQ(plantedPorts, ReadSection("PrinterPorts"));
    EXPECT_EQ(WindowsWithoutDevice(), ReadSection("Windows"));
    EXPECT_EQ(std::vector<std::string>({"Windows|Device|(none)"}), Writes);
}

TEST_F(Profile, BroadcastsTheChangeAndReturnsItsResult)
{
    ResetProgramState("winxp");
    strcpy(ProductPrinterName, "Quenmar T58");
    ImportPatch broadcast("USER32.dll", "SendNotifyMessageA", (void *)RecordBroadcast);
    for (BOOL answer : {TRUE, FALSE}) {
        Broadcasts.clear();
        BroadcastAnswer = answer;
        EXPECT_EQ(answer ? 1 : 0, ResetDefaultPrinterProfile() ? 1 : 0);
        ASSERT_EQ(1u, Broadcasts.size());
        EXPECT_EQ(HWND_BROADCAST, Broadcasts[0].window);
        EXPECT_EQ((UINT)WM_WININICHANGE, Broadcasts[0].message);
        EXPECT_EQ(0u, Broadcasts[0].wParam);
        EXPECT_EQ(0, Broadcasts[0].lParam);
    }
}

}  // namespace
