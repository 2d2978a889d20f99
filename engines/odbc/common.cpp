// Diagnostics, text helpers and SQLite value plumbing shared by the whole driver.
#include <odbcinst.h>

#include <atomic>
#include <cctype>

#include "engines/odbc/driver.h"

namespace kxodbc {

namespace {
// Every message carries the vendor and component, as ODBC asks; the driver manager adds its own
// prefix in front, so this stays short.
constexpr const char* kPrefix = "[Kestrin][Engine]";
}  // namespace

void fail(const char* state, std::string message, SQLINTEGER native) {
  throw OdbcError{state, std::move(message), native};
}

const char* sqliteState(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_CONSTRAINT: return "23000";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "HYT00";
    case SQLITE_NOMEM: return "HY001";
    case SQLITE_READONLY: return "HY000";
    case SQLITE_MISMATCH: return "22018";
    case SQLITE_TOOBIG: return "22001";
    case SQLITE_RANGE: return "07009";
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB: return "08001";
    case SQLITE_AUTH:
    case SQLITE_PERM: return "42000";
    case SQLITE_ABORT: return "40001";
    case SQLITE_INTERRUPT: return "HYT00";
    default: return "HY000";
  }
}

void failSqlite(sqlite3* db, int rc, const char* context) {
  std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  int ext = db ? sqlite3_extended_errcode(db) : rc;
  const char* state = sqliteState(rc);
  if ((rc & 0xFF) == SQLITE_ERROR) {
    // Classify the common statement errors by their text; SQLite has one code for all of them.
    if (msg.find("no such table") != std::string::npos || msg.find("no such view") != std::string::npos)
      state = "42S02";
    else if (msg.find("no such column") != std::string::npos)
      state = "42S22";
    else if (msg.find("already exists") != std::string::npos)
      state = msg.find("index") != std::string::npos ? "42S11" : "42S01";
    else if (msg.find("no such index") != std::string::npos)
      state = "42S12";
    else if (msg.find("syntax error") != std::string::npos || msg.find("incomplete input") != std::string::npos ||
             msg.find("unrecognized token") != std::string::npos)
      state = "42000";
    else if (msg.find("no such function") != std::string::npos || msg.find("wrong number of arguments") != std::string::npos)
      state = "42000";
    else
      state = "HY000";
  }
  if ((rc & 0xFF) == SQLITE_INTERRUPT) msg = "Timeout expired";
  if (context) msg = std::string(context) + ": " + msg;
  throw OdbcError{state, msg, kNativeSqliteBase - ext};
}

void Handle::warn(const char* state, std::string message, SQLINTEGER native) {
  diags.push_back({state, native, std::string(kPrefix) + message});
}

void Handle::add(const OdbcError& e) { diags.push_back({e.state, e.native, std::string(kPrefix) + e.message}); }

std::recursive_mutex& Desc::mutex() { return dbc->mu; }

void Desc::trim() {
  while (recs.size() > 1 && recs.back().dataPtr == nullptr && recs.back().indicatorPtr == nullptr &&
         recs.back().octetLengthPtr == nullptr)
    recs.pop_back();
  if (recs.size() == 1 && recs[0].dataPtr == nullptr) recs.clear();
}

// ---------------------------------------------------------------------------------------------

ValView viewOf(sqlite3_stmt* st, int col) {
  ValView w;
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER:
      w.kind = VK::Int;
      w.i = sqlite3_column_int64(st, col);
      break;
    case SQLITE_FLOAT:
      w.kind = VK::Real;
      w.d = sqlite3_column_double(st, col);
      break;
    case SQLITE_TEXT:
      w.kind = VK::Text;
      w.p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
      w.n = static_cast<size_t>(sqlite3_column_bytes(st, col));
      if (!w.p) w.p = "";
      break;
    case SQLITE_BLOB:
      w.kind = VK::Blob;
      w.p = static_cast<const char*>(sqlite3_column_blob(st, col));
      w.n = static_cast<size_t>(sqlite3_column_bytes(st, col));
      if (!w.p) w.p = "";
      break;
    default:
      break;
  }
  return w;
}

Value valueOf(sqlite3_stmt* st, int col) {
  ValView w = viewOf(st, col);
  switch (w.kind) {
    case VK::Int: return Value::integer(w.i);
    case VK::Real: return Value::real(w.d);
    case VK::Text: return Value::text(std::string(w.p, w.n));
    case VK::Blob: return Value::blob(std::string(w.p, w.n));
    default: return {};
  }
}

Value valueOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::real(sqlite3_value_double(v));
    case SQLITE_TEXT: {
      const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      return Value::text(std::string(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(v))));
    }
    case SQLITE_BLOB: {
      const char* p = static_cast<const char*>(sqlite3_value_blob(v));
      return Value::blob(std::string(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(v))));
    }
    default: return {};
  }
}

void bindValue(sqlite3* db, sqlite3_stmt* st, int idx, const Value& v) {
  int rc = SQLITE_OK;
  switch (v.kind) {
    case VK::Null: rc = sqlite3_bind_null(st, idx); break;
    case VK::Int: rc = sqlite3_bind_int64(st, idx, v.i); break;
    case VK::Real: rc = sqlite3_bind_double(st, idx, v.d); break;
    case VK::Text: rc = sqlite3_bind_text64(st, idx, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8); break;
    case VK::Blob: rc = sqlite3_bind_blob64(st, idx, v.s.data(), v.s.size(), SQLITE_TRANSIENT); break;
  }
  if (rc != SQLITE_OK) failSqlite(db, rc, "binding a parameter");
}

