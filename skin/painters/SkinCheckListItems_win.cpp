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
  // The list's own font and colour (a program may have set either).
  TWinControl* list = painter.Control;
  HFONT font = list ? list->Font()->Handle() : reinterpret_cast<HFONT>(SendMessageW(painter.Handle, WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = SelectObject(dc, font);
  const COLORREF face = list ? ColorToRGB(list->Color()) : GetSysColor(COLOR_WINDOW);
  const COLORREF ink = list ? ColorToRGB(list->Font()->Color()) : GetSysColor(COLOR_WINDOWTEXT);
  if (selected) {
    FillRect(dc, &item, GetSysColorBrush(COLOR_HIGHLIGHT));
  } else {
    HBRUSH brush = CreateSolidBrush(face);
    FillRect(dc, &item, brush);
    DeleteObject(brush);
  }
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
    auto* checks = dynamic_cast<TCheckListBox*>(painter.Control);
    const int state = checks ? static_cast<int>(checks->State(index)) : 0;
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
  const COLORREF oldColour = SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : ink);
  SkinDrawText(dc, caption, text, flags);
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  if (draw.itemState & ODS_FOCUS) DrawFocusRect(dc, &item);
  SelectObject(dc, oldFont);
}

bool TSkinCheckList::BeforeProc(TMessage& message) {
  if (message.Msg != CN_DRAWITEM) return TSkinScrollbar::BeforeProc(message);
  DrawCheckListItem(*this, *reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam));
  message.Result = TRUE;
  return false;
}

// ---------------------------------------------------------------------------

TSkinScControl::~TSkinScControl() { ScrollPanel.reset(); }

void TSkinScControl::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  auto* bar = dynamic_cast<TWinControl*>(Owner());
  if (!bar) return;
  SkinData = skinData;
  SkinForm = skinForm;
  Canvas = canvas;
  Control = bar;
  Handle = bar->Handle();
  IsUnicode = IsWindowUnicode(Handle) != FALSE;
  JoinForm(SkinForm, this);
  ScrollPanel = std::make_unique<TWScrollbar>();
  ScrollPanel->ShowHint = bar->ShowHint;
  ScrollPanel->Hint = bar->Hint;
  ScrollPanel->InitControl(this, bar, kBarControl);
  if (!bar->Visible()) ScrollPanel->HideBar();
  HookWindowProc(bar);
  Initialized = true;
  Status = kPainterAttached;
}

void TSkinScControl::Unskin() {
  TSkinControl::Unskin();
  // After the window's end its parent takes the panel's window with it.
  if (Status != kPainterWindowGone) ScrollPanel.reset();
}

void TSkinScControl::AfterProc(TMessage& message) {
  if (!ScrollPanel) return;
  switch (message.Msg) {
    case SBM_SETSCROLLINFO:
    case CN_HSCROLL:
    case CN_VSCROLL:
      ScrollPanel->Invalidate();
      break;
    case CM_VISIBLECHANGED:
      if (message.WParam == 0)
        ScrollPanel->HideBar();
      else
        ScrollPanel->Reposition();
      break;
    case WM_WINDOWPOSCHANGED:
      ScrollPanel->Reposition();
      break;
    case WM_ENABLE:
    case CM_ENABLEDCHANGED:
      // The overlay draws the bar's enabled state: it follows at once.
      ScrollPanel->Invalidate();
      break;
    case WM_NCPAINT:
      // The control may have made a new window.
      if (Control && Control->HandleAllocated()) {
        Handle = Control->Handle();
        ScrollPanel->Target = Handle;
      }
      ScrollPanel->Reposition();
      break;
    default:
      break;
  }
}

void TSkinScControl::Paint(HDC dc, const RECT& rect) {
  if (ScrollPanel) ScrollPanel->Invalidate();
}

}  // namespace skin
