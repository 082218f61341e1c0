#pragma once
// TD32 debug information (inside the image or in a ".tds" file beside it): the
// parser of its subsections and symbol records, and the reader the call-stack
// walker asks. The layout is written down in EOutsideDebug.md. Pure; every offset,
// count and length is checked against the data.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/debuginfo/EOutsideDebug.h"

namespace exclog {

// Subsection types walked by the parser.
enum TTD32Subsection : uint16_t {
  TD32Module = 0x120,
  TD32AlignSymbols = 0x125,
  TD32SourceModule = 0x127,
  TD32Names = 0x130,
};

// Symbol records, by record type.
class TQLSymbolInfo {
 public:
  virtual ~TQLSymbolInfo() = default;
  uint16_t Type = 0;
  uint32_t NameIndex = 0;  // 0: none
};
class TQLProcSymbolInfo : public TQLSymbolInfo {
 public:
  uint32_t Offset = 0, Size = 0;  // code offset and length
  uint16_t Segment = 0;
};
class TQLLocalProcSymbolInfo : public TQLProcSymbolInfo {};   // 516
class TQLGlobalProcSymbolInfo : public TQLProcSymbolInfo {};  // 517
class TQLDataSymbolInfo : public TQLSymbolInfo {
 public:
  uint32_t Offset = 0;
  uint16_t Segment = 0;
};
class TQLLDataSymbolInfo : public TQLDataSymbolInfo {};   // 513
class TQLGDataSymbolInfo : public TQLDataSymbolInfo {};   // 514
class TQLPublicSymbolInfo : public TQLDataSymbolInfo {};  // 515
class TQLLabelSymbolInfo : public TQLDataSymbolInfo {};   // 521
class TQLConstantSymbolInfo : public TQLSymbolInfo {};    // 3
class TQLUdtSymbolInfo : public TQLSymbolInfo {};         // 4
class TQLObjNameSymbolInfo : public TQLSymbolInfo {};     // 9
class TQLWithSymbolInfo : public TQLSymbolInfo {};        // 520
class TQLVftPathSymbolInfo : public TQLSymbolInfo {};     // 523

struct TQLLineInfo {
  uint32_t Offset = 0;
  uint32_t Line = 0;
};

struct TQLSourceModuleInfo {
  uint32_t NameIndex = 0;
  uint32_t Start = 0, End = 0;     // code range covered (end exclusive)
  std::vector<TQLLineInfo> Lines;  // ascending by offset
};

struct TQLModuleInfo {
  uint32_t NameIndex = 0;
  struct TSegment {
    uint16_t Segment = 0;
    uint32_t Offset = 0, Size = 0;
  };
  std::vector<TSegment> Segments;
};

class TQLTD32InfoParser {
 public:
  // Raises EAssertionFailed("Assertion failure") for data that is not TD32 or
  // whose directory, subsections or records leave the data.
  explicit TQLTD32InfoParser(std::string_view data);
  static bool HasSignature(std::string_view data);

  const std::vector<TQLModuleInfo>& Modules() const { return modules_; }
  const std::vector<TQLSourceModuleInfo>& SourceModules() const { return sources_; }
  const std::vector<std::unique_ptr<TQLSymbolInfo>>& Symbols() const { return symbols_; }
  // Name by 1-based index; "" when out of range.
  std::string Name(uint32_t index) const;

  // The procedure whose range holds the code offset (segment 1); null when none.
  const TQLProcSymbolInfo* ProcedureAt(uint32_t offset) const;
  // The source module holding the offset and its line at or below it.
  const TQLSourceModuleInfo* SourceAt(uint32_t offset) const;
  uint32_t LineAt(uint32_t offset) const;
  // The module (unit) whose code segment holds the offset; null when none.
  const TQLModuleInfo* ModuleAt(uint32_t offset) const;

 private:
  void ParseModule(std::string_view sub);
  void ParseSourceModule(std::string_view sub);
  void ParseSymbols(std::string_view sub);
  void ParseNames(std::string_view sub);
  std::vector<TQLModuleInfo> modules_;
  std::vector<TQLSourceModuleInfo> sources_;
  std::vector<std::unique_ptr<TQLSymbolInfo>> symbols_;
  std::vector<const TQLProcSymbolInfo*> procedures_;  // sorted by offset
  std::vector<std::string> names_;
};

// The scanner the reader keeps: the parser over its own copy of the data.
class TQLTD32InfoScanner {
 public:
  explicit TQLTD32InfoScanner(std::string data) : data_(std::move(data)), parser_(data_) {}
  const TQLTD32InfoParser& Parser() const { return parser_; }

 private:
  std::string data_;
  TQLTD32InfoParser parser_;
};

class TQLDebugInfoTD32 : public TQLDebugInfoSource {
 public:
  TQLDebugInfoTD32(uintptr_t module, TModuleFiles files) : TQLDebugInfoSource(module), files_(std::move(files)) {}
  bool OpenSource() override;
  bool HasScanner() const override { return scanner_ != nullptr; }
  bool FindLocation(uintptr_t address, TQLLocationInfo& info) const override;

 private:
  TModuleFiles files_;
  std::unique_ptr<TQLTD32InfoScanner> scanner_;
};

}  // namespace exclog
