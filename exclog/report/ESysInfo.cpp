#include "exclog/report/ESysInfo.h"

#include <cctype>
#include <cmath>
#include <mutex>

#include "exclog/core/ECore.h"

namespace exclog {

bool Is95Before98(const TVersionRecord& v) { return !v.NT && v.Minor < 10; }
bool IsNTBefore2000(const TVersionRecord& v) { return v.NT && v.Major < 5; }
bool IsVistaOrLater(const TVersionRecord& v) { return v.NT && v.Major >= 6; }
bool IsWorkstation(const TVersionRecord& v) { return v.ProductType == 1; }

std::string SystemNameText(const TVersionRecord& v, bool wow64) {
  const std::string pack = Trim(v.ServicePack);
  const std::string plain = std::to_string(v.Major) + "." + std::to_string(v.Minor);
  std::string name;
  if (!v.NT) {
    if (v.Minor < 10) name = pack == "B" ? "95 OSR 2" : "95";
    else if (v.Minor < 90) name = pack == "A" ? "98 SE" : "98";
    else if (v.Minor == 90) name = "ME";
    else name = plain;
  } else if (v.Major == 4) {
    name = "NT 4.0";
  } else if (v.Major == 5) {
    if (v.Minor == 0) name = "2000";
    else if (v.Minor == 1) name = "XP";
    else if (v.Minor == 2) name = IsWorkstation(v) ? "XP" : "2003";
    else name = "5." + std::to_string(v.Minor);
  } else if (v.Major == 6 && v.Minor == 0) {
    name = IsWorkstation(v) ? "Vista" : "Server 2008";
  } else if (v.Major == 6 && v.Minor == 1) {
    name = IsWorkstation(v) ? "7" : "Server 2008 R2";
  } else {
    name = plain;
  }
  std::string out = "Microsoft Windows " + name;
  if (v.NT && wow64) out += " (64 bit)";
  return out;
}

uint32_t BuildNumberOf(const TVersionRecord& v) { return v.NT ? v.Build : (v.Build & 0xFFFF); }

std::string ParametersText(std::string_view commandLine) {
  std::string line = Trim(commandLine);
  size_t rest = 0;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    rest = close == std::string::npos ? line.size() : close + 1;
  }
  // Up to the first blank or tab outside quotes (a quoted part may go on unquoted).
  while (rest < line.size() && line[rest] != ' ' && line[rest] != '\t') ++rest;
  return Trim(std::string_view(line).substr(rest));
}

std::string AccessKindWord(uint32_t kind) {
  if (kind == 0) return "Read";
  if (kind == 8) return "Execution";
  return "Write";
}

std::string AccessViolationMessage(const TAccessViolation& av, std::string_view originalMessage) {
  const uintptr_t at = av.Address, target = av.AccessAddress;
  const std::string word = AccessKindWord(av.Kind);
  if (!av.InModule)
    return Format("Access violation at address %.8X. %s of address %.8X", at, word, target);
  std::string text = Format("Access violation at address %.8X in module '%s'. %s of address %.8X", at,
                            ExtractFileName(av.ModuleFileName), word, target);
  if (text == originalMessage)
    text = Format("Access violation at address %.8X in module '%s'. %s of address %.8X", at, av.ModuleLongName,
                  word, target);
  return text;
}

std::string WithFinalDot(std::string_view text) {
  std::string out(text);
  if (out.empty() || out.back() != '.') out += '.';
  return out;
}

std::string RegisteredName(const std::vector<std::string>& candidates, const TVersionRecord& v) {
  std::string name;
  for (const std::string& c : candidates) {
    if (!c.empty()) {
      name = c;
      break;
    }
  }
  // Systems since Vista put the maker's name where nobody registered one.
  if (IsVistaOrLater(v) && name == "Microsoft") name.clear();
  return name;
}

std::string PrivilegeLine(std::string_view name, bool enabled) {
  std::string line(name);
  if (line.size() < 31) line.append(31 - line.size(), ' ');
  return line + (enabled ? " - ON" : " - OFF") + "\r\n";
}

std::string ProcessorText(std::string_view nameString, std::string_view vendor,
                          std::string_view identifier) {
  std::string name = Trim(nameString);
  if (!name.empty()) return name;
  std::string v = Trim(vendor), id = Trim(identifier);
  if (v.empty()) return "Unknown processor";
  return id.empty() ? v : v + " - " + id;
}

std::string VideoCardText(std::string_view name, std::string_view version, uint64_t memory) {
  std::string out = Trim(name) + " (driver " + std::string(version);
  if (memory == 0) return out + ")";
  return out + " - RAM " + std::to_string(memory >> 20) + " MB)";
}

