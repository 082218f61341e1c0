#include "exclog/report/ERtfRender.h"

#include <gtest/gtest.h>

#include "classlib/SysUtils.h"
#include "tests/support/ReportPartSamples.h"
#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

using namespace velmora::test;

TEST(RtfRender, HeaderAndEachPartEqualHandWrittenGoldens) {
  TRtfFont font{238, "Courier New", 9};
  EXPECT_EQ(RtfHeader(font),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset238 Courier New;}}\r\n"
            "{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;\\red0\\green0\\blue160;"
            "\\red160\\green0\\blue0;\\red80\\green80\\blue80;\\red0\\green100\\blue0;}\r\n"
            "\\f0\\fs18\r\n");
  EXPECT_EQ(RtfGeneralBody(kGeneral),
            "\\cf1\\b QuelbaLog 6.1.04\\b0\\par\r\n"
            "\\par\r\n"
            "\\cf3\\b Application:\\b0\\par\r\n"
            "\\cf3 ------------\\par\r\n"
            "\\cf2   1.1 Start Date : \\cf4 Mon, 7 Dec 2026\\par\r\n"
            "\\cf2   1.2 Name \\{x\\}   : \\cf4 C:\\\\a\\\\b.exe\\par\r\n"
            "\\cf4                    more\\par\r\n");
  EXPECT_EQ(RtfAssemblerBody(kAssembler),
            "\\cf6 ; Unit1 (Line=12)\\par\r\n"
            "\\cf6 ; ---------------\\par\r\n"
            "\\cf5 0040102A \\cf4\\b  mov\\b0\\cf7  eax, [ebx]     \\cf6 ; <-- EXCEPTION\\par\r\n"
            "\\cf5 0040102D \\cf4\\b  ret\\b0");
  EXPECT_EQ(RtfCpuBody(kCpu, 110),
            "\\cf3\\b Registers:\\cf2\\b0\\par\r\n"
            "\\cf3 -----------------------------\\cf2\\par\r\n"
            "EAX: \\cf4 0012FF00\\cf2    EDI: \\cf4 00000001\\cf2 \\par\r\n"
            "EBX: \\cf4 7FFDF000\\cf2    ESI: \\cf4 00000000\\cf2 \\par\r\n"
            "ECX: \\cf4 00000000\\cf2    ESP: \\cf4 0012FF00\\cf2 \\par\r\n"
            "EDX: ????       EIP: \\cf4 00401000\\cf2 \\par\r\n"
            "\\par\r\n"
            "\\pard\\tx1650\\cf3\\b Stack:\\tab Memory Dump:\\cf2\\b0\\par\r\n"
            "------------------\\tab ----------\\par\r\n"
            "0012FF00: \\cf4 00401000\\cf2 \\tab 00401000: \\cf4 5C 7B 7D 41 42 43 00 01 7E 7F 20 30 31 32 33 34  "
            "\\cf5 \\\\\\{\\}ABC..~. 01234\\cf2 \\par\r\n");
  std::string whole = RenderReportPartRtf(TRtfPart::Assembler, kAssembler, font);
  EXPECT_EQ(whole, RtfHeader(font) + RtfAssemblerBody(kAssembler) + "}");
}

#ifndef _WIN32
std::string Words(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// unrtf reads our documents back: the text of every part, and the colours at known
// places of its HTML rendering.
TEST(RtfRender, UnrtfReadsBackTextAndColours) {
  peers::TScratchDir dir;
  TRtfFont font{0, "Courier New", 8};
  struct {
    TRtfPart Part;
    const char* Text;
  } parts[] = {{TRtfPart::General, kGeneral}, {TRtfPart::Assembler, kAssembler}, {TRtfPart::Cpu, kCpu}};
  for (const auto& p : parts) {
    std::string file = dir / "part.rtf";
    std::string rtf = RenderReportPartRtf(p.Part, p.Text, font, 110);
    peers::WriteBytes(file, std::vector<uint8_t>(rtf.begin(), rtf.end()));
    auto text = peers::Run("unrtf --nopict --text " + peers::Quote(file) + " 2>/dev/null | grep -v '^###'");
    ASSERT_EQ(text.ExitCode, 0) << text.Output;
    // unrtf starts with a rule of its own and writes each run of blanks, tabs and
    // line ends as it lays the text out: words and their order are what it read.
    const std::string rule = "-----------------\n";
    ASSERT_NE(text.Output.find(rule), std::string::npos) << text.Output;
    std::string got = text.Output.substr(text.Output.find(rule) + rule.size());
    EXPECT_EQ(Words(got), Words(p.Text));
  }
  auto html = [&](TRtfPart part, const char* text) {
    std::string file = dir / "colours.rtf";
    std::string rtf = RenderReportPartRtf(part, text, font, 110);
    peers::WriteBytes(file, std::vector<uint8_t>(rtf.begin(), rtf.end()));
    auto r = peers::Run("unrtf --nopict --html " + peers::Quote(file) + " 2>/dev/null");
    EXPECT_EQ(r.ExitCode, 0);
    return r.Output;
  };
  // The colour of a piece of text is the font colour unrtf opens right before it.
  std::string general = html(TRtfPart::General, kGeneral);
  EXPECT_NE(general.find("#006464\"><b>QuelbaLog 6.1.04"), std::string::npos) << general;
  EXPECT_NE(general.find("#282828\"><b>Application:"), std::string::npos) << general;
  EXPECT_NE(general.find("#000000\"> 1.1 Start Date : </font><font color=\"#0000a0\">Mon"), std::string::npos);
  std::string assembler = html(TRtfPart::Assembler, kAssembler);
  EXPECT_NE(assembler.find("#a00000\">0040102A </font><font color=\"#0000a0\"><b> mov</b></font>"
                           "<font color=\"#006400\"> eax, [ebx] </font><font color=\"#505050\">; &lt;-- EXCEPTION"),
            std::string::npos) << assembler;
  std::string cpu = html(TRtfPart::Cpu, kCpu);
  EXPECT_NE(cpu.find("#0000a0\">0012FF00"), std::string::npos) << cpu;
  EXPECT_NE(cpu.find("#a00000\">\\{}ABC"), std::string::npos) << cpu;
  EXPECT_NE(cpu.find("#282828\"><b>Registers:"), std::string::npos) << cpu;
}
#endif

}  // namespace
}  // namespace exclog
