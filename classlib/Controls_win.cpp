#include "classlib/Controls_win.h"

#include <cstdio>
#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "classlib/ControlClasses.h"
#include "classlib/Menus_win.h"

const TEnumType BiDiModeType("TBiDiMode",
                             {"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"});

namespace {

TControlExceptionHandler exceptionHandler = nullptr;

// The control whose CreateWindowEx is running on this thread: its window is bound to
// it at the first message, before CreateWindowEx returns.
thread_local TWinControl* creatingControl = nullptr;

std::mutex classLock;
// Registered class name -> the window procedure it extends.
std::map<std::string, WNDPROC>& ClassProcs() {
  static std::map<std::string, WNDPROC> procs;
  return procs;
}

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

void InitCommonControlsOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES |
                                             ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    LoadLibraryA("riched20.dll");  // the rich-edit class; missing: TRichEdit fails to create
  });
}

WNDPROC DefaultProcOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  std::lock_guard<std::mutex> lock(classLock);
  auto it = ClassProcs().find(name);
  return it != ClassProcs().end() ? it->second : DefWindowProcA;
}

}  // namespace

void ForgetWindowClasses() {
  std::lock_guard<std::mutex> lock(classLock);
  std::map<std::string, WNDPROC>().swap(ClassProcs());
}

