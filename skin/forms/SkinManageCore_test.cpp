// The manager's decisions and action machine over recording stand-in skinners.
#include "skin/forms/SkinManageCore.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace skin {
namespace {

struct TFakeSkinner : TObject {
  TSkinData* Data = nullptr;
  int State = 1;
  uint32_t Module = 0;
  uintptr_t Window = 0;
};

// Logs what the machine asks of the windows and skinners.
class TFakeManager : public TSkinManageCore {
 public:
  using TSkinManageCore::Shutdown;
  using TSkinManageCore::TSkinManageCore;
  ~TFakeManager() override {
    for (auto& s : owned) s.reset();
  }
  TFakeSkinner* Add(std::vector<TObject*>& list, TSkinData* data, uintptr_t window, uint32_t module = 0) {
    owned.push_back(std::make_unique<TFakeSkinner>());
    TFakeSkinner* s = owned.back().get();
    s->Data = data, s->Window = window, s->Module = module;
    list.push_back(s);
    return s;
  }
  TFakeSkinner* AddSkinner(TSkinData* d, uintptr_t w, uint32_t m = 0) { return Add(Lists().FormSkinners, d, w, m); }
  TFakeSkinner* AddPopup(TSkinData* d, uintptr_t w) { return Add(Lists().PopupSkinners, d, w); }
  // One action for `d` run from the timer; what it asked, the log left empty.
  std::vector<std::string> Run(TSkinData* d, int action) {
    log.clear();
    Pending = d;
    StartAction(action, 250);
    ActionTimer();
    return std::exchange(log, {});
  }

  std::vector<std::string> log;
  bool timerOn = false;
  int timerInterval = 0;
  std::map<const TSkinData*, uintptr_t> owners;
  std::vector<std::unique_ptr<TFakeSkinner>> owned;

