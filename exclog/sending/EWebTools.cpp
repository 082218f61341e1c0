#include "exclog/sending/EWebTools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace exclog {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void SetField(TFieldList& fields, const std::string& name, const std::string& value) {
  for (auto& f : fields)
    if (f.first == name) {
      f.second = value;
      return;
    }
  fields.emplace_back(name, value);
}

std::optional<std::string> FieldValue(const TFieldList& fields, std::string_view name) {
  for (const auto& f : fields)
    if (f.first == name) return f.second;
  return std::nullopt;
}

TFieldList FieldsFromLines(const std::vector<std::string>& lines) {
  TFieldList out;
  for (const auto& line : lines) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      out.emplace_back(line, "");
    else
      out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

TUrlParts SplitUrl(std::string_view url) {
  TUrlParts parts;
  std::string_view rest = url;
  size_t sep = rest.find("://");
  if (sep != std::string_view::npos && sep > 0) {
    std::string_view scheme = rest.substr(0, sep);
    bool ok = std::all_of(scheme.begin(), scheme.end(), [](char c) {
      return IsAlnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    });
    if (ok) {
      parts.Scheme = std::string(scheme);
      rest = rest.substr(sep + 3);
    }
  }
  size_t q = rest.find('?');
  if (q != std::string_view::npos) {
    parts.Query = std::string(rest.substr(q + 1));
    rest = rest.substr(0, q);
  }
  size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    size_t colon = userInfo.find(':');
    parts.User = std::string(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) parts.Password = std::string(userInfo.substr(colon + 1));
  }
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
    if (!port.empty()) {
      if (!AllDigits(port) || port.size() > 5) {
        parts.Valid = false;
      } else {
        uint32_t value = 0;
        for (char c : port) value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 65535)
          parts.Valid = false;
        else
          parts.Port = value;
      }
    }
  }
  parts.Host = std::string(authority);
  size_t last = path.rfind('/');
  parts.Directory = std::string(path.substr(0, last + 1));
  parts.Page = std::string(path.substr(last + 1));
  return parts;
}

bool IsHttpsScheme(std::string_view scheme) { return SameTextNoCase(scheme, "https"); }

uint32_t DefaultPort(const TUrlParts& url) {
  if (url.Port) return url.Port;
  return IsHttpsScheme(url.Scheme) ? 443 : 80;
}

std::string UrlEncode(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (IsAlnum(c)) {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string FormBody(const TFieldList& fields) {
  std::string out;
  for (const auto& f : fields) {
    if (!out.empty()) out += '&';
    out += UrlEncode(f.first);
    out += '=';
    out += UrlEncode(f.second);
  }
  return out;
}

std::string QueryWithFields(const std::string& query, const TFieldList& fields) {
  std::string q = query;
  std::string added = FormBody(fields);
  if (!added.empty()) q += (q.empty() ? "" : "&") + added;
  return q.empty() ? std::string() : "?" + q;
}

std::string MultipartBoundary(uint16_t a, uint16_t b, uint16_t c) {
  char tail[16];
  std::snprintf(tail, sizeof tail, "%.4X%.4X%.4X", a, b, c);
  return "---------------------------" + std::string(tail);
}

std::string FileNameOnly(std::string_view path) {
  size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
  if (path.empty()) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > maxBytes) return std::nullopt;
  in.seekg(0, std::ios::beg);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0 && !in.read(bytes.data(), size)) return std::nullopt;
  return bytes;
}

}  // namespace

std::string OversizedFile(const TFieldList& fileFields, size_t maxFileBytes) {
  for (const auto& f : fileFields) {
    if (f.second.empty()) continue;
    std::ifstream in(f.second, std::ios::binary | std::ios::ate);
    if (!in) continue;
    const std::streamoff size = in.tellg();
    if (size > 0 && static_cast<uint64_t>(size) > maxFileBytes) return f.second;
  }
  return "";
}

std::string OversizedFileText(const std::string& path) {
  return "The file \"" + FileNameOnly(path) + "\" is larger than " + std::to_string(MaxUploadFileBytes >> 20) +
         " MiB and cannot be sent.";
}

