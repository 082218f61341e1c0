#pragma once
// Test helper: the host program's Form1 read from its layout under a form class of
// the test's own, the frame-coded test skin in its SkinData1, shown and activated by
// a form skinner, with the child dispatch's painters on its controls.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "classlib/Layout.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/forms/WinSkinForm.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace skintest {

struct TForm1OnTestSkin {
  std::unique_ptr<TForm> Form;
  skin::TSkinData* Data = nullptr;
  std::unique_ptr<skin::TWinSkinForm> Skinner;

  // The skinner goes before its form; later tests of the program expect no dispatch.
  ~TForm1OnTestSkin() {
    Skinner.reset();
    Form.reset();
    skin::SetFormChildrenSeam(nullptr);
  }
};

// Form1 as `className` (a TForm class the caller registered that publishes the
// layout's handlers), at (0, 0) width x height. Fails the running test at the first
// step that does not work.
inline void OpenForm1OnTestSkin(const char* className, int width, int height, TForm1OnTestSkin& out) {
  StartSkinForms();
  skin::InstallChildDispatch();
  std::string layout = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_FORM1_LAYOUT));
  ASSERT_FALSE(layout.empty());
  layout.replace(layout.find("TForm1"), 6, className);
  out.Form.reset(dynamic_cast<TForm*>(CreateFromLayout(layout, nullptr)));
  ASSERT_TRUE(out.Form);
  out.Data = dynamic_cast<skin::TSkinData*>(out.Form->FindComponent("SkinData1"));
  ASSERT_TRUE(out.Data);
  out.Data->SetSkinStreamBytes(TestSkinContainer());
  ASSERT_TRUE(out.Data->LoadSkin());
  out.Form->SetBounds(0, 0, width, height);
  out.Form->Show();
  out.Skinner = std::make_unique<skin::TWinSkinForm>();
  out.Skinner->Hwnd = out.Form->Handle();
  out.Skinner->AttachForm(out.Data, out.Form.get());
  PostMessageA(out.Form->Handle(), skin::kMsgActivateSkin, 0, 1000);
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return out.Skinner->SkinActivated != 0; }));
  SetForegroundWindow(out.Form->Handle());
}

}  // namespace skintest
