// The narrow (ANSI) ODBC entry points. Texts are UTF-8.
#include "engines/odbc/api.h"

#include <algorithm>
#include <optional>

#include "engines/odbc/catalog.h"
#include "engines/odbc/connect.h"
#include "engines/odbc/convert.h"
#include "engines/odbc/fetch.h"
#include "engines/odbc/info.h"
#include "engines/odbc/program.h"
#include "engines/odbc/textcalls.h"
#include "engines/odbc/types.h"

using namespace kxodbc;

namespace kxodbc {

namespace {

SQLRETURN strOut(Handle& h, std::string_view s, SQLCHAR* buf, SQLLEN bufLen, SQLSMALLINT* outLen) {
  if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
  if (copyOut(s, buf, bufLen, outLen)) {
    h.warn("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

SQLRETURN strOutI(Handle& h, std::string_view s, SQLPOINTER buf, SQLINTEGER bufLen, SQLINTEGER* outLen) {
  if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
  if (copyOut(s, static_cast<SQLCHAR*>(buf), bufLen, outLen)) {
    h.warn("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

// Rowset and parameter array sizes stay far from overflowing the position arithmetic.
constexpr SQLULEN kMaxArraySize = 1u << 24;

SQLULEN asUlen(SQLPOINTER v) { return static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(v)); }

void putUlen(SQLPOINTER out, SQLULEN v, SQLINTEGER* len) {
  if (out) std::memcpy(out, &v, sizeof v);
  if (len) *len = sizeof v;
}

void putU32(SQLPOINTER out, SQLUINTEGER v, SQLINTEGER* len) {
  if (out) std::memcpy(out, &v, sizeof v);
  if (len) *len = sizeof v;
}

void putPtr(SQLPOINTER out, const void* v, SQLINTEGER* len) {
  if (out) std::memcpy(out, &v, sizeof v);
  if (len) *len = sizeof v;
}

SQLSMALLINT reportedType(const Stmt& s, SQLSMALLINT t) {
  if (s.dbc->env->odbcVersion == SQL_OV_ODBC2) {
    if (t == SQL_TYPE_DATE) return SQL_DATE;
    if (t == SQL_TYPE_TIME) return SQL_TIME;
    if (t == SQL_TYPE_TIMESTAMP) return SQL_TIMESTAMP;
  }
  return t;
}

}  // namespace

// ------------------------------------------------------------------------------------------
// Statement attributes, shared by the narrow and wide entry points.

SQLRETURN setStmtAttr(Stmt& s, SQLINTEGER attr, SQLPOINTER value) {
  SQLULEN v = asUlen(value);
  ++s.bindVersion;  // row binding attributes feed the fetch plan
  switch (attr) {
    case SQL_ATTR_CURSOR_TYPE:
      if (s.cursorOpen()) fail("24000", "Invalid cursor state");
      if (v > SQL_CURSOR_STATIC) fail("HY024", "Invalid attribute value");
      s.cursorType = v;
      s.scrollable = v == SQL_CURSOR_FORWARD_ONLY ? SQL_NONSCROLLABLE : SQL_SCROLLABLE;
      return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
      if (s.cursorOpen()) fail("24000", "Invalid cursor state");
      if (v < SQL_CONCUR_READ_ONLY || v > SQL_CONCUR_VALUES) fail("HY024", "Invalid attribute value");
      s.concurrency = v;
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
      if (s.cursorOpen()) fail("24000", "Invalid cursor state");
      if (v == SQL_NONSCROLLABLE) s.cursorType = SQL_CURSOR_FORWARD_ONLY;
      else if (v == SQL_SCROLLABLE) {
        if (s.cursorType == SQL_CURSOR_FORWARD_ONLY) s.cursorType = SQL_CURSOR_STATIC;
      } else
        fail("HY024", "Invalid attribute value");
      s.scrollable = v;
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
      if (s.cursorOpen()) fail("24000", "Invalid cursor state");
      if (v == SQL_INSENSITIVE) s.cursorType = SQL_CURSOR_STATIC;
      else if (v == SQL_SENSITIVE) s.cursorType = SQL_CURSOR_DYNAMIC;
      else if (v != SQL_UNSPECIFIED) fail("HY024", "Invalid attribute value");
      s.sensitivity = v;
      return SQL_SUCCESS;
    case SQL_ATTR_USE_BOOKMARKS:
      if (s.cursorOpen()) fail("24000", "Invalid cursor state");
      if (v != SQL_UB_OFF && v != SQL_UB_ON && v != SQL_UB_VARIABLE) fail("HY024", "Invalid attribute value");
      s.useBookmarks = v;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
      if (v == 0) fail("HY024", "Invalid attribute value");
      if (v > kMaxArraySize) {
        v = kMaxArraySize;
        s.warn("01S02", "Option value changed: array size limited");
      }
      s.curArd->arraySize = v;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE: s.curArd->bindType = v; return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: s.curArd->bindOffsetPtr = static_cast<SQLLEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: s.ird.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: s.ird.rowsProcessedPtr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_OPERATION_PTR: s.curArd->arrayStatusPtr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
      if (v == 0) fail("HY024", "Invalid attribute value");
      if (v > kMaxArraySize) {
        v = kMaxArraySize;
        s.warn("01S02", "Option value changed: array size limited");
      }
      s.curApd->arraySize = v;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: s.curApd->bindType = v; return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: s.curApd->bindOffsetPtr = static_cast<SQLLEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: s.curApd->arrayStatusPtr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: s.curApd->rowsProcessedPtr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_OPERATION_PTR: return SQL_SUCCESS;
    case SQL_ATTR_FETCH_BOOKMARK_PTR: s.fetchBookmarkPtr = value; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: s.maxRows = v; return SQL_SUCCESS;
    case SQL_ATTR_MAX_LENGTH: s.maxLength = v; return SQL_SUCCESS;
    case SQL_ATTR_QUERY_TIMEOUT: s.queryTimeout = v; return SQL_SUCCESS;
    case SQL_ATTR_NOSCAN: s.noscan = v; return SQL_SUCCESS;
    case SQL_ATTR_RETRIEVE_DATA: s.retrieveData = v; return SQL_SUCCESS;
    case SQL_ATTR_KEYSET_SIZE: s.keysetSize = v; return SQL_SUCCESS;
    case SQL_ATTR_SIMULATE_CURSOR: s.simulateCursor = v; return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: s.metadataId = v; return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
      if (v != SQL_ASYNC_ENABLE_OFF) fail("HYC00", "Optional feature not implemented: asynchronous execution");
      return SQL_SUCCESS;
    case SQL_ATTR_ENABLE_AUTO_IPD:
      if (v != SQL_FALSE) fail("HYC00", "Optional feature not implemented: automatic IPD");
      return SQL_SUCCESS;
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC: {
      Desc*& cur = attr == SQL_ATTR_APP_ROW_DESC ? s.curArd : s.curApd;
      Desc* implicit = attr == SQL_ATTR_APP_ROW_DESC ? &s.ard : &s.apd;
      Desc* d = value ? handleOf<Desc>(value, HKind::Desc) : implicit;
      if (!d) fail("HY024", "Invalid attribute value");
      if (d != implicit && (d->which != DescKind::Explicit || d->dbc != s.dbc)) fail("HY017", "Invalid use of an automatically allocated descriptor handle");
      if (cur != implicit) {
        auto& u = cur->users;
        u.erase(std::remove(u.begin(), u.end(), &s), u.end());
      }
      cur = d;
      if (d != implicit) d->users.push_back(&s);
      return SQL_SUCCESS;
    }
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC:
    case SQL_ATTR_ROW_NUMBER: fail("HY092", "Invalid attribute identifier: read-only attribute");
    default: fail("HY092", "Invalid attribute identifier: " + std::to_string(attr));
  }
}

SQLRETURN getStmtAttr(Stmt& s, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen, SQLINTEGER* len) {
  (void)bufLen;
  bool open = s.cursorOpen();
  switch (attr) {
    case SQL_ATTR_CURSOR_TYPE: putUlen(out, open ? s.effectiveCursor : s.cursorType, len); break;
    case SQL_ATTR_CONCURRENCY: putUlen(out, open ? s.effectiveConcurrency : s.concurrency, len); break;
    case SQL_ATTR_CURSOR_SCROLLABLE: putUlen(out, s.cursorType == SQL_CURSOR_FORWARD_ONLY ? SQL_NONSCROLLABLE : SQL_SCROLLABLE, len); break;
    case SQL_ATTR_CURSOR_SENSITIVITY: putUlen(out, s.sensitivity, len); break;
    case SQL_ATTR_USE_BOOKMARKS: putUlen(out, s.useBookmarks, len); break;
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE: putUlen(out, s.curArd->arraySize, len); break;
    case SQL_ATTR_ROW_BIND_TYPE: putUlen(out, s.curArd->bindType, len); break;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: putPtr(out, s.curArd->bindOffsetPtr, len); break;
    case SQL_ATTR_ROW_STATUS_PTR: putPtr(out, s.ird.arrayStatusPtr, len); break;
    case SQL_ATTR_ROWS_FETCHED_PTR: putPtr(out, s.ird.rowsProcessedPtr, len); break;
    case SQL_ATTR_ROW_OPERATION_PTR: putPtr(out, s.curArd->arrayStatusPtr, len); break;
    case SQL_ATTR_PARAMSET_SIZE: putUlen(out, s.curApd->arraySize, len); break;
    case SQL_ATTR_PARAM_BIND_TYPE: putUlen(out, s.curApd->bindType, len); break;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: putPtr(out, s.curApd->bindOffsetPtr, len); break;
    case SQL_ATTR_PARAM_STATUS_PTR: putPtr(out, s.curApd->arrayStatusPtr, len); break;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: putPtr(out, s.curApd->rowsProcessedPtr, len); break;
    case SQL_ATTR_PARAM_OPERATION_PTR: putPtr(out, nullptr, len); break;
    case SQL_ATTR_FETCH_BOOKMARK_PTR: putPtr(out, s.fetchBookmarkPtr, len); break;
    case SQL_ATTR_MAX_ROWS: putUlen(out, s.maxRows, len); break;
    case SQL_ATTR_MAX_LENGTH: putUlen(out, s.maxLength, len); break;
    case SQL_ATTR_QUERY_TIMEOUT: putUlen(out, s.queryTimeout, len); break;
    case SQL_ATTR_NOSCAN: putUlen(out, s.noscan, len); break;
    case SQL_ATTR_RETRIEVE_DATA: putUlen(out, s.retrieveData, len); break;
    case SQL_ATTR_KEYSET_SIZE: putUlen(out, s.keysetSize, len); break;
    case SQL_ATTR_SIMULATE_CURSOR: putUlen(out, s.simulateCursor, len); break;
    case SQL_ATTR_METADATA_ID: putUlen(out, s.metadataId, len); break;
    case SQL_ATTR_ASYNC_ENABLE: putUlen(out, SQL_ASYNC_ENABLE_OFF, len); break;
    case SQL_ATTR_ENABLE_AUTO_IPD: putUlen(out, SQL_FALSE, len); break;
    case SQL_ATTR_ROW_NUMBER:
      if (!open) fail("24000", "Invalid cursor state");
      putUlen(out, s.rowNumber, len);
      break;
    case SQL_ATTR_APP_ROW_DESC: putPtr(out, static_cast<Handle*>(s.curArd), len); break;
    case SQL_ATTR_APP_PARAM_DESC: putPtr(out, static_cast<Handle*>(s.curApd), len); break;
    case SQL_ATTR_IMP_ROW_DESC: putPtr(out, static_cast<Handle*>(&s.ird), len); break;
    case SQL_ATTR_IMP_PARAM_DESC: putPtr(out, static_cast<Handle*>(&s.ipd), len); break;
    default: fail("HY092", "Invalid attribute identifier: " + std::to_string(attr));
  }
  return SQL_SUCCESS;
}

SQLRETURN setConnectAttr(Dbc& d, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  (void)len;
  SQLULEN v = asUlen(value);
  switch (attr) {
    case SQL_ATTR_AUTOCOMMIT:
      if (v != SQL_AUTOCOMMIT_ON && v != SQL_AUTOCOMMIT_OFF) fail("HY024", "Invalid attribute value");
      // Switching auto-commit on commits the open transaction.
      if (v == SQL_AUTOCOMMIT_ON && !d.autocommit) d.endTransaction(true);
      d.autocommit = v == SQL_AUTOCOMMIT_ON;
      return SQL_SUCCESS;
    case SQL_ATTR_ACCESS_MODE:
      if (v != SQL_MODE_READ_ONLY && v != SQL_MODE_READ_WRITE) fail("HY024", "Invalid attribute value");
      d.readOnly = d.openReadOnly || v == SQL_MODE_READ_ONLY;
      if (d.db) {
        int rc = sqlite3_exec(d.db, d.readOnly ? "PRAGMA query_only=ON" : "PRAGMA query_only=OFF", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) failSqlite(d.db, rc, "changing the access mode");
      }
      return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT: d.loginTimeout = static_cast<SQLUINTEGER>(v); return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT: d.connectionTimeout = static_cast<SQLUINTEGER>(v); return SQL_SUCCESS;
    case SQL_ATTR_PACKET_SIZE:
      // There is no network; the size is kept and reported.
      d.packetSize = static_cast<SQLUINTEGER>(v);
      return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
      if (d.inTransaction()) fail("HY011", "Attribute cannot be set now: transaction open");
      if (v != SQL_TXN_SERIALIZABLE) d.warn("01S02", "Option value changed: transactions are serializable");
      d.txnIsolation = SQL_TXN_SERIALIZABLE;
      return SQL_SUCCESS;
    case SQL_ATTR_QUIET_MODE: d.quietMode = v; return SQL_SUCCESS;
    case SQL_ATTR_ODBC_CURSORS:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_TRANSLATE_OPTION:
    case SQL_ATTR_METADATA_ID:
    case SQL_ATTR_ANSI_APP:
      return SQL_SUCCESS;
    case SQL_ATTR_CURRENT_CATALOG:
      fail("HYC00", "Optional feature not implemented: catalogs");
    case SQL_ATTR_ASYNC_ENABLE:
      if (v != SQL_ASYNC_ENABLE_OFF) fail("HYC00", "Optional feature not implemented: asynchronous execution");
      return SQL_SUCCESS;
    default:
      // Statement attributes set on the connection apply to its statements.
      if (attr == SQL_ATTR_CURSOR_TYPE || attr == SQL_ATTR_CONCURRENCY || attr == SQL_ATTR_MAX_ROWS ||
          attr == SQL_ATTR_QUERY_TIMEOUT || attr == SQL_ATTR_NOSCAN || attr == SQL_ROWSET_SIZE ||
          attr == SQL_ATTR_USE_BOOKMARKS || attr == SQL_ATTR_MAX_LENGTH) {
        for (Stmt* s : d.stmts) setStmtAttr(*s, attr, value);
        return SQL_SUCCESS;
      }
      fail("HY092", "Invalid attribute identifier: " + std::to_string(attr));
  }
}

SQLRETURN getConnectAttr(Dbc& d, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen, SQLINTEGER* len, bool wide) {
  (void)wide;
  switch (attr) {
    case SQL_ATTR_AUTOCOMMIT: putU32(out, d.autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF, len); break;
    case SQL_ATTR_ACCESS_MODE: putU32(out, d.readOnly ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE, len); break;
    case SQL_ATTR_LOGIN_TIMEOUT: putU32(out, d.loginTimeout, len); break;
    case SQL_ATTR_CONNECTION_TIMEOUT: putU32(out, d.connectionTimeout, len); break;
    case SQL_ATTR_PACKET_SIZE: putU32(out, d.packetSize, len); break;
    case SQL_ATTR_TXN_ISOLATION: putU32(out, d.txnIsolation, len); break;
    case SQL_ATTR_QUIET_MODE: putUlen(out, d.quietMode, len); break;
    case SQL_ATTR_AUTO_IPD: putU32(out, SQL_FALSE, len); break;
    case SQL_ATTR_CONNECTION_DEAD: putU32(out, d.connected() ? SQL_CD_FALSE : SQL_CD_TRUE, len); break;
    case SQL_ATTR_METADATA_ID: putU32(out, SQL_FALSE, len); break;
    case SQL_ATTR_ASYNC_ENABLE: putUlen(out, SQL_ASYNC_ENABLE_OFF, len); break;
    case SQL_ATTR_CURRENT_CATALOG: return strOutI(d, d.databaseName, out, bufLen, len);
    default: fail("HY092", "Invalid attribute identifier: " + std::to_string(attr));
  }
  return SQL_SUCCESS;
}

// ------------------------------------------------------------------------------------------
// Column attributes.

SQLRETURN colAttribute(Stmt& s, SQLUSMALLINT col, SQLUSMALLINT field, std::string* text, SQLLEN* num) {
  if (!s.prepared && !s.cursorOpen()) fail("HY010", "Function sequence error");
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    *num = static_cast<SQLLEN>(s.cols.size());
    return SQL_SUCCESS;
  }
  if (col == 0) {
    if (s.useBookmarks == SQL_UB_OFF) fail("07009", "Invalid descriptor index");
    switch (field) {
      case SQL_DESC_TYPE:
      case SQL_DESC_CONCISE_TYPE: *num = SQL_INTEGER; return SQL_SUCCESS;
      case SQL_DESC_OCTET_LENGTH:
      case SQL_DESC_LENGTH:
      case SQL_COLUMN_LENGTH: *num = 4; return SQL_SUCCESS;
      case SQL_DESC_UNSIGNED: *num = SQL_TRUE; return SQL_SUCCESS;
      case SQL_DESC_NAME:
      case SQL_COLUMN_NAME:
      case SQL_DESC_LABEL: *text = ""; return SQL_SUCCESS;
      default: *num = 0; *text = ""; return SQL_SUCCESS;
    }
  }
  if (col > s.cols.size()) fail("07009", "Invalid descriptor index");
  const ColInfo& c = s.cols[col - 1];
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME: *text = c.name; break;
    case SQL_DESC_LABEL: *text = c.label; break;
    case SQL_DESC_BASE_COLUMN_NAME: *text = c.baseColumn; break;
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_TABLE_NAME: *text = c.baseTable; break;
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME: *text = ""; break;
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME: *text = c.typeName; break;
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX: {
      static const std::string quote = "'", hexQuote = "X'", none;
      bool quoted = isCharType(c.sqlType) || isTemporalType(c.sqlType);
      if (field == SQL_DESC_LITERAL_PREFIX) text->assign(quoted ? quote : (isBinaryType(c.sqlType) ? hexQuote : none));
      else text->assign(quoted || isBinaryType(c.sqlType) ? quote : none);
      break;
    }
    case SQL_DESC_CONCISE_TYPE: *num = reportedType(s, c.sqlType); break;
    case SQL_DESC_TYPE: *num = s.dbc->env->odbcVersion == SQL_OV_ODBC2 ? reportedType(s, c.sqlType) : verboseType(c.sqlType); break;
    case SQL_DESC_DATETIME_INTERVAL_CODE: *num = datetimeSub(c.sqlType); break;
    case SQL_DESC_LENGTH: *num = static_cast<SQLLEN>(std::min<SQLULEN>(c.size, 2147483647)); break;
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_OCTET_LENGTH: *num = octetLength(c.sqlType, c.size); break;
    case SQL_COLUMN_PRECISION: *num = static_cast<SQLLEN>(std::min<SQLULEN>(c.size, 2147483647)); break;
    case SQL_DESC_PRECISION:
      *num = isExactType(c.sqlType) || isApproxType(c.sqlType) ? static_cast<SQLLEN>(c.size)
             : (c.sqlType == SQL_TYPE_TIMESTAMP ? c.digits : 0);
      break;
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE: *num = c.digits; break;
    case SQL_DESC_DISPLAY_SIZE: *num = displaySize(c.sqlType, c.size, c.digits); break;
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE: *num = c.nullable; break;
    case SQL_DESC_UNSIGNED: *num = (c.unsignedType || !(isExactType(c.sqlType) || isApproxType(c.sqlType))) ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_FIXED_PREC_SCALE: *num = SQL_FALSE; break;
    case SQL_DESC_UPDATABLE: *num = c.updatable; break;
    case SQL_DESC_AUTO_UNIQUE_VALUE: *num = c.autoUnique ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_CASE_SENSITIVE: *num = isCharType(c.sqlType) ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_SEARCHABLE: *num = isLongType(c.sqlType) ? (isCharType(c.sqlType) ? SQL_PRED_CHAR : SQL_PRED_NONE) : SQL_PRED_SEARCHABLE; break;
    case SQL_DESC_NUM_PREC_RADIX: *num = numPrecRadix(c.sqlType); break;
    case SQL_DESC_UNNAMED: *num = c.name.empty() ? SQL_UNNAMED : SQL_NAMED; break;
    default: fail("HY091", "Invalid descriptor field identifier: " + std::to_string(field));
  }
  return SQL_SUCCESS;
}

bool isTextColAttribute(SQLUSMALLINT field) {
  switch (field) {
    case SQL_DESC_NAME: case SQL_COLUMN_NAME: case SQL_DESC_LABEL: case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME: case SQL_DESC_TABLE_NAME: case SQL_DESC_SCHEMA_NAME: case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_TYPE_NAME: case SQL_DESC_LOCAL_TYPE_NAME: case SQL_DESC_LITERAL_PREFIX: case SQL_DESC_LITERAL_SUFFIX:
      return true;
    default:
      return false;
  }
}

SQLRETURN describeCol(Stmt& s, SQLUSMALLINT col, std::string* name, SQLSMALLINT* type, SQLULEN* size,
                      SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  if (!s.prepared && !s.executed) fail("HY010", "Function sequence error");
  if (col == 0) {
    if (s.useBookmarks == SQL_UB_OFF) fail("07009", "Invalid descriptor index");
    if (type) *type = SQL_INTEGER;
    if (size) *size = 10;
    if (digits) *digits = 0;
    if (nullable) *nullable = SQL_NO_NULLS;
    name->clear();
    return SQL_SUCCESS;
  }
  if (col > s.cols.size()) fail("07009", "Invalid descriptor index");
  const ColInfo& c = s.cols[col - 1];
  if (type) *type = reportedType(s, c.sqlType);
  if (size) *size = c.size;
  if (digits) *digits = c.digits;
  if (nullable) *nullable = c.nullable;
  *name = c.name;
  return SQL_SUCCESS;
}

}  // namespace kxodbc

// ------------------------------------------------------------------------------------------
// Handles

KX_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  switch (type) {
    case SQL_HANDLE_ENV: {
      try {
        auto* e = new Env();
        *output = static_cast<Handle*>(e);
        return SQL_SUCCESS;
      } catch (...) {
        *output = SQL_NULL_HENV;
        return SQL_ERROR;
      }
    }
    case SQL_HANDLE_DBC:
      return guarded<Env>(input, HKind::Env, [&](Env& e) -> SQLRETURN {
        *output = SQL_NULL_HDBC;
        auto* d = new Dbc(&e);
        e.dbcs.push_back(d);
        *output = static_cast<Handle*>(d);
        return SQL_SUCCESS;
      });
    case SQL_HANDLE_STMT:
      return guarded<Dbc>(input, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
        *output = SQL_NULL_HSTMT;
        requireConnected(d);
        auto* s = new Stmt(&d);
        d.stmts.push_back(s);
        *output = static_cast<Handle*>(s);
        return SQL_SUCCESS;
      });
    case SQL_HANDLE_DESC:
      return guarded<Dbc>(input, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
        *output = SQL_NULL_HDESC;
        requireConnected(d);
        auto* x = new Desc(&d, nullptr, DescKind::Explicit);
        d.descs.push_back(x);
        *output = static_cast<Handle*>(x);
        return SQL_SUCCESS;
      });
    default:
      return SQL_ERROR;
  }
}

