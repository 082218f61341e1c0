#include "exclog/report/EReportText_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

  ASSERT_EQ(s.Stack.size(), 1u);
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
