#pragma once
// The shut-down pass over the blocks still listed: known harmless blocks hidden,
// stacks cleaned, blocks of one origin counted together, and one leak handed to
// the report hooks per group. Runs after catching stopped; the list lock is held
// only while the list is read or released, never while a hook runs, so a hook
// may free listed blocks.
#include <cstdint>

#include "classlib/System.h"
#include "exclog/core/EMemoryView.h"
#include "exclog/leaks/ELeakStacks.h"

namespace exclog {

constexpr int kLeakReportLimit = 1024;
constexpr int kLeakTypeNameLimit = 64;

// One leak as the report receives it.
struct TLeakEntry {
  char TypeName[kLeakTypeNameLimit + 1];  // class name, or "Data"
  uint64_t Size;                          // bytes of every block it stands for
  uint32_t Count;                         // blocks it stands for
  uintptr_t Stack[kLeakStackDepth];       // call sites from the allocating line, zero-filled
};

struct TLeakProcessing {
  uint8_t Options = 0;
  const TMemoryView* Memory = nullptr;  // code the stacks point into
  TReadableCheck Check = nullptr;       // the list and class records; none: the class library's
  TLeakTrimPoints Trim;
  // Runs `step` and tells whether it finished; the Windows build catches hardware
  // faults too. None: C++ exceptions only.
  bool (*Guarded)(void (*step)(void* context), void* context) = nullptr;
  void (*Begin)() = nullptr;
  void (*Leak)(const TLeakEntry& leak) = nullptr;
  void (*End)() = nullptr;
  // A message for the user (the box text); `Error` is the step that failed.
  void (*Message)(const char* text) = nullptr;
  // Creates (true) or frees (false) a cache of readability answers that Check
  // consults while the list is read; false when it could not be made. It is freed
  // before the report hooks run, since they may give memory back.
  bool (*PagesCache)(bool create) = nullptr;
  // The foreign-manager message shows only when this holds.
  bool ShowForeignManager = false;
};

// What the pass did, for the caller and tests.
struct TLeakOutcome {
  int Reported = 0;           // leaks handed to the Leak hook
  const char* FailedStep = nullptr;
  bool ListUnreadable = false;
};

TLeakOutcome ProcessLeaks(const TLeakProcessing& processing);

// The failure text: "Error in ELeaks "<step>" section."
void LeakStepFailureText(const char* step, char* out, int size);

}  // namespace exclog
