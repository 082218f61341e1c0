#pragma once
// The process's module records and the machine's process list: finding, adding
// and refreshing module records (each with its options and its logger data),
// classification and version information, the process list from the tool-help and
// process-status functions (both bound at run time).
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules.h"

namespace exclog {

// Services that other units fill; empty defaults do nothing.
struct TModuleInfoSeams {
  // The module's export list (call-stack walker).
  void (*BuildExportList)(uintptr_t module, TQuelbaFunctionsList& list) = nullptr;
  // An outside debug-information reader for a module without logger data; freed
  // through ModuleListSeams().FreeDebugSource.
  void* (*CreateDebugSource)(uintptr_t module) = nullptr;
  // The password handlers registered with the logger: may replace the zero-ended
  // text in `buffer` (`size` bytes). Never called while a list lock is held.
  void (*AskPasswordHandlers)(char* buffer, int size) = nullptr;
  // The module that runs the logger (0: this code's module).
  uintptr_t (*LoggerModule)() = nullptr;
};
TModuleInfoSeams& ModuleInfoSeams();

// --- Logger data of a loaded module -------------------------------------------

// The "QLDATA" resource carries the magic, or the module's file ends with it.
bool HasModuleData(HMODULE module);
// Its version word (normalised); 0 without data.
uint16_t ModuleDataVersion(HMODULE module);
// Data present with a version of at least 6104.
bool HasCurrentModuleData(HMODULE module);
// Fills the record's DataVersion, DataHeader, Options, DebugData, NameKey and
// NamesEncrypted from the resource, else from the appended block. While
// `refreshing`, neither the debug block nor the pass phrase is read. The pass
// phrase comes from the module's export "QuelbaLog_PasswordRequestEventEx" (else
// "QuelbaLog_PasswordRequestEvent"), then from the registered handlers. Returns
// whether data was loaded; on false the record is unchanged.
bool LoadModuleData(TQuelbaModuleInfo& record, bool refreshing);

// The inflated block of the first directory entry of `kind` (255: the first entry
// of any kind) in this code's own module's "QLDATA"; null when there is none.
// The body is inflated once and kept for the process's life; `size` gets the
// block's length.
const uint8_t* OwnBlockAddress(uint8_t kind, size_t* size = nullptr);

// --- Module records -------------------------------------------------------------

// The process's list, created on first use.
TQuelbaModulesList& ModulesList();
// Whether RefreshModules is running.
bool RefreshRunning();

// The record of a loaded module, created in full when missing (a record made during
// a refresh is made again in full). Null for handle 0 or a module not loaded. The
// reference keeps the record alive after it leaves the list.
TModuleRef FindModule(uintptr_t handle);
// The module holding `address` (its allocation base), as FindModule.
TModuleRef ModuleOfAddress(const void* address);
// Creates and fills a record and appends it; the filling (logger data, pass-phrase
// handlers) runs before the list is locked.
bool AddModule(uintptr_t handle, const std::string& fileName, bool full);
// Drops records of unloaded modules, adds records (without export list,
// classification or outside reader) for new ones, sorts by handle.
void RefreshModules();

TModuleKind ModuleKindOf(HMODULE module);
// Description (at least 2 characters, else "") and "a.b.c.d" version ("" for
// 0.0.0.0) of a file's version resource. False when the file has none.
bool ReadVersionInfo(const std::string& fileName, std::string& description, std::string& version);
// The same with the file's attributes already read (null: they could not be).
bool ReadVersionInfo(const std::string& fileName, const WIN32_FILE_ATTRIBUTE_DATA* file, std::string& description,
                     std::string& version);
// The version block of a file as the system reads it from the file's resources;
// nullopt when the file has none.
std::optional<std::string> FileVersionBlock(const std::string& fileName);
// The same read from where the file's headers place the block, without the system
// mapping the whole file: true when the headers settled it (`block` then holds the
// block, or nothing for a file without one), false when it is left to the system.
bool FileVersionBlockOfHeaders(const std::string& fileName, std::optional<std::string>& block);
// A string of `block`'s first language (at least 2 characters, else ""), in the
// system's code page.
std::string FileVersionString(const std::string& block, std::u16string_view key);

// --- Processes ---------------------------------------------------------------------

// The process's list of processes, created on first use.
TQuelbaProcessesList& ProcessesList();
// Refills `list` with the running processes, sorted by id, with thread counts.
// Missing interfaces leave the list as it is; returns whether it was filled.
bool BuildProcessList(TQuelbaProcessesList& list);

}  // namespace exclog
