#include "exclog/core/EOptionsStream.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "classlib/SysUtils.h"

namespace exclog {

const char* const DefaultHtmlPage =
    "<html>\r\n  <head>\r\n  </head>\r\n  <body TopMargin=10 LeftMargin=10>\r\n"
    "    <table width=\"100%\" border=\"0\">\r\n      <tr>\r\n        <td nowrap>\r\n"
    "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n            <%HTML_TAG%>\r\n"
    "          </font>\r\n        </td>\r\n      </tr>\r\n    </table>\r\n  </body>\r\n</html>";

TCustomizedTexts TQuelbaOptionsData::DefaultTexts() {
  TCustomizedTexts texts;
  for (int i = 0; i < TextCount; ++i) texts[static_cast<size_t>(i)] = std::string(DefaultText(i));
  return texts;
}

bool TOptionsBufferSource::Read(void* buffer, size_t count) {
  if (count > size_ - position_) return false;
  if (count > 0) std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return true;
}

// ---------------------------------------------------------------------------
// Writing

namespace {

void PutByte(std::string& out, uint8_t value) { out += static_cast<char>(value); }

void PutWord(std::string& out, uint16_t value) {
  PutByte(out, static_cast<uint8_t>(value));
  PutByte(out, static_cast<uint8_t>(value >> 8));
}

void PutInt(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) PutByte(out, static_cast<uint8_t>(value >> shift));
}

void PutText(std::string& out, const std::string& text) {
  size_t length = text.size();
  // One trailing line end (the only one in the text) is an editing artefact.
  if (length >= 2 && text.find("\r\n") == length - 2) length -= 2;
  PutInt(out, static_cast<uint32_t>(length));
  // Appended whole, then XOR-ed in place: a byte at a time cost a quarter of a save.
  size_t start = out.size();
  out.append(text, 0, length);
  for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(static_cast<uint8_t>(out[i]) ^ StringXorKey);
}

}  // namespace

void WriteOptionsStream(const TQuelbaOptionsData& d, std::string& out) {
  PutByte(out, d.StreamByte1);
  PutByte(out, d.StreamByte2);
  PutByte(out, d.LogFlags);
  PutByte(out, d.ReportInMailBody);
  PutByte(out, d.SaveLogFile);
  PutByte(out, d.InitialPage);
  PutByte(out, d.FreezeWatch);
  PutInt(out, static_cast<uint32_t>(d.FreezeSeconds));
  PutText(out, d.SenderEmail);
  PutText(out, d.SmtpHost);
  PutWord(out, d.SmtpPort);
  PutText(out, d.SmtpUser);
  PutText(out, d.SmtpPassword);
  PutByte(out, d.TerminateAction);
  PutInt(out, static_cast<uint32_t>(d.LogCapacity));
  PutInt(out, static_cast<uint32_t>(d.TerminateButtonAfter));
  PutText(out, d.MailRecipients);
  PutText(out, d.MailSubject);
  PutByte(out, d.MailMode);
  for (uint8_t b : d.ReportFields) PutByte(out, b);
  PutText(out, d.LogFolder);
  PutByte(out, d.WebSendMode);
  PutText(out, d.WebUrl);
  PutText(out, d.WebUser);
  PutText(out, d.WebPassword);
  PutInt(out, static_cast<uint32_t>(d.WebUrlPort));
  PutText(out, d.AttachedFiles);
  PutWord(out, d.ProcessFlags);
  PutWord(out, d.DialogFlags);
  PutInt(out, static_cast<uint32_t>(d.AutoCloseSeconds));
  PutText(out, d.SupportUrl);
  PutText(out, d.HtmlPage);
  PutByte(out, d.StackDetailFlags);
  PutWord(out, d.CatchFlags);
  PutByte(out, d.StreamByte35);
  PutByte(out, d.ErrorBurstAction);
  PutInt(out, static_cast<uint32_t>(d.ErrorBurstCount));
  PutInt(out, static_cast<uint32_t>(d.ErrorBurstMinutes));
  PutByte(out, d.StreamByte39);
  PutByte(out, d.AskBeforeSending);
  PutText(out, d.ProxyHost);
  PutText(out, d.ProxyUser);
  PutText(out, d.ProxyPassword);
  PutWord(out, d.ProxyPort);
  PutText(out, d.TrackerLogin);
  PutText(out, d.TrackerPassword);
  PutText(out, d.TrackerAssignedTo);
  PutText(out, d.TrackerProject);
  PutText(out, d.TrackerCategory);
  PutText(out, d.FogBugzTrialId);
  PutText(out, d.ArchivePassword);
  PutInt(out, static_cast<uint32_t>(d.Filters.size()));
  for (const TQuelbaExceptionFilter& f : d.Filters) {
    PutByte(out, f.Enabled);
    PutText(out, f.ClassNameText);
    PutText(out, f.MessageText);
    PutByte(out, f.Mode1);
    PutByte(out, f.Mode2);
    PutByte(out, f.Mode3);
    PutByte(out, f.Mode4);
  }
  PutText(out, d.MailBody);
  for (const std::string& text : d.Texts) PutText(out, text);
  PutText(out, d.LanguageName);
}

