// Scrollable cursors, bookmarks, row numbers and positioned statements through cursor names,
// used the way the package's driver cursor uses them.
#include <limits>

#include "tests/engines/odbc/odbc_fixture.h"

using namespace kxtest;

namespace {

class OdbcCursor : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    run("CREATE TABLE c (id INTEGER PRIMARY KEY, name VARCHAR(10))");
    run("INSERT INTO c VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd'), (5, 'e')");
  }

  // Opens a scrollable cursor the way the package's driver cursor does: attributes before
  // SQLPrepare, bookmark bound as a 4-byte SQL_C_ULONG.
  void open(Stmt& s, SQLULEN type, const std::string& sql, bool bookmarks = true) {
    SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), SQL_IS_UINTEGER);
    SQLSetStmtAttr(s, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(bookmarks ? SQL_UB_ON : SQL_UB_OFF), SQL_IS_UINTEGER);
    SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), SQL_IS_UINTEGER);
    ASSERT_EQ(s.prepare(sql), SQL_SUCCESS) << s.errors();
    SQLRETURN rc = SQLExecute(s);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << s.errors();
    if (bookmarks) {
      ASSERT_EQ(SQLBindCol(s, 0, SQL_C_ULONG, &bookmark, 4, &bookmarkInd), SQL_SUCCESS) << s.errors();
    }
    ASSERT_EQ(SQLBindCol(s, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
  }
  // Fetches and returns the id, 0 for SQL_NO_DATA, -1 on any other result.
  int move(Stmt& s, SQLSMALLINT orientation, SQLLEN offset = 0) {
    SQLRETURN rc = SQLFetchScroll(s, orientation, offset);
    if (rc == SQL_NO_DATA) return 0;
    if (!SQL_SUCCEEDED(rc)) return -1;
    return id;
  }
  SQLULEN rowNumber(Stmt& s) {
    SQLULEN n = 0;
    SQLGetStmtAttr(s, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr);
    return n;
  }
  SQLULEN attr(Stmt& s, SQLINTEGER a) {
    SQLULEN v = 0;
    SQLGetStmtAttr(s, a, &v, 0, nullptr);
    return v;
  }

  uint32_t bookmark = 0;
  SQLLEN bookmarkInd = 0;
  SQLINTEGER id = 0;
  SQLLEN idInd = 0;
};

}  // namespace

TEST_F(OdbcCursor, ScrollsBothWaysFromEitherEnd) {
  for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_DYNAMIC, SQL_CURSOR_KEYSET_DRIVEN}) {
    Stmt s(conn);
    open(s, type, "SELECT id, name FROM c ORDER BY id");
    EXPECT_EQ(attr(s, SQL_ATTR_CURSOR_TYPE), type);
    struct Step {
      SQLSMALLINT orientation;
      SQLLEN offset;
      int want;
    } steps[] = {
        {SQL_FETCH_PRIOR, 0, 0},    {SQL_FETCH_NEXT, 0, 1},  {SQL_FETCH_NEXT, 0, 2},      {SQL_FETCH_LAST, 0, 5},
        {SQL_FETCH_NEXT, 0, 0},     {SQL_FETCH_NEXT, 0, 0},  {SQL_FETCH_PRIOR, 0, 5},     {SQL_FETCH_PRIOR, 0, 4},
        {SQL_FETCH_FIRST, 0, 1},    {SQL_FETCH_PRIOR, 0, 0}, {SQL_FETCH_NEXT, 0, 1},      {SQL_FETCH_ABSOLUTE, 3, 3},
        {SQL_FETCH_RELATIVE, 1, 4}, {SQL_FETCH_RELATIVE, -3, 1}, {SQL_FETCH_ABSOLUTE, -1, 5}, {SQL_FETCH_ABSOLUTE, 9, 0},
    };
    int k = 0;
    for (const auto& st : steps) {
      EXPECT_EQ(move(s, st.orientation, st.offset), st.want) << "type " << type << " step " << k << s.errors();
      if (st.want > 0) {
        EXPECT_EQ(rowNumber(s), static_cast<SQLULEN>(st.want)) << "type " << type << " step " << k;
      }
      ++k;
    }
  }
}

