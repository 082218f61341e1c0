// The skin manager's whole road on real windows: a form from a layout with its skin
// component is skinned by the hook at its first activation, the actions run from
// the timer, message boxes, foreign windows and popup menus meet the rules, and
// stopping the skin unit gives every window back. Colours are read from the X
// screen; expected skin colours come from the generator's files.
#include "skin/forms/SkinManage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ControlClasses.h"
#include "classlib/Layout.h"
#include "classlib/Menus_win.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/forms/SkinDispatch_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpUntil;
using velmora::test::XScreenPixel;

namespace skin {
namespace {

class TRoadForm : public TForm {
  VELMORA_CLASS(TRoadForm, TForm)
 public:
  explicit TRoadForm(TComponent* owner = nullptr) : TForm(owner) {}
};

// While `open` runs its modal loop, a timer finds the first visible window of class
// `name` of this thread (message boxes send no WM_ENTERIDLE), runs `probe` on it once
// and closes it: a menu with EndMenu, a message box with its OK.
struct TOpenProbe {
  std::string Name;
  std::function<void(HWND)> Probe;
  bool Seen = false;
} openProbe;
BOOL CALLBACK FindOpenWindow(HWND window, LPARAM found) {
  if (velmora::test::WindowClassOf(window) != openProbe.Name || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}
void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR, DWORD) {
  HWND window = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindOpenWindow, reinterpret_cast<LPARAM>(&window));
  if (!window || openProbe.Seen) return;
  openProbe.Seen = true;
  openProbe.Probe(window);
  if (openProbe.Name == "#32768")
    EndMenu();
  else
    PostMessageA(window, WM_COMMAND, IDOK, 0);
}
// Whether the window was seen.
bool WhileOpen(const char* name, const std::function<void()>& open, std::function<void(HWND)> probe) {
  openProbe = {name, std::move(probe)};
  const UINT_PTR timer = SetTimer(nullptr, 0, 150, ProbeTimer);
  open();
  KillTimer(nullptr, timer);
  return openProbe.Seen;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char two[3];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    out += (i % 32 ? "" : "\n") + std::string(two);
  }
  return out;
}

// A form with a main-form skin component holding the test skin (Tag 99 when asked,
// and without a component then).
std::unique_ptr<TRoadForm> MakeForm(int left, bool withSkin, int tag = 0) {
  std::string layout = "object RoadForm: TRoadForm\n  Caption = \"Road\"\n  Left = " + std::to_string(left) +
                       "\n  Top = 60\n  Width = 320\n  Height = 240\n  Tag = " + std::to_string(tag) + "\n";
  if (withSkin)
    layout += "  object SkinData1: TSkinData\n    Active = True\n    SkinStream = {" +
              Hex(EncodeSkinStream(skintest::TestSkinContainer())) + "\n    }\n  end\n";
  layout += "end\n";
  return std::unique_ptr<TRoadForm>(static_cast<TRoadForm*>(CreateFromLayout(layout, nullptr)));
}

TSkinData* DataOf(TComponent* form) { return dynamic_cast<TSkinData*>(form->FindComponent("SkinData1")); }

bool Skinned(HWND window) { return SendMessageA(window, kMsgSkinnedQuery, 0, 0) == 1; }

bool Near(COLORREF a, COLORREF b) {
  for (int s : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)) > 2) return false;
  return true;
}
// The client point (x, y) of `window` on the X screen turns `colour`.
bool ClientBecomes(HWND window, COLORREF colour) {
  POINT p{160, 150};
  ClientToScreen(window, &p);
  return PumpUntil([&] { return Near(XScreenPixel(p.x, p.y).value_or(CLR_INVALID), colour); }, 10000);
}

COLORREF ColourValue(const std::string& text) {
  int r = 0, g = 0, b = 0;
  std::sscanf(text.c_str(), "%d %d %d", &r, &g, &b);
  return RGB(r, g, b);
}

