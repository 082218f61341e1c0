#pragma once
// The values of a report's general part, gathered from the system. Every function
// returns the value's text (ESysInfo.h makes the texts), an empty text or the stated
// replacement when the system cannot tell, and never raises. Functions older systems
// lack are looked up by name; registry keys are opened for reading and closed; a
// system library loaded for a value stays loaded for the next report.
#include <windows.h>

#include <optional>
#include <string>

#include "classlib/SysUtils.h"
#include "exclog/report/ESysInfo.h"

namespace exclog {

// The version record every version test reads: the system's, or the one a test
// injected (nothing: back to the system's).
TVersionRecord CurrentVersion();
void InjectVersion(const std::optional<TVersionRecord>& record);
// A 32-bit process on a 64-bit system.
bool IsWow64();

// Minutes local time is ahead of universal time now, daylight saving included.
int LocalOffsetMinutes();
// DateText with the current offset.
std::string LocalDateText(TDateTime local);
// Local now (GetLocalTime).
TDateTime LocalNow();

// --- Program ----------------------------------------------------------------------
std::string StartDateText();               // the logger's start time
std::string NameDescriptionText(HMODULE module);  // file name [+ " - (" description ")"]
std::string ModuleVersionText(HMODULE module);
std::string ParametersValue();              // from GetCommandLineA
// The link time of `module` from its header, in local time; 0 when unknown.
TDateTime ModuleBuildTime(HMODULE module);
std::string CompilationDateText(HMODULE module);
std::string UpTimeText();                   // now - start

// --- Exception --------------------------------------------------------------------
std::string ExceptionDateText();            // ExceptionTime(), "" before one
std::string AddressValue(uintptr_t address);  // "%.8X"; "" for 0
// The module holding `address`: file name [+ " - (" description ")"], and its version.
std::string ModuleNameAtText(uintptr_t address);
std::string ModuleVersionAtText(uintptr_t address);
// Type and message of the exception object `object` (may be garbage); both are also
// stored as the last exception type and message.
std::string ExceptionTypeValue(const void* object);
std::string ExceptionMessageValue(const void* object);

// --- User and window --------------------------------------------------------------
std::string UserIdText();
std::string RegisteredOwnerText();
std::string RegisteredOrganizationText();
std::string PrivilegesText();
std::string ForegroundClassText();
std::string ForegroundWindowText();

// --- Computer and system ----------------------------------------------------------
std::string ComputerNameText();
std::string TotalMemoryText();
std::string FreeMemoryText();
std::string TotalDiskText();                // drive of the program file
std::string FreeDiskText();
std::string SystemUpTimeText();
std::string ProcessorValue();
std::string DisplayModeValue();
std::string DisplayDpiValue();
std::string VideoCardValue();
std::string PrinterValue();
std::string OsTypeValue();
std::string BuildNumberValue();
std::string UpdateValue();
std::string LanguageValue();
// The character set of the user locale's default ANSI code page; 0 when unknown.
int GetLocaleCharset();
std::string CharsetValue();
// The product version of a file's version resource ("" when shorter than 2).
std::string FileProductVersion(const std::string& fileName);

// --- Network ----------------------------------------------------------------------
TNetworkTexts NetworkValues();

}  // namespace exclog
