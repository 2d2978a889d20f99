#include "common/pattern.h"

#include <string>

#include "platform/rtl/locale.h"

namespace kx {

namespace {

using Chars = std::u32string;

// UTF-8 to code points. A byte outside a well-formed sequence becomes a lone surrogate of its
// own (U+DC80..U+DCFF), which no well-formed text decodes to, so it still compares exactly.
Chars Decode(std::string_view s) {
  Chars out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
      len = 1;
      cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2;
      cp = b0 & 0x1F;
      min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      cp = b0 & 0x0F;
      min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      cp = b0 & 0x07;
      min = 0x10000;
    }
    bool ok = len > 0 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (ok && len > 1 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xDC00 + b0);
      ++i;
    } else {
      out.push_back(cp);
      i += len;
    }
  }
  return out;
}

// The three string operations of the matcher, with positions counted from 1.

// Position of the first occurrence of s in t; 0 when there is none or s is empty.
std::size_t Find(const Chars& s, const Chars& t) {
  if (s.empty()) return 0;
  const auto p = t.find(s);
  return p == Chars::npos ? 0 : p + 1;
}

std::size_t Find(char32_t c, const Chars& t) {
  const auto p = t.find(c);
  return p == Chars::npos ? 0 : p + 1;
}

// n characters of t from position i; empty when n <= 0 or i is beyond the end.
Chars Take(const Chars& t, long i, long n) {
  if (i < 1) i = 1;
  if (n <= 0 || i > static_cast<long>(t.size())) return {};
  return t.substr(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(n));
}

// Deletes n characters from position i; nothing when n <= 0 or i is outside the text.
void Remove(Chars& t, long i, long n) {
  if (n <= 0 || i < 1 || i > static_cast<long>(t.size())) return;
  t.erase(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(n));
}

long Len(const Chars& t) { return static_cast<long>(t.size()); }

// Moves every "*" in front of the "?" next to it ("?*" becomes "*?" until none is left), then
// drops a run of trailing "?" that directly follows a "*". Linear: within each run of
// wildcards the stars simply go first.
std::string Normalise(std::string_view pattern) {
  std::string p(pattern);
  std::size_t i = 0;
  while (i < p.size()) {
    if (p[i] != '?' && p[i] != '*') {
      ++i;
      continue;
    }
    std::size_t j = i;
    std::size_t stars = 0;
    while (j < p.size() && (p[j] == '?' || p[j] == '*')) {
      if (p[j] == '*') ++stars;
      ++j;
    }
    for (std::size_t k = i; k < j; ++k) p[k] = (k - i < stars) ? '*' : '?';
    i = j;
  }
  std::size_t end = p.size();
  while (end > 0 && p[end - 1] == '?') --end;
  if (end < p.size() && end > 0 && p[end - 1] == '*') p.resize(end);
  return p;
}

}  // namespace

bool IsConfirmCase(std::string_view Pattern, std::string_view Text, bool CaseSensitive) {
  if (Pattern.empty()) return true;
  if (Text.empty()) return Pattern == "*";

  const std::string p0 = Normalise(Pattern);
  const bool endsWithStar = p0.back() == '*';
  Chars P = CaseSensitive ? Decode(p0) : Decode(host::AnsiUpperCase(p0));
  Chars T = CaseSensitive ? Decode(Text) : Decode(host::AnsiUpperCase(Text));

  bool first = true;
  long A = static_cast<long>(Find(U'*', P));
  while (!P.empty() && !T.empty()) {
    // "?" directly after the "*" that ends this segment.
    long Q = 0;
    if (A > 0) {
      while (A + Q < Len(P) && P[static_cast<std::size_t>(A + Q)] == U'?') ++Q;
    }
    Chars seg = Take(P, 1, A - 1);
    Remove(P, 1, A);

    if (first) {
      // Anchored at the start of the text; "?" stands for any one character.
      for (std::size_t k = 0; k < seg.size(); ++k) {
        if (k >= T.size()) return false;
        if (seg[k] != U'?' && seg[k] != T[k]) return false;
      }
      Remove(T, 1, A - 1);
    } else {
      const long B = static_cast<long>(Find(U'?', seg));
      if (B > 0) {
        const Chars H = Take(seg, 1, B - 1);
        long pos = 1;
        if (B != 1) {
          pos = static_cast<long>(Find(H, T));
          if (pos == 0) return false;
        }
        // The found text and the one character the "?" stands for.
        Remove(T, 1, Len(H) + pos);
        Remove(seg, 1, B);
        for (;;) {
          if (T.empty() && !seg.empty() && P.empty()) return false;
          const long C = static_cast<long>(Find(U'?', seg));
          if (C == 0) break;
          if (Take(seg, 1, C - 1) != Take(T, 1, C - 1)) return false;
          Remove(T, 1, C);
          Remove(seg, 1, C);
        }
        if (seg != Take(T, 1, Len(seg))) return false;
        Remove(T, 1, Len(seg));
      } else {
        const long pos = static_cast<long>(Find(seg, T));
        if (pos == 0 && !seg.empty()) return false;
        if (pos > 0) Remove(T, 1, pos + Len(seg) - 1);
      }
    }

    first = false;
    A = static_cast<long>(Find(U'*', P));
    if (A == 0) A = Len(P) + 1;

    if (Q > 0) {
      // The "?" after a "*" consume nothing; they only demand that the next segment starts
      // after at least Q characters of the text.
      Remove(P, 1, Q);
      const long star = static_cast<long>(Find(U'*', P));
      const Chars next = Take(P, 1, star == 0 ? Len(P) : star - 1);
      const long q = static_cast<long>(Find(U'?', next));
      const Chars H = q == 0 ? next : Take(next, 1, q - 1);
      if (!H.empty()) {
        if (static_cast<long>(Find(H, T)) <= Q) return false;
      } else if (Len(T) < Q) {
        return false;
      }
      A = static_cast<long>(Find(U'*', P));
      if (A == 0) A = Len(P) + 1;
    }
  }

  if (!T.empty() && !endsWithStar) return false;
  return P.empty();
}

bool IsConfirm(std::string_view Pattern, std::string_view Text) {
  return IsConfirmCase(Pattern, Text, false);
}

}  // namespace kx
