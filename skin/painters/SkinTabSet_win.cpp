// The tab-set painter.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "classlib/TabsLogic.h"
#include "classlib/Tabs_win.h"
#include "skin/container/BitmapOps.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinTabRules.h"
#include "skin/painters/SkinTabs_win.h"

namespace skin {

void TSkinTab31::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  auto* control = dynamic_cast<TWinControl*>(Owner());
  if (!control) return;
  AttachWindow(control->Handle(), skinData, skinForm, canvas);
  Control = control;  // read for its tabs; its colour stays its own
  PrepareImage();
  // The scroller is the set's first owned component.
  auto* scroller = control->ComponentCount() > 0 ? dynamic_cast<TWinControl*>(control->Components(0)) : nullptr;
  if (scroller && scroller->IsNamed("TScroller")) {
    ScrollerControl = scroller;
    UpDown = AttachChildUpDown(this, scroller->Handle());
    if (UpDown) {
      UpDown->Horizontal = true;
      UpDown->Refresh();
    }
  }
}

void TSkinTab31::PrepareImage() {
  TabImage = {};
  if (!SkinData || !SkinData->Skin().Tabs) return;
  const TDataSkinBorder& tabs = *SkinData->Skin().Tabs;
  TabImage = FlipPixels(tabs.Bitmap);
  margins_ = tabs.Margins();
  std::swap(margins_.Top, margins_.Bottom);
}

void TSkinTab31::Reskin() {
  PrepareImage();
  TSkinControl::Reskin();
  if (UpDown) UpDown->Reskin();
}

void TSkinTab31::Unskin() {
  TSkinControl::Unskin();
  if (UpDown) UpDown->Unskin();
}

bool TSkinTab31::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
      if (TabImage.Empty()) return true;
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      if (TabImage.Empty()) return true;
      message.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinTab31::Paint(HDC dc, const RECT& rect) {
  (void)rect;
  if (!Control || TabImage.Empty()) return;
  const TDataSkinBorder* tabs = SkinData->Skin().Tabs.get();
  std::vector<std::string> captions;
  if (std::optional<TPropValue> v = GetPropValue(Control, "Tabs"))
    if (auto* list = std::get_if<std::vector<std::string>>(&*v)) captions = *list;
  auto* fontObject = static_cast<TFont*>(ReadObjectProp(Control, "Font", TFont::StaticClass()));
  HFONT font = fontObject ? fontObject->Handle() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  RECT client{};
  GetClientRect(Handle, &client);
  TTabSetMetrics m;
  m.ClientWidth = client.right;
  m.ClientHeight = client.bottom;
  m.TabHeight = static_cast<int>(ReadIntProp(Control, "TabHeight"));
  m.StartMargin = static_cast<int>(ReadIntProp(Control, "StartMargin"));
  m.EndMargin = static_cast<int>(ReadIntProp(Control, "EndMargin"));
  m.AutoScroll = ReadEnumProp(Control, "AutoScroll") == "true";
  m.ScrollerWidth = ScrollerControl ? ScrollerControl->Width() : 0;
  const int selected = static_cast<int>(ReadIntProp(Control, "TabIndex"));
  const TTabSetLayout layout =
      LayOutTabSet(MeasureTabCaptions(captions, font), static_cast<int>(ReadIntProp(Control, "FirstIndex")), m);

  TDoubleBuffer buffer(dc, client, Buffer);
  if (!buffer.Dc()) return;
  FillBackground(buffer.Dc(), buffer.Rect(), SkinData);
  HGDIOBJ oldFont = SelectObject(buffer.Dc(), font);
  const int oldMode = SetBkMode(buffer.Dc(), TRANSPARENT);
  const TSkinColor fallback = SkinData->Skin().Colours[kSlotButtonText];
  for (size_t i = 0; i < layout.Tabs.size(); i++) {
    const int index = layout.FirstIndex + static_cast<int>(i);
    const TTabBox& b = layout.Tabs[i];
    RECT r{b.Left, b.Top, b.Right, b.Bottom};
    const int frame = index == selected ? 2 : 1;
    DrawSkinFrame(buffer.Dc(), r, TabImage, margins_, tabs->Tile == 1, tabs->Trans != 0, FramesOf(*tabs), frame);
    const TSkinColor given = frame == 2 ? tabs->MouseOverColour : tabs->NormalColour;
    SetTextColor(buffer.Dc(), ResolveColor(GivenOr(given, fallback), WinSysColor));
    SkinDrawText(buffer.Dc(), AnsiToWide(captions[static_cast<size_t>(index)]), r,
                 DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  }
  SetBkMode(buffer.Dc(), oldMode);
  SelectObject(buffer.Dc(), oldFont);
  // The scroller keeps its own pixels.
  const int saved = SaveDC(dc);
  if (ScrollerControl && ScrollerControl->HandleAllocated() && IsWindowVisible(ScrollerControl->Handle()))
    ExcludeClipRect(dc, ScrollerControl->Left(), ScrollerControl->Top(),
                    ScrollerControl->Left() + ScrollerControl->Width(), ScrollerControl->Top() + ScrollerControl->Height());
  buffer.Flush();
  RestoreDC(dc, saved);
}

}  // namespace skin
