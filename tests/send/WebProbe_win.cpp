// A program carrying the logger whose report goes to a web server of our own.
// Command line: a folder (a kept copy of the archive and "error.txt", the last
// send error, go there) and name=value settings: WebSendMode, WebUrl, WebUser,
// WebPassword, ProxyHost, ProxyPort, ProxyUser, ProxyPassword, and HoldAfterZip=NAME:
// with its archive made, the probe sets the event NAME.held and waits for NAME.go
// before it uploads. The report carries the web field "Build=probe". Then an
// unhandled exception on the main thread.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/capture/EEvents.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/sending/ESendState.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  static std::string folder = std::string(argv[1]) + "\\";
  static std::string hold;
  InitUnits();
  exclog::TQuelbaModuleOptions* o = exclog::CurrentQuelbaLogOptions();
  o->SetLogFolder(argv[1]);
  // A copy of the archive kept; a failed send's report not put on the clipboard,
  // which is the display's: GUI tests running meanwhile read their own there.
  o->SetCatchFlags(static_cast<uint16_t>((o->CatchFlags() | 0x20) & ~0x10));
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    size_t eq = arg.find('=');
    std::string name = arg.substr(0, eq), value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (name == "WebSendMode") o->SetWebSendMode(static_cast<uint8_t>(std::atoi(value.c_str())));
    if (name == "WebUrl") o->SetWebUrl(value);
    if (name == "WebUser") o->SetWebUser(value);
    if (name == "WebPassword") o->SetWebPassword(value);
    if (name == "ProxyHost") o->SetProxyHost(value);
    if (name == "ProxyPort") o->SetProxyPort(static_cast<uint16_t>(std::atoi(value.c_str())));
    if (name == "ProxyUser") o->SetProxyUser(value);
    if (name == "ProxyPassword") o->SetProxyPassword(value);
    if (name == "HoldAfterZip") hold = value;
  }
  exclog::GlobalEvents().CustomWebFieldsRequest = [](const exclog::TQuelbaExceptionRecord&, TStrings& fields) {
    fields.Add("Build=probe");
    // Asked for after the archive is made, before the upload.
    if (!hold.empty()) {
      HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, (hold + ".held").c_str());
      HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, (hold + ".go").c_str());
      if (held) SetEvent(held);
      if (go) WaitForSingleObject(go, 60000);
      if (held) CloseHandle(held);
      if (go) CloseHandle(go);
    }
  };
  exclog::GlobalEvents().ExceptionActionNotify = [](const exclog::TQuelbaExceptionRecord&, int, void*) {
    if (FILE* f = std::fopen((folder + "error.txt").c_str(), "wb")) {
      std::fputs(exclog::SendState().LastError.Text.c_str(), f);
      std::fclose(f);
    }
  };
  throw Exception("unhandled web probe fault");
}
