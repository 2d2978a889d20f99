// Texts the parser refuses, with the message each one gets, and hostile inputs.

#include <gtest/gtest.h>

#include <pthread.h>

#include <string>

#include "common/kxparser.h"
#include "common/kxtables/errors.h"
#include "platform/db/dberrors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/locale.h"
#include "tests/common/parser_memrecord.h"

namespace {

using namespace kx;
using host::TFilterOptions;

struct ErrorCase {
  const char* text;
  TParserOptions po;
  const char* field;
  const char* message;
};

const TParserOptions kExt{poExtSyntax};

const ErrorCase kErrorCases[] = {
    // Tokenizer.
    {"Name = 'abc", {}, "", "Unterminated string constant"},
    {"[Name = 1", {}, "", "Unterminated field name"},
    {"Qty # 5", {}, "", "Invalid expression character: '#'"},
    {"Qty > 5 \x80", {}, "", "Invalid expression character: '#$80'"},
    {"/* no end Qty > 5", {}, "", "Invalid expression character: '/'"},
    {"Qty IS 5", {}, "", "Invalid use of keyword"},
    {"Qty IS NOT 5", {}, "", "Invalid use of keyword"},
    {"Qty IS", {}, "", "Invalid use of keyword"},
    // A digit right after a literal is a minus sign, so this is arithmetic.
    {"Qty > 5 6", {}, "", "Arithmetic expressions not supported"},
    {"Qty-1 > 0", {}, "", "Arithmetic expressions not supported"},
    {"Qty * 2 > 1", {}, "", "Arithmetic expressions not supported"},
    // Grammar.
    {"Qty >", {}, "", "Expression expected but nothing found"},
    {"Qty > )", {}, "", "Expression expected but ')' found"},
    {"Qty > 5)", {}, "", "Expression incorrectly terminated"},
    {"(Qty > 5", {}, "", "')' expected but nothing found"},
    {"Qty IN 1", {}, "", "'(' expected but '1' found"},
    {"Qty IN ()", {}, "", "IN predicate list may not be empty"},
    {"Qty IN (1, 2", {}, "", "')' or ',' expected but nothing found"},
    {"Qty IN (1 2)", {}, "", "Arithmetic expressions not supported"},
    {"Qty IN (1; 2)", {}, "", "Invalid expression character: ';'"},
    {"Qty IN (1,", {}, "", "')' expected but nothing found"},
    {"NOT NOT Active", {}, "", "Field 'NOT' not found"},
    {"Missing = 1", {}, "", "Field 'Missing' not found"},
    {"Qty", {}, "", "Incorrectly formed expression"},
    {"Qty + 1", kExt, "", "Incorrectly formed expression"},
    // Types.
    {"Name + 1 > 5", kExt, "", "Type mismatch in expression"},
    {"Active + 1 > 5", kExt, "", "Type mismatch in expression"},
    {"Data = 'x'", {}, "", "Type mismatch in expression"},
    {"Raw = 'x'", {}, "", "Type mismatch in expression"},
    {"Qty = Raw", {}, "", "Type mismatch in expression"},
    {"Small = 40000", {}, "", "Constant out of range"},
    {"Small = -32769", {}, "", "Constant out of range"},
    {"W = -1", {}, "", "Constant out of range"},
    {"W = 65536", {}, "", "Constant out of range"},
    {"Qty = 3000000000", {}, "", "Constant is not correct for type ftInteger"},
    {"Qty = 'abc'", {}, "", "Constant is not correct for type ftInteger"},
    {"Qty > 1-2", {}, "", "Constant is not correct for type ftInteger"},
    {"Price > 'x'", {}, "", "Constant is not correct for type ftFloat"},
    {"Born = 'not a date'", {}, "", "Constant is not correct for type ftDate"},
    {"Big = 5", {}, "", "Constant is not correct for type ftLargeint"},
    {"Qty > NULL", {}, "", "Constant is not correct for type ftInteger"},
    {"Qty IN (1, NULL)", {}, "", "Constant is not correct for type ftUnknown"},
    {"Qty LIKE NULL", {}, "", "NULL only allowed with '=' and '<>'"},
    {"Calc = 5", {}, "", "Field 'Calc' cannot be used in a expression"},
    // Functions and aggregates.
    {"UPPER(Name) = 'X'", kExt, "", "Function expressions not allowed"},
    {"UPPER(Name) = 'X'", {}, "", "Field 'UPPER' not found"},
    {"SUM(Qty) > 5", kExt, "", "Aggregate expressions not allowed"},
    {"Qty > SUM(Qty)", kExt, "", "Operation cannot mix aggregate value with record-varying value"},
    {"COUNT() > 1", kExt, "", "Type mismatch in expression"},
    {"COUNT(* > 1", kExt, "", "')' expected but '>' found"},
    {"SUM(Qty)", TParserOptions{poExtSyntax, poAggregate}, "", "Function expressions not allowed"},
    {"COUNT(*)", TParserOptions{poExtSyntax, poAggregate}, "", "Function expressions not allowed"},
    {"Qty > 5", TParserOptions{poAggregate}, "", "Expression is not an aggregate expression"},
    {"GETDATE() > Stamp", kExt, "", "Function expressions not allowed"},
    // Default values must fit their field.
    {"'abc'", TParserOptions{poDefaultExpr}, "Qty", "Type mismatch in expression"},
    {"5", TParserOptions{poDefaultExpr}, "Name", "Type mismatch in expression"},
    {"Qty > 1", TParserOptions{poDefaultExpr}, "Qty", "Type mismatch in expression"},
    {"'x'", TParserOptions{poDefaultExpr}, "Active", "Constant is not correct for type ftBoolean"},
};

class ParserErrorTest : public ::testing::Test {
 protected:
  void SetUp() override { FSaved = host::FormatSettings(); host::FormatSettings().DecimalSeparator = '.'; }
  void TearDown() override { host::FormatSettings() = FSaved; }