namespace {

// Registers the window class once per name; returns the procedure it extends.
WNDPROC RegisterWindowClass(const TCreateParams& params) {
  std::lock_guard<std::mutex> lock(classLock);
  auto& procs = ClassProcs();
  if (auto it = procs.find(params.WinClassName); it != procs.end()) return it->second;
  WNDCLASSA wc{};
  WNDPROC base = DefWindowProcA;
  if (!params.SystemClassName.empty()) {
    InitCommonControlsOnce();
    if (!GetClassInfoA(nullptr, params.SystemClassName.c_str(), &wc) &&
        !GetClassInfoA(ModuleInstance(), params.SystemClassName.c_str(), &wc))
      throw EInvalidOperation("Window class " + params.SystemClassName + " not found");
    base = wc.lpfnWndProc;
    wc.style &= ~CS_GLOBALCLASS;
  } else {
    wc.style = params.ClassStyle;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = params.Background;
  }
  wc.lpfnWndProc = ControlWindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = params.WinClassName.c_str();
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EInvalidOperation("Window class " + params.WinClassName + " could not be registered");
  procs[params.WinClassName] = base;
  return base;
}

bool IsMouseClientMessage(UINT message) { return message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK; }

// Restores a DC's state on every path.
class TSavedDc {
 public:
  explicit TSavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~TSavedDc() { RestoreDC(dc_, saved_); }
  TSavedDc(const TSavedDc&) = delete;
  TSavedDc& operator=(const TSavedDc&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// Binds a canvas to a DC for one paint.
class TCanvasDc {
 public:
  TCanvasDc(TCanvas& canvas, HDC dc) : canvas_(canvas) { canvas_.SetHandle(dc); }
  ~TCanvasDc() { canvas_.SetHandle(nullptr); }
  TCanvasDc(const TCanvasDc&) = delete;
  TCanvasDc& operator=(const TCanvasDc&) = delete;

 private:
  TCanvas& canvas_;
};

}  // namespace

// ---------------------------------------------------------------------------

void SetControlExceptionHandler(TControlExceptionHandler handler) { exceptionHandler = handler; }

namespace {
std::atomic<unsigned long> timerCallbacks{0};
}  // namespace

void CountTimerCallback() { timerCallbacks.fetch_add(1, std::memory_order_relaxed); }
unsigned long TimerCallbackCount() { return timerCallbacks.load(std::memory_order_relaxed); }

void HandleControlException(TObject* sender) noexcept {
  try {
    if (exceptionHandler) {
      exceptionHandler(sender);
      return;
    }
    try {
      throw;
    } catch (const std::exception& error) {
      if (NoErrorMessageBox()) {
        std::fprintf(stderr, "Error: %s\n", error.what());
        std::fflush(stderr);
      } else {
        MessageBoxA(nullptr, error.what(), "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
      }
    }
  } catch (...) {
    // Nothing more can be done here: the message loop must go on.
  }
}

TShiftState ShiftStateFromKeys(WPARAM keys) {
  TShiftState shift;
  if (keys & MK_SHIFT) shift.Include(TShiftStateItem::ssShift);
  if (keys & MK_CONTROL) shift.Include(TShiftStateItem::ssCtrl);
  if (keys & MK_LBUTTON) shift.Include(TShiftStateItem::ssLeft);
  if (keys & MK_RBUTTON) shift.Include(TShiftStateItem::ssRight);
  if (keys & MK_MBUTTON) shift.Include(TShiftStateItem::ssMiddle);
  if (GetKeyState(VK_MENU) < 0) shift.Include(TShiftStateItem::ssAlt);
  return shift;
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* control = TWinControl::FindControl(window);
  if (!control && creatingControl) {
    control = creatingControl;
    creatingControl = nullptr;
    control->AttachHandle(window);
  }
  if (!control) return CallWindowProcA(DefaultProcOf(window), window, msg, wParam, lParam);
  TMessage message{msg, wParam, lParam, 0};
  try {
    if (control->WindowProc)
      control->WindowProc(message);
    else
      control->WndProc(message);
  } catch (...) {
    HandleControlException(control);
  }
  if (msg == WM_NCDESTROY) control->DetachHandle();
  return message.Result;
}

// ---------------------------------------------------------------------------
// TControl

VELMORA_PUBLISH(TControl) {
  p.Integer("Left", &TControl::Left, &TControl::SetLeft)
      .Integer("Top", &TControl::Top, &TControl::SetTop)
      .Integer("Width", &TControl::Width, &TControl::SetWidth)
      .Integer("Height", &TControl::Height, &TControl::SetHeight)
      .String("Caption", &TControl::Caption, &TControl::SetCaption)
      .Object("Font", &TControl::Font, &TControl::SetFont)
      .Integer("Color", &TControl::Color, &TControl::SetColor)
      .Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor)
      .Default(0)
      .Boolean("Visible", &TControl::Visible, &TControl::SetVisible)
      .Default(1)
      .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled)
      .Default(1)
      .String("Hint", &TControl::Hint)
      .Boolean("ShowHint", &TControl::ShowHint)
      .Default(0)
      .Enum("BiDiMode", BiDiModeType, &TControl::BiDiMode)
      .Default(0)
      .Object("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu)
      .Event("OnClick", &TControl::OnClick)
      .Event("OnMouseDown", &TControl::OnMouseDown)
      .Event("OnMouseUp", &TControl::OnMouseUp)
      .Event("OnMouseMove", &TControl::OnMouseMove)
      .Event("OnMouseEnter", &TControl::OnMouseEnter)
      .Event("OnMouseLeave", &TControl::OnMouseLeave);
}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  WindowProc = TWndMethod::Of<&TControl::WndProc>(this);
  font_->OnChange = [this] {
    try {
      FontChanged();
    } catch (...) {
      HandleControlException(this);  // OnChange must not throw
    }
  };
}

TControl::~TControl() {
  SetState(TComponentStateItem::csDestroying, true);
  DestroyComponents();  // painters and the like, while this control is whole
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetPopupMenu(TComponent* menu) {
  if (menu == popupMenu_) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = menu;
  if (menu) menu->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == popupMenu_) popupMenu_ = nullptr;
}

LRESULT TControl::Perform(UINT message, WPARAM wParam, LPARAM lParam) {
  TMessage m{message, wParam, lParam, 0};
  if (WindowProc)
    WindowProc(m);
  else
    WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& message) {
  if (IsMouseClientMessage(message.Msg)) {
    HandleMouse(message);
  } else if (message.Msg == CM_MOUSEENTER) {
    mouseInControl_ = true;
    OnMouseEnter(this);
  } else if (message.Msg == CM_MOUSELEAVE) {
    mouseInControl_ = false;
    OnMouseLeave(this);
  }
  DefaultHandler(message);
}

void TControl::HandleMouse(TMessage& message) {
  const int x = GET_X_LPARAM(message.LParam), y = GET_Y_LPARAM(message.LParam);
  TShiftState shift = ShiftStateFromKeys(message.WParam);
  switch (message.Msg) {
    case WM_MOUSEMOVE:
      MouseMove(shift, x, y);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (message.Msg == WM_LBUTTONDBLCLK) shift.Include(TShiftStateItem::ssDouble);
      pressed_ = clickOnMouseUp_;
      MouseDown(TMouseButton::mbLeft, shift, x, y);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(TMouseButton::mbRight, shift, x, y);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(TMouseButton::mbMiddle, shift, x, y);
      break;
    case WM_LBUTTONUP: {
      const bool wasPressed = pressed_;
      pressed_ = false;
      MouseUp(TMouseButton::mbLeft, shift, x, y);
      if (wasPressed && x >= 0 && y >= 0 && x < width_ && y < height_) Click();
      break;
    }
    case WM_RBUTTONUP:
      MouseUp(TMouseButton::mbRight, shift, x, y);
      break;
    case WM_MBUTTONUP:
      MouseUp(TMouseButton::mbMiddle, shift, x, y);
      break;
    default:
      break;
  }
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) { OnMouseDown(this, button, shift, x, y); }
void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) { OnMouseUp(this, button, shift, x, y); }
void TControl::MouseMove(TShiftState shift, int x, int y) { OnMouseMove(this, shift, x, y); }
void TControl::Click() { OnClick(this); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (TControl* p = parent; p; p = p->parent_)
    if (p == this) throw EInvalidOperation("A control cannot have itself or a child as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (parent) parent->InsertControl(this);
  if (parentColor_) TakeParentColor();
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
  if (parent && !parent->Is<TWinControl>())
    throw EInvalidOperation("Control '" + Name() + "' cannot be placed in a " + parent->ClassName());
  SetParent(static_cast<TWinControl*>(parent));
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  const bool windowless = !Is<TWinControl>();
  if (windowless) Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  BoundsChanged();
  if (windowless) Invalidate();
}

RECT TControl::ClientRect() { return {0, 0, width_, height_}; }

POINT TControl::ClientToScreen(POINT point) {
  if (Is<TWinControl>()) {
    auto* self = static_cast<TWinControl*>(this);
    ::ClientToScreen(self->Handle(), &point);
    return point;
  }
  if (!parent_) return point;
  return parent_->ClientToScreen({point.x + left_, point.y + top_});
}

void TControl::SetText(const std::string& text) {
  if (text == Text()) return;
  text_ = text;
  TextChanged();
  Perform(CM_TEXTCHANGED);
  Invalidate();
}

void TControl::SetFont(TFont* font) {
  if (font) font_->Assign(*font);
}

void TControl::SetColor(TColor color) {
  parentColor_ = false;
  if (color == color_) return;
  color_ = color;
  ColorChanged();
}

void TControl::SetParentColor(bool on) {
  parentColor_ = on;
  if (on) TakeParentColor();
}

void TControl::TakeParentColor() {
  if (!parent_ || parent_->color_ == color_) return;
  color_ = parent_->color_;
  ColorChanged();
}

void TControl::ColorChanged() {
  Perform(CM_COLORCHANGED);
  Invalidate();
}

void TControl::ParentColorChanged() {
  if (parentColor_) TakeParentColor();
}

void TControl::FontChanged() {
  Perform(CM_FONTCHANGED);
  Invalidate();
}

void TControl::SetVisible(bool on) {
  if (on == visible_) return;
  if (!Is<TWinControl>() && !on) Invalidate();  // the parent repaints where it was
  visible_ = on;
  if (Is<TWinControl>()) {
    auto* self = static_cast<TWinControl*>(this);
    if (self->HandleAllocated()) ShowWindow(self->handle_, on ? SW_SHOWNA : SW_HIDE);
  }
  Perform(CM_VISIBLECHANGED, on ? 1 : 0);
  if (on) Invalidate();
}

void TControl::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (Is<TWinControl>()) {
    auto* self = static_cast<TWinControl*>(this);
    if (self->HandleAllocated()) EnableWindow(self->handle_, on);
  }
  Perform(CM_ENABLEDCHANGED, on ? 1 : 0);
  Invalidate();
}

