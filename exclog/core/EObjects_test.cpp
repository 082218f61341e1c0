#include "exclog/core/EObjects.h"

#include <gtest/gtest.h>

#include "classlib/Components.h"

namespace exclog {
namespace {

TEST(ObjectTests, LiveExceptionsAndCorruptPointers) {
  EAccessViolation av("x");
  EAbort abort("stop");
  TActiveXException activeX("failed", "EOleSysError", {"EOleError", "EOleSysError"});
  EXPECT_EQ(ObjectClassName(&av), "EAccessViolation");
  EXPECT_TRUE(InheritsFromName(&av, "eexternal"));
  EXPECT_TRUE(IsOneOf(&activeX, {"EAbort", "Exception"}));
  EXPECT_FALSE(IsOneOf(&abort, {"EExternal", "TActiveXException"}));
  EXPECT_FALSE(IsNotAbort(&abort));
  EXPECT_TRUE(IsNotAbort(&av));
  EXPECT_FALSE(IsNotExternal(&av));
  EXPECT_TRUE(IsNotExternal(&abort));
  EXPECT_EQ(activeX.ReportedClassName(), "EOleSysError");

  // A block whose first word leads nowhere, and an object whose class record was
  // overwritten: false and "" everywhere, no crash.
  alignas(void*) unsigned char zeros[64] = {};
  const void* fake[4] = {zeros + 16, nullptr, nullptr, nullptr};
  for (const void* bad : {static_cast<const void*>(fake), reinterpret_cast<const void*>(uintptr_t{0x10})}) {
    EXPECT_EQ(ObjectClassName(bad), "");
    EXPECT_FALSE(InheritsFromName(bad, "TObject"));
    EXPECT_FALSE(IsOneOf(bad, {"TObject"}));
    EXPECT_FALSE(IsNotAbort(bad));
    EXPECT_TRUE(IsNotExternal(bad));
  }
}

TEST(ObjectTests, SetIntegerPropertyGivesThePreviousValue) {
  TComponent component(nullptr);
  component.SetTag(5);
  EXPECT_EQ(SetIntegerProperty(&component, "Tag", 9), 5);
  EXPECT_EQ(component.Tag(), 9);
  EXPECT_EQ(SetIntegerProperty(&component, "Tag", 9), 9);
  EXPECT_EQ(SetIntegerProperty(&component, "NoSuchProperty", 1), 0);
}

}  // namespace
}  // namespace exclog
