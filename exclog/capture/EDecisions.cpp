#include "exclog/capture/EDecisions.h"

#include "classlib/SysUtils.h"

namespace exclog {

bool SameRuntimeVersion(uint16_t version) {
  const uint16_t low = RuntimeVersion / 100 * 100;
  return version >= low && version < low + 100;
}

bool SendWanted(const TSendState& s) {
  return (s.MailMode != 0 || s.WebSendMode != 0) && !s.Duplicate && (s.UserChoseSend || s.AskBeforeSending == 0);
}

bool SendOrAsk(uint8_t dialogKind, TProgramKind program, const TSendState& s) {
  const bool showsDialog = dialogKind == 1 || (dialogKind == 0 && program == TProgramKind::Windowed);
  if (showsDialog && SendWanted(s) && (s.ProcessFlags & 0x11) != 0) return true;
  return s.AskBeforeSending != 0;
}

uint8_t EffectiveDialogKind(uint8_t configured, TProgramKind program) {
  switch (configured) {
    case 0:
      if (program == TProgramKind::WebExtension || program == TProgramKind::Cgi || program == TProgramKind::Service)
        return 2;
      return program == TProgramKind::Console ? 1 : 0;
    case 1: return program == TProgramKind::Console ? 1 : 0;
    case 2: return 2;
    default: return 0;
  }
}

int FindFilter(const std::vector<TQuelbaExceptionFilter>& filters, const TFilterSubject& subject, bool modeFlag) {
  for (size_t i = 0; i < filters.size(); ++i) {
    const TQuelbaExceptionFilter& f = filters[i];
    if (!f.Enabled) continue;
    bool matches = false;
    if (subject.ActiveX) {
      for (const std::string& name : subject.ActiveXNames)
        if (SameText(name, f.ClassNameText)) matches = true;
    } else if (subject.InheritsFrom && subject.InheritsFrom(subject.Object, f.ClassNameText)) {
      matches = f.Mode1 == 0 || (f.Mode1 == 1 && modeFlag) || (f.Mode1 == 2 && !modeFlag);
    }
    if (matches) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace exclog
