// Cases that end or restart the process run in a child: this program started again.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <functional>
#include <iterator>
#include <sstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/core/ECore.h"
#include "exclog/hooks/EHook.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/startup_tests/StartupShared_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/ImportSlots_win.h"

namespace startup_test {

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Hex(uintptr_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(value));
  return text;
}

// --- order -------------------------------------------------------------------

void ProbeStart() {
  Say(std::string("probe start: logger ") + (exclog::ExceptionLogStarted() ? "started" : "stopped") +
      ", units starting " + (exclog::UnitsStarting() ? "yes" : "no"));
}

void ProbeStop() {
  Say(std::string("probe stop: logger ") + (exclog::ExceptionLogStarted() ? "started" : "stopped") +
      ", units stopping " + (exclog::UnitsStopping() ? "yes" : "no"));
}

bool SlotsAreKernelRoutines() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  for (const std::string& name : exclog::HookedKernelRoutineNames()) {
    void* real = reinterpret_cast<void*>(GetProcAddress(kernel, name.c_str()));
    for (void** slot : velmora::test::ImportSlots("kernel32.dll", name))
      if (*slot != real) return false;
  }
  return true;
}

int OrderChild() {
  Say("before start: slots " + std::string(SlotsAreKernelRoutines() ? "original" : "hooked") +
      ", logger unit " + std::to_string(FindUnit("ExceptionLog")));
  // The units registered themselves before main; a second registration changes nothing.
  exclog::RegisterExceptionLogUnits();
  RegisterUnit("Probe", &ProbeStart, &ProbeStop);
  Say("positions: Classes " + std::to_string(FindUnit("Classes")) + " ECore " +
      std::to_string(FindUnit("ECore")) + " ELeaks " + std::to_string(FindUnit("ELeaks")) + " EHook " + std::to_string(FindUnit("EHook")) +
      " ExceptionLog " + std::to_string(FindUnit("ExceptionLog")) + " Probe " +
      std::to_string(FindUnit("Probe")));
  InitUnits();
  Say(std::string("after start: units starting ") + (exclog::UnitsStarting() ? "yes" : "no") +
      ", slots " + (SlotsAreKernelRoutines() ? "original" : "hooked"));
  FinalizeUnits();
  Say(std::string("after stop: logger ") + (exclog::ExceptionLogStarted() ? "started" : "stopped") +
      ", slots " + (SlotsAreKernelRoutines() ? "original" : "hooked") + ", imports recorded " +
      std::to_string(exclog::HookedImportCount()));
  return 0;
}

// --- faults --------------------------------------------------------------------

__attribute__((noinline)) void WriteToLowAddress() {
  Say("fault function " + Hex(reinterpret_cast<uintptr_t>(&WriteToLowAddress)));
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1;
}

DWORD WINAPI FaultingThread(LPVOID) {
  WriteToLowAddress();
  return 0;
}

int FaultOnThread(bool throughHook) {
  StartUnitsLikeHost();
  DWORD id = 0;
  HANDLE thread = throughHook
                      ? CreateThread(nullptr, 0, &FaultingThread, nullptr, 0, &id)
                      : exclog::KernelOriginals().CreateThread(nullptr, 0, &FaultingThread, nullptr, 0, &id);
  Say("thread " + std::to_string(id));
  WaitForSingleObject(thread, 20000);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  Say("thread exit " + Hex(code));
  Say("went on");
  FinalizeUnits();
  return 0;
}

// --- one fault of each kind the run-time names, each ending a thread of its own ---

volatile int intOne = 1;
volatile int intZero = 0;

DWORD WINAPI DivideByZero(LPVOID) { return static_cast<DWORD>(intOne / intZero); }

// `into` traps when the overflow flag is set: compiled code never overflows this way.
DWORD WINAPI IntegerOverflow(LPVOID) {
  asm volatile("movl $0x7FFFFFFF, %%eax\n\taddl $1, %%eax\n\tinto" ::: "eax", "cc");
  return 0;
}

