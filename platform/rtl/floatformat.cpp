// Floating-point text: FloatToStr, FloatToStrF, FormatFloat, StrToFloat, Round.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/floatdigits.h"
#include "platform/rtl/strings.h"

namespace host {

namespace detail {

void RoundDigits(FloatDigits& d, int keep) {
  if (keep < 0) {
    d.Digits.clear();
  } else if (size_t(keep) < d.Digits.size()) {
    bool up = d.Digits[size_t(keep)] >= '5';
    d.Digits.resize(size_t(keep));
    if (up) {
      int i = keep - 1;
      while (i >= 0 && d.Digits[size_t(i)] == '9') {
        d.Digits[size_t(i)] = '0';
        --i;
      }
      if (i >= 0) {
        ++d.Digits[size_t(i)];
      } else {
        d.Digits.insert(d.Digits.begin(), '1');
        ++d.Exponent;
      }
    }
  }
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) d.Exponent = 0;
}

namespace {

FloatDigits RawDigits(double value) {
  FloatDigits d;
  if (std::isnan(value)) {
    d.Nan = true;
    return d;
  }
  d.Negative = std::signbit(value);
  if (std::isinf(value)) {
    d.Infinite = true;
    return d;
  }
  if (value == 0) return d;
  // 17 significant digits identify every double; the library rounds exactly.
  char buffer[40];
  int n = std::snprintf(buffer, sizeof buffer, "%.16e", std::fabs(value));
  std::string text(buffer, size_t(n > 0 ? n : 0));
  size_t e = text.find('e');
  for (size_t i = 0; i < e; ++i)
    if (text[i] >= '0' && text[i] <= '9') d.Digits += text[i];
  d.Exponent = std::atoi(text.c_str() + e + 1) + 1;
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  return d;
}

}  // namespace

FloatDigits DigitsOf(double value, int precision) {
  FloatDigits d = RawDigits(value);
  if (!d.Nan && !d.Infinite) RoundDigits(d, precision < 1 ? 1 : (precision > 17 ? 17 : precision));
  return d;
}

FloatDigits FixedDigitsOf(double value, int decimals) {
  FloatDigits d = RawDigits(value);
  if (!d.Nan && !d.Infinite && !d.Digits.empty()) RoundDigits(d, d.Exponent + decimals);
  return d;
}

}  // namespace detail

using detail::FloatDigits;

namespace {

std::string SpecialText(const FloatDigits& d) {
  if (d.Nan) return "NAN";
  return d.Negative ? "-INF" : "INF";
}

// The integer part's digits ("0" when there is none).
std::string IntegerDigits(const FloatDigits& d) {
  if (d.Exponent <= 0) return "0";
  std::string s = d.Digits.substr(0, size_t(d.Exponent));
  s.append(size_t(d.Exponent) - s.size(), '0');
  return s;
}

// Exactly `decimals` fraction digits.
std::string FractionDigits(const FloatDigits& d, int decimals) {
  std::string s;
  for (int i = 0; i < decimals; ++i) {
    int index = d.Exponent + i;
    s += (index >= 0 && size_t(index) < d.Digits.size()) ? d.Digits[size_t(index)] : '0';
  }
  return s;
}

std::string Grouped(const std::string& digits, char separator) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string ExponentText(int exponent, int minDigits, bool plusSign) {
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  if (int(digits.size()) < minDigits) digits.insert(0, size_t(minDigits) - digits.size(), '0');
  if (exponent < 0) return "-" + digits;
  return plusSign ? "+" + digits : digits;
}

std::string ExponentForm(const FloatDigits& d, int precision, int expDigits, const TFormatSettings& fs) {
  std::string digits = d.Digits.empty() ? "0" : d.Digits;
  digits.resize(size_t(precision), '0');
  std::string out;
  if (d.Negative && !d.Digits.empty()) out += '-';
  out += digits[0];
  if (digits.size() > 1) {
    out += fs.DecimalSeparator;
    out.append(digits, 1);
  }
  out += 'E';
  out += ExponentText(d.Digits.empty() ? 0 : d.Exponent - 1, expDigits, true);
  return out;
}

std::string GeneralForm(const FloatDigits& d, int precision, const TFormatSettings& fs) {
  if (d.Digits.empty()) return "0";
  std::string out = d.Negative ? "-" : "";
  if (d.Exponent > precision || d.Exponent < -3) {
    out += d.Digits[0];
    if (d.Digits.size() > 1) {
      out += fs.DecimalSeparator;
      out.append(d.Digits, 1);
    }
    out += 'E';
    out += ExponentText(d.Exponent - 1, 0, false);
    return out;
  }
  out += IntegerDigits(d);
  int decimals = int(d.Digits.size()) - d.Exponent;
  if (decimals > 0) {
    out += fs.DecimalSeparator;
    out += FractionDigits(d, decimals);
  }
  return out;
}

}  // namespace

