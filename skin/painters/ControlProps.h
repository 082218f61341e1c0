#pragma once
// Published properties read and written by name, so that one painter serves the
// standard control and look-alike controls of other component families. A missing
// property is never an error: readers give a neutral value, writers false.
#include <cstdint>
#include <string>
#include <string_view>

#include "classlib/TypInfo.h"

namespace skin {

// Integer property; -1 when absent or not an integer.
int64_t ReadIntProp(const TObject* object, std::string_view name);
// Enumeration or Boolean as its lower-cased value name ("true"); "" when absent.
std::string ReadEnumProp(const TObject* object, std::string_view name);
// String property; "" when absent.
std::string ReadStrProp(const TObject* object, std::string_view name);
// The object property when it holds an object of class `cls` or a descendant.
TObject* ReadObjectProp(const TObject* object, std::string_view name, TClass cls);
// Sets an enumeration, Boolean, integer or string property from text ("True");
// false when absent, read-only or the text does not fit.
bool WritePropText(TObject* object, std::string_view name, std::string_view text);

}  // namespace skin
