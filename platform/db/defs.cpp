#include "platform/db/defs.h"

#include "platform/db/dataset.h"

namespace host {

namespace {

// Whether List (";"-separated) begins with Prefix at a field boundary, ignoring case.
bool BeginsAtFieldBoundary(std::string_view List, std::string_view Prefix) {
  if (Prefix.empty() || List.size() < Prefix.size()) return false;
  if (!SameFieldName(List.substr(0, Prefix.size()), Prefix)) return false;
  return List.size() == Prefix.size() || List[Prefix.size()] == ';';
}

}  // namespace

// ---- TFieldDef ----------------------------------------------------------------------------

TFieldDef::TFieldDef(TCollection* Collection) : TCollectionItem(Collection) {}

TFieldDefs* TFieldDef::GetFieldDefs() const { return dynamic_cast<TFieldDefs*>(Collection()); }

void TFieldDef::SetName(const std::string& Value) {
  if (Value == FName) return;
  if (TFieldDefs* defs = GetFieldDefs(); defs != nullptr && !Value.empty()) {
    const int other = defs->IndexOf(Value);
    if (other >= 0 && other != Index()) DatabaseErrorFmt(SDuplicateFieldName, {Value}, defs->GetDataSet());
  }
  FName = Value;
  Changed(false);
}

void TFieldDef::SetDataType(TFieldType Value) {
  FDataType = Value;
  Changed(false);
}

void TFieldDef::SetSize(int Value) {
  if (Value < 0) DatabaseError(SInvalidFieldSize);
  FSize = Value;
  Changed(false);
}

void TFieldDef::SetPrecision(int Value) {
  FPrecision = Value;
  Changed(false);
}

void TFieldDef::SetAttributes(TFieldAttributes Value) {
  FAttributes = Value;
  Changed(false);
}

void TFieldDef::SetRequired(bool Value) {
  if (Value) {
    FAttributes.Include(faRequired);
  } else {
    FAttributes.Exclude(faRequired);
  }
  Changed(false);
}

void TFieldDef::SetInternalCalcField(bool Value) {
  FInternalCalcField = Value;
  Changed(false);
}

TField* TFieldDef::CreateField(TComponent* Owner, const std::string& FieldName) {
  TFieldDefs* defs = GetFieldDefs();
  TDataSet* dataSet = defs != nullptr ? defs->GetDataSet() : nullptr;
  TFieldClass make = dataSet != nullptr ? dataSet->GetFieldClass(FDataType) : DefaultFieldClass(FDataType);
  if (make == nullptr) DatabaseErrorFmt(SUnknownFieldType, {FName}, dataSet);
  TField* field = make(Owner);
  try {
    field->SetSize(FSize);
    field->SetFieldName(FieldName.empty() ? FName : FieldName);
    field->SetRequired(GetRequired());
    field->SetReadOnly(FAttributes.Contains(faReadonly));
    if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->SetPrecision(FPrecision);
    if (auto* flt = dynamic_cast<TFloatField*>(field); flt != nullptr && FPrecision > 0) {
      flt->SetPrecision(FPrecision);
    }
    if (FInternalCalcField) field->SetFieldKind(fkInternalCalc);
    if (dataSet != nullptr) field->SetDataSet(dataSet);
  } catch (...) {
    delete field;
    throw;
  }
  return field;
}

void TFieldDef::Assign(const TPersistent* Source) {
  if (const auto* def = dynamic_cast<const TFieldDef*>(Source)) {
    SetName(def->FName);
    FDataType = def->FDataType;
    FSize = def->FSize;
    FPrecision = def->FPrecision;
    FAttributes = def->FAttributes;
    FInternalCalcField = def->FInternalCalcField;
    FFieldNo = def->FFieldNo;
    Changed(false);
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TFieldDefs ---------------------------------------------------------------------------

TFieldDefs::TFieldDefs(TDataSet* DataSet)
    : TCollection(TCollectionItemClass::Of<TFieldDef>(), DataSet), FDataSet(DataSet) {}

TFieldDef* TFieldDefs::Items(int Index) const { return static_cast<TFieldDef*>(TCollection::Items(Index)); }

TFieldDef* TFieldDefs::AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
  if (Name.empty()) DatabaseError(SFieldNameMissing, FDataSet);
  if (IndexOf(Name) >= 0) DatabaseErrorFmt(SDuplicateFieldName, {Name}, FDataSet);
  if (Size < 0) DatabaseError(SInvalidFieldSize, FDataSet);
  BeginUpdate();
  TFieldDef* def = nullptr;
  try {
    def = AddFieldDef();
    def->SetName(Name);
    def->SetDataType(DataType);
    def->SetSize(Size);
    def->SetRequired(Required);
  } catch (...) {
    delete def;
    EndUpdate();
    throw;
  }
  EndUpdate();
  return def;
}

int TFieldDefs::IndexOf(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameFieldName(Items(i)->GetName(), Name)) return i;
  }
  return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view Name) const {
  const int index = IndexOf(Name);
  if (index < 0) DatabaseErrorFmt(SFieldNotFound, {Name}, FDataSet);
  return Items(index);
}

void TFieldDefs::Update() {
  if (FUpdated || FDataSet == nullptr) return;
  FDataSet->InitFieldDefs();
  FUpdated = true;
}

void TFieldDefs::Update(TCollectionItem* /*Item*/) {
  if (FDataSet != nullptr) FDataSet->DefChanged(this);
}

// ---- TIndexDef ----------------------------------------------------------------------------

