// The hook engine on the live process under Wine: import slots of this test program
// and of a module with two kernel32 descriptors, inline hooks of hand-assembled
// routines, a method slot of a C++ virtual table, and the undo at unit stop, which
// must leave every patched byte as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "exclog/hooks/EHook.h"
#include "exclog/hooks/EHookImports.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using namespace exclog;
using Bytes = std::vector<uint8_t>;

// The engine is started for each test and stopped at its end, so each test also
// checks that the stop undoes what it made.
class EHookWin : public ::testing::Test {
 protected:
  void SetUp() override { HookUnitInit(); }
  void TearDown() override {
    if (HookUnitStarted()) HookUnitDone();
    SetWin32Platform(2);
  }
};

// The import address table slots of `dll` in a loaded module.
std::vector<TImportSlot> ImportSlots(HMODULE module, const char* dll) {
  const auto* image = reinterpret_cast<const uint8_t*>(module);
  const auto size = ImageSizeOf(image, 4096);
  if (!size) return {};
  const auto slots = FindImportSlots(image, *size, dll);
  return slots ? *slots : std::vector<TImportSlot>{};
}

// What the slots hold now, read from memory.
std::vector<uint32_t> SlotValues(HMODULE module, const std::vector<TImportSlot>& slots) {
  std::vector<uint32_t> values;
  for (const auto& s : slots) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(module) + s.SlotRva, 4);
    values.push_back(v);
  }
  return values;
}

std::string ThisProgram() { return ModuleFileName(GetModuleHandleA(nullptr)); }

template <class E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// ----- import slots -----

std::atomic<int> writeCalls{0}, threadCalls{0};
decltype(&WriteFile) originalWriteFile = nullptr;
decltype(&CreateThread) originalCreateThread = nullptr;

BOOL WINAPI CountingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  ++writeCalls;
  return originalWriteFile(file, data, size, written, overlapped);
}

HANDLE WINAPI CountingCreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                   LPVOID param, DWORD flags, LPDWORD id) {
  ++threadCalls;
  return originalCreateThread(sa, stack, start, param, flags, id);
}

DWORD WINAPI SetFlagThread(LPVOID param) {
  static_cast<std::atomic<int>*>(param)->store(1);
  return 0;
}

