// TBcd: the 34-byte packed decimal of the dataset framework's BCD fields.
//
// Layout: Precision (number of digits, 1..64), SignSpecialPlaces (bit 7 negative, bit 6
// special, bits 0..5 the number of decimal places, never more than Precision) and Fraction,
// 64 packed decimal nibbles, most significant first, of which the first Precision are used.
// A record with a nibble above 9, a precision above 64 or more places than digits is not a
// valid value: the conversions raise EBcdException for it.
//
// Values read from text keep their decimal places ("1.50" has two); arithmetic results are
// normalised (no leading zeros, no trailing fraction zeros). Everything exact: a result that
// needs more than 64 digits loses fraction digits (rounded, a half away from zero) or, when
// its integer part alone is too long, raises EBcdOverflowException.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/rtl/currency.h"
#include "platform/rtl/locale.h"

namespace host {

#pragma pack(push, 1)
// A plain record so that it can live in raw record buffers; TBcd{} is zero.
struct TBcd {
  std::uint8_t Precision;
  std::uint8_t SignSpecialPlaces;
  std::uint8_t Fraction[32];
};
#pragma pack(pop)
static_assert(sizeof(TBcd) == 34);
static_assert(std::is_trivial_v<TBcd>);

inline constexpr int MaxFMTBcdDigits = 64;

// Text with the settings' decimal separator ("-12.50"); blanks around are allowed.
bool TryStrToBcd(std::string_view s, TBcd& value);
bool TryStrToBcd(std::string_view s, TBcd& value, const TFormatSettings& fs);
// Raises EBcdException ("'%s' is not a valid BCD value") or, for more than 64 integer digits,
// EBcdOverflowException.
TBcd StrToBcd(std::string_view s);
TBcd StrToBcd(std::string_view s, const TFormatSettings& fs);
// Canonical text: no leading zeros, no trailing fraction zeros, "-" only for non-zero values.
std::string BcdToStr(const TBcd& value);
std::string BcdToStr(const TBcd& value, const TFormatSettings& fs);

// Currency to BCD with `decimals` places (0..4; the value is rounded to them, a half away from
// zero) and at most `precision` digits; false when it does not fit.
bool CurrToBCD(Currency value, TBcd& bcd, int precision = 32, int decimals = 4);
// BCD to currency, rounding beyond four places a half to even; false when out of range.
bool BCDToCurr(const TBcd& bcd, Currency& value);
inline bool CurrToBcd(Currency value, TBcd& bcd, int precision = 32, int decimals = 4) {
  return CurrToBCD(value, bcd, precision, decimals);
}
inline bool BcdToCurr(const TBcd& bcd, Currency& value) { return BCDToCurr(bcd, value); }

TBcd DoubleToBcd(double value);  // 15 significant digits; NaN and infinities raise EBcdException
double BcdToDouble(const TBcd& value);
TBcd IntegerToBcd(std::int64_t value);
// Rounded (a half away from zero) or truncated; out of the 64-bit range raises EBcdOverflowException.
std::int64_t BcdToInt64(const TBcd& value, bool truncate = false);

// -1, 0 or 1 by numeric value.
int BcdCompare(const TBcd& a, const TBcd& b);
// Significant digits (from the first non-zero digit, fraction included; 0 for zero) and places.
int BcdPrecision(const TBcd& value);
int BcdScale(const TBcd& value);
bool IsBcdNegative(const TBcd& value);
// True when the record is a well-formed value.
bool IsValidBcd(const TBcd& value);

// `in` with exactly `places` decimals (rounded a half away from zero, or padded with zeros) and
// Precision = `precision`; false when the integer part needs more digits than precision - places.
bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places);

TBcd BcdAdd(const TBcd& a, const TBcd& b);
TBcd BcdSubtract(const TBcd& a, const TBcd& b);
TBcd BcdMultiply(const TBcd& a, const TBcd& b);
// Quotient with as many places as fit in 64 digits (at most 32 places; rounded a half away from
// zero); division by zero raises EZeroDivide.
TBcd BcdDivide(const TBcd& a, const TBcd& b);
TBcd BcdNegate(const TBcd& a);

}  // namespace host
