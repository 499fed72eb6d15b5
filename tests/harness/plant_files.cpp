/* The product's files planted on the test machine for one family and flag
 * combination, with what the file phase must remove. */
#include "plant_files.h"
#include "harness.h"

#include <shlobj.h>
#include <algorithm>
#include <cstring>
#include <map>

namespace {

std::string Lower(std::string text)
{
    for (char &c : text) c = (char)tolower((unsigned char)c);
    return text;
}

/* The rows of a fixed-width name table. */
std::vector<std::string> Rows(const char *table, unsigned rows, unsigned width)
{
    std::vector<std::string> names;
    for (unsigned i = 0; i < rows; i++) names.push_back(std::string(table + i * width, strnlen(table + i * width, width)));
    return names;
}
#define TABLE(name) Rows((const char *)Table##name, ARRAY_SIZE(Table##name), sizeof(Table##name[0]))

/* A row names a folder when its last part has no extension. */
bool IsFolderRow(const std::string &row)
{
    size_t slash = row.rfind('\\');
    return row.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos;
}

bool HasExtension(const std::string &path, const std::string &extension)
{
    return path.size() > extension.size() && Lower(path.substr(path.size() - extension.size())) == extension;
}

std::string Parent(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

/* An INF copy of the product's printer driver as Windows keeps it. */
const char ProductPrinterInf[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
    "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Maker%\r\n\r\n"
    "[Manufacturer]\r\n%Maker%=Models\r\n\r\n[Models]\r\n\"Quenmar T58\"=QT58.Install\r\n\r\n"
    "[Strings]\r\nMaker=\"Quenmar\"\r\nModel=\"Quenmar T58\"\r\n";

/* Collects the items of the set, keyed by their lower-case paths. */
struct Planter {
    PlantedFiles &files;
    std::map<std::string, size_t> index;

    explicit Planter(PlantedFiles &f) : files(f) {}

    PlantedItem &Item(const std::string &path, bool folder, bool product)
    {
        std::string key = Lower(path);
        auto found = index.find(key);
        if (found != index.end()) return files.items[found->second];
        index[key] = files.items.size();
        files.items.push_back({path, folder, product, false, false});
        return files.items.back();
    }

    /* A product folder that the phase removes when it is empty (removable)
       or leaves in any case. */
    void Folder(const std::string &path, bool removable)
    {
        PlantedItem &item = Item(path, true, true);
        item.removable = item.removable || removable;
    }

    /* Every row of a table in a base folder; applies: the phase deletes them. */
    void Table(const std::vector<std::string> &rows, const std::string &base, bool applies)
    {
        if (base.empty()) return;
        for (const std::string &row : rows) {
            PlantedItem &item = Item(base + "\\" + row, IsFolderRow(row), true);
            item.removable = item.removable || applies;
        }
    }

    void Foreign(const std::string &path, bool folder = false) { Item(path, folder, false); }
};

/* Creates a folder and its missing parents, noting the ones it created. */
void CreateFolder(PlantedFiles &files, const std::string &path)
{
    if (path.size() <= 3 || PathExists(path)) return;
    CreateFolder(files, Parent(path));
    if (CreateDirectoryA(path.c_str(), NULL)) files.createdFolders.push_back(path);
}

/* Decides which items are expected gone: files the phase deletes, and
   removable folders all of whose planted contents are gone. */
void DecideOutcome(PlantedFiles &files)
{
    std::vector<PlantedItem *> byDepth;
    for (PlantedItem &item : files.items) byDepth.push_back(&item);
    std::sort(byDepth.begin(), byDepth.end(), [](const PlantedItem *a, const PlantedItem *b) {
        return std::count(a->path.begin(), a->path.end(), '\\') > std::count(b->path.begin(), b->path.end(), '\\');
    });
    for (PlantedItem *item : byDepth) {
        item->expectGone = item->removable;
        if (!item->folder || !item->expectGone) continue;
        std::string prefix = Lower(item->path) + "\\";
        for (const PlantedItem &inner : files.items)
            if (Lower(inner.path).rfind(prefix, 0) == 0 && !inner.expectGone) item->expectGone = false;
    }
}

}  // namespace

const PlantedItem *PlantedFiles::Find(const std::string &path) const
{
    for (const PlantedItem &item : items)
        if (_stricmp(item.path.c_str(), path.c_str()) == 0) return &item;
    return NULL;
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(NULL, path, csidl, FALSE)) return "";
    return path;
}

PlantedFiles PlantProductFiles(const char *family, bool otherMaker, bool sibling, const std::string &installDir,
                               const std::string &defaultInstallDir)
{
    PlantedFiles files;
    files.family = family;
    files.otherMaker = otherMaker;
    files.sibling = sibling;
    files.installDir = installDir;
    files.defaultInstallDir = defaultInstallDir;
    const std::string f = family;
    const bool nt = f == "winxp" || f == "win2k", xp = f == "winxp";
    const std::string windows = WindowsDir(), system = SystemDir();
    const std::string twain = windows + "\\twain_32", drivers = system + "\\spool\\drivers\\w32x86";
    const std::string drivers3 = drivers + "\\3", xpFolder = drivers + "\\quenmarquenmar_t5828e0";
    const std::string programFiles = Parent(defaultInstallDir);
    const std::string programs = ShellFolder(nt ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
    const std::string desktop = ShellFolder(nt ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY);
    Planter plant(files);
    if (programs.empty() || desktop.empty() || installDir.empty() || programFiles.empty()) {
        ADD_FAILURE() << "no folder to plant the product in";
        return files;
    }

    /* the product's own folders, removed when they are empty */
    plant.Folder(installDir, true);
    plant.Folder(defaultInstallDir, true);
    plant.Folder(twain + "\\Quenmar", true);
    plant.Folder(programFiles + "\\Quenmar", true);
    plant.Folder(programs + "\\Quenmar T58", true);

    /* tables of both families */
    plant.Table(TABLE(C1), twain, true);
    plant.Table(TABLE(C2), nt ? system + "\\spool\\drivers\\color" : system + "\\color", true);
    plant.Table(TABLE(C3), nt ? drivers3 : system, !otherMaker);
    plant.Table(TABLE(C4), windows, true);
    plant.Table(TABLE(C5), installDir, true);
    plant.Table(TABLE(C6), installDir, true);
    plant.Table(TABLE(C7), defaultInstallDir, true);
    plant.Table(TABLE(C7), installDir, true);
    plant.Table(TABLE(C8), system, !sibling);
    plant.Table(TABLE(C9), system, true);
    plant.Table(TABLE(C10), system, !otherMaker);

    /* tables of the running family */
    if (nt) {
        plant.Table(TABLE(N1), drivers3, !otherMaker);
        plant.Table(TABLE(N2), windows, true);
        plant.Table(TABLE(N3), system, true);
        plant.Table(TABLE(N4), drivers, true);
        plant.Table(TABLE(N4), drivers3, true);
        plant.Table(TABLE(N5), drivers, !otherMaker);
        plant.Table(TABLE(N5), drivers3, !otherMaker);
        plant.Folder(xpFolder, xp);
        plant.Table(TABLE(N4), xpFolder, xp);
        plant.Table(TABLE(N5), xpFolder, xp);
        plant.Table({"qnmstat.ini"}, xpFolder, xp);
        plant.Table(TABLE(N6), defaultInstallDir, true);
        plant.Table(TABLE(N7), installDir, true);
        plant.Table(TABLE(N8), installDir, xp);
        plant.Table({"oem58.inf", "oem58.PNF"}, windows + "\\inf", true);
    } else {
        plant.Table(TABLE(S1), windows + "\\color", true);
        plant.Table(TABLE(S2), windows, true);
        plant.Table(TABLE(S3), windows, !sibling);
        plant.Table(TABLE(S4), system, true);
        plant.Table(TABLE(S5), system, !otherMaker);
        plant.Table(TABLE(S6), defaultInstallDir, true);
        plant.Table(TABLE(S7), installDir, true);
    }

    /* program group and desktop shortcuts */
    plant.Table({"Quenmar T58.lnk", "Scan & Copy Control Program.lnk", "Quenmar T58 Readme.lnk"},
                programs + "\\Quenmar T58", true);
    plant.Table({"Scan & Copy Control Program.lnk"}, desktop, true);
    if (!nt) plant.Table(TABLE(ProductShortcut), desktop, true);

    /* other products in the same folders */
    plant.Foreign(windows + "\\OtherVendor.ini");
    plant.Foreign(windows + "\\inf\\othervnd.inf");
    plant.Foreign(system + "\\OtherVnd.dll");
    plant.Foreign(system + "\\drivers\\othervnd.sys");
    plant.Foreign(nt ? system + "\\spool\\drivers\\color\\OtherPrinter.icm" : system + "\\color\\OtherPrinter.icm");
    plant.Foreign(drivers + "\\OTHERDRV.DLL");
    plant.Foreign(drivers3 + "\\OTHERDRV.DLL");
    plant.Foreign(twain + "\\OtherScan", true);
    plant.Foreign(twain + "\\OtherScan\\OtherScan.ds");
    plant.Foreign(programFiles + "\\OtherVendor", true);
    plant.Foreign(programFiles + "\\OtherVendor\\Other.exe");
    plant.Foreign(programs + "\\Other Vendor", true);
    plant.Foreign(programs + "\\Other Vendor\\Other.lnk");
    plant.Foreign(desktop + "\\Other Program.lnk");
    if (otherMaker) {
        plant.Foreign(twain + "\\Quenmar\\T70", true);
        plant.Foreign(twain + "\\Quenmar\\T70\\QnmT70.ds");
        plant.Foreign(programFiles + "\\Quenmar\\Common", true);
        plant.Foreign(programFiles + "\\Quenmar\\Common\\QnmShare.dll");
    }
    if (sibling) {
        plant.Foreign(programFiles + "\\QuenmarT60", true);
        plant.Foreign(programFiles + "\\QuenmarT60\\Rudorid55.exe");
    }

    /* existing folders that the phase may remove when they become empty */
    for (const std::string &folder : {twain, installDir, defaultInstallDir})
        if (PathExists(folder)) files.keptFolders.push_back(folder);

    /* create folders before files, outermost first */
    std::vector<const PlantedItem *> order;
    for (const PlantedItem &item : files.items) order.push_back(&item);
    std::stable_sort(order.begin(), order.end(), [](const PlantedItem *a, const PlantedItem *b) {
        return a->path.size() < b->path.size();
    });
    int count = 0;
    for (const PlantedItem *item : order) {
        if (item->folder) {
            CreateFolder(files, item->path);
            continue;
        }
        CreateFolder(files, Parent(item->path));
        bool inf = item->product && HasExtension(item->path, ".inf") &&
                   Lower(Parent(item->path)) == Lower(windows + "\\inf");
        WriteTextFile(item->path, inf ? ProductPrinterInf : "planted " + item->path + "\r\n");
        /* some files read-only, as installers leave them (shortcuts, which go without an
           attribute change, excepted) */
        if (++count % 7 == 0 && !HasExtension(item->path, ".lnk"))
            SetFileAttributesA(item->path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    DecideOutcome(files);
    return files;
}

std::vector<std::string> UnexpectedItems(const PlantedFiles &files)
{
    std::vector<std::string> lines;
    for (const PlantedItem &item : files.items) {
        bool present = PathExists(item.path);
        if (present && item.expectGone) lines.push_back("still there: " + item.path);
        if (!present && !item.expectGone) lines.push_back("gone: " + item.path);
    }
    return lines;
}

void RemovePlantedFiles(const PlantedFiles &files)
{
    std::vector<std::string> paths;
    for (const PlantedItem &item : files.items) paths.push_back(item.path);
    std::sort(paths.begin(), paths.end(), [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
    for (const std::string &path : paths) RemoveTree(path);
    for (auto folder = files.createdFolders.rbegin(); folder != files.createdFolders.rend(); ++folder)
        RemoveDirectoryA(folder->c_str());
    for (const std::string &folder : files.keptFolders) MakeDirs(folder);
}

void ClearScheduledRemovals()
{
    /* items moved aside into the temporary folder would stay there for good */
    std::string temp = Lower(TempDir()) + "\\";
    for (const auto &pending : PendingRenames())
        if (pending.second.empty() && Lower(pending.first).rfind(temp, 0) == 0) RemoveTree(pending.first);
    ClearPendingRenames();
    const char runOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, runOnce, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        std::vector<std::string> names;
        char name[256], data[1024];
        for (DWORD i = 0;; i++) {
            DWORD nameSize = sizeof name, dataSize = sizeof data - 1;
            if (RegEnumValueA(key, i, name, &nameSize, NULL, NULL, (BYTE *)data, &dataSize) != ERROR_SUCCESS) break;
            data[dataSize] = 0;
            if (_strnicmp(data, "command /c rd ", 14) == 0) names.push_back(name);
        }
        for (const std::string &n : names) RegDeleteValueA(key, n.c_str());
        RegCloseKey(key);
    }
    DeleteFileA((WindowsDir() + "\\wininit.ini").c_str());
    DeleteFileA((WindowsDir() + "\\wininit.bak").c_str());
}
