// The edit, up-down, combo, picker, track-bar, progress, tab, header and status-bar
// painters on the host program's Form1 with the frame-coded test skin: the frames
// sampled on screen away from text in each state, and mouse and keyboard still
// working through the painters.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/ExtCtrls_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/Layout.h"
#include "classlib/StdCtrls_win.h"
#include "classlib/Tabs_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/forms/Form1TestSkin_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/forms/WinSkinForm.h"
#include "skin/painters/SkinCheckListItems_win.h"
#include "skin/painters/SkinScrollBars_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinInputRules.h"
#include "skin/painters/SkinTabs_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;
using velmora::test::ScreenPixel;

namespace skin {
namespace {

// Form1's class under another name; it answers the tab close message as told.
class TInputsTestForm : public TForm {
  VELMORA_CLASS(TInputsTestForm, TForm)
  VELMORA_PUBLISHED(TInputsTestForm)
 public:
  explicit TInputsTestForm(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject*) {}
  void RaiseItemClick(TObject*) {}
  void WndProc(TMessage& message) override {
    if (message.Msg == kMsgTabClose) {
      ++closeAsked;
      message.Result = keepPages ? 1 : 0;
      return;
    }
    TForm::WndProc(message);
  }
  int closeAsked = 0;
  bool keepPages = false;
};
VELMORA_PUBLISH(TInputsTestForm) {
  p.Method<&TInputsTestForm::ExitItemClick>("ExitItemClick").Method<&TInputsTestForm::RaiseItemClick>("RaiseItemClick");
}

// A page control of another family that draws its tabs from two pictures it
// publishes; known to the dispatch only through a Skin3rd row.
class TAdvPageStandIn : public TPageControl {
  VELMORA_CLASS(TAdvPageStandIn, TPageControl)
  VELMORA_PUBLISHED(TAdvPageStandIn)
 public:
  using TPageControl::TPageControl;
  TBitmap* TabBackGround() const { return normal.get(); }
  TBitmap* TabBackGroundActive() const { return active.get(); }
  std::unique_ptr<TBitmap> normal = std::make_unique<TBitmap>(), active = std::make_unique<TBitmap>();
};
VELMORA_PUBLISH(TAdvPageStandIn) {
  p.Object("TabBackGround", &TAdvPageStandIn::TabBackGround)
      .Object("TabBackGroundActive", &TAdvPageStandIn::TabBackGroundActive);
}

// An extended combo over the common controls' window, known to the dispatch only
// through a Skin3rd row.
class TComboBoxExStandIn : public TWinControl {
  VELMORA_CLASS(TComboBoxExStandIn, TWinControl)
 public:
  using TWinControl::TWinControl;
  void AddItem(const char* text) {
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT;
    item.iItem = -1;
    item.pszText = const_cast<char*>(text);
    SendMessageA(Handle(), CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }

 protected:
  void CreateParams(TCreateParams& params) override {
    TWinControl::CreateParams(params);
    CreateSubClass(params, WC_COMBOBOXEXA);
    params.Style |= CBS_DROPDOWNLIST;
  }
};

// The screen pixels of a window's rectangle `r` (client coordinates), row by row.
std::vector<COLORREF> ScreenArea(HWND window, const RECT& r) {
  POINT origin{r.left, r.top};
  ClientToScreen(window, &origin);
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<COLORREF> pixels;
  if (w <= 0 || h <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    for (int i = 0; i < w * h; i++) {
      const uint32_t p = static_cast<const uint32_t*>(bits)[i];
      pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
    SelectObject(memory, old);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// What a painted window's painter draws, through WM_PAINT into a bitmap of its size.
struct TPainted {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
  bool operator==(const TPainted&) const = default;
};
TPainted Painted(HWND window) {
  RECT w{};
  GetWindowRect(window, &w);
  TPainted p{w.right - w.left, w.bottom - w.top, {}};
  TSkinDib dib(p.Width, p.Height);
  {
    TSelectedDC dc(dib.Handle());
    SendMessageW(window, WM_PAINT, reinterpret_cast<WPARAM>(dc.Handle()), 0);
  }
  GdiFlush();
  p.Pixels.assign(dib.Pixels(), dib.Pixels() + static_cast<size_t>(p.Width) * p.Height);
  return p;
}

// The test skin's pixel code of frame k (from 1), slice s of an image.
COLORREF Code(const char* section, const char* key, int k, int slice) {
  const skintest::TManifestImage* image = skintest::TestSkin().Find(section, key);
  if (!image) return CLR_INVALID;
  return RGB(image->Id, (k - 1) * 9 + slice, 0x11);
}

// The test skin's INI with sections left out and keys set ("Section", "Key", "value"),
// packed with all of the skin's pictures into a container of its own.
std::vector<uint8_t> VariantSkin(const std::string& folder, const std::vector<std::string>& dropped,
                                 const std::vector<std::array<std::string, 3>>& set) {
  const skintest::TTestSkin& skin = skintest::TestSkin();
  std::string ini, section;
  bool keep = true;
  std::istringstream lines(skin.IniText);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      section = line.substr(1, line.find(']') - 1);
      keep = std::find(dropped.begin(), dropped.end(), section) == dropped.end();
    } else {
      for (const auto& [sec, key, value] : set)
        if (sec == section && line.rfind(key + "=", 0) == 0) line = key + "=" + value;
    }
    if (keep) ini += line + "\r\n";
  }
  std::vector<std::pair<std::string, std::vector<uint8_t>>> entries = {{"skin.ini", {ini.begin(), ini.end()}}};
  for (const skintest::TManifestImage& image : skin.Images) {
    std::vector<uint8_t> bytes;
    if (skin.ReadEntry(image.File, bytes)) entries.emplace_back(image.File, bytes);
  }
  return skintest::PeerContainer(folder, entries);
}

bool Xdo(const std::string& command) { return RunHostCommand("xdotool " + command).has_value(); }

// A press at `from`, a move to `to` and the release, in one go: a control that
// tracks the drag in a loop of its own must find the release already queued.
bool Drag(POINT from, POINT to) {
  return Xdo("mousemove " + std::to_string(from.x) + " " + std::to_string(from.y) + " mousedown 1 mousemove " +
             std::to_string(to.x) + " " + std::to_string(to.y) + " mouseup 1");
}

class Form1Painters : public ::testing::Test {
 protected:
  void SetUp() override {
    skintest::StartSkinForms();
    static const bool registered = (RegisterControlClass(TInputsTestForm::StaticClass()), true);
    (void)registered;
    ASSERT_NO_FATAL_FAILURE(skintest::OpenForm1OnTestSkin("TInputsTestForm", 1024, 600, session));
    form = dynamic_cast<TInputsTestForm*>(session.Form.get());
    data = session.Data;
    skinner = session.Skinner.get();
    Park();
  }
  TWinControl* Win(const char* name) { return dynamic_cast<TWinControl*>(form->FindComponent(name)); }
  template <class T>
  T* As(const char* name) {
    return dynamic_cast<T*>(form->FindComponent(name));
  }
  // The painter of `owner` as a T; null when it has none of that class.
  template <class T = TSkinControl>
  T* Painter(const TComponent* owner) {
    T* found = nullptr;
    for (TSkinControl* p : skinner->Painters())
      if (p->Owner() == owner) found = dynamic_cast<T*>(p);
    return found;
  }
  std::string PainterOf(const char* name) {
    for (TSkinControl* p : skinner->Painters())
      if (p->Owner() == form->FindComponent(name)) return p->ClassName();
    return "";
  }
  // Polls the screen pixel at client point (x, y) of `window`.
  static bool Shows(HWND window, int x, int y, COLORREF code, DWORD timeout = 5000) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    return PumpUntil([&] { return ScreenPixel(p.x, p.y) == code; }, timeout);
  }
  static POINT ScreenOf(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    return p;
  }
  static bool MoveTo(POINT p) { return Xdo("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y)); }
  // The pointer away from every control.
  void Park() { MoveTo(ScreenOf(form->Handle(), 1000, 280)); }
  skintest::TForm1OnTestSkin session;
  TInputsTestForm* form = nullptr;
  TSkinData* data = nullptr;
  TWinSkinForm* skinner = nullptr;
};

TEST_F(Form1Painters, EditUpDownAndComboShowTheirFramesAndStillWork) {
  EXPECT_EQ(PainterOf("Edit1"), "TSkinEdit");
  EXPECT_EQ(PainterOf("UpDown1"), "TSkinUpDown");
  EXPECT_EQ(PainterOf("ComboBox1"), "TSkinComBox");
  // The edit's border in the skin's shadow colour; typing still reaches the edit.
  HWND edit = Win("Edit1")->Handle();
  RECT er{};
  GetWindowRect(edit, &er);
  const COLORREF shadow = SkinColour(data, kSlotButtonShadow);
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(er.left, (er.top + er.bottom) / 2) == shadow; }, 5000));
  SetFocus(edit);
  SetWindowTextA(edit, "");
  ASSERT_TRUE(Xdo("type abc"));
  EXPECT_TRUE(PumpUntil([&] { return Win("Edit1")->Text() == "abc"; }, 5000)) << Win("Edit1")->Text();

