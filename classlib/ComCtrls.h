#pragma once
// Pure parts of the common controls: the style bits a tab control gets from its
// position and style, the part edges of a status bar, the outline a tree view's
// item lines describe, up-down stepping, date-time parts, and the status panels
// themselves (plain objects with published properties that the status bar shows).
//
// Pure code: no Win32 header.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"

enum class TTabPosition { tpTop, tpBottom, tpLeft, tpRight };
enum class TTabStyle { tsTabs, tsButtons, tsFlatButtons };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TStatusPanelBevel { pbNone, pbLowered, pbRaised };
enum class TStatusPanelStyle { psText, psOwnerDraw };

extern const TEnumType TabPositionType;
extern const TEnumType TabStyleType;
extern const TEnumType AlignmentType;
extern const TEnumType StatusPanelBevelType;
extern const TEnumType StatusPanelStyleType;

// Win32 numbers the pure rules produce (kept here so that tests need no header).
namespace comctl {
constexpr uint32_t TCS_BOTTOM_ = 0x0002;  // with TCS_VERTICAL_: right
constexpr uint32_t TCS_FLATBUTTONS_ = 0x0008;
constexpr uint32_t TCS_VERTICAL_ = 0x0080;
constexpr uint32_t TCS_BUTTONS_ = 0x0100;
constexpr uint32_t TCS_MULTILINE_ = 0x0200;
constexpr int MaxStatusParts = 256;  // what SB_SETPARTS accepts
}  // namespace comctl

// The tab-control style bits for a tab position and style. Tabs at the side only
// work in several rows, so left and right force TCS_MULTILINE.
uint32_t TabControlStyleBits(TTabPosition position, TTabStyle style, bool multiLine);

// The right edges SB_SETPARTS takes for panels of these widths: running sums, the
// last panel reaching the bar's right edge (-1). Negative widths count as 0; no
// panels give one part over the whole bar; at most MaxStatusParts parts.
std::vector<int> StatusPartEdges(const std::vector<int>& widths);

// One node of an indented outline: its depth (0 for a root) and text.
struct TOutlineNode {
  int Level = 0;
  std::string Text;
  bool operator==(const TOutlineNode&) const = default;
};
// Reads item lines indented by two spaces or one tab per level. Blank lines are
// skipped; a line indented deeper than one level below the previous node becomes
// that node's child (a node cannot skip a level), and the first node is a root.
std::vector<TOutlineNode> ParseOutline(const std::vector<std::string>& lines);

// The up-down position after a step of `delta` within [min, max] (either order).
// Past an end: the other end when `wrap`, else the end itself. No overflow.
int UpDownStep(int position, int delta, int min, int max, bool wrap);

// A date and time split into the fields a system date-time record holds.
struct TDateTimeParts {
  int Year = 0, Month = 0, DayOfWeek = 0 /* 0 Sunday */, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
};
TDateTimeParts DateTimeToParts(TDateTime value);
// Nothing when a field is out of range (month 13, 30 February, hour 24 ...).
std::optional<TDateTime> PartsToDateTime(const TDateTimeParts& parts);

class TStatusPanels;

// One panel of a status bar. Changes tell the panel list, which tells the bar.
class TStatusPanel : public TObject {
  VELMORA_CLASS(TStatusPanel, TObject)
  VELMORA_PUBLISHED(TStatusPanel)
 public:
  TStatusPanel() = default;
  explicit TStatusPanel(TStatusPanels* collection) : collection_(collection) {}
  std::string Text() const { return text_; }
  void SetText(const std::string& text);
  int Width() const { return width_; }
  void SetWidth(int width);
  TStatusPanelBevel Bevel() const { return bevel_; }
  void SetBevel(TStatusPanelBevel bevel);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  TStatusPanelStyle Style() const { return style_; }
  void SetStyle(TStatusPanelStyle style);
  // The panel's place in its list; -1 without one.
  int Index() const;

 private:
  friend class TStatusPanels;
  void Changed();
  TStatusPanels* collection_ = nullptr;
  std::string text_;
  int width_ = 50;
  TStatusPanelBevel bevel_ = TStatusPanelBevel::pbLowered;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TStatusPanelStyle style_ = TStatusPanelStyle::psText;
};

// The panels of a status bar; owns them. Published as the bar's "Panels": a layout
// fills it through "Panels.Texts" and "Panels.Widths" (one line per panel).
class TStatusPanels : public TObject {
  VELMORA_CLASS(TStatusPanels, TObject)
  VELMORA_PUBLISHED(TStatusPanels)
 public:
  TStatusPanels() = default;
  ~TStatusPanels() override;
  TStatusPanels(const TStatusPanels&) = delete;
  TStatusPanels& operator=(const TStatusPanels&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError for an index out of range.
  TStatusPanel* Items(int index) const;
  TStatusPanel* Add();
  // Raises EListError for an index out of range.
  void Delete(int index);
  void Clear();
  // Called after any change of the list or of a panel.
  std::function<void()> OnChange;

  // Layout forms: the panels' texts and widths, one line each. Setting either makes
  // or removes panels to match its line count; a width line that is not an integer
  // raises EConvertError and changes nothing.
  std::vector<std::string> Texts() const;
  void SetTexts(const std::vector<std::string>& texts);
  std::vector<std::string> Widths() const;
  void SetWidths(const std::vector<std::string>& widths);
  std::vector<int> WidthValues() const;

 private:
  friend class TStatusPanel;
  void Resize(size_t count);
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::unique_ptr<TStatusPanel>> items_;
};
