#include "area/low/Hold.h"
// A test stands above the units of its area: with Hold including Cell, it closes no circle.
