#pragma once
// The class library's TApplication::HandleException and ShowException, patched so
// that an exception the message loop catches is offered to the logger first; the
// originals run (through their trampolines) only when the logger says so.
namespace exclog {

// Puts the replacements in front of both members (inline hooks kept by the hook
// engine, whose stop undoes them; a second call keeps the first patches). Returns
// how many are patched.
int PatchApplicationHandlers(void* handleException, void* showException);

// -1 while the original HandleException runs, else 0.
int InsideHandleException();

}  // namespace exclog
