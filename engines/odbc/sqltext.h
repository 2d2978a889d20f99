// Lexical work on SQL text: tokens, ODBC escape clauses, statement shapes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engines/odbc/driver.h"

namespace kxodbc {

enum class TokKind { Word, QuotedIdent, String, Number, Marker, Punct, Space, Comment, Blob };

struct Token {
  TokKind kind;
  size_t pos;
  size_t len;
  std::string_view text;
  bool is(std::string_view kw) const;  // keyword compare, ignoring case
  std::string ident() const;           // identifier without quotes
};

std::vector<Token> tokenize(std::string_view sql);
// Tokens without blanks and comments.
std::vector<Token> significant(std::string_view sql);

// The parts of a procedure call escape or CALL statement.
struct CallSyntax {
  bool isCall = false;
  bool hasReturnMarker = false;  // {? = call ...}
  std::string procName;
  std::vector<std::string> args;  // argument texts; "?" for a marker
};

// Rewrites ODBC escape clauses ({d}, {t}, {ts}, {fn}, {oj}, {escape}) into SQLite syntax and
// recognises {call}; collects test hooks from /*+KX ...*/ comments.
std::string translateEscapes(std::string_view sql, Hooks* hooks, CallSyntax* call);

// Number of parameter markers ("?") outside literals and comments.
int countMarkers(std::string_view sql);

// First keyword of the statement, upper-case ("SELECT", "INSERT", "WITH", ...).
std::string leadingKeyword(std::string_view sql);

// Position of the FROM that ends the select list of a top-level SELECT, or npos. Fails for
// SELECT DISTINCT and compound statements, where an extra column would change the rows.
size_t selectListEnd(std::string_view sql);

// "... WHERE CURRENT OF name": position of CURRENT and the cursor name.
bool findCurrentOf(std::string_view sql, size_t& currentPos, std::string& cursorName);

// Splits a text into statements at top-level semicolons; empty statements are dropped.
std::vector<std::string> splitStatements(std::string_view sql);

// Parses a CALL statement text: "name(args)" or "name args" (after CALL / within {call}).
bool parseCall(std::string_view text, CallSyntax& call);

}  // namespace kxodbc
