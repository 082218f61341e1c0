#pragma once
// Hands the main handler the text and XML logs, the duplicate check and the report
// file names, and hands the log-saving step the events it sends.

namespace exclog {

// Fills the report handler's log and file-name entries and the log-saving seams.
// The logger's start-up calls it.
void InstallReportLogSeams();

// The report's companion file names as the report file-name entry last settled them.
struct TReportFilesInput;
TReportFilesInput CurrentReportFiles();

}  // namespace exclog
