#include "exclog/debuginfo/EStackWalk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace exclog {

namespace {

uint32_t LoadU32(const uint8_t* b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

bool InRanges(const std::vector<std::pair<uint32_t, uint32_t>>& ranges, uint32_t address) {
  for (const auto& [start, end] : ranges)
    if (address >= start && address < end) return true;
  return false;
}

// Remembers the readable ranges and unreadable pages a walk has met, so that the
// many candidate values pointing into the same few regions cost one query each.
// A region that vanishes later still fails the copy itself.
class TCachedView : public TMemoryView {
 public:
  explicit TCachedView(const TMemoryView& inner) : inner_(inner) {}

  size_t ReadableBytes(uintptr_t address, size_t size) const override {
    for (const auto& r : readable_)
      if (r.second > r.first && address >= r.first && address < r.second) {
        size_t have = r.second - address;
        if (have >= size) return have;
      }
    uintptr_t page = address >> 12;
    for (uintptr_t p : unreadable_)
      if (p == page + 1) return 0;
    size_t have = inner_.ReadableBytes(address, size);
    if (have == 0) {
      unreadable_[nextUnreadable_++ % unreadable_.size()] = page + 1;
    } else {
      uintptr_t end = address + have;
      if (end < address) end = UINTPTR_MAX;
      readable_[nextReadable_++ % readable_.size()] = {address, end};
    }
    return have;
  }
  bool Read(uintptr_t address, void* buffer, size_t size) const override {
    if (size == 0) return true;
    if (ReadableBytes(address, size) < size) return false;
    return inner_.ReadApproved(address, buffer, size);
  }
  bool ReadApproved(uintptr_t address, void* buffer, size_t size) const override {
    return inner_.ReadApproved(address, buffer, size);
  }

 private:
  const TMemoryView& inner_;
  mutable std::array<std::pair<uintptr_t, uintptr_t>, 16> readable_{};
  mutable std::array<uintptr_t, 16> unreadable_{};
  mutable size_t nextReadable_ = 0, nextUnreadable_ = 0;
};

}  // namespace

uint32_t ThroughJumpThunk(const TMemoryView& memory, uint32_t address) {
  uint8_t code[6];
  if (!memory.Read(address, code, 6) || code[0] != 0xFF || code[1] != 0x25) return address;
  uint32_t target;
  if (!memory.ReadU32(LoadU32(code + 2), target)) return address;
  return target;
}

TCallSite CallBefore(const TMemoryView& memory, uint32_t d, bool loadBeforeMemberCall) {
  TCallSite site;
  if (d < 7) return site;
  uint8_t p[7];
  if (!memory.Read(d - 7, p, 7)) return site;
  auto found = [&](uint32_t length) {
    site.Found = true;
    site.Entry = d - length;
    return site;
  };
  if (p[2] == 0xE8) {
    uint32_t target = d + LoadU32(p + 3);
    if (memory.IsReadable(target, 1)) {
      site.Target = target;
      return found(5);
    }
  }
  if (p[5] == 0xFF && p[6] >= 0xD0 && p[6] <= 0xD7) return found(2);
  if (p[5] == 0xFF && ((p[6] >= 0x10 && p[6] <= 0x13) || p[6] == 0x16 || p[6] == 0x17)) return found(2);
  if (p[4] == 0xFF && p[5] >= 0x50 && p[5] <= 0x57 && p[5] != 0x54 &&
      (!loadBeforeMemberCall || p[2] == 0x8B || p[1] == 0x8B))
    return found(3);
  // Register plus 32-bit displacement: FF 9x and four bytes, six in all.
  if (p[1] == 0xFF && p[2] >= 0x90 && p[2] <= 0x97 && p[2] != 0x94) return found(6);
  if (p[4] == 0xFF && p[5] == 0x14 && p[6] == 0x24) return found(3);
  if (p[3] == 0xFF && p[4] == 0x54 && p[5] == 0x24) return found(4);
  if (p[0] == 0xFF && p[1] == 0x94 && p[2] == 0x24) return found(7);
  if (p[1] == 0xFF && p[2] == 0x15 && memory.IsReadable(LoadU32(p + 3), 4)) return found(6);
  return site;
}

std::vector<uint32_t> FrameChainCallSites(const TMemoryView& memory, uint32_t frame, uint32_t stackLow,
                                          uint32_t stackTop, const std::function<bool(uint32_t)>& known,
                                          int limit) {
  std::vector<uint32_t> sites;
  for (int frames = 0; frames < limit; ++frames) {
    if (frame < stackLow || frame % 4 != 0 || frame >= stackTop || stackTop - frame < 8) break;
    uint32_t record[2];  // the caller's frame pointer, the return address
    if (!memory.Read(frame, record, sizeof record)) break;
    TCallSite site = CallBefore(memory, record[1]);
    if (site.Found && (!known || known(site.Entry))) sites.push_back(site.Entry);
    if (record[0] <= frame) break;
    frame = record[0];
  }
  return sites;
}

bool TChainVerdict::IsStale(uint32_t slot) const {
  auto after = std::upper_bound(Stale.begin(), Stale.end(), slot,
                                [](uint32_t s, const std::pair<uint32_t, uint32_t>& r) { return s < r.first; });
  return after != Stale.begin() && slot < std::prev(after)->second;
}

bool TChainVerdict::IsReturnSlot(uint32_t slot) const {
  return std::binary_search(ReturnSlots.begin(), ReturnSlots.end(), slot);
}

TChainVerdict ChainVerdict(const TMemoryView& memory, uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                           uint32_t frame, const std::function<bool(uint32_t)>& inFramedRoutine) {
  TChainVerdict verdict;
  if (!frame || !inFramedRoutine || frame < stackStart || frame % 4 != 0 || stackEnd < 8 || frame > stackEnd - 8)
    return verdict;
  if (first && inFramedRoutine(first)) verdict.Stale.emplace_back(stackStart, frame + 4);
  for (int frames = 0; frames < FrameChainLimit; ++frames) {
    uint32_t record[2];  // the caller's frame pointer, the return address
    if (!memory.Read(frame, record, sizeof record)) break;
    TCallSite site = CallBefore(memory, record[1]);
    if (!site.Found) break;
    verdict.ReturnSlots.push_back(frame + 4);
    uint32_t next = record[0];
    if (next <= frame || next % 4 != 0 || next > stackEnd - 8) break;
    if (inFramedRoutine(site.Entry)) verdict.Stale.emplace_back(frame + 8, next + 4);
    frame = next;
  }
  return verdict;
}

TKindSet AcceptedKinds(uint8_t stackDetailFlags) {
  TKindSet set = KindBit(4);
  if (stackDetailFlags & 1) set |= KindBit(2);
  if (stackDetailFlags & 2) set |= KindBit(3);
  return set;
}

namespace {

struct TScan {
  TQuelbaStackList& List;
  const TWalkOptions& Options;
  const TLocator& Locate;
  int Seen = 0, Kept = 0;
  std::vector<bool> Running;  // per list entry: a call the frame chain confirmed

