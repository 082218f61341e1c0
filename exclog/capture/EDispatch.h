#pragma once
// The dispatcher's plain decisions: which messages the raising thread's pump drops
// while a report runs, whether it pumps at all, where the report runs, and how the
// focused control's text is shown in a report.
#include <cstdint>
#include <string>

namespace exclog {

// Mouse buttons (client and non-client) and keys reach no window while a report
// runs: the pump drops them with a beep. Everything else is dispatched.
bool PumpDropsMessage(uint32_t message);

// Most messages one pump call handles before it returns to the wait.
constexpr int PumpBatchLimit = 11;

// Display flags of the options set that the dispatcher reads.
constexpr uint32_t DisplayNoPumpWithoutDialog = 0x1;  // bit 0: no pumping ...
constexpr uint32_t DisplayPumpAnyway = 0x2;           // ... unless bit 1 is set too
// The safecall route is not in this program (no raise arrives through it), so
// nothing reads this bit; it keeps its place in the display flags.
constexpr uint32_t DisplaySafecallReports = 0x40;

// The raising thread keeps the interface alive unless the exception is a stack
// overflow (no stack left for window procedures) or the options forbid it.
bool PumpingAllowed(bool stackOverflow, uint32_t displayFlags);

// Where the report runs. A stack overflow always goes to a report thread: its own
// thread has about 2 KB of stack left. Otherwise a memory-leak report and a forced
// same-thread report run on the raising thread.
bool ReportOnSameThread(bool sameThreadFlag, bool stackOverflow, bool memoryLeak);

// The focused control's text as a report shows it: none for a multi-line edit, one
// "*" per character for a password edit, else the text itself.
constexpr uint32_t EditMultiLineStyle = 0x4;
constexpr uint32_t EditPasswordStyle = 0x20;
std::string FocusedControlText(const std::string& className, uint32_t style, const std::string& text);

}  // namespace exclog