TEST_F(OdbcCursor, FourByteBookmarksFindTheirRowsAgain) {
  for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_DYNAMIC}) {
    Stmt s(conn);
    open(s, type, "SELECT id, name FROM c WHERE id > 1 ORDER BY id DESC");
    ASSERT_EQ(move(s, SQL_FETCH_ABSOLUTE, 2), 4);
    EXPECT_EQ(bookmarkInd, 4);
    uint32_t saved = bookmark;
    EXPECT_GT(saved, 0u);
    EXPECT_LE(saved, 0x7FFFFFFFu);
    ASSERT_EQ(move(s, SQL_FETCH_LAST), 2);
    // The package points the attribute at a 32-bit cell, fetches, and resets it to nil.
    ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_FETCH_BOOKMARK_PTR, &saved, SQL_IS_POINTER), SQL_SUCCESS);
    EXPECT_EQ(move(s, SQL_FETCH_BOOKMARK), 4);
    ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_FETCH_BOOKMARK_PTR, nullptr, SQL_IS_POINTER), SQL_SUCCESS);
    EXPECT_EQ(move(s, SQL_FETCH_NEXT), 3);
    uint32_t bogus = 0x7FFFFFF0u;
    SQLSetStmtAttr(s, SQL_ATTR_FETCH_BOOKMARK_PTR, &bogus, SQL_IS_POINTER);
    EXPECT_EQ(move(s, SQL_FETCH_BOOKMARK), -1);
    EXPECT_EQ(s.state(), "HY111");
    // The bookmark column read with SQLGetData as well.
    ASSERT_EQ(move(s, SQL_FETCH_FIRST), 5);
    uint32_t viaGetData = 0;
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(s, 0, SQL_C_ULONG, &viaGetData, 4, &ind), SQL_SUCCESS);
    EXPECT_EQ(viaGetData, bookmark);
  }
}

TEST_F(OdbcCursor, DynamicCursorSeesChangesAndSkipsDeletedRows) {
  Stmt s(conn);
  open(s, SQL_CURSOR_DYNAMIC, "SELECT id, name FROM c ORDER BY id");
  ASSERT_EQ(move(s, SQL_FETCH_FIRST), 1);
  run("UPDATE c SET name = 'B' WHERE id = 2");
  run("DELETE FROM c WHERE id = 3");
  ASSERT_EQ(move(s, SQL_FETCH_NEXT), 2);
  EXPECT_EQ(s.text(2).value_or(""), "B");
  EXPECT_EQ(move(s, SQL_FETCH_NEXT), 4);
  EXPECT_EQ(rowNumber(s), 3u);
  EXPECT_EQ(move(s, SQL_FETCH_PRIOR), 2);
  // Rows inserted since show when the cursor starts again from an end.
  run("INSERT INTO c VALUES (6, 'f')");
  EXPECT_EQ(move(s, SQL_FETCH_LAST), 6);
  // A static cursor keeps what it read.
  Stmt st(conn);
  open(st, SQL_CURSOR_STATIC, "SELECT id, name FROM c ORDER BY id");
  run("UPDATE c SET name = 'X'");
  ASSERT_EQ(move(st, SQL_FETCH_FIRST), 1);
  EXPECT_EQ(st.text(2).value_or(""), "a");
}

