#include "area/high/High.h"
// A test may use every layer of its area.
