#pragma once
// TSkinData: the component a form carries to be skinned. It holds the skin container
// (the "SkinStream" binary property), parses it into a TSkinModel and tells the skin
// manager when skinning must start, stop or be re-applied.
//
// Pure code: the manager, the system facts and the GDI side are reached through
// TSkinManagerSeam, TSkinPlatform and TSkinDataSystem, which the Windows units fill
// in (WinSkinData_win.h).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Components.h"
#include "classlib/Streams.h"
#include "classlib/TypInfo.h"
#include "skin/container/SkinModel.h"

namespace skin {

enum class TSkinControlType {
  xcMainMenu, xcPopupMenu, xcMenuItem, xcToolbar, xcControlbar, xcCombo, xcCheckBox,
  xcRadioButton, xcProgress, xcScrollbar, xcEdit, xcButton, xcBitBtn, xcSpeedButton, xcSpin,
  xcPanel, xcGroupBox, xcStatusBar, xcTab, xcTrackBar, xcSystemMenu, xcFastReport
};
using TSkinControlTypes = TSet<TSkinControlType>;

enum class TSkinOption {
  xoMDIScrollbar, xoMenuMerge, xoTransparent, xoPreview, xoParentBackGround, xoNoFocusRect,
  xoToolbarBK, xoToolbarButton, xoMDIChildBorder, xoMenuBG, xoCaptionButtonHint, xoFormScrollbar
};
using TSkinOptions = TSet<TSkinOption>;

enum class TSkinFormType { sfMainform, sfOnlyThisForm, sfDialog, sfDLL };

extern const TEnumType SkinControlTypesType;
extern const TEnumType SkinOptionsType;
extern const TEnumType SkinFormTypeType;

inline constexpr uint64_t kDefaultSkinControls = 0x1FFFFB;
inline constexpr uint64_t kDefaultSkinOptions = 0x0448;
inline constexpr const char* kSkinDataVersion = "5.53.03.09";

class TSkinData;

using TOnFormSkin = TEvent<TObject*, const std::string&, bool&>;
using TOnSkinForm = TEvent<TObject*, uintptr_t, const std::string&>;
using TOnSkinControl =
    TEvent<TComponent*, TSkinData*, TComponent*, TComponent*, const std::string&, TComponent*&>;

// Where this component hands over to the skin manager. The manager's unit installs
// its implementation with SetSkinManagerSeam; with none installed every request is a
// no-op and Exists() is false.
class TSkinManagerSeam {
 public:
  virtual ~TSkinManagerSeam() = default;
  virtual bool Exists() const = 0;
  // Creates the manager when none exists and registers `data` with it.
  virtual void Register(TSkinData* data) = 0;
  virtual void Unregister(TSkinData* data) = 0;
  virtual void SetPending(TSkinData* data) = 0;
  // Action 1 skin, 2 unskin, 3 re-apply, after `delayMs`.
  virtual void StartAction(int action, int delayMs) = 0;
  virtual int RunState() const = 0;
  virtual void SetRunState(int state) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void ReleaseCaptionButtons() = 0;
  virtual void InstallCreationHook() = 0;
  // Skins the owner's window at once (forms skinned on their own).
  virtual void SkinWindow(TComponent* form) = 0;

  // What form skinners ask of the manager; the defaults do nothing and read zero.
  // Which menu is being tracked: 1 a menu-bar or form popup, 2 the system menu.
  virtual void SetMenuKind(int kind) {}
  virtual int MenuKind() const { return 0; }
  // The three menu-and-frame flags (index 1 to 3); the third keeps windows hidden
  // while they are being skinned.
  virtual bool MenuFrameFlag(int index) const { return false; }
  virtual void SetMenuFrameFlag(int index, bool on) {}
  // The window kept for form skinners (an MDI frame's client) and its form.
  virtual void KeepClientWindow(uintptr_t window, TComponent* form) {}
  virtual uintptr_t KeptClientWindow() const { return 0; }
  // Whether an MDI child is recorded as maximized.
  virtual bool ChildMaximized() const { return false; }
  virtual void SetChildMaximized(bool maximized) {}
  // A form skinner leaves the manager's list (it is being destroyed).
  virtual void RemoveFormSkinner(TComponent* skinner) {}
};
// Installs (or, with null, removes) the seam; not owned.
void SetSkinManagerSeam(TSkinManagerSeam* seam);
TSkinManagerSeam* SkinManagerSeam();

// System facts the component reads; defaults are those of a classic desktop.
struct TSkinPlatform {
  int HScrollArrowWidth = 16;
  TSysColorProc SysColor = ClassicSysColor;
  bool HasGetScrollBarInfo = true;
  // The program's TRACK / TRACKVERT bitmaps; empty: the built-in drawing.
  TPixelBuffer TrackImage;
  TPixelBuffer TrackVertImage;
};
void SetSkinPlatform(const TSkinPlatform& platform);
const TSkinPlatform& SkinPlatform();

// The system side of one TSkinData (GDI objects, fonts, hint window), made by the
// installed factory when the component is created and owned by it. With no factory
// installed (pure code, native tests) the component has none.
class TSkinDataSystem {
 public:
  virtual ~TSkinDataSystem() = default;
  // After every complete parse: the background brush takes this colour (slot 3).
  virtual void SetBackgroundColour(TSkinColor colour) = 0;
  // At Loaded: the caption font from the system's non-client metrics.
  virtual void LoadCaptionFont() = 0;
  // At Loaded of a main-form component: the application icon image.
  virtual void BuildApplicationIcon() = 0;
};
using TSkinDataSystemFactory = std::unique_ptr<TSkinDataSystem> (*)(TSkinData& data);
// Installs (or, with null, removes) the factory used by components created later.
void SetSkinDataSystemFactory(TSkinDataSystemFactory factory);

// Registers TSkinData with the class registry so layouts can create it. Needs the
// class registry running (InitUnits); registering twice does nothing.
void RegisterSkinDataClasses();

// True once any TSkinData was created in this process.
bool SkinComponentExists();

// The default Skin3rd rows ("class=kind"), 118 of them.
const std::vector<std::string>& DefaultSkin3rd();

// Frees the rows above and puts the platform facts back to their defaults (the
// skin unit's stop); the rows are made again when asked for.
void ReleaseSkinDataCaches();

// "SkinStream" bytes: a 32-bit little-endian count, then that many bytes. Returns
// false (and leaves `container` empty) when the count is below 1 or larger than the
// bytes that follow.
bool DecodeSkinStream(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& container);
std::vector<uint8_t> EncodeSkinStream(const std::vector<uint8_t>& container);

class ESkinDataError : public Exception {
  VELMORA_CLASS(ESkinDataError, Exception)
 public:
  using Exception::Exception;
};

class TSkinData : public TComponent {
  VELMORA_CLASS(TSkinData, TComponent)
  VELMORA_PUBLISHED(TSkinData)

