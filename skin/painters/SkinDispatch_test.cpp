#include "skin/painters/SkinDispatch.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

using K = TPainterKind;
using X = TSkinControlType;

TSkinControlTypes All() { return TSkinControlTypes::FromBits((uint64_t(1) << 22) - 1); }

TDispatchSettings Settings(const std::vector<std::string>* rows = nullptr) {
  TDispatchSettings s;
  s.SkinControls = All();
  s.HasTabs = true;
  s.Skin3rd = rows;
  return s;
}

TControlFacts Facts(std::vector<std::string> ancestry) {
  TControlFacts f;
  f.Ancestry = std::move(ancestry);
  return f;
}

struct Row {
  std::vector<std::string> Ancestry;
  K Kind;
  X Needs;
};

// One case per class-table row that attaches a painter: the painter with every set
// member, nothing without the row's member (the row stops the table, so a later row
// of a listed ancestor never answers).
TEST(SkinDispatch, ClassTableRows) {
  const Row rows[] = {
      {{"TTabControl", "TCustomTabControl"}, K::Tab, X::xcTab},
      {{"TPageControl", "TCustomTabControl"}, K::Tab, X::xcTab},
      {{"TTabSet"}, K::Tab31, X::xcTab},
      {{"TTabSheet"}, K::TabSheet, X::xcTab},
      {{"TTabbedNotebook"}, K::Tab, X::xcTab},
      {{"THeaderControl"}, K::Header, X::xcPanel},
      {{"TCheckBox", "TCustomCheckBox"}, K::CheckBox, X::xcCheckBox},
      {{"TTrackBar"}, K::TrackBar, X::xcTrackBar},
      {{"TUpDown"}, K::UpDown, X::xcSpin},
      {{"TSpinButton"}, K::UpDown, X::xcSpin},
      {{"TMediaPlayer"}, K::MediaPlayer, X::xcButton},
      {{"TRadioGroup", "TCustomRadioGroup", "TCustomGroupBox"}, K::GroupBox, X::xcRadioButton},
      {{"TDBNavigator", "TCustomPanel"}, K::Box, X::xcPanel},
      {{"TRzCheckBox"}, K::ObjImage, X::xcCheckBox},
      {{"TRzDBRadioButton"}, K::ObjImage, X::xcRadioButton},
      {{"TcxCheckBox"}, K::ObjImage, X::xcCheckBox},
      {{"TGroupBox", "TCustomGroupBox"}, K::GroupBox, X::xcPanel},
      {{"TRadioButton", "TButtonControl"}, K::RadioButton, X::xcRadioButton},
      {{"TToolBar"}, K::Box, X::xcToolbar},
      {{"TStatusBar", "TCustomStatusBar"}, K::StatusBar, X::xcStatusBar},
      {{"TProgressBar"}, K::Progress, X::xcProgress},
      {{"TScrollBar"}, K::ScControl, X::xcScrollbar},
      {{"TTntComboBox"}, K::ComBox, X::xcCombo},
      {{"TComboBox", "TCustomComboBox"}, K::ComBox, X::xcCombo},
      {{"TDateTimePicker"}, K::DateTime, X::xcEdit},
      {{"TRichEdit", "TCustomMemo", "TCustomEdit"}, K::Scrollbar, X::xcScrollbar},  // stops before TCustomEdit
      {{"TwwDBRichEdit"}, K::Scrollbar, X::xcScrollbar},
      {{"TBitBtn", "TButton"}, K::BitButton, X::xcBitBtn},  // stops before TButton
      {{"TSpeedButton"}, K::SpeedButton, X::xcSpeedButton},
      {{"TPanel", "TCustomPanel"}, K::Box, X::xcPanel},
      {{"TdxDBGrid"}, K::Scrollbar, X::xcScrollbar},
      {{"TListView", "TCustomListView"}, K::ListView, X::xcScrollbar},
      {{"TCheckListBox", "TCustomListBox"}, K::CheckList, X::xcScrollbar},
      {{"TMemo", "TCustomMemo", "TCustomEdit"}, K::Scrollbar, X::xcScrollbar},
      {{"TStringGrid", "TCustomGrid"}, K::Scrollbar, X::xcScrollbar},
      {{"TListBox", "TCustomListBox"}, K::Scrollbar, X::xcScrollbar},
      {{"TTreeView", "TCustomTreeView"}, K::Scrollbar, X::xcScrollbar},
      {{"TButton", "TButtonControl"}, K::Button, X::xcButton},
      {{"TEdit", "TCustomEdit"}, K::Edit, X::xcEdit},
      {{"TEmbedded", "TCustomForm"}, K::Box, X::xcMainMenu},  // needs nothing
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Ancestry.front());
    TDispatchSettings s = Settings();
    EXPECT_EQ(DecideControl(Facts(r.Ancestry), s).Kind, r.Kind);
    if (r.Needs == X::xcMainMenu) continue;
    s.SkinControls.Exclude(r.Needs);
    EXPECT_EQ(DecideControl(Facts(r.Ancestry), s).Kind, K::None);
  }
}

