// Ranges, search keys and engine filter chains.
#include "tests/engines/rcx/rcx_fixture.h"

namespace rcxtest {
namespace {

class FilterTest : public RcxTest {
 protected:
  // N, NAME, GRP, VAL, NOTE with indexes: ByName (case-insensitive), ByGrpVal (GRP, VAL), ByValDesc.
  void SetUp() override {
    RcxTest::SetUp();
    h = makeTable("F", {{"N", kInteger, 4}, {"NAME", kString, 10}, {"GRP", kSmallint, 2}, {"VAL", kInteger, 4}, {"NOTE", kMemo, 0}},
                  {{"ByName", 0, {"NAME"}}, {"ByGrpVal", 0x10000, {"GRP", "VAL"}}, {"ByValDesc", 0x10000, {"-VAL"}}});
    struct R {
      int n;
      const char* name;
      int grp;
      int val;  // -999: NULL
      const char* note;
    } rows[] = {
        {1, "alice", 1, 10, "Red apple"}, {2, "Bob", 1, 20, nullptr},    {3, "carol", 2, 10, "green"},
        {4, "bob", 2, -999, "RED"},       {5, "Dave", -1, 30, "blue"},   {6, "eve", 2, 20, "reddish"},
        {7, "Smith", 3, 40, nullptr},     {8, "Sm", 3, 50, nullptr},     {9, "Smythe", 3, 45, nullptr},
    };
    for (const auto& r : rows) {
      ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
      set(h, 1, i32(r.n));
      set(h, 2, text(r.name, 10));
      set(h, 3, i16(r.grp));
      if (r.val == -999) setNull(h, 4);
      else set(h, 4, i32(r.val));
      if (r.note) {
        ASSERT_EQ(VoskSetColumn(ses, h, 5, r.note, std::uint32_t(std::strlen(r.note)), 0, 0, nullptr), 0);
      }
      ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
    }
  }

  static RCX_FilterStruct term(std::uint8_t kind, std::uint32_t col, std::uint8_t cmp, const void* c = nullptr,
                               std::uint16_t len = 0, std::uint8_t link = LE_LAST_TERM, std::uint32_t other = 0) {
    RCX_FilterStruct t{};
    t.IsColumn = kind;
    t.ColumnId = col;
    t.ExprWithNextTerm = link;
    t.CompareCode = cmp;
    t.CompColumnId = other;
    t.pConst = c;
    t.ConstLen = len;
    return t;
  }
  std::vector<std::int32_t> filtered(const std::vector<RCX_FilterStruct>& terms, const char* index = "") {
    EXPECT_EQ(VoskSetTableIndex(ses, h, index), 0);
    std::int32_t tag = 0;
    EXPECT_EQ(VoskSetFilterOnColumns(h, terms.data(), std::int32_t(terms.size()), &tag, 1), 0);
    EXPECT_NE(tag, 0);
    auto out = walkInts(h, 1);
    EXPECT_EQ(VoskRemoveFilterFromColumns(h, tag, 0), 0);
    return out;
  }
  std::int32_t seekFirst() { return VoskMove(ses, h, RCX_MoveFirst); }

