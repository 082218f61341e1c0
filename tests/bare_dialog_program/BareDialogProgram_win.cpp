// A windowed program that links the logger without its dialog templates: a fault
// in a thread of its own finds no dialog to show, so the logger falls back on its
// plain message box. With "--failing-box" that box fails too. The program says
// what the logger decided (the request, the sending, its warning and whether the
// dialog failed) and ends.
#include <windows.h>

#include <cstring>
#include <string>

#include "classlib/System.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/ERequestDialog_win.h"
#include "exclog/report/EInternalError_win.h"

namespace {

DWORD WINAPI Faulty(LPVOID) {
  *reinterpret_cast<volatile int*>(0x10) = 1;  // an access violation
  return 0;
}

void Say(const std::string& text) {
  DWORD written = 0;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

int FailingBox(HWND, const std::string&, const std::string&, UINT) { return 0; }

void (*askReproduceSteps)(const exclog::TReportJob&) = nullptr;

// Says whether the request would show before the logger decides on it.
void AskReproduceSteps(const exclog::TReportJob& job) {
  Say(exclog::RequestWanted() ? "Request: wanted\n" : "Request: not wanted\n");
  if (askReproduceSteps) askReproduceSteps(job);
}

// The sending said instead of done.
bool SayWhatIsSent(const exclog::TReportJob&, const std::string&, bool) {
  Say("Sending: send on\n");
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  InitUnits();
  if (std::strstr(commandLine, "--failing-box")) exclog::SetMessageBoxProvider(&FailingBox);
  exclog::TReportHandlerSeams& seams = exclog::ReportHandlerSeams();
  askReproduceSteps = seams.AskReproduceSteps;
  seams.AskReproduceSteps = &AskReproduceSteps;
  seams.StartSending = &SayWhatIsSent;
  HANDLE thread = CreateThread(nullptr, 0, &Faulty, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  const exclog::TInternalWarning warning = exclog::LastInternalWarning();
  Say("Warning: " + std::to_string(warning.Code) + " " + warning.Message + "\n");
  Say(exclog::DialogOutcome().DialogFailed ? "Dialog: failed\n" : "Dialog: shown\n");
  FinalizeUnits();
  return 0;
}