TEST(SkinDispatch, ClassTableDetails) {
  TDispatchSettings s = Settings();
  TDispatchDecision d = DecideControl(Facts({"TTabControl", "TCustomTabControl"}), s);
  EXPECT_EQ(d.PainterFlag, 2);
  TControlFacts page = Facts({"TPageControl", "TCustomTabControl"});
  page.TabStyleIsTabs = false;
  EXPECT_EQ(DecideControl(page, s).Kind, K::TabBtn);
  s.HasTabs = false;  // tab rows need the skin's "Tabs" and stop the table without it
  EXPECT_EQ(DecideControl(page, s).Kind, K::None);
  EXPECT_EQ(DecideControl(Facts({"TTabSheet"}), s).Kind, K::None);
  s = Settings();

  // Rows that only act on the control or its children.
  TControlFacts tool = Facts({"TToolButton"});
  EXPECT_EQ(DecideControl(tool, s).Action, TDispatchAction::None);
  tool.FrameSkinned = true;
  EXPECT_EQ(DecideControl(tool, s).Action, TDispatchAction::ToolButtonMenu);
  EXPECT_EQ(DecideControl(Facts({"TCoolBar"}), s).Action, TDispatchAction::CoolBarBands);
  d = DecideControl(Facts({"TMVCPanel", "TCustomPanel"}), s);
  EXPECT_EQ(d.Kind, K::None);
  EXPECT_EQ(d.Children, TChildWalk::After);
  d = DecideControl(Facts({"TToolBar"}), s);
  EXPECT_EQ(d.Action, TDispatchAction::ToolBarDraw);
  EXPECT_EQ(d.Props, (std::vector<std::pair<std::string, std::string>>{{"Flat", "True"}}));
  d = DecideControl(Facts({"TFrame1", "TFrame", "TCustomFrame"}), s);
  EXPECT_EQ(d.Kind, K::None);
  EXPECT_EQ(d.Children, TChildWalk::Components);

  // Radio group: buttons first, then the group with ChangeColor 1.
  d = DecideControl(Facts({"TRadioGroup", "TCustomRadioGroup", "TCustomGroupBox"}), s);
  EXPECT_EQ(d.Children, TChildWalk::Before);
  EXPECT_EQ(d.ChildRule, TChildRule::Radio);
  EXPECT_EQ(d.ChangeColor, 1);
  EXPECT_EQ(DecideControl(Facts({"TPanel", "TCustomPanel"}), s).Children, TChildWalk::Before);
  EXPECT_EQ(DecideControl(Facts({"TDBNavigator", "TCustomPanel"}), s).Children, TChildWalk::After);

  // Glyph assigner kinds.
  EXPECT_EQ(DecideControl(Facts({"TRzDBCheckBox"}), s).ImageKind, 1);
  EXPECT_EQ(DecideControl(Facts({"TRzRadioButton"}), s).ImageKind, 2);
  EXPECT_EQ(DecideControl(Facts({"TcxDBCheckBox"}), s).ImageKind, 3);

  TControlFacts picker = Facts({"TDateTimePicker"});
  picker.UpDownPicker = true;
  EXPECT_EQ(DecideControl(picker, s).Kind, K::Edit);
  EXPECT_EQ(DecideControl(Facts({"TSpeedButton"}), s).By, TAttachBy::Own);
  EXPECT_EQ(DecideControl(Facts({"TMemo", "TCustomMemo"}), s).By, TAttachBy::Window);

  // Any windowed control with a scroll bar style.
  TControlFacts odd = Facts({"TOddBox", "TWinControl"});
  odd.Windowed = true;
  odd.Style = 0x00200000;
  EXPECT_EQ(DecideControl(odd, s).Kind, K::Scrollbar);
  odd.Windowed = false;
  EXPECT_EQ(DecideControl(odd, s).Kind, K::None);

  // "TDCEDIT" by its button count, attached by handle; never the frame/form rows.
  TControlFacts dc = Facts({"TDCEdit", "TCustomForm"});
  dc.NumButtons = 1;
  EXPECT_EQ(DecideControl(dc, s).Kind, K::ComBox);
  EXPECT_EQ(DecideControl(dc, s).By, TAttachBy::Handle);
  dc.NumButtons = 0;
  EXPECT_EQ(DecideControl(dc, s).Kind, K::Edit);
  dc.NumButtons = 2;
  EXPECT_EQ(DecideControl(dc, s).Kind, K::None);
  EXPECT_EQ(DecideControl(dc, s).Children, TChildWalk::None);
}

