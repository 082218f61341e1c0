// TSkinControl: the painter base.
#include "skin/painters/WinSubClass.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <memory>
#include <type_traits>
#include <vector>

#include "classlib/ControlMessages.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"

namespace skin {
namespace {

constexpr size_t kKinds = static_cast<size_t>(TPainterKind::Sizer) + 1;
std::array<TPainterFactory, kKinds> factories{};

TPainterFormLinks formLinks;

}  // namespace

void JoinForm(TWinSkinForm* form, TSkinControl* painter) {
  if (form && formLinks.Add) formLinks.Add(*form, painter);
}

void LeaveForm(TWinSkinForm* form, TSkinControl* painter) {
  if (form && formLinks.Remove) formLinks.Remove(*form, painter);
}

HWND FormWindow(TWinSkinForm* form) { return form && formLinks.Window ? formLinks.Window(*form) : nullptr; }

void SetPainterFactory(TPainterKind kind, TPainterFactory factory) {
  const size_t i = static_cast<size_t>(kind);
  if (i < kKinds && kind != TPainterKind::None) factories[i] = factory;
}

TPainterFactory PainterFactory(TPainterKind kind) {
  const size_t i = static_cast<size_t>(kind);
  return i < kKinds ? factories[i] : nullptr;
}

void SetPainterFormLinks(const TPainterFormLinks& links) { formLinks = links; }

TSkinControl::TSkinControl(TComponent* owner) : TComponent(owner) {}

TSkinControl::~TSkinControl() {
  ReleaseHooks();
  LeaveForm(SkinForm, this);
}

void TSkinControl::ReleaseHooks() {
  procHook_.Remove();
  subclass_.Remove();
}

void TSkinControl::HookWindowProc(TControl* control) { procHook_.Install(control, &TSkinControl::SubclassHandler, this); }

void TSkinControl::SubclassHandler(void* context, TMessage& message) {
  static_cast<TSkinControl*>(context)->NewWndProc(message);
}

void TSkinControl::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  auto* control = dynamic_cast<TWinControl*>(Owner());
  if (!control) return;
  ChangeColor = changeColor;
  SkinData = skinData;
  SkinForm = skinForm;
  Canvas = canvas;
  Control = control;
  Handle = control->Handle();
  IsUnicode = IsWindowUnicode(Handle) != FALSE;
  procHook_.Install(control, &TSkinControl::SubclassHandler, this);
  JoinForm(SkinForm, this);
  if (ChangeColor) {
    SavedColor = control->Color();
    control->SetColor(static_cast<TColor>(ButtonFace()));
  }
  control->Invalidate();
  Initialized = true;
  Status = kPainterAttached;
}

void TSkinControl::AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  SkinData = skinData;
  Canvas = canvas;
  SkinForm = skinForm;
  Handle = handle;
  Enabled = true;
  PainterFlag = 0;
  JoinForm(SkinForm, this);
  IsUnicode = IsWindowUnicode(handle) != FALSE;
  // The wide text on every NT-family system, so no character is lost to the code page.
  const int length = GetWindowTextLengthW(handle);
  std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  GetWindowTextW(handle, text.data(), length + 1);
  Caption.assign(text.data());
  subclass_.Install(handle, &TSkinControl::SubclassHandler, this);
  InvalidateRect(handle, nullptr, TRUE);
  Initialized = true;
  Status = kPainterAttached;
}

void TSkinControl::Unskin() {
  if (!SkinActive) return;
  SkinActive = false;
  // After WM_NCDESTROY the control may be half gone: its colour is left alone.
  if (Status != kPainterWindowGone && ChangeColor && Control) Control->SetColor(SavedColor);
}

void TSkinControl::NewWndProc(TMessage& message) {
  // The window's end is seen whether painting is on or off, so that nothing touches
  // the handle afterwards.
  if (message.Msg == WM_NCDESTROY) {
    Status = kPainterWindowGone;
    CallOldProc(message);
    if (SkinActive) Unskin();
    return;
  }
  if (message.Msg == kMsgSkinSwitch) {
    SkinActive = static_cast<int>(message.WParam) > 0;
    if (SkinActive) Refresh();
    return;
  }
  if (!SkinActive) {
    CallOldProc(message);
    return;
  }
  if (BeforeProc(message)) {
    CallOldProc(message);
    AfterProc(message);
  }
}

void TSkinControl::CallOldProc(TMessage& message) {
  if (procHook_.Installed())
    procHook_.CallOld(message);
  else if (subclass_.Installed())
    subclass_.CallOld(message);
}

bool TSkinControl::BeforeProc(TMessage& message) {
  if (message.Msg == kMsgIsSkinned) {
    message.Result = 1;
    return false;
  }
  return true;
}

