#pragma once
// Handing a report to the user's own mail program: Simple MAPI of the default
// mail client (bound at run time), else the command registered for "mailto:".
// Failures are recorded (RecordSendError) and give false; nothing is raised.
#include <windows.h>

#include <string>
#include <vector>

#include "exclog/sending/ESendMethods.h"

namespace exclog {

// The library of the default mail client: HKCU, then HKLM "SOFTWARE\\Clients\\Mail"
// (its default value names the client, whose key's "DLLPath" names the library);
// "" when none is registered.
std::string MailClientLibraryPath();

// `showDialog`: the client shows the message first (MAPI_DIALOG). A user who
// cancels it counts as no failure, with the already-answered flag set.
bool SendMapi(const std::string& recipients, const std::string& subject, const std::string& body,
              const std::vector<std::string>& attachments, bool showDialog);
// The attachments as one text separated by "," or ";".
bool SendMapiList(const std::string& recipients, const std::string& subject, const std::string& body,
                  const std::string& attachmentText, bool showDialog);
// Starts the registered "mailto:" command with the message in its link and waits,
// at most MailtoWaitMs, for the mail program to end.
bool SendMailto(const std::string& recipients, const std::string& subject, const std::string& body);
constexpr DWORD MailtoWaitMs = 10000;

// The pipeline's mail-client methods.
bool SendMapiMessage(const TMailMessage& message, bool showDialog);
bool SendMailtoMessage(const TMailMessage& message);

}  // namespace exclog
