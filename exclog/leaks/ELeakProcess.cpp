#include "exclog/leaks/ELeakProcess.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace exclog {

namespace {

struct TRecord {
  TLeakHeader Copy;     // the block's header as listed; its stacks get cleaned here
  TClass Class;         // null for data and for objects whose class record is invalid
  uint64_t Size;
  uint32_t Count;
  uintptr_t Walk[2];    // the first call sites of the frame walk
  bool Hidden;
};

struct TPass {
  const TLeakProcessing& p;
  std::vector<TRecord> records;
  bool locked = false;
  TLeakOutcome out;
};

TClass ClassOfBlock(TLeakHeader* h, TReadableCheck check) {
  if (h->Kind != kBlockObject) return nullptr;
  return ClassOfObject(UserData(h), check);
}

bool Visible(const TLeakHeader* h) { return h->State == kBlockLive; }

bool NameIs(TClass cls, const char* name) { return cls && std::strcmp(cls->Name, name) == 0; }

// Hides the first visible object of the class `name`; false when there is none.
bool HideObject(TPass& pass, const char* name) {
  for (TLeakHeader* h = LeakListHead(); h; h = h->Next)
    if (Visible(h) && NameIs(ClassOfBlock(h, pass.p.Check), name)) {
      h->State = kBlockHidden;
      return true;
    }
  return false;
}

void HideData(int count, uint32_t size) {
  for (TLeakHeader* h = LeakListHead(); h && count > 0; h = h->Next)
    if (Visible(h) && h->Kind == kBlockData && h->Size == size) {
      h->State = kBlockHidden;
      --count;
    }
}

void Lock(void* context) {
  LeakLock();
  static_cast<TPass*>(context)->locked = true;
}

// Blocks the class library and its helpers leave on purpose. The three data
// blocks that go with a form are hidden only when purging is asked for: in this
// program they are real leaks.
void PurgeInvalid(void* context) {
  auto& pass = *static_cast<TPass*>(context);
  for (const char* name : {"THelpManager", "TObjectList", "TObjectList", "TObjectList", "TWinHelpViewer",
                           "THelpManager"})
    HideObject(pass, name);
  HideData(3, 16);
  if (!HideObject(pass, "TIdCriticalSection")) HideObject(pass, "TCriticalSection");
  HideObject(pass, "TIdThreadSafeInteger");
  while (HideObject(pass, "TIntConst")) {
  }
  for (TLeakHeader* h = LeakListHead(); h; h = h->Next)
    if (Visible(h) && h->Kind == kBlockObject && SafeInheritsFromName(UserData(h), "TForm", pass.p.Check)) {
      HideData(1, 60);
      HideData(2, 32);
      break;
    }
}

// Copies the first visible blocks (room was made before the lock) and lets the
// list go: the rest of the pass works on the copies.
void CopyVisible(void* context) {
  auto& pass = *static_cast<TPass*>(context);
  for (TLeakHeader* h = LeakListHead(); h && int(pass.records.size()) < kLeakReportLimit; h = h->Next) {
    if (!Visible(h)) continue;
    pass.records.emplace_back();
    TRecord& r = pass.records.back();
    std::memcpy(&r.Copy, h, sizeof r.Copy);
    EndWalkedStack(r.Copy);
    r.Class = ClassOfBlock(h, pass.p.Check);
    r.Size = h->Size;
    r.Count = 1;
    r.Hidden = false;
  }
}

void Unlock(void* context) {
  LeakUnlock();
  static_cast<TPass*>(context)->locked = false;
}

void PurgeCallStacks(void* context) {
  auto& pass = *static_cast<TPass*>(context);
  for (TRecord& r : pass.records) {
    uintptr_t walk[kLeakStackDepth];
    std::memcpy(walk, r.Copy.Stack, sizeof walk);
    KeepCallSites(walk, *pass.p.Memory);
    r.Walk[0] = walk[0];
    r.Walk[1] = walk[1];
    CleanBlockStacks(r.Copy, pass.p.Trim, *pass.p.Memory);
  }
}

void CountAll(void* context) {
  auto& records = static_cast<TPass*>(context)->records;
  for (size_t i = 0; i < records.size(); ++i) {
    TRecord& a = records[i];
    if (a.Hidden) continue;
    for (size_t j = i + 1; j < records.size(); ++j) {
      TRecord& b = records[j];
      bool same = !b.Hidden && (a.Class != nullptr) == (b.Class != nullptr) &&
                  (a.Class ? a.Class == b.Class : a.Copy.Size == b.Copy.Size) && a.Copy.Stack[0] == b.Copy.Stack[0];
      if (!same) continue;
      b.Hidden = true;
      a.Size += b.Size;
      a.Count += b.Count;
    }
  }
}

// `b` was allocated from where `a` was: `a`'s allocating line and the one above
// it appear together in `b`'s stack, or their frame walks begin alike.
bool SonOf(const TRecord& a, const TRecord& b) {
  if (a.Copy.Stack[0])
    for (int k = 0; k < kLeakStackDepth - 1; ++k)
      if (b.Copy.Stack[k] == a.Copy.Stack[0] && b.Copy.Stack[k + 1] == a.Copy.Stack[1]) return true;
  return a.Walk[0] && b.Walk[0] == a.Walk[0] && b.Walk[1] == a.Walk[1];
}

void RemoveSons(void* context) {
  auto& records = static_cast<TPass*>(context)->records;
  std::vector<size_t> family;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].Hidden || !records[i].Class) continue;
    family.assign(1, i);
    for (size_t f = 0; f < family.size(); ++f)
      for (size_t j = i + 1; j < records.size(); ++j) {
        if (records[j].Hidden || !SonOf(records[family[f]], records[j])) continue;
        records[j].Hidden = true;
        records[i].Size += records[j].Size;
        family.push_back(j);
      }
  }
}

