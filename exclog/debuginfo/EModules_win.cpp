#include "exclog/debuginfo/EModules_win.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "exclog/core/ECore_win.h"
#include "exclog/core/EZip.h"
#include "exclog/debuginfo/EDebug.h"
#include "exclog/debuginfo/EVersionBlock.h"
#include "exclog/debuginfo/EVersionFile.h"

namespace exclog {

namespace {

std::atomic<bool> refreshing{false};

// A routine looked up by name, null when missing.
template <class F>
F BindProc(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

uintptr_t ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return reinterpret_cast<uintptr_t>(module);
}

uintptr_t LoggerModule() {
  return ModuleInfoSeams().LoggerModule ? ModuleInfoSeams().LoggerModule() : ThisModule();
}

// The bytes of the module's "QLDATA" resource; null when missing.
const uint8_t* ResourceBytes(HMODULE module, size_t& size) {
  HRSRC found = FindResourceA(module, "QLDATA", MAKEINTRESOURCEA(10));
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  size = SizeofResource(module, found);
  if (!data || !IsReadable(data, size)) return nullptr;
  return static_cast<const uint8_t*>(data);
}

// Closes a file handle at scope end.
class TFileHandle {
 public:
  explicit TFileHandle(HANDLE h) : h_(h) {}
  ~TFileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD got = 0;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &got, nullptr) &&
         got == size;
}

// The appended block with its size field and magic, read from the end of the file;
// nothing when the file does not end with the magic.
std::optional<std::string> AppendedTail(const std::string& fileName) {
  TFileHandle file(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 8) return std::nullopt;
  uint32_t trailer[2];
  if (!ReadAt(file.Get(), uint64_t(size.QuadPart) - 8, trailer, 8) || !IsDebugDataMagic(trailer[1]))
    return std::nullopt;
  // The block's size is the file's word: bounded by the file and by a sane cap.
  uint64_t total = uint64_t(trailer[0]) + 8;
  if (total > uint64_t(size.QuadPart) || total > QLDataInflateCap) return std::nullopt;
  std::string tail(size_t(total), '\0');
  if (!ReadAt(file.Get(), uint64_t(size.QuadPart) - total, tail.data(), DWORD(total))) return std::nullopt;
  return tail;
}

// The password exports of a module built with the logger (EAX, EDX, ECX).
using TPasswordEx = __attribute__((regparm(3))) void (*)(void* record, char* buffer, int size);
using TPassword = __attribute__((regparm(3))) void (*)(char* buffer, int size);

// Asks one source for the pass phrase in a fixed buffer that always ends in a zero.
template <class Ask>
std::string AskPassPhrase(const std::string& current, Ask ask) {
  char buffer[256];
  size_t length = std::min<size_t>(current.size(), 255);
  std::memcpy(buffer, current.data(), length);
  buffer[length] = '\0';
  try {
    ask(buffer, 255);
  } catch (...) {
    // A handler's failure leaves the key as it was.
    return current;
  }
  buffer[255] = '\0';
  return buffer;
}

void ApplyContent(TQuelbaModuleInfo& record, const TQLModuleDataContent& content, bool refreshing,
                  HMODULE module) {
  record.DataVersion = content.Version;
  record.DataHeader = content.Header;
  if (!record.Options) record.Options = std::make_unique<TQuelbaModuleOptionsEx>(record.FileName);
  try {
    record.Options->LoadFromBytes(content.OptionsStream.data(), content.OptionsStream.size(), content.Version);
  } catch (...) {
    // Unreadable options: the defaults stay.
  }
  if (uintptr_t(module) != LoggerModule()) record.Options->Reload();
  if (refreshing || !content.DebugBlock) return;

  bool encrypted = false;
  if (content.KeyCheck) {
    auto ex = BindProc<TPasswordEx>(module, "QuelbaLog_PasswordRequestEventEx");
    auto plain = BindProc<TPassword>(module, "QuelbaLog_PasswordRequestEvent");
    if (ex)
      record.NameKey = AskPassPhrase(record.NameKey, [&](char* b, int n) { ex(nullptr, b, n); });
    else if (plain)
      record.NameKey = AskPassPhrase(record.NameKey, [&](char* b, int n) { plain(b, n); });
    encrypted = KeyMatches(TQLCipher(record.NameKey), *content.KeyCheck);
    auto handlers = ModuleInfoSeams().AskPasswordHandlers;
    if (!encrypted && handlers && uintptr_t(module) != LoggerModule()) {
      record.NameKey = AskPassPhrase(record.NameKey, handlers);
      encrypted = KeyMatches(TQLCipher(record.NameKey), *content.KeyCheck);
    }
  }
  record.NamesEncrypted = encrypted ? 1 : 0;
  record.DebugData = std::make_unique<TQLDebugData>(*content.DebugBlock, content.Version, encrypted, record.NameKey);
}

bool IsModuleLoaded(uintptr_t handle, std::string* fileName) {
  if (handle == 0) return false;
  char name[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(reinterpret_cast<HMODULE>(handle), name, MAX_PATH);
  if (length == 0) return false;
  if (fileName) fileName->assign(name, length);
  return true;
}

// A filled record, not yet in the list.
TQuelbaModuleInfo* CreateRecord(uintptr_t handle, const std::string& fileName, bool full) {
  auto record = std::make_unique<TQuelbaModuleInfo>();
  record->Handle = handle;
  record->FileName = fileName;
  record->NameKey.clear();
  record->NamesEncrypted = 1;
  // One question for the date, the size and the version facts' key: under Wine each
  // asks the host's file system for the whole path again.
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &attributes)) {
    record->LastModified = FileDateOf(attributes.ftLastWriteTime);
    ReadVersionInfo(fileName, &attributes, record->Description, record->Version);
    record->FileSize = attributes.nFileSizeLow;
  } else {
    record->LastModified = 0;
    ReadVersionInfo(fileName, nullptr, record->Description, record->Version);
  }
  bool inRefresh = refreshing.load();
  if (full && !inRefresh) {
    if (handle != reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)) && ModuleInfoSeams().BuildExportList)
      ModuleInfoSeams().BuildExportList(handle, *record->Routines);
    record->ModuleKind = ModuleKindOf(reinterpret_cast<HMODULE>(handle));
  }
  record->Options = std::make_unique<TQuelbaModuleOptionsEx>(fileName);
  bool loaded = full && LoadModuleData(*record, inRefresh);
  if (!loaded) {
    record->DataVersion = 6104;
    record->DataHeader = {};
    record->DebugData.reset();
    if (full && !inRefresh && ModuleInfoSeams().CreateDebugSource)
      record->DebugSource = ModuleInfoSeams().CreateDebugSource(handle);
  }
  return record.release();
}

