/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

void ScheduleSelfRemoval(void) {}
