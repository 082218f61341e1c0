#pragma once
// Whether the collector starts, from the module's logger data: pure over the
// resource bytes so the rules run natively.
#include <cstddef>
#include <cstdint>

namespace exclog {

struct TLeakStartData {
  const uint8_t* Own = nullptr;   // this module's logger data (null: none)
  size_t OwnSize = 0;
  const uint8_t* Main = nullptr;  // the main executable's, when this module is not it
  size_t MainSize = 0;
  bool InsideDevelopmentEnvironment = false;
  // The class library's base class lives in another module (run-time packages):
  // blocks of that module's manager would reach this wrapper unrecorded.
  bool BaseClassElsewhere = false;
};

// The options byte the collector runs with; 0 when catching stays off (no data,
// an unknown magic, a version below 6000, bit 0 clear, or the development
// environment hosts the program, or run-time packages). A module whose data has the main-module byte set
// takes the main executable's data instead.
uint8_t LeakStartOptions(const TLeakStartData& data);

}  // namespace exclog
