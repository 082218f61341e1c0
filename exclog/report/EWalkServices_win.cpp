// The internal-error reporter's and the report steps' stack services, taken from
// the call-stack walker.
#include "exclog/report/EInternalError_win.h"
#include "exclog/report/EPlatform_win.h"
#include "exclog/report/EReportSteps.h"
#include "exclog/debuginfo/EStackWalk_win.h"

#include <algorithm>

#include "exclog/core/ECore_win.h"

namespace exclog {

namespace {

TCodeLocation ToCodeLocation(const TQuelbaLocation& l) {
  TCodeLocation c;
  c.Address = l.Address;
  if (l.Module) {
    c.Module = l.Module->Handle;
    c.ModuleName = l.Module->FileName;
  }
  c.UnitName = l.UnitName;
  c.ClassName = l.ClassName;
  c.ProcedureName = l.RoutineName;
  c.Line = l.Line;
  c.LineOffset = l.LineOffset;
  return c;
}

TCodeLocation LocateThroughWalker(uintptr_t address) {
  TQuelbaLocation record;
  GetLocation(static_cast<uint32_t>(address), 0, record, false, 0);
  TCodeLocation location = ToCodeLocation(record);
  location.Address = address;
  return location;
}

TWalkOptions EveryKnownKind() {
  TWalkOptions options;
  options.Accepted = KindBit(1) | KindBit(2) | KindBit(3) | KindBit(4);
  return options;
}

std::vector<TCodeLocation> WalkCurrentStack() {
  std::vector<TCodeLocation> stack;
  std::unique_ptr<TQuelbaStackList> list = BuildStackList(
      0, static_cast<uint32_t>(CurrentFrameAddress()), static_cast<uint32_t>(StackTop()), EveryKnownKind());
  for (int i = 0; list && i < list->Count(); ++i) stack.push_back(ToCodeLocation(*list->Get(i)));
  return stack;
}

void WalkThreadStack(TQuelbaStackList& list, const TThreadStackStart& thread, uintptr_t start) {
  if (!thread.StackTop || thread.StackTop <= thread.StackPointer) return;
  TWalkOptions options = EveryKnownKind();
  options.MarkFirst = thread.Raising;
  options.ThreadKind = 1;  // every walked thread was running when the exception came
  options.ThreadId = thread.ThreadId;
  options.ThreadPriority = thread.Priority;
  // Where our own frames are intact, the frame chain tells running calls from
  // stale return addresses.
  options.FramePointer = static_cast<uint32_t>(thread.FramePointer);
  options.InFramedRoutine = &InFramedOwnRoutine;
  std::unique_ptr<TQuelbaStackList> walked;
  if (thread.StackCopy) {
    // The thread runs on: only what was copied is its stack at the time.
    uintptr_t end = thread.StackPointer + std::min<uintptr_t>(thread.StackCopySize, thread.StackTop - thread.StackPointer);
    TOverlayMemory stack(ProcessMemory(), thread.StackPointer, thread.StackCopy, thread.StackCopySize);
    walked = BuildStackList(static_cast<uint32_t>(start), static_cast<uint32_t>(thread.StackPointer),
                            static_cast<uint32_t>(end), options, stack);
  } else {
    walked = BuildStackList(static_cast<uint32_t>(start), static_cast<uint32_t>(thread.StackPointer),
                            static_cast<uint32_t>(thread.StackTop), options);
  }
  while (walked && walked->Count() > 0) {
    auto* entry = static_cast<TQuelbaLocation*>(walked->Extract(walked->Get(0)));
    list.Add(entry);
  }
}

}  // namespace

void InstallStackWalkServices() {
  InternalErrorSeams().Locate = &LocateThroughWalker;
  InternalErrorSeams().CurrentStack = &WalkCurrentStack;
  SetThreadStackWalker(&WalkThreadStack);
}

}  // namespace exclog
