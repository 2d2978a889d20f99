// Test fixture: the driver reached through the unixODBC driver manager, as applications reach it.
// One private folder per test program holds odbcinst.ini (the build's, naming our driver),
// odbc.ini and the engine home; the installer library fixes $ODBCSYSINI at first use, so the
// environment is set once, before any ODBC call.
#pragma once

#include <gtest/gtest.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engines/store/dbnames.h"
#include "engines/store/home.h"

namespace kxtest {

inline const char* kEngineDriver = "Kestrin ODBC Engine Interface";
inline const char* kClientDriver = "Kestrin ODBC Client Interface";

class OdbcHome {
 public:
  OdbcHome() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kxodbc-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    root_ = tmpl;
    std::filesystem::create_directories(root_ + "/home");
    std::filesystem::copy_file(KX_ODBCINST_INI, root_ + "/odbcinst.ini");
    std::ofstream(root_ + "/odbc.ini").close();
    std::ofstream(root_ + "/user.ini").close();
    ::setenv("ODBCSYSINI", root_.c_str(), 1);
    ::setenv("ODBCINI", (root_ + "/user.ini").c_str(), 1);
    ::setenv("KX_ENGINE_HOME", (root_ + "/home").c_str(), 1);
  }
  ~OdbcHome() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }

 private:
  std::string root_;
};

inline OdbcHome& odbcHome() {
  static OdbcHome h;  // removed at exit
  return h;
}

// A named database in the local home (or a server's home); returns its SQLite file.
inline std::string makeDatabase(const std::string& name, const std::string& home = odbcHome().home()) {
  kxstore::DbNames store(home);
  kxstore::DbEntry e;
  e.name = name;
  kxstore::DbStatus st = store.add(e);
  EXPECT_TRUE(st == kxstore::DbStatus::ok || st == kxstore::DbStatus::duplicate) << kxstore::describe(st);
  kxstore::ResolvedDb r;
  EXPECT_EQ(kxstore::resolveDatabase(home, name, r, true), kxstore::DbStatus::ok);
  return r.file;
}

// A system DSN written straight into odbc.ini.
inline void makeDsn(const std::string& dsn, const std::string& driver,
                    std::vector<std::pair<std::string, std::string>> keys) {
  UWORD old = ODBC_BOTH_DSN;
  SQLGetConfigMode(&old);
  SQLSetConfigMode(ODBC_SYSTEM_DSN);
  EXPECT_TRUE(SQLWriteDSNToIni(dsn.c_str(), driver.c_str()));
  for (auto& kv : keys) SQLWritePrivateProfileString(dsn.c_str(), kv.first.c_str(), kv.second.c_str(), "odbc.ini");
  SQLSetConfigMode(old);
}

struct Diag {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
};

inline std::vector<Diag> diags(SQLSMALLINT type, SQLHANDLE h) {
  std::vector<Diag> out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0};
    SQLCHAR msg[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, i, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(msg)});
  }
  return out;
}

inline std::string firstState(SQLSMALLINT type, SQLHANDLE h) {
  auto d = diags(type, h);
  return d.empty() ? std::string() : d[0].state;
}

inline std::string describeDiags(SQLSMALLINT type, SQLHANDLE h) {
  std::string s;
  for (auto& d : diags(type, h)) s += d.state + " (" + std::to_string(d.native) + ") " + d.message + "\n";
  return s;
}

// One environment and connection.
class Conn {
 public:
  Conn() {
    odbcHome();
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  }
  ~Conn() {
    if (connected) {
      SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
      SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;

  SQLRETURN connect(const std::string& cs) {
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                    SQL_DRIVER_NOPROMPT);
    connected = SQL_SUCCEEDED(rc);
    if (connected) completed.assign(reinterpret_cast<char*>(out), static_cast<size_t>(outLen));
    return rc;
  }
  std::string errors() { return describeDiags(SQL_HANDLE_DBC, dbc); }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  std::string completed;
};

class Stmt {
 public:
  explicit Stmt(Conn& c) { SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &h); }
  ~Stmt() { SQLFreeHandle(SQL_HANDLE_STMT, h); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  operator SQLHSTMT() const { return h; }

  SQLRETURN exec(const std::string& sql) { return SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS); }
  SQLRETURN prepare(const std::string& sql) { return SQLPrepare(h, (SQLCHAR*)sql.c_str(), SQL_NTS); }
  std::string errors() const { return describeDiags(SQL_HANDLE_STMT, h); }
  std::string state() const { return firstState(SQL_HANDLE_STMT, h); }
  void close() { SQLFreeStmt(h, SQL_CLOSE); }

  // Column n of the current row as text; nullopt for NULL.
  std::optional<std::string> text(SQLUSMALLINT n) {
    char buf[4096];
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(h, n, SQL_C_CHAR, buf, sizeof buf, &ind);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << errors();
    if (ind == SQL_NULL_DATA) return std::nullopt;
    return std::string(buf);
  }
  long long integer(SQLUSMALLINT n) {
    SQLBIGINT v = 0;
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(h, n, SQL_C_SBIGINT, &v, sizeof v, &ind);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << errors();
    return v;
  }
  // All rows of a query, every column as text ("NULL" for null).
  std::vector<std::vector<std::string>> rows(const std::string& sql) {
    std::vector<std::vector<std::string>> out;
    EXPECT_TRUE(SQL_SUCCEEDED(exec(sql))) << sql << "\n" << errors();
    SQLSMALLINT n = 0;
    SQLNumResultCols(h, &n);
    while (SQL_SUCCEEDED(SQLFetch(h))) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= n; ++c) row.push_back(text(c).value_or("NULL"));
      out.push_back(row);
    }
    close();
    return out;
  }
  SQLHSTMT h = SQL_NULL_HSTMT;
};

// A connection to a fresh named database through a DSN of the engine interface.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& ch : name)
      if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    dbName = name.substr(0, 60);
    dbFile = makeDatabase(dbName);
    dsn = "T" + std::to_string(++counter());
    makeDsn(dsn, kEngineDriver, {{"DBQ", dbName}});
    ASSERT_TRUE(SQL_SUCCEEDED(conn.connect("DSN=" + dsn))) << conn.errors();
  }
  static int& counter() {
    static int n = 0;
    return n;
  }
  void run(const std::string& sql) {
    Stmt s(conn);
    SQLRETURN rc = s.exec(sql);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql << "\n" << s.errors();
  }
  std::vector<std::vector<std::string>> query(const std::string& sql) {
    Stmt s(conn);
    return s.rows(sql);
  }

  Conn conn;
  std::string dbName, dbFile, dsn;
};

}  // namespace kxtest
