// File routines over the Win32 API: the program's own WriteFile import carries every
// write, so a hook on that import sees them.
#include <windows.h>

#include "classlib/SysUtils.h"

namespace {

thread_local int lastFileError = 0;

DWORD ShareFlags(uint32_t mode) {
  switch (mode & 0xF0) {
    case fmShareExclusive: return 0;
    case fmShareDenyWrite: return FILE_SHARE_READ;
    case fmShareDenyRead: return FILE_SHARE_WRITE;
    case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;  // compatibility mode behaves as exclusive on NT
  }
}

TFileHandle Checked(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) {
    lastFileError = static_cast<int>(GetLastError());
    return InvalidFileHandle;
  }
  return reinterpret_cast<TFileHandle>(h);
}

HANDLE AsHandle(TFileHandle h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

TFileHandle FileOpen(const std::string& fileName, uint32_t mode) {
  static const DWORD access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  if ((mode & 3) > 2) return InvalidFileHandle;
  return Checked(CreateFileA(fileName.c_str(), access[mode & 3], ShareFlags(mode), nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
}

TFileHandle FileCreate(const std::string& fileName, uint32_t shareMode) {
  return Checked(CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, ShareFlags(shareMode), nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int32_t FileRead(TFileHandle handle, void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || !ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    lastFileError = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t FileWrite(TFileHandle handle, const void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || !WriteFile(AsHandle(handle), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    lastFileError = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<int32_t>(done);
}

int64_t FileSeek(TFileHandle handle, int64_t offset, int origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  DWORD method = origin == 1 ? FILE_CURRENT : origin == 2 ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(AsHandle(handle), distance, &result, method)) {
    lastFileError = static_cast<int>(GetLastError());
    return -1;
  }
  return result.QuadPart;
}

bool FileTruncate(TFileHandle handle) {
  if (SetEndOfFile(AsHandle(handle))) return true;
  lastFileError = static_cast<int>(GetLastError());
  return false;
}

void FileClose(TFileHandle handle) {
  if (handle != InvalidFileHandle) CloseHandle(AsHandle(handle));
}

bool FileExists(const std::string& fileName) {
  DWORD attributes = GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileDelete(const std::string& fileName) {
  if (DeleteFileA(fileName.c_str())) return true;
  lastFileError = static_cast<int>(GetLastError());
  return false;
}

int LastFileError() { return lastFileError; }
