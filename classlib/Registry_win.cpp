#include "classlib/Registry_win.h"

#include "classlib/Registry.h"

TRegistry::TRegistry(REGSAM access) : access_(access) {}
TRegistry::TRegistry() : TRegistry(KEY_ALL_ACCESS) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  rootKey_ = root;
}

HKEY TRegistry::OpenRaw(const std::string& key, REGSAM access, bool canCreate,
                        std::string& newPath) const {
  const TRegistryKeyPath path = ResolveRegistryKeyPath(currentPath_, currentKey_ != nullptr, key);
  HKEY base = path.RelativeToCurrent ? currentKey_ : rootKey_;
  HKEY opened = nullptr;
  LONG rc;
  if (canCreate) {
    rc = RegCreateKeyExA(base, path.SubKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                         nullptr, &opened, nullptr);
  } else {
    rc = RegOpenKeyExA(base, path.SubKey.c_str(), 0, access, &opened);
  }
  if (rc != ERROR_SUCCESS) return nullptr;
  newPath = path.NewPath;
  return opened;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::string newPath;
  HKEY opened = OpenRaw(key, access_, canCreate, newPath);
  if (!opened) return false;
  CloseKey();
  currentKey_ = opened;
  currentPath_ = newPath;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  std::string newPath;
  HKEY opened = OpenRaw(key, KEY_READ, false, newPath);
  if (!opened) return false;
  CloseKey();
  currentKey_ = opened;
  currentPath_ = newPath;
  return true;
}

void TRegistry::CloseKey() {
  if (currentKey_) RegCloseKey(currentKey_);
  currentKey_ = nullptr;
  currentPath_.clear();
}

bool TRegistry::KeyExists(const std::string& key) {
  std::string ignored;
  HKEY opened = OpenRaw(key, KEY_READ, false, ignored);
  if (!opened) return false;
  RegCloseKey(opened);
  return true;
}

bool TRegistry::CreateKey(const std::string& key) {
  std::string ignored;
  HKEY opened = OpenRaw(key, access_, true, ignored);
  if (!opened) return false;
  RegCloseKey(opened);
  return true;
}

bool TRegistry::DeleteKey(const std::string& key) {
  const TRegistryKeyPath path = ResolveRegistryKeyPath(currentPath_, currentKey_ != nullptr, key);
  if (path.SubKey.empty()) return false;  // never the base key itself
  HKEY base = path.RelativeToCurrent ? currentKey_ : rootKey_;
  return RegDeleteKeyA(base, path.SubKey.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::QueryValue(const std::string& name, DWORD& type, std::vector<uint8_t>& data) const {
  if (!currentKey_) return false;
  // The size can change between the two calls; ask again while it grows.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return false;
    data.assign(size, 0);
    LONG rc = RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type,
                               data.empty() ? nullptr : data.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return false;
    data.resize(size);
    return true;
  }
  return false;
}

bool TRegistry::ValueExists(const std::string& name) const { return GetDataSize(name) >= 0; }

int TRegistry::GetDataSize(const std::string& name) const {
  if (!currentKey_) return -1;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return -1;
  return static_cast<int>(size);
}

std::string TRegistry::ReadString(const std::string& name) const {
  DWORD type = 0;
  std::vector<uint8_t> data;
  if (!QueryValue(name, type, data)) return "";
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw ERegistryException("Invalid data type for '" + name + "'");
  std::string text(data.begin(), data.end());
  // Stored strings usually carry their terminator, but need not.
  size_t end = text.find('\0');
  if (end != std::string::npos) text.resize(end);
  return text;
}

int TRegistry::ReadInteger(const std::string& name) const {
  DWORD type = 0;
  std::vector<uint8_t> data;
  if (!QueryValue(name, type, data) || type != REG_DWORD || data.size() != 4)
    throw ERegistryException("Invalid data type for '" + name + "'");
  uint32_t value = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                   uint32_t(data[3]) << 24;
  return static_cast<int>(value);
}

std::vector<uint8_t> TRegistry::ReadBinaryData(const std::string& name) const {
  DWORD type = 0;
  std::vector<uint8_t> data;
  if (!QueryValue(name, type, data)) throw ERegistryException("Invalid data type for '" + name + "'");
  return data;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (!currentKey_) return names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyA(currentKey_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::vector<char> buffer(longest + 2);
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegEnumValueA(currentKey_, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS)
      names.emplace_back(buffer.data(), length);
  }
  return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  std::vector<std::string> names;
  if (!currentKey_) return names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyA(currentKey_, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::vector<char> buffer(longest + 2);
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegEnumKeyExA(currentKey_, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS)
      names.emplace_back(buffer.data(), length);
  }
  return names;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!currentKey_ ||
      RegSetValueExA(currentKey_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  DWORD data = static_cast<DWORD>(value);
  if (!currentKey_ || RegSetValueExA(currentKey_, name.c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&data), 4) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

void TRegistry::WriteBinaryData(const std::string& name, const std::vector<uint8_t>& data) {
  if (!currentKey_ || RegSetValueExA(currentKey_, name.c_str(), 0, REG_BINARY, data.data(),
                                     static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

bool TRegistry::DeleteValue(const std::string& name) {
  return currentKey_ && RegDeleteValueA(currentKey_, name.c_str()) == ERROR_SUCCESS;
}
