#include "exclog/report/EReportText_win.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>

#include "exclog/core/ECore_win.h"
#include "exclog/core/EConsts.h"
#include "exclog/core/ETextFormat.h"
#include "exclog/debuginfo/EAsmListing_win.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/report/ESysInfo_win.h"

namespace exclog {

namespace {

std::atomic<uint32_t> mainThreadId{0};
std::atomic<TThreadClassNameProc> threadClassName{nullptr};

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FieldShown(const TQuelbaModuleOptions& options, int field) {
  const TReportFields fields = options.ReportFields();
  return (fields[static_cast<size_t>(field / 8)] >> (field % 8)) & 1;
}

// Copies `size` bytes at `address` once, after the readability test.
template <size_t N>
bool CopyReadable(std::array<uint8_t, N>& to, uintptr_t address) {
  const void* from = reinterpret_cast<const void*>(address);
  return address && ReadableBytes(from, N) >= N && SafeCopy(to.data(), from, N);
}

// A fact that stays as it is while the process runs, asked once: each asks the
// system (the registry, the user database) several times. The installation's
// registered owner and organisation and the video card belong to the machine, as
// the processor does. No lock: a report raised while a fact is being asked must
// not wait on itself; two first reports at once both ask, the first to finish is
// kept.
template <std::string (*Ask)()>
const std::string& AskedOnce() {
  static std::atomic<std::string*> known{nullptr};
  if (std::string* fact = known.load(std::memory_order_acquire)) return *fact;
  auto fresh = std::make_unique<std::string>(Ask());
  std::string* expected = nullptr;
  if (known.compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel))
    return *fresh.release();  // lives to the process's end
  return *expected;
}

void FillValues(TReportSnapshot& s, const TReportJob& job, const TQuelbaModuleOptions& options) {
  HMODULE program = GetModuleHandleA(nullptr);
  uintptr_t address = job.Exception.Address;
  // Only what is shown is gathered: some values ask slow system services.
  auto set = [&](int field, const auto& make) {
    if (FieldShown(options, field)) s.Values[static_cast<size_t>(field)] = make();
  };
  set(0, [] { return StartDateText(); });
  set(1, [&] { return NameDescriptionText(program); });
  set(2, [&] { return ModuleVersionText(program); });
  set(3, [] { return ParametersValue(); });
  set(4, [&] { return CompilationDateText(program); });
  set(5, [] { return UpTimeText(); });
  set(6, [] { return ExceptionDateText(); });
  set(7, [&] { return AddressValue(address); });
  set(8, [&] { return ModuleNameAtText(address); });
  set(9, [&] { return ModuleVersionAtText(address); });
  set(10, [] { return LastExceptionType(); });
  set(11, [] { return LastExceptionMessage(); });
  set(16, [] { return AskedOnce<&UserIdText>(); });
  set(17, [] { return AskedOnce<&RegisteredOwnerText>(); });
  set(18, [] { return DialogEmail(); });
  set(19, [] { return PrivilegesText(); });
  set(20, [] { return AskedOnce<&RegisteredOrganizationText>(); });
  if (s.Windowed) {
    set(21, [] { return ForegroundClassText(); });
    set(22, [] { return ForegroundWindowText(); });
    set(23, [&] { return job.FocusedClass; });
    set(24, [&] { return OneLine(job.FocusedText); });
  }
  set(25, [] { return ComputerNameText(); });
  set(26, [] { return AskedOnce<&TotalMemoryText>(); });
  set(27, [] { return FreeMemoryText(); });
  set(28, [] { return TotalDiskText(); });
  set(29, [] { return FreeDiskText(); });
  set(30, [] { return SystemUpTimeText(); });
  set(31, [] { return AskedOnce<&ProcessorValue>(); });
  set(32, [] { return DisplayModeValue(); });
  set(33, [] { return DisplayDpiValue(); });
  set(34, [] { return AskedOnce<&VideoCardValue>(); });
  set(35, [] { return PrinterValue(); });
  set(36, [] { return OsTypeValue(); });
  set(37, [] { return BuildNumberValue(); });
  set(38, [] { return UpdateValue(); });
  set(39, [] { return LanguageValue(); });
  set(40, [] { return CharsetValue(); });
  bool network = false;
  for (int f = 41; f <= 46; ++f) network = network || FieldShown(options, f);
  if (network) {
    // Gathered once for the six values.
    TNetworkTexts n = NetworkValues();
    const std::string* texts[] = {&n.Address, &n.Mask, &n.Gateway, &n.Dns1, &n.Dns2, &n.Dhcp};
    for (int f = 41; f <= 46; ++f) s.Values[static_cast<size_t>(f)] = *texts[f - 41];
  }
}

struct TThreadCaption {
  std::string Priority;
  std::string ClassName;
  bool Main = false;
};

// `known`: the priority the walk read, when it did.
TThreadCaption CaptionOf(uint32_t threadId, int32_t known) {
  TThreadCaption c;
  c.Main = threadId != 0 && threadId == mainThreadId.load();
  // The reporting thread asks through its own pseudo-handle: no open and close.
  const bool own = threadId == GetCurrentThreadId();
  HANDLE thread = nullptr;
  if (known != ThreadPriorityUnknown)
    c.Priority = ThreadPriorityWord(known);
  else
    thread = own ? GetCurrentThread() : OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
  if (thread) {
    int priority = GetThreadPriority(thread);
    if (priority != THREAD_PRIORITY_ERROR_RETURN) c.Priority = ThreadPriorityWord(priority);
    if (!own) CloseHandle(thread);
  }
  if (TThreadClassNameProc proc = threadClassName.load()) c.ClassName = proc(threadId);
  return c;
}

void FillStack(TReportSnapshot& s, const TReportJob& job) {
  if (!job.Stacks) return;
  std::map<uint32_t, TThreadCaption> captions;
  const TQuelbaStackList& list = *job.Stacks;
  for (int i = 0; i < list.Count(); ++i) {
    const TQuelbaLocation* l = list.Get(i);
    if (!l) continue;
    TReportStackEntry e;
    e.Kind = l->Kind;
    e.Address = l->Address;
    if (l->Module) e.ModuleName = FileNameOf(l->Module->FileName);
    e.UnitName = l->UnitName;
    e.ClassName = l->ClassName;
    e.RoutineName = l->RoutineName;
    e.Line = l->Line;
    e.LineOffset = l->LineOffset;
    e.ThreadId = static_cast<int32_t>(l->FrameValue);
    e.Running = l->ThreadKind;
    e.Raising = l->IsFirst;
    e.ThreadName = l->Extra;
    if (l->Leak) {
      e.Leak = true;
      e.LeakType = l->LeakType;
      e.LeakSize = static_cast<int32_t>(l->LeakSize);
      e.LeakCount = static_cast<int32_t>(l->LeakCount);
      s.Stack.push_back(std::move(e));
      continue;
    }
    auto found = captions.find(l->FrameValue);
    if (found == captions.end()) found = captions.emplace(l->FrameValue, CaptionOf(l->FrameValue, l->ThreadPriority)).first;
    e.Priority = found->second.Priority;
    e.MainThread = found->second.Main;
    e.ThreadClass = found->second.ClassName;
    s.Stack.push_back(std::move(e));
  }
}

void FillLists(TReportSnapshot& s) {
  RefreshModules();
  s.Modules = ModuleRows();
  BuildProcessList(ProcessesList());
  s.Processes = ProcessRows();
}

}  // namespace

