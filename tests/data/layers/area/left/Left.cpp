#include "area/left/Left.h"
#include "area/right/Right.h"
#include "area/low/Low.h"
int Left() { return Low(); }
