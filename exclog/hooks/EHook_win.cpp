// The hook engine over the live process: page protection, the import tables of loaded
// modules, code bytes and method tables. The byte work (instruction lengths, patch
// plans, import walks) is pure and lives in EHookLength, EHookPatch and EHookImports.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SyncObjs.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EGuard.h"
#include "exclog/hooks/EHook.h"
#include "exclog/hooks/EHookImports.h"
#include "exclog/hooks/EHookLength.h"
#include "exclog/hooks/EHookPatch.h"

namespace exclog {

namespace {

constexpr uintptr_t kSharedArea = 0x80000000u;
constexpr int kPlatformNT = 2;

int DetectPlatform() { return (GetVersion() & 0x80000000u) ? 1 : kPlatformNT; }
int platform_ = DetectPlatform();

struct THookedImport {
  void* Module;
  std::string DllName;
  void* Original;
  void* Replacement;
};

struct TInlineHook {
  uint8_t* Routine;
  uint8_t* Trampoline;
  uint32_t TrampolineSize;
  std::vector<uint8_t> Saved;  // the displaced original bytes
};

struct THookedMethod {
  void* Table;
  uintptr_t Previous;
  int Index;
};

uintptr_t* SlotOf(void* table, int index) { return static_cast<uintptr_t*>(table) + index; }

// Method-slot records, every access under the list's own lock. Destroying the list
// puts every patched slot back.
class THookedMethodsList : public TList {
  VELMORA_CLASS(THookedMethodsList, TList)
 public:
  THookedMethodsList() = default;
  ~THookedMethodsList() override {
    TCriticalSectionLock hold(lock_);
    while (Count() > 0) UndoAt(0);
  }

  uintptr_t Hook(void* table, int index, uintptr_t newValue);
  bool Unhook(void* table, int index);
  int RecordCount() {
    TCriticalSectionLock hold(lock_);
    return Count();
  }

 private:
  int IndexOfSlot(void* table, int index) const {
    for (int i = 0; i < Count(); ++i) {
      const auto* m = static_cast<const THookedMethod*>(Get(i));
      if (m->Table == table && m->Index == index) return i;
    }
    return -1;
  }
  // Writes the saved value back (a failed write is skipped) and drops the record.
  bool UndoAt(int i) {
    std::unique_ptr<THookedMethod> m(static_cast<THookedMethod*>(Get(i)));
    Delete(i);
    return WriteCode(SlotOf(m->Table, m->Index), &m->Previous, sizeof m->Previous);
  }

