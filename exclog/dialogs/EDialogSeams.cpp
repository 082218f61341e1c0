#include "exclog/dialogs/EDialogSeams.h"

#include <memory>

namespace exclog {

TDialogSeams& DialogSeams() {
  static TDialogSeams seams;
  return seams;
}

TQuelbaModuleOptions& DialogOptions() {
  if (auto options = DialogSeams().Options) return options();
  static TQuelbaModuleOptions defaults;
  return defaults;
}

TQuelbaThreadsList* DialogThreadRecords() {
  auto records = DialogSeams().ThreadRecords;
  return records ? records() : nullptr;
}

uintptr_t DialogSavedStackPosition() {
  auto saved = DialogSeams().SavedStackPosition;
  return saved ? saved() : 0;
}

}  // namespace exclog
