#include "exclog/report/EPlatform_win.h"

#include <gtest/gtest.h>

#include "exclog/core/EAlignedBlock.h"
#include "exclog/report/EInternalError_win.h"
#include "exclog/core/EOptions.h"
#include "exclog/report/EReportSteps.h"
#include "exclog/core/ESharedBlock_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"
#include "exclog/report/ESysInfo_win.h"
#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "exclog/core/ECore.h"
#include "tests/support/ParkedThread_win.h"

namespace exclog {
namespace {

DWORD WINAPI WaitForEvent(void* event) {
  WaitForSingleObject(static_cast<HANDLE>(event), 10000);
  return 7;
}

TEST(Platform, HandleValidAndThreadAliveForLiveEndedAndClosedHandles) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, &WaitForEvent, go, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(HandleValid(thread));
  EXPECT_TRUE(ThreadAlive(thread));
  SetEvent(go);
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(HandleValid(thread));
  EXPECT_FALSE(ThreadAlive(thread));
  CloseHandle(thread);
  EXPECT_FALSE(HandleValid(thread));
  EXPECT_FALSE(ThreadAlive(thread));
  EXPECT_FALSE(HandleValid(nullptr));
  // Without GetHandleInformation (a consumer system) the duplicate decides.
  TVersionRecord old;
  old.NT = false;
  old.Major = 4;
  old.Minor = 10;
  InjectVersion(old);
  EXPECT_TRUE(HandleValid(go));
  EXPECT_TRUE(Is95Before98() == false && IsNTBefore2000() == false);
  CloseHandle(go);
  EXPECT_FALSE(HandleValid(go));
  InjectVersion(std::nullopt);
  EXPECT_TRUE(IsVistaOrLater());
  EXPECT_TRUE(IsWorkstationSystem());
  EXPECT_FALSE(DebuggerAttached());
}

TEST(Platform, StackAndModuleQueries) {
  int local = 0;
  const uintptr_t top = StackTop(), frame = CurrentFrameAddress(), here = reinterpret_cast<uintptr_t>(&local);
  EXPECT_GT(top, here);
  EXPECT_LT(frame, here + 4096);
  EXPECT_GT(frame, top - (8u << 20));
  EXPECT_TRUE(HasFileName(nullptr));
  EXPECT_FALSE(HasFileName(reinterpret_cast<HMODULE>(uintptr_t{0x10000})));
  EXPECT_EQ(UpperCase(ExtractFileExt(OwnModuleFileName())), ".EXE");
  std::string temp = TempFolder();
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_NE(CommandLineText(), "");
  TAlignedBlock block = AllocateAligned(100, 64);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block.Aligned) % 64, 0u);
  EXPECT_GE(block.Aligned, block.Block.get());
  EXPECT_LE(block.Aligned, block.Block.get() + 63);
  EXPECT_EQ(AllocateAligned(0, 16).Block, nullptr);
}

