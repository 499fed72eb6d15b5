/*
 * Turns a test machine into one on which the product is installed as its
 * installer would have left it, holds some of its files in use during a
 * removal, and records the machine's registry for the acceptance runner
 * (scripts/acceptance.py).
 *
 *   plant install <family> <alone|othermaker|sibling> <idle|inuse> <C|D> <manifest>
 *   plant hold <manifest> <ready file> <release file>
 *   plant registry <folder>
 *
 * install plants the product for a family (win98, winme, win2k, winxp) beside
 * another maker's printer, a printer of the same maker or a sibling model, in
 * the default folder on C: or in a folder of the second fixed drive D:, and
 * writes the manifest: one line per planted item with what the whole removal
 * run and the restart after it must do to it. Lines are tab-separated:
 *   category  kind  path  value  data  note
 * category: remove (the product's, gone after the restart), spare (the
 * product's, kept unchanged under these conditions), left (the product's,
 * which the removal's rules leave in these conditions), foreign (another
 * product's or the system's, unchanged), write (a value the run writes, with
 * its data), runonce (a value the run writes that the restart consumes).
 * kind: file, folder, key or value. Registry paths start with HKLM, HKCU or
 * HKU\<profile>; the classes root and the current hardware profile are given
 * by their place below HKLM. data: what a written value must hold; a
 * folder's short (8.3) path. note: the table or step that removes the item,
 * and "held" or "running" for the files kept in use by "plant hold".
 * Lines starting with '#' carry the scenario ("# family winxp").
 *
 * hold keeps the manifest's "held" files open without sharing and runs a
 * program from each "running" file, writes the ready file, and lets go when
 * the release file appears.
 *
 * registry writes the registry into a folder: the hives as Wine saves them and
 * the volatile current hardware profile listed key by key (see ListRegistry).
 */
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "plant_files.h"
#include "plant_registry.h"

namespace {

/* manifest --------------------------------------------------------------- */

struct ManifestLine {
    std::string category, kind, path, value, data, note;
};

/* Escapes the characters that would break a tab-separated line. */
std::string Escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            char code[4];
            snprintf(code, sizeof code, "%%%02X", (unsigned char)c);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

/* Undoes Escape. */
std::string Unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += (char)strtol(text.substr(i + 1, 2).c_str(), NULL, 16);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

/* The text in capitals, for comparisons that ignore case. */
std::string Upper(std::string text)
{
    for (char &c : text) c = (char)toupper((unsigned char)c);
    return text;
}

/* Whether two texts are equal ignoring case. */
bool SameText(const std::string &a, const std::string &b)
{
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

/* A registry path as the manifest and the registry listing name it. */
std::string RegistryPath(HKEY root, const std::string &path)
{
    if (root == HKEY_CLASSES_ROOT) return "HKLM\\SOFTWARE\\Classes\\" + path;
    if (root == HKEY_CURRENT_CONFIG) return "HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\" + path;
    if (root == HKEY_CURRENT_USER) return "HKCU\\" + path;
    if (root == HKEY_USERS) return "HKU\\" + path;
    return "HKLM\\" + path;
}

/* The manifest being built, one entry per item (a later line for the same
   item replaces the earlier one). */
struct Manifest {
    std::vector<std::string> header;
    std::vector<ManifestLine> lines;
    std::map<std::string, size_t> index;

    void Add(const ManifestLine &line)
    {
        std::string key = Upper(line.kind + "|" + line.path + "|" + line.value);
        auto found = index.find(key);
        if (found != index.end()) {
            lines[found->second] = line;
            return;
        }
        index[key] = lines.size();
        lines.push_back(line);
    }

    ManifestLine *Find(const std::string &kind, const std::string &path, const std::string &value = "")
    {
        auto found = index.find(Upper(kind + "|" + path + "|" + value));
        return found == index.end() ? NULL : &lines[found->second];
    }

    bool Write(const std::string &path) const
    {
        std::ofstream out(path, std::ios::binary);
        for (const std::string &line : header) out << "# " << line << "\n";
        for (const ManifestLine &l : lines)
            out << l.category << '\t' << l.kind << '\t' << Escape(l.path) << '\t' << Escape(l.value) << '\t'
                << Escape(l.data) << '\t' << l.note << "\n";
        return out.good();
    }
};

/* The lines of a manifest written by Manifest::Write. */
std::vector<ManifestLine> ReadManifest(const std::string &path)
{
    std::vector<ManifestLine> lines;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream split(text);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(Unescape(field));
        fields.resize(6);
        lines.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]});
    }
    return lines;
}

