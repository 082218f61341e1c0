// Checks the generated skins: the test skin names every section and key the skin
// loader reads (list written by hand from the loader's parse order), its images
// are frame-coded as its manifest says, and the default skin loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>

#include "classlib/BmpCodec.h"
#include "skin/container/QuickIni.h"
#include "skin/container/SkinReader.h"
#include "tests/peers/PeerTools.h"

namespace {

const std::string kSkins = VELMORA_SKINS_DIR;

struct TLoadedSkin {
  skin::TSkinReader Reader;
  skin::TQuickIni Ini;
};

void LoadSkin(const std::string& file, TLoadedSkin& skin) {
  ASSERT_TRUE(skin.Reader.LoadFromBytes(peers::ReadBytes(kSkins + "/" + file)));
  std::vector<uint8_t> ini;
  std::string name;
  ASSERT_TRUE(skin.Reader.FindFirst(".ini", ini, name));
  skin.Ini.LoadFromText(std::string(ini.begin(), ini.end()));
}

// Keys every element section read with the generic keys carries.
const std::vector<std::string> kGenericKeys = {
    "Image", "Style", "LeftWidth", "RightWidth", "TopHeight", "BottomHeight", "Trans", "Tile",
    "NormalColour", "MouseOverColour", "PressedColour", "NormalColour2", "MouseOverColour2",
    "PressedColour2"};

std::vector<std::pair<std::string, std::string>> ExpectedKeys() {
  std::vector<std::pair<std::string, std::string>> k;
  auto add = [&](const std::string& section, std::initializer_list<const char*> keys) {
    for (const char* key : keys) k.emplace_back(section, key);
  };
  add("TitlebarSkin", {"SkinName"});
  for (const char* b : {"Left", "Right", "Top", "Bottom"}) {
    std::string s = b;
    for (std::string suffix : {"", "TopHeight", "BotHeight", "Frame", "Stretch", "Trans"})
      k.emplace_back("Personality", s + suffix);
  }
  add("Personality", {"TextBack", "TextShift", "TextShiftVert", "TextRightClip", "TextAlignment",
                      "Textbackground", "TXTBackleft", "TXTBackRight", "ActiveTextR", "ActiveTextG",
                      "ActiveTextB", "InActiveTextR", "InActiveTextG", "InActiveTextB", "menuBar",
                      "TileMenu", "TileLeftMenu", "TileRightMenu"});
  add("Fonts", {"FontHeight"});
  add("Colours", {"WindowText", "TitleTextActive", "TitleTextNoActive", "ButtonFace", "ButtonText",
                  "ButtonHilight", "Buttonlight", "ButtonShadow", "ButtonDkShadow", "HilightText",
                  "Hilight", "Menubar", "MenuBarText", "MenuText", "Menu", "Scrollbar"});
  for (int i = 0; i < 5; ++i) k.emplace_back("Colour" + std::to_string(i), "color");
  for (int i = 0; i < 10; ++i) k.emplace_back("Customcolors", "Color" + std::to_string(i));
  add("MDICONTROLS", {"Image"});
  add("Buttons", {"LeftWidth", "RightWidth", "TopHeight", "BottomHeight", "Trans", "Bitmap", "Tile",
                  "CheckButton", "RadioButton", "NormalColour", "MouseOverColour", "PressedColour",
                  "RadioButtonFrame", "CheckButtonFrame", "NormalColour2", "MouseOverColour2",
                  "PressedColour2"});
  add("Progress", {"Bitmap", "Style", "LeftWidth", "RightWidth", "TopHeight", "BottomHeight", "Trans",
                   "Tile"});
  for (const char* s : {"Progress.Chunk", "GroupBoxEdge", "GroupBox", "Tabs", "StatusBarEdges", "Tab.Pane",
                        "ToolBars", "ComboButton", "SunkEdge", "ExtraImages", "Headerbar", "MenuItem",
                        "MenuBackground", "Scrollbar", "HorzScroll", "VertScroll", "HorzScrollThumb",
                        "VertScrollThumb", "Trackbar.ThumbHorz", "Trackbar.ThumbVert", "Trackbar.ThumbLeft",
                        "Trackbar.ThumbRight", "Trackbar.ThumbUp", "Trackbar.ThumbDown", "UpDown.Horz",
                        "UpDown.Vert", "Track", "TRACKVERT"}) {
    for (const std::string& key : kGenericKeys) k.emplace_back(s, key);
  }
  // Frame where the loader reads it (not for GroupBox, Tabs, UpDown, ComboButton).
  for (const char* s : {"Progress.Chunk", "GroupBoxEdge", "StatusBarEdges", "Tab.Pane", "ToolBars",
                        "SunkEdge", "ExtraImages", "Headerbar", "MenuItem", "MenuBackground", "Scrollbar",
                        "HorzScroll", "VertScroll", "Trackbar.ThumbHorz", "Track", "TRACKVERT"})
    k.emplace_back(s, "Frame");
  add("GroupBox", {"BackgroundAlignment", "BackgroundLeftShift", "BackgroundRightShift"});
  add("Tabs", {"Border"});
  add("UpDown.Horz", {"GlyphImage"});
  add("UpDown.Vert", {"GlyphImage"});
  add("HorzScrollThumb", {"FrameCount"});
  add("VertScrollThumb", {"FrameCount"});
  return k;
}

bool IsImageKey(const std::string& section, const std::string& key) {
  static const char* kImageKeys[] = {"Left", "Right", "Top", "Bottom", "TextBack", "menuBar", "Image",
                                     "Bitmap", "CheckButton", "RadioButton", "Border", "GlyphImage",
                                     "ButtonImage"};
  for (const char* k : kImageKeys)
    if (key == k) return section != "Customcolors";
  return false;
}

TEST(TestSkin, HoldsEverySectionAndKeyTheLoaderReads) {
  TLoadedSkin skin;
  LoadSkin("test.skn", skin);
  std::vector<uint8_t> entry;
  for (const auto& [section, key] : ExpectedKeys()) {
    std::string value = skin.Ini.ReadString(section, key, "");
    EXPECT_FALSE(value.empty()) << "[" << section << "] " << key;
    if (!value.empty() && IsImageKey(section, key)) {
      ASSERT_TRUE(skin.Reader.FindEntry(value, entry)) << section << "." << key << " " << value;
      TBmpImage bmp;
      EXPECT_EQ(DecodeBmpFile(entry.data(), entry.size(), bmp), BmpOk) << value;
      EXPECT_EQ(bmp.BitCount, 24) << value;
    }
  }
  // Caption buttons: at least close, maximize, minimize and the system menu, plus the
  // sections the loader must skip.
  std::vector<std::string> sections = skin.Ini.ReadSections();
  int captionButtons = 0;
  for (const std::string& s : sections) {
    if (s.rfind("BUTTON.", 0) != 0 || s == "BUTTON.RADIO" || s == "BUTTON.CHECKBOX") continue;
    ++captionButtons;
    for (const char* key : {"Action", "Align", "Xcoord", "Ycoord", "Visibility", "Visibility1", "CombineOp",
                            "ButtonImage"})
      EXPECT_FALSE(skin.Ini.ReadString(s, key, "").empty()) << s << " " << key;
  }
  EXPECT_GE(captionButtons, 6);
}

// One line of the manifest: "image id=3 section=... key=..." as a map.
std::vector<std::map<std::string, std::string>> ManifestImages() {
  std::vector<std::map<std::string, std::string>> images;
  std::vector<uint8_t> raw = peers::ReadBytes(kSkins + "/test-manifest.txt");
  std::istringstream lines(std::string(raw.begin(), raw.end()));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("image ", 0) != 0) continue;
    std::map<std::string, std::string> fields;
    std::istringstream words(line.substr(6));
    std::string word;
    while (words >> word) {
      size_t eq = word.find('=');
      fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    images.push_back(fields);
  }
  return images;
}