TEST(SharedBlock, OptionsRoundTripAndLyingSizeWords) {
  TOptionsSeams saved = OptionsSeams();
  OptionsSeams().FindModule = [](const std::string&) -> TModuleHandle { return 0x5A5A0000; };
  TQuelbaModuleOptions options("probe.dll");
  OptionsSeams() = saved;
  ASSERT_EQ(options.ModuleHandle(), 0x5A5A0000u);
  options.SetMailMode(3);
  options.SetAskBeforeSending(0);
  PublishOptions(options);
  std::unique_ptr<TQuelbaModuleOptions> back = ReadPublishedOptions(0x5A5A0000);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->MailMode(), 3);
  EXPECT_EQ(back->AskBeforeSending(), 0);
  EXPECT_EQ(back->SaveToBytes(), options.SaveToBytes());
  EXPECT_EQ(ReadPublishedOptions(0x5A5B0000), nullptr);  // never published
  EXPECT_FALSE(OpenSharedBlock(0x5A5B0000, 0).has_value());

  // A creator's size word larger than its mapping is refused.
  std::string name = Format("%.8X%.8X", GetCurrentProcessId(), 0x77770000u);
  HANDLE lying = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(lying, nullptr);
  auto* word = static_cast<uint32_t*>(MapViewOfFile(lying, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  *word = 0x100000;
  EXPECT_FALSE(OpenSharedBlock(0x77770000, 0).has_value());
  *word = 100;
  std::optional<TSharedBlock> honest = OpenSharedBlock(0x77770000, 0);
  ASSERT_TRUE(honest.has_value());
  EXPECT_EQ(honest->Size, 100u);
  CloseSharedBlock(*honest);
  UnmapViewOfFile(word);
  CloseHandle(lying);
  ClosePublishedBlocks();
  EXPECT_EQ(ReadPublishedOptions(0x5A5A0000), nullptr);
}

// Message boxes are answered here and recorded.
struct TBox {
  std::string Text, Caption;
  UINT Flags;
};
std::vector<TBox> boxes;
int answer = IDNO;
bool reenter = false;
int RecordBox(HWND, const std::string& text, const std::string& caption, UINT flags) {
  boxes.push_back({text, caption, flags});
  if (reenter) {
    EXPECT_EQ(ReportInternalException(nullptr, 0, "inner"), "");
  }
  return answer;
}

TEST(InternalErrors, ReportWritesTheLogAndAsksOnce) {
  TMessageBoxProvider previous = SetMessageBoxProvider(&RecordBox);
  boxes.clear();
  answer = IDNO;
  reenter = true;
  EConvertError error("bad number");
  SetProgressCode(7031);
  std::string file = ReportInternalException(&error, reinterpret_cast<uintptr_t>(&RecordBox), "");
  reenter = false;
  ASSERT_NE(file, "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, "Probably internal bug");
  EXPECT_EQ(boxes[0].Flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
  EXPECT_NE(boxes[0].Text.find("Error: 'bad number'"), std::string::npos);
  EXPECT_NE(boxes[0].Text.find(file), std::string::npos);
  std::string text;
  {
    TStringList lines;
    lines.LoadFromFile(file);
    text = lines.Text();
    const char* labels[] = {"Version   : 6.1.04", "Date      : ", "OS        : Microsoft Windows 7", "RAD       : ",
                            "Dump      : $", "Section   : 7031", "LastExcept: ", "Address   : $",
                            "Exception : EConvertError", "Message   : bad number", "Call Stack: "};
    ASSERT_EQ(lines.Count(), 11);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(lines[i].rfind(labels[i], 0), 0u) << lines[i];
  }
  DeleteFileA(file.c_str());

  // Yes without a mail client: the user is told where to send the file.
  answer = IDYES;
  boxes.clear();
  file = ReportInternalException(nullptr, 0, "Step");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].Caption, "Information");
  EXPECT_NE(boxes[1].Text.find(file), std::string::npos);
  EXPECT_NE(boxes[0].Text.find("General internal error."), std::string::npos);
  DeleteFileA(file.c_str());

  // Aborts are not errors.
  boxes.clear();
  EAbort abort("stop");
  EXPECT_EQ(ReportInternalException(&abort, 0, "x"), "");
  EXPECT_TRUE(boxes.empty());
  SetMessageBoxProvider(previous);
}

// With the walker's services the reporter's texts name routines, and another
// thread's stack reaches the report's list.
TEST(InternalErrors, AddressStackAndThreadTextsThroughTheWalker) {
  InstallStackWalkServices();
  std::string address = AddressTextAt(reinterpret_cast<uintptr_t>(&RecordBox) + 1);
  EXPECT_NE(address.find("RecordBox"), std::string::npos) << address;
  EXPECT_NE(address.find("exclog_tests"), std::string::npos) << address;
  std::string stack = CurrentCallStackText();
  EXPECT_NE(stack.find("AddressStackAndThreadTextsThroughTheWalker"), std::string::npos) << stack;
  EXPECT_EQ(stack.rfind("00 $", 0), 0u) << stack;

  velmora::test::TParking parking;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &velmora::test::ParkUntilReleased, &parking, 0, &id);
  ASSERT_EQ(WaitForSingleObject(parking.Parked, 10000), WAIT_OBJECT_0);
  TThreadPosition position;
  ASSERT_TRUE(ReadThreadPosition(thread, position));
  TQuelbaStackList list;
  EXPECT_TRUE(AddThreadStack(list, {id, position.Esp, position.Eip, position.Ebp, position.StackTop}));
  bool found = false;
  for (int i = 0; i < list.Count(); ++i)
    found = found || list.Get(i)->RoutineName.find("ParkUntilReleased") != std::string::npos;
  EXPECT_TRUE(found) << list.Count();
  SetEvent(parking.Release);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  InternalErrorSeams() = TInternalErrorSeams{};
  SetThreadStackWalker(nullptr);
}

TEST(InternalErrors, WarningsShowTheirBoxOnlyWhenSwitchedOn) {
  TMessageBoxProvider previous = SetMessageBoxProvider(&RecordBox);
  boxes.clear();
  SetWindowedProcess(true);
  InternalWarning(5, "Cannot save the log.");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(LastInternalWarning().Code, 5);
  SetInternalWarningsOn(true);
  InternalWarning(3, "Stack incomplete.");
  EXPECT_TRUE(boxes.empty());
  InternalWarning(5, "Cannot save the log.");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, "Error.");
  EXPECT_EQ(boxes[0].Text, "Cannot save the log.");
  EXPECT_EQ(boxes[0].Flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  SetWindowedProcess(false);
  InternalWarning(6, "x");
  EXPECT_EQ(boxes.size(), 1u);
  SetInternalWarningsOn(false);
  SetMessageBoxProvider(previous);
}

}  // namespace
}  // namespace exclog
