// The record manager's objects: sessions, database connections, cursors and list tables, and
// the handle registry that maps the interface's 32-bit handles to them.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/rcx/rcx.h"
#include "engines/rcx/status.h"
#include "engines/rcx/value.h"
#include "engines/store/catalog.h"

namespace rcx {

struct Session;
struct Connection;
struct DbHandle;
class TableObj;
class Cursor;

// ---- Handles ------------------------------------------------------------------------------------
// Objects are recycled, never freed, so that a stale handle found by one thread while another
// closes it still points at valid memory; the handle stored in the object tells whether it is
// still the object's current one (checked under the session's lock).
struct Object {
  enum class Kind { Session, Database, Table };
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  const Kind kind;
  std::atomic<std::uint32_t> handle{0};
  std::atomic<Session*> owner{nullptr};
};

std::uint32_t registerObject(Object* o);
void unregisterObject(Object* o);
Object* findObject(std::uint32_t h);

// ---- Locks between sessions and processes ------------------------------------------------------
// Open-file-description locks on <database file>-kxlock: owned by one open file, so two
// sessions of one process conflict like two processes, and the kernel drops them when a
// process dies.
namespace locks {
inline constexpr off_t kDatabaseByte = 0;
off_t tableByte(std::string_view table);
off_t recordByte(std::string_view table, std::int64_t rowid);
int openLockFile(const std::string& dbFile);  // -1 when it cannot be opened
// type F_RDLCK, F_WRLCK or F_UNLCK; waits up to waitMs. False on conflict.
bool lock(int fd, short type, off_t byte, int waitMs);
}  // namespace locks

// ---- Table metadata as a cursor needs it --------------------------------------------------------
struct TableMeta {
  kxstore::TableDef def;
  std::string from;                // quoted table name
  std::string selectList;          // "rowid, c1, c2, ..." (long values left out)
  std::vector<int> selectPos;      // per column: result column of the select, -1 for long values
  std::int64_t schemaVersion = 0;
  bool hasAutoInc = false;
  std::vector<Value> defaults;     // per column: the value a prepared insert starts with
  std::string insertSql;           // INSERT of every column
  const kxstore::ColumnDef& col(int i) const { return def.columns[size_t(i)]; }
  int columnCount() const { return int(def.columns.size()); }
};

// ---- Connections ----------------------------------------------------------------------------------
// One SQLite connection per session and database file: the session's transaction spans its
// connections.
struct Connection {
  ~Connection();
  sqlite3* db = nullptr;
  std::string file;
  bool readOnly = false;
  int lockFd = -1;
  int dbLock = -1;  // -1 none, F_RDLCK, F_WRLCK (F_RDLCK is 0)
  int exclusiveRefs = 0;
  int refs = 0;  // database handles
  std::uint64_t gen = 1;  // bumped by every change made through this connection
  std::vector<Cursor*> cursors;
  std::map<std::pair<std::string, std::int64_t>, int> recordLocks;  // held by this session, counted
  std::vector<std::pair<std::string, std::int64_t>> txnLocks;  // references kept until the transaction ends
  std::map<std::string, std::shared_ptr<const TableMeta>> metaCache;  // by lower-case name
  Session* session = nullptr;
  bool counted = false;  // counted in the process's table of open files

  // Prepared statements reused across calls (catalogue reads, point reads of BLOBs, writes).
  sqlite3_stmt* prepare(const std::string& sql);
  std::unordered_map<std::string, sqlite3_stmt*> stmts;

  std::int64_t schemaVersion();
  std::shared_ptr<const TableMeta> meta(const std::string& table);  // throws kNoSuchTable
  void forgetMeta() { metaCache.clear(); }
  // Ends the read snapshot that active statements hold, so the next read sees other sessions'
  // work. Cursors keep their positions.
  void releaseSnapshot();
  void changed() { ++gen; }
  // Record locks, counted per session; false when another session holds the record.
  bool lockRecord(const std::string& table, std::int64_t rowid, int waitMs);
  void unlockRecord(const std::string& table, std::int64_t rowid);
  void exec(const char* sql, const char* what);  // throws
};

struct Savepoint {
  std::string name;     // as the caller gave it
  std::string sqlName;  // what SQLite knows it as
};

// ---- Sessions ---------------------------------------------------------------------------------------
struct Session : Object {
  Session() : Object(Kind::Session) {}
  std::mutex mu;
  std::string user, password;
  int lockWaitMs = 1000;
  int stability = 0;
  std::vector<Savepoint> savepoints;
  std::uint64_t savepointCounter = 0;
  std::map<std::string, std::shared_ptr<Connection>> conns;  // by file
  std::vector<DbHandle*> dbs;
  std::vector<TableObj*> tables;
  std::int32_t lastStatus = 0;
  std::string lastText;

