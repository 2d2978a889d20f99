// Currency: a fixed-point number with four decimals, held as a 64-bit integer scaled by 10000
// (so the range is -922337203685477.5808 .. 922337203685477.5807). Arithmetic is exact where the
// result is representable; products and quotients round a half to the even neighbour, as
// conversions from double do. A result out of range raises EOverflow; division by zero raises
// EZeroDivide.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace host {

class Currency {
 public:
  static constexpr std::int64_t Scale = 10000;

  constexpr Currency() = default;
  // From the scaled integer (value x 10000), as stored in buffers.
  static constexpr Currency FromRaw(std::int64_t scaled) {
    Currency c;
    c.FValue = scaled;
    return c;
  }
  static Currency FromInt(std::int64_t value);
  static Currency FromDouble(double value);

  constexpr std::int64_t Raw() const { return FValue; }
  double ToDouble() const { return double(FValue) / double(Scale); }
  // Toward zero, and rounded (a half to even).
  std::int64_t Trunc() const { return FValue / Scale; }
  std::int64_t Round() const;

  Currency operator-() const;
  Currency& operator+=(Currency other);
  Currency& operator-=(Currency other);
  Currency& operator*=(Currency other);
  Currency& operator/=(Currency other);
  friend Currency operator+(Currency a, Currency b) { return a += b; }
  friend Currency operator-(Currency a, Currency b) { return a -= b; }
  friend Currency operator*(Currency a, Currency b) { return a *= b; }
  friend Currency operator/(Currency a, Currency b) { return a /= b; }

  friend constexpr bool operator==(Currency a, Currency b) = default;
  friend constexpr std::strong_ordering operator<=>(Currency a, Currency b) { return a.FValue <=> b.FValue; }

 private:
  std::int64_t FValue = 0;
};

inline constexpr Currency MaxCurrency = Currency::FromRaw(INT64_MAX);
inline constexpr Currency MinCurrency = Currency::FromRaw(INT64_MIN);

// Up to four decimals, trailing zeros dropped: "1.5", "-0.0001", "100".
std::string CurrToStr(Currency value);
std::string CurrToStr(Currency value, const TFormatSettings& fs);
// ffFixed / ffNumber / ffCurrency with `digits` decimals (0..4), ffGeneral as CurrToStr.
std::string CurrToStrF(Currency value, TFloatFormat format, int digits);
std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& fs);
// Text with the settings' decimal separator (and an optional exponent), blanks around allowed;
// more than four decimals round a half to even. Bad text raises EConvertError ("'%s' is not a
// valid floating point value"), a value out of range EConvertError too.
Currency StrToCurr(std::string_view s);
Currency StrToCurr(std::string_view s, const TFormatSettings& fs);
Currency StrToCurrDef(std::string_view s, Currency fallback);
bool TryStrToCurr(std::string_view s, Currency& value);
bool TryStrToCurr(std::string_view s, Currency& value, const TFormatSettings& fs);

}  // namespace host
