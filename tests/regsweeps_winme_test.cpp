/* The registry phase on Windows Me (Wine playing Me), on a planted registry, for each
 * combination of other printers. */
#define SWEEP_FAMILY "winme"
#define SWEEP_NT 0
#include "regsweeps_cases.h"