// Never-skinned names come before the rows of their ancestors.
TEST(SkinDispatch, RowOrder) {
  TDispatchSettings s = Settings();
  EXPECT_EQ(DecideControl(Facts({"TDBComboBoxEh", "TCustomComboBox"}), s).Kind, K::None);
  EXPECT_EQ(DecideControl(Facts({"TfrPBox", "TCustomPanel"}), s).Kind, K::None);
}

TEST(SkinDispatch, DisabledSkippedAndPaintedOnce) {
  TDispatchSettings s = Settings();
  TControlFacts f = Facts({"TRadioGroup", "TCustomRadioGroup"});
  f.Tag = 99;
  TDispatchDecision d = DecideControl(f, s);
  EXPECT_TRUE(d.Skip);
  EXPECT_EQ(d.ChildRule, TChildRule::DisableTag);
  EXPECT_TRUE(DecideChild(d.ChildRule, {"TGroupButton", "TRadioButton"}).Skip);
  f = Facts({"TButton"});
  f.Tag = 99;
  d = DecideControl(f, s);
  EXPECT_TRUE(d.Skip);
  EXPECT_EQ(d.Children, TChildWalk::None);
  for (int i = 0; i < 3; i++) {
    f = Facts({"TButton"});
    (i == 0 ? f.HasParent : i == 1 ? f.AnswersSkinned : f.HasPainter) = i != 0;
    EXPECT_TRUE(DecideControl(f, s).Skip) << i;
  }
}

TEST(SkinDispatch, Skin3rdKinds) {
  struct KindRow {
    const char* Kind;
    K Painter;
    X Needs;
  };
  const KindRow kinds[] = {
      {"combobox", K::ComBox, X::xcCombo},     {"comboboxex", K::ComBox, X::xcCombo},
      {"edit", K::Edit, X::xcEdit},            {"radiobutton", K::RadioButton, X::xcRadioButton},
      {"panel", K::Box, X::xcPanel},           {"trackbar", K::TrackBar, X::xcButton},
      {"button", K::Button, X::xcButton},      {"datetimepicker", K::DateTime, X::xcCombo},
      {"mediaplayer", K::MediaPlayer, X::xcButton}, {"bitbtn", K::BitButton, X::xcButton},
      {"pngbitbtn", K::BitButton, X::xcButton}, {"pngspeedbutton", K::SpeedButton, X::xcButton},
      {"menubtn", K::MenuButton, X::xcButton}, {"speedbutton", K::SpeedButton, X::xcSpeedButton},
      {"tab", K::Tab, X::xcTab},               {"progress", K::Progress, X::xcProgress},
      {"scrollbar", K::Scrollbar, X::xcScrollbar}, {"singlescrollbar", K::Scrollbar, X::xcScrollbar},
      {"groupbox", K::GroupBox, X::xcGroupBox}, {"advpagecontrol", K::AdvPage, X::xcTab},
      {"radiogroup", K::GroupBox, X::xcRadioButton}, {"checkgroup", K::GroupBox, X::xcPanel},
      {"checkbox", K::CheckBox, X::xcCheckBox},
  };
  for (const KindRow& k : kinds) {
    SCOPED_TRACE(k.Kind);
    std::vector<std::string> rows = {"TOther=button", std::string("TThing=") + k.Kind};
    TDispatchSettings s = Settings(&rows);
    TControlFacts f = Facts({"TThing", "TButton"});
    f.HasBorder = true;
    TDispatchDecision d = DecideControl(f, s);
    EXPECT_EQ(d.Kind, k.Painter);
    EXPECT_TRUE(d.FromSkin3rd);
    s.SkinControls.Exclude(k.Needs);
    d = DecideControl(f, s);  // handled, unskinned: the class table (TButton) is not read
    EXPECT_EQ(d.Kind, K::None);
    EXPECT_TRUE(d.FromSkin3rd);
  }
}

