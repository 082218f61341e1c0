// The version-block reader against the system's own query, on the system's DLLs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "exclog/debuginfo/EModules_win.h"
#include "exclog/debuginfo/EVersionBlock.h"

namespace exclog {
namespace {

std::optional<std::u16string> SystemQuery(std::string& block, const std::wstring& path) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return std::nullopt;
  std::u16string text;
  for (auto* c = static_cast<const char16_t*>(value); length-- > 0 && *c; ++c) text.push_back(*c);
  return text;
}

TEST(EVersionBlockWin, AgreesWithTheSystemsQueryOnSystemLibraries) {
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(folder, MAX_PATH), 0u);
  int described = 0;
  for (const wchar_t* dll : {L"kernel32.dll", L"user32.dll", L"comctl32.dll", L"version.dll", L"wininet.dll"}) {
    std::wstring file = std::wstring(folder) + L"\\" + dll;
    DWORD ignored = 0, size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    auto* words = static_cast<const WORD*>(value);
    wchar_t table[32];
    wsprintfW(table, L"\\StringFileInfo\\%04x%04x\\", words[0], words[1]);
    for (const char16_t* key : {u"FileDescription", u"ProductVersion", u"CompanyName", u"FileVersion"}) {
      std::wstring path = table + std::wstring(reinterpret_cast<const wchar_t*>(key));
      EXPECT_EQ(VersionString(block, key), SystemQuery(block, path)) << path;
    }
    described += VersionString(block, u"FileDescription").has_value();
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    auto ours = VersionFixedInfo(block);
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->FileVersionMs, fixed->dwFileVersionMS);
    EXPECT_EQ(ours->FileVersionLs, fixed->dwFileVersionLS);
  }
  EXPECT_GT(described, 0);
}

// A file read where its headers place the block gives byte for byte the system's
// block, or none where the system finds none, on the system's programs and libraries.
TEST(EVersionBlockWin, BlockReadFromTheHeadersIsTheSystemsBlock) {
  char folder[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(folder, MAX_PATH), 0u);
  int read = 0, blocks = 0;
  for (const char* name : {"explorer.exe", "services.exe", "cmd.exe", "winedevice.exe", "notepad.exe", "regedit.exe",
                           "wininet.dll", "msi.dll"}) {
    const std::string file = std::string(folder) + "\\" + name;
    std::string system(0x10000, '\0');
    const bool described = GetFileVersionInfoA(file.c_str(), 0, 0x10000, system.data()) != FALSE;
    const size_t length = static_cast<uint8_t>(system[0]) | static_cast<size_t>(static_cast<uint8_t>(system[1])) << 8;
    system.resize(std::max<size_t>(length, 2));
    std::optional<std::string> ours;
    if (!FileVersionBlockOfHeaders(file, ours)) continue;
    ++read;
    EXPECT_EQ(ours.has_value(), described) << file;
    if (ours && described) EXPECT_EQ(*ours, system) << file;
    blocks += ours.has_value();
  }
  EXPECT_GE(read, 5);
  EXPECT_GE(blocks, 3);
}

}  // namespace
}  // namespace exclog
