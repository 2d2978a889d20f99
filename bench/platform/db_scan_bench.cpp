// Scanning a dataset through the framework against reading the same rows directly.
//
// One million rows of the in-memory test dataset: the framework path walks them from First to
// EOF and reads five fields of mixed types through TField; the baseline reads the same five
// values straight from the dataset's storage, doing the same conversions. The difference per
// record is what the record-buffer protocol and the field layer cost.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "tests/platform/memdataset.h"

using namespace kxtest;

namespace {

constexpr int kRows = 1000000;
MemDataSet* gData = nullptr;

void SetUpData() {
  gData = new MemDataSet(nullptr);
  gData->AddColumn("ID", ftInteger);
  gData->AddColumn("NAME", ftString, 20);
  gData->AddColumn("AMOUNT", ftFloat);
  gData->AddColumn("STAMP", ftDateTime);
  gData->AddColumn("FLAG", ftBoolean);
  gData->ReserveRows(kRows);
  const TDateTime base = EncodeDate(2024, 1, 1);
  for (int i = 0; i < kRows; ++i) {
    gData->AddRow({Variant(i), Variant("customer " + std::to_string(i % 1000)), Variant(i * 0.25),
                   Variant(TDateTime(base + i / 1440.0)), Variant(i % 3 == 0)});
  }
  gData->Open();
}

// Keeps the reads from being optimised away and lets the two paths be compared.
struct Sums {
  long long Ids = 0;
  std::size_t NameBytes = 0;
  double Amounts = 0;
  double Stamps = 0;
  int Flags = 0;
};

void BM_Scan_Framework(benchmark::State& state) {
  TField* id = gData->FieldByName("ID");
  TField* name = gData->FieldByName("NAME");
  TField* amount = gData->FieldByName("AMOUNT");
  TField* stamp = gData->FieldByName("STAMP");
  TField* flag = gData->FieldByName("FLAG");
  Sums sums;
  for (auto _ : state) {
    sums = Sums();
    gData->First();
    while (!gData->GetEof()) {
      sums.Ids += id->GetAsInteger();
      sums.NameBytes += name->GetAsString().size();
      sums.Amounts += amount->GetAsFloat();
      sums.Stamps += stamp->GetAsDateTime();
      sums.Flags += flag->GetAsBoolean() ? 1 : 0;
      gData->Next();
    }
    benchmark::DoNotOptimize(sums);
  }
  state.counters["records/s"] = benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Scan_Raw(benchmark::State& state) {
  const int idOfs = gData->ColumnOffset("ID");
  const int nameOfs = gData->ColumnOffset("NAME");
  const int amountOfs = gData->ColumnOffset("AMOUNT");
  const int stampOfs = gData->ColumnOffset("STAMP");
  const int flagOfs = gData->ColumnOffset("FLAG");
  Sums sums;
  for (auto _ : state) {
    sums = Sums();
    const std::size_t rows = gData->StoredRowCount();
    for (std::size_t r = 0; r < rows; ++r) {
      if (gData->StoredRowDeleted(r)) continue;
      const std::uint8_t* record = gData->StoredRecord(r);
      if (record[idOfs] != 0) {
        std::int32_t v;
        std::memcpy(&v, record + idOfs + 1, sizeof v);
        sums.Ids += v;
      }
      if (record[nameOfs] != 0) {
        const char* text = reinterpret_cast<const char*>(record + nameOfs + 1);
        sums.NameBytes += std::string(text, ::strnlen(text, 21)).size();
      }
      if (record[amountOfs] != 0) {
        double v;
        std::memcpy(&v, record + amountOfs + 1, sizeof v);
        sums.Amounts += v;
      }
      if (record[stampOfs] != 0) {
        double ms;
        std::memcpy(&ms, record + stampOfs + 1, sizeof ms);
        sums.Stamps += TimeStampToDateTime(MSecsToTimeStamp(ms));
      }
      if (record[flagOfs] != 0) {
        std::int16_t v;
        std::memcpy(&v, record + flagOfs + 1, sizeof v);
        sums.Flags += v != 0 ? 1 : 0;
      }
    }
    benchmark::DoNotOptimize(sums);
  }
  state.counters["records/s"] = benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Scan_Framework)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scan_Raw)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each run's time per iteration (wall clock and CPU) for the comparison printed at the
// end. On a machine shared with other work the CPU time is the truer cost of one scan.
class PairReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> real;
  std::map<std::string, double> cpu;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) {
      if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
        const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
        real[r.run_name.function_name] = r.GetAdjustedRealTime() / unit;
        cpu[r.run_name.function_name] = r.GetAdjustedCPUTime() / unit;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintComparison(const char* Clock, const std::map<std::string, double>& Seconds) {
  auto framework = Seconds.find("BM_Scan_Framework");
  auto raw = Seconds.find("BM_Scan_Raw");
  if (framework == Seconds.end() || raw == Seconds.end() || raw->second <= 0) return;
  const double frameworkNs = framework->second / kRows * 1e9;
  const double rawNs = raw->second / kRows * 1e9;
  const double overhead = frameworkNs - rawNs;
  std::printf("per record (%s): framework %.1f ns, raw %.1f ns, framework overhead %.1f ns (goal < 150 ns: %s), "
              "ratio %.2f\n",
              Clock, frameworkNs, rawNs, overhead, overhead < 150.0 ? "met" : "NOT MET", frameworkNs / rawNs);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SetUpData();
  PairReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  PrintComparison("cpu", reporter.cpu);
  PrintComparison("wall", reporter.real);
  delete gData;
  benchmark::Shutdown();
  return 0;
}
