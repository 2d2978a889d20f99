// The wide (UTF-16) entry points. Each converts its texts and runs the same code as the narrow
// one, so Unicode applications (pyodbc) reach the driver without the driver manager's own
// conversion, which would lose characters outside the narrow code page.
#include "engines/odbc/api.h"
#include "engines/odbc/catalog.h"
#include "engines/odbc/connect.h"
#include "engines/odbc/info.h"
#include "engines/odbc/program.h"
#include "engines/odbc/textcalls.h"

using namespace kxodbc;

namespace {

template <class L>
SQLRETURN charsOut(Handle& h, std::string_view s, SQLWCHAR* buf, SQLLEN bufChars, L* outLen) {
  if (bufChars < 0) fail("HY090", "Invalid string or buffer length");
  if (wideOutChars(s, buf, bufChars, outLen)) {
    h.warn("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

template <class L>
SQLRETURN bytesOut(Handle& h, std::string_view s, SQLPOINTER buf, SQLLEN bufBytes, L* outLen) {
  if (bufBytes < 0) fail("HY090", "Invalid string or buffer length");
  if (wideOutBytes(s, buf, bufBytes, outLen)) {
    h.warn("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

}  // namespace

KX_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsnLen, SQLWCHAR* uid, SQLSMALLINT uidLen,
                                        SQLWCHAR* pwd, SQLSMALLINT pwdLen) {
  return connectCall(h, dsn, dsnLen, uid, uidLen, pwd, pwdLen);
}

KX_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLen, SQLWCHAR* out,
                                              SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT completion) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (completion != SQL_DRIVER_NOPROMPT && completion != SQL_DRIVER_COMPLETE && completion != SQL_DRIVER_PROMPT &&
        completion != SQL_DRIVER_COMPLETE_REQUIRED)
      fail("HY110", "Invalid driver completion");
    std::string completed;
    connect(d, parseConnectionString(textIn(in, inLen)), &completed);
    if (out || outLen) return charsOut(d, completed, out, outMax, outLen);
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT bufLen,
                                        SQLSMALLINT* len) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
    return getInfo(d, type, out, bufLen, len, true);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) { return setConnectAttr(d, attr, value, len); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen,
                                               SQLINTEGER* len) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (attr == SQL_ATTR_CURRENT_CATALOG) return bytesOut(d, d.databaseName, out, bufLen, len);
    return getConnectAttr(d, attr, out, bufLen, len, true);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return setStmtAttr(s, attr, value); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen,
                                            SQLINTEGER* len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return getStmtAttr(s, attr, out, bufLen, len); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLWCHAR* state,
                                           SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT bufLen, SQLSMALLINT* textLen) {
  std::string st, m;
  SQLRETURN rc = diagRec(type, h, rec, &st, native, &m);
  if (rc != SQL_SUCCESS) return rc;
  if (bufLen < 0) return SQL_ERROR;
  if (state) {
    for (size_t k = 0; k < 5; ++k) state[k] = static_cast<SQLWCHAR>(k < st.size() ? st[k] : ' ');
    state[5] = 0;
  }
  return wideOutChars(m, msg, bufLen, textLen) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

KX_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field,
                                             SQLPOINTER out, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  std::string text;
  bool isText = false;
  SQLRETURN rc = diagField(type, h, rec, field, out, &text, isText);
  if (rc != SQL_SUCCESS || !isText) return rc;
  if (bufLen < 0) return SQL_ERROR;
  return wideOutBytes(text, out, bufLen, len) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

KX_EXPORT SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC h, SQLWCHAR* in, SQLINTEGER inLen, SQLWCHAR* out, SQLINTEGER outMax,
                                          SQLINTEGER* outLen) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (!in) fail("HY009", "Invalid use of null pointer");
    return charsOut(d, translateEscapes(textIn(in, inLen), nullptr, nullptr), out, outMax, outLen);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return prepareCall(h, text, len);
}

KX_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return execDirectCall(h, text, len);
}

KX_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT col, SQLWCHAR* name, SQLSMALLINT nameMax,
                                            SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size,
                                            SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    std::string n;
    describeCol(s, col, &n, type, size, digits, nullable);
    return charsOut(s, n, name, nameMax, nameLen);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER charAttr,
                                             SQLSMALLINT bufLen, SQLSMALLINT* strLen, SQLLEN* numAttr) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    std::string text;
    SQLLEN num = 0;
    colAttribute(s, col, field, &text, &num);
    if (isTextColAttribute(field)) return bytesOut(s, text, charAttr, bufLen, strLen);
    if (numAttr) *numAttr = num;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT h, SQLWCHAR* out, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return charsOut(s, s.getCursorName(), out, bufLen, len); });
}

KX_EXPORT SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT h, SQLWCHAR* name, SQLSMALLINT len) {
  return setCursorNameCall(h, name, len);
}

KX_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* schema,
                                       SQLSMALLINT schemaLen, SQLWCHAR* table, SQLSMALLINT tableLen, SQLWCHAR* types,
                                       SQLSMALLINT typesLen) {
  return tablesCall(h, cat, catLen, schema, schemaLen, table, tableLen, types, typesLen);
}

KX_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* schema,
                                        SQLSMALLINT schemaLen, SQLWCHAR* table, SQLSMALLINT tableLen, SQLWCHAR* column,
                                        SQLSMALLINT columnLen) {
  return columnsCall(h, cat, catLen, schema, schemaLen, table, tableLen, column, columnLen);
}

KX_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* table,
                                           SQLSMALLINT tableLen, SQLUSMALLINT unique, SQLUSMALLINT) {
  return statisticsCall(h, table, tableLen, unique);
}

KX_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* table,
                                            SQLSMALLINT tableLen) {
  return primaryKeysCall(h, table, tableLen);
}

KX_EXPORT SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                            SQLWCHAR* pkTable, SQLSMALLINT pkLen, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                            SQLSMALLINT, SQLWCHAR* fkTable, SQLSMALLINT fkLen) {
  return foreignKeysCall(h, pkTable, pkLen, fkTable, fkLen);
}

KX_EXPORT SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT h, SQLUSMALLINT idType, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                               SQLSMALLINT, SQLWCHAR* table, SQLSMALLINT tableLen, SQLUSMALLINT,
                                               SQLUSMALLINT) {
  return specialColumnsCall(h, idType, table, tableLen);
}

KX_EXPORT SQLRETURN SQL_API SQLProceduresW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* proc,
                                           SQLSMALLINT procLen) {
  return proceduresCall(h, proc, procLen);
}

KX_EXPORT SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                                 SQLWCHAR* proc, SQLSMALLINT procLen, SQLWCHAR* column,
                                                 SQLSMALLINT columnLen) {
  return procedureColumnsCall(h, proc, procLen, column, columnLen);
}

KX_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT h, SQLSMALLINT type) { return typeInfoCall(h, type); }
