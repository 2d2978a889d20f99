// The client-side filter: the library's parser and evaluator against a hand-written C++
// predicate, over the same one million records in the same run.
//
// Pair 1 (store): the records live in an in-memory store read through the expression field
// interface; each record is one byte block with a null flag and the value of each field (Qty
// integer, Name text of 20, Price float). The predicate reads those blocks directly.
// Pair 2 (dataset): the same records in a framework dataset (the platform's in-memory test
// dataset), walked with First/Next; the filter reads the fields (TField), the predicate the
// dataset's active record buffer. Both walks pay for the navigation.
// Pair 3 (engine): the same records in the library's abstract dataset over the test engine
// (tests/common/fakecursor.h) with Filtered on, so that the dataset's own record loop asks the
// evaluator about each record; the predicate walks the same dataset unfiltered and reads the
// engine's record image in the active buffer.
// In each pair both sides count the records that pass and must agree.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/kxparser.h"
#include "platform/rtl/locale.h"
#include "tests/common/fakecursor.h"
#include "tests/common/parser_memrecord.h"
#include "tests/platform/memdataset.h"

namespace {

constexpr int kRecords = 1000000;
const char* const kFilter = "(Qty > 10) and (Name = 'abc') or (Price <= 3.5)";

struct Store {
  kxtest::MemRecordResolver resolver{{{"Qty", host::ftInteger}, {"Name", host::ftString, 20}, {"Price", host::ftFloat}}};
  std::vector<std::uint8_t> data;
  std::size_t size = resolver.RecordSize();
  std::size_t qty = resolver.Field("Qty").Offset();
  std::size_t name = resolver.Field("Name").Offset();
  std::size_t price = resolver.Field("Price").Offset();

  Store() {
    const char* names[] = {"abc", "abd", "xyz", "ABC", "abcd", "smith", "abc", "jones"};
    data.resize(size * kRecords);
    for (int i = 0; i < kRecords; ++i) {
      resolver.SetRecord(Record(i));
      resolver.Set("Qty", host::Variant(i % 23));
      // Every 50th name is null.
      if (i % 50 != 0) resolver.Set("Name", host::Variant(names[i % 8]));
      resolver.Set("Price", host::Variant((i % 97) / 8.0));
    }
  }
  std::uint8_t* Record(int i) { return data.data() + static_cast<std::size_t>(i) * size; }
};

Store& GetStore() {
  static Store store;
  return store;
}

// The predicate a programmer would write for the same records: null fields fail their
// comparisons, as they do in the filter. Every pair's records have the same layout: a
// not-null byte, then the value, at the offsets the store names.
template <class Layout>
bool HandWritten(const Layout& s, const std::uint8_t* r) {
  bool qtyOk = false;
  if (r[s.qty] != 0) {
    std::int32_t q;
    std::memcpy(&q, r + s.qty + 1, 4);
    qtyOk = q > 10;
  }
  bool nameOk = r[s.name] != 0 && std::strcmp(reinterpret_cast<const char*>(r + s.name + 1), "abc") == 0;
  if (qtyOk && nameOk) return true;
  if (r[s.price] == 0) return false;
  double p;
  std::memcpy(&p, r + s.price + 1, 8);
  return p <= 3.5;
}

long g_libraryMatches = -1;
long g_handMatches = -1;
long g_dataSetLibraryMatches = -1;
long g_dataSetHandMatches = -1;

struct DataSetStore {
  kxtest::MemDataSet* data = new kxtest::MemDataSet(nullptr);
  int qty, name, price;
  DataSetStore() {
    data->AddColumn("Qty", host::ftInteger);
    data->AddColumn("Name", host::ftString, 20);
    data->AddColumn("Price", host::ftFloat);
    data->ReserveRows(kRecords);
    const char* names[] = {"abc", "abd", "xyz", "ABC", "abcd", "smith", "abc", "jones"};
    for (int i = 0; i < kRecords; ++i)
      data->AddRow({host::Variant(i % 23), i % 50 != 0 ? host::Variant(names[i % 8]) : host::Null(),
                    host::Variant((i % 97) / 8.0)});
    qty = data->ColumnOffset("Qty");
    name = data->ColumnOffset("Name");
    price = data->ColumnOffset("Price");
    data->Open();
  }
  ~DataSetStore() { delete data; }
};

DataSetStore& GetDataSetStore() {
  static DataSetStore store;
  return store;
}

void BM_LibraryFilterDataSet(benchmark::State& state) {
  DataSetStore& s = GetDataSetStore();
  kx::TExprParser parser(s.data, kFilter, {}, {kx::poExtSyntax}, "", nullptr);
  kx::TParseVerifier verifier(s.data, parser.FilterData());
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (s.data->First(); !s.data->GetEof(); s.data->Next()) matches += verifier.Verify() ? 1 : 0;
    benchmark::DoNotOptimize(matches);
  }
  g_dataSetLibraryMatches = matches;
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["matches"] = static_cast<double>(matches);
}

void BM_HandWrittenDataSet(benchmark::State& state) {
  DataSetStore& s = GetDataSetStore();
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (s.data->First(); !s.data->GetEof(); s.data->Next()) {
      matches += HandWritten(s, s.data->ActiveBuffer()) ? 1 : 0;
    }
    benchmark::DoNotOptimize(matches);
  }
  g_dataSetHandMatches = matches;
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["matches"] = static_cast<double>(matches);
}

