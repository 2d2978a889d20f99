// Fetching rows into bound buffers, scrolling, bookmarks and SQLGetData.
#include "engines/odbc/fetch.h"

#include "engines/odbc/convert.h"
#include "engines/odbc/program.h"
#include "engines/odbc/types.h"

namespace kxodbc {

namespace {

char* boundAddress(const Desc& ard, const DescRec& rec, SQLULEN row, SQLLEN elemSize) {
  if (!rec.dataPtr) return nullptr;
  char* p = static_cast<char*>(rec.dataPtr);
  if (ard.bindOffsetPtr) p += *ard.bindOffsetPtr;
  if (row) p += static_cast<SQLLEN>(row) * (ard.bindType == SQL_BIND_BY_COLUMN ? elemSize : static_cast<SQLLEN>(ard.bindType));
  return p;
}

SQLLEN* boundLen(const Desc& ard, SQLLEN* base, SQLULEN row) {
  if (!base) return nullptr;
  char* p = reinterpret_cast<char*>(base);
  if (ard.bindOffsetPtr) p += *ard.bindOffsetPtr;
  if (row)
    p += static_cast<SQLLEN>(row) *
         (ard.bindType == SQL_BIND_BY_COLUMN ? static_cast<SQLLEN>(sizeof(SQLLEN)) : static_cast<SQLLEN>(ard.bindType));
  return reinterpret_cast<SQLLEN*>(p);
}

void writeBookmark(SQLSMALLINT ctype, void* dst, SQLLEN bufLen, SQLLEN* ind, uint32_t bm) {
  if (!dst) {
    if (ind) *ind = 4;
    return;
  }
  switch (ctype) {
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      uint64_t v = bm;
      std::memcpy(dst, &v, 8);
      if (ind) *ind = 8;
      break;
    }
    case SQL_C_VARBOOKMARK:
      if (bufLen < 4) fail("22003", "Numeric value out of range: bookmark buffer too small");
      std::memcpy(dst, &bm, 4);
      if (ind) *ind = 4;
      break;
    default:  // SQL_C_ULONG, SQL_C_SLONG: four bytes, as the bookmarks are kept within 31 bits
      std::memcpy(dst, &bm, 4);
      if (ind) *ind = 4;
      break;
  }
}

void buildPlan(Stmt& s, const Result& res) {
  Desc& ard = *s.curArd;
  s.plan.clear();
  int n = ard.count();
  if (n > res.ncols) n = res.ncols;
  for (int c = 1; c <= n; ++c) {
    const DescRec& rec = ard.recs[static_cast<size_t>(c)];
    if (!rec.dataPtr && !rec.indicatorPtr && !rec.octetLengthPtr) continue;
    const ColInfo& ci = s.cols[static_cast<size_t>(c - 1)];
    Stmt::BoundColumn b{};
    b.col = c - 1;
    b.ctype = resolveCType(rec.conciseType, ci.sqlType);
    SQLLEN fixed = cTypeSize(b.ctype);
    b.elemSize = fixed > 0 ? fixed : rec.octetLength;
    b.ptr = static_cast<char*>(rec.dataPtr);
    b.bufLen = rec.octetLength;
    b.ind = rec.indicatorPtr;
    b.len = rec.octetLengthPtr;
    b.precision = rec.precision;
    b.scale = rec.scale;
    b.sqlType = ci.sqlType;
    b.size = ci.size;
    b.digits = ci.digits;
    b.plainText = !(ci.sqlType == SQL_CHAR || ci.sqlType == SQL_WCHAR) &&
                  !((ci.sqlType == SQL_NUMERIC || ci.sqlType == SQL_DECIMAL) && ci.digits > 0);
    s.plan.push_back(b);
  }
  s.planVersion = s.bindVersion;
}

// Fast conversions of the common pairs straight from a stepping statement; false when the
// general conversion must run.
inline bool fastColumn(sqlite3_stmt* st, const Stmt::BoundColumn& b, char* dst, SQLLEN* ind, SQLLEN* len, int& worst) {
  int t = sqlite3_column_type(st, b.col);
  switch (b.ctype) {
    case SQL_C_SLONG:
    case SQL_C_LONG: {
      if (t != SQLITE_INTEGER || !dst) return false;
      sqlite3_int64 v = sqlite3_column_int64(st, b.col);
      if (v < INT32_MIN || v > INT32_MAX) return false;
      int32_t x = static_cast<int32_t>(v);
      std::memcpy(dst, &x, 4);
      if (ind) *ind = 4;
      if (len && len != ind) *len = 4;
      return true;
    }
    case SQL_C_SBIGINT: {
      if (t != SQLITE_INTEGER || !dst) return false;
      sqlite3_int64 v = sqlite3_column_int64(st, b.col);
      std::memcpy(dst, &v, 8);
      if (ind) *ind = 8;
      if (len && len != ind) *len = 8;
      return true;
    }
    case SQL_C_DOUBLE: {
      if ((t != SQLITE_FLOAT && t != SQLITE_INTEGER) || !dst) return false;
      double v = sqlite3_column_double(st, b.col);
      std::memcpy(dst, &v, 8);
      if (ind) *ind = 8;
      if (len && len != ind) *len = 8;
      return true;
    }
    case SQL_C_CHAR: {
      if (t != SQLITE_TEXT || !b.plainText || !dst || b.bufLen <= 0) return false;
      const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, b.col));
      size_t n = static_cast<size_t>(sqlite3_column_bytes(st, b.col));
      if (!p) return false;
      size_t room = static_cast<size_t>(b.bufLen) - 1;
      size_t take = n;
      if (n > room) {
        take = room;
        while (take > 0 && (static_cast<unsigned char>(p[take]) & 0xC0) == 0x80) --take;
        if (take == 0) take = room;
        worst = worst > kOutTruncated ? worst : kOutTruncated;
      }
      std::memcpy(dst, p, take);
      dst[take] = 0;
      if (ind) *ind = static_cast<SQLLEN>(n);
      if (len && len != ind) *len = static_cast<SQLLEN>(n);
      return true;
    }
    default:
      if (t == SQLITE_NULL && ind) {
        *ind = SQL_NULL_DATA;
        return true;
      }
      return false;
  }
}

