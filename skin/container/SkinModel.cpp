#include "skin/container/SkinModel.h"

#include <algorithm>
#include <cctype>

#include "classlib/BmpCodec.h"

namespace skin {

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// A colour key: parsed when given, else `fallback`. Returns whether it was given.
bool ReadColour(const TQuickIni& ini, std::string_view section, std::string_view key,
                TSkinColor fallback, TSkinColor& out) {
  std::string text = ini.ReadString(section, key, "");
  if (text.empty()) {
    out = fallback;
    return false;
  }
  out = ParseSkinColour(text);
  return true;
}

// Ends a parse whose images went over their budget.
struct TImageBudgetExceeded {};

class TParser {
 public:
  TParser(const TQuickIni& ini, const TSkinEntryLookup& lookup, const TSkinParseEnv& env,
          TSkinModel& model)
      : ini_(ini), lookup_(lookup), env_(env), m_(model) {
    budget_.PixelsLeft = env.ImagePixelBudget;
  }

  void Run() {
    sections_ = ini_.ReadSections();
    m_.SkinName = ini_.ReadString("TitlebarSkin", "SkinName", "");
    ReadBorders();
    ReadColours();
    ReadCaptionButtons();
    ReadMdiButtons();
    ReadButtons();
    ReadTitle();
    ReadProgress();
    ReadGenericElements();
    TrackFallback();
    FixFrameCounts();
    CombineComboImages();
    MakeComboArrow();
    m_.Colours[kSlotSampled] = SampleColour();
    m_.ColourGiven[kSlotSampled] = false;
    MakeToolbarBackground();
  }

 private:
  int Int(std::string_view section, std::string_view key, int def) const {
    return ini_.ReadInteger(section, key, def);
  }
  TPixelBuffer Image(std::string_view section, std::string_view key) {
    TPixelBuffer image = LoadSkinImage(ini_.ReadString(section, key, ""), lookup_, &budget_);
    if (budget_.Exceeded) throw TImageBudgetExceeded{};
    return image;
  }
  bool HasKey(std::string_view section, std::string_view key) const {
    return !ini_.ReadString(section, key, "").empty();
  }

  void ReadBorders() {
    for (TDataSkinBorder* b : {&m_.Left, &m_.Right, &m_.Top, &m_.Bottom}) {
      const std::string& n = b->Name;
      int top = Int("Personality", n + "TopHeight", 0);
      int bot = Int("Personality", n + "BotHeight", 0);
      if (b == &m_.Left || b == &m_.Right) {
        b->TopHeight = top;
        b->BottomHeight = bot;
      } else {
        b->LeftWidth = top;
        b->RightWidth = bot;
      }
      b->Frame = Int("Personality", n + "Frame", 1);
      b->Tile = std::min(Int("Personality", n + "Stretch", 1), 1);
      b->Trans = Int("Personality", n + "Trans", 1);
      b->Bitmap = Image("Personality", n);
    }
  }

  void ReadColours() {
    static constexpr const char* kKeys[kSkinColourSlots] = {
        "WindowText", "TitleTextActive", "TitleTextNoActive", "ButtonFace", "ButtonText",
        "ButtonHilight", "Buttonlight", "ButtonShadow", "ButtonDkShadow", nullptr, nullptr,
        "HilightText", "Hilight", "Menubar", "MenuBarText", "MenuText", "Menu", nullptr,
        "Scrollbar"};
    std::array<TSkinColor, kSkinColourSlots> defaults = DefaultSkinColours();
    for (int i = 0; i < kSkinColourSlots; ++i) {
      if (!kKeys[i]) continue;
      TSkinColor def = i == 13 ? m_.Colours[kSlotButtonFace] : defaults[i];
      m_.ColourGiven[i] = ReadColour(ini_, "Colours", kKeys[i], def, m_.Colours[i]);
    }
    m_.ColourN.clear();
    for (const std::string& s : sections_) {
      std::string up = Upper(s);
      if (!StartsWith(up, "COLOUR") || up == "COLOURS") continue;
      TSkinColor c;
      ReadColour(ini_, s, "color", SysColour(8), c);
      m_.ColourN.push_back(c);
    }
    for (int i = 0; i < 10; ++i)
      ReadColour(ini_, "Customcolors", "Color" + std::to_string(i), 0xFFFFFF, m_.CustomColours[i]);
  }

