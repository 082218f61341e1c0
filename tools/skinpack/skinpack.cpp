// skinpack: builds a skin container from a folder of BMP files and one INI.
//
//   skinpack [options] FOLDER OUT       pack FOLDER's *.bmp and its one *.ini
//   skinpack --stream IN OUT            only the LZHUF stream of IN (no size)
//
// Options (most of them write hostile containers for tests):
//   --version N         container version (default 70000; any number is written)
//   --eol crlf|lf|cr    line end after each name (default crlf)
//   --reserved A,B      the two reserved header words
//   --extra-fill BYTE   fill of the version's extra block
//   --trailer N         N junk bytes after the last entry
//   --declared-size N   unpacked size written in front instead of the true one
//   --truncate N        cut N bytes off the end of the compressed stream
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/skinpack/LzhufEncoder.h"
#include "tools/skinpack/SkinWriter.h"

namespace fs = std::filesystem;
using namespace skinpack;

namespace {

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

uint32_t Number(const std::string& text) {
  size_t used = 0;
  unsigned long long v = std::stoull(text, &used, 0);
  if (used != text.size() || v > 0xFFFFFFFFull) throw std::runtime_error("bad number: " + text);
  return static_cast<uint32_t>(v);
}

int Usage() {
  std::fprintf(stderr,
               "usage: skinpack [--version N] [--eol crlf|lf|cr] [--reserved A,B] "
               "[--extra-fill B] [--trailer N] [--declared-size N] [--truncate N] FOLDER OUT\n"
               "       skinpack --stream IN OUT\n");
  return 2;
}

int Run(int argc, char** argv) {
  TSkinPackOptions options;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::vector<std::string> positional;
  bool streamOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw std::runtime_error(a + " needs a value");
      return args[++i];
    };
    if (a == "--stream") {
      streamOnly = true;
    } else if (a == "--version") {
      options.Version = Number(value());
    } else if (a == "--eol") {
      std::string v = value();
      if (v == "crlf") options.LineEnd = "\r\n";
      else if (v == "lf") options.LineEnd = "\n";
      else if (v == "cr") options.LineEnd = "\r";
      else throw std::runtime_error("bad --eol " + v);
    } else if (a == "--reserved") {
      std::string v = value();
      size_t comma = v.find(',');
      if (comma == std::string::npos) throw std::runtime_error("--reserved needs A,B");
      options.Reserved1 = Number(v.substr(0, comma));
      options.Reserved2 = Number(v.substr(comma + 1));
    } else if (a == "--extra-fill") {
      options.ExtraFill = static_cast<uint8_t>(Number(value()));
    } else if (a == "--trailer") {
      options.Trailer.assign(Number(value()), 0xA5);
    } else if (a == "--declared-size") {
      options.DeclaredSize = Number(value());
    } else if (a == "--truncate") {
      options.TruncateBy = Number(value());
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return Usage();
  if (streamOnly) {
    WriteFile(positional[1], LzhufEncode(ReadWholeFile(positional[0])));
    return 0;
  }
  WriteFile(positional[1], BuildSkinContainer(CollectSkinFolder(positional[0]), options));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skinpack: %s\n", e.what());
    return 1;
  }
}
