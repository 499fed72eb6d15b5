/* Stands for the Windows 98/Me command interpreter at a played restart, which
 * Wine does not have: runs the one command the removal program schedules,
 * "command /c rd <folder>", by removing that folder when it is empty. */
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    const char *rest = arguments;
    while (*rest == ' ') rest++;
    if (_strnicmp(rest, "/c", 2) != 0) return 2;
    rest += 2;
    while (*rest == ' ') rest++;
    if (_strnicmp(rest, "rd ", 3) != 0) return 2;
    rest += 3;
    while (*rest == ' ') rest++;
    return RemoveDirectoryA(rest) ? 0 : 1;
}