// The base of every image mapped in this process, from one walk of the address
// space. The loader's list through the process-information interfaces costs a
// cross-process read per entry under Wine (a hundred modules: tens of ms); this walk
// stays in-process. Images that are not loaded modules (resource-only mappings) are
// left to the caller's GetModuleFileName test. False when the walk could not get
// through (a region that cannot be queried, again and again): the caller asks the
// loader instead.
bool ImageBasesOfThisProcess(std::vector<HMODULE>& bases) {
  constexpr uintptr_t kGranularity = 0x10000;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  auto at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
  const auto end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
  MEMORY_BASIC_INFORMATION info;
  int failures = 0;
  while (at < end) {
    uintptr_t next = 0;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == sizeof info) {
      if (info.Type == MEM_IMAGE && info.BaseAddress == info.AllocationBase)
        bases.push_back(static_cast<HMODULE>(info.AllocationBase));
      next = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    } else if (++failures > 64) {
      return false;
    }
    // A region that changed under the query (another thread maps or frees) can give
    // nothing usable: step over it to the next allocation unit.
    at = next > at ? next : (at + kGranularity) & ~(kGranularity - 1);
  }
  return true;
}

// The loader's list through EnumProcessModules; empty when the interface is missing.
std::vector<HMODULE> LoaderModules() {
  static HMODULE psapi = LoadLibraryA("psapi.dll");  // kept: the next refresh needs it too
  using TEnum = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  auto enumModules = psapi ? BindProc<TEnum>(psapi, "EnumProcessModules") : nullptr;
  std::vector<HMODULE> handles;
  if (!enumModules) return handles;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
  DWORD needed = 0;
  if (process && enumModules(process, nullptr, 0, &needed) && needed) {
    handles.resize(needed / sizeof(HMODULE));
    if (!enumModules(process, handles.data(), DWORD(handles.size() * sizeof(HMODULE)), &needed)) handles.clear();
    handles.resize(std::min<size_t>(handles.size(), needed / sizeof(HMODULE)));
  }
  if (process) CloseHandle(process);
  return handles;
}

