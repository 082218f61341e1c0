// Linked into a copy of the host program: its reports show the classic error
// dialog instead of the detailed one. Set while the program's statics are made,
// before the logger can report anything.
#include "exclog/capture/EDialogHandOver_win.h"

namespace {

[[maybe_unused]] const bool classicPresentation = (exclog::SetPresentationKindOption(2), true);

}  // namespace
