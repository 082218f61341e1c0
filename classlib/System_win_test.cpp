// Windows services of the core: the readability test and the raw walk over real
// page protections, share-deny modes of file streams, resource streams.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "classlib/Classes.h"
#include "classlib/Streams_win.h"
#include "classlib/System_win.h"
#include "tests/support/ImportSlots_win.h"
#include "tests/support/TestPaths.h"

namespace {

// Two adjacent pages with the given protections, released at scope end.
class TwoPages {
 public:
  TwoPages(DWORD first, DWORD second) {
    base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    EXPECT_TRUE(VirtualProtect(base_, 4096, first, &old));
    EXPECT_TRUE(VirtualProtect(base_ + 4096, 4096, second, &old));
  }
  ~TwoPages() { VirtualFree(base_, 0, MEM_RELEASE); }
  char* Base() const { return base_; }

 private:
  char* base_;
};

TEST(ReadableMemory, FollowsPageProtection) {
  TwoPages pages(PAGE_READONLY, PAGE_NOACCESS);
  EXPECT_TRUE(IsMemoryReadable(pages.Base(), 4096));
  EXPECT_TRUE(IsMemoryReadable(pages.Base() + 4000, 96));
  EXPECT_FALSE(IsMemoryReadable(pages.Base() + 4000, 97));  // runs into the no-access page
  EXPECT_FALSE(IsMemoryReadable(pages.Base() + 4096, 1));
  EXPECT_FALSE(IsMemoryReadable(nullptr, 4));
  EXPECT_FALSE(IsMemoryReadable(reinterpret_cast<void*>(0xFFFFFFF0), 0x20));  // wraps around
  TwoPages spanning(PAGE_READWRITE, PAGE_EXECUTE_READ);
  EXPECT_TRUE(IsMemoryReadable(spanning.Base() + 100, 8000));  // across two regions
  TwoPages guarded(PAGE_READWRITE, PAGE_READWRITE | PAGE_GUARD);
  EXPECT_FALSE(IsMemoryReadable(guarded.Base() + 4096, 4));
  // Released memory.
  void* gone = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  VirtualFree(gone, 0, MEM_RELEASE);
  EXPECT_FALSE(IsMemoryReadable(gone, 4));
}

class TProbe : public TObject {
  VELMORA_CLASS(TProbe, TObject)
};

TEST(ReadableMemory, RawWalkSurvivesUnreadableObjects) {
  EXPECT_EQ(GetReadableCheck(), &IsMemoryReadable);
  TwoPages pages(PAGE_READWRITE, PAGE_READWRITE);
  // An object copied to the end of a page whose next page then becomes unreadable.
  TProbe probe;
  char* at = pages.Base() + 4096 - sizeof(void*);
  std::memcpy(at, &probe, sizeof(void*));
  EXPECT_EQ(ClassOfObject(at), TProbe::StaticClass());
  EXPECT_TRUE(IsValidObject(at));
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages.Base(), 4096, PAGE_NOACCESS, &old));
  EXPECT_FALSE(IsValidObject(at));
  EXPECT_EQ(SafeClassName(at), "");
  // A first word pointing into unreadable memory.
  void* wild = pages.Base() + 64;
  EXPECT_FALSE(IsValidObject(&wild));
  EXPECT_FALSE(SafeInheritsFromName(&wild, "TOBJECT"));
}

using velmora::test::TempPath;

TEST(FileStreamShare, DenyModesAreEnforced) {
  std::string path = TempPath("share.bin");
  {
    TFileStream create(path, fmCreate);
    create.WriteString("data");
  }
  {
    TFileStream reader(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(TFileStream(path, fmOpenWrite | fmShareDenyNone), EFOpenError);
    TFileStream secondReader(path, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(secondReader.ReadRemaining(), "data");
  }
  {
    TFileStream exclusive(path, fmOpenReadWrite | fmShareExclusive);
    EXPECT_THROW(TFileStream(path, fmOpenRead | fmShareDenyNone), EFOpenError);
  }
  {
    TFileStream shared(path, fmOpenReadWrite | fmShareDenyNone);
    TFileStream other(path, fmOpenReadWrite | fmShareDenyNone);
    other.Seek(0, TSeekOrigin::End);
    other.WriteString("+");
    EXPECT_EQ(shared.Size(), 5);
  }
  EXPECT_TRUE(FileDelete(path));
}

TEST(ResourceStream, ReadsAVersionResourceAndReportsMissingOnes) {
  // Every system library carries a version resource (type 16, id 1): a
  // VS_VERSIONINFO whose first word is its length and whose key follows at offset 6.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  TResourceStream version(reinterpret_cast<uintptr_t>(kernel), uint16_t{1}, 16);
  uint16_t length = 0;
  version.ReadBuffer(&length, 2);
  EXPECT_EQ(length, version.Size());
  version.SetPosition(6);
  wchar_t key[16] = {};
  version.ReadBuffer(key, 15 * 2);
  EXPECT_EQ(std::wstring(key), L"VS_VERSION_INFO");
  EXPECT_EQ(version.Write("x", 1), 0);  // read-only
  EXPECT_THROW(TResourceStream(0, "NO_SUCH_RESOURCE"), EResNotFound);
}

int writeFileCalls = 0;
decltype(&WriteFile) realWriteFile = nullptr;
BOOL WINAPI CountingWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
  ++writeFileCalls;
  return realWriteFile(file, buffer, count, written, overlapped);
}

TEST(FileRoutines, WritesGoThroughTheProgramsOwnWriteFileImport) {
  // The logger hooks file writes in this program's import table: a file stream must
  // reach the system through that slot, not through a run-time DLL of its own.
  auto slots = velmora::test::ImportSlots("kernel32.dll", "WriteFile");
  ASSERT_FALSE(slots.empty());
  void** slot = slots.front();
  realWriteFile = reinterpret_cast<decltype(&WriteFile)>(*slot);
  std::string path = TempPath("import.bin");
  {
    velmora::test::TImportSlotPatch patch(slot, reinterpret_cast<void*>(&CountingWriteFile));
    writeFileCalls = 0;
    TFileStream out(path, fmCreate);
    out.WriteString("abc");
    out.WriteString("def");
    EXPECT_EQ(writeFileCalls, 2);
  }
  TMemoryStream back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Size(), 6);
  FileDelete(path);
}

}  // namespace
