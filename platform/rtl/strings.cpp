#include "platform/rtl/strings.h"

#include <charconv>
#include <limits>

#include "platform/rtl/exceptions.h"

namespace host {

// ---- UTF-8 ----------------------------------------------------------------------------------

std::size_t Utf8CharLength(std::string_view s, std::size_t pos) {
  if (pos >= s.size()) return 0;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(pos);
  if (c < 0x80) return 1;
  std::size_t length;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) lo = 0xA0;        // no overlong forms
    if (c == 0xED) hi = 0x9F;        // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;        // nothing above U+10FFFF
  } else {
    return 1;
  }
  if (pos + length > s.size()) return 1;
  if (byte(pos + 1) < lo || byte(pos + 1) > hi) return 1;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 1;
  return length;
}

std::size_t Utf8Length(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); i += Utf8CharLength(s, i)) ++count;
  return count;
}

std::size_t Utf8ByteCount(std::string_view s, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t n = 0; n < count && i < s.size(); ++n) i += Utf8CharLength(s, i);
  return i;
}

String Utf8Copy(std::string_view s, std::size_t start, std::size_t count) {
  std::size_t from = Utf8ByteCount(s, start);
  std::string_view rest = s.substr(from);
  return String(rest.substr(0, Utf8ByteCount(rest, count)));
}

String Utf8Truncate(std::string_view s, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t n = Utf8CharLength(s, i);
    if (i + n > maxBytes) break;
    i += n;
  }
  return String(s.substr(0, i));
}

bool Utf8IsValid(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = Utf8CharLength(s, i);
    if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80) return false;
    i += n;
  }
  return true;
}

// ---- Format -------------------------------------------------------------------------------

namespace {

// Width and precision beyond this are taken as a malformed format rather than as a request
// for a gigantic string.
constexpr int kMaxFormatWidth = 1 << 20;

[[noreturn]] void InvalidFormat(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void MissingArgument(std::string_view fmt) {
  throw EConvertError("No argument for format '" + std::string(fmt) + "'");
}

std::string UnsignedDigits(std::uint64_t v, int base) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, base);
  (void)ec;
  std::string s(buffer, end);
  for (char& c : s)
    if (c >= 'a' && c <= 'f') c = char(c - 32);
  return s;
}

std::uint64_t AsUnsignedBits(const FormatArg& arg) {
  if (arg.GetKind() == FormatArg::Kind::UInt) return arg.AsUInt();
  std::int64_t v = arg.AsInt();
  if (arg.Bits() == 32) return static_cast<std::uint32_t>(v);
  return static_cast<std::uint64_t>(v);
}

void Pad(std::string& out, std::string text, int width, bool left) {
  if (width > 0) {
    std::size_t length = Utf8Length(text);
    if (length < std::size_t(width)) {
      std::string fill(std::size_t(width) - length, ' ');
      text = left ? text + fill : fill + text;
    }
  }
  out += text;
}

}  // namespace