void HandleAny(void* context) {
  auto& pass = *static_cast<TPass*>(context);
  const TLeakProcessing& p = pass.p;
  TLeakEntry entry;
  for (const TRecord& r : pass.records) {
    if (r.Hidden || !r.Copy.Stack[0]) continue;
    if (pass.out.Reported++ == 0 && p.Begin) p.Begin();
    std::snprintf(entry.TypeName, sizeof entry.TypeName, "%s", r.Class ? r.Class->Name : "Data");
    entry.Size = r.Size;
    entry.Count = r.Count;
    std::memcpy(entry.Stack, r.Copy.Stack, sizeof entry.Stack);
    if (p.Leak) p.Leak(entry);
  }
  if (pass.out.Reported && p.End) p.End();
}

// Hands every listed block back; their addresses stay known so that a later
// free of one (a static destructor) is dropped.
void FreeAll(void* context) {
  Lock(context);
  while (TLeakHeader* h = LeakListHead()) LeakRelease(h);
  Unlock(context);
}

void CreatePagesCache(void* context) {
  auto& pass = *static_cast<TPass*>(context);
  if (pass.p.PagesCache && !pass.p.PagesCache(true)) throw std::bad_alloc();
}

void FreePagesCache(void* context) {
  auto& pass = *static_cast<TPass*>(context);
  if (pass.p.PagesCache) pass.p.PagesCache(false);
}

bool TryStep(void (*step)(void*), void* context) {
  try {
    step(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

void LeakStepFailureText(const char* step, char* out, int size) {
  std::snprintf(out, size_t(size), "Error in ELeaks \"%s\" section.", step);
}

TLeakOutcome ProcessLeaks(const TLeakProcessing& p) {
  TPass pass{p, {}, false, {}};
  auto run = [&](const char* name, void (*step)(void*)) {
    if (pass.out.FailedStep) return false;
    bool done = p.Guarded ? p.Guarded(step, &pass) : TryStep(step, &pass);
    if (done) return true;
    if (pass.locked) Unlock(&pass);
    pass.out.FailedStep = name;
    char text[160];
    LeakStepFailureText(name, text, sizeof text);
    if (p.Message) p.Message(text);
    return false;
  };
  if (!LeakListHead()) return pass.out;
  pass.records.reserve(kLeakReportLimit);
  if (!run("Initialize the Memory Pages Cache", CreatePagesCache)) return pass.out;
  // The cache answers only while the list is read: freed whatever happens there.
  struct TCacheRelease {
    TPass& pass;
    bool done = false;
    void Release() {
      if (!done) FreePagesCache(&pass);
      done = true;
    }
    ~TCacheRelease() { Release(); }
  } cache{pass};
  if (!run("Lock AllocatedList_Lock", Lock)) return pass.out;
  TLeakHeader* head = LeakListHead();
  TReadableCheck readable = p.Check ? p.Check : GetReadableCheck();
  if (!head || !readable(head, BlockOverHead)) {
    Unlock(&pass);
    pass.out.ListUnreadable = head != nullptr;
    if (head && p.ShowForeignManager && p.Message)
      p.Message(
          "The application contains some memory leaks but it's impossible to show them because another "
          "Memory Manager has already freed them.\r\nTry to replace the Memory Manager used with the latest "
          "one (https://velmora.example/memory-manager).");
    return pass.out;
  }
  if (p.Options & kLeakPurgeInvalid) run("PurgeInvalidLeaks", PurgeInvalid);
  run("RemoveExtraLeaks", CopyVisible);
  run("Unlock AllocatedList_Lock", Unlock);
  run("PurgeCallStacks", PurgeCallStacks);
  run("CountAllLeaks", CountAll);
  if (p.Options & kLeakRemoveSons) run("RemoveLeaksSons", RemoveSons);
  if (!pass.out.FailedStep) cache.Release();
  run("HandleAnyLeak", HandleAny);
  if (p.Options & kLeakFreeAll) run("FreeAllLeaks", FreeAll);
  return pass.out;
}

}  // namespace exclog
