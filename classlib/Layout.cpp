#include "classlib/Layout.h"

#include <memory>
#include <variant>
#include <vector>

#include "classlib/Classes.h"

ELayoutError::ELayoutError(int line, const std::string& message)
    : EReadError("Line " + std::to_string(line) + ": " + message), line_(line) {}

// ---------------------------------------------------------------------------
// Parsing text into a tree

namespace {

constexpr int MaxNesting = 64;  // deeper layouts are refused, not recursed into

struct TIdentValue {
  std::string Name;
};
struct TIntValue {
  int64_t Value;
};
struct TSetValue {
  std::string Text;
};
struct TStringValue {
  std::string Text;
};
struct TListValue {
  std::vector<std::string> Items;
};
struct TBinaryValue {
  std::vector<uint8_t> Bytes;
};
using TLayoutValue = std::variant<TIdentValue, TIntValue, TSetValue, TStringValue, TListValue, TBinaryValue>;

struct TLayoutProp {
  std::string Path;
  int Line = 0;
  TLayoutValue Value;
};

struct TLayoutNode {
  std::string Name;
  std::string ClassName;
  int Line = 0;
  std::vector<TLayoutProp> Props;
  std::vector<std::unique_ptr<TLayoutNode>> Children;
};

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Strip(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsIdentifier(std::string_view s) {
  if (s.empty() || !IsIdentStart(s[0])) return false;
  for (char c : s)
    if (!IsIdentChar(c)) return false;
  return true;
}

// A property path: identifiers joined by single dots.
bool IsPropPath(std::string_view s) {
  size_t start = 0;
  for (;;) {
    size_t dot = s.find('.', start);
    if (!IsIdentifier(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start)))
      return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class TLineSource {
 public:
  explicit TLineSource(std::string_view text) : text_(text) {}
  // The next line without its end; false at the end of the text.
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++number_;
    return true;
  }
  int Number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int number_ = 0;
};

// Parses a quoted string that must fill `s` exactly.
std::string ParseQuoted(std::string_view s, int line) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') throw ELayoutError(line, "String expected");
  std::string out;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '"') throw ELayoutError(line, "Unescaped quote in string");
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 2 >= s.size()) throw ELayoutError(line, "Incomplete escape in string");
    char e = s[++i];
    switch (e) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (i + 3 >= s.size()) throw ELayoutError(line, "Incomplete escape in string");
        int high = HexDigit(s[i + 1]), low = HexDigit(s[i + 2]);
        if (high < 0 || low < 0) throw ELayoutError(line, "Bad \\x escape in string");
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: throw ELayoutError(line, std::string("Unknown escape \\") + e + " in string");
    }
  }
  return out;
}

std::optional<int64_t> ParseLayoutInteger(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  unsigned base = 10;
  if (s.size() > 1 && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : s) {
    int digit = HexDigit(c);
    if (digit < 0 || unsigned(digit) >= base) return std::nullopt;
    if (value > (UINT64_MAX - unsigned(digit)) / base) return std::nullopt;
    value = value * base + unsigned(digit);
  }
  if (negative) {
    if (value > uint64_t(INT64_MAX) + 1) return std::nullopt;
    return static_cast<int64_t>(0 - value);
  }
  if (value > uint64_t(INT64_MAX)) return std::nullopt;
  return static_cast<int64_t>(value);
}

bool IsSkippable(std::string_view stripped) { return stripped.empty() || stripped.front() == '#'; }

