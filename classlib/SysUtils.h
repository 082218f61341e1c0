#pragma once
// Exceptions, string helpers, formatting, dates and low-level file routines.
//
// Strings are byte strings (std::string); positions are 1-based where the helper's
// name says so (Copy, Pos), as the program's texts count them.
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "classlib/System.h"

// ---------------------------------------------------------------------------
// Exceptions. Every class derives from Exception, which is both a TObject (class
// record, ClassName) and a std::exception (what() gives the message).

class Exception : public TObject, public std::exception {
  VELMORA_CLASS(Exception, TObject)
 public:
  Exception() = default;
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Declares `Name` deriving from `ParentName` with the parent's constructors.
#define VELMORA_EXCEPTION(Name, ParentName) \
  class Name : public ParentName {          \
    VELMORA_CLASS(Name, ParentName)         \
   public:                                  \
    using ParentName::ParentName;           \
    Name() = default;                       \
  };

// Silent exception: handlers end the current operation without showing anything.
VELMORA_EXCEPTION(EAbort, Exception)
VELMORA_EXCEPTION(EOutOfMemory, Exception)
VELMORA_EXCEPTION(EConvertError, Exception)      // text to number or date failed
VELMORA_EXCEPTION(EAssertionFailed, Exception)
VELMORA_EXCEPTION(EInvalidOperation, Exception)  // call not allowed in this state
VELMORA_EXCEPTION(EListError, Exception)         // index out of range, bad list operation
VELMORA_EXCEPTION(EStringListError, Exception)   // duplicates, sorted-list misuse
VELMORA_EXCEPTION(EClassNotFound, Exception)
VELMORA_EXCEPTION(EInvalidCast, Exception)       // As<T> on an object of another class
VELMORA_EXCEPTION(EStreamError, Exception)
VELMORA_EXCEPTION(EReadError, EStreamError)      // short read of ReadBuffer
VELMORA_EXCEPTION(EWriteError, EStreamError)     // short write of WriteBuffer
VELMORA_EXCEPTION(EFCreateError, EStreamError)   // file could not be created
VELMORA_EXCEPTION(EFOpenError, EStreamError)     // file could not be opened
VELMORA_EXCEPTION(EResNotFound, Exception)       // a named resource is missing from its module

// The 32-bit layout of a Windows EXCEPTION_RECORD (80 bytes), kept here so the
// header stays free of Windows headers. ExceptionRecord and ExceptionAddress are
// addresses of the faulting process, stored as 32-bit values.
struct TExceptionRecord32 {
  uint32_t ExceptionCode;
  uint32_t ExceptionFlags;
  uint32_t ExceptionRecord;
  uint32_t ExceptionAddress;
  uint32_t NumberParameters;
  uint32_t ExceptionInformation[15];
};
static_assert(sizeof(TExceptionRecord32) == 80);

// A hardware or foreign exception; carries a copy of the system's record.
class EExternal : public Exception {
  VELMORA_CLASS(EExternal, Exception)
 public:
  using Exception::Exception;
  EExternal() = default;
  EExternal(std::string message, const TExceptionRecord32& record)
      : Exception(std::move(message)), record_(record) {}
  const TExceptionRecord32& ExceptionRecord() const { return record_; }
  void SetExceptionRecord(const TExceptionRecord32& record) { record_ = record; }

