// Column types from the engine catalogue, so that SQL describes the record manager's tables with
// the types the record manager gave them.
#include "engines/odbc/metadata.h"

#include "engines/odbc/program.h"

namespace kxodbc {

SqlTypeDesc typeFromColumn(const kxstore::ColumnDef& c, bool* autoUnique) {
  SqlTypeDesc t;
  if (autoUnique) *autoUnique = c.native == kxstore::kNativeAutoInc;
  if (!c.inCatalogue) {
    // Tables made by SQL: the declared type says it all.
    t = typeFromDecl(c.declaredType);
    if (autoUnique && upper(c.declaredType).find("AUTOINC") != std::string::npos) *autoUnique = true;
    return t;
  }
  auto set = [&](SQLSMALLINT type, SQLULEN size, SQLSMALLINT digits, const char* name) {
    t.sqlType = type;
    t.size = size;
    t.digits = digits;
    t.typeName = name;
  };
  switch (c.colClass) {
    case kxstore::kClassBit: set(SQL_BIT, 1, 0, "BIT"); break;
    case kxstore::kClassTinyInt: set(SQL_TINYINT, 3, 0, "TINYINT"); break;
    case kxstore::kClassSmallInt: set(SQL_SMALLINT, 5, 0, "SMALLINT"); break;
    case kxstore::kClassInteger: set(SQL_INTEGER, 10, 0, "INTEGER"); break;
    case kxstore::kClassCurrency: set(SQL_DECIMAL, 19, 4, "DECIMAL"); break;
    case kxstore::kClassSingle: set(SQL_REAL, 7, 0, "REAL"); break;
    case kxstore::kClassDouble: set(SQL_DOUBLE, 15, 0, "DOUBLE"); break;
    case kxstore::kClassTimestamp: set(SQL_TYPE_TIMESTAMP, 26, 6, "TIMESTAMP"); break;
    case kxstore::kClassDate: set(SQL_TYPE_DATE, 10, 0, "DATE"); break;
    case kxstore::kClassTime: set(SQL_TYPE_TIME, 8, 0, "TIME"); break;
    case kxstore::kClassExactNumeric:
      if (c.precision == 19 && c.scale == 0 && c.native == kxstore::kNativeSigned)
        set(SQL_BIGINT, 19, 0, "BIGINT");
      else if (c.native == kxstore::kNativeNumeric)
        set(SQL_NUMERIC, static_cast<SQLULEN>(c.precision), static_cast<SQLSMALLINT>(c.scale), "NUMERIC");
      else
        set(SQL_DECIMAL, static_cast<SQLULEN>(c.precision), static_cast<SQLSMALLINT>(c.scale), "DECIMAL");
      break;
    case kxstore::kClassBinary: set(SQL_BINARY, c.size, 0, "BINARY"); break;
    case kxstore::kClassFixedText: set(SQL_CHAR, c.size, 0, "CHAR"); break;
    case kxstore::kClassVarText: set(SQL_VARCHAR, c.size, 0, "VARCHAR"); break;
    case kxstore::kClassVarBinary: set(SQL_VARBINARY, c.size > 2 ? c.size - 2 : c.size, 0, "VARBINARY"); break;
    case kxstore::kClassLongBinary: set(SQL_LONGVARBINARY, 2147483647, 0, "LONGVARBINARY"); break;
    case kxstore::kClassLongText: set(SQL_LONGVARCHAR, 65535, 0, "LONGVARCHAR"); break;
    default: t = typeFromDecl(c.declaredType); break;
  }
  t.unsignedType = c.native == kxstore::kNativeUnsigned;
  return t;
}

const kxstore::TableDef* tableDef(Dbc& dbc, const std::string& table) {
  // The cache is valid for one schema version; any DDL (ours or another connection's) bumps it.
  if (dbc.metaCheckedEpoch != dbc.metaEpoch) {
    dbc.metaCheckedEpoch = dbc.metaEpoch;
    sqlite3_stmt* st = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(dbc.db, "PRAGMA schema_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    // Unknown (-1) never matches, so a failed check drops the cache rather than trusting it.
    if (version != dbc.metaVersion || version < 0) {
      dbc.metaCache.clear();
      dbc.metaVersion = version;
    }
  }
  std::string key = upper(table);
  auto it = dbc.metaCache.find(key);
  if (it == dbc.metaCache.end()) {
    kxstore::TableDef def;
    if (kxstore::readTable(dbc.db, table, def) != SQLITE_OK) def.name.clear();
    it = dbc.metaCache.emplace(key, std::move(def)).first;
  }
  return it->second.name.empty() ? nullptr : &it->second;
}

void applyCatalogType(Dbc& dbc, const std::string& table, const std::string& column, ColInfo& ci) {
  const kxstore::TableDef* def = tableDef(dbc, table);
  if (!def) return;
  const kxstore::ColumnDef* c = def->findColumn(column);
  if (!c) return;
  bool autoUnique = false;
  SqlTypeDesc t = typeFromColumn(*c, &autoUnique);
  ci.sqlType = t.sqlType;
  ci.size = t.size;
  ci.digits = t.digits;
  ci.typeName = t.typeName;
  ci.unsignedType = t.unsignedType;
  ci.declared = true;
  if (autoUnique) ci.autoUnique = true;
  if (c->flags & kxstore::kColumnRequired) ci.nullable = SQL_NO_NULLS;
}

}  // namespace kxodbc
