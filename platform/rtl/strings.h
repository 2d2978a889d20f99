// Text in the run-time library.
//
// Framework text (String) and 8-bit engine text (AnsiString) are both std::string. Framework
// text is UTF-8; 8-bit engine text is in the system code page (the process locale's charset),
// converted at the engine boundaries through ToSystemCodePage/FromSystemCodePage (codepage.h).
//
// Numbers are written and read with the decimal separator of a TFormatSettings (locale.h);
// the overloads without one use the process-wide FormatSettings().
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "platform/rtl/locale.h"

namespace host {

using String = std::string;
using AnsiString = std::string;

// One argument of Format: an integer, a floating-point number, a text or a pointer.
// A text argument refers to the caller's characters (it does not copy them), so an argument
// list lives no longer than the expression that builds it.
class FormatArg {
 public:
  enum class Kind { Int, UInt, Float, Text, Pointer };

  FormatArg(int v) : FKind(Kind::Int), FBits(32), FInt(v) {}
  FormatArg(long v) : FKind(Kind::Int), FBits(8 * sizeof(long)), FInt(v) {}
  FormatArg(long long v) : FKind(Kind::Int), FBits(64), FInt(v) {}
  FormatArg(unsigned v) : FKind(Kind::UInt), FBits(32), FUInt(v) {}
  FormatArg(unsigned long v) : FKind(Kind::UInt), FBits(8 * sizeof(long)), FUInt(v) {}
  FormatArg(unsigned long long v) : FKind(Kind::UInt), FBits(64), FUInt(v) {}
  FormatArg(double v) : FKind(Kind::Float), FFloat(v) {}
  FormatArg(const char* v) : FKind(Kind::Text), FText(v ? v : "") {}
  FormatArg(std::string_view v) : FKind(Kind::Text), FText(v) {}
  FormatArg(const std::string& v) : FKind(Kind::Text), FText(v) {}
  FormatArg(const void* v) : FKind(Kind::Pointer), FPointer(v) {}

  Kind GetKind() const { return FKind; }
  // Width in bits of an integer argument (32 or 64): %u and %x show a negative value as
  // the two's complement of that width.
  int Bits() const { return FBits; }
  std::int64_t AsInt() const { return FInt; }
  std::uint64_t AsUInt() const { return FUInt; }
  double AsFloat() const { return FFloat; }
  std::string_view AsText() const { return FText; }
  const void* AsPointer() const { return FPointer; }

 private:
  Kind FKind;
  int FBits = 64;
  union {
    std::int64_t FInt;
    std::uint64_t FUInt;
    double FFloat;
    const void* FPointer;
  };
  std::string_view FText;
};

// Formats like the host's Format. A specifier is
//   "%" [index ":"] ["-"] [width] ["." precision] type
// where index, width and precision are digits or "*" (taken from the next argument), and
// type is one of
//   d  signed decimal; precision = least number of digits (zero-padded: "%.4d" -> "0042")
//   u  unsigned decimal (a negative argument as the unsigned number of its width)
//   x  upper-case hexadecimal; precision as for d
//   p  a pointer as upper-case hexadecimal of 16 digits
//   e  scientific, precision = significant digits (default 15): "1.23450000000000E+003"
//   f  fixed, precision = decimals (default 2)
//   g  general, the shorter of fixed and scientific, precision = significant digits (15)
//   n  like f, with thousand separators
//   m  money: the locale's currency format (precision = decimals, default CurrencyDecimals)
//   s  text; precision = most characters taken
// "%%" is a percent sign. Width and precision count characters (code points), not bytes.
// Integers are accepted by e f g n m. A malformed format, a missing argument or an argument
// of the wrong kind raises EConvertError.
String Format(std::string_view fmt, std::initializer_list<FormatArg> args);
String Format(std::string_view fmt, std::span<const FormatArg> args);
String Format(std::string_view fmt, std::span<const FormatArg> args, const TFormatSettings& fs);

// ---- integers ---------------------------------------------------------------------------

String IntToStr(std::int64_t value);
String UIntToStr(std::uint64_t value);
// Upper-case hexadecimal with at least `digits` digits; a negative value as 64-bit two's
// complement.
String IntToHex(std::int64_t value, int digits = 1);

// Decimal or hexadecimal ("$FF", "0xFF") text to an integer; leading blanks are allowed,
// anything else after the number is not. Out-of-range values and bad text raise
// EConvertError ("'%s' is not a valid integer value").
int StrToInt(std::string_view s);
std::int64_t StrToInt64(std::string_view s);
int StrToIntDef(std::string_view s, int fallback);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t fallback);
bool TryStrToInt(std::string_view s, int& value);
bool TryStrToInt64(std::string_view s, std::int64_t& value);

