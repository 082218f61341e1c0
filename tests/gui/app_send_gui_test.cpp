// The host program's report sent as a user sends it: copies of Velmora whose logger
// data mail or upload their reports, Help > "Raise an exception" through the X
// server, OK in the logger's dialog with its send box ticked, then the progress
// window, the result box and what the test's servers on 127.0.0.1 received.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exclog/core/EOptionsData.h"
#include "exclog/core/EOptionsStream.h"
#include "exclog/debuginfo/EDebug.h"
#include "exclog/debuginfo/EDebugWriter.h"
#include "resources/exclog/QuelbaDialogs.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::ClickItem;
using velmora::test::FindMainWindowOf;
using velmora::test::PumpUntil;
using velmora::test::ReadText;
using velmora::test::ItemText;
using velmora::test::MessageBoxOf;
using velmora::test::TextOf;
using velmora::test::RunHostCommand;

// The send progress window: its status line and bar.
HWND ProgressWindowOf(DWORD processId) {
  return velmora::test::FindWindowWhere(processId, [](HWND w) {
    char name[64] = {};
    HWND bar = GetDlgItem(w, 101);
    return bar && GetClassNameA(bar, name, sizeof name) && lstrcmpiA(name, "msctls_progress32") == 0;
  });
}

// The page the tab control shows: its one visible dialog child of some size.
HWND VisiblePageOf(HWND tabs) {
  HWND page = nullptr;
  int pages = 0;
  for (HWND child = GetWindow(tabs, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[16] = {};
    RECT r{};
    GetWindowRect(child, &r);
    if (IsWindowVisible(child) && GetClassNameA(child, name, sizeof name) && std::string(name) == "#32770" &&
        r.right - r.left > 100 && r.bottom - r.top > 50) {
      page = child;
      ++pages;
    }
  }
  return pages == 1 ? page : nullptr;
}

// A peer of tests/peers in the background at a free port of its choosing, in a
// scratch folder; killed by its process group when the object goes. Its port is
// the first number of the file `portFile` of its folder ("{dir}/out" for the
// mail peer's standard output, "{dir}/ready" for the web peer's "port pid").
class THostPeer {
 public:
  THostPeer(const std::string& name, const std::string& command, const std::string& portFile = "out") {
    unix_ = "/tmp/velmora-appsend-" + velmora::test::ProcessTag() + "-" + name;
    RunHostCommand("rm -rf '" + unix_ + "'; mkdir -p '" + unix_ + "/store'");
    std::string line = command;
    for (size_t at; (at = line.find("{dir}")) != std::string::npos;) line.replace(at, 5, unix_);
    // Paths without blanks: the command goes through one more shell unquoted.
    auto pid = RunHostCommand("cd " + unix_ + " && setsid sh -c 'sleep 300 | /usr/bin/python3 " VELMORA_SOURCE_DIR
                              "/tests/peers/" + line + " >out 2>err' </dev/null >/dev/null 2>&1 & echo $!");
    if (pid) group_ = std::atoi(pid->c_str());
    PumpUntil([&] { return (port_ = ListeningPort(Path(portFile))) > 0; }, 20000);
  }
  ~THostPeer() {
    if (group_ > 0) RunHostCommand("kill -- -" + std::to_string(group_) + " 2>/dev/null");
    RunHostCommand("rm -rf '" + unix_ + "'");
  }
  THostPeer(const THostPeer&) = delete;
  THostPeer& operator=(const THostPeer&) = delete;
  std::string Path(const std::string& name) const { return velmora::test::HostPath(unix_ + "/" + name); }
  std::string Unix(const std::string& name) const { return unix_ + "/" + name; }
  std::string Folder() const { return velmora::test::HostPath(unix_); }
  // 0 until the peer listens.
  int Port() const { return port_; }
  // What the peer said when it did not come up.
  std::string Complaint() const { return ReadText(Path("out")) + ReadText(Path("err")); }

 private:
  // The first line's number once the line is whole.
  static int ListeningPort(const std::string& file) {
    const std::string text = ReadText(file);
    const size_t end = text.find('\n');
    return end == std::string::npos ? 0 : std::atoi(text.substr(0, end).c_str());
  }

  std::string unix_;
  int group_ = 0;
  int port_ = 0;
};

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR into) {
  *reinterpret_cast<WORD*>(into) = language;
  return FALSE;
}

