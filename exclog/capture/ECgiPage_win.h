#pragma once
// A program run as CGI answers a failed request with the logger's error page on
// its standard output.
#include <string>

#include "exclog/core/ExceptionLog.h"

namespace exclog {

// The "CGI and web error pages" entry of the report handler seams.
void WriteCgiErrorPage(const TReportJob& job, const std::string& report);
// The identifier of the last error page ("" before the first).
std::string LastWebPageIdentifier();

}  // namespace exclog
