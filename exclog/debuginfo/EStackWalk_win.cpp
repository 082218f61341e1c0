#include "exclog/debuginfo/EStackWalk_win.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "exclog/core/ECore_win.h"
#include "exclog/core/ECoreUnit.h"
#include "exclog/core/EEncrypt.h"
#include "exclog/debuginfo/EExports.h"
#include "exclog/debuginfo/EImageHeaders.h"
#include "exclog/hooks/EHook.h"
#include "exclog/debuginfo/ELocation.h"
#include "exclog/debuginfo/EDebugInfoSources.h"
#include "exclog/debuginfo/EModules_win.h"

namespace exclog {

namespace {

uint32_t Address32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

TLocator ProcessLocator(const TWalkOptions& options) {
  bool useDebug = options.UseDebugData;
  uint32_t frame = options.ThreadId;
  uint8_t kind = options.ThreadKind;
  return [useDebug, frame, kind](uint32_t address, TQuelbaLocation& location, bool isFirst) {
    if (useDebug) {
      GetLocation(address, frame, location, isFirst, kind);
    } else {
      location.Module = ModuleOfAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
      location.Address = address;
      location.Kind = location.Module ? 1 : 0;
    }
  };
}

// The thread information block of another thread, from the system's basic
// thread information.
uint32_t TebOf(HANDLE thread) {
  using TQuery = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  struct {
    LONG ExitStatus;
    void* TebBaseAddress;
    void* Ids[2];
    ULONG_PTR Affinity;
    LONG Priority, BasePriority;
  } basic{};
  if (query && query(thread, 0, &basic, sizeof basic, nullptr) == 0) return Address32(basic.TebBaseAddress);
  return 0;
}

}  // namespace

void GetLocation(uint32_t address, uint32_t frameValue, TQuelbaLocation& record, bool isFirst, uint8_t threadKind,
                 bool exact) {
  record = TQuelbaLocation{};
  record.Module = ModuleOfAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
  record.ThreadKind = threadKind;
  record.IsFirst = isFirst ? 1 : 0;
  record.FrameValue = frameValue;
  LocateInModule(address, record, ProcessMemory(), exact);
}

bool InFramedOwnRoutine(uint32_t address) {
  TModuleRef module = ModuleOfAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
  if (!module || !module->DebugData) return false;
  std::optional<TQLDebugLocation> own = module->DebugData->FindLocation(static_cast<uint32_t>(address - module->Handle));
  if (!own) return false;
  uint32_t start = static_cast<uint32_t>(module->Handle) + own->RoutineOffset;
  // push ebp; mov ebp, esp (either encoding), or first the realignment of a
  // routine that aligns its stack (lea ecx, [esp+4]; and esp, -16; push [ecx-4]).
  static const uint8_t realign[10] = {0x8D, 0x4C, 0x24, 0x04, 0x83, 0xE4, 0xF0, 0xFF, 0x71, 0xFC};
  uint8_t code[13];
  if (!ProcessMemory().Read(start, code, 3)) return false;
  uint32_t frameAt = 0;
  if (code[0] == 0x55) {
    frameAt = start;
  } else if (ProcessMemory().Read(start, code, 13) && std::memcmp(code, realign, 10) == 0) {
    frameAt = start + 10;
    std::memmove(code, code + 10, 3);
  } else {
    return false;
  }
  if (address < frameAt + 3 || code[0] != 0x55) return false;
  return (code[1] == 0x89 && code[2] == 0xE5) || (code[1] == 0x8B && code[2] == 0xEC);
}

std::unique_ptr<TQuelbaStackList> BuildStackList(uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                                                 const TWalkOptions& options, const TMemoryView& stack) {
  auto list = std::make_unique<TQuelbaStackList>();
  TWalkOptions effective = options;
  effective.DevelopmentEnvironment = InsideDevelopmentEnvironment();
  BuildStackList(*list, first, stackStart, stackEnd, effective, stack, ProcessLocator(effective));
  return list;
}

std::unique_ptr<TQuelbaStackList> BuildStackList(uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                                                 const TWalkOptions& options) {
  return BuildStackList(first, stackStart, stackEnd, options, ProcessMemory());
}

bool ReadThreadPosition(HANDLE thread, TThreadPosition& position) {
  if (SuspendThread(thread) == static_cast<DWORD>(-1)) return false;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  bool ok = GetThreadContext(thread, &context) != 0;
  uint32_t teb = ok ? TebOf(thread) : 0;
  uint32_t top = 0;
  ok = ok && teb && ProcessMemory().ReadU32(teb + 4, top);
  ResumeThread(thread);
  if (!ok) return false;
  position.Eip = context.Eip;
  position.Esp = context.Esp;
  position.Ebp = context.Ebp;
  position.StackTop = top;
  return true;
}

uint32_t StackTopOfThread(uint32_t threadId) {
  if (threadId == GetCurrentThreadId()) return Address32(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
  HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
  if (!thread) return 0;
  uint32_t teb = TebOf(thread), top = 0;
  CloseHandle(thread);
  return teb && ProcessMemory().ReadU32(teb + 4, top) ? top : 0;
}

std::unique_ptr<TQuelbaStackList> WalkThread(HANDLE thread, const TWalkOptions& options, uint32_t stackTop) {
  if (SuspendThread(thread) == static_cast<DWORD>(-1)) return nullptr;
  std::unique_ptr<TQuelbaStackList> list;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  uint32_t top = stackTop, teb = 0;
  TWalkOptions other = options;
  other.MarkFirst = false;
  const int priority = GetThreadPriority(thread);
  if (priority != THREAD_PRIORITY_ERROR_RETURN) other.ThreadPriority = priority;
  if (GetThreadContext(thread, &context) &&
      (top || ((teb = TebOf(thread)) && ProcessMemory().ReadU32(teb + 4, top)))) {
    other.FramePointer = context.Ebp;
    if (!other.InFramedRoutine) other.InFramedRoutine = &InFramedOwnRoutine;
    list = BuildStackList(context.Eip, context.Esp, top, other);
  }
  ResumeThread(thread);
  return list;
}

namespace {

void FillFunctionList(TQuelbaFunctionsList& list, std::vector<TQuelbaFunctionInfo> routines) {
  list.Clear();
  TCriticalSectionLock hold(list.Section());
  for (TQuelbaFunctionInfo& routine : routines) list.TList::Add(new TQuelbaFunctionInfo(std::move(routine)));
}

}  // namespace

void BuildExportList(uintptr_t module, TQuelbaFunctionsList& list) {
  TExportWalkOptions options;
  // A forwarder to a library already loaded is looked up in that library's own
  // table, as the loader would, following a forwarder there too: the loader's own
  // lookup searches for the library by name each time (under Wine 45-250 us a
  // forwarder, and a system library has hundreds). A library not loaded yet is
  // left to the loader, which loads it as it resolves the first such forwarder.
  std::map<std::string, std::unique_ptr<TExportIndex>> libraries;
  auto indexOf = [&libraries](const std::string& library, bool lookUp) -> const TExportIndex* {
    auto found = libraries.find(library);
    if (found == libraries.end()) {
      if (!lookUp) return nullptr;
      // The loader's naming: a library named without an extension is a ".dll".
      std::string file = library.find('.') == std::string::npos ? library + ".dll" : library;
      HMODULE loaded = GetModuleHandleA(file.c_str());
      found = libraries
                  .emplace(library, loaded ? std::make_unique<TExportIndex>(ProcessMemory(), Address32(loaded)) : nullptr)
                  .first;
    }
    return found->second.get();
  };
  auto libraryOf = [](const std::string& target) {
    size_t dot = target.rfind('.');
    return dot == std::string::npos ? std::string() : target.substr(0, dot);
  };
  // `lookUp`: whether a library not met before is looked for (once the loader had
  // its turn with it).
  auto inLibrary = [&](std::string target, bool lookUp) -> uint32_t {
    for (int hop = 0; hop < 8; ++hop) {
      size_t dot = target.rfind('.');
      if (dot == std::string::npos || dot == 0 || dot + 1 >= target.size() || target[dot + 1] == '#') return 0;
      const TExportIndex* index = indexOf(target.substr(0, dot), lookUp || hop > 0);
      if (!index) return 0;
      std::string next;
      if (uint32_t address = index->AddressOf(target.substr(dot + 1), &next)) return address;
      if (next.empty()) return 0;
      target = next;
    }
    return 0;
  };
  options.ResolveForwarder = [&, module](const std::string& name, const std::string& target) {
    if (uint32_t address = inLibrary(target, false)) return address;
    uint32_t address =
        Address32(reinterpret_cast<const void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name.c_str())));
    // The loader may have loaded the library just now: later forwarders find it.
    const std::string library = libraryOf(target);
    if (!library.empty()) indexOf(library, true);
    return address;
  };
  options.PushJumpStubs = Win32Platform() == VER_PLATFORM_WIN32_WINDOWS;
  FillFunctionList(list, ReadExportList(ProcessMemory(), static_cast<uint32_t>(module), options));
}

