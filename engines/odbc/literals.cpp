// Literal round trips. Clients that write values back as SQL literals (a WHERE list of every
// column, a SET list) print them in forms SQLite would not match against the stored values:
// binary values as hexadecimal text, time stamps without their fraction, floating-point values
// with fewer digits than stored. The driver rewrites those comparisons and assignments, for
// columns whose type it knows, into forms that match:
//   bin = '01000AFF'            ->  bin = X'01000AFF'            (also in SET and VALUES)
//   ts = '2001-02-03 04:05:06'  ->  substr(ts, 1, 19) = '...'   (the second the literal names)
//   r = 1.10000002384186        ->  abs(r - (1.10000002384186)) <= 1e-6 * abs(1.10000002384186)
//   d = 0.3                     ->  the same with 1e-13 for double precision
#include "engines/odbc/literals.h"

#include <algorithm>
#include <cctype>

#include "engines/odbc/metadata.h"
#include "engines/odbc/sqltext.h"

namespace kxodbc {

namespace {

bool isHexText(std::string_view lit) {
  // lit includes its quotes
  if (lit.size() < 2) return false;
  std::string_view body = lit.substr(1, lit.size() - 2);
  if (body.empty() || body.size() % 2) return false;
  for (char c : body)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

bool isWholeSecond(std::string_view lit) {
  // 'YYYY-MM-DD HH:MM:SS'
  if (lit.size() != 21) return false;
  static const char* shape = "dddd-dd-dd dd:dd:dd";
  for (size_t k = 0; k < 19; ++k) {
    char c = lit[k + 1];
    if (shape[k] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != shape[k]) return false;
  }
  return true;
}

struct Rewriter {
  Dbc& dbc;
  const std::vector<std::string>& tables;

  SQLSMALLINT columnType(const std::string& name) {
    for (const auto& t : tables) {
      const kxstore::TableDef* def = tableDef(dbc, t);
      if (!def) continue;
      if (const kxstore::ColumnDef* c = def->findColumn(name)) return typeFromColumn(*c, nullptr).sqlType;
    }
    return 0;
  }
};

bool isIdentTok(const Token& t) { return t.kind == TokKind::QuotedIdent || t.kind == TokKind::Word; }

}  // namespace

std::string rewriteLiterals(Dbc& dbc, const std::string& sql, const std::vector<std::string>& tables) {
  if (tables.empty()) return sql;
  auto toks = significant(sql);
  if (toks.empty()) return sql;
  std::string verb = upper(toks[0].text);
  if (verb != "SELECT" && verb != "UPDATE" && verb != "DELETE" && verb != "INSERT") return sql;
  Rewriter rw{dbc, tables};
  // Replacements as (position, length, text), applied back to front.
  struct Edit {
    size_t pos, len;
    std::string text;
  };
  std::vector<Edit> edits;
  bool inSet = false;
  for (size_t k = 0; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.is("SET")) inSet = true;
    if (t.is("WHERE") || t.is("FROM")) inSet = false;
    if (t.text != "=" && t.text != "<>" && t.text != "!=") continue;
    if (k == 0 || k + 1 >= toks.size()) continue;
    // column = literal, or literal = column (comparisons only)
    size_t colIdx = k - 1, litIdx = k + 1;
    bool colFirst = true;
    if (!isIdentTok(toks[colIdx]) || toks[colIdx].is("NULL")) {
      colIdx = k + 1;
      litIdx = k - 1;
      colFirst = false;
      if (!isIdentTok(toks[colIdx]) || inSet) continue;
    }
    // Qualified names: the column is the last part.
    const Token& col = toks[colIdx];
    if (!colFirst && colIdx + 2 < toks.size() && toks[colIdx + 1].text == ".") continue;
    SQLSMALLINT type = rw.columnType(col.ident());
    if (!type) continue;
    const Token& lit = toks[litIdx];
    if (type == SQL_BINARY || type == SQL_VARBINARY) {
      if (lit.kind == TokKind::String && isHexText(lit.text)) edits.push_back({lit.pos, 1, "X'"});
      continue;
    }
    if (inSet || t.text != "=") continue;
    if (type == SQL_TYPE_TIMESTAMP && lit.kind == TokKind::String && isWholeSecond(lit.text)) {
      edits.push_back({col.pos, col.len, "substr(" + std::string(col.text) + ", 1, 19)"});
      continue;
    }
    if ((type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE) && colFirst) {
      // column = [-]number, nothing arithmetic around it
      size_t end = litIdx;
      std::string number;
      if (toks[end].text == "-" && end + 1 < toks.size() && toks[end + 1].kind == TokKind::Number) {
        number = "-" + std::string(toks[end + 1].text);
        ++end;
      } else if (toks[end].kind == TokKind::Number) {
        number = std::string(toks[end].text);
      } else {
        continue;
      }
      if (end + 1 < toks.size()) {
        const Token& after = toks[end + 1];
        if (after.kind == TokKind::Punct && after.text != ")" && after.text != ",") continue;
      }
      if (colIdx > 0 && toks[colIdx - 1].kind == TokKind::Punct && toks[colIdx - 1].text != "(" &&
          toks[colIdx - 1].text != ",")
        continue;
      const char* tolerance = type == SQL_REAL ? "1e-6" : "1e-13";
      size_t start = col.pos;
      size_t stop = toks[end].pos + toks[end].len;
      std::string c(col.text);
      edits.push_back({start, stop - start,
                       "(abs(" + c + " - (" + number + ")) <= " + tolerance + " * abs(" + number + "))"});
    }
  }
  // INSERT INTO t (cols) VALUES ('hex', ...): hexadecimal text into binary columns.
  if (verb == "INSERT") {
    size_t k = 1;
    while (k < toks.size() && !toks[k].is("INTO")) ++k;
    if (k + 2 < toks.size() && toks[k + 2].text == "(") {
      std::vector<std::string> cols;
      size_t j = k + 3;
      for (; j < toks.size() && toks[j].text != ")"; ++j)
        if (isIdentTok(toks[j])) cols.push_back(toks[j].ident());
      ++j;
      if (j + 1 < toks.size() && toks[j].is("VALUES") && toks[j + 1].text == "(") {
        size_t item = 0;
        int depth = 0;
        for (size_t v = j + 2; v < toks.size(); ++v) {
          if (toks[v].text == "(") ++depth;
          if (toks[v].text == ")") {
            if (depth == 0) break;
            --depth;
          }
          if (toks[v].text == "," && depth == 0) {
            ++item;
            continue;
          }
          if (toks[v].kind == TokKind::String && depth == 0 && item < cols.size() && isHexText(toks[v].text)) {
            bool alone = (toks[v - 1].text == "(" || toks[v - 1].text == ",") && v + 1 < toks.size() &&
                         (toks[v + 1].text == "," || toks[v + 1].text == ")");
            SQLSMALLINT type = rw.columnType(cols[item]);
            if (alone && (type == SQL_BINARY || type == SQL_VARBINARY)) edits.push_back({toks[v].pos, 1, "X'"});
          }
        }
      }
    }
  }
  if (edits.empty()) return sql;
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.pos > b.pos; });
  std::string out = sql;
  for (const auto& e : edits) out.replace(e.pos, e.len, e.text);
  return out;
}

}  // namespace kxodbc
