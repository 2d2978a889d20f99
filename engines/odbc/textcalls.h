// Entry points whose narrow and wide forms differ only in how their text arguments are read.
// Each body is written once, over the character type C (SQLCHAR or SQLWCHAR); the exported
// functions in api.cpp and apiw.cpp forward to it. Texts are converted inside the guarded body,
// so a bad length becomes a diagnostic record like any other error.
#pragma once

#include <optional>
#include <string>

#include "engines/odbc/api.h"
#include "engines/odbc/catalog.h"
#include "engines/odbc/connect.h"
#include "engines/odbc/program.h"

namespace kxodbc {

// Checks shared by every catalogue function. The metadata epoch moves so that the schema version
// is checked again: another connection may have changed the schema since the last statement.
inline void catalogPreamble(Stmt& s) {
  checkNoCursor(s);
  requireConnected(*s.dbc);
  ++s.dbc->metaEpoch;
}

template <class C>
SQLRETURN connectCall(SQLHDBC h, C* dsn, SQLSMALLINT dsnLen, C* uid, SQLSMALLINT uidLen, C* pwd, SQLSMALLINT pwdLen) {
  return guarded<Dbc>(h, HKind::Dbc, [&](Dbc& d) -> SQLRETURN {
    ConnAttrs a;
    a.emplace_back("DSN", textIn(dsn, dsnLen));
    if (uid) a.emplace_back("UID", textIn(uid, uidLen));
    if (pwd) a.emplace_back("PWD", textIn(pwd, pwdLen));
    connect(d, a, nullptr);
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN prepareCall(SQLHSTMT h, C* text, SQLINTEGER len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!text) fail("HY009", "Invalid use of null pointer");
    checkNoCursor(s);
    prepareStatement(s, textIn(text, len));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN execDirectCall(SQLHSTMT h, C* text, SQLINTEGER len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!text) fail("HY009", "Invalid use of null pointer");
    checkNoCursor(s);
    prepareStatement(s, textIn(text, len));
    return executeStatement(s);
  });
}

template <class C>
SQLRETURN setCursorNameCall(SQLHSTMT h, C* name, SQLSMALLINT len) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    if (!name) fail("HY009", "Invalid use of null pointer");
    setCursorName(s, textIn(name, len));
    return SQL_SUCCESS;
  });
}

// ------------------------------------------------------------------------------------------
// Catalogue. Where a function ignores its catalog and schema arguments, the exported functions
// drop them before forwarding.

template <class C>
SQLRETURN tablesCall(SQLHSTMT h, C* cat, SQLSMALLINT catLen, C* schema, SQLSMALLINT schemaLen, C* table,
                     SQLSMALLINT tableLen, C* types, SQLSMALLINT typesLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    catalogTables(s, optText(cat, catLen), optText(schema, schemaLen), optText(table, tableLen),
                  optText(types, typesLen));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN columnsCall(SQLHSTMT h, C* cat, SQLSMALLINT catLen, C* schema, SQLSMALLINT schemaLen, C* table,
                      SQLSMALLINT tableLen, C* column, SQLSMALLINT columnLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    catalogColumns(s, optText(cat, catLen), optText(schema, schemaLen), optText(table, tableLen),
                   optText(column, columnLen));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN statisticsCall(SQLHSTMT h, C* table, SQLSMALLINT tableLen, SQLUSMALLINT unique) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    if (!table) fail("HY009", "Invalid use of null pointer");
    if (unique != SQL_INDEX_UNIQUE && unique != SQL_INDEX_ALL) fail("HY100", "Uniqueness option type out of range");
    catalogStatistics(s, textIn(table, tableLen), unique);
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN primaryKeysCall(SQLHSTMT h, C* table, SQLSMALLINT tableLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    if (!table) fail("HY009", "Invalid use of null pointer");
    catalogPrimaryKeys(s, textIn(table, tableLen));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN foreignKeysCall(SQLHSTMT h, C* pkTable, SQLSMALLINT pkLen, C* fkTable, SQLSMALLINT fkLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    if (!pkTable && !fkTable) fail("HY009", "Invalid use of null pointer");
    catalogForeignKeys(s, optText(pkTable, pkLen), optText(fkTable, fkLen));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN specialColumnsCall(SQLHSTMT h, SQLUSMALLINT idType, C* table, SQLSMALLINT tableLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    if (!table) fail("HY009", "Invalid use of null pointer");
    if (idType != SQL_BEST_ROWID && idType != SQL_ROWVER) fail("HY097", "Column type out of range");
    catalogSpecialColumns(s, idType, textIn(table, tableLen));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN proceduresCall(SQLHSTMT h, C* proc, SQLSMALLINT procLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    catalogProcedures(s, optText(proc, procLen));
    return SQL_SUCCESS;
  });
}

template <class C>
SQLRETURN procedureColumnsCall(SQLHSTMT h, C* proc, SQLSMALLINT procLen, C* column, SQLSMALLINT columnLen) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    catalogProcedureColumns(s, optText(proc, procLen), optText(column, columnLen));
    return SQL_SUCCESS;
  });
}

// No text argument: the narrow and wide exports share this outright.
inline SQLRETURN typeInfoCall(SQLHSTMT h, SQLSMALLINT type) {
  return guarded<Stmt>(h, HKind::Stmt, [&](Stmt& s) -> SQLRETURN {
    catalogPreamble(s);
    catalogTypeInfo(s, type);
    return SQL_SUCCESS;
  });
}

}  // namespace kxodbc
