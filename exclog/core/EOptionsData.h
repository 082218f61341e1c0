#pragma once
// The plain values of one module's logger options: what the options stream carries
// plus the fields that are only copied. TQuelbaModuleOptions (EOptions.h) wraps
// these with setters and change announcements; the stream reader and writer
// (EOptionsStream.h) work on them directly, so a load can be parsed into a copy and
// committed in one step.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "exclog/core/EConsts.h"

namespace exclog {

// One exception filter; the list of the options owns its records.
struct TQuelbaExceptionFilter {
  uint8_t Enabled = 1;
  std::string ClassNameText;
  std::string MessageText;
  uint8_t Mode1 = 0;
  uint8_t Mode2 = 0;
  uint8_t Mode3 = 0;
  uint8_t Mode4 = 0;

  bool operator==(const TQuelbaExceptionFilter&) const = default;
};

using TCustomizedTexts = std::array<std::string, TextCount>;
using TReportFields = std::array<uint8_t, 6>;  // bit i = byte i / 8, bit i % 8

// The placeholder sender address of new options.
inline constexpr const char* DefaultSenderEmail = "yourname@example.com";

// The page a web-server answer wraps the report in; the report goes at <%HTML_TAG%>.
extern const char* const DefaultHtmlPage;

// Every field with its default; Texts come from the default text table.
struct TQuelbaOptionsData {
  std::string SenderEmail = DefaultSenderEmail;
  std::string SmtpHost;
  std::string SmtpUser;
  std::string SmtpPassword;
  uint16_t SmtpPort = 25;
  std::string ProxyHost;
  std::string ProxyUser;
  std::string ProxyPassword;
  uint16_t ProxyPort = 8080;
  std::string TrackerLogin;
  std::string TrackerPassword;
  std::string TrackerAssignedTo;
  std::string TrackerProject;
  std::string TrackerCategory;
  std::string FogBugzTrialId;
  std::string ArchivePassword;
  std::string ExtraText1;
  std::string ExtraText2;
  std::string ExtraText3;
  uint8_t StreamByte39 = 1;
  uint8_t TerminateAction = 2;
  uint8_t TerminateOnCancel = 0;
  uint8_t FreezeWatch = 0;
  int32_t FreezeSeconds = 60;
  TReportFields ReportFields = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  uint8_t AskBeforeSending = 2;
  std::vector<TQuelbaExceptionFilter> Filters;
  TCustomizedTexts Texts = DefaultTexts();
  std::string LanguageName = "English";
  uint8_t StreamByte1 = 0;
  uint8_t StreamByte2 = 1;
  uint8_t ReportInMailBody = 0;
  uint8_t SaveLogFile = 1;
  uint8_t LogFlags = 48;
  uint16_t ProcessFlags = 81;
  uint8_t InitialPage = 0;
  int32_t LogCapacity = 32;
  int32_t TerminateButtonAfter = 3;
  std::string LogFolder;
  std::string MailRecipients;
  std::string MailSubject;
  std::string MailBody;
  uint8_t MailMode = 0;
  uint8_t WebSendMode = 0;
  std::string AttachedFiles;
  uint16_t DialogFlags = 399;
  int32_t AutoCloseSeconds = 0;
  std::string SupportUrl;
  std::string HtmlPage = DefaultHtmlPage;
  uint8_t ErrorBurstAction = 2;
  int32_t ErrorBurstCount = 10;
  int32_t ErrorBurstMinutes = 1;
  uint8_t StackDetailFlags = 15;
  uint16_t CatchFlags = 88;
  uint8_t StreamByte35 = 30;
  std::string WebUrl;
  int32_t WebUrlPort = 0;
  std::string WebPassword;
  std::string WebUser;
  std::string ReproduceText;

  bool operator==(const TQuelbaOptionsData&) const = default;

  static TCustomizedTexts DefaultTexts();
};

}  // namespace exclog
