#include "exclog/sending/ESystemText_win.h"

#include <windows.h>

#include "classlib/SysUtils.h"

namespace exclog {

std::string SystemErrorText(unsigned long code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? Trim(std::string(text, n)) : "System error " + std::to_string(code);
  if (text) LocalFree(text);
  return out;
}

}  // namespace exclog
