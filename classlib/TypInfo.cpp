#include "classlib/TypInfo.h"

#include <map>
#include <memory>
#include <mutex>

// ---------------------------------------------------------------------------
// Enumerations and sets

TEnumType::TEnumType(const char* typeName, std::initializer_list<const char*> valueNames)
    : typeName_(typeName), names_(valueNames.begin(), valueNames.end()) {}

std::string TEnumType::Name(int64_t ordinal) const {
  if (ordinal < 0 || ordinal >= Count()) return "";
  return names_[static_cast<size_t>(ordinal)];
}

int TEnumType::Ordinal(std::string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i)
    if (SameText(names_[i], name)) return static_cast<int>(i);
  return -1;
}

std::string SetToText(const TEnumType& type, uint64_t bits) {
  std::string text = "[";
  bool first = true;
  for (int i = 0; i < type.Count() && i < 64; ++i) {
    if (!((bits >> i) & 1u)) continue;
    if (!first) text += ',';
    text += type.Name(i);
    first = false;
  }
  return text + "]";
}

std::optional<uint64_t> TextToSet(const TEnumType& type, std::string_view text) {
  std::string trimmed = Trim(text);
  if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return std::nullopt;
  std::string_view inner(trimmed);
  inner = inner.substr(1, inner.size() - 2);
  uint64_t bits = 0;
  if (Trim(inner).empty()) return bits;
  size_t start = 0;
  for (;;) {
    size_t comma = inner.find(',', start);
    std::string name = Trim(inner.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    int ordinal = type.Ordinal(name);
    if (ordinal < 0 || ordinal >= 64) return std::nullopt;
    bits |= uint64_t(1) << ordinal;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return bits;
}

// ---------------------------------------------------------------------------
// Tables

namespace {

struct TClassEntry {
  void (*Fill)(TPublishedTable&) = nullptr;
  std::unique_ptr<TPublishedTable> Table;  // built on first use, unchanged until released
};

std::mutex& TablesLock() {
  static std::mutex lock;
  return lock;
}

std::map<TClass, TClassEntry>& Tables() {
  static std::map<TClass, TClassEntry> tables;
  return tables;
}

const TPublishedTable& EmptyTable() {
  static const TPublishedTable empty;
  return empty;
}

}  // namespace

bool RegisterPublisher(TClass cls, void (*fill)(TPublishedTable&)) {
  std::lock_guard<std::mutex> guard(TablesLock());
  Tables()[cls].Fill = fill;
  return true;
}

const TPublishedTable& PublishedTableOf(TClass cls) {
  std::lock_guard<std::mutex> guard(TablesLock());
  auto found = Tables().find(cls);
  if (found == Tables().end() || !found->second.Fill) return EmptyTable();
  TClassEntry& entry = found->second;
  if (!entry.Table) {
    auto table = std::make_unique<TPublishedTable>();
    entry.Fill(*table);
    entry.Table = std::move(table);
  }
  return *entry.Table;
}

void ReleasePublishedTables() {
  std::lock_guard<std::mutex> guard(TablesLock());
  for (auto& [cls, entry] : Tables()) entry.Table.reset();
}

size_t BuiltPublishedTableCount() {
  std::lock_guard<std::mutex> guard(TablesLock());
  size_t built = 0;
  for (auto& [cls, entry] : Tables()) built += entry.Table ? 1 : 0;
  return built;
}

const TPropInfo* GetPropInfo(TClass cls, std::string_view name) {
  for (TClass c = cls; c; c = c->Parent) {
    const TPublishedTable& table = PublishedTableOf(c);
    // The last declaration in a class wins, as a redeclaration replaces.
    for (auto it = table.Properties.rbegin(); it != table.Properties.rend(); ++it)
      if (SameText(it->Name, name)) return &*it;
  }
  return nullptr;
}

const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name) {
  return obj ? GetPropInfo(obj->ClassType(), name) : nullptr;
}

namespace {

// Every entry of one kind along the class chain, base classes first; a class that
// publishes a name again replaces the inherited entry in its place.
template <class Info>
std::vector<const Info*> InheritedList(TClass cls, std::vector<Info> TPublishedTable::*member) {
  std::vector<TClass> chain;
  for (TClass c = cls; c; c = c->Parent) chain.push_back(c);
  std::vector<const Info*> list;
  for (auto c = chain.rbegin(); c != chain.rend(); ++c) {
    for (const Info& info : PublishedTableOf(*c).*member) {
      bool replaced = false;
      for (auto& existing : list)
        if (SameText(existing->Name, info.Name)) {
          existing = &info;
          replaced = true;
        }
      if (!replaced) list.push_back(&info);
    }
  }
  return list;
}

}  // namespace

std::vector<const TPropInfo*> GetPropList(TClass cls) {
  return InheritedList(cls, &TPublishedTable::Properties);
}

const TBinaryPropInfo* GetBinaryPropInfo(TClass cls, std::string_view name) {
  for (TClass c = cls; c; c = c->Parent)
    for (const TBinaryPropInfo& info : PublishedTableOf(c).BinaryProperties)
      if (SameText(info.Name, name)) return &info;
  return nullptr;
}

std::vector<const TBinaryPropInfo*> GetBinaryPropList(TClass cls) {
  return InheritedList(cls, &TPublishedTable::BinaryProperties);
}

const TPublishedField* GetPublishedField(TClass cls, std::string_view name) {
  if (name.empty()) return nullptr;
  for (TClass c = cls; c; c = c->Parent)
    for (const TPublishedField& field : PublishedTableOf(c).Fields)
      if (SameText(field.Name, name)) return &field;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Access by path

std::pair<TObject*, const TPropInfo*> ResolvePropPath(const TObject* obj, std::string_view path) {
  TObject* current = const_cast<TObject*>(obj);
  // Paths are short; the bound keeps a hostile layout from walking a cycle forever.
  for (int depth = 0; current && depth < 32; ++depth) {
    size_t dot = path.find('.');
    const TPropInfo* info = GetPropInfo(current, path.substr(0, dot));
    if (!info) break;
    if (dot == std::string_view::npos) return {current, info};
    if (info->Kind != TTypeKind::tkClass) break;
    current = std::get<TObject*>(info->Get(*current));
    path.remove_prefix(dot + 1);
  }
  return {nullptr, nullptr};
}

bool IsPublishedProp(const TObject* obj, std::string_view path) {
  return ResolvePropPath(obj, path).second != nullptr;
}

namespace {

bool IsOrdinal(TTypeKind kind) {
  return kind == TTypeKind::tkInteger || kind == TTypeKind::tkEnumeration || kind == TTypeKind::tkBoolean ||
         kind == TTypeKind::tkSet;
}

// Which alternative of TPropValue a kind carries.
size_t ValueIndexOf(TTypeKind kind) {
  switch (kind) {
    case TTypeKind::tkString: return 1;
    case TTypeKind::tkStringList: return 2;
    case TTypeKind::tkClass: return 3;
    case TTypeKind::tkMethod: return 4;
    default: return 0;
  }
}

void CheckRange(const TPropInfo& info, int64_t value) {
  if (info.Kind == TTypeKind::tkSet) {
    if (static_cast<uint64_t>(value) & ~static_cast<uint64_t>(info.MaxValue))
      throw EConvertError("Set value out of range for property \"" + info.Name + "\"");
  } else if (value < info.MinValue || value > info.MaxValue) {
    throw EConvertError("Value " + std::to_string(value) + " out of range for property \"" + info.Name + "\"");
  }
}

// A method whose published parameters differ from the event's would be called
// with the wrong arguments: refuse it. Unpublished code cannot be checked.
void CheckMethodFits(const TPropInfo& info, const TMethod& method) {
  if (!method.Code || !method.Data || !info.EventSignature) return;
  for (TClass c = method.Data->ClassType(); c; c = c->Parent)
    for (const TPublishedMethod& m : PublishedTableOf(c).Methods)
      if (m.Code == method.Code) {
        if (*m.Signature != *info.EventSignature)
          throw EConvertError("Method " + m.Name + " does not fit event \"" + info.Name + "\"");
        return;
      }
}

}  // namespace

std::optional<TPropValue> GetPropValue(const TObject* obj, std::string_view path) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info) return std::nullopt;
  return info->Get(*target);
}

