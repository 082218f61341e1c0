#include "exclog/sending/EDns.h"

namespace exclog {

namespace {

constexpr uint8_t QueryId = 0x41;
constexpr uint16_t TypeMx = 15;
constexpr uint16_t ClassIn = 1;
constexpr size_t MaxName = 255;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Reads the name at `at`; `next` is the offset after it where it stands (after the
// first pointer when it has one). False on any fault.
bool ReadName(const uint8_t* data, size_t size, size_t at, std::string& name, size_t& next) {
  name.clear();
  bool jumped = false;
  size_t encoded = 0;
  while (true) {
    if (at >= size) return false;
    const uint8_t length = data[at];
    if ((length & 0xC0) == 0xC0) {
      if (at + 1 >= size) return false;
      const size_t target = static_cast<size_t>(length & 0x3F) << 8 | data[at + 1];
      if (target >= at) return false;  // only backwards: no loop, no read ahead
      if (!jumped) next = at + 2;
      jumped = true;
      at = target;
      continue;
    }
    if (length & 0xC0) return false;  // the reserved label kinds
    if (length == 0) {
      if (!jumped) next = at + 1;
      return true;
    }
    if (at + 1 + length > size) return false;
    encoded += length + 1u;
    if (encoded > MaxName) return false;
    if (!name.empty()) name += '.';
    for (size_t i = 0; i < length; ++i) {
      const uint8_t c = data[at + 1 + i];
      if (c <= 32 || c >= 127 || c == '.') return false;  // it becomes a host name
      name += static_cast<char>(c);
    }
    at += 1u + length;
  }
}

}  // namespace

std::string MailDomain(std::string_view address) {
  const size_t at = address.find('@');
  return std::string(at == std::string_view::npos ? address : address.substr(at + 1));
}

std::vector<uint8_t> MxQuery(std::string_view domain) {
  if (!domain.empty() && domain.back() == '.') domain.remove_suffix(1);
  std::vector<uint8_t> query = {QueryId, QueryId, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0};
  if (domain.empty()) return {};
  size_t start = 0;
  while (start <= domain.size()) {
    size_t end = domain.find('.', start);
    if (end == std::string_view::npos) end = domain.size();
    const size_t length = end - start;
    if (length == 0 || length > 63) return {};
    query.push_back(static_cast<uint8_t>(length));
    query.insert(query.end(), domain.begin() + start, domain.begin() + end);
    start = end + 1;
  }
  if (query.size() - 12 + 1 > MaxName) return {};
  query.push_back(0);
  query.insert(query.end(), {0x00, 0x0F, 0x00, 0x01});
  return query;
}

std::string ParseMxReply(const uint8_t* data, size_t size) {
  if (!data || size < 12) return "";
  if (data[0] != QueryId || data[1] != QueryId) return "";
  if (!(data[2] & 0x80) || (data[3] & 0x0F) != 0) return "";
  const uint16_t questions = Word(data + 4);
  const uint16_t answers = Word(data + 6);
  size_t at = 12;
  std::string name;
  for (uint16_t q = 0; q < questions; ++q) {
    if (!ReadName(data, size, at, name, at) || at + 4 > size) return "";
    at += 4;
  }
  for (uint16_t a = 0; a < answers; ++a) {
    if (!ReadName(data, size, at, name, at) || at + 10 > size) return "";
    const uint16_t type = Word(data + at);
    const uint16_t klass = Word(data + at + 2);
    const uint16_t length = Word(data + at + 8);
    const size_t rdata = at + 10;
    if (rdata + length > size) return "";
    at = rdata + length;
    if (type != TypeMx || klass != ClassIn || length < 3) continue;
    size_t after = 0;
    std::string exchange;
    if (ReadName(data, size, rdata + 2, exchange, after) && after <= at && !exchange.empty()) return exchange;
  }
  return "";
}

}  // namespace exclog