bool TControl::Showing() const {
  if (!visible_) return false;
  if (Is<TWinControl>()) {
    auto* self = static_cast<const TWinControl*>(this);
    if (self->HandleAllocated()) return IsWindowVisible(self->handle_) != FALSE;
  }
  return parent_ ? parent_->Showing() : false;
}

void TControl::Invalidate() {
  if (!parent_ || !parent_->HandleAllocated()) return;
  RECT r = BoundsRect();
  InvalidateRect(parent_->handle_, &r, TRUE);
}

void TControl::Update() {
  if (parent_) parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

// ---------------------------------------------------------------------------
// TWinControl

VELMORA_PUBLISH(TWinControl) {
  p.Integer("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder)
      .Boolean("TabStop", &TWinControl::TabStop)
      .Default(0);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {
  brush_.SetColor(Color());
}

TWinControl::~TWinControl() {
  SetState(TComponentStateItem::csDestroying, true);
  DestroyComponents();
  for (TControl* child : controls_) child->parent_ = nullptr;
  controls_.clear();
  tabList_.clear();
  hoverControl_ = captureControl_ = nullptr;
  if (handle_) {
    // Messages of the dying window go to this class's own handling only.
    WindowProc = TWndMethod::Of<&TControl::WndProc>(this);
    DestroyWindow(handle_);
    DetachHandle();
  }
  if (parent_) parent_->RemoveControl(this);
  if (fontHandle_) DeleteObject(fontHandle_);
}

const char* TWinControl::PropertyName() {
  // A plain array: a thread-local string would keep its text and its destructor's
  // record on the heap until the thread ends, after the units have stopped.
  thread_local char name[32] = {};
  if (!name[0]) {
    const std::string text = ControlPropertyName(
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ModuleInstance())), GetCurrentThreadId());
    text.copy(name, sizeof name - 1);
  }
  return name;
}

ATOM TWinControl::PropertyAtom() {
  // Registered for the thread's lifetime: other code looks the property up by name.
  thread_local ATOM atom = GlobalAddAtomA(PropertyName());
  return atom;
}

TWinControl* TWinControl::FindControl(HWND window) {
  if (!window) return nullptr;
  return static_cast<TWinControl*>(GetPropA(window, MAKEINTATOM(PropertyAtom())));
}

void TWinControl::AttachHandle(HWND window) {
  handle_ = window;
  SetPropA(window, MAKEINTATOM(PropertyAtom()), this);
}

void TWinControl::DetachHandle() {
  if (!handle_) return;
  RemovePropA(handle_, MAKEINTATOM(PropertyAtom()));
  handle_ = nullptr;
  trackingLeave_ = false;
}

HWND TWinControl::Handle() {
  if (!handle_ && parent_) parent_->HandleNeeded();  // makes this window too
  if (!handle_) CreateWnd();
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.Caption = text_;
  params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (acceptsControls_) params.Style |= WS_CLIPCHILDREN;
  if (visible_) params.Style |= WS_VISIBLE;
  if (!enabled_) params.Style |= WS_DISABLED;
  if (TabStop) params.Style |= WS_TABSTOP;
  params.X = left_;
  params.Y = top_;
  params.Width = width_;
  params.Height = height_;
  params.WndParent = Parent() ? Parent()->Handle() : parentWindow_;
  params.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& params, const char* systemClass) {
  params.SystemClassName = systemClass;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent)
    throw EInvalidOperation("Control '" + Name() + "' has no parent window");
  defWndProc_ = RegisterWindowClass(params);
  // Children get an id so that WM_MEASUREITEM (which names only the id) finds them.
  static UINT nextId = 100;
  HMENU idOrMenu = (params.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nextId++)) : nullptr;
  creatingControl = this;
  HWND window = CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(),
                                params.Style, params.X, params.Y, params.Width, params.Height,
                                params.WndParent, idOrMenu, ModuleInstance(), params.Param);
  creatingControl = nullptr;
  if (!window) throw EInvalidOperation("Error creating window of class " + params.WinClassName);
  if (!handle_) AttachHandle(window);
  brush_.SetColor(Color());
  ApplyFont();
  CreateHandleDone();
  for (TControl* child : std::vector<TControl*>(controls_))
    if (child->Is<TWinControl>()) static_cast<TWinControl*>(child)->HandleNeeded();
}