// A copy of a program as `folder`\<its file name> whose logger options `change`
// altered (its "QLDATA" resource rewritten): how a test hands a copy the port its
// server took. The copy's path, or "" when that failed.
std::string CopyWithOptions(const std::string& exe, const std::string& folder,
                            const std::function<void(exclog::TQuelbaOptionsData&)>& change) {
  const std::string copy = folder + "\\" + exe.substr(exe.find_last_of("\\/") + 1);
  HMODULE data = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!data) return "";
  WORD language = 0;
  EnumResourceLanguagesA(data, MAKEINTRESOURCEA(10), "QLDATA", &FirstLanguage, reinterpret_cast<LONG_PTR>(&language));
  HRSRC found = FindResourceA(data, "QLDATA", MAKEINTRESOURCEA(10));
  const void* bytes = found ? LockResource(LoadResource(data, found)) : nullptr;
  std::optional<exclog::TQLModuleDataContent> content;
  if (bytes) content = exclog::ParseResourceData(static_cast<const uint8_t*>(bytes), SizeofResource(data, found));
  FreeLibrary(data);
  // Enciphered names would need the pass phrase to be written again.
  if (!content || !content->DebugBlock || (content->KeyCheck && *content->KeyCheck != std::string(4, '\0')))
    return "";
  exclog::TQuelbaOptionsData options;
  try {
    exclog::TOptionsBufferSource source(content->OptionsStream.data(), content->OptionsStream.size());
    exclog::ReadOptionsStream(source, content->Version, options);
  } catch (...) {
    return "";
  }
  change(options);
  exclog::TQLDataImage image;
  image.Version = exclog::CurrentOptionsStreamVersion;
  image.Header = content->Header;
  image.OptionsByte = content->OptionsByte;
  image.MainModuleByte = content->MainModuleByte;
  exclog::WriteOptionsStream(options, image.OptionsStream);
  image.DebugBlock = *content->DebugBlock;
  std::string resource = exclog::WriteResourceData(image);
  if (!CopyFileA(exe.c_str(), copy.c_str(), FALSE)) return "";
  HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
  if (!update) return "";
  const bool put = UpdateResourceA(update, MAKEINTRESOURCEA(10), "QLDATA", language, resource.data(),
                                   static_cast<DWORD>(resource.size()));
  return EndUpdateResourceA(update, !put) && put ? copy : "";
}

// The copy mailing to `peer`.
std::string MailPeerCopy(const THostPeer& peer) {
  return CopyWithOptions(velmora::test::HostPath(VELMORA_MAIL_PEER_EXE), peer.Folder(),
                         [&](exclog::TQuelbaOptionsData& options) {
                           options.SmtpPort = static_cast<uint16_t>(peer.Port());
                         });
}

// The entries of the archive the stored message carries, as unzip lists them.
std::string MailedArchiveListing(const THostPeer& peer) {
  return RunHostCommand("/usr/bin/python3 " VELMORA_SOURCE_DIR "/tests/peers/mail_attachment.py " +
                        peer.Unix("store/msg-1.json") + " " + peer.Unix("mailed.zip") + " 2>&1 && unzip -l " +
                        peer.Unix("mailed.zip") + " 2>&1")
      .value_or("");
}

