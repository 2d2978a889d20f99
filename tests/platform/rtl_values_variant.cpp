// Variant: kinds, Empty and Null, conversions, comparison, logic, arithmetic and arrays.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"

namespace host {
namespace {

// Text conversions read the process settings; these tests fix them and put them back.
class VariantTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved = FormatSettings();
    TFormatSettings fs;
    fs.ShortDateFormat = "yyyy/mm/dd";
    fs.DateSeparator = '-';
    fs.LongTimeFormat = "hh:nn:ss";
    FormatSettings() = fs;
  }
  void TearDown() override { FormatSettings() = FSaved; }

 private:
  TFormatSettings FSaved;
};

TBcd Bcd(const char* text) { return StrToBcd(text, TFormatSettings{}); }

TEST_F(VariantTest, KindOfEachConstructor) {
  struct Case {
    Variant Value;
    TVarType Type;
  };
  const std::vector<Case> cases = {
      {Variant(), varEmpty},
      {Null(), varNull},
      {Variant(true), varBoolean},
      {Variant(static_cast<signed char>(-5)), varShortInt},
      {Variant(static_cast<unsigned char>(5)), varByte},
      {Variant(static_cast<short>(5)), varSmallint},
      {Variant(static_cast<unsigned short>(5)), varWord},
      {Variant(5), varInteger},
      {Variant(5u), varLongWord},
      {Variant(5LL), varInt64},
      {Variant(5ULL), varUInt64},
      {Variant(1.5f), varSingle},
      {Variant(1.5), varDouble},
      {Variant(Currency::FromInt(3)), varCurrency},
      {Variant(EncodeDate(2004, 3, 7)), varDate},
      {Variant(Bcd("1.5")), varFMTBcd},
      {Variant("text"), varString},
      {Variant(std::string("text")), varString},
      {Variant('x'), varString},
      {VarArrayOf({1, 2}), TVarType(varArray | varVariant)},
  };
  for (const Case& c : cases) EXPECT_EQ(VarType(c.Value), c.Type) << VarTypeAsText(c.Type);
  EXPECT_EQ(VarTypeAsText(varArray | varInteger), "Array Integer");
  EXPECT_EQ(VarTypeAsText(0x0EEE), "$0EEE");
}

TEST_F(VariantTest, EmptyAndNullDiffer) {
  Variant empty, null = Null();
  EXPECT_TRUE(VarIsEmpty(empty));
  EXPECT_FALSE(VarIsNull(empty));
  EXPECT_TRUE(VarIsClear(empty));
  EXPECT_TRUE(VarIsNull(null));
  EXPECT_FALSE(VarIsEmpty(null));
  EXPECT_FALSE(VarIsClear(null));
  // Empty converts to the zero of every kind.
  EXPECT_EQ(empty.AsInteger(), 0);
  EXPECT_EQ(empty.AsString(), "");
  EXPECT_FALSE(empty.AsBoolean());
  EXPECT_EQ(empty.AsDouble(), 0);
  // Null converts to nothing, except through VarToStr.
  const std::vector<std::pair<std::function<void()>, const char*>> conversions = {
      {[&] { null.AsInteger(); }, "Integer"},  {[&] { null.AsInt64(); }, "Int64"},
      {[&] { null.AsDouble(); }, "Double"},    {[&] { null.AsBoolean(); }, "Boolean"},
      {[&] { null.AsString(); }, "String"},    {[&] { null.AsCurrency(); }, "Currency"},
      {[&] { null.AsDateTime(); }, "Date"},    {[&] { null.AsBcd(); }, "FMTBcd"},
  };
  for (const auto& [convert, target] : conversions) {
    try {
      convert();
      ADD_FAILURE() << target;
    } catch (const EVariantTypeCastError& e) {
      EXPECT_EQ(e.Message(), std::string("Could not convert variant of type (Null) into type (") + target + ")");
    }
  }
  EXPECT_EQ(VarToStr(null), "");
  EXPECT_EQ(VarToStrDef(null, "n/a"), "n/a");
  EXPECT_EQ(VarToStrDef(empty, "n/a"), "n/a");
  EXPECT_TRUE(VarIsNull(VarAsType(null, varNull)));
  EXPECT_TRUE(VarIsEmpty(VarAsType(null, varEmpty)));
  EXPECT_THROW(VarAsType(null, varInteger), EVariantTypeCastError);
  // Null in arithmetic and logic gives Null; Empty counts as zero.
  EXPECT_TRUE(VarIsNull(null + Variant(1)));
  EXPECT_TRUE(VarIsNull(Variant(1) * null));
  EXPECT_TRUE(VarIsNull(-null));
  EXPECT_TRUE(VarIsNull(VarAnd(null, Variant(true))));
  EXPECT_EQ((empty + Variant(1)).AsInteger(), 1);
  EXPECT_EQ((empty + Variant("a")).AsString(), "a");
}

