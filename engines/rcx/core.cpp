#include "engines/rcx/core.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <thread>
#include <algorithm>

namespace rcx {

// ---- Handle registry ---------------------------------------------------------------------------

namespace {

constexpr unsigned kPageBits = 12;
constexpr std::size_t kPageSize = std::size_t(1) << kPageBits;
constexpr std::size_t kPages = std::size_t(1) << (32 - kPageBits);

// A directory of pages of slots, indexed by handle: lookups take no lock.
std::atomic<std::atomic<Object*>*> g_dir[kPages];
std::mutex g_dirMu;
std::atomic<std::uint32_t> g_next{1};

std::atomic<Object*>* slot(std::uint32_t h, bool create) {
  auto& page = g_dir[h >> kPageBits];
  std::atomic<Object*>* p = page.load(std::memory_order_acquire);
  if (!p && create) {
    std::lock_guard<std::mutex> g(g_dirMu);
    p = page.load(std::memory_order_acquire);
    if (!p) {
      p = new std::atomic<Object*>[kPageSize];  // never freed: handles may be looked up at any time
      for (std::size_t i = 0; i < kPageSize; ++i) p[i].store(nullptr, std::memory_order_relaxed);
      page.store(p, std::memory_order_release);
    }
  }
  return p ? &p[h & (kPageSize - 1)] : nullptr;
}

// Recycled objects of each kind.
std::mutex g_poolMu;
std::deque<std::unique_ptr<Session>> g_sessions;
std::deque<std::unique_ptr<DbHandle>> g_dbs;
std::deque<std::unique_ptr<Cursor>> g_cursors;
std::deque<std::unique_ptr<ListTable>> g_lists;
std::vector<Session*> g_freeSessions;
std::vector<DbHandle*> g_freeDbs;
std::vector<Cursor*> g_freeCursors;
std::vector<ListTable*> g_freeLists;

template <class T>
T* take(std::deque<std::unique_ptr<T>>& all, std::vector<T*>& freeList) {
  std::lock_guard<std::mutex> g(g_poolMu);
  if (!freeList.empty()) {
    T* t = freeList.back();
    freeList.pop_back();
    return t;
  }
  all.push_back(std::make_unique<T>());
  return all.back().get();
}

template <class T>
void giveBack(std::vector<T*>& freeList, T* t) {
  std::lock_guard<std::mutex> g(g_poolMu);
  freeList.push_back(t);
}

thread_local std::int32_t t_lastStatus = 0;
thread_local std::string t_lastText;

}  // namespace

std::uint32_t registerObject(Object* o) {
  std::uint32_t h;
  do {
    h = g_next.fetch_add(1, std::memory_order_relaxed);
  } while (h == 0);
  o->handle.store(h, std::memory_order_release);
  slot(h, true)->store(o, std::memory_order_release);
  return h;
}

void unregisterObject(Object* o) {
  std::uint32_t h = o->handle.exchange(0);
  if (h == 0) return;
  if (auto s = slot(h, false)) s->store(nullptr, std::memory_order_release);
}

Object* findObject(std::uint32_t h) {
  if (h == 0) return nullptr;
  auto s = slot(h, false);
  return s ? s->load(std::memory_order_acquire) : nullptr;
}

Session* newSession() {
  Session* s = take(g_sessions, g_freeSessions);
  s->reset();
  s->owner.store(s);
  registerObject(s);
  return s;
}

DbHandle* newDatabase(Session* s) {
  DbHandle* d = take(g_dbs, g_freeDbs);
  d->conn.reset();
  d->name.clear();
  d->user.clear();
  d->rights = 0;
  d->secured = d->exclusive = d->oem = false;
  d->owner.store(s);
  registerObject(d);
  s->dbs.push_back(d);
  return d;
}

Cursor* newCursor(Session* s) {
  Cursor* c = take(g_cursors, g_freeCursors);
  c->owner.store(s);
  registerObject(c);
  s->tables.push_back(c);
  return c;
}

ListTable* newList(Session* s) {
  ListTable* l = take(g_lists, g_freeLists);
  l->rows.clear();
  l->cols.clear();
  l->pos = -1;
  l->owner.store(s);
  registerObject(l);
  s->tables.push_back(l);
  return l;
}

void releaseTable(TableObj* t) {
  Session* s = t->session();
  unregisterObject(t);
  t->close();
  if (s) {
    auto& v = s->tables;
    v.erase(std::remove(v.begin(), v.end(), t), v.end());
  }
  t->owner.store(nullptr);
  if (t->isList()) giveBack(g_freeLists, static_cast<ListTable*>(t));
  else giveBack(g_freeCursors, static_cast<Cursor*>(t));
}

void releaseDatabase(DbHandle* d) {
  Session* s = d->owner.load();
  unregisterObject(d);
  closeDatabase(d);
  if (s) {
    auto& v = s->dbs;
    v.erase(std::remove(v.begin(), v.end(), d), v.end());
  }
  d->owner.store(nullptr);
  giveBack(g_freeDbs, d);
}

void endSession(Session* s) {
  // Tables first (they use the connections), then databases; an open transaction rolls back.
  while (!s->tables.empty()) releaseTable(s->tables.back());
  if (s->inTransaction()) setTransact(s, RCX_LOGGING_OFF, nullptr);
  while (!s->dbs.empty()) releaseDatabase(s->dbs.back());
  s->conns.clear();
  unregisterObject(s);
  s->owner.store(nullptr);
  giveBack(g_freeSessions, s);
}

void Session::reset() {
  user.clear();
  password.clear();
  lockWaitMs = 1000;
  stability = 0;
  savepoints.clear();
  savepointCounter = 0;
  conns.clear();
  dbs.clear();
  tables.clear();
  lastStatus = 0;
  lastText.clear();
}

// ---- Lookups -----------------------------------------------------------------------------------

Session* lockSession(std::uint32_t h, Locked& l) {
  Object* o = findObject(h);
  if (!o || o->kind != Object::Kind::Session) fail(kInvalidSession, "Session handle " + std::to_string(h) + " is not open");
  auto s = static_cast<Session*>(o);
  l.lock(s->mu);
  if (s->handle.load(std::memory_order_relaxed) != h) {
    l.unlock();
    fail(kInvalidSession, "Session handle " + std::to_string(h) + " is not open");
  }
  l.session = s;
  return s;
}

namespace {

template <class T>
T* lockOwned(std::uint32_t hSes, std::uint32_t h, Object::Kind kind, std::int32_t badStatus, const char* what, Locked& l) {
  Object* o = findObject(h);
  if (!o || o->kind != kind) fail(badStatus, std::string(what) + " handle " + std::to_string(h) + " is not open");
  Session* s = o->owner.load(std::memory_order_acquire);
  if (!s) fail(badStatus, std::string(what) + " handle " + std::to_string(h) + " is not open");
  l.lock(s->mu);
  // Under the session's mutex nothing of it changes: check the object is still what was found.
  std::uint32_t sh = s->handle.load(std::memory_order_relaxed);
  if (o->handle.load(std::memory_order_relaxed) != h || o->owner.load(std::memory_order_relaxed) != s || sh == 0) {
    l.unlock();
    fail(badStatus, std::string(what) + " handle " + std::to_string(h) + " is not open");
  }
  l.session = s;
  if (hSes != 0 && sh != hSes) {
    Object* other = findObject(hSes);
    if (!other || other->kind != Object::Kind::Session)
      fail(kInvalidSession, "Session handle " + std::to_string(hSes) + " is not open");
    fail(badStatus, std::string(what) + " handle " + std::to_string(h) + " belongs to another session");
  }
  return static_cast<T*>(o);
}

}  // namespace

DbHandle* lockDatabase(std::uint32_t hSes, std::uint32_t hDb, Locked& l) {
  return lockOwned<DbHandle>(hSes, hDb, Object::Kind::Database, kInvalidDatabase, "Database", l);
}

TableObj* lockTable(std::uint32_t hSes, std::uint32_t hTab, Locked& l) {
  return lockOwned<TableObj>(hSes, hTab, Object::Kind::Table, kInvalidTable, "Table", l);
}

Cursor* asCursor(TableObj* t) {
  if (t->isList()) fail(kNotSupported, "A catalogue list only supports moves, reads and bookmarks");
  return static_cast<Cursor*>(t);
}

// ---- Errors ------------------------------------------------------------------------------------

void recordError(Session* s, std::int32_t status, const std::string& text) {
  if (s) {
    s->lastStatus = status;
    s->lastText = text;
  }
  t_lastStatus = status;
  t_lastText = text;
}

std::string errorText(std::uint32_t hSes, std::int32_t code) {
  std::string detail;
  if (Object* o = findObject(hSes); o && o->kind == Object::Kind::Session) {
    auto s = static_cast<Session*>(o);
    std::lock_guard<std::mutex> g(s->mu);
    if (s->handle.load() == hSes && s->lastStatus == code) detail = s->lastText;
  } else if (t_lastStatus == code) {
    detail = t_lastText;
  }
  std::string general = describeStatus(code);
  if (detail.empty()) return general;
  if (general.empty()) return detail;
  return detail + ".";
}

const char* describeStatus(std::int32_t s) {
  switch (s) {
    case kOk: return "";
    case kNotSupported: return "The operation is not supported";
    case kInvalidName: return "The name is empty, too long or contains control characters";
    case kInvalidParameter: return "An argument of the call is not valid";
    case kInvalidDatabase: return "The database handle is not open";
    case kOutOfMemory: return "Out of memory";
    case kDiskIo: return "The database file could not be read or written";
    case kInvalidPath: return "The database folder does not exist and cannot be made";
    case kNotADatabase: return "The file is not a database";
    case kFileAccessDenied: return "The database file cannot be written";
    case kBufferTooSmall: return "The buffer is too small for the value";
    case kInvalidBookmark: return "A bookmark is 4 bytes";
    case kBufferSizeMismatch: return "The stored value does not fit the column's type";
    case kInvalidSession: return "The session handle is not open";
    case kInvalidSessionOption: return "Unknown session option";
    case kNoSuchDatabase: return "There is no named database of that name";
    case kCorrupt: return "The database file is damaged";
    case kDatabaseLocked: return "Another session has the database open exclusively, or holds it open";
    case kTableLocked: return "Another cursor has the table open exclusively";
    case kTableExists: return "A table of that name exists";
    case kTableInUse: return "The table is open in another cursor";
    case kNoSuchTable: return "There is no table of that name";
    case kInvalidTable: return "The table handle is not open";
    case kPrimaryExists: return "The table has a primary index";
    case kIndexExists: return "The table has an index of that name";
    case kNoSuchIndex: return "The table has no index of that name";
    case kNullNotValid: return "A required column has no value";
    case kFieldTooLong: return "The value is longer than the column allows";
    case kNoSuchColumn: return "No such column";
    case kColumnExists: return "The table has a column of that name";
    case kInvalidColumnType: return "Unknown column class";
    case kCannotIndex: return "Bit and long-value columns cannot be indexed";
    case kBadColumnId: return "The column id is out of range";
    case kNoCurrentRecord: return "There is no record in that direction";
    case kDuplicateKey: return "Duplicate key value";
    case kNoInitUpdate: return "No record is prepared for insert or update";
    case kCannotOpenFile: return "The database file cannot be opened";
    case kDiskFull: return "The disk is full";
    case kPermissionDenied: return "The table was opened read-only";
    case kInvalidAccount: return "Unknown user";
    case kInvalidPassword: return "Wrong password";
    case kAccessDenied: return "Access denied";
    case kNoTransaction: return "No transaction is open";
    case kSavepointNotOpen: return "No save point of that name is open";
    case kSavepointInUse: return "A save point of that name is open";
    case kLoginRequired: return "The database is secured: a user name is required";
    case kTableOpenElsewhere: return "The table is open; close its cursors first";
    case kRecordChanged: return "The record was changed by another user since it was read";
    case kNoSuchRecord: return "The record does not exist";
    case kRecordLocked: return "The record or table is locked by another session";
    case kInvalidDate: return "Invalid date or time";
    case kNull: return "The column is NULL";
    case kTruncated: return "The buffer was too small; the value was cut";
    case kDataTruncated: return "The long value was cut at the column's maximum";
    default: return "";
  }
}

std::int32_t statusForSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK: return kOk;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kRecordLocked;
    case SQLITE_FULL: return kDiskFull;
    case SQLITE_IOERR: return kDiskIo;
    case SQLITE_CORRUPT: return kCorrupt;
    case SQLITE_NOTADB: return kNotADatabase;
    case SQLITE_READONLY: return kFileAccessDenied;
    case SQLITE_CANTOPEN: return kCannotOpenFile;
    case SQLITE_PERM:
    case SQLITE_AUTH: return kPermissionDenied;
    case SQLITE_NOMEM: return kOutOfMemory;
    case SQLITE_TOOBIG: return kFieldTooLong;
    case SQLITE_NOTFOUND: return kNoSuchTable;
    case SQLITE_CONSTRAINT:
      if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT) return kDuplicateKey;
      if (rc == SQLITE_CONSTRAINT_NOTNULL) return kNullNotValid;
      return kInvalidParameter;
    default: return kInvalidParameter;
  }
}