TEST(TestSkin, ImagesAreFrameCodedAsTheManifestSays) {
  TLoadedSkin skin;
  LoadSkin("test.skn", skin);
  auto images = ManifestImages();
  ASSERT_GT(images.size(), 40u);
  std::vector<uint8_t> entry;
  for (auto& m : images) {
    SCOPED_TRACE(m["file"]);
    EXPECT_EQ(skin.Ini.ReadString(m["section"], m["key"], ""), m["file"]);
    ASSERT_TRUE(skin.Reader.FindEntry(m["file"], entry));
    TBmpImage bmp;
    ASSERT_EQ(DecodeBmpFile(entry.data(), entry.size(), bmp), BmpOk);
    int frames = std::stoi(m["frames"]), fw = std::stoi(m["frameWidth"]), fh = std::stoi(m["frameHeight"]);
    int left = std::stoi(m["left"]), top = std::stoi(m["top"]), right = std::stoi(m["right"]);
    int bottom = std::stoi(m["bottom"]);
    bool stacked = m["stacked"] == "1";
    EXPECT_EQ(bmp.Pixels.Width, stacked ? fw : fw * frames);
    EXPECT_EQ(bmp.Pixels.Height, stacked ? fh * frames : fh);
    int id = std::stoi(m["id"]);
    for (int f = 0; f < frames; ++f) {
      int ox = stacked ? 0 : f * fw, oy = stacked ? f * fh : 0;
      // Centre slice (4) in the middle of the frame; a corner pixel magenta when
      // the top-left slice exists.
      EXPECT_EQ(bmp.Pixels.At(ox + left + (fw - left - right) / 2, oy + top + (fh - top - bottom) / 2),
                PixelFromRGB(static_cast<uint8_t>(id), static_cast<uint8_t>(f * 9 + 4), 0x11));
      if (left > 0 && top > 0) {
        EXPECT_EQ(bmp.Pixels.At(ox, oy) & 0xFFFFFF, 0xFF00FFu);
        if (left > 1 || top > 1) {
          EXPECT_EQ(bmp.Pixels.At(ox + left - 1, oy + top - 1),
                    PixelFromRGB(static_cast<uint8_t>(id), static_cast<uint8_t>(f * 9), 0x11));
        }
      }
    }
  }
}

