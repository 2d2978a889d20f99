#include "engines/odbc/sqltext.h"

#include <cctype>

namespace kxodbc {

namespace {

bool identStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool identChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

size_t skipQuoted(std::string_view s, size_t i, char close) {
  // i at the opening quote; returns index past the closing one (doubled quotes stay inside).
  size_t j = i + 1;
  while (j < s.size()) {
    if (s[j] == close) {
      if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
        j += 2;
        continue;
      }
      return j + 1;
    }
    ++j;
  }
  return s.size();
}

}  // namespace

bool Token::is(std::string_view kw) const { return kind == TokKind::Word && iequals(text, kw); }

std::string Token::ident() const {
  if (kind == TokKind::QuotedIdent && text.size() >= 2) {
    char q = text[0];
    char close = q == '[' ? ']' : q;
    std::string out;
    for (size_t k = 1; k + 1 < text.size(); ++k) {
      out += text[k];
      if (text[k] == close && k + 2 < text.size() && text[k + 1] == close) ++k;
    }
    return out;
  }
  return std::string(text);
}

std::vector<Token> tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  auto push = [&](TokKind k, size_t start, size_t end) { out.push_back({k, start, end - start, s.substr(start, end - start)}); };
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t start = i;
    if (std::isspace(c)) {
      while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
      push(TokKind::Space, start, i);
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      push(TokKind::Comment, start, i);
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      i = e == std::string_view::npos ? s.size() : e + 2;
      push(TokKind::Comment, start, i);
    } else if (c == '\'') {
      i = skipQuoted(s, i, '\'');
      push(TokKind::String, start, i);
    } else if ((c == 'x' || c == 'X') && i + 1 < s.size() && s[i + 1] == '\'') {
      i = skipQuoted(s, i + 1, '\'');
      push(TokKind::Blob, start, i);
    } else if (c == '"' || c == '`') {
      i = skipQuoted(s, i, static_cast<char>(c));
      push(TokKind::QuotedIdent, start, i);
    } else if (c == '[') {
      i = skipQuoted(s, i, ']');
      push(TokKind::QuotedIdent, start, i);
    } else if (c == '?') {
      ++i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      push(TokKind::Marker, start, i);
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.')) {
        if ((s[i] == 'e' || s[i] == 'E') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) ++i;
        ++i;
      }
      push(TokKind::Number, start, i);
    } else if (identStart(c)) {
      while (i < s.size() && identChar(static_cast<unsigned char>(s[i]))) ++i;
      push(TokKind::Word, start, i);
    } else {
      // Two-character operators stay together.
      static const char* two[] = {"<=", ">=", "<>", "!=", "==", "||", "<<", ">>"};
      size_t len = 1;
      for (const char* t : two)
        if (s.substr(i, 2) == t) len = 2;
      i += len;
      push(TokKind::Punct, start, i);
    }
  }
  return out;
}

std::vector<Token> significant(std::string_view sql) {
  std::vector<Token> all = tokenize(sql), out;
  for (auto& t : all)
    if (t.kind != TokKind::Space && t.kind != TokKind::Comment) out.push_back(t);
  return out;
}

int countMarkers(std::string_view sql) {
  int n = 0;
  for (auto& t : tokenize(sql))
    if (t.kind == TokKind::Marker) ++n;
  return n;
}

std::string leadingKeyword(std::string_view sql) {
  for (auto& t : tokenize(sql)) {
    if (t.kind == TokKind::Space || t.kind == TokKind::Comment) continue;
    if (t.kind == TokKind::Punct && (t.text == "(" || t.text == "{")) continue;
    if (t.kind == TokKind::Word) return upper(t.text);
    return {};
  }
  return {};
}

