#pragma once
// A PNG image object: the file as loaded, its decoded pixels and a premultiplied
// 32-bit DIB that draws them blended by their alpha (AlphaBlend). Glyph buttons
// hold one under their "PngImage" property. GUI thread only.
//
// Ownership: the object owns its DIBs; they are made on first draw and dropped
// when the image changes. Failure: a file that does not decode raises
// EInvalidGraphic with the decoder's reason and leaves the image as it was.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classlib/Graphics_win.h"
#include "classlib/PngCodec.h"

// Published: Width, Height (read-only).
class TPngImage : public TPersistent {
  VELMORA_CLASS(TPngImage, TPersistent)
  VELMORA_PUBLISHED(TPngImage)
 public:
  TPngImage() = default;
  ~TPngImage() override;
  TPngImage(const TPngImage&) = delete;
  TPngImage& operator=(const TPngImage&) = delete;

  int Width() const { return pixels_.Width; }
  int Height() const { return pixels_.Height; }
  bool Empty() const { return pixels_.Empty(); }
  // 0xAARRGGBB, straight alpha, top row first.
  const TPixelBuffer& Pixels() const { return pixels_; }
  // The PNG file as loaded (what a layout keeps); empty for an empty image.
  const std::vector<uint8_t>& Data() const { return data_; }

  // A whole PNG file; empty bytes clear the image.
  void LoadFromBytes(const std::vector<uint8_t>& bytes);
  // The rest of the stream.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  void Clear() { LoadFromBytes({}); }
  void Assign(const TPersistent* source) override;

  // The image at (x, y) at its own size over what `dc` holds, blended by its alpha.
  // `enabled` false draws the disabled look: a grey copy at half opacity.
  void Draw(HDC dc, int x, int y, bool enabled = true);
  void Draw(TCanvas& canvas, int x, int y, bool enabled = true) { Draw(canvas.Handle(), x, y, enabled); }

  // Raised after every change of the image.
  std::function<void()> OnChange;

 private:
  HBITMAP Premultiplied(bool grey);
  void DropBitmaps();

  std::vector<uint8_t> data_;
  TPixelBuffer pixels_;
  HBITMAP bitmaps_[2] = {nullptr, nullptr};  // as it is, grey
};
