#pragma once
// Hand-written log fixtures (tests/data/logs), kept with LF line ends in the
// repository and read with CR LF, as the logger writes them.
#include <fstream>
#include <sstream>
#include <string>

namespace exclog::test {

inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The fixture's text with CR LF line ends, without its final line end.
inline std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/data/logs/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string s = Crlf(text.str());
  if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0) s.resize(s.size() - 2);
  return s;
}

}  // namespace exclog::test
