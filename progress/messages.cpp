/* The message boxes of the start-up checks, the usage, the closing and
   system errors; an unattended run (QuietRun) shows none of them. */
#include "uninstall.h"

void ShowStringMessage(UINT captionId, UINT textId)
{
    char caption[100] = "";
    char text[1024] = "";

    if (QuietRun)
        return;
    LoadStringA(hInstance, captionId, caption, sizeof(caption));
    LoadStringA(hInstance, textId, text, sizeof(text));
    MessageBoxA(NULL, text, caption, MB_OK | MB_ICONINFORMATION);
}

int ShowSystemError(DWORD errorCode)
{
    char *text = NULL;

    if (QuietRun)
        return 1;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                       | FORMAT_MESSAGE_FROM_SYSTEM,
                   NULL, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    MessageBoxA(NULL, text != NULL ? text : "", "Error", MB_ICONINFORMATION);
    if (text != NULL)
        LocalFree(text);
    return 1;
}
