// In-process checks of the started logger: the environment of StartupMain_win.cpp
// started it through the unit table before these run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "classlib/Forms_win.h"
#include "classlib/SysUtils.h"
#include "classlib/Threads.h"
#include "exclog/hooks/EHook.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/report/EReportText_win.h"
#include "exclog/startup_tests/StartupShared_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/ImportSlots_win.h"
#include "tests/support/TestPaths.h"

namespace startup_test {

// The logger's units registered themselves before main, as in the host program.
void StartUnitsLikeHost() { InitUnits(); }

namespace {

std::string OwnUnixPath() {
  char self[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  if (path.size() > 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') path = path.substr(2);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The kernel32 routines objdump lists among this program's imports.
std::set<std::string> ObjdumpKernelImports() {
  std::set<std::string> names;
  auto text = velmora::test::RunHostCommand("i686-w64-mingw32-objdump -p '" + OwnUnixPath() + "'");
  if (!text) return names;
  std::istringstream lines(*text);
  std::string line;
  bool inKernel = false;
  while (std::getline(lines, line)) {
    if (line.find("DLL Name:") != std::string::npos) {
      std::string lower = line;
      std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
      inKernel = lower.find("kernel32.dll") != std::string::npos;
      continue;
    }
    if (!inKernel) continue;
    std::istringstream fields(line);
    std::string vma, hint, name;
    if (fields >> vma >> hint >> name) names.insert(name);
  }
  return names;
}

template <class F>
int CallCountDelta(const char* routine, F&& action) {
  int before = exclog::HookCallCount(routine);
  action();
  return exclog::HookCallCount(routine) - before;
}

}  // namespace

TEST(Startup, StateOfTheInstalledLogger) {
  // Active because this program carries logger data (given at build time).
  EXPECT_TRUE(exclog::HasCurrentModuleData(GetModuleHandleA(nullptr)));
  EXPECT_TRUE(exclog::LoggerActive());
  EXPECT_TRUE(exclog::LoggerEnabled());
  EXPECT_TRUE(exclog::HooksInstalled());
  EXPECT_FALSE(exclog::LibraryMode());
  EXPECT_FALSE(exclog::SameThreadReport());
  EXPECT_FALSE(exclog::UnitsStarting());

  MEMORY_BASIC_INFORMATION info{};
  ASSERT_NE(exclog::AddressSpaceReserve(), nullptr);
  ASSERT_TRUE(VirtualQuery(exclog::AddressSpaceReserve(), &info, sizeof info));
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
  EXPECT_EQ(info.RegionSize, 0x500000u);

  LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(current);
  EXPECT_EQ(current, &exclog::LoggerUnhandledFilter);

  TApplicationHandlerAddresses handlers = ApplicationHandlerAddresses();
  EXPECT_EQ(exclog::ApplicationHandleExceptionAddress(), handlers.HandleException);
  EXPECT_EQ(exclog::ApplicationShowExceptionAddress(), handlers.ShowException);
  EXPECT_EQ(exclog::FrameworkMethodsPatched(), 2);

  auto main = exclog::FindThreadRecord(GetCurrentThreadId());
  ASSERT_TRUE(main.has_value());
  EXPECT_NE(main->Handle, 0u);
  EXPECT_EQ(GetThreadId(reinterpret_cast<HANDLE>(main->Handle)), GetCurrentThreadId());
}

// --- WriteFile -------------------------------------------------------------------

class WriteHook : public testing::Test {
 protected:
  std::string TempName(const char* stem) { return velmora::test::TempPath(std::string(stem) + ".bin"); }
};

TEST_F(WriteHook, FileBytesArriveUnchanged) {
  std::string name = TempName("ewrite");
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::string bytes("\x00\x01\xFFline\r\n\x80", 9);
  DWORD written = 0;
  BOOL ok = FALSE;
  EXPECT_EQ(CallCountDelta("WriteFile", [&] {
              ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            }), 1);
  CloseHandle(file);
  EXPECT_TRUE(ok);
  EXPECT_EQ(written, bytes.size());
  std::string back;
  HANDLE reader = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[64];
  DWORD got = 0;
  ReadFile(reader, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(reader);
  DeleteFileA(name.c_str());
  EXPECT_EQ(std::string(buffer, got), bytes);
}

TEST_F(WriteHook, PipeBytesArriveUnchanged) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  const char bytes[] = "through the pipe";
  DWORD written = 0;
  BOOL ok = FALSE;
  EXPECT_EQ(CallCountDelta("WriteFile", [&] { ok = WriteFile(writeEnd, bytes, 16, &written, nullptr); }), 1);
  EXPECT_TRUE(ok);
  EXPECT_EQ(written, 16u);
  char buffer[32];
  DWORD got = 0;
  ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr);
  EXPECT_EQ(std::string(buffer, got), "through the pipe");
  CloseHandle(readEnd);
  CloseHandle(writeEnd);
}

TEST_F(WriteHook, FailingWriteKeepsResultAndLastError) {
  std::string name = TempName("eread");
  HANDLE make = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(make);
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 123;
  SetLastError(0);
  BOOL viaHook = WriteFile(file, "x", 1, &written, nullptr);
  DWORD hookError = GetLastError();
  DWORD writtenViaHook = written;
  written = 123;
  SetLastError(0);
  BOOL direct = exclog::KernelOriginals().WriteFile(file, "x", 1, &written, nullptr);
  DWORD directError = GetLastError();
  CloseHandle(file);
  DeleteFileA(name.c_str());
  EXPECT_FALSE(viaHook);
  EXPECT_EQ(viaHook, direct);
  EXPECT_EQ(hookError, directError);
  EXPECT_NE(hookError, 0u);
  EXPECT_EQ(writtenViaHook, written);
}

TEST_F(WriteHook, StandardOutputOfACgiProgramIsKeptAsTheLastPage) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
  WriteFile(out, "not cgi\n", 8, &written, nullptr);
  EXPECT_EQ(exclog::LastCgiPage(), "");
  SetEnvironmentVariableA("REQUEST_METHOD", "GET");
  WriteFile(out, "<html>page</html>\n", 18, &written, nullptr);
  SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
  EXPECT_EQ(written, 18u);
  EXPECT_EQ(exclog::LastCgiPage(), "<html>page</html>\n");
}

// --- Threads ---------------------------------------------------------------------

std::atomic<int> rawRuns{0};
DWORD WINAPI CountingStart(LPVOID parameter) {
  ++rawRuns;
  return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
}

TEST(ThreadHooks, RawThreadIsListedWithItsFlagsAndResumeTakesAStackCopy) {
  int runsBefore = rawRuns;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &CountingStart, reinterpret_cast<LPVOID>(42), CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  auto record = exclog::FindThreadRecord(id);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->CreationFlags, static_cast<uint32_t>(CREATE_SUSPENDED));
  EXPECT_EQ(record->OriginalStart, reinterpret_cast<void*>(&CountingStart));
  EXPECT_EQ(record->Parameter, reinterpret_cast<void*>(42));
  EXPECT_FALSE(record->Resumed);
  EXPECT_NE(record->Handle, reinterpret_cast<uintptr_t>(thread));  // its own duplicate
  EXPECT_EQ(rawRuns, runsBefore);  // asked suspended: not resumed by the hook

