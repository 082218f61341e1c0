// The walker on real threads of this program, parked in known call chains that
// cross into the test library (walk_dll.dll without logger data; the chains use its
// copy with a map file beside it). Entries in our modules are judged against
// addr2line, kernel32's exports against objdump, the outside debug forms of the
// library against addr2line at every line of its code.
#include "exclog/debuginfo/EStackWalk_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "classlib/Threads.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/debuginfo/EOutsideDebug.h"
#include "exclog/debuginfo/ETD32.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"

namespace {

using namespace exclog;
using namespace velmora::test;

using TChainProc = int (*)(int depth, int (*callback)(void*), void* argument);

struct TParking {
  HANDLE Parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int Depth = 3;
  int Recursion = 0;
  uintptr_t Frames[2] = {};
  ~TParking() {
    CloseHandle(Parked);
    CloseHandle(Release);
  }
};

// The walker's module seams, as the logger's start-up installs them (the
// call-stack identifier source stays as other tests of this program expect it).
void UseWalkerSeams() {
  ModuleInfoSeams().BuildExportList = &BuildExportList;
  ModuleInfoSeams().CreateDebugSource = &CreateOutsideDebugSource;
  ModuleListSeams().FreeDebugSource = &FreeOutsideDebugSource;
}

// A file in this program's folder.
std::string Beside(const std::string& name) {
  std::string own = velmora::test::OwnProgramPath();
  return own.substr(0, own.find_last_of('\\') + 1) + name;
}

HMODULE WalkDll() {
  static HMODULE dll = [] {
    UseWalkerSeams();
    // The copy with a map file: every entry of the chain gets its routine and line.
    return LoadLibraryA(Beside("walk_map.dll").c_str());
  }();
  return dll;
}

}  // namespace

extern "C" {

__attribute__((noinline)) int WalkTestParkHere(void* argument) {
  auto* parking = static_cast<TParking*>(argument);
  SetEvent(parking->Parked);
  WaitForSingleObject(parking->Release, INFINITE);
  return 1;
}

__attribute__((noinline)) int WalkTestExeLevel(void* argument) {
  auto chain = reinterpret_cast<TChainProc>(reinterpret_cast<void*>(GetProcAddress(WalkDll(), "WalkDllChain")));
  volatile int keep = 1;
  return chain(static_cast<TParking*>(argument)->Depth, &WalkTestParkHere, argument) + keep;
}

DWORD WINAPI WalkTestRawThread(void* argument) {
  volatile int keep = 1;
  return static_cast<DWORD>(WalkTestExeLevel(argument) + keep);
}

__attribute__((noinline)) int WalkTestRecurse(TParking* parking, int depth) {
  volatile char room[240];
  room[0] = static_cast<char>(depth);
  if (depth < 2) parking->Frames[depth] = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  int result = depth < parking->Recursion ? WalkTestRecurse(parking, depth + 1) : WalkTestParkHere(parking);
  return result + room[0];
}

DWORD WINAPI WalkTestRecurseThread(void* argument) {
  volatile int keep = 1;
  return static_cast<DWORD>(WalkTestRecurse(static_cast<TParking*>(argument), 0) + keep);
}

// Calls the parking routine with a frame pointer of garbage: a frame-pointer walk
// ends there, the scan does not.
__attribute__((noinline)) int WalkTestGarbled(void* argument) {
  int result;
  asm volatile(
      "pushl %%ebp\n\t"
      "movl $0x00000BAD, %%ebp\n\t"
      "pushl %1\n\t"
      "call *%2\n\t"
      "addl $4, %%esp\n\t"
      "popl %%ebp"
      : "=a"(result)
      : "r"(argument), "r"(&WalkTestParkHere)
      : "ecx", "edx", "memory");
  return result + 1;
}

DWORD WINAPI WalkTestGarbledThread(void* argument) {
  volatile int keep = 1;
  return static_cast<DWORD>(WalkTestGarbled(argument) + keep);
}

}  // extern "C"

namespace {

class TWalkTestThread : public TThread {
 public:
  explicit TWalkTestThread(TParking* parking) : TThread(false), parking_(parking) {}
  ~TWalkTestThread() override { TerminateAndWait(); }

 protected:
  void Execute() override { WalkTestExeLevel(parking_); }

