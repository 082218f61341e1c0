#pragma once
// Shared by the listing's tests: the lines of a listing text, CR LF or LF.
#include <sstream>
#include <string>
#include <vector>

namespace exclog::test {

inline std::vector<std::string> ListingLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

}  // namespace exclog::test
