/* Printer queues and device registrations on Windows 98 (Wine playing 98,
 * where RegDeleteKeyA takes a key with its subkeys): the queues go from the
 * machine's and the configuration's printer trees at the first step, with
 * the printer-class instances and the root-enumerated printers. */
#include "devices_fixture.h"

static const char ClassPrinter[] = "System\\CurrentControlSet\\Services\\Class\\Printer";
static const char RootPrinter[] = "Enum\\Root\\printer";
static const char NtPrinterClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E979-E325-11CE-BFC1-08002BE10318}";

static const InstanceSpec Instances[] = {
    {ClassPrinter, "0000", "DriverDesc", "quenmar t58", true},
    {ClassPrinter, "0001", "DriverDesc", "Quenmar T58 Series", false},
    {ClassPrinter, "0002", "DriverDesc", "Quenmar T58", true},
    {ClassPrinter, "0003", "DriverDesc", "Acme Laser 5", false},
    {RootPrinter, "0000", "DeviceDesc", "Quenmar T58", true},
    {RootPrinter, "0001", "DeviceDesc", "Quenmar T58 (Copy 2)", false},
    {RootPrinter, "0002", "DeviceDesc", "Acme Laser 5", false},
    {NtPrinterClass, "0050", "DriverDesc", "Quenmar T58", false},
};

class NineXDevices : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProgramState("win98");
        PlantQueues(planter, HKEY_LOCAL_MACHINE, QueuesKey);
        PlantQueues(planter, HKEY_CURRENT_CONFIG, QueuesKey);
        PlantInstances(planter, Instances);
    }
    Win9xKeyDeletion keysWithSubkeys;
    RegistryPlanter planter;
    TraceRecorder traces;

    /* Runs one of the two steps that hold the 9x rows and expects every
     * product entry gone, the last queue deleted recorded, and the traces. */
    void ExpectProductEntriesGone(int (*step)(void))
    {
        EXPECT_EQ(1, step());

        EXPECT_STREQ("Reception MFP", ProductPrinterName);
        ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, true);
        ExpectQueues(HKEY_CURRENT_CONFIG, QueuesKey, true);
        ExpectInstances(Instances, true);
        for (const char *queue : {"Office MFP", "Reception MFP"}) {
            EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKLM\\") + QueuesKey + "\\" + queue));
            EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKCC\\") + QueuesKey + "\\" + queue));
        }
        EXPECT_TRUE(traces.Contains(std::string("Deleted Key \nHKLM\\") + RootPrinter + "\\0000"));
        EXPECT_EQ(7u, traces.Messages().size());
    }
};

TEST_F(NineXDevices, RegistrationsDeleteQueuesEverywhereAndRecordTheLast)
{
    ExpectProductEntriesGone(RemoveDeviceRegistrations);
}

/* The fourth step of the phase runs the same rows again. */
TEST_F(NineXDevices, ClassEntriesRunTheSameRows)
{
    ResetProgramState("winme");
    ExpectProductEntriesGone(RemoveDeviceClassEntries);
}

TEST_F(NineXDevices, PrinterQueuesSearchTheMachineTreeOnly)
{
    EXPECT_EQ(1, RemovePrinterQueues());

    ExpectQueues(HKEY_LOCAL_MACHINE, QueuesKey, true);
    ExpectQueues(HKEY_CURRENT_CONFIG, QueuesKey, false);
    ExpectInstances(Instances, false);
    EXPECT_STREQ("", ProductPrinterName);
    EXPECT_EQ(2u, traces.Messages().size());
}

static int Refusals;
static LONG(WINAPI *RealRegDeleteKeyA)(HKEY, LPCSTR);

/* Refuses to delete the queue "Reception MFP" a few times, as a key in use
 * would; after that it lets the deletion through, so that a search which
 * kept trying would end with the key gone. */
static LONG WINAPI RefuseReceptionQueue(HKEY key, LPCSTR name)
{
    if (name != NULL && _stricmp(name, "Reception MFP") == 0 && Refusals < 5) {
        Refusals++;
        return ERROR_ACCESS_DENIED;
    }
    return RealRegDeleteKeyA(key, name);
}

TEST_F(NineXDevices, QueueThatCannotBeDeletedEndsItsSearch)
{
    Refusals = 0;
    ImportPatch patch("ADVAPI32.dll", "RegDeleteKeyA", (void *)RefuseReceptionQueue);
    RealRegDeleteKeyA = (LONG(WINAPI *)(HKEY, LPCSTR))patch.previous;
    ASSERT_NE(nullptr, patch.previous);

    EXPECT_EQ(1, RemoveDeviceRegistrations());

    EXPECT_EQ(1, Refusals);
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, std::string(QueuesKey) + "\\Reception MFP"));
    EXPECT_FALSE(PlantedKeyExists(HKEY_LOCAL_MACHINE, std::string(QueuesKey) + "\\Office MFP"));
    EXPECT_FALSE(PlantedKeyExists(HKEY_CURRENT_CONFIG, std::string(QueuesKey) + "\\Reception MFP"));
    EXPECT_STREQ("Reception MFP", ProductPrinterName);
    EXPECT_FALSE(traces.Contains(std::string("Deleted Key \nHKLM\\") + QueuesKey + "\\Reception MFP"));
    ExpectInstances(Instances, true);
}