 private:
  TParking* parking_;
};

// Checks every entry of the list that lies in this program or the test library
// against addr2line: the routine name, and the line where we have one.
void ExpectEntriesMatchAddr2Line(TQuelbaStackList& list) {
  std::map<std::string, std::vector<const TQuelbaLocation*>> byFile;
  uintptr_t exe = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  uintptr_t dll = reinterpret_cast<uintptr_t>(WalkDll());
  for (int i = 0; i < list.Count(); ++i) {
    const TQuelbaLocation* e = list.Get(i);
    if (e->Kind < 2 || !e->Module || (e->Module->Handle != exe && e->Module->Handle != dll)) continue;
    byFile[e->Module->FileName].push_back(e);
  }
  ASSERT_FALSE(byFile.empty());
  for (const auto& [file, entries] : byFile) {
    std::vector<uint32_t> offsets;
    for (const TQuelbaLocation* e : entries) offsets.push_back(e->Address - static_cast<uint32_t>(e->Module->Handle));
    std::vector<TSourceLine> theirs = Addr2Line(file, offsets);
    ASSERT_EQ(theirs.size(), entries.size()) << file;
    for (size_t i = 0; i < entries.size(); ++i) {
      const TQuelbaLocation* e = entries[i];
      std::string name = theirs[i].Routine;
      EXPECT_TRUE(SameRoutine(e->RoutineName, name)) << std::hex << e->Address << ": " << e->RoutineName << " vs " << name;
      if (e->Kind == 4) EXPECT_EQ(e->Line, theirs[i].Line) << std::hex << e->Address << " " << name;
    }
  }
}

// A routine name as the debug data gives it, with a parameter list ("(int)") or a
// stack-argument size ("@4") after `bare`.
bool IsRoutine(const std::string& name, const std::string& bare) {
  return name.compare(0, bare.size(), bare) == 0 &&
         (name.size() == bare.size() || name[bare.size()] == '(' || name[bare.size()] == '@');
}

// Whether `names` appear in the walk in this order (other entries between allowed;
// entries the cleaning blanked, such as repeated recursion sites, keep their names).
bool HasOrderedChain(TQuelbaStackList& list, const std::vector<std::string>& names) {
  size_t next = 0;
  for (int i = 0; i < list.Count() && next < names.size(); ++i)
    if (IsRoutine(list.Get(i)->RoutineName, names[next])) ++next;
  return next == names.size();
}

int CountRoutine(TQuelbaStackList& list, const std::string& bare) {
  int count = 0;
  for (int i = 0; i < list.Count(); ++i) count += IsRoutine(list.Get(i)->RoutineName, bare);
  return count;
}

std::string Describe(TQuelbaStackList& list) {
  std::ostringstream out;
  for (int i = 0; i < list.Count(); ++i) {
    const TQuelbaLocation* e = list.Get(i);
    out << std::hex << e->Address << std::dec << " k" << int(e->Kind) << " " << e->UnitName << "|" << e->RoutineName
        << ":" << e->Line << "\n";
  }
  return out.str();
}

TWalkOptions AllKinds() {
  TWalkOptions options;
  options.Accepted = KindBit(1) | KindBit(2) | KindBit(3) | KindBit(4);
  return options;
}

// A plain frame-pointer walk: the return address above each saved frame pointer.
std::vector<uint32_t> FramePointerWalk(uint32_t ebp, uint32_t top) {
  std::vector<uint32_t> out;
  uint32_t frame[2];
  while (ebp && ebp < top && out.size() < 1024 && ProcessMemory().Read(ebp, frame, 8)) {
    out.push_back(frame[1]);
    if (frame[0] <= ebp) break;
    ebp = frame[0];
  }
  return out;
}

// The return address of its call: a place after a call in the caller.
__attribute__((noinline)) uint32_t WalkTestReturnAddress() {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

struct TParkedThread {
  TParking parking;
  HANDLE handle = nullptr;
  TParkedThread(LPTHREAD_START_ROUTINE start, int recursion = 0, SIZE_T stack = 0, DWORD flags = 0, DWORD wait = 10000) {
    parking.Recursion = recursion;
    handle = CreateThread(nullptr, stack, start, &parking, flags, nullptr);
    EXPECT_EQ(WaitForSingleObject(parking.Parked, wait), WAIT_OBJECT_0);
  }
  ~TParkedThread() {
    SetEvent(parking.Release);
    WaitForSingleObject(handle, 10000);
    CloseHandle(handle);
  }
};

TEST(StackWalkWin, AnotherThreadsChainThroughProgramAndLibrary) {
  ASSERT_NE(WalkDll(), nullptr);
  const std::vector<std::string> chain = {"WalkTestParkHere", "WalkDllLevel", "WalkDllLevel", "WalkDllLevel",
                                          "WalkDllLevel", "WalkDllChain", "WalkTestExeLevel"};
  {
    TParkedThread raw(&WalkTestRawThread);
    ASSERT_TRUE(SetThreadPriority(raw.handle, THREAD_PRIORITY_LOWEST));
    std::unique_ptr<TQuelbaStackList> list = WalkThread(raw.handle, AllKinds());
    ASSERT_TRUE(list);
    EXPECT_TRUE(HasOrderedChain(*list, chain)) << Describe(*list);
    EXPECT_TRUE(HasOrderedChain(*list, {"WalkTestExeLevel", "WalkTestRawThread"})) << Describe(*list);
    EXPECT_EQ(list->Get(0)->IsFirst, 0) << "only the raising thread's first entry is marked";
    for (int i = 0; i < list->Count(); ++i) EXPECT_EQ(list->Get(i)->ThreadPriority, THREAD_PRIORITY_LOWEST);
    // The stack top a caller already knows walks the same stack.
    std::unique_ptr<TQuelbaStackList> again =
        WalkThread(raw.handle, AllKinds(), StackTopOfThread(GetThreadId(raw.handle)));
    ASSERT_TRUE(again);
    EXPECT_EQ(Describe(*again), Describe(*list));
    ExpectEntriesMatchAddr2Line(*list);

    // A scan started below the thread's stack pointer, over its guard page,
    // reads around it and leaves it a guard page.
    TThreadPosition position;
    ASSERT_TRUE(ReadThreadPosition(raw.handle, position));
    MEMORY_BASIC_INFORMATION info{};
    uint32_t at = position.Esp & ~0xFFFu;
    while (at > 0x10000 && VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info) &&
           info.State == MEM_COMMIT && !(info.Protect & PAGE_GUARD))
      at -= 0x1000;
    ASSERT_TRUE(info.Protect & PAGE_GUARD) << "no guard page below the stack";
    // A return address of this thread's planted in the unused stack just above the
    // guard page: the scan reads past the guard page and finds it.
    auto* slot = reinterpret_cast<volatile uint32_t*>(static_cast<uintptr_t>(at + 0x1000));
    ASSERT_LT(at + 0x1000 + 0x100, position.Esp) << "no unused stack below the stack pointer";
    const uint32_t planted = WalkTestReturnAddress(), kept = *slot;
    *slot = planted;
    auto low = BuildStackList(0, at - 0x1000, at + 0x3000, AllKinds());
    *slot = kept;
    ASSERT_TRUE(low);
    bool found = false;
    // Listed at its call: a few bytes before the return address.
    for (int i = 0; i < low->Count(); ++i) found |= low->Get(i)->Address < planted && planted - low->Get(i)->Address <= 7;
    EXPECT_TRUE(found) << std::hex << planted << "\n" << Describe(*low);
    ASSERT_TRUE(VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info));
    EXPECT_TRUE(info.Protect & PAGE_GUARD) << "the walk touched the guard page";
  }
  {
    TParking parking;
    TWalkTestThread thread(&parking);
    thread.Start();
    ASSERT_EQ(WaitForSingleObject(parking.Parked, 10000), WAIT_OBJECT_0);
    std::unique_ptr<TQuelbaStackList> list = WalkThread(reinterpret_cast<HANDLE>(thread.Handle()), AllKinds());
    ASSERT_TRUE(list);
    SetEvent(parking.Release);
    EXPECT_TRUE(HasOrderedChain(*list, chain)) << Describe(*list);
    ExpectEntriesMatchAddr2Line(*list);
  }
}

