/* The registry phase on Windows 2000 (Wine playing 2000), on a planted registry, for each
 * combination of other printers. */
#define SWEEP_FAMILY "win2k"
#define SWEEP_NT 1
#include "regsweeps_cases.h"
