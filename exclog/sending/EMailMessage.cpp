#include "exclog/sending/EMailMessage.h"

#include "classlib/SysUtils.h"
#include "exclog/core/EBase64.h"
#include "exclog/core/ECore.h"
#include "exclog/core/ETextFormat.h"

namespace exclog {

std::vector<std::string> SplitRecipients(std::string_view recipients) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= recipients.size()) {
    size_t end = recipients.find_first_of(",;", start);
    if (end == std::string_view::npos) end = recipients.size();
    std::string one = Trim(recipients.substr(start, end - start));
    if (!one.empty()) out.push_back(std::move(one));
    start = end + 1;
  }
  return out;
}

bool RecipientAcceptable(std::string_view address) {
  if (address.empty()) return false;
  for (unsigned char c : address) {
    if (c < 32 || c == 127 || c == '<' || c == '>') return false;
  }
  return true;
}

std::string CleanHeader(std::string_view text) { return OneLine(text); }

std::string SenderHeader(std::string_view from, std::string_view owner, std::string_view userName) {
  if (from.find('"') != std::string_view::npos || from.find('<') != std::string_view::npos) return CleanHeader(from);
  std::string name(owner == "Microsoft" ? std::string_view() : owner);
  if (name.empty()) name = userName;
  return "\"" + CleanHeader(name) + "\" <" + CleanHeader(from) + ">";
}

std::string EnvelopeSender(std::string_view fromHeader) {
  const size_t p = fromHeader.find("\" <");
  if (p == std::string_view::npos || fromHeader.size() < p + 4) return std::string(fromHeader);
  return std::string(fromHeader.substr(p + 3, fromHeader.size() - 1 - (p + 3)));
}

std::string AttachmentContentType(std::string_view fileName) {
  return UpperCase(ExtractFileExt(fileName)) == ".PNG" ? "image/png" : "application/octet-stream";
}

std::string MimeHeaderBlock() {
  return std::string("Content-Type: multipart/mixed; boundary=\"") + MimeBoundary + "\";\r\nMIME-Version: 1.0";
}

std::string MimeAttachmentPart(std::string_view fileName, std::string_view base64Lines) {
  const std::string name(fileName);
  std::string part = std::string("\r\n--") + MimeBoundary + "\r\n";
  part += "Content-Type: " + AttachmentContentType(name) + ";\r\n";
  part += "        name=\"" + name + "\"\r\n";
  part += "Content-Transfer-Encoding: base64\r\n";
  part += "Content-Disposition: attachment;\r\n";
  part += "        filename=\"" + name + "\"\r\n\r\n";
  part.append(base64Lines);
  part += "\r\n\r\n";
  return part;
}

std::string MimeBody(std::string_view body, const std::vector<std::string>& attachments) {
  std::string m = std::string("This is a multi-part message in MIME format\r\n\r\n--") + MimeBoundary + "\r\n";
  m += "Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
  m.append(body);
  m += "\r\n";
  for (const std::string& path : attachments) {
    if (path.empty() || !FileExists(path)) continue;
    m += MimeAttachmentPart(CleanHeader(ExtractFileName(path)), Base64FileLines(path));
  }
  m += std::string("--") + MimeBoundary + "--\r\n";
  return m;
}

std::string DotStuffed(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 64 + 8);
  bool lineStart = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = false;
  }
  return out;
}

std::string DataText(const TDataFields& f) {
  std::string text = "Date: " + CleanHeader(f.Date) + "\r\n";
  text += "From: " + CleanHeader(f.From) + "\r\n";
  text += "Subject: " + CleanHeader(f.Subject) + "\r\n";
  text += "To: <" + CleanHeader(f.Recipient) + ">\r\n";
  text += MimeHeaderBlock() + "\r\n";
  text += "Message-ID: <" + std::to_string(f.Tick) + "@" + MessageIdDomain + ">\r\n\r\n";
  text += f.Body;
  std::string data = DotStuffed(text);
  // The body ends with its line end; should it not, the closing dot needs its own line.
  if (data.size() < 2 || data.compare(data.size() - 2, 2, "\r\n") != 0) data += "\r\n";
  return data + ".";
}

}  // namespace exclog
