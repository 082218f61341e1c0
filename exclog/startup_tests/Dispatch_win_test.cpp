// Exceptions from every route reach the report handler once, on a report thread,
// while the main window stays alive. The report handler is a stand-in that records
// where it ran and holds until the probes of the window are done.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/Threads.h"
#include "exclog/core/ECore_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/report/EPlatform_win.h"
#include "exclog/report/ELogManager_win.h"
#include "exclog/report/EReportFiles.h"
#include "exclog/report/EReportFiles_win.h"
#include "exclog/report/EReportText.h"
#include "exclog/capture/ERaiseRoutes_win.h"
#include "exclog/capture/EScreenshotSeams_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/startup_tests/StartupShared_win.h"
#include "tests/support/ParkedThread_win.h"

namespace startup_test {
namespace {

struct TSeen {
  std::string ClassName;
  DWORD RaisingThread = 0;
  DWORD HandlerThread = 0;
  bool OnExceptionThread = false;
  std::string ExceptMsg, MainModuleName, LineBreak;
};

std::string Variable(const char* name) {
  char value[1024] = {};
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return std::string(value, n < sizeof value ? n : 0);
}

std::mutex seenLock;
std::vector<TSeen> seen;
std::atomic<bool> holding{false};
std::atomic<bool> released{false};
std::atomic<int> paints{0};
std::atomic<int> keys{0};
HWND mainWindow = nullptr;
HWND paintedWindow = nullptr;  // the window whose paints are counted
int quitSeen = -1;

// Waits until `done` holds, at most 10 s; whether it holds.
template <class Done>
bool WithinTenSeconds(Done done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 10000) return done();
    Sleep(10);
  }
  return true;
}

// Holds the report until the probes release it (the probe always does, last).
exclog::TDialogAnswer HoldingDialog(const exclog::TReportJob& job, const std::string&) {
  TSeen s;
  s.ClassName = job.Exception.ClassName;
  s.RaisingThread = job.RaisingThreadId;
  s.HandlerThread = GetCurrentThreadId();
  exclog::TExceptionThread* thread = exclog::CurrentExceptionThread();
  s.ExceptMsg = Variable("_ExceptMsg");
  s.MainModuleName = Variable("_MainModuleName");
  s.LineBreak = Variable("_LineBreak");
  s.OnExceptionThread = thread && thread->ThreadID() == GetCurrentThreadId() &&
                        SafeClassName(thread) == "TExceptionThread";
  {
    std::lock_guard<std::mutex> lock(seenLock);
    seen.push_back(s);
  }
  exclog::SetDialogShowing(true);
  holding = true;
  while (!released) Sleep(10);
  holding = false;
  exclog::SetDialogShowing(false);
  return exclog::TDialogAnswer::Close;
}

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    if (window == paintedWindow) ++paints;
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
    return 0;
  }
  if (message == WM_KEYDOWN) ++keys;
  if (message == WM_COMMAND && LOWORD(wParam) == 100) {
    // A menu click whose handler throws; the window procedure hands the exception to
    // ExceptionManager as the application's exception event does.
    try {
      throw EConvertError("menu click failed");
    } catch (...) {
      exclog::ExceptionManager(exclog::CurrentCppException(0));
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

struct TProbeResult {
  bool Held = false;
  bool Answered = false;
  bool Repainted = false;
  int KeysBefore = 0, KeysAfter = 0;
  int DroppedBefore = 0, DroppedAfter = 0, Pumped = 0;
};

// Waits for the held report, then probes the main window and releases the report.
DWORD WINAPI Probe(LPVOID parameter) {
  auto* r = static_cast<TProbeResult*>(parameter);
  r->Held = WithinTenSeconds([] { return holding.load(); });
  DWORD_PTR answer = 0;
  r->Answered = SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer) != 0;
  int before = paints;
  InvalidateRect(paintedWindow, nullptr, TRUE);
  r->Repainted = WithinTenSeconds([&] { return paints > before; });
  r->KeysBefore = keys;
  r->DroppedBefore = exclog::PumpDroppedCount();
  PostMessageA(mainWindow, WM_KEYDOWN, 'A', 0);
  // The key is either dropped by the report's pump or reaches the window.
  WithinTenSeconds([&] { return exclog::PumpDroppedCount() != r->DroppedBefore || keys != r->KeysBefore; });
  r->KeysAfter = keys;
  r->DroppedAfter = exclog::PumpDroppedCount();
  r->Pumped = exclog::PumpedMessageCount();
  released = true;
  return 0;
}

class ReportRoutes : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "DispatchTestWindow";
    RegisterClassA(&wc);
    mainWindow = CreateWindowExA(0, "DispatchTestWindow", "dispatch", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 200, 150, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(mainWindow, nullptr);
    paintedWindow = mainWindow;
    seen.clear();
    holding = released = false;
    exclog::ReportHandlerSeams().ShowDialog = &HoldingDialog;
  }
  void TearDown() override {
    exclog::ReportHandlerSeams().ShowDialog = nullptr;
    DestroyWindow(mainWindow);
    mainWindow = paintedWindow = nullptr;
  }

  // Runs `trigger` on the main thread with the probes beside it; pumps until the
  // probe ends. Returns the probe's findings.
  TProbeResult RunWithProbe(void (*trigger)()) {
    TProbeResult result;
    quitSeen = -1;
    HANDLE probe = exclog::KernelOriginals().CreateThread(nullptr, 0, &Probe, &result, 0, nullptr);
    trigger();
    while (WaitForSingleObject(probe, 0) == WAIT_TIMEOUT) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quitSeen = static_cast<int>(message.wParam);
        DispatchMessageA(&message);
      }
      Sleep(5);
    }
    CloseHandle(probe);
    return result;
  }

  void ExpectOneReportOnExceptionThread(const std::string& className, DWORD raisingThread) {
    std::lock_guard<std::mutex> lock(seenLock);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ClassName, className);
    EXPECT_TRUE(seen[0].OnExceptionThread);
    EXPECT_NE(seen[0].HandlerThread, raisingThread);
    EXPECT_EQ(seen[0].RaisingThread, raisingThread);
  }
};

