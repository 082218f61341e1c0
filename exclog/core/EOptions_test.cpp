// Options and the options stream against golden streams that an independent
// encoder (tests/peers/options_ref.py) wrote into tests/data/options/.
#include "exclog/core/EOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/Streams.h"
#include "classlib/SysUtils.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

using velmora::test::ReadFileBytes;
using velmora::test::SourcePath;

std::string Golden(const std::string& name) { return ReadFileBytes(SourcePath("tests/data/options/" + name)); }

constexpr size_t TrailerSize = 8;  // "TRAILER!" after each old-format stream
const uint16_t Versions[] = {400, 401, 402, 403, 419, 420, 421, 422, 449, 450, 499, 500, 5999, 6000, 6104};

// Counts announcements; the seams make it the module that runs this code.
class TCountingOptions : public TQuelbaModuleOptions {
 public:
  using TQuelbaModuleOptions::TQuelbaModuleOptions;
  void Changed() override { ++Announcements; }
  int Announcements = 0;
};

constexpr TModuleHandle FakeModule = 0x400000;

class OptionsWithSeams : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = OptionsSeams();
    OptionsSeams().FindModule = [](const std::string& name) -> TModuleHandle {
      return name == "prog.exe" ? FakeModule : 0;
    };
    OptionsSeams().CurrentModule = [] { return FakeModule; };
  }
  void TearDown() override { OptionsSeams() = saved_; }

 private:
  TOptionsSeams saved_;
};

TEST(OptionsStream, DefaultStreamMatchesReferenceEncoder) {
  TQuelbaModuleOptions options;
  std::string golden = Golden("default.bin");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(options.SaveToBytes(), golden);
}

TEST(OptionsStream, EveryVersionMigratesAsTheReferenceSays) {
  for (uint16_t v : Versions) {
    SCOPED_TRACE(v);
    std::string stream = Golden("v" + std::to_string(v) + ".bin");
    std::string expected = Golden("v" + std::to_string(v) + ".expected.bin");
    ASSERT_GT(stream.size(), TrailerSize);
    TQuelbaModuleOptions options;
    size_t used = options.LoadFromBytes(stream.data(), stream.size(), v);
    EXPECT_EQ(used, stream.size() - TrailerSize) << "the data after the stream stays unread";
    EXPECT_EQ(options.SaveToBytes(), expected);
    EXPECT_EQ(options.UpdateCount(), 0);
  }
}

TEST(OptionsStream, MigrationsSpotChecks) {
  auto load = [](uint16_t v) {
    auto options = std::make_unique<TQuelbaModuleOptions>();
    std::string stream = Golden("v" + std::to_string(v) + ".bin");
    options->LoadFromBytes(stream.data(), stream.size(), v);
    return options;
  };
  EXPECT_EQ(load(420)->FreezeSeconds(), 5);    // milliseconds then
  EXPECT_EQ(load(421)->FreezeSeconds(), 5);
  EXPECT_EQ(load(422)->FreezeSeconds(), 5000);
  EXPECT_EQ(load(5999)->InitialPage(), 5);
  EXPECT_EQ(load(6000)->InitialPage(), 3);
  EXPECT_EQ(load(5999)->Text(MsgAntiFreeze), "frozen-v5999");
  EXPECT_EQ(load(449)->MailMode(), 2);
  EXPECT_EQ(load(450)->MailMode(), 3);
  EXPECT_EQ(load(449)->AskBeforeSending(), 0);
  EXPECT_EQ(load(450)->AskBeforeSending(), 2);
  // A 5xx stream with no report fields set gets every field added since.
  uint8_t none[5] = {};
  TReportFields migrated = MigrateReportFields(none, 5);
  int ones = 0;
  for (uint8_t b : migrated) ones += __builtin_popcount(b);
  EXPECT_EQ(ones, 1 + 1 + 4 + 4 + 3 + 1 + 1);
}

