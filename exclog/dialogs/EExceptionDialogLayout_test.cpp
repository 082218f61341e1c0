// The exception dialog's rules: what shows, where it stands, how big the compact
// window is, where the detailed window reopens, which tab opens, what the end
// writes back.
#include "exclog/dialogs/EExceptionDialogLayout.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

TEST(ExceptionDialogRules, CheckBoxesLinkAndCheckArea) {
  TCheckAreaInput in;
  in.DialogFlags = 399 & ~DialogShowCopy;  // the defaults without the copy box
  in.ProcessFlags = 81;
  // No send method, no copy box, no link: nothing shows and the area is 0 high.
  TCheckVisibility v = CheckVisibility(in);
  EXPECT_FALSE(v.Send || v.Screenshot || v.Copy || v.Link);
  EXPECT_EQ(CheckAreaHeight(v), 0);
  // A send method shows send and screenshot: two rows.
  in.MailMode = 2;
  v = CheckVisibility(in);
  EXPECT_TRUE(v.Send && v.Screenshot);
  EXPECT_EQ(CheckAreaHeight(v), 34);
  // A repeat already counted in the log offers no sending.
  in.Duplicate = true;
  EXPECT_FALSE(CheckVisibility(in).Send);
  in.Duplicate = false;
  // Without the screenshot attached when sending: send alone, one row.
  in.ProcessFlags = 1;
  v = CheckVisibility(in);
  EXPECT_TRUE(v.Send && !v.Screenshot);
  EXPECT_EQ(CheckAreaHeight(v), 20);
  // Copy box and a link: two rows; a blank link counts as none.
  in = {};
  in.DialogFlags = DialogShowCopy;
  in.SupportUrl = " \t ";
  v = CheckVisibility(in);
  EXPECT_TRUE(v.Copy && !v.Link);
  EXPECT_EQ(CheckAreaHeight(v), 20);
  in.SupportUrl = "http://127.0.0.1/help";
  EXPECT_EQ(CheckAreaHeight(CheckVisibility(in)), 34);
}

TEST(ExceptionDialogRules, ButtonsAndBoxesOfAClientSize) {
  TDialogLayoutInput in;
  in.Width = 460;
  in.Height = 200;
  in.CheckArea = 34;
  in.ButtonWidth = CommonButtonWidth({40, 90, 60});
  EXPECT_EQ(in.ButtonWidth, 90);
  EXPECT_EQ(CommonButtonWidth({10}), MinButtonWidth);
  in.DialogFlags = DialogDetailsAvailable | DialogShowHelp;
  in.TerminateAction = 2;
  in.TerminateButtonAfter = 3;
  in.ErrorCount = 3;  // not beyond 3 yet
  in.Visible.Copy = true;
  in.LinkWidth = 120;
  in.LinkHeight = 14;
  TDialogLayout l = LayOutDialog(in);
  EXPECT_EQ(l.Tab, (TDialogRect{4, 52, 452, 76}));
  EXPECT_FALSE(l.PlaceHeader);
  EXPECT_FALSE(l.TerminateShown);
  EXPECT_EQ(l.Help, (TDialogRect{5, 134, 90, 25}));
  EXPECT_EQ(l.Ok.X, 185);  // centred
  EXPECT_TRUE(l.DetailsShown);
  EXPECT_EQ(l.Details.X, 460 - 5 - 90);
  EXPECT_EQ(l.Send, (TDialogRect{4, 168, 226, 16}));
  EXPECT_EQ(l.Copy.X, 460 - 226 - 4);
  EXPECT_EQ(l.Screenshot, (TDialogRect{23, 184, 460 - 4 - 23, 16}));
  // The link under the copy box, right-aligned 4 pixels from the edge.
  EXPECT_EQ(l.Link, (TDialogRect{336, 184, 120, 14}));
  // A link on the screenshot's row shortens the box.
  in.Visible.Link = true;
  EXPECT_EQ(LayOutDialog(in).Screenshot.Right(), 336 - 8);

  // The fourth error shows Terminate; Help moves right of it, and OK (centred on
  // a narrow window) right past Help; a second showing hides Details.
  in.ErrorCount = 4;
  in.Width = 300;
  in.DetailsMode = true;
  in.DetailsShownBefore = true;
  l = LayOutDialog(in);
  EXPECT_TRUE(l.TerminateShown);
  EXPECT_EQ(l.Help.X, 103);
  EXPECT_EQ(l.Ok.X, 103 + 90 + 8);
  EXPECT_FALSE(l.DetailsShown);
  EXPECT_TRUE(l.PlaceHeader);
  EXPECT_EQ(l.Header, (TDialogRect{48, 8, 244, 42}));
  in.TerminateAction = 0;
  EXPECT_FALSE(LayOutDialog(in).TerminateShown);
}

