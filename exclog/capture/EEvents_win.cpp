#include "exclog/capture/EEvents_win.h"

#include <windows.h>

#include "exclog/debuginfo/EModules_win.h"

namespace exclog {

TQuelbaModuleOptions* CurrentQuelbaLogOptions() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&CurrentQuelbaLogOptions), &module);
  char name[MAX_PATH + 1] = {};
  GetModuleFileNameA(module, name, MAX_PATH);
  TQuelbaModulesList& list = ModulesList();
  TQuelbaModuleOptions* options = nullptr;
  bool listed = false;
  {
    TCriticalSectionLock hold(list.Section());
    int index = list.IndexOfHandle(reinterpret_cast<uintptr_t>(module));
    if (index >= 0) {
      listed = true;
      options = list.Get(index)->Options.get();
    }
  }
  return CheckedCurrentOptions(listed, options, name);
}

}  // namespace exclog
