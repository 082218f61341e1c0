#include "exclog/report/ESysInfo_win.h"

#include <iphlpapi.h>
#include <winspool.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "exclog/core/ECore.h"
#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EImageHeaders.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/core/EObjects.h"
#include "exclog/core/ETextFormat.h"

namespace exclog {

namespace {

// A loaded library, freed when it goes; only libraries this code loaded are freed.
class TLibrary {
 public:
  explicit TLibrary(const char* name) : handle_(LoadLibraryA(name)) {}
  ~TLibrary() {
    if (handle_) FreeLibrary(handle_);
  }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  // Cast by the caller to the routine's type.
  void* Find(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(handle_, name)) : nullptr;
  }

 private:
  HMODULE handle_;
};

// A system library loaded for a value and kept for the next report: loading and
// freeing it again would cost more than the value (and change the modules list).
const TLibrary& KeptLibrary(const char* name) {
  static std::mutex lock;
  static auto* kept = new std::vector<std::pair<std::string, TLibrary*>>;
  std::lock_guard<std::mutex> hold(lock);
  for (const auto& [known, library] : *kept)
    if (known == name) return *library;
  kept->emplace_back(name, new TLibrary(name));
  return *kept->back().second;
}

// A routine of an already loaded system library; cast by the caller.
void* SystemRoutine(const char* module, const char* name) {
  HMODULE m = GetModuleHandleA(module);
  return m ? reinterpret_cast<void*>(GetProcAddress(m, name)) : nullptr;
}

// A registry key opened for reading, closed when it goes.
class TKey {
 public:
  TKey(HKEY root, std::string path) {
    if (!path.empty() && path[0] == '\\') path.erase(0, 1);
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~TKey() {
    if (key_) RegCloseKey(key_);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  explicit operator bool() const { return key_ != nullptr; }

  // Raw data of a value, read size first, again while the value grows (bounded).
  std::optional<std::string> Raw(const std::string& name) const {
    if (!key_) return std::nullopt;
    DWORD size = 0, type = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
      std::string data(size, '\0');
      LONG r = RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
      if (r == ERROR_SUCCESS) {
        data.resize(std::min<size_t>(size, data.size()));
        return data;
      }
      if (r != ERROR_MORE_DATA) return std::nullopt;
    }
    return std::nullopt;
  }
  std::string Text(const std::string& name) const {
    std::string s = Raw(name).value_or("");
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
  }
  uint32_t Dword(const std::string& name) const {
    std::string s = Raw(name).value_or("");
    uint32_t v = 0;
    if (s.size() >= 4) std::memcpy(&v, s.data(), 4);
    return v;
  }
  // Subkey names in order.
  std::vector<std::string> Subkeys() const {
    std::vector<std::string> names;
    if (!key_) return names;
    char name[256];
    for (DWORD i = 0; i < 4096; ++i) {
      DWORD n = sizeof name;
      if (RegEnumKeyExA(key_, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, n);
    }
    return names;
  }

 private:
  HKEY key_ = nullptr;
};

std::mutex versionLock;
std::optional<TVersionRecord> injectedVersion;

std::string ModuleNameWithDescription(const std::string& fileName) {
  if (fileName.empty()) return "";
  std::string description, version;
  ReadVersionInfo(fileName, description, version);
  std::string text = ExtractFileName(fileName);
  if (!description.empty()) text += " - (" + description + ")";
  return text;
}

std::string VersionOfFile(const std::string& fileName) {
  std::string description, version;
  ReadVersionInfo(fileName, description, version);
  return version;
}

HMODULE ModuleAt(uintptr_t address) {
  MEMORY_BASIC_INFORMATION info{};
  if (!address || !VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info)) return nullptr;
  if (info.State != MEM_COMMIT || !info.AllocationBase) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

std::string RegisteredValue(const char* ntName, const char* acmeName) {
  std::vector<std::string> candidates = {
      TKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION").Text(ntName),
      TKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION").Text(ntName),
      TKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\MS SETUP (ACME)\\USER INFO").Text(acmeName)};
  return RegisteredName(candidates, CurrentVersion());
}

template <class F>
std::string Guarded(F f) {
  try {
    return f();
  } catch (...) {
    return "";
  }
}

struct TScreenDC {
  HDC Dc = GetDC(nullptr);
  ~TScreenDC() {
    if (Dc) ReleaseDC(nullptr, Dc);
  }
};

}  // namespace

TVersionRecord CurrentVersion() {
  {
    std::lock_guard<std::mutex> lock(versionLock);
    if (injectedVersion) return *injectedVersion;
  }
  TVersionRecord v;
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;  // the 156-byte form carries the product type
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    info = OSVERSIONINFOEXA{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return v;
  }
  v.NT = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  v.Major = info.dwMajorVersion;
  v.Minor = info.dwMinorVersion;
  v.Build = info.dwBuildNumber;
  v.ServicePack = info.szCSDVersion;
  v.ProductType = info.wProductType;
  return v;
}

void InjectVersion(const std::optional<TVersionRecord>& record) {
  std::lock_guard<std::mutex> lock(versionLock);
  injectedVersion = record;
}

bool IsWow64() {
  using TIsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = reinterpret_cast<TIsWow64>(SystemRoutine("kernel32.dll", "IsWow64Process"));
  BOOL wow = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow) && wow;
}

int LocalOffsetMinutes() {
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  GetSystemTime(&utc);
  FILETIME localFile, utcFile;
  if (!SystemTimeToFileTime(&local, &localFile) || !SystemTimeToFileTime(&utc, &utcFile)) return 0;
  auto ticks = [](const FILETIME& f) {
    return static_cast<int64_t>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  };
  return static_cast<int>(std::llround((ticks(localFile) - ticks(utcFile)) / 600000000.0));
}

std::string LocalDateText(TDateTime local) { return DateText(local, LocalOffsetMinutes()); }

TDateTime LocalNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  TDateTime date = 0, time = 0;
  TryEncodeDate(t.wYear, t.wMonth, t.wDay, date);
  TryEncodeTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, time);
  return date + time;
}

