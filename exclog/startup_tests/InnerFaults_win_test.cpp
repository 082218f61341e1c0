// Faults inside the logger's own path (an event handler, a thrown object's what(),
// a report step, a handler that ends its thread or stops the freeze watch): each
// case runs in a child, which must give its one report and end normally well
// before the deadline.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "classlib/Memory.h"
#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/core/ECore.h"
#include "exclog/core/EOptions.h"
#include "exclog/capture/EFreezeWatch_win.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/report/EInternalError_win.h"
#include "exclog/startup_tests/StartupShared_win.h"

namespace startup_test {

// Its what() faults: the logger reads it while the throw is on its way.
struct TFaultyWhat : std::exception {
  const char* what() const noexcept override { return *reinterpret_cast<const char* volatile*>(0x10); }
};

// Its type name passes the 64 characters the thread block keeps of a class name.
struct TAnExceptionWhoseTypeNameIsLongerThanTheSixtyFourCharactersKept : std::exception {};

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void Fault() { *reinterpret_cast<volatile int*>(0x10) = 1; }

DWORD WINAPI FaultingThread(LPVOID) {
  Fault();
  return 0;
}

DWORD WINAPI ThrowingThread(LPVOID) { throw TFaultyWhat(); }

int AnswerNo(HWND, const std::string& text, const std::string& caption, UINT) {
  Say("box " + caption + ": " + text.substr(0, text.find('\n')));
  return IDNO;
}

void FaultingStep(const exclog::TReportJob&, const std::string&) { Fault(); }

// Runs `start` on a thread made through the hooks and waits for it (bounded).
void RunThread(LPTHREAD_START_ROUTINE start) {
  HANDLE thread = CreateThread(nullptr, 0, start, nullptr, 0, nullptr);
  DWORD waited = WaitForSingleObject(thread, 20000);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  Say(waited == WAIT_OBJECT_0 ? "thread exit " + std::to_string(static_cast<int>(code)) : std::string("thread hangs"));
}

// Object blocks carry a header; one freed on a thread while it stops the freeze
// watch is filled with a pattern and kept, so a later use of the freed object reads
// the pattern instead of what happened to stay there.
constexpr uint32_t ObjectMark = 0x0B1EC7ED;
TMemoryManager heap;
thread_local bool poisonFrees = false;

void* MarkedObjectMem(size_t size) {
  auto* block = static_cast<uint32_t*>(heap.GetObjectMem(size + 16));
  if (!block) return nullptr;
  block[0] = ObjectMark;
  block[1] = static_cast<uint32_t>(size);
  return block + 4;
}

void PoisoningFreeMem(void* pointer) {
  auto* header = pointer ? static_cast<uint32_t*>(pointer) - 4 : nullptr;
  if (!header || header[0] != ObjectMark) return heap.FreeMem(pointer);
  if (poisonFrees) {
    std::memset(pointer, 0xFE, header[1]);
    return;
  }
  header[0] = 0;
  heap.FreeMem(header);
}

void PoisonFreedObjects() {
  GetMemoryManager(heap);
  TMemoryManager table = heap;
  table.GetObjectMem = &MarkedObjectMem;
  table.FreeMem = &PoisoningFreeMem;
  SetMemoryManager(table);
}

bool IsFreeze(const exclog::TQuelbaExceptionRecord& record) {
  return record.ExceptionClass && std::string(record.ExceptionClass) == "EFrozenApplication";
}

// A window of the main thread that stops answering while the main thread is busy.
void FreezeMainThreadTwice() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "InnerFaultWindow";
  RegisterClassA(&windowClass);
  CreateWindowExA(0, "InnerFaultWindow", "inner fault", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                  nullptr, GetModuleHandleA(nullptr), nullptr);
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  options->SetFreezeSeconds(2);
  options->SetFreezeWatch(1);
  for (int round = 0; round < 2; ++round) {
    // Answers until the watch runs, then stays busy until a freeze report came and
    // its handler stopped the watch (bounded).
    int reports = exclog::FreezeReportCount();
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000 &&
           (exclog::FreezeReportCount() == reports || exclog::FreezeWatchRunning())) {
      MSG message;
      if (GetTickCount() - start < 500)
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    Say(std::string("round ") + std::to_string(round) + ": watch " +
        (exclog::FreezeWatchRunning() ? "running" : "stopped"));
    options->SetFreezeWatch(1);  // started again from the main thread
  }
}

}  // namespace

