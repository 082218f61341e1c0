// TWinSkinForm: attach, activation, message routing, detach.
#include "skin/forms/WinSkinForm.h"

#include <algorithm>

#include "classlib/ControlMessages.h"
#include "skin/data/WinSkinData_win.h"

namespace skin {

namespace {

// The manager's side when no manager is installed: requests do nothing.
class TNoSkinManager : public TSkinManagerSeam {
 public:
  bool Exists() const override { return false; }
  void Register(TSkinData*) override {}
  void Unregister(TSkinData*) override {}
  void SetPending(TSkinData*) override {}
  void StartAction(int, int) override {}
  int RunState() const override { return 0; }
  void SetRunState(int) override {}
  void SetEnabled(bool) override {}
  void ReleaseCaptionButtons() override {}
  void InstallCreationHook() override {}
  void SkinWindow(TComponent*) override {}
};

TSkinManagerSeam& Manager() {
  static TNoSkinManager none;
  TSkinManagerSeam* seam = SkinManagerSeam();
  return seam ? *seam : none;
}

const TSystemVersion* versionOverride = nullptr;

TSystemVersion SystemVersion() {
  return versionOverride ? *versionOverride : VersionFromGetVersion(GetVersion());
}

constexpr int kThirdMenuFrameFlag = 3;
constexpr UINT kSwpFrameOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;

HFONT MakeCaptionFont() {
  NONCLIENTMETRICSA metrics{};
  // The size older systems know: the padded-border field is newer.
  metrics.cbSize = sizeof metrics - sizeof metrics.iPaddedBorderWidth;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return nullptr;
  return CreateFontIndirectA(&metrics.lfCaptionFont);
}

std::string WindowClassName(HWND window) {
  char name[101] = {};
  GetClassNameA(window, name, 100);
  return name;
}

// The painters stand below the form skinner: they join and leave a form's list
// through the links their base keeps, set here as the program starts.
[[maybe_unused]] const bool painterLinksSet = [] {
  SetPainterFormLinks({[](TWinSkinForm& form, TSkinControl* painter) { form.AddPainter(painter); },
                       [](TWinSkinForm& form, TSkinControl* painter) { form.RemovePainter(painter); },
                       [](TWinSkinForm& form) { return form.Hwnd; }});
  return true;
}();

}  // namespace

void TWinSkinForm::SetVersionForTests(const TSystemVersion* version) { versionOverride = version; }
TSystemVersion TWinSkinForm::Version() { return SystemVersion(); }

TWinSkinForm::TWinSkinForm(TComponent* owner)
    : TComponent(owner),
      Canvas1(std::make_unique<TCanvas>()),
      Canvas2(std::make_unique<TCanvas>()),
      IconBitmap(std::make_unique<TBitmap>()),
      CaptionBitmap(std::make_unique<TBitmap>()) {
  DoubleClickTime = GetDoubleClickTime();
  captionFont_ = MakeCaptionFont();
}

TWinSkinForm::~TWinSkinForm() {
  if (attached_ && !released_) {
    // The form going first (its components before its window) or a plain window
    // already gone: nothing may be painted or resized any more.
    if ((Form && Form->Destroying()) || !IsWindow(Hwnd))
      Release();
    else
      Unskin();
  }
  FreePainters(false);
  Manager().RemoveFormSkinner(this);
  if (Region) DeleteObject(Region);
  if (captionFont_) DeleteObject(captionFont_);
}

void TWinSkinForm::WindowHandler(void* context, TMessage& message) {
  static_cast<TWinSkinForm*>(context)->SkinWndProc(message);
}
void TWinSkinForm::FormHandler(void* context, TMessage& message) {
  static_cast<TWinSkinForm*>(context)->FormWindowProc(message);
}
void TWinSkinForm::ClientHandler(void* context, TMessage& message) {
  static_cast<TWinSkinForm*>(context)->ClientWindowProc(message);
}

void TWinSkinForm::AttachForm(TSkinData* skinData, TCustomForm* form) { Attach(skinData, form); }
void TWinSkinForm::AttachHandle(TSkinData* skinData) { Attach(skinData, nullptr); }

void TWinSkinForm::Attach(TSkinData* skinData, TCustomForm* form) {
  // A second attach would save the skin's colour as the form's own.
  if (!skinData || attached_) return;
  Form = form;
  if (!Hwnd && form) Hwnd = form->Handle();
  if (!Hwnd || !IsWindow(Hwnd)) return;
  if (skinData->OnBeforeSkinForm) skinData->OnBeforeSkinForm(form, reinterpret_cast<uintptr_t>(Hwnd), FormClassName);
  const bool menuItems = skinData->SkinControls.Contains(TSkinControlType::xcMenuItem);
  if (menuItems && form) WritePropText(form, "AutoScroll", "False");

  if (!subclass_.Installed()) {
    TSkinManagerSeam& manager = Manager();
    manager.SetRunState(1);
    SkinData = skinData;
    HoverTimer = std::make_unique<TTimer>();
    HoverTimer->SetEnabled(false);
    HoverTimer->SetInterval(250);
    HoverTimer->OnTimer = TNotifyEvent::Of<&TWinSkinForm::HoverTimerTick>(this);

    FrameSkinned = skinData->SkinControls.Contains(TSkinControlType::xcMainMenu);

    Style = static_cast<uint32_t>(GetWindowLongA(Hwnd, GWL_STYLE));
    const auto exStyle = static_cast<uint32_t>(GetWindowLongA(Hwnd, GWL_EXSTYLE));
    RightToLeft = (exStyle & formbits::WS_EX_LEFTSCROLLBAR_) != 0;
    IsChild = (Style & formbits::WS_CHILD_) != 0;
    ClassName = WindowClassName(Hwnd);
    OwnerWindow = GetWindow(Hwnd, GW_OWNER);
    IsUnicode = IsWindowUnicode(Hwnd) != FALSE;

    TButtonFacts facts;
    facts.Style = Style;
    facts.ExStyle = exStyle;
    facts.HasSystemMenu = SystemMenu != nullptr;
    facts.HasOwner = OwnerWindow != nullptr;
    facts.MdiChild = (exStyle & formbits::WS_EX_MDICHILD_) != 0;
    facts.Version = SystemVersion();
    ButtonFlags = ButtonFlagsOf(facts);

    ReadWindowState();
    Sizeable = (Style & formbits::WS_THICKFRAME_) != 0;

    HWND client = FindWindowExA(Hwnd, nullptr, "MDIClient", nullptr);
    FormKind = FormKindOf(client != nullptr, exStyle);
    if (FormKind == kFormMdiFrame) {
      MDIClient = client;
      Manager().KeepClientWindow(reinterpret_cast<uintptr_t>(client), form);
    } else if (FormKind == kFormMdiChild && skinData->Options.Contains(TSkinOption::xoMDIChildBorder)) {
      FrameSkinned = false;
    }

    BorderKind = BorderKindOf(Style, exStyle, ClassName);
    IsDialog = IsDialogClass(ClassName);

    if (manager.MenuFrameFlag(kThirdMenuFrameFlag) && !IsChild && FrameSkinned && BorderKind != kBorderNone)
      SetWindowLongA(Hwnd, GWL_STYLE, static_cast<LONG>(GetWindowLongA(Hwnd, GWL_STYLE) & ~WS_VISIBLE));
    if (!SystemVersion().Nt) skinData->SkinControls.Exclude(TSkinControlType::xcSystemMenu);

    if (FormKind == kFormMdiFrame) {
      MenuUpdateSaved = skinData->MenuUpdate;
      clientSubclass_.Install(MDIClient, &TWinSkinForm::ClientHandler, this);
    }
    subclass_.Install(Hwnd, &TWinSkinForm::WindowHandler, this);

    if (FrameSkinned) {
      InitialMenu = GetMenu(Hwnd);
      if (InitialMenu && FormKind != kFormMdiChild) FormMenuSeam().CreateMenuBar(*this, InitialMenu);
      FormFrameSeam().ComputeMetrics(*this);
    } else {
      State = kFormActive;
    }
    if (FormKind == kFormMdiChild) {
      const int system = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER);
      if (system > CaptionHeight) MenuBarHeight = system - CaptionHeight;
      if (WindowState == kStateMaximized && !manager.ChildMaximized()) manager.SetChildMaximized(true);
    }
    attached_ = true;
    released_ = false;
  }
  if (FrameSkinned && form && !formHook_.Installed()) formHook_.Install(form, &TWinSkinForm::FormHandler, this);
  if (form) {
    SavedFormColor = form->Color();
    form->SetColor(static_cast<TColor>(SkinColour(skinData, kSlotButtonFace)));
  }
  if (menuItems) FormMenuSeam().OwnerDrawMenus(*this, true);
}