std::string StartDateText() {
  TDateTime start = LoggerStartTime();
  return start ? LocalDateText(start) : "";
}

std::string NameDescriptionText(HMODULE module) {
  return Guarded([&] { return ModuleNameWithDescription(ModuleLongFileName(module)); });
}

std::string ModuleVersionText(HMODULE module) {
  return Guarded([&] { return VersionOfFile(ModuleLongFileName(module)); });
}

std::string ParametersValue() { return Guarded([] { return ParametersText(GetCommandLineA()); }); }

TDateTime ModuleBuildTime(HMODULE module) {
  auto base = reinterpret_cast<uintptr_t>(module ? module : GetModuleHandleA(nullptr));
  auto headers = ReadImageHeaders(ProcessMemory(), base);
  if (!headers || headers->TimeStamp == 0) return 0;
  // The file header's stamp: seconds since 1970, UTC.
  return 25569.0 + headers->TimeStamp / 86400.0 + LocalOffsetMinutes() / 1440.0;
}

std::string CompilationDateText(HMODULE module) {
  TDateTime built = ModuleBuildTime(module);
  return built ? LocalDateText(built) : "";
}

std::string UpTimeText() {
  TDateTime start = LoggerStartTime();
  return start ? DurationText(LocalNow() - start) : "";
}

std::string ExceptionDateText() {
  TDateTime at = ExceptionTime();
  return at ? LocalDateText(at) : "";
}

std::string AddressValue(uintptr_t address) { return address ? Format("%.8X", address) : ""; }

std::string ModuleNameAtText(uintptr_t address) {
  return Guarded([&]() -> std::string {
    HMODULE module = ModuleAt(address);
    return module ? ModuleNameWithDescription(ModuleLongFileName(module)) : "";
  });
}

std::string ModuleVersionAtText(uintptr_t address) {
  return Guarded([&]() -> std::string {
    HMODULE module = ModuleAt(address);
    return module ? VersionOfFile(ModuleLongFileName(module)) : "";
  });
}

std::string ExceptionTypeValue(const void* object) {
  std::string type = Guarded([&]() -> std::string {
    if (!IsValidObject(object)) return "Unknown exception type";
    if (InheritsFromName(object, "TActiveXException"))
      return static_cast<const TActiveXException*>(static_cast<const TObject*>(object))->ReportedClassName();
    return ObjectClassName(object);
  });
  SetLastExceptionType(type);
  return type;
}