static SQLRETURN freeStmt(Stmt* s) {
  Dbc* d = s->dbc;
  std::lock_guard<std::recursive_mutex> lock(d->mu);
  d->stmts.erase(std::remove(d->stmts.begin(), d->stmts.end(), s), d->stmts.end());
  delete s;
  return SQL_SUCCESS;
}

KX_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = handleOf<Env>(h, HKind::Env);
      if (!e) return SQL_INVALID_HANDLE;
      {
        std::lock_guard<std::recursive_mutex> lock(e->mu);
        if (!e->dbcs.empty()) {
          e->diags.clear();
          e->add(OdbcError{"HY010", "Function sequence error: connections still allocated", 0});
          return SQL_ERROR;
        }
      }
      delete e;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Dbc* d = handleOf<Dbc>(h, HKind::Dbc);
      if (!d) return SQL_INVALID_HANDLE;
      Env* e = d->env;
      std::lock_guard<std::recursive_mutex> envLock(e->mu);
      {
        std::lock_guard<std::recursive_mutex> lock(d->mu);
        if (d->connected()) {
          d->diags.clear();
          d->add(OdbcError{"HY010", "Function sequence error: still connected", 0});
          return SQL_ERROR;
        }
        for (Stmt* s : std::vector<Stmt*>(d->stmts)) delete s;
        d->stmts.clear();
        for (Desc* x : d->descs) delete x;
        d->descs.clear();
      }
      e->dbcs.erase(std::remove(e->dbcs.begin(), e->dbcs.end(), d), e->dbcs.end());
      delete d;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Stmt* s = handleOf<Stmt>(h, HKind::Stmt);
      if (!s) return SQL_INVALID_HANDLE;
      return freeStmt(s);
    }
    case SQL_HANDLE_DESC: {
      Desc* x = handleOf<Desc>(h, HKind::Desc);
      if (!x) return SQL_INVALID_HANDLE;
      if (x->which != DescKind::Explicit) {
        std::lock_guard<std::recursive_mutex> lock(x->dbc->mu);
        x->diags.clear();
        x->add(OdbcError{"HY017", "Invalid use of an automatically allocated descriptor handle", 0});
        return SQL_ERROR;
      }
      Dbc* d = x->dbc;
      std::lock_guard<std::recursive_mutex> lock(d->mu);
      for (Stmt* s : x->users) {
        if (s->curArd == x) s->curArd = &s->ard;
        if (s->curApd == x) s->curApd = &s->apd;
      }
      d->descs.erase(std::remove(d->descs.begin(), d->descs.end(), x), d->descs.end());
      delete x;
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

KX_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
  if (option == SQL_DROP) {
    Stmt* s = handleOf<Stmt>(h, HKind::Stmt);
    if (!s) return SQL_INVALID_HANDLE;
    return freeStmt(s);
  }
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    switch (option) {
      case SQL_CLOSE:
        s.closeCursor();
        s.needData = false;
        return SQL_SUCCESS;
      case SQL_UNBIND:
        s.curArd->recs.clear();
        ++s.bindVersion;
        return SQL_SUCCESS;
      case SQL_RESET_PARAMS:
        s.curApd->recs.clear();
        s.ipd.recs.clear();
        return SQL_SUCCESS;
      default:
        fail("HY092", "Invalid attribute/option identifier");
    }
  });
}

