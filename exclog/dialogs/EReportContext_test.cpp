// The report context: group headers in every form, sections added to hand-written
// reports, the snapshot's bounds, the exception's place and the message shown.
#include "exclog/dialogs/EReportContext.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

TReportStackEntry Thread(int32_t id, uint8_t running, uint8_t raising, const std::string& name = "") {
  TReportStackEntry e;
  e.ThreadId = id;
  e.Running = running;
  e.Raising = raising;
  e.ThreadName = name;
  return e;
}

TEST(ReportContextGroupHeader, EveryForm) {
  TQuelbaModuleOptions options;
  TGroupThreadDetails known;
  known.Known = true;
  known.Priority = "2";
  known.ClassName = "TWorker";
  known.Main = true;
  TGroupThreadDetails bare;  // no record: priority unknown, no class
  // Dialog mode with details.
  EXPECT_EQ(GroupHeaderText(Thread(12, 1, 1, "loader"), false, true, known, options),
            "Exception Thread: ID=12; Priority=2; Class=TWorker; [Main] (loader)");
  EXPECT_EQ(GroupHeaderText(Thread(7, 1, 0), false, true, bare, options), "Running Thread: ID=7; Priority=??");
  EXPECT_EQ(GroupHeaderText(Thread(-3, 0, 0), false, true, bare, options), "Calling Thread: ID=0; Priority=??");
  // Details off: the role and the name only.
  EXPECT_EQ(GroupHeaderText(Thread(12, 1, 1, "loader"), false, false, known, options), "Exception Thread:  (loader)");
  EXPECT_EQ(GroupHeaderText(Thread(12, 1, 1), false, false, known, options), "Exception Thread: ");
  // Report mode: the star, the class even when empty, details whatever the switch.
  EXPECT_EQ(GroupHeaderText(Thread(12, 1, 1), true, false, bare, options),
            "*Exception Thread: ID=12; Priority=??; Class=");
  EXPECT_EQ(GroupHeaderText(Thread(5, 1, 0, "x"), true, true, known, options),
            "Running Thread: ID=5; Priority=2; Class=TWorker; [Main] (x)");
  // Leaks, "Data" in the options' words.
  TReportStackEntry leak;
  leak.Leak = true;
  leak.LeakType = "Data";
  leak.LeakSize = 640;
  leak.LeakCount = 3;
  options.SetText(106, "Daten");
  EXPECT_EQ(GroupHeaderText(leak, false, true, known, options), "Memory Leak: Type=Daten; Total size=640; Count=3");
  leak.LeakType = "TList";
  EXPECT_EQ(GroupHeaderText(leak, true, true, known, options), "Memory Leak: Type=TList; Total size=640; Count=3");
}

// A hand-written report: two general sections, the call stack's title after one CR LF.
TReportPieces HandWritten() {
  TReportPieces p;
  p.General =
      "QuelbaLog 6.1.04\r\n\r\n"
      "Application:\r\n"
      "-------------------\r\n"
      "  1.1 Start Date: x\r\n\r\n"
      "Exception:\r\n"
      "---------------\r\n"
      "  2.1 Date  : y\r\n"
      "  2.12 Note : z";
  p.LastReport = p.General + "\r\nCall Stack Information:\r\n---\r\n";
  p.ReportCopy = "a log's copy";
  p.SendingText = p.LastReport;
  return p;
}

TEST(ReportContextSections, InsertedAfterTheGeneralPartOfEveryText) {
  TReportPieces p = HandWritten();
  std::string section = RenderReportSection("Request", {{"Request", "Click twice.\r\nThen wait."}}, p.General);
  EXPECT_EQ(section, "Request:\r\n" + std::string(27, '-') + "\r\n  3.1 Request: Click twice.\r\n" +
                         std::string(15, ' ') + "Then wait.");
  const std::string general = p.General;
  InsertReportSection(p, section);
  const std::string expected = general + "\r\n\r\n" + section + "\r\nCall Stack Information:\r\n---\r\n";
  EXPECT_EQ(p.LastReport, expected);
  EXPECT_EQ(p.SendingText, expected);
  EXPECT_EQ(p.ReportCopy, expected);
  EXPECT_EQ(p.General, general + "\r\n\r\n" + section);
  // The next section numbers on and lands after the first.
  std::string custom = RenderReportSection("Custom Information", {{"User", "ann"}, {"Build", "7"}}, p.General);
  EXPECT_EQ(custom.substr(custom.find("  4.1")), "  4.1 User : ann\r\n  4.2 Build: 7");
  InsertReportSection(p, custom);
  EXPECT_EQ(p.LastReport.find("  4.1 User"), p.General.find("  4.1 User"));
  EXPECT_LT(p.LastReport.find("3.1 Request"), p.LastReport.find("4.1 User"));
  EXPECT_NE(p.LastReport.find("4.2 Build: 7\r\nCall Stack"), std::string::npos);

  // Texts shorter than the general part get the section appended.
  TReportPieces shortSend = HandWritten();
  shortSend.SendingText = "mail";
  InsertReportSection(shortSend, section);
  EXPECT_EQ(shortSend.SendingText, "mail\r\n\r\n" + section);
}

