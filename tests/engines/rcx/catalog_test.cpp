// The engine catalogue inside a database file: what both engines read and write.
#include "engines/store/catalog.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace {

using namespace kxstore;

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(installExtensions(db_), SQLITE_OK);
    ASSERT_EQ(ensureCatalogue(db_), SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }
  void exec(const char* sql) { ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }

  static ColumnDef col(const char* name, int cls, int native, std::uint32_t size, std::uint32_t flags = 0) {
    ColumnDef c;
    c.name = name;
    c.colClass = cls;
    c.native = native;
    c.size = size;
    c.flags = flags;
    EXPECT_TRUE(normaliseColumn(c));
    return c;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(CatalogTest, CreatedTableReadsBackWithItsCatalogueAttributes) {
  TableDef t;
  t.name = "Customer";
  t.columns = {col("ID", kClassInteger, kNativeAutoInc, 4), col("NAME", kClassVarText, kNativeString, 30, kColumnRequired),
               col("BORN", kClassDate, kNativeDate, 4), col("PRICE", kClassExactNumeric, kNativeDecimal, 10),
               col("NOTES", kClassLongText, kNativeBlob, 0)};
  t.columns[1].defaultValue = "none";
  t.columns[3].scale = 2;
  ASSERT_EQ(createTable(db_, t), SQLITE_OK);
  EXPECT_EQ(createTable(db_, t), SQLITE_CONSTRAINT);

  IndexDef byName;
  byName.name = "ByName";
  byName.flags = 0;  // case-insensitive, not unique
  byName.segments = {IndexSegment{0, "NAME", kSegmentDescending, ""}, IndexSegment{0, "ID", 0, ""}};
  ASSERT_EQ(createIndex(db_, "customer", byName), SQLITE_OK);
  IndexDef pk;
  pk.name = "PK";
  pk.flags = kIndexPrimary | kIndexUnique | kIndexCaseSensitive;
  pk.segments = {IndexSegment{0, "ID", 0, ""}};
  ASSERT_EQ(createIndex(db_, "Customer", pk), SQLITE_OK);
  EXPECT_EQ(createIndex(db_, "Customer", pk), SQLITE_CONSTRAINT);

  TableDef r;
  ASSERT_EQ(readTable(db_, "CUSTOMER", r), SQLITE_OK);
  EXPECT_EQ(r.name, "Customer");
  EXPECT_TRUE(r.inCatalogue);
  ASSERT_EQ(r.columns.size(), 5u);
  EXPECT_EQ(r.columns[0].colTyp(), 0x0F04u);
  EXPECT_EQ(r.columns[1].size, 30u);
  EXPECT_EQ(r.columns[1].flags & kColumnRequired, kColumnRequired);
  EXPECT_EQ(r.columns[1].defaultValue.value_or("?"), "none");
  EXPECT_EQ(r.columns[2].size, 6u);  // the date record, not the 4 bytes asked for
  EXPECT_EQ(r.columns[3].precision, 10);
  EXPECT_EQ(r.columns[3].scale, 2);
  EXPECT_EQ(r.columns[3].size, 38u);
  EXPECT_EQ(r.columns[4].colTyp(), 0x150Cu);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r.columns[size_t(i)].columnNo, i + 1);

  // The primary index is listed first whatever the creation order.
  ASSERT_EQ(r.indexes.size(), 2u);
  EXPECT_EQ(r.indexes[0].name, "PK");
  EXPECT_EQ(r.indexes[1].name, "ByName");
  EXPECT_TRUE(r.indexes[1].caseInsensitive());
  ASSERT_EQ(r.indexes[1].segments.size(), 2u);
  EXPECT_EQ(r.indexes[1].segments[0].flags, kSegmentDescending);  // text, case-insensitive
  EXPECT_EQ(r.indexes[1].segments[1].columnNo, 1);
  EXPECT_EQ(r.indexes[1].segments[1].flags, 0u);  // not text: no case flag

  // Index names are per table: another table may use the same ones.
  TableDef t2;
  t2.name = "Orders";
  t2.columns = {col("ID", kClassInteger, kNativeSigned, 4)};
  ASSERT_EQ(createTable(db_, t2), SQLITE_OK);
  pk.segments = {IndexSegment{0, "ID", 0, ""}};
  EXPECT_EQ(createIndex(db_, "Orders", pk), SQLITE_OK);

  ASSERT_EQ(dropIndex(db_, "Customer", "ByName"), SQLITE_OK);
  ASSERT_EQ(readTable(db_, "Customer", r), SQLITE_OK);
  EXPECT_EQ(r.indexes.size(), 1u);
  EXPECT_EQ(dropIndex(db_, "Customer", "ByName"), SQLITE_NOTFOUND);

  ASSERT_EQ(renameTable(db_, "Customer", "Client"), SQLITE_OK);
  ASSERT_EQ(readTable(db_, "Client", r), SQLITE_OK);
  EXPECT_TRUE(r.inCatalogue);
  EXPECT_EQ(r.indexes.size(), 1u);
  EXPECT_EQ(renameTable(db_, "Client", "Orders"), SQLITE_CONSTRAINT);

  ASSERT_EQ(dropTable(db_, "Client"), SQLITE_OK);
  EXPECT_EQ(readTable(db_, "Client", r), SQLITE_NOTFOUND);
  // A new table of the old name does not inherit the old catalogue rows.
  exec("CREATE TABLE Client(X TEXT)");
  ASSERT_EQ(readTable(db_, "Client", r), SQLITE_OK);
  EXPECT_FALSE(r.inCatalogue);
}