bool SetPropValue(TObject* obj, std::string_view path, const TPropValue& value) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info || !info->Writable() || value.index() != ValueIndexOf(info->Kind)) return false;
  if (IsOrdinal(info->Kind)) CheckRange(*info, std::get<int64_t>(value));
  if (info->Kind == TTypeKind::tkMethod) CheckMethodFits(*info, std::get<TMethod>(value));
  info->Set(*target, value);
  return true;
}

namespace {

template <class T>
std::optional<T> GetAs(const TObject* obj, std::string_view path, bool (*accept)(TTypeKind)) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info || !accept(info->Kind)) return std::nullopt;
  return std::get<T>(info->Get(*target));
}

bool SetAs(TObject* obj, std::string_view path, const TPropValue& value, bool (*accept)(TTypeKind)) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info || !accept(info->Kind)) return false;
  return SetPropValue(target, info->Name, value);
}

bool KindOrdinal(TTypeKind k) { return IsOrdinal(k); }
bool KindString(TTypeKind k) { return k == TTypeKind::tkString; }
bool KindClass(TTypeKind k) { return k == TTypeKind::tkClass; }
bool KindMethod(TTypeKind k) { return k == TTypeKind::tkMethod; }

}  // namespace

std::optional<int64_t> GetOrdProp(const TObject* obj, std::string_view path) {
  return GetAs<int64_t>(obj, path, KindOrdinal);
}
bool SetOrdProp(TObject* obj, std::string_view path, int64_t value) {
  return SetAs(obj, path, value, KindOrdinal);
}
std::optional<std::string> GetStrProp(const TObject* obj, std::string_view path) {
  return GetAs<std::string>(obj, path, KindString);
}
bool SetStrProp(TObject* obj, std::string_view path, const std::string& value) {
  return SetAs(obj, path, value, KindString);
}
std::optional<std::string> GetEnumProp(const TObject* obj, std::string_view path) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info || info->Kind != TTypeKind::tkEnumeration) return std::nullopt;
  return info->EnumType->Name(std::get<int64_t>(info->Get(*target)));
}
bool SetEnumProp(TObject* obj, std::string_view path, std::string_view valueName) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info || info->Kind != TTypeKind::tkEnumeration) return false;
  int ordinal = info->EnumType->Ordinal(valueName);
  if (ordinal < 0) return false;
  return SetPropValue(target, info->Name, int64_t(ordinal));
}
std::optional<TObject*> GetObjectProp(const TObject* obj, std::string_view path) {
  return GetAs<TObject*>(obj, path, KindClass);
}
bool SetObjectProp(TObject* obj, std::string_view path, TObject* value) {
  return SetAs(obj, path, value, KindClass);
}
std::optional<TMethod> GetMethodProp(const TObject* obj, std::string_view path) {
  return GetAs<TMethod>(obj, path, KindMethod);
}
bool SetMethodProp(TObject* obj, std::string_view path, TMethod value) {
  return SetAs(obj, path, value, KindMethod);
}

