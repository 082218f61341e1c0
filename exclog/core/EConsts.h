#pragma once
// The logger's fixed tables: the default customisable texts (copied into every new
// options object), the caption table that names each text for editors, the report
// field names whose order fixes the bits of the report-field set, and the help texts
// of the variables that may stand in path and message settings.
#include <array>
#include <string_view>

namespace exclog {

constexpr int TextCount = 158;          // customisable texts, indices 0..157
constexpr int ReportFieldCount = 48;    // bits of TQuelbaModuleOptions::ReportFields
constexpr int VariableHelpCount = 26;
constexpr int CaptionGroupCount = 14;
constexpr int CaptionCount = TextCount + CaptionGroupCount;

// Indices of texts that other logger code reaches by meaning.
enum : int {
  MsgInformation = 0,
  MsgQuestion = 1,
  MsgError = 2,
  MsgDialogCaption = 3,
  MsgDialogErrorMessage = 4,
  MsgOkButton = 17,
  MsgTerminateButton = 18,
  MsgRestartButton = 19,
  MsgDetailsButton = 20,
  MsgReproduceOkButton = 125,
  MsgSendSuccess = 144,
  MsgSendFailure = 145,
  MsgReserved153 = 153,
  MsgMultiFree = 154,
  MsgMemoryOverrun = 155,
  MsgAntiFreeze = 156,
  MsgInvalidEmail = 157,
};

// One row of the caption table: a group record (Index -1, Caption is the group's
// name) or the caption of the text at Index, belonging to the last group above it.
struct EMsgsRec {
  const char* Caption;
  int Index;
};

// Default text of `index`; an empty view for an index outside 0..157.
std::string_view DefaultText(int index);

// The whole caption table, groups first in their block, in text-index order.
const std::array<EMsgsRec, CaptionCount>& CaptionTable();

// "Section|Field" name of report field bit `bit`; empty outside 0..47.
std::string_view ReportFieldName(int bit);

// Help line `i` ("Name | description"); empty outside 0..25.
std::string_view VariableHelp(int i);

// The variable name of help line `i` (the part before " | "); empty outside 0..25.
std::string_view VariableName(int i);

}  // namespace exclog
