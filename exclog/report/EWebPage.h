#pragma once
// The error page a program run as CGI answers with when it fails: the report's
// message in the options' page template, a title, an identifier comment and the
// page the program had written before, with the CGI response headers.
#include <cstdint>
#include <string>

namespace exclog {

// Eight upper-case hexadecimal digits.
std::string WebPageIdentifier(uint32_t random);

// The message (escaped) with the Ok button at the template's "<%HTML_TAG%>" (before
// "</body>", or at the end, when it has none); "<title>" with `title` (escaped) when
// the template has no title; then "<!-- QuelbaLog ID: <identifier> -->" and the
// program's last page.
std::string WebErrorPage(const std::string& pageTemplate, const std::string& message, const std::string& title,
                         const std::string& identifier, const std::string& lastPage);

// "Status: 500 Error", the type and the length headers, the empty line, the page.
std::string CgiErrorResponse(const std::string& page);

}  // namespace exclog
