// A small assembler for expression buffers, so that tests can state buffers with readable
// offsets:
//   nodes:    records separated by "|", offsets counted from the start of the node area:
//             U op a | B op a b | P op ci plen a b | F num name | C type size offset
//             | L elem next | K op a (continue) | N class op operands... (any node)
//   literals: 'text' (raw bytes), z (a NUL), i2:N i4:N (little-endian integers), x:HEX,
//             d:X and t:X (8-byte doubles), c:N (8-byte integer), b:0 / b:1 (2-byte Boolean)
// The header is derived from the two parts' sizes. Operator and type numbers are those of
// the buffer format, spelled out here independently of the library's enumerations.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kxtest {

using Bytes = std::vector<std::uint8_t>;

// Operator and type numbers as the buffer format defines them (independent of the enums).
inline const std::map<std::string, int> kOps = {
    {"ISBLANK", 1}, {"NOTBLANK", 2}, {"EQ", 3},   {"NE", 4},   {"GT", 5},   {"LT", 6},
    {"GE", 7},      {"LE", 8},       {"NOT", 9},  {"AND", 10}, {"OR", 11},  {"ADD", 16},
    {"SUB", 17},    {"MUL", 18},     {"DIV", 19}, {"LIKE", 30}, {"IN", 31}, {"ASSIGN", 37},
    {"MINUS", 15},  {"MOD", 20},     {"REM", 21}, {"SUM", 22},  {"MIN", 24}, {"MAX", 25},
    {"AVG", 26},    {"CONTINUE2", 29}, {"UPPER", 33}, {"LOWER", 34}, {"FIELD2", 13}, {"CONST2", 14}};
inline const std::map<std::string, int> kTypes = {
    {"ftString", 1}, {"ftSmallint", 2}, {"ftInteger", 3}, {"ftWord", 4},   {"ftBoolean", 5},
    {"ftFloat", 6},  {"ftBCD", 8},      {"ftDate", 9},    {"ftTime", 10}, {"ftDateTime", 11},
    {"ftAutoInc", 14}, {"ftUnknown", 0}, {"ftLargeint", 25}};

inline void Put16(Bytes& b, long v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

inline Bytes AssembleNodes(const std::string& text) {
  Bytes out;
  std::stringstream records(text);
  std::string record;
  while (std::getline(records, record, '|')) {
    std::stringstream in(record);
    std::string kind;
    in >> kind;
    if (kind.empty()) continue;
    auto op = [&] {
      std::string name;
      in >> name;
      return kOps.at(name);
    };
    auto num = [&] {
      long v;
      in >> v;
      return v;
    };
    if (kind == "U") {
      out.push_back(1), out.push_back(static_cast<std::uint8_t>(op())), Put16(out, num());
    } else if (kind == "B") {
      out.push_back(2), out.push_back(static_cast<std::uint8_t>(op()));
      Put16(out, num()), Put16(out, num());
    } else if (kind == "P") {
      out.push_back(3), out.push_back(static_cast<std::uint8_t>(op()));
      for (int i = 0; i < 4; ++i) Put16(out, num());
    } else if (kind == "F") {
      out.push_back(4), out.push_back(13), Put16(out, num()), Put16(out, num());
    } else if (kind == "C") {
      std::string type;
      in >> type;
      out.push_back(5), out.push_back(14), Put16(out, kTypes.count(type) ? kTypes.at(type) : std::stoi(type)), Put16(out, num()), Put16(out, num());
    } else if (kind == "K") {
      out.push_back(7), out.push_back(static_cast<std::uint8_t>(op())), Put16(out, num());
    } else if (kind == "N") {
      out.push_back(static_cast<std::uint8_t>(num())), out.push_back(static_cast<std::uint8_t>(num()));
      long v;
      while (in >> v) Put16(out, v);
    } else if (kind == "L") {
      out.push_back(11), out.push_back(36), Put16(out, num()), Put16(out, num());
    } else {
      ADD_FAILURE() << "bad node record " << record;
    }
  }
  return out;
}

inline Bytes AssembleLiterals(const std::string& text) {
  Bytes out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
    } else if (text[i] == '\'') {
      const std::size_t end = text.find('\'', i + 1);
      out.insert(out.end(), text.begin() + static_cast<long>(i) + 1, text.begin() + static_cast<long>(end));
      i = end + 1;
    } else {
      std::size_t end = text.find(' ', i);
      if (end == std::string::npos) end = text.size();
      const std::string tok = text.substr(i, end - i);
      i = end;
      auto arg = tok.substr(tok.find(':') + 1);
      auto le = [&](std::uint64_t v, int n) {
        for (int k = 0; k < n; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
      };
      if (tok == "z") {
        out.push_back(0);
      } else if (tok.rfind("i2:", 0) == 0) {
        le(static_cast<std::uint64_t>(std::stoll(arg)), 2);
      } else if (tok.rfind("i4:", 0) == 0) {
        le(static_cast<std::uint64_t>(std::stoll(arg)), 4);
      } else if (tok.rfind("c:", 0) == 0) {
        le(static_cast<std::uint64_t>(std::stoll(arg)), 8);
      } else if (tok.rfind("b:", 0) == 0) {
        le(static_cast<std::uint64_t>(std::stoll(arg)), 2);
      } else if (tok.rfind("d:", 0) == 0 || tok.rfind("t:", 0) == 0) {
        const double d = std::stod(arg);
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        le(bits, 8);
      } else if (tok.rfind("x:", 0) == 0) {
        for (std::size_t k = 0; k + 1 < arg.size(); k += 2)
          out.push_back(static_cast<std::uint8_t>(std::stoul(arg.substr(k, 2), nullptr, 16)));
      } else {
        ADD_FAILURE() << "bad literal token " << tok;
      }
    }
  }
  return out;
}

inline Bytes Assemble(const std::string& nodes, const std::string& literals) {
  const Bytes n = AssembleNodes(nodes);
  const Bytes l = AssembleLiterals(literals);
  Bytes out;
  Put16(out, 2);
  Put16(out, static_cast<long>(10 + n.size() + l.size()));
  Put16(out, 0xFFFF);
  Put16(out, 10);
  Put16(out, static_cast<long>(10 + n.size()));
  out.insert(out.end(), n.begin(), n.end());
  out.insert(out.end(), l.begin(), l.end());
  return out;
}

inline std::string Hex(const Bytes& b) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", b[i]);
    s += buf;
    s += (i + 1) % 16 == 0 ? "\n" : " ";
  }
  return s;
}

}  // namespace kxtest
