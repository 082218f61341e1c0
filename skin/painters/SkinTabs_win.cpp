// Tab and tab-button painters.
#include "skin/painters/SkinTabs_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <optional>
#include <string>

#include "classlib/ComCtrls_win.h"
#include "skin/container/BitmapOps.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinFamily_win.h"

namespace skin {
namespace {

constexpr int32_t kCloseBoxTag = 7777;

RECT ToRect(const TSliceRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }
TSliceRect ToSlice(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// A tab's text (at most 80 characters) and image through the form the window reads.
struct TTabItem {
  std::wstring Text;
  int Image = -1;
};
TTabItem ReadTabItem(HWND tab, int index, bool unicode) {
  TTabItem item;
  if (unicode) {
    wchar_t text[81] = {};
    TCITEMW t{};
    t.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_STATE;
    t.pszText = text;
    t.cchTextMax = 81;
    if (SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&t))) {
      item.Text.assign(text, wcsnlen(text, 80));
      item.Image = t.iImage;
    }
    return item;
  }
  char text[81] = {};
  TCITEMA t{};
  t.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_STATE;
  t.pszText = text;
  t.cchTextMax = 81;
  if (SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&t))) {
    item.Text = AnsiToWide(std::string(text, strnlen(text, 80)));
    item.Image = t.iImage;
  }
  return item;
}

// An image and a caption laid out together, centred in `r`.
void DrawImageAndCaption(HDC dc, const RECT& r, HIMAGELIST images, int image, const std::wstring& text,
                         COLORREF colour) {
  int iw = 0, ih = 0;
  if (images && image >= 0) ImageList_GetIconSize(images, &iw, &ih);
  // "&" marks the accelerator, as on the system's tabs.
  const UINT flags = DT_END_ELLIPSIS | DT_WORDBREAK | DT_EXPANDTABS;
  RECT measured{0, 0, std::max<LONG>(r.right - r.left - iw - 4, 0), r.bottom - r.top};
  if (!text.empty()) SkinDrawText(dc, text, measured, flags | DT_CALCRECT);
  const int tw = text.empty() ? 0 : measured.right - measured.left, th = measured.bottom - measured.top;
  const int gap = iw && tw ? 3 : 0;
  int x = r.left + (r.right - r.left - (iw + gap + tw)) / 2;
  if (iw) {
    ImageList_Draw(images, image, dc, x, r.top + (r.bottom - r.top - ih) / 2, ILD_TRANSPARENT);
    x += iw + gap;
  }
  if (text.empty()) return;
  RECT t{x, r.top + (r.bottom - r.top - th) / 2, x + tw, 0};
  t.bottom = t.top + th;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour = SetTextColor(dc, colour);
  SkinDrawText(dc, text, t, flags);
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
}

}  // namespace

// ---------------------------------------------------------------------------
// Tabs

void TSkinTab::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (!Initialized) return;
  PrepareImages();
  AttachScroller();
  auto* pages = dynamic_cast<TPageControl*>(Control);
  CloseButtons = pages && Control->Tag() == kCloseBoxTag && pages->TabPosition() == TTabPosition::tpTop;
}

void TSkinTab::AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  TSkinControl::AttachWindow(handle, skinData, skinForm, canvas);
  PrepareImages();
  AttachScroller();
}

void TSkinTab::AttachScroller() {
  if (!UpDown) UpDown = AttachChildUpDown(this, FindUpDownChild(Handle, false, true));
}

void TSkinTab::PrepareImages() {
  TabImage = {};
  PaneImage = {};
  if (!SkinData) return;
  const TSkinModel& skin = SkinData->Skin();
  Position = TabSideOfStyle(static_cast<uint32_t>(GetWindowLongW(Handle, GWL_STYLE)));
  if (!skin.Tabs) return;
  TabImage = skin.Tabs->Bitmap;
  tabMargins_ = skin.Tabs->Margins();
  if (skin.Tabs->Style == 0) {
    PaneImage = skin.Tabs->Border;
  } else if (skin.TabPane) {
    PaneImage = skin.TabPane->Bitmap;
  }
  paneMargins_ = PaneMargins(skin.Tabs->Style, skin.TabPane ? skin.TabPane->Margins() : TSliceMargins{});
  switch (Position) {
    case TTabSide::Top:
      break;
    case TTabSide::Bottom:
      TabImage = FlipPixels(TabImage);
      PaneImage = FlipPixels(PaneImage);
      std::swap(tabMargins_.Top, tabMargins_.Bottom);
      std::swap(paneMargins_.Top, paneMargins_.Bottom);
      break;
    case TTabSide::Left:
    case TTabSide::Right: {
      // The pane turned to the side; the tabs are drawn as top tabs and the band
      // turned after, captions with them.
      PaneImage = TransposePixels(PaneImage);
      if (Position == TTabSide::Right) PaneImage = MirrorPixels(PaneImage);
      const TSliceMargins p = paneMargins_;
      paneMargins_ = {p.Top, p.Left, p.Bottom, p.Right};
      if (Position == TTabSide::Right) std::swap(paneMargins_.Left, paneMargins_.Right);
      break;
    }
  }
}

