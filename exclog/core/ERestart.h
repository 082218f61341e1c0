#pragma once
// The command line of a restarted program: the restart adds a marker naming the
// process it replaces, so the new instance can wait for the old one to end before
// it takes its single-instance lock. Pure.
#include <cstdint>
#include <string>
#include <string_view>

namespace exclog {

constexpr std::string_view RestartMarker = "--restarted-from=";
// How long a restarted program waits for the instance it replaces.
constexpr uint32_t RestartWaitMs = 10000;

// `commandLine` without any earlier marker, with one naming `processId` appended.
std::string RestartCommandLine(std::string_view commandLine, uint32_t processId);
// The process id a marker of `commandLine` names; 0 when there is none or it is not
// a decimal number of at most 32 bits.
uint32_t RestartedFrom(std::string_view commandLine);

}  // namespace exclog
