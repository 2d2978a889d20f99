// libFuzzer target: arbitrary texts through the filter parser, and what parses evaluated
// against records holding every field type; raw bytes through the evaluator as a damaged
// buffer; raw bytes through the wildcard matcher.
//
// Input layout: byte 0 = parser options (bits 0-5) and filter options (bits 6-7); byte 1 =
// mode (bits 0-2) and the field named by FieldName (bits 3-7); the rest is the text.
// Every failure must be one of the library's exceptions (host::Exception); anything else, a
// crash or a sanitizer report is a finding.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/kxparser.h"
#include "common/pattern.h"
#include "platform/rtl/component.h"
#include "platform/rtl/locale.h"
#include "tests/common/parser_memrecord.h"

namespace {

using host::Variant;

struct Fixture {
  host::TComponent table{nullptr};
  kxtest::MemRecordResolver record{kxtest::AllTypesFields(), &table};
  std::vector<std::vector<std::uint8_t>> records;

  Fixture() {
    table.SetName("Table1");
    kxtest::SetFixedTextFormats();

    // An all-null record, and two filled ones.
    records.emplace_back(record.RecordSize(), 0);
    records.emplace_back(record.RecordSize(), 0);
    Use(1);
    record.Set("Qty", Variant(5));
    record.Set("Name", Variant("smith"));
    record.Set("Price", Variant(2.5));
    record.Set("Active", Variant(true));
    record.Set("Small", Variant(short{-3}));
    record.Set("W", Variant(static_cast<unsigned short>(65535)));
    record.Set("Amount", Variant(12.25));
    record.Set("Dec", Variant(host::Currency::FromRaw(15000)));
    record.Set("Born", Variant(host::TDateTime(43832)));
    record.Set("At", Variant(host::TDateTime(0.4375)));
    record.Set("Stamp", Variant(host::TDateTime(43832.4375)));
    record.Set("Big", Variant(5LL));
    record.Set("Data", Variant("blob text"));
    record.Set("Raw", Variant("\x01\x02"));
    record.Set("Notes", Variant("memo"));
    record.Set("Id", Variant(9));
    record.Set("Calc", Variant(1));
    record.Set("Wide", Variant("\xC3\xA9t\xC3\xA9"));
    record.Set("Fixed", Variant("ab"));
    record.Set("Order Date", Variant(host::TDateTime(-700000)));
    record.Set("IntCalc", Variant(0));
    records.push_back(records[1]);
    Use(2);
    record.Set("Qty", Variant(-2147483647 - 1));
    record.Set("Name", Variant(""));
    record.Set("Price", Variant(-0.0));
    record.Set("Active", Variant(false));
    record.Set("Amount", Variant(1e300));
    record.Set("Born", Variant(host::TDateTime(2958465.99999)));
  }
  void Use(std::size_t i) { record.SetRecord(records[i].data()); }
};

Fixture& Get() {
  static Fixture f;
  return f;
}

void ParseAndEvaluate(Fixture& f, std::uint8_t opts, std::uint8_t fieldSel, const std::string& text) {
  kx::TParserOptions po = kx::TParserOptions::FromBits(opts & 0x3F);
  host::TFilterOptions fo = host::TFilterOptions::FromBits((opts >> 6) & 0x3);
  const auto fields = f.record.GetFieldCount();
  const std::string fieldName = f.record.GetField(fieldSel % fields)->GetFieldName();
  f.Use(1);
  try {
    kx::TExprParser parser(f.record, text, fo, po, fieldName, nullptr);
    if (parser.FilterData() == nullptr) return;
    // The buffer's header must describe it.
    const std::uint8_t* b = parser.FilterData();
    if (kx::Get16(b + 2) != parser.DataSize() || kx::Get16(b + 8) > parser.DataSize()) __builtin_trap();
    for (std::size_t i = 0; i < f.records.size(); ++i) {
      f.Use(i);
      try {
        kx::TParseVerifier verifier(f.record, parser.FilterData());
        (void)verifier.Verify();
      } catch (const host::Exception&) {
      }
    }
  } catch (const host::Exception&) {
  }
}

void EvaluateRaw(Fixture& f, const std::uint8_t* data, std::size_t size) {
  if (size < 10 || size > 0xFFFF) return;
  std::vector<std::uint8_t> buffer(data, data + size);
  // The header's total size is trusted by the evaluator; keep it within the bytes given.
  kx::Put16(buffer.data() + 2, static_cast<std::uint16_t>(size));
  for (std::size_t i = 0; i < f.records.size(); ++i) {
    f.Use(i);
    try {
      kx::TParseVerifier verifier(f.record, buffer.data());
      (void)verifier.Verify();
    } catch (const host::Exception&) {
    }
  }
}

void MatchPattern(const std::uint8_t* data, std::size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const auto split = all.find('\n');
  const std::string pattern = all.substr(0, split);
  const std::string text = split == std::string::npos ? std::string() : all.substr(split + 1);
  (void)kx::IsConfirm(pattern, text);
  (void)kx::IsConfirmCase(pattern, text, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  Fixture& f = Get();
  const std::uint8_t opts = data[0];
  const std::uint8_t mode = data[1] & 0x7;
  const std::uint8_t fieldSel = data[1] >> 3;
  data += 2;
  size -= 2;
  switch (mode) {
    case 5:
      EvaluateRaw(f, data, size);
      break;
    case 6:
      if (size <= 4096) MatchPattern(data, size);
      break;
    default:
      ParseAndEvaluate(f, opts, fieldSel, std::string(reinterpret_cast<const char*>(data), size));
  }
  return 0;
}
