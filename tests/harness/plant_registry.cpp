/* Planted registries for the registry phase: the product's keys and values
 * named by the removal's tables (read from the same table files), the
 * entries Windows created for its printer and scanner, the other families'
 * entries and foreign ones beside them. */
#include "plant_registry.h"
#include "uninstall.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <algorithm>
#include <set>

/* keys, values and access lists ------------------------------------------- */

static std::string Upper(std::string text)
{
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

std::string KeyText(HKEY root, const std::string &path)
{
    const char *name = root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU"
                       : root == HKEY_CLASSES_ROOT ? "HKCR" : root == HKEY_CURRENT_CONFIG ? "HKCC" : "HK?";
    return std::string(name) + "\\" + path;
}

/* One spelling for every key, whichever root and letter case name it:
 * HKCR is the machine's classes and HKCC the current hardware profile. */
static std::string Canonical(HKEY root, const std::string &path)
{
    if (root == HKEY_CLASSES_ROOT)
        return Upper("HKLM\\SOFTWARE\\CLASSES\\" + path);
    if (root == HKEY_CURRENT_CONFIG)
        return Upper("HKLM\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT\\" + path);
    return Upper(KeyText(root, path));
}

/* Opens root\path with the access asked; a path of more than 255 characters
 * one component at a time, as Wine refuses such ANSI paths in one call. */
static LONG OpenKeyPath(HKEY root, const std::string &path, REGSAM access, HKEY *result)
{
    if (path.size() < 256)
        return RegOpenKeyExA(root, path.c_str(), 0, access, result);
    size_t slash = path.rfind('\\');
    HKEY parent;
    LONG status = OpenKeyPath(root, path.substr(0, slash), 0, &parent);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegOpenKeyExA(parent, path.c_str() + slash + 1, 0, access, result);
    RegCloseKey(parent);
    return status;
}

bool PlantedKeyExists(HKEY root, const std::string &path)
{
    HKEY key;
    LONG status = OpenKeyPath(root, path, 0, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
}

bool PlantedValueExists(HKEY root, const std::string &path, const std::string &name)
{
    HKEY key;
    if (OpenKeyPath(root, path, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExA(key, name.c_str(), NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

/* Sets the owner (when given) and a DACL of at most one allowing ACE. */
static LONG SetKeySecurity(HKEY root, const std::string &path, PSID owner, PSID allowed, DWORD mask)
{
    HKEY key;
    LONG status = OpenKeyPath(root, path, WRITE_DAC | (owner ? WRITE_OWNER : 0), &key);
    if (status != ERROR_SUCCESS)
        return status;
    BYTE aclBuffer[256];
    PACL acl = (PACL)aclBuffer;
    SECURITY_DESCRIPTOR descriptor;
    InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
    if (allowed)
        AddAccessAllowedAce(acl, ACL_REVISION, mask, allowed);
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (owner) {
        SetSecurityDescriptorOwner(&descriptor, owner, FALSE);
        what |= OWNER_SECURITY_INFORMATION;
    }
    status = RegSetKeySecurity(key, what, &descriptor);
    RegCloseKey(key);
    return status;
}

/* A well-known identifier of the NT authority (one or two sub-authorities). */
struct WellKnownSid {
    PSID sid = NULL;
    WellKnownSid(DWORD first, DWORD second, BYTE count)
    {
        SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
        AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &sid);
    }
    ~WellKnownSid() { FreeSid(sid); }
};

void ForceDeleteKeyTree(HKEY root, const std::string &path)
{
    if (path.size() < 256 && SHDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS)
        return;
    WellKnownSid administrators(SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2);
    SetKeySecurity(root, path, NULL, administrators.sid, KEY_ALL_ACCESS);
    HKEY key;
    if (OpenKeyPath(root, path, KEY_READ, &key) == ERROR_SUCCESS) {
        std::vector<std::string> names;
        char name[512];
        for (DWORD i = 0;; i++) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            names.push_back(name);
        }
        RegCloseKey(key);
        for (const std::string &child : names)
            ForceDeleteKeyTree(root, path + "\\" + child);
    }
    size_t slash = path.rfind('\\');
    HKEY parent = root;
    if (slash == std::string::npos || OpenKeyPath(root, path.substr(0, slash), DELETE, &parent) == ERROR_SUCCESS) {
        RegDeleteKeyA(parent, path.c_str() + (slash == std::string::npos ? 0 : slash + 1));
        if (parent != root)
            RegCloseKey(parent);
    }
}

RegistryPlanter::~RegistryPlanter()
{
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        if (!it->isValue)
            continue;
        HKEY key;
        if (OpenKeyPath(it->root, it->path, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, it->value.c_str());
            RegCloseKey(key);
        }
    }
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        if (!it->isValue)
            ForceDeleteKeyTree(it->root, it->path);
}

/* Creates the key and its missing parents; the topmost key created is
 * remembered for removal (with everything below it). */
void RegistryPlanter::MakeKey(HKEY root, const std::string &path)
{
    if (PlantedKeyExists(root, path))
        return;
    size_t slash = path.rfind('\\');
    HKEY parent = root;
    if (slash != std::string::npos) {
        MakeKey(root, path.substr(0, slash));
        if (OpenKeyPath(root, path.substr(0, slash), KEY_CREATE_SUB_KEY, &parent) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot open " << KeyText(root, path.substr(0, slash));
            return;
        }
    }
    const char *name = path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    HKEY key;
    LONG status = RegCreateKeyExA(parent, name, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_READ, NULL, &key, NULL);
    if (status == ERROR_CHILD_MUST_BE_VOLATILE)
        status = RegCreateKeyExA(parent, name, 0, NULL, REG_OPTION_VOLATILE, KEY_READ, NULL, &key, NULL);
    if (parent != root)
        RegCloseKey(parent);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << KeyText(root, path) << ": " << status;
        return;
    }
    RegCloseKey(key);
    std::string canonical = Canonical(root, path);
    for (const Made &m : made)
        if (!m.isValue && canonical.compare(0, m.canonical.size() + 1, m.canonical + "\\") == 0)
            return;
    made.push_back({root, path, "", false, canonical});
}

void RegistryPlanter::Key(HKEY root, const std::string &path)
{
    std::string canonical = Canonical(root, path);
    bool ours = false;
    for (const Made &m : made) {
        if (!m.isValue && (canonical == m.canonical || canonical.compare(0, m.canonical.size() + 1, m.canonical + "\\") == 0))
            ours = true;
    }
    if (!ours && PlantedKeyExists(root, path)) {
        ADD_FAILURE() << "planting over an existing key " << KeyText(root, path);
        return;
    }
    MakeKey(root, path);
}

void RegistryPlanter::RecordValue(HKEY root, const std::string &path, const std::string &name)
{
    std::string canonical = Canonical(root, path) + "|" + Upper(name);
    for (const Made &m : made)
        if (m.isValue && m.canonical == canonical)
            return;
    if (PlantedValueExists(root, path, name))
        ADD_FAILURE() << "planting over an existing value " << KeyText(root, path) << " " << name;
    made.push_back({root, path, name, true, canonical});
}

void RegistryPlanter::Value(HKEY root, const std::string &path, const std::string &name, const std::string &data,
                            DWORD type, bool withTerminator)
{
    MakeKey(root, path);
    RecordValue(root, path, name);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, OpenKeyPath(root, path, KEY_SET_VALUE, &key)) << KeyText(root, path);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, type, (const BYTE *)data.data(),
                                            (DWORD)(data.size() + (withTerminator ? 1 : 0))))
        << KeyText(root, path) << " " << name;
    RegCloseKey(key);
}

