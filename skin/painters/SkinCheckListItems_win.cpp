#include "skin/painters/SkinCheckListItems_win.h"

#include <algorithm>
#include <string>

#include "classlib/ControlMessages.h"
#include "classlib/ExtCtrls_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinInputRules.h"

namespace skin {

void DrawCheckListItem(TSkinControl& painter, const DRAWITEMSTRUCT& draw) {
  HDC dc = draw.hDC;
  const RECT& item = draw.rcItem;
  const bool selected = (draw.itemState & ODS_SELECTED) != 0;
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(painter.Handle, WM_GETFONT, 0, 0)));
  FillRect(dc, &item, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  const int index = static_cast<int>(draw.itemID);
  const int count = static_cast<int>(SendMessageW(painter.Handle, LB_GETCOUNT, 0, 0));
  if (index < 0 || index >= count || !painter.SkinData) {
    SelectObject(dc, oldFont);
    return;
  }
  const bool rtl = painter.RightToLeft();
  RECT text = item;
  const TDataSkinButton* buttons = painter.SkinData->Buttons();
  if (!buttons->CheckButton.Empty()) {
    auto* list = dynamic_cast<TCheckListBox*>(painter.Control);
    const int state = list ? static_cast<int>(list->State(index)) : 0;
    const int frames = std::max(buttons->CheckButtonFrame, 1);
    const int w = buttons->CheckButton.Width / frames, h = buttons->CheckButton.Height;
    const int top = item.top + (item.bottom - item.top - h) / 2;
    const RECT mark = rtl ? RECT{item.right - 1 - w, top, item.right - 1, top + h} : RECT{item.left + 1, top, item.left + 1 + w, top + h};
    DrawGlyphFrame(dc, mark, buttons->CheckButton, frames, CheckListFrame(state, frames));
    if (rtl)
      text.right = mark.left - 3;
    else
      text.left = mark.right + 3;
  }
  // The text's length as the list reads it.
  const LRESULT length = SendMessageW(painter.Handle, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  std::wstring caption(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  if (length > 0) SendMessageW(painter.Handle, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(caption.data()));
  caption.resize(wcslen(caption.c_str()));
  UINT flags = DT_WORDBREAK | DT_EXPANDTABS;
  if (rtl) flags |= DT_RIGHT | DT_RTLREADING;
  RECT measured = text;
  SkinDrawText(dc, caption, measured, flags | DT_CALCRECT | DT_NOCLIP);
  const int th = measured.bottom - measured.top;
  text.top = item.top + (item.bottom - item.top - th) / 2;
  text.bottom = text.top + th;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour = SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  SkinDrawText(dc, caption, text, flags);
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  if (draw.itemState & ODS_FOCUS) DrawFocusRect(dc, &item);
  SelectObject(dc, oldFont);
}

bool TSkinCheckList::BeforeProc(TMessage& message) {
  if (message.Msg != CN_DRAWITEM) return TSkinControl::BeforeProc(message);
  DrawCheckListItem(*this, *reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam));
  message.Result = TRUE;
  return false;
}

}  // namespace skin
