#include "tests/support/GuiProbe_win.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TestPaths.h"

namespace velmora::test {

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpMessages();
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  if (!screen) return CLR_INVALID;
  COLORREF c = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return c;
}

HWND WaitUntilPlaced(const std::function<HWND()>& find, const std::function<bool(HWND, const RECT&)>& placed,
                     DWORD timeoutMs) {
  HWND found = nullptr;
  bool done = PumpUntil(
      [&] {
        if (!(found = find())) return false;
        RECT r{};
        if (!GetWindowRect(found, &r) || r.right - r.left < 100 || !placed(found, r)) return false;
        // Uncovered where a test clicks and types: no window of the test before
        // (a helper's console) still stands over its middle.
        const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        return GetAncestor(WindowFromPoint(middle), GA_ROOT) == found;
      },
      timeoutMs);
  return done ? found : nullptr;
}

bool CentredAcrossWorkArea(HWND window, const RECT& r) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return false;
  const RECT& work = monitor.rcWork;
  return std::abs((r.left + r.right) - (work.left + work.right)) <= 1;
}

namespace {

bool InMoveSizeLoop(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && (info.flags & GUI_INMOVESIZE);
}

std::string PointerAt(POINT p) { return "xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y); }

}  // namespace

std::optional<POINT> UncoveredSpotOf(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return std::nullopt;
  for (POINT p : {POINT{r.left + 40, r.top + 60}, POINT{r.right - 40, r.top + 60}, POINT{r.left + 40, r.bottom - 40},
                  POINT{r.right - 40, r.bottom - 40}})
    if (GetAncestor(WindowFromPoint(p), GA_ROOT) == window) return p;
  return std::nullopt;
}

bool SettleWindowThread(HWND window, DWORD timeoutMs) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

bool DragWindowBorder(HWND window, POINT from, POINT to) {
  RECT before{};
  GetWindowRect(window, &before);
  if (!RunHostCommand(PointerAt(from) + " mousedown 1") || !PumpUntil([&] { return InMoveSizeLoop(window); })) {
    RunHostCommand("xdotool mouseup 1");
    return false;
  }
  const bool changed = RunHostCommand(PointerAt(to)) && PumpUntil([&] {
                         RECT now{};
                         GetWindowRect(window, &now);
                         return !EqualRect(&now, &before);
                       });
  return RunHostCommand("xdotool mouseup 1") && PumpUntil([&] { return !InMoveSizeLoop(window); }) && changed;
}

std::optional<std::string> RunHostCommand(const std::string& shellCommand, DWORD timeoutMs) {
  // Wine starts programs of the build machine, but cannot wait for them or read
  // their exit code: the command writes its answer to a file, renamed into place
  // when complete, and we poll for it.
  // Process ids repeat across the Wine sessions that share the machine's /tmp: the
  // performance counter tells two programs with one id apart.
  static int serial = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  char name[96];
  std::snprintf(name, sizeof name, "/tmp/velmora-host-%lu-%d-%llx", GetCurrentProcessId(), ++serial,
                static_cast<unsigned long long>(now.QuadPart));
  const std::string unixOut = name;
  const std::string script = "(" + shellCommand + ") > '" + unixOut + ".part' 2>/dev/null; mv '" +
                             unixOut + ".part' '" + unixOut + "'";
  std::string commandLine = "Z:\\bin\\sh -c \"" + script + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return std::nullopt;
  // For a program of the build machine Wine may hand back handle values that name
  // nothing it made (seen: the thread handle left as stack garbage), and closing
  // such a value once closed this program's standard output. Close only what really
  // is the new thread and process.
  if (pi.hThread && GetThreadId(pi.hThread) == pi.dwThreadId && pi.dwThreadId) CloseHandle(pi.hThread);
  if (pi.hProcess && GetProcessId(pi.hProcess) == pi.dwProcessId && pi.dwProcessId) CloseHandle(pi.hProcess);
  const std::string hostOut = HostPath(unixOut);
  if (!PumpUntil([&] { return GetFileAttributesA(hostOut.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 timeoutMs))
    return std::nullopt;
  std::ifstream in(hostOut, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  in.close();
  DeleteFileA(hostOut.c_str());
  return text.str();
}

std::optional<COLORREF> XScreenPixel(int x, int y, DWORD timeoutMs) {
  char command[160];
  std::snprintf(command, sizeof command,
                "/usr/bin/import -silent -window root -crop 1x1+%d+%d -depth 8 txt:-", x, y);
  std::optional<std::string> text = RunHostCommand(command, timeoutMs);
  if (!text) return std::nullopt;
  // ImageMagick's text format: a "# ..." header line, then "0,0: (r,g,b)  #RRGGBB  name".
  size_t hash = text->rfind('#');
  if (hash == std::string::npos || hash + 7 > text->size()) return std::nullopt;
  unsigned r, g, b;
  if (std::sscanf(text->c_str() + hash + 1, "%2x%2x%2x", &r, &g, &b) != 3) return std::nullopt;
  return RGB(r, g, b);
}

bool XAreaHolds(const RECT& r, COLORREF colour) {
  char command[160];
  std::snprintf(command, sizeof command, "/usr/bin/import -silent -window root -crop %ldx%ld+%ld+%ld -depth 8 txt:-",
                r.right - r.left, r.bottom - r.top, r.left, r.top);
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return RunHostCommand(command).value_or("").find(wanted) != std::string::npos;
}

void ShotForReview(const std::string& name) {
  char folder[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("VELMORA_DIALOG_SHOTS", folder, sizeof folder)) return;
  RunHostCommand("/usr/bin/import -silent -window root '" + std::string(folder) + "/" + name + ".png'");
}

}  // namespace velmora::test

namespace {

// A display test program starts with the pointer in the screen's bottom-right corner,
// where no test puts anything to hover. Else it would start wherever the program
// before it left the pointer, and Wine drops a move to the spot where it last saw
// the pointer: a first hover onto that spot would bring no mouse message, and
// results would hang on the order the programs ran in. Only the display-locked
// entries ask for it (VELMORA_DISPLAY_TEST): a program beside them must keep off
// the pointer.
class TPointerParking : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!GetEnvironmentVariableA("VELMORA_DISPLAY_TEST", nullptr, 0)) return;
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    velmora::test::PumpMessages();
  }
};

[[maybe_unused]] ::testing::Environment* const pointerParking =
    ::testing::AddGlobalTestEnvironment(new TPointerParking);

}  // namespace
