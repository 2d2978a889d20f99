// Table definitions through a cursor handle: new tables, columns, indexes, renames, owners.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engines/rcx/core.h"

namespace rcx {

namespace {

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

void checkName(const char* name, const char* what) {
  if (!name) fail(kInvalidName, std::string("No ") + what + " name");
  size_t n = strnlen(name, 129);
  if (n == 0 || n > 128) fail(kInvalidName, std::string("A ") + what + " name has 1 to 128 bytes");
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(name[i]) < 0x20) fail(kInvalidName, std::string("A ") + what + " name has no control characters");
}

bool tableExists(Connection& c, const std::string& name) {
  sqlite3_stmt* q = c.prepare("SELECT 1 FROM sqlite_schema WHERE type='table' AND name=?1 COLLATE NOCASE");
  sqlite3_bind_text(q, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(q);
  sqlite3_reset(q);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) failSqlite(c.db, rc, "Looking up a table");
  return rc == SQLITE_ROW;
}

}  // namespace

void Cursor::beginDefinition(DbHandle* db, const std::string& table) {
  checkName(table.c_str(), "table");
  if (kxstore::isCatalogueTable(table)) fail(kInvalidName, "Names beginning with kx_ belong to the catalogue");
  dbh = db;
  conn = db->conn;
  codec.oem = db->oem;
  if (conn->readOnly) {
    conn.reset();
    fail(kFileAccessDenied, "The database file cannot be written");
  }
  if (tableExists(*conn, table)) {
    conn.reset();
    fail(kTableExists, "Table " + table + " exists");
  }
  tableName = table;
  pending = true;
  pendingDef = kxstore::TableDef{};
  pendingDef.name = table;
  conn->cursors.push_back(this);
}

void Cursor::materialise() {
  if (!pending) return;
  if (pendingDef.columns.empty()) fail(kNoSuchColumn, "Table " + tableName + " has no column");
  Connection& c = *conn;
  writeTransaction(c, true, [&] {
    int rc = kxstore::createTable(c.db, pendingDef);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) fail(kTableExists, "Table " + tableName + " exists");
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Creating table " + tableName);
  });
  c.forgetMeta();
  c.changed();
  pending = false;
  auto& v = c.cursors;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  DbHandle* d = dbh;
  std::string name = tableName;
  open(d, name, 0);
}

std::int32_t Cursor::createColumn(const char* name, const RCX_COLUMNDEF* def, std::uint32_t* columnId) {
  checkName(name, "column");
  if (!def || def->Struct != sizeof(RCX_COLUMNDEF))
    fail(kInvalidParameter, "RCX_COLUMNDEF.Struct must be " + std::to_string(sizeof(RCX_COLUMNDEF)));
  kxstore::ColumnDef c;
  c.name = name;
  c.colClass = int(def->coltyp & 0xFF);
  c.native = int((def->coltyp >> 8) & 0xFF);
  c.size = def->Max;
  c.precision = def->Precision;
  c.scale = def->Scale;
  c.flags = def->grbit & kxstore::kColumnRequired;
  if (def->pDefault) c.defaultValue = std::string(def->pDefault, strnlen(def->pDefault, 4096));
  if (def->pCollate) c.collation = std::string(def->pCollate, strnlen(def->pCollate, 4096));
  static const int known[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 101, 102, 103, 104, 106};
  if (std::find(std::begin(known), std::end(known), c.colClass) == std::end(known))
    fail(kInvalidColumnType, "Unknown column class " + std::to_string(c.colClass));
  if (!kxstore::normaliseColumn(c))
    fail(kInvalidParameter, "Column " + c.name + ": size " + std::to_string(def->Max) + ", precision " +
                                std::to_string(def->Precision) + ", scale " + std::to_string(def->Scale) +
                                " do not fit its class");
  c.declaredType = kxstore::declaredTypeFor(c);
  if (pending) {
    for (const auto& other : pendingDef.columns)
      if (lower(other.name) == lower(c.name)) fail(kColumnExists, "Column " + c.name + " is defined already");
    if (pendingDef.columns.size() >= 1000) fail(kTooManyColumns, "A table has at most 1000 columns");
    c.columnNo = int(pendingDef.columns.size()) + 1;
    pendingDef.columns.push_back(c);
    if (columnId) *columnId = std::uint32_t(c.columnNo);
    return kOk;
  }
  checkWritable();
  if (meta->def.findColumn(c.name)) fail(kColumnExists, "Column " + c.name + " is defined already");
  if (meta->def.columns.size() >= 1000) fail(kTooManyColumns, "A table has at most 1000 columns");
  cancelPrepared();
  Connection& cn = *conn;
  writeTransaction(cn, true, [&] {
    int rc = kxstore::addColumn(cn.db, tableName, c);
    if (rc != SQLITE_OK) failSqlite(cn.db, rc, "Adding column " + c.name);
  });
  cn.changed();
  reloadMeta();
  if (columnId) *columnId = std::uint32_t(meta->def.columns.size());
  return kOk;
}

