#pragma once
// The logger's run-time lists: the call stack of a report, the loaded modules, the
// running processes, the threads of the process and the exported routines of a
// module. Each owns its records. The modules, processes and routines lists carry a
// critical section, the threads list a multiple-reader lock (none in a copy); the
// call-stack list has none (one thread builds and reads it).
//
// Records taken out of a locked list are freed after its lock is released, so a
// record's own clean-up never runs under the list's lock.
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SyncObjs.h"
#include "exclog/debuginfo/EDebug.h"
#include "exclog/core/EOptions.h"

namespace exclog {

class TQuelbaFunctionsList;

// A loaded module's record. Reference-counted: the modules list holds one
// reference and every location record that names the module holds another, so a
// record deleted from the list lives on until the last stack entry lets it go.
struct TQuelbaModuleInfo {
  TQuelbaModuleInfo();
  ~TQuelbaModuleInfo();
  TQuelbaModuleInfo(const TQuelbaModuleInfo&) = delete;
  TQuelbaModuleInfo& operator=(const TQuelbaModuleInfo&) = delete;

  uintptr_t Handle = 0;
  std::string FileName;
  std::string Description;
  std::string Version;            // "1.2.3.4", "" when 0.0.0.0 or absent
  uint32_t FileSize = 0;
  std::unique_ptr<TQuelbaFunctionsList> Routines;  // exported routines
  uint8_t ModuleKind = 0;         // 0 unknown, 1 executable, 2 package library, 3 library
  uint16_t DataVersion = 6104;
  std::array<uint8_t, 8> DataHeader{};
  std::unique_ptr<TQuelbaModuleOptionsEx> Options;
  std::unique_ptr<TQLDebugData> DebugData;  // the module's own debug block, or null
  void* DebugSource = nullptr;    // outside debug reader, freed through ModuleListSeams
  double LastModified = 0;        // local date-time of the file's last write
  std::string NameKey;
  uint8_t NamesEncrypted = 1;

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Frees the record when the last reference goes.
  void Release();

 private:
  std::atomic<int> refs_{1};
};

// One counted reference to a module record (null allowed).
class TModuleRef {
 public:
  TModuleRef() = default;
  // Takes a new reference to `module`.
  explicit TModuleRef(TQuelbaModuleInfo* module) : module_(module) {
    if (module_) module_->AddRef();
  }
  TModuleRef(const TModuleRef& other) : TModuleRef(other.module_) {}
  TModuleRef& operator=(const TModuleRef& other) {
    TModuleRef copy(other);
    std::swap(module_, copy.module_);
    return *this;
  }
  ~TModuleRef() {
    if (module_) module_->Release();
  }
  TQuelbaModuleInfo* Get() const { return module_; }
  TQuelbaModuleInfo* operator->() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }

 private:
  TQuelbaModuleInfo* module_ = nullptr;
};

// Services of other units: the outside debug reader's destructor.
struct TModuleListSeams {
  void (*FreeDebugSource)(void* source) = nullptr;
};
TModuleListSeams& ModuleListSeams();

constexpr int32_t ThreadPriorityUnknown = INT32_MIN;

// One entry of a call stack.
struct TQuelbaLocation {
  uint8_t Kind = 0;  // 0 nothing, 1 module, 2 routine, 3 unit, 4 line known
  TModuleRef Module;
  uint32_t FrameValue = 0;
  uint8_t ThreadKind = 0;
  uint8_t IsFirst = 0;
  // The thread's priority, read while the walk held it stopped.
  int32_t ThreadPriority = ThreadPriorityUnknown;
  uint8_t Leak = 0;  // non-zero: a leaked block's allocation stack, not a thread's
  uint32_t Address = 0;
  std::string UnitName, ClassName, RoutineName;  // each at most 255 characters
  uint32_t Line = 0;
  uint32_t LineOffset = 0;
  std::string Extra;
  // A leak entry's group: type name (at most 64 characters), bytes and blocks.
  std::string LeakType;
  uint32_t LeakSize = 0;
  uint32_t LeakCount = 0;
};

struct TQuelbaProcessInfo {
  uint32_t ProcessId = 0;
  std::string FileName, Description, Version;
  uint32_t PriorityClass = 0;
  uint32_t Memory = 0;
  uint32_t Threads = 0;
};

struct TQuelbaFunctionInfo {
  std::string Name;
  uintptr_t Address = 0;
  uint32_t Length = 0;  // 1: inside the code section, 0: to be measured
};

