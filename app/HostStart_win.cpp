#include "app/HostStart_win.h"

#include "classlib/Forms_win.h"
#include "classlib/HintWindow_win.h"
#include "classlib/System.h"
#include "skin/SkinManage.h"
#include "skin/SkinMessage_win.h"
#include "skin/WinSkinData_win.h"

void StartHostServices(HINSTANCE instance) {
  RegisterFormsUnit();
  skin::RegisterSkinUnit();  // after the forms' unit: it gives their windows back first
  InitUnits();               // starts the units registered since the logger's
  skin::StartSkinDataWin(instance);  // Form1's layout carries SkinData1
  skin::InstallSkinMessageBox();
  new THintManager(Application);  // hints of every form, owned by the application
}
