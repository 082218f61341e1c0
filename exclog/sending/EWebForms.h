#pragma once
// Reading the forms of a tracker's HTML pages: a tag scanner that honours quotes,
// attribute values with entities decoded, and the lookups the tracker dialogues
// make (input value, text area, selected option, option by its text, the token
// after a marker). Pages come from outside: every scan stays inside the page and
// takes time linear in its length.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace exclog {

// One tag found by FindTag: its text from "<" up to (not including) its closing
// ">", and the page positions of its start and of the first character after it.
struct TFoundTag {
  std::string_view Text;
  size_t Start = 0;
  size_t End = 0;
};

// Scans tags of a page. A tag starts at `tagStart` (any case) and ends at the
// first `tagEnd` outside double or single quotes. When a quote never closes, that
// tag and every later one ends at its first `tagEnd` regardless of quotes, so a
// hostile page costs one pass.
class TTagScanner {
 public:
  explicit TTagScanner(std::string_view page) : page_(page) {}
  std::optional<TFoundTag> FindTag(std::string_view tagStart, size_t from, char tagEnd = '>');
  std::string_view Page() const { return page_; }

 private:
  std::string_view page_;
  bool quotesRunOut_ = false;
};

// The value of attribute `name` of a tag text (blanks around "=" allowed, one
// pair of quotes stripped, a trailing "/" of an empty-element tag dropped,
// entities decoded); nothing when the tag has no such attribute. An attribute
// without "=" gives an empty value.
std::optional<std::string> TagAttribute(std::string_view tag, std::string_view name);

// Decodes "&amp;", "&quot;", "&lt;", "&gt;", "&nbsp;", "&apos;" and "&#n;" (n of
// 1-255) in one pass: what an entity produces is never decoded again. Anything
// else stays as written.
std::string DecodeEntities(std::string_view text);

// The value of the first <input> called `name`.
std::optional<std::string> FindInput(std::string_view page, std::string_view name);
// The decoded text between the <textarea> called `name` and its end tag.
std::optional<std::string> FindTextArea(std::string_view page, std::string_view name);
// The value of the option marked "selected" in the <select> called `name` (its
// text when it has no value); nothing when there is no such select or option.
std::optional<std::string> FindSelected(std::string_view page, std::string_view name);
// Whether the page has a <select> called `name`.
bool HasSelect(std::string_view page, std::string_view name);
// The value of the option of that select whose trimmed text equals `optionText`.
std::optional<std::string> FindOption(std::string_view page, std::string_view name,
                                      std::string_view optionText);
// The characters after the k-th (from 1) occurrence of `marker` up to the first
// blank, "\"", "&", "'", "<", ">" or "\\"; empty when the marker occurs fewer times.
std::string TextAfter(std::string_view page, std::string_view marker, int occurrence = 1);

}  // namespace exclog
