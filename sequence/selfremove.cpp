/* Removal of the program's own file, which cannot be deleted while it runs. */
#include "uninstall.h"

/* Schedules the running program file for deletion at the next restart. A path
   that does not fit its buffer is not scheduled. */
void ScheduleSelfRemoval(void)
{
    char path[256];
    DWORD length = GetModuleFileNameA(NULL, path, 255);

    if (length == 0 || length >= 255)
        return;
    DeleteOnReboot(path, NULL);
}
