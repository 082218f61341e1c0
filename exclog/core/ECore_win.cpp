#include "exclog/core/ECore_win.h"

#include <shlobj.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "classlib/Streams.h"

namespace exclog {

namespace {

std::string SystemDateText(DWORD flags, bool time) {
  char buffer[128];
  int n = time ? GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buffer, sizeof buffer)
               : GetDateFormatA(LOCALE_USER_DEFAULT, flags, nullptr, nullptr, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer) : std::string();
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// Closes a file handle on every path.
class TFileHandleGuard {
 public:
  explicit TFileHandleGuard(HANDLE handle) : handle_(handle) {}
  ~TFileHandleGuard() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  TFileHandleGuard(const TFileHandleGuard&) = delete;
  TFileHandleGuard& operator=(const TFileHandleGuard&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Opens without changing the file: OPEN_EXISTING for reading, OPEN_ALWAYS otherwise
// (never CREATE_ALWAYS, which would empty an existing log).
bool CanOpen(const std::string& name, bool readOnly) {
  if (readOnly) {
    TFileHandleGuard file(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
  }
  bool created = false;
  {
    TFileHandleGuard file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    created = GetLastError() != ERROR_ALREADY_EXISTS;
  }
  if (created) DeleteFileA(name.c_str());
  return true;
}

bool HasFolder(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

std::string SettingsPath(const std::string& file) {
  std::string path = HasFolder(file) ? file : IncludeBackslash(SettingsFolder()) + file;
  return path;
}

bool IsReadableProtection(DWORD protect) {
  switch (protect) {
    case PAGE_READONLY: case PAGE_READWRITE: case PAGE_WRITECOPY: case PAGE_EXECUTE:
    case PAGE_EXECUTE_READ: case PAGE_EXECUTE_READWRITE: case PAGE_EXECUTE_WRITECOPY:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string EnvironmentVariable(const std::string& name) {
  std::vector<char> buffer(1024);
  DWORD n = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n >= buffer.size()) return {};  // changed meanwhile
  }
  return std::string(buffer.data(), n);
}

TVariableSource SystemVariableSource() {
  TVariableSource source;
  source.Environment = EnvironmentVariable;
  source.Date = [] { return SystemDateText(DATE_SHORTDATE, false); };
  source.Time = [] { return SystemDateText(0, true); };
  source.CurrentDirectory = CurrentDirectory;
  return source;
}

std::string ExpandVariables(std::string_view text) { return ExpandVariables(text, SystemVariableSource()); }

std::string AppDataFolder() {
  // Bound at run time: old systems lack shfolder.dll.
  using TGetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
  if (HMODULE library = LoadLibraryA("shfolder.dll")) {
    auto getFolderPath = reinterpret_cast<TGetFolderPath>(
        reinterpret_cast<void*>(GetProcAddress(library, "SHGetFolderPathA")));
    char path[MAX_PATH + 1] = {};
    bool found = getFolderPath && getFolderPath(nullptr, 26 /* CSIDL_APPDATA */, nullptr, 0, path) == S_OK &&
                 path[0] != '\0';
    FreeLibrary(library);
    if (found) return path;
  }
  std::string env = EnvironmentVariable("AppData");
  return env.empty() ? std::string("\\") : env;
}

std::string LoggerFolder() { return ExcludeBackslash(AppDataFolder()) + "\\QuelbaLog"; }

std::string SettingsFolder() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    char windows[MAX_PATH + 1];
    UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n > 0 && n < sizeof windows) return windows;
  }
  return LoggerFolder();
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceFolders(const std::string& path) {
  std::string folder = ExcludeBackslash(ExpandVariables(path));
  if (folder.size() < 3 || FolderExists(folder)) return true;
  std::string parent = ExtractFileDir(folder);
  if (parent == folder) return false;
  if (!parent.empty() && !ForceFolders(parent)) return false;
  return CreateDirectoryA(folder.c_str(), nullptr) != 0 || FolderExists(folder);
}

bool UsableFile(std::string& name, bool readOnly, bool subFolder) {
  std::string expanded = ExpandVariables(name);
  if (CanOpen(expanded, readOnly)) {
    name = expanded;
    return true;
  }
  std::string folder = LoggerFolder();
  if (!ForceFolders(folder)) return false;
  if (subFolder) {
    folder += "\\" + ChangeFileExt(ExtractFileName(ModuleFileName()), "");
    if (!ForceFolders(folder)) return false;
  }
  std::string moved = folder + "\\" + ExtractFileName(expanded);
  if (!CanOpen(moved, readOnly)) return false;
  name = moved;
  return true;
}

std::string ReadSetting(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& defaultValue) {
  std::string path = SettingsPath(file);
  if (!UsableFile(path, true, false)) return defaultValue;
  std::vector<char> buffer(2048);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                     static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), n);
}

bool WriteSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value) {
  std::string path = SettingsPath(file);
  ForceFolders(ExtractFileDir(path));
  if (!UsableFile(path, false, false)) return false;
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != 0;
}

std::string ModuleFileName(HMODULE module) {
  std::vector<char> buffer(MAX_PATH + 1);
  while (true) {
    DWORD n = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size() - 1) return std::string(buffer.data(), n);
    if (buffer.size() > 32768) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string ModuleLongFileName(HMODULE module) {
  return LongPathName(CutDevicePrefix(ModuleFileName(module)));
}

std::string ComputerName() {
  char buffer[MAX_COMPUTERNAME_LENGTH + 2];
  DWORD n = sizeof buffer;
  return GetComputerNameA(buffer, &n) ? std::string(buffer, n) : std::string();
}

std::string LogFileName(const TQuelbaModuleOptions& options, const std::string& name) {
  std::optional<std::string> computer;
  if (options.LogFlags() & 0x08) computer = ComputerName();
  // The computer name goes in before the test, so the file tested is the one used.
  std::string fileName =
      BuildLogFileName(name, ModuleFileName(), ExpandVariables(options.LogFolder()), computer);
  ForceFolders(ExtractFileDir(fileName));
  UsableFile(fileName, false, true);
  return fileName;
}

TDateTime FileDate(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return 0;
  return FileDateOf(data.ftLastWriteTime);
}

TDateTime FileDateOf(const FILETIME& written) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&written, &local)) return 0;
  return FileTimeToDateTime((uint64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime);
}

