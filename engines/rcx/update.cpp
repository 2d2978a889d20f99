// Record updates: prepared records, long values, inserts, updates and deletes.
#include <algorithm>
#include <cstring>

#include "engines/rcx/core.h"

namespace rcx {

namespace {

constexpr std::uint32_t kLongValueLimit = 1000000000;  // SQLite's default maximum length

std::string_view bytesOf(const Value& v, std::string& scratch) {
  switch (v.kind) {
    case Value::Text:
    case Value::Blob: return v.s;
    case Value::Int: scratch = std::to_string(v.i); return scratch;
    case Value::Real: scratch = std::to_string(v.r); return scratch;
    default: return {};
  }
}

// Exact equality for the "changed since read" check (1 and 1.0 are different writes).
bool sameStored(const ValueRef& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Value::Null: return true;
    case Value::Int: return a.i == b.i;
    case Value::Real: return std::memcmp(&a.r, &b.r, sizeof a.r) == 0;
    default: return a.s == std::string_view(b.s);
  }
}

}  // namespace

void Cursor::cancelPrepared() {
  if (upd == Upd::None) return;
  if (recordLockHeld && conn) conn->unlockRecord(tableName, updRowid);
  recordLockHeld = false;
  upd = Upd::None;
  prep.clear();
  orig.clear();
  blobLoaded.clear();
  blobDirty.clear();
}

std::int32_t Cursor::initUpdate(int mode) {
  materialise();
  switch (mode) {
    case RCX_INIT_INSERT: {
      checkWritable();
      cancelPrepared();
      size_t n = meta->def.columns.size();
      prep = meta->defaults;
      orig.clear();  // an insert has no original
      blobLoaded.assign(n, 1);
      blobDirty.assign(n, 0);
      upd = Upd::Insert;
      return kOk;
    }
    case RCX_INIT_UPDATE: {
      checkWritable();
      if (pos != Pos::On) return kNoCurrentRecord;
      cancelPrepared();
      refreshPoint();
      Session* s = session();
      if (!conn->lockRecord(tableName, rowid, s ? s->lockWaitMs : 0))
        fail(kRecordLocked, "The record is being changed by another session");
      live = nullptr;
      if (!fetchCurrent()) {
        conn->unlockRecord(tableName, rowid);
        pos = Pos::Gap;
        fail(kNoSuchRecord, "The record was deleted by another user");
      }
      recordLockHeld = true;
      updRowid = rowid;
      orig = mat;
      prep = mat;
      blobLoaded.assign(mat.size(), 0);
      blobDirty.assign(mat.size(), 0);
      for (size_t i = 0; i < mat.size(); ++i)
        if (meta->selectPos[i] >= 0) blobLoaded[i] = 1;
      upd = Upd::Update;
      return kOk;
    }
    case RCX_INIT_END_INSERT:
    case 8:
    case 16:
    case 32: checkUsable(); return kOk;
    default: fail(kInvalidParameter, "Unknown update mode " + std::to_string(mode));
  }
}