// Version resources read before, by file name, with the file's size and write time:
// a file that kept both is taken as unchanged, and reading the resource maps the
// whole file. Skipped while another thread holds the cache (it may be suspended
// for a stack walk).
struct TVersionFacts {
  uint64_t Written = 0;
  uint32_t Size = 0;
  bool Found = false;
  std::string Description, Version;
};
std::mutex versionCacheLock;
std::map<std::string, TVersionFacts>& VersionCache() {
  static auto* cache = new std::map<std::string, TVersionFacts>;
  return *cache;
}
constexpr size_t kVersionCacheLimit = 1024;

bool ReadVersionResource(const std::string& fileName, std::string& description, std::string& version) {
  description.clear();
  version.clear();
  std::optional<std::string> block = FileVersionBlock(fileName);
  if (!block) return false;
  description = FileVersionString(*block, u"FileDescription");
  if (auto fixed = VersionFixedInfo(*block)) version = FileVersionText(fixed->FileVersionMs, fixed->FileVersionLs);
  return true;
}


}  // namespace

TModuleInfoSeams& ModuleInfoSeams() {
  static TModuleInfoSeams seams;
  return seams;
}

bool HasModuleData(HMODULE module) {
  size_t size = 0;
  const uint8_t* bytes = ResourceBytes(module, size);
  if (bytes && size >= 4) {
    uint32_t magic;
    std::memcpy(&magic, bytes, 4);
    if (IsDebugDataMagic(magic)) return true;
  }
  std::string name;
  return IsModuleLoaded(reinterpret_cast<uintptr_t>(module), &name) && AppendedTail(name).has_value();
}

uint16_t ModuleDataVersion(HMODULE module) {
  size_t size = 0;
  const uint8_t* bytes = ResourceBytes(module, size);
  if (bytes) {
    if (auto header = ParseDataHeader(bytes, size)) return header->Version;
  }
  std::string name;
  if (!IsModuleLoaded(reinterpret_cast<uintptr_t>(module), &name)) return 0;
  auto tail = AppendedTail(name);
  if (!tail || tail->size() < 10) return 0;
  uint32_t blockSize;
  std::memcpy(&blockSize, tail->data() + tail->size() - 8, 4);
  // AppendedTail cut the tail to exactly this size plus its 8-byte trailer.
  if (blockSize != tail->size() - 8) return 0;
  uint16_t raw;
  std::memcpy(&raw, tail->data() + tail->size() - 8 - blockSize, 2);
  return NormalizeDataVersion(raw);
}

bool HasCurrentModuleData(HMODULE module) {
  return HasModuleData(module) && ModuleDataVersion(module) >= QLDataMaxVersion;
}

const uint8_t* OwnBlockAddress(uint8_t kind, size_t* size) {
  struct TOwnData {
    std::optional<TQLDataHeader> Header;
    std::optional<std::string> Body;
  };
  static const TOwnData own = [] {
    TOwnData data;
    size_t length = 0;
    const uint8_t* bytes = ResourceBytes(reinterpret_cast<HMODULE>(ThisModule()), length);
    if (bytes) data.Header = ParseDataHeader(bytes, length);
    if (data.Header && data.Header->Version <= QLDataMaxVersion)
      data.Body = TryInflateToBuffer(bytes + data.Header->BodyOffset, length - data.Header->BodyOffset,
                                     QLDataInflateCap);
    return data;
  }();
  if (!own.Header || !own.Body) return nullptr;
  for (const TQLDirectoryEntry& entry : own.Header->Directory) {
    if (kind != 255 && entry.Kind != kind) continue;
    if (entry.Offset > own.Body->size() || entry.Size > own.Body->size() - entry.Offset) return nullptr;
    if (size) *size = entry.Size;
    return reinterpret_cast<const uint8_t*>(own.Body->data()) + entry.Offset;
  }
  return nullptr;
}

