#include "skin/painters/ControlProps.h"

#include "classlib/SysUtils.h"

namespace skin {

namespace {
const TPropInfo* PropOfKind(const TObject* object, std::string_view name, std::initializer_list<TTypeKind> kinds) {
  if (!object) return nullptr;
  const TPropInfo* info = GetPropInfo(object, name);
  if (!info) return nullptr;
  for (TTypeKind k : kinds)
    if (info->Kind == k) return info;
  return nullptr;
}
}  // namespace

int64_t ReadIntProp(const TObject* object, std::string_view name) {
  if (!PropOfKind(object, name, {TTypeKind::tkInteger})) return -1;
  return GetOrdProp(object, name).value_or(-1);
}

std::string ReadEnumProp(const TObject* object, std::string_view name) {
  if (!PropOfKind(object, name, {TTypeKind::tkEnumeration, TTypeKind::tkBoolean})) return {};
  return LowerCase(GetPropText(object, name).value_or(""));
}

std::string ReadStrProp(const TObject* object, std::string_view name) {
  if (!PropOfKind(object, name, {TTypeKind::tkString})) return {};
  return GetStrProp(object, name).value_or("");
}

TObject* ReadObjectProp(const TObject* object, std::string_view name, TClass cls) {
  if (!PropOfKind(object, name, {TTypeKind::tkClass})) return nullptr;
  TObject* value = GetObjectProp(object, name).value_or(nullptr);
  return value && value->InheritsFrom(cls) ? value : nullptr;
}

bool WritePropText(TObject* object, std::string_view name, std::string_view text) {
  if (!PropOfKind(object, name,
                  {TTypeKind::tkEnumeration, TTypeKind::tkBoolean, TTypeKind::tkInteger, TTypeKind::tkString}))
    return false;
  try {
    return SetPropText(object, name, text);
  } catch (const Exception&) {
    return false;  // the text does not fit the property
  }
}

}  // namespace skin
