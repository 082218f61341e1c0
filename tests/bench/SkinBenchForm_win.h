#pragma once
// What the skin benchmarks share: Form1 read from the host's layout, the default skin
// loaded, and a form skinner attached and activated on a form.
#include <memory>
#include <string>

#include "classlib/Forms_win.h"
#include "skin/data/WinSkinData.h"
#include "skin/forms/WinSkinForm.h"

namespace bench {

// Starts the form units and the skin data's Windows side. Call once per subject.
void StartSkinBench();
void StopSkinBench();
// Form1 from its layout (the host's class stood in for); raises when unreadable.
std::unique_ptr<TComponent> CreateForm1();
// The default skin into `data`; raises when it does not load.
void LoadDefaultSkin(skin::TSkinData& data);
// A form skinner owned by `form`, attached and activated (raises when it is not).
skin::TWinSkinForm* ActivateSkinner(TForm* form, skin::TSkinData& data);
void PumpMessages();

}  // namespace bench
