#include "exclog/core/ECore_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "classlib/Classes.h"
#include "exclog/core/EProcess_win.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

std::string UniqueFolder(const std::string& tag) { return velmora::test::TempPath("logopts_" + tag); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Expectations come from the system directly, not from the routines under test.
std::string ExeBaseName() {
  char path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path, n);
  name = name.substr(name.find_last_of('\\') + 1);
  return name.substr(0, name.find_last_of('.'));
}

std::string RawComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = sizeof name;
  EXPECT_TRUE(GetComputerNameA(name, &n));
  return std::string(name, n);
}

std::string RawLoggerFolder() {
  char path[MAX_PATH + 1];
  EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path), S_OK);
  return std::string(path) + "\\QuelbaLog";
}

TEST(CoreWin, ExpandVariablesReadsTheEnvironment) {
  SetEnvironmentVariableA("LOGOPTS_VAR", "C:\\Some Folder");
  EXPECT_EQ(ExpandVariables("%LOGOPTS_VAR%\\log.qlf"), "C:\\Some Folder\\log.qlf");
  std::string tmp = EnvironmentVariable("Tmp");
  ASSERT_FALSE(tmp.empty());
  EXPECT_EQ(ExpandVariables("%Tmp%\\x.txt"), tmp + "\\x.txt");
  SetEnvironmentVariableA("date", nullptr);
  char date[128];
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  EXPECT_EQ(ExpandVariables("%date%"), date);
  std::string longValue(3000, 'v');
  SetEnvironmentVariableA("LOGOPTS_LONG", longValue.c_str());
  EXPECT_EQ(ExpandVariables("%LOGOPTS_LONG%"), longValue);
  EXPECT_EQ(ExpandVariables("50%"), "50%");
}

TEST(CoreWin, ForceFoldersMakesNestedFolders) {
  std::string root = UniqueFolder("force");
  std::string deep = root + "\\a\\b\\c\\";
  EXPECT_TRUE(ForceFolders(deep));
  EXPECT_TRUE(FolderExists(root + "\\a\\b\\c"));
  EXPECT_TRUE(ForceFolders(deep));  // existing: fine
  EXPECT_TRUE(ForceFolders("C:"));
  RemoveDirectoryA((root + "\\a\\b\\c").c_str());
  RemoveDirectoryA((root + "\\a\\b").c_str());
  RemoveDirectoryA((root + "\\a").c_str());
  RemoveDirectoryA(root.c_str());
}

TEST(CoreWin, UsableFileNeverTruncatesAndCleansUp) {
  std::string root = UniqueFolder("usable");
  ASSERT_TRUE(ForceFolders(root));
  std::string existing = root + "\\existing.qlf";
  WriteBytes(existing, "earlier reports");
  std::string name = existing;
  EXPECT_TRUE(UsableFile(name, false, true));
  EXPECT_EQ(name, existing);
  EXPECT_EQ(ReadBytes(existing), "earlier reports");

  std::string fresh = root + "\\fresh.qlf";
  name = fresh;
  EXPECT_TRUE(UsableFile(name, false, false));
  EXPECT_EQ(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES) << "the test file is removed";

  // Read-only needs an existing file, here or in the per-user folder.
  const std::string missing = "missing_" + std::to_string(GetCurrentProcessId()) + ".qlf";
  name = root + "\\" + missing;
  EXPECT_FALSE(UsableFile(name, true, false));
  EXPECT_EQ(name, root + "\\" + missing);
  const std::string there = RawLoggerFolder() + "\\" + missing;
  WriteBytes(there, "x");
  EXPECT_TRUE(UsableFile(name, true, false));
  EXPECT_EQ(name, there);
  DeleteFileA(there.c_str());

  // A folder that does not exist moves the name into the per-user folder.
  name = root + "\\no such folder\\moved.qlf";
  ASSERT_TRUE(UsableFile(name, false, true));
  EXPECT_EQ(name, RawLoggerFolder() + "\\" + ExeBaseName() + "\\moved.qlf");
  DeleteFileA(existing.c_str());
  RemoveDirectoryA(root.c_str());
}

