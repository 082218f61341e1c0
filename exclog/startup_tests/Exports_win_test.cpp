// The program's exported routines as a library built with the logger uses them
// (events_dll.dll calls them by name), and the report's events: the library's own
// entries first when its exception is reported, then the handlers registered here.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/core/ECore_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/capture/EReportEvents_win.h"
#include "exclog/report/EReportSteps.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/capture/EDialogHandOver_win.h"
#include "exclog/dialogs/EDialogOutcome.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "resources/exclog/QuelbaDialogs.h"
#include "tests/support/GuiProbe_win.h"

namespace startup_test {
namespace {

std::vector<std::string> lines;
void TraceLine(const char* line) { lines.push_back(line); }

std::string Variable(const char* name) {
  char value[1024] = {};
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return std::string(value, n < sizeof value ? n : 0);
}

// The message of a record's object when it is an Exception of this program.
std::string MessageOf(void* object) {
  return SafeClassName(object) == "Exception" ? static_cast<Exception*>(static_cast<TObject*>(object))->Message() : "";
}

int ThreadRecordCount() {
  exclog::TQuelbaThreadsList* list = exclog::ThreadRecords();
  if (!list) return -1;
  list->LockRead();
  int count = list->Count();
  list->UnlockRead();
  return count;
}

class Exports : public testing::Test {
 protected:
  void SetUp() override {
    std::string folder = exclog::ModuleFileName(nullptr);
    folder.erase(folder.find_last_of('\\') + 1);
    dll_ = LoadLibraryA((folder + "events_dll.dll").c_str());
    ASSERT_NE(dll_, nullptr);
    Call<void (*)(void (*)(const char*))>("EventsDll_SetTrace")(&TraceLine);
    Call<void (*)(int)>("EventsDll_SetNotifyAnswer")(-1);
    lines.clear();
  }
  void TearDown() override {
    exclog::GlobalEvents() = exclog::TQuelbaGlobalEvents{};
    exclog::EventEntrySeams().RefreshDialogState = refresh_;
    loggers_.clear();
  }
  template <class Proc>
  Proc Call(const char* name) {
    auto proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(dll_, name)));
    if (!proc) ADD_FAILURE() << name;
    return proc;
  }
  exclog::TQuelbaLogger* Logger(const std::string& name) {
    loggers_.push_back(std::make_unique<exclog::TQuelbaLogger>());
    loggers_.back()->SetName(name);
    return loggers_.back().get();
  }
  HMODULE dll_ = nullptr;
  void (*refresh_)() = exclog::EventEntrySeams().RefreshDialogState;
  std::vector<std::unique_ptr<exclog::TQuelbaLogger>> loggers_;
};

TEST_F(Exports, ThreadRecordsAppendedOverwrittenAndRemovedThroughTheLibrary) {
  DWORD id = 0;
  HANDLE thread = Call<HANDLE (*)(DWORD*)>("EventsDll_StartThread")(&id);
  ASSERT_NE(thread, nullptr);
  ASSERT_FALSE(exclog::FindThreadRecord(id));  // the library's threads are its own
  int before = ThreadRecordCount();
  ASSERT_GT(before, 0);

  exclog::TQuelbaThreadInfo record;
  record.ThreadId = id;
  record.ThreadHandle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(thread));
  record.Value5 = 0x1234;
  Call<void (*)(const exclog::TQuelbaThreadInfo*)>("EventsDll_CreateRecord")(&record);
  auto added = exclog::FindThreadRecord(id);
  ASSERT_TRUE(added);
  EXPECT_EQ(added->StackTop, 0x1234u);
  EXPECT_EQ(ThreadRecordCount(), before + 1);

  record.Value5 = 0x5678;
  Call<void (*)(uint32_t, const exclog::TQuelbaThreadInfo*)>("EventsDll_ResumeRecord")(record.ThreadHandle, &record);
  auto resumed = exclog::FindThreadRecord(id);
  ASSERT_TRUE(resumed);
  EXPECT_EQ(resumed->StackTop, 0x5678u);

  auto unknown = Call<HANDLE (*)(int, DWORD*)>("EventsDll_UnknownThreadStep");
  DWORD unknownId = 0;
  HANDLE other = unknown(0, &unknownId);
  ASSERT_NE(other, nullptr);
  ASSERT_FALSE(exclog::FindThreadRecord(unknownId));
  int listed = ThreadRecordCount();
  unknown(1, nullptr);
  EXPECT_EQ(ThreadRecordCount(), listed);
  EXPECT_TRUE(exclog::FindThreadRecord(id));
  unknown(2, nullptr);
  WaitForSingleObject(other, INFINITE);
  CloseHandle(other);

  listed = ThreadRecordCount();
  Call<void (*)(HANDLE, bool)>("EventsDll_EndThread")(thread, true);
  EXPECT_FALSE(exclog::FindThreadRecord(id));
  EXPECT_EQ(ThreadRecordCount(), listed - 1);
  CloseHandle(thread);
}