// x87 operations with one exception unmasked (`bit` of the control word); the fault
// comes at the next waiting instruction. Products are stored as doubles, where a
// result beyond the double's range overflows or underflows.
void UnmaskX87(uint16_t bit) {
  uint16_t control = static_cast<uint16_t>(0x037F & ~bit);
  asm volatile("fldcw %0" : : "m"(control));
}
void X87Divide(double a, double b) {
  double result;
  asm volatile("fldl %1\n\tfdivl %2\n\tfstpl %0\n\tfwait" : "=m"(result) : "m"(a), "m"(b));
}
void X87Multiply(double a, double b) {
  double result;
  asm volatile("fldl %1\n\tfmull %2\n\tfstpl %0\n\tfwait" : "=m"(result) : "m"(a), "m"(b));
}
struct TX87Fault {
  uint16_t Unmasked;
  void (*Operation)(double, double);
  double A;
  double B;
};
const TX87Fault floatZeroDivide{0x04, &X87Divide, 1.0, 0.0};
const TX87Fault floatInvalid{0x01, &X87Divide, 0.0, 0.0};
const TX87Fault floatOverflow{0x08, &X87Multiply, 1e308, 1e308};
const TX87Fault floatUnderflow{0x10, &X87Multiply, 1e-308, 1e-308};
DWORD WINAPI X87FaultThread(LPVOID parameter) {
  const auto& fault = *static_cast<const TX87Fault*>(parameter);
  UnmaskX87(fault.Unmasked);
  fault.Operation(fault.A, fault.B);
  return 0;
}

DWORD WINAPI PrivilegedInstruction(LPVOID) {
  asm volatile("hlt");
  return 0;
}
DWORD WINAPI IllegalInstruction(LPVOID) {
  asm volatile("ud2");
  return 0;
}
DWORD WINAPI OverflowTheStack(LPVOID) { return static_cast<DWORD>(RecurseUntilOverflow(0)); }

int FaultKindsChild() {
  StartUnitsLikeHost();
  // The stack overflow last: it is the hardest for a thread to come back from.
  const struct {
    LPTHREAD_START_ROUTINE Start;
    const void* Parameter;
  } faults[] = {{&DivideByZero, nullptr},          {&IntegerOverflow, nullptr},
                {&X87FaultThread, &floatZeroDivide}, {&X87FaultThread, &floatInvalid},
                {&X87FaultThread, &floatOverflow},   {&X87FaultThread, &floatUnderflow},
                {&PrivilegedInstruction, nullptr}, {&IllegalInstruction, nullptr},
                {&OverflowTheStack, nullptr}};
  for (const auto& fault : faults) {
    HANDLE thread = CreateThread(nullptr, 0, fault.Start, const_cast<void*>(fault.Parameter), 0, nullptr);
    WaitForSingleObject(thread, 20000);
    CloseHandle(thread);
  }
  Say("went on");
  FinalizeUnits();
  return 0;
}

__attribute__((noinline)) void ThrowUncaught() {
  Say("throw function " + Hex(reinterpret_cast<uintptr_t>(&ThrowUncaught)));
  throw EConvertError("not a number");
}

bool ThrowingDataSource() { throw EReadError("module data unreadable"); }

// A throw the program catches and hands to the logger itself; called through a
// pointer, so that neither is folded into the other.
__attribute__((noinline)) void ThrowForTheLogger() { throw EConvertError("handed over"); }
void (*volatile throwForTheLogger)() = &ThrowForTheLogger;
__attribute__((noinline)) void CatchAndHandOver() {
  try {
    throwForTheLogger();
  } catch (...) {
    exclog::ExceptionManager(exclog::CurrentCppException(0));
  }
}

// A raw thread that allocates and frees without pause: whenever a report stops it,
// it may be inside the heap's lock.
std::atomic<bool> stopAllocating{false};
char* volatile lastBlock = nullptr;  // keeps the compiler from leaving the pair out
DWORD WINAPI AllocateWithoutPause(LPVOID) {
  unsigned n = 1;
  while (!stopAllocating) {
    n = n * 1103515245u + 12345u;
    lastBlock = new char[16 + (n >> 16) % 4000];
    delete[] lastBlock;
  }
  return 0;
}

int BusyHeapChild() {
  StartUnitsLikeHost();
  exclog::SetReportFlags(exclog::ReportStacksOfRawThreads);
  HANDLE allocator = CreateThread(nullptr, 0, &AllocateWithoutPause, nullptr, 0, nullptr);
  for (int i = 0; i < 20; ++i) CatchAndHandOver();
  stopAllocating = true;
  WaitForSingleObject(allocator, 20000);
  CloseHandle(allocator);
  Say("went on");
  FinalizeUnits();
  return 0;
}

// The module data reader asked about a module built without logger data.
bool SystemModuleCarriesData() { return exclog::HasCurrentModuleData(GetModuleHandleA("kernel32.dll")); }

