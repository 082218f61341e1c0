#pragma once
// What the skin benchmarks share: Form1 read from the host's layout, the default skin
// loaded, and a form skinner attached and activated on a form.
#include <memory>
#include <string>
#include <vector>

#include "classlib/Forms_win.h"
#include "skin/data/WinSkinData.h"
#include "skin/forms/WinSkinForm.h"

namespace bench {

// Starts the form units and the skin data's Windows side. Call once per subject.
void StartSkinBench();
void StopSkinBench();
// Form1 from its layout (the host's class stood in for); raises when unreadable.
std::unique_ptr<TComponent> CreateForm1();
// The windowed control `name` of `form`; raises when there is none.
TWinControl* ControlOf(TForm* form, const char* name);
// The default skin into `data`; raises when it does not load.
void LoadDefaultSkin(skin::TSkinData& data);
// A form skinner owned by `form`, attached and activated (raises when it is not).
skin::TWinSkinForm* ActivateSkinner(TForm* form, skin::TSkinData& data);
void PumpMessages();

struct TBenchRun;

// A control of Form1 with its painter and an unskinned twin of the same class and
// size (its Tag the skin's DisableTag).
struct TPaintPair {
  std::string Label;  // "Button", "Edit" ...
  TWinControl* Skinned;
  TWinControl* Plain;
};
// Raises unless each skinned control has a painter of `skinner` and no twin has one;
// then repaints each pair in interleaved rounds and emits one row per pair (target
// at most 1.5 times the twin's time).
void EmitRepaintRows(TBenchRun& run, skin::TWinSkinForm* skinner, const std::vector<TPaintPair>& pairs);

}  // namespace bench