  std::uint32_t h = 0;
};

TEST_F(FilterTest, TermsAgainstConstantsNullsColumnsAndPrefixes) {
  std::int32_t twenty = 20, ten = 10;
  std::int16_t minusOne = -1;
  std::string bob = text("BOB", 10), s = "Sm", smi = "SMI", red = "red";
  struct Case {
    const char* what;
    std::vector<RCX_FilterStruct> terms;
    std::vector<std::int32_t> want;
  } cases[] = {
      {"=", {term(fisConst, 4, FCC_EQUAL, &twenty, 4)}, {2, 6}},
      {">", {term(fisConst, 4, FCC_GREATER, &twenty, 4)}, {5, 7, 8, 9}},
      {"<", {term(fisConst, 4, FCC_LESS, &twenty, 4)}, {1, 3}},
      {"<> leaves NULL out", {term(fisConst, 4, FCC_NOT_EQUAL, &twenty, 4)}, {1, 3, 5, 7, 8, 9}},
      {">=", {term(fisConst, 4, FCC_GREATER_EQUAL, &twenty, 4)}, {2, 5, 6, 7, 8, 9}},
      {"<=", {term(fisConst, 4, FCC_LESS_EQUAL, &twenty, 4)}, {1, 2, 3, 6}},
      {"negative smallint", {term(fisConst, 3, FCC_EQUAL, &minusOne, 2)}, {5}},
      {"text, case counts", {term(fisConst, 2, FCC_EQUAL, bob.data(), 10)}, {}},
      {"text, case ignored", {term(fisConst, 2, FCC_EQUAL | FCC_NO_CASE, bob.data(), 10)}, {2, 4}},
      {"is null", {term(fisNull, 4, FCC_EQUAL)}, {4}},
      {"is not null", {term(fisNull, 5, FCC_NOT_EQUAL)}, {1, 3, 4, 5, 6}},
      {"column < column", {term(fisColumn, 3, FCC_LESS, nullptr, 0, LE_LAST_TERM, 1)}, {2, 3, 4, 5, 6, 7, 8, 9}},
      {"starts with", {term(fisPartialConst, 2, FCC_EQUAL, s.data(), 2)}, {7, 8, 9}},
      {"partial >= is starts with", {term(fisPartialConst, 2, FCC_GREATER_EQUAL | FCC_NO_CASE, smi.data(), 3)}, {7}},
      {"does not start with", {term(fisPartialConst, 2, FCC_NOT_EQUAL, s.data(), 2)}, {1, 2, 3, 4, 5, 6}},
      {"prefix below", {term(fisPartialConst, 2, FCC_LESS, s.data(), 2)}, {2, 5}},
      {"long text, case ignored", {term(fisPartialConst, 5, FCC_EQUAL | FCC_NO_CASE, red.data(), 3)}, {1, 4, 6}},
      {"AND", {term(fisConst, 3, FCC_EQUAL, &minusOne, 2, LE_AND), term(fisConst, 4, FCC_EQUAL, &twenty, 4)}, {}},
      {"OR", {term(fisConst, 4, FCC_EQUAL, &ten, 4, LE_OR), term(fisConst, 4, FCC_EQUAL, &twenty, 4)}, {1, 2, 3, 6}},
      {"no terms", {}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const auto& c : cases) EXPECT_EQ(filtered(c.terms), c.want) << c.what;
}

TEST_F(FilterTest, ChainsEvaluateLeftToRightWithoutPrecedence) {
  std::int16_t one = 1, two = 2;
  std::int32_t ten = 10, twenty = 20;
  // GRP = 1 OR GRP = 2 AND VAL = 20  reads  (GRP = 1 OR GRP = 2) AND VAL = 20.
  EXPECT_EQ(filtered({term(fisConst, 3, FCC_EQUAL, &one, 2, LE_OR), term(fisConst, 3, FCC_EQUAL, &two, 2, LE_AND),
                      term(fisConst, 4, FCC_EQUAL, &twenty, 4)}),
            (std::vector<std::int32_t>{2, 6}));
  // The distribution the push-down builds: A AND B=2 OR B=3 AND A.
  EXPECT_EQ(filtered({term(fisConst, 4, FCC_EQUAL, &ten, 4, LE_AND), term(fisConst, 3, FCC_EQUAL, &one, 2, LE_OR),
                      term(fisConst, 3, FCC_EQUAL, &two, 2, LE_AND), term(fisConst, 4, FCC_EQUAL, &ten, 4)}),
            (std::vector<std::int32_t>{1, 3}));
  // The count ends the chain, whatever the last link says; $80 on a link is ignored.
  EXPECT_EQ(filtered({term(fisConst, 4, FCC_EQUAL, &ten, 4, LE_AND | 0x80)}), (std::vector<std::int32_t>{1, 3}));
}

TEST_F(FilterTest, SeveralChainsAtOnceAndTheirEffectOnMovesAndCounts) {
  std::int16_t two = 2;
  std::int32_t fifteen = 15;
  RCX_FilterStruct grp = term(fisConst, 3, FCC_EQUAL, &two, 2);
  RCX_FilterStruct val = term(fisConst, 4, FCC_GREATER, &fifteen, 4);
  std::int32_t t1 = 0, t2 = 0;
  ASSERT_EQ(VoskSetFilterOnColumns(h, &grp, 1, &t1, 1), 0);
  ASSERT_EQ(VoskSetFilterOnColumns(h, &val, 1, &t2, 0), 0);
  EXPECT_NE(t1, t2);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{6}));
  std::int32_t count = 0;
  ASSERT_EQ(VoskGetRecordCount(h, &count), 0);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(VoskRemoveFilterFromColumns(h, t2, 1), 0);
  EXPECT_EQ(walkInts(h, 1, false), (std::vector<std::int32_t>{6, 4, 3}));
  EXPECT_EQ(VoskRemoveFilterFromColumns(h, t2, 1), -1003);
  // Filter keys are checked and kept but never narrow what the chain admits.
  EXPECT_EQ(VoskMakeFilterKey(h, 3, RCX_KEY_FILTER_LOW, &two, 2, RCX_KEYFLAG_FIRST), 0);
  EXPECT_EQ(VoskMakeFilterKey(h, 99, RCX_KEY_FILTER_HIGH, &two, 2, 0), -1517);
  EXPECT_EQ(VoskMakeFilterKey(h, 3, 9, &two, 2, 0), -1003);
  EXPECT_EQ(walkInts(h, 1).size(), 3u);
  EXPECT_EQ(VoskCancelFilterKey(h, 0), 0);
  EXPECT_EQ(VoskCancelFilterKey(h, 1), 0);  // nothing made: still 0
  ASSERT_EQ(VoskRemoveFilterFromColumns(h, t1, 0), 0);
  // Malformed terms.
  RCX_FilterStruct bad[] = {term(fisConst, 77, FCC_EQUAL, &two, 2), term(fisConst, 3, 9, &two, 2),
                            term(fisConst, 3, FCC_EQUAL, &two, 2, 5), term(7, 3, FCC_EQUAL, &two, 2),
                            term(fisPartialConst, 2, FCC_EQUAL)};
  std::int32_t want[] = {-1517, -1003, -1003, -1003, -1003};
  for (size_t i = 0; i < std::size(bad); ++i) {
    std::int32_t tag = 0;
    EXPECT_EQ(VoskSetFilterOnColumns(h, &bad[i], 1, &tag, 1), want[i]) << i;
  }
  std::int32_t tag = 0;
  EXPECT_EQ(VoskSetFilterOnColumns(h, nullptr, 1, &tag, 1), -1003);
  EXPECT_EQ(VoskSetFilterOnColumns(h, &grp, 1, nullptr, 1), -1003);
}

TEST_F(FilterTest, RangesStayInsideTheirBoundsOnTheCurrentIndex) {
  std::string b = text("B", 10), d = text("d", 10);
  RCX_FilterStruct start = term(fisConst, 2, FCC_EQUAL | FCC_NO_CASE, b.data(), 10, LE_AND);
  RCX_FilterStruct end = term(fisConst, 2, FCC_EQUAL | FCC_NO_CASE, d.data(), 10, LE_AND);
  EXPECT_EQ(VoskSetRange(h, &start, 1, &end, 1), -1515);  // no current index
  ASSERT_EQ(VoskSetTableIndex(ses, h, "ByName"), 0);
  ASSERT_EQ(VoskSetRange(h, &start, 1, &end, 1), 0);
  // Bob bob carol; Dave sorts after "d" and is outside.
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{2, 4, 3}));
  EXPECT_EQ(walkInts(h, 1, false), (std::vector<std::int32_t>{3, 4, 2}));
  std::int32_t count = 0;
  ASSERT_EQ(VoskGetRecordCount(h, &count), 0);
  EXPECT_EQ(count, 3);
  // A bookmark may go outside; moves then come back in.
  ASSERT_EQ(gotoBookmark(h, 1), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  ASSERT_EQ(VoskCancelRange(h), 0);
  EXPECT_EQ(VoskCancelRange(h), 0);
  EXPECT_EQ(walkInts(h, 1).size(), 9u);

  // Two segments, bounds on the first only, then on both.
  ASSERT_EQ(VoskSetTableIndex(ses, h, "ByGrpVal"), 0);
  std::int16_t two = 2, three = 3;
  std::int32_t fifteen = 15, fortyFive = 45;
  RCX_FilterStruct lo[] = {term(fisConst, 3, FCC_EQUAL, &two, 2, LE_AND), term(fisConst, 4, FCC_EQUAL, &fifteen, 4, LE_AND)};
  RCX_FilterStruct hi[] = {term(fisConst, 3, FCC_EQUAL, &three, 2, LE_AND), term(fisConst, 4, FCC_EQUAL, &fortyFive, 4, LE_AND)};
  ASSERT_EQ(VoskSetRange(h, lo, 1, hi, 1), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{4, 3, 6, 7, 9, 8}));  // NULL VAL first
  ASSERT_EQ(VoskSetRange(h, lo, 2, hi, 2), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{6, 7, 9}));
  // A count larger than the index's segments reads no more terms than there are segments.
  ASSERT_EQ(VoskSetRange(h, lo, 5, hi, 5), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{6, 7, 9}));
  // A NULL constant ends its bound; terms off the index's order are refused.
  RCX_FilterStruct nullFirst = term(fisConst, 3, FCC_EQUAL, nullptr, 0, LE_AND);
  ASSERT_EQ(VoskSetRange(h, &nullFirst, 1, hi, 1), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{5, 1, 2, 4, 3, 6, 7, 9, 8}));
  EXPECT_EQ(VoskSetRange(h, &lo[1], 1, hi, 1), -1003);
  // Counts of 0 take the bounds from the range key parts.
  ASSERT_EQ(VoskMakeFilterKey(h, 3, RCX_KEY_RANGE_START, &three, 2, 0x101), 0);
  ASSERT_EQ(VoskMakeFilterKey(h, 3, RCX_KEY_RANGE_END, &three, 2, 0x101), 0);
  ASSERT_EQ(VoskMakeFilterKey(h, 4, RCX_KEY_RANGE_END, &fortyFive, 4, 0x100), 0);
  ASSERT_EQ(VoskSetRange(h, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{7, 9}));
  ASSERT_EQ(VoskCancelRange(h), 0);

  // A descending index: bounds are in index order.
  ASSERT_EQ(VoskSetTableIndex(ses, h, "ByValDesc"), 0);
  RCX_FilterStruct from = term(fisConst, 4, FCC_EQUAL, &fortyFive, 4, LE_AND);
  RCX_FilterStruct to = term(fisConst, 4, FCC_EQUAL, &fifteen, 4, LE_AND);
  ASSERT_EQ(VoskSetRange(h, &from, 1, &to, 1), 0);
  EXPECT_EQ(walkInts(h, 4), (std::vector<std::int32_t>{45, 40, 30, 20, 20}));
}

