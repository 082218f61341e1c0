// The defaults of the form skinner's seams: the skinned frame (SkinFrame_win.cpp);
// the system keeps drawing the menu bar and the children until their parts exist.
// TFormFrameSeam's own methods are the plain frame a test can install.
#include "skin/forms/SkinFrame_win.h"
#include "skin/forms/WinSkinForm.h"

namespace skin {

namespace {
TFormMenuSeam defaultMenu;
TFormChildrenSeam defaultChildren;
TFormFrameSeam* frameSeam = nullptr;
TFormMenuSeam* menuSeam = nullptr;
TFormChildrenSeam* childrenSeam = nullptr;
}  // namespace

void SetFormFrameSeam(TFormFrameSeam* seam) { frameSeam = seam; }
void SetFormMenuSeam(TFormMenuSeam* seam) { menuSeam = seam; }
void SetFormChildrenSeam(TFormChildrenSeam* seam) { childrenSeam = seam; }
TFormFrameSeam& FormFrameSeam() { return frameSeam ? *frameSeam : SkinFrame(); }
TFormMenuSeam& FormMenuSeam() { return menuSeam ? *menuSeam : defaultMenu; }
TFormChildrenSeam& FormChildrenSeam() { return childrenSeam ? *childrenSeam : defaultChildren; }

// The system's own frame stays: its metrics are what the window has now, so that a
// detach changes no size.
void TFormFrameSeam::ComputeMetrics(TWinSkinForm& form) {
  RECT window{}, client{};
  if (!GetWindowRect(form.Hwnd, &window) || !GetClientRect(form.Hwnd, &client)) return;
  POINT origin{0, 0};
  ClientToScreen(form.Hwnd, &origin);
  form.BorderLeft = origin.x - window.left;
  form.CaptionHeight = origin.y - window.top;
  form.BorderRight = window.right - (origin.x + client.right);
  form.BorderBottom = window.bottom - (origin.y + client.bottom);
}

void TFormFrameSeam::NCCalcSize(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormFrameSeam::NCPaint(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormFrameSeam::NCActivate(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormFrameSeam::NCHitTest(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormFrameSeam::NCMouse(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormFrameSeam::SysCommand(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormFrameSeam::Command(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }

void TFormFrameSeam::Size(TWinSkinForm& form, TMessage& message) {
  form.CallOld(message);
  form.WindowState = WindowStateFromSizeKind(static_cast<uint32_t>(message.WParam), form.WindowState);
  if (form.WindowState == kStateMinimized) return;
  if (form.FormKind == kFormMdiChild) {
    TSkinManagerSeam* manager = SkinManagerSeam();
    if ((manager && manager->ChildMaximized()) || form.WindowState != kStateNormal) return;
  }
  // The size change repaints the client: the new region redraws the frame alone.
  if (form.State == kFormActive || form.State == kFormRefreshing) BuildRegion(form, false);
}

void TFormFrameSeam::PaintFrame(TWinSkinForm& form, HDC dc) {
  if (!dc) RedrawWindow(form.Hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

void TFormFrameSeam::KeepClientSize(TWinSkinForm& form, bool useClientRect) {
  // Draws the system frame that was held back before activation.
  SetWindowPos(form.Hwnd, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TFormFrameSeam::BuildRegion(TWinSkinForm& form, bool redraw) {}

void TFormFrameSeam::RemoveRegion(TWinSkinForm& form) {
  if (form.RegionSet) SetWindowRgn(form.Hwnd, nullptr, TRUE);
  form.RegionSet = 0;
  if (form.Region) DeleteObject(form.Region);
  form.Region = nullptr;
}

void TFormFrameSeam::SetSysMenuStyle(TWinSkinForm& form, bool hide) {}

void TFormFrameSeam::RebuildIcon(TWinSkinForm& form) {
  form.IconHandle = reinterpret_cast<HICON>(SendMessageA(form.Hwnd, WM_GETICON, ICON_SMALL, 0));
  form.IconSize = GetSystemMetrics(SM_CXSMICON);
}

void TFormFrameSeam::HoverTick(TWinSkinForm& form) {}
void TFormFrameSeam::DropCaptionButtons(TWinSkinForm& form) {
  form.SysButtons.clear();
  form.SysButtonCount = 0;
  form.HotObject = nullptr;
}

void TFormMenuSeam::CreateMenuBar(TWinSkinForm& form, HMENU menu) {}
void TFormMenuSeam::MenuChanged(TWinSkinForm& form, HMENU menu) {}
void TFormMenuSeam::RebuildButtons(TWinSkinForm& form) {}
HMENU TFormMenuSeam::BarMenu(TWinSkinForm& form) { return nullptr; }
void TFormMenuSeam::FreeMenuBar(TWinSkinForm& form) { form.MenuBarHeight = 0; }
void TFormMenuSeam::DrawItem(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormMenuSeam::MeasureItem(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
void TFormMenuSeam::MenuBarPopup(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }
bool TFormMenuSeam::DialogChar(TWinSkinForm& form, TMessage& message) { return false; }
void TFormMenuSeam::OwnerDrawMenus(TWinSkinForm& form, bool on) {}
void TFormMenuSeam::PaintBar(TWinSkinForm& form, HDC dc, const RECT& rect) { FillBackground(dc, rect, form.SkinData); }
TObject* TFormMenuSeam::BarButtonAt(TWinSkinForm& form, POINT framePoint) { return nullptr; }
void TFormMenuSeam::OpenBarButton(TWinSkinForm& form, TObject* button) {}
bool TFormMenuSeam::KeyMenu(TWinSkinForm& form, WPARAM key) { return false; }
void TFormMenuSeam::PrepareSystemMenu(TWinSkinForm& form, TComponent& popup) {}
void TFormMenuSeam::MenuSelect(TWinSkinForm& form, TMessage& message) { form.CallOld(message); }

void TFormChildrenSeam::SkinChildren(TWinSkinForm& form) {}
void TFormChildrenSeam::ReplaceScrollBar(TWinSkinForm& form, HWND window) {}

}  // namespace skin
