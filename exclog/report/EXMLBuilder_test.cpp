#include "exclog/report/EXMLBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "exclog/report/ELogFixtures_test.h"

namespace exclog {
namespace {

using test::Fixture;

// The peers are Linux programs: the Windows tree leaves these checks to the
// native one.
#ifndef _WIN32
// xmllint, the reference parser, accepts the document.
bool XmlLintAccepts(const std::string& xml) {
  std::string path = testing::TempDir() + "exclog_xml_check.xml";
  {
    std::ofstream out(path, std::ios::binary);
    out << xml;
  }
  int status = std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str());
  std::remove(path.c_str());
  return status == 0;
}

// The independent reader finds every attribute of `xml` in the text log `log`.
bool ReaderAgrees(const std::string& log, const std::string& xml) {
  std::string base = testing::TempDir() + "exclog_reader_check";
  std::ofstream(base + ".qlf", std::ios::binary) << log;
  std::ofstream(base + ".xml", std::ios::binary) << xml;
  int status = std::system(("/usr/bin/python3 '" VELMORA_SOURCE_DIR "/tests/peers/report_xml_check.py' '" + base +
                            ".qlf' '" + base + ".xml' >/dev/null")
                               .c_str());
  std::remove((base + ".qlf").c_str());
  std::remove((base + ".xml").c_str());
  return status == 0;
}
#endif

TEST(XmlItems, RenderingAndAttributeEscapes) {
  TXMLItem empty("Empty");
  EXPECT_EQ(empty.Render(), "<Empty/>\r\n");
  empty.AddAttribute("A", "<&\xE9");
  EXPECT_EQ(empty.Render(), "<Empty A=\"&#060;&#038;&#233;\"/>\r\n");

  TXMLItems top;
  TXMLItem* root = top.Add("Root");
  root->Indent = "  ";
  TXMLItem* child = root->AddChild("Child");
  EXPECT_EQ(child->Parent, root);
  child->AddChild("Leaf")->AddAttribute("V", "1");
  root->AddChild("Text")->Text = "a<b";
  EXPECT_EQ(top.Render(),
            "  <Root>\r\n"
            "    <Child>\r\n"
            "      <Leaf V=\"1\"/>\r\n"
            "    </Child>\r\n"
            "    <Text>a&#060;b</Text>\r\n"
            "  </Root>\r\n");
}

TEST(XmlItems, EscapesMakeWellFormedXml) {
  EXPECT_EQ(EscapeXmlText("\"'>"), "&#034;&#039;&#062;");
  EXPECT_EQ(EscapeXmlText("a\tb\r\n"), "a&#009;b&#013;&#010;");
  // No XML character: written as "?".
  EXPECT_EQ(EscapeXmlText(std::string("\x01\x1F\x00", 3)), "???");
  // The ANSI code page's upper half by code point.
  EXPECT_EQ(EscapeXmlText("\x80\x9F\xFF"), "&#8364;&#376;&#255;");
  EXPECT_EQ(EscapeXmlText("\x7F"), "&#127;");
  std::string every;
  for (int c = 1; c < 256; ++c) every += static_cast<char>(c);
  TXMLItem item("All");
  item.AddAttribute("Bytes", every);
  item.Text = every;
#ifndef _WIN32
  EXPECT_TRUE(XmlLintAccepts(item.Render()));
#endif
}

TEST(XmlLog, HandWrittenEntriesExportAsTheGolden) {
  TLogEntries log;
  log.Load(Fixture("report-a.txt") + "\r\n\r\n\r\n\r\n" + Fixture("report-old.txt"));
  ASSERT_EQ(log.Count(), 2);
  std::string xml = LogToXml(log, "");
  EXPECT_EQ(xml, Fixture("report-a.xml") + "\r\n");
#ifndef _WIN32
  EXPECT_TRUE(XmlLintAccepts(xml));
  EXPECT_TRUE(ReaderAgrees(log.FileText(), xml));
  EXPECT_FALSE(ReaderAgrees(log.FileText(), LogToXml(TLogEntries(), "")));
#endif
  EXPECT_EQ(LogEntryVersion(log.Entry(1)), "4.2.1");
  TLogEntries none;
  EXPECT_EQ(LogToXml(none, ""), "<Doc>\r\n</Doc>\r\n");
}

// A call-stack table with one row, cells as given.
std::string StackEntry(const std::string& unit, const std::string& cls, const std::string& procedure) {
  return "QuelbaLog 6.1.04\r\n\r\nException:\r\n----\r\n  2.7 ID: 1\r\n\r\n"
         "Call Stack Information:\r\n---\r\n|Address |Module|Unit|Class|Procedure/Method|Line|\r\n---\r\n"
         "|*Exception Thread: ID=1; Priority=0; Class=|\r\n|---|\r\n"
         "|00401000|a.exe|" + unit + "|" + cls + "|" + procedure + "|7|\r\n---\r\n\r\n";
}

std::string StackLine(const std::string& entry, const std::string& passPhrase) {
  TLogEntries log;
  log.Load(entry);
  std::string xml = LogToXml(log, passPhrase);
  size_t start = xml.find("<Line Address=\"00401000\"");
  return start == std::string::npos ? "" : xml.substr(start, xml.find("/>", start) - start);
}

TEST(XmlLog, EncipheredNamesAreReadWithThePassPhrase) {
  std::string unit = "?c" + EncipherName("Velmora_win", "secret");
  std::string procedure = "?" + EncipherName("TMainForm.RaiseItemClick", "secret");
  EXPECT_EQ(StackLine(StackEntry(unit, "", procedure), "secret"),
            "<Line Address=\"00401000\" Module=\"a.exe\" Unit=\"Velmora_win.cpp\" Class=\"TMainForm\" "
            "Procedure=\"RaiseItemClick\" Number=\"7\" Offset=\"\"");
  // A Pascal unit, a class cell of its own and a procedure starting with "@".
  std::string pascal = "?p" + EncipherName("Main", "secret");
  std::string cls = "?" + EncipherName("TApp", "secret");
  EXPECT_EQ(StackLine(StackEntry(pascal, cls, "?" + EncipherName("@Run", "secret")), "secret"),
            "<Line Address=\"00401000\" Module=\"a.exe\" Unit=\"Main.pas\" Class=\"TApp\" "
            "Procedure=\"_Run\" Number=\"7\" Offset=\"\"");
  // Without the pass phrase, or with a wrong one, the cells stand as written.
  for (const char* phrase : {"", "wrong"})
    EXPECT_EQ(StackLine(StackEntry(unit, "", procedure), phrase),
              "<Line Address=\"00401000\" Module=\"a.exe\" Unit=\"" + unit + "\" Class=\"\" Procedure=\"" +
                  procedure + "\" Number=\"7\" Offset=\"\"")
        << phrase;
  EXPECT_EQ(DecipherName(EncipherName("x.y", "k"), "k"), "x.y");
  EXPECT_EQ(DecipherName("not hex", "k"), "not hex");
}

}  // namespace
}  // namespace exclog
