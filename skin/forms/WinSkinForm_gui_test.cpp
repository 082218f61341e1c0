// The form skinner on real windows, made as the skin manager makes it: a form from a
// layout, a dialog from an in-memory template, an MDI frame with its children. A
// recording subclass installed before the skinner logs what the window's own
// procedure receives; colours are read back from the X screen.
#include "skin/forms/WinSkinForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/Layout.h"
#include "classlib/StdCtrls_win.h"
#include "skin/forms/SkinTestForm_win.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/data/WinSkinData_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

using velmora::test::PumpUntil;
using velmora::test::XScreenPixel;

namespace skin {
namespace {

using skintest::TSkinTestForm;
constexpr const char* kLayout = skintest::kSkinTestFormLayout;

using skintest::LoadedTestSkin;
void StartSkin() {
  skintest::StartSkinForms();
  // These cases watch the skinner with the system's own frame (SkinFrame_gui_test
  // covers the skinned one).
  static TFormFrameSeam systemFrame;
  SetFormFrameSeam(&systemFrame);
  skintest::RegisterSkinTestForm();
}

// The recording subclass (one window at a time): message and lParam.
std::vector<std::pair<UINT, LPARAM>> recorded;
WNDPROC recordNext = nullptr;
LRESULT CALLBACK RecordProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  recorded.push_back({m, lp});
  return CallWindowProcA(recordNext, w, m, wp, lp);
}
void Record(HWND window) {
  recorded.clear();
  recordNext = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordProc)));
}
int Seen(UINT msg, LPARAM lParam = -1) {
  return static_cast<int>(std::count_if(recorded.begin(), recorded.end(), [&](auto& r) {
    return r.first == msg && (lParam == -1 || r.second == lParam);
  }));
}

// The skin data's form events as "event form window class".
class TEventLog : public TObject {
 public:
  void Before(TObject* form, uintptr_t window, const std::string& name) { Add("before", form, window, name); }
  void After(TObject* form, uintptr_t window, const std::string& name) { Add("after", form, window, name); }
  void Add(const char* event, TObject* form, uintptr_t window, const std::string& name) {
    calls.push_back(std::string(event) + " " + SafeClassName(form) + " " + std::to_string(window) + " " + name);
  }
  std::vector<std::string> calls;
};

// Made as the skin manager makes it: fields, attach, activation posted.
std::unique_ptr<TWinSkinForm> Skin(HWND window, TSkinData* data, TCustomForm* form, TComponent* owner = nullptr,
                                   bool post = true) {
  auto skinner = std::make_unique<TWinSkinForm>(owner);
  skinner->Hwnd = window;
  skinner->ModuleId = 7;
  skinner->FormClassName = velmora::test::WindowClassOf(window);
  if (form)
    skinner->AttachForm(data, form);
  else
    skinner->AttachHandle(data);
  if (post) PostMessageA(window, kMsgActivateSkin, 0, 1000);
  return skinner;
}

bool Activated(const TWinSkinForm& skinner) { return skinner.SkinActivated && skinner.State == kFormActive; }

// Each channel of c between those of x and y, give or take 2.
bool Between(COLORREF c, COLORREF x, COLORREF y) {
  for (int s : {0, 8, 16}) {
    const int v = (c >> s) & 0xFF, p = (x >> s) & 0xFF, q = (y >> s) & 0xFF;
    if (v < std::min(p, q) - 2 || v > std::max(p, q) + 2) return false;
  }
  return true;
}
bool Near(COLORREF a, COLORREF b) { return Between(a, b, b); }
bool XPixelBecomes(POINT p, COLORREF c) {
  return PumpUntil([&] { return Near(XScreenPixel(p.x, p.y).value_or(CLR_INVALID), c); }, 10000);
}
// On a caption gradient, active or inactive.
bool IsCaptionColour(COLORREF c) {
  return Between(c, GetSysColor(COLOR_ACTIVECAPTION), GetSysColor(COLOR_GRADIENTACTIVECAPTION)) ||
         Between(c, GetSysColor(COLOR_INACTIVECAPTION), GetSysColor(COLOR_GRADIENTINACTIVECAPTION));
}