TEST(StackWalkWin, DeepRecursionIsScannedOverItsBoundOnly) {
  TParkedThread deep(&WalkTestRecurseThread, 5000, 4 << 20);
  std::unique_ptr<TQuelbaStackList> list = WalkThread(deep.handle, AllKinds());
  ASSERT_TRUE(list);
  int recursions = CountRoutine(*list, "WalkTestRecurse");
  uint32_t frame = static_cast<uint32_t>(deep.parking.Frames[0] - deep.parking.Frames[1]);
  ASSERT_GT(frame, 0u);
  int expected = static_cast<int>(StackScanLimit / frame);
  EXPECT_LE(list->Count(), StackListLimit);
  EXPECT_GE(recursions, expected - 12) << "frame " << frame;
  EXPECT_LE(recursions, expected + 1) << "frame " << frame;
}

TEST(StackWalkWin, GarbageFramePointerStopsFrameWalkNotScan) {
  TParkedThread garbled(&WalkTestGarbledThread);
  std::unique_ptr<TQuelbaStackList> list = WalkThread(garbled.handle, AllKinds());
  ASSERT_TRUE(list);
  EXPECT_TRUE(HasOrderedChain(*list, {"WalkTestParkHere", "WalkTestGarbled", "WalkTestGarbledThread"}))
      << Describe(*list);
  TThreadPosition position;
  ASSERT_TRUE(ReadThreadPosition(garbled.handle, position));
  auto inside = [](uint32_t address, const void* routine) {
    uint32_t start = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(routine));
    return address > start && address < start + 64;
  };
  bool reachedGarbled = false, pastGarbage = false;
  for (uint32_t address : FramePointerWalk(position.Ebp, position.StackTop)) {
    reachedGarbled |= inside(address, reinterpret_cast<const void*>(&WalkTestGarbled));
    pastGarbage |= inside(address, reinterpret_cast<const void*>(&WalkTestGarbledThread));
  }
  EXPECT_TRUE(reachedGarbled) << "the frame walk did not even reach the garbage";
  EXPECT_FALSE(pastGarbage) << "the frame walk got past the garbage";
}