 private:
  TExceptionRecord32 record_{};
};

VELMORA_EXCEPTION(EAccessViolation, EExternal)
VELMORA_EXCEPTION(EStackOverflow, EExternal)
VELMORA_EXCEPTION(EPrivilege, EExternal)     // privileged or illegal instruction
VELMORA_EXCEPTION(EIntError, EExternal)      // integer faults
VELMORA_EXCEPTION(EDivByZero, EIntError)
VELMORA_EXCEPTION(EIntOverflow, EIntError)
VELMORA_EXCEPTION(EMathError, EExternal)     // floating-point faults
VELMORA_EXCEPTION(EInvalidOp, EMathError)
VELMORA_EXCEPTION(EZeroDivide, EMathError)
VELMORA_EXCEPTION(EOverflow, EMathError)
VELMORA_EXCEPTION(EUnderflow, EMathError)

// The class and text the run-time gives a system exception: integer division by zero
// is EDivByZero "Division by zero", a floating-point overflow EOverflow "Floating point
// overflow", and so on; an access violation is EAccessViolation (its text names the
// addresses, which the record carries: here "External exception C0000005"); any other
// code is EExternal "External exception XXXXXXXX". Every class derives from EExternal.
struct TSystemExceptionName {
  TClass Class;
  std::string Message;
};
TSystemExceptionName SystemExceptionName(uint32_t code);
// A new object of the class SystemExceptionName gives the record's code, carrying
// `message` and the record.
std::unique_ptr<EExternal> NewSystemException(std::string message, const TExceptionRecord32& record);

// Ends the current operation silently: raises EAbort ("Operation aborted").
[[noreturn]] void Abort();
// Raises EAssertionFailed with `message` when `condition` is false.
void Assert(bool condition, const std::string& message = "Assertion failed");

// The checked cast: `obj` as a T when it is one (null stays null); raises
// EInvalidCast ("Invalid class typecast") otherwise.
template <class T>
T* As(TObject* obj) {
  if (!obj) return nullptr;
  if (!obj->Is<T>()) throw EInvalidCast("Invalid class typecast");
  return static_cast<T*>(obj);
}
template <class T>
const T* As(const TObject* obj) {
  return As<T>(const_cast<TObject*>(obj));
}

// ---------------------------------------------------------------------------
// Strings. "Blank" means any character <= 32.

std::string Trim(std::string_view s);       // removes leading and trailing chars <= 32
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);  // ASCII letters only; other bytes kept
std::string LowerCase(std::string_view s);
// Case-insensitive (ASCII) comparison: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// `count` chars from the 1-based `index`; an index below 1 counts as 1; parts past
// the end are cut; a non-positive count gives "".
std::string Copy(std::string_view s, int index, int count);
// 1-based position of the first `sub` in `s` (searching from 1-based `from`), 0 when
// absent or when `sub` is empty.
int Pos(std::string_view sub, std::string_view s, int from = 1);
// Replaces every (or the first) occurrence of `from`; an empty `from` changes nothing.
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          bool all = true, bool ignoreCase = false);

std::string IntToStr(int64_t value);
// Upper-case hexadecimal, at least `digits` digits (zero-padded). Negative values are
// shown as their 32-bit (or, beyond 32 bits, 64-bit) two's complement.
std::string IntToHex(int64_t value, int digits);
// Decimal, or hexadecimal with a "$" or "0x" prefix; blanks around are allowed. Throws
// EConvertError ("'<text>' is not a valid integer value") on anything else or on
// overflow of 32 bits.
int32_t StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t fallback);
// True and the value in `out` when `s` is a valid integer (as StrToInt).
bool TryStrToInt(std::string_view s, int32_t& out);

// One argument of Format: integer, unsigned, floating point, text, character or pointer.
class TFormatArg {
 public:
  enum class TKind { Int, Float, Text, Pointer };
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                          !std::is_same_v<T, char>, int> = 0>
  TFormatArg(T v) : kind_(TKind::Int), int_(static_cast<int64_t>(v)), wide_(sizeof(T) > 4) {}
  TFormatArg(bool v) : kind_(TKind::Int), int_(v ? 1 : 0) {}
  TFormatArg(char c) : kind_(TKind::Text), text_(&charText_, 1), charText_(c), isChar_(true) {}
  TFormatArg(double v) : kind_(TKind::Float), float_(v) {}
  TFormatArg(const char* s) : kind_(TKind::Text), text_(s ? s : "") {}
  TFormatArg(std::string_view s) : kind_(TKind::Text), text_(s) {}
  TFormatArg(const std::string& s) : kind_(TKind::Text), text_(s) {}
  TFormatArg(const void* p) : kind_(TKind::Pointer), int_(static_cast<int64_t>(reinterpret_cast<uintptr_t>(p))) {}
  TFormatArg(const TFormatArg& other) { *this = other; }
  TFormatArg& operator=(const TFormatArg& other);

  TKind Kind() const { return kind_; }
  int64_t Int() const { return int_; }
  bool Wide() const { return wide_; }
  double Float() const { return float_; }
  std::string_view Text() const { return text_; }
  bool IsChar() const { return isChar_; }

