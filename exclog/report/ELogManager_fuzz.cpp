// A log file is outside input: anything may have been written into it. Read it,
// look up and change fields, cut it into sections and export it as XML.
#include <cstddef>
#include <cstdint>
#include <string>

#include "exclog/report/ELogManager.h"
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
  log.Add(text, 3);
  log.FileText();
  log.AppendedFileText();
  return 0;
}
