// Fuzz target: the Call Stack page's rows from arbitrary entries (6 bytes each:
// thread, thread kind, first-of-walk, kind, module kind, line; a byte of accepted
// kinds first). Every head is followed by a frame, a separator stands only between
// groups, every row has its six texts or none, and no more rows than entries allow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exclog/dialogs/EDialogPages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  exclog::TKindSet accepted = data[0];
  std::vector<exclog::TStackRowInput> stack;
  for (size_t at = 1; at + 6 <= size && stack.size() < 4096; at += 6) {
    exclog::TStackRowInput in;
    in.Entry.ThreadId = data[at] % 4;
    in.Entry.Running = data[at + 1] % 3;
    in.Entry.Raising = data[at + 2] % 2;
    in.Entry.Kind = data[at + 3] % 9;
    in.ModuleKind = data[at + 4] % 6;
    in.Entry.Line = data[at + 5];
    in.Entry.Leak = data[at + 2] >= 0xF0;
    in.Entry.LeakCount = data[at] >> 4;
    stack.push_back(in);
  }
  std::vector<exclog::TPageRow> rows =
      exclog::BuildCallStackRows(stack, accepted, [](const exclog::TReportStackEntry&) { return "head"; });
  if (rows.size() > 3 * stack.size()) std::abort();
  for (size_t i = 0; i < rows.size(); ++i) {
    const exclog::TPageRow& r = rows[i];
    bool separator = !r.GroupHead && r.Image == -1;
    if (r.GroupHead) {
      if (i + 1 >= rows.size() || rows[i + 1].GroupHead || rows[i + 1].Image == -1) std::abort();
      if (r.Texts.size() != 1 || r.ColourCode < 0 || r.ColourCode > 4) std::abort();
    } else if (separator) {
      if (i == 0 || i + 1 >= rows.size() || !rows[i + 1].GroupHead) std::abort();
      for (const std::string& t : r.Texts)
        if (!t.empty()) std::abort();
    } else {
      if (r.Texts.size() != 6 || r.Image < 0 || r.Image > 3) std::abort();
    }
  }
  return 0;
}
