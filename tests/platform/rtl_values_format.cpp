// Format and the number/text conversions of the run-time library.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace host {
namespace {

// Settings with a comma as decimal separator, to show that the conversions follow them.
TFormatSettings CommaSettings() {
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  fs.CurrencyString = "EUR";
  fs.CurrencyFormat = 3;
  fs.NegCurrFormat = 8;
  fs.CurrencyDecimals = 2;
  return fs;
}

TFormatSettings DotSettings() {
  TFormatSettings fs;
  fs.CurrencyString = "$";
  fs.CurrencyFormat = 0;
  fs.NegCurrFormat = 0;
  return fs;
}

struct FormatCase {
  const char* Fmt;
  std::vector<FormatArg> Args;
  const char* Expected;
};

TEST(Format, Specifiers) {
  const std::vector<FormatCase> cases = {
      {"%s_%d", {"Table", 3}, "Table_3"},
      {"%s=%s", {"PATH", "/data"}, "PATH=/data"},
      {"%s: %s", {"a", ""}, "a: "},
      {"%.2d.%.2d.%.3d.%.3d", {7, 1, 2, 45}, "07.01.002.045"},
      {"'%.4d-%.2d-%.2d'", {987, 3, 9}, "'0987-03-09'"},
      {"%.4d", {-5}, "-0005"},
      {"%d", {std::numeric_limits<long long>::min()}, "-9223372036854775808"},
      {"%d", {std::numeric_limits<unsigned long long>::max()}, "18446744073709551615"},
      {"%u", {-1}, "4294967295"},
      {"%u", {-1LL}, "18446744073709551615"},
      {"%x", {255}, "FF"},
      {"%.4x", {255}, "00FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%5d|%-5d|", {12, 12}, "   12|12   |"},
      {"%*d", {4, 7}, "   7"},
      {"%-*.*d|", {6, 3, 7}, "007   |"},
      {"%1:s %0:s %s", {"a", "b", "c"}, "b a b"},
      {"%0:s%0:s", {"x"}, "xx"},
      {"100%%", {}, "100%"},
      {"%.3s|%5s|%-5s|", {"abcdef", "ab", "ab"}, "abc|   ab|ab   |"},
      // Width and precision count characters, not bytes.
      {"%.2s|%4s", {"\xC3\xA9\xC3\xA8\xC3\xAA", "\xC3\xA9"}, "\xC3\xA9\xC3\xA8|   \xC3\xA9"},
      {"%f", {1.5}, "1.50"},
      {"%.3f", {2.0005}, "2.001"},  // a half rounds away from zero
      {"%.2f", {0.125}, "0.13"},
      {"%.2f", {2.675}, "2.67"},  // 2.67499999... in binary
      {"%.0f", {-0.4}, "0"},      // no minus sign on a zero result
      {"%f", {3}, "3.00"},        // integers are accepted by the float types
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {-0.00012345}, "-1.23E-004"},
      {"%g", {1234.5}, "1234.5"},
      {"%g", {1e20}, "1E20"},
      {"%g", {0.00001}, "1E-5"},
      {"%g", {0.0001}, "0.0001"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%.0n", {-1234}, "-1,234"},
      {"%m", {-1234.5}, "($1,234.50)"},
      {"%S %D", {"up", 1}, "up 1"},  // type letters in either case
      {"%8.2f|", {-3.14159}, "   -3.14|"},
  };
  const TFormatSettings fs = DotSettings();
  for (const FormatCase& c : cases) {
    EXPECT_EQ(Format(c.Fmt, c.Args, fs), c.Expected) << c.Fmt;
  }
}

TEST(Format, PointerIsSixteenHexDigits) {
  EXPECT_EQ(Format("$%p", {static_cast<const void*>(nullptr)}), "$0000000000000000");
  int x = 0;
  std::string text = Format("%p", {static_cast<const void*>(&x)});
  ASSERT_EQ(text.size(), 16u);
  EXPECT_EQ(std::stoull(text, nullptr, 16), reinterpret_cast<std::uintptr_t>(&x));
}

TEST(Format, FollowsDecimalSeparatorOfSettings) {
  const TFormatSettings fs = CommaSettings();
  std::vector<FormatArg> one = {1234.5};
  EXPECT_EQ(Format("%.1f", one, fs), "1234,5");
  EXPECT_EQ(Format("%n", one, fs), "1.234,50");
  EXPECT_EQ(Format("%m", one, fs), "1.234,50 EUR");
  std::vector<FormatArg> negative = {-2.0};
  EXPECT_EQ(Format("%m", negative, fs), "-2,00 EUR");
}

TEST(Format, MalformedOrMismatchedRaisesConvertError) {
  struct Bad {
    const char* Fmt;
    std::vector<FormatArg> Args;
    const char* MessagePart;
  };
  const std::vector<Bad> cases = {
      {"%", {}, "invalid or incompatible"},
      {"abc %", {1}, "invalid or incompatible"},
      {"%5", {1}, "invalid or incompatible"},
      {"%.", {1}, "invalid or incompatible"},
      {"%q", {1}, "invalid or incompatible"},
      {"%d", {"text"}, "invalid or incompatible"},
      {"%d", {1.5}, "invalid or incompatible"},
      {"%x", {2.0}, "invalid or incompatible"},
      {"%s", {1}, "invalid or incompatible"},
      {"%f", {"1.5"}, "invalid or incompatible"},
      {"%p", {5}, "invalid or incompatible"},
      {"%s %s", {"one"}, "No argument for format '%s %s'"},
      {"%3:s", {"a", "b"}, "No argument"},
      {"%d", {}, "No argument"},
      {"%*d", {"x", 1}, "invalid or incompatible"},
      {"%99999999d", {1}, "invalid or incompatible"},
      {"%:d", {1}, "invalid or incompatible"},
  };
  for (const Bad& c : cases) {
    try {
      Format(c.Fmt, c.Args);
      ADD_FAILURE() << "no error for " << c.Fmt;
    } catch (const EConvertError& e) {
      EXPECT_NE(std::string(e.Message()).find(c.MessagePart), std::string::npos)
          << c.Fmt << ": " << e.Message();
    }
  }
}

TEST(FloatText, FloatToStrGeneral) {
  const TFormatSettings fs = DotSettings();
  struct Case {
    double Value;
    const char* Expected;
  };
  const Case cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1.23456789012346E15"},
      {-1.5e-7, "-1.5E-7"},
      {1e100, "1E100"},
      {std::numeric_limits<double>::max(), "1.79769313486232E308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
      {std::nan(""), "NAN"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToStr(c.Value, fs), c.Expected) << c.Value;
  EXPECT_EQ(FloatToStr(2.5, CommaSettings()), "2,5");
}

TEST(FloatText, FormatFloatPatterns) {
  const TFormatSettings fs = DotSettings();
  struct Case {
    const char* Pattern;
    double Value;
    const char* Expected;
  };
  const Case cases[] = {
      {"0.000", 0.1234, "0.123"},
      {"0.000", 1.5, "1.500"},
      {"0.000", 0.0005, "0.001"},
      {"#,##0.00", 1234.5, "1,234.50"},
      {"#,##0.00", 5, "5.00"},
      {"#,##0.00", -1234567.891, "-1,234,567.89"},
      {"#.##", 0.5, ".5"},
      {"0.##", 1, "1"},
      {"0.0#", 1.25, "1.25"},
      {"0.0#", 1.2, "1.2"},
      {"0", 1234567, "1234567"},
      {"000", 7, "007"},
      {"0.00E+00", 1234.5, "1.23E+03"},
      {"0.00E-00", 0.0012, "1.20E-03"},
      {"0.00E-00", 1234.5, "1.23E03"},
      {"0.00;(0.00)", -5, "(5.00)"},
      {"0.00;(0.00);\"zero\"", 0.001, "zero"},
      {"\"Total: \"0", 12, "Total: 12"},
      {"0 'kg'", 3, "3 kg"},
      {"", 2.5, "2.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.Pattern, c.Value, fs), c.Expected) << c.Pattern << " " << c.Value;
  // The trace timing shows the locale's separator.
  EXPECT_EQ(FormatFloat("0.000", 0.123, CommaSettings()), "0,123");
}

TEST(FloatText, StrToFloat) {
  const TFormatSettings fs = DotSettings();
  struct Case {
    const char* Text;
    bool Ok;
    double Expected;
  };
  const Case cases[] = {
      {"1.5", true, 1.5},        {" -2.25e2 ", true, -225},   {"+.5", true, 0.5},
      {"3.", true, 3},           {"1e-400", true, 0},         {"0e999", true, 0},
      {"", false, 0},            {"   ", false, 0},          {"1,5", false, 0},
      {"1.5x", false, 0},        {"e5", false, 0},            {"1e", false, 0},
      {"1e999", false, 0},       {"--1", false, 0},           {"INF", false, 0},
      {".", false, 0},
  };
  for (const Case& c : cases) {
    double v = -1;
    EXPECT_EQ(TryStrToFloat(c.Text, v, fs), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_DOUBLE_EQ(v, c.Expected) << c.Text;
    }
  }
  EXPECT_DOUBLE_EQ(StrToFloat("1,5", CommaSettings()), 1.5);
  EXPECT_THROW(StrToFloat("1.5", CommaSettings()), EConvertError);
  EXPECT_DOUBLE_EQ(StrToFloatDef("junk", 7.0), 7.0);
  // Text round trip of every double written with 15 digits is exact to 15 digits.
  for (double v : {0.1, 123.456, 1e-10, 9.99999999999999e22}) {
    EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(v, fs), fs), StrToFloat(FloatToStrF(v, TFloatFormat::ffGeneral, 15, 0, fs), fs));
  }
}

TEST(FloatText, RoundIsBankers) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(Round(2.51), 3);
  EXPECT_EQ(Trunc(-2.9), -2);
  EXPECT_THROW(Round(1e19), EInvalidOp);
  EXPECT_THROW(Round(std::nan("")), EInvalidOp);
  EXPECT_THROW(Trunc(-1e19), EInvalidOp);
}

TEST(IntegerText, Parse) {
  struct Case {
    const char* Text;
    bool Ok32;
    int Value32;
    bool Ok64;
    long long Value64;
  };
  const Case cases[] = {
      {"42", true, 42, true, 42},
      {"  -17", true, -17, true, -17},
      {"+8", true, 8, true, 8},
      {"$FF", true, 255, true, 255},
      {"0x10", true, 16, true, 16},
      {"-$10", true, -16, true, -16},
      {"$FFFFFFFF", true, -1, true, 0xFFFFFFFFLL},
      {"2147483647", true, 2147483647, true, 2147483647},
      {"-2147483648", true, -2147483647 - 1, true, -2147483648LL},
      {"2147483648", false, 0, true, 2147483648LL},
      {"9223372036854775807", false, 0, true, 9223372036854775807LL},
      {"-9223372036854775808", false, 0, true, std::numeric_limits<long long>::min()},
      {"9223372036854775808", false, 0, false, 0},
      {"12 ", false, 0, false, 0},
      {"1.0", false, 0, false, 0},
      {"", false, 0, false, 0},
      {"-", false, 0, false, 0},
      {"$", false, 0, false, 0},
      {"abc", false, 0, false, 0},
  };
  for (const Case& c : cases) {
    int v32 = 0;
    std::int64_t v64 = 0;
    EXPECT_EQ(TryStrToInt(c.Text, v32), c.Ok32) << c.Text;
    if (c.Ok32) {
      EXPECT_EQ(v32, c.Value32) << c.Text;
    }
    EXPECT_EQ(TryStrToInt64(c.Text, v64), c.Ok64) << c.Text;
    if (c.Ok64) {
      EXPECT_EQ(v64, c.Value64) << c.Text;
    }
  }
  try {
    StrToInt("12a");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
  }
  EXPECT_EQ(StrToIntDef("x", -3), -3);
  EXPECT_EQ(StrToInt64Def("5000000000", 0), 5000000000LL);
  EXPECT_EQ(IntToStr(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
}

TEST(BooleanText, RoundTrip) {
  EXPECT_EQ(BoolToStr(true), "-1");
  EXPECT_EQ(BoolToStr(false), "0");
  EXPECT_EQ(BoolToStr(true, true), "True");
  for (const char* t : {"true", "TRUE", " True ", "-1", "1", "2"}) EXPECT_TRUE(StrToBool(t)) << t;
  for (const char* t : {"false", "FaLsE", "0"}) EXPECT_FALSE(StrToBool(t)) << t;
  EXPECT_THROW(StrToBool("yes"), EConvertError);
  EXPECT_THROW(StrToBool(""), EConvertError);
  EXPECT_TRUE(StrToBoolDef("maybe", true));
}

TEST(TextEditing, TrimQuoteReplace) {
  EXPECT_EQ(Trim("\t  a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a \x01"), "  a");
  EXPECT_EQ(Trim(" \xC3\xA9 "), "\xC3\xA9");  // multi-byte characters are not blanks
  EXPECT_EQ(QuotedStr("O'Brien"), "'O''Brien'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(AnsiDequotedStr("'O''Brien'"), "O'Brien");
  EXPECT_EQ(AnsiDequotedStr("plain"), "plain");
  EXPECT_EQ(AnsiDequotedStr("'open"), "open");
  EXPECT_EQ(StringReplace("a.b.c", ".", "::"), "a::b.c");
  EXPECT_EQ(StringReplace("a.b.c", ".", "::", rfReplaceAll), "a::b::c");
  EXPECT_EQ(StringReplace("aaa", "aa", "a", rfReplaceAll), "aa");
  EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
  EXPECT_EQ(StringReplace("Select * FROM t from", " from", " FROM", rfReplaceAll | rfIgnoreCase),
            "Select * FROM t FROM");
  EXPECT_EQ(StringReplace("\xC3\x89t\xC3\xA9", "\xC3\xA9", "e", rfReplaceAll | rfIgnoreCase), "ete");
}

TEST(TextEditing, OneBasedPositionsAreClipped) {
  EXPECT_EQ(Pos("b", "abcb"), 2u);
  EXPECT_EQ(Pos("x", "abc"), 0u);
  EXPECT_EQ(Pos("", "abc"), 0u);
  EXPECT_EQ(PosEx("b", "abcb", 3), 4u);
  EXPECT_EQ(PosEx("b", "abcb", 5), 0u);
  EXPECT_EQ(PosEx("b", "abcb", 0), 0u);
  struct CopyCase {
    std::ptrdiff_t Index, Count;
    const char* Expected;
  };
  for (CopyCase c : {CopyCase{2, 2, "bc"}, CopyCase{0, 2, "ab"}, CopyCase{-5, 1, "a"}, CopyCase{3, 99, "cd"},
                     CopyCase{5, 1, ""}, CopyCase{2, 0, ""}, CopyCase{2, -1, ""}})
    EXPECT_EQ(Copy("abcd", c.Index, c.Count), c.Expected) << c.Index << "," << c.Count;
  std::string s = "abcd";
  Delete(s, 2, 2);
  EXPECT_EQ(s, "ad");
  Delete(s, 5, 1);
  Delete(s, 0, 1);
  Delete(s, 2, 99);
  EXPECT_EQ(s, "a");
  Insert("xy", s, 99);
  Insert("<", s, -3);
  EXPECT_EQ(s, "<axy");
  EXPECT_EQ(StringOfChar('-', 3), "---");
}

TEST(Utf8Text, CountAndCut) {
  const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  EXPECT_EQ(Utf8Length(s), 5u);
  EXPECT_TRUE(Utf8IsValid(s));
  EXPECT_EQ(Utf8Copy(s, 1, 2), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Utf8Copy(s, 4), "z");
  EXPECT_EQ(Utf8Copy(s, 9), "");
  // Cutting never splits a character.
  struct Cut {
    size_t Bytes;
    size_t Kept;
  };
  for (Cut c : {Cut{0, 0}, Cut{1, 1}, Cut{2, 1}, Cut{3, 3}, Cut{5, 3}, Cut{6, 6}, Cut{9, 6}, Cut{10, 10}, Cut{99, 11}})
    EXPECT_EQ(Utf8Truncate(s, c.Bytes).size(), c.Kept) << c.Bytes;
  // Ill-formed bytes count one each and are never valid.
  for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    EXPECT_FALSE(Utf8IsValid(bad)) << bad;
    EXPECT_EQ(Utf8Length(bad), std::string(bad).size());
  }
}

}  // namespace
}  // namespace host
