#include "exclog/dialogs/EReportContext.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace exclog {

namespace {

std::mutex placeLock;
TExceptionPlace currentPlace, lastKnownPlace;

std::mutex messageLock;
std::string overrideMessage, ownMessage;

std::atomic<bool> threadDetailsShown{true};

std::mutex stacksLock;
std::shared_ptr<const TQuelbaStackList> reportStacks;

}  // namespace

void RecordExceptionPlace(uintptr_t address, uintptr_t frame, uint8_t flag) {
  std::lock_guard<std::mutex> lock(placeLock);
  currentPlace = {address, frame, flag};
  if (address) lastKnownPlace.Address = address;
  if (frame) lastKnownPlace.Frame = frame;
  lastKnownPlace.Flag = flag;
}

TExceptionPlace CurrentExceptionPlace() {
  std::lock_guard<std::mutex> lock(placeLock);
  return currentPlace;
}

TExceptionPlace LastKnownExceptionPlace() {
  std::lock_guard<std::mutex> lock(placeLock);
  return lastKnownPlace;
}

TSnapshotRange SnapshotRange(uintptr_t saved, uintptr_t stackLimit, uintptr_t stackTop, uintptr_t callerFrame) {
  TSnapshotRange range;
  range.Start = saved < stackLimit || saved > stackTop ? callerFrame : saved;
  if (range.Start >= stackTop) return {range.Start, 0};
  range.Size = std::min<size_t>(stackTop - range.Start, StackSnapshotLimit);
  return range;
}

uintptr_t SnapshotFrameAddress(uintptr_t frame, bool fromCall) { return fromCall && frame ? frame - 5 : frame; }

void SetOverrideMessage(const std::string& text) {
  std::lock_guard<std::mutex> lock(messageLock);
  overrideMessage = text;
}

void SetExceptionOwnMessage(const std::string& text) {
  std::lock_guard<std::mutex> lock(messageLock);
  ownMessage = text;
}

std::string ExceptionMessageText() {
  std::lock_guard<std::mutex> lock(messageLock);
  return overrideMessage.empty() ? ownMessage : overrideMessage;
}

namespace {

// The highest section number in the field heads ("  7.3 Label") of `general`.
int LastSectionNumber(const std::string& general) {
  int last = 0;
  size_t at = 0;
  while ((at = general.find("\n  ", at)) != std::string::npos) {
    at += 3;
    int number = 0;
    size_t i = at;
    while (i < general.size() && general[i] >= '0' && general[i] <= '9' && number < 100000)
      number = number * 10 + (general[i++] - '0');
    if (i > at && i < general.size() && general[i] == '.') last = std::max(last, number);
  }
  return last;
}

const char* const SectionBreak = "\r\n\r\n";

}  // namespace

std::string RenderReportSection(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields,
                                const std::string& general) {
  TLogItem item(LastSectionNumber(general));
  item.AddSection(name);
  for (const auto& [label, value] : fields) item.AddField(label, value, true);
  return item.GetText();
}

void InsertReportSection(TReportPieces& pieces, const std::string& section) {
  // The general part ends without a line end and the call stack's title follows
  // one CR LF: the section goes right after the general part, a blank line before
  // it as between the general part's own sections.
  std::string inserted = SectionBreak + section;
  size_t at = pieces.General.size();
  auto put = [&](std::string& text) {
    if (at >= text.size())
      text += inserted;
    else
      text.insert(at, inserted);
  };
  put(pieces.LastReport);
  put(pieces.SendingText);
  pieces.ReportCopy = pieces.LastReport;
  pieces.General = pieces.LastReport.substr(0, at + inserted.size());
}

namespace {

void AddRendered(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields) {
  struct TArgs {
    const std::string* Name;
    const std::vector<std::pair<std::string, std::string>>* Fields;
  } args{&name, &fields};
  UpdateReportPieces(
      [](TReportPieces& pieces, const void* argument) {
        auto a = static_cast<const TArgs*>(argument);
        InsertReportSection(pieces, RenderReportSection(*a->Name, *a->Fields, pieces.General));
      },
      &args);
}

}  // namespace

void AddReportSection(const std::string& name, const std::string& text) { AddRendered(name, {{name, text}}); }

void AddReportFields(const std::string& name, const std::vector<std::string>& nameValues) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const std::string& line : nameValues) {
    size_t equals = line.find('=');
    if (equals == std::string::npos)
      fields.emplace_back(line, "");
    else
      fields.emplace_back(line.substr(0, equals), Trim(line.substr(equals + 1)));
  }
  AddRendered(name, fields);
}

std::string FormatReportDate(TDateTime when) {
  int year, month, day, hour, minute, second, millisecond;
  DecodeDate(when, year, month, day);
  DecodeTime(when, hour, minute, second, millisecond);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return buffer;
}

std::string GroupHeaderText(const TReportStackEntry& entry, bool reportMode, bool detailsShown,
                            const TGroupThreadDetails& details, const TQuelbaModuleOptions& options) {
  auto text = [&](int i) -> const std::string& { return options.Text(i); };
  if (entry.Leak) {
    const std::string& type = entry.LeakType == "Data" ? text(106) : entry.LeakType;
    return text(105) + ": " + text(107) + "=" + type + "; " + text(108) + "=" + std::to_string(entry.LeakSize) + "; " +
           text(109) + "=" + std::to_string(entry.LeakCount);
  }
  std::string header;
  if (!entry.Running)
    header = text(101);
  else if (entry.Raising)
    header = (reportMode ? "*" : "") + text(99);
  else
    header = text(100);
  header += ": ";
  if (reportMode || detailsShown) {
    header += text(102) + "=" + std::to_string(entry.ThreadId < 0 ? 0 : entry.ThreadId) + "; " + text(103) + "=" +
              (details.Priority.empty() ? std::string("??") : details.Priority);
    if (reportMode || !details.ClassName.empty()) header += "; " + text(104) + "=" + details.ClassName;
    if (details.Main) header += "; [" + text(98) + "]";
  }
  if (!entry.ThreadName.empty()) header += " (" + entry.ThreadName + ")";
  return header;
}

void SetReportStacks(std::shared_ptr<const TQuelbaStackList> stacks) {
  std::lock_guard<std::mutex> lock(stacksLock);
  reportStacks = std::move(stacks);
}

std::shared_ptr<const TQuelbaStackList> ReportStacks() {
  std::lock_guard<std::mutex> lock(stacksLock);
  return reportStacks;
}

void SetThreadDetailsShown(bool shown) { threadDetailsShown = shown; }
bool ThreadDetailsShown() { return threadDetailsShown; }

}  // namespace exclog
