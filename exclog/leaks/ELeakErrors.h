#pragma once
// The exceptions the logger reports for the collector's findings: the leaks left at
// shut-down, a block written past its end, a block freed twice. They are reported,
// never thrown: the collector finds them inside a free, which must return.
#include "classlib/SysUtils.h"

VELMORA_EXCEPTION(EMemoryLeak, Exception)
VELMORA_EXCEPTION(EMemoryOverrun, Exception)
VELMORA_EXCEPTION(EMultiFree, Exception)
