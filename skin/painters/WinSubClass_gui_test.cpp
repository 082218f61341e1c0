// The painter base on real windows: hooking and unhooking class-library controls and
// plain windows (ANSI, Unicode, comctl32), the two private messages, the window's
// end, repaints, and the drawing routines every painter uses.
#include "skin/painters/WinSubClass.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "classlib/StdCtrls_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/data/WinSkinData_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

namespace skin {
namespace {

using skintest::LoadedTestSkin;
void StartSkin() { skintest::StartSkinForms(); }

// A painter that only counts its paints.
class TTestPainter : public TSkinControl {
  VELMORA_CLASS(TTestPainter, TSkinControl)
 public:
  using TSkinControl::TSkinControl;
  int Paints = 0;
  void Paint(HDC, const RECT&) override { ++Paints; }
};

// Records what reaches the control's own WindowProc (installed before a painter).
class TProcRecorder : public TObject {
 public:
  explicit TProcRecorder(TControl* control) : saved(control->WindowProc) {
    control->WindowProc = TWndMethod::Of<&TProcRecorder::Record>(this);
  }
  void Record(TMessage& m) {
    seen.push_back(m.Msg);
    saved(m);
  }
  int Count(UINT msg) const { return static_cast<int>(std::count(seen.begin(), seen.end(), msg)); }
  TWndMethod saved;
  std::vector<UINT> seen;
};

class PainterOnControl : public ::testing::Test {
 protected:
  void SetUp() override {
    StartSkin();
    data = LoadedTestSkin();
    form = std::make_unique<TForm>();
    form->SetBounds(50, 50, 300, 200);
    button = new TButton(form.get());
    button->SetParent(form.get());
    button->SetBounds(10, 10, 80, 25);
    button->SetColor(clRed);
    form->Show();
    recorder = std::make_unique<TProcRecorder>(button);
    painter = new TTestPainter(button);
    painter->AttachControl(nullptr, data.get(), true, nullptr);
  }
  void TearDown() override {
    form.reset();
    recorder.reset();
  }
  std::unique_ptr<TSkinData> data;
  std::unique_ptr<TForm> form;
  TButton* button = nullptr;
  std::unique_ptr<TProcRecorder> recorder;
  TTestPainter* painter = nullptr;
};

TEST_F(PainterOnControl, HooksSwitchesAndAnswers) {
  const auto face = static_cast<TColor>(SkinColour(data.get(), kSlotButtonFace));
  EXPECT_TRUE(painter->Status == kPainterAttached && painter->HooksWindowProc());
  EXPECT_EQ(button->Color(), face);
  // A second attach changes nothing.
  TSkinData other;
  painter->AttachControl(nullptr, &other, false, nullptr);
  EXPECT_TRUE(painter->SkinData == data.get() && painter->ChangeColor);

  EXPECT_EQ(SendMessageA(button->Handle(), kMsgIsSkinned, 0, 0), 1);
  EXPECT_EQ(recorder->Count(kMsgIsSkinned), 0);

  // Off: every message reaches the control, WM_PAINT too, and nothing is painted.
  SendMessageA(button->Handle(), kMsgSkinSwitch, 0, 0);
  const int paints = painter->Paints, controlPaints = recorder->Count(WM_PAINT);
  RedrawWindow(button->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(painter->Paints, paints);
  EXPECT_GT(recorder->Count(WM_PAINT), controlPaints);
  EXPECT_EQ(SendMessageA(button->Handle(), kMsgIsSkinned, 0, 0), 0);
  // On: repainted at once.
  SendMessageA(button->Handle(), kMsgSkinSwitch, 1, 0);
  EXPECT_GT(painter->Paints, paints);

  // Property readers by name over the published properties.
  EXPECT_EQ(ReadIntProp(button, "Color"), face);
  EXPECT_EQ(ReadIntProp(button, "NoSuchProperty"), -1);
  EXPECT_EQ(ReadEnumProp(button, "Visible"), "true");
  EXPECT_EQ(ReadObjectProp(button, "Font", TBitmap::StaticClass()), nullptr);
  EXPECT_FALSE(WritePropText(button, "Visible", "maybe"));
  EXPECT_TRUE(WritePropText(button, "Enabled", "False") && !button->Enabled());
}

TEST_F(PainterOnControl, WindowEndIsSeenOnceAndNoColourIsWrittenAfter) {
  const TColor face = button->Color();
  SendMessageA(button->Handle(), kMsgSkinSwitch, 0, 0);  // even while switched off
  DestroyWindow(button->Handle());
  EXPECT_EQ(recorder->Count(WM_NCDESTROY), 1);
  EXPECT_EQ(painter->Status, kPainterWindowGone);
  painter->SkinActive = true;
  painter->Unskin();
  EXPECT_EQ(button->Color(), face);  // not given back to a dead window's control
  delete painter;
  EXPECT_TRUE(button->WindowProc.AsMethod() == TWndMethod::Of<&TProcRecorder::Record>(recorder.get()).AsMethod());
}

TEST_F(PainterOnControl, PainterDestroyedFirstGivesTheControlBack) {
  delete painter;
  EXPECT_TRUE(button->WindowProc.AsMethod() == TWndMethod::Of<&TProcRecorder::Record>(recorder.get()).AsMethod());
  EXPECT_EQ(SendMessageA(button->Handle(), kMsgIsSkinned, 0, 0), 0);
  EXPECT_EQ(recorder->Count(kMsgIsSkinned), 1);
  // Chained in front later: the painter's entry stays as a pass-through.
  painter = new TTestPainter(button);
  painter->AttachControl(nullptr, data.get(), false, nullptr);
  TProcRecorder later(button);
  delete painter;
  EXPECT_EQ(SendMessageA(button->Handle(), kMsgIsSkinned, 0, 0), 0);
  EXPECT_EQ(later.Count(kMsgIsSkinned), 1);
  EXPECT_EQ(recorder->Count(kMsgIsSkinned), 2);
  button->WindowProc = later.saved;  // the pass-through goes with the button
}

// A raw subclass put on top of a painter.
WNDPROC laterNext = nullptr;
int laterCalls = 0;
LRESULT CALLBACK LaterProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  ++laterCalls;
  return CallWindowProcA(laterNext, w, m, wp, lp);
}

TEST(PainterOnPlainWindow, TextRoundTripsAndHooksUndo) {
  StartSkin();
  auto data = LoadedTestSkin();
  const std::wstring wide = L"Gr\u00fc\u00dfe \u20ac \u4e2d";
  const std::string ansi = "Gr\xfc\xdf" "e";
  HWND w = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  HWND a = CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  HWND cc = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(w && a && cc);
  SetWindowTextW(w, L"\u00e9t\u00e9");
  const WNDPROC ownW = GetWindowProc(w), ownA = GetWindowProc(a);
  auto pw = std::make_unique<TTestPainter>(), pa = std::make_unique<TTestPainter>();
  TTestPainter pc;
  pw->AttachWindow(w, data.get(), nullptr, nullptr);
  pa->AttachWindow(a, data.get(), nullptr, nullptr);
  pc.AttachWindow(cc, data.get(), nullptr, nullptr);
  EXPECT_TRUE(pw->IsUnicode && !pa->IsUnicode && pc.IsUnicode);  // comctl32 windows are Unicode
  EXPECT_EQ(pw->Caption, L"\u00e9t\u00e9");
  EXPECT_TRUE(pw->OldWndProc() == ownW && GetWindowProc(w) == pw->ObjectInstance());

  SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  wchar_t wbuf[64] = {};
  SendMessageW(w, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(wbuf));
  EXPECT_EQ(std::wstring(wbuf), wide);
  SendMessageA(a, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ansi.c_str()));
  char abuf[64] = {};
  SendMessageA(a, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(abuf));
  EXPECT_EQ(std::string(abuf), ansi);
  EXPECT_EQ(SendMessageW(cc, kMsgIsSkinned, 0, 0), 1);

