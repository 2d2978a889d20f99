// Parameters of SQL statements (TParams/TParam) and the parameter parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/fields.h"
#include "platform/rtl/component.h"
#include "platform/rtl/variant.h"

namespace host {

class TDataSet;
class TParams;

class TParam : public TCollectionItem {
 public:
  explicit TParam(TCollection* Collection);
  TParam(TParams* Params, TParamType ParamType);

  const std::string& GetName() const { return FName; }
  void SetName(const std::string& Value);
  TFieldType GetDataType() const { return FDataType; }
  // Changing the type keeps the value, converted to the new type when possible.
  void SetDataType(TFieldType Value);
  TParamType GetParamType() const { return FParamType; }
  void SetParamType(TParamType Value) { FParamType = Value; }
  // A value was given (by assignment or from a field), even a null one.
  bool GetBound() const { return FBound; }
  void SetBound(bool Value) { FBound = Value; }
  bool GetIsNull() const { return FData.IsNull() || FData.IsEmpty(); }
  int GetSize() const { return FSize; }
  void SetSize(int Value) { FSize = Value; }
  int GetPrecision() const { return FPrecision; }
  void SetPrecision(int Value) { FPrecision = Value; }
  int GetNumericScale() const { return FNumericScale; }
  void SetNumericScale(int Value) { FNumericScale = Value; }
  std::string DisplayName() const override { return FName; }
  TParams* GetParams() const;
  // The dataset that owns the parameter list, if any.
  TDataSet* GetDataSet() const;

  // The value; assigning marks the parameter bound and, while the type is ftUnknown, takes the
  // type from the variant.
  const Variant& GetValue() const { return FData; }
  void SetValue(const Variant& Value);
  void Clear();

  // Typed access. The setters also set DataType.
  std::string GetAsString() const;
  void SetAsString(const std::string& Value);
  std::int32_t GetAsInteger() const;
  void SetAsInteger(std::int32_t Value);
  void SetAsSmallInt(std::int32_t Value);
  void SetAsWord(std::int32_t Value);
  std::int64_t GetAsLargeInt() const;
  void SetAsLargeInt(std::int64_t Value);
  double GetAsFloat() const;
  void SetAsFloat(double Value);
  Currency GetAsCurrency() const;
  void SetAsCurrency(Currency Value);
  TBcd GetAsBCD() const;
  void SetAsBCD(const TBcd& Value);
  bool GetAsBoolean() const;
  void SetAsBoolean(bool Value);
  TDateTime GetAsDateTime() const;
  void SetAsDateTime(TDateTime Value);
  void SetAsDate(TDateTime Value);
  void SetAsTime(TDateTime Value);
  std::string GetAsMemo() const { return GetAsString(); }
  void SetAsMemo(const std::string& Value);
  TBytes GetAsBytes() const;
  void SetAsBlob(const TBytes& Value);
  void SetAsBytes(const TBytes& Value);

  // Bytes of the native form of the value (see fields.h); text and BLOB types count the value's
  // bytes (text + 1 for its NUL).
  int GetDataSize() const;
  // Writes the value in the native form of DataType; nothing for a null value.
  void GetData(void* Buffer) const;
  // Reads a native value of DataType (nullptr: null).
  void SetData(const void* Buffer);
  void SetBlobData(const void* Buffer, int Size);

  // Type, size, name and value of a field.
  void AssignField(TField* Field);
  // Type and size of Field, with Value as the value.
  void AssignFieldValue(TField* Field, const Variant& Value);
  // Copies the value of the parameter into the field.
  void AssignTo(TPersistent* Dest) const override;
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;

 private:
  [[noreturn]] void TypeError(std::string_view TypeName) const;
  std::string FName;
  TFieldType FDataType = ftUnknown;
  TParamType FParamType = ptUnknown;
  Variant FData;
  bool FBound = false;
  int FSize = 0;
  int FPrecision = 0;
  int FNumericScale = 0;
};

class TParams : public TCollection {
 public:
  explicit TParams(TPersistent* Owner = nullptr);

  TParam* Items(int Index) const;
  TParam* operator[](int Index) const { return Items(Index); }
  TParam* AddParameter() { return static_cast<TParam*>(TCollection::Add()); }
  TParam* CreateParam(TFieldType FldType, const std::string& ParamName, TParamType ParamType);
  // The first parameter of that name (ignoring case), or nullptr.
  TParam* FindParam(std::string_view Value) const;
  // Raises SParameterNotFound when there is none.
  TParam* ParamByName(std::string_view Value) const;
  // The parameters of a ";"-separated list of names; raises for a missing one.
  void GetParamList(std::vector<TParam*>& List, std::string_view ParamNames) const;
  // Values by name: one value, or a variant array for several names. Setting a name sets every
  // parameter of that name (a statement may use one name more than once).
  Variant GetParamValues(std::string_view ParamNames) const;
  void SetParamValues(std::string_view ParamNames, const Variant& Value);
  // Gives each parameter of this list the value of every parameter of Value with its name.
  void AssignValues(const TParams* Value);
  bool IsEqual(const TParams* Value) const;
  // Replaces each parameter (":name", or ":"name"" for names with other characters) of SQL
  // by "?" and returns the result; with DoCreate a parameter (ftUnknown, ptUnknown) is added
  // for each, in order, the same name as often as it occurs. Text in quotes and comments is
  // left alone; "::" stands for one colon.
  std::string ParseSQL(const std::string& SQL, bool DoCreate);
  TDataSet* GetDataSet() const;
};

}  // namespace host
