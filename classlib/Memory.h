#pragma once
// The memory-manager table: every allocation of the program (global operator
// new/delete, TObject instances, stream buffers) goes through these four entries,
// so a wrapper installed at run time (the leak collector) sees every block.
//
// The table is plain data and can be swapped at any time; a wrapper keeps the
// table it replaced (GetMemoryManager) and forwards to it. Blocks allocated before
// a swap are freed through the new table, so a wrapper must pass on blocks it does
// not recognise.
#include <cstddef>

struct TMemoryManager {
  // Allocates `size` bytes (size 0 gives a unique non-null block); null when out of memory.
  void* (*GetMem)(size_t size);
  // Frees a block of this table (or of a table it wraps); null is ignored.
  void (*FreeMem)(void* block);
  // Resizes a block, keeping its content up to the smaller size. ReallocMem(null, n)
  // allocates, ReallocMem(p, 0) frees and returns null. On failure returns null and
  // the old block stays valid.
  void* (*ReallocMem)(void* block, size_t size);
  // Allocates the memory of one TObject instance (the only path objects take), so a
  // wrapper can mark object blocks apart from data blocks. Freed through FreeMem.
  void* (*GetObjectMem)(size_t size);
};

// Copies the active table into `out`.
void GetMemoryManager(TMemoryManager& out);
// Makes `table` the active one (copied). Returns false and changes nothing when an
// entry is null.
bool SetMemoryManager(const TMemoryManager& table);
// The table the program starts with (the C run-time heap).
const TMemoryManager& SystemMemoryManager();

// Shorthands through the active table; same contracts as the table entries.
void* GetMem(size_t size);
void FreeMem(void* block);
void* ReallocMem(void* block, size_t size);
void* GetObjectMem(size_t size);
