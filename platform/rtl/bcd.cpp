#include "platform/rtl/bcd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/floatdigits.h"

namespace host {

namespace {

// An exact decimal: Digits x 10^-Places. Digits has no leading zeros ("" is zero).
struct Decimal {
  bool Negative = false;
  std::string Digits;
  int Places = 0;
};

[[noreturn]] void InvalidBcd() { throw EBcdException("Invalid BCD value"); }
[[noreturn]] void BcdOverflow() { throw EBcdOverflowException("BCD overflow"); }

void StripLeading(std::string& digits) {
  size_t first = digits.find_first_not_of('0');
  digits.erase(0, first == std::string::npos ? digits.size() : first);
}

void Normalise(Decimal& d) {
  StripLeading(d.Digits);
  while (d.Places > 0 && !d.Digits.empty() && d.Digits.back() == '0') {
    d.Digits.pop_back();
    --d.Places;
  }
  if (d.Digits.empty()) {
    d.Negative = false;
    d.Places = 0;
  }
}

Decimal FromBcd(const TBcd& b) {
  if (!IsValidBcd(b)) InvalidBcd();
  Decimal d;
  for (int i = 0; i < b.Precision; ++i) {
    int nibble = (i % 2 == 0) ? b.Fraction[i / 2] >> 4 : b.Fraction[i / 2] & 0x0F;
    d.Digits += char('0' + nibble);
  }
  d.Places = b.SignSpecialPlaces & 0x3F;
  d.Negative = (b.SignSpecialPlaces & 0x80) != 0;
  StripLeading(d.Digits);
  if (d.Digits.empty()) d.Negative = false;
  return d;
}

// Drops `count` fraction digits, rounding a half away from zero.
void DropPlaces(Decimal& d, int count) {
  if (count <= 0) return;
  std::string digits = d.Digits;
  if (int(digits.size()) < d.Places + 1) digits.insert(0, size_t(d.Places + 1) - digits.size(), '0');
  size_t keep = digits.size() - size_t(count);
  bool up = digits[keep] >= '5';
  digits.resize(keep);
  if (up) {
    int i = int(keep) - 1;
    while (i >= 0 && digits[size_t(i)] == '9') digits[size_t(i--)] = '0';
    if (i >= 0) {
      ++digits[size_t(i)];
    } else {
      digits.insert(digits.begin(), '1');
    }
  }
  d.Digits = digits;
  d.Places -= count;
  StripLeading(d.Digits);
  if (d.Digits.empty()) d.Negative = false;
}

TBcd ToBcd(Decimal d) {
  StripLeading(d.Digits);
  if (d.Digits.empty()) d.Negative = false;
  // Fraction digits beyond 64 in all go; the integer part must fit.
  int integerDigits = int(d.Digits.size()) - d.Places;
  if (integerDigits > MaxFMTBcdDigits) BcdOverflow();
  int total = std::max<int>(int(d.Digits.size()), d.Places);
  if (total > MaxFMTBcdDigits) DropPlaces(d, total - MaxFMTBcdDigits);
  if (int(d.Digits.size()) - d.Places > MaxFMTBcdDigits) BcdOverflow();  // the rounding carried
  std::string digits = d.Digits;
  if (int(digits.size()) < d.Places) digits.insert(0, size_t(d.Places) - digits.size(), '0');
  if (digits.empty()) digits = "0";
  TBcd b{};
  b.Precision = std::uint8_t(digits.size());
  b.SignSpecialPlaces = std::uint8_t(d.Places | (d.Negative ? 0x80 : 0));
  for (size_t i = 0; i < digits.size(); ++i) {
    int nibble = digits[i] - '0';
    b.Fraction[i / 2] = std::uint8_t(b.Fraction[i / 2] | ((i % 2 == 0) ? nibble << 4 : nibble));
  }
  return b;
}

// ---- magnitudes (digit strings without leading zeros) ----------------------------------------

int CompareMagnitude(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return (c > 0) - (c < 0);
}

std::string AddMagnitude(const std::string& a, const std::string& b) {
  std::string out;
  int carry = 0;
  for (size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int x = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
    int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    int s = x + y + carry;
    out.insert(out.begin(), char('0' + s % 10));
    carry = s / 10;
  }
  StripLeading(out);
  return out;
}

// a - b with a >= b.
std::string SubtractMagnitude(const std::string& a, const std::string& b) {
  std::string out;
  int borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int x = a[a.size() - 1 - i] - '0' - borrow;
    int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    borrow = x < y ? 1 : 0;
    out.insert(out.begin(), char('0' + x + borrow * 10 - y));
  }
  StripLeading(out);
  return out;
}

std::string MultiplyMagnitude(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return {};
  std::vector<int> cells(a.size() + b.size(), 0);
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < b.size(); ++j) cells[i + j + 1] += (a[i] - '0') * (b[j] - '0');
  for (size_t k = cells.size() - 1; k > 0; --k) {
    cells[k - 1] += cells[k] / 10;
    cells[k] %= 10;
  }
  std::string out;
  for (int c : cells) out += char('0' + c);
  StripLeading(out);
  return out;
}