  // Up-down halves: left margin column, a quarter and three quarters down.
  auto* spin = As<TUpDown>("UpDown1");
  HWND ud = spin->Handle();
  RECT uc{};
  GetClientRect(ud, &uc);
  const int upY = uc.bottom / 4, downY = uc.bottom * 3 / 4;
  EXPECT_TRUE(Shows(ud, 1, upY, Code("UpDown.Vert", "Image", 1, 3)));
  EXPECT_TRUE(Shows(ud, 1, downY, Code("UpDown.Vert", "Image", 5, 3)));
  ASSERT_TRUE(MoveTo(ScreenOf(ud, uc.right / 2, downY)));
  EXPECT_TRUE(Shows(ud, 1, downY, Code("UpDown.Vert", "Image", 8, 3)));  // lower half hot
  EXPECT_TRUE(Shows(ud, 1, upY, Code("UpDown.Vert", "Image", 1, 3)));
  ASSERT_TRUE(Xdo("mousedown 1"));
  EXPECT_TRUE(Shows(ud, 1, downY, Code("UpDown.Vert", "Image", 6, 3)));  // held
  ASSERT_TRUE(Xdo("mouseup 1"));
  EXPECT_TRUE(PumpUntil([&] { return spin->Position() < 42; }, 5000)) << spin->Position();
  const int afterDown = spin->Position();
  ASSERT_TRUE(MoveTo(ScreenOf(ud, uc.right / 2, upY)));
  ASSERT_TRUE(Xdo("click 1"));
  EXPECT_TRUE(PumpUntil([&] { return spin->Position() == afterDown + 1; }, 5000)) << spin->Position();
  Park();
  spin->SetEnabled(false);
  EXPECT_TRUE(Shows(ud, 1, upY, Code("UpDown.Vert", "Image", 3, 3)));
  EXPECT_TRUE(Shows(ud, 1, downY, Code("UpDown.Vert", "Image", 7, 3)));