std::atomic<DWORD> raisingThread{0};
HANDLE raisingHandle = nullptr;

DWORD WINAPI WriteLowAddress(LPVOID) {
  raisingThread = GetCurrentThreadId();
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1;
  return 0;
}

DWORD WINAPI OverflowStack(LPVOID) {
  raisingThread = GetCurrentThreadId();
  return static_cast<DWORD>(RecurseUntilOverflow(0));
}

DWORD WINAPI ThrowUncaught(LPVOID) {
  raisingThread = GetCurrentThreadId();
  throw EListError("list index out of bounds");
}

DWORD ThreadExitCode() {
  WaitForSingleObject(raisingHandle, 20000);
  DWORD code = 0;
  GetExitCodeThread(raisingHandle, &code);
  CloseHandle(raisingHandle);
  return code;
}

TEST_F(ReportRoutes, AccessViolationInHookedThread) {
  TProbeResult probe = RunWithProbe([] { raisingHandle = CreateThread(nullptr, 0, &WriteLowAddress, nullptr, 0, nullptr); });
  EXPECT_EQ(ThreadExitCode(), 0xFFFFFFFFu);
  EXPECT_TRUE(probe.Held);
  EXPECT_TRUE(probe.Answered);
  EXPECT_TRUE(probe.Repainted);
  ExpectOneReportOnExceptionThread("EAccessViolation", raisingThread);
  std::lock_guard<std::mutex> lock(seenLock);
  EXPECT_EQ(seen[0].ExceptMsg.find("Access violation at address "), 0u) << seen[0].ExceptMsg;
  EXPECT_NE(seen[0].MainModuleName.find("exclog_startup_tests"), std::string::npos) << seen[0].MainModuleName;
  EXPECT_EQ(seen[0].LineBreak, "\r\n");
}

TEST_F(ReportRoutes, StackOverflowInHookedThreadIsHandedOver) {
  TProbeResult probe = RunWithProbe([] { raisingHandle = CreateThread(nullptr, 0, &OverflowStack, nullptr, 0, nullptr); });
  EXPECT_EQ(ThreadExitCode(), 0xFFFFFFFFu);
  EXPECT_TRUE(probe.Answered);
  ExpectOneReportOnExceptionThread("EStackOverflow", raisingThread);
}

