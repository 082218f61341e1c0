// Parse of the frame-coded test skin against the generator's manifest, plus hostile
// skins built by hand.
#include "skin/container/SkinModel.h"

#include <gtest/gtest.h>

#include "classlib/BmpCodec.h"
#include "skin/data/SkinTestSkin.h"

namespace skin {
namespace {

using skintest::TestSkin;

const TSkinParseEnv& Env() {
  static TSkinParseEnv env = [] {
    TSkinParseEnv e;
    e.HScrollArrowWidth = 16;
    e.TrackImage = DrawTrackResource();
    e.TrackVertImage = DrawTrackVertResource();
    return e;
  }();
  return env;
}

std::unique_ptr<TSkinModel> ParseTestSkin() {
  const auto& skin = TestSkin();
  TQuickIni ini;
  ini.LoadFromText(skin.IniText);
  return ParseSkin(ini, skin.Lookup(), Env());
}

int Red(uint32_t p) { return PixelRed(p); }
int Green(uint32_t p) { return PixelGreen(p); }
TSkinColor Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// The element or image of the model that a manifest line names; null for images the
// loader replaces (the combo parts) or keeps elsewhere.
const TDataSkinObject* ElementFor(const TSkinModel& m, const skintest::TManifestImage& i) {
  for (const TDataSkinObject* e : m.Elements()) {
    if (i.Section == "Personality") {
      if ((i.Key == "Left" || i.Key == "Right" || i.Key == "Top" || i.Key == "Bottom") &&
          e->Name == i.Key)
        return e;
      if (i.Key == "TextBack" && e == &m.Title) return e;
      if (i.Key == "menuBar" && e == m.MenuBar.get()) return e;
    } else if (i.Key == "Image" || i.Key == "ButtonImage" || (i.Section == "Buttons" && i.Key == "Bitmap") ||
               (i.Section == "Progress" && i.Key == "Bitmap")) {
      std::string want = i.Key == "ButtonImage" ? i.Section : i.Section;
      if (e->Name == want) return e;
    }
  }
  return nullptr;
}

TEST(SkinParseTest, EveryElementMatchesTheManifest) {
  ASSERT_TRUE(TestSkin().Ok) << "the skin generator did not run";
  auto m = ParseTestSkin();
  int checked = 0;
  for (const auto& img : TestSkin().Images) {
    if (img.Section == "ComboButton" || img.Section == "SunkEdge" || img.Section == "MDICONTROLS" ||
        img.Section == "BUTTON.SYSMENU" || img.Section == "BUTTON.DROPPED")
      continue;  // derived or dropped, checked below
    const TDataSkinObject* e = ElementFor(*m, img);
    const TPixelBuffer* image = nullptr;
    int frames = 0;
    if (img.Key == "CheckButton") {
      image = &m->Buttons.CheckButton;
      frames = m->Buttons.CheckButtonFrame;
    } else if (img.Key == "RadioButton") {
      image = &m->Buttons.RadioButton;
      frames = m->Buttons.RadioButtonFrame;
    } else if (img.Key == "Border" || img.Key == "GlyphImage") {
      for (const TDataSkinObject* x : m->Elements())
        if (x->Name == img.Section) image = &dynamic_cast<const TDataSkinBorder*>(x)->Border;
      frames = img.Frames;  // the second image has no frame field of its own
    } else {
      ASSERT_NE(e, nullptr) << img.Section << " " << img.Key;
      image = &e->Bitmap;
      frames = e->Frame;
    }
    ASSERT_NE(image, nullptr) << img.Section << " " << img.Key;
    SCOPED_TRACE(img.Section + " " + img.Key);
    EXPECT_EQ(image->Width, img.Width);
    EXPECT_EQ(image->Height, img.Height);
    EXPECT_EQ(frames, img.Frames);
    // The centre of each frame carries the image's id and the frame number.
    for (int f = 0; f < img.Frames && !image->Empty(); ++f) {
      int x = (img.Stacked ? 0 : f * img.FrameWidth) + img.FrameWidth / 2;
      int y = (img.Stacked ? f * img.FrameHeight : 0) + img.FrameHeight / 2;
      EXPECT_EQ(Red(image->At(x, y)), img.Id);
      EXPECT_EQ(Green(image->At(x, y)) / 9, f);
    }
    if (e && img.Key != "TextBack" && img.Key != "ButtonImage") {
      EXPECT_EQ(e->LeftWidth, img.Left);
      EXPECT_EQ(e->TopHeight, img.Top);
      EXPECT_EQ(e->RightWidth, img.Right);
      EXPECT_EQ(e->BottomHeight, img.Bottom);
    }
    ++checked;
  }
  EXPECT_GT(checked, 40);
  // Text shifts stay what the INI said; the text-back ends come in their own keys.
  EXPECT_EQ(m->Title.LeftWidth, 30);
  EXPECT_EQ(m->Title.RightWidth, 100);
  EXPECT_EQ(m->Title.TXTBackleft, 6);
  EXPECT_EQ(m->Title.TXTBackRight, 6);
  EXPECT_EQ(m->Title.Frame, 2);
  EXPECT_EQ(m->Title.ActiveText, Rgb(21, 22, 23));
  EXPECT_EQ(m->Title.InActiveText, Rgb(31, 32, 33));
  EXPECT_EQ(m->Title.FontHeight, 14);
  EXPECT_EQ(m->SkinName, TestSkin().Value("TitlebarSkin", "SkinName"));
  EXPECT_EQ(m->Buttons.Frame, 5);
  EXPECT_EQ(m->Buttons.Trans, 1);
  EXPECT_EQ(m->Buttons.NormalColour, Rgb(41, 42, 43));
  EXPECT_EQ(m->Buttons.PressedColour2, Rgb(57, 58, 59));
  EXPECT_TRUE(m->Buttons.HasNormalColour2 && m->Buttons.HasMouseOverColour2 && m->Buttons.HasPressedColour2);
  ASSERT_TRUE(m->GroupBox);
  EXPECT_EQ(m->GroupBox->BackgroundLeftShift, 6);
  ASSERT_TRUE(m->TabPane);  // INI margins 6 are read as 4
  EXPECT_EQ(m->TabPane->LeftWidth, 4);
  ASSERT_TRUE(m->MenuItem);  // INI Frame=3, forced to 5
  EXPECT_EQ(m->MenuItem->Frame, 5);
}

TEST(SkinParseTest, ColourTableCustomColoursAndColourList) {
  ASSERT_TRUE(TestSkin().Ok);
  auto m = ParseTestSkin();
  const int slots[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 18};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(m->Colours[slots[i]], Rgb(200 + i, 10 * i, 0xC0)) << "slot " << slots[i];
    EXPECT_TRUE(m->ColourGiven[slots[i]]);
  }
  EXPECT_FALSE(m->ColourGiven[9]);
  EXPECT_EQ(m->Colours[9], SysColour(15));
  ASSERT_EQ(m->ColourN.size(), 5u);  // [Colours] itself is not a list entry
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m->ColourN[i], Rgb(120 + i, 7, 7));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(m->CustomColours[i], Rgb(130 + i, 9, 9));
  // Top border (id 3) pixel (60 / 3, (56 / 2) / 3): frame 0, centre slice 4.
  EXPECT_EQ(m->Colours[kSlotSampled], Rgb(3, 4, 0x11));
}

