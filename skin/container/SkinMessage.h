#pragma once
// The skin engine's few user messages go through one replaceable procedure, so the
// Windows glue can show a message box and tests can see the text without a window.
#include <string>

namespace skin {

using TSkinMessageProc = void (*)(const std::string& text);

// Shows `text` through the installed procedure; nothing when none is installed.
void ShowSkinMessage(const std::string& text);
// Installs `proc` (nullptr: messages are dropped) and returns the previous one.
TSkinMessageProc SetSkinMessageProc(TSkinMessageProc proc);

// The message of a container of an unknown (older) version: two parts separated
// by a single carriage return.
inline constexpr char kOlderSkinMessage[] =
    "This is Older Skin File\rPlease update to new version !";

}  // namespace skin