TEST_F(CatalogTest, TablesMadeBySqlGetDerivedMetadata) {
  exec("CREATE TABLE t(id INTEGER PRIMARY KEY, code CHAR(4) NOT NULL, name VARCHAR(20) DEFAULT 'x''y',"
       " amount DECIMAL(9,3), ratio REAL, d DATE, ts TIMESTAMP, big BIGINT, flag BOOLEAN, memo TEXT,"
       " img BLOB, u SMALLINT UNSIGNED, anything)");
  exec("CREATE UNIQUE INDEX t_code ON t(code COLLATE NOCASE, d DESC)");
  exec("CREATE INDEX t_expr ON t(lower(name))");
  exec("CREATE INDEX t_part ON t(name) WHERE name IS NOT NULL");
  TableDef r;
  ASSERT_EQ(readTable(db_, "T", r), SQLITE_OK);
  EXPECT_FALSE(r.inCatalogue);
  struct Expect {
    const char* name;
    std::uint32_t colTyp;
    std::uint32_t size;
    int precision, scale;
  } expect[] = {
      {"id", 0x0104, 4, 0, 0},       {"code", 0x000A, 4, 0, 0},        {"name", 0x0B68, 20, 0, 0},
      {"amount", 0x0867, 38, 9, 3},  {"ratio", 0x0206, 4, 7, 0},       {"d", 0x0365, 6, 0, 0},
      {"ts", 0x1408, 16, 0, 0},      {"big", 0x0167, 38, 19, 0},       {"flag", 0x0701, 1, 0, 0},
      {"memo", 0x150C, 0x7FFFFFFF, 0, 0}, {"img", 0x150B, 0x7FFFFFFF, 0, 0}, {"u", 0x0E03, 2, 0, 0},
      {"anything", 0x0B68, 255, 0, 0},
  };
  ASSERT_EQ(r.columns.size(), std::size(expect));
  for (size_t i = 0; i < std::size(expect); ++i) {
    SCOPED_TRACE(expect[i].name);
    EXPECT_EQ(r.columns[i].name, expect[i].name);
    EXPECT_EQ(r.columns[i].colTyp(), expect[i].colTyp);
    EXPECT_EQ(r.columns[i].size, expect[i].size);
    EXPECT_EQ(r.columns[i].precision, expect[i].precision);
    EXPECT_EQ(r.columns[i].scale, expect[i].scale);
  }
  EXPECT_EQ(r.columns[1].flags & kColumnRequired, kColumnRequired);
  EXPECT_EQ(r.columns[2].defaultValue.value_or("?"), "x'y");

  // The row-id key first, then the unique index; expression and partial indexes are left out.
  ASSERT_EQ(r.indexes.size(), 2u);
  EXPECT_EQ(r.indexes[0].name, "PRIMARY");
  EXPECT_TRUE(r.indexes[0].sqlName.empty());
  EXPECT_EQ(r.indexes[0].flags, kIndexPrimary | kIndexUnique | kIndexCaseSensitive);
  EXPECT_EQ(r.indexes[1].name, "t_code");
  EXPECT_EQ(r.indexes[1].flags, kIndexUnique);
  EXPECT_EQ(r.indexes[1].segments[0].flags, 0u);
  EXPECT_EQ(r.indexes[1].segments[1].flags, kSegmentDescending);

  // Owner and options adopt the table into the catalogue without changing its columns.
  ASSERT_EQ(setTableOwner(db_, "t", "BOSS", 1), SQLITE_OK);
  ASSERT_EQ(readTable(db_, "t", r), SQLITE_OK);
  EXPECT_TRUE(r.inCatalogue);
  EXPECT_EQ(r.owner, "BOSS");
  EXPECT_EQ(r.accessMode, 1u);
  EXPECT_EQ(r.columns[3].colTyp(), 0x0867u);

  // A column added by SQL after the catalogue knew the table is derived.
  exec("ALTER TABLE t ADD COLUMN extra TIME");
  ASSERT_EQ(readTable(db_, "t", r), SQLITE_OK);
  EXPECT_EQ(r.columns.back().colTyp(), 0x0466u);
  EXPECT_FALSE(r.columns.back().inCatalogue);
}

