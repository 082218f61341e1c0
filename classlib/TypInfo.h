#pragma once
// Published properties: a per-class table of named properties (integer, enumeration,
// Boolean, set, string, string list, object, event), inherited along the class chain,
// read and written by name as typed values or as text. Also per class: published
// methods (event handlers a layout names) and binary properties (data a layout carries
// that is not a published property, such as a skin container).
//
// Declaring a class's properties:
//   // header, inside the class:
//   class TPanelLike : public TComponent {
//     VELMORA_CLASS(TPanelLike, TComponent)
//     VELMORA_PUBLISHED(TPanelLike)
//    public: ...
//   };
//   // source file:
//   VELMORA_PUBLISH(TPanelLike) {
//     p.Integer("Width", &TPanelLike::width_).Default(100)   // a field: read-write
//      .Enum("BorderStyle", BorderStyleType, &TPanelLike::BorderStyle, &TPanelLike::SetBorderStyle)
//      .Set("Options", OptionType, &TPanelLike::options_)
//      .String("Caption", &TPanelLike::Caption, &TPanelLike::SetCaption)
//      .Event("OnClick", &TPanelLike::onClick_)
//      .Method<&TPanelLike::PanelClick>("PanelClick")
//      .Binary("Data", &TPanelLike::ReadData, &TPanelLike::WriteData);
//   }
// Accessors are member functions or fields: a field alone is read-write, a getter
// alone read-only, a getter with a setter read-write. Names compare without regard
// to ASCII letter case. A class may publish a name again to replace the inherited one.
// VELMORA_PUBLISH goes in the namespace of the class, with the plain class name.
// Tables are filled on first use, so Publish may run after static initialisation;
// it must not look properties up itself.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "classlib/System.h"

// ---------------------------------------------------------------------------
// Enumerations and sets

// The value names of an enumeration type, by ordinal (0, 1, ...). Instances are
// static data that property tables point at.
class TEnumType {
 public:
  TEnumType(const char* typeName, std::initializer_list<const char*> valueNames);
  const std::string& TypeName() const { return typeName_; }
  int Count() const { return static_cast<int>(names_.size()); }
  // The value's name; "" when the ordinal is out of range.
  std::string Name(int64_t ordinal) const;
  // The ordinal of a value name (any letter case); -1 when there is none.
  int Ordinal(std::string_view name) const;

 private:
  std::string typeName_;
  std::vector<std::string> names_;
};

