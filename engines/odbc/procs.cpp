// Stored procedures: definition, storage in the engine catalogue, and calls.
//
// CREATE [OR REPLACE] PROCEDURE name [( [IN|OUT|INOUT|RETURN] param type, ... )] [RETURNS type]
//   AS [BEGIN] statement; statement; ... [END]
//
// The body's statements are SQL with the parameters referred to as :name. Two statements are the
// procedure's own: SET :name = expression assigns a parameter, RETURN [expression] ends the call
// with a return value. Every SELECT that is not an assignment adds a result set.
#include <algorithm>

#include "engines/odbc/convert.h"
#include "engines/odbc/program.h"
#include "engines/odbc/types.h"
#include "engines/store/catalog.h"

namespace kxodbc {

namespace {

std::string stripBlank(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t a = 0;
  while (a < s.size() && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  return s.substr(a);
}

ParamInfo infoFromType(const std::string& typeText) {
  SqlTypeDesc t = typeFromDecl(typeText);
  ParamInfo pi;
  pi.sqlType = t.sqlType;
  pi.size = t.size;
  pi.digits = t.digits;
  pi.nullable = SQL_NULLABLE;
  return pi;
}

ProcDef fromStore(const kxstore::ProcedureDef& d) {
  ProcDef p;
  p.name = d.name;
  p.body = d.body;
  p.remarks = d.remarks;
  p.definition = d.definition;
  for (const auto& sp : d.params) {
    ProcParam pp;
    pp.name = sp.name;
    pp.direction = static_cast<SQLSMALLINT>(sp.direction);
    pp.typeText = sp.typeName;
    pp.type.sqlType = static_cast<SQLSMALLINT>(sp.sqlType);
    pp.type.size = static_cast<SQLULEN>(sp.columnSize);
    pp.type.digits = static_cast<SQLSMALLINT>(sp.decimalDigits);
    pp.type.nullable = sp.nullable ? SQL_NULLABLE : SQL_NO_NULLS;
    pp.type.direction = pp.direction;
    p.params.push_back(pp);
  }
  return p;
}

// Body statements, without a BEGIN ... END around them.
std::vector<std::string> bodyStatements(const std::string& body) {
  auto sig = significant(body);
  std::string text = body;
  if (sig.size() >= 2 && sig.front().is("BEGIN") && sig.back().is("END")) {
    size_t a = sig.front().pos + sig.front().len;
    text = body.substr(a, sig.back().pos - a);
  } else if (sig.size() >= 3 && sig.front().is("BEGIN") && sig.back().text == ";" && sig[sig.size() - 2].is("END")) {
    size_t a = sig.front().pos + sig.front().len;
    text = body.substr(a, sig[sig.size() - 2].pos - a);
  }
  return splitStatements(text);
}

std::string varKey(std::string name) {
  if (!name.empty() && (name[0] == ':' || name[0] == '@' || name[0] == '$')) name.erase(0, 1);
  return upper(name);
}

struct Frame {
  std::map<std::string, Value> vars;
  Value returnValue;
  bool returned = false;
};

sqlite3_stmt* prepareBodyStatement(sqlite3* db, const std::string& sql, Frame& f) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc != SQLITE_OK) {
    if (st) sqlite3_finalize(st);
    failSqlite(db, rc, "in procedure");
  }
  int n = sqlite3_bind_parameter_count(st);
  for (int j = 1; j <= n; ++j) {
    const char* name = sqlite3_bind_parameter_name(st, j);
    if (!name || name[0] == '?') {
      sqlite3_finalize(st);
      fail("42000", "Procedure bodies refer to parameters by name (:name), not by '?'");
    }
    auto it = f.vars.find(varKey(name));
    if (it == f.vars.end()) {
      sqlite3_finalize(st);
      fail("42000", std::string("Unknown variable in procedure: ") + name);
    }
    try {
      bindValue(db, st, j, it->second);
    } catch (...) {
      sqlite3_finalize(st);
      throw;
    }
  }
  return st;
}

Value evaluate(sqlite3* db, const std::string& expr, Frame& f) {
  sqlite3_stmt* st = prepareBodyStatement(db, "SELECT " + expr, f);
  int rc = sqlite3_step(st);
  Value v;
  if (rc == SQLITE_ROW) v = valueOf(st, 0);
  sqlite3_finalize(st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) failSqlite(db, rc, "in procedure");
  return v;
}

}  // namespace

