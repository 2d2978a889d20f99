// Dates and times.
//
// TDateTime is a count of days since 1899-12-30 with the time of day as the fraction. Before
// that day the value is negative and the fraction still counts forward from midnight:
// -1.25 is 1899-12-29 06:00. Its own type (not a bare double) so that a Variant can tell a date
// from a number; it converts to double implicitly.
//
// TTimeStamp is the dataset framework's native form: Date is 1 + the days since 0001-01-01
// (1899-12-30 is DateDelta, 693594) and Time the milliseconds since midnight. The range is
// 0001-01-01 to 9999-12-31; encoding outside it, or an invalid day or time, raises EConvertError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/locale.h"

namespace host {

class TDateTime {
 public:
  constexpr TDateTime() = default;
  constexpr explicit TDateTime(double value) : FValue(value) {}
  constexpr operator double() const { return FValue; }
  constexpr double Value() const { return FValue; }

  friend constexpr TDateTime operator+(TDateTime a, TDateTime b) { return TDateTime(a.FValue + b.FValue); }
  friend constexpr TDateTime operator-(TDateTime a, TDateTime b) { return TDateTime(a.FValue - b.FValue); }

 private:
  double FValue = 0;
};

struct TTimeStamp {
  std::int32_t Time = 0;  // milliseconds since midnight
  std::int32_t Date = 0;  // 1 + days since 0001-01-01
};

// The native buffer form of date and time fields: a day number (ftDate), milliseconds since
// midnight (ftTime) or the time stamp's milliseconds as a double (ftDateTime).
union TDateTimeRec {
  std::int32_t Date;
  std::int32_t Time;
  double DateTime;
};

inline constexpr std::int32_t DateDelta = 693594;
inline constexpr std::int32_t HoursPerDay = 24;
inline constexpr std::int32_t MinsPerDay = 24 * 60;
inline constexpr std::int32_t SecsPerDay = 24 * 60 * 60;
inline constexpr std::int32_t MSecsPerDay = 24 * 60 * 60 * 1000;
inline constexpr std::int32_t MaxDateStamp = 3652059;  // 9999-12-31
inline constexpr double MinDateTime = -693593.0;            // 0001-01-01 00:00
inline constexpr double MaxDateTime = 2958465.99999998842;  // 9999-12-31 23:59:59.999

bool IsLeapYear(int year);
// Days of the month (28..31); an invalid year or month raises EConvertError.
int DaysInAMonth(int year, int month);
int DaysInMonth(TDateTime value);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);

bool TryEncodeDate(int year, int month, int day, TDateTime& value);
// Raises EConvertError ("Invalid argument to date encode").
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// Raises EConvertError ("Invalid argument to time encode").
TDateTime EncodeTime(int hour, int minute, int second, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& value);
// Values outside 0001-01-01 .. 9999-12-31 23:59:59.999 (or not finite) raise EConvertError.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec);
// The day number and time of day, separately (time part 0 .. <1, date part whole).
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// Milliseconds are rounded to the nearest; out-of-range values raise EConvertError.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
// An invalid stamp (Date < 1 or > MaxDateStamp, Time outside 0..MSecsPerDay-1) raises
// EConvertError ("'%d.%d' is not a valid timestamp").
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
bool IsValidTimeStamp(const TTimeStamp& stamp);
// Date x MSecsPerDay + Time.
double TimeStampToMSecs(const TTimeStamp& stamp);
// The inverse, whole milliseconds (a fraction is dropped); NaN, infinities and negative counts
// raise EConvertError. The result is checked only when it is converted further.
TTimeStamp MSecsToTimeStamp(double msecs);

// The local date and time.
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Text by the settings' patterns: DateToStr uses ShortDateFormat, TimeToStr LongTimeFormat,
// DateTimeToStr both (without the time when it is midnight). See TFormatSettings for letters.
std::string FormatDateTime(std::string_view format, TDateTime value);
std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& fs);
std::string DateToStr(TDateTime value);
std::string DateToStr(TDateTime value, const TFormatSettings& fs);
std::string TimeToStr(TDateTime value);
std::string TimeToStr(TDateTime value, const TFormatSettings& fs);
std::string DateTimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value, const TFormatSettings& fs);

// Text to date in the order of ShortDateFormat (day, month, year as numbers separated by
// DateSeparator; a missing year is the current one, a two-digit year follows
// TwoDigitYearCenturyWindow). Times are hours, minutes, optional seconds and milliseconds,
// separated by TimeSeparator and DecimalSeparator, with an optional AM/PM marker. Bad text
// raises EConvertError ("'%s' is not a valid date" / "time" / "date and time").
bool TryStrToDate(std::string_view s, TDateTime& value);
bool TryStrToDate(std::string_view s, TDateTime& value, const TFormatSettings& fs);
TDateTime StrToDate(std::string_view s);
TDateTime StrToDate(std::string_view s, const TFormatSettings& fs);
bool TryStrToTime(std::string_view s, TDateTime& value);
bool TryStrToTime(std::string_view s, TDateTime& value, const TFormatSettings& fs);
TDateTime StrToTime(std::string_view s);
TDateTime StrToTime(std::string_view s, const TFormatSettings& fs);
bool TryStrToDateTime(std::string_view s, TDateTime& value);
bool TryStrToDateTime(std::string_view s, TDateTime& value, const TFormatSettings& fs);
TDateTime StrToDateTime(std::string_view s);
TDateTime StrToDateTime(std::string_view s, const TFormatSettings& fs);

}  // namespace host