// ------------------------------------------------------------------------------------------
// Environment

KX_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return guarded<Env>(h, HKind::Env, [&](Env& e) -> SQLRETURN {
    SQLULEN v = reinterpret_cast<uintptr_t>(value);
    switch (attr) {
      case SQL_ATTR_ODBC_VERSION:
        if (v != SQL_OV_ODBC2 && v != SQL_OV_ODBC3 && v != SQL_OV_ODBC3_80) fail("HY024", "Invalid attribute value");
        e.odbcVersion = static_cast<SQLINTEGER>(v);
        return SQL_SUCCESS;
      case SQL_ATTR_OUTPUT_NTS:
        if (v != SQL_TRUE) fail("HYC00", "Optional feature not implemented");
        return SQL_SUCCESS;
      case SQL_ATTR_CONNECTION_POOLING:
      case SQL_ATTR_CP_MATCH:
        return SQL_SUCCESS;
      default:
        fail("HY092", "Invalid attribute identifier");
    }
  });
}

KX_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV h, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER, SQLINTEGER* len) {
  return guarded<Env>(h, HKind::Env, [&](Env& e) -> SQLRETURN {
    switch (attr) {
      case SQL_ATTR_ODBC_VERSION: putU32(out, static_cast<SQLUINTEGER>(e.odbcVersion), len); return SQL_SUCCESS;
      case SQL_ATTR_OUTPUT_NTS: putU32(out, SQL_TRUE, len); return SQL_SUCCESS;
      case SQL_ATTR_CONNECTION_POOLING: putU32(out, SQL_CP_OFF, len); return SQL_SUCCESS;
      case SQL_ATTR_CP_MATCH: putU32(out, SQL_CP_STRICT_MATCH, len); return SQL_SUCCESS;
      default: fail("HY092", "Invalid attribute identifier");
    }
  });
}

