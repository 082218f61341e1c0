// Header, status-bar, size-box, tab-sheet and advanced-page painters.
#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <string>

#include "classlib/ComCtrls_win.h"
#include "classlib/ComCtrlsParts_win.h"
#include "classlib/ControlMessages.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinCheckListItems_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinTabs_win.h"

namespace skin {
namespace {

RECT ToRect(const TSliceRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

COLORREF TextColour(const TSkinData* data, const TDataSkinObject* element) {
  const TSkinColor text = data->Skin().Colours[kSlotButtonText];
  return ResolveColor(element ? GivenOr(element->NormalColour, text) : text, WinSysColor);
}

// Text in `r` by alignment (0 left, 1 right, 2 centre), one line, vertically centred.
void DrawPanelText(HDC dc, const RECT& r, const std::wstring& text, int alignment, UINT extra, COLORREF colour) {
  if (text.empty()) return;
  static constexpr UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  RECT t = r;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour = SetTextColor(dc, colour);
  SkinDrawText(dc, text, t,
               kAlign[std::clamp(alignment, 0, 2)] | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | extra);
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
}

// A 3D frame in system colours: lowered = shadow then highlight, raised the other way.
void Frame3D(HDC dc, const RECT& r, bool raised) {
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), light = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF topLeft = raised ? light : shadow, bottomRight = raised ? shadow : light;
  FillSolid(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
  FillSolid(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
  FillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
  FillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

}  // namespace

// ---------------------------------------------------------------------------
// Header

bool TSkinHeader::BeforeProc(TMessage& message) {
  const bool has = SkinData && HasPicture(SkinData->Skin().Headerbar.get());
  switch (message.Msg) {
    case WM_PAINT:
      if (!has) return true;
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      if (!has) return true;
      message.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinHeader::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEMOVE: {
      const int hit = HitRect(ItemRects, GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam));
      SkinTrackMouseLeave(Handle);
      if (hit != HotItem) {
        HotItem = hit;
        Refresh();
      }
      break;
    }
    case WM_MOUSELEAVE:
    case CM_MOUSELEAVE:
      // No hot item once the mouse has left.
      if (HotItem != -1) {
        HotItem = -1;
        Refresh();
      }
      break;
    default:
      TSkinControl::AfterProc(message);
      break;
  }
}

void TSkinHeader::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  const TDataSkinObject* bar = SkinData->Skin().Headerbar.get();
  if (!HasPicture(bar)) return;
  RECT client{};
  GetClientRect(Handle, &client);
  TDoubleBuffer buffer(dc, {rect.left, rect.top, rect.left + client.right, rect.top + client.bottom}, Buffer);
  if (!buffer.Dc()) return;
  HDC b = buffer.Dc();
  FillBackground(b, buffer.Rect(), SkinData);
  HGDIOBJ oldFont = SelectObject(b, reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0)));
  auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(Handle, HDM_GETIMAGELIST, 0, 0));
  const int count = std::max(static_cast<int>(SendMessageW(Handle, HDM_GETITEMCOUNT, 0, 0)), 0);
  ItemRects.assign(static_cast<size_t>(count), TSliceRect{});
  const COLORREF colour = TextColour(SkinData, bar);
  int right = 0;
  for (int i = 0; i < count; i++) {
    RECT r{};
    if (!SendMessageW(Handle, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r))) continue;
    wchar_t text[201] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_FORMAT | HDI_IMAGE;
    item.pszText = text;
    item.cchTextMax = 201;
    SendMessageW(Handle, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    DrawSkinElement(b, r, *bar, FramesOf(*bar), HeaderFaceFrame(i, HotItem));
    // Images and captions both stay; only an owner-drawn item draws its own.
    if (!(item.fmt & HDF_OWNERDRAW)) {
      RECT t{r.left + 4, r.top, r.right - 4, r.bottom};
      if ((item.fmt & HDF_IMAGE) && images && item.iImage >= 0) {
        int iw = 0, ih = 0;
        ImageList_GetIconSize(images, &iw, &ih);
        ImageList_Draw(images, item.iImage, b, t.left, r.top + (r.bottom - r.top - ih) / 2, ILD_TRANSPARENT);
        t.left += iw + 3;
      }
      const int format = item.fmt & HDF_JUSTIFYMASK;
      DrawPanelText(b, t, std::wstring(text, wcsnlen(text, 200)), format == HDF_RIGHT ? 1 : format == HDF_CENTER ? 2 : 0,
                    0, colour);
    }
    ItemRects[static_cast<size_t>(i)] = {r.left + 3, r.top, r.right - 3, r.bottom};
    right = std::max<int>(right, r.right);
  }
  if (right < client.right) DrawSkinElement(b, {right, 0, client.right, client.bottom}, *bar, FramesOf(*bar), 1);
  SelectObject(b, oldFont);
  buffer.Flush();
}

