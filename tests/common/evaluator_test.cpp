// TParseVerifier: filters evaluated against records, buffers of other producers, damaged
// buffers, and the comparison of values.

#include <gtest/gtest.h>

#include <string>

#include "common/kxparser.h"
#include "common/kxtables/errors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/locale.h"
#include "tests/common/parser_asm.h"
#include "tests/common/parser_memrecord.h"

namespace {

using namespace kx;
using host::TFilterOptions;
using host::Variant;
using kxtest::Assemble;
using kxtest::Bytes;

class EvaluatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FTable.SetName("Table1");
    Fill();
  }
  // Every field has a value except IntCalc, Data and Raw.
  void Fill() {
    FRecord.Clear();
    FRecord.Set("Qty", Variant(5));
    FRecord.Set("Name", Variant("smith"));
    FRecord.Set("Price", Variant(2.5));
    FRecord.Set("Active", Variant(true));
    FRecord.Set("Small", Variant(short{3}));
    FRecord.Set("W", Variant(static_cast<unsigned short>(7)));
    FRecord.Set("Amount", Variant(12.25));
    FRecord.Set("Dec", Variant(host::Currency::FromRaw(15000)));
    FRecord.Set("Born", Variant(host::TDateTime(43832)));
    FRecord.Set("At", Variant(host::TDateTime(0.4375)));
    FRecord.Set("Stamp", Variant(host::TDateTime(43832.4375)));
    FRecord.Set("Big", Variant(5LL));
    FRecord.Set("Notes", Variant("memo text"));
    FRecord.Set("Id", Variant(9));
    FRecord.Set("Wide", Variant("abc"));
    FRecord.Set("Fixed", Variant("ab"));
    FRecord.Set("Order Date", Variant(host::TDateTime(43831)));
  }

  // "T", "F", or the message of what evaluating raised.
  std::string Eval(const std::string& text, TFilterOptions fo = {}, TParserOptions po = {poExtSyntax}) {
    TExprParser parser(FRecord, text, fo, po, "", nullptr);
    return Run(parser.FilterData());
  }
  std::string Run(const std::uint8_t* data) {
    try {
      TParseVerifier verifier(FRecord, data);
      return verifier.Verify() ? "T" : "F";
    } catch (const host::Exception& e) {
      return e.Message();
    }
  }
  std::string RunAsm(const std::string& nodes, const std::string& literals) {
    const Bytes b = Assemble(nodes, literals);
    return Run(b.data());
  }

  kxtest::FixedTextFormats FFormats;
  host::TComponent FTable{nullptr};
  kxtest::MemRecordResolver FRecord{kxtest::AllTypesFields(), &FTable};
};

struct EvalCase {
  const char* text;
  TFilterOptions fo;
  const char* expected;
};

const TFilterOptions kCaseless{host::foCaseInsensitive};
const TFilterOptions kNoPartial{host::foNoPartialCompare};

