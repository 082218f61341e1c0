// Fuzz target: any skin values and window sizes through the frame rules. A skin file
// is outside input: nothing may divide by zero, overflow or give an inverted rectangle.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "skin/forms/FrameRules.h"
#include "tests/support/FuzzInts.h"

namespace {

using TReader = velmora::fuzz::TFuzzInts;

void Check(bool condition) {
  if (!condition) std::abort();
}
void CheckRect(const skin::TSliceRect& r) { Check(r.Right >= r.Left && r.Bottom >= r.Top); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skin;
  TReader in{data, size};
  const uint8_t kind = static_cast<uint8_t>(in.Next() & 3);
  TBorderImage left{in.Next(), in.Next(), in.Next()}, right{in.Next(), in.Next(), in.Next()};
  TBorderImage top{in.Next(), in.Next(), in.Next()}, bottom{in.Next(), in.Next(), in.Next()};
  const TFrameMetrics m = ComputeFrameMetrics(kind, left, right, top, bottom);
  Check(m.BorderLeft >= 0 && m.BorderRight >= 0 && m.CaptionHeight >= 0 && m.BorderBottom >= 0);
  const int menuBar = in.Next() & 0xFF;
  const int w = in.Next(), h = in.Next();
  const TSliceRect window{0, 0, w, h};
  if (w >= 0 && h >= 0) CheckRect(SkinnedClientRect(window, m, menuBar));
  Check(BorderFrameIndex(in.Next() & 1, left.Frame) >= 1);

  TCaptionTextFacts caption;
  caption.Caption = {m.BorderLeft, 0, w, m.CaptionHeight};
  caption.TextWidth = in.Next();
  caption.TextHeight = in.Next();
  caption.TextShift = in.Next();
  caption.TextShiftVert = in.Next();
  caption.TextRightClip = in.Next();
  caption.TextAlignment = in.Next();
  caption.BackLeft = in.Next();
  caption.BackRight = in.Next();
  caption.ButtonAreaWidth = in.Next();
  const int flags = in.Next();
  caption.RightToLeft = flags & 1;
  caption.Popup = flags & 2;
  caption.DialogFrame = flags & 4;
  const TSliceRect text = PlaceCaptionText(caption);

  TCaptionFacts facts;
  facts.ButtonFlags = static_cast<uint8_t>(flags >> 8);
  facts.BorderKind = kind;
  facts.Maximized = flags & 8;
  facts.Active = flags & 16;
  TButtonPlaceFacts place{w, text, m.BorderRight, m.CaptionHeight, menuBar, in.Next()};
  for (int i = 0; i < 4 && in.Left(); ++i) {
    const int action = in.Next(), vis = in.Next(), vis1 = in.Next(), frame = in.Next();
    CaptionButtonShow(action, vis, vis1, facts, true, [](int, int) { return 1; });
    const TSliceRect r = CaptionButtonRect(in.Next(), in.Next(), in.Next(), in.Next(), in.Next(), frame, place);
    CheckRect(r);
    const int k1 = CaptionButtonPaintFrame(flags & 32, flags & 64, frame);
    const int k2 = CaptionButtonStateFrame(in.Next(), flags & 64, frame, vis == 100);
    const int count = ClampedFrameCount(frame);
    Check(k1 >= 1 && k1 <= count && k2 >= 1 && k2 <= count);
  }
  RewriteHitCode(in.Next(), in.Next(), m.CaptionHeight, menuBar);
  const bool trans[4] = {(flags & 128) != 0, (flags & 256) != 0, (flags & 512) != 0, (flags & 1024) != 0};
  if (w >= 0 && h >= 0) {
    for (const TRegionPiece& piece : RegionPieces(w, h, m, trans, kind)) CheckRect(piece.Rect);
  }
  SkinnedWindowSize(in.Next(), in.Next(), m, menuBar);
  const TDialogWiden widen = WidenDialogForCaption(in.Next(), caption.TextShift, in.Next(), caption.TextRightClip);
  Check(widen.ChildShift >= 0);
  CaptionHintPhase(in.Next(), in.Next(), in.Next());
  return 0;
}
