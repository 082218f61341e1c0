#include "classlib/IniFiles.h"

#include <gtest/gtest.h>

#include "classlib/Registry.h"

namespace {

TEST(IniText, IntegersInDecimalAndHexadecimalWithinThirtyTwoBits) {
  EXPECT_EQ(ParseIniInteger("42"), 42);
  EXPECT_EQ(ParseIniInteger("  -17 \t"), -17);
  EXPECT_EQ(ParseIniInteger("+5"), 5);
  EXPECT_EQ(ParseIniInteger("0x1f"), 31);
  EXPECT_EQ(ParseIniInteger("$FF"), 255);
  EXPECT_EQ(ParseIniInteger("$FFFFFFFF"), -1) << "hexadecimal spells the bit pattern";
  EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
  EXPECT_FALSE(ParseIniInteger("2147483648"));
  EXPECT_FALSE(ParseIniInteger("$100000000"));
  EXPECT_FALSE(ParseIniInteger(""));
  EXPECT_FALSE(ParseIniInteger("0x"));
  EXPECT_FALSE(ParseIniInteger("12abc"));
  EXPECT_FALSE(ParseIniInteger("1 2"));
  EXPECT_FALSE(ParseIniInteger("99999999999999999999999"));
}

TEST(IniText, ZeroSeparatedListsAreSplitWithinTheirLength) {
  const char buffer[] = "Main\0Colours\0\0garbage";
  EXPECT_EQ(SplitZeroList(buffer, sizeof buffer), (std::vector<std::string>{"Main", "Colours"}));
  EXPECT_EQ(SplitZeroList("abc", 3), (std::vector<std::string>{"abc"})) << "no terminator in reach";
  EXPECT_EQ(SplitZeroList(buffer, 6), (std::vector<std::string>{"Main", "C"}));
  EXPECT_TRUE(SplitZeroList(buffer, 0).empty());
}

TEST(RegistryPath, LeadingBackslashMeansFromTheRoot) {
  auto p = ResolveRegistryKeyPath("Software\\Velmora", true, "\\Software\\Other\\");
  EXPECT_FALSE(p.RelativeToCurrent);
  EXPECT_EQ(p.SubKey, "Software\\Other");
  EXPECT_EQ(p.NewPath, "Software\\Other");
  p = ResolveRegistryKeyPath("Software\\Velmora", true, "Skins");
  EXPECT_TRUE(p.RelativeToCurrent);
  EXPECT_EQ(p.SubKey, "Skins");
  EXPECT_EQ(p.NewPath, "Software\\Velmora\\Skins");
  p = ResolveRegistryKeyPath("", false, "Software\\Velmora");
  EXPECT_FALSE(p.RelativeToCurrent) << "nothing open: relative to the root";
  EXPECT_EQ(p.NewPath, "Software\\Velmora");
  p = ResolveRegistryKeyPath("Software", true, "\\");
  EXPECT_EQ(p.SubKey, "");
  EXPECT_EQ(p.NewPath, "");
}

}  // namespace
