// The exported C functions: argument checks, handle lookups and the translation of failures
// into statuses. No exception leaves this file.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <new>

#include "engines/rcx/core.h"
#include "engines/store/dbnames.h"
#include "engines/store/home.h"

using namespace rcx;

namespace {

template <class F>
std::int32_t guard(Locked& l, F&& f) noexcept {
  try {
    return f();
  } catch (const Error& e) {
    recordError(l.session, e.status, e.text);
    return e.status;
  } catch (const std::bad_alloc&) {
    recordError(l.session, kOutOfMemory, "Out of memory");
    return kOutOfMemory;
  } catch (const std::exception& e) {
    recordError(l.session, kInvalidParameter, e.what());
    return kInvalidParameter;
  } catch (...) {
    recordError(l.session, kInvalidParameter, "Unexpected failure");
    return kInvalidParameter;
  }
}

#define RCX_BODY(...)                            \
  Locked l;                                      \
  return guard(l, [&]() -> std::int32_t { __VA_ARGS__ })

Cursor* cursorOf(std::uint32_t hSes, std::uint32_t hTab, Locked& l) { return asCursor(lockTable(hSes, hTab, l)); }

// A path argument: up to its zero byte and never beyond the given buffer length.
std::string boundedText(const char* p, std::int32_t len) {
  if (!p || len <= 0) return {};
  return std::string(p, strnlen(p, size_t(len)));
}

std::int32_t namesGuard(const char* user, const char* password, const std::function<std::int32_t()>& f) noexcept {
  try {
    if (!kxstore::checkServerLogin(kxstore::engineHome(), user ? user : "", password ? password : "")) {
      recordError(nullptr, 2343, "The server refused the administrator login");
      return 2343;
    }
    return f();
  } catch (...) {
    return 2343;
  }
}

std::uint32_t flagsFrom(const std::uint8_t* f) {
  if (!f) return kxstore::kDbIntegrity;
  return (f[0] ? kxstore::kDbBound : 0) | (f[1] ? kxstore::kDbIntegrity : 0) | (f[2] ? kxstore::kDbCreateDdf : 0);
}

}  // namespace

