// Statements: prepare and execute, parameters of every C type, data at execution, results read
// with bound columns and SQLGetData, row counts, diagnostics and transactions.
#include <atomic>
#include <functional>
#include <thread>

#include "tests/engines/odbc/odbc_fixture.h"

using namespace kxtest;

using OdbcStatement = DriverTest;

TEST_F(OdbcStatement, PreparedInsertWithParametersRoundTrips) {
  run("CREATE TABLE p (i INTEGER, s SMALLINT, b BIGINT, d DOUBLE, r REAL, v VARCHAR(20), c CHAR(6), "
      "n NUMERIC(10,2), dt DATE, tm TIME, ts TIMESTAMP, bit BIT, bin VARBINARY(8))");
  Stmt s(conn);
  ASSERT_EQ(s.prepare("INSERT INTO p VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"), SQL_SUCCESS) << s.errors();
  SQLINTEGER i = -42;
  SQLSMALLINT sm = 7;
  SQLBIGINT big = 9000000000LL;
  double d = 2.5;
  float r = 1.25f;
  char v[] = "it's";
  char c[] = "ab";
  char n[] = "12.30";
  SQL_DATE_STRUCT dt{2001, 2, 3};
  SQL_TIME_STRUCT tm{4, 5, 6};
  SQL_TIMESTAMP_STRUCT ts{2001, 2, 3, 4, 5, 6, 789000000};
  unsigned char bit = 0xFF;  // any non-zero byte is true
  unsigned char bin[4] = {0x01, 0x00, 0x0A, 0xFF};
  SQLLEN nts = SQL_NTS, binLen = 4;
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, nullptr);
  SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &sm, 0, nullptr);
  SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, nullptr);
  SQLBindParameter(s, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, nullptr);
  SQLBindParameter(s, 5, SQL_PARAM_INPUT, SQL_C_FLOAT, SQL_REAL, 0, 0, &r, 0, nullptr);
  SQLBindParameter(s, 6, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, v, sizeof v, &nts);
  SQLBindParameter(s, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 6, 0, c, sizeof c, &nts);
  SQLBindParameter(s, 8, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 10, 2, n, sizeof n, &nts);
  SQLBindParameter(s, 9, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, &dt, 0, nullptr);
  SQLBindParameter(s, 10, SQL_PARAM_INPUT, SQL_C_TYPE_TIME, SQL_TYPE_TIME, 0, 0, &tm, 0, nullptr);
  SQLBindParameter(s, 11, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &ts, 0, nullptr);
  SQLBindParameter(s, 12, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_BIT, 1, 0, &bit, 2, nullptr);
  SQLBindParameter(s, 13, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 8, 0, bin, 4, &binLen);
  ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
  SQLLEN count = -5;
  SQLRowCount(s, &count);
  EXPECT_EQ(count, 1);

  auto rows = query("SELECT i, s, b, d, r, v, c, n, dt, tm, ts, bit, bin FROM p");
  ASSERT_EQ(rows.size(), 1u);
  std::vector<std::string> want = {"-42", "7", "9000000000", "2.5", "1.25", "it's", "ab    ", "12.30",
                                   "2001-02-03", "04:05:06", "2001-02-03 04:05:06.789", "1", "01000AFF"};
  EXPECT_EQ(rows[0], want);
}

