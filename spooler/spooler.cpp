/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

int StopSpooler(void) { return 0; }
int StartSpooler(void) { return 0; }
