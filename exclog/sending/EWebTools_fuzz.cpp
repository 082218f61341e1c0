// Fuzz target: a URL from the options or a redirect, taken apart, and the object
// a redirect to it leads to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/sending/EWebTools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace exclog;
  std::string url(reinterpret_cast<const char*>(data), size);
  TUrlParts u = SplitUrl(url);
  if (u.Port > 65535) std::abort();
  if (u.Directory.empty() || u.Directory.front() != '/' || u.Directory.back() != '/') std::abort();
  if (u.Page.find('/') != std::string::npos || u.Page.find('?') != std::string::npos) std::abort();
  if (u.Host.size() + u.Directory.size() + u.Page.size() + u.Query.size() > url.size() + 1) std::abort();
  uint32_t port = DefaultPort(u);
  if (port == 0 || port > 65535) std::abort();
  std::string object = RedirectObject("/base/", url);
  if (object.size() > url.size() + 7) std::abort();
  std::string encoded = UrlEncode(url);
  if (encoded.size() < url.size() || encoded.size() > 3 * url.size()) std::abort();
  auto target = RedirectTarget(200, "", url);
  if (target && target->size() > url.size()) std::abort();
  return 0;
}