// ------------------------------------------------------------------------------------------
// Connections

KX_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC h, SQLCHAR* dsn, SQLSMALLINT dsnLen, SQLCHAR* uid, SQLSMALLINT uidLen,
                                       SQLCHAR* pwd, SQLSMALLINT pwdLen) {
  return connectCall(h, dsn, dsnLen, uid, uidLen, pwd, pwdLen);
}

KX_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLen, SQLCHAR* out,
                                             SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT completion) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (completion != SQL_DRIVER_NOPROMPT && completion != SQL_DRIVER_COMPLETE && completion != SQL_DRIVER_PROMPT &&
        completion != SQL_DRIVER_COMPLETE_REQUIRED)
      fail("HY110", "Invalid driver completion");
    std::string completed;
    connect(d, parseConnectionString(textIn(in, inLen)), &completed);
    if (out || outLen) {
      if (outMax < 0) fail("HY090", "Invalid string or buffer length");
      if (copyOut(completed, out, outMax, outLen)) d.warn("01004", "String data, right truncated");
    }
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (!d.connected()) fail("08003", "Connection not open");
    if (d.inTransaction() && !d.autocommit) fail("25000", "Invalid transaction state: transaction still open");
    // Statements lose their work but stay allocated: the driver manager or the application
    // may still free them; whatever is left goes with the connection handle.
    d.disconnect();
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) { return setConnectAttr(d, attr, value, len); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen,
                                              SQLINTEGER* len) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) { return getConnectAttr(d, attr, out, bufLen, len, false); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT bufLen,
                                       SQLSMALLINT* len) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
    return getInfo(d, type, out, bufLen, len);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  if (completion != SQL_COMMIT && completion != SQL_ROLLBACK) {
    if (type == SQL_HANDLE_DBC)
      return guarded<Dbc>(h, HKind::Dbc, [&](Dbc&) -> SQLRETURN { fail("HY012", "Invalid transaction operation code"); });
    return guarded<Env>(h, HKind::Env, [&](Env&) -> SQLRETURN { fail("HY012", "Invalid transaction operation code"); });
  }
  if (type == SQL_HANDLE_DBC)
    return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
      requireConnected(d);
      d.endTransaction(completion == SQL_COMMIT);
      return SQL_SUCCESS;
    });
  if (type == SQL_HANDLE_ENV)
    return guarded<Env>(h, HKind::Env, [&](Env& e) -> SQLRETURN {
      for (Dbc* d : e.dbcs) {
        std::lock_guard<std::recursive_mutex> lock(d->mu);
        if (d->connected()) d->endTransaction(completion == SQL_COMMIT);
      }
      return SQL_SUCCESS;
    });
  return SQL_INVALID_HANDLE;
}