TEST_F(CatalogTest, DeclaredTypesRoundTrip) {
  const ColumnDef defs[] = {
      col("a", kClassBit, kNativeBit, 1),          col("b", kClassTinyInt, kNativeUnsigned, 1),
      col("c", kClassSmallInt, kNativeAutoInc, 2), col("d", kClassInteger, kNativeUnsigned, 4),
      col("e", kClassSingle, kNativeFloat, 4),     col("f", kClassDouble, kNativeFloat, 8),
      col("g", kClassTimestamp, kNativeTimestamp, 8), col("h", kClassTime, kNativeTime, 4),
      col("i", kClassBinary, kNativeNone, 7),      col("j", kClassFixedText, kNativeNone, 9),
      col("k", kClassVarBinary, kNativeVarBinary, 12), col("l", kClassLongText, kNativeNote, 0),
      col("m", kClassLongBinary, kNativeBlob, 0),  col("n", kClassInteger, kNativeAutoInc, 4),
  };
  for (const auto& d : defs) {
    SCOPED_TRACE(declaredTypeFor(d));
    ColumnDef back;
    deriveColumn(declaredTypeFor(d), back);
    EXPECT_EQ(back.colTyp(), d.colTyp());
    EXPECT_EQ(back.size, d.size);
  }
}

TEST_F(CatalogTest, NoCaseComparison) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"abc", "ABC", 0},           {"abc", "abd", -1},         {"Zeta", "alpha", 1},
      {"ab", "abc", -1},           {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", 0},  // été / ÉTÉ
      {"\xD0\x96", "\xD0\xB6", 0},  // Cyrillic Zhe
      {"\xCE\xA3", "\xCF\x83", 0},  // Greek sigma
      {"a\xFF", "A\xFF", 0},       {"a\xFF", "az", 1},         // an invalid byte sorts after letters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    int r = compareNoCase(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
    r = compareNoCase(c.b, c.a);
    EXPECT_EQ((r > 0) - (r < 0), -c.sign);
  }
  // SQLite uses the same rule through the collation.
  exec("CREATE TABLE n(v TEXT)");
  exec("INSERT INTO n VALUES('\xC3\xA9t\xC3\xA9')");
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_, "SELECT count(*) FROM n WHERE v = '\xC3\x89T\xC3\x89' COLLATE KX_NOCASE", -1, &s, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 1);
  sqlite3_finalize(s);
}

TEST_F(CatalogTest, ProceduresAndUsers) {
  ProcedureDef p;
  p.name = "AddOne";
  p.definition = "CREATE PROCEDURE AddOne(IN x INTEGER, OUT y INTEGER) BEGIN SELECT x + 1 INTO y; END";
  p.body = "SELECT x + 1 INTO y;";
  p.params = {ProcedureParam{1, "x", kParamIn, 4, "INTEGER", 10, 0, true},
              ProcedureParam{2, "y", kParamOut, 4, "INTEGER", 10, 0, true}};
  ASSERT_EQ(createProcedure(db_, p), SQLITE_OK);
  EXPECT_EQ(createProcedure(db_, p), SQLITE_CONSTRAINT);
  ProcedureDef r;
  ASSERT_EQ(readProcedure(db_, "ADDONE", r), SQLITE_OK);
  ASSERT_EQ(r.params.size(), 2u);
  EXPECT_EQ(r.params[1].direction, kParamOut);
  std::vector<ProcedureDef> all;
  ASSERT_EQ(listProcedures(db_, all), SQLITE_OK);
  EXPECT_EQ(all.size(), 1u);
  ASSERT_EQ(dropProcedure(db_, "addone"), SQLITE_OK);
  EXPECT_EQ(readProcedure(db_, "AddOne", r), SQLITE_NOTFOUND);

  EXPECT_FALSE(hasUsers(db_));
  ASSERT_EQ(setUser(db_, "Bob", "s3cret", 0), SQLITE_OK);
  EXPECT_TRUE(hasUsers(db_));
  EXPECT_EQ(checkLogin(db_, "BOB", "s3cret"), LoginResult::ok);
  EXPECT_EQ(checkLogin(db_, "bob", "S3CRET"), LoginResult::badPassword);
  EXPECT_EQ(checkLogin(db_, "alice", "s3cret"), LoginResult::unknownUser);
  // Only a hash is stored.
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_, "SELECT count(*) FROM kx_users WHERE hash LIKE '%s3cret%'", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 0);
  sqlite3_finalize(s);

  std::vector<TableEntry> tables;
  ASSERT_EQ(listTables(db_, tables), SQLITE_OK);
  for (const auto& t : tables) EXPECT_EQ(t.flags, kTableSystem) << t.name;  // only the catalogue
}

}  // namespace