struct TQuelbaThreadInfo {
  uint32_t ThreadId = 0;
  uint32_t ThreadHandle = 0;
  uint32_t Value2 = 0;
  uint32_t Value3 = 0x80000000u;  // not yet set
  uint32_t Value4 = 0;
  uint32_t Value5 = 0, Value6 = 0, Value7 = 0, Value8 = 0, Value9 = 0, Value10 = 0;
  void* Attached = nullptr;               // owned unless Borrowed or in a copy
  void (*FreeAttached)(void*) = nullptr;  // how to free Attached; null: nothing to free
  uint8_t Borrowed = 0;
  int32_t Priority = ThreadPriorityUnknown;  // refreshed by the dialogs when they show it
};

// The call stack of one report: no lock.
class TQuelbaStackList : public TList {
  VELMORA_CLASS(TQuelbaStackList, TList)
 public:
  ~TQuelbaStackList() override { Clear(); }
  TQuelbaLocation* Get(int index) const { return static_cast<TQuelbaLocation*>(TList::Get(index)); }
  // Takes ownership.
  int Add(TQuelbaLocation* location) { return TList::Add(location); }
  void Delete(int index);
  void Clear() override;
};

// Shared shape of the three lists with a critical section. T is the record type;
// the list owns records given to Add.
template <class T>
class TQuelbaLockedList : public TList {
 public:
  ~TQuelbaLockedList() override { Clear(); }
  void Lock() { lock_.Enter(); }
  void Unlock() { lock_.Leave(); }
  TCriticalSection& Section() { return lock_; }
  // Under the lock for the read only: hold Lock while using the record when
  // another thread may delete it.
  T* Get(int index) {
    TCriticalSectionLock hold(lock_);
    return static_cast<T*>(TList::Get(index));
  }
  int Add(T* record) {
    TCriticalSectionLock hold(lock_);
    return TList::Add(record);
  }
  // Takes the record out under the lock and frees it after.
  void Delete(int index) {
    T* record;
    {
      TCriticalSectionLock hold(lock_);
      record = static_cast<T*>(TList::Get(index));
      TList::Delete(index);
    }
    FreeRecord(record);
  }
  // Takes every record out under the lock and frees them after.
  void Clear() override {
    std::vector<void*> taken;
    {
      TCriticalSectionLock hold(lock_);
      taken = List();
      while (Count() > 0) TList::Delete(Count() - 1);
    }
    for (void* record : taken) FreeRecord(static_cast<T*>(record));
  }

 protected:
  virtual void FreeRecord(T* record) { delete record; }

 private:
  TCriticalSection lock_;
};

class TQuelbaModulesList : public TQuelbaLockedList<TQuelbaModuleInfo> {
 public:
  ~TQuelbaModulesList() override { Clear(); }
  // Index of the record of `handle`, -1 when none (take Lock around it and the use).
  int IndexOfHandle(uintptr_t handle);

 protected:
  void FreeRecord(TQuelbaModuleInfo* record) override {
    if (record) record->Release();
  }
};

class TQuelbaProcessesList : public TQuelbaLockedList<TQuelbaProcessInfo> {
 public:
  ~TQuelbaProcessesList() override { Clear(); }
};

class TQuelbaFunctionsList : public TQuelbaLockedList<TQuelbaFunctionInfo> {
 public:
  ~TQuelbaFunctionsList() override { Clear(); }
};

// Thread records under a multiple-reader lock; a copy has no lock and owns no
// attached blocks.
class TQuelbaThreadsList : public TList {
  VELMORA_CLASS(TQuelbaThreadsList, TList)
 public:
  TQuelbaThreadsList();
  // A copy of `source`'s records, taken under its read lock.
  explicit TQuelbaThreadsList(TQuelbaThreadsList& source);
  ~TQuelbaThreadsList() override;

  bool IsCopy() const { return !lock_; }
  void LockRead() { if (lock_) lock_->BeginRead(); }
  void UnlockRead() { if (lock_) lock_->EndRead(); }
  void LockWrite() { if (lock_) lock_->BeginWrite(); }
  void UnlockWrite() { if (lock_) lock_->EndWrite(); }

  TQuelbaThreadInfo* Get(int index);
  int IndexOfThreadId(uint32_t id);
  int IndexOfHandle(uint32_t handle);
  int IndexOfValue4(uint32_t value);
  // A zeroed record with Value3 0x80000000, appended under the write lock when
  // `add`; else the caller owns it.
  TQuelbaThreadInfo* AddNew(bool add);
  void Delete(int index);
  // Deletes the record of `currentThreadId` (the calling thread's id).
  void DeleteCurrentThread(uint32_t currentThreadId);
  // Deletes the records of threads that ended: `stillRunning(handle)` is asked
  // outside the lock.
  void RemoveEnded(bool (*stillRunning)(uint32_t handle));
  void Clear() override;

 private:
  int IndexWhere(uint32_t TQuelbaThreadInfo::*field, uint32_t value);
  void FreeRecord(TQuelbaThreadInfo* record) const;
  std::unique_ptr<TMultiReadExclusiveWriteSynchronizer> lock_;
};

}  // namespace exclog
