#include "exclog/report/EReportSteps.h"

#include <atomic>
#include <mutex>

namespace exclog {

namespace {
std::atomic<TThreadStackWalker> threadStackWalker{nullptr};
std::atomic<TActionNotifier> actionNotifier{nullptr};
std::mutex actionsLock;
std::vector<int>& Actions() {
  static auto* actions = new std::vector<int>;
  return *actions;
}
}  // namespace

TThreadStackWalker SetThreadStackWalker(TThreadStackWalker walker) { return threadStackWalker.exchange(walker); }

bool AddThreadStack(TQuelbaStackList& list, const TThreadStackStart& thread) {
  TThreadStackWalker walker = threadStackWalker.load();
  if (!thread.StackPointer || !walker) return false;
  walker(list, thread, thread.Raising ? thread.InstructionPointer : thread.InstructionPointer - 1);
  return true;
}

TActionNotifier SetActionNotifier(TActionNotifier notifier) { return actionNotifier.exchange(notifier); }

bool NotifyAction(int action, bool error) {
  if (TActionNotifier notifier = actionNotifier.load()) return notifier(action, error);
  std::lock_guard<std::mutex> lock(actionsLock);
  Actions().push_back(error ? -action : action);
  return false;
}

std::vector<int> NotifiedActions() {
  std::lock_guard<std::mutex> lock(actionsLock);
  return Actions();
}

int PurgeChangedModules(TQuelbaModulesList& list, TDateTime (*fileDate)(const std::string& fileName)) {
  TCriticalSectionLock hold(list.Section());
  int removed = 0;
  for (int i = list.Count() - 1; i >= 0; --i) {
    TQuelbaModuleInfo* record = list.Get(i);
    if (record && fileDate(record->FileName) != record->LastModified) {
      list.Delete(i);  // the lock is re-entrant
      ++removed;
    }
  }
  return removed;
}

void ClearNotifiedActions() {
  std::lock_guard<std::mutex> lock(actionsLock);
  Actions().clear();
}

}  // namespace exclog
