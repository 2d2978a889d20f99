// Locale-aware comparison and case mapping of framework text (UTF-8), through ICU.
// The collation is that of the locale from the environment; comparisons ignoring case use
// secondary strength.
#pragma once

#include <string>
#include <string_view>

namespace host {

// <0, 0, >0 like strcmp, by the user locale's collation.
int AnsiCompareStr(std::string_view a, std::string_view b);
// The same, ignoring case.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);

// Byte-wise comparisons and ASCII-only case mapping (the non-locale forms).
int CompareStr(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

}  // namespace host
