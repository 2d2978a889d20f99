// Definitions a dataset keeps about its cursor: field definitions (TFieldDefs), index
// definitions (TIndexDefs) and record-level check constraints (TCheckConstraints).
#pragma once

#include <string>
#include <string_view>

#include "platform/db/dbtypes.h"
#include "platform/rtl/component.h"

namespace host {

class TDataSet;
class TField;

// ---- field definitions --------------------------------------------------------------------

class TFieldDefs;

class TFieldDef : public TCollectionItem {
 public:
  explicit TFieldDef(TCollection* Collection);

  const std::string& GetName() const { return FName; }
  // Raises SDuplicateFieldName when another definition has the name (ignoring case).
  void SetName(const std::string& Value);
  TFieldType GetDataType() const { return FDataType; }
  void SetDataType(TFieldType Value);
  // Text bytes for ftString and ftFixedChar, UTF-16 units for ftWideString, decimal places for
  // ftBCD, bytes for ftBytes and ftVarBytes.
  int GetSize() const { return FSize; }
  void SetSize(int Value);
  // Digits of ftBCD (0: the most a TBcd holds) and of ftFloat.
  int GetPrecision() const { return FPrecision; }
  void SetPrecision(int Value);
  TFieldAttributes GetAttributes() const { return FAttributes; }
  void SetAttributes(TFieldAttributes Value);
  bool GetRequired() const { return FAttributes.Contains(faRequired); }
  void SetRequired(bool Value);
  bool GetInternalCalcField() const { return FInternalCalcField; }
  void SetInternalCalcField(bool Value);
  // The 1-based number fields bind to; by default the definition's position + 1.
  int GetFieldNo() const { return FFieldNo > 0 ? FFieldNo : Index() + 1; }
  void SetFieldNo(int Value) { FFieldNo = Value; }
  std::string DisplayName() const override { return FName; }

  TFieldDefs* GetFieldDefs() const;
  // A new field for the definition, owned by Owner, in the definitions' dataset. Raises
  // SUnknownFieldType for a type no field class represents.
  TField* CreateField(TComponent* Owner, const std::string& FieldName = {});
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;

 private:
  std::string FName;
  TFieldType FDataType = ftUnknown;
  int FSize = 0;
  int FPrecision = 0;
  int FFieldNo = 0;
  TFieldAttributes FAttributes;
  bool FInternalCalcField = false;
};

class TFieldDefs : public TCollection {
 public:
  explicit TFieldDefs(TDataSet* DataSet);

  TDataSet* GetDataSet() const { return FDataSet; }
  TFieldDef* Items(int Index) const;
  TFieldDef* operator[](int Index) const { return Items(Index); }
  TFieldDef* AddFieldDef();
  // Adds a definition; raises SDuplicateFieldName for a name already used.
  TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
  // The definition of that name (ignoring case); raises SFieldNotFound when there is none.
  TFieldDef* Find(std::string_view Name) const;
  // The position of the definition of that name, or -1.
  int IndexOf(std::string_view Name) const;
  // Whether the definitions describe the dataset's current cursor.
  bool GetUpdated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // Reads the definitions from the dataset unless they are up to date.
  void Update();
  // Whether hidden columns get fields.
  bool GetHiddenFields() const { return FHiddenFields; }
  void SetHiddenFields(bool Value) { FHiddenFields = Value; }

 protected:
  void Update(TCollectionItem* Item) override;

 private:
  TDataSet* FDataSet;
  bool FUpdated = false;
  bool FHiddenFields = false;
};

// ---- index definitions --------------------------------------------------------------------

class TIndexDefs;

class TIndexDef : public TCollectionItem {
 public:
  explicit TIndexDef(TCollection* Collection);
  // A stand-alone definition (not in a collection), owned by whoever made it.
  TIndexDef();

