#pragma once
// What the report hands to the user's own mail program: the Simple MAPI message as
// plain records, and the "mailto:" link with the command that opens it. Pure; the
// calls are EMailClient_win.h's.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

// The most files one MAPI message carries.
constexpr size_t MaxMapiFiles = 32;
constexpr unsigned long MapiTo = 1;

struct TMapiRecipientPlan {
  unsigned long RecipClass = MapiTo;
  std::string Name;     // the address
  std::string Address;  // "SMTP:" + the address
};

struct TMapiFilePlan {
  std::string PathName;  // full path
  std::string FileName;  // without folder
};

struct TMapiMessagePlan {
  std::string Subject;   // one line
  std::string NoteText;  // the body as it is
  std::vector<TMapiRecipientPlan> Recipients;
  std::vector<TMapiFilePlan> Files;  // at most MaxMapiFiles
};

// The message for `recipients` (split at "," and ";"), the trimmed subject and body,
// and the files of `attachments` followed by those of `attachmentList`, skipping
// empty names and files `exists` denies.
TMapiMessagePlan PlanMapiMessage(std::string_view recipients, std::string_view subject, std::string_view body,
                                 const std::vector<std::string>& attachments,
                                 const std::vector<std::string>& attachmentList,
                                 const std::function<bool(const std::string&)>& exists);

// A list of files from a text separated by "," or ";".
std::vector<std::string> SplitAttachmentText(std::string_view text);

// "-", digits and letters stay, as does every byte from 128 up; every other byte
// becomes "%" and two upper-case hexadecimal digits.
std::string MailtoEncode(std::string_view text);
// "mailto:" + E(recipients) + "?Subject=" + E(subject) + "&Body=" + E(body).
std::string MailtoUrl(std::string_view recipients, std::string_view subject, std::string_view body);
// The registered command with every "%1" replaced by the link.
std::string MailtoCommand(std::string_view commandTemplate, std::string_view url);

}  // namespace exclog
