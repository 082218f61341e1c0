#pragma once
// TSkinManage: the process's skin manager. It watches window creation, activation
// and destruction on the GUI thread through a WH_CBT hook, gives forms and dialogs a
// form skinner and popup menus a popup skinner, and runs the skin actions from a
// timer (SkinManageCore.h decides). The skin engine's unit (RegisterSkinUnit) starts
// the process-wide state and frees the manager when it stops.
#include <windows.h>

#include <memory>

#include "classlib/ExtCtrls_win.h"
#include "classlib/Forms_win.h"
#include "skin/forms/SkinManageCore.h"
#include "skin/forms/WinSkinForm.h"
#include "skin/forms/WinSkinPopMenu.h"

namespace skin {

class TSkinManage : public TSkinManageCore {
 public:
  // moduleId 0: the process's own manager; another module's instance handle: a
  // manager that AttachToParent joins to the process's one.
  explicit TSkinManage(uint32_t moduleId = 0);
  ~TSkinManage() override;

  // Installs the WH_CBT hook for the calling thread, once per thread.
  void InstallHook();
  // Gives `window` a form skinner when every rule lets it; true when one was made.
  bool SkinWindow(HWND window);
  // A visible form whose window is not a child window.
  void SkinForm(TCustomForm* form);
  bool SkinPopupMenu(HWND window);
  // The form skinner names the kind of the menu being tracked. Where the system
  // creates the popup window before saying which menu it shows (Wine does), popups
  // not shown yet whose kind is not skinned are given back here.
  void SetMenuKind(int kind);
  TWinSkinForm* FindSkinForm(HWND window) const;
  TWinSkinPopMenu* FindPopup(HWND window) const;

  // For the menu painter: every popup skinner's flag; the newest popup skinner
  // without a menu takes `menu`; the frame image of the popup showing `menu`.
  void FlagAllPopups();
  void AssignMenuToNewestPopup(HMENU menu);
  HBITMAP PopupFrameImage(HMENU menu) const;
  // The popup that painted while it had no menu yet; cleared when it goes.
  TWinSkinPopMenu* CurrentPopup = nullptr;

  TTimer& Timer() { return *timer_; }
  // The step at which the last SkinWindow stopped (Accepted when it got past the filter).
  TSkinRefusal LastRefusal = TSkinRefusal::Accepted;

  using TSkinManageCore::FindSkinForm;
  using TSkinManageCore::FindPopup;

 protected:
  void SetTimer(bool enabled, int intervalMs) override;
  void SkinScreenForms(TSkinData* onlyOwnerOf) override;
  bool SkinWindowHandle(uintptr_t window) override;
  uintptr_t OwnerWindowOf(const TSkinData* data) const override;
  TSkinData* SkinnerData(TObject* skinner) const override;
  int SkinnerState(TObject* skinner) const override;
  void SetSkinnerState(TObject* skinner, int state) override;
  uint32_t SkinnerModule(TObject* skinner) const override;
  uintptr_t SkinnerWindow(TObject* skinner) const override;
  bool SkinnerIsMdiChild(TObject* skinner) const override;
  void RestoreSkinner(TObject* skinner) override;
  void RereadSkinner(TObject* skinner) override;
  void RefreshSkinner(TObject* skinner) override;
  void DropCaptionButtons(TObject* skinner) override;
  void ReframeMdiChild(TObject* skinner, bool maximized) override;
  void FreeSkinner(TObject* skinner, bool releaseOnly) override;
  uintptr_t PopupWindow(TObject* popup) const override;
  TSkinData* PopupData(TObject* popup) const override;
  void FreePopup(TObject* popup) override;

 private:
  void Tick(TObject* sender);
  std::unique_ptr<TTimer> timer_;
};

// The WH_CBT hook procedure; it always passes the call on.
LRESULT CALLBACK SkinCBTHook(int code, WPARAM wParam, LPARAM lParam);

// The process's manager (null until the first main-form component loads, and after
// the skin unit stopped).
TSkinManage* SkinManager();
// The process-wide hook handle (null when none) and the hook-disabled byte.
HHOOK SkinHookHandle();
bool SkinHookDisabled();
// GetVersion's value as the manager stored it, and the two system flags.
DWORD SkinVersionWord();
bool SkinNtFamily();
bool SkinMajorVersionNot6();

// The skin engine's unit: its start sets up the process-wide state, holds the shared
// work bitmap and fills the skin component's manager seam; its stop frees the
// manager (hook removed, windows given back), releases the bitmap and empties the
// seam. Register after the forms' unit so it stops before it. Calling it again does
// nothing.
void RegisterSkinUnit();
// What the unit's start and stop do; tests stop and restart the engine with them.
void StartSkinEngine();
void StopSkinEngine();

}  // namespace skin
