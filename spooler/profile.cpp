/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

int ResetDefaultPrinterProfile(void) { return 0; }
