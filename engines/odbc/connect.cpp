// Connecting: connection strings, DSNs, named databases, simulated servers and logins.
#include "engines/odbc/connect.h"

#include <odbcinst.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "engines/odbc/program.h"
#include "engines/odbc/result.h"
#include "engines/store/catalog.h"
#include "engines/store/dbnames.h"
#include "engines/store/dsnstore.h"
#include "engines/store/home.h"

namespace kxodbc {

namespace {

// The version reported as SQL_DBMS_VER unless a DSN or the connection string says otherwise.
constexpr const char* kDefaultEngineVersion = "08.10.0300";

std::string trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t a = 0;
  while (a < s.size() && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  return s.substr(a);
}

std::string dsnValue(const std::string& dsn, const char* key) { return installerValue(dsn, key).value_or(""); }

bool dsnExists(const std::string& dsn) {
  // An existing section always has a Driver key: the driver manager needs it to find us.
  return !dsnValue(dsn, "Driver").empty();
}

// "host.1583" names host "host" on port 1583.
std::string stripPort(std::string server) {
  size_t dot = server.rfind('.');
  if (dot != std::string::npos && dot + 1 < server.size() &&
      std::all_of(server.begin() + static_cast<long>(dot) + 1, server.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    server.erase(dot);
  return server;
}

}  // namespace

ConnAttrs parseConnectionString(std::string_view s) {
  ConnAttrs out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ';' || std::isspace(static_cast<unsigned char>(s[i])))) ++i;
    if (i >= s.size()) break;
    size_t eq = s.find('=', i);
    if (eq == std::string_view::npos) {
      // A keyword without a value.
      size_t semi = s.find(';', i);
      out.emplace_back(upper(trim(std::string(s.substr(i, semi - i)))), "");
      i = semi == std::string_view::npos ? s.size() : semi + 1;
      continue;
    }
    std::string key = upper(trim(std::string(s.substr(i, eq - i))));
    i = eq + 1;
    while (i < s.size() && s[i] == ' ') ++i;
    std::string value;
    if (i < s.size() && s[i] == '{') {
      ++i;
      while (i < s.size()) {
        if (s[i] == '}') {
          if (i + 1 < s.size() && s[i + 1] == '}') {
            value += '}';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += s[i++];
      }
      while (i < s.size() && s[i] != ';') ++i;
    } else {
      size_t semi = s.find(';', i);
      if (semi == std::string_view::npos) semi = s.size();
      value = trim(std::string(s.substr(i, semi - i)));
      i = semi;
    }
    // The first occurrence of a keyword wins, as ODBC asks.
    bool seen = false;
    for (auto& kv : out)
      if (kv.first == key) seen = true;
    if (!seen) out.emplace_back(key, value);
  }
  return out;
}

std::string attr(const ConnAttrs& a, const char* key) {
  for (auto& kv : a)
    if (kv.first == key) return kv.second;
  return {};
}

bool hasAttr(const ConnAttrs& a, const char* key) {
  for (auto& kv : a)
    if (kv.first == key) return true;
  return false;
}

void connect(Dbc& dbc, const ConnAttrs& in, std::string* outString) {
  if (dbc.connected()) fail("08002", "Connection name in use");
  ConnAttrs a = in;
  std::string dsn = attr(a, "DSN");
  std::string driver = attr(a, "DRIVER");
  if (!driver.empty() && driver.front() == '{') driver = driver.substr(1, driver.size() - 2);
  auto pick = [&](const char* key, const char* dsnKey) {
    std::string v = attr(a, key);
    if (v.empty() && !hasAttr(a, key) && !dsn.empty()) v = dsnValue(dsn, dsnKey);
    return v;
  };
  if (!dsn.empty() && !dsnExists(dsn) && driver.empty())
    fail("IM002", "Data source name not found and no default driver specified: " + dsn);
  std::string dsnDriver = dsn.empty() ? std::string() : dsnValue(dsn, "Driver");
  std::string user = hasAttr(a, "UID") ? attr(a, "UID") : pick("USER", "UID");
  std::string password = hasAttr(a, "PWD") ? attr(a, "PWD") : pick("PASSWORD", "PWD");
  std::string dbq = pick("DBQ", "DBQ");
  if (dbq.empty()) dbq = attr(a, "DATABASE");
  std::string serverName = pick("SERVERNAME", "ServerName");
  std::string serverDsn = pick("SERVERDSN", "ServerDSN");
  std::string openMode = pick("OPENMODE", "OpenMode");
  std::string version = pick("ENGINEVERSION", "EngineVersion");
  if (version.empty()) {
    const char* env = std::getenv("KX_ODBC_ENGINE_VERSION");
    version = env && *env ? env : kDefaultEngineVersion;
  }
  bool client = iequals(driver, kxstore::kClientDriverName) || iequals(dsnDriver, kxstore::kClientDriverName) ||
                (!serverName.empty() && dbq.empty());

  // Where the named database lives: this machine, or a simulated server.
  std::string home = kxstore::engineHome();
  if (client) {
    if (serverName.empty()) fail("08001", "Client unable to establish connection: no ServerName given");
    std::string server = stripPort(serverName);
    kxstore::ServerLocation loc = kxstore::locateServer(server);
    if (loc.kind == kxstore::ServerKind::unknown)
      fail("08001", "Client unable to establish connection: server not found: " + server);
    if (serverDsn.empty() && dbq.empty()) fail("08001", "Client unable to establish connection: no ServerDSN given");
    if (!serverDsn.empty()) {
      std::string sdbq, smode;
      if (loc.kind == kxstore::ServerKind::local) {
        if (!dsnExists(serverDsn)) fail("08001", "Client unable to establish connection: DSN not found on server: " + serverDsn);
        sdbq = dsnValue(serverDsn, "DBQ");
        smode = dsnValue(serverDsn, "OpenMode");
      } else {
        kxstore::ServerDsn sd;
        kxstore::DsnStatus st = kxstore::ServerDsnStore(loc.home).get(serverDsn, sd);
        if (st != kxstore::DsnStatus::ok)
          fail("08001", "Client unable to establish connection: DSN not found on server: " + serverDsn);
        sdbq = sd.value("DBQ").value_or("");
        smode = sd.value("OpenMode").value_or("");
      }
      if (dbq.empty()) dbq = sdbq;
      if (openMode.empty()) openMode = smode;
    }
    home = loc.home;
    dbc.serverName = server;
  }
  if (dbq.empty()) fail("08001", "Client unable to establish connection: no database (DBQ) given");

  // DBQ names a named database; an absolute path opens that SQLite file directly.
  std::string path;
  if (dbq.find('/') != std::string::npos) {
    path = dbq;
  } else {
    kxstore::ResolvedDb rdb;
    kxstore::DbStatus st = kxstore::resolveDatabase(home, dbq, rdb, true);
    if (st == kxstore::DbStatus::notFound)
      fail("08001", "Client unable to establish connection: named database not found: " + dbq, kNativeNoDatabase);
    if (st != kxstore::DbStatus::ok)
      fail("08001", std::string("Client unable to establish connection: ") + kxstore::describe(st) + ": " + dbq,
           kNativeNoDatabase);
    path = rdb.file;
  }

  int mode = openMode.empty() ? 0 : std::atoi(openMode.c_str());
  bool readOnly = mode == 1;
  sqlite3* db = nullptr;
  int flags = (readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    fail("08001", "Client unable to establish connection: " + msg + ": " + path, kNativeSqliteBase - rc);
  }
  auto closeOnError = [&](const OdbcError& e) {
    sqlite3_close(db);
    throw e;
  };
  try {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);
    if (kxstore::installExtensions(db) != SQLITE_OK) failSqlite(db, SQLITE_ERROR, "installing the engine's collations");
    if (!readOnly) {
      rc = kxstore::ensureCatalogue(db);
      if (rc != SQLITE_OK && rc != SQLITE_READONLY) failSqlite(db, rc, "opening the engine catalogue");
    }
    // Accelerated: no waiting for the disk; exclusive: no other connection may share the file.
    if (mode == -1) {
      rc = sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) failSqlite(db, rc, "opening the database accelerated");
    }
    if (mode == -4) {
      rc = sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) failSqlite(db, rc, "opening the database exclusively");
    }
    rc = sqlite3_exec(db, readOnly || dbc.readOnly ? "PRAGMA foreign_keys=ON; PRAGMA query_only=ON" : "PRAGMA foreign_keys=ON",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failSqlite(db, rc, "setting up the connection");
    // Logins: a database with users checks them.
    if (kxstore::hasUsers(db)) {
      switch (kxstore::checkLogin(db, user, password)) {
        case kxstore::LoginResult::ok: break;
        case kxstore::LoginResult::unknownUser:
          fail("28000", "Invalid authorization specification: invalid account name", kNativeBadAccount);
        case kxstore::LoginResult::badPassword:
          fail("28000", "Invalid authorization specification: invalid password", kNativeBadPassword);
        case kxstore::LoginResult::error: failSqlite(db, SQLITE_ERROR, "checking the login");
      }
    }
  } catch (const OdbcError& e) {
    closeOnError(e);
  }
  dbc.db = db;
  dbc.openReadOnly = readOnly;
  dbc.readOnly = readOnly || dbc.readOnly;
  dbc.dsn = dsn;
  dbc.driverName = client ? kxstore::kClientDriverName : kxstore::kEngineDriverName;
  dbc.clientInterface = client;
  dbc.databaseName = dbq;
  dbc.databasePath = path;
  dbc.user = user;
  dbc.engineVersion = version;
  if (outString) {
    std::string out;
    if (!dsn.empty()) out += "DSN=" + dsn + ";";
    else out += "DRIVER={" + dbc.driverName + "};";
    if (client) {
      out += "ServerName=" + serverName + ";";
      if (!serverDsn.empty()) out += "ServerDSN=" + serverDsn + ";";
    } else {
      out += "DBQ=" + dbq + ";";
    }
    if (!user.empty()) out += "UID=" + user + ";";
    *outString = out;
  }
}