const EvalCase kFilledCases[] = {
    {"Qty = 5", {}, "T"},      {"Qty <> 5", {}, "F"},     {"Qty > 4", {}, "T"},
    {"Qty < 5", {}, "F"},      {"Qty >= 5", {}, "T"},     {"Qty <= 4", {}, "F"},
    {"4 < Qty", {}, "T"},      {"Price <= 3.5", {}, "T"}, {"Amount = 12.25", {}, "T"},
    {"Dec = 1.5", {}, "T"},    {"Small = 3", {}, "T"},    {"W = 7", {}, "T"},
    {"Id = 9", {}, "T"},       {"Qty = Id", {}, "F"},     {"Qty < Id", {}, "T"},
    {"Born = '2020-01-02'", {}, "T"},  {"Born > [Order Date]", {}, "T"},
    {"Stamp > '2020-01-02'", {}, "T"}, {"At = '10:30:00'", {}, "T"},
    // Text: case-sensitive unless caseless; an asterisk compares a prefix.
    {"Name = 'smith'", {}, "T"},  {"Name = 'Smith'", {}, "F"},   {"Name = 'Smith'", kCaseless, "T"},
    {"Name <> 'Smith'", kCaseless, "F"},  {"Name <> 'Smith'", {}, "T"},
    {"Name = 'sm*'", {}, "T"},    {"Name = 'sx*'", {}, "F"},     {"Name <> 'sm*'", {}, "F"},
    {"Name = 'SM*'", kCaseless, "T"},     {"Name = 'sm*'", kNoPartial, "F"},
    {"Name LIKE 'sm%'", {}, "T"}, {"Name LIKE 'SMITH'", kCaseless, "T"},
    {"Name LIKE 'smith'", {}, "Unknown node operation type: 30. Component is Table1"},
    {"Name > 'r'", {}, "T"},      {"Wide = 'abc'", {}, "T"},     {"Fixed = 'ab'", {}, "T"},
    {"Wide = 'a*'", {}, "T"},     {"Notes = 'memo text'", {}, "T"},
    {"Name + 'x' = 'smithx'", {}, "T"},
    // Booleans.
    {"Active", {}, "T"},         {"NOT Active", {}, "F"},       {"Active = False", {}, "F"},
    {"NOT (Qty = 5)", {}, "F"},  {"Active AND Qty = 5", {}, "T"},
    // IN lists; a null element never matches.
    {"Qty IN (1, 5)", {}, "T"},  {"Qty IN (1, 2)", {}, "F"},    {"Name IN ('a', 'smith')", {}, "T"},
    {"Qty IN (IntCalc, 5)", {}, "T"},    {"Qty IN (IntCalc)", {}, "F"},
    {"Born IN ('2020-01-01', '2020-01-02')", {}, "T"},
    // Arithmetic.
    {"Qty + 1 = 6", {}, "T"},    {"Qty * 2 - 1 = 9", {}, "T"},  {"Price / 2 = 1.25", {}, "T"},
    {"Qty - 1 > 3", {}, "T"},    {"Born + 1 > '2020-01-02'", {}, "T"},
    {"Stamp - Born < 1", {}, "T"},
    // Null arithmetic: no comparison holds, and a Null result is not blank.
    {"Qty + IntCalc > 1", {}, "F"},      {"Qty + IntCalc <> 1", {}, "F"},
    {"(Qty + IntCalc) IS NULL", {}, "F"}, {"IntCalc IS NULL", {}, "T"},
    // Short circuits: the right side is not evaluated (and cannot fail).
    {"Qty > 100 AND Big > Qty", {}, "F"},
    {"Qty < 100 OR Big > Qty", {}, "T"},
    {"Qty < 100 AND Big > Qty", {}, "Bad variant type. Component is Table1"},
    {"Qty > 100 OR Big > Qty", {}, "Bad variant type. Component is Table1"},
};

TEST_F(EvaluatorTest, FiltersOnAFilledRecord) {
  for (const auto& c : kFilledCases) EXPECT_EQ(Eval(c.text, c.fo), c.expected) << c.text;
}

// A null field fails every comparison and passes only the null tests.
TEST_F(EvaluatorTest, NullFieldsCompareUndefined) {
  FRecord.Set("Qty", host::Null());
  FRecord.Set("Name", host::Null());
  for (const char* op : {"=", "<>", ">", "<", ">=", "<="}) {
    EXPECT_EQ(Eval(std::string("Qty ") + op + " 1"), "F") << op;
    EXPECT_EQ(Eval(std::string("1 ") + op + " Qty"), "F") << op;
    EXPECT_EQ(Eval(std::string("Qty ") + op + " Id"), "F") << op;
  }
  EXPECT_EQ(Eval("Qty IS NULL"), "T");
  EXPECT_EQ(Eval("Qty = NULL"), "T");
  EXPECT_EQ(Eval("Qty IS NOT NULL"), "F");
  EXPECT_EQ(Eval("Qty IN (1, 2)"), "F");
  // A compare node reads the text of a null field as empty.
  EXPECT_EQ(Eval("Name = 'a*'"), "F");
  EXPECT_EQ(Eval("Name <> 'a*'"), "T");
}

// A partial comparison of length 2 accepts every value with the same first two characters,
// counted in characters, not bytes.
TEST_F(EvaluatorTest, PartialComparisonCountsCharacters) {
  TExprParser parser(FRecord, "Name = '\xC3\xA9t*'", {}, {}, "", nullptr);  // "ét*"
  TParseVerifier verifier(FRecord, parser.FilterData());
  for (const char* value : {"\xC3\xA9t", "\xC3\xA9t\xC3\xA9", "\xC3\xA9tat"}) {
    FRecord.Set("Name", Variant(value));
    EXPECT_TRUE(verifier.Verify()) << value;
  }
  for (const char* value : {"\xC3\xA9", "et", "\xC3\x89t"}) {
    FRecord.Set("Name", Variant(value));
    EXPECT_FALSE(verifier.Verify()) << value;
  }
}

