#include "exclog/report/ERtfRender.h"

#include <cctype>
#include <functional>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/core/ETextFormat.h"

namespace exclog {

namespace {

// Escapes one line (no CR LF inside) for RTF.
std::string Esc(std::string_view piece) { return RtfEscape(piece); }

// Splits at CR LF; `lastHasEnd` tells whether the text ended with one.
std::vector<std::string_view> SplitLines(std::string_view text, bool& lastHasEnd) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  lastHasEnd = false;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  lastHasEnd = !text.empty();
  return lines;
}

std::string RenderLines(std::string_view text,
                        const std::function<std::string(std::string_view, size_t)>& line) {
  bool lastHasEnd = false;
  std::vector<std::string_view> lines = SplitLines(text, lastHasEnd);
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < lines.size(); ++i) {
    out += line(lines[i], i);
    if (i + 1 < lines.size() || lastHasEnd) out += "\\par\r\n";
  }
  return out;
}

bool IsRule(std::string_view line) {
  return !line.empty() && line.find_first_not_of('-') == std::string_view::npos;
}

bool IsHex8(std::string_view s) {
  if (s.size() != 8) return false;
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Column layout of a dump line (see the report's CPU part): 0-7 stack address,
// 8-9 ": ", 10-17 value, 18-20 three blanks, 21-28 memory address, 29-30 ": ",
// 31-78 sixteen "XX " groups, 79 a blank, 80-95 the characters.
std::string DumpLine(std::string_view line) {
  if (line.size() < 21 || line.substr(18, 3) != "   ") return Esc(line);
  std::string out = Esc(line.substr(0, 10)) + "\\cf4 " + Esc(line.substr(10, 8)) + "\\cf2 \\tab ";
  std::string_view rest = line.substr(21);
  if (rest.size() < 10) return out + Esc(rest);
  out += Esc(rest.substr(0, 10)) + "\\cf4 ";
  rest = rest.substr(10);
  const size_t hexEnd = std::min<size_t>(rest.size(), 49);  // 48 hex columns and the blank
  out += Esc(rest.substr(0, hexEnd));
  if (rest.size() > hexEnd) out += "\\cf5 " + Esc(rest.substr(hexEnd));
  return out + "\\cf2 ";
}

}  // namespace

std::string RtfHeader(const TRtfFont& font) {
  return Format(
             "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset%d %s;}}\r\n",
             font.Charset, font.Name) +
         "{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;"
         "\\red0\\green0\\blue160;\\red160\\green0\\blue0;\\red80\\green80\\blue80;\\red0\\green100\\blue0;}\r\n" +
         "\\f0\\fs" + std::to_string(font.SizePoints * 2) + "\r\n";
}

std::string RtfGeneralBody(std::string_view text) {
  return RenderLines(text, [](std::string_view line, size_t index) -> std::string {
    if (index == 0) return "\\cf1\\b " + Esc(line) + "\\b0";
    if (line.empty()) return "";
    if (line.back() == ':' && line.front() != ' ') return "\\cf3\\b " + Esc(line) + "\\b0";
    if (IsRule(line)) return "\\cf3 " + Esc(line);
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) return "\\cf4 " + Esc(line);  // continued value
    return "\\cf2 " + Esc(line.substr(0, colon + 2)) + "\\cf4 " + Esc(line.substr(colon + 2));
  });
}

std::string RtfAssemblerBody(std::string_view text) {
  return RenderLines(text, [](std::string_view line, size_t) -> std::string {
    if (line.empty()) return "";
    const size_t semicolon = line.find(';');
    if (line.front() == ';') return "\\cf6 " + Esc(line);
    // The address ends at 8, two blanks follow; the mnemonic starts at 10 and ends at
    // the next blank; a comment starts at the first ";".
    std::string_view code = line.substr(0, std::min(semicolon, line.size()));
    std::string_view comment = semicolon == std::string_view::npos ? "" : line.substr(semicolon);
    const size_t split = std::min<size_t>(9, code.size());
    std::string out = "\\cf5 " + Esc(code.substr(0, split)) + "\\cf4\\b ";
    const size_t blank = code.size() > 10 ? code.find(' ', 10) : std::string_view::npos;
    if (blank == std::string_view::npos) {
      out += Esc(code.substr(split)) + "\\b0";
    } else {
      out += Esc(code.substr(split, blank - split)) + "\\b0\\cf7 " + Esc(code.substr(blank));
    }
    if (!comment.empty()) out += "\\cf6 " + Esc(comment);
    return out;
  });
}

std::string RtfCpuBody(std::string_view text, int dashPixels) {
  // Line kinds follow the CPU part's fixed layout: title, rule, four register lines,
  // an empty line, the dump heading, its rule, the dump.
  return RenderLines(text, [dashPixels](std::string_view line, size_t index) -> std::string {
    if (index == 0) return "\\cf3\\b " + Esc(line) + "\\cf2\\b0";
    if (index == 1) return "\\cf3 " + Esc(line) + "\\cf2";
    if (index >= 2 && index <= 5) {
      std::string out;
      size_t pos = 0;
      while (pos < line.size()) {
        size_t colon = line.find(": ", pos);
        if (colon == std::string_view::npos) {
          out += Esc(line.substr(pos));
          break;
        }
        out += Esc(line.substr(pos, colon + 2 - pos));
        pos = colon + 2;
        // An unreadable context shows "????    ": left in the label colour.
        if (pos + 8 <= line.size() && IsHex8(line.substr(pos, 8))) {
          out += "\\cf4 " + Esc(line.substr(pos, 8)) + "\\cf2 ";
          pos += 8;
        }
      }
      return out;
    }
    if (index == 7) {
      const size_t cut = std::min<size_t>(21, line.size());
      return "\\pard\\tx" + std::to_string(15 * dashPixels) + "\\cf3\\b " + Esc(Trim(line.substr(0, cut))) +
             "\\tab " + Esc(Trim(line.substr(cut))) + "\\cf2\\b0";
    }
    if (index == 8) {
      if (line.size() >= 21 && line.substr(18, 3) == "   ")
        return Esc(line.substr(0, 18)) + "\\tab " + Esc(line.substr(21));
      return Esc(line);
    }
    if (index > 8) return DumpLine(line);
    return Esc(line);
  });
}

std::string RenderReportPartRtf(TRtfPart part, std::string_view text, const TRtfFont& font,
                                int dashPixels) {
  std::string body;
  switch (part) {
    case TRtfPart::General: body = RtfGeneralBody(text); break;
    case TRtfPart::Assembler: body = RtfAssemblerBody(text); break;
    case TRtfPart::Cpu: body = RtfCpuBody(text, dashPixels); break;
  }
  return RtfHeader(font) + body + "}";
}

}  // namespace exclog
