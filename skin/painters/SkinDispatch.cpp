#include "skin/painters/SkinDispatch.h"

#include <algorithm>

#include "classlib/SysUtils.h"
#include <initializer_list>

namespace skin {
namespace {

using K = TPainterKind;
using X = TSkinControlType;

std::string Lower(std::string_view s) { return LowerCase(s); }
std::string Upper(std::string_view s) { return UpperCase(s); }

bool Is(const std::vector<std::string>& ancestry, const char* name) {
  return std::find(ancestry.begin(), ancestry.end(), name) != ancestry.end();
}
bool IsAny(const std::vector<std::string>& ancestry, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (Is(ancestry, n)) return true;
  return false;
}
bool NameIn(const std::string& upper, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (upper == n) return true;
  return false;
}

TDispatchDecision Painter(K kind, uint8_t changeColor = 0, TAttachBy by = TAttachBy::Control) {
  TDispatchDecision d;
  d.Kind = kind;
  d.ChangeColor = changeColor;
  d.By = by;
  return d;
}
// A row whose set member is missing: it matched, so the table stops, but attaches nothing.
TDispatchDecision Gated(bool present, TDispatchDecision d) { return present ? d : TDispatchDecision{}; }

TDispatchDecision ObjImage(int imageKind) {
  TDispatchDecision d = Painter(K::ObjImage, 1);
  d.ImageKind = imageKind;
  return d;
}

constexpr uint32_t kVScroll = 0x00200000, kHScroll = 0x00100000;

TDispatchDecision FromSkin3rd(const std::string& kind, const TControlFacts& f,
                              const TDispatchSettings& s) {
  const TSkinControlTypes& c = s.SkinControls;
  TDispatchDecision d;
  if (kind == "nil") {
  } else if (kind == "combobox") {
    d = Gated(c.Contains(X::xcCombo), Painter(K::ComBox));
  } else if (kind == "comboboxex") {
    d = Gated(c.Contains(X::xcCombo), Painter(K::ComBox));
    d.ExtendedCombo = d.Kind != K::None;
  } else if (kind == "edit") {
    d = Gated(c.Contains(X::xcEdit) && f.HasBorder, Painter(K::Edit));
  } else if (kind == "radiobutton") {
    d = Gated(c.Contains(X::xcRadioButton), Painter(K::RadioButton));
  } else if (kind == "panel") {
    d = Gated(c.Contains(X::xcPanel), Painter(K::Box));
    if (d.Kind != K::None) d.Props = {{"Transparent", "True"}};
  } else if (kind == "trackbar") {
    d = Gated(c.Contains(X::xcButton), Painter(K::TrackBar));
    if (d.Kind != K::None) d.Props = {{"Transparent", "True"}};
  } else if (kind == "button") {
    d = Gated(c.Contains(X::xcButton), Painter(K::Button));
  } else if (kind == "datetimepicker") {
    d = Gated(c.Contains(X::xcCombo), Painter(K::DateTime));
  } else if (kind == "mediaplayer") {
    d = Gated(c.Contains(X::xcButton), Painter(K::MediaPlayer));
  } else if (kind == "bitbtn") {
    bool dropDown = !f.Ancestry.empty() && Lower(f.Ancestry.front()) == "tcxbutton" &&
                    Lower(f.KindProperty) == "cxbkdropdownbutton";
    d = Gated(c.Contains(X::xcButton), Painter(dropDown ? K::MenuButton : K::BitButton));
  } else if (kind == "pngbitbtn" || kind == "pngspeedbutton") {
    d = Gated(c.Contains(X::xcButton),
              Painter(kind == "pngbitbtn" ? K::BitButton : K::SpeedButton, 0,
                      kind == "pngbitbtn" ? TAttachBy::Control : TAttachBy::Own));
    if (d.Kind != K::None) d.GlyphProperty = "PngImage";
  } else if (kind == "menubtn") {
    d = Gated(c.Contains(X::xcButton), Painter(K::MenuButton));
  } else if (kind == "speedbutton") {
    d = Gated(c.Contains(X::xcSpeedButton), Painter(K::SpeedButton, 0, TAttachBy::Own));
  } else if (kind == "tab") {
    d = Gated(c.Contains(X::xcTab) && s.HasTabs, Painter(K::Tab));
  } else if (kind == "progress") {
    d = Gated(c.Contains(X::xcProgress), Painter(K::Progress));
  } else if (kind == "scrollbar" || kind == "singlescrollbar") {
    d = Gated(c.Contains(X::xcScrollbar), Painter(K::Scrollbar, 0, TAttachBy::Window));
    d.SingleBar = d.Kind != K::None && kind == "singlescrollbar";
  } else if (kind == "embedscrollbar") {
    if (c.Contains(X::xcScrollbar)) {
      d.Children = TChildWalk::After;
      d.ChildRule = TChildRule::ScrollBars;
    }
  } else if (kind == "container") {
    d.Children = TChildWalk::After;
  } else if (kind == "groupbox") {
    d = Gated(c.Contains(X::xcGroupBox), Painter(K::GroupBox));
  } else if (kind == "advpagecontrol") {
    d = Gated(c.Contains(X::xcTab), Painter(K::AdvPage));
  } else if (kind == "radiogroup" || kind == "checkgroup") {
    bool radio = kind == "radiogroup";
    if (c.Contains(radio ? X::xcRadioButton : X::xcPanel)) {
      d = Painter(K::GroupBox);
      d.Children = TChildWalk::Before;
      d.ChildRule = radio ? TChildRule::RadioOrObjImage : TChildRule::CheckOrObjImage;
    }
  } else if (kind == "checkbox") {
    d = Gated(c.Contains(X::xcCheckBox), Painter(K::CheckBox));
  }
  // Any other kind names a painter this program does not know: handled, unskinned.
  d.FromSkin3rd = true;
  return d;
}

TDispatchDecision FromClassTable(const TControlFacts& f, const TDispatchSettings& s) {
  const std::vector<std::string>& a = f.Ancestry;
  const std::string name = a.empty() ? std::string() : Upper(a.front());
  const TSkinControlTypes& c = s.SkinControls;
  const bool tabs = c.Contains(X::xcTab) && s.HasTabs;
  const bool scroll = c.Contains(X::xcScrollbar);
  const bool panel = c.Contains(X::xcPanel);
  TDispatchDecision d;

  if (Is(a, "TCustomTabControl")) {
    if (!tabs) return d;
    if (!Is(a, "TPageControl")) {
      d = Painter(K::Tab);
      d.PainterFlag = 2;
      return d;
    }
    return Painter(f.TabStyleIsTabs ? K::Tab : K::TabBtn);
  }
  if (Is(a, "TToolButton")) {
    if (f.FrameSkinned) d.Action = TDispatchAction::ToolButtonMenu;
    return d;
  }
  if (Is(a, "TCoolBar")) {
    if (c.Contains(X::xcToolbar)) d.Action = TDispatchAction::CoolBarBands;
    return d;
  }
  if (name == "TTABSET") return Gated(tabs, Painter(K::Tab31));
  if (Is(a, "TTabSheet")) return Gated(tabs, Painter(K::TabSheet));
  if (name == "TTABBEDNOTEBOOK") return Gated(tabs, Painter(K::Tab));
  if (name == "TMVCPANEL") {
    d.Children = TChildWalk::After;
    return d;
  }
  if (Is(a, "THeaderControl")) return Gated(panel, Painter(K::Header));
  if (Is(a, "TCustomCheckBox")) return Gated(c.Contains(X::xcCheckBox), Painter(K::CheckBox));
  if (Is(a, "TTrackBar")) return Gated(c.Contains(X::xcTrackBar), Painter(K::TrackBar));
  if (NameIn(name, {"TUPDOWN", "TSPINBUTTON"})) return Gated(c.Contains(X::xcSpin), Painter(K::UpDown));
  if (name == "TMEDIAPLAYER") return Gated(c.Contains(X::xcButton), Painter(K::MediaPlayer));
  if (Is(a, "TCustomRadioGroup")) {
    if (!c.Contains(X::xcRadioButton)) return d;
    d = Painter(K::GroupBox, 1);
    d.Children = TChildWalk::Before;
    d.ChildRule = TChildRule::Radio;
    return d;
  }
  if (name == "TDBNAVIGATOR") {
    if (!panel) return d;
    d = Painter(K::Box, 1);
    d.Children = TChildWalk::After;
    return d;
  }
  if (NameIn(name, {"TRZDBCHECKBOX", "TRZCHECKBOX"})) return Gated(c.Contains(X::xcCheckBox), ObjImage(1));
  if (NameIn(name, {"TRZRADIOBUTTON", "TRZDBRADIOBUTTON"}))
    return Gated(c.Contains(X::xcRadioButton), ObjImage(2));
  if (NameIn(name, {"TCXDBCHECKBOX", "TCXCHECKBOX"})) return Gated(c.Contains(X::xcCheckBox), ObjImage(3));
  if (Is(a, "TCustomGroupBox")) return Gated(panel, Painter(K::GroupBox));
  if (Is(a, "TRadioButton")) return Gated(c.Contains(X::xcRadioButton), Painter(K::RadioButton));
  if (Is(a, "TToolBar")) {
    if (!c.Contains(X::xcToolbar)) return d;
    d = Painter(K::Box);
    d.Props = {{"Flat", "True"}};
    d.Action = TDispatchAction::ToolBarDraw;
    return d;
  }
  if (Is(a, "TCustomStatusBar")) return Gated(c.Contains(X::xcStatusBar), Painter(K::StatusBar));
  if (Is(a, "TProgressBar")) return Gated(c.Contains(X::xcProgress), Painter(K::Progress));
  if (Is(a, "TScrollBar")) return Gated(scroll, Painter(K::ScControl, 0, TAttachBy::Own));
  if (name == "TTNTCOMBOBOX" || Is(a, "TCustomComboBox"))
    return Gated(c.Contains(X::xcCombo), Painter(K::ComBox));
  if (Is(a, "TDateTimePicker"))
    return Gated(c.Contains(X::xcEdit), Painter(f.UpDownPicker ? K::Edit : K::DateTime));
  if (NameIn(name, {"TRICHEDIT", "TWWDBRICHEDIT", "TDXDBMEMO"}))
    return Gated(scroll, Painter(K::Scrollbar, 0, TAttachBy::Window));
  if (Is(a, "TBitBtn")) return Gated(c.Contains(X::xcBitBtn), Painter(K::BitButton));
  if (Is(a, "TSpeedButton"))
    return Gated(c.Contains(X::xcSpeedButton), Painter(K::SpeedButton, 0, TAttachBy::Own));
  if (Is(a, "TCustomPanel")) {
    if (!panel) return d;
    d = Painter(K::Box, 1);
    d.Children = TChildWalk::Before;
    return d;
  }
  if (NameIn(name, {"TDXTREELIST", "TDXDBTREELIST", "TDXDBGRID"}))
    return Gated(scroll, Painter(K::Scrollbar, 0, TAttachBy::Window));
  if (Is(a, "TCustomListView")) return Gated(scroll, Painter(K::ListView, 0, TAttachBy::Window));
  if (name == "TCHECKLISTBOX") return Gated(scroll, Painter(K::CheckList, 0, TAttachBy::Window));
  if (IsAny(a, {"TCustomMemo", "TCustomGrid"}))
    return Gated(scroll, Painter(K::Scrollbar, 0, TAttachBy::Window));
  if ((f.Windowed && (f.Style & (kVScroll | kHScroll)) != 0) ||
      IsAny(a, {"TListBox", "TMemo", "TCustomListBox", "TCustomTreeView", "TScrollBox"}))
    return Gated(scroll, Painter(K::Scrollbar, 0, TAttachBy::Window));
  if (Is(a, "TButton")) return Gated(c.Contains(X::xcButton), Painter(K::Button));
  if (Is(a, "TCustomEdit")) return Gated(c.Contains(X::xcEdit), Painter(K::Edit));
  const bool dcEdit = NameIn(name, {"TDCEDIT", "TDCDBEDIT"});
  if (!dcEdit && Is(a, "TCustomFrame")) {
    d.Children = TChildWalk::Components;
    return d;
  }
  if (!dcEdit && Is(a, "TCustomForm")) {
    d = Painter(K::Box, 1);
    d.Children = TChildWalk::Components;
    return d;
  }
  if (dcEdit) {
    if (f.NumButtons == 1 && c.Contains(X::xcCombo)) return Painter(K::ComBox, 0, TAttachBy::Handle);
    if (f.NumButtons == 0 && c.Contains(X::xcEdit)) return Painter(K::Edit, 0, TAttachBy::Handle);
  }
  return d;
}

}  // namespace

const char* PainterKindName(TPainterKind kind) {
  static const char* const names[] = {
      "", "TSkinButton", "TSkinBitButton", "TSkinSpeedButton", "TSkinMenuButton", "TSkinMP",
      "TSkinCheckBox", "TSkinRadioButton", "TSkinGroupBox", "TSkinBox", "TSkinBoxH",
      "TSkinObjImage", "TSkinTab", "TSkinTabBtn", "TSkinTab31", "TSkinTabSheet", "TSkinAdvPage",
      "TSkinHeader", "TSkinStatusBar", "TSkinTrackBar", "TSkinUpDown", "TSkinProgress",
      "TSkinComBox", "TSkinDateTime", "TSkinEdit", "TSkinScrollbar", "TSkinScControl",
      "TSkinListView", "TSkinCheckList", "TSkinSizer"};
  size_t i = static_cast<size_t>(kind);
  return i < sizeof names / sizeof names[0] ? names[i] : "";
}

std::optional<std::string> Skin3rdKind(const std::vector<std::string>& rows,
                                       const std::string& className) {
  const std::string key = Lower(className) + "=";
  for (const std::string& row : rows) {
    if (row.size() < key.size() || Lower(row.substr(0, key.size())) != key) continue;
    std::string kind = row.substr(row.find('=') + 1, 50);
    return Lower(kind);
  }
  return std::nullopt;
}

TDispatchDecision DecideControl(const TControlFacts& f, const TDispatchSettings& s) {
  TDispatchDecision d;
  const std::string className = f.Ancestry.empty() ? std::string() : f.Ancestry.front();
  if (f.Tag == s.DisableTag) {
    d.Skip = true;
    std::string lower = Lower(className);
    if (lower.find("radiogroup") != std::string::npos || lower.find("checkgroup") != std::string::npos) {
      d.Children = TChildWalk::After;
      d.ChildRule = TChildRule::DisableTag;
    }
    return d;
  }
  if (!f.HasParent || f.AnswersSkinned || f.HasPainter) {
    d.Skip = true;
    return d;
  }
  if (s.Skin3rd && !className.empty()) {
    if (std::optional<std::string> kind = Skin3rdKind(*s.Skin3rd, className))
      return FromSkin3rd(*kind, f, s);
  }
  if (NameIn(Upper(className), {"TDBCOMBOBOXEH", "TFRDESIGNERPAGE", "TFRPBOX"})) return d;
  return FromClassTable(f, s);
}

TDispatchDecision DecideChild(TChildRule rule, const std::vector<std::string>& childAncestry) {
  const std::string upper = childAncestry.empty() ? std::string() : Upper(childAncestry.front());
  const bool rz = upper.find("TRZ") != std::string::npos;
  switch (rule) {
    case TChildRule::Radio:
      return Painter(K::RadioButton);
    case TChildRule::RadioOrObjImage:
      return rz ? ObjImage(2) : Painter(K::RadioButton);
    case TChildRule::CheckOrObjImage:
      return rz ? ObjImage(1) : Painter(K::CheckBox);
    case TChildRule::ScrollBars:
      return Is(childAncestry, "TScrollBar") ? Painter(K::ScControl, 0, TAttachBy::Own)
                                             : Painter(K::Scrollbar, 0, TAttachBy::Window);
    case TChildRule::DisableTag: {
      TDispatchDecision d;
      d.Skip = true;
      return d;
    }
    case TChildRule::Dispatch:
      break;
  }
  return {};
}

TDispatchDecision DecideWindow(const TChildWindowFacts& f, const TSkinControlTypes& c) {
  const std::string cls = Lower(f.ClassName.substr(0, 100));
  const uint32_t s = f.Style;
  TDispatchDecision d;
  d.By = TAttachBy::Handle;
  auto attach = [&](bool present, K kind) {
    if (present) d.Kind = kind;
    return d;
  };
  if (cls == "button") {
    // The button type is a 4-bit value, not a set of bits: decode it by value.
    if (s & 0x80) return d;
    switch (s & 0xF) {
      case 0x0: case 0x1: case 0x8: case 0xA:
        return attach(c.Contains(X::xcButton), K::Button);
      case 0x2: case 0x3: case 0x5: case 0x6:
        return attach(c.Contains(X::xcCheckBox), K::CheckBox);
      case 0x4: case 0x9:
        return attach(c.Contains(X::xcRadioButton), K::RadioButton);
      default:
        return d;  // group box, owner-drawn and the rest keep the system's drawing
    }
  }
  if (cls == "combobox") return attach(c.Contains(X::xcCombo) && (s & 3) != 1, K::ComBox);
  if (cls == "comboboxex32") return attach(c.Contains(X::xcCombo) && f.HasChild, K::ComBox);
  // Only a size box or grip is painted solid; a real scroll bar would lose its thumb.
  if (cls == "scrollbar") return attach((s & 0x10000) == 0 && (s & 0x18) != 0, K::Sizer);
  if (cls == "#32770") {
    if (s & 0x10000) return d;
    d.Children = TChildWalk::Before;
    return attach(true, K::BoxH);
  }
  if (cls == "tpanel" || cls == "ttntpanel.unicodeclass" ||
      cls == "ttntsilentpaintpanel.unicodeclass") {
    d.Children = TChildWalk::Before;
    if (f.HasControl) d.Action = TDispatchAction::ParentColor;
    return d;
  }
  if (cls == "tsilentpaintpanel") {
    if (f.HasControl) d.Action = TDispatchAction::ParentColor;
    return d;
  }
  if (cls == "tcheckbox") return attach(c.Contains(X::xcCheckBox), K::CheckBox);
  if (cls == "tcombobox") return attach(c.Contains(X::xcCombo), K::ComBox);
  if (cls == "tbutton") return attach(c.Contains(X::xcButton), K::Button);
  if (cls == "tprogressbar") return attach(true, K::Progress);
  if (cls == "systabcontrol32") return attach(c.Contains(X::xcTab) && (s & 0x2000) == 0, K::Tab);
  if (cls == "toolbarwindow32") return attach(true, K::BoxH);
  if (cls == "edit") return attach(c.Contains(X::xcEdit), K::Edit);
  return d;  // "systreeview32" and every other class: none
}

}  // namespace skin