// One pixel of a bitmap of the generated test skin, read by PIL.
COLORREF SkinBitmapPixel(const std::string& file, int x, int y) {
  const std::string command =
      "/usr/bin/python3 -c 'import sys; from PIL import Image; "
      "print(*Image.open(sys.argv[1]).convert(sys.argv[2]).getpixel((int(sys.argv[3]), int(sys.argv[4]))))' '" +
      skintest::TestSkin().HostDir + "/" + file + "' RGB " + std::to_string(x) + " " + std::to_string(y);
  return ColourValue(velmora::test::RunHostCommand(command).value_or("-1 -1 -1"));
}

// What a DC message (WM_PRINT, WM_ERASEBKGND) draws into a DC pre-filled with `fill`.
struct TCapture {
  int Width = 0, Height = 0;
  LRESULT Result = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
  COLORREF At(int x, int y) const {
    const uint32_t p = Pixels[static_cast<size_t>(y) * Width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};
TCapture Capture(HWND window, UINT message, COLORREF fill, LPARAM lParam) {
  RECT r{};
  GetWindowRect(window, &r);
  TSkinDib dib(r.right - r.left, r.bottom - r.top);
  TSelectedDC dc(dib.Handle());
  RECT all{0, 0, dib.Width(), dib.Height()};
  const HBRUSH brush = CreateSolidBrush(fill);
  FillRect(dc.Handle(), &all, brush);
  DeleteObject(brush);
  TCapture c{dib.Width(), dib.Height(), SendMessageA(window, message, reinterpret_cast<WPARAM>(dc.Handle()), lParam), {}};
  GdiFlush();
  c.Pixels.assign(dib.Pixels(), dib.Pixels() + static_cast<size_t>(c.Width) * c.Height);
  return c;
}
constexpr LPARAM kPrintAll = PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN;

// OnSkinChanged calls.
struct TChangeCount : TObject {
  int Calls = 0;
  void Changed(TObject*) { ++Calls; }
  bool operator==(int n) const { return Calls == n; }
};

class SkinManageRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    skintest::StartSkinForms();
    [[maybe_unused]] static const bool registered = (RegisterControlClass(TRoadForm::StaticClass()), true);
    RegisterSkinUnit();
    InitUnits();
  }
  void SetUp() override {
    StartSkinEngine();
    ASSERT_TRUE(skintest::TestSkin().Ok);
    testFace = ColourValue(skintest::TestSkin().Value("Colours", "ButtonFace"));
  }
  // A fresh manager for the next test: the next main-form component makes one.
  void TearDown() override { StopSkinEngine(); }
  // The form made and shown; the hook skins it at its activation.
  void ShowMainForm() {
    form = MakeForm(60, true);
    ASSERT_NE(form, nullptr);
    data = DataOf(form.get());
    ASSERT_NE(data, nullptr);
    ASSERT_FALSE(data->NotLoaded());
    data->OnSkinChanged = TNotifyEvent::Of<&TChangeCount::Changed>(&changes);
    window = form->Handle();
    ownProc = GetWindowLongPtrA(window, GWLP_WNDPROC);
    form->Show();
    ASSERT_TRUE(PumpUntil([&] { return Skinned(window); }, 10000));
  }

  COLORREF testFace = 0;
  std::unique_ptr<TRoadForm> form;
  TSkinData* data = nullptr;
  HWND window = nullptr;
  LONG_PTR ownProc = 0;
  TChangeCount changes;
};