  void ReadCaptionButtons() {
    m_.CaptionButtons.clear();
    std::vector<std::string> kept;
    for (const std::string& s : sections_) {
      std::string up = Upper(s);
      if (!StartsWith(up, "BUTTON") || up == "BUTTONS" || up == "BUTTON.RADIO" ||
          up == "BUTTON.CHECKBOX" || up == "BUTTON")
        continue;
      bool visibilityZero = HasKey(s, "Visibility") && Int(s, "Visibility", 1) == 0;
      if (Int(s, "Action", 0) == -1 && !visibilityZero) continue;
      kept.push_back(s);
    }
    bool havePos = false;
    int rememberedX = 0, rememberedY = 0;
    for (const std::string& s : kept) {
      auto b = std::make_unique<TDataSkinSysButton>(Upper(s));
      b->Action = Int(s, "Action", 0);
      b->Align = Int(s, "Align", 0);
      b->Xcoord = Int(s, "Xcoord", 0);
      b->Ycoord = Int(s, "Ycoord", 0);
      b->Visibility = Int(s, "Visibility", 0);
      b->Visibility1 = Int(s, "Visibility1", b->Action == -1 ? -1 : 0);
      b->CombineOp = Int(s, "CombineOp", -1);
      b->Frame = Int(s, "frame", 0);
      b->Bitmap = Image(s, "ButtonImage");
      if (b->Action == 1 && b->Visibility == 2) {
        havePos = true;
        rememberedX = b->Xcoord;
        rememberedY = b->Ycoord;
      } else if (b->Action == 4 && havePos) {
        b->Xcoord = rememberedX;
        b->Ycoord = rememberedY;
      }
      if (b->Frame == 0) {
        b->Frame = 6;
        if (!b->Bitmap.Empty())
          b->Frame = static_cast<double>(b->Bitmap.Width) / b->Bitmap.Height <= 3.8 ? 3 : 6;
        if (b->Action < 0) b->Frame = 6;
      }
      if (b->Action == 3 || b->Action == 11) b->Bitmap = {};
      m_.CaptionButtons.push_back(std::move(b));
    }
    for (int action : {7, 8, 9}) {
      auto b = std::make_unique<TDataSkinSysButton>("MDIBUTTON" + std::to_string(action));
      b->Action = action;
      b->Align = b->Visibility = b->Visibility1 = 100;
      b->Frame = 4;
      m_.CaptionButtons.push_back(std::move(b));
    }
  }

  void ReadMdiButtons() {
    TPixelBuffer scratch = Image("MDICONTROLS", "Image");
    if (scratch.Empty()) return;
    int w = scratch.Width / 12;
    size_t first = m_.CaptionButtons.size() - 3;
    for (int i = 0; i < 3; ++i) {
      TDataSkinSysButton& b = *m_.CaptionButtons[first + i];
      TPixelBuffer part(4 * w, scratch.Height);
      for (int y = 0; y < part.Height; ++y)
        for (int x = 0; x < part.Width; ++x) part.At(x, y) = scratch.At(4 * i * w + x, y);
      b.Bitmap = std::move(part);
      b.Xcoord = (3 - i) * (w + 4);
    }
  }

  void ReadColourTriple(TDataSkinObject& e, std::string_view s) {
    ReadColour(ini_, s, "NormalColour", -1, e.NormalColour);
    ReadColour(ini_, s, "MouseOverColour", -1, e.MouseOverColour);
    ReadColour(ini_, s, "PressedColour", -1, e.PressedColour);
  }

  void ReadButtons() {
    TDataSkinButton& b = m_.Buttons;
    const char* s = "Buttons";
    b.LeftWidth = Int(s, "LeftWidth", 0);
    b.RightWidth = Int(s, "RightWidth", 0);
    b.TopHeight = Int(s, "TopHeight", 0);
    b.BottomHeight = Int(s, "BottomHeight", 0);
    b.Trans = Int(s, "Trans", 0);
    b.Bitmap = Image(s, "Bitmap");
    b.Tile = Int(s, "Tile", 0);
    if (b.Tile > 1) b.Tile = 0;
    b.CheckButton = Image(s, "CheckButton");
    b.RadioButton = Image(s, "RadioButton");
    ReadColourTriple(b, s);
    b.RadioButtonFrame = Int(s, "RadioButtonFrame", 0);
    b.CheckButtonFrame = Int(s, "CheckButtonFrame", 0);
    TSkinColor text = m_.Colours[kSlotButtonText];
    b.HasNormalColour2 = ReadColour(ini_, s, "NormalColour2", text, b.NormalColour2);
    b.HasMouseOverColour2 = ReadColour(ini_, s, "MouseOverColour2", text, b.MouseOverColour2);
    b.HasPressedColour2 = ReadColour(ini_, s, "PressedColour2", text, b.PressedColour2);
  }

