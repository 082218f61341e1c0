#pragma once
// Where tests find the project's files, in the form the running program's file
// routines accept (a Z: path under Wine, the plain path natively).
#include <string>

namespace velmora::test {

// The source tree's root, without a trailing separator.
std::string SourceDir();

// A file or folder below the source root; `relative` uses '/' separators.
std::string SourcePath(const std::string& relative);

// A path of the build machine in the form the running program accepts.
std::string HostPath(const std::string& unixPath);

// A part of a scratch name that is this test program's own among all programs
// running on the machine now; the same for every call in one process.
std::string ProcessTag();

// A scratch file path of this test program's own (tree and process in its name), so
// test programs running side by side never share a file. Nothing is created.
std::string TempPath(const std::string& name);

// The 1-based number of the first line of a source file (`relative` to the source
// root) that holds `text`; 0 when none does.
unsigned SourceLineOf(const std::string& relative, const std::string& text);

// Reads a whole file; fails the calling test (and returns "") when it cannot.
std::string ReadFileBytes(const std::string& path);

}  // namespace velmora::test