void BuildOwnExportList(uintptr_t module, TQuelbaFunctionsList& list) {
  // No forwarder resolver: forwarded exports are left out, and no library is loaded
  // to resolve one (under Wine kernel32's first forwarder to its 16-bit half loads
  // three libraries, about 9 ms of a first report).
  TExportWalkOptions options;
  options.PushJumpStubs = Win32Platform() == VER_PLATFORM_WIN32_WINDOWS;
  FillFunctionList(list, ReadExportList(ProcessMemory(), static_cast<uint32_t>(module), options));
}

uintptr_t RoutineByName(const std::string& moduleName, const std::string& routineName) {
  HMODULE module = GetModuleHandleA(moduleName.c_str());
  if (!module) return 0;
  return reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(module, routineName.c_str())));
}

uintptr_t RoutineBySymbolId(int) { return 0; }

// --- Exception-frame test ----------------------------------------------------------

TFrameTestSeams& FrameTestSeams() {
  static TFrameTestSeams seams;
  return seams;
}

TFrameTestCache& FrameTestCache() {
  static TFrameTestCache cache;
  return cache;
}

namespace {

// The code of the logger's own units: debug-data units whose source lies in exclog/.
const std::vector<std::pair<uint32_t, uint32_t>>& LoggerCodeRanges() {
  static const std::vector<std::pair<uint32_t, uint32_t>> ranges = [] {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    HMODULE own = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&LoggerCodeRanges), &own);
    TModuleRef module = FindModule(reinterpret_cast<uintptr_t>(own));
    if (!module || !module->DebugData) return out;
    for (const auto& unit : module->DebugData->Units()) {
      if (unit.SourceFile.rfind("exclog/", 0) != 0 && unit.SourceFile.find("/exclog/") == std::string::npos) continue;
      uint32_t start = static_cast<uint32_t>(module->Handle) + unit.Start;
      out.emplace_back(start, start + unit.Size);
    }
    return out;
  }();
  return ranges;
}