void TWinControl::DestroyWnd() {
  if (!handle_) return;
  text_ = Text();
  DestroyWindow(handle_);
  DetachHandle();
}

void TWinControl::RecreateWnd() {
  if (!handle_) return;
  Perform(CM_RECREATEWND);
  DestroyWnd();
  HandleNeeded();
}

void TWinControl::SetParentWindow(HWND window) {
  if (window == parentWindow_) return;
  parentWindow_ = window;
  if (handle_ && !Parent()) {
    if (window)
      ::SetParent(handle_, window);
    else
      DestroyWnd();
  }
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent == Parent()) return;
  TControl::SetParent(parent);
  if (!handle_) return;
  if (parent && parent->HandleAllocated())
    ::SetParent(handle_, parent->handle_);
  else if (!parent && parentWindow_)
    ::SetParent(handle_, parentWindow_);
  else
    DestroyWnd();
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  if (control->Is<TWinControl>()) {
    auto* windowed = static_cast<TWinControl*>(control);
    tabList_.push_back(windowed);
    if (handle_) windowed->HandleNeeded();
  } else {
    control->Invalidate();
  }
}

void TWinControl::RemoveControl(TControl* control) {
  if (!control->Is<TWinControl>()) control->Invalidate();
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), control), tabList_.end());
  if (hoverControl_ == control) hoverControl_ = nullptr;
  if (captureControl_ == control) {
    captureControl_ = nullptr;
    if (GetCapture() == handle_) ReleaseCapture();
  }
  control->parent_ = nullptr;
}

