#pragma once
// The report text of the running process: one snapshot of everything the report
// shows (clock, options, texts, system values, call stacks with their threads'
// captions, module and process records, registers and the two memory blocks), then
// the pure builder of EReportText.h.
#include <cstdint>
#include <string>
#include <vector>

#include "exclog/core/EOptions.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/report/EReportText.h"

namespace exclog {

// The thread the process started on: its captions read "[Main]". The start-up sets
// it; 0 until then.
void SetReportMainThreadId(uint32_t threadId);

// The class name of a thread's object ("" for a thread of no class), for the
// call-stack captions. The thread records live above the report: their unit fills
// this at start-up; until then every thread reads "".
using TThreadClassNameProc = std::string (*)(uint32_t threadId);
TThreadClassNameProc SetReportThreadClassSeam(TThreadClassNameProc proc);

// The process's module and process records as the report's rows, copied under
// their lists' locks (as the lists stand: no refresh).
std::vector<TReportModuleRow> ModuleRows();
std::vector<TReportProcessRow> ProcessRows();

// The priority word of a thread priority value ("Normal", "Idle", ...; "" for one
// the system does not name).
std::string ThreadPriorityWord(int priority);

// Everything the report of `job` reads, copied once. `windowed`: an ordinary
// windowed program (the active-control fields are shown only there).
TReportSnapshot TakeReportSnapshot(const TReportJob& job, const TQuelbaModuleOptions& options, bool windowed);

// The whole report of `job`, its identification taken from job.StackId.
std::string BuildProcessReport(const TReportJob& job, const TQuelbaModuleOptions& options, bool windowed);

}  // namespace exclog
