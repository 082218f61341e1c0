#include "exclog/sending/EMailClient_win.h"

#include "classlib/SysUtils.h"
#include "classlib/Threads.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/sending/EMailClient.h"
#include "exclog/sending/ESendState.h"
#include "exclog/sending/ESystemText_win.h"

namespace exclog {

namespace {

// Simple MAPI's published records and calls.
struct TMapiRecipDesc {
  ULONG Reserved;
  ULONG RecipClass;
  LPSTR Name;
  LPSTR Address;
  ULONG EIDSize;
  LPVOID EntryID;
};
struct TMapiFileDesc {
  ULONG Reserved;
  ULONG Flags;
  ULONG Position;
  LPSTR PathName;
  LPSTR FileName;
  LPVOID FileType;
};
struct TMapiMessage {
  ULONG Reserved;
  LPSTR Subject;
  LPSTR NoteText;
  LPSTR MessageType;
  LPSTR DateReceived;
  LPSTR ConversationID;
  ULONG Flags;
  TMapiRecipDesc* Originator;
  ULONG RecipCount;
  TMapiRecipDesc* Recips;
  ULONG FileCount;
  TMapiFileDesc* Files;
};
using TMapiLogon = ULONG(WINAPI*)(ULONG_PTR, LPSTR, LPSTR, ULONG, ULONG, ULONG_PTR*);
using TMapiLogoff = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, ULONG, ULONG);
using TMapiSendMail = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, TMapiMessage*, ULONG, ULONG);
constexpr ULONG MapiLogonUi = 0x1;
constexpr ULONG MapiDialog = 0x8;
constexpr ULONG MapiUserAbort = 1;

std::string RegistryText(HKEY root, const std::string& path, const char* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  DWORD type = 0, size = 0;
  std::string text;
  if (RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    text.resize(size);
    if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) == ERROR_SUCCESS) {
      text.resize(strnlen(text.c_str(), size));
    } else {
      text.clear();
    }
  }
  RegCloseKey(key);
  return text;
}

std::string ClientLibraryUnder(HKEY root) {
  const std::string client = RegistryText(root, "SOFTWARE\\Clients\\Mail", nullptr);
  return client.empty() ? "" : RegistryText(root, "SOFTWARE\\Clients\\Mail\\" + client, "DLLPath");
}

template <class F>
F Bind(HMODULE library, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

struct TThreadWindow {
  HWND Found = nullptr;
};

BOOL CALLBACK FindThreadWindow(HWND window, LPARAM data) {
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
  reinterpret_cast<TThreadWindow*>(data)->Found = window;
  return FALSE;
}

}  // namespace

std::string MailClientLibraryPath() {
  std::string path = ClientLibraryUnder(HKEY_CURRENT_USER);
  if (path.empty()) path = ClientLibraryUnder(HKEY_LOCAL_MACHINE);
  return Trim(path);
}

