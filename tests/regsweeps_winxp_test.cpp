/* The registry phase on Windows XP, on a planted registry, for each
 * combination of other printers. */
#define SWEEP_FAMILY "winxp"
#define SWEEP_NT 1
#include "regsweeps_cases.h"
