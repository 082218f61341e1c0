#include "exclog/report/EWebPage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "exclog/core/ETextFormat.h"
#include "exclog/report/EReportText.h"

namespace exclog {

namespace {

size_t FindNoCase(const std::string& text, const std::string& what, size_t from = 0) {
  auto at = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(),
                        what.begin(), what.end(), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                        });
  return at == text.end() ? std::string::npos : static_cast<size_t>(at - text.begin());
}

// The end of the start tag `name` ("<head", "<html"): the position after its ">".
size_t AfterStartTag(const std::string& page, const std::string& name) {
  for (size_t at = FindNoCase(page, name); at != std::string::npos; at = FindNoCase(page, name, at + 1)) {
    size_t next = at + name.size();
    if (next < page.size() && (page[next] == '>' || std::isspace(static_cast<unsigned char>(page[next])))) {
      size_t close = page.find('>', next);
      if (close != std::string::npos) return close + 1;
    }
  }
  return std::string::npos;
}

std::string WithTitle(std::string page, const std::string& title) {
  size_t open = FindNoCase(page, "<title>");
  if (open != std::string::npos && FindNoCase(page, "</title>", open) != std::string::npos) return page;
  std::string element = "<title>" + HtmlEscape(title) + "</title>";
  size_t at = AfterStartTag(page, "<head");
  if (at == std::string::npos) {
    element = "<head>" + element + "</head>";
    at = AfterStartTag(page, "<html");
    if (at == std::string::npos) at = 0;
  }
  return page.insert(at, element);
}

}  // namespace

std::string WebPageIdentifier(uint32_t random) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", random);
  return text;
}

std::string WebErrorPage(const std::string& pageTemplate, const std::string& message, const std::string& title,
                         const std::string& identifier, const std::string& lastPage) {
  std::string page = pageTemplate;
  // Without the tag the message goes where a page's text ends.
  if (page.find("<%HTML_TAG%>") == std::string::npos) {
    size_t end = FindNoCase(page, "</body>");
    page.insert(end == std::string::npos ? page.size() : end, "<%HTML_TAG%>");
  }
  page = WithTitle(HtmlReportPage(page, message), title);
  return page + "<!-- QuelbaLog ID: " + identifier + " -->" + lastPage;
}

std::string CgiErrorResponse(const std::string& page) {
  return "Status: 500 Error\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
         "\r\n\r\n" + page;
}

}  // namespace exclog
