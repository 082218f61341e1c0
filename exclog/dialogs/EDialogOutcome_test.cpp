// The presentation loop: what is shown in which order, the action-notify pass,
// the message-box fallback and Dialog failed.
#include "exclog/dialogs/EDialogOutcome.h"

#include <gtest/gtest.h>

#include <string>

namespace exclog {
namespace {

// Operations that log what ran; each dialog's behaviour is set per test.
struct TFakeDialogs {
  std::string Log;
  TDialogOutcome* State = nullptr;
  std::function<void(TDialogOutcome&)> Detailed = [](TDialogOutcome& s) { s.BecameVisible = true; };
  std::function<void(TDialogOutcome&)> Classic = [](TDialogOutcome& s) { s.BecameVisible = true; };
  int BoxResult = IDOK_;
  std::function<void(bool&)> Handler = [](bool&) {};
  static constexpr int IDOK_ = 1;

  TPresentationOps Ops(bool nt = true) {
    TPresentationOps ops;
    ops.ShowDetailed = [this] { Log += "D"; Detailed(*State); };
    ops.ShowClassic = [this] { Log += "C"; Classic(*State); };
    ops.ShowMessageBox = [this] {
      Log += State->BecameVisible ? "B" : "b";  // visible is set before the box runs
      return BoxResult;
    };
    ops.WindowsNT = nt;
    ops.NotifyAction = [this](bool& chosen) { Log += "N"; Handler(chosen); };
    ops.ClearLastWarning = [this] { Log += "c"; };
    ops.WarnDialogFailed = [this] { Log += "W"; };
    return ops;
  }
};

TEST(PresentationLoop, ShowsTheKindAndEndsWithItsAnswer) {
  TDialogOutcome s;
  TFakeDialogs f;
  f.State = &s;
  s.PresentationKind = PresentDetailed;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "D");
  EXPECT_EQ(s.PresentationKind, PresentNothing);
  EXPECT_FALSE(s.DialogFailed);
  EXPECT_FALSE(s.DetailsShownBefore);

  // The classic dialog's link asks for the detailed one, which then opens as
  // shown before.
  f.Log.clear();
  f.Classic = [](TDialogOutcome& st) {
    st.BecameVisible = true;
    st.PresentationKind = PresentDetailed;
  };
  f.Detailed = [](TDialogOutcome& st) {
    st.BecameVisible = true;
    EXPECT_TRUE(st.DetailsShownBefore);
  };
  s.PresentationKind = PresentClassic;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "CD");

  // Kind 1: the box with the visible byte already set.
  f.Log.clear();
  s.PresentationKind = PresentMessageBox;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "B");
  EXPECT_FALSE(s.DialogFailed);
}

TEST(PresentationLoop, ActionNotifyDecidesTheTerminateChoice) {
  TDialogOutcome s;
  TFakeDialogs f;
  f.State = &s;
  f.Detailed = [](TDialogOutcome& st) {
    st.BecameVisible = true;
    st.RestartChosen = true;
  };
  s.PresentationKind = PresentDetailed;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "DcN");
  EXPECT_TRUE(s.RestartChosen);

  // A handler clearing the choice cancels it; with no kind set again nothing shows.
  f.Log.clear();
  f.Handler = [](bool& chosen) { chosen = false; };
  s.PresentationKind = PresentDetailed;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "DcN");
  EXPECT_FALSE(s.RestartChosen);
  EXPECT_FALSE(s.DialogFailed);

  // A handler that clears it and sets a kind gets that dialog shown again.
  f.Log.clear();
  bool first = true;
  f.Handler = [&](bool& chosen) {
    chosen = false;
    if (first) s.PresentationKind = PresentDetailed;
    first = false;
  };
  s.PresentationKind = PresentDetailed;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "DcNDcN");
}

TEST(PresentationLoop, NothingVisibleFallsBackThenFails) {
  TDialogOutcome s;
  TFakeDialogs f;
  f.State = &s;
  f.Detailed = [](TDialogOutcome&) {};  // never activated or painted
  s.PresentationKind = PresentDetailed;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "DB");  // NT: the message box instead
  EXPECT_FALSE(s.DialogFailed);

  // Without NT nothing else is tried.
  f.Log.clear();
  s.PresentationKind = PresentDetailed;
  RunPresentationLoop(s, f.Ops(false));
  EXPECT_EQ(f.Log, "DW");
  EXPECT_TRUE(s.DialogFailed);

  // A box that fails (result 0) is not shown: warning and Dialog failed.
  f.Log.clear();
  f.BoxResult = 0;
  s.PresentationKind = PresentMessageBox;
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "BBW");
  EXPECT_TRUE(s.DialogFailed);
  EXPECT_FALSE(s.BecameVisible);
  EXPECT_EQ(s.PresentationKind, PresentNothing);

  // The next report starts without the failure; kind 0 shows nothing and is fine.
  f.Log.clear();
  RunPresentationLoop(s, f.Ops());
  EXPECT_EQ(f.Log, "");
  EXPECT_FALSE(s.DialogFailed);
}

}  // namespace
}  // namespace exclog
