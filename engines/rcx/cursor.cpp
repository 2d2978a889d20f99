// Cursors: opening, positioning and walking along an index.
//
// A walk is a chain of "stages", each one prepared statement that SQLite answers with an index
// seek: for a walk forward from the record (k1..kn, rowid r) the stages are
//   k1..kn equal and rowid > r,  then  k1..kn-1 equal and segment n after kn,  ...,
//   then segment 1 after k1,
// each ordered by the index. Their results follow each other in index order, so the cursor
// steps the current stage until it runs dry and then opens the next. Statements stay open while
// the cursor keeps walking in one direction; anything else (a move the other way, a write, a
// new snapshot) rebuilds the walk from the current record's key.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engines/rcx/core.h"

namespace rcx {

namespace {

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// Copies a value into `dst`, reusing its storage.
void assign(Value& dst, const ValueRef& src) {
  dst.kind = src.kind;
  dst.i = src.i;
  dst.r = src.r;
  dst.s.assign(src.s.data(), src.s.size());
}

}  // namespace

// ---- Opening and closing -------------------------------------------------------------------------

void Cursor::open(DbHandle* db, const std::string& table, int mode) {
  if (mode < 0 || (mode & ~7) || ((mode & 3) != 0 && (mode & 3) != 3))
    fail(kInvalidParameter, "Unknown table open mode " + std::to_string(mode));
  dbh = db;
  conn = db->conn;
  codec.oem = db->oem;
  meta = conn->meta(table);
  if (meta->def.withoutRowid) {
    meta.reset();
    conn.reset();
    fail(kNotSupported, "Table " + table + " has no row ids (WITHOUT ROWID) and cannot be walked by bookmark");
  }
  tableName = meta->def.name;
  openMode = mode;
  readOnly = (mode & RCX_TABLE_READONLY) != 0;
  exclusive = (mode & 3) == 3;
  tableLockFd = locks::openLockFile(conn->file);
  tableLockByte = locks::tableByte(tableName);
  if (!locks::lock(tableLockFd, exclusive ? F_WRLCK : F_RDLCK, tableLockByte, 0)) {
    if (tableLockFd >= 0) ::close(tableLockFd);
    tableLockFd = -1;
    meta.reset();
    conn.reset();
    if (exclusive) fail(kTableInUse, "Table " + table + " is open in another cursor");
    fail(kTableLocked, "Table " + table + " is open exclusively in another cursor");
  }
  ownerOk = meta->def.owner.empty();
  conn->cursors.push_back(this);
  index = -1;
  buildSegments();
  pos = Pos::Before;
}

void Cursor::close() {
  if (conn) {
    cancelPrepared();
    resetWalker();
    dropStatements();
    auto& v = conn->cursors;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (tableLockFd >= 0) ::close(tableLockFd);
  tableLockFd = -1;
  conn.reset();
  meta.reset();
  dbh = nullptr;
  tableName.clear();
  pending = false;
  pendingDef = kxstore::TableDef{};
  readOnly = exclusive = false;
  ownerOk = true;
  securedOption = false;
  index = -1;
  segs.clear();
  pos = Pos::Before;
  rowid = 0;
  key.clear();
  keyValid = false;
  live = nullptr;
  mat.clear();
  matValid = false;
  walker = Walker{};
  upd = Upd::None;
  prep.clear();
  orig.clear();
  blobLoaded.clear();
  blobDirty.clear();
  recordLockHeld = false;
  chains.clear();
  nextTag = 1;
  for (auto& k : keys) k.clear();
  lo = hi = Bound{};
  mardexKey.clear();
  mardexFilter.clear();
}

void Cursor::reloadMeta() {
  conn->forgetMeta();
  std::string currentIndex = index >= 0 ? meta->def.indexes[size_t(index)].name : std::string();
  resetWalker();
  dropStatements();
  meta = conn->meta(tableName);
  index = -1;
  if (!currentIndex.empty())
    for (size_t i = 0; i < meta->def.indexes.size(); ++i)
      if (lower(meta->def.indexes[i].name) == lower(currentIndex)) index = int(i);
  buildSegments();
  keyValid = false;
  matValid = false;
}

void Cursor::checkUsable() const {
  if (!conn) fail(kInvalidTable, "The table is not open");
  if (!ownerOk && meta && !(meta->def.accessMode & 1))
    fail(kAccessDenied, "Table " + tableName + " has an owner; give the owner name to use it");
}

void Cursor::checkWritable() const {
  checkUsable();
  if (readOnly) fail(kPermissionDenied, "Table " + tableName + " was opened read-only");
  if (conn->readOnly) fail(kFileAccessDenied, "The database file cannot be written");
  if (!ownerOk) fail(kAccessDenied, "Table " + tableName + " has an owner; give the owner name to change it");
}

const kxstore::ColumnDef& Cursor::column(std::uint32_t columnId) const {
  if (columnId < 1 || columnId > meta->def.columns.size())
    fail(kBadColumnId, "Column id " + std::to_string(columnId) + " is out of range: table " + tableName + " has " +
                           std::to_string(meta->def.columns.size()) + " columns");
  return meta->def.columns[columnId - 1];
}

// ---- Statements ---------------------------------------------------------------------------------

sqlite3_stmt* Cursor::stmt(const std::string& sql) {
  auto it = cache.find(sql);
  if (it != cache.end()) {
    sqlite3_reset(it->second);
    return it->second;
  }
  if (cache.size() >= 64) {
    // A cursor rarely needs many shapes; drop the idle ones.
    for (auto i = cache.begin(); i != cache.end();) {
      if (i->second != walker.st && i->second != live) {
        sqlite3_finalize(i->second);
        i = cache.erase(i);
      } else {
        ++i;
      }
    }
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(conn->db, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) failSqlite(conn->db, rc, "Preparing a read of table " + tableName);
  cache.emplace(sql, st);
  return st;
}

void Cursor::dropStatements() {
  live = nullptr;
  walker.st = nullptr;
  sqlite3_finalize(insertStmt);
  insertStmt = nullptr;
  for (auto& [sql, st] : cache) sqlite3_finalize(st);
  cache.clear();
}

void Cursor::resetWalker() {
  if (walker.st) {
    if (live == walker.st) {
      // Keep the current record's key for re-anchoring a walk from it later.
      if (!keyValid && liveGen == conn->gen) captureKey(live);
      live = nullptr;
    }
    sqlite3_reset(walker.st);
  }
  walker.st = nullptr;
  walker.stages.clear();
  walker.stage = 0;
  walker.dir = 0;
  walker.exhausted = true;
  walker.searching = false;
}

void Cursor::detach() {
  // The key of the current record is already captured; the record itself is read again by
  // its row id when needed.
  resetWalker();
  live = nullptr;
}

void Cursor::refreshPoint() {
  Session* s = session();
  if (s && !s->inTransaction() && s->stability == 0) conn->releaseSnapshot();
}

void Cursor::buildSegments() {
  segs.clear();
  if (index < 0) return;
  for (const auto& seg : meta->def.indexes[size_t(index)].segments) {
    Segment s;
    s.col = seg.columnNo - 1;
    s.desc = seg.descending();
    std::string coll = seg.collation;
    s.noCase = coll == "NOCASE" || coll == kxstore::kNoCaseCollation;
    s.expr = kxstore::quoteIdent(meta->def.columns[size_t(s.col)].name);
    if (!coll.empty() && coll != "BINARY") s.expr += " COLLATE " + coll;
    segs.push_back(std::move(s));
  }
}

// ---- Walking ------------------------------------------------------------------------------------

void Cursor::buildWalker(int dir, int kind, const std::vector<Value>& anchor, std::int64_t anchorRowid, bool searching) {
  resetWalker();
  walker.dir = dir;
  walker.gen = conn->gen;
  walker.exhausted = false;
  walker.searching = searching;
  std::string base = "SELECT " + meta->selectList + " FROM " + meta->from;
  std::string order = " ORDER BY ";
  for (const auto& s : segs) order += s.expr + ((s.desc != (dir < 0)) ? " DESC, " : ", ");
  order += dir < 0 ? "rowid DESC" : "rowid";

  // A range's bounds on the first segment go into every stage, so SQLite's index scan stops
  // there itself; bounds over more segments are checked further per record (acceptRow).
  std::string bounds;
  std::vector<Value> boundBinds;
  if (!segs.empty()) {
    auto addBound = [&](const Bound& b, bool low) {
      if (!b.set || b.vals.empty() || b.vals[0].isNull()) return;
      bool atLeast = low != segs[0].desc;
      bounds += (bounds.empty() ? "" : " AND ") + segs[0].expr + (atLeast ? " >= ?" : " <= ?");
      boundBinds.push_back(b.vals[0]);
    };
    addBound(lo, true);
    addBound(hi, false);
  }
  auto add = [&](std::string where, std::vector<Value> binds) {
    if (!bounds.empty()) {
      where += (where.empty() ? "" : " AND ") + bounds;
      binds.insert(binds.end(), boundBinds.begin(), boundBinds.end());
    }
    walker.stages.push_back(Stage{base + (where.empty() ? "" : " WHERE " + where) + order, std::move(binds)});
  };
  auto equalPrefix = [&](size_t j, std::string& where, std::vector<Value>& binds) {
    for (size_t i = 0; i < j; ++i) {
      if (!where.empty()) where += " AND ";
      where += segs[i].expr + " IS ?";
      binds.push_back(anchor[i]);
    }
  };
  // Rows beyond the anchor's value of segment j, the segments before it equal.
  auto beyond = [&](size_t j) {
    const Segment& s = segs[j];
    const Value& k = anchor[j];
    auto stage = [&](const std::string& cond, bool bindK) {
      std::string where;
      std::vector<Value> binds;
      equalPrefix(j, where, binds);
      if (!where.empty()) where += " AND ";
      where += s.expr + cond;
      if (bindK) binds.push_back(k);
      add(where, std::move(binds));
    };
    // SQLite sorts NULL first: after every value in ascending order, before them descending.
    bool up = (dir > 0) != s.desc;  // walking toward larger values
    if (k.isNull()) {
      if ((dir > 0) == !s.desc) stage(" IS NOT NULL", false);
      return;
    }
    stage(up ? " > ?" : " < ?", true);
    if (!up) stage(" IS NULL", false);
  };

  if (kind == 0) {
    add("", {});
    return;
  }
  if (kind == 1) {
    std::string where;
    std::vector<Value> binds;
    equalPrefix(segs.size(), where, binds);
    if (!where.empty()) where += " AND ";
    where += dir > 0 ? "rowid > ?" : "rowid < ?";
    binds.push_back(Value::integer(anchorRowid));
    add(where, std::move(binds));
    for (size_t j = segs.size(); j-- > 0;) beyond(j);
    return;
  }
  // kind 2: the rows at or beyond a key prefix.
  size_t m = std::min(anchor.size(), segs.size());
  std::string where;
  std::vector<Value> binds;
  equalPrefix(m, where, binds);
  add(where, std::move(binds));
  for (size_t j = m; j-- > 0;) beyond(j);
}

ValueRef Cursor::rowValue(sqlite3_stmt* st, int col, Value& scratch) {
  int p = meta->selectPos[size_t(col)];
  if (p >= 0) return columnRef(st, p);
  // Long values are not part of the walk's select; read them by row id.
  std::int64_t rid = sqlite3_column_int64(st, 0);
  std::string sql = "SELECT " + kxstore::quoteIdent(meta->def.columns[size_t(col)].name) + " FROM " + meta->from + " WHERE rowid=?1";
  sqlite3_stmt* q = conn->prepare(sql);
  sqlite3_bind_int64(q, 1, rid);
  int rc = sqlite3_step(q);
  scratch = rc == SQLITE_ROW ? columnValue(q, 0) : Value{};
  sqlite3_reset(q);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) failSqlite(conn->db, rc, "Reading a long value");
  return scratch;
}

void Cursor::captureKey(sqlite3_stmt* st) {
  key.resize(segs.size());
  for (size_t i = 0; i < segs.size(); ++i) assign(key[i], columnRef(st, meta->selectPos[size_t(segs[i].col)]));
  keyValid = true;
}

int Cursor::compareToBound(sqlite3_stmt* st, const Bound& b) {
  Value scratch;
  for (size_t i = 0; i < b.vals.size() && i < segs.size(); ++i) {
    int c = compareValues(rowValue(st, segs[i].col, scratch), b.vals[i], segs[i].noCase);
    if (segs[i].desc) c = -c;
    if (c != 0) return c;
  }
  return 0;
}

bool Cursor::matchesSearch(sqlite3_stmt* st, bool& stop) {
  // Parts are matched to segments by column; the leading exact parts must be equal (the walk
  // started at them, so the first difference ends the search), other exact parts are checked.
  const auto& parts = keys[RCX_KEY_SEARCH];
  Value scratch;
  bool leading = true;
  for (size_t i = 0; i < segs.size(); ++i) {
    const KeyPart* part = nullptr;
    for (const auto& p : parts)
      if (p.col == segs[i].col) {
        part = &p;
        break;
      }
    if (!part) {
      leading = false;
      continue;
    }
    if (part->nearest) {
      leading = false;
      continue;
    }
    if (compareValues(rowValue(st, segs[i].col, scratch), part->v, segs[i].noCase) != 0) {
      if (leading) stop = true;
      return false;
    }
  }
  return true;
}

bool Cursor::acceptRow(sqlite3_stmt* st, bool& stop) {
  stop = false;
  // One-segment bounds are part of the stages' SQL already.
  if ((lo.set && lo.vals.size() > 1) || (hi.set && hi.vals.size() > 1)) {
    if (walker.dir > 0) {
      if (hi.set && compareToBound(st, hi) > 0) {
        stop = true;
        return false;
      }
      if (lo.set && compareToBound(st, lo) < 0) return false;
    } else {
      if (lo.set && compareToBound(st, lo) < 0) {
        stop = true;
        return false;
      }
      if (hi.set && compareToBound(st, hi) > 0) return false;
    }
  }
  if (walker.searching && !matchesSearch(st, stop)) return false;
  return chains.empty() || passesFilters(st);
}

std::int32_t Cursor::step() {
  for (;;) {
    if (!walker.st) {
      if (walker.stage >= walker.stages.size()) {
        walker.exhausted = true;
        return kNoCurrentRecord;
      }
      const Stage& sg = walker.stages[walker.stage];
      walker.st = stmt(sg.sql);
      for (size_t i = 0; i < sg.binds.size(); ++i) bindChecked(conn->db, walker.st, int(i) + 1, sg.binds[i]);
    }
    int rc = sqlite3_step(walker.st);
    if (rc == SQLITE_ROW) {
      bool stop = false;
      if (acceptRow(walker.st, stop)) {
        pos = Pos::On;
        rowid = sqlite3_column_int64(walker.st, 0);
        // The key is read from the statement only when the walk is left (see resetWalker).
        keyValid = false;
        live = walker.st;
        liveGen = conn->gen;
        matValid = false;
        walker.searching = false;
        return kOk;
      }
      if (!stop) continue;
      rc = SQLITE_DONE;
      walker.stage = walker.stages.size();
    }
    if (live == walker.st) live = nullptr;
    sqlite3_reset(walker.st);
    walker.st = nullptr;
    if (rc != SQLITE_DONE) {
      walker.exhausted = true;
      failSqlite(conn->db, rc, "Reading table " + tableName);
    }
    ++walker.stage;
  }
}

bool Cursor::fetchCurrent() {
  std::string sql = "SELECT " + meta->selectList + " FROM " + meta->from + " WHERE rowid=?1";
  sqlite3_stmt* q = stmt(sql);
  sqlite3_bind_int64(q, 1, rowid);
  int rc = sqlite3_step(q);
  if (rc == SQLITE_ROW) {
    mat.resize(meta->def.columns.size());
    for (int c = 0; c < meta->columnCount(); ++c) {
      int p = meta->selectPos[size_t(c)];
      if (p >= 0) assign(mat[size_t(c)], columnRef(q, p));
      else mat[size_t(c)] = Value{};
    }
    captureKey(q);
    matValid = true;
    matGen = conn->gen;
  }
  sqlite3_reset(q);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) failSqlite(conn->db, rc, "Reading a record of " + tableName);
  matValid = false;
  return false;
}

bool Cursor::ensureKey() {
  if (keyValid && key.size() == segs.size()) return true;
  if (pos == Pos::On && fetchCurrent()) return true;
  return false;
}

ValueRef Cursor::currentValue(int col, Value& scratch) {
  if (upd != Upd::None) return prep[size_t(col)];
  if (meta->selectPos[size_t(col)] < 0) {
    scratch = blobValue(col);
    return scratch;
  }
  if (live && liveGen == conn->gen) return columnRef(live, meta->selectPos[size_t(col)]);
  if (!matValid || matGen != conn->gen) {
    if (!fetchCurrent()) {
      pos = Pos::Gap;
      fail(kNoCurrentRecord, "The current record was deleted");
    }
  }
  return mat[size_t(col)];
}

Value Cursor::blobValue(int col) {
  std::string sql = "SELECT " + kxstore::quoteIdent(meta->def.columns[size_t(col)].name) + " FROM " + meta->from + " WHERE rowid=?1";
  sqlite3_stmt* q = conn->prepare(sql);
  sqlite3_bind_int64(q, 1, rowid);
  int rc = sqlite3_step(q);
  Value v = rc == SQLITE_ROW ? columnValue(q, 0) : Value{};
  sqlite3_reset(q);
  if (rc == SQLITE_DONE) {
    pos = Pos::Gap;
    fail(kNoCurrentRecord, "The current record was deleted");
  }
  if (rc != SQLITE_ROW) failSqlite(conn->db, rc, "Reading a long value of " + tableName);
  return v;
}

// ---- Moves ---------------------------------------------------------------------------------------

std::int32_t Cursor::firstOrLast(int dir, bool useSearch) {
  refreshPoint();
  if (dir > 0) {
    const auto& parts = keys[RCX_KEY_SEARCH];
    if (useSearch && !parts.empty() && !segs.empty()) {
      // Start at the leading parts of the key.
      std::vector<Value> anchor;
      for (const auto& s : segs) {
        const KeyPart* part = nullptr;
        for (const auto& p : parts)
          if (p.col == s.col) {
            part = &p;
            break;
          }
        if (!part) break;
        anchor.push_back(part->v);
      }
      if (anchor.empty() && lo.set) anchor = lo.vals;
      buildWalker(+1, anchor.empty() ? 0 : 2, anchor, 0, true);
    } else if (lo.set) {
      buildWalker(+1, 2, lo.vals, 0, false);
    } else {
      buildWalker(+1, 0, {}, 0, false);
    }
  } else {
    if (hi.set) buildWalker(-1, 2, hi.vals, 0, false);
    else buildWalker(-1, 0, {}, 0, false);
  }
  return step();
}

std::int32_t Cursor::moveRelative(int dir) {
  if (walker.dir == dir && !walker.exhausted && walker.gen == conn->gen && (walker.st || walker.stage < walker.stages.size()))
    return step();
  switch (pos) {
    case Pos::Before:
      if (dir < 0) return kNoCurrentRecord;
      return firstOrLast(+1);
    case Pos::After:
      if (dir > 0) return kNoCurrentRecord;
      return firstOrLast(-1);
    default:
      break;
  }
  if (!ensureKey()) {
    // The record is gone and its key unknown: start again from the matching end.
    return firstOrLast(dir);
  }
  std::vector<Value> anchor = key;
  buildWalker(dir, 1, anchor, rowid, false);
  return step();
}

std::int32_t Cursor::move(std::uint32_t code) {
  checkUsable();
  materialise();
  cancelPrepared();
  switch (code) {
    case RCX_MoveFirst: return firstOrLast(+1);
    case RCX_MoveLast: return firstOrLast(-1);
    case RCX_MoveNext: return moveRelative(+1);
    case RCX_MovePrev: return moveRelative(-1);
    default: fail(kInvalidParameter, "Unknown move code " + std::to_string(code));
  }
}

// ---- Bookmarks, counts, percentages ---------------------------------------------------------------

std::int32_t Cursor::bookmark(std::int64_t& out) {
  checkUsable();
  materialise();
  if (upd == Upd::Insert || pos != Pos::On) return kNoCurrentRecord;
  if (rowid < 1 || rowid > INT32_MAX) fail(kInvalidBookmark, "The record's row id does not fit a bookmark");
  out = rowid;
  return kOk;
}

std::int32_t Cursor::gotoBookmark(std::int64_t b) {
  checkUsable();
  materialise();
  // A prepared record stays when the bookmark is its own (or, for an insert, none).
  if (upd == Upd::Update && b == updRowid) return kOk;
  if (b < 1) {
    if (upd == Upd::Insert) return kNoSuchRecord;
    return kNoSuchRecord;
  }
  refreshPoint();
  std::int64_t saved = rowid;
  Pos savedPos = pos;
  rowid = b;
  if (!fetchCurrent()) {
    rowid = saved;
    pos = savedPos;
    keyValid = false;
    return kNoSuchRecord;
  }
  cancelPrepared();
  resetWalker();
  pos = Pos::On;
  live = nullptr;
  return kOk;
}

namespace {
// Walks a cursor's visible records without moving it.
struct SavedPosition {
  Cursor& c;
  Cursor::Pos pos;
  std::int64_t rowid;
  std::vector<Value> key;
  bool keyValid;
  explicit SavedPosition(Cursor& cur) : c(cur), pos(cur.pos), rowid(cur.rowid), key(cur.key), keyValid(cur.keyValid) {}
  ~SavedPosition() {
    c.resetWalker();
    c.pos = pos;
    c.rowid = rowid;
    c.key = key;
    c.keyValid = keyValid;
    c.live = nullptr;
  }
};
}  // namespace

std::int32_t Cursor::recordCount(std::int64_t& out) {
  checkUsable();
  materialise();
  if (!lo.set && !hi.set && chains.empty()) {
    sqlite3_stmt* q = conn->prepare("SELECT count(*) FROM " + meta->from);
    int rc = sqlite3_step(q);
    out = rc == SQLITE_ROW ? sqlite3_column_int64(q, 0) : 0;
    sqlite3_reset(q);
    if (rc != SQLITE_ROW) failSqlite(conn->db, rc, "Counting the records of " + tableName);
    return kOk;
  }
  SavedPosition keep(*this);
  std::int64_t n = 0;
  for (std::int32_t r = firstOrLast(+1, false); r == kOk; r = step()) ++n;
  out = n;
  return kOk;
}

std::int32_t Cursor::findPercentage(std::int32_t& out) {
  checkUsable();
  materialise();
  if (pos != Pos::On || upd == Upd::Insert) return kNoCurrentRecord;
  if (!ensureKey()) return kNoCurrentRecord;
  std::int64_t total = 0;
  recordCount(total);
  std::int64_t before = 0;
  {
    SavedPosition keep(*this);
    std::vector<Value> anchor = key;
    buildWalker(-1, 1, anchor, rowid, false);
    while (step() == kOk) ++before;
  }
  if (total <= 0) return kNoCurrentRecord;
  out = std::int32_t(std::min<std::int64_t>(10000, std::llround(double(before + 1) * 10000.0 / double(total))));
  return kOk;
}

std::int32_t Cursor::getByPercentage(std::int32_t p) {
  checkUsable();
  materialise();
  if (p < 0 || p > 10000) fail(kInvalidParameter, "A percentage is 0 to 10000 hundredths");
  std::int64_t total = 0;
  recordCount(total);
  if (total == 0) return kNoCurrentRecord;
  std::int64_t target = std::llround(double(total) * p / 10000.0);
  target = std::clamp<std::int64_t>(target, 1, total);
  cancelPrepared();
  std::int32_t r = firstOrLast(+1, false);
  for (std::int64_t i = 1; i < target && r == kOk; ++i) r = step();
  return r;
}

std::int32_t Cursor::refresh() {
  checkUsable();
  materialise();
  refreshPoint();
  resetWalker();
  live = nullptr;
  matValid = false;
  if (pos == Pos::On && upd == Upd::None && !fetchCurrent()) pos = Pos::Gap;
  return kOk;
}

std::int32_t Cursor::setIndex(const char* name) {
  checkUsable();
  materialise();
  int found = -1;
  if (name && *name) {
    for (size_t i = 0; i < meta->def.indexes.size(); ++i)
      if (lower(meta->def.indexes[i].name) == lower(name)) found = int(i);
    if (found < 0) fail(kNoSuchIndex, "Table " + tableName + " has no index " + name);
  }
  if (found == index) return kOk;
  resetWalker();
  index = found;
  buildSegments();
  // Ranges and search keys are made for one index.
  lo = hi = Bound{};
  keys[RCX_KEY_SEARCH].clear();
  keys[RCX_KEY_RANGE_START].clear();
  keys[RCX_KEY_RANGE_END].clear();
  keyValid = false;
  if (pos == Pos::Gap) pos = Pos::Before;
  return kOk;
}

// ---- Column reads --------------------------------------------------------------------------------

// The common case of a record read: a short column of the record the walk stands on, stored
// in its column's own form. Anything else takes the general path below.
bool Cursor::fastRetrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual, std::int32_t& st) {
  if (!live || upd != Upd::None || !buf || codec.oem || liveGen != conn->gen) return false;
  const TableMeta& m = *meta;
  if (columnId - 1 >= m.def.columns.size() || (!ownerOk && !(m.def.accessMode & 1))) return false;
  int p = m.selectPos[columnId - 1];
  if (p < 0) return false;
  const kxstore::ColumnDef& col = m.def.columns[columnId - 1];
  // One statement call, then the light value accessors.
  sqlite3_value* val = sqlite3_column_value(live, p);
  int type = sqlite3_value_type(val);
  if (type == SQLITE_NULL) {
    if (actual) *actual = 0;
    st = kNull;
    return true;
  }
  auto* out = static_cast<unsigned char*>(buf);
  switch (col.colClass) {
    case kxstore::kClassInteger: {
      if (type != SQLITE_INTEGER || size < 4) return false;
      std::int64_t v = sqlite3_value_int64(val);
      bool u = col.native == kxstore::kNativeUnsigned;
      if (u ? (v < 0 || v > 4294967295LL) : (v < INT32_MIN || v > INT32_MAX)) return false;
      std::uint32_t x = std::uint32_t(v);
      std::memcpy(out, &x, 4);
      if (actual) *actual = 4;
      st = kOk;
      return true;
    }
    case kxstore::kClassDouble:
    case kxstore::kClassCurrency: {
      if (type != SQLITE_FLOAT || size < 8) return false;
      double d = sqlite3_value_double(val);
      std::memcpy(out, &d, 8);
      if (actual) *actual = 8;
      st = kOk;
      return true;
    }
    case kxstore::kClassVarText: {
      if (type != SQLITE_TEXT) return false;
      const unsigned char* t = sqlite3_value_text(val);
      std::uint32_t n = std::uint32_t(sqlite3_value_bytes(val));
      if (!t || n >= size) return false;
      std::memcpy(out, t, n);
      out[n] = '\0';
      if (actual) *actual = n;
      st = kOk;
      return true;
    }
    default: return false;
  }
}