  const std::string& GetName() const { return FName; }
  // Raises SDuplicateIndexName when another definition of the collection has the name.
  void SetName(const std::string& Value);
  // The indexed fields, separated by ";".
  const std::string& GetFields() const { return FFields; }
  void SetFields(const std::string& Value) { FFields = Value; }
  TIndexOptions GetOptions() const { return FOptions; }
  void SetOptions(TIndexOptions Value) { FOptions = Value; }
  const std::string& GetExpression() const { return FExpression; }
  // An expression index (ixExpression is set with it).
  void SetExpression(const std::string& Value);
  // Fields sorted descending, separated by ";".
  const std::string& GetDescFields() const { return FDescFields; }
  void SetDescFields(const std::string& Value) { FDescFields = Value; }
  const std::string& GetCaseInsFields() const { return FCaseInsFields; }
  void SetCaseInsFields(const std::string& Value) { FCaseInsFields = Value; }
  const std::string& GetSource() const { return FSource; }
  void SetSource(const std::string& Value) { FSource = Value; }
  int GetGroupingLevel() const { return FGroupingLevel; }
  void SetGroupingLevel(int Value) { FGroupingLevel = Value; }
  std::string DisplayName() const override { return FName; }

  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;

 private:
  std::string FName;
  std::string FFields;
  std::string FExpression;
  std::string FDescFields;
  std::string FCaseInsFields;
  std::string FSource;
  TIndexOptions FOptions;
  int FGroupingLevel = 0;
};

class TIndexDefs : public TCollection {
 public:
  explicit TIndexDefs(TDataSet* DataSet);

  TDataSet* GetDataSet() const { return FDataSet; }
  TIndexDef* Items(int Index) const;
  TIndexDef* operator[](int Index) const { return Items(Index); }
  TIndexDef* AddIndexDef();
  TIndexDef* Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  // The definition of that name (ignoring case); raises SIndexNotFound when there is none.
  TIndexDef* Find(std::string_view Name) const;
  // The position of the definition of that name (ignoring case), or -1.
  int IndexOf(std::string_view Name) const;
  // The first index whose fields are Fields, else the first whose fields begin with them at a
  // field boundary; expression indexes are skipped, and with CaseInsensitive also indexes
  // without ixCaseInsensitive. nullptr when none.
  virtual TIndexDef* GetIndexForFields(std::string_view Fields, bool CaseInsensitive);
  // Like GetIndexForFields (case-sensitive); raises SNoIndexForFields when none.
  virtual TIndexDef* FindIndexForFields(std::string_view Fields);
  bool GetUpdated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // Asks the dataset to refresh the definitions (UpdateIndexDefs) unless they are up to date.
  void Update();

 protected:
  void Update(TCollectionItem* Item) override { TCollection::Update(Item); }

 private:
  TDataSet* FDataSet;
  bool FUpdated = false;
};

// The definitions of IndexDefs that are of the kinds asked for: itPrimary those with
// ixPrimary, itUnique those with ixUnique, itDefault all; expression indexes are left out.
void GetIndexDefs(const TIndexDefs& IndexDefs, TIndexTypes IndexTypes, TIndexDefs& Result);

// ---- check constraints --------------------------------------------------------------------

class TCheckConstraint : public TCollectionItem {
 public:
  explicit TCheckConstraint(TCollection* Collection);

  const std::string& GetCustomConstraint() const { return FCustomConstraint; }
  void SetCustomConstraint(const std::string& Value) { FCustomConstraint = Value; }
  const std::string& GetErrorMessage() const { return FErrorMessage; }
  void SetErrorMessage(const std::string& Value) { FErrorMessage = Value; }
  const std::string& GetImportedConstraint() const { return FImportedConstraint; }
  void SetImportedConstraint(const std::string& Value) { FImportedConstraint = Value; }
  bool GetFromDictionary() const { return FFromDictionary; }
  void SetFromDictionary(bool Value) { FFromDictionary = Value; }
  std::string DisplayName() const override;

  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;

 private:
  std::string FCustomConstraint;
  std::string FErrorMessage;
  std::string FImportedConstraint;
  bool FFromDictionary = false;
};

class TCheckConstraints : public TCollection {
 public:
  explicit TCheckConstraints(TPersistent* Owner);
  TCheckConstraint* Items(int Index) const;
  TCheckConstraint* operator[](int Index) const { return Items(Index); }
  TCheckConstraint* Add();
};

}  // namespace host