TVideoRoute VideoRouteFor(const TVersionRecord& v, bool hasEnumDisplayDevices) {
  if (hasEnumDisplayDevices) {
    if (v.NT && v.Major >= 5) return TVideoRoute::DisplayDevicesNT;
    if (!v.NT && v.Minor >= 10) return TVideoRoute::DisplayDevices98;
  }
  if (!v.NT) return TVideoRoute::Class95;
  if (v.Major == 4) return TVideoRoute::Devicemap4;
  return TVideoRoute::None;
}

std::string WithoutZeroBytes(std::string_view bytes) {
  std::string out;
  for (char c : bytes)
    if (c != 0) out += c;
  return out;
}

std::string PrinterText(std::string_view name, std::string_view version) {
  std::string v;
  for (char c : version)
    if (c != ' ') v += c;
  if (name.empty() || v.empty()) return "";
  return std::string(name) + " (driver " + v + ")";
}

std::string ProfilePrinterName(std::string_view deviceEntry) {
  std::string_view s = deviceEntry;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return std::string(s.substr(0, s.find(',')));
}

std::string MegabytesText(uint64_t bytes) {
  return std::to_string(static_cast<uint64_t>(std::llround(bytes / 1048576.0))) + " Mb";
}

std::string GigabytesText(uint64_t bytes) {
  const long long hundredths = std::llround(bytes / 1073741824.0 * 100.0);
  std::string out = std::to_string(hundredths / 100);
  const int fraction = static_cast<int>(hundredths % 100);
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10) out += static_cast<char>('0' + fraction % 10);
  }
  return out + " Gb";
}

std::string DisplayModeText(int width, int height, int bits) {
  return Format("%d x %d, %d bit", width, height, bits);
}

std::optional<uint32_t> LocaleIdOf(std::string_view localeString) {
  if (localeString.size() < 8) return std::nullopt;
  uint32_t id = 0;
  for (char c : localeString.substr(4, 4)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    id = id * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                     : (c | 0x20) - 'a' + 10);
  }
  return id;
}

std::string PaddedAddress(std::string_view address) {
  if (address.empty()) return "000.000.000.000";
  std::string out;
  for (const std::string& part : SplitText(address, ".", false, true)) {
    if (!out.empty()) out += '.';
    if (part.size() < 3) out.append(3 - part.size(), '0');
    out += part;
  }
  return out;
}

TNetworkTexts NetworkTexts(const std::vector<TAdapterRecord>& adapters) {
  TNetworkTexts t;
  const std::string none = PaddedAddress("");
  for (const TAdapterRecord& a : adapters) {
    t.Dhcp += a.Dhcp ? "ON              - " : "OFF             - ";
    t.Address += PaddedAddress(a.Address) + " - ";
    t.Mask += PaddedAddress(a.Mask) + " - ";
    t.Gateway += PaddedAddress(a.Gateway) + " - ";
    if (!a.DnsKnown || a.Dns.empty()) {
      t.Dns1 += none + " - ";
      t.Dns2 += none + " - ";
    } else {
      t.Dns1 += PaddedAddress(a.Dns[0]) + " - ";
      t.Dns2 += (a.Dns.size() > 1 ? PaddedAddress(a.Dns[1]) : none) + " - ";
    }
  }
  for (std::string* s : {&t.Address, &t.Mask, &t.Gateway, &t.Dns1, &t.Dns2, &t.Dhcp})
    if (s->size() >= 3 && s->compare(s->size() - 3, 3, " - ") == 0) s->resize(s->size() - 3);
  return t;
}

namespace {

struct TProcessValues {
  std::mutex Lock;
  TDateTime StartTime = 0;
  TDateTime ExceptionTime = 0;
  std::string Email, Message, Type;
};

TProcessValues& Values() {
  static TProcessValues* values = new TProcessValues;  // lives until the process ends
  return *values;
}

std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(Values().Lock); }

}  // namespace

void SetLoggerStartTime(TDateTime time) { auto hold = Hold(); Values().StartTime = time; }
TDateTime LoggerStartTime() { auto hold = Hold(); return Values().StartTime; }
void SetExceptionTime(TDateTime time) { auto hold = Hold(); Values().ExceptionTime = time; }
TDateTime ExceptionTime() { auto hold = Hold(); return Values().ExceptionTime; }
void SetDialogEmail(const std::string& email) { auto hold = Hold(); Values().Email = email; }
std::string DialogEmail() { auto hold = Hold(); return Values().Email; }
void SetLastExceptionMessage(const std::string& text) { auto hold = Hold(); Values().Message = text; }
std::string LastExceptionMessage() { auto hold = Hold(); return Values().Message; }
void SetLastExceptionType(const std::string& text) { auto hold = Hold(); Values().Type = text; }
std::string LastExceptionType() { auto hold = Hold(); return Values().Type; }

}  // namespace exclog
