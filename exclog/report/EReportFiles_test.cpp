#include "exclog/report/EReportFiles.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

TReportFilesInput Input(uint16_t flags) {
  TReportFilesInput in;
  in.TempFolder = "C:\\Temp\\";
  in.LogFile = "C:\\App\\Logs\\prog.qlf";
  in.ProcessFlags = flags;
  in.ProcessId = 0x4D2;
  in.ProcessNumber = 0xFF;
  return in;
}

TEST(ReportFiles, LogInTheTemporaryFolderIsNotItsOwnCopy) {
  TReportFilesInput in = Input(0);
  in.LogFile = "c:\\temp\\PROG.qlf";
  EXPECT_EQ(LogCopyFileName(in), "C:\\Temp\\PROG_Report.qlf");
}

TEST(ReportFiles, NamesExistByTheirSwitches) {
  TReportFilesInput in = Input(AttachXmlLog | AttachScreenshot | AttachLastHtmlPage);
  EXPECT_EQ(LogCopyFileName(in), "C:\\Temp\\prog.qlf");
  EXPECT_EQ(XmlLogFileName(in), "C:\\Temp\\prog.xml");
  EXPECT_EQ(ZipArchiveFileName(in), "C:\\Temp\\BugReport.zip");
  in.ZipFolder = "C:\\Temp\\Own00000010\\";
  EXPECT_EQ(ZipArchiveFileName(in), "C:\\Temp\\Own00000010\\BugReport.zip");
  EXPECT_EQ(ProcessDataFileName(in), "C:\\Temp\\000004D2000000FF.bin");
  // Switched on but nothing taken or captured for this report.
  EXPECT_EQ(ScreenshotFileName(in), "");
  EXPECT_EQ(LastHtmlPageFileName(in), "");
  in.ScreenshotTaken = in.PageCaptured = true;
  EXPECT_EQ(ScreenshotFileName(in), "C:\\Temp\\Screenshot.png");
  EXPECT_EQ(LastHtmlPageFileName(in), "C:\\Temp\\LastHTMLPage.html");
  // Taken and captured, but switched off.
  TReportFilesInput off = Input(0);
  off.ScreenshotTaken = off.PageCaptured = true;
  EXPECT_EQ(ScreenshotFileName(off), "");
  EXPECT_EQ(LastHtmlPageFileName(off), "");
  EXPECT_EQ(XmlLogFileName(off), "");
}

TEST(ReportFiles, AttachmentList) {
  TAttachmentOptions options;
  options.AttachedFiles = " %APP%\\a.txt ; b.txt;;";
  auto expand = [](std::string_view s) {
    std::string t(s);
    if (t.rfind("%APP%", 0) == 0) t.replace(0, 5, "C:\\App");
    return t;
  };
  TReportFilesInput in = Input(0);
  in.ScreenshotTaken = in.PageCaptured = true;
  EXPECT_EQ(AttachmentList(in, options, false, expand),
            (std::vector<std::string>{"C:\\App\\a.txt", "b.txt", "C:\\Temp\\prog.qlf"}));
  // The screenshot switched on but not taken stays out.
  in = Input(AttachXmlLog | AttachScreenshot | AttachLastHtmlPage);
  in.PageCaptured = true;
  options.ReportInMailBody = true;
  EXPECT_EQ(AttachmentList(in, options, true, expand),
            (std::vector<std::string>{"C:\\App\\a.txt", "b.txt", "C:\\Temp\\LastHTMLPage.html", "C:\\Temp\\prog.xml"}));
  // The log copy is optional only when the report goes into the mail body.
  options.ReportInMailBody = false;
  EXPECT_EQ(AttachmentList(in, options, true, expand).size(), 5u);
}

TEST(ReportFiles, DecoratedNames) {
  TDateTime time = EncodeDate(2026, 12, 5) + EncodeTime(23, 0, 0, 0);
  EXPECT_EQ(DecorateAttachmentName("C:\\Temp\\app.txt", StampTimeInNames, "PC1", time), "app__20261205230000.txt");
  EXPECT_EQ(DecorateAttachmentName("C:\\Temp\\report.txt", StampTimeInNames | StampComputerInNames, "PC1", time),
            "report__PC1__20261205230000.txt");
  EXPECT_EQ(DecorateAttachmentName("C:\\Temp\\report.txt", StampComputerInNames, "PC1", time), "report__PC1.txt");
  EXPECT_EQ(DecorateAttachmentName("C:\\Temp\\report.txt", 0, "PC1", time), "report.txt");
  EXPECT_EQ(DecorateAttachmentName("noext", StampComputerInNames, "PC1", time), "noext__PC1");
}

// Only a writer's temporary of this very file is taken for one: the stale-file
// sweep deletes what this says yes to.
TEST(ReportFiles, TemporaryFilesNameTheirWriter) {
  const std::string log = "C:\\App\\Logs\\prog.qlf";
  EXPECT_EQ(TemporaryFileName(log, 1234), log + ".1234.tmp");
  EXPECT_EQ(TemporaryWriterId(log, "prog.qlf.1234.tmp"), 1234u);
  EXPECT_EQ(TemporaryWriterId(log, "PROG.QLF.4294967295.TMP"), 4294967295u);
  for (const char* other : {"prog.qlf.tmp", "prog.qlf..tmp", "prog.qlf.12a4.tmp", "prog.qlf.4294967296.tmp",
                            "prog.qlf.1234.tmp.bak", "prog.qlfx.1234.tmp", "prog.xml.1234.tmp", "prog.qlf_1234.tmp",
                            "other.qlf.1234.tmp", "prog.qlf"})
    EXPECT_FALSE(TemporaryWriterId(log, other)) << other;
}

}  // namespace
}  // namespace exclog