// Quotient of a / b (b non-zero), long division.
std::string DivideMagnitude(const std::string& a, const std::string& b) {
  std::string quotient, remainder;
  for (char digit : a) {
    remainder += digit;
    StripLeading(remainder);
    int count = 0;
    while (CompareMagnitude(remainder, b) >= 0) {
      remainder = SubtractMagnitude(remainder, b);
      ++count;
    }
    quotient += char('0' + count);
  }
  StripLeading(quotient);
  return quotient;
}

// Both with the same number of places (the larger), digits padded with zeros.
void Align(Decimal& a, Decimal& b) {
  int places = std::max(a.Places, b.Places);
  if (!a.Digits.empty()) a.Digits.append(size_t(places - a.Places), '0');
  if (!b.Digits.empty()) b.Digits.append(size_t(places - b.Places), '0');
  a.Places = b.Places = places;
}

Decimal AddSigned(Decimal a, Decimal b) {
  Align(a, b);
  Decimal r;
  r.Places = a.Places;
  if (a.Negative == b.Negative) {
    r.Digits = AddMagnitude(a.Digits, b.Digits);
    r.Negative = a.Negative;
  } else if (CompareMagnitude(a.Digits, b.Digits) >= 0) {
    r.Digits = SubtractMagnitude(a.Digits, b.Digits);
    r.Negative = a.Negative;
  } else {
    r.Digits = SubtractMagnitude(b.Digits, a.Digits);
    r.Negative = b.Negative;
  }
  Normalise(r);
  return r;
}

bool ParseBcdText(std::string_view s, char separator, Decimal& d) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  std::string_view t = s.substr(b, e - b);
  size_t i = 0;
  d = Decimal();
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.Negative = t[i++] == '-';
  int seen = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      d.Digits += c;
      ++seen;
      if (point) ++d.Places;
    } else if (c == separator && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (seen == 0) return false;
  StripLeading(d.Digits);
  if (d.Digits.empty()) d.Negative = false;
  return true;
}

}  // namespace

bool IsValidBcd(const TBcd& value) {
  if (value.Precision > MaxFMTBcdDigits) return false;
  if ((value.SignSpecialPlaces & 0x3F) > value.Precision) return false;
  for (int i = 0; i < value.Precision; ++i) {
    int nibble = (i % 2 == 0) ? value.Fraction[i / 2] >> 4 : value.Fraction[i / 2] & 0x0F;
    if (nibble > 9) return false;
  }
  return true;
}

bool TryStrToBcd(std::string_view s, TBcd& value, const TFormatSettings& fs) {
  Decimal d;
  if (!ParseBcdText(s, fs.DecimalSeparator, d)) return false;
  if (int(d.Digits.size()) - d.Places > MaxFMTBcdDigits) return false;
  value = ToBcd(d);
  return true;
}

bool TryStrToBcd(std::string_view s, TBcd& value) { return TryStrToBcd(s, value, FormatSettings()); }

TBcd StrToBcd(std::string_view s, const TFormatSettings& fs) {
  Decimal d;
  if (!ParseBcdText(s, fs.DecimalSeparator, d))
    throw EBcdException("'" + std::string(s) + "' is not a valid BCD value");
  return ToBcd(d);
}

TBcd StrToBcd(std::string_view s) { return StrToBcd(s, FormatSettings()); }

std::string BcdToStr(const TBcd& value, const TFormatSettings& fs) {
  Decimal d = FromBcd(value);
  Normalise(d);
  if (d.Digits.empty()) return "0";
  std::string digits = d.Digits;
  if (int(digits.size()) <= d.Places) digits.insert(0, size_t(d.Places + 1) - digits.size(), '0');
  std::string out = d.Negative ? "-" : "";
  out.append(digits, 0, digits.size() - size_t(d.Places));
  if (d.Places > 0) {
    out += fs.DecimalSeparator;
    out.append(digits, digits.size() - size_t(d.Places), std::string::npos);
  }
  return out;
}