std::string LongPathName(const std::string& path) {
  if (path.find('~') == std::string::npos) return path;
  std::vector<std::string> parts = SplitText(path, "\\", false, true);
  if (parts.empty()) return path;
  std::string result = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string candidate = result + "\\" + parts[i];
    WIN32_FIND_DATAA found;
    HANDLE find = parts[i].empty() ? INVALID_HANDLE_VALUE : FindFirstFileA(candidate.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return path;
    FindClose(find);
    result += "\\";
    result += found.cFileName;
  }
  return result;
}

std::string ReadRegistryText(HKEY root, const std::string& key, const std::string& value) {
  std::string path = key;
  if (!path.empty() && path[0] == '\\') path.erase(0, 1);
  HKEY opened;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
  std::string text;
  DWORD size = 0;
  DWORD type = 0;
  if (RegQueryValueExA(opened, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(opened, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
        ERROR_SUCCESS) {
      text.assign(data.data(), std::min<size_t>(size, data.size()));
      while (!text.empty() && text.back() == '\0') text.pop_back();
    }
  }
  RegCloseKey(opened);
  return text;
}

int UtcOffsetHours() {
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  GetSystemTime(&utc);
  FILETIME localFile, utcFile;
  SystemTimeToFileTime(&local, &localFile);
  SystemTimeToFileTime(&utc, &utcFile);
  auto days = [](const FILETIME& t) {
    return FileTimeToDateTime((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return UtcOffsetHours(days(localFile), days(utcFile));
}

void LoadTextWithBom(TStrings& list, const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  std::string bytes = file.ReadRemaining();
  std::optional<std::u16string> wide = DecodeMarkedText(bytes);
  if (!wide) {
    list.SetText(bytes);
    return;
  }
  std::string ansi;
  if (!wide->empty()) {
    const auto* w = reinterpret_cast<const wchar_t*>(wide->data());
    int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide->size()), nullptr, 0, nullptr, nullptr);
    if (n > 0) {
      ansi.resize(static_cast<size_t>(n));
      WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide->size()), ansi.data(), n, nullptr, nullptr);
    }
  }
  list.SetText(ansi);
}

size_t ReadableBytes(const void* address, size_t size) {
  auto at = reinterpret_cast<uintptr_t>(address);
  size_t total = 0;
  do {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(at + total), &info, sizeof info) != sizeof info) break;
    if (info.State != MEM_COMMIT || !IsReadableProtection(info.Protect)) break;
    uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (regionEnd <= at + total) break;
    total = regionEnd - at;
  } while (total < size);
  return total;
}

bool IsReadable(const void* address, size_t size) { return ReadableBytes(address, size) >= size; }

}  // namespace exclog