  bool inTransaction() const { return !savepoints.empty(); }
  void reset();
};

struct DbHandle : Object {
  DbHandle() : Object(Kind::Database) {}
  std::shared_ptr<Connection> conn;
  std::string name;   // the named database
  std::string user;   // the login the database was opened with ("" unsecured)
  std::uint32_t rights = 0;
  bool secured = false;
  bool exclusive = false;
  bool oem = false;
};

// ---- Tables: cursors and list tables ------------------------------------------------------------
class TableObj : public Object {
 public:
  TableObj() : Object(Kind::Table) {}
  virtual bool isList() const = 0;
  virtual void close() = 0;
  virtual std::int32_t move(std::uint32_t code) = 0;
  virtual std::int32_t retrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual,
                                const RCX_RETINFO* info) = 0;
  virtual std::int32_t bookmark(std::int64_t& out) = 0;
  virtual std::int32_t gotoBookmark(std::int64_t b) = 0;
  virtual std::int32_t recordCount(std::int64_t& out) = 0;
  Session* session() const { return owner.load(); }
};

// A temporary table holding a catalogue list (tables, procedures, columns, index segments).
class ListTable : public TableObj {
 public:
  bool isList() const override { return true; }
  void close() override {
    rows.clear();
    cols.clear();
  }
  std::int32_t move(std::uint32_t code) override;
  std::int32_t retrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual,
                        const RCX_RETINFO* info) override;
  std::int32_t bookmark(std::int64_t& out) override;
  std::int32_t gotoBookmark(std::int64_t b) override;
  std::int32_t recordCount(std::int64_t& out) override {
    out = std::int64_t(rows.size());
    return kOk;
  }

  std::vector<kxstore::ColumnDef> cols;
  std::vector<std::vector<Value>> rows;
  long pos = -1;  // -1 before the first row; rows.size() after the last
};

struct Segment {
  int col = 0;  // 0-based column
  bool desc = false;
  bool noCase = false;
  std::string expr;  // SQL for the column, with its collation
};

struct Term {
  std::uint8_t kind = fisConst;
  int col = 0;
  int other = 0;
  std::uint8_t link = LE_LAST_TERM;
  std::uint8_t cmp = FCC_EQUAL;
  bool noCase = false;
  Value constant;          // stored form, for fisConst
  std::string prefix;      // stored bytes, for fisPartialConst
};

struct Chain {
  std::int32_t tag = 0;
  std::vector<Term> terms;
  std::vector<RCX_FilterStruct> raw;  // copies for VoskGetMardexInfo (pConst into constants)
  std::vector<std::string> constants;
};

struct KeyPart {
  int col = 0;
  bool null = false;
  bool nearest = false;
  Value v;
  std::string raw;
};

struct Bound {
  bool set = false;
  std::vector<Value> vals;     // for the leading segments
  std::vector<bool> noCase;
};

