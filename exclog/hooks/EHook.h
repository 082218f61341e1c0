#pragma once
// The logger's hook engine: patched import slots, inline hooks with trampolines and
// patched method-table slots, each recorded and undone when the unit stops. Every
// write into code or tables goes through WriteCode (protection lifted, write,
// protection restored, instruction cache flushed).
//
// The routines are implemented for Windows (EHook_win.cpp); this header names no
// Windows type, so module handles and addresses are plain pointers.
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"

namespace exclog {

VELMORA_EXCEPTION(EHookError, Exception)
VELMORA_EXCEPTION(EProcNull, EHookError)      // the routine to hook is null
VELMORA_EXCEPTION(EHookingError, EHookError)  // the patch could not be made
VELMORA_EXCEPTION(ESharedArea, EHookError)    // module in the shared area (not NT)

// The messages of the three errors, `name` being the routine's or module's name.
std::string ProcNullMessage(const std::string& name);
std::string HookingErrorMessage(const std::string& name);
std::string SharedAreaMessage(const std::string& name);

// The platform family as the system reports it: 2 for NT, 1 for the older family.
// Tests set it to reach the older family's branches.
int Win32Platform();
void SetWin32Platform(int platform);

// Copies `count` bytes over code or tables at `destination`. Returns false, having
// written nothing, when the protection could not be lifted.
bool WriteCode(void* destination, const void* source, size_t count);

// Writes E9 and the displacement target - at - 5 at `at` through WriteCode.
bool WriteJump(void* at, const void* target);

// Replaces, in the import address table of `module`, every slot of the imports from
// `dllName` that holds `routine` with `replacement`, recording each unless
// `doNotRecord`. Returns `routine` when a slot was replaced, else null.
// Raises EProcNull for a null routine, ESharedArea for a module in the shared area
// (older family), EHookingError for a module without PE headers, when no slot was
// found or a slot could not be written; with `silent` the last three return null
// instead (slots already written stay written and recorded).
void* HookImport(void* module, const std::string& dllName, void* routine, bool doNotRecord,
                 bool silent, const std::string& displayName, void* replacement);

// Hooks `routineName` of `dllName` in each module of `modules` that is loaded (empty
// names and modules not loaded are skipped). `original` receives the routine's address
// as the DLL exports it, hooked or not. Returns true when at least one module was
// patched. Raises as HookImport for the first module that fails, unless `silent`.
bool HookImportInModules(const std::vector<std::string>& modules, const std::string& dllName,
                         bool silent, void*& original, const std::string& routineName,
                         void* replacement);

// Puts a jump to `replacement` over the start of `routine` (indirect-jump thunks
// followed) and returns the trampoline through which the original behaviour is
// reached; the same trampoline again when the routine is hooked already. Raises
// EProcNull, ESharedArea (older family) or EHookingError (the engine not started, the
// first instructions cannot be moved, or the code cannot be written).
void* HookRoutine(void* routine, void* replacement, const std::string& displayName);

// Undoes the inline hook whose routine or trampoline is `address`. False when there
// is none, or when the original bytes could not be written back (the trampoline then
// stays allocated, as code may still run through it).
bool UnhookRoutine(void* address);

// Stores `newValue` in slot `index` of the table at `table` and returns the value it
// replaced; asked again for the same slot, returns the recorded original without a
// second patch. Returns 0 when the engine is not started. Raises EHookingError when
// the slot is not readable memory, when it already holds `newValue` without a record,
// or when it cannot be written.
uintptr_t HookMethodSlot(void* table, int index, uintptr_t newValue);

// Writes the recorded original back into the slot; false when there is no record.
bool UnhookMethodSlot(void* table, int index);

// Routine size (see RoutineSize) over live code: `limit` is further cut to what is
// readable from `start`.
uint32_t RoutineSizeAt(const void* start, uint32_t limit);

// The module's file name (at most 260 characters); "" when unknown.
std::string ModuleFileName(void* module);

// Unit start and stop of the engine, through the logger's guarded runner under the
// names "EHook.Init" and "EHook.Done". Counted: only the first start and the last
// stop act. The stop undoes the recorded import patches (in record order), then the
// method slots, then the inline hooks (last first).
void HookUnitInit();
void HookUnitDone();
bool HookUnitStarted();

// Numbers of recorded patches, for checks.
int HookedImportCount();
int HookedRoutineCount();
int HookedMethodCount();

}  // namespace exclog
