#include "tests/support/ImportSlots_win.h"

#include <cstdint>

namespace velmora::test {

std::vector<void**> ImportSlots(const std::string& dll, const std::string& routine) {
  std::vector<void**> found;
  auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return found;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll.c_str()) != 0) continue;
    // Without the name table the slots themselves still hold the names (not yet bound).
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk
                                                                                       : d->FirstThunk));
    auto* slots = reinterpret_cast<void**>(base + d->FirstThunk);
    for (int i = 0; names[i].u1.AddressOfData; ++i) {
      if (names[i].u1.Ordinal & IMAGE_ORDINAL_FLAG32) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
      if (routine == reinterpret_cast<const char*>(byName->Name)) found.push_back(&slots[i]);
    }
  }
  return found;
}

void* WriteImportSlot(void** slot, void* value) {
  DWORD protect;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protect)) return nullptr;
  void* old = *slot;
  *slot = value;
  DWORD ignored;
  VirtualProtect(slot, sizeof(void*), protect, &ignored);
  return old;
}

}  // namespace velmora::test
