/* Removal of the program's own file, which cannot be deleted while it runs. */
#include "uninstall.h"

/* Schedules the running program file for deletion at the next restart. The
   buffer takes any path that Windows gives, since Windows 98 and Me cut a
   longer one to the buffer without a sign; a path of 255 characters or more
   is not scheduled. */
void ScheduleSelfRemoval(void)
{
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof(path));

    if (length == 0 || length >= 255)
        return;
    DeleteOnReboot(path, NULL);
}
