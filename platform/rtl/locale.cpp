#include "platform/rtl/locale.h"

#include <unicode/coll.h>
#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/ucasemap.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace host {

namespace {

// ---- the user locale -------------------------------------------------------------------

// "de_DE.UTF-8@euro" -> "de_DE"; "C", "POSIX" and "" -> "" (root).
std::string IcuNameOf(std::string_view posix) {
  std::string name(posix);
  if (auto at = name.find('@'); at != std::string::npos) name.erase(at);
  if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
  if (name == "C" || name == "POSIX") name.clear();
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

std::string EnvironmentLocale() {
  for (const char* var : {"LC_ALL", "LC_COLLATE", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return IcuNameOf(value);
  }
  return {};
}

struct UserLocaleState {
  std::mutex Lock;
  std::string Name = EnvironmentLocale();
  // Bumped on every change, so that the per-thread ICU objects are rebuilt.
  std::atomic<unsigned> Generation{1};
};

UserLocaleState& State() {
  static UserLocaleState state;
  return state;
}

icu::Locale IcuLocale(const std::string& name) {
  return name.empty() ? icu::Locale::getRoot() : icu::Locale(name.c_str());
}

// ICU collators and case maps are not shared between threads: each thread keeps its own,
// rebuilt when the user locale changes.
struct ThreadCollation {
  unsigned Generation = 0;
  std::unique_ptr<icu::Collator> CaseSensitive;
  std::unique_ptr<icu::Collator> IgnoreCase;
  UCaseMap* CaseMap = nullptr;

  ThreadCollation() = default;
  ThreadCollation(const ThreadCollation&) = delete;
  ThreadCollation& operator=(const ThreadCollation&) = delete;
  ~ThreadCollation() {
    if (CaseMap != nullptr) ucasemap_close(CaseMap);
  }

  void Refresh() {
    UserLocaleState& state = State();
    unsigned generation = state.Generation.load(std::memory_order_acquire);
    if (generation == Generation) return;
    std::string name;
    {
      std::lock_guard<std::mutex> guard(state.Lock);
      name = state.Name;
      generation = state.Generation.load(std::memory_order_acquire);
    }
    icu::Locale locale = IcuLocale(name);
    UErrorCode status = U_ZERO_ERROR;
    CaseSensitive.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status)) CaseSensitive.reset();
    if (CaseSensitive) {
      CaseSensitive->setStrength(icu::Collator::TERTIARY);
      IgnoreCase.reset(CaseSensitive->clone());
      if (IgnoreCase) IgnoreCase->setStrength(icu::Collator::SECONDARY);
    } else {
      IgnoreCase.reset();
    }
    if (CaseMap != nullptr) ucasemap_close(CaseMap);
    status = U_ZERO_ERROR;
    CaseMap = ucasemap_open(name.c_str(), 0, &status);
    if (U_FAILURE(status)) CaseMap = nullptr;
    Generation = generation;
  }
};

ThreadCollation& Collation() {
  thread_local ThreadCollation collation;
  collation.Refresh();
  return collation;
}

int Sign(int v) { return (v > 0) - (v < 0); }

int Collate(icu::Collator* collator, std::string_view a, std::string_view b, bool ignoreCase) {
  if (collator != nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = collator->compareUTF8(icu::StringPiece(a.data(), int32_t(a.size())),
                                               icu::StringPiece(b.data(), int32_t(b.size())),
                                               status);
    if (U_SUCCESS(status)) return int(r);
  }
  // Without collation data, fall back to the byte order.
  return ignoreCase ? CompareText(a, b) : CompareStr(a, b);
}

using CaseFunction = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t,
                                 UErrorCode*);

std::string MapCase(std::string_view s, CaseFunction function, bool upper) {
  if (s.empty()) return {};
  UCaseMap* map = Collation().CaseMap;
  if (map != nullptr && s.size() < 0x3fffffff) {
    std::string out(s.size() + 16, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
      UErrorCode status = U_ZERO_ERROR;
      int32_t n = function(map, out.data(), int32_t(out.size()), s.data(), int32_t(s.size()),
                           &status);
      if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(size_t(n), '\0');
        continue;
      }
      if (U_SUCCESS(status)) {
        out.resize(size_t(n));
        return out;
      }
      break;
    }
  }
  return upper ? UpperCase(s) : LowerCase(s);
}

// ---- format settings from ICU ---------------------------------------------------------

std::string Utf8(const icu::UnicodeString& u) {
  std::string s;
  u.toUTF8String(s);
  return s;
}

// One ASCII character for a separator; spaces of any kind become a blank.
char SeparatorChar(const icu::UnicodeString& u, char fallback) {
  if (u.length() != 1) return fallback;
  char16_t c = u.charAt(0);
  if (c == 0x00A0 || c == 0x202F || c == 0x2009) return ' ';
  if (c > 0x20 && c < 0x7F) return char(c);
  return fallback;
}

