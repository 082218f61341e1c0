// Line-by-line scrolling under Wine with the scroll-bar overlays: Form1 from the
// host's layout with the default skin and the real child dispatch, a 2,000-line list
// box and memo beside unskinned twins of the same size (their Tag the skin's
// DisableTag); each side scrolls down line by line (SB_LINEDOWN, then UpdateWindow),
// in interleaved rounds. Scrolling must move no overlay: the run fails otherwise.
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/StdCtrls_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/painters/SkinScrollBars_win.h"
#include "tests/bench/Bench.h"
#include "tests/bench/SkinBenchForm_win.h"

VELMORA_BENCHMARK(scroll_paint) {
  bench::StartSkinBench();
  skin::InstallChildDispatch();
  skin::TSkinData data;
  bench::LoadDefaultSkin(data);

  std::unique_ptr<TComponent> root = bench::CreateForm1();
  auto* form = static_cast<TForm*>(root.get());
  form->SetBounds(0, 0, 1024, 600);
  std::vector<std::string> lines;
  for (int i = 0; i < 2000; ++i) lines.push_back("Line " + std::to_string(i) + " of the scrolling benchmark");
  auto* list = dynamic_cast<TListBox*>(form->FindComponent("ListBox1"));
  if (!list) throw std::runtime_error("Form1 has no ListBox1");
  list->SetItems(lines);
  auto* listTwin = new TListBox(form);
  listTwin->SetParent(form);
  listTwin->SetTag(data.DisableTag);
  listTwin->SetBounds(list->Left(), list->Top() + list->Height() + 20, list->Width(), list->Height());
  listTwin->SetItems(lines);
  // The memo sits on a page of its own: a memo of that size on the form itself.
  auto* memo = new TMemo(form);
  memo->SetParent(form);
  memo->SetBounds(520, 300, 220, 150);
  memo->SetLines(lines);
  auto* memoTwin = new TMemo(form);
  memoTwin->SetParent(form);
  memoTwin->SetTag(data.DisableTag);
  memoTwin->SetBounds(760, 300, 220, 150);
  memoTwin->SetLines(lines);
  form->Show();
  skin::TWinSkinForm* skinner = bench::ActivateSkinner(form, data);
  auto painted = [&](TWinControl* control) {
    for (skin::TSkinControl* p : skinner->Painters())
      if (p->Owner() == control) return true;
    return false;
  };
  for (TWinControl* c : {static_cast<TWinControl*>(list), static_cast<TWinControl*>(memo)})
    if (!painted(c)) throw std::runtime_error(c->Name() + ": no scroll-bar painter");
  if (painted(listTwin) || painted(memoTwin)) throw std::runtime_error("a twin has a painter");

  const int steps = run.Quick ? 5 : 200;
  auto scroll = [&](TWinControl* control) {
    const HWND h = control->Handle();
    return bench::TimeInProcess(
        [&] {
          SendMessageW(h, WM_VSCROLL, SB_TOP, 0);
          UpdateWindow(h);
          for (int i = 0; i < steps; ++i) {
            SendMessageW(h, WM_VSCROLL, SB_LINEDOWN, 0);
            UpdateWindow(h);
          }
          GdiFlush();
        },
        steps);
  };
  struct TKind {
    const char* Label;
    TWinControl* Skinned;
    TWinControl* Plain;
  };
  for (const TKind& k : {TKind{"List box", list, listTwin}, TKind{"Memo", memo, memoTwin}}) {
    const uint64_t before = skin::ScrollOverlayRepositions();
    bench::TComparison c = bench::Compare(run, [&] { return scroll(k.Skinned); }, [&] { return scroll(k.Plain); });
    const uint64_t moved = skin::ScrollOverlayRepositions() - before;
    if (moved != 0) throw std::runtime_error(std::string(k.Label) + ": scrolling moved an overlay");
    bench::TRow row = bench::RowOf(std::string(k.Label) + " line scroll, skinned",
                                   std::string("2,000 lines, SB_LINEDOWN + UpdateWindow with overlays (0 overlay moves) "
                                               "vs an unskinned twin"),
                                   bench::TUnit::Milliseconds, c, bench::TTarget::RatioAtMost(1.5));
    row.OursPeakBytes = bench::ProcessPeakBytes();
    bench::Emit(run, row);
  }

  root.reset();
  skin::SetFormChildrenSeam(nullptr);
  bench::StopSkinBench();
}