void RegistryPlanter::DwordValue(HKEY root, const std::string &path, const std::string &name, DWORD data)
{
    Value(root, path, name, std::string((const char *)&data, sizeof data), REG_DWORD, false);
}

void RegistryPlanter::Lock(HKEY root, const std::string &path, KeyLock lock)
{
    WellKnownSid administrators(SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2);
    WellKnownSid system(SECURITY_LOCAL_SYSTEM_RID, 0, 1);
    LONG status = lock == LockDenyAllOwnedByAdmins
                      ? SetKeySecurity(root, path, administrators.sid, NULL, 0)
                      : SetKeySecurity(root, path, system.sid, administrators.sid, DELETE);
    EXPECT_EQ(ERROR_SUCCESS, status) << "locking " << KeyText(root, path);
}

static LONG(WINAPI *WineRegDeleteKeyA)(HKEY, LPCSTR);

/* Deletes the subkeys first, always taking the first one left, then the key. */
static LONG WINAPI DeleteKeyAs9x(HKEY root, LPCSTR path)
{
    if (path == NULL || path[0] == '\0')
        return WineRegDeleteKeyA(root, path);
    HKEY key;
    LONG status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS)
        return status;
    char name[256];
    while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS && DeleteKeyAs9x(key, name) == ERROR_SUCCESS)
        ;
    RegCloseKey(key);
    return WineRegDeleteKeyA(root, path);
}

