// Shared by the narrow and wide entry points: handle checks and the error boundary.
#pragma once

#include <new>

#include "engines/odbc/driver.h"

namespace kxodbc {

#define KX_EXPORT extern "C" __attribute__((visibility("default")))

template <class H>
H* handleOf(SQLHANDLE h, HKind k) {
  if (!h) return nullptr;
  auto* base = static_cast<Handle*>(h);
  if (base->kind != k) return nullptr;
  return static_cast<H*>(base);
}

// Runs an entry point's body: takes the handle's lock, clears its diagnostics, and turns
// exceptions into diagnostic records. A body returning SQL_SUCCESS after adding records
// reports SQL_SUCCESS_WITH_INFO.
template <class H, class F>
SQLRETURN guarded(SQLHANDLE h, HKind k, F&& body) {
  H* obj = handleOf<H>(h, k);
  if (!obj) return SQL_INVALID_HANDLE;
  std::lock_guard<std::recursive_mutex> lock(obj->mutex());
  obj->diags.clear();
  obj->diagRowCount = 0;
  SQLRETURN rc;
  try {
    rc = body(*obj);
  } catch (const OdbcError& e) {
    obj->add(e);
    rc = SQL_ERROR;
  } catch (const std::bad_alloc&) {
    obj->add(OdbcError{"HY001", "Memory allocation error", 0});
    rc = SQL_ERROR;
  } catch (const std::exception& e) {
    obj->add(OdbcError{"HY000", std::string("General error: ") + e.what(), 0});
    rc = SQL_ERROR;
  }
  if (rc == SQL_SUCCESS && !obj->diags.empty()) rc = SQL_SUCCESS_WITH_INFO;
  obj->lastReturn = rc;
  return rc;
}

// Optional text argument of a catalogue function, narrow or wide.
template <class C>
std::optional<std::string> optText(const C* s, SQLSMALLINT len) {
  if (!s) return std::nullopt;
  return textIn(s, len);
}

inline void requireConnected(Dbc& d) {
  if (!d.connected()) fail("08003", "Connection not open");
}

// A statement that is to run or describe something new: no cursor open, no data pending.
inline void checkNoCursor(Stmt& s) {
  if (s.cursorOpen()) fail("24000", "Invalid cursor state");
  if (s.needData) fail("HY010", "Function sequence error: data at execution pending");
}

// Shared by the narrow and wide entry points (api.cpp).
SQLRETURN setStmtAttr(Stmt& s, SQLINTEGER attr, SQLPOINTER value);
SQLRETURN getStmtAttr(Stmt& s, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen, SQLINTEGER* len);
SQLRETURN setConnectAttr(Dbc& d, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len);
SQLRETURN getConnectAttr(Dbc& d, SQLINTEGER attr, SQLPOINTER out, SQLINTEGER bufLen, SQLINTEGER* len, bool wide);
SQLRETURN colAttribute(Stmt& s, SQLUSMALLINT col, SQLUSMALLINT field, std::string* text, SQLLEN* num);
bool isTextColAttribute(SQLUSMALLINT field);
SQLRETURN diagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, std::string* state, SQLINTEGER* native,
                  std::string* msg);
SQLRETURN diagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER out,
                    std::string* text, bool& isText);
void setCursorName(Stmt& s, const std::string& name);
SQLRETURN describeCol(Stmt& s, SQLUSMALLINT col, std::string* name, SQLSMALLINT* type, SQLULEN* size,
                      SQLSMALLINT* digits, SQLSMALLINT* nullable);

}  // namespace kxodbc
