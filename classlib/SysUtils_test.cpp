// String helpers, formatting, dates and exceptions. Date goldens come from Python's
// datetime (days since 1899-12-30); format goldens from the C printf family by hand.
#include "classlib/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Strings, TrimRemovesEveryCharUpTo32) {
  EXPECT_EQ(Trim(std::string("\x01\t  ab c\r\n\x20\x1f", 11)), "ab c");
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(TrimLeft("  x  "), "x  ");
  EXPECT_EQ(TrimRight("  x  "), "  x");
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
  // Bytes above 127 are not blanks.
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
}

TEST(Strings, AsciiOnlyCase) {
  EXPECT_EQ(UpperCase("abc-XYZ_\xE9\xE0z"), "ABC-XYZ_\xE9\xE0Z");
  EXPECT_EQ(LowerCase("ABC\xC9"), "abc\xC9");
  EXPECT_TRUE(SameText("TStringList", "TSTRINGLIST"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
}

TEST(Strings, OneBasedCopyAndPos) {
  EXPECT_EQ(Copy("Hello", 2, 3), "ell");
  EXPECT_EQ(Copy("Hello", 0, 2), "He");
  EXPECT_EQ(Copy("Hello", 4, 100), "lo");
  EXPECT_EQ(Copy("Hello", 6, 1), "");
  EXPECT_EQ(Copy("Hello", 2, -1), "");
  EXPECT_EQ(Pos("l", "Hello"), 3);
  EXPECT_EQ(Pos("lo", "Hello"), 4);
  EXPECT_EQ(Pos("x", "Hello"), 0);
  EXPECT_EQ(Pos("", "Hello"), 0);
  EXPECT_EQ(Pos("l", "Hello", 4), 4);
  EXPECT_EQ(Pos("l", "Hello", 6), 0);
  EXPECT_EQ(StringReplace("a.b.c", ".", "::"), "a::b::c");
  EXPECT_EQ(StringReplace("a.b.c", ".", "", false), "ab.c");
  EXPECT_EQ(StringReplace("Abc aBC", "bc", "X", true, true), "AX aX");
  EXPECT_EQ(StringReplace("abc", "", "X"), "abc");
}

TEST(Strings, IntegerConversions) {
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToHex(255, 8), "000000FF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(0x1234, 2), "1234");
  EXPECT_EQ(StrToInt(" 123 "), 123);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_THROW(StrToInt("2147483648"), EConvertError);
  EXPECT_THROW(StrToInt("12a"), EConvertError);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_THROW(StrToInt("-"), EConvertError);
  EXPECT_THROW(StrToInt("$"), EConvertError);
  EXPECT_EQ(StrToIntDef("zz", 7), 7);
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(Format, TheSpecifiersTheProgramUses) {
  EXPECT_EQ(Format("%.8X", 0x1A2B), "00001A2B");
  EXPECT_EQ(Format("%.8X", -1), "FFFFFFFF");
  EXPECT_EQ(Format("%0.2d:%0.2d:%0.2d", 5, 7, 12), "05:07:12");
  EXPECT_EQ(Format("%s, %d %s %d", "Sun", 6, std::string("Dec"), 2026), "Sun, 6 Dec 2026");
  EXPECT_EQ(Format("%s: %s=%d - %s=%d", "Leaks", "Bytes", 48, "Blocks", 3), "Leaks: Bytes=48 - Blocks=3");
  EXPECT_EQ(Format("Menu hook:%4x %s", 0x2a, "x"), "Menu hook:  2a x");
  EXPECT_EQ(Format("%c%c", 'o', 107), "ok");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("[%5s|%-5s|%.2s]", "ab", "ab", "abcdef"), "[   ab|ab   |ab]");
  EXPECT_EQ(Format("%05d|%-4d|%.3d", -42, 7, -5), "-0042|7   |-005");
  EXPECT_EQ(Format("%*d", 4, 9), "   9");
  EXPECT_EQ(Format("%.2f|%f|%n", 3.14159, 2.5, 1234567.891), "3.14|2.50|1,234,567.89");
  EXPECT_EQ(Format("%u", 4000000000u), "4000000000");
  EXPECT_EQ(Format("%d", int64_t{-5000000000}), "-5000000000");
  if (sizeof(void*) == 4)
    EXPECT_EQ(Format("%p", reinterpret_cast<const void*>(0x401000)), "00401000");
  else
    EXPECT_EQ(Format("%p", reinterpret_cast<const void*>(0x401000)), "0000000000401000");
}

TEST(Format, MismatchesRaiseInsteadOfReadingGarbage) {
  EXPECT_THROW(Format("%d"), EConvertError);
  EXPECT_THROW(Format("%s", 5), EConvertError);
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%q", 1), EConvertError);
  EXPECT_THROW(Format("abc%"), EConvertError);
  // Extra arguments are ignored.
  EXPECT_EQ(Format("x", 1, 2), "x");
  // Widths are capped rather than allocating without bound.
  EXPECT_EQ(Format("%99999d", 1).size(), 4096u);
}

TEST(Dates, EncodeDecodeAgainstPythonDatetime) {
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(2024, 2, 29), 45351);
  EXPECT_EQ(EncodeDate(1900, 3, 1), 61);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2023, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);

  int y, m, d, h, n, s, ms;
  for (int days : {36526, 45351, 61, 60, -1, -693593, 2958465, 0}) {
    DecodeDate(days, y, m, d);
    EXPECT_EQ(EncodeDate(y, m, d), days) << days;
  }
  DecodeDate(45351.75, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
  DecodeTime(EncodeDate(2026, 12, 6) + EncodeTime(21, 52, 58, 123), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 215258123);
  // -1.25 is 1899-12-29 06:00: the fraction counts forwards from the day.
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
  // 23:59:59.9999 rounds into the next day rather than giving 24:00.
  DecodeDate(36526 + 0.99999999999, y, m, d);
  DecodeTime(36526 + 0.99999999999, h, n, s, ms);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(h, 0);
  // Weekdays: 2000-01-01 Saturday, 2024-02-29 Thursday, 1899-12-29 Friday.
  EXPECT_EQ(DayOfWeek(36526), 7);
  EXPECT_EQ(DayOfWeek(45351.9), 5);
  EXPECT_EQ(DayOfWeek(-1), 6);
  // Garbage never crashes the decoder.
  DecodeDate(NAN, y, m, d);
  DecodeDate(1e300, y, m, d);
}

TEST(Dates, Formatting) {
  TDateTime t = EncodeDate(2026, 12, 6) + EncodeTime(21, 5, 8, 7);
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", t), "06/12/2026 21:05:08");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", t), "2026-12-06 21:05:08");
  EXPECT_EQ(FormatDateTime("yyyymmddhhnnss", t), "20261206210508");
  EXPECT_EQ(FormatDateTime("ddd d mmm yy, h:mm 'at' zzz", t), "Sun 6 Dec 26, 21:05 at 007");
  EXPECT_EQ(FormatDateTime("dddd mmmm", t), "Sunday December");
  EXPECT_EQ(FormatDateTime("hh am/pm", t), "21 pm");
}

