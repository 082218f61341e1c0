#include "skin/forms/FormSkinRules.h"

#include <gtest/gtest.h>

#include "classlib/ControlMessages.h"
#include "skin/painters/PainterRules.h"

namespace skin {
namespace {

using namespace formbits;

TEST(FormSkinRules, ButtonFlagsFromStylesAndVersion) {
  const TSystemVersion win7{true, 6, 1}, win2k{true, 5, 0}, win98{false, 4, 10}, me{false, 5, 0};
  TButtonFacts f;
  f.Style = WS_SYSMENU_ | WS_MINIMIZEBOX_ | WS_MAXIMIZEBOX_;
  f.ExStyle = WS_EX_CONTEXTHELP_;
  f.Version = win7;
  EXPECT_EQ(ButtonFlagsOf(f), 1 | 2 | 4 | 8);
  // A known system menu counts without the style bit.
  f.Style = 0;
  f.ExStyle = 0;
  f.HasSystemMenu = true;
  f.HasOwner = true;
  EXPECT_EQ(ButtonFlagsOf(f), 8);
  // Flag 16 only on 5.0: an owned app window on NT, or an unowned non-MDI-child window.
  f.ExStyle = WS_EX_APPWINDOW_;
  f.Version = win2k;
  EXPECT_EQ(ButtonFlagsOf(f), 8 | 16);
  f.Version = me;  // not NT: the app-window branch does not apply, the window is owned
  EXPECT_EQ(ButtonFlagsOf(f), 8);
  f.HasOwner = false;
  EXPECT_EQ(ButtonFlagsOf(f), 8 | 16);
  f.MdiChild = true;
  EXPECT_EQ(ButtonFlagsOf(f), 8);
  f.MdiChild = false;
  for (TSystemVersion v : {win98, win7, VersionFromGetVersion(0x1DB10106) /* Wine's */}) {
    f.Version = v;
    EXPECT_EQ(ButtonFlagsOf(f), 8);
  }
  EXPECT_FALSE(VersionFromGetVersion(0xC0000A04).Nt);
}

TEST(FormSkinRules, BorderAndFormKinds) {
  EXPECT_EQ(BorderKindOf(WS_CAPTION_ | WS_THICKFRAME_, 0, "TForm1"), kBorderSizeable);
  EXPECT_EQ(BorderKindOf(WS_CAPTION_, 0, "TForm1"), kBorderSingle);
  EXPECT_EQ(BorderKindOf(WS_CAPTION_ | DS_MODALFRAME_, 0, "X"), kBorderDialog);
  // Half a caption (border only) is no caption.
  EXPECT_EQ(BorderKindOf(0x00800000 | WS_THICKFRAME_, 0, "X"), kBorderNone);
  EXPECT_EQ(BorderKindOf(WS_CAPTION_ | WS_THICKFRAME_, WS_EX_DLGMODALFRAME_, "X"), kBorderDialog);
  // The dialog classes are dialogs whatever their style says.
  EXPECT_EQ(BorderKindOf(WS_CAPTION_ | WS_THICKFRAME_, 0, "#32770"), kBorderDialog);
  EXPECT_EQ(BorderKindOf(0, 0, "TMessageForm"), kBorderDialog);
  EXPECT_FALSE(IsDialogClass("tmessageform"));

  EXPECT_EQ(FormKindOf(true, 0), kFormMdiFrame);
  EXPECT_EQ(FormKindOf(false, WS_EX_MDICHILD_), kFormMdiChild);
  EXPECT_EQ(FormKindOf(false, 0), kFormNormal);

  EXPECT_EQ(WindowStateFromShowCommand(3), kStateMaximized);
  for (uint32_t c : {2u, 6u, 7u}) EXPECT_EQ(WindowStateFromShowCommand(c), kStateMinimized);
  for (uint32_t c : {0u, 1u, 4u, 5u, 8u, 9u}) EXPECT_EQ(WindowStateFromShowCommand(c), kStateNormal);
  EXPECT_EQ(WindowStateFromSizeKind(1, kStateNormal), kStateMinimized);
  EXPECT_EQ(WindowStateFromSizeKind(3, kStateMaximized), kStateMaximized);  // SIZE_MAXSHOW
}

TEST(FormSkinRules, Routing) {
  constexpr uint32_t ncPaint = 0x85, ncActivate = 0x86, size = 5, activate = 6, ncHitTest = 0x84,
                     paint = 0x0F, ncDestroy = 0x82;
  TFormFacts f;
  f.FrameSkinned = true;
  f.Style = WS_CAPTION_;
  // State 0: the system frame is swallowed; no non-client handling yet.
  EXPECT_EQ(RouteFormMessage(f, ncPaint).Handler, TFormHandler::AnswerZero);
  EXPECT_EQ(RouteFormMessage(f, ncActivate).Handler, TFormHandler::AnswerZero);
  EXPECT_EQ(RouteFormMessage(f, ncHitTest).Handler, TFormHandler::Old);
  EXPECT_EQ(RouteFormMessage(f, 0xAE).Handler, TFormHandler::AnswerZero);
  f.FormKind = kFormMdiChild;
  EXPECT_EQ(RouteFormMessage(f, ncActivate).Handler, TFormHandler::Old);  // stage 3 not yet
  EXPECT_TRUE(RouteFormMessage(f, ncActivate).SetsActive);

  f.FormKind = kFormNormal;
  f.State = kFormActive;
  EXPECT_EQ(RouteFormMessage(f, ncPaint).Handler, TFormHandler::NcPaint);
  EXPECT_EQ(RouteFormMessage(f, ncHitTest).Handler, TFormHandler::NcHitTest);
  EXPECT_EQ(RouteFormMessage(f, ncActivate).Handler, TFormHandler::NcActivate);
  EXPECT_TRUE(RouteFormMessage(f, ncActivate).SetsActive);
  EXPECT_TRUE(RouteFormMessage(f, activate).SetsActive);
  EXPECT_EQ(RouteFormMessage(f, activate).Handler, TFormHandler::Old);
  EXPECT_EQ(RouteFormMessage(f, size).Handler, TFormHandler::Size);
  EXPECT_EQ(RouteFormMessage(f, CM_MENUCHANGED).Handler, TFormHandler::MenuChanged);
  EXPECT_EQ(RouteFormMessage(f, 0xA1).Handler, TFormHandler::NcMouse);
  EXPECT_EQ(RouteFormMessage(f, 0xA5).Handler, TFormHandler::Old);  // right button up
  EXPECT_EQ(RouteFormMessage(f, paint).Handler, TFormHandler::Old);
  EXPECT_EQ(RouteFormMessage(f, ncDestroy).Handler, TFormHandler::NcDestroy);

  // A plain child window stops at stage 2 with the old procedure.
  TFormFacts child = f;
  child.Style = WS_CHILD_ | WS_CAPTION_;
  for (uint32_t m : {ncPaint, size, ncHitTest, uint32_t(CM_MENUCHANGED), 0x111u})
    EXPECT_EQ(RouteFormMessage(child, m).Handler, TFormHandler::Old) << m;
  EXPECT_EQ(RouteFormMessage(child, 0x3503).Handler, TFormHandler::Activation);  // stage 1 still
  // An MDI child (WS_CHILD too) goes on, but skips stage 3 while maximized.
  child.FormKind = kFormMdiChild;
  EXPECT_EQ(RouteFormMessage(child, ncPaint).Handler, TFormHandler::NcPaint);
  child.WindowState = kStateMaximized;
  EXPECT_FALSE(FormStage3Runs(child));
  EXPECT_EQ(RouteFormMessage(child, ncPaint).Handler, TFormHandler::Old);
  EXPECT_EQ(RouteFormMessage(child, size).Handler, TFormHandler::Size);  // stage 2
  // Frame not skinned: only stage 1.
  f.FrameSkinned = false;
  EXPECT_EQ(RouteFormMessage(f, ncPaint).Handler, TFormHandler::Old);
  EXPECT_EQ(RouteFormMessage(f, 0x14).Handler, TFormHandler::EraseBackground);
  EXPECT_EQ(RouteFormMessage(f, 0x117).Handler, TFormHandler::InitMenuPopup);
}

TEST(FormSkinRules, DetachSizeKeepsTheClientArea) {
  // Skinned 4/30/5/6 frame on a 200 x 100 client; the system frame is 8 x 27.
  const TFrameMetrics m{4, 30, 5, 6};
  EXPECT_EQ(DetachedWindowSize({209, 136}, m, {8, 27}), (TWindowSize{208, 127}));
  // Metrics equal to the system frame: nothing changes.
  EXPECT_EQ(DetachedWindowSize({300, 200}, {4, 23, 4, 4}, {8, 27}), (TWindowSize{300, 200}));
}

TEST(PainterRules, FocusAndCaptionRectangles) {
  using namespace textflags;
  const TSliceRect caption{10, 20, 110, 50};  // 100 x 30
  const TSliceRect measured{10, 20, 50, 36};  // 40 x 16 at the caption's corner
  EXPECT_EQ(FocusRectFor(caption, measured, DT_LEFT_), (TSliceRect{10, 20, 52, 37}));
  // Centred: (100 - 40) / 2 = 30 across, (30 - 16) / 2 - 1 = 6 down.
  EXPECT_EQ(FocusRectFor(caption, measured, DT_CENTER_ | DT_SINGLELINE_), (TSliceRect{38, 25, 82, 43}));
  EXPECT_EQ(FocusRectFor(caption, measured, DT_RIGHT_), (TSliceRect{68, 20, 110, 37}));
  // Text wider than the caption: clipped to it.
  EXPECT_EQ(FocusRectFor(caption, {10, 20, 150, 60}, DT_CENTER_), caption);
  EXPECT_TRUE(FocusRectFor({0, 0, 0, 0}, {0, 0, 5, 5}, 0).Empty());

  EXPECT_EQ(AlignedCaptionRect({0, 0, 100, 20}, 41, 13), (TSliceRect{29, 3, 70, 16}));
  EXPECT_EQ(AlignedCaptionRect({0, 0, 10, 10}, 20, 20), (TSliceRect{-5, -5, 15, 15}));
  EXPECT_EQ(AlignedCaptionFlags(1), 0x62u);
  EXPECT_EQ(AlignedCaptionFlags(2), 0x61u);
  EXPECT_EQ(CaptionFlagsFor(0x25, true), 0x20025u);

  // The desktop handle is asked for, never assumed: Wine's is not 0x10014.
  EXPECT_TRUE(IsTopLevelWindow(0x10020, 0x10020, 0));
  EXPECT_FALSE(IsTopLevelWindow(0x10014, 0x10020, 0));
  EXPECT_TRUE(IsTopLevelWindow(0x4242, 0x10020, 0x80000000u));
}

}  // namespace
}  // namespace skin
