// A program carrying the logger whose reports go to a recording sender. The
// command line names a folder for what the sender saw and a case:
//   send    an unhandled exception on the main thread, its report sent
//   keep    the same, a copy of the archive kept in that folder
//   fail    the sender refuses; the result box shows (the test answers it)
//   second  a fault on one thread while the report of another is being sent
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/EEvents.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/sending/ESendMethods.h"

namespace {

std::string folder;  // with its backslash (the command line names it without)
std::string kind;
std::atomic<int> sends{0}, sendsEnded{0};
HANDLE secondRaising = CreateEventA(nullptr, TRUE, FALSE, nullptr);

void Note(const std::string& line) {
  if (FILE* f = std::fopen((folder + "order.txt").c_str(), "ab")) {
    std::fprintf(f, "%s\r\n", line.c_str());
    std::fclose(f);
  }
}

bool RecordingSmtp(const exclog::TMailMessage& message, const exclog::TSmtpSettings&) {
  const int waitsBefore = exclog::DispatchLockWaits();
  const int number = ++sends;
  Note("send begin");
  if (!message.Attachments.empty())
    CopyFileA(message.Attachments[0].c_str(), (folder + "archive" + std::to_string(number) + ".zip").c_str(), FALSE);
  if (kind == "second" && number == 1) {
    // The other thread's fault is raised now; this send goes on only once its
    // report is seen waiting for the dispatch lock. A report that never waits
    // leaves its mark in the order instead.
    WaitForSingleObject(secondRaising, 10000);
    for (DWORD start = GetTickCount(); exclog::DispatchLockWaits() == waitsBefore;) {
      if (GetTickCount() - start > 20000) {
        Note("no report waited for the dispatch lock");
        break;
      }
      Sleep(10);
    }
  }
  Note("send end");
  ++sendsEnded;
  return message.Recipients == "ok@127.0.0.1";
}

// The two threads fault at different addresses, so their reports tell them apart.
DWORD WINAPI FaultInThread(LPVOID address) {
  if (reinterpret_cast<uintptr_t>(address) == 0x20) WaitForSingleObject(secondRaising, INFINITE);
  *static_cast<volatile int*>(address) = 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  folder = std::string(argv[1]) + "\\";
  kind = argv[2];
  InitUnits();
  exclog::SendMethodSeams().SmtpSend = &RecordingSmtp;
  exclog::GlobalEvents().ExceptionNotify = [](const exclog::TQuelbaExceptionRecord& record, bool&) {
    Note(std::string("report ") + (record.ExceptionMessage ? record.ExceptionMessage : ""));
  };
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  if (kind == "keep") {
    options->SetLogFolder(argv[1]);
    options->SetCatchFlags(options->CatchFlags() | 0x20);
  }
  if (kind == "fail") {
    options->SetMailRecipients("refused@127.0.0.1");
    options->SetProcessFlags(options->ProcessFlags() | 0x2);
    options->SetCatchFlags(options->CatchFlags() | 0x10);
  }
  if (kind == "second") {
    // Sent on a thread of its own, which holds the dispatch lock while it sends.
    options->SetProcessFlags(options->ProcessFlags() | 0x80);
    HANDLE first = CreateThread(nullptr, 0, &FaultInThread, reinterpret_cast<LPVOID>(0x10), 0, nullptr);
    HANDLE second = CreateThread(nullptr, 0, &FaultInThread, reinterpret_cast<LPVOID>(0x20), 0, nullptr);
    // The first report's send is under way once it began; then the second raises.
    for (int i = 0; i < 1000 && sends == 0; ++i) Sleep(10);
    SetEvent(secondRaising);
    WaitForSingleObject(first, 20000);
    WaitForSingleObject(second, 20000);
    for (int i = 0; i < 2000 && sendsEnded < 2; ++i) Sleep(10);
    FinalizeUnits();
    return 0;
  }
  throw Exception("unhandled probe fault");
}
