#include "area/left/Left.h"
#include "area/right/Right.h"
#include "area/low/Low.h"
#include "area/left/Pair.h"
int Left() { return Low(); }
