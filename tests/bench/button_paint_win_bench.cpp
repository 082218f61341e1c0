// Repaint of the button, bit-button, check-box, radio-button and group-box painters
// under Wine: Form1 from the host's layout with the default skin and the real child
// dispatch, each of those controls beside an unskinned twin of the same class and
// size on the same form (its Tag the skin's DisableTag); skinned and twin repainted
// in interleaved rounds, one row per kind.
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/Buttons_win.h"
#include "classlib/StdCtrls_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "tests/bench/Bench.h"
#include "tests/bench/SkinBenchForm_win.h"

namespace {

template <class T>
TWinControl* Twin(TForm* form, TWinControl* original, int top, int disableTag) {
  auto* twin = new T(form);
  twin->SetParent(form);
  twin->SetBounds(520, top, original->Width(), original->Height());
  twin->SetTag(disableTag);
  SetPropText(twin, "Caption", GetPropText(original, "Caption").value_or(""));
  return twin;
}

}  // namespace

VELMORA_BENCHMARK(button_paint) {
  bench::StartSkinBench();
  skin::InstallChildDispatch();
  skin::TSkinData data;
  bench::LoadDefaultSkin(data);

  std::unique_ptr<TComponent> root = bench::CreateForm1();
  auto* form = static_cast<TForm*>(root.get());
  form->SetBounds(0, 0, 1024, 600);
  auto find = [form](const char* name) { return bench::ControlOf(form, name); };
  const int tag = data.DisableTag;
  std::vector<bench::TPaintPair> kinds = {
      {"Button", find("Button1"), nullptr},        {"Bit button", find("BitBtn1"), nullptr},
      {"Check box", find("CheckBox1"), nullptr},    {"Radio button", find("RadioButton1"), nullptr},
      {"Group box", find("GroupBox1"), nullptr}};
  kinds[0].Plain = Twin<TButton>(form, kinds[0].Skinned, 40, tag);
  kinds[1].Plain = Twin<TBitBtn>(form, kinds[1].Skinned, 80, tag);
  kinds[2].Plain = Twin<TCheckBox>(form, kinds[2].Skinned, 120, tag);
  kinds[3].Plain = Twin<TRadioButton>(form, kinds[3].Skinned, 150, tag);
  kinds[4].Plain = Twin<TGroupBox>(form, kinds[4].Skinned, 190, tag);
  form->Show();
  skin::TWinSkinForm* skinner = bench::ActivateSkinner(form, data);
  bench::EmitRepaintRows(run, skinner, kinds);

  root.reset();
  skin::SetFormChildrenSeam(nullptr);
  bench::StopSkinBench();
}
