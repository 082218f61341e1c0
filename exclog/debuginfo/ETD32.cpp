#include "exclog/debuginfo/ETD32.h"

#include <algorithm>
#include <cstring>

#include "classlib/SysUtils.h"

namespace exclog {

namespace {

[[noreturn]] void AssertionFailure() { throw EAssertionFailed("Assertion failure"); }

// Bounded little-endian reads: any read past the view is an assertion failure.
struct TReader {
  std::string_view data;
  uint16_t U16(size_t at) const {
    if (at > data.size() || data.size() - at < 2) AssertionFailure();
    return static_cast<uint16_t>(uint8_t(data[at]) | uint8_t(data[at + 1]) << 8);
  }
  uint32_t U32(size_t at) const {
    if (at > data.size() || data.size() - at < 4) AssertionFailure();
    uint32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  }
  std::string_view Slice(size_t at, size_t size) const {
    if (at > data.size() || data.size() - at < size) AssertionFailure();
    return data.substr(at, size);
  }
};

template <class T>
std::unique_ptr<TQLSymbolInfo> Make() {
  return std::make_unique<T>();
}

}  // namespace

bool TQLTD32InfoParser::HasSignature(std::string_view data) {
  return data.size() >= 8 && (data.substr(0, 4) == "FB09" || data.substr(0, 4) == "FB0A");
}

TQLTD32InfoParser::TQLTD32InfoParser(std::string_view data) {
  if (!HasSignature(data)) AssertionFailure();
  TReader r{data};
  uint32_t directory = r.U32(4);
  uint16_t headerSize = r.U16(directory), entrySize = r.U16(directory + 2);
  uint32_t count = r.U32(directory + 4);
  if (headerSize < 16 || entrySize < 12 || count > data.size() / entrySize) AssertionFailure();
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = size_t(directory) + headerSize + size_t(i) * entrySize;
    uint16_t type = r.U16(at);
    std::string_view sub = r.Slice(r.U32(at + 4), r.U32(at + 8));
    switch (type) {
      case TD32Module: ParseModule(sub); break;
      case TD32SourceModule: ParseSourceModule(sub); break;
      case TD32AlignSymbols: ParseSymbols(sub); break;
      case TD32Names: ParseNames(sub); break;
      default: break;
    }
  }
  for (const auto& symbol : symbols_)
    if (symbol->Type == 516 || symbol->Type == 517) procedures_.push_back(static_cast<const TQLProcSymbolInfo*>(symbol.get()));
  std::stable_sort(procedures_.begin(), procedures_.end(),
                   [](const TQLProcSymbolInfo* a, const TQLProcSymbolInfo* b) { return a->Offset < b->Offset; });
  std::stable_sort(sources_.begin(), sources_.end(),
                   [](const TQLSourceModuleInfo& a, const TQLSourceModuleInfo& b) { return a.Start < b.Start; });
}

void TQLTD32InfoParser::ParseModule(std::string_view sub) {
  TReader r{sub};
  TQLModuleInfo module;
  uint16_t segments = r.U16(4);
  module.NameIndex = r.U32(8);
  for (uint16_t i = 0; i < segments; ++i) {
    size_t at = 28 + size_t(i) * 12;
    module.Segments.push_back({r.U16(at), r.U32(at + 4), r.U32(at + 8)});
  }
  modules_.push_back(std::move(module));
}

void TQLTD32InfoParser::ParseSourceModule(std::string_view sub) {
  TReader r{sub};
  uint16_t files = r.U16(0);
  for (uint16_t f = 0; f < files; ++f) {
    uint32_t fileAt = r.U32(4 + size_t(f) * 4);
    uint16_t blocks = r.U16(fileAt);
    uint32_t name = r.U32(size_t(fileAt) + 2);
    for (uint16_t b = 0; b < blocks; ++b) {
      TQLSourceModuleInfo source;
      source.NameIndex = name;
      uint32_t blockAt = r.U32(size_t(fileAt) + 6 + size_t(b) * 4);
      size_t rangeAt = size_t(fileAt) + 6 + size_t(blocks) * 4 + size_t(b) * 8;
      source.Start = r.U32(rangeAt);
      source.End = r.U32(rangeAt + 4);
      uint16_t pairs = r.U16(size_t(blockAt) + 2);
      size_t offsets = size_t(blockAt) + 4, lines = offsets + size_t(pairs) * 4;
      for (uint16_t p = 0; p < pairs; ++p)
        source.Lines.push_back({r.U32(offsets + size_t(p) * 4), r.U16(lines + size_t(p) * 2)});
      std::stable_sort(source.Lines.begin(), source.Lines.end(),
                       [](const TQLLineInfo& a, const TQLLineInfo& b) { return a.Offset < b.Offset; });
      sources_.push_back(std::move(source));
    }
  }
}