ProcDef parseProcedure(const std::string& text) {
  auto toks = significant(text);
  size_t k = 0;
  auto expect = [&](bool ok, const char* what) {
    if (!ok) fail("42000", std::string("Syntax error in CREATE PROCEDURE: ") + what);
  };
  expect(k < toks.size() && toks[k].is("CREATE"), "CREATE expected");
  ++k;
  if (k + 1 < toks.size() && toks[k].is("OR") && toks[k + 1].is("REPLACE")) k += 2;
  expect(k < toks.size() && (toks[k].is("PROCEDURE") || toks[k].is("PROC")), "PROCEDURE expected");
  ++k;
  expect(k < toks.size() && (toks[k].kind == TokKind::Word || toks[k].kind == TokKind::QuotedIdent), "name expected");
  ProcDef def;
  def.name = toks[k].ident();
  ++k;
  std::vector<ProcParam> returns, params;
  if (k < toks.size() && toks[k].text == "(") {
    ++k;
    while (k < toks.size() && toks[k].text != ")") {
      ProcParam pp;
      if (toks[k].is("IN") && k + 1 < toks.size() && toks[k + 1].is("OUT")) {
        pp.direction = SQL_PARAM_INPUT_OUTPUT;
        k += 2;
      } else if (toks[k].is("INOUT")) {
        pp.direction = SQL_PARAM_INPUT_OUTPUT;
        ++k;
      } else if (toks[k].is("IN")) {
        ++k;
      } else if (toks[k].is("OUT") || toks[k].is("OUTPUT")) {
        pp.direction = SQL_PARAM_OUTPUT;
        ++k;
      } else if (toks[k].is("RETURN") || toks[k].is("RESULT")) {
        pp.direction = SQL_RETURN_VALUE;
        ++k;
      }
      if (k < toks.size() && (toks[k].text == ":" || toks[k].text == "@")) ++k;
      expect(k < toks.size() && (toks[k].kind == TokKind::Word || toks[k].kind == TokKind::QuotedIdent),
             "parameter name expected");
      pp.name = toks[k].ident();
      ++k;
      size_t typeStart = k < toks.size() ? toks[k].pos : text.size();
      int depth = 0;
      size_t typeEnd = typeStart;
      while (k < toks.size()) {
        if (toks[k].text == "(") ++depth;
        if (toks[k].text == ")") {
          if (depth == 0) break;
          --depth;
        }
        if (toks[k].text == "," && depth == 0) break;
        typeEnd = toks[k].pos + toks[k].len;
        ++k;
      }
      pp.typeText = stripBlank(text.substr(typeStart, typeEnd - typeStart));
      expect(!pp.typeText.empty(), "parameter type expected");
      pp.type = infoFromType(pp.typeText);
      pp.type.direction = pp.direction;
      for (const auto& other : params)
        if (iequals(other.name, pp.name)) fail("42000", "Duplicate parameter name in procedure: " + pp.name);
      (pp.direction == SQL_RETURN_VALUE ? returns : params).push_back(pp);
      if (k < toks.size() && toks[k].text == ",") ++k;
    }
    expect(k < toks.size() && toks[k].text == ")", "')' expected");
    ++k;
  }
  if (k < toks.size() && (toks[k].is("RETURNS") || toks[k].is("RETURN"))) {
    ++k;
    size_t typeStart = k < toks.size() ? toks[k].pos : text.size();
    size_t typeEnd = typeStart;
    while (k < toks.size() && !toks[k].is("AS")) {
      typeEnd = toks[k].pos + toks[k].len;
      ++k;
    }
    ProcParam rv;
    rv.direction = SQL_RETURN_VALUE;
    rv.typeText = stripBlank(text.substr(typeStart, typeEnd - typeStart));
    expect(!rv.typeText.empty(), "return type expected");
    rv.type = infoFromType(rv.typeText);
    rv.type.direction = SQL_RETURN_VALUE;
    returns.insert(returns.begin(), rv);
  }
  expect(k < toks.size() && toks[k].is("AS"), "AS expected");
  def.body = stripBlank(text.substr(toks[k].pos + toks[k].len));
  expect(!def.body.empty(), "body expected");
  def.params = returns;
  def.params.insert(def.params.end(), params.begin(), params.end());
  def.definition = stripBlank(text);
  return def;
}