/* planting helpers -------------------------------------------------------- */

/* Writes a string value, creating the key; false when it could not. */
bool SetString(HKEY root, const std::string &key, const std::string &name, const std::string &data)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(handle, name.c_str(), 0, REG_SZ, (const BYTE *)data.c_str(), (DWORD)data.size() + 1);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

/* Plants a value and lists it. */
bool PlantValue(Manifest &manifest, const char *category, HKEY root, const std::string &key, const std::string &name,
                const std::string &data, const std::string &note)
{
    manifest.Add({category, "value", RegistryPath(root, key), name, "", note});
    return SetString(root, key, name, data);
}

/* Lists a value the removal run writes, with the data it must hold. */
void ExpectWrite(Manifest &manifest, const char *category, HKEY root, const std::string &key, const std::string &name,
                 const std::string &data, const std::string &note)
{
    manifest.Add({category, "value", RegistryPath(root, key), name, data, note});
}

/* Writes a file (and its folders) and lists it. */
void PlantFile(Manifest &manifest, const char *category, const std::string &path, const std::string &text,
               const std::string &note)
{
    WriteTextFile(path, text);
    manifest.Add({category, "file", path, "", "", note});
}

/* Replaces a planted file by a copy of one of the tools of C:\qt58test. */
bool CopyTool(const std::string &tool, const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return CopyFileA(("C:\\qt58test\\" + tool).c_str(), path.c_str(), FALSE) != 0;
}

