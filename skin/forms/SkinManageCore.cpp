// The skin manager's window filter, component choice and action machine.
#include "skin/forms/SkinManageCore.h"

#include <algorithm>

#include "classlib/SysUtils.h"

namespace skin {

namespace {

constexpr uint32_t kChildStyle = 0x40000000;   // WS_CHILD
constexpr uint32_t kMdiChildExStyle = 0x40;    // WS_EX_MDICHILD
constexpr uint32_t kContextHelpStyle = 0x200;  // a "#32770" dialog with this bit stays unskinned
constexpr int32_t kNeverSkinTag = 99;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

template <typename T>
void Erase(std::vector<T>& list, T item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

TSkinRefusal FilterWindow(const TWindowFacts& f) {
  if (!f.Enabled) return TSkinRefusal::NotEnabled;
  if (f.AnswersSkinned || f.HasFormSkinner) return TSkinRefusal::AlreadySkinned;
  const bool mdiChild = (f.ExStyle & kMdiChildExStyle) != 0;
  if (!f.ChildSweep && (f.Style & kChildStyle) && !mdiChild && LowerCase(f.ParentClassName) != "mdiclient")
    return TSkinRefusal::ChildOutsideSweep;
  // Foreign windows are skinned only when they are standard dialogs.
  if (!f.HasControl && !f.ProgramInstance && f.ClassName != "#32770") return TSkinRefusal::ForeignWindow;
  if ((f.Width <= 0 || f.Height <= 0) && !mdiChild) return TSkinRefusal::ZeroArea;
  if (f.HasControl && f.ControlTag == kNeverSkinTag) return TSkinRefusal::Tag99;
  if (Contains(f.ClassName, "TcxPopupEditPopupWindow") || Contains(f.ClassName, "TTERenderWindow") ||
      f.ClassName == "TApplication")
    return TSkinRefusal::ExcludedClass;
  return TSkinRefusal::Accepted;
}

bool PopupKindAllowed(int menuKind, const TSkinControlTypes& controls) {
  using T = TSkinControlType;
  switch (menuKind) {
    case 0: return controls.Contains(T::xcPopupMenu);
    case 1: return controls.Contains(T::xcMainMenu) || controls.Contains(T::xcMenuItem);
    case 2: return controls.Contains(T::xcSystemMenu);
    default: return true;
  }
}

TSkinManageCore::TSkinManageCore(uint32_t moduleId)
    : ModuleId(moduleId), lists_(std::make_shared<TSkinLists>()) {}

TSkinManageCore::~TSkinManageCore() = default;

void TSkinManageCore::Register(TSkinData* data) {
  if (!data) return;
  auto& list = lists_->Components;
  if (std::find(list.begin(), list.end(), data) == list.end()) list.push_back(data);
  if (!MainSkinData && data->SkinFormtype == TSkinFormType::sfMainform) MainSkinData = data;
}

void TSkinManageCore::Unregister(TSkinData* data) {
  if (!data) return;
  // Nothing may paint from a component that is going away.
  for (TObject* popup : std::vector<TObject*>(lists_->PopupSkinners))
    if (PopupData(popup) == data) {
      Erase(lists_->PopupSkinners, popup);
      FreePopup(popup);
    }
  for (TObject* skinner : std::vector<TObject*>(lists_->FormSkinners))
    if (SkinnerData(skinner) == data) UnlistAndFree(skinner, false);
  Erase(lists_->Components, data);
  if (Pending == data) Pending = nullptr;
  if (MainSkinData == data) {
    MainSkinData = nullptr;
    for (TSkinData* other : lists_->Components)
      if (other->SkinFormtype == TSkinFormType::sfMainform) {
        MainSkinData = other;
        break;
      }
  }
}

TSkinData* TSkinManageCore::FindSkinData(uintptr_t window, const std::string& className) const {
  const auto& list = lists_->Components;
  if (window)
    for (TSkinData* data : list)
      if (data->SkinFormtype == TSkinFormType::sfOnlyThisForm && OwnerWindowOf(data) == window) return data;
  auto last = [&](TSkinFormType type) -> TSkinData* {
    for (auto it = list.rbegin(); it != list.rend(); ++it)
      if ((*it)->SkinFormtype == type) return *it;
    return nullptr;
  };
  const std::string lower = LowerCase(className);
  if (lower == "tmessageform" || lower == "#32770")
    if (TSkinData* dialog = last(TSkinFormType::sfDialog)) return dialog;
  if (TSkinData* main = last(TSkinFormType::sfMainform)) return main;
  return list.empty() ? nullptr : list.front();
}

bool TSkinManageCore::CanSkin(uintptr_t window, uint32_t style, const std::string& className) const {
  if (!MainSkinData) return true;
  const std::string lower = LowerCase(className);
  bool doSkin = true;
  if (!MainSkinData->Options.Contains(TSkinOption::xoPreview) && Contains(lower, "preview")) doSkin = false;
  if (className == "#32770" && (style & kContextHelpStyle)) doSkin = false;
  if (lower == "tpopupdbtreeview") doSkin = false;
  MainSkinData->DoFormSkin(window, className, doSkin);
  return doSkin;
}

TObject* TSkinManageCore::FindSkinForm(uintptr_t window) const {
  for (TObject* skinner : lists_->FormSkinners)
    if (SkinnerWindow(skinner) == window) return skinner;
  return nullptr;
}

TObject* TSkinManageCore::FindPopup(uintptr_t window) const {
  for (TObject* popup : lists_->PopupSkinners)
    if (PopupWindow(popup) == window) return popup;
  return nullptr;
}

void TSkinManageCore::StartAction(int action, int intervalMs) {
  Action = action;
  SetTimer(false, intervalMs);
  if (RunState == 0) {
    // No window was activated yet: the hook skins windows as they are activated.
    if (action == kActionSkinAll) Enabled = true;
    if (action == kActionUnskinAll) Enabled = false;
    return;
  }
  if (OwnManager())
    for (TSkinManageCore* child : children_) {
      child->Pending = Pending;
      if (action == kActionSkinAll) {
        child->Enabled = true;
        child->StartAction(kActionSkinAll, 300);
      } else if (action == kActionUnskinAll) {
        child->Enabled = false;
      }
    }
  SetTimer(true, intervalMs);
}

void TSkinManageCore::ActionTimer() {
  SetTimer(false, 0);
  TSkinData* pending = Pending;
  if (!pending) return;
  if (Action == kActionReskinWindow) {
    // Re-skinning one window is not a change of skin: nobody is told, and the
    // component stays pending.
    if (pending->SkinFormtype == TSkinFormType::sfOnlyThisForm) return;
    TObject* skinner = FindSkinForm(QueuedWindow);
    if (!skinner) return;
    RestoreSkinner(skinner);
    SetSkinnerState(skinner, kSkinnerDestroyed);
    Cleanup();
    SkinWindowHandle(QueuedWindow);
    return;
  }
  if (pending->SkinFormtype == TSkinFormType::sfOnlyThisForm)
    ActionOnlyThisForm(pending);
  else
    ActionAll(pending);
  Pending = nullptr;
  pending->DoSkinChanged();
}

void TSkinManageCore::ActionAll(TSkinData* pending) {
  auto& skinners = lists_->FormSkinners;
  switch (Action) {
    case kActionSkinAll:
      Enabled = true;
      MenuFlags[2] = false;
      ChildSweep = true;
      Cleanup();
      SkinScreenForms(nullptr);
      ChildSweep = false;
      if (OwnManager())
        for (TSkinManageCore* child : children_) {
          child->Pending = pending;
          child->Enabled = true;
          child->StartAction(kActionSkinAll, 300);
        }
      break;
    case kActionUnskinAll:
      Enabled = false;
      Cleanup();
      while (!skinners.empty()) {
        TObject* first = skinners.front();
        RestoreSkinner(first);
        UnlistAndFree(first, false);
      }
      if (OwnManager())
        for (TSkinManageCore* child : children_) child->Enabled = false;
      break;
    case kActionReapply: {
      Cleanup();
      std::vector<TObject*> mine;
      for (TObject* s : skinners)
        if (SkinnerData(s) == pending) mine.push_back(s);
      for (TObject* s : mine) RereadSkinner(s);
      for (TObject* s : mine) RefreshSkinner(s);
      break;
    }
    case kActionCleanUp:
      FreeDestroyed();
      break;
    default:
      break;
  }
}

void TSkinManageCore::ActionOnlyThisForm(TSkinData* pending) {
  auto& skinners = lists_->FormSkinners;
  switch (Action) {
    case kActionSkinAll:
      Enabled = true;
      ChildSweep = true;
      SkinScreenForms(pending);
      ChildSweep = false;
      break;
    case kActionUnskinAll:
      Enabled = false;
      Cleanup();
      for (auto it = skinners.rbegin(); it != skinners.rend(); ++it)
        if (SkinnerData(*it) == pending) {
          TObject* s = *it;
          RestoreSkinner(s);
          UnlistAndFree(s, false);
          break;
        }
      break;
    case kActionReapply:
      Cleanup();
      for (TObject* s : skinners)
        if (SkinnerData(s) == pending) {
          RereadSkinner(s);
          RefreshSkinner(s);
          break;
        }
      break;
    case kActionCleanUp:
      FreeDestroyed();
      break;
    default:
      break;
  }
}

void TSkinManageCore::Cleanup() {
  if (RunState == kRunStateStopped) return;
  auto& skinners = lists_->FormSkinners;
  for (size_t i = skinners.size(); i-- > 0;) {
    if (i >= skinners.size()) continue;  // a freed skinner took others with it
    TObject* s = skinners[i];
    if (SkinnerState(s) == kSkinnerDestroyed && SkinnerModule(s) == ModuleId) UnlistAndFree(s, false);
  }
}

void TSkinManageCore::FreeDestroyed() {
  for (TObject* s : std::vector<TObject*>(lists_->FormSkinners))
    if (SkinnerState(s) == kSkinnerDestroyed) UnlistAndFree(s, false);
}

void TSkinManageCore::UnlistAndFree(TObject* skinner, bool releaseOnly) {
  Erase(lists_->FormSkinners, skinner);
  FreeSkinner(skinner, releaseOnly);
}

void TSkinManageCore::RemoveSkinForm(TObject* skinner) { Erase(lists_->FormSkinners, skinner); }

void TSkinManageCore::RemovePopup(TObject* popup) {
  Erase(lists_->PopupSkinners, popup);
  if (lists_->PopupSkinners.empty()) {
    MenuKind = 0;
    MenuFlags[0] = false;
  }
}

bool TSkinManageCore::WindowDestroyed(uintptr_t window) {
  TObject* popup = FindPopup(window);
  if (!popup) return false;
  RemovePopup(popup);
  FreePopup(popup);
  return true;
}

void TSkinManageCore::ReleaseCaptionButtons() {
  for (TObject* s : lists_->FormSkinners)
    if (SkinnerData(s) == Pending) DropCaptionButtons(s);
}

void TSkinManageCore::AttachToParent(TSkinManageCore* parent) {
  if (Parent && Parent != parent) Erase(Parent->children_, this);
  if (parent) {
    lists_ = parent->lists_;
    MainSkinData = parent->MainSkinData;
    Enabled = parent->Enabled;
    Parent = parent;
    RunState = 1;
    parent->children_.push_back(this);
  } else {
    lists_ = std::make_shared<TSkinLists>();
    MainSkinData = nullptr;
    Enabled = false;
    RunState = kRunStateStopped;
    Parent = nullptr;
  }
}

void TSkinManageCore::SetChildMaximized(bool maximized) {
  if (MenuFlags[1] == maximized) return;
  MenuFlags[1] = maximized;
  if (MainSkinData && MainSkinData->Options.Contains(TSkinOption::xoMDIChildBorder)) return;
  for (TObject* s : std::vector<TObject*>(lists_->FormSkinners))
    if (SkinnerIsMdiChild(s)) ReframeMdiChild(s, maximized);
}

void TSkinManageCore::Shutdown() {
  RunState = kRunStateStopped;
  Enabled = false;
  SetTimer(false, 0);
  auto& skinners = lists_->FormSkinners;
  if (OwnManager()) {
    std::vector<TObject*> popups;
    popups.swap(lists_->PopupSkinners);
    for (TObject* popup : popups) FreePopup(popup);
    for (TObject* s : std::vector<TObject*>(skinners))
      if (SkinnerModule(s) == ModuleId) UnlistAndFree(s, true);
    lists_->Components.clear();
    for (TSkinManageCore* child : std::vector<TSkinManageCore*>(children_)) child->AttachToParent(nullptr);
    children_.clear();
  } else {
    for (TObject* s : std::vector<TObject*>(skinners))
      if (SkinnerModule(s) == ModuleId) UnlistAndFree(s, true);
    AttachToParent(nullptr);
  }
  MainSkinData = nullptr;
  Pending = nullptr;
}

}  // namespace skin
