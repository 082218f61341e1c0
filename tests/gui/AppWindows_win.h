#pragma once
// Test helper: the host program's windows as another process sees them.
#include <windows.h>

#include <cstdlib>
#include <optional>

#include "tests/support/GuiProbe_win.h"

namespace velmora::test {

struct TWindowSearch {
  DWORD ProcessId;
  const char* Name;
  bool ByClass;
  HWND Found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char text[64] = {};
  if (s->ByClass)
    GetClassNameA(window, text, sizeof text);
  else
    GetWindowTextA(window, text, sizeof text);
  if (owner != s->ProcessId || !IsWindowVisible(window) || lstrcmpA(text, s->Name) != 0) return TRUE;
  s->Found = window;
  return FALSE;
}

// The first visible top-level window of a process whose caption or class is `name`.
inline HWND FindWindowOf(DWORD processId, const char* name, bool byClass) {
  TWindowSearch search{processId, name, byClass, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}
inline HWND FindMainWindowOf(DWORD processId) { return FindWindowOf(processId, "Velmora", false); }
inline HWND FindOpenMenuOf(DWORD processId) { return FindWindowOf(processId, "#32768", true); }

// The window answers the skin engine's "skinned?" query.
inline bool AnswersSkinned(HWND window) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, 0x3523, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) && answer == 1;
}

// Each channel within 2 of the expected one.
inline bool NearColour(std::optional<COLORREF> c, COLORREF expected) {
  if (!c) return false;
  for (int s : {0, 8, 16})
    if (std::abs(static_cast<int>((*c >> s) & 0xFF) - static_cast<int>((expected >> s) & 0xFF)) > 2) return false;
  return true;
}

}  // namespace velmora::test
