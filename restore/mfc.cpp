/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

int RestoreSharedSettings(void) { return 0; }
