#pragma once
// Registry access over the Win32 registry routines: open a key below one of the root
// keys (HKEY_CURRENT_USER by default, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, ...),
// read its values, list its values and subkeys, and write (tests and settings use it).
// Windows tree only.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/System.h"

// Raised when a value has another type than asked for, is missing where a value is
// required, or a write fails.
VELMORA_EXCEPTION(ERegistryException, Exception)

class TRegistry : public TObject {
  VELMORA_CLASS(TRegistry, TObject)

 public:
  // Keys are opened with `access` (KEY_ALL_ACCESS by default; OpenKeyReadOnly uses
  // KEY_READ for the one call).
  explicit TRegistry(REGSAM access);
  TRegistry();
  ~TRegistry() override;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return rootKey_; }
  // Closes the open key, then uses `root` for later opens.
  void SetRootKey(HKEY root);
  HKEY CurrentKey() const { return currentKey_; }
  // Path of the open key below the root, without a leading "\"; "" when none.
  const std::string& CurrentPath() const { return currentPath_; }
  REGSAM Access() const { return access_; }
  void SetAccess(REGSAM access) { access_ = access; }

  // Opens `key` ("\A\B" from the root; "A\B" below the open key, or the root when
  // none is open), creating it when `canCreate`. The key opened before is closed
  // only on success. Returns whether the key is open now.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  // Whether `key` exists (same path rules); opens nothing that stays open.
  bool KeyExists(const std::string& key);
  bool CreateKey(const std::string& key);
  bool DeleteKey(const std::string& key);  // a key without subkeys

  bool ValueExists(const std::string& name) const;
  // Size of the value's data in bytes, or -1 when there is no such value.
  int GetDataSize(const std::string& name) const;
  // REG_SZ or REG_EXPAND_SZ text; "" when the value is missing. Other types raise.
  std::string ReadString(const std::string& name) const;
  // REG_DWORD; raises when missing or of another type.
  int ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }
  // Raw bytes of any type; raises when missing.
  std::vector<uint8_t> ReadBinaryData(const std::string& name) const;
  std::vector<std::string> GetValueNames() const;
  std::vector<std::string> GetKeyNames() const;

  // Writes to the open key; raise on failure.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int value);
  void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }
  void WriteBinaryData(const std::string& name, const std::vector<uint8_t>& data);
  bool DeleteValue(const std::string& name);

 private:
  // Opens `key` under the path rules with `access`; the caller owns the result.
  HKEY OpenRaw(const std::string& key, REGSAM access, bool canCreate, std::string& newPath) const;
  bool QueryValue(const std::string& name, DWORD& type, std::vector<uint8_t>& data) const;

  HKEY rootKey_ = HKEY_CURRENT_USER;
  HKEY currentKey_ = nullptr;
  std::string currentPath_;
  REGSAM access_ = KEY_ALL_ACCESS;
};
