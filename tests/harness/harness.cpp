/* Test harness: files, registry, restart-time work and system-function
 * replacement on the Wine test machine. */
#include "harness.h"

#include <algorithm>
#include <cstring>

/* program state ---------------------------------------------------------- */

void ResetProgramState(const char *family)
{
    hInstance = GetModuleHandleA(NULL);
    IsWinXP = IsWin2000 = IsWin98 = IsWinMe = 0;
    OtherMakerPrinterPresent = SiblingModelPresent = 0;
    SiblingDriverName[0] = InstallDir[0] = DefaultInstallDir[0] = 0;
    FoundFolder[0] = ProductPrinterName[0] = MatchedKeyName[0] = 0;
    ProgressWindow = NULL;
    ProgressValue = 0;
    TraceBuffer[0] = 0;
    RunOnceSerial = 0;
    std::string f = family;
    if (f == "winxp") IsWinXP = 1;
    else if (f == "win2k") IsWin2000 = 1;
    else if (f == "win98") IsWin98 = 1;
    else if (f == "winme") IsWinMe = 1;
    else EXPECT_EQ("", f) << "unknown family";
}

/* files ------------------------------------------------------------------- */

static std::string CurrentTestName()
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "outside";
    for (char &c : name)
        if (!isalnum((unsigned char)c) && c != '.' && c != '_') c = '_';
    return name;
}

ScratchDir::ScratchDir() : path("C:\\qt58scratch\\" + CurrentTestName())
{
    RemoveTree(path);
    MakeDirs(path);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path);
    RemoveDirectoryA("C:\\qt58scratch");
}

void MakeDirs(const std::string &path)
{
    for (size_t i = 3; i <= path.size(); i++)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
}

void WriteTextFile(const std::string &path, const std::string &text)
{
    size_t slash = path.rfind('\\');
    if (slash != std::string::npos) MakeDirs(path.substr(0, slash));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path << " error " << GetLastError();
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
    EXPECT_EQ(text.size(), written) << path;
}

std::string ReadTextFile(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string text;
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

bool PathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, ".."))
                RemoveTree(path + "\\" + entry.cFileName);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

std::string ShortPathOf(const std::string &path)
{
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n && n < sizeof buffer ? buffer : "";
}

std::string WindowsDir()
{
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, sizeof buffer);
    return buffer;
}

std::string SystemDir()
{
    char buffer[MAX_PATH];
    GetSystemDirectoryA(buffer, sizeof buffer);
    return buffer;
}

std::string TempDir()
{
    char buffer[MAX_PATH];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string path(buffer, n);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

HeldFile::HeldFile(const std::string &path, DWORD shareMode)
{
    handle = CreateFileA(path.c_str(), GENERIC_READ, shareMode, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle) << "cannot hold " << path << ": " << GetLastError();
}

HeldFile::~HeldFile()
{
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

RunningProgram::RunningProgram(const std::string &path)
{
    memset(&process, 0, sizeof process);
    size_t slash = path.rfind('\\');
    if (slash != std::string::npos) MakeDirs(path.substr(0, slash));
    EXPECT_TRUE(CopyFileA("C:\\qt58test\\holder.exe", path.c_str(), FALSE)) << path << " " << GetLastError();
    char event[64];
    snprintf(event, sizeof event, "qt58holder%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, event);
    std::string command = "\"" + path + "\" " + event;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    EXPECT_TRUE(CreateProcessA(path.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        << path << " " << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000)) << "holder did not start";
    CloseHandle(ready);
}

RunningProgram::~RunningProgram()
{
    if (!process.hProcess) return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

/* registry ---------------------------------------------------------------- */

void RegPut(HKEY root, const std::string &path, const char *name, const std::string &data)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL)) << path;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)data.c_str(), (DWORD)data.size() + 1));
    RegCloseKey(key);
}

void RegPutDword(HKEY root, const std::string &path, const char *name, DWORD data)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL)) << path;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&data, sizeof data));
    RegCloseKey(key);
}

