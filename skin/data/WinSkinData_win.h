#pragma once
// The Windows side of TSkinData: the GDI objects, font, image list and hint window
// a skin component owns, the system facts it reads, the user32 routines that older
// systems lack (bound at run time by name), and text drawing for both system
// families.
#include <windows.h>

#include <memory>
#include <string>

#include "classlib/Graphics_win.h"
#include "classlib/HintWindow_win.h"
#include "classlib/ImgList_win.h"
#include "skin/data/WinSkinData.h"

namespace skin {

// Starts the skin component's Windows side: the system facts of this system and
// the bitmaps of `module` (TRACK, TRACKVERT; the built-in drawing when missing),
// the factory that gives every new TSkinData its TSkinDataWin, and the component's
// class registration for layouts. Needs the class registry running (InitUnits).
void StartSkinDataWin(HINSTANCE module);

// The system facts as this system reports them: scroll-arrow width, system
// colours, whether user32 has GetScrollBarInfo, and `module`'s TRACK bitmaps.
TSkinPlatform SystemSkinPlatform(HINSTANCE module);

// The pixels of bitmap resource `name` of `module`; empty when it is missing or
// unreadable.
TPixelBuffer LoadBitmapResourcePixels(HINSTANCE module, const char* name);

// The Windows side one TSkinData owns.
class TSkinDataWin : public TSkinDataSystem {
 public:
  // Makes the application-icon bitmaps, loads the menu glyphs from `module`'s
  // TARVELMENU bitmap (the built-in drawing when missing) and takes the
  // maximised-window size.
  TSkinDataWin(TSkinData& data, HINSTANCE module);
  ~TSkinDataWin() override;

  void SetBackgroundColour(TSkinColor colour) override;
  void LoadCaptionFont() override;
  void BuildApplicationIcon() override;

  // Solid brush of colour slot 3 (button face until a skin was parsed).
  HBRUSH BackgroundBrush() { return brush_.Handle(); }
  TColor BackgroundColour() const { return brush_.Color(); }
  // Small-icon sized, 24-bit, magenta transparent; magenta until BuildApplicationIcon.
  TBitmap& ApplicationIcon() { return appIcon_; }
  TBitmap& SecondBitmap() { return second_; }
  // Four 16 x 16 glyphs: restore, maximise, minimise, close (white masked).
  TCustomImageList& MenuGlyphs() { return menuGlyphs_; }
  int MaximizedWidth() const { return maxWidth_; }
  int MaximizedHeight() const { return maxHeight_; }
  // Null until LoadCaptionFont.
  TFont* CaptionFont() { return captionFont_.get(); }

  // Caption-button hints: shown at `screenPos` (at most 500 pixels wide) unless a
  // hint already shows; hidden only when showing.
  void ShowCaptionHint(const std::string& text, POINT screenPos);
  void HideCaptionHint();
  bool CaptionHintShowing() const { return hintShowing_; }
  // Null until the first hint.
  THintWindow* HintWindow() { return hint_.get(); }

 private:
  TBrush brush_;
  TBitmap appIcon_;
  TBitmap second_;
  TCustomImageList menuGlyphs_;
  int maxWidth_ = 0, maxHeight_ = 0;
  std::unique_ptr<TFont> captionFont_;
  std::unique_ptr<THintWindow> hint_;
  bool hintShowing_ = false;
};

// The Windows side of `data`, null when it has none (no StartSkinDataWin).
TSkinDataWin* SkinDataWin(const TSkinData& data);

// user32 routines looked up by name; a null member is missing on this system.
struct TSkinUser32 {
  BOOL(WINAPI* GetScrollBarInfo)(HWND, LONG, PSCROLLBARINFO) = nullptr;
  BOOL(WINAPI* TrackMouseEvent)(LPTRACKMOUSEEVENT) = nullptr;
  BOOL(WINAPI* GetComboBoxInfo)(HWND, PCOMBOBOXINFO) = nullptr;
  void(WINAPI* DisableProcessWindowsGhosting)() = nullptr;
};
// Looks the four routines up in `module` (any of them may be missing).
TSkinUser32 BindSkinUser32(HMODULE module);
// The binding of this process's user32, made on first use.
const TSkinUser32& SkinUser32();

// False when the routine is missing or fails; `info`'s size is set here.
bool SkinGetScrollBarInfo(HWND window, LONG object, SCROLLBARINFO& info,
                          const TSkinUser32& user32 = SkinUser32());
// Asks for WM_MOUSELEAVE for `window`; false (and nothing done) when missing.
bool SkinTrackMouseLeave(HWND window, const TSkinUser32& user32 = SkinUser32());
bool SkinGetComboBoxInfo(HWND window, COMBOBOXINFO& info, const TSkinUser32& user32 = SkinUser32());
// Skipped when missing.
void SkinDisableProcessWindowsGhosting(const TSkinUser32& user32 = SkinUser32());

// Whether this system is of the NT family (GetVersion's top bit clear).
bool IsNtFamily();
// DrawTextW with `text` on the NT family; elsewhere the text in the ANSI code page
// through DrawTextA. Returns DrawText's result (the text height; 0 on failure).
int SkinDrawText(HDC dc, const std::wstring& text, RECT& rect, UINT format,
                 bool ntFamily = IsNtFamily());
// `text` read in the ANSI code page (CP_ACP). Empty for empty text or bytes the
// code page cannot convert.
std::wstring AnsiToWide(const std::string& text);
// The reverse, for the older systems' DrawTextA.
std::string WideToAnsi(const std::wstring& text);

}  // namespace skin
