#pragma once
// Pure helpers the whole logger shares: %variable% expansion, log file names,
// version-text comparison, text splitting and number texts, UTF conversions and
// byte-order marks. Everything that needs the system (environment, clock, folders)
// is passed in; the Win32 glue in ECore_win.h looks it up.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

// Where ExpandVariables takes its values from.
struct TVariableSource {
  // Value of the environment variable `name` ("" when unset).
  std::function<std::string(const std::string& name)> Environment;
  // Today's date, the time and the current directory in the system's short formats,
  // used when the environment has no variable "date", "time" or "cd".
  std::function<std::string()> Date;
  std::function<std::string()> Time;
  std::function<std::string()> CurrentDirectory;
};

// True for 0-9, A-Z, a-z and '_'.
bool IsVariableNameChar(char c);

// Replaces each "%NAME%" (NAME: one or more variable-name characters) by the value
// `source` gives; an unknown variable becomes "". Scanning resumes after an inserted
// value, so values are never expanded twice. Other percent signs are kept.
std::string ExpandVariables(std::string_view text, const TVariableSource& source);

// Computer name as used inside a file name: at most 15 characters, each of
// "*/:<>?\| and the double quote replaced by '_'.
std::string ComputerNameForFile(std::string_view computerName);

// File-name parts with '\\', '/' and ':' as separators (the program's paths are
// Windows paths on every build).
std::string ExtractFileName(std::string_view path);
// A name with a "?" (a prefixed path such as "\\??\\C:\\x") cut to start one character
// before the first ":" after the "?"; other names unchanged.
std::string CutDevicePrefix(std::string_view name);
std::string ExtractFileDir(std::string_view path);       // without trailing separator
std::string ExtractFileExt(std::string_view path);       // with the dot, "" when none
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeBackslash(std::string_view path);
std::string ExcludeBackslash(std::string_view path);

// The log file's path before the folder is created and tested:
// `name` (or, when empty, `moduleFileName` without ".vshost") gets the extension
// ".qlf"; a `logFolder` whose extension is ".qlf" (any case) is the whole name,
// else the folder is `logFolder` (or the name's own folder when empty). With
// `computerName` set, "_" and ComputerNameForFile(*computerName) go before the
// extension.
std::string BuildLogFileName(std::string_view name, std::string_view moduleFileName,
                             std::string_view logFolder,
                             const std::optional<std::string>& computerName);

// Splits at any character of `separators`; optionally trims spaces and control
// characters from each piece and drops empty pieces.
std::vector<std::string> SplitText(std::string_view text, std::string_view separators,
                                   bool trim, bool keepEmpty);

// Number texts with '.' as decimal separator whatever the locale.
std::string FloatToDotText(double value);
// Throws std::invalid_argument when `text` is not a whole number text.
double DotTextToFloat(std::string_view text);

// Each dot-separated part left-padded with '0' to 5 characters (a part holding a
// space pads the piece before the space and keeps the rest); parts up to four
// added as "00000".
std::string NormalizeVersion(std::string_view version);

// True when both are non-empty and `newVersion` sorts after `oldVersion` once both
// are normalised.
bool IsNewerVersion(std::string_view oldVersion, std::string_view newVersion);

// Whole hours between local and universal time, given both as day counts.
int UtcOffsetHours(double localNow, double utcNow);

// UTF-16 to UTF-8. Surrogate pairs become 4-byte sequences; a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The same into a caller's buffer: writes whole characters only, always ends with
// a zero byte when `size` > 0, and returns the bytes written before that zero.
size_t Utf16ToUtf8(std::u16string_view text, char* buffer, size_t size);

// UTF-8 to UTF-16; invalid or truncated sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

enum class TByteOrderMark { None, Utf16LE, Utf16BE, Utf8 };

// The mark at the start of `bytes`, checked in the order FF FE, FE FF, EF BB BF.
TByteOrderMark DetectByteOrderMark(std::string_view bytes);

// The text after a byte-order mark as UTF-16 (an odd trailing byte of UTF-16 data is
// dropped); nothing when `bytes` carries no mark.
std::optional<std::u16string> DecodeMarkedText(std::string_view bytes);

}  // namespace exclog
