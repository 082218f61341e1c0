// Class records, the raw object walk, the memory-manager table and the unit table.
#include "classlib/System.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"

namespace {

// A sample hierarchy: TAnimal <- TDog <- TPuppy; TCat beside TDog.
class TAnimal : public TObject {
  VELMORA_CLASS(TAnimal, TObject)
 public:
  int Legs = 4;
};
class TDog : public TAnimal {
  VELMORA_CLASS(TDog, TAnimal)
 public:
  char Bark[40] = {};
};
class TPuppy : public TDog {
  VELMORA_CLASS(TPuppy, TDog)
};
class TCat : public TAnimal {
  VELMORA_CLASS(TCat, TAnimal)
 public:
  explicit TCat(int lives) : Lives(lives) {}
  int Lives;
};
// A class that does not declare its own record stands for its parent.
class TUnrecordedDog : public TDog {};

class TBig : public TObject {
  VELMORA_CLASS(TBig, TObject)
 public:
  char Payload[2000] = {};
};

TEST(ClassRecords, NamesParentsAndSizes) {
  TPuppy puppy;
  EXPECT_EQ(puppy.ClassName(), "TPuppy");
  EXPECT_EQ(puppy.ClassParent(), TDog::StaticClass());
  EXPECT_EQ(TDog::StaticClass()->Parent, TAnimal::StaticClass());
  EXPECT_EQ(TAnimal::StaticClass()->Parent, TObject::StaticClass());
  EXPECT_EQ(TObject::StaticClass()->Parent, nullptr);
  EXPECT_EQ(puppy.InstanceSize(), sizeof(TPuppy));
  EXPECT_EQ(TObject::StaticClass()->SelfPtr, TObject::StaticClass());
  EXPECT_STREQ(Exception::StaticClass()->Name, "Exception");
  EXPECT_STREQ(EStackOverflow::StaticClass()->Parent->Name, "EExternal");
  // The record fields sit where raw readers look for them.
  EXPECT_EQ(offsetof(TClassRecord, SelfPtr), 0u);
  EXPECT_EQ(offsetof(TClassRecord, Name), sizeof(void*));
  EXPECT_EQ(offsetof(TClassRecord, Parent), 2 * sizeof(void*));
  EXPECT_EQ(offsetof(TClassRecord, InstanceSize), 3 * sizeof(void*));
}

TEST(ClassRecords, IsAndInheritsFrom) {
  TPuppy puppy;
  TCat cat(9);
  const TObject& p = puppy;
  EXPECT_TRUE(p.Is<TPuppy>());
  EXPECT_TRUE(p.Is<TDog>());
  EXPECT_TRUE(p.Is<TAnimal>());
  EXPECT_TRUE(p.Is<TObject>());
  EXPECT_FALSE(p.Is<TCat>());
  EXPECT_TRUE(cat.InheritsFrom(TAnimal::StaticClass()));
  EXPECT_FALSE(cat.InheritsFrom(TDog::StaticClass()));
  EXPECT_FALSE(cat.InheritsFrom(nullptr));
  // By name: upper-cased comparison along the chain.
  EXPECT_TRUE(p.IsNamed("TDOG"));
  EXPECT_TRUE(p.IsNamed("tanimal"));
  EXPECT_FALSE(p.IsNamed("TDO"));
  EXPECT_FALSE(p.IsNamed("TDOGX"));
  EXPECT_FALSE(cat.IsNamed("TDOG"));
  EAbort abort;
  EXPECT_TRUE(abort.IsNamed("EXCEPTION"));
  EXPECT_TRUE(ClassInheritsFromName(EReadError::StaticClass(), "EStreamError"));
}

TEST(ClassRecords, FactoryOnlyForDefaultConstructible) {
  ASSERT_NE(TPuppy::StaticClass()->Factory, nullptr);
  std::unique_ptr<TObject> made(TPuppy::StaticClass()->Factory());
  EXPECT_EQ(made->ClassType(), TPuppy::StaticClass());
  EXPECT_EQ(TCat::StaticClass()->Factory, nullptr);
}

TEST(RawWalk, FindsRecordFromObjectMemory) {
  auto dog = std::make_unique<TDog>();
  auto cat = std::make_unique<TCat>(3);
  EXPECT_EQ(ClassOfObject(dog.get()), TDog::StaticClass());
  EXPECT_EQ(ClassOfObject(cat.get()), TCat::StaticClass());
  // Through a base pointer, as a leaked block would be seen.
  const TObject* asObject = cat.get();
  EXPECT_EQ(ClassOfObject(asObject), TCat::StaticClass());
  EReadError error("x");
  EXPECT_EQ(ClassOfObject(&error), EReadError::StaticClass());
  EXPECT_EQ(SafeClassName(&error), "EReadError");
  EXPECT_TRUE(SafeInheritsFromName(&error, "ESTREAMERROR"));
  EXPECT_FALSE(SafeInheritsFromName(&error, "EABORT"));
}

TEST(RawWalk, UnrecordedClassResolvesToNearestAncestor) {
  TUnrecordedDog dog;
  EXPECT_EQ(ClassOfObject(&dog), TDog::StaticClass());
}

TEST(RawWalk, RejectsGarbage) {
  EXPECT_EQ(ClassOfObject(nullptr), nullptr);
  EXPECT_FALSE(IsValidObject(reinterpret_cast<void*>(0x1234)));
  // A block whose first word points at plain data, not at a virtual table.
  alignas(void*) unsigned char zeros[64] = {};
  const void* fake[4] = {zeros + 16, nullptr, nullptr, nullptr};
  EXPECT_FALSE(IsValidObject(fake));
  EXPECT_EQ(SafeClassName(fake), "");
  // A first word so small that the word before it would wrap below address 0.
  const void* tiny[1] = {reinterpret_cast<const void*>(uintptr_t{3})};
  EXPECT_EQ(ClassOfObject(tiny), nullptr);
  // A forged record whose self pointer is wrong.
  TClassRecord forged = *TDog::StaticClass();
  EXPECT_TRUE(ValidClassRecord(TDog::StaticClass()));
  EXPECT_FALSE(ValidClassRecord(&forged));
  forged.SelfPtr = &forged;
  EXPECT_TRUE(ValidClassRecord(&forged));
  forged.Name = "Bad\x01Name";
  EXPECT_FALSE(ValidClassRecord(&forged));
  forged.Name = "";
  EXPECT_FALSE(ValidClassRecord(&forged));
}

// A readability check that refuses one address range, to see that the walk reads
// nothing without asking.
const void* refusedStart = nullptr;
size_t refusedLength = 0;
bool RefusingCheck(const void* address, size_t length) {
  auto a = reinterpret_cast<uintptr_t>(address), r = reinterpret_cast<uintptr_t>(refusedStart);
  return !(a < r + refusedLength && r < a + length);
}

TEST(RawWalk, EveryReadGoesThroughTheCheck) {
  auto dog = std::make_unique<TDog>();
  EXPECT_EQ(ClassOfObject(dog.get(), &RefusingCheck), TDog::StaticClass());
  // Refusing the object's first word, or the class name, or the record itself.
  refusedStart = dog.get();
  refusedLength = 1;
  EXPECT_EQ(ClassOfObject(dog.get(), &RefusingCheck), nullptr);
  refusedStart = TDog::StaticClass()->Name + 2;
  EXPECT_EQ(ClassOfObject(dog.get(), &RefusingCheck), nullptr);
  refusedStart = TDog::StaticClass();
  EXPECT_EQ(ClassOfObject(dog.get(), &RefusingCheck), nullptr);
  // An instance above 1024 bytes must be readable as a whole.
  auto big = std::make_unique<TBig>();
  refusedStart = big->Payload + 1500;
  EXPECT_NE(ClassOfObject(big.get(), &RefusingCheck), nullptr);
  EXPECT_FALSE(IsValidObject(big.get(), &RefusingCheck));
  refusedStart = nullptr;
  refusedLength = 0;
  EXPECT_TRUE(IsValidObject(big.get(), &RefusingCheck));
}

template <int N>
class TGenerated : public TObject {
  VELMORA_CLASS(TGenerated, TObject)
};

template <int... N>
void CheckGeneratedClasses(std::integer_sequence<int, N...>) {
  // Each thread constructs (and so registers) classes while the others walk objects
  // of classes registered a moment before; every walk must find the right record.
  std::atomic<int> wrong{0};
  auto worker = [&](int offset) {
    auto check = [&](auto* object) {
      if (ClassOfObject(object) != object->ClassType()) ++wrong;
      delete object;
    };
    for (int round = 0; round < 4; ++round) {
      int i = 0;
      ((i++ % 4 == (offset + round) % 4 ? check(new TGenerated<N>()) : void()), ...);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(worker, t);
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(RawWalk, ConcurrentRegistrationAndLookup) {
  CheckGeneratedClasses(std::make_integer_sequence<int, 64>());
  EXPECT_STREQ(TGenerated<5>::StaticClass()->Name, "TGenerated");
  EXPECT_NE(TGenerated<5>::StaticClass(), TGenerated<6>::StaticClass());
}

// ---------------------------------------------------------------------------
// Memory-manager table

// Records only the test's own thread: the table is process-wide, and other threads
// (the runtime's, earlier tests' helpers) may allocate at the same time.
struct TRecordingManager {
  static inline TMemoryManager previous{};
  static inline std::vector<void*> dataBlocks, objectBlocks, freed;
  static inline int reallocs = 0;
  static inline std::thread::id owner{};
  static bool Mine() { return std::this_thread::get_id() == owner; }
  static void* Get(size_t size) {
    void* p = previous.GetMem(size);
    if (Mine()) dataBlocks.push_back(p);
    return p;
  }
  static void* GetObject(size_t size) {
    void* p = previous.GetObjectMem(size);
    if (Mine()) objectBlocks.push_back(p);
    return p;
  }
  static void Free(void* p) {
    if (Mine()) freed.push_back(p);
    previous.FreeMem(p);
  }
  static void* Realloc(void* p, size_t size) {
    if (Mine()) ++reallocs;
    return previous.ReallocMem(p, size);
  }
};

// Installs the recording table for one scope; recording containers are reserved
// beforehand so that recording never allocates through itself.
class RecordingScope {
 public:
  RecordingScope() {
    TRecordingManager::dataBlocks.clear();
    TRecordingManager::objectBlocks.clear();
    TRecordingManager::freed.clear();
    TRecordingManager::dataBlocks.reserve(1000);
    TRecordingManager::objectBlocks.reserve(1000);
    TRecordingManager::freed.reserve(1000);
    TRecordingManager::reallocs = 0;
    TRecordingManager::owner = std::this_thread::get_id();
    GetMemoryManager(TRecordingManager::previous);
    TMemoryManager table{&TRecordingManager::Get, &TRecordingManager::Free, &TRecordingManager::Realloc,
                         &TRecordingManager::GetObject};
    EXPECT_TRUE(SetMemoryManager(table));
  }
  ~RecordingScope() { SetMemoryManager(TRecordingManager::previous); }
};

// Compares addresses as numbers: some of the blocks are already freed.
bool Contains(const std::vector<void*>& v, uintptr_t address) {
  for (void* x : v)
    if (reinterpret_cast<uintptr_t>(x) == address) return true;
  return false;
}
bool Contains(const std::vector<void*>& v, const void* p) { return Contains(v, reinterpret_cast<uintptr_t>(p)); }

TEST(MemoryManager, ReplacedTableSeesEveryNewAndDelete) {
  void* dataBlock;
  void* objectBlock;
  {
    RecordingScope scope;
    auto* numbers = new std::vector<int>(100);
    dataBlock = numbers->data();
    TDog* dog = new TDog();
    objectBlock = dog;
    delete numbers;
    delete dog;
    // Objects take the object path only: a leak reader can tell them apart. Checked
    // before the next allocation, which may be given the object's freed address.
    EXPECT_TRUE(Contains(TRecordingManager::objectBlocks, objectBlock));
    EXPECT_FALSE(Contains(TRecordingManager::dataBlocks, objectBlock));
    EXPECT_TRUE(Contains(TRecordingManager::freed, objectBlock));
    auto* raw = new char[10];
    const uintptr_t rawBlock = reinterpret_cast<uintptr_t>(raw);
    delete[] raw;
    EXPECT_TRUE(Contains(TRecordingManager::dataBlocks, dataBlock));
    EXPECT_TRUE(Contains(TRecordingManager::freed, dataBlock));
    EXPECT_TRUE(Contains(TRecordingManager::dataBlocks, rawBlock));
    EXPECT_TRUE(Contains(TRecordingManager::freed, rawBlock));
  }
  {
    RecordingScope scope;
    TMemoryStream stream;
    std::string text(50000, 'x');
    stream.WriteString(text);
    EXPECT_GE(TRecordingManager::reallocs, 1);
  }
}

TEST(MemoryManager, RefusesIncompleteTable) {
  TMemoryManager current;
  GetMemoryManager(current);
  TMemoryManager broken = current;
  broken.FreeMem = nullptr;
  EXPECT_FALSE(SetMemoryManager(broken));
  TMemoryManager after;
  GetMemoryManager(after);
  EXPECT_EQ(after.FreeMem, current.FreeMem);
  // ReallocMem edge contracts.
  void* p = ReallocMem(nullptr, 16);
  ASSERT_NE(p, nullptr);
  std::memset(p, 0xAB, 16);
  p = ReallocMem(p, 32);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(p)[15], 0xAB);
  EXPECT_EQ(ReallocMem(p, 0), nullptr);
}

// ---------------------------------------------------------------------------
// Unit table

std::vector<std::string> unitLog;
void StartA() { unitLog.push_back("start A"); }
void StopA() { unitLog.push_back("stop A"); }
void StartB() { unitLog.push_back("start B"); }
void StopB() { unitLog.push_back("stop B"); }
void StartC() { unitLog.push_back("start C"); }
void StopC() { unitLog.push_back("stop C"); }
void StartReplacement() { unitLog.push_back("start C'"); }
void StopFailing() {
  unitLog.push_back("stop failing");
  throw Exception("stop failed");
}

int indexC = -1;
// Rewrites a later start slot and reorders the stop column while starts run, as the
// logger does.
void StartPatcher() {
  unitLog.push_back("start patcher");
  TUnitEntry* units = InitContext.Table->Units;
  units[indexC].Init = &StartReplacement;
  TUnitProc moved = units[indexC - 2].Fini;
  units[indexC - 2].Fini = units[indexC].Fini;
  units[indexC].Fini = moved;
}

TEST(UnitTable, StartsInOrderStopsInReverseAndHonoursRewrites) {
  // Earlier tests in this program may have started units; begin from a clean state.
  FinalizeUnits();
  unitLog.clear();
  int a = RegisterUnit("TestA", &StartA, &StopA);
  int patcher = RegisterUnit("TestPatcher", &StartPatcher, nullptr);
  int failing = RegisterUnit("TestFailing", nullptr, &StopFailing);
  int b = RegisterUnit("TestB", &StartB, &StopB);
  indexC = RegisterUnit("TestC", &StartC, &StopC);
  EXPECT_EQ(patcher, a + 1);
  EXPECT_EQ(indexC, b + 1);
  ASSERT_EQ(indexC - 2, failing);  // the patcher swaps the stops of "failing" and C

  // The class library's own units come first.
  EXPECT_EQ(FindUnit("System"), 0);
  EXPECT_EQ(FindUnit("SysUtils"), 1);
  EXPECT_EQ(FindUnit("Classes"), 2);
  EXPECT_EQ(FindUnit("TestB"), b);
  EXPECT_EQ(FindUnit("Nothing"), -1);
  EXPECT_STREQ(UnitName(a), "TestA");
  ASSERT_NE(InitContext.Table, nullptr);
  EXPECT_GE(InitContext.Table->UnitCount, 8);
  EXPECT_LE(InitContext.Table->UnitCount, MaxUnits);

  InitUnits();
  EXPECT_EQ(InitContext.InitCount, InitContext.Table->UnitCount);
  std::vector<std::string> expectStarts = {"start A", "start patcher", "start B", "start C'"};
  std::vector<std::string> tail(unitLog.end() - 4, unitLog.end());
  EXPECT_EQ(tail, expectStarts);
  // The registry exists while the Classes unit runs.
  RegisterClass(TDog::StaticClass());
  EXPECT_EQ(GetClass("tdog"), TDog::StaticClass());

  unitLog.clear();
  EXPECT_EQ(FinalizeUnits(), 1);  // the failing stop is counted, the others still run
  // Reverse order over the rewritten stop column: C's slot now holds the failing stop
  // and the failing unit's slot holds C's stop.
  EXPECT_EQ(unitLog, (std::vector<std::string>{"stop failing", "stop B", "stop C", "stop A"}));
  EXPECT_EQ(InitContext.InitCount, 0);
  EXPECT_EQ(GetClass("TDog"), nullptr);
  EXPECT_THROW(RegisterClass(TDog::StaticClass()), EInvalidOperation);

  // Restarting the library's Classes unit after its stop (the leak report does) works.
  InitContext.Table->Units[FindUnit("Classes")].Init();
  RegisterClass(TDog::StaticClass());
  EXPECT_EQ(FindClass("TDOG"), TDog::StaticClass());
  InitContext.Table->Units[FindUnit("Classes")].Fini();
}

bool failNextStart = false;
void StartFailingOnce() {
  unitLog.push_back("start flaky");
  if (failNextStart) {
    failNextStart = false;
    throw Exception("start failed");
  }
}
void StopFlaky() { unitLog.push_back("stop flaky"); }
void StartLate() { unitLog.push_back("start late"); }

TEST(UnitTable, FailedStartPropagatesAndOnlyStartedUnitsStop) {
  FinalizeUnits();
  int flaky = RegisterUnit("TestFlaky", &StartFailingOnce, &StopFlaky);
  RegisterUnit("TestLate", &StartLate, nullptr);
  failNextStart = true;
  unitLog.clear();
  EXPECT_THROW(InitUnits(), Exception);
  EXPECT_EQ(InitContext.InitCount, flaky);  // units before it are started, it is not
  EXPECT_EQ(unitLog.back(), "start flaky");
  unitLog.clear();
  FinalizeUnits();
  EXPECT_EQ(std::count(unitLog.begin(), unitLog.end(), "stop flaky"), 0);
  // A later run starts everything, the flaky unit included.
  unitLog.clear();
  InitUnits();
  EXPECT_EQ(unitLog.back(), "start late");
  EXPECT_EQ(InitContext.InitCount, InitContext.Table->UnitCount);
  unitLog.clear();
  FinalizeUnits();
  EXPECT_EQ(unitLog.front(), "stop flaky");
}

}  // namespace
