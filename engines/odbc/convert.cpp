#include "engines/odbc/convert.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "engines/odbc/types.h"

namespace kxodbc {

namespace {

std::string trimmed(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '\n')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n' || s[b - 1] == 0))
    --b;
  return std::string(s.substr(a, b - a));
}

// Parses a number in text; integral values keep full 64-bit precision.
bool parseNumber(std::string_view text, bool& isInt, int64_t& i, double& d) {
  std::string s = trimmed(text);
  if (s.empty()) return false;
  const char* b = s.data();
  const char* e = b + s.size();
  const char* ib = (*b == '+') ? b + 1 : b;
  auto r = std::from_chars(ib, e, i);
  if (r.ec == std::errc() && r.ptr == e) {
    isInt = true;
    d = static_cast<double>(i);
    return true;
  }
  auto rd = std::from_chars(ib, e, d);
  if (rd.ec == std::errc() && rd.ptr == e) {
    isInt = false;
    return std::isfinite(d) || true;
  }
  if (rd.ec == std::errc::result_out_of_range) {
    isInt = false;
    d = (*ib == '-') ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  return false;
}

// Numeric value of a view for the numeric C types.
void numericOf(const ValView& v, bool& isInt, int64_t& i, double& d) {
  switch (v.kind) {
    case VK::Int:
      isInt = true;
      i = v.i;
      d = static_cast<double>(v.i);
      return;
    case VK::Real:
      isInt = false;
      d = v.d;
      return;
    case VK::Text:
      if (parseNumber(std::string_view(v.p, v.n), isInt, i, d)) return;
      fail("22018", "Invalid character value for cast specification");
    case VK::Blob:
    case VK::Null:
      break;
  }
  fail("07006", "Restricted data type attribute violation");
}

template <class T>
int putInteger(const ValView& v, void* dst) {
  bool isInt = false;
  int64_t i = 0;
  double d = 0;
  numericOf(v, isInt, i, d);
  int status = kOutOk;
  if (!isInt) {
    // The target's range as exact powers of two, so that no value near the top of a 64-bit type
    // slips through a rounded comparison into an overflowing cast.
    const double hiExclusive = std::ldexp(1.0, std::numeric_limits<T>::digits);
    const double lo = std::is_signed_v<T> ? -hiExclusive : 0.0;
    double t = std::isfinite(d) ? std::trunc(d) : d;
    if (!(t >= lo && t < hiExclusive)) fail("22003", "Numeric value out of range");
    if (t != d) status = kOutFraction;
    T out = static_cast<T>(t);
    std::memcpy(dst, &out, sizeof(T));
    return status;
  }
  if constexpr (std::is_unsigned_v<T>) {
    if (i < 0 || static_cast<uint64_t>(i) > std::numeric_limits<T>::max()) fail("22003", "Numeric value out of range");
  } else {
    if (i < static_cast<int64_t>(std::numeric_limits<T>::min()) || i > static_cast<int64_t>(std::numeric_limits<T>::max()))
      fail("22003", "Numeric value out of range");
  }
  T out = static_cast<T>(i);
  std::memcpy(dst, &out, sizeof(T));
  return status;
}

void setLen(const OutTarget& t, SQLLEN n) {
  if (t.ind) *t.ind = n;
  if (t.len && t.len != t.ind) *t.len = n;
}

size_t utf8Back(const char* p, size_t n) {
  // Largest prefix length <= n that does not end inside a multi-byte character.
  size_t k = n;
  while (k > 0 && (static_cast<unsigned char>(p[k]) & 0xC0) == 0x80) --k;
  return k;
}

// Character output with piecewise support.
int putChars(std::string_view src, const OutTarget& t, size_t* offset) {
  size_t start = offset ? *offset : 0;
  if (offset && start > 0 && start >= src.size()) return kOutNoData;
  size_t remaining = src.size() - start;
  setLen(t, static_cast<SQLLEN>(remaining));
  if (!t.ptr) return kOutOk;
  if (t.bufLen <= 0) return remaining == 0 ? kOutOk : kOutTruncated;
  size_t room = static_cast<size_t>(t.bufLen) - 1;
  char* dst = static_cast<char*>(t.ptr);
  if (remaining <= room) {
    std::memcpy(dst, src.data() + start, remaining);
    dst[remaining] = 0;
    if (offset) *offset = src.size() + (src.empty() ? 1 : 0);
    return kOutOk;
  }
  size_t take = room;
  if (take > 0 && start + take < src.size()) {
    size_t back = utf8Back(src.data() + start, take);
    if (back > 0) take = back;
  }
  std::memcpy(dst, src.data() + start, take);
  dst[take] = 0;
  if (offset) *offset = start + take;
  return kOutTruncated;
}

int putWChars(std::string_view utf8, const OutTarget& t, size_t* offset) {
  std::u16string w = utf8ToUtf16(utf8);
  size_t total = w.size() * 2;
  size_t start = offset ? *offset : 0;
  if (offset && start > 0 && start >= total) return kOutNoData;
  size_t remaining = total - start;
  setLen(t, static_cast<SQLLEN>(remaining));
  if (!t.ptr) return kOutOk;
  if (t.bufLen < 2) return remaining == 0 ? kOutOk : kOutTruncated;
  size_t room = (static_cast<size_t>(t.bufLen) / 2 - 1) * 2;
  char* dst = static_cast<char*>(t.ptr);
  const char* srcBytes = reinterpret_cast<const char*>(w.data());
  size_t take = remaining <= room ? remaining : room;
  // Keep surrogate pairs whole.
  if (take < remaining && take >= 2) {
    char16_t last = w[(start + take) / 2 - 1];
    if (last >= 0xD800 && last <= 0xDBFF) take -= 2;
  }
  std::memcpy(dst, srcBytes + start, take);
  dst[take] = 0;
  dst[take + 1] = 0;
  if (offset) *offset = start + take + (total == 0 ? 2 : 0);
  return take < remaining ? kOutTruncated : kOutOk;
}

int putBytes(std::string_view src, const OutTarget& t, size_t* offset) {
  size_t start = offset ? *offset : 0;
  if (offset && start > 0 && start >= src.size()) return kOutNoData;
  size_t remaining = src.size() - start;
  setLen(t, static_cast<SQLLEN>(remaining));
  if (!t.ptr) return kOutOk;
  size_t room = t.bufLen > 0 ? static_cast<size_t>(t.bufLen) : 0;
  size_t take = remaining <= room ? remaining : room;
  if (take) std::memcpy(t.ptr, src.data() + start, take);
  if (offset) *offset = start + take + (src.empty() ? 1 : 0);
  return take < remaining ? kOutTruncated : kOutOk;
}

// Text form of a value as the column's SQL type presents it.
std::string textOf(const ValView& v, const ColType& col) {
  switch (v.kind) {
    case VK::Int:
      if ((col.sqlType == SQL_NUMERIC || col.sqlType == SQL_DECIMAL) && col.digits > 0)
        return formatNumeric(v, col.digits);
      return std::to_string(v.i);
    case VK::Real:
      if (col.sqlType == SQL_NUMERIC || col.sqlType == SQL_DECIMAL) return formatNumeric(v, col.digits);
      return formatReal(v.d, col.sqlType == SQL_REAL);
    case VK::Text: {
      std::string s(v.p, v.n);
      if ((col.sqlType == SQL_NUMERIC || col.sqlType == SQL_DECIMAL) && col.digits > 0) {
        bool isInt;
        int64_t i;
        double d;
        if (parseNumber(s, isInt, i, d)) return formatNumeric(v, col.digits);
      }
      if ((col.sqlType == SQL_CHAR || col.sqlType == SQL_WCHAR) && col.size > 0 && col.size < 65536) {
        size_t chars = utf8Chars(s);
        if (chars < col.size) s.append(col.size - chars, ' ');
      }
      return s;
    }
    case VK::Blob:
      return hexEncode(v.p, v.n);
    case VK::Null:
      break;
  }
  return {};
}

DateTime dateTimeOf(const ValView& v) {
  DateTime dt;
  if (v.kind == VK::Text && parseDateTime(std::string_view(v.p, v.n), dt)) return dt;
  if (v.kind == VK::Text) fail("22018", "Invalid character value for cast specification");
  fail("07006", "Restricted data type attribute violation");
}

void today(DateTime& dt) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  dt.year = tm.tm_year + 1900;
  dt.month = tm.tm_mon + 1;
  dt.day = tm.tm_mday;
}

int putNumericStruct(const ValView& v, const ColType& col, const OutTarget& t) {
  std::string text;
  if (v.kind == VK::Int) {
    text = std::to_string(v.i);
  } else {
    bool isInt;
    int64_t i;
    double d;
    numericOf(v, isInt, i, d);
    text = isInt ? std::to_string(i) : formatNumeric(v, t.scale > 0 ? t.scale : col.digits);
  }
  SQL_NUMERIC_STRUCT ns{};
  int scale = t.scale;
  // Scale the decimal text by 10^scale into an unsigned 128-bit little-endian integer.
  bool neg = !text.empty() && text[0] == '-';
  std::string digits;
  int fracDigits = 0;
  bool inFrac = false;
  for (char c : text) {
    if (c == '.') {
      inFrac = true;
      continue;
    }
    if (c < '0' || c > '9') continue;
    if (inFrac) {
      if (fracDigits >= scale) continue;
      ++fracDigits;
    }
    digits += c;
  }
  int status = kOutOk;
  while (fracDigits < scale) {
    digits += '0';
    ++fracDigits;
  }
  unsigned __int128 acc = 0;
  for (char c : digits) {
    unsigned __int128 next = acc * 10 + static_cast<unsigned>(c - '0');
    if (next / 10 != acc) fail("22003", "Numeric value out of range");
    acc = next;
  }
  ns.precision = static_cast<SQLCHAR>(t.precision > 0 ? t.precision : 38);
  ns.scale = static_cast<SQLSCHAR>(scale);
  ns.sign = neg ? 0 : 1;
  for (int k = 0; k < SQL_MAX_NUMERIC_LEN; ++k) {
    ns.val[k] = static_cast<SQLCHAR>(acc & 0xFF);
    acc >>= 8;
  }
  std::memcpy(t.ptr, &ns, sizeof ns);
  setLen(t, sizeof ns);
  return status;
}

}  // namespace

