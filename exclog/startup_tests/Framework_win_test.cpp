// The class library's exception handlers, patched by the logger's start: in a child
// (this program started again) with the Forms unit running.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "classlib/Forms_win.h"
#include "classlib/SysUtils.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/capture/EFrameworkHandlers_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/startup_tests/StartupShared_win.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

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
  // Whether every box of this process is closed within `ms`.
  bool NoBoxLeft(DWORD ms) {
    for (DWORD start = GetTickCount();; Sleep(10)) {
      bool found = false;
      EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&found));
      if (!found) return true;
      if (GetTickCount() - start > ms) return false;
    }
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
  static bool BoxOfOurs(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char kind[32] = {};
    GetClassNameA(window, kind, sizeof kind);
    return process == GetCurrentProcessId() && std::strcmp(kind, "#32770") == 0 && IsWindowVisible(window);
  }
  static BOOL CALLBACK CloseBox(HWND window, LPARAM) {
    if (!BoxOfOurs(window)) return TRUE;
    std::string text;
    EnumChildWindows(window, &TakeText, reinterpret_cast<LPARAM>(&text));
    Say("box: " + text);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    // This box goes before the next is looked for.
    for (DWORD start = GetTickCount(); IsWindow(window) && GetTickCount() - start < 20000;) Sleep(10);
    return TRUE;
  }
  static BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    if (!BoxOfOurs(window)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
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

// Reports in `text` whose message is `message`.
size_t ReportsSaying(const std::string& text, const std::string& message) {
  size_t n = 0;
  for (size_t at = text.find("  2.6 "); at != std::string::npos; at = text.find("  2.6 ", at + 1))
    if (ReportField(text, "2.6", at) == message) ++n;
  return n;
}

__attribute__((noinline)) void ThrowForHandledReport(const char* message) { throw EConvertError(message); }

}  // namespace

// Catches that end normally, by `throw;` and by a new throw; with `reportHandled`
// the options ask for a report of every exception a catch handles.
int HandledChild(bool reportHandled) {
  StartUnitsLikeHost();
  exclog::ReportHandlerSeams().ShowDialog = &PrintReport;
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  if (reportHandled) options->SetCatchFlags(static_cast<uint16_t>(options->CatchFlags() | 0x100));
  try {
    ThrowForHandledReport("ended normally");
  } catch (EConvertError&) {
  }
  try {
    try {
      throw EListError("rethrown");
    } catch (...) {
      throw;
    }
  } catch (EListError&) {
  }
  try {
    try {
      throw EListError("replaced");
    } catch (...) {
      throw EInvalidOperation("replacement");
    }
  } catch (EInvalidOperation&) {
  }
  Say("caught all");
  FinalizeUnits();
  return 0;
}

// A CGI program that fails with an unhandled exception, after writing a page of its
// own (which a web server would take for its headers) or before writing anything.
int CgiChild(bool writesFirst) {
  StartUnitsLikeHost();
  if (writesFirst) {
    const char page[] = "<p>half a page</p>";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), page, sizeof page - 1, &written, nullptr);
  }
  throw EConvertError("bad <request> & \"more\"");
}

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
    if (!closer.NoBoxLeft(20000)) Say("a box stayed open");
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
  EXPECT_EQ(out.find("a box stayed open"), std::string::npos) << out;
}

TEST(WebErrorPage, ACgiProgramThatFailsAnswersWithTheErrorPage) {
  SetEnvironmentVariableA("REQUEST_METHOD", "GET");
  TChildResult child = RunChild("cgi", 60000);
  SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
  const std::string& out = child.Output;
  EXPECT_EQ(child.ExitCode, 1u) << out;
  size_t headers = out.find("Status: 500 Error\r\nContent-Type: text/html\r\nContent-Length: ");
  ASSERT_NE(headers, std::string::npos) << out;
  size_t lengthAt = out.find("Length: ", headers) + 8;
  size_t length = std::strtoul(out.c_str() + lengthAt, nullptr, 10);
  size_t body = out.find("\r\n\r\n", lengthAt);
  ASSERT_NE(body, std::string::npos);
  body += 4;
  ASSERT_GE(out.size(), body + length) << out;
  std::string page = out.substr(body, length);
  // The length is the page's: it ends with the program's own last page.
  EXPECT_EQ(page.substr(page.size() - 18), "<p>half a page</p>") << page;
  const std::string message = "bad &lt;request&gt; &amp; &quot;more&quot;.";
  EXPECT_NE(page.find(message), std::string::npos) << page;
  EXPECT_EQ(page.find(message), page.rfind(message));
  EXPECT_NE(page.find("<title>Error occurred</title>"), std::string::npos) << page;
  size_t comment = page.find("<!-- QuelbaLog ID: ");
  ASSERT_NE(comment, std::string::npos);
  EXPECT_EQ(page.find(" -->", comment), comment + 19 + 8) << page;
  // A real HTML reader takes the page.
  std::string file = velmora::test::TempPath("cgi_page.html");
  {
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(page.data(), 1, page.size(), f);
    std::fclose(f);
  }
  auto lint = velmora::test::RunHostCommand("xmllint --html --noout '" + velmora::test::UnixPath(file) +
                                            "' 2>&1; echo status $?");
  ASSERT_TRUE(lint.has_value());
  EXPECT_NE(lint->find("status 0"), std::string::npos) << *lint;
  std::remove(file.c_str());
}

TEST(FrameworkHandlers, CatchesRunToTheirCloseGiveHandledReportsOnlyWhenAsked) {
  TChildResult on = RunChild("handled-on", 60000);
  ASSERT_EQ(on.ExitCode, 0u) << on.Output;
  EXPECT_NE(on.Output.find("caught all"), std::string::npos) << on.Output;
  EXPECT_EQ(ReportsSaying(on.Output, "ended normally."), 1u) << on.Output;
  // Left by `throw;`, the inner catch reports nothing; the outer one, ending
  // normally, reports it once.
  EXPECT_EQ(ReportsSaying(on.Output, "rethrown."), 1u) << on.Output;
  // Left by a new throw: only the new exception, where its catch ends.
  EXPECT_EQ(ReportsSaying(on.Output, "replaced."), 0u) << on.Output;
  EXPECT_EQ(ReportsSaying(on.Output, "replacement."), 1u) << on.Output;
  // The handled report's stack is the throw's.
  size_t report = on.Output.find("ended normally.");
  EXPECT_NE(on.Output.find("ThrowForHandledReport(", report), std::string::npos) << on.Output;

  TChildResult off = RunChild("handled-off", 60000);
  ASSERT_EQ(off.ExitCode, 0u) << off.Output;
  EXPECT_NE(off.Output.find("caught all"), std::string::npos);
  EXPECT_EQ(off.Output.find("  2.6 "), std::string::npos) << off.Output;
}

}  // namespace

}  // namespace startup_test
