// TSkinManage on real windows: the WH_CBT hook, the action timer, the skinners, the
// skin component's manager seam and the skin engine's unit.
#include "skin/forms/SkinManage.h"

#include <algorithm>

#include "classlib/Controls_win.h"
#include "classlib/System.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData.h"
#include "skin/painters/WinSubClass.h"

namespace skin {

namespace {

TSkinManage* singleton = nullptr;
HHOOK hookHandle = nullptr;
DWORD hookThread = 0;
bool hookDisabled = false;
DWORD versionWord = 0;
HINSTANCE moduleInstance = nullptr;
bool ntFamily = true;
bool majorNot6 = false;
bool engineStarted = false;

std::string ClassNameOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name - 1);
  return name;
}

bool AnswersSkinned(HWND window) { return SendMessageA(window, kMsgSkinnedQuery, 0, 0) == 1; }

TWinSkinForm* AsForm(TObject* skinner) { return static_cast<TWinSkinForm*>(skinner); }
TWinSkinPopMenu* AsPopup(TObject* popup) { return static_cast<TWinSkinPopMenu*>(popup); }

// The class-library control of a window: a screen form first, else the window's
// control property.
TWinControl* ControlOf(HWND window) {
  if (Screen)
    for (int i = 0; i < Screen->FormCount(); ++i) {
      TCustomForm* form = Screen->Forms(i);
      if (form->HandleAllocated() && form->Handle() == window) return form;
    }
  return TWinControl::FindControl(window);
}

void HookCall(int code, WPARAM wParam, LPARAM lParam) {
  TSkinManage* manager = singleton;
  auto window = reinterpret_cast<HWND>(wParam);
  // Wine activates window 0 when the thread's last window goes.
  if (!manager || !window || !IsWindow(window)) return;
  switch (code) {
    case HCBT_CREATEWND: {
      const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
      if (!create) return;
      const std::string name = ClassNameOf(window);
      if (lstrcmpiA(name.c_str(), "ScrollBar") == 0 && (create->style & SBS_SIZEGRIP))
        // Posted: the grip is not created yet, and its painter subclasses it.
        if (TWinSkinForm* parent = manager->FindSkinForm(create->hwndParent))
          PostMessageW(parent->Hwnd, kMsgReplaceScrollBar, reinterpret_cast<WPARAM>(window), 0);
      if (!(create->style & WS_CHILD) && name == "#32768" && !manager->Parent) manager->SkinPopupMenu(window);
      if (create->dwExStyle & WS_EX_MDICHILD) manager->SkinWindow(window);
      break;
    }
    case HCBT_DESTROYWND:
      manager->WindowDestroyed(wParam);
      break;
    case HCBT_ACTIVATE:
      if (manager->RunState == 0) manager->RunState = 1;
      manager->SkinWindow(window);
      break;
    default:
      break;
  }
}

}  // namespace

LRESULT CALLBACK SkinCBTHook(int code, WPARAM wParam, LPARAM lParam) {
  if (!hookDisabled && code >= 0) {
    try {
      HookCall(code, wParam, lParam);
    } catch (...) {
      HandleControlException(nullptr);
    }
  }
  return CallNextHookEx(hookHandle, code, wParam, lParam);
}

TSkinManage* SkinManager() { return singleton; }
HHOOK SkinHookHandle() { return hookHandle; }
bool SkinHookDisabled() { return hookDisabled; }
DWORD SkinVersionWord() { return versionWord; }
bool SkinNtFamily() { return ntFamily; }
bool SkinMajorVersionNot6() { return majorNot6; }

TSkinManage::TSkinManage(uint32_t moduleId) : TSkinManageCore(moduleId), timer_(std::make_unique<TTimer>()) {
  timer_->SetEnabled(false);
  timer_->SetInterval(100);
  timer_->OnTimer = TNotifyEvent::Of<&TSkinManage::Tick>(this);
}

TSkinManage::~TSkinManage() {
  if (OwnManager()) {
    // The hook goes first: nothing may reach a manager being taken apart.
    hookDisabled = true;
    if (hookHandle) UnhookWindowsHookEx(hookHandle);
    hookHandle = nullptr;
    hookThread = 0;
    for (uintptr_t extra : Lists().ExtraHooks) UnhookWindowsHookEx(reinterpret_cast<HHOOK>(extra));
    Lists().ExtraHooks.clear();
  }
  CurrentPopup = nullptr;
  Shutdown();
  timer_.reset();
  if (singleton == this) singleton = nullptr;
}

