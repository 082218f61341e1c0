#pragma once
// Test helper: the host program's windows as another process sees them.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "tests/support/GuiProbe_win.h"

namespace velmora::test {

struct TWindowSearch {
  DWORD ProcessId;
  const std::function<bool(HWND)>* Match;
  HWND Found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != s->ProcessId || !IsWindowVisible(window) || !(*s->Match)(window)) return TRUE;
  s->Found = window;
  return FALSE;
}

// The first visible top-level window of a process for which `match` holds.
inline HWND FindWindowWhere(DWORD processId, const std::function<bool(HWND)>& match) {
  TWindowSearch search{processId, &match, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// The first visible top-level window of a process whose caption or class is `name`.
inline HWND FindWindowOf(DWORD processId, const char* name, bool byClass) {
  return FindWindowWhere(processId, [&](HWND window) {
    char text[64] = {};
    if (byClass)
      GetClassNameA(window, text, sizeof text);
    else
      GetWindowTextA(window, text, sizeof text);
    return lstrcmpA(text, name) == 0;
  });
}
inline HWND FindMainWindowOf(DWORD processId) { return FindWindowOf(processId, "Velmora", false); }
inline HWND FindOpenMenuOf(DWORD processId) { return FindWindowOf(processId, "#32768", true); }

// The window answers the skin engine's "skinned?" query.
inline bool AnswersSkinned(HWND window) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, 0x3523, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) && answer == 1;
}

// The skin has activated the window's frame: the region cut from the skin's magenta
// pixels is set, the last step after the skinned caption and menu strip took their
// room. Until then the window keeps the system's geometry.
inline bool FrameActivated(HWND window) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const bool cut = GetWindowRgn(window, region) != ERROR;
  DeleteObject(region);
  return cut;
}

// A file's whole text; empty when it cannot be read.
inline std::string ReadText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The main window clicked on its caption, through the X server, until it is in front.
inline bool FocusByCaption(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                 std::to_string(r.top + 12) + " click 1");
  return PumpUntil([&] { return GetForegroundWindow() == window; });
}

// Opens Help and picks "Raise an exception" by keyboard, as a user would; true once
// the menu closed again. False when the menu did not open within `menuWaitMs`.
inline bool RaiseFromTheMenu(DWORD processId, DWORD menuWaitMs = 10000) {
  RunHostCommand("/usr/bin/xdotool key alt+h");
  if (!PumpUntil([&] { return FindOpenMenuOf(processId) != nullptr; }, menuWaitMs)) return false;
  RunHostCommand("/usr/bin/xdotool key r");
  return PumpUntil([&] { return FindOpenMenuOf(processId) == nullptr; });
}

// The logger's dialog once placed: it appears at 0, 0 without size before its mode
// places it. Null when it never came.
inline HWND WaitForReportDialog(DWORD processId, const char* caption = "Error occurred") {
  HWND dialog = nullptr;
  bool placed = PumpUntil(
      [&] {
        dialog = FindWindowOf(processId, caption, false);
        RECT r{};
        return dialog && GetWindowRect(dialog, &r) && r.right - r.left >= 100;
      },
      30000);
  return placed ? dialog : nullptr;
}

// A window's caption or a control's text.
inline std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}
// Asked of the control itself (WM_GETTEXT), so an edit of another process
// answers with what it holds now.
inline std::string ItemText(HWND dialog, int id) {
  char text[512] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// A left click in the middle of a window or control, through the X server, where
// its thread last put it (a dialog lays itself out on its own thread).
inline void ClickCentre(HWND window) {
  velmora::test::SettleWindowThread(window);
  RECT r{};
  GetWindowRect(window, &r);
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                 std::to_string((r.top + r.bottom) / 2) + " click 1");
}
inline void ClickItem(HWND dialog, int id) { ClickCentre(GetDlgItem(dialog, id)); }

// A message box of the process (its OK button, no progress bar), its text read
// from its static control (Wine numbers it 100, Windows 0xFFFF).
inline HWND MessageBoxOf(DWORD processId, std::string* text) {
  HWND box = FindWindowWhere(processId, [](HWND w) {
    char name[16] = {};
    return GetClassNameA(w, name, sizeof name) && std::string(name) == "#32770" && GetDlgItem(w, IDOK) &&
           !GetDlgItem(w, 101) && (GetDlgItem(w, 0xFFFF) || GetDlgItem(w, 100));
  });
  if (box && text) *text = TextOf(GetDlgItem(box, 0xFFFF) ? GetDlgItem(box, 0xFFFF) : GetDlgItem(box, 100));
  return box;
}

// Each channel within 2 of the expected one.
inline bool NearColour(std::optional<COLORREF> c, COLORREF expected) {
  if (!c) return false;
  for (int s : {0, 8, 16})
    if (std::abs(static_cast<int>((*c >> s) & 0xFF) - static_cast<int>((expected >> s) & 0xFF)) > 2) return false;
  return true;
}

}  // namespace velmora::test
