#include "exclog/debuginfo/ELocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "exclog/debuginfo/EDebugInfo.h"
#include "exclog/debuginfo/EExports.h"

namespace exclog {
namespace {

constexpr uint32_t Base = 0x10000000;

// A small image: code at 0x1000, the export directory at 0x2000 with names sorted
// by name and ordinals out of name order, one forwarder, one push-jump stub.
struct TImage {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(0x3000, 0xCC);
  void U32(uint32_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
  void U16(uint32_t at, uint16_t v) { std::memcpy(&bytes[at], &v, 2); }
  void Text(uint32_t at, const char* text) { std::memcpy(&bytes[at], text, std::strlen(text) + 1); }
  TImage() {
    bytes[0] = 'M';
    bytes[1] = 'Z';
    U32(60, 0x80);
    U32(0x80, 0x4550);
    const uint32_t opt = 0x98;
    U16(opt, 0x10B);
    U32(opt + 4, 0x1000);   // size of code
    U32(opt + 20, 0x1000);  // base of code
    U32(opt + 56, 0x3000);  // size of image
    U32(opt + 92, 16);
    U32(opt + 96, 0x2000);
    U32(opt + 100, 0x200);
    U32(0x2000, 0);
    U32(0x2014, 4);  // functions
    U32(0x2018, 4);  // names
    U32(0x201C, 0x2040);
    U32(0x2020, 0x2060);
    U32(0x2024, 0x2080);
    uint32_t functions[] = {0x1100, 0x1010, 0x2100, 0x1200};
    for (int i = 0; i < 4; ++i) U32(0x2040 + 4 * i, functions[i]);
    const char* names[] = {"Alpha", "Beta", "Fwd", "Zeta"};
    uint16_t ordinals[] = {3, 0, 2, 1};
    for (int i = 0; i < 4; ++i) {
      U32(0x2060 + 4 * i, 0x20C0 + 0x10 * i);
      Text(0x20C0 + 0x10 * i, names[i]);
      U16(0x2080 + 2 * i, ordinals[i]);
    }
    Text(0x2100, "other.Target");
    // Alpha: push 0x10001300; jmp ...
    uint8_t stub[] = {0x68, 0x00, 0x13, 0x00, 0x10, 0xE9, 0, 0, 0, 0};
    std::memcpy(&bytes[0x1200], stub, sizeof stub);
    // Zeta: a routine of 17 bytes ending in ret.
    uint8_t zeta[] = {0x55, 0x8B, 0xEC, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x5D, 0xC3};
    std::memcpy(&bytes[0x1010], zeta, sizeof zeta);
  }
  TRegionMemory Memory() const {
    TRegionMemory memory;
    memory.Add(Base, bytes);
    return memory;
  }
};

std::string Names(const std::vector<TQuelbaFunctionInfo>& list) {
  std::string out;
  for (const auto& f : list) out += f.Name + "@" + std::to_string(f.Address - Base) + ":" + std::to_string(f.Length) + " ";
  return out;
}

TEST(Exports, NamesTakeTheAddressOfTheirOrdinalAndForwardersResolve) {
  TImage image;
  TRegionMemory memory = image.Memory();
  TExportWalkOptions options;
  options.ResolveForwarder = [](const std::string& name, const std::string& target) {
    return name == "Fwd" && target == "other.Target" ? Base + 0x2F00 : 0u;
  };
  EXPECT_EQ(Names(ReadExportList(memory, Base, options)),
            "Zeta@4112:1 Beta@4352:1 Alpha@4608:1 Fwd@12032:0 ");
  options.PushJumpStubs = true;
  options.ResolveForwarder = nullptr;
  EXPECT_EQ(Names(ReadExportList(memory, Base, options)), "Zeta@4112:1 Beta@4352:1 Alpha@4864:1 ");

  // Hostile tables: counts past the image, ordinals past the functions, an
  // unterminated name at the image's end, a non-zero flags word.
  TImage hostile;
  hostile.U32(0x2018, 0x40000000);
  EXPECT_TRUE(ReadExportList(hostile.Memory(), Base).empty());
  TImage ordinals;
  ordinals.U16(0x2082, 9);
  ordinals.U32(0x206C, 0x2FFC);
  ordinals.U32(0x2FFC, 0x41414141);
  EXPECT_EQ(Names(ReadExportList(ordinals.Memory(), Base)), "AAAA@4112:1 Alpha@4608:1 ")
      << "Beta's ordinal is past the table; Zeta's name runs to the image's end";
  TImage flagged;
  flagged.U32(0x2000, 1);
  EXPECT_TRUE(ReadExportList(flagged.Memory(), Base).empty());
  TImage noPe;
  noPe.U32(60, 0x2FFE);
  EXPECT_TRUE(ReadExportList(noPe.Memory(), Base).empty());
  TImage longName;
  std::memset(&longName.bytes[0x2400], 'N', 400);
  longName.U32(0x2064, 0x2400);
  EXPECT_EQ(ReadExportList(longName.Memory(), Base)[1].Name.size(), ExportNameLimit);

  // A header claiming nearly 4 GB: a count of 0x30000000 functions is measured
  // against what memory holds before anything is allocated, and an address past
  // the top of the address space is refused, not wrapped below the base.
  class TLargestRead : public TRegionMemory {
   public:
    bool Read(uintptr_t address, void* buffer, size_t size) const override {
      largest = std::max(largest, size);
      return TRegionMemory::Read(address, buffer, size);
    }
    mutable size_t largest = 0;
  };
  TImage huge;
  huge.U32(0x98 + 56, 0xFFFFF000);
  huge.U32(0x2014, 0x30000000);
  TLargestRead hugeMemory;
  hugeMemory.Add(Base, huge.bytes);
  EXPECT_TRUE(ReadExportList(hugeMemory, Base).empty());
  EXPECT_LE(hugeMemory.largest, huge.bytes.size());
  TImage wraps;
  wraps.U32(0x98 + 56, 0xFFFFF000);
  wraps.U32(0x2044, 0xF0001010);  // Zeta at Base + 0x1010 once the sum wraps
  EXPECT_EQ(Names(ReadExportList(wraps.Memory(), Base)), "Beta@4352:1 Alpha@4608:1 ");
}

// The name lookup used for forwarders: every name of the sorted table is found at
// its ordinal's address; a forwarded one (which tells its forwarder), a missing
// one, a prefix and a bad table give 0.
TEST(Exports, IndexFindsEachNameAtItsOrdinalsAddress) {
  TImage image;
  TRegionMemory memory = image.Memory();
  TExportIndex index(memory, Base);
  EXPECT_EQ(index.AddressOf("Alpha"), Base + 0x1200);
  EXPECT_EQ(index.AddressOf("Beta"), Base + 0x1100);
  EXPECT_EQ(index.AddressOf("Zeta"), Base + 0x1010);
  for (const char* absent : {"Fwd", "Alph", "Alphaa", "Gamma", "", "A"}) EXPECT_EQ(index.AddressOf(absent), 0u) << absent;
  std::string forwarder;
  EXPECT_EQ(index.AddressOf("Fwd", &forwarder), 0u);
  EXPECT_EQ(forwarder, "other.Target");
  // A name that starts inside the export directory and ends past it is read whole.
  TImage straddle;
  straddle.Text(0x21FC, "Zetaaa");
  straddle.U32(0x206C, 0x21FC);
  TRegionMemory straddleMemory = straddle.Memory();
  EXPECT_EQ(Names(ReadExportList(straddleMemory, Base)), "Zetaaa@4112:1 Beta@4352:1 Alpha@4608:1 ");
  TExportIndex straddled(straddleMemory, Base);
  EXPECT_EQ(straddled.AddressOf("Zetaaa"), Base + 0x1010);
  EXPECT_EQ(straddled.AddressOf("Zeta"), 0u);
  TImage hostile;
  hostile.U32(0x2018, 0x40000000);
  TRegionMemory hostileMemory = hostile.Memory();
  EXPECT_EQ(TExportIndex(hostileMemory, Base).AddressOf("Zeta"), 0u);
}

class TFakeReader : public TQLDebugInfoSource {
 public:
  TFakeReader() : TQLDebugInfoSource(Base) {}
  bool OpenSource() override { return true; }
  bool HasScanner() const override { return true; }
  bool FindLocation(uintptr_t address, TQLLocationInfo& info) const override {
    if (address < Base + 0x1800) return false;
    info = answer;
    info.Address = address;
    return true;
  }
  TQLLocationInfo answer;
};

TEST(Location, OwnDataThenOutsideReaderThenExports) {
  TImage image;
  TRegionMemory memory = image.Memory();
  TQuelbaModuleInfo module;
  module.Handle = Base;
  for (const char* name : {"Zeta", "Unit.Beta"}) {
    auto* f = new TQuelbaFunctionInfo;
    f->Name = name;
    f->Address = Base + (name[0] == 'Z' ? 0x1010 : 0x1100);
    f->Length = 1;
    module.Routines->Add(f);
  }
  auto locate = [&](uint32_t address, bool exact = false) {
    TQuelbaLocation location;
    location.Module = TModuleRef(&module);
    LocateInModule(address, location, memory, exact);
    return location;
  };
  TQuelbaLocation zeta = locate(Base + 0x1020);
  EXPECT_EQ(zeta.Kind, 2);
  EXPECT_EQ(zeta.RoutineName, "Zeta");
  EXPECT_EQ(module.Routines->Get(0)->Length, 17u) << "measured once and kept";
  EXPECT_EQ(locate(Base + 0x1021).Kind, 1) << "behind the routine's return";
  EXPECT_EQ(locate(Base + 0x1008).Kind, 1) << "before the first export";
  EXPECT_EQ(locate(Base + 0x1021, true).Kind, 4);
  TQuelbaLocation beta = locate(Base + 0x1180);
  EXPECT_EQ(beta.Kind, 3);
  EXPECT_EQ(beta.UnitName, "Unit");
  EXPECT_EQ(beta.RoutineName, "Beta");
  TQuelbaLocation nowhere;
  LocateInModule(Base, nowhere, memory, false);
  EXPECT_EQ(nowhere.Kind, 0);

  TFakeReader reader;
  module.DebugSource = &reader;
  reader.answer.RoutineText = "Forms.TForm.Click";
  reader.answer.UnitText = "C:\\src\\Forms.pas";
  reader.answer.SourceLine = 10;
  reader.answer.LinesFromStart = 2;
  TQuelbaLocation click = locate(Base + 0x1900);
  EXPECT_EQ(click.Kind, 4);
  EXPECT_EQ(click.UnitName, "Forms.pas");
  EXPECT_EQ(click.ClassName, "TForm");
  EXPECT_EQ(click.RoutineName, "Click");
  EXPECT_EQ(click.LineOffset, 2u);
  reader.answer = {};
  reader.answer.RoutineText = "@Start";
  reader.answer.SourceFile = "src/other.c";
  TQuelbaLocation start = locate(Base + 0x1900);
  EXPECT_EQ(start.Kind, 2) << "no unit part and a routine not named like the unit file";
  EXPECT_EQ(start.RoutineName, "_Start");
  reader.answer.RoutineText = "other";
  EXPECT_EQ(locate(Base + 0x1900).UnitName, "other.c");
  EXPECT_EQ(locate(Base + 0x1100).RoutineName, "Beta") << "below the reader's range: the exports";
  module.DebugSource = nullptr;
}

}  // namespace
}  // namespace exclog
