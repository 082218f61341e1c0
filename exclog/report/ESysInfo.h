#pragma once
// The values of a report's general part, pure half: every value is gathered by
// ESysInfo_win.h and turned into its text here, so the texts are tested from
// injected records. Also the process-wide values the report reads (start and
// exception times, the dialog's e-mail, the last exception message and type).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/SysUtils.h"

namespace exclog {

// What the system's version call reports; the one record every version test reads.
struct TVersionRecord {
  bool NT = true;
  uint32_t Major = 6;
  uint32_t Minor = 1;
  uint32_t Build = 7601;       // as reported (non-NT systems put more in the high word)
  std::string ServicePack;     // "Service Pack 1", "A", "B", ...
  uint8_t ProductType = 1;     // 1 workstation, 2 domain controller, 3 server
};

bool Is95Before98(const TVersionRecord& v);     // non-NT, minor below 10
bool IsNTBefore2000(const TVersionRecord& v);   // NT, major below 5
bool IsVistaOrLater(const TVersionRecord& v);   // NT, major 6 or more
bool IsWorkstation(const TVersionRecord& v);    // product type 1

// "Microsoft Windows 7", "... XP", "... 98 SE" ...; " (64 bit)" after an NT name
// when `wow64`.
std::string SystemNameText(const TVersionRecord& v, bool wow64);
// The build number; on non-NT systems its low 16 bits.
uint32_t BuildNumberOf(const TVersionRecord& v);

// The program's arguments: the first argument is skipped by the command line's own
// quoting rules (a quoted name up to its closing quote, else up to the first blank
// or tab), the rest trimmed.
std::string ParametersText(std::string_view commandLine);

// The operation word of an access violation's first information value.
std::string AccessKindWord(uint32_t kind);  // 0 "Read", 8 "Execution", others "Write"

// The rebuilt access-violation message (a "." is not yet appended).
struct TAccessViolation {
  uintptr_t Address = 0;          // where it happened
  uint32_t Kind = 0;              // first information value
  uintptr_t AccessAddress = 0;    // second information value
  bool InModule = false;          // committed region with a module file name
  std::string ModuleFileName;     // the module's name as the system gave it
  std::string ModuleLongName;     // its long path name
};
std::string AccessViolationMessage(const TAccessViolation& av, std::string_view originalMessage);

// Appends a "." unless the text ends with one.
std::string WithFinalDot(std::string_view text);

// Registered owner or organisation from the three places in order; "Microsoft"
// cleared on NT 6 and later.
std::string RegisteredName(const std::vector<std::string>& candidates, const TVersionRecord& v);

// One privilege line: the name padded (never cut) to 31 characters, " - ON" or
// " - OFF", CR LF.
std::string PrivilegeLine(std::string_view name, bool enabled);

// The processor text from the registry values.
std::string ProcessorText(std::string_view nameString, std::string_view vendor,
                          std::string_view identifier);

// "name (driver version - RAM n MB)", or without the RAM part when `memory` is 0.
std::string VideoCardText(std::string_view name, std::string_view version, uint64_t memory);

// Which way the video card is found on a system.
enum class TVideoRoute { DisplayDevicesNT, DisplayDevices98, Class95, Devicemap4, None };
TVideoRoute VideoRouteFor(const TVersionRecord& v, bool hasEnumDisplayDevices);

// A name stored as UTF-16 in raw bytes: the zero bytes are dropped.
std::string WithoutZeroBytes(std::string_view bytes);

// "name (driver version)" with every blank of the version removed; "" when either
// is empty.
std::string PrinterText(std::string_view name, std::string_view version);
// The printer name of a "device" profile entry: its first comma-separated field,
// leading blanks skipped.
std::string ProfilePrinterName(std::string_view deviceEntry);

// Whole megabytes, rounded, + " Mb"; gigabytes as "0.##" + " Gb".
std::string MegabytesText(uint64_t bytes);
std::string GigabytesText(uint64_t bytes);

std::string DisplayModeText(int width, int height, int bits);

// The locale id of a locale string of the locale enumeration (characters 5 to 8 as
// hexadecimal); nothing when they are not hexadecimal.
std::optional<uint32_t> LocaleIdOf(std::string_view localeString);

// --- Network ------------------------------------------------------------------

struct TAdapterRecord {
  bool Dhcp = false;
  std::string Address, Mask, Gateway;
  bool DnsKnown = false;             // the per-adapter call succeeded
  std::vector<std::string> Dns;      // its servers in order
};

struct TNetworkTexts {
  std::string Address, Mask, Gateway, Dns1, Dns2, Dhcp;
};

// Each dotted part left-filled with "0" to three digits; "" gives "000.000.000.000".
std::string PaddedAddress(std::string_view address);
// The six texts, one entry per adapter joined by " - "; all empty without adapters.
TNetworkTexts NetworkTexts(const std::vector<TAdapterRecord>& adapters);

// --- Process-wide values ------------------------------------------------------

// Local time at which the logger started (0 before the start).
void SetLoggerStartTime(TDateTime time);
TDateTime LoggerStartTime();
// Set by the dispatch for the exception being reported (local time).
void SetExceptionTime(TDateTime time);
TDateTime ExceptionTime();
// The address the user typed in the dialog; "" until the dialog sets it.
void SetDialogEmail(const std::string& email);
std::string DialogEmail();
void SetLastExceptionMessage(const std::string& text);
std::string LastExceptionMessage();
void SetLastExceptionType(const std::string& text);
std::string LastExceptionType();

}  // namespace exclog