void TSkinManage::Tick(TObject*) { ActionTimer(); }

void TSkinManage::InstallHook() {
  versionWord = GetVersion();
  const DWORD thread = GetCurrentThreadId();
  if (hookHandle && hookThread == thread) return;
  HHOOK hook = SetWindowsHookExA(WH_CBT, SkinCBTHook, nullptr, thread);
  if (!hook) return;
  if (!hookHandle) {
    hookHandle = hook;
    hookThread = thread;
  } else {
    Lists().ExtraHooks.push_back(reinterpret_cast<uintptr_t>(hook));
  }
}

bool TSkinManage::SkinWindow(HWND window) {
  LastRefusal = TSkinRefusal::NotEnabled;
  if (!Enabled || !window || !IsWindow(window)) return false;
  Cleanup();
  TWinControl* control = ControlOf(window);
  TWindowFacts facts;
  facts.Enabled = true;
  facts.ChildSweep = ChildSweep;
  facts.AnswersSkinned = AnswersSkinned(window);
  facts.HasFormSkinner = FindSkinForm(window) != nullptr;
  facts.ClassName = ClassNameOf(window);
  facts.Style = static_cast<uint32_t>(GetWindowLongA(window, GWL_STYLE));
  facts.ExStyle = static_cast<uint32_t>(GetWindowLongA(window, GWL_EXSTYLE));
  facts.ProgramInstance =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)) == moduleInstance;
  RECT bounds{};
  GetWindowRect(window, &bounds);
  facts.Width = bounds.right - bounds.left;
  facts.Height = bounds.bottom - bounds.top;
  facts.HasControl = control != nullptr;
  facts.ControlTag = control ? control->Tag() : 0;
  if (HWND parent = GetParent(window)) facts.ParentClassName = ClassNameOf(parent);
  LastRefusal = FilterWindow(facts);
  if (LastRefusal != TSkinRefusal::Accepted) return false;
  if (!CanSkin(reinterpret_cast<uintptr_t>(window), facts.Style, facts.ClassName)) return false;
  TSkinData* data = FindSkinData(reinterpret_cast<uintptr_t>(window), facts.ClassName);
  if (!data || data->NotLoaded()) return false;

  auto* skinner = new TWinSkinForm(control);
  skinner->Hwnd = window;
  skinner->ModuleId = ModuleId;
  skinner->FormClassName = facts.ClassName;
  Lists().FormSkinners.push_back(skinner);
  if (auto* form = dynamic_cast<TCustomForm*>(control))
    skinner->AttachForm(data, form);
  else
    skinner->AttachHandle(data);
  PostMessageA(window, kMsgActivateSkin, 0, 1000);
  return true;
}

void TSkinManage::SkinForm(TCustomForm* form) {
  if (!form || !form->Visible() || !form->HandleAllocated()) return;
  if (GetWindowLongA(form->Handle(), GWL_STYLE) & WS_CHILD) return;
  SkinWindow(form->Handle());
}

bool TSkinManage::SkinPopupMenu(HWND window) {
  if (!Enabled || AnswersSkinned(window) || FindPopup(window)) return false;
  TSkinData* data = FindSkinData(reinterpret_cast<uintptr_t>(window), ClassNameOf(window));
  if (!data || data->NotLoaded() || !PopupKindAllowed(MenuKind, data->SkinControls)) return false;
  auto popup = std::make_unique<TWinSkinPopMenu>();
  popup->Attach(window, data, nullptr);
  popup->Flag = MenuFlags[0];
  Lists().PopupSkinners.push_back(popup.release());
  return true;
}

void TSkinManage::SetMenuKind(int kind) {
  for (TObject* p : std::vector<TObject*>(Lists().PopupSkinners)) {
    TWinSkinPopMenu* popup = AsPopup(p);
    if (IsWindowVisible(popup->Window()) || !popup->SkinData()) continue;
    if (!PopupKindAllowed(kind, popup->SkinData()->SkinControls)) {
      RemovePopup(popup);
      FreePopup(popup);
    }
  }
  MenuKind = kind;
}

TWinSkinForm* TSkinManage::FindSkinForm(HWND window) const {
  return AsForm(TSkinManageCore::FindSkinForm(reinterpret_cast<uintptr_t>(window)));
}