TEST_F(Exports, HandlersRunLastToFirstThenTheGlobalAndTheFlagComesBackAsLeft) {
  auto notify = Call<uint8_t (*)(uint8_t)>("EventsDll_NotifyProgram");
  auto click = Call<uint8_t (*)(uint8_t)>("EventsDll_CustomButtonProgram");
  // Nobody registered: both flags come back as they went.
  EXPECT_EQ(notify(1), 1);
  EXPECT_EQ(notify(0), 0);
  EXPECT_EQ(click(1), 1);
  EXPECT_EQ(click(0), 0);

  std::vector<std::string> order;
  std::string objectClass, objectMessage, recordClass;
  for (const char* name : {"first", "second", "third"})
    Logger(name)->OnExceptionNotify = [&](exclog::TQuelbaLogger* sender, const exclog::TQuelbaExceptionRecord& record,
                                          bool& flag) {
      order.push_back(sender->Name());
      flag = sender->Name() != "first";
      // The library's object stands here as a local Exception with its message.
      objectClass = SafeClassName(record.ExceptionObject);
      objectMessage = MessageOf(record.ExceptionObject);
      recordClass = record.ExceptionClass ? record.ExceptionClass : "";
    };
  exclog::GlobalEvents().ExceptionNotify = [&](const exclog::TQuelbaExceptionRecord&, bool&) {
    order.push_back("global");
  };
  EXPECT_EQ(notify(1), 0);  // as "first", the last component to run, left it
  EXPECT_EQ(order, (std::vector<std::string>{"third", "second", "first", "global"}));
  EXPECT_EQ(objectClass, "Exception");
  EXPECT_EQ(objectMessage, "from the library");
  EXPECT_EQ(recordClass, "EDllFault");
  EXPECT_EQ(exclog::EventState().Current.ExceptionObject, nullptr);  // the record before is back
}

TEST_F(Exports, LibraryExceptionGoesToItsEntriesFirstThenTheHandlersHere) {
  int refreshes = 0;
  static int* refreshed = &refreshes;
  exclog::EventEntrySeams().RefreshDialogState = [] { ++*refreshed; };
  std::string exceptMsg, exceptModule, objectMessage;
  exclog::GlobalEvents().ExceptionNotify = [&](const exclog::TQuelbaExceptionRecord& record, bool&) {
    lines.push_back(std::string("local notify ") + record.ExceptionClass + ": " + record.ExceptionMessage);
    objectMessage = MessageOf(record.ExceptionObject);
    exceptMsg = Variable("_ExceptMsg");
    exceptModule = Variable("_ExceptModuleName");
  };
  exclog::GlobalEvents().ExceptionActionNotify = [](const exclog::TQuelbaExceptionRecord&, int action, void*) {
    lines.push_back("local action " + std::to_string(action));
  };
  int reports = exclog::ReportCount();
  Call<uint8_t (*)()>("EventsDll_Fault")();
  EXPECT_EQ(exclog::ReportCount(), reports + 1);
  EXPECT_EQ(lines, (std::vector<std::string>{"dll notify EDllFault: disk gone", "local notify EDllFault: disk gone",
                                             "dll action 0", "local action 0", "dll action 1", "local action 1"}));
  EXPECT_EQ(exceptMsg, "disk gone");
  EXPECT_EQ(objectMessage, "disk gone");  // a local stand-in for the library's object
  EXPECT_NE(exceptModule.find("events_dll.dll"), std::string::npos) << exceptModule;
  EXPECT_GE(refreshes, 4);  // after each event of the report

  // The library's entry clears the flag: the report ends before its dialog.
  lines.clear();
  Call<void (*)(int)>("EventsDll_SetNotifyAnswer")(0);
  Call<uint8_t (*)()>("EventsDll_Fault")();
  EXPECT_EQ(lines, (std::vector<std::string>{"dll notify EDllFault: disk gone", "local notify EDllFault: disk gone"}));
}

TEST_F(Exports, PasswordAsksTheExceptionModuleFirstAndFailedStepsMayAskRetry) {
  exclog::GlobalEvents().PasswordRequest = [](const exclog::TQuelbaExceptionRecord&, std::string& password) {
    password += "+local";
  };
  exclog::TQuelbaExceptionRecord record;
  record.ExceptionModule = dll_;
  exclog::EventState().Password.clear();
  {
    exclog::TCurrentRecordScope scope(record);
    EXPECT_EQ(exclog::RequestReportPassword(), "dll-secret+local");
  }
  record.ExceptionModule = GetModuleHandleA(nullptr);  // this module: never asked through its exports
  exclog::EventState().Password.clear();
  exclog::TCurrentRecordScope scope(record);
  EXPECT_EQ(exclog::RequestReportPassword(), "+local");

  EXPECT_FALSE(exclog::NotifyAction(exclog::ActionAfterSaveLog, true));
  exclog::GlobalEvents().ExceptionErrorNotify = [](const exclog::TQuelbaExceptionRecord&, int action, void* retry) {
    *static_cast<uint8_t*>(retry) = action == exclog::ActionAfterSaveLog;
  };
  EXPECT_TRUE(exclog::NotifyAction(exclog::ActionAfterSaveLog, true));
}

