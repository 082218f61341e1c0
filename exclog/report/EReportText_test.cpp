#include "exclog/report/EReportText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "exclog/core/EConsts.h"
#include "exclog/core/EOptionsData.h"
#include "exclog/report/EInternalError.h"

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

std::string Golden(const std::string& name) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/data/report/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string GoldenPath(const std::string& name) {
  return std::string(VELMORA_SOURCE_DIR) + "/tests/data/report/" + name;
}

void PutRegister(TReportSnapshot& s, size_t offset, uint32_t value) { std::memcpy(&s.Context[offset], &value, 4); }

TReportSnapshot BaseSnapshot() {
  TReportSnapshot s;
  for (int i = 0; i < TextCount; ++i) s.Texts.emplace_back(DefaultText(i));
  s.ReportFields = {0, 0, 0, 0, 0, 0};
  return s;
}

void ShowFields(TReportSnapshot& s, int first, int last) {
  for (int f = first; f <= last; ++f) s.ReportFields[static_cast<size_t>(f / 8)] |= static_cast<uint8_t>(1u << (f % 8));
}

// Stack bytes 0x00401000 + i, code bytes 0..255, at the exception address 00401A2B.
void FillMemory(TReportSnapshot& s) {
  s.ExceptionAddress = 0x00401A2B;
  s.StackPointer = 0x0012FF00;
  s.StackReadable = s.CodeReadable = true;
  for (uint32_t i = 0; i < 16; ++i) {
    uint32_t v = 0x00401000 + i;
    std::memcpy(&s.StackBytes[i * 4], &v, 4);
  }
  for (size_t i = 0; i < 256; ++i) s.CodeBytes[i] = static_cast<uint8_t>(i);
}

TReportStackEntry Entry(uint8_t kind, uint32_t address, const char* unit, const char* cls, const char* routine,
                        uint32_t line, uint32_t offset) {
  TReportStackEntry e;
  e.Kind = kind;
  e.Address = address;
  e.ModuleName = "Velmora.exe";
  e.UnitName = unit;
  e.ClassName = cls;
  e.RoutineName = routine;
  e.Line = line;
  e.LineOffset = offset;
  return e;
}