bool LoadModuleData(TQuelbaModuleInfo& record, bool refreshing) {
  HMODULE module = reinterpret_cast<HMODULE>(record.Handle);
  size_t size = 0;
  const uint8_t* bytes = ResourceBytes(module, size);
  std::optional<TQLModuleDataContent> content;
  if (bytes) content = ParseResourceData(bytes, size);
  if (!content) {
    std::string name = record.FileName;
    if (name.empty() && !IsModuleLoaded(record.Handle, &name)) return false;
    if (auto tail = AppendedTail(name)) {
      content = ParseAppendedData(reinterpret_cast<const uint8_t*>(tail->data()), tail->size(), !refreshing);
      if (content) content->KeyCheck.reset();  // appended names are plain
    }
  }
  if (!content) return false;
  ApplyContent(record, *content, refreshing, module);
  return true;
}

TQuelbaModulesList& ModulesList() {
  static TQuelbaModulesList* list = new TQuelbaModulesList;  // lives to the process's end
  return *list;
}

bool RefreshRunning() { return refreshing.load(); }

bool AddModule(uintptr_t handle, const std::string& fileName, bool full) {
  TQuelbaModuleInfo* record = CreateRecord(handle, fileName, full);
  ModulesList().Add(record);
  return true;
}

TModuleRef FindModule(uintptr_t handle) {
  if (handle == 0) return {};
  TQuelbaModulesList& list = ModulesList();
  {
    TCriticalSectionLock hold(list.Section());
    int index = list.IndexOfHandle(handle);
    if (index >= 0) {
      TQuelbaModuleInfo* found = list.Get(index);
      if (found->ModuleKind != 0 || refreshing.load()) return TModuleRef(found);
    }
  }
  std::string fileName;
  if (!IsModuleLoaded(handle, &fileName)) return {};
  // Filled outside the lock: the pass-phrase handlers may run here.
  TQuelbaModuleInfo* fresh = CreateRecord(handle, fileName, true);
  TModuleRef result;
  TQuelbaModuleInfo* stale = nullptr;
  {
    TCriticalSectionLock hold(list.Section());
    int index = list.IndexOfHandle(handle);
    TQuelbaModuleInfo* current = index >= 0 ? list.Get(index) : nullptr;
    if (current && current->ModuleKind != 0) {
      result = TModuleRef(current);  // another thread was first
    } else {
      if (current) {
        stale = current;
        list.TList::Delete(index);
      }
      list.TList::Add(fresh);
      result = TModuleRef(fresh);
      fresh = nullptr;
    }
  }
  if (fresh) fresh->Release();
  if (stale) stale->Release();
  return result;
}

TModuleRef ModuleOfAddress(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(address, &info, sizeof info)) return {};
  return FindModule(reinterpret_cast<uintptr_t>(info.AllocationBase));
}

void RefreshModules() {
  TQuelbaModulesList& list = ModulesList();
  std::vector<TQuelbaModuleInfo*> dropped;
  {
    TCriticalSectionLock hold(list.Section());
    for (int i = list.Count() - 1; i >= 0; --i) {
      TQuelbaModuleInfo* record = list.Get(i);
      if (!IsModuleLoaded(record->Handle, nullptr)) {
        dropped.push_back(record);
        list.TList::Delete(i);
      }
    }
    refreshing = true;
    std::vector<HMODULE> handles;
    if (!ImageBasesOfThisProcess(handles) || handles.empty()) handles = LoaderModules();
    if (handles.empty()) {
      HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
      if (snapshot != INVALID_HANDLE_VALUE) {
        MODULEENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
          handles.push_back(entry.hModule);
        CloseHandle(snapshot);
      }
    }
    for (HMODULE h : handles) {
      std::string name;
      if (list.IndexOfHandle(uintptr_t(h)) < 0 && IsModuleLoaded(uintptr_t(h), &name)) {
        try {
          AddModule(uintptr_t(h), name, true);
        } catch (...) {
          // One unreadable module does not stop the refresh.
        }
      }
    }
    list.Sort([](void* a, void* b) {
      uintptr_t x = static_cast<TQuelbaModuleInfo*>(a)->Handle, y = static_cast<TQuelbaModuleInfo*>(b)->Handle;
      return x < y ? -1 : x > y ? 1 : 0;
    });
    refreshing = false;
  }
  // Records of unloaded modules are freed outside the lock.
  for (TQuelbaModuleInfo* r : dropped) r->Release();
}

