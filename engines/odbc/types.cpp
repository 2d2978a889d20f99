#include "engines/odbc/types.h"

#include <cctype>
#include <charconv>
#include <cstring>

namespace kxodbc {

namespace {

// Text columns without a declared length get this size; long text reports a size that a
// client can use for a per-row buffer (not 2^31).
constexpr SQLULEN kDefaultVarchar = 255;
constexpr SQLULEN kLongSize = 65535;
constexpr SQLULEN kLongBinarySize = 2147483647;

struct Parsed {
  std::string base;  // upper-case words joined by one blank
  int args[2] = {-1, -1};
  int nargs = 0;
};

Parsed parseDecl(std::string_view decl) {
  Parsed p;
  size_t i = 0;
  std::string word;
  auto flush = [&] {
    if (word.empty()) return;
    if (!p.base.empty()) p.base += ' ';
    p.base += word;
    word.clear();
  };
  while (i < decl.size()) {
    char c = decl[i];
    if (c == '(') {
      flush();
      ++i;
      while (i < decl.size() && decl[i] != ')') {
        while (i < decl.size() && (decl[i] == ' ' || decl[i] == ',')) {
          if (decl[i] == ',') p.nargs = p.nargs < 2 ? p.nargs : 2;
          ++i;
        }
        int v = 0;
        bool any = false;
        while (i < decl.size() && std::isdigit(static_cast<unsigned char>(decl[i]))) {
          if (v < 100000000) v = v * 10 + (decl[i] - '0');
          any = true;
          ++i;
        }
        if (any && p.nargs < 2) p.args[p.nargs++] = v;
        if (!any && i < decl.size() && decl[i] != ')') ++i;
      }
      if (i < decl.size()) ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      flush();
    } else {
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    ++i;
  }
  flush();
  return p;
}

bool contains(const std::string& s, std::string_view part) { return s.find(part) != std::string::npos; }

}  // namespace

SqlTypeDesc typeFromDecl(std::string_view decl) {
  Parsed p = parseDecl(decl);
  SqlTypeDesc t;
  const std::string& b = p.base;
  auto arg = [&](int k, int def) { return p.nargs > k && p.args[k] >= 0 ? p.args[k] : def; };
  std::string w = b;
  // Modifiers the record manager writes after the type name.
  auto strip = [&](const char* word) {
    size_t pos = w.find(word);
    if (pos == std::string::npos) return false;
    w.erase(pos, std::strlen(word));
    while (!w.empty() && w.back() == ' ') w.pop_back();
    while (!w.empty() && w.front() == ' ') w.erase(0, 1);
    size_t dbl;
    while ((dbl = w.find("  ")) != std::string::npos) w.erase(dbl, 1);
    return true;
  };
  bool isUnsigned = strip("UNSIGNED");
  bool autoInc = strip("AUTOINCREMENT") || strip("AUTOINC");
  auto set = [&](SQLSMALLINT type, SQLULEN size, SQLSMALLINT digits, const char* name) {
    t.sqlType = type;
    t.size = size;
    t.digits = digits;
    t.typeName = name;
  };
  if (w.empty()) {
    set(SQL_VARCHAR, kDefaultVarchar, 0, "VARCHAR");
  } else if (w == "BIGINT" || w == "INT8" || w == "LARGEINT") {
    set(SQL_BIGINT, 19, 0, "BIGINT");
  } else if (w == "SMALLINT" || w == "INT2" || w == "WORD") {
    set(SQL_SMALLINT, 5, 0, "SMALLINT");
  } else if (w == "TINYINT" || w == "BYTE") {
    set(SQL_TINYINT, 3, 0, "TINYINT");
  } else if (w == "BIT" || w == "BOOLEAN" || w == "BOOL" || w == "LOGICAL") {
    set(SQL_BIT, 1, 0, "BIT");
  } else if (w == "INTEGER" || w == "INT" || w == "INT4" || w == "MEDIUMINT" || w == "AUTOINC" ||
             w == "IDENTITY" || w == "COUNTER") {
    set(SQL_INTEGER, 10, 0, "INTEGER");
  } else if (w == "REAL" || w == "FLOAT4" || w == "SINGLE") {
    set(SQL_REAL, 7, 0, "REAL");
  } else if (w == "DOUBLE" || w == "DOUBLE PRECISION" || w == "FLOAT8") {
    set(SQL_DOUBLE, 15, 0, "DOUBLE");
  } else if (w == "FLOAT") {
    set(SQL_FLOAT, 15, 0, "FLOAT");
  } else if (w == "NUMERIC" || w == "NUMBER") {
    set(SQL_NUMERIC, arg(0, 18), static_cast<SQLSMALLINT>(arg(1, 0)), "NUMERIC");
  } else if (w == "DECIMAL" || w == "DEC" || w == "MONEY" || w == "CURRENCY") {
    bool money = w == "MONEY" || w == "CURRENCY";
    set(SQL_DECIMAL, arg(0, money ? 19 : 18), static_cast<SQLSMALLINT>(arg(1, money ? 4 : 0)), "DECIMAL");
  } else if (w == "DATE") {
    set(SQL_TYPE_DATE, 10, 0, "DATE");
  } else if (w == "TIME") {
    set(SQL_TYPE_TIME, 8, 0, "TIME");
  } else if (w == "TIMESTAMP" || w == "DATETIME") {
    // Fractions of a second are kept to the microsecond.
    set(SQL_TYPE_TIMESTAMP, 26, 6, "TIMESTAMP");
  } else if (w == "CHAR" || w == "CHARACTER") {
    set(SQL_CHAR, arg(0, 1), 0, "CHAR");
  } else if (w == "NCHAR" || w == "NATIONAL CHAR" || w == "NATIONAL CHARACTER") {
    set(SQL_WCHAR, arg(0, 1), 0, "NCHAR");
  } else if (w == "VARCHAR" || w == "CHARACTER VARYING" || w == "CHAR VARYING" || w == "VARCHAR2" ||
             w == "STRING" || w == "VARYING CHARACTER") {
    set(SQL_VARCHAR, arg(0, kDefaultVarchar), 0, "VARCHAR");
  } else if (w == "NVARCHAR" || w == "NATIONAL VARCHAR" || w == "NVARCHAR2" ||
             w == "NATIONAL CHARACTER VARYING" || w == "NATIVE CHARACTER") {
    set(SQL_WVARCHAR, arg(0, kDefaultVarchar), 0, "NVARCHAR");
  } else if (w == "LONGVARCHAR" || w == "LONG VARCHAR" || w == "TEXT" || w == "CLOB" || w == "MEMO" ||
             w == "LONGTEXT" || w == "MEDIUMTEXT" || w == "NOTE") {
    set(SQL_LONGVARCHAR, kLongSize, 0, "LONGVARCHAR");
  } else if (w == "NTEXT" || w == "NCLOB" || w == "LONG NVARCHAR") {
    set(SQL_WLONGVARCHAR, kLongSize, 0, "NTEXT");
  } else if (w == "BINARY") {
    set(SQL_BINARY, arg(0, 1), 0, "BINARY");
  } else if (w == "VARBINARY" || w == "BINARY VARYING") {
    set(SQL_VARBINARY, arg(0, kDefaultVarchar), 0, "VARBINARY");
  } else if (w == "BLOB" || w == "LONGVARBINARY" || w == "LONG VARBINARY" || w == "IMAGE" ||
             w == "LONGBLOB" || w == "GRAPHIC" || w == "BYTEA") {
    set(SQL_LONGVARBINARY, kLongBinarySize, 0, "LONGVARBINARY");
  } else if (contains(w, "INT")) {
    // SQLite's affinity rule: anything containing INT is an integer.
    set(SQL_INTEGER, 10, 0, "INTEGER");
  } else if (contains(w, "CHAR") || contains(w, "CLOB") || contains(w, "TEXT")) {
    if (p.nargs > 0)
      set(SQL_VARCHAR, arg(0, kDefaultVarchar), 0, "VARCHAR");
    else
      set(SQL_LONGVARCHAR, kLongSize, 0, "LONGVARCHAR");
  } else if (contains(w, "BLOB")) {
    set(SQL_LONGVARBINARY, kLongBinarySize, 0, "LONGVARBINARY");
  } else if (contains(w, "REAL") || contains(w, "FLOA") || contains(w, "DOUB")) {
    set(SQL_DOUBLE, 15, 0, "DOUBLE");
  } else {
    set(SQL_NUMERIC, arg(0, 18), static_cast<SQLSMALLINT>(arg(1, 0)), "NUMERIC");
  }
  if (t.size == 0 && (isCharType(t.sqlType) || isBinaryType(t.sqlType))) t.size = 1;
  if (isExactType(t.sqlType) && !isIntegerType(t.sqlType) && t.digits > static_cast<SQLSMALLINT>(t.size))
    t.digits = static_cast<SQLSMALLINT>(t.size);
  if (isUnsigned && isIntegerType(t.sqlType)) t.unsignedType = true;
  t.autoInc = autoInc && isIntegerType(t.sqlType);
  return t;
}

SqlTypeDesc typeFromValue(const ValView& v) {
  SqlTypeDesc t;
  switch (v.kind) {
    case VK::Int:
      if (v.i >= INT32_MIN && v.i <= INT32_MAX) {
        t.sqlType = SQL_INTEGER;
        t.size = 10;
        t.typeName = "INTEGER";
      } else {
        t.sqlType = SQL_BIGINT;
        t.size = 19;
        t.typeName = "BIGINT";
      }
      break;
    case VK::Real:
      t.sqlType = SQL_DOUBLE;
      t.size = 15;
      t.typeName = "DOUBLE";
      break;
    case VK::Blob:
      t.sqlType = SQL_LONGVARBINARY;
      t.size = kLongBinarySize;
      t.typeName = "LONGVARBINARY";
      break;
    case VK::Text: {
      size_t n = utf8Chars(std::string_view(v.p, v.n));
      t.size = n > kDefaultVarchar ? n : kDefaultVarchar;
      break;
    }
    case VK::Null:
      break;
  }
  return t;
}

bool isCharType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || isWideType(t);
}
bool isWideType(SQLSMALLINT t) { return t == SQL_WCHAR || t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR; }
bool isBinaryType(SQLSMALLINT t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool isIntegerType(SQLSMALLINT t) {
  return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIGINT || t == SQL_BIT;
}
bool isApproxType(SQLSMALLINT t) { return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE; }
bool isExactType(SQLSMALLINT t) { return t == SQL_NUMERIC || t == SQL_DECIMAL || isIntegerType(t); }
bool isTemporalType(SQLSMALLINT t) {
  return t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP || t == SQL_DATE || t == SQL_TIME ||
         t == SQL_TIMESTAMP;
}
bool isLongType(SQLSMALLINT t) { return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY; }

SQLLEN displaySize(SQLSMALLINT t, SQLULEN size, SQLSMALLINT digits) {
  switch (t) {
    case SQL_BIT: return 1;
    case SQL_TINYINT: return 4;
    case SQL_SMALLINT: return 6;
    case SQL_INTEGER: return 11;
    case SQL_BIGINT: return 20;
    case SQL_REAL: return 14;
    case SQL_FLOAT:
    case SQL_DOUBLE: return 24;
    case SQL_NUMERIC:
    case SQL_DECIMAL: return static_cast<SQLLEN>(size) + 2;
    case SQL_TYPE_DATE: return 10;
    case SQL_TYPE_TIME: return 8;
    case SQL_TYPE_TIMESTAMP: return digits > 0 ? 20 + digits : 19;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return size > 1073741823 ? SQL_NO_TOTAL : static_cast<SQLLEN>(size) * 2;
    default: return static_cast<SQLLEN>(size);
  }
}

SQLLEN octetLength(SQLSMALLINT t, SQLULEN size) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
      // UTF-8: a character takes up to four bytes.
      return size > 536870911 ? 2147483647 : static_cast<SQLLEN>(size) * 4;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return size > 1073741823 ? 2147483647 : static_cast<SQLLEN>(size) * 2;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return static_cast<SQLLEN>(size);
    case SQL_BIT:
    case SQL_TINYINT: return 1;
    case SQL_SMALLINT: return 2;
    case SQL_INTEGER: return 4;
    case SQL_BIGINT: return 8;
    case SQL_REAL: return 4;
    case SQL_FLOAT:
    case SQL_DOUBLE: return 8;
    case SQL_NUMERIC:
    case SQL_DECIMAL: return static_cast<SQLLEN>(size) + 2;
    case SQL_TYPE_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_TYPE_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    default: return static_cast<SQLLEN>(size);
  }
}

