#pragma once
// The call-stack walker's logic over a memory view: recognising a return address
// by the call instruction in front of it, the raw scan of a stack into a stack
// list, the list's cleaning, and the exception-frame test with its answer cache.
// The Windows glue (EStackWalk_win.h) supplies the process's memory, the address
// lookup and the thread's frame chain; tests supply synthetic memory.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "exclog/debuginfo/ELists.h"
#include "exclog/core/EMemoryView.h"

namespace exclog {

// The scan reads at most this many bytes of stack and keeps at most this many
// entries.
constexpr uint32_t StackScanLimit = 102400;
constexpr int StackListLimit = 1025;

// A call instruction that ends at a candidate return address.
struct TCallSite {
  bool Found = false;
  uint32_t Entry = 0;   // address of the call instruction
  uint32_t Target = 0;  // the called address for a direct call (E8), else 0
};

// The call, if any, whose instruction ends just before `returnAddress`. The seven
// bytes before it must be readable, a direct call's target too (one byte), an
// absolute pointer's four bytes too. A call through a register plus an 8-bit
// displacement counts only after a load (8B) when `loadBeforeMemberCall` is set;
// the leak collector takes it alone.
TCallSite CallBefore(const TMemoryView& memory, uint32_t returnAddress, bool loadBeforeMemberCall = true);

// The call sites along a frame-pointer chain, from the innermost frame outward.
// Each frame holds the caller's frame pointer, then the return address; a return
// address counts only when a call ends at it and `known` (when given) accepts the
// call's address. The walk goes on while each next frame lies strictly above the
// current one and below `stackTop`, at most `limit` frames; `frame` itself must lie
// at or above `stackLow`. Unlike a raw scan, it never reads a stale slot.
constexpr int FrameChainLimit = 1000;
std::vector<uint32_t> FrameChainCallSites(const TMemoryView& memory, uint32_t frame, uint32_t stackLow,
                                          uint32_t stackTop, const std::function<bool(uint32_t)>& known,
                                          int limit = FrameChainLimit);

// The final target of an indirect jump (FF 25 and the pointer's address) at
// `address`; `address` itself when there is none or it is unreadable.
uint32_t ThroughJumpThunk(const TMemoryView& memory, uint32_t address);

// The set of location kinds a walk keeps, as bits (1 << kind).
using TKindSet = uint8_t;
constexpr TKindSet KindBit(int kind) { return static_cast<TKindSet>(1u << kind); }
// Kind 4 always; StackDetailFlags bit 0 adds kind 2, bit 1 kind 3.
TKindSet AcceptedKinds(uint8_t stackDetailFlags);

// Fills a location record for a code address (GetLocation's shape).
using TLocator = std::function<void(uint32_t address, TQuelbaLocation& location, bool isFirst)>;

struct TWalkOptions {
  int SkipCount = -1;        // call sites to skip before the first kept; -1: none, no limit
  int MaxKept = 0x7FFFFFFF;  // entries kept at most (ignored with SkipCount -1)
  TKindSet Accepted = KindBit(4);
  bool UseDebugData = true;
  bool IncludeTargets = false;  // add each direct call's target as an entry of its own
  bool DevelopmentEnvironment = false;
  uint8_t ThreadKind = 0;
  // The first address is the raising thread's (IsFirst 1); a walk of another
  // thread adds its first address unmarked.
  bool MarkFirst = true;
  uint32_t ThreadId = 0;     // each entry's FrameValue
  int32_t ThreadPriority = ThreadPriorityUnknown;  // each entry's ThreadPriority
  std::string ThreadName;    // each entry's Extra
  // The thread's frame pointer where the walk starts (0: none known) and whether
  // a code address lies in a routine that keeps its own frame there (our builds'
  // routines past their "push ebp; mov ebp, esp"). With both, the frame chain
  // decides which scanned slots are running calls (ChainVerdict).
  uint32_t FramePointer = 0;
  std::function<bool(uint32_t address)> InFramedRoutine;
};

// What the frame chain says about the slots of a scan. A frame's return address
// that lies in a framed routine makes the slots between it and that routine's own
// return address the routine's locals: any return address there is stale. The same
// holds below the first frame when the first address lies in a framed routine.
// Where a routine without a frame stands in the chain, nothing is said about its
// stretch. Return slots are those the chain passed through: running calls, which
// the cleaning never blanks (a recursion repeats its return address).
struct TChainVerdict {
  std::vector<std::pair<uint32_t, uint32_t>> Stale;  // [from, to) slot ranges, rising
  std::vector<uint32_t> ReturnSlots;                 // rising
  bool IsStale(uint32_t slot) const;
  bool IsReturnSlot(uint32_t slot) const;
};
TChainVerdict ChainVerdict(const TMemoryView& memory, uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                           uint32_t framePointer, const std::function<bool(uint32_t)>& inFramedRoutine);

// The raw scan: `first` (when non-zero) is the first entry, then every slot from
// `stackStart` upward to `stackEnd` (at most StackScanLimit bytes) that holds a
// return address, each located by `locate` (which, without debug data, should fill
// only the module), filtered and counted as the options say; then the list is
// cleaned. The list owns its entries.
void BuildStackList(TQuelbaStackList& list, uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                    const TWalkOptions& options, const TMemoryView& memory, const TLocator& locate);

// The three cleaning steps on a filled list (the scan calls it). Entries marked in
// `running` (by index, as filled) are calls the frame chain confirmed: never blanked.
void CleanStackList(TQuelbaStackList& list, bool developmentEnvironment, bool useDebugData,
                    std::vector<bool> running = {});

// --- Exception-frame test -------------------------------------------------------

// One exception-frame record: {next, handler}.
struct TFrameTestSetup {
  const TMemoryView* Memory = nullptr;
  uint32_t ChainHead = 0;             // first record (0xFFFFFFFF: empty chain)
  uint32_t StackLow = 0, StackHigh = 0;  // records must lie inside, rising
  // Kind of a handler (after one jump thunk): 1 catches all, 2 typed, 3 clean-up
  // only, 0 not an application handler.
  std::function<int(uint32_t handler)> Classify;
  // Whether the exception object belongs to the class at `classReference`.
  std::function<bool(uint32_t classReference)> ClassMatches;
  // Code ranges: [start, end) pairs.
  std::vector<std::pair<uint32_t, uint32_t>> ConstructionCode, LoggerCode, CoreExceptionCode;
  uint32_t RaiseAddress = 0;          // where the raise hook recorded the raise
};

struct TFrameTestAnswer {
  int FirstKind = 0;
  int Result = 0;       // 0, 1 clean-up only not caught, 2 raised inside a handler
  int Count = 0;
  bool Caught = false;
  uint32_t FirstTarget = 0;  // first handler target outside construction and logger code
};

// Step 3 of the test: the chain walk. Follows at most MaxFrameRecords records, each
// above the one before it and inside the stack bounds, so a cyclic or corrupt chain
// ends.
constexpr int MaxFrameRecords = 1024;
TFrameTestAnswer WalkFrameChain(const TFrameTestSetup& setup);

// The recent answers, keyed by exception object, exception address and chain head.
class TFrameTestCache {
 public:
  static constexpr int Capacity = 10;
  bool Find(uintptr_t exception, uintptr_t address, uint32_t head, TFrameTestAnswer& answer);
  // Stores an answer; the eleventh drops the oldest.
  void Store(uintptr_t exception, uintptr_t address, uint32_t head, const TFrameTestAnswer& answer);
  void Clear();
  int Count();

 private:
  struct TEntry {
    uintptr_t Exception, Address;
    uint32_t Head;
    TFrameTestAnswer Answer;
  };
  std::mutex lock_;
  TEntry entries_[Capacity]{};
  int count_ = 0, next_ = 0;
};

struct TFrameTestRequest {
  uintptr_t Exception = 0;
  uintptr_t Address = 0;
  bool StackOverflow = false;       // class EStackOverflow: never caught
  bool FrameworkHandlerActive = false;  // one of the two framework-handler flags
  bool MarkedHandled = false;       // the raise path marked the exception handled
  bool Force = false;
  bool CleanupNotCaught = false;    // CatchFlags bit 6
};

struct TFrameTestOutcome {
  bool Caught = false;
  int Result = 0;
  bool FromCoreExceptionCode = false;  // step 4 fired
  bool Cached = false;                 // the chain walk was answered by the cache
};

// The whole test (steps 1 to 6).
TFrameTestOutcome TestExceptionFrames(const TFrameTestRequest& request, const TFrameTestSetup& setup,
                                      TFrameTestCache& cache);

}  // namespace exclog
