#include "exclog/report/ESysInfo.h"

#include <gtest/gtest.h>

#include "exclog/core/ECore.h"

namespace exclog {
namespace {

TVersionRecord Ver(bool nt, uint32_t major, uint32_t minor, std::string pack = "", uint8_t type = 1) {
  TVersionRecord v;
  v.NT = nt;
  v.Major = major;
  v.Minor = minor;
  v.ServicePack = std::move(pack);
  v.ProductType = type;
  return v;
}

TEST(SystemName, EveryRowOfTheTableFromInjectedRecords) {
  struct {
    TVersionRecord V;
    bool Wow64;
    const char* Text;
  } rows[] = {
      {Ver(false, 4, 0), false, "95"},        {Ver(false, 4, 0, " B "), false, "95 OSR 2"},
      {Ver(false, 4, 10), false, "98"},       {Ver(false, 4, 10, "A"), false, "98 SE"},
      {Ver(false, 4, 89), false, "98"},       {Ver(false, 4, 90), true, "ME"},
      {Ver(false, 4, 95), false, "4.95"},     {Ver(true, 4, 0), false, "NT 4.0"},
      {Ver(true, 5, 0), false, "2000"},       {Ver(true, 5, 1), false, "XP"},
      {Ver(true, 5, 2), false, "XP"},         {Ver(true, 5, 2, "", 3), false, "2003"},
      {Ver(true, 5, 3), false, "5.3"},        {Ver(true, 6, 0), false, "Vista"},
      {Ver(true, 6, 0, "", 2), false, "Server 2008"},
      {Ver(true, 6, 1, "Service Pack 1"), false, "7"},
      {Ver(true, 6, 1, "", 3), true, "Server 2008 R2 (64 bit)"},
      {Ver(true, 10, 0), true, "10.0 (64 bit)"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(SystemNameText(r.V, r.Wow64), std::string("Microsoft Windows ") + r.Text);
  TVersionRecord old = Ver(false, 4, 10);
  old.Build = 0x040A08AE;
  EXPECT_EQ(BuildNumberOf(old), 0x08AEu);
  EXPECT_TRUE(Is95Before98(Ver(false, 4, 3)));
  EXPECT_TRUE(IsNTBefore2000(Ver(true, 4, 0)));
  EXPECT_FALSE(IsVistaOrLater(Ver(true, 5, 2)));
  EXPECT_EQ(VideoRouteFor(Ver(true, 6, 1), true), TVideoRoute::DisplayDevicesNT);
  EXPECT_EQ(VideoRouteFor(Ver(false, 4, 10), true), TVideoRoute::DisplayDevices98);
  EXPECT_EQ(VideoRouteFor(Ver(false, 4, 0), true), TVideoRoute::Class95);
  EXPECT_EQ(VideoRouteFor(Ver(true, 4, 0), false), TVideoRoute::Devicemap4);
}

TEST(Network, TwoAdaptersAndOneDnsServer) {
  TAdapterRecord first{true, "192.168.1.10", "255.255.255.0", "192.168.1.1", true, {"192.168.1.1"}};
  TAdapterRecord second{false, "10.0.0.5", "255.0.0.0", "", false, {}};
  TNetworkTexts t = NetworkTexts({first, second});
  EXPECT_EQ(t.Address, "192.168.001.010 - 010.000.000.005");
  EXPECT_EQ(t.Mask, "255.255.255.000 - 255.000.000.000");
  EXPECT_EQ(t.Gateway, "192.168.001.001 - 000.000.000.000");
  // The final " - " goes as on every value, taking the last blank of the padding.
  EXPECT_EQ(t.Dhcp, "ON              - OFF            ");
  EXPECT_EQ(t.Dns1, "192.168.001.001 - 000.000.000.000");
  EXPECT_EQ(t.Dns2, "000.000.000.000 - 000.000.000.000");
  // No adapter: every value empty, no placeholder address.
  TNetworkTexts none = NetworkTexts({});
  EXPECT_EQ(none.Address + none.Mask + none.Gateway + none.Dns1 + none.Dns2 + none.Dhcp, "");
}

TEST(AccessViolation, BothFormsAndTheExecutionWord) {
  TAccessViolation av;
  av.Address = 0x00401A2B;
  av.Kind = 1;
  av.AccessAddress = 0x10;
  EXPECT_EQ(AccessViolationMessage(av, ""), "Access violation at address 00401A2B. Write of address 00000010");
  av.InModule = true;
  av.Kind = 8;
  av.ModuleFileName = "C:\\PROGRA~1\\App\\app.exe";
  av.ModuleLongName = "C:\\Program Files\\App\\app.exe";
  std::string shortForm = "Access violation at address 00401A2B in module 'app.exe'. Execution of address 00000010";
  EXPECT_EQ(AccessViolationMessage(av, "x"), shortForm);
  // The same text as the original is made again with the long name.
  EXPECT_EQ(AccessViolationMessage(av, shortForm),
            "Access violation at address 00401A2B in module 'C:\\Program Files\\App\\app.exe'. Execution of "
            "address 00000010");
  EXPECT_EQ(AccessKindWord(0), "Read");
  EXPECT_EQ(WithFinalDot("done."), "done.");
  EXPECT_EQ(WithFinalDot(""), ".");
}

TEST(SystemValues, TextsFromGatheredValues) {
  EXPECT_EQ(ParametersText("  \"C:\\Program Files\\App\\app.exe\" /x  "), "/x");
  EXPECT_EQ(ParametersText("app.exe -a \"b c\""), "-a \"b c\"");
  EXPECT_EQ(ParametersText(".\\app\t/y"), "/y");  // started by a relative name
  EXPECT_EQ(ParametersText("\"app.exe\""), "");
  EXPECT_EQ(PrivilegeLine("SeDelegateSessionUserImpersonatePrivilege", true),
            "SeDelegateSessionUserImpersonatePrivilege - ON\r\n");
  EXPECT_EQ(PrivilegeLine("SeDebugPrivilege", false), "SeDebugPrivilege                - OFF\r\n");
  TVersionRecord seven = Ver(true, 6, 1), xp = Ver(true, 5, 1);
  EXPECT_EQ(RegisteredName({"", "Microsoft", "Joe"}, seven), "");
  EXPECT_EQ(RegisteredName({"", "Microsoft", "Joe"}, xp), "Microsoft");
  EXPECT_EQ(RegisteredName({"", "", "Joe"}, seven), "Joe");
  EXPECT_EQ(ProcessorText("  Intel(R) Core(TM) ", "x", "y"), "Intel(R) Core(TM)");
  EXPECT_EQ(ProcessorText("", " GenuineIntel ", " x86 Family 6 "), "GenuineIntel - x86 Family 6");
  EXPECT_EQ(ProcessorText("", "AuthenticAMD", ""), "AuthenticAMD");
  EXPECT_EQ(ProcessorText("", "", "x86"), "Unknown processor");
  EXPECT_EQ(VideoCardText(" Wine Adapter ", "", 0), "Wine Adapter (driver )");
  EXPECT_EQ(VideoCardText("Card", "6.1.7600.16385", 256u << 20), "Card (driver 6.1.7600.16385 - RAM 256 MB)");
  EXPECT_EQ(PrinterText("Laser", "6. 1. 2"), "Laser (driver 6.1.2)");
  EXPECT_EQ(PrinterText("Laser", ""), "");
  EXPECT_EQ(ProfilePrinterName("  Laser 5,winspool,LPT1:"), "Laser 5");
  EXPECT_EQ(WithoutZeroBytes(std::string("W\0i\0n\0", 6)), "Win");
  EXPECT_EQ(MegabytesText(1572864), "2 Mb");
  EXPECT_EQ(MegabytesText(1048575), "1 Mb");
  EXPECT_EQ(GigabytesText(1073741824ull * 12), "12 Gb");
  EXPECT_EQ(GigabytesText(1073741824ull * 25 / 2), "12.5 Gb");
  EXPECT_EQ(GigabytesText(1073741824ull / 3), "0.33 Gb");
  EXPECT_EQ(DisplayModeText(1024, 768, 24), "1024 x 768, 24 bit");
  EXPECT_EQ(LocaleIdOf("00000409"), 0x409u);
  EXPECT_EQ(LocaleIdOf("0000040C"), 0x40Cu);
  EXPECT_FALSE(LocaleIdOf("0409").has_value());
  EXPECT_EQ(CutDevicePrefix("\\??\\C:\\Windows\\x.dll"), "C:\\Windows\\x.dll");
  EXPECT_EQ(CutDevicePrefix("C:\\a\\b.dll"), "C:\\a\\b.dll");
}

}  // namespace
}  // namespace exclog
