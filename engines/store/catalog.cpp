#include "engines/store/catalog.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <random>
#include <tuple>

namespace kxstore {

namespace {

// ---- Small SQLite helpers --------------------------------------------------------------------

class Stmt {
 public:
  Stmt(sqlite3* db, std::string_view sql) {
    rc_ = sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &s_, nullptr);
  }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  int rc() const { return rc_; }
  sqlite3_stmt* get() const { return s_; }
  Stmt& bind(int i, std::string_view v) {
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_text(s_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& bind(int i, std::int64_t v) {
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Stmt& bindNull(int i) {
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_null(s_, i);
    return *this;
  }
  Stmt& bindOpt(int i, const std::optional<std::string>& v) {
    return v ? bind(i, std::string_view(*v)) : bindNull(i);
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int step() {
    if (rc_ != SQLITE_OK && rc_ != SQLITE_ROW && rc_ != SQLITE_DONE) return rc_;
    rc_ = sqlite3_step(s_);
    return rc_;
  }
  // Runs to completion: SQLITE_OK or the error.
  int exec() {
    int r = step();
    while (r == SQLITE_ROW) r = step();
    return r == SQLITE_DONE ? SQLITE_OK : r;
  }
  std::string text(int col) const {
    const unsigned char* t = sqlite3_column_text(s_, col);
    return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(s_, col)))
             : std::string();
  }
  std::optional<std::string> optText(int col) const {
    if (sqlite3_column_type(s_, col) == SQLITE_NULL) return std::nullopt;
    return text(col);
  }
  std::int64_t i64(int col) const { return sqlite3_column_int64(s_, col); }
  bool isNull(int col) const { return sqlite3_column_type(s_, col) == SQLITE_NULL; }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_ = SQLITE_OK;
};

int execSql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// A savepoint that rolls back unless released.
class Savepoint {
 public:
  explicit Savepoint(sqlite3* db) : db_(db) { rc_ = execSql(db, "SAVEPOINT kx_catalogue"); }
  ~Savepoint() {
    if (rc_ == SQLITE_OK && !done_) {
      execSql(db_, "ROLLBACK TO kx_catalogue");
      execSql(db_, "RELEASE kx_catalogue");
    }
  }
  int rc() const { return rc_; }
  int release() {
    done_ = true;
    return execSql(db_, "RELEASE kx_catalogue");
  }

 private:
  sqlite3* db_;
  int rc_;
  bool done_ = false;
};

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

bool equalNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

const char* const kCatalogueDdl[] = {
    "CREATE TABLE IF NOT EXISTS kx_meta(key TEXT PRIMARY KEY, value TEXT)",
    "CREATE TABLE IF NOT EXISTS kx_tables(table_id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE COLLATE NOCASE, owner TEXT NOT NULL DEFAULT '',"
    " access_mode INTEGER NOT NULL DEFAULT 0, flags INTEGER NOT NULL DEFAULT 0,"
    " secured INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS kx_columns(table_id INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE, column_no INTEGER NOT NULL, class INTEGER NOT NULL,"
    " native INTEGER NOT NULL, size INTEGER NOT NULL, precision INTEGER NOT NULL DEFAULT 0,"
    " scale INTEGER NOT NULL DEFAULT 0, flags INTEGER NOT NULL DEFAULT 0, default_value TEXT,"
    " collation TEXT, autoinc_last INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(table_id, name))",
    "CREATE TABLE IF NOT EXISTS kx_indexes(table_id INTEGER NOT NULL,"
    " sql_name TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    " index_no INTEGER NOT NULL, flags INTEGER NOT NULL, PRIMARY KEY(table_id, sql_name))",
    "CREATE TABLE IF NOT EXISTS kx_index_segments(table_id INTEGER NOT NULL,"
    " sql_name TEXT NOT NULL COLLATE NOCASE, segment_no INTEGER NOT NULL,"
    " column_name TEXT NOT NULL, flags INTEGER NOT NULL,"
    " PRIMARY KEY(table_id, sql_name, segment_no))",
    "CREATE TABLE IF NOT EXISTS kx_procedures(proc_id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE COLLATE NOCASE, proc_type INTEGER NOT NULL DEFAULT 1,"
    " definition TEXT NOT NULL DEFAULT '', body TEXT NOT NULL DEFAULT '', remarks TEXT,"
    " created TEXT)",
    "CREATE TABLE IF NOT EXISTS kx_procedure_params(proc_id INTEGER NOT NULL,"
    " param_no INTEGER NOT NULL, name TEXT NOT NULL, direction INTEGER NOT NULL,"
    " sql_type INTEGER NOT NULL, type_name TEXT NOT NULL DEFAULT '', column_size INTEGER,"
    " decimal_digits INTEGER, nullable INTEGER NOT NULL DEFAULT 1,"
    " PRIMARY KEY(proc_id, param_no))",
    "CREATE TABLE IF NOT EXISTS kx_users(name TEXT PRIMARY KEY COLLATE NOCASE, salt TEXT NOT NULL,"
    " hash TEXT NOT NULL, rights INTEGER NOT NULL DEFAULT 0)",
    "INSERT OR IGNORE INTO kx_meta(key, value) VALUES('catalogue', '1')",
};

// ---- UTF-8 case folding for KX_NOCASE --------------------------------------------------------

// Decodes one code point; invalid bytes become 0x110000 + byte, ordered after every code point.
std::uint32_t nextCodePoint(const unsigned char*& p, const unsigned char* end) {
  unsigned char c = *p;
  if (c < 0x80) {
    ++p;
    return c;
  }
  int n = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
  if (n < 0 || end - p <= n) {
    ++p;
    return 0x110000u + c;
  }
  std::uint32_t cp = c & (0x3F >> n);
  for (int i = 1; i <= n; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      ++p;
      return 0x110000u + c;
    }
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  static const std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++p;
    return 0x110000u + c;
  }
  p += n + 1;
  return cp;
}

// Simple case folding for the scripts users of an 8-bit-era engine write in.
std::uint32_t foldCase(std::uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return 's';
    bool pairEven = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool pairOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (pairEven && c % 2 == 0) return c + 1;
    if (pairOdd && c % 2 == 1) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

int noCaseCollation(void*, int na, const void* a, int nb, const void* b) {
  return compareNoCase(std::string_view(static_cast<const char*>(a), size_t(na)),
                       std::string_view(static_cast<const char*>(b), size_t(nb)));
}

// ---- SHA-256 (password hashes) -------------------------------------------------------------------

class Sha256 {
 public:
  Sha256() { reset(); }
  void reset() {
    h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    len_ = 0;
    used_ = 0;
  }
  void update(const void* data, size_t n) {
    auto p = static_cast<const unsigned char*>(data);
    len_ += n;
    while (n > 0) {
      size_t take = std::min(n, size_t(64) - used_);
      std::memcpy(buf_.data() + used_, p, take);
      used_ += take;
      p += take;
      n -= take;
      if (used_ == 64) {
        block(buf_.data());
        used_ = 0;
      }
    }
  }
  std::array<unsigned char, 32> finish() {
    std::uint64_t bits = len_ * 8;
    unsigned char pad = 0x80;
    update(&pad, 1);
    unsigned char zero = 0;
    while (used_ != 56) update(&zero, 1);
    unsigned char lenBytes[8];
    for (int i = 0; i < 8; ++i) lenBytes[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    update(lenBytes, 8);
    std::array<unsigned char, 32> out{};
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 4; ++j) out[size_t(i * 4 + j)] = static_cast<unsigned char>(h_[size_t(i)] >> (24 - 8 * j));
    return out;
  }

 private:
  static std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void block(const unsigned char* p) {
    static const std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (std::uint32_t(p[4 * i]) << 24) | (std::uint32_t(p[4 * i + 1]) << 16) |
             (std::uint32_t(p[4 * i + 2]) << 8) | std::uint32_t(p[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
      std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t S1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
      std::uint32_t ch = (e & f) ^ (~e & g);
      std::uint32_t t1 = h + S1 + ch + k[i] + w[i];
      std::uint32_t S0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
      std::uint32_t mj = (a & b) ^ (a & c) ^ (b & c);
      std::uint32_t t2 = S0 + mj;
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h_[0] += a; h_[1] += b; h_[2] += c; h_[3] += d; h_[4] += e; h_[5] += f; h_[6] += g; h_[7] += h;
  }

  std::array<std::uint32_t, 8> h_{};
  std::array<unsigned char, 64> buf_{};
  std::uint64_t len_ = 0;
  size_t used_ = 0;
};

std::string toHex(const unsigned char* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

std::string passwordHash(std::string_view salt, std::string_view password) {
  Sha256 sha;
  sha.update(salt.data(), salt.size());
  sha.update(password.data(), password.size());
  auto d = sha.finish();
  // Iterated so that a stolen file does not give the passwords away cheaply.
  for (int i = 0; i < 4096; ++i) {
    sha.reset();
    sha.update(d.data(), d.size());
    sha.update(password.data(), password.size());
    d = sha.finish();
  }
  return toHex(d.data(), d.size());
}

std::string newSalt() {
  std::random_device rd;
  unsigned char b[16];
  for (auto& x : b) x = static_cast<unsigned char>(rd());
  return toHex(b, sizeof b);
}

bool constantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// ---- Declared types --------------------------------------------------------------------------

// Reads "(p)" or "(p,s)" after a type name.
void parseSizes(std::string_view decl, int& a, int& b, bool& hasA, bool& hasB) {
  hasA = hasB = false;
  size_t open = decl.find('(');
  if (open == std::string_view::npos) return;
  size_t i = open + 1;
  auto readNum = [&](int& out) {
    while (i < decl.size() && decl[i] == ' ') ++i;
    size_t start = i;
    long v = 0;
    while (i < decl.size() && std::isdigit(static_cast<unsigned char>(decl[i])) && v < 100000000) {
      v = v * 10 + (decl[i] - '0');
      ++i;
    }
    if (i == start) return false;
    out = int(v);
    while (i < decl.size() && decl[i] == ' ') ++i;
    return true;
  };
  if (!readNum(a)) return;
  hasA = true;
  if (i < decl.size() && decl[i] == ',') {
    ++i;
    if (readNum(b)) hasB = true;
  }
}

bool contains(const std::string& hay, const char* needle) { return hay.find(needle) != std::string::npos; }

std::string sqlLiteralDefault(const ColumnDef& c) {
  const std::string& v = *c.defaultValue;
  bool numeric = c.colClass == kClassBit || c.colClass == kClassTinyInt || c.colClass == kClassSmallInt ||
                 c.colClass == kClassInteger || c.colClass == kClassCurrency || c.colClass == kClassSingle ||
                 c.colClass == kClassDouble || c.colClass == kClassExactNumeric;
  if (numeric && !v.empty()) {
    char* end = nullptr;
    std::strtod(v.c_str(), &end);
    if (end && *end == '\0') return v;
  }
  std::string r = "'";
  for (char ch : v) {
    if (ch == '\'') r += '\'';
    r += ch;
  }
  return r + "'";
}

std::string columnSql(const ColumnDef& c, bool forAlter) {
  std::string s = quoteIdent(c.name) + " " + (c.declaredType.empty() ? declaredTypeFor(c) : c.declaredType);
  bool hasDefault = c.defaultValue.has_value() && c.native != kNativeAutoInc;
  // SQLite cannot add a NOT NULL column without a default to a table that may hold rows; the
  // record manager still enforces the flag itself.
  if ((c.flags & kColumnRequired) && (!forAlter || hasDefault)) s += " NOT NULL";
  if (hasDefault) s += " DEFAULT " + sqlLiteralDefault(c);
  return s;
}

int physicalTableName(sqlite3* db, std::string_view name, std::string& out) {
  Stmt q(db, "SELECT name FROM sqlite_schema WHERE type='table' AND name=?1 COLLATE NOCASE");
  q.bind(1, name);
  int r = q.step();
  if (r == SQLITE_ROW) {
    out = q.text(0);
    return SQLITE_OK;
  }
  return r == SQLITE_DONE ? SQLITE_NOTFOUND : r;
}

int catalogueTableId(sqlite3* db, std::string_view name, std::int64_t& id) {
  id = 0;
  if (!hasCatalogue(db)) return SQLITE_OK;
  Stmt q(db, "SELECT table_id FROM kx_tables WHERE name=?1");
  q.bind(1, name);
  int r = q.step();
  if (r == SQLITE_ROW) id = q.i64(0);
  return (r == SQLITE_ROW || r == SQLITE_DONE) ? SQLITE_OK : r;
}

// The catalogue row of a table, made when missing (tables created by SQL get one on first use).
int adoptTable(sqlite3* db, std::string_view name, std::int64_t& id) {
  int r = catalogueTableId(db, name, id);
  if (r != SQLITE_OK || id != 0) return r;
  Stmt ins(db, "INSERT INTO kx_tables(name) VALUES(?1)");
  ins.bind(1, name);
  r = ins.exec();
  if (r == SQLITE_OK) id = sqlite3_last_insert_rowid(db);
  return r;
}

int deleteCatalogueRows(sqlite3* db, std::int64_t id) {
  static const char* const sql[] = {
      "DELETE FROM kx_columns WHERE table_id=?1", "DELETE FROM kx_indexes WHERE table_id=?1",
      "DELETE FROM kx_index_segments WHERE table_id=?1", "DELETE FROM kx_tables WHERE table_id=?1"};
  for (const char* s : sql) {
    Stmt d(db, s);
    d.bind(1, id);
    int r = d.exec();
    if (r != SQLITE_OK) return r;
  }
  return SQLITE_OK;
}

int insertColumnRow(sqlite3* db, std::int64_t tableId, const ColumnDef& c) {
  Stmt ins(db,
           "INSERT OR REPLACE INTO kx_columns(table_id, name, column_no, class, native, size, precision,"
           " scale, flags, default_value, collation) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11)");
  ins.bind(1, tableId).bind(2, c.name).bind(3, std::int64_t(c.columnNo)).bind(4, std::int64_t(c.colClass));
  ins.bind(5, std::int64_t(c.native)).bind(6, std::int64_t(c.size)).bind(7, std::int64_t(c.precision));
  ins.bind(8, std::int64_t(c.scale)).bind(9, std::int64_t(c.flags)).bindOpt(10, c.defaultValue);
  ins.bindOpt(11, c.collation);
  return ins.exec();
}

bool validName(std::string_view n) {
  if (n.empty() || n.size() > 128) return false;
  for (unsigned char ch : n)
    if (ch < 0x20) return false;
  return true;
}

}  // namespace

// ---- Public: text ------------------------------------------------------------------------------

int compareNoCase(std::string_view a, std::string_view b) {
  auto pa = reinterpret_cast<const unsigned char*>(a.data());
  auto ea = pa + a.size();
  auto pb = reinterpret_cast<const unsigned char*>(b.data());
  auto eb = pb + b.size();
  while (pa < ea && pb < eb) {
    // Fast path for ASCII.
    if (*pa < 0x80 && *pb < 0x80) {
      unsigned ca = *pa, cb = *pb;
      if (ca >= 'A' && ca <= 'Z') ca += 32;
      if (cb >= 'A' && cb <= 'Z') cb += 32;
      if (ca != cb) return ca < cb ? -1 : 1;
      ++pa;
      ++pb;
      continue;
    }
    std::uint32_t ca = foldCase(nextCodePoint(pa, ea));
    std::uint32_t cb = foldCase(nextCodePoint(pb, eb));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (pa < ea) return 1;
  if (pb < eb) return -1;
  return 0;
}

std::string quoteIdent(std::string_view name) {
  std::string r = "\"";
  for (char c : name) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

const ColumnDef* TableDef::findColumn(std::string_view n) const {
  for (const auto& c : columns)
    if (equalNoCaseAscii(c.name, n)) return &c;
  return nullptr;
}

bool isCatalogueTable(std::string_view name) {
  return name.size() > 3 && equalNoCaseAscii(name.substr(0, 3), "kx_");
}

// ---- Public: set-up ----------------------------------------------------------------------------

int installExtensions(sqlite3* db) {
  return sqlite3_create_collation_v2(db, kNoCaseCollation, SQLITE_UTF8, nullptr, noCaseCollation, nullptr);
}

bool hasCatalogue(sqlite3* db) {
  Stmt q(db, "SELECT 1 FROM sqlite_schema WHERE type='table' AND name='kx_users'");
  return q.step() == SQLITE_ROW;
}

int ensureCatalogue(sqlite3* db) {
  if (hasCatalogue(db)) return SQLITE_OK;
  if (sqlite3_db_readonly(db, "main") == 1) return SQLITE_READONLY;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  for (const char* sql : kCatalogueDdl) {
    int r = execSql(db, sql);
    if (r != SQLITE_OK) return r;
  }
  return sp.release();
}

// ---- Public: types -----------------------------------------------------------------------------

void deriveColumn(std::string_view declared, ColumnDef& c) {
  std::string d = upper(declared);
  int a = 0, b = 0;
  bool hasA = false, hasB = false;
  parseSizes(d, a, b, hasA, hasB);
  std::string base = d.substr(0, d.find('('));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  c.precision = 0;
  c.scale = 0;
  auto set = [&](int cls, int native, std::uint32_t size) {
    c.colClass = cls;
    c.native = native;
    c.size = size;
  };
  bool isUnsigned = contains(d, "UNSIGNED") || (!base.empty() && base[0] == 'U' && contains(base, "INT"));
  bool autoInc = contains(d, "AUTOINC") || contains(d, "IDENTITY");
  if (autoInc && contains(d, "SMALL")) {
    set(kClassSmallInt, kNativeAutoInc, 2);
  } else if (autoInc) {
    set(kClassInteger, kNativeAutoInc, 4);
  } else if (base == "BIT" || base == "BOOL" || base == "BOOLEAN" || base == "LOGICAL") {
    set(kClassBit, kNativeBit, 1);
  } else if (contains(base, "TINYINT")) {
    set(kClassTinyInt, isUnsigned ? kNativeUnsigned : kNativeSigned, 1);
  } else if (contains(base, "SMALLINT")) {
    set(kClassSmallInt, isUnsigned ? kNativeUnsigned : kNativeSigned, 2);
  } else if (contains(base, "BIGINT") || base == "INT8" || base == "LARGEINT") {
    set(kClassExactNumeric, kNativeSigned, 38);
    c.precision = 19;
  } else if (contains(base, "INT")) {
    set(kClassInteger, isUnsigned ? kNativeUnsigned : kNativeSigned, 4);
  } else if (base == "MONEY" || base == "CURRENCY" || base == "SMALLMONEY") {
    set(kClassExactNumeric, kNativeCurrency, 38);
    c.precision = 19;
    c.scale = 4;
  } else if (base == "DECIMAL" || base == "NUMERIC" || base == "DEC" || base == "NUMBER") {
    set(kClassExactNumeric, base == "NUMERIC" ? kNativeNumeric : kNativeDecimal, 38);
    c.precision = hasA ? std::clamp(a, 1, 64) : 18;
    c.scale = hasB ? std::clamp(b, 0, c.precision) : 0;
  } else if (base == "REAL" || base == "FLOAT4" || base == "SINGLE") {
    set(kClassSingle, kNativeFloat, 4);
    c.precision = 7;
  } else if (contains(base, "DOUB") || contains(base, "FLOA")) {
    set(kClassDouble, kNativeFloat, 8);
    c.precision = 15;
  } else if (base == "DATE") {
    set(kClassDate, kNativeDate, 6);
  } else if (base == "TIME") {
    set(kClassTime, kNativeTime, 6);
  } else if (base == "DATETIME" || base == "TIMESTAMP" || base == "SMALLDATETIME") {
    set(kClassTimestamp, kNativeTimestamp, 16);
  } else if (base == "NOTE") {
    set(kClassLongText, kNativeNote, 0x7FFFFFFF);
  } else if (contains(base, "VARBINARY") || base == "BINARY VARYING") {
    set(kClassVarBinary, kNativeVarBinary, std::uint32_t(hasA ? std::clamp(a, 1, 65535) : 255));
  } else if (base == "BINARY") {
    set(kClassBinary, kNativeNone, std::uint32_t(hasA ? std::clamp(a, 1, 65535) : 1));
  } else if (contains(base, "LONGVARCHAR") || contains(base, "CLOB") || base == "TEXT" || base == "MEMO" ||
             base == "LONG VARCHAR" || base == "NTEXT") {
    set(kClassLongText, kNativeBlob, 0x7FFFFFFF);
  } else if ((contains(base, "VARCHAR") || contains(base, "VARYING") || base == "VARCHAR2")) {
    set(kClassVarText, kNativeString, std::uint32_t(hasA ? std::clamp(a, 1, 65535) : 255));
  } else if (contains(base, "CHAR")) {
    set(kClassFixedText, kNativeNone, std::uint32_t(hasA ? std::clamp(a, 1, 65535) : 1));
  } else if (contains(base, "BLOB") || contains(base, "LONGVARBINARY") || base == "IMAGE" || base == "BYTEA") {
    set(kClassLongBinary, kNativeBlob, 0x7FFFFFFF);
  } else if (base.empty()) {
    set(kClassVarText, kNativeString, 255);
  } else if (contains(base, "TEXT")) {
    set(kClassLongText, kNativeBlob, 0x7FFFFFFF);
  } else {
    // SQLite gives any other name numeric affinity.
    set(kClassExactNumeric, kNativeNumeric, 38);
    c.precision = hasA ? std::clamp(a, 1, 64) : 18;
    c.scale = hasB ? std::clamp(b, 0, c.precision) : 0;
  }
  c.declaredType = std::string(declared);
}

std::string declaredTypeFor(const ColumnDef& c) {
  bool u = c.native == kNativeUnsigned;
  bool ai = c.native == kNativeAutoInc;
  switch (c.colClass) {
    case kClassBit: return "BIT";
    case kClassTinyInt: return u ? "TINYINT UNSIGNED" : "TINYINT";
    case kClassSmallInt: return ai ? "SMALLINT AUTOINC" : u ? "SMALLINT UNSIGNED" : "SMALLINT";
    case kClassInteger: return ai ? "INTEGER AUTOINC" : u ? "INTEGER UNSIGNED" : "INTEGER";
    case kClassCurrency: return "CURRENCY";
    case kClassSingle: return "REAL";
    case kClassDouble: return "DOUBLE";
    case kClassTimestamp: return "TIMESTAMP";
    case kClassDate: return "DATE";
    case kClassTime: return "TIME";
    case kClassExactNumeric:
      if (c.native == kNativeCurrency) return "MONEY";
      if (c.precision == 19 && c.scale == 0 && c.native == kNativeSigned) return "BIGINT";
      return (c.native == kNativeNumeric ? "NUMERIC(" : "DECIMAL(") + std::to_string(c.precision) + "," +
             std::to_string(c.scale) + ")";
    case kClassBinary: return "BINARY(" + std::to_string(c.size) + ")";
    case kClassFixedText: return "CHAR(" + std::to_string(c.size) + ")";
    case kClassVarText: return "VARCHAR(" + std::to_string(c.size) + ")";
    case kClassVarBinary: return "VARBINARY(" + std::to_string(c.size) + ")";
    case kClassLongBinary: return "BLOB";
    case kClassLongText: return c.native == kNativeNote ? "NOTE" : "LONGVARCHAR";
    default: return "BINARY(" + std::to_string(c.size) + ")";
  }
}

bool normaliseColumn(ColumnDef& c) {
  switch (c.colClass) {
    case kClassBit:
    case kClassTinyInt: c.size = 1; break;
    case kClassSmallInt: c.size = 2; break;
    case kClassInteger:
    case kClassSingle: c.size = 4; break;
    case kClassCurrency:
    case kClassDouble: c.size = 8; break;
    case kClassTimestamp: c.size = 16; break;
    case kClassDate:
    case kClassTime: c.size = 6; break;
    case kClassExactNumeric:
      // Created with the precision as size; the interface record is 38 bytes.
      if (c.precision <= 0) c.precision = c.size > 0 && c.size <= 64 ? int(c.size) : 18;
      if (c.precision > 64) return false;
      if (c.scale < 0 || c.scale > c.precision) return false;
      c.size = 38;
      break;
    case kClassBinary:
    case kClassFixedText:
    case kClassVarText:
      if (c.size == 0 || c.size > 65535) return false;
      break;
    case kClassVarBinary:
      // Two bytes of the interface value hold the length.
      if (c.size < 3 || c.size > 65537) return false;
      break;
    case kClassLongBinary:
    case kClassLongText:
      if (c.size == 0) c.size = 0x7FFFFFFF;
      break;
    default: return false;
  }
  if (c.colClass == kClassSingle && c.precision == 0) c.precision = 7;
  if (c.colClass == kClassDouble && c.precision == 0) c.precision = 15;
  return true;
}

// ---- Public: reading ---------------------------------------------------------------------------

int listTables(sqlite3* db, std::vector<TableEntry>& out) {
  out.clear();
  Stmt q(db,
         "SELECT name FROM sqlite_schema WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
         " ORDER BY name COLLATE NOCASE");
  int r;
  while ((r = q.step()) == SQLITE_ROW) {
    TableEntry e;
    e.name = q.text(0);
    e.flags = isCatalogueTable(e.name) ? kTableSystem : 0;
    out.push_back(std::move(e));
  }
  return r == SQLITE_DONE ? SQLITE_OK : r;
}

int readTable(sqlite3* db, std::string_view name, TableDef& out) {
  out = TableDef{};
  int r = physicalTableName(db, name, out.name);
  if (r != SQLITE_OK) return r;
  {
    Stmt q(db, "SELECT wr FROM pragma_table_list WHERE schema='main' AND name=?1");
    q.bind(1, out.name);
    r = q.step();
    if (r == SQLITE_ROW) out.withoutRowid = q.i64(0) != 0;
    else if (r != SQLITE_DONE) return r;
  }
  const bool cat = hasCatalogue(db);
  if (cat) {
    Stmt q(db, "SELECT table_id, owner, access_mode, flags, secured FROM kx_tables WHERE name=?1");
    q.bind(1, out.name);
    r = q.step();
    if (r == SQLITE_ROW) {
      out.tableId = q.i64(0);
      out.owner = q.text(1);
      out.accessMode = std::uint32_t(q.i64(2));
      out.flags = std::uint32_t(q.i64(3));
      out.secured = q.i64(4) != 0;
      out.inCatalogue = true;
    } else if (r != SQLITE_DONE) {
      return r;
    }
  }
  if (isCatalogueTable(out.name)) out.flags |= kTableSystem;

  // Columns: physical order; catalogue attributes where a row matches the name.
  int pkCount = 0;
  int pkColumn = 0;
  std::string pkType;
  {
    Stmt q(db, "SELECT cid, name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1)");
    q.bind(1, out.name);
    while ((r = q.step()) == SQLITE_ROW) {
      ColumnDef c;
      c.columnNo = int(q.i64(0)) + 1;
      c.name = q.text(1);
      deriveColumn(q.text(2), c);
      if (q.i64(3)) c.flags |= kColumnRequired;
      if (!q.isNull(4)) {
        std::string d = q.text(4);
        // Declared defaults are SQL literals; keep the value of a quoted text.
        if (d.size() >= 2 && d.front() == '\'' && d.back() == '\'') {
          std::string v;
          for (size_t i = 1; i + 1 < d.size(); ++i) {
            v += d[i];
            if (d[i] == '\'' && i + 2 < d.size() && d[i + 1] == '\'') ++i;
          }
          d = v;
        }
        if (upper(d) != "NULL") c.defaultValue = d;
      }
      if (q.i64(5) > 0) {
        ++pkCount;
        pkColumn = c.columnNo;
        pkType = upper(q.text(2));
      }
      out.columns.push_back(std::move(c));
    }
    if (r != SQLITE_DONE) return r;
  }
  if (out.tableId != 0) {
    Stmt q(db,
           "SELECT name, class, native, size, precision, scale, flags, default_value, collation"
           " FROM kx_columns WHERE table_id=?1");
    q.bind(1, out.tableId);
    while ((r = q.step()) == SQLITE_ROW) {
      std::string n = q.text(0);
      for (auto& c : out.columns) {
        if (!equalNoCaseAscii(c.name, n)) continue;
        c.colClass = int(q.i64(1));
        c.native = int(q.i64(2));
        c.size = std::uint32_t(q.i64(3));
        c.precision = int(q.i64(4));
        c.scale = int(q.i64(5));
        c.flags = std::uint32_t(q.i64(6));
        c.defaultValue = q.optText(7);
        c.collation = q.optText(8);
        c.inCatalogue = true;
        break;
      }
    }
    if (r != SQLITE_DONE) return r;
  }

  // Indexes.
  struct Cat {
    std::string name;
    std::int64_t no;
    std::uint32_t flags;
  };
  std::vector<std::pair<std::string, Cat>> catIdx;  // by sql name
  if (out.tableId != 0) {
    Stmt q(db, "SELECT sql_name, name, index_no, flags FROM kx_indexes WHERE table_id=?1");
    q.bind(1, out.tableId);
    while ((r = q.step()) == SQLITE_ROW)
      catIdx.push_back({q.text(0), Cat{q.text(1), q.i64(2), std::uint32_t(q.i64(3))}});
    if (r != SQLITE_DONE) return r;
  }
  struct Ordered {
    IndexDef def;
    int group;  // 0 primary, 1 catalogue, 2 derived
    std::int64_t order;
  };
  std::vector<Ordered> idx;
  if (pkCount == 1 && pkType == "INTEGER" && !out.withoutRowid) {
    // INTEGER PRIMARY KEY: the row id itself, ordered without a separate index.
    IndexDef d;
    d.name = "PRIMARY";
    d.flags = kIndexPrimary | kIndexUnique | kIndexCaseSensitive;
    const ColumnDef& c = out.columns[size_t(pkColumn - 1)];
    d.segments.push_back(IndexSegment{pkColumn, c.name, 0, "BINARY"});
    idx.push_back({std::move(d), 0, 0});
  }
  {
    Stmt q(db,
           "SELECT s.name, il.\"unique\", il.origin, il.partial FROM sqlite_schema s"
           " JOIN pragma_index_list(?1) il ON il.name = s.name"
           " WHERE s.type='index' ORDER BY s.rowid");
    q.bind(1, out.name);
    std::vector<std::tuple<std::string, bool, std::string, bool>> list;
    while ((r = q.step()) == SQLITE_ROW) list.emplace_back(q.text(0), q.i64(1) != 0, q.text(2), q.i64(3) != 0);
    if (r != SQLITE_DONE) return r;
    std::int64_t seq = 0;
    for (auto& [sqlName, unique, origin, partial] : list) {
      if (partial) continue;
      IndexDef d;
      d.sqlName = sqlName;
      d.name = sqlName;
      bool ok = true;
      bool anyNoCaseText = false;
      Stmt x(db, "SELECT cid, name, \"desc\", coll FROM pragma_index_xinfo(?1) WHERE key=1 ORDER BY seqno");
      x.bind(1, sqlName);
      while ((r = x.step()) == SQLITE_ROW) {
        int cid = int(x.i64(0));
        if (cid < 0 || size_t(cid) >= out.columns.size()) {
          ok = false;  // an expression index: not something a cursor can walk by column
          continue;
        }
        const ColumnDef& col = out.columns[size_t(cid)];
        IndexSegment s{cid + 1, col.name, 0, ""};
        if (x.i64(2)) s.flags |= kSegmentDescending;
        std::string coll = upper(x.text(3));
        s.collation = coll.empty() ? "BINARY" : coll;
        bool nocase = coll == "NOCASE" || coll == kNoCaseCollation;
        if (col.isText()) {
          if (nocase) anyNoCaseText = true;
          else s.flags |= kSegmentCaseSensitive;
        }
        d.segments.push_back(std::move(s));
      }
      if (r != SQLITE_DONE) return r;
      if (!ok || d.segments.empty()) continue;
      d.flags = (unique ? kIndexUnique : 0) | (origin == "pk" ? kIndexPrimary | kIndexUnique : 0) |
                (anyNoCaseText ? 0 : kIndexCaseSensitive);
      int group = (d.flags & kIndexPrimary) ? 0 : 2;
      std::int64_t order = seq++;
      for (auto& [sn, cinfo] : catIdx) {
        if (!equalNoCaseAscii(sn, sqlName)) continue;
        d.name = cinfo.name;
        d.flags = cinfo.flags;
        d.inCatalogue = true;
        group = (d.flags & kIndexPrimary) ? 0 : 1;
        order = cinfo.no;
        break;
      }
      idx.push_back({std::move(d), group, order});
    }
  }
  std::stable_sort(idx.begin(), idx.end(), [](const Ordered& a, const Ordered& b) {
    return a.group != b.group ? a.group < b.group : a.order < b.order;
  });
  for (auto& o : idx) out.indexes.push_back(std::move(o.def));
  return SQLITE_OK;
}

// ---- Public: writing ---------------------------------------------------------------------------

int createTable(sqlite3* db, const TableDef& def) {
  if (!validName(def.name) || def.columns.empty()) return SQLITE_MISUSE;
  int r = ensureCatalogue(db);
  if (r != SQLITE_OK) return r;
  std::string existing;
  r = physicalTableName(db, def.name, existing);
  if (r == SQLITE_OK) return SQLITE_CONSTRAINT;
  if (r != SQLITE_NOTFOUND) return r;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  // Rows left behind by a table that SQL dropped must not attach to the new one.
  std::int64_t stale = 0;
  if ((r = catalogueTableId(db, def.name, stale)) != SQLITE_OK) return r;
  if (stale != 0 && (r = deleteCatalogueRows(db, stale)) != SQLITE_OK) return r;
  std::string sql = "CREATE TABLE " + quoteIdent(def.name) + " (";
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (!validName(def.columns[i].name)) return SQLITE_MISUSE;
    if (i) sql += ", ";
    sql += columnSql(def.columns[i], false);
  }
  sql += ")";
  if ((r = execSql(db, sql.c_str())) != SQLITE_OK) return r;
  {
    Stmt ins(db, "INSERT INTO kx_tables(name, owner, access_mode, flags, secured) VALUES(?1,?2,?3,?4,?5)");
    ins.bind(1, def.name).bind(2, def.owner).bind(3, std::int64_t(def.accessMode));
    ins.bind(4, std::int64_t(def.flags)).bind(5, std::int64_t(def.secured ? 1 : 0));
    if ((r = ins.exec()) != SQLITE_OK) return r;
  }
  std::int64_t id = sqlite3_last_insert_rowid(db);
  for (size_t i = 0; i < def.columns.size(); ++i) {
    ColumnDef c = def.columns[i];
    c.columnNo = int(i) + 1;
    if ((r = insertColumnRow(db, id, c)) != SQLITE_OK) return r;
  }
  return sp.release();
}

int addColumn(sqlite3* db, std::string_view table, const ColumnDef& col) {
  if (!validName(col.name)) return SQLITE_MISUSE;
  int r = ensureCatalogue(db);
  if (r != SQLITE_OK) return r;
  TableDef t;
  if ((r = readTable(db, table, t)) != SQLITE_OK) return r;
  if (t.findColumn(col.name)) return SQLITE_CONSTRAINT;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::string sql = "ALTER TABLE " + quoteIdent(t.name) + " ADD COLUMN " + columnSql(col, true);
  if ((r = execSql(db, sql.c_str())) != SQLITE_OK) return r;
  std::int64_t id = 0;
  if ((r = adoptTable(db, t.name, id)) != SQLITE_OK) return r;
  ColumnDef c = col;
  c.columnNo = int(t.columns.size()) + 1;
  if ((r = insertColumnRow(db, id, c)) != SQLITE_OK) return r;
  return sp.release();
}

int createIndex(sqlite3* db, std::string_view table, IndexDef def) {
  if (!validName(def.name) || def.segments.empty()) return SQLITE_MISUSE;
  int r = ensureCatalogue(db);
  if (r != SQLITE_OK) return r;
  TableDef t;
  if ((r = readTable(db, table, t)) != SQLITE_OK) return r;
  for (const auto& i : t.indexes)
    if (equalNoCaseAscii(i.name, def.name)) return SQLITE_CONSTRAINT;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::int64_t id = 0;
  if ((r = adoptTable(db, t.name, id)) != SQLITE_OK) return r;
  if (def.sqlName.empty()) {
    // SQLite index names are per database, the record manager's per table.
    std::string base = "kx_" + std::to_string(id) + "_" + def.name;
    def.sqlName = base;
    for (int n = 2;; ++n) {
      Stmt q(db, "SELECT 1 FROM sqlite_schema WHERE name=?1 COLLATE NOCASE");
      q.bind(1, def.sqlName);
      int s = q.step();
      if (s == SQLITE_DONE) break;
      if (s != SQLITE_ROW) return s;
      def.sqlName = base + "_" + std::to_string(n);
    }
  }
  std::string sql = std::string("CREATE ") + ((def.flags & (kIndexUnique | kIndexPrimary)) ? "UNIQUE " : "") +
                    "INDEX " + quoteIdent(def.sqlName) + " ON " + quoteIdent(t.name) + " (";
  for (size_t i = 0; i < def.segments.size(); ++i) {
    auto& s = def.segments[i];
    const ColumnDef* c = t.findColumn(s.columnName);
    if (!c) return SQLITE_NOTFOUND;
    s.columnName = c->name;
    s.columnNo = c->columnNo;
    if (i) sql += ", ";
    sql += quoteIdent(c->name);
    if (c->isText()) {
      if (def.caseInsensitive()) {
        sql += std::string(" COLLATE ") + kNoCaseCollation;
        s.flags &= ~kSegmentCaseSensitive;
      } else {
        s.flags |= kSegmentCaseSensitive;
      }
    } else {
      s.flags &= ~kSegmentCaseSensitive;
    }
    if (s.descending()) sql += " DESC";
  }
  sql += ")";
  if ((r = execSql(db, sql.c_str())) != SQLITE_OK) return r;
  std::int64_t no = 0;
  {
    Stmt q(db, "SELECT COALESCE(MAX(index_no), 0) + 1 FROM kx_indexes WHERE table_id=?1");
    q.bind(1, id);
    if ((r = q.step()) != SQLITE_ROW) return r;
    no = q.i64(0);
  }
  {
    Stmt ins(db, "INSERT OR REPLACE INTO kx_indexes(table_id, sql_name, name, index_no, flags) VALUES(?1,?2,?3,?4,?5)");
    ins.bind(1, id).bind(2, def.sqlName).bind(3, def.name).bind(4, no).bind(5, std::int64_t(def.flags));
    if ((r = ins.exec()) != SQLITE_OK) return r;
  }
  for (size_t i = 0; i < def.segments.size(); ++i) {
    Stmt ins(db,
             "INSERT OR REPLACE INTO kx_index_segments(table_id, sql_name, segment_no, column_name, flags)"
             " VALUES(?1,?2,?3,?4,?5)");
    ins.bind(1, id).bind(2, def.sqlName).bind(3, std::int64_t(i)).bind(4, def.segments[i].columnName);
    ins.bind(5, std::int64_t(def.segments[i].flags));
    if ((r = ins.exec()) != SQLITE_OK) return r;
  }
  return sp.release();
}

int dropIndex(sqlite3* db, std::string_view table, std::string_view indexName) {
  TableDef t;
  int r = readTable(db, table, t);
  if (r != SQLITE_OK) return r;
  const IndexDef* found = nullptr;
  for (const auto& i : t.indexes)
    if (equalNoCaseAscii(i.name, indexName)) found = &i;
  if (!found) return SQLITE_NOTFOUND;
  // The row-id key and the indexes behind SQL constraints belong to the table itself.
  if (found->sqlName.empty() || found->sqlName.rfind("sqlite_autoindex_", 0) == 0) return SQLITE_MISUSE;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::string sql = "DROP INDEX " + quoteIdent(found->sqlName);
  if ((r = execSql(db, sql.c_str())) != SQLITE_OK) return r;
  if (t.tableId != 0) {
    for (const char* s : {"DELETE FROM kx_indexes WHERE table_id=?1 AND sql_name=?2",
                          "DELETE FROM kx_index_segments WHERE table_id=?1 AND sql_name=?2"}) {
      Stmt d(db, s);
      d.bind(1, t.tableId).bind(2, found->sqlName);
      if ((r = d.exec()) != SQLITE_OK) return r;
    }
  }
  return sp.release();
}

int dropTable(sqlite3* db, std::string_view table) {
  std::string name;
  int r = physicalTableName(db, table, name);
  if (r != SQLITE_OK) return r;
  if (isCatalogueTable(name)) return SQLITE_MISUSE;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::string sql = "DROP TABLE " + quoteIdent(name);
  if ((r = execSql(db, sql.c_str())) != SQLITE_OK) return r;
  std::int64_t id = 0;
  if ((r = catalogueTableId(db, name, id)) != SQLITE_OK) return r;
  if (id != 0 && (r = deleteCatalogueRows(db, id)) != SQLITE_OK) return r;
  return sp.release();
}

int renameTable(sqlite3* db, std::string_view table, std::string_view newName) {
  if (!validName(newName) || isCatalogueTable(newName)) return SQLITE_MISUSE;
  std::string name;
  int r = physicalTableName(db, table, name);
  if (r != SQLITE_OK) return r;
  if (isCatalogueTable(name)) return SQLITE_MISUSE;
  std::string other;
  r = physicalTableName(db, newName, other);
  if (r == SQLITE_OK && !equalNoCaseAscii(other, name)) return SQLITE_CONSTRAINT;
  if (r != SQLITE_OK && r != SQLITE_NOTFOUND) return r;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::int64_t stale = 0;
  if (!equalNoCaseAscii(name, newName)) {
    if ((r = catalogueTableId(db, newName, stale)) != SQLITE_OK) return r;
    if (stale != 0 && (r = deleteCatalogueRows(db, stale)) != SQLITE_OK) return r;
  }
  std::string sql = "ALTER TABLE " + quoteIdent(name) + " RENAME TO " + quoteIdent(newName);
  if ((r = execSql(db, sql.c_str())) != SQLITE_OK) return r;
  if (hasCatalogue(db)) {
    Stmt u(db, "UPDATE kx_tables SET name=?2 WHERE name=?1");
    u.bind(1, name).bind(2, newName);
    if ((r = u.exec()) != SQLITE_OK) return r;
  }
  return sp.release();
}

int setTableOwner(sqlite3* db, std::string_view table, std::string_view owner, std::uint32_t accessMode) {
  std::string name;
  int r = physicalTableName(db, table, name);
  if (r != SQLITE_OK) return r;
  if ((r = ensureCatalogue(db)) != SQLITE_OK) return r;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::int64_t id = 0;
  if ((r = adoptTable(db, name, id)) != SQLITE_OK) return r;
  Stmt u(db, "UPDATE kx_tables SET owner=?2, access_mode=?3 WHERE table_id=?1");
  u.bind(1, id).bind(2, owner).bind(3, std::int64_t(accessMode));
  if ((r = u.exec()) != SQLITE_OK) return r;
  return sp.release();
}

int setTableSecured(sqlite3* db, std::string_view table, bool secured) {
  std::string name;
  int r = physicalTableName(db, table, name);
  if (r != SQLITE_OK) return r;
  if ((r = ensureCatalogue(db)) != SQLITE_OK) return r;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::int64_t id = 0;
  if ((r = adoptTable(db, name, id)) != SQLITE_OK) return r;
  Stmt u(db, "UPDATE kx_tables SET secured=?2 WHERE table_id=?1");
  u.bind(1, id).bind(2, std::int64_t(secured ? 1 : 0));
  if ((r = u.exec()) != SQLITE_OK) return r;
  return sp.release();
}

int readAutoIncLast(sqlite3* db, std::string_view table, std::string_view column, std::int64_t& out) {
  out = 0;
  if (!hasCatalogue(db)) return SQLITE_OK;
  Stmt q(db,
         "SELECT c.autoinc_last FROM kx_columns c JOIN kx_tables t ON t.table_id = c.table_id"
         " WHERE t.name=?1 AND c.name=?2");
  q.bind(1, table).bind(2, column);
  int r = q.step();
  if (r == SQLITE_ROW) out = q.i64(0);
  return (r == SQLITE_ROW || r == SQLITE_DONE) ? SQLITE_OK : r;
}

int writeAutoIncLast(sqlite3* db, std::string_view table, std::string_view column, std::int64_t v) {
  if (!hasCatalogue(db)) return SQLITE_OK;
  Stmt u(db,
         "UPDATE kx_columns SET autoinc_last=?3 WHERE name=?2 AND table_id="
         " (SELECT table_id FROM kx_tables WHERE name=?1)");
  u.bind(1, table).bind(2, column).bind(3, v);
  return u.exec();
}

// ---- Public: procedures ------------------------------------------------------------------------

int listProcedures(sqlite3* db, std::vector<ProcedureDef>& out) {
  out.clear();
  if (!hasCatalogue(db)) return SQLITE_OK;
  Stmt q(db, "SELECT proc_id, name, proc_type, definition, body, remarks FROM kx_procedures ORDER BY name");
  int r;
  while ((r = q.step()) == SQLITE_ROW) {
    ProcedureDef p;
    p.procId = q.i64(0);
    p.name = q.text(1);
    p.procType = int(q.i64(2));
    p.definition = q.text(3);
    p.body = q.text(4);
    p.remarks = q.text(5);
    out.push_back(std::move(p));
  }
  return r == SQLITE_DONE ? SQLITE_OK : r;
}

int readProcedure(sqlite3* db, std::string_view name, ProcedureDef& out) {
  out = ProcedureDef{};
  if (!hasCatalogue(db)) return SQLITE_NOTFOUND;
  {
    Stmt q(db, "SELECT proc_id, name, proc_type, definition, body, remarks FROM kx_procedures WHERE name=?1");
    q.bind(1, name);
    int r = q.step();
    if (r == SQLITE_DONE) return SQLITE_NOTFOUND;
    if (r != SQLITE_ROW) return r;
    out.procId = q.i64(0);
    out.name = q.text(1);
    out.procType = int(q.i64(2));
    out.definition = q.text(3);
    out.body = q.text(4);
    out.remarks = q.text(5);
  }
  Stmt q(db,
         "SELECT param_no, name, direction, sql_type, type_name, column_size, decimal_digits, nullable"
         " FROM kx_procedure_params WHERE proc_id=?1 ORDER BY param_no");
  q.bind(1, out.procId);
  int r;
  while ((r = q.step()) == SQLITE_ROW) {
    ProcedureParam p;
    p.paramNo = int(q.i64(0));
    p.name = q.text(1);
    p.direction = int(q.i64(2));
    p.sqlType = int(q.i64(3));
    p.typeName = q.text(4);
    p.columnSize = q.i64(5);
    p.decimalDigits = int(q.i64(6));
    p.nullable = q.i64(7) != 0;
    out.params.push_back(std::move(p));
  }
  return r == SQLITE_DONE ? SQLITE_OK : r;
}

int createProcedure(sqlite3* db, const ProcedureDef& def) {
  if (!validName(def.name)) return SQLITE_MISUSE;
  int r = ensureCatalogue(db);
  if (r != SQLITE_OK) return r;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  {
    Stmt ins(db,
             "INSERT INTO kx_procedures(name, proc_type, definition, body, remarks, created)"
             " VALUES(?1,?2,?3,?4,?5,datetime('now'))");
    ins.bind(1, def.name).bind(2, std::int64_t(def.procType)).bind(3, def.definition).bind(4, def.body);
    ins.bind(5, def.remarks);
    r = ins.exec();
    if ((r & 0xFF) == SQLITE_CONSTRAINT) return SQLITE_CONSTRAINT;
    if (r != SQLITE_OK) return r;
  }
  std::int64_t id = sqlite3_last_insert_rowid(db);
  for (const auto& p : def.params) {
    Stmt ins(db,
             "INSERT INTO kx_procedure_params(proc_id, param_no, name, direction, sql_type, type_name,"
             " column_size, decimal_digits, nullable) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)");
    ins.bind(1, id).bind(2, std::int64_t(p.paramNo)).bind(3, p.name).bind(4, std::int64_t(p.direction));
    ins.bind(5, std::int64_t(p.sqlType)).bind(6, p.typeName).bind(7, p.columnSize);
    ins.bind(8, std::int64_t(p.decimalDigits)).bind(9, std::int64_t(p.nullable ? 1 : 0));
    if ((r = ins.exec()) != SQLITE_OK) return r;
  }
  return sp.release();
}

int dropProcedure(sqlite3* db, std::string_view name) {
  if (!hasCatalogue(db)) return SQLITE_NOTFOUND;
  Savepoint sp(db);
  if (sp.rc() != SQLITE_OK) return sp.rc();
  std::int64_t id = 0;
  {
    Stmt q(db, "SELECT proc_id FROM kx_procedures WHERE name=?1");
    q.bind(1, name);
    int r = q.step();
    if (r == SQLITE_DONE) return SQLITE_NOTFOUND;
    if (r != SQLITE_ROW) return r;
    id = q.i64(0);
  }
  for (const char* s : {"DELETE FROM kx_procedure_params WHERE proc_id=?1", "DELETE FROM kx_procedures WHERE proc_id=?1"}) {
    Stmt d(db, s);
    d.bind(1, id);
    int r = d.exec();
    if (r != SQLITE_OK) return r;
  }
  return sp.release();
}

// ---- Public: users -----------------------------------------------------------------------------

bool hasUsers(sqlite3* db) {
  if (!hasCatalogue(db)) return false;
  Stmt q(db, "SELECT 1 FROM kx_users LIMIT 1");
  return q.step() == SQLITE_ROW;
}

int setUser(sqlite3* db, std::string_view name, std::string_view password, std::uint32_t rights) {
  if (!validName(name)) return SQLITE_MISUSE;
  int r = ensureCatalogue(db);
  if (r != SQLITE_OK) return r;
  std::string salt = newSalt();
  Stmt ins(db, "INSERT OR REPLACE INTO kx_users(name, salt, hash, rights) VALUES(?1,?2,?3,?4)");
  ins.bind(1, name).bind(2, salt).bind(3, passwordHash(salt, password)).bind(4, std::int64_t(rights));
  return ins.exec();
}

int dropUser(sqlite3* db, std::string_view name) {
  if (!hasCatalogue(db)) return SQLITE_NOTFOUND;
  Stmt d(db, "DELETE FROM kx_users WHERE name=?1");
  d.bind(1, name);
  int r = d.exec();
  if (r != SQLITE_OK) return r;
  return sqlite3_changes(db) ? SQLITE_OK : SQLITE_NOTFOUND;
}

LoginResult checkLogin(sqlite3* db, std::string_view name, std::string_view password, std::uint32_t* rights) {
  if (!hasCatalogue(db)) return LoginResult::unknownUser;
  Stmt q(db, "SELECT salt, hash, rights FROM kx_users WHERE name=?1");
  q.bind(1, name);
  int r = q.step();
  if (r == SQLITE_DONE) return LoginResult::unknownUser;
  if (r != SQLITE_ROW) return LoginResult::error;
  if (!constantTimeEqual(passwordHash(q.text(0), password), q.text(1))) return LoginResult::badPassword;
  if (rights) *rights = std::uint32_t(q.i64(2));
  return LoginResult::ok;
}

}  // namespace kxstore