TEST_F(SkinManageRoad, FirstActivationThenActionsFromTheTimer) {
  form = MakeForm(60, true);
  data = DataOf(form.get());
  ASSERT_NE(data, nullptr);
  TSkinManage* manager = SkinManager();
  ASSERT_NE(manager, nullptr);
  // Loaded: hook installed, action 1 asked before any activation: no timer yet.
  EXPECT_NE(SkinHookHandle(), nullptr);
  EXPECT_EQ(manager->MainSkinData, data);
  EXPECT_EQ(manager->RunState, 0);
  EXPECT_TRUE(manager->Enabled);
  EXPECT_FALSE(manager->Timer().Enabled());
  const HHOOK hook = SkinHookHandle();
  data->Loaded();  // a second main-form load keeps the one hook
  EXPECT_EQ(SkinHookHandle(), hook);
  EXPECT_TRUE(manager->Lists().ExtraHooks.empty());
  form.reset();
  data = nullptr;

  ShowMainForm();
  manager = SkinManager();
  EXPECT_EQ(manager->RunState, 1);
  EXPECT_NE(manager->FindSkinForm(window), nullptr);
  ASSERT_NE(GetSysColor(COLOR_BTNFACE), testFace);
  EXPECT_TRUE(ClientBecomes(window, testFace));

  data->SetActive(false);  // action 2: the system's colour back
  ASSERT_TRUE(PumpUntil([&] { return changes == 1; }, 10000));
  EXPECT_FALSE(Skinned(window));
  EXPECT_TRUE(ClientBecomes(window, GetSysColor(COLOR_BTNFACE)));
  data->SetActive(true);  // action 1
  ASSERT_TRUE(PumpUntil([&] { return changes == 2; }, 10000));
  EXPECT_TRUE(Skinned(window));
  EXPECT_TRUE(ClientBecomes(window, testFace));

  const COLORREF defaultFace = RGB(240, 240, 240);
  ASSERT_NE(GetSysColor(COLOR_BTNFACE), defaultFace);
  data->SetSkinFile(velmora::test::HostPath(VELMORA_DEFAULT_SKIN));  // action 3
  ASSERT_TRUE(PumpUntil([&] { return changes == 3; }, 10000));
  EXPECT_TRUE(ClientBecomes(window, defaultFace));
  velmora::test::PumpMessages();
  EXPECT_EQ(changes.Calls, 3);
}

TEST_F(SkinManageRoad, DialogsForeignWindowsAndTag99) {
  ShowMainForm();
  TSkinManage* manager = SkinManager();
  // With a dialog component, message boxes take it.
  auto boxData = [&] {
    TSkinData* seen = nullptr;
    EXPECT_TRUE(WhileOpen("#32770", [&] { MessageBoxA(window, "Skinned?", "Road box", MB_OK); }, [&](HWND box) {
      EXPECT_NE(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(box, GWLP_HINSTANCE)), GetModuleHandleA(nullptr));
      EXPECT_TRUE(Skinned(box));  // only its class lets it through
      if (TWinSkinForm* skinner = manager->FindSkinForm(box)) seen = skinner->SkinData;
    }));
    return seen;
  };
  auto dialogData = skintest::LoadedTestSkin();
  dialogData->SkinFormtype = TSkinFormType::sfDialog;
  dialogData->Loaded();
  EXPECT_EQ(boxData(), dialogData.get());
  dialogData.reset();
  EXPECT_EQ(boxData(), data);

  // Neither the hook nor a direct call skins `w`, for the reason `why`.
  auto refused = [&](HWND w, TSkinRefusal why) {
    velmora::test::PumpMessages();
    EXPECT_FALSE(Skinned(w));
    EXPECT_FALSE(manager->SkinWindow(w));
    EXPECT_EQ(manager->LastRefusal, why);
  };
  // A form with Tag 99 stays as it is whatever DisableTag holds.
  data->DisableTag = 5;
  auto tagged = MakeForm(420, false, 99);
  tagged->Show();
  refused(tagged->Handle(), TSkinRefusal::Tag99);

  // A class registered under another module.
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA("kernel32.dll");
  wc.lpszClassName = "RoadForeignWindow";
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  RegisterClassA(&wc);
  HWND foreign = CreateWindowExA(0, wc.lpszClassName, "Foreign", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 420, 320, 200,
                                 120, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(foreign, nullptr);
  refused(foreign, TSkinRefusal::ForeignWindow);
  DestroyWindow(foreign);
  UnregisterClassA(wc.lpszClassName, wc.hInstance);

  // Windows the system would never name: nothing happens.
  manager->RunState = 0;
  SkinCBTHook(HCBT_ACTIVATE, 0, 0);
  SkinCBTHook(HCBT_ACTIVATE, reinterpret_cast<WPARAM>(foreign), 0);
  EXPECT_EQ(manager->RunState, 0);
  manager->RunState = 1;
}

