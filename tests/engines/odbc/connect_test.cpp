// Connecting by DSN, by driver and named database, through the client interface to simulated
// servers; logins; the reported engine version; the installer's setup entry.
#include <sqlite3.h>

#include "engines/store/catalog.h"
#include "engines/store/dsnstore.h"
#include "tests/engines/odbc/odbc_fixture.h"

using namespace kxtest;

namespace {

std::string dbmsVersion(Conn& c) {
  char buf[1024];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetInfo(c.dbc, SQL_DBMS_VER, buf, sizeof buf, &len), SQL_SUCCESS);
  return buf;
}

void addUser(const std::string& file, const char* user, const char* password) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(kxstore::ensureCatalogue(db), SQLITE_OK);
  ASSERT_EQ(kxstore::setUser(db, user, password, 0), SQLITE_OK);
  sqlite3_close(db);
}

}  // namespace

TEST(OdbcConnect, ByDsnDriverAndDbqSeeTheSameDatabase) {
  makeDatabase("SALES");
  makeDsn("SalesDsn", kEngineDriver, {{"DBQ", "SALES"}, {"Description", "sales"}});
  Conn a;
  ASSERT_TRUE(SQL_SUCCEEDED(a.connect("DSN=SalesDsn"))) << a.errors();
  {
    Stmt s(a);
    ASSERT_TRUE(SQL_SUCCEEDED(s.exec("CREATE TABLE t (id INTEGER, name VARCHAR(20))"))) << s.errors();
    ASSERT_TRUE(SQL_SUCCEEDED(s.exec("INSERT INTO t VALUES (1, 'one')"))) << s.errors();
  }
  Conn b;
  ASSERT_TRUE(SQL_SUCCEEDED(b.connect("Driver={Kestrin ODBC Engine Interface};DBQ=sales"))) << b.errors();
  Stmt s(b);
  auto rows = s.rows("SELECT id, name FROM t");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], "one");
  // The completed connection string names the database and never the password.
  EXPECT_NE(b.completed.find("DBQ=sales"), std::string::npos) << b.completed;
}

TEST(OdbcConnect, FailuresNameTheirCause) {
  struct Case {
    const char* connection;
    const char* state;
    SQLINTEGER native;
  } cases[] = {
      {"Driver={Kestrin ODBC Engine Interface};DBQ=NOSUCHDB", "08001", -2301},
      {"Driver={Kestrin ODBC Engine Interface}", "08001", 0},
      {"Driver={Kestrin ODBC Client Interface};ServerName=nosuchserver;ServerDSN=X", "08001", 0},
      {"DSN=NoSuchDsn", "IM002", 0},
  };
  for (const auto& c : cases) {
    Conn conn;
    EXPECT_EQ(conn.connect(c.connection), SQL_ERROR) << c.connection;
    auto d = diags(SQL_HANDLE_DBC, conn.dbc);
    ASSERT_FALSE(d.empty()) << c.connection;
    EXPECT_EQ(d[0].state, c.state) << c.connection << ": " << d[0].message;
    if (c.native) {
      EXPECT_EQ(d[0].native, c.native) << c.connection;
    }
  }
}

TEST(OdbcConnect, SecuredDatabaseChecksTheLogin) {
  std::string file = makeDatabase("SECURED");
  addUser(file, "ALICE", "secret");
  makeDsn("SecuredDsn", kEngineDriver, {{"DBQ", "SECURED"}});
  struct Case {
    const char* login;
    SQLINTEGER native;  // 0: accepted
  } cases[] = {
      {";UID=alice;PWD=secret", 0},
      {";UID=ALICE;PWD=wrong", -1905},
      {";UID=bob;PWD=secret", -1903},
      {"", -1903},
  };
  for (const auto& c : cases) {
    Conn conn;
    SQLRETURN rc = conn.connect(std::string("DSN=SecuredDsn") + c.login);
    if (c.native == 0) {
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << c.login << conn.errors();
      continue;
    }
    EXPECT_EQ(rc, SQL_ERROR) << c.login;
    auto d = diags(SQL_HANDLE_DBC, conn.dbc);
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0].native, c.native) << c.login;
    EXPECT_EQ(d[0].state, "28000");
  }
}

