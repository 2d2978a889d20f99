// Internal: decimal digits of a double, rounded the host's way (a half away from zero, on the
// shortest exact 17-digit decimal form), shared by the float, currency and BCD text conversions.
#pragma once

#include <string>
#include <string_view>

#include "platform/rtl/locale.h"

namespace host::detail {

struct FloatDigits {
  bool Negative = false;
  bool Nan = false;
  bool Infinite = false;
  // value = 0.D1D2D3... x 10^Exponent; Digits holds no leading or trailing zeros and is empty
  // for zero.
  int Exponent = 0;
  std::string Digits;
};

// At most `precision` significant digits (1..17).
FloatDigits DigitsOf(double value, int precision);
// Rounded at the `decimals`-th place after the point (and to at most 17 significant digits).
FloatDigits FixedDigitsOf(double value, int decimals);
// Rounds d in place to `keep` significant digits, a half away from zero.
void RoundDigits(FloatDigits& d, int keep);

// Reads decimal text exactly: blanks around, a sign, digits with at most one `separator`, and
// (when allowExponent) an exponent "e"/"E" with optional sign. False for anything else.
bool ParseDecimal(std::string_view text, char separator, bool allowExponent, FloatDigits& out);

// `number` (digits and separators, no sign) laid out with the settings' currency string, by
// CurrencyFormat or, when negative, NegCurrFormat.
std::string CurrencyForm(const std::string& number, bool negative, const TFormatSettings& fs);

}  // namespace host::detail