// A size grip made after the form was skinned gets the skin's painter too.
TEST_F(SkinManageRoad, SizeGripCreatedLaterIsSkinned) {
  InstallChildDispatch();  // as the host program does
  ShowMainForm();
  HWND grip = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_SIZEGRIP, 20, 20, 36, 24, window,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(grip, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return Skinned(grip); }, 10000));
  POINT centre{18, 12};
  ClientToScreen(grip, &centre);
  EXPECT_TRUE(PumpUntil([&] { return Near(XScreenPixel(centre.x, centre.y).value_or(CLR_INVALID), testFace); }, 10000));
  DestroyWindow(grip);
  SetFormChildrenSeam(nullptr);
}

TEST_F(SkinManageRoad, PopupMenusByKind) {
  ShowMainForm();
  TSkinManage* manager = SkinManager();
  TPopupMenu popup(form.get());
  for (const char* caption : {"First", "Second", "Third"}) {
    auto* item = new TMenuItem(&popup);
    item->SetCaption(caption);
    popup.Items()->Add(item);
  }
  TStringList trace;
  data->TraceList = &trace;
  const COLORREF menuBg = SkinBitmapPixel("menubg.bmp", 0, 0);

  struct TSeen {
    bool Open = false, Skinned = false;
    TWinSkinPopMenu* Skinner = nullptr;
    HWND Window = nullptr;
    int Kind = -1;
  };
  // The class-library popup, or the form's system menu (its skinner names the kind).
  auto open = [&](bool systemMenu, std::function<void(TSeen&)> more) {
    TSeen seen;
    seen.Open = WhileOpen(
        "#32768",
        [&] {
          if (systemMenu)
            TrackPopupMenu(GetSystemMenu(window, FALSE), TPM_RETURNCMD, 220, 220, 0, window, nullptr);
          else
            popup.Popup(200, 200);
        },
        [&](HWND menu) {
          seen = {true, Skinned(menu), manager->FindPopup(menu), menu, manager->MenuKind};
          if (more && seen.Skinner) more(seen);
        });
    return seen;
  };

  TSeen seen = open(false, [&](TSeen& s) {
    // The frame painted through WM_NCPAINT on an older system's DC rule: the DC
    // asked for with the update region fails, the window DC serves.
    TWinSkinPopMenu::SetVersionForTests(0x00000005);
    SendMessageA(s.Window, WM_NCPAINT, 1, 0);
    TWinSkinPopMenu::SetVersionForTests(0);
    EXPECT_NE(s.Skinner->FrameImage(), nullptr);
    EXPECT_EQ(manager->CurrentPopup, s.Skinner);

    const TCapture skinned = Capture(s.Window, WM_PRINT, RGB(1, 2, 3), kPrintAll);
    ASSERT_GT(skinned.Width, 8);
    const int w = skinned.Width, h = skinned.Height;
    for (POINT p : {POINT{w / 2, 0}, POINT{w / 2, 2}, POINT{0, h / 2}, POINT{w - 3, h / 2}, POINT{w / 2, h - 1}})
      EXPECT_TRUE(Near(skinned.At(p.x, p.y), menuBg)) << p.x << "," << p.y;
    // Inside, the menu printed itself: its own colour, not the frame's or the fill.
    int menuPixels = 0;
    for (int x = 4; x < w - 4; ++x)
      if (Near(skinned.At(x, h / 2), GetSysColor(COLOR_MENU))) ++menuPixels;
    EXPECT_GT(menuPixels, (w - 8) / 2);

    // Without a MenuBackground the print equals an unskinned popup's.
    s.Skinner->Detach();
    EXPECT_FALSE(Skinned(s.Window));
    const TCapture plain = Capture(s.Window, WM_PRINT, RGB(1, 2, 3), kPrintAll);
    TSkinData bare;
    s.Skinner->Attach(s.Window, &bare, nullptr);
    const TCapture bareCapture = Capture(s.Window, WM_PRINT, RGB(1, 2, 3), kPrintAll);
    EXPECT_EQ(bareCapture.Pixels, plain.Pixels);
    s.Skinner->Detach();
    s.Skinner->Attach(s.Window, data, nullptr);

    // With xoMenuBG erasing leaves the DC alone.
    data->Options.Include(TSkinOption::xoMenuBG);
    const TCapture erased = Capture(s.Window, WM_ERASEBKGND, RGB(1, 2, 3), 0);
    data->Options.Exclude(TSkinOption::xoMenuBG);
    EXPECT_EQ(erased.Result, 1);
    EXPECT_EQ(erased.At(w / 2, h / 2), RGB(1, 2, 3));
  });
  ASSERT_TRUE(seen.Open);
  EXPECT_TRUE(seen.Skinned);
  EXPECT_NE(seen.Skinner, nullptr);
  EXPECT_TRUE(manager->Lists().PopupSkinners.empty());
  EXPECT_EQ(manager->CurrentPopup, nullptr);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "Menu hook:%4x ",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(seen.Window)));
  ASSERT_GT(trace.Count(), 0);
  EXPECT_EQ(trace[0].rfind(prefix, 0), 0u) << trace[0];
  data->TraceList = nullptr;

  // Each kind only with its control type; the system menu is kind 2, reset when its skinner goes.
  const struct {
    TSkinControlType Control;
    bool SystemMenu, Allowed;
  } kinds[] = {{TSkinControlType::xcPopupMenu, false, false},
               {TSkinControlType::xcSystemMenu, true, false},
               {TSkinControlType::xcSystemMenu, true, true}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.SystemMenu ? (k.Allowed ? "system menu" : "system menu refused") : "popup refused");
    if (!k.Allowed) data->SkinControls.Exclude(k.Control);
    manager->MenuKind = 0;
    seen = open(k.SystemMenu, nullptr);
    data->SkinControls.Include(k.Control);
    ASSERT_TRUE(seen.Open);
    EXPECT_EQ(seen.Skinned, k.Allowed);
    if (k.SystemMenu) { EXPECT_EQ(seen.Kind, 2); }
    if (k.Allowed) { EXPECT_EQ(manager->MenuKind, 0); }
  }
}