// ---------------------------------------------------------------------------------------------

std::string utf16ToUtf8(const SQLWCHAR* s, SQLLEN len) {
  std::string out;
  if (!s) return out;
  if (len == SQL_NTS) {
    len = 0;
    while (s[len]) ++len;
  }
  out.reserve(static_cast<size_t>(len));
  for (SQLLEN k = 0; k < len; ++k) {
    uint32_t c = s[k];
    if (c >= 0xD800 && c <= 0xDBFF && k + 1 < len && s[k + 1] >= 0xDC00 && s[k + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[k + 1] - 0xDC00);
      ++k;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    size_t n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c >> 5) == 6) {
      cp = c & 0x1F;
      n = 2;
    } else if ((c >> 4) == 14) {
      cp = c & 0x0F;
      n = 3;
    } else if ((c >> 3) == 30) {
      cp = c & 0x07;
      n = 4;
    } else {
      // Not UTF-8: take the byte as Latin-1 rather than losing it.
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    if (i + n > s.size()) {
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

size_t utf8Chars(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

template <class L>
static bool copyOutT(std::string_view src, SQLCHAR* buf, SQLLEN bufLen, L* outLen) {
  if (outLen) *outLen = static_cast<L>(src.size());
  if (!buf) return false;
  if (bufLen <= 0) return !src.empty();
  size_t room = static_cast<size_t>(bufLen) - 1;
  size_t take = src.size() <= room ? src.size() : room;
  if (take < src.size()) {
    size_t k = take;
    while (k > 0 && (static_cast<unsigned char>(src[k]) & 0xC0) == 0x80) --k;
    if (k > 0) take = k;
  }
  std::memcpy(buf, src.data(), take);
  buf[take] = 0;
  return take < src.size();
}

bool copyOut(std::string_view src, SQLCHAR* buf, SQLLEN bufLen, SQLSMALLINT* outLen) {
  return copyOutT(src, buf, bufLen, outLen);
}
bool copyOut(std::string_view src, SQLCHAR* buf, SQLLEN bufLen, SQLINTEGER* outLen) {
  return copyOutT(src, buf, bufLen, outLen);
}

template <class L>
static bool wideOutT(std::string_view utf8, SQLWCHAR* buf, SQLLEN bufChars, L* outChars, int unit) {
  std::u16string w = utf8ToUtf16(utf8);
  if (outChars) *outChars = static_cast<L>(w.size() * static_cast<size_t>(unit));
  if (!buf) return false;
  if (bufChars <= 0) return !w.empty();
  size_t room = static_cast<size_t>(bufChars) - 1;
  size_t take = w.size() <= room ? w.size() : room;
  if (take < w.size() && take > 0 && w[take - 1] >= 0xD800 && w[take - 1] <= 0xDBFF) --take;
  for (size_t k = 0; k < take; ++k) buf[k] = static_cast<SQLWCHAR>(w[k]);
  buf[take] = 0;
  return take < w.size();
}

bool wideOutChars(std::string_view utf8, SQLWCHAR* buf, SQLLEN bufChars, SQLSMALLINT* outChars) {
  return wideOutT(utf8, buf, bufChars, outChars, 1);
}
bool wideOutChars(std::string_view utf8, SQLWCHAR* buf, SQLLEN bufChars, SQLINTEGER* outChars) {
  return wideOutT(utf8, buf, bufChars, outChars, 1);
}
bool wideOutBytes(std::string_view utf8, SQLPOINTER buf, SQLLEN bufBytes, SQLSMALLINT* outBytes) {
  return wideOutT(utf8, static_cast<SQLWCHAR*>(buf), bufBytes / 2, outBytes, 2);
}
bool wideOutBytes(std::string_view utf8, SQLPOINTER buf, SQLLEN bufBytes, SQLINTEGER* outBytes) {
  return wideOutT(utf8, static_cast<SQLWCHAR*>(buf), bufBytes / 2, outBytes, 2);
}

std::string textIn(const SQLCHAR* s, SQLLEN len) {
  if (!s) return {};
  if (len == SQL_NTS) return std::string(reinterpret_cast<const char*>(s));
  if (len < 0) fail("HY090", "Invalid string or buffer length");
  return std::string(reinterpret_cast<const char*>(s), static_cast<size_t>(len));
}

std::string textIn(const SQLWCHAR* s, SQLLEN len) {
  if (!s) return {};
  if (len < 0 && len != SQL_NTS) fail("HY090", "Invalid string or buffer length");
  return utf16ToUtf8(s, len);
}

std::optional<std::string> installerValue(const std::string& section, const char* key) {
  // The installer answers from a cache keyed by the default too; a default never used before
  // always reads the file, and tells an absent key from an empty one.
  static std::atomic<unsigned long long> counter{0};
  std::string absent = "\x01kxodbc-absent-" + std::to_string(counter++) + "\x01";
  std::vector<char> buf(4096);
  int n = SQLGetPrivateProfileString(section.c_str(), key, absent.c_str(), buf.data(), static_cast<int>(buf.size()),
                                     "odbc.ini");
  if (n < 0) return std::nullopt;
  buf.back() = 0;
  std::string v(buf.data());
  if (v == absent) return std::nullopt;
  return v;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(a[k])) != std::toupper(static_cast<unsigned char>(b[k]))) return false;
  return true;
}

}  // namespace kxodbc