String Format(std::string_view fmt, std::span<const FormatArg> args, const TFormatSettings& fs) {
  std::string out;
  std::size_t next = 0;
  std::size_t i = 0;
  const std::size_t n = fmt.size();

  auto takeArg = [&]() -> const FormatArg& {
    if (next >= args.size()) MissingArgument(fmt);
    return args[next++];
  };
  // Digits or "*"; -1 when neither is there.
  auto number = [&]() -> int {
    if (i < n && fmt[i] == '*') {
      ++i;
      const FormatArg& a = takeArg();
      if (a.GetKind() != FormatArg::Kind::Int && a.GetKind() != FormatArg::Kind::UInt) InvalidFormat(fmt);
      std::int64_t v = kMaxFormatWidth + 1;
      if (a.GetKind() == FormatArg::Kind::Int) {
        v = a.AsInt() < 0 ? 0 : a.AsInt();
      } else if (a.AsUInt() <= std::uint64_t(kMaxFormatWidth)) {
        v = std::int64_t(a.AsUInt());
      }
      if (v > kMaxFormatWidth) InvalidFormat(fmt);
      return int(v);
    }
    if (i >= n || fmt[i] < '0' || fmt[i] > '9') return -1;
    long v = 0;
    while (i < n && fmt[i] >= '0' && fmt[i] <= '9') {
      v = v * 10 + (fmt[i++] - '0');
      if (v > kMaxFormatWidth) InvalidFormat(fmt);
    }
    return int(v);
  };

  while (i < n) {
    char c = fmt[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    ++i;
    if (i >= n) InvalidFormat(fmt);
    if (fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    int first = number();
    if (i < n && fmt[i] == ':') {
      if (first < 0) InvalidFormat(fmt);
      next = std::size_t(first);
      ++i;
      first = -1;
    }
    bool left = false;
    if (first < 0 && i < n && fmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = first >= 0 ? first : number();
    int precision = -1;
    if (i < n && fmt[i] == '.') {
      ++i;
      precision = number();
      if (precision < 0) precision = 0;
    }
    if (i >= n) InvalidFormat(fmt);
    char type = fmt[i++];
    if (type >= 'A' && type <= 'Z') type = char(type + 32);

    const FormatArg& arg = takeArg();
    const FormatArg::Kind kind = arg.GetKind();
    const bool integer = kind == FormatArg::Kind::Int || kind == FormatArg::Kind::UInt;
    std::string text;
    switch (type) {
      case 'd': {
        if (!integer) InvalidFormat(fmt);
        bool negative = kind == FormatArg::Kind::Int && arg.AsInt() < 0;
        std::uint64_t magnitude = kind == FormatArg::Kind::UInt
                                      ? arg.AsUInt()
                                      : (negative ? 0 - static_cast<std::uint64_t>(arg.AsInt())
                                                  : static_cast<std::uint64_t>(arg.AsInt()));
        std::string digits = UnsignedDigits(magnitude, 10);
        if (precision > int(digits.size())) digits.insert(0, std::size_t(precision) - digits.size(), '0');
        text = negative ? "-" + digits : digits;
        break;
      }
      case 'u':
      case 'x': {
        if (!integer) InvalidFormat(fmt);
        text = UnsignedDigits(AsUnsignedBits(arg), type == 'u' ? 10 : 16);
        if (precision > int(text.size())) text.insert(0, std::size_t(precision) - text.size(), '0');
        break;
      }
      case 'p': {
        if (kind != FormatArg::Kind::Pointer) InvalidFormat(fmt);
        text = UnsignedDigits(reinterpret_cast<std::uintptr_t>(arg.AsPointer()), 16);
        text.insert(0, 2 * sizeof(void*) - text.size(), '0');
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        double value;
        if (kind == FormatArg::Kind::Float) {
          value = arg.AsFloat();
        } else if (kind == FormatArg::Kind::Int) {
          value = double(arg.AsInt());
        } else if (kind == FormatArg::Kind::UInt) {
          value = double(arg.AsUInt());
        } else {
          InvalidFormat(fmt);
        }
        switch (type) {
          case 'e':
            text = FloatToStrF(value, TFloatFormat::ffExponent, precision < 0 ? 15 : precision, 3, fs);
            break;
          case 'f':
            text = FloatToStrF(value, TFloatFormat::ffFixed, 18, precision < 0 ? 2 : precision, fs);
            break;
          case 'g':
            text = FloatToStrF(value, TFloatFormat::ffGeneral, precision < 0 ? 15 : precision, 3, fs);
            break;
          case 'n':
            text = FloatToStrF(value, TFloatFormat::ffNumber, 18, precision < 0 ? 2 : precision, fs);
            break;
          default:
            text = FloatToStrF(value, TFloatFormat::ffCurrency, 18,
                               precision < 0 ? fs.CurrencyDecimals : precision, fs);
            break;
        }
        break;
      }
      case 's': {
        if (kind != FormatArg::Kind::Text) InvalidFormat(fmt);
        std::string_view s = arg.AsText();
        if (precision >= 0) s = s.substr(0, Utf8ByteCount(s, std::size_t(precision)));
        text = std::string(s);
        break;
      }
      default:
        InvalidFormat(fmt);
    }
    Pad(out, std::move(text), width, left);
  }
  return out;
}

String Format(std::string_view fmt, std::span<const FormatArg> args) {
  return Format(fmt, args, FormatSettings());
}

String Format(std::string_view fmt, std::initializer_list<FormatArg> args) {
  return Format(fmt, std::span<const FormatArg>(args.begin(), args.size()), FormatSettings());
}

// ---- integers ---------------------------------------------------------------------------------

String IntToStr(std::int64_t value) { return std::to_string(value); }
String UIntToStr(std::uint64_t value) { return std::to_string(value); }

String IntToHex(std::int64_t value, int digits) {
  std::string text = UnsignedDigits(static_cast<std::uint64_t>(value), 16);
  if (digits > 32) digits = 32;
  if (digits > int(text.size())) text.insert(0, std::size_t(digits) - text.size(), '0');
  return text;
}

namespace {

// Leading blanks, a sign, then decimal digits or "$"/"0x" hexadecimal; nothing after.
bool ParseInteger(std::string_view s, std::int64_t min, std::int64_t max, std::int64_t& value) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(s.data() + i, s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  if (base == 16 && !negative && magnitude > std::uint64_t(max)) {
    // Hexadecimal text may spell the two's complement of a negative value ("$FFFFFFFF").
    std::uint64_t span = std::uint64_t(max) - std::uint64_t(min);
    if (magnitude > span) return false;
    value = static_cast<std::int64_t>(magnitude - span - 1);
    return true;
  }
  if (negative) {
    if (magnitude > std::uint64_t(0) - std::uint64_t(min)) return false;
    value = static_cast<std::int64_t>(0 - magnitude);
  } else {
    if (magnitude > std::uint64_t(max)) return false;
    value = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

[[noreturn]] void NotAnInteger(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt64(std::string_view s, std::int64_t& value) {
  return ParseInteger(s, std::numeric_limits<std::int64_t>::min(),
                      std::numeric_limits<std::int64_t>::max(), value);
}

bool TryStrToInt(std::string_view s, int& value) {
  std::int64_t v = 0;
  if (!ParseInteger(s, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), v)) return false;
  value = int(v);
  return true;
}

int StrToInt(std::string_view s) {
  int v = 0;
  if (!TryStrToInt(s, v)) NotAnInteger(s);
  return v;
}

std::int64_t StrToInt64(std::string_view s) {
  std::int64_t v = 0;
  if (!TryStrToInt64(s, v)) NotAnInteger(s);
  return v;
}

int StrToIntDef(std::string_view s, int fallback) {
  int v = 0;
  return TryStrToInt(s, v) ? v : fallback;
}

std::int64_t StrToInt64Def(std::string_view s, std::int64_t fallback) {
  std::int64_t v = 0;
  return TryStrToInt64(s, v) ? v : fallback;
}

// ---- Booleans -----------------------------------------------------------------------------------

String BoolToStr(bool value, bool useBoolStrs) {
  if (useBoolStrs) return value ? "True" : "False";
  return value ? "-1" : "0";
}

bool TryStrToBool(std::string_view s, bool& value) {
  std::string t = Trim(s);
  if (SameText(t, "True")) {
    value = true;
    return true;
  }
  if (SameText(t, "False")) {
    value = false;
    return true;
  }
  double number = 0;
  if (TryStrToFloat(t, number)) {
    value = number != 0;
    return true;
  }
  return false;
}

bool StrToBool(std::string_view s) {
  bool value = false;
  if (!TryStrToBool(s, value)) throw EConvertError("'" + std::string(s) + "' is not a valid boolean value");
  return value;
}

bool StrToBoolDef(std::string_view s, bool fallback) {
  bool value = false;
  return TryStrToBool(s, value) ? value : fallback;
}

// ---- editing -----------------------------------------------------------------------------------

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

String Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return String(s.substr(b, e - b));
}

String TrimLeft(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return String(s.substr(b));
}

String TrimRight(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return String(s.substr(0, e));
}

String QuotedStr(std::string_view s, char quote) {
  std::string out;
  out.reserve(s.size() + 2);
  out += quote;
  for (char c : s) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}

String AnsiDequotedStr(std::string_view s, char quote) {
  if (s.empty() || s[0] != quote) return String(s);
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {
        out += quote;
        ++i;
        continue;
      }
      break;
    }
    out += s[i];
  }
  return out;
}

String StringReplace(std::string_view s, std::string_view oldPattern, std::string_view newPattern,
                     TReplaceFlags flags) {
  if (oldPattern.empty()) return String(s);
  const bool all = (flags & rfReplaceAll) != 0;
  std::string out;
  std::size_t i = 0;
  if ((flags & rfIgnoreCase) == 0) {
    while (i <= s.size()) {
      std::size_t at = s.find(oldPattern, i);
      if (at == std::string_view::npos) break;
      out.append(s.substr(i, at - i));
      out.append(newPattern);
      i = at + oldPattern.size();
      if (!all) break;
    }
    out.append(s.substr(i));
    return out;
  }
  // Ignoring case: compare character by character, by the locale, over the same number of
  // characters as the pattern has.
  const std::size_t patternChars = Utf8Length(oldPattern);
  while (i < s.size()) {
    std::size_t length = Utf8ByteCount(s.substr(i), patternChars);
    if (length > 0 && Utf8Length(s.substr(i, length)) == patternChars &&
        AnsiSameText(s.substr(i, length), oldPattern)) {
      out.append(newPattern);
      i += length;
      if (!all) break;
      continue;
    }
    std::size_t step = Utf8CharLength(s, i);
    out.append(s.substr(i, step));
    i += step;
  }
  out.append(s.substr(i));
  return out;
}

// ---- positions ------------------------------------------------------------------------------------

std::size_t Pos(std::string_view sub, std::string_view s) { return PosEx(sub, s, 1); }

std::size_t PosEx(std::string_view sub, std::string_view s, std::size_t offset) {
  if (sub.empty() || offset < 1 || offset > s.size()) return 0;
  std::size_t at = s.find(sub, offset - 1);
  return at == std::string_view::npos ? 0 : at + 1;
}

String Copy(std::string_view s, std::ptrdiff_t index, std::ptrdiff_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || std::size_t(index) > s.size()) return {};
  return String(s.substr(std::size_t(index - 1), std::size_t(count)));
}

void Delete(String& s, std::ptrdiff_t index, std::ptrdiff_t count) {
  if (index < 1 || count <= 0 || std::size_t(index) > s.size()) return;
  s.erase(std::size_t(index - 1), std::size_t(count));
}

void Insert(std::string_view source, String& s, std::ptrdiff_t index) {
  if (index < 1) index = 1;
  if (std::size_t(index) > s.size() + 1) index = std::ptrdiff_t(s.size() + 1);
  s.insert(std::size_t(index - 1), source);
}

String StringOfChar(char c, std::size_t count) { return String(count, c); }

}  // namespace host