void TSkinControl::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
      PaintWindow(reinterpret_cast<HDC>(message.WParam));
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case CM_ENABLEDCHANGED:
      Refresh();
      break;
    default:
      break;
  }
}

void TSkinControl::PaintWindow(HDC dc) {
  if (!Handle || !GetWindowRect(Handle, &WindowRect)) return;
  const RECT rect{0, 0, WindowRect.right - WindowRect.left, WindowRect.bottom - WindowRect.top};
  if (dc) {
    Paint(dc, rect);
    return;
  }
  HDC windowDc = GetWindowDC(Handle);
  if (!windowDc) return;
  Paint(windowDc, rect);
  ReleaseDC(Handle, windowDc);
}

void TSkinControl::Reskin() {
  if (ChangeColor && Control) Control->SetColor(static_cast<TColor>(ButtonFace()));
  Refresh();
}

void TSkinControl::Refresh() {
  if (GraphicControl) {
    GraphicControl->Invalidate();
  } else if (Handle && Status != kPainterWindowGone) {
    InvalidateRect(Handle, nullptr, TRUE);
    UpdateWindow(Handle);
  }
}

void TSkinControl::PaintMessage(TMessage& message) {
  HDC dc = reinterpret_cast<HDC>(message.WParam);
  PAINTSTRUCT ps{};
  const bool own = dc == nullptr;
  if (own) dc = BeginPaint(Handle, &ps);
  if (dc && GetWindowRect(Handle, &WindowRect))
    Paint(dc, {0, 0, WindowRect.right - WindowRect.left, WindowRect.bottom - WindowRect.top});
  if (own) EndPaint(Handle, &ps);
  message.Result = 0;
}

void TSkinControl::EraseBackground(TMessage& message) {
  HDC dc = reinterpret_cast<HDC>(message.WParam);
  if (Control) {
    PaintParentBackground(Handle, dc);
  } else {
    RECT client{};
    GetClientRect(Handle, &client);
    FillControlColor(dc, client);
  }
  message.Result = 1;
}

COLORREF TSkinControl::ButtonFace() const { return SkinColour(SkinData, kSlotButtonFace); }

const std::wstring& TSkinControl::CurrentCaption() {
  if (Control && GetPropInfo(Control, "Caption")) {
    Caption = AnsiToWide(ReadStrProp(Control, "Caption"));
    return Caption;
  }
  const int length = Handle ? GetWindowTextLengthW(Handle) : 0;
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  if (Handle) GetWindowTextW(Handle, text.data(), length + 1);
  text.resize(wcslen(text.c_str()));
  Caption = std::move(text);
  return Caption;
}

bool TSkinControl::RightToLeft() const {
  const TObject* source = Control ? static_cast<const TObject*>(Control) : GraphicControl;
  return ReadEnumProp(source, "BiDiMode") == "bdrighttoleft";
}

void TSkinControl::FillControlColor(HDC dc, const RECT& rect) {
  const TObject* source = Control ? static_cast<const TObject*>(Control) : GraphicControl;
  const int64_t colour = ReadIntProp(source, "Color");
  if (source && GetPropInfo(source, "Color"))
    FillSolid(dc, rect, ResolveColor(static_cast<TSkinColor>(colour), WinSysColor));
  else
    FillSolid(dc, rect, ButtonFace());
}

void TSkinControl::DrawTextFocus(HDC dc, const std::wstring& text, const RECT& rect, UINT flags, bool focus) {
  flags = CaptionFlagsFor(flags, RightToLeft());
  RECT drawRect = rect;
  SkinDrawText(dc, text, drawRect, flags);
  if (!focus || (SkinData && SkinData->Options.Contains(TSkinOption::xoNoFocusRect))) return;
  RECT measured = rect;
  SkinDrawText(dc, text, measured, flags | DT_CALCRECT | DT_NOCLIP);
  const TSliceRect r = FocusRectFor({rect.left, rect.top, rect.right, rect.bottom},
                                    {measured.left, measured.top, measured.right, measured.bottom}, flags);
  if (r.Empty()) return;
  const RECT focusRect{r.Left, r.Top, r.Right, r.Bottom};
  DrawFocusRect(dc, &focusRect);
}

// ---------------------------------------------------------------------------

