/* Printer queues and device registrations on Windows XP: the scanner and
 * printer device-class instances and the queues of the product's driver go,
 * found by the values inside them; every other printer's entries stay. */
#include "devices_fixture.h"

static const char NtPrintersKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
static const char ImageClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
static const char PrinterClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E979-E325-11CE-BFC1-08002BE10318}";

static const InstanceSpec ScannerInstances[] = {
    {ImageClass, "0050", "DriverDesc", "Quenmar T58 MFP Scanner", false},
    {ImageClass, "0051", "FriendlyName", "Quenmar T58 MFP Scanner USB", false},
    {ImageClass, "0052", "FriendlyName", "Acme Scan 300", false},
    {ImageClass, "0053", "FriendlyName", "QUENMAR T58 MFP SCANNER", true},
    {ImageClass, "0054", "FriendlyName", "Quenmar T58 MFP Scanner", true},
};

static const InstanceSpec PrinterInstances[] = {
    {PrinterClass, "0050", "DriverDesc", "quenmar t58", true},
    {PrinterClass, "0051", "DriverDesc", "Quenmar T58 Series", false},
    {PrinterClass, "0052", "DriverDesc", "Quenmar T62", false},
    {PrinterClass, "0053", "DriverDesc", "Quenmar T58", true},
    {PrinterClass, "0054", "DriverDesc", "Acme Laser 5", false},
};

class NtDevices : public ::testing::Test {
protected:
    void SetUp() override { ResetProgramState("winxp"); }
    void Plant(bool withProductQueues = true)
    {
        PlantQueues(planter, HKEY_LOCAL_MACHINE, QueuesKey, withProductQueues);
        PlantQueues(planter, HKEY_LOCAL_MACHINE, NtPrintersKey, withProductQueues);
        PlantInstances(planter, ScannerInstances);
        PlantInstances(planter, PrinterInstances);
    }
    RegistryPlanter planter;
    TraceRecorder traces;
};

TEST_F(NtDevices, RegistrationsRecordTheFirstQueueAndTakeOnlyScannerInstances)
{
    Plant();

    EXPECT_EQ(1, RemoveDeviceRegistrations());

    EXPECT_STREQ("Office MFP", ProductPrinterName);
    ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, false);
    ExpectQueues(HKEY_LOCAL_MACHINE, NtPrintersKey, false);
    ExpectInstances(ScannerInstances, true);
    ExpectInstances(PrinterInstances, false);
    EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKLM\\") + ImageClass + "\\0053"));
    EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKLM\\") + ImageClass + "\\0054"));
    EXPECT_EQ(2u, traces.Messages().size());
}

TEST_F(NtDevices, ClassEntriesTakeScannerAndPrinterInstances)
{
    Plant();

    EXPECT_EQ(1, RemoveDeviceClassEntries());

    ExpectInstances(ScannerInstances, true);
    ExpectInstances(PrinterInstances, true);
    ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, false);
    EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKLM\\") + PrinterClass + "\\0050"));
    EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKLM\\") + PrinterClass + "\\0053"));
    EXPECT_EQ(4u, traces.Messages().size());
    EXPECT_STREQ("", ProductPrinterName);
}

TEST_F(NtDevices, PrinterQueuesGoFromBothTrees)
{
    Plant();

    EXPECT_EQ(1, RemovePrinterQueues());

    ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, true);
    ExpectQueues(HKEY_LOCAL_MACHINE, NtPrintersKey, true);
    ExpectInstances(PrinterInstances, false);
    std::vector<std::string> expected = {
        std::string("Deleted Key \nHKLM\\") + NtPrintersKey + "\\Office MFP",
        std::string("Deleted Key \nHKLM\\") + NtPrintersKey + "\\Reception MFP",
        std::string("Deleted Key \nHKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Office MFP"),
        std::string("Deleted Key \nHKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Reception MFP"),
    };
    EXPECT_EQ(expected, traces.Messages());
}

TEST_F(NtDevices, WithoutAProductQueueNothingIsRecordedOrDeleted)
{
    Plant(false);

    RemoveDeviceRegistrations();
    RemovePrinterQueues();

    EXPECT_STREQ("", ProductPrinterName);
    ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, true);
    ExpectQueues(HKEY_LOCAL_MACHINE, NtPrintersKey, true);
    EXPECT_EQ(2u, traces.Messages().size()) << "only the scanner instances go";
}

TEST_F(NtDevices, WithoutAFamilyNothingIsTouched)
{
    Plant();
    ResetProgramState("");

    EXPECT_EQ(0, RemoveDeviceRegistrations());
    EXPECT_EQ(0, RemoveDeviceClassEntries());
    EXPECT_EQ(1, RemovePrinterQueues());

    EXPECT_STREQ("", ProductPrinterName);
    ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, false);
    ExpectInstances(ScannerInstances, false);
    ExpectInstances(PrinterInstances, false);
    EXPECT_TRUE(traces.Messages().empty());
}

/* A matched instance holding a subkey that administrators cannot open is
 * not deleted; the search of that class ends instead of finding it again. */
TEST_F(NtDevices, MatchThatCannotBeDeletedEndsItsSearch)
{
    Plant();
    std::string locked = std::string(PrinterClass) + "\\0050\\Locked";
    planter.Key(HKEY_LOCAL_MACHINE, locked);
    planter.Lock(HKEY_LOCAL_MACHINE, locked, LockDeleteOnlyOwnedBySystem);

    ASSERT_TRUE(EndsWithin(20000, [] { RemoveDeviceClassEntries(); }));

    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, std::string(PrinterClass) + "\\0050"));
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, std::string(PrinterClass) + "\\0053"));
    EXPECT_FALSE(traces.Contains(std::string("Deleted Key \nHKLM\\") + PrinterClass + "\\0050"));
    ExpectInstances(ScannerInstances, true);
}
