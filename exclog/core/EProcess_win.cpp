#include "exclog/core/EProcess_win.h"

#include <climits>
#include <cstring>

#include "classlib/SysUtils.h"
#include "exclog/core/ECore_win.h"

namespace exclog {

namespace {

constexpr LONG_PTR ToolWindowStyle = WS_EX_TOOLWINDOW;    // 0x80
constexpr LONG_PTR AppWindowStyle = WS_EX_APPWINDOW;      // 0x40000

bool IsNeutralOwner(HWND owner) {
  return owner == nullptr || owner == GetDesktopWindow() || WindowClassName(owner) == "TApplication";
}

template <class F>
BOOL CALLBACK VisitTopWindow(HWND window, LPARAM data) {
  // No exception may leave this callback: EnumWindows runs it inside user32.
  try {
    return (*reinterpret_cast<F*>(data))(window) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

// Calls `visit(window)` for each top-level window until it returns false.
template <class F>
void ForEachTopWindow(F visit) {
  EnumWindows(&VisitTopWindow<F>, reinterpret_cast<LPARAM>(&visit));
}

DWORD WindowProcess(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return processId;
}

// A hidden window that owns the clipboard for one copy.
class TClipboardOwner {
 public:
  TClipboardOwner() {
    window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~TClipboardOwner() {
    if (window_) DestroyWindow(window_);
  }
  TClipboardOwner(const TClipboardOwner&) = delete;
  TClipboardOwner& operator=(const TClipboardOwner&) = delete;
  HWND Get() const { return window_; }

 private:
  HWND window_;
};

// A global block until the clipboard takes it.
class TGlobalBlock {
 public:
  explicit TGlobalBlock(size_t size) : block_(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size)) {}
  ~TGlobalBlock() {
    if (block_) GlobalFree(block_);
  }
  TGlobalBlock(const TGlobalBlock&) = delete;
  TGlobalBlock& operator=(const TGlobalBlock&) = delete;
  HGLOBAL Get() const { return block_; }
  HGLOBAL Release() {
    HGLOBAL block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  HGLOBAL block_;
};

std::string& StartDirectoryText() {
  static std::string folder;
  return folder;
}

}  // namespace

bool WindowHasArea(HWND window) {
  RECT rect;
  return GetWindowRect(window, &rect) && rect.right - rect.left > 0 && rect.bottom - rect.top > 0;
}

std::string WindowClassName(HWND window) {
  char name[256];
  int n = GetClassNameA(window, name, sizeof name);
  return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}

bool IsApplicationWindow(HWND window) {
  if (!IsWindowVisible(window) || !WindowHasArea(window)) return false;
  HWND owner = reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_HWNDPARENT));
  if (!IsNeutralOwner(owner) && (GetWindowLongPtrA(owner, GWL_EXSTYLE) & ToolWindowStyle) != 0)
    owner = reinterpret_cast<HWND>(GetWindowLongPtrA(owner, GWLP_HWNDPARENT));
  if (!IsNeutralOwner(owner)) return false;
  LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
  if ((exStyle & ToolWindowStyle) != 0 && (exStyle & AppWindowStyle) == 0) return false;
  return true;
}

HWND FirstApplicationWindow(DWORD processId) {
  HWND found = nullptr;
  ForEachTopWindow([&](HWND window) {
    if (WindowProcess(window) == processId && IsApplicationWindow(window)) {
      found = window;
      return false;
    }
    return true;
  });
  return found;
}

bool IsDesignTimeHost(DWORD processId) {
  bool found = false;
  ForEachTopWindow([&](HWND window) {
    if (WindowProcess(window) == processId && WindowClassName(window) == "TAppBuilder") found = true;
    return !found;
  });
  return found;
}

RECT ProcessWindowsBounds() {
  RECT bounds{LONG_MAX, LONG_MAX, LONG(0x80000001), LONG(0x80000001)};
  bool any = false;
  DWORD self = GetCurrentProcessId();
  ForEachTopWindow([&](HWND window) {
    RECT rect;
    if (WindowProcess(window) == self && IsWindowVisible(window) && GetWindowRect(window, &rect) &&
        rect.bottom - rect.top >= 1) {
      bounds.left = std::min(bounds.left, rect.left);
      bounds.top = std::min(bounds.top, rect.top);
      bounds.right = std::max(bounds.right, rect.right);
      bounds.bottom = std::max(bounds.bottom, rect.bottom);
      any = true;
    }
    return true;
  });
  if (!any) return RECT{-1, -1, -1, -1};
  return bounds;
}

bool WindowOfThisProcess(HWND window) { return WindowProcess(window) == GetCurrentProcessId(); }
bool WindowOfOtherProcess(HWND window) { return !WindowOfThisProcess(window); }

std::vector<HWND> ProcessWindows() {
  std::vector<HWND> windows;
  DWORD self = GetCurrentProcessId();
  ForEachTopWindow([&](HWND window) {
    if (WindowProcess(window) == self) windows.push_back(window);
    return true;
  });
  return windows;
}

bool CopyTextToClipboard(const std::string& text, HWND owner, DWORD waitMs) {
  if (text.empty()) return false;
  TClipboardOwner madeOwner;
  if (owner == nullptr) owner = madeOwner.Get();
  if (owner == nullptr) return false;

  TGlobalBlock block(text.size() + 1);
  if (!block.Get()) return false;
  void* memory = GlobalLock(block.Get());
  if (!memory) return false;
  std::memcpy(memory, text.c_str(), text.size() + 1);
  GlobalUnlock(block.Get());

  // Another program may hold the clipboard for a moment.
  DWORD start = GetTickCount();
  while (!OpenClipboard(owner)) {
    if (GetTickCount() - start >= waitMs) return false;
    Sleep(10);
  }
  bool placed = false;
  if (EmptyClipboard() && SetClipboardData(CF_TEXT, block.Get()) != nullptr) {
    block.Release();  // the clipboard owns it now
    placed = true;
  }
  CloseClipboard();
  return placed;
}

void SetStartDirectory(const std::string& folder) { StartDirectoryText() = folder; }
const std::string& StartDirectory() { return StartDirectoryText(); }

bool StartNewInstance() {
  // Marked, so the new instance waits for this one before taking its lock.
  std::string commandLine = RestartCommandLine(GetCommandLineA(), GetCurrentProcessId());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  PROCESS_INFORMATION process{};
  const std::string& folder = StartDirectory();
  BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                                folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  if (!started) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void WaitForReplacedInstance(DWORD waitMs) {
  DWORD old = RestartedFrom(GetCommandLineA());
  if (old == 0 || old == GetCurrentProcessId()) return;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, old);
  if (!process) return;  // already gone
  HANDLE waiting = CreateEventA(nullptr, TRUE, TRUE, RestartWaitEventName(GetCurrentProcessId()).c_str());
  WaitForSingleObject(process, waitMs);
  if (waiting) CloseHandle(waiting);
  CloseHandle(process);
}

std::string RestartWaitEventName(DWORD waitingProcessId) {
  return "VelmoraRestartWaits-" + std::to_string(waitingProcessId);
}

void EndProcess(bool restart) {
  if (restart) StartNewInstance();
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);  // not reached; TerminateProcess of the own process does not return
}

TUnitTable* UnitStartTable() {
  TUnitTable* table = nullptr;
  if (IsReadable(&InitContext, sizeof InitContext)) table = InitContext.Table;
  if (table != nullptr && IsReadable(table, sizeof *table) && table->UnitCount >= 1 &&
      table->UnitCount <= MaxUnits && table->Units != nullptr &&
      IsReadable(table->Units, sizeof(TUnitEntry) * static_cast<size_t>(table->UnitCount)))
    return table;
  OutputDebugStringA("Unknown RTL version");
  throw EAssertionFailed("Unknown RTL version");
}

}  // namespace exclog
