#include "exclog/capture/EEventCall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "exclog/core/EGuard.h"

namespace exclog {
namespace {

using namespace std::chrono_literals;

// A stand-in for the logger's exception thread: serves requests until told to stop.
struct TFakeExceptionThread {
  static inline std::atomic<bool> alive{false};
  static inline std::atomic<std::thread::id> id{};
  static inline std::atomic<int> resets{0};
  static inline std::atomic<int> reloads{0};
  std::atomic<bool> serve{true};
  std::atomic<bool> stop{false};
  std::thread thread;

  void Start() {
    alive = true;
    thread = std::thread([this] {
      id = std::this_thread::get_id();
      while (!stop) {
        if (serve) ServeEventRequest();
        std::this_thread::sleep_for(1ms);
      }
      alive = false;
    });
    while (id.load() == std::thread::id()) std::this_thread::yield();
  }
  void Join() {
    stop = true;
    if (thread.joinable()) thread.join();
    id = std::thread::id();
  }
  ~TFakeExceptionThread() { Join(); }
};

class EventCall : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = EventCallSeams();
    TFakeExceptionThread::alive = false;
    TFakeExceptionThread::resets = 0;
    TFakeExceptionThread::reloads = 0;
    EventCallSeams().ExceptionThreadExists = [] { return TFakeExceptionThread::alive.load(); };
    EventCallSeams().OnExceptionThread = [] { return std::this_thread::get_id() == TFakeExceptionThread::id.load(); };
    EventCallSeams().ResetEventState = [] { ++TFakeExceptionThread::resets; };
    EventCallSeams().ReloadOptions = [] { ++TFakeExceptionThread::reloads; };
  }
  void TearDown() override { EventCallSeams() = saved_; }

 private:
  TEventCallSeams saved_;
};

TEST_F(EventCall, WithoutExceptionThreadRunsAtOnce) {
  std::thread::id ranOn;
  EXPECT_TRUE(CallEventHandler([&] { ranOn = std::this_thread::get_id(); }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(TFakeExceptionThread::resets, 1);
  EXPECT_EQ(TFakeExceptionThread::reloads, 1);
}

TEST_F(EventCall, SkippedWhileShuttingDown) {
  EventCallSeams().ShuttingDown = [] { return true; };
  bool ran = false;
  EXPECT_FALSE(CallEventHandler([&] { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST_F(EventCall, HandedToTheExceptionThread) {
  TFakeExceptionThread worker;
  worker.Start();
  std::thread::id ranOn;
  EXPECT_TRUE(CallEventHandler([&] { ranOn = std::this_thread::get_id(); }));
  EXPECT_EQ(ranOn, TFakeExceptionThread::id.load());
  EXPECT_EQ(TFakeExceptionThread::reloads, 1);
}

TEST_F(EventCall, WaitEndsWhenTheExceptionThreadEnds) {
  TFakeExceptionThread worker;
  worker.serve = false;  // never serves: only its end can release the caller
  worker.Start();
  std::thread stopper([&] {
    std::this_thread::sleep_for(100ms);
    worker.Join();
  });
  bool ran = false;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(CallEventHandler([&] { ran = true; }, 30s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  stopper.join();
  EXPECT_FALSE(ran);
  // The withdrawn request is not served later.
  EXPECT_FALSE(ServeEventRequest());
}

TEST_F(EventCall, WaitIsBounded) {
  TFakeExceptionThread worker;
  worker.serve = false;
  worker.Start();
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(CallEventHandler([] {}, 150ms));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 140ms);
  EXPECT_LT(took, 5s);
  EXPECT_FALSE(ServeEventRequest());
}

std::string lastError;
TEST_F(EventCall, HandlerExceptionsGoToTheInternalErrorHandler) {
  TInternalErrorHandler previous = SetInternalErrorHandler([](const std::string& t) { lastError = t; });
  EXPECT_TRUE(CallEventHandler([] { throw std::runtime_error("boom"); }));
  EXPECT_EQ(lastError, "Event handler: boom");
  SetInternalErrorHandler(previous);
}

}  // namespace
}  // namespace exclog
