#include "platform/rtl/currency.h"

#include <cmath>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/floatdigits.h"

namespace host {

namespace {

using Wide = __int128;

[[noreturn]] void CurrencyOverflow() { throw EOverflow("Currency value out of range"); }

std::int64_t Checked(Wide v) {
  if (v > Wide(INT64_MAX) || v < Wide(INT64_MIN)) CurrencyOverflow();
  return static_cast<std::int64_t>(v);
}

// numerator / denominator rounded to the nearest integer, a half to even.
Wide DivideRounded(Wide numerator, Wide denominator) {
  Wide q = numerator / denominator;
  Wide r = numerator % denominator;
  if (r != 0) {
    Wide twice = (r < 0 ? -r : r) * 2;
    Wide d = denominator < 0 ? -denominator : denominator;
    bool negative = (numerator < 0) != (denominator < 0);
    if (twice > d || (twice == d && (q % 2) != 0)) q += negative ? -1 : 1;
  }
  return q;
}

}  // namespace

Currency Currency::FromInt(std::int64_t value) {
  return FromRaw(Checked(Wide(value) * Scale));
}

Currency Currency::FromDouble(double value) {
  double scaled = value * double(Scale);
  if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) CurrencyOverflow();
  return FromRaw(static_cast<std::int64_t>(std::nearbyint(scaled)));
}

std::int64_t Currency::Round() const { return static_cast<std::int64_t>(DivideRounded(FValue, Scale)); }

Currency Currency::operator-() const { return FromRaw(Checked(-Wide(FValue))); }

Currency& Currency::operator+=(Currency other) {
  FValue = Checked(Wide(FValue) + other.FValue);
  return *this;
}

Currency& Currency::operator-=(Currency other) {
  FValue = Checked(Wide(FValue) - other.FValue);
  return *this;
}

Currency& Currency::operator*=(Currency other) {
  FValue = Checked(DivideRounded(Wide(FValue) * other.FValue, Scale));
  return *this;
}

Currency& Currency::operator/=(Currency other) {
  if (other.FValue == 0) throw EZeroDivide("Floating point division by zero");
  FValue = Checked(DivideRounded(Wide(FValue) * Scale, other.FValue));
  return *this;
}

// ---- text ----------------------------------------------------------------------------------

namespace {

// The decimal digits of |raw| with the point placed four digits from the right.
struct CurrencyParts {
  bool Negative;
  std::string Integer;
  std::string Fraction;  // exactly four digits
};

CurrencyParts PartsOf(std::int64_t raw) {
  CurrencyParts p;
  p.Negative = raw < 0;
  unsigned __int128 magnitude = raw < 0 ? (unsigned __int128)(-(Wide)raw) : (unsigned __int128)raw;
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  p.Integer = digits.substr(0, digits.size() - 4);
  p.Fraction = digits.substr(digits.size() - 4);
  return p;
}

std::string Grouped(const std::string& digits, char separator) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string CurrToStr(Currency value, const TFormatSettings& fs) {
  CurrencyParts p = PartsOf(value.Raw());
  std::string fraction = p.Fraction;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string out = p.Negative ? "-" + p.Integer : p.Integer;
  if (!fraction.empty()) out += fs.DecimalSeparator + fraction;
  return out;
}

std::string CurrToStr(Currency value) { return CurrToStr(value, FormatSettings()); }

std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& fs) {
  if (format == TFloatFormat::ffGeneral) return CurrToStr(value, fs);
  if (format == TFloatFormat::ffExponent) return FloatToStrF(value.ToDouble(), format, 19, digits, fs);
  if (digits < 0) digits = 0;
  if (digits > 4) digits = 4;
  // Built from the scaled integer, so no binary rounding creeps in; a half rounds away from
  // zero, as the float formats do.
  Wide step = 1;
  for (int i = digits; i < 4; ++i) step *= 10;
  Wide raw = value.Raw();
  Wide q = raw / step, r = raw % step;
  if (r != 0 && (r < 0 ? -r : r) * 2 >= step) q += raw < 0 ? -1 : 1;  // a half away from zero
  Wide rounded = q * step;
  bool negative = rounded < 0;
  unsigned __int128 magnitude = negative ? (unsigned __int128)(-rounded) : (unsigned __int128)rounded;
  std::string all;
  do {
    all.insert(all.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (all.size() < 5) all.insert(0, 5 - all.size(), '0');
  std::string integer = all.substr(0, all.size() - 4);
  std::string fraction = all.substr(all.size() - 4, size_t(digits));
  std::string number = format == TFloatFormat::ffFixed ? integer : Grouped(integer, fs.ThousandSeparator);
  if (digits > 0) number += fs.DecimalSeparator + fraction;
  if (format != TFloatFormat::ffCurrency) return negative ? "-" + number : number;
  return detail::CurrencyForm(number, negative, fs);
}

std::string CurrToStrF(Currency value, TFloatFormat format, int digits) {
  return CurrToStrF(value, format, digits, FormatSettings());
}

bool TryStrToCurr(std::string_view s, Currency& value, const TFormatSettings& fs) {
  detail::FloatDigits d;
  if (!detail::ParseDecimal(s, fs.DecimalSeparator, true, d)) return false;
  if (d.Digits.empty()) {
    value = Currency();
    return true;
  }
  // value x 10^4 = 0.D x 10^(Exponent + 4): the first Exponent + 4 digits are the integer.
  int integerDigits = d.Exponent + 4;
  if (integerDigits > 20) return false;
  Wide magnitude = 0;
  for (int i = 0; i < integerDigits; ++i)
    magnitude = magnitude * 10 + (size_t(i) < d.Digits.size() ? d.Digits[size_t(i)] - '0' : 0);
  if (integerDigits < int(d.Digits.size())) {
    // Round a half to even on the digits cut off.
    size_t cut = size_t(integerDigits < 0 ? 0 : integerDigits);
    bool exactHalf = false, above = false;
    if (integerDigits < 0) {
      above = false;  // far below one ten-thousandth: rounds to zero
    } else {
      char first = d.Digits[cut];
      bool rest = d.Digits.size() > cut + 1;  // trailing zeros are stripped, so any rest is non-zero
      above = first > '5' || (first == '5' && rest);
      exactHalf = first == '5' && !rest;
    }
    if (above || (exactHalf && magnitude % 2 != 0)) magnitude += 1;
  }
  Wide raw = d.Negative ? -magnitude : magnitude;
  if (raw > Wide(INT64_MAX) || raw < Wide(INT64_MIN)) return false;
  value = Currency::FromRaw(static_cast<std::int64_t>(raw));
  return true;
}

bool TryStrToCurr(std::string_view s, Currency& value) { return TryStrToCurr(s, value, FormatSettings()); }

Currency StrToCurr(std::string_view s, const TFormatSettings& fs) {
  Currency value;
  if (!TryStrToCurr(s, value, fs))
    throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
  return value;
}

Currency StrToCurr(std::string_view s) { return StrToCurr(s, FormatSettings()); }

Currency StrToCurrDef(std::string_view s, Currency fallback) {
  Currency value;
  return TryStrToCurr(s, value) ? value : fallback;
}

}  // namespace host
