#include "classlib/SyncObjs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Runs `scenario` on a helper thread and fails (ending the program, since a
// deadlocked thread cannot be joined) when it does not finish within the bound.
void RunWithin(std::chrono::milliseconds bound, const std::function<void()>& scenario) {
  std::packaged_task<void()> task(scenario);
  auto done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(bound) != std::future_status::ready) {
    std::fprintf(stderr, "deadlock: scenario did not finish within %lld ms\n",
                 static_cast<long long>(bound.count()));
    std::fflush(stderr);
    std::_Exit(3);
  }
  runner.join();
  done.get();
}

TEST(CriticalSection, ReentersOnOwnThreadAndExcludesOthers) {
  TCriticalSection section;
  section.Enter();
  section.Enter();  // a second entry must not block its owner
  bool otherGotIn = true;
  std::thread([&] { otherGotIn = section.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIn);
  section.Leave();
  std::thread([&] { otherGotIn = section.TryEnter(); if (otherGotIn) section.Leave(); }).join();
  EXPECT_FALSE(otherGotIn) << "one Leave of two Enters must keep the lock";
  section.Leave();
  std::thread([&] { otherGotIn = section.TryEnter(); if (otherGotIn) section.Leave(); }).join();
  EXPECT_TRUE(otherGotIn);
}

TEST(CriticalSection, SerialisesIncrements) {
  TCriticalSection section;
  long counter = 0;
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        TCriticalSectionLock hold(section);
        long seen = counter;
        counter = seen + 1;
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(counter, 80000);
}

TEST(MultiReadLock, ReadReentryDoesNotWaitForAWaitingWriter) {
  TMREWSync lock;
  RunWithin(5000ms, [&] {
    lock.BeginRead();
    std::atomic<bool> writerDone{false};
    std::thread writer([&] {
      lock.BeginWrite();
      writerDone = true;
      lock.EndWrite();
    });
    // Once the writer queues up, re-entering for read must still not wait.
    while (lock.WaitingWriters() == 0) std::this_thread::sleep_for(1ms);
    lock.BeginRead();
    EXPECT_EQ(lock.ReadDepthOfCurrentThread(), 2);
    EXPECT_FALSE(writerDone) << "a writer got in while a reader held the lock";
    lock.EndRead();
    lock.EndRead();
    writer.join();
    EXPECT_TRUE(writerDone);
  });
}

TEST(MultiReadLock, UpgradeFromReadAndNestedLocksOnOneThread) {
  TMREWSync lock;
  RunWithin(5000ms, [&] {
    lock.BeginRead();
    lock.BeginRead();
    EXPECT_TRUE(lock.BeginWrite()) << "nobody else wrote, so the reads stay valid";
    EXPECT_TRUE(lock.IsWriterCurrentThread());
    EXPECT_TRUE(lock.BeginWrite());  // nested write
    lock.BeginRead();                // read inside write
    lock.EndRead();
    lock.EndWrite();
    EXPECT_TRUE(lock.IsWriterCurrentThread());
    lock.EndWrite();
    EXPECT_FALSE(lock.IsWriterCurrentThread());
    EXPECT_EQ(lock.ReadDepthOfCurrentThread(), 2) << "the set-aside reads come back";
    lock.EndRead();
    lock.EndRead();
    EXPECT_EQ(lock.ReadDepthOfCurrentThread(), 0);
    // Unbalanced ends are ignored rather than corrupting the counts.
    lock.EndRead();
    lock.EndWrite();
    std::thread([&] { lock.BeginWrite(); lock.EndWrite(); }).join();
  });
}

TEST(MultiReadLock, TwoThreadsUpgradingAtOnceBothGetThrough) {
  TMREWSync lock;
  RunWithin(5000ms, [&] {
    std::atomic<int> reading{0};
    std::atomic<int> stale{0};
    auto upgrader = [&] {
      lock.BeginRead();
      ++reading;
      while (reading < 2) std::this_thread::yield();  // both hold read before upgrading
      if (!lock.BeginWrite()) ++stale;
      lock.EndWrite();
      lock.EndRead();
    };
    std::thread a(upgrader), b(upgrader);
    a.join();
    b.join();
    EXPECT_EQ(stale.load(), 1) << "the second upgrader must learn that the first one wrote";
  });
}

TEST(MultiReadLock, MixedReadersWritersAndUpgradersKeepDataConsistent) {
  TMREWSync lock;
  // Two values that writers keep equal; a reader seeing them differ saw a torn write.
  long first = 0, second = 0;
  std::atomic<int> torn{0};
  std::atomic<int> concurrentWriters{0};
  std::atomic<int> maxWriters{0};
  RunWithin(20000ms, [&] {
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t) {
      workers.emplace_back([&, t] {
        for (int i = 0; i < 1500; ++i) {
          const int kind = (t + i) % 3;
          if (kind == 0) {
            TReadLock r(lock);
            TReadLock again(lock);
            if (first != second) ++torn;
          } else if (kind == 1) {
            TWriteLock w(lock);
            int now = ++concurrentWriters;
            if (now > maxWriters) maxWriters = now;
            ++first;
            ++second;
            --concurrentWriters;
          } else {
            lock.BeginRead();
            if (first != second) ++torn;
            lock.BeginWrite();
            int now = ++concurrentWriters;
            if (now > maxWriters) maxWriters = now;
            ++first;
            ++second;
            --concurrentWriters;
            lock.EndWrite();
            if (first != second) ++torn;
            lock.EndRead();
          }
        }
      });
    }
    for (auto& w : workers) w.join();
  });
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(maxWriters.load(), 1);
  EXPECT_EQ(first, 6000);  // 6 threads x 1500 rounds, two thirds of them write
  EXPECT_EQ(first, second);
}

}  // namespace