void bindChecked(sqlite3* db, sqlite3_stmt* st, int idx, const Value& v) {
  int rc = bindValue(st, idx, v);
  if (rc != SQLITE_OK) failSqlite(db, rc, "Passing a value to SQLite");
}

void failSqlite(sqlite3* db, int rc, const std::string& what) {
  std::string text = what;
  if (db) {
    const char* m = sqlite3_errmsg(db);
    if (m && *m) text += ": " + std::string(m);
    int ext = sqlite3_extended_errcode(db);
    if ((ext & 0xFF) == (rc & 0xFF)) rc = ext;
  }
  fail(statusForSqlite(rc), text);
}

// ---- Locks ---------------------------------------------------------------------------------------

namespace locks {

namespace {
off_t hash30(std::string_view t) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : t) {
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    h = (h ^ c) * 1099511628211ull;
  }
  return off_t(h & ((1u << 30) - 1));
}
}  // namespace

off_t tableByte(std::string_view table) { return (off_t(1) << 61) + hash30(table); }

off_t recordByte(std::string_view table, std::int64_t rowid) {
  return (off_t(1) << 62) + (hash30(table) << 31) + off_t(rowid & 0x7FFFFFFF);
}

int openLockFile(const std::string& dbFile) {
  std::string f = dbFile + "-kxlock";
  int fd = ::open(f.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

bool lock(int fd, short type, off_t byte, int waitMs) {
  if (fd < 0) return true;  // no lock file (read-only folder): nothing to coordinate
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EBADF && type == F_WRLCK) return true;  // a read-only lock file: the data is read-only too
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace locks

// ---- Connections -------------------------------------------------------------------------------

Connection::~Connection() {
  for (auto& [sql, st] : stmts) sqlite3_finalize(st);
  stmts.clear();
  if (db) sqlite3_close_v2(db);
  if (lockFd >= 0) ::close(lockFd);
  if (counted) noteFileOpen(file, -1);
}

sqlite3_stmt* Connection::prepare(const std::string& sql) {
  auto it = stmts.find(sql);
  if (it != stmts.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) failSqlite(db, rc, "Preparing a statement");
  stmts.emplace(sql, st);
  return st;
}

std::int64_t Connection::schemaVersion() {
  sqlite3_stmt* st = prepare("PRAGMA schema_version");
  int rc = sqlite3_step(st);
  std::int64_t v = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
  sqlite3_reset(st);
  if (rc != SQLITE_ROW) failSqlite(db, rc, "Reading the schema version");
  return v;
}

std::shared_ptr<const TableMeta> Connection::meta(const std::string& table) {
  std::string key;
  for (char ch : table) key += char(std::tolower(static_cast<unsigned char>(ch)));
  std::int64_t version = schemaVersion();
  auto it = metaCache.find(key);
  if (it != metaCache.end() && it->second->schemaVersion == version) return it->second;
  auto m = std::make_shared<TableMeta>();
  int rc = kxstore::readTable(db, table, m->def);
  if (rc == SQLITE_NOTFOUND) fail(kNoSuchTable, "There is no table " + table);
  if (rc != SQLITE_OK) failSqlite(db, rc, "Reading the definition of table " + table);
  m->schemaVersion = version;
  m->from = kxstore::quoteIdent(m->def.name);
  m->selectList = "rowid";
  int pos = 1;
  for (const auto& c : m->def.columns) {
    if (c.isBlob()) {
      m->selectPos.push_back(-1);
    } else {
      m->selectList += ", " + kxstore::quoteIdent(c.name);
      m->selectPos.push_back(pos++);
    }
    if (c.native == kxstore::kNativeAutoInc) m->hasAutoInc = true;
    m->defaults.push_back(defaultValue(c));
  }
  m->insertSql = "INSERT INTO " + m->from + " (";
  std::string vals;
  for (size_t i = 0; i < m->def.columns.size(); ++i) {
    m->insertSql += (i ? ", " : "") + kxstore::quoteIdent(m->def.columns[i].name);
    vals += i ? ", ?" : "?";
  }
  m->insertSql += ") VALUES (" + vals + ")";
  metaCache[key] = m;
  return m;
}

void Connection::releaseSnapshot() {
  for (Cursor* c : cursors) c->detach();
}

// ---- List tables ---------------------------------------------------------------------------------

std::int32_t ListTable::move(std::uint32_t code) {
  long n = long(rows.size());
  switch (code) {
    case RCX_MoveFirst:
      if (n == 0) return kNoCurrentRecord;
      pos = 0;
      return kOk;
    case RCX_MoveLast:
      if (n == 0) return kNoCurrentRecord;
      pos = n - 1;
      return kOk;
    case RCX_MoveNext:
      if (pos + 1 >= n) return kNoCurrentRecord;
      ++pos;
      return kOk;
    case RCX_MovePrev:
      if (pos <= 0) return kNoCurrentRecord;
      --pos;
      return kOk;
    default: fail(kInvalidParameter, "Unknown move code " + std::to_string(code));
  }
}

std::int32_t ListTable::retrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual,
                                 const RCX_RETINFO*) {
  if (pos < 0 || pos >= long(rows.size())) return kNoCurrentRecord;
  if (columnId < 1 || columnId > cols.size())
    fail(kBadColumnId, "The list has columns 1 to " + std::to_string(cols.size()));
  if (!buf && size > 0) fail(kInvalidParameter, "No buffer");
  const Value& v = rows[size_t(pos)][columnId - 1];
  std::uint32_t n = 0;
  if (v.isNull()) {
    if (actual) *actual = 0;
    return kNull;
  }
  std::int32_t st = decodeValue(cols[columnId - 1], v, buf, size, n, CodecOptions{});
  if (actual) *actual = n;
  return st;
}

std::int32_t ListTable::bookmark(std::int64_t& out) {
  if (pos < 0 || pos >= long(rows.size())) return kNoCurrentRecord;
  out = pos + 1;
  return kOk;
}

std::int32_t ListTable::gotoBookmark(std::int64_t b) {
  if (b < 1 || b > std::int64_t(rows.size())) return kNoSuchRecord;
  pos = long(b - 1);
  return kOk;
}

}  // namespace rcx