// Sizes that make the loader's derived frame counts come out as the manifest says.
TEST(TestSkin, ImagesExerciseTheDerivedFrameCounts) {
  TLoadedSkin skin;
  LoadSkin("test.skn", skin);
  auto size = [&](const std::string& section, const std::string& key) {
    std::vector<uint8_t> entry;
    EXPECT_TRUE(skin.Reader.FindEntry(skin.Ini.ReadString(section, key, ""), entry));
    TBmpImage bmp;
    EXPECT_EQ(DecodeBmpFile(entry.data(), entry.size(), bmp), BmpOk);
    return std::pair{bmp.Pixels.Width, bmp.Pixels.Height};
  };
  // Caption buttons without a "frame" key: 3 frames up to a ratio of 3.8, else 6.
  EXPECT_EQ(skin.Ini.ReadString("BUTTON.RATIO3", "frame", ""), "");
  auto [w3, h3] = size("BUTTON.RATIO3", "ButtonImage");
  EXPECT_LE(w3 * 10, h3 * 38);
  EXPECT_EQ(w3 % 3, 0);
  auto [w6, h6] = size("BUTTON.RATIO6", "ButtonImage");
  EXPECT_GT(w6 * 10, h6 * 38);
  EXPECT_EQ(w6 % 6, 0);
  // A dropped button: Action -1 with a Visibility other than 0.
  EXPECT_EQ(skin.Ini.ReadInteger("BUTTON.DROPPED", "Action", 0), -1);
  EXPECT_NE(skin.Ini.ReadInteger("BUTTON.DROPPED", "Visibility", 0), 0);
  // Check and radio strips under 16 pixels high: frames of 13, 12 and 8 of them.
  EXPECT_EQ(skin.Ini.ReadInteger("Buttons", "CheckButtonFrame", -1), 0);
  EXPECT_EQ(size("Buttons", "CheckButton"), (std::pair{12 * 13, 13}));
  EXPECT_EQ(size("Buttons", "RadioButton"), (std::pair{8 * 13, 13}));
  // Keys the loader overrides or limits: MenuItem Frame 3 (becomes 5), Headerbar
  // Frame 0 (becomes 5), Tab.Pane margins 6 (limited to 4).
  EXPECT_EQ(skin.Ini.ReadInteger("MenuItem", "Frame", 0), 3);
  EXPECT_EQ(size("MenuItem", "Image").first % 5, 0);
  EXPECT_EQ(skin.Ini.ReadInteger("Headerbar", "Frame", -1), 0);
  EXPECT_EQ(skin.Ini.ReadInteger("Tab.Pane", "LeftWidth", 0), 6);
  // MDI controls: 12 equal columns.
  EXPECT_EQ(size("MDICONTROLS", "Image").first % 12, 0);
  // Five ColourN sections besides [Colours].
  int colourSections = 0;
  for (const std::string& s : skin.Ini.ReadSections())
    if (s.size() > 6 && s.rfind("Colour", 0) == 0 && s != "Colours") ++colourSections;
  EXPECT_EQ(colourSections, 5);
}