struct TTempFile {
  std::string Name;
  HANDLE Handle = INVALID_HANDLE_VALUE;
  TTempFile() : Name(velmora::test::TempPath("hook.bin")) {
    Handle = CreateFileA(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  }
  ~TTempFile() {
    CloseHandle(Handle);
    DeleteFileA(Name.c_str());
  }
  std::string Contents() const {
    std::string s(GetFileSize(Handle, nullptr), '\0');
    SetFilePointer(Handle, 0, nullptr, FILE_BEGIN);
    DWORD read = 0;
    ReadFile(Handle, s.data(), static_cast<DWORD>(s.size()), &read, nullptr);
    return s;
  }
};

TEST_F(EHookWin, WriteFileAndCreateThreadSlotsOfThisProgramAreHookedAndRestored) {
  HMODULE self = GetModuleHandleA(nullptr);
  const auto slots = ImportSlots(self, "kernel32.dll");
  ASSERT_FALSE(slots.empty());
  const auto before = SlotValues(self, slots);

  void* original = nullptr;
  ASSERT_TRUE(HookImportInModules({"", "no-such-module.dll", ThisProgram()}, "kernel32.dll", false, original,
                                  "WriteFile", reinterpret_cast<void*>(&CountingWriteFile)));
  EXPECT_EQ(original, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile")));
  originalWriteFile = reinterpret_cast<decltype(&WriteFile)>(original);
  ASSERT_TRUE(HookImportInModules({ThisProgram()}, "kernel32.dll", false, original, "CreateThread",
                                  reinterpret_cast<void*>(&CountingCreateThread)));
  originalCreateThread = reinterpret_cast<decltype(&CreateThread)>(original);
  EXPECT_EQ(HookedImportCount(), 2);
  EXPECT_NE(SlotValues(self, slots), before);

  TTempFile file;
  DWORD written = 0;
  writeCalls = 0;
  ASSERT_TRUE(WriteFile(file.Handle, "hook", 4, &written, nullptr));
  EXPECT_EQ(writeCalls.load(), 1);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(file.Contents(), "hook");

  std::atomic<int> flag{0};
  threadCalls = 0;
  HANDLE thread = CreateThread(nullptr, 0, &SetFlagThread, &flag, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  EXPECT_EQ(threadCalls.load(), 1);
  EXPECT_EQ(flag.load(), 1);

  HookUnitDone();
  EXPECT_EQ(SlotValues(self, slots), before);
  writeCalls = 0;
  WriteFile(file.Handle, "!", 1, &written, nullptr);
  EXPECT_EQ(writeCalls.load(), 0);
}

using TTwoWrite = BOOL(WINAPI*)(HANDLE, const char*, DWORD, int);

TEST_F(EHookWin, ModuleImportingThroughTwoDescriptorsGetsBothSlotsAndTwoRecords) {
  HMODULE two = LoadLibraryA("ehook_two.dll");
  ASSERT_NE(two, nullptr) << "ehook_two.dll is built beside the tests";
  auto twoWrite = reinterpret_cast<TTwoWrite>(GetProcAddress(two, "TwoWrite"));
  ASSERT_NE(twoWrite, nullptr);
  const auto slots = ImportSlots(two, "kernel32.dll");
  ASSERT_EQ(slots.size(), 2u);
  const auto before = SlotValues(two, slots);

  void* writeFile = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile"));
  originalWriteFile = reinterpret_cast<decltype(&WriteFile)>(writeFile);
  EXPECT_EQ(HookImport(two, "KERNEL32.DLL", writeFile, false, false, "kernel32.dll.WriteFile",
                       reinterpret_cast<void*>(&CountingWriteFile)),
            writeFile);
  EXPECT_EQ(HookedImportCount(), 2);

  TTempFile file;
  writeCalls = 0;
  EXPECT_TRUE(twoWrite(file.Handle, "a", 1, 0));
  EXPECT_TRUE(twoWrite(file.Handle, "b", 1, 1));
  EXPECT_EQ(writeCalls.load(), 2);
  EXPECT_EQ(file.Contents(), "ab");

  HookUnitDone();
  EXPECT_EQ(SlotValues(two, slots), before);
  FreeLibrary(two);
}

TEST_F(EHookWin, ImportErrorsAndSilentMisses) {
  HMODULE self = GetModuleHandleA(nullptr);
  void* tape = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTapeStatus"));
  ASSERT_NE(tape, nullptr);
  const auto before = SlotValues(self, ImportSlots(self, "kernel32.dll"));

  EXPECT_EQ(HookImport(self, "kernel32.dll", tape, false, true, "kernel32.dll.GetTapeStatus", tape), nullptr);
  void* original = nullptr;
  EXPECT_FALSE(HookImportInModules({ThisProgram()}, "kernel32.dll", true, original, "GetTapeStatus", tape));
  EXPECT_EQ(original, tape);
  EXPECT_EQ(MessageOf<EHookingError>([&] {
              HookImportInModules({ThisProgram()}, "kernel32.dll", false, original, "GetTapeStatus", tape);
            }),
            "Cannot hook the procedure \"kernel32.dll.GetTapeStatus\".");
  EXPECT_EQ(MessageOf<EProcNull>([&] { HookImport(self, "kernel32.dll", nullptr, false, true, "x.dll.Y", tape); }),
            "Cannot hook a null procedure (\"x.dll.Y\").");
  // A block of memory without PE headers.
  std::vector<uint8_t> junk(4096, 0x4D);
  EXPECT_EQ(HookImport(junk.data(), "kernel32.dll", tape, false, true, "j", tape), nullptr);
  EXPECT_EQ(MessageOf<EHookingError>([&] { HookImport(junk.data(), "kernel32.dll", tape, false, false, "j", tape); }),
            "Cannot hook the procedure \"j\".");
  // The older family refuses modules in the shared area.
  SetWin32Platform(1);
  EXPECT_EQ(MessageOf<ESharedArea>([&] {
              HookImport(reinterpret_cast<void*>(0x80001000u), "kernel32.dll", tape, false, true, "s", tape);
            }),
            "Cannot hook the module \"\" located into the shared-area.");
  EXPECT_EQ(HookedImportCount(), 0);
  EXPECT_EQ(SlotValues(self, ImportSlots(self, "kernel32.dll")), before);
}

// The older family matches "push value; jmp" stubs by the pushed value: a module whose
// slot points at another stub pushing the same value is patched.
TEST_F(EHookWin, OlderFamilyMatchesPushJumpStubsByValue) {
  HMODULE two = LoadLibraryA("ehook_two.dll");
  ASSERT_NE(two, nullptr);
  const auto slots = ImportSlots(two, "kernel32.dll");
  ASSERT_EQ(slots.size(), 2u);
  const auto before = SlotValues(two, slots);
  auto* stubs = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  const uint8_t stub[] = {0x68, 0x78, 0x56, 0x34, 0x12, 0xE9, 0, 0, 0, 0};
  std::memcpy(stubs, stub, sizeof stub);        // the routine asked for
  std::memcpy(stubs + 16, stub, sizeof stub);   // what the first slot holds
  uint8_t* other = stubs + 32;                  // a stub pushing another value
  std::memcpy(other, stub, sizeof stub);
  other[1] = 0x79;
  void* first = stubs + 16;
  ASSERT_TRUE(WriteCode(reinterpret_cast<uint8_t*>(two) + slots[0].SlotRva, &first, 4));
  void* second = other;
  ASSERT_TRUE(WriteCode(reinterpret_cast<uint8_t*>(two) + slots[1].SlotRva, &second, 4));

  SetWin32Platform(1);
  void* replacement = reinterpret_cast<void*>(&CountingWriteFile);
  EXPECT_EQ(HookImport(two, "kernel32.dll", stubs, true, false, "k", replacement), stubs);
  const auto now = SlotValues(two, slots);
  EXPECT_EQ(now[0], reinterpret_cast<uintptr_t>(replacement));
  EXPECT_EQ(now[1], reinterpret_cast<uintptr_t>(other));
  SetWin32Platform(2);

  for (size_t i = 0; i < slots.size(); ++i)
    WriteCode(reinterpret_cast<uint8_t*>(two) + slots[i].SlotRva, &before[i], 4);
  VirtualFree(stubs, 0, MEM_RELEASE);
  FreeLibrary(two);
}

// ----- inline hooks -----

using TFast = int(__attribute__((fastcall)) *)(int);

// Executable memory holding hand-assembled fastcall routines (argument in ECX,
// result in EAX), each followed by int3 filler.
struct TCodePage {
  uint8_t* Base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  TCodePage() { std::memset(Base, 0xCC, 4096); }
  ~TCodePage() { VirtualFree(Base, 0, MEM_RELEASE); }
  TFast Put(size_t at, const Bytes& code) {
    std::memcpy(Base + at, code.data(), code.size());
    FlushInstructionCache(GetCurrentProcess(), Base + at, code.size());
    return reinterpret_cast<TFast>(Base + at);
  }
  Bytes Snapshot() const { return Bytes(Base, Base + 1024); }
};

TFast currentTrampoline = nullptr;
int __attribute__((fastcall)) PlusThousand(int x) { return currentTrampoline(x) + 1000; }

struct TRoutineCase {
  const char* Name;
  Bytes Code;
  std::vector<std::pair<int, int>> Results;  // argument, original result
};

TEST_F(EHookWin, HandAssembledRoutinesGiveTheSameResultsThroughTheirTrampolines) {
  const std::vector<TRoutineCase> cases = {
      // test ecx,ecx; je +8 (leaves the 7 displaced bytes); lea eax,[ecx+1]; ret;
      // ... 12: mov eax,100; ret
      {"short je", {0x85, 0xC9, 0x74, 0x08, 0x8D, 0x41, 0x01, 0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0xB8, 100, 0, 0, 0, 0xC3},
       {{0, 100}, {5, 6}}},
      // call +11 (a helper returning 7); add eax,ecx; ret; ... 16: mov eax,7; ret
      {"call rel32", {0xE8, 0x0B, 0, 0, 0, 0x01, 0xC8, 0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xB8, 7, 0, 0, 0, 0xC3},
       {{5, 12}, {-7, 0}}},
      // mov ax,cx (66); ds movzx eax,ax (3E 0F B7 C0); ret
      {"prefixes", {0x66, 0x89, 0xC8, 0x3E, 0x0F, 0xB7, 0xC0, 0xC3}, {{0x12345, 0x2345}, {-1, 0xFFFF}}},
      // test ecx,ecx; cs jne +7 (hinted, leaves); xor eax,eax; ret; ... 12: mov eax,ecx; ret
      {"hinted jne", {0x85, 0xC9, 0x2E, 0x75, 0x07, 0x31, 0xC0, 0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0x89, 0xC8, 0xC3},
       {{0, 0}, {9, 9}}},
      // test ecx,ecx; je rel32 +10; lea eax,[ecx+2]; ret; ... 18: mov eax,42; ret
      {"je rel32", {0x85, 0xC9, 0x0F, 0x84, 0x0A, 0, 0, 0, 0x8D, 0x41, 0x02, 0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xB8, 42, 0, 0, 0, 0xC3},
       {{0, 42}, {1, 3}}},
  };
  TCodePage page;
  std::vector<TFast> routines;
  for (size_t i = 0; i < cases.size(); ++i) routines.push_back(page.Put(64 * i, cases[i].Code));
  const Bytes before = page.Snapshot();
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].Name);
    for (auto [arg, result] : cases[i].Results) ASSERT_EQ(routines[i](arg), result);
    void* tramp = HookRoutine(reinterpret_cast<void*>(routines[i]), reinterpret_cast<void*>(&PlusThousand), cases[i].Name);
    ASSERT_NE(tramp, nullptr);
    currentTrampoline = reinterpret_cast<TFast>(tramp);
    for (auto [arg, result] : cases[i].Results) {
      EXPECT_EQ(currentTrampoline(arg), result);
      EXPECT_EQ(routines[i](arg), result + 1000);
    }
    // Asked again: the first trampoline, and the code as the first hook left it.
    const Bytes patched = page.Snapshot();
    EXPECT_EQ(HookRoutine(reinterpret_cast<void*>(routines[i]), reinterpret_cast<void*>(&PlusThousand), "again"), tramp);
    EXPECT_EQ(page.Snapshot(), patched);
  }
  EXPECT_EQ(HookedRoutineCount(), static_cast<int>(cases.size()));
  // Unhooking by trampoline address puts that routine back at once.
  EXPECT_TRUE(UnhookRoutine(reinterpret_cast<void*>(currentTrampoline)));
  EXPECT_EQ(routines.back()(0), 42);
  EXPECT_FALSE(UnhookRoutine(reinterpret_cast<void*>(currentTrampoline)));
  HookUnitDone();
  EXPECT_EQ(page.Snapshot(), before);
  for (size_t i = 0; i < cases.size(); ++i)
    for (auto [arg, result] : cases[i].Results) EXPECT_EQ(routines[i](arg), result);
}

