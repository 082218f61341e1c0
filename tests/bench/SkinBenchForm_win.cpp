// What the skin benchmarks share (see SkinBenchForm_win.h).
#include "tests/bench/SkinBenchForm_win.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "classlib/ControlClasses.h"
#include "classlib/Layout.h"
#include "classlib/System.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "tests/bench/Bench.h"
#include "tests/support/HostForm1StandIn_win.h"

namespace bench {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(HostPath(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

void StartSkinBench() {
  RegisterFormsUnit();
  InitUnits();
  skin::StartSkinDataWin(GetModuleHandleA(nullptr));
  // The skinned frame paints through the shared work bitmap, which the manager holds.
  skin::AcquireSkinWorkBitmap();
  RegisterControlClass(velmora::test::TForm1::StaticClass());
}

void StopSkinBench() {
  skin::SetSkinDataSystemFactory(nullptr);
  skin::ReleaseSkinWorkBitmap();
  FinalizeUnits();
}

TWinControl* ControlOf(TForm* form, const char* name) {
  auto* c = dynamic_cast<TWinControl*>(form->FindComponent(name));
  if (!c) throw std::runtime_error(std::string("Form1 has no ") + name);
  return c;
}

std::unique_ptr<TComponent> CreateForm1() {
  const std::string layout = ReadFile(std::string(VELMORA_SOURCE_DIR) + "/resources/Form1.layout");
  if (layout.empty()) throw std::runtime_error("cannot read Form1's layout");
  return std::unique_ptr<TComponent>(CreateFromLayout(layout));
}

void LoadDefaultSkin(skin::TSkinData& data) {
  const std::string skinFile = ReadFile(VELMORA_DEFAULT_SKIN);
  if (skinFile.empty()) throw std::runtime_error("cannot read the default skin");
  data.ReadSkinStream(skin::EncodeSkinStream(std::vector<uint8_t>(skinFile.begin(), skinFile.end())));
  if (data.NotLoaded()) throw std::runtime_error("the default skin did not load");
}

skin::TWinSkinForm* ActivateSkinner(TForm* form, skin::TSkinData& data) {
  auto* skinner = new skin::TWinSkinForm(form);
  skinner->Hwnd = form->Handle();
  skinner->FormClassName = "TForm1";
  skinner->AttachForm(&data, form);
  PostMessageA(form->Handle(), skin::kMsgActivateSkin, 0, 1000);
  for (int i = 0; i < 200 && !skinner->SkinActivated; ++i) {
    PumpMessages();
    Sleep(5);
  }
  if (!skinner->SkinActivated) throw std::runtime_error("the form skinner was not activated");
  return skinner;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void EmitRepaintRows(TBenchRun& run, skin::TWinSkinForm* skinner, const std::vector<TPaintPair>& pairs) {
  auto painted = [&](TWinControl* control) {
    for (skin::TSkinControl* p : skinner->Painters())
      if (p->Owner() == control) return true;
    return false;
  };
  for (const TPaintPair& k : pairs)
    if (!painted(k.Skinned) || painted(k.Plain))
      throw std::runtime_error(k.Label + ": the skinned one has no painter or its twin has one");
  const int repaints = run.Quick ? 1 : 50;
  auto repaint = [&](TWinControl* control) {
    return TimeInProcess(
        [&] {
          for (int i = 0; i < repaints; ++i) {
            RedrawWindow(control->Handle(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_NOCHILDREN | RDW_UPDATENOW);
            GdiFlush();
          }
        },
        repaints);
  };
  for (const TPaintPair& k : pairs) {
    TComparison c = Compare(run, [&] { return repaint(k.Skinned); }, [&] { return repaint(k.Plain); });
    TRow row = RowOf(k.Label + " repaint, skinned", "Form1's " + k.Skinned->Name() + " with its painter vs an unskinned twin",
                     TUnit::Milliseconds, c, TTarget::RatioAtMost(1.5));
    row.OursPeakBytes = ProcessPeakBytes();
    Emit(run, row);
  }
}

}  // namespace bench