  void ReadTitle() {
    TDataSkinTitle& t = m_.Title;
    const char* s = "Personality";
    t.Bitmap = Image(s, "TextBack");
    t.LeftWidth = Int(s, "TextShift", 0);
    t.TopHeight = Int(s, "TextShiftVert", 0);
    t.RightWidth = Int(s, "TextRightClip", 0);
    t.BottomHeight = 0;
    t.TextAlignment = Int(s, "TextAlignment", 0);
    t.Textbackground = Int(s, "Textbackground", 0);
    t.FontHeight = Int("Fonts", "FontHeight", 14);
    t.TXTBackleft = Int(s, "TXTBackleft", 0);
    t.TXTBackRight = Int(s, "TXTBackRight", 0);
    t.ActiveText = RgbKeys("ActiveText");
    t.InActiveText = RgbKeys("InActiveText");
  }

  TSkinColor RgbKeys(const std::string& prefix) const {
    int r = Int("Personality", prefix + "R", -1);
    int g = Int("Personality", prefix + "G", -1);
    int b = Int("Personality", prefix + "B", -1);
    if (r < 0 || g < 0 || b < 0) return TDataSkinTitle::kNoColour;
    return std::min(r, 255) | (std::min(g, 255) << 8) | (std::min(b, 255) << 16);
  }

  void ReadProgress() {
    const char* s = "Progress";
    if (!HasKey(s, "Bitmap")) return;
    auto p = std::make_unique<TDataSkinBorder>(s);
    p->Bitmap = Image(s, "Bitmap");
    p->Style = Int(s, "Style", 0);
    p->LeftWidth = Int(s, "LeftWidth", 0);
    p->RightWidth = Int(s, "RightWidth", 0);
    p->TopHeight = Int(s, "TopHeight", 0);
    p->BottomHeight = Int(s, "BottomHeight", 0);
    p->Trans = Int(s, "Trans", 0);
    p->Tile = std::min(Int(s, "Tile", 0), 1);
    m_.Progress = std::move(p);
  }

  // The generic keys into `e` (image key "Image").
  void ReadGenericKeys(TDataSkinObject& e, std::string_view s, bool withFrame) {
    e.Bitmap = Image(s, "Image");
    e.Style = Int(s, "Style", 0);
    e.LeftWidth = Int(s, "LeftWidth", 0);
    e.RightWidth = Int(s, "RightWidth", 0);
    e.TopHeight = Int(s, "TopHeight", 0);
    e.BottomHeight = Int(s, "BottomHeight", 0);
    if (withFrame) e.Frame = Int(s, "Frame", 0);
    e.Trans = Int(s, "Trans", 0);
    e.Tile = Int(s, "Tile", 0);
    if (e.Tile > 1) e.Tile = 0;
    ReadColourTriple(e, s);
    TSkinColor text = m_.Colours[kSlotButtonText];
    ReadColour(ini_, s, "NormalColour2", text, e.NormalColour2);
    ReadColour(ini_, s, "MouseOverColour2", text, e.MouseOverColour2);
    ReadColour(ini_, s, "PressedColour2", text, e.PressedColour2);
  }

  template <class T>
  std::unique_ptr<T> Generic(std::string_view s, bool withFrame) {
    if (!HasKey(s, "Image")) return nullptr;
    auto e = std::make_unique<T>(std::string(s));
    ReadGenericKeys(*e, s, withFrame);
    return e;
  }
  // No defaulted template argument: GCC then names the instance "Generic<>" in the
  // debug data, which the logger-data check cannot match to the symbol.
  std::unique_ptr<TDataSkinObject> Generic(std::string_view s) {
    return Generic<TDataSkinObject>(s, true);
  }

