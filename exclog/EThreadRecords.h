#pragma once
// The logger's records of the process's threads: one per thread started through the
// CreateThread hook (and the main thread), kept from creation to ExitThread. The
// list owns its records and their stack copies; handles are opaque numbers here,
// closing them is the caller's business (RemoveIf/Remove hand the records back).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace exclog {

struct TThreadRecord {
  uint32_t ThreadId = 0;
  uintptr_t Handle = 0;        // the record's own duplicate, never the caller's handle
  uint32_t ResumerId = 0;      // thread that last resumed it
  void* ThreadObject = nullptr;  // TThread instance, null for a raw thread
  uintptr_t StackTop = 0;      // set when the start wrapper begins
  uintptr_t OriginalExecute = 0;
  void* OriginalFunction = nullptr;  // BeginThread function
  void* OriginalStart = nullptr;     // raw CreateThread start address
  void* Parameter = nullptr;
  uint32_t CreationFlags = 0;        // as the caller asked
  uint32_t StackCopySize = 0;        // stored even when no copy could be taken
  std::vector<uint8_t> StackCopy;
  bool Resumed = false;
};

// Thread-safe list of thread records. Finders return copies, so no caller ever
// holds a pointer into the list after the lock is released.
class TThreadRecordList {
 public:
  // Takes ownership. A record with the id of a listed one replaces it (ids are
  // reused by the system after a thread ended without ExitThread).
  void Add(std::unique_ptr<TThreadRecord> record);
  // Removes the record of `threadId` and returns it (null when unknown).
  std::unique_ptr<TThreadRecord> Remove(uint32_t threadId);
  // Removes every record for which `finished(record)` holds and returns them.
  template <class Pred>
  std::vector<std::unique_ptr<TThreadRecord>> RemoveIf(Pred finished) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::unique_ptr<TThreadRecord>> removed;
    for (auto it = records_.begin(); it != records_.end();) {
      if (finished(**it)) {
        removed.push_back(std::move(*it));
        it = records_.erase(it);
      } else {
        ++it;
      }
    }
    return removed;
  }
  // Copy of the record of `threadId` with its stack top set to `stackTop` (when not
  // 0); nothing when the thread is unknown.
  std::optional<TThreadRecord> TakeStart(uint32_t threadId, uintptr_t stackTop);
  // The same, found by thread object.
  std::optional<TThreadRecord> TakeStartByObject(const void* object, uintptr_t stackTop);
  // Stores a resume: resumer id, the new stack copy (replacing the earlier one) and
  // its size. False when the thread is unknown.
  bool StoreResume(uint32_t threadId, uint32_t resumerId, uint32_t size,
                   std::vector<uint8_t> copy);
  // Stores the original Execute of a thread object's class. False when unknown.
  bool SetOriginalExecute(uint32_t threadId, uintptr_t original);
  std::optional<TThreadRecord> Find(uint32_t threadId) const;
  // Copies of all records, in creation order.
  std::vector<TThreadRecord> Snapshot() const;
  size_t Count() const;
  // Removes all records and returns them.
  std::vector<std::unique_ptr<TThreadRecord>> DetachAll();

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<TThreadRecord>> records_;
};

}  // namespace exclog