TControl* TWinControl::ControlAtPos(POINT point) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (c->Is<TWinControl>() || !c->visible_ || !c->enabled_) continue;
    RECT r = c->BoundsRect();
    if (PtInRect(&r, point)) return c;
  }
  return nullptr;
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tabList_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (!Parent()) return;
  auto& list = Parent()->tabList_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  order = std::clamp(order, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + order, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* child : tabList_) {
    list.push_back(child);
    child->GetTabOrderList(list);
  }
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus() { ::SetFocus(Handle()); }

std::string TWinControl::Text() const {
  if (!handle_) return text_;
  int length = GetWindowTextLengthA(handle_);
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  length = GetWindowTextA(handle_, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(length, 0)));
  return text;
}

void TWinControl::TextChanged() {
  if (handle_) SetWindowTextA(handle_, text_.c_str());
}

void TWinControl::ColorChanged() {
  brush_.SetColor(Color());
  TControl::ColorChanged();
  for (TControl* child : controls_) child->ParentColorChanged();
}

void TWinControl::FontChanged() {
  ApplyFont();
  TControl::FontChanged();
}

void TWinControl::ApplyFont() {
  if (!handle_) return;
  LOGFONTA logFont = Font()->LogFont();
  HFONT font = CreateFontIndirectA(&logFont);
  if (!font) return;
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (fontHandle_) DeleteObject(fontHandle_);
  fontHandle_ = font;
}

