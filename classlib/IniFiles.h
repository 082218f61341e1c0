#pragma once
// Text rules of INI values that do not depend on the platform's profile routines:
// how numbers and Booleans are read and written, and how the routines' lists of
// zero-terminated names are split. TIniFile (IniFiles_win.h) applies them.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads a 32-bit integer value: optional sign, decimal digits, or hexadecimal after
// "0x"/"0X"/"$"; blanks around it are ignored. Nothing when the text is anything
// else or does not fit in 32 bits.
std::optional<int> ParseIniInteger(std::string_view text);

// The text TIniFile writes for a Boolean: "1" or "0".
inline const char* IniBoolText(bool value) { return value ? "1" : "0"; }

// Splits a buffer of zero-terminated strings ending with an empty one, of `length`
// bytes (the final terminators need not be included), into its strings. Reads only
// within `length`; a last string without terminator is kept.
std::vector<std::string> SplitZeroList(const char* buffer, size_t length);
