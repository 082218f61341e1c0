#include "classlib/Forms_win.h"

#include <algorithm>
#include <cstring>

#include "classlib/ControlClasses.h"
#include "classlib/ControlsRegistry_win.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

const TEnumType FormBorderStyleType("TFormBorderStyle",
                                    {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"});
const TEnumType FormStyleType("TFormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"});
const TEnumType WindowStateType("TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"});
const TEnumType BorderStyleType("TBorderStyle", {"bsNone", "bsSingle"});

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TScrollingWinControl) { p.Boolean("AutoScroll", &TScrollingWinControl::AutoScroll); }

TScrollingWinControl::TScrollingWinControl(TComponent* owner) : TWinControl(owner) { acceptsControls_ = true; }

VELMORA_PUBLISH(TScrollBox) { p.Enum("BorderStyle", BorderStyleType, &TScrollBox::BorderStyle).Default(1); }

void TScrollBox::CreateParams(TCreateParams& params) {
  TScrollingWinControl::CreateParams(params);
  if (BorderStyle == TScrollBoxBorderStyle::bsSingle) params.ExStyle |= WS_EX_CLIENTEDGE;
  if (AutoScroll) params.Style |= WS_HSCROLL | WS_VSCROLL;
}

// ---------------------------------------------------------------------------
// TCustomForm

VELMORA_PUBLISH(TCustomForm) {
  p.Enum("BorderStyle", FormBorderStyleType, &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle)
      .Default(2)
      .Enum("FormStyle", FormStyleType, &TCustomForm::FormStyle, &TCustomForm::SetFormStyle)
      .Default(0)
      .Enum("WindowState", WindowStateType, &TCustomForm::WindowState, &TCustomForm::SetWindowState)
      .Default(0)
      .Object("Menu", &TCustomForm::Menu, &TCustomForm::SetMenu)
      .Integer("ClientWidth", &TCustomForm::GetClientWidth, &TCustomForm::SetClientWidth)
      .Integer("ClientHeight", &TCustomForm::GetClientHeight, &TCustomForm::SetClientHeight)
      .Event("OnCreate", &TCustomForm::OnCreate)
      .Event("OnShow", &TCustomForm::OnShow)
      .Event("OnClose", &TCustomForm::OnClose);
}

TCustomForm::TCustomForm(TComponent* owner) : TScrollingWinControl(owner) {
  visible_ = false;
  SetBounds(0, 0, 320, 240);
  if (Screen) Screen->forms_.push_back(this);
}

TCustomForm::~TCustomForm() {
  if (Screen) {
    auto& forms = Screen->forms_;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (Screen->activeForm_ == this) Screen->activeForm_ = nullptr;
  }
  if (Application && Application->MainForm() == this) Application->SetMainForm(nullptr);
  if (menu_) menu_->WindowHandle = nullptr;
}

void TCustomForm::CreateParams(TCreateParams& params) {
  TScrollingWinControl::CreateParams(params);
  params.Style &= ~(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  params.Style |= WS_CLIPCHILDREN;
  switch (borderStyle_) {
    case TFormBorderStyle::bsNone:
      params.Style |= WS_POPUP;
      break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow:
      params.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER;
      break;
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsSizeToolWin:
      params.Style |= WS_OVERLAPPEDWINDOW;
      break;
    case TFormBorderStyle::bsDialog:
      params.Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
      params.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (borderStyle_ == TFormBorderStyle::bsToolWindow || borderStyle_ == TFormBorderStyle::bsSizeToolWin)
    params.ExStyle |= WS_EX_TOOLWINDOW;
  if (formStyle_ == TFormStyle::fsStayOnTop) params.ExStyle |= WS_EX_TOPMOST;
  params.WndParent = Application && Application->MainForm() != this ? Application->Handle() : nullptr;
  if (formStyle_ == TFormStyle::fsMDIChild) {
    TCustomForm* frame = Application ? Application->MainForm() : nullptr;
    if (!frame || frame == this || frame->formStyle_ != TFormStyle::fsMDIForm)
      throw EInvalidOperation("Cannot create form. No MDI forms are currently active");
    frame->HandleNeeded();
    params.Style = (params.Style & ~WS_POPUP) | WS_CHILD | WS_CLIPSIBLINGS | WS_OVERLAPPEDWINDOW;
    params.ExStyle |= WS_EX_MDICHILD;
    params.WndParent = frame->clientHandle_;
  }
  params.ClassStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
}

void TCustomForm::CreateHandleDone() {
  if (formStyle_ == TFormStyle::fsMDIForm && !clientHandle_) {
    CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
    RECT r{};
    GetClientRect(Handle(), &r);
    clientHandle_ = CreateWindowExA(WS_EX_CLIENTEDGE, "MDIClient", nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, r.right,
                                    r.bottom, Handle(), nullptr, GetModuleHandleA(nullptr), &ccs);
  }
  if (menu_) {
    menu_->WindowHandle = Handle();
    ::SetMenu(Handle(), menu_->Handle());
  }
  if (!icon_.Empty()) SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Handle()));
}