void TWinControl::BoundsChanged() {
  if (handle_)
    SetWindowPos(handle_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TWinControl::ClientRect() {
  if (!handle_) return TControl::ClientRect();
  RECT r{};
  GetClientRect(handle_, &r);
  return r;
}

void TWinControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void TWinControl::Update() {
  if (handle_) UpdateWindow(handle_);
}

void TWinControl::Repaint() {
  if (handle_) RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TWinControl::DefaultHandler(TMessage& message) {
  if (!handle_) return;
  if (message.Msg >= CM_BASE && message.Msg < CN_BASE + 0x400) {
    // A reflected colour message nobody answered gets the system's default colours.
    const UINT original = message.Msg - CN_BASE;
    if (message.Msg >= CN_BASE && original >= WM_CTLCOLORMSGBOX && original <= WM_CTLCOLORSTATIC)
      message.Result = DefWindowProcA(handle_, original, message.WParam, message.LParam);
    return;
  }
  message.Result = CallWindowProcA(defWndProc_ ? defWndProc_ : DefWindowProcA, handle_, message.Msg,
                                   message.WParam, message.LParam);
}

void TWinControl::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
      WMPaint(message);
      return;
    case WM_ERASEBKGND:
      WMEraseBkgnd(message);
      return;
    case WM_KEYDOWN:
      if (message.WParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 && FocusNextInTabOrder(GetKeyState(VK_SHIFT) < 0)) {
        message.Result = 0;
        return;
      }
      break;
    case WM_CONTEXTMENU:
      // The control's popup menu at the pointer (or at its centre from the keyboard).
      if (auto* menu = dynamic_cast<TPopupMenu*>(PopupMenu())) {
        POINT at{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
        if (message.LParam == -1) at = ClientToScreen({Width() / 2, Height() / 2});
        TWinControl* root = this;
        while (root->parent_) root = root->parent_;
        menu->Popup(at.x, at.y, root->Handle());
        message.Result = 0;
        return;
      }
      break;
    case WM_SYSCOMMAND:
      // Alt+letter in a control: the form's menu accelerators come first, as they do
      // when the form itself has the focus (a bar drawn by the program, not the
      // system, is reached only this way).
      if ((message.WParam & 0xFFF0) == SC_KEYMENU && message.LParam != ' ' && message.LParam != '-' && message.LParam &&
          !GetCapture()) {
        TWinControl* form = this;
        while (form->parent_) form = form->parent_;
        if (form != this && form->Perform(CM_DIALOGCHAR, static_cast<WPARAM>(message.LParam), 0) != 0) {
          message.Result = 0;
          return;
        }
      }
      break;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      UpdateHover(nullptr);
      if (MouseInControl()) Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(this));
      DefaultHandler(message);
      return;
    case WM_DESTROY:
      text_ = Text();
      break;
    case WM_WINDOWPOSCHANGED: {
      DefaultHandler(message);
      RECT r{};
      GetWindowRect(handle_, &r);
      if (GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(handle_), reinterpret_cast<POINT*>(&r), 2);
      left_ = r.left;
      top_ = r.top;
      width_ = r.right - r.left;
      height_ = r.bottom - r.top;
      return;
    }
    case CN_BASE + WM_CTLCOLORMSGBOX:
    case CN_BASE + WM_CTLCOLOREDIT:
    case CN_BASE + WM_CTLCOLORLISTBOX:
    case CN_BASE + WM_CTLCOLORBTN:
    case CN_BASE + WM_CTLCOLORDLG:
    case CN_BASE + WM_CTLCOLORSCROLLBAR:
    case CN_BASE + WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(message.WParam);
      SetTextColor(dc, ColorToRGB(Font()->Color()));
      SetBkColor(dc, ColorToRGB(Color()));
      message.Result = reinterpret_cast<LRESULT>(brush_.GdiHandle());
      return;
    }
    default:
      break;
  }
  if (IsMouseClientMessage(message.Msg)) {
    if (message.Msg == WM_MOUSEMOVE) {
      if (!trackingLeave_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, handle_, 0};
        trackingLeave_ = TrackMouseEvent(&track) != FALSE;
      }
      if (!MouseInControl()) Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(this));
    }
    POINT point{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
    TControl* target = captureControl_ ? captureControl_ : ControlAtPos(point);
    if (message.Msg == WM_MOUSEMOVE) UpdateHover(ControlAtPos(point));
    if (target && RoutesMouseToControls()) {
      RouteMouseToChild(message);
      return;
    }
  } else if (ReflectToChild(message)) {
    return;
  }
  TControl::WndProc(message);
}

bool TWinControl::FocusNextInTabOrder(bool backwards) {
  const TWinControl* root = this;
  while (root->parent_) root = root->parent_;
  std::vector<TWinControl*> order;
  root->GetTabOrderList(order);
  const auto n = static_cast<ptrdiff_t>(order.size());
  const ptrdiff_t here = std::find(order.begin(), order.end(), this) - order.begin();
  for (ptrdiff_t step = 1; step <= n; ++step) {
    const ptrdiff_t i = ((backwards ? here - step : here + step) % n + n) % n;
    TWinControl* c = order[static_cast<size_t>(i)];
    if (c != this && c->TabStop && c->handle_ && IsWindowVisible(c->handle_) && IsWindowEnabled(c->handle_)) {
      ::SetFocus(c->handle_);
      return true;
    }
  }
  return false;
}

void TWinControl::UpdateHover(TControl* next) {
  THoverChange change = HoverChange(hoverControl_, next);
  hoverControl_ = next;
  if (change.Leave) static_cast<TControl*>(const_cast<void*>(change.Leave))->Perform(CM_MOUSELEAVE);
  if (change.Enter) static_cast<TControl*>(const_cast<void*>(change.Enter))->Perform(CM_MOUSEENTER);
}

