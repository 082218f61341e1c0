#include "exclog/report/ERtfRender_win.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include "exclog/report/ERtfRender.h"
#include "tests/support/ReportPartSamples.h"

namespace exclog {
namespace {

using namespace velmora::test;

class TRichEdit {
 public:
  TRichEdit() {
    library_ = LoadLibraryA("riched20.dll");
    window_ = CreateWindowExA(0, "RichEdit20A", "", WS_POPUP | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0, 600,
                              300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~TRichEdit() {
    if (window_) DestroyWindow(window_);
    if (library_) FreeLibrary(library_);
  }
  HWND Window() const { return window_; }
  std::string Text() const {
    char buffer[8192] = {};
    SendMessageA(window_, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  // Colour and effects of the character at `index`.
  CHARFORMAT2A At(int index) const {
    CHARRANGE range{index, index + 1};
    SendMessageA(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2A format{};
    format.cbSize = sizeof format;
    SendMessageA(window_, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
  }
  COLORREF ColourAt(const std::string& piece) const {
    size_t at = Text().find(piece);
    EXPECT_NE(at, std::string::npos) << piece;
    return at == std::string::npos ? CLR_INVALID : At(static_cast<int>(at)).crTextColor;
  }

 private:
  HMODULE library_ = nullptr;
  HWND window_ = nullptr;
};

TEST(RichEditPages, RenderedPartsShowTheirTextAndColours) {
  TRichEdit edit;
  ASSERT_NE(edit.Window(), nullptr);
  HFONT font = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
  const int dashes = DashPixelWidth(font);
  EXPECT_GT(dashes, 20);
  TRtfFont rtfFont{0, "Courier New", 8};

  EXPECT_GT(StreamRtfIntoRichEdit(edit.Window(), RenderReportPartRtf(TRtfPart::Cpu, kCpu, rtfFont, dashes)), 0);
  std::string text = edit.Text();
  EXPECT_EQ(text.find("EAX: 0012FF00   EDI: 00000001\r\n"), text.find("EAX"));
  EXPECT_NE(text.find("Stack:\tMemory Dump:"), std::string::npos) << text;
  EXPECT_NE(text.find("00401000\t00401000: 5C 7B"), std::string::npos) << text;
  EXPECT_NE(text.find("\\{}ABC..~. 01234"), std::string::npos) << text;
  EXPECT_EQ(edit.ColourAt("0012FF00   EDI"), RGB(0, 0, 160));
  EXPECT_EQ(edit.ColourAt("EDI"), RGB(0, 0, 0));
  EXPECT_EQ(edit.ColourAt("\\{}ABC"), RGB(160, 0, 0));
  EXPECT_EQ(edit.ColourAt("Registers"), RGB(40, 40, 40));
  EXPECT_TRUE(edit.At(0).dwEffects & CFE_BOLD);

  StreamRtfIntoRichEdit(edit.Window(), RenderReportPartRtf(TRtfPart::Assembler, kAssembler, rtfFont));
  EXPECT_EQ(edit.Text(), kAssembler);
  EXPECT_EQ(edit.ColourAt("; Unit1"), RGB(80, 80, 80));
  EXPECT_EQ(edit.ColourAt("0040102A"), RGB(160, 0, 0));
  EXPECT_EQ(edit.ColourAt("mov"), RGB(0, 0, 160));
  EXPECT_TRUE(edit.At(static_cast<int>(edit.Text().find("mov"))).dwEffects & CFE_BOLD);
  EXPECT_EQ(edit.ColourAt("eax"), RGB(0, 100, 0));
  EXPECT_FALSE(edit.At(static_cast<int>(edit.Text().find("eax"))).dwEffects & CFE_BOLD);
  EXPECT_EQ(edit.ColourAt("<-- EXC"), RGB(80, 80, 80));

  // A negative background names a system colour.
  SetRichEditBackground(edit.Window(), static_cast<int32_t>(0x80000000u | COLOR_INFOBK));
  COLORREF previous = static_cast<COLORREF>(SendMessageA(edit.Window(), EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
  EXPECT_EQ(previous, GetSysColor(COLOR_INFOBK));
  SetRichEditBackground(edit.Window(), RGB(255, 255, 255));
  previous = static_cast<COLORREF>(SendMessageA(edit.Window(), EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
  EXPECT_EQ(previous, RGB(255, 255, 255));
}

}  // namespace
}  // namespace exclog