  // Focus, enabling and text changes repaint.
  ShowWindow(a, SW_SHOWNA);
  auto repaints = [&](auto&& change) {
    const int before = pa->Paints;
    change();
    return pa->Paints > before;
  };
  EXPECT_TRUE(repaints([&] { SetFocus(a); }));
  EXPECT_TRUE(repaints([&] { EnableWindow(a, FALSE); }));
  EXPECT_TRUE(repaints([&] { SetWindowTextA(a, "x"); }));

  // Undone while current: the window's own procedure again.
  pw.reset();
  EXPECT_EQ(GetWindowProc(w), ownW);
  // Another subclass on top: it keeps working after the painter goes.
  laterNext = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(a, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterProc)));
  pa.reset();
  laterCalls = 0;
  SendMessageA(a, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(abuf));
  EXPECT_EQ(std::string(abuf), "x");
  EXPECT_GT(laterCalls, 0);
  EXPECT_NE(GetWindowProc(a), ownA);
  DestroyWindow(w);
  DestroyWindow(a);  // frees the pass-through left behind
  DestroyWindow(cc);
}

TEST(PainterDrawing, ElementsGlyphsFocusAndTopLevel) {
  StartSkin();
  auto data = LoadedTestSkin();
  const auto* manifest = skintest::TestSkin().Find("Buttons", "Bitmap");
  ASSERT_NE(manifest, nullptr);
  const uint32_t background = 0x123456;
  auto coded = [&](int frame0, int slice) {
    return (static_cast<uint32_t>(manifest->Id) << 16) | static_cast<uint32_t>((frame0 * 9 + slice) << 8) | 0x11;
  };
  auto paint = [](int w, int h, uint32_t fill, auto&& how) {
    TSkinDib dib(w, h);
    std::fill(dib.Pixels(), dib.Pixels() + w * h, fill);
    how(TSelectedDC(dib.Handle()).Handle());
    GdiFlush();
    return dib;
  };
  TDataSkinObject element = data->Skin().Buttons;
  auto draw = [&](const RECT& r, int trans) {
    element.Trans = trans;
    return paint(60, 44, background, [&](HDC dc) { DrawSkinElement(dc, r, element, 5, 2); });
  };
  auto at = [](const TSkinDib& d, int x, int y) { return d.Pixels()[y * d.Width() + x] & 0xFFFFFF; };
  {
    TSkinDib d = draw({0, 0, 60, 30}, 0);
    EXPECT_EQ(at(d, 30, 15), coded(1, 4));
    EXPECT_EQ(at(d, 1, 1), coded(1, 0));
    EXPECT_EQ(at(d, 58, 15), coded(1, 5));
    EXPECT_EQ(at(d, 0, 0), 0xFF00FFu);  // opaque: magenta is drawn
    EXPECT_EQ(at(d, 30, 35), background);
  }
  EXPECT_EQ(at(draw({0, 0, 60, 30}, 1), 0, 0), background);  // transparent: kept
  {
    // Margins 4 + 4 exceed the width: taken as 0, the whole frame is stretched (kept
    // ends would put the right end over x = 2).
    TSkinDib d = draw({0, 0, 6, 30}, 0);
    EXPECT_EQ(at(d, 0, 15), coded(1, 3));
    EXPECT_EQ(at(d, 2, 15), coded(1, 4));
    EXPECT_EQ(at(d, 5, 15), coded(1, 5));
    EXPECT_EQ(at(d, 2, 1), coded(1, 1));  // the vertical ends fit and stay
    EXPECT_EQ(at(d, 7, 15), background);
  }
  EXPECT_EQ(at(draw({10, 10, 5, 40}, 0), 7, 20), background);  // negative width: nothing
  {
    TSkinDib d = paint(48, 44, background, [&](HDC dc) { DrawGlyphFrame(dc, {0, 0, 48, 44}, element.Bitmap, 5, 3); });
    EXPECT_EQ(at(d, 1, 1), background);  // magenta corner, at twice the size
    EXPECT_EQ(at(d, 2, 2), coded(2, 0));
    EXPECT_EQ(at(d, 24, 22), coded(2, 4));
  }
  // A new image of the same size at the same place is drawn, not a kept frame.
  std::fill(element.Bitmap.Pixels.begin(), element.Bitmap.Pixels.end(), 0x00FF00u);
  EXPECT_EQ(at(draw({0, 0, 60, 30}, 0), 30, 15), 0x00FF00u);

  // The focus rectangle lies where the pure rule puts it around the measured text.
  {
    TTestPainter painter;
    const UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    RECT measured{10, 5, 110, 35};
    TSkinDib d = paint(120, 40, 0xFFFFFF, [&](HDC dc) {
      SkinDrawText(dc, L"Abc", measured, flags | DT_CALCRECT | DT_NOCLIP);
      painter.DrawTextFocus(dc, L"Abc", {10, 5, 110, 35}, flags, true);
    });
    const TSliceRect expect =
        FocusRectFor({10, 5, 110, 35}, {measured.left, measured.top, measured.right, measured.bottom}, flags);
    ASSERT_FALSE(expect.Empty());
    int onEdge = 0, outside = 0;
    for (int x = expect.Left; x < expect.Right; ++x) onEdge += at(d, x, expect.Top) != 0xFFFFFFu;
    for (int x = expect.Left - 2; x < expect.Right + 2; ++x) outside += at(d, x, expect.Top - 1) != 0xFFFFFFu;
    for (int y = expect.Top; y < expect.Bottom; ++y) outside += at(d, expect.Left - 1, y) != 0xFFFFFFu;
    EXPECT_GT(onEdge, (expect.Right - expect.Left) / 3);
    EXPECT_EQ(outside, 0);
  }

  // A combo box's drop-down list is top-level; the combo box is not.
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
  HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100, parent, nullptr,
                               nullptr, nullptr);
  COMBOBOXINFO info{};
  ASSERT_TRUE(SkinGetComboBoxInfo(combo, info));
  EXPECT_TRUE(IsTopLevel(info.hwndList));
  EXPECT_FALSE(IsTopLevel(combo));
  DestroyWindow(parent);
}

}  // namespace
}  // namespace skin
