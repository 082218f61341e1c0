#include "exclog/report/ESysInfo_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "exclog/core/ECore.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EObjects.h"
#include "exclog/core/ETextFormat.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

// What the build machine says about itself (tests/peers/sysinfo_facts.sh).
const std::map<std::string, std::string>& HostFacts() {
  static const std::map<std::string, std::string> facts = [] {
    std::map<std::string, std::string> out;
    std::optional<std::string> text =
        velmora::test::RunHostCommand("/bin/sh '" VELMORA_SOURCE_DIR "/tests/peers/sysinfo_facts.sh'");
    std::istringstream lines(text.value_or(""));
    std::string line;
    while (std::getline(lines, line)) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) out[line.substr(0, eq)] = Trim(line.substr(eq + 1));
    }
    return out;
  }();
  return facts;
}

std::string Fact(const std::string& key) {
  auto it = HostFacts().find(key);
  EXPECT_NE(it, HostFacts().end()) << "no host fact " << key;
  return it == HostFacts().end() ? "" : it->second;
}

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Wine takes its language from the Unix locale it starts under: this program runs
// again as a host command under a French locale, doing only this test.
TEST(SystemInformation, LanguageFollowsTheLocale) {
  if (const char* expected = std::getenv("VELMORA_EXPECTED_LANGUAGE")) {
    EXPECT_EQ(LanguageValue(), expected);
    return;
  }
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::optional<std::string> out = velmora::test::RunHostCommand(
      "VELMORA_EXPECTED_LANGUAGE=French LC_ALL=fr_FR.UTF-8 wine '" + velmora::test::UnixPath(program) +
          "' --gtest_filter=SystemInformation.LanguageFollowsTheLocale 2>&1; echo exit=$?",
      180000);
  ASSERT_TRUE(out);
  EXPECT_NE(out->find("[  PASSED  ] 1 test"), std::string::npos) << *out;
  EXPECT_NE(out->find("exit=0"), std::string::npos) << *out;
}

TEST(SystemInformation, ValuesMatchWhatWineAndTheHostReport) {
  // The test prefix is a Windows 7 SP1 workstation.
  EXPECT_EQ(OsTypeValue(), "Microsoft Windows 7");
  EXPECT_EQ(BuildNumberValue(), "7601");
  EXPECT_EQ(UpdateValue(), "Service Pack 1");
  EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                             "CurrentBuildNumber"), BuildNumberValue());

  std::string model = Fact("model");
  EXPECT_FALSE(model.empty()) << "/proc/cpuinfo names no model";
  EXPECT_EQ(ProcessorValue(), model);
  EXPECT_NEAR(Number(TotalMemoryText()), Number(Fact("memkb")) / 1024.0, 1.0);
  EXPECT_NE(FreeMemoryText(), "");
  EXPECT_NEAR(Number(TotalDiskText()), Number(Fact("disktotal")) / 1073741824.0, 0.011);
  // Other builds write to the same disk meanwhile.
  EXPECT_NEAR(Number(FreeDiskText()), Number(Fact("diskavail")) / 1073741824.0, 2.0);

  std::string screen = Fact("screen");
  EXPECT_FALSE(screen.empty()) << "xdpyinfo gave no screen size";
  std::string mode = DisplayModeValue();
  EXPECT_EQ(mode.substr(0, mode.find(',')), StringReplace(screen, "x", " x "));
  EXPECT_EQ(DisplayDpiValue(), "96");
  EXPECT_EQ(LanguageValue(), "English");
  EXPECT_EQ(CharsetValue(), "0");  // Western code page 1252

  EXPECT_EQ(UserIdText(), Fact("user"));
  std::string host = Fact("host").substr(0, 15);
  EXPECT_TRUE(SameText(ComputerNameText(), host)) << ComputerNameText() << " / " << host;
  std::string zone = Fact("zone");
  int minutes = LocalOffsetMinutes();
  EXPECT_EQ(ZoneText(minutes), zone);

  // Every non-loopback address of the host shows, padded; nothing at all without one.
  TNetworkTexts net = NetworkValues();
  std::istringstream ips(Fact("ips"));
  std::string ip;
  int count = 0;
  while (ips >> ip) {
    ++count;
    EXPECT_NE(net.Address.find(PaddedAddress(ip)), std::string::npos) << net.Address;
  }
  if (count == 0) {
    EXPECT_EQ(net.Address + net.Mask + net.Dhcp, "");
  } else {
    EXPECT_NE(net.Mask, "");
  }

  // Wine's display adapter: a name, no memory, no driver version.
  EXPECT_EQ(VideoCardValue(), "Wine Adapter (driver )");
  // No default printer under Wine here: empty, never an error text.
  EXPECT_EQ(PrinterValue(), "");
  std::string privileges = PrivilegesText();
  EXPECT_NE(privileges.find("SeShutdownPrivilege            "), std::string::npos) << privileges;
  EXPECT_NE(SystemUpTimeText().find("second"), std::string::npos);

  // Process-wide times: the start (recorded by the logger's start) and the exception.
  TDateTime saved = LoggerStartTime();
  SetLoggerStartTime(LocalNow() - 2.0);
  EXPECT_EQ(UpTimeText().rfind("2 days, ", 0), 0u) << UpTimeText();
  SetLoggerStartTime(EncodeDate(2026, 3, 1) + EncodeTime(8, 5, 9, 0));
  EXPECT_EQ(StartDateText(), "Sun, 1 Mar 2026 08:05:09 " + ZoneText(LocalOffsetMinutes()));
  SetLoggerStartTime(saved);
  SetExceptionTime(0);
  EXPECT_EQ(ExceptionDateText(), "");
}