/* The folder that holds a path, "" for none. */
std::string ParentOf(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

/* The long form of an existing path, else the path as given. */
std::string LongPathOf(const std::string &path)
{
    char buffer[MAX_PATH];
    DWORD n = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
    return n && n < sizeof buffer ? buffer : path;
}

/* the scenario ------------------------------------------------------------ */

struct Scenario {
    std::string family, printers, load, drive;
    bool nt, nineX, otherMaker, sibling, inUse;
    std::string windows, system, installDir, defaultInstallDir, programFiles;
};

const char DocumentKey[] = "Quenmar.Document";
const char AppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char CopyAppSettings[] = "Software\\ZudAdov\\DevOred5.5";
const char ProfileKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\";
const char SiblingFolder[] = "QuenmarT60";
const char SiblingDriver[] = "Quenmar T62";

/* The manifest entries of the planted files, as the file phase leaves them. */
void ListPlantedFiles(Manifest &manifest, const PlantedFiles &files)
{
    for (const PlantedItem &item : files.items) {
        const char *category = item.expectGone ? "remove" : item.product ? "spare" : "foreign";
        manifest.Add({category, item.folder ? "folder" : "file", item.path, "", "", item.product ? "file phase" : ""});
    }
}

/* The manifest entries of the planted registry, as the registry phase leaves it. */
void ListPlantedRegistry(Manifest &manifest, const PlantedRegistry &registry)
{
    for (const PlantedEntry &entry : registry.entries) {
        bool gone = registry.ExpectedGone(entry);
        const char *category = gone ? "remove" : entry.step.empty() ? "foreign" : "spare";
        manifest.Add({category, entry.isValue ? "value" : "key", RegistryPath(entry.root, entry.key), entry.value, "",
                      entry.step});
    }
}

/* Per-user printer settings: the profile reset clears the entries of the
   queue the registry phase recorded in "Devices" and "PrinterPorts"; the
   settings of the product's other queues stay, as the removal's rules say. */
void ListPrinterProfile(Manifest &manifest, const PlantedRegistry &registry)
{
    std::string recorded = registry.ExpectedPrinterName();
    for (ManifestLine &line : manifest.lines) {
        if (line.kind != "value" || line.category == "remove") continue;
        bool queue = false;
        for (const char *name : PlantedProductQueues) queue = queue || SameText(line.value, name);
        if (!queue || Upper(line.path).rfind("HKCU\\", 0) != 0) continue;
        bool profile = SameText(line.path, RegistryPath(HKEY_CURRENT_USER, std::string(ProfileKey) + "Devices")) ||
                       SameText(line.path, RegistryPath(HKEY_CURRENT_USER, std::string(ProfileKey) + "PrinterPorts"));
        if (profile && SameText(line.value, recorded)) {
            line.category = "remove";
            line.note = "profile reset";
        } else {
            line.category = "left";
            line.note = "settings of a queue the run does not record";
        }
    }
}

/* The default printer: the product's queue, in the profile on every family
   and in the hardware profile on 9x; the run clears both. */
bool PlantDefaultPrinter(Manifest &manifest, const Scenario &s)
{
    std::string queue = PlantedProductQueues[0];
    bool ok = PlantValue(manifest, "remove", HKEY_CURRENT_USER, std::string(ProfileKey) + "Windows", "Device",
                         queue + ",winspool,USB001", "profile reset");
    if (s.nineX)
        ok = PlantValue(manifest, "remove", HKEY_CURRENT_CONFIG, "System\\CurrentControlSet\\Control\\Print\\Printers",
                        "Default", queue, "hardware profile default") && ok;
    return ok;
}

/* The copy application's document type and its own settings, as the installer
   registers them. Without a sibling model they go with their parents' keys;
   with one, the run points them at the sibling's copy of the application. */
bool PlantCopyApplication(Manifest &manifest, const Scenario &s)
{
    std::string app = s.installDir + "\\Rudorid55.exe";
    const struct {
        const char *key;
        std::string data;
    } document[] = {
        {"DefaultIcon", app + ",1"},
        {"shell\\open\\command", app + " \"%1\""},
        {"shell\\print\\command", app + " /p \"%1\""},
        {"shell\\printto\\command", app + " /pt \"%1 \"  \"%2\"  \"%3\"  \"%4\" "},
    };
    bool ok = SetString(HKEY_CLASSES_ROOT, ".jac", "", DocumentKey);
    manifest.Add({s.sibling ? "spare" : "remove", "key", RegistryPath(HKEY_CLASSES_ROOT, DocumentKey), "", "",
                  "C4 document type"});
    for (const auto &d : document)
        ok = SetString(HKEY_CLASSES_ROOT, std::string(DocumentKey) + "\\" + d.key, "", d.data) && ok;
    ok = SetString(HKEY_LOCAL_MACHINE, CopyAppSettings, "Product", ProductDisplayName) && ok;
    std::string appPaths = std::string(AppPaths) + "Rudorid55.exe";
    ok = SetString(HKEY_LOCAL_MACHINE, appPaths, "", app) && SetString(HKEY_LOCAL_MACHINE, appPaths, "Path", s.installDir) && ok;
    if (!s.sibling) return ok;

    /* the hand-back finds the sibling's copy; the commands name its short form */
    std::string sibling = s.programFiles + "\\" + SiblingFolder + "\\Rudorid55.exe";
    std::string shortSibling = ShortPathOf(sibling);
    const struct {
        const char *key;
        std::string data;
    } handed[] = {
        {"DefaultIcon", shortSibling + ",1"},
        {"shell\\open\\command", shortSibling + " \"%1\""},
        {"shell\\print\\command", shortSibling + " /p \"%1\""},
        {"shell\\printto\\command", shortSibling + " /pt \"%1 \"  \"%2\"  \"%3\"  \"%4\" "},
    };
    for (const auto &h : handed)
        ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, std::string(DocumentKey) + "\\" + h.key, "", h.data, "hand-back");
    std::string longSibling = LongPathOf(sibling);
    ExpectWrite(manifest, "write", HKEY_LOCAL_MACHINE, appPaths, "", longSibling, "hand-back");
    ExpectWrite(manifest, "write", HKEY_LOCAL_MACHINE, appPaths, "Path", ParentOf(longSibling), "hand-back");
    ExpectWrite(manifest, "write", HKEY_LOCAL_MACHINE, CopyAppSettings, "Product", SiblingDriver, "hand-back");
    /* the OCR program is gone with the product's files: its entry goes too */
    ManifestLine *sprint = manifest.Find("key", RegistryPath(HKEY_LOCAL_MACHINE, std::string(AppPaths) + "Sprint.exe"));
    if (sprint) {
        sprint->category = "remove";
        sprint->note = "hand-back";
    }
    return !shortSibling.empty() && ok;
}

