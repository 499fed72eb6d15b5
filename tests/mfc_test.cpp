/*
 * Restoration phase: the shared MFC registrations per family, the 9x
 * hardware-profile default printer, the order of the hand-back and the
 * run-once marker.
 */
#include <memory>
#include <shlwapi.h>
#include "harness.h"

namespace {

const char *const ClassKeys[] = {
    "CLSID\\{0BE35200-8F91-11CE-9DE3-00AA004BB851}",
    "CLSID\\{0BE35201-8F91-11CE-9DE3-00AA004BB851}",
    "CLSID\\{0BE35202-8F91-11CE-9DE3-00AA004BB851}",
};
const char *const B1Key = "Interface\\{2334D2B1-713E-11CF-8AE5-00AA00C00905}";
const char *const B3Key = "Interface\\{2334D2B3-713E-11CF-8AE5-00AA00C00905}";
const char *const RunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char *const HardwarePrinters = "System\\CurrentControlSet\\Control\\Print\\Printers";
const char *const CopyAppSettings = "Software\\ZudAdov";

/* Keeps a copy of whole key trees (or notes their absence) and puts them back. */
class KeyBackup {
    struct Saved {
        HKEY root;
        std::string path;
        bool existed;
    };
    std::vector<Saved> saved;
    std::string Store(size_t i) const { return "Software\\QT58TestBackup\\" + std::to_string(i); }

public:
    void Keep(HKEY root, const std::string &path)
    {
        bool existed = RegKeyExists(root, path);
        if (existed) {
            HKEY store;
            RegCreateKeyExA(HKEY_CURRENT_USER, Store(saved.size()).c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                            &store, NULL);
            EXPECT_EQ(ERROR_SUCCESS, (LONG)SHCopyKeyA(root, path.c_str(), store, 0)) << path;
            RegCloseKey(store);
        }
        saved.push_back({root, path, existed});
    }
    ~KeyBackup()
    {
        for (size_t i = 0; i < saved.size(); i++) {
            SHDeleteKeyA(saved[i].root, saved[i].path.c_str());
            if (!saved[i].existed) continue;
            HKEY store, key;
            RegOpenKeyExA(HKEY_CURRENT_USER, Store(i).c_str(), 0, KEY_ALL_ACCESS, &store);
            RegCreateKeyExA(saved[i].root, saved[i].path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
            SHCopyKeyA(store, NULL, key, 0);
            RegCloseKey(key);
            RegCloseKey(store);
        }
        SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\QT58TestBackup");
    }
};

/* Deletes one value; a missing value is no error. */
void DeleteValue(HKEY root, const std::string &path, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

/* What one family writes: the library name, and the interface values (NULL: not written). */
struct FamilyWrites {
    const char *family, *library, *b1Default, *b1Version, *b3Default, *b3Version;
};
void PrintTo(const FamilyWrites &writes, std::ostream *out)
{
    *out << writes.family;
}
const char *const Win2000Lib = "{831FDD16-0C5C-11D2-A9FC-0000F8754DA1}";
const char *const Win9xLib = "{C1A8AF28-1257-101B-8FB0-0020AF039CA3}";
const FamilyWrites Families[] = {
    {"winxp", "MFC42u.DLL", NULL, NULL, NULL, NULL},
    {"win2k", "MFC42u.DLL", Win2000Lib, "2.0", Win2000Lib, "2.0"},
    {"win98", "MFC42.DLL", NULL, "1.1", Win9xLib, "1.1"},
    {"winme", "MFC42.DLL", NULL, "2.0", Win9xLib, "2.0"},
};

class MfcRepair : public ::testing::TestWithParam<FamilyWrites> {
protected:
    std::unique_ptr<KeyBackup> backup;
    void SetUp() override
    {
        ResetProgramState(GetParam().family);
        backup.reset(new KeyBackup);
        for (const char *key : ClassKeys) backup->Keep(HKEY_CLASSES_ROOT, key);
        backup->Keep(HKEY_CLASSES_ROOT, B1Key);
        backup->Keep(HKEY_CLASSES_ROOT, B3Key);
        for (const char *key : ClassKeys) SHDeleteKeyA(HKEY_CLASSES_ROOT, key);
        SHDeleteKeyA(HKEY_CLASSES_ROOT, B1Key);
        SHDeleteKeyA(HKEY_CLASSES_ROOT, B3Key);
    }
    void TearDown() override { backup.reset(); }

    /* Checks one interface value: written with its text, or left as it was (before: NULL for absent). */
    void ExpectInterfaceValue(const char *key, const char *name, const char *written, const char *before)
    {
        std::string path = std::string(key) + "\\TypeLib";
        const char *expected = written ? written : before;
        if (expected) EXPECT_EQ(expected, RegGet(HKEY_CLASSES_ROOT, path, name)) << path << " " << (name ? name : "");
        else EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, path, name)) << path << " " << (name ? name : "");
    }
    void ExpectClassServers(const char *versionBefore)
    {
        std::string library = SystemDir() + "\\" + GetParam().library;
        for (const char *key : ClassKeys) {
            std::string path = std::string(key) + "\\InprocServer32";
            EXPECT_EQ(library, RegGet(HKEY_CLASSES_ROOT, path, NULL)) << path;
            /* The library path never goes into a version value. */
            if (versionBefore) EXPECT_EQ(versionBefore, RegGet(HKEY_CLASSES_ROOT, path, "Version")) << path;
            else EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, path, "Version")) << path;
        }
    }
};