// One conversion: the result's kind and text, or the error class it raises.
struct Conversion {
  Variant Value;
  TVarType Target;
  TVarType ResultType;  // varEmpty: an error is expected
  std::string Text;     // result text, or "cast" / "range" for the error expected
};

TEST_F(VariantTest, ConversionsBetweenKinds) {
  const double nan = std::nan("");
  const std::vector<Conversion> cases = {
      {Variant("123"), varInteger, varInteger, "123"},
      {Variant(" -7 "), varInteger, varInteger, "-7"},
      {Variant("1.5"), varInteger, varInteger, "2"},
      {Variant("2.5"), varInteger, varInteger, "2"},  // a half to even
      {Variant(-2.5), varInteger, varInteger, "-2"},
      {Variant("abc"), varInteger, varEmpty, "cast"},
      {Variant(""), varInteger, varEmpty, "cast"},
      {Variant(70000), varSmallint, varEmpty, "range"},
      {Variant(-1), varByte, varEmpty, "range"},
      {Variant(-1), varLongWord, varEmpty, "range"},
      {Variant(4294967295LL), varLongWord, varLongWord, "4294967295"},
      {Variant(1e10), varInteger, varEmpty, "range"},
      {Variant(nan), varInteger, varEmpty, "range"},
      {Variant(std::numeric_limits<unsigned long long>::max()), varInt64, varEmpty, "range"},
      {Variant("18446744073709551615"), varUInt64, varUInt64, "18446744073709551615"},
      {Variant(-1), varUInt64, varEmpty, "range"},
      {Variant(true), varInteger, varInteger, "-1"},
      {Variant(true), varString, varString, "True"},
      {Variant("tRuE"), varBoolean, varBoolean, "True"},
      {Variant("0"), varBoolean, varBoolean, "False"},
      {Variant("yes"), varBoolean, varEmpty, "cast"},
      {Variant(0.0), varBoolean, varBoolean, "False"},
      {Variant(2), varBoolean, varBoolean, "True"},
      {Variant(1.5), varCurrency, varCurrency, "1.5"},
      {Variant(1e20), varCurrency, varEmpty, "range"},
      {Variant("12.3456"), varCurrency, varCurrency, "12.3456"},
      {Variant("1,5"), varCurrency, varEmpty, "cast"},
      {Variant(Bcd("1234.56789")), varCurrency, varCurrency, "1234.5679"},
      {Variant("12.340"), varFMTBcd, varFMTBcd, "12.34"},
      {Variant(Currency::FromRaw(-15)), varFMTBcd, varFMTBcd, "-0.0015"},
      {Variant(0.1), varFMTBcd, varFMTBcd, "0.1"},
      {Variant(nan), varFMTBcd, varEmpty, "range"},
      {Variant("x"), varFMTBcd, varEmpty, "cast"},
      {Variant(1e39), varSingle, varEmpty, "range"},
      {Variant(0.1), varSingle, varSingle, "0.1"},
      {Variant(1.25), varOleStr, varString, "1.25"},
      {Variant(static_cast<short>(-3)), varUString, varString, "-3"},
      {Variant("2004-03-07"), varDate, varDate, "2004-03-07"},
      {Variant("2004-03-07 10:20:30"), varDate, varDate, "2004-03-07 10:20:30"},
      {Variant("2004-02-30"), varDate, varEmpty, "cast"},
      {Variant(EncodeDate(2004, 3, 7)), varDouble, varDouble, "38053"},
      {Variant(38053.5), varDate, varDate, "2004-03-07 12:00:00"},
      {Variant(Currency::FromRaw(25000)), varInteger, varInteger, "2"},  // 2.5 to even
      {Variant(1), varDispatch, varEmpty, "cast"},
      {VarArrayOf({1}), varInteger, varEmpty, "cast"},
      {Variant(1), TVarType(varArray | varInteger), varEmpty, "cast"},
  };
  for (const Conversion& c : cases) {
    const std::string label = VarToStrDef(c.Value.IsArray() ? Variant("array") : c.Value, "?") + " -> " + VarTypeAsText(c.Target);
    if (c.ResultType == varEmpty) {
      if (c.Text == "cast") {
        EXPECT_THROW(VarAsType(c.Value, c.Target), EVariantTypeCastError) << label;
      } else {
        EXPECT_THROW(VarAsType(c.Value, c.Target), EVariantOverflowError) << label;
      }
      continue;
    }
    Variant r = VarAsType(c.Value, c.Target);
    EXPECT_EQ(VarType(r), c.ResultType) << label;
    EXPECT_EQ(VarToStr(r), c.Text) << label;
  }
  try {
    VarAsType(Variant("abc"), varInteger);
  } catch (const EVariantTypeCastError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (String) into type (Integer)");
  }
  // The marker BCD of 64 nines does not fit a currency.
  TBcd nines = Bcd(std::string(64, '9').c_str());
  EXPECT_THROW(Variant(nines).AsCurrency(), EVariantOverflowError);
}

