// Fields: TField and a descendant per field type, and TFields, a dataset's list of fields.
//
// A field reads and writes its value through its dataset: GetData asks the dataset's
// GetFieldData for the bytes of the current record in the dataset's current state, SetData
// hands bytes to SetFieldData. The bytes exchanged are the field's native form:
//
//   ftString, ftFixedChar  UTF-8 text, NUL-terminated; DataSize = Size + 1 (Size counts bytes)
//   ftWideString           UTF-8 text, NUL-terminated; Size counts UTF-16 units, so
//                          DataSize = 3 * Size + 1
//   ftSmallint, ftWord     2 bytes (signed / unsigned)
//   ftBoolean              2 bytes, 0 = false, anything else true (written as -1)
//   ftInteger, ftAutoInc   4 bytes
//   ftLargeint             8 bytes
//   ftFloat, ftCurrency    8-byte double
//   ftBCD                  TBcd (34 bytes); the value form is Currency
//   ftDate                 4 bytes, the time stamp's day number; value form TDateTime
//   ftTime                 4 bytes, milliseconds since midnight; value form TDateTime
//   ftDateTime             8-byte double, the time stamp's milliseconds; value form TDateTime
//   ftBytes                Size bytes
//   ftVarBytes             a 2-byte length, then up to Size bytes; DataSize = Size + 2
//   BLOB types             not in the record buffer: read and written through the dataset's
//                          CreateBlobStream; DataSize = 0
//
// For ftBCD and the date and time types the value form differs from the native one; such
// fields ask for the value form (NativeFormat false) and the dataset converts (DataConvert).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/dbconsts.h"
#include "platform/db/dberrors.h"
#include "platform/db/dbtypes.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/component.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/variant.h"

namespace host {

class TDataSet;
class TField;
class TStream;

using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;

using TBytes = std::vector<std::uint8_t>;

// ---- TField -------------------------------------------------------------------------------

class TField : public TComponent {
 public:
  explicit TField(TComponent* AOwner);
  ~TField() override;

  // ---- identity and layout
  TDataSet* GetDataSet() const { return FDataSet; }
  // Moves the field into another dataset's field list (nullptr: out of any). Both datasets
  // must be closed.
  void SetDataSet(TDataSet* Value);
  const std::string& GetFieldName() const { return FFieldName; }
  void SetFieldName(const std::string& Value);
  std::string GetFullName() const { return FFieldName; }
  const std::string& GetDisplayLabel() const { return FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value);
  // DisplayLabel when set, else FieldName.
  std::string GetDisplayName() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
  TFieldType GetDataType() const { return FDataType; }
  TFieldKind GetFieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool GetCalculated() const { return FFieldKind == fkCalculated; }
  bool GetLookup() const { return FFieldKind == fkLookup; }
  // 1-based number of the field definition for data fields; -1 for calculated and lookup
  // fields; 0 while unbound.
  int GetFieldNo() const { return FFieldNo; }
  // Position in the dataset's field list, or -1.
  int GetIndex() const;
  void SetIndex(int Value);
  // Calculated and lookup fields: offset of the field's slot (a not-null byte, then the value)
  // in the calculated-field area. BLOB data fields: the field's number among the BLOB fields.
  int GetOffset() const { return FOffset; }
  int GetSize() const { return FSize; }
  void SetSize(int Value);
  // Bytes of the native form in a record buffer.
  virtual int GetDataSize() const { return 0; }
  virtual bool IsBlob() const { return false; }

