#pragma once
// Exception objects of other modules in this process (see EForeignObject.h).
#include "exclog/debuginfo/EForeignObject.h"

namespace exclog {

// Describes `object` when it is not an object of this module's class library (its
// class is not one this module knows). False for null and for this module's own
// objects; an unreadable foreign object is described as "Exception" with no message.
bool DescribeForeignObject(const void* object, TForeignObject& out);

// Where an Exception of this class library keeps its message.
uint32_t ExceptionMessageOffset();

}  // namespace exclog
