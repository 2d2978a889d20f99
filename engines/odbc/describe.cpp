// SQLDescribeParam: SQLite does not type parameter markers, so the driver reads the type off the
// column a marker is compared with, assigned to or inserted into.
#include <set>

#include "engines/odbc/metadata.h"
#include "engines/odbc/program.h"

namespace kxodbc {

namespace {

bool isKeyword(const Token& t) {
  static const std::set<std::string> kw = {"AND", "OR", "NOT", "WHERE", "SET", "ON", "SELECT", "VALUES", "FROM",
                                           "BY", "HAVING", "WHEN", "THEN", "ELSE", "CASE", "IN", "IS", "LIKE",
                                           "BETWEEN", "NULL", "LIMIT", "OFFSET", "AS", "JOIN", "INTO", "RETURN"};
  return t.kind == TokKind::Word && kw.count(upper(t.text)) > 0;
}

bool isIdent(const Token& t) { return (t.kind == TokKind::Word && !isKeyword(t)) || t.kind == TokKind::QuotedIdent; }

bool isCompare(const Token& t) {
  static const std::set<std::string> ops = {"=", "==", "<>", "!=", "<", ">", "<=", ">="};
  return (t.kind == TokKind::Punct && ops.count(std::string(t.text))) || t.is("LIKE") || t.is("GLOB");
}

// Column name ending at index k (possibly qualified a.b); empty when there is none.
std::string identBefore(const std::vector<Token>& t, long k) {
  if (k < 0 || !isIdent(t[static_cast<size_t>(k)])) return {};
  return t[static_cast<size_t>(k)].ident();
}

std::string identAfter(const std::vector<Token>& t, size_t k) {
  if (k >= t.size() || !isIdent(t[k])) return {};
  // a.b: the column is the last part.
  while (k + 2 < t.size() && t[k + 1].text == "." && isIdent(t[k + 2])) k += 2;
  return t[k].ident();
}

bool resolve(Dbc& dbc, const std::vector<std::string>& tables, const std::string& column, ParamInfo& out) {
  for (const auto& table : tables) {
    const kxstore::TableDef* def = tableDef(dbc, table);
    if (!def) continue;
    const kxstore::ColumnDef* c = def->findColumn(column);
    if (!c) continue;
    SqlTypeDesc t = typeFromColumn(*c, nullptr);
    out.sqlType = t.sqlType;
    out.size = t.size;
    out.digits = t.digits;
    out.nullable = (c->flags & kxstore::kColumnRequired) ? SQL_NO_NULLS : SQL_NULLABLE;
    return true;
  }
  return false;
}

// Column a marker at index k relates to.
std::string columnFor(const std::vector<Token>& t, size_t k) {
  long i = static_cast<long>(k) - 1;
  if (i >= 0 && isCompare(t[static_cast<size_t>(i)])) {
    std::string c = identBefore(t, i - 1);
    if (!c.empty()) return c;
  }
  if (k + 1 < t.size() && isCompare(t[k + 1])) {
    std::string c = identAfter(t, k + 2);
    if (!c.empty()) return c;
  }
  // x BETWEEN ? AND ?, x IN (?, ?)
  int depth = 0;
  for (long j = i; j >= 0; --j) {
    const Token& tk = t[static_cast<size_t>(j)];
    if (tk.text == ")") ++depth;
    if (tk.text == "(") {
      if (depth == 0) {
        if (j >= 1 && t[static_cast<size_t>(j - 1)].is("IN")) {
          long q = j - 2;
          if (q >= 0 && t[static_cast<size_t>(q)].is("NOT")) --q;
          return identBefore(t, q);
        }
        return {};
      }
      --depth;
    }
    if (depth == 0 && tk.is("BETWEEN")) {
      long q = j - 1;
      if (q >= 0 && t[static_cast<size_t>(q)].is("NOT")) --q;
      return identBefore(t, q);
    }
    if (depth == 0 && (tk.is("WHERE") || tk.is("SET") || tk.is("OR") || tk.is("SELECT") || isCompare(tk))) break;
    if (depth == 0 && tk.is("AND") && (j < 2 || !(t[static_cast<size_t>(j - 2)].is("BETWEEN")))) break;
  }
  return {};
}

// INSERT INTO t [(c1, ...)] VALUES (...): the column each marker goes to.
void insertColumns(Dbc& dbc, const std::vector<Token>& t, std::vector<std::string>& out) {
  size_t k = 0;
  if (k < t.size() && (t[k].is("INSERT") || t[k].is("REPLACE"))) ++k;
  else return;
  while (k < t.size() && !t[k].is("INTO")) ++k;
  if (++k >= t.size()) return;
  std::string table = t[k].ident();
  ++k;
  std::vector<std::string> cols;
  if (k < t.size() && t[k].text == "(") {
    ++k;
    while (k < t.size() && t[k].text != ")") {
      if (isIdent(t[k])) cols.push_back(t[k].ident());
      ++k;
    }
    ++k;
  } else if (const kxstore::TableDef* def = tableDef(dbc, table)) {
    for (const auto& c : def->columns) cols.push_back(c.name);
  }
  if (k >= t.size() || !t[k].is("VALUES")) return;
  ++k;
  if (k >= t.size() || t[k].text != "(") return;
  ++k;
  int depth = 0;
  size_t item = 0;
  for (; k < t.size(); ++k) {
    if (t[k].text == "(") ++depth;
    if (t[k].text == ")") {
      if (depth == 0) break;
      --depth;
    }
    if (t[k].text == "," && depth == 0) ++item;
    if (t[k].kind == TokKind::Marker) out.push_back(item < cols.size() ? cols[item] : std::string());
  }
}

}  // namespace

std::vector<ParamInfo> inferParams(Dbc& dbc, const Program& p) {
  std::vector<ParamInfo> out;
  if (p.kind == Program::Kind::Call) {
    std::vector<const ProcParam*> returns, params;
    for (const auto& pp : p.proc.params) (pp.direction == SQL_RETURN_VALUE ? returns : params).push_back(&pp);
    if (p.call.hasReturnMarker) {
      ParamInfo r = returns.empty() ? ParamInfo{} : returns[0]->type;
      r.direction = SQL_RETURN_VALUE;
      out.push_back(r);
    }
    for (size_t i = 0; i < p.call.args.size() && i < params.size(); ++i)
      if (p.call.args[i] == "?") out.push_back(params[i]->type);
    while (static_cast<int>(out.size()) < p.markers) out.push_back(ParamInfo{});
    return out;
  }
  for (const auto& part : p.parts) {
    auto toks = significant(part);
    std::vector<std::string> inserted;
    insertColumns(dbc, toks, inserted);
    size_t insertIdx = 0;
    for (size_t k = 0; k < toks.size(); ++k) {
      if (toks[k].kind != TokKind::Marker) continue;
      ParamInfo pi;
      std::string col = insertIdx < inserted.size() ? inserted[insertIdx++] : std::string();
      if (col.empty()) col = columnFor(toks, k);
      if (!col.empty()) resolve(dbc, p.tablesUsed, col, pi);
      out.push_back(pi);
    }
  }
  if (p.currentOf && !out.empty() && static_cast<int>(out.size()) > p.markers) out.resize(static_cast<size_t>(p.markers));
  while (static_cast<int>(out.size()) < p.markers) out.push_back(ParamInfo{});
  return out;
}

}  // namespace kxodbc