namespace {

// Painters draw the same element at the same size on every repaint: the cut and
// stretched frame is kept, looked up by the source's contents (a reloaded skin may
// reuse the old image's memory) and the geometry.
struct TFrameKey {
  uint64_t Source = 0;
  int Width = 0, Height = 0, Count = 0, K = 0;
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Tile = false;
  bool operator==(const TFrameKey&) const = default;
};
// The frame ready for a two-blit transparent copy: its mask (magenta 1, the rest 0)
// and the image with magenta made black.
struct TCachedFrame {
  TFrameKey Key;
  TSkinDib Image;
  std::unique_ptr<std::remove_pointer_t<HBITMAP>, decltype(&DeleteObject)> Mask{nullptr, &DeleteObject};
  uint64_t LastUse = 0;
};

void PrepareTransparent(TCachedFrame& f) {
  const int w = f.Image.Width(), h = f.Image.Height();
  f.Mask.reset(CreateBitmap(w, h, 1, 1, nullptr));
  if (!f.Mask) return;
  {
    TSelectedDC image(f.Image.Handle()), mask(f.Mask.get());
    SetBkColor(image.Handle(), RGB(255, 0, 255));
    BitBlt(mask.Handle(), 0, 0, w, h, image.Handle(), 0, 0, SRCCOPY);
  }
  GdiFlush();
  uint32_t* p = f.Image.Pixels();
  for (size_t i = 0, n = size_t(w) * h; i < n; ++i)
    if ((p[i] & 0xFFFFFF) == kMagentaPixel) p[i] = 0;
}
constexpr int64_t kFrameCachePixels = int64_t{4} << 20;  // 16 MB of frames at most

uint64_t Fingerprint(const TPixelBuffer& image) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  auto mix = [&](uint32_t v) { h = (h ^ v) * 1099511628211ull; };
  mix(static_cast<uint32_t>(image.Width));
  mix(static_cast<uint32_t>(image.Height));
  for (uint32_t p : image.Pixels) mix(p);
  return h;
}

std::vector<TCachedFrame> frameCache;

const TCachedFrame& CachedFrame(const TFrameKey& key, const TPixelBuffer& bitmap, const RECT& rect) {
  std::vector<TCachedFrame>& cache = frameCache;
  static uint64_t clock = 0;
  ++clock;
  for (TCachedFrame& f : cache)
    if (f.Key == key) {
      f.LastUse = clock;
      return f;
    }
  const int64_t pixels = int64_t{key.Width} * key.Height;
  int64_t held = 0;
  for (const TCachedFrame& f : cache) held += int64_t{f.Image.Width()} * f.Image.Height();
  while (!cache.empty() && held + pixels > kFrameCachePixels) {
    auto oldest = std::min_element(cache.begin(), cache.end(),
                                   [](const TCachedFrame& a, const TCachedFrame& b) { return a.LastUse < b.LastUse; });
    held -= int64_t{oldest->Image.Width()} * oldest->Image.Height();
    cache.erase(oldest);
  }
  TCachedFrame& f = cache.emplace_back();
  f.Key = key;
  f.Image = BuildSlicedFrame(rect, bitmap, {key.Left, key.Top, key.Right, key.Bottom}, false, key.Tile, key.Count,
                             key.K);
  f.LastUse = clock;
  if (f.Image.Handle()) PrepareTransparent(f);
  return f;
}

// Frame k of n of `bitmap`, cut in nine by `m` (all 0: stretched whole), through the
// cache; magenta keeps the background when `transparent`, else stays magenta.
void DrawCachedFrame(HDC dc, const RECT& rect, const TPixelBuffer& bitmap, TSliceMargins m, bool tile,
                     bool transparent, int count, int k) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (bitmap.Empty() || width <= 0 || height <= 0) return;
  const TFrameKey key{Fingerprint(bitmap), width, height, count, k, m.Left, m.Top, m.Right, m.Bottom, tile};
  const TCachedFrame& frame = CachedFrame(key, bitmap, rect);
  if (!frame.Image.Handle() || !frame.Mask) return;
  TSelectedDC image(frame.Image.Handle(), dc);
  TSelectedDC mask(frame.Mask.get(), dc);
  if (!transparent) {
    // Magenta is part of an opaque element's picture.
    BitBlt(dc, rect.left, rect.top, width, height, image.Handle(), 0, 0, SRCCOPY);
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0)), oldBk = SetBkColor(dc, RGB(255, 0, 255));
    BitBlt(dc, rect.left, rect.top, width, height, mask.Handle(), 0, 0, SRCPAINT);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBk);
    return;
  }
  // Two blits: the mask keeps the background under magenta, the image adds the rest.
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0)), oldBk = SetBkColor(dc, RGB(255, 255, 255));
  BitBlt(dc, rect.left, rect.top, width, height, mask.Handle(), 0, 0, SRCAND);
  BitBlt(dc, rect.left, rect.top, width, height, image.Handle(), 0, 0, SRCPAINT);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBk);
}

}  // namespace

