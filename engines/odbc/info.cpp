// SQLGetInfo.
#include "engines/odbc/info.h"

#include "engines/store/dsnstore.h"

namespace kxodbc {

namespace {

struct InfoOut {
  SQLPOINTER ptr;
  SQLSMALLINT bufLen;
  SQLSMALLINT* outLen;
  Dbc& dbc;
  bool wide;
  SQLRETURN str(const std::string& s) {
    if (wide) {
      if (wideOutBytes(s, ptr, bufLen, outLen)) {
        dbc.warn("01004", "String data, right truncated");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    }
    if (copyOut(s, static_cast<SQLCHAR*>(ptr), bufLen, outLen)) {
      dbc.warn("01004", "String data, right truncated");
      return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
  }
  SQLRETURN u16(SQLUSMALLINT v) {
    if (ptr) std::memcpy(ptr, &v, sizeof v);
    if (outLen) *outLen = sizeof v;
    return SQL_SUCCESS;
  }
  SQLRETURN u32(SQLUINTEGER v) {
    if (ptr) std::memcpy(ptr, &v, sizeof v);
    if (outLen) *outLen = sizeof v;
    return SQL_SUCCESS;
  }
  SQLRETURN ulen(SQLULEN v) {
    if (ptr) std::memcpy(ptr, &v, sizeof v);
    if (outLen) *outLen = sizeof v;
    return SQL_SUCCESS;
  }
};

constexpr SQLUINTEGER kConvertChar = SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR | SQL_CVT_NUMERIC |
                                     SQL_CVT_DECIMAL | SQL_CVT_INTEGER | SQL_CVT_SMALLINT | SQL_CVT_TINYINT |
                                     SQL_CVT_BIGINT | SQL_CVT_REAL | SQL_CVT_FLOAT | SQL_CVT_DOUBLE | SQL_CVT_BIT |
                                     SQL_CVT_DATE | SQL_CVT_TIME | SQL_CVT_TIMESTAMP | SQL_CVT_WCHAR |
                                     SQL_CVT_WVARCHAR | SQL_CVT_WLONGVARCHAR;
constexpr SQLUINTEGER kConvertBinary = SQL_CVT_BINARY | SQL_CVT_VARBINARY | SQL_CVT_LONGVARBINARY | SQL_CVT_CHAR |
                                       SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR;

}  // namespace

SQLRETURN getInfo(Dbc& dbc, SQLUSMALLINT type, SQLPOINTER ptr, SQLSMALLINT bufLen, SQLSMALLINT* outLen, bool wide) {
  InfoOut o{ptr, bufLen, outLen, dbc, wide};
  const SQLUINTEGER scrollOps = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK |
                                SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH | SQL_CA1_POSITIONED_UPDATE |
                                SQL_CA1_POSITIONED_DELETE;
  switch (type) {
    // Driver and data source
    case SQL_ACTIVE_CONNECTIONS: return o.u16(0);
    case SQL_ACTIVE_STATEMENTS: return o.u16(0);
    case SQL_DATA_SOURCE_NAME: return o.str(dbc.dsn);
    case SQL_DRIVER_NAME: return o.str("libkxodbc.so");
    case SQL_DRIVER_VER: return o.str("01.00.0000");
    case SQL_DRIVER_ODBC_VER: return o.str("03.51");
    case SQL_ODBC_VER: return o.str("03.51.0000");
    case SQL_DBMS_NAME: return o.str("Kestrin.SQL");
    case SQL_DBMS_VER: return o.str(dbc.engineVersion);
    case SQL_SERVER_NAME: return o.str(dbc.serverName.empty() ? std::string("localhost") : dbc.serverName);
    case SQL_DATABASE_NAME: return o.str(dbc.databaseName);
    case SQL_USER_NAME: return o.str(dbc.user);
    case SQL_DATA_SOURCE_READ_ONLY: return o.str(dbc.readOnly ? "Y" : "N");
    case SQL_SEARCH_PATTERN_ESCAPE: return o.str("\\");
    case SQL_IDENTIFIER_QUOTE_CHAR: return o.str("\"");
    case SQL_IDENTIFIER_CASE: return o.u16(SQL_IC_MIXED);
    case SQL_QUOTED_IDENTIFIER_CASE: return o.u16(SQL_IC_MIXED);
    case SQL_CATALOG_NAME: return o.str("N");
    case SQL_CATALOG_NAME_SEPARATOR: return o.str("");
    case SQL_CATALOG_TERM: return o.str("");
    case SQL_CATALOG_LOCATION: return o.u16(0);
    case SQL_CATALOG_USAGE: return o.u32(0);
    case SQL_SCHEMA_TERM: return o.str("");
    case SQL_SCHEMA_USAGE: return o.u32(0);
    case SQL_TABLE_TERM: return o.str("table");
    case SQL_PROCEDURE_TERM: return o.str("procedure");
    case SQL_PROCEDURES: return o.str("Y");
    case SQL_ACCESSIBLE_PROCEDURES: return o.str("Y");
    case SQL_ACCESSIBLE_TABLES: return o.str("Y");
    case SQL_DESCRIBE_PARAMETER: return o.str("Y");
    case SQL_NEED_LONG_DATA_LEN: return o.str("N");
    case SQL_MULT_RESULT_SETS: return o.str("Y");
    case SQL_MULTIPLE_ACTIVE_TXN: return o.str("Y");
    case SQL_COLUMN_ALIAS: return o.str("Y");
    case SQL_EXPRESSIONS_IN_ORDERBY: return o.str("Y");
    case SQL_ORDER_BY_COLUMNS_IN_SELECT: return o.str("N");
    case SQL_LIKE_ESCAPE_CLAUSE: return o.str("Y");
    case SQL_MAX_ROW_SIZE_INCLUDES_LONG: return o.str("Y");
    case SQL_OUTER_JOINS: return o.str("Y");
    case SQL_ROW_UPDATES: return o.str("Y");
    case SQL_INTEGRITY: return o.str("Y");
    case SQL_COLLATION_SEQ: return o.str("UTF-8");
    case SQL_KEYWORDS: return o.str("AUTOINCREMENT,GLOB,PRAGMA,VACUUM");
    case SQL_SPECIAL_CHARACTERS: return o.str("$");
    case SQL_XOPEN_CLI_YEAR: return o.str("1995");
    case SQL_DM_VER: return o.str("");
    case SQL_DRIVER_HDBC:
    case SQL_DRIVER_HENV:
    case SQL_DRIVER_HSTMT:
    case SQL_DRIVER_HDESC: return o.ulen(0);
    case SQL_ODBC_INTERFACE_CONFORMANCE: return o.u32(SQL_OIC_LEVEL1);
    case SQL_ODBC_SQL_CONFORMANCE: return o.u16(SQL_OSC_CORE);
    case SQL_ODBC_API_CONFORMANCE: return o.u16(SQL_OAC_LEVEL1);
    case SQL_ODBC_SAG_CLI_CONFORMANCE: return o.u16(SQL_OSCC_COMPLIANT);
    case SQL_SQL_CONFORMANCE: return o.u32(SQL_SC_SQL92_ENTRY);
    case SQL_STANDARD_CLI_CONFORMANCE: return o.u32(SQL_SCC_XOPEN_CLI_VERSION1);
    case SQL_FILE_USAGE: return o.u16(SQL_FILE_NOT_SUPPORTED);
    case SQL_GETDATA_EXTENSIONS:
      return o.u32(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND | SQL_GD_BLOCK);
    case SQL_ASYNC_MODE: return o.u32(SQL_AM_NONE);
    case SQL_MAX_ASYNC_CONCURRENT_STATEMENTS: return o.u32(0);
    case SQL_BATCH_SUPPORT: return o.u32(SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT | SQL_BS_SELECT_PROC | SQL_BS_ROW_COUNT_PROC);
    case SQL_BATCH_ROW_COUNT: return o.u32(SQL_BRC_EXPLICIT | SQL_BRC_PROCEDURES | SQL_BRC_ROLLED_UP);
    case SQL_PARAM_ARRAY_ROW_COUNTS: return o.u32(SQL_PARC_NO_BATCH);
    case SQL_PARAM_ARRAY_SELECTS: return o.u32(SQL_PAS_NO_SELECT);
    // Transactions
    case SQL_TXN_CAPABLE: return o.u16(SQL_TC_ALL);
    case SQL_TXN_ISOLATION_OPTION: return o.u32(SQL_TXN_SERIALIZABLE);
    case SQL_DEFAULT_TXN_ISOLATION: return o.u32(SQL_TXN_SERIALIZABLE);
    case SQL_CURSOR_COMMIT_BEHAVIOR: return o.u16(SQL_CB_PRESERVE);
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: return o.u16(SQL_CB_CLOSE);
    case SQL_BOOKMARK_PERSISTENCE: return o.u32(SQL_BP_SCROLL | SQL_BP_UPDATE | SQL_BP_OTHER_HSTMT);
    // Cursors
    case SQL_SCROLL_OPTIONS: return o.u32(SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC);
    case SQL_SCROLL_CONCURRENCY: return o.u32(SQL_SCCO_READ_ONLY | SQL_SCCO_OPT_ROWVER | SQL_SCCO_OPT_VALUES);
    case SQL_CURSOR_SENSITIVITY: return o.u32(SQL_UNSPECIFIED);
    case SQL_STATIC_SENSITIVITY: return o.u32(0);
    case SQL_FETCH_DIRECTION:
      return o.u32(SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST | SQL_FD_FETCH_PRIOR |
                   SQL_FD_FETCH_ABSOLUTE | SQL_FD_FETCH_RELATIVE | SQL_FD_FETCH_BOOKMARK);
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1: return o.u32(SQL_CA1_NEXT | SQL_CA1_POSITIONED_UPDATE | SQL_CA1_POSITIONED_DELETE);
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2: return o.u32(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT);
    case SQL_STATIC_CURSOR_ATTRIBUTES1: return o.u32(scrollOps);
    case SQL_STATIC_CURSOR_ATTRIBUTES2: return o.u32(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT);
    case SQL_KEYSET_CURSOR_ATTRIBUTES1: return o.u32(scrollOps);
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
      return o.u32(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_OPT_ROWVER_CONCURRENCY | SQL_CA2_SENSITIVITY_DELETIONS |
                   SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_MAX_ROWS_SELECT);
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1: return o.u32(scrollOps);
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
      return o.u32(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_OPT_ROWVER_CONCURRENCY | SQL_CA2_SENSITIVITY_DELETIONS |
                   SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_SENSITIVITY_ADDITIONS | SQL_CA2_MAX_ROWS_SELECT);
    case SQL_POS_OPERATIONS: return o.u32(SQL_POS_POSITION | SQL_POS_REFRESH);
    case SQL_POSITIONED_STATEMENTS: return o.u32(SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE);
    case SQL_LOCK_TYPES: return o.u32(SQL_LCK_NO_CHANGE);
    case SQL_MAX_CURSOR_NAME_LEN: return o.u16(64);
    // SQL language
    case SQL_MAX_COLUMN_NAME_LEN:
    case SQL_MAX_TABLE_NAME_LEN:
    case SQL_MAX_PROCEDURE_NAME_LEN:
    case SQL_MAX_IDENTIFIER_LEN: return o.u16(128);
    case SQL_MAX_SCHEMA_NAME_LEN:
    case SQL_MAX_CATALOG_NAME_LEN: return o.u16(0);
    case SQL_MAX_USER_NAME_LEN: return o.u16(64);
    case SQL_MAX_COLUMNS_IN_GROUP_BY:
    case SQL_MAX_COLUMNS_IN_INDEX:
    case SQL_MAX_COLUMNS_IN_ORDER_BY:
    case SQL_MAX_COLUMNS_IN_SELECT:
    case SQL_MAX_COLUMNS_IN_TABLE: return o.u16(2000);
    case SQL_MAX_TABLES_IN_SELECT: return o.u16(64);
    case SQL_MAX_INDEX_SIZE:
    case SQL_MAX_ROW_SIZE:
    case SQL_MAX_STATEMENT_LEN:
    case SQL_MAX_CHAR_LITERAL_LEN:
    case SQL_MAX_BINARY_LITERAL_LEN: return o.u32(0);
    case SQL_NULL_COLLATION: return o.u16(SQL_NC_LOW);
    case SQL_CONCAT_NULL_BEHAVIOR: return o.u16(SQL_CB_NULL);
    case SQL_CORRELATION_NAME: return o.u16(SQL_CN_ANY);
    case SQL_GROUP_BY: return o.u16(SQL_GB_NO_RELATION);
    case SQL_NON_NULLABLE_COLUMNS: return o.u16(SQL_NNC_NON_NULL);
    case SQL_OJ_CAPABILITIES: return o.u32(SQL_OJ_LEFT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER | SQL_OJ_ALL_COMPARISON_OPS);
    case SQL_SQL92_RELATIONAL_JOIN_OPERATORS:
      return o.u32(SQL_SRJO_CROSS_JOIN | SQL_SRJO_INNER_JOIN | SQL_SRJO_LEFT_OUTER_JOIN | SQL_SRJO_NATURAL_JOIN);
    case SQL_SUBQUERIES:
      return o.u32(SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_QUANTIFIED | SQL_SQ_CORRELATED_SUBQUERIES);
    case SQL_UNION: return o.u32(SQL_U_UNION | SQL_U_UNION_ALL);
    case SQL_ALTER_TABLE: return o.u32(SQL_AT_ADD_COLUMN_SINGLE | SQL_AT_DROP_COLUMN_DEFAULT);
    case SQL_CREATE_TABLE: return o.u32(SQL_CT_CREATE_TABLE | SQL_CT_COLUMN_CONSTRAINT | SQL_CT_TABLE_CONSTRAINT);
    case SQL_CREATE_VIEW: return o.u32(SQL_CV_CREATE_VIEW);
    case SQL_DROP_TABLE: return o.u32(SQL_DT_DROP_TABLE);
    case SQL_DROP_VIEW: return o.u32(SQL_DV_DROP_VIEW);
    case SQL_INDEX_KEYWORDS: return o.u32(SQL_IK_ASC | SQL_IK_DESC);
    case SQL_INSERT_STATEMENT: return o.u32(SQL_IS_INSERT_LITERALS | SQL_IS_INSERT_SEARCHED | SQL_IS_SELECT_INTO);
    case SQL_DDL_INDEX: return o.u32(SQL_DI_CREATE_INDEX | SQL_DI_DROP_INDEX);
    case SQL_SQL92_PREDICATES:
      return o.u32(SQL_SP_EXISTS | SQL_SP_ISNOTNULL | SQL_SP_ISNULL | SQL_SP_LIKE | SQL_SP_IN | SQL_SP_BETWEEN |
                   SQL_SP_COMPARISON | SQL_SP_QUANTIFIED_COMPARISON);
    case SQL_SQL92_VALUE_EXPRESSIONS: return o.u32(SQL_SVE_CASE | SQL_SVE_CAST | SQL_SVE_COALESCE | SQL_SVE_NULLIF);
    case SQL_AGGREGATE_FUNCTIONS:
      return o.u32(SQL_AF_ALL | SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_DISTINCT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM);
    case SQL_STRING_FUNCTIONS:
      return o.u32(SQL_FN_STR_CONCAT | SQL_FN_STR_LENGTH | SQL_FN_STR_LTRIM | SQL_FN_STR_RTRIM | SQL_FN_STR_SUBSTRING |
                   SQL_FN_STR_REPLACE);
    case SQL_NUMERIC_FUNCTIONS: return o.u32(SQL_FN_NUM_ABS | SQL_FN_NUM_ROUND);
    case SQL_TIMEDATE_FUNCTIONS: return o.u32(0);
    case SQL_SYSTEM_FUNCTIONS: return o.u32(SQL_FN_SYS_IFNULL);
    case SQL_CONVERT_FUNCTIONS: return o.u32(SQL_FN_CVT_CAST);
    case SQL_CONVERT_CHAR:
    case SQL_CONVERT_VARCHAR:
    case SQL_CONVERT_LONGVARCHAR:
    case SQL_CONVERT_NUMERIC:
    case SQL_CONVERT_DECIMAL:
    case SQL_CONVERT_INTEGER:
    case SQL_CONVERT_SMALLINT:
    case SQL_CONVERT_TINYINT:
    case SQL_CONVERT_BIGINT:
    case SQL_CONVERT_REAL:
    case SQL_CONVERT_FLOAT:
    case SQL_CONVERT_DOUBLE:
    case SQL_CONVERT_BIT:
    case SQL_CONVERT_DATE:
    case SQL_CONVERT_TIME:
    case SQL_CONVERT_TIMESTAMP:
    case SQL_CONVERT_WCHAR:
    case SQL_CONVERT_WVARCHAR:
    case SQL_CONVERT_WLONGVARCHAR: return o.u32(kConvertChar);
    case SQL_CONVERT_BINARY:
    case SQL_CONVERT_VARBINARY:
    case SQL_CONVERT_LONGVARBINARY: return o.u32(kConvertBinary);
    case SQL_CONVERT_INTERVAL_DAY_TIME:
    case SQL_CONVERT_INTERVAL_YEAR_MONTH:
    case SQL_CONVERT_GUID: return o.u32(0);
    case SQL_DATETIME_LITERALS: return o.u32(SQL_DL_SQL92_DATE | SQL_DL_SQL92_TIME | SQL_DL_SQL92_TIMESTAMP);
    case SQL_TIMEDATE_ADD_INTERVALS:
    case SQL_TIMEDATE_DIFF_INTERVALS: return o.u32(0);
    case SQL_INFO_SCHEMA_VIEWS: return o.u32(0);
    case SQL_SQL92_GRANT:
    case SQL_SQL92_REVOKE:
    case SQL_SQL92_STRING_FUNCTIONS:
    case SQL_SQL92_NUMERIC_VALUE_FUNCTIONS:
    case SQL_SQL92_DATETIME_FUNCTIONS:
    case SQL_SQL92_FOREIGN_KEY_DELETE_RULE:
    case SQL_SQL92_FOREIGN_KEY_UPDATE_RULE:
    case SQL_SQL92_ROW_VALUE_CONSTRUCTOR:
    case SQL_CREATE_ASSERTION:
    case SQL_CREATE_CHARACTER_SET:
    case SQL_CREATE_COLLATION:
    case SQL_CREATE_DOMAIN:
    case SQL_CREATE_SCHEMA:
    case SQL_CREATE_TRANSLATION:
    case SQL_DROP_ASSERTION:
    case SQL_DROP_CHARACTER_SET:
    case SQL_DROP_COLLATION:
    case SQL_DROP_DOMAIN:
    case SQL_DROP_SCHEMA:
    case SQL_DROP_TRANSLATION:
    case SQL_ALTER_DOMAIN:
    case SQL_ASYNC_DBC_FUNCTIONS: return o.u32(SQL_ASYNC_DBC_NOT_CAPABLE);
    default: break;
  }
  fail("HY096", "Information type out of range: " + std::to_string(type));
}

}  // namespace kxodbc
