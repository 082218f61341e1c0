// What a raise hands over to its report: the exception-frame test's result (a raise
// inside a handler passes every filter), the raising thread's stack top and frame
// word, its real call stack (judged by addr2line), the throw site looked up before
// its return address, and the type, message and time the report reads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/capture/ERaiseRoutes_win.h"
#include "exclog/report/ESysInfo_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/startup_tests/StartupShared_win.h"
#include "tests/support/Addr2Line_win.h"

namespace startup_test {
namespace {

struct TEntry {
  uint32_t Offset = 0;  // from the program's base
  std::string Routine;
  uint32_t Line = 0;
};

// What the report job held when its dialog would show.
struct TJobSeen {
  int Reports = 0;
  int CheckResult = -1;
  uintptr_t StackTop = 0, FrameWord = 0;
  bool HasContext = false;
  int DialogKind = -1;
  uint8_t RestartChoice = 0;
  std::vector<TEntry> Stack;  // the raising thread's entries in this program
  std::string Type, Message;
  TDateTime Time = 0;
};
TJobSeen jobSeen;

exclog::TDialogAnswer RecordingDialog(const exclog::TReportJob& job, const std::string&) {
  TJobSeen& s = jobSeen;
  ++s.Reports;
  s.CheckResult = job.CheckResult;
  s.StackTop = job.StackTop;
  s.FrameWord = job.FrameWord;
  s.HasContext = job.Context != nullptr;
  s.DialogKind = job.DialogKind;
  s.RestartChoice = job.RestartChoice;
  uintptr_t program = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  for (int i = 0; job.Stacks && i < job.Stacks->Count(); ++i) {
    const exclog::TQuelbaLocation* e = job.Stacks->Get(i);
    if (e->FrameValue != job.RaisingThreadId) break;  // the listed threads follow
    if (e->Kind >= 2 && e->Module && e->Module->Handle == program)
      s.Stack.push_back({e->Address - static_cast<uint32_t>(program), e->RoutineName, e->Kind == 4 ? e->Line : 0});
  }
  s.Type = exclog::LastExceptionType();
  s.Message = exclog::LastExceptionMessage();
  s.Time = exclog::ExceptionTime();
  return exclog::TDialogAnswer::Close;
}

class HandOver : public testing::Test {
 protected:
  void SetUp() override {
    jobSeen = TJobSeen{};
    exclog::ReportHandlerSeams().ShowDialog = &RecordingDialog;
  }
  void TearDown() override {
    exclog::ReportHandlerSeams() = exclog::TReportHandlerSeams{};
    exclog::SetReportFlags(0);
    ProgramOptions().Filters().Clear();
  }
  static exclog::TQuelbaModuleOptions& ProgramOptions() {
    return *exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)))->Options;
  }
  static DWORD RunThread(LPTHREAD_START_ROUTINE start, bool hooked = true) {
    HANDLE thread = hooked ? CreateThread(nullptr, 0, start, nullptr, 0, nullptr)
                           : exclog::KernelOriginals().CreateThread(nullptr, 0, start, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
  }
  static std::vector<velmora::test::TSourceLine> ProgramAddr2Line(const std::vector<uint32_t>& offsets) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return velmora::test::Addr2Line(path, offsets);
  }
  // Our entries against addr2line's routine and line at the same addresses.
  static void ExpectAddr2LineAgrees(const std::vector<TEntry>& entries, size_t count) {
    ASSERT_GE(entries.size(), count);
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i < count; ++i) offsets.push_back(entries[i].Offset);
    std::vector<velmora::test::TSourceLine> theirs = ProgramAddr2Line(offsets);
    ASSERT_EQ(theirs.size(), count);
    for (size_t i = 0; i < count; ++i) {
      EXPECT_TRUE(velmora::test::SameRoutine(entries[i].Routine, theirs[i].Routine))
          << i << ": " << entries[i].Routine << " vs " << theirs[i].Routine;
      EXPECT_EQ(entries[i].Line, theirs[i].Line) << i << ": " << entries[i].Routine;
    }
  }
};

// --- a filter and an exception raised inside a handler --------------------------