  std::unique_ptr<TDataSkinBorder> TwoImage(std::string_view s, const char* secondKey) {
    auto e = Generic<TDataSkinBorder>(s, false);
    if (e && secondKey) e->Border = Image(s, secondKey);
    return e;
  }

  void ReadGenericElements() {
    m_.ProgressChunk = Generic("Progress.Chunk");
    ReadMenuBar();
    m_.GroupBoxEdge = Generic("GroupBoxEdge");
    m_.GroupBox = Generic<TDataSkinBoxLabel>("GroupBox", false);
    if (m_.GroupBox) {
      m_.GroupBox->BackgroundAlignment = Int("GroupBox", "BackgroundAlignment", 0);
      m_.GroupBox->BackgroundLeftShift = Int("GroupBox", "BackgroundLeftShift", 0);
      m_.GroupBox->BackgroundRightShift = Int("GroupBox", "BackgroundRightShift", 0);
    }
    m_.Tabs = TwoImage("Tabs", "Border");
    m_.StatusBarEdges = Generic("StatusBarEdges");
    m_.TabPane = Generic("Tab.Pane");
    if (m_.TabPane) {
      TDataSkinObject& p = *m_.TabPane;
      p.LeftWidth = std::min(p.LeftWidth, 4);
      p.TopHeight = std::min(p.TopHeight, 4);
      p.RightWidth = std::min(p.RightWidth, 4);
      p.BottomHeight = std::min(p.BottomHeight, 4);
    }
    m_.ToolBars = Generic("ToolBars");
    m_.ComboButton = TwoImage("ComboButton", nullptr);
    m_.SunkEdge = Generic("SunkEdge");
    if (m_.ComboButton && !m_.ComboButton->Bitmap.Empty())
      m_.ComboButton->Border = MirrorPixels(m_.ComboButton->Bitmap);
    m_.ExtraImages = Generic("ExtraImages");
    m_.Headerbar = Generic("Headerbar");
    m_.MenuItem = Generic("MenuItem");
    m_.MenuBackground = Generic("MenuBackground");
    m_.Scrollbar = Generic("Scrollbar");
    m_.HorzScroll = Generic("HorzScroll");
    m_.VertScroll = Generic("VertScroll");
    m_.HorzScrollThumb = Generic("HorzScrollThumb");
    m_.VertScrollThumb = Generic("VertScrollThumb");
    m_.ThumbHorz = Generic("Trackbar.ThumbHorz");
    m_.ThumbVert = Generic("Trackbar.ThumbVert");
    m_.ThumbLeft = Generic("Trackbar.ThumbLeft");
    m_.ThumbRight = Generic("Trackbar.ThumbRight");
    m_.ThumbUp = Generic("Trackbar.ThumbUp");
    m_.ThumbDown = Generic("Trackbar.ThumbDown");
    m_.UpDownHorz = TwoImage("UpDown.Horz", "GlyphImage");
    m_.UpDownVert = TwoImage("UpDown.Vert", "GlyphImage");
    m_.Track = Generic("Track");
    m_.TrackVert = Generic("TRACKVERT");
  }

  void ReadMenuBar() {
    const char* s = "Personality";
    if (!HasKey(s, "menuBar")) return;
    auto e = std::make_unique<TDataSkinObject>("MenuBar");
    e->Bitmap = Image(s, "menuBar");
    e->Tile = std::min(Int(s, "TileMenu", 1), 1);
    e->LeftWidth = Int(s, "TileLeftMenu", 1);
    e->RightWidth = Int(s, "TileRightMenu", 1);
    m_.MenuBar = std::move(e);
  }

  void TrackFallback() {
    auto make = [](const char* name, const TPixelBuffer& image) {
      auto e = std::make_unique<TDataSkinObject>(name);
      e->Bitmap = image;
      e->LeftWidth = e->TopHeight = e->RightWidth = e->BottomHeight = 3;
      e->Tile = 0;
      e->Frame = 1;
      return e;
    };
    // The program's grooves stand in as a pair: a skin with a groove of its own but
    // no upright one keeps its groove on vertical bars too (turned by the painter).
    if (m_.Track) return;
    m_.Track = make("TRACK", env_.TrackImage);
    if (!m_.TrackVert) m_.TrackVert = make("TRACKVERT", env_.TrackVertImage);
  }

