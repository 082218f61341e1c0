// Text read from files into string lists: line splitting, delimited text and
// name=value lookups, with sorted and case-sensitive variants.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    TStringList list;
    list.SetCaseSensitive(flags & 1);
    list.StrictDelimiter = flags & 2;
    list.Delimiter = (flags & 4) ? ';' : ',';
    list.QuoteChar = (flags & 8) ? '\'' : '"';
    list.SetText(text);
    std::string joined = list.Text();
    TStringList again;
    again.SetText(joined);
    if (again.Count() != list.Count()) __builtin_trap();
    for (int i = 0; i < list.Count(); ++i) {
      list.Value(list.Name(i));
      list.ValueFromIndex(i);
    }
    list.SetDelimitedText(text);
    std::string delimited = list.DelimitedText();
    TStringList round;
    round.Delimiter = list.Delimiter;
    round.QuoteChar = list.QuoteChar;
    round.StrictDelimiter = list.StrictDelimiter;
    round.SetDelimitedText(delimited);
    // Items survive a round trip through delimited text.
    if (round.Count() != list.Count()) __builtin_trap();
    for (int i = 0; i < list.Count(); ++i)
      if (round[i] != list[i]) __builtin_trap();
    if (flags & 16) {
      list.Duplicates = TDuplicates::dupAccept;
      list.SetSorted(true);
      for (int i = 0; i < list.Count(); ++i)
        if (list.IndexOf(list[i]) < 0) __builtin_trap();
    }
  } catch (const Exception&) {
  }
  return 0;
}