TEST_F(OdbcCursor, PositionedUpdateAndDeleteThroughTheCursorName) {
  Stmt s(conn);
  SQLSetStmtAttr(s, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), SQL_IS_UINTEGER);
  open(s, SQL_CURSOR_DYNAMIC, "SELECT id, name FROM c ORDER BY id");
  EXPECT_EQ(attr(s, SQL_ATTR_CONCURRENCY), static_cast<SQLULEN>(SQL_CONCUR_ROWVER));
  char cursor[65];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetCursorName(s, (SQLCHAR*)cursor, 64, &len), SQL_SUCCESS);
  ASSERT_EQ(move(s, SQL_FETCH_ABSOLUTE, 2), 2);

  Stmt upd(conn);
  ASSERT_EQ(upd.prepare(std::string("UPDATE c SET \"name\" = ? WHERE CURRENT OF ") + cursor), SQL_SUCCESS) << upd.errors();
  char name[11] = "changed";
  SQLLEN nameLen = 10;  // the whole slot, NUL-padded, as the package passes it
  SQLBindParameter(upd, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, name, 10, &nameLen);
  ASSERT_EQ(SQLExecute(upd), SQL_SUCCESS) << upd.errors();
  SQLLEN count = 0;
  SQLRowCount(upd, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(query("SELECT name FROM c WHERE id = 2")[0][0], "changed");

  Stmt del(conn);
  ASSERT_EQ(del.exec(std::string("DELETE FROM c WHERE CURRENT OF ") + cursor), SQL_SUCCESS) << del.errors();
  // The package moves on after a delete: NEXT, then PRIOR.
  EXPECT_EQ(move(s, SQL_FETCH_NEXT), 3);
  EXPECT_EQ(move(s, SQL_FETCH_PRIOR), 1);
  EXPECT_EQ(query("SELECT count(*) FROM c")[0][0], "4");

  // Misuse: an unknown cursor, and a cursor not on a row.
  EXPECT_EQ(del.exec("DELETE FROM c WHERE CURRENT OF nosuchcursor"), SQL_ERROR);
  EXPECT_EQ(del.state(), "34000");
  EXPECT_EQ(move(s, SQL_FETCH_PRIOR), 0);
  EXPECT_EQ(del.exec(std::string("DELETE FROM c WHERE CURRENT OF ") + cursor), SQL_ERROR);
  EXPECT_EQ(del.state(), "24000");
}

TEST_F(OdbcCursor, ForwardOnlyCursorsArePositionedToo) {
  Stmt s(conn);
  ASSERT_EQ(SQLSetCursorName(s, (SQLCHAR*)"walker", SQL_NTS), SQL_SUCCESS);
  SQLSetStmtAttr(s, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), SQL_IS_UINTEGER);
  ASSERT_EQ(s.exec("SELECT id, name FROM c WHERE id >= 4 ORDER BY id"), SQL_SUCCESS) << s.errors();
  // A live query keeps ROWVER on the default cursor, or the client-side cursor would be read-only.
  EXPECT_EQ(attr(s, SQL_ATTR_CONCURRENCY), static_cast<SQLULEN>(SQL_CONCUR_ROWVER));
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  run("UPDATE c SET name = 'pos' WHERE CURRENT OF walker");
  EXPECT_EQ(query("SELECT name FROM c WHERE id = 4")[0][0], "pos");
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_ERROR);
  EXPECT_EQ(s.state(), "HY106");
  Stmt other(conn);
  EXPECT_EQ(SQLSetCursorName(other, (SQLCHAR*)"WALKER", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(other.state(), "3C000");
}

TEST_F(OdbcCursor, QueriesThatCannotBeKeyedBecomeStaticAndReadOnly) {
  run("CREATE TABLE d (cid INTEGER, v INTEGER)");
  run("INSERT INTO d VALUES (1, 10), (1, 11), (2, 20)");
  Stmt s(conn);
  SQLSetStmtAttr(s, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), SQL_IS_UINTEGER);
  SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), SQL_IS_UINTEGER);
  ASSERT_EQ(s.prepare("SELECT c.id, count(*) FROM c JOIN d ON d.cid = c.id GROUP BY c.id ORDER BY c.id"), SQL_SUCCESS);
  // Execution reports the changed options with 01S02, which the package accepts.
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS_WITH_INFO);
  for (auto& d : diags(SQL_HANDLE_STMT, s)) EXPECT_EQ(d.state, "01S02");
  EXPECT_EQ(attr(s, SQL_ATTR_CURSOR_TYPE), static_cast<SQLULEN>(SQL_CURSOR_STATIC));
  EXPECT_EQ(attr(s, SQL_ATTR_CONCURRENCY), static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY));
  SQLINTEGER n = 0;
  SQLLEN ind;
  SQLBindCol(s, 2, SQL_C_SLONG, &n, 0, &ind);
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_LAST, 0), SQL_SUCCESS);
  EXPECT_EQ(n, 1);
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
}