// ---------------------------------------------------------------------------
// Methods

namespace {

const TPublishedMethod* FindPublishedMethod(TClass cls, std::string_view name) {
  for (TClass c = cls; c; c = c->Parent)
    for (const TPublishedMethod& m : PublishedTableOf(c).Methods)
      if (SameText(m.Name, name)) return &m;
  return nullptr;
}

}  // namespace

std::optional<TMethod> FindMethod(TObject* obj, std::string_view name) {
  if (!obj) return std::nullopt;
  const TPublishedMethod* m = FindPublishedMethod(obj->ClassType(), name);
  if (!m) return std::nullopt;
  return TMethod{m->Code, obj};
}

std::string MethodName(TMethod method) {
  if (!method.Code || !method.Data) return "";
  for (TClass c = method.Data->ClassType(); c; c = c->Parent)
    for (const TPublishedMethod& m : PublishedTableOf(c).Methods)
      if (m.Code == method.Code) return m.Name;
  return "";
}

bool MethodFitsEvent(const TPropInfo& event, TObject* obj, std::string_view methodName) {
  if (event.Kind != TTypeKind::tkMethod || !obj) return false;
  const TPublishedMethod* m = FindPublishedMethod(obj->ClassType(), methodName);
  return m && event.EventSignature && *m->Signature == *event.EventSignature;
}

// ---------------------------------------------------------------------------
// Text