TWinSkinPopMenu* TSkinManage::FindPopup(HWND window) const {
  return AsPopup(TSkinManageCore::FindPopup(reinterpret_cast<uintptr_t>(window)));
}

void TSkinManage::FlagAllPopups() {
  for (TObject* popup : Lists().PopupSkinners) AsPopup(popup)->Flag = true;
}

void TSkinManage::AssignMenuToNewestPopup(HMENU menu) {
  auto& popups = Lists().PopupSkinners;
  for (auto it = popups.rbegin(); it != popups.rend(); ++it)
    if (!AsPopup(*it)->Menu) {
      AsPopup(*it)->Menu = menu;
      return;
    }
}

HBITMAP TSkinManage::PopupFrameImage(HMENU menu) const {
  for (TObject* popup : Lists().PopupSkinners)
    if (AsPopup(popup)->Menu == menu) return AsPopup(popup)->FrameImage();
  return nullptr;
}

void TSkinManage::SetTimer(bool enabled, int intervalMs) {
  if (intervalMs > 0) timer_->SetInterval(static_cast<unsigned>(intervalMs));
  timer_->SetEnabled(enabled);
}

void TSkinManage::SkinScreenForms(TSkinData* onlyOwnerOf) {
  if (!Screen) return;
  for (int i = Screen->FormCount() - 1; i >= 0; --i) {
    if (i >= Screen->FormCount()) continue;
    TCustomForm* form = Screen->Forms(i);
    if (onlyOwnerOf && form != onlyOwnerOf->Owner()) continue;
    SkinForm(form);
    if (onlyOwnerOf) return;
  }
}

bool TSkinManage::SkinWindowHandle(uintptr_t window) { return SkinWindow(reinterpret_cast<HWND>(window)); }

uintptr_t TSkinManage::OwnerWindowOf(const TSkinData* data) const {
  auto* form = dynamic_cast<TCustomForm*>(data->Owner());
  return form && form->HandleAllocated() ? reinterpret_cast<uintptr_t>(form->Handle()) : 0;
}

TSkinData* TSkinManage::SkinnerData(TObject* s) const { return AsForm(s)->SkinData; }
int TSkinManage::SkinnerState(TObject* s) const { return AsForm(s)->State; }
void TSkinManage::SetSkinnerState(TObject* s, int state) { AsForm(s)->State = state; }
uint32_t TSkinManage::SkinnerModule(TObject* s) const { return AsForm(s)->ModuleId; }
uintptr_t TSkinManage::SkinnerWindow(TObject* s) const { return reinterpret_cast<uintptr_t>(AsForm(s)->Hwnd); }
bool TSkinManage::SkinnerIsMdiChild(TObject* s) const { return AsForm(s)->FormKind == kFormMdiChild; }

void TSkinManage::RestoreSkinner(TObject* s) {
  TWinSkinForm* form = AsForm(s);
  form->Unskin();
  if (IsWindow(form->Hwnd)) TWinSkinForm::RepaintWindow(form->Hwnd);
}

void TSkinManage::RereadSkinner(TObject* s) { FormFrameSeam().ComputeMetrics(*AsForm(s)); }
void TSkinManage::RefreshSkinner(TObject* s) { AsForm(s)->Refresh(); }
void TSkinManage::DropCaptionButtons(TObject* s) { FormFrameSeam().DropCaptionButtons(*AsForm(s)); }

void TSkinManage::ReframeMdiChild(TObject* s, bool maximized) {
  TWinSkinForm& form = *AsForm(s);
  TFormFrameSeam& frame = FormFrameSeam();
  if (maximized) {
    frame.RemoveRegion(form);
    frame.ComputeMetrics(form);
  } else if (form.WindowState != kStateMinimized) {
    form.WindowState = kStateNormal;
    frame.BuildRegion(form);
    frame.ComputeMetrics(form);
    if (!form.RegionSet) frame.PaintFrame(form, nullptr);
  }
}

void TSkinManage::FreeSkinner(TObject* s, bool releaseOnly) {
  TWinSkinForm* form = AsForm(s);
  if (releaseOnly) form->Release();
  delete form;
}

uintptr_t TSkinManage::PopupWindow(TObject* p) const { return reinterpret_cast<uintptr_t>(AsPopup(p)->Window()); }
TSkinData* TSkinManage::PopupData(TObject* p) const { return AsPopup(p)->SkinData(); }

