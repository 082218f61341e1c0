#include "exclog/core/ERestart.h"

namespace exclog {

namespace {

// The marker's place: at the start of an argument (after a blank), else npos.
size_t MarkerAt(std::string_view commandLine) {
  for (size_t at = commandLine.find(RestartMarker); at != std::string_view::npos;
       at = commandLine.find(RestartMarker, at + 1))
    if (at > 0 && commandLine[at - 1] == ' ') return at;
  return std::string_view::npos;
}

}  // namespace

std::string RestartCommandLine(std::string_view commandLine, uint32_t processId) {
  std::string line(commandLine);
  for (size_t at = MarkerAt(line); at != std::string::npos; at = MarkerAt(line)) {
    size_t end = line.find(' ', at);
    // The blank before the marker goes with it.
    line.erase(at - 1, end == std::string::npos ? std::string::npos : end - (at - 1));
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + " " + std::string(RestartMarker) + std::to_string(processId);
}

uint32_t RestartedFrom(std::string_view commandLine) {
  size_t at = MarkerAt(commandLine);
  if (at == std::string_view::npos) return 0;
  uint64_t id = 0;
  size_t digits = 0;
  for (size_t i = at + RestartMarker.size(); i < commandLine.size() && commandLine[i] != ' '; ++i, ++digits) {
    char c = commandLine[i];
    if (c < '0' || c > '9') return 0;
    id = id * 10 + static_cast<uint64_t>(c - '0');
    if (id > 0xFFFFFFFFu) return 0;
  }
  return digits ? static_cast<uint32_t>(id) : 0;
}

}  // namespace exclog