// Run by the test below in a process of its own whose zone the host sets.
TEST(SystemInformationChild, PrintZone) {
  char wanted[8] = {};
  if (!GetEnvironmentVariableA("VELMORA_PRINT_ZONE", wanted, sizeof wanted)) GTEST_SKIP() << "child only";
  std::printf("zone=%s date=%s\n", ZoneText(LocalOffsetMinutes()).c_str(),
              DateText(EncodeDate(2026, 1, 15) + EncodeTime(12, 0, 0, 0), LocalOffsetMinutes()).c_str());
}

// Wine follows the host's TZ: half-hour zones give their minutes.
TEST(SystemInformation, HalfHourZoneUnderAnotherTimeZone) {
  char self[MAX_PATH + 1] = {}, prefix[1024] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  ASSERT_GT(GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix), 0u);
  std::string unixSelf = std::string(self).substr(2);
  for (char& c : unixSelf)
    if (c == '\\') c = '/';
  std::optional<std::string> out = velmora::test::RunHostCommand(
      std::string("WINEPREFIX='") + prefix + "' WINEDEBUG=-all TZ=Asia/Kolkata VELMORA_PRINT_ZONE=1 timeout 60 "
      "/usr/bin/wine '" + unixSelf + "' --gtest_filter=SystemInformationChild.PrintZone 2>&1", 70000);
  ASSERT_TRUE(out.has_value());
  EXPECT_NE(out->find("zone=+0530 date=Thu, 15 Jan 2026 12:00:00 +0530"), std::string::npos) << *out;
}

TEST(SystemInformation, OtherVersionsThroughAnInjectedRecord) {
  TVersionRecord server;
  server.ProductType = 3;
  InjectVersion(server);
  EXPECT_EQ(OsTypeValue(), "Microsoft Windows Server 2008 R2");
  TVersionRecord nt4;
  nt4.Major = 4;
  nt4.Minor = 0;
  InjectVersion(nt4);
  EXPECT_EQ(OsTypeValue(), "Microsoft Windows NT 4.0");
  // NT 4 finds the card through the device map, whose adapter name is stored wide.
  EXPECT_EQ(VideoCardValue(), "Wine Adapter (driver )");
  TVersionRecord win95;
  win95.NT = false;
  win95.Major = 4;
  win95.Minor = 0;
  InjectVersion(win95);
  EXPECT_EQ(OsTypeValue(), "Microsoft Windows 95");
  EXPECT_EQ(VideoCardValue(), "");  // no display class key here
  InjectVersion(std::nullopt);
  EXPECT_EQ(OsTypeValue(), "Microsoft Windows 7");
}

