#include "exclog/debuginfo/ELists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace exclog {
namespace {

int freedBlocks = 0;
void CountFree(void* block) {
  ++freedBlocks;
  delete static_cast<int*>(block);
}

TEST(EListsThreads, SearchesAddAndDelete) {
  TQuelbaThreadsList list;
  EXPECT_EQ(list.IndexOfThreadId(7), -1);
  EXPECT_FALSE(list.IsCopy());
  TQuelbaThreadInfo* a = list.AddNew(true);
  EXPECT_EQ(a->Value3, 0x80000000u);
  EXPECT_EQ(a->ThreadId, 0u);
  a->ThreadId = 7;
  a->ThreadHandle = 70;
  a->Value4 = 700;
  TQuelbaThreadInfo* b = list.AddNew(true);
  b->ThreadId = 8;
  b->ThreadHandle = 80;
  b->Value4 = 700;  // searches run from the last record
  EXPECT_EQ(list.IndexOfThreadId(7), 0);
  EXPECT_EQ(list.IndexOfHandle(80), 1);
  EXPECT_EQ(list.IndexOfValue4(700), 1);
  std::unique_ptr<TQuelbaThreadInfo> loose(list.AddNew(false));
  EXPECT_EQ(list.Count(), 2);
  list.DeleteCurrentThread(8);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.IndexOfThreadId(8), -1);
  EXPECT_THROW(list.Get(5), EListError);
}

TEST(EListsThreads, CopiesNeverFreeAttachedBlocks) {
  freedBlocks = 0;
  {
    TQuelbaThreadsList list;
    for (int i = 0; i < 3; ++i) {
      TQuelbaThreadInfo* r = list.AddNew(true);
      r->ThreadId = uint32_t(i + 1);
      r->Attached = new int(i);
      r->FreeAttached = CountFree;
    }
    list.Get(2)->Borrowed = 1;
    {
      TQuelbaThreadsList copy(list);
      EXPECT_TRUE(copy.IsCopy());
      ASSERT_EQ(copy.Count(), 3);
      EXPECT_EQ(copy.Get(1)->ThreadId, 2u);
      EXPECT_EQ(copy.Get(1)->Attached, list.Get(1)->Attached);
      copy.Delete(0);
      copy.Clear();
    }
    EXPECT_EQ(freedBlocks, 0);
    list.Delete(0);
    EXPECT_EQ(freedBlocks, 1);
    delete static_cast<int*>(list.Get(1)->Attached);  // borrowed: the list leaves it
  }
  EXPECT_EQ(freedBlocks, 2);
}

std::set<uint32_t> running;
bool StillRunning(uint32_t handle) { return running.count(handle) != 0; }

TEST(EListsThreads, RemoveEndedKeepsRunningThreads) {
  TQuelbaThreadsList list;
  for (uint32_t h : {10u, 11u, 12u, 13u}) list.AddNew(true)->ThreadHandle = h;
  running = {11, 13};
  list.RemoveEnded(StillRunning);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(0)->ThreadHandle, 11u);
  EXPECT_EQ(list.Get(1)->ThreadHandle, 13u);
  running.clear();
  list.RemoveEnded(StillRunning);
  EXPECT_EQ(list.Count(), 0);
}

int freedSources = 0;
TQuelbaModulesList* watchedList = nullptr;
bool lockHeldAtFree = false;
void FreeSource(void* source) {
  ++freedSources;
  delete static_cast<int*>(source);
  // Another thread can take the list's lock only when this thread does not hold it.
  if (watchedList) {
    bool taken = false;
    std::thread probe([&] {
      taken = watchedList->Section().TryEnter();
      if (taken) watchedList->Section().Leave();
    });
    probe.join();
    lockHeldAtFree = !taken;
  }
}

TQuelbaModuleInfo* NewModule(uintptr_t handle) {
  auto* m = new TQuelbaModuleInfo;
  m->Handle = handle;
  m->FileName = "C:\\m" + std::to_string(handle) + ".dll";
  m->DebugSource = new int(1);
  return m;
}