SQLLEN bufferLength(SQLSMALLINT t, SQLULEN size) { return octetLength(t, size); }

SQLSMALLINT numPrecRadix(SQLSMALLINT t) {
  if (isApproxType(t)) return 2;
  if (isExactType(t)) return 10;
  return 0;
}

SQLSMALLINT verboseType(SQLSMALLINT t) {
  if (t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP) return SQL_DATETIME;
  return t;
}

SQLSMALLINT datetimeSub(SQLSMALLINT t) {
  switch (t) {
    case SQL_TYPE_DATE: return SQL_CODE_DATE;
    case SQL_TYPE_TIME: return SQL_CODE_TIME;
    case SQL_TYPE_TIMESTAMP: return SQL_CODE_TIMESTAMP;
    default: return 0;
  }
}

SQLSMALLINT defaultCType(SQLSMALLINT t) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL: return SQL_C_CHAR;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_TYPE_DATE:
    case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    default: return SQL_C_CHAR;
  }
}

bool isSearchableLike(SQLSMALLINT t) { return isCharType(t); }

std::string typeNameOf(SQLSMALLINT t) {
  for (const auto& r : typeInfoRows())
    if (r.type == t) return r.name;
  return "VARCHAR";
}

SQLLEN cTypeSize(SQLSMALLINT c) {
  switch (c) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY: return 0;
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return 1;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG: return 4;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return 8;
    case SQL_C_FLOAT: return 4;
    case SQL_C_DOUBLE: return 8;
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_GUID: return sizeof(SQLGUID);
    case SQL_C_DEFAULT: return 0;
    default: return -1;
  }
}

