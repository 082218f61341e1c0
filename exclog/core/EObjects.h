#pragma once
// Object and class tests of the logger. Every one takes a pointer that may be
// garbage: an unreadable or corrupt object gives false or "" (the walk reads only
// memory the class library's readability check accepts).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/SysUtils.h"

namespace exclog {

// Raised for a failed ActiveX call: besides the message it carries the class name
// the report shows as its type, and the class names the exception filters compare.
class TActiveXException : public Exception {
  VELMORA_CLASS(TActiveXException, Exception)
 public:
  TActiveXException() = default;
  TActiveXException(std::string message, std::string reportedClassName, std::vector<std::string> classNames)
      : Exception(std::move(message)),
        reportedClassName_(std::move(reportedClassName)),
        classNames_(std::move(classNames)) {}
  const std::string& ReportedClassName() const { return reportedClassName_; }
  const std::vector<std::string>& ClassNames() const { return classNames_; }

 private:
  std::string reportedClassName_;
  std::vector<std::string> classNames_;
};

// The object's class name; "" when it is not a valid object.
std::string ObjectClassName(const void* object);
// The object's class or one of its parents is named `className` (any case); stops
// at the first invalid class record.
bool InheritsFromName(const void* object, std::string_view className);
// True when the object inherits from any of the named classes.
bool IsOneOf(const void* object, const std::vector<std::string>& classNames);
// A valid object that does not inherit from "EAbort".
bool IsNotAbort(const void* object);
// True when the object does not inherit from "EExternal".
bool IsNotExternal(const void* object);
// Sets an integer published property; returns its previous value (0 when the
// property is missing). The property is written only when the value differs.
int64_t SetIntegerProperty(TObject* object, std::string_view name, int64_t value);

}  // namespace exclog