TEST(Dates, FileTimeConversion) {
  // 2026-12-06 21:52:58.123 = 134410675781230000 (Python: whole 100-ns units).
  TDateTime t = EncodeDate(2026, 12, 6) + EncodeTime(21, 52, 58, 123);
  EXPECT_EQ(DateTimeToFileTime(t), 134410675781230000ull);
  int h, n, s, ms;
  DecodeTime(FileTimeToDateTime(134410675781230000ull), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 215258123);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(0), -109205.0);
  EXPECT_EQ(DateTimeToFileTime(-200000), 0u);
}

TEST(Dates, NowIsPlausible) {
  TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_LT(now, EncodeDate(2200, 1, 1));
  EXPECT_LE(Date(), now);
  EXPECT_EQ(Date(), std::trunc(Date()));
}

TEST(Exceptions, HierarchyAndMessages) {
  try {
    throw EReadError("Stream read error");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
    auto* obj = dynamic_cast<const TObject*>(&e);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->ClassName(), "EReadError");
    EXPECT_TRUE(obj->Is<EStreamError>());
    EXPECT_TRUE(obj->Is<Exception>());
  }
  TExceptionRecord32 record{};
  record.ExceptionCode = 0xC00000FD;
  record.NumberParameters = 2;
  EStackOverflow overflow("Stack overflow");
  overflow.SetExceptionRecord(record);
  EStackOverflow copy = overflow;
  EXPECT_EQ(copy.ExceptionRecord().ExceptionCode, 0xC00000FDu);
  EXPECT_EQ(copy.Message(), "Stack overflow");
  EXPECT_TRUE(copy.Is<EExternal>());
  EXPECT_FALSE(copy.IsNamed("EAbort"));
  EXPECT_EQ(EAccessViolation().Message(), "");
  // Checked casts follow the class records.
  TObject* asObject = &overflow;
  EXPECT_EQ(As<EExternal>(asObject), &overflow);
  EXPECT_EQ(As<EExternal>(static_cast<TObject*>(nullptr)), nullptr);
  EXPECT_THROW(As<EAbort>(asObject), EInvalidCast);
  EXPECT_THROW(Abort(), EAbort);
  EXPECT_NO_THROW(Assert(true, "x"));
  try {
    Assert(false, "count > 0");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "count > 0");
  }
}