TEST(DefaultSkin, LoadsWithTheSameSectionsButNoTestOnlyButtons) {
  TLoadedSkin test, def;
  LoadSkin("test.skn", test);
  LoadSkin("default.skn", def);
  for (const auto& [section, key] : ExpectedKeys()) {
    std::string value = def.Ini.ReadString(section, key, "");
    EXPECT_FALSE(value.empty()) << "[" << section << "] " << key;
    std::vector<uint8_t> entry;
    if (IsImageKey(section, key)) {
      EXPECT_TRUE(def.Reader.FindEntry(value, entry)) << value;
    }
  }
  EXPECT_EQ(def.Ini.FindSection("BUTTON.DROPPED"), -1);
  EXPECT_GE(test.Ini.FindSection("BUTTON.DROPPED"), 0);
}

// Relative luminance contrast of two colours (1 to 21).
double Contrast(uint32_t a, uint32_t b) {
  auto luminance = [](uint32_t c) {
    auto channel = [](uint32_t v) {
      const double x = v / 255.0;
      return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel((c >> 16) & 0xFF) + 0.7152 * channel((c >> 8) & 0xFF) + 0.0722 * channel(c & 0xFF);
  };
  const double x = luminance(a), y = luminance(b);
  return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// A menu item is drawn on frame 1 in "MenuText", selected on frame 4 in
// "HilightText": both must read.
TEST(DefaultSkin, MenuItemTextsReadOnTheirFaces) {
  TLoadedSkin def;
  LoadSkin("default.skn", def);
  std::vector<uint8_t> entry;
  ASSERT_TRUE(def.Reader.FindEntry(def.Ini.ReadString("MenuItem", "Image", ""), entry));
  TBmpImage bmp;
  ASSERT_EQ(DecodeBmpFile(entry.data(), entry.size(), bmp), BmpOk);
  auto colour = [&](const char* key) {
    unsigned r = 0, g = 0, b = 0;
    std::istringstream(def.Ini.ReadString("Colours", key, "")) >> r >> g >> b;
    return (r << 16) | (g << 8) | b;
  };
  const int frameWidth = bmp.Pixels.Width / 5;
  auto face = [&](int frame) { return bmp.Pixels.At((frame - 1) * frameWidth + frameWidth / 2, bmp.Pixels.Height / 2) & 0xFFFFFF; };
  EXPECT_GE(Contrast(face(1), colour("MenuText")), 4.5);
  EXPECT_GE(Contrast(face(4), colour("HilightText")), 4.5);
}

TEST(SkinDump, ListsEveryEntryAndTheIni) {
  TLoadedSkin skin;
  LoadSkin("test.skn", skin);
  peers::TRunResult r = peers::Run(peers::Quote(VELMORA_SKINDUMP) + " " + peers::Quote(kSkins + "/test.skn"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_NE(r.Output.find("version 70000, " + std::to_string(skin.Reader.Names().size()) + " entries"),
            std::string::npos);
  for (const std::string& name : skin.Reader.Names()) EXPECT_NE(r.Output.find(name), std::string::npos) << name;
  EXPECT_NE(r.Output.find("[Personality]"), std::string::npos);
  // The checksum column agrees with Python's zlib for one entry.
  peers::TScratchDir dir;
  r = peers::Run(peers::Quote(VELMORA_SKINDUMP) + " " + peers::Quote(kSkins + "/test.skn") +
                 " --extract Button.BMP " + peers::Quote(dir / "b.bmp") +
                 " && /usr/bin/python3 -c 'import zlib,sys; print(\"%08x\" % zlib.crc32(open(sys.argv[1],\"rb\").read()))' " +
                 peers::Quote(dir / "b.bmp"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  std::string crc = r.Output.substr(0, 8);
  r = peers::Run(peers::Quote(VELMORA_SKINDUMP) + " " + peers::Quote(kSkins + "/test.skn") + " | grep '^button.bmp '");
  EXPECT_NE(r.Output.find(crc), std::string::npos) << r.Output << " vs " << crc;
  // A broken file is refused with a non-zero exit.
  peers::WriteBytes(dir / "bad.skn", {1, 2, 3, 4, 5});
  r = peers::Run(peers::Quote(VELMORA_SKINDUMP) + " " + peers::Quote(dir / "bad.skn"));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Output.find("not a readable skin container: "), std::string::npos) << r.Output;
}

TEST(SkinPackTool, OptionsWriteTheVariantsTheReaderRefusesOrAccepts) {
  peers::TScratchDir dir;
  const std::string pack = peers::Quote(VELMORA_SKINPACK) + " ";
  const std::string dump = peers::Quote(VELMORA_SKINDUMP) + " ";
  const std::string folder = peers::Quote(kSkins + "/test") + " ";
  struct Case {
    std::string options;
    bool readable;
    std::string expect;  // in skindump's output (the reason when unreadable)
  } cases[] = {
      {"--version 30000 --eol cr --reserved 0xFFFFFFFF,7 --extra-fill 0xAB --trailer 9", true,
       "version 30000"},
      {"--version 20000 --eol lf", true, "version 20000"},
      {"--declared-size 100", false, "container: the names run past the unpacked image"},
      {"--declared-size 4000000000", false, "container: the declared unpacked size is above the limit"},
      {"--truncate 50", false, "container: the compressed stream is truncated"},
      {"--version 12345", false, "Older Skin File"},
      {"--version 12345", false, "container: unknown version 12345"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    peers::TRunResult r = peers::Run(pack + c.options + " " + folder + peers::Quote(dir / "v.skn"));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = peers::Run(dump + peers::Quote(dir / "v.skn"));
    EXPECT_EQ(r.ExitCode, c.readable ? 0 : 1) << r.Output;
    EXPECT_NE(r.Output.find(c.expect), std::string::npos) << r.Output;
  }
  // The bare stream mode and bad usage.
  peers::TRunResult r = peers::Run(pack + "--stream " + peers::Quote(kSkins + "/test/skin.ini") + " " +
                                   peers::Quote(dir / "ini.lh1"));
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_GT(peers::ReadBytes(dir / "ini.lh1").size(), 100u);
  EXPECT_NE(peers::Run(pack + "--eol nl " + folder + peers::Quote(dir / "x.skn")).ExitCode, 0);
  EXPECT_NE(peers::Run(pack + peers::Quote(dir.Path()) + " " + peers::Quote(dir / "x.skn")).ExitCode, 0);
}

}  // namespace
