// Fuzz target: arbitrary datagrams to the MX reply reader. A name it returns is a
// host name: dot-separated labels of printable characters, at most 255 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/sending/EDns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = exclog::ParseMxReply(data, size);
  if (name.size() > 255) std::abort();
  for (char c : name) {
    if (c <= 32 || c >= 127) std::abort();
  }
  if (!name.empty() && (name.front() == '.' || name.back() == '.' || name.find("..") != std::string::npos)) std::abort();
  return 0;
}
