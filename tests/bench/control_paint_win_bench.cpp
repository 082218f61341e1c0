// Repaint of the edit, combo, track-bar, progress, tab, tab-set, header and
// status-bar painters under Wine: Form1 from the host's layout with the default skin and the
// real child dispatch, each of those controls beside an unskinned twin of the same
// class and size on the same form (its Tag the skin's DisableTag); skinned and twin
// repainted in interleaved rounds, one row per kind.
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/StdCtrls_win.h"
#include "classlib/Tabs_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "tests/bench/Bench.h"
#include "tests/bench/SkinBenchForm_win.h"

namespace {

// A twin of `original` below Form1's controls, copying the properties that decide
// what it shows.
template <class T>
T* Twin(TForm* form, TWinControl* original, int left, int top, int disableTag) {
  auto* twin = new T(form);
  twin->SetParent(form);
  twin->SetBounds(left, top, original->Width(), original->Height());
  twin->SetTag(disableTag);
  return twin;
}

}  // namespace

VELMORA_BENCHMARK(control_paint) {
  bench::StartSkinBench();
  skin::InstallChildDispatch();
  skin::TSkinData data;
  bench::LoadDefaultSkin(data);

  std::unique_ptr<TComponent> root = bench::CreateForm1();
  auto* form = static_cast<TForm*>(root.get());
  form->SetBounds(0, 0, 1270, 1000);
  auto find = [form](const char* name) { return bench::ControlOf(form, name); };
  const int tag = data.DisableTag;
  std::vector<bench::TPaintPair> kinds;
  kinds.push_back({"Edit", find("Edit1"), Twin<TEdit>(form, find("Edit1"), 8, 620, tag)});
  auto* combo = Twin<TComboBox>(form, find("ComboBox1"), 8, 650, tag);
  combo->SetStyle(TComboBoxStyle::csDropDownList);
  combo->SetItems({"First choice", "Second choice"});
  combo->SetItemIndex(0);
  kinds.push_back({"Combo box", find("ComboBox1"), combo});
  auto* track = Twin<TTrackBar>(form, find("TrackBar1"), 8, 680, tag);
  track->SetMax(20);
  track->SetPosition(8);
  kinds.push_back({"Track bar", find("TrackBar1"), track});
  auto* progress = Twin<TProgressBar>(form, find("ProgressBar1"), 8, 740, tag);
  progress->SetPosition(60);
  kinds.push_back({"Progress bar", find("ProgressBar1"), progress});
  auto* pages = Twin<TPageControl>(form, find("PageControl1"), 500, 620, tag);
  for (const char* caption : {"Buttons", "Text", "Header"}) {
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(caption);
    sheet->SetTag(tag);
    sheet->SetPageControl(pages);
  }
  kinds.push_back({"Page control", find("PageControl1"), pages});
  auto* header = Twin<THeaderControl>(form, find("Header1"), 8, 770, tag);
  header->SetSections({"Name", "Size", "Date"});
  kinds.push_back({"Header", find("Header1"), header});
  auto* status = Twin<TStatusBar>(form, find("StatusBar1"), 8, 880, tag);
  for (const char* text : {"Ready", "Lesson 1", ""}) {
    TStatusPanel* panel = status->Panels()->Add();
    panel->SetText(text);
    panel->SetWidth(200);
  }
  kinds.push_back({"Status bar", find("StatusBar1"), status});
  // A tab set of its own (Form1 has none) and its twin.
  auto tabSet = [&](const char* name, int top, int tag) {
    auto* set = new TTabSet(form);
    set->SetName(name);
    set->SetParent(form);
    set->SetBounds(700, top, 400, 24);
    set->SetTabs({"Buttons", "Text", "Header", "Lessons", "Models"});
    set->SetTabIndex(1);
    set->SetTag(tag);
    return set;
  };
  kinds.push_back({"Tab set", tabSet("TabSet1", 780, 0), tabSet("TabSet1Twin", 820, tag)});
  // The header lies on the third page: shown for its round.
  dynamic_cast<TPageControl*>(find("PageControl1"))->SetActivePageIndex(2);
  form->Show();
  skin::TWinSkinForm* skinner = bench::ActivateSkinner(form, data);
  bench::EmitRepaintRows(run, skinner, kinds);

  root.reset();
  skin::SetFormChildrenSeam(nullptr);
  bench::StopSkinBench();
}
