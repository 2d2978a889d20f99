// TDateTime and TTimeStamp: encoding at the edges of the calendar, time stamps, text.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "platform/rtl/datetime.h"
#include "platform/rtl/exceptions.h"

namespace host {
namespace {

TEST(DateEncoding, DayNumbersAtTheEdges) {
  struct Case {
    int Y, M, D;
    double Expected;
  };
  const Case cases[] = {
      {1, 1, 1, -693593},        {1899, 12, 29, -1},    {1899, 12, 30, 0},   {1900, 1, 1, 2},
      {1900, 3, 1, 61},          {2000, 2, 29, 36585},  {2000, 3, 1, 36586}, {2024, 12, 31, 45657},
      {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    TDateTime v = EncodeDate(c.Y, c.M, c.D);
    EXPECT_EQ(double(v), c.Expected) << c.Y << "-" << c.M << "-" << c.D;
    int y, m, d;
    DecodeDate(v, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.Y * 10000 + c.M * 100 + c.D);
  }
}

TEST(DateEncoding, InvalidDatesAndTimes) {
  struct Date {
    int Y, M, D;
  };
  for (Date d : {Date{1900, 2, 29}, Date{2001, 2, 29}, Date{0, 1, 1}, Date{10000, 1, 1}, Date{2000, 13, 1},
                 Date{2000, 0, 1}, Date{2000, 4, 31}, Date{2000, 1, 0}, Date{-1, 1, 1}}) {
    TDateTime v(123);
    EXPECT_FALSE(TryEncodeDate(d.Y, d.M, d.D, v)) << d.Y << "-" << d.M << "-" << d.D;
    EXPECT_EQ(double(v), 123);  // untouched on failure
    EXPECT_THROW(EncodeDate(d.Y, d.M, d.D), EConvertError);
  }
  struct Time {
    int H, N, S, MS;
  };
  for (Time t : {Time{24, 0, 0, 0}, Time{0, 60, 0, 0}, Time{0, 0, 60, 0}, Time{0, 0, 0, 1000}, Time{-1, 0, 0, 0}}) {
    TDateTime v;
    EXPECT_FALSE(TryEncodeTime(t.H, t.N, t.S, t.MS, v));
    EXPECT_THROW(EncodeTime(t.H, t.N, t.S, t.MS), EConvertError);
  }
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_EQ(DaysInAMonth(2024, 2), 29);
  EXPECT_EQ(DaysInAMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(EncodeDate(2023, 4, 10)), 30);
  EXPECT_THROW(DaysInAMonth(2023, 13), EConvertError);
}

TEST(DateEncoding, TimeOfDayAndNegativeDates) {
  TDateTime last = EncodeTime(23, 59, 59, 999);
  int h, n, s, ms;
  DecodeTime(last, h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
  // Before 1899-12-30 the fraction still counts forward from midnight.
  TDateTime v = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_DOUBLE_EQ(double(v), -1.25);
  int y, m, d;
  DecodeDateTime(v, y, m, d, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 7)), 1);  // a Sunday
  EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);     // a Monday
  // Rounding to the millisecond may carry into the next day.
  DecodeDateTime(TDateTime(0.9999999999), y, m, d, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991231);
  EXPECT_EQ(h + n + s + ms, 0);
  // Outside the calendar.
  for (double bad : {-693594.0, 2958466.0, std::nan(""), double(INFINITY), 1e300}) {
    EXPECT_THROW(DecodeDate(TDateTime(bad), y, m, d), EConvertError) << bad;
  }
  EXPECT_NO_THROW(DecodeDate(TDateTime(-693593.75), y, m, d));  // 0001-01-01 18:00
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
}

TEST(TimeStamps, ConversionsAndLimits) {
  TTimeStamp epoch = DateTimeToTimeStamp(TDateTime(0));
  EXPECT_EQ(epoch.Date, DateDelta);
  EXPECT_EQ(epoch.Time, 0);
  TTimeStamp first = DateTimeToTimeStamp(EncodeDate(1, 1, 1));
  EXPECT_EQ(first.Date, 1);
  TTimeStamp last = DateTimeToTimeStamp(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(last.Date, MaxDateStamp);
  EXPECT_EQ(last.Time, MSecsPerDay - 1);
  EXPECT_THROW(DateTimeToTimeStamp(TDateTime(2958466.0)), EConvertError);

  // 2001-02-03 04:05:06.789 keeps its milliseconds through the millisecond count.
  TDateTime when = EncodeDateTime(2001, 2, 3, 4, 5, 6, 789);
  double msecs = TimeStampToMSecs(DateTimeToTimeStamp(when));
  EXPECT_EQ(std::fmod(msecs, 1000.0), 789.0);
  TTimeStamp back = MSecsToTimeStamp(msecs);
  int y, m, d, h, n, s, ms;
  DecodeDateTime(TimeStampToDateTime(back), y, m, d, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20010203);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 40506789);

  EXPECT_DOUBLE_EQ(double(TimeStampToDateTime(TTimeStamp{MSecsPerDay / 4, DateDelta - 1})), -1.25);
  for (TTimeStamp bad : {TTimeStamp{0, 0}, TTimeStamp{-1, 1}, TTimeStamp{MSecsPerDay, 1}, TTimeStamp{0, MaxDateStamp + 1}}) {
    EXPECT_FALSE(IsValidTimeStamp(bad));
    EXPECT_THROW(TimeStampToDateTime(bad), EConvertError);
  }
  try {
    TimeStampToDateTime(TTimeStamp{5, 0});
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'0.5' is not a valid timestamp");
  }
  EXPECT_THROW(MSecsToTimeStamp(-1), EConvertError);
  EXPECT_THROW(MSecsToTimeStamp(std::nan("")), EConvertError);
}

TEST(Clock, NowIsToday) {
  TDateTime today = Date();
  TDateTime now = Now();
  EXPECT_GE(double(now), double(today));
  EXPECT_LT(double(now), double(today) + 1.0);
  EXPECT_EQ(double(DateOf(now)), double(today));
  EXPECT_GT(double(today), 45000);  // after 2023
}

TFormatSettings Iso() {
  TFormatSettings fs;
  fs.ShortDateFormat = "yyyy/mm/dd";
  fs.LongDateFormat = "dddd d mmmm yyyy";
  fs.DateSeparator = '-';
  fs.TimeSeparator = ':';
  fs.LongTimeFormat = "hh:nn:ss";
  fs.ShortTimeFormat = "hh:nn";
  return fs;
}

TFormatSettings German() {
  TFormatSettings fs = Iso();
  fs.ShortDateFormat = "dd/mm/yyyy";
  fs.DateSeparator = '.';
  fs.DecimalSeparator = ',';
  return fs;
}

TFormatSettings American() {
  TFormatSettings fs = Iso();
  fs.ShortDateFormat = "m/d/yyyy";
  fs.DateSeparator = '/';
  fs.LongTimeFormat = "h:nn:ss ampm";
  return fs;
}

TEST(DateText, FormatPatterns) {
  TDateTime v = EncodeDateTime(2004, 3, 7, 14, 5, 9, 45);
  struct Case {
    const char* Pattern;
    const char* Expected;
  };
  const Case cases[] = {
      {"yyyy-mm-dd hh:nn:ss.zzz", "2004-03-07 14:05:09.045"},
      {"d/m/yy", "7-3-04"},
      {"ddd, mmm d", "Sun, Mar 7"},
      {"dddd mmmm", "Sunday March"},
      {"hh:mm", "14:05"},  // m after h is minutes
      {"h:n:s z", "14:5:9 45"},
      {"h am/pm", "2 pm"},
      {"h A/P", "2 P"},
      {"hh ampm", "02 PM"},
      {"ddddd", "2004-03-07"},
      {"dddddd", "Sunday 7 March 2004"},
      {"t|tt", "14:05|14:05:09"},
      {"c", "2004-03-07 14:05:09"},
      {"'at' hh\"h\"", "at 14h"},
  };
  const TFormatSettings fs = Iso();
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.Pattern, v, fs), c.Expected) << c.Pattern;
  EXPECT_EQ(FormatDateTime("h:nn ampm", EncodeTime(0, 30, 0, 0), fs), "12:30 AM");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2004, 3, 7), fs), "2004-03-07");  // midnight: no time
  EXPECT_EQ(DateToStr(v, German()), "07.03.2004");
  EXPECT_EQ(TimeToStr(v, American()), "2:05:09 PM");
  EXPECT_EQ(DateToStr(EncodeDate(1, 1, 1), fs), "0001-01-01");
  EXPECT_EQ(DateTimeToStr(TDateTime(-1.25), fs), "1899-12-29 06:00:00");
}