 protected:
  static TFakeSkinner* F(TObject* s) { return static_cast<TFakeSkinner*>(s); }
  void Log(const char* what, TObject* s) { log.push_back(what + std::to_string(F(s)->Window)); }
  void SetTimer(bool on, int interval) override { timerOn = on, timerInterval = interval ? interval : timerInterval; }
  void SkinScreenForms(TSkinData* only) override { log.push_back(only ? "skin owner" : "skin forms"); }
  bool SkinWindowHandle(uintptr_t w) override { return log.push_back("skin " + std::to_string(w)), true; }
  uintptr_t OwnerWindowOf(const TSkinData* d) const override { return owners.count(d) ? owners.at(d) : 0; }
  TSkinData* SkinnerData(TObject* s) const override { return F(s)->Data; }
  int SkinnerState(TObject* s) const override { return F(s)->State; }
  void SetSkinnerState(TObject* s, int state) override { F(s)->State = state; }
  uint32_t SkinnerModule(TObject* s) const override { return F(s)->Module; }
  uintptr_t SkinnerWindow(TObject* s) const override { return F(s)->Window; }
  bool SkinnerIsMdiChild(TObject*) const override { return false; }
  void RestoreSkinner(TObject* s) override { Log("restore ", s); }
  void RereadSkinner(TObject* s) override { Log("reread ", s); }
  void RefreshSkinner(TObject* s) override { Log("refresh ", s); }
  void DropCaptionButtons(TObject* s) override { Log("drop ", s); }
  void ReframeMdiChild(TObject*, bool) override {}
  void FreeSkinner(TObject* s, bool releaseOnly) override { Log(releaseOnly ? "release " : "free ", s); }
  uintptr_t PopupWindow(TObject* s) const override { return F(s)->Window; }
  TSkinData* PopupData(TObject* s) const override { return F(s)->Data; }
  void FreePopup(TObject* s) override { Log("popup ", s); }
};

using TLog = std::vector<std::string>;

// Counts OnSkinChanged calls.
struct TChangeCounter : TObject {
  int calls = 0;
  void Changed(TObject*) { ++calls; }
};

std::unique_ptr<TSkinData> Data(TSkinFormType type) {
  auto d = std::make_unique<TSkinData>();
  d->SkinFormtype = type;
  return d;
}

TWindowFacts SkinnableForm() {
  TWindowFacts f;
  f.ClassName = "TForm1";
  f.Width = f.Height = 100;
  f.HasControl = true;
  f.Enabled = true;
  return f;
}

TEST(SkinWindowFilter, EachStepRefuses) {
  EXPECT_EQ(FilterWindow(SkinnableForm()), TSkinRefusal::Accepted);
  auto with = [](auto change) {
    TWindowFacts f = SkinnableForm();
    change(f);
    return FilterWindow(f);
  };
  EXPECT_EQ(with([](auto& f) { f.Enabled = false; }), TSkinRefusal::NotEnabled);
  EXPECT_EQ(with([](auto& f) { f.AnswersSkinned = true; }), TSkinRefusal::AlreadySkinned);
  EXPECT_EQ(with([](auto& f) { f.HasFormSkinner = true; }), TSkinRefusal::AlreadySkinned);
  // Child windows: only during a sweep, as MDI children or inside an MDI client.
  EXPECT_EQ(with([](auto& f) { f.Style = 0x40000000; }), TSkinRefusal::ChildOutsideSweep);
  EXPECT_EQ(with([](auto& f) { f.Style = 0x40000000; f.ChildSweep = true; }), TSkinRefusal::Accepted);
  EXPECT_EQ(with([](auto& f) { f.Style = 0x40000000; f.ExStyle = 0x40; }), TSkinRefusal::Accepted);
  EXPECT_EQ(with([](auto& f) { f.Style = 0x40000000; f.ParentClassName = "MDIClient"; }), TSkinRefusal::Accepted);
  // Foreign windows only as standard dialogs.
  EXPECT_EQ(with([](auto& f) { f.HasControl = false; f.ProgramInstance = false; }), TSkinRefusal::ForeignWindow);
  EXPECT_EQ(with([](auto& f) { f.HasControl = false; f.ProgramInstance = false; f.ClassName = "#32770"; }),
            TSkinRefusal::Accepted);
  EXPECT_EQ(with([](auto& f) { f.HasControl = false; }), TSkinRefusal::Accepted);
  EXPECT_EQ(with([](auto& f) { f.Height = 0; }), TSkinRefusal::ZeroArea);
  EXPECT_EQ(with([](auto& f) { f.Width = 0; f.ExStyle = 0x40; }), TSkinRefusal::Accepted);
  EXPECT_EQ(with([](auto& f) { f.ControlTag = 99; }), TSkinRefusal::Tag99);
  EXPECT_EQ(with([](auto& f) { f.ControlTag = 99; f.HasControl = false; }), TSkinRefusal::Accepted);
  for (const char* name : {"TcxPopupEditPopupWindowX", "xTTERenderWindow", "TApplication"})
    EXPECT_EQ(with([&](auto& f) { f.ClassName = name; }), TSkinRefusal::ExcludedClass) << name;
  EXPECT_EQ(with([](auto& f) { f.ClassName = "TApplicationX"; }), TSkinRefusal::Accepted);
}

TEST(SkinManageCore, CanSkinRulesAndTheComponentsSay) {
  TFakeManager m;
  EXPECT_TRUE(m.CanSkin(1, 0, "TPreviewForm"));  // no main component: nothing to ask
  auto main = Data(TSkinFormType::sfMainform);
  m.Register(main.get());
  main->Options.Exclude(TSkinOption::xoPreview);
  EXPECT_FALSE(m.CanSkin(1, 0, "TMyPREVIEWForm"));
  main->Options.Include(TSkinOption::xoPreview);
  EXPECT_TRUE(m.CanSkin(1, 0, "TMyPREVIEWForm"));
  EXPECT_FALSE(m.CanSkin(1, 0x200, "#32770"));
  EXPECT_TRUE(m.CanSkin(1, 0x200, "TForm1"));
  EXPECT_FALSE(m.CanSkin(1, 0, "TPopupDBTreeView"));
  EXPECT_FALSE(m.CanSkin(1, 0, "SysMonthCal32"));  // the component's own rule
  EXPECT_EQ(main->AskedWindow(), 1u);
  struct TDecider : TObject {
    bool answer = true;
    void Decide(TObject*, const std::string&, bool& doSkin) { doSkin = answer; }
  } decider;
  main->OnFormSkin = TOnFormSkin::Of<&TDecider::Decide>(&decider);
  EXPECT_TRUE(m.CanSkin(2, 0, "TPopupDBTreeView"));
  decider.answer = false;
  EXPECT_FALSE(m.CanSkin(2, 0, "TForm1"));
}

TEST(SkinManageCore, FindSkinDataOrder) {
  TFakeManager m;
  EXPECT_EQ(m.FindSkinData(5, "TForm1"), nullptr);
  auto only = Data(TSkinFormType::sfOnlyThisForm), dll = Data(TSkinFormType::sfDLL);
  auto main1 = Data(TSkinFormType::sfMainform), main2 = Data(TSkinFormType::sfMainform);
  auto dialog1 = Data(TSkinFormType::sfDialog), dialog2 = Data(TSkinFormType::sfDialog);
  m.Register(dll.get());
  m.Register(only.get());
  EXPECT_EQ(m.FindSkinData(5, "TForm1"), dll.get());  // only the first registered remains
  m.owners[only.get()] = 5;
  EXPECT_EQ(m.FindSkinData(5, "TForm1"), only.get());
  for (auto* d : {main1.get(), dialog1.get(), main2.get(), dialog2.get()}) m.Register(d);
  EXPECT_EQ(m.MainSkinData, main1.get());
  EXPECT_EQ(m.FindSkinData(6, "TForm1"), main2.get());
  EXPECT_EQ(m.FindSkinData(6, "#32770"), dialog2.get());
  EXPECT_EQ(m.FindSkinData(6, "TMessageForm"), dialog2.get());
  EXPECT_EQ(m.FindSkinData(5, "#32770"), only.get());
}

TEST(SkinManageCore, PopupGatingByMenuKind) {
  using T = TSkinControlType;
  const TSkinControlTypes popup({T::xcPopupMenu}), main({T::xcMainMenu}), item({T::xcMenuItem}),
      system({T::xcSystemMenu});
  EXPECT_TRUE(PopupKindAllowed(0, popup) && !PopupKindAllowed(0, system));
  EXPECT_TRUE(PopupKindAllowed(1, main) && PopupKindAllowed(1, item) && !PopupKindAllowed(1, popup));
  EXPECT_TRUE(PopupKindAllowed(2, system) && !PopupKindAllowed(2, popup));
  EXPECT_TRUE(PopupKindAllowed(3, {}));
}

TEST(SkinManageCore, ActionsBeforeAndAfterTheFirstActivation) {
  TFakeManager m;
  auto main = Data(TSkinFormType::sfMainform);
  TChangeCounter changes;
  main->OnSkinChanged = TNotifyEvent::Of<&TChangeCounter::Changed>(&changes);
  m.Register(main.get());
  m.Pending = main.get();
  m.StartAction(1, 250);  // no window activated yet: no timer, only Enabled
  EXPECT_FALSE(m.timerOn);
  EXPECT_TRUE(m.Enabled);
  m.StartAction(2, 250);
  EXPECT_FALSE(m.Enabled);
  EXPECT_FALSE(m.timerOn);

  m.RunState = 1;
  m.StartAction(1, 250);
  EXPECT_TRUE(m.timerOn);
  EXPECT_EQ(m.timerInterval, 250);
  m.MenuFlags[2] = true;
  m.ActionTimer();
  EXPECT_FALSE(m.timerOn);
  EXPECT_TRUE(m.Enabled);
  EXPECT_FALSE(m.MenuFlags[2]);
  EXPECT_FALSE(m.ChildSweep);
  EXPECT_EQ(m.log, TLog{"skin forms"});
  EXPECT_EQ(m.Pending, nullptr);
  EXPECT_EQ(changes.calls, 1);
  m.ActionTimer();  // nothing pending: nothing, nobody told
  EXPECT_EQ(changes.calls, 1);

  // Action 7 for a window without a skinner: the component stays pending, unnotified.
  m.QueuedWindow = 42;
  EXPECT_TRUE(m.Run(main.get(), 7).empty());
  EXPECT_EQ(m.Pending, main.get());
  EXPECT_EQ(changes.calls, 1);
  // With one: restored, freed by the cleanup, skinned again; still pending, unnotified.
  m.AddSkinner(main.get(), 42);
  m.ActionTimer();
  EXPECT_EQ(m.log, (TLog{"restore 42", "free 42", "skin 42"}));
  EXPECT_EQ(m.Pending, main.get());
  EXPECT_EQ(changes.calls, 1);

  // Any other code only notifies.
  EXPECT_TRUE(m.Run(main.get(), 9).empty());
  EXPECT_EQ(changes.calls, 2);
}

TEST(SkinManageCore, UnskinReapplyCleanUp) {
  TFakeManager m;
  auto a = Data(TSkinFormType::sfMainform), b = Data(TSkinFormType::sfMainform);
  m.Register(a.get());
  m.Register(b.get());
  m.RunState = 1;
  m.AddSkinner(a.get(), 1);
  m.AddSkinner(b.get(), 2);
  m.AddSkinner(a.get(), 3);
  EXPECT_EQ(m.Run(a.get(), 3), (TLog{"reread 1", "reread 3", "refresh 1", "refresh 3"}));

  // Cleanup frees destroyed skinners of this module only.
  m.AddSkinner(a.get(), 4)->State = kSkinnerDestroyed;
  m.AddSkinner(a.get(), 5, 77)->State = kSkinnerDestroyed;
  m.Cleanup();
  EXPECT_EQ(m.log, TLog{"free 4"});
  // Action 6 frees every destroyed one.
  EXPECT_EQ(m.Run(b.get(), 6), TLog{"free 5"});

  m.Enabled = true;
  EXPECT_EQ(m.Run(b.get(), 2), (TLog{"restore 1", "free 1", "restore 2", "free 2", "restore 3", "free 3"}));
  EXPECT_FALSE(m.Enabled);
  EXPECT_TRUE(m.Lists().FormSkinners.empty());
}

TEST(SkinManageCore, OnlyThisFormActions) {
  TFakeManager m;
  auto only = Data(TSkinFormType::sfOnlyThisForm), main = Data(TSkinFormType::sfMainform);
  m.Register(main.get());
  m.Register(only.get());
  m.RunState = 1;
  m.AddSkinner(only.get(), 1);
  m.AddSkinner(main.get(), 2);
  m.AddSkinner(only.get(), 3);
  EXPECT_EQ(m.Run(only.get(), 1), TLog{"skin owner"});
  EXPECT_EQ(m.Run(only.get(), 3), (TLog{"reread 1", "refresh 1"}));
  EXPECT_EQ(m.Run(only.get(), 2), (TLog{"restore 3", "free 3"}));
  EXPECT_FALSE(m.Enabled);
}

TEST(SkinManageCore, UnregisterRestoresItsSkinnersAndPassesMainOn) {
  TFakeManager m;
  auto a = Data(TSkinFormType::sfMainform), dialog = Data(TSkinFormType::sfDialog),
       b = Data(TSkinFormType::sfMainform);
  for (auto* d : {a.get(), dialog.get(), b.get()}) m.Register(d);
  m.AddSkinner(a.get(), 1);
  m.AddSkinner(b.get(), 2);
  m.AddPopup(a.get(), 8);
  m.Pending = a.get();
  m.Unregister(a.get());
  EXPECT_EQ(m.log, (TLog{"popup 8", "free 1"}));
  EXPECT_EQ(m.MainSkinData, b.get());
  EXPECT_EQ(m.Pending, nullptr);
  EXPECT_EQ(m.Lists().FormSkinners.size(), 1u);
  m.Unregister(b.get());
  EXPECT_EQ(m.MainSkinData, nullptr);
  EXPECT_EQ(m.FindSkinData(1, "TForm1"), dialog.get());
}

TEST(SkinManageCore, ChildManagersShareListsAndActions) {
  TFakeManager own;
  TFakeManager child(0x400000);
  auto main = Data(TSkinFormType::sfMainform);
  own.Register(main.get());
  own.RunState = 1;
  own.Enabled = true;
  child.AttachToParent(&own);
  EXPECT_EQ(child.RunState, 1);
  EXPECT_TRUE(child.Enabled);
  EXPECT_EQ(child.MainSkinData, main.get());
  EXPECT_EQ(&child.Lists(), &own.Lists());
  child.AddSkinner(main.get(), 11, 0x400000);
  own.AddSkinner(main.get(), 12);
  ASSERT_NE(child.FindSkinForm(11), nullptr);
  EXPECT_EQ(own.FindSkinForm(11), child.FindSkinForm(11));

  own.Pending = main.get();
  own.StartAction(2, 250);
  EXPECT_EQ(child.Pending, main.get());
  EXPECT_FALSE(child.Enabled);
  own.StartAction(1, 250);
  EXPECT_TRUE(child.Enabled);
  EXPECT_TRUE(child.timerOn);
  EXPECT_EQ(child.timerInterval, 300);

  // The child goes: its own skinners are released, the parent's stay.
  child.Shutdown();
  EXPECT_EQ(child.log, TLog{"release 11"});
  EXPECT_EQ(own.Lists().FormSkinners.size(), 1u);
  EXPECT_TRUE(own.Children().empty());
  EXPECT_EQ(child.RunState, kRunStateStopped);
  EXPECT_NE(&child.Lists(), &own.Lists());
}

}  // namespace
}  // namespace skin