void createProcedure(Dbc& dbc, const ProcDef& def) {
  kxstore::ProcedureDef d;
  d.name = def.name;
  d.definition = def.definition;
  d.body = def.body;
  d.remarks = def.remarks;
  int returns = 0;
  for (const auto& p : def.params)
    if (p.direction == SQL_RETURN_VALUE) ++returns;
  d.procType = returns > 0 ? kxstore::kProcFunction : kxstore::kProcProcedure;
  // Return values come first: numbers 1-k .. 0, then the parameters 1..n.
  int retNo = 1 - returns, paramNo = 1;
  for (const auto& p : def.params) {
    kxstore::ProcedureParam sp;
    sp.paramNo = p.direction == SQL_RETURN_VALUE ? retNo++ : paramNo++;
    sp.name = p.name;
    sp.direction = p.direction;
    sp.sqlType = p.type.sqlType;
    sp.typeName = p.typeText;
    sp.columnSize = static_cast<std::int64_t>(p.type.size);
    sp.decimalDigits = p.type.digits;
    sp.nullable = true;
    d.params.push_back(sp);
  }
  // CREATE OR REPLACE: the old definition goes.
  auto toks = significant(def.definition);
  bool replace = toks.size() > 2 && toks[1].is("OR") && toks[2].is("REPLACE");
  if (replace) {
    int rc = kxstore::dropProcedure(dbc.db, def.name);
    if (rc != SQLITE_OK && rc != SQLITE_NOTFOUND) failSqlite(dbc.db, rc, "replacing the procedure");
  }
  int rc = kxstore::createProcedure(dbc.db, d);
  if (rc == SQLITE_CONSTRAINT) fail("42S01", "Procedure already exists: " + def.name);
  if (rc == SQLITE_MISUSE) fail("42000", "Invalid procedure name: " + def.name);
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc, "creating the procedure");
}

bool dropProcedure(Dbc& dbc, const std::string& name) {
  int rc = kxstore::dropProcedure(dbc.db, name);
  if (rc == SQLITE_NOTFOUND) return false;
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc, "dropping the procedure");
  return true;
}

bool findProcedure(Dbc& dbc, const std::string& name, ProcDef& out) {
  kxstore::ProcedureDef d;
  int rc = kxstore::readProcedure(dbc.db, name, d);
  if (rc == SQLITE_NOTFOUND) return false;
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc, "reading the procedure catalogue");
  out = fromStore(d);
  return true;
}

std::vector<ProcDef> listProcedures(Dbc& dbc) {
  std::vector<kxstore::ProcedureDef> all;
  std::vector<ProcDef> out;
  if (!kxstore::hasCatalogue(dbc.db)) return out;
  int rc = kxstore::listProcedures(dbc.db, all);
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc, "reading the procedure catalogue");
  for (const auto& d : all) {
    ProcDef full;
    if (findProcedure(dbc, d.name, full)) out.push_back(full);
  }
  return out;
}

