// An in-memory record store seen through the expression field interface: the fixture of the
// parser and evaluator tests, the fuzz target and the filter benchmark.
//
// Each record is one byte block. Every field has a null-flag byte (1 = has a value) followed
// by its value in a fixed native form: text NUL-terminated in Size + 1 bytes; ftSmallint,
// ftWord and ftBoolean 2 bytes; ftInteger and ftAutoInc 4; ftLargeint 8; ftFloat and
// ftCurrency an 8-byte double; ftBCD the 8-byte currency integer; dates an 8-byte date-time
// double; ftBytes Size bytes; BLOB types Size bytes of text.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/kxparser.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/variant.h"

namespace kxtest {

struct MemFieldDef {
  MemFieldDef(std::string name, host::TFieldType type, int size = 0, host::TFieldKind kind = host::fkData,
              std::string origin = {})
      : Name(std::move(name)), Type(type), Size(size), Kind(kind), Origin(std::move(origin)) {}
  std::string Name;
  host::TFieldType Type;
  int Size;
  host::TFieldKind Kind;
  std::string Origin;
};

class MemRecordResolver;

class MemField : public kx::TExprField {
 public:
  MemField(MemRecordResolver& owner, int index, MemFieldDef def, std::size_t offset)
      : FOwner(owner), FIndex(index), FDef(std::move(def)), FOffset(offset) {}

  std::string GetFieldName() const override { return FDef.Name; }
  host::TFieldType GetDataType() const override { return FDef.Type; }
  int GetSize() const override { return FDef.Size; }
  int GetIndex() const override { return FIndex; }
  int GetFieldNo() const override { return FDef.Kind == host::fkData ? FIndex + 1 : -1; }
  host::TFieldKind GetFieldKind() const override { return FDef.Kind; }
  std::string GetOrigin() const override { return FDef.Origin; }

  bool IsNull() const override;
  host::Variant GetAsVariant() const override;
  std::string GetAsString() const override;
  bool GetAsBoolean() const override;
  void SetAsVariant(const host::Variant& value) override;

  // Bytes the field takes in a record, null flag included.
  static std::size_t Width(const MemFieldDef& def) {
    switch (def.Type) {
      case host::ftSmallint: case host::ftWord: case host::ftBoolean: return 1 + 2;
      case host::ftInteger: case host::ftAutoInc: return 1 + 4;
      case host::ftLargeint: case host::ftFloat: case host::ftCurrency: case host::ftBCD:
      case host::ftDate: case host::ftTime: case host::ftDateTime: return 1 + 8;
      case host::ftBytes: case host::ftVarBytes: return 1 + static_cast<std::size_t>(def.Size);
      default: return 1 + static_cast<std::size_t>(def.Size) + 1;
    }
  }
  std::size_t Offset() const { return FOffset; }
  const MemFieldDef& Def() const { return FDef; }

 private:
  std::uint8_t* Slot() const;
  MemRecordResolver& FOwner;
  int FIndex;
  MemFieldDef FDef;
  std::size_t FOffset;
};

class MemRecordResolver : public kx::TExprFieldResolver {
 public:
  explicit MemRecordResolver(std::vector<MemFieldDef> defs, host::TComponent* component = nullptr)
      : FComponent(component) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < defs.size(); ++i) {
      const std::size_t width = MemField::Width(defs[i]);
      FFields.push_back(std::make_unique<MemField>(*this, static_cast<int>(i), std::move(defs[i]), offset));
      offset += width;
    }
    FRecordSize = offset;
    FOwnRecord.assign(FRecordSize, 0);
    FRecord = FOwnRecord.data();
  }

  host::TComponent* GetComponent() const override { return FComponent; }
  int GetFieldCount() const override { return static_cast<int>(FFields.size()); }
  kx::TExprField* GetField(int index) override {
    return index >= 0 && index < GetFieldCount() ? FFields[static_cast<std::size_t>(index)].get() : nullptr;
  }
  kx::TExprField* FindField(std::string_view name) override {
    for (auto& f : FFields)
      if (host::SameText(f->GetFieldName(), name)) return f.get();
    return nullptr;
  }

  std::size_t RecordSize() const { return FRecordSize; }
  // The record the fields read and write (not owned); the resolver's own one by default.
  void SetRecord(std::uint8_t* record) { FRecord = record; }
  std::uint8_t* Record() const { return FRecord; }
  MemField& Field(std::string_view name) { return static_cast<MemField&>(FieldByName(name)); }

  // Writes a value into the current record (Null/Empty clear the field).
  void Set(std::string_view name, const host::Variant& value) { Field(name).SetAsVariant(value); }
  void Clear() { std::memset(FRecord, 0, FRecordSize); }

 private:
  host::TComponent* FComponent;
  std::vector<std::unique_ptr<MemField>> FFields;
  std::size_t FRecordSize = 0;
  std::vector<std::uint8_t> FOwnRecord;
  std::uint8_t* FRecord = nullptr;
};

inline std::uint8_t* MemField::Slot() const { return FOwner.Record() + FOffset; }

inline bool MemField::IsNull() const { return Slot()[0] == 0; }

