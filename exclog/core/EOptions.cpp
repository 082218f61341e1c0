#include "exclog/core/EOptions.h"

#include <algorithm>
#include <utility>

#include "classlib/SysUtils.h"

namespace exclog {

TOptionsSeams& OptionsSeams() {
  static TOptionsSeams seams;
  return seams;
}

bool TOptionsStreamSource::Read(void* buffer, size_t count) {
  auto* at = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int32_t chunk = static_cast<int32_t>(std::min<size_t>(count, 1u << 30));
    int32_t got = stream_.Read(at, chunk);
    if (got <= 0) return false;
    at += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

uint64_t TOptionsStreamSource::Remaining() const {
  int64_t left = stream_.Size() - stream_.Position();
  return left > 0 ? static_cast<uint64_t>(left) : 0;
}

// ---------------------------------------------------------------------------
// Filters

const TQuelbaExceptionFilter& TQuelbaExceptionsFilters::Item(int index) const {
  if (index < 0 || index >= Count()) throw EListError("Filter index out of bounds");
  return *items_[static_cast<size_t>(index)];
}

void TQuelbaExceptionsFilters::Add(const TQuelbaExceptionFilter& record) {
  items_.push_back(std::make_unique<TQuelbaExceptionFilter>(record));
  owner_->Announce();
}

void TQuelbaExceptionsFilters::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError("Filter index out of bounds");
  items_.erase(items_.begin() + index);
  owner_->Announce();
}

void TQuelbaExceptionsFilters::Clear() {
  items_.clear();
  owner_->Announce();
}

void TQuelbaExceptionsFilters::CopyFrom(const TQuelbaExceptionsFilters& source) {
  if (&source == this) return;
  ReplaceSilently(source.Records());
  owner_->Announce();
}

std::vector<TQuelbaExceptionFilter> TQuelbaExceptionsFilters::Records() const {
  std::vector<TQuelbaExceptionFilter> out;
  out.reserve(items_.size());
  for (const auto& item : items_) out.push_back(*item);
  return out;
}

void TQuelbaExceptionsFilters::ReplaceSilently(const std::vector<TQuelbaExceptionFilter>& records) {
  std::vector<std::unique_ptr<TQuelbaExceptionFilter>> fresh;
  fresh.reserve(records.size());
  for (const auto& record : records) fresh.push_back(std::make_unique<TQuelbaExceptionFilter>(record));
  items_ = std::move(fresh);
}

// ---------------------------------------------------------------------------
// Options

class TQuelbaModuleOptions::TBulkChange {
 public:
  explicit TBulkChange(TQuelbaModuleOptions& options) : options_(options) { ++options_.updateCount_; }
  ~TBulkChange() { --options_.updateCount_; }
  TBulkChange(const TBulkChange&) = delete;
  TBulkChange& operator=(const TBulkChange&) = delete;