TModuleKind ModuleKindOf(HMODULE module) {
  const uint8_t* base = reinterpret_cast<const uint8_t*>(module);
  if (!base) return ModuleUnknown;
  return ClassifyImage(
      [&](size_t offset, void* buffer, size_t size) {
        if (!IsReadable(base + offset, size)) return false;
        std::memcpy(buffer, base + offset, size);
        return true;
      },
      [&] {
        return FindResourceA(module, "PACKAGEINFO", MAKEINTRESOURCEA(10)) &&
               FindResourceA(module, "PACKAGEOPTIONS", MAKEINTRESOURCEA(10));
      });
}

namespace {

// The block's length is a 16-bit word: it is read into room for the largest block
// there can be and cut at its length.
constexpr DWORD LargestVersionBlock = 0x10000;

std::string CutAtBlockLength(std::string block) {
  const size_t length = static_cast<uint8_t>(block[0]) | static_cast<size_t>(static_cast<uint8_t>(block[1])) << 8;
  block.resize(std::max<size_t>(length, 2));
  return block;
}

}  // namespace

bool FileVersionBlockOfHeaders(const std::string& fileName, std::optional<std::string>& block) {
  block.reset();
  HANDLE file = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool settled = false;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    auto read = [file](uint64_t offset, void* buffer, size_t bytes) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD got = 0;
      return bytes <= MAXDWORD && ReadFile(file, buffer, static_cast<DWORD>(bytes), &got, &at) && got == bytes;
    };
    TVersionResource found = FindVersionResource(read, static_cast<uint64_t>(size.QuadPart));
    if (found.Kind == TVersionResource::None) {
      settled = true;
    } else if (found.Kind == TVersionResource::Found) {
      std::string bytes(LargestVersionBlock, '\0');
      if (read(found.Span.Offset, bytes.data(), std::min<size_t>(found.Span.Size, LargestVersionBlock))) {
        block = CutAtBlockLength(std::move(bytes));
        settled = true;
      }
    }
  }
  CloseHandle(file);
  return settled;
}

std::optional<std::string> FileVersionBlock(const std::string& fileName) {
  // A file no module of this process was loaded from is read where its headers
  // place the block: the system would map the whole file first. A loaded one the
  // system reads from the loaded image, which costs less than reading the file.
  std::optional<std::string> fromHeaders;
  if (!GetModuleHandleA(fileName.c_str()) && FileVersionBlockOfHeaders(fileName, fromHeaders)) return fromHeaders;
  // One read where asking for the size first maps the file a second time.
  std::string block(LargestVersionBlock, '\0');
  if (!GetFileVersionInfoA(fileName.c_str(), 0, LargestVersionBlock, block.data())) return std::nullopt;
  return CutAtBlockLength(std::move(block));
}

std::string FileVersionString(const std::string& block, std::u16string_view key) {
  std::optional<std::u16string> wide = VersionString(block, key);
  if (!wide || wide->empty()) return "";
  const auto* w = reinterpret_cast<const wchar_t*>(wide->data());
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide->size()), nullptr, 0, nullptr, nullptr);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide->size()), text.data(), n, nullptr, nullptr);
  // A one-character entry is a placeholder, not a text.
  return text.size() >= 2 ? text : "";
}

bool ReadVersionInfo(const std::string& fileName, std::string& description, std::string& version) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  bool known = GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &attributes) != FALSE;
  return ReadVersionInfo(fileName, known ? &attributes : nullptr, description, version);
}

bool ReadVersionInfo(const std::string& fileName, const WIN32_FILE_ATTRIBUTE_DATA* file, std::string& description,
                     std::string& version) {
  if (!file) return ReadVersionResource(fileName, description, version);
  const WIN32_FILE_ATTRIBUTE_DATA& attributes = *file;
  const uint64_t written =
      (uint64_t{attributes.ftLastWriteTime.dwHighDateTime} << 32) | attributes.ftLastWriteTime.dwLowDateTime;
  const uint32_t size = attributes.nFileSizeLow;
  std::unique_lock<std::mutex> hold(versionCacheLock, std::try_to_lock);
  if (!hold) return ReadVersionResource(fileName, description, version);
  auto& cache = VersionCache();
  auto found = cache.find(fileName);
  if (found != cache.end() && found->second.Written == written && found->second.Size == size) {
    description = found->second.Description;
    version = found->second.Version;
    return found->second.Found;
  }
  TVersionFacts facts;
  facts.Written = written;
  facts.Size = size;
  facts.Found = ReadVersionResource(fileName, facts.Description, facts.Version);
  description = facts.Description;
  version = facts.Version;
  const bool result = facts.Found;
  if (cache.size() >= kVersionCacheLimit) cache.clear();
  cache[fileName] = std::move(facts);
  return result;
}

