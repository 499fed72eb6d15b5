/*
 * Stand-in for what a planted test machine needs beside the removal program:
 *   standin run <button id>... -- <program>
 *       starts the program, answers its message boxes in turn with those
 *       buttons (any further box with the one that changes nothing), prints
 *       their captions and texts, and its exit code; the program's switches
 *       come from QT58_SWITCHES as they stand (Wine would escape quotes);
 *   standin hold        reads "F <path>" (held open without delete sharing),
 *       "M <path>" (mapped as a running program's image),
 *       "K <key below HKCC>[<tab><value><tab><data>]" (volatile key) and
 *       "L <key below HKLM>" (access list that lets nobody in) lines
 *       from its input up to an empty line, prints "ready", and lets go when
 *       its input ends;
 *   standin short <path>...  prints the short form of each path, an empty
 *       line for a path that does not exist;
 *   standin save <machine file> <users file>  has the registry server write
 *       the machine's and the users' registry (all but volatile keys) into
 *       the files, in the server's own text format;
 *   <companion> -u      as the product's monitor or status program: appends
 *       its command line, folder and show state to F:\qt58run\companions.txt;
 *   command /c rd <folder>  as the 9x command interpreter at a restart.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <share.h>

#define RUN_LIMIT_MS 600000

static char **Answers;
static int AnswerCount, NextAnswer;

/* Answers one visible message box of the program (a dialog with a static
   text 0xFFFF) unless it was answered already and is still closing. */
static BOOL CALLBACK AnswerBox(HWND window, LPARAM process)
{
    char className[16] = "", caption[256] = "", text[1024] = "";
    DWORD owner = 0;
    int id;

    GetWindowThreadProcessId(window, &owner);
    GetClassNameA(window, className, sizeof(className));
    if (owner != (DWORD)process || strcmp(className, "#32770") != 0 || !IsWindowVisible(window)
        || GetDlgItem(window, 0xFFFF) == NULL || GetPropA(window, "answered") != NULL)
        return TRUE;
    if (NextAnswer < AnswerCount)
        id = atoi(Answers[NextAnswer++]);
    else
        id = GetDlgItem(window, IDCANCEL) ? IDCANCEL : GetDlgItem(window, IDNO) ? IDNO : IDOK;
    GetWindowTextA(window, caption, sizeof(caption));
    GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    printf("box: %s: %s\n", caption, text);
    SetPropA(window, "answered", (HANDLE)1);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(window, id));
    return TRUE;
}

static int RunProgram(char *commandLine)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD code = STILL_ACTIVE, waited;

    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);

    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return printf("cannot start %s: error %lu\n", commandLine, GetLastError()), 2;
    for (waited = 0; waited < RUN_LIMIT_MS; waited += 20) {
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0)
            break;
        EnumWindows(AnswerBox, (LPARAM)process.dwProcessId);
    }
    if (waited >= RUN_LIMIT_MS)
        TerminateProcess(process.hProcess, 3);
    GetExitCodeProcess(process.hProcess, &code);
    printf("exit code: %lu%s\n", code, waited >= RUN_LIMIT_MS ? " (ended after the time limit)" : "");
    return 0;
}

/* Creates a key of the current hardware profile, which takes volatile keys
   only, with one value when the line names one. */
static int CreateConfigKey(const char *line)
{
    char path[512], name[256], data[512];
    int fields = sscanf(line, "%511[^\t]\t%255[^\t]\t%511[^\n]", path, name, data);
    HKEY key;

    if (fields < 1 || RegCreateKeyExA(HKEY_CURRENT_CONFIG, path, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                      NULL, &key, NULL) != ERROR_SUCCESS)
        return 0;
    if (fields == 3)
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)data, (DWORD)strlen(data) + 1);
    RegCloseKey(key);
    return 1;
}

