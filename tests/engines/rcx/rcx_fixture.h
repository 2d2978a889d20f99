// Shared set-up for the record manager's tests: a private engine home with one named database,
// a session on it, and small helpers that build tables and move values through the C interface.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/rcx/rcx.h"
#include "engines/store/dbnames.h"

namespace rcxtest {

// Column types as the table component creates them (native type << 8 | class).
inline constexpr std::uint32_t kString = 0x0B68;   // variable text
inline constexpr std::uint32_t kFixed = 0x000A;    // fixed text
inline constexpr std::uint32_t kSmallint = 0x0103;
inline constexpr std::uint32_t kInteger = 0x0104;
inline constexpr std::uint32_t kWord = 0x0E03;
inline constexpr std::uint32_t kBoolean = 0x0701;
inline constexpr std::uint32_t kFloat = 0x0207;
inline constexpr std::uint32_t kSingle = 0x0206;
inline constexpr std::uint32_t kCurrency = 0x1367;
inline constexpr std::uint32_t kBcd = 0x0867;
inline constexpr std::uint32_t kDate = 0x0365;
inline constexpr std::uint32_t kTime = 0x0466;
inline constexpr std::uint32_t kDateTime = 0x1408;
inline constexpr std::uint32_t kBytes = 0x0009;
inline constexpr std::uint32_t kVarBytes = 0x0A6A;
inline constexpr std::uint32_t kAutoInc = 0x0F04;
inline constexpr std::uint32_t kBlob = 0x150B;
inline constexpr std::uint32_t kMemo = 0x150C;
inline constexpr std::uint32_t kLargeint = 0x0167;

struct Col {
  const char* name;
  std::uint32_t coltyp;
  std::uint32_t max;
  std::uint32_t grbit = 0;
  const char* def = nullptr;
  std::int16_t precision = 0;
  std::int16_t scale = 0;
};

struct Idx {
  const char* name;
  std::uint32_t flags;
  std::vector<std::string> fields;  // "-NAME" for descending
};

// The key specification VoskCreateIndex takes: {sign, name, 0}... 0.
inline std::string keySpec(const std::vector<std::string>& fields) {
  std::string s;
  for (const auto& f : fields) {
    if (f[0] == '-') s += f;
    else s += "+" + f;
    s += '\0';
  }
  s += '\0';
  return s;
}

class TempHome {
 public:
  TempHome() {
    char tmpl[] = "/tmp/rcx-test-XXXXXX";
    dir_ = mkdtemp(tmpl);
    setenv("KX_ENGINE_HOME", dir_.c_str(), 1);
  }
  ~TempHome() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

inline std::uint32_t le32(const void* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

class RcxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    addDatabase("TESTDB");
    ASSERT_EQ(VoskBeginSession(&ses, "", "", ""), 0);
    ASSERT_EQ(VoskOpenDatabase(ses, dbString("TESTDB").c_str(), &db, 0, "", ""), 0);
  }
  void TearDown() override {
    if (ses) VoskEndSession(ses);
  }

  static std::string dbString(const std::string& name) { return "localhost\t" + name; }

  void addDatabase(const std::string& name) {
    TSqlDbFlags flags = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(SQLAddDatabaseName2(name.c_str(), flags, 1, "", 1, "", 0, "", ""), 0);
  }

  std::string fileOf(const std::string& name) const {
    kxstore::ResolvedDb r;
    EXPECT_EQ(kxstore::resolveDatabase(home.dir(), name, r, false), kxstore::DbStatus::ok);
    return r.file;
  }

  // Creates a table with the table component's call sequence and returns it opened (mode 0).
  std::uint32_t makeTable(const char* name, const std::vector<Col>& cols, const std::vector<Idx>& idx = {},
                          std::uint32_t session = 0, std::uint32_t database = 0) {
    std::uint32_t s = session ? session : ses, d = database ? database : db;
    std::uint32_t h = 0;
    EXPECT_EQ(VoskCreateTable(s, d, name, &h), 0);
    for (const auto& c : cols) {
      RCX_COLUMNDEF def{};
      def.Struct = sizeof def;
      def.coltyp = c.coltyp;
      def.Max = c.max;
      def.Precision = c.precision;
      def.Scale = c.scale;
      def.grbit = c.grbit;
      def.pDefault = c.def;
      std::uint32_t id = 0;
      EXPECT_EQ(VoskCreateColumn(s, h, c.name, &def, &id), 0) << c.name;
    }
    EXPECT_EQ(VoskCloseTable(s, h), 0);
    EXPECT_EQ(VoskOpenTable(s, d, name, 0, 0, &h), 0);
    for (const auto& i : idx) {
      std::string spec = keySpec(i.fields);
      EXPECT_EQ(VoskCreateIndex(s, h, i.name, i.flags, spec.data(), std::int32_t(spec.size()), 0), 0) << i.name;
    }
    return h;
  }

