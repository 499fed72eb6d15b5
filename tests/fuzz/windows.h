/* Stand-in for <windows.h> in the fuzzers' Linux build of files/text.cpp:
   only the types that uninstall.h names. */
#include <stddef.h>
typedef unsigned int DWORD, UINT;
typedef int LONG, BOOL;
typedef long INT_PTR, LPARAM, WPARAM;
typedef void *HINSTANCE, *HWND, *HKEY;
typedef struct { LONG left, top, right, bottom; } RECT;
#define CALLBACK
#define MAX_PATH 260
#define __MINGW_PRINTF_FORMAT printf
