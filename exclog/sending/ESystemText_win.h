#pragma once
// The system's own text for an error code, as the senders' failures quote it.
#include <string>

namespace exclog {

// FormatMessage's text, trimmed; "System error N" when the system has none.
std::string SystemErrorText(unsigned long code);

}  // namespace exclog