Win9xKeyDeletion::Win9xKeyDeletion() : patch("ADVAPI32.dll", "RegDeleteKeyA", (void *)DeleteKeyAs9x)
{
    WineRegDeleteKeyA = (LONG(WINAPI *)(HKEY, LPCSTR))patch.previous;
}

static DWORD WINAPI RunWork(void *work)
{
    (*(const std::function<void()> *)work)();
    return 0;
}

bool EndsWithin(DWORD milliseconds, const std::function<void()> &work)
{
    HANDLE thread = CreateThread(NULL, 0, RunWork, (void *)&work, 0, NULL);
    if (thread == NULL)
        return false;
    bool ended = WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
    if (!ended)
        TerminateThread(thread, 1);
    CloseHandle(thread);
    return ended;
}

/* the product's tables ------------------------------------------------------ */

static const char *const RowsC1[] = {
#include "RegC1.inc"
};
static const char *const RowsC4[] = {
#include "RegC4.inc"
};
static const char *const RowsC5[] = {
#include "RegC5.inc"
};
static const char *const RowsC6[] = {
#include "RegC6.inc"
};
static const char *const RowsC7[] = {
#include "RegC7.inc"
};
static const char *const RowsC8[] = {
#include "RegC8.inc"
};
static const char *const RowsC9[] = {
#include "RegC9.inc"
};
static const char *const RowsW1[] = {
#include "RegW1.inc"
};
static const char *const RowsW2[] = {
#include "RegW2.inc"
};
static const char *const RowsW3[] = {
#include "RegW3.inc"
};
static const char *const RowsW4[] = {
#include "RegW4.inc"
};
static const char *const RowsW5[] = {
#include "RegW5.inc"
};
static const char *const RowsW6[] = {
#include "RegW6.inc"
};
static const char *const RowsW7[] = {
#include "RegW7.inc"
};
static const char *const RowsW8[] = {
#include "RegW8.inc"
};
static const char *const RowsW9[] = {
#include "RegW9.inc"
};
static const char *const RowsW9Maker[] = {
#include "RegW9Maker.inc"
};
static const char *const RowsW10[] = {
#include "RegW10.inc"
};
static const char *const RowsW10Maker[] = {
#include "RegW10Maker.inc"
};
static const char *const RowsW12[] = {
#include "RegW12.inc"
};
static const char *const RowsW13[] = {
#include "RegW13.inc"
};
static const char *const RowsW14[] = {
#include "RegW14.inc"
};
static const char *const RowsN1[] = {
#include "RegN1.inc"
};
static const char *const RowsN2[] = {
#include "RegN2.inc"
};
static const char *const RowsN3[] = {
#include "RegN3.inc"
};
static const char *const RowsN4[] = {
#include "RegN4.inc"
};
static const char *const RowsN5[] = {
#include "RegN5.inc"
};
static const char *const RowsN6[] = {
#include "RegN6.inc"
};
static const char *const RowsN7[] = {
#include "RegN7.inc"
};
static const char *const RowsN8[] = {
#include "RegN8.inc"
};
static const char *const RowsN9[] = {
#include "RegN9.inc"
};
static const char *const RowsN10[] = {
#include "RegN10.inc"
};
static const char *const RowsN10Maker[] = {
#include "RegN10Maker.inc"
};
static const char *const RowsN11[] = {
#include "RegN11.inc"
};
static const char *const RowsN12[] = {
#include "RegN12.inc"
};

struct RowList {
    const char *const *rows;
    size_t count;
};
#define LIST(name) RowList{name, sizeof(name) / sizeof(name[0])}

