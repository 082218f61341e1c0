#include "exclog/hooks/EHook.h"

namespace exclog {

std::string ProcNullMessage(const std::string& name) {
  return "Cannot hook a null procedure (\"" + name + "\").";
}

std::string HookingErrorMessage(const std::string& name) {
  return "Cannot hook the procedure \"" + name + "\".";
}

std::string SharedAreaMessage(const std::string& name) {
  return "Cannot hook the module \"" + name + "\" located into the shared-area.";
}

}  // namespace exclog
