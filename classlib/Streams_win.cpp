// Resource streams.
#include "classlib/Streams_win.h"

#include <windows.h>

TResourceStream::TResourceStream(uintptr_t instance, const std::string& name, uintptr_t type) {
  Open(instance, name.c_str(), reinterpret_cast<const char*>(type), name);
}

TResourceStream::TResourceStream(uintptr_t instance, uint16_t id, uintptr_t type) {
  Open(instance, MAKEINTRESOURCEA(id), reinterpret_cast<const char*>(type), "#" + std::to_string(id));
}

void TResourceStream::Open(uintptr_t instance, const char* name, const char* type, const std::string& shownName) {
  HMODULE module = instance ? reinterpret_cast<HMODULE>(instance) : GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(module, name, type);
  HGLOBAL data = info ? LoadResource(module, info) : nullptr;
  void* memory = data ? LockResource(data) : nullptr;
  if (!memory) throw EResNotFound("Resource " + shownName + " not found");
  SetPointer(memory, SizeofResource(module, info));
}