namespace detail {

std::string CurrencyForm(const std::string& number, bool negative, const TFormatSettings& fs) {
  const std::string& c = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 1: return number + c;
      case 2: return c + " " + number;
      case 3: return number + " " + c;
      default: return c + number;
    }
  }
  switch (fs.NegCurrFormat) {
    case 0: return "(" + c + number + ")";
    case 2: return c + "-" + number;
    case 3: return c + number + "-";
    case 4: return "(" + number + c + ")";
    case 5: return "-" + number + c;
    case 6: return number + "-" + c;
    case 7: return number + c + "-";
    case 8: return "-" + number + " " + c;
    case 9: return "-" + c + " " + number;
    case 10: return number + " " + c + "-";
    case 11: return c + " " + number + "-";
    case 12: return c + " -" + number;
    case 13: return number + "- " + c;
    case 14: return "(" + c + " " + number + ")";
    case 15: return "(" + number + " " + c + ")";
    default: return "-" + c + number;
  }
}

}  // namespace detail

String FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                   const TFormatSettings& fs) {
  if (precision < 1) precision = 1;
  if (precision > 18) precision = 18;
  if (digits < 0) digits = 0;
  switch (format) {
    case TFloatFormat::ffExponent: {
      FloatDigits d = detail::DigitsOf(value, precision);
      if (d.Nan || d.Infinite) return SpecialText(d);
      return ExponentForm(d, precision, digits > 4 ? 4 : digits, fs);
    }
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber:
    case TFloatFormat::ffCurrency: {
      if (digits > 18) digits = 18;
      FloatDigits probe = detail::DigitsOf(value, precision);
      if (probe.Nan || probe.Infinite) return SpecialText(probe);
      // Too many integer digits for the precision: the exponent form, as the host does.
      if (probe.Exponent > precision) return ExponentForm(probe, precision, 3, fs);
      FloatDigits d = detail::FixedDigitsOf(value, digits);
      if (int(d.Digits.size()) > precision) detail::RoundDigits(d, precision);
      std::string integer = IntegerDigits(d);
      std::string number = format == TFloatFormat::ffFixed ? integer : Grouped(integer, fs.ThousandSeparator);
      if (digits > 0) number += fs.DecimalSeparator + FractionDigits(d, digits);
      bool negative = d.Negative && !d.Digits.empty();
      if (format == TFloatFormat::ffCurrency) return detail::CurrencyForm(number, negative, fs);
      return negative ? "-" + number : number;
    }
    case TFloatFormat::ffGeneral:
    default: {
      FloatDigits d = detail::DigitsOf(value, precision);
      if (d.Nan || d.Infinite) return SpecialText(d);
      return GeneralForm(d, precision, fs);
    }
  }
}

String FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings());
}

String FloatToStr(double value, const TFormatSettings& fs) {
  return FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0, fs);
}

String FloatToStr(double value) { return FloatToStr(value, FormatSettings()); }

// ---- FormatFloat ----------------------------------------------------------------------------