  // ---- attributes
  bool GetReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool GetRequired() const { return FRequired; }
  void SetRequired(bool Value) { FRequired = Value; }
  bool GetVisible() const { return FVisible; }
  void SetVisible(bool Value);
  int GetDisplayWidth() const;
  void SetDisplayWidth(int Value) { FDisplayWidth = Value; }
  TProviderFlags GetProviderFlags() const { return FProviderFlags; }
  void SetProviderFlags(TProviderFlags Value) { FProviderFlags = Value; }
  const std::string& GetOrigin() const { return FOrigin; }
  void SetOrigin(const std::string& Value) { FOrigin = Value; }
  const std::string& GetDefaultExpression() const { return FDefaultExpression; }
  void SetDefaultExpression(const std::string& Value) { FDefaultExpression = Value; }
  const std::string& GetCustomConstraint() const { return FCustomConstraint; }
  void SetCustomConstraint(const std::string& Value) { FCustomConstraint = Value; }
  const std::string& GetImportedConstraint() const { return FImportedConstraint; }
  void SetImportedConstraint(const std::string& Value) { FImportedConstraint = Value; }
  const std::string& GetConstraintErrorMessage() const { return FConstraintErrorMessage; }
  void SetConstraintErrorMessage(const std::string& Value) { FConstraintErrorMessage = Value; }
  // A custom or imported constraint, or a default expression.
  bool HasConstraints() const;
  // Whether the dataset's current index uses the field (the dataset decides).
  bool GetIsIndexField() const;
  // Not read-only, a data or internally calculated field, of a dataset that can modify.
  bool GetCanModify() const;

  // ---- lookup fields
  TDataSet* GetLookupDataSet() const { return FLookupDataSet; }
  void SetLookupDataSet(TDataSet* Value);
  const std::string& GetKeyFields() const { return FKeyFields; }
  void SetKeyFields(const std::string& Value) { FKeyFields = Value; }
  const std::string& GetLookupKeyFields() const { return FLookupKeyFields; }
  void SetLookupKeyFields(const std::string& Value) { FLookupKeyFields = Value; }
  const std::string& GetLookupResultField() const { return FLookupResultField; }
  void SetLookupResultField(const std::string& Value) { FLookupResultField = Value; }

  // ---- events
  const TFieldNotifyEvent& GetOnChange() const { return FOnChange; }
  void SetOnChange(TFieldNotifyEvent Value) { FOnChange = std::move(Value); }
  const TFieldNotifyEvent& GetOnValidate() const { return FOnValidate; }
  void SetOnValidate(TFieldNotifyEvent Value) { FOnValidate = std::move(Value); }
  const TFieldGetTextEvent& GetOnGetText() const { return FOnGetText; }
  void SetOnGetText(TFieldGetTextEvent Value) { FOnGetText = std::move(Value); }
  const TFieldSetTextEvent& GetOnSetText() const { return FOnSetText; }
  void SetOnSetText(TFieldSetTextEvent Value) { FOnSetText = std::move(Value); }

  // ---- raw value access
  // Copies the value of the current record into Buffer (when given) and returns true, or
  // returns false when the value is null or there is no current record. NativeFormat false
  // asks for the value form (Currency for ftBCD, TDateTime for dates and times).
  bool GetData(void* Buffer, bool NativeFormat = true) const;
  // Stores a value (nullptr: null) through the dataset.
  void SetData(const void* Buffer, bool NativeFormat = true);
  // Runs OnValidate with Buffer (native form; nullptr for null) as the pending value: while it
  // runs the field reads as that value.
  void Validate(const void* Buffer);

