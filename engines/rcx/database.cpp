// Databases: opening named databases, logins, transactions, table deletion and the catalogue
// lists.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engines/rcx/core.h"
#include "engines/store/dbnames.h"
#include "engines/store/home.h"

namespace rcx {

namespace {

std::mutex g_filesMu;
std::map<std::string, int> g_openFiles;  // file -> connections of this process

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool sameNoCase(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

// '*' and '?' wildcards, ignoring ASCII case.
bool wildcardMatch(std::string_view pat, std::string_view s) {
  size_t p = 0, i = 0, star = std::string_view::npos, mark = 0;
  auto eq = [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); };
  while (i < s.size()) {
    if (p < pat.size() && (pat[p] == '?' || eq(pat[p], s[i]))) {
      ++p;
      ++i;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = i;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

std::shared_ptr<Connection> openConnection(Session* s, const std::string& file) {
  auto c = std::make_shared<Connection>();
  c->file = file;
  c->session = s;
  int rc = sqlite3_open_v2(file.c_str(), &c->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(c->db);
    c->db = nullptr;
    rc = sqlite3_open_v2(file.c_str(), &c->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = c->db ? sqlite3_errmsg(c->db) : "cannot open";
      sqlite3_close_v2(c->db);
      c->db = nullptr;
      fail(kCannotOpenFile, "The database file " + file + " cannot be opened: " + msg);
    }
  }
  sqlite3_extended_result_codes(c->db, 1);
  sqlite3_busy_timeout(c->db, s->lockWaitMs);
  kxstore::installExtensions(c->db);
  // A damaged or foreign file shows on the first read.
  rc = sqlite3_exec(c->db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  int primary = rc & 0xFF;
  if ((primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) && sqlite3_db_readonly(c->db, "main") == 1 &&
      access((file + "-wal").c_str(), F_OK) != 0) {
    // A WAL database in a folder we cannot write has no shared-memory file to read through.
    // With no write-ahead log present the file itself is complete: read it as it is.
    sqlite3_close_v2(c->db);
    c->db = nullptr;
    std::string uri = "file:";
    for (char ch : file) {
      if (ch == '%' || ch == '?' || ch == '#') {
        char esc[4];
        std::snprintf(esc, sizeof esc, "%%%02X", static_cast<unsigned char>(ch));
        uri += esc;
      } else {
        uri += ch;
      }
    }
    uri += "?immutable=1";
    rc = sqlite3_open_v2(uri.c_str(), &c->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_extended_result_codes(c->db, 1);
      kxstore::installExtensions(c->db);
      rc = sqlite3_exec(c->db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    }
  }
  if (rc != SQLITE_OK) failSqlite(c->db, rc, "Reading " + file);
  c->readOnly = sqlite3_db_readonly(c->db, "main") == 1;
  if (!c->readOnly) {
    // WAL lets readers and one writer of other sessions and processes work at once; NORMAL
    // synchronisation keeps every commit across a process crash.
    rc = sqlite3_exec(c->db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    // Busy: another session is switching the file to WAL at this moment, which is as good.
    if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_BUSY) failSqlite(c->db, rc, "Preparing " + file);
    rc = sqlite3_exec(c->db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failSqlite(c->db, rc, "Preparing " + file);
    rc = kxstore::ensureCatalogue(c->db);
    if (rc == SQLITE_READONLY) c->readOnly = true;
    else if (rc != SQLITE_OK) failSqlite(c->db, rc, "Preparing the catalogue of " + file);
  }
  c->lockFd = locks::openLockFile(file);
  noteFileOpen(file, 1);
  c->counted = true;
  // A transaction of the session covers databases opened while it runs.
  for (const auto& sp : s->savepoints) c->exec(("SAVEPOINT " + sp.sqlName).c_str(), "Joining the transaction");
  return c;
}

struct Login {
  std::string user, password, adminUser, adminPassword;
};

Login splitLogin(std::string user, std::string password) {
  Login l;
  auto u = user.find("___");
  auto p = password.find("___");
  if (u != std::string::npos) {
    l.adminUser = user.substr(u + 3);
    user.resize(u);
  }
  if (p != std::string::npos) {
    l.adminPassword = password.substr(p + 3);
    password.resize(p);
  }
  l.user = user;
  l.password = password;
  return l;
}

}  // namespace

void noteFileOpen(const std::string& f, int delta) {
  std::lock_guard<std::mutex> g(g_filesMu);
  int& n = g_openFiles[f];
  n += delta;
  if (n <= 0) g_openFiles.erase(f);
}

bool fileOpenInProcess(const std::string& file) {
  std::lock_guard<std::mutex> g(g_filesMu);
  return g_openFiles.count(file) != 0;
}

void Connection::exec(const char* sql, const char* what) {
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) failSqlite(db, rc, what);
}

bool Connection::lockRecord(const std::string& table, std::int64_t rowid, int waitMs) {
  auto key = std::make_pair(lower(table), rowid);
  auto it = recordLocks.find(key);
  if (it != recordLocks.end()) {
    ++it->second;
    return true;
  }
  if (!locks::lock(lockFd, F_WRLCK, locks::recordByte(key.first, rowid), waitMs)) return false;
  recordLocks[key] = 1;
  return true;
}

void Connection::unlockRecord(const std::string& table, std::int64_t rowid) {
  auto key = std::make_pair(lower(table), rowid);
  auto it = recordLocks.find(key);
  if (it == recordLocks.end()) return;
  if (--it->second > 0) return;
  recordLocks.erase(it);
  locks::lock(lockFd, F_UNLCK, locks::recordByte(key.first, rowid), 0);
}

std::int32_t openDatabase(Session* s, const char* dbString, int flags, const char* user, const char* password,
                          std::uint32_t* hDb) {
  if (!dbString || !hDb) fail(kInvalidParameter, "No database string or handle address");
  if (flags & ~(RCX_OPEN_EXCLUSIVE | RCX_OPEN_OEM)) fail(kInvalidParameter, "Unknown open flags " + std::to_string(flags));
  *hDb = 0;
  std::string str = dbString;
  std::string host, name = str;
  if (auto tab = str.find('\t'); tab != std::string::npos) {
    host = str.substr(0, tab);
    name = str.substr(tab + 1);
  }
  auto trim = [](std::string& t) {
    while (!t.empty() && (t.back() == ' ')) t.pop_back();
    while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  };
  trim(host);
  trim(name);
  if (kxstore::checkDbName(name) != kxstore::DbStatus::ok)
    fail(kInvalidDatabaseName, "\"" + name + "\" is not a valid database name");
  kxstore::ServerLocation server = kxstore::locateServer(host);
  if (server.kind == kxstore::ServerKind::unknown) fail(kNoSuchDatabase, "The server " + host + " is not known");
  kxstore::ResolvedDb resolved;
  kxstore::DbStatus st = kxstore::resolveDatabase(server.home, name, resolved, true);
  switch (st) {
    case kxstore::DbStatus::ok: break;
    case kxstore::DbStatus::notFound: fail(kNoSuchDatabase, "There is no named database " + name);
    case kxstore::DbStatus::invalidPath:
    case kxstore::DbStatus::pathTooLong: fail(kInvalidPath, "The folder of database " + name + " cannot be used");
    default: fail(kCannotOpenFile, std::string("The named databases cannot be read: ") + kxstore::describe(st));
  }

  std::shared_ptr<Connection> conn;
  auto it = s->conns.find(resolved.file);
  bool fresh = it == s->conns.end();
  conn = fresh ? openConnection(s, resolved.file) : it->second;

  // Exclusive opens exclude every other session, in this process or another.
  bool exclusive = (flags & RCX_OPEN_EXCLUSIVE) != 0;
  int want = exclusive ? F_WRLCK : F_RDLCK;
  if (conn->dbLock != F_WRLCK && (conn->dbLock != want)) {
    if (!locks::lock(conn->lockFd, short(want), locks::kDatabaseByte, 0)) {
      fail(kDatabaseLocked, exclusive ? "Another session has database " + name + " open"
                                      : "Another session has database " + name + " open exclusively");
    }
    conn->dbLock = want;
  }

  // Logins are checked per database.
  bool secured = kxstore::hasUsers(conn->db);
  std::string loginUser;
  std::uint32_t rights = 0;
  if (secured) {
    Login l = splitLogin(user && *user ? user : s->user, user && *user ? (password ? password : "") : s->password);
    auto result = kxstore::LoginResult::unknownUser;
    if (!l.user.empty()) result = kxstore::checkLogin(conn->db, l.user, l.password, &rights);
    if (result == kxstore::LoginResult::ok) {
      loginUser = l.user;
    } else if (!l.adminUser.empty()) {
      std::uint32_t r = 0;
      if (kxstore::checkLogin(conn->db, l.adminUser, l.adminPassword, &r) == kxstore::LoginResult::ok &&
          (r & kxstore::kUserAdmin)) {
        result = kxstore::LoginResult::ok;
        loginUser = l.adminUser;
        rights = r;
      }
    }
    if (result != kxstore::LoginResult::ok) {
      if (conn->refs == 0) {
        locks::lock(conn->lockFd, F_UNLCK, locks::kDatabaseByte, 0);
        conn->dbLock = -1;
      }
      if (l.user.empty()) fail(kLoginRequired, "Database " + name + " is secured: give a user name and password");
      if (result == kxstore::LoginResult::unknownUser) fail(kInvalidAccount, "Database " + name + " has no user " + l.user);
      if (result == kxstore::LoginResult::badPassword) fail(kInvalidPassword, "Wrong password for user " + l.user);
      fail(kCannotOpenFile, "The users of database " + name + " cannot be read");
    }
  }

  if (fresh) s->conns[resolved.file] = conn;
  ++conn->refs;
  if (exclusive) ++conn->exclusiveRefs;
  DbHandle* d = newDatabase(s);
  d->conn = conn;
  d->name = name;
  d->user = loginUser;
  d->rights = rights;
  d->secured = secured;
  d->exclusive = exclusive;
  d->oem = (flags & RCX_OPEN_OEM) != 0;
  *hDb = d->handle.load();
  return kOk;
}

void closeDatabase(DbHandle* d) {
  Session* s = d->owner.load();
  if (!s || !d->conn) return;
  // Cursors opened through this handle go with it.
  std::vector<TableObj*> mine;
  for (TableObj* t : s->tables)
    if (!t->isList() && static_cast<Cursor*>(t)->dbh == d) mine.push_back(t);
  for (TableObj* t : mine) releaseTable(t);
  auto conn = d->conn;
  d->conn.reset();
  if (d->exclusive && --conn->exclusiveRefs == 0 && conn->refs > 1) {
    locks::lock(conn->lockFd, F_RDLCK, locks::kDatabaseByte, 0);
    conn->dbLock = F_RDLCK;
  }
  if (--conn->refs == 0) s->conns.erase(conn->file);
}

// ---- Transactions ---------------------------------------------------------------------------------

namespace {

void endTransactionLocks(Session* s) {
  for (auto& [file, c] : s->conns) {
    auto held = std::move(c->txnLocks);
    c->txnLocks.clear();
    for (auto& [table, rowid] : held) c->unlockRecord(table, rowid);
  }
}

}  // namespace

std::int32_t setTransact(Session* s, int code, const char* name) {
  auto find = [&](const char* n) -> long {
    if (!n) return -1;
    for (size_t i = 0; i < s->savepoints.size(); ++i)
      if (sameNoCase(s->savepoints[i].name, n)) return long(i);
    return -1;
  };
  auto commitFrom = [&](size_t k) {
    for (auto& [file, c] : s->conns) c->exec(("RELEASE " + s->savepoints[k].sqlName).c_str(), "Committing");
    s->savepoints.resize(k);
    if (s->savepoints.empty()) endTransactionLocks(s);
  };
  auto rollbackFrom = [&](size_t k) {
    std::string sp = s->savepoints[k].sqlName;
    std::int32_t status = kOk;
    std::string text;
    for (auto& [file, c] : s->conns) {
      c->releaseSnapshot();
      int rc = sqlite3_exec(c->db, ("ROLLBACK TO " + sp).c_str(), nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) rc = sqlite3_exec(c->db, ("RELEASE " + sp).c_str(), nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK && status == kOk) {
        status = statusForSqlite(rc);
        text = std::string("Rolling back: ") + sqlite3_errmsg(c->db);
      }
      c->changed();
      c->forgetMeta();  // the work undone may include table definitions
    }
    s->savepoints.resize(k);
    if (s->savepoints.empty()) endTransactionLocks(s);
    if (status != kOk) fail(status, text);
  };
  switch (code) {
    case RCX_LOGGING_ON:
    case RCX_SAVEPOINT: {
      if (!name || !*name) fail(kInvalidName, "A save point needs a name");
      if (code == RCX_SAVEPOINT && !s->inTransaction()) fail(kNoTransaction, "No transaction is open");
      if (find(name) >= 0) fail(kSavepointInUse, std::string("The save point ") + name + " is open");
      Savepoint sp{name, "kx_sp_" + std::to_string(++s->savepointCounter)};
      std::vector<Connection*> done;
      for (auto& [file, c] : s->conns) {
        // A new transaction reads what other sessions committed so far.
        if (!s->inTransaction()) c->releaseSnapshot();
        int rc = sqlite3_exec(c->db, ("SAVEPOINT " + sp.sqlName).c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
          for (Connection* d : done) {
            sqlite3_exec(d->db, ("ROLLBACK TO " + sp.sqlName).c_str(), nullptr, nullptr, nullptr);
            sqlite3_exec(d->db, ("RELEASE " + sp.sqlName).c_str(), nullptr, nullptr, nullptr);
          }
          failSqlite(c->db, rc, "Starting a transaction");
        }
        done.push_back(c.get());
      }
      s->savepoints.push_back(sp);
      return kOk;
    }
    case RCX_COMMIT:
    case RCX_ROLLBACK: {
      long k = find(name);
      if (k < 0) fail(kSavepointNotOpen, std::string("No save point ") + (name ? name : "") + " is open");
      if (code == RCX_COMMIT) commitFrom(size_t(k));
      else rollbackFrom(size_t(k));
      return kOk;
    }
    case RCX_AUTO_COMMIT:
      if (s->inTransaction()) commitFrom(0);
      return kOk;
    case RCX_LOGGING_OFF:
      if (s->inTransaction()) rollbackFrom(0);
      return kOk;
    default: fail(kInvalidParameter, "Unknown transaction code " + std::to_string(code));
  }
}

void beginWrite(Connection& c, bool multi) {
  if (c.readOnly) fail(kFileAccessDenied, "The database file " + c.file + " cannot be written");
  if (c.session->inTransaction()) {
    if (multi) c.exec("SAVEPOINT kx_write", "Starting a write");
    return;
  }
  // Writes need the newest snapshot: the cursors' open reads would pin an old one.
  c.releaseSnapshot();
  int rc = sqlite3_exec(c.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if ((rc & 0xFF) == SQLITE_BUSY) fail(kRecordLocked, "Another session is writing to the database");
    failSqlite(c.db, rc, "Starting a write");
  }
}

void commitWrite(Connection& c, bool multi) {
  if (c.session->inTransaction()) {
    if (multi) c.exec("RELEASE kx_write", "Finishing a write");
    return;
  }
  int rc = sqlite3_exec(c.db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(c.db);
    sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
    fail(statusForSqlite(rc), "Committing a write: " + msg);
  }
}

void rollbackWrite(Connection& c, bool multi) {
  if (c.session->inTransaction()) {
    if (multi) {
      sqlite3_exec(c.db, "ROLLBACK TO kx_write", nullptr, nullptr, nullptr);
      sqlite3_exec(c.db, "RELEASE kx_write", nullptr, nullptr, nullptr);
    }
    return;
  }
  if (!sqlite3_get_autocommit(c.db)) sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
}

// ---- Tables --------------------------------------------------------------------------------------

std::int32_t deleteTable(DbHandle* d, const char* name) {
  if (!name || !*name) fail(kInvalidName, "No table name");
  Connection& c = *d->conn;
  std::string table;
  {
    std::string n;
    int rc;
    sqlite3_stmt* q = c.prepare("SELECT name FROM sqlite_schema WHERE type='table' AND name=?1 COLLATE NOCASE");
    sqlite3_bind_text(q, 1, name, -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(q);
    if (rc == SQLITE_ROW) table = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    sqlite3_reset(q);
    if (rc == SQLITE_DONE) fail(kNoSuchTable, std::string("There is no table ") + name);
    if (rc != SQLITE_ROW) failSqlite(c.db, rc, "Looking up a table");
  }
  if (kxstore::isCatalogueTable(table)) fail(kAccessDenied, "The catalogue's own tables cannot be deleted");
  // No cursor of any session or process may have it open: they hold the table's lock byte.
  int fd = locks::openLockFile(c.file);
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{fd};
  if (!locks::lock(fd, F_WRLCK, locks::tableByte(table), 0))
    fail(kTableOpenElsewhere, "Table " + table + " is open in a cursor; close it first");
  writeTransaction(c, true, [&] {
    int rc = kxstore::dropTable(c.db, table);
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Deleting table " + table);
  });
  c.forgetMeta();
  c.changed();
  return kOk;
}

// ---- Lists ----------------------------------------------------------------------------------------

namespace {

kxstore::ColumnDef listColumn(const char* name, int cls, std::uint32_t size, int native = kxstore::kNativeUnsigned) {
  kxstore::ColumnDef c;
  c.name = name;
  c.colClass = cls;
  c.native = cls == kxstore::kClassVarText ? kxstore::kNativeString : native;
  c.size = size;
  c.columnNo = 0;
  return c;
}

kxstore::ColumnDef textCol(const char* n) { return listColumn(n, kxstore::kClassVarText, 1023); }
kxstore::ColumnDef numCol(const char* n) { return listColumn(n, kxstore::kClassInteger, 4); }
kxstore::ColumnDef smallCol(const char* n) { return listColumn(n, kxstore::kClassSmallInt, 2, kxstore::kNativeSigned); }

Value u32(std::uint64_t v) { return Value::integer(std::int64_t(v & 0xFFFFFFFFu)); }

}  // namespace

std::int32_t tableList(DbHandle* d, RCX_TABLELIST* list, bool procedures) {
  if (!list || list->Struct != sizeof(RCX_TABLELIST))
    fail(kInvalidParameter, "RCX_TABLELIST.Struct must be " + std::to_string(sizeof(RCX_TABLELIST)));
  Connection& c = *d->conn;
  std::string pattern = list->pTabNameFilterIn ? list->pTabNameFilterIn : "";
  std::vector<std::vector<Value>> rows;
  if (procedures) {
    std::vector<kxstore::ProcedureDef> procs;
    int rc = kxstore::listProcedures(c.db, procs);
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Listing procedures");
    for (const auto& p : procs)
      if (pattern.empty() || wildcardMatch(pattern, p.name))
        rows.push_back({Value::text(p.name), u32(std::uint32_t(p.procType)), u32(0), u32(0), u32(0)});
  } else {
    std::vector<kxstore::TableEntry> tables;
    int rc = kxstore::listTables(c.db, tables);
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Listing tables");
    for (const auto& t : tables)
      if (pattern.empty() || wildcardMatch(pattern, t.name))
        rows.push_back({Value::text(t.name), u32(1), u32(0), u32(0), u32(t.flags)});
  }
  ListTable* l = newList(d->owner.load());
  l->cols = {textCol("ObjectName"), numCol("ObjTyp"), numCol("cRecord"), numCol("cPage"), numCol("Flags")};
  l->rows = std::move(rows);
  list->TableId = l->handle.load();
  list->ColumnIdObjectName = 1;
  list->ColumnIdObjTyp = 2;
  list->ColumnIdcRecord = 3;
  list->ColumnIdcPage = 4;
  list->ColumnIdFlags = 5;
  return kOk;
}

std::int32_t columnList(Cursor* c, RCX_COLUMNLIST* list) {
  if (!list || list->Struct != sizeof(RCX_COLUMNLIST))
    fail(kInvalidParameter, "RCX_COLUMNLIST.Struct must be " + std::to_string(sizeof(RCX_COLUMNLIST)));
  c->materialise();
  const TableMeta& m = *c->meta;
  bool canWrite = !c->readOnly && !c->conn->readOnly && (c->ownerOk || m.def.owner.empty());
  ListTable* l = newList(c->session());
  l->cols = {textCol("ColumnName"), numCol("ColumnId"),   numCol("ColTyp"),      numCol("cbMax"),
             numCol("grBit"),       smallCol("Scale"),    smallCol("Precision"), numCol("BaseTableId"),
             numCol("ProcColType"), numCol("ColSequenceID")};
  for (const auto& col : m.def.columns) {
    std::uint32_t grbit = col.flags & kxstore::kColumnRequired;
    if (col.native == kxstore::kNativeAutoInc) grbit |= kxstore::kColumnReadOnly;
    if (canWrite) grbit |= kxstore::kColumnUpdatable;
    l->rows.push_back({Value::text(col.name), u32(std::uint32_t(col.columnNo)), u32(col.colTyp()), u32(col.size),
                       u32(grbit), Value::integer(col.scale), Value::integer(col.precision),
                       u32(std::uint64_t(m.def.tableId)), u32(0), u32(std::uint32_t(col.columnNo))});
  }
  list->TableId = l->handle.load();
  list->cRecord = std::uint32_t(l->rows.size());
  for (std::uint32_t i = 0; i < 10; ++i) (&list->ColumnIdColumnName)[i] = i + 1;
  return kOk;
}

std::int32_t indexList(Cursor* c, const char* indexName, RCX_INDEXLIST* list) {
  if (!list || list->Struct != sizeof(RCX_INDEXLIST))
    fail(kInvalidParameter, "RCX_INDEXLIST.Struct must be " + std::to_string(sizeof(RCX_INDEXLIST)));
  c->materialise();
  const TableMeta& m = *c->meta;
  bool found = false;
  std::vector<std::vector<Value>> rows;
  for (const auto& idx : m.def.indexes) {
    if (indexName && *indexName && !sameNoCase(idx.name, indexName)) continue;
    found = true;
    for (size_t i = 0; i < idx.segments.size(); ++i) {
      const auto& seg = idx.segments[i];
      rows.push_back({Value::text(idx.name), u32(idx.flags), u32(i), u32(std::uint32_t(seg.columnNo)), u32(seg.flags),
                      Value::text(seg.columnName)});
    }
  }
  if (indexName && *indexName && !found) fail(kNoSuchIndex, std::string("Table ") + m.def.name + " has no index " + indexName);
  ListTable* l = newList(c->session());
  l->cols = {textCol("IndexName"), numCol("grBitIndex"), numCol("iColumn"), numCol("ColumnId"), numCol("grBitColumn"),
             textCol("ColumnName")};
  l->rows = std::move(rows);
  list->TableId = l->handle.load();
  list->cRecord = std::uint32_t(l->rows.size());
  for (std::uint32_t i = 0; i < 6; ++i) (&list->ColumnIdIndexName)[i] = i + 1;
  return kOk;
}

}  // namespace rcx
