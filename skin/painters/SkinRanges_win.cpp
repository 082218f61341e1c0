// Track-bar and progress painters.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "classlib/ControlMessages.h"
#include "skin/container/BitmapOps.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinInputRules.h"

namespace skin {
namespace {

// The groove of `plan` (its three pieces) drawn from frame 1 of `image` through the
// frame cache: the pieces' bounds cut by the caps only, so they come out as planned.
void DrawGroove(HDC dc, const TDataSkinObject& groove, const std::vector<TSlicePiece>& plan, bool vertical) {
  if (plan.empty()) return;
  TSliceRect bounds = plan.front().Dest;
  for (const TSlicePiece& p : plan) {
    bounds.Left = std::min(bounds.Left, p.Dest.Left);
    bounds.Top = std::min(bounds.Top, p.Dest.Top);
    bounds.Right = std::max(bounds.Right, p.Dest.Right);
    bounds.Bottom = std::max(bounds.Bottom, p.Dest.Bottom);
  }
  const TSliceMargins m = groove.Margins();
  const TSliceMargins caps = vertical ? TSliceMargins{0, m.Top, 0, m.Bottom} : TSliceMargins{m.Left, 0, m.Right, 0};
  DrawSkinFrame(dc, {bounds.Left, bounds.Top, bounds.Right, bounds.Bottom}, groove.Bitmap, caps, false, false,
                FramesOf(groove), 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Track bar

bool TSkinTrackBar::BeforeProc(TMessage& message) {
  if (message.Msg != WM_NOTIFY && message.Msg != CN_NOTIFY) return TSkinControl::BeforeProc(message);
  // The form skinner's marker in lParam is no pointer: only a header of this bar counts.
  if (static_cast<uintptr_t>(message.LParam) < 0x10000) return true;
  const auto* header = reinterpret_cast<const NMHDR*>(message.LParam);
  if (header->hwndFrom != Handle || header->code != static_cast<UINT>(NM_CUSTOMDRAW)) return true;
  const auto* draw = reinterpret_cast<const NMCUSTOMDRAW*>(message.LParam);
  if (draw->dwDrawStage == CDDS_PREPAINT) {
    message.Result = CDRF_NOTIFYITEMDRAW;
    return false;
  }
  if (draw->dwDrawStage != CDDS_ITEMPREPAINT) return true;
  switch (draw->dwItemSpec) {
    case TBCD_TICS:
      message.Result = CDRF_DODEFAULT;
      return false;
    case TBCD_CHANNEL:
      DrawChannelAndThumb(draw->hdc);
      message.Result = CDRF_SKIPDEFAULT;
      return false;
    case TBCD_THUMB:
      message.Result = CDRF_SKIPDEFAULT;  // drawn with the channel
      return false;
    default:
      return true;
  }
}

void TSkinTrackBar::DrawChannelAndThumb(HDC dc) {
  if (!SkinData) return;
  const TSkinModel& skin = SkinData->Skin();
  const bool vertical = (GetWindowLongW(Handle, GWL_STYLE) & TBS_VERT) != 0;
  RECT channel{};
  SendMessageW(Handle, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  // Some systems report a vertical bar's channel turned, as a horizontal one.
  if (vertical && channel.right - channel.left > channel.bottom - channel.top)
    channel = {channel.top, channel.left, channel.bottom, channel.right};
  const TDataSkinObject* groove = skin.Track.get();
  if (vertical && HasPicture(skin.TrackVert.get()))
    groove = skin.TrackVert.get();
  else if (vertical && HasPicture(groove))
    groove = TurnedTrack(*groove);  // lying across the bar it would show as a stub
  if (HasPicture(groove)) {
    const bool turned = vertical;
    DrawGroove(dc, *groove,
               TrackChannelPlan({channel.left, channel.top, channel.right, channel.bottom}, groove->Bitmap.Width,
                                groove->Bitmap.Height, groove->Frame, groove->Margins(), turned),
               turned);
  }
  RECT thumb{};
  SendMessageW(Handle, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const TDataSkinObject* knob = vertical ? skin.ThumbVert.get() : skin.ThumbHorz.get();
  if (HasPicture(knob)) {
    DrawGlyphFrame(dc, thumb, knob->Bitmap, 5, 2);
    return;
  }
  HPEN pen = CreatePen(PS_SOLID, 1, SkinColour(SkinData, kSlotButtonShadow));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, thumb.left, thumb.top, thumb.right, thumb.bottom);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

const TDataSkinObject* TSkinTrackBar::TurnedTrack(const TDataSkinObject& track) {
  if (turnedTrack_ && turnedFrom_ == &track) return turnedTrack_.get();
  const TSliceRect f = FrameRect(track.Bitmap.Width, track.Bitmap.Height, FramesOf(track), 1, false);
  TPixelBuffer frame(f.Width(), f.Height());
  for (int y = 0; y < frame.Height; y++)
    for (int x = 0; x < frame.Width; x++) frame.At(x, y) = track.Bitmap.At(f.Left + x, f.Top + y);
  turnedTrack_ = std::make_unique<TDataSkinObject>(track.Name);
  turnedTrack_->Bitmap = TransposePixels(frame);
  turnedTrack_->LeftWidth = track.TopHeight;
  turnedTrack_->TopHeight = track.LeftWidth;
  turnedTrack_->RightWidth = track.BottomHeight;
  turnedTrack_->BottomHeight = track.RightWidth;
  turnedTrack_->Frame = 1;
  turnedTrack_->Tile = track.Tile;
  turnedTrack_->Trans = track.Trans;
  turnedFrom_ = &track;
  return turnedTrack_.get();
}

void TSkinTrackBar::Reskin() {
  turnedTrack_.reset();  // the element may be a new one at the old place

  // A redraw asks the bar's custom draw again; moving the focus would run the
  // program's focus handlers and fail for a hidden bar.
  if (Handle && Status != kPainterWindowGone) RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// ---------------------------------------------------------------------------
// Progress bar

bool TSkinProgress::BeforeProc(TMessage& message) {
  const bool has = SkinData && HasPicture(SkinData->Skin().Progress.get());
  switch (message.Msg) {
    case WM_PAINT:
      if (!has) return true;
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      message.Result = 1;
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinProgress::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  const TSkinModel& skin = SkinData->Skin();
  const TDataSkinBorder* bar = skin.Progress.get();
  if (!HasPicture(bar)) return;
  RECT client{};
  GetClientRect(Handle, &client);
  const bool vertical = (GetWindowLongW(Handle, GWL_STYLE) & PBS_VERTICAL) != 0;
  const int position = static_cast<int>(SendMessageW(Handle, PBM_GETPOS, 0, 0));
  PBRANGE range{};
  SendMessageW(Handle, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
  const int w = client.right, h = client.bottom;
  const int filled = ProgressFill(vertical ? h : w, position, range.iLow, range.iHigh);
  TDoubleBuffer buffer(dc, {rect.left, rect.top, rect.left + w, rect.top + h}, Buffer);
  if (!buffer.Dc()) return;
  const RECT whole{0, 0, w, h};
  // A vertical bar uses the pictures turned to the side, filled from the bottom.
  const TPixelBuffer* picture = &bar->Bitmap;
  TSliceMargins margins = bar->Margins();
  if (vertical) {
    if (turnedFrom_ != bar->Bitmap.Pixels.data() || turned_.Width != bar->Bitmap.Height) {
      turned_ = TransposePixels(bar->Bitmap);
      turnedFrom_ = bar->Bitmap.Pixels.data();
    }
    picture = &turned_;
    margins = {margins.Top, margins.Left, margins.Bottom, margins.Right};
  }
  const RECT fill = vertical ? RECT{0, h - filled, w, h} : RECT{0, 0, filled, h};
  // Side by side frames go through the frame cache; turned ones are cut each time.
  auto draw = [&](const RECT& r, int count, int k) {
    if (vertical)
      DrawSlicedFrame(buffer.Dc(), r, *picture, true, bar->Tile == 1, true, count, k, margins);
    else
      DrawSkinFrame(buffer.Dc(), r, *picture, margins, bar->Tile == 1, true, count, k);
  };
  FillSolid(buffer.Dc(), whole, SkinColour(SkinData, kSlotButtonFace));
  if (bar->Style != 1) {
    draw(whole, 2, 1);
    if (filled > 0) draw(fill, 2, 2);
    buffer.Flush();
    return;
  }
  draw(whole, 1, 1);
  const TDataSkinObject* chunk = skin.ProgressChunk.get();
  if (filled > 0 && HasPicture(chunk)) {
    if (chunk->Tile != 1 || vertical) {
      const RECT r = vertical ? RECT{2, h - filled, w - 2, h - 2} : RECT{2, 2, 2 + filled, h - 2};
      DrawSkinElement(buffer.Dc(), r, *chunk, FramesOf(*chunk), 1);
    } else {
      // The chunk repeated every chunk width across the filled length.
      const TSliceRect frame = FrameRect(chunk->Bitmap.Width, chunk->Bitmap.Height, chunk->Frame, 1, false);
      const int x0 = std::clamp(chunk->LeftWidth, 0, frame.Width()) + 2;
      const int y = (h - frame.Height()) / 2;
      for (int offset : ChunkOffsets(filled - x0, frame.Width())) {
        const RECT r{x0 + offset, y, x0 + offset + frame.Width(), y + frame.Height()};
        DrawGlyphFrame(buffer.Dc(), r, chunk->Bitmap, FramesOf(*chunk), 1);
      }
    }
  }
  buffer.Flush();
}

}  // namespace skin