  // ---- typed access
  virtual bool GetIsNull() const;
  virtual void Clear();
  virtual std::string GetAsString() const;
  virtual void SetAsString(const std::string& Value);
  virtual std::int32_t GetAsInteger() const;
  virtual void SetAsInteger(std::int32_t Value);
  virtual std::int64_t GetAsLargeInt() const;
  virtual void SetAsLargeInt(std::int64_t Value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloat(double Value);
  virtual Currency GetAsCurrency() const;
  virtual void SetAsCurrency(Currency Value);
  virtual TBcd GetAsBCD() const;
  virtual void SetAsBCD(const TBcd& Value);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBoolean(bool Value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTime(TDateTime Value);
  virtual TBytes GetAsBytes() const;
  virtual void SetAsBytes(const TBytes& Value);
  // Null for a null field. Text fields give the text kind.
  virtual Variant GetAsVariant() const;
  // Null and Empty clear the field; other values are converted to the field's type.
  void SetAsVariant(const Variant& Value);
  Variant GetValue() const { return GetAsVariant(); }
  void SetValue(const Variant& Value) { SetAsVariant(Value); }

  // Text for display (DisplayText true) or editing; OnGetText may replace it.
  std::string GetText() const;
  std::string GetDisplayText() const;
  void SetText(const std::string& Value);

  // The value in the dataset's old, new or current view of the record (through
  // TDataSet::GetStateFieldValue and SetStateFieldValue).
  Variant GetOldValue() const;
  Variant GetNewValue() const;
  void SetNewValue(const Variant& Value);
  Variant GetCurValue() const;

  // Takes the value of another field.
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  void AssignValue(const Variant& Value) { SetAsVariant(Value); }
  void FocusControl();
  // Drops what the field keeps about the record being edited (called after post or cancel).
  virtual void FreeBuffers() {}

 protected:
  void SetDataType(TFieldType Value) { FDataType = Value; }
  // Default text of the value; GetText/GetDisplayText add OnGetText.
  virtual void GetTextValue(std::string& Text, bool DisplayText) const;
  virtual void SetVarValue(const Variant& Value);
  [[noreturn]] void AccessError(std::string_view TypeName) const;
  [[noreturn]] void RangeError(double Value, double Min, double Max) const;
  void CheckInactive() const;
  // Tells the dataset that a property shown by controls changed.
  void PropertyChanged(bool LayoutAffected);
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Scratch storage for text values that fit; larger ones use the heap.
  static constexpr int SmallBufferSize = 256;
  int FSize = 0;

 private:
  friend class TDataSet;
  friend class TFields;

  TDataSet* FDataSet = nullptr;
  std::string FFieldName;
  std::string FDisplayLabel;
  TFieldType FDataType = ftUnknown;
  TFieldKind FFieldKind = fkData;
  int FFieldNo = 0;
  int FOffset = 0;
  int FDisplayWidth = 0;
  bool FReadOnly = false;
  bool FRequired = false;
  bool FVisible = true;
  TProviderFlags FProviderFlags{pfInUpdate, pfInWhere};
  std::string FOrigin;
  std::string FDefaultExpression;
  std::string FCustomConstraint;
  std::string FImportedConstraint;
  std::string FConstraintErrorMessage;
  TDataSet* FLookupDataSet = nullptr;
  std::string FKeyFields;
  std::string FLookupKeyFields;
  std::string FLookupResultField;
  TFieldNotifyEvent FOnChange;
  TFieldNotifyEvent FOnValidate;
  TFieldGetTextEvent FOnGetText;
  TFieldSetTextEvent FOnSetText;
  // While OnValidate runs: the pending value (native form, nullptr for null).
  bool FValidating = false;
  const void* FValueBuffer = nullptr;
};

// ---- text fields --------------------------------------------------------------------------

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* AOwner);
  int GetDataSize() const override { return GetSize() + 1; }
  // Fixed-width text (ftFixedChar).
  bool GetFixedChar() const { return GetDataType() == ftFixedChar; }
  void SetFixedChar(bool Value);

  std::string GetAsString() const override;
  // Text longer than the field is cut at a character boundary to fit.
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;
  Variant GetAsVariant() const override;

 protected:
  // Reads the text; false for null.
  bool GetValue(std::string& Value) const;
  // The longest prefix of Value that fits the field.
  virtual std::string Fit(const std::string& Value) const;
};

class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(TComponent* AOwner);
  int GetDataSize() const override { return 3 * GetSize() + 1; }

 protected:
  std::string Fit(const std::string& Value) const override;
};

// ---- numbers ------------------------------------------------------------------------------

class TNumericField : public TField {
 public:
  explicit TNumericField(TComponent* AOwner);
  // Pattern for FormatFloat (display and edit texts); empty for the plain conversion.
  const std::string& GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value);
  const std::string& GetEditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& Value) { FEditFormat = Value; }

 protected:
  std::string FDisplayFormat;
  std::string FEditFormat;
};

// Integers of up to 32 bits: ftInteger, and the 16-bit and auto-increment descendants.
class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(TComponent* AOwner);
  int GetDataSize() const override { return 4; }
  // 0 and 0 mean no limit beyond the type's own range.
  std::int32_t GetMinValue() const { return FMinValue; }
  void SetMinValue(std::int32_t Value) { FMinValue = Value; }
  std::int32_t GetMaxValue() const { return FMaxValue; }
  void SetMaxValue(std::int32_t Value) { FMaxValue = Value; }

  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  Variant GetAsVariant() const override;

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;
  // Reads the value; false for null.
  virtual bool ReadValue(std::int32_t& Value) const;
  virtual void WriteValue(std::int32_t Value);
  void CheckRange(std::int64_t Value) const;
  std::int32_t FMinRange = INT32_MIN;
  std::int32_t FMaxRange = INT32_MAX;

 private:
  std::int32_t FMinValue = 0;
  std::int32_t FMaxValue = 0;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* AOwner);
  int GetDataSize() const override { return 2; }

 protected:
  bool ReadValue(std::int32_t& Value) const override;
  void WriteValue(std::int32_t Value) override;
};