std::string MultipartBody(const std::string& boundary, const TFieldList& formFields,
                          const TFieldList& fileFields, size_t maxFileBytes) {
  const std::string open = "--" + boundary + "\r\n";
  std::string body;
  for (const auto& f : formFields)
    body += open + "Content-Disposition: form-data; name=\"" + f.first + "\";\r\n\r\n" + f.second +
            "\r\n";
  for (const auto& f : fileFields) {
    std::optional<std::string> bytes = ReadWholeFile(f.second, maxFileBytes);
    body += open + "Content-Disposition: form-data; name=\"" + f.first + "\"; filename=\"" +
            (bytes ? FileNameOnly(f.second) : std::string()) + "\";\r\n" +
            "Content-Type: application/octet-stream\r\n\r\n";
    if (bytes) body += *bytes;
    body += "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  return body;
}

std::optional<std::string> RedirectTarget(int status, std::string_view location,
                                          std::string_view refresh) {
  if (status == 301 || status == 302 || status == 303) {
    std::string target = Trimmed(location);
    if (target.empty()) return std::nullopt;
    return target;
  }
  if (status == 200) {
    size_t at = FindNoCase(refresh, "url=");
    if (at == std::string_view::npos) return std::nullopt;
    std::string target = Trimmed(refresh.substr(at + 4));
    // A quoted target ("url='next.php'") is the same address.
    if (target.size() >= 2 && (target.front() == '\'' || target.front() == '"') &&
        target.back() == target.front())
      target = target.substr(1, target.size() - 2);
    if (target.empty()) return std::nullopt;
    return target;
  }
  return std::nullopt;
}

std::string RedirectObject(const std::string& directory, std::string_view target) {
  size_t sep = target.find("://");
  if (sep != std::string_view::npos) {
    TUrlParts parts = SplitUrl(target);
    return parts.Directory + parts.Page + (parts.Query.empty() ? "" : "?" + parts.Query);
  }
  if (!target.empty() && target.front() == '/') return std::string(target);
  return directory + std::string(target);
}

const char* const TooManyRedirectsText = "The page redirects more than 10 times.";
const char* const ResponseTooLargeText = "The page is larger than 16 MiB.";

int UploadProgress(uint64_t written, uint64_t total) {
  if (total == 0) return 50;
  double p = std::round(static_cast<double>(written) * 100.0 / static_cast<double>(total));
  return static_cast<int>(std::min(p, 50.0));
}

int DownloadProgress(uint64_t read, uint64_t length) {
  if (length == 0) length = 1;
  double p = 50.0 + std::round(static_cast<double>(read) * 50.0 / static_cast<double>(length));
  return static_cast<int>(std::min(p, 100.0));
}

bool WriteInBlocks(std::string_view body, size_t block,
                   const std::function<bool(const char* data, size_t size)>& write,
                   const std::function<void(uint64_t written)>& after) {
  if (block == 0) return false;
  size_t done = 0;
  while (done < body.size()) {
    size_t n = std::min(block, body.size() - done);
    if (!write(body.data() + done, n)) return false;
    done += n;
    if (after) after(done);
  }
  return true;
}

TNotifyStep NotifyStep(int event, int value) {
  TNotifyStep s;
  switch (event) {
    case 0: s.TextIndex = 114; s.Reset = true; s.Add = 5; break;
    case 1: s.TextIndex = 115; s.Add = 5; break;
    case 2: s.TextIndex = 113; s.Add = 5; break;
    case 3: s.TextIndex = 118; s.Add = 5; break;
    case 4: s.TextIndex = 119; s.Add = 5; break;
    case 5: s.TextIndex = 120; s.Add = 5; break;
    case 6: {
      int v = std::clamp(value, 0, 100);
      s.TextIndex = 116;
      s.SetTo = static_cast<int>(std::lround(v / 100.0 * 65.0 + 35.0));
      break;
    }
    case 7: s.TextIndex = 117; s.SetTo = 100; break;
    case 8: s.TextIndex = 121; s.SetTo = 100; break;
    case 9: s.TextIndex = 122; s.SetTo = 100; break;
    default: break;
  }
  return s;
}

namespace {

struct TErrorRow {
  uint32_t Code;
  const char* Text;
};

// WinINet's own published texts of its error codes.
constexpr TErrorRow WinInetErrors[] = {
    {12001, "No more handles could be generated at this time."},
    {12002, "The request has timed out."},
    {12003, "An extended error was returned from the server."},
    {12004, "An internal error has occurred."},
    {12005, "The URL is invalid."},
    {12006, "The URL scheme could not be recognized, or is not supported."},
    {12007, "The server name could not be resolved."},
    {12008, "The requested protocol could not be located."},
    {12009, "A request to InternetQueryOption or InternetSetOption specified an invalid option value."},
    {12010, "The length of an option supplied to InternetQueryOption or InternetSetOption is incorrect for the type of option specified."},
    {12011, "The request option cannot be set, only queried."},
    {12012, "The Win32 Internet function support is being shut down or unloaded."},
    {12013, "The request to connect and log on to an FTP server could not be completed because the supplied user name is incorrect."},
    {12014, "The request to connect and log on to an FTP server could not be completed because the supplied password is incorrect."},
    {12015, "The request to connect to and log on to an FTP server failed."},
    {12016, "The requested operation is invalid."},
    {12017, "The operation was canceled, usually because the handle on which the request was operating was closed before the operation completed."},
    {12018, "The type of handle supplied is incorrect for this operation."},
    {12019, "The requested operation cannot be carried out because the handle supplied is not in the correct state."},
    {12020, "The request cannot be made via a proxy."},
    {12021, "A required registry value could not be located."},
    {12022, "A required registry value was located but is an incorrect type or has an invalid value."},
    {12023, "Direct network access cannot be made at this time."},
    {12024, "An asynchronous request could not be made because a zero context value was supplied."},
    {12025, "An asynchronous request could not be made because a callback function has not been set."},
    {12026, "The required operation could not be completed because one or more requests are pending."},
    {12027, "The format of the request is invalid."},
    {12028, "The requested item could not be located."},
    {12029, "The attempt to connect to the server failed."},
    {12030, "The connection with the server has been terminated."},
    {12031, "The connection with the server has been reset."},
    {12032, "Calls for the Win32 Internet function to redo the request."},
    {12033, "The request to the proxy was invalid."},
    {12036, "The request failed because the handle already exists."},
    {12037, "SSL certificate date that was received from the server is bad. The certificate is expired."},
    {12038, "SSL certificate common name (host name field) is incorrect."},
    {12039, "The application is moving from a non-SSL to an SSL connection because of a redirect."},
    {12040, "The application is moving from an SSL to an non-SSL connection because of a redirect."},
    {12041, "The content is not entirely secure. Some of the content being viewed may have come from unsecured servers."},
    {12042, "The application is posting and attempting to change multiple lines of text on a server that is not secure."},
    {12043, "The application is posting data to a server that is not secure."},
    {12044, "The server is requesting client authentication."},
    {12045, "The function is unfamiliar with the Certificate Authority that generated the server's certificate."},
    {12052, "The data being submitted to an SSL connection is being redirected to a non-SSL connection."},
    {12055, "The SSL certificate contains errors."},
    {12110, "The requested operation cannot be made on the FTP session handle because an operation is already in progress."},
    {12111, "The FTP operation was not completed because the session was aborted."},
    {12112, "Passive mode is not available on the server."},
    {12130, "An error was detected while parsing data returned from the Gopher server."},
    {12131, "The request must be made for a file locator."},
    {12132, "An error was detected while receiving data from the Gopher server."},
    {12133, "The end of the data has been reached."},
    {12134, "The supplied locator is not valid."},
    {12135, "The type of the locator is not correct for this operation."},
    {12136, "The requested operation can be made only against a Gopher+ server, or with a locator that specifies a Gopher+ operation."},
    {12137, "The requested attribute could not be located."},
    {12138, "The locator type is unknown."},
    {12150, "The requested header could not be located."},
    {12151, "The server did not return any headers."},
    {12152, "The server response could not be parsed."},
    {12153, "The supplied header is invalid."},
    {12154, "The request made to HttpQueryInfo is invalid."},
    {12155, "The header could not be added because it already exists."},
    {12156, "The redirection failed because either the scheme changed or all attempts made to redirect failed."},
    {12160, "The HTTP request was not redirected."},
    {12161, "The HTTP cookie requires confirmation."},
    {12162, "The HTTP cookie was declined by the server."},
    {12163, "The Internet connection has been lost."},
    {12164, "The Web site or server indicated is unreachable."},
    {12165, "The designated proxy server cannot be reached."},
    {12166, "There was an error in the automatic proxy configuration script."},
    {12167, "The automatic proxy configuration script could not be downloaded."},
    {12168, "The redirection requires user confirmation."},
    {12169, "SSL certificate is invalid."},
    {12170, "SSL certificate was revoked."},
    {12171, "The function failed due to a security check."},
};

}  // namespace

std::string_view WinInetTableText(uint32_t code) {
  for (const auto& row : WinInetErrors)
    if (row.Code == code) return row.Text;
  return {};
}

size_t WinInetTableSize() { return std::size(WinInetErrors); }

void BlankControlCharacters(std::string& text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from) {
  if (what.empty()) return from <= text.size() ? from : std::string_view::npos;
  if (from > text.size() || what.size() > text.size() - from) return std::string_view::npos;
  auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), what.begin(),
                        what.end(), [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
  return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string Trimmed(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace exclog
