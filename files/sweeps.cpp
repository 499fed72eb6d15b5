/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

void RemoveProductFiles(void) {}
