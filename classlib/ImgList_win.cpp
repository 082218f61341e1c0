#include "classlib/ImgList_win.h"

TCustomImageList::TCustomImageList(int width, int height, TComponent* owner)
    : TComponent(owner), width_(width), height_(height) {
  if (width < 1 || height < 1) throw EInvalidOperation("Invalid image size");
  list_ = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 4, 4);
  if (!list_) throw EInvalidOperation("Image list could not be created");
}

TCustomImageList::~TCustomImageList() {
  if (list_ && owns_) ImageList_Destroy(list_);
}

int TCustomImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

void TCustomImageList::SetHandle(HIMAGELIST list, bool owns) {
  if (list == list_) {
    owns_ = owns;
    return;
  }
  if (list_ && owns_) ImageList_Destroy(list_);
  list_ = list;
  owns_ = owns;
  int w = 0, h = 0;
  if (list_ && ImageList_GetIconSize(list_, &w, &h)) {
    width_ = w;
    height_ = h;
  }
}

int TCustomImageList::Add(TBitmap& image, TBitmap* mask) {
  if (!list_ || image.Empty()) return -1;
  // Handle() takes the DIB out of its canvas DC, so the list can select it.
  return ImageList_Add(list_, image.Handle(), mask ? mask->Handle() : nullptr);
}

int TCustomImageList::AddMasked(TBitmap& image, TColor maskColor) {
  if (!list_ || image.Empty()) return -1;
  COLORREF key = ColorToRGB(maskColor == clDefault ? image.TransparentColor() : maskColor);
  maskColor_ = static_cast<TColor>(key);
  // ImageList_AddMasked blackens the masked pixels of the bitmap it is given: give
  // it a copy so the caller's image stays as it was.
  TBitmap copy;
  copy.Assign(image);
  return ImageList_AddMasked(list_, copy.Handle(), key);
}

int TCustomImageList::AddIcon(TIcon& icon) {
  if (!list_ || icon.Empty()) return -1;
  return ImageList_AddIcon(list_, icon.Handle());
}

void TCustomImageList::Delete(int index) {
  if (list_) ImageList_Remove(list_, index);
}

void TCustomImageList::Clear() {
  if (list_) ImageList_Remove(list_, -1);
}

void TCustomImageList::GetBitmap(int index, TBitmap& image) {
  if (image.Width() != width_ || image.Height() != height_) image.SetSize(width_, height_);
  if (!list_ || index < 0 || index >= Count()) return;
  ImageList_DrawEx(list_, index, image.Canvas().Handle(), 0, 0, width_, height_, CLR_NONE, CLR_NONE,
                   ILD_IMAGE);
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) {
  if (!list_ || index < 0 || index >= Count()) return;
  if (!enabled) {
    DrawDisabled(canvas, x, y, index);
    return;
  }
  ImageList_Draw(list_, index, canvas.Handle(), x, y, ILD_TRANSPARENT);
}

// The disabled look is composed in memory rather than with ILD_BLEND or
// ILS_SATURATE, whose results differ between common-controls versions.
void TCustomImageList::DrawDisabled(TCanvas& canvas, int x, int y, int index) {
  TBitmap image(width_, height_, TPixelFormat::pf32bit);
  TBitmap mask(width_, height_, TPixelFormat::pf32bit);
  TBitmap under(width_, height_, TPixelFormat::pf32bit);
  ImageList_DrawEx(list_, index, image.Canvas().Handle(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_IMAGE);
  // ILD_MASK paints the mask: black where opaque, white where transparent.
  mask.Canvas().Brush().SetColor(clWhite);
  RECT all{0, 0, width_, height_};
  mask.Canvas().FillRect(all);
  ImageList_DrawEx(list_, index, mask.Canvas().Handle(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK);
  RECT there{x, y, x + width_, y + height_};
  under.Canvas().CopyRect(all, canvas, there);

  TPixelBuffer pixels = image.ToPixelBuffer();
  TPixelBuffer maskPixels = mask.ToPixelBuffer();
  std::vector<uint8_t> opaque(maskPixels.Pixels.size());
  for (size_t i = 0; i < opaque.size(); ++i) opaque[i] = (maskPixels.Pixels[i] & 0xFFFFFF) == 0;
  TPixelBuffer dest = under.ToPixelBuffer();
  ComposeDisabledImage(pixels, opaque, PixelFromColorRef(ColorToRGB(clBtnFace)), dest);
  under.FromPixelBuffer(dest);
  canvas.CopyRect(there, under.Canvas(), all);
}