std::string formatReal(double d, bool single) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Inf" : "Inf";
  char buf[64];
  std::to_chars_result r =
      single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d)) : std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

std::string formatNumeric(const ValView& v, SQLSMALLINT scale) {
  if (scale < 0) scale = 0;
  if (v.kind == VK::Int) {
    std::string s = std::to_string(v.i);
    if (scale > 0) s += "." + std::string(static_cast<size_t>(scale), '0');
    return s;
  }
  double d = v.d;
  if (v.kind == VK::Text) {
    bool isInt;
    int64_t i;
    if (!parseNumber(std::string_view(v.p, v.n), isInt, i, d)) return std::string(v.p, v.n);
    if (isInt) {
      ValView w;
      w.kind = VK::Int;
      w.i = i;
      return formatNumeric(w, scale);
    }
  }
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(scale > 100 ? 100 : scale), d);
  if (n < 0 || n >= static_cast<int>(sizeof buf)) return formatReal(d, false);
  return std::string(buf, static_cast<size_t>(n));
}

std::string hexEncode(const void* p, size_t n) {
  static const char* digits = "0123456789ABCDEF";
  const auto* b = static_cast<const unsigned char*>(p);
  std::string s;
  s.resize(n * 2);
  for (size_t k = 0; k < n; ++k) {
    s[2 * k] = digits[b[k] >> 4];
    s[2 * k + 1] = digits[b[k] & 15];
  }
  return s;
}