TEST(ExceptionDialogRules, CompactWindowFollowsTheMessage) {
  TCompactInput in;
  in.LineWidths = {100, 150};
  in.LineHeight = 13;
  in.CxFrame = in.CyFrame = 4;
  in.CaptionMetric = 18;
  // Short lines: the minimum width; two lines stay under the 39-pixel allowance.
  TCompactSize s = CompactSize(in);
  EXPECT_EQ(s.WindowWidth, 340);
  EXPECT_EQ(s.Header, (TDialogRect{48, 8, 340 - 66, 26}));
  EXPECT_EQ(s.WindowHeight, 88 + 6 + 18);
  // A line wider than the wrap width (640 - 66) counts as two lines and the
  // window takes the wrap width; the check area adds to the height.
  in.LineWidths = {100, 700, 50};
  in.CheckArea = 20;
  s = CompactSize(in);
  EXPECT_EQ(s.WindowWidth, 640);
  EXPECT_EQ(s.Header.Height, 4 * 13);
  EXPECT_EQ(s.WindowHeight, (52 - 39) + 88 + 6 + 18 + 20);
}

TEST(ExceptionDialogRules, StoredPlacementIsCheckedBeforeUse) {
  const TDialogRect work{0, 0, 1024, 768};
  // Nothing stored: the default size centred, the check area counted in the height.
  TPlacement p = ResolvePlacement({}, work, 34);
  EXPECT_EQ(p.Width, 745);
  EXPECT_EQ(p.Height, 468);
  EXPECT_EQ(p.Left, (1024 - 745) / 2);
  EXPECT_EQ(p.Top, (768 - 468 - 34) / 2);
  EXPECT_EQ(p.State, PlacementNormal);
  // A stored rectangle inside the work area stands; maximised stays maximised.
  p = ResolvePlacement({"600", "400", "10", "20", "3"}, work, 0);
  EXPECT_EQ((TDialogRect{p.Left, p.Top, p.Width, p.Height}), (TDialogRect{10, 20, 600, 400}));
  EXPECT_EQ(p.State, PlacementMaximised);
  // A position on a monitor no longer there: centred, same size.
  p = ResolvePlacement({"600", "400", "1900", "20", "1"}, work, 0);
  EXPECT_EQ((TDialogRect{p.Left, p.Top, p.Width, p.Height}), (TDialogRect{212, 184, 600, 400}));
  // Hidden (0) and minimised (6) would leave a modal dialog nobody can answer.
  EXPECT_EQ(ResolvePlacement({"", "", "", "", "0"}, work, 0).State, PlacementNormal);
  EXPECT_EQ(ResolvePlacement({"", "", "", "", "6"}, work, 0).State, PlacementNormal);
  // Not numbers: the defaults; sizes between the reference layout and the work area.
  p = ResolvePlacement({"wide", "12x", "-", " 5", "max"}, work, 0);
  EXPECT_EQ(p.Width, 745);
  EXPECT_EQ(p.Height, 468);
  EXPECT_EQ(p.State, PlacementNormal);
  p = ResolvePlacement({"10", "99999", "0", "0", "1"}, work, 34);
  EXPECT_EQ(p.Width, ReferenceClientWidth);
  EXPECT_EQ(p.Height, 768 - 34);
  // Extreme values neither overflow nor escape the work area.
  p = ResolvePlacement({"2147483647", "2147483647", "2147483647", "-2147483648", "1"}, {100, 50, 800, 600}, 0);
  EXPECT_GE(p.Left, 100);
  EXPECT_LE(p.Left + p.Width, 900);
  EXPECT_GE(p.Top, 50);
  EXPECT_LE(p.Top + p.Height, 650);
  // Each edge alone, one pixel out, centres the dialog; at the edge it stands. The
  // bottom counts the check area below the dialog.
  const TDialogRect area{100, 50, 800, 600};
  const int check = 34;
  const TDialogRect centred{100 + (800 - 600) / 2, 50 + (600 - 400 - check) / 2, 600, 400};
  struct TEdgeCase {
    const char* Edge;
    int OutLeft, OutTop, InLeft, InTop;  // one pixel out; at the edge
  };
  const int rightmost = 100 + 800 - 600, lowest = 50 + 600 - 400 - check;
  for (const TEdgeCase& c : {TEdgeCase{"left", 99, 60, 100, 60}, TEdgeCase{"top", 110, 49, 110, 50},
                             TEdgeCase{"right", rightmost + 1, 60, rightmost, 60},
                             TEdgeCase{"bottom", 110, lowest + 1, 110, lowest}}) {
    p = ResolvePlacement({"600", "400", std::to_string(c.OutLeft), std::to_string(c.OutTop), "1"}, area, check);
    EXPECT_EQ((TDialogRect{p.Left, p.Top, p.Width, p.Height}), centred) << c.Edge << " edge outside";
    p = ResolvePlacement({"600", "400", std::to_string(c.InLeft), std::to_string(c.InTop), "1"}, area, check);
    EXPECT_EQ((TDialogRect{p.Left, p.Top, p.Width, p.Height}), (TDialogRect{c.InLeft, c.InTop, 600, 400}))
        << c.Edge << " edge at the work area's";
  }
  int v = 0;
  EXPECT_FALSE(ParseDecimal("2147483648", v));
  EXPECT_TRUE(ParseDecimal("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
}

TEST(ExceptionDialogRules, PlacementWrittenBack) {
  TPlacement p{10, 20, 600, 400, PlacementNormal};
  using K = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(PlacementToSave(p, true),
            (K{{"Width", "600"}, {"Height", "400"}, {"Left", "10"}, {"Top", "20"}, {"WindowsState", "1"}}));
  EXPECT_EQ(PlacementToSave(p, false), (K{{"WindowsState", "1"}}));
  p.State = PlacementMaximised;
  EXPECT_EQ(PlacementToSave(p, true), (K{{"WindowsState", "3"}}));
}

TEST(ExceptionDialogRules, TabsAndTheInitialOne) {
  EXPECT_EQ(TabPages(0x30), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  // Without the modules pages, tabs 2 and 3 are the assembler and CPU pages.
  EXPECT_EQ(TabPages(LogAssemblerPages), (std::vector<int>{0, 1, 4, 5}));
  EXPECT_EQ(InitialTab(5, LogAssemblerPages), 3);
  EXPECT_EQ(InitialTab(4, 0x30), 4);
  // A page whose tabs are missing, or no page at all, opens General.
  EXPECT_EQ(InitialTab(2, LogAssemblerPages), 0);
  EXPECT_EQ(InitialTab(4, LogModulesPages), 0);
  EXPECT_EQ(InitialTab(9, 0x30), 0);
}

TEST(ExceptionDialogRules, EndWritesTheBoxesBack) {
  // Sending needs both the choice and the box; the flags keep their other bits.
  TDialogEndChoices c = CombineOnDestroy({true, true, false, true, false}, 399);
  EXPECT_TRUE(c.SendChosen);
  EXPECT_FALSE(c.ScreenshotChosen);
  EXPECT_FALSE(c.CopyChosen);
  EXPECT_EQ(c.DialogFlags, 399 & ~DialogScreenshotChecked);
  // Cancelled (choices cleared) with the boxes ticked: nothing is chosen.
  c = CombineOnDestroy({false, true, true, false, true}, 0x180);
  EXPECT_FALSE(c.SendChosen);
  EXPECT_TRUE(c.ScreenshotChosen);
  EXPECT_FALSE(c.CopyChosen);
  EXPECT_EQ(c.DialogFlags, 0x180 | DialogScreenshotChecked);
}

}  // namespace
}  // namespace exclog
