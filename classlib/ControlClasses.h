#pragma once
// Registers a class with the class registry from Win32 code, where <windows.h>
// turns the name RegisterClass into RegisterClassA. No Win32 header here.
#include "classlib/System.h"

void RegisterControlClass(TClass cls);