/* What the restoration phase writes: the shared runtime's registrations and
   the run-once marker. */
void ListRestoration(Manifest &manifest, const Scenario &s)
{
    std::string library = s.system + (s.nt ? "\\MFC42u.DLL" : "\\MFC42.DLL");
    const char *const classes[] = {"{0BE35200-8F91-11CE-9DE3-00AA004BB851}", "{0BE35201-8F91-11CE-9DE3-00AA004BB851}",
                                   "{0BE35202-8F91-11CE-9DE3-00AA004BB851}"};
    for (const char *clsid : classes) {
        std::string key = std::string("CLSID\\") + clsid;
        manifest.Add({"write", "key", RegistryPath(HKEY_CLASSES_ROOT, key), "", "", "runtime registration"});
        ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, key + "\\InprocServer32", "", library, "runtime registration");
    }
    const std::string b1 = "Interface\\{2334D2B1-713E-11CF-8AE5-00AA00C00905}";
    const std::string b3 = "Interface\\{2334D2B3-713E-11CF-8AE5-00AA00C00905}";
    if (s.family == "win2k" || s.nineX) {
        manifest.Add({"write", "key", RegistryPath(HKEY_CLASSES_ROOT, b1), "", "", "runtime registration"});
        manifest.Add({"write", "key", RegistryPath(HKEY_CLASSES_ROOT, b3), "", "", "runtime registration"});
    }
    const char *version = s.family == "win98" ? "1.1" : "2.0";
    if (s.family == "win2k") {
        for (const std::string &key : {b1, b3}) {
            ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, key + "\\TypeLib", "", "{831FDD16-0C5C-11D2-A9FC-0000F8754DA1}",
                        "runtime registration");
            ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, key + "\\TypeLib", "Version", version, "runtime registration");
        }
    } else if (s.nineX) {
        ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, b3 + "\\TypeLib", "", "{C1A8AF28-1257-101B-8FB0-0020AF039CA3}",
                    "runtime registration");
        ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, b3 + "\\TypeLib", "Version", version, "runtime registration");
        ExpectWrite(manifest, "write", HKEY_CLASSES_ROOT, b1 + "\\TypeLib", "Version", version, "runtime registration");
    }
    ExpectWrite(manifest, "runonce", HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                "QuenmarUninstallRan", "", "run-once marker");
}

/* 9x keeps a Start-menu group per profile below the Windows folder and the
   profiles' keys below HKEY_USERS; the run removes the group in every
   profile, and the vendors' keys unless a sibling model still needs them. */
bool PlantNineXProfiles(Manifest &manifest, const Scenario &s)
{
    const std::string profiles = s.windows + "\\Profiles";
    bool createdProfiles = !PathExists(profiles);
    for (const char *user : {"Anna", "Ben"}) {
        std::string group = profiles + "\\" + user + "\\Start Menu\\Programs\\Quenmar T58";
        PlantFile(manifest, "remove", group + "\\Quenmar T58.lnk", "shortcut\r\n", "9x program group");
        PlantFile(manifest, "remove", group + "\\Scan & Copy Control Program.lnk", "shortcut\r\n", "9x program group");
        manifest.Add({"remove", "folder", group, "", "", "9x program group"});
        PlantFile(manifest, "foreign", profiles + "\\" + user + "\\Start Menu\\Programs\\Other Vendor\\Other.lnk",
                  "shortcut\r\n", "");
    }
    if (createdProfiles) manifest.Add({"foreign", "folder", profiles, "", "", ""});

    const std::string profile = ".DEFAULT\\";
    bool ok = true;
    const std::string order = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\";
    ok = PlantValue(manifest, "remove", HKEY_USERS, profile + order + "Quenmar T58", "Order", "planted", "W15") && ok;
    manifest.Add({"remove", "key", RegistryPath(HKEY_USERS, profile + order + "Quenmar T58"), "", "", "W15"});
    for (const char *vendor : {"Software\\ZedUrar", "Software\\ZudAdov"}) {
        const char *category = s.sibling ? "spare" : "remove";
        ok = PlantValue(manifest, category, HKEY_USERS, profile + vendor, "Planted", "planted", "W15") && ok;
        manifest.Add({category, "key", RegistryPath(HKEY_USERS, profile + vendor), "", "", "W15"});
    }
    ok = PlantValue(manifest, "foreign", HKEY_USERS, profile + order + "Acme Tools", "Order", "planted", "") && ok;
    manifest.Add({"foreign", "key", RegistryPath(HKEY_USERS, profile + order + "Acme Tools"), "", "", ""});
    return ok;
}

