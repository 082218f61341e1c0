// Lists, string lists and the class registry.
#include "classlib/Classes.h"

#include <algorithm>
#include <memory>

#include "classlib/TypInfo.h"

// ---------------------------------------------------------------------------
// TList

TList::~TList() { TList::Clear(); }

void TList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) throw EListError(Format("List index out of bounds (%d)", index));
}

void* TList::Get(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)];
}

void TList::Put(int index, void* item) {
  CheckIndex(index, Count());
  void* old = items_[static_cast<size_t>(index)];
  if (old == item) return;
  items_[static_cast<size_t>(index)] = item;
  if (old) Notify(old, TListNotification::Deleted);
  if (item) Notify(item, TListNotification::Added);
}

int TList::Add(void* item) {
  items_.push_back(item);
  if (item) Notify(item, TListNotification::Added);
  return Count() - 1;
}

void TList::Insert(int index, void* item) {
  CheckIndex(index, Count() + 1);
  items_.insert(items_.begin() + index, item);
  if (item) Notify(item, TListNotification::Added);
}

void TList::Delete(int index) {
  CheckIndex(index, Count());
  void* item = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (item) Notify(item, TListNotification::Deleted);
}

int TList::Remove(void* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  int index = IndexOf(item);
  if (index < 0) return nullptr;
  void* found = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  Notify(found, TListNotification::Extracted);
  return found;
}

int TList::IndexOf(const void* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex, Count());
  CheckIndex(newIndex, Count());
  void* item = items_[static_cast<size_t>(curIndex)];
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, item);
}

