#pragma once
// Reading an exception object that another module made: a library built with the
// logger links its own class library and run-time, so nothing of the object may be
// called and its class is unknown to this module's class table. Its class name and
// ancestors come from the run-time type information its virtual table points at,
// its message from the Exception layout (both modules build the same class
// library with the same compiler). Every read goes through a TMemoryView and is
// bounded, so a corrupt or freed object gives an empty description, never a fault.
//
// Layouts read (32-bit): object word 0 = virtual table; table word -1 = type_info;
// type_info = {virtual table, mangled name}; a single-base class adds its base's
// type_info, a several-base class adds flags, a count and {type_info, offset and
// flags} per base. The kind of a type_info is told by its own type's name.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/core/EMemoryView.h"

namespace exclog {

struct TForeignObject {
  std::string ClassName;               // the object's class, unqualified; "" when unreadable
  std::string Message;                 // its message when it is an Exception, else ""
  std::vector<std::string> Ancestors;  // the class first, then each base at offset 0
  bool InheritsFrom(std::string_view name) const;
};

// Longest message and name taken; deepest chain followed.
constexpr size_t ForeignTextLimit = 4096;
constexpr size_t ForeignNameLimit = 256;
constexpr int ForeignChainLimit = 32;

// Describes the object at `object`. `messageOffset` is where an Exception keeps its
// message (a std::string: data pointer, length). False when no class name could be
// read.
bool ReadForeignObject(const TMemoryView& memory, uintptr_t object, uint32_t messageOffset, TForeignObject& out);

// The unqualified name of a mangled class name ("9Exception", "N2ns4NameE"); ""
// for anything else.
std::string UnmangledClassName(std::string_view mangled);

}  // namespace exclog
