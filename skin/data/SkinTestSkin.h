#pragma once
// Test helper: the frame-coded test skin drawn by the project's generator into a
// temporary folder once per test program, its manifest, and an entry lookup over
// the folder. Natively the generator runs through the shell; under Wine through
// the host-command bridge.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "skin/container/SkinModel.h"
#include "skin/data/WinSkinData.h"
#include "tests/support/TestPaths.h"
#ifdef _WIN32
#include "skin/data/WinSkinData_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"
#else
#include <unistd.h>
#endif

namespace skintest {

struct TManifestImage {
  int Id = 0;
  std::string Section, Key, File;
  int Width = 0, Height = 0, Frames = 0, FrameWidth = 0, FrameHeight = 0;
  bool Stacked = false;
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct TTestSkin {
  std::string HostDir;  // the generator's output folder, as a Linux path
  std::vector<TManifestImage> Images;
  std::map<std::string, std::string> Values;  // "Section Key" -> value
  std::string IniText;
  bool Ok = false;

  const TManifestImage* Find(const std::string& section, const std::string& key) const {
    for (const auto& i : Images)
      if (i.Section == section && i.Key == key) return &i;
    return nullptr;
  }
  std::string Value(const std::string& section, const std::string& key) const {
    auto it = Values.find(section + " " + key);
    return it == Values.end() ? std::string() : it->second;
  }
  // Reads a file of the folder; letter case of `name` ignored (the files are lower case).
  bool ReadEntry(std::string_view name, std::vector<uint8_t>& bytes) const {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::ifstream in(velmora::test::HostPath(HostDir + "/" + lower), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }
  skin::TSkinEntryLookup Lookup() const {
    return [this](std::string_view n, std::vector<uint8_t>& b) { return ReadEntry(n, b); };
  }
};

inline bool RunHost(const std::string& cmd) {
#ifdef _WIN32
  return velmora::test::RunHostCommand(cmd + " && echo GENERATED")
      .value_or("")
      .find("GENERATED") != std::string::npos;
#else
  return std::system(cmd.c_str()) == 0;
#endif
}

// What removes the generated files at the end of the test program.
inline std::string& CleanupCommand() {
  static std::string command;
  return command;
}

class TCleanupEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    if (!CleanupCommand().empty()) RunHost(CleanupCommand());
  }
};
inline const bool cleanupRegistered =
    (::testing::AddGlobalTestEnvironment(new TCleanupEnvironment), true);

inline TManifestImage ParseImageLine(const std::string& line) {
  TManifestImage m;
  std::istringstream in(line.substr(6));
  std::string field;
  while (in >> field) {
    auto eq = field.find('=');
    if (eq == std::string::npos) continue;
    std::string k = field.substr(0, eq), v = field.substr(eq + 1);
    auto num = [&] { return std::atoi(v.c_str()); };
    if (k == "id") m.Id = num();
    else if (k == "section") m.Section = v;
    else if (k == "key") m.Key = v;
    else if (k == "file") m.File = v;
    else if (k == "width") m.Width = num();
    else if (k == "height") m.Height = num();
    else if (k == "frames") m.Frames = num();
    else if (k == "stacked") m.Stacked = num() != 0;
    else if (k == "frameWidth") m.FrameWidth = num();
    else if (k == "frameHeight") m.FrameHeight = num();
    else if (k == "left") m.Left = num();
    else if (k == "top") m.Top = num();
    else if (k == "right") m.Right = num();
    else if (k == "bottom") m.Bottom = num();
  }
  return m;
}

// The generated test skin (drawn on first use).
inline const TTestSkin& TestSkin() {
  static TTestSkin skin = [] {
    TTestSkin s;
    char tag[32];
    // Unique per program run: both trees and several workspaces run at once.
#ifdef _WIN32
    unsigned pid = GetCurrentProcessId() | 0x80000000u;
#else
    unsigned pid = static_cast<unsigned>(getpid());
#endif
    std::snprintf(tag, sizeof tag, "%u-%u", pid, static_cast<unsigned>(std::time(nullptr)));
    s.HostDir = std::string("/tmp/velmora-skindata-") + tag;
    CleanupCommand() = "rm -rf '" + s.HostDir + "' '" + s.HostDir + ".skn'";
    std::string gen = std::string(VELMORA_SOURCE_DIR) + "/tools/skingen/skingen.py";
    if (!RunHost("/usr/bin/python3 '" + gen + "' test '" + s.HostDir + "' >/dev/null")) return s;
    std::ifstream manifest(velmora::test::HostPath(s.HostDir + "/manifest.txt"));
    std::string line;
    while (std::getline(manifest, line)) {
      if (line.rfind("image ", 0) == 0) {
        s.Images.push_back(ParseImageLine(line));
      } else if (line.rfind("value ", 0) == 0) {
        std::string rest = line.substr(6);
        auto sp = rest.find(' ');
        auto eq = rest.find('=', sp);
        if (sp == std::string::npos || eq == std::string::npos) continue;
        s.Values[rest.substr(0, sp) + " " + rest.substr(sp + 1, eq - sp - 1)] = rest.substr(eq + 1);
      }
    }
    std::vector<uint8_t> ini;
    if (s.ReadEntry("skin.ini", ini)) s.IniText.assign(ini.begin(), ini.end());
    s.Ok = !s.Images.empty() && !s.IniText.empty();
    return s;
  }();
  return skin;
}

// The test skin packed into a container by the independent peer writer
// (tests/peers/make_container.py, Java LHA coder); empty when that failed.
inline const std::vector<uint8_t>& TestSkinContainer() {
  static std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> out;
    const TTestSkin& s = TestSkin();
    if (!s.Ok) return out;
    std::string cmd = "cd '" + s.HostDir + "' && /usr/bin/python3 '" + VELMORA_SOURCE_DIR +
                      "/tests/peers/make_container.py' 70000 crlf '" + s.HostDir + ".skn'";
    cmd += " $(for f in *.bmp skin.ini; do printf '%s=%s ' \"$f\" \"$PWD/$f\"; done)";
    if (!RunHost(cmd + " >/dev/null")) return out;
    std::ifstream in(velmora::test::HostPath(s.HostDir + ".skn"), std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return out;
  }();
  return bytes;
}

// A fresh skin component holding the test skin, parsed.
inline std::unique_ptr<skin::TSkinData> LoadedTestSkin() {
  auto data = std::make_unique<skin::TSkinData>();
  data->SetSkinStreamBytes(TestSkinContainer());
  EXPECT_TRUE(data->LoadSkin());
  return data;
}

#ifdef _WIN32
// GUI tests of the skin engine: the form units and the skin component's Windows
// side, started once per test program.
inline void StartSkinForms() {
  velmora::test::StartForms();
  static const bool started = (skin::StartSkinDataWin(GetModuleHandleA(nullptr)), true);
  (void)started;
}
#endif

// `entries` (name, bytes) packed by the same peer writer, in a folder inside the
// test skin's (removed with it); empty when that failed.
inline std::vector<uint8_t> PeerContainer(
    const std::string& folder, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  const TTestSkin& s = TestSkin();
  if (!s.Ok) return {};
  const std::string dir = s.HostDir + "/" + folder;
  if (!RunHost("mkdir -p '" + dir + "'")) return {};
  std::string args;
  for (const auto& [name, bytes] : entries) {
    std::ofstream out(velmora::test::HostPath(dir + "/" + name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return {};
    args += " '" + name + "=" + dir + "/" + name + "'";
  }
  if (!RunHost("/usr/bin/python3 '" + std::string(VELMORA_SOURCE_DIR) +
               "/tests/peers/make_container.py' 70000 crlf '" + dir + ".skn'" + args + " >/dev/null"))
    return {};
  std::ifstream in(velmora::test::HostPath(dir + ".skn"), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace skintest
