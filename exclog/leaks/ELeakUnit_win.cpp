#include "exclog/leaks/ELeakUnit_win.h"

#include <windows.h>

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

bool Readable(const void* address, size_t size) { return IsReadable(address, size); }

uint32_t AddressOf(const void* routine) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(routine)); }

}  // namespace

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
  processing.Trim = TLeakTrimPoints{objectPoints, 2, dataPoints, 4};
  processing.Guarded = loggerSeam.Guarded;
  processing.Begin = loggerSeam.Begin;
  processing.Leak = loggerSeam.Leak;
  processing.End = loggerSeam.End;
  processing.Message = messageSink;
  processing.ShowForeignManager = messageSwitch == 1;
  ProcessLeaks(processing);
  if (loggerSeam.Finished) loggerSeam.Finished();
}

}  // namespace exclog
