// Fuzz target: the input, range, tab and status-bar geometry over hostile counts,
// ranges and sizes. The input is read as 32-bit numbers; every result must stay
// inside its image, its bar or its strip.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "skin/painters/SkinInputRules.h"
#include "tests/support/FuzzInts.h"
#include "skin/painters/SkinTabRules.h"

namespace {

using TReader = velmora::fuzz::TFuzzInts;

void Require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skin;
  TReader in{data, size};
  const int32_t w = in.Small(), h = in.Small(), count = in.Next(), k = in.Next();
  const int32_t pos = in.Next(), min = in.Next(), max = in.Next();
  const TSliceMargins m{in.Next(), in.Next(), in.Next(), in.Next()};
  const TSliceRect channel{in.Small(), in.Small(), in.Small(), in.Small()};

  const int fill = ProgressFill(w, pos, min, max);
  Require(fill >= 0 && (w <= 0 ? fill == 0 : fill <= w));
  Require(ChunkOffsets(w, count % 64, 512).size() <= 512);

  const int iw = w > 0 ? w % 300 : 16, ih = h > 0 ? h % 300 : 4;
  for (bool vertical : {false, true})
    for (const TSlicePiece& p : TrackChannelPlan(channel, iw, ih, count, m, vertical))
      Require(p.Source.Left >= 0 && p.Source.Top >= 0 && p.Source.Right <= iw && p.Source.Bottom <= ih);

  const TUpDownHalves halves = UpDownHalves(w, h, (k & 1) != 0);
  Require(halves.First.Width() >= 0 && halves.Second.Height() >= 0);
  const int frame = UpDownFrame(count, k);
  Require(frame >= 1 && frame <= 8);
  Require(LineArrow(k, pos % 10000, min % 10000).size() <= 7);

  for (int style = 0; style < 3; style++) {
    const TSliceRect r = ComboButtonRect(w, h, style, count % 100, k % 100, (pos & 1) != 0);
    Require(r.Empty() || (r.Left >= 0 && r.Right <= w && r.Top >= 0 && r.Bottom <= h));
  }
  const int checkFrame = CheckListFrame(k, count);
  Require(checkFrame >= 1 && checkFrame <= 8);

  const TTabSide side = TabSideOfStyle(static_cast<uint32_t>(pos));
  const TSliceRect band = TabBand(w, h, channel, side);
  Require(band.Empty() || (band.Left >= 0 && band.Top >= 0 && band.Right <= w && band.Bottom <= h));
  std::vector<bool> visible;
  for (int i = 0; i < (count & 31); i++) visible.push_back(((k >> (i % 31)) & 1) != 0);
  const int sheet = SheetOfTab(visible, min % 40);
  Require(sheet >= -1 && sheet < static_cast<int>(visible.size()));
  Require(sheet < 0 || visible[static_cast<size_t>(sheet)]);
  const TSliceRect grip = SizeGripRect(w, h, iw, ih, count);
  Require(grip.Empty() || grip.Width() <= iw);
  const int bevel = StatusBevelFrame(k);
  Require(bevel >= 1 && bevel <= 3);
  return 0;
}