// ---- floating point ---------------------------------------------------------------------

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// 15 significant digits in general format: "0.1", "1E20", "1.5E-7", "NAN", "INF", "-INF".
String FloatToStr(double value);
String FloatToStr(double value, const TFormatSettings& fs);
// The host's FloatToStrF: precision = significant digits (1..18); digits = exponent digits
// (ffExponent) or decimals (ffFixed, ffNumber, ffCurrency).
String FloatToStrF(double value, TFloatFormat format, int precision, int digits);
String FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                   const TFormatSettings& fs);
// Pattern formatting: up to three sections "positive;negative;zero" of "0" (digit), "#"
// (optional digit), "." (decimal separator), "," (thousand separators), "E+" "E-" "e+" "e-"
// (scientific), and literal text in quotes. "0.000" -> "1.500", "#,##0.00" -> "1,234.50".
String FormatFloat(std::string_view pattern, double value);
String FormatFloat(std::string_view pattern, double value, const TFormatSettings& fs);

// Text to double with the settings' decimal separator and an optional exponent; blanks around
// the number are allowed. Bad text raises EConvertError ("'%s' is not a valid floating point
// value"); so do values beyond the range of a double.
double StrToFloat(std::string_view s);
double StrToFloat(std::string_view s, const TFormatSettings& fs);
double StrToFloatDef(std::string_view s, double fallback);
bool TryStrToFloat(std::string_view s, double& value);
bool TryStrToFloat(std::string_view s, double& value, const TFormatSettings& fs);

// Round to the nearest integer, a half to the even neighbour (the host's Round). Values out of
// the 64-bit range raise EInvalidOp.
std::int64_t Round(double value);
// Toward zero. Values out of the 64-bit range raise EInvalidOp.
std::int64_t Trunc(double value);

// ---- Booleans -----------------------------------------------------------------------------

// "-1"/"0", or with useBoolStrs "True"/"False".
String BoolToStr(bool value, bool useBoolStrs = false);
// "True"/"False" in any letter case, or a number (non-zero is true). Anything else raises
// EConvertError ("'%s' is not a valid boolean value").
bool StrToBool(std::string_view s);
bool StrToBoolDef(std::string_view s, bool fallback);
bool TryStrToBool(std::string_view s, bool& value);

// ---- editing ---------------------------------------------------------------------------------

// Remove characters up to and including the blank (control characters and blanks).
String Trim(std::string_view s);
String TrimLeft(std::string_view s);
String TrimRight(std::string_view s);
// The text in quotes, inner quotes doubled: QuotedStr("O'Brien") == "'O''Brien'".
String QuotedStr(std::string_view s, char quote = '\'');
// The inverse of QuotedStr; text not starting with the quote is returned unchanged, and an
// unterminated quote ends at the end of the text.
String AnsiDequotedStr(std::string_view s, char quote = '\'');

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
// Replaces the first (or every) occurrence of oldPattern; rfIgnoreCase compares by the locale,
// ignoring case. An empty oldPattern changes nothing.
String StringReplace(std::string_view s, std::string_view oldPattern, std::string_view newPattern,
                     TReplaceFlags flags = 0);

// ---- positions (1-based, in bytes, as the host's 8-bit string routines) ----------------------------
// Byte positions suit 8-bit engine text and ASCII syntax; for characters of framework text use
// the UTF-8 helpers below. Out-of-range positions and counts are clipped, never an error.

// Position of the first occurrence of sub in s (1-based), 0 when there is none or sub is empty.
std::size_t Pos(std::string_view sub, std::string_view s);
// The same, searching from position `offset` (1-based); 0 for an offset outside s.
std::size_t PosEx(std::string_view sub, std::string_view s, std::size_t offset = 1);
// At most `count` bytes from position `index` (1-based; below 1 counts as 1).
String Copy(std::string_view s, std::ptrdiff_t index, std::ptrdiff_t count);
// Removes at most `count` bytes from position `index`; nothing for an index outside s.
void Delete(String& s, std::ptrdiff_t index, std::ptrdiff_t count);
// Inserts `source` before position `index` (clipped to 1 .. length + 1).
void Insert(std::string_view source, String& s, std::ptrdiff_t index);
String StringOfChar(char c, std::size_t count);

// ---- UTF-8 ---------------------------------------------------------------------------------

// Number of characters (code points); an ill-formed byte counts as one character.
std::size_t Utf8Length(std::string_view s);
// Byte length of the first `count` characters of s (all of s when it has fewer).
std::size_t Utf8ByteCount(std::string_view s, std::size_t count);
// The characters from `start` (0-based), at most `count` of them.
String Utf8Copy(std::string_view s, std::size_t start, std::size_t count = std::string_view::npos);
// The longest prefix of s of at most maxBytes bytes that does not split a character.
String Utf8Truncate(std::string_view s, std::size_t maxBytes);
// True when s is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool Utf8IsValid(std::string_view s);
// Length in bytes of the character that starts at s[pos] (1 for an ill-formed byte).
std::size_t Utf8CharLength(std::string_view s, std::size_t pos);

}  // namespace host
