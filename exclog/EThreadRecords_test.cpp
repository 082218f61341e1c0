#include "exclog/EThreadRecords.h"

#include <gtest/gtest.h>

#include <thread>

namespace exclog {
namespace {

std::unique_ptr<TThreadRecord> Record(uint32_t id, uintptr_t handle, void* object = nullptr) {
  auto r = std::make_unique<TThreadRecord>();
  r->ThreadId = id;
  r->Handle = handle;
  r->ThreadObject = object;
  return r;
}

TEST(ThreadRecords, FindsByIdAndObjectAndSetsTheStackTop) {
  TThreadRecordList list;
  int object = 0;
  list.Add(Record(10, 100));
  list.Add(Record(20, 200, &object));
  auto byId = list.TakeStart(10, 0x5000);
  ASSERT_TRUE(byId.has_value());
  EXPECT_EQ(byId->StackTop, 0x5000u);
  EXPECT_EQ(list.Find(10)->StackTop, 0x5000u);  // stored, not only copied
  auto byObject = list.TakeStartByObject(&object, 0x6000);
  ASSERT_TRUE(byObject.has_value());
  EXPECT_EQ(byObject->ThreadId, 20u);
  EXPECT_FALSE(list.TakeStart(30, 1).has_value());
  EXPECT_FALSE(list.TakeStartByObject(nullptr, 1).has_value());
  // A zero stack top leaves the stored one alone.
  EXPECT_EQ(list.TakeStart(10, 0)->StackTop, 0x5000u);
}

TEST(ThreadRecords, ResumeReplacesTheStackCopyAndKeepsTheSizeWithoutOne) {
  TThreadRecordList list;
  list.Add(Record(7, 70));
  EXPECT_TRUE(list.StoreResume(7, 1, 3, {1, 2, 3}));
  EXPECT_TRUE(list.StoreResume(7, 2, 4096, {}));  // range was not readable
  auto r = list.Find(7);
  EXPECT_EQ(r->ResumerId, 2u);
  EXPECT_EQ(r->StackCopySize, 4096u);
  EXPECT_TRUE(r->StackCopy.empty());
  EXPECT_TRUE(r->Resumed);
  EXPECT_FALSE(list.StoreResume(8, 1, 1, {9}));
}

TEST(ThreadRecords, RemovalHandsRecordsBackAndAReusedIdReplaces) {
  TThreadRecordList list;
  list.Add(Record(1, 11));
  list.Add(Record(2, 22));
  list.Add(Record(3, 33));
  list.Add(Record(2, 99));  // the system reused id 2
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.Find(2)->Handle, 99u);
  auto finished = list.RemoveIf([](const TThreadRecord& r) { return r.Handle > 30; });
  ASSERT_EQ(finished.size(), 2u);
  EXPECT_EQ(list.Count(), 1u);
  auto removed = list.Remove(1);
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->Handle, 11u);
  EXPECT_EQ(list.Remove(1), nullptr);
  list.Add(Record(4, 44));
  auto all = list.DetachAll();
  EXPECT_EQ(all.size(), 1u);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(list.Snapshot().empty());
}

TEST(ThreadRecords, ConcurrentAddsAndRemovesKeepTheListConsistent) {
  TThreadRecordList list;
  auto worker = [&list](uint32_t first) {
    for (uint32_t id = first; id < first + 500; ++id) {
      list.Add(Record(id, id));
      list.TakeStart(id, id);
      if (id % 2) list.Remove(id);
    }
  };
  std::thread a(worker, 1000), b(worker, 5000);
  a.join();
  b.join();
  EXPECT_EQ(list.Count(), 500u);
  for (const TThreadRecord& r : list.Snapshot()) EXPECT_EQ(r.ThreadId % 2, 0u);
}

}  // namespace
}  // namespace exclog