/* Gives a key an empty access list; its owner may still replace it. */
static int LockKey(const char *path)
{
    SECURITY_DESCRIPTOR descriptor;
    ACL acl;
    HKEY key;
    LONG result;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return 0;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
    result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

static int Hold(void)
{
    char line[1024];
    int ok;

    /* The display's first use writes Wine's video keys: the runner has a
       holder with nothing to hold make it before it first records the
       machine, so that they are not taken for the run's. */
    ReleaseDC(NULL, GetDC(NULL));
    while (fgets(line, sizeof(line), stdin) != NULL && line[0] != '\n') {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == 'F')
            ok = CreateFileA(line + 2, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                 != INVALID_HANDLE_VALUE;
        else if (line[0] == 'M')
            ok = LoadLibraryExA(line + 2, NULL, DONT_RESOLVE_DLL_REFERENCES) != NULL;
        else if (line[0] == 'L')
            ok = LockKey(line + 2);
        else
            ok = line[0] == 'K' && CreateConfigKey(line + 2);
        if (!ok)
            return printf("cannot hold %s: error %lu\n", line, GetLastError()), 1;
    }
    printf("ready\n");
    fflush(stdout);
    while (fgets(line, sizeof(line), stdin) != NULL)
        ;
    return 0;
}

/* Has the registry server write HKLM and HKU into the two files, which it
   does only for a caller that holds the backup privilege. */
static int SaveRegistry(char **files)
{
    TOKEN_PRIVILEGES backup = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    HANDLE token;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)
        || !LookupPrivilegeValueA(NULL, SE_BACKUP_NAME, &backup.Privileges[0].Luid)
        || !AdjustTokenPrivileges(token, FALSE, &backup, 0, NULL, NULL))
        return 1;
    return RegSaveKeyA(HKEY_LOCAL_MACHINE, files[0], NULL) != ERROR_SUCCESS
           || RegSaveKeyA(HKEY_USERS, files[1], NULL) != ERROR_SUCCESS;
}

/* Records how the removal program started this companion. */
static int RecordStart(void)
{
    char folder[MAX_PATH] = "";
    STARTUPINFOA startup;
    FILE *record;
    int attempt;

    GetCurrentDirectoryA(sizeof(folder), folder);
    GetStartupInfoA(&startup);
    /* Both companions may start at once: wait while the other one writes. */
    for (attempt = 0; attempt < 100; attempt++) {
        record = _fsopen("F:\\qt58run\\companions.txt", "a", _SH_DENYRW);
        if (record != NULL) {
            fprintf(record, "%s\t%s\t%s\n", GetCommandLineA(), folder,
                    (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE ? "hidden" : "shown");
            fclose(record);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}

int main(int argc, char **argv)
{
    char shortPath[MAX_PATH], program[4096];
    const char *switches = getenv("QT58_SWITCHES");
    int i;

    if (argc == 4 && strcmp(argv[1], "/c") == 0 && _stricmp(argv[2], "rd") == 0)
        return RemoveDirectoryA(argv[3]) ? 0 : 1;
    if (argc == 2 && strcmp(argv[1], "-u") == 0)
        return RecordStart();
    if (argc == 2 && strcmp(argv[1], "hold") == 0)
        return Hold();
    if (argc == 4 && strcmp(argv[1], "save") == 0)
        return SaveRegistry(argv + 2);
    if (argc >= 3 && strcmp(argv[1], "short") == 0) {
        for (i = 2; i < argc; i++)
            printf("%s\n", GetShortPathNameA(argv[i], shortPath, sizeof(shortPath)) ? shortPath : "");
        return 0;
    }
    for (i = 2; i < argc && strcmp(argv[i], "--") != 0; i++)
        ;
    if (argc < 2 || strcmp(argv[1], "run") != 0 || i + 1 >= argc)
        return fprintf(stderr, "usage: see tools/standin.cpp\n"), 2;
    Answers = argv + 2;
    AnswerCount = i - 2;
    snprintf(program, sizeof(program), "%s%s%s", strstr(GetCommandLineA(), " -- ") + 4, switches ? " " : "",
             switches ? switches : "");
    return RunProgram(program);
}