TEST_F(OdbcStatement, ValuesReadAsTheCTypesThePackageAsksFor) {
  run("CREATE TABLE v (ts TIMESTAMP, z DATE, r REAL, bit BIT, n NUMERIC(10,2), big BIGINT, c CHAR(10))");
  run("INSERT INTO v VALUES ('2001-02-03 04:05:06.789', '0000-00-00', 1.5, 1, 12.3, -9000000000, 'ab')");
  Stmt s(conn);
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("SELECT ts, z, r, bit, n, big, c FROM v")));
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(s, 1, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind), SQL_SUCCESS);
  EXPECT_EQ(ts.fraction, 789000000u);
  EXPECT_EQ(ts.second, 6);
  SQL_DATE_STRUCT z{1, 1, 1};
  ASSERT_EQ(SQLGetData(s, 2, SQL_C_TYPE_DATE, &z, sizeof z, &ind), SQL_SUCCESS);
  EXPECT_EQ(z.year + z.month + z.day, 0);  // an all-zero date stays all zeros
  float r = 0;
  ASSERT_EQ(SQLGetData(s, 3, SQL_C_DEFAULT, &r, sizeof r, &ind), SQL_SUCCESS);  // REAL: a float
  EXPECT_EQ(r, 1.5f);
  unsigned char bit = 0;
  ASSERT_EQ(SQLGetData(s, 4, SQL_C_DEFAULT, &bit, 1, &ind), SQL_SUCCESS);  // BIT: one byte
  EXPECT_EQ(bit, 1);
  char text[64];
  ASSERT_EQ(SQLGetData(s, 5, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "12.30");
  ASSERT_EQ(SQLGetData(s, 6, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "-9000000000");
  ASSERT_EQ(SQLGetData(s, 7, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "ab        ");
  // Described types and sizes.
  struct Want {
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT digits;
  } want[] = {{SQL_TYPE_TIMESTAMP, 26, 6}, {SQL_TYPE_DATE, 10, 0}, {SQL_REAL, 7, 0}, {SQL_BIT, 1, 0},
              {SQL_NUMERIC, 10, 2},         {SQL_BIGINT, 19, 0},   {SQL_CHAR, 10, 0}};
  for (SQLUSMALLINT c = 1; c <= 7; ++c) {
    SQLSMALLINT type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    char name[64];
    ASSERT_EQ(SQLDescribeCol(s, c, (SQLCHAR*)name, sizeof name, nullptr, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_EQ(type, want[c - 1].type) << c;
    EXPECT_EQ(size, want[c - 1].size) << c;
    EXPECT_EQ(digits, want[c - 1].digits) << c;
  }
  SQLLEN unsignedAttr = -1;
  SQLColAttribute(s, 6, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &unsignedAttr);
  EXPECT_EQ(unsignedAttr, SQL_FALSE);
}

TEST_F(OdbcStatement, ConversionErrorsAndTruncationAreReported) {
  run("CREATE TABLE e (t VARCHAR(20), big INTEGER)");
  run("INSERT INTO e VALUES ('abc', 100000)");
  Stmt s(conn);
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("SELECT t, big FROM e")));
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  SQLINTEGER n = 0;
  SQLLEN ind = 0;
  EXPECT_EQ(SQLGetData(s, 1, SQL_C_SLONG, &n, sizeof n, &ind), SQL_ERROR);
  EXPECT_EQ(s.state(), "22018");
  SQLSMALLINT small = 0;
  EXPECT_EQ(SQLGetData(s, 2, SQL_C_SSHORT, &small, sizeof small, &ind), SQL_ERROR);
  EXPECT_EQ(s.state(), "22003");
  // Piecewise text: 01004 with the remaining length, then the rest, then SQL_NO_DATA.
  char part[3];
  EXPECT_EQ(SQLGetData(s, 1, SQL_C_CHAR, part, sizeof part, &ind), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(s.state(), "01004");
  EXPECT_EQ(ind, 3);
  EXPECT_STREQ(part, "ab");
  EXPECT_EQ(SQLGetData(s, 1, SQL_C_CHAR, part, sizeof part, &ind), SQL_SUCCESS);
  EXPECT_STREQ(part, "c");
  EXPECT_EQ(ind, 1);
  EXPECT_EQ(SQLGetData(s, 1, SQL_C_CHAR, part, sizeof part, &ind), SQL_NO_DATA);
  EXPECT_EQ(SQLGetData(s, 3, SQL_C_CHAR, part, sizeof part, &ind), SQL_ERROR);
  EXPECT_EQ(s.state(), "07009");
  // A bound buffer too small: truncated with 01004, never written past its length.
  s.close();
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("SELECT t FROM e")));
  char guard[8];
  std::memset(guard, 'X', sizeof guard);
  SQLBindCol(s, 1, SQL_C_CHAR, guard, 2, &ind);
  EXPECT_EQ(SQLFetch(s), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(s.state(), "01004");
  EXPECT_EQ(guard[0], 'a');
  EXPECT_EQ(guard[1], 0);
  EXPECT_EQ(guard[2], 'X');
  EXPECT_EQ(ind, 3);
}

TEST_F(OdbcStatement, LongValuesAreProbedAndReadInPiecesAgain) {
  run("CREATE TABLE blobs (id INTEGER, data BLOB, memo LONGVARCHAR)");
  Stmt ins(conn);
  ASSERT_EQ(ins.prepare("INSERT INTO blobs VALUES (1, ?, ?)"), SQL_SUCCESS);
  std::string bytes(2000, '\0');
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k * 7);
  std::string memo(5000, 'm');
  SQLLEN bl = 2000, ml = SQL_NTS;
  SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, bytes.data(), 2000, &bl);
  SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, memo.data(), 0, &ml);
  ASSERT_EQ(SQLExecute(ins), SQL_SUCCESS) << ins.errors();

  Stmt s(conn);
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("SELECT data, memo FROM blobs")));
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  char one;
  SQLLEN ind = 0;
  for (int pass = 0; pass < 2; ++pass) {
    // A zero-length probe gives the exact total and consumes nothing.
    EXPECT_EQ(SQLGetData(s, 1, SQL_C_BINARY, &one, 0, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, 2000);
    std::string got;
    char buf[700];
    SQLRETURN rc;
    while ((rc = SQLGetData(s, 1, SQL_C_BINARY, buf, sizeof buf, &ind)) != SQL_NO_DATA) {
      ASSERT_TRUE(SQL_SUCCEEDED(rc));
      got.append(buf, static_cast<size_t>(std::min<SQLLEN>(ind, sizeof buf)));
    }
    EXPECT_EQ(got, bytes) << "pass " << pass;
  }
  std::string text;
  char buf[1024];
  SQLRETURN rc;
  while ((rc = SQLGetData(s, 2, SQL_C_CHAR, buf, sizeof buf, &ind)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    text += buf;
  }
  EXPECT_EQ(text, memo);
}

TEST_F(OdbcStatement, DescribeParamReadsTheColumnTypes) {
  run("CREATE TABLE dp (id INTEGER NOT NULL, name VARCHAR(30), price NUMERIC(10,2), born DATE)");
  struct Case {
    const char* sql;
    std::vector<SQLSMALLINT> types;
  } cases[] = {
      {"INSERT INTO dp (name, id) VALUES (?, ?)", {SQL_VARCHAR, SQL_INTEGER}},
      {"INSERT INTO dp VALUES (?, ?, ?, ?)", {SQL_INTEGER, SQL_VARCHAR, SQL_NUMERIC, SQL_TYPE_DATE}},
      {"UPDATE dp SET price = ? WHERE id = ? AND born > ?", {SQL_NUMERIC, SQL_INTEGER, SQL_TYPE_DATE}},
      {"SELECT * FROM dp WHERE ? = name OR id BETWEEN ? AND ? OR born IN (?, ?)",
       {SQL_VARCHAR, SQL_INTEGER, SQL_INTEGER, SQL_TYPE_DATE, SQL_TYPE_DATE}},
      {"SELECT upper(?) FROM dp", {SQL_VARCHAR}},
  };
  for (const auto& c : cases) {
    Stmt s(conn);
    ASSERT_EQ(s.prepare(c.sql), SQL_SUCCESS) << c.sql << s.errors();
    SQLSMALLINT n = 0;
    SQLNumParams(s, &n);
    ASSERT_EQ(n, static_cast<SQLSMALLINT>(c.types.size())) << c.sql;
    for (SQLUSMALLINT k = 1; k <= n; ++k) {
      SQLSMALLINT type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      ASSERT_EQ(SQLDescribeParam(s, k, &type, &size, &digits, &nullable), SQL_SUCCESS);
      EXPECT_EQ(type, c.types[k - 1]) << c.sql << " marker " << k;
    }
    SQLSMALLINT type;
    EXPECT_EQ(SQLDescribeParam(s, static_cast<SQLUSMALLINT>(n + 1), &type, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(s.state(), "07009");
  }
}

TEST_F(OdbcStatement, DataAtExecutionAsksInOrderAndReturnsTheTokens) {
  run("CREATE TABLE dae (id INTEGER, a LONGVARCHAR, b BLOB)");
  Stmt s(conn);
  ASSERT_EQ(s.prepare("INSERT INTO dae VALUES (?, ?, ?)"), SQL_SUCCESS);
  SQLINTEGER id = 5;
  SQLLEN dae = SQL_DATA_AT_EXEC, dae2 = SQL_LEN_DATA_AT_EXEC(4);
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  // A null token is handed back as null (the package's first long column).
  SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, nullptr, 0, &dae);
  SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, reinterpret_cast<SQLPOINTER>(1), 0, &dae2);
  ASSERT_EQ(SQLExecute(s), SQL_NEED_DATA) << s.errors();
  SQLPOINTER token = reinterpret_cast<SQLPOINTER>(99);
  ASSERT_EQ(SQLParamData(s, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, nullptr);
  ASSERT_EQ(SQLPutData(s, (SQLPOINTER) "hello ", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLPutData(s, (SQLPOINTER) "world", 5), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(s, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(1));
  unsigned char raw[4] = {0, 1, 2, 3};
  ASSERT_EQ(SQLPutData(s, raw, 4), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(s, &token), SQL_SUCCESS) << s.errors();
  SQLLEN count = 0;
  SQLRowCount(s, &count);
  EXPECT_EQ(count, 1);
  auto rows = query("SELECT id, a, b FROM dae");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"5", "hello world", "00010203"}));
  // Out of sequence.
  EXPECT_EQ(SQLPutData(s, raw, 1), SQL_ERROR);
}

TEST_F(OdbcStatement, RowCountsAndSearchedChangesThatMatchNothing) {
  run("CREATE TABLE rc (x INTEGER)");
  run("INSERT INTO rc VALUES (1), (2), (3)");
  Stmt s(conn);
  SQLLEN n = 0;
  ASSERT_EQ(s.exec("UPDATE rc SET x = x + 10 WHERE x >= 2"), SQL_SUCCESS);
  SQLRowCount(s, &n);
  EXPECT_EQ(n, 2);
  // No row matched: success with a count of 0, not SQL_NO_DATA.
  ASSERT_EQ(s.exec("DELETE FROM rc WHERE x = 999"), SQL_SUCCESS);
  SQLRowCount(s, &n);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(s.exec("SELECT x FROM rc"), SQL_SUCCESS);
  SQLRowCount(s, &n);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(SQLCloseCursor(s), SQL_SUCCESS);
  EXPECT_EQ(SQLCloseCursor(s), SQL_ERROR);
  EXPECT_EQ(s.state(), "24000");
}

TEST_F(OdbcStatement, ErrorsCarryStatesAndEndWithNoData) {
  Stmt s(conn);
  struct Case {
    const char* sql;
    const char* state;
  } cases[] = {
      {"SELECT * FROM missing_table", "42S02"},
      {"SELEC 1", "42000"},
      {"CREATE TABLE dup (x INTEGER UNIQUE)", nullptr},
      {"CREATE TABLE dup (x INTEGER)", "42S01"},
      {"INSERT INTO dup VALUES (1)", nullptr},
      {"INSERT INTO dup VALUES (1)", "23000"},
      {"SELECT nope FROM dup", "42S22"},
  };
  for (const auto& c : cases) {
    SQLRETURN rc = s.exec(c.sql);
    if (!c.state) {
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << c.sql << s.errors();
      continue;
    }
    EXPECT_EQ(rc, SQL_ERROR) << c.sql;
    auto d = diags(SQL_HANDLE_STMT, s);
    ASSERT_EQ(d.size(), 1u) << c.sql;
    EXPECT_EQ(d[0].state, c.state) << c.sql << ": " << d[0].message;
    SQLCHAR state[6];
    SQLINTEGER native;
    SQLCHAR msg[16];
    SQLSMALLINT len;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, s, 2, state, &native, msg, sizeof msg, &len), SQL_NO_DATA);
    // A short message buffer truncates with SQL_SUCCESS_WITH_INFO and the full length.
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_GT(len, 15);
  }
  // Sequence errors.
  Stmt fresh(conn);
  EXPECT_EQ(SQLExecute(fresh), SQL_ERROR);
  EXPECT_EQ(fresh.state(), "HY010");
  EXPECT_EQ(SQLFetch(fresh), SQL_ERROR);
  EXPECT_EQ(SQLSetStmtAttr(fresh, 77777, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(fresh.state(), "HY092");
  SQLINTEGER x;
  EXPECT_EQ(SQLBindParameter(fresh, 1, SQL_PARAM_INPUT, 12345, SQL_INTEGER, 0, 0, &x, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(fresh.state(), "HY003");
  EXPECT_EQ(SQLBindParameter(fresh, 1, SQL_PARAM_INPUT, SQL_C_SLONG, 12345, 0, 0, &x, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(fresh.state(), "HY004");
  ASSERT_EQ(fresh.prepare("SELECT ? + 1"), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(fresh), SQL_ERROR);  // the parameter is not bound
  EXPECT_EQ(fresh.state(), "07002");
}

TEST_F(OdbcStatement, ManyStatementsOpenOnOneConnection) {
  run("CREATE TABLE m (x INTEGER)");
  run("INSERT INTO m VALUES (1), (2), (3)");
  Stmt reader(conn), writer(conn);
  ASSERT_EQ(reader.exec("SELECT x FROM m ORDER BY x"), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(reader), SQL_SUCCESS);
  EXPECT_EQ(reader.integer(1), 1);
  // Writes go on while the reader's cursor is open.
  ASSERT_EQ(writer.exec("INSERT INTO m VALUES (4)"), SQL_SUCCESS) << writer.errors();
  ASSERT_EQ(SQLFetch(reader), SQL_SUCCESS);
  EXPECT_EQ(reader.integer(1), 2);
  reader.close();
  EXPECT_EQ(query("SELECT count(*) FROM m")[0][0], "4");
  // A second connection sees the committed insert.
  Conn other;
  ASSERT_TRUE(SQL_SUCCEEDED(other.connect("DSN=" + dsn)));
  Stmt o(other);
  EXPECT_EQ(o.rows("SELECT count(*) FROM m")[0][0], "4");
}

TEST_F(OdbcStatement, TransactionsCommitRollBackAndSurviveFailedStatements) {
  run("CREATE TABLE tx (x INTEGER PRIMARY KEY)");
  run("INSERT INTO tx VALUES (1)");
  ASSERT_EQ(SQLSetConnectAttr(conn.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, SQL_IS_UINTEGER), SQL_SUCCESS);
  run("INSERT INTO tx VALUES (2)");
  {
    Stmt s(conn);
    EXPECT_EQ(s.exec("INSERT INTO tx VALUES (1)"), SQL_ERROR);  // duplicate key
    EXPECT_EQ(s.state(), "23000");
  }
  run("INSERT INTO tx VALUES (3)");  // the transaction is still usable
  EXPECT_EQ(query("SELECT count(*) FROM tx")[0][0], "3");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, conn.dbc, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(query("SELECT count(*) FROM tx")[0][0], "1");
  run("INSERT INTO tx VALUES (4)");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, conn.dbc, SQL_COMMIT), SQL_SUCCESS);
  run("INSERT INTO tx VALUES (5)");
  // Switching auto-commit back on commits the open transaction.
  ASSERT_EQ(SQLSetConnectAttr(conn.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, SQL_IS_UINTEGER), SQL_SUCCESS);
  Conn other;
  ASSERT_TRUE(SQL_SUCCEEDED(other.connect("DSN=" + dsn)));
  Stmt o(other);
  EXPECT_EQ(o.rows("SELECT group_concat(x) FROM (SELECT x FROM tx ORDER BY x)")[0][0], "1,4,5");
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, conn.dbc, 7), SQL_ERROR);
  EXPECT_EQ(firstState(SQL_HANDLE_DBC, conn.dbc), "HY012");
}

TEST_F(OdbcStatement, ParameterArraysAndEscapes) {
  run("CREATE TABLE arr (id INTEGER, name VARCHAR(10), d DATE)");
  Stmt s(conn);
  ASSERT_EQ(s.prepare("INSERT INTO arr (id, name) VALUES (?, ?)"), SQL_SUCCESS);
  SQLINTEGER ids[3] = {1, 2, 3};
  char names[3][10] = {"a", "b", "c"};
  SQLLEN lens[3] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
  SQLULEN processed = 0;
  SQLSetStmtAttr(s, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
  SQLSetStmtAttr(s, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
  SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, names, 10, lens);
  ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
  EXPECT_EQ(processed, 3u);
  SQLLEN count = 0;
  SQLRowCount(s, &count);
  EXPECT_EQ(count, 3);
  run("UPDATE arr SET d = {d '2020-01-31'} WHERE id = 1");
  auto rows = query("SELECT id, name, d, {fn UPPER(name)} FROM arr ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "a", "2020-01-31", "A"}));
  EXPECT_EQ(rows[1][1], "NULL");
}

TEST_F(OdbcStatement, BatchesReturnResultSetsInTurn) {
  run("CREATE TABLE b (x INTEGER)");
  Stmt s(conn);
  ASSERT_EQ(s.exec("INSERT INTO b VALUES (1); INSERT INTO b VALUES (2); SELECT count(*) FROM b; SELECT 'last'"), SQL_SUCCESS)
      << s.errors();
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  EXPECT_EQ(s.integer(1), 2);
  ASSERT_EQ(SQLMoreResults(s), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  EXPECT_EQ(s.text(1).value_or(""), "last");
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA);
  // A failing batch leaves nothing of itself behind.
  EXPECT_EQ(s.exec("INSERT INTO b VALUES (3); INSERT INTO nowhere VALUES (4)"), SQL_ERROR);
  EXPECT_EQ(query("SELECT count(*) FROM b")[0][0], "2");
}

TEST_F(OdbcStatement, ValuesWrittenBackAsLiteralsFindTheirRow) {
  run("CREATE TABLE lit (c CHAR(10), bin BINARY(4), r REAL, d DOUBLE, ts TIMESTAMP, big BIGINT, t VARCHAR(20))");
  Stmt ins(conn);
  ASSERT_EQ(ins.prepare("INSERT INTO lit VALUES (?, ?, ?, ?, ?, ?, ?)"), SQL_SUCCESS);
  char c[] = "ab        ";  // a padded CHAR value is stored without its blanks
  unsigned char bin[4] = {0x01, 0x00, 0x0A, 0xFF};
  float r = 1.1f;
  double d = 0.1 + 0.2;
  SQL_TIMESTAMP_STRUCT ts{2001, 2, 3, 4, 5, 6, 789000000};
  char big[] = "-9000000000";
  char t[] = "O'Brien";
  SQLLEN nts = SQL_NTS, four = 4;
  SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 10, 0, c, sizeof c, &nts);
  SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BINARY, 4, 0, bin, 4, &four);
  SQLBindParameter(ins, 3, SQL_PARAM_INPUT, SQL_C_FLOAT, SQL_REAL, 0, 0, &r, 0, nullptr);
  SQLBindParameter(ins, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, nullptr);
  SQLBindParameter(ins, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &ts, 0, nullptr);
  SQLBindParameter(ins, 6, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_BIGINT, 19, 0, big, sizeof big, &nts);
  SQLBindParameter(ins, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, t, sizeof t, &nts);
  ASSERT_EQ(SQLExecute(ins), SQL_SUCCESS) << ins.errors();
  // The literal forms a client-side cursor prints: hexadecimal text without X, a time stamp
  // without fraction, floats with 15 significant digits, quotes doubled.
  std::string where =
      " WHERE \"c\" = 'ab' AND \"bin\" = '01000AFF' AND \"r\" = 1.10000002384186 AND \"d\" = 0.3 AND "
      "\"ts\" = '2001-02-03 04:05:06' AND \"big\" = '-9000000000' AND \"t\" = 'O''Brien'";
  EXPECT_EQ(query("SELECT COUNT(*) FROM LIT" + where)[0][0], "1");
  run("UPDATE LIT SET \"bin\" = '0A0B0C0D', \"t\" = 'x'" + where);
  Stmt s(conn);
  ASSERT_EQ(s.exec("SELECT bin FROM lit WHERE bin = X'0A0B0C0D'"), SQL_SUCCESS) << s.errors();
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  unsigned char back[4];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(s, 1, SQL_C_BINARY, back, 4, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, 4);
  EXPECT_EQ(back[3], 0x0D);
  s.close();
  run("INSERT INTO lit (c, bin) VALUES ('zz', 'CAFEBABE')");
  EXPECT_EQ(query("SELECT count(*) FROM lit WHERE bin = X'CAFEBABE'")[0][0], "1");
  // Only whole literals against known columns change.
  EXPECT_EQ(query("SELECT count(*) FROM lit WHERE t = '0A0B'")[0][0], "0");
}

TEST_F(OdbcStatement, CursorsSurviveCommitAndRollbackClosesForwardOnlyOnes) {
  run("CREATE TABLE keep (x INTEGER)");
  run("INSERT INTO keep VALUES (1), (2), (3)");
  ASSERT_EQ(SQLSetConnectAttr(conn.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, SQL_IS_UINTEGER), SQL_SUCCESS);
  Stmt reader(conn);
  ASSERT_EQ(reader.exec("SELECT x FROM keep ORDER BY x"), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(reader), SQL_SUCCESS);
  run("INSERT INTO keep VALUES (4)");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, conn.dbc, SQL_COMMIT), SQL_SUCCESS) << conn.errors();
  ASSERT_EQ(SQLFetch(reader), SQL_SUCCESS) << reader.errors();
  EXPECT_EQ(reader.integer(1), 2);
  run("DELETE FROM keep");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, conn.dbc, SQL_ROLLBACK), SQL_SUCCESS) << conn.errors();
  // The cursor is closed (the driver manager reports the sequence error itself).
  EXPECT_EQ(SQLFetch(reader), SQL_ERROR);
  EXPECT_EQ(query("SELECT count(*) FROM keep")[0][0], "4");
  // Disconnecting with a transaction open is refused; the work is not lost silently.
  run("INSERT INTO keep VALUES (5)");
  EXPECT_EQ(SQLDisconnect(conn.dbc), SQL_ERROR);
  EXPECT_EQ(firstState(SQL_HANDLE_DBC, conn.dbc), "25000");
}