TEST_F(ReportRoutes, UncaughtThrowInUnhookedThreadEndsItWithOne) {
  TProbeResult probe = RunWithProbe(
      [] { raisingHandle = exclog::KernelOriginals().CreateThread(nullptr, 0, &ThrowUncaught, nullptr, 0, nullptr); });
  EXPECT_EQ(ThreadExitCode(), 1u);
  EXPECT_TRUE(probe.Answered);
  ExpectOneReportOnExceptionThread("EListError", raisingThread);
}

TEST_F(ReportRoutes, MenuThrowOnMainThreadPumpsPaintsAndDropsKeys) {
  // Under Wine a paint is not delivered to the window whose own message handling is
  // raising (its update region is emptied without WM_PAINT): another window of the
  // thread shows the pump's paints.
  HWND other = CreateWindowExA(0, "DispatchTestWindow", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 220, 10, 200, 150,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  UpdateWindow(other);
  paintedWindow = other;
  TProbeResult probe = RunWithProbe([] { PostMessageA(mainWindow, WM_COMMAND, 100, 0); });
  DestroyWindow(other);
  EXPECT_TRUE(probe.Held);
  EXPECT_TRUE(probe.Answered);
  EXPECT_TRUE(probe.Repainted);
  EXPECT_EQ(probe.KeysAfter, probe.KeysBefore);  // dropped by the pump
  EXPECT_EQ(probe.DroppedAfter, probe.DroppedBefore + 1) << probe.Pumped;
  ExpectOneReportOnExceptionThread("EConvertError", GetCurrentThreadId());
}

// WM_QUIT taken off this thread's queue, by any loop.
std::atomic<int> quitsTaken{0};
LRESULT CALLBACK CountQuits(int code, WPARAM remove, LPARAM message) {
  if (code == HC_ACTION && remove == PM_REMOVE && reinterpret_cast<MSG*>(message)->message == WM_QUIT) ++quitsTaken;
  return CallNextHookEx(nullptr, code, remove, message);
}

TEST_F(ReportRoutes, QuitDuringReportIsPostedAgain) {
  // The quit waits behind the posted click, so the report's pump is the first to see it.
  quitsTaken = 0;
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &CountQuits, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  TProbeResult probe = RunWithProbe([] {
    PostMessageA(mainWindow, WM_COMMAND, 100, 0);
    PostQuitMessage(7);
  });
  EXPECT_TRUE(probe.Held);
  MSG message;
  for (int i = 0; i < 20 && quitSeen < 0; ++i) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
      if (message.message == WM_QUIT) quitSeen = static_cast<int>(message.wParam);
    Sleep(5);
  }
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(quitSeen, 7);
  EXPECT_EQ(quitsTaken, 2) << "taken by the report's pump, then again once posted anew";
}

// Another exception from the same throw site (another thread) is another report.
TEST(TerminateRoute, SameThrowSiteInTwoThreadsGivesTwoReports) {
  int before = exclog::MainHandlerCount();
  for (int i = 0; i < 2; ++i) {
    raisingHandle = exclog::KernelOriginals().CreateThread(nullptr, 0, &ThrowUncaught, nullptr, 0, nullptr);
    EXPECT_EQ(ThreadExitCode(), 1u);
  }
  EXPECT_EQ(exclog::MainHandlerCount(), before + 2);
}

// --- edge cases -----------------------------------------------------------------

struct TSehFrame {
  TSehFrame* Next;
  void* Handler;
};

thread_local void* landing[5];

extern "C" EXCEPTION_DISPOSITION __cdecl LandingHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  record->ExceptionFlags |= EXCEPTION_UNWINDING;
  RtlUnwind(frame, nullptr, record, nullptr);  // through the import: the unwind hook sees it
  __builtin_longjmp(landing, 1);
}

// Runs `routine` under an exception frame of its own; true when an exception ended it.
__attribute__((noinline)) bool Caught(void (*routine)()) {
  volatile TSehFrame frame;
  TSehFrame* previous;
  asm volatile("movl %%fs:0, %0" : "=r"(previous));
  frame.Next = previous;
  frame.Handler = reinterpret_cast<void*>(&LandingHandler);
  bool caught = false;
  if (__builtin_setjmp(landing) == 0) {
    asm volatile("movl %0, %%fs:0" : : "r"(&frame) : "memory");
    routine();
  } else {
    caught = true;
  }
  asm volatile("movl %0, %%fs:0" : : "r"(previous) : "memory");
  return caught;
}

