// Internal: decimal digits of a double, rounded the host's way (a half away from zero, on the
// shortest exact 17-digit decimal form), shared by the float, currency and BCD text conversions.
#pragma once

#include <string>

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

}  // namespace host::detail
