#pragma once
// The BMP samples of tests/data/bmp/ as listed by their manifest (written by
// tests/peers/bmp_samples.py): each file with the peer's decoding beside it.
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestPaths.h"

namespace velmora::test {

struct TBmpSample {
  std::string Stem;  // "tests/data/bmp/" + Stem + ".bmp" is the file, + "." + Kind its decoding
  int Width = 0, Height = 0, Bits = 0, HeaderSize = 0;
  std::string Kind;  // "rgb" or "rgba"
};

inline std::vector<TBmpSample> BmpSamples() {
  std::istringstream in(ReadFileBytes(SourcePath("tests/data/bmp/manifest.txt")));
  std::vector<TBmpSample> samples;
  TBmpSample s;
  std::string file;
  while (in >> file >> s.Width >> s.Height >> s.Bits >> s.HeaderSize >> s.Kind) {
    s.Stem = file.substr(0, file.size() - 4);
    samples.push_back(s);
  }
  return samples;
}

}  // namespace velmora::test
