#include "classlib/ControlsRegistry_win.h"

#include "classlib/Buttons_win.h"
#include "classlib/ComCtrls_win.h"
#include "classlib/Controls_win.h"
#include "classlib/ExtCtrls_win.h"
#include "classlib/HintWindow_win.h"
#include "classlib/Menus_win.h"
#include "classlib/StdCtrls_win.h"
#include "classlib/Tabs_win.h"

void RegisterAllControlClasses() {
  RegisterControlsClasses();
  RegisterMenusClasses();
  RegisterStdCtrlsClasses();
  RegisterButtonsClasses();
  RegisterExtCtrlsClasses();
  RegisterComCtrlsClasses();
  RegisterHintWindowClasses();
  RegisterTabsClasses();
}