// A thread that overflowed its stack parks inside its exception handler.
struct TOverflowFrame {
  TOverflowFrame* Next;
  void* Handler;
};
TParking* overflowParking = nullptr;

extern "C" EXCEPTION_DISPOSITION __cdecl WalkTestOverflowHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    SetEvent(overflowParking->Parked);
    WaitForSingleObject(overflowParking->Release, INFINITE);
    ExitThread(3);
  }
  return ExceptionContinueSearch;
}

__attribute__((noinline)) int WalkTestOverflow(int depth) {
  volatile char room[256];
  room[depth & 255] = 1;
  return WalkTestOverflow(depth + 1) + room[3];
}

DWORD WINAPI WalkTestOverflowThread(void* argument) {
  overflowParking = static_cast<TParking*>(argument);
  volatile TOverflowFrame frame;
  TOverflowFrame* previous;
  asm volatile("movl %%fs:0, %0" : "=r"(previous));
  frame.Next = previous;
  frame.Handler = reinterpret_cast<void*>(&WalkTestOverflowHandler);
  asm volatile("movl %0, %%fs:0" : : "r"(&frame) : "memory");
  return static_cast<DWORD>(WalkTestOverflow(0));
}

TEST(StackWalkWin, ThreadThatOverflowedItsStackIsWalkedWithoutFault) {
  TParkedThread overflowed(&WalkTestOverflowThread, 0, 256 << 10, STACK_SIZE_PARAM_IS_A_RESERVATION, 20000);
  std::unique_ptr<TQuelbaStackList> list = WalkThread(overflowed.handle, AllKinds());
  ASSERT_TRUE(list);
  EXPECT_GT(CountRoutine(*list, "WalkTestOverflow"), 50) << Describe(*list);
}

