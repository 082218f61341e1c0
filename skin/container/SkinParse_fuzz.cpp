// Fuzz target: a skin INI and one BMP. The bytes up to the first NUL are the INI
// text; the rest is served as the content of every ".bmp" entry the INI names.
// Every derived image is then cut and drawn once, so hostile margins and frame
// counts reach the drawing geometry too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "skin/container/SkinModel.h"
#include "skin/container/SkinSlice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* nul = size ? static_cast<const uint8_t*>(std::memchr(data, 0, size)) : nullptr;
  size_t iniSize = nul ? static_cast<size_t>(nul - data) : size;
  std::string_view text(size ? reinterpret_cast<const char*>(data) : "", iniSize);
  std::vector<uint8_t> bmp;
  if (nul) bmp.assign(nul + 1, data + size);
  skin::TQuickIni ini;
  ini.LoadFromText(text);
  skin::TSkinParseEnv env;
  env.TrackImage = skin::DrawTrackResource();
  env.TrackVertImage = skin::DrawTrackVertResource();
  // The one BMP serves every image: a small budget keeps huge claims quick.
  env.ImagePixelBudget = 1u << 20;
  auto lookup = [&](std::string_view, std::vector<uint8_t>& out) {
    out = bmp;
    return true;
  };
  auto model = skin::ParseSkin(ini, lookup, env);
  if (!model) return 0;  // over the image budget
  for (const skin::TDataSkinObject* e : model->Elements()) {
    // Small destinations: the geometry must hold whatever the skin says.
    for (int k : {0, 1, e->Frame, e->Frame + 1}) {
      TPixelBuffer out = skin::BuildSlicedPixels(23, 7, e->Bitmap, e->Margins(), k & 1,
                                                       e->Tile == 1, e->Frame, k);
      if (out.Width != 23) __builtin_trap();
    }
  }
  return 0;
}