void TList::Clear() {
  // One by one from the end, so a Notify that looks at the list sees it consistent.
  while (!items_.empty()) Delete(Count() - 1);
  items_.shrink_to_fit();
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::Sort(const std::function<int(void*, void*)>& compare) {
  std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

void TList::SetCapacity(int capacity) {
  if (capacity < Count()) throw EListError(Format("List capacity out of bounds (%d)", capacity));
  items_.reserve(static_cast<size_t>(capacity));
}

// ---------------------------------------------------------------------------
// TStrings

void TStrings::Put(int index, const std::string& s) {
  TObject* obj = GetObject(index);
  Delete(index);
  InsertObject(index, s, obj);
}

void TStrings::InsertObject(int index, const std::string& s, TObject* obj) {
  Insert(index, s);
  PutObject(index, obj);
}

int TStrings::Add(const std::string& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, TObject* obj) {
  int index = Add(s);
  PutObject(index, obj);
  return index;
}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* obj) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == obj) return i;
  return -1;
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  try {
    for (int i = 0; i < other.Count(); ++i) AddObject(other.Get(i), other.GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  BeginUpdate();
  try {
    Clear();
    Delimiter = other.Delimiter;
    QuoteChar = other.QuoteChar;
    StrictDelimiter = other.StrictDelimiter;
    NameValueSeparator = other.NameValueSeparator;
    AddStrings(other);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Exchange(int index1, int index2) {
  std::string s1 = Get(index1), s2 = Get(index2);
  TObject *o1 = GetObject(index1), *o2 = GetObject(index2);
  BeginUpdate();
  Put(index1, s2);
  PutObject(index1, o2);
  Put(index2, s1);
  PutObject(index2, o1);
  EndUpdate();
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  std::string s = Get(curIndex);
  TObject* obj = GetObject(curIndex);
  if (newIndex < 0 || newIndex >= Count()) throw EListError(Format("List index out of bounds (%d)", newIndex));
  BeginUpdate();
  Delete(curIndex);
  InsertObject(newIndex, s, obj);
  EndUpdate();
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find_first_of("\r\n", start);
      if (end == std::string_view::npos) {
        Add(std::string(text.substr(start)));
        break;
      }
      Add(std::string(text.substr(start, end - start)));
      start = end + 1;
      if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::JoinDelimited(char delimiter, char quoteChar, bool strict) const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    std::string item = Get(i);
    bool quote = false;
    for (char c : item)
      if (c == delimiter || c == quoteChar || (!strict && static_cast<unsigned char>(c) <= 32)) quote = true;
    if (i) out += delimiter;
    if (!quote) {
      out += item;
      continue;
    }
    out += quoteChar;
    for (char c : item) {
      if (c == quoteChar) out += quoteChar;
      out += c;
    }
    out += quoteChar;
  }
  // A single empty item would read back as no item at all; quote it.
  if (Count() == 1 && out.empty()) out.assign(2, quoteChar);
  return out;
}

void TStrings::SplitDelimited(std::string_view text, char delimiter, char quoteChar, bool strict) {
  auto isSpace = [&](char c) { return !strict && static_cast<unsigned char>(c) <= 32 && c != delimiter; };
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    while (i < text.size()) {
      std::string item;
      if (text[i] == quoteChar) {
        ++i;
        while (i < text.size()) {
          if (text[i] == quoteChar) {
            if (i + 1 < text.size() && text[i + 1] == quoteChar) {
              item += quoteChar;
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += text[i++];
        }
        // Text glued to a closing quote belongs to the same item.
        while (i < text.size() && text[i] != delimiter && !isSpace(text[i])) item += text[i++];
      } else {
        while (i < text.size() && text[i] != delimiter && !isSpace(text[i])) item += text[i++];
      }
      Add(item);
      while (i < text.size() && isSpace(text[i])) ++i;
      if (i < text.size() && text[i] == delimiter) {
        ++i;
        while (i < text.size() && isSpace(text[i])) ++i;
        if (i >= text.size()) Add("");  // a trailing delimiter ends with an empty item
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText() const { return JoinDelimited(Delimiter, QuoteChar, StrictDelimiter); }

void TStrings::SetDelimitedText(std::string_view text) { SplitDelimited(text, Delimiter, QuoteChar, StrictDelimiter); }

std::string TStrings::CommaText() const { return JoinDelimited(',', '"', false); }

void TStrings::SetCommaText(std::string_view text) { SplitDelimited(text, ',', '"', false); }

std::string TStrings::Name(int index) const {
  std::string s = Get(index);
  size_t at = s.find(NameValueSeparator);
  return at == std::string::npos ? std::string() : s.substr(0, at);
}

std::string TStrings::ValueFromIndex(int index) const {
  std::string s = Get(index);
  size_t at = s.find(NameValueSeparator);
  return at == std::string::npos ? std::string() : s.substr(at + 1);
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    size_t at = s.find(NameValueSeparator);
    if (at != std::string::npos && CompareStrings(std::string_view(s).substr(0, at), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Value(std::string_view name) const {
  int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStrings::SetValue(std::string_view name, std::string_view value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string item = std::string(name) + NameValueSeparator + std::string(value);
  if (index >= 0)
    Put(index, item);
  else
    Add(item);
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::LoadFromStream(TStream& stream) { SetText(stream.ReadRemaining()); }

void TStrings::SaveToStream(TStream& stream) const { stream.WriteString(Text()); }

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

// ---------------------------------------------------------------------------
// TStringList

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  TStringList::Clear();
}

void TStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) throw EStringListError(Format("List index out of bounds (%d)", index));
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(*this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0) {
    if (OnChange) OnChange(*this);
  } else {
    batchChanged_ = true;
  }
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) {
    batchChanged_ = false;
  } else if (batchChanged_) {
    batchChanged_ = false;
    if (OnChanging) OnChanging(*this);
    if (OnChange) OnChange(*this);
  }
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  if (!caseSensitive_) return CompareText(a, b);
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::string TStringList::Get(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].Text;
}

void TStringList::Put(int index, const std::string& s) {
  CheckIndex(index, Count());
  if (sorted_) {
    // Replacing in a sorted list moves the item to its new place, object and all, so
    // name=value updates work on sorted lists too.
    TItem item = items_[static_cast<size_t>(index)];
    Changing();
    items_.erase(items_.begin() + index);
    item.Text = s;
    int at;
    Find(s, at);
    items_.insert(items_.begin() + at, std::move(item));
    Changed();
    return;
  }
  Changing();
  items_[static_cast<size_t>(index)].Text = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].Object;
}

void TStringList::PutObject(int index, TObject* obj) {
  CheckIndex(index, Count());
  Changing();
  TObject*& slot = items_[static_cast<size_t>(index)].Object;
  if (OwnsObjects && slot != obj) delete slot;
  slot = obj;
  Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* obj) {
  Changing();
  items_.insert(items_.begin() + index, TItem{s, obj});
  Changed();
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, TObject* obj) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index, Count() + 1);
  InsertItem(index, s, obj);
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, TObject* obj) {
  int index = Count();
  if (sorted_) {
    if (Find(s, index)) {
      if (Duplicates == TDuplicates::dupIgnore) {
        // The list keeps its item; an object handed in stays the caller's.
        return index;
      }
      if (Duplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
      // dupAccept: after the last equal item keeps insertion order among equals.
      while (index < Count() && CompareStrings(items_[static_cast<size_t>(index)].Text, s) == 0) ++index;
    }
  }
  InsertItem(index, s, obj);
  return index;
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count());
  Changing();
  TObject* obj = items_[static_cast<size_t>(index)].Object;
  items_.erase(items_.begin() + index);
  if (OwnsObjects) delete obj;
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  std::vector<TItem> old;
  old.swap(items_);
  if (OwnsObjects)
    for (TItem& item : old) delete item.Object;
  Changed();
}

int TStringList::IndexOf(std::string_view s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(std::string_view s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].Text, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;  // keep going left: the first of equal items
    }
  }
  index = lo;
  return found;
}

void TStringList::ExchangeItems(int index1, int index2) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const TItem& a, const TItem& b) { return CompareStrings(a.Text, b.Text) < 0; });
  Changed();
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  // Sort an index permutation so the callback sees the list as it was.
  std::vector<int> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<TItem> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  Changing();
  items_.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive == caseSensitive_) return;
  caseSensitive_ = caseSensitive;
  if (sorted_) Sort();
}