std::int32_t Cursor::setColumn(std::uint32_t columnId, const void* data, std::uint32_t length, std::uint32_t grbit,
                               std::uint32_t nullMark, const RCX_RETINFO* info) {
  materialise();
  const kxstore::ColumnDef& col = column(columnId);
  if (upd == Upd::None) fail(kNoInitUpdate, "Call VoskInitUpdate before writing column " + col.name);
  if (!data && length > 0) fail(kInvalidParameter, "No data for column " + col.name);
  if (info && info->Struct != sizeof(RCX_RETINFO)) fail(kInvalidParameter, "RCX_RETINFO.Struct must be 8");
  size_t i = columnId - 1;
  if (nullMark) {
    prep[i] = Value{};
    blobLoaded[i] = 1;
    blobDirty[i] = 1;
    return kOk;
  }
  if (!col.isBlob()) {
    if (grbit != 0) fail(kInvalidParameter, "Only long values are written in pieces");
    prep[i] = encodeValue(col, data, length, codec);
    return kOk;
  }
  if (grbit > 1) fail(kInvalidParameter, "grbit is 0 (whole value) or 1 (at an offset)");
  if (!blobLoaded[i]) {
    prep[i] = blobValue(int(i));
    orig[i] = prep[i];
    blobLoaded[i] = 1;
  }
  const bool text = col.colClass == kxstore::kClassLongText;
  std::string scratch;
  std::string value;
  if (grbit == 0) {
    value.assign(static_cast<const char*>(data), length);
    if (text) value.resize(strnlen(value.c_str(), value.size()));  // text ends at its first zero byte
  } else {
    std::string_view cur = bytesOf(prep[i], scratch);
    value.assign(cur.data(), cur.size());
    if (codec.oem && text) value = fromOem(value);
    std::uint64_t offset = info ? info->LongValue : value.size();
    if (offset > value.size()) value.resize(offset, '\0');
    if (offset + length > value.size()) value.resize(offset + length);
    if (length) std::memcpy(value.data() + offset, data, length);
  }
  std::int32_t status = kOk;
  std::uint32_t limit = std::min(col.size, kLongValueLimit);
  if (value.size() > limit) {
    value.resize(limit);
    status = kDataTruncated;
  }
  if (value.empty()) prep[i] = Value{};
  else if (text) prep[i] = Value::text(codec.oem ? toOem(value) : value);
  else prep[i] = Value::blob(std::move(value));
  blobDirty[i] = 1;
  return status;
}

std::int32_t Cursor::blobSize(std::uint32_t columnId, std::uint32_t& size) {
  checkUsable();
  materialise();
  const kxstore::ColumnDef& col = column(columnId);
  if (!col.isBlob()) fail(kInvalidParameter, "Column " + col.name + " is not a long value");
  size_t i = columnId - 1;
  std::string scratch;
  Value v;
  if (upd != Upd::None) {
    if (!blobLoaded[i]) {
      prep[i] = blobValue(int(i));
      orig[i] = prep[i];
      blobLoaded[i] = 1;
    }
    v = prep[i];
  } else {
    if (pos != Pos::On) return kNoCurrentRecord;
    v = blobValue(int(i));
  }
  std::string_view b = bytesOf(v, scratch);
  std::string conv;
  if (codec.oem && col.colClass == kxstore::kClassLongText) b = conv = fromOem(b);
  size = std::uint32_t(std::min<size_t>(b.size(), UINT32_MAX));
  return kOk;
}

std::int32_t Cursor::truncateBlob(std::uint32_t columnId, std::uint32_t position) {
  materialise();
  const kxstore::ColumnDef& col = column(columnId);
  if (!col.isBlob()) fail(kInvalidParameter, "Column " + col.name + " is not a long value");
  if (upd == Upd::None) fail(kNoInitUpdate, "Call VoskInitUpdate before changing column " + col.name);
  size_t i = columnId - 1;
  if (!blobLoaded[i]) {
    prep[i] = blobValue(int(i));
    orig[i] = prep[i];
    blobLoaded[i] = 1;
  }
  std::string scratch;
  std::string value(bytesOf(prep[i], scratch));
  const bool text = col.colClass == kxstore::kClassLongText;
  if (codec.oem && text) value = fromOem(value);
  if (position > value.size())
    fail(kInvalidParameter, "Column " + col.name + " is " + std::to_string(value.size()) + " bytes long");
  value.resize(position);
  if (value.empty()) prep[i] = Value{};
  else if (text) prep[i] = Value::text(codec.oem ? toOem(value) : value);
  else prep[i] = Value::blob(value);
  blobDirty[i] = 1;
  return kOk;
}

std::int32_t Cursor::cancelUpdate() {
  cancelPrepared();
  return kOk;
}