TEST_F(EvaluatorTest, NoBufferAcceptsEverything) {
  TParseVerifier verifier(FRecord, nullptr);
  EXPECT_TRUE(verifier.Verify());
}

// Default values: the evaluator assigns the value to the field.
TEST_F(EvaluatorTest, DefaultsAssignTheirField) {
  FRecord.Clear();
  struct {
    const char* field;
    const char* text;
  } defaults[] = {{"Qty", "7"}, {"Name", "'new'"}, {"Born", "'2021-03-04'"}, {"Active", "True"}, {"Price", "1.5"}};
  for (const auto& d : defaults) {
    TExprParser parser(FRecord, d.text, kNoPartial, TParserOptions{poDefaultExpr}, d.field, nullptr);
    EXPECT_TRUE(TParseVerifier(FRecord, parser.FilterData()).Verify()) << d.field;
  }
  EXPECT_EQ(FRecord.Field("Qty").GetAsVariant().AsInteger(), 7);
  EXPECT_EQ(FRecord.Field("Name").GetAsString(), "new");
  EXPECT_EQ(FRecord.Field("Born").GetAsVariant().AsDouble(), host::EncodeDate(2021, 3, 4).Value());
  EXPECT_TRUE(FRecord.Field("Active").GetAsBoolean());
  EXPECT_EQ(FRecord.Field("Price").GetAsVariant().AsDouble(), 1.5);
}

// Buffers written by other producers use nodes and operators the parser never emits.
struct AsmCase {
  const char* what;
  const char* nodes;
  const char* literals;
  const char* expected;
};

