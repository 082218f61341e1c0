#pragma once
// Which painter a child control or a plain child window gets. The form skinner
// gathers the facts (class ancestry by name, tag, the skin data's settings, a few
// property values and window styles) and carries the decision out; the decision
// itself needs no window, so every row can be tested and fuzzed natively.
//
// Pure code: no Win32 header.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "skin/data/WinSkinData.h"

namespace skin {

// Painter classes a decision can name. Kinds whose painters are not built yet are
// still decided: the creating table simply has no entry for them.
enum class TPainterKind {
  None, Button, BitButton, SpeedButton, MenuButton, MediaPlayer, CheckBox, RadioButton,
  GroupBox, Box, BoxH, ObjImage, Tab, TabBtn, Tab31, TabSheet, AdvPage, Header, StatusBar,
  TrackBar, UpDown, Progress, ComBox, DateTime, Edit, Scrollbar, ScControl, ListView,
  CheckList, Sizer
};
const char* PainterKindName(TPainterKind kind);

// How the painter is attached.
enum class TAttachBy {
  Control,  // AttachControl on the control
  Window,   // the scroll-bar painters' AttachScroll (by window)
  Handle,   // AttachWindow on the control's window handle
  Own       // the painter's own attach (speed button, scroll-bar control)
};

// What happens to the control's children (or components), and when.
enum class TChildWalk {
  None,
  Before,      // dispatch the child controls, then attach the control's painter
  After,       // attach the control's painter, then dispatch the child controls
  Components,  // dispatch all components (as for a form), after the painter if any
};

// How each child is decided when the walk does not use the ordinary dispatch.
enum class TChildRule {
  Dispatch,        // each child goes through the ordinary dispatch
  Radio,           // each child: TSkinRadioButton
  RadioOrObjImage, // "TRZ" classes: TSkinObjImage (radio glyphs), others TSkinRadioButton
  CheckOrObjImage, // "TRZ" classes: TSkinObjImage (check glyphs), others TSkinCheckBox
  ScrollBars,      // a TScrollBar: TSkinScControl, any other: TSkinScrollbar by window
  DisableTag       // each child takes the disable tag; nothing is skinned
};

// Extra work a row asks for beyond attaching a painter.
enum class TDispatchAction {
  None,
  ToolButtonMenu,  // owner-drawn handlers on the tool button's menu item and sub-items
  CoolBarBands,    // every band's Color := ButtonFace
  ToolBarDraw,     // custom-draw handlers (unless assigned) and the Menu's items owner-drawn
  ParentColor      // a plain panel window's class-library control: Color := ButtonFace
};

struct TControlFacts {
  // Class names from the control's own class up to TObject (exact letter case).
  std::vector<std::string> Ancestry;
  int32_t Tag = 0;
  bool HasParent = true;
  bool AnswersSkinned = false;  // its window answers 0x3523 with 1
  bool HasPainter = false;      // already in the skinner's painter list
  bool Windowed = false;
  uint32_t Style = 0;           // window style (windowed controls)
  bool TabStyleIsTabs = true;   // a page control's "Style" is tsTabs
  bool UpDownPicker = false;    // a date-time picker in an up-down style
  int NumButtons = -1;          // integer property "NumButtons"; -1 when absent
  std::string KindProperty;     // property "Kind" as text
  bool HasBorder = false;       // window and client rectangles differ in size
  bool FrameSkinned = false;    // the form skinner paints the frame
};

struct TDispatchSettings {
  int32_t DisableTag = 99;
  TSkinControlTypes SkinControls;
  bool HasTabs = false;  // the skin has the "Tabs" element
  const std::vector<std::string>* Skin3rd = nullptr;
};

struct TDispatchDecision {
  bool Skip = false;       // nothing at all happens (disabled, no parent, painted already)
  TPainterKind Kind = TPainterKind::None;
  TAttachBy By = TAttachBy::Control;
  uint8_t ChangeColor = 0;
  int PainterFlag = 0;      // preset painter flag (2: a tab control that is no page control)
  int ImageKind = 0;        // TSkinObjImage: 1 check, 2 radio, 3 "Properties" glyph
  bool ExtendedCombo = false;
  bool SingleBar = false;
  std::string GlyphProperty;                               // "PngImage" for the png kinds
  std::vector<std::pair<std::string, std::string>> Props;  // properties set before attach
  TChildWalk Children = TChildWalk::None;
  TChildRule ChildRule = TChildRule::Dispatch;
  TDispatchAction Action = TDispatchAction::None;
  bool FromSkin3rd = false;  // decided by a Skin3rd row (the class table was not read)
};

// The kind named by the first Skin3rd row for `className` ("class=kind", compared
// lower-cased, kind at most 50 characters, lower-cased); nothing when no row names it.
std::optional<std::string> Skin3rdKind(const std::vector<std::string>& rows,
                                       const std::string& className);

// Steps 1, 2, 5 and 6 of dispatching one class-library control (the program's own
// event and handle creation are the caller's).
TDispatchDecision DecideControl(const TControlFacts& facts, const TDispatchSettings& settings);

// One child of a walk with a special rule; `Dispatch` children go through DecideControl.
TDispatchDecision DecideChild(TChildRule rule, const std::vector<std::string>& childAncestry);

struct TChildWindowFacts {
  std::string ClassName;  // any letter case; at most 100 characters are compared
  uint32_t Style = 0;
  bool HasChild = false;
  bool HasControl = false;  // a class-library control stands behind the window
};

// A plain child window by its window class. Children == Before: walk the window's
// children first; Kind ComBox with By == Handle on "comboboxex32" means its first child.
TDispatchDecision DecideWindow(const TChildWindowFacts& facts, const TSkinControlTypes& controls);

}  // namespace skin
