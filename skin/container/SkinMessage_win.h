#pragma once
// The Windows form of the skin engine's messages: a message box.
#include <string>

namespace skin {

// Shows `text` in a modal message box owned by the active window.
void ShowSkinMessageBox(const std::string& text);
// Makes ShowSkinMessageBox the procedure of ShowSkinMessage (SkinMessage.h).
void InstallSkinMessageBox();

}  // namespace skin