TEST_P(MfcRepair, MissingKeysAreCreatedWithTheFamilysValues)
{
    const FamilyWrites &w = GetParam();
    TraceRecorder trace;
    EXPECT_EQ(1, RestoreMfcRegistrations());
    ExpectClassServers(NULL);
    bool b1Touched = w.b1Default || w.b1Version, b3Touched = w.b3Default || w.b3Version;
    EXPECT_EQ(b1Touched, RegKeyExists(HKEY_CLASSES_ROOT, std::string(B1Key) + "\\TypeLib"));
    EXPECT_EQ(b3Touched, RegKeyExists(HKEY_CLASSES_ROOT, std::string(B3Key) + "\\TypeLib"));
    if (b1Touched) {
        ExpectInterfaceValue(B1Key, NULL, w.b1Default, NULL);
        ExpectInterfaceValue(B1Key, "Version", w.b1Version, NULL);
    }
    if (b3Touched) {
        ExpectInterfaceValue(B3Key, NULL, w.b3Default, NULL);
        ExpectInterfaceValue(B3Key, "Version", w.b3Version, NULL);
    }
    EXPECT_EQ(std::vector<std::string>({"Restored Defaults paths for MFC DLL"}), trace.Messages());
}

TEST_P(MfcRepair, PresentKeysGetTheFamilysValues)
{
    const FamilyWrites &w = GetParam();
    for (const char *key : ClassKeys) {
        RegPut(HKEY_CLASSES_ROOT, std::string(key) + "\\InprocServer32", NULL, "C:\\Other\\mfcother.dll");
        RegPut(HKEY_CLASSES_ROOT, std::string(key) + "\\InprocServer32", "Version", "9.9");
    }
    for (const char *key : {B1Key, B3Key}) {
        RegPut(HKEY_CLASSES_ROOT, std::string(key) + "\\TypeLib", NULL, "{other}");
        RegPut(HKEY_CLASSES_ROOT, std::string(key) + "\\TypeLib", "Version", "9.9");
    }
    EXPECT_EQ(1, RestoreMfcRegistrations());
    ExpectClassServers("9.9");
    ExpectInterfaceValue(B1Key, NULL, w.b1Default, "{other}");
    ExpectInterfaceValue(B1Key, "Version", w.b1Version, "9.9");
    ExpectInterfaceValue(B3Key, NULL, w.b3Default, "{other}");
    ExpectInterfaceValue(B3Key, "Version", w.b3Version, "9.9");
}

INSTANTIATE_TEST_SUITE_P(Families, MfcRepair, ::testing::ValuesIn(Families),
                         [](const ::testing::TestParamInfo<FamilyWrites> &info) {
                             return std::string(info.param.family);
                         });

/* Names and data of the REG_SZ values written, in order, by the recording wrapper. */
std::vector<std::pair<std::string, std::string>> ValueWrites;
void *RealSetValue;

LONG WINAPI RecordSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size)
{
    ValueWrites.push_back({name ? name : "", type == REG_SZ && data ? (const char *)data : ""});
    return ((LONG(WINAPI *)(HKEY, LPCSTR, DWORD, DWORD, const BYTE *, DWORD))RealSetValue)(key, name, reserved, type,
                                                                                          data, size);
}

