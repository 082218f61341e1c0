// A windowed program carrying the logger, for the dialogs' end-to-end tests: a
// fault in a thread of its own reaches the logger, whose dialog shows; after the
// report the program says so and keeps running (the clipboard it filled lives as
// long as the program) until the test signals "DialogProgramEnd<pid>".
#include <windows.h>

#include <cstring>
#include <string>

#include "classlib/System.h"
#include "exclog/core/ExceptionLog.h"

namespace {

DWORD WINAPI Faulty(LPVOID) {
  *reinterpret_cast<volatile int*>(0x10) = 1;  // an access violation
  return 0;
}

void Say(const char* text) {
  DWORD written = 0;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// The sending the dialog chose, said instead of done: the tests read the choice.
bool SayWhatIsSent(const exclog::TReportJob&, const std::string&, bool) {
  Say(exclog::DialogOutcome().ScreenshotChosen ? "Sending: send on, screenshot on\n" : "Sending: send on, screenshot off\n");
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitUnits();
  exclog::ReportHandlerSeams().StartSending = &SayWhatIsSent;
  const std::string name = "DialogProgramEnd" + std::to_string(GetCurrentProcessId());
  HANDLE end = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  HANDLE thread = CreateThread(nullptr, 0, &Faulty, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Say("went on\n");
  WaitForSingleObject(end, 60000);
  CloseHandle(end);
  FinalizeUnits();
  return 0;
}
