// The restart marker on a program's command line.
#include "exclog/core/ERestart.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

TEST(RestartMarker, AddedOnceAndReadBack) {
  std::string line = RestartCommandLine("\"C:\\app\\Velmora.exe\" file.vlm", 1234);
  EXPECT_EQ(line, "\"C:\\app\\Velmora.exe\" file.vlm --restarted-from=1234");
  EXPECT_EQ(RestartedFrom(line), 1234u);
  // A restart of a restarted program names only the latest instance.
  std::string again = RestartCommandLine(line, 77);
  EXPECT_EQ(again, "\"C:\\app\\Velmora.exe\" file.vlm --restarted-from=77");
  EXPECT_EQ(RestartedFrom(RestartCommandLine("a --restarted-from=5 b", 6)), 6u);
  EXPECT_EQ(RestartCommandLine("a --restarted-from=5 b", 6), "a b --restarted-from=6");
}

TEST(RestartMarker, OrdinaryStartsAreNotRestarts) {
  EXPECT_EQ(RestartedFrom("Velmora.exe"), 0u);
  EXPECT_EQ(RestartedFrom("Velmora.exe x--restarted-from=12"), 0u);  // inside another argument
  EXPECT_EQ(RestartedFrom("Velmora.exe --restarted-from="), 0u);
  EXPECT_EQ(RestartedFrom("Velmora.exe --restarted-from=12a"), 0u);
  EXPECT_EQ(RestartedFrom("Velmora.exe --restarted-from=4294967296"), 0u);
  EXPECT_EQ(RestartedFrom("Velmora.exe --restarted-from=4294967295"), 4294967295u);
}

}  // namespace
}  // namespace exclog