class Cursor : public TableObj {
 public:
  bool isList() const override { return false; }
  void close() override;
  std::int32_t move(std::uint32_t code) override;
  std::int32_t retrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual,
                        const RCX_RETINFO* info) override;
  bool fastRetrieve(std::uint32_t columnId, void* buf, std::uint32_t size, std::uint32_t* actual, std::int32_t& st);
  std::int32_t bookmark(std::int64_t& out) override;
  std::int32_t gotoBookmark(std::int64_t b) override;
  std::int32_t recordCount(std::int64_t& out) override;

  // Opening
  void open(DbHandle* db, const std::string& table, int mode);  // throws
  void beginDefinition(DbHandle* db, const std::string& table);
  void materialise();  // makes a table being defined; no-op otherwise
  void reloadMeta();

  std::int32_t setIndex(const char* name);
  std::int32_t findPercentage(std::int32_t& out);
  std::int32_t getByPercentage(std::int32_t p);
  std::int32_t refresh();

  // Updates (update.cpp)
  std::int32_t initUpdate(int mode);
  std::int32_t setColumn(std::uint32_t columnId, const void* data, std::uint32_t length, std::uint32_t grbit,
                         std::uint32_t nullMark, const RCX_RETINFO* info);
  std::int32_t updateRecord();
  std::int32_t cancelUpdate();
  std::int32_t deleteRecord();
  std::int32_t blobSize(std::uint32_t columnId, std::uint32_t& size);
  std::int32_t truncateBlob(std::uint32_t columnId, std::uint32_t pos);

  // Ranges, keys, filters (filter.cpp)
  std::int32_t setRange(const RCX_FilterStruct* start, int startCount, const RCX_FilterStruct* end, int endCount);
  std::int32_t cancelRange();
  std::int32_t makeKey(std::uint32_t columnId, int kind, const void* value, std::uint32_t length, std::uint32_t flags);
  std::int32_t cancelKey(int kind);
  std::int32_t setFilter(const RCX_FilterStruct* terms, int count, std::int32_t& tag);
  std::int32_t removeFilter(std::int32_t tag);
  std::int32_t mardexInfo(TMardexInfo& info);
  std::int32_t mdxCall(int op, void* data, std::uint16_t* dataLen, int keyNum);

  // DDL through the handle (ddl.cpp)
  std::int32_t createColumn(const char* name, const RCX_COLUMNDEF* def, std::uint32_t* columnId);
  std::int32_t createIndex(const char* name, std::uint32_t flags, const char* spec, std::int32_t specLen);
  std::int32_t deleteIndex(const char* name);
  std::int32_t rename(const char* newName);
  std::int32_t setOption(int option, const void* value);
  std::int32_t setOwner(const char* owner, int accessMode);

  // State
  DbHandle* dbh = nullptr;
  std::shared_ptr<Connection> conn;
  std::shared_ptr<const TableMeta> meta;
  std::string tableName;
  bool pending = false;
  kxstore::TableDef pendingDef;
  int openMode = 0;
  bool readOnly = false;
  bool exclusive = false;
  int tableLockFd = -1;
  off_t tableLockByte = 0;
  bool ownerOk = true;
  bool securedOption = false;
  CodecOptions codec;

  int index = -1;  // position in meta->def.indexes; -1 bookmark order
  std::vector<Segment> segs;

  enum class Pos { Before, After, On, Gap };
  Pos pos = Pos::Before;
  std::int64_t rowid = 0;
  std::vector<Value> key;  // the current (or deleted) record's values of the current index
  bool keyValid = false;
  sqlite3_stmt* live = nullptr;  // the walker statement positioned on the current record
  std::uint64_t liveGen = 0;
  std::vector<Value> mat;  // the current record, when read outside a walk
  bool matValid = false;
  std::uint64_t matGen = 0;

  struct Stage {
    std::string sql;
    std::vector<Value> binds;
  };
  struct Walker {
    int dir = 0;
    std::vector<Stage> stages;
    size_t stage = 0;
    sqlite3_stmt* st = nullptr;
    std::uint64_t gen = 0;
    bool exhausted = true;
    bool searching = false;  // checking the search key until the first match
  } walker;
  std::unordered_map<std::string, sqlite3_stmt*> cache;
  sqlite3_stmt* insertStmt = nullptr;  // this cursor's prepared insert

  enum class Upd { None, Insert, Update };
  Upd upd = Upd::None;
  std::vector<Value> prep, orig;
  std::vector<char> blobLoaded;  // long values of an update are read when first touched
  std::vector<char> blobDirty;
  std::int64_t updRowid = 0;
  bool recordLockHeld = false;

  std::vector<Chain> chains;
  std::int32_t nextTag = 1;
  std::vector<KeyPart> keys[5];
  Bound lo, hi;
  std::string mardexKey;
  std::vector<RCX_FilterStruct> mardexFilter;

  // Internals shared by the cursor's files.
  void checkUsable() const;  // throws for a cursor that cannot read
  void checkWritable() const;
  sqlite3_stmt* stmt(const std::string& sql);
  void dropStatements();
  void resetWalker();
  void detach();  // before the connection ends its snapshot
  void buildSegments();
  void buildWalker(int dir, int kind, const std::vector<Value>& anchor, std::int64_t anchorRowid, bool searching);
  std::int32_t step();
  bool acceptRow(sqlite3_stmt* st, bool& stop);
  bool passesFilters(sqlite3_stmt* st);
  ValueRef rowValue(sqlite3_stmt* st, int col, Value& scratch);
  void captureKey(sqlite3_stmt* st);
  bool fetchCurrent();  // materialises the current record; false when it no longer exists
  bool ensureKey();
  ValueRef currentValue(int col, Value& scratch);  // from the prepared, live or materialised record
  Value blobValue(int col);  // a long value of the current record
  void cancelPrepared();
  void refreshPoint();
  std::int32_t firstOrLast(int dir, bool useSearch = true);
  std::int32_t moveRelative(int dir);
  int compareToBound(sqlite3_stmt* st, const Bound& b);
  bool matchesSearch(sqlite3_stmt* st, bool& stop);
  const kxstore::ColumnDef& column(std::uint32_t columnId) const;  // throws -1517
};

