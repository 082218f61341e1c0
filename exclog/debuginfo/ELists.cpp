#include "exclog/debuginfo/ELists.h"

#include <algorithm>

namespace exclog {

TModuleListSeams& ModuleListSeams() {
  static TModuleListSeams seams;
  return seams;
}

TQuelbaModuleInfo::TQuelbaModuleInfo() : Routines(std::make_unique<TQuelbaFunctionsList>()) {}

TQuelbaModuleInfo::~TQuelbaModuleInfo() {
  // Each owned part is cleared before it is freed, so nothing reaches a half-freed record.
  Routines.reset();
  Options.reset();
  void* source = DebugSource;
  DebugSource = nullptr;
  if (source && ModuleListSeams().FreeDebugSource) ModuleListSeams().FreeDebugSource(source);
  DebugData.reset();
}

void TQuelbaModuleInfo::Release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void TQuelbaStackList::Delete(int index) {
  delete Get(index);
  TList::Delete(index);
}

void TQuelbaStackList::Clear() {
  for (void* item : List()) delete static_cast<TQuelbaLocation*>(item);
  TList::Clear();
}

int TQuelbaModulesList::IndexOfHandle(uintptr_t handle) {
  TCriticalSectionLock hold(Section());
  for (int i = 0; i < Count(); ++i)
    if (static_cast<TQuelbaModuleInfo*>(TList::Get(i))->Handle == handle) return i;
  return -1;
}

TQuelbaThreadsList::TQuelbaThreadsList() : lock_(std::make_unique<TMultiReadExclusiveWriteSynchronizer>()) {}

TQuelbaThreadsList::TQuelbaThreadsList(TQuelbaThreadsList& source) {
  source.LockRead();
  try {
    for (void* item : source.List()) Add(new TQuelbaThreadInfo(*static_cast<TQuelbaThreadInfo*>(item)));
  } catch (...) {
    source.UnlockRead();
    throw;
  }
  source.UnlockRead();
}

TQuelbaThreadsList::~TQuelbaThreadsList() { Clear(); }

void TQuelbaThreadsList::FreeRecord(TQuelbaThreadInfo* record) const {
  if (!record) return;
  if (!IsCopy() && !record->Borrowed && record->Attached && record->FreeAttached)
    record->FreeAttached(record->Attached);
  delete record;
}

TQuelbaThreadInfo* TQuelbaThreadsList::Get(int index) {
  LockRead();
  TQuelbaThreadInfo* record = nullptr;
  try {
    record = static_cast<TQuelbaThreadInfo*>(TList::Get(index));
  } catch (...) {
    UnlockRead();
    throw;
  }
  UnlockRead();
  return record;
}

int TQuelbaThreadsList::IndexWhere(uint32_t TQuelbaThreadInfo::*field, uint32_t value) {
  LockRead();
  int found = -1;
  for (int i = Count() - 1; i >= 0; --i)
    if (static_cast<TQuelbaThreadInfo*>(List()[size_t(i)])->*field == value) {
      found = i;
      break;
    }
  UnlockRead();
  return found;
}

int TQuelbaThreadsList::IndexOfThreadId(uint32_t id) { return IndexWhere(&TQuelbaThreadInfo::ThreadId, id); }
int TQuelbaThreadsList::IndexOfHandle(uint32_t handle) {
  return IndexWhere(&TQuelbaThreadInfo::ThreadHandle, handle);
}
int TQuelbaThreadsList::IndexOfValue4(uint32_t value) { return IndexWhere(&TQuelbaThreadInfo::Value4, value); }

TQuelbaThreadInfo* TQuelbaThreadsList::AddNew(bool add) {
  auto record = std::make_unique<TQuelbaThreadInfo>();
  if (add) {
    LockWrite();
    try {
      TList::Add(record.get());
    } catch (...) {
      UnlockWrite();
      throw;
    }
    UnlockWrite();
  }
  return record.release();
}

void TQuelbaThreadsList::Delete(int index) {
  TQuelbaThreadInfo* record = nullptr;
  LockWrite();
  try {
    record = static_cast<TQuelbaThreadInfo*>(TList::Get(index));
    TList::Delete(index);
  } catch (...) {
    UnlockWrite();
    throw;
  }
  UnlockWrite();
  FreeRecord(record);
}

void TQuelbaThreadsList::DeleteCurrentThread(uint32_t currentThreadId) {
  TQuelbaThreadInfo* record = nullptr;
  LockWrite();
  for (int i = Count() - 1; i >= 0; --i)
    if (static_cast<TQuelbaThreadInfo*>(List()[size_t(i)])->ThreadId == currentThreadId) {
      record = static_cast<TQuelbaThreadInfo*>(List()[size_t(i)]);
      TList::Delete(i);
      break;
    }
  UnlockWrite();
  FreeRecord(record);
}

void TQuelbaThreadsList::RemoveEnded(bool (*stillRunning)(uint32_t handle)) {
  std::vector<uint32_t> handles;
  LockRead();
  for (void* item : List()) handles.push_back(static_cast<TQuelbaThreadInfo*>(item)->ThreadHandle);
  UnlockRead();
  std::vector<uint32_t> ended;
  for (uint32_t h : handles)
    if (!stillRunning || !stillRunning(h)) ended.push_back(h);
  if (ended.empty()) return;
  std::vector<TQuelbaThreadInfo*> removed;
  LockWrite();
  for (int i = Count() - 1; i >= 0; --i) {
    auto* record = static_cast<TQuelbaThreadInfo*>(List()[size_t(i)]);
    if (std::find(ended.begin(), ended.end(), record->ThreadHandle) != ended.end()) {
      removed.push_back(record);
      TList::Delete(i);
    }
  }
  UnlockWrite();
  for (auto* record : removed) FreeRecord(record);
}

void TQuelbaThreadsList::Clear() {
  std::vector<void*> taken;
  LockWrite();
  taken = List();
  while (Count() > 0) TList::Delete(Count() - 1);
  UnlockWrite();
  for (void* record : taken) FreeRecord(static_cast<TQuelbaThreadInfo*>(record));
}

}  // namespace exclog