inline host::Variant MemField::GetAsVariant() const {
  const std::uint8_t* p = Slot();
  if (p[0] == 0) return host::Null();
  ++p;
  switch (FDef.Type) {
    case host::ftSmallint: { std::int16_t v; std::memcpy(&v, p, 2); return host::Variant(v); }
    case host::ftWord: { std::uint16_t v; std::memcpy(&v, p, 2); return host::Variant(v); }
    case host::ftBoolean: { std::uint16_t v; std::memcpy(&v, p, 2); return host::Variant(v != 0); }
    case host::ftInteger: case host::ftAutoInc: { std::int32_t v; std::memcpy(&v, p, 4); return host::Variant(v); }
    case host::ftLargeint: { std::int64_t v; std::memcpy(&v, p, 8); return host::Variant(v); }
    case host::ftFloat: case host::ftCurrency: { double v; std::memcpy(&v, p, 8); return host::Variant(v); }
    case host::ftBCD: { std::int64_t v; std::memcpy(&v, p, 8); return host::Variant(host::Currency::FromRaw(v)); }
    case host::ftDate: case host::ftTime: case host::ftDateTime: {
      double v; std::memcpy(&v, p, 8); return host::Variant(host::TDateTime(v));
    }
    case host::ftBytes: case host::ftVarBytes:
      return host::Variant(std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(FDef.Size)));
    default:
      return host::Variant(std::string(reinterpret_cast<const char*>(p)));
  }
}

inline std::string MemField::GetAsString() const {
  if (IsNull()) return {};
  return GetAsVariant().AsString();
}

inline bool MemField::GetAsBoolean() const {
  if (IsNull()) return false;
  return GetAsVariant().AsBoolean();
}

inline void MemField::SetAsVariant(const host::Variant& value) {
  std::uint8_t* p = Slot();
  std::memset(p, 0, Width(FDef));
  if (value.IsNull() || value.IsEmpty()) return;
  p[0] = 1;
  ++p;
  switch (FDef.Type) {
    case host::ftSmallint: case host::ftWord: {
      const auto v = static_cast<std::uint16_t>(value.AsInt64()); std::memcpy(p, &v, 2); break;
    }
    case host::ftBoolean: { const std::uint16_t v = value.AsBoolean() ? 1 : 0; std::memcpy(p, &v, 2); break; }
    case host::ftInteger: case host::ftAutoInc: {
      const auto v = static_cast<std::int32_t>(value.AsInt64()); std::memcpy(p, &v, 4); break;
    }
    case host::ftLargeint: { const std::int64_t v = value.AsInt64(); std::memcpy(p, &v, 8); break; }
    case host::ftFloat: case host::ftCurrency: { const double v = value.AsDouble(); std::memcpy(p, &v, 8); break; }
    case host::ftBCD: { const std::int64_t v = value.AsCurrency().Raw(); std::memcpy(p, &v, 8); break; }
    case host::ftDate: case host::ftTime: case host::ftDateTime: {
      const double v = value.AsDateTime(); std::memcpy(p, &v, 8); break;
    }
    case host::ftBytes: case host::ftVarBytes: {
      const std::string s = value.AsString();
      std::memcpy(p, s.data(), std::min(s.size(), static_cast<std::size_t>(FDef.Size)));
      break;
    }
    default: {
      const std::string s = host::Utf8Truncate(value.AsString(), static_cast<std::size_t>(FDef.Size));
      std::memcpy(p, s.data(), s.size());
      break;
    }
  }
}

// A field of every type the expression language meets, in this order.
inline std::vector<MemFieldDef> AllTypesFields() {
  using namespace host;
  return {
      {"Qty", ftInteger},          {"Name", ftString, 20},     {"Price", ftFloat},
      {"Active", ftBoolean},       {"Small", ftSmallint},      {"W", ftWord},
      {"Amount", ftCurrency},      {"Dec", ftBCD, 4},          {"Born", ftDate},
      {"At", ftTime},              {"Stamp", ftDateTime},      {"Big", ftLargeint},
      {"Data", ftBlob, 40},        {"Raw", ftBytes, 8},        {"Notes", ftMemo, 40},
      {"Id", ftAutoInc},           {"Calc", ftInteger, 0, fkCalculated},
      {"Wide", ftWideString, 10},  {"Fixed", ftFixedChar, 5},  {"Order Date", ftDate},
      {"IntCalc", ftInteger, 0, fkInternalCalc},
  };
}

// The text formats of numbers, dates and times that the expression tests are written for.
inline void SetFixedTextFormats() {
  auto& fs = host::FormatSettings();
  fs.DecimalSeparator = '.';
  fs.DateSeparator = '-';
  fs.TimeSeparator = ':';
  fs.ShortDateFormat = "yyyy/mm/dd";
  fs.LongTimeFormat = "hh:nn:ss";
}

// Fixes the user locale (case mapping is the locale's: Turkish lowers "I" to a dotless i)
// and the text formats for the guard's lifetime, then puts them back.
class FixedTextFormats {
 public:
  FixedTextFormats() : FLocale(host::GetUserLocale()), FSaved(host::FormatSettings()) {
    host::SetUserLocale("en_US");
    SetFixedTextFormats();
  }
  ~FixedTextFormats() {
    host::SetUserLocale(FLocale);
    host::FormatSettings() = FSaved;
  }
  FixedTextFormats(const FixedTextFormats&) = delete;
  FixedTextFormats& operator=(const FixedTextFormats&) = delete;

 private:
  std::string FLocale;
  host::TFormatSettings FSaved;
};

}  // namespace kxtest