void TCustomForm::DefaultHandler(TMessage& message) {
  if (!HandleAllocated()) return;
  if (message.Msg < CM_BASE || message.Msg >= CN_BASE + 0x400) {
    if (formStyle_ == TFormStyle::fsMDIForm) {
      message.Result = DefFrameProcA(Handle(), clientHandle_, message.Msg, message.WParam, message.LParam);
      return;
    }
    if (formStyle_ == TFormStyle::fsMDIChild) {
      message.Result = DefMDIChildProcA(Handle(), message.Msg, message.WParam, message.LParam);
      return;
    }
  }
  TScrollingWinControl::DefaultHandler(message);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle style) {
  if (style == formStyle_) return;
  if (HandleAllocated() && (style == TFormStyle::fsMDIChild || formStyle_ == TFormStyle::fsMDIChild ||
                            style == TFormStyle::fsMDIForm || formStyle_ == TFormStyle::fsMDIForm))
    throw EInvalidOperation("Cannot change the MDI style of a form that has a window");
  formStyle_ = style;
  if (HandleAllocated())
    SetWindowPos(Handle(), style == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::SetWindowState(TWindowState state) {
  windowState_ = state;
  if (HandleAllocated() && visible_)
    ShowWindow(Handle(), state == TWindowState::wsMaximized   ? SW_MAXIMIZE
                         : state == TWindowState::wsMinimized ? SW_MINIMIZE
                                                              : SW_RESTORE);
}

void TCustomForm::SetMenu(TMainMenu* menu) {
  if (menu == menu_) return;
  if (menu_) menu_->WindowHandle = nullptr;
  menu_ = menu;
  if (!HandleAllocated()) return;
  if (menu_) menu_->WindowHandle = Handle();
  ::SetMenu(Handle(), menu_ ? menu_->Handle() : nullptr);
  Perform(CM_MENUCHANGED);
}

void TCustomForm::SetClientWidth(int width) {
  if (!HandleAllocated()) {
    SetWidth(width);
    return;
  }
  RECT client{}, window{};
  GetClientRect(Handle(), &client);
  GetWindowRect(Handle(), &window);
  SetWidth(width + (window.right - window.left) - client.right);
}

void TCustomForm::SetClientHeight(int height) {
  if (!HandleAllocated()) {
    SetHeight(height);
    return;
  }
  RECT client{}, window{};
  GetClientRect(Handle(), &client);
  GetWindowRect(Handle(), &window);
  SetHeight(height + (window.bottom - window.top) - client.bottom);
}

void TCustomForm::Loaded() {
  TScrollingWinControl::Loaded();
  OnCreate(this);
  if (visible_) {
    visible_ = false;
    Show();
  }
}

void TCustomForm::Show() {
  HandleNeeded();
  const bool first = !visible_;
  visible_ = true;
  ShowWindow(Handle(), windowState_ == TWindowState::wsMaximized   ? SW_SHOWMAXIMIZED
                       : windowState_ == TWindowState::wsMinimized ? SW_SHOWMINIMIZED
                                                                   : SW_SHOWNORMAL);
  if (first) {
    Perform(CM_VISIBLECHANGED, 1);
    OnShow(this);
  }
}

void TCustomForm::Close() {
  OnClose(this);
  if (formState_.Contains(TFormStateItem::fsModal)) {
    ModalResult = mrCancel;
    return;
  }
  if (Application && Application->MainForm() == this) Application->Terminate();
  Hide();
}

int TCustomForm::ShowModal() {
  if (formState_.Contains(TFormStateItem::fsModal) || !enabled_)
    throw EInvalidOperation("Cannot make a visible window modal");
  ModalResult = mrNone;
  formState_.Include(TFormStateItem::fsModal);
  // Other forms are disabled while this one is up, as a dialog's owner is.
  std::vector<HWND> disabled;
  if (Screen)
    for (TCustomForm* form : Screen->forms_)
      if (form != this && form->HandleAllocated() && IsWindowEnabled(form->Handle())) {
        EnableWindow(form->Handle(), FALSE);
        disabled.push_back(form->Handle());
      }
  struct TRestore {
    std::vector<HWND>& windows;
    TCustomForm* form;
    ~TRestore() {
      for (HWND w : windows)
        if (IsWindow(w)) EnableWindow(w, TRUE);
      form->formState_.Exclude(TFormStateItem::fsModal);
      form->Hide();
    }
  } restore{disabled, this};
  Show();
  while (ModalResult == mrNone && Application && !Application->Terminated()) Application->HandleMessage();
  return ModalResult;
}

TCustomForm* TCustomForm::ActiveMDIChild() const {
  if (!clientHandle_) return nullptr;
  HWND active = reinterpret_cast<HWND>(SendMessageA(clientHandle_, WM_MDIGETACTIVE, 0, 0));
  TWinControl* control = FindControl(active);
  return control && control->Is<TCustomForm>() ? static_cast<TCustomForm*>(control) : nullptr;
}

std::vector<TCustomForm*> TCustomForm::MDIChildren() const {
  std::vector<TCustomForm*> children;
  if (Screen && formStyle_ == TFormStyle::fsMDIForm)
    for (TCustomForm* form : Screen->forms_)
      if (form->formStyle_ == TFormStyle::fsMDIChild) children.push_back(form);
  return children;
}

void TCustomForm::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_ACTIVATE:
      if (Screen && LOWORD(message.WParam) != WA_INACTIVE) Screen->activeForm_ = this;
      break;
    case WM_CLOSE:
      Close();
      return;
    case WM_SIZE:
      if (clientHandle_) {
        // The MDI client fills the client area under the form's other controls.
        MoveWindow(clientHandle_, 0, 0, LOWORD(message.LParam), HIWORD(message.LParam), TRUE);
        message.Result = 0;
        TScrollingWinControl::WndProc(message);
        return;
      }
      break;
    case WM_NCDESTROY:
      clientHandle_ = nullptr;
      break;
    default:
      if (DispatchMenuMessage(message)) return;
      break;
  }
  TScrollingWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// TApplication

namespace {

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  static const UINT timerCallbacksQuery = RegisterWindowMessageA(kMsgTimerCallbacks);
  if (msg == timerCallbacksQuery && msg != 0) return static_cast<LRESULT>(TimerCallbackCount());
  TMessage message{msg, wParam, lParam, 0};
  try {
    if (DispatchMenuMessage(message)) return message.Result;
  } catch (...) {
    if (Application) Application->HandleException(Application);
    return 0;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

void ApplicationExceptionHandler(TObject* sender) {
  if (Application) Application->HandleException(sender);
}

}  // namespace

VELMORA_PUBLISH(TApplication) {
  p.String("Title", &TApplication::Title)
      .Integer("HintPause", &TApplication::HintPause)
      .Integer("HintHidePause", &TApplication::HintHidePause)
      .Event("OnException", &TApplication::OnException);
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = ApplicationWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TApplication";
  RegisterClassA(&wc);  // a second application object finds it registered
  handle_ = CreateWindowExA(0, "TApplication", Title.c_str(), WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS |
                            WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  SetMenuOwnerWindow(handle_);
}

TApplication::~TApplication() {
  DestroyComponents();  // the forms, while the owner window still exists
  SetMenuOwnerWindow(nullptr);
  if (handle_) DestroyWindow(handle_);
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  if (!ProcessMessage(msg)) WaitMessage();
}

void TApplication::Run() {
  if (mainForm_ && !mainForm_->Visible()) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  if (!terminated_) PostQuitMessage(0);
}

// Out of line and never merged with other code: the logger patches its entry.
__attribute__((noinline, noclone, used)) void TApplication::HandleException(TObject* sender) {
  try {
    try {
      throw;
    } catch (EAbort&) {
      return;  // silent by design
    } catch (Exception& error) {
      if (OnException)
        OnException(sender, &error);
      else
        ShowException(&error);
    } catch (std::exception& error) {
      Exception wrapped(error.what());
      if (OnException)
        OnException(sender, &wrapped);
      else
        ShowException(&wrapped);
    }
  } catch (...) {
    // An exception of no known type, or one thrown by the handler itself: the
    // message loop must go on.
    asm volatile("" ::: "memory");
  }
}

__attribute__((noinline, noclone, used)) void TApplication::ShowException(Exception* error) {
  std::string text = error ? error->Message() : std::string("Unknown exception");
  if (!text.empty() && text.back() != '.') text += '.';
  MessageBoxA(mainForm_ && mainForm_->HandleAllocated() ? mainForm_->Handle() : handle_, text.c_str(),
              Title.c_str(), MB_OK | MB_ICONSTOP);
}

namespace {
// The code address of a non-virtual member function: the Itanium C++ ABI (which
// MinGW g++ follows) stores it as the first word of the member pointer.
template <class P>
void* MemberCode(P member) {
  static_assert(sizeof(P) == 2 * sizeof(void*));
  void* words[2];
  std::memcpy(words, &member, sizeof words);
  return words[0];
}
}  // namespace

TApplicationHandlerAddresses ApplicationHandlerAddresses() {
  return {MemberCode(&TApplication::HandleException), MemberCode(&TApplication::ShowException)};
}

// ---------------------------------------------------------------------------

TScreen::TScreen(TComponent* owner) : TComponent(owner) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    menuFont_.SetLogFont(metrics.lfMenuFont);
}

namespace {
bool unitRegistered = false;

void FormsInit() {
  RegisterAllControlClasses();
  RegisterControlClass(TScrollingWinControl::StaticClass());
  RegisterControlClass(TScrollBox::StaticClass());
  RegisterControlClass(TCustomForm::StaticClass());
  RegisterControlClass(TForm::StaticClass());
  Screen = new TScreen();
  Application = new TApplication();
  SetControlExceptionHandler(ApplicationExceptionHandler);
}

void FormsFini() {
  SetControlExceptionHandler(nullptr);
  delete Application;
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
  ForgetWindowClasses();
}
}  // namespace

void RegisterFormsUnit() {
  if (unitRegistered) return;
  RegisterUnit("Forms", FormsInit, FormsFini);
  unitRegistered = true;
}
