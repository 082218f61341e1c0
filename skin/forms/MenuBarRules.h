#pragma once
// The rules of the skinned menu bar that need no window: where its buttons go,
// which button an accelerator or an arrow key opens, where a popup opens, how
// owner-drawn items are measured, who draws an owner-drawn item, and which frame a
// tool button shows. WinSkinMenu_win.h carries them out.
//
// Pure code: no Win32 header.
#include <cstdint>
#include <string_view>
#include <vector>

#include "skin/container/SkinSlice.h"

namespace skin {

// The first button's offset from the bar's start edge (the right edge for a
// right-to-left menu). Without the skin's "menuBar" element: 6.
int MenuBarFirstOffset(bool hasElement, bool rightToLeft, int leftWidth, int rightWidth, int barWidth);

// One button's text width in the menu font; negative: a hidden button.
// Rectangles in bar coordinates, hidden buttons empty; each visible button is its
// text width + 10 wide (an empty caption 0) and the bar's height less one. A
// right-to-left bar places them from barWidth - x0 leftwards, but never right of
// `rightLimit` (the MDI buttons' left - 5; pass a large value when none).
std::vector<TSliceRect> LayoutMenuBar(const std::vector<int>& textWidths, int x0, int barWidth, int barHeight,
                                      bool rightToLeft, int rightLimit);

// The accelerator character of a caption, lower-cased (ASCII letters only): the
// character after a single "&"; "&&" is a literal ampersand. 0 when none.
wchar_t AcceleratorOf(std::wstring_view caption);
// Whether `ch` (any letter case) is the caption's accelerator.
bool HasAccelerator(std::wstring_view caption, wchar_t ch);

// Virtual keys the menu loop reads.
constexpr uint32_t kKeyLeft = 0x25, kKeyRight = 0x27, kKeyReturn = 0x0D, kKeyEscape = 0x1B;

// In a right-to-left menu the left and right arrows swap.
uint32_t MenuArrowKey(uint32_t key, bool rightToLeft);

// What an arrow key does in an open popup: +1 the next top-level popup, -1 the
// previous, 0 nothing (the popup moves inside itself). Right switches when the
// selected item opens no submenu; left when nothing is selected or the selected
// item lies in the top-level popup.
int ArrowSwitch(uint32_t key, bool itemSelected, bool selectedHasSubmenu, bool selectedInTopPopup);

// The button `direction` steps from `open`, wrapping around the ends and skipping
// buttons that cannot open; -1 when none can.
int NextMenuButton(int open, int direction, const std::vector<bool>& canOpen);

// Where TrackPopupMenu opens a bar button's popup: its bottom-left on screen with
// TPM_RIGHTBUTTON | TPM_NONOTIFY (0x82), or its bottom-right with TPM_RIGHTALIGN
// added (0x8A) in a right-to-left window. `button` is in window-frame coordinates.
struct TPopupPlace {
  int X = 0, Y = 0;
  uint32_t Flags = 0;
};
TPopupPlace MenuPopupPlace(int windowLeft, int windowTop, const TSliceRect& button, bool rightToLeft);

// An owner-drawn item's width after the class library measured it: the "MenuItem"
// element's LeftWidth (when the skin has it), then the glyph column: 10 (bar menus)
// or 12 (popup and system menus) with an image list, else 35.
int MeasuredItemWidth(int width, bool hasElement, int leftWidth, bool hasImages, bool popupOrSystem);

// A menu item measured from its text (system commands, plain windows' items).
struct TItemSize {
  int Width = 0, Height = 0;
};
TItemSize MeasureTextItem(int textWidth, int textHeight, bool separator, bool hasElement, int leftWidth,
                          bool ntFamily);

// Who draws an owner-drawn menu item of WM_DRAWITEM.
enum class TItemDrawer {
  ClassLibrary,   // the form's class-library item of that command
  Temporary,      // an item made from the menu's own text and state
  OldProcedure    // the window's previous procedure (the program's own owner drawing)
};
// `markedBySkinner`: the skinner made the item owner-drawn itself (it has no one
// else to draw it).
TItemDrawer MenuItemDrawer(bool knownItem, uint32_t id, bool markedBySkinner);

// The "Buttons" frame of a custom-drawn tool button: 2 selected, 4 focused or hot,
// 1 the default button; 0 (not drawn) grayed, disabled or otherwise.
int ToolButtonFrame(bool selected, bool focusedOrHot, bool grayedOrDisabled, bool isDefault);

}  // namespace skin