TLayoutValue ParseValue(std::string_view value, int line, TLineSource& source) {
  if (value.empty()) throw ELayoutError(line, "Value expected");
  char first = value.front();
  if (first == '"') return TStringValue{ParseQuoted(value, line)};
  if (first == '[') {
    if (value.back() != ']') throw ELayoutError(line, "Set without closing ]");
    return TSetValue{std::string(value)};
  }
  if (value == "(") {
    TListValue list;
    std::string_view raw;
    while (source.Next(raw)) {
      std::string_view item = Strip(raw);
      if (IsSkippable(item)) continue;
      if (item == ")") return list;
      list.Items.push_back(ParseQuoted(item, source.Number()));
    }
    throw ELayoutError(line, "String list without closing )");
  }
  if (value == "{") {
    TBinaryValue binary;
    std::string_view raw;
    while (source.Next(raw)) {
      std::string_view digits = Strip(raw);
      if (digits == "}") return binary;
      int pending = -1;
      for (char c : digits) {
        if (IsBlank(c)) continue;
        int d = HexDigit(c);
        if (d < 0) throw ELayoutError(source.Number(), "Hexadecimal digit expected in binary data");
        if (pending < 0) {
          pending = d;
        } else {
          binary.Bytes.push_back(static_cast<uint8_t>(pending * 16 + d));
          pending = -1;
        }
      }
      if (pending >= 0) throw ELayoutError(source.Number(), "Odd number of hexadecimal digits");
    }
    throw ELayoutError(line, "Binary data without closing }");
  }
  if (first == '-' || first == '+' || first == '$' || (first >= '0' && first <= '9')) {
    auto number = ParseLayoutInteger(value);
    if (!number) throw ELayoutError(line, "Invalid number \"" + std::string(value) + "\"");
    return TIntValue{*number};
  }
  if (IsIdentifier(value)) return TIdentValue{std::string(value)};
  throw ELayoutError(line, "Invalid value \"" + std::string(value) + "\"");
}

// Parses "object Name: Class" / "object Class" after the keyword.
void ParseObjectHeader(std::string_view rest, int line, TLayoutNode& node) {
  size_t colon = rest.find(':');
  std::string_view name, cls;
  if (colon == std::string_view::npos) {
    cls = Strip(rest);
  } else {
    name = Strip(rest.substr(0, colon));
    cls = Strip(rest.substr(colon + 1));
    if (!IsIdentifier(name)) throw ELayoutError(line, "Component name expected");
  }
  if (!IsIdentifier(cls)) throw ELayoutError(line, "Class name expected");
  node.Name = std::string(name);
  node.ClassName = std::string(cls);
  node.Line = line;
}

bool StartsWithWord(std::string_view s, std::string_view word) {
  return s.size() > word.size() && s.substr(0, word.size()) == word && IsBlank(s[word.size()]);
}

std::unique_ptr<TLayoutNode> ParseLayout(std::string_view text) {
  TLineSource source(text);
  std::unique_ptr<TLayoutNode> root;
  std::vector<TLayoutNode*> open;  // the objects not yet ended, innermost last
  std::string_view raw;
  while (source.Next(raw)) {
    const int line = source.Number();
    std::string_view s = Strip(raw);
    if (IsSkippable(s)) continue;
    if (root && open.empty()) throw ELayoutError(line, "Text after the end of the outer object");
    if (StartsWithWord(s, "object")) {
      auto node = std::make_unique<TLayoutNode>();
      ParseObjectHeader(s.substr(6), line, *node);
      TLayoutNode* raw_node = node.get();
      if (!root) {
        root = std::move(node);
      } else {
        if (static_cast<int>(open.size()) >= MaxNesting) throw ELayoutError(line, "Objects nested too deeply");
        open.back()->Children.push_back(std::move(node));
      }
      open.push_back(raw_node);
      continue;
    }
    if (!root) throw ELayoutError(line, "\"object\" expected");
    if (s == "end") {
      open.pop_back();
      continue;
    }
    size_t equals = s.find('=');
    if (equals == std::string_view::npos) throw ELayoutError(line, "Property assignment expected");
    std::string_view path = Strip(s.substr(0, equals));
    if (!IsPropPath(path)) throw ELayoutError(line, "Property name expected");
    TLayoutProp prop;
    prop.Path = std::string(path);
    prop.Line = line;
    prop.Value = ParseValue(Strip(s.substr(equals + 1)), line, source);
    open.back()->Props.push_back(std::move(prop));
  }
  if (!root) throw ELayoutError(source.Number(), "Empty layout");
  if (!open.empty()) throw ELayoutError(source.Number(), "\"end\" expected for object " + open.back()->Name);
  return root;
}

}  // namespace