  static void SetFrame(const std::unique_ptr<TDataSkinObject>& e, int frame) {
    if (e) e->Frame = frame;
  }
  template <class T>
  static void SetFrame(const std::unique_ptr<T>& e, int frame) {
    if (e) e->Frame = frame;
  }

  static int CellFrames(const TPixelBuffer& image) {
    int cell = image.Height < 16 ? 13 : 16;
    return std::max(image.Width / cell, 4);
  }

  void FixFrameCounts() {
    m_.Title.Frame = 2;
    m_.Buttons.Frame = 5;
    if (m_.Buttons.RadioButtonFrame == 0) m_.Buttons.RadioButtonFrame = CellFrames(m_.Buttons.RadioButton);
    if (m_.Buttons.CheckButtonFrame == 0) m_.Buttons.CheckButtonFrame = CellFrames(m_.Buttons.CheckButton);
    if (m_.Progress) m_.Progress->Frame = m_.Progress->Style != 0 ? 1 : 2;
    SetFrame(m_.MenuBar, 2);
    SetFrame(m_.GroupBoxEdge, 2);
    SetFrame(m_.ToolBars, 5);
    SetFrame(m_.Tabs, 5);
    SetFrame(m_.TabPane, 1);
    SetFrame(m_.StatusBarEdges, 3);
    SetFrame(m_.GroupBox, 1);
    SetFrame(m_.ComboButton, 4);
    SetFrame(m_.SunkEdge, 4);
    SetFrame(m_.ExtraImages, 5);
    if (m_.Headerbar && m_.Headerbar->Frame == 0) m_.Headerbar->Frame = 5;
    SetFrame(m_.MenuItem, 5);
    SetFrame(m_.MenuBackground, 1);
    SetFrame(m_.Scrollbar, 23);
    SetFrame(m_.HorzScroll, 4);
    SetFrame(m_.VertScroll, 4);
    SetFrame(m_.UpDownVert, 8);
    SetFrame(m_.UpDownHorz, 8);
    for (auto* t : {&m_.ThumbHorz, &m_.ThumbVert, &m_.ThumbLeft, &m_.ThumbRight, &m_.ThumbUp,
                    &m_.ThumbDown})
      SetFrame(*t, 5);
    SetFrame(m_.HorzScrollThumb, Int("HorzScrollThumb", "FrameCount", 3));
    SetFrame(m_.VertScrollThumb, Int("VertScrollThumb", "FrameCount", 3));
  }

  static void DrawFrameInto(TPixelBuffer& cell, const TSliceRect& dest, const TDataSkinObject& e,
                            int k) {
    TSliceRect frame = FrameRect(e.Bitmap.Width, e.Bitmap.Height, e.Frame, k, false);
    std::vector<TSlicePiece> plan =
        NineSlicePlan(dest.Width(), dest.Height(), frame, e.Margins(), e.Tile == 1);
    for (TSlicePiece& p : plan) {
      p.Dest.Left += dest.Left;
      p.Dest.Right += dest.Left;
      p.Dest.Top += dest.Top;
      p.Dest.Bottom += dest.Top;
    }
    ExecutePlan(e.Bitmap, plan, cell, e.Trans != 0);
  }

  void CombineComboImages() {
    if (!m_.SunkEdge || !m_.ComboButton) return;
    TDataSkinObject& sunk = *m_.SunkEdge;
    TDataSkinBorder& combo = *m_.ComboButton;
    const int b = env_.HScrollArrowWidth + 2;
    const int n = std::max(sunk.Frame, 1);
    constexpr int kW = 50, kH = 21;
    TPixelBuffer strip(kW * n, kH, kMagentaPixel);
    for (int i = 1; i <= n; ++i) {
      TPixelBuffer cell(kW, kH, kMagentaPixel);
      DrawFrameInto(cell, {0, 0, kW, kH}, sunk, i);
      DrawFrameInto(cell, {kW - b, 0, kW, kH}, combo, i);
      if (m_.ExtraImages) DrawFrameInto(cell, {kW - b, 0, kW, kH}, *m_.ExtraImages, i);
      for (int y = 2; y < 18; ++y)
        for (int x = 2; x < kW - 1 - b; ++x) cell.At(x, y) = kMagentaPixel;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) strip.At(kW * (i - 1) + x, y) = cell.At(x, y);
    }
    combo.LeftWidth = 2;
    combo.TopHeight = sunk.TopHeight;
    combo.RightWidth = b + 2;
    combo.BottomHeight = sunk.BottomHeight;
    combo.Style = 2;
    combo.Bitmap = strip;
    sunk.Bitmap = MirrorPixels(strip);
    sunk.LeftWidth = b + 2;
    sunk.RightWidth = 2;
  }