void TSkinTab::Reskin() {
  PrepareImages();
  TSkinControl::Reskin();
  if (UpDown) UpDown->Reskin();
}

void TSkinTab::Unskin() {
  TSkinControl::Unskin();
  if (UpDown) UpDown->Unskin();
}

bool TSkinTab::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
      if (!SkinData || !SkinData->Skin().Tabs) return true;
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      if (!SkinData || !SkinData->Skin().Tabs) return true;
      message.Result = 1;
      return false;
    case WM_LBUTTONDOWN:
      if (CloseButtons && ClickClose(message)) return false;
      return true;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinTab::AfterProc(TMessage& message) {
  // A new style may move the tabs to another side.
  if (message.Msg == WM_STYLECHANGED) PrepareImages();
  TSkinControl::AfterProc(message);
}

bool TSkinTab::ClickClose(TMessage& message) {
  const int tab = HitRect(TabRects, GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam));
  if (tab < 0) return false;
  message.Result = 0;
  // The form may free the page control itself while it answers.
  TPainterLife life(this);
  // The skinner's own window: on an MDI child that is the child, not the frame.
  HWND form = FormWindow(SkinForm);
  if (!form) form = GetAncestor(Handle, GA_ROOT);
  const LRESULT answer = SendMessageW(form, kMsgTabClose, reinterpret_cast<WPARAM>(Handle), tab);
  if (life.Gone() || answer != 0) return true;
  auto* pages = dynamic_cast<TPageControl*>(Control);
  if (!pages) return true;
  std::vector<bool> visible;
  for (int i = 0; i < pages->PageCount(); i++) visible.push_back(pages->Pages(i)->TabVisible());
  const int sheet = SheetOfTab(visible, tab);
  if (sheet < 0) return true;  // a stale tab number frees nothing
  delete pages->Pages(sheet);
  return true;
}

void TSkinTab::DrawTab(HDC dc, const RECT& r, int index, int frame) {
  const TDataSkinBorder* tabs = SkinData->Skin().Tabs.get();
  DrawSkinFrame(dc, r, TabImage, tabMargins_, tabs->Tile == 1, tabs->Trans != 0, FramesOf(*tabs), frame);
  const TTabItem item = ReadTabItem(Handle, index, IsUnicode);
  const TSkinColor text = frame == 2 ? tabs->MouseOverColour : tabs->NormalColour;
  const COLORREF colour = ResolveColor(GivenOr(text, SkinData->Skin().Colours[kSlotButtonText]), WinSysColor);
  RECT caption = r;
  if (CloseButtons) caption.right -= 8;
  DrawImageAndCaption(dc, caption, reinterpret_cast<HIMAGELIST>(SendMessageW(Handle, TCM_GETIMAGELIST, 0, 0)),
                      item.Image, item.Text, colour);
}

