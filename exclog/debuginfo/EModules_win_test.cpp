#include "exclog/debuginfo/EModules_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>
#include <vector>

#include <psapi.h>

#include "exclog/core/ECore_win.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

constexpr uint32_t MarkerLine = __LINE__ + 1;
__attribute__((noinline)) int MarkerRoutine(int x) {
  return x * 3 + 1;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  std::string t = Lower(text);
  return t.size() >= tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(EModulesWin, ListNamesTheProgramAndKernel32WithItsVersion) {
  ModulesList().Clear();  // every record made afresh
  RefreshModules();
  TQuelbaModulesList& list = ModulesList();
  list.Lock();
  bool program = false, kernel = false;
  std::string kernelVersion;
  uintptr_t previous = 0;
  for (int i = 0; i < list.Count(); ++i) {
    TQuelbaModuleInfo* m = list.Get(i);
    EXPECT_GT(m->Handle, previous);  // sorted by handle
    previous = m->Handle;
    if (EndsWith(m->FileName, "exclog_tests.exe")) program = true;
    // Date and size are read from one attribute query: each as asked alone.
    WIN32_FILE_ATTRIBUTE_DATA file;
    bool exists = GetFileAttributesExA(m->FileName.c_str(), GetFileExInfoStandard, &file) != FALSE;
    EXPECT_DOUBLE_EQ(m->LastModified, FileDate(m->FileName)) << m->FileName;
    EXPECT_EQ(m->FileSize, exists ? file.nFileSizeLow : 0u) << m->FileName;
    if (EndsWith(m->FileName, "\\kernel32.dll")) {
      kernel = true;
      kernelVersion = m->Version;
    }
  }
  list.Unlock();
  EXPECT_TRUE(program);
  ASSERT_TRUE(kernel);
  EXPECT_EQ(std::count(kernelVersion.begin(), kernelVersion.end(), '.'), 3) << kernelVersion;
}

TEST(EModulesWin, RecordsMadeInARefreshAreRemadeInFull) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ModulesList().Clear();
  RefreshModules();
  int index = ModulesList().IndexOfHandle(uintptr_t(kernel));
  ASSERT_GE(index, 0);
  EXPECT_EQ(ModulesList().Get(index)->ModuleKind, ModuleUnknown);
  TModuleRef full = FindModule(uintptr_t(kernel));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->ModuleKind, ModuleLibrary);
  EXPECT_EQ(full->DataVersion, 6104);  // no logger data: the current version
  EXPECT_FALSE(full->DebugData);
  EXPECT_EQ(ModuleKindOf(GetModuleHandleA(nullptr)), ModuleExecutable);
  EXPECT_FALSE(FindModule(0));
  EXPECT_FALSE(FindModule(0x7FFE0000));  // not a module
}

// A module file that carries its data as a block appended to the file: the version
// is read from the block, and a trailer whose size overruns the file is no block.
// The handles the system's own enumeration gives, sorted.
std::vector<uintptr_t> SystemModuleHandles() {
  using TEnum = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  HMODULE psapi = LoadLibraryA("psapi.dll");
  auto enumModules = reinterpret_cast<TEnum>(reinterpret_cast<void*>(GetProcAddress(psapi, "EnumProcessModules")));
  std::vector<HMODULE> handles(1024);
  DWORD needed = 0;
  std::vector<uintptr_t> out;
  if (enumModules && enumModules(GetCurrentProcess(), handles.data(), DWORD(handles.size() * sizeof(HMODULE)), &needed))
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < handles.size(); ++i) out.push_back(uintptr_t(handles[i]));
  FreeLibrary(psapi);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uintptr_t> ListedHandles() {
  RefreshModules();
  std::vector<uintptr_t> out;
  TQuelbaModulesList& list = ModulesList();
  list.Lock();
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i)->Handle);
  list.Unlock();
  return out;
}

