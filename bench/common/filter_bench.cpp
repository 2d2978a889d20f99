// The client-side filter: the library's parser and evaluator against a hand-written C++
// predicate, over the same one million records in the same run.
//
// The records live in an in-memory store read through the expression field interface (the
// same path a dataset's fields take); each record is one byte block with a null flag and the
// value of each field (Qty integer, Name text of 20, Price float). The predicate reads those
// blocks directly. Both count the records that pass and must agree.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/kxparser.h"
#include "tests/common/parser_memrecord.h"

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
// comparisons, as they do in the filter.
bool HandWritten(const Store& s, const std::uint8_t* r) {
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
  GetStore();  // built before timing starts
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double library = reporter.rates["BM_LibraryFilter"];
  const double hand = reporter.rates["BM_HandWrittenPredicate"];
  std::printf("\nfilter: %s\n", kFilter);
  if (library > 0) std::printf("library filter:        %12.0f records/s\n", library);
  if (hand > 0) std::printf("hand-written predicate: %12.0f records/s\n", hand);
  if (library > 0 && hand > 0) std::printf("ratio (predicate / library): %.1f\n", hand / library);
  if (g_libraryMatches >= 0 && g_handMatches >= 0 && g_libraryMatches != g_handMatches) {
    std::printf("MISMATCH: library %ld, predicate %ld records\n", g_libraryMatches, g_handMatches);
    return 1;
  }
  return 0;
}