std::int32_t Cursor::updateRecord() {
  materialise();
  if (upd == Upd::None) fail(kNoInitUpdate, "No record is prepared");
  checkWritable();
  const auto& cols = meta->def.columns;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (!(cols[i].flags & kxstore::kColumnRequired) || cols[i].native == kxstore::kNativeAutoInc) continue;
    if (cols[i].isBlob() && !blobLoaded[i]) continue;  // unchanged
    if (prep[i].isNull()) fail(kNullNotValid, "Column " + cols[i].name + " requires a value");
  }
  Connection& c = *conn;
  Session* s = session();

  if (upd == Upd::Insert) {
    std::int64_t newRowid = 0;
    writeTransaction(c, meta->hasAutoInc, [&] {
      for (size_t i = 0; i < cols.size(); ++i) {
        if (cols[i].native != kxstore::kNativeAutoInc) continue;
        std::int64_t last = 0;
        int rc = kxstore::readAutoIncLast(c.db, tableName, cols[i].name, last);
        if (rc != SQLITE_OK) failSqlite(c.db, rc, "Reading the auto-increment value");
        // Rows written by SQL do not move the stored counter; never hand out a value in use.
        sqlite3_stmt* q = c.prepare("SELECT max(" + kxstore::quoteIdent(cols[i].name) + ") FROM " + meta->from);
        rc = sqlite3_step(q);
        if (rc == SQLITE_ROW) last = std::max<std::int64_t>(last, sqlite3_column_int64(q, 0));
        sqlite3_reset(q);
        if (rc != SQLITE_ROW) failSqlite(c.db, rc, "Reading the auto-increment value");
        bool assign = prep[i].isNull() || (prep[i].kind == Value::Int && prep[i].i == 0);
        std::int64_t limit = cols[i].colClass == kxstore::kClassSmallInt ? 32767 : INT32_MAX;
        if (assign) {
          if (last >= limit) fail(kFieldTooLong, "Column " + cols[i].name + " has run out of values");
          prep[i] = Value::integer(last + 1);
        }
        if (prep[i].kind == Value::Int && prep[i].i > last) {
          rc = kxstore::writeAutoIncLast(c.db, tableName, cols[i].name, prep[i].i);
          if (rc != SQLITE_OK) failSqlite(c.db, rc, "Storing the auto-increment value");
        }
      }
      if (!insertStmt) {
        int rc = sqlite3_prepare_v3(c.db, meta->insertSql.c_str(), int(meta->insertSql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &insertStmt, nullptr);
        if (rc != SQLITE_OK) failSqlite(c.db, rc, "Preparing an insert into " + tableName);
      }
      sqlite3_stmt* ins = insertStmt;
      for (size_t i = 0; i < cols.size(); ++i) bindChecked(c.db, ins, int(i) + 1, prep[i]);
      int rc = sqlite3_step(ins);
      sqlite3_reset(ins);
      sqlite3_clear_bindings(ins);
      if (rc != SQLITE_DONE) failSqlite(c.db, rc, "Inserting into " + tableName);
      newRowid = sqlite3_last_insert_rowid(c.db);
      if (newRowid < 1 || newRowid > INT32_MAX) {
        // Bookmarks are 31 bits: take the row out again.
        sqlite3_stmt* del = c.prepare("DELETE FROM " + meta->from + " WHERE rowid=?1");
        sqlite3_bind_int64(del, 1, newRowid);
        sqlite3_step(del);
        sqlite3_reset(del);
        fail(kFieldTooLong, "Table " + tableName + " has no row id below 2^31 left");
      }
    });
    c.changed();
    cancelPrepared();
    resetWalker();
    pos = Pos::On;
    rowid = newRowid;
    live = nullptr;
    matValid = false;
    keyValid = false;
    return kOk;
  }

  // Update: only the columns that changed, and only if nobody changed the record meanwhile.
  std::vector<size_t> changed;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (cols[i].isBlob()) {
      if (blobDirty[i] && !(prep[i] == orig[i])) changed.push_back(i);
    } else if (!(prep[i] == orig[i])) {
      changed.push_back(i);
    }
  }
  if (!changed.empty()) {
    writeTransaction(c, true, [&] {
      std::string sql = "SELECT " + meta->selectList + " FROM " + meta->from + " WHERE rowid=?1";
      sqlite3_stmt* q = c.prepare(sql);
      sqlite3_bind_int64(q, 1, updRowid);
      int rc = sqlite3_step(q);
      bool same = true;
      if (rc == SQLITE_ROW) {
        for (size_t i = 0; i < cols.size(); ++i) {
          int p = meta->selectPos[i];
          if (p >= 0 && !sameStored(columnRef(q, p), orig[i])) same = false;
        }
      }
      sqlite3_reset(q);
      if (rc == SQLITE_DONE) fail(kNoSuchRecord, "The record was deleted by another user");
      if (rc != SQLITE_ROW) failSqlite(c.db, rc, "Reading a record of " + tableName);
      if (!same) fail(kRecordChanged, "The record was changed by another user since it was read");
      for (size_t i : changed)
        if (cols[i].isBlob() && blobLoaded[i]) {
          Value now = blobValue(int(i));
          if (!(now == orig[i])) fail(kRecordChanged, "The record was changed by another user since it was read");
        }
      std::string sqlUpd = "UPDATE " + meta->from + " SET ";
      for (size_t k = 0; k < changed.size(); ++k)
        sqlUpd += (k ? ", " : "") + kxstore::quoteIdent(cols[changed[k]].name) + " = ?" + std::to_string(k + 2);
      sqlUpd += " WHERE rowid=?1";
      sqlite3_stmt* u = c.prepare(sqlUpd);
      sqlite3_bind_int64(u, 1, updRowid);
      for (size_t k = 0; k < changed.size(); ++k) bindChecked(c.db, u, int(k) + 2, prep[changed[k]]);
      rc = sqlite3_step(u);
      sqlite3_reset(u);
      if (rc != SQLITE_DONE) failSqlite(c.db, rc, "Updating a record of " + tableName);
    });
    c.changed();
    if (s && s->inTransaction() && c.lockRecord(tableName, updRowid, 0)) c.txnLocks.emplace_back(tableName, updRowid);
  }
  std::int64_t r = updRowid;
  cancelPrepared();
  resetWalker();
  pos = Pos::On;
  rowid = r;
  live = nullptr;
  matValid = false;
  keyValid = false;
  return kOk;
}

