#include "app/HostStart_win.h"

#include "classlib/Forms_win.h"
#include "classlib/HintWindow_win.h"
#include "classlib/System.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/forms/SkinManage.h"
#include "skin/forms/WinSkinMenu_win.h"
#include "skin/container/SkinMessage_win.h"
#include "skin/data/WinSkinData_win.h"

void StartHostServices(HINSTANCE instance) {
  RegisterFormsUnit();
  skin::RegisterSkinUnit();  // after the forms' unit: it gives their windows back first
  InitUnits();               // starts the units registered since the logger's
  skin::StartSkinDataWin(instance);  // Form1's layout carries SkinData1
  skin::InstallSkinMessageBox();
  skin::InstallChildDispatch();     // every skinned form gives its controls their painters
  skin::InstallMenuBar();           // and draws its menu bar and menu items from the skin
  new THintManager(Application);  // hints of every form, owned by the application
}