static const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char SharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
static const char ProblemKeys[2][90] = {
    "System\\CurrentControlSet\\Control\\ASD\\Prob\\{9B4E7760-3196-11CF-97EA-00AA0034319D}",
    "System\\CurrentControlSet\\Control\\ASD\\Prob\\{CF2524C0-29AE-11CF-97EA-00AA0034319D}"};
static const char QueuesKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers";
static const char NtPrintersKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
static const char ImageClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
static const char PrinterClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E979-E325-11CE-BFC1-08002BE10318}";
static const char ProgramsOrderKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs";

const char *const PlantedProductQueues[3] = {"Office MFP", "Quenmar T58", "Reception MFP"};

static std::string WindowsFolder()
{
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
}

static std::string SystemFolder()
{
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return folder;
}

/* the planted registry ------------------------------------------------------ */

enum StepCondition { Always, NoOtherMaker, OtherMaker, NoSibling, OnlyMe, Only2000, XpWithoutSibling };

/* Which family runs each step and under which flags (the removal's summary). */
static const struct {
    const char *step;
    bool nt, nineX;
    StepCondition condition;
} StepRules[] = {
    {"C1", true, true, Always},          {"C2", true, true, Always},         {"C3", true, true, Always},
    {"C4", true, true, NoSibling},       {"C5", true, true, Always},         {"C6", true, true, NoSibling},
    {"C7", true, true, NoSibling},       {"C8", true, true, OtherMaker},     {"C9", true, true, NoOtherMaker},
    {"W1", false, true, NoOtherMaker},   {"W2", false, true, Always},        {"W3", false, true, NoSibling},
    {"W4", false, true, Always},         {"W5", false, true, OtherMaker},    {"W6", false, true, NoSibling},
    {"W7", false, true, Always},         {"W8", false, true, Always},        {"W9", false, true, Always},
    {"W9Maker", false, true, NoOtherMaker}, {"W10", false, true, Always},    {"W10Maker", false, true, NoOtherMaker},
    {"W11", false, true, Always},        {"W12", false, true, Always},       {"W13", false, true, Always},
    {"W14", false, true, OnlyMe},        {"W15", false, true, Always},       {"W15Vendor", false, true, NoSibling},
    {"W16", false, true, Always},        {"9x-1", false, true, Always},      {"9x-2", false, true, Always},
    {"9x-3", false, true, Always},       {"N1", true, false, Always},        {"N2", true, false, NoOtherMaker},
    {"N3", true, false, NoOtherMaker},   {"N4", true, false, Always},        {"N5", true, false, Always},
    {"N6", true, false, NoSibling},      {"N7", true, false, NoOtherMaker},  {"N8", true, false, Always},
    {"N9", true, false, Always},         {"N10", true, false, Always},       {"N10Maker", true, false, NoOtherMaker},
    {"N11", true, false, Only2000},      {"N12", true, false, XpWithoutSibling},
    {"NT-A", true, false, Always},       {"NT-C", true, false, Always},      {"NT-D", true, false, Always},
    {"queue", true, true, Always},
};

bool PlantedRegistry::StepRuns(const std::string &step) const
{
    bool nt = family == "win2k" || family == "winxp";
    bool otherMaker = printers != PlantNoOtherPrinter, sibling = printers == PlantSiblingPrinter;
    for (const auto &rule : StepRules) {
        if (step != rule.step)
            continue;
        if (!(nt ? rule.nt : rule.nineX))
            return false;
        switch (rule.condition) {
        case Always: return true;
        case NoOtherMaker: return !otherMaker;
        case OtherMaker: return otherMaker;
        case NoSibling: return !sibling;
        case OnlyMe: return family == "winme";
        case Only2000: return family == "win2k";
        case XpWithoutSibling: return family == "winxp" && !sibling;
        }
    }
    ADD_FAILURE() << "no rule for step " << step;
    return false;
}

/* A key with a value and a subkey of its own, so that deletions take trees. */
void PlantedRegistry::Add(HKEY root, const std::string &key, const std::string &step)
{
    planter.Key(root, key);
    planter.Value(root, key, "PlantedBy", "qt58 registry test");
    planter.Value(root, key + "\\Parameters", "Setting", "1");
    entries.push_back({root, key, "", false, step, Canonical(root, key)});
}

