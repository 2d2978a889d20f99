// Code pages of 8-bit engine text.
//
// Framework text is UTF-8. Text handed to the engines is in the "system code page", the
// charset of the process locale (LC_ALL / LC_CTYPE / LANG); a UTF-8 locale, the C locale and an
// unset locale all mean UTF-8, for which the conversions are the identity. The OEM code page
// (CP850 by default) is the character set of engine data written with OEM translation.
//
// Conversions go through iconv. A character the target code page cannot hold becomes "?";
// a byte that is not valid in the source code page becomes "?" as well. Nothing is dropped
// silently and no conversion fails.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

// The iconv name of the system code page ("UTF-8" for the identity).
std::string GetSystemCodePage();
// Replaces the system code page; raises EConvertError when iconv does not know the name.
void SetSystemCodePage(std::string_view name);
// Framework text (UTF-8) to the system code page, and back.
std::string ToSystemCodePage(std::string_view text);
std::string FromSystemCodePage(std::string_view text);

// The iconv name of the OEM code page ("CP850" unless replaced).
std::string GetOemCodePage();
// Replaces the OEM code page; raises EConvertError when iconv does not know the name.
void SetOemCodePage(std::string_view name);
// Between system code page text and OEM text.
std::string SystemToOem(std::string_view text);
std::string OemToSystem(std::string_view text);

// Multi-byte characters of system code page text, for code that scans it byte by byte.
// True when a character of the system code page may take more than one byte (UTF-8 included).
bool SystemCodePageIsMultiByte();
// Length in bytes of the character of system code page text that starts at text[pos]: 1 for
// single-byte pages; for multi-byte pages the length of the (well-formed) character there, and
// 1 for a byte that starts none. 0 at or after the end.
std::size_t SystemCharLength(std::string_view text, std::size_t pos);

// Converts between any two code pages iconv knows, with "?" for what cannot be converted.
// Raises EConvertError when iconv does not know one of the names.
std::string ConvertCodePage(std::string_view text, std::string_view from, std::string_view to);

}  // namespace host
