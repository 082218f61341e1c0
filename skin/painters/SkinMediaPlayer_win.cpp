// The media player's painter and its panel (see SkinMediaPlayer_win.h).
#include "skin/painters/SkinMediaPlayer_win.h"

#include <windowsx.h>

#include <string>

#include "classlib/ControlMessages.h"
#include "skin/container/SkinDraw_win.h"

namespace skin {
namespace {

constexpr COLORREF kMediaKey = 0x008080;  // olive: the media bitmaps' background
constexpr int kStateEnabled = 0, kStateDisabled = 1, kStateColoured = 2;
const char* const kStateNames[3] = {"EN", "DI", "CL"};

}  // namespace

TWMediaPlayer::TWMediaPlayer(TWinControl* player, TSkinMP* painter, TSkinData* skinData)
    : TCustomPanel(nullptr), player_(player), painter_(painter), skinData_(skinData) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  for (int b = 0; b < kMediaButtons; b++)
    for (int s = 0; s < 3; s++) {
      const std::string name = std::string(kStateNames[s]) + "_" + kMediaButtonNames[b];
      bitmaps_[b][s] = static_cast<HBITMAP>(LoadImageA(module, name.c_str(), IMAGE_BITMAP, 0, 0, 0));
    }
}

TWMediaPlayer::~TWMediaPlayer() {
  for (auto& states : bitmaps_)
    for (HBITMAP b : states)
      if (b) DeleteObject(b);
}

void TWMediaPlayer::ReadButtons() {
  auto set = [&](const char* name) { return MediaButtonSet(GetPropText(player_, name).value_or("")); };
  VisibleButtons = set("VisibleButtons");
  EnabledButtons = set("EnabledButtons");
  ColoredButtons = set("ColoredButtons");
  VisibleCount = 0;
  for (int b = 0; b < kMediaButtons; b++) VisibleCount += (VisibleButtons >> b) & 1;
  ButtonWidth = MediaButtonWidth(Width(), VisibleCount);
}

int TWMediaPlayer::ButtonAt(int x) {
  ReadButtons();
  int slot = MediaButtonAt(x, Width(), VisibleCount);
  for (int b = 0; b < kMediaButtons && slot >= 0; b++)
    if ((VisibleButtons >> b) & 1 && slot-- == 0) return b;
  return -1;
}

void TWMediaPlayer::Paint() {
  ReadButtons();
  HDC dc = Canvas().Handle();
  const RECT whole{0, 0, Width(), Height()};
  TDoubleBuffer buffer(dc, whole);
  HDC out = buffer.Dc();
  if (!out) return;
  FillBackground(out, whole, skinData_);
  const TDataSkinButton* face = skinData_ ? skinData_->Buttons() : nullptr;
  int left = 0;
  for (int b = 0; b < kMediaButtons && ButtonWidth > 0; b++) {
    if (!((VisibleButtons >> b) & 1)) continue;
    const bool enabled = (EnabledButtons >> b) & 1;
    const int frame = !enabled ? 3 : Pressed && PressedIndex == b ? 2 : 1;
    const RECT r{left, 0, left + ButtonWidth, whole.bottom};
    left += ButtonWidth;
    if (face) DrawSkinElement(out, r, *face, face->Frame, frame);
    const int state = !enabled ? kStateDisabled : (ColoredButtons >> b) & 1 ? kStateColoured : kStateEnabled;
    HBITMAP image = bitmaps_[b][state];
    BITMAP info{};
    if (!image || !GetObjectA(image, sizeof info, &info)) continue;
    const int shift = frame == 2 ? 1 : 0;
    const int x = r.left + (ButtonWidth - info.bmWidth) / 2 + shift, y = (whole.bottom - info.bmHeight) / 2 + shift;
    DrawTransparent(out, {x, y, x + info.bmWidth, y + info.bmHeight}, image, kMediaKey);
  }
  buffer.Flush();
}

void TWMediaPlayer::Forward(TMessage& message) {
  if (player_ && player_->HandleAllocated())
    SendMessageA(player_->Handle(), message.Msg, message.WParam, message.LParam);
}

void TWMediaPlayer::WndProc(TMessage& message) {
  switch (message.Msg) {
    case kMsgIsSkinned:
      message.Result = 1;
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      Pressed = true;
      Forward(message);
      ReleaseCapture();
      PressedIndex = HotIndex = ButtonAt(GET_X_LPARAM(message.LParam));
      Invalidate();
      return;
    case WM_LBUTTONUP: {
      const bool wasPressed = Pressed;
      Pressed = false;
      HotIndex = ButtonAt(GET_X_LPARAM(message.LParam));
      Invalidate();
      // The player may act on the release: nothing of the panel is touched after.
      if (wasPressed && HotIndex >= 0 && HotIndex == PressedIndex) Forward(message);
      return;
    }
    default:
      TCustomPanel::WndProc(message);
  }
}

// ---------------------------------------------------------------------------

TSkinMP::~TSkinMP() = default;

void TSkinMP::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (!Control) return;
  panel_ = std::make_unique<TWMediaPlayer>(Control, this, skinData);
  panel_->SetParent(Control->Parent());
  CopyBounds();
  panel_->SetVisible(Control->Visible());
  SetWindowPos(panel_->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TSkinMP::CopyBounds() {
  if (panel_ && Control) panel_->SetBounds(Control->Left(), Control->Top(), Control->Width(), Control->Height());
}

void TSkinMP::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_WINDOWPOSCHANGED:
      CopyBounds();
      break;
    case CM_VISIBLECHANGED:
      if (panel_ && Control) panel_->SetVisible(Control->Visible());
      break;
    default:
      TSkinControl::AfterProc(message);
  }
}

void TSkinMP::Unskin() {
  TSkinControl::Unskin();
  // After WM_NCDESTROY the parent's windows are going down with the player's.
  if (Status != kPainterWindowGone) panel_.reset();
}

}  // namespace skin
