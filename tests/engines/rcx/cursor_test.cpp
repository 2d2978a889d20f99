// Cursors: moves along indexes, bookmarks, positions, counts and percentages.
#include "tests/engines/rcx/rcx_fixture.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace rcxtest {
namespace {

class CursorTest : public RcxTest {
 protected:
  // ID, NAME with a primary index on ID and a case-insensitive, non-unique index on NAME.
  std::uint32_t people(const std::vector<std::pair<int, std::string>>& rows) {
    std::uint32_t h = makeTable("People", {{"ID", kInteger, 4}, {"NAME", kString, 30}},
                                {{"PK", RCX_IDX_PRIMARY | RCX_IDX_CASE_SENSITIVE, {"ID"}}, {"ByName", 0, {"NAME"}}});
    for (const auto& [id, name] : rows) EXPECT_EQ(insertIntText(h, id, name), 0);
    return h;
  }
};

TEST_F(CursorTest, MovesFollowTheCurrentIndexBothWays) {
  std::uint32_t h = people({{3, "carol"}, {1, "Bob"}, {4, "alice"}, {2, "Dave"}, {5, "bob"}});
  // No index: bookmark (insertion) order.
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{3, 1, 4, 2, 5}));
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(walkInts(h, 1, false), (std::vector<std::int32_t>{5, 4, 3, 2, 1}));
  // Case-insensitive: Bob and bob are equal keys and keep their bookmark order.
  ASSERT_EQ(VoskSetTableIndex(ses, h, "byname"), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{4, 1, 5, 3, 2}));
  EXPECT_EQ(walkInts(h, 1, false), (std::vector<std::int32_t>{2, 3, 5, 1, 4}));
  EXPECT_EQ(VoskSetTableIndex(ses, h, "NoSuchIndex"), -1404);
}

TEST_F(CursorTest, ChangingDirectionMidWalkAndFailedMovesKeepTheRecord) {
  people({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}});
  std::uint32_t h = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "People", 0, 0, &h), 0);
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
  // A fresh cursor is before the first record.
  EXPECT_EQ(VoskMove(ses, h, RCX_MovePrev), -1603);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 1);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 3);
  EXPECT_EQ(VoskMove(ses, h, RCX_MovePrev), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 4);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), -1603);
  EXPECT_EQ(getInt(h, 1), 4);  // still readable
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), -1603);
  EXPECT_EQ(VoskMove(ses, h, RCX_MovePrev), 0);
  EXPECT_EQ(getInt(h, 1), 3);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MovePrev), -1603);
  EXPECT_EQ(getInt(h, 1), 1);
  EXPECT_EQ(VoskMove(ses, h, 12345), -1003);
}

TEST_F(CursorTest, DescendingAndMultiSegmentIndexesWithNulls) {
  std::uint32_t h = makeTable("T", {{"A", kInteger, 4}, {"B", kString, 10}, {"N", kInteger, 4}},
                              {{"AdescB", 0x10000, {"-A", "B"}}});
  struct R {
    int a;
    const char* b;  // nullptr = NULL
    int n;
  } rows[] = {{1, "x", 1}, {2, nullptr, 2}, {2, "a", 3}, {1, nullptr, 4}, {3, "z", 5}, {2, "b", 6}};
  for (const auto& r : rows) {
    ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
    set(h, 1, i32(r.a));
    if (r.b) set(h, 2, text(r.b, 10));
    else setNull(h, 2);
    set(h, 3, i32(r.n));
    ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  }
  ASSERT_EQ(VoskSetTableIndex(ses, h, "AdescB"), 0);
  // A descending, then B ascending with NULL first.
  std::vector<std::int32_t> expect = {5, 2, 3, 6, 4, 1};
  EXPECT_EQ(walkInts(h, 3), expect);
  std::vector<std::int32_t> back(expect.rbegin(), expect.rend());
  EXPECT_EQ(walkInts(h, 3, false), back);
  // Walking from every record in both directions gives the same neighbours.
  for (size_t i = 0; i < expect.size(); ++i) {
    ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
    for (size_t k = 0; k < i; ++k) ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
    std::int32_t bm = bookmarkOf(h);
    if (i + 1 < expect.size()) {
      ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
      EXPECT_EQ(getInt(h, 3), expect[i + 1]);
    }
    ASSERT_EQ(gotoBookmark(h, bm), 0);
    if (i > 0) {
      ASSERT_EQ(VoskMove(ses, h, RCX_MovePrev), 0);
      EXPECT_EQ(getInt(h, 3), expect[i - 1]);
    } else {
      EXPECT_EQ(VoskMove(ses, h, RCX_MovePrev), -1603);
    }
  }
}