// The copy loop with its own exception frame. The frame record on the stack is
// {next, handler, saved ebp}; on a fault the handler resumes at the fault label
// with esp at the record and ebp restored, which then unlinks the frame and
// returns 0. Faults while unwinding are passed on.
extern "C" int VelmoraSafeCopy(void* destination, const void* source, size_t size);
extern "C" char VelmoraSafeCopyLoop[], VelmoraSafeCopyLoopEnd[];
asm(R"(
  .text
  .p2align 4
  .globl _VelmoraSafeCopy
_VelmoraSafeCopy:
  pushl %ebp
  movl %esp, %ebp
  pushl %esi
  pushl %edi
  pushl %ebp
  pushl $_VelmoraSafeCopyHandler
  pushl %fs:0
  movl %esp, %fs:0
  movl 8(%ebp), %edi
  movl 12(%ebp), %esi
  movl 16(%ebp), %ecx
  cld
  .globl _VelmoraSafeCopyLoop
_VelmoraSafeCopyLoop:
  rep movsb
  .globl _VelmoraSafeCopyLoopEnd
_VelmoraSafeCopyLoopEnd:
  movl $1, %eax
_VelmoraSafeCopyDone:
  popl %ecx
  movl %ecx, %fs:0
  addl $8, %esp
  popl %edi
  popl %esi
  popl %ebp
  ret
_VelmoraSafeCopyFault:
  cld
  xorl %eax, %eax
  jmp _VelmoraSafeCopyDone

_VelmoraSafeCopyHandler:
  movl 4(%esp), %eax
  testl $6, 4(%eax)
  jnz 1f
  movl 8(%esp), %edx
  movl 12(%esp), %ecx
  movl %edx, 0xC4(%ecx)
  movl 8(%edx), %eax
  movl %eax, 0xB4(%ecx)
  movl $_VelmoraSafeCopyFault, 0xB8(%ecx)
  xorl %eax, %eax
  ret
1:
  movl $1, %eax
  ret
)");

namespace exclog {

bool SafeCopy(void* destination, const void* source, size_t size) {
  if (size == 0) return true;
  return VelmoraSafeCopy(destination, source, size) != 0;
}

bool IsInsideSafeCopy(uintptr_t address) {
  return address >= reinterpret_cast<uintptr_t>(VelmoraSafeCopyLoop) &&
         address <= reinterpret_cast<uintptr_t>(VelmoraSafeCopyLoopEnd);
}

namespace {

class TProcessMemory : public TMemoryView {
 public:
  size_t ReadableBytes(uintptr_t address, size_t size) const override {
    return exclog::ReadableBytes(reinterpret_cast<const void*>(address), size);
  }
  bool Read(uintptr_t address, void* buffer, size_t size) const override {
    if (size == 0) return true;
    if (exclog::ReadableBytes(reinterpret_cast<const void*>(address), size) < size) return false;
    return SafeCopy(buffer, reinterpret_cast<const void*>(address), size);
  }
  bool ReadApproved(uintptr_t address, void* buffer, size_t size) const override {
    return SafeCopy(buffer, reinterpret_cast<const void*>(address), size);
  }
};

}  // namespace

const TMemoryView& ProcessMemory() {
  // Never destroyed: reports made while the program exits (leaks, a fault in a
  // finaliser) still read memory after static objects are gone.
  alignas(TProcessMemory) static unsigned char storage[sizeof(TProcessMemory)];
  static const TProcessMemory* memory = new (storage) TProcessMemory;
  return *memory;
}

const void* ThroughJumpThunk(const void* address) {
  if (!IsReadable(address, 8)) return address;
  const auto* code = static_cast<const uint8_t*>(address);
  if (code[0] != 0xFF || code[1] != 0x25) return address;
  uint32_t slotAddress;
  std::memcpy(&slotAddress, code + 2, 4);
  const void* slot = reinterpret_cast<const void*>(static_cast<uintptr_t>(slotAddress));
  if (!IsReadable(slot, 4)) return address;
  uint32_t target;
  std::memcpy(&target, slot, 4);
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(target));
}

}  // namespace exclog

namespace exclog {

void InstallModuleSeams() {
  OptionsSeams().FindModule = [](const std::string& name) -> TModuleHandle {
    return reinterpret_cast<TModuleHandle>(GetModuleHandleA(name.c_str()));
  };
  OptionsSeams().CurrentModule = []() -> TModuleHandle {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&InstallModuleSeams), &module);
    return reinterpret_cast<TModuleHandle>(module);
  };
}

}  // namespace exclog