const AsmCase kAsmCases[] = {
    {"negation", "B EQ 6 16 | U MINUS 10 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:-5", "T"},
    {"upper case", "B EQ 6 16 | U UPPER 10 | F 1 0 | C ftString 6 5", "'Name' z 'SMITH' z", "T"},
    {"lower case", "B EQ 6 18 | U LOWER 10 | C ftString 6 0 | C ftString 6 6", "'SMITH' z 'smith' z", "T"},
    {"field pass-through", "B EQ 6 16 | U FIELD2 10 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5", "T"},
    {"remainder", "B EQ 6 26 | B REM 12 18 | F 0 0 | C ftInteger 4 4 | C ftInteger 4 8", "'Qty' z i4:3 i4:2",
     "T"},
    {"modulus", "B EQ 6 26 | B MOD 12 18 | F 0 0 | C ftInteger 4 4 | C ftFloat 8 8", "'Qty' z i4:-2 d:2.5", "T"},
    {"average of two", "B EQ 6 26 | B AVG 12 18 | F 0 0 | C ftInteger 4 4 | C ftFloat 8 8", "'Qty' z i4:2 d:3.5",
     "T"},
    {"smaller of two", "B EQ 6 26 | B MIN 12 18 | F 0 0 | C ftInteger 4 4 | C ftInteger 4 8", "'Qty' z i4:2 i4:2",
     "T"},
    // Lists combine with plain values: SUM(1, 2, Qty) = 8, MIN = 1, MAX = 5, AVG > 2.
    {"sum of a list", "B EQ 6 46 | B SUM 12 40 | L 18 26 | C ftInteger 4 0 | L 32 0 | C ftInteger 4 4 | F 0 8"
     " | C ftInteger 4 12", "i4:1 i4:2 'Qty' z i4:8", "T"},
    {"min of a list", "B EQ 6 46 | B MIN 12 40 | L 18 26 | C ftInteger 4 0 | L 32 0 | C ftInteger 4 4 | F 0 8"
     " | C ftInteger 4 12", "i4:1 i4:2 'Qty' z i4:1", "T"},
    {"max of a list", "B EQ 6 46 | B MAX 12 40 | L 18 26 | C ftInteger 4 0 | L 32 0 | C ftInteger 4 4 | F 0 8"
     " | C ftInteger 4 12", "i4:1 i4:2 'Qty' z i4:5", "T"},
    {"avg of a list", "B GT 6 46 | B AVG 12 40 | L 18 26 | C ftInteger 4 0 | L 32 0 | C ftInteger 4 4 | F 0 8"
     " | C ftInteger 4 12", "i4:1 i4:2 'Qty' z i4:2", "T"},
    // Lists compared with lists, and IN with the list on the left.
    {"equal lists", "B EQ 6 18 | L 12 0 | F 0 0 | L 24 0 | C ftInteger 4 4", "'Qty' z i4:5", "T"},
    {"unequal lists", "B NE 6 18 | L 12 0 | F 0 0 | L 24 0 | C ftInteger 4 4", "'Qty' z i4:6", "T"},
    {"lists of other length", "B EQ 6 18 | L 12 0 | F 0 0 | L 24 32 | C ftInteger 4 4 | L 38 0 | C ftInteger 4 4",
     "'Qty' z i4:5", "F"},
    {"list IN value", "B IN 6 18 | L 12 0 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5", "T"},
    {"IN without a list", "B IN 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5", "F"},
    {"compare of lists", "P EQ 0 0 10 22 | L 16 0 | F 1 0 | L 28 0 | C ftString 6 5", "'Name' z 'smith' z", "T"},
    // Continue nodes: a failed condition makes the record fail quietly.
    {"continue on true", "K CONTINUE2 4 | F 3 0", "'Active' z", "T"},
    {"continue on false", "K CONTINUE2 4 | C ftBoolean 2 0", "b:0", "F"},
    {"continue while blank", "K ISBLANK 4 | F 20 0", "'IntCalc' z", "T"},
    {"continue blank fails", "K ISBLANK 4 | F 0 0", "'Qty' z", "F"},
    {"continue not blank", "K NOTBLANK 4 | F 0 0", "'Qty' z", "T"},
    {"continue not", "K NOT 4 | F 3 0", "'Active' z", "F"},
    {"unary continue", "U CONTINUE2 4 | F 3 0", "'Active' z", "T"},
    {"continue inside AND", "B AND 6 18 | K CONTINUE2 10 | C ftBoolean 2 0 | C ftBoolean 2 0", "b:0", "F"},
    {"continue field check", "K FIELD2 4 | C ftBoolean 2 0", "b:1", "Bad TRetStruct type. Component is Table1"},
    // Constants of every size the reader knows.
    {"one-byte integer", "B EQ 6 14 | C ftInteger 1 0 | C ftInteger 4 1", "x:FF i4:-1", "T"},
    {"one-byte word", "B EQ 6 14 | C ftWord 1 0 | C ftInteger 4 1", "x:FF i4:255", "T"},
    {"two-byte word", "B EQ 6 14 | C ftWord 2 0 | C ftInteger 4 2", "x:FFFF i4:65535", "T"},
    {"eight-byte integer as text", "B EQ 6 14 | C ftLargeint 8 0 | C ftString 6 8", "c:-1234 '-1234' z", "T"},
    {"odd integer size", "B EQ 6 14 | C ftInteger 3 0 | C ftInteger 4 3", "x:010203 i4:0", "T"},
    {"currency", "B EQ 6 12 | F 7 0 | C ftBCD 8 4", "'Dec' z c:15000", "T"},
    // Errors.
    {"root is a field", "F 0 0", "'Qty' z", "Bad operand type. Component is Table1"},
    {"unknown node class", "N 6 12 0", "", "Unknown node type: 6. Component is Table1"},
    {"unknown node class 12", "N 12 0 0 0", "", "Unknown node type: 12. Component is Table1"},
    {"unknown operator", "U EQ 4 | F 0 0", "'Qty' z", "Unknown node operation type: 3. Component is Table1"},
    {"field node operator", "N 4 14 0 0", "'Qty' z", "Unknown node operation type: 14. Component is Table1"},
    {"bad constant type", "B EQ 6 12 | F 0 0 | C ftUnknown 4 4", "'Qty' z i4:5",
     "Bad data type. Component is Table1"},
    {"binary LIKE", "B LIKE 6 12 | F 1 0 | C ftString 6 5", "'Name' z 'smith' z",
     "Unknown node operation type: 30. Component is Table1"},
    {"IN of two lists", "B IN 6 18 | L 12 0 | F 0 0 | L 24 0 | C ftInteger 4 4", "'Qty' z i4:5",
     "Bad TRetStruct type. Component is Table1"},
    {"comparison with a list", "B GT 6 12 | F 0 0 | L 18 0 | C ftInteger 4 4", "'Qty' z i4:5",
     "Bad TRetStruct type. Component is Table1"},
    {"list and text compare", "P EQ 0 0 10 16 | L 24 0 | C ftString 6 0 | F 1 6", "'smith' z 'Name' z",
     "Bad TRetStruct type. Component is Table1"},
    // Damaged buffers are refused, not followed.
    {"operand outside the nodes", "B EQ 6 200 | F 0 0", "'Qty' z",
     "Incorrectly formed expression. Component is Table1"},
    {"node cut by the literals", "B EQ 6 12 | F 0 0 | N 5 14 1", "'Qty' z",
     "Incorrectly formed expression. Component is Table1"},
    {"a chain that loops", "B AND 0 0", "", "Incorrectly formed expression. Component is Table1"},
    {"a list that loops", "B IN 6 12 | F 0 0 | L 18 12 | C ftInteger 4 4", "'Qty' z i4:5",
     "Incorrectly formed expression. Component is Table1"},
    {"a unary loop", "U NOT 0", "", "Expression is nested too deeply. Component is Table1"},
    {"text without its NUL", "B EQ 6 12 | F 1 0 | C ftString 3 5", "'Name' z 'abc'",
     "Incorrectly formed expression. Component is Table1"},
    {"number beyond the end", "B EQ 6 12 | F 0 0 | C ftFloat 8 4", "'Qty' z i4:5",
     "Incorrectly formed expression. Component is Table1"},
    {"field index out of range", "B EQ 6 12 | F 99 0 | C ftInteger 4 4", "'Qty' z i4:5",
     "Incorrectly formed expression. Component is Table1"},
};

