// The XML log on disk: a text log's entries written as XML.
#pragma once

#include <string>

#include "exclog/core/EOptions.h"
#include "exclog/report/ELogManager_win.h"

namespace exclog {

// Writes the XML of every entry of `log` to `xmlFile` through a temporary file
// that replaces it, so a process killed meanwhile never leaves it empty or cut.
bool ExportLogXml(const TLogFile& log, const std::string& xmlFile);

// The XML log for `options` (with bit 3 of ProcessFlags): the log copy in the
// temporary folder, else the log itself, as XML in the temporary folder. Returns
// the XML file's name, "" when none was written.
std::string ExportXmlLog(const TQuelbaModuleOptions& options, const std::string& passPhrase);

// The XML reads bytes 128-255 in the system's ANSI code page from now on.
void UseSystemAnsiCodePage();

}  // namespace exclog