TEST(OptionsStream, SaveLoadSaveIsStable) {
  std::string golden = Golden("roundtrip.bin");
  TQuelbaModuleOptions options;
  EXPECT_EQ(options.LoadFromBytes(golden.data(), golden.size()), golden.size());
  std::string saved = options.SaveToBytes();
  // The reference drops the closing line end of text 3 ("two\r\nlines\r\n" keeps it).
  EXPECT_EQ(saved, golden);
  TQuelbaModuleOptions again;
  again.LoadFromBytes(saved.data(), saved.size());
  EXPECT_EQ(again.SaveToBytes(), saved);
  EXPECT_EQ(again.Text(3), "two\r\nlines\r\n");
  ASSERT_EQ(again.Filters().Count(), 1);
  EXPECT_EQ(again.Filters().Item(0).ClassNameText, "EAccessViolation");
}

TEST(OptionsStream, EveryTruncatedPrefixFailsAndChangesNothing) {
  std::string start = Golden("roundtrip.bin");
  for (uint16_t v : {uint16_t(400), uint16_t(449), uint16_t(499), uint16_t(5999), uint16_t(6104)}) {
    SCOPED_TRACE(v);
    std::string stream = Golden("v" + std::to_string(v) + ".bin");
    stream.resize(stream.size() - TrailerSize);
    TCountingOptions options;
    options.LoadFromBytes(start.data(), start.size());
    const std::string before = options.SaveToBytes();
    for (size_t n = 0; n < stream.size(); ++n) {
      EXPECT_THROW(options.LoadFromBytes(stream.data(), n, v), EReadError) << n;
      ASSERT_EQ(options.SaveToBytes(), before) << n;
      ASSERT_EQ(options.UpdateCount(), 0) << n;
    }
    EXPECT_EQ(options.Announcements, 0);
  }
}

TEST(OptionsStream, ImpossibleLengthsFailBeforeAllocating) {
  // FF FF FF 7F as the first text's length: far more than the bytes left.
  std::string stream("\0\1\x30\0\1\0\0" "\x3c\0\0\0" "\xff\xff\xff\x7f" "abc", 18);
  TQuelbaModuleOptions options;
  EXPECT_THROW(options.LoadFromBytes(stream.data(), stream.size()), EReadError);
  // A filter count that the remaining bytes could never hold. The defaults have no
  // filters: the count is the 4 zero bytes before the empty mail body, the texts and
  // the language name.
  std::string valid = Golden("default.bin");
  size_t textBytes = 0;
  for (int i = 0; i < TextCount; ++i) textBytes += 4 + DefaultText(i).size();
  size_t countAt = valid.size() - (4 + 7) - textBytes - 4 - 4;
  ASSERT_EQ(valid.substr(countAt, 8), std::string(8, '\0'));
  valid[countAt] = '\x10';
  valid[countAt + 3] = '\x40';
  TQuelbaModuleOptions probe;
  EXPECT_THROW(probe.LoadFromBytes(valid.data(), valid.size()), EReadError);
  EXPECT_EQ(probe.SaveToBytes(), Golden("default.bin"));
}

TEST(OptionsStream, TextsLoseOnlyAClosingLoneLineEnd) {
  auto languageItem = [](const std::string& text) {
    TQuelbaModuleOptions options;
    options.SetLanguageName(text);
    std::string bytes = options.SaveToBytes();
    TQuelbaModuleOptions plain;
    plain.SetLanguageName("");
    size_t prefix = plain.SaveToBytes().size() - 4;  // everything before the last length
    return bytes.substr(prefix);
  };
  const char k = static_cast<char>(StringXorKey);
  EXPECT_EQ(languageItem("A\r\n"), std::string("\1\0\0\0", 4) + char('A' ^ k));
  EXPECT_EQ(languageItem(""), std::string(4, '\0'));
  std::string twoLines = "a\r\nb\r\n";
  std::string expected("\6\0\0\0", 4);
  for (char c : twoLines) expected += static_cast<char>(c ^ k);
  EXPECT_EQ(languageItem(twoLines), expected);
  EXPECT_EQ(languageItem("\r\n"), std::string(4, '\0'));
}

