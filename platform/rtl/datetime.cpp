#include "platform/rtl/datetime.h"

#include <time.h>

#include <cmath>
#include <cstdio>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace host {

namespace {

constexpr int kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};
constexpr int kMonthDays[2][13] = {
    {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

// Day number (1 = 0001-01-01) of a valid date.
std::int32_t DayNumber(int year, int month, int day) {
  int y = year - 1;
  return std::int32_t(y * 365 + y / 4 - y / 100 + y / 400 + kDaysBeforeMonth[IsLeapYear(year)][month] + day);
}

void DateOfDayNumber(std::int32_t dayNumber, int& year, int& month, int& day) {
  constexpr int D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
  int t = dayNumber - 1;
  int y = 1 + (t / D400) * 400;
  t %= D400;
  int i = t / D100;
  int d = t % D100;
  if (i == 4) {
    --i;
    d += D100;
  }
  y += i * 100;
  y += (d / D4) * 4;
  d %= D4;
  i = d / D1;
  d %= D1;
  if (i == 4) {
    --i;
    d += D1;
  }
  y += i;
  const int* lengths = kMonthDays[IsLeapYear(y)];
  int m = 1;
  while (d >= lengths[m]) {
    d -= lengths[m];
    ++m;
  }
  year = y;
  month = m;
  day = d + 1;
}

[[noreturn]] void InvalidDateTime(double value) {
  throw EConvertError("'" + FloatToStr(value) + "' is not a valid date and time value");
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInAMonth(int year, int month) {
  if (year < 1 || year > 9999 || month < 1 || month > 12)
    throw EConvertError("Invalid argument to date encode");
  return kMonthDays[IsLeapYear(year)][month];
}

int DaysInMonth(TDateTime value) {
  int y, m, d;
  DecodeDate(value, y, m, d);
  return DaysInAMonth(y, m);
}

int DayOfWeek(TDateTime value) {
  // Day 1 (0001-01-01) was a Monday.
  return int(DateTimeToTimeStamp(value).Date % 7) + 1;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > kMonthDays[IsLeapYear(year)][month])
    return false;
  value = TDateTime(double(DayNumber(year, month, day) - DateDelta));
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime value;
  if (!TryEncodeDate(year, month, day, value)) throw EConvertError("Invalid argument to date encode");
  return value;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  value = TDateTime(double(((hour * 60 + minute) * 60 + second) * 1000 + msec) / MSecsPerDay);
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime value;
  if (!TryEncodeTime(hour, minute, second, msec, value)) throw EConvertError("Invalid argument to time encode");
  return value;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& value) {
  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, msec, time)) return false;
  // Before 1899-12-30 the time still counts forward from midnight.
  value = TDateTime(date < 0 ? date - time : date + time);
  return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  TDateTime date = EncodeDate(year, month, day);
  TDateTime time = EncodeTime(hour, minute, second, msec);
  return TDateTime(date < 0 ? date - time : date + time);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  double v = value;
  // The calendar range is checked on the day number below; this only keeps the casts defined.
  if (!std::isfinite(v) || std::fabs(v) > 1e7) InvalidDateTime(v);
  double whole = std::trunc(v);
  double fraction = std::fabs(v - whole);
  std::int64_t ms = std::llround(fraction * MSecsPerDay);
  // The calendar day: for negative values the fraction still counts forward from midnight.
  std::int64_t date = std::int64_t(whole) + DateDelta;
  if (ms >= MSecsPerDay) {
    ms -= MSecsPerDay;
    ++date;
  }
  if (date < 1 || date > MaxDateStamp) InvalidDateTime(v);
  TTimeStamp stamp;
  stamp.Date = std::int32_t(date);
  stamp.Time = std::int32_t(ms);
  return stamp;
}

bool IsValidTimeStamp(const TTimeStamp& stamp) {
  return stamp.Date >= 1 && stamp.Date <= MaxDateStamp && stamp.Time >= 0 && stamp.Time < MSecsPerDay;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  if (!IsValidTimeStamp(stamp))
    throw EConvertError(Format("'%d.%d' is not a valid timestamp", {stamp.Date, stamp.Time}));
  double date = double(stamp.Date - DateDelta);
  double time = double(stamp.Time) / MSecsPerDay;
  return TDateTime(date < 0 ? date - time : date + time);
}

