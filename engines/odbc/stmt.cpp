// Preparing and executing statements, parameters and data at execution.
#include <algorithm>
#include <chrono>

#include "engines/odbc/convert.h"
#include "engines/odbc/literals.h"
#include "engines/odbc/program.h"
#include "engines/odbc/types.h"

namespace kxodbc {

Program::~Program() {
  for (sqlite3_stmt* st : stmts)
    if (st) sqlite3_finalize(st);
}

Stmt::Stmt(Dbc* d)
    : Handle(HKind::Stmt),
      dbc(d),
      ard(d, this, DescKind::ARD),
      apd(d, this, DescKind::APD),
      ird(d, this, DescKind::IRD),
      ipd(d, this, DescKind::IPD),
      curArd(&ard),
      curApd(&apd) {}

Stmt::~Stmt() {
  pending.clear();
  result.reset();
  prog.reset();
  if (curArd != &ard) {
    auto& u = curArd->users;
    u.erase(std::remove(u.begin(), u.end(), this), u.end());
  }
  if (curApd != &apd) {
    auto& u = curApd->users;
    u.erase(std::remove(u.begin(), u.end(), this), u.end());
  }
}

const std::string& Stmt::getCursorName() {
  if (cursorName.empty()) cursorName = "SQL_CUR" + std::to_string(++dbc->cursorCounter);
  return cursorName;
}

void Stmt::closeCursor() {
  pending.clear();
  result.reset();
  gdColumn = -1;
  gdOffset = 0;
  gdDone = false;
  gdRow = 0;
  rowNumber = 0;
  if (prog) {
    for (sqlite3_stmt* st : prog->stmts)
      if (st) sqlite3_reset(st);
  }
}

void Stmt::resetProgram() {
  closeCursor();
  prog.reset();
  cols.clear();
  prepared = false;
  executed = false;
  needData = false;
  dataAtExec.clear();
  rowCount = -1;
}

void setResult(Stmt& s, std::unique_ptr<Result> r, std::vector<ColInfo> cols) {
  ++s.bindVersion;
  s.result = std::move(r);
  s.cols = std::move(cols);
  s.gdColumn = -1;
  s.gdOffset = 0;
  s.gdDone = false;
  s.rowNumber = 0;
}

namespace {

struct AuthState {
  std::vector<std::string> tables;
  bool viaView = false;
};

int collectTables(void* arg, int action, const char* a1, const char*, const char* db, const char* inner) {
  auto* st = static_cast<AuthState*>(arg);
  if (action == SQLITE_READ || action == SQLITE_UPDATE || action == SQLITE_INSERT || action == SQLITE_DELETE) {
    if (a1 && db && std::strcmp(db, "main") == 0) {
      std::string t = a1;
      if (t.rfind("sqlite_", 0) != 0 &&
          std::find_if(st->tables.begin(), st->tables.end(), [&](const std::string& x) { return iequals(x, t); }) ==
              st->tables.end())
        st->tables.push_back(t);
    }
    if (inner) st->viaView = true;
  }
  return SQLITE_OK;
}

sqlite3_stmt* compile(sqlite3* db, const std::string& sql, AuthState* auth) {
  sqlite3_stmt* st = nullptr;
  if (auth) sqlite3_set_authorizer(db, collectTables, auth);
  int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (auth) sqlite3_set_authorizer(db, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if (st) sqlite3_finalize(st);
    failSqlite(db, rc);
  }
  return st;
}

std::string quoteIdent(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Looks at the first statement of a query and, when it reads a single table through plain
// column references, appends that table's row id as a hidden column. The row id gives
// positioned updates, keyset cursors and row ids for bookmarks.
void analyseQuery(Dbc& dbc, Program& p, const AuthState& auth) {
  sqlite3_stmt* st = p.stmts[0];
  int n = sqlite3_column_count(st);
  p.visibleCols = n;
  if (n == 0 || auth.viaView || auth.tables.size() != 1) return;
  if (leadingKeyword(p.parts[0]) != "SELECT") return;
  const std::string& table = auth.tables[0];
  for (int c = 0; c < n; ++c) {
    const char* t = sqlite3_column_table_name(st, c);
    if (!t || !iequals(t, table)) return;
  }
  size_t from = selectListEnd(p.parts[0]);
  if (from == std::string::npos) return;
  std::string rewritten = p.parts[0].substr(0, from) + ", _rowid_ " + p.parts[0].substr(from);
  sqlite3_stmt* st2 = nullptr;
  int rc = sqlite3_prepare_v3(dbc.db, rewritten.c_str(), static_cast<int>(rewritten.size()), SQLITE_PREPARE_PERSISTENT,
                              &st2, nullptr);
  if (rc != SQLITE_OK || !st2 || sqlite3_column_count(st2) != n + 1 ||
      sqlite3_bind_parameter_count(st2) != sqlite3_bind_parameter_count(st)) {
    if (st2) sqlite3_finalize(st2);
    return;
  }
  sqlite3_finalize(st);
  p.stmts[0] = st2;
  p.parts[0] = rewritten;
  p.rowidCol = n;
  p.baseTable = table;
}

void bindPart(Stmt& s, Program& p, size_t k, SQLULEN row, int base, const Value* hiddenRowid) {
  sqlite3_stmt* st = p.stmts[k];
  sqlite3_clear_bindings(st);
  int n = sqlite3_bind_parameter_count(st);
  int next = base;
  for (int j = 1; j <= n; ++j) {
    if (hiddenRowid && j == n) {
      bindValue(s.dbc->db, st, j, *hiddenRowid);
      break;
    }
    const char* name = sqlite3_bind_parameter_name(st, j);
    int odbcIndex;
    if (name && name[0] == '?' && name[1]) odbcIndex = base + std::atoi(name + 1);
    else odbcIndex = ++next;
    bindValue(s.dbc->db, st, j, paramValue(s, odbcIndex, row));
  }
}

void ensurePrepared(Dbc& dbc, Program& p, size_t k) {
  if (p.stmts[k]) return;
  ++dbc.metaEpoch;  // earlier statements of the batch may have changed the schema
  p.stmts[k] = compile(dbc.db, p.parts[k], nullptr);
}

bool isDml(const std::string& kw) {
  return kw == "INSERT" || kw == "UPDATE" || kw == "DELETE" || kw == "REPLACE" || kw == "WITH" || kw == "MERGE";
}

// Builds the statement that re-reads one row of the base table for keyset cursors.
sqlite3_stmt* prepareReread(Dbc& dbc, Program& p) {
  sqlite3_stmt* st = p.stmts[0];
  std::string sql = "SELECT ";
  for (int c = 0; c < p.visibleCols; ++c) {
    const char* origin = sqlite3_column_origin_name(st, c);
    if (!origin) return nullptr;
    if (c) sql += ", ";
    sql += quoteIdent(origin);
  }
  sql += " FROM " + quoteIdent(p.baseTable) + " WHERE _rowid_ = ?";
  sqlite3_stmt* rr = nullptr;
  if (sqlite3_prepare_v3(dbc.db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &rr, nullptr) != SQLITE_OK) {
    if (rr) sqlite3_finalize(rr);
    return nullptr;
  }
  return rr;
}

// Types of columns without a declared type come from the first row.
void refineTypes(std::vector<ColInfo>& cols, sqlite3_stmt* st) {
  for (size_t c = 0; c < cols.size(); ++c) {
    if (cols[c].declared) continue;
    ValView v = viewOf(st, static_cast<int>(c));
    if (v.kind == VK::Null) continue;
    SqlTypeDesc t = typeFromValue(v);
    cols[c].sqlType = t.sqlType;
    cols[c].size = t.size;
    cols[c].digits = t.digits;
    cols[c].typeName = t.typeName;
  }
}

// Turns the stepped statement of part k into the statement's result set.
void openResult(Stmt& s, Program& p, size_t k, int rc) {
  sqlite3_stmt* st = p.stmts[k];
  Dbc& dbc = *s.dbc;
  int visible = k == 0 && p.rowidCol >= 0 ? p.visibleCols : sqlite3_column_count(st);
  int rowidCol = k == 0 ? p.rowidCol : -1;
  describeColumns(s, st, visible, &p);
  if (rc == SQLITE_ROW) refineTypes(s.cols, st);

  SQLULEN type = s.cursorType;
  bool keyed = rowidCol >= 0;
  if ((type == SQL_CURSOR_KEYSET_DRIVEN || type == SQL_CURSOR_DYNAMIC) && !keyed) {
    type = SQL_CURSOR_STATIC;
    s.warn("01S02", "Option value changed: cursor type changed to static");
  }
  SQLULEN conc = s.concurrency;
  if (conc != SQL_CONCUR_READ_ONLY && (!keyed || dbc.readOnly || p.hooks.readOnly)) {
    conc = SQL_CONCUR_READ_ONLY;
    s.warn("01S02", "Option value changed: concurrency changed to read only");
  }
  s.effectiveCursor = type;
  s.effectiveConcurrency = conc;

  std::vector<ColInfo> cols = std::move(s.cols);
  if (type == SQL_CURSOR_FORWARD_ONLY) {
    setResult(s, std::make_unique<StreamResult>(dbc.db, st, visible, rowidCol, rc == SQLITE_ROW, s.maxRows),
              std::move(cols));
    return;
  }
  auto materialize = [&]() {
    auto t = std::make_unique<TableResult>(visible);
    int r = rc;
    while (r == SQLITE_ROW) {
      if (s.maxRows && t->rows.size() >= s.maxRows) break;
      std::vector<Value> row(static_cast<size_t>(visible));
      for (int c = 0; c < visible; ++c) row[static_cast<size_t>(c)] = valueOf(st, c);
      t->rows.push_back(std::move(row));
      if (rowidCol >= 0) t->rowids.push_back(sqlite3_column_int64(st, rowidCol));
      r = sqlite3_step(st);
    }
    sqlite3_reset(st);
    if (r != SQLITE_ROW && r != SQLITE_DONE) failSqlite(dbc.db, r);
    setResult(s, std::move(t), std::move(cols));
  };
  if (type == SQL_CURSOR_STATIC) {
    materialize();
    return;
  }
  sqlite3_stmt* reread = prepareReread(dbc, p);
  if (!reread) {
    s.effectiveCursor = SQL_CURSOR_STATIC;
    s.warn("01S02", "Option value changed: cursor type changed to static");
    materialize();
    return;
  }
  auto ks = std::make_unique<KeysetResult>(dbc.db, st, rowidCol, reread, visible);
  ks->build();
  setResult(s, std::move(ks), std::move(cols));
}

// Runs parts from `from` on; stops at the first one that yields a result set.
void runParts(Stmt& s, Program& p, size_t from, SQLULEN row, bool& any) {
  Dbc& dbc = *s.dbc;
  int base = 0;
  for (size_t k = 0; k < from; ++k) base += p.partMarkers[k];
  for (size_t k = from; k < p.parts.size(); ++k) {
    ensurePrepared(dbc, p, k);
    sqlite3_stmt* st = p.stmts[k];
    Value hidden;
    const Value* hiddenPtr = nullptr;
    Stmt* cursor = nullptr;
    if (k == 0 && p.currentOf) {
      cursor = dbc.findCursor(p.cursorName);
      if (!cursor) fail("34000", "Invalid cursor name: " + p.cursorName);
      Result* r = cursor->result.get();
      bool positioned = r && (r->kind == Result::Kind::Stream ? static_cast<StreamResult*>(r)->onRow()
                                                               : (r->pos >= 0 && r->pos < r->count() && !r->afterEnd));
      if (!positioned) fail("24000", "Invalid cursor state: cursor " + p.cursorName + " is not positioned on a row");
      if (!r->hasRowid() || !iequals(cursor->prog->baseTable, p.dmlTable))
        fail("42000", "Cursor " + p.cursorName + " is not updatable through table " + p.dmlTable);
      if (r->kind != Result::Kind::Stream && r->isDeleted(r->pos)) fail("HY109", "Invalid cursor position: row deleted");
      hidden = Value::integer(r->rowid());
      hiddenPtr = &hidden;
    }
    bindPart(s, p, k, row, base, hiddenPtr);
    base += p.partMarkers[k];
    int rc = sqlite3_step(st);
    any = true;
    if (rc == SQLITE_ROW || (rc == SQLITE_DONE && sqlite3_column_count(st) > 0)) {
      p.nextPart = k + 1;
      openResult(s, p, k, rc);
      return;
    }
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
      bool hadTxn = !dbc.autocommit;
      try {
        failSqlite(dbc.db, rc);
      } catch (OdbcError& e) {
        if (hadTxn && sqlite3_get_autocommit(dbc.db)) {
          e.state = "40001";
          e.message += " (the transaction was rolled back)";
        }
        throw;
      }
    }
    std::string kw = leadingKeyword(p.parts[k]);
    if (isDml(kw) && !sqlite3_stmt_readonly(st)) {
      SQLLEN changes = static_cast<SQLLEN>(sqlite3_changes64(dbc.db));
      s.rowCount = (s.rowCount < 0 ? 0 : s.rowCount) + changes;
      if (cursor && p.dmlVerb == "DELETE" && changes > 0 && cursor->result &&
          cursor->result->kind != Result::Kind::Stream)
        cursor->result->markDeleted(cursor->result->pos);
    }
  }
  p.nextPart = p.parts.size();
}

bool isDataAtExec(SQLLEN ind) { return ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET; }

char* paramAddress(Stmt& s, const DescRec& rec, SQLULEN row, SQLLEN elemSize) {
  if (!rec.dataPtr) return nullptr;
  Desc& apd = *s.curApd;
  char* p = static_cast<char*>(rec.dataPtr);
  if (apd.bindOffsetPtr) p += *apd.bindOffsetPtr;
  if (row) p += static_cast<SQLLEN>(row) * (apd.bindType == SQL_BIND_BY_COLUMN ? elemSize : static_cast<SQLLEN>(apd.bindType));
  return p;
}

SQLLEN* indAddress(Stmt& s, SQLLEN* base, SQLULEN row) {
  if (!base) return nullptr;
  Desc& apd = *s.curApd;
  char* p = reinterpret_cast<char*>(base);
  if (apd.bindOffsetPtr) p += *apd.bindOffsetPtr;
  if (row) p += static_cast<SQLLEN>(row) * (apd.bindType == SQL_BIND_BY_COLUMN ? static_cast<SQLLEN>(sizeof(SQLLEN)) : static_cast<SQLLEN>(apd.bindType));
  return reinterpret_cast<SQLLEN*>(p);
}

SQLLEN elementSize(const DescRec& rec, SQLSMALLINT ctype) {
  SQLLEN fixed = cTypeSize(ctype);
  return fixed > 0 ? fixed : rec.octetLength;
}

// SQL_ATTR_QUERY_TIMEOUT: SQLite checks the clock every few thousand instructions while the
// statement runs and stops it (SQLITE_INTERRUPT, reported as HYT00) once the time is up.
class Deadline {
 public:
  Deadline(sqlite3* db, SQLULEN seconds) : db_(seconds ? db : nullptr) {
    if (!db_) return;
    until_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    sqlite3_progress_handler(db_, 4000, &Deadline::check, this);
  }
  ~Deadline() {
    if (db_) sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  static int check(void* self) {
    return std::chrono::steady_clock::now() > static_cast<Deadline*>(self)->until_ ? 1 : 0;
  }
  sqlite3* db_;
  std::chrono::steady_clock::time_point until_;
};

}  // namespace

void describeColumns(Stmt& s, sqlite3_stmt* st, int visible, const Program* p) {
  Dbc& dbc = *s.dbc;
  std::vector<ColInfo> cols(static_cast<size_t>(visible));
  bool keyed = p && p->rowidCol >= 0 && st == p->stmts[0];
  for (int c = 0; c < visible; ++c) {
    ColInfo& ci = cols[static_cast<size_t>(c)];
    const char* name = sqlite3_column_name(st, c);
    ci.name = name ? name : "";
    ci.label = ci.name;
    const char* table = sqlite3_column_table_name(st, c);
    const char* origin = sqlite3_column_origin_name(st, c);
    const char* decl = sqlite3_column_decltype(st, c);
    ci.baseTable = table ? table : "";
    ci.baseColumn = origin ? origin : "";
    // A plain column reference is named as the table declares it, whatever case the query
    // used, so the name matches SQLColumns exactly; an alias keeps its own spelling.
    if (origin && iequals(ci.name, origin)) ci.name = ci.label = origin;
    if (decl) {
      SqlTypeDesc t = typeFromDecl(decl);
      ci.sqlType = t.sqlType;
      ci.size = t.size;
      ci.digits = t.digits;
      ci.typeName = t.typeName;
      ci.unsignedType = t.unsignedType;
      ci.autoUnique = t.autoInc;
      ci.declared = true;
    } else {
      ci.typeName = "VARCHAR";
    }
    if (table && origin) {
      const char* dbName = sqlite3_column_database_name(st, c);
      const char* dtype = nullptr;
      const char* coll = nullptr;
      int notNull = 0, pk = 0, autoinc = 0;
      if (sqlite3_table_column_metadata(dbc.db, dbName, table, origin, &dtype, &coll, &notNull, &pk, &autoinc) ==
          SQLITE_OK) {
        bool rowidAlias = pk && dtype && iequals(dtype, "INTEGER");
        ci.nullable = (notNull || rowidAlias) ? SQL_NO_NULLS : SQL_NULLABLE;
        ci.autoUnique = ci.autoUnique || autoinc != 0;
        if (!decl && rowidAlias) {
          ci.sqlType = SQL_INTEGER;
          ci.size = 10;
          ci.typeName = "INTEGER";
          ci.declared = true;
        }
      }
      applyCatalogType(dbc, table, origin, ci);
      if (dbc.readOnly) ci.updatable = SQL_ATTR_READONLY;
      else if (keyed) ci.updatable = SQL_ATTR_WRITE;
      else ci.updatable = SQL_ATTR_READWRITE_UNKNOWN;
    } else {
      ci.updatable = SQL_ATTR_READONLY;
    }
    if (p && p->hooks.precisionZero && (ci.sqlType == SQL_NUMERIC || ci.sqlType == SQL_DECIMAL)) {
      ci.size = 0;
      ci.digits = 0;
    }
  }
  s.cols = std::move(cols);
}

void prepareStatement(Stmt& s, const std::string& sqlIn) {
  Dbc& dbc = *s.dbc;
  if (!dbc.connected()) fail("08003", "Connection not open");
  if (s.cursorOpen()) fail("24000", "Invalid cursor state");
  s.resetProgram();
  ++dbc.metaEpoch;
  auto p = std::make_unique<Program>();
  p->text = translateEscapes(sqlIn, &p->hooks, &p->call);
  if (p->call.isCall) {
    p->kind = Program::Kind::Call;
    p->markers = countMarkers(sqlIn);
    ProcDef def;
    if (!findProcedure(dbc, p->call.procName, def)) fail("42000", "Procedure not found: " + p->call.procName);
    p->proc = def;
    s.prog = std::move(p);
    s.prepared = true;
    return;
  }
  auto sig = significant(p->text);
  if (sig.size() >= 2 && sig[0].is("CREATE") &&
      (sig[1].is("PROCEDURE") || sig[1].is("PROC") ||
       (sig.size() >= 4 && sig[1].is("OR") && sig[2].is("REPLACE") && (sig[3].is("PROCEDURE") || sig[3].is("PROC"))))) {
    p->kind = Program::Kind::CreateProc;
    p->proc = parseProcedure(p->text);
    s.prog = std::move(p);
    s.prepared = true;
    return;
  }
  if (sig.size() >= 3 && sig[0].is("DROP") && (sig[1].is("PROCEDURE") || sig[1].is("PROC"))) {
    p->kind = Program::Kind::DropProc;
    size_t k = 2;
    if (sig.size() >= 5 && sig[2].is("IF") && sig[3].is("EXISTS")) {
      p->dropIfExists = true;
      k = 4;
    }
    if (k >= sig.size()) fail("42000", "Syntax error in DROP PROCEDURE");
    p->dropName = sig[k].ident();
    s.prog = std::move(p);
    s.prepared = true;
    return;
  }
  p->parts = splitStatements(p->text);
  if (p->parts.empty()) fail("42000", "Syntax error or access violation: empty statement");
  for (auto& part : p->parts) {
    int m = countMarkers(part);
    p->partMarkers.push_back(m);
    p->markers += m;
  }
  // WHERE CURRENT OF becomes a row id comparison with a hidden trailing parameter.
  size_t curPos;
  std::string curName;
  if (p->parts.size() == 1 && findCurrentOf(p->parts[0], curPos, curName)) {
    auto toks = significant(p->parts[0]);
    if (!toks.empty() && (toks[0].is("UPDATE") || toks[0].is("DELETE"))) {
      p->currentOf = true;
      p->cursorName = curName;
      p->dmlVerb = upper(toks[0].text);
      size_t t = toks[0].is("DELETE") ? 2 : 1;
      if (t < toks.size()) p->dmlTable = toks[t].ident();
      p->parts[0] = p->parts[0].substr(0, curPos) + "_rowid_ = ?";
    }
  }
  p->stmts.assign(p->parts.size(), nullptr);
  AuthState auth;
  p->stmts[0] = compile(dbc.db, p->parts[0], &auth);
  p->tablesUsed = auth.tables;
  if (p->parts.size() == 1) {
    std::string rewritten = rewriteLiterals(dbc, p->parts[0], auth.tables);
    if (rewritten != p->parts[0]) {
      sqlite3_stmt* st = compile(dbc.db, rewritten, nullptr);
      sqlite3_finalize(p->stmts[0]);
      p->stmts[0] = st;
      p->parts[0] = rewritten;
    }
  }
  if (p->currentOf) {
    // The hidden parameter is not the application's.
    if (sqlite3_bind_parameter_count(p->stmts[0]) != p->markers + 1)
      fail("42000", "Parameter markers must be plain '?' in a positioned statement");
  }
  analyseQuery(dbc, *p, auth);
  int visible = p->rowidCol >= 0 ? p->visibleCols : sqlite3_column_count(p->stmts[0]);
  describeColumns(s, p->stmts[0], visible, p.get());
  s.prog = std::move(p);
  s.prepared = true;
}

int numParams(const Stmt& s) { return s.prog ? s.prog->markers : 0; }

Value paramValue(Stmt& s, int n, SQLULEN row) {
  Desc& apd = *s.curApd;
  if (n < 1 || n > apd.count()) fail("07002", "COUNT field incorrect: parameter " + std::to_string(n) + " is not bound");
  const DescRec& a = apd.recs[static_cast<size_t>(n)];
  const DescRec& ip = s.ipd.rec(n);
  if (!a.dataPtr && !a.indicatorPtr && !a.octetLengthPtr)
    fail("07002", "COUNT field incorrect: parameter " + std::to_string(n) + " is not bound");
  if (ip.paramType == SQL_PARAM_OUTPUT || ip.paramType == SQL_RETURN_VALUE) return {};
  SQLSMALLINT sqlType = ip.conciseType;
  SQLSMALLINT ctype = resolveCType(a.conciseType, sqlType);
  SQLLEN* indp = indAddress(s, a.indicatorPtr, row);
  SQLLEN* lenp = indAddress(s, a.octetLengthPtr, row);
  SQLLEN ind = indp ? *indp : (lenp ? *lenp : SQL_NTS);
  if (ind == SQL_NULL_DATA) return {};
  if (ind == SQL_DEFAULT_PARAM) return {};
  if (isDataAtExec(ind)) {
    auto it = s.dataAtExec.find(n);
    if (it == s.dataAtExec.end()) return {};
    const Value& raw = it->second;
    if (raw.isNull()) return {};
    return convertIn(ctype, sqlType, ip.scale, raw.s.data(), static_cast<SQLLEN>(raw.s.size()));
  }
  if (lenp && lenp != indp) ind = *lenp;
  const char* ptr = paramAddress(s, a, row, elementSize(a, ctype));
  if (!ptr) fail("HY009", "Invalid use of null pointer: parameter " + std::to_string(n) + " has no buffer");
  if ((ctype == SQL_C_CHAR || ctype == SQL_C_WCHAR || ctype == SQL_C_BINARY) && ind < 0 && ind != SQL_NTS)
    fail("HY090", "Invalid string or buffer length for parameter " + std::to_string(n));
  SQLLEN len = inputLength(ctype, ptr, ind, a.octetLength);
  return convertIn(ctype, sqlType, ip.scale, ptr, len);
}

void writeOutputParam(Stmt& s, int n, const Value& v, SQLSMALLINT sqlType, SQLSMALLINT digits) {
  Desc& apd = *s.curApd;
  if (n < 1 || n > apd.count()) return;
  const DescRec& a = apd.recs[static_cast<size_t>(n)];
  const DescRec& ip = s.ipd.rec(n);
  if (ip.paramType != SQL_PARAM_OUTPUT && ip.paramType != SQL_PARAM_INPUT_OUTPUT && ip.paramType != SQL_RETURN_VALUE)
    return;
  SQLSMALLINT ctype = resolveCType(a.conciseType, ip.conciseType);
  OutTarget t;
  t.ctype = ctype;
  t.ptr = paramAddress(s, a, 0, elementSize(a, ctype));
  t.bufLen = a.octetLength;
  t.ind = indAddress(s, a.indicatorPtr, 0);
  t.len = indAddress(s, a.octetLengthPtr, 0);
  t.precision = a.precision;
  t.scale = a.scale;
  if (!t.ptr && !v.isNull()) {
    if (t.ind) *t.ind = static_cast<SQLLEN>(v.s.size());
    return;
  }
  ColType ct{sqlType, 0, digits};
  int st = convertOut(viewOf(v), ct, t, nullptr);
  if (st == kOutTruncated) s.warn("01004", "String data, right truncated");
}

SQLRETURN executeStatement(Stmt& s) {
  Dbc& dbc = *s.dbc;
  if (!s.prepared || !s.prog) fail("HY010", "Function sequence error: no prepared statement");
  if (s.cursorOpen()) fail("24000", "Invalid cursor state");
  if (!dbc.connected()) fail("08003", "Connection not open");
  Program& p = *s.prog;
  // Parameters whose data comes through SQLPutData.
  if (!s.needData) {
    s.dataAtExec.clear();
    Desc& apd = *s.curApd;
    bool any = false;
    for (int n = 1; n <= apd.count() && n <= std::max(p.markers, apd.count()); ++n) {
      const DescRec& a = apd.recs[static_cast<size_t>(n)];
      SQLLEN* indp = a.indicatorPtr ? indAddress(s, a.indicatorPtr, 0) : nullptr;
      if (indp && isDataAtExec(*indp)) any = true;
    }
    if (any) {
      if (apd.arraySize > 1) fail("HYC00", "Data at execution with parameter arrays is not supported");
      s.needData = true;
      s.needParam = 0;
      s.putStarted = false;
      return SQL_NEED_DATA;
    }
  }
  s.needData = false;
  s.rowCount = -1;
  s.executed = false;
  s.pending.clear();
  Deadline deadline(dbc.db, s.queryTimeout);
  ++dbc.metaEpoch;  // the schema may have changed since the statement was prepared
  if (p.kind == Program::Kind::Call) {
    dbc.beginIfManual();
    SQLRETURN rc = callProcedure(s);
    s.executed = true;
    return rc;
  }
  if (p.kind == Program::Kind::CreateProc) {
    if (dbc.readOnly) fail("25000", "The connection is read-only");
    dbc.beginIfManual();
    createProcedure(dbc, p.proc);
    s.executed = true;
    return SQL_SUCCESS;
  }
  if (p.kind == Program::Kind::DropProc) {
    if (dbc.readOnly) fail("25000", "The connection is read-only");
    dbc.beginIfManual();
    if (!dropProcedure(dbc, p.dropName) && !p.dropIfExists) fail("42000", "Procedure not found: " + p.dropName);
    s.executed = true;
    return SQL_SUCCESS;
  }
  dbc.beginIfManual();
  Desc& apd = *s.curApd;
  SQLULEN rows = apd.arraySize ? apd.arraySize : 1;
  if (rows > 1 && sqlite3_column_count(p.stmts[0]) > 0)
    fail("HYC00", "Parameter arrays are not supported for statements that return rows");
  if (apd.rowsProcessedPtr) *apd.rowsProcessedPtr = 0;
  bool multiStatement = p.parts.size() > 1 || rows > 1;
  // Several statements (or rows) run as one unit, so a failure leaves nothing half done.
  if (multiStatement) {
    int rc = sqlite3_exec(dbc.db, "SAVEPOINT kx_exec", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failSqlite(dbc.db, rc);
  }
  try {
    for (SQLULEN r = 0; r < rows; ++r) {
      if (apd.arrayStatusPtr) apd.arrayStatusPtr[r] = SQL_PARAM_UNUSED;
      bool any = false;
      runParts(s, p, 0, r, any);
      if (apd.arrayStatusPtr) apd.arrayStatusPtr[r] = SQL_PARAM_SUCCESS;
      if (apd.rowsProcessedPtr) *apd.rowsProcessedPtr = r + 1;
    }
  } catch (...) {
    if (multiStatement && !sqlite3_get_autocommit(dbc.db)) {
      // Undo the batch; the original error is what the application needs to see.
      (void)sqlite3_exec(dbc.db, "ROLLBACK TO kx_exec", nullptr, nullptr, nullptr);
      (void)sqlite3_exec(dbc.db, "RELEASE kx_exec", nullptr, nullptr, nullptr);
    }
    throw;
  }
  if (multiStatement) {
    if (s.result) {
      // A result set in the middle keeps the rest of the batch for SQLMoreResults; the
      // savepoint ends now so that the rows read so far stay.
    }
    int rc = sqlite3_exec(dbc.db, "RELEASE kx_exec", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failSqlite(dbc.db, rc);
  }
  s.executed = true;
  if (!p.hooks.execInfo.empty()) s.warn(p.hooks.execInfo.c_str(), "Information requested by the statement");
  return SQL_SUCCESS;
}

SQLRETURN paramData(Stmt& s, SQLPOINTER* token) {
  if (!s.needData) fail("HY010", "Function sequence error");
  Desc& apd = *s.curApd;
  // Finish the parameter in progress; one that got no SQLPutData is an empty value.
  if (s.needParam > 0 && !s.dataAtExec.count(s.needParam)) s.dataAtExec[s.needParam] = Value::text("");
  for (int n = s.needParam + 1; n <= apd.count(); ++n) {
    const DescRec& a = apd.recs[static_cast<size_t>(n)];
    SQLLEN* indp = a.indicatorPtr ? indAddress(s, a.indicatorPtr, 0) : nullptr;
    if (indp && isDataAtExec(*indp)) {
      s.needParam = n;
      s.putStarted = false;
      if (token) *token = a.dataPtr;
      return SQL_NEED_DATA;
    }
  }
  s.needParam = 0;
  try {
    SQLRETURN rc = executeStatement(s);
    return rc;
  } catch (...) {
    s.needData = false;
    s.dataAtExec.clear();
    throw;
  }
}

SQLRETURN putData(Stmt& s, SQLPOINTER data, SQLLEN len) {
  if (!s.needData || s.needParam == 0) fail("HY010", "Function sequence error");
  Desc& apd = *s.curApd;
  const DescRec& a = apd.recs[static_cast<size_t>(s.needParam)];
  SQLSMALLINT ctype = resolveCType(a.conciseType, s.ipd.rec(s.needParam).conciseType);
  Value& acc = s.dataAtExec[s.needParam];
  if (len == SQL_NULL_DATA) {
    if (s.putStarted) fail("HY011", "Attribute cannot be set now: null after data");
    acc = Value::null();
    s.putStarted = true;
    return SQL_SUCCESS;
  }
  if (!data && len != 0) fail("HY009", "Invalid use of null pointer");
  bool variable = ctype == SQL_C_CHAR || ctype == SQL_C_WCHAR || ctype == SQL_C_BINARY;
  if (!variable && s.putStarted) fail("HY019", "Non-character and non-binary data sent in pieces");
  SQLLEN n;
  if (variable) {
    if (len == SQL_NTS) n = inputLength(ctype, data, SQL_NTS, 0);
    else if (len < 0) fail("HY090", "Invalid string or buffer length");
    else n = ctype == SQL_C_CHAR ? inputLength(ctype, data, len, len) : len;
  } else {
    n = cTypeSize(ctype);
  }
  if (!s.putStarted) acc = Value::blob("");
  if (n > 0) acc.s.append(static_cast<const char*>(data), static_cast<size_t>(n));
  acc.kind = VK::Blob;
  s.putStarted = true;
  return SQL_SUCCESS;
}

SQLRETURN moreResults(Stmt& s) {
  if (!s.prog || !s.executed) return SQL_NO_DATA;
  s.result.reset();
  s.gdColumn = -1;
  if (!s.pending.empty()) {
    PendingResult next = std::move(s.pending.front());
    s.pending.erase(s.pending.begin());
    setResult(s, std::move(next.result), std::move(next.cols));
    return SQL_SUCCESS;
  }
  Program& p = *s.prog;
  if (p.kind != Program::Kind::Sql || p.nextPart >= p.parts.size()) {
    s.cols.clear();
    return SQL_NO_DATA;
  }
  s.cols.clear();
  s.rowCount = -1;
  bool any = false;
  runParts(s, p, p.nextPart, 0, any);
  return any ? SQL_SUCCESS : SQL_NO_DATA;
}

const ParamInfo& describeParam(Stmt& s, int n) {
  Program& p = *s.prog;
  if (!p.paramInfoDone) {
    p.paramInfo = inferParams(*s.dbc, p);
    p.paramInfoDone = true;
  }
  if (n < 1 || n > static_cast<int>(p.paramInfo.size())) fail("07009", "Invalid descriptor index");
  return p.paramInfo[static_cast<size_t>(n - 1)];
}

}  // namespace kxodbc