bool isValidCType(SQLSMALLINT c) { return c == SQL_C_DEFAULT || cTypeSize(c) >= 0; }

bool isValidSqlType(SQLSMALLINT t) {
  switch (t) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_WCHAR: case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: case SQL_DECIMAL: case SQL_NUMERIC: case SQL_SMALLINT: case SQL_INTEGER:
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: case SQL_BIT: case SQL_TINYINT: case SQL_BIGINT:
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: case SQL_TYPE_DATE: case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: case SQL_DATE: case SQL_TIME: case SQL_TIMESTAMP: case SQL_GUID:
      return true;
    default:
      return false;
  }
}

const std::vector<TypeInfoRow>& typeInfoRows() {
  // Ordered by DATA_TYPE as ODBC requires; for each type the preferred name first.
  static const std::vector<TypeInfoRow> rows = {
      {"NTEXT", SQL_WLONGVARCHAR, 65535, "'", "'", nullptr, 1, SQL_SEARCHABLE, -1, -1, -1, -1},
      {"NVARCHAR", SQL_WVARCHAR, 65535, "'", "'", "max length", 1, SQL_SEARCHABLE, -1, -1, -1, -1},
      {"NCHAR", SQL_WCHAR, 65535, "'", "'", "length", 1, SQL_SEARCHABLE, -1, -1, -1, -1},
      {"BIT", SQL_BIT, 1, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, -1, 0, 0, 0},
      {"TINYINT", SQL_TINYINT, 3, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0},
      {"BIGINT", SQL_BIGINT, 19, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0},
      {"LONGVARBINARY", SQL_LONGVARBINARY, 2147483647, "X'", "'", nullptr, 0, SQL_PRED_NONE, -1, -1, -1, -1},
      {"VARBINARY", SQL_VARBINARY, 65535, "X'", "'", "max length", 0, SQL_PRED_BASIC, -1, -1, -1, -1},
      {"BINARY", SQL_BINARY, 65535, "X'", "'", "length", 0, SQL_PRED_BASIC, -1, -1, -1, -1},
      {"LONGVARCHAR", SQL_LONGVARCHAR, 65535, "'", "'", nullptr, 1, SQL_SEARCHABLE, -1, -1, -1, -1},
      {"CHAR", SQL_CHAR, 65535, "'", "'", "length", 1, SQL_SEARCHABLE, -1, -1, -1, -1},
      {"NUMERIC", SQL_NUMERIC, 38, nullptr, nullptr, "precision,scale", 0, SQL_PRED_BASIC, 0, 0, 0, 38},
      {"DECIMAL", SQL_DECIMAL, 38, nullptr, nullptr, "precision,scale", 0, SQL_PRED_BASIC, 0, 0, 0, 38},
      {"INTEGER", SQL_INTEGER, 10, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0},
      {"SMALLINT", SQL_SMALLINT, 5, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, 0, 0},
      {"FLOAT", SQL_FLOAT, 15, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, -1, -1},
      {"REAL", SQL_REAL, 7, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, -1, -1},
      {"DOUBLE", SQL_DOUBLE, 15, nullptr, nullptr, nullptr, 0, SQL_PRED_BASIC, 0, 0, -1, -1},
      {"VARCHAR", SQL_VARCHAR, 65535, "'", "'", "max length", 1, SQL_SEARCHABLE, -1, -1, -1, -1},
      {"DATE", SQL_TYPE_DATE, 10, "'", "'", nullptr, 0, SQL_PRED_BASIC, -1, -1, -1, -1},
      {"TIME", SQL_TYPE_TIME, 8, "'", "'", nullptr, 0, SQL_PRED_BASIC, -1, -1, 0, 0},
      {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 26, "'", "'", nullptr, 0, SQL_PRED_BASIC, -1, -1, 0, 6},
  };
  return rows;
}

}  // namespace kxodbc