  EXPECT_EQ(ResumeThread(thread), 1u);  // the caller's resume is the one that lets it go
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(rawRuns, runsBefore + 1);
  CloseHandle(thread);
}

TEST(ThreadHooks, ResumeRecordsResumerAndStackCopy) {
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &CountingStart, nullptr, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  // Suspend once more so the thread stays put after the first resume.
  ASSERT_EQ(SuspendThread(thread), 1u);
  EXPECT_EQ(ResumeThread(thread), 2u);
  auto record = exclog::FindThreadRecord(id);
  ASSERT_TRUE(record.has_value());
  EXPECT_TRUE(record->Resumed);
  EXPECT_EQ(record->ResumerId, GetCurrentThreadId());
  EXPECT_GT(record->StackCopySize, 0u);
  EXPECT_EQ(record->StackCopy.size(), record->StackCopySize);
  ResumeThread(thread);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
}

TEST(ThreadHooks, ThreadStartedWithoutFlagsRunsAndLeavesTheList) {
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &CountingStart, reinterpret_cast<LPVOID>(7), 0, &id);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 7u);
  EXPECT_FALSE(exclog::FindThreadRecord(id).has_value());
  CloseHandle(thread);
}

DWORD WINAPI OtherStart(LPVOID) { return 0; }

// Signals that it runs, then waits for ever: a thread at a known, lock-free place.
HANDLE parkedRunning = nullptr;
DWORD WINAPI ParkedStart(LPVOID) {
  SetEvent(parkedRunning);
  Sleep(INFINITE);
  return 0;
}