TEST_F(FilterTest, SearchKeysFindExactAndNearestRecords) {
  auto key = [&](std::uint32_t col, const std::string& v, std::uint32_t flags) {
    return VoskMakeFilterKey(h, col, RCX_KEY_SEARCH, v.data(), std::uint32_t(v.size()), flags);
  };
  ASSERT_EQ(VoskSetTableIndex(ses, h, "ByName"), 0);
  ASSERT_EQ(key(2, text("CAROL", 10), RCX_KEYFLAG_FIRST), 0);  // case-insensitive index
  ASSERT_EQ(seekFirst(), 0);
  ASSERT_EQ(VoskCancelFilterKey(h, RCX_KEY_SEARCH), 0);
  EXPECT_EQ(getInt(h, 1), 3);  // the found record stays current
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);  // and the walk goes on in index order
  EXPECT_EQ(getInt(h, 1), 5);
  ASSERT_EQ(key(2, text("carl", 10), RCX_KEYFLAG_FIRST), 0);
  EXPECT_EQ(seekFirst(), -1603);
  EXPECT_EQ(getInt(h, 1), 5);  // not found: nothing moved
  ASSERT_EQ(key(2, text("carl", 10), RCX_KEYFLAG_FIRST | RCX_KEYFLAG_NEAREST), 0);
  ASSERT_EQ(seekFirst(), 0);
  EXPECT_EQ(getInt(h, 1), 3);
  ASSERT_EQ(key(2, text("zz", 10), RCX_KEYFLAG_FIRST | RCX_KEYFLAG_NEAREST), 0);
  EXPECT_EQ(seekFirst(), -1603);

  // Two segments: a key on the first finds the first of its records; both parts narrow it.
  ASSERT_EQ(VoskSetTableIndex(ses, h, "ByGrpVal"), 0);
  ASSERT_EQ(key(3, i16(2), RCX_KEYFLAG_FIRST), 0);
  ASSERT_EQ(seekFirst(), 0);
  EXPECT_EQ(getInt(h, 1), 4);
  ASSERT_EQ(key(3, i16(3), RCX_KEYFLAG_FIRST), 0);
  ASSERT_EQ(key(4, i32(45), 0), 0);
  ASSERT_EQ(seekFirst(), 0);
  EXPECT_EQ(getInt(h, 1), 9);
  EXPECT_EQ(key(4, i32(45), 0), -1516);  // every segment has its part
  ASSERT_EQ(key(3, i16(3), RCX_KEYFLAG_FIRST | RCX_KEYFLAG_NEAREST), 0);
  ASSERT_EQ(key(4, i32(41), RCX_KEYFLAG_NEAREST), 0);
  ASSERT_EQ(seekFirst(), 0);
  EXPECT_EQ(getInt(h, 1), 9);
  // An exact part for a later segment alone (the earlier one's value was NULL) still matches.
  ASSERT_EQ(key(4, i32(20), RCX_KEYFLAG_FIRST), 0);
  ASSERT_EQ(seekFirst(), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  // The search key only positions: counts ignore it.
  std::int32_t count = 0;
  ASSERT_EQ(VoskGetRecordCount(h, &count), 0);
  EXPECT_EQ(count, 9);
}