SQLRETURN callProcedure(Stmt& s) {
  Dbc& dbc = *s.dbc;
  Program& p = *s.prog;
  // The catalogue may have changed since the call was prepared.
  ProcDef def;
  if (!findProcedure(dbc, p.call.procName, def)) fail("42000", "Procedure not found: " + p.call.procName);
  std::vector<const ProcParam*> returns, params;
  for (const auto& pp : def.params) (pp.direction == SQL_RETURN_VALUE ? returns : params).push_back(&pp);
  if (returns.size() > 1) fail("42000", "Procedure " + def.name + " declares more than one return value");
  if (p.call.args.size() > params.size())
    fail("07001", "Wrong number of parameters: procedure " + def.name + " takes " + std::to_string(params.size()));

  // Which marker receives the return value: "{? = call}" names it; a caller that binds one
  // parameter more than there are markers, the first as output, means it too.
  int returnMarker = 0;
  int markerBase = 0;
  if (p.call.hasReturnMarker) {
    returnMarker = 1;
    markerBase = 1;
  } else if (!returns.empty() && s.curApd->count() == p.markers + 1 && p.markers + 1 >= 1) {
    SQLSMALLINT dir = s.ipd.rec(1).paramType;
    if (dir == SQL_PARAM_OUTPUT || dir == SQL_RETURN_VALUE) {
      returnMarker = 1;
      markerBase = 1;
    }
  }

  Frame f;
  std::vector<int> markerOf(params.size(), 0);
  int nextMarker = markerBase;
  for (size_t i = 0; i < params.size(); ++i) {
    const ProcParam& pp = *params[i];
    Value v;
    if (i < p.call.args.size()) {
      const std::string& arg = p.call.args[i];
      if (arg == "?") {
        markerOf[i] = ++nextMarker;
        if (pp.direction != SQL_PARAM_OUTPUT) v = paramValue(s, markerOf[i], 0);
      } else if (!arg.empty()) {
        if (pp.direction != SQL_PARAM_INPUT) fail("HY105", "Output parameter " + pp.name + " needs a parameter marker");
        Frame none;
        v = evaluate(dbc.db, arg, none);
      }
    }
    f.vars[varKey(pp.name)] = v;
  }

  auto stmts = bodyStatements(def.body);
  int rc = sqlite3_exec(dbc.db, "SAVEPOINT kx_proc", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc);
  std::vector<PendingResult> results;
  try {
    for (const std::string& stmtText : stmts) {
      auto toks = significant(stmtText);
      if (toks.empty()) continue;
      if (toks[0].is("SET") && toks.size() >= 3) {
        size_t k = 1;
        if (toks[k].text == ":" || toks[k].text == "@") ++k;
        std::string name = toks[k].ident();
        if (toks[k].kind == TokKind::Word && name.size() > 1 && name[0] == ':') name.erase(0, 1);
        ++k;
        if (k >= toks.size() || toks[k].text != "=") fail("42000", "Syntax error in SET: '=' expected");
        auto it = f.vars.find(varKey(name));
        if (it == f.vars.end()) fail("42000", "Unknown variable in procedure: " + name);
        it->second = evaluate(dbc.db, stmtText.substr(toks[k].pos + 1), f);
        continue;
      }
      if (toks[0].is("RETURN")) {
        std::string expr = stripBlank(stmtText.substr(toks[0].pos + toks[0].len));
        if (!expr.empty()) f.returnValue = evaluate(dbc.db, expr, f);
        f.returned = true;
        break;
      }
      sqlite3_stmt* st = prepareBodyStatement(dbc.db, stmtText, f);
      int ncols = sqlite3_column_count(st);
      int r = sqlite3_step(st);
      if (ncols > 0 && (r == SQLITE_ROW || r == SQLITE_DONE)) {
        describeColumns(s, st, ncols, nullptr);
        std::vector<ColInfo> cols = std::move(s.cols);
        for (auto& c : cols)
          if (c.updatable == SQL_ATTR_WRITE) c.updatable = SQL_ATTR_READWRITE_UNKNOWN;
        auto t = std::make_unique<TableResult>(ncols);
        while (r == SQLITE_ROW) {
          std::vector<Value> row(static_cast<size_t>(ncols));
          for (int c = 0; c < ncols; ++c) row[static_cast<size_t>(c)] = valueOf(st, c);
          t->rows.push_back(std::move(row));
          r = sqlite3_step(st);
        }
        if (!t->rows.empty())
          for (size_t c = 0; c < cols.size(); ++c)
            if (!cols[c].declared && !t->rows[0][c].isNull()) {
              SqlTypeDesc td = typeFromValue(viewOf(t->rows[0][c]));
              cols[c].sqlType = td.sqlType;
              cols[c].size = td.size;
              cols[c].typeName = td.typeName;
            }
        results.push_back({std::move(t), std::move(cols)});
      } else if (r == SQLITE_DONE && !sqlite3_stmt_readonly(st)) {
        s.rowCount = (s.rowCount < 0 ? 0 : s.rowCount) + static_cast<SQLLEN>(sqlite3_changes64(dbc.db));
      }
      sqlite3_finalize(st);
      if (r != SQLITE_ROW && r != SQLITE_DONE) failSqlite(dbc.db, r, "in procedure");
    }
  } catch (...) {
    // Undo the call; the original error is what the application needs to see.
    (void)sqlite3_exec(dbc.db, "ROLLBACK TO kx_proc", nullptr, nullptr, nullptr);
    (void)sqlite3_exec(dbc.db, "RELEASE kx_proc", nullptr, nullptr, nullptr);
    throw;
  }
  rc = sqlite3_exec(dbc.db, "RELEASE kx_proc", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) failSqlite(dbc.db, rc);

  // Output values are in the application's buffers when the call returns.
  if (returnMarker && !returns.empty())
    writeOutputParam(s, returnMarker, f.returnValue, returns[0]->type.sqlType, returns[0]->type.digits);
  for (size_t i = 0; i < params.size(); ++i) {
    if (!markerOf[i] || params[i]->direction == SQL_PARAM_INPUT) continue;
    writeOutputParam(s, markerOf[i], f.vars[varKey(params[i]->name)], params[i]->type.sqlType, params[i]->type.digits);
  }
  s.cols.clear();
  if (!results.empty()) {
    if (s.cursorType == SQL_CURSOR_KEYSET_DRIVEN || s.cursorType == SQL_CURSOR_DYNAMIC)
      s.warn("01S02", "Option value changed: cursor type changed to static");
    s.effectiveCursor = s.cursorType == SQL_CURSOR_FORWARD_ONLY ? SQL_CURSOR_FORWARD_ONLY : SQL_CURSOR_STATIC;
    s.effectiveConcurrency = SQL_CONCUR_READ_ONLY;
    // A forward-only request still gets the materialised rows; fetching treats them in order.
    PendingResult first = std::move(results.front());
    results.erase(results.begin());
    setResult(s, std::move(first.result), std::move(first.cols));
    for (auto& r : results) s.pending.push_back(std::move(r));
  }
  return SQL_SUCCESS;
}

}  // namespace kxodbc
