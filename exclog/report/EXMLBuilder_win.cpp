#include "exclog/report/EXMLBuilder_win.h"

#include <windows.h>

#include <array>
#include <cstdint>

#include "exclog/report/EReportFiles_win.h"
#include "exclog/report/EXMLBuilder.h"

namespace exclog {

bool ExportLogXml(const TLogFile& log, const std::string& xmlFile) {
  return ReplaceFileText(xmlFile, LogToXml(log, log.PassPhrase));
}

std::string ExportXmlLog(const TQuelbaModuleOptions& options, const std::string& passPhrase) {
  TReportFilesInput in = ReportFilesInput(options);
  std::string xmlFile = XmlLogFileName(in);
  if (xmlFile.empty()) return "";
  // Only sending puts the copy in the temporary folder: without it, the log itself.
  std::string source = LogCopyFileName(in);
  if (GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES) source = in.LogFile;
  TLogFile log(source, true);
  log.PassPhrase = passPhrase;
  return ExportLogXml(log, xmlFile) ? xmlFile : "";
}

void UseSystemAnsiCodePage() {
  std::array<uint16_t, 128> table{};
  for (int i = 0; i < 128; ++i) {
    char byte = static_cast<char>(128 + i);
    wchar_t wide = 0;
    table[static_cast<size_t>(i)] =
        MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) == 1 ? static_cast<uint16_t>(wide) : static_cast<uint16_t>(128 + i);
  }
  SetAnsiUpperHalf(table);
}

}  // namespace exclog
