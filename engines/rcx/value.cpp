#include "engines/rcx/value.h"

#include <sqlite3.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engines/rcx/status.h"

namespace rcx {

using kxstore::ColumnDef;

bool Value::operator==(const Value& o) const {
  if (kind != o.kind) return false;
  switch (kind) {
    case Null: return true;
    case Int: return i == o.i;
    case Real: return r == o.r || (std::isnan(r) && std::isnan(o.r));
    default: return s == o.s;
  }
}

Value ValueRef::toValue() const {
  Value v;
  v.kind = kind;
  v.i = i;
  v.r = r;
  v.s.assign(s.data(), s.size());
  return v;
}

ValueRef columnRef(sqlite3_stmt* st, int col) {
  // One statement call, then the light value accessors on the column's value.
  sqlite3_value* x = sqlite3_column_value(st, col);
  ValueRef v;
  switch (sqlite3_value_type(x)) {
    case SQLITE_INTEGER: v.kind = Value::Int; v.i = sqlite3_value_int64(x); break;
    case SQLITE_FLOAT: v.kind = Value::Real; v.r = sqlite3_value_double(x); break;
    case SQLITE_TEXT: {
      auto p = reinterpret_cast<const char*>(sqlite3_value_text(x));
      v.kind = Value::Text;
      v.s = std::string_view(p ? p : "", size_t(sqlite3_value_bytes(x)));
      break;
    }
    case SQLITE_BLOB: {
      auto p = static_cast<const char*>(sqlite3_value_blob(x));
      v.kind = Value::Blob;
      v.s = std::string_view(p ? p : "", size_t(sqlite3_value_bytes(x)));
      break;
    }
    default: break;
  }
  return v;
}

Value columnValue(sqlite3_stmt* st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: return Value::real(sqlite3_column_double(st, col));
    case SQLITE_TEXT: {
      auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
      return Value::text(std::string(p ? p : "", size_t(sqlite3_column_bytes(st, col))));
    }
    case SQLITE_BLOB: {
      auto p = static_cast<const char*>(sqlite3_column_blob(st, col));
      int n = sqlite3_column_bytes(st, col);
      return Value::blob(p ? std::string(p, size_t(n)) : std::string());
    }
    default: return Value{};
  }
}

int bindValue(sqlite3_stmt* st, int idx, const Value& v) {
  switch (v.kind) {
    case Value::Int: return sqlite3_bind_int64(st, idx, v.i);
    case Value::Real: return sqlite3_bind_double(st, idx, v.r);
    case Value::Text: return sqlite3_bind_text(st, idx, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT);
    case Value::Blob: return sqlite3_bind_blob(st, idx, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT);
    default: return sqlite3_bind_null(st, idx);
  }
}

