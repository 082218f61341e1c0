#include "exclog/capture/ECgiPage_win.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <random>

#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/EConsts.h"
#include "exclog/core/EOptionsData.h"
#include "exclog/report/EWebPage.h"

namespace exclog {

namespace {

std::mutex identifierLock;
std::string lastIdentifier;

std::string NewIdentifier() {
  static std::mt19937 random(static_cast<uint32_t>(GetTickCount() ^ GetCurrentProcessId()));
  std::lock_guard<std::mutex> hold(identifierLock);
  lastIdentifier = WebPageIdentifier(static_cast<uint32_t>(random()));
  return lastIdentifier;
}

// Writes all of `text` through the system's WriteFile (so the page capture keeps
// the program's own page), as many calls as it takes.
bool WriteAll(HANDLE file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    if (!KernelOriginals().WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

void WriteCgiErrorPage(const TReportJob& job, const std::string&) {
  TQuelbaModuleOptions& options = ReportOptions();
  std::string pageTemplate = options.HtmlPage().empty() ? std::string(DefaultHtmlPage) : options.HtmlPage();
  std::string message = job.Exception.Message;
  if (!message.empty() && message.back() != '.') message += '.';
  std::string page = WebErrorPage(pageTemplate, message, options.Text(3), NewIdentifier(), LastCgiPage());
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!output || output == INVALID_HANDLE_VALUE || !WriteAll(output, CgiErrorResponse(page)))
    ReportInternalError("CGI: Cannot write in the ouput file.");
}

std::string LastWebPageIdentifier() {
  std::lock_guard<std::mutex> hold(identifierLock);
  return lastIdentifier;
}

}  // namespace exclog
