#pragma once
// Lists, string lists, the class registry and (through Streams.h) streams.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Streams.h"
#include "classlib/SysUtils.h"

// ---------------------------------------------------------------------------
// TList: a list of untyped pointers. It owns nothing; subclasses that own their items
// free them in Notify (on Deleted) or in their own Clear.
//
// Index errors raise EListError ("List index out of bounds (<index>)").

enum class TListNotification { Added, Extracted, Deleted };

class TList : public TObject {
  VELMORA_CLASS(TList, TObject)
 public:
  TList() = default;
  // Calls TList::Clear: a subclass whose Clear or Notify frees items calls its own
  // Clear in its destructor (virtual calls do not reach it from here).
  ~TList() override;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  void* Get(int index) const;
  void Put(int index, void* item);  // replaces; Notify(old, Deleted), Notify(new, Added)
  void* operator[](int index) const { return Get(index); }
  int Add(void* item);              // index of the new item
  void Insert(int index, void* item);  // 0..Count
  // Removes the item at `index`: takes it out first, then Notify(item, Deleted).
  void Delete(int index);
  // Removes the first equal item (Notify Deleted); its former index or -1.
  int Remove(void* item);
  // Takes the first equal item out with Notify(item, Extracted); returns it or null.
  void* Extract(void* item);
  int IndexOf(const void* item) const;
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  // Removes every item, from the last to the first, each with Notify(item, Deleted).
  virtual void Clear();
  void Pack();  // drops null items (no notification)
  // Stable sort by `compare` (<0, 0, >0).
  void Sort(const std::function<int(void*, void*)>& compare);
  int Capacity() const { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int capacity);
  // Direct read access to the items.
  const std::vector<void*>& List() const { return items_; }

 protected:
  // Called after an item was added and after it was taken out (Extracted or Deleted).
  virtual void Notify(void* item, TListNotification action) {}

 private:
  void CheckIndex(int index, int limit) const;
  std::vector<void*> items_;
};

// A list of objects that, while OwnsObjects is set (the default), frees each object
// it deletes (Delete, Remove, Clear, destruction); Extract hands one back unfreed.
class TObjectList : public TList {
  VELMORA_CLASS(TObjectList, TList)
 public:
  explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
  ~TObjectList() override { Clear(); }
  int Add(TObject* obj) { return TList::Add(obj); }
  void Insert(int index, TObject* obj) { TList::Insert(index, obj); }
  TObject* Get(int index) const { return static_cast<TObject*>(TList::Get(index)); }
  TObject* operator[](int index) const { return Get(index); }
  int Remove(TObject* obj) { return TList::Remove(obj); }
  TObject* Extract(TObject* obj) { return static_cast<TObject*>(TList::Extract(obj)); }
  int IndexOf(const TObject* obj) const { return TList::IndexOf(obj); }
  bool OwnsObjects;

 protected:
  void Notify(void* item, TListNotification action) override {
    if (OwnsObjects && action == TListNotification::Deleted) delete static_cast<TObject*>(item);
  }
};

// ---------------------------------------------------------------------------
// TStrings: an abstract list of strings, each with an attached object pointer.
// Text and name=value services are built on the abstract accessors.

