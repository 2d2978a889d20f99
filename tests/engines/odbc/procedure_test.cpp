// Stored procedures kept in the engine catalogue: definition, catalogue rows, calls with input,
// output and input/output parameters, return values and result sets.
#include "tests/engines/odbc/odbc_fixture.h"

using namespace kxtest;

namespace {

class OdbcProcedure : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    run("CREATE TABLE items (id INTEGER PRIMARY KEY, name VARCHAR(20), qty INTEGER)");
    run("INSERT INTO items VALUES (1, 'bolt', 10), (2, 'nut', 20), (3, 'gear', 5)");
    run("CREATE PROCEDURE ADD_STOCK (IN item INTEGER, IN amount INTEGER, OUT total INTEGER) AS "
        "BEGIN UPDATE items SET qty = qty + :amount WHERE id = :item; "
        "SET :total = (SELECT sum(qty) FROM items); END");
    run("CREATE PROCEDURE COUNT_BELOW (IN limit_ INTEGER) RETURNS INTEGER AS "
        "RETURN (SELECT count(*) FROM items WHERE qty < :limit_)");
    run("CREATE PROCEDURE LIST_ITEMS (INOUT prefix VARCHAR(10)) AS "
        "SELECT id, name FROM items WHERE name LIKE :prefix || '%' ORDER BY id; SET :prefix = upper(:prefix)");
    run("CREATE PROCEDURE NO_PARAMS AS SELECT count(*) AS n FROM items");
  }
};

struct ProcColumn {
  std::string name;
  SQLSMALLINT columnType;
  SQLSMALLINT dataType;
  SQLINTEGER size;
};

std::vector<ProcColumn> procColumns(Conn& c, const char* proc) {
  Stmt s(c);
  EXPECT_EQ(SQLProcedureColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)proc, SQL_NTS, (SQLCHAR*)"%", SQL_NTS), SQL_SUCCESS)
      << s.errors();
  char name[256];
  SQLLEN nameLen, ind;
  SQLSMALLINT colType = 0, dataType = 0, digits = 0;
  SQLINTEGER size = 0;
  SQLBindCol(s, 4, SQL_C_CHAR, name, sizeof name, &nameLen);
  SQLBindCol(s, 5, SQL_C_SHORT, &colType, 0, &ind);
  SQLBindCol(s, 6, SQL_C_SHORT, &dataType, 0, &ind);
  SQLBindCol(s, 8, SQL_C_LONG, &size, 0, &ind);
  SQLBindCol(s, 10, SQL_C_SHORT, &digits, 0, &ind);
  std::vector<ProcColumn> out;
  while (SQLFetch(s) == SQL_SUCCESS) out.push_back({name, colType, dataType, size});
  return out;
}

}  // namespace

TEST_F(OdbcProcedure, CatalogueListsProceduresAndParametersInCallOrder) {
  Stmt s(conn);
  ASSERT_EQ(SQLProcedures(s, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  char name[1023], remarks[1023];
  SQLSMALLINT type = 0;
  SQLLEN l1, l2, l3;
  SQLBindCol(s, 3, SQL_C_CHAR, name, sizeof name, &l1);
  SQLBindCol(s, 7, SQL_C_CHAR, remarks, sizeof remarks, &l2);
  SQLBindCol(s, 8, SQL_C_SHORT, &type, 0, &l3);
  std::map<std::string, SQLSMALLINT> procs;
  SQLRETURN rc;
  while ((rc = SQLFetch(s)) == SQL_SUCCESS) procs[name] = type;
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(procs.size(), 4u);
  EXPECT_EQ(procs["COUNT_BELOW"], SQL_PT_FUNCTION);
  EXPECT_EQ(procs["ADD_STOCK"], SQL_PT_PROCEDURE);

  auto cols = procColumns(conn, "ADD_STOCK");
  ASSERT_EQ(cols.size(), 3u);
  EXPECT_EQ(cols[0].name, "item");
  EXPECT_EQ(cols[0].columnType, SQL_PARAM_INPUT);
  EXPECT_EQ(cols[2].columnType, SQL_PARAM_OUTPUT);
  EXPECT_EQ(cols[2].dataType, SQL_INTEGER);
  auto ret = procColumns(conn, "COUNT_BELOW");
  ASSERT_EQ(ret.size(), 2u);
  EXPECT_EQ(ret[0].columnType, SQL_RETURN_VALUE);
  EXPECT_EQ(ret[0].name, "");  // unnamed: the package calls it "Result"
  auto inout = procColumns(conn, "list_items");
  ASSERT_EQ(inout.size(), 1u);
  EXPECT_EQ(inout[0].columnType, SQL_PARAM_INPUT_OUTPUT);
  EXPECT_EQ(inout[0].dataType, SQL_VARCHAR);
  EXPECT_EQ(inout[0].size, 10);
  EXPECT_TRUE(procColumns(conn, "NO_PARAMS").empty());
}

TEST_F(OdbcProcedure, OutputParametersAreSetWhenExecuteReturns) {
  Stmt s(conn);
  ASSERT_EQ(s.prepare("{call ADD_STOCK(?, ?, ?)}"), SQL_SUCCESS) << s.errors();
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(s, 3, &type, &size, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_INTEGER);
  SQLINTEGER item = 2, amount = 5, total = -1;
  SQLLEN totalInd = 0;
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &item, 0, nullptr);
  SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &amount, 0, nullptr);
  SQLBindParameter(s, 3, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &total, 4, &totalInd);
  ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
  EXPECT_EQ(total, 40);
  EXPECT_EQ(query("SELECT qty FROM items WHERE id = 2")[0][0], "25");
  // Executed again with new values in the same buffers.
  amount = -25;
  ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
  EXPECT_EQ(total, 15);
}

