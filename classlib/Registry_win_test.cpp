#include "classlib/Registry_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[96];
    std::snprintf(name, sizeof name, "Software\\VelmoraTest\\Registry%lu", GetCurrentProcessId());
    base_ = name;
    // The fixture's values are made with the raw API, independent of TRegistry.
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (base_ + "\\Inner").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr), ERROR_SUCCESS);
    RegCloseKey(key_);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, KEY_ALL_ACCESS, &key_), ERROR_SUCCESS);
    const char text[] = "hello";
    RegSetValueExA(key_, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    DWORD number = 0xFFFFFFFE;
    RegSetValueExA(key_, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    const BYTE blob[] = {1, 2, 3};
    RegSetValueExA(key_, "Blob", 0, REG_BINARY, blob, 3);
    // A string stored without its terminator.
    RegSetValueExA(key_, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, (base_ + "\\Inner").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, (base_ + "\\Made").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, base_.c_str());
  }
  std::string base_;
  HKEY key_ = nullptr;
};

TEST_F(Registry, ReadsValuesOfEachType) {
  TRegistry reg(KEY_READ);
  ASSERT_TRUE(reg.OpenKey("\\" + base_, false));
  EXPECT_EQ(reg.CurrentPath(), base_);
  EXPECT_EQ(reg.ReadString("Text"), "hello");
  EXPECT_EQ(reg.ReadString("Bare"), "abc");
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_EQ(reg.ReadInteger("Number"), -2);
  EXPECT_EQ(reg.ReadBinaryData("Blob"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(reg.GetDataSize("Text"), 6);
  EXPECT_EQ(reg.GetDataSize("Missing"), -1);
  EXPECT_TRUE(reg.ValueExists("Blob"));
  EXPECT_THROW(reg.ReadInteger("Text"), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
  auto names = reg.GetValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Bare", "Blob", "Number", "Text"}));
  EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Inner"});
}

TEST_F(Registry, RelativeAndAbsolutePaths) {
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(base_, false)) << "nothing open: below the root";
  ASSERT_TRUE(reg.OpenKey("Inner", false)) << "below the open key";
  EXPECT_EQ(reg.CurrentPath(), base_ + "\\Inner");
  EXPECT_FALSE(reg.OpenKey("NoSuchKey", false));
  EXPECT_EQ(reg.CurrentPath(), base_ + "\\Inner") << "a failed open keeps the key open";
  ASSERT_TRUE(reg.OpenKey("\\" + base_, false));
  EXPECT_TRUE(reg.KeyExists("Inner"));
  EXPECT_FALSE(reg.KeyExists("\\Inner"));
  ASSERT_TRUE(reg.OpenKey("Made", true));
  reg.WriteString("S", "written");
  reg.WriteInteger("I", 77);
  reg.WriteBool("B", true);
  reg.CloseKey();
  HKEY made;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (base_ + "\\Made").c_str(), 0, KEY_READ, &made), ERROR_SUCCESS);
  char text[32] = {};
  DWORD size = sizeof text, type = 0;
  EXPECT_EQ(RegQueryValueExA(made, "S", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, "written");
  DWORD number = 0;
  size = 4;
  EXPECT_EQ(RegQueryValueExA(made, "I", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
  EXPECT_EQ(number, 77u);
  RegCloseKey(made);
}

TEST_F(Registry, OtherRootKeys) {
  // The test prefix is made with these settings.
  TRegistry user(KEY_READ);
  ASSERT_TRUE(user.OpenKeyReadOnly("\\Software\\Wine\\X11 Driver"));
  EXPECT_EQ(user.ReadString("Decorated"), "N");
  EXPECT_EQ(user.ReadString("Managed"), "N");
  // HKLM and HKCR agree with the raw API.
  TRegistry machine;
  machine.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(machine.OpenKeyReadOnly("\\Software\\Microsoft\\Windows NT\\CurrentVersion"));
  char raw[64] = {};
  DWORD size = sizeof raw;
  ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion",
                         RRF_RT_REG_SZ, nullptr, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(machine.ReadString("CurrentVersion"), raw);
  TRegistry classes(KEY_READ);
  classes.SetRootKey(HKEY_CLASSES_ROOT);
  EXPECT_EQ(classes.CurrentKey(), nullptr);
  EXPECT_TRUE(classes.KeyExists("\\CLSID"));
}

}  // namespace
