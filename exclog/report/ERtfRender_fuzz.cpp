// Report texts carry foreign messages and memory: the RTF rendering of every part
// and the text helpers over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "exclog/report/ERtfRender.h"
#include "exclog/report/ESysInfo.h"
#include "exclog/core/ETextFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace exclog;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TRtfFont font;
  for (TRtfPart part : {TRtfPart::General, TRtfPart::Assembler, TRtfPart::Cpu})
    RenderReportPartRtf(part, text, font, 100);
  OneLine(text);
  PrintableText(text);
  HtmlEscape(text);
  ParametersText(text);
  PaddedAddress(text);
  LocaleIdOf(text);
  ProfilePrinterName(text);
  return 0;
}