std::string ExceptionMessageValue(const void* object) {
  std::string message = Guarded([&]() -> std::string {
    if (!IsValidObject(object) || !InheritsFromName(object, "Exception")) return "Unknown error message.";
    auto* e = static_cast<const Exception*>(static_cast<const TObject*>(object));
    std::string text = e->Message();
    if (InheritsFromName(object, "EExternal")) {
      const TExceptionRecord32& r = static_cast<const EExternal*>(e)->ExceptionRecord();
      if (r.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r.NumberParameters >= 2) {
        TAccessViolation av;
        av.Address = r.ExceptionAddress;
        av.Kind = r.ExceptionInformation[0];
        av.AccessAddress = r.ExceptionInformation[1];
        if (HMODULE module = ModuleAt(av.Address)) {
          av.ModuleFileName = ModuleFileName(module);
          av.InModule = !av.ModuleFileName.empty();
          av.ModuleLongName = LongPathName(av.ModuleFileName);
        }
        text = AccessViolationMessage(av, text);
      }
    }
    return text;
  });
  message = WithFinalDot(message);
  SetLastExceptionMessage(message);
  return message;
}

std::string UserIdText() {
  char name[256];
  DWORD n = sizeof name;
  return GetUserNameA(name, &n) ? std::string(name) : "";
}

std::string RegisteredOwnerText() {
  return Guarded([] { return RegisteredValue("RegisteredOwner", "DefName"); });
}

std::string RegisteredOrganizationText() {
  return Guarded([] { return RegisteredValue("RegisteredOrganization", "DefCompany"); });
}

std::string PrivilegesText() {
  return Guarded([]() -> std::string {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    std::string text;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size);
    if (size >= sizeof(DWORD) && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
      auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
      const DWORD fits = (size - sizeof(DWORD)) / sizeof(LUID_AND_ATTRIBUTES);
      for (DWORD i = 0; i < std::min(privileges->PrivilegeCount, fits); ++i) {
        LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
        DWORD length = 0;
        LookupPrivilegeNameA(nullptr, &p.Luid, nullptr, &length);
        std::string name(length + 1, '\0');
        DWORD got = static_cast<DWORD>(name.size());
        if (!LookupPrivilegeNameA(nullptr, &p.Luid, name.data(), &got)) continue;
        name.resize(got);
        text += PrivilegeLine(name, (p.Attributes & SE_PRIVILEGE_ENABLED) != 0);
      }
    }
    CloseHandle(token);
    return text;
  });
}

std::string ForegroundClassText() {
  char name[256];
  int n = GetClassNameA(GetForegroundWindow(), name, sizeof name);
  return n > 0 ? std::string(name, n) : "";
}

std::string ForegroundWindowText() {
  char text[256] = {};
  HWND window = GetForegroundWindow();
  if (!window) return "";
  DefWindowProcA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  text[sizeof text - 1] = 0;
  return OneLine(text);
}

std::string ComputerNameText() { return Guarded([] { return ComputerName(); }); }

namespace {

bool PhysicalMemory(uint64_t& total, uint64_t& available) {
  using TStatusEx = BOOL(WINAPI*)(MEMORYSTATUSEX*);
  if (auto statusEx = reinterpret_cast<TStatusEx>(SystemRoutine("kernel32.dll", "GlobalMemoryStatusEx"))) {
    MEMORYSTATUSEX s{};
    s.dwLength = sizeof s;
    if (statusEx(&s)) {
      total = s.ullTotalPhys;
      available = s.ullAvailPhys;
      return true;
    }
  }
  MEMORYSTATUS s{};
  s.dwLength = sizeof s;
  GlobalMemoryStatus(&s);
  total = s.dwTotalPhys;
  available = s.dwAvailPhys;
  return total != 0;
}

bool ProgramDisk(uint64_t& total, uint64_t& available) {
  using TFreeEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  auto freeEx = reinterpret_cast<TFreeEx>(SystemRoutine("kernel32.dll", "GetDiskFreeSpaceExA"));
  std::string program = ModuleFileName(nullptr);
  if (!freeEx || program.size() < 2 || program[1] != ':') return false;
  std::string root = program.substr(0, 2) + "\\";
  ULARGE_INTEGER callerFree{}, totalBytes{}, totalFree{};
  if (!freeEx(root.c_str(), &callerFree, &totalBytes, &totalFree)) return false;
  total = totalBytes.QuadPart;
  available = callerFree.QuadPart;
  return true;
}

}  // namespace