/* The product's files that a user or Windows keeps in use while the removal
   runs: programs running from the installation and system folders, and
   files opened without sharing (help, OCR data, the language monitor and the
   printer driver). Their folders cannot go until the restart; on 9x a folder
   of four characters or fewer that still holds something is left. */
void ListFilesInUse(Manifest &manifest, const Scenario &s)
{
    const std::string drivers = s.system + "\\spool\\drivers\\w32x86\\3";
    const struct {
        std::string path;
        const char *how;
    } used[] = {
        {s.installDir + "\\QnmScanCopy.exe", "running"},
        {s.system + "\\QT58Stat.exe", "running"},
        {s.installDir + "\\Help\\QnmScanCopy.chm", "held"},
        {s.installDir + "\\Sprint\\Scan\\SprScan.dll", "held"},
        {s.system + "\\QT58Lmon.dll", "held"},
        {s.nt ? drivers + "\\QT58DRV.DLL" : s.system + "\\QT58.DRV", "held"},
    };
    for (const auto &u : used) {
        ManifestLine *line = manifest.Find("file", u.path);
        if (!line) {
            ADD_FAILURE() << "no planted file to keep in use: " << u.path;
            continue;
        }
        line->note = u.how;
        if (!s.nineX) continue;
        /* 9x: the removal leaves a short-named folder that is not empty, and
           with it every folder above it */
        for (std::string folder = ParentOf(u.path); folder.size() > s.installDir.size(); folder = ParentOf(folder)) {
            std::string name = folder.substr(s.installDir.size() + 1);
            if (name.size() > 4) continue;
            for (std::string up = folder; up.size() >= s.installDir.size(); up = ParentOf(up)) {
                ManifestLine *held = manifest.Find("folder", up);
                if (held) {
                    held->category = "left";
                    held->note = "9x leaves a short-named folder in use";
                }
            }
        }
    }
}

/* Stand-ins for the monitor program and the status service's program, which
   the run starts with "-u", and on 9x for the command interpreter that runs
   the restart-time folder removals. */
bool PlantStandIns(Manifest &manifest, const Scenario &s)
{
    bool ok = CopyTool("recorder.exe", s.installDir + "\\REZevavav_T58.exe");
    ok = CopyTool("recorder.exe", s.system + "\\QnmBceS.exe") && ok;
    if (s.nineX) {
        std::string command = s.system + "\\command.exe";
        ok = CopyTool("command.exe", command) && ok;
        manifest.Add({"foreign", "file", command, "", "", "9x command interpreter"});
    }
    return ok;
}

/* The print spooler runs, as on any machine with a printer, so that the run
   has it to stop; false when it does not come up. */
bool StartPrintSpooler()
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, "spooler", SERVICE_START | SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS status = {};
    bool running = false;
    if (service && (StartServiceA(service, 0, NULL) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING))
        for (int i = 0; i < 100 && !running; i++) {
            running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
            if (!running) Sleep(100);
        }
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return running;
}

