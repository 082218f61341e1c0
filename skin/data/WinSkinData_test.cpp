// The skin data component: published defaults, the "SkinStream" property, loading a
// container (and keeping the old skin when a load fails) and the manager requests.
#include "skin/data/WinSkinData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "classlib/Layout.h"
#include "classlib/System.h"
#include "skin/data/SkinTestSkin.h"

#ifdef RegisterClass
#undef RegisterClass  // the Win32 macro hides the class registry's routine
#endif

namespace skin {
namespace {

using skintest::TestSkinContainer;

// Records what the component asks of the skin manager.
class TRecordingSeam : public TSkinManagerSeam {
 public:
  bool exists = false;
  int runState = 0;
  std::vector<std::string> calls;
  bool Exists() const override { return exists; }
  void Register(TSkinData*) override { exists = true; calls.push_back("Register"); }
  void Unregister(TSkinData*) override { calls.push_back("Unregister"); }
  void SetPending(TSkinData*) override { calls.push_back("Pending"); }
  void StartAction(int action, int delay) override {
    calls.push_back("Action" + std::to_string(action) + "/" + std::to_string(delay));
  }
  int RunState() const override { return runState; }
  void SetRunState(int s) override { runState = s; calls.push_back("RunState" + std::to_string(s)); }
  void SetEnabled(bool) override { calls.push_back("Enabled"); }
  void ReleaseCaptionButtons() override { calls.push_back("Release"); }
  void InstallCreationHook() override { calls.push_back("Hook"); }
  void SkinWindow(TComponent*) override { calls.push_back("SkinWindow"); }
};

class SkinDataTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSkinManagerSeam(&seam); }
  void TearDown() override { SetSkinManagerSeam(nullptr); }
  TRecordingSeam seam;
};

TEST_F(SkinDataTest, PublishedPropertiesAndDefaults) {
  TSkinData data;
  const char* order[] = {"Active",   "DisableTag",   "SkinControls", "Options",     "Skin3rd",
                         "SkinFile", "SkinStore",    "SkinFormtype", "Version",     "MenuUpdate",
                         "MenuMerge", "OnFormSkin",  "OnSkinChanged", "OnSkinControl",
                         "OnBeforeSkinForm", "OnAfterSkinForm"};
  auto props = GetPropList(TSkinData::StaticClass());
  std::vector<std::string> own;
  for (const TPropInfo* p : props)
    if (GetPropInfo(TComponent::StaticClass(), p->Name) == nullptr) own.push_back(p->Name);
  ASSERT_EQ(own.size(), std::size(order));
  for (size_t i = 0; i < own.size(); ++i) EXPECT_EQ(own[i], order[i]);
  EXPECT_EQ(GetPropText(&data, "SkinControls").value_or(""),
            "[xcMainMenu,xcPopupMenu,xcToolbar,xcControlbar,xcCombo,xcCheckBox,xcRadioButton,"
            "xcProgress,xcScrollbar,xcEdit,xcButton,xcBitBtn,xcSpeedButton,xcSpin,xcPanel,"
            "xcGroupBox,xcStatusBar,xcTab,xcTrackBar,xcSystemMenu]");
  EXPECT_EQ(GetPropText(&data, "Options").value_or(""), "[xoPreview,xoToolbarBK,xoCaptionButtonHint]");
  EXPECT_EQ(GetOrdProp(&data, "DisableTag").value_or(0), 99);
  EXPECT_EQ(GetOrdProp(&data, "Active").value_or(1), 0);
  EXPECT_EQ(GetOrdProp(&data, "MenuUpdate").value_or(0), 1);
  EXPECT_EQ(GetEnumProp(&data, "SkinFormtype").value_or(""), "sfMainform");
  EXPECT_EQ(GetStrProp(&data, "SkinStore").value_or(""), "(none)");
  EXPECT_EQ(GetStrProp(&data, "Version").value_or(""), "5.53.03.09");
  EXPECT_TRUE(SetStrProp(&data, "Version", "9"));  // written, ignored
  EXPECT_EQ(GetStrProp(&data, "Version").value_or(""), "5.53.03.09");
  ASSERT_EQ(data.Skin3rd()->Count(), 118);
  EXPECT_EQ(data.Skin3rd()->Get(0), "TCategoryButtons=scrollbar");
  EXPECT_EQ(data.Skin3rd()->Get(117), "TOVCDBNUMERICFIELD=Edit");
  EXPECT_TRUE(data.NotLoaded());
  EXPECT_TRUE(SkinComponentExists());
  EXPECT_NE(GetBinaryPropInfo(TSkinData::StaticClass(), "SkinStream"), nullptr);
}