EConvertError* raisedObject = nullptr;
uintptr_t raisedAt = 0;

DWORD WINAPI RaiseNativeInThread(LPVOID) {
  ULONG_PTR arguments[7] = {raisedAt, reinterpret_cast<ULONG_PTR>(static_cast<TObject*>(raisedObject)), 1, 2, 3, 4, 5};
  RaiseException(exclog::NativeExceptionCode, 1, 7, arguments);
  return 0;
}

TEST_F(HandOver, FilterIsSkippedForAnExceptionRaisedInsideAHandler) {
  exclog::TQuelbaExceptionFilter ignore;  // handler kind 0: no report
  ignore.ClassNameText = "EConvertError";
  ignore.Mode2 = 0;
  ProgramOptions().Filters().Add(ignore);

  // Raised in the thread's body: the thread's guard catches it, the filter applies.
  EConvertError first("filtered");
  raisedObject = &first;
  raisedAt = reinterpret_cast<uintptr_t>(&RaiseNativeInThread);
  int handled = exclog::MainHandlerCount();
  RunThread(&RaiseNativeInThread);
  EXPECT_EQ(exclog::MainHandlerCount(), handled + 1);
  EXPECT_EQ(jobSeen.Reports, 0);

  // Raised at the guard's own handler code: inside a handler, reported all the same.
  EConvertError second("inside a handler");
  raisedObject = &second;
  raisedAt = exclog::ThreadGuardHandlerAddress() + 8;
  RunThread(&RaiseNativeInThread);
  EXPECT_EQ(jobSeen.Reports, 1);
  EXPECT_EQ(jobSeen.CheckResult, 2);
  EXPECT_EQ(jobSeen.Type, "EConvertError");
  EXPECT_EQ(jobSeen.Message, "inside a handler.");
}

// --- a fault in a thread ------------------------------------------------------------

std::atomic<uintptr_t> faultFrame{0}, faultStackTop{0};

__attribute__((noinline)) void FaultingRoutine(volatile int* target) {
  faultFrame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  *target = 1;
}

__attribute__((noinline)) void CallsFaultingRoutine() {
  faultStackTop = reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
  FaultingRoutine(reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)));
  asm volatile("" ::: "memory");  // keeps the call a call
}

DWORD WINAPI FaultInThread(LPVOID) {
  CallsFaultingRoutine();
  return 0;
}

TEST_F(HandOver, FaultInThreadHandsOverItsStackAndTexts) {
  TDateTime before = exclog::LocalNow();
  RunThread(&FaultInThread);
  ASSERT_EQ(jobSeen.Reports, 1);
  EXPECT_TRUE(jobSeen.HasContext);
  EXPECT_EQ(jobSeen.StackTop, faultStackTop.load());
  EXPECT_EQ(jobSeen.FrameWord, faultFrame.load());
  ASSERT_GE(jobSeen.Stack.size(), 2u);
  EXPECT_EQ(jobSeen.Stack[0].Routine.rfind("FaultingRoutine", 0), 0u) << jobSeen.Stack[0].Routine;
  EXPECT_EQ(jobSeen.Stack[1].Routine.rfind("CallsFaultingRoutine", 0), 0u) << jobSeen.Stack[1].Routine;
  ExpectAddr2LineAgrees(jobSeen.Stack, 2);

  EXPECT_EQ(jobSeen.Type, "EAccessViolation");
  EXPECT_EQ(jobSeen.Message.rfind("Access violation at address ", 0), 0u) << jobSeen.Message;
  EXPECT_NE(jobSeen.Message.find("in module 'exclog_startup_tests.exe'. Write of address 00000010."),
            std::string::npos)
      << jobSeen.Message;
  EXPECT_GE(jobSeen.Time, before);
  EXPECT_LE(jobSeen.Time, exclog::LocalNow());
  // A console program shows the report as text; the terminate button restarts.
  EXPECT_EQ(jobSeen.DialogKind, 1);
  EXPECT_EQ(jobSeen.RestartChoice, 2);
}

