#include "exclog/core/ECoreUnit_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "exclog/core/ECoreUnit.h"

namespace exclog {
namespace {

TEST(CoreUnitWin, TheRunningExecutableIsTheHost) {
  char path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
  const char* name = strrchr(path, '\\');
  ASSERT_NE(name, nullptr);

  InstallCoreHostSource();
  SetDevelopmentEnvironmentName(name + 1);
  StartCoreUnit();
  EXPECT_TRUE(InsideDevelopmentEnvironment());
  StopCoreUnit();

  SetDevelopmentEnvironmentName("other.exe");
  StartCoreUnit();
  EXPECT_FALSE(InsideDevelopmentEnvironment());
  StopCoreUnit();
  SetDevelopmentEnvironmentName("");
  SetHostExecutableSource(nullptr);
}

}  // namespace
}  // namespace exclog