/* Plants the scenario and writes its manifest; 0 when all went as asked. */
int Install(const Scenario &given, const std::string &manifestPath)
{
    Scenario s = given;
    s.nt = s.family == "winxp" || s.family == "win2k";
    s.nineX = s.family == "win98" || s.family == "winme";
    s.otherMaker = s.printers != "alone";
    s.sibling = s.printers == "sibling";
    s.inUse = s.load == "inuse";
    s.windows = WindowsDir();
    s.system = SystemDir();
    char programFiles[MAX_PATH] = "";
    DWORD size = sizeof programFiles;
    RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                 RRF_RT_REG_SZ, NULL, programFiles, &size);
    s.programFiles = programFiles;
    s.defaultInstallDir = s.programFiles + "\\" + ProductFolderName;
    s.installDir = s.drive == "D" ? std::string("D:\\Apps\\") + ProductFolderName : s.defaultInstallDir;

    PlantPrinters printers = s.sibling ? PlantSiblingPrinter : s.otherMaker ? PlantOtherMakerPrinter : PlantNoOtherPrinter;
    PlantedFiles files = PlantProductFiles(s.family.c_str(), s.otherMaker, s.sibling, s.installDir, s.defaultInstallDir);
    /* The registry stays planted: the machine is what this tool makes. */
    PlantedRegistry *registry = new PlantedRegistry(s.family.c_str(), printers);
    /* the OCR program's App Paths entry, by which the run finds the installation folder */
    bool ok = SetString(HKEY_LOCAL_MACHINE, std::string(AppPaths) + "Sprint.exe", "",
                        s.installDir + "\\Sprint\\Sprint.exe");

    Manifest manifest;
    manifest.header = {"family " + s.family, "printers " + s.printers, "load " + s.load, "installdir " + s.installDir,
                       "defaultinstalldir " + s.defaultInstallDir, "printer " + registry->ExpectedPrinterName()};
    ListPlantedFiles(manifest, files);
    ListPlantedRegistry(manifest, *registry);
    ListPrinterProfile(manifest, *registry);
    ok = PlantDefaultPrinter(manifest, s) && ok;
    ok = PlantCopyApplication(manifest, s) && ok;
    ListRestoration(manifest, s);
    if (s.nineX) ok = PlantNineXProfiles(manifest, s) && ok;
    ok = PlantStandIns(manifest, s) && ok;
    ok = StartPrintSpooler() && ok;
    if (s.inUse) ListFilesInUse(manifest, s);
    manifest.Add({"remove", "file", ProgramPath(), "", "", "self-removal"});
    for (ManifestLine &line : manifest.lines)
        if (line.kind == "folder") line.data = ShortPathOf(line.path);
    /* Windows sets up the display when the first window is made; done here,
       before anything is recorded, it does not show among the run's changes */
    DestroyWindow(CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL));

    const testing::TestResult &result = testing::UnitTest::GetInstance()->ad_hoc_test_result();
    for (int i = 0; i < result.total_part_count(); i++)
        fprintf(stderr, "plant: %s\n", result.GetTestPartResult(i).message());
    if (!ok || result.Failed()) {
        fprintf(stderr, "plant: the machine could not be planted as asked\n");
        return 1;
    }
    if (!manifest.Write(manifestPath)) {
        fprintf(stderr, "plant: cannot write %s\n", manifestPath.c_str());
        return 1;
    }
    printf("planted %s (%s, %s) in %s: %zu items\n", s.family.c_str(), s.printers.c_str(), s.load.c_str(),
           s.installDir.c_str(), manifest.lines.size());
    return 0;
}

/* files in use ------------------------------------------------------------ */

int Hold(const std::string &manifestPath, const std::string &ready, const std::string &release)
{
    std::vector<std::unique_ptr<RunningProgram>> programs;
    std::vector<std::unique_ptr<HeldFile>> held;
    for (const ManifestLine &line : ReadManifest(manifestPath)) {
        if (line.note == "running") programs.emplace_back(new RunningProgram(line.path));
        if (line.note == "held") held.emplace_back(new HeldFile(line.path, 0));
    }
    if (testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed()) return 1;
    WriteTextFile(ready, "holding\r\n");
    while (!PathExists(release)) Sleep(50);
    return 0;
}

/* registry listing -------------------------------------------------------- */

/* UTF-16 text as UTF-8. */
std::string Utf8(const wchar_t *text, size_t length)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, NULL, 0, NULL, NULL);
    std::string out(size, '\0');
    if (size) WideCharToMultiByte(CP_UTF8, 0, text, (int)length, &out[0], size, NULL, NULL);
    return out;
}

/* Bytes as lower-case hexadecimal digits. */
std::string Hex(const BYTE *data, DWORD size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; i++) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

/* Writes one key, its values and, depth first, its subkeys as lines
   "K\t<key>", "V\t<key>\t<name>\t<type>\t<data as hex>", or "D\t<key>" for a
   key that cannot be read. */
