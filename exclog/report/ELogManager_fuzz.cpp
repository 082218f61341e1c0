// A log file is outside input: anything may have been written into it. Read it,
// look up and change fields, cut it into sections and export it as XML. The names
// of files beside it are outside input too: read them as a writer's temporaries.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>

#include "exclog/report/ELogManager.h"
#include "exclog/report/EReportFiles.h"
#include "exclog/report/EXMLBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace exclog;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TLogEntries log;
  log.Load(text);
  log.FindEntry({"2.7"}, {"1234ABCD"});
  for (int i = 0; i < log.Count() && i < 4; ++i) {
    log.Sections(i);
    std::string count = log.FieldValue("2.8", i);
    log.SetFieldValue("2.8", NextCount(count), i, "Count");
    log.SetFieldValue("3.5", "a: b\r\n\r\nc", i, "Privileges");
  }
  LogToXml(log, size % 2 ? "secret" : "");
  // A name it takes for a writer's temporary names that writer again when made.
  const std::string name = text.substr(0, std::min<size_t>(text.size(), 260));
  const std::string base = name.substr(0, name.size() / 2);
  if (auto id = TemporaryWriterId("C:\\Logs\\" + base, name)) {
    if (base.find_first_of("\\/") == std::string::npos && TemporaryWriterId(base, TemporaryFileName(base, *id)) != id)
      __builtin_trap();
  }
  log.Add(text, 3);
  log.FileText();
  log.AppendedFileText();
  return 0;
}
