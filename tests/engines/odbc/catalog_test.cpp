// Catalogue functions, and the record manager's tables seen through SQL with their types.
#include <sqlite3.h>

#include "engines/store/catalog.h"
#include "tests/engines/odbc/odbc_fixture.h"

using namespace kxtest;

using OdbcCatalog = DriverTest;

namespace {

struct Column {
  std::string name;
  SQLSMALLINT type;
  long size;
  SQLSMALLINT digits;
  SQLSMALLINT nullable;
};

// SQLColumns(null, null, table, null) read the way the package reads it, plus type columns.
std::vector<Column> columnsOf(Conn& c, const std::string& table) {
  Stmt s(c);
  EXPECT_EQ(SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)table.c_str(), SQL_NTS, nullptr, 0), SQL_SUCCESS) << s.errors();
  SQLSMALLINT n = 0;
  SQLNumResultCols(s, &n);
  EXPECT_EQ(n, 18);
  char name[256];
  SQLLEN nameLen, ind;
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLINTEGER size = 0;
  SQLBindCol(s, 4, SQL_C_CHAR, name, sizeof name, &nameLen);
  SQLBindCol(s, 5, SQL_C_SHORT, &type, 0, &ind);
  SQLBindCol(s, 7, SQL_C_LONG, &size, 0, &ind);
  SQLBindCol(s, 11, SQL_C_SHORT, &nullable, 0, &ind);
  std::vector<Column> out;
  SQLRETURN rc;
  while ((rc = SQLFetch(s)) == SQL_SUCCESS) {
    digits = 0;
    SQLGetData(s, 9, SQL_C_SHORT, &digits, 0, &ind);
    out.push_back({name, type, size, ind == SQL_NULL_DATA ? SQLSMALLINT(-1) : digits, nullable});
  }
  EXPECT_EQ(rc, SQL_NO_DATA);
  return out;
}

}  // namespace

