#include "exclog/core/EZip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/time.h>

#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Deflate(const std::string& data, const std::string& dictionary = "") {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, 9), Z_OK);
  if (!dictionary.empty())
    deflateSetDictionary(&z, U8(dictionary), static_cast<uInt>(dictionary.size()));
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = const_cast<Bytef*>(U8(data));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string InflateError(const std::string& packed, size_t cap) {
  try {
    InflateToBuffer(U8(packed), packed.size(), cap);
  } catch (const EZLibError& e) {
    return e.Message();
  }
  return "<no error>";
}

TEST(EZipInflate, WholeStreamsOnlyWithinTheCap) {
  std::string zeros(100000, '\0');
  std::string packed = Deflate(zeros);
  EXPECT_EQ(InflateToBuffer(U8(packed), packed.size(), 100000), zeros);
  EXPECT_NE(InflateError(packed, 99999), "<no error>");
  // Cut before the Adler-32 trailer, and empty: zlib's "buffer error".
  EXPECT_EQ(InflateError(packed.substr(0, packed.size() - 2), 1 << 20), "buffer error");
  EXPECT_EQ(InflateError("", 1 << 20), "buffer error");
  // A stream that needs a preset dictionary is refused, not returned empty.
  EXPECT_EQ(InflateError(Deflate("abcabcabc", "abc"), 1 << 20), "need dictionary");
  std::string damaged = packed;
  damaged[0] = 0x79;
  EXPECT_EQ(InflateError(damaged, 1 << 20), "incorrect header check");
  EXPECT_FALSE(TryInflateToBuffer(U8(damaged), damaged.size(), 1 << 20));
  EXPECT_TRUE(TryInflateToBuffer(U8(packed), packed.size(), 1 << 20));
}

#ifndef _WIN32
class EZipArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
  // A file of `size` random bytes (the first half compressible) with the given
  // modification time.
  std::string MakeFile(const std::string& name, size_t size, time_t when) {
    std::string path = dir_ / name;
    std::mt19937 rng(static_cast<unsigned>(size));
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = i < size / 2 ? uint8_t('a' + i % 7) : uint8_t(rng());
    peers::WriteBytes(path, bytes);
    struct timeval times[2] = {{when, 0}, {when, 0}};
    utimes(path.c_str(), times);
    return path;
  }
  peers::TScratchDir dir_;
};

TEST_F(EZipArchive, ToolsAndPythonReadEveryEntry) {
  std::filesystem::create_directories(dir_ / "other");
  // 2026-07-01 13:14:16 UTC is 15:14:16 in Berlin (summer time).
  std::string report = MakeFile("report.txt", 5000, 1782911656);
  std::string big = MakeFile("big.bin", 300000, 1782911656);
  std::string second = MakeFile("other/report.txt", 10, 1782911656);
  std::string noExtension = MakeFile("README", 1, 1782911656);
  std::string empty = MakeFile("empty.log", 0, 1782911656);
  std::string zip = dir_ / "BugReport.zip";
  peers::WriteBytes(zip, {'o', 'l', 'd'});
  EXPECT_TRUE(ZipFiles(zip, "", {report, big, second, report, dir_.Path() + "/other/../report.txt",
                                 noExtension, empty}));
  auto test = peers::Run("unzip -t " + peers::Quote(zip));
  EXPECT_EQ(test.ExitCode, 0) << test.Output;
  auto info = peers::Run("TZ=Europe/Berlin zipinfo -v " + peers::Quote(zip));
  ASSERT_EQ(info.ExitCode, 0) << info.Output;
  size_t entries = 0, pos = 0;
  while ((pos = info.Output.find("compression method:", pos)) != std::string::npos) {
    size_t eol = info.Output.find('\n', pos);
    EXPECT_NE(info.Output.substr(pos, eol - pos).find("deflated"), std::string::npos);
    ++entries;
    pos = eol;
  }
  EXPECT_EQ(entries, 5u) << info.Output;
  EXPECT_NE(info.Output.find("maximum"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("2026 Jul 1 15:14:16"), std::string::npos) << info.Output;
  // Every entry, byte for byte; the second report.txt under its own name.
  auto py = peers::Run(
      "/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); d=sys.argv[2]; "
      "m={'report.txt':'report.txt','big.bin':'big.bin','report (2).txt':'other/report.txt',"
      "'README':'README','empty.log':'empty.log'}; "
      "print(sorted(z.namelist())==sorted(m) and all(z.read(n)==open(d+'/'+m[n],'rb').read() for n in m))\" " +
      peers::Quote(zip) + " " + peers::Quote(dir_.Path()));
  EXPECT_EQ(py.Output, "True\n");
}

TEST_F(EZipArchive, PasswordOpensOnlyWithItsPassword) {
  std::string report = MakeFile("report.txt", 70000, 1782911656);
  std::string zip = dir_ / "secret.zip";
  ASSERT_TRUE(ZipFiles(zip, "s3cret", {report}));
  auto right = peers::Run("unzip -P s3cret -p " + peers::Quote(zip) + " report.txt | cmp - " +
                          peers::Quote(report) + " && unzip -P s3cret -t " + peers::Quote(zip));
  EXPECT_EQ(right.ExitCode, 0) << right.Output;
  auto wrong = peers::Run("unzip -P wrong -t " + peers::Quote(zip));
  EXPECT_NE(wrong.ExitCode, 0) << wrong.Output;
  auto none = peers::Run("unzip -P '' -t " + peers::Quote(zip) + " </dev/null");
  EXPECT_NE(none.ExitCode, 0) << none.Output;
}

TEST_F(EZipArchive, FailuresAreReported) {
  std::string report = MakeFile("report.txt", 10, 1782911656);
  EXPECT_FALSE(ZipFiles(dir_ / "a.zip", "", {}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.zip"));
  EXPECT_FALSE(ZipFiles(dir_ / "b.zip", "", {report, dir_ / "missing.txt"}));
  EXPECT_EQ(peers::Run("unzip -t " + peers::Quote(dir_ / "b.zip")).ExitCode, 0);
  EXPECT_FALSE(ZipFiles(dir_ / "no/such/folder.zip", "", {report}));
  // A folder opens but fails its first read, after its entry was begun: never a
  // cut entry, the archive fails whole.
  std::filesystem::create_directories(dir_ / "folder");
  EXPECT_FALSE(ZipFiles(dir_ / "c.zip", "", {report, dir_ / "folder"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "c.zip"));
  TZipWriter writer;
  EXPECT_FALSE(writer.AddFile(report, "report.txt"));
  EXPECT_FALSE(writer.Destroy());
}
#endif

}  // namespace
}  // namespace exclog
