#include "skin/forms/FormSkinRules.h"

#include "classlib/ControlMessages.h"

namespace skin {

using namespace formbits;

namespace {
constexpr uint32_t kSize = 0x0005, kActivate = 0x0006, kEraseBkgnd = 0x0014, kGetMinMaxInfo = 0x0024,
                   kDrawItem = 0x002B, kMeasureItem = 0x002C, kWindowPosChanging = 0x0046,
                   kWindowPosChanged = 0x0047, kSetIcon = 0x0080, kNcDestroy = 0x0082,
                   kNcCalcSize = 0x0083, kNcHitTest = 0x0084, kNcPaint = 0x0085, kNcActivate = 0x0086,
                   kNcMouseMove = 0x00A0, kNcRButtonDown = 0x00A4, kCaptionRedraw = 0x00AE,
                   kCommand = 0x0111, kSysCommand = 0x0112, kInitMenuPopup = 0x0117,
                   kCtlColorBtn = 0x0135, kCtlColorStatic = 0x0138;
constexpr uint32_t kPaintFrame = 0x3502, kActivation = 0x3503, kReplaceScroll = 0x3517,
                   kMenuBarPopup = 0x3518, kIsSkinned = 0x3523;

bool IsMdiChild(const TFormFacts& f) { return f.FormKind == kFormMdiChild; }

// Stage 3: the non-client side.
TFormHandler Stage3(const TFormFacts& f, uint32_t message) {
  if (!FormStage3Runs(f)) return TFormHandler::Old;
  switch (message) {
    case kNcActivate: return TFormHandler::NcActivate;
    case kWindowPosChanging: return TFormHandler::Old;
    case kSize: return TFormHandler::Size;
    case kDrawItem: return TFormHandler::DrawItem;
    case kMeasureItem: return TFormHandler::MeasureItem;
    case kNcCalcSize: return TFormHandler::NcCalcSize;
    case kNcHitTest: return TFormHandler::NcHitTest;
    case kNcPaint: return TFormHandler::NcPaint;
    case kPaintFrame: return TFormHandler::PaintFrame;
    default:
      if (message >= kNcMouseMove && message <= kNcRButtonDown) return TFormHandler::NcMouse;
      return TFormHandler::Old;
  }
}

TFormRoute Stage2(const TFormFacts& f, uint32_t message) {
  if (!IsMdiChild(f) && (f.Style & WS_CHILD_)) return {TFormHandler::Old};
  switch (message) {
    case kCommand: return {TFormHandler::Command};
    case kSysCommand: return {TFormHandler::SysCommand};
    case kWindowPosChanged: return {TFormHandler::WindowPosChanged};
    case kSize: return {TFormHandler::Size};
    case kActivate:
    case kNcActivate: return {Stage3(f, message), true};
    case kGetMinMaxInfo: return {TFormHandler::GetMinMaxInfo};
    case kSetIcon: return {TFormHandler::SetIcon};
    case kCtlColorStatic: return {TFormHandler::CtlColorStatic};
    case kCtlColorBtn: return {TFormHandler::CtlColorBtn};
    case kMenuBarPopup: return {TFormHandler::MenuBarPopup};
    case CM_MENUCHANGED: return {TFormHandler::MenuChanged};
    default: return {Stage3(f, message)};
  }
}
}  // namespace

TSystemVersion VersionFromGetVersion(uint32_t value) {
  return {(value & 0x80000000u) == 0, static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF)};
}

uint8_t ButtonFlagsOf(const TButtonFacts& f) {
  uint8_t flags = 0;
  if ((f.Style & WS_SYSMENU_) || f.HasSystemMenu) flags |= kButtonSysMenu;
  if (f.Style & WS_MINIMIZEBOX_) flags |= kButtonMinimize;
  if (f.Style & WS_MAXIMIZEBOX_) flags |= kButtonMaximize;
  if (f.ExStyle & WS_EX_CONTEXTHELP_) flags |= kButtonHelp;
  // Windows 2000 draws the caption of such windows itself when the style bit goes.
  const bool windows2000 = f.Version.Major >= 5 && f.Version.Minor == 0;
  if (windows2000 && (((f.ExStyle & WS_EX_APPWINDOW_) && f.Version.Nt) || (!f.HasOwner && !f.MdiChild)))
    flags |= kButtonKeepSysMenuStyle;
  return flags;
}

bool IsDialogClass(std::string_view className) {
  return className == "#32770" || className == "TMessageForm";
}

uint8_t BorderKindOf(uint32_t style, uint32_t exStyle, std::string_view className) {
  uint8_t kind = kBorderNone;
  if ((style & WS_CAPTION_) == WS_CAPTION_) {
    if (style & WS_THICKFRAME_)
      kind = kBorderSizeable;
    else if (style & DS_MODALFRAME_)
      kind = kBorderDialog;
    else
      kind = kBorderSingle;
  }
  if ((exStyle & WS_EX_DLGMODALFRAME_) || IsDialogClass(className)) kind = kBorderDialog;
  return kind;
}

uint8_t FormKindOf(bool hasMdiClientChild, uint32_t exStyle) {
  if (hasMdiClientChild) return kFormMdiFrame;
  if (exStyle & WS_EX_MDICHILD_) return kFormMdiChild;
  return kFormNormal;
}

uint8_t WindowStateFromShowCommand(uint32_t showCommand) {
  switch (showCommand) {
    case 3: return kStateMaximized;
    case 2:
    case 6:
    case 7: return kStateMinimized;
    default: return kStateNormal;
  }
}

uint8_t WindowStateFromSizeKind(uint32_t sizeKind, uint8_t current) {
  switch (sizeKind) {
    case 0: return kStateNormal;
    case 1: return kStateMinimized;
    case 2: return kStateMaximized;
    default: return current;
  }
}

bool FormStage3Runs(const TFormFacts& f) {
  return f.State != kFormCreated && !(IsMdiChild(f) && f.WindowState == kStateMaximized);
}

TFormRoute RouteFormMessage(const TFormFacts& f, uint32_t message) {
  // Until activation the system must not draw its frame: it would flash.
  if (f.State == kFormCreated && message == kNcPaint) return {TFormHandler::AnswerZero};
  switch (message) {
    case kCtlColorBtn: return {TFormHandler::CtlColorBtn};
    case kCtlColorStatic: return {TFormHandler::CtlColorStatic};
    case kEraseBkgnd: return {TFormHandler::EraseBackground};
    case kNcDestroy: return {TFormHandler::NcDestroy};
    case kNcActivate:
      if (f.State == kFormCreated && !IsMdiChild(f)) return {TFormHandler::AnswerZero};
      break;
    case kCaptionRedraw: return {TFormHandler::AnswerZero};
    case kInitMenuPopup: return {TFormHandler::InitMenuPopup};
    case kActivation: return {TFormHandler::Activation};
    case kReplaceScroll: return {TFormHandler::ReplaceScrollBar};
    case kIsSkinned: return {TFormHandler::IsSkinned};
    default: break;
  }
  if (!f.FrameSkinned) return {TFormHandler::Old};
  return Stage2(f, message);
}

TWindowSize DetachedWindowSize(TWindowSize window, const TFrameMetrics& m, TWindowSize systemFrame) {
  return {window.Width - (m.BorderLeft + m.BorderRight - systemFrame.Width),
          window.Height - (m.CaptionHeight + m.BorderBottom - systemFrame.Height)};
}

}  // namespace skin