KX_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC h, SQLCHAR* in, SQLINTEGER inLen, SQLCHAR* out, SQLINTEGER outMax,
                                         SQLINTEGER* outLen) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    if (!in) fail("HY009", "Invalid use of null pointer");
    std::string text = translateEscapes(textIn(in, inLen), nullptr, nullptr);
    return strOutI(d, text, out, outMax, outLen);
  });
}

// ------------------------------------------------------------------------------------------
// Diagnostics

namespace kxodbc {
Handle* anyHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: return handleOf<Env>(h, HKind::Env);
    case SQL_HANDLE_DBC: return handleOf<Dbc>(h, HKind::Dbc);
    case SQL_HANDLE_STMT: return handleOf<Stmt>(h, HKind::Stmt);
    case SQL_HANDLE_DESC: return handleOf<Desc>(h, HKind::Desc);
    default: return nullptr;
  }
}

SQLRETURN diagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, std::string* state, SQLINTEGER* native,
                  std::string* msg) {
  Handle* x = anyHandle(type, h);
  if (!x) return SQL_INVALID_HANDLE;
  std::lock_guard<std::recursive_mutex> lock(x->mutex());
  if (rec < 1) return SQL_ERROR;
  if (rec > static_cast<SQLSMALLINT>(x->diags.size())) return SQL_NO_DATA;
  const DiagRec& r = x->diags[static_cast<size_t>(rec - 1)];
  *state = r.state;
  if (native) *native = r.native;
  *msg = r.message;
  return SQL_SUCCESS;
}

