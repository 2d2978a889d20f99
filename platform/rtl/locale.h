// The user locale: locale-aware comparison and case mapping of framework text (UTF-8)
// through ICU, and the format settings (separators, date and time patterns, names) that the
// text conversions use.
//
// The user locale is taken from the environment (LC_ALL, then LC_COLLATE / LC_CTYPE, then
// LANG); "C", "POSIX" and an unset locale mean ICU's root locale, whose collation is the
// language-neutral Unicode order (the POSIX collation would make ignoring case impossible).
// SetUserLocale replaces it for the whole process, for example in tests.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace host {

// <0, 0, >0 like strcmp, by the user locale's collation (case and accents significant).
int AnsiCompareStr(std::string_view a, std::string_view b);
// The same, ignoring case (secondary strength: accents stay significant).
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Case mapping by the user locale's rules (full Unicode; ill-formed bytes are kept as they are).
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);

// Byte-wise comparisons and ASCII-only case mapping (the non-locale forms).
int CompareStr(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// Settings of the text conversions of numbers, currency values and dates.
//
// Date and time patterns use the host letters: d dd ddd dddd ddddd dddddd, m mm mmm mmmm,
// yy yyyy, h hh, n nn (minutes), s ss, z zzz, t tt, c, am/pm a/p ampm; "/" stands for
// DateSeparator and ":" for TimeSeparator; text in quotes is copied.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '-';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string CurrencyString = "$";
  // Position of CurrencyString: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  unsigned char CurrencyFormat = 0;
  // Negative amounts: 0 "($1)" 1 "-$1" 2 "$-1" 3 "$1-" 4 "(1$)" 5 "-1$" 6 "1-$" 7 "1$-"
  // 8 "-1 $" 9 "-$ 1" 10 "1 $-" 11 "$ 1-" 12 "$ -1" 13 "1- $" 14 "($ 1)" 15 "(1 $)".
  unsigned char NegCurrFormat = 1;
  unsigned char CurrencyDecimals = 2;
  std::string ShortDateFormat = "yyyy/mm/dd";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  // Sunday first.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  // A two-digit year is placed in the hundred years that start this many years before the
  // current year (0: in the current century).
  int TwoDigitYearCenturyWindow = 50;
};

// The settings of a locale ("de_DE", "en_US", "" for the root locale), read from ICU.
TFormatSettings LocaleFormatSettings(std::string_view localeName);

// The process-wide settings used by the conversions that take none. Initialised from the user
// locale on first use; may be changed in place (at start-up, before other threads use them).
TFormatSettings& FormatSettings();

// The ICU locale name in use ("" for the root locale).
std::string GetUserLocale();
// Replaces the user locale (a POSIX or ICU name; "C"/"POSIX"/"" mean the root locale) for
// comparison and case mapping, and resets FormatSettings() to that locale's settings.
void SetUserLocale(std::string_view name);

}  // namespace host