TEST(DateText, Parse) {
  struct Case {
    const char* Text;
    int Settings;  // 0 ISO, 1 German, 2 American
    bool Ok;
    int Y, M, D;
  };
  const Case cases[] = {
      {"2004-03-07", 0, true, 2004, 3, 7},
      {" 2004 - 3 - 7 ", 0, true, 2004, 3, 7},
      {"07.03.2004", 1, true, 2004, 3, 7},
      {"7.3.2004.", 1, true, 2004, 3, 7},
      {"3/7/2004", 2, true, 2004, 3, 7},
      {"2/29/2000", 2, true, 2000, 2, 29},
      {"0001-01-01", 0, true, 1, 1, 1},
      {"9999-12-31", 0, true, 9999, 12, 31},
      {"2/29/2001", 2, false, 0, 0, 0},
      {"13/1/2004", 2, false, 0, 0, 0},
      {"2004-03", 0, false, 0, 0, 0},  // month and day only: year-first patterns need all three
      {"2004/03/07", 0, false, 0, 0, 0},
      {"2004-03-07x", 0, false, 0, 0, 0},
      {"", 0, false, 0, 0, 0},
      {"10000-01-01", 0, false, 0, 0, 0},
  };
  const TFormatSettings all[] = {Iso(), German(), American()};
  for (const Case& c : cases) {
    TDateTime v;
    bool ok = TryStrToDate(c.Text, v, all[c.Settings]);
    EXPECT_EQ(ok, c.Ok) << c.Text;
    if (ok && c.Ok) {
      int y, m, d;
      DecodeDate(v, y, m, d);
      EXPECT_EQ(y * 10000 + m * 100 + d, c.Y * 10000 + c.M * 100 + c.D) << c.Text;
    }
  }
  EXPECT_THROW(StrToDate("31.02.2004", German()), EConvertError);
  try {
    StrToDate("soon", Iso());
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'soon' is not a valid date");
  }
}

