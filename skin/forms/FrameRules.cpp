#include "skin/forms/FrameRules.h"

#include <algorithm>
#include <climits>

namespace skin {

namespace {

int Sat(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }
// Halving that rounds toward zero, on a wide value.
int64_t Half(int64_t v) { return v / 2; }

constexpr int HTNOWHERE_ = 0, HTCAPTION_ = 2, HTSYSMENU_ = 3, HTMENU_ = 5, HTMINBUTTON_ = 8,
              HTMAXBUTTON_ = 9, HTCLOSE_ = 20, HTHELP_ = 21;

constexpr uint32_t SC_SIZE_ = 0xF000, SC_MOVE_ = 0xF010, SC_MINIMIZE_ = 0xF020,
                   SC_MAXIMIZE_ = 0xF030, SC_CLOSE_ = 0xF060, SC_RESTORE_ = 0xF120;
constexpr uint32_t MFS_GRAYED_ = 3, MFS_CHECKED_ = 8;

bool Has(uint8_t flags, uint8_t bit) { return (flags & bit) != 0; }

}  // namespace

int ClampedFrameCount(int count) { return count < 1 ? 1 : count; }

int ClampedFrameIndex(int k, int count) { return std::clamp(k, 1, ClampedFrameCount(count)); }

TFrameMetrics ComputeFrameMetrics(uint8_t borderKind, TBorderImage left, TBorderImage right,
                                  TBorderImage top, TBorderImage bottom) {
  TFrameMetrics m;
  if (borderKind == kBorderNone) return m;
  auto part = [](int size, int frame) { return std::max(0, size) / ClampedFrameCount(frame); };
  m.CaptionHeight = part(top.Height, top.Frame);
  m.BorderLeft = part(left.Width, left.Frame);
  m.BorderRight = part(right.Width, right.Frame);
  m.BorderBottom = part(bottom.Height, bottom.Frame);
  return m;
}

TSliceRect SkinnedClientRect(const TSliceRect& window, const TFrameMetrics& metrics,
                             int menuBarHeight) {
  TSliceRect r;
  r.Left = Sat(int64_t{window.Left} + metrics.BorderLeft);
  r.Top = Sat(int64_t{window.Top} + metrics.CaptionHeight + menuBarHeight);
  r.Right = Sat(int64_t{window.Right} - metrics.BorderRight);
  r.Bottom = Sat(int64_t{window.Bottom} - metrics.BorderBottom);
  // As the system does for a window smaller than its frame: empty, inside the window.
  r.Left = std::min(r.Left, window.Right);
  r.Top = std::min(r.Top, window.Bottom);
  r.Right = std::max(r.Right, r.Left);
  r.Bottom = std::max(r.Bottom, r.Top);
  return r;
}

int BorderFrameIndex(bool active, int frameCount) {
  if (frameCount == 1) return 1;
  return ClampedFrameIndex(active ? 1 : 2, frameCount);
}

TSliceRect PlaceCaptionText(const TCaptionTextFacts& f) {
  const TSliceRect& r = f.Caption;
  int64_t left = r.Left, top = r.Top;
  int64_t right = left + std::max(0, f.TextWidth) + int64_t{f.BackLeft} + f.BackRight;
  int64_t bottom = top + std::max(0, f.TextHeight);
  const int64_t rw = int64_t{r.Right} - r.Left, mw = right - left;
  int64_t dx = 0;
  if (!f.RightToLeft) {
    switch (f.TextAlignment) {
      case 0: dx = f.TextShift; break;
      case 1: dx = Half(rw - mw); break;
      case 2: dx = rw - f.TextRightClip - mw; break;
      default: break;
    }
  } else {
    switch (f.TextAlignment) {
      case 0: dx = rw - f.ButtonAreaWidth - mw; break;
      case 1: dx = Half(rw - mw - f.ButtonAreaWidth); break;
      case 2: dx = f.TextShift; break;
      default: break;
    }
  }
  const int64_t dy = Half((int64_t{r.Bottom} - r.Top) - (bottom - top)) + Half(f.TextShiftVert);
  left += dx; right += dx; top += dy; bottom += dy;
  if (f.RightToLeft && dx <= 0) left = f.TextShift;
  if (f.RightToLeft) {
    left += 10;
    right += 10;
  } else if (!f.Popup) {
    right = std::min<int64_t>(right, int64_t{r.Right} - f.TextRightClip);
  } else if (f.ButtonAreaWidth >= 6 && int64_t{r.Right} - f.ButtonAreaWidth - 5 < right) {
    right = int64_t{r.Right} - f.ButtonAreaWidth - 5;
  }
  if (f.DialogFrame && f.TextAlignment == 0) left -= 16;
  return {Sat(left), Sat(top), Sat(right), Sat(bottom)};
}

namespace {

// One visibility code; `second` reads it as Visibility1.
bool CodeHolds(int code, bool second, const TCaptionFacts& f, int action, const TAskButtonVisible& ask,
               bool firstResult) {
  const bool maxBox = Has(f.ButtonFlags, kButtonMaximize), minBox = Has(f.ButtonFlags, kButtonMinimize);
  const bool sysMenu = Has(f.ButtonFlags, kButtonSysMenu), help = Has(f.ButtonFlags, kButtonHelp);
  switch (code) {
    case -1: return false;
    case 0: return true;
    case 1: return f.Maximized;
    case 2: return !f.Maximized;
    case 3: return f.Active;
    case 4: return !f.Active;
    case 5: return false;
    case 6: return (minBox || maxBox) && sysMenu;
    case 7: return !maxBox;
    case 8: return second ? (minBox || maxBox) : ((minBox || maxBox) && sysMenu);
    case 9: return !minBox;
    case 10: return second ? help : (help && !minBox && !maxBox);
    case 100: return second ? firstResult : f.MdiChildMaximizedWithMenuBar;
    case 200: return !f.DialogClass && f.BorderKind == kBorderDialog;
    default: break;
  }
  if (code >= 201 && code <= 999) return true;
  if (code >= 1000 && code <= 2000) return second || (ask && ask(code, action) > 0);
  return false;
}

}  // namespace

TButtonShow CaptionButtonShow(int action, int visibility, int visibility1, const TCaptionFacts& f,
                              bool enabled, const TAskButtonVisible& ask) {
  const bool a = CodeHolds(visibility, false, f, action, ask, false);
  const bool b = CodeHolds(visibility1, true, f, action, ask, a);
  TButtonShow show{a && b, enabled};
  const bool sysMenu = Has(f.ButtonFlags, kButtonSysMenu);
  switch (action) {
    case 0: show.Visible = show.Visible && sysMenu; break;
    case 1: show.Enabled = Has(f.ButtonFlags, kButtonMaximize) && sysMenu; break;
    case 2: show.Enabled = Has(f.ButtonFlags, kButtonMinimize) && sysMenu; break;
    case 3: case 11: case 12:
      if (f.BorderKind == kBorderDialog) show.Visible = false;
      break;
    default: break;
  }
  return show;
}

TSliceRect CaptionButtonRect(int align, int xcoord, int ycoord, int imageWidth, int imageHeight,
                             int frameCount, const TButtonPlaceFacts& f) {
  const int64_t w = std::max(0, imageWidth) / ClampedFrameCount(frameCount);
  const int64_t h = std::max(0, imageHeight);
  int64_t x = 0, y = 0;
  switch (align) {
    case 0: x = xcoord; y = ycoord; break;
    case 1: x = int64_t{f.WindowWidth} - xcoord; y = ycoord; break;
    case 2: case 8: x = f.CaptionTextRect.Left - w - xcoord; y = ycoord; break;
    case 3: case 9: x = int64_t{f.CaptionTextRect.Right} + xcoord; y = ycoord; break;
    case 100:
      x = int64_t{f.WindowWidth} - xcoord - f.BorderRight - f.MenuBarLeftWidth;
      y = f.CaptionHeight + Half(int64_t{f.MenuBarHeight} - h);
      break;
    default: break;
  }
  return {Sat(x), Sat(y), Sat(x + w), Sat(y + h)};
}

int CaptionButtonPaintFrame(bool active, bool enabled, int frameCount) {
  int k = active ? 1 : 4;
  if (!enabled) k = 4;
  if (frameCount < 4) k = 1;
  return ClampedFrameIndex(k, frameCount);
}

int CaptionButtonStateFrame(int state, bool enabled, int frameCount, bool visibility100) {
  int k = state;
  if (!enabled) k = frameCount < 4 ? 1 : 4;
  if (visibility100 && state == 3) k = 4;
  return ClampedFrameIndex(k, frameCount);
}

bool IsSystemMenuAction(int action) { return action == 3 || action == 11; }

int RewriteHitCode(int oldCode, int frameY, int captionHeight, int menuBarHeight) {
  switch (oldCode) {
    case HTSYSMENU_: case HTMINBUTTON_: case HTMAXBUTTON_: case HTCLOSE_: case HTHELP_:
      return HTCAPTION_;
    case HTNOWHERE_: case HTCAPTION_:
      if (menuBarHeight > 0 && frameY > captionHeight) return HTMENU_;
      if (frameY > 3) return HTCAPTION_;
      return oldCode;
    default:
      return oldCode;
  }
}

bool RegionBuildSkipped(const TRegionFacts& f) {
  if (f.State == kFormDestroyed || !f.FrameSkinned || f.Width <= 0 || f.Height <= 0) return true;
  if (f.MdiChild && f.WindowState != kStateNormal) return true;
  return f.Width == f.RegionWidth && f.Height == f.RegionHeight && !f.MdiChild &&
         f.State != kFormRefreshing;
}

std::vector<TRegionPiece> RegionPieces(int width, int height, const TFrameMetrics& m,
                                       const bool trans[4], uint8_t borderKind) {
  std::vector<TRegionPiece> pieces;
  if (borderKind == kBorderNone) return pieces;
  const int64_t w = width, h = height;
  const int64_t middle = w - m.BorderLeft - m.BorderRight;
  auto piece = [&](int64_t x, int64_t y, int64_t pw, int64_t ph, bool t, bool thickEnough) {
    TRegionPiece p;
    p.Rect = {Sat(x), Sat(y), Sat(x + std::max<int64_t>(pw, 0)), Sat(y + std::max<int64_t>(ph, 0))};
    p.FromImage = t && thickEnough && pw > 0 && ph > 0;
    pieces.push_back(p);
  };
  piece(0, 0, m.BorderLeft, h, trans[0], h >= 2);
  piece(w - m.BorderRight, 0, m.BorderRight, h, trans[1], h >= 2);
  piece(m.BorderLeft, 0, middle, m.CaptionHeight, trans[2], m.CaptionHeight >= 2);
  piece(m.BorderLeft, h - m.BorderBottom, middle, m.BorderBottom, trans[3], m.BorderBottom >= 2);
  return pieces;
}

TSliceRect RegionBase(int width, int height, const TFrameMetrics& m) {
  return {m.BorderLeft, m.CaptionHeight, Sat(int64_t{width} - m.BorderRight),
          Sat(int64_t{height} - m.BorderBottom)};
}

TWindowSize SkinnedWindowSize(int clientWidth, int clientHeight, const TFrameMetrics& m,
                              int menuBarHeight) {
  return {Sat(int64_t{clientWidth} + m.BorderLeft + m.BorderRight),
          Sat(int64_t{clientHeight} + m.CaptionHeight + m.BorderBottom + menuBarHeight)};
}

TDialogWiden WidenDialogForCaption(int width, int textShift, int captionTextWidth, int textRightClip) {
  const int64_t need = int64_t{textShift} + captionTextWidth + textRightClip;
  if (width >= need) return {width, 0};
  return {Sat(need), Sat(Half(need - width))};
}

THintPhase CaptionHintPhase(int elapsedMs, int hintPause, int hintHidePause) {
  const int64_t show = 2 * int64_t{hintPause}, hide = show + hintHidePause;
  if (elapsedMs < show) return THintPhase::Wait;
  return elapsedMs < hide ? THintPhase::Show : THintPhase::Hide;
}

std::string_view CaptionHintText(int action) {
  switch (action) {
    case 0: case 9: case 62: return "Close";
    case 1: case 22: return "Maximize";
    case 2: case 23: case 7: case 60: return "Minimize";
    case 8: case 61: return "Restore";
    default: return {};
  }
}

TSysMenuItemState SysMenuItemState(uint32_t id, uint32_t itemState, uint8_t windowState,
                                   uint8_t buttonFlags) {
  TSysMenuItemState s;
  switch (id) {
    case SC_CLOSE_: s.ImageIndex = 3; break;
    case SC_RESTORE_: s.ImageIndex = 0; s.Enabled = windowState != kStateNormal; break;
    case SC_MAXIMIZE_:
      s.ImageIndex = 1;
      s.Enabled = windowState != kStateMaximized && Has(buttonFlags, kButtonMaximize);
      break;
    case SC_MOVE_: case SC_SIZE_: s.Enabled = windowState != kStateMaximized; break;
    case SC_MINIMIZE_:
      s.ImageIndex = 2;
      s.Enabled = windowState != kStateMinimized && Has(buttonFlags, kButtonMinimize);
      break;
    default: break;
  }
  // MFS_GRAYED is two bits (disabled and grayed): either one disables.
  if (itemState & MFS_GRAYED_) s.Enabled = false;
  s.Checked = (itemState & MFS_CHECKED_) != 0;
  return s;
}

std::vector<int> FixedSysMenuTags(uint8_t buttonFlags) {
  std::vector<int> tags{0};
  if (Has(buttonFlags, kButtonMaximize)) tags.push_back(1);
  if (Has(buttonFlags, kButtonMinimize)) tags.push_back(2);
  tags.push_back(100);
  tags.push_back(3);
  return tags;
}

bool UsesFixedSysMenu(const TSystemVersion& version) { return version.Nt && version.Major < 5; }

bool ClosingAllowed(const TSystemVersion& version, bool hasCloseItem, bool closeItemDisabled) {
  if (hasCloseItem && closeItemDisabled) return false;
  if (!version.Nt || version.Major < 5) return true;
  return hasCloseItem;
}

TDoubleClick NcDoubleClick(int buttonAction, uint8_t windowState, uint8_t buttonFlags) {
  if (buttonAction >= 0) return IsSystemMenuAction(buttonAction) ? TDoubleClick::Close : TDoubleClick::Nothing;
  if (windowState != kStateNormal) return TDoubleClick::Restore;
  if (Has(buttonFlags, kButtonMaximize)) return TDoubleClick::Maximize;
  return TDoubleClick::Old;
}

TButtonAction ButtonActionOf(int action) {
  switch (action) {
    case 0: return TButtonAction::Close;
    case 1: case 22: return TButtonAction::Maximize;
    case 2: case 23: return TButtonAction::Minimize;
    case 3: case 11: case 12: return TButtonAction::SystemMenu;
    case 4: return TButtonAction::ContextHelp;
    case 7: case 60: return TButtonAction::MdiMinimize;
    case 8: case 61: return TButtonAction::MdiRestore;
    case 9: case 62: return TButtonAction::MdiClose;
    default: return TButtonAction::Program;
  }
}

}  // namespace skin
