#pragma once
// What the dialogs, the handler and the sending share about the report under way,
// pure half: where the exception was raised, the bounds of the raising thread's
// stack snapshot, the message the dialogs show, sections added to the report after
// the dialogs, the report's date format and the header of each call-stack group.
// EReportContext_win.h takes the snapshot and reads the thread records.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/core/EOptions.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/report/EReportText.h"

namespace exclog {

// --- Where the exception was raised ---------------------------------------------------

struct TExceptionPlace {
  uintptr_t Address = 0;
  uintptr_t Frame = 0;
  uint8_t Flag = 0;
};
// Stores the three values as the current report's; a zero address or frame leaves
// the last known copy of that value as it was.
void RecordExceptionPlace(uintptr_t address, uintptr_t frame, uint8_t flag);
TExceptionPlace CurrentExceptionPlace();
TExceptionPlace LastKnownExceptionPlace();

// --- Stack snapshot bounds ------------------------------------------------------------

constexpr size_t StackSnapshotLimit = 102400;

struct TSnapshotRange {
  uintptr_t Start = 0;
  size_t Size = 0;
};
// Starts at `saved` unless it lies below `stackLimit` or above `stackTop` (then at
// `callerFrame`); runs to `stackTop`, at most StackSnapshotLimit bytes. A start
// above the top gives 0 bytes.
TSnapshotRange SnapshotRange(uintptr_t saved, uintptr_t stackLimit, uintptr_t stackTop, uintptr_t callerFrame);
// The frame address recorded with a snapshot: 5 less (the start of the 5-byte call)
// when it is a return address and not 0.
uintptr_t SnapshotFrameAddress(uintptr_t frame, bool fromCall);

// --- The message shown ------------------------------------------------------------------

// An empty override shows the exception's own message.
void SetOverrideMessage(const std::string& text);
void SetExceptionOwnMessage(const std::string& text);
std::string ExceptionMessageText();

// --- Sections added after the dialogs -------------------------------------------------

// One section as the report's general part writes its sections: title, rule and
// one field per (label, value) pair, numbered after the last section of `general`.
std::string RenderReportSection(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields,
                                const std::string& general);
// Puts a rendered section behind the general part of the last report and of the
// text kept for sending (appended where that text is shorter); the report copy
// becomes the last report and the general part grows by the section.
void InsertReportSection(TReportPieces& pieces, const std::string& section);
// Into the process-wide pieces (EReportText.h): a section holding `text` (its one
// field labelled with the section's name), or one field per "name=value" line
// (values trimmed; a line without "=" is a name with an empty value).
void AddReportSection(const std::string& name, const std::string& text);
void AddReportFields(const std::string& name, const std::vector<std::string>& nameValues);

// "yyyy-mm-dd hh:nn:ss".
std::string FormatReportDate(TDateTime when);

// --- Call-stack group headers -----------------------------------------------------

// What the thread records say of the group's thread. `Priority` is the decimal
// priority, or "??" while unknown.
struct TGroupThreadDetails {
  bool Known = false;  // the thread has a record
  std::string Priority = "??";
  std::string ClassName;
  bool Main = false;
};
// The header of a call-stack group: the thread's role, and unless details are off
// (report mode always shows them) its id, priority, class, main-thread tag; then
// its name. A leak entry gives the leak's type, total size and count. Texts are
// the options' (99 to 109).
std::string GroupHeaderText(const TReportStackEntry& entry, bool reportMode, bool detailsShown,
                            const TGroupThreadDetails& details, const TQuelbaModuleOptions& options);

// The call stacks of the report being shown (the Call Stack page's rows); null
// when none was handed over.
void SetReportStacks(std::shared_ptr<const TQuelbaStackList> stacks);
std::shared_ptr<const TQuelbaStackList> ReportStacks();

// Whether the dialogs show thread details in the group headers (on by default).
void SetThreadDetailsShown(bool shown);
bool ThreadDetailsShown();

}  // namespace exclog