bool hexDecode(std::string_view s, std::string& out) {
  if (s.size() % 2) return false;
  out.resize(s.size() / 2);
  auto nib = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t k = 0; k < out.size(); ++k) {
    int h = nib(s[2 * k]), l = nib(s[2 * k + 1]);
    if (h < 0 || l < 0) return false;
    out[k] = static_cast<char>(h * 16 + l);
  }
  return true;
}

bool parseDateTime(std::string_view in, DateTime& dt) {
  std::string s = trimmed(in);
  dt = DateTime{};
  size_t i = 0;
  auto num = [&](int maxDigits, int& out) {
    int v = 0, k = 0;
    while (i < s.size() && k < maxDigits && s[i] >= '0' && s[i] <= '9') {
      v = v * 10 + (s[i] - '0');
      ++i;
      ++k;
    }
    out = v;
    return k > 0;
  };
  auto lit = [&](char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  };
  size_t save = i;
  int y, mo, d;
  bool neg = lit('-');
  if (num(5, y) && lit('-') && num(2, mo) && lit('-') && num(2, d)) {
    dt.year = neg ? -y : y;
    dt.month = mo;
    dt.day = d;
    dt.hasDate = true;
    if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) {
      ++i;
      while (i < s.size() && s[i] == ' ') ++i;
    }
  } else {
    i = save;
  }
  if (i < s.size()) {
    int h, mi, sec = 0;
    if (!(num(2, h) && lit(':') && num(2, mi))) return false;
    if (lit(':') && !num(2, sec)) return false;
    dt.hour = h;
    dt.minute = mi;
    dt.second = sec;
    dt.hasTime = true;
    if (lit('.')) {
      uint32_t frac = 0;
      int k = 0;
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (k < 9) frac = frac * 10 + static_cast<uint32_t>(s[i] - '0');
        ++k;
        ++i;
      }
      for (int z = k; z < 9; ++z) frac *= 10;
      dt.fraction = frac;
    }
    // A trailing zone designator is accepted and ignored.
    if (i < s.size() && (s[i] == 'Z' || s[i] == '+' || s[i] == '-')) i = s.size();
  }
  if (i != s.size()) return false;
  if (!dt.hasDate && !dt.hasTime) return false;
  bool allZero = dt.year == 0 && dt.month == 0 && dt.day == 0;
  if (dt.hasDate && !allZero && (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.day > 31)) return false;
  if (dt.hasTime && (dt.hour > 23 || dt.minute > 59 || dt.second > 61)) return false;
  return true;
}

