/* Placeholder until this phase is written: does nothing yet. */
#include "uninstall.h"

void SurveyPrinters(void) {}
int FindInstallDir(void) { return 1; }