TEST(FormSkinner, FormFromLayout) {
  StartSkin();
  auto data = LoadedTestSkin();
  const COLORREF face = SkinColour(data.get(), kSlotButtonFace), system = GetSysColor(COLOR_BTNFACE);
  ASSERT_FALSE(Near(face, system));
  TEventLog events;
  data->OnBeforeSkinForm = TOnSkinForm::Of<&TEventLog::Before>(&events);
  data->OnAfterSkinForm = TOnSkinForm::Of<&TEventLog::After>(&events);

  std::unique_ptr<TComponent> root(CreateFromLayout(kLayout));
  auto* form = dynamic_cast<TSkinTestForm*>(root.get());
  ASSERT_NE(form, nullptr);
  HWND window = form->Handle();
  Record(window);
  const WNDPROC own = GetWindowProc(window);
  const TWndMethod formProc = form->WindowProc;
  // Activation is posted once the window shows, so that the time before it can be seen.
  auto* skinner = Skin(window, data.get(), form, form, false).release();  // owned by the form
  form->Show();
  RECT wr{};
  GetWindowRect(window, &wr);
  const POINT captionPoint{(wr.left + wr.right) / 2, wr.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
  POINT clientPoint{200, 150};
  ClientToScreen(window, &clientPoint);
  EXPECT_TRUE(XPixelBecomes(clientPoint, face));
  const std::optional<COLORREF> captionBefore = XScreenPixel(captionPoint.x, captionPoint.y);
  ASSERT_TRUE(captionBefore.has_value());
  EXPECT_FALSE(IsCaptionColour(*captionBefore));
  EXPECT_EQ(Seen(WM_NCPAINT), 0);  // swallowed until activation

  PostMessageA(window, kMsgActivateSkin, 0, 1000);
  ASSERT_TRUE(PumpUntil([&] { return Activated(*skinner); }));
  EXPECT_TRUE(PumpUntil([&] { return IsCaptionColour(XScreenPixel(captionPoint.x, captionPoint.y).value_or(0)); }));
  EXPECT_GT(Seen(WM_NCPAINT), 0);
  EXPECT_TRUE(skinner->FormKind == kFormNormal && skinner->BorderKind == kBorderSizeable && skinner->FrameSkinned);
  EXPECT_EQ(skinner->ButtonFlags & (kButtonSysMenu | kButtonMinimize | kButtonMaximize), 11);
  EXPECT_TRUE(!skinner->SkinMenu && skinner->MenuBarHeight == 0);  // the menu seam's default
  EXPECT_EQ(SendMessageA(window, kMsgIsSkinned, 0, 0), 1);
  EXPECT_EQ(Seen(kMsgSkinned, kSkinMarker), 1);  // sent at activation
  recorded.clear();
  EXPECT_TRUE(PumpUntil([] { return Seen(kMsgSkinned, kSkinMarker) == 1; }));  // posted by the 0x3523 answer
  const std::string tail = " TSkinTestForm " + std::to_string(reinterpret_cast<uintptr_t>(window)) + " TSkinTestForm";
  EXPECT_EQ(events.calls, (std::vector<std::string>{"before" + tail, "after" + tail}));

  // 0xBC4E is also the reflected-notify number: its marker is read as no header.
  auto* list = new TListView(form);
  list->SetParent(form);
  list->SetBounds(100, 8, 40, 20);
  list->Perform(kMsgSkinned, 0, kSkinMarker);
  auto* tree = new TTreeView(form);
  tree->SetParent(form);
  tree->SetBounds(150, 8, 40, 20);
  tree->Perform(kMsgSkinned, 0, kSkinMarker);

  recorded.clear();
  SetWindowPos(window, nullptr, 0, 0, 340, 250, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(Seen(WM_SIZE), 1);

  // Without a skinned bar a menu set through the form stays with the system.
  auto* menu = new TMainMenu(form);
  auto* item = new TMenuItem(menu);
  item->SetCaption("&File");
  menu->Items()->Add(item);
  form->SetMenu(menu);
  EXPECT_EQ(GetMenu(window), menu->Handle());
  EXPECT_TRUE(data->FramePainting);

  // Later subclass on top of the skinner.
  static WNDPROC laterNext;
  static int laterCalls;
  laterNext = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(
      +[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT { ++laterCalls; return CallWindowProcA(laterNext, w, m, wp, lp); })));

  skinner->AttachForm(data.get(), form);  // ignored: the form's own colour stays saved
  skinner->Unskin();
  EXPECT_TRUE(form->WindowProc.AsMethod() == formProc.AsMethod());
  EXPECT_EQ(form->Color(), static_cast<TColor>(clBtnFace));
  EXPECT_EQ(GetMenu(window), menu->Handle());
  EXPECT_TRUE(XPixelBecomes(clientPoint, system)) << std::hex << XScreenPixel(clientPoint.x, clientPoint.y).value_or(0);
  laterCalls = 0;
  EXPECT_EQ(SendMessageA(window, kMsgIsSkinned, 0, 0), 0);
  EXPECT_GT(laterCalls, 0);
  EXPECT_NE(GetWindowProc(window), own);  // the later one stays in front
  root.reset();                           // a skinned-then-unskinned form goes
}

// A dialog of the system's own class: one static text.
HWND MakeDialog() { return skintest::MakeTestDialog("", 0, 0, 160, 80, 140, 20); }

TEST(FormSkinner, PlainDialogAndItsDestruction) {
  StartSkin();
  auto data = LoadedTestSkin();
  const COLORREF face = SkinColour(data.get(), kSlotButtonFace);
  HWND dialog = MakeDialog();
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(velmora::test::WindowClassOf(dialog), "#32770");
  HWND text = GetDlgItem(dialog, 100);
  auto skinner = Skin(dialog, data.get(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Activated(*skinner); }));
  EXPECT_TRUE(skinner->IsDialog && skinner->BorderKind == kBorderDialog && !skinner->FormProcHooked());
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT client{}, textRect{};
  GetClientRect(dialog, &client);
  POINT background{client.right - 4, client.bottom - 4};
  ClientToScreen(dialog, &background);
  GetWindowRect(text, &textRect);
  EXPECT_TRUE(XPixelBecomes(background, face));
  EXPECT_TRUE(XPixelBecomes({textRect.right - 3, textRect.bottom - 3}, face));  // right of the text

  // Destroyed while skinned, with another subclass installed after the skinner.
  static WNDPROC next;
  next = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(
      +[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT { return CallWindowProcA(next, w, m, wp, lp); })));
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_TRUE(skinner->State == kFormDestroyed && !skinner->Subclassed());
}

