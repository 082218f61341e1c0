#include "exclog/core/EProcess_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "tests/support/GuiProbe_win.h"

namespace exclog {
namespace {

const char* TestWindowClass() {
  static const char* name = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "LogoptsTestWindow";
    RegisterClassA(&wc);
    return "LogoptsTestWindow";
  }();
  return name;
}

// A top-level window made for one test and destroyed with it.
class TTestWindow {
 public:
  TTestWindow(DWORD exStyle, HWND owner, int x, int y, int w, int h, bool visible = true,
              const char* className = TestWindowClass()) {
    window_ = CreateWindowExA(exStyle, className, "logopts", WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, w, h,
                              owner, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~TTestWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND Get() const { return window_; }

 private:
  HWND window_;
};

TEST(ProcessWindows, ApplicationWindowRules) {
  TTestWindow plain(0, nullptr, 10, 10, 100, 80);
  TTestWindow tool(WS_EX_TOOLWINDOW, nullptr, 20, 20, 100, 80);
  TTestWindow toolApp(WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, nullptr, 30, 30, 100, 80);
  TTestWindow hidden(0, nullptr, 40, 40, 100, 80, false);
  TTestWindow flat(0, nullptr, 50, 50, 100, 0);
  TTestWindow ownedByPlain(0, plain.Get(), 60, 60, 100, 80);
  TTestWindow ownedByTool(0, tool.Get(), 70, 70, 100, 80);
  ASSERT_TRUE(plain.Get() && tool.Get() && toolApp.Get() && hidden.Get()) << GetLastError();
  ASSERT_TRUE(flat.Get() && ownedByPlain.Get() && ownedByTool.Get()) << GetLastError();

  EXPECT_TRUE(IsApplicationWindow(plain.Get()));
  EXPECT_FALSE(IsApplicationWindow(tool.Get()));
  EXPECT_TRUE(IsApplicationWindow(toolApp.Get()));
  EXPECT_FALSE(IsApplicationWindow(hidden.Get()));
  EXPECT_FALSE(IsApplicationWindow(flat.Get()));
  EXPECT_FALSE(IsApplicationWindow(ownedByPlain.Get()));
  // A tool-window owner counts through to its own owner: none here.
  EXPECT_TRUE(IsApplicationWindow(ownedByTool.Get()));
  EXPECT_FALSE(WindowHasArea(flat.Get()));
  EXPECT_EQ(WindowClassName(plain.Get()), "LogoptsTestWindow");
  EXPECT_EQ(WindowClassName(nullptr), "");
}

TEST(ProcessWindows, OnlyToolWindowsMeanNoApplicationWindow) {
  for (HWND w : ProcessWindows()) ShowWindow(w, SW_HIDE);
  TTestWindow tool(WS_EX_TOOLWINDOW, nullptr, 20, 20, 100, 80);
  EXPECT_EQ(FirstApplicationWindow(GetCurrentProcessId()), nullptr);
  TTestWindow plain(0, nullptr, 10, 10, 100, 80);
  EXPECT_EQ(FirstApplicationWindow(GetCurrentProcessId()), plain.Get());
  EXPECT_FALSE(IsDesignTimeHost(GetCurrentProcessId()));
}

TEST(ProcessWindows, BoundsAndListCoverOnlyThisProcess) {
  for (HWND w : ProcessWindows()) ShowWindow(w, SW_HIDE);
  RECT none = ProcessWindowsBounds();
  EXPECT_EQ(none.left, -1);
  EXPECT_EQ(none.top, -1);
  EXPECT_EQ(none.right, -1);
  EXPECT_EQ(none.bottom, -1);
  TTestWindow a(0, nullptr, 10, 20, 100, 50);
  TTestWindow b(WS_EX_TOOLWINDOW, nullptr, 200, 5, 30, 300);
  TTestWindow flat(0, nullptr, 500, 500, 100, 0);
  RECT bounds = ProcessWindowsBounds();
  EXPECT_EQ(bounds.left, 10);
  EXPECT_EQ(bounds.top, 5);
  EXPECT_EQ(bounds.right, 230);
  EXPECT_EQ(bounds.bottom, 305);
  std::vector<HWND> windows = ProcessWindows();
  EXPECT_NE(std::find(windows.begin(), windows.end(), a.Get()), windows.end());
  EXPECT_NE(std::find(windows.begin(), windows.end(), b.Get()), windows.end());
  EXPECT_TRUE(WindowOfThisProcess(a.Get()));
  EXPECT_FALSE(WindowOfOtherProcess(a.Get()));
  EXPECT_TRUE(WindowOfOtherProcess(GetDesktopWindow()));
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return "<not opened>";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST(Clipboard, CopiedTextReadsBack) {
  ASSERT_TRUE(CopyTextToClipboard("first text"));
  EXPECT_EQ(ClipboardText(), "first text");
  EXPECT_FALSE(CopyTextToClipboard(""));
  EXPECT_EQ(ClipboardText(), "first text") << "an empty text leaves the clipboard alone";
  TTestWindow owner(0, nullptr, 0, 0, 10, 10);
  ASSERT_TRUE(CopyTextToClipboard("with owner", owner.Get()));
  EXPECT_EQ(ClipboardText(), "with owner");
}

TEST(Clipboard, HeldByAnotherThread) {
  ASSERT_TRUE(CopyTextToClipboard("before"));
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    if (OpenClipboard(nullptr)) {
      holding = true;
      while (!release) Sleep(5);
      CloseClipboard();
    }
    holding = true;
  });
  while (!holding) Sleep(5);
  EXPECT_FALSE(CopyTextToClipboard("refused", nullptr, 50));
  std::thread releaser([&] {
    Sleep(150);
    release = true;
  });
  EXPECT_TRUE(CopyTextToClipboard("after the wait", nullptr, 5000));
  releaser.join();
  holder.join();
  EXPECT_EQ(ClipboardText(), "after the wait");
}

}  // namespace
}  // namespace exclog