TEST(SkinParseTest, CaptionButtonsInFileOrderWithMdiButtons) {
  ASSERT_TRUE(TestSkin().Ok);
  auto m = ParseTestSkin();
  const char* names[] = {"BUTTON.CLOSE",   "BUTTON.MAXIMIZE", "BUTTON.RESTORE", "BUTTON.MINIMIZE",
                         "BUTTON.HELP",    "BUTTON.SYSMENU",  "BUTTON.RATIO3",  "BUTTON.RATIO6"};
  ASSERT_EQ(m->CaptionButtons.size(), 8u + 3u);  // BUTTON.DROPPED: Action -1, Visibility 5
  for (int i = 0; i < 8; ++i) {
    const TDataSkinSysButton& b = *m->CaptionButtons[i];
    std::string s = names[i];
    SCOPED_TRACE(s);
    EXPECT_EQ(b.Name, s);
    EXPECT_EQ(std::to_string(b.Action), TestSkin().Value(s, "Action"));
    EXPECT_EQ(std::to_string(b.Align), TestSkin().Value(s, "Align"));
    EXPECT_EQ(std::to_string(b.Xcoord), TestSkin().Value(s, "Xcoord"));
    EXPECT_EQ(std::to_string(b.Ycoord), TestSkin().Value(s, "Ycoord"));
    EXPECT_EQ(std::to_string(b.Visibility), TestSkin().Value(s, "Visibility"));
    EXPECT_EQ(std::to_string(b.Visibility1), TestSkin().Value(s, "Visibility1"));
    EXPECT_EQ(b.CombineOp, -1);
  }
  EXPECT_TRUE(m->CaptionButtons[5]->Bitmap.Empty());  // the system-menu button (Action 3)
  EXPECT_EQ(m->CaptionButtons[6]->Frame, 3);  // 48 x 14, no frame key
  EXPECT_EQ(m->CaptionButtons[7]->Frame, 6);  // 72 x 14
  const auto* mdi = TestSkin().Find("MDICONTROLS", "Image");
  ASSERT_NE(mdi, nullptr);
  for (int i = 0; i < 3; ++i) {
    const TDataSkinSysButton& b = *m->CaptionButtons[8 + i];
    EXPECT_EQ(b.Action, 7 + i);
    EXPECT_EQ(b.Align, 100);
    EXPECT_EQ(b.Visibility1, 100);
    EXPECT_EQ(b.Frame, 4);
    EXPECT_EQ(b.Xcoord, (3 - i) * (14 + 4));
    ASSERT_EQ(b.Bitmap.Width, 4 * 14);
    ASSERT_EQ(b.Bitmap.Height, 14);
    for (int c = 0; c < 4; ++c) {
      uint32_t p = b.Bitmap.At(c * 14 + 7, 7);
      EXPECT_EQ(Red(p), mdi->Id);
      EXPECT_EQ(Green(p) / 9, 4 * i + c);
    }
  }
}