uintptr_t threadGuardHandler = 0;

int ClassifyHandler(uint32_t handler) {
  const uint32_t guard = static_cast<uint32_t>(threadGuardHandler);
  const TMemoryView& memory = ProcessMemory();
  uint32_t target = ThroughJumpThunk(memory, handler);
  if (target == guard) return 1;
  uint8_t jump[5];
  if (memory.Read(target, jump, 5) && jump[0] == 0xE9) {
    uint32_t relative;
    std::memcpy(&relative, jump + 1, 4);
    if (ThroughJumpThunk(memory, target + 5 + relative) == guard) return 1;
  }
  return 0;
}

}  // namespace

bool IsHandledByApplication(const void* exception, const std::string& className, uintptr_t address, bool force,
                            int& result) {
  const TFrameTestSeams& seams = FrameTestSeams();
  TFrameTestRequest request;
  request.Exception = reinterpret_cast<uintptr_t>(exception);
  request.Address = address;
  request.StackOverflow = className == "EStackOverflow";
  request.FrameworkHandlerActive = seams.FrameworkHandlerActive && seams.FrameworkHandlerActive();
  request.MarkedHandled = seams.MarkedHandled && seams.MarkedHandled();
  request.Force = force;
  request.CleanupNotCaught = ((seams.CatchFlags ? seams.CatchFlags() : 88) & 0x40) != 0;

  NT_TIB* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  TFrameTestSetup setup;
  setup.Memory = &ProcessMemory();
  setup.ChainHead = Address32(tib->ExceptionList);
  setup.StackLow = Address32(tib->StackLimit);
  setup.StackHigh = Address32(tib->StackBase);
  setup.Classify = &ClassifyHandler;
  setup.LoggerCode = LoggerCodeRanges();
  setup.RaiseAddress = static_cast<uint32_t>(seams.RaiseAddress ? seams.RaiseAddress() : 0);
  TFrameTestOutcome outcome = TestExceptionFrames(request, setup, FrameTestCache());
  result = outcome.Result;
  return outcome.Caught;
}

// --- Call-stack identifier ---------------------------------------------------------