// The temporary folder the copies started meanwhile use: one of the test's own,
// so that what the report leaves there is this report's.
class TPrivateTemp {
 public:
  explicit TPrivateTemp(const std::string& folder) : folder_(folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"TMP", "TEMP"}) {
      char old[MAX_PATH] = {};
      saved_.push_back(GetEnvironmentVariableA(name, old, sizeof old) ? old : "");
      SetEnvironmentVariableA(name, folder.c_str());
    }
  }
  ~TPrivateTemp() {
    SetEnvironmentVariableA("TMP", saved_[0].empty() ? nullptr : saved_[0].c_str());
    SetEnvironmentVariableA("TEMP", saved_[1].empty() ? nullptr : saved_[1].c_str());
  }
  bool Holds(const std::string& name) const {
    return GetFileAttributesA((folder_ + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

 private:
  std::string folder_;
  std::vector<std::string> saved_;
};

// One run of a copy: started, raised from the menu, the dialog answered with OK
// (its send box ticked as it opens); then the test watches the sending.
class AppSend : public testing::Test {
 protected:
  // Ended by its destructor when a check stopped the test early.
  std::unique_ptr<velmora::test::TChildProcess> program;
  HWND window = nullptr;

  // `exe` (a path the program's file routines take) started and raised from the
  // menu; `dialog` is the logger's dialog once placed.
  void StartAndRaise(const std::string& exe, HWND& dialog) {
    ASSERT_FALSE(exe.empty());
    // A report already logged would count as a repeat, which is not sent again.
    DeleteFileA((exe.substr(0, exe.size() - 4) + ".qlf").c_str());
    program = std::make_unique<velmora::test::TChildProcess>("\"" + exe + "\"");
    ASSERT_TRUE(program->Started());
    ASSERT_TRUE(PumpUntil([&] { return (window = FindMainWindowOf(program->Id())) != nullptr; }, 30000));
    ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 20000));
    ASSERT_TRUE(velmora::test::FocusByCaption(window));
    ASSERT_TRUE(velmora::test::RaiseFromTheMenu(program->Id()));
    ASSERT_NE(dialog = velmora::test::WaitForReportDialog(program->Id()), nullptr);
  }

  // When OK was clicked.
  DWORD sentAt = 0;

  void StartAndSend(const std::string& exe) {
    HWND dialog = nullptr;
    StartAndRaise(exe, dialog);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(SendDlgItemMessageA(dialog, QL_DLG_SEND, BM_GETCHECK, 0, 0), BST_CHECKED);
    sentAt = GetTickCount();
    ClickItem(dialog, QL_DLG_OK);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  }

  // Watches the progress window until the result box (caption `resultCaption`)
  // shows: every status line seen, the bar's last position and the window's
  // place; the texts of the boxes before it, each answered with its OK.
  struct TWatched {
    std::set<std::string> Statuses;
    int LastPercent = -1;
    RECT Place{};
    bool Seen = false;
    std::vector<std::string> EarlierBoxes;
    std::string BoxText;
    HWND Box = nullptr;
    // From OK to the result box.
    DWORD BoxAfterMs = 0;
    // From the progress window's first sighting to its first change of status
    // line (or the box): a sender that waits out its 3 s limit for a progress
    // window that is up takes that limit here, less only the time the window
    // stood before it was seen; a sound one a few steps of 50 ms.
    DWORD FirstStepAfterShownMs = 0;
  };
  TWatched WatchUntilTheBox(const std::string& resultCaption) {
    TWatched w;
    DWORD shownAt = 0;
    std::string firstStatus;
    bool stepped = false;
    PumpUntil(
        [&] {
          if (HWND progress = ProgressWindowOf(program->Id())) {
            const std::string status = TextOf(GetDlgItem(progress, 100));
            if (!w.Seen) {
              shownAt = GetTickCount();
              firstStatus = status;
            } else if (!stepped && status != firstStatus) {
              stepped = true;
              w.FirstStepAfterShownMs = GetTickCount() - shownAt;
            }
            w.Seen = true;
            w.Statuses.insert(status);
            w.LastPercent = static_cast<int>(SendDlgItemMessageA(progress, 101, PBM_GETPOS, 0, 0));
            GetWindowRect(progress, &w.Place);
          }
          std::string text;
          HWND box = MessageBoxOf(program->Id(), &text);
          if (!box) return false;
          if (TextOf(box) == resultCaption) {
            w.BoxAfterMs = GetTickCount() - sentAt;
            if (w.Seen && !stepped) w.FirstStepAfterShownMs = GetTickCount() - shownAt;
            w.Box = box;
            w.BoxText = text;
            return true;
          }
          if (w.EarlierBoxes.empty() || w.EarlierBoxes.back() != TextOf(box) + ": " + text) {
            w.EarlierBoxes.push_back(TextOf(box) + ": " + text);
            ClickItem(box, IDOK);
          }
          return false;
        },
        60000);
    return w;
  }

  // The box answered with its button, the program goes on and ends normally.
  void AnswerTheBoxAndClose(HWND box) {
    ClickItem(box, IDOK);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box); }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return ProgressWindowOf(program->Id()) == nullptr; }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window) && velmora::test::AnswersSkinned(window); }, 15000));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program->Ended(15000));
    EXPECT_EQ(program->ExitCode(), 0u);
  }
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

bool InTheBottomRightCorner(const RECT& r) {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int width = r.right - r.left, height = r.bottom - r.top;
  return width > 0 && height > 0 && r.right <= work.right && r.bottom <= work.bottom &&
         r.left > (work.left + work.right) / 2 && r.top > (work.top + work.bottom) / 2 &&
         work.right - r.right < width / 2 && work.bottom - r.bottom < height;
}