void TSkinTab::Paint(HDC dc, const RECT& rect) {
  if (!SkinData || !SkinData->Skin().Tabs) return;
  RECT client{};
  GetClientRect(Handle, &client);
  RECT display = client;
  SendMessageW(Handle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  InflateRect(&display, 4, 4);
  const int count = static_cast<int>(SendMessageW(Handle, TCM_GETITEMCOUNT, 0, 0));
  const int current = static_cast<int>(SendMessageW(Handle, TCM_GETCURFOCUS, 0, 0));
  const TSliceRect band = TabBand(client.right, client.bottom, ToSlice(display), Position);
  TabRects.assign(static_cast<size_t>(std::max(count, 0)), TSliceRect{});
  if (!band.Empty()) {
    TDoubleBuffer buffer(dc, ToRect(band), Buffer);
    if (!buffer.Dc()) return;
    const bool vertical = Position == TTabSide::Left || Position == TTabSide::Right;
    const int bw = band.Width(), bh = band.Height();
    // Side bands are laid out as top tabs on a band of their own and turned after,
    // so the captions come turned with the faces.
    TSkinDib flat = vertical ? TSkinDib(bh, bw) : TSkinDib();
    std::optional<TSelectedDC> flatDc;
    if (vertical) flatDc.emplace(flat.Handle(), dc);
    HDC target = vertical ? flatDc->Handle() : buffer.Dc();
    if (!target) return;
    FillControlColor(target, vertical ? RECT{0, 0, bh, bw} : buffer.Rect());
    HGDIOBJ oldFont = SelectObject(target, reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0)));
    for (int i = 0; i < count; i++) {
      RECT tab{};
      if (!SendMessageW(Handle, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab))) continue;
      const RECT r = ToRect(UnturnedTabRect(TabInBand(ToSlice(tab), band, Position), bw, bh, Position));
      DrawTab(target, r, i, i == current ? 2 : 1);
      if (!CloseButtons) continue;
      const TSliceRect square = CloseSquare(ToSlice(tab));
      TabRects[static_cast<size_t>(i)] = square;
      // The cross in the band's coordinates.
      const int x0 = square.Left - band.Left, y0 = square.Top - band.Top + (r.top - (tab.top - band.Top));
      MoveToEx(target, x0, y0, nullptr);
      LineTo(target, x0 + 6, y0 + 6);
      MoveToEx(target, x0 + 6, y0, nullptr);
      LineTo(target, x0, y0 + 6);
    }
    SelectObject(target, oldFont);
    if (vertical) {
      GdiFlush();
      const TPixelBuffer laid = flat.ToPixelBuffer();
      const TSkinDib turned(Position == TTabSide::Left ? FlipPixels(TransposePixels(laid)) : RotatePixels(laid));
      TSelectedDC turnedDc(turned.Handle(), dc);
      BitBlt(buffer.Dc(), 0, 0, bw, bh, turnedDc.Handle(), 0, 0, SRCCOPY);
    }
    // The scroller keeps its own pixels.
    const int saved = SaveDC(dc);
    if (UpDown && IsWindowVisible(UpDown->Handle)) {
      RECT scroller{};
      GetWindowRect(UpDown->Handle, &scroller);
      MapWindowPoints(nullptr, Handle, reinterpret_cast<POINT*>(&scroller), 2);
      ExcludeClipRect(dc, scroller.left, scroller.top, scroller.right, scroller.bottom);
    }
    buffer.Flush();
    RestoreDC(dc, saved);
  }
  if (!PaneImage.Empty()) {
    const TDataSkinBorder* tabs = SkinData->Skin().Tabs.get();
    const bool vertical = Position == TTabSide::Left || Position == TTabSide::Right;
    if (vertical)
      DrawSlicedFrame(dc, display, PaneImage, true, false, tabs->Trans != 0, 1, 1, paneMargins_);
    else
      DrawSkinFrame(dc, display, PaneImage, paneMargins_, false, tabs->Trans != 0, 1, 1);
  }
  (void)rect;
}

// ---------------------------------------------------------------------------
// Tab buttons

void TSkinTabBtn::DrawTab(HDC dc, const RECT& r, int index, int frame) {
  const TDataSkinButton* buttons = SkinData->Buttons();
  DrawSkinElement(dc, r, *buttons, 5, frame);
  const TSkinColor given = frame == 2 ? buttons->PressedColour : buttons->NormalColour;
  const COLORREF colour = ResolveColor(GivenOr(given, SkinData->Skin().Colours[kSlotButtonText]), WinSysColor);
  const TTabItem item = ReadTabItem(Handle, index, IsUnicode);
  DrawImageAndCaption(dc, r, reinterpret_cast<HIMAGELIST>(SendMessageW(Handle, TCM_GETIMAGELIST, 0, 0)), item.Image,
                      item.Text, colour);
}

void TSkinTabBtn::Paint(HDC dc, const RECT& rect) {
  if (!SkinData || SkinData->Buttons()->Bitmap.Empty()) return;
  RECT client{};
  GetClientRect(Handle, &client);
  TDoubleBuffer buffer(dc, client, Buffer);
  if (!buffer.Dc()) return;
  FillBackground(buffer.Dc(), buffer.Rect(), SkinData);
  HGDIOBJ oldFont = SelectObject(buffer.Dc(), reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0)));
  const int count = static_cast<int>(SendMessageW(Handle, TCM_GETITEMCOUNT, 0, 0));
  const int current = static_cast<int>(SendMessageW(Handle, TCM_GETCURFOCUS, 0, 0));
  for (int i = 0; i < count; i++) {
    RECT tab{};
    if (SendMessageW(Handle, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab)))
      DrawTab(buffer.Dc(), tab, i, i == current ? 2 : 1);
  }
  SelectObject(buffer.Dc(), oldFont);
  buffer.Flush();
  (void)rect;
}

}  // namespace skin