TEST_F(EHookWin, InlineHookRefusesWhatItCannotMove) {
  TCodePage page;
  const std::vector<std::pair<const char*, Bytes>> refused = {
      {"undecodable", {0x55, 0xD6, 0x89, 0xE5, 0x90, 0xC3}},
      {"data16 call", {0x66, 0xE8, 0x10, 0x00, 0x90, 0xC3}},
      {"data16 jcc", {0x90, 0x66, 0x0F, 0x84, 0x10, 0x00, 0xC3}},
      {"short routine", {0x31, 0xC0, 0xC3, 0x8B, 0x45, 0x08, 0xC3}},
  };
  std::vector<TFast> routines;
  for (size_t i = 0; i < refused.size(); ++i) routines.push_back(page.Put(64 * i, refused[i].second));
  // A routine returning at once but followed by padding can be hooked.
  TFast tiny = page.Put(512, {0x31, 0xC0, 0xC3, 0x90, 0x8D, 0x76, 0x00});
  const Bytes before = page.Snapshot();
  for (size_t i = 0; i < refused.size(); ++i)
    EXPECT_EQ(MessageOf<EHookingError>([&] {
                HookRoutine(reinterpret_cast<void*>(routines[i]), reinterpret_cast<void*>(&PlusThousand), refused[i].first);
              }),
              std::string("Cannot hook the procedure \"") + refused[i].first + "\".");
  EXPECT_EQ(HookedRoutineCount(), 0);
  EXPECT_EQ(page.Snapshot(), before);
  EXPECT_EQ(MessageOf<EProcNull>([&] { HookRoutine(nullptr, reinterpret_cast<void*>(&PlusThousand), "nil"); }),
            "Cannot hook a null procedure (\"nil\").");
  SetWin32Platform(1);
  EXPECT_EQ(MessageOf<ESharedArea>([&] {
              HookRoutine(reinterpret_cast<void*>(0x80001000u), reinterpret_cast<void*>(&PlusThousand), "s");
            }),
            "Cannot hook the module \"\" located into the shared-area.");
  SetWin32Platform(2);
  void* tramp = HookRoutine(reinterpret_cast<void*>(tiny), reinterpret_cast<void*>(&PlusThousand), "tiny");
  ASSERT_NE(tramp, nullptr);
  currentTrampoline = reinterpret_cast<TFast>(tramp);
  EXPECT_EQ(tiny(3), 1000);
  HookUnitDone();
  EXPECT_EQ(page.Snapshot(), before);
  EXPECT_EQ(tiny(3), 0);
}