TEST(StackWalkWin, KernelExportsEqualObjdumpAndUndocumentedCodeResolvesToExports) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(kernel, path, MAX_PATH);
  TQuelbaFunctionsList list;
  BuildExportList(reinterpret_cast<uintptr_t>(kernel), list);
  std::map<std::string, uintptr_t> ours;
  for (int i = 0; i < list.Count(); ++i) ours[list.Get(i)->Name] = list.Get(i)->Address;
  for (int i = 1; i < list.Count(); ++i) ASSERT_LE(list.Get(i - 1)->Address, list.Get(i)->Address);

  std::vector<std::string> lines = HostLines("i686-w64-mingw32-objdump -p '" + UnixPath(path) + "'");
  ASSERT_FALSE(lines.empty());
  std::map<int, std::string> rvaByIndex;  // "" for forwarders
  std::vector<std::pair<int, std::string>> names;
  int section = 0;
  for (const std::string& line : lines) {
    if (line.rfind("Export Address Table --", 0) == 0) section = 1;
    else if (line.rfind("[Ordinal/Name Pointer] Table", 0) == 0) section = 2;
    else if (line.empty() || line[0] != '\t') section = line.empty() ? section : 0;
    if (!section || line.size() < 3 || line[0] != '\t' || line[1] != '[') continue;
    int index = std::atoi(line.c_str() + 2);
    std::string rest = line.substr(line.find(']') + 1);
    if (section == 1) {
      std::istringstream fields(rest);
      std::string base, rva, kind;
      fields >> base;
      if (base == "+base[") fields >> base;  // "+base[ 12]" splits at the blank
      fields >> rva >> kind;
      rvaByIndex[index] = kind == "Forwarder" ? "" : rva;
    } else {
      names.emplace_back(index, rest.substr(rest.find_first_not_of(' ')));
    }
  }
  ASSERT_GT(names.size(), 500u);
  int outOfOrder = 0, checked = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto& [index, name] = names[i];
    outOfOrder += index != static_cast<int>(i);
    const std::string& rva = rvaByIndex[index];
    auto system = reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(kernel, name.c_str())));
    if (rva.empty()) {
      // A forwarder takes the system's answer; one the system cannot resolve is left out.
      EXPECT_EQ(ours.count(name) ? ours[name] : 0, system) << name;
    } else {
      ASSERT_TRUE(ours.count(name)) << name;
      EXPECT_EQ(ours[name] - reinterpret_cast<uintptr_t>(kernel), std::stoul(rva, nullptr, 16)) << name;
      ++checked;
    }
  }
  EXPECT_GT(outOfOrder, 0) << "names in ordinal order: the pairing rule is not tested";
  EXPECT_GT(checked, 100);

  TQuelbaLocation location;
  HMODULE bare = LoadLibraryA(Beside("walk_dll.dll").c_str());
  ASSERT_NE(bare, nullptr);
  auto chain = reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(bare, "WalkDllChain")));
  GetLocation(static_cast<uint32_t>(chain + 3), 0, location, false, 0);
  EXPECT_EQ(location.Kind, 2);
  EXPECT_EQ(location.RoutineName, "WalkDllChain");
}

// Naming reads only the exports whose code is the module's own: kernel32's list
// without its forwarders, every entry inside its image, each at the full list's
// address, and a library the forwarders name but nobody loaded stays unloaded.
TEST(StackWalkWin, OwnExportsAreTheExportsInsideTheModuleAndLoadNoLibrary) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const bool sixteenBitLoaded = GetModuleHandleA("krnl386.exe16") != nullptr;
  TQuelbaFunctionsList own, all;
  BuildOwnExportList(reinterpret_cast<uintptr_t>(kernel), own);
  if (!sixteenBitLoaded) EXPECT_EQ(GetModuleHandleA("krnl386.exe16"), nullptr);
  BuildExportList(reinterpret_cast<uintptr_t>(kernel), all);
  auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(kernel) +
                                                            reinterpret_cast<const IMAGE_DOS_HEADER*>(kernel)->e_lfanew);
  const uintptr_t base = reinterpret_cast<uintptr_t>(kernel), end = base + headers->OptionalHeader.SizeOfImage;
  std::map<std::string, uintptr_t> inside;
  for (int i = 0; i < all.Count(); ++i)
    if (all.Get(i)->Address >= base && all.Get(i)->Address < end) inside[all.Get(i)->Name] = all.Get(i)->Address;
  ASSERT_GT(inside.size(), 100u);
  ASSERT_LT(inside.size(), static_cast<size_t>(all.Count())) << "kernel32 forwards nothing: nothing to leave out";
  std::map<std::string, uintptr_t> ours;
  for (int i = 0; i < own.Count(); ++i) {
    ours[own.Get(i)->Name] = own.Get(i)->Address;
    if (i > 0) ASSERT_LE(own.Get(i - 1)->Address, own.Get(i)->Address);
  }
  EXPECT_EQ(ours, inside);
}