bool parseCall(std::string_view text, CallSyntax& call) {
  auto toks = significant(text);
  size_t k = 0;
  if (k < toks.size() && toks[k].is("CALL")) ++k;
  if (k >= toks.size() || (toks[k].kind != TokKind::Word && toks[k].kind != TokKind::QuotedIdent)) return false;
  call.procName = toks[k].ident();
  ++k;
  // Schema-qualified names: keep the last part.
  while (k + 1 < toks.size() && toks[k].text == ".") {
    call.procName = toks[k + 1].ident();
    k += 2;
  }
  call.args.clear();
  if (k >= toks.size()) return true;
  bool paren = toks[k].text == "(";
  if (paren) ++k;
  size_t argStart = k < toks.size() ? toks[k].pos : text.size();
  int depth = 0;
  for (; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.text == "(") ++depth;
    if (t.text == ")" && depth > 0) {
      --depth;
      continue;
    }
    bool end = paren && t.text == ")" && depth == 0;
    if ((t.text == "," && depth == 0) || end) {
      std::string a(text.substr(argStart, t.pos - argStart));
      while (!a.empty() && std::isspace(static_cast<unsigned char>(a.back()))) a.pop_back();
      while (!a.empty() && std::isspace(static_cast<unsigned char>(a.front()))) a.erase(0, 1);
      if (!a.empty() || t.text == ",") call.args.push_back(a);
      argStart = t.pos + 1;
      if (end) {
        // Nothing but a semicolon may follow.
        for (size_t r = k + 1; r < toks.size(); ++r)
          if (toks[r].text != ";") return false;
        return true;
      }
    }
  }
  if (paren) return false;
  std::string a(text.substr(argStart));
  while (!a.empty() && (std::isspace(static_cast<unsigned char>(a.back())) || a.back() == ';')) a.pop_back();
  while (!a.empty() && std::isspace(static_cast<unsigned char>(a.front()))) a.erase(0, 1);
  if (!a.empty()) call.args.push_back(a);
  return true;
}

std::string translateEscapes(std::string_view sql, Hooks* hooks, CallSyntax* call) {
  std::vector<Token> toks = tokenize(sql);
  std::string out;
  out.reserve(sql.size());
  // Stack of open escapes: what to emit at the matching '}'.
  std::vector<std::string> closers;
  for (size_t k = 0; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.kind == TokKind::Comment && hooks && t.text.substr(0, 5) == "/*+KX") {
      std::string body(t.text.substr(5, t.text.size() - 7));
      size_t p = 0;
      while (p < body.size()) {
        while (p < body.size() && std::isspace(static_cast<unsigned char>(body[p]))) ++p;
        size_t e = p;
        while (e < body.size() && !std::isspace(static_cast<unsigned char>(body[e]))) ++e;
        std::string item = body.substr(p, e - p);
        p = e;
        size_t eq = item.find('=');
        std::string key = upper(item.substr(0, eq));
        std::string val = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (key == "EXEC_INFO") hooks->execInfo = val;
        else if (key == "FETCH_INFO") hooks->fetchInfo = val;
        else if (key == "PRIOR_INFO") hooks->priorInfo = val;
        else if (key == "READ_ONLY") hooks->readOnly = true;
        else if (key == "PRECISION_ZERO") hooks->precisionZero = true;
      }
      out += ' ';
      continue;
    }
    if (t.kind == TokKind::Punct && t.text == "{") {
      // Find the escape keyword.
      size_t j = k + 1;
      while (j < toks.size() && toks[j].kind == TokKind::Space) ++j;
      if (j >= toks.size()) {
        out += t.text;
        continue;
      }
      const Token& kw = toks[j];
      if (kw.is("d") || kw.is("t") || kw.is("ts")) {
        closers.push_back("");
        k = j;
        continue;
      }
      if (kw.is("fn") || kw.is("oj")) {
        closers.push_back("");
        k = j;
        continue;
      }
      if (kw.is("escape")) {
        closers.push_back("");
        out += " ESCAPE";
        k = j;
        continue;
      }
      if (kw.is("call") || (kw.kind == TokKind::Marker)) {
        // Procedure call: the whole escape becomes the call description.
        bool ret = kw.kind == TokKind::Marker;
        size_t close = sql.rfind('}');
        if (close == std::string_view::npos || close < kw.pos) fail("42000", "Syntax error in procedure call escape");
        std::string_view inner = sql.substr(kw.pos, close - kw.pos);
        if (ret) {
          size_t eq = inner.find('=');
          if (eq == std::string_view::npos) fail("42000", "Syntax error in procedure call escape");
          inner.remove_prefix(eq + 1);
        }
        CallSyntax c;
        c.isCall = true;
        c.hasReturnMarker = ret;
        if (!parseCall(inner, c)) fail("42000", "Syntax error in procedure call escape");
        for (size_t r = close + 1; r < sql.size(); ++r)
          if (!std::isspace(static_cast<unsigned char>(sql[r])) && sql[r] != ';') fail("42000", "Text after procedure call escape");
        if (call) *call = c;
        return std::string(sql);
      }
      out += t.text;
      continue;
    }
    if (t.kind == TokKind::Punct && t.text == "}" && !closers.empty()) {
      out += closers.back();
      closers.pop_back();
      continue;
    }
    out += t.text;
  }
  if (call && !call->isCall) {
    // A plain CALL statement works like the escape.
    auto sig = significant(out);
    if (!sig.empty() && sig[0].is("CALL")) {
      CallSyntax c;
      c.isCall = true;
      if (!parseCall(out, c)) fail("42000", "Syntax error in CALL statement");
      *call = c;
    }
  }
  return out;
}

