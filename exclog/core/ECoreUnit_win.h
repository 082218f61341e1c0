#pragma once
// Windows side of the core's start: the host executable is the process's own file.
namespace exclog {

// Makes ECore.Init read the host executable's path with GetModuleFileName; the
// logger's start-up calls it before starting the core.
void InstallCoreHostSource();

}  // namespace exclog
