#pragma once
// Test helpers for GUI tests on the host program's Form1 with the frame-coded test
// skin: the form made from its layout under a test class of the caller's, its
// skinner attached and activated, the skin's pixel codes, and a helper thread for
// input that runs while this thread sits in a modal loop (a popup menu, a scroll
// bar's tracking).
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "classlib/Forms_win.h"
#include "classlib/Layout.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/forms/WinSkinForm.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace skintest {

// Form1 under `className` (registered by the caller), its SkinData1 holding the test
// skin, parsed. Null (and `data` null) on failure.
template <class TFormClass>
std::unique_ptr<TFormClass> MakeTestForm1(const std::string& className, skin::TSkinData*& data) {
  data = nullptr;
  std::string layout = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_FORM1_LAYOUT));
  const size_t at = layout.find("TForm1");
  if (at == std::string::npos) return nullptr;
  layout.replace(at, 6, className);
  std::unique_ptr<TFormClass> form(dynamic_cast<TFormClass*>(CreateFromLayout(layout, nullptr)));
  if (!form) return nullptr;
  data = dynamic_cast<skin::TSkinData*>(form->FindComponent("SkinData1"));
  if (!data) return nullptr;
  data->SetSkinStreamBytes(TestSkinContainer());
  if (!data->LoadSkin()) data = nullptr;
  return form;
}

// A skinner attached to the shown `form` and activated; null when it never activated.
inline std::unique_ptr<skin::TWinSkinForm> ActivateTestSkinner(TForm* form, skin::TSkinData* data) {
  auto skinner = std::make_unique<skin::TWinSkinForm>();
  skinner->Hwnd = form->Handle();
  skinner->AttachForm(data, form);
  PostMessageA(form->Handle(), skin::kMsgActivateSkin, 0, 1000);
  if (!velmora::test::PumpUntil([&] { return skinner->SkinActivated != 0; })) return nullptr;
  SetForegroundWindow(form->Handle());
  return skinner;
}

// The test skin's pixel code of frame k (from 1), slice s of the image `key` of
// `section`.
inline COLORREF PixelCode(const char* section, const char* key, int k, int slice) {
  const TManifestImage* image = TestSkin().Find(section, key);
  if (!image) return CLR_INVALID;
  return RGB(image->Id, (k - 1) * 9 + slice, 0x11);
}

// Runs `script` on a thread of its own while this thread serves its messages.
inline void RunBeside(const std::function<void()>& script, DWORD timeoutMs = 60000) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    script();
    done = true;
  });
  velmora::test::PumpUntil([&] { return done.load(); }, timeoutMs);
  t.join();
}

}  // namespace skintest