// ---------------------------------------------------------------------------------------------

Dbc::~Dbc() { disconnect(); }

void Dbc::disconnect() {
  for (Stmt* s : stmts) s->resetProgram();
  if (db) {
    // Manual-commit work not committed is rolled back, as ODBC asks.
    // A failed rollback cannot be reported from here; closing the file discards the work anyway.
    if (!sqlite3_get_autocommit(db)) (void)sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    // close_v2 always succeeds: statements still open are finalised with their owners.
    (void)sqlite3_close_v2(db);
    db = nullptr;
  }
}

void Dbc::beginIfManual() {
  if (autocommit || !db || !sqlite3_get_autocommit(db)) return;
  int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) failSqlite(db, rc, "starting a transaction");
}

void Dbc::endTransaction(bool commit) {
  if (!db || sqlite3_get_autocommit(db)) return;
  if (!commit) {
    // Rolled-back rows must not stay visible through open forward-only cursors.
    for (Stmt* s : stmts)
      if (s->result && s->result->kind == Result::Kind::Stream) s->closeCursor();
  }
  int rc = sqlite3_exec(db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) failSqlite(db, rc, commit ? "committing" : "rolling back");
}

Stmt* Dbc::findCursor(const std::string& name) {
  for (Stmt* s : stmts)
    if (s->result && iequals(s->getCursorName(), name)) return s;
  return nullptr;
}

}  // namespace kxodbc
