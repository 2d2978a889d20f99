#include "platform/rtl/codepage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace host {

namespace {

bool IsUtf8Name(std::string_view name) {
  std::string upper = UpperCase(name);
  return upper == "UTF-8" || upper == "UTF8";
}

// The charset of the environment's locale, read without touching the process locale.
std::string EnvironmentCodePage() {
  std::string name;
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (loc != static_cast<locale_t>(nullptr)) {
    const char* codeset = nl_langinfo_l(CODESET, loc);
    if (codeset != nullptr) name = codeset;
    freelocale(loc);
  } else {
    // The locale is not installed: take the charset from its name.
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
      const char* value = std::getenv(var);
      if (value == nullptr || *value == '\0') continue;
      std::string locale(value);
      if (auto dot = locale.find('.'); dot != std::string::npos) {
        name = locale.substr(dot + 1);
        if (auto at = name.find('@'); at != std::string::npos) name.erase(at);
      }
      break;
    }
  }
  // The C locale's ASCII is taken as UTF-8: every ASCII text is the same in both.
  if (name.empty() || name == "ANSI_X3.4-1968" || UpperCase(name) == "ASCII" || IsUtf8Name(name))
    return "UTF-8";
  return name;
}

struct CodePages {
  std::mutex Lock;
  std::string System = EnvironmentCodePage();
  std::string Oem = "CP850";
};

CodePages& Pages() {
  static CodePages pages;
  return pages;
}

// iconv descriptors are not shared between threads; each thread keeps the ones it opened.
class ThreadConverters {
 public:
  ThreadConverters() = default;
  ThreadConverters(const ThreadConverters&) = delete;
  ThreadConverters& operator=(const ThreadConverters&) = delete;
  ~ThreadConverters() {
    for (auto& entry : FOpen) iconv_close(entry.second);
  }

  iconv_t Get(const std::string& from, const std::string& to) {
    auto key = std::make_pair(from, to);
    auto it = FOpen.find(key);
    if (it != FOpen.end()) return it->second;
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw EConvertError("Code page conversion from '" + from + "' to '" + to + "' is not available");
    FOpen.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<std::string, std::string>, iconv_t> FOpen;
};

ThreadConverters& Converters() {
  thread_local ThreadConverters converters;
  return converters;
}

void CheckKnown(const std::string& name) {
  // Opening a conversion both ways proves iconv knows the name.
  Converters().Get("UTF-8", name);
  Converters().Get(name, "UTF-8");
}

}  // namespace

std::string ConvertCodePage(std::string_view text, std::string_view from, std::string_view to) {
  std::string source(from), target(to);
  if (text.empty()) return {};
  iconv_t cd = Converters().Get(source, target);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the shift state

  const bool fromUtf8 = IsUtf8Name(source);
  std::string out;
  out.resize(text.size() * 2 + 16);
  std::string input(text);
  char* in = input.data();
  size_t inLeft = input.size();
  size_t written = 0;
  auto appendRaw = [&](const char* bytes, size_t n) {
    if (out.size() - written < n) out.resize(out.size() * 2 + n);
    out.replace(written, n, bytes, n);
    written += n;
  };
  auto appendReplacement = [&]() {
    // "?" in the target code page; for the ASCII-compatible pages this is one byte.
    std::string question = "?";
    if (!(IsUtf8Name(target))) {
      char q = '?';
      char* qi = &q;
      size_t ql = 1;
      char buffer[8];
      char* qo = buffer;
      size_t qol = sizeof buffer;
      iconv_t back = Converters().Get("UTF-8", target);
      iconv(back, nullptr, nullptr, nullptr, nullptr);
      if (iconv(back, &qi, &ql, &qo, &qol) != static_cast<size_t>(-1))
        question.assign(buffer, size_t(qo - buffer));
    }
    appendRaw(question.data(), question.size());
  };
  while (inLeft > 0) {
    char* o = out.data() + written;
    size_t oLeft = out.size() - written;
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    written = size_t(o - out.data());
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2 + 16);
    } else if (errno == EILSEQ || errno == EINVAL) {
      // Skip the offending character (or the incomplete one at the end).
      size_t skip = 1;
      if (fromUtf8) {
        std::string_view rest(in, inLeft);
        skip = Utf8CharLength(rest, 0);
      }
      if (skip == 0 || skip > inLeft) skip = inLeft;
      in += skip;
      inLeft -= skip;
      appendReplacement();
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else {
      break;
    }
  }
  // Flush a pending shift sequence.
  for (;;) {
    char* o = out.data() + written;
    size_t oLeft = out.size() - written;
    size_t r = iconv(cd, nullptr, nullptr, &o, &oLeft);
    written = size_t(o - out.data());
    if (r != static_cast<size_t>(-1) || errno != E2BIG) break;
    out.resize(out.size() * 2 + 16);
  }
  out.resize(written);
  return out;
}

