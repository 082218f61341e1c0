#include "classlib/IniFiles_win.h"

#include <windows.h>

#include "classlib/IniFiles.h"

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::vector<char> TIniFile::ReadRaw(const char* section, const char* key, const char* defaultValue,
                                    bool isList) const {
  // The routines truncate silently to the buffer; a result that fills it (less its
  // one or two terminators) may have been cut, so read again with more room.
  std::vector<char> buffer(1024);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD got = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size,
                                         fileName_.c_str());
    const DWORD fullMark = isList ? size - 2 : size - 1;
    if (got < fullMark || buffer.size() >= (64u << 20)) {
      buffer.resize(got);
      return buffer;
    }
    buffer.assign(buffer.size() * 4, '\0');
  }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  std::vector<char> raw = ReadRaw(section.c_str(), key.c_str(), defaultValue.c_str(), false);
  return std::string(raw.begin(), raw.end());
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const {
  return ParseIniInteger(ReadString(section, key, "")).value_or(defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::Write(const char* section, const char* key, const char* value) {
  if (!WritePrivateProfileStringA(section, key, value, fileName_.c_str()))
    throw EIniFileException("Unable to write to " + fileName_);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  Write(section.c_str(), key.c_str(), value.c_str());
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, IniBoolText(value));
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  std::vector<char> raw = ReadRaw(section.c_str(), nullptr, "", true);
  return SplitZeroList(raw.data(), raw.size());
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<char> raw = ReadRaw(nullptr, nullptr, "", true);
  return SplitZeroList(raw.data(), raw.size());
}

std::vector<std::string> TIniFile::ReadSectionValues(const std::string& section) const {
  std::vector<std::string> lines;
  for (const std::string& key : ReadSection(section)) lines.push_back(key + "=" + ReadString(section, key, ""));
  return lines;
}

bool TIniFile::SectionExists(const std::string& section) const {
  // A section whose keys were all deleted still exists in the file, but like the
  // profile routines we only see it through its keys.
  return !ReadSection(section).empty();
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  for (const std::string& name : ReadSection(section))
    if (lstrcmpiA(name.c_str(), key.c_str()) == 0) return true;
  return false;
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  Write(section.c_str(), key.c_str(), nullptr);
}

void TIniFile::EraseSection(const std::string& section) {
  Write(section.c_str(), nullptr, nullptr);
}

void TIniFile::UpdateFile() {
  // The flush form of the call is documented to return FALSE whatever happened (and
  // does under Wine), so its result tells nothing.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, fileName_.c_str());
}
