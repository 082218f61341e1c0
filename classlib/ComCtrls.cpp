#include "classlib/ComCtrls.h"

#include <algorithm>
#include <cmath>

const TEnumType TabPositionType("TTabPosition", {"tpTop", "tpBottom", "tpLeft", "tpRight"});
const TEnumType TabStyleType("TTabStyle", {"tsTabs", "tsButtons", "tsFlatButtons"});
const TEnumType AlignmentType("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"});
const TEnumType StatusPanelBevelType("TStatusPanelBevel", {"pbNone", "pbLowered", "pbRaised"});
const TEnumType StatusPanelStyleType("TStatusPanelStyle", {"psText", "psOwnerDraw"});

uint32_t TabControlStyleBits(TTabPosition position, TTabStyle style, bool multiLine) {
  using namespace comctl;
  uint32_t bits = 0;
  switch (position) {
    case TTabPosition::tpTop:
      break;
    case TTabPosition::tpBottom:
      bits |= TCS_BOTTOM_;
      break;
    case TTabPosition::tpLeft:
      bits |= TCS_VERTICAL_ | TCS_MULTILINE_;
      break;
    case TTabPosition::tpRight:
      bits |= TCS_VERTICAL_ | TCS_BOTTOM_ | TCS_MULTILINE_;
      break;
  }
  if (style == TTabStyle::tsButtons) bits |= TCS_BUTTONS_;
  if (style == TTabStyle::tsFlatButtons) bits |= TCS_BUTTONS_ | TCS_FLATBUTTONS_;
  if (multiLine) bits |= TCS_MULTILINE_;
  return bits;
}

std::vector<int> StatusPartEdges(const std::vector<int>& widths) {
  const size_t count = std::clamp<size_t>(widths.size(), 1, comctl::MaxStatusParts);
  std::vector<int> edges;
  edges.reserve(count);
  int64_t right = 0;
  for (size_t i = 0; i + 1 < count; ++i) {
    right = std::min<int64_t>(right + std::max(widths[i], 0), INT32_MAX);
    edges.push_back(static_cast<int>(right));
  }
  edges.push_back(-1);
  return edges;
}

namespace {
// Depth of a line's indentation: two spaces or one tab per level.
std::pair<int, size_t> IndentOf(const std::string& line) {
  int columns = 0;
  size_t i = 0;
  for (; i < line.size() && (line[i] == ' ' || line[i] == '\t'); ++i) columns += line[i] == '\t' ? 2 : 1;
  return {columns / 2, i};
}
}  // namespace

std::vector<TOutlineNode> ParseOutline(const std::vector<std::string>& lines) {
  std::vector<TOutlineNode> nodes;
  for (const std::string& line : lines) {
    auto [level, start] = IndentOf(line);
    std::string text = line.substr(start);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.pop_back();
    if (text.empty()) continue;
    const int deepest = nodes.empty() ? 0 : nodes.back().Level + 1;
    nodes.push_back({std::min(level, deepest), std::move(text)});
  }
  return nodes;
}

int UpDownStep(int position, int delta, int min, int max, bool wrap) {
  const int64_t low = std::min(min, max), high = std::max(min, max);
  const int64_t next = static_cast<int64_t>(position) + delta;
  if (next > high) return static_cast<int>(wrap ? low : high);
  if (next < low) return static_cast<int>(wrap ? high : low);
  return static_cast<int>(next);
}

TDateTimeParts DateTimeToParts(TDateTime value) {
  TDateTimeParts parts;
  DecodeDate(value, parts.Year, parts.Month, parts.Day);
  DecodeTime(value, parts.Hour, parts.Minute, parts.Second, parts.Milliseconds);
  parts.DayOfWeek = DayOfWeek(value) - 1;  // DayOfWeek counts Sunday as 1
  return parts;
}