// ---- Registry lookups for the C functions (api.cpp) -------------------------------------------
// Each returns the object locked under its session's mutex, or throws the handle's status.
struct Locked {
  Session* session = nullptr;  // set once the session's mutex is held
  std::mutex* held = nullptr;
  Locked() = default;
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  ~Locked() {
    if (held) held->unlock();
  }
  void lock(std::mutex& m) {
    m.lock();
    held = &m;
  }
  void unlock() {
    if (held) held->unlock();
    held = nullptr;
    session = nullptr;
  }
};
Session* lockSession(std::uint32_t h, Locked& l);
DbHandle* lockDatabase(std::uint32_t hSes, std::uint32_t hDb, Locked& l);  // hSes 0: any session
TableObj* lockTable(std::uint32_t hSes, std::uint32_t hTab, Locked& l);    // hSes 0: any session
Cursor* asCursor(TableObj* t);  // throws -1001 for a list table

Session* newSession();
DbHandle* newDatabase(Session* s);
Cursor* newCursor(Session* s);
ListTable* newList(Session* s);
void releaseTable(TableObj* t);  // closes and recycles
void releaseDatabase(DbHandle* d);
void endSession(Session* s);

// Detail of the last failure, for VoskGetExtErrStr.
void recordError(Session* s, std::int32_t status, const std::string& text);
std::string errorText(std::uint32_t hSes, std::int32_t code);

// Binds a value and fails with the binding's status (a value SQLite refuses is never written
// as NULL).
void bindChecked(sqlite3* db, sqlite3_stmt* st, int idx, const Value& v);

// SQLite result code -> status, with a text.
[[noreturn]] void failSqlite(sqlite3* db, int rc, const std::string& what);
std::int32_t statusForSqlite(int rc);

// ---- Database operations (database.cpp) -------------------------------------------------------
std::int32_t openDatabase(Session* s, const char* dbString, int flags, const char* user, const char* password,
                          std::uint32_t* hDb);
void closeDatabase(DbHandle* d);
std::int32_t setTransact(Session* s, int code, const char* name);
std::int32_t deleteTable(DbHandle* d, const char* name);
std::int32_t tableList(DbHandle* d, RCX_TABLELIST* list, bool procedures);
std::int32_t columnList(Cursor* c, RCX_COLUMNLIST* list);
std::int32_t indexList(Cursor* c, const char* indexName, RCX_INDEXLIST* list);
bool fileOpenInProcess(const std::string& file);
void noteFileOpen(const std::string& file, int delta);
// Runs a write atomically: in a transaction of its own, or inside the session's transaction
// (under a save point when it takes more than one statement). `body` throws on failure.
void beginWrite(Connection& c, bool multiStatement);
void commitWrite(Connection& c, bool multiStatement);
void rollbackWrite(Connection& c, bool multiStatement);

template <class F>
void writeTransaction(Connection& c, bool multiStatement, F&& body) {
  beginWrite(c, multiStatement);
  try {
    body();
  } catch (...) {
    rollbackWrite(c, multiStatement);
    throw;
  }
  commitWrite(c, multiStatement);
}

}  // namespace rcx
