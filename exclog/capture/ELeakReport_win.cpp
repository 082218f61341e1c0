#include "exclog/capture/ELeakReport_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "classlib/System.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/core/EConsts.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "exclog/leaks/ELeakErrors.h"
#include "exclog/leaks/ELeakUnit_win.h"
#include "exclog/leaks/ELeaks.h"

namespace exclog {

namespace {

// "Classes"' stop as registered, before the stop column was reordered.
TUnitProc classesStop = nullptr;
std::mutex intakeLock;
std::shared_ptr<TQuelbaStackList> intake;      // filled leak by leak
std::shared_ptr<TQuelbaStackList> reporting;   // the list of the report running
TLeakTotals totals;
uint32_t reportAddress = 0;                    // the first leak's allocating line

TQuelbaModuleOptionsEx* ProgramOptions() {
  TModuleRef module = FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  return module ? module->Options.get() : nullptr;
}

std::string ProgramText(int index) {
  TQuelbaModuleOptionsEx* options = ProgramOptions();
  return options ? options->Text(index) : std::string(DefaultText(index));
}

bool CarriesLines(const TModuleRef& module) { return module && (module->DebugData || module->DebugSource); }

// Re-starts one of the class library's units by name; a failure shows its box.
void RestartUnit(const char* name, const char* failure) {
  int slot = FindUnit(name);
  if (slot < 0) return;
  try {
    if (TUnitProc start = InitContext.Table->Units[slot].Init) start();
  } catch (...) {
    ShowLeakMessage(failure);
  }
}

// Leak time, step 1: what the report needs, back after every unit stopped.
void LeakTimeBegin() {
  RestartUnit("SysUtils", "Error in SysUtils Initialization.");
  RestartUnit("Classes", "Error in Classes Initialization.");
  SetLoggerActive(true);
  SetLoggerEnabled(true);
  SetLeakReportMode(false);
  const std::string file = LeakOptionsFileName();
  if (TQuelbaModuleOptionsEx* options = ProgramOptions(); options && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    try {
      options->LoadFromFile(file);
    } catch (...) {
    }
  }
  std::lock_guard<std::mutex> lock(intakeLock);
  intake = std::make_shared<TQuelbaStackList>();
  totals.Bytes = 0;
  totals.Blocks = 0;
  reportAddress = 0;
}

// Step 2: one leak's rows. A leak whose first row lies in a module without debug
// information is left out: nothing in it could lead a developer to the line.
void LeakIntake(const TLeakEntry& leak) {
  std::vector<TQuelbaLocation*> rows;
  for (int i = 0; i < kLeakStackDepth && leak.Stack[i]; ++i) {
    auto* row = new TQuelbaLocation;
    GetLocation(static_cast<uint32_t>(leak.Stack[i]), 0, *row, i == 0, 0);
    row->Leak = 1;
    row->LeakType.assign(leak.TypeName, std::min<size_t>(std::char_traits<char>::length(leak.TypeName), 64));
    row->LeakSize = static_cast<uint32_t>(std::min<uint64_t>(leak.Size, UINT32_MAX));
    row->LeakCount = leak.Count;
    rows.push_back(row);
  }
  std::lock_guard<std::mutex> lock(intakeLock);
  if (rows.empty() || !CarriesLines(rows[0]->Module) || !intake) {
    for (TQuelbaLocation* row : rows) delete row;
    return;
  }
  if (!reportAddress) reportAddress = rows[0]->Address;
  for (TQuelbaLocation* row : rows) intake->Add(row);
  totals.Bytes += leak.Size;
  totals.Blocks += leak.Count;
}

// Step 3: the leaks as one handled report, then the logger down again and
// "Classes" stopped once more.
void LeakTimeEnd() {
  std::shared_ptr<TQuelbaStackList> list;
  TLeakTotals counted;
  {
    std::lock_guard<std::mutex> lock(intakeLock);
    list = std::move(intake);
    counted = totals;
  }
  if (LoggerEnabled() && counted.Blocks > 0 && list && list->Count() > 0) {
    // Every window of the program is gone by now: the report takes no screen shot,
    // so the dialog offers none to attach.
    SetLeakReportMode(true);
    if (TQuelbaModuleOptionsEx* options = ProgramOptions())
      options->SetDialogFlags(static_cast<uint16_t>(options->DialogFlags() & ~DialogShowScreenshot));
    try {
      std::string message = ProgramText(105) + ": " + ProgramText(108) + "=" + std::to_string(counted.Bytes) +
                             " - " + ProgramText(109) + "=" + std::to_string(counted.Blocks);
      EMemoryLeak leak(message);
      TDispatchRequest request;
      TLoggedException& e = request.Exception;
      e.ClassName = "EMemoryLeak";
      e.Message = message;
      e.Object = &leak;
      e.Address = reportAddress;
      e.ThreadId = GetCurrentThreadId();
      e.Module = GetModuleHandleA(nullptr);
      e.MemoryLeak = true;
      request.HandledReport = true;
      {
        std::lock_guard<std::mutex> lock(intakeLock);
        reporting = list;
        ++totals.Reported;
      }
      Dispatch(request);
    } catch (const std::exception& x) {
      ReportInternalError(std::string("Internal_ShowLeaks: ") + x.what());
    } catch (...) {
      ReportInternalError("Internal_ShowLeaks: General internal error.");
    }
  }
  SetLeakReportMode(false);
  {
    std::lock_guard<std::mutex> lock(intakeLock);
    reporting.reset();
  }
  list.reset();
  SetLoggerEnabled(false);
  SetLoggerActive(false);
  try {
    if (classesStop) classesStop();
  } catch (...) {
    ShowLeakMessage("Error in Internal_ShowLeaks Finalization.");
  }
}

void LeakTimeFinished() { DeleteFileA(LeakOptionsFileName().c_str()); }

// An overrun or a second free, found inside a free: reported where the free was
// called, never thrown.
void ReportBlockError(TLeakError error, void*, void* caller) {
  if (!LoggerActive() || !LoggerEnabled()) return;
  const bool overrun = error == TLeakError::Overrun;
  const std::string text = ProgramText(overrun ? 155 : 154);
  std::unique_ptr<Exception> object;
  if (overrun)
    object = std::make_unique<EMemoryOverrun>(text);
  else
    object = std::make_unique<EMultiFree>(text);
  TLoggedException e;
  e.ClassName = overrun ? "EMemoryOverrun" : "EMultiFree";
  e.Message = text;
  e.Object = object.get();
  e.Address = reinterpret_cast<uintptr_t>(caller);
  e.ThreadId = GetCurrentThreadId();
  e.Module = GetModuleHandleA(nullptr);
  ExceptionManager(e);
}

}  // namespace

std::string LeakOptionsFileName() {
  char folder[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(MAX_PATH, folder);
  char name[32];
  std::snprintf(name, sizeof name, "ELeaks%.8lX.tmp", GetCurrentProcessId());
  return std::string(folder, length) + name;
}

void InstallLeakReportSeam() {
  int slot = FindUnit("Classes");
  classesStop = slot >= 0 ? InitContext.Table->Units[slot].Fini : nullptr;
  TLeakLoggerSeam seam;
  seam.Begin = &LeakTimeBegin;
  seam.Leak = &LeakIntake;
  seam.End = &LeakTimeEnd;
  seam.OnError = &ReportBlockError;
  seam.Finished = &LeakTimeFinished;
  SetLeakLoggerSeam(seam);
}

void SaveLeakTimeOptions() {
  if (!LeakCatchingActive()) return;
  if (TQuelbaModuleOptionsEx* options = ProgramOptions()) {
    try {
      options->SaveToFile(LeakOptionsFileName());
    } catch (...) {
    }
  }
}

std::shared_ptr<TQuelbaStackList> LeakReportStacks() {
  std::lock_guard<std::mutex> lock(intakeLock);
  return reporting;
}

TLeakTotals LeakReportTotals() {
  std::lock_guard<std::mutex> lock(intakeLock);
  return totals;
}

}  // namespace exclog