TEST(ReportContextSections, ProcessWidePiecesAndFieldLists) {
  TReportPieces start = HandWritten();
  UpdateReportPieces([](TReportPieces& p, const void* a) { p = *static_cast<const TReportPieces*>(a); }, &start);
  AddReportFields("Custom Information", {"Key= spaced value  ", "lonely", "a=b=c"});
  AddReportSection("Request", "Steps");
  TReportPieces p = ReportPieces();
  EXPECT_NE(p.SendingText.find("  3.1 Key   : spaced value\r\n  3.2 lonely: \r\n  3.3 a     : b=c"), std::string::npos);
  EXPECT_NE(p.SendingText.find("  3.3 a     : b=c\r\n\r\nRequest:"), std::string::npos);
  EXPECT_NE(p.LastReport.find("  4.1 Request: Steps\r\nCall Stack Information:"), std::string::npos);
  EXPECT_EQ(p.LastReport, p.SendingText);
}

TEST(ReportContextSnapshot, BoundsAndFrame) {
  const uintptr_t limit = 0x100000, top = 0x200000;
  // Deeper than the limit: exactly 102400 bytes.
  TSnapshotRange deep = SnapshotRange(0x110000, limit, top, 0x1F0000);
  EXPECT_EQ(deep.Start, 0x110000u);
  EXPECT_EQ(deep.Size, 102400u);
  TSnapshotRange shallow = SnapshotRange(0x1FF000, limit, top, 0x1F0000);
  EXPECT_EQ(shallow.Size, 0x1000u);
  // A saved position outside the stack: the caller's frame.
  for (uintptr_t garbage : {uintptr_t{0}, uintptr_t{0x50}, limit - 4, top + 4, ~uintptr_t{0}}) {
    TSnapshotRange r = SnapshotRange(garbage, limit, top, 0x1FF800);
    EXPECT_EQ(r.Start, 0x1FF800u) << garbage;
    EXPECT_EQ(r.Size, 0x800u) << garbage;
  }
  EXPECT_EQ(SnapshotRange(top, limit, top, 0).Size, 0u);
  EXPECT_EQ(SnapshotFrameAddress(0x401005, true), 0x401000u);
  EXPECT_EQ(SnapshotFrameAddress(0x401005, false), 0x401005u);
  EXPECT_EQ(SnapshotFrameAddress(0, true), 0u);
}

TEST(ReportContextState, PlaceMessageAndDate) {
  RecordExceptionPlace(0x401000, 0x12F000, 1);
  RecordExceptionPlace(0, 0x12E000, 0);
  EXPECT_EQ(CurrentExceptionPlace().Address, 0u);
  EXPECT_EQ(LastKnownExceptionPlace().Address, 0x401000u);
  EXPECT_EQ(LastKnownExceptionPlace().Frame, 0x12E000u);
  RecordExceptionPlace(0x402000, 0, 2);
  EXPECT_EQ(LastKnownExceptionPlace().Address, 0x402000u);
  EXPECT_EQ(LastKnownExceptionPlace().Frame, 0x12E000u);
  EXPECT_EQ(CurrentExceptionPlace().Flag, 2);

  SetExceptionOwnMessage("Division by zero.");
  SetOverrideMessage("");
  EXPECT_EQ(ExceptionMessageText(), "Division by zero.");
  SetOverrideMessage("Filtered text");
  EXPECT_EQ(ExceptionMessageText(), "Filtered text");
  SetOverrideMessage("");

  TDateTime when = 0;
  ASSERT_TRUE(TryEncodeDate(2026, 3, 7, when));
  TDateTime time = 0;
  ASSERT_TRUE(TryEncodeTime(9, 5, 3, 999, time));
  EXPECT_EQ(FormatReportDate(when + time), "2026-03-07 09:05:03");
}

}  // namespace
}  // namespace exclog