namespace {

[[noreturn]] void BadText(const TPropInfo& info, std::string_view text) {
  throw EConvertError("Invalid value \"" + std::string(text) + "\" for property \"" + info.Name + "\"");
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  std::string t = Trim(text);
  std::string_view v(t);
  bool negative = false;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  unsigned base = 10;
  if (v.size() > 1 && v.front() == '$') {
    base = 16;
    v.remove_prefix(1);
  } else if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    base = 16;
    v.remove_prefix(2);
  }
  if (v.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : v) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = unsigned(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = unsigned(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = unsigned(c - 'A' + 10);
    else return std::nullopt;
    if (value > (UINT64_MAX - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  if (negative) {
    if (value > uint64_t(INT64_MAX) + 1) return std::nullopt;
    return static_cast<int64_t>(0 - value);
  }
  if (value > uint64_t(INT64_MAX)) return std::nullopt;
  return static_cast<int64_t>(value);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

}  // namespace

std::string PropValueToText(const TPropInfo& info, const TPropValue& value) {
  switch (info.Kind) {
    case TTypeKind::tkInteger: return std::to_string(std::get<int64_t>(value));
    case TTypeKind::tkBoolean: return std::get<int64_t>(value) ? "True" : "False";
    case TTypeKind::tkEnumeration: {
      int64_t ordinal = std::get<int64_t>(value);
      std::string name = info.EnumType->Name(ordinal);
      return name.empty() ? std::to_string(ordinal) : name;
    }
    case TTypeKind::tkSet: return SetToText(*info.EnumType, static_cast<uint64_t>(std::get<int64_t>(value)));
    case TTypeKind::tkString: return std::get<std::string>(value);
    case TTypeKind::tkStringList: {
      std::string text;
      for (const std::string& line : std::get<std::vector<std::string>>(value)) text += line + "\r\n";
      return text;
    }
    case TTypeKind::tkClass: {
      TObject* obj = std::get<TObject*>(value);
      if (!obj) return "";
      return GetStrProp(obj, "Name").value_or("");
    }
    case TTypeKind::tkMethod: return MethodName(std::get<TMethod>(value));
  }
  return "";
}

TPropValue TextToPropValue(const TPropInfo& info, std::string_view text, const TPropTextContext& context,
                           TObject* target) {
  switch (info.Kind) {
    case TTypeKind::tkInteger: {
      auto value = ParseInteger(text);
      if (!value) BadText(info, text);
      return *value;
    }
    case TTypeKind::tkBoolean: {
      std::string t = Trim(text);
      if (SameText(t, "True")) return int64_t(1);
      if (SameText(t, "False")) return int64_t(0);
      BadText(info, text);
    }
    case TTypeKind::tkEnumeration: {
      int ordinal = info.EnumType->Ordinal(Trim(text));
      if (ordinal < 0) BadText(info, text);
      return int64_t(ordinal);
    }
    case TTypeKind::tkSet: {
      auto bits = TextToSet(*info.EnumType, text);
      if (!bits) BadText(info, text);
      return static_cast<int64_t>(*bits);
    }
    case TTypeKind::tkString: return std::string(text);
    case TTypeKind::tkStringList: return SplitLines(text);
    case TTypeKind::tkClass: {
      std::string name = Trim(text);
      if (name.empty()) return static_cast<TObject*>(nullptr);
      TObject* found = context.FindObject ? context.FindObject(name) : nullptr;
      if (!found) BadText(info, text);
      return found;
    }
    case TTypeKind::tkMethod: {
      std::string name = Trim(text);
      if (name.empty()) return TMethod{};
      TObject* root = context.MethodRoot ? context.MethodRoot : target;
      if (!MethodFitsEvent(info, root, name)) BadText(info, text);
      return *FindMethod(root, name);
    }
  }
  BadText(info, text);
}

std::optional<std::string> GetPropText(const TObject* obj, std::string_view path) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info) return std::nullopt;
  return PropValueToText(*info, info->Get(*target));
}

bool SetPropText(TObject* obj, std::string_view path, std::string_view text, const TPropTextContext& context) {
  auto [target, info] = ResolvePropPath(obj, path);
  if (!info || !info->Writable()) return false;
  return SetPropValue(target, info->Name, TextToPropValue(*info, text, context, target));
}
