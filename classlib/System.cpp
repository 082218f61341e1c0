// Objects, class records, the raw object walk and the unit table.
#include "classlib/System.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "classlib/SysUtils.h"
#ifdef _WIN32
#include "classlib/System_win.h"
#endif

// Unit routines of the class library's own units (SysUtils.cpp, Classes.cpp).
void ClassesUnitInit();
void ClassesUnitFini();

namespace {

// ---------------------------------------------------------------------------
// Lookup table: type_info address -> class record. Readers may be crash paths on any
// thread and take no lock, so the table is an insert-only open-addressing hash: a
// slot's record is written before its key is published, and a published slot never
// changes. At most MaxClasses records in twice as many slots keeps probes short.

constexpr int MaxClasses = 4096;
constexpr size_t ClassSlots = 2 * MaxClasses;  // a power of two
constinit std::atomic<const void*> classKeys[ClassSlots] = {};
constinit TClass classValues[ClassSlots] = {};
constinit int classCount = 0;                  // guarded by classLock
constinit std::atomic_flag classLock = ATOMIC_FLAG_INIT;

size_t SlotOf(const void* key) {
  auto v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
  return static_cast<size_t>((v >> 3) * 0x9E3779B97F4A7C15ull >> 40) & (ClassSlots - 1);
}

TClass FindRecordByType(const void* typeKey) {
  size_t slot = SlotOf(typeKey);
  for (size_t probe = 0; probe < ClassSlots; ++probe, slot = (slot + 1) & (ClassSlots - 1)) {
    const void* key = classKeys[slot].load(std::memory_order_acquire);
    if (key == typeKey) return classValues[slot];
    if (!key) return nullptr;
  }
  return nullptr;
}

bool DefaultReadable(const void* address, size_t length) {
  auto start = reinterpret_cast<uintptr_t>(address);
  return start >= 0x10000 && start + length >= start;
}

#ifdef _WIN32
constinit std::atomic<TReadableCheck> readableCheck{&IsMemoryReadable};
#else
constinit std::atomic<TReadableCheck> readableCheck{&DefaultReadable};
#endif

TReadableCheck Resolve(TReadableCheck check) { return check ? check : readableCheck.load(); }

// Addresses in the walk may be garbage: they are offset as integers, never as
// pointers, and a range that would wrap around is refused before the check.
const void* Offset(const void* address, intptr_t delta) {
  return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(address) + static_cast<uintptr_t>(delta));
}

bool ReadWord(const void* address, const void*& out, TReadableCheck check) {
  auto at = reinterpret_cast<uintptr_t>(address);
  if (at < sizeof(void*) || at + sizeof(void*) < at || !check(address, sizeof(void*))) return false;
  std::memcpy(&out, address, sizeof(void*));
  return true;
}

// The virtual-table pointer of the run-time's single-inheritance type_info class:
// taken from a type of that kind, so the walk can follow a type_info to its base.
struct SiProbeBase {
  virtual ~SiProbeBase() = default;
};
struct SiProbe : SiProbeBase {};

const void* SiTypeInfoVtable() {
  const void* vptr = nullptr;
  std::memcpy(&vptr, &typeid(SiProbe), sizeof(void*));
  return vptr;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool SameUpper(const char* name, std::string_view other) {
  size_t i = 0;
  for (; name[i]; ++i)
    if (i >= other.size() || UpperAscii(name[i]) != UpperAscii(other[i])) return false;
  return i == other.size();
}

}  // namespace

bool RegisterClassRecord(TClass cls) {
  if (!cls || !cls->TypeInfo) return false;
  const void* typeKey = cls->TypeInfo;
  while (classLock.test_and_set(std::memory_order_acquire)) {
  }
  bool ok = false;
  size_t slot = SlotOf(typeKey);
  for (size_t probe = 0; probe < ClassSlots; ++probe, slot = (slot + 1) & (ClassSlots - 1)) {
    const void* key = classKeys[slot].load(std::memory_order_relaxed);
    if (key == typeKey) {
      ok = classValues[slot] == cls;
      break;
    }
    if (!key) {
      if (classCount < MaxClasses) {
        classValues[slot] = cls;
        classKeys[slot].store(typeKey, std::memory_order_release);
        ++classCount;
        ok = true;
      }
      break;
    }
  }
  classLock.clear(std::memory_order_release);
  return ok;
}

// ---------------------------------------------------------------------------
// TObject

TObject::TObject() noexcept { TClassRegistration<TObject>(); }
TObject::TObject(const TObject&) noexcept : TObject() {}

TClass TObject::ClassType() const { return &ClassRecordOf<TObject>; }

bool TObject::InheritsFrom(TClass cls) const { return ClassInheritsFrom(ClassType(), cls); }

bool TObject::IsNamed(std::string_view name) const { return ClassInheritsFromName(ClassType(), name); }

void* TObject::operator new(size_t size) {
  if (void* p = GetObjectMem(size)) return p;
  throw EOutOfMemory("Out of memory");
}

void TObject::operator delete(void* block) noexcept { FreeMem(block); }

bool ClassInheritsFrom(TClass cls, TClass ancestor) {
  if (!ancestor) return false;
  for (; cls; cls = cls->Parent)
    if (cls == ancestor) return true;
  return false;
}

bool ClassInheritsFromName(TClass cls, std::string_view name) {
  for (; cls; cls = cls->Parent)
    if (SameUpper(cls->Name, name)) return true;
  return false;
}

// ---------------------------------------------------------------------------
// Raw walk

void SetReadableCheck(TReadableCheck check) {
  readableCheck.store(check ? check : &DefaultReadable);
}