  // The combo's button: the combined strip's glyph part, frame by state.
  auto* combo = As<TComboBox>("ComboBox1");
  HWND cb = combo->Handle();
  RECT cc{};
  GetClientRect(cb, &cc);
  const int bx = cc.right - 9, by = cc.bottom / 2;
  SetFocus(Win("Edit1")->Handle());
  EXPECT_TRUE(Shows(cb, bx, by, Code("ExtraImages", "Image", 1, 4)));
  ASSERT_TRUE(MoveTo(ScreenOf(cb, bx, by)));
  EXPECT_TRUE(Shows(cb, bx, by, Code("ExtraImages", "Image", 4, 4)));  // hot
  ASSERT_TRUE(Xdo("mousedown 1"));
  EXPECT_TRUE(Shows(cb, bx, by, Code("ExtraImages", "Image", 2, 4)));  // held
  ASSERT_TRUE(Xdo("mouseup 1"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(cb, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5000));
  SendMessageW(cb, CB_SHOWDROPDOWN, FALSE, 0);
  Park();
  SetFocus(cb);
  EXPECT_TRUE(Shows(cb, bx, by, Code("ExtraImages", "Image", 4, 4)));  // focused
  ASSERT_TRUE(Xdo("key alt+Down"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(cb, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5000));
  ASSERT_TRUE(Xdo("key Escape"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(cb, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 5000));
  ASSERT_TRUE(Xdo("key Down"));
  EXPECT_TRUE(PumpUntil([&] { return combo->ItemIndex() == 1; }, 5000)) << combo->ItemIndex();
  SetFocus(Win("Edit1")->Handle());
  combo->SetEnabled(false);
  EXPECT_TRUE(Shows(cb, bx, by, Code("ExtraImages", "Image", 3, 4)));
}

TEST_F(Form1Painters, PickerArrowOpensTheCalendarAndTimePickerSpinIsSkinnedOnce) {
  EXPECT_EQ(PainterOf("DateTimePicker1"), "TSkinDateTime");
  HWND picker = Win("DateTimePicker1")->Handle();
  HWND arrow = nullptr;
  for (HWND c = GetWindow(picker, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (SendMessageW(c, kMsgIsSkinned, 0, 0) == 1 && TWinControl::FindControl(c) &&
        TWinControl::FindControl(c)->IsNamed("TArrowButton"))
      arrow = c;
  ASSERT_TRUE(arrow);
  RECT ac{};
  GetClientRect(arrow, &ac);
  // The arrow's centre: the strip's glyph, frame 1; 4 under the pointer.
  EXPECT_TRUE(Shows(arrow, ac.right / 2, ac.bottom / 2, Code("ExtraImages", "Image", 1, 4)));
  ASSERT_TRUE(MoveTo(ScreenOf(arrow, ac.right / 2, ac.bottom / 2)));
  EXPECT_TRUE(Shows(arrow, ac.right / 2, ac.bottom / 2, Code("ExtraImages", "Image", 4, 4)));
  ASSERT_TRUE(Xdo("click 1"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(picker, DTM_GETMONTHCAL, 0, 0) != 0; }, 5000));
  ASSERT_TRUE(Xdo("key Escape"));
  Park();

  // A time picker spins in either date mode: the edit painter gives the spin one
  // up-down painter, however often the picker paints, and its face shows on screen
  // (no drop-down arrow over it).
  int left = 12;
  for (const TDTDateMode mode : {TDTDateMode::dmUpDown, TDTDateMode::dmComboBox}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto* time = new TDateTimePicker(form);
    time->SetKind(TDateTimeKind::dtkTime);
    time->SetDateMode(mode);
    time->SetParent(Win("InputGroup"));
    time->SetBounds(left, 118, 110, 24);
    left += 116;
    FormChildrenSeam().SkinChildren(*skinner);
    HWND spin = FindWindowExA(time->Handle(), nullptr, "msctls_updown32", nullptr);
    ASSERT_TRUE(spin);
    for (int i = 0; i < 3; i++) {
      RedrawWindow(time->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
      FormChildrenSeam().SkinChildren(*skinner);
    }
    TSkinEdit* edit = Painter<TSkinEdit>(time);
    ASSERT_TRUE(edit);
    ASSERT_TRUE(edit->UpDown);
    EXPECT_EQ(edit->UpDown->Handle, spin);
    // Nothing subclassed the spin after its one painter.
    EXPECT_EQ(GetWindowProc(spin), edit->UpDown->ObjectInstance());
    EXPECT_EQ(SendMessageW(spin, kMsgIsSkinned, 0, 0), 1);
    RECT sc{};
    GetClientRect(spin, &sc);
    EXPECT_TRUE(Shows(spin, 1, sc.bottom / 4, Code("UpDown.Vert", "Image", 1, 3)));
  }
}

TEST_F(Form1Painters, TrackBarAndProgressDrawFromTheSkin) {
  EXPECT_EQ(PainterOf("TrackBar1"), "TSkinTrackBar");
  EXPECT_EQ(PainterOf("ProgressBar1"), "TSkinProgress");
  auto* track = As<TTrackBar>("TrackBar1");
  HWND tb = track->Handle();
  RECT thumb{}, channel{};
  SendMessageW(tb, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  SendMessageW(tb, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  const int cy = (channel.top + channel.bottom) / 2;
  // The groove's middle away from the thumb, the thumb's frame 2 at its centre.
  const int grooveX = thumb.right + 20 < channel.right - 4 ? thumb.right + 20 : channel.left + 6;
  EXPECT_TRUE(Shows(tb, grooveX, cy, Code("Track", "Image", 1, 4)));
  EXPECT_TRUE(Shows(tb, (thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2,
                    Code("Trackbar.ThumbHorz", "Image", 2, 4)));
  // The system still draws the ticks: a tick's column differs from the one between.
  const int tick = static_cast<int>(SendMessageW(tb, TBM_GETTICPOS, 0, 0));
  const int next = static_cast<int>(SendMessageW(tb, TBM_GETTICPOS, 1, 0));
  ASSERT_GT(tick, 0);
  RECT client{};
  GetClientRect(tb, &client);
  const bool ticksShow = PumpUntil([&] {
    for (int y = thumb.bottom; y < client.bottom; y++) {
      const POINT a = ScreenOf(tb, tick, y), b = ScreenOf(tb, (tick + next) / 2, y);
      if (ScreenPixel(a.x, a.y) != ScreenPixel(b.x, b.y)) return true;
    }
    return false;
  }, 5000);
  EXPECT_TRUE(ticksShow);
  // A thumb drag and the arrow keys still move it.
  const int before = track->Position();
  ASSERT_TRUE(MoveTo(ScreenOf(tb, (thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2)));
  ASSERT_TRUE(Xdo("mousedown 1"));
  ASSERT_TRUE(MoveTo(ScreenOf(tb, (thumb.left + thumb.right) / 2 + 60, (thumb.top + thumb.bottom) / 2)));
  ASSERT_TRUE(Xdo("mouseup 1"));
  EXPECT_TRUE(PumpUntil([&] { return track->Position() > before + 2; }, 5000)) << track->Position();
  const int dragged = track->Position();
  SetFocus(tb);
  ASSERT_TRUE(Xdo("key Left"));
  EXPECT_TRUE(PumpUntil([&] { return track->Position() == dragged - 1; }, 5000)) << track->Position();
  Park();
  // A hidden bar reskins without taking the focus.
  track->Hide();
  HWND focus = GetFocus();
  for (TSkinControl* p : skinner->Painters())
    if (p->Owner() == track) p->Reskin();
  EXPECT_EQ(GetFocus(), focus);
  track->Show();

  // Progress: frame 2 up to the fill, frame 1 after it.
  auto* bar = As<TProgressBar>("ProgressBar1");
  HWND pb = bar->Handle();
  RECT pc{};
  GetClientRect(pb, &pc);
  const int y = pc.bottom / 2;
  int fill = ProgressFill(pc.right, 60, 0, 100);
  EXPECT_TRUE(Shows(pb, fill - 5, y, Code("Progress", "Bitmap", 2, 4)));
  EXPECT_TRUE(Shows(pb, fill + 5, y, Code("Progress", "Bitmap", 1, 4)));
  bar->SetMin(50);  // a minimum above 0: a fifth of the range filled
  fill = ProgressFill(pc.right, 60, 50, 100);
  EXPECT_TRUE(Shows(pb, fill + 5, y, Code("Progress", "Bitmap", 1, 4)));
  EXPECT_TRUE(Shows(pb, fill - 5, y, Code("Progress", "Bitmap", 2, 4)));
  bar->SetMin(0);
  bar->SetPosition(0);  // background only
  EXPECT_TRUE(Shows(pb, 5, y, Code("Progress", "Bitmap", 1, 4)));
}

TEST_F(Form1Painters, TabsPaneSheetsHeaderAndStatusBar) {
  EXPECT_EQ(PainterOf("PageControl1"), "TSkinTab");
  EXPECT_EQ(PainterOf("ButtonsSheet"), "TSkinTabSheet");
  EXPECT_EQ(PainterOf("StatusBar1"), "TSkinStatusBar");
  auto* pages = As<TPageControl>("PageControl1");
  HWND pc = pages->Handle();
  auto tabAt = [&](int i) {
    RECT r{};
    SendMessageW(pc, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
  };
  // Left margin column of each tab, a pixel below its middle: current 2, others 1.
  auto tabShows = [&](int i, int frame) {
    const RECT r = tabAt(i);
    return Shows(pc, r.left + 1, (r.top + r.bottom) / 2 + 1, Code("Tabs", "Image", frame, 3));
  };
  EXPECT_TRUE(tabShows(0, 2));
  EXPECT_TRUE(tabShows(1, 1));
  EXPECT_TRUE(tabShows(2, 1));
  // The pane round the pages, and the sheet's own background.
  RECT display{};
  GetClientRect(pc, &display);
  SendMessageW(pc, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  EXPECT_TRUE(Shows(pc, display.left - 3, (display.top + display.bottom) / 2, Code("Tabs", "Border", 1, 3)));
  HWND sheet = Win("ButtonsSheet")->Handle();
  RECT sc{};
  GetClientRect(sheet, &sc);
  EXPECT_TRUE(Shows(sheet, sc.right - 3, sc.bottom - 3, SkinColour(data, kSlotButtonFace)));
  // A click on a tab still switches pages.
  const RECT third = tabAt(2);
  ASSERT_TRUE(MoveTo(ScreenOf(pc, (third.left + third.right) / 2, (third.top + third.bottom) / 2)));
  ASSERT_TRUE(Xdo("click 1"));
  EXPECT_TRUE(PumpUntil([&] { return pages->ActivePageIndex() == 2; }, 5000));
  EXPECT_TRUE(tabShows(2, 2));
  EXPECT_TRUE(tabShows(0, 1));

  // The header (on the third page): items in frame 1, the one under the pointer 2,
  // none hot once the pointer has left.
  EXPECT_EQ(PainterOf("Header1"), "TSkinHeader");
  HWND header = Win("Header1")->Handle();
  RECT first{}, second{};
  SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  SendMessageW(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
  const int hy = (first.top + first.bottom) / 2;
  EXPECT_TRUE(Shows(header, first.left + 1, hy, Code("Headerbar", "Image", 1, 3)));
  ASSERT_TRUE(MoveTo(ScreenOf(header, (second.left + second.right) / 2, hy)));
  EXPECT_TRUE(Shows(header, second.left + 1, hy, Code("Headerbar", "Image", 2, 3)));
  EXPECT_TRUE(Shows(header, first.left + 1, hy, Code("Headerbar", "Image", 1, 3)));
  Park();
  EXPECT_TRUE(Shows(header, second.left + 1, hy, Code("Headerbar", "Image", 1, 3)));

  // Status bar: lowered panels in frame 1 (left margin column), the grip frame 5.
  HWND status = Win("StatusBar1")->Handle();
  RECT part{}, bar{};
  SendMessageW(status, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
  GetClientRect(status, &bar);
  EXPECT_TRUE(Shows(status, part.left + 1, (part.top + part.bottom) / 2, Code("StatusBarEdges", "Image", 1, 3)));
  const skintest::TManifestImage* extra = skintest::TestSkin().Find("ExtraImages", "Image");
  ASSERT_TRUE(extra);
  const TSliceRect grip = SizeGripRect(bar.right, bar.bottom, extra->Width, extra->Height, extra->Frames);
  EXPECT_TRUE(Shows(status, (grip.Left + grip.Right) / 2, (grip.Top + grip.Bottom) / 2,
                    Code("ExtraImages", "Image", 5, 4)));
}

TEST_F(Form1Painters, CloseBoxesFreeTheClickedPage) {
  // A page control of its own with Tag 7777 and a hidden tab before the last.
  auto* pages = new TPageControl(form);
  pages->SetTag(7777);
  pages->SetParent(form);
  pages->SetBounds(500, 300, 300, 150);
  TTabSheet* sheets[3];
  for (int i = 0; i < 3; i++) {
    sheets[i] = new TTabSheet(form);
    sheets[i]->SetCaption("Sheet " + std::to_string(i));
    sheets[i]->SetPageControl(pages);
  }
  sheets[1]->SetTabVisible(false);
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinTab* painter = Painter<TSkinTab>(pages);
  ASSERT_TRUE(painter);
  ASSERT_TRUE(painter->CloseButtons);
  HWND pc = pages->Handle();
  ASSERT_TRUE(PumpUntil([&] { return painter->TabRects.size() == 2 && !painter->TabRects[1].Empty(); }, 5000));
  const TSliceRect square = painter->TabRects[1];
  const LPARAM at = MAKELPARAM((square.Left + square.Right) / 2, (square.Top + square.Bottom) / 2);
  // The form keeps its pages when it answers non-zero.
  form->keepPages = true;
  SendMessageW(pc, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(pc, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(form->closeAsked, 1);
  EXPECT_EQ(pages->PageCount(), 3);
  // Answered 0: the sheet that shows tab 1 goes (the third; the hidden one stays).
  form->keepPages = false;
  SendMessageW(pc, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(pc, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(form->closeAsked, 2);
  ASSERT_EQ(pages->PageCount(), 2);
  EXPECT_EQ(pages->Pages(0), sheets[0]);
  EXPECT_EQ(pages->Pages(1), sheets[1]);
  // A square left over from before the repaint frees nothing now.
  if (painter->TabRects.size() < 2) painter->TabRects.push_back(square);
  else painter->TabRects[1] = square;
  SendMessageW(pc, WM_LBUTTONDOWN, MK_LBUTTON, at);
  EXPECT_EQ(pages->PageCount(), 2);
}

// On an MDI child the close box asks the child's own form, not the frame.
TEST_F(Form1Painters, CloseBoxOnAnMdiChildAsksTheChild) {
  TCustomForm* mainForm = Application->MainForm();
  auto frameForm = std::make_unique<TForm>();
  frameForm->SetFormStyle(TFormStyle::fsMDIForm);
  frameForm->SetBounds(60, 40, 700, 500);
  frameForm->Show();
  Application->SetMainForm(frameForm.get());
  struct TRestoreMain {
    TCustomForm* form;
    ~TRestoreMain() { Application->SetMainForm(form); }
  } restoreMain{mainForm};
  auto child = std::make_unique<TInputsTestForm>();
  child->SetFormStyle(TFormStyle::fsMDIChild);
  child->SetBounds(0, 0, 500, 360);
  child->Show();
  auto childSkinner = std::make_unique<TWinSkinForm>();
  childSkinner->Hwnd = child->Handle();
  childSkinner->AttachForm(data, child.get());
  PostMessageA(child->Handle(), kMsgActivateSkin, 0, 1000);
  ASSERT_TRUE(PumpUntil([&] { return childSkinner->SkinActivated != 0; }));
  auto* pages = new TPageControl(child.get());
  pages->SetTag(7777);
  pages->SetParent(child.get());
  pages->SetBounds(10, 10, 300, 150);
  for (int i = 0; i < 2; i++) {
    auto* sheet = new TTabSheet(child.get());
    sheet->SetCaption("Sheet " + std::to_string(i));
    sheet->SetPageControl(pages);
  }
  FormChildrenSeam().SkinChildren(*childSkinner);
  TSkinTab* painter = nullptr;
  for (TSkinControl* p : childSkinner->Painters())
    if (p->Owner() == pages) painter = dynamic_cast<TSkinTab*>(p);
  ASSERT_TRUE(painter);
  ASSERT_TRUE(PumpUntil([&] { return painter->TabRects.size() == 2 && !painter->TabRects[1].Empty(); }, 5000));
  const TSliceRect square = painter->TabRects[1];
  const LPARAM at = MAKELPARAM((square.Left + square.Right) / 2, (square.Top + square.Bottom) / 2);
  child->keepPages = true;
  SendMessageW(pages->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(pages->Handle(), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(child->closeAsked, 1);
  EXPECT_EQ(pages->PageCount(), 2);
  childSkinner.reset();
  child.reset();
  frameForm.reset();
}

TEST_F(Form1Painters, CheckListMarksFollowTheStatesAndStillToggle) {
  EXPECT_EQ(PainterOf("CheckListBox1"), "TSkinCheckList");
  auto* list = As<TCheckListBox>("CheckListBox1");
  list->AllowGrayed = true;
  HWND h = list->Handle();
  const skintest::TManifestImage* strip = skintest::TestSkin().Find("Buttons", "CheckButton");
  ASSERT_TRUE(strip);
  auto itemRect = [&](int index) {
    RECT r{};
    SendMessageW(h, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    return r;
  };
  // The mark's centre, on the 12-frame strip: unchecked 1, checked 5, grayed 8.
  auto markShows = [&](int index, int frame) {
    const RECT r = itemRect(index);
    return Shows(h, r.left + 1 + strip->FrameWidth / 2, (r.top + r.bottom) / 2, Code("Buttons", "CheckButton", frame, 4));
  };
  EXPECT_TRUE(markShows(0, 1));
  list->SetState(0, TCheckBoxState::cbChecked);
  list->SetState(1, TCheckBoxState::cbGrayed);
  EXPECT_TRUE(markShows(0, 5));
  EXPECT_TRUE(markShows(1, 8));
  // A click in the box moves the grayed item on to unchecked; space on the checked
  // one moves it to grayed.
  const RECT box = TCheckListBox::CheckBoxRect(itemRect(1));
  const LPARAM at = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(h, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(list->State(1), TCheckBoxState::cbUnchecked);
  EXPECT_TRUE(markShows(1, 1));
  list->SetItemIndex(0);
  SetFocus(h);
  ASSERT_TRUE(Xdo("key space"));
  EXPECT_TRUE(PumpUntil([&] { return list->State(0) == TCheckBoxState::cbGrayed; }, 5000));
  EXPECT_TRUE(markShows(0, 8));
}

TEST_F(Form1Painters, AdvancedPageControlGetsTabPicturesFromTheSkin) {
  data->Skin3rd()->Add("TAdvPageStandIn=advpagecontrol");
  auto* pages = new TAdvPageStandIn(form);
  pages->SetParent(form);
  pages->SetBounds(500, 300, 300, 150);
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinControl* painter = Painter(pages);
  ASSERT_TRUE(painter);
  EXPECT_STREQ(painter->ClassName().c_str(), "TSkinAdvPage");
  // 100 x 21 pictures of the "Tabs" frames 1 and 2 (left edge, middle row).
  ASSERT_EQ(pages->normal->Width(), 100);
  ASSERT_EQ(pages->active->Height(), 21);
  EXPECT_EQ(GetPixel(pages->normal->Canvas().Handle(), 1, 10), Code("Tabs", "Image", 1, 3));
  EXPECT_EQ(GetPixel(pages->active->Canvas().Handle(), 1, 10), Code("Tabs", "Image", 2, 3));
  EXPECT_EQ(GetPixel(pages->active->Canvas().Handle(), 50, 10), Code("Tabs", "Image", 2, 4));
  painter->Unskin();
  EXPECT_EQ(pages->normal->Width(), 0);
  EXPECT_EQ(pages->active->Width(), 0);
}

TEST_F(Form1Painters, VerticalTrackBarUsesItsOwnGroove) {
  auto* track = new TTrackBar(form);
  track->SetOrientation(TTrackBarOrientation::trVertical);
  track->SetParent(form);
  track->SetBounds(980, 300, 40, 200);
  FormChildrenSeam().SkinChildren(*skinner);
  HWND tb = track->Handle();
  RECT thumb{};
  SendMessageW(tb, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const int cx = (thumb.left + thumb.right) / 2;
  // Below the thumb, on the groove: "TRACKVERT", its middle slice.
  RECT channel{};
  SendMessageW(tb, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  if (channel.right - channel.left > channel.bottom - channel.top)  // reported turned
    channel = {channel.top, channel.left, channel.bottom, channel.right};
  EXPECT_TRUE(Shows(tb, (channel.left + channel.right) / 2, thumb.bottom + 30, Code("TRACKVERT", "Image", 1, 4)));
  EXPECT_TRUE(Shows(tb, cx, (thumb.top + thumb.bottom) / 2, Code("Trackbar.ThumbVert", "Image", 2, 4)));
}

// Skins without some elements: the painters fall back or leave the control alone.
TEST_F(Form1Painters, SkinsWithoutElementsFallBack) {
  const std::vector<uint8_t> variant =
      VariantSkin("nobars", {"StatusBarEdges", "Headerbar", "SunkEdge", "TRACKVERT"},
                  {{{"ComboButton", "Style", "1"}}, {{"Progress", "Style", "1"}}});
  ASSERT_FALSE(variant.empty());
  data->SetSkinStreamBytes(variant);
  ASSERT_TRUE(data->LoadSkin());
  ASSERT_FALSE(data->Skin().StatusBarEdges);
  ASSERT_FALSE(data->Skin().TrackVert);  // the skin has a groove of its own
  auto* upright = new TTrackBar(form);
  upright->SetOrientation(TTrackBarOrientation::trVertical);
  upright->SetParent(form);
  upright->SetBounds(980, 300, 40, 200);
  FormChildrenSeam().SkinChildren(*skinner);
  RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  // A vertical bar without "TRACKVERT": "Track" turned upright along its channel,
  // its middle below the thumb and its end cap at the channel's foot.
  HWND tb = upright->Handle();
  RECT thumb{}, channel{};
  SendMessageW(tb, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  SendMessageW(tb, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  if (channel.right - channel.left > channel.bottom - channel.top)  // reported turned
    channel = {channel.top, channel.left, channel.bottom, channel.right};
  const int gx = (channel.left + channel.right) / 2;
  EXPECT_TRUE(Shows(tb, gx, thumb.bottom + 30, Code("Track", "Image", 1, 4)));
  EXPECT_TRUE(Shows(tb, gx, channel.bottom - 1, Code("Track", "Image", 1, 5)));
  // Status-bar panels in system 3D frames: a lowered panel's left edge in shadow.
  HWND status = Win("StatusBar1")->Handle();
  RECT part{};
  SendMessageW(status, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
  EXPECT_TRUE(Shows(status, part.left, (part.top + part.bottom) / 2, GetSysColor(COLOR_BTNSHADOW)));
  // The combo's button in Style 1, without the sunk edge: the strip's own frame 1.
  HWND cb = Win("ComboBox1")->Handle();
  RECT cc{};
  GetClientRect(cb, &cc);
  const skintest::TManifestImage* button = skintest::TestSkin().Find("ComboButton", "Image");
  ASSERT_TRUE(button);
  SetFocus(Win("Edit1")->Handle());
  EXPECT_TRUE(Shows(cb, cc.right - 2 - button->FrameWidth / 2, 2 + button->FrameHeight / 2,
                    Code("ComboButton", "Image", 1, 4)));
  // Progress in chunk mode: the stretched chunk over the filled part.
  HWND pb = Win("ProgressBar1")->Handle();
  RECT pc{};
  GetClientRect(pb, &pc);
  const int fill = ProgressFill(pc.right, 60, 0, 100);
  EXPECT_TRUE(Shows(pb, fill / 2, pc.bottom / 2, Code("Progress.Chunk", "Image", 1, 4)));
  // The header is left to the system: its painter draws no item after a paint.
  As<TPageControl>("PageControl1")->SetActivePageIndex(2);
  HWND header = Win("Header1")->Handle();
  ASSERT_TRUE(IsWindowVisible(header));
  UpdateWindow(header);
  TSkinHeader* painter = Painter<TSkinHeader>(Win("Header1"));
  ASSERT_TRUE(painter);
  EXPECT_TRUE(painter->ItemRects.empty());
}

// ScrollBar1 under its kind-2 overlay takes arrow, page and thumb presses as an
// unskinned twin does, and the overlay hides and shows with it.
TEST_F(Form1Painters, ScrollBarOverlayWorksLikeTheBarAndHidesWithIt) {
  EXPECT_EQ(PainterOf("ScrollBar1"), "TSkinScControl");
  auto* bar = As<TScrollBar>("ScrollBar1");
  auto* twin = new TScrollBar(form);
  twin->SetTag(data->DisableTag);
  twin->SetParent(form);
  twin->SetBounds(760, 300, bar->Width(), bar->Height());
  twin->SetMax(bar->Max());
  twin->SetPosition(bar->Position());
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinScControl* painter = Painter<TSkinScControl>(bar);
  ASSERT_TRUE(painter && painter->ScrollPanel);
  HWND panel = painter->ScrollPanel->Handle();
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(panel) != FALSE; }, 5000));
  RECT pr{}, br{};
  GetWindowRect(panel, &pr);
  GetWindowRect(bar->Handle(), &br);
  EXPECT_TRUE(EqualRect(&pr, &br));
  // The same presses at the same places of both bars.
  auto press = [&](TScrollBar* b, int x) {
    const POINT p = ScreenOf(b->Handle(), x, b->Height() / 2);
    return MoveTo(p) && Xdo("click 1");
  };
  const int w = bar->Width();
  for (int x : {w - 6, w - 6, w * 3 / 4, 6}) {
    ASSERT_TRUE(press(bar, x));
    ASSERT_TRUE(press(twin, x));
    EXPECT_TRUE(PumpUntil([&] { return bar->Position() == twin->Position(); }, 5000))
        << x << ": " << bar->Position() << " vs " << twin->Position();
  }
  // A thumb drag by 60 pixels, from the thumb the system shows.
  auto drag = [&](TScrollBar* b) {
    SCROLLBARINFO info{sizeof info};
    GetScrollBarInfo(b->Handle(), OBJID_CLIENT, &info);
    const int x = (info.xyThumbTop + info.xyThumbBottom) / 2;
    return Drag(ScreenOf(b->Handle(), x, b->Height() / 2), ScreenOf(b->Handle(), x + 60, b->Height() / 2));
  };
  const int before = bar->Position();
  ASSERT_TRUE(drag(bar));
  ASSERT_TRUE(drag(twin));
  EXPECT_TRUE(PumpUntil([&] { return bar->Position() > before && std::abs(bar->Position() - twin->Position()) <= 1; },
                        5000))
      << bar->Position() << " vs " << twin->Position();
  Park();
  bar->Hide();
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(panel); }, 5000));
  bar->Show();
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(panel) != FALSE; }, 5000));
}

// A scroll-bar control's overlay shows the control's enabled state as it changes,
// and a control thicker than the skin's bar gets the bar at its own thickness.
TEST_F(Form1Painters, ScrollBarOverlayFollowsEnablingAndKeepsItsThickness) {
  auto* bar = new TScrollBar(form);
  bar->SetParent(form);
  bar->SetBounds(760, 300, 240, 40);
  bar->SetMax(50);
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinScControl* painter = Painter<TSkinScControl>(bar);
  ASSERT_TRUE(painter && painter->ScrollPanel);
  HWND panel = painter->ScrollPanel->Handle();
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(panel) != FALSE; }, 5000));
  const int x = bar->Width() - GetSystemMetrics(SM_CXHSCROLL) - 10;
  EXPECT_TRUE(Shows(panel, x, 6, Code("HorzScroll", "Image", 1, 4)));
  EXPECT_TRUE(Shows(panel, x, 34, SkinColour(data, kSlotButtonFace)));  // below the bar's thickness
  bar->SetEnabled(false);
  EXPECT_TRUE(Shows(panel, x, 6, Code("HorzScroll", "Image", 3, 4)));
  bar->SetEnabled(true);
  EXPECT_TRUE(Shows(panel, x, 6, Code("HorzScroll", "Image", 1, 4)));
}

// The status bar's text ignores its font's style; a tab caption's "&" marks the
// accelerator and takes no room; check-list items lie on the list's colour.
TEST_F(Form1Painters, StatusFontTabPrefixAndCheckListColour) {
  auto* status = As<TStatusBar>("StatusBar1");
  const TPainted plain = Painted(status->Handle());
  status->Font()->SetStyle(fsBold | fsItalic);
  EXPECT_EQ(Painted(status->Handle()), plain);
  status->Font()->SetStyle(0);

  auto* pages = As<TPageControl>("PageControl1");
  auto* sheet = As<TTabSheet>("ButtonsSheet");
  const std::string caption = sheet->Caption();
  // The width of the caption's ink inside tab 0 (its face is frame-coded: blue 0x11).
  auto inkWidth = [&](const std::string& text) {
    sheet->SetCaption(text);
    RECT r{};
    SendMessageW(pages->Handle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
    const TPainted p = Painted(pages->Handle());
    int left = INT_MAX, right = -1;
    for (int y = r.top + (r.bottom - r.top) / 4; y < r.bottom - 3; ++y)
      for (int x = r.left + 4; x < r.right - 4; ++x)
        if ((p.At(x, y) & 0xFF) != 0x11) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    return right - left;
  };
  const int withPrefix = inkWidth("W&W"), without = inkWidth("WW");
  sheet->SetCaption(caption);
  EXPECT_GT(without, 4);
  EXPECT_LE(std::abs(withPrefix - without), 1) << withPrefix << " vs " << without;

  auto* checks = As<TCheckListBox>("CheckListBox1");
  const COLORREF colour = RGB(200, 230, 250);
  checks->SetColor(static_cast<TColor>(colour));
  checks->Invalidate();
  RECT item{};
  SendMessageW(checks->Handle(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
  EXPECT_TRUE(Shows(checks->Handle(), item.right - 3, (item.top + item.bottom) / 2, colour));
}

// The combo's drop-down list is painted with its own bar and scrolls by wheel and
// thumb drag; the list view's header gets the header painter.
TEST_F(Form1Painters, ComboListScrollsAndListViewHeaderIsSkinned) {
  auto* combo = As<TComboBox>("ComboBox1");
  std::vector<std::string> items;
  for (int i = 0; i < 40; i++) items.push_back("Choice " + std::to_string(i));
  combo->SetItems(items);
  TSkinComBox* painter = Painter<TSkinComBox>(combo);
  ASSERT_TRUE(painter && painter->ListPainter);
  EXPECT_STREQ(painter->ListPainter->ClassName().c_str(), "TComboxScrollBar");
  HWND cb = combo->Handle();
  SendMessageW(cb, CB_SHOWDROPDOWN, TRUE, 0);
  HWND list = painter->Info.hwndList;
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(list) != FALSE; }, 5000));
  RECT lc{};
  GetClientRect(list, &lc);
  ASSERT_TRUE(MoveTo(ScreenOf(list, lc.right / 2, lc.bottom / 2)));
  ASSERT_TRUE(Xdo("click 5"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(list, LB_GETTOPINDEX, 0, 0) > 0; }, 5000));
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  SCROLLBARINFO info{sizeof info};
  ASSERT_TRUE(GetScrollBarInfo(list, OBJID_VSCROLL, &info));
  const int x = (info.rcScrollBar.left + info.rcScrollBar.right) / 2;
  const int y = info.rcScrollBar.top + (info.xyThumbTop + info.xyThumbBottom) / 2;
  ASSERT_TRUE(Drag({x, y}, {x, y + 40}));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(list, LB_GETTOPINDEX, 0, 0) > top; }, 5000))
      << SendMessageW(list, LB_GETTOPINDEX, 0, 0) << " after " << top;
  SendMessageW(cb, CB_SHOWDROPDOWN, FALSE, 0);
  Park();

  EXPECT_EQ(PainterOf("ListView1"), "TSkinListView");
  HWND header = reinterpret_cast<HWND>(SendMessageW(Win("ListView1")->Handle(), LVM_GETHEADER, 0, 0));
  ASSERT_TRUE(header);
  EXPECT_EQ(SendMessageW(header, kMsgIsSkinned, 0, 0), 1);
  RECT first{};
  SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  EXPECT_TRUE(Shows(header, first.left + 1, (first.top + first.bottom) / 2, Code("Headerbar", "Image", 1, 3)));
}

// A tab set gets the tab-set painter: upside-down "Tabs" faces (the selected one in
// frame 2), its scroller a horizontal up-down painter; clicks still select tabs
// and scroll them.
TEST_F(Form1Painters, TabSetShowsFlippedTabsAndItsScrollerStillWorks) {
  auto* set = new TTabSet(form);
  set->SetParent(form);
  set->SetBounds(500, 300, 300, 24);
  std::vector<std::string> tabs;
  for (int i = 0; i < 12; i++) tabs.push_back("Lesson " + std::to_string(i));
  set->SetTabs(tabs);
  set->SetTabIndex(0);
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinTab31* painter = Painter<TSkinTab31>(set);
  ASSERT_TRUE(painter);
  ASSERT_TRUE(painter->UpDown);
  EXPECT_TRUE(painter->UpDown->Horizontal);
  HWND h = set->Handle();
  // A tab's left margin column half-way down, and its top row, which the flip gives
  // the bottom edge's slice.
  auto tabShows = [&](int i, int frame) {
    const RECT r = set->ItemRect(i);
    return r.right > r.left && Shows(h, r.left + 1, (r.top + r.bottom) / 2, Code("Tabs", "Image", frame, 3)) &&
           Shows(h, (r.left + r.right) / 2, r.top, Code("Tabs", "Image", frame, 7));
  };
  EXPECT_TRUE(tabShows(0, 2));
  EXPECT_TRUE(tabShows(1, 1));
  const RECT second = set->ItemRect(1);
  ASSERT_TRUE(MoveTo(ScreenOf(h, (second.left + second.right) / 2, (second.top + second.bottom) / 2)));
  ASSERT_TRUE(Xdo("click 1"));
  EXPECT_TRUE(PumpUntil([&] { return set->TabIndex() == 1; }, 5000));
  EXPECT_TRUE(tabShows(1, 2));
  EXPECT_TRUE(tabShows(0, 1));
  Park();
  // The scroller's halves, left margin columns: left frame 1, right frame 5.
  TScroller* scroller = set->Scroller();
  ASSERT_TRUE(scroller->Visible());
  HWND sh = scroller->Handle();
  const int half = scroller->Width() / 2, sy = scroller->Height() / 2;
  EXPECT_TRUE(Shows(sh, 1, sy, Code("UpDown.Horz", "Image", 1, 3)));
  EXPECT_TRUE(Shows(sh, half + 1, sy, Code("UpDown.Horz", "Image", 5, 3)));
  ASSERT_TRUE(MoveTo(ScreenOf(sh, half + half / 2, sy)));
  EXPECT_TRUE(Shows(sh, half + 1, sy, Code("UpDown.Horz", "Image", 8, 3)));  // right half hot
  ASSERT_TRUE(Xdo("click 1"));
  EXPECT_TRUE(PumpUntil([&] { return set->FirstIndex() == 1; }, 5000)) << set->FirstIndex();
  Park();
  EXPECT_TRUE(tabShows(1, 2));  // now the first tab shown, still selected
  EXPECT_EQ(set->ItemRect(0).right, 0);
}

// Tabs on the left and right come turned with their captions: the caption's ink in
// a tab is taller than wide.
TEST_F(Form1Painters, SideTabsTurnTheirCaptions) {
  for (TTabPosition side : {TTabPosition::tpLeft, TTabPosition::tpRight}) {
    auto* pages = new TPageControl(form);
    pages->SetTabPosition(side);
    pages->SetParent(form);
    pages->SetBounds(500, 300, 300, 200);
    for (const char* caption : {"Worksheets", "Drawings"}) {
      auto* sheet = new TTabSheet(form);
      sheet->SetCaption(caption);
      sheet->SetPageControl(pages);
    }
    FormChildrenSeam().SkinChildren(*skinner);
    HWND pc = pages->Handle();
    RECT tab{};
    ASSERT_TRUE(SendMessageW(pc, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&tab)));
    ASSERT_GT(tab.bottom - tab.top, tab.right - tab.left);  // the system lays side tabs upright
    InflateRect(&tab, -5, -5);  // inside the faces' margins
    // Ink: whatever is not one of the frame-coded faces (their blue is 0x11).
    auto inkTallerThanWide = [&] {
      const std::vector<COLORREF> pixels = ScreenArea(pc, tab);
      const int w = tab.right - tab.left;
      int left = w, right = -1, top = 1 << 20, bottom = -1;
      for (size_t i = 0; i < pixels.size(); i++) {
        if (GetBValue(pixels[i]) == 0x11) continue;
        const int x = static_cast<int>(i) % w, y = static_cast<int>(i) / w;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
      return right >= 0 && bottom - top > 2 * (right - left) && bottom - top > 20;
    };
    EXPECT_TRUE(PumpUntil(inkTallerThanWide, 5000)) << (side == TTabPosition::tpLeft ? "left" : "right");
    pages->Hide();
  }
}

// An extended combo marked so by a Skin3rd row: its inner combo, which covers it,
// shows the border and the "ComboxArrow" button by state, and still drops down.
TEST_F(Form1Painters, ExtendedComboIsSkinnedOnItsInnerCombo) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_USEREX_CLASSES};
  ASSERT_TRUE(InitCommonControlsEx(&classes));
  data->Skin3rd()->Add("TComboBoxExStandIn=comboboxex");
  auto* ex = new TComboBoxExStandIn(form);
  ex->SetParent(form);
  ex->SetBounds(500, 300, 180, 200);
  for (const char* item : {"Gears", "Levers", "Pulleys"}) ex->AddItem(item);
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinComBox* painter = Painter<TSkinComBox>(ex);
  ASSERT_TRUE(painter);
  ASSERT_TRUE(painter->IsComboBoxEx);
  HWND inner = painter->ChildHandle;
  ASSERT_TRUE(inner && GetParent(inner) == ex->Handle());
  RECT ir{};
  GetWindowRect(inner, &ir);
  const int w = ir.right - ir.left, h = ir.bottom - ir.top;
  const TSliceRect b = ComboButtonRect(w, h, 0, GetSystemMetrics(SM_CXVSCROLL), 0, false);
  const POINT button{ir.left + (b.Left + b.Right) / 2, ir.top + (b.Top + b.Bottom) / 2};
  auto showsAt = [](int x, int y, COLORREF code) {
    return PumpUntil([&] { return ScreenPixel(x, y) == code; }, 5000);
  };
  EXPECT_TRUE(showsAt(ir.left, ir.top + h / 2, SkinColour(data, kSlotButtonShadow)));
  EXPECT_TRUE(showsAt(ir.left + 1, ir.top + h / 2, RGB(255, 255, 255)));
  SetFocus(Win("Edit1")->Handle());
  EXPECT_TRUE(showsAt(button.x, button.y, Code("ExtraImages", "Image", 1, 4)));
  ASSERT_TRUE(MoveTo(button));
  EXPECT_TRUE(showsAt(button.x, button.y, Code("ExtraImages", "Image", 4, 4)));  // hot
  ASSERT_TRUE(Xdo("click 1"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(inner, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5000));
  ASSERT_TRUE(Xdo("key Down Return"));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(ex->Handle(), CB_GETCURSEL, 0, 0) >= 0; }, 5000));
  Park();
  SetFocus(Win("Edit1")->Handle());
  ex->SetEnabled(false);
  EXPECT_TRUE(showsAt(button.x, button.y, Code("ExtraImages", "Image", 3, 4)));  // disabled
}

}  // namespace
}  // namespace skin