 private:
  TQuelbaModuleOptions& options_;
};

TQuelbaModuleOptions::TQuelbaModuleOptions(const std::string& moduleName) : moduleName_(moduleName) {
  const TOptionsSeams& seams = OptionsSeams();
  if (!moduleName.empty() && seams.FindModule) moduleHandle_ = seams.FindModule(moduleName);
  // Virtual calls from a constructor reach this class's versions, which is what the
  // defaults need: no subclass reaction runs for an object still being built.
  SetDefaults();
}

TQuelbaModuleOptions::~TQuelbaModuleOptions() {
  ++updateCount_;  // nothing is announced while dying
}

bool TQuelbaModuleOptions::RunsInThisModule() const {
  const TOptionsSeams& seams = OptionsSeams();
  return moduleHandle_ != 0 && seams.CurrentModule && seams.CurrentModule() == moduleHandle_;
}

void TQuelbaModuleOptions::Announce() {
  if (updateCount_ <= 0 && RunsInThisModule()) Changed();
}

void TQuelbaModuleOptions::SetActive(bool value) {
  active_ = value;
  Announce();
}

void TQuelbaModuleOptions::SetFreezeWatch(uint8_t value) {
  data_.FreezeWatch = value;
  Announce();
}

void TQuelbaModuleOptions::SetTerminateAction(uint8_t value) {
  data_.TerminateAction = value;
  if (data_.TerminateOnCancel != 0) data_.TerminateOnCancel = value;
  Announce();
}

void TQuelbaModuleOptions::SetTerminateOnCancel(uint8_t value) {
  data_.TerminateOnCancel = value;
  Announce();
}

void TQuelbaModuleOptions::SetTerminateBoth(uint8_t value) {
  data_.TerminateAction = value;
  data_.TerminateOnCancel = value;
  Announce();
}

void TQuelbaModuleOptions::SetLogCapacity(int32_t value) {
  data_.LogCapacity = value == 0 ? 1 : value;
  Announce();
}

bool TQuelbaModuleOptions::ReportField(int bit) const {
  if (bit < 0 || bit >= ReportFieldCount) return false;
  return (data_.ReportFields[static_cast<size_t>(bit / 8)] >> (bit % 8)) & 1;
}

const std::string& TQuelbaModuleOptions::Text(int index) const {
  static const std::string empty;
  if (index < 0 || index >= TextCount) return empty;
  return data_.Texts[static_cast<size_t>(index)];
}

void TQuelbaModuleOptions::SetText(int index, const std::string& value) {
  if (index < 0 || index >= TextCount) return;
  data_.Texts[static_cast<size_t>(index)] = value;
  Announce();
}

void TQuelbaModuleOptions::Assign(const TQuelbaModuleOptions* source) {
  if (source == nullptr) throw EConvertError("Impossible to assign nil as TQuelbaModuleOptions.");
  if (source == this) return;
  {
    TBulkChange bulk(*this);
    const TQuelbaOptionsData& s = source->data_;
    filters_.ReplaceSilently(source->filters_.Records());
    data_.Texts = s.Texts;
    SetLanguageName(s.LanguageName);
    SetStreamByte1(s.StreamByte1);
    SetSaveLogFile(s.SaveLogFile);
    SetFreezeWatch(s.FreezeWatch);
    SetFreezeSeconds(s.FreezeSeconds);
    SetSenderEmail(s.SenderEmail);
    SetSmtpHost(s.SmtpHost);
    SetSmtpPort(s.SmtpPort);
    SetSmtpUser(s.SmtpUser);
    SetSmtpPassword(s.SmtpPassword);
    SetInitialPage(s.InitialPage);
    SetStreamByte2(s.StreamByte2);
    SetReportInMailBody(s.ReportInMailBody);
    data_.TerminateAction = s.TerminateAction;
    data_.TerminateOnCancel = s.TerminateOnCancel;
    SetLogFlags(s.LogFlags);
    SetLogCapacity(s.LogCapacity);
    SetTerminateButtonAfter(s.TerminateButtonAfter);
    SetLogFolder(s.LogFolder);
    SetMailRecipients(s.MailRecipients);
    SetMailSubject(s.MailSubject);
    SetMailBody(s.MailBody);
    SetMailMode(s.MailMode);
    SetReportFields(s.ReportFields);
    SetWebSendMode(s.WebSendMode);
    SetWebUrl(s.WebUrl);
    SetWebUser(s.WebUser);
    SetWebPassword(s.WebPassword);
    SetWebUrlPort(s.WebUrlPort);
    SetProcessFlags(s.ProcessFlags);
    SetAttachedFiles(s.AttachedFiles);
    SetDialogFlags(s.DialogFlags);
    SetAutoCloseSeconds(s.AutoCloseSeconds);
    SetSupportUrl(s.SupportUrl);
    SetHtmlPage(s.HtmlPage);
    SetStackDetailFlags(s.StackDetailFlags);
    SetCatchFlags(s.CatchFlags);
    SetErrorBurstAction(s.ErrorBurstAction);
    SetErrorBurstCount(s.ErrorBurstCount);
    SetErrorBurstMinutes(s.ErrorBurstMinutes);
    SetProxyHost(s.ProxyHost);
    SetProxyUser(s.ProxyUser);
    SetProxyPassword(s.ProxyPassword);
    SetProxyPort(s.ProxyPort);
    SetTrackerLogin(s.TrackerLogin);
    SetTrackerPassword(s.TrackerPassword);
    SetTrackerAssignedTo(s.TrackerAssignedTo);
    SetTrackerProject(s.TrackerProject);
    SetTrackerCategory(s.TrackerCategory);
    SetFogBugzTrialId(s.FogBugzTrialId);
    SetArchivePassword(s.ArchivePassword);
    SetExtraText1(s.ExtraText1);
    SetExtraText2(s.ExtraText2);
    SetExtraText3(s.ExtraText3);
    SetStreamByte39(s.StreamByte39);
    SetAskBeforeSending(s.AskBeforeSending);
    data_.StreamByte35 = s.StreamByte35;
    data_.ReproduceText = s.ReproduceText;
  }
  Announce();
}

void TQuelbaModuleOptions::SetDefaults() {
  {
    TBulkChange bulk(*this);
    data_ = TQuelbaOptionsData();
    filters_.ReplaceSilently({});
    active_ = true;
  }
  Announce();
}

void TQuelbaModuleOptions::SaveToStream(std::string& out) const {
  TQuelbaOptionsData snapshot = data_;
  snapshot.Filters = filters_.Records();
  WriteOptionsStream(snapshot, out);
}

std::string TQuelbaModuleOptions::SaveToBytes() const {
  std::string out;
  SaveToStream(out);
  return out;
}

void TQuelbaModuleOptions::LoadFromStream(TOptionsByteSource& source, uint16_t version) {
  {
    TBulkChange bulk(*this);
    // Parsed into a copy: a short or corrupt stream leaves these options untouched,
    // and items an older format lacks keep their current values.
    TQuelbaOptionsData parsed = data_;
    parsed.Filters = filters_.Records();
    ReadOptionsStream(source, version, parsed);
    // Committed by plain stores: no setter reaction (such as starting the freeze
    // watchdog) runs halfway through a load.
    filters_.ReplaceSilently(parsed.Filters);
    parsed.Filters.clear();
    data_ = std::move(parsed);
  }
  Announce();
}

void TQuelbaModuleOptions::SaveToStream(TStream& stream) const {
  std::string bytes = SaveToBytes();
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void TQuelbaModuleOptions::LoadFromStream(TStream& stream, uint16_t version) {
  TOptionsStreamSource source(stream);
  LoadFromStream(source, version);
}

void TQuelbaModuleOptions::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

void TQuelbaModuleOptions::LoadFromFile(const std::string& fileName, uint16_t version) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file, version);
}