namespace {

int rank(const ValueRef& v) {
  switch (v.kind) {
    case Value::Null: return 0;
    case Value::Int:
    case Value::Real: return 1;
    case Value::Text: return 2;
    default: return 3;
  }
}

int sign(long double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

int compareBytes(std::string_view a, std::string_view b) {
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::uint16_t rd16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t rd32(const unsigned char* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
void wr16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void wr32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysInMonth(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : d[m - 1];
}
bool validDate(int y, int m, int d) { return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m); }
bool validTime(int h, int mi, int s) { return h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59; }

// Parses digits at p (exactly n of them).
bool digits(const std::string& t, size_t& p, int n, int& out) {
  if (p + size_t(n) > t.size()) return false;
  out = 0;
  for (int i = 0; i < n; ++i) {
    char c = t[p + size_t(i)];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  p += size_t(n);
  return true;
}

bool parseDatePart(const std::string& t, size_t& p, int& y, int& m, int& d) {
  return digits(t, p, 4, y) && p < t.size() && t[p++] == '-' && digits(t, p, 2, m) && p < t.size() &&
         t[p++] == '-' && digits(t, p, 2, d) && validDate(y, m, d);
}

// HH:MM[:SS[.fffffff]] ; fraction in units of 100 ns.
bool parseTimePart(const std::string& t, size_t& p, int& h, int& mi, int& s, std::uint32_t& frac) {
  s = 0;
  frac = 0;
  if (!digits(t, p, 2, h) || p >= t.size() || t[p++] != ':' || !digits(t, p, 2, mi)) return false;
  if (p < t.size() && t[p] == ':') {
    ++p;
    if (!digits(t, p, 2, s)) return false;
    if (p < t.size() && t[p] == '.') {
      ++p;
      std::uint32_t scale = 1000000;
      size_t start = p;
      while (p < t.size() && t[p] >= '0' && t[p] <= '9') {
        if (scale > 0) {
          frac += std::uint32_t(t[p] - '0') * scale;
          scale /= 10;
        }
        ++p;
      }
      if (p == start) return false;
    }
  }
  return validTime(h, mi, s);
}

bool atEnd(const std::string& t, size_t p) {
  while (p < t.size() && (t[p] == ' ' || t[p] == 'Z')) ++p;
  return p == t.size();
}

struct Timestamp {
  int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
  std::uint32_t frac = 0;
};

// Accepts the canonical forms and what SQL users write: a date with an optional time
// ("T" or blank between), a bare time for time columns.
bool parseTemporal(const std::string& t, int cls, Timestamp& ts) {
  size_t p = 0;
  while (p < t.size() && t[p] == ' ') ++p;
  if (cls == kxstore::kClassTime && t.size() - p >= 5 && t[p + 2] == ':') {
    return parseTimePart(t, p, ts.h, ts.mi, ts.s, ts.frac) && atEnd(t, p);
  }
  if (!parseDatePart(t, p, ts.y, ts.m, ts.d)) return false;
  if (atEnd(t, p)) return true;
  if (t[p] != ' ' && t[p] != 'T') return false;
  ++p;
  return parseTimePart(t, p, ts.h, ts.mi, ts.s, ts.frac) && atEnd(t, p);
}

// A decimal number as text -> mantissa and exponent (value = m * 10^e). False when the
// mantissa does not fit 64 bits after dropping trailing zeros of the fraction.
bool parseDecimal(std::string_view t, std::int64_t& m, int& e) {
  size_t p = 0;
  while (p < t.size() && t[p] == ' ') ++p;
  bool neg = false;
  if (p < t.size() && (t[p] == '-' || t[p] == '+')) neg = t[p++] == '-';
  __int128 acc = 0;
  e = 0;
  bool any = false, dot = false;
  for (; p < t.size(); ++p) {
    char c = t[p];
    if (c >= '0' && c <= '9') {
      any = true;
      if (acc < (__int128(1) << 100)) {
        acc = acc * 10 + (c - '0');
        if (dot) --e;
      } else if (!dot) {
        ++e;  // digits beyond what we keep: scale instead
      }
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
    ++p;
    bool eneg = false;
    if (p < t.size() && (t[p] == '-' || t[p] == '+')) eneg = t[p++] == '-';
    int x = 0;
    bool anyExp = false;
    while (p < t.size() && t[p] >= '0' && t[p] <= '9') {
      anyExp = true;
      if (x < 100000) x = x * 10 + (t[p] - '0');
      ++p;
    }
    if (!anyExp) return false;
    e += eneg ? -x : x;
  }
  while (p < t.size() && t[p] == ' ') ++p;
  if (p != t.size()) return false;
  while (acc != 0 && acc % 10 == 0 && e < 0) {
    acc /= 10;
    ++e;
  }
  while (acc > __int128(std::numeric_limits<std::int64_t>::max())) {
    acc /= 10;  // beyond 19 digits: keep the leading ones
    ++e;
  }
  if (acc == 0) e = 0;
  m = neg ? -std::int64_t(acc) : std::int64_t(acc);
  return true;
}

int integerDigits(std::int64_t m, int e) {
  if (m == 0) return 0;
  int n = 0;
  unsigned long long a = m < 0 ? 0ull - static_cast<unsigned long long>(m) : static_cast<unsigned long long>(m);
  while (a) {
    ++n;
    a /= 10;
  }
  return std::max(0, n + e);
}

// The bytes of a value as text; numbers are formatted into `scratch`.
std::string_view textOf(const ValueRef& v, std::string& scratch) {
  char b[64];
  switch (v.kind) {
    case Value::Int: std::snprintf(b, sizeof b, "%lld", static_cast<long long>(v.i)); break;
    case Value::Real: std::snprintf(b, sizeof b, "%.15g", v.r); break;
    default: return v.s;
  }
  scratch = b;
  return scratch;
}

std::int64_t storedInteger(const ColumnDef& col, const ValueRef& v) {
  switch (v.kind) {
    case Value::Int: return v.i;
    case Value::Real:
      if (std::isfinite(v.r) && std::fabs(v.r) < 9.2e18) return std::int64_t(v.r);
      break;
    case Value::Text: {
      std::int64_t m;
      int e;
      if (parseDecimal(v.s, m, e) && scaleByPowerOf10(m, e)) return m;
      break;
    }
    default: break;
  }
  fail(kBufferSizeMismatch, "The value stored in column " + col.name + " is not a number of its type");
}

double storedReal(const ColumnDef& col, const ValueRef& v) {
  switch (v.kind) {
    case Value::Int: return double(v.i);
    case Value::Real: return v.r;
    case Value::Text: {
      char* end = nullptr;
      errno = 0;
      std::string t(v.s);
      double d = std::strtod(t.c_str(), &end);
      if (end && *end == '\0' && !t.empty()) return d;
      break;
    }
    default: break;
  }
  fail(kBufferSizeMismatch, "The value stored in column " + col.name + " is not a number");
}

void integerRange(const ColumnDef& col, std::int64_t& lo, std::int64_t& hi) {
  bool u = col.native == kxstore::kNativeUnsigned;
  switch (col.colClass) {
    case kxstore::kClassTinyInt: lo = u ? 0 : -128; hi = u ? 255 : 127; break;
    case kxstore::kClassSmallInt: lo = u ? 0 : -32768; hi = u ? 65535 : 32767; break;
    default: lo = u ? 0 : INT32_MIN; hi = u ? 4294967295LL : INT32_MAX; break;
  }
}

std::int32_t putText(std::string_view t, void* buf, std::uint32_t size, std::uint32_t& actual) {
  auto out = static_cast<char*>(buf);
  if (size == 0) {
    actual = 0;
    return t.empty() ? kOk : kTruncated;
  }
  if (t.size() < size) {
    std::memcpy(out, t.data(), t.size());
    out[t.size()] = '\0';
    actual = std::uint32_t(t.size());
    return kOk;
  }
  std::memcpy(out, t.data(), size - 1);
  out[size - 1] = '\0';
  actual = size - 1;
  return kTruncated;
}

}  // namespace

int compareValues(const ValueRef& a, const ValueRef& b, bool noCase) {
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (ra) {
    case 0: return 0;
    case 1:
      if (a.kind == Value::Int && b.kind == Value::Int) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
      return sign((a.kind == Value::Int ? (long double)a.i : (long double)a.r) -
                  (b.kind == Value::Int ? (long double)b.i : (long double)b.r));
    case 2: {
      int c = noCase ? kxstore::compareNoCase(a.s, b.s) : compareBytes(a.s, b.s);
      return (c > 0) - (c < 0);
    }
    default: return compareBytes(a.s, b.s);
  }
}

bool scaleByPowerOf10(std::int64_t& v, std::int32_t power) {
  if (power >= 0) {
    std::int64_t r = v;
    for (std::int32_t i = 0; i < power && r != 0; ++i)
      if (__builtin_mul_overflow(r, std::int64_t(10), &r)) return false;
    v = r;
    return true;
  }
  if (power < -19) {
    v = 0;  // |v| < 9.3e18 < 0.5e20
    return true;
  }
  unsigned __int128 div = 1;
  for (std::int32_t i = 0; i < -power; ++i) div *= 10;
  bool neg = v < 0;
  unsigned __int128 a = neg ? (unsigned __int128)(0ull - static_cast<unsigned long long>(v)) : (unsigned __int128)v;
  unsigned __int128 q = a / div, rem = a % div;
  if (rem * 2 >= div) ++q;  // half away from zero
  v = neg ? -std::int64_t(q) : std::int64_t(q);
  return true;
}

std::string formatDate(int y, int m, int d) {
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", y, m, d);
  return b;
}

std::string formatTime(int h, int mi, int s) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d:%02d:%02d", h, mi, s);
  return b;
}

std::string formatTimestamp(int y, int m, int d, int h, int mi, int s, std::uint32_t fraction) {
  std::string r = formatDate(y, m, d) + " " + formatTime(h, mi, s);
  if (fraction) {
    char b[16];
    std::snprintf(b, sizeof b, ".%07u", fraction);
    std::string f = b;
    while (f.back() == '0') f.pop_back();
    r += f;
  }
  return r;
}

Value encodeValue(const ColumnDef& col, const void* data, std::uint32_t length, const CodecOptions& opt) {
  auto p = static_cast<const unsigned char*>(data);
  if (!p && length > 0) fail(kInvalidParameter, "No data for column " + col.name);
  auto need = [&](std::uint32_t n) {
    if (length < n)
      fail(kBufferSizeMismatch, "Column " + col.name + " needs " + std::to_string(n) + " bytes, " +
                                    std::to_string(length) + " were given");
  };
  bool u = col.native == kxstore::kNativeUnsigned;
  switch (col.colClass) {
    case kxstore::kClassBit:
      need(1);
      return Value::integer(p[0] != 0 ? 1 : 0);
    case kxstore::kClassTinyInt:
      need(1);
      return Value::integer(u ? std::int64_t(p[0]) : std::int64_t(static_cast<std::int8_t>(p[0])));
    case kxstore::kClassSmallInt:
      need(2);
      return Value::integer(u ? std::int64_t(rd16(p)) : std::int64_t(static_cast<std::int16_t>(rd16(p))));
    case kxstore::kClassInteger:
      need(4);
      return Value::integer(u ? std::int64_t(rd32(p)) : std::int64_t(static_cast<std::int32_t>(rd32(p))));
    case kxstore::kClassCurrency:
    case kxstore::kClassDouble: {
      need(8);
      double d;
      std::memcpy(&d, p, 8);
      if (std::isnan(d)) fail(kInvalidParameter, "Column " + col.name + ": not a number");
      return Value::real(d);
    }
    case kxstore::kClassSingle: {
      need(4);
      float f;
      std::memcpy(&f, p, 4);
      if (std::isnan(f)) fail(kInvalidParameter, "Column " + col.name + ": not a number");
      return Value::real(double(f));
    }
    case kxstore::kClassTimestamp: {
      need(16);
      int y = static_cast<std::int16_t>(rd16(p)), m = rd16(p + 2), d = rd16(p + 4), h = rd16(p + 6),
          mi = rd16(p + 8), s = rd16(p + 10);
      std::uint32_t f = rd32(p + 12);
      if (!y && !m && !d && !h && !mi && !s && !f) return Value{};
      if (!validDate(y, m, d) || !validTime(h, mi, s) || f >= 10000000u)
        fail(kInvalidDate, "Column " + col.name + ": invalid timestamp");
      return Value::text(formatTimestamp(y, m, d, h, mi, s, f));
    }
    case kxstore::kClassDate: {
      need(6);
      int y = static_cast<std::int16_t>(rd16(p)), m = rd16(p + 2), d = rd16(p + 4);
      if (!y && !m && !d) return Value{};
      if (!validDate(y, m, d)) fail(kInvalidDate, "Column " + col.name + ": invalid date");
      return Value::text(formatDate(y, m, d));
    }
    case kxstore::kClassTime: {
      need(6);
      int h = rd16(p), mi = rd16(p + 2), s = rd16(p + 4);
      if (!validTime(h, mi, s)) fail(kInvalidDate, "Column " + col.name + ": invalid time");
      return Value::text(formatTime(h, mi, s));
    }
    case kxstore::kClassExactNumeric: {
      need(6);
      std::uint16_t overflow = rd16(p), words = rd16(p + 4);
      int scale = static_cast<std::int16_t>(rd16(p + 2));
      if (overflow) fail(kInvalidParameter, "Column " + col.name + ": the exact numeric is marked as overflowed");
      if (words > 16) fail(kInvalidParameter, "Column " + col.name + ": more than 16 mantissa words");
      need(6u + 2u * words);
      if (words == 0) return Value::integer(0);
      // Two's complement, least significant word first; it must fit 64 bits.
      bool neg = (rd16(p + 6 + 2 * (words - 1)) & 0x8000) != 0;
      std::uint64_t m = 0;
      for (unsigned w = 0; w < 4; ++w) {
        std::uint16_t x = w < words ? rd16(p + 6 + 2 * w) : (neg ? 0xFFFF : 0);
        m |= std::uint64_t(x) << (16 * w);
      }
      for (unsigned w = 4; w < words; ++w)
        if (rd16(p + 6 + 2 * w) != (neg ? 0xFFFF : 0)) fail(kFieldTooLong, "Column " + col.name + ": exact numeric beyond 64 bits");
      std::int64_t mant = static_cast<std::int64_t>(m);
      if ((mant < 0) != neg) fail(kFieldTooLong, "Column " + col.name + ": exact numeric beyond 64 bits");
      if (col.precision > 0 && integerDigits(mant, scale) > col.precision - std::max(0, col.scale))
        fail(kFieldTooLong, "Column " + col.name + ": the value has more digits than the column's precision " +
                                std::to_string(col.precision) + "," + std::to_string(col.scale));
      std::int64_t iv = mant;
      if (scale >= 0 && scaleByPowerOf10(iv, scale)) return Value::integer(iv);
      if (scale < 0) {
        std::int64_t q = mant;
        std::int64_t back = 0;
        if (scaleByPowerOf10(q, scale) && (back = q, scaleByPowerOf10(back, -scale)) && back == mant)
          return Value::integer(q);
      }
      char b[64];
      std::snprintf(b, sizeof b, "%llde%d", static_cast<long long>(mant), scale);
      return Value::real(std::strtod(b, nullptr));
    }
    case kxstore::kClassFixedText:
    case kxstore::kClassVarText:
    case kxstore::kClassLongText: {
      const char* c = reinterpret_cast<const char*>(p);
      size_t n = c ? strnlen(c, length) : 0;
      std::string t(c ? c : "", n);
      if (col.colClass == kxstore::kClassFixedText)
        while (!t.empty() && t.back() == ' ') t.pop_back();
      if (col.colClass != kxstore::kClassLongText && t.size() > col.size)
        fail(kFieldTooLong, "Column " + col.name + " holds at most " + std::to_string(col.size) + " bytes");
      return Value::text(opt.oem ? toOem(t) : t);
    }
    case kxstore::kClassVarBinary: {
      need(2);
      std::uint16_t n = rd16(p);
      if (n > length - 2) fail(kInvalidParameter, "Column " + col.name + ": the length prefix exceeds the data");
      if (n > col.size - 2) fail(kFieldTooLong, "Column " + col.name + " holds at most " + std::to_string(col.size - 2) + " bytes");
      return Value::blob(std::string(reinterpret_cast<const char*>(p + 2), n));
    }
    case kxstore::kClassBinary: {
      if (length > col.size) fail(kFieldTooLong, "Column " + col.name + " holds " + std::to_string(col.size) + " bytes");
      std::string b(reinterpret_cast<const char*>(p), length);
      b.resize(col.size, '\0');
      return Value::blob(b);
    }
    default:  // long binary and unknown classes: raw bytes
      return Value::blob(std::string(reinterpret_cast<const char*>(p), length));
  }
}

std::int32_t decodeValue(const ColumnDef& col, const ValueRef& v, void* buf, std::uint32_t size, std::uint32_t& actual,
                         const CodecOptions& opt) {
  auto out = static_cast<unsigned char*>(buf);
  actual = 0;
  auto need = [&](std::uint32_t n) {
    if (size < n) fail(kBufferTooSmall, "Column " + col.name + " needs a buffer of " + std::to_string(n) + " bytes");
  };
  switch (col.colClass) {
    case kxstore::kClassBit:
      need(1);
      out[0] = storedInteger(col, v) != 0 ? 1 : 0;
      actual = 1;
      return kOk;
    case kxstore::kClassTinyInt:
    case kxstore::kClassSmallInt:
    case kxstore::kClassInteger: {
      std::int64_t x = storedInteger(col, v), lo, hi;
      integerRange(col, lo, hi);
      if (x < lo || x > hi)
        fail(kBufferSizeMismatch, "The value " + std::to_string(x) + " of column " + col.name + " does not fit its type");
      std::uint32_t n = col.colClass == kxstore::kClassTinyInt ? 1 : col.colClass == kxstore::kClassSmallInt ? 2 : 4;
      need(n);
      for (std::uint32_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(std::uint64_t(x) >> (8 * i));
      actual = n;
      return kOk;
    }
    case kxstore::kClassCurrency:
    case kxstore::kClassDouble: {
      need(8);
      double d = storedReal(col, v);
      std::memcpy(out, &d, 8);
      actual = 8;
      return kOk;
    }
    case kxstore::kClassSingle: {
      need(4);
      float f = float(storedReal(col, v));
      std::memcpy(out, &f, 4);
      actual = 4;
      return kOk;
    }
    case kxstore::kClassTimestamp:
    case kxstore::kClassDate:
    case kxstore::kClassTime: {
      Timestamp ts;
      if (v.kind != Value::Text || !parseTemporal(std::string(v.s), col.colClass, ts))
        fail(kInvalidDate, "The value stored in column " + col.name + " is not a valid date or time");
      if (col.colClass == kxstore::kClassTimestamp) {
        need(16);
        wr16(out, std::uint16_t(ts.y));
        wr16(out + 2, std::uint16_t(ts.m));
        wr16(out + 4, std::uint16_t(ts.d));
        wr16(out + 6, std::uint16_t(ts.h));
        wr16(out + 8, std::uint16_t(ts.mi));
        wr16(out + 10, std::uint16_t(ts.s));
        wr32(out + 12, ts.frac);
        actual = 16;
      } else if (col.colClass == kxstore::kClassDate) {
        need(6);
        wr16(out, std::uint16_t(ts.y));
        wr16(out + 2, std::uint16_t(ts.m));
        wr16(out + 4, std::uint16_t(ts.d));
        actual = 6;
      } else {
        need(6);
        wr16(out, std::uint16_t(ts.h));
        wr16(out + 2, std::uint16_t(ts.mi));
        wr16(out + 4, std::uint16_t(ts.s));
        actual = 6;
      }
      return kOk;
    }
    case kxstore::kClassExactNumeric: {
      need(38);
      std::int64_t m = 0;
      int e = 0;
      if (v.kind == Value::Int) {
        m = v.i;
      } else if (v.kind == Value::Real) {
        if (!std::isfinite(v.r)) fail(kBufferSizeMismatch, "Column " + col.name + " holds an infinite value");
        char b[64];
        std::snprintf(b, sizeof b, "%.15g", v.r);
        parseDecimal(b, m, e);
      } else if (v.kind == Value::Text) {
        if (!parseDecimal(v.s, m, e)) fail(kBufferSizeMismatch, "The value stored in column " + col.name + " is not a number");
      } else {
        fail(kBufferSizeMismatch, "The value stored in column " + col.name + " is not a number");
      }
      // Show at least the column's decimals when the mantissa has room.
      while (e > -col.scale) {
        std::int64_t t = m;
        if (!scaleByPowerOf10(t, 1)) break;
        m = t;
        --e;
      }
      std::memset(out, 0, 38);
      wr16(out + 2, static_cast<std::uint16_t>(static_cast<std::int16_t>(e)));
      wr16(out + 4, 4);
      for (int w = 0; w < 4; ++w) wr16(out + 6 + 2 * w, static_cast<std::uint16_t>(std::uint64_t(m) >> (16 * w)));
      actual = 38;
      return kOk;
    }
    case kxstore::kClassFixedText: {
      std::string scratch;
      std::string_view t = textOf(v, scratch);
      std::string conv;
      if (opt.oem) t = conv = fromOem(t);
      if (t.size() < col.size) {
        // Padded with blanks to the column size.
        if (conv.empty()) conv.assign(t.data(), t.size());
        conv.resize(col.size, ' ');
        t = conv;
      }
      return putText(t, buf, size, actual);
    }
    case kxstore::kClassVarText:
    case kxstore::kClassLongText: {
      std::string scratch;
      std::string_view t = textOf(v, scratch);
      if (!opt.oem) return putText(t, buf, size, actual);
      std::string conv = fromOem(t);
      return putText(conv, buf, size, actual);
    }
    case kxstore::kClassVarBinary: {
      need(2);
      std::string scratch;
      std::string_view b = textOf(v, scratch);
      std::uint32_t n = std::uint32_t(std::min<size_t>(b.size(), std::min<std::uint32_t>(size - 2, 0xFFFF)));
      wr16(out, std::uint16_t(n));
      std::memcpy(out + 2, b.data(), n);
      actual = n + 2;
      return n < b.size() ? kTruncated : kOk;
    }
    default: {  // binary and unknown classes: raw bytes
      std::string scratch;
      std::string_view b = textOf(v, scratch);
      std::uint32_t n = std::uint32_t(std::min<size_t>(b.size(), size));
      std::memcpy(out, b.data(), n);
      if (col.colClass == kxstore::kClassBinary && n < size && n < col.size)
        std::memset(out + n, 0, std::min(size, col.size) - n);
      actual = col.colClass == kxstore::kClassBinary ? std::min(size, std::max<std::uint32_t>(n, col.size)) : n;
      return n < b.size() ? kTruncated : kOk;
    }
  }
}

Value defaultValue(const ColumnDef& col) {
  if (!col.defaultValue) return Value{};
  const std::string& d = *col.defaultValue;
  switch (col.colClass) {
    case kxstore::kClassBit:
    case kxstore::kClassTinyInt:
    case kxstore::kClassSmallInt:
    case kxstore::kClassInteger: {
      std::int64_t m;
      int e;
      if (parseDecimal(d, m, e) && scaleByPowerOf10(m, e)) return Value::integer(col.colClass == kxstore::kClassBit ? m != 0 : m);
      std::string up = d;
      for (char& c : up) c = char(std::toupper(static_cast<unsigned char>(c)));
      if (col.colClass == kxstore::kClassBit && (up == "TRUE" || up == "FALSE")) return Value::integer(up == "TRUE");
      return Value{};
    }
    case kxstore::kClassCurrency:
    case kxstore::kClassSingle:
    case kxstore::kClassDouble: {
      char* end = nullptr;
      double x = std::strtod(d.c_str(), &end);
      return (end && *end == '\0' && !d.empty()) ? Value::real(x) : Value{};
    }
    case kxstore::kClassExactNumeric: {
      std::int64_t m;
      int e;
      if (!parseDecimal(d, m, e)) return Value{};
      std::int64_t iv = m;
      if (e >= 0 && scaleByPowerOf10(iv, e)) return Value::integer(iv);
      return Value::real(std::strtod(d.c_str(), nullptr));
    }
    case kxstore::kClassTimestamp:
    case kxstore::kClassDate:
    case kxstore::kClassTime: {
      Timestamp ts;
      if (!parseTemporal(d, col.colClass, ts)) return Value{};
      if (col.colClass == kxstore::kClassDate) return Value::text(formatDate(ts.y, ts.m, ts.d));
      if (col.colClass == kxstore::kClassTime) return Value::text(formatTime(ts.h, ts.mi, ts.s));
      return Value::text(formatTimestamp(ts.y, ts.m, ts.d, ts.h, ts.mi, ts.s, ts.frac));
    }
    case kxstore::kClassFixedText:
    case kxstore::kClassVarText:
    case kxstore::kClassLongText: {
      std::string t = d;
      if (col.colClass == kxstore::kClassFixedText)
        while (!t.empty() && t.back() == ' ') t.pop_back();
      if (col.colClass != kxstore::kClassLongText && t.size() > col.size) t.resize(col.size);
      if (col.colClass == kxstore::kClassLongText && t.empty()) return Value{};
      return Value::text(t);
    }
    default: return d.empty() ? Value{} : Value::blob(d);
  }
}

}  // namespace rcx
