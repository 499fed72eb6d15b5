/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

int RemoveRegistryEntries(void) { return 0; }