TEST(EListsModules, RecordsOutliveTheListWhileStackEntriesNameThem) {
  ModuleListSeams().FreeDebugSource = FreeSource;
  freedSources = 0;
  TQuelbaStackList stack;
  {
    TQuelbaModulesList modules;
    watchedList = &modules;
    modules.Add(NewModule(0x400000));
    modules.Add(NewModule(0x10000000));
    EXPECT_EQ(modules.IndexOfHandle(0x10000000), 1);
    EXPECT_EQ(modules.IndexOfHandle(0x1234), -1);
    auto* entry = new TQuelbaLocation;
    entry->Kind = 1;
    entry->Module = TModuleRef(modules.Get(1));
    stack.Add(entry);

    modules.Delete(0);  // no stack entry: freed at once, outside the lock
    EXPECT_EQ(freedSources, 1);
    EXPECT_FALSE(lockHeldAtFree);
    modules.Delete(0);  // still named by the stack
    EXPECT_EQ(freedSources, 1);
    EXPECT_EQ(modules.Count(), 0);
    watchedList = nullptr;
  }
  EXPECT_EQ(stack.Get(0)->Module->FileName, "C:\\m268435456.dll");
  stack.Clear();
  EXPECT_EQ(freedSources, 2);
  ModuleListSeams().FreeDebugSource = nullptr;
}

TEST(EListsModules, ClearFreesOutsideTheLock) {
  ModuleListSeams().FreeDebugSource = FreeSource;
  freedSources = 0;
  TQuelbaModulesList modules;
  watchedList = &modules;
  for (uintptr_t h = 1; h <= 3; ++h) modules.Add(NewModule(h));
  lockHeldAtFree = false;
  modules.Clear();
  EXPECT_EQ(freedSources, 3);
  EXPECT_FALSE(lockHeldAtFree);
  watchedList = nullptr;
  ModuleListSeams().FreeDebugSource = nullptr;
}

// Writers add and remove their own records while readers search: every search
// sees either nothing or a whole record, and all finish well within the bound.
TEST(EListsConcurrency, ReadersAndWritersFinishConsistently) {
  TQuelbaThreadsList threads;
  TQuelbaProcessesList processes;
  std::atomic<bool> bad{false};
  std::atomic<int> done{0};
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&, w] {
      for (int i = 0; i < 300; ++i) {
        uint32_t id = uint32_t(w * 100000 + i + 1);
        TQuelbaThreadInfo* r = threads.AddNew(false);
        r->ThreadId = id;
        r->ThreadHandle = id;
        r->Value4 = id * 2;
        threads.LockWrite();
        threads.TList::Add(r);
        threads.UnlockWrite();
        auto* p = new TQuelbaProcessInfo;
        p->ProcessId = id;
        processes.Add(p);
        threads.DeleteCurrentThread(id);
        processes.Lock();
        for (int k = processes.Count() - 1; k >= 0; --k)
          if (processes.Get(k)->ProcessId == id) {
            processes.Delete(k);
            break;
          }
        processes.Unlock();
      }
      ++done;
    });
  for (int r = 0; r < 3; ++r)
    workers.emplace_back([&] {
      while (done.load() < 4) {
        threads.LockRead();
        // Searches nest inside the held read lock, so the list cannot change under them.
        for (int k = 0; k < threads.Count(); ++k) {
          auto* rec = static_cast<TQuelbaThreadInfo*>(threads.List()[size_t(k)]);
          if (rec->Value4 != rec->ThreadId * 2) bad = true;
          if (threads.IndexOfHandle(rec->ThreadHandle) != k) bad = true;
        }
        threads.UnlockRead();
      }
    });
  for (auto& t : workers) t.join();
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(bad);
  EXPECT_EQ(threads.Count(), 0);
  EXPECT_EQ(processes.Count(), 0);
  EXPECT_LT(elapsed, std::chrono::seconds(20));
}

}  // namespace
}  // namespace exclog
