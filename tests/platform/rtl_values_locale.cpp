// Locale-aware comparison and case mapping, and the format settings read from ICU.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/locale.h"

namespace host {
namespace {

// Switches the user locale for one test and puts the previous one back.
class UserLocale {
 public:
  explicit UserLocale(const char* name) : FSaved(GetUserLocale()), FSettings(FormatSettings()) {
    SetUserLocale(name);
  }
  ~UserLocale() {
    SetUserLocale(FSaved);
    FormatSettings() = FSettings;
  }

 private:
  std::string FSaved;
  TFormatSettings FSettings;
};

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(LocaleCompare, CaseAndAccents) {
  UserLocale locale("en_US");
  struct Case {
    const char* A;
    const char* B;
    int CaseSensitive;  // sign of AnsiCompareStr
    int IgnoreCase;     // sign of AnsiCompareText
  };
  const Case cases[] = {
      {"abc", "abc", 0, 0},
      {"abc", "ABC", -1, 0},  // lower case sorts first, but only at tertiary strength
      {"r\xC3\xA9sum\xC3\xA9", "R\xC3\x89SUM\xC3\x89", -1, 0},
      {"resume", "r\xC3\xA9sum\xC3\xA9", -1, -1},  // accents count even when case does not
      {"apple", "Banana", -1, -1},                   // alphabetical, not byte order
      {"a", "", 1, 1},
      {"", "", 0, 0},
      {"Zebra", "apple", 1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(AnsiCompareStr(c.A, c.B)), c.CaseSensitive) << c.A << " / " << c.B;
    EXPECT_EQ(Sign(AnsiCompareStr(c.B, c.A)), -c.CaseSensitive) << c.B << " / " << c.A;
    EXPECT_EQ(Sign(AnsiCompareText(c.A, c.B)), c.IgnoreCase) << c.A << " / " << c.B;
    EXPECT_EQ(AnsiSameText(c.A, c.B), c.IgnoreCase == 0);
    EXPECT_EQ(AnsiSameStr(c.A, c.B), c.CaseSensitive == 0);
  }
}

TEST(LocaleCompare, PosixLocaleStillIgnoresCase) {
  UserLocale locale("C.UTF-8");
  EXPECT_EQ(GetUserLocale(), "");
  EXPECT_EQ(AnsiCompareText("Name", "NAME"), 0);
  EXPECT_LT(AnsiCompareStr("apple", "Banana"), 0);
}

TEST(LocaleCompare, LocaleTailoringApplies) {
  // Swedish sorts "ö" after "z"; German sorts it with "o".
  {
    UserLocale locale("sv_SE.UTF-8");
    EXPECT_GT(AnsiCompareStr("\xC3\xB6", "z"), 0);
  }
  {
    UserLocale locale("de_DE");
    EXPECT_LT(AnsiCompareStr("\xC3\xB6", "z"), 0);
  }
}

TEST(LocaleCompare, ThreadsKeepTheirOwnCollatorsAcrossLocaleChanges) {
  UserLocale locale("en_US");
  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&wrong] {
      for (int i = 0; i < 2000; ++i) {
        if (AnsiCompareText("Stra\xC3\x9F" "e", "STRA\xC3\x9F" "E") != 0) ++wrong;
        if (AnsiCompareStr("a", "b") >= 0) ++wrong;
      }
    });
  }
  for (int i = 0; i < 20; ++i) SetUserLocale(i % 2 ? "de_DE" : "en_US");
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(LocaleCase, UpperAndLower) {
  UserLocale locale("en_US");
  EXPECT_EQ(AnsiUpperCase("stra\xC3\x9F" "e \xC3\xA9t\xC3\xA9"), "STRASSE \xC3\x89T\xC3\x89");
  EXPECT_EQ(AnsiLowerCase("\xC3\x89T\xC3\x89 ABC"), "\xC3\xA9t\xC3\xA9 abc");
  EXPECT_EQ(AnsiUpperCase(""), "");
  // Ill-formed bytes pass through unchanged.
  EXPECT_EQ(AnsiUpperCase("a\xFF" "b"), "A\xFF" "B");
  // The plain forms touch ASCII only.
  EXPECT_EQ(UpperCase("select \xC3\xA9"), "SELECT \xC3\xA9");
  EXPECT_EQ(LowerCase("FROM \xC3\x89"), "from \xC3\x89");
  EXPECT_TRUE(SameText("Grant", "GRANT"));
  EXPECT_FALSE(SameText("Grant", "GRANTS"));
  EXPECT_EQ(CompareText("abc", "ABD"), -1);
  EXPECT_EQ(CompareStr("B", "a"), -1);
}

TEST(LocaleCase, TurkishDotlessI) {
  UserLocale locale("tr_TR");
  EXPECT_EQ(AnsiUpperCase("i"), "\xC4\xB0");
}

TEST(LocaleSettings, ReadFromIcu) {
  struct Case {
    const char* Locale;
    char Decimal;
    char Thousand;
    char DateSep;
    const char* ShortDate;
  };
  const Case cases[] = {
      {"en_US", '.', ',', '/', "m/d/yyyy"},
      {"de_DE", ',', '.', '.', "dd/mm/yyyy"},
      {"", '.', ',', '-', "yyyy/mm/dd"},
  };
  for (const Case& c : cases) {
    TFormatSettings fs = LocaleFormatSettings(c.Locale);
    EXPECT_EQ(fs.DecimalSeparator, c.Decimal) << c.Locale;
    EXPECT_EQ(fs.ThousandSeparator, c.Thousand) << c.Locale;
    EXPECT_EQ(fs.DateSeparator, c.DateSep) << c.Locale;
    EXPECT_EQ(fs.ShortDateFormat, c.ShortDate) << c.Locale;
    EXPECT_EQ(fs.TimeSeparator, ':') << c.Locale;
  }
  TFormatSettings de = LocaleFormatSettings("de_DE");
  EXPECT_EQ(de.LongMonthNames[2], "M\xC3\xA4rz");
  EXPECT_EQ(de.LongDayNames[0], "Sonntag");
  EXPECT_EQ(de.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(de.CurrencyString, "\xE2\x82\xAC");
  EXPECT_EQ(de.CurrencyFormat, 3);  // "1 €"
  TFormatSettings us = LocaleFormatSettings("en_US");
  EXPECT_EQ(us.LongTimeFormat, "h:nn:ss ampm");
  EXPECT_EQ(us.CurrencyFormat, 0);  // "$1"
}

TEST(LocaleSettings, SetUserLocaleResetsProcessSettings) {
  UserLocale locale("de_DE");
  EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
  SetUserLocale("en_US.UTF-8");
  EXPECT_EQ(GetUserLocale(), "en_US");
  EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
}

}  // namespace
}  // namespace host
