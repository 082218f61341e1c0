#include "exclog/EThreadRecords.h"

#include <algorithm>

namespace exclog {

namespace {
template <class Records, class Pred>
auto FindIn(Records& records, Pred pred) {
  return std::find_if(records.begin(), records.end(), [&](const auto& r) { return pred(*r); });
}
}  // namespace

void TThreadRecordList::Add(std::unique_ptr<TThreadRecord> record) {
  if (!record) return;
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t id = record->ThreadId;
  auto it = FindIn(records_, [id](const TThreadRecord& r) { return r.ThreadId == id; });
  if (it != records_.end() && id != 0) {
    *it = std::move(record);
  } else {
    records_.push_back(std::move(record));
  }
}

std::unique_ptr<TThreadRecord> TThreadRecordList::Remove(uint32_t threadId) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = FindIn(records_, [threadId](const TThreadRecord& r) { return r.ThreadId == threadId; });
  if (it == records_.end()) return nullptr;
  std::unique_ptr<TThreadRecord> removed = std::move(*it);
  records_.erase(it);
  return removed;
}

std::optional<TThreadRecord> TThreadRecordList::TakeStart(uint32_t threadId, uintptr_t stackTop) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = FindIn(records_, [threadId](const TThreadRecord& r) { return r.ThreadId == threadId; });
  if (it == records_.end()) return std::nullopt;
  if (stackTop) (*it)->StackTop = stackTop;
  return **it;
}

std::optional<TThreadRecord> TThreadRecordList::TakeStartByObject(const void* object,
                                                                  uintptr_t stackTop) {
  if (!object) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = FindIn(records_, [object](const TThreadRecord& r) { return r.ThreadObject == object; });
  if (it == records_.end()) return std::nullopt;
  if (stackTop) (*it)->StackTop = stackTop;
  return **it;
}

bool TThreadRecordList::StoreResume(uint32_t threadId, uint32_t resumerId, uint32_t size,
                                    std::vector<uint8_t> copy) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = FindIn(records_, [threadId](const TThreadRecord& r) { return r.ThreadId == threadId; });
  if (it == records_.end()) return false;
  TThreadRecord& record = **it;
  record.ResumerId = resumerId;
  record.StackCopySize = size;
  record.StackCopy = std::move(copy);
  record.Resumed = true;
  return true;
}

bool TThreadRecordList::SetOriginalExecute(uint32_t threadId, uintptr_t original) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = FindIn(records_, [threadId](const TThreadRecord& r) { return r.ThreadId == threadId; });
  if (it == records_.end()) return false;
  (*it)->OriginalExecute = original;
  return true;
}

std::optional<TThreadRecord> TThreadRecordList::Find(uint32_t threadId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = FindIn(records_, [threadId](const TThreadRecord& r) { return r.ThreadId == threadId; });
  if (it == records_.end()) return std::nullopt;
  return **it;
}

std::vector<TThreadRecord> TThreadRecordList::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TThreadRecord> copies;
  copies.reserve(records_.size());
  for (const auto& r : records_) copies.push_back(*r);
  return copies;
}

size_t TThreadRecordList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_.size();
}

std::vector<std::unique_ptr<TThreadRecord>> TThreadRecordList::DetachAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::unique_ptr<TThreadRecord>> detached = std::move(records_);
  records_.clear();
  return detached;
}

}  // namespace exclog
