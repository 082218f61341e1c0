#include "exclog/debuginfo/EAsmListing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "exclog/debuginfo/EDisAsm.h"
#include "exclog/hooks/EHookLength.h"

namespace exclog {

namespace {

constexpr uint32_t kReach = 70;          // bytes listed before and after the fault
constexpr uint32_t kLinesBefore = 10;    // instructions kept before it
constexpr uint32_t kLinesAfter = 10;     // instructions listed after it
constexpr uint32_t kLiteralLength = 32;  // characters of a string literal shown

struct TContext {
  const TMemoryView& Code;
  const TAsmLocations& Locations;
};

std::string Hex8(uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%.8X", v);
  return buf;
}

void AddSymbol(const TContext& ctx, uint32_t address, std::string& text, bool asComment) {
  const std::string symbol = ctx.Locations.Symbol(address);
  if (symbol.empty()) return;
  text += asComment ? "  ; " + symbol : " (" + symbol + ")";
}

void OnBranch(void* data, const TDisAsmOperand& op, std::string& text) {
  AddSymbol(*static_cast<const TContext*>(data), op.Value, text, true);
}

void OnAddress(void* data, const TDisAsmOperand& op, std::string& text) {
  AddSymbol(*static_cast<const TContext*>(data), op.Value, text, false);
}

// A 4-byte immediate that points at readable memory shows the text there.
void OnImmediate(void* data, const TDisAsmOperand& op, std::string& text) {
  if (op.Size != 4 || op.Signed || text.size() < 2 || text[0] != '$') return;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str() + 1, &end, 16);
  if (end == nullptr || *end != 0) return;
  const TContext& ctx = *static_cast<const TContext*>(data);
  const uint32_t at = static_cast<uint32_t>(value);
  if (!ctx.Code.IsReadable(at, 1)) return;
  std::string chars;
  bool ended = false;
  for (uint32_t i = 0; i < kLiteralLength; ++i) {
    uint8_t b;
    if (at + i < at || !ctx.Code.ReadU8(at + i, b)) {
      ended = true;
      break;
    }
    if (b == 0) {
      ended = true;
      break;
    }
    chars += b < 32 ? '.' : static_cast<char>(b);
  }
  text += "  ; '" + chars + "'";
  if (!ended) text += "...";
}

// The code between `first` and `last` (inclusive), copied once.
struct TWindow {
  uint32_t First = 0;
  std::vector<uint8_t> Bytes;
  // Bytes available from `address` to the window's end.
  const uint8_t* At(uint32_t address, size_t& count) const {
    const size_t offset = address - First;
    count = offset < Bytes.size() ? Bytes.size() - offset : 0;
    return Bytes.data() + offset;
  }
};

uint32_t LengthAt(const TDisAsm& disasm, const TWindow& w, uint32_t address, std::string* text) {
  size_t count;
  const uint8_t* p = w.At(address, count);
  uint32_t length = 0;
  std::string line;
  disasm.Disassemble(p, count, address, length, line);
  if (text != nullptr) *text = line;
  return length;
}

bool IsReturn(const TWindow& w, uint32_t address) {
  size_t count;
  const uint8_t* p = w.At(address, count);
  const TInstructionLength ins = InstructionLength(p, count);
  return ins.Ok && !ins.TwoByteOpcode &&
         (ins.Opcode == 0xC2 || ins.Opcode == 0xC3 || ins.Opcode == 0xCA || ins.Opcode == 0xCB);
}

std::string CodePart(const std::string& line) {
  std::string code = line.substr(0, line.find(';'));
  while (!code.empty() && code.back() == ' ') code.pop_back();
  return code;
}

}  // namespace

std::string FormatSymbol(uint8_t kind, const std::string& unit, const std::string& className,
                         const std::string& routine, uint32_t line, const std::string& objectClass) {
  if (kind < 2 || kind > 4) return objectClass;
  std::string name;
  for (const std::string* part : {&unit, &className, &routine}) {
    if (part->empty()) continue;
    if (!name.empty()) name += ".";
    name += *part;
  }
  if (line > 1) name += " (Line=" + std::to_string(line) + ")";
  return name;
}

