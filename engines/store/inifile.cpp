#include "engines/store/inifile.h"

namespace kxstore {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

IniParse parseIni(std::string_view text, bool exactValues, IniDocument& out) {
  out.sections.clear();
  if (text.find('\0') != std::string_view::npos) return IniParse::damaged;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::string_view t = trim(line);
    if (t.empty() || t.front() == '#' || t.front() == ';') continue;
    if (t.front() == '[') {
      if (t.back() != ']' || t.size() < 2) return IniParse::damaged;
      out.sections.push_back(IniSection{std::string(trim(t.substr(1, t.size() - 2))), {}});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || out.sections.empty()) return IniParse::damaged;
    const std::string_view key = trim(line.substr(0, eq));
    if (key.empty()) return IniParse::damaged;
    std::string_view value = line.substr(eq + 1);
    if (!exactValues) value = trim(value);
    out.sections.back().values.emplace_back(std::string(key), std::string(value));
  }
  return IniParse::ok;
}

std::string formatIni(const IniDocument& doc, std::string_view header) {
  std::string s;
  while (!header.empty()) {
    const auto nl = header.find('\n');
    s += "# ";
    s += header.substr(0, nl);
    s += '\n';
    header = nl == std::string_view::npos ? std::string_view{} : header.substr(nl + 1);
  }
  bool first = true;
  for (const auto& sec : doc.sections) {
    if (!first || !s.empty()) s += '\n';
    first = false;
    s += '[';
    s += sec.name;
    s += "]\n";
    for (const auto& [k, v] : sec.values) {
      s += k;
      s += '=';
      s += v;
      s += '\n';
    }
  }
  return s;
}

}  // namespace kxstore
