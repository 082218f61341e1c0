#include "exclog/sending/EWinSock.h"

namespace exclog {

std::string FuncNotFoundText(std::string_view name) {
  return "WinSock's function \"" + std::string(name) + "\" can not be found";
}

std::string ComposeSocketErrorText(std::string_view message, const TSocketLogs& logs) {
  const std::string errorLog = "Error log:\r\n" + logs.LastReceived;
  const size_t at = logs.SessionLog.empty() ? std::string_view::npos : message.find(logs.SessionLog);
  std::string text;
  if (at == std::string_view::npos) {
    text = std::string(message) + "\r\n\r\n" + errorLog + "\r\n\r\nSocket log:\r\n" + logs.SessionLog;
  } else if (at == 0) {
    text = errorLog + "\r\n\r\nSocket log:\r\n" + std::string(message);
  } else {
    text = std::string(message) + "\r\n\r\n" + errorLog;
  }
  return text + "\r\n\r\nDestination: " + logs.Host + ":" + std::to_string(logs.Port);
}

std::string LimitErrorText(std::string text) {
  constexpr size_t limit = 1024;
  if (text.size() > limit) {
    text.resize(limit);
    text += "...";
  }
  return text;
}

}  // namespace exclog
