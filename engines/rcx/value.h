// Column values: the SQLite form a value is stored in, its ordering, and the conversion between
// it and the byte formats that cross the record manager's interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engines/store/catalog.h"

struct sqlite3_stmt;

namespace rcx {

struct Value {
  enum Kind : std::uint8_t { Null, Int, Real, Text, Blob };
  Kind kind = Null;
  std::int64_t i = 0;
  double r = 0;
  std::string s;  // Text and Blob

  static Value integer(std::int64_t v) {
    Value x;
    x.kind = Int;
    x.i = v;
    return x;
  }
  static Value real(double v) {
    Value x;
    x.kind = Real;
    x.r = v;
    return x;
  }
  static Value text(std::string v) {
    Value x;
    x.kind = Text;
    x.s = std::move(v);
    return x;
  }
  static Value blob(std::string v) {
    Value x;
    x.kind = Blob;
    x.s = std::move(v);
    return x;
  }
  bool isNull() const { return kind == Null; }
  bool operator==(const Value& o) const;
};

// A value without ownership: a Value, or a column of a stepped statement (valid until the
// statement moves).
struct ValueRef {
  Value::Kind kind = Value::Null;
  std::int64_t i = 0;
  double r = 0;
  std::string_view s;

  ValueRef() = default;
  ValueRef(const Value& v) : kind(v.kind), i(v.i), r(v.r), s(v.s) {}  // NOLINT: implicit on purpose
  bool isNull() const { return kind == Value::Null; }
  Value toValue() const;
};

// Reads result column `col` of a stepped statement.
Value columnValue(sqlite3_stmt* st, int col);
ValueRef columnRef(sqlite3_stmt* st, int col);
// Binds a value to parameter `idx`; returns the SQLite result code.
int bindValue(sqlite3_stmt* st, int idx, const Value& v);

// SQLite's ordering: NULL < numbers < text < blobs; text by bytes or by KX_NOCASE.
int compareValues(const ValueRef& a, const ValueRef& b, bool noCase);

// Text conversion between the interface's code page (UTF-8) and CP850 for databases opened
// with OEM conversion. Characters without an equivalent become '?'.
std::string toOem(std::string_view utf8);
std::string fromOem(std::string_view oem);

struct CodecOptions {
  bool oem = false;
};

// Interface bytes -> stored value. Throws Error for bytes that are not a valid value
// (-5208 invalid date, -1506 value too large, -1003 malformed).
Value encodeValue(const kxstore::ColumnDef& col, const void* data, std::uint32_t length, const CodecOptions& opt);
// Stored value -> interface bytes. Returns 0, or 1006 when the buffer was too small for all of
// it. NULL is not handled here (the caller answers 1004). Throws Error for stored values the
// column cannot represent.
std::int32_t decodeValue(const kxstore::ColumnDef& col, const ValueRef& v, void* buf, std::uint32_t size,
                         std::uint32_t& actual, const CodecOptions& opt);
// A column's default text -> stored value (NULL when it does not fit the column).
Value defaultValue(const kxstore::ColumnDef& col);

// Exact-numeric helpers, shared with VoskIntPower10.
bool scaleByPowerOf10(std::int64_t& v, std::int32_t power);

// Canonical texts of the temporal classes.
std::string formatDate(int y, int m, int d);
std::string formatTime(int h, int mi, int s);
std::string formatTimestamp(int y, int m, int d, int h, int mi, int s, std::uint32_t fraction);

}  // namespace rcx