int InnerFaultChild(const std::string& kase) {
  StartUnitsLikeHost();
  exclog::SetMessageBoxProvider(&AnswerNo);
  if (kase == "handler") {
    exclog::GlobalEvents().ExceptionNotify = [](const exclog::TQuelbaExceptionRecord&, bool&) { Fault(); };
    RunThread(&FaultingThread);
  } else if (kase == "what") {
    RunThread(&ThrowingThread);
  } else if (kase == "step") {
    exclog::ReportHandlerSeams().SaveTextLog = &FaultingStep;
    RunThread(&FaultingThread);
  } else if (kase == "exit") {
    // The handler ends the thread that waits for the report, inside the dispatch.
    exclog::GlobalEvents().ExceptionNotify = [](const exclog::TQuelbaExceptionRecord&, bool&) { ExitThread(7); };
    RunThread(&FaultingThread);
  } else if (kase == "freeze") {
    // The handler runs on the watchdog's own thread and switches the watch off.
    exclog::GlobalEvents().ExceptionNotify = [](const exclog::TQuelbaExceptionRecord& record, bool&) {
      if (!IsFreeze(record)) return;
      poisonFrees = true;
      exclog::CurrentQuelbaLogOptions()->SetFreezeWatch(0);
      poisonFrees = false;
    };
    PoisonFreedObjects();
    FreezeMainThreadTwice();
  } else if (kase == "long-name") {
    // Reported inside its catch, as a framework's handler does; the catch's end
    // must know it for the same exception and not report it again as handled.
    exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
    options->SetCatchFlags(static_cast<uint16_t>(options->CatchFlags() | 0x100));
    try {
      throw TAnExceptionWhoseTypeNameIsLongerThanTheSixtyFourCharactersKept();
    } catch (...) {
      exclog::ExceptionManager(exclog::CurrentCppException(1));
    }
  } else if (kase == "error-box") {
    Say(std::string("no error box ") + (NoErrorMessageBox() ? "on" : "off"));
  } else {
    return 98;
  }
  Say("went on");
  FinalizeUnits();
  Say("stopped");
  return 0;
}

namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The internal-error reporter writes its file beside the program.
void RemoveInternalErrorFile() {
  char self[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  DeleteFileA(exclog::ChangeFileExt(self, ".log").c_str());
}

// Runs the child; it must end on its own, with its last line, long before a wait of
// the old kind (two minutes per event call) could have passed.
TChildResult RunInner(const std::string& kase) {
  TChildResult child = RunChild("inner-" + kase, 30000);
  RemoveInternalErrorFile();
  EXPECT_EQ(child.ExitCode, 0u) << kase << "\n" << child.Output;
  EXPECT_NE(child.Output.find("\nwent on"), std::string::npos) << kase << "\n" << child.Output;
  EXPECT_NE(child.Output.find("\nstopped"), std::string::npos) << kase << "\n" << child.Output;
  return child;
}

TEST(InnerFaults, AFaultInAnEventHandlerOrAReportStepIsNotedOnceAndTheReportGoesOn) {
  for (const char* kase : {"handler", "step"}) {
    TChildResult child = RunInner(kase);
    EXPECT_EQ(ReportsOf(child.Output, "EAccessViolation"), 1u) << kase << "\n" << child.Output;
    EXPECT_NE(child.Output.find("thread exit -1"), std::string::npos) << kase << "\n" << child.Output;
    std::string noted = kase == std::string("handler") ? "InternalError: Event handler: EAccessViolation"
                                                       : "InternalError: Report handler (step 14): EAccessViolation";
    EXPECT_EQ(Count(child.Output, noted), 1u) << kase << "\n" << child.Output;
    EXPECT_EQ(Count(child.Output, "InternalError: "), 1u) << kase << "\n" << child.Output;
  }
}

TEST(InnerFaults, AFaultingWhatLeavesTheThrownObjectsOwnReport) {
  TChildResult child = RunInner("what");
  EXPECT_EQ(ReportsOf(child.Output, "startup_test::TFaultyWhat"), 1u) << child.Output;
  EXPECT_EQ(ReportsOf(child.Output, "EAccessViolation"), 0u) << child.Output;
  EXPECT_EQ(child.Output.find("InternalError: "), std::string::npos) << child.Output;
}

// The report thread stops waiting for the gone thread, and the stop does not wait
// for the dispatch lock it left held.
TEST(InnerFaults, AHandlerEndingTheWaitingThreadNeitherStallsTheReportNorTheExit) {
  TChildResult child = RunInner("exit");
  EXPECT_EQ(ReportsOf(child.Output, "EAccessViolation"), 1u) << child.Output;
  EXPECT_NE(child.Output.find("thread exit 7"), std::string::npos) << child.Output;
  EXPECT_EQ(Count(child.Output, "InternalError: ExceptionLog.Done: "), 1u) << child.Output;
}

TEST(InnerFaults, AnExceptionWithALongClassNameIsReportedOnceWhenHandledReportsAreOn) {
  TChildResult child = RunInner("long-name");
  EXPECT_EQ(ReportsOf(child.Output, "startup_test::TAnExceptionWhoseTypeNameIsLongerThanTheSixtyFourCharactersKept"), 1u)
      << child.Output;
}

// A console program's own errors never wait for a box nobody can answer; a CGI
// program's console is the web server's, which the library leaves alone.
TEST(InnerFaults, AConsoleProgramThatIsNoCgiProgramGetsTheNoErrorBoxSetting) {
  EXPECT_NE(RunInner("error-box").Output.find("no error box on"), std::string::npos);
  SetEnvironmentVariableA("REQUEST_METHOD", "GET");
  TChildResult cgi = RunChild("inner-error-box", 30000);
  SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
  EXPECT_NE(cgi.Output.find("no error box off"), std::string::npos) << cgi.Output;
}

TEST(InnerFaults, AHandlerStoppingTheFreezeWatchOnItsOwnThreadEndsItSafely) {
  TChildResult child = RunInner("freeze");
  EXPECT_EQ(ReportsOf(child.Output, "EFrozenApplication"), 2u) << child.Output;
  EXPECT_NE(child.Output.find("round 0: watch stopped"), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("round 1: watch stopped"), std::string::npos) << child.Output;
  EXPECT_EQ(child.Output.find("InternalError: "), std::string::npos) << child.Output;
}

}  // namespace

}  // namespace startup_test
