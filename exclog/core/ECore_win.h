#pragma once
// The logger's core helpers that need the system: variables, folders, settings
// files, the log file name, registry texts, text files with byte-order marks and
// memory readability.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "exclog/core/ECore.h"
#include "exclog/core/EMemoryView.h"
#include "exclog/core/EOptions.h"

namespace exclog {

// Environment variable `name`; "" when unset.
std::string EnvironmentVariable(const std::string& name);

// The process's environment, with today's date, the time and the current directory
// in the system's short formats.
TVariableSource SystemVariableSource();

// ExpandVariables over SystemVariableSource().
std::string ExpandVariables(std::string_view text);

// The per-user application-data folder ("\\" when none can be found).
std::string AppDataFolder();
// AppDataFolder() + "\\QuelbaLog".
std::string LoggerFolder();
// The Windows folder on the consumer Windows family, LoggerFolder() otherwise.
std::string SettingsFolder();

bool FolderExists(const std::string& path);
// Creates `path` (expanded, trailing backslash ignored) and its missing parents.
// True when the folder exists afterwards; paths shorter than 3 characters succeed.
bool ForceFolders(const std::string& path);

// Whether the file `name` (expanded in place) can be used: opened for reading when
// `readOnly`, else opened or created for reading and writing without touching an
// existing file's content (a file made by the test is deleted again). When not,
// the same file name is tried in LoggerFolder() (plus, with `subFolder`, a folder
// named after the executable without extension), creating the folders; on success
// `name` becomes that path. False when no place works.
bool UsableFile(std::string& name, bool readOnly, bool subFolder);

// Profile-file settings. A file name without folder is placed in SettingsFolder().
// ReadSetting gives `defaultValue` when the file is unusable or the key missing
// (values up to 2047 characters). WriteSetting returns false when it failed.
std::string ReadSetting(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& defaultValue);
bool WriteSetting(const std::string& file, const std::string& section,
                  const std::string& key, const std::string& value);

// The file name of `module` (0: the executable).
std::string ModuleFileName(HMODULE module = nullptr);
// ModuleFileName with a device prefix ("\\??\\") cut and every short component made
// long: the name the report shows.
std::string ModuleLongFileName(HMODULE module = nullptr);
// The computer's NetBIOS name; "" when unknown.
std::string ComputerName();

// The text log's file name for `options` (see BuildLogFileName); its folder is
// created and the name moved to the per-user folder when the first place is not
// usable. An existing log is never truncated by the test.
std::string LogFileName(const TQuelbaModuleOptions& options, const std::string& name = "");

// Last write time of the file in local time; 0 when missing.
TDateTime FileDate(const std::string& name);
// The same from a write time already read (UTC); 0 when it cannot be converted.
TDateTime FileDateOf(const FILETIME& written);
// `path` with every short ("~") component replaced by its long name; unchanged when
// the path does not exist.
std::string LongPathName(const std::string& path);

// The data of a string value below `root` ("\\" before `key` ignored), without its
// terminating zero; "" for a missing key or value.
std::string ReadRegistryText(HKEY root, const std::string& key, const std::string& value);

// Whole hours between local and universal time now.
int UtcOffsetHours();

// Loads a text file into `list`: text behind a UTF-16 (either order) or UTF-8 mark is
// converted to the ANSI code page; other files load as they are. EFOpenError when
// the file cannot be opened.
void LoadTextWithBom(TStrings& list, const std::string& fileName);

// Bytes readable from `address` to the end of its memory region, extended over the
// following regions while they are readable and `size` is not reached. Committed
// pages with protection 2, 4, 8, 16, 32, 64 or 128 count as readable.
size_t ReadableBytes(const void* address, size_t size);
bool IsReadable(const void* address, size_t size);

// Copies `size` bytes from `source` to `destination` inside a hand-built SEH frame:
// false when a fault stopped it (then `destination` holds a part). For memory that
// ReadableBytes approved but that another thread may release meanwhile; never use
// it to probe: a guard page it touches loses its guard.
bool SafeCopy(void* destination, const void* source, size_t size);
// Whether a fault at code address `address` lies inside SafeCopy's copy loop (the
// logger's own exception handlers let such faults pass to SafeCopy's frame).
bool IsInsideSafeCopy(uintptr_t address);

// The process's own memory as a memory view: ReadableBytes, then SafeCopy.
const TMemoryView& ProcessMemory();

// The final target of an indirect jump thunk (FF 25 and the address of the pointer)
// at `address`; `address` itself when there is none or it cannot be read.
const void* ThroughJumpThunk(const void* address);

}  // namespace exclog

namespace exclog {
// Fills the options' module seams with the real ones: modules found by
// GetModuleHandle, the current module being the one that holds this code. The
// logger's start-up calls it; tests may too.
void InstallModuleSeams();
}  // namespace exclog
