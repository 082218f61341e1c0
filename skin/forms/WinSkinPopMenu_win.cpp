// TWinSkinPopMenu: subclass, trace, and the MenuBackground frame of a popup menu.
#include "skin/forms/WinSkinPopMenu.h"

#include <cstdio>

#include "skin/container/MessageNames.h"
#include "skin/forms/SkinManageCore.h"

namespace skin {

namespace {

TPopupManagerSeam* managerSeam = nullptr;

DWORD versionOverride = 0;
DWORD Version() {
  if (versionOverride) return versionOverride;
  return managerSeam ? managerSeam->VersionWord() : 0;
}
bool Nt(DWORD version) { return (version & 0x80000000u) == 0; }

constexpr int kFrameWidth = 3;
constexpr DWORD kWindowDcFlags = 0x10081;  // DCX_WINDOW | DCX_INTERSECTRGN | DCX_USESTYLE

// The four edges, kFrameWidth wide, of the frame image in `source` onto `dc`.
void BlitFrameEdges(HDC dc, HDC source, const RECT& bounds) {
  const int w = bounds.right, h = bounds.bottom, f = kFrameWidth;
  BitBlt(dc, 0, 0, w, f, source, 0, 0, SRCCOPY);
  BitBlt(dc, 0, h - f, w, f, source, 0, h - f, SRCCOPY);
  BitBlt(dc, 0, 0, f, h, source, 0, 0, SRCCOPY);
  BitBlt(dc, w - f, 0, f, h, source, w - f, 0, SRCCOPY);
}

const TDataSkinObject* MenuBackground(const TSkinData* data) {
  if (!data || data->NotLoaded()) return nullptr;
  const TDataSkinObject* element = data->Skin().MenuBackground.get();
  return element && !element->Bitmap.Empty() ? element : nullptr;
}

}  // namespace

void SetPopupManagerSeam(TPopupManagerSeam* seam) { managerSeam = seam; }

void TWinSkinPopMenu::SetVersionForTests(DWORD version) { versionOverride = version; }

TWinSkinPopMenu::TWinSkinPopMenu() = default;

TWinSkinPopMenu::~TWinSkinPopMenu() { Detach(); }

void TWinSkinPopMenu::Handler(void* context, TMessage& message) {
  static_cast<TWinSkinPopMenu*>(context)->WndProc(message);
}

void TWinSkinPopMenu::Attach(HWND window, TSkinData* skinData, HMENU menu) {
  window_ = window;
  skinData_ = skinData;
  Menu = menu;
  subclass_.Install(window, &TWinSkinPopMenu::Handler, this);
  Flag = false;
}

void TWinSkinPopMenu::Detach() {
  if (!subclass_.Installed()) return;
  if (RegionSet && Region) DeleteObject(Region);
  RegionSet = false;
  Region = nullptr;
  subclass_.Remove();
  frame_ = TSkinDib();
}

bool TWinSkinPopMenu::HasFrameImage() const { return MenuBackground(skinData_) != nullptr; }

void TWinSkinPopMenu::BecomeCurrentWithoutMenu() {
  if (Menu) return;
  if (managerSeam) managerSeam->PaintedWithoutMenu(this);
}

bool TWinSkinPopMenu::BuildFrame(RECT& bounds) {
  if (!GetWindowRect(window_, &bounds)) return false;
  OffsetRect(&bounds, -bounds.left, -bounds.top);
  const TDataSkinObject* element = MenuBackground(skinData_);
  frame_ = BuildSlicedFrame(bounds, element->Bitmap, element->Margins(), false, element->Tile == 1, 1, 1);
  return frame_.Handle() != nullptr;
}

void TWinSkinPopMenu::WndProc(TMessage& message) {
  if (skinData_ && skinData_->TraceList)
    if (const char* name = StandardMessageName(message.Msg)) {
      char line[96];
      std::snprintf(line, sizeof line, "Menu hook:%4x %s",
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(window_)), name);
      skinData_->AddTraceLine(line);
    }
  if (message.Msg == kMsgSkinnedQuery) {
    message.Result = 1;
    return;
  }
  if (!managerSeam || !managerSeam->Enabled()) {
    subclass_.CallOld(message);
    return;
  }
  switch (message.Msg) {
    case WM_DESTROY: {
      // The window's own procedure still gets the message after ours is gone.
      const WNDPROC old = subclass_.OldProc();
      const bool unicode = subclass_.Unicode();
      Detach();
      message.Result = unicode ? CallWindowProcW(old, window_, message.Msg, message.WParam, message.LParam)
                               : CallWindowProcA(old, window_, message.Msg, message.WParam, message.LParam);
      return;
    }
    case WM_ERASEBKGND:
      if (Nt(Version()) && !skinData_->Options.Contains(TSkinOption::xoMenuBG)) subclass_.CallOld(message);
      message.Result = 1;
      return;
    case WM_NCPAINT:
      NCPaint(message);
      return;
    case WM_PAINT:
      // Where the system draws a popup's border inside its client area (Wine), the
      // menu's own painting covers the frame: its edges go back on top.
      subclass_.CallOld(message);
      PaintFrameEdges();
      return;
    case WM_PRINT:
      Print(message);
      return;
    default:
      subclass_.CallOld(message);
  }
}

void TWinSkinPopMenu::NCPaint(TMessage& message) {
  if (!HasFrameImage() || message.WParam != 1) {
    subclass_.CallOld(message);
    return;
  }
  const DWORD version = Version();
  const int major = LOBYTE(LOWORD(version)), minor = HIBYTE(LOWORD(version));
  HDC dc = nullptr;
  if (!(Nt(version) && major >= 5 && minor > 1))
    dc = GetDCEx(window_, reinterpret_cast<HRGN>(message.WParam), kWindowDcFlags);
  if (!dc) dc = GetWindowDC(window_);
  RECT bounds{};
  if (!dc || !BuildFrame(bounds)) {
    if (dc) ReleaseDC(window_, dc);
    subclass_.CallOld(message);
    return;
  }
  BecomeCurrentWithoutMenu();
  {
    TSelectedDC source(frame_.Handle(), dc);
    BlitFrameEdges(dc, source.Handle(), bounds);
    BitBlt(dc, 0, 0, bounds.right, bounds.bottom, source.Handle(), 0, 0, SRCCOPY);
  }
  ReleaseDC(window_, dc);
  message.Result = 0;
}

void TWinSkinPopMenu::PaintFrameEdges() {
  RECT bounds{};
  if (!HasFrameImage() || !BuildFrame(bounds)) return;
  HDC dc = GetWindowDC(window_);
  if (!dc) return;
  {
    TSelectedDC source(frame_.Handle(), dc);
    BlitFrameEdges(dc, source.Handle(), bounds);
  }
  ReleaseDC(window_, dc);
}

void TWinSkinPopMenu::Print(TMessage& message) {
  auto dc = reinterpret_cast<HDC>(message.WParam);
  RECT bounds{};
  if (!HasFrameImage() || !dc || !BuildFrame(bounds)) {
    subclass_.CallOld(message);
    return;
  }
  BecomeCurrentWithoutMenu();
  {
    TSelectedDC source(frame_.Handle(), dc);
    BitBlt(dc, 0, 0, bounds.right, bounds.bottom, source.Handle(), 0, 0, SRCCOPY);
  }
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  HRGN clip = CreateRectRgn(kFrameWidth, kFrameWidth, bounds.right - kFrameWidth, bounds.bottom - kFrameWidth);
  SelectClipRgn(dc, clip);
  subclass_.CallOld(message);
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);
  SetBkMode(dc, oldMode);
}

}  // namespace skin