int AskHandled(void* caught) {
  int result = -1;
  *static_cast<bool*>(caught) = IsHandledByApplication(&result, "EAccessViolation", 0x1234, false, result);
  return result;
}

TEST(StackWalkWin, FrameTestCatchesInsideTheThreadGuardAndNotOnAnEmptyChain) {
  FrameTestCache().Clear();
  bool caught = false;
  EXPECT_EQ(RunThreadGuarded(&AskHandled, &caught), 0);
  EXPECT_TRUE(caught) << "inside the thread guard's frame";
  FrameTestCache().Clear();
  void* saved;
  asm volatile("movl %%fs:0, %0" : "=r"(saved));
  asm volatile("movl $-1, %%fs:0" : : : "memory");
  int result = -1;
  bool emptyCaught = IsHandledByApplication(&result, "EAccessViolation", 0x1234, false, result);
  asm volatile("movl %0, %%fs:0" : : "r"(saved) : "memory");
  EXPECT_FALSE(emptyCaught);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(IsHandledByApplication(&result, "EStackOverflow", 0x1234, true, result));
}

}  // namespace

extern "C" {
__attribute__((noinline)) uint32_t WalkTestIdHere(const TLoggedException* e) {
  volatile int keep = 1;
  return WalkCallStackId(*e, {}) + keep;
}
__attribute__((noinline)) uint32_t WalkTestPathA(const TLoggedException* e) {
  volatile int keep = 1;
  return WalkTestIdHere(e) + keep;
}
__attribute__((noinline)) uint32_t WalkTestPathB(const TLoggedException* e) {
  volatile int keep = 2;
  return WalkTestIdHere(e) + keep;
}
}

TEST(StackWalkWin, CallStackIdentifierFollowsThePath) {
  exclog::TLoggedException e;
  e.Address = reinterpret_cast<uintptr_t>(&WalkTestIdHere);
  uint32_t first[2], second = 0;
  for (volatile int i = 0; i < 2; ++i) first[i] = WalkTestPathA(&e) - 1;  // one call site
  second = WalkTestPathB(&e) - 2;
  EXPECT_EQ(first[0], first[1]);
  EXPECT_NE(first[0], second);
}

extern "C" {
// Leaves `value` in the stack slots below the caller's: what the next call there
// finds in the slots it does not write.
__attribute__((noinline)) void WalkTestScribble(uint32_t value) {
  [[maybe_unused]] volatile uint32_t slots[256];
  for (int i = 0; i < 256; ++i) slots[i] = value;
}
// A path whose frame has slots it never writes.
__attribute__((noinline)) uint32_t WalkTestRoomyPath(const TLoggedException* e) {
  volatile uint32_t room[64];
  room[0] = 1;
  return WalkTestIdHere(e) + room[0];
}
// With a frame of its own (a local), as the program's routines have.
__attribute__((noinline)) void WalkTestFault() {
  [[maybe_unused]] volatile int frame = 0;
  asm volatile("ud2");
  frame = 1;
}
__attribute__((noinline)) int WalkTestFaultA() { return WalkTestFault(), 1; }
__attribute__((noinline)) int WalkTestFaultB() { return WalkTestFault(), 2; }
}

