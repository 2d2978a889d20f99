// Column data: the byte format of every column class, NULLs, defaults, auto-increment, long
// values in pieces, and what SQL sees of the stored values.
#include "tests/engines/rcx/rcx_fixture.h"

#include <cmath>

namespace rcxtest {
namespace {

class DataTest : public RcxTest {
 protected:
  std::string raw(const std::string& sql) {
    sqlite3* d = nullptr;
    EXPECT_EQ(sqlite3_open_v2(fileOf("TESTDB").c_str(), &d, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(d, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      out = std::string(sqlite3_column_type(s, 0) == SQLITE_NULL ? "NULL:" : "") + (t ? t : "");
      out = std::string(sqlite3_column_decltype(s, 0) ? "" : "") + out;
    }
    sqlite3_finalize(s);
    sqlite3_close(d);
    return out;
  }

  static std::string exactNumeric(std::int64_t mantissa, int scale, int size = 4) {
    RCX_EXACTNUMERIC x{};
    x.Scale = std::int16_t(scale);
    x.Size = std::uint16_t(size);
    for (int w = 0; w < 4; ++w) x.Word[w] = std::uint16_t(std::uint64_t(mantissa) >> (16 * w));
    return std::string(reinterpret_cast<char*>(&x), sizeof x);
  }
  static std::string timestamp(int y, int mo, int d, int h, int mi, int s, std::uint32_t f) {
    RCX_TIMESTAMP x{std::int16_t(y), std::uint16_t(mo), std::uint16_t(d), std::uint16_t(h),
                    std::uint16_t(mi), std::uint16_t(s), f};
    return std::string(reinterpret_cast<char*>(&x), sizeof x);
  }
  static std::string timeOfDay(int h, int m, int s) {
    RCX_TIME x{std::uint16_t(h), std::uint16_t(m), std::uint16_t(s)};
    return std::string(reinterpret_cast<char*>(&x), sizeof x);
  }
  static std::string varBytes(const std::string& b) {
    std::string s(2, '\0');
    std::uint16_t n = std::uint16_t(b.size());
    std::memcpy(s.data(), &n, 2);
    return s + b;
  }

  std::uint32_t readRaw(std::uint32_t h, std::uint32_t col, std::string& out, std::uint32_t size) {
    out.assign(size, '\x55');
    std::uint32_t n = 0;
    std::int32_t r = VoskRetrieveColumn(ses, h, col, out.data(), size, &n, nullptr);
    EXPECT_EQ(r, 0) << "column " << col;
    out.resize(n);
    return n;
  }
};

TEST_F(DataTest, EveryClassRoundTripsAndIsStoredInItsSqlForm) {
  struct Case {
    const char* name;
    std::uint32_t coltyp;
    std::uint32_t max;
    std::int16_t precision, scale;
    std::string written;
    std::string read;      // the bytes read back (written when empty)
    const char* stored;    // what SQL sees
  } cases[] = {
      {"BIT", kBoolean, 1, 0, 0, std::string("\x01", 1), "", "1"},
      {"SMALL", kSmallint, 2, 0, 0, i16(-12345), "", "-12345"},
      {"WORD", kWord, 2, 0, 0, i16(-1), "", "65535"},  // native type 14: unsigned
      {"INT", kInteger, 4, 0, 0, i32(-2000000000), "", "-2000000000"},
      {"DBL", kFloat, 8, 0, 0, f64(2.5), "", "2.5"},
      {"SGL", kSingle, 4, 0, 0, std::string("\x00\x00\xc0\x3f", 4), "", "1.5"},
      {"CURR", kCurrency, 8, 19, 0, exactNumeric(1234, -2), exactNumeric(1234, -2), "12.34"},
      {"BIG", kLargeint, 8, 19, 0, exactNumeric(-9000000000000000000LL, 0), "", "-9000000000000000000"},
      {"DEC", kBcd, 10, 10, 2, exactNumeric(5, -1), exactNumeric(50, -2), "0.5"},
      {"D", kDate, 4, 0, 0, date(2024, 2, 29), "", "2024-02-29"},
      {"T", kTime, 4, 0, 0, timeOfDay(0, 0, 0), "", "00:00:00"},  // midnight is a value
      {"TS", kDateTime, 8, 0, 0, timestamp(1999, 12, 31, 23, 59, 58, 5000000), "", "1999-12-31 23:59:58.5"},
      {"FIX", kFixed, 6, 0, 0, text("ab  ", 6), "ab    ", "ab"},  // padded again with blanks
      {"VAR", kString, 8, 0, 0, text("ab  ", 8), "ab  ", "ab  "},   // trailing blanks kept
      {"BIN", kBytes, 4, 0, 0, std::string("\x01\x00\x02", 3), std::string("\x01\x00\x02\x00", 4), ""},
      {"VBIN", kVarBytes, 6, 0, 0, varBytes(std::string("\x00\xff", 2)), "", ""},
  };
  std::vector<Col> cols;
  for (const auto& c : cases) cols.push_back(Col{c.name, c.coltyp, c.max, 0, nullptr, c.precision, c.scale});
  std::uint32_t h = makeTable("AllTypes", cols);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  for (size_t i = 0; i < std::size(cases); ++i) set(h, std::uint32_t(i + 1), cases[i].written);
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    std::string got;
    readRaw(h, std::uint32_t(i + 1), got, 64);
    std::string want = c.read.empty() ? c.written : c.read;
    EXPECT_EQ(got.size(), want.size());
    EXPECT_EQ(got, want.substr(0, got.size()));
    if (*c.stored) {
      EXPECT_EQ(raw(std::string("SELECT \"") + c.name + "\" FROM AllTypes"), c.stored);
    }
  }
}

TEST_F(DataTest, SqlWrittenValuesAreReadInTheColumnsFormats) {
  std::uint32_t h0 = makeTable("Dummy", {{"X", kInteger, 4}});
  VoskCloseTable(ses, h0);
  sqlite3* d = nullptr;
  ASSERT_EQ(sqlite3_open(fileOf("TESTDB").c_str(), &d), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(d,
                         "CREATE TABLE s(t TINYINT, u TINYINT UNSIGNED, ts DATETIME, d DATE, amt DECIMAL(9,2), c CHAR(4));"
                         "INSERT INTO s VALUES(-1, 255, '2020-01-02T03:04:05', '2021-06-07 08:00:00', 7, 'x');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(d);
  std::uint32_t h = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "s", 0, 0, &h), 0);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  std::string b;
  readRaw(h, 1, b, 2);
  EXPECT_EQ(b, std::string("\xff", 1));  // one byte; the caller sign-extends
  readRaw(h, 2, b, 2);
  EXPECT_EQ(b, std::string("\xff", 1));
  readRaw(h, 3, b, 16);
  EXPECT_EQ(b, timestamp(2020, 1, 2, 3, 4, 5, 0));
  readRaw(h, 4, b, 8);
  EXPECT_EQ(b, date(2021, 6, 7));
  readRaw(h, 5, b, 38);
  EXPECT_EQ(b, exactNumeric(700, -2));  // shown with the column's two decimals
  readRaw(h, 6, b, 5);
  EXPECT_EQ(b, "x   ");
}

TEST_F(DataTest, InvalidValuesAreRefusedWithAStatus) {
  std::uint32_t h = makeTable("V", {{"D", kDate, 4},
                                    {"TS", kDateTime, 8},
                                    {"DEC", kBcd, 5, 0, nullptr, 5, 2},
                                    {"S", kString, 4},
                                    {"F", kFloat, 8},
                                    {"VB", kVarBytes, 4}});
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  std::string beyond64 = exactNumeric(1, 0, 5);
  beyond64[6 + 2 * 4] = 1;
  struct Case {
    std::uint32_t col;
    std::string bytes;
    std::int32_t status;
  } cases[] = {
      {1, date(2023, 2, 29), -5208},
      {1, date(2023, 13, 1), -5208},
      {1, date(2023, 1, 1).substr(0, 4), -1047},
      {2, timestamp(2023, 1, 1, 24, 0, 0, 0), -5208},
      {2, timestamp(2023, 1, 1, 0, 0, 0, 10000000), -5208},
      {3, exactNumeric(12345, -1), -1506},  // 1234.5 does not fit DECIMAL(5,2)
      {3, beyond64, -1506},                 // a fifth word in use: beyond 64 bits
      {4, text("abcde", 6), -1506},
      {5, f64(std::nan("")), -1003},
      {6, varBytes("abc"), -1506},  // two of the four bytes hold the length
      {6, std::string("\x09\x00", 2), -1003},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VoskSetColumn(ses, h, c.col, c.bytes.data(), std::uint32_t(c.bytes.size()), 0, 0, nullptr), c.status)
        << "column " << c.col;
    EXPECT_FALSE(extText(c.status).empty());
  }
  // An all-zero date or timestamp is NULL.
  set(h, 1, date(0, 0, 0));
  set(h, 2, timestamp(0, 0, 0, 0, 0, 0, 0));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  char b[16];
  std::uint32_t n;
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 1, b, 8, &n, nullptr), 1004);
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 2, b, 16, &n, nullptr), 1004);
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 7, b, 16, &n, nullptr), -1517);
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 0, b, 16, &n, nullptr), -1517);
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 1, b, 4, &n, nullptr), 1004);  // NULL whatever the size
}