std::int32_t Cursor::createIndex(const char* name, std::uint32_t flags, const char* spec, std::int32_t specLen) {
  materialise();
  checkName(name, "index");
  checkWritable();
  if (!spec || specLen <= 0) fail(kInvalidParameter, "No key specification");
  if (flags & ~std::uint32_t(RCX_IDX_UNIQUE | RCX_IDX_PRIMARY | RCX_IDX_CASE_SENSITIVE))
    fail(kInvalidParameter, "Unknown index flags");
  kxstore::IndexDef def;
  def.name = name;
  def.flags = flags;
  if (flags & RCX_IDX_PRIMARY) def.flags |= RCX_IDX_UNIQUE;
  for (const auto& idx : meta->def.indexes) {
    if (lower(idx.name) == lower(def.name)) fail(kIndexExists, "Table " + tableName + " has an index " + def.name);
    if ((flags & RCX_IDX_PRIMARY) && (idx.flags & RCX_IDX_PRIMARY))
      fail(kPrimaryExists, "Table " + tableName + " has a primary index, " + idx.name);
  }
  // {sign, name, 0}... 0 -- read up to the final zero and never past specLen.
  size_t i = 0, n = size_t(specLen);
  for (;;) {
    if (i >= n) break;  // the final zero may be cut off by a short length
    char sign = spec[i];
    if (sign == '\0') break;
    if (sign != '+' && sign != '-') fail(kInvalidParameter, "A key segment starts with + or -");
    size_t start = ++i;
    while (i < n && spec[i] != '\0') ++i;
    if (i >= n) fail(kInvalidParameter, "A key segment name is not terminated within the given length");
    std::string col(spec + start, i - start);
    ++i;
    const kxstore::ColumnDef* c = meta->def.findColumn(col);
    if (!c) fail(kNoSuchColumn, "Table " + tableName + " has no column " + col);
    if (c->isBlob() || c->colClass == kxstore::kClassBit)
      fail(kCannotIndex, "Column " + col + " is a bit or long-value column and cannot be indexed");
    kxstore::IndexSegment seg;
    seg.columnName = c->name;
    seg.columnNo = c->columnNo;
    seg.flags = sign == '-' ? kxstore::kSegmentDescending : 0;
    def.segments.push_back(seg);
    if (def.segments.size() > 64) fail(kInvalidParameter, "An index has at most 64 segments");
  }
  if (def.segments.empty()) fail(kInvalidParameter, "The key specification names no column");
  cancelPrepared();
  Connection& c = *conn;
  writeTransaction(c, true, [&] {
    int rc = kxstore::createIndex(c.db, tableName, def);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT)
      fail(kDuplicateKey, "The records of " + tableName + " have duplicate values for unique index " + def.name);
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Creating index " + def.name);
  });
  c.changed();
  reloadMeta();
  return kOk;
}