std::int32_t Cursor::retrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual,
                              const RCX_RETINFO* info) {
  std::int32_t fast;
  if (!info && fastRetrieve(columnId, buf, size, actual, fast)) return fast;
  checkUsable();
  materialise();
  const kxstore::ColumnDef& col = column(columnId);
  int ci = int(columnId - 1);
  if (actual) *actual = 0;
  if (!buf && size > 0) fail(kInvalidParameter, "No buffer");
  if (info && info->Struct != sizeof(RCX_RETINFO)) fail(kInvalidParameter, "RCX_RETINFO.Struct must be 8");
  if (upd == Upd::None && pos != Pos::On) return kNoCurrentRecord;
  std::uint32_t n = 0;
  if (col.isBlob()) {
    Value scratch;
    ValueRef v;
    if (upd != Upd::None) {
      if (!blobLoaded[size_t(ci)]) {
        prep[size_t(ci)] = blobValue(ci);
        orig[size_t(ci)] = prep[size_t(ci)];
        blobLoaded[size_t(ci)] = 1;
      }
      v = prep[size_t(ci)];
    } else {
      v = currentValue(ci, scratch);
    }
    if (v.isNull()) return kNull;
    std::string conv;
    std::string_view bytes = v.s;
    if (v.kind != Value::Text && v.kind != Value::Blob) {
      conv = v.kind == Value::Int ? std::to_string(v.i) : std::to_string(v.r);
      bytes = conv;
    } else if (codec.oem && col.colClass == kxstore::kClassLongText) {
      conv = fromOem(bytes);
      bytes = conv;
    }
    if (size == 0) {
      if (actual) *actual = std::uint32_t(bytes.size());
      return kOk;
    }
    std::uint64_t offset = info ? info->LongValue : 0;
    if (offset >= bytes.size()) return kOk;
    n = std::uint32_t(std::min<std::uint64_t>(size, bytes.size() - offset));
    std::memcpy(buf, bytes.data() + offset, n);
    if (actual) *actual = n;
    return (!info && n < bytes.size()) ? kTruncated : kOk;
  }
  Value scratch;
  ValueRef v = currentValue(ci, scratch);
  if (v.isNull()) return kNull;
  std::int32_t st = decodeValue(col, v, buf, size, n, codec);
  if (actual) *actual = n;
  return st;
}

}  // namespace rcx