// Through a volatile pointer, so the compiler neither warns nor turns it into a loop.
int (*volatile recurse)(int) = &RecurseUntilOverflow;

}  // namespace

__attribute__((noinline)) int RecurseUntilOverflow(int depth) {
  volatile char pad[256];
  pad[0] = static_cast<char>(depth);
  return recurse(depth + 1) + pad[0];
}

int ChildMain(const std::string& mode) {
  if (mode == "order") return OrderChild();
  if (mode == "pages") return PagesChild();
  if (mode == "av-main") {
    StartUnitsLikeHost();
    WriteToLowAddress();
    return 0;
  }
  if (mode == "so-main") {
    StartUnitsLikeHost();
    return RecurseUntilOverflow(0);
  }
  if (mode == "raise-main") {
    StartUnitsLikeHost();
    RaiseException(0xE0401234, 0, 0, nullptr);
    return 0;
  }
  if (mode == "framework") return FrameworkChild();
  if (mode == "cgi" || mode == "cgi-quiet") return CgiChild(mode == "cgi");
  if (mode == "handled-on" || mode == "handled-off") return HandledChild(mode == "handled-on");
  if (mode.rfind("freeze-", 0) == 0) return FreezeChild(mode.substr(7));
  if (mode.rfind("inner-", 0) == 0) return InnerFaultChild(mode.substr(6));
  if (mode == "fault-kinds") return FaultKindsChild();
  if (mode == "av-bypass") return FaultOnThread(false);
  if (mode == "av-hooked") return FaultOnThread(true);
  if (mode == "handed-throw") {
    StartUnitsLikeHost();
    CatchAndHandOver();
    Say("went on");
    FinalizeUnits();
    return 0;
  }
  if (mode == "busy-heap") return BusyHeapChild();
  if (mode == "uncaught") {
    StartUnitsLikeHost();
    ThrowUncaught();
    return 0;
  }
  if (mode == "init-fails") {
    exclog::SetCarriesLoggerDataSource(&ThrowingDataSource);
    StartUnitsLikeHost();
    Say(std::string("went on, logger ") + (exclog::LoggerActive() ? "active" : "inactive"));
    FinalizeUnits();
    return 0;
  }
  if (mode == "no-data") {
    exclog::SetCarriesLoggerDataSource(&SystemModuleCarriesData);
    StartUnitsLikeHost();
    Say(std::string("went on, logger ") + (exclog::LoggerActive() ? "active" : "inactive"));
    FinalizeUnits();
    return 0;
  }
  return 99;
}

TChildResult RunChild(const std::string& mode, DWORD timeoutMs) {
  velmora::test::TChildProcess child("\"" + velmora::test::OwnProgramPath() + "\" --child " + mode, true);
  if (!child.Started()) return {0xDEADBEEF, ""};
  DWORD code = child.Finish(timeoutMs);
  return {code, child.Output()};
}

// The value of field `number` ("2.5") of the first report in `text` (its line after
// the aligned ": "), from position `from` on.
std::string ReportField(const std::string& text, const std::string& number, size_t from) {
  size_t at = text.find("  " + number + " ", from);
  if (at == std::string::npos) return "";
  size_t end = text.find_first_of("\r\n", at);
  size_t colon = text.find(": ", at);
  if (colon == std::string::npos || colon > end) return "";
  return text.substr(colon + 2, end == std::string::npos ? std::string::npos : end - colon - 2);
}

// Reports in `text` whose exception type is `type`.
size_t ReportsOf(const std::string& text, const std::string& type) {
  size_t n = 0;
  for (size_t at = text.find("  2.5 "); at != std::string::npos; at = text.find("  2.5 ", at + 1))
    if (ReportField(text, "2.5", at) == type) ++n;
  return n;
}