// The overflowed thread hands its report to a fresh thread: the report still reads
// the overflowed thread's registers and stack.
DWORD WINAPI OverflowInThread(LPVOID) {
  faultStackTop = reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
  return static_cast<DWORD>(RecurseUntilOverflow(0));
}

TEST_F(HandOver, StackOverflowReportReadsTheOverflowedThread) {
  RunThread(&OverflowInThread);
  ASSERT_EQ(jobSeen.Reports, 1);
  EXPECT_TRUE(jobSeen.HasContext);
  EXPECT_EQ(jobSeen.StackTop, faultStackTop.load());
  ASSERT_FALSE(jobSeen.Stack.empty());
  EXPECT_EQ(jobSeen.Stack[0].Routine.rfind("RecurseUntilOverflow", 0), 0u) << jobSeen.Stack[0].Routine;
  EXPECT_EQ(jobSeen.Type, "EStackOverflow");
}

// The report thread copies the report and ends; the text stays on the clipboard.
TEST_F(HandOver, ReportCopiedToTheClipboardOutlivesTheReportThread) {
  exclog::ReportHandlerSeams().BuildReport = [](const exclog::TReportJob&) { return std::string("report on the clipboard"); };
  exclog::SetReportFlags(exclog::ReportCopyToClipboard);
  RunThread(&FaultInThread);
  ASSERT_EQ(jobSeen.Reports, 1);
  std::string text = "<not opened>";
  if (OpenClipboard(nullptr)) {
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* p = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    text = p ? p : "";
    if (p) GlobalUnlock(data);
    CloseClipboard();
  }
  EXPECT_EQ(text, "report on the clipboard");
}

// --- a throw whose call is followed by a destructor -----------------------------

volatile int destroyed = 0;
int throwLine = 0;
uintptr_t throwFrame = 0;

struct TCountsItsEnd {
  ~TCountsItsEnd() { destroyed = destroyed + 1; }
};

__attribute__((noinline)) void ThrowsPastALocal() {
  TCountsItsEnd local;
  throwFrame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  // Nothing to construct: the destructor's code follows the call at once.
  throwLine = __LINE__; throw 7;  // one line: the throw's
}

// Called through a pointer, so the compiler neither places the thread's start right
// behind the thrower's closing call (the stack holds the start's address, which a
// raw scan would take for that call's return address) nor drops its own return.
void (*volatile throwingRoutine)() = &ThrowsPastALocal;

DWORD WINAPI ThrowInThread(LPVOID) {
  // A fault that system code catches leaves its context in the thread's block.
  IsBadReadPtr(reinterpret_cast<void*>(static_cast<uintptr_t>(0x10)), 4);
  throwingRoutine();
  return 0;
}

TEST_F(HandOver, ThrowSiteIsLookedUpBeforeItsReturnAddress) {
  EXPECT_EQ(RunThread(&ThrowInThread, false), 1u);  // terminate ends the thread with 1
  ASSERT_EQ(jobSeen.Reports, 1);
  EXPECT_FALSE(jobSeen.HasContext);  // the caught fault's is not the throw's
  EXPECT_EQ(jobSeen.FrameWord, throwFrame);  // nothing unwound: read from the thrower's frame
  ASSERT_GE(jobSeen.Stack.size(), 2u);
  EXPECT_EQ(jobSeen.Stack[0].Routine.rfind("ThrowsPastALocal", 0), 0u) << jobSeen.Stack[0].Routine;
  EXPECT_EQ(jobSeen.Stack[0].Line, static_cast<uint32_t>(throwLine));
  EXPECT_EQ(jobSeen.Stack[1].Routine.rfind("ThrowInThread", 0), 0u) << jobSeen.Stack[1].Routine;
  ExpectAddr2LineAgrees(jobSeen.Stack, 2);
  // The return address itself lies in the destructor's code, on another line.
  std::vector<velmora::test::TSourceLine> bare = ProgramAddr2Line({jobSeen.Stack[0].Offset + 1});
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_NE(bare[0].Line, static_cast<uint32_t>(throwLine));
  EXPECT_EQ(jobSeen.Type, "int");
  EXPECT_EQ(jobSeen.Message, "Unknown error message.");
}

}  // namespace
}  // namespace startup_test