std::int32_t Cursor::deleteIndex(const char* name) {
  materialise();
  checkName(name, "index");
  checkWritable();
  const kxstore::IndexDef* found = nullptr;
  int foundAt = -1;
  for (size_t i = 0; i < meta->def.indexes.size(); ++i)
    if (lower(meta->def.indexes[i].name) == lower(name)) {
      found = &meta->def.indexes[i];
      foundAt = int(i);
    }
  if (!found) fail(kNoSuchIndex, "Table " + tableName + " has no index " + name);
  if (found->sqlName.empty() || found->sqlName.rfind("sqlite_autoindex_", 0) == 0)
    fail(kNotSupported, "Index " + found->name + " belongs to the table's definition and cannot be deleted");
  std::string indexName = found->name;
  cancelPrepared();
  if (foundAt == index) {
    index = -1;
    buildSegments();
  }
  Connection& c = *conn;
  writeTransaction(c, true, [&] {
    int rc = kxstore::dropIndex(c.db, tableName, indexName);
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Deleting index " + indexName);
  });
  c.changed();
  reloadMeta();
  return kOk;
}

std::int32_t Cursor::rename(const char* newName) {
  materialise();
  checkName(newName, "table");
  checkWritable();
  std::string to = newName;
  if (kxstore::isCatalogueTable(to)) fail(kInvalidName, "Names beginning with kx_ belong to the catalogue");
  if (lower(to) != lower(tableName) && tableExists(*conn, to)) fail(kTableExists, "Table " + to + " exists");
  // Nobody else may have the table open: take its lock byte for ourselves.
  if (!exclusive && !locks::lock(tableLockFd, F_WRLCK, tableLockByte, 0))
    fail(kTableInUse, "Table " + tableName + " is open in another cursor");
  cancelPrepared();
  Connection& c = *conn;
  try {
    writeTransaction(c, true, [&] {
      int rc = kxstore::renameTable(c.db, tableName, to);
      if (rc != SQLITE_OK) failSqlite(c.db, rc, "Renaming table " + tableName);
    });
  } catch (...) {
    if (!exclusive) locks::lock(tableLockFd, F_RDLCK, tableLockByte, 0);
    throw;
  }
  off_t newByte = locks::tableByte(to);
  locks::lock(tableLockFd, F_UNLCK, tableLockByte, 0);
  locks::lock(tableLockFd, exclusive ? F_WRLCK : F_RDLCK, newByte, 0);
  tableLockByte = newByte;
  tableName = to;
  c.changed();
  reloadMeta();
  tableName = meta->def.name;
  return kOk;
}

std::int32_t Cursor::setOption(int option, const void* value) {
  materialise();
  switch (option) {
    case 1:
      if (!value) fail(kInvalidParameter, "Option 1 takes the address of a one-byte flag");
      securedOption = *static_cast<const unsigned char*>(value) != 0;
      return kOk;
    case 0: {
      std::string owner = value ? std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), 256)) : "";
      if (owner.empty() || meta->def.owner.empty()) return kOk;
      if (owner != meta->def.owner) fail(kAccessDenied, "Wrong owner name for table " + tableName);
      ownerOk = true;
      return kOk;
    }
    default: fail(kInvalidParameter, "Unknown table option " + std::to_string(option));
  }
}

std::int32_t Cursor::setOwner(const char* owner, int accessMode) {
  materialise();
  std::string o = owner ? std::string(owner, strnlen(owner, 256)) : "";
  if (o.size() > 8) fail(kInvalidName, "An owner name has at most 8 bytes");
  if (accessMode < 0 || accessMode > 3) fail(kInvalidParameter, "Access modes are 0 to 3");
  if (!ownerOk) fail(kAccessDenied, "Give the table's current owner name first");
  if (readOnly) fail(kPermissionDenied, "Table " + tableName + " was opened read-only");
  Connection& c = *conn;
  writeTransaction(c, true, [&] {
    int rc = kxstore::setTableOwner(c.db, tableName, o, std::uint32_t(accessMode) & 1);
    if (rc != SQLITE_OK) failSqlite(c.db, rc, "Setting the owner of " + tableName);
  });
  c.changed();
  reloadMeta();
  ownerOk = true;
  return kOk;
}

}  // namespace rcx