TEST(SkinParseTest, DerivedComboToolbarAndTrackImages) {
  ASSERT_TRUE(TestSkin().Ok);
  auto m = ParseTestSkin();
  const int sunkId = TestSkin().Find("SunkEdge", "Image")->Id;
  const int extraId = TestSkin().Find("ExtraImages", "Image")->Id;
  ASSERT_TRUE(m->ComboButton && m->SunkEdge && m->ComboxArrow);
  const TDataSkinBorder& combo = *m->ComboButton;
  const int b = 16 + 2;
  EXPECT_EQ(combo.Style, 2);
  EXPECT_EQ(combo.LeftWidth, 2);
  EXPECT_EQ(combo.RightWidth, b + 2);
  EXPECT_EQ(combo.TopHeight, 3);
  EXPECT_EQ(m->SunkEdge->LeftWidth, b + 2);
  EXPECT_EQ(m->SunkEdge->RightWidth, 2);
  ASSERT_EQ(combo.Bitmap.Width, 200);
  ASSERT_EQ(combo.Bitmap.Height, 21);
  for (int i = 0; i < 4; ++i) {
    int ox = 50 * i;
    EXPECT_EQ(combo.Bitmap.At(ox + 10, 10), kMagentaPixel) << "inner rectangle";
    EXPECT_EQ(Red(combo.Bitmap.At(ox + 0, 10)), sunkId);
    EXPECT_EQ(Green(combo.Bitmap.At(ox + 0, 10)), i * 9 + 3);  // left edge slice
    EXPECT_EQ(Green(combo.Bitmap.At(ox + 20, 0)), i * 9 + 1);  // top edge slice
    EXPECT_EQ(Red(combo.Bitmap.At(ox + 45, 10)), extraId);     // button area, arrow on top
    EXPECT_EQ(Green(combo.Bitmap.At(ox + 45, 10)) / 9, i);
    // The mirrored strip for the sunken edge.
    EXPECT_EQ(m->SunkEdge->Bitmap.At(199 - ox - 45, 10), combo.Bitmap.At(ox + 45, 10));
    // Arrow cell i+1 = strip (50 (i+1) - 19 + x, 2 + y): x = 5 lands in the button area.
    EXPECT_EQ(Red(m->ComboxArrow->Bitmap.At(17 * i + 5, 5)), extraId);
  }
  EXPECT_EQ(m->ComboxArrow->Frame, 4);
  EXPECT_EQ(m->ComboxArrow->Bitmap.Width, 68);
  // Toolbar: Mix(slot 3 = (203, 30, 192), white, 150 per mille) at the top; sampled colour
  // (3, 4, 17) has saturation 200, so the end is Mix(S, white, 54 %) = (119, 119, 126).
  ASSERT_TRUE(m->Toolbar);
  EXPECT_EQ(m->Toolbar->Bitmap.At(0, 0), PixelFromRGB(247, 221, 246));
  EXPECT_EQ(m->Toolbar->Bitmap.At(9, 39), PixelFromRGB(119, 119, 126));
  // The test skin has its own [Track]: no fallback.
  EXPECT_EQ(m->Track->Name, "Track");
  EXPECT_EQ(m->Track->Frame, 1);
}

