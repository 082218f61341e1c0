#include "exclog/leaks/ELeakUnit_win.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "classlib/Memory.h"
#include "classlib/System.h"
#include "exclog/core/ECoreUnit.h"
#include "exclog/core/ECore_win.h"
#include "exclog/leaks/ELeakStart.h"

namespace exclog {

namespace {

TLeakLoggerSeam loggerSeam;
int messageSwitch = 2;
bool started = false;
uint8_t runningOptions = 0;

void BoxMessage(const char* text) {
  MessageBoxA(nullptr, text, "Error", MB_ICONWARNING | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
}
TLeakMessageSink messageSink = &BoxMessage;

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(address), &module);
  return module;
}

// The module's "QLDATA" resource, or null.
const uint8_t* LoggerData(HMODULE module, size_t& size) {
  size = 0;
  HRSRC found = FindResourceA(module, "QLDATA", MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) return nullptr;
  size = SizeofResource(module, found);
  return static_cast<const uint8_t*>(LockResource(loaded));
}


// The logger hands its reporter over after the collector started.
void ForwardError(TLeakError error, void* block, void* caller) {
  if (loggerSeam.OnError) loggerSeam.OnError(error, block, caller);
}

// During the shut-down pass: one byte per 4 KiB page of the address space, 0 not
// asked yet, 1 readable, 2 not. Its memory comes from the system, never from a
// memory manager the pass looks at.
constexpr size_t kPageShift = 12;
uint8_t* pagesCache = nullptr;

bool PagesCache(bool create) {
  if (pagesCache) VirtualFree(pagesCache, 0, MEM_RELEASE);
  pagesCache = nullptr;
  if (create)
    pagesCache = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size_t(1) << (32 - kPageShift), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  return !create || pagesCache;
}

// A range inside one page takes the page's answer, asked once.
bool Readable(const void* address, size_t size) {
  const auto at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
  if (!pagesCache || size == 0 || at + (size - 1) < at || (at >> kPageShift) != ((at + size - 1) >> kPageShift))
    return IsReadable(address, size);
  uint8_t& known = pagesCache[at >> kPageShift];
  if (!known) known = IsReadable(address, size) ? 1 : 2;
  return known == 1;
}

uint32_t AddressOf(const void* routine) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(routine)); }

// The threads allocating for the logger now, by id; no thread-local storage, which
// would allocate or touch the last error on every allocation.
constexpr int kOwnSlots = 8;
std::atomic<uint32_t> ownThreads[kOwnSlots];
std::atomic<int> ownClaimed{0};

bool OwnAllocation() {
  if (ownClaimed.load(std::memory_order_relaxed) == 0) return false;
  const uint32_t self = GetCurrentThreadId();
  for (const std::atomic<uint32_t>& slot : ownThreads)
    if (slot.load(std::memory_order_relaxed) == self) return true;
  return false;
}

// An exception registration record of the thread's chain with the place to
// resume at when the step faults.
struct TStepFrame {
  TStepFrame* Next;
  void* Handler;
  void* Resume[5];  // __builtin_setjmp's buffer
};

EXCEPTION_DISPOSITION __cdecl StepFaultHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  __builtin_longjmp(static_cast<TStepFrame*>(frame)->Resume, 1);
}

TStepFrame* CurrentFrameChain() {
  TStepFrame* chain;
  asm volatile("movl %%fs:0, %0" : "=r"(chain));
  return chain;
}

void SetFrameChain(TStepFrame* chain) { asm volatile("movl %0, %%fs:0" : : "r"(chain) : "memory"); }

