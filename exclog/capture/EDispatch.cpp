#include "exclog/capture/EDispatch.h"

#include "classlib/SysUtils.h"

namespace exclog {

bool PumpDropsMessage(uint32_t message) {
  return (message >= 0xA1 && message <= 0xA9) || (message >= 0x100 && message <= 0x102) ||
         (message >= 0x104 && message <= 0x106) || (message >= 0x201 && message <= 0x209);
}

bool PumpingAllowed(bool stackOverflow, uint32_t displayFlags) {
  if (stackOverflow) return false;
  return !((displayFlags & DisplayNoPumpWithoutDialog) && !(displayFlags & DisplayPumpAnyway));
}

bool ReportOnSameThread(bool sameThreadFlag, bool stackOverflow, bool memoryLeak) {
  if (stackOverflow) return false;
  return sameThreadFlag || memoryLeak;
}

std::string FocusedControlText(const std::string& className, uint32_t style, const std::string& text) {
  std::string upper = UpperCase(className);
  bool edit = upper.find("EDIT") != std::string::npos;
  if ((edit || upper.find("MEMO") != std::string::npos) && (style & EditMultiLineStyle)) return "";
  if (edit && (style & EditPasswordStyle)) return std::string(text.size(), '*');
  return text;
}

}  // namespace exclog