TIndexDef::TIndexDef(TCollection* Collection) : TCollectionItem(Collection) {}

TIndexDef::TIndexDef() : TCollectionItem(nullptr) {}

void TIndexDef::SetName(const std::string& Value) {
  if (Value == FName) return;
  if (auto* defs = dynamic_cast<TIndexDefs*>(Collection()); defs != nullptr && !Value.empty()) {
    const int other = defs->IndexOf(Value);
    if (other >= 0 && other != Index()) DatabaseErrorFmt(SDuplicateIndexName, {Value}, defs->GetDataSet());
  }
  FName = Value;
  Changed(false);
}

void TIndexDef::SetExpression(const std::string& Value) {
  FExpression = Value;
  if (Value.empty()) {
    FOptions.Exclude(ixExpression);
  } else {
    FOptions.Include(ixExpression);
  }
}

void TIndexDef::Assign(const TPersistent* Source) {
  if (const auto* def = dynamic_cast<const TIndexDef*>(Source)) {
    SetName(def->FName);
    FFields = def->FFields;
    FExpression = def->FExpression;
    FDescFields = def->FDescFields;
    FCaseInsFields = def->FCaseInsFields;
    FSource = def->FSource;
    FOptions = def->FOptions;
    FGroupingLevel = def->FGroupingLevel;
    Changed(false);
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TIndexDefs ---------------------------------------------------------------------------

TIndexDefs::TIndexDefs(TDataSet* DataSet)
    : TCollection(TCollectionItemClass::Of<TIndexDef>(), DataSet), FDataSet(DataSet) {}

TIndexDef* TIndexDefs::Items(int Index) const { return static_cast<TIndexDef*>(TCollection::Items(Index)); }

TIndexDef* TIndexDefs::AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }

TIndexDef* TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
  if (IndexOf(Name) >= 0) DatabaseErrorFmt(SDuplicateIndexName, {Name}, FDataSet);
  TIndexDef* def = AddIndexDef();
  try {
    def->SetName(Name);
    def->SetFields(Fields);
    def->SetOptions(Options);
  } catch (...) {
    delete def;
    throw;
  }
  return def;
}

int TIndexDefs::IndexOf(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameFieldName(Items(i)->GetName(), Name)) return i;
  }
  return -1;
}

TIndexDef* TIndexDefs::Find(std::string_view Name) const {
  const int index = IndexOf(Name);
  if (index < 0) DatabaseErrorFmt(SIndexNotFound, {Name}, FDataSet);
  return Items(index);
}

TIndexDef* TIndexDefs::GetIndexForFields(std::string_view Fields, bool CaseInsensitive) {
  Update();
  auto usable = [CaseInsensitive](const TIndexDef* def) {
    if (def->GetOptions().Contains(ixExpression)) return false;
    return !CaseInsensitive || def->GetOptions().Contains(ixCaseInsensitive);
  };
  for (int i = 0; i < Count(); ++i) {
    TIndexDef* def = Items(i);
    if (usable(def) && SameFieldName(def->GetFields(), Fields)) return def;
  }
  for (int i = 0; i < Count(); ++i) {
    TIndexDef* def = Items(i);
    if (usable(def) && BeginsAtFieldBoundary(def->GetFields(), Fields)) return def;
  }
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(std::string_view Fields) {
  TIndexDef* def = GetIndexForFields(Fields, false);
  if (def == nullptr) DatabaseErrorFmt(SNoIndexForFields, {Fields}, FDataSet);
  return def;
}

void TIndexDefs::Update() {
  if (FUpdated || FDataSet == nullptr) return;
  FDataSet->UpdateIndexDefs();
  FUpdated = true;
}

void GetIndexDefs(const TIndexDefs& IndexDefs, TIndexTypes IndexTypes, TIndexDefs& Result) {
  Result.Clear();
  for (int i = 0; i < IndexDefs.Count(); ++i) {
    TIndexDef* def = IndexDefs.Items(i);
    const TIndexOptions options = def->GetOptions();
    if (options.Contains(ixExpression)) continue;
    if (IndexTypes.Contains(itDefault) || (IndexTypes.Contains(itPrimary) && options.Contains(ixPrimary)) ||
        (IndexTypes.Contains(itUnique) && options.Contains(ixUnique))) {
      Result.AddIndexDef()->Assign(def);
    }
  }
}

// ---- check constraints --------------------------------------------------------------------

TCheckConstraint::TCheckConstraint(TCollection* Collection) : TCollectionItem(Collection) {}

std::string TCheckConstraint::DisplayName() const {
  return !FCustomConstraint.empty() ? FCustomConstraint : FImportedConstraint;
}

void TCheckConstraint::Assign(const TPersistent* Source) {
  if (const auto* item = dynamic_cast<const TCheckConstraint*>(Source)) {
    FCustomConstraint = item->FCustomConstraint;
    FErrorMessage = item->FErrorMessage;
    FImportedConstraint = item->FImportedConstraint;
    FFromDictionary = item->FFromDictionary;
    Changed(false);
    return;
  }
  TPersistent::Assign(Source);
}

TCheckConstraints::TCheckConstraints(TPersistent* Owner)
    : TCollection(TCollectionItemClass::Of<TCheckConstraint>(), Owner) {}

TCheckConstraint* TCheckConstraints::Items(int Index) const {
  return static_cast<TCheckConstraint*>(TCollection::Items(Index));
}

TCheckConstraint* TCheckConstraints::Add() { return static_cast<TCheckConstraint*>(TCollection::Add()); }

}  // namespace host
