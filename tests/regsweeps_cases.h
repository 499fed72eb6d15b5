/* The registry phase of one Windows family on a planted registry. Each
 * regsweeps_<family>_test.cpp defines SWEEP_FAMILY ("win98", "winme",
 * "win2k", "winxp") and SWEEP_NT (1 for Windows 2000 and XP), then
 * includes this file. */
#include <algorithm>
#include "harness.h"
#include "plant_registry.h"

static const HKEY Hklm = HKEY_LOCAL_MACHINE, Hkcu = HKEY_CURRENT_USER, Hkcr = HKEY_CLASSES_ROOT;
static const std::string Product = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenmar T58";
static const std::string ProgramsOrder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenmar T58";
static const std::string CopyClass = "CLSID\\{BD023447-34AA-43FF-B278-E0A594AC807A}";
static const std::string ScanInterface = "Interface\\{5F6DB496-D63A-4AAA-A9EB-2B503473B0F6}";
static const std::string Version2Driver =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2\\Quenmar T58";

#if SWEEP_NT
/* How many recorded traces equal the message. */
static size_t Count(const TraceRecorder &traces, const std::string &message)
{
    std::vector<std::string> all = traces.Messages();
    return std::count(all.begin(), all.end(), message);
}
#endif

class Sweeps : public ::testing::Test {
protected:
    void SetUp() override { ResetProgramState(SWEEP_FAMILY); }

    /* Runs the whole registry phase with the survey flags of the planted
     * printers and expects exactly the selected entries gone. */
    void RunPhase(const PlantedRegistry &planted)
    {
        planted.SetPrinterFlags();
        DWORD start = GetTickCount();
        EXPECT_EQ(1, RemoveRegistryEntries());
        printf("registry phase on %s: %lu ms\n", SWEEP_FAMILY, GetTickCount() - start);
        for (const std::string &line : planted.Differences())
            ADD_FAILURE() << line;
        EXPECT_EQ(planted.ExpectedPrinterName(), ProductPrinterName);
        ExpectFamilyTraces();
    }

