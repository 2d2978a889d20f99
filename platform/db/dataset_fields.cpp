// TDataSet: the field list, binding, field data and its conversions, and provider support.
#include <algorithm>
#include <cstring>

#include "platform/db/dataset.h"
#include "platform/db/params.h"
#include "platform/rtl/locale.h"

namespace host {

namespace {

bool NeedsConversion(TFieldType Type) {
  return Type == ftBCD || Type == ftDate || Type == ftTime || Type == ftDateTime;
}

// Largest native form that goes through DataConvert (a TBcd).
constexpr std::size_t MaxConvertedSize = 64;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// Types whose native size depends on the field's Size: a field bound to a definition of
// another size would read or write past its buffer.
bool SizeMatters(TFieldType Type) {
  return Type == ftString || Type == ftFixedChar || Type == ftWideString || Type == ftBytes ||
         Type == ftVarBytes;
}

bool CompatibleTypes(TFieldType FieldType, TFieldType DefType) {
  if (FieldType == DefType) return true;
  auto in = [](TFieldType t, std::initializer_list<TFieldType> group) {
    return std::find(group.begin(), group.end(), t) != group.end();
  };
  const std::initializer_list<TFieldType> groups[] = {
      {ftString, ftFixedChar},
      {ftInteger, ftAutoInc},
      {ftFloat, ftCurrency},
      {ftMemo, ftFmtMemo},
      {ftBlob, ftGraphic, ftTypedBinary, ftParadoxOle, ftDBaseOle},
  };
  for (const auto& g : groups) {
    if (in(FieldType, g) && in(DefType, g)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> SplitFieldNames(std::string_view FieldNames) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= FieldNames.size()) {
    std::size_t end = FieldNames.find(';', start);
    if (end == std::string_view::npos) end = FieldNames.size();
    std::string_view name = TrimBlanks(FieldNames.substr(start, end - start));
    if (!name.empty()) names.emplace_back(name);
    start = end + 1;
  }
  return names;
}

// ---- the field list -----------------------------------------------------------------------

TField* TDataSet::FieldByName(std::string_view FieldName) const {
  TField* field = FFields->FindField(FieldName);
  if (field == nullptr) DatabaseErrorFmt(SFieldNotFound, {FieldName}, this);
  return field;
}

void TDataSet::GetFieldList(std::vector<TField*>& List, std::string_view FieldNames) const {
  for (const std::string& name : SplitFieldNames(FieldNames)) List.push_back(FieldByName(name));
}

void TDataSet::GetFieldNames(TStrings* List) const {
  List->BeginUpdate();
  try {
    List->Clear();
    if (FFields->Count() > 0) {
      for (TField* field : FFields->List()) List->Add(field->GetFieldName());
    } else {
      const_cast<TDataSet*>(this)->FFieldDefs->Update();
      for (int i = 0; i < FFieldDefs->Count(); ++i) List->Add(FFieldDefs->Items(i)->GetName());
    }
  } catch (...) {
    List->EndUpdate();
    throw;
  }
  List->EndUpdate();
}

Variant TDataSet::GetFieldValues(std::string_view FieldNames) const {
  std::vector<TField*> fields;
  GetFieldList(fields, FieldNames);
  if (fields.size() == 1) return fields[0]->GetAsVariant();
  std::vector<Variant> values;
  values.reserve(fields.size());
  for (TField* field : fields) values.push_back(field->GetAsVariant());
  return VarArrayOf(values);
}

void TDataSet::SetFieldValues(std::string_view FieldNames, const Variant& Value) {
  std::vector<TField*> fields;
  GetFieldList(fields, FieldNames);
  if (fields.size() == 1 && !Value.IsArray()) {
    fields[0]->SetAsVariant(Value);
    return;
  }
  if (!Value.IsArray() || Value.DimCount() != 1 ||
      Value.HighBound(1) - Value.LowBound(1) + 1 != static_cast<int>(fields.size())) {
    DatabaseError(SFieldValueError, this);
  }
  const int low = Value.LowBound(1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i]->SetAsVariant(Value.GetElement(low + static_cast<int>(i)));
  }
}

void TDataSet::SetFieldDefs(const TFieldDefs* Value) { FFieldDefs->Assign(Value); }

void TDataSet::SetConstraints(const TCheckConstraints* Value) { FConstraints->Assign(Value); }

void TDataSet::CheckFieldName(const std::string& FieldName) const {
  if (FieldName.empty()) DatabaseError(SFieldNameMissing, this);
  if (FFields->FindField(FieldName) != nullptr) DatabaseErrorFmt(SDuplicateFieldName, {FieldName}, this);
}

void TDataSet::AddField(TField* Field) {
  FFields->Add(Field);
  Field->FDataSet = this;
  DataEvent(deFieldListChange, 0);
}

void TDataSet::RemoveField(TField* Field) {
  FFields->Remove(Field);
  Field->FDataSet = nullptr;
  if (!ComponentState().Contains(csDestroying)) DataEvent(deFieldListChange, 0);
}

TFieldClass TDataSet::GetFieldClass(TFieldType FieldType) const { return DefaultFieldClass(FieldType); }

void TDataSet::CreateFields() {
  for (int i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* def = FFieldDefs->Items(i);
    if (def->GetDataType() == ftUnknown) continue;
    if (def->GetAttributes().Contains(faHiddenCol) && !FFieldDefs->GetHiddenFields()) continue;
    def->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  while (FFields->Count() > 0) delete FFields->List().back();
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FBlobFieldCount = 0;
  FInternalCalcFields = false;
  for (TField* field : FFields->List()) {
    if (!Binding) {
      field->FFieldNo = 0;
      field->FOffset = 0;
      continue;
    }
    if (field->GetFieldKind() == fkCalculated || field->GetFieldKind() == fkLookup) {
      if (field->GetFieldKind() == fkLookup &&
          (field->GetLookupDataSet() == nullptr || field->GetKeyFields().empty() ||
           field->GetLookupKeyFields().empty() || field->GetLookupResultField().empty())) {
        DatabaseErrorFmt(SLookupInfoError, {field->GetDisplayName()}, this);
      }
      field->FFieldNo = -1;
      field->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += field->GetDataSize() + 1;
      continue;
    }
    const int index = FFieldDefs->IndexOf(field->GetFieldName());
    if (index < 0) DatabaseErrorFmt(SFieldNotFound, {field->GetDisplayName()}, this);
    TFieldDef* def = FFieldDefs->Items(index);
    if (!CompatibleTypes(field->GetDataType(), def->GetDataType())) {
      DatabaseErrorFmt(SFieldTypeMismatch,
                       {field->GetDisplayName(), FieldTypeDisplayName(field->GetDataType()),
                        FieldTypeDisplayName(def->GetDataType())},
                       this);
    }
    if (SizeMatters(def->GetDataType()) && field->GetSize() != def->GetSize()) {
      DatabaseErrorFmt(SFieldSizeMismatch, {field->GetDisplayName(), field->GetSize(), def->GetSize()},
                       this);
    }
    field->FFieldNo = def->GetFieldNo();
    if (field->GetFieldKind() == fkInternalCalc) FInternalCalcFields = true;
    if (field->IsBlob()) {
      field->FSize = def->GetSize();
      field->FOffset = FBlobFieldCount++;
    }
  }
}

// ---- field data ---------------------------------------------------------------------------

bool TDataSet::GetFieldData(TField* Field, void* Buffer, bool NativeFormat) {
  if (NativeFormat || Buffer == nullptr || !NeedsConversion(Field->GetDataType())) {
    return GetFieldData(Field, Buffer);
  }
  alignas(8) std::uint8_t native[MaxConvertedSize] = {};
  if (!GetFieldData(Field, native)) return false;
  DataConvert(Field, native, Buffer, false);
  return true;
}

void TDataSet::SetFieldData(TField* Field, const void* Buffer, bool NativeFormat) {
  if (NativeFormat || Buffer == nullptr || !NeedsConversion(Field->GetDataType())) {
    SetFieldData(Field, Buffer);
    return;
  }
  alignas(8) std::uint8_t native[MaxConvertedSize] = {};
  DataConvert(Field, Buffer, native, true);
  SetFieldData(Field, native);
}

void TDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
  const TFieldType type = Field->GetDataType();
  switch (type) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (ToNative) {
        double value;
        std::memcpy(&value, Source, sizeof value);
        const TTimeStamp stamp = DateTimeToTimeStamp(TDateTime(value));
        if (type == ftDate) {
          std::memcpy(Dest, &stamp.Date, sizeof stamp.Date);
        } else if (type == ftTime) {
          std::memcpy(Dest, &stamp.Time, sizeof stamp.Time);
        } else {
          const double msecs = TimeStampToMSecs(stamp);
          std::memcpy(Dest, &msecs, sizeof msecs);
        }
      } else {
        TTimeStamp stamp;
        if (type == ftDate) {
          std::memcpy(&stamp.Date, Source, sizeof stamp.Date);
          stamp.Time = 0;
        } else if (type == ftTime) {
          std::memcpy(&stamp.Time, Source, sizeof stamp.Time);
          stamp.Date = DateDelta;
        } else {
          double msecs;
          std::memcpy(&msecs, Source, sizeof msecs);
          stamp = MSecsToTimeStamp(msecs);
        }
        const double value = TimeStampToDateTime(stamp);
        std::memcpy(Dest, &value, sizeof value);
      }
      break;
    }
    case ftBCD: {
      const auto* bcdField = dynamic_cast<const TBCDField*>(Field);
      if (ToNative) {
        Currency value;
        std::memcpy(&value, Source, sizeof value);
        int precision = bcdField != nullptr ? bcdField->GetPrecision() : 0;
        if (precision <= 0) precision = 32;
        const int places = std::clamp(Field->GetSize(), 0, 4);
        TBcd bcd;
        if (!CurrToBCD(value, bcd, precision, places)) DatabaseError(SBCDOverflow, this);
        std::memcpy(Dest, &bcd, sizeof bcd);
      } else {
        TBcd bcd;
        std::memcpy(&bcd, Source, sizeof bcd);
        Currency value;
        if (!BCDToCurr(bcd, value)) DatabaseError(SBCDOverflow, this);
        std::memcpy(Dest, &value, sizeof value);
      }
      break;
    }
    default:
      std::memmove(Dest, Source, static_cast<std::size_t>(Field->GetDataSize()));
      break;
  }
}

