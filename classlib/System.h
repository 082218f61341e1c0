#pragma once
// The root of the class library: objects with class records, the raw walk from an
// object's memory to its class record, and the unit table through which every
// subsystem starts and stops.
//
// Declaring a class:
//   class TStringList : public TStrings {
//     VELMORA_CLASS(TStringList, TStrings)
//    public:
//     ...
//   };
// The macro gives the class its record (name exactly as written, parent, instance
// size), ClassName()/ClassType()/StaticClass(), and a factory when the class is
// default-constructible and not abstract. It leaves the access at private.
// TObject must be a class's first (primary) base, so that the object's address is the
// TObject's and its first word the primary virtual-table pointer.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "classlib/Memory.h"

class TObject;

// One record per class, in constant-initialised static data; never freed. The
// field order is fixed: readers of raw memory (the leak report, the logger's
// corrupt-object checks) rely on it.
struct TClassRecord {
  const TClassRecord* SelfPtr;      // offset 0: equals the record's own address
  const char* Name;                 // offset 4 (32-bit): zero-terminated class name
  const TClassRecord* Parent;       // offset 8: null for TObject
  uint32_t InstanceSize;            // offset 12: sizeof the class
  const std::type_info* TypeInfo;   // offset 16: the C++ type of the class
  TObject* (*Factory)();            // offset 20: creates a default instance; null when none
};
using TClass = const TClassRecord*;

// Registers a class record in the lookup table behind ClassOfObject. Done by the
// first construction of each class; safe to call again. Returns false when the table
// (capacity 4096 classes) is full.
bool RegisterClassRecord(TClass cls);

template <class T>
struct TClassRegistration {
  TClassRegistration() noexcept;
  TClassRegistration(const TClassRegistration&) noexcept : TClassRegistration() {}
  TClassRegistration& operator=(const TClassRegistration&) noexcept { return *this; }
};

template <class T>
TObject* CreateClassInstance() {
  return new T();
}

template <class T>
constexpr TObject* (*ClassFactoryOf())() {
  if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>)
    return &CreateClassInstance<T>;
  else
    return nullptr;
}

template <class T>
inline constinit const TClassRecord ClassRecordOf{
    &ClassRecordOf<T>, T::ClassNameLiteral, &ClassRecordOf<typename T::Inherited>,
    static_cast<uint32_t>(sizeof(T)), &typeid(T), ClassFactoryOf<T>()};

template <class T>
TClassRegistration<T>::TClassRegistration() noexcept {
  // One flag per class keeps the common path to a single load.
  static std::atomic<bool> registered{false};
  if (!registered.load(std::memory_order_relaxed))
    registered.store(RegisterClassRecord(&ClassRecordOf<T>), std::memory_order_relaxed);
}

#define VELMORA_CLASS(Name, ParentName)                                          \
 public:                                                                         \
  using Inherited = ParentName;                                                  \
  static constexpr const char* ClassNameLiteral = #Name;                        \
  static TClass StaticClass() { return &ClassRecordOf<Name>; }                   \
  TClass ClassType() const override { return &ClassRecordOf<Name>; }             \
                                                                                 \
 private:                                                                        \
  [[no_unique_address]] TClassRegistration<Name> classRegistration_;

// The root class. Heap instances come from the memory manager's GetObjectMem; the
// object's first word is its virtual-table pointer, from which ClassOfObject finds
// the class record by plain reads.
class TObject {
 public:
  using Inherited = void;
  static constexpr const char* ClassNameLiteral = "TObject";
  static TClass StaticClass();

  TObject() noexcept;
  TObject(const TObject&) noexcept;
  TObject& operator=(const TObject&) noexcept { return *this; }
  virtual ~TObject() = default;

  virtual TClass ClassType() const;
  // The class name as spelled in the class declaration.
  std::string ClassName() const { return ClassType()->Name; }
  TClass ClassParent() const { return ClassType()->Parent; }
  uint32_t InstanceSize() const { return ClassType()->InstanceSize; }

  // True when the object's class is `cls` or derives from it (null: false).
  bool InheritsFrom(TClass cls) const;
  // The `is` test by class: same as InheritsFrom.
  bool Is(TClass cls) const { return InheritsFrom(cls); }
  template <class T>
  bool Is() const {
    return InheritsFrom(T::StaticClass());
  }
  // The `is` test by name: compares the ASCII upper-cased `name` with the upper-cased
  // names of the class and its parents.
  bool IsNamed(std::string_view name) const;

  // Frees a heap object made with new; null is ignored.
  static void Free(TObject* obj) { delete obj; }