size_t selectListEnd(std::string_view sql) {
  auto toks = significant(sql);
  if (toks.empty() || !toks[0].is("SELECT")) return std::string_view::npos;
  if (toks.size() > 1 && (toks[1].is("DISTINCT"))) return std::string_view::npos;
  int depth = 0;
  size_t from = std::string_view::npos;
  for (size_t k = 1; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.text == "(") ++depth;
    else if (t.text == ")") --depth;
    else if (depth == 0) {
      if (t.is("FROM") && from == std::string_view::npos) from = t.pos;
      if (t.is("UNION") || t.is("INTERSECT") || t.is("EXCEPT")) return std::string_view::npos;
    }
  }
  return from;
}

bool findCurrentOf(std::string_view sql, size_t& currentPos, std::string& cursorName) {
  auto toks = significant(sql);
  size_t n = toks.size();
  while (n > 0 && toks[n - 1].text == ";") --n;
  if (n < 4) return false;
  if (toks[n - 4].is("WHERE") && toks[n - 3].is("CURRENT") && toks[n - 2].is("OF") &&
      (toks[n - 1].kind == TokKind::Word || toks[n - 1].kind == TokKind::QuotedIdent)) {
    currentPos = toks[n - 3].pos;
    cursorName = toks[n - 1].ident();
    return true;
  }
  return false;
}

std::vector<std::string> splitStatements(std::string_view sql) {
  std::vector<std::string> out;
  auto toks = tokenize(sql);
  size_t start = 0;
  int depth = 0;       // BEGIN ... END of triggers keep their semicolons
  bool trigger = false;
  auto flush = [&](size_t end) {
    std::string_view part = sql.substr(start, end - start);
    bool any = false;
    for (auto& t : tokenize(part))
      if (t.kind != TokKind::Space && t.kind != TokKind::Comment) any = true;
    if (any) out.emplace_back(part);
  };
  for (size_t k = 0; k < toks.size(); ++k) {
    const Token& t = toks[k];
    if (t.is("TRIGGER")) trigger = true;
    if (trigger && t.is("BEGIN")) ++depth;
    if (trigger && t.is("END") && depth > 0) {
      --depth;
      if (depth == 0) trigger = false;
    }
    if (t.kind == TokKind::Punct && t.text == ";" && depth == 0) {
      flush(t.pos);
      start = t.pos + 1;
      trigger = false;
    }
  }
  flush(sql.size());
  return out;
}

}  // namespace kxodbc