TEST(SkinDispatch, Skin3rdDetails) {
  std::vector<std::string> rows = {"tbutton=NIL", "TComboboxex=combobox", "TEdge=edit",
                                   "TPng=pngbitbtn", "TcxButton=bitbtn", "TRg=radiogroup",
                                   "TCg=checkgroup", "TBox=embedscrollbar", "TWrap=container",
                                   "TLong=" + std::string(60, 'x')};
  TDispatchSettings s = Settings(&rows);
  // Kind "nil" over a matching class row; a row keyed by a prefix-only name misses.
  EXPECT_EQ(DecideControl(Facts({"TButton"}), s).Kind, K::None);
  EXPECT_EQ(DecideControl(Facts({"TButto", "TButton"}), s).Kind, K::Button);
  EXPECT_EQ(DecideControl(Facts({"TComboBoxEx"}), s).Kind, K::ComBox);
  EXPECT_EQ(DecideControl(Facts({"TEdge"}), s).Kind, K::None);  // no border, no painter
  EXPECT_EQ(DecideControl(Facts({"TPng"}), s).GlyphProperty, "PngImage");
  TControlFacts cx = Facts({"TcxButton"});
  EXPECT_EQ(DecideControl(cx, s).Kind, K::BitButton);
  cx.KindProperty = "cxbkDropDownButton";
  EXPECT_EQ(DecideControl(cx, s).Kind, K::MenuButton);
  EXPECT_EQ(DecideControl(Facts({"TRg"}), s).ChildRule, TChildRule::RadioOrObjImage);
  EXPECT_EQ(DecideControl(Facts({"TCg"}), s).ChildRule, TChildRule::CheckOrObjImage);
  EXPECT_EQ(DecideChild(TChildRule::RadioOrObjImage, {"TRzRadioButton"}).ImageKind, 2);
  EXPECT_EQ(DecideChild(TChildRule::RadioOrObjImage, {"TRadioButton"}).Kind, K::RadioButton);
  EXPECT_EQ(DecideChild(TChildRule::CheckOrObjImage, {"TRzCheckBox"}).ImageKind, 1);
  EXPECT_EQ(DecideChild(TChildRule::CheckOrObjImage, {"TCheckBox"}).Kind, K::CheckBox);
  EXPECT_EQ(DecideControl(Facts({"TBox"}), s).ChildRule, TChildRule::ScrollBars);
  EXPECT_EQ(DecideChild(TChildRule::ScrollBars, {"TScrollBar"}).Kind, K::ScControl);
  EXPECT_EQ(DecideChild(TChildRule::ScrollBars, {"TMemo"}).By, TAttachBy::Window);
  EXPECT_EQ(DecideControl(Facts({"TWrap"}), s).Children, TChildWalk::After);
  EXPECT_EQ(Skin3rdKind(rows, "TLong")->size(), 50u);
  EXPECT_FALSE(Skin3rdKind(rows, "TNone").has_value());
}

TEST(SkinDispatch, PlainWindows) {
  const TSkinControlTypes c = All();
  auto kind = [&](const char* cls, uint32_t style) { return DecideWindow({cls, style}, c).Kind; };
  // The button type decoded by value.
  const K expect[16] = {K::Button, K::Button, K::CheckBox, K::CheckBox, K::RadioButton,
                        K::CheckBox, K::CheckBox, K::None, K::Button, K::RadioButton,
                        K::Button, K::None, K::None, K::None, K::None, K::None};
  for (uint32_t t = 0; t < 16; t++) EXPECT_EQ(kind("Button", 0x50010000 | t), expect[t]) << t;
  // Class, style, painter; a real scroll bar (0x01) keeps its thumb.
  const struct {
    const char* Class;
    uint32_t Style;
    K Kind;
  } windows[] = {
      {"button", 0x80, K::None},        {"COMBOBOX", 1, K::None},          {"combobox", 2, K::ComBox},
      {"ScrollBar", 0x10, K::Sizer},    {"ScrollBar", 0x08, K::Sizer},     {"ScrollBar", 0x01, K::None},
      {"ScrollBar", 0x10010, K::None},  {"SysTreeView32", 0, K::None},     {"#32770", 0x10000, K::None},
      {"TCheckBox", 0, K::CheckBox},    {"TComboBox", 0, K::ComBox},       {"TButton", 0, K::Button},
      {"TProgressBar", 0, K::Progress}, {"SysTabControl32", 0, K::Tab},    {"SysTabControl32", 0x2000, K::None},
      {"ToolbarWindow32", 0, K::BoxH},  {"Edit", 0, K::Edit},
  };
  for (const auto& w : windows) EXPECT_EQ(kind(w.Class, w.Style), w.Kind) << w.Class << " " << std::hex << w.Style;
  EXPECT_EQ(DecideWindow({"ComboBoxEx32", 0, true}, c).Kind, K::ComBox);
  EXPECT_EQ(DecideWindow({"ComboBoxEx32", 0, false}, c).Kind, K::None);
  TDispatchDecision d = DecideWindow({"#32770", 0}, c);
  EXPECT_EQ(d.Kind, K::BoxH);
  EXPECT_EQ(d.Children, TChildWalk::Before);
  d = DecideWindow({"TPanel", 0, false, true}, c);
  EXPECT_EQ(d.Action, TDispatchAction::ParentColor);
  EXPECT_EQ(d.Children, TChildWalk::Before);
  EXPECT_EQ(DecideWindow({"TSilentPaintPanel", 0, false, true}, c).Action, TDispatchAction::ParentColor);
  TSkinControlTypes none;
  EXPECT_EQ(DecideWindow({"Edit", 0}, none).Kind, K::None);
  EXPECT_EQ(DecideWindow({"Button", 0}, none).Kind, K::None);
}

}  // namespace
}  // namespace skin
