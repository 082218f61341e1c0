#include "exclog/debuginfo/EForeignObject_win.h"

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/core/ECore_win.h"

namespace exclog {

uint32_t ExceptionMessageOffset() {
  static const uint32_t offset = [] {
    Exception probe;
    const char* object = reinterpret_cast<const char*>(static_cast<const TObject*>(&probe));
    return static_cast<uint32_t>(reinterpret_cast<const char*>(&probe.Message()) - object);
  }();
  return offset;
}

bool DescribeForeignObject(const void* object, TForeignObject& out) {
  out = TForeignObject{};
  if (!object || IsValidObject(object)) return false;
  if (!ReadForeignObject(ProcessMemory(), reinterpret_cast<uintptr_t>(object), ExceptionMessageOffset(), out)) {
    out.ClassName = "Exception";
    out.Ancestors = {"Exception"};
  }
  return true;
}

}  // namespace exclog
