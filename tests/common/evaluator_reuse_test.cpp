// TParseVerifier kept for many records, as a filtered dataset keeps it: every record gets the
// answer (or the error) a fresh verifier would give, whatever the records before it held; and
// the comparison of values of the same kind.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/kxparser.h"
#include "platform/rtl/component.h"
#include "platform/rtl/locale.h"
#include "tests/common/parser_asm.h"
#include "tests/common/parser_memrecord.h"

namespace {

using namespace kx;
using host::Variant;

class EvaluatorReuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FTable.SetName("Table1");
    // Record 0 and 1 hold values, record 2 none.
    FRecords.assign(3, std::vector<std::uint8_t>(FRecord.RecordSize(), 0));
    Use(0);
    FRecord.Set("Qty", Variant(5));
    FRecord.Set("Name", Variant("smith"));
    FRecord.Set("Price", Variant(2.5));
    FRecord.Set("Active", Variant(true));
    FRecord.Set("Born", Variant(host::TDateTime(43832)));  // 2020-01-02
    FRecord.Set("Big", Variant(5LL));
    Use(1);
    FRecord.Set("Qty", Variant(20));
    FRecord.Set("Name", Variant("abc"));
    FRecord.Set("Price", Variant(9.0));
    FRecord.Set("Active", Variant(false));
    FRecord.Set("Born", Variant(host::TDateTime(43831)));
    FRecord.Set("Big", Variant(7LL));
  }
  void Use(std::size_t i) { FRecord.SetRecord(FRecords[i].data()); }

  // "T", "F", or the message of what evaluating raised.
  static std::string Outcome(TParseVerifier& verifier) {
    try {
      return verifier.Verify() ? "T" : "F";
    } catch (const host::Exception& e) {
      return e.Message();
    }
  }

  kxtest::FixedTextFormats FFormats;
  host::TComponent FTable{nullptr};
  kxtest::MemRecordResolver FRecord{kxtest::AllTypesFields(), &FTable};
  std::vector<std::vector<std::uint8_t>> FRecords;
};

struct ReuseCase {
  const char* text;
  host::TFilterOptions fo;
  // The outcome on records 0, 1 and 2.
  std::vector<std::string> expected;
};

const std::string kBadVariant = "Bad variant type. Component is Table1";

const ReuseCase kReuseCases[] = {
    {"(Qty > 10) and (Name = 'abc') or (Price <= 3.5)", {}, {"T", "T", "F"}},
    {"Name = 'smith'", {}, {"T", "F", "F"}},
    {"Name <> 'smith'", {}, {"F", "T", "F"}},
    {"Name > 'r'", {}, {"T", "F", "F"}},
    {"Name = 'SMITH'", {host::foCaseInsensitive}, {"T", "F", "F"}},
    {"Name = 'sm*'", {}, {"T", "F", "F"}},
    {"Qty + 1 = 6", {}, {"T", "F", "F"}},
    {"Qty IN (5, 20)", {}, {"T", "T", "F"}},
    {"Born > '2020-01-01'", {}, {"T", "F", "F"}},
    // A Boolean field stands for "Field = True", which a null field fails.
    {"NOT Active", {}, {"F", "T", "T"}},
    {"Active AND Qty = 5", {}, {"T", "F", "F"}},
    {"Active OR Qty = 20", {}, {"T", "T", "F"}},
    // A Largeint value has no comparison; a null one compares undefined first.
    {"Big > Qty", {}, {kBadVariant, kBadVariant, "F"}},
};

TEST_F(EvaluatorReuseTest, OneVerifierServesManyRecords) {
  for (const auto& c : kReuseCases) {
    Use(0);
    TExprParser parser(FRecord, c.text, c.fo, {poExtSyntax}, "", nullptr);
    TParseVerifier kept(FRecord, parser.FilterData());
    for (std::size_t i : {0, 1, 2, 0, 2, 1, 1, 0}) {
      Use(i);
      EXPECT_EQ(Outcome(kept), c.expected[i]) << c.text << " on record " << i;
    }
  }
}

// A buffer that fails fails at every evaluation, not only the first one.
TEST_F(EvaluatorReuseTest, DamagedConstantsFailEveryTime) {
  const kxtest::Bytes text = kxtest::Assemble("B EQ 6 12 | F 1 0 | C ftString 3 5", "'Name' z 'abc'");
  const kxtest::Bytes number = kxtest::Assemble("B EQ 6 12 | F 0 0 | C ftFloat 8 4", "'Qty' z i4:5");
  const kxtest::Bytes type = kxtest::Assemble("B EQ 6 12 | F 0 0 | C ftUnknown 4 4", "'Qty' z i4:5");
  for (const auto* b : {&text, &number, &type}) {
    TParseVerifier verifier(FRecord, b->data());
    Use(0);
    const std::string first = Outcome(verifier);
    EXPECT_NE(first, "T");
    EXPECT_NE(first, "F");
    Use(1);
    EXPECT_EQ(Outcome(verifier), first);
    EXPECT_EQ(Outcome(verifier), first);
  }
}