TEST(ThreadHooks, ThreadEndedWithoutExitThreadIsDroppedAtTheNextCreate) {
  // The thread is ended only once it runs: under Wine, terminating a thread that
  // never started sometimes ended the whole process.
  parkedRunning = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &ParkedStart, nullptr, 0, &id);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(parkedRunning, 10000), WAIT_OBJECT_0);
  CloseHandle(parkedRunning);
  // Ended from outside: its ExitThread hook never runs, so its record stays.
  ASSERT_TRUE(TerminateThread(thread, 3));
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  auto stale = exclog::FindThreadRecord(id);
  ASSERT_TRUE(stale.has_value());
  HANDLE own = reinterpret_cast<HANDLE>(stale->Handle);

  DWORD nextId = 0;
  HANDLE next = CreateThread(nullptr, 0, &OtherStart, nullptr, CREATE_SUSPENDED, &nextId);
  ASSERT_NE(next, nullptr);
  auto after = exclog::FindThreadRecord(id);
  // Gone, unless the system gave the new thread the same id: then it is the new one's.
  if (nextId != id) EXPECT_FALSE(after.has_value());
  else EXPECT_EQ(after->OriginalStart, reinterpret_cast<void*>(&OtherStart));
  // The dropped record's own handle was closed with it (unless the value was
  // handed out again to the new thread's handles).
  auto nextRecord = exclog::FindThreadRecord(nextId);
  ASSERT_TRUE(nextRecord.has_value());
  if (own != next && own != reinterpret_cast<HANDLE>(nextRecord->Handle)) {
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(own, &flags));
  }
  ResumeThread(next);
  WaitForSingleObject(next, 10000);
  CloseHandle(next);
  CloseHandle(thread);
}

std::atomic<uintptr_t> seenStackTop{0};
std::atomic<void*> seenOriginal{nullptr};
int RecordingFunction(void* parameter) {
  auto record = exclog::FindThreadRecord(GetCurrentThreadId());
  if (record) {
    seenStackTop = record->StackTop;
    seenOriginal = record->OriginalFunction;
  }
  return static_cast<int>(reinterpret_cast<uintptr_t>(parameter));
}

int FaultingFunction(void*) {
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x20)) = 5;
  return 0;
}

int ThrowingFunction(void*) { throw EConvertError("bad thread input"); }

std::atomic<int> managerCalls{0};
std::atomic<uint32_t> managerCode{0};
std::atomic<uint32_t> managerThread{0};
std::string managerClass;
bool ObservingManager(const exclog::TLoggedException& e) {
  managerCode = e.Code;
  managerThread = e.ThreadId;
  managerClass = e.ClassName;
  ++managerCalls;
  return true;
}

class ClassLibraryThreads : public testing::Test {
 protected:
  void SetUp() override { previous_ = exclog::SetExceptionManager(&ObservingManager); }
  void TearDown() override { exclog::SetExceptionManager(previous_); }
  DWORD RunToEnd(TThreadFunc function, void* parameter, uint32_t& id) {
    uintptr_t handle = BeginThread(nullptr, 0, function, parameter, 0, id);
    if (!handle) return 0xDEADBEEF;
    WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 10000);
    DWORD code = 0;
    GetExitCodeThread(reinterpret_cast<HANDLE>(handle), &code);
    CloseThreadHandle(handle);
    return code;
  }
  exclog::TExceptionManagerProc previous_ = nullptr;
};