Exception* raised = nullptr;

void RaiseNative() {
  ULONG_PTR arguments[7] = {reinterpret_cast<ULONG_PTR>(&RaiseNative), reinterpret_cast<ULONG_PTR>(static_cast<TObject*>(raised)),
                            1, 2, 3, 4, 5};
  RaiseException(exclog::NativeExceptionCode, 1, 7, arguments);
}

TEST(RaiseRoutes, NativeRaiseIsReportedOnceAndKeepsLastError) {
  EConvertError error("native raise");
  raised = &error;
  int before = exclog::MainHandlerCount();
  int raises = exclog::HookCallCount("RaiseException");
  SetLastError(4321);
  EXPECT_TRUE(Caught(&RaiseNative));
  EXPECT_EQ(GetLastError(), 4321u);
  EXPECT_EQ(exclog::HookCallCount("RaiseException"), raises + 1);
  EXPECT_EQ(exclog::MainHandlerCount(), before + 1);
  EXPECT_EQ(exclog::LastExceptionObject(), static_cast<const void*>(static_cast<TObject*>(&error)));
}

TEST(RaiseRoutes, AbortGivesNoReportAndNoLockTraffic) {
  EAbort abort("quiet");
  raised = &abort;
  int dispatches = exclog::DispatchCount();
  EXPECT_TRUE(Caught(&RaiseNative));
  EXPECT_EQ(exclog::DispatchCount(), dispatches);
}

void WriteLow() { *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1; }

TEST(RaiseRoutes, UnwindOfFaultIsObservedAndRecorderKeepsTheFault) {
  int unwinds = exclog::HookCallCount("RtlUnwind");
  int recorded = exclog::RecordedExceptionCount();
  EXPECT_TRUE(Caught(&WriteLow));
  EXPECT_EQ(exclog::HookCallCount("RtlUnwind"), unwinds + 1);
  EXPECT_GE(exclog::RecordedExceptionCount(), recorded + 1);
  uintptr_t at = exclog::LastUnwoundFaultAddress();
  EXPECT_GE(at, reinterpret_cast<uintptr_t>(&WriteLow));
  EXPECT_LT(at, reinterpret_cast<uintptr_t>(&WriteLow) + 0x40);
  // Faults the safe copy takes are its own.
  recorded = exclog::RecordedExceptionCount();
  int value = 0;
  EXPECT_FALSE(exclog::SafeCopy(&value, reinterpret_cast<const void*>(0x10), sizeof value));
  EXPECT_EQ(exclog::RecordedExceptionCount(), recorded);
}

std::atomic<int> nestedResult{-1};

exclog::TDialogAnswer NestingDialog(const exclog::TReportJob&, const std::string&) {
  exclog::TDispatchRequest nested;
  nested.Exception.ClassName = "EInvalidOperation";
  nested.Exception.Address = 0x1234;
  nestedResult = exclog::Dispatch(nested);
  return exclog::TDialogAnswer::Close;
}

TEST(RaiseRoutes, ExceptionInsideOwnReportOnSameThreadGivesZero) {
  exclog::ReportHandlerSeams().ShowDialog = &NestingDialog;
  exclog::SetSameThreadReport(true);
  int before = exclog::MainHandlerCount();
  exclog::TDispatchRequest request;
  request.Exception.ClassName = "EConvertError";
  request.Exception.Address = 0x5678;
  EXPECT_EQ(exclog::Dispatch(request), 0);  // reported: the caller's framework stays out
  exclog::SetSameThreadReport(false);
  exclog::ReportHandlerSeams().ShowDialog = nullptr;
  EXPECT_EQ(nestedResult, 0);
  EXPECT_EQ(exclog::MainHandlerCount(), before + 1);
}

// --- main handler steps -----------------------------------------------------------

std::mutex stepLock;
std::vector<std::string> order;
std::vector<DWORD> eventThreads;
std::vector<uint32_t> stackThreads;
bool clearHandleIt = false;
exclog::TFilterMatch filterAnswer;
bool filterMatches = false;
std::string builtMessage;

void Note(const std::string& step) {
  std::lock_guard<std::mutex> lock(stepLock);
  order.push_back(step);
}

