/* Stands for a program in use: signals the event named on its command line
 * once it runs, then waits until it is ended. */
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc > 1) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
        if (ready) SetEvent(ready);
    }
    Sleep(INFINITE);
    return 0;
}
