// Fuzz target: the detailed window's stored placement. Four bytes choose the work
// area and the check area, the rest are the five values, one per line. The result
// always opens normally or maximised, with a size between the reference layout
// and the work area, inside the work area.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "exclog/dialogs/EExceptionDialogLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  exclog::TDialogRect work{static_cast<int8_t>(data[0]) * 16, static_cast<int8_t>(data[1]) * 16,
                           640 + data[2] * 8, 480 + data[3] * 4};
  int checkArea = (data[3] & 1) ? 34 : 0;
  std::istringstream lines(std::string(reinterpret_cast<const char*>(data + 4), size - 4));
  exclog::TPlacementValues v;
  std::getline(lines, v.Width);
  std::getline(lines, v.Height);
  std::getline(lines, v.Left);
  std::getline(lines, v.Top);
  std::getline(lines, v.State);
  exclog::TPlacement p = exclog::ResolvePlacement(v, work, checkArea);
  if (p.State != exclog::PlacementNormal && p.State != exclog::PlacementMaximised) std::abort();
  if (p.Width < exclog::ReferenceClientWidth || p.Width > work.Width) std::abort();
  if (p.Height < exclog::ReferenceClientHeight || p.Height + checkArea > work.Height) std::abort();
  if (p.Left < work.X || p.Top < work.Y || p.Left + p.Width > work.Right() ||
      p.Top + p.Height + checkArea > work.Bottom())
    std::abort();
  for (const auto& [key, value] : exclog::PlacementToSave(p, true)) {
    int back = 0;
    if (!exclog::ParseDecimal(value, back)) std::abort();
  }
  return 0;
}