TEST_F(FilterTest, LocateWithAPartialCaseInsensitiveKeyAndChain) {
  // Locate NAME = "SM" (partial, ignoring case) on the name index.
  ASSERT_EQ(VoskSetTableIndex(ses, h, "ByName"), 0);
  std::string sm = "SM";
  RCX_FilterStruct t = term(fisPartialConst, 2, FCC_GREATER_EQUAL | FCC_NO_CASE, sm.data(), 2, LE_AND);
  ASSERT_EQ(VoskMakeFilterKey(h, 2, RCX_KEY_SEARCH, sm.data(), 2, RCX_KEYFLAG_FIRST | RCX_KEYFLAG_NEAREST), 0);
  std::int32_t tag = 0;
  ASSERT_EQ(VoskSetFilterOnColumns(h, &t, 1, &tag, 0), 0);
  ASSERT_EQ(seekFirst(), 0);
  ASSERT_EQ(VoskRemoveFilterFromColumns(h, tag, 1), 0);
  ASSERT_EQ(VoskCancelFilterKey(h, RCX_KEY_SEARCH), 0);
  EXPECT_EQ(getText(h, 2), "Sm");
  // Without a matching record the cursor does not stop on a record not starting with it.
  std::string sx = "SX";
  t.pConst = sx.data();
  ASSERT_EQ(VoskMakeFilterKey(h, 2, RCX_KEY_SEARCH, sx.data(), 2, RCX_KEYFLAG_FIRST | RCX_KEYFLAG_NEAREST), 0);
  ASSERT_EQ(VoskSetFilterOnColumns(h, &t, 1, &tag, 0), 0);
  EXPECT_EQ(seekFirst(), -1603);
  EXPECT_EQ(getText(h, 2), "Sm");
}

}  // namespace
}  // namespace rcxtest
