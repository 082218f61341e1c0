#pragma once
// Hands the dialogs what they read of the capture layer (exclog/dialogs/EDialogSeams.h):
// the report's options, the thread records and the raising thread's saved stack
// position. The logger's start-up calls it.
namespace exclog {

void InstallDialogSeams();

}  // namespace exclog