std::string StandInReport(const exclog::TReportJob& job) {
  builtMessage = job.Exception.Message;
  Note("report");
  return "report of " + job.Exception.ClassName;
}
bool StandInFilter(const exclog::TReportJob&, exclog::TFilterMatch& match) {
  match = filterAnswer;
  return filterMatches;
}
void StandInEvent(exclog::TReportEvent event, const exclog::TReportJob&, bool& flag) {
  {
    std::lock_guard<std::mutex> lock(stepLock);
    eventThreads.push_back(GetCurrentThreadId());
  }
  Note("event" + std::to_string(static_cast<int>(event)));
  if (event == exclog::TReportEvent::ExceptionNotify && clearHandleIt) flag = false;
}
void StandInStack(uint32_t threadId, const void* context, uintptr_t) {
  // A listed thread is stopped while its stack is read (the reporting thread itself is not).
  if (threadId == GetCurrentThreadId()) return;
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId);
  DWORD count = thread ? SuspendThread(thread) : 0;
  if (thread) {
    // Past the hook, so that only the product's own resume is counted.
    exclog::KernelOriginals().ResumeThread(thread);
    CloseHandle(thread);
  }
  std::lock_guard<std::mutex> lock(stepLock);
  if (count >= 1 && context) stackThreads.push_back(threadId);
}
int dialogScreenshot = -1;  // the stand-in dialog's screenshot box: -1 left as preset
exclog::TDialogAnswer StandInDialog(const exclog::TReportJob&, const std::string&) {
  Note("dialog");
  if (dialogScreenshot >= 0) exclog::DialogOutcome().ScreenshotChosen = static_cast<uint8_t>(dialogScreenshot);
  return exclog::TDialogAnswer::Close;
}

class MainHandler : public testing::Test {
 protected:
  void SetUp() override {
    order.clear();
    eventThreads.clear();
    stackThreads.clear();
    clearHandleIt = filterMatches = false;
    dialogScreenshot = -1;
    filterAnswer = exclog::TFilterMatch{};
    exclog::TReportHandlerSeams& seams = exclog::ReportHandlerSeams();
    seams.BuildReport = &StandInReport;
    seams.MatchFilter = &StandInFilter;
    seams.RunEvent = &StandInEvent;
    seams.CollectStack = &StandInStack;
    seams.ShowDialog = &StandInDialog;
  }
  void TearDown() override {
    exclog::ReportHandlerSeams() = exclog::TReportHandlerSeams{};
    exclog::SetReportFlags(0);
    exclog::SetSameThreadReport(false);
  }
  static uint8_t Report(const std::string& message, bool sameThread = true) {
    exclog::SetSameThreadReport(sameThread);
    exclog::TDispatchRequest request;
    request.Exception.ClassName = "EConvertError";
    request.Exception.Message = message;
    request.Exception.Address = reinterpret_cast<uintptr_t>(&Report);
    return exclog::Dispatch(request);
  }
};

TEST_F(MainHandler, StepsRunInOrderAndEventsRunOnTheWaitingThread) {
  Report("in order", false);
  std::vector<std::string> expected = {"report", "event0", "event1", "event2", "dialog", "event3"};
  EXPECT_EQ(order, expected);
  ASSERT_EQ(eventThreads.size(), 4u);
  for (DWORD id : eventThreads) EXPECT_EQ(id, GetCurrentThreadId());
}

TEST_F(MainHandler, ClearedHandleItEndsTheReportBeforeTheDialog) {
  clearHandleIt = true;
  int dialogs = exclog::ReportSeamCalls("ShowDialog");
  Report("vetoed");
  EXPECT_EQ(exclog::ReportSeamCalls("ShowDialog"), dialogs);
  EXPECT_EQ(order.back(), "event0");
}

TEST_F(MainHandler, FilterReplacesTheTextEndsOtherKindsAndRecordsItsActionOnce) {
  filterMatches = true;
  filterAnswer.Text = "filtered text";
  filterAnswer.TerminationAction = 1;
  exclog::ClearTerminationActionRecorded();
  Report("original");
  EXPECT_EQ(builtMessage, "filtered text");
  EXPECT_EQ(exclog::ReportOptions().TerminateAction(), 1);
  // Once per process: the next report's copy keeps the module's own action (2).
  Report("again");
  EXPECT_TRUE(exclog::TerminationActionRecorded());
  EXPECT_EQ(exclog::ReportOptions().TerminateAction(), 2);
  filterAnswer.HandlerKind = 1;
  order.clear();
  Report("other kind");
  EXPECT_TRUE(order.empty());
}