 private:
  TKind kind_ = TKind::Int;
  int64_t int_ = 0;
  bool wide_ = false;
  double float_ = 0;
  std::string_view text_;
  char charText_ = 0;
  bool isChar_ = false;
};

// printf-like formatting with typed arguments:
//   %[-][width][.precision]type, width/precision may be "*" (taken from the arguments),
//   types d u (decimal; precision = minimum digits, zero-padded, so "%0.2d" of 5 is
//   "05"), x X (hexadecimal, precision = minimum digits: "%.8X"), s (text; precision
//   = maximum length), c (one character), p (pointer, 8 upper-case hex digits; 16 on
//   64-bit), f e g n (floating point, precision default 2 for f and n), %% a percent
//   sign. A 0 flag in front of a width pads numbers with zeros.
// Throws EConvertError ("Format '<fmt>' invalid or incompatible with argument") on an
// unknown type, a missing argument or an argument of the wrong kind.
std::string FormatArgs(std::string_view fmt, std::initializer_list<TFormatArg> args);
template <class... A>
std::string Format(std::string_view fmt, const A&... args) {
  return FormatArgs(fmt, {TFormatArg(args)...});
}

// ---------------------------------------------------------------------------
// Date and time: days since 1899-12-30 00:00 in the integer part, the time of day as
// the fraction.

using TDateTime = double;

// Throws EConvertError for an invalid date (month 1..12, day in month, year 1..9999)
// or time (hour < 24, min < 60, sec < 60, msec < 1000).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
// Day of week, 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime dt);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for an invalid month

// Local date and time now (from the C run-time clock).
TDateTime Now();
TDateTime Date();  // today at 00:00

// Formats with tokens: yyyy yy (year), mmmm mmm mm m (month name/abbr./number; mm
// after an hour token means minutes), dddd ddd dd d (weekday name/abbr., day), hh h,
// nn n (minutes), ss s, zzz z (milliseconds), am/pm, '...' or "..." literal text; any
// other character is copied. Names are English.
std::string FormatDateTime(std::string_view format, TDateTime dt);

// A FILETIME value (100-ns units since 1601-01-01, same time base as the date) and
// back. Values before 1601 give 0.
TDateTime FileTimeToDateTime(uint64_t fileTime);
uint64_t DateTimeToFileTime(TDateTime dt);

// ---------------------------------------------------------------------------
// Files. Handles are the system's (a HANDLE value on Windows, a descriptor elsewhere);
// InvalidFileHandle marks failure. No routine raises.

using TFileHandle = intptr_t;
constexpr TFileHandle InvalidFileHandle = -1;

// Open modes: one access value plus one share value.
constexpr uint32_t fmOpenRead = 0x0000;
constexpr uint32_t fmOpenWrite = 0x0001;
constexpr uint32_t fmOpenReadWrite = 0x0002;
constexpr uint32_t fmShareCompat = 0x0000;
constexpr uint32_t fmShareExclusive = 0x0010;
constexpr uint32_t fmShareDenyWrite = 0x0020;
constexpr uint32_t fmShareDenyRead = 0x0030;
constexpr uint32_t fmShareDenyNone = 0x0040;
constexpr uint32_t fmCreate = 0xFF00;  // TFileStream: create or truncate, read-write

TFileHandle FileOpen(const std::string& fileName, uint32_t mode);
// Creates or truncates; read-write, sharing as `mode`'s share value (default exclusive
// write).
TFileHandle FileCreate(const std::string& fileName, uint32_t shareMode = fmShareDenyWrite);
// Bytes transferred, or -1 on error.
int32_t FileRead(TFileHandle handle, void* buffer, int32_t count);
int32_t FileWrite(TFileHandle handle, const void* buffer, int32_t count);
// origin 0 begin, 1 current, 2 end; the new position or -1.
int64_t FileSeek(TFileHandle handle, int64_t offset, int origin);
// Cuts or extends the file to the current position. False on error.
bool FileTruncate(TFileHandle handle);
void FileClose(TFileHandle handle);
bool FileExists(const std::string& fileName);
// Deletes a file; false when it could not.
bool FileDelete(const std::string& fileName);
// Last system error of a file routine of this thread (errno or GetLastError).
int LastFileError();
