#pragma once
// Locks shared by the class library, the skin engine and the logger. Pure C++ (std
// primitives), so the same code runs in the native tree and under Windows.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

// A re-entrant mutual-exclusion lock: the owning thread may enter again and must leave
// as often as it entered. Never throws from Enter/Leave.
class TCriticalSection {
public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  // Takes the lock only when no other thread holds it; returns whether it did.
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }
  // Synonyms kept for callers that think of it as a plain lock.
  void Acquire() { Enter(); }
  void Release() { Leave(); }

private:
  std::recursive_mutex mutex_;
};

// Holds a TCriticalSection for one scope.
class TCriticalSectionLock {
public:
  explicit TCriticalSectionLock(TCriticalSection& section) : section_(section) { section_.Enter(); }
  ~TCriticalSectionLock() { section_.Leave(); }
  TCriticalSectionLock(const TCriticalSectionLock&) = delete;
  TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

private:
  TCriticalSection& section_;
};

// Many readers or one writer. Unlike a slim reader-writer lock it is re-entrant:
// - a thread holding the read lock may take it again at once, even while a writer
//   waits (a reader blocking behind a waiting writer would deadlock with itself);
// - a thread holding the read lock may take the write lock: its read holds are set
//   aside while it waits, so two threads upgrading at once cannot deadlock, and are
//   given back when its outermost EndWrite runs;
// - the writer may take the read lock and the write lock again.
// New readers wait while a writer waits, so a stream of readers cannot starve writers.
// Ending a lock that the thread does not hold is ignored. Never throws except
// std::bad_alloc when a thread is first seen.
class TMultiReadExclusiveWriteSynchronizer {
public:
  TMultiReadExclusiveWriteSynchronizer() = default;
  TMultiReadExclusiveWriteSynchronizer(const TMultiReadExclusiveWriteSynchronizer&) = delete;
  TMultiReadExclusiveWriteSynchronizer& operator=(const TMultiReadExclusiveWriteSynchronizer&) = delete;

  void BeginRead();
  void EndRead();
  // Returns true when no other thread wrote between the call and the moment this
  // thread got the lock: data read under a read lock held before is still current.
  // False means an upgrading thread must read again what it read before.
  bool BeginWrite();
  void EndWrite();

  // Number of times the calling thread holds the read lock (0 when it holds none).
  int ReadDepthOfCurrentThread() const;
  // Whether the calling thread holds the write lock.
  bool IsWriterCurrentThread() const;
  // Counts writes that were granted; tests and upgraders compare it.
  uint32_t WriteSequence() const;
  // Threads waiting for the write lock now.
  int WaitingWriters() const;

private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<std::thread::id, int> readers_;  // thread -> read depth
  std::thread::id writer_{};                          // default id: no writer
  int writeDepth_ = 0;
  int setAsideReads_ = 0;  // the writer's read holds, set aside while it upgraded
  int waitingWriters_ = 0;
  uint32_t writeSequence_ = 0;
};

using TMREWSync = TMultiReadExclusiveWriteSynchronizer;

// Holds the read lock of a TMultiReadExclusiveWriteSynchronizer for one scope.
class TReadLock {
public:
  explicit TReadLock(TMultiReadExclusiveWriteSynchronizer& lock) : lock_(lock) { lock_.BeginRead(); }
  ~TReadLock() { lock_.EndRead(); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

private:
  TMultiReadExclusiveWriteSynchronizer& lock_;
};

// Holds the write lock of a TMultiReadExclusiveWriteSynchronizer for one scope.
class TWriteLock {
public:
  explicit TWriteLock(TMultiReadExclusiveWriteSynchronizer& lock) : lock_(lock) { lock_.BeginWrite(); }
  ~TWriteLock() { lock_.EndWrite(); }
  TWriteLock(const TWriteLock&) = delete;
  TWriteLock& operator=(const TWriteLock&) = delete;

private:
  TMultiReadExclusiveWriteSynchronizer& lock_;
};
