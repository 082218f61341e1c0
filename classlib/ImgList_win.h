#pragma once
// An image list over a real common-controls image list: equal-sized images with
// masks, drawn normal or disabled.
//
// Owns its HIMAGELIST unless it was handed one with owns = false. Adding images
// copies their pixels; the bitmaps passed in stay the caller's.
#include <windows.h>
#include <commctrl.h>

#include "classlib/Graphics_win.h"

class TCustomImageList : public TComponent {
  VELMORA_CLASS(TCustomImageList, TComponent)
 public:
  // 16 x 16 images, 24-bit colour with masks.
  explicit TCustomImageList(TComponent* owner = nullptr) : TCustomImageList(16, 16, owner) {}
  // Raises EInvalidOperation ("Invalid image size") for sizes below 1.
  TCustomImageList(int width, int height, TComponent* owner = nullptr);
  ~TCustomImageList() override;
  TCustomImageList(const TCustomImageList&) = delete;
  TCustomImageList& operator=(const TCustomImageList&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const;
  HIMAGELIST Handle() const { return list_; }
  // Takes `list` (its image size becomes this list's); owned when `owns`.
  void SetHandle(HIMAGELIST list, bool owns = true);

  // Adds the images of `image` (its width divided into Width()-wide pieces) with
  // `mask` (monochrome, null: opaque). Returns the first new index, -1 on failure.
  int Add(TBitmap& image, TBitmap* mask);
  // Same, every pixel of `maskColor` transparent (clDefault: the bottom-left pixel).
  int AddMasked(TBitmap& image, TColor maskColor);
  int AddIcon(TIcon& icon);
  void Delete(int index);
  void Clear();
  // Copies image `index` (without its mask) into `image`, resized to the image size.
  void GetBitmap(int index, TBitmap& image);

  // Transparent drawing at (x, y); `enabled` false draws the disabled look: the
  // opaque pixels greyed and lifted toward the button-face colour.
  void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);

  // The mask colour used by the most recent AddMasked.
  TColor MaskColor() const { return maskColor_; }

 private:
  void DrawDisabled(TCanvas& canvas, int x, int y, int index);
  HIMAGELIST list_ = nullptr;
  bool owns_ = true;
  int width_ = 16;
  int height_ = 16;
  TColor maskColor_ = clDefault;
};

class TImageList : public TCustomImageList {
  VELMORA_CLASS(TImageList, TCustomImageList)
 public:
  explicit TImageList(TComponent* owner = nullptr) : TCustomImageList(owner) {}
  TImageList(int width, int height, TComponent* owner = nullptr) : TCustomImageList(width, height, owner) {}
};
