// skindump: lists a skin container's entries and prints its INI.
//
//   skindump FILE                 header, one line per entry (name, size, CRC-32), INI text
//   skindump FILE --extract NAME OUT   writes one entry's bytes to OUT
// Exits 1 when the container cannot be read, saying why.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

#include "skin/container/SkinMessage.h"
#include "skin/container/SkinReader.h"

namespace {

void PrintMessage(const std::string& text) {
  std::string shown = text;
  for (char& c : shown)
    if (c == '\r') c = ' ';
  std::fprintf(stderr, "skindump: %s\n", shown.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 5 && std::string(argv[2]) == "--extract")) {
    std::fprintf(stderr, "usage: skindump FILE [--extract NAME OUT]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "skindump: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  skin::SetSkinMessageProc(PrintMessage);
  skin::TSkinReader reader;
  if (!reader.LoadFromBytes(bytes)) {
    std::string why = skin::SkinLoadFailureText(reader.Failure());
    if (reader.Failure() == skin::TSkinLoadFailure::UnknownVersion)
      why += " " + std::to_string(reader.ImageVersion());
    std::fprintf(stderr, "skindump: %s is not a readable skin container: %s\n", argv[1], why.c_str());
    return 1;
  }
  std::vector<uint8_t> entry;
  if (argc == 5) {
    if (!reader.FindEntry(argv[3], entry)) {
      std::fprintf(stderr, "skindump: no entry %s\n", argv[3]);
      return 1;
    }
    std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(entry.data()), static_cast<std::streamsize>(entry.size()));
    return out ? 0 : 1;
  }
  std::printf("version %u, %zu entries\n", reader.Version(), reader.Names().size());
  for (const std::string& name : reader.Names()) {
    reader.FindEntry(name, entry);
    unsigned long crc = crc32(0L, entry.data(), static_cast<uInt>(entry.size()));
    std::printf("%-32s %10zu  %08lx\n", name.c_str(), entry.size(), crc);
  }
  std::string iniName;
  if (reader.FindFirst(".ini", entry, iniName)) {
    std::printf("--- %s\n", iniName.c_str());
    std::fwrite(entry.data(), 1, entry.size(), stdout);
    if (!entry.empty() && entry.back() != '\n') std::printf("\n");
  }
  return 0;
}
