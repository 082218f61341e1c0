#include "exclog/report/EWebPage.h"

#include <gtest/gtest.h>

#include "exclog/core/EOptionsData.h"
#include "exclog/report/EReportText.h"

namespace exclog {
namespace {

const std::string Ok = HtmlOkButton;

TEST(WebPage, DefaultTemplateGetsTitleMessageAndIdentifier) {
  std::string page = WebErrorPage(DefaultHtmlPage, "Disk full.", "Error occurred", WebPageIdentifier(0xABCD), "");
  EXPECT_EQ(page,
            "<html>\r\n  <head><title>Error occurred</title>\r\n  </head>\r\n  <body TopMargin=10 LeftMargin=10>\r\n"
            "    <table width=\"100%\" border=\"0\">\r\n      <tr>\r\n        <td nowrap>\r\n"
            "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n            Disk full." +
                Ok +
                "\r\n          </font>\r\n        </td>\r\n      </tr>\r\n    </table>\r\n  </body>\r\n</html>"
                "<!-- QuelbaLog ID: 0000ABCD -->");
  EXPECT_EQ(CgiErrorResponse("<p>\xE9</p>"), "Status: 500 Error\r\nContent-Type: text/html\r\nContent-Length: 8\r\n\r\n<p>\xE9</p>");
}

TEST(WebPage, TemplateWithoutTitleOrTagKeepsTheMessageAndEscapesEverything) {
  // No tag: the message goes before the end of the body; no title: one is added to
  // the head, its text escaped too; a title in capitals counts as one.
  std::string page = WebErrorPage("<HTML><BODY>Sorry.</BODY></HTML>", "a & <b> \"c\" 'd'  e\r\nf", "R&D <error>",
                                  "12345678", "<p>before</p>");
  EXPECT_EQ(page, "<HTML><head><title>R&amp;D &lt;error&gt;</title></head><BODY>Sorry."
                  "a &amp; &lt;b&gt; &quot;c&quot; &#039;d&#039;&nbsp;&nbsp;e<br>\r\nf" +
                      Ok + "</BODY></HTML><!-- QuelbaLog ID: 12345678 --><p>before</p>");
  EXPECT_EQ(WebErrorPage("<Head ><TITLE>t</TITLE></Head>text", "m", "x", "00000001", ""),
            "<Head ><TITLE>t</TITLE></Head>textm" + Ok + "<!-- QuelbaLog ID: 00000001 -->");
  // Nothing to hold it: a head of its own at the start.
  EXPECT_EQ(WebErrorPage("", "m", "x", "00000002", ""), "<head><title>x</title></head>m" + Ok + "<!-- QuelbaLog ID: 00000002 -->");
}

}  // namespace
}  // namespace exclog
