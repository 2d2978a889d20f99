// Pattern: matching names against patterns with the wildcards "*" and "?".
//
// The sessions filter the table names they list with these functions. The matcher scans the
// pattern segment by segment; it is deliberately not a backtracking shell-style matcher, and
// the places where it differs from one are part of its behaviour (see docs/common-filter.md):
//   - a pattern without "*" matches as a suffix: "BC" matches "ABC", "ABC" does not match "ABCD";
//   - a segment after a "*" is matched at its first occurrence, so "A*B" does not match "ABB";
//   - a trailing "?" may stand for no character at all ("A?" matches "A");
//   - "?" right after a "*" only requires that many characters before the next segment.
// Characters are Unicode characters of the UTF-8 texts; a byte that is not part of a
// well-formed UTF-8 sequence counts as one character of its own.
#pragma once

#include <string_view>

namespace kx {

// True when Text matches Pattern. Unless CaseSensitive, both are compared in the user
// locale's upper case.
bool IsConfirmCase(std::string_view Pattern, std::string_view Text, bool CaseSensitive);

// IsConfirmCase ignoring case.
bool IsConfirm(std::string_view Pattern, std::string_view Text);

}  // namespace kx