// ---------------------------------------------------------------------------
// Class registry

namespace {

struct TRegisteredClass {
  std::string UpperName;
  TClass Class;
};
// Created by the Classes unit start, freed by its stop (never a static object).
std::vector<TRegisteredClass>* classRegistry = nullptr;

std::vector<TRegisteredClass>& Registry() {
  if (!classRegistry) throw EInvalidOperation("The class registry is not available (Classes unit not started)");
  return *classRegistry;
}

std::vector<TRegisteredClass>::iterator FindEntry(std::vector<TRegisteredClass>& list, const std::string& upper) {
  return std::lower_bound(list.begin(), list.end(), upper,
                          [](const TRegisteredClass& e, const std::string& key) { return e.UpperName < key; });
}

}  // namespace

void ClassesUnitInit() {
  if (!classRegistry) classRegistry = new std::vector<TRegisteredClass>();
}

void ClassesUnitFini() {
  delete classRegistry;
  classRegistry = nullptr;
  // Every unit above has stopped: nothing holds a property of a built table.
  ReleasePublishedTables();
}

void RegisterClass(TClass cls) {
  if (!cls) throw EInvalidOperation("Cannot register a null class");
  auto& list = Registry();
  std::string upper = UpperCase(cls->Name);
  auto it = FindEntry(list, upper);
  if (it != list.end() && it->UpperName == upper) {
    if (it->Class != cls) throw EInvalidOperation(Format("A class named %s is already registered", cls->Name));
    return;
  }
  list.insert(it, TRegisteredClass{upper, cls});
}

void UnRegisterClass(TClass cls) {
  if (!cls || !classRegistry) return;
  auto& list = *classRegistry;
  auto it = FindEntry(list, UpperCase(cls->Name));
  if (it != list.end() && it->Class == cls) list.erase(it);
}

TClass GetClass(std::string_view name) {
  if (!classRegistry) return nullptr;
  std::string upper = UpperCase(name);
  auto it = FindEntry(*classRegistry, upper);
  return it != classRegistry->end() && it->UpperName == upper ? it->Class : nullptr;
}

TClass FindClass(std::string_view name) {
  TClass cls = GetClass(name);
  if (!cls) throw EClassNotFound(Format("Class %s not found", name));
  return cls;
}

TObject* CreateObjectOfClass(std::string_view name) {
  TClass cls = FindClass(name);
  if (!cls->Factory) throw EInvalidOperation(Format("Class %s cannot be created by name", name));
  return cls->Factory();
}