  TCriticalSection lock_;
};

std::string SlotName(void* table, int index) {
  char text[48];
  std::snprintf(text, sizeof text, "$%08X[%d]", static_cast<unsigned>(reinterpret_cast<uintptr_t>(table)), index);
  return text;
}

bool IsAllocated(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(address, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT;
}

uintptr_t THookedMethodsList::Hook(void* table, int index, uintptr_t newValue) {
  TCriticalSectionLock hold(lock_);
  uintptr_t* slot = SlotOf(table, index);
  // Reading a slot that is not there would fault; the caller learns it instead.
  if (!IsAllocated(slot) || !IsReadable(slot, sizeof *slot)) throw EHookingError(HookingErrorMessage(SlotName(table, index)));
  const uintptr_t current = *slot;
  const int recorded = IndexOfSlot(table, index);
  if (current == newValue) {
    if (recorded < 0) throw EHookingError(HookingErrorMessage(SlotName(table, index)));
    return static_cast<THookedMethod*>(Get(recorded))->Previous;
  }
  if (!WriteCode(slot, &newValue, sizeof newValue)) throw EHookingError(HookingErrorMessage(SlotName(table, index)));
  // One record per slot keeps the true original for the undo, however often the
  // slot is re-patched.
  if (recorded < 0) Add(new THookedMethod{table, current, index});
  return current;
}

bool THookedMethodsList::Unhook(void* table, int index) {
  TCriticalSectionLock hold(lock_);
  const int i = IndexOfSlot(table, index);
  if (i < 0) return false;
  UndoAt(i);
  return true;
}

// The engine's lists, alive from the unit's start to its stop. Only start-up and
// shut-down change the import and inline lists, on the thread that runs the units.
struct THookEngine {
  std::vector<THookedImport> Imports;
  std::unique_ptr<THookedMethodsList> Methods = std::make_unique<THookedMethodsList>();
  std::vector<std::unique_ptr<TInlineHook>> Inline;
  HANDLE CodeHeap = HeapCreate(HEAP_CREATE_ENABLE_EXECUTE, 0, 0);
  bool TrampolineKept = false;  // a trampoline still reachable after a failed undo
};

THookEngine* engine_ = nullptr;
int unitStarts_ = 0;

// A routine the older family reaches through "push value; jmp": the pushed value.
bool PushJumpValue(const void* at, uint32_t& value) {
  if (!IsReadable(at, 6)) return false;
  const auto* p = static_cast<const uint8_t*>(at);
  if (p[0] != 0x68 || p[5] != 0xE9) return false;
  std::memcpy(&value, p + 1, 4);
  return true;
}

// The target of an indirect jump thunk FF 25 [slot], or `address` itself.
void* ThroughThunk(void* address) {
  if (address == nullptr || !IsReadable(address, 6)) return address;
  const auto* p = static_cast<const uint8_t*>(address);
  if (p[0] != 0xFF || p[1] != 0x25) return address;
  void* slot;
  std::memcpy(&slot, p + 2, 4);
  if (!IsReadable(slot, 4)) return address;
  void* target;
  std::memcpy(&target, slot, 4);
  return target;
}

// The file name of the loaded image holding `address`; "" when no image holds it.
std::string ModuleNameOfAddress(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof info) != sizeof info || info.Type != MEM_IMAGE) return "";
  return ModuleFileName(info.AllocationBase);
}

// The readable extent of a loaded image, taken from its headers; 0 when they fail.
size_t MappedImageSize(const void* module) {
  if (!IsReadable(module, kDosHeaderSize)) return 0;
  uint32_t lfanew;
  std::memcpy(&lfanew, static_cast<const uint8_t*>(module) + 0x3C, 4);
  if (lfanew == 0 || !IsReadable(static_cast<const uint8_t*>(module) + lfanew, kNtHeadersSize)) return 0;
  const auto imageSize = ImageSizeOf(static_cast<const uint8_t*>(module), lfanew + kNtHeadersSize);
  if (!imageSize) return 0;
  return ReadableBytes(module, *imageSize);
}

void UnitInit() {
  if (engine_ == nullptr) engine_ = new THookEngine;
}

void UnitDone() {
  if (engine_ == nullptr) return;
  std::unique_ptr<THookEngine> engine(engine_);
  engine_ = nullptr;
  for (const THookedImport& rec : engine->Imports) {
    try {
      HookImport(rec.Module, rec.DllName, rec.Replacement, true, true, "", rec.Original);
    } catch (...) {
      // A module gone or no longer readable: nothing left to restore there.
    }
  }
  engine->Imports.clear();
  engine->Methods.reset();
  while (!engine->Inline.empty()) {
    std::unique_ptr<TInlineHook> hook = std::move(engine->Inline.back());
    engine->Inline.pop_back();
    if (WriteCode(hook->Routine, hook->Saved.data(), hook->Saved.size()))
      HeapFree(engine->CodeHeap, 0, hook->Trampoline);
    else
      engine->TrampolineKept = true;
  }
  if (!engine->TrampolineKept && engine->CodeHeap != nullptr) HeapDestroy(engine->CodeHeap);
}

}  // namespace

int Win32Platform() { return platform_; }
void SetWin32Platform(int platform) { platform_ = platform; }

bool WriteCode(void* destination, const void* source, size_t count) {
  DWORD previous = 0;
  if (!VirtualProtect(destination, count, PAGE_EXECUTE_READWRITE, &previous)) return false;
  std::memcpy(destination, source, count);
  DWORD ignored;
  VirtualProtect(destination, count, previous, &ignored);
  FlushInstructionCache(GetCurrentProcess(), destination, count);
  return true;
}

bool WriteJump(void* at, const void* target) {
  uint8_t jump[kJumpSize];
  EncodeJump(jump, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at)),
             static_cast<uint32_t>(reinterpret_cast<uintptr_t>(target)));
  return WriteCode(at, jump, sizeof jump);
}

std::string ModuleFileName(void* module) {
  char name[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(module), name, MAX_PATH);
  return std::string(name, n);
}

void* HookImport(void* module, const std::string& dllName, void* routine, bool doNotRecord,
                 bool silent, const std::string& displayName, void* replacement) {
  if (routine == nullptr) throw EProcNull(ProcNullMessage(displayName));
  if (reinterpret_cast<uintptr_t>(module) >= kSharedArea && Win32Platform() != kPlatformNT)
    throw ESharedArea(SharedAreaMessage(ModuleFileName(module)));
  uint32_t pushed = 0;
  const bool byPushedValue = Win32Platform() != kPlatformNT && PushJumpValue(routine, pushed);

  auto* image = static_cast<uint8_t*>(module);
  const size_t size = module == nullptr ? 0 : MappedImageSize(module);
  const auto slots = FindImportSlots(image, size, dllName);
  if (!slots) {
    if (!silent) throw EHookingError(HookingErrorMessage(displayName));
    return nullptr;
  }
  bool replaced = false;
  for (const TImportSlot& s : *slots) {
    void* value = reinterpret_cast<void*>(static_cast<uintptr_t>(s.Value));
    uint32_t slotPushed = 0;
    const bool match = byPushedValue ? PushJumpValue(value, slotPushed) && slotPushed == pushed : value == routine;
    if (!match) continue;
    if (!WriteCode(image + s.SlotRva, &replacement, sizeof replacement)) {
      if (!silent) throw EHookingError(HookingErrorMessage(displayName));
      continue;  // the undo at stop skips a slot it cannot write and carries on
    }
    replaced = true;
    if (!doNotRecord && engine_ != nullptr)
      engine_->Imports.push_back({module, dllName, routine, replacement});
  }
  if (!replaced && !silent) throw EHookingError(HookingErrorMessage(displayName));
  return replaced ? routine : nullptr;
}

