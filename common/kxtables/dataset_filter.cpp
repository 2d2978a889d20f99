// TKxDataSet: client-side filtering in the record loop, and matching the current record
// against key values.
#include <cmath>

#include "common/kxtables/dataset.h"
#include "platform/rtl/application.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace kx {

using namespace host;

namespace {

// Shows Buffer to field access in state dsFilter for the lifetime of the guard.
class TFilterState {
 public:
  TFilterState(TKxDataSet* DataSet, TRecordBuffer& FilterBuffer, TRecordBuffer Buffer)
      : FDataSet(DataSet), FFilterBuffer(FilterBuffer), FSavedBuffer(FilterBuffer) {
    FFilterBuffer = Buffer;
    FSavedState = FDataSet->SetTempState(dsFilter);
  }
  ~TFilterState() {
    FDataSet->RestoreState(FSavedState);
    FFilterBuffer = FSavedBuffer;
  }
  TFilterState(const TFilterState&) = delete;
  TFilterState& operator=(const TFilterState&) = delete;

 private:
  TKxDataSet* FDataSet;
  TRecordBuffer& FFilterBuffer;
  TRecordBuffer FSavedBuffer;
  TDataSetState FSavedState = dsInactive;
};

}  // namespace

void TKxDataSet::ActivateFilters() {
  // The expression evaluator of the Filter text is built here; OnFilterRecord needs nothing.
}

void TKxDataSet::DeactivateFilters() {}

bool TKxDataSet::DoFiltering(TRecordBuffer Buffer) {
  if (!GetFiltered()) return true;
  bool accept = true;
  if (accept && GetOnFilterRecord()) accept = RecordFilter(Buffer);
  return accept;
}

bool TKxDataSet::RecordFilter(TRecordBuffer Buffer) {
  bool accept = true;
  TFilterState state(this, FFilterBuffer, Buffer);
  try {
    GetOnFilterRecord()(this, accept);
  } catch (...) {
    // One failing record must not end the scan.
    InternalHandleException();
  }
  return accept;
}

void TKxDataSet::SetFilterText(const std::string& Value) { SetFilterData(Value, GetFilterOptions()); }

void TKxDataSet::SetFilterOptions(TFilterOptions Value) { SetFilterData(GetFilter(), Value); }

void TKxDataSet::SetFilterData(const std::string& Text, TFilterOptions Options) {
  const std::string oldText = GetFilter();
  const TFilterOptions oldOptions = GetFilterOptions();
  TDataSet::SetFilterText(Text);
  TDataSet::SetFilterOptions(Options);
  if (!GetActive()) return;
  CheckBrowseMode();
  if (GetFiltered() && (oldText != Text || oldOptions != Options)) {
    DeactivateFilters();
    CursorPosChanged();
    ActivateFilters();
    First();
    return;
  }
  if (Text.empty()) DeactivateFilters();
}

void TKxDataSet::SetFiltered(bool Value) {
  if (!GetActive()) {
    TDataSet::SetFiltered(Value);
    return;
  }
  CheckBrowseMode();
  if (Value != GetFiltered()) {
    if (Value) {
      ActivateFilters();
    } else {
      DeactivateFilters();
    }
    TDataSet::SetFiltered(Value);
  }
  First();
}

// ---- matching key values ------------------------------------------------------------------

bool TKxDataSet::LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                              TLocateOptions Options, bool /*SyncCursor*/) {
  CheckBrowseMode();
  CursorPosChanged();
  return IsMatchCurrentRecord(KeyFields, KeyValues, Options);
}

bool TKxDataSet::IsMatchCurrentRecord(const std::string& KeyFields, const Variant& KeyValues,
                                      TLocateOptions Options) {
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  const bool isArray = KeyValues.IsArray();
  const int low = isArray ? KeyValues.LowBound(1) : 0;
  const int count = isArray ? KeyValues.HighBound(1) - low + 1 : 1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TField* field = fields[i];
    // A key with fewer values than fields cannot match the fields it says nothing about.
    if (static_cast<int>(i) >= count) return false;
    const Variant value = isArray ? KeyValues.GetElement(low + static_cast<int>(i)) : KeyValues;
    if (value.IsNull()) {
      if (!field->GetIsNull()) return false;
      continue;
    }
    if (field->GetIsNull()) return false;
    const TFieldType type = field->GetDataType();
    const bool text = type == ftString || type == ftMemo || type == ftFmtMemo ||
                      type == ftFixedChar || type == ftWideString;
    if (Options.Contains(loPartialKey) && text) {
      const std::string key = value.AsString();
      if (key.empty()) return false;
      const std::string fieldText = field->GetAsString();
      const std::size_t keyChars = Utf8Length(key);
      if (Utf8Length(fieldText) < keyChars) return false;
      const std::string head = Utf8Copy(fieldText, 0, keyChars);
      const int cmp = Options.Contains(loCaseInsensitive) ? AnsiCompareText(head, key)
                                                          : AnsiCompareStr(head, key);
      if (cmp != 0) return false;
      continue;
    }
    if (!VariantMatchField(value, field)) return false;
  }
  return true;
}

bool TKxDataSet::VariantMatchField(const Variant& Value, TField* Field) {
  switch (Field->GetDataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
      return Value.AsInteger() == Field->GetAsInteger();
    case ftBoolean:
      return Value.AsBoolean() == Field->GetAsBoolean();
    case ftFloat:
    case ftBCD:
      return std::fabs(Value.AsDouble() - Field->GetAsFloat()) <= 5e-7;
    case ftCurrency:
      return Value.AsCurrency() == Field->GetAsCurrency();
    case ftDate:
    case ftTime:
    case ftDateTime:
      return StrToDateTime(Value.AsString()) == Field->GetAsDateTime();
    default:
      return Value.AsString() == TrimRight(Field->GetAsString());
  }
}

// ---- searching ------------------------------------------------------------------------------

bool TKxDataSet::CheckFilter(TRecordBuffer Buffer, TParseVerifier* Verifier) {
  TFilterState state(this, FFilterBuffer, Buffer);
  try {
    return Verifier->Verify();
  } catch (...) {
    InternalHandleException();
    return true;
  }
}

bool TKxDataSet::FindRecord(bool Restart, bool GoForward) { return TDataSet::FindRecord(Restart, GoForward); }

bool TKxDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  return TDataSet::Locate(KeyFields, KeyValues, Options);
}

Variant TKxDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                           const std::string& ResultFields) {
  return TDataSet::Lookup(KeyFields, KeyValues, ResultFields);
}

}  // namespace kx
