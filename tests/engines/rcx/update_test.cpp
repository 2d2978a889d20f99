// Record updates: prepared records, duplicates, locks between sessions and lost updates.
#include "tests/engines/rcx/rcx_fixture.h"

#include <atomic>
#include <thread>

namespace rcxtest {
namespace {

class UpdateTest : public RcxTest {
 protected:
  void SetUp() override {
    RcxTest::SetUp();
    h = makeTable("Acc", {{"ID", kInteger, 4}, {"NAME", kString, 30}, {"BAL", kInteger, 4}},
                  {{"PK", RCX_IDX_PRIMARY | RCX_IDX_CASE_SENSITIVE, {"ID"}}});
    for (int i = 1; i <= 3; ++i) {
      ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
      set(h, 1, i32(i));
      set(h, 2, text("n" + std::to_string(i), 30));
      set(h, 3, i32(100));
      ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
    }
    ASSERT_EQ(VoskSetTableIndex(ses, h, "PK"), 0);
    // A second session on the same database, failing at once on locks.
    ASSERT_EQ(VoskBeginSession(&ses2, "", "", ""), 0);
    ASSERT_EQ(VoskOpenDatabase(ses2, dbString("TESTDB").c_str(), &db2, 0, "", ""), 0);
    ASSERT_EQ(VoskOpenTable(ses2, db2, "Acc", 0, 0, &h2), 0);
    ASSERT_EQ(VoskSetTableIndex(ses2, h2, "PK"), 0);
    ASSERT_EQ(VoskSetSessionOption(ses, RCX_OPT_LOCK_WAIT, 0), 0);
    ASSERT_EQ(VoskSetSessionOption(ses2, RCX_OPT_LOCK_WAIT, 0), 0);
  }
  void TearDown() override {
    VoskEndSession(ses2);
    RcxTest::TearDown();
  }
  // Goes to record `id` on cursor `t` of session `s`.
  void seek(std::uint32_t s, std::uint32_t t, int id) {
    ASSERT_EQ(VoskMakeFilterKey(t, 1, RCX_KEY_SEARCH, &id, 4, RCX_KEYFLAG_FIRST), 0);
    ASSERT_EQ(VoskMove(s, t, RCX_MoveFirst), 0);
    ASSERT_EQ(VoskCancelFilterKey(t, RCX_KEY_SEARCH), 0);
  }
  std::int32_t balance(std::uint32_t s, std::uint32_t t) {
    std::int32_t v = 0;
    std::uint32_t n;
    EXPECT_EQ(VoskRetrieveColumn(s, t, 3, &v, 4, &n, nullptr), 0);
    return v;
  }
  std::uint32_t h = 0, ses2 = 0, db2 = 0, h2 = 0;
};

TEST_F(UpdateTest, UpdateCancelAndDuplicateKeys) {
  seek(ses, h, 2);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  set(h, 3, i32(250));
  EXPECT_EQ(balance(ses, h), 250);  // reads come from the prepared record
  ASSERT_EQ(VoskCancelUpdate(ses, h), 0);
  EXPECT_EQ(balance(ses, h), 100);
  EXPECT_EQ(VoskCancelUpdate(ses, h), 0);  // nothing prepared: harmless
  EXPECT_EQ(VoskUpdateRecord(ses, h), -1609);
  EXPECT_EQ(VoskSetColumn(ses, h, 3, "abcd", 4, 0, 0, nullptr), -1609);

  // The stream of a long value goes to the record's bookmark before every call: the prepared
  // update stays.
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  set(h, 3, i32(260));
  ASSERT_EQ(gotoBookmark(h, bookmarkOf(h)), 0);
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(balance(ses, h), 260);

  // The key change moves the record in index order; the cursor stays on it.
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  set(h, 1, i32(10));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(getInt(h, 1), 10);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveNext), -1603);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{1, 3, 10}));

  // Duplicates of a unique index are refused and leave nothing behind.
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  set(h, 1, i32(3));
  set(h, 3, i32(0));
  EXPECT_EQ(VoskUpdateRecord(ses, h), -1605);
  EXPECT_NE(extText(-1605).find("UNIQUE"), std::string::npos);
  set(h, 1, i32(4));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);  // the prepared record is still there to correct
  seek(ses, h, 1);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  set(h, 1, i32(4));
  EXPECT_EQ(VoskUpdateRecord(ses, h), -1605);
  ASSERT_EQ(VoskCancelUpdate(ses, h), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{1, 3, 4, 10}));

  // Mode 4 keeps a prepared insert; a move abandons it.
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  set(h, 1, i32(20));
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_END_INSERT), 0);
  EXPECT_EQ(gotoBookmark(h, 0), -4956);  // an insert has no bookmark; it stays prepared
  set(h, 3, i32(5));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(getInt(h, 1), 20);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  EXPECT_EQ(VoskUpdateRecord(ses, h), -1609);
  EXPECT_EQ(VoskInitUpdate(ses, h, 99), -1003);
}

