#include "classlib/ControlClasses.h"

#include "classlib/Classes.h"

void RegisterControlClass(TClass cls) { RegisterClass(cls); }
