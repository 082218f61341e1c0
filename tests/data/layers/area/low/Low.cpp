#include "area/low/Low.h"
// Reaches up: the fault the check is for.
#include "area/high/High.h"
int Low() { return 1; }