std::int32_t Cursor::deleteRecord() {
  materialise();
  checkWritable();
  cancelPrepared();
  if (pos != Pos::On) return kNoCurrentRecord;
  Session* s = session();
  Connection& c = *conn;
  if (!c.lockRecord(tableName, rowid, s ? s->lockWaitMs : 0))
    fail(kRecordLocked, "The record is being changed by another session");
  struct Unlock {
    Connection& c;
    const std::string& t;
    std::int64_t r;
    ~Unlock() { c.unlockRecord(t, r); }
  } unlock{c, tableName, rowid};
  ensureKey();  // the position between the neighbours is kept by the deleted record's key
  writeTransaction(c, false, [&] {
    sqlite3_stmt* d = c.prepare("DELETE FROM " + meta->from + " WHERE rowid=?1");
    sqlite3_bind_int64(d, 1, rowid);
    int rc = sqlite3_step(d);
    sqlite3_reset(d);
    if (rc != SQLITE_DONE) failSqlite(c.db, rc, "Deleting a record of " + tableName);
    if (sqlite3_changes(c.db) == 0) fail(kNoSuchRecord, "The record was deleted by another user");
  });
  c.changed();
  if (s && s->inTransaction() && c.lockRecord(tableName, rowid, 0)) c.txnLocks.emplace_back(tableName, rowid);
  resetWalker();
  pos = Pos::Gap;
  live = nullptr;
  matValid = false;
  return kOk;
}

}  // namespace rcx
