#include "exclog/report/EPlatform_win.h"

#include "exclog/core/ECore_win.h"
#include "exclog/report/ESysInfo_win.h"

namespace exclog {

bool HasFileName(HMODULE module) { return !ModuleLongFileName(module).empty(); }

std::string OwnModuleFileName() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnModuleFileName), &module);
  return ModuleLongFileName(module);
}

std::string CommandLineText() { return GetCommandLineA(); }

std::string TempFolder() {
  char path[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof path, path);
  return n > 0 && n < sizeof path ? std::string(path, n) : "";
}

bool Is95Before98() { return exclog::Is95Before98(CurrentVersion()); }
bool IsNTBefore2000() { return exclog::IsNTBefore2000(CurrentVersion()); }
bool IsVistaOrLater() { return exclog::IsVistaOrLater(CurrentVersion()); }
bool IsWorkstationSystem() { return IsWorkstation(CurrentVersion()); }

bool DebuggerAttached() {
  using TPresent = BOOL(WINAPI*)();
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto present = kernel ? reinterpret_cast<TPresent>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsDebuggerPresent")))
                        : nullptr;
  return present && present();
}

bool HandleValid(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return false;
  DWORD flags = 0;
  if (CurrentVersion().NT && GetHandleInformation(handle, &flags)) return true;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return false;
  CloseHandle(copy);
  return true;
}

bool ThreadAlive(HANDLE handle) {
  DWORD code = 0;
  return HandleValid(handle) && GetExitCodeThread(handle, &code) && code == STILL_ACTIVE;
}

uintptr_t StackTop() {
  // The thread information block's second word is the stack base (its top).
  uintptr_t top = 0;
#if defined(__i386__)
  __asm__ volatile("movl %%fs:4, %0" : "=r"(top));
#else
  top = reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
#endif
  return top;
}

__attribute__((noinline)) uintptr_t CurrentFrameAddress() { return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)); }

}  // namespace exclog