TEST_F(OdbcProcedure, ReturnValuesInBothCallForms) {
  SQLINTEGER limit = 11, result = -1;
  SQLLEN resultInd = 0;
  {
    Stmt s(conn);
    ASSERT_EQ(s.prepare("{? = call COUNT_BELOW(?)}"), SQL_SUCCESS) << s.errors();
    SQLBindParameter(s, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &result, 4, &resultInd);
    SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &limit, 0, nullptr);
    ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
    EXPECT_EQ(result, 2);
  }
  {
    // The package's form: markers only for the parameters, the return value bound first.
    Stmt s(conn);
    ASSERT_EQ(s.prepare("{call COUNT_BELOW(?)}"), SQL_SUCCESS) << s.errors();
    result = -1;
    limit = 6;
    SQLBindParameter(s, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &result, 4, &resultInd);
    SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &limit, 0, nullptr);
    ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
    EXPECT_EQ(result, 1);
  }
}

TEST_F(OdbcProcedure, ResultSetsScrollAndInOutParametersComeBack) {
  Stmt s(conn);
  SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), SQL_IS_UINTEGER);
  SQLSetStmtAttr(s, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_ON), SQL_IS_UINTEGER);
  ASSERT_EQ(s.prepare("{call LIST_ITEMS(?)}"), SQL_SUCCESS) << s.errors();
  char prefix[11] = "b";
  SQLLEN prefixLen = SQL_NTS;
  SQLBindParameter(s, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, prefix, sizeof prefix, &prefixLen);
  SQLRETURN rc = SQLExecute(s);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << s.errors();
  EXPECT_STREQ(prefix, "B");
  SQLULEN type = 0;
  SQLGetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
  EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  uint32_t bm = 0;
  SQLBindCol(s, 0, SQL_C_ULONG, &bm, 4, &ind);
  SQLBindCol(s, 1, SQL_C_SLONG, &id, 0, &ind);
  ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_LAST, 0), SQL_SUCCESS);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_NO_DATA);

  Stmt none(conn);
  ASSERT_EQ(none.exec("{call NO_PARAMS()}"), SQL_SUCCESS) << none.errors();
  ASSERT_EQ(SQLFetch(none), SQL_SUCCESS);
  EXPECT_EQ(none.integer(1), 3);
}

TEST_F(OdbcProcedure, FailuresLeaveNothingBehind) {
  run("CREATE PROCEDURE HALF_DONE (IN x INTEGER) AS "
      "INSERT INTO items VALUES (:x, 'new', 1); INSERT INTO items VALUES (:x, 'again', 1)");
  Stmt s(conn);
  EXPECT_EQ(s.exec("{call HALF_DONE(9)}"), SQL_ERROR);
  EXPECT_EQ(s.state(), "23000");
  EXPECT_EQ(query("SELECT count(*) FROM items")[0][0], "3");
  struct Case {
    const char* sql;
    const char* state;
  } cases[] = {
      {"{call NO_SUCH_PROC(1)}", "42000"},
      {"CREATE PROCEDURE ADD_STOCK (IN a INTEGER) AS SELECT 1", "42S01"},
      {"CREATE PROCEDURE BROKEN (IN a INTEGER AS SELECT 1", "42000"},
      {"{call ADD_STOCK(1, 2, 3, 4)}", "07001"},
      {"DROP PROCEDURE NO_SUCH_PROC", "42000"},
      {"CREATE PROCEDURE TWO_RESULTS (RETURN a INTEGER, RETURN b INTEGER) AS RETURN 1", nullptr},
      {"{? = call TWO_RESULTS}", "42000"},
  };
  for (const auto& c : cases) {
    SQLINTEGER out = 0;
    SQLLEN ind = 0;
    SQLBindParameter(s, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &out, 4, &ind);
    SQLRETURN rc = s.exec(c.sql);
    if (!c.state) {
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << c.sql << s.errors();
      continue;
    }
    EXPECT_EQ(rc, SQL_ERROR) << c.sql;
    EXPECT_EQ(s.state(), c.state) << c.sql << s.errors();
    SQLFreeStmt(s, SQL_RESET_PARAMS);
  }
  // The catalogue reports both return values of TWO_RESULTS; the package refuses such a call.
  auto cols = procColumns(conn, "TWO_RESULTS");
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_EQ(cols[0].columnType, SQL_RETURN_VALUE);
  EXPECT_EQ(cols[1].columnType, SQL_RETURN_VALUE);
  run("DROP PROCEDURE TWO_RESULTS");
  run("DROP PROCEDURE IF EXISTS TWO_RESULTS");
  EXPECT_TRUE(procColumns(conn, "TWO_RESULTS").empty());
}
