#include "exclog/sending/EWebForms.h"

#include <gtest/gtest.h>

#include <string>

namespace exclog {
namespace {

TEST(EWebForms, InputValuesWithQuotesBlanksAndSelfClosingTags) {
  const std::string page =
      "<form><INPUT type=\"hidden\" data-x='name=\"token\" value=\"fake\"' name=\"token\" value=\"a b>c\">"
      "<input name = 'single' value = 'it\"s' />"
      "<input name=bare value=plain/>"
      "<input name=\"flag\" checked>"
      "<inputs name=\"token\" value=\"not an input\">"
      "<input name=\"ent\" value=\"&lt;b&gt; &quot;x&quot; &amp;amp; &#65;&#066;&nbsp;&apos;\"></form>";
  EXPECT_EQ(FindInput(page, "token"), "a b>c");
  EXPECT_EQ(FindInput(page, "single"), "it\"s");
  EXPECT_EQ(FindInput(page, "bare"), "plain");
  EXPECT_EQ(FindInput(page, "flag"), "");  // found, no value
  EXPECT_EQ(FindInput(page, "missing"), std::nullopt);
  // One pass: "&amp;amp;" is "&amp;" on the page's reader's side, not "&".
  EXPECT_EQ(FindInput(page, "ent"), "<b> \"x\" &amp; AB '");
}

TEST(EWebForms, EntitiesDecodeOnceAndLeaveTheUnknownAlone) {
  EXPECT_EQ(DecodeEntities("&amp;lt;"), "&lt;");
  EXPECT_EQ(DecodeEntities("&amp;#65;"), "&#65;");
  EXPECT_EQ(DecodeEntities("&#0; &#256; &#99999999999999999999; &#; &#65 &copy; &"),
            "&#0; &#256; &#99999999999999999999; &#; &#65 &copy; &");
  EXPECT_EQ(DecodeEntities(DecodeEntities("&amp;amp;")), "&");
}

TEST(EWebForms, TextAreasSelectsAndOptions) {
  const std::string page =
      "<textarea name=\"other\">no</textarea>"
      "<TEXTAREA name=\"description\" rows=\"5\">line &amp;lt;1&amp;gt;\n<b>two</b></textarea>"
      "<select name=\"severity\"><option value=\"10\">minor<option value=\"50\" selected=\"selected\">major"
      "</select>"
      "<select name=\"handler_id\"><option value=\"0\" selected></option>"
      "<option value=\"7\"> Ann &amp; Co </option><option>Bob</option></select>"
      "<select name=\"status\"><option value=\"80\">resolved</option></select>"
      "<a href=\"bug_update_page.php?bug_id=42&amp;x=1\">x</a> <a href='view.php?id=9'>";
  EXPECT_EQ(FindTextArea(page, "description"), "line &lt;1&gt;\n<b>two</b>");
  EXPECT_EQ(FindTextArea(page, "none"), std::nullopt);
  EXPECT_EQ(FindSelected(page, "severity"), "50");
  EXPECT_EQ(FindSelected(page, "handler_id"), "0");
  EXPECT_EQ(FindSelected(page, "status"), std::nullopt);
  EXPECT_EQ(FindOption(page, "handler_id", "Ann & Co"), "7");
  EXPECT_EQ(FindOption(page, "handler_id", "Bob"), "Bob");  // no value: its text
  EXPECT_EQ(FindOption(page, "handler_id", "Carl"), std::nullopt);
  EXPECT_TRUE(HasSelect(page, "status"));
  EXPECT_FALSE(HasSelect(page, "description"));
  EXPECT_EQ(TextAfter(page, "bug_update_page.php?bug_id="), "42");
  EXPECT_EQ(TextAfter(page, "id=", 2), "9");
  EXPECT_EQ(TextAfter(page, "view.php?id="), "9");
  EXPECT_EQ(TextAfter(page, "view.php?id=", 2), "");
  EXPECT_EQ(TextAfter(page, "nothing"), "");
}

TEST(EWebForms, HostilePagesStayInsideThePage) {
  // A quote that never closes: that tag and the rest end at their first ">".
  const std::string page = "<input name=\"a\" value=\"x><input name=\"b\" value=\"y\">";
  EXPECT_EQ(FindInput(page, "b"), "y");
  EXPECT_EQ(FindInput("<input name=\"a", "a"), std::nullopt);
  EXPECT_EQ(FindInput("<input name='a' value='unterminated>", "a"), "unterminated");
  EXPECT_EQ(FindTextArea("<textarea name=x>no end", "x"), std::nullopt);
  EXPECT_EQ(FindSelected("<select name=s><option selected value=\"1", "s"), std::nullopt);
  EXPECT_EQ(TextAfter("abc=", "abc="), "");
  EXPECT_EQ(TagAttribute("<input value=", "value"), "");
  EXPECT_EQ(TagAttribute("<input = = value", "value"), "");
}

}  // namespace
}  // namespace exclog