void TWinSkinForm::ReadWindowState() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (Hwnd && GetWindowPlacement(Hwnd, &placement)) WindowState = WindowStateFromShowCommand(placement.showCmd);
}

TFormFacts TWinSkinForm::Facts() const { return {State, FrameSkinned != 0, FormKind, Style, WindowState}; }

void TWinSkinForm::CallOld(TMessage& message) { subclass_.CallOld(message); }

void TWinSkinForm::HoverTimerTick(TObject*) { FormFrameSeam().HoverTick(*this); }

void TWinSkinForm::Activate(TMessage& message) {
  SkinActivated = 1;
  SystemMenu = GetSystemMenu(Hwnd, FALSE);
  FormFrameSeam().RebuildIcon(*this);
  GetClientRect(Hwnd, &ClientRect);
  RECT window{};
  GetWindowRect(Hwnd, &window);
  SystemFrameSize = {0, 0, (window.right - window.left) - ClientRect.right,
                     (window.bottom - window.top) - ClientRect.bottom};
  TSkinManagerSeam& manager = Manager();
  if (manager.MenuFrameFlag(kThirdMenuFrameFlag)) {
    manager.SetMenuFrameFlag(kThirdMenuFrameFlag, false);
    const LONG style = GetWindowLongA(Hwnd, GWL_STYLE);
    if (!(style & WS_VISIBLE)) {
      SetWindowLongA(Hwnd, GWL_STYLE, style | WS_VISIBLE);
      RedrawWindow(Hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
  }
  FormChildrenSeam().SkinChildren(*this);
  if (State == kFormCreated) {
    TFormFrameSeam& frame = FormFrameSeam();
    if (FormKind == kFormMdiChild) {
      if (WindowState == kStateMaximized) {
        if (HWND kept = reinterpret_cast<HWND>(manager.KeptClientWindow()))
          PostMessageA(kept, kMsgRedrawMdiFrame, reinterpret_cast<WPARAM>(Hwnd), 0);
      } else {
        State = kFormActivating;
        frame.KeepClientSize(*this, false);
        State = kFormActive;
        frame.BuildRegion(*this);
      }
    } else if (!IsChild && BorderKind != kBorderNone && WindowState != kStateMinimized) {
      State = kFormActivating;
      frame.KeepClientSize(*this, false);
      State = kFormActive;
      if (WindowState == kStateMaximized)
        SetWindowPos(Hwnd, nullptr, 0, 0, 0, 0, kSwpFrameOnly);
      else
        frame.BuildRegion(*this);
    }
  }
  SendMessageA(Hwnd, kMsgSkinned, 0, kSkinMarker);
  if (SkinData && SkinData->OnAfterSkinForm)
    SkinData->OnAfterSkinForm(Form, reinterpret_cast<uintptr_t>(Hwnd), FormClassName);
  State = kFormActive;
  // Started by the pointer on a hot caption or bar button, not here: an idle form sleeps.
  if (HoverTimer) HoverTimer->SetEnabled(Active && HotObject);
  message.Result = 0;
}

HBRUSH TWinSkinForm::BackgroundBrush() const {
  TSkinDataWin* win = SkinData ? SkinDataWin(*SkinData) : nullptr;
  return win ? win->BackgroundBrush() : GetSysColorBrush(COLOR_BTNFACE);
}

void TWinSkinForm::CtlColor(TMessage& message, bool staticText) {
  CallOld(message);
  if (Form) return;
  SetBkMode(reinterpret_cast<HDC>(message.WParam), TRANSPARENT);
  if (staticText) message.Result = reinterpret_cast<LRESULT>(BackgroundBrush());
}

void TWinSkinForm::SkinWndProc(TMessage& message) {
  const TFormRoute route = RouteFormMessage(Facts(), message.Msg);
  if (route.SetsActive) Active = static_cast<uint8_t>(message.WParam & 0xFF);
  if (message.Msg == WM_MENUSELECT && InMenuLoop) {
    FormMenuSeam().MenuSelect(*this, message);
    return;
  }
  Run(route.Handler, message);
  // The system draws its own caption on these without WM_NCPAINT. A form repaints
  // after WM_SETTEXT in its form procedure; everything else is covered here.
  if ((message.Msg == WM_SETICON || (message.Msg == WM_SETTEXT && !Form)) && FrameSkinned &&
      State == kFormActive && IsWindow(Hwnd))
    FormFrameSeam().PaintFrame(*this, nullptr);
}

void TWinSkinForm::Run(TFormHandler handler, TMessage& message) {
  TFormFrameSeam& frame = FormFrameSeam();
  TFormMenuSeam& menu = FormMenuSeam();
  switch (handler) {
    case TFormHandler::Old: CallOld(message); break;
    case TFormHandler::AnswerZero: message.Result = 0; break;
    case TFormHandler::CtlColorBtn: CtlColor(message, false); break;
    case TFormHandler::CtlColorStatic: CtlColor(message, true); break;
    case TFormHandler::EraseBackground:
      CallOld(message);
      if (!Form) {
        RECT client{};
        GetClientRect(Hwnd, &client);
        FillRect(reinterpret_cast<HDC>(message.WParam), &client, BackgroundBrush());
        message.Result = 1;
      }
      break;
    case TFormHandler::NcDestroy: {
      // The subclass goes in Release: keep what it replaced for this last call.
      const WNDPROC old = subclass_.OldProc();
      const bool unicode = subclass_.Unicode();
      State = kFormDestroying;
      Release();
      message.Result = unicode ? CallWindowProcW(old, Hwnd, message.Msg, message.WParam, message.LParam)
                               : CallWindowProcA(old, Hwnd, message.Msg, message.WParam, message.LParam);
      State = kFormDestroyed;
      break;
    }
    case TFormHandler::InitMenuPopup:
      Manager().SetMenuKind(reinterpret_cast<HMENU>(message.WParam) == SystemMenu ? 2 : 1);
      CallOld(message);
      break;
    case TFormHandler::Activation: Activate(message); break;
    case TFormHandler::ReplaceScrollBar:
      FormChildrenSeam().ReplaceScrollBar(*this, reinterpret_cast<HWND>(message.WParam));
      break;
    case TFormHandler::IsSkinned:
      message.Result = 1;
      PostMessageA(Hwnd, kMsgSkinned, 0, kSkinMarker);
      break;
    case TFormHandler::Command: frame.Command(*this, message); break;
    case TFormHandler::SysCommand: frame.SysCommand(*this, message); break;
    case TFormHandler::WindowPosChanged:
      ReadWindowState();
      CallOld(message);
      break;
    case TFormHandler::Size: frame.Size(*this, message); break;
    case TFormHandler::GetMinMaxInfo:
      CallOld(message);
      ReadWindowState();
      break;
    case TFormHandler::SetIcon:
      CallOld(message);
      frame.RebuildIcon(*this);
      break;
    case TFormHandler::MenuBarPopup: menu.MenuBarPopup(*this, message); break;
    case TFormHandler::MenuChanged: MenuChanged(message, false); break;
    case TFormHandler::NcActivate: frame.NCActivate(*this, message); break;
    case TFormHandler::DrawItem: menu.DrawItem(*this, message); break;
    case TFormHandler::MeasureItem: menu.MeasureItem(*this, message); break;
    case TFormHandler::NcCalcSize: frame.NCCalcSize(*this, message); break;
    case TFormHandler::NcHitTest: frame.NCHitTest(*this, message); break;
    case TFormHandler::NcPaint: frame.NCPaint(*this, message); break;
    case TFormHandler::NcMouse: frame.NCMouse(*this, message); break;
    case TFormHandler::PaintFrame: frame.PaintFrame(*this, nullptr); break;
  }
}

void TWinSkinForm::MenuChanged(TMessage& message, bool throughForm) {
  // The system must not paint our frame while it rebuilds the menu.
  if (SkinData) SkinData->FramePainting = false;
  if (throughForm)
    formHook_.CallOld(message);
  else
    CallOld(message);
  if (SkinData) SkinData->FramePainting = true;
  HMENU menu = GetMenu(Hwnd);
  // Without a skinned bar the system keeps showing the window's menu.
  if (!menu || !SkinMenu) return;
  if (SkinData && SkinData->MenuUpdate) FormMenuSeam().MenuChanged(*this, menu);
  SetMenu(Hwnd, nullptr);
}

void TWinSkinForm::FormWindowProc(TMessage& message) {
  switch (message.Msg) {
    case CM_DIALOGCHAR:
      if (!FormMenuSeam().DialogChar(*this, message)) formHook_.CallOld(message);
      return;
    case CM_MENUCHANGED: MenuChanged(message, true); return;
    case WM_SETTEXT: {
      formHook_.CallOld(message);
      if (!IsWindowVisible(Hwnd)) return;
      ReadWindowState();
      if (WindowState == kStateMaximized)
        if (HWND kept = reinterpret_cast<HWND>(Manager().KeptClientWindow()))
          PostMessageA(kept, kMsgRedrawMdiFrame, reinterpret_cast<WPARAM>(Hwnd), 0);
      if (WindowState != kStateMinimized)
        SetWindowPos(Hwnd, nullptr, 0, 0, 0, 0, kSwpFrameOnly);
      else
        FormFrameSeam().PaintFrame(*this, nullptr);
      return;
    }
    case kMsgFormRefresh: Refresh(); return;
    case kMsgPaintFrameInto:
      if (message.WParam) FormFrameSeam().PaintFrame(*this, reinterpret_cast<HDC>(message.WParam));
      message.Result = kSkinMarker;
      return;
    case kMsgFrameQuery: message.Result = message.LParam == kSkinMarker ? kSkinMarker : 1; return;
    default: formHook_.CallOld(message); return;
  }
}

void TWinSkinForm::ClientWindowProc(TMessage& message) {
  TSkinManagerSeam& manager = Manager();
  switch (message.Msg) {
    case WM_NCDESTROY:
      clientSubclass_.CallOld(message);
      clientSubclass_.Remove();
      return;
    case WM_NCCALCSIZE:
      if (FrameSkinned && SkinData && !SkinData->Options.Contains(TSkinOption::xoMDIScrollbar))
        SetWindowLongA(MDIClient, GWL_STYLE, GetWindowLongA(MDIClient, GWL_STYLE) & ~(WS_VSCROLL | WS_HSCROLL));
      break;
    case WM_MDICREATE:
      if (SkinData) SkinData->MenuUpdate = false;
      break;
    case WM_MDIDESTROY: {
      clientSubclass_.CallOld(message);
      if (!FrameSkinned) return;
      BOOL maximized = FALSE;
      HWND active = reinterpret_cast<HWND>(SendMessageA(MDIClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized)));
      manager.SetChildMaximized(active && maximized);
      if (SkinMenu && !active && SkinData) {
        SkinData->MenuUpdate = MenuUpdateSaved != 0;
        FormMenuSeam().RebuildButtons(*this);
      }
      return;
    }
    case WM_MDITILE:
    case WM_MDICASCADE:
      if (FrameSkinned && manager.ChildMaximized()) manager.SetChildMaximized(false);
      break;
    case WM_MDISETMENU:
      clientSubclass_.CallOld(message);
      if (FrameSkinned) {
        HMENU frameMenu = reinterpret_cast<HMENU>(message.WParam);
        if (frameMenu && SkinMenu) {
          FormMenuSeam().MenuChanged(*this, frameMenu);
          SetMenu(Hwnd, nullptr);
        }
      }
      return;
    case kMsgRedrawMdiFrame:
      RedrawWindow(Hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
      return;
    default: break;
  }
  clientSubclass_.CallOld(message);
}

bool TWinSkinForm::AddPainter(TSkinControl* painter) {
  if (!painter) return false;
  if (std::find(painters_.begin(), painters_.end(), painter) != painters_.end()) return true;
  painters_.push_back(painter);
  return false;
}

void TWinSkinForm::RemovePainter(TSkinControl* painter) {
  painters_.erase(std::remove(painters_.begin(), painters_.end(), painter), painters_.end());
  if (HotPainter == painter) HotPainter = nullptr;
}

void TWinSkinForm::FreePainters(bool unskinFirst) {
  std::vector<TSkinControl*> list;
  list.swap(painters_);
  HotPainter = nullptr;
  for (TSkinControl* painter : list) {
    painter->SkinForm = nullptr;
    if (unskinFirst && painter->Status != kPainterWindowGone) painter->Unskin();
    delete painter;
  }
}

void TWinSkinForm::RestoreHooks() {
  formHook_.Remove();
  subclass_.Remove();
  clientSubclass_.Remove();
}

void TWinSkinForm::Unskin() {
  if (!attached_ || released_) return;
  TFormFrameSeam& frame = FormFrameSeam();
  TFormMenuSeam& menu = FormMenuSeam();
  SysPopupMenu.reset();
  if (HoverTimer) HoverTimer->SetEnabled(false);
  RestoreHooks();
  FreePainters(true);
  menu.OwnerDrawMenus(*this, false);
  if (Form) Form->SetColor(SavedFormColor);
  if (FrameSkinned) {
    frame.SetSysMenuStyle(*this, false);
    // Only a skinned bar took the menu off the window; the system's stayed in place
    // and its room goes with the skinned frame.
    const int keptMenuRoom = SkinMenu || FormKind == kFormMdiChild ? 0 : MenuBarHeight;
    if (SkinMenu) {
      HMENU barMenu = menu.BarMenu(*this);
      HMENU giveBack = barMenu ? barMenu : InitialMenu;
      if (giveBack && FormKind != kFormMdiChild && IsMenu(giveBack)) SetMenu(Hwnd, giveBack);
    }
    menu.FreeMenuBar(*this);
    SkinMenu.reset();
    if (State != kFormDestroying && (FormKind == kFormMdiChild || !(Style & formbits::WS_CHILD_))) {
      RECT window{};
      GetWindowRect(Hwnd, &window);
      const TWindowSize size = DetachedWindowSize(
          {window.right - window.left, window.bottom - window.top},
          {BorderLeft, CaptionHeight + keptMenuRoom, BorderRight, BorderBottom},
          {SystemFrameSize.right - SystemFrameSize.left, SystemFrameSize.bottom - SystemFrameSize.top});
      SetWindowPos(Hwnd, nullptr, 0, 0, size.Width, size.Height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    frame.RemoveRegion(*this);
  }
  if (State != kFormDestroying)
    RedrawWindow(Hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  attached_ = false;
}

void TWinSkinForm::Release() {
  if (released_) return;
  SysPopupMenu.reset();
  if (HoverTimer) HoverTimer->SetEnabled(false);
  RestoreHooks();
  FreePainters(false);
  FormMenuSeam().FreeMenuBar(*this);
  SkinMenu.reset();
  released_ = true;
}

void TWinSkinForm::Refresh() {
  if (!attached_ || released_) return;
  const auto face = static_cast<TColor>(SkinColour(SkinData, kSlotButtonFace));
  if (Form) {
    Form->SetColor(face);
    // Forms embedded in this one take the colour too.
    for (int i = 0; i < Form->ControlCount(); ++i)
      if (auto* inner = dynamic_cast<TCustomForm*>(Form->Controls(i))) inner->SetColor(face);
  }
  for (TSkinControl* painter : std::vector<TSkinControl*>(painters_)) painter->Reskin();
  State = kFormRefreshing;
  if (FrameSkinned) {
    FormMenuSeam().OwnerDrawMenus(*this, true);
    FormFrameSeam().KeepClientSize(*this, true);
    RECT window{};
    GetWindowRect(Hwnd, &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    // One pixel taller and back: the system recomputes the frame.
    SetWindowPos(Hwnd, nullptr, 0, 0, width, height + 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  State = kFormActive;
}

void TWinSkinForm::RepaintWindow(HWND window) {
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
}

}  // namespace skin
