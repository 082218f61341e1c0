#pragma once
// The texts of a report mail: recipients, the sender's header and envelope address,
// the MIME layout with the archive attached, and the DATA text with its headers.
// Pure: dates, ticks, owner and user names come in as arguments.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

constexpr const char* MimeBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";
// The domain of every Message-ID: reserved, so it names no real host.
constexpr const char* MessageIdDomain = "mail.velmora.invalid";

// The addresses of a recipient text, split at "," and ";", trimmed, empty ones left out.
std::vector<std::string> SplitRecipients(std::string_view recipients);
// An address that may stand in "RCPT TO:<...>": no character below 32 nor 127, no
// "<" or ">". Empty is refused too.
bool RecipientAcceptable(std::string_view address);

// Every run of characters below 32 becomes one blank (header fields).
std::string CleanHeader(std::string_view text);

// The From header's text: a bare address (neither '"' nor '<') gets the quoted
// owner name in front ("Microsoft" counts as none; then the user name).
std::string SenderHeader(std::string_view from, std::string_view owner, std::string_view userName);
// The envelope sender of a From text: the address between "\" <" and the last
// character, else the text itself.
std::string EnvelopeSender(std::string_view fromHeader);

// "image/png" for a ".png" file, else "application/octet-stream".
std::string AttachmentContentType(std::string_view fileName);
// The multipart header block (no trailing line end).
std::string MimeHeaderBlock();
// One attachment's part from its name and its Base64 lines (joined by CR LF).
std::string MimeAttachmentPart(std::string_view fileName, std::string_view base64Lines);
// The multipart body: the text part with `body` and one part per existing file of
// `attachments` (full paths); missing files give no part.
std::string MimeBody(std::string_view body, const std::vector<std::string>& attachments);

struct TDataFields {
  std::string Date;       // the date text with its zone
  std::string From;       // SenderHeader's text
  std::string Subject;
  std::string Recipient;
  uint32_t Tick = 0;      // the Message-ID's number
  std::string Body;       // MimeBody's text
};
// The DATA text, ready to send: headers cleaned, every line ended by CR LF (a lone CR
// or LF becomes CR LF), every line starting with "." given a second one, and the
// closing "." (the command's CR LF follows it).
std::string DataText(const TDataFields& fields);
// Line ends made CR LF and leading dots doubled.
std::string DotStuffed(std::string_view text);

}  // namespace exclog