TEST_F(UpdateTest, TheSecondEditorGetsTheLockAndNoUpdateIsLost) {
  seek(ses, h, 1);
  seek(ses2, h2, 1);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  EXPECT_EQ(VoskInitUpdate(ses2, h2, RCX_INIT_UPDATE), -5202);
  EXPECT_EQ(VoskDeleteRecord(ses2, h2), -5202);
  set(h, 3, i32(balance(ses, h) + 10));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  // Once released the second session edits the new value.
  ASSERT_EQ(VoskInitUpdate(ses2, h2, RCX_INIT_UPDATE), 0);
  EXPECT_EQ(balance(ses2, h2), 110);
  set(h2, 3, i32(balance(ses2, h2) + 5), ses2);
  ASSERT_EQ(VoskUpdateRecord(ses2, h2), 0);
  ASSERT_EQ(VoskRefreshCurRecord(h), 0);
  EXPECT_EQ(balance(ses, h), 115);
  // Another record is not locked by the first.
  seek(ses, h, 2);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  seek(ses2, h2, 3);
  EXPECT_EQ(VoskInitUpdate(ses2, h2, RCX_INIT_UPDATE), 0);
  EXPECT_EQ(VoskCancelUpdate(ses2, h2), 0);
  EXPECT_EQ(VoskCancelUpdate(ses, h), 0);
}

TEST_F(UpdateTest, AChangeMadeWithoutTheLockIsDetected) {
  // Plain SQL does not take the record manager's locks; the post still sees the change.
  seek(ses, h, 1);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  sqlite3* d = nullptr;
  ASSERT_EQ(sqlite3_open(fileOf("TESTDB").c_str(), &d), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(d, "UPDATE Acc SET BAL = 999 WHERE ID = 1", nullptr, nullptr, nullptr), SQLITE_OK);
  set(h, 3, i32(101));
  EXPECT_EQ(VoskUpdateRecord(ses, h), -4919);
  ASSERT_EQ(VoskCancelUpdate(ses, h), 0);
  ASSERT_EQ(VoskRefreshCurRecord(h), 0);
  EXPECT_EQ(balance(ses, h), 999);
  // A record deleted meanwhile.
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  ASSERT_EQ(sqlite3_exec(d, "DELETE FROM Acc WHERE ID = 1", nullptr, nullptr, nullptr), SQLITE_OK);
  set(h, 3, i32(1));
  EXPECT_EQ(VoskUpdateRecord(ses, h), -4956);
  sqlite3_close(d);
}

