#pragma once
// The reproduce-steps request's layout in pixels, from the template's window size
// and the label's wrapped height. Pure.
#include "exclog/dialogs/EExceptionDialogLayout.h"

namespace exclog {

struct TRequestLayoutInput {
  int WindowWidth = 0, WindowHeight = 0;  // as the template made the window
  int LabelHeight = 0;                    // the label wrapped at WindowWidth - 27
  int LineHeight = 13;                    // one line of the edit's font
  int WorkAreaHeight = 0;
};
struct TRequestLayout {
  int WindowHeight = 0;  // after growing by the label
  TDialogRect Label, Edit, Button;
};

// The window grows by the label's height beyond one line, up to the work area; the
// edit takes what the grown window leaves (never less than three lines, so a long
// label cannot squeeze it away), and the button sits below it at the right.
TRequestLayout LayOutRequest(const TRequestLayoutInput& in);

}  // namespace exclog