// The skin unit's stop frees the default rows and the platform facts; what comes
// after reads the defaults and the rows made again.
TEST_F(SkinDataTest, ReleasedCachesComeBackAsDefaults) {
  const size_t rows = DefaultSkin3rd().size();
  TSkinPlatform wide;
  wide.HScrollArrowWidth = 40;
  wide.TrackImage = TPixelBuffer(2, 2);
  SetSkinPlatform(wide);
  ReleaseSkinDataCaches();
  EXPECT_EQ(SkinPlatform().HScrollArrowWidth, 16);
  EXPECT_TRUE(SkinPlatform().TrackImage.Empty());
  ASSERT_EQ(DefaultSkin3rd().size(), rows);
  EXPECT_EQ(DefaultSkin3rd().front(), "TCategoryButtons=scrollbar");
  TSkinData data;
  EXPECT_EQ(data.Skin3rd()->Count(), static_cast<int>(rows));
}

TEST(SkinStreamTest, CountIsCheckedAgainstTheBytes) {
  std::vector<uint8_t> out;
  EXPECT_FALSE(DecodeSkinStream({}, out));
  EXPECT_FALSE(DecodeSkinStream({0, 0, 0, 0}, out));
  EXPECT_FALSE(DecodeSkinStream({5, 0, 0, 0, 1, 2, 3, 4}, out));        // claims 5, has 4
  EXPECT_FALSE(DecodeSkinStream({0xFF, 0xFF, 0xFF, 0xFF, 1}, out));    // never sized to 4 GiB
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(DecodeSkinStream({2, 0, 0, 0, 7, 8, 9}, out));           // trailing bytes ignored
  EXPECT_EQ(out, (std::vector<uint8_t>{7, 8}));
  EXPECT_EQ(EncodeSkinStream({7, 8}), (std::vector<uint8_t>{2, 0, 0, 0, 7, 8}));
  EXPECT_EQ(EncodeSkinStream({}), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(SkinDataTest, LoadsTheContainerKeepingTheFixedElements) {
  const auto& container = TestSkinContainer();
  ASSERT_FALSE(container.empty()) << "the peer container writer did not run";
  TSkinData data;
  TDataSkinBorder* left = data.Left();
  TDataSkinTitle* title = data.Title();
  data.ReadSkinStream(EncodeSkinStream(container));
  EXPECT_FALSE(data.NotLoaded());
  EXPECT_EQ(data.SkinName(), "Velmora Test");
  EXPECT_EQ(data.Left(), left);
  EXPECT_EQ(data.Title(), title);
  EXPECT_EQ(left->Bitmap.Width, 10);  // 2 frames of 5 x 30
  EXPECT_EQ(left->TopHeight, 10);
  EXPECT_EQ(data.Skin().CaptionButtons.size(), 11u);
  EXPECT_EQ(data.SkinStreamBytes(), container);
  EXPECT_EQ(data.WriteSkinStream(), EncodeSkinStream(container));
}

// Fails after the parse built part of a new skin.
class TFailingSkinData : public TSkinData {
 public:
  bool fail = false;

 protected:
  std::unique_ptr<TSkinModel> ParseModel(const TQuickIni& ini, const TSkinEntryLookup& lookup) override {
    auto half = TSkinData::ParseModel(ini, lookup);
    if (fail) throw ESkinParseError("out of memory halfway");
    return half;
  }
};

TEST_F(SkinDataTest, FailedLoadKeepsTheOldSkinAndTheFlag) {
  const auto& container = TestSkinContainer();
  ASSERT_FALSE(container.empty());
  TFailingSkinData data;
  data.SetSkinStreamBytes(container);
  ASSERT_TRUE(data.LoadSkin());
  const TPixelBuffer topBefore = data.Top()->Bitmap;
  const size_t buttonsBefore = data.Skin().CaptionButtons.size();

  // The parse fails midway through building the new model.
  data.fail = true;
  EXPECT_THROW(data.LoadSkin(), ESkinParseError);
  EXPECT_TRUE(data.NotLoaded());
  EXPECT_EQ(data.SkinName(), "Velmora Test");
  EXPECT_EQ(data.Top()->Bitmap.Pixels, topBefore.Pixels);
  EXPECT_EQ(data.Skin().CaptionButtons.size(), buttonsBefore);

  // Broken containers: refused, old skin kept, still flagged.
  data.fail = false;
  data.SetSkinStreamBytes(std::vector<uint8_t>(container.begin(), container.begin() + container.size() / 2));
  EXPECT_FALSE(data.LoadSkin());
  data.SetSkinStreamBytes({1, 2, 3});
  EXPECT_FALSE(data.LoadSkin());
  EXPECT_TRUE(data.NotLoaded());
  EXPECT_EQ(data.SkinName(), "Velmora Test");
  // Active cannot be switched on while not loaded.
  data.SetActive(true);
  EXPECT_TRUE(std::find(seam.calls.begin(), seam.calls.end(), "Action1/250") == seam.calls.end());
}

// A BMP of a few dozen bytes claiming width x height pixels: RLE8, one run, then
// the end of the bitmap.
std::vector<uint8_t> HugeClaimBmp(uint32_t width, uint32_t height) {
  std::vector<uint8_t> b = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0, 40, 0, 0, 0};
  auto put = [&b](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(width, 4);
  put(height, 4);
  put(1, 2);   // planes
  put(8, 2);   // bits
  put(1, 4);   // RLE8
  for (int i = 0; i < 3; ++i) put(0, 4);  // image size, resolution
  put(1, 4);   // one palette entry
  put(0, 4);
  put(0x0000FF, 4);
  for (uint8_t v : {2, 0, 0, 1}) b.push_back(v);
  return b;
}

// Borders and title from files of 62 bytes each that claim `width` x `height`.
std::vector<uint8_t> HugeClaimSkin(const std::string& folder, uint32_t width, uint32_t height) {
  const std::string ini = "[TitlebarSkin]\r\nSkinName=Huge\r\n[Personality]\r\nTop=top.bmp\r\n"
                          "Left=left.bmp\r\nRight=right.bmp\r\nBottom=bottom.bmp\r\n";
  std::vector<std::pair<std::string, std::vector<uint8_t>>> entries = {{"skin.ini", {ini.begin(), ini.end()}}};
  for (const char* name : {"top.bmp", "left.bmp", "right.bmp", "bottom.bmp"})
    entries.emplace_back(name, HugeClaimBmp(width, height));
  return skintest::PeerContainer(folder, entries);
}

TEST_F(SkinDataTest, ImagesOverThePixelBudgetFailTheLoad) {
  const auto& container = TestSkinContainer();
  ASSERT_FALSE(container.empty());
  TSkinData data;
  data.SetSkinStreamBytes(container);
  ASSERT_TRUE(data.LoadSkin());
  const TPixelBuffer topBefore = data.Top()->Bitmap;

  // Four images of 9 M pixels, each within the budget alone: the second goes over
  // it, the load fails as a broken container does and the skin in force stays.
  static_assert(2 * 3000u * 3000u > kSkinImagePixelBudget && 3000u * 3000u <= kSkinImagePixelBudget);
  const std::vector<uint8_t> hostile = HugeClaimSkin("huge", 3000, 3000);
  ASSERT_FALSE(hostile.empty()) << "the peer container writer did not run";
  data.SetSkinStreamBytes(hostile);
  EXPECT_FALSE(data.LoadSkin());
  EXPECT_TRUE(data.NotLoaded());
  EXPECT_EQ(data.SkinName(), "Velmora Test");
  EXPECT_EQ(data.Top()->Bitmap.Pixels, topBefore.Pixels);

  // The same skin with claims that fit loads: the budget, not the files, refused it.
  const std::vector<uint8_t> modest = HugeClaimSkin("modest", 600, 100);
  ASSERT_FALSE(modest.empty());
  data.SetSkinStreamBytes(modest);
  ASSERT_TRUE(data.LoadSkin());
  EXPECT_EQ(data.SkinName(), "Huge");
  EXPECT_EQ(data.Top()->Bitmap.Width, 600);
}

TEST_F(SkinDataTest, LoadedAndActiveTalkToTheManager) {
  {
    TSkinData unloaded;
    unloaded.SetActive(true);  // before any skin: Loaded switches it back off
    unloaded.Loaded();
    EXPECT_FALSE(unloaded.Active());
    EXPECT_FALSE(unloaded.SkinControls.Contains(TSkinControlType::xcMenuItem));
    EXPECT_TRUE(unloaded.SkinControls.Contains(TSkinControlType::xcSystemMenu));
  }
  const auto& container = TestSkinContainer();
  ASSERT_FALSE(container.empty());
  seam.calls.clear();
  TSkinData data;
  data.SkinControls.Exclude(TSkinControlType::xcMainMenu);
  data.ReadSkinStream(EncodeSkinStream(container));
  data.SetActive(true);
  data.Loaded();
  EXPECT_FALSE(data.SkinControls.Contains(TSkinControlType::xcSystemMenu));
  data.SetActive(false);
  data.SetActive(true);
  std::vector<std::string> want = {"Pending", "Action1/250", "RunState1", "Register", "Hook",
                                   "Action1/250", "Pending",   "Action2/250", "Pending",
                                   "Action1/250", "RunState1"};
  EXPECT_EQ(seam.calls, want);

  // A new skin file while running: load, then re-apply (action 3).
  std::string path = "skindata-test.skn";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));
  }
  seam.calls.clear();
  data.SetSkinFile(path);
  std::remove(path.c_str());
  EXPECT_FALSE(data.NotLoaded());
  EXPECT_EQ(seam.calls, (std::vector<std::string>{"Pending", "Release", "Action3/250"}));
  data.SetSkinFile("no-such-file.skn");
  EXPECT_TRUE(data.NotLoaded());
}