TEST(OdbcConnect, EngineVersionIsAcceptedByDefaultAndConfigurable) {
  makeDatabase("VERSIONS");
  makeDsn("OldEngine", kEngineDriver, {{"DBQ", "VERSIONS"}, {"EngineVersion", "7.94.252"}});
  Conn plain;
  ASSERT_TRUE(SQL_SUCCEEDED(plain.connect("Driver={Kestrin ODBC Engine Interface};DBQ=VERSIONS")));
  std::string v = dbmsVersion(plain);
  int major = 0, minor = 0, build = 0;
  ASSERT_EQ(std::sscanf(v.c_str(), "%d.%d.%d", &major, &minor, &build), 3) << v;
  EXPECT_TRUE(major > 7 || (major == 7 && (minor > 94 || (minor == 94 && build >= 253)))) << v;

  Conn old;
  ASSERT_TRUE(SQL_SUCCEEDED(old.connect("DSN=OldEngine")));
  EXPECT_EQ(dbmsVersion(old), "7.94.252");
  Conn overridden;
  ASSERT_TRUE(SQL_SUCCEEDED(overridden.connect("DSN=OldEngine;EngineVersion=8.0.0")));
  EXPECT_EQ(dbmsVersion(overridden), "8.0.0");
}

TEST(OdbcConnect, ClientInterfaceReachesSimulatedServerAndLocalDsns) {
  // A "remote" server is a folder of its own with its named databases and DSNs.
  std::string serverHome = odbcHome().home() + "/servers/FARHOST";
  std::filesystem::create_directories(serverHome);
  makeDatabase("REMOTEDB", serverHome);
  kxstore::ServerDsn sd;
  sd.name = "RemoteSales";
  sd.set("Driver", kEngineDriver);
  sd.set("DBQ", "REMOTEDB");
  ASSERT_EQ(kxstore::ServerDsnStore(serverHome).add(sd), kxstore::DsnStatus::ok);
  {
    Conn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.connect("Driver=Kestrin ODBC Client Interface;ServerName=FARHOST.1583;ServerDSN=RemoteSales")))
        << c.errors();
    Stmt s(c);
    ASSERT_TRUE(SQL_SUCCEEDED(s.exec("CREATE TABLE remote_only (x INTEGER)"))) << s.errors();
  }
  // The local server's DSNs are the installer's.
  makeDatabase("LOCALDB");
  makeDsn("LocalSales", kEngineDriver, {{"DBQ", "LOCALDB"}});
  Conn local;
  ASSERT_TRUE(SQL_SUCCEEDED(local.connect("Driver=Kestrin ODBC Client Interface;ServerName=localhost;ServerDSN=LocalSales")))
      << local.errors();
  Stmt s(local);
  EXPECT_EQ(s.exec("SELECT * FROM remote_only"), SQL_ERROR);
  EXPECT_EQ(s.state(), "42S02");

  Conn missing;
  EXPECT_EQ(missing.connect("Driver=Kestrin ODBC Client Interface;ServerName=FARHOST;ServerDSN=Nope"), SQL_ERROR);
  EXPECT_EQ(firstState(SQL_HANDLE_DBC, missing.dbc), "08001");
}

TEST(OdbcConnect, ReadOnlyOpenModeRefusesWrites) {
  std::string file = makeDatabase("READONLY");
  {
    Conn w;
    ASSERT_TRUE(SQL_SUCCEEDED(w.connect("Driver={Kestrin ODBC Engine Interface};DBQ=READONLY")));
    Stmt s(w);
    ASSERT_TRUE(SQL_SUCCEEDED(s.exec("CREATE TABLE t (x INTEGER)")));
  }
  makeDsn("RoDsn", kEngineDriver, {{"DBQ", "READONLY"}, {"OpenMode", "1"}});
  Conn c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.connect("DSN=RoDsn"))) << c.errors();
  Stmt s(c);
  EXPECT_EQ(s.exec("INSERT INTO t VALUES (1)"), SQL_ERROR);
  EXPECT_TRUE(SQL_SUCCEEDED(s.exec("SELECT * FROM t"))) << s.errors();
  char ro[8];
  SQLGetInfo(c.dbc, SQL_DATA_SOURCE_READ_ONLY, ro, sizeof ro, nullptr);
  EXPECT_STREQ(ro, "Y");
}