void ListKey(FILE *out, HKEY parent, const std::wstring &name, const std::string &shown)
{
    HKEY key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        fprintf(out, "D\t%s\n", Escape(shown).c_str());
        return;
    }
    fprintf(out, "K\t%s\n", Escape(shown).c_str());
    std::vector<wchar_t> valueName(16384);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; i++) {
        DWORD nameSize = (DWORD)valueName.size(), dataSize = (DWORD)data.size(), type = 0;
        if (RegEnumValueW(key, i, valueName.data(), &nameSize, NULL, &type, data.data(), &dataSize) != ERROR_SUCCESS)
            break;
        fprintf(out, "V\t%s\t%s\t%lu\t%s\n", Escape(shown).c_str(), Escape(Utf8(valueName.data(), nameSize)).c_str(),
                type, Hex(data.data(), dataSize).c_str());
    }
    std::vector<std::wstring> children;
    wchar_t child[256];
    for (DWORD i = 0;; i++) {
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, child, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        children.emplace_back(child, size);
    }
    for (const std::wstring &c : children) ListKey(out, key, c, shown + "\\" + Utf8(c.data(), c.size()));
    RegCloseKey(key);
}

/* Saves a hive in Wine's registry file format (one request to the server,
   however large the hive). */
bool SaveHive(HKEY key, const std::string &path)
{
    DeleteFileA(path.c_str());
    return RegSaveKeyA(key, path.c_str(), NULL) == ERROR_SUCCESS;
}

/* The current user's profile name below HKEY_USERS (its SID). */
std::string CurrentUserSid()
{
    HANDLE token;
    std::string sid;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    BYTE buffer[256];
    DWORD size = 0;
    char *text = NULL;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidA(((TOKEN_USER *)buffer)->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

/* Saving hives needs the backup privilege, which administrators hold. */
bool EnableBackupPrivilege()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(NULL, "SeBackupPrivilege", &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL) && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

/* Writes the registry into a folder: the hives of the machine, the current
   user and the other profiles (HKLM.reg, HKCU.reg, HKU.<profile>.reg) as Wine
   saves them, which leaves out volatile keys, and the current hardware
   profile, which is volatile, listed key by key (volatile.tsv). */
int ListRegistry(const std::string &folder)
{
    bool ok = EnableBackupPrivilege();
    ok = ok && SaveHive(HKEY_LOCAL_MACHINE, folder + "\\HKLM.reg") && SaveHive(HKEY_CURRENT_USER, folder + "\\HKCU.reg");
    std::string sid = CurrentUserSid();
    char name[256];
    for (DWORD i = 0; ok; i++) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(HKEY_USERS, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        if (SameText(name, sid) || SameText(name, sid + "_Classes")) continue;
        HKEY profile;
        ok = RegOpenKeyExA(HKEY_USERS, name, 0, KEY_READ, &profile) == ERROR_SUCCESS;
        if (!ok) break;
        ok = SaveHive(profile, folder + "\\HKU." + name + ".reg");
        RegCloseKey(profile);
    }
    FILE *out = ok ? fopen((folder + "\\volatile.tsv").c_str(), "wb") : NULL;
    if (out) {
        ListKey(out, HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Hardware Profiles",
                "HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles");
        ok = fclose(out) == 0;
    }
    if (!ok || !out) {
        fprintf(stderr, "plant: cannot list the registry into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    static const std::set<std::string> families = {"win98", "winme", "win2k", "winxp"};
    static const std::set<std::string> printers = {"alone", "othermaker", "sibling"};
    if (args.size() == 6 && args[0] == "install" && families.count(args[1]) && printers.count(args[2]) &&
        (args[3] == "idle" || args[3] == "inuse") && (args[4] == "C" || args[4] == "D")) {
        Scenario s = {};
        s.family = args[1];
        s.printers = args[2];
        s.load = args[3];
        s.drive = args[4];
        return Install(s, args[5]);
    }
    if (args.size() == 4 && args[0] == "hold") return Hold(args[1], args[2], args[3]);
    if (args.size() == 2 && args[0] == "registry") return ListRegistry(args[1]);
    fprintf(stderr,
            "usage: plant install <win98|winme|win2k|winxp> <alone|othermaker|sibling> <idle|inuse> <C|D> <manifest>\n"
            "       plant hold <manifest> <ready file> <release file>\n"
            "       plant registry <folder>\n");
    return 2;
}
