// Catalogue functions: SQLTables, SQLColumns, SQLStatistics, SQLPrimaryKeys, SQLForeignKeys,
// SQLSpecialColumns, SQLProcedures, SQLProcedureColumns, SQLGetTypeInfo.
#include "engines/odbc/catalog.h"

#include <algorithm>

#include "engines/odbc/metadata.h"
#include "engines/odbc/program.h"
#include "engines/odbc/types.h"

namespace kxodbc {

namespace {

struct Col {
  const char* name;
  SQLSMALLINT type;  // SQL_VARCHAR, SQL_SMALLINT or SQL_INTEGER
  SQLSMALLINT nullable;
};

std::vector<ColInfo> makeCols(std::initializer_list<Col> spec) {
  std::vector<ColInfo> out;
  for (const Col& c : spec) {
    ColInfo ci;
    ci.name = c.name;
    ci.label = c.name;
    ci.sqlType = c.type;
    ci.size = c.type == SQL_VARCHAR ? 128 : (c.type == SQL_SMALLINT ? 5 : 10);
    ci.typeName = c.type == SQL_VARCHAR ? "VARCHAR" : (c.type == SQL_SMALLINT ? "SMALLINT" : "INTEGER");
    ci.nullable = c.nullable;
    ci.updatable = SQL_ATTR_READONLY;
    ci.declared = true;
    out.push_back(ci);
  }
  return out;
}

Value txt(const std::string& s) { return Value::text(s); }
Value num(int64_t v) { return Value::integer(v); }
Value nul() { return {}; }
Value txtOrNull(const char* s) { return s ? Value::text(s) : Value(); }

void install(Stmt& s, std::vector<ColInfo> cols, std::vector<std::vector<Value>> rows) {
  s.closeCursor();
  s.prog.reset();
  s.pending.clear();
  auto t = std::make_unique<TableResult>(static_cast<int>(cols.size()));
  t->rows = std::move(rows);
  s.effectiveCursor = s.cursorType == SQL_CURSOR_FORWARD_ONLY ? SQL_CURSOR_FORWARD_ONLY : SQL_CURSOR_STATIC;
  s.effectiveConcurrency = SQL_CONCUR_READ_ONLY;
  setResult(s, std::move(t), std::move(cols));
  s.prepared = false;
  s.executed = true;
  s.rowCount = -1;
}

// ODBC search patterns: % any run, _ one character, \ escapes. Identifiers compare ignoring case.
bool likeMatch(std::string_view pat, std::string_view s) {
  size_t p = 0, i = 0, starP = std::string_view::npos, starI = 0;
  while (i < s.size()) {
    if (p < pat.size() && pat[p] == '\\' && p + 1 < pat.size()) {
      if (std::toupper(static_cast<unsigned char>(pat[p + 1])) == std::toupper(static_cast<unsigned char>(s[i]))) {
        p += 2;
        ++i;
        continue;
      }
    } else if (p < pat.size() && pat[p] == '%') {
      starP = p++;
      starI = i;
      continue;
    } else if (p < pat.size() &&
               (pat[p] == '_' || std::toupper(static_cast<unsigned char>(pat[p])) == std::toupper(static_cast<unsigned char>(s[i])))) {
      ++p;
      ++i;
      continue;
    }
    if (starP == std::string_view::npos) return false;
    p = starP + 1;
    i = ++starI;
  }
  while (p < pat.size() && pat[p] == '%') ++p;
  return p == pat.size();
}

bool matches(const Stmt& s, const std::optional<std::string>& pat, const std::string& name) {
  if (!pat) return true;
  if (s.metadataId == SQL_TRUE) return iequals(*pat, name);
  return likeMatch(*pat, name);
}

struct TableRow {
  std::string name;
  std::string type;  // TABLE, VIEW, SYSTEM TABLE
};

std::vector<TableRow> allTables(Dbc& dbc) {
  std::vector<TableRow> out;
  std::vector<kxstore::TableEntry> tables;
  int rc = kxstore::listTables(dbc.db, tables);
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc, "listing tables");
  for (auto& t : tables) out.push_back({t.name, (t.flags & kxstore::kTableSystem) ? "SYSTEM TABLE" : "TABLE"});
  sqlite3_stmt* st = nullptr;
  rc = sqlite3_prepare_v2(dbc.db, "SELECT name FROM sqlite_schema WHERE type='view' ORDER BY name COLLATE NOCASE", -1,
                          &st, nullptr);
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) out.push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "VIEW"});
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) failSqlite(dbc.db, rc);
  std::stable_sort(out.begin(), out.end(), [](const TableRow& a, const TableRow& b) {
    if (a.type != b.type) return a.type < b.type;
    return upper(a.name) < upper(b.name);
  });
  return out;
}

