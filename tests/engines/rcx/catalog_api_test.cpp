// The catalogue through the C interface: list tables, definitions, owners and options, and the
// metadata of tables made by plain SQL.
#include "tests/engines/rcx/rcx_fixture.h"

#include "engines/store/catalog.h"

namespace rcxtest {
namespace {

class CatalogApiTest : public RcxTest {
 protected:
  // Walks a list table and returns, per row, the listed columns as text (numbers in decimal).
  std::vector<std::vector<std::string>> walkList(std::uint32_t list, const std::vector<std::pair<std::uint32_t, int>>& cols) {
    std::vector<std::vector<std::string>> rows;
    std::int32_t r;
    std::uint32_t code = RCX_MoveFirst;
    while ((r = VoskMove(ses, list, code)) == 0) {
      code = RCX_MoveNext;
      std::vector<std::string> row;
      for (auto [id, size] : cols) {
        char b[1024];
        std::uint32_t n = 0;
        EXPECT_EQ(VoskRetrieveColumn(ses, list, id, b, std::uint32_t(size), &n, nullptr), 0);
        if (size == 1024) {
          row.emplace_back(b, strnlen(b, sizeof b));
        } else {
          std::int32_t v = 0;
          std::memcpy(&v, b, std::min<std::uint32_t>(n, 4));
          if (size == 2) v = std::int16_t(v);
          row.push_back(std::to_string(v));
        }
      }
      rows.push_back(row);
    }
    EXPECT_EQ(r, -1603);
    EXPECT_EQ(VoskCloseTable(ses, list), 0);
    return rows;
  }
  using Rows = std::vector<std::vector<std::string>>;