TEST_F(ClassLibraryThreads, FunctionRunsThroughTheStartWrapper) {
  uint32_t id = 0;
  EXPECT_EQ(RunToEnd(&RecordingFunction, reinterpret_cast<void*>(11), id), 11u);
  EXPECT_EQ(seenOriginal.load(), reinterpret_cast<void*>(&RecordingFunction));
  EXPECT_NE(seenStackTop.load(), 0u);
  EXPECT_FALSE(exclog::FindThreadRecord(id).has_value());  // gone with ExitThread
}

TEST_F(ClassLibraryThreads, HardwareFaultGoesToExceptionManagerAndTheThreadEndsWithMinusOne) {
  int before = managerCalls;
  uint32_t id = 0;
  EXPECT_EQ(RunToEnd(&FaultingFunction, nullptr, id), 0xFFFFFFFFu);
  EXPECT_EQ(managerCalls, before + 1);
  EXPECT_EQ(managerCode, 0xC0000005u);
  EXPECT_EQ(managerThread, id);
  EXPECT_EQ(managerClass, "EAccessViolation");
}

TEST_F(ClassLibraryThreads, EscapingThrowGoesToExceptionManager) {
  int before = managerCalls;
  uint32_t id = 0;
  EXPECT_EQ(RunToEnd(&ThrowingFunction, nullptr, id), 0xFFFFFFFFu);
  EXPECT_EQ(managerCalls, before + 1);
  EXPECT_EQ(managerCode, 0u);
  EXPECT_EQ(managerClass, "EConvertError");
}

class TCountingThread : public TThread {
  VELMORA_CLASS(TCountingThread, TThread)
 public:
  TCountingThread() : TThread(true) {}
  ~TCountingThread() override { TerminateAndWait(); }
  std::atomic<bool> listed{false};
  std::atomic<bool> ran{false};

 protected:
  void Execute() override {
    auto record = exclog::FindThreadRecord(GetCurrentThreadId());
    listed = record && record->ThreadObject == this && record->StackTop != 0;
    ran = true;
  }
};

TEST(ThreadHooks, TwoThreadsOfOneClassPatchExecuteOnce) {
  int classesBefore = exclog::PatchedExecuteClasses();
  int slotsBefore = exclog::HookedMethodCount();
  TCountingThread first;
  TCountingThread second;
  auto record = exclog::FindThreadRecord(first.ThreadID());
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->ThreadObject, &first);
  EXPECT_EQ(record->CreationFlags, static_cast<uint32_t>(CREATE_SUSPENDED));
  EXPECT_FALSE(first.ran);  // created suspended, stays so
  first.Start();
  second.Start();
  first.WaitFor();
  second.WaitFor();
  EXPECT_EQ(exclog::PatchedExecuteClasses(), classesBefore + 1);
  EXPECT_EQ(exclog::HookedMethodCount(), slotsBefore + 1);
  EXPECT_TRUE(first.ran);
  EXPECT_TRUE(second.ran);
  EXPECT_TRUE(first.listed);
  EXPECT_TRUE(second.listed);
}

class TParkedReportThread : public TThread {
  VELMORA_CLASS(TParkedReportThread, TThread)
 public:
  TParkedReportThread() : TThread(true) {}
  ~TParkedReportThread() override {
    SetEvent(release);
    WaitFor();
    CloseHandle(release);
  }
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);

 protected:
  void Execute() override { WaitForSingleObject(release, 20000); }
};