size_t TQuelbaModuleOptions::LoadFromBytes(const void* data, size_t size, uint16_t version) {
  TOptionsBufferSource source(data, size);
  LoadFromStream(source, version);
  return source.Position();
}

// ---------------------------------------------------------------------------
// Ex

bool TQuelbaModuleOptionsEx::LoggerActiveHere() const {
  const TOptionsSeams& seams = OptionsSeams();
  return seams.LoggerActive && seams.LoggerActive(ModuleHandle());
}

void TQuelbaModuleOptionsEx::ApplyFreezeWatch() {
  const TOptionsSeams& seams = OptionsSeams();
  if (Active() && FreezeWatch() != 0) {
    if (seams.StartFreezeWatch) seams.StartFreezeWatch();
  } else if (seams.StopFreezeWatch) {
    seams.StopFreezeWatch();
  }
}

void TQuelbaModuleOptionsEx::SetActive(bool value) {
  if (!RunsInThisModule()) {
    StoreActive(value);
    return;
  }
  if (Active() == value) return;
  StoreActive(value);
  ApplyFreezeWatch();
}

void TQuelbaModuleOptionsEx::SetFreezeWatch(uint8_t value) {
  if (!RunsInThisModule()) {
    StoreFreezeWatch(value);
    return;
  }
  if (FreezeWatch() == value) return;
  StoreFreezeWatch(value);
  ApplyFreezeWatch();
}

void TQuelbaModuleOptionsEx::Changed() {
  const TOptionsSeams& seams = OptionsSeams();
  if (ModuleHandle() == 0 || !LoggerActiveHere() || !seams.StoreSharedBlock) return;
  std::string block(1, '\x01');
  SaveToStream(block);
  seams.StoreSharedBlock(ModuleHandle(), block);
}

void TQuelbaModuleOptionsEx::Reload() {
  const TOptionsSeams& seams = OptionsSeams();
  if (ModuleHandle() == 0 || !LoggerActiveHere() || !seams.FetchSharedBlock) return;
  std::optional<std::string> block = seams.FetchSharedBlock(ModuleHandle());
  if (!block || block->empty() || (*block)[0] == 0) return;
  LoadFromBytes(block->data() + 1, block->size() - 1, CurrentOptionsStreamVersion);
}

}  // namespace exclog