TReportSnapshot FullSnapshot() {
  TReportSnapshot s = BaseSnapshot();
  ShowFields(s, 1, 40);  // field 0 and the network hidden
  s.LogFlags = 0x30;
  s.StackDetailFlags = 3;
  const char* values[41] = {"Mon, 7 Dec 2026 06:00:00 +0000", "Velmora.exe - (Velmora)", "1.0.0.0", "",
                            "Sun, 6 Dec 2026 23:00:00 +0000", "1 minute, 5 seconds", "Mon, 7 Dec 2026 06:01:05 +0000",
                            "00401A2B", "Velmora.exe - (Velmora)", "1.0.0.0", "EConvertError",
                            "Bad value: 12\r\n\r\nCheck:", "", "", "", "", "anna", "Anna", "",
                            "SeShutdownPrivilege             - OFF\r\nSeChangeNotifyPrivilege         - ON\r\n",
                            "Velmora Ltd", "TMainForm", "Velmora", "TButton", "Raise", "PC1", "512 Mb", "256 Mb",
                            "10.00 Gb", "5.50 Gb", "2 hours, 3 seconds", "Intel", "1024 x 768, 32 bit", "96", "", "",
                            "Microsoft Windows 7", "7601", "Service Pack 1", "English", "0"};
  for (int i = 0; i < 41; ++i) s.Values[static_cast<size_t>(i)] = values[i];
  s.Values[41] = "010.000.000.002";  // hidden
  FillMemory(s);
  s.ContextReadable = true;
  PutRegister(s, 176, 1);  // EAX
  PutRegister(s, 156, 2);  // EDI
  PutRegister(s, 164, 3);  // EBX
  PutRegister(s, 160, 4);  // ESI
  PutRegister(s, 172, 5);  // ECX
  PutRegister(s, 196, 0x0012FF00);  // ESP
  PutRegister(s, 168, 7);  // EDX
  PutRegister(s, 184, 0x00401A2B);  // EIP
  s.AsmHeader = "Assembler Information:\r\n----------------------";
  s.AsmText = "; Velmora_win.RaiseItemClick (Line=120)\r\n00401A2B  8B 45 FC   mov eax, [ebp-$04]";

  TReportStackEntry raising = Entry(4, 0x00401A2B, "Velmora_win", "TMainForm", "RaiseItemClick", 120, 4);
  raising.ThreadId = 1204;
  raising.Running = raising.Raising = 1;
  raising.Priority = "Normal";
  raising.MainThread = true;
  s.Stack.push_back(raising);
  TReportStackEntry run = Entry(2, 0x00402000, "", "", "Run", 0, 0);
  run.ThreadId = 1204;
  run.Running = 1;
  run.Raising = 2;  // still the raising thread: only 1 opens a block
  s.Stack.push_back(run);
  TReportStackEntry system = Entry(1, 0x7C800000, "", "", "", 0, 0);  // module only: not shown
  system.ModuleName = "kernel32.dll";
  system.ThreadId = 1204;
  system.Running = 1;
  s.Stack.push_back(system);
  TReportStackEntry worker = Entry(4, 0x00403010, "Worker", "TWorker", "Execute", 57, 0);
  worker.ThreadId = 1300;
  worker.Running = 1;
  worker.Priority = "Higher";
  worker.ThreadClass = "TWorker";
  worker.ThreadName = "disk|reader";
  s.Stack.push_back(worker);
  TReportStackEntry calling = Entry(3, 0x00404000, "Tasks", "", "Wait", 0, 0);
  calling.ThreadId = 1400;
  calling.Priority = "Normal";
  s.Stack.push_back(calling);
  TReportStackEntry leak = Entry(4, 0x00405000, "Leaks", "", "Make", 9, 2);
  leak.ThreadId = 1204;
  leak.Leak = true;
  leak.LeakType = "Data";
  leak.LeakSize = 64;
  leak.LeakCount = 2;
  s.Stack.push_back(leak);

  TReportModuleRow host;
  host.Handle = 0x00400000;
  host.FileName = "Velmora.exe";
  host.Description = "Velmora|host\r\nprogram";
  host.Version = "1.0.0.0";
  host.Size = 123456;
  host.Modified = EncodeDate(2026, 12, 5) + EncodeTime(23, 0, 0, 0);
  host.Path = "C:\\Velmora\\Velmora.exe";
  s.Modules.push_back(host);
  TReportModuleRow kernel;
  kernel.Handle = 0x7C800000;
  kernel.FileName = "kernel32.dll";
  kernel.Description = "Kernel";
  kernel.Version = "6.1.7601.0";
  kernel.Size = 1024;
  kernel.Modified = EncodeDate(2010, 11, 20) + EncodeTime(12, 0, 0, 0);
  kernel.Path = "\\??\\C:\\windows\\system32\\kernel32.dll";
  s.Modules.push_back(kernel);
  TReportProcessRow self;
  self.ProcessId = 1204;
  self.FileName = "Velmora.exe";
  self.Description = "Velmora";
  self.Version = "1.0.0.0";
  self.Memory = 20480;
  self.PriorityClass = 32;
  self.Threads = 5;
  self.Path = "C:\\Velmora\\Velmora.exe";
  s.Processes.push_back(self);
  TReportProcessRow server;
  server.ProcessId = 8;
  server.FileName = "wineserver";
  server.PriorityClass = 7;
  server.Path = "C:\\windows\\wineserver";
  s.Processes.push_back(server);
  return s;
}