TEST_F(OdbcCursor, RowsetsFillArraysAndStatus) {
  Stmt s(conn);
  SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), SQL_IS_UINTEGER);
  SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), SQL_IS_UINTEGER);
  SQLULEN fetched = 0;
  SQLUSMALLINT status[3];
  SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  SQLSetStmtAttr(s, SQL_ATTR_ROW_STATUS_PTR, status, 0);
  ASSERT_EQ(s.exec("SELECT id, name FROM c ORDER BY id"), SQL_SUCCESS);
  SQLINTEGER ids[3];
  SQLLEN inds[3];
  char names[3][4];
  SQLLEN nameInds[3];
  SQLBindCol(s, 1, SQL_C_SLONG, ids, 0, inds);
  SQLBindCol(s, 2, SQL_C_CHAR, names, 4, nameInds);
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(ids[2], 3);
  EXPECT_STREQ(names[1], "b");
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(ids[1], 5);
  EXPECT_EQ(status[2], SQL_ROW_NOROW);
  // PRIOR from the second rowset overlaps the start: the first rowset, with 01S06.
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(s.state(), "01S06");
  EXPECT_EQ(ids[0], 1);
}

TEST_F(OdbcCursor, TestHooksProduceTheAnswersThePackageMustHandle) {
  Stmt s(conn);
  SQLSetStmtAttr(s, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), SQL_IS_UINTEGER);
  open(s, SQL_CURSOR_DYNAMIC, "SELECT id, name FROM c /*+KX exec_info=01000 prior_info=01S06 read_only */ ORDER BY id");
  EXPECT_EQ(attr(s, SQL_ATTR_CONCURRENCY), static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY));
  ASSERT_EQ(move(s, SQL_FETCH_FIRST), 1);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(s.state(), "01S06");
  Stmt e(conn);
  EXPECT_EQ(e.exec("SELECT 1 /*+KX exec_info=01S02 */"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(e.state(), "01S02");
  e.close();
  run("CREATE TABLE money (m NUMERIC(10,2))");
  ASSERT_EQ(e.exec("SELECT m FROM money /*+KX precision_zero */"), SQL_SUCCESS);
  SQLULEN size = 99;
  SQLDescribeCol(e, 1, nullptr, 0, nullptr, nullptr, &size, nullptr, nullptr);
  EXPECT_EQ(size, 0u);
}

TEST_F(OdbcCursor, ExtremeOffsetsAndValuesStayInRange) {
  Stmt s(conn);
  open(s, SQL_CURSOR_STATIC, "SELECT id, name FROM c ORDER BY id", false);
  EXPECT_EQ(move(s, SQL_FETCH_ABSOLUTE, std::numeric_limits<SQLLEN>::min()), 0);
  EXPECT_EQ(move(s, SQL_FETCH_ABSOLUTE, std::numeric_limits<SQLLEN>::max()), 0);
  EXPECT_EQ(move(s, SQL_FETCH_FIRST), 1);
  EXPECT_EQ(move(s, SQL_FETCH_RELATIVE, std::numeric_limits<SQLLEN>::max()), 0);
  EXPECT_EQ(move(s, SQL_FETCH_RELATIVE, std::numeric_limits<SQLLEN>::min()), 0);
  EXPECT_EQ(move(s, SQL_FETCH_NEXT), 1);
  // Doubles at the edge of 64 bits are refused, not wrapped.
  Stmt v(conn);
  ASSERT_EQ(v.exec("SELECT 9.3e18, -9.3e18, 9.2e18"), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(v), SQL_SUCCESS);
  SQLBIGINT big = 0;
  SQLLEN ind = 0;
  EXPECT_EQ(SQLGetData(v, 1, SQL_C_SBIGINT, &big, 0, &ind), SQL_ERROR);
  EXPECT_EQ(v.state(), "22003");
  EXPECT_EQ(SQLGetData(v, 2, SQL_C_SBIGINT, &big, 0, &ind), SQL_ERROR);
  EXPECT_EQ(SQLGetData(v, 3, SQL_C_SBIGINT, &big, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(big, 9200000000000000000LL);
  SQLUBIGINT ubig = 0;
  EXPECT_EQ(SQLGetData(v, 2, SQL_C_UBIGINT, &ubig, 0, &ind), SQL_ERROR);
  // A failed conversion leaves the value to be read another way.
  double d = 0;
  EXPECT_EQ(SQLGetData(v, 2, SQL_C_DOUBLE, &d, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(d, -9.3e18);
}