// Moves the current row of the result into row r of the application's rowset buffers.
int fillRow(Stmt& s, Result& res, SQLULEN r) {
  Desc& ard = *s.curArd;
  int worst = kOutOk;
  if (!ard.recs.empty() && s.useBookmarks != SQL_UB_OFF) {
    const DescRec& b = ard.recs[0];
    if (b.dataPtr || b.indicatorPtr) {
      SQLLEN elem = b.conciseType == SQL_C_VARBOOKMARK ? b.octetLength : (cTypeSize(b.conciseType) > 0 ? cTypeSize(b.conciseType) : 4);
      writeBookmark(b.conciseType, boundAddress(ard, b, r, elem), b.octetLength, boundLen(ard, b.indicatorPtr, r),
                    res.bookmark());
    }
  }
  if (s.planVersion != s.bindVersion) buildPlan(s, res);
  sqlite3_stmt* st = res.kind == Result::Kind::Stream ? static_cast<StreamResult&>(res).stmt() : nullptr;
  SQLLEN offset = ard.bindOffsetPtr ? *ard.bindOffsetPtr : 0;
  bool byColumn = ard.bindType == SQL_BIND_BY_COLUMN;
  SQLLEN rowStride = byColumn ? 0 : static_cast<SQLLEN>(ard.bindType);
  for (const Stmt::BoundColumn& b : s.plan) {
    SQLLEN shift = offset + static_cast<SQLLEN>(r) * (byColumn ? b.elemSize : rowStride);
    SQLLEN lenShift = offset + static_cast<SQLLEN>(r) * (byColumn ? static_cast<SQLLEN>(sizeof(SQLLEN)) : rowStride);
    char* dst = b.ptr ? b.ptr + shift : nullptr;
    SQLLEN* ind = b.ind ? reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(b.ind) + lenShift) : nullptr;
    SQLLEN* len = b.len ? reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(b.len) + lenShift) : nullptr;
    if (st && fastColumn(st, b, dst, ind, len, worst)) continue;
    ValView v = res.get(b.col);
    if (v.kind != VK::Null && !dst) {
      // Only the length is wanted.
      if (ind && ind != len) *ind = 0;
      if (len) *len = static_cast<SQLLEN>(v.n);
      continue;
    }
    OutTarget t;
    t.ctype = b.ctype;
    t.ptr = dst;
    t.bufLen = b.bufLen;
    t.ind = ind;
    t.len = len;
    t.precision = b.precision;
    t.scale = b.scale;
    ColType ct{b.sqlType, b.size, b.digits};
    int stt = convertOut(v, ct, t, nullptr);
    if (stt > worst && stt != kOutNoData) worst = stt;
  }
  return worst;
}