// The exception section only, the type and message shown.
TReportSnapshot SmallSnapshot() {
  TReportSnapshot s = BaseSnapshot();
  ShowFields(s, 10, 11);
  s.Values[10] = "EAccessViolation";
  s.Values[11] = "Access violation";
  s.LogFlags = 0x30;
  return s;
}

TReportSnapshot UnreadableContextSnapshot() {
  TReportSnapshot s = SmallSnapshot();
  FillMemory(s);
  s.AsmHeader = "Assembler Information:\r\n----------------------";
  s.AsmText = "00401A2B  C3   ret";
  return s;
}

TReportSnapshot TablesOffSnapshot() {
  TReportSnapshot s = SmallSnapshot();
  s.LogFlags = 0;
  TReportStackEntry e = Entry(4, 0x00401A2B, "Velmora_win", "", "Raise", 0, 0);
  e.ThreadId = -1;  // an unknown id prints as 0
  e.Running = e.Raising = 1;
  e.Priority = "Normal";
  s.Stack.push_back(e);
  s.Modules.push_back({});  // not listed with the tables off
  return s;
}

TReportSnapshot UnreadableAddressSnapshot() {
  TReportSnapshot s = SmallSnapshot();
  s.ContextReadable = true;
  PutRegister(s, 184, 0x00000010);
  PutRegister(s, 196, 0x0012FF00);
  s.ExceptionAddress = 0x00000010;
  s.StackPointer = 0x0012FF00;
  s.StackReadable = true;  // the code is not: no dump, no listing
  return s;
}

struct TGoldenCase {
  const char* File;
  TReportSnapshot (*Make)();
  uint32_t Id;
};
const TGoldenCase GoldenCases[] = {
    {"full.txt", &FullSnapshot, 0x00ABCDEF},
    {"unreadable_context.txt", &UnreadableContextSnapshot, 0x12345678},
    {"tables_off.txt", &TablesOffSnapshot, 1},
    {"unreadable_address.txt", &UnreadableAddressSnapshot, 0xFFFFFFFF},
};

TEST(ReportText, ReportsMatchTheirHandWrittenTextsByteForByte) {
  for (const TGoldenCase& c : GoldenCases) {
    std::string golden = Golden(c.File);
    ASSERT_FALSE(golden.empty()) << c.File;
    std::string report = BuildReportText(c.Make(), c.Id);
    EXPECT_EQ(report, golden) << c.File;
    TReportPieces pieces = ReportPieces();
    EXPECT_EQ(pieces.LastReport, report) << c.File;
    EXPECT_EQ(pieces.ReportCopy, report) << c.File;
    EXPECT_EQ(pieces.Header, std::string(DefaultText(4)) + "\r\n\r\n");
    EXPECT_EQ(ProgressCode(), 7040u);
  }
}

TEST(ReportText, EachBuildStartsFromEmptyPieces) {
  BuildReportText(FullSnapshot(), 1);
  SetReportCopy("the whole log");
  EXPECT_EQ(ReportPieces().ReportCopy, "the whole log");
  BuildReportText(TablesOffSnapshot(), 1);
  TReportPieces pieces = ReportPieces();
  EXPECT_TRUE(pieces.AsmText.empty());
  EXPECT_EQ(pieces.ReportCopy, pieces.LastReport);
}

TEST(LogItem, RendersFromRecordsSoValuesNeverPassForTitles) {
  TLogItem item;
  item.AddSection("First");
  item.AddField("Value", "a\rTitle:\n\nx: y", true);
  item.AddField("Gone", "z", false);
  item.AddField("Label", "one line: kept", true);
  item.AddSection("Empty");
  item.AddField("Hidden", "h", false);
  item.AddSection("Last");
  item.AddField("L", "v", true);
  EXPECT_EQ(item.GetText(),
            "First:\r\n"
            "---------------------------\r\n"
            "  1.1 Value: a\r\n"
            "             Title:\r\n"
            "             .\r\n"
            "             x:_y\r\n"
            "  1.3 Label: one line: kept\r\n"
            "\r\n"
            "Last:\r\n"
            "----------\r\n"
            "  3.1 L: v");
}

