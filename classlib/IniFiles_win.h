#pragma once
// INI files through the Windows profile routines (GetPrivateProfileString and
// WritePrivateProfileString): section and key reads with defaults, writes, lists.
// A file name without a folder refers to the Windows folder, as the profile
// routines take it; pass a full path for any other file. Windows tree only.
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/System.h"

// Raised when a write is refused by the system.
VELMORA_EXCEPTION(EIniFileException, Exception)

class TIniFile : public TObject {
  VELMORA_CLASS(TIniFile, TObject)

 public:
  explicit TIniFile(std::string fileName);
  TIniFile() = default;

  const std::string& FileName() const { return fileName_; }

  // The value, or `defaultValue` when the key or section is missing. Values of any
  // length are read whole. The profile routines strip blanks and one pair of quotes.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal or hexadecimal ("0x1F", "$1F"); `defaultValue` when missing or not a number.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  // An integer value: non-zero is true; `defaultValue` when missing or not a number.
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // Writes raise EIniFileException when the system refuses them.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // Key names of a section, in file order; empty when there is no such section.
  std::vector<std::string> ReadSection(const std::string& section) const;
  // Section names, in file order.
  std::vector<std::string> ReadSections() const;
  // "key=value" lines of a section, in file order.
  std::vector<std::string> ReadSectionValues(const std::string& section) const;
  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;

  void DeleteKey(const std::string& section, const std::string& key);
  void EraseSection(const std::string& section);
  // Flushes the system's cached copy of the file to disk.
  void UpdateFile();

 private:
  // The raw profile read of (section, key) where null means "all names".
  std::vector<char> ReadRaw(const char* section, const char* key, const char* defaultValue,
                            bool isList) const;
  void Write(const char* section, const char* key, const char* value);

  std::string fileName_;
};
