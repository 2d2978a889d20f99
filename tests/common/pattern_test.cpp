#include "common/pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/rtl/locale.h"

namespace {

struct PatternCase {
  const char* pattern;
  const char* text;
  bool expected;
};

// The matcher's documented results, quirks included (suffix matching without "*", first
// occurrence of a floating segment, a trailing "?" that may match nothing).
const PatternCase kCases[] = {
    {"", "X", true},         {"*", "", true},          {"A", "", false},
    {"**", "", false},       {"*", "ABC", true},       {"A*", "ABC", true},
    {"A*", "A", true},       {"A*", "XAB", false},     {"AB*", "A", false},
    {"*C", "ABC", true},     {"*B", "ABC", false},     {"A*B", "AB", true},
    {"A*B", "ABB", false},   {"A*BC", "AXBC", true},   {"A*BC", "ABCBC", false},
    {"A*C*E", "ABCDE", true}, {"A*C*E", "ABCDEE", false}, {"*A*", "XAY", true},
    {"*A*", "XY", false},    {"ABC", "ABC", true},     {"ABC", "XABC", true},
    {"ABC", "XABCY", false}, {"ABC", "ABCD", false},   {"BC", "ABC", true},
    {"B", "ABC", false},     {"?", "A", true},         {"?", "AB", false},
    {"??", "AB", true},      {"?B", "AB", true},       {"?B", "B", false},
    {"A?", "AB", true},      {"A?", "A", true},        {"A??", "AB", false},
    {"A?C", "ABC", true},    {"A?C", "AC", false},     {"A?C", "XABC", true},
    {"A?*", "A", true},      {"?*", "ABC", true},      {"A*?C", "ABC", true},
    {"A*?C", "AC", false},   {"A*??C", "ABC", false},  {"A*??C", "ABBC", true},
    {"A*?B", "ABXB", false}, {"*?B", "AB", true},      {"*?B", "B", false},
    {"A**B", "AXB", true},   {"A*B?D", "AXBCD", true}, {"A*B?D", "AXBD", false},
    {"abc", "ABC", true},    {"ABC", "abc", true},
};

TEST(PatternTest, DocumentedResultsIgnoringCase) {
  for (const auto& c : kCases) {
    EXPECT_EQ(kx::IsConfirm(c.pattern, c.text), c.expected)
        << "pattern '" << c.pattern << "' text '" << c.text << "'";
  }
}

TEST(PatternTest, CaseSensitiveComparesExactly) {
  EXPECT_FALSE(kx::IsConfirmCase("Ab", "aB", true));
  EXPECT_TRUE(kx::IsConfirm("Ab", "aB"));
  EXPECT_TRUE(kx::IsConfirmCase("Ab*", "Abc", true));
  EXPECT_FALSE(kx::IsConfirmCase("ab*", "Abc", true));
  EXPECT_TRUE(kx::IsConfirmCase("*", "", true));
}

// "?" stands for one character, not one byte, and case folding covers letters beyond ASCII.
TEST(PatternTest, CountsUnicodeCharacters) {
  EXPECT_TRUE(kx::IsConfirm("?B", "\xC3\xA9" "B"));         // éB
  EXPECT_FALSE(kx::IsConfirm("??B", "\xC3\xA9" "B"));
  EXPECT_TRUE(kx::IsConfirm("\xC3\xA9*", "\xC3\x89" "COLE"));  // é* against ÉCOLE
  EXPECT_FALSE(kx::IsConfirmCase("\xC3\xA9*", "\xC3\x89" "COLE", true));
  EXPECT_TRUE(kx::IsConfirm("A?C", "A\xE2\x82\xAC" "C"));     // A€C
}

// Bytes that are not UTF-8 are characters of their own and never match a neighbour.
TEST(PatternTest, IllFormedBytesCompareExactly) {
  EXPECT_TRUE(kx::IsConfirmCase("A?C", "A\xFF" "C", true));
  EXPECT_TRUE(kx::IsConfirmCase("*\xFF", "AB\xFF", true));
  EXPECT_FALSE(kx::IsConfirmCase("*\xFE", "AB\xFF", true));
  EXPECT_TRUE(kx::IsConfirmCase("?C", "\xC3" "C", true));
}

// Long wildcard runs are normalised in one pass.
TEST(PatternTest, LongWildcardRuns) {
  std::string pattern;
  for (int i = 0; i < 3000; ++i) pattern += "?*";
  EXPECT_TRUE(kx::IsConfirm(pattern, "ABC"));
  const std::string text = std::string(60000, 'A') + "B";
  EXPECT_TRUE(kx::IsConfirm("A*B", text));
  // The first occurrence of a floating segment is taken, so a repeated one fails.
  EXPECT_FALSE(kx::IsConfirm("A*" + std::string(200, 'A'), std::string(60000, 'A')));
  EXPECT_FALSE(kx::IsConfirm(text + "B", text));
}

}  // namespace
