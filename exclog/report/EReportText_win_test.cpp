#include "exclog/report/EReportText_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules_win.h"

namespace exclog {
namespace {

__attribute__((noinline)) int CodeToDump(int x) { return x * 3 + 1; }

TReportJob JobAt(uintptr_t address, const CONTEXT* context) {
  TReportJob job;
  job.Exception.Address = address;
  job.Context = context;
  job.Stacks = std::make_shared<TQuelbaStackList>();
  return job;
}

std::unique_ptr<TQuelbaModuleOptions> OptionsWithFlags(uint8_t logFlags) {
  auto options = std::make_unique<TQuelbaModuleOptions>();
  options->SetLogFlags(logFlags);
  return options;
}

TEST(ReportSnapshot, CopiesContextStackAndCodeOnceReadable) {
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  RtlCaptureContext(&context);
  uintptr_t code = reinterpret_cast<uintptr_t>(&CodeToDump);
  TReportJob job = JobAt(code, &context);
  auto* entry = new TQuelbaLocation;
  entry->Kind = 4;
  entry->Address = static_cast<uint32_t>(code);
  entry->Module = FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  entry->FrameValue = GetCurrentThreadId();
  entry->ThreadKind = 1;
  entry->IsFirst = 1;
  entry->Extra = "tester";
  job.Stacks->Add(entry);
  // A thread gone by now, whose priority the walk read while it was stopped.
  auto* gone = new TQuelbaLocation(*entry);
  gone->FrameValue = 0xFFFFFFF0u;
  gone->IsFirst = 0;
  gone->ThreadPriority = THREAD_PRIORITY_HIGHEST;
  job.Stacks->Add(gone);
  SetReportMainThreadId(GetCurrentThreadId());
  TReportSnapshot s = TakeReportSnapshot(job, *OptionsWithFlags(0x30), true);

  ASSERT_TRUE(s.ContextReadable);
  EXPECT_EQ(std::memcmp(s.Context.data(), &context, ContextSize), 0);
  EXPECT_EQ(s.StackPointer, context.Esp);
  ASSERT_TRUE(s.CodeReadable);
  EXPECT_EQ(std::memcmp(s.CodeBytes.data(), reinterpret_cast<const void*>(code), CodeDumpSize), 0);
  ASSERT_TRUE(s.StackReadable);
  EXPECT_EQ(std::memcmp(s.StackBytes.data(), reinterpret_cast<const void*>(context.Esp), StackDumpSize), 0);
  EXPECT_NE(s.AsmHeader.find("Assembler Information:"), std::string::npos);
  EXPECT_FALSE(s.AsmText.empty());

  ASSERT_EQ(s.Stack.size(), 2u);
  EXPECT_EQ(s.Stack[1].Priority, "Highest");
  EXPECT_FALSE(s.Stack[1].MainThread);
  EXPECT_EQ(static_cast<uint32_t>(s.Stack[0].ThreadId), GetCurrentThreadId());
  EXPECT_TRUE(s.Stack[0].MainThread);
  EXPECT_EQ(s.Stack[0].Priority, "Normal");
  EXPECT_EQ(s.Stack[0].ThreadName, "tester");
  EXPECT_EQ(s.Stack[0].ModuleName.find('\\'), std::string::npos) << s.Stack[0].ModuleName;

  bool ownModule = false;
  for (const TReportModuleRow& m : s.Modules)
    ownModule = ownModule || m.Handle == reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  EXPECT_TRUE(ownModule);
  bool ownProcess = false;
  for (const TReportProcessRow& p : s.Processes) ownProcess = ownProcess || p.ProcessId == GetCurrentProcessId();
  EXPECT_TRUE(ownProcess);
  EXPECT_EQ(s.Texts.size(), 158u);
}

// The kernel handles this process holds, from the system's handle list (Wine's
// GetProcessHandleCount always says 0); -1 when the list cannot be read.
int OwnHandleCount() {
  struct TEntry {
    ULONG OwnerPid;
    BYTE ObjectType, Flags;
    USHORT Value;
    PVOID Object;
    ULONG Access;
  };
  using TQuery = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<uint8_t> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt, buffer.resize(buffer.size() * 4)) {
    ULONG needed = 0;
    LONG status = query(16 /* handles */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) continue;  // the list grew: a larger buffer
    if (status != 0) return -1;
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    if (sizeof(ULONG) + uint64_t{count} * sizeof(TEntry) > buffer.size()) return -1;
    int own = 0;
    for (ULONG i = 0; i < count; ++i) {
      TEntry e;
      std::memcpy(&e, buffer.data() + sizeof(ULONG) + i * sizeof(TEntry), sizeof e);
      own += e.OwnerPid == GetCurrentProcessId();
    }
    return own;
  }
  return -1;
}

// Each report asks the system again (printer, video card, network, modules,
// processes); nothing it opens stays open after it.
TEST(ReportSnapshot, TwentyReportsLeaveTheHandleCountFlat) {
  auto options = OptionsWithFlags(0x30);
  TReportJob job = JobAt(reinterpret_cast<uintptr_t>(&CodeToDump), nullptr);
  // The first report loads what stays loaded for the next ones.
  BuildProcessReport(job, *options, true);
  const int before = OwnHandleCount();
  ASSERT_GT(before, 0);
  for (int report = 0; report < 20; ++report) BuildProcessReport(job, *options, true);
  EXPECT_LE(OwnHandleCount(), before);
}

TEST(ReportSnapshot, UnreadableAddressAndContextGiveNoCopies) {
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(page, nullptr);
  TReportJob job = JobAt(0x10, static_cast<const CONTEXT*>(page));
  job.FrameWord = reinterpret_cast<uintptr_t>(page);
  TReportSnapshot s = TakeReportSnapshot(job, *OptionsWithFlags(0x20), true);
  EXPECT_FALSE(s.ContextReadable);
  EXPECT_FALSE(s.CodeReadable);
  EXPECT_FALSE(s.StackReadable);
  EXPECT_TRUE(s.AsmHeader.empty());
  EXPECT_TRUE(s.Modules.empty());  // bit 4 clear: no lists
  std::string report = BuildReportText(s, 7);
  EXPECT_NE(report.find("EAX: ????       EDI: ????    \r\n"), std::string::npos);
  EXPECT_EQ(report.find("\r\n\r\n\r\n"), std::string::npos) << report;
  VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace exclog