std::string GetSystemCodePage() {
  std::lock_guard<std::mutex> guard(Pages().Lock);
  return Pages().System;
}

void SetSystemCodePage(std::string_view name) {
  std::string value = IsUtf8Name(name) ? "UTF-8" : std::string(name);
  if (value != "UTF-8") CheckKnown(value);
  std::lock_guard<std::mutex> guard(Pages().Lock);
  Pages().System = value;
}

std::string GetOemCodePage() {
  std::lock_guard<std::mutex> guard(Pages().Lock);
  return Pages().Oem;
}

void SetOemCodePage(std::string_view name) {
  std::string value(name);
  CheckKnown(value);
  std::lock_guard<std::mutex> guard(Pages().Lock);
  Pages().Oem = value;
}

std::string ToSystemCodePage(std::string_view text) {
  std::string page = GetSystemCodePage();
  if (page == "UTF-8") return std::string(text);
  return ConvertCodePage(text, "UTF-8", page);
}

std::string FromSystemCodePage(std::string_view text) {
  std::string page = GetSystemCodePage();
  if (page == "UTF-8") return std::string(text);
  return ConvertCodePage(text, page, "UTF-8");
}

namespace {

// Whether a code page has characters of more than one byte: a single-byte page turns every
// byte value that it maps into exactly one character.
bool ProbeMultiBytePage(const std::string& page) {
  iconv_t cd = Converters().Get(page, "UTF-32LE");
  for (int b = 0x80; b <= 0xFF; ++b) {
    char in = char(b);
    char* pin = &in;
    size_t inLeft = 1;
    char out[16];
    char* pout = out;
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1) && errno == EINVAL) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      return true;  // an incomplete character: this byte leads a longer one
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return false;
}

bool IsMultiBytePage(const std::string& page) {
  if (page == "UTF-8") return true;
  thread_local std::map<std::string, bool> known;
  auto it = known.find(page);
  if (it == known.end()) it = known.emplace(page, ProbeMultiBytePage(page)).first;
  return it->second;
}

}  // namespace

bool SystemCodePageIsMultiByte() { return IsMultiBytePage(GetSystemCodePage()); }

std::size_t SystemCharLength(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  std::string page = GetSystemCodePage();
  if (page == "UTF-8") return Utf8CharLength(text, pos);
  if (static_cast<unsigned char>(text[pos]) < 0x80 || !IsMultiBytePage(page)) return 1;
  // Find the shortest prefix that converts to exactly one character.
  iconv_t cd = Converters().Get(page, "UTF-32LE");
  for (std::size_t n = 1; n <= 4 && pos + n <= text.size(); ++n) {
    std::string piece(text.substr(pos, n));
    char* pin = piece.data();
    size_t inLeft = n;
    char out[16];
    char* pout = out;
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t r = iconv(cd, &pin, &inLeft, &pout, &outLeft);
    if (r != static_cast<size_t>(-1) && inLeft == 0) return n;
    if (errno != EINVAL) break;  // not a prefix of any character
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return 1;
}

std::string SystemToOem(std::string_view text) {
  return ConvertCodePage(text, GetSystemCodePage(), GetOemCodePage());
}

std::string OemToSystem(std::string_view text) {
  return ConvertCodePage(text, GetOemCodePage(), GetSystemCodePage());
}

}  // namespace host
