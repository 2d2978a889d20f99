// The expression buffer, byte for byte, for every operator, constant type and parser option.
//
// Expected buffers are written in the small assembler of parser_asm.h.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/kxparser.h"
#include "platform/db/dberrors.h"
#include "tests/common/parser_asm.h"
#include "tests/common/parser_memrecord.h"
#include "platform/rtl/locale.h"

namespace {

using namespace kx;
using host::TFilterOptions;
using kxtest::Assemble;
using kxtest::Bytes;
using kxtest::Hex;

// The locale-dependent conversions read fixed settings during these tests.
class ParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved = host::FormatSettings();
    kxtest::SetFixedTextFormats();
  }
  void TearDown() override { host::FormatSettings() = FSaved; }

  Bytes Parse(const std::string& text, TParserOptions po = {}, TFilterOptions fo = {}, const std::string& field = {}) {
    TExprParser parser(FRecord, text, fo, po, field, nullptr);
    const std::uint8_t* data = parser.FilterData();
    if (data == nullptr) return {};
    return Bytes(data, data + parser.DataSize());
  }

  host::TFormatSettings FSaved;
  kxtest::MemRecordResolver FRecord{kxtest::AllTypesFields()};
};

struct BufferCase {
  const char* text;
  TParserOptions po;
  TFilterOptions fo;
  const char* field;
  const char* nodes;
  const char* literals;
};

const TParserOptions kExt{poExtSyntax};
const TFilterOptions kCaseless{host::foCaseInsensitive};
const TFilterOptions kNoPartial{host::foNoPartialCompare};

