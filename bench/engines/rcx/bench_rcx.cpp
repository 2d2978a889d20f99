// The record manager against the raw SQLite C API on the same database file, in the same run.
//
// Pairs (librcx / raw), with the ratio printed at the end:
//   scan by the primary index and by a secondary index   rows per second  (goal: rcx >= 0.6 x raw)
//   seek by key in 1,000,000 rows                        time per seek    (goal: rcx <= 2 x raw)
//   100,000 inserts in one transaction                   time             (goal: rcx <= 1.5 x raw)
//   range scan of 10% of the table                       rows per second
// The data lives in a temporary engine home made for the run. Ratios compare CPU time, which
// other work on a shared machine disturbs less than elapsed time (both are printed above).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engines/rcx/rcx.h"
#include "engines/store/dbnames.h"

namespace {

constexpr int kScanRows = 200000;
int kSeekRows = 1000000;  // KX_BENCH_SEEK_ROWS overrides, for quick profiling runs
constexpr int kInsertRows = 100000;

struct Env {
  std::string home;
  std::string file;
  std::uint32_t ses = 0, db = 0;
  sqlite3* raw = nullptr;
};
Env g;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "benchmark set-up failed: %s\n", what);
    std::exit(1);
  }
}

void exec(const char* sql) { check(sqlite3_exec(g.raw, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sql); }

// A table of (ID integer, NAME varchar(30), AMOUNT double, QTY integer) made through the record
// manager (so it has its catalogue), with a primary index on ID and an index on NAME.
void makeTable(const char* name, bool withIndexes) {
  std::uint32_t h = 0;
  check(VoskCreateTable(g.ses, g.db, name, &h) == 0, "create table");
  struct C {
    const char* n;
    std::uint32_t t, max;
  } cols[] = {{"ID", 0x0104, 4}, {"NAME", 0x0B68, 30}, {"AMOUNT", 0x0207, 8}, {"QTY", 0x0104, 4}};
  for (auto& c : cols) {
    RCX_COLUMNDEF d{};
    d.Struct = sizeof d;
    d.coltyp = c.t;
    d.Max = c.max;
    std::uint32_t id;
    check(VoskCreateColumn(g.ses, h, c.n, &d, &id) == 0, "create column");
  }
  check(VoskCloseTable(g.ses, h) == 0, "close");
  if (!withIndexes) return;
  check(VoskOpenTable(g.ses, g.db, name, 0, 0, &h) == 0, "open");
  static const char pk[] = "+ID\0";
  static const char byName[] = "+NAME\0";
  check(VoskCreateIndex(g.ses, h, "PK", RCX_IDX_PRIMARY | RCX_IDX_CASE_SENSITIVE, pk, sizeof pk, 0) == 0, "pk");
  check(VoskCreateIndex(g.ses, h, "ByName", RCX_IDX_CASE_SENSITIVE, byName, sizeof byName, 0) == 0, "index");
  check(VoskCloseTable(g.ses, h) == 0, "close");
}

std::string nameFor(int i) {
  char b[32];
  std::snprintf(b, sizeof b, "name%08d", int((std::uint32_t(i) * 2654435761u) % 100000000u));
  return b;
}

void fillRaw(const char* table, int rows) {
  exec("BEGIN");
  std::string sql = std::string("INSERT INTO ") + table + "(ID, NAME, AMOUNT, QTY) VALUES(?,?,?,?)";
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(g.raw, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, "prepare fill");
  for (int i = 0; i < rows; ++i) {
    std::string n = nameFor(i);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_text(st, 2, n.c_str(), int(n.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 3, i * 0.25);
    sqlite3_bind_int(st, 4, i % 97);
    check(sqlite3_step(st) == SQLITE_DONE, "fill");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  exec("COMMIT");
}

void setUp() {
  if (const char* n = std::getenv("KX_BENCH_SEEK_ROWS")) kSeekRows = std::max(1000, std::atoi(n));
  char tmpl[] = "/tmp/rcx-bench-XXXXXX";
  g.home = mkdtemp(tmpl);
  setenv("KX_ENGINE_HOME", g.home.c_str(), 1);
  TSqlDbFlags flags = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  check(SQLAddDatabaseName2("BENCH", flags, 1, "", 1, "", 0, "", "") == 0, "named database");
  check(VoskBeginSession(&g.ses, "", "", "") == 0, "session");
  check(VoskOpenDatabase(g.ses, "BENCH", &g.db, 0, "", "") == 0, "database");
  kxstore::ResolvedDb r;
  check(kxstore::resolveDatabase(g.home, "BENCH", r, false) == kxstore::DbStatus::ok, "resolve");
  g.file = r.file;
  check(sqlite3_open(g.file.c_str(), &g.raw) == SQLITE_OK, "raw open");
  exec("PRAGMA synchronous=NORMAL");
  makeTable("Scan", true);
  makeTable("Seek", true);
  makeTable("InsRcx", true);
  makeTable("InsRaw", true);
  fillRaw("Scan", kScanRows);
  fillRaw("Seek", kSeekRows);
  // Both sides start from the same file: the write-ahead log folded in.
  exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

void tearDown() {
  sqlite3_close(g.raw);
  VoskEndSession(g.ses);
  std::error_code ec;
  std::filesystem::remove_all(g.home, ec);
}

std::uint32_t openTable(const char* name, const char* index) {
  std::uint32_t h = 0;
  check(VoskOpenTable(g.ses, g.db, name, 0, 0, &h) == 0, "open table");
  check(VoskSetTableIndex(g.ses, h, index) == 0, "set index");
  return h;
}

// Reads the four columns of the current record as the record-level dataset does.
inline void readRecord(std::uint32_t h, benchmark::State& state) {
  std::int32_t id, qty;
  double amount;
  char name[32];
  std::uint32_t n;
  VoskRetrieveColumn(g.ses, h, 1, &id, 4, &n, nullptr);
  VoskRetrieveColumn(g.ses, h, 2, name, 32, &n, nullptr);
  VoskRetrieveColumn(g.ses, h, 3, &amount, 8, &n, nullptr);
  VoskRetrieveColumn(g.ses, h, 4, &qty, 4, &n, nullptr);
  benchmark::DoNotOptimize(id + qty + amount + name[0]);
  (void)state;
}

inline void readRaw(sqlite3_stmt* st) {
  int id = sqlite3_column_int(st, 0);
  const unsigned char* name = sqlite3_column_text(st, 1);
  double amount = sqlite3_column_double(st, 2);
  int qty = sqlite3_column_int(st, 3);
  char copy[32];
  std::memcpy(copy, name, std::min<size_t>(std::strlen(reinterpret_cast<const char*>(name)) + 1, sizeof copy));
  benchmark::DoNotOptimize(id + qty + amount + copy[0]);
}

void scanRcx(benchmark::State& state, const char* index) {
  std::uint32_t h = openTable("Scan", index);
  std::int64_t rows = 0;
  for (auto _ : state) {
    for (std::int32_t r = VoskMove(g.ses, h, RCX_MoveFirst); r == 0; r = VoskMove(g.ses, h, RCX_MoveNext)) {
      readRecord(h, state);
      ++rows;
    }
  }
  state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
  VoskCloseTable(g.ses, h);
}

void scanRaw(benchmark::State& state, const char* orderBy) {
  std::string sql = std::string("SELECT ID, NAME, AMOUNT, QTY FROM Scan ORDER BY ") + orderBy;
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(g.raw, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, "prepare scan");
  std::int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      readRaw(st);
      ++rows;
    }
    sqlite3_reset(st);
  }
  state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
  sqlite3_finalize(st);
}

void BM_ScanPrimary_Rcx(benchmark::State& s) { scanRcx(s, "PK"); }
void BM_ScanPrimary_Raw(benchmark::State& s) { scanRaw(s, "ID, rowid"); }
void BM_ScanSecondary_Rcx(benchmark::State& s) { scanRcx(s, "ByName"); }
void BM_ScanSecondary_Raw(benchmark::State& s) { scanRaw(s, "NAME, rowid"); }

void BM_Seek_Rcx(benchmark::State& state) {
  std::uint32_t h = openTable("Seek", "PK");
  std::mt19937 rng(42);
  for (auto _ : state) {
    std::int32_t key = std::int32_t(rng() % kSeekRows), id = 0;
    std::uint32_t n;
    VoskMakeFilterKey(h, 1, RCX_KEY_SEARCH, &key, 4, RCX_KEYFLAG_FIRST);
    if (VoskMove(g.ses, h, RCX_MoveFirst) != 0) state.SkipWithError("key not found");
    VoskCancelFilterKey(h, RCX_KEY_SEARCH);
    VoskRetrieveColumn(g.ses, h, 1, &id, 4, &n, nullptr);
    benchmark::DoNotOptimize(id);
  }
  VoskCloseTable(g.ses, h);
}

void BM_Seek_Raw(benchmark::State& state) {
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(g.raw, "SELECT ID, NAME, AMOUNT, QTY FROM Seek WHERE ID = ? ORDER BY ID, rowid", -1, &st,
                           nullptr) == SQLITE_OK,
        "prepare seek");
  std::mt19937 rng(42);
  for (auto _ : state) {
    sqlite3_bind_int(st, 1, int(rng() % kSeekRows));
    if (sqlite3_step(st) != SQLITE_ROW) state.SkipWithError("key not found");
    benchmark::DoNotOptimize(sqlite3_column_int(st, 0));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

void emptyTable(const char* name) { exec((std::string("DELETE FROM ") + name).c_str()); }

void BM_Insert100k_Rcx(benchmark::State& state) {
  std::uint32_t h = openTable("InsRcx", "");
  for (auto _ : state) {
    state.PauseTiming();
    emptyTable("InsRcx");
    state.ResumeTiming();
    VoskSetTransact(g.ses, RCX_LOGGING_ON, "Bench");
    for (std::int32_t i = 0; i < kInsertRows; ++i) {
      std::string n = nameFor(i);
      char name[30] = {};
      std::memcpy(name, n.data(), n.size());
      double amount = i * 0.25;
      std::int32_t qty = i % 97;
      VoskInitUpdate(g.ses, h, RCX_INIT_INSERT);
      VoskSetColumn(g.ses, h, 1, &i, 4, 0, 0, nullptr);
      VoskSetColumn(g.ses, h, 2, name, 30, 0, 0, nullptr);
      VoskSetColumn(g.ses, h, 3, &amount, 8, 0, 0, nullptr);
      VoskSetColumn(g.ses, h, 4, &qty, 4, 0, 0, nullptr);
      if (VoskUpdateRecord(g.ses, h) != 0) state.SkipWithError("insert failed");
    }
    VoskSetTransact(g.ses, RCX_COMMIT, "Bench");
  }
  state.counters["rows/s"] = benchmark::Counter(double(kInsertRows) * double(state.iterations()), benchmark::Counter::kIsRate);
  VoskCloseTable(g.ses, h);
}

void BM_Insert100k_Raw(benchmark::State& state) {
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(g.raw, "INSERT INTO InsRaw(ID, NAME, AMOUNT, QTY) VALUES(?,?,?,?)", -1, &st, nullptr) == SQLITE_OK,
        "prepare insert");
  for (auto _ : state) {
    state.PauseTiming();
    emptyTable("InsRaw");
    state.ResumeTiming();
    exec("BEGIN");
    for (int i = 0; i < kInsertRows; ++i) {
      std::string n = nameFor(i);
      sqlite3_bind_int(st, 1, i);
      sqlite3_bind_text(st, 2, n.c_str(), int(n.size()), SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 3, i * 0.25);
      sqlite3_bind_int(st, 4, i % 97);
      if (sqlite3_step(st) != SQLITE_DONE) state.SkipWithError("insert failed");
      sqlite3_reset(st);
    }
    exec("COMMIT");
  }
  state.counters["rows/s"] = benchmark::Counter(double(kInsertRows) * double(state.iterations()), benchmark::Counter::kIsRate);
  sqlite3_finalize(st);
}

// 10% of the keys, at a different place each time.
void BM_Range10_Rcx(benchmark::State& state) {
  std::uint32_t h = openTable("Scan", "PK");
  std::int64_t rows = 0;
  int round = 0;
  for (auto _ : state) {
    std::int32_t lo = (round++ % 9) * (kScanRows / 10), hi = lo + kScanRows / 10 - 1;
    RCX_FilterStruct s{}, e{};
    s.IsColumn = e.IsColumn = fisConst;
    s.ColumnId = e.ColumnId = 1;
    s.CompareCode = e.CompareCode = FCC_EQUAL;
    s.ExprWithNextTerm = e.ExprWithNextTerm = LE_AND;
    s.pConst = &lo;
    e.pConst = &hi;
    s.ConstLen = e.ConstLen = 4;
    VoskCancelRange(h);
    VoskSetRange(h, &s, 1, &e, 1);
    for (std::int32_t r = VoskMove(g.ses, h, RCX_MoveFirst); r == 0; r = VoskMove(g.ses, h, RCX_MoveNext)) {
      readRecord(h, state);
      ++rows;
    }
  }
  state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
  VoskCloseTable(g.ses, h);
}

void BM_Range10_Raw(benchmark::State& state) {
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(g.raw, "SELECT ID, NAME, AMOUNT, QTY FROM Scan WHERE ID BETWEEN ? AND ? ORDER BY ID, rowid", -1,
                           &st, nullptr) == SQLITE_OK,
        "prepare range");
  std::int64_t rows = 0;
  int round = 0;
  for (auto _ : state) {
    int lo = (round++ % 9) * (kScanRows / 10);
    sqlite3_bind_int(st, 1, lo);
    sqlite3_bind_int(st, 2, lo + kScanRows / 10 - 1);
    while (sqlite3_step(st) == SQLITE_ROW) {
      readRaw(st);
      ++rows;
    }
    sqlite3_reset(st);
  }
  state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
  sqlite3_finalize(st);
}

BENCHMARK(BM_ScanPrimary_Rcx)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ScanPrimary_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ScanSecondary_Rcx)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ScanSecondary_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Seek_Rcx)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_Seek_Raw)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_Insert100k_Rcx)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Insert100k_Raw)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Range10_Rcx)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Range10_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Collects each run's CPU time per iteration so the pairs can be compared after the run.
class PairReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        seconds[r.run_name.function_name] = r.GetAdjustedCPUTime() /
                                            benchmark::GetTimeUnitMultiplier(r.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  setUp();
  PairReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  struct Pair {
    const char* name;
    const char* what;
    double goal;
    bool higherIsBetter;  // compare rates (raw time / rcx time) or times (rcx time / raw time)
  } pairs[] = {
      {"ScanPrimary", "rows/s, rcx / raw", 0.6, true},
      {"ScanSecondary", "rows/s, rcx / raw", 0.6, true},
      {"Seek", "time per seek, rcx / raw", 2.0, false},
      {"Insert100k", "time, rcx / raw", 1.5, false},
      {"Range10", "rows/s, rcx / raw", 0.6, true},
  };
  std::printf("\n%-14s %-26s %8s %8s\n", "pair", "measure", "ratio", "goal");
  for (const auto& p : pairs) {
    auto a = reporter.seconds.find(std::string("BM_") + p.name + "_Rcx");
    auto b = reporter.seconds.find(std::string("BM_") + p.name + "_Raw");
    if (a == reporter.seconds.end() || b == reporter.seconds.end() || a->second <= 0 || b->second <= 0) continue;
    double ratio = p.higherIsBetter ? b->second / a->second : a->second / b->second;
    bool met = p.higherIsBetter ? ratio >= p.goal : ratio <= p.goal;
    std::printf("%-14s %-26s %8.2f %s%-7.1f %s\n", p.name, p.what, ratio, p.higherIsBetter ? ">=" : "<=", p.goal,
                met ? "met" : "NOT MET");
  }
  tearDown();
  benchmark::Shutdown();
  return 0;
}