// ---------------------------------------------------------------------------
// Status bar

bool TSkinStatusBar::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT: {
      // Paints with its own copy of the handle: a panel handler may free this painter.
      HWND window = Handle;
      HDC dc = reinterpret_cast<HDC>(message.WParam);
      PAINTSTRUCT ps{};
      if (!dc) dc = BeginPaint(window, &ps);
      RECT r{};
      if (dc && GetWindowRect(window, &r)) {
        WindowRect = r;
        PaintBar(dc, {0, 0, r.right - r.left, r.bottom - r.top});
      }
      if (!message.WParam) EndPaint(window, &ps);
      message.Result = 0;
      return false;
    }
    case WM_ERASEBKGND:
      message.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinStatusBar::Paint(HDC dc, const RECT& rect) { PaintBar(dc, rect); }

bool TSkinStatusBar::PaintBar(HDC dc, const RECT& rect) {
  if (!SkinData) return true;
  const TSkinModel& skin = SkinData->Skin();
  const TDataSkinObject* edges = skin.StatusBarEdges.get();
  RECT client{};
  GetClientRect(Handle, &client);
  const int w = client.right, h = client.bottom;
  auto* bar = dynamic_cast<TCustomStatusBar*>(Control);
  {
    TDoubleBuffer buffer(dc, {rect.left, rect.top, rect.left + w, rect.top + h}, Buffer);
    if (!buffer.Dc()) return true;
    HDC b = buffer.Dc();
    FillBackground(b, buffer.Rect(), SkinData);
    // The control's font without its style (no bold, italic, underline or strike-out).
    LOGFONTW face{};
    HFONT own = reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0));
    if (!own || !GetObjectW(own, sizeof face, &face)) GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
    face.lfWeight = FW_NORMAL;
    face.lfItalic = face.lfUnderline = face.lfStrikeOut = FALSE;
    const TOwnedGdiObject plain(CreateFontIndirectW(&face));
    const TScopedSelection plainSelected(b, plain.Handle());
    const COLORREF colour = TextColour(SkinData, edges);
    const bool simple = bar ? bar->SimplePanel() : SendMessageW(Handle, SB_ISSIMPLE, 0, 0) != 0;
    const int parts = simple ? 0 : std::clamp(static_cast<int>(SendMessageW(Handle, SB_GETPARTS, 0, 0)), 0, 256);
    const bool rtl = RightToLeft();
    for (int i = 0; i < parts; i++) {
      RECT part{};
      if (!SendMessageW(Handle, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&part))) continue;
      const RECT r = ToRect(StatusPanelRect({part.left, part.top, part.right, part.bottom}, i == parts - 1, w));
      int bevel = 1, alignment = 0;
      std::wstring text;
      bool textPanel = true;
      if (bar && i < bar->Panels()->Count()) {
        TStatusPanel* panel = bar->Panels()->Items(i);
        bevel = static_cast<int>(panel->Bevel());
        alignment = static_cast<int>(panel->Alignment());
        text = AnsiToWide(panel->Text());
        textPanel = panel->Style() == TStatusPanelStyle::psText;
      } else {
        const LRESULT info = SendMessageW(Handle, SB_GETTEXTLENGTHW, static_cast<WPARAM>(i), 0);
        std::wstring buffer(LOWORD(info) + 1, L'\0');
        SendMessageW(Handle, SB_GETTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
        text.assign(buffer.c_str());
        const WORD type = HIWORD(info);
        bevel = (type & SBT_NOBORDERS) ? 0 : (type & SBT_POPOUT) ? 2 : 1;
        textPanel = !(type & SBT_OWNERDRAW);
      }
      if (HasPicture(edges))
        DrawSkinElement(b, r, *edges, 3, StatusBevelFrame(bevel));
      else if (bevel != 0)
        Frame3D(b, r, bevel == 2);
      if (textPanel)
        DrawPanelText(b, {r.left + 2, r.top, r.right - 2, r.bottom}, text, StatusTextAlignment(alignment, rtl),
                      rtl ? DT_RTLREADING : 0, colour);
    }
    if (parts == 0) {
      const RECT r{0, 0, w, h};
      if (HasPicture(edges)) DrawSkinElement(b, r, *edges, 3, 1);
      std::wstring text;
      if (bar) {
        text = AnsiToWide(bar->SimpleText());
      } else {
        wchar_t line[256] = {};
        SendMessageW(Handle, SB_GETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(line));
        text = line;
      }
      DrawPanelText(b, {2, 0, w - 2, h}, text, rtl ? 1 : 0, rtl ? DT_RTLREADING : 0, colour);
    }
    const TDataSkinObject* extra = skin.ExtraImages.get();
    if ((GetWindowLongW(Handle, GWL_STYLE) & SBARS_SIZEGRIP) && HasPicture(extra)) {
      const TSliceRect grip = SizeGripRect(w, h, extra->Bitmap.Width, extra->Bitmap.Height, FramesOf(*extra));
      if (!grip.Empty()) DrawGlyphFrame(b, ToRect(grip), extra->Bitmap, FramesOf(*extra), 5);
    }
  }
  if (!bar) return true;
  bar->PaintControls(dc);
  if (!bar->OnDrawPanel) return true;
  // The program's handler may close the form and free this painter with it.
  TPainterLife life(this);
  const int count = bar->Panels()->Count();
  for (int i = 0; i < count; i++) {
    RECT part{};
    if (!SendMessageW(bar->Handle(), SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&part))) continue;
    InflateRect(&part, -2, -2);
    comctrls::TCanvasOnDc on(bar->Canvas(), dc);
    bar->OnDrawPanel(bar, bar->Panels()->Items(i), part);
    if (life.Gone()) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Size box, tab sheet, advanced page control