TEST(CoreWin, SettingsRoundTripThroughProfileFiles) {
  std::string root = UniqueFolder("ini");
  ASSERT_TRUE(ForceFolders(root));
  std::string file = root + "\\settings.ini";
  EXPECT_EQ(ReadSetting(file, "Main", "Key", "fallback"), "fallback");
  EXPECT_TRUE(WriteSetting(file, "Main", "Key", "value 1"));
  EXPECT_EQ(ReadSetting(file, "Main", "Key", "fallback"), "value 1");
  EXPECT_EQ(ReadSetting(file, "Main", "Other", "fallback"), "fallback");
  EXPECT_NE(ReadBytes(file).find("Key=value 1"), std::string::npos);
  // A bare file name lives in the settings folder.
  std::string bare = "logopts_" + std::to_string(GetCurrentProcessId()) + ".ini";
  EXPECT_TRUE(WriteSetting(bare, "S", "K", "v"));
  EXPECT_EQ(ReadSetting(bare, "S", "K", ""), "v");
  EXPECT_NE(GetFileAttributesA((SettingsFolder() + "\\" + bare).c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA((SettingsFolder() + "\\" + bare).c_str());
  DeleteFileA(file.c_str());
  RemoveDirectoryA(root.c_str());
}

TEST(CoreWin, LogFileNameUsesFolderAndComputerName) {
  std::string root = UniqueFolder("log");
  TQuelbaModuleOptions options;
  options.SetLogFolder(root);
  const std::string exe = ExeBaseName();
  EXPECT_EQ(LogFileName(options), root + "\\" + exe + ".qlf");
  EXPECT_TRUE(FolderExists(root));
  options.SetLogFlags(options.LogFlags() | 0x08);
  // A host name is at most 15 characters, none of them refused in a file name.
  const std::string computer = RawComputerName();
  ASSERT_FALSE(computer.empty());
  EXPECT_EQ(LogFileName(options), root + "\\" + exe + "_" + computer + ".qlf");
  options.SetLogFolder(root + "\\whole.QLF");
  EXPECT_EQ(LogFileName(options), root + "\\whole_" + computer + ".QLF");
  RemoveDirectoryA(root.c_str());
}

TEST(CoreWin, RegistryTexts) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VelmoraLogoptsTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char value[] = "stored text";
  RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, "\\Software\\VelmoraLogoptsTest", "Name"), "stored text");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, "Software\\VelmoraLogoptsTest", "Missing"), "");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, "Software\\NoSuchKeyLogopts", "Name"), "");
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VelmoraLogoptsTest");
}

TEST(CoreWin, TextFilesWithByteOrderMarks) {
  std::string root = UniqueFolder("bom");
  ASSERT_TRUE(ForceFolders(root));
  std::string file = root + "\\t.txt";
  struct TCase {
    std::string bytes;
  } cases[] = {
      {std::string("\xFF\xFE" "A\0\r\0\n\0B\0", 10)},
      {std::string("\xFE\xFF\0A\0\r\0\n\0B", 10)},
      {"\xEF\xBB\xBF" "A\r\nB"},
      {"A\r\nB"},
  };
  for (const TCase& c : cases) {
    WriteBytes(file, c.bytes);
    TStringList list;
    LoadTextWithBom(list, file);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], "A");
    EXPECT_EQ(list[1], "B");
  }
  DeleteFileA(file.c_str());
  RemoveDirectoryA(root.c_str());
}

TEST(CoreWin, ReadableBytesStopsAtProtectedPages) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  size_t page = info.dwPageSize;
  auto* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, page * 3, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_READONLY, &old));
  ASSERT_TRUE(VirtualProtect(base + 2 * page, page, PAGE_NOACCESS, &old));
  EXPECT_EQ(ReadableBytes(base, 3 * page), 2 * page);
  EXPECT_EQ(ReadableBytes(base + 100, 10), page - 100) << "the rest of the first region is enough";
  EXPECT_TRUE(IsReadable(base + page - 4, 8));
  EXPECT_FALSE(IsReadable(base + 2 * page - 4, 8));
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_READONLY | PAGE_GUARD, &old));
  EXPECT_EQ(ReadableBytes(base, 3 * page), page);
  EXPECT_FALSE(IsReadable(nullptr, 1));
  VirtualFree(base, 0, MEM_RELEASE);
}

