// The host program: one instance, one main window (Form1, made from its layout in
// the program's resources), one event loop.
#include <windows.h>

#include <string>

#include "app/HostStart_win.h"
#include "classlib/ComCtrls_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"
#include "classlib/Layout.h"
#include "classlib/System.h"
#include "exclog/core/EProcess_win.h"

namespace {

// The main window. Its controls come from the layout; the menu's handlers are
// published so the layout can name them.
class TForm1 : public TForm {
  VELMORA_CLASS(TForm1, TForm)
  VELMORA_PUBLISHED(TForm1)
 public:
  explicit TForm1(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject* sender) { Close(); }
  // Lets a user (and the exception logger's tests) raise an exception on purpose.
  // Kept out of line, so that a report shows this routine's own frame.
  __attribute__((noinline)) void RaiseItemClick(TObject* sender) { throw Exception("Exception raised from the menu"); }
  void Loaded() override {
    TForm::Loaded();
    PlaceStatusBar();
  }
  void WndProc(TMessage& message) override {
    TForm::WndProc(message);
    if (message.Msg == WM_SIZE) PlaceStatusBar();
  }

 private:
  // The status bar runs along the bottom of the client area at any size.
  void PlaceStatusBar() {
    TComponent* found = FindComponent("StatusBar1");
    if (!found || !found->Is<TStatusBar>() || !HandleAllocated()) return;
    auto* bar = static_cast<TStatusBar*>(found);
    RECT client{};
    GetClientRect(Handle(), &client);
    bar->SetBounds(0, client.bottom - bar->Height(), client.right, bar->Height());
  }
};

VELMORA_PUBLISH(TForm1) {
  p.Method<&TForm1::ExitItemClick>("ExitItemClick").Method<&TForm1::RaiseItemClick>("RaiseItemClick");
}

// The layout text linked in as the RCDATA resource "FORM1". Raises
// EInvalidOperation when the program was linked without it.
std::string Form1Layout(HINSTANCE instance) {
  HRSRC found = FindResourceA(instance, "FORM1", MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) throw EInvalidOperation("The main window's layout (resource FORM1) is missing");
  return std::string(static_cast<const char*>(data), SizeofResource(instance, found));
}

// Starts the class library's forms, makes Form1 and serves messages until it
// closes. Returns the exit code; never throws.
int RunForms(HINSTANCE instance) {
  try {
    StartHostServices(instance);
    RegisterControlClass(TForm1::StaticClass());
    auto* form = Application->CreateForm<TForm1>();
    ReadLayoutInto(form, Form1Layout(instance));
    Application->Run();
    return 0;
  } catch (Exception& error) {
    if (Application) Application->ShowException(&error);
  } catch (std::exception& error) {
    MessageBoxA(nullptr, error.what(), "Velmora", MB_OK | MB_ICONERROR);
  }
  return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The units start and stop around everything else the program does. The exception
  // logger's units come first (linked in, they registered themselves before main),
  // so it starts before and stops after every other unit.
  struct TUnits {
    TUnits() { InitUnits(); }
    ~TUnits() { FinalizeUnits(); }
  } units;

  // Only one instance runs: a second one ends at once, without a message. A
  // restart by the logger waits (bounded) for the instance it replaces first.
  exclog::WaitForReplacedInstance();
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "velmora");
  if (mutex == nullptr) return 0;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return 0;
  }

  const int exitCode = RunForms(instance);
  CloseHandle(mutex);
  return exitCode;
}
