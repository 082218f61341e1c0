#include "area/low/Loop.h"
#include "area/low/Ring.h"
int Loop() { return Ring(); }