TEST_F(DataTest, ShortBuffersGetACutTerminatedValue) {
  std::uint32_t h = makeTable("S", {{"S", kString, 20}, {"I", kInteger, 4}});
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 1, text("hello world", 20));
  set(h, 2, i32(7));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  char b[8];
  std::memset(b, 'X', sizeof b);
  std::uint32_t n = 0;
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 1, b, 6, &n, nullptr), 1006);
  EXPECT_EQ(std::string(b), "hello");
  EXPECT_EQ(b[6], 'X');  // nothing written past the given size
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 2, b, 3, &n, nullptr), -1038);
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 2, nullptr, 4, &n, nullptr), -1003);
}

TEST_F(DataTest, DefaultsRequiredColumnsAndAutoIncrement) {
  std::uint32_t h = makeTable("A", {{"ID", kAutoInc, 4, 0, "0"},
                                    {"NAME", kString, 10, RCX_COL_REQUIRED, "none"},
                                    {"QTY", kInteger, 4, 0, "5"},
                                    {"CODE", kString, 4, RCX_COL_REQUIRED}});
  // The prepared insert shows the defaults.
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_INSERT), 0);
  EXPECT_EQ(getInt(h, 1), 0);
  EXPECT_EQ(getText(h, 2), "none");
  EXPECT_EQ(getInt(h, 3), 5);
  EXPECT_EQ(VoskUpdateRecord(ses, h), -1504);  // CODE is required and has no default
  EXPECT_NE(extText(-1504).find("CODE"), std::string::npos);
  set(h, 4, text("c1", 4));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(getInt(h, 1), 1);  // the cursor is on the new record
  for (int i = 2; i <= 3; ++i) {
    ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
    set(h, 4, text("c", 4));
    ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
    EXPECT_EQ(getInt(h, 1), i);
  }
  // A value given explicitly is kept; the counter moves past it; deleted values are not reused.
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 1, i32(10));
  set(h, 4, text("c", 4));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  ASSERT_EQ(VoskDeleteRecord(ses, h), 0);
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 4, text("c", 4));
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(getInt(h, 1), 11);
  // Column flags: auto-increment is read-only, every column updatable on a writable handle.
  RCX_COLUMNLIST list{};
  list.Struct = sizeof list;
  ASSERT_EQ(VoskGetTableColumnInfo(ses, h, &list), 0);
  std::vector<std::uint32_t> grbits;
  while (VoskMove(ses, list.TableId, grbits.empty() ? RCX_MoveFirst : RCX_MoveNext) == 0)
    grbits.push_back(std::uint32_t(getInt(list.TableId, list.ColumnIdgrBit)));
  VoskCloseTable(ses, list.TableId);
  EXPECT_EQ(grbits, (std::vector<std::uint32_t>{0x30, 0x24, 0x20, 0x24}));
}