// The call-stack captions name the class of each thread's object: the report reads
// it from the thread records through the seam the start-up filled.
TEST(ThreadHooks, ReportCaptionsNameTheThreadsClass) {
  TParkedReportThread parked;
  parked.Start();
  exclog::TReportJob job;
  job.Stacks = std::make_shared<exclog::TQuelbaStackList>();
  for (uint32_t id : {static_cast<uint32_t>(parked.ThreadID()), static_cast<uint32_t>(GetCurrentThreadId())}) {
    auto* entry = new exclog::TQuelbaLocation;
    entry->Kind = 4;
    entry->FrameValue = id;
    entry->ThreadKind = 1;
    job.Stacks->Add(entry);
  }
  exclog::TQuelbaModuleOptions options;
  exclog::TReportSnapshot s = exclog::TakeReportSnapshot(job, options, false);
  ASSERT_EQ(s.Stack.size(), 2u);
  EXPECT_EQ(s.Stack[0].ThreadClass, "TParkedReportThread");
  EXPECT_EQ(s.Stack[1].ThreadClass, "");  // the test's own thread has no object
  EXPECT_NE(exclog::BuildReportText(s, 1).find("Class=TParkedReportThread"), std::string::npos);
}

// --- Throw recorder --------------------------------------------------------------

__attribute__((noinline)) void ThrowConvertError() { throw EConvertError("caught later"); }

TEST(ThrowRecorder, CaughtThrowIsRecordedAndNotReported) {
  int reports = exclog::ReportDispatchCalls();
  int managed = exclog::ExceptionManagerCalls();
  int throws = exclog::ThrowRecordCount();
  try {
    ThrowConvertError();
  } catch (const Exception&) {
    exclog::TThrowRecord inFlight = exclog::LastThrowRecord();
    EXPECT_TRUE(inFlight.Pending);
  }
  exclog::TThrowRecord record = exclog::LastThrowRecord();
  EXPECT_EQ(exclog::ThrowRecordCount(), throws + 1);
  EXPECT_EQ(record.ClassName, "EConvertError");
  EXPECT_EQ(record.Message, "caught later");
  EXPECT_GT(record.Site, reinterpret_cast<uintptr_t>(&ThrowConvertError));
  EXPECT_LT(record.Site, reinterpret_cast<uintptr_t>(&ThrowConvertError) + 0x100);
  EXPECT_FALSE(record.Pending);
  EXPECT_FALSE(record.Stack.empty());
  EXPECT_EQ(exclog::ReportDispatchCalls(), reports);
  EXPECT_EQ(exclog::ExceptionManagerCalls(), managed);
}

TEST(ThrowRecorder, ForeignTypesGetTheirDemangledNames) {
  try {
    throw std::runtime_error("plain");
  } catch (...) {
  }
  EXPECT_EQ(exclog::LastThrowRecord().ClassName, "std::runtime_error");
  EXPECT_EQ(exclog::LastThrowRecord().Message, "plain");
  try {
    throw 5;
  } catch (...) {
  }
  EXPECT_EQ(exclog::LastThrowRecord().ClassName, "int");
  EXPECT_EQ(exclog::LastThrowRecord().Message, "");
}

// Last: under Wine, output written after a host program ran may not reach the
// console, so the other results are printed first.
TEST(ImportSet, HookedImportsAreTheSixRoutinesThisProgramImports) {
  std::set<std::string> imported = ObjdumpKernelImports();
  ASSERT_FALSE(imported.empty()) << "objdump gave no kernel32 imports";
  std::set<std::string> expected;
  for (const std::string& name : exclog::HookedKernelRoutineNames())
    if (imported.count(name)) expected.insert(name);
  std::vector<std::string> hooked = exclog::HookedImports();
  EXPECT_EQ(std::set<std::string>(hooked.begin(), hooked.end()), expected);
  EXPECT_TRUE(expected.count("WriteFile") && expected.count("CreateThread") && expected.count("ResumeThread") &&
              expected.count("ExitThread"));
  for (const std::string& name : hooked)
    for (void** slot : velmora::test::ImportSlots("kernel32.dll", name))
      EXPECT_NE(*slot, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name.c_str())))
          << name;
}

}  // namespace startup_test
