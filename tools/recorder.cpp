/* Stands for the product's companion programs (the monitor program and the
 * status service's program): appends one line to the file named by the
 * environment variable QT58_RECORD and ends. The line holds, separated by
 * tabs, its own module path, its command line, its current folder, its
 * start-up flags and its show state. */
#include <windows.h>
#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char recordPath[MAX_PATH], module[MAX_PATH], folder[MAX_PATH], line[2048];
    STARTUPINFOA startup;
    DWORD length = GetEnvironmentVariableA("QT58_RECORD", recordPath, sizeof recordPath);
    if (length == 0 || length >= sizeof recordPath) return 1;
    GetModuleFileNameA(NULL, module, sizeof module);
    GetCurrentDirectoryA(sizeof folder, folder);
    GetStartupInfoA(&startup);
    int written = snprintf(line, sizeof line, "%s\t%s\t%s\t%lu\t%u\r\n", module, GetCommandLineA(), folder,
                           startup.dwFlags, startup.wShowWindow);
    if (written <= 0 || written >= (int)sizeof line) return 1;
    /* Several copies may start at once: retry while another one holds the file. */
    for (int attempt = 0; attempt < 100; attempt++) {
        HANDLE file = CreateFileA(recordPath, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD done = 0;
            WriteFile(file, line, (DWORD)written, &done, NULL);
            CloseHandle(file);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}
