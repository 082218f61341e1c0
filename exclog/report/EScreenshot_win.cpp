#include "exclog/report/EScreenshot_win.h"

#include <algorithm>
#include <vector>

#include "exclog/core/EPngWriter.h"

namespace exclog {
namespace {

struct TCaptureState {
  HWND Source = nullptr;
  HDC SourceDc = nullptr;
  HDC MemoryDc = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ OldBitmap = nullptr;
  HPALETTE Palette = nullptr;
  HPALETTE OldPalette = nullptr;
  int Width = 0;
  int Height = 0;
  int RowStride = 0;  // of the 8-bit rows the capture becomes
  const uint32_t* Bits = nullptr;  // top-down rows of a 32-bit capture; null: a device bitmap
};
TCaptureState capture;

bool ValidRect(const RECT& r) { return r.right > r.left && r.bottom > r.top; }

// The monitor showing the main window, when it is known and has an area.
bool MonitorOf(HWND window, RECT& area) {
  if (!window || !IsWindow(window)) return false;
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!monitor || !GetMonitorInfoA(monitor, &info) || !ValidRect(info.rcMonitor)) return false;
  area = info.rcMonitor;
  return true;
}

// A palette device copies through the system palette's 256 entries.
void SelectSystemPalette() {
  if (!(GetDeviceCaps(capture.SourceDc, RASTERCAPS) & RC_PALETTE)) return;
  std::vector<char> storage(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
  auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = 256;
  GetSystemPaletteEntries(capture.SourceDc, 0, 256, logical->palPalEntry);
  capture.Palette = CreatePalette(logical);
  if (!capture.Palette) return;
  capture.OldPalette = SelectPalette(capture.MemoryDc, capture.Palette, FALSE);
  RealizePalette(capture.MemoryDc);
}

void FrameFocused(HWND focused, POINT origin) {
  RECT r;
  if (!focused || !IsWindow(focused) || !GetWindowRect(focused, &r)) return;
  OffsetRect(&r, -origin.x, -origin.y);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FrameRect(capture.MemoryDc, &r, red);
  InflateRect(&r, -1, -1);
  FrameRect(capture.MemoryDc, &r, red);
  DeleteObject(red);
}

// The pointer as drawn into the capture: where it is, its shape and hot spot.
struct TPointerShot {
  bool Showing = false;
  POINT Position{0, 0};
  HCURSOR Cursor = nullptr;
  POINT HotSpot{0, 0};
};

void ReadPointer(TPointerShot& shot) {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  if (!GetCursorInfo(&cursor) || !cursor.hCursor || !(cursor.flags & CURSOR_SHOWING)) return;
  ICONINFO icon{};
  if (!GetIconInfo(cursor.hCursor, &icon)) return;
  if (icon.hbmMask) DeleteObject(icon.hbmMask);
  if (icon.hbmColor) DeleteObject(icon.hbmColor);
  shot.Position = cursor.ptScreenPos;
  shot.Cursor = cursor.hCursor;
  shot.HotSpot = {static_cast<LONG>(icon.xHotspot), static_cast<LONG>(icon.yHotspot)};
  shot.Showing = true;
}

// Reads the pointer on a thread of its own while the screen is copied: under Wine a
// thread's first question about the pointer opens that thread's own connection to
// the display server (15-20 ms), which then overlaps the copy. The thread signals
// before it ends, so its connection's closing is not waited for.
class TPointerReader {
 public:
  explicit TPointerReader(bool wanted) {
    if (!wanted) return;
    done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The system's own routine: the program's thread hooks would list the reader.
    using TCreate = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
    static const auto create = reinterpret_cast<TCreate>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateThread")));
    HANDLE thread = done_ && create ? create(nullptr, 0, &Run, this, 0, nullptr)
                                    : nullptr;
    if (thread) {
      CloseHandle(thread);
      started_ = true;
    }
  }
  ~TPointerReader() {
    if (started_) WaitForSingleObject(done_, INFINITE);
    if (done_) CloseHandle(done_);
  }
  TPointerReader(const TPointerReader&) = delete;
  TPointerReader& operator=(const TPointerReader&) = delete;

  // The pointer, read here when no thread could read it.
  const TPointerShot& Shot() {
    if (started_) {
      WaitForSingleObject(done_, INFINITE);
      started_ = false;
    } else if (!read_) {
      ReadPointer(shot_);
    }
    read_ = true;
    return shot_;
  }

 private:
  static DWORD WINAPI Run(LPVOID self) {
    auto* reader = static_cast<TPointerReader*>(self);
    ReadPointer(reader->shot_);
    SetEvent(reader->done_);
    return 0;
  }

  HANDLE done_ = nullptr;
  bool started_ = false;
  bool read_ = false;
  TPointerShot shot_;
};

void DrawCursor(POINT origin, const TPointerShot& shot) {
  if (!shot.Showing) return;
  DrawIconEx(capture.MemoryDc, shot.Position.x - shot.HotSpot.x - origin.x, shot.Position.y - shot.HotSpot.y - origin.y,
             shot.Cursor, 32, 32, 0, nullptr, DI_NORMAL);
}

}  // namespace

bool CaptureScreen(const TScreenshotRequest& request) {
  ReleaseCapture();
  // 1. The source and the area.
  RECT area{};
  POINT from{0, 0};     // where the copy starts in the source DC
  POINT origin{0, 0};   // the area's top-left corner on the screen
  if (request.ForegroundWindowOnly) {
    capture.Source = GetForegroundWindow();
    if (!capture.Source) capture.Source = GetDesktopWindow();
    GetWindowRect(capture.Source, &area);
  } else {
    capture.Source = GetDesktopWindow();
    if (!MonitorOf(request.MainWindow, area)) GetWindowRect(capture.Source, &area);
    from = {area.left, area.top};
  }
  origin = {area.left, area.top};
  capture.SourceDc = GetWindowDC(capture.Source);
  if (!capture.SourceDc) {
    ReleaseCapture();
    return false;
  }
  // 2.
  capture.Width = std::max<int>(1, area.right - area.left);
  capture.Height = std::max<int>(1, area.bottom - area.top);
  capture.RowStride = ((capture.Width * 8 + 31) & ~31) / 8;
  capture.MemoryDc = CreateCompatibleDC(capture.SourceDc);
  // On a 32-bit screen the capture is a 32-bit section whose rows are read in place
  // when saved, the same pixels as reading them out of a device bitmap, without
  // another copy of the screen. Other screens keep the device's own format.
  if (GetDeviceCaps(capture.SourceDc, BITSPIXEL) == 32 && !(GetDeviceCaps(capture.SourceDc, RASTERCAPS) & RC_PALETTE)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.Width;
    info.bmiHeader.biHeight = -capture.Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    capture.Bitmap = CreateDIBSection(capture.SourceDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (capture.Bitmap) capture.Bits = static_cast<const uint32_t*>(bits);
  }
  if (!capture.Bitmap) capture.Bitmap = CreateCompatibleBitmap(capture.SourceDc, capture.Width, capture.Height);
  if (!capture.MemoryDc || !capture.Bitmap) {
    ReleaseCapture();
    return false;
  }
  capture.OldBitmap = SelectObject(capture.MemoryDc, capture.Bitmap);
  // 3.
  SelectSystemPalette();
  // 4.
  TPointerReader pointer(request.WithCursor);
  if (!BitBlt(capture.MemoryDc, 0, 0, capture.Width, capture.Height, capture.SourceDc, from.x, from.y,
              SRCCOPY)) {
    ReleaseCapture();
    return false;
  }
  // 5. and 6.
  FrameFocused(request.Focused, origin);
  if (request.WithCursor) DrawCursor(origin, pointer.Shot());
  return true;
}

TPixelBuffer CapturedPixels() {
  if (!capture.Bitmap) return {};
  TPixelBuffer pixels(capture.Width, capture.Height);
  if (capture.Bits) {
    GdiFlush();  // drawing into the section may still be queued
    const size_t count = pixels.Pixels.size();
    for (size_t i = 0; i < count; ++i) pixels.Pixels[i] = capture.Bits[i] & 0xFFFFFF;
    return pixels;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = capture.Width;
  info.bmiHeader.biHeight = -capture.Height;  // top-down, as the buffer
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  // The bitmap must not be selected into a DC while its bits are read.
  SelectObject(capture.MemoryDc, capture.OldBitmap);
  int rows = GetDIBits(capture.MemoryDc, capture.Bitmap, 0, capture.Height, pixels.Pixels.data(), &info,
                       DIB_RGB_COLORS);
  SelectObject(capture.MemoryDc, capture.Bitmap);
  if (rows != capture.Height) return {};
  for (uint32_t& p : pixels.Pixels) p &= 0xFFFFFF;
  return pixels;
}

bool SaveScreenshotPng(const std::string& path) {
  TPixelBuffer pixels = CapturedPixels();
  if (pixels.Empty()) return false;
  return SavePalettePng(pixels, path);
}

void ReleaseCapture() {
  if (capture.MemoryDc) {
    if (capture.OldBitmap) SelectObject(capture.MemoryDc, capture.OldBitmap);
    if (capture.OldPalette) SelectPalette(capture.MemoryDc, capture.OldPalette, FALSE);
    DeleteDC(capture.MemoryDc);
  }
  if (capture.Bitmap) DeleteObject(capture.Bitmap);
  if (capture.Palette) DeleteObject(capture.Palette);
  if (capture.SourceDc) ReleaseDC(capture.Source, capture.SourceDc);
  capture = TCaptureState();
}

}  // namespace exclog