class TStrings : public TObject {
  VELMORA_CLASS(TStrings, TObject)
 public:
  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;  // EStringListError / EListError out of range
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const { return nullptr; }
  virtual void PutObject(int index, TObject* obj) {}
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, TObject* obj);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& s);  // index of the new item
  virtual int AddObject(const std::string& s, TObject* obj);
  virtual int IndexOf(std::string_view s) const;  // -1 when absent
  void Append(const std::string& s) { Add(s); }
  void AddStrings(const TStrings& other);
  virtual void Assign(const TStrings& other);  // copies strings, objects and separators
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  int IndexOfObject(const TObject* obj) const;
  std::string operator[](int index) const { return Get(index); }

  // Each item followed by CR LF. Setting splits on CR LF, LF or a lone CR; a final
  // line end adds no empty item.
  std::string Text() const;
  void SetText(std::string_view text);

  // Delimited text. Getting: items joined by Delimiter; an item is quoted (QuoteChar,
  // inner quotes doubled) when it contains the delimiter, the quote char or, unless
  // StrictDelimiter, a char <= 32. Setting: items split at Delimiter (and, unless
  // StrictDelimiter, at chars <= 32 outside quotes, which are skipped); a quoted part
  // may hold anything, a doubled quote stands for one; an unterminated quote runs to
  // the end.
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view text);
  std::string CommaText() const;  // DelimitedText with ',', '"', not strict
  void SetCommaText(std::string_view text);
  char Delimiter = ',';
  char QuoteChar = '"';
  bool StrictDelimiter = false;
  char NameValueSeparator = '=';

  // name=value access. Names compare as the list compares (case-insensitive unless a
  // TStringList says otherwise). Name(i): the part before the first separator ("" when
  // none); ValueFromIndex(i): the part after it. Value(name): "" when absent.
  // SetValue(name, v) replaces, adds "name=v", or with an empty v deletes the item.
  std::string Name(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Value(std::string_view name) const;
  void SetValue(std::string_view name, std::string_view value);
  int IndexOfName(std::string_view name) const;

  // Batching: changes between BeginUpdate and the matching EndUpdate announce one
  // change at the end.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  void LoadFromStream(TStream& stream);  // whole stream from its position, as Text
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 protected:
  virtual int CompareStrings(std::string_view a, std::string_view b) const { return CompareText(a, b); }
  virtual void SetUpdateState(bool updating) {}

 private:
  std::string JoinDelimited(char delimiter, char quoteChar, bool strict) const;
  void SplitDelimited(std::string_view text, char delimiter, char quoteChar, bool strict);
  int updateCount_ = 0;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// The string list. Case-insensitive (ASCII) by default. In sorted mode Add inserts in
// order (binary search), Duplicates decides about equal strings (dupError raises
// EStringListError "String list does not allow duplicates"), Insert/ExchangeItems/
// CustomSort raise EStringListError "Operation not allowed on sorted list", and Put
// moves the replaced item to its sorted place.
// Attached objects are not owned unless OwnsObjects is set.
class TStringList : public TStrings {
  VELMORA_CLASS(TStringList, TStrings)
 public:
  TStringList() = default;
  ~TStringList() override;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, TObject* obj) override;
  int IndexOf(std::string_view s) const override;
  void ExchangeItems(int index1, int index2);

  // Binary search of a sorted list: true when found; `index` is the match (the first
  // of equal ones) or the insertion point.
  bool Find(std::string_view s, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);  // re-sorts a sorted list
  TDuplicates Duplicates = TDuplicates::dupIgnore;
  bool OwnsObjects = false;

  // Called before and after each change (outside BeginUpdate/EndUpdate batches; a
  // batch that changed anything calls them once at its end).
  std::function<void(TStringList&)> OnChanging;
  std::function<void(TStringList&)> OnChange;

 protected:
  int CompareStrings(std::string_view a, std::string_view b) const override;
  void SetUpdateState(bool updating) override;

 private:
  struct TItem {
    std::string Text;
    TObject* Object = nullptr;
  };
  void CheckIndex(int index, int limit) const;
  void Changing();
  void Changed();
  void InsertItem(int index, const std::string& s, TObject* obj);
  std::vector<TItem> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  bool batchChanged_ = false;
};

// ---------------------------------------------------------------------------
// Class registry: class name -> class record, for layouts. It exists while the
// "Classes" unit runs (InitUnits .. FinalizeUnits); registering outside that time
// raises EInvalidOperation. Names compare case-insensitively.

// Registers `cls` under its name; registering the same class again does nothing, a
// different class of the same name raises EInvalidOperation.
void RegisterClass(TClass cls);
void UnRegisterClass(TClass cls);
// The class of that name, or null.
TClass GetClass(std::string_view name);
// As GetClass; raises EClassNotFound ("Class <name> not found") when missing.
TClass FindClass(std::string_view name);
// A new instance of the named class through its factory; EClassNotFound when the name
// is unknown, EInvalidOperation when the class has no factory. The caller owns it.
TObject* CreateObjectOfClass(std::string_view name);
