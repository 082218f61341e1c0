// Sending a report with real files: on the caller's thread, and on a send thread
// that waits for the dispatch lock.
#include "exclog/sending/ESendReport_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exclog/core/ECore_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/report/EPlatform_win.h"
#include "exclog/report/EReportText.h"
#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/ESendPipeline.h"

namespace exclog {
namespace {

std::vector<std::string> archiveEntries;  // what the recording sender found in the archive
std::string keptArchive;
HANDLE sentEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// The archive as the method saw it: its bytes kept, its entries' names read from
// the local headers.
bool RecordingSmtp(const TMailMessage& message, const TSmtpSettings&) {
  archiveEntries.clear();
  keptArchive = message.Attachments.empty() ? "" : ReadAll(message.Attachments[0]);
  for (size_t at = keptArchive.find("PK\x03\x04"); at != std::string::npos && at + 30 <= keptArchive.size();
       at = keptArchive.find("PK\x03\x04", at + 4)) {
    size_t nameLength = static_cast<uint8_t>(keptArchive[at + 26]) | static_cast<uint8_t>(keptArchive[at + 27]) << 8;
    archiveEntries.push_back(keptArchive.substr(at + 30, nameLength));
  }
  SetEvent(sentEvent);
  return message.Recipients == "ok@127.0.0.1";
}

class SendReportTest : public testing::Test {
 protected:
  TQuelbaModuleOptions options;
  std::string logFolder;
  TReportJob job;

  void SetUp() override {
    logFolder = TempFolder() + "velmora-send-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(logFolder.c_str(), nullptr);
    options.SetLogFolder(logFolder);
    options.SetMailMode(2);
    options.SetWebSendMode(0);
    options.SetMailRecipients("ok@127.0.0.1");
    options.SetProcessFlags(0);
    options.SetCatchFlags(0);
    options.SetAttachedFiles("");
    options.SetReportInMailBody(0);
    SendingSeams() = TSendingSeams();
    SendMethodSeams() = TSendMethodSeams();
    SendMethodSeams().SmtpSend = &RecordingSmtp;
    SetSameThreadReport(false);
    SetReportCopy("");
  }
  void TearDown() override {
    SendMethodSeams() = TSendMethodSeams();
    SendingSeams() = TSendingSeams();
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((logFolder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do DeleteFileA((logFolder + found.cFileName).c_str());
      while (FindNextFileA(find, &found));
      FindClose(find);
    }
    RemoveDirectoryA(logFolder.c_str());
  }
  std::string ReportFile() { return TempFolder() + ExtractFileName(LogFileName(options)); }
};

TEST_F(SendReportTest, OnTheCallersThreadTheArchiveGoesOutAndTheFilesGo) {
  options.SetCatchFlags(KeepArchiveCopy);
  EXPECT_FALSE(SendReport(job, "report text", true, options));
  EXPECT_EQ(archiveEntries, std::vector<std::string>{ExtractFileName(ReportFile())});
  EXPECT_NE(keptArchive.find("PK\x05\x06"), std::string::npos);  // a finished archive
  EXPECT_FALSE(Exists(ReportFile()));
  EXPECT_FALSE(Exists(TempFolder() + "BugReport.zip"));
  // The copy in the log folder, under the copies' own pattern.
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((logFolder + "BugReport_*.zip").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  EXPECT_EQ(ReadAll(logFolder + found.cFileName), keptArchive);
}

TEST_F(SendReportTest, AFailedSendPutsTheKeptReportOnTheClipboard) {
  options.SetMailRecipients("refused@127.0.0.1");
  options.SetCatchFlags(ClipboardOnFailure | KeepArchiveCopy);
  SetReportCopy("the text kept for sending");
  SendingSeams().ReportTextToSend = [] { return ReportPieces().ReportCopy; };
  EXPECT_FALSE(SendReport(job, "the handler's text", true, options));
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_TEXT);
  std::string text = data ? static_cast<const char*>(GlobalLock(data)) : "";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(text, "the text kept for sending");
  HANDLE find;
  WIN32_FIND_DATAA found;
  find = FindFirstFileA((logFolder + "BugReport_*.zip").c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE);  // no copy of a failed send
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(SendReportTest, ASendThreadWaitsForTheDispatchLockAndHoldsIt) {
  static std::recursive_mutex lock;
  SendingSeams().DispatchLock = &lock;
  options.SetProcessFlags(SendOnOwnThread);
  int finished = SendThreadsFinished();
  ResetEvent(sentEvent);
  std::unique_lock<std::recursive_mutex> held(lock);
  EXPECT_TRUE(SendReport(job, "report text", true, options));
  // Nothing goes out while the report before holds the lock.
  EXPECT_EQ(WaitForSingleObject(sentEvent, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(SendThreadsFinished(), finished);
  held.unlock();
  EXPECT_EQ(WaitForSingleObject(sentEvent, 20000), WAIT_OBJECT_0);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (SendThreadsFinished() == finished && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(SendThreadsFinished(), finished + 1);
  EXPECT_EQ(archiveEntries.size(), 1u);
  // The lock is free again.
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

// Pumping on the sending thread takes the queue's messages; a quit request among
// them is put back for the program's own loop.
TEST(SendOutputs, PumpingPutsAQuitRequestBack) {
  InstallSendOutputs();
  SendState().Progress.Window = reinterpret_cast<uintptr_t>(GetDesktopWindow());
  SendState().Progress.SameThread = true;
  PostQuitMessage(7);
  SendOutputSeams().StatusText = nullptr;  // only the pumping is under test
  SetStatus("x");
  SendState().Progress = TSendProgress();
  SendOutputSeams() = TSendOutputSeams();
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
}

}  // namespace
}  // namespace exclog