SQLRETURN diagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER out,
                    std::string* text, bool& isText) {
  Handle* x = anyHandle(type, h);
  if (!x) return SQL_INVALID_HANDLE;
  std::lock_guard<std::recursive_mutex> lock(x->mutex());
  isText = false;
  switch (field) {
    case SQL_DIAG_NUMBER: {
      SQLINTEGER n = static_cast<SQLINTEGER>(x->diags.size());
      if (out) std::memcpy(out, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_RETURNCODE:
      if (out) std::memcpy(out, &x->lastReturn, sizeof x->lastReturn);
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      if (type != SQL_HANDLE_STMT) return SQL_ERROR;
      Stmt* s = static_cast<Stmt*>(x);
      SQLLEN n = field == SQL_DIAG_ROW_COUNT ? s->rowCount : (s->result ? s->result->count() : 0);
      if (out) std::memcpy(out, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_DYNAMIC_FUNCTION:
      isText = true;
      *text = "";
      return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
      SQLINTEGER n = SQL_DIAG_UNKNOWN_STATEMENT;
      if (out) std::memcpy(out, &n, sizeof n);
      return SQL_SUCCESS;
    }
    default: break;
  }
  if (rec < 1) return SQL_ERROR;
  if (rec > static_cast<SQLSMALLINT>(x->diags.size())) return SQL_NO_DATA;
  const DiagRec& r = x->diags[static_cast<size_t>(rec - 1)];
  switch (field) {
    case SQL_DIAG_SQLSTATE: isText = true; *text = r.state; return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT: isText = true; *text = r.message; return SQL_SUCCESS;
    case SQL_DIAG_NATIVE:
      if (out) std::memcpy(out, &r.native, sizeof r.native);
      return SQL_SUCCESS;
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      isText = true;
      *text = (r.state.rfind("IM", 0) == 0 || r.state.rfind("HY", 0) == 0 || r.state[0] == '0') ? "ODBC 3.0" : "ISO 9075";
      if (field == SQL_DIAG_CLASS_ORIGIN && r.state.rfind("IM", 0) != 0) *text = "ISO 9075";
      return SQL_SUCCESS;
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: isText = true; *text = ""; return SQL_SUCCESS;
    case SQL_DIAG_ROW_NUMBER: {
      SQLLEN n = r.row;
      if (out) std::memcpy(out, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_COLUMN_NUMBER: {
      SQLINTEGER n = r.column;
      if (out) std::memcpy(out, &n, sizeof n);
      return SQL_SUCCESS;
    }
    default: return SQL_ERROR;
  }
}
}  // namespace kxodbc

KX_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLCHAR* state,
                                          SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT bufLen, SQLSMALLINT* textLen) {
  std::string st, m;
  SQLRETURN rc = diagRec(type, h, rec, &st, native, &m);
  if (rc != SQL_SUCCESS) return rc;
  if (bufLen < 0) return SQL_ERROR;
  if (state) {
    for (size_t k = 0; k < 5; ++k) state[k] = static_cast<SQLCHAR>(k < st.size() ? st[k] : ' ');
    state[5] = 0;
  }
  return copyOut(m, msg, bufLen, textLen) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

KX_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field,
                                            SQLPOINTER out, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  std::string text;
  bool isText = false;
  SQLRETURN rc = diagField(type, h, rec, field, out, &text, isText);
  if (rc != SQL_SUCCESS || !isText) return rc;
  if (bufLen < 0) return SQL_ERROR;
  return copyOut(text, static_cast<SQLCHAR*>(out), bufLen, len) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// ------------------------------------------------------------------------------------------
// Statements

KX_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return prepareCall(h, text, len);
}

KX_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (s.needData) fail("HY010", "Function sequence error: data at execution pending");
    return executeStatement(s);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return execDirectCall(h, text, len);
}

KX_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!s.prepared) fail("HY010", "Function sequence error");
    if (count) *count = static_cast<SQLSMALLINT>(numParams(s));
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT* type, SQLULEN* size,
                                             SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!s.prepared || !s.prog) fail("HY010", "Function sequence error");
    if (n < 1 || n > numParams(s)) fail("07009", "Invalid descriptor index");
    const ParamInfo& p = describeParam(s, n);
    if (type) *type = reportedType(s, p.sqlType);
    if (size) *size = p.size;
    if (digits) *digits = p.digits;
    if (nullable) *nullable = p.nullable;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT ctype,
                                             SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER ptr,
                                             SQLLEN bufLen, SQLLEN* ind) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (n < 1) fail("07009", "Invalid descriptor index");
    if (io != SQL_PARAM_INPUT && io != SQL_PARAM_OUTPUT && io != SQL_PARAM_INPUT_OUTPUT && io != SQL_RETURN_VALUE)
      fail("HY105", "Invalid parameter type");
    if (!isValidCType(ctype)) fail("HY003", "Invalid application buffer type");
    if (sqlType == SQL_DATE) sqlType = SQL_TYPE_DATE;
    if (sqlType == SQL_TIME) sqlType = SQL_TYPE_TIME;
    if (sqlType == SQL_TIMESTAMP) sqlType = SQL_TYPE_TIMESTAMP;
    if (!isValidSqlType(sqlType)) fail("HY004", "Invalid SQL data type");
    if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
    if (!ptr && !ind && io != SQL_PARAM_OUTPUT) fail("HY009", "Invalid use of null pointer");
    DescRec& a = s.curApd->rec(n);
    a.conciseType = ctype;
    a.dataPtr = ptr;
    a.octetLength = bufLen;
    a.indicatorPtr = ind;
    a.octetLengthPtr = ind;
    a.precision = static_cast<SQLSMALLINT>(size);
    a.scale = digits;
    DescRec& ip = s.ipd.rec(n);
    ip.conciseType = sqlType;
    ip.length = size;
    ip.scale = digits;
    ip.precision = static_cast<SQLSMALLINT>(size);
    ip.paramType = io;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER* token) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return paramData(s, token); });
}

