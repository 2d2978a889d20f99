// Descriptor fields: the same bindings SQLBindCol and SQLBindParameter make, seen and set field
// by field. The implementation row descriptor is read-only and describes the current result.
#include <algorithm>

#include "engines/odbc/api.h"
#include "engines/odbc/types.h"

using namespace kxodbc;

namespace {

void touch(Desc& d) {
  if (d.stmt) ++d.stmt->bindVersion;
  for (Stmt* s : d.users) ++s->bindVersion;
}

template <class T>
void put(SQLPOINTER out, T v, SQLINTEGER* len) {
  if (out) std::memcpy(out, &v, sizeof v);
  if (len) *len = sizeof v;
}

SQLLEN asLen(SQLPOINTER v) { return static_cast<SQLLEN>(reinterpret_cast<intptr_t>(v)); }

// Record fields of the implementation row descriptor come from the result's columns.
SQLRETURN getIrdField(Desc& d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER out, SQLINTEGER bufLen,
                      SQLINTEGER* len, bool wide) {
  Stmt& s = *d.stmt;
  std::string text;
  SQLLEN num = 0;
  SQLUSMALLINT f = static_cast<SQLUSMALLINT>(field);
  colAttribute(s, static_cast<SQLUSMALLINT>(rec), f, &text, &num);
  if (isTextColAttribute(f)) {
    bool truncated = wide ? wideOutBytes(text, out, bufLen, len) : copyOut(text, static_cast<SQLCHAR*>(out), bufLen, len);
    if (truncated) {
      d.warn("01004", "String data, right truncated");
      return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
  }
  switch (field) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE:
    case SQL_DESC_DATETIME_INTERVAL_CODE:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_NULLABLE:
    case SQL_DESC_UNNAMED:
    case SQL_DESC_UPDATABLE:
    case SQL_DESC_SEARCHABLE:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_UNSIGNED:
    case SQL_DESC_CASE_SENSITIVE:
      put(out, static_cast<SQLSMALLINT>(num), len);
      break;
    case SQL_DESC_AUTO_UNIQUE_VALUE:
      put(out, static_cast<SQLINTEGER>(num), len);
      break;
    default:
      put(out, num, len);
      break;
  }
  return SQL_SUCCESS;
}

SQLRETURN getField(Desc& d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER out, SQLINTEGER bufLen, SQLINTEGER* len,
                   bool wide) {
  // Header fields.
  switch (field) {
    case SQL_DESC_ALLOC_TYPE: put(out, static_cast<SQLSMALLINT>(d.which == DescKind::Explicit ? SQL_DESC_ALLOC_USER : SQL_DESC_ALLOC_AUTO), len); return SQL_SUCCESS;
    case SQL_DESC_ARRAY_SIZE: put(out, d.arraySize, len); return SQL_SUCCESS;
    case SQL_DESC_ARRAY_STATUS_PTR: put(out, static_cast<void*>(d.arrayStatusPtr), len); return SQL_SUCCESS;
    case SQL_DESC_BIND_OFFSET_PTR: put(out, static_cast<void*>(d.bindOffsetPtr), len); return SQL_SUCCESS;
    case SQL_DESC_BIND_TYPE: put(out, static_cast<SQLINTEGER>(d.bindType), len); return SQL_SUCCESS;
    case SQL_DESC_ROWS_PROCESSED_PTR: put(out, static_cast<void*>(d.rowsProcessedPtr), len); return SQL_SUCCESS;
    case SQL_DESC_COUNT: {
      SQLSMALLINT n = d.which == DescKind::IRD ? static_cast<SQLSMALLINT>(d.stmt->cols.size()) : static_cast<SQLSMALLINT>(d.count());
      put(out, n, len);
      return SQL_SUCCESS;
    }
    default: break;
  }
  if (rec < 0) fail("07009", "Invalid descriptor index");
  if (d.which == DescKind::IRD) {
    if (!d.stmt->prepared && !d.stmt->cursorOpen()) return SQL_NO_DATA;
    if (rec > static_cast<SQLSMALLINT>(d.stmt->cols.size())) return SQL_NO_DATA;
    return getIrdField(d, rec, field, out, bufLen, len, wide);
  }
  if (rec > d.count()) return SQL_NO_DATA;
  const DescRec& r = d.rec(rec);
  bool impl = d.which == DescKind::IPD;
  switch (field) {
    case SQL_DESC_TYPE: put(out, static_cast<SQLSMALLINT>(impl ? verboseType(r.conciseType) : r.conciseType), len); break;
    case SQL_DESC_CONCISE_TYPE: put(out, r.conciseType, len); break;
    case SQL_DESC_DATETIME_INTERVAL_CODE: put(out, static_cast<SQLSMALLINT>(impl ? datetimeSub(r.conciseType) : 0), len); break;
    case SQL_DESC_DATA_PTR: put(out, r.dataPtr, len); break;
    case SQL_DESC_INDICATOR_PTR: put(out, static_cast<void*>(r.indicatorPtr), len); break;
    case SQL_DESC_OCTET_LENGTH_PTR: put(out, static_cast<void*>(r.octetLengthPtr), len); break;
    case SQL_DESC_OCTET_LENGTH: put(out, r.octetLength, len); break;
    case SQL_DESC_LENGTH: put(out, r.length, len); break;
    case SQL_DESC_PRECISION: put(out, r.precision, len); break;
    case SQL_DESC_SCALE: put(out, r.scale, len); break;
    case SQL_DESC_PARAMETER_TYPE: put(out, r.paramType, len); break;
    case SQL_DESC_NULLABLE: put(out, r.nullable, len); break;
    case SQL_DESC_UNNAMED: put(out, static_cast<SQLSMALLINT>(r.name.empty() ? SQL_UNNAMED : SQL_NAMED), len); break;
    case SQL_DESC_NAME: {
      bool truncated = wide ? wideOutBytes(r.name, out, bufLen, len) : copyOut(r.name, static_cast<SQLCHAR*>(out), bufLen, len);
      if (truncated) {
        d.warn("01004", "String data, right truncated");
        return SQL_SUCCESS_WITH_INFO;
      }
      break;
    }
    default: fail("HY091", "Invalid descriptor field identifier: " + std::to_string(field));
  }
  return SQL_SUCCESS;
}

SQLRETURN setField(Desc& d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, const std::string* text) {
  if (d.which == DescKind::IRD && field != SQL_DESC_ARRAY_STATUS_PTR && field != SQL_DESC_ROWS_PROCESSED_PTR)
    fail("HY016", "Cannot modify an implementation row descriptor");
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
      if (asLen(value) <= 0) fail("HY024", "Invalid attribute value");
      d.arraySize = static_cast<SQLULEN>(asLen(value));
      touch(d);
      return SQL_SUCCESS;
    case SQL_DESC_ARRAY_STATUS_PTR: d.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_DESC_BIND_OFFSET_PTR: d.bindOffsetPtr = static_cast<SQLLEN*>(value); touch(d); return SQL_SUCCESS;
    case SQL_DESC_BIND_TYPE: d.bindType = static_cast<SQLULEN>(asLen(value)); touch(d); return SQL_SUCCESS;
    case SQL_DESC_ROWS_PROCESSED_PTR: d.rowsProcessedPtr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_DESC_COUNT: {
      SQLLEN n = asLen(value);
      if (n < 0 || n > 32767) fail("07009", "Invalid descriptor index");
      if (n == 0) d.recs.clear();
      else d.recs.resize(static_cast<size_t>(n) + 1);
      touch(d);
      return SQL_SUCCESS;
    }
    case SQL_DESC_ALLOC_TYPE: fail("HY091", "Invalid descriptor field identifier: read-only field");
    default: break;
  }
  if (rec < 0 || (rec == 0 && d.which == DescKind::IPD)) fail("07009", "Invalid descriptor index");
  DescRec& r = d.rec(rec);
  bool app = d.which != DescKind::IPD;
  switch (field) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE: {
      auto t = static_cast<SQLSMALLINT>(asLen(value));
      if (t == SQL_DATETIME && field == SQL_DESC_TYPE) t = app ? SQL_C_TYPE_TIMESTAMP : SQL_TYPE_TIMESTAMP;
      if (app ? !isValidCType(t) : !isValidSqlType(t)) fail("HY021", "Inconsistent descriptor information");
      r.conciseType = t;
      break;
    }
    case SQL_DESC_DATA_PTR: r.dataPtr = value; break;
    case SQL_DESC_INDICATOR_PTR: r.indicatorPtr = static_cast<SQLLEN*>(value); break;
    case SQL_DESC_OCTET_LENGTH_PTR: r.octetLengthPtr = static_cast<SQLLEN*>(value); break;
    case SQL_DESC_OCTET_LENGTH:
      if (asLen(value) < 0) fail("HY090", "Invalid string or buffer length");
      r.octetLength = asLen(value);
      break;
    case SQL_DESC_LENGTH: r.length = static_cast<SQLULEN>(asLen(value)); break;
    case SQL_DESC_PRECISION: r.precision = static_cast<SQLSMALLINT>(asLen(value)); break;
    case SQL_DESC_SCALE: r.scale = static_cast<SQLSMALLINT>(asLen(value)); break;
    case SQL_DESC_DATETIME_INTERVAL_CODE: break;
    case SQL_DESC_PARAMETER_TYPE: {
      auto io = static_cast<SQLSMALLINT>(asLen(value));
      if (io != SQL_PARAM_INPUT && io != SQL_PARAM_OUTPUT && io != SQL_PARAM_INPUT_OUTPUT) fail("HY105", "Invalid parameter type");
      r.paramType = io;
      break;
    }
    case SQL_DESC_NAME: r.name = text ? *text : std::string(); break;
    case SQL_DESC_UNNAMED:
      if (asLen(value) == SQL_NAMED) fail("HY091", "Invalid descriptor field identifier");
      r.name.clear();
      break;
    default: fail("HY091", "Invalid descriptor field identifier: " + std::to_string(field));
  }
  touch(d);
  return SQL_SUCCESS;
}

}  // namespace

