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

// Converts between any two code pages iconv knows, with "?" for what cannot be converted.
// Raises EConvertError when iconv does not know one of the names.
std::string ConvertCodePage(std::string_view text, std::string_view from, std::string_view to);

}  // namespace host