  // The message of the exception parsing raises; "" when it parses.
  std::string ErrorOf(const std::string& text, TParserOptions po = {}, const std::string& field = {},
                      kx::TExprFieldResolver* resolver = nullptr) {
    try {
      TExprParser parser(resolver ? *resolver : FRecord, text, TFilterOptions{}, po, field, nullptr);
      return "";
    } catch (const host::Exception& e) {
      return e.Message();
    }
  }

  host::TFormatSettings FSaved;
  kxtest::MemRecordResolver FRecord{kxtest::AllTypesFields()};
};

TEST_F(ParserErrorTest, MessagesOfRefusedTexts) {
  for (const auto& c : kErrorCases) EXPECT_EQ(ErrorOf(c.text, c.po, c.field), c.message) << c.text;
}

TEST_F(ParserErrorTest, ErrorsCarryTheDataSetClause) {
  host::TComponent table(nullptr);
  table.SetName("Table1");
  kxtest::MemRecordResolver record(kxtest::AllTypesFields(), &table);
  EXPECT_EQ(ErrorOf("Qty >", {}, "", &record), "Expression expected but nothing found. Component is Table1");
  try {
    TExprParser parser(record, "Qty >", {}, {}, "", nullptr);
    FAIL();
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.GetOwner(), &table);
  }
}

// Hostile inputs end in the parser's exception: nothing overflows the stack or the 16-bit
// sizes of the buffer.
TEST_F(ParserErrorTest, HostileInputs) {
  const int deep = 100000;
  EXPECT_EQ(ErrorOf(std::string(deep, '(') + "Qty > 1" + std::string(deep, ')')), "Expression is nested too deeply");
  std::string inLists;
  for (int i = 0; i < 5000; ++i) inLists += "Qty IN (";
  EXPECT_EQ(ErrorOf(inLists), "Expression is nested too deeply");
  // Nesting within the limit is fine.
  const int ok = TExprParser::MaxNesting - 1;
  EXPECT_EQ(ErrorOf(std::string(ok, '(') + "Qty > 1" + std::string(ok, ')')), "");

  // A chain of terms that does not fit the 16-bit buffer.
  std::string chain = "Qty > 1";
  while (chain.size() < 64 * 1024) chain += " OR Qty > 1";
  EXPECT_EQ(ErrorOf(chain), "Expression is too large");
  std::string sums = "Qty";
  while (sums.size() < 64 * 1024) sums += " + Qty";
  EXPECT_EQ(ErrorOf(sums + " > 1", kExt), "Expression is too large");

  // A chain that fits, as long as possible, still parses.
  std::string fits = "Qty > 1";
  for (int i = 0; i < 1500; ++i) fits += " OR Qty > 1";
  EXPECT_EQ(ErrorOf(fits), "");

  // Unterminated forms at the very end of a long text.
  EXPECT_EQ(ErrorOf("Name = '" + std::string(70000, 'x')), "Unterminated string constant");
  EXPECT_EQ(ErrorOf("[" + std::string(70000, 'x')), "Unterminated field name");
  EXPECT_EQ(ErrorOf("/*" + std::string(70000, '*')), "Invalid expression character: '/'");

  // A name beyond 255 bytes cannot be stored.
  const std::string longName(300, 'N');
  kxtest::MemRecordResolver record({{longName, host::ftInteger}});
  EXPECT_EQ(ErrorOf("[" + longName + "] > 1", {}, "", &record),
            "Field name is too long for an expression: '" + std::string(255, 'N') + "...'");

  // The text ends at an embedded NUL, as the 8-bit engine text would.
  EXPECT_EQ(ErrorOf(std::string("Qty > 1\0garbage", 15)), "");
  EXPECT_EQ(ErrorOf(std::string("Name = 'a\0b'", 12)), "Unterminated string constant");
}

// The deepest nesting the parser accepts is written and evaluated within a small thread
// stack (512 KB, room enough even with the sanitizers' larger frames), and stays within the
// evaluator's own depth limit.
TEST_F(ParserErrorTest, DeepestNestingFitsASmallStack) {
  struct Job {
    kxtest::MemRecordResolver* record;
    std::string text;
    std::string outcome;
  };
  auto run = [](void* arg) -> void* {
    auto* j = static_cast<Job*>(arg);
    try {
      TExprParser parser(*j->record, j->text, {}, {}, "", nullptr);
      TParseVerifier verifier(*j->record, parser.FilterData());
      j->outcome.assign(1, verifier.Verify() ? 'T' : 'F');
    } catch (const std::exception& e) {
      j->outcome.assign(e.what());
    }
    return nullptr;
  };
  auto onSmallStack = [&](Job& job) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 512 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, run, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
  };
  FRecord.Set("Qty", host::Variant(2));

  Job negations{&FRecord, {}, {}};
  for (int i = 1; i < TExprParser::MaxNesting; ++i) negations.text += "(Qty = 1 OR NOT ";
  negations.text += "Qty = 2";
  negations.text += std::string(TExprParser::MaxNesting - 1, ')');
  onSmallStack(negations);
  EXPECT_EQ(negations.outcome, "F");  // 199 negations of True

  Job lists{&FRecord, {}, {}};
  for (int i = 1; i < TExprParser::MaxNesting / 2; ++i) lists.text += "Qty IN (3, ";
  lists.text += "2";
  lists.text += std::string(TExprParser::MaxNesting / 2 - 1, ')');
  onSmallStack(lists);
  EXPECT_EQ(lists.outcome, "F");
}

}  // namespace