TEST_F(EHookWin, InlineHookFollowsIndirectJumpThunks) {
  TCodePage page;
  TFast target = page.Put(0, {0x8D, 0x41, 0x05, 0x90, 0x90, 0xC3});  // lea eax,[ecx+5]
  // jmp [slot] at 64, slot at 128
  void* slot = page.Base + 128;
  uint8_t thunk[6] = {0xFF, 0x25};
  std::memcpy(thunk + 2, &slot, 4);
  std::memcpy(page.Base + 64, thunk, 6);
  void* t = reinterpret_cast<void*>(target);
  std::memcpy(page.Base + 128, &t, 4);
  void* tramp = HookRoutine(page.Base + 64, reinterpret_cast<void*>(&PlusThousand), "thunk");
  currentTrampoline = reinterpret_cast<TFast>(tramp);
  EXPECT_EQ(target(1), 1006);  // the target itself was patched
  EXPECT_EQ(page.Base[64], 0xFF);
  HookUnitDone();
  EXPECT_EQ(target(1), 6);
}

// ----- method slots -----

struct TProbe {
  virtual int Value() const { return 1; }
};

int __attribute__((thiscall)) ReplacementValue(const TProbe* self) { return 77; }
int __attribute__((thiscall)) OtherValue(const TProbe* self) { return 88; }

