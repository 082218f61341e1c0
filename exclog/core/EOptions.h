#pragma once
// TQuelbaModuleOptions: the logger's settings for one module, with a setter per
// field that announces the change, bulk operations (Assign, SetDefaults, loading)
// that announce once, and the options stream (EOptionsStream.h) to save and load
// them. TQuelbaModuleOptionsEx ties the object to the running process through
// seams that the logger's start-up fills.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/Streams.h"
#include "classlib/System.h"
#include "exclog/core/EOptionsData.h"
#include "exclog/core/EOptionsStream.h"

namespace exclog {

using TModuleHandle = std::uintptr_t;

// Process services the options reach. The defaults suit a process without the
// logger's start-up: no module is found and none runs this code.
struct TOptionsSeams {
  // Handle of an already loaded module of that file name, 0 when none.
  TModuleHandle (*FindModule)(const std::string& name) = nullptr;
  // Handle of the module that runs this code.
  TModuleHandle (*CurrentModule)() = nullptr;
  // Ex subclass: whether the logger is active for the module.
  bool (*LoggerActive)(TModuleHandle module) = nullptr;
  // Ex subclass: freeze watchdog control.
  void (*StartFreezeWatch)() = nullptr;
  void (*StopFreezeWatch)() = nullptr;
  // Ex subclass: per-module shared store of option blocks (first byte 1 = valid).
  void (*StoreSharedBlock)(TModuleHandle module, const std::string& block) = nullptr;
  std::optional<std::string> (*FetchSharedBlock)(TModuleHandle module) = nullptr;
};

// The process's seams; change them only while no other thread uses options.
TOptionsSeams& OptionsSeams();

class TQuelbaModuleOptions;

// A byte source over a class-library stream, from its current position.
class TOptionsStreamSource : public TOptionsByteSource {
 public:
  explicit TOptionsStreamSource(TStream& stream) : stream_(stream) {}
  bool Read(void* buffer, size_t count) override;
  uint64_t Remaining() const override;

 private:
  TStream& stream_;
};

// The filter list of one options object: owns its records and announces every
// change through its owner.
class TQuelbaExceptionsFilters {
 public:
  explicit TQuelbaExceptionsFilters(TQuelbaModuleOptions* owner) : owner_(owner) {}
  TQuelbaExceptionsFilters(const TQuelbaExceptionsFilters&) = delete;
  TQuelbaExceptionsFilters& operator=(const TQuelbaExceptionsFilters&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // Throws EListError for an index outside 0..Count()-1.
  const TQuelbaExceptionFilter& Item(int index) const;
  // Appends a copy of `record`.
  void Add(const TQuelbaExceptionFilter& record);
  // Throws EListError for an index outside 0..Count()-1.
  void Delete(int index);
  void Clear();
  // Replaces the list by copies of `source`'s records; announces once.
  void CopyFrom(const TQuelbaExceptionsFilters& source);

  std::vector<TQuelbaExceptionFilter> Records() const;
  // Replaces every record without announcing (the caller announces).
  void ReplaceSilently(const std::vector<TQuelbaExceptionFilter>& records);

 private:
  TQuelbaModuleOptions* owner_;
  std::vector<std::unique_ptr<TQuelbaExceptionFilter>> items_;
};

#define QL_OPTION(Type, Name)                                   \
 public:                                                        \
  const Type& Name() const { return data_.Name; }               \
  void Set##Name(const Type& value) {                           \
    data_.Name = value;                                         \
    Announce();                                                 \
  }

class TQuelbaModuleOptions : public TObject {
  VELMORA_CLASS(TQuelbaModuleOptions, TObject)

 public:
  // Looks up `moduleName` through the seams (0 when empty or not loaded), sets the
  // defaults; UpdateCount ends at 0.
  explicit TQuelbaModuleOptions(const std::string& moduleName = "");
  ~TQuelbaModuleOptions() override;
  TQuelbaModuleOptions(const TQuelbaModuleOptions&) = delete;
  TQuelbaModuleOptions& operator=(const TQuelbaModuleOptions&) = delete;

