#pragma once
// RTF for the dialogs' rich-edit pages: the general part, the assembler listing and
// the CPU part of a report, each in its own colours. Pure: the dialog font and the
// pixel width of the dump's heading come in as arguments (ERtfRender_win.h measures
// them and streams the result into the control).
#include <string>
#include <string_view>

namespace exclog {

struct TRtfFont {
  int Charset = 0;
  std::string Name = "Courier New";
  int SizePoints = 8;
};

enum class TRtfPart { General, Assembler, Cpu };

// The colour numbers of the table every rendering carries.
enum TRtfColour : int {
  RtfTeal = 1, RtfBlack = 2, RtfDarkGrey = 3, RtfDarkBlue = 4, RtfDarkRed = 5,
  RtfGrey = 6, RtfDarkGreen = 7
};

// The document opening: RTF header, font table with the font's character set and
// name, the seven-colour table and the font size.
std::string RtfHeader(const TRtfFont& font);

// The report text `text` (CR LF lines) of `part` as a whole RTF document. `dashPixels`
// is the width in pixels of "---------------------" in the dialog font: the CPU
// part's tab stop lies 15 twips per pixel beyond it.
std::string RenderReportPartRtf(TRtfPart part, std::string_view text, const TRtfFont& font,
                                int dashPixels = 0);

// The coloured body lines alone (without header and closing brace), one per report
// line, each ending in "\\par" CR LF except a last line without line end.
std::string RtfGeneralBody(std::string_view text);
std::string RtfAssemblerBody(std::string_view text);
std::string RtfCpuBody(std::string_view text, int dashPixels);

}  // namespace exclog
