// The listing of a real fault in this program (which carries logger data): a write
// through a null pointer just after a string-literal load and a call, caught by a
// vectored handler that builds the listing and steps over the faulting instruction.
#include "exclog/debuginfo/EAsmListing_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "exclog/debuginfo/EAsmListing_test.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exclog/debuginfo/EDisAsm.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using exclog::test::ListingLines;

using exclog::TAsmListing;

__attribute__((noinline)) void TakeText(const char* text) { asm volatile("" : : "r"(text) : "memory"); }

// Globals, so the compiler cannot see that they are null.
int* volatile nullTarget = nullptr;
void (*volatile nullRoutine)() = nullptr;

__attribute__((noinline)) void WriteThroughNull() {
  TakeText("Hello");
  *nullTarget = 1;
}

__attribute__((noinline)) void CallThroughNull() { nullRoutine(); }

struct TCaught {
  bool Armed = false;
  uint32_t Address = 0;
  TAsmListing Listing;
};
TCaught caught;

LONG CALLBACK ListFault(EXCEPTION_POINTERS* info) {
  if (!caught.Armed || info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  caught.Armed = false;
  const void* at = info->ExceptionRecord->ExceptionAddress;
  caught.Address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at));
  caught.Listing = exclog::AssemblerListing(at);
  if (caught.Address == 0) {
    // A call to address 0: return to the caller.
    info->ContextRecord->Eip = *reinterpret_cast<DWORD*>(info->ContextRecord->Esp);
    info->ContextRecord->Esp += 4;
  } else {
    uint32_t length = 0;
    std::string text;
    exclog::TDisAsm().Disassemble(at, length, text);
    info->ContextRecord->Eip += length;
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}

void Provoke(void (*routine)()) {
  PVOID handler = AddVectoredExceptionHandler(1, ListFault);
  caught = TCaught();
  caught.Armed = true;
  routine();
  RemoveVectoredExceptionHandler(handler);
}

// Words and numbers of an instruction, for comparing our text with objdump's:
// lower case, "$1F" and "0x1f" both become 31, separators dropped.
std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  auto flush = [&] {
    if (cur.empty()) return;
    if (cur[0] == '$') cur = std::to_string(std::stoul(cur.substr(1), nullptr, 16));
    else if (cur.rfind("0x", 0) == 0) cur = std::to_string(std::stoul(cur.substr(2), nullptr, 16));
    out.push_back(cur);
    cur.clear();
  };
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '$') cur += static_cast<char>(std::tolower(c));
    else flush();
  }
  flush();
  return out;
}

std::string UnixPath(std::string windowsPath) {
  if (windowsPath.size() > 2 && windowsPath[1] == ':') windowsPath.erase(0, 2);
  for (char& c : windowsPath)
    if (c == '\\') c = '/';
  return windowsPath;
}

TEST(EAsmListingWin, ListsARealFaultWithItsSourceCallTargetAndLiteral) {
  Provoke(WriteThroughNull);
  ASSERT_NE(caught.Address, 0u);
  const auto lines = ListingLines(caught.Listing.Text);
  char hex[12];
  std::snprintf(hex, sizeof hex, "%.8X", caught.Address);
  size_t marked = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find("<-- EXCEPTION") != std::string::npos) marked = i;
  ASSERT_LT(marked, lines.size()) << caught.Listing.Text;
  EXPECT_EQ(lines[marked].substr(0, 8), hex) << caught.Listing.Text;
  EXPECT_EQ(caught.Listing.Header.substr(0, 24), "Assembler Information:\r\n");

  // The marked instruction agrees with objdump on its bytes.
  uint32_t length = 0;
  std::string ours;
  exclog::TDisAsm().Disassemble(reinterpret_cast<const void*>(caught.Address), length, ours);
  const std::string bin = velmora::test::TempPath("fault.bin");
  std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(caught.Address), length);
  const auto objdump = velmora::test::RunHostCommand(
      "objdump -D -b binary -m i386 -M intel,intel-mnemonic '" + UnixPath(bin) + "' | sed -n 's/^ *0:\\t[0-9a-f ]*\\t//p'");
  DeleteFileA(bin.c_str());
  ASSERT_TRUE(objdump.has_value());
  std::string theirs = *objdump;
  while (!theirs.empty() && std::isspace(static_cast<unsigned char>(theirs.back()))) theirs.pop_back();
  EXPECT_EQ(Tokens(ours), Tokens(theirs)) << ours << " / " << theirs;
  const std::string code = lines[marked].substr(0, lines[marked].find(';'));
  EXPECT_NE(code.find(ours), std::string::npos);

  // The headers above it: the unit, and the line addr2line gives for the address.
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  const auto where = velmora::test::RunHostCommand("i686-w64-mingw32-addr2line -e '" + UnixPath(exe) + "' 0x" +
                                                   std::string(hex));
  ASSERT_TRUE(where.has_value());
  const std::string lineNumber = std::to_string(std::stoul(where->substr(where->rfind(':') + 1)));
  std::string nearest, unitHeader;
  for (size_t i = marked; i-- > 0;) {
    if (lines[i].rfind("; ", 0) != 0 || lines[i][2] == '-') continue;
    if (nearest.empty()) nearest = lines[i];
    if (lines[i].find("EAsmListing_win_test") != std::string::npos) {
      unitHeader = lines[i];
      break;
    }
  }
  EXPECT_NE(nearest.find("Line=" + lineNumber + " "), std::string::npos) << caught.Listing.Text;
  EXPECT_EQ(unitHeader.rfind("; EAsmListing_win_test (Line=", 0), 0u) << caught.Listing.Text;

  // The call names its target; the literal shows between apostrophes.
  bool call = false, literal = false;
  for (size_t i = 0; i < marked; ++i) {
    call |= lines[i].find("call") != std::string::npos && lines[i].find("TakeText") != std::string::npos;
    literal |= lines[i].find("; 'Hello'") != std::string::npos;
  }
  EXPECT_TRUE(call) << caught.Listing.Text;
  EXPECT_TRUE(literal) << caught.Listing.Text;
}

// The address form decodes only readable bytes: an instruction cut by an unreadable
// page is a DB of what precedes the page.
TEST(EAsmListingWin, AddressFormStopsAtAnUnreadablePage) {
  auto* pages = static_cast<uint8_t*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old));
  pages[4094] = 0x8B;
  pages[4095] = 0x84;
  uint32_t length = 0;
  std::string text;
  exclog::TDisAsm().Disassemble(pages + 4094, length, text);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(text, "DB      $8B, $84  //");
  exclog::TDisAsm().Disassemble(pages + 4096, length, text);
  EXPECT_EQ(length, 0u);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(EAsmListingWin, AFaultInUnreadableCodeGivesNoListingAndNoTitle) {
  Provoke(CallThroughNull);
  EXPECT_EQ(caught.Address, 0u);
  EXPECT_EQ(caught.Listing.Text, "");
  EXPECT_EQ(caught.Listing.Header, "");
}

}  // namespace
