#pragma once
// The screen shot of a report: captured when the exception is reported, saved as
// a palette PNG when the report files are written. One capture at a time.
#include <windows.h>

#include <string>

#include "classlib/PixelBuffer.h"

namespace exclog {

struct TScreenshotRequest {
  // Only the foreground window (the desktop when there is none); otherwise the
  // monitor showing `MainWindow`, or the whole desktop when that is not known.
  bool ForegroundWindowOnly = false;
  HWND MainWindow = nullptr;
  HWND Focused = nullptr;  // framed in red, twice; null: no frame
  bool WithCursor = true;
};

// Replaces any earlier capture. False when nothing could be captured.
bool CaptureScreen(const TScreenshotRequest& request);
// The capture as pixels (empty when there is none).
TPixelBuffer CapturedPixels();
// Writes the capture as an 8-bit palette PNG. False, leaving no file, when there
// is no capture or writing fails.
bool SaveScreenshotPng(const std::string& path);
// Frees the capture's device contexts, bitmap and palette.
void ReleaseCapture();

}  // namespace exclog