  Rows tables() {
    RCX_TABLELIST l{};
    l.Struct = sizeof l;
    EXPECT_EQ(VoskGetDatabaseTableInfo(ses, db, &l), 0);
    return walkList(l.TableId, {{l.ColumnIdObjectName, 1024}, {l.ColumnIdObjTyp, 4}, {l.ColumnIdFlags, 4}});
  }
  Rows columns(std::uint32_t h) {
    RCX_COLUMNLIST l{};
    l.Struct = sizeof l;
    EXPECT_EQ(VoskGetTableColumnInfo(ses, h, &l), 0);
    return walkList(l.TableId, {{l.ColumnIdColumnName, 1024},
                                {l.ColumnIdColumnId, 4},
                                {l.ColumnIdColTyp, 4},
                                {l.ColumnIdcbMax, 4},
                                {l.ColumnIdgrBit, 4},
                                {l.ColumnIdScale, 2},
                                {l.ColumnIdPrecision, 2}});
  }
  Rows indexes(std::uint32_t h, const char* name = nullptr) {
    RCX_INDEXLIST l{};
    l.Struct = sizeof l;
    EXPECT_EQ(VoskGetTableIndexInfo(ses, h, name, &l), 0);
    return walkList(l.TableId, {{l.ColumnIdIndexName, 1024},
                                {l.ColumnIdgrBitIndex, 4},
                                {l.ColumnIdiColumn, 4},
                                {l.ColumnIdColumnId, 4},
                                {l.ColumnIdgrBitColumn, 4},
                                {l.ColumnIdColumnName, 1024}});
  }
};

TEST_F(CatalogApiTest, ListsDescribeTablesColumnsAndIndexSegments) {
  std::uint32_t h = makeTable("Customer", {{"ID", kInteger, 4, RCX_COL_REQUIRED},
                                           {"NAME", kString, 30},
                                           {"CITY", kString, 20},
                                           {"BORN", kDate, 4},
                                           {"AMOUNT", kBcd, 10, 0, nullptr, 10, 2}},
                              {{"ByCity", 0, {"-CITY", "NAME"}}, {"PK", RCX_IDX_PRIMARY | RCX_IDX_CASE_SENSITIVE, {"ID"}}});
  Rows t = tables();
  ASSERT_FALSE(t.empty());
  bool found = false;
  for (const auto& row : t) {
    if (row[0] == "Customer") {
      found = true;
      EXPECT_EQ(row[2], "0");
    }
    if (row[0].rfind("kx_", 0) == 0) {
      EXPECT_EQ(std::uint32_t(std::stoll(row[2])), RCX_TABLE_SYSTEM) << row[0];
    }
  }
  EXPECT_TRUE(found);

  Rows c = columns(h);
  Rows wantColumns = {
      {"ID", "1", std::to_string(0x0104), "4", "36", "0", "0"},
      {"NAME", "2", std::to_string(0x0B68), "30", "32", "0", "0"},
      {"CITY", "3", std::to_string(0x0B68), "20", "32", "0", "0"},
      {"BORN", "4", std::to_string(0x0365), "6", "32", "0", "0"},  // the date record's size
      {"AMOUNT", "5", std::to_string(0x0867), "38", "32", "2", "10"},
  };
  EXPECT_EQ(c, wantColumns);

  // One row per segment; the primary index first; iColumn is the position in the index.
  Rows i = indexes(h);
  Rows wantIndexes = {
      {"PK", std::to_string(RCX_IDX_PRIMARY | RCX_IDX_UNIQUE | RCX_IDX_CASE_SENSITIVE), "0", "1", "0", "ID"},
      {"ByCity", "0", "0", "3", "1", "CITY"},  // descending, case-insensitive text
      {"ByCity", "0", "1", "2", "0", "NAME"},
  };
  EXPECT_EQ(i, wantIndexes);
  EXPECT_EQ(indexes(h, "bycity").size(), 2u);
  RCX_INDEXLIST l{};
  l.Struct = sizeof l;
  EXPECT_EQ(VoskGetTableIndexInfo(ses, h, "Nope", &l), -1404);
  l.Struct = 36 + 1;
  EXPECT_EQ(VoskGetTableIndexInfo(ses, h, nullptr, &l), -1003);
  // A list table walks like a table but takes no other calls.
  RCX_TABLELIST tl{};
  tl.Struct = sizeof tl;
  ASSERT_EQ(VoskGetDatabaseTableInfo(ses, db, &tl), 0);
  EXPECT_EQ(VoskInitUpdate(ses, tl.TableId, 0), -1001);
  std::int32_t count = 0;
  EXPECT_EQ(VoskGetRecordCount(tl.TableId, &count), 0);
  EXPECT_EQ(std::size_t(count), t.size());
  EXPECT_EQ(VoskCloseTable(ses, tl.TableId), 0);
}

TEST_F(CatalogApiTest, CreatingDeletingAndRenaming) {
  std::uint32_t h = makeTable("T", {{"A", kInteger, 4}, {"B", kString, 10}, {"M", kMemo, 0}});
  std::uint32_t x = 0;
  EXPECT_EQ(VoskCreateTable(ses, db, "t", &x), -1303);
  EXPECT_EQ(x, 0u);
  EXPECT_EQ(VoskCreateTable(ses, db, "", &x), -1002);
  EXPECT_EQ(VoskCreateTable(ses, db, "kx_tables", &x), -1002);
  // Columns: classes, sizes, names.
  ASSERT_EQ(VoskCreateTable(ses, db, "New", &x), 0);
  RCX_COLUMNDEF def{};
  def.Struct = sizeof def;
  def.coltyp = 0x0B99;  // class 0x99 does not exist
  def.Max = 4;
  std::uint32_t id = 0;
  EXPECT_EQ(VoskCreateColumn(ses, x, "Q", &def, &id), -1511);
  def.coltyp = kString;
  def.Max = 0;
  EXPECT_EQ(VoskCreateColumn(ses, x, "Q", &def, &id), -1003);
  def.Max = 5;
  ASSERT_EQ(VoskCreateColumn(ses, x, "Q", &def, &id), 0);
  EXPECT_EQ(id, 1u);
  EXPECT_EQ(VoskCreateColumn(ses, x, "q", &def, &id), -1508);
  def.Struct = 28;
  EXPECT_EQ(VoskCreateColumn(ses, x, "R", &def, &id), -1003);
  ASSERT_EQ(VoskCloseTable(ses, x), 0);
  ASSERT_EQ(VoskCreateTable(ses, db, "Empty", &x), 0);
  EXPECT_EQ(VoskCloseTable(ses, x), -1507);  // a table needs a column; nothing is made
  EXPECT_EQ(VoskOpenTable(ses, db, "Empty", 0, 0, &x), -1305);

  // Indexes: key specifications, flags and refusals.
  struct Case {
    const char* name;
    std::uint32_t flags;
    std::string spec;
    std::int32_t len;  // -1: the key specification's own length
    std::int32_t status;
  } cases[] = {
      {"I1", 0, keySpec({"A", "-B"}), -1, 0},
      {"I1", 0, keySpec({"A"}), -1, -1403},
      {"P1", RCX_IDX_PRIMARY, keySpec({"A"}), -1, 0},
      {"P2", RCX_IDX_PRIMARY, keySpec({"B"}), -1, -1402},
      {"I2", 0, keySpec({"Z"}), -1, -1507},
      {"I3", 0, keySpec({"M"}), -1, -1513},
      {"I4", 0, std::string("*A\0\0", 4), -1, -1003},
      {"I5", 0, std::string("+AB", 3), -1, -1003},             // not terminated within the length
      {"I6", 0, keySpec({"B"}), 20, 0},                        // a length past the end stops at the final zero
      {"I7", 0, keySpec({"B"}).substr(0, 3), 3, 0},            // the final zero cut off
      {"", 0, keySpec({"A"}), -1, -1002},
  };
  for (const auto& c : cases) {
    std::string spec = c.spec;
    std::int32_t len = c.len < 0 ? std::int32_t(spec.size()) : c.len;
    spec.resize(std::max<size_t>(spec.size(), size_t(len)), '\0');
    EXPECT_EQ(VoskCreateIndex(ses, h, c.name, c.flags, spec.data(), len, 0), c.status) << c.name;
  }
  ASSERT_EQ(insertIntText(h, 1, "x", 10), 0);
  ASSERT_EQ(insertIntText(h, 2, "x", 10), 0);
  std::string spec = keySpec({"B"});
  EXPECT_EQ(VoskCreateIndex(ses, h, "UB", RCX_IDX_UNIQUE, spec.data(), std::int32_t(spec.size()), 0), -1605);
  ASSERT_EQ(VoskSetTableIndex(ses, h, "I1"), 0);
  ASSERT_EQ(VoskDeleteIndex(ses, h, "I1"), 0);
  EXPECT_EQ(VoskDeleteIndex(ses, h, "I1"), -1404);
  EXPECT_EQ(walkInts(h, 1).size(), 2u);  // back to bookmark order

  // Renaming and deleting.
  ASSERT_EQ(VoskRenameTable(h, "T2"), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  std::uint32_t other = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "T2", 0, 0, &other), 0);
  EXPECT_EQ(VoskRenameTable(h, "T3"), -1304);
  EXPECT_EQ(VoskRenameTable(other, "New"), -1303);
  EXPECT_EQ(VoskDeleteTable(ses, db, "T2"), -4914);
  ASSERT_EQ(VoskCloseTable(ses, other), 0);
  ASSERT_EQ(VoskCloseTable(ses, h), 0);
  EXPECT_EQ(VoskDeleteTable(ses, db, "t2"), 0);
  EXPECT_EQ(VoskDeleteTable(ses, db, "T2"), -1305);
  EXPECT_EQ(VoskDeleteTable(ses, db, "kx_tables"), -1907);
  // Columns added to an existing table.
  ASSERT_EQ(VoskOpenTable(ses, db, "New", 0, 0, &h), 0);
  def.Struct = sizeof def;
  def.coltyp = kInteger;
  def.Max = 4;
  def.pDefault = "7";
  ASSERT_EQ(VoskCreateColumn(ses, h, "ADDED", &def, &id), 0);
  EXPECT_EQ(id, 2u);
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  EXPECT_EQ(getInt(h, 2), 7);
}

TEST_F(CatalogApiTest, OwnersRestrictCursorsUntilTheyGiveTheName) {
  std::uint32_t h = makeTable("Secret", {{"A", kInteger, 4}});
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 1, i32(1));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  std::uint8_t secured = 1;
  ASSERT_EQ(VoskSetTableOption(h, 1, &secured), 0);
  ASSERT_EQ(VoskSetTableOption(h, 0, ""), 0);
  EXPECT_EQ(VoskSetTableOption(h, 7, ""), -1003);
  EXPECT_EQ(VoskSetOwnerOnTable(h, "TOOLONGNAME", 0), -1002);
  ASSERT_EQ(VoskSetOwnerOnTable(h, "BOSS", 1), 0);  // mode 1: read without the name
  ASSERT_EQ(VoskCloseTable(ses, h), 0);

