#include "exclog/sending/EWebForms.h"

#include "exclog/sending/EWebTools.h"

namespace exclog {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == ':';
}

}  // namespace

std::optional<TFoundTag> TTagScanner::FindTag(std::string_view tagStart, size_t from, char tagEnd) {
  while (from < page_.size()) {
    size_t start = FindNoCase(page_, tagStart, from);
    if (start == std::string_view::npos) return std::nullopt;
    size_t after = start + tagStart.size();
    // "<option" must not match "<optionx": the name ends at a blank, "/" or the end.
    if (after < page_.size() && IsNameChar(page_[after]) && !tagStart.empty() &&
        IsNameChar(tagStart.back())) {
      from = start + 1;
      continue;
    }
    size_t end = std::string_view::npos;
    if (!quotesRunOut_) {
      char quote = 0;
      for (size_t i = after; i < page_.size(); ++i) {
        char c = page_[i];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == tagEnd) {
          end = i;
          break;
        }
      }
      if (end == std::string_view::npos && quote) quotesRunOut_ = true;
    }
    if (quotesRunOut_ && end == std::string_view::npos) end = page_.find(tagEnd, after);
    if (end == std::string_view::npos) return std::nullopt;
    return TFoundTag{page_.substr(start, end - start), start, end + 1};
  }
  return std::nullopt;
}