    /* Traces of steps that only the family runs, one of each kind. */
    void ExpectFamilyTraces()
    {
        std::string windows = WindowsDir(), system = SystemDir();
#if SWEEP_NT
        EXPECT_EQ(1u, Count(traces, "Deleted Registry Entry\nHKLM\\" + Version2Driver));
        EXPECT_TRUE(traces.Contains("Deleted Registry Value Office MFP from HKCU\nPrinters\\DevModes2"));
        EXPECT_TRUE(traces.Contains("Deleted Registry Value " + system +
                                    "\\spool\\DRIVERS\\W32X86\\3\\QT58.DLL from HKLM\r\n"
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"));
        EXPECT_TRUE(traces.Contains("Deleted Registry Entry\nHKCC\\System\\CurrentControlSet\\Control\\Print\\"
                                    "Printers\\Quenmar T58") ||
                    traces.Contains("Deleted Registry Entry\nHKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\"
                                    "Current\\System\\CurrentControlSet\\Control\\Print\\Printers\\Quenmar T58"));
        EXPECT_EQ(std::string(SWEEP_FAMILY) == "winxp" && !SiblingModelPresent,
                  traces.Contains("Deleted Registry Entry\nHKCR\\" + ScanInterface));
#else
        EXPECT_TRUE(traces.Contains("Deleted Registry Key\nSoftware\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                    "MenuOrder\\Start Menu\\&Programs\\Quenmar T58"));
        EXPECT_EQ(std::string(SWEEP_FAMILY) == "winme",
                  traces.Contains("Deleted Key " + ProgramsOrder + "\r\n From HKCU"));
        EXPECT_TRUE(traces.Contains("Deleted Value QNMT58.DRV\n From HKLM\\System\\CurrentControlSet\\Control\\"
                                    "InstalledFiles"));
        EXPECT_TRUE(traces.Contains("Deleted Value QNMT58.DRV\n From HKLM\\System\\CurrentControlSet\\Control\\"
                                    "SessionManager\\Known16DLLs"));
        EXPECT_TRUE(traces.Contains("Deleted Value qnmT58.icm\n From HKLM\\Software\\Microsoft\\Windows\\"
                                    "CurrentVersion\\ICM\\mntr"));
        EXPECT_TRUE(traces.Contains("Deleted Value " + windows + "\\inf\\QNMT58.INF\n From HKLM\\Software\\"
                                    "Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name"));
        EXPECT_TRUE(traces.Contains("Deleted Value USB\\VID_0A7E&PID_3A58\\5&1F3A2B7&0&1\r\n From HKLM\\System\\"
                                    "CurrentControlSet\\Control\\ASD\\Prob\\{CF2524C0-29AE-11CF-97EA-00AA0034319D}"));
        EXPECT_TRUE(traces.Contains("Deleted Key \nHKLM\\System\\CurrentControlSet\\Services\\Class\\PrintAMUSB\\0000"));
        EXPECT_TRUE(traces.Contains("Deleted Registry Entry\nHKCC\\System\\CurrentControlSet\\Control\\Print\\"
                                    "Printers\\Quenmar T58") ||
                    traces.Contains("Deleted Key \nHKCC\\System\\CurrentControlSet\\Control\\Print\\Printers\\"
                                    "Quenmar T58"));
#endif
    }

    TraceRecorder traces;
#if !SWEEP_NT
    Win9xKeyDeletion keysWithSubkeys;
#endif
};

TEST_F(Sweeps, WithoutOtherPrintersTheProductAndTheMakersKeysGo)
{
    PlantedRegistry planted(SWEEP_FAMILY, PlantNoOtherPrinter);
    RunPhase(planted);

    EXPECT_FALSE(PlantedKeyExists(Hklm, "Software\\Quenmar"));
    EXPECT_FALSE(PlantedKeyExists(Hklm, "SOFTWARE\\ABBYY"));
    EXPECT_FALSE(PlantedKeyExists(Hkcu, "Software\\ZedUrar"));
    EXPECT_FALSE(PlantedKeyExists(Hkcr, CopyClass));
    EXPECT_TRUE(traces.Contains("Deleted Registry Value Quenmar T58 Button Monitor from \n"
                                "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
    EXPECT_TRUE(traces.Contains("Deleted Registry Entry\nHKLM\\" + Product));
    EXPECT_TRUE(traces.Contains("Deleted Registry Entry\nHKCR\\Applications\\Rudorid55.exe"));
    EXPECT_TRUE(traces.Contains("Deleted Registry Entry\nHKCU\\Software\\ZedUrar"));
    EXPECT_TRUE(traces.Contains("Deleted Registry Entry\nHKLM\\Software\\Quenmar"));
    EXPECT_FALSE(traces.Contains("Deleted Registry Entry\nHKLM\\SOFTWARE\\Quenmar\\CustomInstall"));
}

TEST_F(Sweeps, AnotherPrinterOfTheMakerKeepsItsSharedKeys)
{
    PlantedRegistry planted(SWEEP_FAMILY, PlantOtherMakerPrinter);
    RunPhase(planted);

    EXPECT_TRUE(PlantedKeyExists(Hklm, "Software\\Quenmar"));
    EXPECT_TRUE(PlantedKeyExists(Hklm, "Software\\Quenmar\\Quenmar LX200"));
    for (const char *key : {"SOFTWARE\\Quenmar\\CustomInstall", "SOFTWARE\\Quenmar\\CDFrontEnd",
                            "SOFTWARE\\Quenmar\\PortManager", "SOFTWARE\\Quenmar\\QnmT58Cfg"})
        EXPECT_FALSE(PlantedKeyExists(Hklm, key)) << key;
    EXPECT_TRUE(PlantedValueExists(Hklm, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "QnmTray"));
    EXPECT_EQ(!SWEEP_NT, !PlantedKeyExists(Hklm, "System\\CurrentControlSet\\Control\\Print\\Monitors\\"
                                                 "Quenmar Network Printer Monitor"));
}

TEST_F(Sweeps, ASiblingModelKeepsTheScanningAndCopyingApplications)
{
    PlantedRegistry planted(SWEEP_FAMILY, PlantSiblingPrinter);
    RunPhase(planted);

    EXPECT_TRUE(PlantedKeyExists(Hkcr, CopyClass));
    EXPECT_TRUE(PlantedKeyExists(Hkcr, "Applications\\Rudorid55.exe"));
    EXPECT_TRUE(PlantedKeyExists(Hklm, "SOFTWARE\\ABBYY"));
    EXPECT_TRUE(PlantedKeyExists(Hkcu, "Software\\ZedUrar"));
    EXPECT_FALSE(PlantedKeyExists(Hklm, Product));
    EXPECT_TRUE(PlantedKeyExists(Hkcr, ScanInterface));
}

TEST_F(Sweeps, TheOtherFamilysSweepDoesNothing)
{
    RegistryPlanter planter;
    planter.Key(Hklm, "Enum\\USBPRINT\\QUENMART58B2E7");
    planter.Key(Hklm, "SYSTEM\\CurrentControlSet\\Services\\QnmBceS");

    EXPECT_EQ(0, SWEEP_NT ? Remove9xRegistryEntries() : RemoveNtRegistryEntries());

    EXPECT_TRUE(PlantedKeyExists(Hklm, "Enum\\USBPRINT\\QUENMART58B2E7"));
    EXPECT_TRUE(PlantedKeyExists(Hklm, "SYSTEM\\CurrentControlSet\\Services\\QnmBceS"));
    EXPECT_TRUE(traces.Messages().empty());
}

#if SWEEP_NT
/* The per-user printer settings are values named after the queue that the
 * first step recorded; with none recorded, no value is touched (the empty
 * name would be each key's default value). */
TEST_F(Sweeps, PerUserPrinterSettingsGoOnlyForTheRecordedQueue)
{
    static const char *const keys[] = {"Printers\\DevModePerUser", "Printers\\DevModes", "Printers\\DevModes2",
                                       "Printers\\Settings", "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices",
                                       "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts"};
    RegistryPlanter planter;
    for (const char *key : keys)
        for (const char *name : {"Office MFP", "Quenmar T58", ""})
            planter.Value(Hkcu, key, name, "winspool,USB001");

    RemoveNtRegistryEntries();
    for (const char *key : keys)
        for (const char *name : {"Office MFP", "Quenmar T58", ""})
            EXPECT_TRUE(PlantedValueExists(Hkcu, key, name)) << key << " " << name;

    strcpy(ProductPrinterName, "Office MFP");
    RemoveNtRegistryEntries();
    for (const char *key : keys) {
        EXPECT_FALSE(PlantedValueExists(Hkcu, key, "Office MFP")) << key;
        EXPECT_TRUE(PlantedValueExists(Hkcu, key, "Quenmar T58")) << key;
        EXPECT_TRUE(PlantedValueExists(Hkcu, key, "")) << key;
        EXPECT_TRUE(traces.Contains(std::string("Deleted Registry Value Office MFP from HKCU\n") + key)) << key;
    }
}
#else
static int Refusals;
static LONG(WINAPI *RealRegDeleteKeyA)(HKEY, LPCSTR);

/* Refuses a few times to delete the scanner instance "0007", then lets the
 * deletion through, so that a search which kept trying would end with the
 * key gone. */
static LONG WINAPI RefuseScannerInstance(HKEY key, LPCSTR name)
{
    if (name != NULL && strcmp(name, "0007") == 0 && Refusals < 5) {
        Refusals++;
        return ERROR_ACCESS_DENIED;
    }
    return RealRegDeleteKeyA(key, name);
}

/* A device-class instance that cannot be deleted ends the search of its
 * class; the next classes are still searched. */
TEST_F(Sweeps, ClassInstanceThatCannotBeDeletedEndsItsSearch)
{
    RegistryPlanter planter;
    planter.Value(Hklm, "System\\CurrentControlSet\\Services\\Class\\Image\\0007", "DriverDesc",
                  "Quenmar T58 MFP Scanner");
    planter.Value(Hklm, "System\\CurrentControlSet\\Services\\Class\\Printer\\0000", "DriverDesc", "Quenmar T58");
    Refusals = 0;
    ImportPatch patch("ADVAPI32.dll", "RegDeleteKeyA", (void *)RefuseScannerInstance);
    RealRegDeleteKeyA = (LONG(WINAPI *)(HKEY, LPCSTR))patch.previous;
    ASSERT_NE(nullptr, patch.previous);

    EXPECT_EQ(1, Remove9xRegistryEntries());

    EXPECT_EQ(1, Refusals);
    EXPECT_TRUE(PlantedKeyExists(Hklm, "System\\CurrentControlSet\\Services\\Class\\Image\\0007"));
    EXPECT_FALSE(PlantedKeyExists(Hklm, "System\\CurrentControlSet\\Services\\Class\\Printer\\0000"));
}
#endif