// Owner and organisation come from the first of three keys that has them.
TEST(SystemInformation, OwnerAndOrganisationFromEachKeyInTurn) {
  struct {
    const char* Key;
    const char* Owner;
    const char* Company;
  } places[] = {{"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "RegisteredOwner", "RegisteredOrganization"},
                {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "RegisteredOwner", "RegisteredOrganization"},
                {"SOFTWARE\\Microsoft\\MS Setup (ACME)\\User Info", "DefName", "DefCompany"}};
  // Keep what the prefix holds, put it back after.
  std::vector<std::pair<std::string, std::string>> saved;
  for (const auto& p : places)
    saved.emplace_back(ReadRegistryText(HKEY_LOCAL_MACHINE, p.Key, p.Owner),
                       ReadRegistryText(HKEY_LOCAL_MACHINE, p.Key, p.Company));
  auto put = [](const char* key, const char* name, const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
    if (value.empty()) RegDeleteValueA(k, name);
    else RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), value.size() + 1);
    RegCloseKey(k);
  };
  for (const auto& p : places) {
    put(p.Key, p.Owner, "");
    put(p.Key, p.Company, "");
  }
  for (int i = 2; i >= 0; --i) {
    put(places[i].Key, places[i].Owner, "Owner " + std::to_string(i));
    put(places[i].Key, places[i].Company, "Company " + std::to_string(i));
    EXPECT_EQ(RegisteredOwnerText(), "Owner " + std::to_string(i));
    EXPECT_EQ(RegisteredOrganizationText(), "Company " + std::to_string(i));
  }
  put(places[0].Key, places[0].Owner, "Microsoft");
  EXPECT_EQ(RegisteredOwnerText(), "");  // a Windows 7 default, not a name
  for (size_t i = 0; i < 3; ++i) {
    put(places[i].Key, places[i].Owner, saved[i].first);
    put(places[i].Key, places[i].Company, saved[i].second);
  }
}

TEST(SystemInformation, ExceptionTypeAndMessage) {
  TExceptionRecord32 record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&ExceptionTypeValue));
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 8;
  record.ExceptionInformation[1] = 0x1234;
  EAccessViolation av("Access violation", record);
  char programPath[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, programPath, sizeof programPath), 0u);
  std::string program = ExtractFileName(programPath);
  EXPECT_EQ(ExceptionMessageValue(&av), Format("Access violation at address %.8X in module '%s'. Execution of address 00001234.",
                                               record.ExceptionAddress, program));
  EXPECT_EQ(LastExceptionMessage(), ExceptionMessageValue(&av));
  record.ExceptionAddress = 0x10;  // no module there
  record.ExceptionInformation[0] = 1;
  av.SetExceptionRecord(record);
  EXPECT_EQ(ExceptionMessageValue(&av), "Access violation at address 00000010. Write of address 00001234.");
  TActiveXException activeX("Call failed", "EOleSysError", {"EOleSysError"});
  EXPECT_EQ(ExceptionTypeValue(&activeX), "EOleSysError");
  EXPECT_EQ(ExceptionMessageValue(&activeX), "Call failed.");
  int notAnObject[4] = {1, 2, 3, 4};
  EXPECT_EQ(ExceptionTypeValue(notAnObject), "Unknown exception type");
  EXPECT_EQ(ExceptionMessageValue(notAnObject), "Unknown error message.");
  EXPECT_EQ(LastExceptionType(), "Unknown exception type");
  EXPECT_EQ(AddressValue(0), "");
  EXPECT_EQ(AddressValue(0x401000), "00401000");
  EXPECT_EQ(ModuleNameAtText(reinterpret_cast<uintptr_t>(&ExceptionTypeValue)), program);
  EXPECT_EQ(NameDescriptionText(nullptr), program);
  // The test programs link without a time stamp: no compilation date.
  EXPECT_EQ(ModuleBuildTime(nullptr), 0.0);
  EXPECT_EQ(CompilationDateText(nullptr), "");
}

}  // namespace
}  // namespace exclog
