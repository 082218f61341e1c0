#pragma once
#include "area/low/Low.h"
int Right();
