// Both engines on one named database: a table the record manager makes is seen through SQL with
// its types and values, and a table SQL makes is walked by the record manager.
#include <cstring>

#include "engines/rcx/rcx.h"
#include "tests/engines/odbc/odbc_fixture.h"

using namespace kxtest;

namespace {

constexpr std::uint32_t kInteger = 0x0104;
constexpr std::uint32_t kVarText = 0x0B68;
constexpr std::uint32_t kFixedText = 0x000A;
constexpr std::uint32_t kDate = 0x0365;

class OdbcRcxInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    odbcHome();
    makeDatabase("SHARED");
    ASSERT_EQ(VoskBeginSession(&ses, "", "", ""), 0);
    ASSERT_EQ(VoskOpenDatabase(ses, "localhost\tSHARED", &db, 0, "", ""), 0);
    ASSERT_TRUE(SQL_SUCCEEDED(conn.connect("Driver={Kestrin ODBC Engine Interface};DBQ=SHARED"))) << conn.errors();
  }
  void TearDown() override {
    if (ses) VoskEndSession(ses);
  }
  void set(std::uint32_t h, std::uint32_t col, const void* p, std::uint32_t n) {
    ASSERT_EQ(VoskSetColumn(ses, h, col, p, n, 0, 0, nullptr), 0) << "column " << col;
  }

  std::uint32_t ses = 0, db = 0;
  Conn conn;
};

}  // namespace

TEST_F(OdbcRcxInterop, RecordManagerTablesReadThroughSql) {
  std::uint32_t h = 0;
  ASSERT_EQ(VoskCreateTable(ses, db, "PARTS", &h), 0);
  struct {
    const char* name;
    std::uint32_t coltyp, max;
  } cols[] = {{"ID", kInteger, 4}, {"NAME", kVarText, 20}, {"MADE", kDate, 4}, {"CODE", kFixedText, 6}};
  for (auto& c : cols) {
    RCX_COLUMNDEF def{};
    def.Struct = sizeof def;
    def.coltyp = c.coltyp;
    def.Max = c.max;
    std::uint32_t id = 0;
    ASSERT_EQ(VoskCreateColumn(ses, h, c.name, &def, &id), 0) << c.name;
  }
  ASSERT_EQ(VoskCloseTable(ses, h), 0);
  ASSERT_EQ(VoskOpenTable(ses, db, "PARTS", 0, 0, &h), 0);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  std::int32_t id = 7;
  char name[20] = "sprocket";
  RCX_DATE made{2024, 2, 29};
  char code[6] = {'A', 'B', 0, 0, 0, 0};
  set(h, 1, &id, 4);
  set(h, 2, name, sizeof name);
  set(h, 3, &made, sizeof made);
  set(h, 4, code, sizeof code);
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  ASSERT_EQ(VoskCloseTable(ses, h), 0);

  Stmt s(conn);
  ASSERT_EQ(s.exec("SELECT ID, NAME, MADE, CODE FROM parts"), SQL_SUCCESS) << s.errors();
  SQLSMALLINT want[] = {SQL_INTEGER, SQL_VARCHAR, SQL_TYPE_DATE, SQL_CHAR};
  SQLULEN sizes[] = {10, 20, 10, 6};
  for (SQLUSMALLINT c = 1; c <= 4; ++c) {
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLDescribeCol(s, c, nullptr, 0, nullptr, &type, &size, nullptr, nullptr);
    EXPECT_EQ(type, want[c - 1]) << c;
    EXPECT_EQ(size, sizes[c - 1]) << c;
  }
  ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
  EXPECT_EQ(s.integer(1), 7);
  EXPECT_EQ(s.text(2).value_or(""), "sprocket");
  EXPECT_EQ(s.text(3).value_or(""), "2024-02-29");
  EXPECT_EQ(s.text(4).value_or(""), "AB    ");
}

TEST_F(OdbcRcxInterop, SqlTablesWalkedByTheRecordManager) {
  {
    Stmt s(conn);
    ASSERT_EQ(s.exec("CREATE TABLE people (id INTEGER, name VARCHAR(12), born DATE, code CHAR(4))"), SQL_SUCCESS);
    ASSERT_EQ(s.prepare("INSERT INTO people VALUES (?, ?, ?, ?)"), SQL_SUCCESS);
    SQLINTEGER id = 3;
    char name[] = "Zoë";
    SQL_DATE_STRUCT born{1990, 5, 1};
    char code[] = "xy  ";
    SQLLEN nts = SQL_NTS;
    SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 12, 0, name, sizeof name, &nts);
    SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, &born, 0, nullptr);
    SQLBindParameter(s, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 4, 0, code, sizeof code, &nts);
    ASSERT_EQ(SQLExecute(s), SQL_SUCCESS) << s.errors();
  }
  std::uint32_t h = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "PEOPLE", 0, 0, &h), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  unsigned char buf[64];
  std::uint32_t n = 0;
  ASSERT_EQ(VoskRetrieveColumn(ses, h, 1, buf, 4, &n, nullptr), 0);
  std::int32_t id;
  std::memcpy(&id, buf, 4);
  EXPECT_EQ(id, 3);
  ASSERT_EQ(VoskRetrieveColumn(ses, h, 2, buf, sizeof buf, &n, nullptr), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(buf), "Zoë");
  ASSERT_EQ(VoskRetrieveColumn(ses, h, 3, buf, sizeof buf, &n, nullptr), 0);
  RCX_DATE born;
  std::memcpy(&born, buf, sizeof born);
  EXPECT_EQ(born.year, 1990);
  EXPECT_EQ(born.day, 1);
  ASSERT_EQ(VoskRetrieveColumn(ses, h, 4, buf, sizeof buf, &n, nullptr), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(buf), "xy  ");  // fixed text comes padded to its size
  ASSERT_EQ(VoskCloseTable(ses, h), 0);
}

TEST_F(OdbcRcxInterop, ProceduresMadeThroughSqlAreInTheRecordManagersList) {
  {
    Stmt s(conn);
    ASSERT_EQ(s.exec("CREATE PROCEDURE TOTAL (IN a INTEGER) RETURNS INTEGER AS RETURN :a * 2"), SQL_SUCCESS) << s.errors();
  }
  RCX_TABLELIST list{};
  list.Struct = sizeof list;
  ASSERT_EQ(VoskGetDatabaseProcedureInfo(ses, db, &list), 0);
  std::vector<std::string> names;
  std::uint32_t kind = 0;
  for (std::uint32_t code = RCX_MoveFirst; VoskMove(ses, list.TableId, code) == 0; code = RCX_MoveNext) {
    char name[128];
    std::uint32_t n = 0;
    ASSERT_EQ(VoskRetrieveColumn(ses, list.TableId, list.ColumnIdObjectName, name, sizeof name, &n, nullptr), 0);
    names.push_back(name);
    ASSERT_EQ(VoskRetrieveColumn(ses, list.TableId, list.ColumnIdObjTyp, &kind, 4, &n, nullptr), 0);
  }
  VoskCloseTable(ses, list.TableId);
  EXPECT_EQ(names, std::vector<std::string>{"TOTAL"});
  EXPECT_EQ(kind, 2u);  // a function: it returns a value
}