TEST_F(OdbcStatement, ConnectionsInSeveralThreadsShareTheFile) {
  run("CREATE TABLE shared (t INTEGER, n INTEGER)");
  constexpr int kThreads = 4, kRows = 20;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Conn c;
      if (!SQL_SUCCEEDED(c.connect("DSN=" + dsn))) {
        ++failures;
        return;
      }
      Stmt s(c);
      if (s.prepare("INSERT INTO shared VALUES (?, ?)") != SQL_SUCCESS) {
        ++failures;
        return;
      }
      SQLINTEGER tt = t, n = 0;
      SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &tt, 0, nullptr);
      SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, nullptr);
      for (n = 0; n < kRows; ++n)
        if (!SQL_SUCCEEDED(SQLExecute(s))) ++failures;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(query("SELECT count(*), count(DISTINCT t) FROM shared")[0], (std::vector<std::string>{"80", "4"}));
}

TEST_F(OdbcStatement, DescriptorFieldsBindAndDescribe) {
  run("CREATE TABLE dsc (id INTEGER, amount NUMERIC(10,2))");
  Stmt ins(conn);
  ASSERT_EQ(ins.prepare("INSERT INTO dsc VALUES (?, ?)"), SQL_SUCCESS);
  // A numeric parameter bound through its descriptor fields, as bulk inserters do.
  SQLHDESC apd = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(ins, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr), SQL_SUCCESS);
  SQLINTEGER id = 7;
  SQL_NUMERIC_STRUCT num{};
  num.precision = 10;
  num.scale = 2;
  num.sign = 1;
  num.val[0] = 0x39;  // 12345 -> 123.45
  num.val[1] = 0x30;
  SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, &num, sizeof num, nullptr);
  ASSERT_EQ(SQLSetDescField(apd, 2, SQL_DESC_PRECISION, reinterpret_cast<SQLPOINTER>(10), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(apd, 2, SQL_DESC_SCALE, reinterpret_cast<SQLPOINTER>(2), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(apd, 2, SQL_DESC_DATA_PTR, &num, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(ins), SQL_SUCCESS) << ins.errors();

  Stmt s(conn);
  ASSERT_EQ(s.exec("SELECT id, amount FROM dsc"), SQL_SUCCESS);
  SQLHDESC ard = nullptr, ird = nullptr;
  SQLGetStmtAttr(s, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
  SQLGetStmtAttr(s, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr);
  SQLSMALLINT count = 0;
  ASSERT_EQ(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(count, 2);
  char name[32];
  SQLINTEGER nameLen = 0;
  ASSERT_EQ(SQLGetDescField(ird, 2, SQL_DESC_NAME, name, sizeof name, &nameLen), SQL_SUCCESS);
  EXPECT_STREQ(name, "amount");
  EXPECT_EQ(SQLSetDescField(ird, 1, SQL_DESC_TYPE, reinterpret_cast<SQLPOINTER>(SQL_INTEGER), 0), SQL_ERROR);
  EXPECT_EQ(firstState(SQL_HANDLE_DESC, ird), "HY016");
  // Column 2 bound through the row descriptor.
  char amount[16];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_CHAR), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_OCTET_LENGTH, reinterpret_cast<SQLPOINTER>(sizeof amount), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_INDICATOR_PTR, &ind, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_OCTET_LENGTH_PTR, &ind, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_DATA_PTR, amount, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS) << s.errors();
  EXPECT_STREQ(amount, "123.45");
  EXPECT_EQ(ind, 6);
}

TEST_F(OdbcStatement, MisuseIsAnsweredWithStatesNeverACrash) {
  run("CREATE TABLE mis (x INTEGER)");
  run("INSERT INTO mis VALUES (1)");
  Stmt s(conn);
  char buf[8];
  SQLLEN ind = 0;
  SQLULEN n = 0;
  EXPECT_EQ(SQLGetData(s, 1, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_ERROR);  // nothing executed
  ASSERT_EQ(s.exec("SELECT x FROM mis"), SQL_SUCCESS);
  struct Case {
    const char* what;
    std::function<SQLRETURN()> call;
    const char* state;
  } cases[] = {
      {"GetData before a fetch", [&] { return SQLGetData(s, 1, SQL_C_CHAR, buf, sizeof buf, &ind); }, "24000"},
      {"bind past the last column", [&] { return SQLBindCol(s, 5, SQL_C_CHAR, buf, sizeof buf, &ind); }, "07009"},
      {"bind with a negative length", [&] { return SQLBindCol(s, 1, SQL_C_CHAR, buf, -1, &ind); }, "HY090"},
      {"describe the bookmark column with bookmarks off",
       [&] { return SQLDescribeCol(s, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr); }, "07009"},
      {"change the cursor type of an open cursor",
       [&] { return SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0); }, "24000"},
      {"fetch by bookmark with bookmarks off", [&] { return SQLFetchScroll(s, SQL_FETCH_BOOKMARK, 0); }, "HY106"},
      {"column attribute past the last column",
       [&] { return SQLColAttribute(s, 9, SQL_DESC_TYPE, nullptr, 0, nullptr, nullptr); }, "07009"},
      {"unknown information type", [&] { return SQLGetInfo(conn.dbc, 31999, buf, sizeof buf, nullptr); }, "HY096"},
      {"zero row array size", [&] { return SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)0, 0); }, "HY024"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(c.call(), SQL_ERROR) << c.what;
    std::string state = c.what == std::string("unknown information type") ? firstState(SQL_HANDLE_DBC, conn.dbc) : s.state();
    EXPECT_EQ(state, c.state) << c.what;
  }
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  EXPECT_EQ(SQLGetData(s, 1, SQL_C_CHAR, buf, -5, &ind), SQL_ERROR);
  EXPECT_EQ(s.state(), "HY090");
  EXPECT_EQ(SQLGetStmtAttr(s, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(SQLFetch(s), SQL_NO_DATA);
  EXPECT_EQ(SQLFetch(s), SQL_NO_DATA);
}

TEST_F(OdbcStatement, QueryTimeoutStopsALongStatement) {
  Stmt s(conn);
  ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0), SQL_SUCCESS);
  // Counts far beyond what a second allows.
  EXPECT_EQ(s.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n"), SQL_ERROR);
  EXPECT_EQ(s.state(), "HYT00");
  EXPECT_EQ(s.rows("SELECT 1")[0][0], "1");  // the statement is usable again
}