class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* AOwner);
  int GetDataSize() const override { return 2; }

 protected:
  bool ReadValue(std::int32_t& Value) const override;
  void WriteValue(std::int32_t Value) override;
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* AOwner);
};

class TLargeintField : public TNumericField {
 public:
  explicit TLargeintField(TComponent* AOwner);
  int GetDataSize() const override { return 8; }
  std::int64_t GetMinValue() const { return FMinValue; }
  void SetMinValue(std::int64_t Value) { FMinValue = Value; }
  std::int64_t GetMaxValue() const { return FMaxValue; }
  void SetMaxValue(std::int64_t Value) { FMaxValue = Value; }

  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  Variant GetAsVariant() const override;

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;

 private:
  std::int64_t FMinValue = 0;
  std::int64_t FMaxValue = 0;
};

class TFloatField : public TNumericField {
 public:
  explicit TFloatField(TComponent* AOwner);
  int GetDataSize() const override { return 8; }
  // Significant digits of the text form (2..15).
  int GetPrecision() const { return FPrecision; }
  void SetPrecision(int Value);
  // Show the value as money.
  bool GetCurrency() const { return FCurrency; }
  void SetCurrency(bool Value);
  // Both 0: no limit.
  double GetMinValue() const { return FMinValue; }
  void SetMinValue(double Value) { FMinValue = Value; }
  double GetMaxValue() const { return FMaxValue; }
  void SetMaxValue(double Value) { FMaxValue = Value; }

  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  Variant GetAsVariant() const override;

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;

 private:
  int FPrecision = 15;
  bool FCurrency = false;
  double FMinValue = 0;
  double FMaxValue = 0;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* AOwner);
};

// ftBCD: native TBcd, value Currency. Size is the number of decimal places, Precision the
// number of digits (0: as many as a TBcd holds).
class TBCDField : public TNumericField {
 public:
  explicit TBCDField(TComponent* AOwner);
  int GetDataSize() const override { return static_cast<int>(sizeof(TBcd)); }
  int GetPrecision() const { return FPrecision; }
  void SetPrecision(int Value);
  bool GetCurrency() const { return FCurrency; }
  void SetCurrency(bool Value);
  // Both 0: no limit.
  Currency GetMinValue() const { return FMinValue; }
  void SetMinValue(Currency Value) { FMinValue = Value; }
  Currency GetMaxValue() const { return FMaxValue; }
  void SetMaxValue(Currency Value) { FMaxValue = Value; }

  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCD(const TBcd& Value) override;
  Variant GetAsVariant() const override;

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;

 private:
  int FPrecision = 0;
  bool FCurrency = false;
  Currency FMinValue;
  Currency FMaxValue;
};

// ---- Booleans -----------------------------------------------------------------------------

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* AOwner);
  int GetDataSize() const override { return 2; }
  // "TrueText;FalseText"; the default shows "True" and "False".
  const std::string& GetDisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& Value);

  std::string GetAsString() const override;
  // Empty text clears; otherwise the text must begin one of the two display values (any case).
  void SetAsString(const std::string& Value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  Variant GetAsVariant() const override;

 private:
  std::string TrueText() const;
  std::string FalseText() const;
  std::string FDisplayValues;
  std::string FTrueText;
  std::string FFalseText;
};

// ---- dates and times ----------------------------------------------------------------------

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* AOwner);
  int GetDataSize() const override { return 8; }
  // Pattern for FormatDateTime; empty for the locale's default text.
  const std::string& GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value);

  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;
  Variant GetAsVariant() const override;

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;
  virtual std::string DefaultText(TDateTime Value) const;
  virtual TDateTime ParseText(const std::string& Value) const;

 private:
  std::string FDisplayFormat;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* AOwner);
  int GetDataSize() const override { return 4; }

 protected:
  std::string DefaultText(TDateTime Value) const override;
  TDateTime ParseText(const std::string& Value) const override;
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* AOwner);
  int GetDataSize() const override { return 4; }

 protected:
  std::string DefaultText(TDateTime Value) const override;
  TDateTime ParseText(const std::string& Value) const override;
};