  void Handle(uint32_t address, bool isFirst, bool running = false) {
    if (!isFirst && List.Count() >= StackListLimit) return;
    auto location = std::make_unique<TQuelbaLocation>();
    Locate(address, *location, isFirst && Options.MarkFirst);
    location->FrameValue = Options.ThreadId;
    location->ThreadKind = Options.ThreadKind;
    location->ThreadPriority = Options.ThreadPriority;
    location->IsFirst = isFirst && Options.MarkFirst ? 1 : 0;
    location->Extra = Options.ThreadName;
    if (isFirst) {
      List.Add(location.release());
      Running.push_back(false);
      return;
    }
    if (!(Options.Accepted & KindBit(location->Kind & 7)) || location->Kind > 4) return;
    int before = Seen++;
    bool keep = Options.SkipCount == -1 || (before >= Options.SkipCount && Kept < Options.MaxKept);
    if (!keep) return;
    ++Kept;
    List.Add(location.release());
    Running.push_back(running);
  }
};

}  // namespace

void BuildStackList(TQuelbaStackList& list, uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                    const TWalkOptions& options, const TMemoryView& rawMemory, const TLocator& locate) {
  TCachedView memory(rawMemory);
  TScan scan{list, options, locate};
  if (first) scan.Handle(first, true);
  if (stackEnd < stackStart) stackEnd = stackStart;
  if (stackEnd - stackStart > StackScanLimit) stackEnd = stackStart + StackScanLimit;
  const TChainVerdict chain =
      ChainVerdict(memory, first, stackStart, stackEnd, options.FramePointer, options.InFramedRoutine);

  uint8_t chunk[400];
  uint32_t chunkAt = 0, chunkLength = 0;
  for (uint32_t slot = stackStart; stackEnd - slot >= 4; slot += 4) {
    if (chunkLength == 0 || slot - chunkAt + 4 > chunkLength) {
      chunkLength = 0;
      uint32_t want = std::min<uint32_t>(sizeof chunk, stackEnd - slot);
      size_t have = rawMemory.ReadableBytes(slot, want);
      uint32_t take = static_cast<uint32_t>(std::min<size_t>(have, want)) & ~3u;
      if (take == 0 || !rawMemory.ReadApproved(slot, chunk, take)) continue;
      chunkAt = slot;
      chunkLength = take;
    }
    uint32_t d = LoadU32(chunk + (slot - chunkAt));
    if (list.Count() >= StackListLimit) break;
    if (chain.IsStale(slot)) continue;
    TCallSite site = CallBefore(memory, d);
    if (!site.Found) continue;
    if (options.IncludeTargets && site.Target) {
      uint32_t target = ThroughJumpThunk(memory, site.Target);
      uint8_t head[5];
      if (memory.Read(target, head, 5) && head[0] != 0xE8) scan.Handle(target, false);
    }
    scan.Handle(site.Entry, false, chain.IsReturnSlot(slot));
  }
  CleanStackList(list, options.DevelopmentEnvironment, options.UseDebugData, std::move(scan.Running));
}

void CleanStackList(TQuelbaStackList& list, bool developmentEnvironment, bool useDebugData,
                    std::vector<bool> running) {
  running.resize(static_cast<size_t>(list.Count()), false);
  if (developmentEnvironment && useDebugData) {
    for (int i = list.Count() - 1; i >= 0; --i) {
      const TQuelbaLocation* e = list.Get(i);
      if (e->Kind < 2 || e->RoutineName.find("HandleException") != std::string::npos) {
        list.Delete(i);
        running.erase(running.begin() + i);
      }
    }
  }
  auto confirmed = [&running](int i) { return running[static_cast<size_t>(i)]; };
  auto located = [](const TQuelbaLocation* e) { return e->Kind >= 2 && e->Kind <= 4; };
  int count = list.Count();
  // The same return address met again higher up (a stale copy): blank the lower one.
  // A running call stays; then the higher one is the copy (a routine that realigns
  // its stack copies its return address into its frame), unless it runs too (a
  // recursion).
  for (int i = count - 2; i >= 0; --i) {
    TQuelbaLocation* e = list.Get(i);
    if (!located(e)) continue;
    int found = 0;
    for (int j = i + 1; j < count && found < 2; ++j) {
      TQuelbaLocation* later = list.Get(j);
      if (!located(later) || later->Module.Get() != e->Module.Get()) continue;
      ++found;
      if (later->Address == e->Address) {
        if (!confirmed(i))
          e->Kind = 0;
        else if (!confirmed(j))
          later->Kind = 0;
        break;
      }
    }
  }
  // A routine entered at its first line: what lies between it and the call inside
  // the same routine further down are leftovers.
  for (int i = count - 1; i >= 1; --i) {
    const TQuelbaLocation* e = list.Get(i);
    if (e->Kind != 4 || e->LineOffset != 0) continue;
    for (int j = i - 1; j >= 0; --j) {
      const TQuelbaLocation* earlier = list.Get(j);
      bool sameThread = earlier->FrameValue == e->FrameValue && earlier->ThreadKind == e->ThreadKind;
      bool callInside = earlier->UnitName == e->UnitName && earlier->ClassName == e->ClassName &&
                        earlier->RoutineName == e->RoutineName && earlier->LineOffset != 0;
      if (sameThread && !callInside) continue;
      for (int k = j + 1; k < i; ++k)
        if (!confirmed(k)) list.Get(k)->Kind = 0;
      break;
    }
  }
}

// --- Exception-frame test -------------------------------------------------------

TFrameTestAnswer WalkFrameChain(const TFrameTestSetup& setup) {
  TFrameTestAnswer answer;
  const TMemoryView& memory = *setup.Memory;
  uint32_t record = setup.ChainHead, previous = 0;
  for (int n = 0; n < MaxFrameRecords && record != 0xFFFFFFFFu; ++n) {
    if (record < setup.StackLow || setup.StackHigh < 8 || record > setup.StackHigh - 8) break;
    if (n > 0 && record <= previous) break;
    uint8_t raw[8];
    if (!memory.Read(record, raw, 8)) break;
    uint32_t next = LoadU32(raw), handler = LoadU32(raw + 4);
    previous = record;
    record = next;
    int kind = setup.Classify ? setup.Classify(handler) : 0;
    uint32_t target = 0;
    if (kind == 2) {
      uint32_t count = 0;
      if (!memory.ReadU32(handler + 5, count)) continue;
      bool match = false;
      for (uint32_t i = 0; i < std::min<uint32_t>(count, 256) && !match; ++i) {
        uint32_t pair[2];
        if (!memory.Read(handler + 9 + i * 8, pair, 8)) break;
        bool catchesAll = pair[0] == 0 || !memory.IsReadable(pair[0], 4);
        if (catchesAll || (setup.ClassMatches && setup.ClassMatches(pair[0]))) {
          match = true;
          target = pair[1];
        }
      }
      if (!match) continue;
    } else if (kind == 1 || kind == 3) {
      target = handler + 5;
      uint32_t distance = target > setup.RaiseAddress ? target - setup.RaiseAddress : setup.RaiseAddress - target;
      if (answer.Count == 0 && setup.RaiseAddress && distance <= 64) {
        answer.Result = 2;
        answer.Caught = false;
        return answer;
      }
    } else {
      continue;
    }
    if (!answer.FirstTarget && !InRanges(setup.ConstructionCode, target) && !InRanges(setup.LoggerCode, target))
      answer.FirstTarget = target;
    answer.Caught = true;
    ++answer.Count;
    if (!answer.FirstKind) answer.FirstKind = kind;
  }
  return answer;
}

bool TFrameTestCache::Find(uintptr_t exception, uintptr_t address, uint32_t head, TFrameTestAnswer& answer) {
  std::lock_guard<std::mutex> hold(lock_);
  for (int i = 0; i < count_; ++i) {
    const TEntry& e = entries_[i];
    if (e.Exception == exception && e.Address == address && e.Head == head) {
      answer = e.Answer;
      return true;
    }
  }
  return false;
}

void TFrameTestCache::Store(uintptr_t exception, uintptr_t address, uint32_t head, const TFrameTestAnswer& answer) {
  std::lock_guard<std::mutex> hold(lock_);
  entries_[next_] = TEntry{exception, address, head, answer};
  next_ = (next_ + 1) % Capacity;
  count_ = std::min(count_ + 1, Capacity);
}

void TFrameTestCache::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  count_ = next_ = 0;
}

int TFrameTestCache::Count() {
  std::lock_guard<std::mutex> hold(lock_);
  return count_;
}

TFrameTestOutcome TestExceptionFrames(const TFrameTestRequest& request, const TFrameTestSetup& setup,
                                      TFrameTestCache& cache) {
  TFrameTestOutcome outcome;
  if (request.StackOverflow) return outcome;
  TFrameTestAnswer answer;
  if (!request.FrameworkHandlerActive &&
      cache.Find(request.Exception, request.Address, setup.ChainHead, answer)) {
    outcome.Cached = true;
  } else {
    answer = WalkFrameChain(setup);
    cache.Store(request.Exception, request.Address, setup.ChainHead, answer);
  }
  outcome.Caught = answer.Caught;
  outcome.Result = answer.Result;
  if (request.FrameworkHandlerActive && answer.FirstTarget && InRanges(setup.CoreExceptionCode, answer.FirstTarget)) {
    outcome.Caught = false;
    outcome.FromCoreExceptionCode = true;
  }
  if (request.MarkedHandled || request.Force) outcome.Caught = true;
  if (answer.FirstKind == 3 && request.CleanupNotCaught) {
    outcome.Caught = false;
    outcome.Result = 1;
  }
  return outcome;
}

}  // namespace exclog
