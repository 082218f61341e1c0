#pragma once
// Left and Pair include each other, in a folder allowed to.
#include "area/left/Left.h"
int Pair();