std::vector<TReportModuleRow> ModuleRows() {
  std::vector<TReportModuleRow> rows;
  TQuelbaModulesList& modules = ModulesList();
  TCriticalSectionLock hold(modules.Section());
  for (int i = 0; i < modules.Count(); ++i) {
    const TQuelbaModuleInfo* m = modules.Get(i);
    if (!m) continue;
    TReportModuleRow row;
    row.Handle = m->Handle;
    row.FileName = FileNameOf(m->FileName);
    row.Description = m->Description;
    row.Version = m->Version;
    row.Size = m->FileSize;
    row.Modified = m->LastModified;
    row.Path = m->FileName;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TReportProcessRow> ProcessRows() {
  std::vector<TReportProcessRow> rows;
  TQuelbaProcessesList& processes = ProcessesList();
  TCriticalSectionLock hold(processes.Section());
  for (int i = 0; i < processes.Count(); ++i) {
    const TQuelbaProcessInfo* p = processes.Get(i);
    if (!p) continue;
    TReportProcessRow row;
    row.ProcessId = p->ProcessId;
    row.FileName = FileNameOf(p->FileName);
    row.Description = p->Description;
    row.Version = p->Version;
    row.Memory = p->Memory;
    row.PriorityClass = p->PriorityClass;
    row.Threads = p->Threads;
    row.Path = p->FileName;
    rows.push_back(std::move(row));
  }
  return rows;
}

void SetReportMainThreadId(uint32_t threadId) { mainThreadId = threadId; }

TThreadClassNameProc SetReportThreadClassSeam(TThreadClassNameProc proc) { return threadClassName.exchange(proc); }

std::string ThreadPriorityWord(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE: return "Idle";
    case THREAD_PRIORITY_LOWEST: return "Lowest";
    case THREAD_PRIORITY_BELOW_NORMAL: return "Lower";
    case THREAD_PRIORITY_NORMAL: return "Normal";
    case THREAD_PRIORITY_ABOVE_NORMAL: return "Higher";
    case THREAD_PRIORITY_HIGHEST: return "Highest";
    case THREAD_PRIORITY_TIME_CRITICAL: return "Time Critical";
    default: return "";
  }
}

TReportSnapshot TakeReportSnapshot(const TReportJob& job, const TQuelbaModuleOptions& options, bool windowed) {
  TReportSnapshot s;
  for (int i = 0; i < TextCount; ++i) s.Texts.push_back(options.Text(i));
  s.ReportFields = options.ReportFields();
  s.LogFlags = options.LogFlags();
  s.StackDetailFlags = options.StackDetailFlags();
  s.Windowed = windowed;
  FillValues(s, job, options);
  s.ExceptionAddress = static_cast<uint32_t>(job.Exception.Address);
  if (job.Context) {
    s.ContextReadable = CopyReadable(s.Context, reinterpret_cast<uintptr_t>(job.Context));
  }
  if (s.ContextReadable) {
    std::memcpy(&s.StackPointer, &s.Context[196], 4);
  } else {
    s.StackPointer = static_cast<uint32_t>(job.FrameWord);
  }
  if (s.LogFlags & 0x20) {
    // The code first: the dump and the listing read the same copy's memory once each.
    s.CodeReadable = CopyReadable(s.CodeBytes, job.Exception.Address);
    s.StackReadable = CopyReadable(s.StackBytes, s.StackPointer);
    TAsmListing listing =
        AssemblerListing(reinterpret_cast<const void*>(job.Exception.Address), options.Text(14));
    s.AsmHeader = listing.Header;
    s.AsmText = listing.Text;
  }
  FillStack(s, job);
  if (s.LogFlags & 0x10) FillLists(s);
  return s;
}

std::string BuildProcessReport(const TReportJob& job, const TQuelbaModuleOptions& options, bool windowed) {
  return BuildReportText(TakeReportSnapshot(job, options, windowed), job.StackId);
}

}  // namespace exclog