void TWinControl::RouteMouseToChild(TMessage& message) {
  POINT point{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  TControl* target = captureControl_ ? captureControl_ : ControlAtPos(point);
  if (!target) return;
  const bool down = message.Msg == WM_LBUTTONDOWN || message.Msg == WM_RBUTTONDOWN ||
                    message.Msg == WM_MBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK;
  if (down && !captureControl_) {
    captureControl_ = target;
    SetCapture(handle_);
  }
  const LPARAM local = MAKELPARAM(static_cast<WORD>(static_cast<short>(point.x - target->left_)),
                                  static_cast<WORD>(static_cast<short>(point.y - target->top_)));
  message.Result = target->Perform(message.Msg, message.WParam, local);
  const bool up = message.Msg == WM_LBUTTONUP || message.Msg == WM_RBUTTONUP || message.Msg == WM_MBUTTONUP;
  if (up && !(message.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && captureControl_) {
    captureControl_ = nullptr;
    if (GetCapture() == handle_) ReleaseCapture();
  }
}

bool TWinControl::ReflectToChild(TMessage& message) {
  HWND child = nullptr;
  switch (ReflectSourceOf(message.Msg, static_cast<uintptr_t>(message.LParam))) {
    case TReflectSource::None:
      return false;
    case TReflectSource::LParamWindow:
      child = reinterpret_cast<HWND>(message.LParam);
      break;
    case TReflectSource::NotifyHeader:
      child = reinterpret_cast<const NMHDR*>(message.LParam)->hwndFrom;
      break;
    case TReflectSource::DrawItem: {
      const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam);
      if (draw->CtlType != ODT_MENU) child = draw->hwndItem;
      break;
    }
    case TReflectSource::ItemId:
      if (message.Msg == WM_MEASUREITEM && message.LParam &&
          reinterpret_cast<const MEASUREITEMSTRUCT*>(message.LParam)->CtlType == ODT_MENU)
        return false;
      if (message.WParam && handle_) child = GetDlgItem(handle_, static_cast<int>(message.WParam));
      break;
  }
  if (!child || child == handle_) return false;
  TWinControl* control = FindControl(child);
  if (!control) return false;
  message.Result = control->Perform(CN_BASE + message.Msg, message.WParam, message.LParam);
  return true;
}

void TWinControl::WMPaint(TMessage& message) {
  HDC given = reinterpret_cast<HDC>(message.WParam);
  if (given) {
    PaintWindow(given);
    PaintControls(given);
    return;
  }
  const bool graphicChildren = std::any_of(controls_.begin(), controls_.end(),
                                           [](TControl* c) { return !c->Is<TWinControl>() && c->visible_; });
  if (HasSystemClass() && !graphicChildren) {
    DefaultHandler(message);
    return;
  }
  TPaintScope paint(handle_);
  PaintWindow(paint.Dc());
  PaintControls(paint.Dc());
}

void TWinControl::PaintWindow(HDC dc) {
  if (HasSystemClass()) {
    TMessage paint{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
    DefaultHandler(paint);
  } else {
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc));
  }
}

void TWinControl::WMEraseBkgnd(TMessage& message) {
  if (HasSystemClass()) {
    DefaultHandler(message);
    return;
  }
  RECT r{};
  GetClientRect(handle_, &r);
  FillRect(reinterpret_cast<HDC>(message.WParam), &r, static_cast<HBRUSH>(brush_.GdiHandle()));
  message.Result = 1;
}

void TWinControl::PaintControls(HDC dc) {
  for (TControl* child : std::vector<TControl*>(controls_)) {
    if (child->Is<TWinControl>() || !child->visible_) continue;
    RECT r = child->BoundsRect();
    if (!RectVisible(dc, &r)) continue;
    TSavedDc saved(dc);
    POINT origin{};
    GetViewportOrgEx(dc, &origin);
    SetViewportOrgEx(dc, origin.x + child->left_, origin.y + child->top_, nullptr);
    IntersectClipRect(dc, 0, 0, child->width_, child->height_);
    child->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc));
  }
}

// ---------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), canvas_(std::make_unique<TCanvas>()) {}
TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& message) {
  if (message.Msg == WM_PAINT && message.WParam) {
    TCanvasDc bound(*canvas_, reinterpret_cast<HDC>(message.WParam));
    Paint();
    return;
  }
  TControl::WndProc(message);
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  acceptsControls_ = true;
}
TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(HDC dc) {
  TWinControl::PaintWindow(dc);  // background
  TCanvasDc bound(*canvas_, dc);
  Paint();
}

void RegisterControlsClasses() {
  RegisterControlClass(TControl::StaticClass());
  RegisterControlClass(TWinControl::StaticClass());
  RegisterControlClass(TGraphicControl::StaticClass());
  RegisterControlClass(TCustomControl::StaticClass());
}
