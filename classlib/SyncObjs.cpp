#include "classlib/SyncObjs.h"

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  const auto me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(mutex_);
  auto held = readers_.find(me);
  if (held != readers_.end()) {
    ++held->second;  // re-entry never waits
    return;
  }
  if (writer_ != me) {
    changed_.wait(guard, [&] { return writer_ == std::thread::id{} && waitingWriters_ == 0; });
  }
  readers_[me] = 1;
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
  const auto me = std::this_thread::get_id();
  std::lock_guard<std::mutex> guard(mutex_);
  auto held = readers_.find(me);
  if (held == readers_.end()) return;
  if (--held->second == 0) {
    readers_.erase(held);
    changed_.notify_all();
  }
}

bool TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  const auto me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(mutex_);
  if (writer_ == me) {
    ++writeDepth_;
    return true;
  }
  // Set our own read holds aside so that another upgrading thread is not left
  // waiting for them while we wait for its.
  int ownReads = 0;
  auto held = readers_.find(me);
  if (held != readers_.end()) {
    ownReads = held->second;
    readers_.erase(held);
    changed_.notify_all();
  }
  const uint32_t sequenceAtCall = writeSequence_;
  ++waitingWriters_;
  changed_.wait(guard, [&] { return writer_ == std::thread::id{} && readers_.empty(); });
  --waitingWriters_;
  writer_ = me;
  writeDepth_ = 1;
  setAsideReads_ = ownReads;
  ++writeSequence_;
  return writeSequence_ == sequenceAtCall + 1;
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
  const auto me = std::this_thread::get_id();
  std::lock_guard<std::mutex> guard(mutex_);
  if (writer_ != me) return;
  if (--writeDepth_ > 0) return;
  writer_ = std::thread::id{};
  if (setAsideReads_ > 0) {
    readers_[me] += setAsideReads_;  // the upgrade ends: the reads are ours again
    setAsideReads_ = 0;
  }
  changed_.notify_all();
}

int TMultiReadExclusiveWriteSynchronizer::ReadDepthOfCurrentThread() const {
  std::lock_guard<std::mutex> guard(mutex_);
  auto held = readers_.find(std::this_thread::get_id());
  int depth = held == readers_.end() ? 0 : held->second;
  if (writer_ == std::this_thread::get_id()) depth += setAsideReads_;
  return depth;
}

bool TMultiReadExclusiveWriteSynchronizer::IsWriterCurrentThread() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return writer_ == std::this_thread::get_id();
}

uint32_t TMultiReadExclusiveWriteSynchronizer::WriteSequence() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return writeSequence_;
}

int TMultiReadExclusiveWriteSynchronizer::WaitingWriters() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return waitingWriters_;
}
