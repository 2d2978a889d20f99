// Ranges, keys and filter chains, and the two calls that expose a cursor's native state.
#include <algorithm>
#include <cstring>

#include "engines/rcx/core.h"

namespace rcx {

namespace {

// A constant in a column's interface format -> the stored form.
Value constantFor(const kxstore::ColumnDef& col, const void* p, std::uint32_t len, const CodecOptions& codec) {
  if (col.isBlob()) {
    std::string s(static_cast<const char*>(p), len);
    if (col.colClass == kxstore::kClassLongText) {
      s.resize(strnlen(s.c_str(), s.size()));
      return Value::text(codec.oem ? toOem(s) : s);
    }
    return Value::blob(s);
  }
  return encodeValue(col, p, len, codec);
}

bool apply(std::uint8_t cmp, int c) {
  switch (cmp) {
    case FCC_EQUAL: return c == 0;
    case FCC_GREATER: return c > 0;
    case FCC_LESS: return c < 0;
    case FCC_NOT_EQUAL: return c != 0;
    case FCC_GREATER_EQUAL: return c >= 0;
    case FCC_LESS_EQUAL: return c <= 0;
    default: return false;
  }
}

std::string_view bytesOf(const ValueRef& v, std::string& scratch) {
  switch (v.kind) {
    case Value::Int: scratch = std::to_string(v.i); return scratch;
    case Value::Real: scratch = std::to_string(v.r); return scratch;
    default: return v.s;
  }
}

int comparePrefix(std::string_view value, std::string_view prefix, bool noCase) {
  std::string_view cut = value.substr(0, std::min(value.size(), prefix.size()));
  int c = noCase ? kxstore::compareNoCase(cut, prefix) : cut.compare(prefix);
  return (c > 0) - (c < 0);
}

}  // namespace

bool Cursor::passesFilters(sqlite3_stmt* st) {
  auto eval = [&](const Term& t) -> bool {
    Value s1, s2;
    ValueRef v = rowValue(st, t.col, s1);
    switch (t.kind) {
      case fisNull:
        if (t.cmp == FCC_EQUAL) return v.isNull();
        if (t.cmp == FCC_NOT_EQUAL) return !v.isNull();
        return false;
      case fisConst:
        if (v.isNull() || t.constant.isNull()) return false;
        return apply(t.cmp, compareValues(v, t.constant, t.noCase));
      case fisColumn: {
        ValueRef w = rowValue(st, t.other, s2);
        if (v.isNull() || w.isNull()) return false;
        return apply(t.cmp, compareValues(v, w, t.noCase));
      }
      default: {  // fisPartialConst
        if (v.isNull()) return false;
        std::string scratch;
        int c = comparePrefix(bytesOf(v, scratch), t.prefix, t.noCase);
        // "Starts with" for = and >=: a partial key finds records beginning with it.
        if (t.cmp == FCC_EQUAL || t.cmp == FCC_GREATER_EQUAL) return c == 0;
        return apply(t.cmp, c);
      }
    }
  };
  for (const Chain& ch : chains) {
    if (ch.terms.empty()) continue;
    bool r = eval(ch.terms[0]);
    for (size_t i = 1; i < ch.terms.size(); ++i) {
      // Strictly from left to right: the link of the previous term joins the result so far.
      if (ch.terms[i - 1].link == LE_OR) r = r || eval(ch.terms[i]);
      else r = r && eval(ch.terms[i]);
    }
    if (!r) return false;
  }
  return true;
}

std::int32_t Cursor::setFilter(const RCX_FilterStruct* terms, int count, std::int32_t& tag) {
  checkUsable();
  materialise();
  if (count < 0 || count > 4096) fail(kInvalidParameter, "A filter chain has 0 to 4096 terms");
  if (count > 0 && !terms) fail(kInvalidParameter, "No filter terms");
  Chain ch;
  for (int k = 0; k < count; ++k) {
    const RCX_FilterStruct& f = terms[k];
    Term t;
    t.kind = f.IsColumn;
    if (t.kind > fisNull) fail(kInvalidParameter, "Term " + std::to_string(k + 1) + ": unknown term kind");
    const kxstore::ColumnDef& col = column(f.ColumnId);
    t.col = int(f.ColumnId - 1);
    t.link = std::uint8_t(f.ExprWithNextTerm & 0x7F);  // $80 marks a descending key segment
    if (t.link > LE_OR) fail(kInvalidParameter, "Term " + std::to_string(k + 1) + ": unknown link");
    t.cmp = std::uint8_t(f.CompareCode & 0x7F);
    if (t.cmp < FCC_EQUAL || t.cmp > FCC_LESS_EQUAL)
      fail(kInvalidParameter, "Term " + std::to_string(k + 1) + ": unknown compare code");
    t.noCase = (f.CompareCode & FCC_NO_CASE) != 0;
    std::string raw;
    switch (t.kind) {
      case fisConst:
        if (f.pConst) {
          t.constant = constantFor(col, f.pConst, f.ConstLen, codec);
          raw.assign(static_cast<const char*>(f.pConst), f.ConstLen);
        }
        break;
      case fisColumn:
        column(f.CompColumnId);
        t.other = int(f.CompColumnId - 1);
        break;
      case fisPartialConst: {
        if (!f.pConst) fail(kInvalidParameter, "Term " + std::to_string(k + 1) + ": a partial constant needs a value");
        raw.assign(static_cast<const char*>(f.pConst), f.ConstLen);
        std::string p = raw.substr(0, strnlen(raw.c_str(), raw.size()));
        t.prefix = codec.oem && col.isText() ? toOem(p) : p;
        break;
      }
      default: break;
    }
    ch.terms.push_back(std::move(t));
    ch.raw.push_back(f);
    ch.constants.push_back(std::move(raw));
  }
  std::int32_t t;
  for (;;) {
    t = nextTag++;
    if (nextTag <= 0) nextTag = 1;
    bool used = false;
    for (const auto& c : chains) used = used || c.tag == t;
    if (!used) break;
  }
  ch.tag = t;
  chains.push_back(std::move(ch));
  resetWalker();
  tag = t;
  return kOk;
}

std::int32_t Cursor::removeFilter(std::int32_t tag) {
  checkUsable();
  for (auto it = chains.begin(); it != chains.end(); ++it)
    if (it->tag == tag) {
      chains.erase(it);
      resetWalker();
      return kOk;
    }
  fail(kInvalidParameter, "No filter with tag " + std::to_string(tag) + " is installed");
}

std::int32_t Cursor::makeKey(std::uint32_t columnId, int kind, const void* value, std::uint32_t length, std::uint32_t flags) {
  checkUsable();
  materialise();
  if (kind < RCX_KEY_FILTER_LOW || kind > RCX_KEY_SEARCH) fail(kInvalidParameter, "Unknown key kind " + std::to_string(kind));
  const kxstore::ColumnDef& col = column(columnId);
  auto& parts = keys[kind];
  if (flags & RCX_KEYFLAG_FIRST) parts.clear();
  if (parts.size() >= 64 || (kind == RCX_KEY_SEARCH && index >= 0 && parts.size() >= segs.size()))
    fail(-1516, "The key is complete: it has a part for every segment of the index");
  KeyPart p;
  p.col = int(columnId - 1);
  p.null = value == nullptr;
  p.nearest = (flags & RCX_KEYFLAG_NEAREST) != 0;
  if (value) {
    p.v = constantFor(col, value, length, codec);
    p.raw.assign(static_cast<const char*>(value), length);
  }
  parts.push_back(std::move(p));
  return kOk;
}

std::int32_t Cursor::cancelKey(int kind) {
  if (kind < RCX_KEY_FILTER_LOW || kind > RCX_KEY_SEARCH) fail(kInvalidParameter, "Unknown key kind " + std::to_string(kind));
  keys[kind].clear();
  return kOk;
}

std::int32_t Cursor::setRange(const RCX_FilterStruct* start, int startCount, const RCX_FilterStruct* end, int endCount) {
  checkUsable();
  materialise();
  if (index < 0) fail(-1515, "A range needs a current index");
  auto bound = [&](const RCX_FilterStruct* terms, int count, int kind, Bound& out) {
    out = Bound{};
    if (count < 0) fail(kInvalidParameter, "Negative term count");
    const auto& parts = keys[kind];
    if (count == 0) {
      for (size_t i = 0; i < parts.size() && i < segs.size(); ++i) {
        if (parts[i].col != segs[i].col) fail(kInvalidParameter, "Range key parts must follow the index segments");
        if (parts[i].null) break;
        out.vals.push_back(parts[i].v);
      }
    } else {
      if (!terms) fail(kInvalidParameter, "No range terms");
      size_t n = std::min<size_t>(size_t(count), segs.size());
      if (!parts.empty()) n = std::min(n, parts.size());  // never read past the terms actually made
      for (size_t i = 0; i < n; ++i) {
        const RCX_FilterStruct& t = terms[i];
        const kxstore::ColumnDef& col = column(t.ColumnId);
        if (int(t.ColumnId - 1) != segs[i].col)
          fail(kInvalidParameter, "Range terms must follow the segments of the current index");
        if (!t.pConst || t.IsColumn == fisNull) break;
        out.vals.push_back(constantFor(col, t.pConst, t.ConstLen, codec));
      }
    }
    out.set = !out.vals.empty();
  };
  Bound newLo, newHi;
  bound(start, startCount, RCX_KEY_RANGE_START, newLo);
  bound(end, endCount, RCX_KEY_RANGE_END, newHi);
  lo = std::move(newLo);
  hi = std::move(newHi);
  resetWalker();
  return kOk;
}

std::int32_t Cursor::cancelRange() {
  checkUsable();
  lo = hi = Bound{};
  resetWalker();
  return kOk;
}

std::int32_t Cursor::mardexInfo(TMardexInfo& info) {
  checkUsable();
  materialise();
  mardexKey.clear();
  for (const auto& p : keys[RCX_KEY_SEARCH]) {
    std::string part(6, '\0');
    std::uint32_t id = std::uint32_t(p.col + 1);
    std::uint16_t len = std::uint16_t(std::min<size_t>(p.raw.size(), 0xFFFF));
    std::memcpy(part.data(), &id, 4);
    std::memcpy(part.data() + 4, &len, 2);
    part += p.raw.substr(0, len);
    if (mardexKey.size() + part.size() > 255) break;
    mardexKey += part;
  }
  mardexFilter.clear();
  for (auto& ch : chains)
    for (size_t i = 0; i < ch.raw.size(); ++i) {
      RCX_FilterStruct f = ch.raw[i];
      f.pConst = ch.constants[i].empty() ? nullptr : ch.constants[i].data();
      mardexFilter.push_back(f);
    }
  info.pKeyBuf = mardexKey.empty() ? nullptr : mardexKey.data();
  info.KeyLen = std::uint8_t(mardexKey.size());
  info.KeyNum = std::int8_t(std::clamp(index, -1, 127));
  info.CurFilter = mardexFilter.empty() ? nullptr : mardexFilter.data();
  info.CurFilterLen = std::int32_t(mardexFilter.size() * sizeof(RCX_FilterStruct));
  return kOk;
}

std::int32_t Cursor::mdxCall(int op, void* data, std::uint16_t* dataLen, int keyNum) {
  checkUsable();
  materialise();
  if (!dataLen || (!data && *dataLen > 0)) fail(kInvalidParameter, "No data buffer");
  std::uint16_t cap = *dataLen;
  auto out = static_cast<unsigned char*>(data);
  auto putBookmark = [&]() -> std::int32_t {
    std::int64_t b = 0;
    std::int32_t r = bookmark(b);
    if (r != kOk) return r;
    if (cap < 4) fail(kBufferTooSmall, "The data buffer needs 4 bytes");
    std::uint32_t v = std::uint32_t(b);
    std::memcpy(out, &v, 4);
    *dataLen = 4;
    return kOk;
  };
  switch (op) {
    case RCX_MDX_VERSION: {
      static const char kVersion[] = "Kestrin record manager 1.0";
      if (cap < sizeof kVersion) fail(kBufferTooSmall, "The data buffer needs " + std::to_string(sizeof kVersion) + " bytes");
      std::memcpy(out, kVersion, sizeof kVersion);
      *dataLen = sizeof kVersion;
      return kOk;
    }
    case RCX_MDX_STAT: {
      if (cap < 12) fail(kBufferTooSmall, "The data buffer needs 12 bytes");
      sqlite3_stmt* q = conn->prepare("SELECT count(*) FROM " + meta->from);
      int rc = sqlite3_step(q);
      std::uint32_t v[3] = {rc == SQLITE_ROW ? std::uint32_t(sqlite3_column_int64(q, 0)) : 0u,
                            std::uint32_t(meta->def.columns.size()), std::uint32_t(meta->def.indexes.size())};
      sqlite3_reset(q);
      if (rc != SQLITE_ROW) failSqlite(conn->db, rc, "Counting records");
      std::memcpy(out, v, 12);
      *dataLen = 12;
      return kOk;
    }
    case RCX_MDX_GET_POSITION: return putBookmark();
    case RCX_MDX_GET_DIRECT: {
      if (cap < 4) fail(kBufferTooSmall, "The data buffer holds no bookmark");
      std::int32_t b;
      std::memcpy(&b, out, 4);
      return gotoBookmark(b);
    }
    case RCX_MDX_GET_FIRST:
    case RCX_MDX_GET_NEXT:
    case RCX_MDX_GET_PREV:
    case RCX_MDX_GET_LAST: {
      if (keyNum >= 0) {
        if (size_t(keyNum) >= meta->def.indexes.size()) fail(kNoSuchIndex, "No index number " + std::to_string(keyNum));
        std::string name = meta->def.indexes[size_t(keyNum)].name;
        setIndex(name.c_str());
      }
      static const std::uint32_t codes[] = {RCX_MoveFirst, RCX_MoveNext, RCX_MovePrev, RCX_MoveLast};
      std::int32_t r = move(codes[op - RCX_MDX_GET_FIRST]);
      if (r != kOk) return r;
      return putBookmark();
    }
    default: fail(kNotSupported, "Direct operation " + std::to_string(op) + " is not supported");
  }
}

}  // namespace rcx