// ---------------------------------------------------------------------------
// Reading

namespace {

class TReader {
 public:
  explicit TReader(TOptionsByteSource& source) : source_(source) {}

  void Bytes(void* buffer, size_t count) {
    if (!source_.Read(buffer, count)) Fail("Stream read error");
  }
  uint8_t Byte() {
    uint8_t b;
    Bytes(&b, 1);
    return b;
  }
  uint16_t Word() {
    uint8_t b[2];
    Bytes(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  uint32_t UInt() {
    uint8_t b[4];
    Bytes(b, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
  }
  int32_t Int() { return static_cast<int32_t>(UInt()); }
  std::string Text() {
    uint32_t length = UInt();
    // Checked before allocating: a corrupt length must not reserve gigabytes.
    if (length > source_.Remaining()) Fail("Options stream: text length past the end");
    std::string text(length, '\0');
    if (length > 0) Bytes(text.data(), length);
    for (char& c : text) c = static_cast<char>(static_cast<uint8_t>(c) ^ StringXorKey);
    return text;
  }
  uint64_t Remaining() const { return source_.Remaining(); }

  [[noreturn]] static void Fail(const char* message) { throw EReadError(message); }

 private:
  TOptionsByteSource& source_;
};

void SetBit(uint16_t& flags, int bit, bool on) {
  if (on) flags = static_cast<uint16_t>(flags | (1u << bit));
  else flags = static_cast<uint16_t>(flags & ~(1u << bit));
}

bool InList(int i, std::initializer_list<int> list) {
  for (int x : list) {
    if (x == i) return true;
  }
  return false;
}

bool InRange(int i, int lo, int hi) { return i >= lo && i <= hi; }

}  // namespace

bool OptionsStreamHasText(int i, uint16_t v) {
  if (i == 20 && v < 420) return false;
  if (i == 19 && v < 421) return false;
  if (v < 450 && (InList(i, {9, 10, 15, 16, 22, 23, 24, 41, 68, 81, 47, 48}) || i >= 110)) return false;
  if (v < 500 && (InList(i, {25, 42, 131, 144, 145}) || InRange(i, 72, 77) || InRange(i, 84, 91) ||
                  InRange(i, 98, 104)))
    return false;
  if (i == 41 && v < 6000) return false;
  if ((i == 17 || i == 18) && v >= 500 && v < 6000) return false;
  if (v < 6000 && (InList(i, {2, 21, 43, 83, 113}) || InRange(i, 11, 14) || InRange(i, 26, 36) ||
                   InRange(i, 51, 60) || InRange(i, 105, 109) || InRange(i, 117, 122) ||
                   InRange(i, 133, 140) || InRange(i, 146, 157)))
    return false;
  return true;
}

TReportFields MigrateReportFields(const uint8_t* oldBytes, int oldByteCount) {
  TReportFields fields{};
  for (int k = 0; k < oldByteCount && k < 6; ++k) fields[static_cast<size_t>(k)] = oldBytes[k];
  std::string bits;
  for (int i = 0; i < ReportFieldCount; ++i) bits += (fields[i / 8] >> (i % 8)) & 1 ? '1' : '0';
  // The fields added since the old set; positions are 1-based, applied in order.
  struct TInsert {
    size_t Position;
    const char* Ones;
  };
  static const TInsert since500[] = {{6, "1"}, {10, "1"}, {13, "1111"}, {23, "1111"},
                                     {34, "111"}, {41, "1"}, {48, "1"}};
  static const TInsert before500[] = {{5, "11"}, {10, "1"}, {13, "1111"},
                                      {23, "1111"}, {31, "111111"}, {42, "1111111"}};
  auto apply = [&](const TInsert* inserts, size_t count) {
    for (size_t k = 0; k < count; ++k) bits.insert(std::min(inserts[k].Position - 1, bits.size()), inserts[k].Ones);
  };
  if (oldByteCount >= 5) apply(since500, std::size(since500));
  else apply(before500, std::size(before500));
  TReportFields out{};
  for (int i = 0; i < ReportFieldCount; ++i) {
    if (bits[static_cast<size_t>(i)] == '1') out[i / 8] = static_cast<uint8_t>(out[i / 8] | (1u << (i % 8)));
  }
  return out;
}

void ReadOptionsStream(TOptionsByteSource& source, uint16_t v, TQuelbaOptionsData& d) {
  TReader r(source);
  // 1
  d.StreamByte1 = r.Byte();
  d.StreamByte2 = r.Byte();
  d.LogFlags = r.Byte();
  // 2: an old "send without asking" switch, stored inverted before 450
  if (v < 500) {
    uint8_t b = r.Byte();
    if (v < 450) b = b == 0 ? 1 : b == 1 ? 0 : b;
    if (b == 0) d.AskBeforeSending = 0;
  }
  // 3
  d.ReportInMailBody = r.Byte();
  // 4: three booleans that became bits of ProcessFlags
  if (v >= 450 && v < 500) {
    SetBit(d.ProcessFlags, 2, r.Byte() != 0);
    SetBit(d.ProcessFlags, 4, r.Byte() != 0);
    SetBit(d.ProcessFlags, 0, r.Byte() != 0);
  }
  // 5
  if (v >= 401) {
    d.SaveLogFile = r.Byte();
    d.InitialPage = r.Byte();
    if (v < 6000 && d.InitialPage == 3) d.InitialPage = 5;
  }
  // 6
  if (v >= 403 && v < 500) SetBit(d.DialogFlags, 6, r.Byte() != 0);
  // 7
  std::string freezeMessage;
  if (v >= 420) {
    d.FreezeWatch = r.Byte();
    d.FreezeSeconds = r.Int();
    if (v < 422) d.FreezeSeconds /= 1000;  // stored in milliseconds then
  }
  if (v < 6000) freezeMessage = r.Text();
  if (v >= 450) d.SenderEmail = r.Text();
  d.SmtpHost = r.Text();
  // 8
  if (v >= 450) d.SmtpPort = r.Word();
  // 9
  if (v >= 421) {
    d.SmtpUser = r.Text();
    d.SmtpPassword = r.Text();
    d.TerminateAction = r.Byte();
  }
  // 10: an old "show terminate button" switch; through the setter's rule
  if (v < 6000 && r.Byte() == 0) {
    d.TerminateAction = 0;
    if (d.TerminateOnCancel != 0) d.TerminateOnCancel = 0;
  }
  // 11
  d.LogCapacity = r.Int();
  if (d.LogCapacity == 0) d.LogCapacity = 1;  // the setter's rule: a log keeps at least one report
  d.TerminateButtonAfter = r.Int();
  d.MailRecipients = r.Text();
  d.MailSubject = r.Text();
  d.MailMode = r.Byte();
  if (v < 450 && d.MailMode != 0) d.MailMode = d.SmtpHost.empty() ? 1 : 2;
  // 12
  if (v >= 6000) {
    r.Bytes(d.ReportFields.data(), 6);
  } else {
    uint8_t old[5] = {};
    int count = v >= 500 ? 5 : 4;
    r.Bytes(old, static_cast<size_t>(count));
    d.ReportFields = MigrateReportFields(old, count);
    if (v < 450) r.Byte();
  }
  // 13
  d.LogFolder = r.Text();
  if (v >= 500) {
    d.WebSendMode = r.Byte();
    d.WebUrl = r.Text();
    d.WebUser = r.Text();
    d.WebPassword = r.Text();
    d.WebUrlPort = r.Int();
    d.AttachedFiles = r.Text();
    d.ProcessFlags = r.Word();
    if (v < 6000) SetBit(d.ProcessFlags, 9, false);
    if (v >= 6000) d.DialogFlags = r.Word();
    else d.DialogFlags = r.Byte();
    d.AutoCloseSeconds = r.Int();
    d.SupportUrl = r.Text();
    d.HtmlPage = r.Text();
    d.StackDetailFlags = r.Byte();
    if (v < 6000) d.StackDetailFlags = static_cast<uint8_t>(d.StackDetailFlags | 0x10);
    if (v >= 6000) {
      d.CatchFlags = r.Word();
      d.StreamByte35 = r.Byte();
    } else {
      d.CatchFlags = r.Byte();
    }
    d.ErrorBurstAction = r.Byte();
    d.ErrorBurstCount = r.Int();
    d.ErrorBurstMinutes = r.Int();
    if (v >= 6000) {
      d.StreamByte39 = r.Byte();
      d.AskBeforeSending = r.Byte();
      d.ProxyHost = r.Text();
      d.ProxyUser = r.Text();
      d.ProxyPassword = r.Text();
      d.ProxyPort = r.Word();
      d.TrackerLogin = r.Text();
      d.TrackerPassword = r.Text();
      d.TrackerAssignedTo = r.Text();
      d.TrackerProject = r.Text();
      d.TrackerCategory = r.Text();
      d.FogBugzTrialId = r.Text();
      d.ArchivePassword = r.Text();
    }
  }
  // 14
  d.Filters.clear();
  uint32_t count = r.UInt();
  const uint64_t smallestRecord = v >= 6000 ? 13 : 8;
  if (count > r.Remaining() / smallestRecord) TReader::Fail("Options stream: filter count past the end");
  d.Filters.reserve(count);
  for (uint32_t k = 0; k < count; ++k) {
    TQuelbaExceptionFilter f;
    f.Enabled = v >= 6000 ? r.Byte() : 1;
    f.ClassNameText = r.Text();
    f.MessageText = r.Text();
    if (v >= 6000) {
      f.Mode1 = r.Byte();
      f.Mode2 = r.Byte();
      f.Mode3 = r.Byte();
      f.Mode4 = r.Byte();
    } else {
      f.Mode1 = 2;
      f.Mode2 = f.MessageText.empty() ? 0 : 2;
    }
    d.Filters.push_back(std::move(f));
  }
  // 15
  d.MailBody = r.Text();
  for (int i = 0; i < TextCount; ++i) {
    if (i == 68 && v < 6000) r.Text();  // a text these versions had here, no longer used
    if (OptionsStreamHasText(i, v)) d.Texts[static_cast<size_t>(i)] = r.Text();
  }
  // 16
  if (v >= 6000) d.LanguageName = r.Text();
  if (!freezeMessage.empty()) d.Texts[MsgAntiFreeze] = freezeMessage;
}

}  // namespace exclog