// ---- binary data --------------------------------------------------------------------------

class TBinaryField : public TField {
 public:
  explicit TBinaryField(TComponent* AOwner);
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  TBytes GetAsBytes() const override;
  void SetAsBytes(const TBytes& Value) override;
  // A byte array (varByte elements).
  Variant GetAsVariant() const override;

 protected:
  void SetVarValue(const Variant& Value) override;
};

class TBytesField : public TBinaryField {
 public:
  explicit TBytesField(TComponent* AOwner);
  int GetDataSize() const override { return GetSize(); }
  TBytes GetAsBytes() const override;
  // Shorter values are padded with zeros; longer ones are refused.
  void SetAsBytes(const TBytes& Value) override;
};

class TVarBytesField : public TBinaryField {
 public:
  explicit TVarBytesField(TComponent* AOwner);
  int GetDataSize() const override { return GetSize() + 2; }
  TBytes GetAsBytes() const override;
  // Longer values than Size are refused.
  void SetAsBytes(const TBytes& Value) override;
};

// BLOB fields read and write their value through a stream of the dataset. Writing a value
// marks the field Modified until the record is posted or cancelled.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* AOwner);
  bool IsBlob() const override { return true; }
  bool GetModified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  TFieldType GetBlobType() const { return GetDataType(); }
  void SetBlobType(TFieldType Value);
  // Size of the value in bytes.
  std::int64_t GetBlobSize() const;

  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;

  bool GetIsNull() const override;
  void Clear() override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  TBytes GetAsBytes() const override;
  void SetAsBytes(const TBytes& Value) override;
  Variant GetAsVariant() const override;
  void FreeBuffers() override { FModified = false; }

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;
  void SetVarValue(const Variant& Value) override;
  void WriteBytes(const void* Data, std::size_t Length);

 private:
  bool FModified = false;
};

// A BLOB holding text (ftMemo, ftFmtMemo).
class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* AOwner);
  Variant GetAsVariant() const override;

 protected:
  void GetTextValue(std::string& Text, bool DisplayText) const override;
  void SetVarValue(const Variant& Value) override;
};

class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* AOwner);
};

// ---- field classes ------------------------------------------------------------------------

// Creates a field of some class owned by Owner.
using TFieldClass = TField* (*)(TComponent* Owner);

// The field class of a type (nullptr for the types no field represents: ftUnknown, ftCursor,
// ftADT, ftArray, ftReference, ftDataSet).
TFieldClass DefaultFieldClass(TFieldType Type);

// ---- TFields ------------------------------------------------------------------------------

// The fields of a dataset, in order. The list does not own the fields: they are components,
// freed by their owner (or by the dataset when it destroys its default fields).
class TFields {
 public:
  explicit TFields(TDataSet* DataSet) : FDataSet(DataSet) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const { return static_cast<int>(FList.size()); }
  // Raises EListError ("List index out of bounds") for a bad index.
  TField* Fields(int Index) const;
  TField* operator[](int Index) const { return Fields(Index); }
  int IndexOf(const TField* Field) const;
  // By name, ignoring case; nullptr when missing.
  TField* FindField(std::string_view FieldName) const;
  // Raises SFieldNotFound when missing.
  TField* FieldByName(std::string_view FieldName) const;
  // The data field with that FieldNo, or nullptr.
  TField* FieldByNumber(int FieldNo) const;
  TDataSet* GetDataSet() const { return FDataSet; }
  const std::vector<TField*>& List() const { return FList; }

 private:
  friend class TField;
  friend class TDataSet;
  void Add(TField* Field);
  void Remove(TField* Field);
  void SetFieldIndex(TField* Field, int Value);

  TDataSet* FDataSet;
  std::vector<TField*> FList;
};

// True when two field names are the same name (ignoring case, Unicode-aware).
bool SameFieldName(std::string_view A, std::string_view B);

}  // namespace host