std::string formatDate(const DateTime& dt) {
  char b[32];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", dt.year, dt.month, dt.day);
  return b;
}

std::string formatTime(const DateTime& dt) {
  char b[32];
  std::snprintf(b, sizeof b, "%02d:%02d:%02d", dt.hour, dt.minute, dt.second);
  return b;
}

std::string formatTimestamp(const DateTime& dt) {
  std::string s = formatDate(dt) + " " + formatTime(dt);
  // The engines' shared format: up to seven fraction digits, trailing zeros dropped, so that
  // equal instants are equal texts.
  uint32_t frac7 = dt.fraction / 100;
  if (frac7) {
    char f[16];
    std::snprintf(f, sizeof f, ".%07u", frac7);
    std::string frac(f);
    while (frac.back() == '0') frac.pop_back();
    s += frac;
  }
  return s;
}

SQLSMALLINT resolveCType(SQLSMALLINT ctype, SQLSMALLINT sqlType) {
  if (ctype != SQL_C_DEFAULT) return ctype;
  return defaultCType(sqlType);
}

int convertOut(const ValView& v, const ColType& col, const OutTarget& t, size_t* offset) {
  if (v.kind == VK::Null) {
    if (offset && *offset > 0) return kOutNoData;
    if (!t.ind) fail("22002", "Indicator variable required but not supplied");
    *t.ind = SQL_NULL_DATA;
    if (offset) *offset = 1;
    return kOutOk;
  }
  switch (t.ctype) {
    case SQL_C_CHAR:
      if (v.kind == VK::Text && !(col.sqlType == SQL_CHAR || col.sqlType == SQL_WCHAR) &&
          !((col.sqlType == SQL_NUMERIC || col.sqlType == SQL_DECIMAL) && col.digits > 0))
        return putChars(std::string_view(v.p, v.n), t, offset);
      return putChars(textOf(v, col), t, offset);
    case SQL_C_WCHAR:
      if (v.kind == VK::Text && !(col.sqlType == SQL_CHAR || col.sqlType == SQL_WCHAR))
        return putWChars(std::string_view(v.p, v.n), t, offset);
      return putWChars(textOf(v, col), t, offset);
    case SQL_C_BINARY: {
      if (v.kind == VK::Blob) return putBytes(std::string_view(v.p, v.n), t, offset);
      if (v.kind == VK::Text) {
        // Binary columns may hold their value as hexadecimal text (written by literal).
        std::string bytes;
        if (isBinaryType(col.sqlType) && hexDecode(std::string_view(v.p, v.n), bytes)) return putBytes(bytes, t, offset);
        return putBytes(std::string_view(v.p, v.n), t, offset);
      }
      if (offset && *offset > 0) return kOutNoData;
      char raw[8];
      if (v.kind == VK::Int)
        std::memcpy(raw, &v.i, 8);
      else
        std::memcpy(raw, &v.d, 8);
      return putBytes(std::string_view(raw, 8), t, offset);
    }
    default:
      break;
  }
  // Fixed-size targets: a second SQLGetData on the same column has no more data.
  if (offset && *offset > 0) return kOutNoData;
  if (offset) *offset = 1;
  int status = kOutOk;
  void* dst = t.ptr;
  switch (t.ctype) {
    case SQL_C_BIT: {
      bool isInt;
      int64_t i;
      double d;
      numericOf(v, isInt, i, d);
      if (!isInt) {
        if (d < 0 || d >= 2) fail("22003", "Numeric value out of range");
        if (d != 0 && d != 1) status = kOutFraction;
        i = static_cast<int64_t>(d);
      }
      if (i < 0 || i > 1) fail("22003", "Numeric value out of range");
      *static_cast<unsigned char*>(dst) = static_cast<unsigned char>(i);
      setLen(t, 1);
      return status;
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      status = putInteger<signed char>(v, dst);
      setLen(t, 1);
      return status;
    case SQL_C_UTINYINT:
      status = putInteger<unsigned char>(v, dst);
      setLen(t, 1);
      return status;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      status = putInteger<int16_t>(v, dst);
      setLen(t, 2);
      return status;
    case SQL_C_USHORT:
      status = putInteger<uint16_t>(v, dst);
      setLen(t, 2);
      return status;
    case SQL_C_LONG:
    case SQL_C_SLONG:
      status = putInteger<int32_t>(v, dst);
      setLen(t, 4);
      return status;
    case SQL_C_ULONG:
      status = putInteger<uint32_t>(v, dst);
      setLen(t, 4);
      return status;
    case SQL_C_SBIGINT:
      status = putInteger<int64_t>(v, dst);
      setLen(t, 8);
      return status;
    case SQL_C_UBIGINT:
      status = putInteger<uint64_t>(v, dst);
      setLen(t, 8);
      return status;
    case SQL_C_FLOAT: {
      bool isInt;
      int64_t i;
      double d;
      numericOf(v, isInt, i, d);
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) fail("22003", "Numeric value out of range");
      float f = static_cast<float>(d);
      std::memcpy(dst, &f, 4);
      setLen(t, 4);
      return kOutOk;
    }
    case SQL_C_DOUBLE: {
      bool isInt;
      int64_t i;
      double d;
      numericOf(v, isInt, i, d);
      std::memcpy(dst, &d, 8);
      setLen(t, 8);
      return kOutOk;
    }
    case SQL_C_NUMERIC:
      return putNumericStruct(v, col, t);
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
      DateTime dt = dateTimeOf(v);
      if (!dt.hasDate) today(dt);
      SQL_DATE_STRUCT ds{static_cast<SQLSMALLINT>(dt.year), static_cast<SQLUSMALLINT>(dt.month),
                         static_cast<SQLUSMALLINT>(dt.day)};
      std::memcpy(dst, &ds, sizeof ds);
      setLen(t, sizeof ds);
      return dt.hasTime && (dt.hour || dt.minute || dt.second || dt.fraction) ? kOutFraction : kOutOk;
    }
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
      DateTime dt = dateTimeOf(v);
      SQL_TIME_STRUCT ts{static_cast<SQLUSMALLINT>(dt.hour), static_cast<SQLUSMALLINT>(dt.minute),
                         static_cast<SQLUSMALLINT>(dt.second)};
      std::memcpy(dst, &ts, sizeof ts);
      setLen(t, sizeof ts);
      return dt.fraction ? kOutFraction : kOutOk;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      DateTime dt = dateTimeOf(v);
      if (!dt.hasDate) today(dt);
      SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(dt.year), static_cast<SQLUSMALLINT>(dt.month),
                              static_cast<SQLUSMALLINT>(dt.day),  static_cast<SQLUSMALLINT>(dt.hour),
                              static_cast<SQLUSMALLINT>(dt.minute), static_cast<SQLUSMALLINT>(dt.second),
                              dt.fraction};
      std::memcpy(dst, &ts, sizeof ts);
      setLen(t, sizeof ts);
      return kOutOk;
    }
    case SQL_C_GUID: {
      std::string s = v.kind == VK::Text ? std::string(v.p, v.n) : std::string();
      std::string hex;
      for (char c : s)
        if (c != '-' && c != '{' && c != '}') hex += c;
      std::string bytes;
      if (hex.size() != 32 || !hexDecode(hex, bytes)) fail("22018", "Invalid character value for cast specification");
      SQLGUID g{};
      auto b = reinterpret_cast<const unsigned char*>(bytes.data());
      g.Data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
      g.Data2 = static_cast<unsigned short>((b[4] << 8) | b[5]);
      g.Data3 = static_cast<unsigned short>((b[6] << 8) | b[7]);
      std::memcpy(g.Data4, b + 8, 8);
      std::memcpy(dst, &g, sizeof g);
      setLen(t, sizeof g);
      return kOutOk;
    }
    default:
      fail("HY003", "Invalid application buffer type");
  }
}