namespace {

std::string ValueAfter(const std::string& text, const std::string& key) {
  size_t at = text.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  size_t end = text.find_first_of(" \r\n,", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

uintptr_t HexValue(const std::string& text) { return static_cast<uintptr_t>(std::strtoul(text.c_str(), nullptr, 16)); }

struct TStackRow {
  std::string Module, Unit, Procedure;
};

// The rows of the exception thread in the first report's call-stack table.
std::vector<TStackRow> ExceptionThreadRows(const std::string& text) {
  std::vector<TStackRow> rows;
  size_t at = text.find("|*Exception Thread");
  if (at == std::string::npos) return rows;
  std::istringstream lines(text.substr(at));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && line.rfind("|", 0) == 0) {
    if (line.rfind("|-", 0) == 0) continue;
    std::vector<std::string> cells;
    std::istringstream parts(line.substr(1));
    for (std::string cell; std::getline(parts, cell, '|');)
      cells.push_back(cell.substr(0, cell.find_last_not_of(" \r") + 1));
    if (cells.size() < 6) break;
    rows.push_back({cells[1], cells[2], cells[4]});
  }
  return rows;
}

std::string Describe(const std::vector<TStackRow>& rows) {
  std::string out;
  for (const TStackRow& r : rows) out += r.Module + " " + r.Unit + " " + r.Procedure + "\n";
  return out;
}

}  // namespace

TEST(StartStop, LoggerUnitsStartFirstStopLastAndRestoreEverySlot) {
  TChildResult child = RunChild("order");
  ASSERT_EQ(child.ExitCode, 0u) << child.Output;
  // Class library units take slots 0..2; the logger's follow at once, main unit last.
  EXPECT_NE(child.Output.find("positions: Classes 2 ECore 3 ELeaks 4 EHook 5 ExceptionLog 6 Probe 7"), std::string::npos)
      << child.Output;
  const char* expected[] = {
      "before start: slots original, logger unit 6",
      "probe start: logger started, units starting yes",
      "after start: units starting no, slots hooked",
      "probe stop: logger started, units stopping yes",
      "after stop: logger stopped, slots original, imports recorded 0",
  };
  size_t at = 0;
  for (const char* line : expected) {
    size_t found = child.Output.find(line, at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << child.Output;
    if (found != std::string::npos) at = found;
  }
}

// Runs `run` while another thread answers the message box captioned `caption` with
// `button` once it shows; true when it showed.
bool AnsweringBox(const char* caption, int button, const std::function<void()>& run) {
  std::atomic<bool> answered{false}, done{false};
  std::thread answerer([&] {
    for (int i = 0; i < 1200 && !answered && !done; ++i) {
      if (HWND box = FindWindowA("#32770", caption)) {
        PostMessageA(box, WM_COMMAND, button, 0);
        answered = true;
      }
      Sleep(50);
    }
  });
  run();
  done = true;
  answerer.join();
  return answered;
}

// The failure reaches the internal-error reporter: its debugger line (read through
// Wine's trace of debug strings), its ".log" beside the program and its question,
// answered "No" here, after which the program goes on.
TEST(StartStop, FailingLoggerStartIsReportedByNameAndTheProgramGoesOn) {
  char self[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string logFile = exclog::ChangeFileExt(self, ".log");
  DeleteFileA(logFile.c_str());
  TChildResult child;
  EXPECT_TRUE(AnsweringBox("Probably internal bug", IDNO, [&] { child = RunChild("init-fails"); }));
  EXPECT_EQ(child.ExitCode, 0u) << child.Output;
  EXPECT_NE(child.Output.find("InternalError: ExceptionLog.Init (Address: "), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("went on"), std::string::npos) << child.Output;
  TStringList lines;
  ASSERT_NO_THROW(lines.LoadFromFile(logFile));
  // Eleven labelled lines; the call stack's further entries follow indented.
  ASSERT_GE(lines.Count(), 11) << lines.Text();
  EXPECT_EQ(lines[5], "Section   : ExceptionLog.Init");
  EXPECT_EQ(lines[9], "Message   : General internal error.");
  EXPECT_EQ(lines[10].rfind("Call Stack: 00 $", 0), 0u) << lines.Text();
  for (int i = 11; i < lines.Count(); ++i) EXPECT_EQ(lines[i].rfind(std::string(12, ' '), 0), 0u) << lines[i];
  EXPECT_NE(lines.Text().find("Installer"), std::string::npos) << lines.Text();
  DeleteFileA(logFile.c_str());

  // Wine writes debug strings to the standard error of the first process of the
  // tree, so the trace is read from a run started by the build machine's shell.
  std::string unixSelf = std::string(self).substr(2);
  for (char& c : unixSelf)
    if (c == '\\') c = '/';
  char prefix[1024] = {};
  ASSERT_GT(GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix), 0u) << "the runner sets WINEPREFIX";
  std::optional<std::string> trace;
  EXPECT_TRUE(AnsweringBox("Probably internal bug", IDNO, [&] {
    trace = velmora::test::RunHostCommand(std::string("WINEPREFIX='") + prefix +
                                              "' WINEDEBUG=-all,+debugstr timeout 60 /usr/bin/wine '" + unixSelf +
                                              "' --child init-fails 2>&1",
                                          70000);
  }));
  ASSERT_TRUE(trace.has_value());
  EXPECT_NE(trace->find("[ERROR] - Section: ExceptionLog.Init - Address: "), std::string::npos) << *trace;
  EXPECT_NE(trace->find("went on"), std::string::npos) << *trace;
  DeleteFileA(logFile.c_str());
}

TEST(StartStop, ModuleWithoutLoggerDataSwitchesTheLoggerOff) {
  TChildResult child = RunChild("no-data");
  EXPECT_EQ(child.ExitCode, 0u) << child.Output;
  EXPECT_NE(child.Output.find("went on, logger inactive"), std::string::npos) << child.Output;
  EXPECT_EQ(child.Output.find("InternalError"), std::string::npos) << child.Output;
}

TEST(UnhandledFilter, AccessViolationOnMainThreadEndsWithTheExceptionCode) {
  TChildResult child = RunChild("av-main");
  EXPECT_EQ(child.ExitCode, 0xC0000005u) << child.Output;
  uintptr_t function = HexValue(ValueAfter(child.Output, "fault function "));
  EXPECT_EQ(ReportField(child.Output, "2.5"), "EAccessViolation") << child.Output;
  uintptr_t fault = HexValue(ReportField(child.Output, "2.2"));
  EXPECT_GT(fault, function) << child.Output;
  EXPECT_LT(fault, function + 0x100) << child.Output;
  EXPECT_NE(child.Output.find("Write of address 00000010"), std::string::npos) << child.Output;
}

TEST(UnhandledFilter, FaultOnThreadThatBypassedTheHookReachesTheFilter) {
  TChildResult child = RunChild("av-bypass");
  EXPECT_EQ(child.ExitCode, 0xC0000005u) << child.Output;
  // The child's own line, at a line start: the report may name the thread first.
  std::string thread = ValueAfter("\n" + child.Output, "\nthread ");
  EXPECT_EQ(ReportField(child.Output, "2.5"), "EAccessViolation") << child.Output;
  EXPECT_NE(child.Output.find("Thread: ID=" + thread + ";"), std::string::npos) << child.Output;
  EXPECT_EQ(child.Output.find("went on"), std::string::npos) << child.Output;
}

TEST(ThreadHooks, FaultInHookedRawThreadGoesToExceptionManagerAndProgramGoesOn) {
  TChildResult child = RunChild("av-hooked");
  EXPECT_EQ(child.ExitCode, 0u) << child.Output;
  // The child's own line, at a line start: the report may name the thread first.
  std::string thread = ValueAfter("\n" + child.Output, "\nthread ");
  uintptr_t function = HexValue(ValueAfter(child.Output, "fault function "));
  EXPECT_EQ(ReportField(child.Output, "2.5"), "EAccessViolation") << child.Output;
  uintptr_t fault = HexValue(ReportField(child.Output, "2.2"));
  EXPECT_GT(fault, function) << child.Output;
  EXPECT_LT(fault, function + 0x100) << child.Output;
  EXPECT_NE(child.Output.find("Thread: ID=" + thread + ";"), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("thread exit FFFFFFFF"), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("went on"), std::string::npos) << child.Output;
}

TEST(UnhandledFilter, MainThreadFaultsReportOnceAndExitWithTheirCode) {
  TChildResult overflow = RunChild("so-main");
  EXPECT_EQ(overflow.ExitCode, 0xC00000FDu) << overflow.Output;
  EXPECT_EQ(ReportsOf(overflow.Output, "EStackOverflow"), 1u) << overflow.Output;
  TChildResult foreign = RunChild("raise-main");
  EXPECT_EQ(foreign.ExitCode, 0xE0401234u) << foreign.Output;
  EXPECT_EQ(ReportsOf(foreign.Output, "EExternal"), 1u) << foreign.Output;
  TChildResult av = RunChild("av-main");
  EXPECT_EQ(ReportsOf(av.Output, "EAccessViolation"), 1u) << av.Output;
}

// Each real fault, in a thread, gives one report with the run-time's class and text;
// the program goes on after all of them.
TEST(FaultNames, EachFaultKindIsReportedOnceWithTheRunTimeClassAndText) {
  TChildResult child = RunChild("fault-kinds", 120000);
  EXPECT_EQ(child.ExitCode, 0u) << child.Output;
  const struct {
    const char* ClassName;
    const char* Message;
  } expected[] = {
      {"EDivByZero", "Division by zero"},
      {"EIntOverflow", "Integer overflow"},
      {"EZeroDivide", "Floating point division by zero"},
      {"EInvalidOp", "Invalid floating point operation"},
      {"EOverflow", "Floating point overflow"},
      {"EUnderflow", "Floating point underflow"},
      {"EPrivilege", "Privileged instruction"},
      {"EPrivilege", "Privileged instruction"},
      {"EStackOverflow", "Stack overflow"},
  };
  // Each report's type (2.5) and message (2.6); the two illegal-instruction kinds
  // share a class and a text, so each pair counts as often as it is expected.
  std::map<std::pair<std::string, std::string>, int> reported, wanted;
  for (size_t at = child.Output.find("  2.5 "); at != std::string::npos; at = child.Output.find("  2.5 ", at + 1))
    ++reported[{ReportField(child.Output, "2.5", at), ReportField(child.Output, "2.6", at)}];
  for (const auto& e : expected) ++wanted[{e.ClassName, std::string(e.Message) + "."}];  // the report ends it
  EXPECT_EQ(reported, wanted) << child.Output;
  EXPECT_NE(child.Output.find("went on"), std::string::npos) << child.Output;
}

// A throw the program caught and handed over is read from the stack the throw left:
// its site once, then its callers, none of the logger's own frames; main's caller is
// the run-time's start routine.
TEST(CallStacks, HandedOverThrowShowsItsOwnPathToTheStartRoutine) {
  TChildResult child = RunChild("handed-throw");
  EXPECT_EQ(ReportField(child.Output, "2.5"), "EConvertError") << child.Output;
  std::vector<TStackRow> rows = ExceptionThreadRows(child.Output);
  ASSERT_GE(rows.size(), 5u) << child.Output;
  const char* path[] = {"ThrowForTheLogger", "CatchAndHandOver", "ChildMain", "main", "tmainCRTStartup"};
  for (size_t i = 0; i < std::size(path); ++i)
    EXPECT_NE(rows[i].Procedure.find(path[i]), std::string::npos) << i << "\n" << Describe(rows);
  for (const TStackRow& row : rows)
    if (row.Module == "exclog_startup_tests.exe")
      EXPECT_TRUE(row.Unit == "Crashes_win_test" || row.Unit == "StartupMain_win" || row.Unit == "crtexe")
          << Describe(rows);
}

// An overflow's report shows the recursion: its rows down from the fault.
TEST(CallStacks, StackOverflowShowsTheRecursion) {
  TChildResult child = RunChild("so-main");
  std::vector<TStackRow> rows = ExceptionThreadRows(child.Output);
  size_t recursion = 0;
  while (recursion < rows.size() && rows[recursion].Procedure.rfind("RecurseUntilOverflow", 0) == 0) ++recursion;
  EXPECT_GE(recursion, 100u) << Describe(rows);
}

// Each report stops the listed threads for their stacks; one stopped inside the
// heap's lock holds no report up, and its stack is still shown.
TEST(CallStacks, AThreadStoppedWhileItAllocatesHoldsNoReportUp) {
  TChildResult child = RunChild("busy-heap", 120000);
  EXPECT_EQ(child.ExitCode, 0u) << child.Output.substr(0, 4000);
  EXPECT_EQ(ReportsOf(child.Output, "EConvertError"), 20u);
  EXPECT_NE(child.Output.find("went on"), std::string::npos);
  EXPECT_NE(child.Output.find("AllocateWithoutPause"), std::string::npos);
}

TEST(TerminateRoute, UncaughtThrowIsReportedWithItsThrowSite) {
  TChildResult child = RunChild("uncaught");
  EXPECT_EQ(child.ExitCode, 1u) << child.Output;
  uintptr_t function = HexValue(ValueAfter(child.Output, "throw function "));
  EXPECT_EQ(ReportField(child.Output, "2.5"), "EConvertError") << child.Output;
  uintptr_t site = HexValue(ReportField(child.Output, "2.2"));
  EXPECT_GT(site, function) << child.Output;
  EXPECT_LT(site, function + 0x200) << child.Output;
  EXPECT_NE(child.Output.find(": not a number"), std::string::npos) << child.Output;
}

}  // namespace startup_test