const BufferCase kBufferCases[] = {
    // Field against constant, the constant typed as the field; constants on the left swap.
    {"Qty > 5", {}, {}, "", "B GT 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"5 < Qty", {}, {}, "", "B GT 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"5 >= Qty", {}, {}, "", "B LE 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"5 = Qty", {}, {}, "", "B EQ 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"Qty <> 5", {}, {}, "", "B NE 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"Qty > -1", {}, {}, "", "B GT 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:-1"},
    {"/* a */ Qty /* b */ >= /* c */ 5", {}, {}, "", "B GE 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    // Constant types.
    {"Small = 5", {}, {}, "", "B EQ 6 12 | F 4 0 | C ftSmallint 2 6", "'Small' z i2:5"},
    {"W = 65535", {}, {}, "", "B EQ 6 12 | F 5 0 | C ftWord 2 2", "'W' z x:FFFF"},
    {"Id < 7", {}, {}, "", "B LT 6 12 | F 15 0 | C ftAutoInc 4 3", "'Id' z i4:7"},
    {"Price <= 3.5", {}, {}, "", "B LE 6 12 | F 2 0 | C ftFloat 8 6", "'Price' z d:3.5"},
    {"Amount > 3.5", {}, {}, "", "B GT 6 12 | F 6 0 | C ftFloat 8 7", "'Amount' z d:3.5"},
    {"Dec = 1.25", {}, {}, "", "B EQ 6 12 | F 7 0 | C ftBCD 8 4", "'Dec' z c:12500"},
    {"Active = True", {}, {}, "", "B EQ 6 12 | F 3 0 | C ftBoolean 2 7", "'Active' z b:1"},
    {"Born = '2020-01-02'", {}, {}, "", "B EQ 6 12 | F 8 0 | C ftDate 8 5", "'Born' z t:43832"},
    {"At = '10:30:00'", {}, {}, "", "B EQ 6 12 | F 9 0 | C ftTime 8 3", "'At' z t:0.4375"},
    {"Stamp > '2020-01-02 10:30:00'", {}, {}, "", "B GT 6 12 | F 10 0 | C ftDateTime 8 6",
     "'Stamp' z t:43832.4375"},
    {"[Order Date] > '2020-01-01'", {}, {}, "", "B GT 6 12 | F 19 0 | C ftDate 8 11", "'Order Date' z t:43831"},
    {"Name = 5", {}, {}, "", "B EQ 6 12 | F 1 0 | C ftString 2 5", "'Name' z '5' z"},
    {"Notes = 'x'", {}, {}, "", "B EQ 6 12 | F 14 0 | C ftString 2 6", "'Notes' z 'x' z"},
    {"IntCalc = 1", {}, {}, "", "B EQ 6 12 | F 20 0 | C ftInteger 4 8", "'IntCalc' z i4:1"},
    // Text: partial and caseless comparisons become compare nodes.
    {"Name = 'abc'", {}, {}, "", "B EQ 6 12 | F 1 0 | C ftString 4 5", "'Name' z 'abc' z"},
    {"Name = 'AB*'", {}, {}, "", "P EQ 0 2 10 16 | F 1 0 | C ftString 3 5", "'Name' z 'AB' z"},
    {"Name = 'AB*'", {}, kNoPartial, "", "B EQ 6 12 | F 1 0 | C ftString 4 5", "'Name' z 'AB*' z"},
    {"Name = '*'", {}, {}, "", "B EQ 6 12 | F 1 0 | C ftString 2 5", "'Name' z '*' z"},
    {"Name <> 'ab%'", {}, {}, "", "P NE 0 2 10 16 | F 1 0 | C ftString 3 5", "'Name' z 'ab' z"},
    {"Name = 'abc'", {}, kCaseless, "", "P EQ 1 0 10 16 | F 1 0 | C ftString 4 5", "'Name' z 'abc' z"},
    {"'abc*' = Name", {}, kCaseless, "", "P EQ 1 3 10 16 | F 1 0 | C ftString 4 5", "'Name' z 'abc' z"},
    {"Name LIKE 'ab*'", {}, {}, "", "P LIKE 0 2 10 16 | F 1 0 | C ftString 3 5", "'Name' z 'ab' z"},
    {"Name LIKE 'abc'", {}, {}, "", "B LIKE 6 12 | F 1 0 | C ftString 4 5", "'Name' z 'abc' z"},
    {"Name > 'ab*'", {}, {}, "", "B GT 6 12 | F 1 0 | C ftString 4 5", "'Name' z 'ab*' z"},
    {"Wide = 'ab*'", {}, {}, "", "P EQ 0 2 10 16 | F 17 0 | C ftString 3 5", "'Wide' z 'ab' z"},
    {"Data LIKE 'x*'", {}, {}, "", "P LIKE 0 1 10 16 | F 12 0 | C ftString 2 5", "'Data' z 'x' z"},
    // Null tests.
    {"Qty = NULL", {}, {}, "", "U ISBLANK 4 | F 0 0", "'Qty' z"},
    {"NULL <> Qty", {}, {}, "", "U NOTBLANK 4 | F 0 0", "'Qty' z"},
    {"Qty IS NULL", {}, {}, "", "U ISBLANK 4 | F 0 0", "'Qty' z"},
    {"Qty is not null", {}, {}, "", "U NOTBLANK 4 | F 0 0", "'Qty' z"},
    {"Data IS NOT NULL", {}, {}, "", "U NOTBLANK 4 | F 12 0", "'Data' z"},
    // Boolean fields standing alone are compared with False.
    {"Active", {}, {}, "", "B NE 6 12 | F 3 0 | C ftBoolean 2 7", "'Active' z b:0"},
    {"NOT Active", {}, {}, "", "U NOT 4 | B NE 10 16 | F 3 0 | C ftBoolean 2 7", "'Active' z b:0"},
    {"Active AND Qty > 1", {}, {}, "",
     "B AND 6 26 | B NE 12 18 | F 3 0 | C ftBoolean 2 7 | B GT 32 38 | F 0 9 | C ftInteger 4 13",
     "'Active' z b:0 'Qty' z i4:1"},
    // Precedence and the order of a chain: AND binds tighter than OR; left operands first.
    {"Qty > 5 OR Qty < 2 AND Name = 'x'", {}, {}, "",
     "B OR 6 26 | B GT 12 18 | F 0 0 | C ftInteger 4 4 | B AND 32 52 | B LT 38 44 | F 0 8 | C ftInteger 4 12"
     " | B EQ 58 64 | F 1 16 | C ftString 2 21",
     "'Qty' z i4:5 'Qty' z i4:2 'Name' z 'x' z"},
    {"Qty > 5 AND Qty < 10 AND Qty <> 7", {}, {}, "",
     "B AND 6 52 | B AND 12 32 | B GT 18 24 | F 0 0 | C ftInteger 4 4 | B LT 38 44 | F 0 8 | C ftInteger 4 12"
     " | B NE 58 64 | F 0 16 | C ftInteger 4 20",
     "'Qty' z i4:5 'Qty' z i4:10 'Qty' z i4:7"},
    {"Name = 'x' AND NOT (Qty = 1)", {}, {}, "",
     "B AND 6 26 | B EQ 12 18 | F 1 0 | C ftString 2 5 | U NOT 30 | B EQ 36 42 | F 0 7 | C ftInteger 4 11",
     "'Name' z 'x' z 'Qty' z i4:1"},
    // IN lists; a temporal left side types its elements.
    {"Qty IN (1, 2)", {}, {}, "", "B IN 6 12 | F 0 0 | L 18 26 | C ftFloat 8 4 | L 32 0 | C ftFloat 8 12",
     "'Qty' z d:1 d:2"},
    {"Born IN ('2020-01-02')", {}, {}, "", "B IN 6 12 | F 8 0 | L 18 0 | C ftDate 8 5", "'Born' z t:43832"},
    // Arithmetic (extended syntax): numeric constants stay doubles.
    {"Qty-1 > 0", kExt, {}, "", "B GT 6 26 | B SUB 12 18 | F 0 0 | C ftFloat 8 4 | C ftFloat 8 12",
     "'Qty' z d:1 d:0"},
    {"Price * 2 + Qty / 4 > 1", kExt, {}, "",
     "B GT 6 52 | B ADD 12 32 | B MUL 18 24 | F 2 0 | C ftFloat 8 6 | B DIV 38 44 | F 0 14 | C ftFloat 8 18"
     " | C ftFloat 8 26",
     "'Price' z d:2 'Qty' z d:4 d:1"},
    // Default values: the field is assigned the expression.
    {"5", TParserOptions{poDefaultExpr}, kNoPartial, "Qty", "B ASSIGN 6 12 | F 0 0 | C ftFloat 8 4", "'Qty' z d:5"},
    {"'abc'", TParserOptions{poDefaultExpr}, kNoPartial, "Name", "B ASSIGN 6 12 | F 1 0 | C ftString 4 5",
     "'Name' z 'abc' z"},
    {"'2020-01-02'", TParserOptions{poDefaultExpr}, kNoPartial, "Born", "B ASSIGN 6 12 | F 8 0 | C ftDate 8 5",
     "'Born' z t:43832"},
    {"True", TParserOptions{poDefaultExpr}, kNoPartial, "Active", "B ASSIGN 6 12 | F 3 0 | C ftBoolean 2 7",
     "'Active' z b:1"},
    {"'ab'", TParserOptions{poDefaultExpr}, kNoPartial, "Wide", "B ASSIGN 6 12 | F 17 0 | C ftString 3 5",
     "'Wide' z 'ab' z"},
    // A field check may leave out its field, and then every name means that field.
    {"> 5", TParserOptions{poExtSyntax, poFieldNameGiven}, kNoPartial, "Qty",
     "B GT 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"Price > 5", TParserOptions{poExtSyntax, poFieldNameGiven}, kNoPartial, "Qty",
     "B GT 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:5"},
    {"IS NULL", TParserOptions{poFieldNameGiven}, {}, "Qty", "U ISBLANK 4 | F 0 0", "'Qty' z"},
};

TEST_F(ParserTest, BuffersMatchTheLayout) {
  for (const auto& c : kBufferCases) {
    SCOPED_TRACE(c.text);
    Bytes actual;
    try {
      actual = Parse(c.text, c.po, c.fo, c.field);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "raised: " << e.what();
      continue;
    }
    const Bytes expected = Assemble(c.nodes, c.literals);
    EXPECT_EQ(Hex(actual), Hex(expected));
  }
}

TEST_F(ParserTest, EmptyTextGivesNoBuffer) {
  TExprParser parser(FRecord, "", {}, {}, "", nullptr);
  EXPECT_EQ(parser.FilterData(), nullptr);
  EXPECT_EQ(parser.DataSize(), 0);
}

// The tokenizer keeps 256 bytes of a literal, the buffer 255 (never half a character).
TEST_F(ParserTest, LongStringLiteralsAreCut) {
  const Bytes b300 = Parse("Name = '" + std::string(300, 'x') + "'");
  EXPECT_EQ(b300, Assemble("B EQ 6 12 | F 1 0 | C ftString 256 5", "'Name' z '" + std::string(255, 'x') + "' z"));

  // 255 bytes would end inside the 2-byte "é" that starts at byte 254: the cut falls before it.
  const Bytes b = Parse("Name <> '" + std::string(254, 'x') + "\xC3\xA9" "yyy'");
  EXPECT_EQ(b, Assemble("B NE 6 12 | F 1 0 | C ftString 255 5", "'Name' z '" + std::string(254, 'x') + "' z"));

  // A partial comparison keeps the 255 bytes before the asterisk.
  const Bytes bp = Parse("Name = '" + std::string(255, 'x') + "*'");
  EXPECT_EQ(bp, Assemble("P EQ 0 255 10 16 | F 1 0 | C ftString 256 5", "'Name' z '" + std::string(255, 'x') + "' z"));
}

// Under a decimal comma, "1, 2" is two numbers while "1,5" is one.
TEST_F(ParserTest, DecimalCommaInLists) {
  host::FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(Parse("Qty IN (1, 2)"),
            Assemble("B IN 6 12 | F 0 0 | L 18 26 | C ftFloat 8 4 | L 32 0 | C ftFloat 8 12", "'Qty' z d:1 d:2"));
  EXPECT_EQ(Parse("Price > 1,5"), Assemble("B GT 6 12 | F 2 0 | C ftFloat 8 6", "'Price' z d:1.5"));
}

// Names are whole UTF-8 characters: a name with accents is one token.
TEST_F(ParserTest, NonAsciiFieldNames) {
  kxtest::MemRecordResolver record({{"Gr\xC3\xB6\xC3\x9F" "e", host::ftInteger}});
  TExprParser parser(record, "Gr\xC3\xB6\xC3\x9F" "e > 1", {}, {}, "", nullptr);
  EXPECT_EQ(Bytes(parser.FilterData(), parser.FilterData() + parser.DataSize()),
            Assemble("B GT 6 12 | F 0 0 | C ftInteger 4 8", "'Gr\xC3\xB6\xC3\x9F" "e' z i4:1"));
}

TEST_F(ParserTest, DependentFieldsAreCollected) {
  host::TBits bits;
  TExprParser parser(FRecord, "Name = 'x' AND Price > 1", {}, TParserOptions{poFieldDepend}, "", &bits);
  EXPECT_FALSE(bits.Bits(0));
  EXPECT_TRUE(bits.Bits(1));
  EXPECT_TRUE(bits.Bits(2));
}

TEST_F(ParserTest, OriginNamesFindFields) {
  kxtest::MemRecordResolver record({{"A", host::ftInteger, 0, host::fkData, "\"Orders\".\"Qty\""},
                                    {"B", host::ftInteger, 0, host::fkData, "Items.Qty"}});
  auto parse = [&](const std::string& text) {
    TExprParser parser(record, text, {}, TParserOptions{poUseOrigNames}, "", nullptr);
    return Bytes(parser.FilterData(), parser.FilterData() + parser.DataSize());
  };
  EXPECT_EQ(parse("Qty = 1"), Assemble("B EQ 6 12 | F 0 0 | C ftInteger 4 4", "'Qty' z i4:1"));
  EXPECT_EQ(parse("Items.Qty = 1"), Assemble("B EQ 6 12 | F 1 0 | C ftInteger 4 10", "'Items.Qty' z i4:1"));
  EXPECT_EQ(parse("B = 1"), Assemble("B EQ 6 12 | F 1 0 | C ftInteger 4 2", "'B' z i4:1"));
}

// Reparsing frees the previous buffer first; a failed parse leaves no buffer.
TEST_F(ParserTest, SetExprParamsReplacesTheBuffer) {
  TExprParser parser(FRecord, "Qty > 1", {}, {}, "", nullptr);
  ASSERT_NE(parser.FilterData(), nullptr);
  parser.SetExprParams("Name = 'x'", {}, {}, "");
  EXPECT_EQ(Bytes(parser.FilterData(), parser.FilterData() + parser.DataSize()),
            Assemble("B EQ 6 12 | F 1 0 | C ftString 2 5", "'Name' z 'x' z"));
  EXPECT_THROW(parser.SetExprParams("Qty >", {}, {}, ""), host::EDatabaseError);
  EXPECT_EQ(parser.FilterData(), nullptr);
  EXPECT_EQ(parser.DataSize(), 0);
}

}  // namespace
