// Rows per second of a bound-column fetch loop over 1,000,000 rows of five mixed columns:
// our driver and the peer SQLite ODBC driver through the unixODBC driver manager, and the raw
// SQLite C API reading the same file. The ratios to the raw loop and to the peer are printed at
// the end.
#include <benchmark/benchmark.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

constexpr int kRows = 1000000;
constexpr const char* kPeerDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr const char* kQuery = "SELECT id, name, amount, total, day FROM bench";

struct Workspace {
  std::string dir, file;
  Workspace() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kxodbc-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    dir = tmpl;
    file = dir + "/bench.db";
    std::filesystem::copy_file(KX_ODBCINST_INI, dir + "/odbcinst.ini");
    std::ofstream(dir + "/odbcinst.ini", std::ios::app) << "\n[SQLite3 Peer]\nDriver=" << kPeerDriver << "\n";
    std::ofstream ini(dir + "/odbc.ini");
    ini << "[KxBench]\nDriver=Kestrin ODBC Engine Interface\nDBQ=" << file << "\n\n"
        << "[PeerBench]\nDriver=SQLite3 Peer\nDatabase=" << file << "\n";
    ini.close();
    ::setenv("ODBCSYSINI", dir.c_str(), 1);
    ::setenv("ODBCINI", (dir + "/user.ini").c_str(), 1);
    ::setenv("KX_ENGINE_HOME", dir.c_str(), 1);
    fill();
  }
  ~Workspace() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void fill() {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE bench (id INTEGER, name VARCHAR(24), amount DOUBLE, total BIGINT, day DATE);"
                 "BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO bench VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr);
    char name[32], day[16];
    for (int i = 0; i < kRows; ++i) {
      std::snprintf(name, sizeof name, "customer-%07d", i);
      std::snprintf(day, sizeof day, "20%02d-%02d-%02d", i % 30, i % 12 + 1, i % 28 + 1);
      sqlite3_bind_int(st, 1, i);
      sqlite3_bind_text(st, 2, name, -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 3, i * 0.25);
      sqlite3_bind_int64(st, 4, 10000000000LL + i);
      sqlite3_bind_text(st, 5, day, -1, SQLITE_TRANSIENT);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
};

Workspace& workspace() {
  static Workspace w;  // removed at exit, with its million rows
  return w;
}

struct Row {
  SQLINTEGER id;
  char name[32];
  double amount;
  SQLBIGINT total;
  char day[16];
  SQLLEN ind[5];
};

// The same loop for both drivers: bound columns, SQLFetch (or a rowset of `rowset` rows).
void odbcLoop(benchmark::State& state, const char* dsn, SQLULEN rowset) {
  workspace();
  SQLHENV env;
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string cs = std::string("DSN=") + dsn;
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
    state.SkipWithError("cannot connect");
    return;
  }
  std::vector<Row> rows(rowset);
  long total = 0;
  for (auto _ : state) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    if (!SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)kQuery, SQL_NTS))) {
      state.SkipWithError("query failed");
      break;
    }
    Row& r = rows[0];
    SQLBindCol(st, 1, SQL_C_SLONG, &r.id, 0, &r.ind[0]);
    SQLBindCol(st, 2, SQL_C_CHAR, r.name, sizeof r.name, &r.ind[1]);
    SQLBindCol(st, 3, SQL_C_DOUBLE, &r.amount, 0, &r.ind[2]);
    SQLBindCol(st, 4, SQL_C_SBIGINT, &r.total, 0, &r.ind[3]);
    SQLBindCol(st, 5, SQL_C_CHAR, r.day, sizeof r.day, &r.ind[4]);
    long n = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
      n += static_cast<long>(fetched);
      benchmark::DoNotOptimize(rows[0].total);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (n != kRows) state.SkipWithError("wrong row count");
    total += n;
  }
  state.SetItemsProcessed(total);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void BM_KestrinDriver(benchmark::State& s) { odbcLoop(s, "KxBench", 1); }
void BM_PeerDriver(benchmark::State& s) { odbcLoop(s, "PeerBench", 1); }
void BM_KestrinDriverRowset100(benchmark::State& s) { odbcLoop(s, "KxBench", 100); }
void BM_PeerDriverRowset100(benchmark::State& s) { odbcLoop(s, "PeerBench", 100); }

// The raw loop copies the same values into the same kind of row the drivers fill.
void BM_RawSqlite(benchmark::State& state) {
  workspace();
  sqlite3* db = nullptr;
  sqlite3_open_v2(workspace().file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  Row r{};
  long total = 0;
  for (auto _ : state) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &st, nullptr);
    long n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      r.id = sqlite3_column_int(st, 0);
      const unsigned char* t = sqlite3_column_text(st, 1);
      size_t len = static_cast<size_t>(sqlite3_column_bytes(st, 1));
      if (len >= sizeof r.name) len = sizeof r.name - 1;
      std::memcpy(r.name, t, len);
      r.name[len] = 0;
      r.amount = sqlite3_column_double(st, 2);
      r.total = sqlite3_column_int64(st, 3);
      t = sqlite3_column_text(st, 4);
      len = static_cast<size_t>(sqlite3_column_bytes(st, 4));
      if (len >= sizeof r.day) len = sizeof r.day - 1;
      std::memcpy(r.day, t, len);
      r.day[len] = 0;
      benchmark::DoNotOptimize(r);
      ++n;
    }
    sqlite3_finalize(st);
    total += n;
  }
  state.SetItemsProcessed(total);
  sqlite3_close(db);
}

BENCHMARK(BM_RawSqlite)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_KestrinDriver)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PeerDriver)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_KestrinDriverRowset100)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PeerDriverRowset100)->Unit(benchmark::kMillisecond)->Iterations(3);

// Prints the rows/s ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) {
      auto it = r.counters.find("items_per_second");
      if (it != r.counters.end()) rate_[r.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto get = [&](const char* prefix) {
      for (auto& kv : rate_)
        if (kv.first.rfind(prefix, 0) == 0 && kv.first.find("Rowset", std::strlen(prefix) - 1) == std::string::npos)
          return kv.second;
      return 0.0;
    };
    auto getRowset = [&](const char* prefix) {
      for (auto& kv : rate_)
        if (kv.first.rfind(prefix, 0) == 0) return kv.second;
      return 0.0;
    };
    double raw = get("BM_RawSqlite"), ours = get("BM_KestrinDriver/"), peer = get("BM_PeerDriver/");
    double ours100 = getRowset("BM_KestrinDriverRowset100"), peer100 = getRowset("BM_PeerDriverRowset100");
    std::printf("\nrows/s  raw SQLite %.0f, Kestrin driver %.0f, peer driver %.0f\n", raw, ours, peer);
    if (raw > 0 && peer > 0)
      std::printf("SQLFetch loop:     Kestrin/raw = %.2f (goal >= 0.70), Kestrin/peer = %.2f (goal >= 2.00)\n",
                  ours / raw, ours / peer);
    if (raw > 0 && peer100 > 0)
      std::printf("rowsets of 100:    Kestrin/raw = %.2f, Kestrin/peer = %.2f\n", ours100 / raw, ours100 / peer100);
  }

 private:
  std::map<std::string, double> rate_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