namespace {

// Splits a pattern into its ";" sections, honouring quotes.
std::vector<std::string_view> Sections(std::string_view pattern) {
  std::vector<std::string_view> out;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';' && out.size() < 2) {
      out.push_back(pattern.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(pattern.substr(start));
  return out;
}

struct SectionLayout {
  int IntegerPlaces = 0;     // placeholders before the point
  int IntegerZeros = 0;      // placeholders from the first "0" to the point
  int DecimalMin = 0;        // fraction places up to the last "0"
  int DecimalMax = 0;        // all fraction placeholders
  bool Thousands = false;
  bool Scientific = false;
  int ExponentDigits = 0;
};

bool IsExponentAt(std::string_view s, size_t i) {
  return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

SectionLayout Analyse(std::string_view section) {
  SectionLayout layout;
  bool afterPoint = false;
  bool seenZero = false;
  char quote = 0;
  for (size_t i = 0; i < section.size(); ++i) {
    char c = section[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    switch (c) {
      case '\'':
      case '"':
        quote = c;
        break;
      case '0':
      case '#':
        if (afterPoint) {
          ++layout.DecimalMax;
          if (c == '0') layout.DecimalMin = layout.DecimalMax;
        } else {
          ++layout.IntegerPlaces;
          if (c == '0') seenZero = true;
          if (seenZero) ++layout.IntegerZeros;
        }
        break;
      case '.':
        afterPoint = true;
        break;
      case ',':
        layout.Thousands = true;
        break;
      case 'E':
      case 'e':
        if (IsExponentAt(section, i) && !layout.Scientific) {
          layout.Scientific = true;
          size_t j = i + 2;
          while (j < section.size() && section[j] == '0') ++j;
          layout.ExponentDigits = int(j - i - 2);
          if (layout.ExponentDigits > 4) layout.ExponentDigits = 4;
          i = j - 1;
        }
        break;
      default:
        break;
    }
  }
  return layout;
}

// Writes `section` with the number's digits in place of its placeholders.
std::string Render(std::string_view section, const SectionLayout& layout, const FloatDigits& d,
                   int exponent, const TFormatSettings& fs) {
  // Integer digits, padded to the zeros the pattern asks for.
  std::string integer;
  std::string fraction;
  if (layout.Scientific) {
    int places = layout.IntegerPlaces < 1 ? 1 : layout.IntegerPlaces;
    std::string digits = d.Digits;
    digits.resize(size_t(places + layout.DecimalMax), '0');
    integer = digits.substr(0, size_t(places));
    fraction = digits.substr(size_t(places));
    // Leading zeros of a zero mantissa only where "0" asks for them.
    size_t lead = integer.find_first_not_of('0');
    integer = lead == std::string::npos ? "" : integer.substr(lead);
  } else {
    integer = d.Exponent > 0 ? IntegerDigits(d) : "";
    fraction = FractionDigits(d, layout.DecimalMax);
  }
  if (int(integer.size()) < layout.IntegerZeros)
    integer.insert(0, size_t(layout.IntegerZeros) - integer.size(), '0');
  // Optional fraction digits: trailing zeros beyond the last "0" are dropped.
  size_t keep = fraction.size();
  while (keep > size_t(layout.DecimalMin) && fraction[keep - 1] == '0') --keep;
  fraction.resize(keep);

  std::string out;
  if (d.Negative && !d.Digits.empty()) out += '-';
  int integerPlaceholder = 0;
  size_t integerPos = 0;
  size_t fractionPos = 0;
  bool afterPoint = false;
  char quote = 0;
  auto emitInteger = [&](size_t count) {
    for (size_t k = 0; k < count && integerPos < integer.size(); ++k) {
      out += integer[integerPos++];
      size_t remaining = integer.size() - integerPos;
      if (layout.Thousands && remaining > 0 && remaining % 3 == 0) out += fs.ThousandSeparator;
    }
  };
  for (size_t i = 0; i < section.size(); ++i) {
    char c = section[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        out += c;
      }
      continue;
    }
    switch (c) {
      case '\'':
      case '"':
        quote = c;
        break;
      case '0':
      case '#':
        if (!afterPoint) {
          ++integerPlaceholder;
          // The first placeholder takes the digits the pattern has no place for.
          size_t places = size_t(layout.IntegerPlaces);
          if (integerPlaceholder == 1 && integer.size() > places) emitInteger(integer.size() - places);
          size_t slotsLeft = places - size_t(integerPlaceholder) + 1;
          if (integer.size() - integerPos >= slotsLeft) emitInteger(1);
        } else if (fractionPos < fraction.size()) {
          out += fraction[fractionPos++];
        }
        break;
      case '.':
        if (!afterPoint) {
          afterPoint = true;
          if (layout.IntegerPlaces == 0) emitInteger(integer.size());
          if (!fraction.empty()) out += fs.DecimalSeparator;
        }
        break;
      case ',':
        break;
      case 'E':
      case 'e':
        if (layout.Scientific && IsExponentAt(section, i)) {
          out += c;
          bool always = section[i + 1] == '+';
          out += ExponentText(exponent, layout.ExponentDigits < 1 ? 1 : layout.ExponentDigits, always);
          size_t j = i + 2;
          while (j < section.size() && section[j] == '0') ++j;
          i = j - 1;
        } else {
          out += c;
        }
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

}  // namespace

String FormatFloat(std::string_view pattern, double value, const TFormatSettings& fs) {
  if (std::isnan(value) || std::isinf(value)) return FloatToStr(value, fs);
  if (pattern.empty()) return FloatToStr(value, fs);
  std::vector<std::string_view> sections = Sections(pattern);
  std::string_view section = sections[0];
  bool useNegative = value < 0 && sections.size() >= 2 && !sections[1].empty();
  if (useNegative) section = sections[1];
  SectionLayout layout = Analyse(section);
  if (!layout.Scientific && std::fabs(value) >= 1e18) return FloatToStr(value, fs);

  auto digitsFor = [&](const SectionLayout& l, double v, int& exponent) {
    FloatDigits d;
    if (l.Scientific) {
      int places = l.IntegerPlaces < 1 ? 1 : l.IntegerPlaces;
      d = detail::DigitsOf(v, places + l.DecimalMax);
      exponent = d.Digits.empty() ? 0 : d.Exponent - places;
    } else {
      d = detail::FixedDigitsOf(v, l.DecimalMax);
      exponent = 0;
    }
    return d;
  };
  int exponent = 0;
  FloatDigits d = digitsFor(layout, value, exponent);
  if (useNegative) d.Negative = false;  // the section writes its own sign
  if (d.Digits.empty() && sections.size() >= 3 && !sections[2].empty()) {
    section = sections[2];
    layout = Analyse(section);
    d = digitsFor(layout, 0.0, exponent);
  }
  return Render(section, layout, d, exponent, fs);
}

String FormatFloat(std::string_view pattern, double value) {
  return FormatFloat(pattern, value, FormatSettings());
}

// ---- text to float ----------------------------------------------------------------------------

bool TryStrToFloat(std::string_view s, double& value, const TFormatSettings& fs) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  std::string_view t = s.substr(b, e - b);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  std::string canonical;
  int mantissaDigits = 0;
  int integerDigits = 0;  // significant digits before the point
  bool significant = false;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    if (t[i] != '0') significant = true;
    if (significant) ++integerDigits;
    canonical += t[i++];
    ++mantissaDigits;
  }
  int leadingFractionZeros = 0;
  if (i < t.size() && t[i] == fs.DecimalSeparator) {
    ++i;
    canonical += '.';
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (!significant && t[i] == '0') ++leadingFractionZeros;
      if (t[i] != '0') significant = true;
      canonical += t[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return false;
  long exponent = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    canonical += 'e';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) canonical += t[i++];
    size_t digitsStart = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (exponent < 100000) exponent = exponent * 10 + (t[i] - '0');
      canonical += t[i++];
    }
    if (i == digitsStart) return false;
    if (canonical[canonical.size() - (i - digitsStart) - 1] == '-') exponent = -exponent;
  }
  if (i != t.size()) return false;
  double result = 0;
  auto [end, ec] = std::from_chars(canonical.data(), canonical.data() + canonical.size(), result);
  if (end != canonical.data() + canonical.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    if (!significant) {
      result = 0;
    } else {
      long magnitude = (integerDigits > 0 ? integerDigits : -leadingFractionZeros) + exponent;
      if (magnitude > 0) return false;  // beyond the largest double
      result = 0;                       // below the smallest: zero
    }
  } else if (ec != std::errc()) {
    return false;
  }
  value = negative ? -result : result;
  return true;
}

bool TryStrToFloat(std::string_view s, double& value) { return TryStrToFloat(s, value, FormatSettings()); }

double StrToFloat(std::string_view s, const TFormatSettings& fs) {
  double value = 0;
  if (!TryStrToFloat(s, value, fs))
    throw EConvertError(Format("'%s' is not a valid floating point value", {s}));
  return value;
}

double StrToFloat(std::string_view s) { return StrToFloat(s, FormatSettings()); }

double StrToFloatDef(std::string_view s, double fallback) {
  double value = 0;
  return TryStrToFloat(s, value) ? value : fallback;
}

std::int64_t Round(double value) {
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
    throw EInvalidOp("Invalid floating point operation");
  double r = std::nearbyint(value);  // the default rounding mode: a half to even
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
    throw EInvalidOp("Invalid floating point operation");
  return static_cast<std::int64_t>(r);
}

std::int64_t Trunc(double value) {
  if (!(value > -9223372036854777856.0 && value < 9223372036854775808.0))
    throw EInvalidOp("Invalid floating point operation");
  return static_cast<std::int64_t>(value);
}

}  // namespace host

namespace host::detail {

bool ParseDecimal(std::string_view text, char separator, bool allowExponent, FloatDigits& out) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  std::string_view t = text.substr(b, e - b);
  FloatDigits d;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.Negative = t[i++] == '-';
  int digitsSeen = 0;
  int pointShift = 0;  // digits before the point, counted from the first significant one
  bool pointSeen = false;
  while (i < t.size()) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      ++digitsSeen;
      if (d.Digits.empty() && c == '0') {
        if (pointSeen) --pointShift;  // a leading zero after the point moves the exponent
      } else {
        d.Digits += c;
        if (!pointSeen) ++pointShift;
      }
      ++i;
    } else if (c == separator && !pointSeen) {
      pointSeen = true;
      ++i;
    } else {
      break;
    }
  }
  if (digitsSeen == 0) return false;
  long exponent = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    if (!allowExponent) return false;
    ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    size_t start = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (exponent < 100000) exponent = exponent * 10 + (t[i] - '0');
      ++i;
    }
    if (i == start) return false;
    if (negative) exponent = -exponent;
  }
  if (i != t.size()) return false;
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) {
    d.Negative = false;
    d.Exponent = 0;
  } else {
    d.Exponent = int(pointShift + exponent);
  }
  out = d;
  return true;
}

}  // namespace host::detail
