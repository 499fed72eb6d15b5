#include "uninstall.h"
int RunRemovalPhases(void) { return 0; }
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { hInstance = instance; return 0; }