std::optional<TDateTime> PartsToDateTime(const TDateTimeParts& parts) {
  TDateTime date = 0, time = 0;
  if (!TryEncodeDate(parts.Year, parts.Month, parts.Day, date)) return std::nullopt;
  if (!TryEncodeTime(parts.Hour, parts.Minute, parts.Second, parts.Milliseconds, time)) return std::nullopt;
  // Days before 1899-12-30 are negative, but their time of day still counts forward.
  return date < 0 ? date - time : date + time;
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TStatusPanel) {
  p.String("Text", &TStatusPanel::Text, &TStatusPanel::SetText)
      .Integer("Width", &TStatusPanel::Width, &TStatusPanel::SetWidth)
      .Enum("Bevel", StatusPanelBevelType, &TStatusPanel::Bevel, &TStatusPanel::SetBevel)
      .Default(1)
      .Enum("Alignment", AlignmentType, &TStatusPanel::Alignment, &TStatusPanel::SetAlignment)
      .Default(0)
      .Enum("Style", StatusPanelStyleType, &TStatusPanel::Style, &TStatusPanel::SetStyle)
      .Default(0);
}

void TStatusPanel::SetText(const std::string& text) {
  text_ = text;
  Changed();
}
void TStatusPanel::SetWidth(int width) {
  width_ = std::max(width, 0);
  Changed();
}
void TStatusPanel::SetBevel(TStatusPanelBevel bevel) {
  bevel_ = bevel;
  Changed();
}
void TStatusPanel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  Changed();
}
void TStatusPanel::SetStyle(TStatusPanelStyle style) {
  style_ = style;
  Changed();
}

int TStatusPanel::Index() const {
  if (!collection_) return -1;
  for (int i = 0; i < collection_->Count(); ++i)
    if (collection_->items_[static_cast<size_t>(i)].get() == this) return i;
  return -1;
}

void TStatusPanel::Changed() {
  if (collection_) collection_->Changed();
}

VELMORA_PUBLISH(TStatusPanels) {
  p.Strings("Texts", &TStatusPanels::Texts, &TStatusPanels::SetTexts)
      .Strings("Widths", &TStatusPanels::Widths, &TStatusPanels::SetWidths)
      .Integer("Count", &TStatusPanels::Count);
}

TStatusPanels::~TStatusPanels() { OnChange = nullptr; }

TStatusPanel* TStatusPanels::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return items_[static_cast<size_t>(index)].get();
}

TStatusPanel* TStatusPanels::Add() {
  items_.push_back(std::make_unique<TStatusPanel>(this));
  Changed();
  return items_.back().get();
}

void TStatusPanels::Delete(int index) {
  Items(index);  // range check
  items_.erase(items_.begin() + index);
  Changed();
}

void TStatusPanels::Clear() {
  items_.clear();
  Changed();
}

void TStatusPanels::Resize(size_t count) {
  items_.resize(std::min<size_t>(count, comctl::MaxStatusParts));
  for (auto& item : items_)
    if (!item) item = std::make_unique<TStatusPanel>(this);
}

std::vector<std::string> TStatusPanels::Texts() const {
  std::vector<std::string> texts;
  for (const auto& item : items_) texts.push_back(item->Text());
  return texts;
}

void TStatusPanels::SetTexts(const std::vector<std::string>& texts) {
  Resize(texts.size());
  for (size_t i = 0; i < items_.size(); ++i) items_[i]->text_ = texts[i];
  Changed();
}

std::vector<std::string> TStatusPanels::Widths() const {
  std::vector<std::string> widths;
  for (const auto& item : items_) widths.push_back(std::to_string(item->Width()));
  return widths;
}

std::vector<int> TStatusPanels::WidthValues() const {
  std::vector<int> widths;
  for (const auto& item : items_) widths.push_back(item->Width());
  return widths;
}

void TStatusPanels::SetWidths(const std::vector<std::string>& widths) {
  std::vector<int> values;
  for (const std::string& text : widths) values.push_back(std::max(StrToInt(text), 0));  // may raise: nothing changed yet
  Resize(values.size());
  for (size_t i = 0; i < items_.size(); ++i) items_[i]->width_ = values[i];
  Changed();
}
