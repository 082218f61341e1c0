#pragma once
// The XML log: a small element builder and the exporter that re-reads the text
// log's entries section by section. Pure: the file is written by the Win32 glue
// (ELogManager_win.h).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/report/ELogManager.h"

namespace exclog {

class TXMLItem;

// The elements of one level; owns them and frees them last to first.
class TXMLItems {
 public:
  TXMLItems() = default;
  TXMLItems(const TXMLItems&) = delete;
  TXMLItems& operator=(const TXMLItems&) = delete;
  ~TXMLItems();

  TXMLItem* Add(std::string_view name);
  int Count() const { return static_cast<int>(items_.size()); }
  TXMLItem* Item(int index) const { return items_[static_cast<size_t>(index)].get(); }
  // Each element rendered at its own indentation.
  std::string Render() const;

 private:
  friend class TXMLItem;
  std::vector<std::unique_ptr<TXMLItem>> items_;
};

class TXMLItem {
 public:
  explicit TXMLItem(std::string_view name) : Name(name) {}

  std::string Name;
  std::string Reserved;    // kept empty
  std::string Text;        // written escaped between the tags
  std::string Attributes;  // ` name="value"` for each attribute, values escaped
  std::string Indent;
  TXMLItems Children;
  TXMLItem* Parent = nullptr;

  TXMLItem* AddChild(std::string_view name);
  void AddAttribute(std::string_view name, std::string_view value);
  // Indent + "<Name" + attributes, then "/>" CR LF without text and children,
  // else the text, the children two blanks further in and the closing tag.
  std::string Render() const { return RenderAt(Indent); }
  std::string RenderAt(const std::string& indent) const;
};

// An attribute value or text as XML: '"', '&', ''', '<', '>', 127 and the
// references 9, 10 and 13 as "&#" + at least three digits + ";"; other control
// characters as "?"; bytes 128-255 as the code point the ANSI code page gives them.
std::string EscapeXmlText(std::string_view text);

// The code points of bytes 128-255 (windows-1252 until set). The Win32 start-up
// sets the system's ANSI code page.
void SetAnsiUpperHalf(const std::array<uint16_t, 128>& codePoints);

// The XML document of every entry of `log`. Enciphered call-stack names are read
// with `passPhrase` when it is not empty.
std::string LogToXml(const TLogEntries& log, std::string_view passPhrase);

// The version an entry's banner names (its first line from the eleventh character).
std::string LogEntryVersion(std::string_view entry);

// A call-stack name as the walker writes it when names are enciphered: the bytes
// enciphered with the pass phrase's key, as upper-case hexadecimal pairs.
std::string EncipherName(std::string_view name, std::string_view passPhrase);
// The inverse; nothing sensible for a text that is not such pairs (returned as is).
std::string DecipherName(std::string_view text, std::string_view passPhrase);

}  // namespace exclog