TEST_F(VariantTest, TextOfEachKind) {
  EXPECT_EQ(VarToStr(Variant(0.1f)), "0.1");  // seven digits for Single
  EXPECT_EQ(VarToStr(Variant(1.0 / 3)), "0.333333333333333");
  EXPECT_EQ(VarToStr(Variant(Currency::FromRaw(-12345))), "-1.2345");
  EXPECT_EQ(VarToStr(Variant(EncodeDate(2004, 3, 7))), "2004-03-07");
  EXPECT_EQ(VarToStr(Variant(Bcd("-0.50"))), "-0.5");
  EXPECT_EQ(VarToStr(Variant(std::numeric_limits<long long>::min())), "-9223372036854775808");
  EXPECT_EQ(VarToStr(Variant(false)), "False");
  EXPECT_THROW(VarToStr(VarArrayOf({1})), EVariantTypeCastError);
  EXPECT_THROW(Variant(TBcd{70, 0, {}}), EBcdException);
}

enum Rel { EQ, LT, GT, NE, ERR };

TEST_F(VariantTest, ComparisonAcrossKinds) {
  struct Case {
    Variant A, B;
    Rel Expected;
  };
  const std::vector<Case> cases = {
      {Variant(1), Variant(1.0), EQ},
      {Variant(static_cast<unsigned char>(200)), Variant(static_cast<signed char>(-1)), GT},
      {Variant(Currency::FromRaw(15000)), Variant(1.5), EQ},
      {Variant(2), Variant(Currency::FromRaw(19999)), GT},
      {Variant(9007199254740993LL), Variant(9007199254740992LL), GT},  // beyond double precision
      {Variant(std::numeric_limits<unsigned long long>::max()), Variant(-1LL), GT},
      {Variant(Bcd("1.50")), Variant(1.5), EQ},
      {Variant(Bcd("0.1")), Variant(Currency::FromRaw(1000)), EQ},
      {Variant(Bcd("12345678901234567890.5")), Variant(Bcd("12345678901234567890.4")), GT},
      {Variant("abc"), Variant("abd"), LT},
      {Variant("abc"), Variant("ABC"), LT},  // case counts, by the locale's order
      {Variant("10"), Variant(9), GT},       // a text beside a number is read as a number
      {Variant(9), Variant("10"), LT},
      {Variant("1.5"), Variant(Currency::FromRaw(15000)), EQ},
      {Variant("abc"), Variant(1), ERR},
      {Variant(EncodeDate(2004, 3, 7)), Variant(EncodeDate(2004, 3, 8)), LT},
      {Variant(EncodeDate(2004, 3, 7)), Variant("2004-03-07"), EQ},
      {Variant(EncodeDate(2004, 3, 7)), Variant(38053), EQ},  // dates compare as numbers
      {Variant(true), Variant(false), GT},
      {Variant(true), Variant(-1), EQ},
      {Variant("TRUE"), Variant(true), EQ},
      {Null(), Null(), EQ},
      {Null(), Variant(0), LT},
      {Variant(""), Null(), GT},
      {Variant(), Variant(0), EQ},
      {Variant(), Variant(""), EQ},
      {Variant(), Variant("a"), LT},
      {Variant(), Null(), GT},
      {Variant(std::nan("")), Variant(std::nan("")), NE},
      {VarArrayOf({1}), VarArrayOf({1}), ERR},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    if (c.Expected == ERR) {
      EXPECT_THROW(VarCompareValue(c.A, c.B), EVariantError) << "case " << i;
      continue;
    }
    TVariantRelationship r = VarCompareValue(c.A, c.B);
    const TVariantRelationship expected[] = {TVariantRelationship::vrEqual, TVariantRelationship::vrLessThan,
                                             TVariantRelationship::vrGreaterThan, TVariantRelationship::vrNotEqual};
    EXPECT_EQ(r, expected[c.Expected]) << "case " << i;
    EXPECT_EQ(c.A == c.B, c.Expected == EQ) << "case " << i;
    EXPECT_EQ(c.A != c.B, c.Expected != EQ) << "case " << i;
    EXPECT_EQ(c.A < c.B, c.Expected == LT) << "case " << i;
    EXPECT_EQ(c.A >= c.B, c.Expected == EQ || c.Expected == GT) << "case " << i;
    // The mirror image.
    if (c.Expected == LT || c.Expected == GT) {
      EXPECT_EQ(c.B > c.A, c.Expected == LT) << "case " << i;
    }
  }
}