void TSkinSizer::Paint(HDC dc, const RECT& rect) { FillBackground(dc, rect, SkinData); }

bool TSkinTabSheet::BeforeProc(TMessage& message) {
  if (PainterFlag != 0) return TSkinControl::BeforeProc(message);
  switch (message.Msg) {
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(Handle, &client);
      FillBackground(reinterpret_cast<HDC>(message.WParam), client, SkinData);
      message.Result = 1;
      return false;
    }
    case WM_PAINT:
    case WM_PRINT:
      PaintMessage(message);
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinTabSheet::Paint(HDC dc, const RECT& rect) {
  FillBackground(dc, rect, SkinData);
  if (Control) Control->PaintControls(dc);
}

void TSkinAdvPage::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (Initialized) AssignPictures(false);
}

void TSkinAdvPage::AssignPictures(bool clear) {
  if (!Control || Mode != 4) return;
  const TDataSkinBorder* tabs = SkinData ? SkinData->Skin().Tabs.get() : nullptr;
  if (!clear && !tabs) return;
  const char* const names[2] = {"TabBackGround", "TabBackGroundActive"};
  for (int frame = 1; frame <= 2; frame++) {
    auto* picture = dynamic_cast<TBitmap*>(ReadObjectProp(Control, names[frame - 1], TBitmap::StaticClass()));
    if (!picture) continue;
    if (clear) {
      picture->SetSize(0, 0);
      continue;
    }
    picture->SetSize(100, 21);
    // The element's transparency flag stands for its tile flag here, as the
    // control's pictures are drawn opaque.
    DrawSlicedFrame(picture->Canvas().Handle(), {0, 0, 100, 21}, tabs->Bitmap, false, tabs->Trans != 0, false,
                    FramesOf(*tabs), frame, tabs->Margins());
  }
  Control->Invalidate();
}

void TSkinAdvPage::AfterProc(TMessage& message) { TSkinControl::AfterProc(message); }

void TSkinAdvPage::Unskin() {
  TSkinControl::Unskin();
  if (Status != kPainterWindowGone) AssignPictures(true);
  if (UpDown) UpDown->Unskin();
}

void TSkinAdvPage::Reskin() {
  AssignPictures(false);
  TSkinControl::Reskin();
}

void TSkinAdvPage::Paint(HDC dc, const RECT& rect) {
  if (!UpDown) UpDown = AttachChildUpDown(this, FindUpDownChild(Handle, false, false));
}

void RegisterTabPainters() {
  SetPainterFactory(TPainterKind::Tab, &MakePainter<TSkinTab>);
  SetPainterFactory(TPainterKind::TabBtn, &MakePainter<TSkinTabBtn>);
  SetPainterFactory(TPainterKind::Tab31, &MakePainter<TSkinTab31>);
  SetPainterFactory(TPainterKind::Header, &MakePainter<TSkinHeader>);
  SetPainterFactory(TPainterKind::StatusBar, &MakePainter<TSkinStatusBar>);
  SetPainterFactory(TPainterKind::Sizer, &MakePainter<TSkinSizer>);
  SetPainterFactory(TPainterKind::TabSheet, &MakePainter<TSkinTabSheet>);
  SetPainterFactory(TPainterKind::AdvPage, &MakePainter<TSkinAdvPage>);
  SetPainterFactory(TPainterKind::CheckList, &MakePainter<TSkinCheckList>);
  SetPainterFactory(TPainterKind::ScControl, &MakePainter<TSkinScControl>);
  // A list view's header: a header painter of the list view's painter, off the
  // skinner's list (its owner frees it).
  SetListViewHeaderAttach([](TSkinListView& list, HWND header) {
    if (SendMessageW(header, kMsgIsSkinned, 0, 0) == 1) return;
    (new TSkinHeader(&list))->AttachWindow(header, list.SkinData, nullptr, list.Canvas);
  });
}

}  // namespace skin