  void MakeComboArrow() {
    if (!m_.ComboxArrow) m_.ComboxArrow = std::make_unique<TDataSkinObject>("ComboxArrow");
    TDataSkinObject& arrow = *m_.ComboxArrow;
    if (m_.SunkEdge && m_.ComboButton && m_.ComboButton->Style == 2) {
      const int n = std::max(m_.SunkEdge->Frame, 1);
      const TPixelBuffer& src = m_.ComboButton->Bitmap;
      const int c = src.Width / n;
      TPixelBuffer image(17 * n, 17, kMagentaPixel);
      for (int i = 1; i <= n; ++i) {
        for (int y = 0; y < 17; ++y)
          for (int x = 0; x < 17; ++x) {
            int sx = i * c - 19 + x, sy = 2 + y;
            if (src.Contains(sx, sy)) image.At(17 * (i - 1) + x, y) = src.At(sx, sy);
          }
      }
      arrow.Bitmap = std::move(image);
      arrow.Frame = n;
    } else if (!m_.SunkEdge && m_.ComboButton) {
      arrow.Bitmap = m_.ComboButton->Bitmap;
      ReplaceMagenta(arrow.Bitmap, m_.Colours[kSlotButtonFace], env_.SysColor);
      arrow.Frame = m_.ComboButton->Frame;
    }
  }

  TSkinColor SampleColour() const {
    const TPixelBuffer& top = m_.Top.Bitmap;
    if (top.Empty()) return m_.Colours[kSlotButtonFace];
    int frames = std::max(m_.Top.Frame, 1);
    int x = top.Width / 3, y = (top.Height / frames) / 3;
    return static_cast<TSkinColor>(ColorRefFromPixel(top.At(x, y)));
  }

  void MakeToolbarBackground() {
    const TSysColorProc sys = env_.SysColor;
    TSkinColor s = m_.Colours[kSlotSampled];
    auto from = static_cast<TSkinColor>(MixColors(m_.Colours[kSlotButtonFace], 0xFFFFFF, 150, sys));
    auto to = static_cast<TSkinColor>(MixColors(0x808080, s, 150, sys));
    int saturation = ColorSaturation(s, sys);
    if (saturation > 110) {
      int q = (225 - saturation) * 25 / 140 + 50;
      to = static_cast<TSkinColor>(MixColors(s, 0xFFFFFF, q, sys));
    }
    auto e = std::make_unique<TDataSkinObject>("Toolbar");
    e->Bitmap = TPixelBuffer(10, 40);
    TGradientCache cache;
    GradientFillPixels(e->Bitmap, {0, 0, 10, 40}, from, true, to, {0, 0, 10, 40}, cache, sys);
    e->Frame = 1;
    m_.Toolbar = std::move(e);
  }

  const TQuickIni& ini_;
  const TSkinEntryLookup& lookup_;
  const TSkinParseEnv& env_;
  TSkinModel& m_;
  std::vector<std::string> sections_;
  TSkinImageBudget budget_;
};

}  // namespace

TSkinModel::TSkinModel() : Colours(DefaultSkinColours()) {
  CustomColours.fill(0xFFFFFF);
}

std::vector<const TDataSkinObject*> TSkinModel::Elements() const {
  std::vector<const TDataSkinObject*> out = {&Left, &Right, &Top, &Bottom, &Title, &Buttons};
  for (const auto& b : CaptionButtons) out.push_back(b.get());
  const TDataSkinObject* optional[] = {
      Progress.get(), ProgressChunk.get(), MenuBar.get(), GroupBoxEdge.get(), GroupBox.get(),
      Tabs.get(), StatusBarEdges.get(), TabPane.get(), ToolBars.get(), ComboButton.get(),
      SunkEdge.get(), ComboxArrow.get(), ExtraImages.get(), Headerbar.get(), MenuItem.get(),
      MenuBackground.get(), Scrollbar.get(), HorzScroll.get(), VertScroll.get(),
      HorzScrollThumb.get(), VertScrollThumb.get(), ThumbHorz.get(), ThumbVert.get(),
      ThumbLeft.get(), ThumbRight.get(), ThumbUp.get(), ThumbDown.get(), UpDownHorz.get(),
      UpDownVert.get(), Track.get(), TrackVert.get(), Toolbar.get()};
  for (const TDataSkinObject* e : optional)
    if (e) out.push_back(e);
  return out;
}