void PlantedRegistry::AddValue(HKEY root, const std::string &key, const std::string &value, const std::string &data,
                               const std::string &step)
{
    planter.Value(root, key, value, data);
    entries.push_back({root, key, value, true, step, Canonical(root, key)});
}

void PlantedRegistry::AddCount(const std::string &value, DWORD count, const std::string &step)
{
    planter.DwordValue(HKEY_LOCAL_MACHINE, SharedDllsKey, value, count);
    entries.push_back({HKEY_LOCAL_MACHINE, SharedDllsKey, value, true, step, Canonical(HKEY_LOCAL_MACHINE, SharedDllsKey)});
}

void PlantedRegistry::AddTableSteps()
{
    const struct {
        const char *step;
        HKEY root;
        RowList rows;
    } keySteps[] = {
        {"C4", HKEY_CLASSES_ROOT, LIST(RowsC4)},   {"C5", HKEY_LOCAL_MACHINE, LIST(RowsC5)},
        {"C6", HKEY_LOCAL_MACHINE, LIST(RowsC6)},  {"C7", HKEY_CURRENT_USER, LIST(RowsC7)},
        {"C8", HKEY_LOCAL_MACHINE, LIST(RowsC8)},  {"C9", HKEY_LOCAL_MACHINE, LIST(RowsC9)},
        {"W2", HKEY_CLASSES_ROOT, LIST(RowsW2)},   {"W3", HKEY_CLASSES_ROOT, LIST(RowsW3)},
        {"W4", HKEY_LOCAL_MACHINE, LIST(RowsW4)},  {"W5", HKEY_LOCAL_MACHINE, LIST(RowsW5)},
        {"W6", HKEY_LOCAL_MACHINE, LIST(RowsW6)},  {"W7", HKEY_CURRENT_USER, LIST(RowsW7)},
        {"W8", HKEY_CURRENT_CONFIG, LIST(RowsW8)}, {"W14", HKEY_CURRENT_USER, LIST(RowsW14)},
        {"N1", HKEY_LOCAL_MACHINE, LIST(RowsN1)},  {"N2", HKEY_LOCAL_MACHINE, LIST(RowsN2)},
        {"N3", HKEY_LOCAL_MACHINE, LIST(RowsN3)},  {"N4", HKEY_LOCAL_MACHINE, LIST(RowsN4)},
        {"N5", HKEY_CURRENT_USER, LIST(RowsN5)},   {"N6", HKEY_CURRENT_USER, LIST(RowsN6)},
        {"N9", HKEY_CURRENT_CONFIG, LIST(RowsN9)}, {"N11", HKEY_LOCAL_MACHINE, LIST(RowsN11)},
        {"N12", HKEY_CLASSES_ROOT, LIST(RowsN12)},
    };
    for (const auto &s : keySteps)
        for (size_t i = 0; i < s.rows.count; i++)
            Add(s.root, s.rows.rows[i], s.step);

    /* The App Paths entry of the OCR program names where the product lives. */
    planter.Value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Sprint.exe", "",
                  "C:\\Program Files\\QuenmarT58\\OCR\\sprint.exe");

    /* On the NT family the device keys shut administrators out, as Windows does. */
    if (family == "win2k" || family == "winxp")
        for (const char *row : RowsN1)
            planter.Lock(HKEY_LOCAL_MACHINE, std::string(row) + "\\Parameters", LockDenyAllOwnedByAdmins);

    const struct {
        const char *step;
        const char *key;
        RowList rows;
    } valueSteps[] = {
        {"C1", RunKey, LIST(RowsC1)},
        {"W1", RunKey, LIST(RowsW1)},
        {"N7", RunKey, LIST(RowsN7)},
        {"W9", "System\\CurrentControlSet\\Control\\InstalledFiles", LIST(RowsW9)},
        {"W9Maker", "System\\CurrentControlSet\\Control\\InstalledFiles", LIST(RowsW9Maker)},
        {"W10", "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs", LIST(RowsW10)},
        {"W10Maker", "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs", LIST(RowsW10Maker)},
        {"W13", ProblemKeys[0], LIST(RowsW13)},
        {"W13", ProblemKeys[1], LIST(RowsW13)},
    };
    for (const auto &s : valueSteps)
        for (size_t i = 0; i < s.rows.count; i++)
            AddValue(HKEY_LOCAL_MACHINE, s.key, s.rows.rows[i], s.rows.rows[i], s.step);

    std::string windows = WindowsFolder(), system = SystemFolder();
    for (const char *row : RowsW12)
        AddValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name",
                 windows + "\\inf\\" + row, row, "W12");
    for (const char *row : RowsN10)
        AddCount(system + "\\" + row, 1, "N10");
    for (const char *row : RowsN10Maker)
        AddCount(system + "\\" + row, 3, "N10Maker");
    AddCount(windows + "\\unvise32.exe", 1, "C2");
    AddValue(HKEY_CURRENT_USER, "Printers", "DeviceOld", "Office MFP,winspool,USB001", "C3");
    AddValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr", "qnmT58.icm",
             "qnmT58.icm", "W11");

    /* The 9x program-group removal takes the Start-menu order key and the two
     * vendors' keys of every profile. */
    Add(HKEY_CURRENT_USER, std::string(ProgramsOrderKey) + "\\Quenmar T58", "W15");
    Add(HKEY_CURRENT_USER, "Software\\ZedUrar", "W15Vendor");
    Add(HKEY_CURRENT_USER, "Software\\ZudAdov", "W15Vendor");

    /* Per-user settings of the first queue of the product's driver. */
    for (const char *row : RowsN8)
        AddValue(HKEY_CURRENT_USER, row, PlantedProductQueues[0], "winspool,USB001", "N8");
}

