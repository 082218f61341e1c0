#include "exclog/report/EInternalError.h"

#include <atomic>
#include <mutex>

#include "classlib/SysUtils.h"

namespace exclog {

namespace {

std::atomic<uint32_t> progressCode{0};
std::mutex warningLock;
TInternalWarning& LastWarning() {
  static auto* warning = new TInternalWarning;
  return *warning;
}

}  // namespace

void SetProgressCode(uint32_t code) { progressCode.store(code); }
uint32_t ProgressCode() { return progressCode.load(); }

void SetLastInternalWarning(const TInternalWarning& warning) {
  std::lock_guard<std::mutex> lock(warningLock);
  LastWarning() = warning;
}

TInternalWarning LastInternalWarning() {
  std::lock_guard<std::mutex> lock(warningLock);
  return LastWarning();
}

void ClearLastInternalWarning() { SetLastInternalWarning({}); }

std::string WarningCodeName(uint8_t code) {
  static const char* const names[] = {"General",        "Options",       "Module data",  "Call stack",
                                      "Report text",    "Log file",      "Dialog",       "Sending",
                                      "Screenshot",     "Attachments"};
  return code < sizeof names / sizeof names[0] ? names[code] : "Code " + std::to_string(code);
}

bool WarningShowsBox(uint8_t code, bool warningsOn, bool windowedProcess) {
  return warningsOn && windowedProcess && code >= 5 && code <= 9;
}

std::string InternalErrorDebugLine(std::string_view section, uintptr_t address, std::string_view message) {
  return Format("[ERROR] - Section: %s - Address: %.8X - Message: \"%s\"", section, address, message);
}

std::string InternalWarningDebugLine(uint8_t code, uintptr_t address, std::string_view message) {
  return Format("[WARNING] - Code: %s - Address: %.8X - Message: \"%s\"", WarningCodeName(code), address, message);
}

std::string DumpBytesText(const std::vector<uint8_t>& bytes) {
  std::string out;
  for (uint8_t b : bytes) out += Format("$%.2X ", b);
  return out;
}

std::string AddressTextOf(const TCodeLocation& l) {
  return Format("$%.8x - [%.8x] %s - %s - %s - %s - %s[%s]", l.Address, l.Module, l.ModuleName, l.UnitName,
                l.ClassName, l.ProcedureName, std::to_string(l.Line), std::to_string(l.LineOffset));
}

std::string CallStackTextOf(const std::vector<TCodeLocation>& stack) {
  std::string out;
  for (size_t i = 0; i < stack.size(); ++i) {
    const TCodeLocation& l = stack[i];
    if (i > 0) out += std::string(12, ' ');
    std::string where = l.Line ? Format("- %s - %s - %s - %s[%s]", l.UnitName, l.ClassName, l.ProcedureName,
                                        std::to_string(l.Line), std::to_string(l.LineOffset))
                               : "";
    out += Format("%.2X $%.8x - [%.8x] %s %s\r\n", static_cast<uint32_t>(i & 0xFF), l.Address, l.Module,
                  l.ModuleName, where);
  }
  return out;
}

std::string InternalErrorText(const TInternalErrorFields& f) {
  return Format(
      "Version   : %s\r\nDate      : %s\r\nOS        : %s\r\nRAD       : %s\r\nDump      : %s\r\nSection   : %s\r\n"
      "LastExcept: %s\r\nAddress   : %s\r\nException : %s\r\nMessage   : %s\r\nCall Stack: %s",
      LoggerVersionText, f.Date, f.Os, f.Environment, f.Dump, f.Section, f.LastException, f.Address, f.ClassName,
      f.Message, f.CallStack);
}

std::string InternalBugQuestion(std::string_view message, std::string_view fileName) {
  std::string text = Format(
      "Error: '%s'\r\n\r\nThis is an internal QuelbaLog bug.\r\nDo you want to send the bug information to QuelbaLog "
      "author?",
      message);
  if (!fileName.empty()) text += Format("\r\n\r\nThe bug information was saved in \"%s\".", fileName);
  return text;
}

std::string SendByHandText(std::string_view fileName, std::string_view address) {
  return Format("The mail client could not be reached.\r\nPlease send the file \"%s\" by hand to %s.", fileName,
                address);
}

}  // namespace exclog