TEST_F(AppSend, WhenNoMethodSendsTheBoxSaysSoAndTheReportIsOnTheClipboard) {
  RunHostCommand("printf nothing | /usr/bin/xclip -selection clipboard");
  StartAndSend(velmora::test::HostPath(VELMORA_MAIL_REFUSED_EXE));
  TWatched w = WatchUntilTheBox("Information.");
  ASSERT_NE(w.Box, nullptr) << Joined(w.EarlierBoxes);
  // A step of the sending with the copy's own texts for the counter and the step.
  EXPECT_EQ(w.Statuses.count("Report 1/1: Calling the mail server..."), 1u)
      << Joined(std::vector<std::string>(w.Statuses.begin(), w.Statuses.end()));
  EXPECT_LT(w.FirstStepAfterShownMs, 2000u) << "the sender waited for the progress window it had";
  EXPECT_TRUE(w.Seen);
  EXPECT_TRUE(InTheBottomRightCorner(w.Place))
      << w.Place.left << "," << w.Place.top << " " << w.Place.right << "," << w.Place.bottom;
  EXPECT_EQ(w.BoxText, "Sorry, sending the message didn't work.");
  std::string clip;
  EXPECT_TRUE(PumpUntil([&] {
    clip = RunHostCommand("/usr/bin/xclip -o -selection clipboard").value_or("");
    return clip.find("Exception raised from the menu.") != std::string::npos;
  }, 20000)) << clip.substr(0, 200);
  AnswerTheBoxAndClose(w.Box);
}

TEST_F(AppSend, MailedByTheTestServerItHoldsTheMessage) {
  THostPeer peer("smtp", "smtp_peer.py store {dir}/store");
  ASSERT_GT(peer.Port(), 0) << peer.Complaint();
  StartAndSend(MailPeerCopy(peer));
  TWatched w = WatchUntilTheBox("Information.");
  ASSERT_NE(w.Box, nullptr) << Joined(w.EarlierBoxes);
  EXPECT_EQ(w.BoxText, "The message was sent successfully.");
  bool counted = false;
  for (const std::string& s : w.Statuses) counted = counted || s.rfind("Message 1/1: ", 0) == 0;
  EXPECT_TRUE(counted) << w.Statuses.size();
  EXPECT_LT(w.FirstStepAfterShownMs, 2000u) << "the sender waited for the progress window it had";
  const std::string message = ReadText(peer.Path("store/msg-1.json"));
  EXPECT_NE(message.find("\"to\": [\"author@127.0.0.1\"]"), std::string::npos) << message;
  // Its subject and the archive attached, from the message's own bytes.
  auto headers = RunHostCommand("sed -n 's/.*.data.: .\\([A-Za-z0-9+/=]*\\).*/\\1/p' " +
                                peer.Unix("store/msg-1.json") +
                                " | base64 -d | grep -c -e '^Subject: Velmora error report' -e 'filename=.*[.]zip'");
  EXPECT_EQ(headers.value_or(""), "2\n");
  // The screenshot box was left ticked: the shot travels in the archive.
  const std::string listing = MailedArchiveListing(peer);
  EXPECT_NE(listing.find("Velmora_mail_peer.qlf"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Screenshot.png"), std::string::npos) << listing;
  AnswerTheBoxAndClose(w.Box);
}

// A window of the test's own, one flat colour, over `r` until it goes.
class TCover {
 public:
  static constexpr COLORREF Colour = RGB(255, 0, 255);
  explicit TCover(const RECT& r) {
    WNDCLASSA c{};
    c.lpfnWndProc = DefWindowProcA;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hbrBackground = CreateSolidBrush(Colour);
    c.lpszClassName = "VelmoraTestCover";
    RegisterClassA(&c);
    window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, c.lpszClassName, "", WS_POPUP,
                              r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr, c.hInstance, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
  }
  ~TCover() { Remove(); }
  void Remove() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
  }

 private:
  HWND window_ = nullptr;
};

// A mail server that holds its answer to the message until told: meanwhile the
// program's main window answers at once and paints again what a window covered.
TEST_F(AppSend, WhileTheServerHoldsTheMessageTheMainWindowAnswersAndRepaints) {
  THostPeer peer("hold", "smtp_peer.py script hold {dir}/log");
  ASSERT_GT(peer.Port(), 0) << peer.Complaint();
  StartAndSend(MailPeerCopy(peer));
  // The message's end is in; the server holds its answer.
  ASSERT_TRUE(PumpUntil([&] { return ReadText(peer.Path("log")).find("\n.\r\n") != std::string::npos; }, 60000))
      << ReadText(peer.Path("log")).size();
  HWND progress = ProgressWindowOf(program->Id());
  ASSERT_NE(progress, nullptr);
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer), 0u);
  // A spot of the main window that nothing of the program covers.
  RECT spot{};
  const std::optional<POINT> uncovered = velmora::test::UncoveredSpotOf(window);
  ASSERT_TRUE(uncovered);
  const POINT at = *uncovered;
  const std::optional<COLORREF> before = velmora::test::XScreenPixel(at.x, at.y);
  ASSERT_TRUE(before && *before != TCover::Colour);
  SetRect(&spot, at.x - 10, at.y - 10, at.x + 10, at.y + 10);
  TCover cover(spot);
  ASSERT_TRUE(PumpUntil([&] { return velmora::test::XScreenPixel(at.x, at.y) == TCover::Colour; }, 20000));
  cover.Remove();
  EXPECT_TRUE(PumpUntil([&] { return velmora::test::NearColour(velmora::test::XScreenPixel(at.x, at.y), *before); },
                        20000));
  EXPECT_TRUE(IsWindow(progress));  // all this while the server held its answer
  RunHostCommand("touch " + peer.Unix("log.release"));
  TWatched w = WatchUntilTheBox("Information.");
  ASSERT_NE(w.Box, nullptr) << Joined(w.EarlierBoxes);
  EXPECT_EQ(w.BoxText, "The message was sent successfully.");
  AnswerTheBoxAndClose(w.Box);
}