bool SendMapi(const std::string& recipients, const std::string& subject, const std::string& body,
              const std::vector<std::string>& attachments, bool showDialog) {
  const std::string path = MailClientLibraryPath();
  HMODULE library = path.empty() ? nullptr : LoadLibraryA(path.c_str());
  if (!library) library = LoadLibraryA("mapi32.dll");
  if (!library) {
    RecordSendError(TQuelbaLogErrorCode::eeEmailMAPIError, "Cannot open the MAPI dll.");
    return false;
  }
  auto logon = Bind<TMapiLogon>(library, "MAPILogon");
  auto logoff = Bind<TMapiLogoff>(library, "MAPILogoff");
  auto sendMail = Bind<TMapiSendMail>(library, "MAPISendMail");
  if (!logon || !logoff || !sendMail) {
    FreeLibrary(library);
    RecordSendError(TQuelbaLogErrorCode::eeEmailMAPIError, "Cannot found the MAPI functions.");
    return false;
  }
  const HWND parent = GetCurrentThreadId() == MainThreadID() ? FirstApplicationWindow(GetCurrentProcessId()) : nullptr;
  ULONG_PTR session = 0;
  if (logon(reinterpret_cast<ULONG_PTR>(parent), nullptr, nullptr, MapiLogonUi, 0, &session) != 0) {
    FreeLibrary(library);
    RecordSendError(TQuelbaLogErrorCode::eeEmailMAPIError, "Cannot LogOn into the MAPI service.");
    return false;
  }

  // The records point into the plan's strings, which are sized to what they hold.
  TMapiMessagePlan plan = PlanMapiMessage(recipients, subject, body, attachments, {},
                                          [](const std::string& p) { return FileExists(p); });
  std::vector<TMapiRecipDesc> recips;
  for (TMapiRecipientPlan& r : plan.Recipients) {
    recips.push_back({0, r.RecipClass, r.Name.data(), r.Address.data(), 0, nullptr});
  }
  std::vector<TMapiFileDesc> files;
  for (TMapiFilePlan& f : plan.Files) files.push_back({0, 0, 0xFFFFFFFFu, f.PathName.data(), f.FileName.data(), nullptr});
  TMapiMessage message{};
  message.Subject = plan.Subject.data();
  message.NoteText = plan.NoteText.data();
  message.RecipCount = static_cast<ULONG>(recips.size());
  message.Recips = recips.empty() ? nullptr : recips.data();
  message.FileCount = static_cast<ULONG>(files.size());
  message.Files = files.empty() ? nullptr : files.data();

  const ULONG flags = MapiLogonUi | (showDialog ? MapiDialog : 0);
  const ULONG result = sendMail(session, reinterpret_cast<ULONG_PTR>(parent), &message, flags, 0);
  const bool ok = result == 0 || result == MapiUserAbort;
  if (result == MapiUserAbort) {
    // The user closed the compose window: nothing failed, but no box may claim a sent mail.
    SendState().AlreadyAnswered = 1;
  } else if (!ok) {
    RecordSendError(TQuelbaLogErrorCode::eeEmailMAPIError, "Cannot send the MAPI message.");
  }
  logoff(session, reinterpret_cast<ULONG_PTR>(parent), 0, 0);
  FreeLibrary(library);
  return ok;
}

bool SendMapiList(const std::string& recipients, const std::string& subject, const std::string& body,
                  const std::string& attachmentText, bool showDialog) {
  return SendMapi(recipients, subject, body, SplitAttachmentText(attachmentText), showDialog);
}

bool SendMailto(const std::string& recipients, const std::string& subject, const std::string& body) {
  const std::string commandTemplate = RegistryText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr);
  std::string command = MailtoCommand(commandTemplate, MailtoUrl(recipients, subject, body));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMAXIMIZED;
  PROCESS_INFORMATION process{};
  if (command.empty() ||
      !CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &process)) {
    const DWORD error = command.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
    RecordSendError(TQuelbaLogErrorCode::eeEmailShellError, SystemErrorText(error));
    return false;
  }
  WaitForInputIdle(process.hProcess, 10000);
  Sleep(2000);
  TThreadWindow found;
  EnumThreadWindows(process.dwThreadId, &FindThreadWindow, reinterpret_cast<LPARAM>(&found));
  if (found.Found) SetWindowPos(found.Found, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  // The dispatch lock is held meanwhile: a mail program left open must not stop
  // every later report.
  WaitForSingleObject(process.hProcess, MailtoWaitMs);
  DWORD exitCode = 0;
  const bool result = GetExitCodeProcess(process.hProcess, &exitCode) != 0;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

bool SendMapiMessage(const TMailMessage& message, bool showDialog) {
  return SendMapi(message.Recipients, message.Subject, message.Body, message.Attachments, showDialog);
}

bool SendMailtoMessage(const TMailMessage& message) {
  return SendMailto(message.Recipients, message.Subject, message.Body);
}

}  // namespace exclog