Variant TDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
  if (Field->GetFieldKind() != fkData && Field->GetFieldKind() != fkInternalCalc) return Null();
  const TDataSetState saved = FState;
  FState = State;
  Variant result;
  try {
    result = Field->GetAsVariant();
  } catch (...) {
    FState = saved;
    throw;
  }
  FState = saved;
  return result;
}

void TDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
  TTempState temp(this, State);
  Field->SetAsVariant(Value);
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* /*Field*/, TBlobStreamMode /*Mode*/) {
  return nullptr;
}

// ---- provider support ---------------------------------------------------------------------

void TDataSet::PSReset() {
  if (GetActive()) First();
}

std::unique_ptr<EUpdateError> TDataSet::PSGetUpdateException(const Exception& E,
                                                             const EUpdateError* Prev) {
  const int previous = Prev != nullptr ? Prev->ErrorCode() : 0;
  return std::make_unique<EUpdateError>(E.Message(), std::string(), 0, previous,
                                        std::shared_ptr<Exception>(E.Clone()));
}

int TDataSet::PSExecuteStatement(const std::string& /*SQL*/, TParams* /*Params*/,
                                 std::unique_ptr<TDataSet>* /*ResultSet*/) {
  DatabaseErrorFmt(SProviderSQLNotSupported, {Name()}, this);
}

void TDataSet::PSExecute() { DatabaseErrorFmt(SProviderExecuteNotSupported, {Name()}, this); }

std::unique_ptr<TIndexDefs> TDataSet::PSGetIndexDefs(TIndexTypes /*IndexTypes*/) { return nullptr; }

std::string TDataSet::PSGetKeyFields() {
  std::string result;
  for (TField* field : FFields->List()) {
    if (field->GetProviderFlags().Contains(pfInKey)) {
      if (!result.empty()) result += ';';
      result += field->GetFieldName();
    }
  }
  return result;
}

}  // namespace host