TEST(OptionsStream, ClassLibraryStreamsStopAfterTheLastItem) {
  std::string stream = Golden("v6000.bin");
  TFixedMemoryStream memory(stream.data(), static_cast<int64_t>(stream.size()));
  TQuelbaModuleOptions options;
  options.LoadFromStream(memory, 6000);
  EXPECT_EQ(memory.Position(), static_cast<int64_t>(stream.size() - TrailerSize));
  EXPECT_EQ(options.SaveToBytes(), Golden("v6000.expected.bin"));

  TMemoryStream out;
  options.SaveToStream(out);
  EXPECT_EQ(std::string(static_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())),
            Golden("v6000.expected.bin"));
}

TEST_F(OptionsWithSeams, SettersAnnounceAndBulkChangesAnnounceOnce) {
  TCountingOptions options("prog.exe");
  EXPECT_EQ(options.ModuleHandle(), FakeModule);
  options.Announcements = 0;
  options.SetSmtpHost("mail");
  options.SetText(5, "x");
  EXPECT_EQ(options.Announcements, 2);

  TQuelbaModuleOptions source;
  source.SetMailSubject("subject");
  source.SetStreamByte35(99);
  source.SetReproduceText("steps");
  source.SetExtraText2("extra");
  source.SetActive(false);
  source.Filters().Add({1, "EFoo", "", 1, 2, 3, 4});
  options.Announcements = 0;
  options.Assign(&source);
  EXPECT_EQ(options.Announcements, 1);
  EXPECT_EQ(options.MailSubject(), "subject");
  EXPECT_EQ(options.StreamByte35(), 99);
  EXPECT_EQ(options.ReproduceText(), "steps");
  EXPECT_EQ(options.ExtraText2(), "extra");
  EXPECT_EQ(options.Filters().Count(), 1);
  EXPECT_TRUE(options.Active()) << "Active is not copied";
  EXPECT_EQ(options.ModuleName(), "prog.exe");
  EXPECT_EQ(options.SaveToBytes(), source.SaveToBytes());

  options.Announcements = 0;
  options.SetDefaults();
  EXPECT_EQ(options.Announcements, 1);
  EXPECT_EQ(options.SaveToBytes(), Golden("default.bin"));

  options.Announcements = 0;
  std::string golden = Golden("roundtrip.bin");
  options.LoadFromBytes(golden.data(), golden.size());
  EXPECT_EQ(options.Announcements, 1);
  EXPECT_EQ(options.UpdateCount(), 0);
}

TEST_F(OptionsWithSeams, OptionsOfAnotherModuleNeverAnnounce) {
  TCountingOptions options("other.dll");
  options.SetSmtpHost("mail");
  EXPECT_EQ(options.Announcements, 0);
}

TEST(Options, AssignRefusesNullAndIgnoresItself) {
  TQuelbaModuleOptions options;
  try {
    options.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Impossible to assign nil as TQuelbaModuleOptions.");
  }
  options.SetSmtpHost("kept");
  options.Assign(&options);
  EXPECT_EQ(options.SmtpHost(), "kept");
}

TEST(Options, SpecialSetters) {
  TQuelbaModuleOptions options;
  options.SetLogCapacity(0);
  EXPECT_EQ(options.LogCapacity(), 1);
  options.SetLogCapacity(5);
  EXPECT_EQ(options.LogCapacity(), 5);

  options.SetTerminateAction(1);  // the follower is 0: stays 0
  EXPECT_EQ(options.TerminateOnCancel(), 0);
  options.SetTerminateBoth(2);
  EXPECT_EQ(options.TerminateAction(), 2);
  EXPECT_EQ(options.TerminateOnCancel(), 2);
  options.SetTerminateAction(1);  // a non-zero follower follows
  EXPECT_EQ(options.TerminateOnCancel(), 1);

  options.SetText(-1, "ignored");
  options.SetText(TextCount, "ignored");
  EXPECT_EQ(options.Text(TextCount), "");
}