  // Opening never fails for the owner; reading and writing depend on it.
  ASSERT_EQ(VoskOpenTable(ses, db, "Secret", 0, 0, &h), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  EXPECT_EQ(VoskInitUpdate(ses, h, 0), -1907);
  EXPECT_EQ(VoskSetTableOption(h, 0, "WRONG"), -1907);
  EXPECT_EQ(VoskSetOwnerOnTable(h, "", 0), -1907);
  ASSERT_EQ(VoskSetTableOption(h, 0, "BOSS"), 0);
  EXPECT_EQ(VoskInitUpdate(ses, h, 0), 0);
  VoskCancelUpdate(ses, h);
  ASSERT_EQ(VoskSetOwnerOnTable(h, "BOSS", 0), 0);  // mode 0: nothing without the name
  ASSERT_EQ(VoskCloseTable(ses, h), 0);
  ASSERT_EQ(VoskOpenTable(ses, db, "Secret", 0, 0, &h), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveFirst), -1907);
  ASSERT_EQ(VoskSetTableOption(h, 0, "BOSS"), 0);
  EXPECT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  ASSERT_EQ(VoskSetOwnerOnTable(h, "", 0), 0);  // removed
  ASSERT_EQ(VoskCloseTable(ses, h), 0);
  ASSERT_EQ(VoskOpenTable(ses, db, "Secret", 0, 0, &h), 0);
  EXPECT_EQ(VoskInitUpdate(ses, h, 0), 0);
}