  virtual void SetActive(bool value);
  virtual void SetFreezeWatch(uint8_t value);
  // Copies every setting but Active, ModuleName and ModuleHandle, announcing once.
  // Throws EConvertError for a null source; a self-assignment does nothing.
  virtual void Assign(const TQuelbaModuleOptions* source);
  virtual void SetDefaults();
  // Appends the current-format options stream.
  virtual void SaveToStream(std::string& out) const;
  // Reads a stream of format `version` from `source`, stopping right after its last
  // item. All or nothing: on EReadError the object is unchanged and nothing is
  // announced. Returns nothing; the source's position tells how much was read.
  virtual void LoadFromStream(TOptionsByteSource& source,
                              uint16_t version = CurrentOptionsStreamVersion);
  // Loads from `size` bytes at `data`; returns the number of bytes the stream took.
  size_t LoadFromBytes(const void* data, size_t size,
                       uint16_t version = CurrentOptionsStreamVersion);
  virtual void Changed() {}
  virtual void Reload() {}

  std::string SaveToBytes() const;
  // The same over the class library's streams: writing at the stream's position,
  // reading from its position up to the stream's last item (the position ends right
  // after it). Stream errors pass to the caller.
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream, uint16_t version = CurrentOptionsStreamVersion);
  // Creates or truncates the file; EFCreateError and EWriteError pass on.
  void SaveToFile(const std::string& fileName) const;
  // Opens the file for reading, denying writes to others; EFOpenError and EReadError
  // pass on, the options then unchanged.
  void LoadFromFile(const std::string& fileName, uint16_t version = CurrentOptionsStreamVersion);

  int UpdateCount() const { return updateCount_; }
  bool Active() const { return active_; }
  const std::string& ModuleName() const { return moduleName_; }
  TModuleHandle ModuleHandle() const { return moduleHandle_; }
  const TQuelbaOptionsData& Data() const { return data_; }
  TQuelbaExceptionsFilters& Filters() { return filters_; }
  const TQuelbaExceptionsFilters& Filters() const { return filters_; }

  const std::string& Text(int index) const;  // "" outside 0..157
  void SetText(int index, const std::string& value);  // ignores an index outside 0..157
  const TCustomizedTexts& Texts() const { return data_.Texts; }

  uint8_t FreezeWatch() const { return data_.FreezeWatch; }
  uint8_t TerminateAction() const { return data_.TerminateAction; }
  // Also moves TerminateOnCancel to the value when TerminateOnCancel is non-zero.
  void SetTerminateAction(uint8_t value);
  uint8_t TerminateOnCancel() const { return data_.TerminateOnCancel; }
  void SetTerminateOnCancel(uint8_t value);
  // Stores one value in both TerminateAction and TerminateOnCancel.
  void SetTerminateBoth(uint8_t value);
  int32_t LogCapacity() const { return data_.LogCapacity; }
  void SetLogCapacity(int32_t value);  // 0 stores 1
  bool ReportField(int bit) const;     // false outside 0..47