namespace {

// Module file name and module-relative offset of a code address (the address
// itself outside every module): the same place in every run.
void AppendPlace(std::string& key, uint32_t address) {
  TModuleRef module = ModuleOfAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
  if (module) {
    key += module->FileName;
    address -= static_cast<uint32_t>(module->Handle);
  }
  key.append(reinterpret_cast<const char*>(&address), 4);
}

}  // namespace

uint32_t WalkCallStackId(const TLoggedException& e, const TStackValues& stack) {
  uint32_t low = stack.Esp, frame = stack.Ebp, top = stack.StackTop;
  if (!low || !top) {
    // No raising context: this thread's own path from here.
    low = frame = Address32(__builtin_frame_address(0));
    top = Address32(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
  }
  // A thread that ran on: only the copy shows its stack as it stood.
  std::optional<TOverlayMemory> copy;
  if (stack.StackCopy && stack.Esp) {
    copy.emplace(ProcessMemory(), stack.Esp, stack.StackCopy, stack.StackCopySize);
    top = std::min<uint32_t>(top, stack.Esp + stack.StackCopySize);
  }
  const TMemoryView& memory = copy ? static_cast<const TMemoryView&>(*copy) : ProcessMemory();

  std::string key;
  AppendPlace(key, e.Address ? static_cast<uint32_t>(e.Address) : stack.Eip);
  // The frame chain holds only the calls that are running; stale return addresses in
  // unused slots (which differ with whatever ran there before) never enter it.
  std::vector<uint32_t> sites = FrameChainCallSites(memory, frame, low, top, [](uint32_t at) {
    return static_cast<bool>(ModuleOfAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(at))));
  });
  for (uint32_t site : sites) AppendPlace(key, site);
  if (sites.empty()) {
    // Code without frame pointers: the raw scan is all there is.
    TWalkOptions options;
    options.UseDebugData = false;
    options.Accepted = KindBit(1);
    std::unique_ptr<TQuelbaStackList> list = BuildStackList(0, low, top, options, memory);
    for (int i = 0; i < list->Count(); ++i)
      if (list->Get(i)->Module) AppendPlace(key, list->Get(i)->Address);
  }
  return Crc32(reinterpret_cast<const uint8_t*>(key.data()), key.size());
}

// --- Outside debug readers ------------------------------------------------------------

namespace {

constexpr DWORD OutsideFileLimit = 256u << 20;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> out;
  DWORD high = 0, size = GetFileSize(file, &high);
  if (size != INVALID_FILE_SIZE && high == 0 && size <= OutsideFileLimit) {
    std::string bytes(size, '\0');
    DWORD read = 0;
    if (size == 0 || (ReadFile(file, bytes.data(), size, &read, nullptr) && read == size)) out = std::move(bytes);
  }
  CloseHandle(file);
  return out;
}

std::optional<std::string> ResourceData(HMODULE module, const std::string& name) {
  HRSRC found = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));
  if (!found) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, found);
  DWORD size = SizeofResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return std::nullopt;
  return std::string(static_cast<const char*>(bytes), size);
}

// The loaded section that the image's debug directory names (TD32 data inside the
// image): read at its address, where the loader put it, never at its file offset.
std::optional<std::string> DebugSectionData(uintptr_t module) {
  return ReadDebugSection(ProcessMemory(), module, OutsideFileLimit);
}

}  // namespace

void* CreateOutsideDebugSource(uintptr_t module) {
  TModuleFiles files;
  files.DebugSection = [module] { return DebugSectionData(module); };
  files.FileName = ModuleFileName(reinterpret_cast<HMODULE>(module));
  files.ReadFile = &ReadWholeFile;
  files.Resource = [module](const std::string& name) { return ResourceData(reinterpret_cast<HMODULE>(module), name); };
  return CreateDebugInfoSource(module, files).release();
}

void FreeOutsideDebugSource(void* source) { delete static_cast<TQLDebugInfoSource*>(source); }

void InstallStackWalkSeams() {
  ModuleInfoSeams().BuildExportList = &BuildOwnExportList;
  ModuleInfoSeams().CreateDebugSource = &CreateOutsideDebugSource;
  ModuleListSeams().FreeDebugSource = &FreeOutsideDebugSource;
  SetCallStackIdSource(&WalkCallStackId);
}

void SetThreadGuardHandler(uintptr_t address) { threadGuardHandler = address; }

}  // namespace exclog