// "1.1.yy" for the German settings.
std::string Format2(int twoDigitYear) {
  char text[16];
  std::snprintf(text, sizeof text, "1.1.%02d", twoDigitYear);
  return text;
}

TEST(DateText, TwoDigitYearsAndMissingYear) {
  TFormatSettings fs = German();
  int thisYear, m, d;
  DecodeDate(Date(), thisYear, m, d);
  fs.TwoDigitYearCenturyWindow = 50;
  int y;
  // Within the window the year is at most 50 years back and less than 50 ahead.
  DecodeDate(StrToDate(Format2(thisYear % 100), fs), y, m, d);
  EXPECT_EQ(y, thisYear);
  DecodeDate(StrToDate(Format2((thisYear - 49) % 100), fs), y, m, d);
  EXPECT_EQ(y, thisYear - 49);
  DecodeDate(StrToDate(Format2((thisYear + 49) % 100), fs), y, m, d);
  EXPECT_EQ(y, thisYear + 49);
  // Four digits are taken as written, even a small year.
  DecodeDate(StrToDate("1.1.0024", fs), y, m, d);
  EXPECT_EQ(y, 24);
  // Day and month alone: this year.
  DecodeDate(StrToDate("1.2", fs), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, thisYear * 10000 + 201);
}

}  // namespace
}  // namespace host