// ---- hand-built skins ----

struct THandSkin {
  std::map<std::string, std::vector<uint8_t>> entries;  // lower-case names
  void Add(const std::string& name, const TPixelBuffer& image) {
    entries[name] = EncodeBmpFile(image, 24, {});
  }
  TSkinEntryLookup Lookup() const {
    return [this](std::string_view n, std::vector<uint8_t>& out) {
      std::string lower(n);
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      auto it = entries.find(lower);
      if (it == entries.end()) return false;
      out = it->second;
      return true;
    };
  }
  std::unique_ptr<TSkinModel> Parse(const std::string& text) const {
    TQuickIni ini;
    ini.LoadFromText(text);
    return ParseSkin(ini, Lookup(), Env());
  }
};

TEST(SkinParseTest, ImageNamesColourTextAndDefaults) {
  THandSkin h;
  h.Add("top.bmp", TPixelBuffer(30, 9, 0x102030));
  auto m = h.Parse(
      "[Personality]\nTop=C:\\skins\\Dark\\TOP.BMP\nLeft=sub/top.bmp\nRight=top.bmpx\nBottom=top.Bmp\n"
      "[Colours]\nButtonFace=300, -5;999999999999999\nButtonText=10 20\nWindowText=\n"
      "[Colour7]\ncolor=1 2 3\n[colours]\n[COLOURX]\n");
  EXPECT_EQ(m->Top.Bitmap.Width, 30);     // folder part dropped, case ignored
  EXPECT_EQ(m->Left.Bitmap.Width, 30);
  EXPECT_TRUE(m->Right.Bitmap.Empty());   // not a ".bmp" name
  EXPECT_EQ(m->Bottom.Bitmap.Width, 30);
  EXPECT_EQ(m->Colours[3], Rgb(255, 5, 255));
  EXPECT_EQ(m->Colours[4], Rgb(10, 20, 0));  // two numbers: blue 0
  EXPECT_FALSE(m->ColourGiven[0]);
  EXPECT_EQ(m->Colours[0], SysColour(8));
  EXPECT_EQ(m->Colours[13], Rgb(255, 5, 255));  // Menubar defaults to slot 3
  ASSERT_EQ(m->ColourN.size(), 2u);
  EXPECT_EQ(m->ColourN[0], Rgb(1, 2, 3));
  EXPECT_EQ(m->ColourN[1], SysColour(8));
  EXPECT_EQ(m->Top.Frame, 1);
  EXPECT_EQ(m->Top.Tile, 1);
  EXPECT_EQ(m->Top.Trans, 1);
  // Nothing of the optional elements, but the tracks from the program's bitmaps.
  EXPECT_FALSE(m->MenuItem);
  EXPECT_FALSE(m->Progress);
  ASSERT_TRUE(m->Track && m->TrackVert);
  EXPECT_EQ(m->Track->Name, "TRACK");
  EXPECT_EQ(m->Track->Bitmap.Width, 16);
  EXPECT_EQ(m->TrackVert->Bitmap.Height, 16);
  EXPECT_EQ(m->Track->LeftWidth, 3);
  EXPECT_EQ(m->CaptionButtons.size(), 3u);
  EXPECT_EQ(m->Buttons.CheckButtonFrame, 4);  // empty image: at least 4
}