KX_EXPORT SQLRETURN SQL_API SQLGetDescField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER out,
                                            SQLINTEGER bufLen, SQLINTEGER* len) {
  return guarded<Desc>(h, HKind::Desc, [&](Desc& d) { return getField(d, rec, field, out, bufLen, len, false); });
}

KX_EXPORT SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER out,
                                             SQLINTEGER bufLen, SQLINTEGER* len) {
  return guarded<Desc>(h, HKind::Desc, [&](Desc& d) { return getField(d, rec, field, out, bufLen, len, true); });
}

KX_EXPORT SQLRETURN SQL_API SQLSetDescField(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                            SQLINTEGER len) {
  return guarded<Desc>(h, HKind::Desc, [&](Desc& d) -> SQLRETURN {
    std::string text;
    if (field == SQL_DESC_NAME && value) text = textIn(static_cast<SQLCHAR*>(value), len);
    return setField(d, rec, field, value, &text);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                                             SQLINTEGER len) {
  return guarded<Desc>(h, HKind::Desc, [&](Desc& d) -> SQLRETURN {
    std::string text;
    if (field == SQL_DESC_NAME && value) text = utf16ToUtf8(static_cast<SQLWCHAR*>(value), len == SQL_NTS ? SQL_NTS : len / 2);
    return setField(d, rec, field, value, &text);
  });
}

KX_EXPORT SQLRETURN SQL_API SQLGetDescRec(SQLHDESC h, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT bufLen,
                                          SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLSMALLINT* subType, SQLLEN* length,
                                          SQLSMALLINT* precision, SQLSMALLINT* scale, SQLSMALLINT* nullable) {
  return guarded<Desc>(h, HKind::Desc, [&](Desc& d) -> SQLRETURN {
    SQLINTEGER l = 0;
    char nameBuf[1024];
    SQLRETURN rc = getField(d, rec, SQL_DESC_NAME, nameBuf, sizeof nameBuf, &l, false);
    if (rc == SQL_NO_DATA) return rc;
    d.diags.clear();
    if (copyOut(nameBuf, name, bufLen, nameLen)) d.warn("01004", "String data, right truncated");
    if (type) getField(d, rec, SQL_DESC_TYPE, type, 0, nullptr, false);
    if (subType) getField(d, rec, SQL_DESC_DATETIME_INTERVAL_CODE, subType, 0, nullptr, false);
    if (length) getField(d, rec, SQL_DESC_OCTET_LENGTH, length, 0, nullptr, false);
    if (precision) getField(d, rec, SQL_DESC_PRECISION, precision, 0, nullptr, false);
    if (scale) getField(d, rec, SQL_DESC_SCALE, scale, 0, nullptr, false);
    if (nullable) getField(d, rec, SQL_DESC_NULLABLE, nullable, 0, nullptr, false);
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLSetDescRec(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType,
                                          SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                                          SQLLEN* octetLengthPtr, SQLLEN* indicatorPtr) {
  return guarded<Desc>(h, HKind::Desc, [&](Desc& d) -> SQLRETURN {
    (void)subType;
    setField(d, rec, SQL_DESC_TYPE, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(type)), nullptr);
    setField(d, rec, SQL_DESC_OCTET_LENGTH, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(length)), nullptr);
    setField(d, rec, SQL_DESC_PRECISION, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(precision)), nullptr);
    setField(d, rec, SQL_DESC_SCALE, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(scale)), nullptr);
    setField(d, rec, SQL_DESC_OCTET_LENGTH_PTR, octetLengthPtr, nullptr);
    setField(d, rec, SQL_DESC_INDICATOR_PTR, indicatorPtr, nullptr);
    setField(d, rec, SQL_DESC_DATA_PTR, data, nullptr);
    return SQL_SUCCESS;
  });
}

KX_EXPORT SQLRETURN SQL_API SQLCopyDesc(SQLHDESC from, SQLHDESC to) {
  Desc* src = handleOf<Desc>(from, HKind::Desc);
  if (!src) return SQL_INVALID_HANDLE;
  return guarded<Desc>(to, HKind::Desc, [&](Desc& d) -> SQLRETURN {
    if (d.which == DescKind::IRD) fail("HY016", "Cannot modify an implementation row descriptor");
    if (src->which == DescKind::IRD) {
      // The result's columns become records with their SQL types.
      d.recs.assign(src->stmt->cols.size() + 1, DescRec{});
      for (size_t c = 0; c < src->stmt->cols.size(); ++c) {
        d.recs[c + 1].conciseType = src->stmt->cols[c].sqlType;
        d.recs[c + 1].length = src->stmt->cols[c].size;
        d.recs[c + 1].scale = src->stmt->cols[c].digits;
      }
    } else {
      d.recs = src->recs;
    }
    d.arraySize = src->arraySize;
    d.bindType = src->bindType;
    d.bindOffsetPtr = src->bindOffsetPtr;
    touch(d);
    return SQL_SUCCESS;
  });
}