 public:
  explicit TSkinData(TComponent* owner = nullptr);
  ~TSkinData() override;

  // Published properties.
  bool Active() const { return active_; }
  void SetActive(bool value);
  int32_t DisableTag = 99;
  TSkinControlTypes SkinControls = TSkinControlTypes::FromBits(kDefaultSkinControls);
  TSkinOptions Options = TSkinOptions::FromBits(kDefaultSkinOptions);
  TStringList* Skin3rd() const { return skin3rd_.get(); }
  const std::string& SkinFile() const { return skinFile_; }
  void SetSkinFile(const std::string& fileName);
  // "(Good)" at design time when a skin is stored, else "(none)".
  std::string SkinStore() const;
  TSkinFormType SkinFormtype = TSkinFormType::sfMainform;
  std::string Version() const { return kSkinDataVersion; }
  bool MenuUpdate = true;
  bool MenuMerge = false;
  TOnFormSkin OnFormSkin;
  TNotifyEvent OnSkinChanged;
  TOnSkinControl OnSkinControl;
  TOnSkinForm OnBeforeSkinForm;
  TOnSkinForm OnAfterSkinForm;

  // Whether skinned frames are painted; form skinners turn it off while the system
  // rebuilds a window's menu. On from creation.
  bool FramePainting = true;

  // Parses the container held in the SkinStream buffer. Returns false when there is
  // no container, it cannot be read or it holds no INI; the previous skin stays in
  // force then and the not-loaded flag stays set. An exception from the parse
  // propagates with the same guarantee.
  bool LoadSkin();
  void Loaded() override;

  // "SkinStream" as the layout stores it.
  void ReadSkinStream(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> WriteSkinStream() const;
  // The container bytes themselves.
  std::vector<uint8_t> SkinStreamBytes() const;
  void SetSkinStreamBytes(const std::vector<uint8_t>& container);

  bool NotLoaded() const { return notLoaded_; }
  const std::string& SkinName() const { return model_.SkinName; }
  const TSkinModel& Skin() const { return model_; }
  TDataSkinBorder* Left() { return &model_.Left; }
  TDataSkinBorder* Right() { return &model_.Right; }
  TDataSkinBorder* Top() { return &model_.Top; }
  TDataSkinBorder* Bottom() { return &model_.Bottom; }
  TDataSkinTitle* Title() { return &model_.Title; }
  TDataSkinButton* Buttons() { return &model_.Buttons; }
  TSkinColor SampleColour() const { return model_.Colours[kSlotSampled]; }
  // A solid background brush takes this colour (colour slot 3).
  TSkinColor BackgroundColour() const { return model_.Colours[kSlotButtonFace]; }

  // Before a window is skinned: OnFormSkin alone decides when assigned; else the
  // month calendar and, with xcFastReport, report windows ("Tfr...") stay unskinned.
  void DoFormSkin(uintptr_t window, const std::string& name, bool& doSkin);
  uintptr_t AskedWindow() const { return askedWindow_; }
  void DoSkinChanged();

  // The system side, null when no factory was installed.
  TSkinDataSystem* System() const { return system_.get(); }

  // Optional trace list (not owned) for the popup-menu skinner.
  TStrings* TraceList = nullptr;
  void AddTraceLine(const std::string& text);

 protected:
  // Parses a skin description into a fresh model. Overridable to parse differently.
  virtual std::unique_ptr<TSkinModel> ParseModel(const TQuickIni& ini, const TSkinEntryLookup& lookup);
  bool Designing() const { return ComponentState().Contains(TComponentStateItem::csDesigning); }

 private:
  void ReapplySkin();

  bool active_ = false;
  std::string skinFile_;
  std::unique_ptr<TStringList> skin3rd_;
  std::vector<uint8_t> skinStream_;
  bool notLoaded_ = true;
  TSkinModel model_;
  uintptr_t askedWindow_ = 0;
  std::unique_ptr<TSkinDataSystem> system_;
};

}  // namespace skin
