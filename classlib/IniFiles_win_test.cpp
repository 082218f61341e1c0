#include "classlib/IniFiles_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::HostPath;
using velmora::test::RunHostCommand;

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/velmora-ini-%lu.ini", GetCurrentProcessId());
    unixPath_ = name;
    path_ = HostPath(unixPath_);
    std::ofstream out(path_, std::ios::binary);
    out << "[Main]\r\nName=Velmora\r\nCount=12\r\nHex=0x1F\r\nDollar=$10\r\nBad=12px\r\nOn=1\r\nOff=0\r\n"
        << "Quoted=\"  padded  \"\r\nLong=" << std::string(5000, 'x') << "\r\n"
        << "[Colours]\r\nButtonFace=109 129 145\r\n";
  }
  void TearDown() override { DeleteFileA(path_.c_str()); }

  // Reads a key back with Python's configparser (an independent INI reader). The
  // script goes through a file: the host command line cannot carry quotes.
  std::string PythonValue(const std::string& section, const std::string& key) {
    const std::string script = unixPath_ + ".py";
    {
      std::ofstream out(HostPath(script), std::ios::binary);
      out << "import configparser, sys\n"
             "c = configparser.ConfigParser(interpolation=None, strict=False)\n"
             "c.optionxform = str\n"
             "c.read(sys.argv[1])\n"
             "print(c[sys.argv[2]].get(sys.argv[3], '<missing>') if c.has_section(sys.argv[2]) else '<missing>', end='')\n";
    }
    std::string answer =
        RunHostCommand("/usr/bin/python3 " + script + " " + unixPath_ + " " + section + " " + key).value_or("<no answer>");
    DeleteFileA(HostPath(script).c_str());
    return answer;
  }

  std::string unixPath_, path_;
};

TEST_F(IniFile, ReadsValuesWithDefaults) {
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("Main", "Name", "?"), "Velmora");
  EXPECT_EQ(ini.ReadString("main", "NAME", "?"), "Velmora") << "the profile routines ignore case";
  EXPECT_EQ(ini.ReadString("Main", "Missing", "fallback"), "fallback");
  EXPECT_EQ(ini.ReadString("Nowhere", "Name", "fallback"), "fallback");
  EXPECT_EQ(ini.ReadString("Main", "Quoted", ""), "  padded  ");
  EXPECT_EQ(ini.ReadString("Main", "Long", "").size(), 5000u) << "long values are read whole";
  EXPECT_EQ(ini.ReadInteger("Main", "Count", -1), 12);
  EXPECT_EQ(ini.ReadInteger("Main", "Hex", -1), 31);
  EXPECT_EQ(ini.ReadInteger("Main", "Dollar", -1), 16);
  EXPECT_EQ(ini.ReadInteger("Main", "Bad", -1), -1);
  EXPECT_EQ(ini.ReadInteger("Main", "Missing", 99), 99);
  EXPECT_TRUE(ini.ReadBool("Main", "On", false));
  EXPECT_FALSE(ini.ReadBool("Main", "Off", true));
  EXPECT_TRUE(ini.ReadBool("Main", "Missing", true));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "Colours"}));
  EXPECT_EQ(ini.ReadSection("Colours"), (std::vector<std::string>{"ButtonFace"}));
  EXPECT_EQ(ini.ReadSectionValues("Colours"), (std::vector<std::string>{"ButtonFace=109 129 145"}));
  EXPECT_TRUE(ini.SectionExists("Colours"));
  EXPECT_FALSE(ini.SectionExists("Nowhere"));
  EXPECT_TRUE(ini.ValueExists("Main", "count"));
  EXPECT_FALSE(ini.ValueExists("Main", "Counts"));
}

TEST_F(IniFile, WritesAreWhatAnotherReaderSees) {
  {
    TIniFile ini(path_);
    ini.WriteString("Main", "Name", "Changed");
    ini.WriteInteger("Main", "Count", -40);
    ini.WriteBool("New", "Flag", true);
    ini.DeleteKey("Main", "Bad");
    ini.EraseSection("Colours");
    ini.UpdateFile();
  }
  EXPECT_EQ(PythonValue("Main", "Name"), "Changed");
  EXPECT_EQ(PythonValue("Main", "Count"), "-40");
  EXPECT_EQ(PythonValue("New", "Flag"), "1");
  EXPECT_EQ(PythonValue("Main", "Bad"), "<missing>");
  TIniFile again(path_);
  EXPECT_FALSE(again.SectionExists("Colours"));
  EXPECT_EQ(again.ReadInteger("Main", "Count", 0), -40);
}

TEST_F(IniFile, RefusedWriteRaises) {
  TIniFile ini(HostPath("/proc/velmora-no-such-dir/x.ini"));
  EXPECT_THROW(ini.WriteString("A", "B", "C"), EIniFileException);
}

}  // namespace
