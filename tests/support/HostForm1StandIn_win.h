#pragma once
// Stands in for the host program's main window class with the handlers its layout
// names, so that test and benchmark programs can read Form1's layout. Include it in
// one source file of a program only (it registers the class's published methods).
#include "classlib/Forms_win.h"

namespace velmora::test {

class TForm1 : public TForm {
  VELMORA_CLASS(TForm1, TForm)
  VELMORA_PUBLISHED(TForm1)
 public:
  explicit TForm1(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject*) {}
  void RaiseItemClick(TObject*) {}
};

VELMORA_PUBLISH(TForm1) {
  p.Method<&TForm1::ExitItemClick>("ExitItemClick").Method<&TForm1::RaiseItemClick>("RaiseItemClick");
}

}  // namespace velmora::test
