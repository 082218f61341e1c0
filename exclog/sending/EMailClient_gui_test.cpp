// The mail client under Wine: a stand-in client library (fake_mapi.dll, registered
// as the default mail client of HKCU) and a stand-in mail program for "mailto:"
// (mail_recorder.exe), both beside this test program.
#include "exclog/sending/EMailClient_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "exclog/report/EInternalError_win.h"
#include "exclog/sending/EMailSenders_win.h"
#include "exclog/sending/ESendState.h"
#include "exclog/sending/EWinSock.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

std::string Beside(const std::string& name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\') + 1) + name;
}

void SetText(HKEY root, const std::string& path, const char* name, const std::string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

std::string GetText(HKEY root, const std::string& path) {
  char value[1024] = {};
  LONG size = sizeof value;
  return RegQueryValueA(root, path.c_str(), value, &size) == ERROR_SUCCESS ? std::string(value) : std::string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int CountLines(const std::string& text, const std::string& start) {
  int n = 0;
  for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) n += at == 0 || text[at - 1] == '\n';
  return n;
}

// The default mail client of HKCU names `library`; the log starts empty.
class EMailClientWin : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = velmora::test::TempPath("fake-mapi.log");
    DeleteFileA(log_.c_str());
    SetEnvironmentVariableA("FAKE_MAPI_LOG", log_.c_str());
    SetEnvironmentVariableA("FAKE_MAPI_LOGON", nullptr);
    SetEnvironmentVariableA("FAKE_MAPI_SEND", nullptr);
    UseLibrary(Beside("fake_mapi.dll"));
    ResetSendState();
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Clients\\Mail");
    SetEnvironmentVariableA("FAKE_MAPI_LOG", nullptr);
  }
  void UseLibrary(const std::string& path) {
    SetText(HKEY_CURRENT_USER, "Software\\Clients\\Mail", nullptr, "VelmoraTestMail");
    SetText(HKEY_CURRENT_USER, "Software\\Clients\\Mail\\VelmoraTestMail", "DLLPath", " " + path + " ");
  }
  std::string log_;
};

TEST_F(EMailClientWin, RecordsReachTheClientLibrary) {
  const std::string file = velmora::test::TempPath("mapi-attachment.zip");
  std::ofstream(file) << "zip";
  std::vector<std::string> forty(40, file);
  EXPECT_TRUE(SendMapi("one@a.test;two@b.test, three@c.test", " Crash\r\nreport ", "Body\r\ntext", forty, false));
  std::string log = ReadAll(log_);
  EXPECT_EQ(CountLines(log, "logon flags=1\n"), 1) << log;
  EXPECT_NE(log.find("send session=5151 flags=1 subject=Crash report note=Body\r\ntext\n"), std::string::npos) << log;
  EXPECT_EQ(CountLines(log, "recip "), 3);
  EXPECT_NE(log.find("recip class=1 name=three@c.test address=SMTP:three@c.test\n"), std::string::npos) << log;
  const std::string name = file.substr(file.find_last_of('\\') + 1);
  EXPECT_EQ(CountLines(log, "file position=-1 path=" + file + " name=" + name + "\n"), 32) << log;
  EXPECT_EQ(CountLines(log, "logoff\n"), 1);
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeNone);

  // The compose dialog follows the caller; a long address fits whole.
  DeleteFileA(log_.c_str());
  const std::string longAddress = std::string(300, 'x') + "@long.test";
  EXPECT_TRUE(SendMapiList(longAddress, "s", "b", file + ";" + file, true));
  log = ReadAll(log_);
  EXPECT_NE(log.find("send session=5151 flags=9 "), std::string::npos) << log;
  EXPECT_NE(log.find("address=SMTP:" + longAddress + "\n"), std::string::npos);
  EXPECT_EQ(CountLines(log, "file "), 2);
}

TEST_F(EMailClientWin, FailuresGiveTheirTextsAndCancelIsNoFailure) {
  struct TCase {
    const char* LogonAnswer;
    const char* SendAnswer;
    bool Result;
    const char* Text;  // "" : no error recorded
  } cases[] = {{"3", "0", false, "Cannot LogOn into the MAPI service."},
               {"0", "2", false, "Cannot send the MAPI message."},
               {"0", "1", true, ""}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    ResetSendState();
    SetEnvironmentVariableA("FAKE_MAPI_LOGON", c.LogonAnswer);
    SetEnvironmentVariableA("FAKE_MAPI_SEND", c.SendAnswer);
    EXPECT_EQ(SendMapi("a@b.test", "s", "b", {}, true), c.Result);
    EXPECT_EQ(SendState().LastError.Text, c.Text);
    if (c.Result) {
      EXPECT_EQ(SendState().AlreadyAnswered, 1);  // cancelled: no "sent" box
    } else {
      EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeEmailMAPIError);
    }
  }
  // A library without the three functions.
  ResetSendState();
  UseLibrary("version.dll");
  EXPECT_FALSE(SendMapi("a@b.test", "s", "b", {}, false));
  EXPECT_EQ(SendState().LastError.Text, "Cannot found the MAPI functions.");
}

