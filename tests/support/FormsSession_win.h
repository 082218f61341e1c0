#pragma once
// GUI tests of controls need the application and screen objects and the class
// registry, as the host program has them: the units are started once per process.
#include <windows.h>

#include <string>

#include "classlib/Forms_win.h"
#include "classlib/System.h"

namespace velmora::test {

inline void StartForms() {
  static const bool started = [] {
    RegisterFormsUnit();
    InitUnits();
    return true;
  }();
  (void)started;
}

inline std::string WindowClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

}  // namespace velmora::test
