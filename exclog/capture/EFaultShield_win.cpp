#include "exclog/capture/EFaultShield_win.h"

#include <cstring>
#include <exception>

#include "classlib/SysUtils.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

namespace {

thread_local int shieldDepth = 0;

// An exception registration record of the thread's chain, with the place to resume
// at and the record of the exception that ended the routine.
struct TShieldFrame {
  TShieldFrame* Next;
  void* Handler;
  void* Resume[5];  // __builtin_setjmp's buffer
  EXCEPTION_RECORD Record;
};

extern "C" EXCEPTION_DISPOSITION __cdecl ShieldHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (record->ExceptionCode == ThreadNamingException) return ExceptionContinueExecution;
  auto* shield = static_cast<TShieldFrame*>(frame);
  std::memcpy(&shield->Record, record, sizeof shield->Record);
  __builtin_longjmp(shield->Resume, 1);
}

TShieldFrame* FrameChain() {
  TShieldFrame* chain;
  asm volatile("movl %%fs:0, %0" : "=r"(chain));
  return chain;
}

void SetFrameChain(TShieldFrame* chain) { asm volatile("movl %0, %%fs:0" : : "r"(chain) : "memory"); }

enum class TOutcome { Done, Fault, Cpp };

// Kept apart so that the jump back lands in a frame of its own.
__attribute__((noinline)) TOutcome RunInFrame(TShieldFrame& frame, void (*routine)(void*), void* data,
                                              std::string& cppText) {
  if (__builtin_setjmp(frame.Resume)) return TOutcome::Fault;
  try {
    routine(data);
    return TOutcome::Done;
  } catch (const Exception& e) {
    cppText = std::string(e.ClassName()) + ": " + e.Message();
  } catch (const std::exception& e) {
    cppText = e.what();
  } catch (...) {
    cppText = "General internal error.";
  }
  return TOutcome::Cpp;
}

}  // namespace

bool RunShielded(void (*routine)(void*), void* data, TShieldFault* fault) {
  TShieldFrame frame{};
  frame.Next = FrameChain();
  frame.Handler = reinterpret_cast<void*>(&ShieldHandler);
  SetFrameChain(&frame);
  ++shieldDepth;
  std::string cppText;
  TOutcome outcome = RunInFrame(frame, routine, data, cppText);
  --shieldDepth;
  // After a fault the chain still holds the system dispatcher's records: ours goes too.
  SetFrameChain(frame.Next);
  if (outcome == TOutcome::Done) return true;
  if (fault) {
    *fault = TShieldFault{};
    if (outcome == TOutcome::Cpp) {
      fault->Text = cppText;
    } else {
      fault->Code = frame.Record.ExceptionCode;
      fault->Address = reinterpret_cast<uintptr_t>(frame.Record.ExceptionAddress);
      try {
        const EXCEPTION_RECORD& r = frame.Record;
        bool access = r.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r.NumberParameters >= 2;
        fault->Text = ExternalExceptionClass(r.ExceptionCode) + ": " +
                      ExternalExceptionText(r.ExceptionCode, fault->Address, access,
                                            access ? static_cast<uint32_t>(r.ExceptionInformation[0]) : 0,
                                            access ? r.ExceptionInformation[1] : 0);
      } catch (...) {
        fault->Text = "System exception.";
      }
    }
  }
  return false;
}

bool InsideShield() { return shieldDepth > 0; }

}  // namespace exclog