TEST_F(CursorTest, BookmarksSurviveIndexChangesAndRejectNonRecords) {
  std::uint32_t h = people({{2, "b"}, {1, "a"}, {3, "c"}});
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  std::int32_t bm = bookmarkOf(h);
  EXPECT_GT(bm, 0);
  // The index change keeps the record current; moves continue in the new order.
  ASSERT_EQ(VoskSetTableIndex(ses, h, ""), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  EXPECT_EQ(bookmarkOf(h), bm);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 1);
  ASSERT_EQ(gotoBookmark(h, bm), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  for (std::int32_t bad : {0, -1, -32767, 999999}) {
    EXPECT_EQ(gotoBookmark(h, bad), -4956) << bad;
    EXPECT_EQ(getInt(h, 1), 2);  // nothing moved
  }
  std::int32_t b = bm;
  EXPECT_EQ(VoskGotoBookmark(ses, h, &b, 3), -1045);
  unsigned char small[2];
  std::int32_t len;
  EXPECT_EQ(VoskGetBookmark(ses, h, small, 2, &len), -1038);
}

TEST_F(CursorTest, DeletedRecordLeavesTheCursorBetweenItsNeighbours) {
  std::uint32_t h = people({{1, "a"}, {2, "b"}, {3, "c"}});
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  ASSERT_EQ(VoskDeleteRecord(ses, h), 0);
  std::int32_t st = 0;
  getInt(h, 1, &st);
  EXPECT_EQ(st, -1603);
  EXPECT_EQ(VoskDeleteRecord(ses, h), -1603);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 3);
  ASSERT_EQ(VoskMove(ses, h, RCX_MovePrev), 0);
  EXPECT_EQ(getInt(h, 1), 1);
  // The empty-table loop: first, delete, until the table is empty.
  std::int32_t r;
  while ((r = VoskMove(ses, h, RCX_MoveFirst)) == 0) ASSERT_EQ(VoskDeleteRecord(ses, h), 0);
  EXPECT_EQ(r, -1603);
  std::int32_t count = -1;
  EXPECT_EQ(VoskGetRecordCount(h, &count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(CursorTest, CountsAndPercentagesAreConsistent) {
  std::vector<std::pair<int, std::string>> rows;
  for (int i = 1; i <= 200; ++i) rows.push_back({i, "n" + std::to_string(i)});
  std::uint32_t h = people(rows);
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
  std::int32_t count = 0;
  ASSERT_EQ(VoskGetRecordCount(h, &count), 0);
  EXPECT_EQ(count, 200);
  struct Case {
    std::int32_t percent;
    std::int32_t id;
  } cases[] = {{2500, 50}, {0, 1}, {10000, 200}, {50, 1}, {9950, 199}, {5000, 100}};
  for (const auto& c : cases) {
    ASSERT_EQ(VoskGetByPercentage(h, c.percent), 0) << c.percent;
    EXPECT_EQ(getInt(h, 1), c.id) << c.percent;
    std::int32_t p = -1;
    ASSERT_EQ(VoskFindPercentage(h, &p), 0);
    EXPECT_EQ(std::lround(200.0 * p / 10000), c.id);
    // The cursor keeps walking from there.
    if (c.id < 200) {
      ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
      EXPECT_EQ(getInt(h, 1), c.id + 1);
    }
  }
  EXPECT_EQ(VoskGetByPercentage(h, 10001), -1003);
  EXPECT_EQ(VoskGetByPercentage(h, -1), -1003);
}

TEST_F(CursorTest, ReadsAfterMovesFromOtherCursorsOfTheSameSession) {
  std::uint32_t h = people({{1, "a"}, {2, "b"}, {3, "c"}});
  std::uint32_t h2 = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "People", 0, 0, &h2), 0);
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  ASSERT_EQ(VoskMove(ses, h2, RCX_MoveFirst), 0);
  // The second cursor changes the record the first one stands on.
  ASSERT_EQ(VoskInitUpdate(ses, h2, RCX_INIT_UPDATE), 0);
  set(h2, 2, text("changed", 30));
  ASSERT_EQ(VoskUpdateRecord(ses, h2), 0);
  EXPECT_EQ(getText(h, 2), "changed");
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  // ...and inserts a record the first one finds when it goes on.
  ASSERT_EQ(insertIntText(h2, 4, "d"), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(h, 1), 4);
}

TEST_F(CursorTest, DirectCallsAndNativeInformation) {
  std::uint32_t h = people({{1, "a"}, {2, "b"}});
  char data[64];
  std::uint16_t len = sizeof data;
  ASSERT_EQ(VoskMdxCall(h, RCX_MDX_VERSION, data, &len, nullptr, 0, -1), 0);
  EXPECT_EQ(std::string(data).rfind("Kestrin", 0), 0u);
  len = sizeof data;
  ASSERT_EQ(VoskMdxCall(h, RCX_MDX_STAT, data, &len, nullptr, 0, -1), 0);
  EXPECT_EQ(len, 12);
  EXPECT_EQ(le32(data), 2u);
  EXPECT_EQ(le32(data + 4), 2u);
  EXPECT_EQ(le32(data + 8), 2u);
  len = sizeof data;
  ASSERT_EQ(VoskMdxCall(h, RCX_MDX_GET_LAST, data, &len, nullptr, 0, 0), 0);  // along index 0 (PK)
  EXPECT_EQ(getInt(h, 1), 2);
  std::int32_t bm = std::int32_t(le32(data));
  len = sizeof data;
  ASSERT_EQ(VoskMdxCall(h, RCX_MDX_GET_PREV, data, &len, nullptr, 0, -1), 0);
  EXPECT_EQ(getInt(h, 1), 1);
  std::memcpy(data, &bm, 4);
  len = 4;
  ASSERT_EQ(VoskMdxCall(h, RCX_MDX_GET_DIRECT, data, &len, nullptr, 0, -1), 0);
  EXPECT_EQ(getInt(h, 1), 2);
  len = 2;
  EXPECT_EQ(VoskMdxCall(h, RCX_MDX_GET_POSITION, data, &len, nullptr, 0, -1), -1038);
  len = sizeof data;
  EXPECT_EQ(VoskMdxCall(h, 99, data, &len, nullptr, 0, -1), -1001);

  std::int32_t ten = 10;
  ASSERT_EQ(VoskMakeFilterKey(h, 1, RCX_KEY_SEARCH, &ten, 4, RCX_KEYFLAG_FIRST), 0);
  RCX_FilterStruct term{};
  term.IsColumn = fisConst;
  term.ColumnId = 1;
  term.CompareCode = FCC_GREATER;
  term.pConst = &ten;
  term.ConstLen = 4;
  std::int32_t tag = 0;
  ASSERT_EQ(VoskSetFilterOnColumns(h, &term, 1, &tag, 1), 0);
  TMardexInfo info{};
  ASSERT_EQ(VoskGetMardexInfo(h, &info), 0);
  // The record is packed: copy its members before comparing them.
  std::int8_t keyNum = info.KeyNum;
  std::uint8_t keyLen = info.KeyLen;
  std::int32_t filterLen = info.CurFilterLen;
  EXPECT_EQ(keyNum, 0);
  EXPECT_EQ(keyLen, 10);  // column id, length, 4 bytes
  ASSERT_EQ(filterLen, std::int32_t(sizeof(RCX_FilterStruct)));
  auto* f = static_cast<RCX_FilterStruct*>(info.CurFilter);
  RCX_FilterStruct first;
  std::memcpy(&first, f, sizeof first);
  EXPECT_EQ(first.CompareCode, FCC_GREATER);
  EXPECT_EQ(std::memcmp(first.pConst, &ten, 4), 0);
}

}  // namespace
}  // namespace rcxtest