// ---------------------------------------------------------------------------
// Building components from the tree

class TLayoutReader {
 public:
  explicit TLayoutReader(TComponent* root) : root_(root) {}

  void Read(const TLayoutNode& node) {
    try {
      Begin(root_);
      if (!node.Name.empty()) Apply(node.Line, [&] { root_->SetName(node.Name); });
      ApplyProps(root_, node);
      ReadChildren(root_, node);
      ResolveReferences();
    } catch (...) {
      Abandon();
      throw;
    }
    // Every property is set: end the loading state everywhere, then Loaded each once.
    std::vector<TComponent*> all;
    all.push_back(root_);
    all.insert(all.end(), created_.begin(), created_.end());
    for (TComponent* c : all) {
      c->SetState(TComponentStateItem::csLoading, false);
      c->SetState(TComponentStateItem::csReading, false);
    }
    for (TComponent* c : all) c->Loaded();
  }

 private:
  struct TReference {
    TComponent* Target;
    std::string Path;
    std::string Name;
    int Line;
  };

  static void Begin(TComponent* c) {
    c->SetState(TComponentStateItem::csLoading, true);
    c->SetState(TComponentStateItem::csReading, true);
  }

  // Runs `step`, turning a failure into a layout error on `line`.
  template <class F>
  static void Apply(int line, F&& step) {
    try {
      step();
    } catch (const ELayoutError&) {
      throw;
    } catch (const Exception& error) {
      throw ELayoutError(line, error.Message());
    }
  }

  void ReadChildren(TComponent* parent, const TLayoutNode& node) {
    for (const auto& child : node.Children) {
      TComponent* component = Create(*child);
      Apply(child->Line, [&] { component->SetParentComponent(parent); });
      ApplyProps(component, *child);
      ReadChildren(component, *child);
    }
  }

  TComponent* Create(const TLayoutNode& node) {
    TClass cls = GetClass(node.ClassName);
    if (!cls) throw ELayoutError(node.Line, "Class " + node.ClassName + " not found");
    if (!ClassInheritsFrom(cls, TComponent::StaticClass()))
      throw ELayoutError(node.Line, "Class " + node.ClassName + " is not a component");
    if (!cls->Factory) throw ELayoutError(node.Line, "Class " + node.ClassName + " cannot be created");
    TComponent* component = nullptr;
    Apply(node.Line, [&] { component = static_cast<TComponent*>(cls->Factory()); });
    Begin(component);
    try {
      component->SetName(node.Name);
      root_->InsertComponent(component);
    } catch (const Exception& error) {
      delete component;
      throw ELayoutError(node.Line, error.Message());
    }
    created_.push_back(component);
    return component;
  }

  void ApplyProps(TComponent* target, const TLayoutNode& node) {
    for (const TLayoutProp& prop : node.Props) ApplyProp(target, prop);
  }