double TimeStampToMSecs(const TTimeStamp& stamp) {
  return double(stamp.Date) * MSecsPerDay + double(stamp.Time);
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  if (!std::isfinite(msecs) || msecs < 0 || msecs >= double(MaxDateStamp + 1) * MSecsPerDay)
    throw EConvertError("'" + FloatToStr(msecs) + "' is not a valid millisecond count");
  std::int64_t ms = std::int64_t(msecs);
  TTimeStamp stamp;
  stamp.Date = std::int32_t(ms / MSecsPerDay);
  stamp.Time = std::int32_t(ms % MSecsPerDay);
  return stamp;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  DateOfDayNumber(DateTimeToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  std::int32_t ms = DateTimeToTimeStamp(value).Time;
  hour = ms / 3600000;
  minute = ms / 60000 % 60;
  second = ms / 1000 % 60;
  msec = ms % 1000;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec) {
  TTimeStamp stamp = DateTimeToTimeStamp(value);
  DateOfDayNumber(stamp.Date, year, month, day);
  hour = stamp.Time / 3600000;
  minute = stamp.Time / 60000 % 60;
  second = stamp.Time / 1000 % 60;
  msec = stamp.Time % 1000;
}

TDateTime DateOf(TDateTime value) {
  return TDateTime(double(DateTimeToTimeStamp(value).Date - DateDelta));
}

TDateTime TimeOf(TDateTime value) {
  return TDateTime(double(DateTimeToTimeStamp(value).Time) / MSecsPerDay);
}

// ---- the clock -------------------------------------------------------------------------------

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  TDateTime value;
  TryEncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec > 59 ? 59 : local.tm_sec, int(now.tv_nsec / 1000000), value);
  return value;
}

TDateTime Date() { return DateOf(Now()); }
TDateTime Time() { return TimeOf(Now()); }

// ---- text ----------------------------------------------------------------------------------------

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool StartsWithNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Lower(s[at + i]) != Lower(word[i])) return false;
  return true;
}

std::string Padded(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

// Whether the pattern (outside quotes) names an AM/PM marker: hours then count to 12.
bool HasAmPm(std::string_view format) {
  char quote = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (StartsWithNoCase(format, i, "am/pm") || StartsWithNoCase(format, i, "a/p") ||
               StartsWithNoCase(format, i, "ampm")) {
      return true;
    }
  }
  return false;
}

struct Parts {
  int Year, Month, Day, Hour, Minute, Second, MSec, WeekDay;
  bool HasTime;
};

