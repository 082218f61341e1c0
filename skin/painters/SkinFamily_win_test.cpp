#include "skin/painters/SkinFamily_win.h"

#include <gtest/gtest.h>

#include <memory>

namespace skin {
namespace {

// A painter may be freed by a program handler it calls (a panel's draw event that
// closes the form): the guard it holds across the call tells it so, and a guard
// whose painter lives on leaves nothing behind in it.
TEST(PainterLife, TellsWhetherThePainterWentDuringACall) {
  auto* freed = new TSkinControl();
  {
    TPainterLife life(freed);
    EXPECT_FALSE(life.Gone());
    delete freed;
    EXPECT_TRUE(life.Gone());
  }
  auto lives = std::make_unique<TSkinControl>();
  {
    TPainterLife life(lives.get());
    EXPECT_FALSE(life.Gone());
  }
  // The guard is gone: freeing the painter now notifies nobody (no freed watcher).
  lives.reset();
  TPainterLife none(nullptr);
  EXPECT_FALSE(none.Gone());
}

}  // namespace
}  // namespace skin