// A child window class for WM_MDICREATE.
LRESULT CALLBACK MdiChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefMDIChildProcA(w, m, wp, lp); }

TEST(FormSkinner, MdiFrameAndChildren) {
  StartSkin();
  auto data = LoadedTestSkin();
  skintest::TMdiForms mdi = skintest::MakeMdiForms();
  std::unique_ptr<TForm>& frameForm = mdi.Frame;
  std::unique_ptr<TForm>& childForm = mdi.Child;
  const TWndMethod childProc = childForm->WindowProc;
  const WNDPROC frameOwn = GetWindowProc(frameForm->Handle()), clientOwn = GetWindowProc(frameForm->ClientHandle());
  auto frame = Skin(frameForm->Handle(), data.get(), frameForm.get());
  auto child = Skin(childForm->Handle(), data.get(), childForm.get());
  ASSERT_TRUE(PumpUntil([&] { return Activated(*frame) && Activated(*child); }));
  EXPECT_EQ(frame->FormKind, kFormMdiFrame);
  EXPECT_EQ(frame->MDIClient, frameForm->ClientHandle());
  EXPECT_EQ(child->FormKind, kFormMdiChild);
  EXPECT_EQ(SendMessageA(childForm->Handle(), kMsgFrameQuery, 0, kSkinMarker), kSkinMarker);
  EXPECT_EQ(SendMessageA(childForm->Handle(), kMsgFrameQuery, 0, 5), 1);
  // Destroyed while skinned: procedure and WindowProc go back at WM_NCDESTROY.
  EXPECT_TRUE(DestroyWindow(childForm->Handle()));
  EXPECT_TRUE(child->State == kFormDestroyed && !child->Subclassed() && !child->FormProcHooked());
  EXPECT_TRUE(childForm->WindowProc.AsMethod() == childProc.AsMethod());

  // A child with the system's border: no form procedure.
  auto bordered = LoadedTestSkin();
  bordered->Options.Include(TSkinOption::xoMDIChildBorder);
  auto plainForm = std::make_unique<TForm>();
  plainForm->SetFormStyle(TFormStyle::fsMDIChild);
  plainForm->Show();
  auto plain = Skin(plainForm->Handle(), bordered.get(), plainForm.get());
  ASSERT_TRUE(PumpUntil([&] { return Activated(*plain); }));
  EXPECT_FALSE(plain->FrameSkinned);
  EXPECT_FALSE(plain->FormProcHooked());
  EXPECT_NE(SendMessageA(plainForm->Handle(), kMsgFrameQuery, 0, kSkinMarker), kSkinMarker);

  ASSERT_TRUE(data->MenuUpdate);
  WNDCLASSA wc{};
  wc.lpfnWndProc = MdiChildProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "SkinMdiChildTest";
  RegisterClassA(&wc);
  MDICREATESTRUCTA create{"SkinMdiChildTest", "c", wc.hInstance, 0, 0, 100, 80, 0, 0};
  HWND made = reinterpret_cast<HWND>(SendMessageA(frameForm->ClientHandle(), WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
  EXPECT_NE(made, nullptr);
  EXPECT_FALSE(data->MenuUpdate);
  SendMessageA(frameForm->ClientHandle(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(made), 0);
  frame->Unskin();
  EXPECT_TRUE(GetWindowProc(frameForm->Handle()) == frameOwn && GetWindowProc(frameForm->ClientHandle()) == clientOwn);
}

}  // namespace
}  // namespace skin