TQuelbaProcessesList& ProcessesList() {
  static TQuelbaProcessesList* list = new TQuelbaProcessesList;
  return *list;
}

namespace {

// A process's image path, kept for the process's life: the same id with the same
// creation time is the same process, whose image never changes. The path through
// GetModuleFileNameEx reads the other process's memory several times.
struct TProcessKey {
  uint32_t Id;
  uint64_t Created;
  bool operator<(const TProcessKey& o) const { return Id != o.Id ? Id < o.Id : Created < o.Created; }
};
std::mutex processNamesLock;
std::map<TProcessKey, std::string>& ProcessNames() {
  static auto* names = new std::map<TProcessKey, std::string>;
  return *names;
}

// One running process as the system lists it. `Created` is 0 when the listing
// did not say.
struct TListedProcess {
  uint32_t Id = 0;
  uint32_t Threads = 0;
  int32_t BasePriority = 0;
  uint64_t Created = 0;
  std::string ExeFile;
  // The working set, when the listing carried it (as the system query does).
  std::optional<uint32_t> WorkingSet;
};

// Every process from one system query, which carries each one's creation time
// (the tool-help snapshot is made from the same query but drops the times, and
// asking each process for its times reads the host's process tables under Wine).
// Nothing when the query is missing or fails.
std::optional<std::vector<TListedProcess>> QueriedProcesses() {
  using TQuery = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr ULONG ProcessInformationClass = 5;
  constexpr LONG LengthMismatch = static_cast<LONG>(0xC0000004);
  constexpr ULONG Limit = 16u << 20;
  if (!query) return std::nullopt;
  std::vector<uint8_t> buffer(64u << 10);
  LONG status = LengthMismatch;
  while (true) {
    ULONG needed = 0;
    status = query(ProcessInformationClass, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status != LengthMismatch || buffer.size() >= Limit) break;
    buffer.resize(std::min<size_t>(Limit, std::max<size_t>(buffer.size() * 2, needed + 4096)));
  }
  if (status != 0) return std::nullopt;
  std::vector<TListedProcess> out;
  size_t at = 0;
  while (at + sizeof(SYSTEM_PROCESS_INFORMATION) <= buffer.size()) {
    SYSTEM_PROCESS_INFORMATION info;
    std::memcpy(&info, buffer.data() + at, sizeof info);
    TListedProcess p;
    p.Id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.UniqueProcessId));
    p.Threads = info.NumberOfThreads;
    p.BasePriority = info.BasePriority;
    p.Created = static_cast<uint64_t>(info.CreateTime.QuadPart);
    p.WorkingSet = static_cast<uint32_t>(info.VirtualMemoryCounters.WorkingSetSize);
    const auto* name = reinterpret_cast<const uint8_t*>(info.ImageName.Buffer);
    const uint8_t* begin = buffer.data();
    size_t nameLength = info.ImageName.Length / 2;
    // The name lies in the same buffer; one that does not is left out.
    if (name >= begin && name <= begin + buffer.size() &&
        nameLength <= static_cast<size_t>(begin + buffer.size() - name) / 2 && nameLength > 0) {
      char text[MAX_PATH] = {};
      int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(info.ImageName.Buffer),
                                  static_cast<int>(nameLength), text, MAX_PATH - 1, nullptr, nullptr);
      p.ExeFile.assign(text, n > 0 ? static_cast<size_t>(n) : 0);
    }
    out.push_back(std::move(p));
    if (info.NextEntryOffset == 0) break;
    at += info.NextEntryOffset;
  }
  return out;
}

// The same from the tool-help snapshot, without creation times.
std::optional<std::vector<TListedProcess>> SnapshotProcesses() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  using TSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using TProcessWalk = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
  auto snapshotOf = BindProc<TSnapshot>(kernel, "CreateToolhelp32Snapshot");
  auto processFirst = BindProc<TProcessWalk>(kernel, "Process32First");
  auto processNext = BindProc<TProcessWalk>(kernel, "Process32Next");
  if (!snapshotOf || !processFirst || !processNext) return std::nullopt;
  HANDLE snapshot = snapshotOf(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<TListedProcess> out;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = processFirst(snapshot, &entry); more; more = processNext(snapshot, &entry)) {
    TListedProcess p;
    p.Id = entry.th32ProcessID;
    p.Threads = entry.cntThreads;
    p.BasePriority = entry.pcPriClassBase;
    p.ExeFile = entry.szExeFile;
    out.push_back(std::move(p));
  }
  CloseHandle(snapshot);
  return out;
}

}  // namespace