std::string TotalMemoryText() {
  uint64_t total = 0, available = 0;
  return PhysicalMemory(total, available) ? MegabytesText(total) : "";
}

std::string FreeMemoryText() {
  uint64_t total = 0, available = 0;
  return PhysicalMemory(total, available) ? MegabytesText(available) : "";
}

std::string TotalDiskText() {
  uint64_t total = 0, available = 0;
  return Guarded([&] { return ProgramDisk(total, available) ? GigabytesText(total) : ""; });
}

std::string FreeDiskText() {
  uint64_t total = 0, available = 0;
  return Guarded([&] { return ProgramDisk(total, available) ? GigabytesText(available) : ""; });
}

std::string SystemUpTimeText() {
  // The 32-bit count wraps after 49.7 days; the 64-bit one does not.
  using TTicks64 = ULONGLONG(WINAPI*)();
  auto ticks64 = reinterpret_cast<TTicks64>(SystemRoutine("kernel32.dll", "GetTickCount64"));
  const uint64_t ms = ticks64 ? ticks64() : GetTickCount();
  return DurationText(ms / 86400000.0);
}

std::string ProcessorValue() {
  return Guarded([] {
    TKey cpu(HKEY_LOCAL_MACHINE, "\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");
    return ProcessorText(cpu.Text("ProcessorNameString"), cpu.Text("VendorIdentifier"), cpu.Text("Identifier"));
  });
}

std::string DisplayModeValue() {
  TScreenDC screen;
  if (!screen.Dc) return "";
  return DisplayModeText(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                         GetDeviceCaps(screen.Dc, BITSPIXEL));
}

std::string DisplayDpiValue() {
  TScreenDC screen;
  return screen.Dc ? std::to_string(GetDeviceCaps(screen.Dc, LOGPIXELSY)) : "";
}

std::string FileProductVersion(const std::string& fileName) {
  return Guarded([&]() -> std::string {
    std::optional<std::string> block = FileVersionBlock(fileName);
    return block ? FileVersionString(*block, u"ProductVersion") : "";
  });
}

std::string VideoCardValue() {
  return Guarded([]() -> std::string {
    using TEnumDevices = BOOL(WINAPI*)(LPCSTR, DWORD, DISPLAY_DEVICEA*, DWORD);
    auto enumDevices = reinterpret_cast<TEnumDevices>(SystemRoutine("user32.dll", "EnumDisplayDevicesA"));
    const TVersionRecord v = CurrentVersion();
    std::string name, version;
    uint64_t memory = 0;
    switch (VideoRouteFor(v, enumDevices != nullptr)) {
      case TVideoRoute::DisplayDevicesNT:
      case TVideoRoute::DisplayDevices98: {
        DISPLAY_DEVICEA device{};
        device.cb = sizeof device;
        if (!enumDevices(nullptr, 0, &device, 0)) return "";
        name = device.DeviceString;
        if (v.NT) {
          std::string enumPath = std::string("System\\CurrentControlSet\\Enum\\") + device.DeviceID;
          std::vector<std::string> instances = TKey(HKEY_LOCAL_MACHINE, enumPath).Subkeys();
          if (instances.empty()) break;
          std::string instancePath = enumPath + "\\" + instances.front();
          TKey instance(HKEY_LOCAL_MACHINE, instancePath);
          std::string videoId = TKey(HKEY_LOCAL_MACHINE, instancePath + "\\Device Parameters").Text("VideoID");
          std::string adapterPath;
          if (!videoId.empty()) {
            adapterPath = "System\\CurrentControlSet\\Control\\Video\\" + videoId + "\\0000";
          } else {
            std::string mapped = TKey(HKEY_LOCAL_MACHINE, "Hardware\\Devicemap\\Video\\").Text("\\Device\\Video0");
            size_t system = UpperCase(mapped).find("\\SYSTEM");
            if (system != std::string::npos) adapterPath = mapped.substr(system);
          }
          if (!adapterPath.empty()) memory = TKey(HKEY_LOCAL_MACHINE, adapterPath).Dword("HardwareInformation.MemorySize");
          std::string driver = instance.Text("Driver");
          if (!driver.empty())
            version = TKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Class\\" + driver).Text("DriverVersion");
        } else {
          TKey deviceKey(HKEY_LOCAL_MACHINE, device.DeviceKey);
          version = deviceKey.Text("Ver");
          memory = TKey(HKEY_LOCAL_MACHINE, std::string(device.DeviceKey) + "\\INFO").Dword("VideoMemory");
        }
        break;
      }
      case TVideoRoute::Class95: {
        const std::string classPath = "System\\CurrentControlSet\\Services\\Class\\Display\\";
        std::vector<std::string> keys = TKey(HKEY_LOCAL_MACHINE, classPath).Subkeys();
        if (keys.empty()) return "";
        TKey last(HKEY_LOCAL_MACHINE, classPath + keys.back());
        name = last.Text("DriverDesc");
        version = last.Text("Ver");
        memory = TKey(HKEY_LOCAL_MACHINE, classPath + keys.back() + "\\INFO").Dword("VideoMemory");
        break;
      }
      case TVideoRoute::Devicemap4: {
        std::string mapped = TKey(HKEY_LOCAL_MACHINE, "Hardware\\Devicemap\\Video\\").Text("\\Device\\Video0");
        size_t system = UpperCase(mapped).find("\\SYSTEM");
        if (system == std::string::npos) return "";
        TKey adapter(HKEY_LOCAL_MACHINE, mapped.substr(system));
        memory = adapter.Dword("HardwareInformation.MemorySize");
        name = WithoutZeroBytes(adapter.Raw("HardwareInformation.AdapterString").value_or(""));
        version = FileProductVersion(adapter.Text("ImagePath"));
        break;
      }
      case TVideoRoute::None:
        return "";
    }
    if (Trim(name).empty()) return "";
    return VideoCardText(name, version, memory);
  });
}