int __attribute__((noinline)) CallValue(const TProbe* volatile p) { return p->Value(); }

TEST_F(EHookWin, MethodSlotIsPatchedOnceAndTheRecordedOriginalReturned) {
  TProbe probe;
  void* table = *reinterpret_cast<void**>(&probe);
  const uintptr_t original = static_cast<uintptr_t*>(table)[0];
  ASSERT_EQ(CallValue(&probe), 1);
  const auto replacement = reinterpret_cast<uintptr_t>(&ReplacementValue);
  EXPECT_EQ(HookMethodSlot(table, 0, replacement), original);
  EXPECT_EQ(CallValue(&probe), 77);
  EXPECT_EQ(HookMethodSlot(table, 0, replacement), original);
  EXPECT_EQ(HookMethodSlot(table, 0, replacement), original);
  EXPECT_EQ(HookedMethodCount(), 1);
  // Re-patched with another value: the undo still finds the true original.
  EXPECT_EQ(HookMethodSlot(table, 0, reinterpret_cast<uintptr_t>(&OtherValue)), replacement);
  EXPECT_EQ(CallValue(&probe), 88);
  EXPECT_EQ(HookedMethodCount(), 1);
  HookUnitDone();
  EXPECT_EQ(static_cast<uintptr_t*>(table)[0], original);
  EXPECT_EQ(CallValue(&probe), 1);
}

TEST_F(EHookWin, MethodSlotErrors) {
  TProbe probe;
  void* table = *reinterpret_cast<void**>(&probe);
  const auto replacement = reinterpret_cast<uintptr_t>(&ReplacementValue);
  EXPECT_TRUE(HookMethodSlot(table, 0, replacement) != 0);
  EXPECT_TRUE(UnhookMethodSlot(table, 0));
  EXPECT_FALSE(UnhookMethodSlot(table, 0));
  EXPECT_EQ(CallValue(&probe), 1);
  // A slot that already holds the value without a record.
  uintptr_t fake[2] = {replacement, 0};
  EXPECT_EQ(MessageOf<EHookingError>([&] { HookMethodSlot(fake, 0, replacement); }).rfind("Cannot hook the procedure \"$", 0), 0u);
  // Reserved, never committed: not a slot to read.
  void* reserved = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
  EXPECT_THROW(HookMethodSlot(reserved, 0, replacement), EHookingError);
  EXPECT_FALSE(WriteCode(reserved, &replacement, 4));  // no protection change, no write
  VirtualFree(reserved, 0, MEM_RELEASE);
  HookUnitDone();
  EXPECT_EQ(HookMethodSlot(table, 0, replacement), 0u);  // the engine is stopped
  EXPECT_EQ(CallValue(&probe), 1);
}