void Append(std::string& out, std::string_view format, const Parts& p, const TFormatSettings& fs, int depth) {
  const bool twelveHour = HasAmPm(format);
  bool afterHour = false;
  size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    char lc = Lower(c);
    if (c == '"' || c == '\'') {
      size_t end = format.find(c, i + 1);
      if (end == std::string_view::npos) end = format.size();
      out.append(format.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (lc == 'a') {
      bool pm = p.Hour >= 12;
      if (StartsWithNoCase(format, i, "am/pm")) {
        std::string_view word = format.substr(i + (pm ? 3 : 0), 2);
        out.append(word);
        i += 5;
        continue;
      }
      if (StartsWithNoCase(format, i, "a/p")) {
        out += format[i + (pm ? 2 : 0)];
        i += 3;
        continue;
      }
      if (StartsWithNoCase(format, i, "ampm")) {
        out += pm ? fs.TimePMString : fs.TimeAMString;
        i += 4;
        continue;
      }
    }
    if (c == '/') {
      out += fs.DateSeparator;
      ++i;
      continue;
    }
    if (c == ':') {
      out += fs.TimeSeparator;
      ++i;
      continue;
    }
    if (lc != 'd' && lc != 'm' && lc != 'y' && lc != 'h' && lc != 'n' && lc != 's' && lc != 'z' &&
        lc != 't' && lc != 'c') {
      out += c;
      ++i;
      continue;
    }
    size_t count = 1;
    while (i + count < format.size() && Lower(format[i + count]) == lc) ++count;
    i += count;
    switch (lc) {
      case 'c':
        if (depth < 2) {
          Append(out, fs.ShortDateFormat, p, fs, depth + 1);
          if (p.HasTime) {
            out += ' ';
            Append(out, fs.LongTimeFormat, p, fs, depth + 1);
          }
        }
        break;
      case 'd':
        if (count == 1) {
          out += std::to_string(p.Day);
        } else if (count == 2) {
          out += Padded(p.Day, 2);
        } else if (count == 3) {
          out += fs.ShortDayNames[size_t(p.WeekDay - 1)];
        } else if (count == 4) {
          out += fs.LongDayNames[size_t(p.WeekDay - 1)];
        } else if (depth < 2) {
          Append(out, count == 5 ? fs.ShortDateFormat : fs.LongDateFormat, p, fs, depth + 1);
        }
        break;
      case 'm':
        if (afterHour && count <= 2) {
          out += count == 1 ? std::to_string(p.Minute) : Padded(p.Minute, 2);
        } else if (count == 1) {
          out += std::to_string(p.Month);
        } else if (count == 2) {
          out += Padded(p.Month, 2);
        } else if (count == 3) {
          out += fs.ShortMonthNames[size_t(p.Month - 1)];
        } else {
          out += fs.LongMonthNames[size_t(p.Month - 1)];
        }
        break;
      case 'y':
        out += count <= 2 ? Padded(p.Year % 100, 2) : Padded(p.Year, 4);
        break;
      case 'h': {
        int hour = p.Hour;
        if (twelveHour) {
          hour %= 12;
          if (hour == 0) hour = 12;
        }
        out += count == 1 ? std::to_string(hour) : Padded(hour, 2);
        break;
      }
      case 'n':
        out += count == 1 ? std::to_string(p.Minute) : Padded(p.Minute, 2);
        break;
      case 's':
        out += count == 1 ? std::to_string(p.Second) : Padded(p.Second, 2);
        break;
      case 'z':
        out += count < 3 ? std::to_string(p.MSec) : Padded(p.MSec, 3);
        break;
      case 't':
        if (depth < 2) Append(out, count == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, fs, depth + 1);
        break;
    }
    afterHour = lc == 'h';
  }
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& fs) {
  TTimeStamp stamp = DateTimeToTimeStamp(value);
  Parts p{};
  DateOfDayNumber(stamp.Date, p.Year, p.Month, p.Day);
  p.Hour = stamp.Time / 3600000;
  p.Minute = stamp.Time / 60000 % 60;
  p.Second = stamp.Time / 1000 % 60;
  p.MSec = stamp.Time % 1000;
  p.WeekDay = int(stamp.Date % 7) + 1;
  p.HasTime = stamp.Time != 0;
  std::string out;
  Append(out, format.empty() ? std::string_view("c") : format, p, fs, 0);
  return out;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
  return FormatDateTime(format, value, FormatSettings());
}

std::string DateToStr(TDateTime value, const TFormatSettings& fs) { return FormatDateTime("ddddd", value, fs); }
std::string DateToStr(TDateTime value) { return DateToStr(value, FormatSettings()); }
std::string TimeToStr(TDateTime value, const TFormatSettings& fs) { return FormatDateTime("tt", value, fs); }
std::string TimeToStr(TDateTime value) { return TimeToStr(value, FormatSettings()); }
std::string DateTimeToStr(TDateTime value, const TFormatSettings& fs) { return FormatDateTime("c", value, fs); }
std::string DateTimeToStr(TDateTime value) { return DateTimeToStr(value, FormatSettings()); }

// ---- parsing ---------------------------------------------------------------------------------------

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view s) : FText(s) {}

  void SkipBlanks() {
    while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t')) ++FPos;
  }
  bool AtEnd() {
    SkipBlanks();
    return FPos >= FText.size();
  }
  // Up to `maxDigits` digits; false when there is none.
  bool Number(int& value, int& digits, int maxDigits = 4) {
    SkipBlanks();
    value = 0;
    digits = 0;
    while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9' && digits < maxDigits) {
      value = value * 10 + (FText[FPos++] - '0');
      ++digits;
    }
    return digits > 0;
  }
  bool Char(char c) {
    SkipBlanks();
    if (FPos < FText.size() && FText[FPos] == c) {
      ++FPos;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    SkipBlanks();
    if (word.empty() || !StartsWithNoCase(FText, FPos, word)) return false;
    FPos += word.size();
    return true;
  }
  size_t Position() const { return FPos; }
  void Reset(size_t pos) { FPos = pos; }

 private:
  std::string_view FText;
  size_t FPos = 0;
};

int CurrentYear() {
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  return y;
}

bool ScanDate(Scanner& in, const TFormatSettings& fs, TDateTime& value) {
  // The order of the fields from the short date pattern.
  enum Order { MDY, DMY, YMD } order = MDY;
  for (char c : fs.ShortDateFormat) {
    char lc = Lower(c);
    if (lc == 'd') {
      order = DMY;
      break;
    }
    if (lc == 'm') {
      order = MDY;
      break;
    }
    if (lc == 'y') {
      order = YMD;
      break;
    }
  }
  int n1, n2, n3 = 0, d1, d2, d3 = 0;
  if (!in.Number(n1, d1)) return false;
  if (!in.Char(fs.DateSeparator)) return false;
  if (!in.Number(n2, d2)) return false;
  size_t before = in.Position();
  bool third = false;
  if (in.Char(fs.DateSeparator)) {
    if (!in.Number(n3, d3)) return false;
    third = true;
  } else {
    in.Reset(before);
  }
  int year, month, day, yearDigits;
  if (third) {
    switch (order) {
      case MDY: month = n1; day = n2; year = n3; yearDigits = d3; break;
      case DMY: day = n1; month = n2; year = n3; yearDigits = d3; break;
      default: year = n1; month = n2; day = n3; yearDigits = d1; break;
    }
  } else {
    year = CurrentYear();
    yearDigits = 4;
    if (order == DMY) {
      day = n1;
      month = n2;
    } else {
      month = n1;
      day = n2;
    }
  }
  // Trailing separator of patterns such as "d.m.yyyy." is allowed.
  in.Char(fs.DateSeparator);
  if (yearDigits <= 2) {
    int base = CurrentYear() - fs.TwoDigitYearCenturyWindow;
    year += base / 100 * 100;
    if (fs.TwoDigitYearCenturyWindow > 0 && year < base) year += 100;
  }
  return TryEncodeDate(year, month, day, value);
}