void TSkinManage::FreePopup(TObject* p) {
  TWinSkinPopMenu* popup = AsPopup(p);
  if (CurrentPopup == popup) CurrentPopup = nullptr;
  popup->Detach();
  delete popup;
}

// ---------------------------------------------------------------------------
// The skin component's side of the manager.

namespace {

class TManagerSeam : public TSkinManagerSeam {
 public:
  bool Exists() const override { return singleton != nullptr; }
  void Register(TSkinData* data) override {
    if (!singleton) singleton = new TSkinManage(0);
    singleton->Register(data);
  }
  void Unregister(TSkinData* data) override {
    if (singleton) singleton->Unregister(data);
  }
  void SetPending(TSkinData* data) override {
    if (singleton) singleton->Pending = data;
  }
  void StartAction(int action, int delayMs) override {
    if (singleton) singleton->StartAction(action, delayMs);
  }
  int RunState() const override { return singleton ? singleton->RunState : 0; }
  void SetRunState(int state) override {
    if (singleton) singleton->RunState = state;
  }
  void SetEnabled(bool enabled) override {
    if (singleton) singleton->Enabled = enabled;
  }
  void ReleaseCaptionButtons() override {
    if (singleton) singleton->ReleaseCaptionButtons();
  }
  void InstallCreationHook() override {
    if (singleton) singleton->InstallHook();
  }
  void SkinWindow(TComponent* form) override {
    auto* control = dynamic_cast<TWinControl*>(form);
    if (singleton && control && control->HandleAllocated()) singleton->SkinWindow(control->Handle());
  }
  void SetMenuKind(int kind) override {
    if (singleton) singleton->SetMenuKind(kind);
  }
  int MenuKind() const override { return singleton ? singleton->MenuKind : 0; }
  bool MenuFrameFlag(int index) const override {
    return singleton && index >= 1 && index <= 3 && singleton->MenuFlags[index - 1];
  }
  void SetMenuFrameFlag(int index, bool on) override {
    if (singleton && index >= 1 && index <= 3) singleton->MenuFlags[index - 1] = on;
  }
  void KeepClientWindow(uintptr_t window, TComponent* form) override {
    if (!singleton) return;
    singleton->KeptWindow = window;
    singleton->KeptForm = form;
  }
  uintptr_t KeptClientWindow() const override { return singleton ? singleton->KeptWindow : 0; }
  bool ChildMaximized() const override { return singleton && singleton->MenuFlags[1]; }
  void SetChildMaximized(bool maximized) override {
    if (singleton) singleton->SetChildMaximized(maximized);
  }
  void RemoveFormSkinner(TComponent* skinner) override {
    if (singleton) singleton->RemoveSkinForm(skinner);
  }
};

TManagerSeam managerSeam;

class TPopupSeam : public TPopupManagerSeam {
 public:
  bool Enabled() const override { return singleton && singleton->Enabled; }
  void PaintedWithoutMenu(TWinSkinPopMenu* popup) override {
    if (singleton) singleton->CurrentPopup = popup;
  }
  DWORD VersionWord() const override { return versionWord; }
};

TPopupSeam popupSeam;

}  // namespace

void StartSkinEngine() {
  if (engineStarted) return;
  versionWord = GetVersion();
  ntFamily = (versionWord & 0x80000000u) == 0;
  majorNot6 = LOBYTE(LOWORD(versionWord)) != 6;
  TWinControl::PropertyAtom();  // the window property's name, registered as an atom
  moduleInstance = GetModuleHandleA(nullptr);
  hookDisabled = false;
  AcquireSkinWorkBitmap();
  SetSkinManagerSeam(&managerSeam);
  SetPopupManagerSeam(&popupSeam);
  engineStarted = true;
}

void StopSkinEngine() {
  if (!engineStarted) return;
  delete singleton;
  singleton = nullptr;
  ReleaseSkinWorkBitmap();
  SetSkinManagerSeam(nullptr);
  SetPopupManagerSeam(nullptr);
  engineStarted = false;
}

namespace {
// The unit's stop: the engine, then the caches the skin keeps for the whole run.
void StopSkinUnit() {
  StopSkinEngine();
  ReleaseFrameCache();
  ReleaseSkinDataCaches();
}
}  // namespace

void RegisterSkinUnit() {
  if (FindUnit("WinSkinData") >= 0) return;
  RegisterUnit("WinSkinData", &StartSkinEngine, &StopSkinUnit);
}

}  // namespace skin