TEST(HtmlPage, ReportGoesAtTheTagEscapedWithOneOkButton) {
  std::string page = HtmlReportPage("<body><%HTML_TAG%></body>", "a<b\r\nc");
  EXPECT_EQ(page, std::string("<body>a&lt;b<br>\r\nc") + HtmlOkButton + "</body>");
  std::string withButton = std::string("<p><%HTML_TAG%>") + HtmlOkButton;
  EXPECT_EQ(HtmlReportPage(withButton, "x"), std::string("<p>x") + HtmlOkButton);
  EXPECT_EQ(HtmlReportPage("<p>", "x"), std::string("<p>x") + HtmlOkButton);
}

#ifndef _WIN32
// Every golden, with a message that looks like markup, makes a page an HTML parser
// takes without a complaint.
TEST(HtmlPage, PagesOfTheGoldensPassAnHtmlParser) {
  peers::TScratchDir dir;
  for (const char* name : {"full.txt", "unreadable_context.txt", "tables_off.txt", "unreadable_address.txt"}) {
    std::string text = Golden(name) + "\r\n  2.6 Message: </font></td><x a=\"1\" b='2'> & more\r\n";
    std::string page = HtmlReportPage(DefaultHtmlPage, text);
    peers::WriteBytes(dir / "page.html", std::vector<uint8_t>(page.begin(), page.end()));
    auto r = peers::Run("xmllint --html --noout " + peers::Quote(dir / "page.html") + " 2>&1");
    EXPECT_EQ(r.ExitCode, 0) << name;
    EXPECT_EQ(r.Output, "") << name;
  }
}

// The independent reader takes every golden back apart.
TEST(ReportText, GoldensReadBackThroughTheIndependentReader) {
  auto read = [](const std::string& file) {
    auto r = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("report_reader.py")) + " " +
                        peers::Quote(GoldenPath(file)));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return r.Output;
  };
  std::string full = read("full.txt");
  for (const char* line :
       {"field 1.2 Name/Description=Velmora.exe - (Velmora)\n", "field 2.6 Message=Bad value: 12\\n\\nCheck:\n",
        "field 2.7 ID=00ABCDEF\n", "field 3.4 Company=Velmora Ltd\n", "field 1.4 Parameters=\n",
        "field 3.5 Privileges=SeShutdownPrivilege             - OFF\\nSeChangeNotifyPrivilege         - ON\n",
        "table Call Stack Information rows=5 blocks=4\n", "table Modules Information rows=2 blocks=0\n",
        "cell Modules Information 1 Description=Velmora?host??program\n",
        "cell Call Stack Information 1 Line=120[4]\n", "cell Call Stack Information 2 Line=\n",
        "table Processes Information rows=2 blocks=0\n", "cpu EIP=00401A2B\n", "dump 15 00401B1B F0\n"})
    EXPECT_NE(full.find(line), std::string::npos) << line << full;
  EXPECT_EQ(full.find("field 1.1"), std::string::npos) << full;
  std::string context = read("unreadable_context.txt");
  EXPECT_NE(context.find("cpu EAX=????"), std::string::npos) << context;
  EXPECT_NE(context.find("table Call Stack Information rows=0 blocks=0\n"), std::string::npos) << context;
  EXPECT_NE(context.find("dump 0 00401A2B 00\n"), std::string::npos) << context;
  std::string off = read("tables_off.txt");
  EXPECT_NE(off.find("disabled Modules Information\n"), std::string::npos) << off;
  EXPECT_NE(off.find("disabled Registers\n"), std::string::npos) << off;
  std::string address = read("unreadable_address.txt");
  EXPECT_NE(address.find("cpu EIP=00000010\n"), std::string::npos) << address;
  EXPECT_EQ(address.find("dump "), std::string::npos) << address;
}
#endif

}  // namespace
}  // namespace exclog
