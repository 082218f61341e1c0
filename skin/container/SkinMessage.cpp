#include "skin/container/SkinMessage.h"

namespace skin {

namespace {
// GUI thread only, like the rest of the skin engine.
TSkinMessageProc messageProc = nullptr;
}  // namespace

void ShowSkinMessage(const std::string& text) {
  if (messageProc) messageProc(text);
}

TSkinMessageProc SetSkinMessageProc(TSkinMessageProc proc) {
  TSkinMessageProc old = messageProc;
  messageProc = proc;
  return old;
}

}  // namespace skin
