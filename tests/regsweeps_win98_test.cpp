/* The registry phase on Windows 98 (Wine playing 98, where RegDeleteKeyA
 * takes a key with its subkeys), on a planted registry, for each combination
 * of other printers. */
#define SWEEP_FAMILY "win98"
#define SWEEP_NT 0
#include "regsweeps_cases.h"