// The refresh finds modules without the system's enumeration: it must list exactly
// what that enumeration lists, as a library comes and goes.
TEST(EModulesWin, RefreshListsWhatTheSystemEnumerates) {
  HMODULE psapi = LoadLibraryA("psapi.dll");  // loaded throughout, for both sides
  ModulesList().Clear();  // every record found afresh
  EXPECT_EQ(ListedHandles(), SystemModuleHandles());
  HMODULE extra = LoadLibraryA("cabinet.dll");
  ASSERT_NE(extra, nullptr);
  const std::vector<uintptr_t> loaded = ListedHandles();
  EXPECT_NE(std::find(loaded.begin(), loaded.end(), uintptr_t(extra)), loaded.end());
  EXPECT_EQ(loaded, SystemModuleHandles());
  // Mapped as an image but not loaded as a module: not listed.
  HMODULE resourceOnly = LoadLibraryExA("msimg32.dll", nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  EXPECT_EQ(ListedHandles(), SystemModuleHandles());
  if (resourceOnly) FreeLibrary(resourceOnly);
  FreeLibrary(extra);
  if (!GetModuleHandleA("cabinet.dll")) {
    const std::vector<uintptr_t> freed = ListedHandles();
    EXPECT_EQ(std::find(freed.begin(), freed.end(), uintptr_t(extra)), freed.end());
    EXPECT_EQ(freed, SystemModuleHandles());
  }
  FreeLibrary(psapi);
}

// Version facts are kept per file while its size and write time stay: a file
// replaced by another is read again.
TEST(EModulesWin, VersionInfoOfAReplacedFileIsReadAgain) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + "velmora_version_" + std::to_string(GetCurrentProcessId()) + ".dll";
  char system[MAX_PATH + 1] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  ASSERT_TRUE(CopyFileA((std::string(system) + "\\kernel32.dll").c_str(), copy.c_str(), FALSE));
  std::string description, version, again, againVersion;
  ASSERT_TRUE(ReadVersionInfo(copy, description, version));
  EXPECT_FALSE(version.empty());
  ASSERT_TRUE(ReadVersionInfo(copy, again, againVersion));  // from the cache: the same facts
  EXPECT_EQ(again, description);
  EXPECT_EQ(againVersion, version);
  // Replaced by a file without a version resource.
  HANDLE file = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "not a program", 13, &written, nullptr);
  CloseHandle(file);
  EXPECT_FALSE(ReadVersionInfo(copy, again, againVersion));
  EXPECT_EQ(again, "");
  EXPECT_EQ(againVersion, "");
  DeleteFileA(copy.c_str());
}