TEST_F(SkinDataTest, FormSkinQuestion) {
  TSkinData data;
  bool doSkin = true;
  data.DoFormSkin(42, "SysMonthCal32", doSkin);
  EXPECT_FALSE(doSkin);
  EXPECT_EQ(data.AskedWindow(), 42u);
  doSkin = true;
  data.DoFormSkin(1, "TfrPreview", doSkin);
  EXPECT_TRUE(doSkin);  // report windows only stay unskinned with xcFastReport
  data.SkinControls.Include(TSkinControlType::xcFastReport);
  data.DoFormSkin(1, "TfrPreview", doSkin);
  EXPECT_FALSE(doSkin);
  doSkin = true;
  data.DoFormSkin(1, "TForm1", doSkin);
  EXPECT_TRUE(doSkin);
}

TEST_F(SkinDataTest, SkinStreamSurvivesALayout) {
  const auto& container = TestSkinContainer();
  ASSERT_FALSE(container.empty());
  InitUnits();
  RegisterClass(TSkinData::StaticClass());
  TSkinData data;
  data.SetName("SkinData1");
  data.SetSkinStreamBytes(container);
  data.DisableTag = 7;
  std::string text = WriteLayout(&data);
  std::unique_ptr<TComponent> back(CreateFromLayout(text));
  auto* read = dynamic_cast<TSkinData*>(back.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->SkinStreamBytes(), container);
  EXPECT_FALSE(read->NotLoaded());
  EXPECT_EQ(read->SkinName(), "Velmora Test");
  EXPECT_EQ(read->DisableTag, 7);
  EXPECT_EQ(read->Skin3rd()->Count(), 118);
  FinalizeUnits();
}