KX_EXPORT SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return putData(s, data, len); });
}

KX_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!s.executed) fail("HY010", "Function sequence error");
    if (count) *count = s.rowCount;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!s.prepared && !s.executed) fail("HY010", "Function sequence error");
    if (count) *count = static_cast<SQLSMALLINT>(s.cols.size());
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT nameMax,
                                           SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size,
                                           SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (nameMax < 0) fail("HY090", "Invalid string or buffer length");
    std::string n;
    describeCol(s, col, &n, type, size, digits, nullable);
    return strOut(s, n, name, nameMax, nameLen);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER charAttr,
                                            SQLSMALLINT bufLen, SQLSMALLINT* strLen, SQLLEN* numAttr) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    std::string text;
    SQLLEN num = 0;
    colAttribute(s, col, field, &text, &num);
    if (isTextColAttribute(field)) {
      if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
      return strOut(s, text, static_cast<SQLCHAR*>(charAttr), bufLen, strLen);
    }
    if (numAttr) *numAttr = num;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER ptr, SQLLEN bufLen,
                                       SQLLEN* ind) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
    if (col == 0) {
      if (s.useBookmarks == SQL_UB_OFF) fail("07009", "Invalid descriptor index: bookmarks are off");
      if (ptr && ctype != SQL_C_BOOKMARK && ctype != SQL_C_VARBOOKMARK && ctype != SQL_C_ULONG && ctype != SQL_C_SLONG &&
          ctype != SQL_C_UBIGINT && ctype != SQL_C_SBIGINT && ctype != SQL_C_DEFAULT)
        fail("HY003", "Invalid application buffer type for a bookmark");
    } else if (ptr && !isValidCType(ctype)) {
      fail("HY003", "Invalid application buffer type");
    }
    if (s.cursorOpen() && col > s.cols.size()) fail("07009", "Invalid descriptor index");
    DescRec& r = s.curArd->rec(col);
    r.conciseType = ctype == SQL_C_BOOKMARK ? SQL_C_UBIGINT : ctype;
    r.dataPtr = ptr;
    r.octetLength = bufLen;
    r.indicatorPtr = ind;
    r.octetLengthPtr = ind;
    if (!ptr && !ind) s.curArd->trim();
    ++s.bindVersion;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return fetchRows(s, SQL_FETCH_NEXT, 0, nullptr, nullptr); });
}