void PlantedRegistry::AddDevices()
{
    /* Queues: the product's under names of the user's choosing (one driver
     * name in other capitals), and the other printers of the combination. */
    std::vector<std::pair<std::string, std::string>> queues = {
        {PlantedProductQueues[0], "Quenmar T58"},
        {PlantedProductQueues[1], "Quenmar T58"},
        {PlantedProductQueues[2], "QUENMAR t58"},
        {"Acme Laser 5", "Acme Laser 5"},
        {"Lab Printer", "quenmar t70 series"},
    };
    if (printers != PlantNoOtherPrinter)
        queues.push_back({"Quenmar LX200", "Quenmar LX200 Series"});
    if (printers == PlantSiblingPrinter)
        queues.push_back({"Quenmar T62", "Quenmar T62"});
    for (const auto &queue : queues) {
        bool product = _stricmp(queue.second.c_str(), "Quenmar T58") == 0;
        for (const char *tree : {QueuesKey, NtPrintersKey}) {
            std::string key = std::string(tree) + "\\" + queue.first;
            Add(HKEY_LOCAL_MACHINE, key, !product ? "" : tree == QueuesKey ? "queue" : "NT-D");
            planter.Value(HKEY_LOCAL_MACHINE, key, "Printer Driver", queue.second);
            planter.Value(HKEY_LOCAL_MACHINE, key, "Port", "USB001");
        }
        Add(HKEY_CURRENT_CONFIG, std::string(QueuesKey) + "\\" + queue.first, product ? "9x-1" : "");
    }
    productQueues = {PlantedProductQueues[0], PlantedProductQueues[1], PlantedProductQueues[2]};

    /* Device-class instances: matches in any capitals, and the same name
     * followed by more text, another model, another maker or another value. */
    const struct {
        const char *parent, *instance, *valueName, *data, *step;
    } instances[] = {
        {ImageClassKey, "0058", "FriendlyName", "Quenmar T58 MFP Scanner", "NT-A"},
        {ImageClassKey, "0059", "FriendlyName", "quenmar t58 mfp scanner", "NT-A"},
        {ImageClassKey, "0060", "FriendlyName", "Quenmar T58 MFP Scanner #2", ""},
        {ImageClassKey, "0061", "FriendlyName", "Acme Scan 300", ""},
        {ImageClassKey, "0062", "DriverDesc", "Quenmar T58 MFP Scanner", ""},
        {PrinterClassKey, "0058", "DriverDesc", "Quenmar T58", "NT-C"},
        {PrinterClassKey, "0059", "DriverDesc", "QUENMAR T58", "NT-C"},
        {PrinterClassKey, "0060", "DriverDesc", "Quenmar T58 Series", ""},
        {PrinterClassKey, "0061", "DriverDesc", "Quenmar T62", ""},
        {PrinterClassKey, "0062", "DriverDesc", "Acme Laser 5", ""},
        {"System\\CurrentControlSet\\Services\\Class\\Printer", "0000", "DriverDesc", "Quenmar T58", "9x-2"},
        {"System\\CurrentControlSet\\Services\\Class\\Printer", "0001", "DriverDesc", "quenmar t58", "9x-2"},
        {"System\\CurrentControlSet\\Services\\Class\\Printer", "0002", "DriverDesc", "Quenmar T58 Series", ""},
        {"System\\CurrentControlSet\\Services\\Class\\Printer", "0003", "DriverDesc", "Acme Laser 5", ""},
        {"Enum\\Root\\printer", "0000", "DeviceDesc", "Quenmar T58", "9x-3"},
        {"Enum\\Root\\printer", "0001", "DeviceDesc", "Acme Laser 5", ""},
        {"System\\CurrentControlSet\\Services\\Class\\Image", "0000", "DriverDesc", "Quenmar T58 MFP Scanner", "W16"},
        {"System\\CurrentControlSet\\Services\\Class\\Image", "0001", "DriverDesc", "Acme Scan 300", ""},
        {"System\\CurrentControlSet\\Services\\Class\\PrintAMUSB", "0000", "DriverDesc", "Quenmar T58", "W16"},
        {"System\\CurrentControlSet\\Services\\Class\\PrintAMUSB", "0001", "DriverDesc", "Quenmar LX200 Series", ""},
    };
    for (const auto &instance : instances) {
        std::string key = std::string(instance.parent) + "\\" + instance.instance;
        Add(HKEY_LOCAL_MACHINE, key, instance.step);
        planter.Value(HKEY_LOCAL_MACHINE, key, instance.valueName, instance.data);
    }
}