// A set of enumeration values with ordinals 0..63, stored as a bit mask (bit n set
// when the value of ordinal n is in the set).
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E item : items) Include(item);
  }
  static constexpr TSet FromBits(uint64_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr uint64_t Bits() const { return bits_; }
  constexpr bool Contains(E item) const { return (bits_ >> Index(item)) & 1u; }
  constexpr void Include(E item) { bits_ |= uint64_t(1) << Index(item); }
  constexpr void Exclude(E item) { bits_ &= ~(uint64_t(1) << Index(item)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TSet&) const = default;
  constexpr TSet operator|(TSet other) const { return FromBits(bits_ | other.bits_); }
  constexpr TSet operator&(TSet other) const { return FromBits(bits_ & other.bits_); }
  constexpr TSet operator-(TSet other) const { return FromBits(bits_ & ~other.bits_); }

 private:
  static constexpr unsigned Index(E item) { return static_cast<unsigned>(item) & 63u; }
  uint64_t bits_ = 0;
};

// Set text: the names of the members in ordinal order, "[a,b]"; "[]" when empty.
// Bits without a name are left out.
std::string SetToText(const TEnumType& type, uint64_t bits);
// Parses "[a, b]" (blanks allowed, any letter case). Nothing when the brackets are
// missing or a name is unknown.
std::optional<uint64_t> TextToSet(const TEnumType& type, std::string_view text);

// ---------------------------------------------------------------------------
// Events and methods

using TMethodCode = void (*)();

// A bound method in untyped form: the code (a call thunk) and the object it runs on.
struct TMethod {
  TMethodCode Code = nullptr;
  TObject* Data = nullptr;
  bool Assigned() const { return Code != nullptr; }
  bool operator==(const TMethod&) const = default;
};

template <auto M>
struct TMethodThunk;
template <class C, class... A, void (C::*M)(A...)>
struct TMethodThunk<M> {
  using Owner = C;
  using Signature = void(A...);
  static void Call(TObject* self, A... args) { (static_cast<C*>(self)->*M)(static_cast<A&&>(args)...); }
};

// An event: a method bound to an object, called only when assigned.
template <class... Args>
class TEvent {
 public:
  using Signature = void(Args...);
  using Thunk = void (*)(TObject*, Args...);

  TEvent() = default;
  // Binds `object`'s method M: TEvent<...>::Of<&TForm1::Clicked>(form).
  template <auto M>
  static TEvent Of(typename TMethodThunk<M>::Owner* object) {
    static_assert(std::is_same_v<typename TMethodThunk<M>::Signature, Signature>,
                  "the method's parameters differ from the event's");
    TEvent e;
    e.code_ = &TMethodThunk<M>::Call;
    e.data_ = object;
    return e;
  }
  explicit operator bool() const { return code_ != nullptr; }
  void operator()(Args... args) const {
    if (code_) code_(data_, static_cast<Args&&>(args)...);
  }
  void Clear() { *this = TEvent(); }
  TMethod AsMethod() const { return {reinterpret_cast<TMethodCode>(code_), data_}; }
  void SetMethod(TMethod m) {
    code_ = reinterpret_cast<Thunk>(m.Code);
    data_ = m.Code ? m.Data : nullptr;
  }
  TObject* Data() const { return data_; }

 private:
  Thunk code_ = nullptr;
  TObject* data_ = nullptr;
};

using TNotifyEvent = TEvent<TObject*>;

// ---------------------------------------------------------------------------
// Property records

enum class TTypeKind { tkInteger, tkEnumeration, tkBoolean, tkSet, tkString, tkStringList, tkClass, tkMethod };

// A typed property value: integer, enumeration ordinal, Boolean (0/1) and set bits
// travel as int64_t; strings as std::string; string lists as a vector; objects as a
// pointer; events as TMethod.
using TPropValue = std::variant<int64_t, std::string, std::vector<std::string>, TObject*, TMethod>;

struct TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  const TEnumType* EnumType = nullptr;             // enumeration and set
  TClass ObjectClass = nullptr;                    // object: the declared class
  const std::type_info* EventSignature = nullptr;  // event: void(Args...)
  int64_t MinValue = 0, MaxValue = 0;              // integer range of the accessor
  std::optional<int64_t> Default;                  // ordinal kinds: not written when equal
  std::function<TPropValue(const TObject&)> Get;
  std::function<void(TObject&, const TPropValue&)> Set;  // empty: read-only
  bool Writable() const { return static_cast<bool>(Set); }
};

// Per-class data that is not a property: the layout carries it as bytes.
struct TBinaryPropInfo {
  std::string Name;
  std::function<void(TObject&, const std::vector<uint8_t>&)> Read;
  std::function<std::vector<uint8_t>(const TObject&)> Write;
};

struct TPublishedMethod {
  std::string Name;
  TMethodCode Code = nullptr;
  const std::type_info* Signature = nullptr;
};

// A field of an owner that holds the owned component of the same name.
struct TPublishedField {
  std::string Name;
  TClass FieldClass = nullptr;  // the class the field points to
  std::function<void(TObject& owner, TObject* component)> Set;
  std::function<TObject*(const TObject& owner)> Get;
};

// Everything one class declares (not its ancestors).
struct TPublishedTable {
  std::vector<TPropInfo> Properties;
  std::vector<TPublishedMethod> Methods;
  std::vector<TBinaryPropInfo> BinaryProperties;
  std::vector<TPublishedField> Fields;
};

// ---------------------------------------------------------------------------
// Declaring