// Columns of a table or view: name, type, nullability, default, position.
struct ColumnRow {
  std::string name;
  SqlTypeDesc type;
  bool nullable = true;
  std::optional<std::string> def;
  int position = 0;
  bool autoUnique = false;
};

std::vector<ColumnRow> columnsOf(Dbc& dbc, const TableRow& t) {
  std::vector<ColumnRow> out;
  if (t.type != "VIEW") {
    const kxstore::TableDef* def = tableDef(dbc, t.name);
    if (!def) return out;
    for (const auto& c : def->columns) {
      ColumnRow r;
      r.name = c.name;
      r.type = typeFromColumn(c, &r.autoUnique);
      r.nullable = !(c.flags & kxstore::kColumnRequired);
      r.def = c.defaultValue;
      r.position = c.columnNo;
      out.push_back(r);
    }
    // SQLite's own NOT NULL and rowid aliases.
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT name, \"notnull\", pk, type, dflt_value FROM pragma_table_info(?1)";
    if (sqlite3_prepare_v2(dbc.db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::string n = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        bool notNull = sqlite3_column_int(st, 1) != 0;
        bool pk = sqlite3_column_int(st, 2) != 0;
        const char* ty = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
        for (auto& r : out)
          if (iequals(r.name, n)) {
            if (notNull || (pk && ty && iequals(ty, "INTEGER"))) r.nullable = false;
            if (!r.def && sqlite3_column_type(st, 4) != SQLITE_NULL)
              r.def = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
          }
      }
    }
    sqlite3_finalize(st);
    return out;
  }
  sqlite3_stmt* st = nullptr;
  std::string sql = "SELECT * FROM \"" + t.name + "\" LIMIT 0";
  if (sqlite3_prepare_v2(dbc.db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return out;
  }
  for (int c = 0; c < sqlite3_column_count(st); ++c) {
    ColumnRow r;
    r.name = sqlite3_column_name(st, c);
    const char* decl = sqlite3_column_decltype(st, c);
    r.type = typeFromDecl(decl ? decl : "");
    r.position = c + 1;
    out.push_back(r);
  }
  sqlite3_finalize(st);
  return out;
}

SQLSMALLINT reported(const Stmt& s, SQLSMALLINT t) {
  if (s.dbc->env->odbcVersion == SQL_OV_ODBC2) {
    if (t == SQL_TYPE_DATE) return SQL_DATE;
    if (t == SQL_TYPE_TIME) return SQL_TIME;
    if (t == SQL_TYPE_TIMESTAMP) return SQL_TIMESTAMP;
  }
  return t;
}

Value sizeValue(SQLSMALLINT t, SQLULEN size) {
  if (size > 2147483647) size = 2147483647;
  (void)t;
  return num(static_cast<int64_t>(size));
}

}  // namespace