TEST(SkinParseTest, HostileNumbersNeverCrashOrDivideByZero) {
  THandSkin h;
  h.Add("one.bmp", TPixelBuffer(1, 1, 0x00FF00));
  h.Add("thin.bmp", TPixelBuffer(7, 1, 0x00FF00));
  h.Add("cap.bmp", TPixelBuffer(100, 30, 0x000080));
  h.Add("wide.bmp", TPixelBuffer(120, 30, 0x000080));
  auto m = h.Parse(
      "[Personality]\nTop=one.bmp\nTopFrame=0\nTopTopHeight=-50\nTopBotHeight=99999\n"
      "Left=thin.bmp\nLeftFrame=-3\nmenuBar=one.bmp\nTileMenu=7\n"
      "[MDICONTROLS]\nImage=thin.bmp\n"
      "[SunkEdge]\nImage=one.bmp\nLeftWidth=-9\nRightWidth=400\nFrame=0\n"
      "[ComboButton]\nImage=one.bmp\nTopHeight=2147483647\n"
      "[ExtraImages]\nImage=thin.bmp\n"
      "[Buttons]\nCheckButton=one.bmp\nRadioButton=thin.bmp\nTile=5\n"
      "[BUTTON.A]\nButtonImage=cap.bmp\n[BUTTON.B]\nButtonImage=wide.bmp\n"
      "[button.c]\nAction=-1\nVisibility=0\n[BUTTON.D]\nAction=-1\n[BUTTONS]\n[BUTTON]\n"
      "[Button.Radio]\n[BUTTON.CHECKBOX]\n");
  // The margins keep their stored values; only drawing clamps them.
  EXPECT_EQ(m->Top.LeftWidth, -50);
  EXPECT_EQ(m->Top.RightWidth, 99999);
  EXPECT_EQ(m->Top.Frame, 0);
  EXPECT_EQ(m->Colours[kSlotSampled], Rgb(0, 255, 0));
  EXPECT_EQ(m->MenuBar->Tile, 1);
  EXPECT_EQ(m->Buttons.Tile, 0);
  ASSERT_EQ(m->CaptionButtons.size(), 3u + 3u);
  EXPECT_EQ(m->CaptionButtons[3]->Bitmap.Width, 0);  // 7 px over 12 columns
  EXPECT_EQ(m->ComboButton->Bitmap.Width, 200);
  EXPECT_EQ(m->ComboxArrow->Bitmap.Width, 68);
  EXPECT_EQ(m->CaptionButtons[0]->Frame, 3);  // 100 x 30: ratio 3.33
  EXPECT_EQ(m->CaptionButtons[1]->Frame, 6);  // 120 x 30: ratio 4
  EXPECT_EQ(m->CaptionButtons[2]->Name, "BUTTON.C");
  EXPECT_EQ(m->CaptionButtons[2]->Frame, 6);  // negative action
  EXPECT_EQ(m->CaptionButtons[2]->Visibility1, -1);
}

// The program's grooves stand in as a pair: a skin with its own horizontal groove
// and no upright one has no upright groove (vertical bars turn the skin's own).
TEST(SkinParseTest, ProgramGroovesStandInOnlyForASkinWithoutAGroove) {
  THandSkin h;
  h.Add("t.bmp", TPixelBuffer(12, 5, 0x204060));
  auto own = h.Parse("[Track]\nImage=t.bmp\n");
  ASSERT_TRUE(own->Track);
  EXPECT_EQ(own->Track->Bitmap.Width, 12);
  EXPECT_FALSE(own->TrackVert);
  auto both = h.Parse("[Track]\nImage=t.bmp\n[TRACKVERT]\nImage=t.bmp\n");
  ASSERT_TRUE(both->TrackVert);
  EXPECT_EQ(both->TrackVert->Bitmap.Width, 12);
  auto upright = h.Parse("[TRACKVERT]\nImage=t.bmp\n");  // the skin's upright one stays
  ASSERT_TRUE(upright->Track && upright->TrackVert);
  EXPECT_EQ(upright->Track->Name, "TRACK");
  EXPECT_EQ(upright->TrackVert->Bitmap.Width, 12);
}

TEST(SkinParseTest, ComboArrowWithoutSunkEdgeTakesTheButtonFace) {
  THandSkin h;
  TPixelBuffer img(8, 4, 0x123456);
  img.At(0, 0) = kMagentaPixel;
  h.Add("c.bmp", img);
  auto m = h.Parse("[Colours]\nButtonFace=1 2 3\n[ComboButton]\nImage=c.bmp\n");
  ASSERT_TRUE(m->ComboxArrow);
  EXPECT_EQ(m->ComboxArrow->Bitmap.At(0, 0), PixelFromRGB(1, 2, 3));
  EXPECT_EQ(m->ComboxArrow->Bitmap.At(1, 0), 0x123456u);
  EXPECT_EQ(m->ComboxArrow->Frame, 4);
  EXPECT_EQ(m->ComboButton->Border.At(7, 0), kMagentaPixel);  // mirrored copy
}

}  // namespace
}  // namespace skin
