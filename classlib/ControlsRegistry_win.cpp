#include "classlib/ControlsRegistry_win.h"

#include "classlib/Controls_win.h"
#include "classlib/Menus_win.h"

void RegisterAllControlClasses() {
  RegisterControlsClasses();
  RegisterMenusClasses();
}
