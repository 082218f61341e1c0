#pragma once
// Texts and state of the logger's own error and warning reports: the progress
// code, the last internal warning, the debugger lines, the ".log" text, and the
// address and call-stack texts they carry. Pure: locations come in as records.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

// The logger version the reports name.
constexpr const char* LoggerVersionText = "6.1.04";

// The step the report builder is at; an internal-error report prints it as its
// section when no section name is given.
void SetProgressCode(uint32_t code);
uint32_t ProgressCode();

struct TInternalWarning {
  uint8_t Code = 0;
  std::string Message;
};
void SetLastInternalWarning(const TInternalWarning& warning);
TInternalWarning LastInternalWarning();
void ClearLastInternalWarning();

// The name of a warning code in the debugger line ("Code 12" for unknown codes).
std::string WarningCodeName(uint8_t code);
// Whether an internal warning shows its "Error." box.
bool WarningShowsBox(uint8_t code, bool warningsOn, bool windowedProcess);

// "[ERROR] - Section: ... - Address: XXXXXXXX - Message: \"...\"".
std::string InternalErrorDebugLine(std::string_view section, uintptr_t address, std::string_view message);
// "[WARNING] - Code: ... - Address: XXXXXXXX - Message: \"...\"".
std::string InternalWarningDebugLine(uint8_t code, uintptr_t address, std::string_view message);

// Each byte as "$" + two hexadecimal digits + a blank.
std::string DumpBytesText(const std::vector<uint8_t>& bytes);

// A code location as the call-stack walker resolves it.
struct TCodeLocation {
  uintptr_t Address = 0;
  uintptr_t Module = 0;
  std::string ModuleName, UnitName, ClassName, ProcedureName;
  uint32_t Line = 0;       // 0: unknown
  uint32_t LineOffset = 0;
};

// "$xxxxxxxx - [xxxxxxxx] module - unit - class - procedure - line[offset]".
std::string AddressTextOf(const TCodeLocation& location);
// One line per entry ("NN $address - [module] name" and, with a known line,
// " - unit - class - procedure - line[offset]"), lines after the first indented by
// 12 blanks.
std::string CallStackTextOf(const std::vector<TCodeLocation>& stack);

struct TInternalErrorFields {
  std::string Date, Os, Environment, Dump, Section, LastException, Address, ClassName, Message, CallStack;
};
// The eleven labelled lines of the ".log" file.
std::string InternalErrorText(const TInternalErrorFields& f);

// The texts of the boxes.
std::string InternalBugQuestion(std::string_view message, std::string_view fileName);
std::string SendByHandText(std::string_view fileName, std::string_view address);

}  // namespace exclog
