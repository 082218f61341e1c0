#include "exclog/debuginfo/EDebug.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "exclog/debuginfo/EDebugWriter.h"
#include "exclog/core/EOptions.h"

namespace exclog {
namespace {

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Two units as a small module would have them: a free routine and a method.
std::vector<TQLUnitEntry> SampleUnits() {
  TQLUnitEntry a;
  a.UnitName = "EDemo";
  a.SourceFile = "EDemo.cpp";
  a.Offset = 0x1000;
  a.Size = 0x100;
  TQLRoutineEntry first;
  first.RoutineName = "Start(int)";
  first.Offset = 0x1000;
  first.FirstLine = 10;
  first.FramePrologue = true;
  first.Lines = {{0x1008, 11}, {0x1010, 13}};
  TQLRoutineEntry second;
  second.ClassName = "demo::TWidget";
  second.RoutineName = "Paint()";
  second.Offset = 0x1040;
  second.FirstLine = 30;
  second.FramePrologue = false;
  second.Lines = {{0x1050, 32}};
  a.Routines = {first, second};

  TQLUnitEntry b;
  b.UnitName = "EOther";
  b.SourceFile = "EOther.test.cpp";
  b.Offset = 0x2000;
  b.Size = 0x20;
  TQLRoutineEntry fin;
  fin.RoutineName = "Finalization";
  fin.Offset = 0x2000;
  fin.FirstLine = 5;
  fin.FramePrologue = true;
  fin.Lines = {{0x2004, 7}};
  b.Routines = {fin};
  return {a, b};
}

TQLDataImage SampleImage(std::optional<std::string> phrase) {
  TQLDataImage image;
  image.OptionsByte = 0x11;
  image.MainModuleByte = 1;
  image.Header = {1, 2, 3, 4, 5, 6, 7, 8};
  TQuelbaModuleOptions options;
  options.SetSmtpHost("mail.example.org");
  image.OptionsStream = options.SaveToBytes();
  TQLCipher cipher(phrase.value_or(""));
  image.DebugBlock = WriteDebugBlock(SampleUnits(), phrase ? &cipher : nullptr);
  image.PassPhrase = phrase;
  return image;
}

TEST(EDebugHeader, ResourceLayoutByHand) {
  std::string data = WriteResourceData(SampleImage(std::nullopt));
  // magic 10 AB 0F 10 little-endian, version 6104 = 0x17D8, the 8 bytes, option bytes.
  ASSERT_GE(data.size(), 20u);
  EXPECT_EQ(std::string(data, 0, 6), std::string("\x10\xAB\x0F\x10\xD8\x17", 6));
  EXPECT_EQ(uint8_t(data[6]), 1);
  EXPECT_EQ(uint8_t(data[13]), 8);
  EXPECT_EQ(uint8_t(data[14]), 0x11);
  EXPECT_EQ(uint8_t(data[15]), 1);
  // Three directory entries of 9 bytes each.
  EXPECT_EQ(std::string(data, 16, 4), std::string("\x1B\0\0\0", 4));
  auto header = ParseDataHeader(U8(data), data.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->Version, 6104);
  ASSERT_EQ(header->Directory.size(), 3u);
  EXPECT_EQ(header->Directory[0].Kind, BlockOptions);
  EXPECT_EQ(header->Directory[0].Offset, 0u);
  EXPECT_EQ(header->BodyOffset, 47u);
  // The body is a plain zlib stream, as zlib's own uncompress sees it.
  std::vector<uint8_t> body(1 << 20);
  uLongf bodySize = body.size();
  ASSERT_EQ(uncompress(body.data(), &bodySize, U8(data) + 47, data.size() - 47), Z_OK);
  EXPECT_EQ(bodySize, header->Directory[2].Offset + header->Directory[2].Size);
}

TEST(EDebugHeader, VersionsAndMagic) {
  EXPECT_EQ(NormalizeDataVersion(601), 6001);
  EXPECT_EQ(NormalizeDataVersion(600), 6000);
  EXPECT_EQ(NormalizeDataVersion(602), 6002);
  EXPECT_EQ(NormalizeDataVersion(603), 603);
  EXPECT_EQ(NormalizeDataVersion(6104), 6104);
  EXPECT_TRUE(IsDebugDataMagic(0x100FAB10));
  EXPECT_TRUE(IsDebugDataMagic(0x000FAB10));
  EXPECT_FALSE(IsDebugDataMagic(0x100FAB11));

  std::string data = WriteResourceData(SampleImage(std::nullopt));
  std::string newer = data;
  newer[4] = char(0xD9);  // 6105
  EXPECT_FALSE(ParseResourceData(U8(newer), newer.size()));
  std::string wrongMagic = data;
  wrongMagic[0] = 0;
  EXPECT_FALSE(ParseDataHeader(U8(wrongMagic), wrongMagic.size()));
  std::string oldMagic = data;
  oldMagic[3] = 0;
  EXPECT_TRUE(ParseResourceData(U8(oldMagic), oldMagic.size()));

  TQLDataImage image = SampleImage(std::nullopt);
  image.Version = 6105;
  std::string appended = WriteAppendedData(image);
  EXPECT_FALSE(ParseAppendedData(U8(appended), appended.size()));
}

TEST(EDebugHeader, LengthsOutsideTheDataAreRefused) {
  std::string data = WriteResourceData(SampleImage(std::nullopt));
  std::string bigDirectory = data;
  bigDirectory[16] = char(0xFF);
  bigDirectory[19] = char(0x7F);
  EXPECT_FALSE(ParseDataHeader(U8(bigDirectory), bigDirectory.size()));
  std::string ragged = data;
  ragged[16] = 26;  // not a whole number of entries
  EXPECT_FALSE(ParseDataHeader(U8(ragged), ragged.size()));
  // An entry reaching past the inflated body.
  std::string farEntry = data;
  farEntry[20 + 9 + 1 + 3] = 0x40;
  EXPECT_FALSE(ParseResourceData(U8(farEntry), farEntry.size()));
  for (size_t cut = 0; cut < data.size(); cut += 7)
    EXPECT_FALSE(ParseResourceData(U8(data), cut)) << cut;
  EXPECT_FALSE(ParseDataHeader(nullptr, 0));
}

TEST(EDebugNames, ContinuationsVersionsAndLimits) {
  TQLNameReader reader(6104, false, "");
  // 133 = 128 + 5: five bytes, then another piece.
  std::string raw = "\x85" "TUnit" "\x04" "Init";
  size_t pos = 0;
  std::string name;
  ASSERT_TRUE(reader.ReadName(U8(raw), raw.size(), pos, name));
  EXPECT_EQ(name, "TUnit.Init");
  EXPECT_EQ(pos, raw.size());

  // Before 502 bit 7 is part of the length: 133 bytes, not there.
  TQLNameReader v501(501, false, "");
  pos = 0;
  EXPECT_FALSE(v501.ReadName(U8(raw), raw.size(), pos, name));

  // Before 500 every byte is XOR-ed with the one-byte key.
  std::string old = "\x02";
  old += char('O' ^ QLOldNameXorKey);
  old += char('k' ^ QLOldNameXorKey);
  TQLNameReader v400(400, false, "");
  pos = 0;
  ASSERT_TRUE(v400.ReadName(U8(old), old.size(), pos, name));
  EXPECT_EQ(name, "Ok");

  // A continuation promised but missing.
  std::string cut = "\x82" "ab";
  pos = 0;
  EXPECT_FALSE(reader.ReadName(U8(cut), cut.size(), pos, name));

  // Long pieces are cut to 127 by the writer and the whole to 255.
  std::string out;
  WriteName(out, {std::string(200, 'a'), std::string(200, 'b'), "c.d"}, nullptr);
  pos = 0;
  ASSERT_TRUE(reader.ReadName(U8(out), out.size(), pos, name));
  EXPECT_EQ(name, std::string(127, 'a') + "." + std::string(127, 'b'));
  out.clear();
  WriteName(out, {"x.y", "z"}, nullptr);
  pos = 0;
  ASSERT_TRUE(reader.ReadName(U8(out), out.size(), pos, name));
  EXPECT_EQ(name, "x_y.z");

  // Many hand-made pieces: the reader cuts the result at 255.
  std::string many;
  for (int i = 0; i < 5; ++i) many += "\xFF" + std::string(127, 'q');
  many += '\x01';
  many += 'e';
  pos = 0;
  ASSERT_TRUE(reader.ReadName(U8(many), many.size(), pos, name));
  EXPECT_EQ(name.size(), 255u);
}

TEST(EDebugNames, EncipheredPiecesNeedTheKey) {
  TQLCipher cipher("open sesame");
  std::string out;
  WriteName(out, {"TForm1", "Button1Click"}, &cipher);
  EXPECT_EQ(out.find("Button"), std::string::npos);
  std::string name;
  size_t pos = 0;
  ASSERT_TRUE(TQLNameReader(6104, true, "open sesame").ReadName(U8(out), out.size(), pos, name));
  EXPECT_EQ(name, "TForm1.Button1Click");
  pos = 0;
  ASSERT_TRUE(TQLNameReader(6104, true, "wrong").ReadName(U8(out), out.size(), pos, name));
  EXPECT_NE(name, "TForm1.Button1Click");
}

void ExpectSampleLookups(const TQLDebugData& debug) {
  auto at = debug.FindLocation(0x100C);
  ASSERT_TRUE(at);
  EXPECT_EQ(at->UnitName, "EDemo");
  EXPECT_EQ(at->SourceFile, "EDemo.cpp");
  EXPECT_EQ(at->ClassName, "");
  EXPECT_EQ(at->RoutineName, "Start(int)");
  EXPECT_EQ(at->Line, 11u);
  EXPECT_EQ(at->LineOffset, 1u);  // prologue: first line 10 kept

  at = debug.FindLocation(0x1000);
  ASSERT_TRUE(at);
  EXPECT_EQ(at->Line, 10u);
  EXPECT_EQ(at->LineOffset, 0u);

  at = debug.FindLocation(0x103F);
  ASSERT_TRUE(at);
  EXPECT_EQ(at->RoutineName, "Start(int)");
  EXPECT_EQ(at->Line, 13u);

  at = debug.FindLocation(0x1055);
  ASSERT_TRUE(at);
  EXPECT_EQ(at->ClassName, "demo::TWidget");
  EXPECT_EQ(at->RoutineName, "Paint()");
  EXPECT_EQ(at->RoutineOffset, 0x1040u);
  EXPECT_EQ(at->Line, 32u);
  EXPECT_EQ(at->LineOffset, 3u);  // no prologue: first line counts as 29

  at = debug.FindLocation(0x10FF);
  ASSERT_TRUE(at);
  EXPECT_EQ(at->RoutineName, "Paint()");
  EXPECT_FALSE(debug.FindLocation(0x1100));  // one past the unit
  EXPECT_FALSE(debug.FindLocation(0xFFF));
  EXPECT_FALSE(debug.FindLocation(0x1800));

  at = debug.FindLocation(0x2004);
  ASSERT_TRUE(at);
  EXPECT_EQ(at->SourceFile, "EOther.test.cpp");
  EXPECT_EQ(at->RoutineName, "Finalization");
  EXPECT_EQ(at->LineOffset, 3u);  // Finalization: first line 5 counts as 4
}

TEST(EDebugLookup, ReaderDecodesWhatTheWriterWrites) {
  for (std::optional<std::string> phrase : {std::optional<std::string>(), std::optional<std::string>("Kx9")}) {
    std::string data = WriteResourceData(SampleImage(phrase));
    auto content = ParseResourceData(U8(data), data.size());
    ASSERT_TRUE(content);
    EXPECT_EQ(content->Version, 6104);
    EXPECT_EQ(content->OptionsByte, 0x11);
    ASSERT_TRUE(content->DebugBlock && content->KeyCheck);
    bool encrypted = KeyMatches(TQLCipher(phrase.value_or("")), *content->KeyCheck);
    EXPECT_EQ(encrypted, phrase.has_value());
    EXPECT_FALSE(KeyMatches(TQLCipher("other"), *content->KeyCheck));

    TQuelbaModuleOptions options;
    size_t taken = options.LoadFromBytes(content->OptionsStream.data(), content->OptionsStream.size(),
                                         content->Version);
    EXPECT_EQ(taken, content->OptionsStream.size());
    EXPECT_EQ(options.SmtpHost(), "mail.example.org");

    TQLDebugData debug(*content->DebugBlock, content->Version, encrypted, phrase.value_or(""));
    ASSERT_EQ(debug.Units().size(), 2u);
    ExpectSampleLookups(debug);
  }
}

TEST(EDebugLookup, AppendedFormAtTheEndOfAFile) {
  std::string file = std::string(300, 'M') + WriteAppendedData(SampleImage(std::nullopt));
  auto content = ParseAppendedData(U8(file), file.size());
  ASSERT_TRUE(content);
  EXPECT_EQ(content->Header[7], 8);
  ASSERT_TRUE(content->DebugBlock);
  TQLDebugData debug(*content->DebugBlock, content->Version, false, "");
  ExpectSampleLookups(debug);
  auto refresh = ParseAppendedData(U8(file), file.size(), false);
  ASSERT_TRUE(refresh);
  EXPECT_FALSE(refresh->DebugBlock);
  // A size field larger than the file.
  std::string bad = file;
  bad[bad.size() - 5] = 0x7F;
  EXPECT_FALSE(ParseAppendedData(U8(bad), bad.size()));
}

TEST(EDebugLookup, WriterRefusesOverlapsAndStrayRows) {
  auto units = SampleUnits();
  units[1].Offset = 0x10F0;
  EXPECT_THROW(WriteDebugBlock(units, nullptr), std::invalid_argument);
  units = SampleUnits();
  units[0].Routines[0].Lines.push_back({0x1200, 99});
  EXPECT_THROW(WriteDebugBlock(units, nullptr), std::invalid_argument);
}

TEST(EDebugLookup, TruncatedBlocksKeepEarlierUnits) {
  std::string block = WriteDebugBlock(SampleUnits(), nullptr);
  const TQLDebugData whole(block, 6104, false, "");
  ASSERT_EQ(whole.Units().size(), 2u);
  const size_t firstEnd = whole.Units()[0].RecordsEnd, secondEnd = whole.Units()[1].RecordsEnd;
  for (size_t cut = 0; cut < block.size(); ++cut) {
    SCOPED_TRACE(cut);
    TQLDebugData debug(block.substr(0, cut), 6104, false, "");
    auto paint = debug.FindLocation(0x1050);
    if (cut >= firstEnd) {
      ASSERT_TRUE(paint);
      EXPECT_EQ(paint->RoutineName, "Paint()");
      EXPECT_EQ(paint->Line, 32u);
    } else {
      EXPECT_FALSE(paint);
    }
    EXPECT_EQ(debug.FindLocation(0x2004).has_value(), cut >= secondEnd);
  }
}

TEST(EDebugPrologue, BothEncodingsOfTheFrameSetUp) {
  const uint8_t movEbpEsp8B[] = {0x55, 0x8B, 0xEC};
  const uint8_t movEbpEsp89[] = {0x55, 0x89, 0xE5};
  const uint8_t pushEbx[] = {0x53};
  const uint8_t other[] = {0x55, 0x89, 0xE6};
  const uint8_t sub[] = {0x83, 0xEC, 0x0C};
  EXPECT_TRUE(StartsWithFramePrologue(movEbpEsp8B, 3));
  EXPECT_TRUE(StartsWithFramePrologue(movEbpEsp89, 3));
  EXPECT_TRUE(StartsWithFramePrologue(pushEbx, 1));
  EXPECT_FALSE(StartsWithFramePrologue(other, 3));
  EXPECT_FALSE(StartsWithFramePrologue(sub, 3));
  EXPECT_FALSE(StartsWithFramePrologue(movEbpEsp89, 2));
  EXPECT_FALSE(StartsWithFramePrologue(nullptr, 0));
}

TEST(EDebugSplit, QualifiedAndMangledNames) {
  auto two = SplitQualifiedName("Forms.Application");
  ASSERT_TRUE(two);
  EXPECT_EQ(two->Kind, 3);
  EXPECT_EQ(two->UnitName, "Forms");
  EXPECT_EQ(two->SourceFile, "Forms.cpp");
  EXPECT_EQ(two->ClassName, "");
  EXPECT_EQ(two->RoutineName, "Application");

  auto three = SplitQualifiedName("@Forms@TApplication@Run$qqrv");
  ASSERT_TRUE(three);
  EXPECT_EQ(three->Kind, 3);
  EXPECT_EQ(three->UnitName, "Forms");
  EXPECT_EQ(three->ClassName, "TApplication");
  EXPECT_EQ(three->RoutineName, "Run");

  auto twin = SplitQualifiedName("@System@@Halt0$qqrv");
  ASSERT_TRUE(twin);
  EXPECT_EQ(twin->UnitName, "System");
  EXPECT_EQ(twin->RoutineName, "_Halt0");
  EXPECT_EQ(twin->ClassName, "");

  auto cut = SplitQualifiedName("Unit1.TForm1.Click@4");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->ClassName, "TForm1");
  EXPECT_EQ(cut->RoutineName, "Click");

  auto bare = SplitQualifiedName("GetProcAddress");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->Kind, 2);
  EXPECT_EQ(bare->RoutineName, "GetProcAddress");
  EXPECT_EQ(bare->UnitName, "");

  auto runtime = SplitQualifiedName("@$xp$Foo");
  ASSERT_TRUE(runtime);
  EXPECT_EQ(runtime->Kind, 2);

  EXPECT_FALSE(SplitQualifiedName("?Create@Foo@@QAEXXZ"));
  EXPECT_FALSE(SplitQualifiedName(""));
}

}  // namespace
}  // namespace exclog