// Records when the component asks its system side for GDI work.
class TRecordingSystem : public TSkinDataSystem {
 public:
  static inline std::vector<std::string>* log = nullptr;
  void SetBackgroundColour(TSkinColor colour) override {
    char text[32];
    std::snprintf(text, sizeof text, "Brush%06X", static_cast<unsigned>(colour));
    log->push_back(text);
  }
  void LoadCaptionFont() override { log->push_back("Font"); }
  void BuildApplicationIcon() override { log->push_back("Icon"); }
};

std::unique_ptr<TSkinDataSystem> MakeRecordingSystem(TSkinData&) {
  return std::make_unique<TRecordingSystem>();
}

TEST_F(SkinDataTest, SystemSideFollowsLoadingAndStreaming) {
  std::vector<std::string> log;
  TRecordingSystem::log = &log;
  SetSkinDataSystemFactory(&MakeRecordingSystem);
  {
    TSkinData data;
    ASSERT_NE(data.System(), nullptr);
    // A failed load keeps the old brush.
    data.SetSkinStreamBytes({1, 2, 3});
    EXPECT_FALSE(data.LoadSkin());
    EXPECT_TRUE(log.empty());
    data.SetSkinStreamBytes(TestSkinContainer());
    ASSERT_TRUE(data.LoadSkin());
    ASSERT_EQ(log.size(), 1u);
    // The coded test skin's ButtonFace is "203 30 192": 0x00BBGGRR = 0xC01ECB.
    EXPECT_EQ(log[0], "BrushC01ECB");
    log.clear();
    data.Loaded();
    EXPECT_EQ(log, (std::vector<std::string>{"Font", "Icon"}));
  }
  {
    // A form skinned on its own gets its font but builds no application icon.
    log.clear();
    TSkinData data;
    data.SkinFormtype = TSkinFormType::sfOnlyThisForm;
    data.Loaded();
    EXPECT_EQ(log, (std::vector<std::string>{"Font"}));
  }
  SetSkinDataSystemFactory(nullptr);
  TSkinData plain;
  EXPECT_EQ(plain.System(), nullptr);
  TRecordingSystem::log = nullptr;
}

TEST_F(SkinDataTest, LayoutsFindTheComponentByName) {
  InitUnits();
  EXPECT_EQ(GetClass("TSkinData"), nullptr);
  RegisterSkinDataClasses();
  RegisterSkinDataClasses();  // a second start-up path must not fail
  EXPECT_EQ(GetClass("tskindata"), TSkinData::StaticClass());
  std::unique_ptr<TComponent> read(CreateFromLayout(
      "object SkinData1: TSkinData\n  Active = True\n  DisableTag = 99\n  MenuMerge = False\nend\n"));
  auto* data = dynamic_cast<TSkinData*>(read.get());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Name(), "SkinData1");
  // No skin in the layout: Loaded switches skinning back off.
  EXPECT_FALSE(data->Active());
  EXPECT_TRUE(data->NotLoaded());
  FinalizeUnits();
}

}  // namespace
}  // namespace skin
