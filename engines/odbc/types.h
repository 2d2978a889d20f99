// The engine's type system: SQLite declared types mapped to ODBC SQL types.
#pragma once

#include "engines/odbc/driver.h"

namespace kxodbc {

struct SqlTypeDesc {
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN size = 255;
  SQLSMALLINT digits = 0;
  std::string typeName = "VARCHAR";
  bool unsignedType = false;
  bool autoInc = false;  // "INTEGER AUTOINC": the engine numbers new rows
};

// Parses a declared column type such as "VARCHAR(30)", "NUMERIC(10,2)", "TIMESTAMP".
SqlTypeDesc typeFromDecl(std::string_view decl);
// Type of a column that has no declared type, judged from a value.
SqlTypeDesc typeFromValue(const ValView& v);

bool isCharType(SQLSMALLINT t);
bool isWideType(SQLSMALLINT t);
bool isBinaryType(SQLSMALLINT t);
bool isIntegerType(SQLSMALLINT t);
bool isApproxType(SQLSMALLINT t);
bool isExactType(SQLSMALLINT t);
bool isTemporalType(SQLSMALLINT t);
bool isLongType(SQLSMALLINT t);

// Attributes derived from type and size.
SQLLEN displaySize(SQLSMALLINT t, SQLULEN size, SQLSMALLINT digits);
SQLLEN octetLength(SQLSMALLINT t, SQLULEN size);
SQLLEN bufferLength(SQLSMALLINT t, SQLULEN size);  // the BUFFER_LENGTH catalogue column
SQLSMALLINT numPrecRadix(SQLSMALLINT t);            // 0 when not numeric
SQLSMALLINT verboseType(SQLSMALLINT t);             // SQL_DATETIME for the dated types
SQLSMALLINT datetimeSub(SQLSMALLINT t);
SQLSMALLINT defaultCType(SQLSMALLINT sqlType);
bool isSearchableLike(SQLSMALLINT t);
std::string typeNameOf(SQLSMALLINT t);

// Size in bytes of a fixed-length C type, 0 for variable-length ones; -1 for unknown types.
SQLLEN cTypeSize(SQLSMALLINT ctype);
bool isValidCType(SQLSMALLINT ctype);
bool isValidSqlType(SQLSMALLINT t);

// The rows SQLGetTypeInfo returns, in the order ODBC asks for (by DATA_TYPE, best match first).
struct TypeInfoRow {
  const char* name;
  SQLSMALLINT type;
  SQLINTEGER size;
  const char* prefix;
  const char* suffix;
  const char* params;
  SQLSMALLINT caseSensitive;
  SQLSMALLINT searchable;
  SQLSMALLINT unsignedAttr;  // -1 = NULL
  SQLSMALLINT autoUnique;    // -1 = NULL
  SQLSMALLINT minScale;      // -1 = NULL
  SQLSMALLINT maxScale;      // -1 = NULL
};
const std::vector<TypeInfoRow>& typeInfoRows();

}  // namespace kxodbc
