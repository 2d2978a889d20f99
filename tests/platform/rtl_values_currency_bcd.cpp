// Currency and TBcd: exact arithmetic, text round trips and their limits.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/rtl/bcd.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/exceptions.h"

namespace host {
namespace {

TFormatSettings Dot() { return TFormatSettings{}; }

TFormatSettings Comma() {
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  return fs;
}

Currency C(const char* text) { return StrToCurr(text, Dot()); }

// ---- Currency -----------------------------------------------------------------------------

TEST(CurrencyValue, ArithmeticIsExactAndRoundsHalfToEven) {
  struct Case {
    const char* A;
    char Op;
    const char* B;
    const char* Expected;
  };
  const Case cases[] = {
      {"0.1", '+', "0.2", "0.3"},
      {"1.0001", '-', "2", "-0.9999"},
      {"1.5", '*', "1.5", "2.25"},
      {"0.0001", '*', "0.5", "0"},       // 0.00005 -> even neighbour 0
      {"0.0003", '*', "0.5", "0.0002"},  // 0.00015 -> 0.0002
      {"-0.0003", '*', "0.5", "-0.0002"},
      {"1", '/', "3", "0.3333"},
      {"2", '/', "3", "0.6667"},
      {"0.0001", '/', "2", "0"},
      {"922337203685477.5807", '-', "922337203685477.5807", "0"},
      {"-922337203685477.5808", '+', "922337203685477.5807", "-0.0001"},
  };
  for (const Case& c : cases) {
    Currency a = C(c.A), b = C(c.B), r;
    switch (c.Op) {
      case '+': r = a + b; break;
      case '-': r = a - b; break;
      case '*': r = a * b; break;
      default: r = a / b; break;
    }
    EXPECT_EQ(CurrToStr(r, Dot()), c.Expected) << c.A << c.Op << c.B;
  }
}

TEST(CurrencyValue, OverflowAtTheLimitsRaises) {
  EXPECT_THROW(MaxCurrency + C("0.0001"), EOverflow);
  EXPECT_THROW(MinCurrency - C("0.0001"), EOverflow);
  EXPECT_THROW(-MinCurrency, EOverflow);
  EXPECT_THROW(MaxCurrency * C("2"), EOverflow);
  EXPECT_THROW(C("1") / C("0"), EZeroDivide);
  EXPECT_EQ(Currency::FromInt(922337203685477).Raw(), 9223372036854770000LL);
  EXPECT_THROW(Currency::FromInt(922337203685478), EOverflow);
  EXPECT_THROW(Currency::FromDouble(1e15), EOverflow);
  EXPECT_THROW(Currency::FromDouble(std::nan("")), EOverflow);
  EXPECT_EQ(Currency::FromDouble(2.00005).Raw(), 20000);  // 2.00004999.. in binary
  EXPECT_EQ(C("2.5").Round(), 2);
  EXPECT_EQ(C("3.5").Round(), 4);
  EXPECT_EQ(C("-3.99").Trunc(), -3);
}

TEST(CurrencyText, RoundTripsAndErrors) {
  struct Case {
    const char* Text;
    bool Ok;
    std::int64_t Raw;
    const char* Back;
  };
  const Case cases[] = {
      {"922337203685477.5807", true, INT64_MAX, "922337203685477.5807"},
      {"-922337203685477.5808", true, INT64_MIN, "-922337203685477.5808"},
      {"922337203685477.5808", false, 0, nullptr},
      {"-922337203685477.5809", false, 0, nullptr},
      {"1e15", false, 0, nullptr},
      {"1.5e3", true, 15000000, "1500"},
      {"  12.30 ", true, 123000, "12.3"},
      {"0.00005", true, 0, "0"},       // a half to even
      {"0.00015", true, 2, "0.0002"},  // a half to even
      {"0.000051", true, 1, "0.0001"},
      {"-0", true, 0, "0"},
      {"-0.0001", true, -1, "-0.0001"},
      {"", false, 0, nullptr},
      {"1,5", false, 0, nullptr},
      {"abc", false, 0, nullptr},
  };
  for (const Case& c : cases) {
    Currency v;
    ASSERT_EQ(TryStrToCurr(c.Text, v, Dot()), c.Ok) << c.Text;
    if (!c.Ok) continue;
    EXPECT_EQ(v.Raw(), c.Raw) << c.Text;
    EXPECT_EQ(CurrToStr(v, Dot()), c.Back) << c.Text;
  }
  EXPECT_EQ(StrToCurr("1,25", Comma()).Raw(), 12500);
  EXPECT_EQ(CurrToStr(Currency::FromRaw(12500), Comma()), "1,25");
  EXPECT_THROW(StrToCurr("x", Dot()), EConvertError);
  EXPECT_EQ(CurrToStrF(C("-1234567.125"), TFloatFormat::ffNumber, 2, Dot()), "-1,234,567.13");
  EXPECT_EQ(CurrToStrF(C("0.5"), TFloatFormat::ffFixed, 0, Dot()), "1");
  EXPECT_EQ(CurrToStrF(MaxCurrency, TFloatFormat::ffFixed, 4, Dot()), "922337203685477.5807");
  TFormatSettings money = Dot();
  money.CurrencyString = "$";
  money.NegCurrFormat = 0;
  EXPECT_EQ(CurrToStrF(C("-5"), TFloatFormat::ffCurrency, 2, money), "($5.00)");
}

// ---- TBcd ---------------------------------------------------------------------------------------

TBcd B(const char* text) { return StrToBcd(text, Dot()); }
std::string S(const TBcd& b) { return BcdToStr(b, Dot()); }

TEST(BcdValue, LayoutAndTextRoundTrip) {
  TBcd b = B("-12.50");
  EXPECT_EQ(b.Precision, 4);
  EXPECT_EQ(b.SignSpecialPlaces, 0x80 | 2);
  EXPECT_EQ(b.Fraction[0], 0x12);
  EXPECT_EQ(b.Fraction[1], 0x50);
  EXPECT_EQ(b.Fraction[2], 0);

  struct Case {
    std::string Text;
    const char* Back;  // null: the text itself
    int Precision;     // significant digits
    int Scale;
  };
  const Case cases[] = {
      {"0", "0", 0, 0},
      {"-0.000", "0", 0, 3},
      {"007", "7", 1, 0},
      {"0.5", "0.5", 1, 1},
      {".25", "0.25", 2, 2},
      {"12.", "12", 2, 0},
      {"-123456789.987654321", "-123456789.987654321", 18, 9},
      {"0.0000000001", "0.0000000001", 1, 10},
      {std::string(64, '9'), nullptr, 64, 0},
  };
  for (const Case& c : cases) {
    TBcd v = StrToBcd(c.Text, Dot());
    EXPECT_TRUE(IsValidBcd(v));
    EXPECT_EQ(S(v), c.Back ? std::string(c.Back) : c.Text) << c.Text;
    EXPECT_EQ(BcdPrecision(v), c.Precision) << c.Text;
    EXPECT_EQ(BcdScale(v), c.Scale) << c.Text;
  }
  EXPECT_EQ(S(StrToBcd("1,5", Comma())), "1.5");
  EXPECT_EQ(BcdToStr(B("-1.5"), Comma()), "-1,5");
}

TEST(BcdValue, LimitsAndBadInput) {
  // 64 integer digits fit; 65 do not.
  EXPECT_NO_THROW(B(std::string(64, '9').c_str()));
  EXPECT_THROW(B(("1" + std::string(64, '0')).c_str()), EBcdOverflowException);
  TBcd scratch{};
  EXPECT_FALSE(TryStrToBcd("1" + std::string(64, '0'), scratch, Dot()));
  // More than 64 digits in all: the fraction is rounded to fit.
  std::string longFraction = "1." + std::string(62, '0') + "5" + "9";
  EXPECT_EQ(S(B(longFraction.c_str())), "1." + std::string(62, '0') + "6");
  for (const char* bad : {"", " ", "-", ".", "1.2.3", "1e5", "12a", "--1", "1 2"}) {
    EXPECT_FALSE(TryStrToBcd(bad, scratch, Dot())) << bad;
    EXPECT_THROW(StrToBcd(bad, Dot()), EBcdException) << bad;
  }
  // The marker written for values that cannot be read: 64 nines.
  TBcd marker{};
  marker.Precision = 64;
  marker.SignSpecialPlaces = 0;
  std::memset(marker.Fraction, 0x99, sizeof marker.Fraction);
  EXPECT_EQ(S(marker), std::string(64, '9'));
  Currency cur;
  EXPECT_FALSE(BCDToCurr(marker, cur));
  // Records that are not values.
  TBcd badNibble = B("12");
  badNibble.Fraction[0] = 0x1A;
  TBcd badPlaces = B("12");
  badPlaces.SignSpecialPlaces = 3;
  TBcd badPrecision = B("12");
  badPrecision.Precision = 65;
  for (const TBcd& bad : {badNibble, badPlaces, badPrecision}) {
    EXPECT_FALSE(IsValidBcd(bad));
    EXPECT_THROW(S(bad), EBcdException);
    EXPECT_FALSE(BCDToCurr(bad, cur));
  }
  // A zero-filled record reads as zero.
  TBcd zero{};
  EXPECT_EQ(S(zero), "0");
}

TEST(BcdValue, CurrencyRoundTrip) {
  for (const char* text : {"0", "1.5", "-0.0001", "922337203685477.5807", "-922337203685477.5808"}) {
    Currency c = C(text), back;
    TBcd b{};
    ASSERT_TRUE(CurrToBCD(c, b)) << text;
    EXPECT_EQ(b.Precision, 32);
    EXPECT_EQ(BcdScale(b), 4);
    ASSERT_TRUE(BCDToCurr(b, back)) << text;
    EXPECT_EQ(back, c) << text;
    EXPECT_EQ(S(b), text);
  }
  TBcd b{};
  EXPECT_TRUE(CurrToBCD(C("123.456"), b, 5, 2));
  EXPECT_EQ(S(b), "123.46");
  EXPECT_FALSE(CurrToBCD(C("1234.5"), b, 5, 2));  // four integer digits, room for three
  Currency c;
  ASSERT_TRUE(BCDToCurr(B("1.00005"), c));
  EXPECT_EQ(c.Raw(), 10000);  // a half to even
  ASSERT_TRUE(BCDToCurr(B("1.00015"), c));
  EXPECT_EQ(c.Raw(), 10002);
  EXPECT_FALSE(BCDToCurr(B("922337203685477.5808"), c));
  ASSERT_TRUE(BCDToCurr(B("-922337203685477.5808"), c));
  EXPECT_EQ(c, MinCurrency);
}

TEST(BcdValue, DoubleAndIntegerConversions) {
  EXPECT_EQ(S(DoubleToBcd(0.1 + 0.2)), "0.3");
  EXPECT_EQ(S(DoubleToBcd(-1.5e20)), "-150000000000000000000");
  EXPECT_EQ(S(DoubleToBcd(1.25e-10)), "0.000000000125");
  EXPECT_THROW(DoubleToBcd(std::nan("")), EBcdException);
  EXPECT_DOUBLE_EQ(BcdToDouble(B("-12.345")), -12.345);
  EXPECT_EQ(S(IntegerToBcd(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(BcdToInt64(B("2.5")), 3);
  EXPECT_EQ(BcdToInt64(B("-2.5")), -3);
  EXPECT_EQ(BcdToInt64(B("-2.9"), true), -2);
  EXPECT_EQ(BcdToInt64(B("-9223372036854775808")), INT64_MIN);
  EXPECT_THROW(BcdToInt64(B("9223372036854775808")), EBcdOverflowException);
}

TEST(BcdValue, CompareAndNormalize) {
  struct Case {
    const char* A;
    const char* B;
    int Expected;
  };
  const Case cases[] = {
      {"1.50", "1.5", 0}, {"-0", "0.000", 0}, {"2", "10", -1},     {"-2", "-10", 1},
      {"-1", "0.1", -1},  {"0.01", "0.1", -1}, {"100", "99.999", 1}, {"-0.5", "-0.50", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BcdCompare(B(c.A), B(c.B)), c.Expected) << c.A << " vs " << c.B;
    EXPECT_EQ(BcdCompare(B(c.B), B(c.A)), -c.Expected) << c.B << " vs " << c.A;
  }
  TBcd out{};
  ASSERT_TRUE(NormalizeBcd(B("12.345"), out, 8, 2));
  EXPECT_EQ(out.Precision, 8);
  EXPECT_EQ(BcdScale(out), 2);
  EXPECT_EQ(S(out), "12.35");
  ASSERT_TRUE(NormalizeBcd(B("-1"), out, 10, 4));
  EXPECT_EQ(S(out), "-1");
  EXPECT_EQ(BcdScale(out), 4);
  EXPECT_FALSE(NormalizeBcd(B("123456.7"), out, 7, 2));  // six integer digits, room for five
  EXPECT_TRUE(NormalizeBcd(B("99999.994"), out, 7, 2));
  EXPECT_FALSE(NormalizeBcd(B("99999.995"), out, 7, 2));  // rounding carries into a sixth digit
}

TEST(BcdValue, Arithmetic) {
  struct Case {
    const char* A;
    char Op;
    const char* B;
    const char* Expected;
  };
  const Case cases[] = {
      {"0.1", '+', "0.2", "0.3"},
      {"1", '-', "1.001", "-0.001"},
      {"-5.5", '-', "-5.5", "0"},
      {"99999999999999999999", '+', "1", "100000000000000000000"},
      {"1.25", '*', "-0.2", "-0.25"},
      {"123456789.123456789", '*', "1000000000", "123456789123456789"},
      {"1", '/', "4", "0.25"},
      {"10", '/', "-3", "-3.33333333333333333333333333333333"},
      {"2", '/', "3", "0.66666666666666666666666666666667"},
      {"0", '/', "7", "0"},
      {"0.001", '/', "0.1", "0.01"},
      {"100", '/', "0.004", "25000"},
      {"1", '/', "0.0000000000000000000000000000000000000003", "3333333333333333333333333333333333333333.33333333333333333333333"},
  };
  for (const Case& c : cases) {
    TBcd r{};
    switch (c.Op) {
      case '+': r = BcdAdd(B(c.A), B(c.B)); break;
      case '-': r = BcdSubtract(B(c.A), B(c.B)); break;
      case '*': r = BcdMultiply(B(c.A), B(c.B)); break;
      default: r = BcdDivide(B(c.A), B(c.B)); break;
    }
    EXPECT_EQ(S(r), c.Expected) << c.A << c.Op << c.B;
  }
  EXPECT_THROW(BcdDivide(B("1"), B("0.000")), EZeroDivide);
  std::string big(40, '9');
  EXPECT_THROW(BcdMultiply(B(big.c_str()), B(big.c_str())), EBcdOverflowException);
  EXPECT_EQ(S(BcdNegate(B("1.5"))), "-1.5");
}

}  // namespace
}  // namespace host