TEST_F(SkinManageRoad, GoingComponentsFormsAndTheUnit) {
  ShowMainForm();
  TSkinManage* manager = SkinManager();
  // A second main-form component, then the first one goes: its window is given
  // back and the second becomes the main one.
  auto second = skintest::LoadedTestSkin();
  second->Loaded();
  auto other = MakeForm(420, false);
  other->Show();
  ASSERT_TRUE(PumpUntil([&] { return Skinned(other->Handle()); }, 10000));
  const size_t listed = manager->Lists().FormSkinners.size();
  other.reset();  // its skinner leaves the list with it
  EXPECT_EQ(manager->Lists().FormSkinners.size(), listed - 1);

  delete data;  // the component goes before its form
  data = nullptr;
  EXPECT_EQ(manager->MainSkinData, second.get());
  EXPECT_EQ(manager->Pending, nullptr);
  EXPECT_EQ(manager->FindSkinForm(window), nullptr);
  EXPECT_FALSE(Skinned(window));
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), ownProc);

  // Skinned again by the second component, then the unit stops.
  manager->Enabled = true;
  ASSERT_TRUE(manager->SkinWindow(window));
  ASSERT_TRUE(PumpUntil([&] { return Skinned(window); }, 10000));
  StopSkinEngine();
  EXPECT_EQ(SkinManager(), nullptr);
  EXPECT_EQ(SkinHookHandle(), nullptr);
  EXPECT_TRUE(SkinHookDisabled());
  EXPECT_FALSE(Skinned(window));
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), ownProc);
  second.reset();
}

}  // namespace
}  // namespace skin