TEST_F(OdbcCatalog, TablesListsTablesViewsAndTheEngineCatalogue) {
  run("CREATE TABLE alpha (x INTEGER)");
  run("CREATE VIEW beta AS SELECT x FROM alpha");
  Stmt s(conn);
  ASSERT_EQ(SQLTables(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  char name[1024], type[256], remarks[1024];
  SQLLEN l1, l2, l3;
  SQLBindCol(s, 3, SQL_C_CHAR, name, sizeof name, &l1);
  SQLBindCol(s, 4, SQL_C_CHAR, type, sizeof type, &l2);
  SQLBindCol(s, 5, SQL_C_CHAR, remarks, sizeof remarks, &l3);
  std::map<std::string, std::string> found;
  SQLRETURN rc;
  while ((rc = SQLFetch(s)) == SQL_SUCCESS) found[name] = type;
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(found["alpha"], "TABLE");
  EXPECT_EQ(found["beta"], "VIEW");
  EXPECT_EQ(found["kx_procedures"], "SYSTEM TABLE");
  EXPECT_EQ(SQLCloseCursor(s), SQL_SUCCESS);
  // Filters: a name pattern (ignoring case) and a list of types.
  ASSERT_EQ(SQLTables(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"AL%", SQL_NTS, (SQLCHAR*)"'TABLE','VIEW'", SQL_NTS), SQL_SUCCESS);
  int rows = 0;
  while (SQLFetch(s) == SQL_SUCCESS) {
    EXPECT_STREQ(name, "alpha");
    ++rows;
  }
  EXPECT_EQ(rows, 1);
}

TEST_F(OdbcCatalog, ColumnsOfAnSqlTableMatchAnyCaseOfTheName) {
  run("CREATE TABLE Orders (Id INTEGER PRIMARY KEY, Code CHAR(4) NOT NULL, Amount NUMERIC(10,2), "
      "Placed TIMESTAMP, Note LONGVARCHAR, Pic BLOB)");
  auto cols = columnsOf(conn, "ORDERS");
  ASSERT_EQ(cols.size(), 6u);
  // Names come back exactly as declared: the package compares them with regard to case.
  EXPECT_EQ(cols[0].name, "Id");
  EXPECT_EQ(cols[0].nullable, SQL_NO_NULLS);
  EXPECT_EQ(cols[1].type, SQL_CHAR);
  EXPECT_EQ(cols[1].size, 4);
  EXPECT_EQ(cols[1].nullable, SQL_NO_NULLS);
  EXPECT_EQ(cols[2].type, SQL_NUMERIC);
  EXPECT_EQ(cols[2].size, 10);
  EXPECT_EQ(cols[2].digits, 2);
  EXPECT_EQ(cols[3].type, SQL_TYPE_TIMESTAMP);
  EXPECT_EQ(cols[4].type, SQL_LONGVARCHAR);
  EXPECT_LT(cols[4].size, 1 << 20);  // sizes a per-row buffer in the package
  EXPECT_EQ(cols[5].type, SQL_LONGVARBINARY);
  EXPECT_TRUE(columnsOf(conn, "nosuch").empty());
  // Result columns are named as declared, so a client comparing them with COLUMN_NAME matches.
  Stmt s(conn);
  ASSERT_EQ(s.exec("SELECT ID, code, amount AS Total FROM orders"), SQL_SUCCESS) << s.errors();
  std::vector<std::string> names;
  for (SQLUSMALLINT c = 1; c <= 3; ++c) {
    char name[64];
    SQLDescribeCol(s, c, (SQLCHAR*)name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr);
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Id", "Code", "Total"}));
}

TEST_F(OdbcCatalog, RecordManagerTablesShowTheirEngineTypesAndTheReverse) {
  // A table made the way the record manager makes it, with its catalogue rows.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dbFile.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(kxstore::installExtensions(db), SQLITE_OK);
  ASSERT_EQ(kxstore::ensureCatalogue(db), SQLITE_OK);
  kxstore::TableDef def;
  def.name = "RCXTAB";
  auto col = [](const char* name, int cls, int native, uint32_t size, int precision = 0, int scale = 0) {
    kxstore::ColumnDef c;
    c.name = name;
    c.colClass = cls;
    c.native = native;
    c.size = size;
    c.precision = precision;
    c.scale = scale;
    EXPECT_TRUE(kxstore::normaliseColumn(c)) << name;
    return c;
  };
  def.columns = {col("ID", kxstore::kClassInteger, kxstore::kNativeAutoInc, 4),
                 col("CODE", kxstore::kClassFixedText, kxstore::kNativeString, 8),
                 col("PRICE", kxstore::kClassCurrency, kxstore::kNativeCurrency, 8),
                 col("QTY", kxstore::kClassExactNumeric, kxstore::kNativeDecimal, 38, 9, 3),
                 col("FLAG", kxstore::kClassBit, kxstore::kNativeBit, 1)};
  for (size_t k = 0; k < def.columns.size(); ++k) def.columns[k].columnNo = static_cast<int>(k + 1);
  ASSERT_EQ(kxstore::createTable(db, def), SQLITE_OK) << sqlite3_errmsg(db);
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO RCXTAB VALUES (1, 'AB', 1.5, 2.125, 1)", nullptr, nullptr, nullptr), SQLITE_OK);

  auto cols = columnsOf(conn, "rcxtab");
  ASSERT_EQ(cols.size(), 5u);
  EXPECT_EQ(cols[0].type, SQL_INTEGER);
  EXPECT_EQ(cols[1].type, SQL_CHAR);
  EXPECT_EQ(cols[1].size, 8);
  EXPECT_EQ(cols[2].type, SQL_DECIMAL);
  EXPECT_EQ(cols[2].digits, 4);
  EXPECT_EQ(cols[3].type, SQL_DECIMAL);
  EXPECT_EQ(cols[3].size, 9);
  EXPECT_EQ(cols[3].digits, 3);
  EXPECT_EQ(cols[4].type, SQL_BIT);

  Stmt s(conn);
  ASSERT_EQ(s.exec("SELECT ID, CODE, QTY FROM RCXTAB"), SQL_SUCCESS) << s.errors();
  SQLLEN autoInc = 0;
  SQLColAttribute(s, 1, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &autoInc);
  EXPECT_EQ(autoInc, SQL_TRUE);
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  EXPECT_EQ(s.text(2).value_or(""), "AB      ");
  EXPECT_EQ(s.text(3).value_or(""), "2.125");
  s.close();

  // And the reverse: a table made through SQL is readable by the record manager's catalogue.
  run("CREATE TABLE sqltab (name VARCHAR(12) NOT NULL, born DATE)");
  kxstore::TableDef back;
  ASSERT_EQ(kxstore::readTable(db, "SQLTAB", back), SQLITE_OK);
  ASSERT_EQ(back.columns.size(), 2u);
  EXPECT_EQ(back.columns[0].colClass, kxstore::kClassVarText);
  EXPECT_EQ(back.columns[0].size, 12u);
  EXPECT_EQ(back.columns[1].colClass, kxstore::kClassDate);
  sqlite3_close(db);
}

TEST_F(OdbcCatalog, KeysIndexesAndTypeInfo) {
  run("CREATE TABLE k (a INTEGER, b VARCHAR(5), c INTEGER, PRIMARY KEY (a, b))");
  run("CREATE UNIQUE INDEX k_c ON k (c DESC)");
  Stmt s(conn);
  ASSERT_EQ(SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"k", SQL_NTS), SQL_SUCCESS) << s.errors();
  std::vector<std::string> pk;
  while (SQLFetch(s) == SQL_SUCCESS) pk.push_back(s.text(4).value_or("") + s.text(5).value_or(""));
  EXPECT_EQ(pk, (std::vector<std::string>{"a1", "b2"}));
  s.close();
  ASSERT_EQ(SQLStatistics(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"k", SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK), SQL_SUCCESS);
  bool sawDescending = false;
  while (SQLFetch(s) == SQL_SUCCESS)
    if (s.text(9).value_or("") == "c") sawDescending = s.text(10).value_or("") == "D";
  EXPECT_TRUE(sawDescending);
  s.close();
  ASSERT_EQ(SQLGetTypeInfo(s, SQL_ALL_TYPES), SQL_SUCCESS);
  SQLSMALLINT n = 0;
  SQLNumResultCols(s, &n);
  EXPECT_EQ(n, 19);
  SQLSMALLINT last = -32768;
  int rows = 0;
  while (SQLFetch(s) == SQL_SUCCESS) {
    SQLSMALLINT t = 0;
    SQLLEN ind;
    SQLGetData(s, 2, SQL_C_SHORT, &t, 0, &ind);
    EXPECT_LE(last, t);  // ordered by DATA_TYPE
    last = t;
    ++rows;
  }
  EXPECT_GT(rows, 15);
  s.close();
  ASSERT_EQ(SQLGetTypeInfo(s, SQL_VARCHAR), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  EXPECT_EQ(s.text(1).value_or(""), "VARCHAR");
  EXPECT_EQ(SQLFetch(s), SQL_NO_DATA);
}
