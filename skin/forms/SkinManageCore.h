#pragma once
// The skin manager's decisions and its action machine, without windows: which
// windows are skinned and with which skin component, which popup menus, and what
// each timed action (skin all, unskin all, re-apply, clean up, re-skin one window)
// does to the listed skinners. TSkinManage (SkinManage_win.h) supplies the windows,
// the timer and the skinner objects through the virtual operations below.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "skin/data/WinSkinData.h"

namespace skin {

// What the window filter looks at, gathered from one window.
struct TWindowFacts {
  std::string ClassName;
  uint32_t Style = 0, ExStyle = 0;
  bool ProgramInstance = true;  // GWL_HINSTANCE is the program's module
  int Width = 0, Height = 0;    // window rectangle
  bool HasControl = false;      // a class-library control object
  int32_t ControlTag = 0;
  bool AnswersSkinned = false;  // 0x3523 answered 1
  bool HasFormSkinner = false;
  std::string ParentClassName;
  bool ChildSweep = false;
  bool Enabled = false;
};

// The first step that refused a window, or Accepted.
enum class TSkinRefusal {
  Accepted, NotEnabled, AlreadySkinned, ChildOutsideSweep, ForeignWindow, ZeroArea, Tag99, ExcludedClass
};
TSkinRefusal FilterWindow(const TWindowFacts& facts);

// Popup menus of each kind (0 popup, 1 menu bar, 2 system menu) need their control kind.
bool PopupKindAllowed(int menuKind, const TSkinControlTypes& controls);

inline constexpr uint32_t kMsgSkinnedQuery = 0x3523;
inline constexpr int kActionSkinAll = 1, kActionUnskinAll = 2, kActionReapply = 3, kActionCleanUp = 6,
                     kActionReskinWindow = 7;
inline constexpr int kRunStateStopped = 4;
inline constexpr int kSkinnerDestroyed = 6;  // form skinner state: cleanup frees it

// The lists a process's own manager holds and attached managers share.
struct TSkinLists {
  std::vector<TObject*> FormSkinners;
  std::vector<TObject*> PopupSkinners;
  std::vector<TSkinData*> Components;
  std::vector<uintptr_t> ExtraHooks;
};

class TSkinManageCore : public TObject {
 public:
  // moduleId 0: the process's own manager (owns fresh lists); otherwise a manager
  // for another module, which gets its lists from AttachToParent.
  explicit TSkinManageCore(uint32_t moduleId = 0);
  virtual ~TSkinManageCore();
  TSkinManageCore(const TSkinManageCore&) = delete;
  TSkinManageCore& operator=(const TSkinManageCore&) = delete;

  bool Enabled = false;
  bool ChildSweep = false;
  int RunState = 0;
  int MenuKind = 0;
  bool MenuFlags[3] = {false, false, false};  // popup flag, MDI children maximized, keep hidden
  uintptr_t KeptWindow = 0;
  TComponent* KeptForm = nullptr;
  int Action = 0;
  TSkinData* Pending = nullptr;
  TSkinData* MainSkinData = nullptr;
  uint32_t ModuleId = 0;
  uintptr_t QueuedWindow = 0;
  TSkinManageCore* Parent = nullptr;

  TSkinLists& Lists() { return *lists_; }
  const TSkinLists& Lists() const { return *lists_; }
  const std::vector<TSkinManageCore*>& Children() const { return children_; }

  void Register(TSkinData* data);
  // Restores and frees the skinners painting from `data`, then forgets it: it is no
  // longer pending or the main component (the next main-form component is).
  void Unregister(TSkinData* data);
  // Which component serves a window: its own form's sfOnlyThisForm component, a
  // dialog component for dialogs, the main-form component, the first one; the last
  // match of each kind.
  TSkinData* FindSkinData(uintptr_t window, const std::string& className) const;
  bool CanSkin(uintptr_t window, uint32_t style, const std::string& className) const;
  TObject* FindSkinForm(uintptr_t window) const;
  TObject* FindPopup(uintptr_t window) const;

  void StartAction(int action, int intervalMs);
  void ActionTimer();
  void Cleanup();
  // A form skinner leaves the list (it is being destroyed); nothing while stopped.
  void RemoveSkinForm(TObject* skinner);
  void RemovePopup(TObject* popup);
  // Detaches and frees the popup skinner of `window`; true when there was one.
  bool WindowDestroyed(uintptr_t window);
  void ReleaseCaptionButtons();
  void AttachToParent(TSkinManageCore* parent);
  void SetChildMaximized(bool maximized);

 protected:
  // The timer.
  virtual void SetTimer(bool enabled, int intervalMs) = 0;
  // Action 1: every screen form from the last to the first (all) or the owner form of
  // `data` only.
  virtual void SkinScreenForms(TSkinData* onlyOwnerOf) = 0;
  virtual bool SkinWindowHandle(uintptr_t window) = 0;
  // The window of the form that owns `data` (0 when none).
  virtual uintptr_t OwnerWindowOf(const TSkinData* data) const = 0;
  // Form skinners.
  virtual TSkinData* SkinnerData(TObject* skinner) const = 0;
  virtual int SkinnerState(TObject* skinner) const = 0;
  virtual void SetSkinnerState(TObject* skinner, int state) = 0;
  virtual uint32_t SkinnerModule(TObject* skinner) const = 0;
  virtual uintptr_t SkinnerWindow(TObject* skinner) const = 0;
  virtual bool SkinnerIsMdiChild(TObject* skinner) const = 0;
  // Gives the window back as the system draws it and repaints it.
  virtual void RestoreSkinner(TObject* skinner) = 0;
  // Re-reads skin data and frame metrics, or refreshes colours and controls.
  virtual void RereadSkinner(TObject* skinner) = 0;
  virtual void RefreshSkinner(TObject* skinner) = 0;
  virtual void DropCaptionButtons(TObject* skinner) = 0;
  virtual void ReframeMdiChild(TObject* skinner, bool maximized) = 0;
  // Frees a skinner no longer listed (without repainting when `releaseOnly`).
  virtual void FreeSkinner(TObject* skinner, bool releaseOnly) = 0;
  // Popup skinners: window procedure back, then freed.
  virtual uintptr_t PopupWindow(TObject* popup) const = 0;
  virtual TSkinData* PopupData(TObject* popup) const = 0;
  virtual void FreePopup(TObject* popup) = 0;
  bool OwnManager() const { return Parent == nullptr && ModuleId == 0; }
  // The destruction steps after the timer: RunState 4, skinners released and freed
  // (own manager) or this module's skinners released and the parent left.
  void Shutdown();

 private:
  void ActionAll(TSkinData* pending);
  void ActionOnlyThisForm(TSkinData* pending);
  void UnlistAndFree(TObject* skinner, bool releaseOnly);
  // Action 6: every destroyed skinner, whatever its module.
  void FreeDestroyed();

  std::shared_ptr<TSkinLists> lists_;
  std::vector<TSkinManageCore*> children_;
};

}  // namespace skin
