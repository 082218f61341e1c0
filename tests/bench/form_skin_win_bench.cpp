// Form repaint under Wine with the skin engine in the way: two forms from the host's
// Form1 layout in one process, one with a form skinner and the real painters the
// child dispatch gives its controls, the other left alone; full repaints with the
// frame (all children, at once) of each, alternated;
// then resizes by one pixel, where the skinned one rebuilds its window region.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"
#include "classlib/Layout.h"
#include "classlib/System.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/forms/WinSkinForm.h"
#include "skin/painters/WinSubClass.h"
#include "tests/bench/Bench.h"
#include "tests/bench/SkinBenchForm_win.h"

namespace {

// Every windowed control owned (at any depth) by `owner`.
void WindowedControls(TComponent* owner, std::vector<TWinControl*>& out) {
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    TComponent* c = owner->Components(i);
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w->HandleAllocated()) out.push_back(w);
    WindowedControls(c, out);
  }
}

}  // namespace

VELMORA_BENCHMARK(form_skin) {
  bench::StartSkinBench();
  skin::InstallChildDispatch();
  skin::TSkinData data;
  bench::LoadDefaultSkin(data);

  std::unique_ptr<TComponent> skinnedRoot = bench::CreateForm1(), plainRoot = bench::CreateForm1();
  auto* skinned = static_cast<TForm*>(skinnedRoot.get());
  auto* plain = static_cast<TForm*>(plainRoot.get());
  skinned->SetBounds(0, 0, 1024, 600);
  plain->SetBounds(0, 0, 1024, 600);
  skinned->Show();
  plain->Show();
  skin::TWinSkinForm* skinner = bench::ActivateSkinner(skinned, data);
  std::vector<TWinControl*> controls;
  WindowedControls(skinned, controls);

  const int repaints = run.Quick ? 1 : 10;
  auto repaint = [&](TForm* form) {
    return bench::TimeInProcess(
        [&] {
          for (int i = 0; i < repaints; ++i) {
            // The front form is the one measured: each is brought up before its round.
            RedrawWindow(form->Handle(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            GdiFlush();
          }
        },
        repaints);
  };
  auto front = [&](TForm* form) {
    SetWindowPos(form->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bench::PumpMessages();
  };
  bench::TComparison c = bench::Compare(
      run, [&] { front(skinned); return repaint(skinned); }, [&] { front(plain); return repaint(plain); });
  char compared[160];
  std::snprintf(compared, sizeof compared,
                "Form1 (%zu windowed controls, %zu painters) skinned vs left alone", controls.size(),
                skinner->Painters().size());
  bench::TRow row = bench::RowOf("Form repaint, skinned", compared, bench::TUnit::Milliseconds, c,
                                 bench::TTarget::RatioAtMost(1.5));
  row.OursPeakBytes = bench::ProcessPeakBytes();
  bench::Emit(run, row);

  // One pixel wider and back: the skinned form rebuilds its region from the borders.
  int resizes = run.Quick ? 2 : 20;
  auto resize = [&](TForm* form) {
    return bench::TimeInProcess(
        [&] {
          for (int i = 0; i < resizes; ++i) {
            SetWindowPos(form->Handle(), nullptr, 0, 0, 1024 + (i & 1 ? 0 : 1), 600,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            GdiFlush();
          }
        },
        resizes);
  };
  bench::TComparison r = bench::Compare(
      run, [&] { front(skinned); return resize(skinned); }, [&] { front(plain); return resize(plain); });
  bench::TRow resizeRow = bench::RowOf("Form resize by a pixel, skinned", "Form1 skinned (region rebuilt) vs left alone",
                                       bench::TUnit::Milliseconds, r, bench::TTarget::RatioAtMost(1.5));
  bench::Emit(run, resizeRow);

  skinnedRoot.reset();
  plainRoot.reset();
  skin::SetFormChildrenSeam(nullptr);
  bench::StopSkinBench();
}
