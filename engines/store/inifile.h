// A small reader and writer for the stores' ini-style files ([section], key=value, comments
// starting with '#' or ';').
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kxstore {

struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;  // in file order
};

struct IniDocument {
  std::vector<IniSection> sections;  // in file order
};

enum class IniParse { ok, damaged };

// Parses `text`. With exactValues a value is everything after the first '=' (only a trailing
// CR is dropped), so blanks at the ends of paths survive; otherwise blanks around keys and
// values are trimmed, as hand-edited ODBC files expect. A line that is neither blank, comment,
// section nor key=value, a key before the first section, an unterminated section header or a
// NUL byte makes the text damaged.
IniParse parseIni(std::string_view text, bool exactValues, IniDocument& out);

// Formats a document; `header` (may be empty) is written first as comment lines.
std::string formatIni(const IniDocument& doc, std::string_view header);

}  // namespace kxstore