void TQLTD32InfoParser::ParseSymbols(std::string_view sub) {
  TReader r{sub};
  size_t at = 4;
  while (sub.size() - at >= 4 && at < sub.size()) {
    uint16_t length = r.U16(at);
    if (length < 2) break;  // a record of no length would never advance
    uint16_t type = r.U16(at + 2);
    TReader body{r.Slice(at + 4, length - 2u)};
    std::unique_ptr<TQLSymbolInfo> symbol;
    switch (type) {
      case 516:
      case 517: {
        auto proc = type == 516 ? std::unique_ptr<TQLProcSymbolInfo>(new TQLLocalProcSymbolInfo)
                                : std::unique_ptr<TQLProcSymbolInfo>(new TQLGlobalProcSymbolInfo);
        proc->Size = body.U32(12);
        proc->Offset = body.U32(24);
        proc->Segment = body.U16(28);
        proc->NameIndex = body.U32(34);
        symbol = std::move(proc);
        break;
      }
      case 513:
      case 514:
      case 515:
      case 521: {
        std::unique_ptr<TQLDataSymbolInfo> data;
        if (type == 513) data.reset(new TQLLDataSymbolInfo);
        else if (type == 514) data.reset(new TQLGDataSymbolInfo);
        else if (type == 515) data.reset(new TQLPublicSymbolInfo);
        else data.reset(new TQLLabelSymbolInfo);
        data->Offset = body.U32(0);
        data->Segment = body.U16(4);
        data->NameIndex = body.U32(type == 521 ? 7 : 10);
        symbol = std::move(data);
        break;
      }
      case 3: symbol = Make<TQLConstantSymbolInfo>(); symbol->NameIndex = body.U32(4); break;
      case 4: symbol = Make<TQLUdtSymbolInfo>(); symbol->NameIndex = body.U32(4); break;
      case 9: symbol = Make<TQLObjNameSymbolInfo>(); symbol->NameIndex = body.U32(4); break;
      case 520: symbol = Make<TQLWithSymbolInfo>(); symbol->NameIndex = body.U32(18); break;
      case 523: symbol = Make<TQLVftPathSymbolInfo>(); break;
      default: break;
    }
    if (symbol) {
      symbol->Type = type;
      symbols_.push_back(std::move(symbol));
    }
    at += 2u + length;
  }
}

void TQLTD32InfoParser::ParseNames(std::string_view sub) {
  TReader r{sub};
  uint32_t count = r.U32(0);
  if (count > sub.size()) AssertionFailure();
  size_t at = 4;
  for (uint32_t i = 0; i < count; ++i) {
    std::string_view length = r.Slice(at, 1);
    uint8_t n = static_cast<uint8_t>(length[0]);
    names_.emplace_back(r.Slice(at + 1, n));
    at += 2u + n;  // length, text, terminating zero
  }
}

std::string TQLTD32InfoParser::Name(uint32_t index) const {
  return index >= 1 && index <= names_.size() ? names_[index - 1] : std::string();
}

const TQLProcSymbolInfo* TQLTD32InfoParser::ProcedureAt(uint32_t offset) const {
  auto it = std::upper_bound(procedures_.begin(), procedures_.end(), offset,
                             [](uint32_t o, const TQLProcSymbolInfo* p) { return o < p->Offset; });
  if (it == procedures_.begin()) return nullptr;
  const TQLProcSymbolInfo* proc = *(it - 1);
  return offset - proc->Offset < proc->Size ? proc : nullptr;
}

const TQLSourceModuleInfo* TQLTD32InfoParser::SourceAt(uint32_t offset) const {
  for (const TQLSourceModuleInfo& source : sources_)
    if (offset >= source.Start && offset < source.End) return &source;
  return nullptr;
}

uint32_t TQLTD32InfoParser::LineAt(uint32_t offset) const {
  const TQLSourceModuleInfo* source = SourceAt(offset);
  if (!source) return 0;
  auto it = std::upper_bound(source->Lines.begin(), source->Lines.end(), offset,
                             [](uint32_t o, const TQLLineInfo& l) { return o < l.Offset; });
  return it == source->Lines.begin() ? 0 : (it - 1)->Line;
}

const TQLModuleInfo* TQLTD32InfoParser::ModuleAt(uint32_t offset) const {
  for (const TQLModuleInfo& module : modules_)
    for (const auto& segment : module.Segments)
      if (segment.Segment == 1 && offset >= segment.Offset && offset - segment.Offset < segment.Size) return &module;
  return nullptr;
}

bool TQLDebugInfoTD32::OpenSource() {
  try {
    std::optional<std::string> data;
    if (files_.DebugSection) data = files_.DebugSection();
    if (!data || !TQLTD32InfoParser::HasSignature(*data)) data.reset();
    if (!data && files_.ReadFile) data = files_.ReadFile(WithExtension(files_.FileName, ".tds"));
    if (!data || !TQLTD32InfoParser::HasSignature(*data)) return false;
    scanner_ = std::make_unique<TQLTD32InfoScanner>(std::move(*data));
    return true;
  } catch (...) {
    return false;
  }
}

bool TQLDebugInfoTD32::FindLocation(uintptr_t address, TQLLocationInfo& info) const {
  if (!scanner_ || address < Module() + 4096) return false;
  const TQLTD32InfoParser& parser = scanner_->Parser();
  uint32_t offset = OffsetOfAddress(address);
  const TQLModuleInfo* module = parser.ModuleAt(offset);
  if (!module) return false;
  info = TQLLocationInfo{};
  info.Address = address;
  info.UnitText = parser.Name(module->NameIndex);
  info.Reader = this;
  const TQLProcSymbolInfo* proc = parser.ProcedureAt(offset);
  if (proc) info.RoutineText = parser.Name(proc->NameIndex);
  info.SourceLine = parser.LineAt(offset);
  if (const TQLSourceModuleInfo* source = parser.SourceAt(offset)) info.SourceFile = parser.Name(source->NameIndex);
  if (proc) {
    uint32_t first = parser.LineAt(proc->Offset);
    if (first && first <= info.SourceLine) info.LinesFromStart = info.SourceLine - first;
  }
  return true;
}

}  // namespace exclog
