#include "exclog/capture/EScreenshotSeams_win.h"

#include <windows.h>

#include "exclog/capture/EDispatch_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/report/EPlatform_win.h"
#include "exclog/report/EReportFiles.h"
#include "exclog/report/EScreenshot_win.h"

namespace exclog {
namespace {

constexpr uint16_t ScreenshotAttached = 0x10;      // ProcessFlags bit 4
constexpr uint16_t ScreenshotForegroundOnly = 0x20;  // ProcessFlags bit 5

bool captured = false;

void TakeReportScreenshot(const TReportJob& job) {
  captured = false;
  SetScreenshotTaken(false);
  uint16_t flags = ReportOptions().ProcessFlags();
  // Without a dialog the options decide whether the shot goes out; the exception
  // dialog's box overrides this.
  DialogOutcome().ScreenshotChosen = (flags & ScreenshotAttached) ? 1 : 0;
  // The leak report runs after every window of the program closed: the screen
  // could show only other programs.
  if (!(flags & ScreenshotAttached) || LeakReportMode()) return;
  TScreenshotRequest request;
  request.ForegroundWindowOnly = (flags & ScreenshotForegroundOnly) != 0;
  request.MainWindow = FirstApplicationWindow(GetCurrentProcessId());
  // The control that had the focus on the raising thread when it raised.
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  if (job.RaisingThreadId && GetGUIThreadInfo(job.RaisingThreadId, &gui)) request.Focused = gui.hwndFocus;
  captured = CaptureScreen(request);
}

void SaveReportScreenshot(const TReportJob&) {
  std::string folder = TempFolder();
  bool wanted = captured && DialogOutcome().ScreenshotChosen;
  // The report's files attach the shot only when it was written. A shot the user
  // unticked is not written, and one an earlier report left is not kept beside
  // this report either.
  if (wanted && !folder.empty())
    SetScreenshotTaken(SaveScreenshotPng(folder + ScreenshotFile));
  else if (captured && !folder.empty())
    DeleteFileA((folder + ScreenshotFile).c_str());
  if (captured) ReleaseCapture();
  captured = false;
}

}  // namespace

void InstallScreenshotSeams() {
  ReportHandlerSeams().TakeScreenshot = &TakeReportScreenshot;
  ReportHandlerSeams().SaveScreenshot = &SaveReportScreenshot;
}

}  // namespace exclog