namespace {

// The spooler's routine `name`, cast by the caller. The library is kept: loaded and
// freed for every report, each load left a kernel handle behind.
void* SpoolerRoutine(const char* name) {
  return reinterpret_cast<void*>(KeptLibrary("winspool.drv").Find(name));
}

}  // namespace

std::string PrinterValue() {
  return Guarded([]() -> std::string {
    const TVersionRecord v = CurrentVersion();
    std::string name;
    if (v.NT && v.Major >= 5) {
      using TDefault = BOOL(WINAPI*)(LPSTR, LPDWORD);
      auto getDefault = reinterpret_cast<TDefault>(SpoolerRoutine("GetDefaultPrinterA"));
      char buffer[1024];
      DWORD size = sizeof buffer;
      if (getDefault && getDefault(buffer, &size)) name = buffer;
    } else {
      char buffer[1024] = {};
      GetProfileStringA("windows", "device", "", buffer, 1023);
      name = ProfilePrinterName(buffer);
    }
    if (name.empty()) return "";
    using TOpen = BOOL(WINAPI*)(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA);
    using TDriver = BOOL(WINAPI*)(HANDLE, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD);
    using TClose = BOOL(WINAPI*)(HANDLE);
    auto open = reinterpret_cast<TOpen>(SpoolerRoutine("OpenPrinterA"));
    auto driver = reinterpret_cast<TDriver>(SpoolerRoutine("GetPrinterDriverA"));
    auto close = reinterpret_cast<TClose>(SpoolerRoutine("ClosePrinter"));
    HANDLE printer = nullptr;
    if (!open || !driver || !close || !open(name.data(), &printer, nullptr)) return "";
    std::string version;
    DWORD needed = 0;
    driver(printer, nullptr, 2, nullptr, 0, &needed);
    if (needed >= sizeof(DRIVER_INFO_2A)) {
      std::vector<uint8_t> data(needed);
      if (driver(printer, nullptr, 2, data.data(), needed, &needed)) {
        auto* info = reinterpret_cast<DRIVER_INFO_2A*>(data.data());
        if (info->pDriverPath) version = FileProductVersion(info->pDriverPath);
      }
    }
    close(printer);
    return PrinterText(name, version);
  });
}

std::string OsTypeValue() {
  const TVersionRecord v = CurrentVersion();
  return SystemNameText(v, v.NT && IsWow64());
}

std::string BuildNumberValue() { return std::to_string(BuildNumberOf(CurrentVersion())); }

std::string UpdateValue() { return Trim(CurrentVersion().ServicePack); }