namespace typinfo_detail {
template <class C, class G>
decltype(auto) ReadAccess(const G& get, const C& obj) {
  return std::invoke(get, obj);
}
template <class C, class S, class V>
void WriteAccess(const S& set, C& obj, V&& value) {
  if constexpr (std::is_member_object_pointer_v<S>)
    obj.*set = std::forward<V>(value);
  else
    std::invoke(set, obj, std::forward<V>(value));
}
template <class T>
using Plain = std::remove_cv_t<std::remove_reference_t<T>>;
template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {};
template <class T>
struct IsEvent : std::false_type {};
template <class... A>
struct IsEvent<TEvent<A...>> : std::true_type {};
template <class T>
struct PointeeClass;
template <class T>
struct PointeeClass<T*> {
  using type = T;
};
}  // namespace typinfo_detail

template <class C>
class TPublisher {
 public:
  explicit TPublisher(TPublishedTable& table) : table_(table) {}

  template <class G, class S = std::nullptr_t>
  TPublisher& Integer(const char* name, G get, S set = nullptr) {
    using V = typinfo_detail::Plain<decltype(typinfo_detail::ReadAccess<C>(get, std::declval<const C&>()))>;
    static_assert(std::is_integral_v<V> && !std::is_same_v<V, bool>, "an integer property needs an integer accessor");
    TPropInfo& info = Add(name, TTypeKind::tkInteger);
    info.MinValue = static_cast<int64_t>(std::numeric_limits<V>::min());
    if constexpr (std::is_unsigned_v<V> && sizeof(V) >= sizeof(int64_t))
      info.MaxValue = std::numeric_limits<int64_t>::max();
    else
      info.MaxValue = static_cast<int64_t>(std::numeric_limits<V>::max());
    BindOrdinal<V>(info, get, set, [](V v) { return static_cast<int64_t>(v); },
                   [](int64_t o) { return static_cast<V>(o); });
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TPublisher& Boolean(const char* name, G get, S set = nullptr) {
    TPropInfo& info = Add(name, TTypeKind::tkBoolean);
    info.MinValue = 0;
    info.MaxValue = 1;
    BindOrdinal<bool>(info, get, set, [](bool v) { return int64_t(v ? 1 : 0); },
                      [](int64_t o) { return o != 0; });
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TPublisher& Enum(const char* name, const TEnumType& type, G get, S set = nullptr) {
    using V = typinfo_detail::Plain<decltype(typinfo_detail::ReadAccess<C>(get, std::declval<const C&>()))>;
    TPropInfo& info = Add(name, TTypeKind::tkEnumeration);
    info.EnumType = &type;
    info.MinValue = 0;
    info.MaxValue = type.Count() - 1;
    BindOrdinal<V>(info, get, set, [](V v) { return static_cast<int64_t>(v); },
                   [](int64_t o) { return static_cast<V>(o); });
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TPublisher& Set(const char* name, const TEnumType& type, G get, S set = nullptr) {
    using V = typinfo_detail::Plain<decltype(typinfo_detail::ReadAccess<C>(get, std::declval<const C&>()))>;
    TPropInfo& info = Add(name, TTypeKind::tkSet);
    info.EnumType = &type;
    info.MinValue = 0;
    info.MaxValue = type.Count() >= 63 ? std::numeric_limits<int64_t>::max()
                                       : (int64_t(1) << type.Count()) - 1;
    if constexpr (typinfo_detail::IsSet<V>::value) {
      BindOrdinal<V>(info, get, set, [](V v) { return static_cast<int64_t>(v.Bits()); },
                     [](int64_t o) { return V::FromBits(static_cast<uint64_t>(o)); });
    } else {
      static_assert(std::is_integral_v<V>, "a set property needs a TSet or an integer bit mask");
      BindOrdinal<V>(info, get, set, [](V v) { return static_cast<int64_t>(v); },
                     [](int64_t o) { return static_cast<V>(o); });
    }
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TPublisher& String(const char* name, G get, S set = nullptr) {
    TPropInfo& info = Add(name, TTypeKind::tkString);
    info.Get = [get](const TObject& obj) -> TPropValue {
      return std::string(typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj)));
    };
    if (auto writer = Writer<std::string>(get, set))
      info.Set = [writer](TObject& obj, const TPropValue& v) { writer(static_cast<C&>(obj), std::get<std::string>(v)); };
    return *this;
  }

  // A string list: accessors of std::vector<std::string>, or a getter giving a
  // TStrings object (pointer) whose items a set replaces.
  template <class G, class S = std::nullptr_t>
  TPublisher& Strings(const char* name, G get, S set = nullptr) {
    using V = typinfo_detail::Plain<decltype(typinfo_detail::ReadAccess<C>(get, std::declval<const C&>()))>;
    TPropInfo& info = Add(name, TTypeKind::tkStringList);
    if constexpr (std::is_pointer_v<V>) {
      static_assert(std::is_base_of_v<TStrings, std::remove_const_t<std::remove_pointer_t<V>>>,
                    "a string-list property needs a vector of strings or a TStrings object");
      info.Get = [get](const TObject& obj) -> TPropValue {
        std::vector<std::string> items;
        if (const TStrings* list = typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj)))
          for (int i = 0; i < list->Count(); ++i) items.push_back(list->Get(i));
        return items;
      };
      info.Set = [get](TObject& obj, const TPropValue& v) {
        TStrings* list = const_cast<TStrings*>(
            static_cast<const TStrings*>(typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj))));
        if (!list) return;
        list->Clear();
        for (const std::string& item : std::get<std::vector<std::string>>(v)) list->Add(item);
      };
    } else {
      info.Get = [get](const TObject& obj) -> TPropValue {
        return std::vector<std::string>(typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj)));
      };
      if (auto writer = Writer<std::vector<std::string>>(get, set))
        info.Set = [writer](TObject& obj, const TPropValue& v) {
          writer(static_cast<C&>(obj), std::get<std::vector<std::string>>(v));
        };
    }
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TPublisher& Object(const char* name, G get, S set = nullptr) {
    using P = typinfo_detail::Plain<decltype(typinfo_detail::ReadAccess<C>(get, std::declval<const C&>()))>;
    using T = std::remove_const_t<typename typinfo_detail::PointeeClass<P>::type>;
    TPropInfo& info = Add(name, TTypeKind::tkClass);
    info.ObjectClass = T::StaticClass();
    info.Get = [get](const TObject& obj) -> TPropValue {
      return static_cast<TObject*>(const_cast<T*>(typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj))));
    };
    if (auto writer = Writer<T*>(get, set))
      info.Set = [writer](TObject& obj, const TPropValue& v) {
        TObject* value = std::get<TObject*>(v);
        // A value of another class would be a wrong pointer: refuse it.
        if (value && !value->InheritsFrom(T::StaticClass()))
          throw EConvertError("Invalid property value: " + value->ClassName() + " is not a " +
                              T::ClassNameLiteral);
        writer(static_cast<C&>(obj), static_cast<T*>(value));
      };
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TPublisher& Event(const char* name, G get, S set = nullptr) {
    using V = typinfo_detail::Plain<decltype(typinfo_detail::ReadAccess<C>(get, std::declval<const C&>()))>;
    static_assert(typinfo_detail::IsEvent<V>::value, "an event property needs a TEvent accessor");
    TPropInfo& info = Add(name, TTypeKind::tkMethod);
    info.EventSignature = &typeid(typename V::Signature);
    info.Get = [get](const TObject& obj) -> TPropValue {
      return typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj)).AsMethod();
    };
    if (auto writer = Writer<V>(get, set))
      info.Set = [writer](TObject& obj, const TPropValue& v) {
        V event;
        event.SetMethod(std::get<TMethod>(v));
        writer(static_cast<C&>(obj), event);
      };
    return *this;
  }

  // The default of the property declared last (ordinal kinds): a value equal to it
  // is not written to a layout.
  TPublisher& Default(int64_t value) {
    if (!table_.Properties.empty()) table_.Properties.back().Default = value;
    return *this;
  }

  // A published method, found by name when a layout assigns an event.
  template <auto M>
  TPublisher& Method(const char* name) {
    using Thunk = TMethodThunk<M>;
    static_assert(std::is_base_of_v<typename Thunk::Owner, C> || std::is_same_v<typename Thunk::Owner, C>);
    table_.Methods.push_back({name, reinterpret_cast<TMethodCode>(&Thunk::Call),
                              &typeid(typename Thunk::Signature)});
    return *this;
  }

  // A component field: while the class's instance owns a component of this name
  // whose class fits, the field points to it (set when the component is inserted
  // or named, cleared when it is removed or renamed).
  template <class T>
  TPublisher& Field(const char* name, T* C::*field) {
    TPublishedField info;
    info.Name = name;
    info.FieldClass = T::StaticClass();
    info.Set = [field](TObject& owner, TObject* component) { static_cast<C&>(owner).*field = static_cast<T*>(component); };
    info.Get = [field](const TObject& owner) -> TObject* { return static_cast<const C&>(owner).*field; };
    table_.Fields.push_back(std::move(info));
    return *this;
  }

  // A binary property: `read` takes the bytes a layout holds, `write` gives them.
  template <class R, class W>
  TPublisher& Binary(const char* name, R read, W write) {
    TBinaryPropInfo info;
    info.Name = name;
    info.Read = [read](TObject& obj, const std::vector<uint8_t>& bytes) { std::invoke(read, static_cast<C&>(obj), bytes); };
    info.Write = [write](const TObject& obj) {
      return std::vector<uint8_t>(std::invoke(write, static_cast<const C&>(obj)));
    };
    table_.BinaryProperties.push_back(std::move(info));
    return *this;
  }

 private:
  TPropInfo& Add(const char* name, TTypeKind kind) {
    table_.Properties.emplace_back();
    TPropInfo& info = table_.Properties.back();
    info.Name = name;
    info.Kind = kind;
    return info;
  }

  // A setter built from (get, set): the setter when given, the field when the getter
  // is a field, none otherwise.
  template <class V, class G, class S>
  static std::function<void(C&, const V&)> Writer(G get, S set) {
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      return [set](C& obj, const V& v) { typinfo_detail::WriteAccess(set, obj, v); };
    } else if constexpr (std::is_member_object_pointer_v<G>) {
      return [get](C& obj, const V& v) { typinfo_detail::WriteAccess(get, obj, v); };
    } else {
      return {};
    }
  }

  template <class V, class G, class S, class ToOrd, class FromOrd>
  static void BindOrdinal(TPropInfo& info, G get, S set, ToOrd toOrd, FromOrd fromOrd) {
    info.Get = [get, toOrd](const TObject& obj) -> TPropValue {
      return toOrd(static_cast<V>(typinfo_detail::ReadAccess<C>(get, static_cast<const C&>(obj))));
    };
    if (auto writer = Writer<V>(get, set))
      info.Set = [writer, fromOrd](TObject& obj, const TPropValue& v) {
        writer(static_cast<C&>(obj), fromOrd(std::get<int64_t>(v)));
      };
  }

  TPublishedTable& table_;
};