TEST_F(UpdateTest, ATransactionHoldsItsLocksAndItsWritesUntilItEnds) {
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "Database1"), 0);
  seek(ses, h, 1);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  set(h, 3, i32(1));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  // The other session neither sees the change nor may touch the record, nor write at all.
  seek(ses2, h2, 1);
  EXPECT_EQ(balance(ses2, h2), 100);
  EXPECT_EQ(VoskInitUpdate(ses2, h2, RCX_INIT_UPDATE), -5202);
  seek(ses2, h2, 2);
  ASSERT_EQ(VoskInitUpdate(ses2, h2, RCX_INIT_UPDATE), 0);
  set(h2, 3, i32(7), ses2);
  EXPECT_EQ(VoskUpdateRecord(ses2, h2), -5202);
  ASSERT_EQ(VoskCancelUpdate(ses2, h2), 0);
  ASSERT_EQ(VoskSetTransact(ses, RCX_COMMIT, "Database1"), 0);
  seek(ses2, h2, 1);
  EXPECT_EQ(balance(ses2, h2), 1);
  EXPECT_EQ(VoskInitUpdate(ses2, h2, RCX_INIT_UPDATE), 0);
  EXPECT_EQ(VoskCancelUpdate(ses2, h2), 0);
}

TEST_F(UpdateTest, ReadOnlyHandlesRefuseWrites) {
  std::uint32_t ro = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "Acc", 0, RCX_TABLE_READONLY, &ro), 0);
  ASSERT_EQ(VoskMove(ses, ro, RCX_MoveFirst), 0);
  EXPECT_EQ(VoskInitUpdate(ses, ro, RCX_INIT_INSERT), -1809);
  EXPECT_EQ(VoskInitUpdate(ses, ro, RCX_INIT_UPDATE), -1809);
  EXPECT_EQ(VoskDeleteRecord(ses, ro), -1809);
  RCX_COLUMNLIST list{};
  list.Struct = sizeof list;
  ASSERT_EQ(VoskGetTableColumnInfo(ses, ro, &list), 0);
  ASSERT_EQ(VoskMove(ses, list.TableId, RCX_MoveFirst), 0);
  EXPECT_EQ(getInt(list.TableId, list.ColumnIdgrBit) & RCX_COL_UPDATABLE, 0);
  VoskCloseTable(ses, list.TableId);
}

}  // namespace
}  // namespace rcxtest

namespace rcxtest {
namespace {

// Sessions on several threads increment one counter record; every increment must survive.
TEST_F(RcxTest, ConcurrentSessionsLoseNoIncrement) {
  std::uint32_t h = makeTable("Counter", {{"ID", kInteger, 4}, {"N", kInteger, 4}});
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 1, i32(1));
  set(h, 2, i32(0));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  constexpr int kThreads = 4, kIncrements = 20;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      std::uint32_t s = 0, d = 0, c = 0;
      if (VoskBeginSession(&s, "", "", "") || VoskOpenDatabase(s, "TESTDB", &d, 0, "", "") ||
          VoskOpenTable(s, d, "Counter", 0, 0, &c) || VoskSetSessionOption(s, RCX_OPT_LOCK_WAIT, 5)) {
        ++failures;
        return;
      }
      for (int i = 0; i < kIncrements; ++i) {
        for (int attempt = 0;; ++attempt) {
          std::int32_t r = VoskMove(s, c, RCX_MoveFirst);
          if (r == 0) r = VoskInitUpdate(s, c, RCX_INIT_UPDATE);
          if (r == 0) {
            std::int32_t n = 0;
            std::uint32_t len;
            VoskRetrieveColumn(s, c, 2, &n, 4, &len, nullptr);
            ++n;
            VoskSetColumn(s, c, 2, &n, 4, 0, 0, nullptr);
            r = VoskUpdateRecord(s, c);
            if (r != 0) VoskCancelUpdate(s, c);
          }
          if (r == 0) break;
          if ((r != -5202 && r != -4919) || attempt > 100) {
            ++failures;
            break;
          }
        }
      }
      VoskEndSession(s);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  EXPECT_EQ(getInt(h, 2), kThreads * kIncrements);
}

}  // namespace
}  // namespace rcxtest
