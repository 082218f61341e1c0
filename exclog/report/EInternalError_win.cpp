#include "exclog/report/EInternalError_win.h"

#include <atomic>
#include <cstring>

#include "classlib/SysUtils.h"
#include "exclog/core/ECore.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EGuard.h"
#include "exclog/core/EObjects.h"
#include "exclog/report/EPlatform_win.h"
#include "exclog/report/ESysInfo_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/debuginfo/EImageHeaders.h"

namespace exclog {

namespace {

int DefaultMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

std::atomic<TMessageBoxProvider> messageBoxProvider{nullptr};
std::atomic<bool> reporterBusy{false};
std::atomic<bool> warningsOn{false};
std::atomic<int> windowedOverride{-1};

bool ProgramSubsystemIsGui() {
  auto headers = ReadImageHeaders(ProcessMemory(), reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  return headers && headers->Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

bool WriteWholeFile(const std::string& name, const std::string& text) {
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

}  // namespace

TMessageBoxProvider SetMessageBoxProvider(TMessageBoxProvider provider) {
  return messageBoxProvider.exchange(provider);
}

int LoggerMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  TMessageBoxProvider provider = messageBoxProvider.load();
  return (provider ? provider : &DefaultMessageBox)(owner, text, caption, flags);
}

TInternalErrorSeams& InternalErrorSeams() {
  static TInternalErrorSeams seams;
  return seams;
}

TCodeLocation LocateAddress(uintptr_t address) {
  if (InternalErrorSeams().Locate) return InternalErrorSeams().Locate(address);
  TCodeLocation location;
  location.Address = address;
  MEMORY_BASIC_INFORMATION info{};
  if (address && VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) && info.State == MEM_COMMIT &&
      info.AllocationBase) {
    location.Module = reinterpret_cast<uintptr_t>(info.AllocationBase);
    location.ModuleName = ModuleLongFileName(static_cast<HMODULE>(info.AllocationBase));
  }
  return location;
}

std::string AddressTextAt(uintptr_t address) { return AddressTextOf(LocateAddress(address)); }

std::string CurrentCallStackText() {
  if (!InternalErrorSeams().CurrentStack) return "";
  return CallStackTextOf(InternalErrorSeams().CurrentStack());
}

std::string ReportInternalException(const void* object, uintptr_t address, const std::string& section) {
  try {
    if (InheritsFromName(object, "EAbort") || InheritsFromName(object, "EQuelbaSocketError")) return "";
    if (DebuggerAttached()) return "";
    // A failure while reporting a failure is dropped rather than reported again.
    if (reporterBusy.exchange(true)) return "";
    struct TBusy {
      ~TBusy() { reporterBusy.store(false); }
    } busy;
    const std::string step = section.empty() ? std::to_string(ProgressCode()) : section;
    const bool isException = IsValidObject(object) && InheritsFromName(object, "Exception");
    const std::string message = isException ? static_cast<const Exception*>(static_cast<const TObject*>(object))->Message()
                                            : "General internal error.";
    OutputDebugStringA(InternalErrorDebugLine(step, address, message).c_str());

    TInternalErrorFields fields;
    fields.Date = LocalDateText(LocalNow());
    fields.Os = OsTypeValue();
    fields.Environment = DevelopmentEnvironmentText;
    if (address && IsReadable(reinterpret_cast<const void*>(address), 32)) {
      std::vector<uint8_t> bytes(32);
      std::memcpy(bytes.data(), reinterpret_cast<const void*>(address), 32);
      fields.Dump = DumpBytesText(bytes);
    }
    fields.Section = step;
    fields.LastException = LastExceptionType();
    fields.Address = AddressTextAt(address);
    fields.ClassName = ObjectClassName(object);
    fields.Message = message;
    fields.CallStack = CurrentCallStackText();

    // Beside the program when that folder takes it, else in the per-user folder.
    std::string file = ChangeFileExt(ModuleLongFileName(nullptr), ".log");
    if (!UsableFile(file, false, false) || !WriteWholeFile(file, InternalErrorText(fields))) file.clear();

    int answer = LoggerMessageBox(nullptr, InternalBugQuestion(message, file), "Probably internal bug",
                                  MB_YESNO | MB_ICONERROR | MB_TASKMODAL);
    if (answer == IDYES && !file.empty()) {
      bool mailed = InternalErrorSeams().MailFile &&
                    InternalErrorSeams().MailFile(InternalBugAddress,
                                                  std::string("QuelbaLog ") + LoggerVersionText + " critical bug.", file);
      if (!mailed)
        LoggerMessageBox(nullptr, SendByHandText(file, InternalBugAddress), "Information",
                         MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
    }
    return file;
  } catch (...) {
    return "";
  }
}

void ReportInternalErrorText(const std::string& text) {
  try {
    // "<step> (Address: XXXXXXXX)" as the guarded runner words it.
    std::string step = text;
    uintptr_t address = 0;
    const size_t at = text.rfind(" (Address: ");
    if (at != std::string::npos && text.size() > at + 11) {
      step = text.substr(0, at);
      address = static_cast<uintptr_t>(std::strtoull(text.c_str() + at + 11, nullptr, 16));
    }
    ReportInternalException(nullptr, address, step);
  } catch (...) {
  }
}

void InstallInternalErrorReporter() { SetInternalErrorReporter(&ReportInternalErrorText); }

void SetInternalWarningsOn(bool on) { warningsOn.store(on); }
void SetWindowedProcess(bool windowed) { windowedOverride.store(windowed ? 1 : 0); }
bool WindowedProcess() {
  int v = windowedOverride.load();
  return v < 0 ? ProgramSubsystemIsGui() : v == 1;
}

void InternalWarning(uint8_t code, const std::string& message, uintptr_t exceptionAddress) {
  try {
    SetLastInternalWarning({code, message});
    OutputDebugStringA(InternalWarningDebugLine(code, exceptionAddress, message).c_str());
    if (WarningShowsBox(code, warningsOn.load(), WindowedProcess()))
      LoggerMessageBox(nullptr, message, "Error.",
                       MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
  } catch (...) {
  }
}

}  // namespace exclog