// Registers the function that fills a class's table; run at static initialisation
// by VELMORA_PUBLISH. Returns true.
bool RegisterPublisher(TClass cls, void (*fill)(TPublishedTable&));

#define VELMORA_PUBLISHED(Name)                    \
 public:                                          \
  static void Publish(TPublisher<Name>& p);       \
                                                  \
 private:

#define VELMORA_PUBLISH(Name)                                                                  \
  static const bool velmoraPublished_##Name = RegisterPublisher(                              \
      Name::StaticClass(), [](TPublishedTable& table) {                                        \
        TPublisher<Name> publisher(table);                                                     \
        Name::Publish(publisher);                                                              \
      });                                                                                      \
  void Name::Publish([[maybe_unused]] TPublisher<Name>& p)

// ---------------------------------------------------------------------------
// Looking up and using properties. A "path" is a property name or names joined by
// "." ("Font.Color"): every part but the last names an object property.

// The class's own table (empty when it declares nothing). Built on first use and
// kept until the "Classes" unit stops; a table used after that is built again.
const TPublishedTable& PublishedTableOf(TClass cls);
// Frees every built table (the "Classes" unit's stop): no table or property
// reference taken before may be used after.
void ReleasePublishedTables();
// How many classes' tables are built now (for tests of the release).
size_t BuiltPublishedTableCount();
// The property of that name on the class or its ancestors (the nearest class
// wins); null when there is none.
const TPropInfo* GetPropInfo(TClass cls, std::string_view name);
const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name);
// Every property of the class, ancestors' first, each name once (a redeclared name
// keeps its ancestor's place).
std::vector<const TPropInfo*> GetPropList(TClass cls);
bool IsPublishedProp(const TObject* obj, std::string_view path);
// The binary property of that name on the class or its ancestors; null when none.
const TBinaryPropInfo* GetBinaryPropInfo(TClass cls, std::string_view name);
std::vector<const TBinaryPropInfo*> GetBinaryPropList(TClass cls);