  void ApplyProp(TComponent* target, const TLayoutProp& prop) {
    const int line = prop.Line;
    if (auto* binary = std::get_if<TBinaryValue>(&prop.Value)) {
      const TBinaryPropInfo* info = GetBinaryPropInfo(target->ClassType(), prop.Path);
      if (!info) throw ELayoutError(line, "Binary property " + prop.Path + " does not exist in " + target->ClassName());
      Apply(line, [&] { info->Read(*target, binary->Bytes); });
      return;
    }
    const auto resolved = ResolvePropPath(target, prop.Path);
    TObject* const holder = resolved.first;
    const TPropInfo* const info = resolved.second;
    if (!info) throw ELayoutError(line, "Property " + prop.Path + " does not exist in " + target->ClassName());
    if (!info->Writable()) throw ELayoutError(line, "Property " + prop.Path + " is read-only");
    const TTypeKind kind = info->Kind;
    auto mismatch = [&]() { return ELayoutError(line, "Value does not fit property " + prop.Path); };
    TPropValue value;
    if (auto* number = std::get_if<TIntValue>(&prop.Value)) {
      if (kind != TTypeKind::tkInteger) throw mismatch();
      value = number->Value;
    } else if (auto* ident = std::get_if<TIdentValue>(&prop.Value)) {
      if (kind == TTypeKind::tkClass) {
        references_.push_back({target, prop.Path, ident->Name, line});
        return;
      }
      if (kind != TTypeKind::tkEnumeration && kind != TTypeKind::tkBoolean && kind != TTypeKind::tkMethod)
        throw mismatch();
      TPropTextContext context;
      context.MethodRoot = root_;
      Apply(line, [&] { value = TextToPropValue(*info, ident->Name, context, holder); });
    } else if (auto* set = std::get_if<TSetValue>(&prop.Value)) {
      if (kind != TTypeKind::tkSet) throw mismatch();
      Apply(line, [&] { value = TextToPropValue(*info, set->Text, {}, holder); });
    } else if (auto* text = std::get_if<TStringValue>(&prop.Value)) {
      if (kind != TTypeKind::tkString) throw mismatch();
      value = text->Text;
    } else if (auto* list = std::get_if<TListValue>(&prop.Value)) {
      if (kind != TTypeKind::tkStringList) throw mismatch();
      value = list->Items;
    }
    Apply(line, [&] { SetPropValue(holder, info->Name, value); });
  }

  TComponent* FindByName(std::string_view name) const {
    if (SameText(root_->Name(), name)) return root_;
    return root_->FindComponent(name);
  }

  void ResolveReferences() {
    for (const TReference& ref : references_) {
      TComponent* found = FindByName(ref.Name);
      if (!found) throw ELayoutError(ref.Line, "Component " + ref.Name + " not found");
      const auto resolved = ResolvePropPath(ref.Target, ref.Path);
      if (!resolved.second) throw ELayoutError(ref.Line, "Property " + ref.Path + " does not exist");
      Apply(ref.Line, [&] { SetPropValue(resolved.first, resolved.second->Name, static_cast<TObject*>(found)); });
    }
  }

  // A failed read leaves nothing it created behind.
  void Abandon() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
    created_.clear();
    root_->SetState(TComponentStateItem::csLoading, false);
    root_->SetState(TComponentStateItem::csReading, false);
  }

  TComponent* root_;
  std::vector<TComponent*> created_;
  std::vector<TReference> references_;
};

void ReadLayoutInto(TComponent* root, std::string_view text) {
  if (!root) throw ELayoutError(0, "No component to read into");
  std::unique_ptr<TLayoutNode> tree = ParseLayout(text);
  if (!root->IsNamed(tree->ClassName))
    throw ELayoutError(tree->Line, "Layout of class " + tree->ClassName + " does not fit a " + root->ClassName());
  TLayoutReader(root).Read(*tree);
}

TComponent* CreateFromLayout(std::string_view text, TComponent* owner) {
  std::unique_ptr<TLayoutNode> tree = ParseLayout(text);
  TClass cls = GetClass(tree->ClassName);
  if (!cls) throw ELayoutError(tree->Line, "Class " + tree->ClassName + " not found");
  if (!ClassInheritsFrom(cls, TComponent::StaticClass()) || !cls->Factory)
    throw ELayoutError(tree->Line, "Class " + tree->ClassName + " is not a component that can be created");
  std::unique_ptr<TComponent> root(static_cast<TComponent*>(cls->Factory()));
  TLayoutReader(root.get()).Read(*tree);
  if (owner) {
    try {
      owner->InsertComponent(root.get());
    } catch (const Exception& error) {
      throw ELayoutError(tree->Line, error.Message());
    }
  }
  return root.release();
}

// ---------------------------------------------------------------------------
// Writing

std::string QuoteLayoutString(std::string_view text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\x";
          out += digits[u >> 4];
          out += digits[u & 15];
        } else {
          out += c;  // bytes above 0x7F stay as they are, so texts remain readable
        }
    }
  }
  return out + "\"";
}

namespace {

class TLayoutWriter {
 public:
  explicit TLayoutWriter(const TComponent* root) : root_(root) {}

