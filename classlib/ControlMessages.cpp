#include "classlib/ControlMessages.h"

#include <cstdio>

using namespace ctlmsg;

TReflectSource ReflectSourceOf(uint32_t message, uintptr_t lParam) {
  switch (message) {
    case WM_COMMAND_:
      return lParam != 0 ? TReflectSource::LParamWindow : TReflectSource::None;
    case WM_HSCROLL_:
    case WM_VSCROLL_:
    case WM_VKEYTOITEM_:
    case WM_CHARTOITEM_:
      // Window scroll bars send these with lParam 0; only scroll-bar controls are children.
      return lParam != 0 ? TReflectSource::LParamWindow : TReflectSource::None;
    case WM_NOTIFY_:
      return lParam != 0 ? TReflectSource::NotifyHeader : TReflectSource::None;
    case WM_DRAWITEM_:
      return lParam != 0 ? TReflectSource::DrawItem : TReflectSource::None;
    case WM_MEASUREITEM_:
    case WM_DELETEITEM_:
    case WM_COMPAREITEM_:
      return TReflectSource::ItemId;
    default:
      if (message >= WM_CTLCOLORMSGBOX_ && message <= WM_CTLCOLORSTATIC_ && lParam != 0)
        return TReflectSource::LParamWindow;
      return TReflectSource::None;
  }
}

uint32_t ReflectedMessage(uint32_t message) {
  // Any lParam that makes the message a child message will do for the question.
  return ReflectSourceOf(message, 1) == TReflectSource::None ? 0 : CN_BASE + message;
}

std::string ControlPropertyName(uint32_t instance, uint32_t threadId) {
  char text[32];
  std::snprintf(text, sizeof text, "ControlOfs%.8X%.8X", static_cast<unsigned>(instance),
                static_cast<unsigned>(threadId));
  return text;
}

THoverChange HoverChange(const void* current, const void* next) {
  if (current == next) return {};
  return {current, next};
}