// The options say "terminate"; the filter's "restart" is what the dialog's button does.
TEST_F(MainHandler, FilterTerminationActionDecidesTheEnd) {
  static uint8_t restartChoice = 0;
  exclog::ReportHandlerSeams().ShowDialog = [](const exclog::TReportJob& job, const std::string&) {
    restartChoice = job.RestartChoice;
    return exclog::TDialogAnswer::Close;
  };
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  const uint8_t saved = options->TerminateAction();
  options->SetTerminateAction(1);
  filterMatches = true;
  filterAnswer.TerminationAction = 2;
  exclog::ClearTerminationActionRecorded();
  Report("restart asked");
  options->SetTerminateAction(saved);
  EXPECT_EQ(restartChoice, 2);
}

// "Custom Information" follows report field 47; "Request" stands whenever the options
// log the steps, even with no answer given.
TEST_F(MainHandler, CustomDataAndRequestSectionsFollowTheOptions) {
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  const auto fields = options->ReportFields();
  const auto logFlags = options->LogFlags();
  options->SetLogFlags(static_cast<uint8_t>(logFlags | 0x2));
  options->SetReproduceText("");
  auto count = [](const std::string& part) {
    size_t n = 0;
    const std::string& text = exclog::ReportPieces().LastReport;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  for (bool customField : {false, true}) {
    auto changed = fields;
    changed[5] = static_cast<uint8_t>(customField ? changed[5] | 0x80 : changed[5] & ~0x80);
    options->SetReportFields(changed);
    exclog::EventState().CustomData.Clear();
    exclog::EventState().CustomData.Add("Build=7");
    size_t custom = count("Custom Information"), request = count("Request");
    Report("sections");
    EXPECT_EQ(count("Custom Information"), custom + (customField ? 1 : 0)) << customField;
    EXPECT_GT(count("Request"), request) << customField;
  }
  options->SetReportFields(fields);
  options->SetLogFlags(logFlags);
  exclog::EventState().CustomData.Clear();
}

// With the screen-shot switch on, the shot taken before the dialog is saved with
// the text log as a PNG of the whole screen; with it off, nothing is written.
TEST_F(MainHandler, ScreenShotIsSavedOnlyWhenSwitchedOn) {
  exclog::InstallScreenshotSeams();
  exclog::TModuleRef program = exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  ASSERT_TRUE(program && program->Options);
  const uint16_t flags = program->Options->ProcessFlags();
  const std::string path = exclog::TempFolder() + exclog::ScreenshotFile;
  DeleteFileA(path.c_str());
  program->Options->SetProcessFlags(flags & ~0x10);
  Report("no shot");
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(exclog::ScreenshotTaken());
  program->Options->SetProcessFlags(flags | 0x10);
  Report("with shot");
  EXPECT_TRUE(exclog::ScreenshotTaken());  // the sending attaches it
  program->Options->SetProcessFlags(flags);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  unsigned char head[24] = {};
  DWORD got = 0;
  ReadFile(file, head, sizeof head, &got, nullptr);
  CloseHandle(file);
  DeleteFileA(path.c_str());
  ASSERT_EQ(got, sizeof head);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(head[16] << 24 | head[17] << 16 | head[18] << 8 | head[19], GetSystemMetrics(SM_CXSCREEN));
}

// Switched on, the dialog's unticked box decides: no shot written, and the one an
// earlier report left is gone, so nothing attaches it.
TEST_F(MainHandler, ScreenShotTheDialogUntickedIsNeitherSavedNorKept) {
  exclog::InstallScreenshotSeams();
  exclog::TModuleRef program = exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  ASSERT_TRUE(program && program->Options);
  const uint16_t flags = program->Options->ProcessFlags();
  const std::string path = exclog::TempFolder() + exclog::ScreenshotFile;
  program->Options->SetProcessFlags(flags | 0x10);
  Report("ticked");
  EXPECT_TRUE(exclog::ScreenshotTaken());
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  dialogScreenshot = 0;
  Report("unticked");
  program->Options->SetProcessFlags(flags);
  EXPECT_FALSE(exclog::ScreenshotTaken());
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(path.c_str());
}

// ProcessFlags bit 2: the report's copy becomes the whole log, and what is copied
// and sent is that log, the earlier entry with this report.
std::string sentReport, sentText;
exclog::TQuelbaModuleOptions& LogStepOptions() {
  static exclog::TQuelbaModuleOptions options;
  return options;
}
std::string PiecedReport(const exclog::TReportJob& job) {
  std::string text = "QuelbaLog 6.1.04\r\n\r\n" + job.Exception.Message + "\r\n-\r\n| row |";
  exclog::UpdateReportPieces(
      [](exclog::TReportPieces& p, const void* t) {
        p = exclog::TReportPieces{};
        p.LastReport = p.ReportCopy = p.SendingText = *static_cast<const std::string*>(t);
      },
      &text);
  return text;
}

TEST_F(MainHandler, WithTheLogAsTheReportsCopyTheWholeLogIsCopiedAndSent) {
  const std::string log = exclog::TempFolder() + "velmora-whole-log.qlf";
  ASSERT_TRUE(exclog::WriteFileText(log, "QuelbaLog 6.1.04\r\n\r\nearlier\r\n-\r\n| row |\r\n\r\n\r\n\r\n"));
  LogStepOptions().SetLogFolder(log);
  exclog::TModuleRef program = exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  ASSERT_TRUE(program && program->Options);
  const uint16_t flags = program->Options->ProcessFlags();
  const uint8_t mailMode = program->Options->MailMode(), ask = program->Options->AskBeforeSending();
  exclog::TReportHandlerSeams& seams = exclog::ReportHandlerSeams();
  seams.BuildReport = &PiecedReport;
  seams.SaveTextLog = [](const exclog::TReportJob&, const std::string& report) {
    exclog::SaveTextLog(LogStepOptions(), report, false);
  };
  seams.StartSending = [](const exclog::TReportJob&, const std::string& report, bool) {
    sentReport = report;
    sentText = exclog::ReportPieces().SendingText;
    return true;
  };
  program->Options->SetMailMode(2);
  program->Options->SetAskBeforeSending(0);
  for (uint16_t bit2 : {0, 0x4}) {
    program->Options->SetProcessFlags(static_cast<uint16_t>((flags & ~0x4) | bit2));
    LogStepOptions().SetProcessFlags(bit2);
    sentReport = sentText = "";
    Report(bit2 ? "now with the log" : "now alone");
    EXPECT_EQ(sentText, sentReport) << bit2;
    EXPECT_EQ(sentReport.find("earlier") != std::string::npos, bit2 != 0) << sentReport;
    EXPECT_NE(sentReport.find(bit2 ? "now with the log" : "now alone"), std::string::npos) << sentReport;
  }
  program->Options->SetProcessFlags(flags);
  program->Options->SetMailMode(mailMode);
  program->Options->SetAskBeforeSending(ask);
  DeleteFileA(log.c_str());
}

TEST_F(MainHandler, ListedThreadsAreStoppedForTheirStacksAndResumed) {
  velmora::test::TParking parking;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &velmora::test::ParkUntilReleased, &parking, 0, &id);
  ASSERT_EQ(WaitForSingleObject(parking.Parked, 10000), WAIT_OBJECT_0);
  exclog::SetReportFlags(exclog::ReportStacksOfRawThreads);
  int resumes = exclog::HookCallCount("ResumeThread");
  Report("with stacks");
  EXPECT_NE(std::find(stackThreads.begin(), stackThreads.end(), id), stackThreads.end());
  EXPECT_GT(exclog::HookCallCount("ResumeThread"), resumes);
  SetEvent(parking.Release);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);  // it runs on
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 7u);
  CloseHandle(thread);
}