TAsmListing BuildAsmListing(uint32_t exceptionAddress, const TMemoryView& code,
                            const TAsmLocations& locations, const std::string& title) {
  TAsmListing result;
  const uint32_t ex = exceptionAddress;
  if (ex > 0xFFFFFFFFu - 4 || !code.IsReadable(ex, 4)) return result;

  // The window: from the lowest start before the fault whose bytes up to the fault
  // are all readable, to the last readable byte within reach after it.
  uint32_t first = ex >= kReach ? ex - kReach : 0;
  while (first < ex && !code.IsReadable(first, ex + 4 - first)) ++first;
  const uint32_t room = ex > 0xFFFFFFFFu - kReach ? 0xFFFFFFFFu - ex : kReach;
  const uint32_t last = ex + static_cast<uint32_t>(std::min<size_t>(code.ReadableBytes(ex, room + 1), room + 1)) - 1;
  TWindow window;
  window.First = first;
  window.Bytes.resize(static_cast<size_t>(last - first) + 1);
  if (!code.ReadApproved(first, window.Bytes.data(), window.Bytes.size())) return result;

  TContext ctx{code, locations};
  TDisAsm disasm;
  disasm.Data = &ctx;
  disasm.OnJump = OnBranch;
  disasm.OnCall = OnBranch;
  disasm.OnAddress = OnAddress;
  disasm.OnImmediate = OnImmediate;
  // Memory operands get no annotation (OnMemory stays unset).

  // The first start point whose instructions land exactly on the fault.
  uint32_t start = ex, before = 0;
  for (uint32_t p = first; p <= ex; ++p) {
    uint32_t a = p, n = 0;
    while (a < ex) {
      a += LengthAt(disasm, window, a, nullptr);
      ++n;
    }
    if (a == ex) {
      start = p;
      before = n;
      break;
    }
  }
  for (; before > kLinesBefore; --before) start += LengthAt(disasm, window, start, nullptr);

  std::vector<std::string> lines;
  size_t widest = 0, cut = 0;
  std::string lastUnit, lastLine;
  uint32_t after = 0;
  for (uint32_t a = start; a <= last;) {
    std::string text;
    const uint32_t length = LengthAt(disasm, window, a, &text);
    std::string line = Hex8(a) + "  " + text;
    widest = std::max(widest, CodePart(line).size());
    if (a == ex) line += line.find(';') == std::string::npos ? "  ; <-- EXCEPTION" : " <-- EXCEPTION";

    std::string unit;
    uint32_t lineNumber = 0, offset = 0;
    if (locations.LineInfo(a, unit, lineNumber, offset)) {
      const std::string unitText = unit + " ";
      const std::string lineText = "Line=" + std::to_string(lineNumber) + " - Offset=" + std::to_string(offset);
      std::string header;
      const bool unitChanged = unitText != lastUnit;
      if (unitChanged) header = unitText;
      if (lineText != lastLine) header += header.empty() ? lineText : "(" + lineText + ")";
      lastUnit = unitText;
      lastLine = lineText;
      while (!header.empty() && header.back() == ' ') header.pop_back();
      if (!header.empty()) {
        if (unitChanged && a <= ex) cut = lines.size();
        if (!lines.empty()) lines.push_back(";");
        lines.push_back("; " + header);
        lines.push_back("; " + std::string(header.size(), '-'));
      }
    }
    lines.push_back(line);

    if (a > ex) {
      ++after;
      // Only returns end a routine: C2 to CB also holds mov, les, lds, enter, leave.
      if (after >= kLinesAfter || IsReturn(window, a)) break;
    }
    if (length == 0) break;
    a += length;
    if (a < length) break;  // wrapped past the top of the address space
  }

  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(cut, lines.size())));
  if (!lines.empty() && lines.front() == ";") lines.erase(lines.begin());

  const size_t column = widest + 2;
  size_t longest = 0;
  for (std::string& line : lines) {
    const size_t semi = line.find(';');
    if (semi != std::string::npos && semi > 0 && semi < column) {
      std::string code = CodePart(line);
      code.append(column - code.size(), ' ');
      line = code + line.substr(semi);
    }
    longest = std::max(longest, line.size());
    if (!result.Text.empty()) result.Text += "\r\n";
    result.Text += line;
  }
  result.Header = title + ":\r\n" + std::string(std::max(title.size() + 1, longest), '-');
  return result;
}

}  // namespace exclog
