#pragma once
// Test helpers: a form class of its own name and the layout of a 320 x 240 form with
// one button, for GUI tests that skin a class-library form; a dialog of the system's
// class from an in-memory template.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>

#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"

namespace skintest {

class TSkinTestForm : public TForm {
  VELMORA_CLASS(TSkinTestForm, TForm)
 public:
  explicit TSkinTestForm(TComponent* owner = nullptr) : TForm(owner) {}
};

inline constexpr const char* kSkinTestFormLayout = R"(object SkinTestForm: TSkinTestForm
  Caption = ""
  Left = 60
  Top = 60
  Width = 320
  Height = 240
  object Button1: TButton
    Left = 8
    Top = 8
    Width = 80
    Height = 25
    Caption = "OK"
  end
end
)";

// Makes the class known to layouts (once per program).
inline void RegisterSkinTestForm() {
  static const bool registered = (RegisterControlClass(TSkinTestForm::StaticClass()), true);
  (void)registered;
}

// An MDI frame at (40, 40), 400 x 300, made the main form (MDI children live in the
// main form), and one 200 x 150 child shown in it.
struct TMdiForms {
  std::unique_ptr<TForm> Frame, Child;
};
inline TMdiForms MakeMdiForms() {
  TMdiForms mdi;
  mdi.Frame = std::make_unique<TForm>();
  mdi.Frame->SetFormStyle(TFormStyle::fsMDIForm);
  mdi.Frame->SetBounds(40, 40, 400, 300);
  mdi.Frame->Show();
  Application->SetMainForm(mdi.Frame.get());
  mdi.Child = std::make_unique<TForm>();
  mdi.Child->SetFormStyle(TFormStyle::fsMDIChild);
  mdi.Child->SetBounds(0, 0, 200, 150);
  mdi.Child->Show();
  return mdi;
}

inline INT_PTR CALLBACK TestDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A visible modal-frame dialog of class "#32770" titled `title` at (x, y), cx x cy
// dialog units, with one static text "A" (id 100) at (5, 5) of childCx x childCy.
inline HWND MakeTestDialog(const std::string& title, short x, short y, short cx, short cy, short childCx,
                           short childCy) {
  alignas(4) static WORD t[256];
  std::fill(std::begin(t), std::end(t), 0);
  auto* dlg = reinterpret_cast<DLGTEMPLATE*>(t);
  dlg->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  dlg->cdit = 1;
  dlg->x = x;
  dlg->y = y;
  dlg->cx = cx;
  dlg->cy = cy;
  WORD* p = t + sizeof(DLGTEMPLATE) / 2;
  *p++ = 0;  // no menu
  *p++ = 0;  // default class
  for (size_t i = 0; i < title.size() && i < 100; ++i) *p++ = static_cast<unsigned char>(title[i]);
  *p++ = 0;
  p = reinterpret_cast<WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
  auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(p);
  item->style = WS_CHILD | WS_VISIBLE | SS_LEFT;
  item->x = item->y = 5;
  item->cx = childCx;
  item->cy = childCy;
  item->id = 100;
  p = reinterpret_cast<WORD*>(item + 1);
  *p++ = 0xFFFF;
  *p++ = 0x0082;  // STATIC
  *p++ = L'A';
  *p++ = 0;
  *p++ = 0;  // no creation data
  return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dlg, nullptr, TestDialogProc, 0);
}

}  // namespace skintest
