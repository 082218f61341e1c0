#include "exclog/leaks/ELeakSet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

namespace exclog {
namespace {

// Random adds, marks and removes against a map, over few enough addresses that
// probe runs collide and wrap; removal closes gaps without losing any entry.
TEST(LeakAddressSet, AgreesWithAMapThroughGrowthAndRemovals) {
  TLeakAddressSet set;
  set.Use([](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); });
  std::map<uintptr_t, bool> model;
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    uintptr_t address = 0x10000 + 8 * (random() % 3000);
    switch (random() % 4) {
      case 0:
      case 1: {
        bool mark = random() % 2;
        ASSERT_TRUE(set.Add(address, mark));
        model[address] = mark;
        break;
      }
      case 2:
        ASSERT_EQ(set.Remove(address), model.erase(address) == 1);
        break;
      default: {
        bool mark = false;
        auto it = model.find(address);
        ASSERT_EQ(set.Find(address, &mark), it != model.end()) << i;
        if (it != model.end()) ASSERT_EQ(mark, it->second);
      }
    }
    ASSERT_EQ(set.Size(), model.size());
  }
  for (auto& [address, mark] : model) ASSERT_TRUE(set.Find(address));
  set.Clear();
  EXPECT_FALSE(set.Find(0x10000));
}

}  // namespace
}  // namespace exclog
