// A storm of faults: access violations and throws from threads, ExceptionManager
// calls from the main thread and faults inside the report handler, each carrying an
// id. Every id reaches the handler exactly once, every thread ends, and every fault
// of the handler reaches the internal-error reporter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/report/EInternalError_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/ExceptionLog.h"

namespace startup_test {
namespace {

constexpr int StormSize = 1000;
// A hang deadline, not a speed bound: on a loaded machine a thousand faults can
// take minutes, and only a thread that never ends is a fault here.
constexpr DWORD StormDeadlineMs = 360000;

std::mutex stormLock;
std::vector<int> handled(StormSize);
std::map<DWORD, int> idOfThread;  // raising thread -> the id it carries
int unknownReports = 0;
int boxes = 0;

// Kinds, by id modulo 4.
enum TKind { FaultInThread, ThrowInThread, ManagerCall, HandlerFault };

int IdOf(const exclog::TReportJob& job) {
  std::lock_guard<std::mutex> lock(stormLock);
  const std::string& m = job.Exception.Message;
  if (m.rfind("storm ", 0) == 0) return std::atoi(m.c_str() + 6);
  auto it = idOfThread.find(job.RaisingThreadId);
  return it == idOfThread.end() ? -1 : it->second;
}

std::string StormReport(const exclog::TReportJob& job) {
  int id = IdOf(job);
  {
    std::lock_guard<std::mutex> lock(stormLock);
    if (id >= 0 && id < StormSize)
      ++handled[id];
    else
      ++unknownReports;
  }
  if (id % 4 == HandlerFault) throw EConvertError("handler fault " + std::to_string(id));
  return "storm report";
}

exclog::TDialogAnswer NoDialog(const exclog::TReportJob&, const std::string&) { return exclog::TDialogAnswer::Close; }

int AnswerNo(HWND, const std::string&, const std::string&, UINT) {
  std::lock_guard<std::mutex> lock(stormLock);
  ++boxes;
  return IDNO;
}

DWORD WINAPI Fault(LPVOID parameter) {
  {
    std::lock_guard<std::mutex> lock(stormLock);
    idOfThread[GetCurrentThreadId()] = static_cast<int>(reinterpret_cast<uintptr_t>(parameter));
  }
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1;
  return 0;
}

DWORD WINAPI Throw(LPVOID parameter) {
  throw EListError("storm " + std::to_string(reinterpret_cast<uintptr_t>(parameter)));
}

void CallManager(int id) {
  try {
    throw EConvertError("storm " + std::to_string(id));
  } catch (...) {
    exclog::ExceptionManager(exclog::CurrentCppException(0));
  }
}

TEST(Storm, EveryInjectedFaultIsDispatchedOnce) {
  exclog::TReportHandlerSeams& seams = exclog::ReportHandlerSeams();
  seams.BuildReport = &StormReport;
  seams.ShowDialog = &NoDialog;
  // The storm is about dispatch: a screen shot for each of its thousand reports
  // would make it a test of the screen capture under load.
  seams.TakeScreenshot = nullptr;
  seams.SaveScreenshot = nullptr;
  exclog::TMessageBoxProvider previousBox = exclog::SetMessageBoxProvider(&AnswerNo);
  size_t internalBefore = exclog::InternalErrorTexts().size();
  int dispatchesBefore = exclog::DispatchCount();
  int handlersBefore = exclog::MainHandlerCount();
  int startBlocksBefore = exclog::ThreadStartBlocksHeld();
  DWORD start = GetTickCount();

  // Threads start in groups of eight while the main thread calls in between.
  std::vector<HANDLE> group;
  int hangs = 0, threads = 0;
  auto endGroup = [&] {
    for (HANDLE thread : group) {
      DWORD left = StormDeadlineMs - std::min<DWORD>(StormDeadlineMs, GetTickCount() - start);
      if (WaitForSingleObject(thread, left) != WAIT_OBJECT_0) ++hangs;
      CloseHandle(thread);
    }
    group.clear();
  };
  for (int id = 0; id < StormSize; ++id) {
    void* parameter = reinterpret_cast<void*>(static_cast<uintptr_t>(id));
    switch (id % 4) {
      case FaultInThread: group.push_back(CreateThread(nullptr, 0, &Fault, parameter, 0, nullptr)); break;
      case ThrowInThread: group.push_back(CreateThread(nullptr, 0, &Throw, parameter, 0, nullptr)); break;
      default: CallManager(id); break;
    }
    if (group.size() == 8) {
      threads += 8;
      endGroup();
    }
  }
  threads += static_cast<int>(group.size());
  endGroup();
  double seconds = (GetTickCount() - start) / 1000.0;
  std::printf("storm: %d faults (%d threads) in %.1f s\n", StormSize, threads, seconds);

  seams = exclog::TReportHandlerSeams{};
  exclog::SetMessageBoxProvider(previousBox);
  EXPECT_EQ(hangs, 0) << "threads still running " << StormDeadlineMs / 1000 << " s after the storm began";
  EXPECT_EQ(exclog::DispatchCount() - dispatchesBefore, StormSize);
  EXPECT_EQ(exclog::MainHandlerCount() - handlersBefore, StormSize);
  EXPECT_EQ(unknownReports, 0);
  // Nothing of a thread that ended in its fault stays behind, report after report.
  EXPECT_EQ(exclog::ThreadStartBlocksHeld(), startBlocksBefore);
  for (int id = 0; id < StormSize; ++id) EXPECT_EQ(handled[id], 1) << "id " << id;
  // Each fault of the handler, by its id, at the internal-error reporter.
  std::vector<std::string> internal = exclog::InternalErrorTexts();
  ASSERT_GE(internal.size(), internalBefore);
  std::vector<int> reported(StormSize);
  for (size_t i = internalBefore; i < internal.size(); ++i) {
    size_t at = internal[i].find("handler fault ");
    if (at != std::string::npos) ++reported[std::atoi(internal[i].c_str() + at + 14)];
  }
  for (int id = HandlerFault; id < StormSize; id += 4) EXPECT_EQ(reported[id], 1) << "id " << id;
  EXPECT_EQ(boxes, StormSize / 4);
}

}  // namespace
}  // namespace startup_test