bool HookImportInModules(const std::vector<std::string>& modules, const std::string& dllName,
                         bool silent, void*& original, const std::string& routineName,
                         void* replacement) {
  HMODULE dll = GetModuleHandleA(dllName.c_str());
  original = dll == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(dll, routineName.c_str()));
  bool patched = false;
  for (const std::string& name : modules) {
    if (name.empty()) continue;
    HMODULE module = GetModuleHandleA(name.c_str());
    if (module == nullptr) continue;
    if (HookImport(module, dllName, original, false, silent, dllName + "." + routineName, replacement) != nullptr)
      patched = true;
  }
  return patched;
}

void* HookRoutine(void* routine, void* replacement, const std::string& displayName) {
  routine = ThroughThunk(routine);
  replacement = ThroughThunk(replacement);
  if (routine == nullptr) throw EProcNull(ProcNullMessage(displayName));
  if (reinterpret_cast<uintptr_t>(routine) >= kSharedArea && Win32Platform() != kPlatformNT)
    throw ESharedArea(SharedAreaMessage(ModuleNameOfAddress(routine)));
  if (engine_ == nullptr || engine_->CodeHeap == nullptr) throw EHookingError(HookingErrorMessage(displayName));
  for (const auto& hook : engine_->Inline)
    if (hook->Routine == routine) return hook->Trampoline;

  auto* code = static_cast<uint8_t*>(routine);
  const size_t readable = ReadableBytes(code, kJumpSize + 15);
  const TPatchPlan plan = PlanPatch(code, readable);
  if (plan.Refusal != TPatchRefusal::None) throw EHookingError(HookingErrorMessage(displayName));

  auto hook = std::make_unique<TInlineHook>();
  hook->Routine = code;
  hook->TrampolineSize = plan.TrampolineSize;
  hook->Saved.assign(code, code + plan.DisplacedCount);
  hook->Trampoline = static_cast<uint8_t*>(HeapAlloc(engine_->CodeHeap, 0, plan.TrampolineSize));
  if (hook->Trampoline == nullptr) throw EHookingError(HookingErrorMessage(displayName));
  const std::vector<uint8_t> bytes =
      BuildTrampoline(code, plan, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code)),
                      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hook->Trampoline)));
  std::memcpy(hook->Trampoline, bytes.data(), bytes.size());
  FlushInstructionCache(GetCurrentProcess(), hook->Trampoline, bytes.size());
  if (!WriteJump(code, replacement)) {
    HeapFree(engine_->CodeHeap, 0, hook->Trampoline);
    throw EHookingError(HookingErrorMessage(displayName));
  }
  void* trampoline = hook->Trampoline;
  engine_->Inline.push_back(std::move(hook));
  return trampoline;
}

bool UnhookRoutine(void* address) {
  if (engine_ == nullptr) return false;
  auto& list = engine_->Inline;
  for (auto it = list.begin(); it != list.end(); ++it) {
    TInlineHook& hook = **it;
    if (hook.Routine != address && hook.Trampoline != address) continue;
    const bool restored = WriteCode(hook.Routine, hook.Saved.data(), hook.Saved.size());
    if (restored)
      HeapFree(engine_->CodeHeap, 0, hook.Trampoline);
    else
      engine_->TrampolineKept = true;
    list.erase(it);
    return restored;
  }
  return false;
}

uintptr_t HookMethodSlot(void* table, int index, uintptr_t newValue) {
  if (engine_ == nullptr || !engine_->Methods) return 0;
  return engine_->Methods->Hook(table, index, newValue);
}

bool UnhookMethodSlot(void* table, int index) {
  if (engine_ == nullptr || !engine_->Methods) return false;
  return engine_->Methods->Unhook(table, index);
}

uint32_t RoutineSizeAt(const void* start, uint32_t limit) {
  const auto readable = static_cast<uint32_t>(ReadableBytes(start, limit));
  if (limit == 0) return 0;
  return RoutineSize(static_cast<const uint8_t*>(start), readable < limit ? readable : limit);
}

void HookUnitInit() {
  if (unitStarts_++ == 0) RunGuarded(&UnitInit, "EHook.Init");
}

void HookUnitDone() {
  if (unitStarts_ == 0) return;
  if (--unitStarts_ == 0) RunGuarded(&UnitDone, "EHook.Done");
}

bool HookUnitStarted() { return engine_ != nullptr; }

int HookedImportCount() { return engine_ ? static_cast<int>(engine_->Imports.size()) : 0; }
int HookedRoutineCount() { return engine_ ? static_cast<int>(engine_->Inline.size()) : 0; }
int HookedMethodCount() { return engine_ && engine_->Methods ? engine_->Methods->RecordCount() : 0; }

}  // namespace exclog