bool ScanTime(Scanner& in, const TFormatSettings& fs, TDateTime& value) {
  int hour, minute = 0, second = 0, msec = 0, digits;
  if (!in.Number(hour, digits, 2)) return false;
  bool hasMinute = false;
  if (in.Char(fs.TimeSeparator)) {
    if (!in.Number(minute, digits, 2)) return false;
    hasMinute = true;
    if (in.Char(fs.TimeSeparator)) {
      if (!in.Number(second, digits, 2)) return false;
      if (in.Char(fs.DecimalSeparator)) {
        if (!in.Number(msec, digits, 3)) return false;
        while (digits++ < 3) msec *= 10;  // ".5" is 500 ms
      }
    }
  }
  int marker = 0;  // 1 am, 2 pm
  for (auto [word, kind] : {std::pair<std::string_view, int>{fs.TimeAMString, 1}, {fs.TimePMString, 2},
                            {"AM", 1}, {"PM", 2}}) {
    if (in.Word(word)) {
      marker = kind;
      break;
    }
  }
  if (!hasMinute && marker == 0) return false;
  if (marker != 0) {
    if (hour < 1 || hour > 12) return false;
    hour %= 12;
    if (marker == 2) hour += 12;
  }
  return TryEncodeTime(hour, minute, second, msec, value);
}

}  // namespace

bool TryStrToDate(std::string_view s, TDateTime& value, const TFormatSettings& fs) {
  Scanner in(s);
  TDateTime date;
  if (!ScanDate(in, fs, date) || !in.AtEnd()) return false;
  value = date;
  return true;
}

bool TryStrToDate(std::string_view s, TDateTime& value) { return TryStrToDate(s, value, FormatSettings()); }

TDateTime StrToDate(std::string_view s, const TFormatSettings& fs) {
  TDateTime value;
  if (!TryStrToDate(s, value, fs)) throw EConvertError("'" + std::string(s) + "' is not a valid date");
  return value;
}

TDateTime StrToDate(std::string_view s) { return StrToDate(s, FormatSettings()); }

bool TryStrToTime(std::string_view s, TDateTime& value, const TFormatSettings& fs) {
  Scanner in(s);
  TDateTime time;
  if (!ScanTime(in, fs, time) || !in.AtEnd()) return false;
  value = time;
  return true;
}

bool TryStrToTime(std::string_view s, TDateTime& value) { return TryStrToTime(s, value, FormatSettings()); }

TDateTime StrToTime(std::string_view s, const TFormatSettings& fs) {
  TDateTime value;
  if (!TryStrToTime(s, value, fs)) throw EConvertError("'" + std::string(s) + "' is not a valid time");
  return value;
}

TDateTime StrToTime(std::string_view s) { return StrToTime(s, FormatSettings()); }

bool TryStrToDateTime(std::string_view s, TDateTime& value, const TFormatSettings& fs) {
  Scanner in(s);
  TDateTime date;
  if (ScanDate(in, fs, date)) {
    if (in.AtEnd()) {
      value = date;
      return true;
    }
    TDateTime time;
    if (!ScanTime(in, fs, time) || !in.AtEnd()) return false;
    value = TDateTime(date < 0 ? date - time : date + time);
    return true;
  }
  return TryStrToTime(s, value, fs);
}

bool TryStrToDateTime(std::string_view s, TDateTime& value) {
  return TryStrToDateTime(s, value, FormatSettings());
}

TDateTime StrToDateTime(std::string_view s, const TFormatSettings& fs) {
  TDateTime value;
  if (!TryStrToDateTime(s, value, fs))
    throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
  return value;
}

TDateTime StrToDateTime(std::string_view s) { return StrToDateTime(s, FormatSettings()); }

}  // namespace host