std::array<TSkinColor, kSkinColourSlots> DefaultSkinColours() {
  return {SysColour(8),  SysColour(9),  SysColour(19), SysColour(15), SysColour(18),
          SysColour(20), SysColour(20), SysColour(16), SysColour(21), SysColour(15),
          SysColour(15), SysColour(14), SysColour(13), SysColour(15), SysColour(7),
          SysColour(7),  SysColour(4),  SysColour(15), SysColour(0)};
}

TSkinColor ParseSkinColour(std::string_view text) {
  int channels[3] = {0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (i < text.size() && count < 3) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      value = std::min(value * 10 + (text[i] - '0'), 256);  // saturate: no overflow
      ++i;
    }
    channels[count++] = std::min(value, 255);
  }
  return channels[0] | (channels[1] << 8) | (channels[2] << 16);
}

TPixelBuffer LoadSkinImage(std::string_view value, const TSkinEntryLookup& lookup,
                           TSkinImageBudget* budget) {
  size_t slash = value.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? value : value.substr(slash + 1);
  if (name.size() < 5) return {};
  std::string ext = Upper(name.substr(name.size() - 4));
  if (ext != ".BMP" || !lookup) return {};
  std::vector<uint8_t> bytes;
  if (!lookup(name, bytes) || bytes.empty()) return {};
  TBmpImage image;
  TBmpStatus status = DecodeBmpFile(bytes.data(), bytes.size(), image,
                                    budget ? budget->PixelsLeft : BmpMaxPixels);
  if (budget && (status == BmpOverLimit || status == BmpOutOfMemory)) budget->Exceeded = true;
  if (status != BmpOk) return {};
  if (budget) budget->PixelsLeft -= image.Pixels.Pixels.size();
  for (uint32_t& p : image.Pixels.Pixels) p &= 0xFFFFFF;
  return std::move(image.Pixels);
}

std::unique_ptr<TSkinModel> ParseSkin(const TQuickIni& ini, const TSkinEntryLookup& lookup,
                                      const TSkinParseEnv& env) {
  auto model = std::make_unique<TSkinModel>();
  try {
    TParser(ini, lookup, env, *model).Run();
  } catch (const TImageBudgetExceeded&) {
    return nullptr;
  }
  return model;
}

TPixelBuffer DrawTrackResource() {
  // A sunken groove: dark top row, light bottom row, face between.
  TPixelBuffer image(16, 4, 0xD6D6D6);
  for (int x = 0; x < 16; ++x) {
    image.At(x, 0) = 0x808080;
    image.At(x, 3) = 0xFFFFFF;
  }
  image.At(0, 1) = image.At(0, 2) = 0x808080;
  image.At(15, 1) = image.At(15, 2) = 0xFFFFFF;
  return image;
}

TPixelBuffer DrawTrackVertResource() {
  return TransposePixels(DrawTrackResource());
}

TPixelBuffer DrawMenuGlyphResource() {
  TPixelBuffer image(64, 16, 0xFFFFFF);
  auto set = [&](int glyph, int x, int y) { image.At(glyph * 16 + x, y) = 0x000000; };
  for (int i = 4; i <= 11; ++i) {
    set(3, i, i);       // close: a cross
    set(3, 15 - i, i);
    set(2, i, 11);      // minimise: a bar
    set(2, i, 12);
    for (int e : {4, 11}) {  // maximise: a box with a thick top
      set(1, i, e);
      set(1, e, i);
    }
    set(1, i, 5);
  }
  for (int i = 3; i <= 9; ++i) {  // restore: two boxes
    for (int e : {3, 9}) {
      set(0, i + 3, e);
      set(0, e + 3, i);
      set(0, i, e + 3);
      set(0, e, i + 3);
    }
  }
  return image;
}

}  // namespace skin
