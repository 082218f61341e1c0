#include "skin/container/SkinMessage_win.h"

#include <windows.h>

#include "skin/container/SkinMessage.h"

namespace skin {

void ShowSkinMessageBox(const std::string& text) {
  MessageBoxA(GetActiveWindow(), text.c_str(), "", MB_OK);
}

void InstallSkinMessageBox() { SetSkinMessageProc(ShowSkinMessageBox); }

}  // namespace skin