  // ---- Values in interface format ----
  static std::string i16(int v) {
    std::string s(2, '\0');
    std::int16_t x = std::int16_t(v);
    std::memcpy(s.data(), &x, 2);
    return s;
  }
  static std::string i32(std::int32_t v) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
  }
  static std::string f64(double v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
  }
  static std::string text(const std::string& t, size_t size) {
    std::string s = t;
    s.resize(size, '\0');
    return s;
  }
  static std::string date(int y, int m, int d) {
    RCX_DATE x{std::int16_t(y), std::uint16_t(m), std::uint16_t(d)};
    return std::string(reinterpret_cast<char*>(&x), sizeof x);
  }

  void set(std::uint32_t h, std::uint32_t col, const std::string& bytes, std::uint32_t session = 0) {
    EXPECT_EQ(VoskSetColumn(session ? session : ses, h, col, bytes.data(), std::uint32_t(bytes.size()), 0, 0, nullptr), 0)
        << "column " << col;
  }
  void setNull(std::uint32_t h, std::uint32_t col) { EXPECT_EQ(VoskSetColumn(ses, h, col, nullptr, 0, 0, 1, nullptr), 0); }

  // Inserts a record of (int, text) values into columns 1 and 2.
  std::int32_t insertIntText(std::uint32_t h, std::int32_t n, const std::string& t, size_t textSize = 30) {
    std::int32_t r = VoskInitUpdate(ses, h, RCX_INIT_INSERT);
    if (r) return r;
    set(h, 1, i32(n));
    set(h, 2, text(t, textSize));
    return VoskUpdateRecord(ses, h);
  }

  std::int32_t getInt(std::uint32_t h, std::uint32_t col, std::int32_t* status = nullptr) {
    unsigned char b[16] = {};
    std::uint32_t n = 0;
    std::int32_t r = VoskRetrieveColumn(ses, h, col, b, 4, &n, nullptr);
    if (status) *status = r;
    else EXPECT_EQ(r, 0);
    std::int32_t v;
    std::memcpy(&v, b, 4);
    return v;
  }
  std::string getText(std::uint32_t h, std::uint32_t col, std::uint32_t size = 64, std::int32_t* status = nullptr) {
    std::vector<char> b(size + 1, 'X');
    std::uint32_t n = 0;
    std::int32_t r = VoskRetrieveColumn(ses, h, col, b.data(), size, &n, nullptr);
    if (status) *status = r;
    else EXPECT_EQ(r, 0);
    if (r != 0) return "<" + std::to_string(r) + ">";
    return std::string(b.data(), strnlen(b.data(), n + 1));
  }
  std::int32_t bookmarkOf(std::uint32_t h) {
    unsigned char b[4];
    std::int32_t len = 0;
    EXPECT_EQ(VoskGetBookmark(ses, h, b, 4, &len), 0);
    return std::int32_t(le32(b));
  }
  std::int32_t gotoBookmark(std::uint32_t h, std::int32_t b) { return VoskGotoBookmark(ses, h, &b, 4); }

  // Walks the cursor in a direction and collects column `col` as integers.
  std::vector<std::int32_t> walkInts(std::uint32_t h, std::uint32_t col, bool forward = true) {
    std::vector<std::int32_t> out;
    std::uint32_t code = forward ? RCX_MoveFirst : RCX_MoveLast;
    std::int32_t r;
    while ((r = VoskMove(ses, h, code)) == 0) {
      out.push_back(getInt(h, col));
      code = forward ? RCX_MoveNext : RCX_MovePrev;
    }
    EXPECT_EQ(r, -1603);
    return out;
  }
  std::vector<std::string> walkTexts(std::uint32_t h, std::uint32_t col, bool forward = true) {
    std::vector<std::string> out;
    std::uint32_t code = forward ? RCX_MoveFirst : RCX_MoveLast;
    std::int32_t r;
    while ((r = VoskMove(ses, h, code)) == 0) {
      out.push_back(getText(h, col));
      code = forward ? RCX_MoveNext : RCX_MovePrev;
    }
    EXPECT_EQ(r, -1603);
    return out;
  }

  std::string extText(std::int32_t code, std::uint32_t session = 0) {
    char buf[5120];
    std::uint32_t len = 0;
    VoskGetExtErrStr(session ? session : ses, code, buf, sizeof buf, &len);
    return buf;
  }

  TempHome home;
  std::uint32_t ses = 0;
  std::uint32_t db = 0;
};

}  // namespace rcxtest