KX_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return fetchRows(s, orientation, offset, nullptr, nullptr); });
}

KX_EXPORT SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT h, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rows,
                                             SQLUSMALLINT* status) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (orientation == SQL_FETCH_BOOKMARK) {
      // The ODBC 2 form passes the bookmark itself as the offset.
      uint32_t bm = static_cast<uint32_t>(offset);
      void* saved = s.fetchBookmarkPtr;
      s.fetchBookmarkPtr = &bm;
      SQLRETURN rc;
      try {
        rc = fetchRows(s, SQL_FETCH_BOOKMARK, 0, rows, status);
      } catch (...) {
        s.fetchBookmarkPtr = saved;
        throw;
      }
      s.fetchBookmarkPtr = saved;
      return rc;
    }
    return fetchRows(s, static_cast<SQLSMALLINT>(orientation), offset, rows, status);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER ptr, SQLLEN bufLen,
                                       SQLLEN* ind) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return getData(s, col, ctype, ptr, bufLen, ind); });
}

KX_EXPORT SQLRETURN SQL_API SQLSetPos(SQLHSTMT h, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return setPos(s, row, op, lock); });
}

KX_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return moreResults(s); });
}

KX_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT h) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!s.cursorOpen()) fail("24000", "Invalid cursor state: no cursor open");
    s.closeCursor();
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    // Only data at execution can be pending between calls; nothing runs in the background.
    s.needData = false;
    s.dataAtExec.clear();
    s.needParam = 0;
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return setStmtAttr(s, attr, value); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen,
                                           SQLINTEGER* len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return getStmtAttr(s, attr, out, bufLen, len); });
}

namespace kxodbc {
void setCursorName(Stmt& s, const std::string& name) {
  if (name.empty() || name.size() > 64) fail("34000", "Invalid cursor name");
  if (upper(name).rfind("SQL_CUR", 0) == 0 || upper(name).rfind("SQLCUR", 0) == 0) fail("34000", "Invalid cursor name");
  if (s.cursorOpen()) fail("24000", "Invalid cursor state");
  for (Stmt* o : s.dbc->stmts)
    if (o != &s && iequals(o->cursorName, name)) fail("3C000", "Duplicate cursor name");
  s.cursorName = name;
  s.cursorNameSet = true;
}
}  // namespace kxodbc

KX_EXPORT SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT h, SQLCHAR* out, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) { return strOut(s, s.getCursorName(), out, bufLen, len); });
}

KX_EXPORT SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT h, SQLCHAR* name, SQLSMALLINT len) {
  return setCursorNameCall(h, name, len);
}

// ------------------------------------------------------------------------------------------
// Catalogue

KX_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT h, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema,
                                      SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* types,
                                      SQLSMALLINT typesLen) {
  return tablesCall(h, cat, catLen, schema, schemaLen, table, tableLen, types, typesLen);
}

KX_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT h, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema,
                                       SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                                       SQLSMALLINT columnLen) {
  return columnsCall(h, cat, catLen, schema, schemaLen, table, tableLen, column, columnLen);
}

KX_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* table,
                                          SQLSMALLINT tableLen, SQLUSMALLINT unique, SQLUSMALLINT) {
  return statisticsCall(h, table, tableLen, unique);
}

KX_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* table,
                                           SQLSMALLINT tableLen) {
  return primaryKeysCall(h, table, tableLen);
}

KX_EXPORT SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* pkTable,
                                           SQLSMALLINT pkLen, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                           SQLCHAR* fkTable, SQLSMALLINT fkLen) {
  return foreignKeysCall(h, pkTable, pkLen, fkTable, fkLen);
}

KX_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT h, SQLUSMALLINT idType, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                              SQLSMALLINT, SQLCHAR* table, SQLSMALLINT tableLen, SQLUSMALLINT,
                                              SQLUSMALLINT) {
  return specialColumnsCall(h, idType, table, tableLen);
}

KX_EXPORT SQLRETURN SQL_API SQLProcedures(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* proc,
                                          SQLSMALLINT procLen) {
  return proceduresCall(h, proc, procLen);
}

KX_EXPORT SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                                SQLCHAR* proc, SQLSMALLINT procLen, SQLCHAR* column,
                                                SQLSMALLINT columnLen) {
  return procedureColumnsCall(h, proc, procLen, column, columnLen);
}

KX_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT type) { return typeInfoCall(h, type); }
