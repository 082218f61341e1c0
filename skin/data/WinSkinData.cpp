#include "skin/data/WinSkinData.h"

#include <atomic>
#include <cctype>
#include <fstream>
#include <iterator>

#include "skin/container/SkinReader.h"

namespace skin {

const TEnumType SkinControlTypesType(
    "TSkinControlTypes",
    {"xcMainMenu", "xcPopupMenu", "xcMenuItem", "xcToolbar", "xcControlbar", "xcCombo",
     "xcCheckBox", "xcRadioButton", "xcProgress", "xcScrollbar", "xcEdit", "xcButton", "xcBitBtn",
     "xcSpeedButton", "xcSpin", "xcPanel", "xcGroupBox", "xcStatusBar", "xcTab", "xcTrackBar",
     "xcSystemMenu", "xcFastReport"});
const TEnumType SkinOptionsType(
    "TSkinOptions",
    {"xoMDIScrollbar", "xoMenuMerge", "xoTransparent", "xoPreview", "xoParentBackGround",
     "xoNoFocusRect", "xoToolbarBK", "xoToolbarButton", "xoMDIChildBorder", "xoMenuBG",
     "xoCaptionButtonHint", "xoFormScrollbar"});
const TEnumType SkinFormTypeType("TSkinFormType",
                                 {"sfMainform", "sfOnlyThisForm", "sfDialog", "sfDLL"});

namespace {

TSkinManagerSeam* managerSeam = nullptr;
TSkinDataSystemFactory systemFactory = nullptr;
TSkinPlatform platform;
std::atomic<bool> componentExists{false};
std::unique_ptr<const std::vector<std::string>> defaultSkin3rd;  // made on first use

struct TKindGroup {
  const char* kind;
  std::vector<const char*> classes;
};

std::vector<std::string> BuildDefaultSkin3rd() {
  // Grouped by painter kind; rows of one class name always carry the same kind, so
  // the order of the groups never changes a lookup.
  const TKindGroup groups[] = {
      {"scrollbar",
       {"TCategoryButtons", "TVirtualStringTree", "TVirtualDrawTree", "TAdvPanelGroup",
        "THTMLViewer", "TDBCtrlGrid", "TImageEnMView", "TImageEnView", "TAdvMemo", "TDBAdvMemo"}},
      {"pngspeedbutton", {"TPngSpeedbutton"}},
      {"pngbitbtn", {"TPngBitBtn"}},
      {"menubtn", {"TRzMenuButton"}},
      {"button", {"TRzButton"}},
      {"Panel",
       {"TTBXDockablePanel", "TControlBar", "TTBDock", "TTBToolbar", "TRzGroup", "TLMDCalculator",
        "TLMDGROUPBOX", "TLMDSIMPLEPANEL", "TLMDDBCalendar", "TLMDButtonPanel", "TLMDLMDCalculator",
        "TLMDHeaderPanel", "TLMDTechnicalLine", "TLMDLMDClock", "TLMDTrackbar"}},
      {"combobox",
       {"TComboboxex", "TcxDBLookupComboBox", "TcxDBComboBox", "TcxDBDateEdit",
        "TcxDBImageComboBox", "TcxDBCalcEdit", "TcxDBBlobEdit", "TcxDBPopupEdit",
        "TcxDBFontNameComboBox", "TcxDBShellComboBox", "TRxLookupEdit", "TRxDBLookupCombo",
        "TRzDateTimeEdit", "TRzColorEdit", "TRzDateTimePicker", "TRzDBDateTimeEdit",
        "TRzDbColorEdit", "TRzDBDateTimePicker", "TLMDListCombobox", "TLMDCheckListCombobox",
        "TLMDHeaderListCombobox", "TLMDImageCombobox", "TLMDColorCombobox", "TLMDFontCombobox",
        "TLMDFontSizeCombobox", "TLMDFontSizeCombobox", "TLMDPrinterCombobox",
        "TLMDDriveCombobox", "TLMDCalculatorComboBox", "TLMDTrackBarComboBox",
        "TLMDCalendarComboBox", "TLMDTreeComboBox", "TDBLookupCombobox", "TWWDBCombobox",
        "TWWDBCombobox", "TWWDBLookupCombo", "TWWKeyCombo", "TWWTempKeyCombo",
        "TWWDBDateTimePicker"}},
      {"speedbutton", {"TRxSpeedButton", "TfrSpeedButton", "TfrTBButton"}},
      {"bitbtn", {"TRzBitbtn", "TLMDButton", "TcxButton"}},
      {"CheckGroup", {"TRzCheckGroup", "TLMDCheckGroup", "TLMDDBCheckGroup"}},
      {"Radiogroup",
       {"TRzRadioGroup", "TRzDBRadioGroup", "TLMDRADIOGROUP", "TLMDDBRADIOGROUP", "TWWRADIOGROUP",
        "TcxDBRadioGroup", "TcxRadioGroup"}},
      {"Radiobutton", {"TRzDBRadioButton", "TLMDRadiobutton"}},
      {"Groupbox", {"TLMDGroupBox", "TcxGroupbox"}},
      {"Checkbox", {"TDBCheckboxEh", "TDBCheckboxEh", "TLMDCHECKBOX", "TLMDDBCHECKBOX"}},
      {"Edit",
       {"TRzButtonEdit", "TLMDCalculatorEdit", "TLMDEDIT", "TLMDMASKEDIT", "TLMDBROWSEEDIT",
        "TLMDEXTSPINEDIT", "TLMDCALENDAREDIT", "TLMDFILEOPENEDIT", "TLMDFILESAVEEDIT",
        "TLMDCOLOREDIT", "TLMDDBEDIT", "TLMDDBMASKEDIT", "TLMDDBEXTSPINEDIT", "TLMDDBSPINEDIT",
        "TLMDDBEDITDBLookup", "TLMDEDITDBLookup", "TWWDBEDIT", "TOVCPICTUREFIELD",
        "TOVCDBPICTUREFIELD", "TOVCSLIDEREDIT", "TOVCDBSLIDEREDIT", "TOVCSIMPLEFIELD",
        "TOVCDBSIMPLEFIELD", "TO32DBFLEXEDIT", "TOVCNUMERICFIELD", "TOVCDBNUMERICFIELD"}},
  };
  std::vector<std::string> rows;
  for (const TKindGroup& g : groups)
    for (const char* c : g.classes) rows.push_back(std::string(c) + "=" + g.kind);
  return rows;
}

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

void SetSkinManagerSeam(TSkinManagerSeam* seam) { managerSeam = seam; }
TSkinManagerSeam* SkinManagerSeam() { return managerSeam; }
void SetSkinPlatform(const TSkinPlatform& p) { platform = p; }
const TSkinPlatform& SkinPlatform() { return platform; }
bool SkinComponentExists() { return componentExists.load(); }
void SetSkinDataSystemFactory(TSkinDataSystemFactory factory) { systemFactory = factory; }
void RegisterSkinDataClasses() { RegisterClass(TSkinData::StaticClass()); }

const std::vector<std::string>& DefaultSkin3rd() {
  if (!defaultSkin3rd) defaultSkin3rd = std::make_unique<const std::vector<std::string>>(BuildDefaultSkin3rd());
  return *defaultSkin3rd;
}

void ReleaseSkinDataCaches() {
  defaultSkin3rd.reset();
  platform = TSkinPlatform{};
}

bool DecodeSkinStream(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& container) {
  container.clear();
  if (bytes.size() < 4) return false;
  uint32_t count = ReadLe32(bytes.data());
  // The stored count must fit the bytes actually there, before anything is sized.
  if (count < 1 || count > 0x7FFFFFFFu || count > bytes.size() - 4) return false;
  container.assign(bytes.begin() + 4, bytes.begin() + 4 + count);
  return true;
}

std::vector<uint8_t> EncodeSkinStream(const std::vector<uint8_t>& container) {
  uint32_t n = static_cast<uint32_t>(container.size());
  std::vector<uint8_t> out = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                              static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
  out.insert(out.end(), container.begin(), container.end());
  return out;
}

VELMORA_PUBLISH(TSkinData) {
  p.Boolean("Active", &TSkinData::Active, &TSkinData::SetActive)
      .Default(0)
      .Integer("DisableTag", &TSkinData::DisableTag)
      .Default(99)
      .Set("SkinControls", SkinControlTypesType, &TSkinData::SkinControls)
      .Default(kDefaultSkinControls)
      .Set("Options", SkinOptionsType, &TSkinData::Options)
      .Default(kDefaultSkinOptions)
      .Strings("Skin3rd", &TSkinData::Skin3rd)
      .String("SkinFile", &TSkinData::SkinFile, &TSkinData::SetSkinFile)
      .String("SkinStore", &TSkinData::SkinStore, [](TSkinData&, const std::string&) {})
      .Enum("SkinFormtype", SkinFormTypeType, &TSkinData::SkinFormtype)
      .Default(0)
      .String("Version", &TSkinData::Version, [](TSkinData&, const std::string&) {})
      .Boolean("MenuUpdate", &TSkinData::MenuUpdate)
      .Default(1)
      .Boolean("MenuMerge", &TSkinData::MenuMerge)
      .Default(0)
      .Event("OnFormSkin", &TSkinData::OnFormSkin)
      .Event("OnSkinChanged", &TSkinData::OnSkinChanged)
      .Event("OnSkinControl", &TSkinData::OnSkinControl)
      .Event("OnBeforeSkinForm", &TSkinData::OnBeforeSkinForm)
      .Event("OnAfterSkinForm", &TSkinData::OnAfterSkinForm)
      .Binary("SkinStream", &TSkinData::ReadSkinStream, &TSkinData::WriteSkinStream);
}

TSkinData::TSkinData(TComponent* owner) : TComponent(owner), skin3rd_(std::make_unique<TStringList>()) {
  for (const std::string& row : DefaultSkin3rd()) skin3rd_->Add(row);
  if (systemFactory) system_ = systemFactory(*this);
  componentExists = true;
}

TSkinData::~TSkinData() {
  if (managerSeam && managerSeam->Exists()) managerSeam->Unregister(this);
}

std::string TSkinData::SkinStore() const {
  return Designing() && !skinStream_.empty() ? "(Good)" : "(none)";
}

std::vector<uint8_t> TSkinData::SkinStreamBytes() const { return skinStream_; }
void TSkinData::SetSkinStreamBytes(const std::vector<uint8_t>& container) { skinStream_ = container; }

void TSkinData::ReadSkinStream(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> container;
  if (!DecodeSkinStream(bytes, container)) return;
  skinStream_ = std::move(container);
  if (!Designing()) LoadSkin();
}

std::vector<uint8_t> TSkinData::WriteSkinStream() const { return EncodeSkinStream(skinStream_); }

std::unique_ptr<TSkinModel> TSkinData::ParseModel(const TQuickIni& ini,
                                                  const TSkinEntryLookup& lookup) {
  TSkinParseEnv env;
  env.HScrollArrowWidth = platform.HScrollArrowWidth;
  env.SysColor = platform.SysColor;
  env.TrackImage = platform.TrackImage.Width > 0 ? platform.TrackImage : DrawTrackResource();
  env.TrackVertImage =
      platform.TrackVertImage.Width > 0 ? platform.TrackVertImage : DrawTrackVertResource();
  return ParseSkin(ini, lookup, env);
}

bool TSkinData::LoadSkin() {
  notLoaded_ = true;
  if (Designing()) return false;
  TSkinReader reader;
  if (!reader.LoadFromBytes(skinStream_)) return false;
  std::vector<uint8_t> iniBytes;
  std::string iniName;
  // A container without a description is no skin: keep the one in force.
  if (!reader.FindFirst(".ini", iniBytes, iniName)) return false;
  TQuickIni ini;
  ini.LoadFromText(std::string_view(reinterpret_cast<const char*>(iniBytes.data()), iniBytes.size()));
  TSkinEntryLookup lookup = [&reader](std::string_view name, std::vector<uint8_t>& bytes) {
    return reader.FindEntry(name, bytes);
  };
  // Parse into a fresh model: windows keep painting with the old one until it is whole.
  std::unique_ptr<TSkinModel> fresh = ParseModel(ini, lookup);
  if (!fresh) return false;
  // Member-wise assignment keeps the fixed elements (borders, title, buttons) the
  // same objects that painters already point at.
  model_ = std::move(*fresh);
  if (system_) system_->SetBackgroundColour(model_.Colours[kSlotButtonFace]);
  notLoaded_ = false;
  return true;
}

void TSkinData::Loaded() {
  TComponent::Loaded();
  if (Designing()) return;
  if (!platform.HasGetScrollBarInfo) SkinControls.Exclude(TSkinControlType::xcScrollbar);
  if (managerSeam) managerSeam->Register(this);
  if (system_) system_->LoadCaptionFont();
  if (SkinFormtype != TSkinFormType::sfMainform) {
    if (managerSeam) {
      managerSeam->SetEnabled(true);
      managerSeam->SetRunState(managerSeam->RunState() + 1);
      if (active_ && Owner()) managerSeam->SkinWindow(Owner());
    }
    return;
  }
  if (managerSeam) managerSeam->InstallCreationHook();
  if (active_) {
    if (notLoaded_)
      active_ = false;
    else if (managerSeam)
      managerSeam->StartAction(1, 250);
  }
  if (SkinControls.Contains(TSkinControlType::xcMainMenu))
    SkinControls.Exclude(TSkinControlType::xcMenuItem);
  else
    SkinControls.Exclude(TSkinControlType::xcSystemMenu);
  if (system_) system_->BuildApplicationIcon();
}

void TSkinData::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (Designing() || Loading() || !managerSeam) return;
  switch (SkinFormtype) {
    case TSkinFormType::sfMainform:
      if (value) {
        if (notLoaded_) return;
        managerSeam->SetPending(this);
        managerSeam->StartAction(1, 250);
        managerSeam->SetRunState(1);
      } else {
        managerSeam->SetPending(this);
        managerSeam->StartAction(2, 250);
      }
      break;
    case TSkinFormType::sfOnlyThisForm:
      managerSeam->SetPending(this);
      if (!value)
        managerSeam->StartAction(2, 250);
      else if (!notLoaded_)
        managerSeam->StartAction(1, 250);
      break;
    default:
      break;
  }
}

void TSkinData::SetSkinFile(const std::string& fileName) {
  skinFile_ = fileName;
  notLoaded_ = true;
  if (Designing()) {
    if (!fileName.empty()) skinStream_.clear();
    return;
  }
  std::ifstream in(fileName, std::ios::binary);
  if (fileName.empty() || !in) return;
  skinStream_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  LoadSkin();
  ReapplySkin();
}

void TSkinData::ReapplySkin() {
  if (Loading() || !managerSeam) return;
  if (!managerSeam->Exists()) Loaded();
  managerSeam->SetPending(this);
  managerSeam->ReleaseCaptionButtons();
  if (managerSeam->RunState() == 1) managerSeam->StartAction(3, 250);
}

void TSkinData::DoFormSkin(uintptr_t window, const std::string& name, bool& doSkin) {
  askedWindow_ = window;
  if (OnFormSkin) {
    OnFormSkin(this, name, doSkin);
    return;
  }
  if (name == "SysMonthCal32") doSkin = false;
  if (SkinControls.Contains(TSkinControlType::xcFastReport) && name.rfind("Tfr", 0) == 0)
    doSkin = false;
}

void TSkinData::DoSkinChanged() {
  if (OnSkinChanged) OnSkinChanged(this);
}

void TSkinData::AddTraceLine(const std::string& text) {
  if (TraceList) TraceList->Add(text);
}

}  // namespace skin