TEST(StartUp, ProgramOptionsKnowTheirModuleAndTheWorkingStateExists) {
  exclog::TModuleRef program = exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  ASSERT_TRUE(program);
  ASSERT_NE(program->Options, nullptr);
  EXPECT_EQ(program->Options->ModuleHandle(), reinterpret_cast<exclog::TModuleHandle>(GetModuleHandleA(nullptr)));
  EXPECT_EQ(exclog::WorkingBufferBytes(), 102400u);
  EXPECT_TRUE(exclog::IsLoggerUnitFile("C:\\src\\exclog\\ExceptionLog_win.cpp"));
  EXPECT_FALSE(exclog::IsLoggerUnitFile("Velmora_win.cpp"));
  EXPECT_EQ(exclog::CurrentQuelbaLogOptions(), program->Options.get());

  // The module-data reader reaches the registered password handlers.
  exclog::TQuelbaLogger logger;
  logger.OnPasswordRequest = [](exclog::TQuelbaLogger*, const exclog::TQuelbaExceptionRecord&,
                                std::string& password) { password += "+handler"; };
  char buffer[32] = "key";
  ASSERT_TRUE(exclog::ModuleInfoSeams().AskPasswordHandlers);
  exclog::ModuleInfoSeams().AskPasswordHandlers(buffer, 8);
  EXPECT_STREQ(buffer, "key+han");
}