std::string BcdToStr(const TBcd& value) { return BcdToStr(value, FormatSettings()); }

bool CurrToBCD(Currency value, TBcd& bcd, int precision, int decimals) {
  if (precision < 1 || precision > MaxFMTBcdDigits || decimals < 0 || decimals > 4 || decimals > precision)
    return false;
  Decimal d;
  std::int64_t raw = value.Raw();
  d.Negative = raw < 0;
  unsigned __int128 magnitude = raw < 0 ? (unsigned __int128)(-(__int128)raw) : (unsigned __int128)raw;
  while (magnitude != 0) {
    d.Digits.insert(d.Digits.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  }
  d.Places = 4;
  DropPlaces(d, 4 - decimals);
  if (int(d.Digits.size()) - d.Places > precision - decimals) return false;
  // Exactly `precision` digits with `decimals` places.
  std::string digits = d.Digits;
  if (int(digits.size()) < precision) digits.insert(0, size_t(precision) - digits.size(), '0');
  TBcd b{};
  b.Precision = std::uint8_t(precision);
  b.SignSpecialPlaces = std::uint8_t(decimals | (d.Negative && !d.Digits.empty() ? 0x80 : 0));
  for (size_t i = 0; i < digits.size(); ++i) {
    int nibble = digits[i] - '0';
    b.Fraction[i / 2] = std::uint8_t(b.Fraction[i / 2] | ((i % 2 == 0) ? nibble << 4 : nibble));
  }
  bcd = b;
  return true;
}

bool BCDToCurr(const TBcd& bcd, Currency& value) {
  if (!IsValidBcd(bcd)) return false;
  Decimal d = FromBcd(bcd);
  // Scale to four places, a half to even beyond them.
  std::string digits = d.Digits;
  int places = d.Places;
  bool roundUp = false;
  if (places > 4) {
    if (int(digits.size()) < places + 1) digits.insert(0, size_t(places + 1) - digits.size(), '0');
    size_t keep = digits.size() - size_t(places - 4);
    std::string cut = digits.substr(keep);
    digits.resize(keep);
    char first = cut[0];
    bool rest = cut.find_first_not_of('0', 1) != std::string::npos;
    bool odd = (digits.back() - '0') % 2 != 0;
    roundUp = first > '5' || (first == '5' && (rest || odd));
  } else {
    digits.append(size_t(4 - places), '0');
  }
  StripLeading(digits);
  if (digits.size() > 20) return false;
  unsigned __int128 magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + unsigned(c - '0');
  if (roundUp) ++magnitude;
  __int128 raw = d.Negative ? -(__int128)magnitude : (__int128)magnitude;
  if (raw > INT64_MAX || raw < INT64_MIN) return false;
  value = Currency::FromRaw(std::int64_t(raw));
  return true;
}

TBcd DoubleToBcd(double value) {
  if (std::isnan(value) || std::isinf(value)) InvalidBcd();
  detail::FloatDigits f = detail::DigitsOf(value, 15);
  Decimal d;
  d.Negative = f.Negative && !f.Digits.empty();
  d.Digits = f.Digits;
  int size = int(f.Digits.size());
  if (f.Exponent >= size) {
    d.Digits.append(size_t(f.Exponent - size), '0');
  } else {
    d.Places = size - f.Exponent;
  }
  return ToBcd(d);
}

double BcdToDouble(const TBcd& value) {
  TFormatSettings plain;
  plain.DecimalSeparator = '.';
  std::string text = BcdToStr(value, plain);
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

TBcd IntegerToBcd(std::int64_t value) {
  Decimal d;
  d.Negative = value < 0;
  d.Digits = std::to_string(value);
  if (d.Negative) d.Digits.erase(0, 1);
  StripLeading(d.Digits);
  return ToBcd(d);
}

std::int64_t BcdToInt64(const TBcd& value, bool truncate) {
  Decimal d = FromBcd(value);
  if (truncate) {
    int drop = std::min<int>(d.Places, int(d.Digits.size()));
    d.Digits.resize(d.Digits.size() - size_t(drop));
    d.Places = 0;
  } else {
    DropPlaces(d, d.Places);
  }
  StripLeading(d.Digits);
  if (d.Digits.size() > 19) BcdOverflow();
  unsigned __int128 magnitude = 0;
  for (char c : d.Digits) magnitude = magnitude * 10 + unsigned(c - '0');
  __int128 raw = d.Negative ? -(__int128)magnitude : (__int128)magnitude;
  if (raw > INT64_MAX || raw < INT64_MIN) BcdOverflow();
  return std::int64_t(raw);
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  Decimal x = FromBcd(a), y = FromBcd(b);
  Normalise(x);
  Normalise(y);
  if (x.Negative != y.Negative) return x.Negative ? -1 : 1;
  Align(x, y);
  int c = CompareMagnitude(x.Digits, y.Digits);
  return x.Negative ? -c : c;
}

int BcdPrecision(const TBcd& value) {
  Decimal d = FromBcd(value);
  return int(d.Digits.size());
}

int BcdScale(const TBcd& value) { return value.SignSpecialPlaces & 0x3F; }

bool IsBcdNegative(const TBcd& value) {
  Decimal d = FromBcd(value);
  return d.Negative;
}

bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places) {
  if (precision < 1 || precision > MaxFMTBcdDigits || places < 0 || places > precision) return false;
  Decimal d = FromBcd(in);
  if (d.Places > places) {
    DropPlaces(d, d.Places - places);
  } else if (!d.Digits.empty()) {
    d.Digits.append(size_t(places - d.Places), '0');
    d.Places = places;
  } else {
    d.Places = places;
  }
  if (int(d.Digits.size()) - d.Places > precision - places) return false;
  std::string digits = d.Digits;
  if (int(digits.size()) < precision) digits.insert(0, size_t(precision) - digits.size(), '0');
  TBcd b{};
  b.Precision = std::uint8_t(precision);
  b.SignSpecialPlaces = std::uint8_t(places | (d.Negative && !d.Digits.empty() ? 0x80 : 0));
  for (size_t i = 0; i < digits.size(); ++i) {
    int nibble = digits[i] - '0';
    b.Fraction[i / 2] = std::uint8_t(b.Fraction[i / 2] | ((i % 2 == 0) ? nibble << 4 : nibble));
  }
  out = b;
  return true;
}

TBcd BcdAdd(const TBcd& a, const TBcd& b) { return ToBcd(AddSigned(FromBcd(a), FromBcd(b))); }

TBcd BcdSubtract(const TBcd& a, const TBcd& b) {
  Decimal y = FromBcd(b);
  if (!y.Digits.empty()) y.Negative = !y.Negative;
  return ToBcd(AddSigned(FromBcd(a), y));
}

TBcd BcdNegate(const TBcd& a) {
  Decimal d = FromBcd(a);
  if (!d.Digits.empty()) d.Negative = !d.Negative;
  return ToBcd(d);
}

TBcd BcdMultiply(const TBcd& a, const TBcd& b) {
  Decimal x = FromBcd(a), y = FromBcd(b);
  Decimal r;
  r.Digits = MultiplyMagnitude(x.Digits, y.Digits);
  r.Places = x.Places + y.Places;
  r.Negative = x.Negative != y.Negative;
  Normalise(r);
  return ToBcd(r);
}

TBcd BcdDivide(const TBcd& a, const TBcd& b) {
  Decimal x = FromBcd(a), y = FromBcd(b);
  Normalise(x);
  Normalise(y);
  if (y.Digits.empty()) throw EZeroDivide("Floating point division by zero");
  if (x.Digits.empty()) return ToBcd(Decimal());
  // Integer digits of the quotient, at most: those of x minus those of y, plus one.
  int integerDigits = (int(x.Digits.size()) - x.Places) - (int(y.Digits.size()) - y.Places) + 1;
  if (integerDigits > MaxFMTBcdDigits) BcdOverflow();
  int places = std::min(32, MaxFMTBcdDigits - std::max(integerDigits, 1));
  // x / y = (X / Y) x 10^(y.Places - x.Places); scale X so the quotient has places + 1 places.
  int shift = places + 1 + y.Places - x.Places;
  std::string numerator = x.Digits;
  std::string denominator = y.Digits;
  if (shift >= 0) {
    numerator.append(size_t(shift), '0');
  } else {
    denominator.append(size_t(-shift), '0');
  }
  Decimal r;
  r.Digits = DivideMagnitude(numerator, denominator);
  r.Places = places + 1;
  r.Negative = x.Negative != y.Negative;
  DropPlaces(r, 1);
  Normalise(r);
  return ToBcd(r);
}

}  // namespace host
