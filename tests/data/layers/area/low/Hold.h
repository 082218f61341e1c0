#pragma once
#include "area/low/Cell.h"
int Hold();
