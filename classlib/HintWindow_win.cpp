#include "classlib/HintWindow_win.h"

#include <algorithm>
#include <map>
#include <vector>

#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
  visible_ = false;
  SetColor(clInfoBk);
  Font()->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style = WS_POPUP | WS_BORDER;
  params.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
  params.WndParent = nullptr;
  params.ClassStyle |= CS_SAVEBITS;
}

RECT THintWindow::CalcHintRect(int maxWidth, const std::string& text) {
  RECT r{0, 0, std::max(maxWidth, 1), 0};
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, Font()->Handle());
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  // Room for the border and a small margin round the text.
  r.right += 8;
  r.bottom += 4;
  return r;
}

void THintWindow::ActivateHint(const RECT& screenRect, const std::string& text) {
  SetText(text);
  HWND window = Handle();
  SetWindowPos(window, HWND_TOPMOST, screenRect.left, screenRect.top, screenRect.right - screenRect.left,
               screenRect.bottom - screenRect.top, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(window, nullptr, TRUE);
}

void THintWindow::ReleaseHint() {
  if (HandleAllocated()) ShowWindow(Handle(), SW_HIDE);
}

void THintWindow::Paint() {
  RECT r = ClientRect();
  Canvas().Brush().SetColor(Color());
  Canvas().FillRect(r);
  Canvas().Brush().SetStyle(TBrushStyle::bsClear);
  Canvas().Font().Assign(*Font());
  InflateRect(&r, -3, -1);
  std::string text = Text();
  Canvas().DrawText(r, text, DT_WORDBREAK | DT_NOPREFIX | DT_LEFT);
}

// ---------------------------------------------------------------------------

namespace {
std::map<UINT_PTR, THintManager*>& Managers() {
  static std::map<UINT_PTR, THintManager*> managers;
  return managers;
}

// The live managers and the one mouse hook per thread that arms their timers.
std::vector<THintManager*>& HookedManagers() {
  static std::vector<THintManager*> managers;
  return managers;
}
std::map<DWORD, HHOOK>& MouseHooks() {
  static std::map<DWORD, HHOOK> hooks;
  return hooks;
}
}  // namespace

void CALLBACK HintTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Managers().find(id);
  if (it == Managers().end()) return;
  THintManager* manager = it->second;
  CountTimerCallback();
  try {
    manager->Poll();
  } catch (...) {
    HandleControlException(manager);
  }
}

LRESULT CALLBACK HintMouseHook(int code, WPARAM wParam, LPARAM lParam) {
  const DWORD thread = GetCurrentThreadId();
  auto hook = MouseHooks().find(thread);
  HHOOK next = hook == MouseHooks().end() ? nullptr : hook->second;
  if (code == HC_ACTION && (wParam == WM_MOUSEMOVE || wParam == WM_NCMOUSEMOVE)) {
    // Only arms the timer: showing a window from inside a hook is asking for trouble.
    for (THintManager* manager : HookedManagers()) {
      if (manager->thread_ != thread) continue;
      try {
        manager->ArmTimer();
      } catch (...) {
        HandleControlException(manager);
      }
    }
  }
  return CallNextHookEx(next, code, wParam, lParam);
}

THintManager::THintManager(TComponent* owner)
    : TComponent(owner), window_(std::make_unique<THintWindow>()), thread_(GetCurrentThreadId()) {
  HookedManagers().push_back(this);
  if (!MouseHooks().count(thread_))
    if (HHOOK hook = SetWindowsHookExA(WH_MOUSE, HintMouseHook, nullptr, thread_)) MouseHooks()[thread_] = hook;
  ArmTimer();  // one look at where the pointer rests now
}

THintManager::~THintManager() {
  if (timerId_) {
    KillTimer(nullptr, timerId_);
    Managers().erase(timerId_);
  }
  auto& hooked = HookedManagers();
  hooked.erase(std::remove(hooked.begin(), hooked.end(), this), hooked.end());
  // The last one gives the list's memory back: a leak check at exit sees none.
  if (hooked.empty()) std::vector<THintManager*>().swap(hooked);
  const bool threadStillHooked =
      std::any_of(hooked.begin(), hooked.end(), [&](THintManager* m) { return m->thread_ == thread_; });
  if (auto hook = MouseHooks().find(thread_); hook != MouseHooks().end() && !threadStillHooked) {
    UnhookWindowsHookEx(hook->second);
    MouseHooks().erase(hook);
  }
  if (shown_) shown_->RemoveFreeNotification(this);
}

void THintManager::ArmTimer() {
  if (timerId_) return;
  timerId_ = SetTimer(nullptr, 0, 50, HintTimerProc);
  if (timerId_) Managers()[timerId_] = this;
}

void THintManager::StopTimerWhenIdle() {
  if (!timerId_ || timer_.Target() || window_->HintShowing()) return;
  KillTimer(nullptr, timerId_);
  Managers().erase(timerId_);
  timerId_ = 0;
}

void THintManager::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove || component != shown_) return;
  shown_ = nullptr;
  window_->ReleaseHint();
  timer_.PointerOver(nullptr, GetTickCount(), 0);
  StopTimerWhenIdle();
}

TControl* THintManager::HintControlAt(POINT screenPoint) {
  TWinControl* control = nullptr;
  for (HWND window = WindowFromPoint(screenPoint); window && !control; window = GetParent(window))
    control = TWinControl::FindControl(window);
  if (!control) return nullptr;
  POINT client = screenPoint;
  if (control->HandleAllocated()) ScreenToClient(control->Handle(), &client);
  TControl* found = control->ControlAtPos(client);
  for (TControl* c = found ? found : control; c; c = c->Parent())
    if (c->ShowHint && !c->Hint.empty()) return c;
  return nullptr;
}

void THintManager::Poll() {
  const uint32_t pause = Application ? static_cast<uint32_t>(std::max(Application->HintPause, 0)) : 500u;
  const uint32_t hidePause = Application ? static_cast<uint32_t>(std::max(Application->HintHidePause, 0)) : 2500u;
  POINT point{};
  GetCursorPos(&point);
  TControl* over = HintControlAt(point);
  const uint32_t now = GetTickCount();
  THintAction action = timer_.PointerOver(over, now, pause);
  if (action == THintAction::None) action = timer_.Tick(now, pause, hidePause);
  if (action == THintAction::Show) Show(over);
  if (action == THintAction::Hide) {
    window_->ReleaseHint();
    if (shown_) shown_->RemoveFreeNotification(this);
    shown_ = nullptr;
  }
  StopTimerWhenIdle();
}

void THintManager::Show(TControl* control) {
  if (!control) return;
  if (shown_) shown_->RemoveFreeNotification(this);
  shown_ = control;
  shown_->FreeNotification(this);
  POINT point{};
  GetCursorPos(&point);
  RECT r = window_->CalcHintRect(300, control->Hint);
  // Below the pointer's arrow, as hints usually sit.
  OffsetRect(&r, point.x, point.y + GetSystemMetrics(SM_CYCURSOR) / 2 + 4);
  window_->ActivateHint(r, control->Hint);
}

void RegisterHintWindowClasses() {
  RegisterControlClass(THintWindow::StaticClass());
  RegisterControlClass(THintManager::StaticClass());
}
