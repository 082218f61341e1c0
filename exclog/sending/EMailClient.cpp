#include "exclog/sending/EMailClient.h"

#include "classlib/SysUtils.h"
#include "exclog/core/ECore.h"
#include "exclog/sending/EMailMessage.h"

namespace exclog {

TMapiMessagePlan PlanMapiMessage(std::string_view recipients, std::string_view subject, std::string_view body,
                                 const std::vector<std::string>& attachments,
                                 const std::vector<std::string>& attachmentList,
                                 const std::function<bool(const std::string&)>& exists) {
  TMapiMessagePlan plan;
  plan.Subject = CleanHeader(Trim(subject));
  plan.NoteText = Trim(body);
  for (const std::string& address : SplitRecipients(recipients)) {
    plan.Recipients.push_back({MapiTo, address, "SMTP:" + address});
  }
  for (const auto* list : {&attachments, &attachmentList}) {
    for (const std::string& entry : *list) {
      const std::string path = Trim(entry);
      if (path.empty() || plan.Files.size() >= MaxMapiFiles) continue;
      if (exists && !exists(path)) continue;
      plan.Files.push_back({path, ExtractFileName(path)});
    }
  }
  return plan;
}

std::vector<std::string> SplitAttachmentText(std::string_view text) { return SplitRecipients(text); }

std::string MailtoEncode(std::string_view text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    const bool keep = c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return out;
}

std::string MailtoUrl(std::string_view recipients, std::string_view subject, std::string_view body) {
  return "mailto:" + MailtoEncode(recipients) + "?Subject=" + MailtoEncode(subject) + "&Body=" + MailtoEncode(body);
}

std::string MailtoCommand(std::string_view commandTemplate, std::string_view url) {
  return StringReplace(commandTemplate, "%1", url);
}

}  // namespace exclog