// ---- the abstract dataset over the test engine ------------------------------------------------

long g_engineLibraryMatches = -1;
long g_engineHandMatches = -1;

struct EngineStore {
  kxtest::TestSessionList sessions;
  std::unique_ptr<host::TComponent> form{new host::TComponent(nullptr)};
  std::shared_ptr<kxtest::FakeTable> table;
  kxtest::FakeCursorDataSet* data = nullptr;
  int qty, name, price;
  EngineStore() {
    table = std::make_shared<kxtest::FakeTable>(std::vector<kxtest::FakeColumn>{
        {"Qty", host::ftInteger}, {"Name", host::ftString, 20}, {"Price", host::ftFloat}});
    const char* names[] = {"abc", "abd", "xyz", "ABC", "abcd", "smith", "abc", "jones"};
    table->Rows().reserve(kRecords);
    for (int i = 0; i < kRecords; ++i)
      table->AddRow({host::Variant(i % 23), i % 50 != 0 ? host::Variant(names[i % 8]) : host::Null(),
                     host::Variant((i % 97) / 8.0)});
    qty = table->Offset(0);
    name = table->Offset(1);
    price = table->Offset(2);
    data = host::TComponent::Create<kxtest::FakeCursorDataSet>(form.get(), table, &sessions);
    data->SetName("Engine");
    data->SetDatabaseName("Bench");
    data->SetFilter(kFilter);
  }
  ~EngineStore() { form.reset(); }
};

EngineStore& GetEngineStore() {
  static EngineStore store;
  return store;
}

void BM_LibraryFilterEngine(benchmark::State& state) {
  EngineStore& s = GetEngineStore();
  s.data->SetFiltered(true);
  s.data->Open();
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (s.data->First(); !s.data->GetEof(); s.data->Next()) ++matches;
    s.data->Calls().clear();  // the engine's call log would grow without bound
    benchmark::DoNotOptimize(matches);
  }
  s.data->Close();
  s.data->SetFiltered(false);
  g_engineLibraryMatches = matches;
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["matches"] = static_cast<double>(matches);
}

void BM_HandWrittenEngine(benchmark::State& state) {
  EngineStore& s = GetEngineStore();
  s.data->Open();
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (s.data->First(); !s.data->GetEof(); s.data->Next()) {
      matches += HandWritten(s, s.data->ActiveBuffer()) ? 1 : 0;
    }
    s.data->Calls().clear();
    benchmark::DoNotOptimize(matches);
  }
  s.data->Close();
  g_engineHandMatches = matches;
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["matches"] = static_cast<double>(matches);
}

void BM_LibraryFilter(benchmark::State& state) {
  Store& s = GetStore();
  kx::TExprParser parser(s.resolver, kFilter, {}, {kx::poExtSyntax}, "", nullptr);
  kx::TParseVerifier verifier(s.resolver, parser.FilterData());
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (int i = 0; i < kRecords; ++i) {
      s.resolver.SetRecord(s.Record(i));
      matches += verifier.Verify() ? 1 : 0;
    }
    benchmark::DoNotOptimize(matches);
  }
  g_libraryMatches = matches;
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["matches"] = static_cast<double>(matches);
}

void BM_HandWrittenPredicate(benchmark::State& state) {
  Store& s = GetStore();
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (int i = 0; i < kRecords; ++i) matches += HandWritten(s, s.Record(i)) ? 1 : 0;
    benchmark::DoNotOptimize(matches);
  }
  g_handMatches = matches;
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["matches"] = static_cast<double>(matches);
}

BENCHMARK(BM_LibraryFilter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HandWrittenPredicate)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibraryFilterDataSet)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HandWrittenDataSet)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibraryFilterEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HandWrittenEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's records per second so that the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) rates[run.run_name.function_name] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  host::FormatSettings().DecimalSeparator = '.';  // the filter's literal 3.5
  GetStore();  // built before timing starts
  GetDataSetStore();
  GetEngineStore();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nfilter: %s, %d records\n", kFilter, kRecords);
  int status = 0;
  auto pair = [&](const char* what, const char* lib, const char* hand, long libMatches, long handMatches) {
    const double l = reporter.rates[lib];
    const double h = reporter.rates[hand];
    if (l <= 0 || h <= 0) return;
    std::printf("%s: library filter %.0f records/s, hand-written predicate %.0f records/s, ratio %.1f\n", what,
                l, h, h / l);
    if (libMatches != handMatches) {
      std::printf("MISMATCH (%s): library %ld, predicate %ld records\n", what, libMatches, handMatches);
      status = 1;
    }
  };
  pair("store", "BM_LibraryFilter", "BM_HandWrittenPredicate", g_libraryMatches, g_handMatches);
  pair("dataset", "BM_LibraryFilterDataSet", "BM_HandWrittenDataSet", g_dataSetLibraryMatches, g_dataSetHandMatches);
  pair("engine", "BM_LibraryFilterEngine", "BM_HandWrittenEngine", g_engineLibraryMatches, g_engineHandMatches);
  return status;
}