void PlantedRegistry::AddForeign()
{
    const struct {
        HKEY root;
        const char *key;
    } keys[] = {
        {HKEY_CLASSES_ROOT, "Applications\\AcmeView.exe"},
        {HKEY_CLASSES_ROOT, ".acm"},
        {HKEY_CLASSES_ROOT, "CLSID\\{3F1D2A40-7B21-4C55-9E0A-6D1C2B3A4F50}"},
        {HKEY_CLASSES_ROOT, "Interface\\{3F1D2A41-7B21-4C55-9E0A-6D1C2B3A4F50}"},
        {HKEY_CLASSES_ROOT, "TypeLib\\{3F1D2A42-7B21-4C55-9E0A-6D1C2B3A4F50}"},
        {HKEY_CLASSES_ROOT, "Printers\\shellex\\ContextMenuHandlers\\Acme Printer Tools"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Scan Suite"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\AcmeView.exe"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Acme Port Monitor"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\AcmeScan"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1234&Pid_5678"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_ACMESCAN"},
        {HKEY_LOCAL_MACHINE, "Enum\\USB\\VID_1234&PID_5678"},
        {HKEY_LOCAL_MACHINE,
         "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3\\Acme Laser 5"},
        {HKEY_LOCAL_MACHINE,
         "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0\\Drivers\\Acme Laser 5"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-"
                             "0000f803a8c2}\\##?#USB#Vid_1234&Pid_5678#5&9&0&2#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"},
        {HKEY_LOCAL_MACHINE, "Software\\Quenmar\\Quenmar LX200"},
        {HKEY_LOCAL_MACHINE, "Software\\Zudadov\\Other Engine"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\ABBYY\\FineReader Engine"},
        {HKEY_CURRENT_USER, "Software\\AcmeSoft"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.acm"},
        {HKEY_CURRENT_USER,
         "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Acme Tools"},
        {HKEY_CURRENT_CONFIG, "System\\CurrentControlSet\\Control\\Print\\Printers\\Acme Copier"},
    };
    for (const auto &k : keys)
        Add(k.root, k.key, "");

    std::string windows = WindowsFolder(), system = SystemFolder();
    const struct {
        const char *key;
        std::string value;
    } values[] = {
        {RunKey, "Acme Tray"},
        {"System\\CurrentControlSet\\Control\\InstalledFiles", "ACME.DRV"},
        {"System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs", "ACME16.DLL"},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr", "acme.icm"},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name", windows + "\\inf\\OEM7.INF"},
        {ProblemKeys[0], "USB\\VID_1234&PID_5678\\5&9&0&2"},
        {ProblemKeys[1], "USB\\VID_1234&PID_5678\\5&9&0&2"},
    };
    for (const auto &v : values)
        AddValue(HKEY_LOCAL_MACHINE, v.key, v.value, "foreign", "");

    /* Shared-library counts: another maker's file, the product's files under
     * other spellings of the system folder, a file of the same name there. */
    std::vector<std::string> counts = {system + "\\spool\\DRIVERS\\W32X86\\3\\ACME.DLL", system + "\\unvise32.exe",
                                       std::string("%SystemRoot%\\System32\\") + RowsN10[0]};
    char shortSystem[MAX_PATH];
    DWORD length = GetShortPathNameA(system.c_str(), shortSystem, sizeof shortSystem);
    if (length > 0 && length < sizeof shortSystem && _stricmp(shortSystem, system.c_str()) != 0)
        counts.push_back(std::string(shortSystem) + "\\" + RowsN10[0]);
    for (const std::string &name : counts)
        AddCount(name, 2, "");

    /* Per-user settings of other printers and of the product's other queue
     * (not in the profile's Devices and PrinterPorts keys, where the profile
     * reset after the registry phase clears the queue recorded on 9x), and
     * the keys' default values. */
    AddValue(HKEY_CURRENT_USER, "Printers", "Acme Laser 5", "foreign", "");
    for (const char *row : RowsN8) {
        AddValue(HKEY_CURRENT_USER, row, "Acme Laser 5", "winspool,LPT1:", "");
        if (_strnicmp(row, "Printers\\", 9) == 0)
            AddValue(HKEY_CURRENT_USER, row, PlantedProductQueues[2], "winspool,USB002", "");
        AddValue(HKEY_CURRENT_USER, row, "", "foreign default", "");
    }
}

PlantedRegistry::PlantedRegistry(const char *family_, PlantPrinters printers_) : family(family_), printers(printers_)
{
    AddTableSteps();
    AddDevices();
    AddForeign();
}

void PlantedRegistry::SetPrinterFlags() const
{
    OtherMakerPrinterPresent = printers != PlantNoOtherPrinter;
    SiblingModelPresent = printers == PlantSiblingPrinter;
}

std::string PlantedRegistry::ExpectedPrinterName() const
{
    std::vector<std::string> sorted = productQueues;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string &a, const std::string &b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    bool nt = family == "win2k" || family == "winxp";
    return nt ? sorted.front() : sorted.back();
}

std::vector<const PlantedEntry *> PlantedRegistry::RunningEntries() const
{
    std::vector<const PlantedEntry *> running;
    for (const PlantedEntry &p : entries)
        if (!p.step.empty() && StepRuns(p.step))
            running.push_back(&p);
    return running;
}

/* Gone when a running step deletes the entry itself or a key above it. */
bool PlantedRegistry::Covered(const PlantedEntry &entry, const std::vector<const PlantedEntry *> &running) const
{
    for (const PlantedEntry *p : running) {
        const std::string &deleted = p->canonical;
        if (!p->isValue && (entry.canonical == deleted ||
                            entry.canonical.compare(0, deleted.size() + 1, deleted + "\\") == 0))
            return true;
        if (p->isValue && entry.isValue && entry.canonical == deleted && Upper(p->value) == Upper(entry.value))
            return true;
    }
    return false;
}

bool PlantedRegistry::ExpectedGone(const PlantedEntry &entry) const
{
    return Covered(entry, RunningEntries());
}

std::vector<std::string> PlantedRegistry::Differences() const
{
    std::vector<std::string> lines;
    std::vector<const PlantedEntry *> running = RunningEntries();
    for (const PlantedEntry &entry : entries) {
        bool present = entry.isValue ? PlantedValueExists(entry.root, entry.key, entry.value)
                                     : PlantedKeyExists(entry.root, entry.key);
        bool gone = Covered(entry, running);
        if (present != gone)
            continue;
        std::string what = KeyText(entry.root, entry.key) + (entry.isValue ? " value \"" + entry.value + "\"" : "");
        lines.push_back(what + (gone ? " should be gone" : " should stay") +
                        (entry.step.empty() ? " (foreign)" : " (" + entry.step + ")"));
    }
    return lines;
}