TEST(EModulesWin, AppendedBlockVersionAndLyingTrailer) {
  std::string image = velmora::test::ReadFileBytes(velmora::test::SourcePath("tests/data/qldata/tiny_nores.exe"));
  ASSERT_FALSE(image.empty());
  auto withTrailer = [&](uint32_t blockSize, const std::string& name) {
    std::string bytes = image;
    std::string block(16, '\0');
    block[0] = char(6104 & 0xFF);
    block[1] = char(6104 >> 8);
    bytes += block;
    const uint32_t trailer[2] = {blockSize, 0x100FAB10u};
    bytes.append(reinterpret_cast<const char*>(trailer), sizeof trailer);
    std::string path = velmora::test::TempPath(name);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
  };
  const std::string good = withTrailer(16, "velmora_appended_good.exe");
  const std::string lying = withTrailer(0x7FFFFFF0u, "velmora_appended_lying.exe");
  HMODULE goodModule = LoadLibraryExA(good.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  HMODULE lyingModule = LoadLibraryExA(lying.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_TRUE(goodModule && lyingModule) << GetLastError();
  EXPECT_TRUE(HasModuleData(goodModule));
  EXPECT_EQ(ModuleDataVersion(goodModule), 6104);
  EXPECT_FALSE(HasModuleData(lyingModule));
  EXPECT_EQ(ModuleDataVersion(lyingModule), 0);
  FreeLibrary(goodModule);
  FreeLibrary(lyingModule);
  DeleteFileA(good.c_str());
  DeleteFileA(lying.c_str());
}

// The build gave this program logger data with enciphered names and the export
// that hands out the pass phrase (tests/data/qldata/encrypted.qlsettings).
TEST(EModulesWin, OwnLoggerDataResolvesThisFile) {
  HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_TRUE(HasModuleData(self));
  EXPECT_EQ(ModuleDataVersion(self), 6104);
  EXPECT_TRUE(HasCurrentModuleData(self));
  EXPECT_FALSE(HasModuleData(GetModuleHandleA("kernel32.dll")));

  TModuleRef module = ModuleOfAddress(reinterpret_cast<const void*>(&MarkerRoutine));
  ASSERT_TRUE(module);
  EXPECT_EQ(module->Handle, uintptr_t(self));
  EXPECT_EQ(module->NameKey, "Velmora test phrase 7");
  EXPECT_EQ(module->NamesEncrypted, 1);
  ASSERT_TRUE(module->Options);
  EXPECT_EQ(module->Options->SmtpHost(), "mail.velmora.test");
  ASSERT_TRUE(module->DebugData);
  uintptr_t offset = reinterpret_cast<uintptr_t>(&MarkerRoutine) - uintptr_t(self);
  auto location = module->DebugData->FindLocation(uint32_t(offset));
  ASSERT_TRUE(location);
  EXPECT_EQ(location->UnitName, "EModules_win_test");
  EXPECT_EQ(location->SourceFile, "EModules_win_test.cpp");
  EXPECT_EQ(location->RoutineName, "MarkerRoutine(int)");
  EXPECT_EQ(location->ClassName, "exclog::(anonymous namespace)");
  EXPECT_EQ(location->Line, MarkerLine);
  EXPECT_EQ(location->LineOffset, 0u);
  EXPECT_EQ(MarkerRoutine(1), 4);
}

TEST(EModulesWin, OwnBlocksByKind) {
  size_t size = 0;
  const uint8_t* check = OwnBlockAddress(BlockKeyCheck, &size);
  ASSERT_TRUE(check);
  ASSERT_EQ(size, 4u);
  EXPECT_TRUE(KeyMatches(TQLCipher("Velmora test phrase 7"),
                         std::string_view(reinterpret_cast<const char*>(check), size)));
  const uint8_t* first = OwnBlockAddress(255, &size);
  EXPECT_EQ(first, OwnBlockAddress(BlockOptions));
  EXPECT_GT(size, 100u);
  EXPECT_FALSE(OwnBlockAddress(77));
}

TQuelbaModulesList* probed = nullptr;
std::atomic<int> lockedDuringFill{0};
void ProbeLock(uintptr_t, TQuelbaFunctionsList&) {
  bool taken = false;
  std::thread other([&] {
    taken = probed->Section().TryEnter();
    if (taken) probed->Section().Leave();
  });
  other.join();
  if (!taken) ++lockedDuringFill;
}

// Records are filled (exports, logger data, pass-phrase handlers) before the
// list's lock is taken.
TEST(EModulesWin, RecordsAreFilledOutsideTheLock) {
  probed = &ModulesList();
  ModuleInfoSeams().BuildExportList = ProbeLock;
  ModulesList().Clear();
  lockedDuringFill = 0;
  EXPECT_TRUE(FindModule(uintptr_t(GetModuleHandleA("kernel32.dll"))));
  ModuleInfoSeams().BuildExportList = nullptr;
  EXPECT_EQ(lockedDuringFill.load(), 0);
}

TEST(EModulesWin, ProcessListHoldsThisProcessWithItsThreads) {
  std::atomic<bool> stop{false};
  std::thread helper([&] {
    while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  TQuelbaProcessesList list;
  // The process-status routines come from kernel32: the helper library is not
  // loaded for them (when no one else has it loaded).
  const bool helperBefore = GetModuleHandleA("psapi.dll") != nullptr;
  bool built = BuildProcessList(list);
  if (!helperBefore) EXPECT_EQ(GetModuleHandleA("psapi.dll"), nullptr);
  stop = true;
  helper.join();
  ASSERT_TRUE(built);
  bool found = false;
  uint32_t previous = 0;
  for (int i = 0; i < list.Count(); ++i) {
    TQuelbaProcessInfo* p = list.Get(i);
    EXPECT_GE(p->ProcessId, previous);
    previous = p->ProcessId;
    if (p->ProcessId == GetCurrentProcessId()) {
      found = true;
      EXPECT_GE(p->Threads, 2u);
      EXPECT_TRUE(EndsWith(p->FileName, "exclog_tests.exe")) << p->FileName;
      EXPECT_NE(PriorityText(p->PriorityClass), "");
      EXPECT_GT(p->Memory, 0u);
    }
  }
  EXPECT_TRUE(found);
}

// This process's memory in the list is its working set, as asking the process
// alone gives it: 32 MB touched just before show in both.
TEST(EModulesWin, ProcessListMemoryIsTheWorkingSet) {
  using TMemoryInfo = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
  auto memoryInfo = reinterpret_cast<TMemoryInfo>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
  ASSERT_NE(memoryInfo, nullptr);
  constexpr size_t Touched = 32u << 20;
  std::vector<char> block(Touched, 1);
  TQuelbaProcessesList list;
  ASSERT_TRUE(BuildProcessList(list));
  PROCESS_MEMORY_COUNTERS asked{};
  asked.cb = sizeof asked;
  ASSERT_TRUE(memoryInfo(GetCurrentProcess(), &asked, sizeof asked));
  const TQuelbaProcessInfo* own = nullptr;
  for (int i = 0; i < list.Count(); ++i)
    if (list.Get(i)->ProcessId == GetCurrentProcessId()) own = list.Get(i);
  ASSERT_NE(own, nullptr);
  EXPECT_GE(own->Memory, Touched);
  EXPECT_NEAR(static_cast<double>(own->Memory), static_cast<double>(asked.WorkingSetSize), 8.0 * (1 << 20));
  EXPECT_EQ(block[Touched - 1], 1);
}

// Each process's path as the per-process question gives it:
// the list takes them from cheaper sources, which must agree. Built twice, the
// second time from the paths kept by process and creation time.
TEST(EModulesWin, ProcessListAgreesWithEachProcessAskedAlone) {
  using TFileNameEx = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  HMODULE psapi = LoadLibraryA("psapi.dll");
  auto fileNameEx =
      reinterpret_cast<TFileNameEx>(reinterpret_cast<void*>(GetProcAddress(psapi, "GetModuleFileNameExA")));
  ASSERT_NE(fileNameEx, nullptr);
  for (int round = 0; round < 2; ++round) {
    TQuelbaProcessesList list;
    ASSERT_TRUE(BuildProcessList(list));
    int compared = 0;
    for (int i = 0; i < list.Count(); ++i) {
      TQuelbaProcessInfo* p = list.Get(i);
      HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p->ProcessId);
      char name[261] = {};
      if (process && fileNameEx(process, nullptr, name, 260)) {
        EXPECT_EQ(p->FileName, name) << "process " << p->ProcessId << " round " << round;
        ++compared;
      }
      if (process) CloseHandle(process);
    }
    EXPECT_GE(compared, 3) << "round " << round;
  }
  FreeLibrary(psapi);
}

// The version block read in one call is the block the system gives after being
// asked for its size: byte for byte up to the block's own length, for every
// loaded module and every running program's file (mapped only to be read).
TEST(EModulesWin, VersionBlockIsTheSystemsSizedBlock) {
  RefreshModules();
  std::vector<std::string> files;
  TQuelbaModulesList& modules = ModulesList();
  modules.Lock();
  for (int i = 0; i < modules.Count(); ++i) files.push_back(modules.Get(i)->FileName);
  modules.Unlock();
  TQuelbaProcessesList processes;
  ASSERT_TRUE(BuildProcessList(processes));
  for (int i = 0; i < processes.Count(); ++i) files.push_back(processes.Get(i)->FileName);
  int withBlock = 0;
  for (const std::string& file : files) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::string sized(size, '\0');
    bool system = size != 0 && GetFileVersionInfoA(file.c_str(), 0, size, sized.data());
    std::optional<std::string> ours = FileVersionBlock(file);
    ASSERT_EQ(ours.has_value(), system) << file;
    if (!system) continue;
    ++withBlock;
    const size_t length = static_cast<uint8_t>(sized[0]) | static_cast<uint8_t>(sized[1]) << 8;
    ASSERT_LE(length, sized.size()) << file;
    EXPECT_EQ(*ours, sized.substr(0, length)) << file;
  }
  EXPECT_GE(withBlock, 10);
}

TEST(EModulesWin, ThreadsFindAndRefreshWithinABound) {
  std::vector<HMODULE> modules = {GetModuleHandleA(nullptr), GetModuleHandleA("kernel32.dll"),
                                  GetModuleHandleA("ntdll.dll"), GetModuleHandleA("user32.dll")};
  std::atomic<bool> wrong{false};
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&, w] {
      for (int i = 0; i < 20; ++i) {
        HMODULE m = modules[size_t((w + i) % modules.size())];
        TModuleRef r = FindModule(uintptr_t(m));
        if (m && (!r || r->Handle != uintptr_t(m))) wrong = true;
        if (i % 5 == w) RefreshModules();
      }
    });
  for (auto& t : workers) t.join();
  EXPECT_FALSE(wrong);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  // One record per module.
  TQuelbaModulesList& list = ModulesList();
  list.Lock();
  std::vector<uintptr_t> handles;
  for (int i = 0; i < list.Count(); ++i) handles.push_back(list.Get(i)->Handle);
  list.Unlock();
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end());
}

}  // namespace
}  // namespace exclog
