// The hook errors' texts, written out here as the user reads them.
#include "exclog/EHook.h"

#include <gtest/gtest.h>

namespace {

using namespace exclog;

TEST(EHookErrors, MessagesAndClasses) {
  EXPECT_EQ(ProcNullMessage("kernel32.dll.WriteFile"), "Cannot hook a null procedure (\"kernel32.dll.WriteFile\").");
  EXPECT_EQ(HookingErrorMessage("kernel32.dll.CreateThread"), "Cannot hook the procedure \"kernel32.dll.CreateThread\".");
  EXPECT_EQ(SharedAreaMessage("C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL"),
            "Cannot hook the module \"C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL\" located into the shared-area.");
  ESharedArea shared("x");
  EXPECT_EQ(shared.ClassName(), "ESharedArea");
  EXPECT_TRUE(shared.InheritsFrom(EHookError::StaticClass()));
  EXPECT_TRUE(EProcNull("x").InheritsFrom(EHookError::StaticClass()));
  EXPECT_TRUE(EHookingError("x").InheritsFrom(Exception::StaticClass()));
}

}  // namespace