std::string DecodeEntities(std::string_view text) {
  struct TEntity {
    std::string_view Name;
    char Value;
  };
  static constexpr TEntity named[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'},
                                      {"&gt;", '>'},  {"&nbsp;", ' '}, {"&apos;", '\''}};
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '&') {
      out += c;
      ++i;
      continue;
    }
    bool done = false;
    for (const auto& e : named)
      if (text.substr(i, e.Name.size()) == e.Name) {
        out += e.Value;
        i += e.Name.size();
        done = true;
        break;
      }
    if (done) continue;
    if (i + 1 < text.size() && text[i + 1] == '#') {
      size_t j = i + 2;
      unsigned value = 0;
      // Seven digits at most: a longer number is left as written.
      while (j < text.size() && j - (i + 2) < 8 && text[j] >= '0' && text[j] <= '9')
        value = value * 10 + static_cast<unsigned>(text[j++] - '0');
      size_t digits = j - (i + 2);
      if (digits > 0 && digits <= 7 && j < text.size() && text[j] == ';' && value >= 1 &&
          value <= 255) {
        out += static_cast<char>(value);
        i = j + 1;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

std::optional<std::string> TagAttribute(std::string_view tag, std::string_view name) {
  if (!tag.empty() && tag.front() == '<') tag.remove_prefix(1);
  while (!tag.empty() && IsBlank(tag.back())) tag.remove_suffix(1);
  if (!tag.empty() && tag.back() == '/') tag.remove_suffix(1);
  size_t i = 0;
  while (i < tag.size() && !IsBlank(tag[i])) ++i;  // the tag's own name
  while (i < tag.size()) {
    while (i < tag.size() && (IsBlank(tag[i]) || tag[i] == '/')) ++i;
    size_t nameStart = i;
    while (i < tag.size() && !IsBlank(tag[i]) && tag[i] != '=') ++i;
    std::string_view attr = tag.substr(nameStart, i - nameStart);
    size_t j = i;
    while (j < tag.size() && IsBlank(tag[j])) ++j;
    std::string_view value;
    bool hasValue = j < tag.size() && tag[j] == '=';
    if (hasValue) {
      j++;
      while (j < tag.size() && IsBlank(tag[j])) ++j;
      if (j < tag.size() && (tag[j] == '"' || tag[j] == '\'')) {
        char quote = tag[j];
        size_t close = tag.find(quote, j + 1);
        if (close == std::string_view::npos) close = tag.size();
        value = tag.substr(j + 1, close - j - 1);
        i = close < tag.size() ? close + 1 : close;
      } else {
        size_t k = j;
        while (k < tag.size() && !IsBlank(tag[k])) ++k;
        value = tag.substr(j, k - j);
        i = k;
      }
    }
    if (attr.empty()) {
      if (i == nameStart) ++i;  // a stray "=" names nothing
      continue;
    }
    if (SameTextNoCase(attr, name)) return DecodeEntities(value);
  }
  return std::nullopt;
}

namespace {

// The first tag `tagStart` (such as "<input") whose "name" attribute is `name`.
std::optional<TFoundTag> FindNamedTag(TTagScanner& scanner, std::string_view tagStart,
                                      std::string_view name, size_t from = 0) {
  while (auto tag = scanner.FindTag(tagStart, from)) {
    auto tagName = TagAttribute(tag->Text, "name");
    if (tagName && *tagName == name) return tag;
    from = tag->End;
  }
  return std::nullopt;
}

// The options of the select called `name`: the text between its tag and its end
// tag (or the end of the page).
std::optional<std::string_view> SelectBody(std::string_view page, std::string_view name) {
  TTagScanner scanner(page);
  auto select = FindNamedTag(scanner, "<select", name);
  if (!select) return std::nullopt;
  size_t close = FindNoCase(page, "</select", select->End);
  if (close == std::string_view::npos) close = page.size();
  return page.substr(select->End, close - select->End);
}

// Every option of a select body, in order; `visit` returns true to stop.
template <class Visit>
void ForEachOption(std::string_view body, Visit visit) {
  TTagScanner scanner(body);
  size_t from = 0;
  while (auto tag = scanner.FindTag("<option", from)) {
    size_t textEnd = body.find('<', tag->End);
    if (textEnd == std::string_view::npos) textEnd = body.size();
    std::string text = Trimmed(DecodeEntities(body.substr(tag->End, textEnd - tag->End)));
    std::optional<std::string> value = TagAttribute(tag->Text, "value");
    if (visit(*tag, value ? *value : text, text)) return;
    from = tag->End;
  }
}

}  // namespace

std::optional<std::string> FindInput(std::string_view page, std::string_view name) {
  TTagScanner scanner(page);
  auto tag = FindNamedTag(scanner, "<input", name);
  if (!tag) return std::nullopt;
  return TagAttribute(tag->Text, "value").value_or(std::string());
}

std::optional<std::string> FindTextArea(std::string_view page, std::string_view name) {
  TTagScanner scanner(page);
  auto tag = FindNamedTag(scanner, "<textarea", name);
  if (!tag) return std::nullopt;
  size_t close = FindNoCase(page, "</textarea", tag->End);
  if (close == std::string_view::npos) return std::nullopt;
  return DecodeEntities(page.substr(tag->End, close - tag->End));
}

bool HasSelect(std::string_view page, std::string_view name) {
  return SelectBody(page, name).has_value();
}

std::optional<std::string> FindSelected(std::string_view page, std::string_view name) {
  auto body = SelectBody(page, name);
  if (!body) return std::nullopt;
  std::optional<std::string> found;
  ForEachOption(*body, [&](const TFoundTag& tag, const std::string& value, const std::string&) {
    if (!TagAttribute(tag.Text, "selected")) return false;
    found = value;
    return true;
  });
  return found;
}

std::optional<std::string> FindOption(std::string_view page, std::string_view name,
                                      std::string_view optionText) {
  auto body = SelectBody(page, name);
  if (!body) return std::nullopt;
  std::optional<std::string> found;
  ForEachOption(*body, [&](const TFoundTag&, const std::string& value, const std::string& text) {
    if (text != optionText) return false;
    found = value;
    return true;
  });
  return found;
}

std::string TextAfter(std::string_view page, std::string_view marker, int occurrence) {
  if (marker.empty() || occurrence < 1) return {};
  size_t at = 0;
  size_t pos = std::string_view::npos;
  for (int k = 0; k < occurrence; ++k) {
    pos = page.find(marker, at);
    if (pos == std::string_view::npos) return {};
    at = pos + marker.size();
  }
  size_t end = page.find_first_of(" \"&'<>\\", at);
  if (end == std::string_view::npos) end = page.size();
  return std::string(page.substr(at, end - at));
}

}  // namespace exclog