TEST_F(CatalogApiTest, TablesAndProceduresMadeBySqlAreListed) {
  VoskCloseTable(ses, makeTable("Base", {{"A", kInteger, 4}}));
  sqlite3* d = nullptr;
  ASSERT_EQ(sqlite3_open(fileOf("TESTDB").c_str(), &d), SQLITE_OK);
  kxstore::installExtensions(d);
  ASSERT_EQ(sqlite3_exec(d,
                         "CREATE TABLE Orders(id INTEGER PRIMARY KEY, cust VARCHAR(20) NOT NULL, total DECIMAL(9,2));"
                         "CREATE INDEX o_cust ON Orders(cust COLLATE NOCASE DESC);"
                         "INSERT INTO Orders(cust, total) VALUES('b', 1.5), ('A', 2), ('a', 3);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  kxstore::ProcedureDef p;
  p.name = "Refresh";
  p.procType = kxstore::kProcFunction;
  ASSERT_EQ(kxstore::createProcedure(d, p), SQLITE_OK);
  sqlite3_close(d);

  std::uint32_t h = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "orders", 0, 0, &h), 0);
  EXPECT_EQ(columns(h)[1], (std::vector<std::string>{"cust", "2", std::to_string(0x0B68), "20", "36", "0", "0"}));
  Rows i = indexes(h);
  ASSERT_EQ(i.size(), 2u);
  EXPECT_EQ(i[0][0], "PRIMARY");
  EXPECT_EQ(i[1], (std::vector<std::string>{"o_cust", "0", "0", "2", "1", "cust"}));
  ASSERT_EQ(VoskSetTableIndex(ses, h, "o_cust"), 0);
  EXPECT_EQ(walkInts(h, 1), (std::vector<std::int32_t>{1, 2, 3}));
  ASSERT_EQ(VoskSetTableIndex(ses, h, "PRIMARY"), 0);
  EXPECT_EQ(walkInts(h, 1, false), (std::vector<std::int32_t>{3, 2, 1}));

  RCX_TABLELIST l{};
  l.Struct = sizeof l;
  ASSERT_EQ(VoskGetDatabaseProcedureInfo(ses, db, &l), 0);
  Rows procs = walkList(l.TableId, {{l.ColumnIdObjectName, 1024}, {l.ColumnIdObjTyp, 4}, {l.ColumnIdFlags, 4}});
  EXPECT_EQ(procs, (Rows{{"Refresh", "2", "0"}}));
  l.pTabNameFilterIn = "ORD*";
  ASSERT_EQ(VoskGetDatabaseTableInfo(ses, db, &l), 0);
  Rows filtered = walkList(l.TableId, {{l.ColumnIdObjectName, 1024}});
  EXPECT_EQ(filtered, (Rows{{"Orders"}}));
}

}  // namespace
}  // namespace rcxtest