// Each system code gets the run-time's class, family and text; every one stays an
// EExternal, so "is not external" holds for none of them.
TEST(SysUtilsExceptions, SystemCodesGetTheRunTimeClassesAndTexts) {
  struct TCase {
    uint32_t Code;
    const char* ClassName;
    TClass Family;
    const char* Message;
  } cases[] = {
      {0xC0000094u, "EDivByZero", EIntError::StaticClass(), "Division by zero"},
      {0xC0000095u, "EIntOverflow", EIntError::StaticClass(), "Integer overflow"},
      {0xC000008Eu, "EZeroDivide", EMathError::StaticClass(), "Floating point division by zero"},
      {0xC0000091u, "EOverflow", EMathError::StaticClass(), "Floating point overflow"},
      {0xC0000093u, "EUnderflow", EMathError::StaticClass(), "Floating point underflow"},
      {0xC0000090u, "EInvalidOp", EMathError::StaticClass(), "Invalid floating point operation"},
      {0xC000008Du, "EInvalidOp", EMathError::StaticClass(), "Invalid floating point operation"},
      {0xC000008Fu, "EInvalidOp", EMathError::StaticClass(), "Invalid floating point operation"},
      {0xC0000092u, "EInvalidOp", EMathError::StaticClass(), "Invalid floating point operation"},
      {0xC0000096u, "EPrivilege", EExternal::StaticClass(), "Privileged instruction"},
      {0xC000001Du, "EPrivilege", EExternal::StaticClass(), "Privileged instruction"},
      {0xC00000FDu, "EStackOverflow", EExternal::StaticClass(), "Stack overflow"},
      {0xC0000005u, "EAccessViolation", EExternal::StaticClass(), "External exception C0000005"},
      {0xC000008Cu, "EExternal", EExternal::StaticClass(), "External exception C000008C"},
      {0xE06D7363u, "EExternal", EExternal::StaticClass(), "External exception E06D7363"},
      {0x0000000Au, "EExternal", EExternal::StaticClass(), "External exception 0000000A"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.ClassName);
    TSystemExceptionName name = SystemExceptionName(c.Code);
    ASSERT_NE(name.Class, nullptr);
    EXPECT_STREQ(name.Class->Name, c.ClassName);
    EXPECT_EQ(name.Message, c.Message);
    EXPECT_TRUE(ClassInheritsFrom(name.Class, c.Family));
    EXPECT_TRUE(ClassInheritsFromName(name.Class, "EEXTERNAL"));
    // The object made for the record is of that class and keeps message and record.
    TExceptionRecord32 record{};
    record.ExceptionCode = c.Code;
    std::unique_ptr<EExternal> object = NewSystemException("text", record);
    EXPECT_EQ(object->ClassType(), name.Class);
    EXPECT_EQ(object->Message(), "text");
    EXPECT_EQ(object->ExceptionRecord().ExceptionCode, c.Code);
  }
  // The families stay apart: an integer fault is no math error and the reverse.
  EXPECT_FALSE(ClassInheritsFrom(EDivByZero::StaticClass(), EMathError::StaticClass()));
  EXPECT_FALSE(ClassInheritsFrom(EZeroDivide::StaticClass(), EIntError::StaticClass()));
}

}  // namespace