extern "C" {

// ---- Session -------------------------------------------------------------------------------------

int32_t VoskBeginSession(uint32_t* hSes, const char* user, const char* password, const char*) {
  RCX_BODY({
    if (!hSes) fail(kInvalidParameter, "No address for the session handle");
    *hSes = 0;
    Session* s = newSession();
    s->user = user ? user : "";
    s->password = password ? password : "";
    *hSes = s->handle.load();
    return kOk;
  });
}

int32_t VoskEndSession(uint32_t hSes) {
  RCX_BODY({
    Session* s = lockSession(hSes, l);
    endSession(s);
    l.session = nullptr;
    return kOk;
  });
}

int32_t VoskSetSessionOption(uint32_t hSes, int32_t option, int32_t value) {
  RCX_BODY({
    Session* s = lockSession(hSes, l);
    switch (option) {
      case RCX_OPT_LOCK_WAIT:
        if (value < 0 || value > 3600) fail(kInvalidParameter, "The lock wait is 0 to 3600 seconds");
        s->lockWaitMs = value * 1000;
        for (auto& [file, c] : s->conns) sqlite3_busy_timeout(c->db, s->lockWaitMs);
        return kOk;
      case RCX_OPT_CURSOR_STABILITY:
        if (value != 0 && value != 1) fail(kInvalidParameter, "Cursor stability is 0 or 1");
        s->stability = value;
        return kOk;
      default: fail(kInvalidSessionOption, "Unknown session option " + std::to_string(option));
    }
  });
}

int32_t VoskSetTransact(uint32_t hSes, int32_t code, const char* savepointName) {
  RCX_BODY({ return setTransact(lockSession(hSes, l), code, savepointName); });
}

// ---- Database ------------------------------------------------------------------------------------

int32_t VoskOpenDatabase(uint32_t hSes, const char* dbString, uint32_t* hDb, int32_t flags, const char* user,
                         const char* password) {
  RCX_BODY({ return openDatabase(lockSession(hSes, l), dbString, flags, user, password, hDb); });
}

int32_t VoskCloseDatabase(uint32_t hSes, uint32_t hDb) {
  RCX_BODY({
    releaseDatabase(lockDatabase(hSes, hDb, l));
    return kOk;
  });
}

int32_t VoskIsDatabaseSecured(uint32_t hDb, int32_t* result) {
  RCX_BODY({
    DbHandle* d = lockDatabase(0, hDb, l);
    if (!result) fail(kInvalidParameter, "No address for the result");
    *result = kxstore::hasUsers(d->conn->db) ? 1 : 0;
    return kOk;
  });
}

int32_t VoskGetDatabaseTableInfo(uint32_t hSes, uint32_t hDb, RCX_TABLELIST* list) {
  RCX_BODY({ return tableList(lockDatabase(hSes, hDb, l), list, false); });
}

int32_t VoskGetDatabaseProcedureInfo(uint32_t hSes, uint32_t hDb, RCX_TABLELIST* list) {
  RCX_BODY({ return tableList(lockDatabase(hSes, hDb, l), list, true); });
}

// ---- Named databases -------------------------------------------------------------------------------

int32_t SQLAddDatabaseName2(const char* name, const uint8_t* flags, int32_t dictLen, const char* dictPath,
                            int32_t dataLen, const char* dataPath, int32_t, const char* user, const char* password) {
  return namesGuard(user, password, [&] {
    kxstore::DbEntry e;
    e.name = name ? name : "";
    e.dictionaryPath = boundedText(dictPath, dictLen);
    e.dataPath = boundedText(dataPath, dataLen);
    e.flags = flagsFrom(flags);
    return kxstore::rcxStatus(kxstore::DbNames(kxstore::engineHome()).add(e));
  });
}

int32_t SQLDropDatabaseName2(const char* name, int32_t, const char* user, const char* password) {
  return namesGuard(user, password, [&]() -> std::int32_t {
    std::string n = name ? name : "";
    std::string home = kxstore::engineHome();
    kxstore::ResolvedDb r;
    if (kxstore::resolveDatabase(home, n, r, false) == kxstore::DbStatus::ok) {
      // A database some session has open stays: in this process, or another one (its lock byte).
      if (fileOpenInProcess(r.file)) return 2309;
      int fd = ::open((r.file + "-kxlock").c_str(), O_RDWR | O_CLOEXEC);
      if (fd >= 0) {
        bool free = locks::lock(fd, F_WRLCK, locks::kDatabaseByte, 0);
        ::close(fd);
        if (!free) return 2309;
      }
    }
    return kxstore::rcxStatus(kxstore::DbNames(home).drop(n, false));
  });
}

int32_t SQLGetDatabaseInfo2(const char* name, uint8_t* flags, int32_t* dictLen, char* dictBuf, int32_t* dataLen,
                            char* dataBuf, const char* user, const char* password) {
  return namesGuard(user, password, [&]() -> std::int32_t {
    kxstore::DbEntry e;
    kxstore::DbStatus st = kxstore::DbNames(kxstore::engineHome()).get(name ? name : "", e);
    if (st != kxstore::DbStatus::ok) return kxstore::rcxStatus(st);
    auto put = [](const std::string& s, int32_t* len, char* buf) -> bool {
      if (!len) return true;
      std::int32_t need = std::int32_t(s.size()) + 1;
      if (!buf || *len < need) {
        *len = need;
        return false;
      }
      std::memcpy(buf, s.c_str(), size_t(need));
      *len = need;
      return true;
    };
    bool ok = put(e.dictionaryPath, dictLen, dictBuf);
    ok = put(e.dataPath, dataLen, dataBuf) && ok;
    if (!ok) return 2302;
    if (flags) {
      std::memset(flags, 0, sizeof(TSqlDbFlags));
      flags[0] = (e.flags & kxstore::kDbBound) ? 1 : 0;
      flags[1] = (e.flags & kxstore::kDbIntegrity) ? 1 : 0;
    }
    return 0;
  });
}

int32_t SQLModifyDatabaseInfo2(const char* oldName, const char* newName, int32_t dictLen, const char* dictPath,
                               int32_t dataLen, const char* dataPath, const uint8_t* flags, const char* user,
                               const char* password) {
  return namesGuard(user, password, [&] {
    kxstore::DbEntry e;
    e.name = newName ? newName : "";
    e.dictionaryPath = boundedText(dictPath, dictLen);
    e.dataPath = boundedText(dataPath, dataLen);
    e.flags = flagsFrom(flags);
    return kxstore::rcxStatus(kxstore::DbNames(kxstore::engineHome()).modify(oldName ? oldName : "", e));
  });
}

// ---- Catalogue and definition -------------------------------------------------------------------

int32_t VoskGetTableColumnInfo(uint32_t hSes, uint32_t hTab, RCX_COLUMNLIST* list) {
  RCX_BODY({ return columnList(cursorOf(hSes, hTab, l), list); });
}

int32_t VoskGetTableIndexInfo(uint32_t hSes, uint32_t hTab, const char* indexName, RCX_INDEXLIST* list) {
  RCX_BODY({ return indexList(cursorOf(hSes, hTab, l), indexName, list); });
}

int32_t VoskCreateTable(uint32_t hSes, uint32_t hDb, const char* tableName, uint32_t* hTab) {
  RCX_BODY({
    if (!hTab) fail(kInvalidParameter, "No address for the table handle");
    *hTab = 0;
    DbHandle* d = lockDatabase(hSes, hDb, l);
    if (!tableName) fail(kInvalidName, "No table name");
    Cursor* c = newCursor(l.session);
    try {
      c->beginDefinition(d, tableName);
    } catch (...) {
      releaseTable(c);
      throw;
    }
    *hTab = c->handle.load();
    return kOk;
  });
}

int32_t VoskCreateColumn(uint32_t hSes, uint32_t hTab, const char* columnName, const RCX_COLUMNDEF* def,
                         uint32_t* columnId) {
  RCX_BODY({ return cursorOf(hSes, hTab, l)->createColumn(columnName, def, columnId); });
}

int32_t VoskCreateIndex(uint32_t hSes, uint32_t hTab, const char* indexName, uint32_t flags, const char* keySpec,
                        int32_t specLen, int32_t) {
  RCX_BODY({ return cursorOf(hSes, hTab, l)->createIndex(indexName, flags, keySpec, specLen); });
}

int32_t VoskDeleteTable(uint32_t hSes, uint32_t hDb, const char* tableName) {
  RCX_BODY({ return deleteTable(lockDatabase(hSes, hDb, l), tableName); });
}

int32_t VoskDeleteIndex(uint32_t hSes, uint32_t hTab, const char* indexName) {
  RCX_BODY({ return cursorOf(hSes, hTab, l)->deleteIndex(indexName); });
}

int32_t VoskRenameTable(uint32_t hTab, const char* newName) { RCX_BODY({ return cursorOf(0, hTab, l)->rename(newName); }); }

int32_t VoskSetTableOption(uint32_t hTab, int32_t option, const void* value) {
  RCX_BODY({ return cursorOf(0, hTab, l)->setOption(option, value); });
}

int32_t VoskSetOwnerOnTable(uint32_t hTab, const char* owner, int32_t accessMode) {
  RCX_BODY({ return cursorOf(0, hTab, l)->setOwner(owner, accessMode); });
}

// ---- Cursors -------------------------------------------------------------------------------------

int32_t VoskOpenTable(uint32_t hSes, uint32_t hDb, const char* tableName, int32_t, int32_t openMode, uint32_t* hTab) {
  RCX_BODY({
    if (!hTab) fail(kInvalidParameter, "No address for the table handle");
    *hTab = 0;
    DbHandle* d = lockDatabase(hSes, hDb, l);
    if (!tableName || !*tableName) fail(kInvalidName, "No table name");
    Cursor* c = newCursor(l.session);
    try {
      c->open(d, tableName, openMode);
    } catch (...) {
      releaseTable(c);
      throw;
    }
    *hTab = c->handle.load();
    return kOk;
  });
}

int32_t VoskCloseTable(uint32_t hSes, uint32_t hTab) {
  RCX_BODY({
    TableObj* t = lockTable(hSes, hTab, l);
    // Closing a table being defined makes it; a failure is reported and the handle still closes.
    try {
      if (!t->isList()) static_cast<Cursor*>(t)->materialise();
    } catch (...) {
      releaseTable(t);
      throw;
    }
    releaseTable(t);
    return kOk;
  });
}

int32_t VoskSetTableIndex(uint32_t hSes, uint32_t hTab, const char* indexName) {
  RCX_BODY({ return cursorOf(hSes, hTab, l)->setIndex(indexName); });
}

int32_t VoskMove(uint32_t hSes, uint32_t hTab, uint32_t code) { RCX_BODY({ return lockTable(hSes, hTab, l)->move(code); }); }

int32_t VoskGetBookmark(uint32_t hSes, uint32_t hTab, void* buf, int32_t bufSize, int32_t* len) {
  RCX_BODY({
    TableObj* t = lockTable(hSes, hTab, l);
    if (!buf) fail(kInvalidParameter, "No bookmark buffer");
    if (bufSize < RCX_BOOKMARK_SIZE) fail(kBufferTooSmall, "A bookmark needs 4 bytes");
    std::int64_t b = 0;
    std::int32_t r = t->bookmark(b);
    if (r != kOk) return r;
    std::uint32_t v = std::uint32_t(b);
    unsigned char* out = static_cast<unsigned char*>(buf);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
    if (len) *len = RCX_BOOKMARK_SIZE;
    return kOk;
  });
}

int32_t VoskGotoBookmark(uint32_t hSes, uint32_t hTab, const void* bookmark, int32_t size) {
  RCX_BODY({
    TableObj* t = lockTable(hSes, hTab, l);
    if (!bookmark) fail(kInvalidParameter, "No bookmark");
    if (size != RCX_BOOKMARK_SIZE) fail(kInvalidBookmark, "A bookmark is 4 bytes, not " + std::to_string(size));
    const unsigned char* p = static_cast<const unsigned char*>(bookmark);
    std::int32_t b = std::int32_t(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                                  (std::uint32_t(p[3]) << 24));
    return t->gotoBookmark(b);
  });
}

int32_t VoskFindPercentage(uint32_t hTab, int32_t* value) {
  RCX_BODY({
    Cursor* c = cursorOf(0, hTab, l);
    if (!value) fail(kInvalidParameter, "No address for the result");
    return c->findPercentage(*value);
  });
}

int32_t VoskGetByPercentage(uint32_t hTab, int32_t hundredths) {
  RCX_BODY({ return cursorOf(0, hTab, l)->getByPercentage(hundredths); });
}

int32_t VoskGetRecordCount(uint32_t hTab, int32_t* count) {
  RCX_BODY({
    TableObj* t = lockTable(0, hTab, l);
    if (!count) fail(kInvalidParameter, "No address for the count");
    std::int64_t n = 0;
    std::int32_t r = t->recordCount(n);
    *count = std::int32_t(std::min<std::int64_t>(n, INT32_MAX));
    return r;
  });
}

int32_t VoskRefreshCurRecord(uint32_t hTab) { RCX_BODY({ return cursorOf(0, hTab, l)->refresh(); }); }

// ---- Column data ---------------------------------------------------------------------------------

int32_t VoskRetrieveColumn(uint32_t hSes, uint32_t hTab, uint32_t columnId, void* buf, uint32_t size,
                           uint32_t* actualLen, const RCX_RETINFO* info) {
  RCX_BODY({ return lockTable(hSes, hTab, l)->retrieve(columnId, buf, size, actualLen, info); });
}

int32_t VoskSetColumn(uint32_t hSes, uint32_t hTab, uint32_t columnId, const void* data, uint32_t length,
                      uint32_t grbit, uint32_t nullMark, const RCX_RETINFO* info) {
  RCX_BODY({ return cursorOf(hSes, hTab, l)->setColumn(columnId, data, length, grbit, nullMark, info); });
}

int32_t VoskGetBlobSize(uint32_t hTab, uint32_t columnId, uint32_t* size) {
  RCX_BODY({
    Cursor* c = cursorOf(0, hTab, l);
    if (!size) fail(kInvalidParameter, "No address for the size");
    *size = 0;
    return c->blobSize(columnId, *size);
  });
}

int32_t VoskTruncateBlob(uint32_t hTab, uint32_t columnId, uint32_t position) {
  RCX_BODY({ return cursorOf(0, hTab, l)->truncateBlob(columnId, position); });
}

// ---- Record updates ---------------------------------------------------------------------------------

int32_t VoskInitUpdate(uint32_t hSes, uint32_t hTab, int32_t mode) {
  RCX_BODY({ return cursorOf(hSes, hTab, l)->initUpdate(mode); });
}

int32_t VoskUpdateRecord(uint32_t hSes, uint32_t hTab) { RCX_BODY({ return cursorOf(hSes, hTab, l)->updateRecord(); }); }

int32_t VoskCancelUpdate(uint32_t hSes, uint32_t hTab) { RCX_BODY({ return cursorOf(hSes, hTab, l)->cancelUpdate(); }); }

int32_t VoskDeleteRecord(uint32_t hSes, uint32_t hTab) { RCX_BODY({ return cursorOf(hSes, hTab, l)->deleteRecord(); }); }

// ---- Ranges and filters ---------------------------------------------------------------------------

int32_t VoskSetRange(uint32_t hTab, const RCX_FilterStruct* startTerms, int32_t startCount,
                     const RCX_FilterStruct* endTerms, int32_t endCount) {
  RCX_BODY({ return cursorOf(0, hTab, l)->setRange(startTerms, startCount, endTerms, endCount); });
}

int32_t VoskCancelRange(uint32_t hTab) { RCX_BODY({ return cursorOf(0, hTab, l)->cancelRange(); }); }

int32_t VoskMakeFilterKey(uint32_t hTab, uint32_t columnId, int32_t kind, const void* value, uint32_t length,
                          uint32_t flags) {
  RCX_BODY({ return cursorOf(0, hTab, l)->makeKey(columnId, kind, value, length, flags); });
}

int32_t VoskCancelFilterKey(uint32_t hTab, int32_t kind) { RCX_BODY({ return cursorOf(0, hTab, l)->cancelKey(kind); }); }

int32_t VoskSetFilterOnColumns(uint32_t hTab, const RCX_FilterStruct* terms, int32_t count, int32_t* tag, int32_t) {
  RCX_BODY({
    Cursor* c = cursorOf(0, hTab, l);
    if (!tag) fail(kInvalidParameter, "No address for the filter tag");
    return c->setFilter(terms, count, *tag);
  });
}

int32_t VoskRemoveFilterFromColumns(uint32_t hTab, int32_t tag, int32_t) {
  RCX_BODY({ return cursorOf(0, hTab, l)->removeFilter(tag); });
}

// ---- Other -------------------------------------------------------------------------------------------

int32_t VoskGetExtErrStr(uint32_t hSes, int32_t code, char* buf, uint32_t size, uint32_t* len) {
  if (len) *len = 0;
  if (!buf || size == 0) return kInvalidParameter;
  try {
    std::string t = errorText(hSes, code);
    size_t n = std::min<size_t>(t.size(), size - 1);
    std::memcpy(buf, t.data(), n);
    buf[n] = '\0';
    if (len) *len = std::uint32_t(n);
    return kOk;
  } catch (...) {
    buf[0] = '\0';
    return kOutOfMemory;
  }
}

int32_t VoskIntPower10(uint16_t* w0, uint16_t* w1, uint16_t* w2, uint16_t* w3, int32_t power) {
  if (!w0 || !w1 || !w2 || !w3) return 0;
  std::uint64_t u = std::uint64_t(*w0) | (std::uint64_t(*w1) << 16) | (std::uint64_t(*w2) << 32) | (std::uint64_t(*w3) << 48);
  std::int64_t v = static_cast<std::int64_t>(u);
  if (!scaleByPowerOf10(v, power)) return 0;
  u = static_cast<std::uint64_t>(v);
  *w0 = std::uint16_t(u);
  *w1 = std::uint16_t(u >> 16);
  *w2 = std::uint16_t(u >> 32);
  *w3 = std::uint16_t(u >> 48);
  return 1;
}

int32_t VoskMdxCall(uint32_t hTab, int16_t op, void* dataBuf, uint16_t* dataLen, void*, uint8_t, int8_t keyNum) {
  RCX_BODY({ return cursorOf(0, hTab, l)->mdxCall(op, dataBuf, dataLen, keyNum); });
}

int32_t VoskGetMardexInfo(uint32_t hTab, TMardexInfo* info) {
  RCX_BODY({
    Cursor* c = cursorOf(0, hTab, l);
    if (!info) fail(kInvalidParameter, "No address for the information");
    return c->mardexInfo(*info);
  });
}

// ---- Users -------------------------------------------------------------------------------------------

int32_t VoskSetDatabaseUser(uint32_t hSes, uint32_t hDb, const char* user, const char* password, uint32_t rights) {
  RCX_BODY({
    DbHandle* d = lockDatabase(hSes, hDb, l);
    if (!user || !*user) fail(kInvalidName, "No user name");
    Connection& c = *d->conn;
    bool first = !kxstore::hasUsers(c.db);
    if (!first && !(d->rights & kxstore::kUserAdmin)) fail(kAccessDenied, "Only an administrator of the database may change its users");
    if (first) rights |= kxstore::kUserAdmin;
    writeTransaction(c, true, [&] {
      int rc = kxstore::setUser(c.db, user, password ? password : "", rights);
      if (rc != SQLITE_OK) failSqlite(c.db, rc, "Storing a user");
    });
    if (first) {
      // The session that secured the database is its administrator.
      d->user = user;
      d->rights = rights;
      d->secured = true;
    }
    return kOk;
  });
}

int32_t VoskDropDatabaseUser(uint32_t hSes, uint32_t hDb, const char* user) {
  RCX_BODY({
    DbHandle* d = lockDatabase(hSes, hDb, l);
    if (!user || !*user) fail(kInvalidName, "No user name");
    if (!(d->rights & kxstore::kUserAdmin)) fail(kAccessDenied, "Only an administrator of the database may change its users");
    Connection& c = *d->conn;
    writeTransaction(c, true, [&] {
      int rc = kxstore::dropUser(c.db, user);
      if (rc == SQLITE_NOTFOUND) fail(kInvalidAccount, std::string("No user ") + user);
      if (rc != SQLITE_OK) failSqlite(c.db, rc, "Removing a user");
    });
    return kOk;
  });
}

}  // extern "C"
