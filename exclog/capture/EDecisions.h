#pragma once
// Decisions the exception handler takes from the options and the program's kind:
// whether to send, whether to ask, which dialog, which exception filter applies.
// Pure: every input is an argument.
#include <cstdint>
#include <string>
#include <vector>

#include "exclog/core/EOptionsData.h"

namespace exclog {

// The run-time version of this program's logger data.
constexpr uint16_t RuntimeVersion = 6104;
// True when `version` lies within the hundred of RuntimeVersion (6100 to 6199).
bool SameRuntimeVersion(uint16_t version);

enum class TProgramKind { Windowed, Console, WebExtension, Cgi, Service };

// The options and report state the send decisions read.
struct TSendState {
  uint8_t MailMode = 0;
  uint8_t WebSendMode = 0;
  bool Duplicate = false;       // the report repeats one already logged
  bool UserChoseSend = false;   // the dialog's send choice
  uint8_t AskBeforeSending = 1;
  uint16_t ProcessFlags = 0;
};

bool SendWanted(const TSendState& s);
// `dialogKind` is the dialog record's kind byte.
bool SendOrAsk(uint8_t dialogKind, TProgramKind program, const TSendState& s);
// 0 the detailed dialog, 1 the console text, 2 no dialog (web or service).
uint8_t EffectiveDialogKind(uint8_t configured, TProgramKind program);

// Thread record tests.
inline bool IsMainThreadRecord(uint32_t threadId, uint32_t mainThreadId) { return threadId == mainThreadId; }
inline bool IsMainOrMarked(uint32_t threadId, uint32_t mainThreadId, bool marked) {
  return marked || threadId == mainThreadId;
}
inline bool IsNotMainOrMarked(uint32_t threadId, uint32_t mainThreadId, bool marked) {
  return !IsMainOrMarked(threadId, mainThreadId, marked);
}

// What a filter is compared with.
struct TFilterSubject {
  bool ActiveX = false;
  std::vector<std::string> ActiveXNames;  // the names an ActiveX exception carries
  // For other exceptions: whether the object inherits from the named class.
  bool (*InheritsFrom)(const void* object, const std::string& className) = nullptr;
  const void* Object = nullptr;
};

// Index of the first enabled filter that matches, -1 when none. `modeFlag` is the
// handler's flag that Mode1 values 1 (flag set) and 2 (flag clear) ask for.
int FindFilter(const std::vector<TQuelbaExceptionFilter>& filters, const TFilterSubject& subject, bool modeFlag);

}  // namespace exclog
