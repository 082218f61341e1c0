#include "exclog/debuginfo/EForeignObject.h"

#include <algorithm>
#include <cctype>

namespace exclog {

namespace {

constexpr std::string_view PlainClassInfo = "N10__cxxabiv117__class_type_infoE";
constexpr std::string_view SingleBaseInfo = "N10__cxxabiv120__si_class_type_infoE";
constexpr std::string_view SeveralBasesInfo = "N10__cxxabiv121__vmi_class_type_infoE";

// A zero-ended text of at most `limit` bytes, read in small steps so that a text
// ending just before an unreadable page is still read whole.
bool ReadText(const TMemoryView& memory, uintptr_t address, size_t limit, std::string& text) {
  text.clear();
  if (!address) return false;
  char chunk[64];
  while (text.size() < limit) {
    size_t want = std::min(sizeof chunk, limit - text.size());
    size_t readable = std::min(memory.ReadableBytes(address + text.size(), want), want);
    if (!readable || !memory.Read(address + text.size(), chunk, readable)) return false;
    for (size_t i = 0; i < readable; ++i) {
      if (chunk[i] == '\0') return true;
      text.push_back(chunk[i]);
    }
  }
  return false;
}

// The mangled name of a type_info.
bool TypeName(const TMemoryView& memory, uint32_t typeInfo, std::string& name) {
  uint32_t namePointer = 0;
  if (!memory.ReadU32(typeInfo + 4, namePointer)) return false;
  if (!ReadText(memory, namePointer, ForeignNameLimit, name)) return false;
  if (!name.empty() && name[0] == '*') name.erase(0, 1);  // marks a type local to its module
  return true;
}

// The mangled name of the type of a type_info (its kind).
bool KindName(const TMemoryView& memory, uint32_t typeInfo, std::string& kind) {
  uint32_t table = 0, meta = 0;
  return memory.ReadU32(typeInfo, table) && table >= 4 && memory.ReadU32(table - 4, meta) &&
         TypeName(memory, meta, kind);
}

// The base at offset 0 of a class, or 0 when it has none (or it is virtual).
uint32_t PrimaryBase(const TMemoryView& memory, uint32_t typeInfo, const std::string& kind) {
  uint32_t base = 0;
  if (kind == SingleBaseInfo) return memory.ReadU32(typeInfo + 8, base) ? base : 0;
  if (kind != SeveralBasesInfo) return 0;
  uint32_t count = 0;
  if (!memory.ReadU32(typeInfo + 12, count)) return 0;
  for (uint32_t i = 0; i < std::min<uint32_t>(count, ForeignChainLimit); ++i) {
    uint32_t offsetFlags = 0;
    if (!memory.ReadU32(typeInfo + 16 + 8 * i, base) || !memory.ReadU32(typeInfo + 20 + 8 * i, offsetFlags)) return 0;
    bool isVirtual = offsetFlags & 1;
    if (!isVirtual && (offsetFlags >> 8) == 0) return base;
  }
  return 0;
}

}  // namespace

std::string UnmangledClassName(std::string_view mangled) {
  bool nested = !mangled.empty() && mangled.front() == 'N';
  size_t at = nested ? 1 : 0;
  std::string last;
  while (at < mangled.size() && std::isdigit(static_cast<unsigned char>(mangled[at]))) {
    size_t length = 0;
    while (at < mangled.size() && std::isdigit(static_cast<unsigned char>(mangled[at]))) {
      length = length * 10 + static_cast<size_t>(mangled[at++] - '0');
      if (length > mangled.size()) return {};
    }
    if (length == 0 || length > mangled.size() - at) return {};
    last = std::string(mangled.substr(at, length));
    at += length;
    if (!nested) break;
  }
  bool whole = nested ? (at + 1 == mangled.size() && mangled[at] == 'E') : at == mangled.size();
  return whole ? last : std::string();
}

bool TForeignObject::InheritsFrom(std::string_view name) const {
  return std::find(Ancestors.begin(), Ancestors.end(), name) != Ancestors.end();
}

bool ReadForeignObject(const TMemoryView& memory, uintptr_t object, uint32_t messageOffset, TForeignObject& out) {
  out = TForeignObject{};
  uint32_t table = 0, typeInfo = 0;
  if (!object || !memory.ReadU32(object, table) || table < 4 || !memory.ReadU32(table - 4, typeInfo)) return false;
  for (int depth = 0; typeInfo && depth < ForeignChainLimit; ++depth) {
    std::string mangled, kind;
    if (!TypeName(memory, typeInfo, mangled) || !KindName(memory, typeInfo, kind)) break;
    if (kind != PlainClassInfo && kind != SingleBaseInfo && kind != SeveralBasesInfo) break;
    std::string name = UnmangledClassName(mangled);
    if (name.empty()) break;
    out.Ancestors.push_back(name);
    typeInfo = PrimaryBase(memory, typeInfo, kind);
  }
  if (out.Ancestors.empty()) return false;
  out.ClassName = out.Ancestors.front();
  uint32_t data = 0, length = 0;
  if (out.InheritsFrom("Exception") && memory.ReadU32(object + messageOffset, data) &&
      memory.ReadU32(object + messageOffset + 4, length)) {
    std::string text;
    size_t take = std::min<size_t>(length, ForeignTextLimit);
    text.resize(take);
    if (take && memory.Read(data, text.data(), take)) out.Message = text.substr(0, text.find('\0'));
  }
  return true;
}

}  // namespace exclog