TEST_F(DataTest, LongValuesInPiecesSizesAndTruncation) {
  std::uint32_t h = makeTable("B", {{"ID", kInteger, 4}, {"MEMO", kMemo, 0}, {"PIC", kBlob, 0}, {"SMALL", kBlob, 10}});
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 1, i32(1));
  std::string memo(250, 'm');
  memo[100] = 'X';
  // The cached-update path writes the whole value with a zero byte appended.
  std::string withZero = memo + '\0';
  ASSERT_EQ(VoskSetColumn(ses, h, 2, withZero.data(), std::uint32_t(withZero.size()), 0, 0, nullptr), 0);
  // The stream writes pieces at offsets.
  RCX_RETINFO at{8, 0};
  ASSERT_EQ(VoskSetColumn(ses, h, 3, "0123456789", 10, 1, 0, &at), 0);
  at.LongValue = 10;
  ASSERT_EQ(VoskSetColumn(ses, h, 3, "abcde", 5, 1, 0, &at), 0);
  EXPECT_EQ(VoskSetColumn(ses, h, 4, "0123456789ABCDE", 15, 0, 0, nullptr), 5203);
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);

  std::uint32_t size = 0;
  ASSERT_EQ(VoskGetBlobSize(h, 2, &size), 0);
  EXPECT_EQ(size, 250u);  // the appended zero byte ends the text
  std::uint32_t n = 0;
  ASSERT_EQ(VoskRetrieveColumn(ses, h, 3, nullptr, 0, &n, nullptr), 0);
  EXPECT_EQ(n, 15u);
  ASSERT_EQ(VoskGetBlobSize(h, 4, &size), 0);
  EXPECT_EQ(size, 10u);
  // Pieces of 100 bytes from position 0 give back the whole value; past the end nothing.
  std::string got;
  for (std::uint32_t pos = 0;; pos += 100) {
    char piece[100];
    RCX_RETINFO ri{8, pos};
    ASSERT_EQ(VoskRetrieveColumn(ses, h, 2, piece, 100, &n, &ri), 0);
    if (n == 0) break;
    got.append(piece, n);
  }
  EXPECT_EQ(got, memo);
  char small[5];
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 3, small, 5, &n, nullptr), 1006);  // whole value asked for, cut
  // Truncation acts on the prepared record; a value cut to 0 is NULL.
  EXPECT_EQ(VoskTruncateBlob(h, 3, 4), -1609);
  ASSERT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  ASSERT_EQ(VoskTruncateBlob(h, 3, 4), 0);
  EXPECT_EQ(VoskTruncateBlob(h, 3, 40), -1003);
  ASSERT_EQ(VoskTruncateBlob(h, 4, 0), 0);
  ASSERT_EQ(VoskGetBlobSize(h, 3, &size), 0);
  EXPECT_EQ(size, 4u);
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  char four[8];
  ASSERT_EQ(VoskRetrieveColumn(ses, h, 3, four, 8, &n, nullptr), 0);
  EXPECT_EQ(std::string(four, n), "0123");
  EXPECT_EQ(VoskRetrieveColumn(ses, h, 4, four, 8, &n, nullptr), 1004);
  EXPECT_EQ(VoskGetBlobSize(h, 1, &size), -1003);  // not a long value
}

TEST_F(DataTest, OemDatabasesStoreCp850AndReadUtf8) {
  std::uint32_t h = makeTable("O", {{"S", kString, 10}});
  VoskCloseTable(ses, h);
  std::uint32_t oemDb = 0;
  ASSERT_EQ(VoskOpenDatabase(ses, dbString("TESTDB").c_str(), &oemDb, RCX_OPEN_OEM, "", ""), 0);
  ASSERT_EQ(VoskOpenTable(ses, oemDb, "O", 0, 0, &h), 0);
  ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
  set(h, 1, text("caf\xC3\xA9", 10));  // café in UTF-8
  ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(getText(h, 1), "caf\xC3\xA9");
  EXPECT_EQ(raw("SELECT hex(S) FROM O"), "636166" "82");  // é is 0x82 in CP850
}

}  // namespace
}  // namespace rcxtest