TEST_F(EvaluatorTest, BuffersOfOtherProducers) {
  for (const auto& c : kAsmCases) EXPECT_EQ(RunAsm(c.nodes, c.literals), c.expected) << c.what;
}

TEST_F(EvaluatorTest, DamagedHeaderIsRefused) {
  Bytes b = Assemble("B EQ 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5");
  b[8] = 0xF0;  // literal start beyond the buffer
  EXPECT_EQ(Run(b.data()), "Incorrectly formed expression. Component is Table1");
}

// Deep but well-formed chains are walked without deep recursion.
TEST_F(EvaluatorTest, LongChainsEvaluate) {
  std::string chain = "Qty = 0";
  for (int i = 1; i < 1500; ++i) chain += " OR Qty = " + std::to_string(i);
  EXPECT_EQ(Eval(chain), "T");
  std::string sum = "Qty";
  for (int i = 0; i < 2500; ++i) sum += " + 1";
  EXPECT_EQ(Eval(sum + " = 2505"), "T");
}

struct CompareCase {
  Variant l;
  Variant r;
  bool caseSensitive;
  int expected;
};

TEST(VariantCompareTest, Results) {
  const CompareCase cases[] = {
      {Variant(5), Variant(5), true, 0},
      {Variant(5), Variant(3), true, 1},
      {Variant(3), Variant(5), true, -1},
      {host::Null(), Variant(1), true, -100},
      {Variant(1), host::Null(), true, -100},
      {Variant(), Variant(1), true, -100},
      {Variant(1), Variant(), true, 1},
      // The right side takes the left side's type first.
      {Variant(5), Variant(5.4), true, 0},
      {Variant(5.4), Variant(5), true, 1},
      {Variant("abc"), Variant("ABC"), false, 0},
      {Variant("10"), Variant(9), true, -1},
      {Variant(host::TDateTime(2.5)), Variant(2.5), true, 0},
      {Variant(host::Currency::FromRaw(25000)), Variant(2.5), true, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VariantCompareCase(c.l, c.r, c.caseSensitive), c.expected)
        << host::VarToStr(c.l) << " vs " << host::VarToStr(c.r);
  EXPECT_NE(VariantCompare(Variant("abc"), Variant("ABC")), 0);
  EXPECT_THROW(VariantCompare(Variant(5LL), Variant(5)), host::Exception);
}

}  // namespace