TReadableCheck GetReadableCheck() { return readableCheck.load(); }

bool ValidClassRecord(TClass cls, TReadableCheck check) {
  check = Resolve(check);
  auto at = reinterpret_cast<uintptr_t>(cls);
  if (!cls || at + sizeof(TClassRecord) < at || !check(cls, sizeof(TClassRecord))) return false;
  TClassRecord record;
  std::memcpy(&record, cls, sizeof record);
  if (record.SelfPtr != cls || !record.Name) return false;
  // Names are short; reading byte by byte keeps every read inside what the check
  // accepted, even for a name that runs into an unmapped page.
  for (int i = 0; i < 256; ++i) {
    const void* at = Offset(record.Name, i);
    if (reinterpret_cast<uintptr_t>(at) < reinterpret_cast<uintptr_t>(record.Name) || !check(at, 1)) return false;
    unsigned char c = *static_cast<const unsigned char*>(at);
    if (c == 0) return i > 0;
    if (c < 32) return false;
  }
  return false;
}

TClass ClassOfObject(const void* object, TReadableCheck check) {
  check = Resolve(check);
  const void* vptr = nullptr;
  if (!ReadWord(object, vptr, check) || !vptr) return nullptr;
  const void* typeInfo = nullptr;
  if (!ReadWord(Offset(vptr, -static_cast<intptr_t>(sizeof(void*))), typeInfo, check)) return nullptr;
  static const void* const siVtable = SiTypeInfoVtable();
  // A class without a record of its own stands for its nearest recorded ancestor.
  for (int depth = 0; depth < 64 && typeInfo; ++depth) {
    if (TClass cls = FindRecordByType(typeInfo)) return ValidClassRecord(cls, check) ? cls : nullptr;
    const void* tiVptr = nullptr;
    if (!ReadWord(typeInfo, tiVptr, check) || tiVptr != siVtable) return nullptr;
    if (!ReadWord(Offset(typeInfo, 2 * sizeof(void*)), typeInfo, check))
      return nullptr;
  }
  return nullptr;
}

bool IsValidObject(const void* object, TReadableCheck check) {
  check = Resolve(check);
  TClass cls = ClassOfObject(object, check);
  if (!cls) return false;
  uint32_t size = cls->InstanceSize;
  auto at = reinterpret_cast<uintptr_t>(object);
  return size <= 1024 || (at + size > at && check(object, size));
}

std::string SafeClassName(const void* object, TReadableCheck check) {
  return IsValidObject(object, check) ? std::string(ClassOfObject(object, check)->Name) : std::string();
}

bool SafeInheritsFromName(const void* object, std::string_view name, TReadableCheck check) {
  check = Resolve(check);
  TClass cls = ClassOfObject(object, check);
  for (int depth = 0; depth < 256 && cls; ++depth) {
    if (!ValidClassRecord(cls, check)) return false;
    if (SameUpper(cls->Name, name)) return true;
    cls = cls->Parent;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Unit table

namespace {

constinit TUnitEntry unitSlots[MaxUnits] = {};
constinit const char* unitNames[MaxUnits] = {};
constinit TUnitTable unitTable{0, unitSlots};
constinit bool unitsStopping = false;

int AppendUnit(const char* name, TUnitProc init, TUnitProc fini) {
  int index = unitTable.UnitCount;
  unitSlots[index] = {init, fini};
  unitNames[index] = name ? name : "";
  unitTable.UnitCount = index + 1;
  return index;
}

// The class library's own units always take the first slots.
void EnsureLibraryUnits() {
  if (unitTable.UnitCount) return;
  AppendUnit("System", nullptr, nullptr);
  AppendUnit("SysUtils", nullptr, nullptr);
  AppendUnit("Classes", &ClassesUnitInit, &ClassesUnitFini);
}

TUnitProc ReadSlot(const TUnitProc& slot) {
  return *static_cast<const volatile TUnitProc*>(&slot);
}

}  // namespace

constinit TInitContext InitContext{&unitTable, 0};

int RegisterUnit(const char* name, TUnitProc init, TUnitProc fini) {
  EnsureLibraryUnits();
  if (unitsStopping) throw EInvalidOperation("Units are stopping");
  if (unitTable.UnitCount >= MaxUnits) throw EInvalidOperation("Too many units");
  return AppendUnit(name, init, fini);
}

int FindUnit(std::string_view name) {
  EnsureLibraryUnits();
  for (int i = 0; i < unitTable.UnitCount; ++i)
    if (unitNames[i] && name == unitNames[i]) return i;
  return -1;
}

const char* UnitName(int index) {
  return index >= 0 && index < unitTable.UnitCount && unitNames[index] ? unitNames[index] : "";
}

void InitUnits() {
  EnsureLibraryUnits();
  // The count is re-read each round: a start may register further units.
  while (InitContext.InitCount < unitTable.UnitCount) {
    int index = InitContext.InitCount;
    if (TUnitProc start = ReadSlot(unitSlots[index].Init)) start();
    InitContext.InitCount = index + 1;
  }
}

int FinalizeUnits() {
  int failures = 0;
  unitsStopping = true;
  while (InitContext.InitCount > 0) {
    int index = --InitContext.InitCount;
    TUnitProc stop = ReadSlot(unitSlots[index].Fini);
    if (!stop) continue;
    try {
      stop();
    } catch (...) {
      ++failures;
    }
  }
  unitsStopping = false;
  return failures;
}

namespace {
std::atomic<bool> noErrorMessageBox{false};
}  // namespace

void SetNoErrorMessageBox(bool on) { noErrorMessageBox = on; }
bool NoErrorMessageBox() { return noErrorMessageBox; }