TEST_F(EHookWin, UnitStartAndStopAreCounted) {
  HookUnitInit();  // second start: nothing new
  TProbe probe;
  void* table = *reinterpret_cast<void**>(&probe);
  const uintptr_t original = static_cast<uintptr_t*>(table)[0];
  HookMethodSlot(table, 0, reinterpret_cast<uintptr_t>(&ReplacementValue));
  HookUnitDone();  // not the last stop
  EXPECT_TRUE(HookUnitStarted());
  EXPECT_EQ(CallValue(&probe), 77);
  HookUnitDone();
  EXPECT_FALSE(HookUnitStarted());
  EXPECT_EQ(static_cast<uintptr_t*>(table)[0], original);
}

// ----- routine size -----

int __attribute__((noinline)) SumSquares(int n) {
  volatile int buffer[16];
  int sum = 0;
  for (int i = 0; i < n && i < 16; ++i) buffer[i] = i * i;
  for (int i = 0; i < n && i < 16; ++i) sum += buffer[i];
  return sum;
}

int __attribute__((noinline)) Classify(int v) {
  volatile char mark = 0;
  switch (v & 7) {
    case 0: mark = 'a'; break;
    case 1: mark = 'b'; break;
    case 5: mark = static_cast<char>(0xC3); break;
    default: mark = 'z';
  }
  return mark + v;
}

std::string __attribute__((noinline)) Joined(const std::string& a, int b) { return a + std::to_string(b); }

// The distance from the start to the end of the first ret, as objdump lists it.
std::optional<uint32_t> ObjdumpRetDistance(const std::string& exe, uint32_t vma) {
  std::ostringstream cmd;
  cmd << "i686-w64-mingw32-objdump -d --insn-width=16 --start-address=0x" << std::hex << vma
      << " --stop-address=0x" << vma + 4096 << " '" << exe << "' | grep -m1 -P '\\tret'";
  const auto out = velmora::test::RunHostCommand(cmd.str());
  if (!out || out->empty()) return std::nullopt;
  // "  401234:\tc2 14 00 \tret    $0x14"
  const auto tab1 = out->find('\t'), tab2 = out->find('\t', tab1 + 1);
  if (tab1 == std::string::npos || tab2 == std::string::npos) return std::nullopt;
  std::istringstream bytes(out->substr(tab1 + 1, tab2 - tab1 - 1));
  uint32_t length = 0;
  for (std::string b; bytes >> b;) ++length;
  return static_cast<uint32_t>(std::stoul(*out, nullptr, 16) - vma + length);
}

TEST(EHookRoutineSize, CompiledRoutinesEndAtTheirFirstReturn) {
  std::string exe = ThisProgram();  // Z:\... to /...
  if (exe.rfind("Z:", 0) == 0) exe = exe.substr(2);
  for (char& c : exe)
    if (c == '\\') c = '/';
  const auto header = velmora::test::RunHostCommand("i686-w64-mingw32-objdump -p '" + exe + "' | grep -m1 ImageBase");
  ASSERT_TRUE(header && !header->empty());
  std::istringstream fields(*header);
  std::string label;
  uint32_t fileBase = 0;
  fields >> label >> std::hex >> fileBase;
  ASSERT_NE(fileBase, 0u);
  const auto loadBase = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  const std::vector<std::pair<const char*, const void*>> routines = {
      {"SumSquares", reinterpret_cast<const void*>(&SumSquares)},
      {"Classify", reinterpret_cast<const void*>(&Classify)},
      {"Joined", reinterpret_cast<const void*>(&Joined)},
      {"CountingWriteFile", reinterpret_cast<const void*>(&CountingWriteFile)},
      {"WriteCode", reinterpret_cast<const void*>(&WriteCode)},
  };
  for (const auto& [name, at] : routines) {
    SCOPED_TRACE(name);
    const uint32_t vma = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at) - loadBase) + fileBase;
    const auto expected = ObjdumpRetDistance(exe, vma);
    ASSERT_TRUE(expected);
    EXPECT_EQ(RoutineSizeAt(at, 4096), *expected);
  }
  EXPECT_EQ(RoutineSizeAt(reinterpret_cast<const void*>(&SumSquares), 0), 0u);
  EXPECT_EQ(RoutineSizeAt(reinterpret_cast<const void*>(&SumSquares), 3), 3u);
}

}  // namespace

