#include "skin/data/WinSkinData_win.h"

#include <vector>

#include "classlib/Forms_win.h"

namespace skin {

namespace {

HINSTANCE bitmapModule = nullptr;

uint32_t SystemSysColor(int index) { return GetSysColor(index); }

std::unique_ptr<TSkinDataSystem> MakeSkinDataWin(TSkinData& data) {
  return std::make_unique<TSkinDataWin>(data, bitmapModule);
}

// The bitmap resource, else the same picture drawn in code (a program linked
// without the skin bitmaps still skins).
TPixelBuffer BitmapOrDrawn(HINSTANCE module, const char* name, TPixelBuffer (*draw)()) {
  TPixelBuffer pixels = LoadBitmapResourcePixels(module, name);
  return pixels.Width > 0 ? pixels : draw();
}

template <class Proc>
Proc Lookup(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

}  // namespace

TPixelBuffer LoadBitmapResourcePixels(HINSTANCE module, const char* name) {
  if (!FindResourceA(module, name, MAKEINTRESOURCEA(2) /* RT_BITMAP */)) return {};
  try {
    TBitmap bitmap;
    bitmap.LoadFromResourceName(module, name);
    return bitmap.ToPixelBuffer();
  } catch (const Exception&) {
    return {};  // a broken resource counts as missing
  }
}

TSkinPlatform SystemSkinPlatform(HINSTANCE module) {
  TSkinPlatform p;
  p.HScrollArrowWidth = GetSystemMetrics(SM_CXHSCROLL);
  p.SysColor = &SystemSysColor;
  p.HasGetScrollBarInfo = SkinUser32().GetScrollBarInfo != nullptr;
  p.TrackImage = BitmapOrDrawn(module, "TRACK", &DrawTrackResource);
  p.TrackVertImage = BitmapOrDrawn(module, "TRACKVERT", &DrawTrackVertResource);
  return p;
}

void StartSkinDataWin(HINSTANCE module) {
  bitmapModule = module;
  SetSkinPlatform(SystemSkinPlatform(module));
  SetSkinDataSystemFactory(&MakeSkinDataWin);
  RegisterSkinDataClasses();
}

TSkinDataWin* SkinDataWin(const TSkinData& data) {
  return dynamic_cast<TSkinDataWin*>(data.System());
}

TSkinDataWin::TSkinDataWin(TSkinData&, HINSTANCE module)
    : appIcon_(1, 1), second_(1, 1), menuGlyphs_(16, 16) {
  brush_.SetColor(clBtnFace);
  appIcon_.SetTransparent(true);
  appIcon_.SetTransparentColor(static_cast<TColor>(0xFF00FF));
  TBitmap glyphs;
  glyphs.FromPixelBuffer(BitmapOrDrawn(module, "TARVELMENU", &DrawMenuGlyphResource));
  menuGlyphs_.AddMasked(glyphs, static_cast<TColor>(0xFFFFFF));
  maxWidth_ = GetSystemMetrics(SM_CXMAXIMIZED);
  maxHeight_ = GetSystemMetrics(SM_CYMAXIMIZED);
}

TSkinDataWin::~TSkinDataWin() = default;

void TSkinDataWin::SetBackgroundColour(TSkinColor colour) { brush_.SetColor(colour); }

void TSkinDataWin::LoadCaptionFont() {
  NONCLIENTMETRICSA metrics{};
  // The pre-Vista size: newer systems accept it, older ones reject the larger one.
  metrics.cbSize = offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA);
  auto font = std::make_unique<TFont>();
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
    font->SetLogFont(metrics.lfCaptionFont);
  captionFont_ = std::move(font);
}

void TSkinDataWin::BuildApplicationIcon() {
  const int w = GetSystemMetrics(SM_CXSMICON), h = GetSystemMetrics(SM_CYSMICON);
  HICON icon = nullptr;
  if (Application && !Application->Icon().Empty()) icon = Application->Icon().Handle();
  if (!icon) icon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
  appIcon_.SetSize(w, h);
  TCanvas& canvas = appIcon_.Canvas();
  canvas.Brush().SetColor(static_cast<TColor>(0xFF00FF));
  RECT all{0, 0, w, h};
  canvas.FillRect(all);
  // DrawIconEx picks the icon's small image when it has one of this size.
  if (icon) DrawIconEx(canvas.Handle(), 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
  appIcon_.SetTransparent(true);
  appIcon_.SetTransparentColor(static_cast<TColor>(0xFF00FF));
}

void TSkinDataWin::ShowCaptionHint(const std::string& text, POINT screenPos) {
  if (hintShowing_) return;
  if (!hint_) hint_ = std::make_unique<THintWindow>();
  RECT r = hint_->CalcHintRect(500, text);
  OffsetRect(&r, screenPos.x, screenPos.y);
  hint_->ActivateHint(r, text);
  hintShowing_ = true;
}

void TSkinDataWin::HideCaptionHint() {
  if (!hintShowing_) return;
  if (hint_) hint_->ReleaseHint();
  hintShowing_ = false;
}

TSkinUser32 BindSkinUser32(HMODULE module) {
  TSkinUser32 b;
  b.GetScrollBarInfo = Lookup<decltype(b.GetScrollBarInfo)>(module, "GetScrollBarInfo");
  b.TrackMouseEvent = Lookup<decltype(b.TrackMouseEvent)>(module, "TrackMouseEvent");
  b.GetComboBoxInfo = Lookup<decltype(b.GetComboBoxInfo)>(module, "GetComboBoxInfo");
  b.DisableProcessWindowsGhosting =
      Lookup<decltype(b.DisableProcessWindowsGhosting)>(module, "DisableProcessWindowsGhosting");
  return b;
}

const TSkinUser32& SkinUser32() {
  static const TSkinUser32 bound = BindSkinUser32(GetModuleHandleA("user32.dll"));
  return bound;
}

bool SkinGetScrollBarInfo(HWND window, LONG object, SCROLLBARINFO& info, const TSkinUser32& user32) {
  info.cbSize = sizeof info;
  return user32.GetScrollBarInfo && user32.GetScrollBarInfo(window, object, &info);
}

bool SkinTrackMouseLeave(HWND window, const TSkinUser32& user32) {
  if (!user32.TrackMouseEvent) return false;
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = window;
  return user32.TrackMouseEvent(&track) != FALSE;
}

bool SkinGetComboBoxInfo(HWND window, COMBOBOXINFO& info, const TSkinUser32& user32) {
  info.cbSize = sizeof info;
  return user32.GetComboBoxInfo && user32.GetComboBoxInfo(window, &info);
}

void SkinDisableProcessWindowsGhosting(const TSkinUser32& user32) {
  if (user32.DisableProcessWindowsGhosting) user32.DisableProcessWindowsGhosting();
}

bool IsNtFamily() { return (GetVersion() & 0x80000000u) == 0; }

int SkinDrawText(HDC dc, const std::wstring& text, RECT& rect, UINT format, bool ntFamily) {
  if (ntFamily) return DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
  const std::string ansi = WideToAnsi(text);
  return DrawTextA(dc, ansi.c_str(), -1, &rect, format);
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string WideToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return {};
  std::string ansi(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(), n, nullptr,
                      nullptr);
  return ansi;
}

}  // namespace skin
