// Skin load under Wine: a TSkinData with its Windows side loading the default skin
// from its "SkinStream" (decode, INI parse, every element built), against the bare
// decode of the same container by the skin reader, in one process.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "classlib/System.h"
#include "skin/container/SkinReader.h"
#include "skin/data/WinSkinData.h"
#include "skin/data/WinSkinData_win.h"
#include "tests/bench/Bench.h"

VELMORA_BENCHMARK(skin_load) {
  InitUnits();
  skin::StartSkinDataWin(GetModuleHandleA(nullptr));
  std::ifstream in(bench::HostPath(VELMORA_DEFAULT_SKIN), std::ios::binary);
  const std::vector<uint8_t> container((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (container.empty()) throw std::runtime_error("cannot read the default skin " VELMORA_DEFAULT_SKIN);
  const std::vector<uint8_t> stream = skin::EncodeSkinStream(container);

  skin::TSkinData data;
  auto ours = [&] {
    bench::TSample s = bench::TimeInProcess([&] { data.ReadSkinStream(stream); });
    if (data.NotLoaded()) throw std::runtime_error("the default skin did not load");
    return s;
  };
  auto decode = [&] {
    skin::TSkinReader reader;
    bench::TSample s = bench::TimeInProcess([&] {
      if (!reader.LoadFromBytes(container)) throw std::runtime_error("the default skin did not decode");
    });
    return s;
  };
  bench::TComparison c = bench::Compare(run, ours, decode);
  char compared[160];
  std::snprintf(compared, sizeof compared,
                "TSkinData load of the default skin (%s, %.0f KB) vs bare decode of its container",
                data.SkinName().c_str(), container.size() / 1024.0);
  bench::TRow row = bench::RowOf("Skin load under Wine", compared, bench::TUnit::Milliseconds, c,
                                 bench::TTarget::OursAtMost(20));
  row.OursPeakBytes = bench::ProcessPeakBytes();
  row.PeerPeakBytes = 0;  // one process: its peak is shown once
  bench::Emit(run, row);
  skin::SetSkinDataSystemFactory(nullptr);
  FinalizeUnits();
}