TEST_F(AppSend, UploadedToTheTestServerTheBarReachesItsEndAndTheServerHoldsTheArchive) {
  THostPeer peer("http", "http_peer.py --ready {dir}/ready --log {dir}/log --store {dir}/store", "ready");
  ASSERT_GT(peer.Port(), 0) << peer.Complaint();
  // The server holds its reply back a moment: the full bar stays up meanwhile.
  const std::string exe = CopyWithOptions(velmora::test::HostPath(VELMORA_WEB_PEER_EXE), peer.Folder(),
                                          [&](exclog::TQuelbaOptionsData& options) {
                                            options.WebUrl = "http://127.0.0.1:" + std::to_string(peer.Port()) +
                                                             "/up/slow_upload.php";
                                          });
  HWND dialog = nullptr;
  StartAndRaise(exe, dialog);
  ASSERT_NE(dialog, nullptr);
  // Sent without the screen shot.
  ClickItem(dialog, QL_DLG_SCREENSHOT);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_SCREENSHOT) == BST_UNCHECKED; }));
  ASSERT_EQ(IsDlgButtonChecked(dialog, QL_DLG_SEND), BST_CHECKED);
  ClickItem(dialog, QL_DLG_OK);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  // The bar is read whenever it shows; the server keeps its reply back while the
  // bar stands full.
  int last = -1;
  HWND progress = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (progress && IsWindow(progress))
          last = static_cast<int>(SendDlgItemMessageA(progress, 101, PBM_GETPOS, 0, 0));
        else
          progress = ProgressWindowOf(program->Id());
        return last == 100;
      },
      60000))
      << last;
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(progress); }, 20000));
  const std::string logUnix = peer.Unix("Velmora_web_peer.qlf");
  // Their complaints too, so a failure says which part differed.
  auto stored = RunHostCommand("{ unzip -p " + peer.Unix("store/BugReport.zip") + " Velmora_web_peer.qlf | cmp - '" +
                               logUnix + "' && unzip -tq " + peer.Unix("store/BugReport.zip") + "; } 2>&1");
  EXPECT_NE(stored.value_or("").find("No errors detected"), std::string::npos) << stored.value_or("");
  const std::string listing = RunHostCommand("unzip -l " + peer.Unix("store/BugReport.zip") + " 2>&1").value_or("");
  EXPECT_NE(listing.find("Velmora_web_peer.qlf"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("Screenshot.png"), std::string::npos) << listing;
  EXPECT_NE(ReadText(peer.Path("log")).find("slow_upload.php"), std::string::npos);
  EXPECT_TRUE(velmora::test::AnswersSkinned(window));
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program->Ended(15000));
  EXPECT_EQ(program->ExitCode(), 0u);
}