TEST(OdbcConnect, AttributesBeforeAndAfterConnect) {
  makeDatabase("ATTRS");
  Conn c;
  // The package sets the packet size before connecting; it is kept and ignored.
  EXPECT_EQ(SQLSetConnectAttr(c.dbc, SQL_ATTR_PACKET_SIZE, reinterpret_cast<SQLPOINTER>(4096), SQL_IS_UINTEGER),
            SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectAttr(c.dbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_DRIVER), SQL_IS_UINTEGER),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(c.connect("Driver={Kestrin ODBC Engine Interface};DBQ=ATTRS")));
  SQLUINTEGER ac = 99;
  EXPECT_EQ(SQLGetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, &ac, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(ac, SQL_AUTOCOMMIT_ON);
  EXPECT_EQ(SQLSetConnectAttr(c.dbc, 99999, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(firstState(SQL_HANDLE_DBC, c.dbc), "HY092");
  char name[4];
  SQLSMALLINT len = 0;
  // A buffer too small is truncated and reported, with the full length.
  EXPECT_EQ(SQLGetInfo(c.dbc, SQL_DBMS_NAME, name, sizeof name, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(firstState(SQL_HANDLE_DBC, c.dbc), "01004");
  EXPECT_EQ(std::strlen(name), 3u);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen("Kestrin.SQL")));
}

// ---------------------------------------------------------------------------------------------
// The installer's setup entry, reached through SQLConfigDataSource.

namespace {

std::string installerError(DWORD* code) {
  char msg[1024] = {0};
  WORD len = 0;
  *code = 0;
  if (SQLInstallerError(1, code, msg, sizeof msg, &len) != SQL_SUCCESS) return {};
  return msg;
}

std::string dsnKey(const char* dsn, const char* key, UWORD mode) {
  UWORD old;
  SQLGetConfigMode(&old);
  SQLSetConfigMode(mode);
  char buf[256] = {0};
  SQLGetPrivateProfileString(dsn, key, "<absent>", buf, sizeof buf, "odbc.ini");
  SQLSetConfigMode(old);
  return buf;
}

}  // namespace

TEST(OdbcSetup, AddsChangesAndRemovesDsns) {
  odbcHome();
  makeDatabase("SETUPDB");
  const char add[] = "DSN=SetupDsn\0DBQ=SETUPDB\0OpenMode=0\0TranslationDLL=\0Description=made by setup\0";
  ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kEngineDriver, add));
  EXPECT_EQ(dsnKey("SetupDsn", "Driver", ODBC_SYSTEM_DSN), kEngineDriver);
  EXPECT_EQ(dsnKey("SetupDsn", "DBQ", ODBC_SYSTEM_DSN), "SETUPDB");
  // Empty values stay as keys.
  EXPECT_EQ(dsnKey("SetupDsn", "TranslationDLL", ODBC_SYSTEM_DSN), "");
  {
    Conn c;
    EXPECT_TRUE(SQL_SUCCEEDED(c.connect("DSN=SetupDsn"))) << c.errors();
  }
  const char change[] = "DSN=SetupDsn\0Description=changed\0";
  ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_CONFIG_SYS_DSN, kEngineDriver, change));
  EXPECT_EQ(dsnKey("SetupDsn", "Description", ODBC_SYSTEM_DSN), "changed");

  // A client DSN removed under the engine name is refused with installer error 7, as the
  // package expects before it retries with the client name.
  const char client[] = "DSN=ClientDsn\0ServerName=FARHOST\0ServerDSN=RemoteSales\0";
  ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kClientDriver, client));
  EXPECT_EQ(dsnKey("ClientDsn", "ServerName", ODBC_USER_DSN), "FARHOST");
  const char removeClient[] = "DSN=ClientDsn\0";
  EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_REMOVE_DSN, kEngineDriver, removeClient));
  DWORD code = 0;
  installerError(&code);
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_DSN, kClientDriver, removeClient));
  EXPECT_EQ(dsnKey("ClientDsn", "Driver", ODBC_USER_DSN), "<absent>");

  const char removeEngine[] = "DSN=SetupDsn\0";
  EXPECT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_SYS_DSN, kEngineDriver, removeEngine));
  EXPECT_EQ(dsnKey("SetupDsn", "Driver", ODBC_SYSTEM_DSN), "<absent>");
  EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_REMOVE_SYS_DSN, kEngineDriver, removeEngine));
  installerError(&code);
  EXPECT_EQ(code, static_cast<DWORD>(ODBC_ERROR_REQUEST_FAILED));
}

TEST(OdbcConnect, DisconnectWithStatementsStillAllocated) {
  makeDatabase("LIFECYCLE");
  for (int round = 0; round < 2; ++round) {
    Conn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.connect("Driver={Kestrin ODBC Engine Interface};DBQ=LIFECYCLE")));
    SQLHSTMT open = nullptr, idle = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &open);
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &idle);
    ASSERT_EQ(SQLExecDirect(open, (SQLCHAR*)"SELECT 1 UNION ALL SELECT 2", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(open), SQL_SUCCESS);
    // Disconnecting frees the statements (a cursor still open included); nothing leaks and
    // the connection can be used again.
    EXPECT_EQ(SQLDisconnect(c.dbc), SQL_SUCCESS);
    c.connected = false;
    if (round == 0) {
      ASSERT_TRUE(SQL_SUCCEEDED(c.connect("Driver={Kestrin ODBC Engine Interface};DBQ=LIFECYCLE")));
      Stmt s(c);
      EXPECT_EQ(s.rows("SELECT 42")[0][0], "42");
    }
  }
}
