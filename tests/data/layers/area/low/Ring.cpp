#include "area/low/Ring.h"
// Ties Ring and Loop in a circle, each through another of its files.
#include "area/low/Loop.h"
int Ring() { return Loop(); }