/* The marker's type and data size, or -1 when it is absent. */
long MarkerSize(DWORD *type)
{
    HKEY key;
    DWORD size = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnce, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    LONG status = RegQueryValueExA(key, "QuenmarUninstallRan", NULL, type, NULL, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? (long)size : -1;
}

/* Keeps the shared registrations, RunOnce, the copy application's key and the
 * hardware-profile printers key as they were. */
class SharedSettings : public ::testing::Test {
protected:
    std::unique_ptr<KeyBackup> backup;
    std::string createdHardwareKey;

    void SetUp() override
    {
        backup.reset(new KeyBackup);
        for (const char *key : ClassKeys) backup->Keep(HKEY_CLASSES_ROOT, key);
        backup->Keep(HKEY_CLASSES_ROOT, B1Key);
        backup->Keep(HKEY_CLASSES_ROOT, B3Key);
        backup->Keep(HKEY_LOCAL_MACHINE, RunOnce);
        backup->Keep(HKEY_LOCAL_MACHINE, CopyAppSettings);
        RegPut(HKEY_LOCAL_MACHINE, RunOnce, "QT58Neighbour", "stays");
        PlantHardwarePrinters();
    }
    void TearDown() override
    {
        if (!createdHardwareKey.empty()) {
            SHDeleteKeyA(HKEY_CURRENT_CONFIG, createdHardwareKey.c_str());
        } else {
            DeleteValue(HKEY_CURRENT_CONFIG, HardwarePrinters, "Default");
            DeleteValue(HKEY_CURRENT_CONFIG, HardwarePrinters, "QT58Other");
        }
        backup.reset();
    }
    /* Below HKEY_CURRENT_CONFIG only volatile keys can be made; the first missing
     * level is noted so that it goes again afterwards. */
    void PlantHardwarePrinters()
    {
        std::string path = HardwarePrinters;
        for (size_t end = 0; createdHardwareKey.empty() && end != std::string::npos;) {
            end = path.find('\\', end + 1);
            std::string level = path.substr(0, end);
            if (!RegKeyExists(HKEY_CURRENT_CONFIG, level)) createdHardwareKey = level;
        }
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_CONFIG, HardwarePrinters, 0, NULL, REG_OPTION_VOLATILE,
                                                 KEY_ALL_ACCESS, NULL, &key, NULL));
        RegCloseKey(key);
        RegPut(HKEY_CURRENT_CONFIG, HardwarePrinters, "Default", "Quenmar T58,winspool,USB001:");
        RegPut(HKEY_CURRENT_CONFIG, HardwarePrinters, "QT58Other", "stays");
    }
};

TEST_F(SharedSettings, HardwareProfileDefaultPrinterGoesOnThe9xFamilyOnly)
{
    const struct { const char *family; bool nine; } cases[] = {
        {"winxp", false}, {"win2k", false}, {"win98", true}, {"winme", true}};
    for (const auto &c : cases) {
        const char *family = c.family;
        bool nine = c.nine;
        ResetProgramState(family);
        RegPut(HKEY_CURRENT_CONFIG, HardwarePrinters, "Default", "Quenmar T58,winspool,USB001:");
        EXPECT_EQ(1, RestoreSharedSettings()) << family;
        EXPECT_EQ(!nine, RegValueExists(HKEY_CURRENT_CONFIG, HardwarePrinters, "Default")) << family;
        EXPECT_EQ("stays", RegGet(HKEY_CURRENT_CONFIG, HardwarePrinters, "QT58Other")) << family;
    }
}

TEST_F(SharedSettings, MarkerIsWrittenEmptyEachRun)
{
    ResetProgramState("winxp");
    DWORD type = 0;
    DeleteValue(HKEY_LOCAL_MACHINE, RunOnce, "QuenmarUninstallRan");
    EXPECT_EQ(1, WriteUninstallMarker());
    EXPECT_EQ(1, MarkerSize(&type));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ("", RegGet(HKEY_LOCAL_MACHINE, RunOnce, "QuenmarUninstallRan"));

    RegPut(HKEY_LOCAL_MACHINE, RunOnce, "QuenmarUninstallRan", "left over");
    EXPECT_EQ(1, WriteUninstallMarker());
    EXPECT_EQ(1, MarkerSize(&type));
    EXPECT_EQ("stays", RegGet(HKEY_LOCAL_MACHINE, RunOnce, "QT58Neighbour"));
}

TEST_F(SharedSettings, NoRunOnceKeyNoMarker)
{
    ResetProgramState("win98");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, RunOnce);
    EXPECT_EQ(0, WriteUninstallMarker());
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, RunOnce));
    EXPECT_EQ(0, RestoreSharedSettings());
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, RunOnce));
}

TEST_F(SharedSettings, HandBackRunsBetweenTheRepairAndTheMarkerOnlyWithASibling)
{
    std::string settings = std::string(CopyAppSettings) + "\\DevOred5.5";
    ImportPatch record("ADVAPI32.dll", "RegSetValueExA", (void *)RecordSetValue);
    RealSetValue = record.previous;
    for (bool sibling : {false, true}) {
        ResetProgramState("win98");
        SiblingModelPresent = sibling;
        strcpy(SiblingDriverName, "Quenmar T60");
        strcpy(DefaultInstallDir, "C:\\Program Files\\QuenmarT58");
        RegPut(HKEY_LOCAL_MACHINE, settings, "Product", "Quenmar T58");
        ValueWrites.clear();
        EXPECT_EQ(1, RestoreSharedSettings());
        EXPECT_EQ(sibling ? "Quenmar T60" : "Quenmar T58", RegGet(HKEY_LOCAL_MACHINE, settings, "Product"));
        std::vector<std::string> names;
        for (const auto &write : ValueWrites) names.push_back(write.first);
        /* The 9x repair ends with the version of the {2334D2B1-...} interface. */
        std::vector<std::string> expectedEnd = {"Version"};
        if (sibling) expectedEnd.push_back("Product");
        expectedEnd.push_back("QuenmarUninstallRan");
        ASSERT_GE(names.size(), expectedEnd.size());
        EXPECT_EQ(expectedEnd, std::vector<std::string>(names.end() - expectedEnd.size(), names.end()));
    }
}

}  // namespace