void noteStatus(Stmt& s, int worst) {
  if (worst == kOutTruncated) s.warn("01004", "String data, right truncated");
  else if (worst == kOutFraction) s.warn("01S07", "Fractional truncation");
}

// Index of the row `steps` live rows away from `from` (exclusive) in direction dir, for
// dynamic cursors that skip deleted rows; -1 / count when there is none.
SQLLEN liveFrom(Result& res, SQLLEN from, int dir) {
  SQLLEN n = res.count();
  SQLLEN i = from;
  while (i >= 0 && i < n) {
    if (res.load(i)) return i;
    i += dir;
  }
  return i < 0 ? -1 : n;
}

SQLLEN liveOrdinal(Result& res, SQLLEN idx) {
  SQLLEN k = 0;
  for (SQLLEN i = 0; i < idx; ++i)
    if (!res.isDeleted(i)) ++k;
  return k + 1;
}

}  // namespace

SQLRETURN fetchRows(Stmt& s, SQLSMALLINT orient, SQLLEN offset, SQLULEN* rowsOut, SQLUSMALLINT* statusOut) {
  if (!s.result) {
    if (s.executed || s.prepared) fail("24000", "Invalid cursor state: no result set");
    fail("HY010", "Function sequence error");
  }
  Result& res = *s.result;
  Desc& ard = *s.curArd;
  SQLULEN R = ard.arraySize ? ard.arraySize : 1;
  SQLULEN* fetched = rowsOut ? rowsOut : s.ird.rowsProcessedPtr;
  SQLUSMALLINT* status = statusOut ? statusOut : s.ird.arrayStatusPtr;
  s.gdColumn = -1;
  s.gdOffset = 0;
  s.gdDone = false;
  s.gdRow = 0;
  if (fetched) *fetched = 0;
  auto fillStatus = [&](SQLULEN from, SQLUSMALLINT v) {
    if (status)
      for (SQLULEN k = from; k < R; ++k) status[k] = v;
  };
  const Hooks* hooks = s.prog ? &s.prog->hooks : nullptr;

  if (res.kind == Result::Kind::Stream || s.effectiveCursor == SQL_CURSOR_FORWARD_ONLY) {
    if (orient != SQL_FETCH_NEXT) fail("HY106", "Fetch type out of range: the cursor is forward-only");
    SQLULEN got = 0;
    int worst = kOutOk;
    while (got < R && res.step()) {
      int st = fillRow(s, res, got);
      if (st > worst) worst = st;
      if (status) status[got] = st == kOutOk ? SQL_ROW_SUCCESS : SQL_ROW_SUCCESS_WITH_INFO;
      ++got;
    }
    if (fetched) *fetched = got;
    fillStatus(got, SQL_ROW_NOROW);
    if (got == 0) {
      s.rowNumber = 0;
      return SQL_NO_DATA;
    }
    s.rowNumber = static_cast<SQLULEN>(res.pos + 1 - static_cast<SQLLEN>(got) + 1);
    noteStatus(s, worst);
    if (hooks && !hooks->fetchInfo.empty()) s.warn(hooks->fetchInfo.c_str(), "Information requested by the statement");
    return SQL_SUCCESS;
  }

  bool dynamic = s.effectiveCursor == SQL_CURSOR_DYNAMIC;
  if ((orient == SQL_FETCH_FIRST || orient == SQL_FETCH_LAST) && dynamic) res.refresh();
  SQLLEN n = res.count();
  SQLLEN cur = res.pos;
  bool before = cur < 0 && !res.afterEnd;
  bool after = res.afterEnd;
  SQLLEN rs = static_cast<SQLLEN>(R);
  // Offsets beyond either end all mean "outside"; clamping keeps the arithmetic from overflowing.
  SQLLEN limit = n + rs + 1;
  if (offset > limit) offset = limit;
  if (offset < -limit) offset = -limit;
  SQLLEN start = 0;
  int dir = 1;
  bool warnPrior = false;
  switch (orient) {
    case SQL_FETCH_NEXT:
      start = before ? 0 : (after ? n : cur + s.lastRowset);
      break;
    case SQL_FETCH_PRIOR:
      dir = -1;
      if (before) start = -1;
      else if (after) start = n - rs < 0 ? 0 : n - rs;
      else if (cur == 0) start = -1;
      else if (cur < rs) {
        start = 0;
        warnPrior = true;
      } else
        start = cur - rs;
      if (start == -1 && !before && hooks && !hooks->priorInfo.empty() && n > 0) {
        start = 0;
        warnPrior = true;
      }
      break;
    case SQL_FETCH_FIRST:
      start = 0;
      break;
    case SQL_FETCH_LAST:
      dir = -1;
      start = n - rs < 0 ? 0 : n - rs;
      break;
    case SQL_FETCH_ABSOLUTE:
      if (offset < 0) {
        start = n + offset;
        if (start < 0) start = (-offset <= rs && n > 0) ? 0 : -1;
      } else if (offset == 0) {
        start = -1;
      } else {
        start = offset - 1;
      }
      break;
    case SQL_FETCH_RELATIVE:
      if (before) start = offset > 0 ? offset - 1 : -1;
      else if (after) start = offset < 0 ? n + offset : n;
      else start = cur + offset;
      if (offset < 0) dir = -1;
      if (start < 0 && !before && cur + offset < 0 && cur > 0 && -offset <= rs) start = 0;
      break;
    case SQL_FETCH_BOOKMARK: {
      if (s.useBookmarks == SQL_UB_OFF) fail("HY106", "Fetch type out of range: bookmarks are off");
      if (!s.fetchBookmarkPtr) fail("HY111", "Invalid bookmark value");
      uint32_t bm;
      std::memcpy(&bm, s.fetchBookmarkPtr, 4);
      SQLLEN idx = res.indexOfBookmark(bm);
      if (idx < 0 || res.isDeleted(idx)) fail("HY111", "Invalid bookmark value");
      start = idx + offset;
      break;
    }
    default:
      fail("HY106", "Fetch type out of range");
  }
  // Dynamic cursors skip rows deleted since the keyset was built.
  if (dynamic && start >= 0 && start < n) start = liveFrom(res, start, dir);
  if (start < 0) {
    res.pos = -1;
    res.afterEnd = false;
    s.rowNumber = 0;
    s.lastRowset = 0;
    fillStatus(0, SQL_ROW_NOROW);
    return SQL_NO_DATA;
  }
  if (start >= n) {
    res.pos = n;
    res.afterEnd = true;
    s.rowNumber = 0;
    s.lastRowset = 0;
    fillStatus(0, SQL_ROW_NOROW);
    return SQL_NO_DATA;
  }
  SQLULEN got = 0;
  int worst = kOutOk;
  SQLLEN idx = start;
  SQLLEN first = -1;
  while (got < R && idx < n) {
    bool live = res.load(idx);
    if (!live && dynamic) {
      ++idx;
      continue;
    }
    if (first < 0) first = idx;
    if (live) {
      int st = fillRow(s, res, got);
      if (st > worst) worst = st;
      if (status) status[got] = st == kOutOk ? SQL_ROW_SUCCESS : SQL_ROW_SUCCESS_WITH_INFO;
    } else if (status) {
      status[got] = SQL_ROW_DELETED;
    }
    ++got;
    ++idx;
  }
  fillStatus(got, SQL_ROW_NOROW);
  if (fetched) *fetched = got;
  if (got == 0) {
    res.pos = n;
    res.afterEnd = true;
    s.rowNumber = 0;
    return SQL_NO_DATA;
  }
  s.lastRowset = idx - first;
  // The first row of the rowset is the current row.
  if (got > 1 || res.pos != first) res.load(first);
  res.pos = first;
  res.afterEnd = false;
  s.rowNumber = static_cast<SQLULEN>(dynamic ? liveOrdinal(res, first) : first + 1);
  noteStatus(s, worst);
  if (warnPrior) s.warn(hooks && !hooks->priorInfo.empty() ? hooks->priorInfo.c_str() : "01S06",
                        "Attempt to fetch before the result set returned the first rowset");
  if (hooks && !hooks->fetchInfo.empty()) s.warn(hooks->fetchInfo.c_str(), "Information requested by the statement");
  return SQL_SUCCESS;
}