// The dialog a user meets: the message read back, Details with its six tabs, each
// showing a page; Copy ticked and Screenshot unticked; the steps typed into the
// request, then Escape: the clipboard and the text log's "Request" section hold
// them, the mail's archive has no screen shot, and the program goes on.
TEST_F(AppSend, TheDialogsChoicesAndTheRequestsStepsReachTheReport) {
  THostPeer peer("request", "smtp_peer.py store {dir}/store");
  ASSERT_GT(peer.Port(), 0) << peer.Complaint();
  const std::string exe = CopyWithOptions(velmora::test::HostPath(VELMORA_REQUEST_PEER_EXE), peer.Folder(),
                                          [&](exclog::TQuelbaOptionsData& options) {
                                            options.SmtpPort = static_cast<uint16_t>(peer.Port());
                                          });
  const std::string log = peer.Path("Velmora_request_peer.qlf");
  HWND dialog = nullptr;
  TPrivateTemp temp(peer.Path("temp"));
  StartAndRaise(exe, dialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ItemText(dialog, QL_DLG_HEADER), "Exception raised from the menu");

  HWND tabs = GetDlgItem(dialog, QL_DLG_TABS);
  ClickItem(dialog, QL_DLG_DETAILS);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tabs); }));
  ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 6);
  // The first tab clicked, the others reached with the arrow key.
  RECT at{};
  GetWindowRect(tabs, &at);
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(at.left + 12) + " " + std::to_string(at.top + 8) +
                 " click 1");
  std::set<HWND> pages;
  for (int tab = 0; tab < 6; ++tab) {
    if (tab) RunHostCommand("/usr/bin/xdotool key Right");
    EXPECT_TRUE(PumpUntil([&] { return SendMessageA(tabs, TCM_GETCURSEL, 0, 0) == tab; })) << tab;
    // One page shows, the tab's own: a page not shown before.
    HWND page = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (page = VisiblePageOf(tabs)) && !pages.count(page); })) << tab;
    pages.insert(page);
  }

  ClickItem(dialog, QL_DLG_COPY);
  ClickItem(dialog, QL_DLG_SCREENSHOT);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_SCREENSHOT) == BST_UNCHECKED; }));
  ASSERT_EQ(IsDlgButtonChecked(dialog, QL_DLG_SEND), BST_CHECKED);
  ClickItem(dialog, QL_DLG_OK);
  HWND request = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (request = velmora::test::FindWindowOf(program->Id(), "Request", false)); },
                        30000));
  ClickItem(request, QL_REQ_EDIT);
  RunHostCommand("/usr/bin/xdotool type --delay 20 'open Help then Raise'");
  ASSERT_TRUE(PumpUntil([&] { return ItemText(request, QL_REQ_EDIT) == "open Help then Raise"; }));
  RunHostCommand("/usr/bin/xdotool key Escape");

  std::string clip;
  EXPECT_TRUE(PumpUntil([&] {
    clip = RunHostCommand("/usr/bin/xclip -o -selection clipboard").value_or("");
    return clip.find("open Help then Raise") != std::string::npos;
  }, 30000)) << clip.substr(0, 200);
  EXPECT_EQ(clip.rfind("QuelbaLog ", 0), 0u) << clip.substr(0, 200);
  EXPECT_NE(clip.find("Exception raised from the menu."), std::string::npos);
  ASSERT_TRUE(PumpUntil([&] { return ReadText(log).find("open Help then Raise") != std::string::npos; }, 30000));
  const std::string text = ReadText(log);
  const size_t section = text.find("Request");
  ASSERT_NE(section, std::string::npos);
  EXPECT_NE(text.find("open Help then Raise", section), std::string::npos);

  // Sent, without the screen shot.
  ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesA(peer.Path("store/msg-1.json").c_str()) != INVALID_FILE_ATTRIBUTES; },
                        60000));
  const std::string listing = MailedArchiveListing(peer);
  EXPECT_NE(listing.find("Velmora_request_peer.qlf"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("Screenshot.png"), std::string::npos) << listing;
  ASSERT_TRUE(PumpUntil([&] { return ProgressWindowOf(program->Id()) == nullptr; }, 20000));
  // Nor is the shot kept on disk.
  EXPECT_FALSE(temp.Holds("Screenshot.png"));
  ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 15000));
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program->Ended(15000));
  EXPECT_EQ(program->ExitCode(), 0u);
}

}  // namespace