bool RegKeyExists(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool RegValueExists(HKEY root, const std::string &path, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG status = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string RegGet(HKEY root, const std::string &path, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
    char data[4096];
    DWORD size = sizeof data - 1;
    LONG status = RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "";
    data[size] = 0;
    return std::string(data, strnlen(data, size));
}

void RegRemoveTree(HKEY root, const std::string &path)
{
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}

std::vector<std::string> RegSubkeys(HKEY root, const std::string &path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[512];
    for (DWORD i = 0;; i++) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

/* restart-time work ------------------------------------------------------- */

static const char SessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

std::vector<std::pair<std::string, std::string>> PendingRenames()
{
    std::vector<std::pair<std::string, std::string>> pairs;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return pairs;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", NULL, NULL, NULL, &size) == ERROR_SUCCESS && size) {
        std::vector<WCHAR> data(size / sizeof(WCHAR) + 2, 0);
        RegQueryValueExW(key, L"PendingFileRenameOperations", NULL, NULL, (BYTE *)data.data(), &size);
        std::vector<std::string> strings;
        for (size_t i = 0; i < size / sizeof(WCHAR);) {
            const WCHAR *s = &data[i];
            size_t n = wcslen(s);
            char narrow[1024] = "";
            WideCharToMultiByte(CP_ACP, 0, s, (int)n, narrow, sizeof narrow - 1, NULL, NULL);
            std::string text = narrow;
            if (text.rfind("\\??\\", 0) == 0) text = text.substr(4);
            strings.push_back(text);
            i += n + 1;
            if (n == 0 && strings.size() % 2 == 1 && i >= size / sizeof(WCHAR)) break;
        }
        for (size_t i = 0; i + 1 < strings.size(); i += 2) pairs.push_back({strings[i], strings[i + 1]});
    }
    RegCloseKey(key);
    return pairs;
}

bool IsPendingDeletion(const std::string &path)
{
    for (const auto &pair : PendingRenames())
        if (pair.second.empty() && _stricmp(pair.first.c_str(), path.c_str()) == 0) return true;
    return false;
}

void ClearPendingRenames()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
}

void PlayRestart()
{
    char command[] = "wineboot.exe -r";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ASSERT_TRUE(CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 120000)) << "wineboot -r did not end";
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

/* system functions -------------------------------------------------------- */

void *PatchImport(const char *dll, const char *function, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *import = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress);
         import->Name; import++) {
        if (_stricmp((const char *)(base + import->Name), dll) != 0) continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + import->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            IMAGE_IMPORT_BY_NAME *byName = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)byName->Name, function) != 0) continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &protection);
            void *previous = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof(void *), protection, &protection);
            return previous;
        }
    }
    ADD_FAILURE() << "the test executable does not import " << dll << "!" << function;
    return NULL;
}

ImportPatch::ImportPatch(const char *dll_, const char *function_, void *replacement)
    : dll(dll_), function(function_), previous(PatchImport(dll_, function_, replacement))
{
}

ImportPatch::~ImportPatch()
{
    if (previous) PatchImport(dll, function, previous);
}

static std::vector<std::string> *RecordedTraces;
static CRITICAL_SECTION TraceLock;

static void WINAPI RecordDebugString(LPCSTR text)
{
    EnterCriticalSection(&TraceLock);
    if (RecordedTraces) RecordedTraces->push_back(text ? text : "");
    LeaveCriticalSection(&TraceLock);
}

static ImportPatch *TracePatch;

TraceRecorder::TraceRecorder()
{
    InitializeCriticalSection(&TraceLock);
    RecordedTraces = new std::vector<std::string>;
    TracePatch = new ImportPatch("KERNEL32.dll", "OutputDebugStringA", (void *)RecordDebugString);
}

TraceRecorder::~TraceRecorder()
{
    delete TracePatch;
    TracePatch = NULL;
    delete RecordedTraces;
    RecordedTraces = NULL;
    DeleteCriticalSection(&TraceLock);
}

std::vector<std::string> TraceRecorder::Messages() const
{
    EnterCriticalSection(&TraceLock);
    std::vector<std::string> copy = *RecordedTraces;
    LeaveCriticalSection(&TraceLock);
    return copy;
}

bool TraceRecorder::Contains(const std::string &message) const
{
    std::vector<std::string> all = Messages();
    return std::find(all.begin(), all.end(), message) != all.end();
}
