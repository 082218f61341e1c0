#pragma once
// Message numbers of the control layer and the small pure rules around them: the
// control notifications, the reflection of a parent's child messages back to the
// child, and the name of the window property that leads from a window to its
// control. The skin painters listen for exactly these numbers, so they are fixed.
//
// Pure code: no Win32 header.
#include <cstdint>
#include <string>

// Control notifications (sent through a control's WindowProc).
constexpr uint32_t CM_BASE = 0xB000;
constexpr uint32_t CM_ACTIVATE = CM_BASE + 0;
constexpr uint32_t CM_DEACTIVATE = CM_BASE + 1;
constexpr uint32_t CM_DIALOGCHAR = CM_BASE + 6;
constexpr uint32_t CM_FONTCHANGED = CM_BASE + 8;
constexpr uint32_t CM_COLORCHANGED = CM_BASE + 9;
constexpr uint32_t CM_VISIBLECHANGED = CM_BASE + 11;
constexpr uint32_t CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr uint32_t CM_TEXTCHANGED = CM_BASE + 18;
constexpr uint32_t CM_MOUSEENTER = CM_BASE + 19;
constexpr uint32_t CM_MOUSELEAVE = CM_BASE + 20;
constexpr uint32_t CM_MENUCHANGED = CM_BASE + 21;
constexpr uint32_t CM_RECREATEWND = CM_BASE + 51;

// Reflected messages: a parent hands WM_COMMAND, WM_NOTIFY, WM_DRAWITEM ... of a
// child window back to the child as CN_BASE + the message number.
constexpr uint32_t CN_BASE = 0xBC00;

// The Win32 message numbers the reflection rule covers (kept here so that pure code
// and tests need no Windows header).
namespace ctlmsg {
constexpr uint32_t WM_COMMAND_ = 0x0111;
constexpr uint32_t WM_NOTIFY_ = 0x004E;
constexpr uint32_t WM_DRAWITEM_ = 0x002B;
constexpr uint32_t WM_MEASUREITEM_ = 0x002C;
constexpr uint32_t WM_DELETEITEM_ = 0x002D;
constexpr uint32_t WM_VKEYTOITEM_ = 0x002E;
constexpr uint32_t WM_CHARTOITEM_ = 0x002F;
constexpr uint32_t WM_COMPAREITEM_ = 0x0039;
constexpr uint32_t WM_HSCROLL_ = 0x0114;
constexpr uint32_t WM_VSCROLL_ = 0x0115;
constexpr uint32_t WM_CTLCOLORMSGBOX_ = 0x0132;
constexpr uint32_t WM_CTLCOLORSTATIC_ = 0x0138;
}  // namespace ctlmsg

constexpr uint32_t CN_COMMAND = CN_BASE + ctlmsg::WM_COMMAND_;
constexpr uint32_t CN_NOTIFY = CN_BASE + ctlmsg::WM_NOTIFY_;
constexpr uint32_t CN_DRAWITEM = CN_BASE + ctlmsg::WM_DRAWITEM_;
constexpr uint32_t CN_MEASUREITEM = CN_BASE + ctlmsg::WM_MEASUREITEM_;
constexpr uint32_t CN_HSCROLL = CN_BASE + ctlmsg::WM_HSCROLL_;
constexpr uint32_t CN_VSCROLL = CN_BASE + ctlmsg::WM_VSCROLL_;

// Where a parent finds the child a message is about.
enum class TReflectSource {
  None,          // not a child message: handled by the parent itself
  LParamWindow,  // lParam is the child's window (WM_COMMAND from a control, scroll, colour)
  NotifyHeader,  // lParam points to an NMHDR; its first field is the child's window
  DrawItem,      // lParam points to a DRAWITEMSTRUCT (hwndItem), unless a menu item
  ItemId,        // wParam is the child's control id (WM_MEASUREITEM, WM_DELETEITEM, WM_COMPAREITEM)
};

// How the parent locates the child of `message`. WM_COMMAND counts as a child
// message only with a non-zero lParam (menus and accelerators send 0).
TReflectSource ReflectSourceOf(uint32_t message, uintptr_t lParam);

// The reflected number of a child message, or 0 for one that is not reflected.
uint32_t ReflectedMessage(uint32_t message);

// The name of the window property that holds a window's control:
// "ControlOfs" + the module instance and the thread id, each as 8 upper-case hex digits.
std::string ControlPropertyName(uint32_t instance, uint32_t threadId);

// Mouse enter/leave bookkeeping: which control the pointer is over, and what the
// change asks for. Pure so that the rule is tested without a pointer.
struct THoverChange {
  const void* Leave = nullptr;  // gets a leave notification (null: none)
  const void* Enter = nullptr;  // gets an enter notification (null: none)
};
// The pointer moved from over `current` to over `next` (either may be null).
THoverChange HoverChange(const void* current, const void* next);