bool IsAsciiLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Turns an ICU date or time pattern into the host pattern letters. The first punctuation
// mark found between two fields becomes the separator (written as "/" or ":" in the result);
// fields the host has no letter for (era, time zone, day period) are dropped.
std::string TranslatePattern(const icu::UnicodeString& pattern, bool date, char& separator,
                             bool widenYear) {
  std::string out;
  bool separatorFound = false;
  int32_t i = 0;
  const int32_t n = pattern.length();
  bool afterField = false;
  while (i < n) {
    char16_t c = pattern.charAt(i);
    if (c == '\'') {
      // Quoted literal; '' is a quote.
      std::string literal;
      if (i + 1 < n && pattern.charAt(i + 1) == '\'') {
        literal = "'";
        i += 2;
      } else {
        ++i;
        while (i < n) {
          char16_t q = pattern.charAt(i);
          if (q == '\'') {
            if (i + 1 < n && pattern.charAt(i + 1) == '\'') {
              literal += '\'';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          int32_t start = i;
          i = pattern.moveIndex32(i, 1);
          literal += Utf8(icu::UnicodeString(pattern, start, i - start));
        }
      }
      if (!literal.empty()) {
        if (literal.find('"') == std::string::npos) {
          out += '"' + literal + '"';
        } else {
          out += '\'' + literal + '\'';
        }
      }
      continue;
    }
    if (IsAsciiLetter(c)) {
      int32_t count = 0;
      while (i < n && pattern.charAt(i) == c) {
        ++count;
        ++i;
      }
      std::string field;
      switch (c) {
        case 'y':
        case 'Y':
        case 'u':
          field = (count == 2 && !widenYear) ? "yy" : "yyyy";
          break;
        case 'M':
        case 'L':
          field = count >= 4 ? "mmmm" : std::string(size_t(count), 'm');
          break;
        case 'd':
          field = count >= 2 ? "dd" : "d";
          break;
        case 'E':
        case 'c':
        case 'e':
          field = count >= 4 ? "dddd" : "ddd";
          break;
        case 'H':
        case 'h':
        case 'k':
        case 'K':
          field = count >= 2 ? "hh" : "h";
          break;
        case 'm':
          field = count >= 2 ? "nn" : "n";
          break;
        case 's':
          field = count >= 2 ? "ss" : "s";
          break;
        case 'S':
          field = count >= 3 ? "zzz" : "z";
          break;
        case 'a':
          field = "ampm";
          break;
        default:
          break;  // era, zone, day period: no host letter
      }
      if (field.empty()) {
        // Drop the blank that joined the dropped field.
        while (!out.empty() && out.back() == ' ') out.pop_back();
        afterField = false;
      } else {
        out += field;
        afterField = true;
      }
      continue;
    }
    int32_t start = i;
    i = pattern.moveIndex32(i, 1);
    if (c == 0x00A0 || c == 0x202F || c == 0x2009) {
      out += ' ';
    } else if (c < 0x80 && c != ' ' && afterField && i < n && IsAsciiLetter(pattern.charAt(i)) &&
               (!separatorFound || char(c) == separator)) {
      separator = char(c);
      separatorFound = true;
      out += date ? '/' : ':';
    } else if (c == '/' || c == ':' || c == '"') {
      // Literal characters that mean something in host patterns.
      out += c == '"' ? std::string("'\"'") : std::string("\"") + char(c) + "\"";
    } else {
      out += Utf8(icu::UnicodeString(pattern, start, i - start));
    }
    afterField = false;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  return out;
}

std::string PatternOf(icu::DateFormat* format) {
  std::unique_ptr<icu::DateFormat> owned(format);
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(owned.get());
  if (simple == nullptr) return {};
  icu::UnicodeString pattern;
  simple->toPattern(pattern);
  return Utf8(pattern);
}

}  // namespace

// ---- comparison and case mapping ---------------------------------------------------------

int AnsiCompareStr(std::string_view a, std::string_view b) {
  return Collate(Collation().CaseSensitive.get(), a, b, false);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  return Collate(Collation().IgnoreCase.get(), a, b, true);
}

bool AnsiSameStr(std::string_view a, std::string_view b) { return AnsiCompareStr(a, b) == 0; }
bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

std::string AnsiUpperCase(std::string_view s) { return MapCase(s, ucasemap_utf8ToUpper, true); }
std::string AnsiLowerCase(std::string_view s) { return MapCase(s, ucasemap_utf8ToLower, false); }

int CompareStr(std::string_view a, std::string_view b) { return Sign(a.compare(b)); }

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return out;
}

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

// ---- format settings ------------------------------------------------------------------------

TFormatSettings LocaleFormatSettings(std::string_view localeName) {
  TFormatSettings fs;
  icu::Locale locale = IcuLocale(IcuNameOf(localeName));

  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(locale, status);
  if (U_SUCCESS(status)) {
    fs.DecimalSeparator =
        SeparatorChar(symbols.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol), '.');
    fs.ThousandSeparator = SeparatorChar(
        symbols.getConstSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol),
        fs.DecimalSeparator == ',' ? '.' : ',');
    if (fs.ThousandSeparator == fs.DecimalSeparator) fs.ThousandSeparator = ' ';
    fs.CurrencyString = Utf8(symbols.getConstSymbol(icu::DecimalFormatSymbols::kCurrencySymbol));
  }
  fs.ListSeparator = fs.DecimalSeparator == ',' ? ';' : ',';

  status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberFormat> currency(icu::NumberFormat::createCurrencyInstance(locale, status));
  if (U_SUCCESS(status)) {
    if (auto* decimal = dynamic_cast<icu::DecimalFormat*>(currency.get())) {
      icu::UnicodeString u;
      std::string pattern = Utf8(decimal->toPattern(u));
      if (auto semi = pattern.find(';'); semi != std::string::npos) pattern.erase(semi);
      const std::string sign = "\xC2\xA4";  // U+00A4, the currency placeholder
      size_t at = pattern.find(sign);
      size_t digit = pattern.find_first_of("#0");
      if (at != std::string::npos && digit != std::string::npos) {
        bool before = at < digit;
        std::string between = before ? pattern.substr(at + sign.size(), digit - at - sign.size())
                                     : pattern.substr(pattern.find_last_of("#0") + 1,
                                                      at - pattern.find_last_of("#0") - 1);
        bool spaced = !between.empty();
        fs.CurrencyFormat = static_cast<unsigned char>((before ? 0 : 1) + (spaced ? 2 : 0));
        static const unsigned char negative[4] = {1, 5, 9, 8};
        fs.NegCurrFormat = negative[fs.CurrencyFormat];
      }
      size_t point = pattern.find('.');
      unsigned char decimals = 0;
      if (point != std::string::npos)
        while (point + 1 + decimals < pattern.size() && pattern[point + 1 + decimals] == '0')
          ++decimals;
      fs.CurrencyDecimals = decimals;
    }
  }

  status = U_ZERO_ERROR;
  icu::DateFormatSymbols names(locale, status);
  if (U_SUCCESS(status)) {
    int32_t count = 0;
    const icu::UnicodeString* months =
        names.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
    for (int32_t i = 0; i < std::min<int32_t>(count, 12); ++i) fs.LongMonthNames[size_t(i)] = Utf8(months[i]);
    months = names.getMonths(count, icu::DateFormatSymbols::FORMAT,
                             icu::DateFormatSymbols::ABBREVIATED);
    for (int32_t i = 0; i < std::min<int32_t>(count, 12); ++i) fs.ShortMonthNames[size_t(i)] = Utf8(months[i]);
    // Weekday arrays are indexed from 1 (Sunday).
    const icu::UnicodeString* days =
        names.getWeekdays(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
    for (int32_t i = 1; i < std::min<int32_t>(count, 8); ++i) fs.LongDayNames[size_t(i - 1)] = Utf8(days[i]);
    days = names.getWeekdays(count, icu::DateFormatSymbols::FORMAT,
                             icu::DateFormatSymbols::ABBREVIATED);
    for (int32_t i = 1; i < std::min<int32_t>(count, 8); ++i) fs.ShortDayNames[size_t(i - 1)] = Utf8(days[i]);
    const icu::UnicodeString* ampm = names.getAmPmStrings(count);
    if (count >= 2) {
      fs.TimeAMString = Utf8(ampm[0]);
      fs.TimePMString = Utf8(ampm[1]);
    }
  }

  auto translate = [&](icu::DateFormat* format, bool date, char& separator, bool widen,
                       std::string& target) {
    std::string pattern = PatternOf(format);
    if (pattern.empty()) return;
    char found = separator;
    std::string result =
        TranslatePattern(icu::UnicodeString::fromUTF8(pattern), date, found, widen);
    if (result.empty()) return;
    target = result;
    separator = found;
  };
  char dateSeparator = fs.DateSeparator;
  char unusedSeparator = dateSeparator;
  translate(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale), true,
            dateSeparator, true, fs.ShortDateFormat);
  translate(icu::DateFormat::createDateInstance(icu::DateFormat::kLong, locale), true,
            unusedSeparator, true, fs.LongDateFormat);
  fs.DateSeparator = dateSeparator;
  char timeSeparator = fs.TimeSeparator;
  char unusedTime = timeSeparator;
  translate(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale), false,
            timeSeparator, false, fs.LongTimeFormat);
  translate(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale), false,
            unusedTime, false, fs.ShortTimeFormat);
  fs.TimeSeparator = timeSeparator;
  return fs;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = LocaleFormatSettings(GetUserLocale());
  return settings;
}

std::string GetUserLocale() {
  UserLocaleState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  return state.Name;
}

void SetUserLocale(std::string_view name) {
  UserLocaleState& state = State();
  std::string icuName = IcuNameOf(name);
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    state.Name = icuName;
    state.Generation.fetch_add(1, std::memory_order_acq_rel);
  }
  FormatSettings() = LocaleFormatSettings(icuName);
}

}  // namespace host