// Kept apart so that the jump back lands in a frame of its own.
__attribute__((noinline)) bool RunStep(TStepFrame& frame, void (*step)(void*), void* context) {
  if (__builtin_setjmp(frame.Resume)) return false;
  try {
    step(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool GuardedLeakStep(void (*step)(void* context), void* context) {
  TStepFrame frame{};
  frame.Next = CurrentFrameChain();
  frame.Handler = reinterpret_cast<void*>(&StepFaultHandler);
  SetFrameChain(&frame);
  bool done = RunStep(frame, step, context);
  // After a fault the chain still holds the dispatcher's records: ours goes too.
  SetFrameChain(frame.Next);
  return done;
}

TLeakOwnAllocations::TLeakOwnAllocations() {
  if (OwnAllocation()) return;  // an outer one holds the thread
  const uint32_t self = GetCurrentThreadId();
  for (int i = 0; i < kOwnSlots; ++i) {
    uint32_t empty = 0;
    if (ownThreads[i].compare_exchange_strong(empty, self)) {
      slot_ = i;
      ownClaimed.fetch_add(1);
      return;
    }
  }
}

TLeakOwnAllocations::~TLeakOwnAllocations() {
  if (slot_ < 0) return;
  ownThreads[slot_].store(0);
  ownClaimed.fetch_sub(1);
}

void CaptureThreadStacks(TLeakHeader& header, const uintptr_t* position, const uintptr_t* frame) {
  auto* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  RecordStacks(header, position, static_cast<const uintptr_t*>(tib->StackBase), frame);
}

void YieldThread() { SwitchToThread(); }

void SetLeakLoggerSeam(const TLeakLoggerSeam& seam) { loggerSeam = seam; }

TLeakMessageSink SetLeakMessageSink(TLeakMessageSink sink) {
  TLeakMessageSink old = messageSink;
  messageSink = sink ? sink : &BoxMessage;
  return old;
}

void ShowLeakMessage(const char* text) { messageSink(text); }

void SetLeakMessageSwitch(int value) { messageSwitch = value; }

void LeakUnitStart() {
  if (started) return;
  HMODULE own = ModuleOf(reinterpret_cast<const void*>(&LeakUnitStart));
  HMODULE main = GetModuleHandleA(nullptr);
  TLeakStartData data;
  data.Own = LoggerData(own, data.OwnSize);
  if (own != main) data.Main = LoggerData(main, data.MainSize);
  data.InsideDevelopmentEnvironment = InsideDevelopmentEnvironment();
  data.BaseClassElsewhere = ModuleOf(TObject::StaticClass()) != own;
  uint8_t options = LeakStartOptions(data);
  if (data.BaseClassElsewhere) {
    data.BaseClassElsewhere = false;
    if (LeakStartOptions(data) && messageSwitch == 1) {
      std::string name = ModuleFileName(own);
      name.erase(0, name.find_last_of("\\/") + 1);
      std::string text = "The \"Memory Leaks Catches\" is disabled in the \"" + name +
                         "\" module, because compiled with RunTime-Packages.";
      messageSink(text.c_str());
    }
    return;
  }
  if (!options) return;
  TLeakSettings settings;
  GetMemoryManager(settings.Previous);
  settings.Options = options;
  settings.Capture = &CaptureThreadStacks;
  settings.OnError = &ForwardError;
  settings.Yield = &YieldThread;
  settings.Untracked = &OwnAllocation;
  SetMemoryManager(LeakStart(settings));
  runningOptions = options;
  started = true;
}

void LeakUnitStop() {
  if (!started) return;
  started = false;
  TMemoryManager back = LeakStopCatching();
  SetMemoryManager(back);  // allocation goes back; free and reallocation stay header-aware
  // Where the class library's allocating calls lead: the stack starts at the line
  // that called one of them.
  static const uint32_t objectPoints[] = {
      AddressOf(reinterpret_cast<const void*>(static_cast<void* (*)(size_t)>(&TObject::operator new))),
      AddressOf(reinterpret_cast<const void*>(&::GetObjectMem))};
  static const uint32_t dataPoints[] = {
      AddressOf(reinterpret_cast<const void*>(static_cast<void* (*)(size_t)>(&::operator new))),
      AddressOf(reinterpret_cast<const void*>(static_cast<void* (*)(size_t)>(&::operator new[]))),
      AddressOf(reinterpret_cast<const void*>(&::GetMem)), AddressOf(reinterpret_cast<const void*>(&::ReallocMem))};
  TLeakProcessing processing;
  processing.Options = runningOptions;
  processing.Memory = &ProcessMemory();
  processing.Check = &Readable;
  processing.PagesCache = &PagesCache;
  processing.Trim = TLeakTrimPoints{objectPoints, 2, dataPoints, 4};
  processing.Guarded = loggerSeam.Guarded ? loggerSeam.Guarded : &GuardedLeakStep;
  processing.Begin = loggerSeam.Begin;
  processing.Leak = loggerSeam.Leak;
  processing.End = loggerSeam.End;
  processing.Message = messageSink;
  processing.ShowForeignManager = messageSwitch == 1;
  ProcessLeaks(processing);
  if (loggerSeam.Finished) loggerSeam.Finished();
}

}  // namespace exclog
