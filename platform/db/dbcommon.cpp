#include "platform/db/dbcommon.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/db/dataset.h"
#include "platform/rtl/locale.h"

namespace host {

namespace {

enum class TokenKind { Name, Quoted, Literal, Number, Symbol };

struct Token {
  TokenKind Kind;
  std::string Text;
  int Depth;  // parenthesis depth the token stands at
};

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }
bool IsNamePart(unsigned char c) { return IsNameStart(c) || std::isdigit(c); }

// Splits SQL into tokens, skipping blanks and comments. Dotted names ("owner.table") are one
// token.
std::vector<Token> Tokenize(std::string_view SQL) {
  std::vector<Token> tokens;
  int depth = 0;
  std::size_t i = 0;
  const std::size_t n = SQL.size();
  auto readQuoted = [&](char close) {
    std::size_t j = i + 1;
    while (j < n) {
      if (SQL[j] == close) {
        if (close != ']' && j + 1 < n && SQL[j + 1] == close) {
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return n;
  };
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(SQL[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '-' && i + 1 < n && SQL[i + 1] == '-') {
      while (i < n && SQL[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && SQL[i + 1] == '*') {
      const std::size_t close = SQL.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
    } else if (c == '\'') {
      const std::size_t end = readQuoted('\'');
      tokens.push_back({TokenKind::Literal, std::string(SQL.substr(i, end - i)), depth});
      i = end;
    } else if (IsNameStart(c) || c == '"' || c == '[' || c == '`') {
      // A name of one or more dotted parts, each plain or quoted.
      const std::size_t start = i;
      bool quoted = false;
      for (;;) {
        const char p = SQL[i];
        if (p == '"' || p == '`') {
          i = readQuoted(p);
          quoted = true;
        } else if (p == '[') {
          i = readQuoted(']');
          quoted = true;
        } else {
          while (i < n && IsNamePart(static_cast<unsigned char>(SQL[i]))) ++i;
        }
        if (i + 1 < n && SQL[i] == '.' &&
            (IsNameStart(static_cast<unsigned char>(SQL[i + 1])) || SQL[i + 1] == '"' || SQL[i + 1] == '[' ||
             SQL[i + 1] == '`')) {
          ++i;
          continue;
        }
        break;
      }
      tokens.push_back({quoted ? TokenKind::Quoted : TokenKind::Name, std::string(SQL.substr(start, i - start)), depth});
    } else if (std::isdigit(c)) {
      const std::size_t start = i;
      while (i < n && (std::isdigit(static_cast<unsigned char>(SQL[i])) || SQL[i] == '.')) ++i;
      tokens.push_back({TokenKind::Number, std::string(SQL.substr(start, i - start)), depth});
    } else {
      if (c == ')') --depth;
      tokens.push_back({TokenKind::Symbol, std::string(1, static_cast<char>(c)), depth});
      if (c == '(') ++depth;
      ++i;
    }
  }
  return tokens;
}

bool Is(const Token& t, std::string_view Keyword) { return t.Kind == TokenKind::Name && SameText(t.Text, Keyword); }

bool IsClauseKeyword(const Token& t) {
  for (const char* k : {"WHERE", "GROUP", "HAVING", "ORDER", "UNION", "INTERSECT", "EXCEPT", "LIMIT", "FOR",
                        "SET", "VALUES", "SELECT", "WINDOW", "OFFSET", "FETCH"}) {
    if (Is(t, k)) return true;
  }
  return false;
}

bool IsJoinKeyword(const Token& t) {
  for (const char* k : {"JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "NATURAL", "OUTER"}) {
    if (Is(t, k)) return true;
  }
  return false;
}

}  // namespace

std::string GetTableNameFromSQL(std::string_view SQL) {
  const std::vector<Token> tokens = Tokenize(SQL);
  if (tokens.empty()) return {};
  std::size_t pos = tokens.size();
  const Token& first = tokens[0];
  if (Is(first, "SELECT") || Is(first, "DELETE")) {
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      if (tokens[i].Depth == 0 && Is(tokens[i], "FROM")) {
        pos = i + 1;
        break;
      }
    }
  } else if (Is(first, "UPDATE")) {
    pos = 1;
  } else if (Is(first, "INSERT")) {
    pos = tokens.size() > 1 && Is(tokens[1], "INTO") ? 2 : 1;
  }
  if (pos >= tokens.size()) return {};
  const Token& table = tokens[pos];
  if (table.Kind != TokenKind::Name && table.Kind != TokenKind::Quoted) return {};
  if (table.Kind == TokenKind::Name && (IsClauseKeyword(table) || IsJoinKeyword(table))) return {};
  if (Is(first, "SELECT") || Is(first, "DELETE")) {
    // An optional alias, then the clause must end: another table or a join makes it several.
    std::size_t next = pos + 1;
    if (next < tokens.size() && Is(tokens[next], "AS")) ++next;
    if (next < tokens.size() && (tokens[next].Kind == TokenKind::Name || tokens[next].Kind == TokenKind::Quoted) &&
        !IsClauseKeyword(tokens[next]) && !IsJoinKeyword(tokens[next])) {
      ++next;
    }
    if (next < tokens.size() && tokens[next].Depth == 0 &&
        ((tokens[next].Kind == TokenKind::Symbol && tokens[next].Text == ",") || IsJoinKeyword(tokens[next]))) {
      return {};
    }
  }
  return table.Text;
}

std::unique_ptr<TIndexDef> GetIndexForOrderBy(std::string_view SQL, TDataSet* DataSet) {
  const std::vector<Token> tokens = Tokenize(SQL);
  std::size_t pos = tokens.size();
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].Depth == 0 && Is(tokens[i], "ORDER") && Is(tokens[i + 1], "BY")) pos = i + 2;
  }
  if (pos >= tokens.size()) return nullptr;
  std::string fields;
  std::string descFields;
  bool allDescending = true;
  while (pos < tokens.size()) {
    const Token& item = tokens[pos];
    std::string name;
    if (item.Kind == TokenKind::Name || item.Kind == TokenKind::Quoted) {
      name = item.Text;
      // Only the column part of "table.column"; quotes go.
      const std::size_t dot = name.rfind('.');
      if (dot != std::string::npos) name = name.substr(dot + 1);
      if (name.size() >= 2 && (name.front() == '"' || name.front() == '[' || name.front() == '`')) {
        name = name.substr(1, name.size() - 2);
      }
    } else if (item.Kind == TokenKind::Number && DataSet != nullptr) {
      const int number = std::atoi(item.Text.c_str());
      if (number < 1 || number > DataSet->GetFieldCount()) return nullptr;
      name = DataSet->GetFields()->Fields(number - 1)->GetFieldName();
    } else {
      return nullptr;
    }
    ++pos;
    bool descending = false;
    if (pos < tokens.size() && (Is(tokens[pos], "ASC") || Is(tokens[pos], "DESC"))) {
      descending = Is(tokens[pos], "DESC");
      ++pos;
    }
    if (!fields.empty()) fields += ';';
    fields += name;
    if (descending) {
      if (!descFields.empty()) descFields += ';';
      descFields += name;
    } else {
      allDescending = false;
    }
    if (pos < tokens.size() && tokens[pos].Kind == TokenKind::Symbol && tokens[pos].Text == ",") {
      ++pos;
      continue;
    }
    if (pos < tokens.size() && !(Is(tokens[pos], "LIMIT") || Is(tokens[pos], "OFFSET") || Is(tokens[pos], "FETCH") ||
                                 Is(tokens[pos], "FOR") || (tokens[pos].Kind == TokenKind::Symbol && tokens[pos].Text == ";"))) {
      return nullptr;  // an expression, a collation or something else we cannot map to fields
    }
    break;
  }
  auto def = std::make_unique<TIndexDef>();
  def->SetFields(fields);
  def->SetDescFields(descFields);
  if (allDescending && !descFields.empty()) def->SetOptions({ixDescending});
  return def;
}

}  // namespace host