// The component field of that name on the class or its ancestors; null when none.
const TPublishedField* GetPublishedField(TClass cls, std::string_view name);

// Resolves a path to the object holding its last property and that property; both
// null when a part is missing, not an object property, or leads to null.
std::pair<TObject*, const TPropInfo*> ResolvePropPath(const TObject* obj, std::string_view path);

// Typed access. Getters give nothing and setters false when the path does not name a
// property of the right kind (setters also when it is read-only). A value outside the
// property's range, or a published method whose parameters differ from the event's,
// raises EConvertError; a setter's own exception passes through.
std::optional<TPropValue> GetPropValue(const TObject* obj, std::string_view path);
bool SetPropValue(TObject* obj, std::string_view path, const TPropValue& value);
// Integer, enumeration (ordinal), Boolean (0/1) and set (bits) properties.
std::optional<int64_t> GetOrdProp(const TObject* obj, std::string_view path);
bool SetOrdProp(TObject* obj, std::string_view path, int64_t value);
std::optional<std::string> GetStrProp(const TObject* obj, std::string_view path);
bool SetStrProp(TObject* obj, std::string_view path, const std::string& value);
// Enumeration by value name.
std::optional<std::string> GetEnumProp(const TObject* obj, std::string_view path);
bool SetEnumProp(TObject* obj, std::string_view path, std::string_view valueName);
std::optional<TObject*> GetObjectProp(const TObject* obj, std::string_view path);
bool SetObjectProp(TObject* obj, std::string_view path, TObject* value);
std::optional<TMethod> GetMethodProp(const TObject* obj, std::string_view path);
bool SetMethodProp(TObject* obj, std::string_view path, TMethod value);

