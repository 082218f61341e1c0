// Fuzz target: the painter decision over arbitrary class names, Skin3rd rows, tags,
// set members and window styles. Layout of the input: 16 bytes of facts, then text
// lines: the first two are class names (the control and a child), the next is a
// window class, the rest are Skin3rd rows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "skin/painters/SkinDispatch.h"

namespace {

const char* const kKnown[] = {"TCustomTabControl", "TPageControl", "TToolButton", "TCoolBar",
                              "TTabSheet", "TCustomCheckBox", "TCustomRadioGroup", "TCustomGroupBox",
                              "TRadioButton", "TToolBar", "TScrollBar", "TCustomComboBox",
                              "TDateTimePicker", "TBitBtn", "TSpeedButton", "TCustomPanel",
                              "TCustomListView", "TCustomMemo", "TButton", "TCustomEdit",
                              "TCustomFrame", "TCustomForm"};

void Check(const skin::TDispatchDecision& d) {
  if (d.Skip && d.Kind != skin::TPainterKind::None) __builtin_trap();
  if (skin::PainterKindName(d.Kind) == nullptr) __builtin_trap();
  if (d.ImageKind != 0 && d.Kind != skin::TPainterKind::ObjImage) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 16) return 0;
  uint32_t style, bits, known;
  std::memcpy(&style, data, 4);
  std::memcpy(&bits, data + 4, 4);
  std::memcpy(&known, data + 8, 4);
  std::vector<std::string> lines(1);
  for (size_t i = 16; i < size; i++) {
    if (data[i] == '\n')
      lines.emplace_back();
    else
      lines.back() += char(data[i]);
  }
  while (lines.size() < 3) lines.emplace_back();
  std::vector<std::string> rows(lines.begin() + 3, lines.end());

  skin::TControlFacts f;
  f.Ancestry.push_back(lines[0]);
  for (size_t i = 0; i < sizeof kKnown / sizeof kKnown[0]; i++)
    if (known >> i & 1) f.Ancestry.push_back(kKnown[i]);
  f.Tag = int8_t(data[12]);
  f.Style = style;
  f.Windowed = data[13] & 1;
  f.HasParent = !(data[13] & 2);
  f.AnswersSkinned = data[13] & 4;
  f.HasPainter = data[13] & 8;
  f.TabStyleIsTabs = data[13] & 16;
  f.UpDownPicker = data[13] & 32;
  f.HasBorder = data[13] & 64;
  f.FrameSkinned = data[13] & 128;
  f.NumButtons = int8_t(data[14]);
  f.KindProperty = lines[1];
  skin::TDispatchSettings s;
  s.DisableTag = int8_t(data[15]);
  s.SkinControls = skin::TSkinControlTypes::FromBits(bits);
  s.HasTabs = style & 1;
  s.Skin3rd = &rows;

  skin::TDispatchDecision d = skin::DecideControl(f, s);
  Check(d);
  Check(skin::DecideChild(d.ChildRule, {lines[1]}));
  Check(skin::DecideWindow({lines[2], style, bool(bits & 1), bool(bits & 2)}, s.SkinControls));
  return 0;
}
