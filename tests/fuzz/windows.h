/* Stand-in for <windows.h> in the fuzzers' Linux build of files/text.cpp:
   only the types that uninstall.h names. */
#include <stddef.h>
#include <stdint.h>
typedef uint32_t DWORD, UINT;
typedef int32_t LONG;
typedef intptr_t INT_PTR, LPARAM;
typedef uintptr_t WPARAM;
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HWND__ *HWND;
typedef struct HKEY__ *HKEY;
typedef struct { LONG left, top, right, bottom; } RECT;
#define CALLBACK
#define __MINGW_PRINTF_FORMAT printf