namespace {

std::vector<uint32_t> faultIds;

// Identifies each fault of WalkTestFault from its context, as the filter does,
// and steps over it.
LONG CALLBACK IdentifyFault(EXCEPTION_POINTERS* info) {
  auto at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
  auto fault = reinterpret_cast<uintptr_t>(&WalkTestFault);
  if (at < fault || at >= fault + 16) return EXCEPTION_CONTINUE_SEARCH;
  TLoggedException e;
  e.Address = at;
  const CONTEXT& c = *info->ContextRecord;
  faultIds.push_back(WalkCallStackId(e, {c.Eip, c.Esp, c.Ebp, StackTopOfThread(GetCurrentThreadId())}));
  info->ContextRecord->Eip += 2;  // over the ud2
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

TEST(StackWalkWin, StaleReturnAddressesNeitherInUnusedSlotsNorUnderTheHandlerChangeTheIdentifier) {
  exclog::TLoggedException e;
  e.Address = reinterpret_cast<uintptr_t>(&WalkTestIdHere);
  auto stale = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
  ASSERT_TRUE(CallBefore(ProcessMemory(), stale).Found) << "not a return address";
  // Each path is called from one call site, once over a clean stack, then over
  // one that holds a call's return address in every slot.
  volatile int runs = 2;  // an unknown count: the loop stays one call site
  uint32_t ids[2];
  for (int i = 0; i < runs; ++i) {
    WalkTestScribble(i ? stale : 0);
    ids[i] = WalkTestRoomyPath(&e);
  }
  EXPECT_EQ(ids[0], ids[1]) << "a stale slot entered the identifier";

  // From a fault's context: the raising path, not the handler's, whatever the
  // stack held before.
  faultIds.clear();
  PVOID handler = AddVectoredExceptionHandler(1, IdentifyFault);
  int (*const paths[])() = {&WalkTestFaultA, &WalkTestFaultA, &WalkTestFaultB};
  runs = 3;
  for (int i = 0; i < runs; ++i) {
    WalkTestScribble(i ? stale : 0);
    paths[i]();
  }
  RemoveVectoredExceptionHandler(handler);
  ASSERT_EQ(faultIds.size(), 3u);
  EXPECT_EQ(faultIds[0], faultIds[1]) << "one site";
  EXPECT_NE(faultIds[0], faultIds[2]) << "two sites";
}

namespace {

// Rows of the library's own source in objdump's decoded line table: module-relative
// addresses of every routine start and line.
std::vector<uint32_t> LineAddresses(const std::string& windowsPath) {
  uint32_t base = FileImageBase(windowsPath);
  std::vector<uint32_t> out;
  for (const std::string& line : HostLines("i686-w64-mingw32-objdump --dwarf=decodedline -w '" + UnixPath(windowsPath) + "'")) {
    std::istringstream fields(line);
    std::string file, number, address;
    fields >> file >> number >> address;
    if (file.size() < 11 || file.compare(file.size() - 11, 11, "WalkDll.cpp") != 0) continue;
    if (number.find_first_not_of("0123456789") != std::string::npos || address.rfind("0x", 0) != 0) continue;
    uint32_t offset = static_cast<uint32_t>(std::stoul(address, nullptr, 16)) - base;
    if (std::find(out.begin(), out.end(), offset) == out.end()) out.push_back(offset);
  }
  return out;
}

TEST(StackWalkWin, OutsideDebugFormsResolveEveryLineLikeAddr2Line) {
  UseWalkerSeams();
  for (const char* form : {"walk_map", "walk_jdbg", "walk_res", "walk_both", "walk_tds", "walk_td32"}) {
    std::string path = Beside(std::string(form) + ".dll");
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << path;
    TModuleRef record = FindModule(reinterpret_cast<uintptr_t>(module));
    ASSERT_TRUE(record) << form;
    ASSERT_TRUE(record->DebugSource) << form << " " << record->FileName << " " << record->ModuleKind << " "
                                     << (CreateOutsideDebugSource(reinterpret_cast<uintptr_t>(module)) != nullptr);
    auto* reader = static_cast<TQLDebugInfoSource*>(record->DebugSource);
    if (std::string(form) == "walk_both") EXPECT_TRUE(dynamic_cast<TQLDebugInfoMap*>(reader)) << "the map wins";
    if (std::string(form).rfind("walk_td", 0) == 0) EXPECT_TRUE(dynamic_cast<TQLDebugInfoTD32*>(reader)) << form;
    std::vector<uint32_t> offsets = LineAddresses(path);
    ASSERT_GT(offsets.size(), 8u) << form;
    std::vector<TSourceLine> theirs = Addr2Line(path, offsets);
    ASSERT_EQ(theirs.size(), offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
      TQuelbaLocation location;
      GetLocation(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module) + offsets[i]), 0, location, false, 0);
      EXPECT_EQ(location.Kind, 4) << form << " " << std::hex << offsets[i];
      EXPECT_EQ(location.RoutineName, theirs[i].Routine) << form << " " << std::hex << offsets[i];
      EXPECT_EQ(location.Line, theirs[i].Line) << form << " " << std::hex << offsets[i];
      EXPECT_EQ(location.UnitName, "WalkDll") << form;
    }
    // Kept loaded: a later copy at the same address would meet this record.
  }
}

}  // namespace