  QL_OPTION(std::string, SenderEmail)
  QL_OPTION(std::string, SmtpHost)
  QL_OPTION(std::string, SmtpUser)
  QL_OPTION(std::string, SmtpPassword)
  QL_OPTION(uint16_t, SmtpPort)
  QL_OPTION(std::string, ProxyHost)
  QL_OPTION(std::string, ProxyUser)
  QL_OPTION(std::string, ProxyPassword)
  QL_OPTION(uint16_t, ProxyPort)
  QL_OPTION(std::string, TrackerLogin)
  QL_OPTION(std::string, TrackerPassword)
  QL_OPTION(std::string, TrackerAssignedTo)
  QL_OPTION(std::string, TrackerProject)
  QL_OPTION(std::string, TrackerCategory)
  QL_OPTION(std::string, FogBugzTrialId)
  QL_OPTION(std::string, ArchivePassword)
  QL_OPTION(std::string, ExtraText1)
  QL_OPTION(std::string, ExtraText2)
  QL_OPTION(std::string, ExtraText3)
  QL_OPTION(uint8_t, StreamByte39)
  QL_OPTION(int32_t, FreezeSeconds)
  QL_OPTION(TReportFields, ReportFields)
  QL_OPTION(uint8_t, AskBeforeSending)
  QL_OPTION(std::string, LanguageName)
  QL_OPTION(uint8_t, StreamByte1)
  QL_OPTION(uint8_t, StreamByte2)
  QL_OPTION(uint8_t, ReportInMailBody)
  QL_OPTION(uint8_t, SaveLogFile)
  QL_OPTION(uint8_t, LogFlags)
  QL_OPTION(uint16_t, ProcessFlags)
  QL_OPTION(uint8_t, InitialPage)
  QL_OPTION(int32_t, TerminateButtonAfter)
  QL_OPTION(std::string, LogFolder)
  QL_OPTION(std::string, MailRecipients)
  QL_OPTION(std::string, MailSubject)
  QL_OPTION(std::string, MailBody)
  QL_OPTION(uint8_t, MailMode)
  QL_OPTION(uint8_t, WebSendMode)
  QL_OPTION(std::string, AttachedFiles)
  QL_OPTION(uint16_t, DialogFlags)
  QL_OPTION(int32_t, AutoCloseSeconds)
  QL_OPTION(std::string, SupportUrl)
  QL_OPTION(std::string, HtmlPage)
  QL_OPTION(uint8_t, ErrorBurstAction)
  QL_OPTION(int32_t, ErrorBurstCount)
  QL_OPTION(int32_t, ErrorBurstMinutes)
  QL_OPTION(uint8_t, StackDetailFlags)
  QL_OPTION(uint16_t, CatchFlags)
  QL_OPTION(uint8_t, StreamByte35)
  QL_OPTION(std::string, WebUrl)
  QL_OPTION(int32_t, WebUrlPort)
  QL_OPTION(std::string, WebPassword)
  QL_OPTION(std::string, WebUser)
  QL_OPTION(std::string, ReproduceText)

 protected:
  // Runs Changed when no bulk change is open and these options belong to the
  // module that runs this code.
  void Announce();
  bool RunsInThisModule() const;
  // Raw stores for subclasses whose setters add reactions.
  void StoreActive(bool value) { active_ = value; }
  void StoreFreezeWatch(uint8_t value) { data_.FreezeWatch = value; }

 private:
  friend class TQuelbaExceptionsFilters;
  // Keeps UpdateCount raised for a bulk change, also when it throws.
  class TBulkChange;

  int updateCount_ = 0;
  bool active_ = true;
  std::string moduleName_;
  TModuleHandle moduleHandle_ = 0;
  TQuelbaOptionsData data_;
  TQuelbaExceptionsFilters filters_{this};
};

#undef QL_OPTION

// Options of a module inside the running process: switching Active or FreezeWatch
// starts or stops the freeze watchdog, and every announced change is published to
// the per-module shared store, from where Reload fetches what others published.
class TQuelbaModuleOptionsEx : public TQuelbaModuleOptions {
  VELMORA_CLASS(TQuelbaModuleOptionsEx, TQuelbaModuleOptions)

 public:
  explicit TQuelbaModuleOptionsEx(const std::string& moduleName = "")
      : TQuelbaModuleOptions(moduleName) {}
  void SetActive(bool value) override;
  void SetFreezeWatch(uint8_t value) override;
  void Changed() override;
  void Reload() override;

 private:
  bool LoggerActiveHere() const;
  void ApplyFreezeWatch();
};

}  // namespace exclog