// A library's thread record: the list's copy borrows its block and handle, so
// neither an overwrite nor the removal frees or closes them.
TEST(StartUp, LibraryThreadRecordsBorrowTheirBlockAndHandle) {
  static int freed = 0;
  freed = 0;
  HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // stands in for the library's thread
  exclog::TQuelbaThreadInfo record;
  record.ThreadId = 0x7FFF0011;
  record.ThreadHandle = uint32_t(reinterpret_cast<uintptr_t>(handle));
  int block = 0;
  record.Attached = &block;
  record.FreeAttached = [](void*) { ++freed; };
  exclog::AddLibraryThreadRecord(record);
  ASSERT_TRUE(exclog::FindThreadRecord(record.ThreadId));

  record.Value2 = 4242;
  exclog::UpdateLibraryThreadRecord(record.ThreadHandle, record);
  EXPECT_EQ(exclog::FindThreadRecord(record.ThreadId)->ResumerId, 4242u);
  exclog::UpdateLibraryThreadRecord(record.ThreadHandle + 4000, record);  // unknown handle: nothing

  exclog::ForgetLibraryThread(0x7FFF0012);  // an unknown thread changes nothing
  EXPECT_TRUE(exclog::FindThreadRecord(record.ThreadId));
  exclog::ForgetLibraryThread(record.ThreadId);
  EXPECT_FALSE(exclog::FindThreadRecord(record.ThreadId));
  EXPECT_EQ(freed, 0);
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(handle, &flags));  // still open
  CloseHandle(handle);
}

// The exports as a library reaches them: by name, arguments in EAX, EDX, ECX.
TEST(StartUp, ExportedEventsRunTheHandlersAndHandBackTheirValues) {
  using TNotify = __attribute__((regparm(3))) uint8_t (*)(const exclog::TQuelbaExceptionRecord*, uint8_t*);
  using TPassword = __attribute__((regparm(3))) void (*)(char*, int);
  HMODULE self = GetModuleHandleA(nullptr);
  auto notify = reinterpret_cast<TNotify>(GetProcAddress(self, "QuelbaLog_ExceptionNotifyEvent"));
  auto password = reinterpret_cast<TPassword>(GetProcAddress(self, "QuelbaLog_PasswordRequestEvent"));
  ASSERT_TRUE(notify && password);

  exclog::TQuelbaLogger first, second;
  std::string order;
  first.OnExceptionNotify = [&](exclog::TQuelbaLogger*, const exclog::TQuelbaExceptionRecord& record, bool& flag) {
    EXPECT_STREQ(record.ExceptionMessage, "from a library");
    order += "1";
    flag = !flag;
  };
  second.OnExceptionNotify = [&](exclog::TQuelbaLogger*, const exclog::TQuelbaExceptionRecord&, bool& flag) {
    order += "2";
    flag = false;
  };
  exclog::TQuelbaExceptionRecord record;
  record.ExceptionMessage = "from a library";
  uint8_t handle = 1;
  EXPECT_EQ(notify(&record, &handle), 1);
  EXPECT_EQ(handle, 1);
  EXPECT_EQ(order, "21");

  second.OnPasswordRequest = [](exclog::TQuelbaLogger*, const exclog::TQuelbaExceptionRecord&,
                                std::string& text) { text = "abcdefgh"; };
  char buffer[8] = {'x', 0, '#', '#', '#', '#', '#', '#'};
  password(buffer, 4);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], '#');
}

}  // namespace
}  // namespace startup_test