void catalogTables(Stmt& s, const Arg& cat, const Arg& schema, const Arg& table, const Arg& types) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"TABLE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_NAME", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_TYPE", SQL_VARCHAR, SQL_NULLABLE},
                        {"REMARKS", SQL_VARCHAR, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  auto empty = [](const Arg& a) { return !a || a->empty(); };
  if (cat && *cat == SQL_ALL_CATALOGS && empty(schema) && empty(table)) {
    install(s, std::move(cols), std::move(rows));  // catalogs are not supported: none
    return;
  }
  if (schema && *schema == SQL_ALL_SCHEMAS && empty(cat) && empty(table)) {
    install(s, std::move(cols), std::move(rows));  // nor schemas
    return;
  }
  if (types && *types == SQL_ALL_TABLE_TYPES && empty(cat) && empty(schema) && empty(table)) {
    for (const char* t : {"SYSTEM TABLE", "TABLE", "VIEW"}) rows.push_back({nul(), nul(), nul(), txt(t), nul()});
    install(s, std::move(cols), std::move(rows));
    return;
  }
  // A catalog or schema name other than empty matches nothing: the engine has neither.
  if ((cat && !cat->empty() && *cat != "%") || (schema && !schema->empty() && *schema != "%")) {
    install(s, std::move(cols), std::move(rows));
    return;
  }
  std::vector<std::string> wanted;
  if (types && !types->empty()) {
    std::string list = *types;
    size_t i = 0;
    while (i <= list.size()) {
      size_t comma = list.find(',', i);
      if (comma == std::string::npos) comma = list.size();
      std::string item = list.substr(i, comma - i);
      std::string clean;
      for (char c : item)
        if (c != '\'' ) clean += c;
      while (!clean.empty() && clean.front() == ' ') clean.erase(0, 1);
      while (!clean.empty() && clean.back() == ' ') clean.pop_back();
      if (!clean.empty()) wanted.push_back(upper(clean));
      i = comma + 1;
    }
  }
  for (const auto& t : allTables(dbc)) {
    if (!matches(s, table, t.name)) continue;
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), t.type) == wanted.end()) continue;
    rows.push_back({nul(), nul(), txt(t.name), txt(t.type), txt("")});
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogColumns(Stmt& s, const Arg&, const Arg&, const Arg& table, const Arg& column) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"TABLE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"TYPE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_SIZE", SQL_INTEGER, SQL_NULLABLE},
                        {"BUFFER_LENGTH", SQL_INTEGER, SQL_NULLABLE},
                        {"DECIMAL_DIGITS", SQL_SMALLINT, SQL_NULLABLE},
                        {"NUM_PREC_RADIX", SQL_SMALLINT, SQL_NULLABLE},
                        {"NULLABLE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"REMARKS", SQL_VARCHAR, SQL_NULLABLE},
                        {"COLUMN_DEF", SQL_VARCHAR, SQL_NULLABLE},
                        {"SQL_DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"SQL_DATETIME_SUB", SQL_SMALLINT, SQL_NULLABLE},
                        {"CHAR_OCTET_LENGTH", SQL_INTEGER, SQL_NULLABLE},
                        {"ORDINAL_POSITION", SQL_INTEGER, SQL_NO_NULLS},
                        {"IS_NULLABLE", SQL_VARCHAR, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  for (const auto& t : allTables(dbc)) {
    if (!matches(s, table, t.name)) continue;
    for (const auto& c : columnsOf(dbc, t)) {
      if (!matches(s, column, c.name)) continue;
      SQLSMALLINT ty = reported(s, c.type.sqlType);
      SQLSMALLINT radix = numPrecRadix(c.type.sqlType);
      bool hasDigits = isExactType(c.type.sqlType) || c.type.sqlType == SQL_TYPE_TIMESTAMP || c.type.sqlType == SQL_TYPE_TIME;
      rows.push_back({nul(), nul(), txt(t.name), txt(c.name), num(ty), txt(c.type.typeName),
                      sizeValue(c.type.sqlType, c.type.size), num(bufferLength(c.type.sqlType, c.type.size)),
                      hasDigits ? num(c.type.digits) : nul(), radix ? num(radix) : nul(),
                      num(c.nullable ? SQL_NULLABLE : SQL_NO_NULLS), txt(""), c.def ? txt(*c.def) : nul(),
                      num(verboseType(c.type.sqlType)),
                      datetimeSub(c.type.sqlType) ? num(datetimeSub(c.type.sqlType)) : nul(),
                      isCharType(c.type.sqlType) || isBinaryType(c.type.sqlType) ? num(octetLength(c.type.sqlType, c.type.size)) : nul(),
                      num(c.position), txt(c.nullable ? "YES" : "NO")});
    }
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogStatistics(Stmt& s, const std::string& table, SQLUSMALLINT unique) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"TABLE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"NON_UNIQUE", SQL_SMALLINT, SQL_NULLABLE},
                        {"INDEX_QUALIFIER", SQL_VARCHAR, SQL_NULLABLE},
                        {"INDEX_NAME", SQL_VARCHAR, SQL_NULLABLE},
                        {"TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"ORDINAL_POSITION", SQL_SMALLINT, SQL_NULLABLE},
                        {"COLUMN_NAME", SQL_VARCHAR, SQL_NULLABLE},
                        {"ASC_OR_DESC", SQL_VARCHAR, SQL_NULLABLE},
                        {"CARDINALITY", SQL_INTEGER, SQL_NULLABLE},
                        {"PAGES", SQL_INTEGER, SQL_NULLABLE},
                        {"FILTER_CONDITION", SQL_VARCHAR, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  const kxstore::TableDef* def = tableDef(dbc, table);
  if (def) {
    rows.push_back({nul(), nul(), txt(def->name), nul(), nul(), nul(), num(SQL_TABLE_STAT), nul(), nul(), nul(), nul(), nul(), nul()});
    for (const auto& ix : def->indexes) {
      bool isUnique = (ix.flags & (kxstore::kIndexUnique | kxstore::kIndexPrimary)) != 0;
      if (unique == SQL_INDEX_UNIQUE && !isUnique) continue;
      int pos = 0;
      for (const auto& seg : ix.segments)
        rows.push_back({nul(), nul(), txt(def->name), num(isUnique ? 0 : 1), nul(), txt(ix.name), num(SQL_INDEX_OTHER),
                        num(++pos), txt(seg.columnName), txt(seg.descending() ? "D" : "A"), nul(), nul(), nul()});
    }
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogPrimaryKeys(Stmt& s, const std::string& table) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"TABLE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"TABLE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"KEY_SEQ", SQL_SMALLINT, SQL_NO_NULLS},
                        {"PK_NAME", SQL_VARCHAR, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  const kxstore::TableDef* def = tableDef(dbc, table);
  if (def) {
    for (const auto& ix : def->indexes) {
      if (!(ix.flags & kxstore::kIndexPrimary)) continue;
      int seq = 0;
      for (const auto& seg : ix.segments) rows.push_back({nul(), nul(), txt(def->name), txt(seg.columnName), num(++seq), txt(ix.name)});
      break;
    }
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogForeignKeys(Stmt& s, const Arg& pkTable, const Arg& fkTable) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"PKTABLE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"PKTABLE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"PKTABLE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"PKCOLUMN_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"FKTABLE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"FKTABLE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"FKTABLE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"FKCOLUMN_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"KEY_SEQ", SQL_SMALLINT, SQL_NO_NULLS},
                        {"UPDATE_RULE", SQL_SMALLINT, SQL_NULLABLE},
                        {"DELETE_RULE", SQL_SMALLINT, SQL_NULLABLE},
                        {"FK_NAME", SQL_VARCHAR, SQL_NULLABLE},
                        {"PK_NAME", SQL_VARCHAR, SQL_NULLABLE},
                        {"DEFERRABILITY", SQL_SMALLINT, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  auto rule = [](const char* r) -> int64_t {
    std::string x = r ? upper(r) : "";
    if (x == "CASCADE") return SQL_CASCADE;
    if (x == "SET NULL") return SQL_SET_NULL;
    if (x == "SET DEFAULT") return SQL_SET_DEFAULT;
    if (x == "RESTRICT") return SQL_RESTRICT;
    return SQL_NO_ACTION;
  };
  for (const auto& t : allTables(dbc)) {
    if (t.type != "TABLE") continue;
    if (fkTable && !fkTable->empty() && !iequals(*fkTable, t.name)) continue;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(dbc.db,
                           "SELECT id, seq, \"table\", \"from\", \"to\", on_update, on_delete FROM pragma_foreign_key_list(?1)",
                           -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_finalize(st);
      continue;
    }
    sqlite3_bind_text(st, 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string pkt = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
      if (pkTable && !pkTable->empty() && !iequals(*pkTable, pkt)) continue;
      const char* to = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
      std::string pkcol = to ? to : "";
      if (pkcol.empty()) {
        const kxstore::TableDef* pd = tableDef(dbc, pkt);
        if (pd)
          for (const auto& ix : pd->indexes)
            if ((ix.flags & kxstore::kIndexPrimary) && static_cast<size_t>(sqlite3_column_int(st, 1)) < ix.segments.size())
              pkcol = ix.segments[static_cast<size_t>(sqlite3_column_int(st, 1))].columnName;
      }
      rows.push_back({nul(), nul(), txt(pkt), txt(pkcol), nul(), nul(), txt(t.name),
                      txt(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))), num(sqlite3_column_int(st, 1) + 1),
                      num(rule(reinterpret_cast<const char*>(sqlite3_column_text(st, 5)))),
                      num(rule(reinterpret_cast<const char*>(sqlite3_column_text(st, 6)))),
                      txt("FK_" + t.name + "_" + std::to_string(sqlite3_column_int(st, 0))), nul(),
                      num(SQL_NOT_DEFERRABLE)});
    }
    sqlite3_finalize(st);
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogSpecialColumns(Stmt& s, SQLUSMALLINT idType, const std::string& table) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"SCOPE", SQL_SMALLINT, SQL_NULLABLE},
                        {"COLUMN_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"TYPE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_SIZE", SQL_INTEGER, SQL_NULLABLE},
                        {"BUFFER_LENGTH", SQL_INTEGER, SQL_NULLABLE},
                        {"DECIMAL_DIGITS", SQL_SMALLINT, SQL_NULLABLE},
                        {"PSEUDO_COLUMN", SQL_SMALLINT, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  const kxstore::TableDef* def = tableDef(dbc, table);
  if (def && idType == SQL_BEST_ROWID) {
    const kxstore::IndexDef* pk = nullptr;
    for (const auto& ix : def->indexes)
      if (ix.flags & kxstore::kIndexPrimary) pk = &ix;
    if (pk && !pk->segments.empty()) {
      for (const auto& seg : pk->segments) {
        const kxstore::ColumnDef* c = def->findColumn(seg.columnName);
        SqlTypeDesc t = c ? typeFromColumn(*c, nullptr) : typeFromDecl("INTEGER");
        rows.push_back({num(SQL_SCOPE_SESSION), txt(seg.columnName), num(reported(s, t.sqlType)), txt(t.typeName),
                        sizeValue(t.sqlType, t.size), num(bufferLength(t.sqlType, t.size)), num(t.digits),
                        num(SQL_PC_NOT_PSEUDO)});
      }
    } else if (!def->withoutRowid) {
      rows.push_back({num(SQL_SCOPE_SESSION), txt("_rowid_"), num(SQL_INTEGER), txt("INTEGER"), num(10), num(4), num(0),
                      num(SQL_PC_PSEUDO)});
    }
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogProcedures(Stmt& s, const Arg& proc) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"PROCEDURE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"PROCEDURE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"PROCEDURE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"NUM_INPUT_PARAMS", SQL_INTEGER, SQL_NULLABLE},
                        {"NUM_OUTPUT_PARAMS", SQL_INTEGER, SQL_NULLABLE},
                        {"NUM_RESULT_SETS", SQL_INTEGER, SQL_NULLABLE},
                        {"REMARKS", SQL_VARCHAR, SQL_NULLABLE},
                        {"PROCEDURE_TYPE", SQL_SMALLINT, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  for (const auto& p : listProcedures(dbc)) {
    if (!matches(s, proc, p.name)) continue;
    bool hasReturn = false;
    for (const auto& pp : p.params)
      if (pp.direction == SQL_RETURN_VALUE) hasReturn = true;
    rows.push_back({nul(), nul(), txt(p.name), nul(), nul(), nul(), txt(p.remarks),
                    num(hasReturn ? SQL_PT_FUNCTION : SQL_PT_PROCEDURE)});
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogProcedureColumns(Stmt& s, const Arg& proc, const Arg& column) {
  Dbc& dbc = *s.dbc;
  auto cols = makeCols({{"PROCEDURE_CAT", SQL_VARCHAR, SQL_NULLABLE},
                        {"PROCEDURE_SCHEM", SQL_VARCHAR, SQL_NULLABLE},
                        {"PROCEDURE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"TYPE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"COLUMN_SIZE", SQL_INTEGER, SQL_NULLABLE},
                        {"BUFFER_LENGTH", SQL_INTEGER, SQL_NULLABLE},
                        {"DECIMAL_DIGITS", SQL_SMALLINT, SQL_NULLABLE},
                        {"NUM_PREC_RADIX", SQL_SMALLINT, SQL_NULLABLE},
                        {"NULLABLE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"REMARKS", SQL_VARCHAR, SQL_NULLABLE},
                        {"COLUMN_DEF", SQL_VARCHAR, SQL_NULLABLE},
                        {"SQL_DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"SQL_DATETIME_SUB", SQL_SMALLINT, SQL_NULLABLE},
                        {"CHAR_OCTET_LENGTH", SQL_INTEGER, SQL_NULLABLE},
                        {"ORDINAL_POSITION", SQL_INTEGER, SQL_NO_NULLS},
                        {"IS_NULLABLE", SQL_VARCHAR, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  for (const auto& p : listProcedures(dbc)) {
    if (!matches(s, proc, p.name)) continue;
    int ordinal = 0;
    for (const auto& pp : p.params) {
      int pos = pp.direction == SQL_RETURN_VALUE ? 0 : ++ordinal;
      if (!matches(s, column, pp.name)) continue;
      const ParamInfo& t = pp.type;
      SQLSMALLINT radix = numPrecRadix(t.sqlType);
      rows.push_back({nul(), nul(), txt(p.name), txt(pp.name), num(pp.direction), num(reported(s, t.sqlType)),
                      txt(typeNameOf(t.sqlType)), sizeValue(t.sqlType, t.size), num(bufferLength(t.sqlType, t.size)),
                      isExactType(t.sqlType) || t.sqlType == SQL_TYPE_TIMESTAMP ? num(t.digits) : nul(),
                      radix ? num(radix) : nul(), num(SQL_NULLABLE), txt(""), nul(), num(verboseType(t.sqlType)),
                      datetimeSub(t.sqlType) ? num(datetimeSub(t.sqlType)) : nul(),
                      isCharType(t.sqlType) || isBinaryType(t.sqlType) ? num(octetLength(t.sqlType, t.size)) : nul(),
                      num(pos), txt("YES")});
    }
  }
  install(s, std::move(cols), std::move(rows));
}

void catalogTypeInfo(Stmt& s, SQLSMALLINT dataType) {
  auto cols = makeCols({{"TYPE_NAME", SQL_VARCHAR, SQL_NO_NULLS},
                        {"DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"COLUMN_SIZE", SQL_INTEGER, SQL_NULLABLE},
                        {"LITERAL_PREFIX", SQL_VARCHAR, SQL_NULLABLE},
                        {"LITERAL_SUFFIX", SQL_VARCHAR, SQL_NULLABLE},
                        {"CREATE_PARAMS", SQL_VARCHAR, SQL_NULLABLE},
                        {"NULLABLE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"CASE_SENSITIVE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"SEARCHABLE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"UNSIGNED_ATTRIBUTE", SQL_SMALLINT, SQL_NULLABLE},
                        {"FIXED_PREC_SCALE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"AUTO_UNIQUE_VALUE", SQL_SMALLINT, SQL_NULLABLE},
                        {"LOCAL_TYPE_NAME", SQL_VARCHAR, SQL_NULLABLE},
                        {"MINIMUM_SCALE", SQL_SMALLINT, SQL_NULLABLE},
                        {"MAXIMUM_SCALE", SQL_SMALLINT, SQL_NULLABLE},
                        {"SQL_DATA_TYPE", SQL_SMALLINT, SQL_NO_NULLS},
                        {"SQL_DATETIME_SUB", SQL_SMALLINT, SQL_NULLABLE},
                        {"NUM_PREC_RADIX", SQL_INTEGER, SQL_NULLABLE},
                        {"INTERVAL_PRECISION", SQL_SMALLINT, SQL_NULLABLE}});
  std::vector<std::vector<Value>> rows;
  SQLSMALLINT want = dataType;
  if (want == SQL_DATE) want = SQL_TYPE_DATE;
  if (want == SQL_TIME) want = SQL_TYPE_TIME;
  if (want == SQL_TIMESTAMP) want = SQL_TYPE_TIMESTAMP;
  for (const auto& r : typeInfoRows()) {
    if (want != SQL_ALL_TYPES && r.type != want) continue;
    auto opt = [](SQLSMALLINT v) { return v < 0 ? Value() : Value::integer(v); };
    SQLSMALLINT radix = numPrecRadix(r.type);
    rows.push_back({txt(r.name), num(reported(s, r.type)), num(r.size), txtOrNull(r.prefix), txtOrNull(r.suffix),
                    txtOrNull(r.params), num(SQL_NULLABLE), num(r.caseSensitive), num(r.searchable), opt(r.unsignedAttr),
                    num(r.type == SQL_DECIMAL && std::string(r.name) == "MONEY" ? 1 : 0), opt(r.autoUnique), txt(r.name),
                    opt(r.minScale), opt(r.maxScale), num(verboseType(r.type)),
                    datetimeSub(r.type) ? num(datetimeSub(r.type)) : nul(), radix ? num(radix) : nul(), nul()});
  }
  install(s, std::move(cols), std::move(rows));
}

}  // namespace kxodbc