TEST_F(OptionsWithSeams, FiltersOwnCopiesAndAnnounceEachChange) {
  TCountingOptions options("prog.exe");
  options.Announcements = 0;
  TQuelbaExceptionFilter record{1, "EFoo", "msg", 1, 2, 3, 4};
  options.Filters().Add(record);
  record.ClassNameText = "changed";
  options.Filters().Add({0, "EBar", "", 0, 0, 0, 0});
  EXPECT_EQ(options.Filters().Item(0).ClassNameText, "EFoo");
  options.Filters().Delete(0);
  EXPECT_EQ(options.Filters().Item(0).ClassNameText, "EBar");
  EXPECT_THROW(options.Filters().Delete(1), EListError);
  EXPECT_THROW(options.Filters().Item(-1), EListError);
  TQuelbaModuleOptions other;
  other.Filters().Add({1, "A", "B", 5, 6, 7, 8});
  other.Filters().Add({1, "C", "D", 5, 6, 7, 8});
  options.Filters().CopyFrom(other.Filters());
  EXPECT_EQ(options.Filters().Records(), other.Filters().Records());
  options.Filters().Clear();
  EXPECT_EQ(options.Filters().Count(), 0);
  EXPECT_EQ(options.Announcements, 5);  // add, add, delete, copy, clear
}

// The Ex subclass's reactions, through recording seams.
struct TExRecorder {
  static inline int Starts = 0;
  static inline int Stops = 0;
  static inline std::string Stored;
  static inline std::optional<std::string> Shared;
};

class OptionsEx : public OptionsWithSeams {
 protected:
  void SetUp() override {
    OptionsWithSeams::SetUp();
    TExRecorder::Starts = TExRecorder::Stops = 0;
    TExRecorder::Stored.clear();
    TExRecorder::Shared.reset();
    OptionsSeams().LoggerActive = [](TModuleHandle m) { return m == FakeModule; };
    OptionsSeams().StartFreezeWatch = [] { ++TExRecorder::Starts; };
    OptionsSeams().StopFreezeWatch = [] { ++TExRecorder::Stops; };
    OptionsSeams().StoreSharedBlock = [](TModuleHandle, const std::string& b) { TExRecorder::Stored = b; };
    OptionsSeams().FetchSharedBlock = [](TModuleHandle) { return TExRecorder::Shared; };
  }
};

TEST_F(OptionsEx, FreezeWatchFollowsBothFlagsOnChangesOnly) {
  TQuelbaModuleOptionsEx options("prog.exe");
  options.SetFreezeWatch(1);
  EXPECT_EQ(TExRecorder::Starts, 1);
  options.SetFreezeWatch(1);
  EXPECT_EQ(TExRecorder::Starts, 1);
  options.SetActive(false);
  EXPECT_EQ(TExRecorder::Stops, 1);
  options.SetActive(true);
  EXPECT_EQ(TExRecorder::Starts, 2);
  // Loading a stream with the watchdog on starts nothing halfway.
  std::string stream = Golden("v6000.bin");
  options.SetFreezeWatch(0);
  int starts = TExRecorder::Starts;
  options.LoadFromBytes(stream.data(), stream.size(), 6000);
  EXPECT_EQ(options.FreezeWatch(), 1);
  EXPECT_EQ(TExRecorder::Starts, starts);

  TQuelbaModuleOptionsEx foreign("other.dll");
  foreign.SetFreezeWatch(1);
  EXPECT_EQ(foreign.FreezeWatch(), 1);
  EXPECT_EQ(TExRecorder::Starts, starts);
}

TEST_F(OptionsEx, ChangesArePublishedAndReloaded) {
  TQuelbaModuleOptionsEx options("prog.exe");
  options.SetMailBody("published");
  ASSERT_FALSE(TExRecorder::Stored.empty());
  EXPECT_EQ(TExRecorder::Stored[0], '\1');
  EXPECT_EQ(TExRecorder::Stored.substr(1), options.SaveToBytes());

  TExRecorder::Shared = std::string(1, '\1') + Golden("roundtrip.bin");
  options.Reload();
  EXPECT_EQ(options.SaveToBytes(), Golden("roundtrip.bin"));

  TExRecorder::Shared = std::string(1, '\0') + Golden("default.bin");
  options.Reload();
  EXPECT_EQ(options.SaveToBytes(), Golden("roundtrip.bin")) << "a block marked invalid is ignored";
}

}  // namespace
}  // namespace exclog