// Nodes are decoded as evaluation first reaches them and kept; a damaged node is reached only
// when the left side does not decide (Qty = 5 holds on record 0 alone), and then fails on every
// record that reaches it, not only the first.
struct DamagedNodeCase {
  const char* what;
  const char* rightSide;  // the nodes from offset 26 on
  const char* error;
};

TEST_F(EvaluatorReuseTest, DamagedNodesFailEveryTimeTheyAreReached) {
  const std::string bad = "Incorrectly formed expression. Component is Table1";
  const DamagedNodeCase cases[] = {
      {"unknown node class", "N 6 12 0", "Unknown node type: 6. Component is Table1"},
      {"node cut by the literals", "N 5 14 1", bad.c_str()},
      {"operand outside the nodes", "U NOT 200", bad.c_str()},
      {"a chain that loops", "B AND 26 26", bad.c_str()},
      {"a chain that loops lower down", "B AND 32 18 | B OR 32 18", bad.c_str()},
      {"a list that loops", "B IN 12 32 | L 18 32", bad.c_str()},
      {"a unary loop", "U NOT 26", "Expression is nested too deeply. Component is Table1"},
  };
  for (const auto& c : cases) {
    const std::string nodes = std::string("B OR 6 26 | B EQ 12 18 | F 0 0 | C ftInteger 4 4 | ") + c.rightSide;
    const kxtest::Bytes b = kxtest::Assemble(nodes.c_str(), "'Qty' z i4:5");
    TParseVerifier kept(FRecord, b.data());
    for (std::size_t i : {0, 1, 0, 2, 1, 0}) {
      Use(i);
      EXPECT_EQ(Outcome(kept), i == 0 ? "T" : c.error) << c.what << " on record " << i;
    }
  }
}

struct SameKindCase {
  const char* what;
  Variant l;
  Variant r;
  bool caseSensitive;
  int expected;
};

TEST_F(EvaluatorReuseTest, ValuesOfTheSameKindCompare) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const SameKindCase cases[] = {
      {"integers", Variant(3), Variant(-4), true, 1},
      {"smallints", Variant(short{-3}), Variant(short{2}), true, -1},
      {"words", Variant(static_cast<unsigned short>(65535)), Variant(static_cast<unsigned short>(1)), true, 1},
      {"bytes", Variant(static_cast<unsigned char>(7)), Variant(static_cast<unsigned char>(7)), true, 0},
      {"currency", Variant(host::Currency::FromRaw(15000)), Variant(host::Currency::FromRaw(12500)), true, 1},
      {"doubles", Variant(2.5), Variant(3.5), true, -1},
      {"zeros of both signs", Variant(-0.0), Variant(0.0), true, 0},
      // A NaN is neither equal nor greater: it reads as smaller, on either side.
      {"NaN left", Variant(nan), Variant(1.0), true, -1},
      {"NaN right", Variant(1.0), Variant(nan), true, -1},
      {"NaN both", Variant(nan), Variant(nan), true, -1},
      {"singles", Variant(1.5f), Variant(1.5f), true, 0},
      {"dates", Variant(host::TDateTime(2.0)), Variant(host::TDateTime(1.5)), true, 1},
      {"True above False", Variant(true), Variant(false), true, 1},
      {"False below True", Variant(false), Variant(true), true, -1},
      {"same Booleans", Variant(true), Variant(true), true, 0},
      {"same text", Variant("abc"), Variant("abc"), true, 0},
      {"same text caseless", Variant("abc"), Variant("abc"), false, 0},
      {"text order", Variant("abd"), Variant("abc"), true, 1},
      {"text by locale", Variant("abc"), Variant("ABC"), true, -1},
      {"text caseless", Variant("abc"), Variant("ABC"), false, 0},
      // Different bytes may still be the same text for the locale: é and e + combining acute.
      {"equivalent forms", Variant("\xC3\xA9"), Variant("e\xCC\x81"), true, 0},
      {"empty texts", Variant(""), Variant(""), true, 0},
      {"nulls", host::Null(), host::Null(), true, -100},
      {"empties", Variant(), Variant(), true, -100},
      {"integer and smallint", Variant(5), Variant(short{5}), true, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(VariantCompareCase(c.l, c.r, c.caseSensitive), c.expected) << c.what;
}

}  // namespace
