// Conversions between stored values and the application's C types.
#pragma once

#include "engines/odbc/driver.h"

namespace kxodbc {

struct OutTarget {
  SQLSMALLINT ctype = SQL_C_CHAR;  // already resolved (never SQL_C_DEFAULT)
  SQLPOINTER ptr = nullptr;
  SQLLEN bufLen = 0;
  SQLLEN* ind = nullptr;
  SQLLEN* len = nullptr;  // octet length pointer; often the same as ind
  SQLSMALLINT precision = 0;  // SQL_C_NUMERIC
  SQLSMALLINT scale = 0;
};

enum OutStatus : int {
  kOutOk = 0,
  kOutTruncated = 1,  // 01004: string data, right truncated
  kOutFraction = 2,   // 01S07: fractional truncation
  kOutNoData = 3,     // piecewise read already complete
};

// Column facts conversions depend on.
struct ColType {
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

// Writes value v into the target. `offset` tracks piecewise SQLGetData (bytes of the value
// already delivered); nullptr for bound columns. Throws OdbcError (22003, 22018, 22007, 07006).
int convertOut(const ValView& v, const ColType& col, const OutTarget& t, size_t* offset);

// Resolves SQL_C_DEFAULT against an SQL type.
SQLSMALLINT resolveCType(SQLSMALLINT ctype, SQLSMALLINT sqlType);

// Reads a parameter value sent by the application. `len` is the octet length after SQL_NTS was
// resolved (ignored for fixed-size C types). The result is what SQLite stores for the parameter's
// SQL type.
Value convertIn(SQLSMALLINT ctype, SQLSMALLINT sqlType, SQLSMALLINT digits, const void* ptr, SQLLEN len);

// Length in bytes of character data in a buffer given its indicator value (SQL_NTS resolved).
SQLLEN inputLength(SQLSMALLINT ctype, const void* ptr, SQLLEN ind, SQLLEN bufLen);

// Text forms shared with the catalogue and the procedures.
std::string formatReal(double d, bool single);
std::string formatNumeric(const ValView& v, SQLSMALLINT scale);
std::string hexEncode(const void* p, size_t n);
bool hexDecode(std::string_view s, std::string& out);

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
  bool hasDate = false, hasTime = false;
};
bool parseDateTime(std::string_view s, DateTime& dt);
std::string formatDate(const DateTime& dt);
std::string formatTime(const DateTime& dt);
std::string formatTimestamp(const DateTime& dt);

}  // namespace kxodbc
