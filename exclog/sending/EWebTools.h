#pragma once
// The pure half of the web transport: URL split, URL and form encodings, the
// multipart body, the redirect decision, progress arithmetic and WinINet's error
// texts. The WinINet glue (EWinInet_win) and the connection (EWebConnection)
// build on these.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace exclog {

// Ordered name=value pairs: form fields, file fields (name, path), web fields.
using TFieldList = std::vector<std::pair<std::string, std::string>>;

// Replaces the value of the first field called `name`, or adds it at the end.
void SetField(TFieldList& fields, const std::string& name, const std::string& value);
// The value of the first field called `name`; nothing when there is none.
std::optional<std::string> FieldValue(const TFieldList& fields, std::string_view name);
// "name=value" lines to pairs; a line without "=" becomes a name with an empty value.
TFieldList FieldsFromLines(const std::vector<std::string>& lines);

// A URL taken apart. `Valid` is false when the port is not a number of 1-5 digits
// up to 65535 (a truncated port would reach some other service).
struct TUrlParts {
  std::string Scheme;     // as written; empty when none or not a valid scheme
  std::string User;
  std::string Password;
  std::string Host;
  uint32_t Port = 0;      // 0 when the URL names none
  std::string Directory;  // always starts and ends with "/"
  std::string Page;       // after the last "/", without the query
  std::string Query;      // after "?", without it
  bool Valid = true;
};
TUrlParts SplitUrl(std::string_view url);

// Default port of a connection: `port` when non-zero, else 443 for "https" (any
// case) and 80 for anything else.
uint32_t DefaultPort(const TUrlParts& url);
bool IsHttpsScheme(std::string_view scheme);

// Letters and digits stay; every other byte becomes "%" and two upper-case
// hexadecimal digits.
std::string UrlEncode(std::string_view text);
// name=value pairs, both URL-encoded, joined by "&".
std::string FormBody(const TFieldList& fields);
// `query` with the fields appended: after "?" when the query is empty, else "&".
// Returns the part to put after the page ("" when both are empty, else "?...").
std::string QueryWithFields(const std::string& query, const TFieldList& fields);

// "---------------------------" and three 4-digit hexadecimal numbers.
std::string MultipartBoundary(uint16_t a, uint16_t b, uint16_t c);
// The largest file a multipart body carries: each is held whole in memory.
constexpr size_t MaxUploadFileBytes = 64u << 20;
// The multipart body: every form field, every file field (a missing or unreadable
// file gives its part with an empty file name), then the closing boundary. Each
// file is read whole; a file larger than `maxFileBytes` counts as missing, so
// senders check OversizedFile first.
std::string MultipartBody(const std::string& boundary, const TFieldList& formFields,
                          const TFieldList& fileFields, size_t maxFileBytes = MaxUploadFileBytes);
// The path of the first file field whose file is there but larger than
// `maxFileBytes` ("" when none): an upload without it must fail, not go out empty.
std::string OversizedFile(const TFieldList& fileFields, size_t maxFileBytes = MaxUploadFileBytes);
// The error text of such a file.
std::string OversizedFileText(const std::string& path);
// The file name without its folder ("/" or "\\" separated).
std::string FileNameOnly(std::string_view path);

// Where a reply sends the exchange next: a 301, 302 or 303 to its "Location"; a 200
// whose "Refresh" header holds "url=" (any case) to the trimmed text after it.
// Nothing when the reply stays.
std::optional<std::string> RedirectTarget(int status, std::string_view location,
                                          std::string_view refresh);
// The object to request after a redirect from the page at `directory`: an
// absolute URL gives its path and query, a path from the root stays, anything
// else is taken relative to `directory`.
std::string RedirectObject(const std::string& directory, std::string_view target);
// Redirects followed in one exchange before it ends with an error.
constexpr int MaxRedirects = 10;
// A page body larger than this ends the exchange with an error.
constexpr size_t MaxResponseBytes = 16u << 20;
// Written text of the two limits, kept as the response's error message.
extern const char* const TooManyRedirectsText;
extern const char* const ResponseTooLargeText;

// Progress of the body upload: min(written * 100 / total, 50), rounded to the
// nearest; 50 for an empty body.
int UploadProgress(uint64_t written, uint64_t total);
// Progress of the reply: 50 + read * 50 / length, rounded; a length of 0 counts
// as 1; never above 100.
int DownloadProgress(uint64_t read, uint64_t length);

// Writes `body` through `write` in blocks of `block` bytes, calling `after` with
// the bytes written so far after each block. False at the first failed write.
bool WriteInBlocks(std::string_view body, size_t block,
                   const std::function<bool(const char* data, size_t size)>& write,
                   const std::function<void(uint64_t written)>& after);

// What a connection event does to the progress window: the status text to show
// and the bar's move.
struct TNotifyStep {
  int TextIndex = -1;   // text of the options' table; -1: none
  bool Reset = false;   // bar to 0 first
  int Add = 0;          // then added
  int SetTo = -1;       // or set to this; -1: not set
};
TNotifyStep NotifyStep(int event, int value);

// The built-in text of a WinINet error code; empty when the table has no row.
std::string_view WinInetTableText(uint32_t code);
// Rows in the table (for checks).
size_t WinInetTableSize();

// Control characters of a page body become blanks.
void BlankControlCharacters(std::string& text);

// Case-insensitive (ASCII) find; npos when absent.
size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0);
bool SameTextNoCase(std::string_view a, std::string_view b);
std::string Trimmed(std::string_view text);

}  // namespace exclog