// Published methods: the method of that name on the object's class or ancestors,
// bound to the object; nothing when there is none.
std::optional<TMethod> FindMethod(TObject* obj, std::string_view name);
// The published name of a bound method (searched on the class of its object); ""
// when unassigned or not published.
std::string MethodName(TMethod method);
// Whether the named method on `obj` has the parameters the event property needs.
bool MethodFitsEvent(const TPropInfo& event, TObject* obj, std::string_view methodName);

// Text forms. Integer: decimal (input also "$1F"/"0x1F"); Boolean: "True"/"False";
// enumeration: the value name; set: "[a,b]"; string: itself; string list: lines each
// ended by "\r\n" (input: CR LF, LF or CR separated); object: the object's published
// "Name", "" for null; event: the method's published name, "" when unassigned.
//
// How text names objects and methods when setting: objects by `FindObject` (no
// function: object properties cannot be set from text), methods by name on `MethodRoot`
// (null: the object whose property is set).
struct TPropTextContext {
  std::function<TObject*(std::string_view name)> FindObject;
  TObject* MethodRoot = nullptr;
};

std::optional<std::string> GetPropText(const TObject* obj, std::string_view path);
// False when the path names no writable property. Raises EConvertError when the text
// does not fit the property (its message names property and text).
bool SetPropText(TObject* obj, std::string_view path, std::string_view text,
                 const TPropTextContext& context = {});
// The text of a value of the given property (the getter side of GetPropText).
std::string PropValueToText(const TPropInfo& info, const TPropValue& value);
// The value a text gives for the property; raises EConvertError as SetPropText does.
TPropValue TextToPropValue(const TPropInfo& info, std::string_view text, const TPropTextContext& context,
                           TObject* target);