// Faults inside the copy come back as false, however many, and the thread goes on;
// the process view never touches a guard page (it would lose its guard).
TEST(CoreWin, SafeCopySurvivesFaultsAndProcessMemorySparesGuardPages) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  size_t page = info.dwPageSize;
  auto* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, page * 3, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  std::memset(base, 0x5A, page * 3);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
  ASSERT_TRUE(VirtualProtect(base + 2 * page, page, PAGE_READWRITE | PAGE_GUARD, &old));
  std::vector<uint8_t> out(64, 0);
  EXPECT_TRUE(SafeCopy(out.data(), base + page - 64, 64));
  EXPECT_EQ(out[63], 0x5A);
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(SafeCopy(out.data(), base + page - 32, 64));
  EXPECT_FALSE(SafeCopy(out.data(), reinterpret_cast<const void*>(0x10), 4));
  EXPECT_TRUE(SafeCopy(out.data(), nullptr, 0));
  uintptr_t at = reinterpret_cast<uintptr_t>(base);
  EXPECT_TRUE(ProcessMemory().IsReadable(at, 16));
  EXPECT_FALSE(ProcessMemory().Read(at + page - 8, out.data(), 16));
  EXPECT_FALSE(ProcessMemory().Read(at + 2 * page, out.data(), 4));
  MEMORY_BASIC_INFORMATION guard;
  ASSERT_EQ(VirtualQuery(base + 2 * page, &guard, sizeof guard), sizeof guard);
  EXPECT_TRUE(guard.Protect & PAGE_GUARD) << "the guard page was touched";
  // Memory released after the readability test: the copy fails instead of crashing.
  VirtualFree(base, 0, MEM_RELEASE);
  EXPECT_FALSE(SafeCopy(out.data(), base, 16));
  uint32_t value = 0x11223344, copy = 0;
  EXPECT_TRUE(ProcessMemory().ReadU32(reinterpret_cast<uintptr_t>(&value), copy));
  EXPECT_EQ(copy, value);
}

TEST(CoreWin, JumpThunksAreFollowed) {
  static uint32_t slot = 0x12345678;
  uint8_t thunk[8] = {0xFF, 0x25, 0, 0, 0, 0, 0x90, 0x90};
  uint32_t slotAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&slot));
  std::memcpy(thunk + 2, &slotAddress, 4);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(ThroughJumpThunk(thunk)), 0x12345678u);
  uint8_t plain[8] = {0x55, 0x8B, 0xEC, 0, 0, 0, 0, 0};
  EXPECT_EQ(ThroughJumpThunk(plain), plain);
  uint32_t unreadable = 0x10;  // first page is never mapped
  std::memcpy(thunk + 2, &unreadable, 4);
  EXPECT_EQ(ThroughJumpThunk(thunk), thunk);
  EXPECT_EQ(ThroughJumpThunk(nullptr), nullptr);
}

TEST(CoreWin, UnitTableIsCheckedBeforeUse) {
  TUnitTable* saved = InitContext.Table;
  TUnitEntry entries[2] = {{nullptr, nullptr}, {nullptr, nullptr}};
  TUnitTable good{2, entries};
  InitContext.Table = &good;
  EXPECT_EQ(UnitStartTable(), &good);
  TUnitTable empty{0, entries};
  InitContext.Table = &empty;
  EXPECT_THROW(UnitStartTable(), EAssertionFailed);
  TUnitTable noSlots{3, nullptr};
  InitContext.Table = &noSlots;
  EXPECT_THROW(UnitStartTable(), EAssertionFailed);
  TUnitTable tooMany{MaxUnits + 1, entries};
  InitContext.Table = &tooMany;
  try {
    UnitStartTable();
    ADD_FAILURE();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Unknown RTL version");
  }
  InitContext.Table = nullptr;
  EXPECT_THROW(UnitStartTable(), EAssertionFailed);
  InitContext.Table = saved;
}

TEST(CoreWin, ModuleSeamsFindTheExecutable) {
  TOptionsSeams saved = OptionsSeams();
  InstallModuleSeams();
  TQuelbaModuleOptions options(ExtractFileName(ModuleFileName()));
  EXPECT_EQ(options.ModuleHandle(), reinterpret_cast<TModuleHandle>(GetModuleHandleA(nullptr)));
  EXPECT_EQ(OptionsSeams().CurrentModule(), options.ModuleHandle());
  TQuelbaModuleOptions none("no-such-module.dll");
  EXPECT_EQ(none.ModuleHandle(), 0u);
  OptionsSeams() = saved;
}

}  // namespace
}  // namespace exclog