void ReleaseFrameCache() { std::vector<TCachedFrame>().swap(frameCache); }

void DrawSkinElement(HDC dc, const RECT& rect, const TDataSkinObject& element, int count, int k) {
  DrawCachedFrame(dc, rect, element.Bitmap, element.Margins(), element.Tile == 1, element.Trans != 0, count, k);
}

void DrawSkinFrame(HDC dc, const RECT& rect, const TPixelBuffer& image, TSliceMargins margins, bool tile,
                   bool transparent, int count, int k) {
  DrawCachedFrame(dc, rect, image, margins, tile, transparent, count, k);
}

// Marks are drawn at the same size on every repaint: through the frame cache.
void DrawGlyphFrame(HDC dc, const RECT& rect, const TPixelBuffer& strip, int count, int k) {
  DrawCachedFrame(dc, rect, strip, {0, 0, 0, 0}, false, true, count, k);
}

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  if (!brush) return;
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

COLORREF SkinColour(const TSkinData* skinData, int slot) {
  if (!skinData || slot < 0 || slot >= kSkinColourSlots) return GetSysColor(COLOR_BTNFACE);
  return ResolveColor(skinData->Skin().Colours[static_cast<size_t>(slot)], WinSysColor);
}

void FillBackground(HDC dc, const RECT& rect, const TSkinData* skinData) {
  FillSolid(dc, rect, SkinColour(skinData, kSlotButtonFace));
}

void DrawAlignedCaption(HDC dc, const RECT& rect, const std::wstring& text, int alignment, bool enabled) {
  const UINT flags = AlignedCaptionFlags(alignment);
  RECT measured = rect;
  SkinDrawText(dc, text, measured, flags | DT_CALCRECT | DT_NOCLIP);
  const TSliceRect r = AlignedCaptionRect({rect.left, rect.top, rect.right, rect.bottom},
                                          measured.right - measured.left, measured.bottom - measured.top);
  RECT target{r.Left, r.Top, r.Right, r.Bottom};
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  const COLORREF oldColour = enabled ? CLR_INVALID : SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  SkinDrawText(dc, text, target, flags);
  if (!enabled) SetTextColor(dc, oldColour);
  SelectObject(dc, oldBrush);
  SetBkMode(dc, oldMode);
}

bool IsTopLevel(HWND window) {
  const auto parent = reinterpret_cast<uintptr_t>(GetAncestor(window, GA_PARENT));
  const auto desktop = reinterpret_cast<uintptr_t>(GetDesktopWindow());
  return IsTopLevelWindow(parent, desktop, static_cast<uint32_t>(GetWindowLongA(window, GWL_STYLE)));
}

TDoubleBuffer::TDoubleBuffer(HDC target, const RECT& rect)
    : target_(target), rect_(rect), width_(rect.right - rect.left), height_(rect.bottom - rect.top) {
  if (width_ <= 0 || height_ <= 0) return;
  dc_ = CreateCompatibleDC(target);
  bitmap_ = CreateCompatibleBitmap(target, width_, height_);
  if (!dc_ || !bitmap_) return;
  old_ = SelectObject(dc_, bitmap_);
}

TDoubleBuffer::TDoubleBuffer(HDC target, const RECT& rect, TBufferBitmap& kept)
    : target_(target), rect_(rect), width_(rect.right - rect.left), height_(rect.bottom - rect.top), kept_(true) {
  if (width_ > 0 && height_ > 0) dc_ = kept.Prepare(target, width_, height_);
}

TBufferBitmap::~TBufferBitmap() { Release(); }

void TBufferBitmap::Release() {
  if (dc_ && old_) SelectObject(dc_, old_);
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  old_ = nullptr;
  width_ = height_ = 0;
}

HDC TBufferBitmap::Prepare(HDC target, int width, int height) {
  if (dc_ && width <= width_ && height <= height_) return dc_;
  Release();
  dc_ = CreateCompatibleDC(target);
  bitmap_ = CreateCompatibleBitmap(target, width, height);
  if (!dc_ || !bitmap_) {
    Release();
    return nullptr;
  }
  old_ = SelectObject(dc_, bitmap_);
  width_ = width;
  height_ = height;
  return dc_;
}

void TDoubleBuffer::Flush() {
  if (flushed_ || !dc_ || (!bitmap_ && !kept_)) return;
  flushed_ = true;
  BitBlt(target_, rect_.left, rect_.top, width_, height_, dc_, 0, 0, SRCCOPY);
}

TDoubleBuffer::~TDoubleBuffer() {
  Flush();
  if (kept_) return;
  if (dc_ && old_) SelectObject(dc_, old_);
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
}

}  // namespace skin
