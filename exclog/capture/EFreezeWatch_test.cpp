#include "exclog/capture/EFreezeWatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace exclog {
namespace {

// A scripted main window on a fake clock: each probe takes its script entry's
// milliseconds and gives its answer; after the script the last entry repeats.
struct TScript {
  struct TStep {
    TFreezeProbe Answer;
    uint32_t TakesMs;
  };
  std::vector<TStep> Steps;
  size_t Next = 0;
  uint64_t Now = 0;
  uint64_t Probes = 0;
  uint64_t StopAfterMs = UINT64_MAX;

  TFreezeWatchIo Io() {
    TFreezeWatchIo io;
    io.Probe = [this] {
      ++Probes;
      const TStep& s = Steps[Next < Steps.size() ? Next++ : Steps.size() - 1];
      Now += s.TakesMs;
      return s.Answer;
    };
    io.NowMs = [this] { return Now; };
    io.Sleep = [this](uint32_t ms) { Now += ms; };
    io.Terminated = [this] { return Now >= StopAfterMs; };
    return io;
  }
};

constexpr auto Silent = TFreezeProbe::Silent;
constexpr auto Answered = TFreezeProbe::Answered;
constexpr auto NoWindow = TFreezeProbe::NoWindow;

TEST(FreezeWatch, ReportsOnlyAfterTheTimeOutOfRealSilence) {
  // Answers, then 4.9 s of 50 ms silent probes, an answer, then silence for good:
  // the freeze is the second silence, 2 s after it began.
  TScript s;
  s.Steps.push_back({Answered, 1});
  for (int i = 0; i < 98; ++i) s.Steps.push_back({Silent, 50});
  s.Steps.push_back({Answered, 1});
  size_t lastAnswer = s.Steps.size();
  s.Steps.push_back({Silent, 50});
  ASSERT_TRUE(WaitForFreeze(s.Io(), 5));
  EXPECT_GE(s.Next, lastAnswer);
  // Frozen since the probe after the second answer and its 300 ms rest.
  uint64_t silenceBegan = 1 + 300 + 98 * 50 + 1 + 300;
  EXPECT_GE(s.Now, silenceBegan + 5000);
  EXPECT_LE(s.Now, silenceBegan + 5000 + 50);
}

TEST(FreezeWatch, InstantFailuresCountTheirRealTimeNotFiftyMsEach) {
  // A window being destroyed fails every probe at once, then is gone: never a freeze.
  TScript s;
  for (int i = 0; i < 200; ++i) s.Steps.push_back({Silent, 0});
  s.Steps.push_back({NoWindow, 0});
  s.StopAfterMs = 60000;
  EXPECT_FALSE(WaitForFreeze(s.Io(), 20));
  // Failing at once, it still probes no faster than every 50 ms.
  EXPECT_LE(s.Probes, 60000 / FreezeProbeMs + 1);

  // Silence that outlasts the time-out by instant failures is a freeze at its real end.
  TScript t;
  t.Steps.push_back({Silent, 0});
  ASSERT_TRUE(WaitForFreeze(t.Io(), 1));
  EXPECT_GE(t.Now, 1000u);
  EXPECT_LE(t.Now, 1050u);
}

TEST(FreezeWatch, TimeOutsAtTheEdgesOfTheirRange) {
  EXPECT_EQ(FreezeTimeoutMs(0), 1000u);
  EXPECT_EQ(FreezeTimeoutMs(-5), 1000u);
  EXPECT_EQ(FreezeTimeoutMs(2147483647), 2147483647ull * 1000u);

  // 0 seconds: an answering window is never frozen.
  TScript answering;
  answering.Steps.push_back({Answered, 1});
  answering.StopAfterMs = 30000;
  EXPECT_FALSE(WaitForFreeze(answering.Io(), 0));

  // The largest time-out does not wrap to a short one.
  TScript silent;
  silent.Steps.push_back({Silent, 50});
  silent.StopAfterMs = 3600ull * 1000;  // an hour of silence
  EXPECT_FALSE(WaitForFreeze(silent.Io(), 2147483647));

  // 4294968 s is 4294968000 ms, which kept in 32 bits is 704 ms: an hour of silence
  // is no freeze, and the freeze comes only after the whole time-out, not 704 ms.
  constexpr int32_t wrapsShort = 4294968;
  ASSERT_EQ(FreezeTimeoutMs(wrapsShort) % (1ull << 32), 704u);
  TScript hour;
  hour.Steps.push_back({Silent, 50});
  hour.StopAfterMs = 3600ull * 1000;
  EXPECT_FALSE(WaitForFreeze(hour.Io(), wrapsShort));
  // Each probe here takes an hour, so the whole time-out passes in a few thousand.
  TScript slow;
  slow.Steps.push_back({Answered, 0});
  slow.Steps.push_back({Silent, 3600u * 1000});
  ASSERT_TRUE(WaitForFreeze(slow.Io(), wrapsShort));
  const uint64_t silenceBegan = FreezeProbeMs * FreezeRestSteps;
  EXPECT_GE(slow.Now, silenceBegan + FreezeTimeoutMs(wrapsShort));
  EXPECT_LE(slow.Now, silenceBegan + FreezeTimeoutMs(wrapsShort) + 3600u * 1000);
}

TEST(FreezeWatch, StopWithoutAWindowEndsWithinOneStep) {
  TScript s;
  s.Steps.push_back({NoWindow, 0});
  s.StopAfterMs = 1234;
  EXPECT_FALSE(WaitForFreeze(s.Io(), 2));
  EXPECT_LE(s.Now, 1234u + FreezeProbeMs);
  // A stop during the rest after an answer is seen within one step too.
  TScript r;
  r.Steps.push_back({Answered, 0});
  r.StopAfterMs = 120;
  EXPECT_FALSE(WaitForFreeze(r.Io(), 2));
  EXPECT_LE(r.Now, 120u + FreezeProbeMs);
}

}  // namespace
}  // namespace exclog