SQLLEN inputLength(SQLSMALLINT ctype, const void* ptr, SQLLEN ind, SQLLEN bufLen) {
  if (ctype == SQL_C_CHAR) {
    const char* p = static_cast<const char*>(ptr);
    if (ind == SQL_NTS) return static_cast<SQLLEN>(std::strlen(p));
    // A NUL inside the stated length ends the text (some callers pass the whole slot).
    const void* nul = std::memchr(p, 0, static_cast<size_t>(ind));
    return nul ? static_cast<SQLLEN>(static_cast<const char*>(nul) - p) : ind;
  }
  if (ctype == SQL_C_WCHAR) {
    const auto* w = static_cast<const SQLWCHAR*>(ptr);
    if (ind == SQL_NTS) {
      SQLLEN n = 0;
      while (w[n]) ++n;
      return n * 2;
    }
    SQLLEN chars = ind / 2;
    for (SQLLEN k = 0; k < chars; ++k)
      if (w[k] == 0) return k * 2;
    return chars * 2;
  }
  if (ctype == SQL_C_BINARY) {
    if (ind == SQL_NTS) return bufLen;
    return ind;
  }
  return cTypeSize(ctype);
}

Value convertIn(SQLSMALLINT ctype, SQLSMALLINT sqlType, SQLSMALLINT digits, const void* ptr, SQLLEN len) {
  ctype = resolveCType(ctype, sqlType);
  auto fromText = [&](std::string s) -> Value {
    if (isBinaryType(sqlType)) {
      std::string bytes;
      if (!hexDecode(trimmed(s), bytes)) fail("22018", "Invalid character value for cast specification");
      return Value::blob(std::move(bytes));
    }
    if (isIntegerType(sqlType) || isApproxType(sqlType) || sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
      bool isInt;
      int64_t i;
      double d;
      if (!parseNumber(s, isInt, i, d)) fail("22018", "Invalid character value for cast specification");
      if (sqlType == SQL_BIT) {
        if (!(isInt && (i == 0 || i == 1))) fail("22018", "Invalid character value for cast specification");
        return Value::integer(i);
      }
      if (isIntegerType(sqlType) && !isInt) {
        if (d != std::trunc(d) || std::fabs(d) > 9.2e18) fail("22018", "Invalid character value for cast specification");
        return Value::integer(static_cast<int64_t>(d));
      }
      if (isInt) {
        if (isApproxType(sqlType)) return Value::real(static_cast<double>(i));
        return Value::integer(i);
      }
      if (sqlType == SQL_REAL) d = static_cast<float>(d);
      (void)digits;
      return Value::real(d);
    }
    if (isTemporalType(sqlType)) {
      DateTime dt;
      if (!parseDateTime(s, dt)) fail("22007", "Invalid datetime format");
      switch (sqlType) {
        case SQL_TYPE_DATE:
        case SQL_DATE:
          if (!dt.hasDate) fail("22007", "Invalid datetime format");
          return Value::text(formatDate(dt));
        case SQL_TYPE_TIME:
        case SQL_TIME:
          if (!dt.hasTime) fail("22007", "Invalid datetime format");
          return Value::text(formatTime(dt));
        default:
          if (!dt.hasDate) fail("22007", "Invalid datetime format");
          return Value::text(formatTimestamp(dt));
      }
    }
    // Fixed-length text is stored without its padding, as both engines keep it.
    if (sqlType == SQL_CHAR || sqlType == SQL_WCHAR)
      while (!s.empty() && s.back() == ' ') s.pop_back();
    return Value::text(std::move(s));
  };
  auto fromInt = [&](int64_t i) -> Value {
    if (isCharType(sqlType)) return Value::text(std::to_string(i));
    if (isApproxType(sqlType)) return Value::real(static_cast<double>(i));
    if (sqlType == SQL_BIT) return Value::integer(i != 0);
    return Value::integer(i);
  };
  auto fromDouble = [&](double d) -> Value {
    if (isCharType(sqlType)) return Value::text(formatReal(d, false));
    if (isIntegerType(sqlType)) {
      if (!std::isfinite(d) || std::fabs(d) > 9.2e18) fail("22003", "Numeric value out of range");
      if (sqlType == SQL_BIT) return Value::integer(d != 0);
      return Value::integer(static_cast<int64_t>(std::trunc(d)));
    }
    if (sqlType == SQL_REAL) d = static_cast<float>(d);
    return Value::real(d);
  };
  switch (ctype) {
    case SQL_C_CHAR:
      return fromText(std::string(static_cast<const char*>(ptr), static_cast<size_t>(len)));
    case SQL_C_WCHAR:
      return fromText(utf16ToUtf8(static_cast<const SQLWCHAR*>(ptr), len / 2));
    case SQL_C_BINARY: {
      std::string bytes(static_cast<const char*>(ptr), static_cast<size_t>(len));
      if (isCharType(sqlType)) return Value::text(std::move(bytes));
      return Value::blob(std::move(bytes));
    }
    case SQL_C_BIT: {
      // Any non-zero byte is true (a two-byte Boolean of -1 arrives as 0xFF).
      unsigned char b = *static_cast<const unsigned char*>(ptr);
      return fromInt(b != 0 ? 1 : 0);
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      return fromInt(*static_cast<const signed char*>(ptr));
    case SQL_C_UTINYINT:
      return fromInt(*static_cast<const unsigned char*>(ptr));
    case SQL_C_SHORT:
    case SQL_C_SSHORT: {
      int16_t x;
      std::memcpy(&x, ptr, 2);
      return fromInt(x);
    }
    case SQL_C_USHORT: {
      uint16_t x;
      std::memcpy(&x, ptr, 2);
      return fromInt(x);
    }
    case SQL_C_LONG:
    case SQL_C_SLONG: {
      int32_t x;
      std::memcpy(&x, ptr, 4);
      return fromInt(x);
    }
    case SQL_C_ULONG: {
      uint32_t x;
      std::memcpy(&x, ptr, 4);
      return fromInt(x);
    }
    case SQL_C_SBIGINT: {
      int64_t x;
      std::memcpy(&x, ptr, 8);
      return fromInt(x);
    }
    case SQL_C_UBIGINT: {
      uint64_t x;
      std::memcpy(&x, ptr, 8);
      if (x > static_cast<uint64_t>(INT64_MAX)) return fromDouble(static_cast<double>(x));
      return fromInt(static_cast<int64_t>(x));
    }
    case SQL_C_FLOAT: {
      float f;
      std::memcpy(&f, ptr, 4);
      return fromDouble(f);
    }
    case SQL_C_DOUBLE: {
      double d;
      std::memcpy(&d, ptr, 8);
      return fromDouble(d);
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT ns;
      std::memcpy(&ns, ptr, sizeof ns);
      unsigned __int128 acc = 0;
      for (int k = SQL_MAX_NUMERIC_LEN - 1; k >= 0; --k) acc = (acc << 8) | ns.val[k];
      std::string digitsText;
      if (acc == 0) digitsText = "0";
      while (acc > 0) {
        digitsText.insert(digitsText.begin(), static_cast<char>('0' + static_cast<int>(acc % 10)));
        acc /= 10;
      }
      int scale = ns.scale;
      std::string text;
      if (scale > 0) {
        if (static_cast<int>(digitsText.size()) <= scale)
          digitsText.insert(0, static_cast<size_t>(scale - static_cast<int>(digitsText.size()) + 1), '0');
        text = digitsText.substr(0, digitsText.size() - scale) + "." + digitsText.substr(digitsText.size() - scale);
      } else {
        text = digitsText + std::string(static_cast<size_t>(-scale), '0');
      }
      if (ns.sign == 0) text = "-" + text;
      if (isCharType(sqlType)) return Value::text(text);
      return fromText(text);
    }
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
      SQL_DATE_STRUCT ds;
      std::memcpy(&ds, ptr, sizeof ds);
      DateTime dt;
      dt.year = ds.year;
      dt.month = ds.month;
      dt.day = ds.day;
      bool zero = ds.year == 0 && ds.month == 0 && ds.day == 0;
      if (!zero && (ds.month < 1 || ds.month > 12 || ds.day < 1 || ds.day > 31)) fail("22008", "Datetime field overflow");
      if (sqlType == SQL_TYPE_TIMESTAMP || sqlType == SQL_TIMESTAMP) return Value::text(formatDate(dt) + " 00:00:00");
      if (sqlType == SQL_TYPE_TIME || sqlType == SQL_TIME) fail("07006", "Restricted data type attribute violation");
      return Value::text(formatDate(dt));
    }
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
      SQL_TIME_STRUCT ts;
      std::memcpy(&ts, ptr, sizeof ts);
      if (ts.hour > 23 || ts.minute > 59 || ts.second > 61) fail("22008", "Datetime field overflow");
      DateTime dt;
      dt.hour = ts.hour;
      dt.minute = ts.minute;
      dt.second = ts.second;
      if (sqlType == SQL_TYPE_TIMESTAMP || sqlType == SQL_TIMESTAMP) {
        today(dt);
        return Value::text(formatTimestamp(dt));
      }
      if (sqlType == SQL_TYPE_DATE || sqlType == SQL_DATE) fail("07006", "Restricted data type attribute violation");
      return Value::text(formatTime(dt));
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts;
      std::memcpy(&ts, ptr, sizeof ts);
      bool zero = ts.year == 0 && ts.month == 0 && ts.day == 0;
      if ((!zero && (ts.month < 1 || ts.month > 12 || ts.day < 1 || ts.day > 31)) || ts.hour > 23 ||
          ts.minute > 59 || ts.second > 61 || ts.fraction > 999999999)
        fail("22008", "Datetime field overflow");
      DateTime dt;
      dt.year = ts.year;
      dt.month = ts.month;
      dt.day = ts.day;
      dt.hour = ts.hour;
      dt.minute = ts.minute;
      dt.second = ts.second;
      dt.fraction = ts.fraction;
      if (sqlType == SQL_TYPE_DATE || sqlType == SQL_DATE) return Value::text(formatDate(dt));
      if (sqlType == SQL_TYPE_TIME || sqlType == SQL_TIME) return Value::text(formatTime(dt));
      return Value::text(formatTimestamp(dt));
    }
    case SQL_C_GUID: {
      SQLGUID g;
      std::memcpy(&g, ptr, sizeof g);
      char b[40];
      std::snprintf(b, sizeof b, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                    g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
      return Value::text(b);
    }
    default:
      fail("HY003", "Invalid application buffer type");
  }
}

}  // namespace kxodbc
