// The class library's exception handlers, patched by the logger's start: in a child
// (this program started again) with the Forms unit running.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "classlib/Forms_win.h"
#include "classlib/SysUtils.h"
#include "exclog/capture/EFrameworkHandlers_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/startup_tests/StartupShared_win.h"

namespace startup_test {

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

exclog::TDialogAnswer PrintReport(const exclog::TReportJob&, const std::string& report) {
  Say(report);
  return exclog::TDialogAnswer::Close;
}

// The application's OnException handler: counts, and shows the exception again
// through ShowException with the logger switched on.
class TExceptionProbe : public TObject {
  VELMORA_CLASS(TExceptionProbe, TObject)

 public:
  int Calls = 0;
  void Handle(TObject*, Exception* error) {
    ++Calls;
    Say("inside handle-exception " + std::to_string(exclog::InsideHandleException()));
    exclog::SetLoggerEnabled(true);
    Application->ShowException(error);
  }
};

// Closes the class library's message boxes as they come, saying their text.
class TBoxCloser {
 public:
  TBoxCloser() : thread_([this] { Run(); }) {}
  ~TBoxCloser() {
    stop_ = true;
    thread_.join();
  }

 private:
  static BOOL CALLBACK TakeText(HWND child, LPARAM data) {
    char text[256] = {};
    char kind[32] = {};
    GetClassNameA(child, kind, sizeof kind);
    if (_stricmp(kind, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
      *reinterpret_cast<std::string*>(data) = text;
    return TRUE;
  }
  static BOOL CALLBACK CloseBox(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char kind[32] = {};
    GetClassNameA(window, kind, sizeof kind);
    if (process != GetCurrentProcessId() || std::strcmp(kind, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    std::string text;
    EnumChildWindows(window, &TakeText, reinterpret_cast<LPARAM>(&text));
    Say("box: " + text);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    Sleep(300);
    return TRUE;
  }
  void Run() {
    while (!stop_) {
      EnumWindows(&CloseBox, 0);
      Sleep(50);
    }
  }
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string CodeBytes(void* code) {
  char text[64] = {};
  auto* bytes = static_cast<const uint8_t*>(code);
  for (int i = 0; i < 8; ++i) std::snprintf(text + 3 * i, 4, "%02X ", bytes[i]);
  return text;
}

}  // namespace

int FrameworkChild() {
  RegisterFormsUnit();
  TApplicationHandlerAddresses handlers = ApplicationHandlerAddresses();
  std::string before = CodeBytes(handlers.HandleException) + CodeBytes(handlers.ShowException);
  StartUnitsLikeHost();
  exclog::ReportHandlerSeams().ShowDialog = &PrintReport;
  Say("patched " + std::to_string(exclog::FrameworkMethodsPatched()) + ", entries " +
      (CodeBytes(handlers.HandleException) + CodeBytes(handlers.ShowException) == before ? "unchanged" : "changed"));
  TExceptionProbe probe;
  Application->OnException = TExceptionEvent::Of<&TExceptionProbe::Handle>(&probe);
  {
    TBoxCloser closer;
    // Reported by the logger; the application's own handling stays out.
    try {
      throw EConvertError("caught by the loop");
    } catch (...) {
      Application->HandleException(Application);
    }
    Say("on-exception calls " + std::to_string(probe.Calls));
    {
      EInvalidOperation shown("shown directly");
      Application->ShowException(&shown);
    }
    // Logger off: the application handles it, and the show inside its handling is
    // never reported, even with the logger back on.
    exclog::SetLoggerEnabled(false);
    try {
      throw EConvertError("handled by the application");
    } catch (...) {
      Application->HandleException(Application);
    }
    Say("on-exception calls " + std::to_string(probe.Calls) + ", inside after " +
        std::to_string(exclog::InsideHandleException()));
    Sleep(500);  // the last box closed
  }
  Application->OnException.Clear();
  FinalizeUnits();
  Say(std::string("after the stop entries ") +
      (CodeBytes(handlers.HandleException) + CodeBytes(handlers.ShowException) == before ? "restored" : "changed"));
  return 0;
}

namespace {

TEST(FrameworkHandlers, TheLoopsExceptionsGoToTheLoggerAndTheApplicationOnlyWhenItSaysSo) {
  TChildResult child = RunChild("framework", 60000);
  ASSERT_EQ(child.ExitCode, 0u) << child.Output;
  const std::string& out = child.Output;
  EXPECT_NE(out.find("patched 2, entries changed"), std::string::npos) << out;
  EXPECT_EQ(ReportsOf(out, "EConvertError"), 1u) << out;
  EXPECT_EQ(ReportsOf(out, "EInvalidOperation"), 1u) << out;
  EXPECT_EQ(ReportsOf(out, ""), 0u);
  EXPECT_NE(out.find("caught by the loop"), std::string::npos);
  EXPECT_EQ(out.find("handled by the application."), out.find("box: handled by the application.") + 5) << out;
  // The first exception never reached the application; the second did, once, and
  // its show inside the handling was the application's own box, not a report.
  EXPECT_NE(out.find("on-exception calls 0"), std::string::npos) << out;
  EXPECT_NE(out.find("inside handle-exception -1"), std::string::npos) << out;
  EXPECT_NE(out.find("on-exception calls 1, inside after 0"), std::string::npos) << out;
  EXPECT_NE(out.find("after the stop entries restored"), std::string::npos) << out;
}

}  // namespace

}  // namespace startup_test