  // Every heap instance goes through GetObjectMem; throws EOutOfMemory on failure.
  static void* operator new(size_t size);
  static void operator delete(void* block) noexcept;
  static void* operator new(size_t, void* place) noexcept { return place; }
  static void operator delete(void*, void*) noexcept {}
};

template <>
inline constinit const TClassRecord ClassRecordOf<TObject>{
    &ClassRecordOf<TObject>, "TObject", nullptr, static_cast<uint32_t>(sizeof(TObject)),
    &typeid(TObject), &CreateClassInstance<TObject>};

inline TClass TObject::StaticClass() { return &ClassRecordOf<TObject>; }

// Class-chain helpers on records (no object needed). Null records give false/"".
bool ClassInheritsFrom(TClass cls, TClass ancestor);
bool ClassInheritsFromName(TClass cls, std::string_view name);  // upper-case compare

// ---------------------------------------------------------------------------
// Raw walk, for memory that may be garbage.

// Readability test: true when `length` bytes from `address` can be read. The walk
// reads nothing that this test has not accepted.
using TReadableCheck = bool (*)(const void* address, size_t length);

// The check used when a walk is given none. The default accepts any range that does
// not start in the first 64 KiB (where no valid object lives); the Windows build
// installs a real test (IsMemoryReadable of System_win.h) in the System unit start.
void SetReadableCheck(TReadableCheck check);
TReadableCheck GetReadableCheck();

// Object pointer -> its class record, by plain reads through `check`: the first word
// (virtual-table pointer), the word before the table (the type's type_info), the
// lookup table of registered records (a type without a record of its own resolves
// to its nearest registered single-inheritance ancestor). Returns null when any
// read is refused or the record fails validation (ValidClassRecord).
TClass ClassOfObject(const void* object, TReadableCheck check = nullptr);

// A class record is valid when readable, its SelfPtr equals its address, and its name
// is readable, non-empty, at most 255 characters, each 32 or above.
bool ValidClassRecord(TClass cls, TReadableCheck check = nullptr);

// The pointer is readable for a word, leads to a valid class record, and when the
// instance size is above 1024 the whole instance is readable too.
bool IsValidObject(const void* object, TReadableCheck check = nullptr);

// Class name of a possibly corrupt object; "" when it is not a valid object.
std::string SafeClassName(const void* object, TReadableCheck check = nullptr);

// Walks the class chain of a possibly corrupt object comparing upper-case names;
// stops (false) at the first invalid record.
bool SafeInheritsFromName(const void* object, std::string_view name,
                          TReadableCheck check = nullptr);

// ---------------------------------------------------------------------------
// Unit table. A unit is a pair of start and stop routines. The table lives in
// writable static memory; InitUnits runs the starts in order and FinalizeUnits the
// stops in reverse, each reading its slot at the moment it calls it, so a routine
// may rewrite a later slot (the logger does).
//
// The class library's own units ("System", "SysUtils", "Classes") take the first
// slots. The program's main registers its subsystems' units, in start order, with
// RegisterUnit, then calls InitUnits, and calls FinalizeUnits before it returns
// (static destructors run only after that).

using TUnitProc = void (*)();

struct TUnitEntry {  // one slot: {start, stop}; either may be null
  TUnitProc Init;
  TUnitProc Fini;
};

struct TUnitTable {
  int32_t UnitCount;  // 1 .. MaxUnits when in use
  TUnitEntry* Units;  // UnitCount writable slots
};

// The context the logger reads: Table points at the live table.
struct TInitContext {
  TUnitTable* Table;
  int32_t InitCount;  // number of units whose start has completed
};

constexpr int32_t MaxUnits = 4094;

// The run-time context; the logger reaches the table through InitContext.Table.
extern TInitContext InitContext;

// Appends a unit; `name` (a literal, kept by pointer) lets FindUnit find it. Returns
// the slot index. Throws EInvalidOperation when the table is full or units are
// already stopping.
int RegisterUnit(const char* name, TUnitProc init, TUnitProc fini);

// Slot index of the named unit, or -1.
int FindUnit(std::string_view name);
// The unit's name ("" for an index out of range).
const char* UnitName(int index);

// Runs, in slot order, the start of every unit not yet started. An exception from a
// start propagates; the units started before it stay started (FinalizeUnits stops
// them). Calling it again starts units registered since.
void InitUnits();

// Runs the stops of the started units in reverse order, each read from its slot when
// called. An exception from one stop is swallowed so the others still run; returns
// the number of stops that failed. Afterwards no unit counts as started.
int FinalizeUnits();

// The library's no-error-box setting: when on, an error the library would show in a
// message box of its own (an exception no handler took at a window procedure,
// timer or hook) is written to standard error instead, for a program with no one
// at the screen to answer a box. Off by default.
void SetNoErrorMessageBox(bool on);
bool NoErrorMessageBox();