TEST_F(Exports, CurrentOptionsAreTheProgramsAndWithoutThemTheCallFails) {
  exclog::TQuelbaModulesList& list = exclog::ModulesList();
  exclog::TQuelbaModuleInfo* own = nullptr;
  {
    TCriticalSectionLock hold(list.Section());
    int index = list.IndexOfHandle(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
    ASSERT_GE(index, 0);
    own = list.Get(index);
  }
  ASSERT_TRUE(own->Options);
  EXPECT_EQ(exclog::CurrentQuelbaLogOptions(), own->Options.get());
  auto kept = std::move(own->Options);
  try {
    exclog::CurrentQuelbaLogOptions();
    ADD_FAILURE() << "no failure";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "\r\nCannot use 'CurrentQuelbaLogOptions' function in module \"" +
                               exclog::ModuleFileName(nullptr) +
                               "\" without activate QuelbaLog.\r\nTo activate QuelbaLog use the new IDE "
                               "\"Project/QuelbaLog Options...\" menu.");
  }
  own->Options = std::move(kept);
}

// The report dialogs of a console program: the real ones, as a windowed program shows them.
exclog::TDialogAnswer WindowedDialog(const exclog::TReportJob& job, const std::string& report) {
  exclog::TReportJob windowed = job;
  windowed.DialogKind = 0;
  return exclog::ShowReportDialog(windowed, report);
}

DWORD WINAPI FaultForDialog(LPVOID) {
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1;
  return 0;
}

// The dialog runs on the report thread: a message to it waits at most 5 s.
std::string ShownText(HWND window) {
  char text[128] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &got);
  return text;
}

// A handler that changes the report's options while a dialog shows: after the
// help button's event (run for the report) and after an event the library hands
// in, the dialog on screen shows the new texts and boxes.
TEST_F(Exports, DialogShowsOptionsAHandlerChangesWhileItIsUp) {
  exclog::TQuelbaModuleOptions& program = *exclog::CurrentQuelbaLogOptions();
  const uint16_t flags = program.DialogFlags();
  program.SetDialogFlags(static_cast<uint16_t>(flags | exclog::DialogShowHelp | 0x4));  // Help and the copy box
  const exclog::TReportHandlerSeams seams = exclog::ReportHandlerSeams();
  exclog::ReportHandlerSeams().ShowDialog = &WindowedDialog;
  auto changeTo = [](std::string text) {
    exclog::GlobalEvents().CustomButtonClick = [text](const exclog::TQuelbaExceptionRecord&, bool&) {
      exclog::TQuelbaModuleOptions& options = exclog::ReportOptions();
      options.SetText(17, text);  // the detailed dialog's OK
      options.SetText(3, text);   // every dialog's caption
      options.SetDialogFlags(static_cast<uint16_t>(options.DialogFlags() & ~(0x4 | exclog::DialogShowHelp)));
    };
  };
  auto hiddenSoon = [](HWND dialog, int id) {
    return velmora::test::PumpUntil([&] { return !IsWindowVisible(GetDlgItem(dialog, id)); }, 20000);
  };
  for (uint8_t kind : {exclog::PresentDetailed, exclog::PresentClassic}) {
    SCOPED_TRACE(kind == exclog::PresentDetailed ? "detailed" : "classic");
    exclog::SetPresentationKindOption(kind);
    HANDLE thread = CreateThread(nullptr, 0, &FaultForDialog, nullptr, 0, nullptr);
    HWND dialog = nullptr;
    ASSERT_TRUE(velmora::test::PumpUntil([&] { return (dialog = exclog::OpenReportDialog()) != nullptr; }, 60000));
    const int help = kind == exclog::PresentDetailed ? QL_DLG_HELP : QL_MS_HELP;
    const int box = kind == exclog::PresentDetailed ? QL_DLG_COPY : QL_MS_HELP;
    EXPECT_TRUE(velmora::test::PumpUntil([&] { return IsWindowVisible(GetDlgItem(dialog, box)) != 0; }, 20000));
    changeTo("Changed by the click");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(help, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, help)));
    EXPECT_TRUE(velmora::test::PumpUntil([&] { return ShownText(dialog) == "Changed by the click"; }, 20000))
        << ShownText(dialog);
    EXPECT_TRUE(hiddenSoon(dialog, box));
    if (kind == exclog::PresentDetailed) {
      EXPECT_EQ(ShownText(GetDlgItem(dialog, QL_DLG_OK)), "Changed by the click");
      changeTo("Changed by the library");
      Call<uint8_t (*)(uint8_t)>("EventsDll_CustomButtonProgram")(0);
      EXPECT_TRUE(velmora::test::PumpUntil(
          [&] { return ShownText(GetDlgItem(dialog, QL_DLG_OK)) == "Changed by the library"; }, 20000))
          << ShownText(GetDlgItem(dialog, QL_DLG_OK));
    }
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
  }
  exclog::SetPresentationKindOption(exclog::PresentDetailed);
  exclog::ReportHandlerSeams() = seams;
  program.SetDialogFlags(flags);
}

}  // namespace
}  // namespace startup_test