TEST_F(VariantTest, Arithmetic) {
  struct Case {
    Variant Result;
    TVarType Type;
    const char* Text;
  };
  const TDateTime day = EncodeDate(2004, 3, 7);
  const std::vector<Case> cases = {
      {Variant(1) + Variant(2), varInteger, "3"},
      {Variant(2147483647) + Variant(1), varInt64, "2147483648"},  // widened, not wrapped
      {Variant(static_cast<unsigned char>(200)) + Variant(static_cast<unsigned char>(100)), varInteger, "300"},
      {Variant(static_cast<short>(30000)) * Variant(static_cast<short>(30000)), varInteger, "900000000"},
      {Variant(5LL) - Variant(7), varInt64, "-2"},
      {Variant("ab") + Variant("cd"), varString, "abcd"},
      {Variant("1") + Variant(2), varDouble, "3"},
      {Variant("1.5") * Variant("2"), varDouble, "3"},
      {Variant(Currency::FromRaw(1000)) + Variant(Currency::FromRaw(2000)), varCurrency, "0.3"},
      {Variant(Currency::FromRaw(15000)) * Variant(3), varCurrency, "4.5"},
      {Variant(Currency::FromRaw(15000)) + Variant(0.25), varDouble, "1.75"},
      {Variant(Bcd("0.1")) + Variant(0.2), varFMTBcd, "0.3"},
      {Variant(Bcd("12345678901234567890")) * Variant(10), varFMTBcd, "123456789012345678900"},
      {Variant(day) + Variant(1), varDate, "2004-03-08"},
      {Variant(day) - Variant(0.5), varDate, "2004-03-06 12:00:00"},
      {Variant(EncodeDate(2004, 3, 9)) - Variant(day), varDouble, "2"},
      {Variant(7) / Variant(2), varDouble, "3.5"},
      {Variant(Bcd("1")) / Variant(4), varFMTBcd, "0.25"},
      {VarIntDiv(Variant(7), Variant(2)), varInteger, "3"},
      {VarIntDiv(Variant(-7), Variant(2)), varInteger, "-3"},
      {VarMod(Variant(-7), Variant(3)), varInteger, "-1"},
      {Variant(7LL) % Variant(4), varInt64, "3"},
      {Variant(true) + Variant(true), varInteger, "-2"},
      {-Variant(5), varInteger, "-5"},
      {-Variant(-2147483647 - 1), varInt64, "2147483648"},
      {-Variant(static_cast<unsigned char>(5)), varInteger, "-5"},
      {-Variant(Currency::FromRaw(1)), varCurrency, "-0.0001"},
      {-Variant(1.5f), varSingle, "-1.5"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(VarType(cases[i].Result), cases[i].Type) << "case " << i;
    EXPECT_EQ(VarToStr(cases[i].Result), cases[i].Text) << "case " << i;
  }
  const Variant max64(std::numeric_limits<long long>::max());
  const Variant min64(std::numeric_limits<long long>::min());
  EXPECT_THROW(max64 + Variant(1), EVariantOverflowError);
  EXPECT_THROW(min64 - Variant(1), EVariantOverflowError);
  EXPECT_THROW(max64 * Variant(2), EVariantOverflowError);
  EXPECT_THROW(VarIntDiv(min64, Variant(-1)), EVariantOverflowError);
  EXPECT_THROW(-Variant(Currency::FromRaw(std::numeric_limits<long long>::min())), EVariantOverflowError);
  EXPECT_THROW(Variant(MaxCurrency) + Variant(1), EVariantOverflowError);
  EXPECT_THROW(Variant(1e308) * Variant(10.0), EVariantOverflowError);
  EXPECT_THROW(Variant(1) / Variant(0), EZeroDivide);
  EXPECT_THROW(Variant(Bcd("1")) / Variant(0), EZeroDivide);
  EXPECT_THROW(VarIntDiv(Variant(1), Variant(0)), EDivByZero);
  EXPECT_THROW(VarMod(Variant(1), Variant()), EDivByZero);
  EXPECT_THROW(Variant("x") - Variant(1), EVariantTypeCastError);
  EXPECT_THROW(VarArrayOf({1}) + Variant(1), EVariantInvalidOpError);
}

TEST_F(VariantTest, Logic) {
  struct Case {
    Variant Result;
    TVarType Type;
    const char* Text;
  };
  const std::vector<Case> cases = {
      {VarAnd(Variant(true), Variant(false)), varBoolean, "False"},
      {VarOr(Variant(true), Variant(false)), varBoolean, "True"},
      {VarXor(Variant(true), Variant(true)), varBoolean, "False"},
      {VarOr(Variant("True"), Variant(false)), varBoolean, "True"},
      {VarAnd(Variant(), Variant(true)), varBoolean, "False"},
      {VarAnd(Variant(12), Variant(10)), varInteger, "8"},
      {VarOr(Variant(12), Variant(3)), varInteger, "15"},
      {VarXor(Variant(12LL), Variant(10)), varInt64, "6"},
      {VarAnd(Variant(true), Variant(3)), varInteger, "3"},  // mixed: bitwise, True is -1
      {VarNot(Variant(true)), varBoolean, "False"},
      {VarNot(Variant("false")), varBoolean, "True"},
      {VarNot(Variant(0)), varInteger, "-1"},
      {VarNot(Variant(static_cast<unsigned char>(5))), varByte, "250"},
      {VarNot(Variant(static_cast<unsigned short>(0))), varWord, "65535"},
      {VarNot(Variant()), varInteger, "-1"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(VarType(cases[i].Result), cases[i].Type) << "case " << i;
    EXPECT_EQ(VarToStr(cases[i].Result), cases[i].Text) << "case " << i;
  }
  EXPECT_TRUE(VarIsNull(VarNot(Null())));
  EXPECT_TRUE(VarIsNull(VarOr(Variant(true), Null())));
  EXPECT_THROW(VarAnd(Variant("x"), Variant(1)), EVariantTypeCastError);
  EXPECT_THROW(VarNot(VarArrayOf({true})), EVariantInvalidOpError);
}

TEST_F(VariantTest, ArraysOneDimension) {
  Variant a = VarArrayCreate({1, 3}, varInteger);
  EXPECT_TRUE(VarIsArray(a));
  EXPECT_EQ(VarType(a), varArray | varInteger);
  EXPECT_EQ(VarArrayDimCount(a), 1);
  EXPECT_EQ(VarArrayLowBound(a, 1), 1);
  EXPECT_EQ(VarArrayHighBound(a, 1), 3);
  EXPECT_EQ(VarType(a.GetElement(1)), varInteger);  // typed elements start at zero
  EXPECT_EQ(a.GetElement(1).AsInteger(), 0);
  a.PutElement(2, Variant("7"));  // converted to the element kind
  EXPECT_EQ(VarType(a.GetElement(2)), varInteger);
  EXPECT_EQ(a.GetElement(2).AsInteger(), 7);
  EXPECT_THROW(a.PutElement(2, Variant("x")), EVariantTypeCastError);
  EXPECT_EQ(a.GetElement(2).AsInteger(), 7);  // unchanged after the failed put
  for (int bad : {0, 4, -1}) {
    EXPECT_THROW(a.GetElement(bad), EVariantBadIndexError) << bad;
    EXPECT_THROW(a.PutElement(bad, Variant(1)), EVariantBadIndexError) << bad;
  }
  EXPECT_THROW(a.GetElement({1, 1}), EVariantBadIndexError);
  EXPECT_THROW(VarArrayHighBound(a, 2), EVariantInvalidArgError);
  EXPECT_THROW(VarArrayLowBound(a, 0), EVariantInvalidArgError);

  // Copies are independent.
  Variant copy = a;
  copy.PutElement(2, Variant(8));
  EXPECT_EQ(a.GetElement(2).AsInteger(), 7);
  Variant moved = std::move(copy);
  EXPECT_EQ(moved.GetElement(2).AsInteger(), 8);

  Variant keys = VarArrayOf({Variant(1), Variant("a"), Null()});
  EXPECT_EQ(VarType(keys), varArray | varVariant);
  EXPECT_EQ(VarArrayLowBound(keys, 1), 0);
  EXPECT_EQ(VarArrayHighBound(keys, 1), 2);
  EXPECT_EQ(VarType(keys.GetElement(1)), varString);
  EXPECT_TRUE(VarIsNull(VarArrayGet(keys, {2})));
  VarArrayPut(keys, Variant(2.5), {0});
  EXPECT_EQ(VarType(keys.GetElement(0)), varDouble);  // varVariant elements keep their kind

  Variant texts = VarAsType(VarArrayOf({1, 2.5}), varArray | varString);
  EXPECT_EQ(VarType(texts), varArray | varString);
  EXPECT_EQ(texts.GetElement(1).AsString(), "2.5");

  Variant empty = VarArrayCreate({0, -1}, varVariant);
  EXPECT_EQ(VarArrayHighBound(empty, 1), -1);
  EXPECT_THROW(empty.GetElement(0), EVariantBadIndexError);
  EXPECT_EQ(VarArrayHighBound(VarArrayOf({}), 1), -1);
}

TEST_F(VariantTest, ArraysSeveralDimensionsAndErrors) {
  Variant grid = VarArrayCreate({0, 1, 5, 7}, varVariant);
  EXPECT_EQ(VarArrayDimCount(grid), 2);
  for (int i = 0; i <= 1; ++i)
    for (int j = 5; j <= 7; ++j) grid.PutElement({i, j}, Variant(i * 10 + j));
  for (int i = 0; i <= 1; ++i)
    for (int j = 5; j <= 7; ++j) EXPECT_EQ(grid.GetElement({i, j}).AsInteger(), i * 10 + j);
  EXPECT_THROW(grid.GetElement({1, 8}), EVariantBadIndexError);
  EXPECT_THROW(grid.GetElement(1), EVariantBadIndexError);

  const std::vector<std::pair<std::vector<int>, TVarType>> bad = {
      {{}, varVariant},        {{1}, varVariant},        {{1, 2, 3}, varVariant}, {{5, 3}, varVariant},
      {{0, 1}, varNull},       {{0, 1}, varEmpty},       {{0, 1}, varDispatch},   {{0, 1}, varArray | varVariant},
      {{0, 1 << 30}, varByte}, {{0, 9999, 0, 9999}, varByte},
  };
  for (const auto& [bounds, type] : bad) EXPECT_THROW(VarArrayCreate(bounds, type), EVariantArrayCreateError);

  Variant scalar(1);
  EXPECT_EQ(VarArrayDimCount(scalar), 0);
  EXPECT_THROW(VarArrayHighBound(scalar, 1), EVariantNotAnArrayError);
  EXPECT_THROW(scalar.GetElement(0), EVariantNotAnArrayError);
}

}  // namespace
}  // namespace host