SQLRETURN getData(Stmt& s, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER ptr, SQLLEN bufLen, SQLLEN* ind) {
  if (!s.result) fail("24000", "Invalid cursor state: no result set");
  Result& res = *s.result;
  bool onRow = res.kind == Result::Kind::Stream ? static_cast<StreamResult&>(res).onRow()
                                                 : (res.pos >= 0 && res.pos < res.count() && !res.afterEnd);
  if (!onRow) fail("24000", "Invalid cursor state: no current row");
  if (res.kind != Result::Kind::Stream && res.isDeleted(res.pos)) fail("HY109", "Invalid cursor position: row deleted");
  if (bufLen < 0) fail("HY090", "Invalid string or buffer length");
  if (col == 0) {
    if (s.useBookmarks == SQL_UB_OFF) fail("07009", "Invalid descriptor index: bookmarks are off");
    if (s.gdColumn == 0 && s.gdDone) return SQL_NO_DATA;
    writeBookmark(ctype == SQL_C_DEFAULT ? SQL_C_ULONG : ctype, ptr, bufLen, ind, res.bookmark());
    s.gdColumn = 0;
    s.gdDone = true;
    return SQL_SUCCESS;
  }
  if (col > res.ncols) fail("07009", "Invalid descriptor index");
  const ColInfo& ci = s.cols[col - 1];
  if (ctype == SQL_ARD_TYPE) {
    const Desc& ard = *s.curArd;
    ctype = col <= ard.count() ? ard.recs[col].conciseType : SQL_C_DEFAULT;
  }
  if (!isValidCType(ctype)) fail("HY003", "Invalid application buffer type");
  if (s.gdColumn != static_cast<int>(col)) {
    s.gdColumn = col;
    s.gdOffset = 0;
    s.gdDone = false;
  } else if (s.gdDone && bufLen == 0) {
    // A length probe after the value was read starts it again, so the same row can be read twice.
    s.gdOffset = 0;
    s.gdDone = false;
  }
  OutTarget t;
  t.ctype = resolveCType(ctype, ci.sqlType);
  t.ptr = ptr;
  t.bufLen = bufLen;
  t.ind = ind;
  t.len = ind;
  if (t.ctype == SQL_C_NUMERIC && col <= s.curArd->count()) {
    t.precision = s.curArd->recs[col].precision;
    t.scale = s.curArd->recs[col].scale;
  }
  if (!ptr && cTypeSize(t.ctype) > 0) fail("HY009", "Invalid use of null pointer");
  ColType ct{ci.sqlType, ci.size, ci.digits};
  ValView v = res.get(col - 1);
  int st;
  size_t before = s.gdOffset;
  try {
    st = convertOut(v, ct, t, &s.gdOffset);
  } catch (...) {
    // A failed conversion consumes nothing: the column can be asked for again.
    s.gdOffset = before;
    throw;
  }
  if (st == kOutNoData) {
    s.gdDone = true;
    return SQL_NO_DATA;
  }
  if (st == kOutTruncated) {
    s.warn("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  s.gdDone = true;
  if (st == kOutFraction) s.warn("01S07", "Fractional truncation");
  return SQL_SUCCESS;
}

SQLRETURN setPos(Stmt& s, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock) {
  if (!s.result) fail("24000", "Invalid cursor state");
  (void)lock;
  Result& res = *s.result;
  if (op != SQL_POSITION && op != SQL_REFRESH) fail("HYC00", "Optional feature not implemented");
  if (res.kind == Result::Kind::Stream) {
    if (row > 1) fail("HY107", "Row value out of range");
    return SQL_SUCCESS;
  }
  if (res.pos < 0 || res.afterEnd) fail("24000", "Invalid cursor state");
  SQLLEN target = res.pos + (row == 0 ? 0 : static_cast<SQLLEN>(row) - 1);
  if (static_cast<SQLLEN>(row) > s.lastRowset) fail("HY107", "Row value out of range");
  SQLLEN first = res.pos;
  if (!res.load(target)) fail("HY109", "Invalid cursor position");
  if (op == SQL_REFRESH) {
    fillRow(s, res, row == 0 ? 0 : row - 1);
  }
  // The rowset start stays the reference for later fetches; SQLGetData reads the chosen row.
  s.gdColumn = -1;
  if (op == SQL_POSITION) res.pos = target;
  else res.load(first);
  if (op == SQL_POSITION && target != first) s.lastRowset -= target - first;
  return SQL_SUCCESS;
}

}  // namespace kxodbc