// With the system's own client library disabled (a run of its own sets
// VELMORA_EXPECT_NO_MAPI and turns mapi32 off); elsewhere Wine's would answer.
TEST_F(EMailClientWin, NoClientLibraryAtAll) {
  if (HMODULE system = LoadLibraryA("mapi32.dll")) {
    FreeLibrary(system);
    ASSERT_EQ(std::getenv("VELMORA_EXPECT_NO_MAPI"), nullptr) << "mapi32.dll is not turned off";
    GTEST_SKIP() << "the system's mapi32.dll is present";
  }
  UseLibrary("C:\\no-such-folder\\client.dll");
  EXPECT_FALSE(SendMapi("a@b.test", "s", "b", {}, false));
  EXPECT_EQ(SendState().LastError.Text, "Cannot open the MAPI dll.");
  EXPECT_EQ(ReadAll(log_), "");
}

// The logger's own failures go to its maker by the mail client (the user said yes);
// a socket error is not the logger's failure and asks nothing.
TEST_F(EMailClientWin, InternalErrorReportsGoByTheClient) {
  static std::vector<std::string> captions;
  captions.clear();
  const TMessageBoxProvider previous = SetMessageBoxProvider(
      [](HWND, const std::string&, const std::string& caption, UINT) {
        captions.push_back(caption);
        return IDYES;
      });
  const TSendMethodSeams methods = SendMethodSeams();
  const TInternalErrorSeams reporter = InternalErrorSeams();
  InstallMailSenders();
  const EQuelbaSocketError socketError("Connection error");
  const std::string skipped = ReportInternalException(static_cast<const TObject*>(&socketError), 0, "Sending");
  const Exception failure("broken");
  const std::string file = ReportInternalException(static_cast<const TObject*>(&failure), 0, "Sending");
  SendMethodSeams() = methods;
  InternalErrorSeams() = reporter;
  SetMessageBoxProvider(previous);

  EXPECT_EQ(skipped, "");
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(captions, (std::vector<std::string>{"Probably internal bug"}));  // no "Information"
  const std::string log = ReadAll(log_);
  EXPECT_NE(log.find("subject=QuelbaLog 6.1.04 critical bug."), std::string::npos) << log;
  EXPECT_NE(log.find(std::string("address=SMTP:") + InternalBugAddress + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("file position=-1 path=" + file + " "), std::string::npos) << log;
  DeleteFileA(file.c_str());
}

// Percent-decoding, written apart from the encoder: "%XX" to its byte.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

BOOL CALLBACK FindWindowOf(HWND window, LPARAM data) {
  auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != found->first || !IsWindowVisible(window)) return TRUE;
  found->second = window;
  return FALSE;
}

// The prefix's own "mailto:" command is put back afterwards (Wine's HKCR is the
// machine's classes only).
class EMailtoWin : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = GetText(HKEY_CLASSES_ROOT, Command); }
  void TearDown() override { SetText(HKEY_CLASSES_ROOT, Command, nullptr, saved_); }
  static constexpr const char* Command = "mailto\\shell\\open\\command";
  std::string saved_;
};

TEST_F(EMailtoWin, TheLinkCarriesTheMessageAndTheWaitEnds) {
  const std::string out = velmora::test::TempPath("mailto-recorded.txt");
  DeleteFileA(out.c_str());
  SetEnvironmentVariableA("MAIL_RECORDER_OUT", out.c_str());
  SetText(HKEY_CLASSES_ROOT, Command, nullptr, "\"" + Beside("mail_recorder.exe") + "\" -compose %1");
  ResetSendState();
  const std::string subject = "Crash: 100% sure";
  const std::string body = "line 1\r\nline 2 & more?";
  EXPECT_TRUE(SendMailto("a@x.test;b@y.test", subject, body));

  const std::string recorded = ReadAll(out);
  const size_t newline = recorded.find('\n');
  ASSERT_NE(newline, std::string::npos) << recorded;
  const DWORD pid = std::stoul(recorded.substr(0, newline));
  const std::string command = recorded.substr(newline + 1);
  const size_t at = command.find(" -compose mailto:");
  ASSERT_NE(at, std::string::npos) << command;
  const std::string url = command.substr(at + 10);
  EXPECT_NE(url.find("%3A%20100%25%20sure"), std::string::npos) << url;
  EXPECT_EQ(Unescape(url), "mailto:a@x.test;b@y.test?Subject=" + subject + "&Body=" + body);

  // The mail program is still open: the wait gave up rather than block the reports,
  // and its window was put on top.
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  std::pair<DWORD, HWND> found{pid, nullptr};
  EnumWindows(&FindWindowOf, reinterpret_cast<LPARAM>(&found));
  ASSERT_NE(found.second, nullptr);
  EXPECT_TRUE(GetWindowLongA(found.second, GWL_EXSTYLE) & WS_EX_TOPMOST);
  TerminateProcess(process, 0);
  CloseHandle(process);

  // A registered program that is not there: the system's text under the shell code.
  SetText(HKEY_CLASSES_ROOT, Command, nullptr, "\"C:\\no-such-folder\\mailer.exe\" %1");
  ResetSendState();
  EXPECT_FALSE(SendMailto("a@x.test", "s", "b"));
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeEmailShellError);
  EXPECT_FALSE(SendState().LastError.Text.empty());
}

}  // namespace
}  // namespace exclog
