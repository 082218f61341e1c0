#include "exclog/capture/EEvents.h"

#include <gtest/gtest.h>

#include <memory>

#include "classlib/SysUtils.h"

namespace exclog {
namespace {

// Each case sees only its own components (a program may register one at start).
struct EventsTest : ::testing::Test {
  std::vector<TQuelbaLogger*> others;
  void SetUp() override {
    others = LogList().Snapshot();
    for (TQuelbaLogger* logger : others) LogList().Remove(logger);
  }
  void TearDown() override {
    GlobalEvents() = TQuelbaGlobalEvents();
    for (TQuelbaLogger* logger : others) LogList().Add(logger);
  }
};

TEST_F(EventsTest, HandlersRunLastToFirstThenTheGlobal) {
  std::string order;
  TQuelbaLogger first, second, silent, third;
  first.OnExceptionNotify = [&](TQuelbaLogger* sender, const TQuelbaExceptionRecord&, bool& flag) {
    EXPECT_EQ(sender, &first);
    order += "1";
    flag = !flag;
  };
  second.OnExceptionNotify = [&](TQuelbaLogger*, const TQuelbaExceptionRecord&, bool&) { order += "2"; };
  third.OnExceptionNotify = [&](TQuelbaLogger*, const TQuelbaExceptionRecord& record, bool& flag) {
    EXPECT_EQ(record.ThreadId, 77u);
    order += "3";
    flag = false;
  };
  GlobalEvents().ExceptionNotify = [&](const TQuelbaExceptionRecord&, bool&) { order += "G"; };
  TQuelbaExceptionRecord record;
  record.ThreadId = 77;
  bool handle = true;
  auto scope = std::make_unique<TCurrentRecordScope>(record);
  RunFlagEvent(TQuelbaEvent::ExceptionNotify, handle);
  EXPECT_EQ(order, "321G");
  EXPECT_TRUE(handle);  // the last handler (first component) flipped what the third left

  // A handler that frees components: each one left runs once, a freed one not at all.
  auto victim = std::make_unique<TQuelbaLogger>();
  auto killer = std::make_unique<TQuelbaLogger>();
  victim->OnExceptionNotify = [&](TQuelbaLogger*, const TQuelbaExceptionRecord&, bool&) { order += "V"; };
  killer->OnExceptionNotify = [&](TQuelbaLogger*, const TQuelbaExceptionRecord&, bool&) {
    order += "K";
    victim.reset();
    killer.reset();
  };
  order.clear();
  RunFlagEvent(TQuelbaEvent::ExceptionNotify, handle);
  EXPECT_EQ(order, "K321G");
  scope.reset();
  EXPECT_EQ(EventState().Current.ThreadId, 0u);  // the record before is back
}

TEST_F(EventsTest, NoHandlerLeavesTheValuesAsTheyCame) {
  TQuelbaLogger unrelated;
  unrelated.OnCustomDataRequest = [](TQuelbaLogger*, const TQuelbaExceptionRecord&, TStrings& list) {
    list.Add("x");
  };
  for (bool start : {true, false}) {
    bool flag = start;
    RunFlagEvent(TQuelbaEvent::ExceptionNotify, flag);
    RunFlagEvent(TQuelbaEvent::HandledExceptionNotify, flag);
    RunFlagEvent(TQuelbaEvent::CustomButtonClick, flag);
    EXPECT_EQ(flag, start);
  }
  std::string password = "kept";
  RunPasswordEvent(password);
  EXPECT_EQ(password, "kept");
  TStringList files;
  files.Add("a.txt");
  RunListEvent(TQuelbaEvent::AttachedFilesRequest, files);
  EXPECT_EQ(files.Count(), 1);
}

TEST_F(EventsTest, PasswordIsCutToTheBufferAndTerminated) {
  TQuelbaLogger logger;
  logger.OnPasswordRequest = [](TQuelbaLogger*, const TQuelbaExceptionRecord&, std::string& password) {
    EXPECT_EQ(password, "in");
    password = "abcdefgh";
  };
  char buffer[8] = {'i', 'n', 0, '#', '#', '#', '#', '#'};
  RequestPasswordLocal(buffer, 5);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(buffer[5], '#');

  char untouched[4] = {'z', 'z', 'z', 'z'};
  CopyPasswordBack("abc", untouched, 0);
  CopyPasswordBack("abc", untouched, -3);
  EXPECT_EQ(std::string(untouched, 4), "zzzz");
  CopyPasswordBack("abc", untouched, 1);
  EXPECT_EQ(untouched[0], '\0');
  EXPECT_EQ(untouched[1], 'z');
  // An unterminated buffer is read no further than its size.
  EXPECT_EQ(BufferText("zzzz", 4), "zzzz");
}

TEST_F(EventsTest, EnteredEventsSeeTheRecordAsThisModuleKnowsIt) {
  static int ownList = 0, info = 0;
  EventEntrySeams().OwnModulesList = [] { return static_cast<void*>(&ownList); };
  EventEntrySeams().ModuleInfoOf = [](void* module) {
    return module == reinterpret_cast<void*>(0x400000) ? static_cast<void*>(&info) : nullptr;
  };
  TQuelbaLogger logger;
  int seen = 0;
  logger.OnExceptionNotify = [&](TQuelbaLogger*, const TQuelbaExceptionRecord& record, bool& flag) {
    EXPECT_EQ(record.ModulesList, &ownList);
    EXPECT_EQ(record.ModuleInfo, &info);
    EXPECT_STREQ(record.ExceptionMessage, "boom");
    flag = ++seen == 2;
  };
  TQuelbaExceptionRecord incoming;
  incoming.ExceptionModule = reinterpret_cast<void*>(0x400000);
  incoming.ExceptionMessage = "boom";
  incoming.ModulesList = reinterpret_cast<void*>(0x1234);  // the caller's own list: not ours
  EXPECT_FALSE(EnterFlagEvent(&incoming, TQuelbaEvent::ExceptionNotify, true));
  EXPECT_TRUE(EnterFlagEvent(&incoming, TQuelbaEvent::ExceptionNotify, false));
  EXPECT_EQ(EventState().Current.ExceptionMessage, nullptr);

  const char* lines[] = {"one", nullptr, "three"};
  logger.OnCustomDataRequest = [](TQuelbaLogger*, const TQuelbaExceptionRecord&, TStrings& list) {
    list.Add("four");
  };
  EventState().CustomData.Add("old");
  TQuelbaLineArray array{3, lines};
  EnterListEvent(&incoming, TQuelbaEvent::CustomDataRequest, &array);
  EventEntrySeams() = TEventEntrySeams();
  EXPECT_EQ(EventState().CustomData.Text(), "one\r\n\r\nthree\r\nfour\r\n");
}

TEST_F(EventsTest, CurrentOptionsWithoutOptionsFailsWithTheFixedText) {
  const char* expected =
      "\r\nCannot use 'CurrentQuelbaLogOptions' function in module \"C:\\app\\lib.dll\" without activate "
      "QuelbaLog.\r\nTo activate QuelbaLog use the new IDE \"Project/QuelbaLog Options...\" menu.";
  for (bool listExists : {false, true}) {
    try {
      CheckedCurrentOptions(listExists, nullptr, "C:\\app\\lib.dll");
      ADD_FAILURE() << "no assertion";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Message(), expected);
    }
  }
}

}  // namespace
}  // namespace exclog