bool BuildProcessList(TQuelbaProcessesList& list) {
  bool nt = (GetVersion() & 0x80000000u) == 0;
  std::optional<std::vector<TListedProcess>> listed = nt ? QueriedProcesses() : std::nullopt;
  if (!listed) listed = SnapshotProcesses();
  if (!listed) return false;

  using TFileNameEx = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  using TMemoryInfo = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
  using TImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
  // Since Windows 7 the process-status routines live in kernel32 (the helper library
  // only forwards there): loading the helper is needed only on older systems, and
  // then it stays loaded, since a report may come often and loading costs more
  // than the calls.
  static const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  static const bool inKernel = BindProc<TMemoryInfo>(kernel, "K32GetProcessMemoryInfo") != nullptr;
  static const HMODULE psapi = inKernel ? nullptr : LoadLibraryA("psapi.dll");
  auto fileNameEx = inKernel ? BindProc<TFileNameEx>(kernel, "K32GetModuleFileNameExA")
                    : psapi  ? BindProc<TFileNameEx>(psapi, "GetModuleFileNameExA")
                             : nullptr;
  auto memoryInfo = inKernel ? BindProc<TMemoryInfo>(kernel, "K32GetProcessMemoryInfo")
                    : psapi  ? BindProc<TMemoryInfo>(psapi, "GetProcessMemoryInfo")
                             : nullptr;
  // One question to the system instead of several reads of the other process's
  // memory; the same path.
  static const auto imageName =
      BindProc<TImageName>(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA");

  std::vector<std::unique_ptr<TQuelbaProcessInfo>> found;
  std::unique_lock<std::mutex> names(processNamesLock, std::try_to_lock);  // see ReadVersionInfo
  std::map<TProcessKey, std::string> seen;
  for (const TListedProcess& entry : *listed) {
    auto info = std::make_unique<TQuelbaProcessInfo>();
    info->ProcessId = entry.Id;
    info->FileName = entry.ExeFile;
    info->Threads = entry.Threads;
    if (nt) {
      HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.Id);
      if (!process) continue;  // cannot be opened: skipped
      std::optional<TProcessKey> key;
      if (entry.Created) {
        key = TProcessKey{entry.Id, entry.Created};
      } else {
        FILETIME created{}, exited{}, kernelTime{}, userTime{};
        if (GetProcessTimes(process, &created, &exited, &kernelTime, &userTime))
          key = TProcessKey{entry.Id, (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime};
      }
      auto known = key && names ? ProcessNames().find(*key) : ProcessNames().end();
      if (key && names && known != ProcessNames().end()) {
        info->FileName = known->second;
      } else {
        char name[261] = {};
        DWORD size = 260;
        if (imageName && imageName(process, 0, name, &size) && size > 0)
          info->FileName.assign(name, size);
        else if (fileNameEx && fileNameEx(process, nullptr, name, 260))
          info->FileName = name;
      }
      if (key) seen[*key] = info->FileName;
      info->PriorityClass = GetPriorityClass(process);
      // The listing's own counters are the process's counters at the listing's
      // moment; asking the process again costs a round trip to the system each.
      PROCESS_MEMORY_COUNTERS counters{};
      counters.cb = sizeof counters;
      if (entry.WorkingSet)
        info->Memory = *entry.WorkingSet;
      else if (memoryInfo && memoryInfo(process, &counters, sizeof counters))
        info->Memory = static_cast<uint32_t>(counters.WorkingSetSize);
      CloseHandle(process);
    } else {
      info->PriorityClass = PriorityFromBasePriority(entry.BasePriority);
    }
    ReadVersionInfo(info->FileName, info->Description, info->Version);
    found.push_back(std::move(info));
  }
  // Only the running processes stay known.
  if (names) ProcessNames().swap(seen);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a->ProcessId < b->ProcessId; });
  list.Clear();
  for (auto& info : found) list.Add(info.release());
  return true;
}

}  // namespace exclog
