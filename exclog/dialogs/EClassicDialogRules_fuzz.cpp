// Fuzz target: an e-mail address (first line) and a report (the rest). The check
// never accepts a control character, and the replacement changes nothing before
// the e-mail line's start nor from that line's end on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/dialogs/EClassicDialogRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\n');
  std::string email = input.substr(0, cut);
  std::string report = cut == std::string::npos ? "" : input.substr(cut + 1);
  if (exclog::IsPlausibleEmail(email))
    for (char c : email)
      if (static_cast<unsigned char>(c) < 0x20) std::abort();
  std::string out = exclog::ReplaceReportEmail(report, email);
  if (out == report) return 0;
  size_t line = report.find("\r\n  3.3 ");
  if (line == std::string::npos) std::abort();
  size_t end = report.find("\r\n", line + 2);
  if (end == std::string::npos) std::abort();
  std::string head = report.substr(0, line + 2), tail = report.substr(end);
  if (out.compare(0, head.size(), head) != 0) std::abort();
  if (out.size() < head.size() + tail.size() || out.compare(out.size() - tail.size(), tail.size(), tail) != 0)
    std::abort();
  if (out.find(email, head.size()) == std::string::npos) std::abort();
  return 0;
}