namespace {

// A mapped image in memory importing WriteFile from kernel32.dll once, its slot at
// 0x300 holding `value`.
void LayImage(uint8_t* b, uint32_t value) {
  std::memset(b, 0, 0x400);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(b + at, &v, 4); };
  b[0] = 'M';
  b[1] = 'Z';
  put32(0x3C, 0x40);
  std::memcpy(b + 0x40, "PE\0\0", 4);
  put32(0x58 + 56, 0x400);
  put32(0x58 + 92, 16);
  put32(0x58 + 104, 0x200);
  put32(0x200 + 12, 0x280);
  put32(0x200 + 16, 0x300);
  std::memcpy(b + 0x280, "kernel32.dll", 13);
  put32(0x300, value);
}

TEST_F(EHookWin, SlotsThatCannotBeWrittenRaiseAndAreNotRecorded) {
  void* writeFile = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile"));
  HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x1000, nullptr);
  ASSERT_NE(section, nullptr);
  auto* writable = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0x1000));
  auto* readOnly = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0x1000));
  ASSERT_TRUE(writable && readOnly);
  LayImage(writable, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(writeFile)));
  DWORD old;
  if (VirtualProtect(readOnly + 0x300, 4, PAGE_EXECUTE_READWRITE, &old)) {
    VirtualProtect(readOnly + 0x300, 4, old, &old);
    GTEST_SKIP() << "this system lets a read-only view become writable";
  }
  void* replacement = reinterpret_cast<void*>(&CountingWriteFile);
  EXPECT_EQ(MessageOf<EHookingError>([&] { HookImport(readOnly, "kernel32.dll", writeFile, false, false, "ro.WriteFile", replacement); }),
            "Cannot hook the procedure \"ro.WriteFile\".");
  EXPECT_EQ(HookImport(readOnly, "kernel32.dll", writeFile, false, true, "ro.WriteFile", replacement), nullptr);
  EXPECT_EQ(HookedImportCount(), 0);
  uint32_t slot;
  std::memcpy(&slot, readOnly + 0x300, 4);
  EXPECT_EQ(slot, reinterpret_cast<uintptr_t>(writeFile));
  // A method table in the read-only view: the caller hears of the failed write.
  EXPECT_THROW(HookMethodSlot(readOnly + 0x300, 0, 1234), EHookingError);
  EXPECT_EQ(HookedMethodCount(), 0);
  UnmapViewOfFile(readOnly);
  UnmapViewOfFile(writable);
  CloseHandle(section);
}

TEST_F(EHookWin, UndoAtStopSkipsWhatCannotBeWrittenAndCarriesOn) {
  void* writeFile = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile"));
  void* replacement = reinterpret_cast<void*>(&CountingWriteFile);
  // An import hook and a method slot in memory that is gone before the stop.
  auto* image = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x1000, MEM_COMMIT, PAGE_READWRITE));
  LayImage(image, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(writeFile)));
  ASSERT_EQ(HookImport(image, "kernel32.dll", writeFile, false, false, "mem.WriteFile", replacement), writeFile);
  auto* table = static_cast<uintptr_t*>(VirtualAlloc(nullptr, 0x1000, MEM_COMMIT, PAGE_READWRITE));
  table[0] = 1;
  ASSERT_EQ(HookMethodSlot(table, 0, 2), 1u);
  // And patches in live memory that must still be undone after those.
  HMODULE self = GetModuleHandleA(nullptr);
  const auto slots = ImportSlots(self, "kernel32.dll");
  const auto before = SlotValues(self, slots);
  void* original = nullptr;
  ASSERT_TRUE(HookImportInModules({ThisProgram()}, "kernel32.dll", false, original, "WriteFile", replacement));
  originalWriteFile = reinterpret_cast<decltype(&WriteFile)>(original);
  TProbe probe;
  void* vtable = *reinterpret_cast<void**>(&probe);
  const uintptr_t method = static_cast<uintptr_t*>(vtable)[0];
  HookMethodSlot(vtable, 0, reinterpret_cast<uintptr_t>(&ReplacementValue));
  VirtualFree(image, 0, MEM_RELEASE);
  VirtualFree(table, 0, MEM_RELEASE);
  HookUnitDone();
  EXPECT_EQ(SlotValues(self, slots), before);
  EXPECT_EQ(static_cast<uintptr_t*>(vtable)[0], method);
}

}  // namespace
