#pragma once
// What the dialogs need of the capture layer above them: the report's options, the
// thread records and the raising thread's saved stack position.
// The capture's start-up fills these; each null member means its plain default.
#include <cstdint>

#include "exclog/core/EOptions.h"
#include "exclog/debuginfo/ELists.h"

namespace exclog {

struct TDialogSeams {
  // The options of the report being shown. Default: one default-filled object.
  TQuelbaModuleOptions& (*Options)() = nullptr;
  // The live thread records (read under their lock). Default: none.
  TQuelbaThreadsList* (*ThreadRecords)() = nullptr;
  // The stack position the raise path saved for the calling thread. Default: 0.
  uintptr_t (*SavedStackPosition)() = nullptr;
};
TDialogSeams& DialogSeams();

// Through the seams, with their defaults.
TQuelbaModuleOptions& DialogOptions();
TQuelbaThreadsList* DialogThreadRecords();
uintptr_t DialogSavedStackPosition();

}  // namespace exclog