namespace {

std::string foundLanguage;
bool languageIsNT = true;

BOOL CALLBACK OnLocale(LPSTR localeString) {
  std::optional<uint32_t> id = LocaleIdOf(localeString ? localeString : "");
  if (!id) return TRUE;
  auto info = [&](LCTYPE type) -> std::string {
    if (languageIsNT) {
      wchar_t wide[1024] = {};
      int n = GetLocaleInfoW(*id, type, wide, 1024);
      if (n <= 1) return "";
      char narrow[2048] = {};
      WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
      return narrow;
    }
    char text[1024] = {};
    return GetLocaleInfoA(*id, type, text, sizeof text) > 1 ? std::string(text) : "";
  };
  if (info(LOCALE_SABBREVLANGNAME).empty()) return TRUE;
  std::string english = info(LOCALE_SENGLANGUAGE);
  if (*id == GetSystemDefaultLangID()) {
    foundLanguage = english;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::string LanguageValue() {
  // The enumeration's callback has no context argument; one enumeration at a time.
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  foundLanguage.clear();
  languageIsNT = CurrentVersion().NT;
  EnumSystemLocalesA(OnLocale, LCID_INSTALLED);
  return foundLanguage;
}

int GetLocaleCharset() {
  char text[6] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof text);
  int32_t codePage = 0;
  if (!TryStrToInt(text, codePage)) codePage = static_cast<int32_t>(GetACP());
  CHARSETINFO info{};
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(codePage)), &info, TCI_SRCCODEPAGE))
    return 0;
  return static_cast<int>(info.ciCharset);
}

std::string CharsetValue() { return std::to_string(GetLocaleCharset()); }

TNetworkTexts NetworkValues() {
  TNetworkTexts none;
  try {
    const TLibrary& helper = KeptLibrary("iphlpapi.dll");
    using TAdapters = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
    using TPerAdapter = DWORD(WINAPI*)(ULONG, PIP_PER_ADAPTER_INFO, PULONG);
    auto adaptersInfo = reinterpret_cast<TAdapters>(helper.Find("GetAdaptersInfo"));
    auto perAdapterInfo = reinterpret_cast<TPerAdapter>(helper.Find("GetPerAdapterInfo"));
    if (!adaptersInfo || !perAdapterInfo) return none;
    // Each call asks the system afresh, and slowly: a buffer room for a few adapters
    // makes one call enough. A larger list (which may grow between calls) gets its
    // size back and is asked again, a few times at most.
    ULONG size = 8 * sizeof(IP_ADAPTER_INFO);
    std::vector<uint8_t> buffer;
    DWORD r = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && r == ERROR_BUFFER_OVERFLOW; ++attempt) {
      buffer.assign(size, 0);
      r = adaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
    }
    // ERROR_NO_DATA: no adapter at all, and so no values.
    if (r != ERROR_SUCCESS) return none;
    std::vector<TAdapterRecord> adapters;
    for (auto* a = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()); a; a = a->Next) {
      TAdapterRecord record;
      record.Dhcp = a->DhcpEnabled != 0;
      record.Address = a->IpAddressList.IpAddress.String;
      record.Mask = a->IpAddressList.IpMask.String;
      record.Gateway = a->GatewayList.IpAddress.String;
      ULONG perSize = sizeof(IP_PER_ADAPTER_INFO) + 8 * sizeof(IP_ADDR_STRING);
      std::vector<uint8_t> per(perSize);
      DWORD perResult = perAdapterInfo(a->Index, reinterpret_cast<PIP_PER_ADAPTER_INFO>(per.data()), &perSize);
      if (perResult == ERROR_BUFFER_OVERFLOW && perSize >= sizeof(IP_PER_ADAPTER_INFO)) {
        per.assign(perSize, 0);
        perResult = perAdapterInfo(a->Index, reinterpret_cast<PIP_PER_ADAPTER_INFO>(per.data()), &perSize);
      }
      if (perResult == ERROR_SUCCESS && perSize >= sizeof(IP_PER_ADAPTER_INFO)) {
        auto* info = reinterpret_cast<PIP_PER_ADAPTER_INFO>(per.data());
        record.DnsKnown = true;
        for (IP_ADDR_STRING* dns = &info->DnsServerList; dns && record.Dns.size() < 2; dns = dns->Next)
          if (dns->IpAddress.String[0]) record.Dns.push_back(dns->IpAddress.String);
      }
      adapters.push_back(std::move(record));
    }
    return NetworkTexts(adapters);
  } catch (...) {
    return none;
  }
}

}  // namespace exclog