  std::string Write() {
    WriteObject(root_, 0);
    return out_;
  }

 private:
  void Line(int depth, const std::string& text) {
    out_.append(static_cast<size_t>(depth) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }

  void WriteObject(const TComponent* c, int depth) {
    if (depth > MaxNesting) throw EWriteError("Components nested too deeply to write");
    Line(depth, "object " + (c->Name().empty() ? c->ClassName() : c->Name() + ": " + c->ClassName()));
    WriteProps(c, "", depth + 1, 0);
    for (const TBinaryPropInfo* info : GetBinaryPropList(c->ClassType())) WriteBinary(*info, c, depth + 1);
    c->GetChildren([&](TComponent* child) { WriteObject(child, depth + 1); }, root_);
    Line(depth, "end");
  }

  // The name by which the reader will find `obj`: root or a component of the root.
  std::string ReferenceName(const TObject* obj) const {
    if (!obj->InheritsFrom(TComponent::StaticClass())) return "";
    auto* c = static_cast<const TComponent*>(obj);
    if (c->Name().empty()) return "";
    if (c == root_ || c->Owner() == root_) return c->Name();
    return "";
  }

  void WriteProps(const TObject* obj, const std::string& prefix, int depth, int level) {
    if (level > 8) return;  // sub-objects referring back to their holders
    for (const TPropInfo* info : GetPropList(obj->ClassType())) {
      if (prefix.empty() && SameText(info->Name, "Name") && obj->InheritsFrom(TComponent::StaticClass())) continue;
      const std::string path = prefix + info->Name;
      const TPropValue value = info->Get(*obj);
      if (info->Kind == TTypeKind::tkClass) {
        TObject* sub = std::get<TObject*>(value);
        if (!sub) continue;
        if (sub->InheritsFrom(TComponent::StaticClass())) {
          std::string name = ReferenceName(sub);
          if (!name.empty() && info->Writable()) Line(depth, path + " = " + name);
        } else {
          WriteProps(sub, path + ".", depth, level + 1);
        }
        continue;
      }
      if (!info->Writable()) continue;
      switch (info->Kind) {
        case TTypeKind::tkInteger:
        case TTypeKind::tkBoolean:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet: {
          int64_t ordinal = std::get<int64_t>(value);
          if (info->Default && *info->Default == ordinal) break;
          Line(depth, path + " = " + PropValueToText(*info, value));
          break;
        }
        case TTypeKind::tkString: {
          const std::string& text = std::get<std::string>(value);
          if (!text.empty()) Line(depth, path + " = " + QuoteLayoutString(text));
          break;
        }
        case TTypeKind::tkStringList: {
          const auto& items = std::get<std::vector<std::string>>(value);
          if (items.empty()) break;
          Line(depth, path + " = (");
          for (const std::string& item : items) Line(depth + 1, QuoteLayoutString(item));
          Line(depth, ")");
          break;
        }
        case TTypeKind::tkMethod: {
          const TMethod& m = std::get<TMethod>(value);
          // Only methods of the root can be found again by name.
          if (!m.Assigned() || m.Data != root_) break;
          std::string name = MethodName(m);
          if (!name.empty()) Line(depth, path + " = " + name);
          break;
        }
        case TTypeKind::tkClass: break;
      }
    }
  }

  void WriteBinary(const TBinaryPropInfo& info, const TComponent* c, int depth) {
    static const char digits[] = "0123456789ABCDEF";
    const std::vector<uint8_t> bytes = info.Write(*c);
    Line(depth, info.Name + " = {");
    constexpr size_t perLine = 32;
    for (size_t start = 0; start < bytes.size(); start += perLine) {
      std::string hex;
      for (size_t i = start; i < bytes.size() && i < start + perLine; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
      }
      Line(depth + 1, hex);
    }
    Line(depth, "}");
  }

  const TComponent* root_;
  std::string out_;
};

}  // namespace

std::string WriteLayout(const TComponent* root) {
  if (!root) return "";
  return TLayoutWriter(root).Write();
}
