#include "skin/painters/SkinSubclass_win.h"

#include <cstring>

namespace skin {

// ---------------------------------------------------------------------------
// Window subclass. Each subclass gets a tiny executable entry that inserts its
// record as the first argument and jumps to one shared procedure:
//   pop eax; push record; push eax; jmp SubclassEntry
// The record outlives the subclass when a later one sits on top of it.

struct TWindowSubclass::TRecord {
  uint8_t Code[16];
  HWND Window = nullptr;
  WNDPROC Old = nullptr;
  bool Unicode = false;
  TSubclassHandler Handler = nullptr;  // null: pass-through only
  void* Context = nullptr;
  int Depth = 0;         // calls of this record under way
  bool Restored = false; // the window has its old procedure back: free when idle
};

namespace {

HANDLE CodeHeap() {
  static HANDLE heap = HeapCreate(HEAP_CREATE_ENABLE_EXECUTE, 0, 0);
  return heap;
}

LRESULT CallProc(const TWindowSubclass::TRecord& r, UINT message, WPARAM wParam, LPARAM lParam) {
  return r.Unicode ? CallWindowProcW(r.Old, r.Window, message, wParam, lParam)
                   : CallWindowProcA(r.Old, r.Window, message, wParam, lParam);
}

void FreeRecord(TWindowSubclass::TRecord* r) {
  r->~TRecord();
  HeapFree(CodeHeap(), 0, r);
}

LRESULT __stdcall SubclassEntry(TWindowSubclass::TRecord* r, HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  LRESULT result = 0;
  ++r->Depth;
  if (r->Handler) {
    TMessage m{message, wParam, lParam, 0};
    try {
      r->Handler(r->Context, m);
    } catch (...) {
      HandleControlException(nullptr);
    }
    result = m.Result;
  } else {
    result = CallProc(*r, message, wParam, lParam);
  }
  --r->Depth;
  // A pass-through left behind lives as long as the window; a restored record goes
  // once nobody runs inside it.
  const bool windowGone = message == WM_NCDESTROY && !r->Handler;
  if (r->Depth == 0 && (r->Restored || windowGone)) FreeRecord(r);
  return result;
}

}  // namespace

WNDPROC GetWindowProc(HWND window) {
  return reinterpret_cast<WNDPROC>(IsWindowUnicode(window) ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                                           : GetWindowLongPtrA(window, GWLP_WNDPROC));
}

WNDPROC SetWindowProc(HWND window, WNDPROC proc) {
  const LONG_PTR value = reinterpret_cast<LONG_PTR>(proc);
  return reinterpret_cast<WNDPROC>(IsWindowUnicode(window) ? SetWindowLongPtrW(window, GWLP_WNDPROC, value)
                                                           : SetWindowLongPtrA(window, GWLP_WNDPROC, value));
}

bool TWindowSubclass::Install(HWND window, TSubclassHandler handler, void* context) {
  if (record_ || !window || !IsWindow(window) || !CodeHeap()) return false;
  void* memory = HeapAlloc(CodeHeap(), 0, sizeof(TRecord));
  if (!memory) return false;
  auto* r = new (memory) TRecord;
  uint8_t* c = r->Code;
  const auto recordAddress = reinterpret_cast<uint32_t>(r);
  const auto target = reinterpret_cast<uint32_t>(&SubclassEntry);
  c[0] = 0x58;  // pop eax
  c[1] = 0x68;  // push imm32
  std::memcpy(c + 2, &recordAddress, 4);
  c[6] = 0x50;  // push eax
  c[7] = 0xE9;  // jmp rel32
  const uint32_t rel = target - (reinterpret_cast<uint32_t>(c) + 12);
  std::memcpy(c + 8, &rel, 4);
  FlushInstructionCache(GetCurrentProcess(), c, sizeof r->Code);
  r->Window = window;
  r->Unicode = IsWindowUnicode(window) != FALSE;
  r->Handler = handler;
  r->Context = context;
  SetLastError(0);
  r->Old = SetWindowProc(window, reinterpret_cast<WNDPROC>(static_cast<void*>(r->Code)));
  if (!r->Old && GetLastError() != 0) {
    FreeRecord(r);
    return false;
  }
  record_ = r;
  return true;
}

void TWindowSubclass::Remove() {
  TRecord* r = record_;
  if (!r) return;
  record_ = nullptr;
  r->Handler = nullptr;
  r->Context = nullptr;
  if (IsWindow(r->Window) && Current_(r)) {
    SetWindowProc(r->Window, r->Old);
    r->Restored = true;
  } else if (!IsWindow(r->Window)) {
    r->Restored = true;  // nothing can call it any more
  }
  if (r->Restored && r->Depth == 0) FreeRecord(r);
}

bool TWindowSubclass::Current_(const TRecord* r) {
  return GetWindowProc(r->Window) == reinterpret_cast<WNDPROC>(const_cast<uint8_t*>(r->Code));
}

LRESULT TWindowSubclass::CallOld(UINT message, WPARAM wParam, LPARAM lParam) const {
  return record_ ? CallProc(*record_, message, wParam, lParam) : 0;
}

HWND TWindowSubclass::Window() const { return record_ ? record_->Window : nullptr; }
bool TWindowSubclass::Unicode() const { return record_ && record_->Unicode; }
WNDPROC TWindowSubclass::OldProc() const { return record_ ? record_->Old : nullptr; }
WNDPROC TWindowSubclass::Instance() const {
  return record_ ? reinterpret_cast<WNDPROC>(static_cast<void*>(record_->Code)) : nullptr;
}
bool TWindowSubclass::Current() const { return record_ && Current_(record_); }

// ---------------------------------------------------------------------------
// Control WindowProc hook. The entry is an object of its own so that it can stay
// behind, owned by the control, as a pass-through.

class TControlProcEntry : public TComponent {
  VELMORA_CLASS(TControlProcEntry, TComponent)
 public:
  TControl* Target = nullptr;
  TWndMethod Saved;
  TSubclassHandler Handler = nullptr;
  void* Context = nullptr;

  void Dispatch(TMessage& message) {
    if (Handler)
      Handler(Context, message);
    else
      Saved(message);
  }
  TWndMethod Method() { return TWndMethod::Of<&TControlProcEntry::Dispatch>(this); }
  bool Current() { return Target->WindowProc.AsMethod() == Method().AsMethod(); }
};

bool TControlProcHook::Install(TControl* control, TSubclassHandler handler, void* context) {
  if (entry_ || !control) return false;
  auto* e = new TControlProcEntry;
  e->Target = control;
  e->Saved = control->WindowProc;
  e->Handler = handler;
  e->Context = context;
  control->WindowProc = e->Method();
  entry_ = e;
  return true;
}

void TControlProcHook::Remove() {
  TControlProcEntry* e = entry_;
  if (!e) return;
  entry_ = nullptr;
  if (e->Current()) {
    e->Target->WindowProc = e->Saved;
    delete e;
    return;
  }
  // Someone chained in front of us holds our entry: it stays, passing through, and
  // goes with the control.
  e->Handler = nullptr;
  e->Context = nullptr;
  e->Target->InsertComponent(e);
}

void TControlProcHook::CallOld(TMessage& message) const {
  if (entry_) entry_->Saved(message);
}

bool TControlProcHook::Current() const { return entry_ && entry_->Current(); }
TControl* TControlProcHook::Control() const { return entry_ ? entry_->Target : nullptr; }

}  // namespace skin
