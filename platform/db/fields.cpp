#include "platform/db/fields.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/db/dataset.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace host {

namespace {

bool NeedsConversion(TFieldType Type) {
  return Type == ftBCD || Type == ftDate || Type == ftTime || Type == ftDateTime;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// An integer field's text: blank clears the field; anything else must be a 64-bit integer,
// which the field then checks against its own range.
void SetIntegerText(TField& Field, const std::string& Value) {
  const std::string_view text = TrimBlanks(Value);
  if (text.empty()) {
    Field.Clear();
    return;
  }
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value)) DatabaseErrorFmt(SInvalidIntegerValue, {Value, Field.GetDisplayName()});
  Field.SetAsLargeInt(value);
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Cuts Value at a character boundary so that it takes at most MaxBytes bytes.
std::string CutUtf8(const std::string& Value, std::size_t MaxBytes) {
  if (Value.size() <= MaxBytes) return Value;
  std::size_t cut = MaxBytes;
  while (cut > 0 && (static_cast<unsigned char>(Value[cut]) & 0xC0) == 0x80) --cut;
  return Value.substr(0, cut);
}

// Bytes of a byte-array variant (or of a text).
TBytes VariantBytes(const Variant& Value) {
  TBytes result;
  if (Value.IsArray()) {
    if (Value.DimCount() != 1) throw EVariantInvalidOpError("A byte array has one dimension");
    const int low = Value.LowBound(1);
    const int high = Value.HighBound(1);
    result.reserve(static_cast<std::size_t>(std::max(0, high - low + 1)));
    for (int i = low; i <= high; ++i) {
      result.push_back(static_cast<std::uint8_t>(Value.GetElement(i).AsInteger()));
    }
  } else {
    const std::string text = Value.AsString();
    result.assign(text.begin(), text.end());
  }
  return result;
}

Variant BytesVariant(const TBytes& Bytes) {
  Variant result = VarArrayCreate({0, static_cast<int>(Bytes.size()) - 1}, varByte);
  for (std::size_t i = 0; i < Bytes.size(); ++i) {
    result.PutElement(static_cast<int>(i), Variant(static_cast<unsigned char>(Bytes[i])));
  }
  return result;
}

}  // namespace

bool SameFieldName(std::string_view A, std::string_view B) {
  if (IsAscii(A) && IsAscii(B)) return SameText(A, B);
  return AnsiSameText(A, B);
}

// ---- TField -------------------------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  if (FDataSet != nullptr) FDataSet->RemoveField(this);
}

void TField::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet != nullptr) FDataSet->CheckInactive();
  if (Value != nullptr) {
    Value->CheckInactive();
    Value->CheckFieldName(FFieldName);
  }
  if (FDataSet != nullptr) FDataSet->RemoveField(this);
  if (Value != nullptr) Value->AddField(this);
}

void TField::SetFieldName(const std::string& Value) {
  if (Value == FFieldName) return;
  if (FDataSet != nullptr) {
    FDataSet->CheckInactive();
    TField* other = FDataSet->FindField(Value);
    if (other != nullptr && other != this) DatabaseErrorFmt(SDuplicateFieldName, {Value}, FDataSet);
  }
  FFieldName = Value;
  PropertyChanged(true);
}

void TField::SetDisplayLabel(const std::string& Value) {
  FDisplayLabel = Value == FFieldName ? std::string() : Value;
  PropertyChanged(true);
}

void TField::SetFieldKind(TFieldKind Value) {
  if (Value == FFieldKind) return;
  CheckInactive();
  FFieldKind = Value;
}

int TField::GetIndex() const { return FDataSet != nullptr ? FDataSet->GetFields()->IndexOf(this) : -1; }

void TField::SetIndex(int Value) {
  if (FDataSet == nullptr) return;
  FDataSet->GetFields()->SetFieldIndex(this, Value);
  FDataSet->DataEvent(deFieldListChange, 0);
}

void TField::SetSize(int Value) {
  CheckInactive();
  if (Value < 0) DatabaseError(SInvalidFieldSize);
  FSize = Value;
}

void TField::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  PropertyChanged(true);
}

int TField::GetDisplayWidth() const {
  if (FDisplayWidth > 0) return FDisplayWidth;
  if (FDataType == ftString || FDataType == ftFixedChar || FDataType == ftWideString) {
    return std::max(FSize, 1);
  }
  return 10;
}

bool TField::HasConstraints() const {
  return !FCustomConstraint.empty() || !FImportedConstraint.empty() || !FDefaultExpression.empty();
}

bool TField::GetIsIndexField() const {
  return FDataSet != nullptr && FDataSet->GetIsIndexField(const_cast<TField*>(this));
}

bool TField::GetCanModify() const {
  if (FReadOnly || (FFieldKind != fkData && FFieldKind != fkInternalCalc)) return false;
  return FDataSet == nullptr || (FDataSet->GetActive() && FDataSet->GetCanModify());
}

void TField::SetLookupDataSet(TDataSet* Value) {
  if (Value == FLookupDataSet) return;
  if (FLookupDataSet != nullptr) RemoveFreeNotification(FLookupDataSet);
  FLookupDataSet = Value;
  if (Value != nullptr) FreeNotification(Value);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FLookupDataSet) FLookupDataSet = nullptr;
}

void TField::CheckInactive() const {
  if (FDataSet != nullptr) FDataSet->CheckInactive();
}

void TField::PropertyChanged(bool LayoutAffected) {
  if (FDataSet != nullptr && FDataSet->GetActive()) {
    FDataSet->DataEvent(LayoutAffected ? deLayoutChange : deDataSetChange, 0);
  }
}

bool TField::GetData(void* Buffer, bool NativeFormat) const {
  if (FDataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  if (FValidating) {
    if (FValueBuffer == nullptr) return false;
    if (Buffer != nullptr) {
      if (!NativeFormat && NeedsConversion(FDataType)) {
        FDataSet->DataConvert(const_cast<TField*>(this), FValueBuffer, Buffer, false);
      } else {
        std::memcpy(Buffer, FValueBuffer, static_cast<std::size_t>(GetDataSize()));
      }
    }
    return true;
  }
  return FDataSet->GetFieldData(const_cast<TField*>(this), Buffer, NativeFormat);
}

void TField::SetData(const void* Buffer, bool NativeFormat) {
  if (FDataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  FDataSet->SetFieldData(this, Buffer, NativeFormat);
}

void TField::Validate(const void* Buffer) {
  if (!FOnValidate) return;
  const bool wasValidating = FValidating;
  const void* previous = FValueBuffer;
  FValidating = true;
  FValueBuffer = Buffer;
  try {
    FOnValidate(this);
  } catch (...) {
    FValidating = wasValidating;
    FValueBuffer = previous;
    throw;
  }
  FValidating = wasValidating;
  FValueBuffer = previous;
}

void TField::AccessError(std::string_view TypeName) const {
  DatabaseErrorFmt(SFieldAccessError, {GetDisplayName(), TypeName});
}

void TField::RangeError(double Value, double Min, double Max) const {
  DatabaseErrorFmt(SFieldRangeError,
                   {FloatToStr(Value), GetDisplayName(), FloatToStr(Min), FloatToStr(Max)});
}

bool TField::GetIsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

std::string TField::GetAsString() const { AccessError("String"); }

void TField::SetAsString(const std::string& /*Value*/) { AccessError("String"); }
std::int32_t TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(std::int32_t /*Value*/) { AccessError("Integer"); }
std::int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
void TField::SetAsLargeInt(std::int64_t /*Value*/) { AccessError("Largeint"); }
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double /*Value*/) { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }
void TField::SetAsCurrency(Currency Value) { SetAsFloat(Value.ToDouble()); }
TBcd TField::GetAsBCD() const { AccessError("BCD"); }
void TField::SetAsBCD(const TBcd& /*Value*/) { AccessError("BCD"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool /*Value*/) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime /*Value*/) { AccessError("DateTime"); }
TBytes TField::GetAsBytes() const { AccessError("Bytes"); }
void TField::SetAsBytes(const TBytes& /*Value*/) { AccessError("Bytes"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) {
    Clear();
  } else {
    SetVarValue(Value);
  }
}

void TField::SetVarValue(const Variant& Value) {
  switch (FDataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
      SetAsString(Value.AsString());
      break;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      SetAsInteger(Value.AsInteger());
      break;
    case ftLargeint:
      SetAsLargeInt(Value.AsInt64());
      break;
    case ftBoolean:
      SetAsBoolean(Value.AsBoolean());
      break;
    case ftFloat:
    case ftCurrency:
      SetAsFloat(Value.AsDouble());
      break;
    case ftBCD:
      if (Value.VType() == varFMTBcd) {
        SetAsBCD(Value.AsBcd());
      } else {
        SetAsCurrency(Value.AsCurrency());
      }
      break;
    case ftDate:
    case ftTime:
    case ftDateTime:
      SetAsDateTime(VarToDateTime(Value));
      break;
    default:
      AccessError("Variant");
  }
}

void TField::GetTextValue(std::string& Text, bool /*DisplayText*/) const { Text = GetAsString(); }

std::string TField::GetText() const {
  std::string text;
  if (FOnGetText) {
    FOnGetText(const_cast<TField*>(this), text, false);
  } else {
    GetTextValue(text, false);
  }
  return text;
}

std::string TField::GetDisplayText() const {
  std::string text;
  if (FOnGetText) {
    FOnGetText(const_cast<TField*>(this), text, true);
  } else {
    GetTextValue(text, true);
  }
  return text;
}

void TField::SetText(const std::string& Value) {
  if (FOnSetText) {
    FOnSetText(this, Value);
  } else {
    SetAsString(Value);
  }
}

Variant TField::GetOldValue() const {
  if (FDataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  return FDataSet->GetStateFieldValue(dsOldValue, const_cast<TField*>(this));
}

Variant TField::GetNewValue() const {
  if (FDataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  return FDataSet->GetStateFieldValue(dsNewValue, const_cast<TField*>(this));
}

void TField::SetNewValue(const Variant& Value) {
  if (FDataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  FDataSet->SetStateFieldValue(dsNewValue, this, Value);
}

Variant TField::GetCurValue() const {
  if (FDataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  return FDataSet->GetStateFieldValue(dsCurValue, const_cast<TField*>(this));
}

void TField::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (const auto* field = dynamic_cast<const TField*>(Source)) {
    SetAsVariant(field->GetAsVariant());
    return;
  }
  TPersistent::Assign(Source);
}

void TField::FocusControl() {
  if (FDataSet != nullptr && FDataSet->GetActive()) {
    TField* field = this;
    FDataSet->DataEvent(deFocusControl, reinterpret_cast<std::intptr_t>(&field));
  }
}

// ---- TStringField -------------------------------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  FSize = 20;
}

void TStringField::SetFixedChar(bool Value) {
  CheckInactive();
  SetDataType(Value ? ftFixedChar : ftString);
}

bool TStringField::GetValue(std::string& Value) const {
  const int size = GetDataSize();
  if (size <= 0) return false;
  if (size <= SmallBufferSize) {
    char buffer[SmallBufferSize];
    if (!GetData(buffer)) return false;
    buffer[size - 1] = '\0';
    Value.assign(buffer, ::strnlen(buffer, static_cast<std::size_t>(size)));
    return true;
  }
  std::string buffer(static_cast<std::size_t>(size), '\0');
  if (!GetData(buffer.data())) return false;
  buffer[static_cast<std::size_t>(size) - 1] = '\0';
  buffer.resize(::strnlen(buffer.data(), buffer.size()));
  Value = std::move(buffer);
  return true;
}

std::string TStringField::Fit(const std::string& Value) const {
  // Stored text ends at its first NUL; the byte limit keeps it inside the buffer.
  std::string text = Value.substr(0, std::min(Value.size(), Value.find('\0')));
  return CutUtf8(text, static_cast<std::size_t>(std::max(0, GetSize())));
}

std::string TStringField::GetAsString() const {
  std::string value;
  GetValue(value);
  return value;
}

void TStringField::SetAsString(const std::string& Value) {
  const std::string text = Fit(Value);
  const int size = GetDataSize();
  if (size <= SmallBufferSize) {
    char buffer[SmallBufferSize] = {};
    std::memcpy(buffer, text.data(), text.size());
    SetData(buffer);
  } else {
    std::string buffer(static_cast<std::size_t>(size), '\0');
    std::memcpy(buffer.data(), text.data(), text.size());
    SetData(buffer.data());
  }
}

std::int32_t TStringField::GetAsInteger() const {
  std::string value;
  return GetValue(value) ? StrToInt(TrimBlanks(value)) : 0;
}

void TStringField::SetAsInteger(std::int32_t Value) { SetAsString(IntToStr(Value)); }

std::int64_t TStringField::GetAsLargeInt() const {
  std::string value;
  return GetValue(value) ? StrToInt64(TrimBlanks(value)) : 0;
}

void TStringField::SetAsLargeInt(std::int64_t Value) { SetAsString(IntToStr(Value)); }

double TStringField::GetAsFloat() const {
  std::string value;
  return GetValue(value) ? StrToFloat(value) : 0.0;
}

void TStringField::SetAsFloat(double Value) { SetAsString(FloatToStr(Value)); }

Currency TStringField::GetAsCurrency() const {
  std::string value;
  return GetValue(value) ? StrToCurr(value) : Currency();
}

void TStringField::SetAsCurrency(Currency Value) { SetAsString(CurrToStr(Value)); }

bool TStringField::GetAsBoolean() const {
  std::string value;
  if (!GetValue(value) || value.empty()) return false;
  const char c = value[0];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

void TStringField::SetAsBoolean(bool Value) { SetAsString(Value ? "T" : "F"); }

TDateTime TStringField::GetAsDateTime() const {
  std::string value;
  return GetValue(value) ? StrToDateTime(value) : TDateTime();
}

void TStringField::SetAsDateTime(TDateTime Value) { SetAsString(DateTimeToStr(Value)); }

Variant TStringField::GetAsVariant() const {
  std::string value;
  if (!GetValue(value)) return Null();
  return Variant(std::move(value));
}

TWideStringField::TWideStringField(TComponent* AOwner) : TStringField(AOwner) {
  SetDataType(ftWideString);
}

std::string TWideStringField::Fit(const std::string& Value) const {
  // Size counts UTF-16 units: a character beyond the Basic Multilingual Plane takes two.
  const std::string text = Value.substr(0, std::min(Value.size(), Value.find('\0')));
  const std::size_t limit = static_cast<std::size_t>(std::max(0, GetSize()));
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    const std::size_t needed = length == 4 ? 2 : 1;
    if (units + needed > limit || i + length > text.size()) break;
    units += needed;
    i += length;
  }
  return text.substr(0, i);
}

// ---- numbers ------------------------------------------------------------------------------

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) {}

void TNumericField::SetDisplayFormat(const std::string& Value) {
  FDisplayFormat = Value;
  PropertyChanged(false);
}

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftInteger); }

bool TIntegerField::ReadValue(std::int32_t& Value) const { return GetData(&Value); }

void TIntegerField::WriteValue(std::int32_t Value) { SetData(&Value); }

void TIntegerField::CheckRange(std::int64_t Value) const {
  std::int64_t low = FMinRange;
  std::int64_t high = FMaxRange;
  if (FMinValue != 0 || FMaxValue != 0) {
    low = std::max<std::int64_t>(low, FMinValue);
    high = std::min<std::int64_t>(high, FMaxValue);
  }
  if (Value < low || Value > high) {
    RangeError(static_cast<double>(Value), static_cast<double>(low), static_cast<double>(high));
  }
}

std::int32_t TIntegerField::GetAsInteger() const {
  std::int32_t value = 0;
  return ReadValue(value) ? value : 0;
}

void TIntegerField::SetAsInteger(std::int32_t Value) {
  CheckRange(Value);
  WriteValue(Value);
}

std::int64_t TIntegerField::GetAsLargeInt() const { return GetAsInteger(); }

void TIntegerField::SetAsLargeInt(std::int64_t Value) {
  CheckRange(Value);
  WriteValue(static_cast<std::int32_t>(Value));
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloat(double Value) {
  if (!std::isfinite(Value) || Value < -9.2e18 || Value > 9.2e18) {
    RangeError(Value, static_cast<double>(FMinRange), static_cast<double>(FMaxRange));
  }
  SetAsLargeInt(Round(Value));
}

Currency TIntegerField::GetAsCurrency() const { return Currency::FromInt(GetAsInteger()); }

void TIntegerField::SetAsCurrency(Currency Value) { SetAsLargeInt(Value.Round()); }

bool TIntegerField::GetAsBoolean() const { return GetAsInteger() != 0; }

void TIntegerField::SetAsBoolean(bool Value) { SetAsInteger(Value ? 1 : 0); }

std::string TIntegerField::GetAsString() const {
  std::int32_t value = 0;
  return ReadValue(value) ? IntToStr(value) : std::string();
}

void TIntegerField::SetAsString(const std::string& Value) { SetIntegerText(*this, Value); }

Variant TIntegerField::GetAsVariant() const {
  std::int32_t value = 0;
  if (!ReadValue(value)) return Null();
  switch (GetDataType()) {
    case ftSmallint:
      return Variant(static_cast<short>(value));
    case ftWord:
      return Variant(static_cast<unsigned short>(value));
    default:
      return Variant(value);
  }
}

void TIntegerField::GetTextValue(std::string& Text, bool DisplayText) const {
  std::int32_t value = 0;
  if (!ReadValue(value)) {
    Text.clear();
    return;
  }
  const std::string& format = DisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  Text = format.empty() ? IntToStr(value) : FormatFloat(format, value);
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftSmallint);
  FMinRange = -32768;
  FMaxRange = 32767;
}

bool TSmallintField::ReadValue(std::int32_t& Value) const {
  std::int16_t value = 0;
  if (!GetData(&value)) return false;
  Value = value;
  return true;
}

void TSmallintField::WriteValue(std::int32_t Value) {
  const std::int16_t value = static_cast<std::int16_t>(Value);
  SetData(&value);
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftWord);
  FMinRange = 0;
  FMaxRange = 65535;
}

bool TWordField::ReadValue(std::int32_t& Value) const {
  std::uint16_t value = 0;
  if (!GetData(&value)) return false;
  Value = value;
  return true;
}

void TWordField::WriteValue(std::int32_t Value) {
  const std::uint16_t value = static_cast<std::uint16_t>(Value);
  SetData(&value);
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) { SetDataType(ftAutoInc); }

TLargeintField::TLargeintField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftLargeint); }

std::int64_t TLargeintField::GetAsLargeInt() const {
  std::int64_t value = 0;
  return GetData(&value) ? value : 0;
}

void TLargeintField::SetAsLargeInt(std::int64_t Value) {
  if ((FMinValue != 0 || FMaxValue != 0) && (Value < FMinValue || Value > FMaxValue)) {
    RangeError(static_cast<double>(Value), static_cast<double>(FMinValue), static_cast<double>(FMaxValue));
  }
  SetData(&Value);
}

std::int32_t TLargeintField::GetAsInteger() const {
  const std::int64_t value = GetAsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) {
    RangeError(static_cast<double>(value), static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX));
  }
  return static_cast<std::int32_t>(value);
}

void TLargeintField::SetAsInteger(std::int32_t Value) { SetAsLargeInt(Value); }

double TLargeintField::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }

void TLargeintField::SetAsFloat(double Value) {
  if (!std::isfinite(Value) || Value < -9.2e18 || Value > 9.2e18) {
    RangeError(Value, -9.2e18, 9.2e18);
  }
  SetAsLargeInt(Round(Value));
}

Currency TLargeintField::GetAsCurrency() const { return Currency::FromInt(GetAsLargeInt()); }

void TLargeintField::SetAsCurrency(Currency Value) { SetAsLargeInt(Value.Round()); }

std::string TLargeintField::GetAsString() const {
  std::int64_t value = 0;
  return GetData(&value) ? IntToStr(value) : std::string();
}

void TLargeintField::SetAsString(const std::string& Value) { SetIntegerText(*this, Value); }

Variant TLargeintField::GetAsVariant() const {
  std::int64_t value = 0;
  if (!GetData(&value)) return Null();
  return Variant(static_cast<long long>(value));
}

void TLargeintField::GetTextValue(std::string& Text, bool DisplayText) const {
  std::int64_t value = 0;
  if (!GetData(&value)) {
    Text.clear();
    return;
  }
  const std::string& format = DisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  Text = format.empty() ? IntToStr(value) : FormatFloat(format, static_cast<double>(value));
}

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftFloat); }

void TFloatField::SetPrecision(int Value) {
  FPrecision = std::clamp(Value < 2 ? 15 : Value, 2, 15);
  PropertyChanged(false);
}

void TFloatField::SetCurrency(bool Value) {
  FCurrency = Value;
  PropertyChanged(false);
}

double TFloatField::GetAsFloat() const {
  double value = 0;
  return GetData(&value) ? value : 0.0;
}

void TFloatField::SetAsFloat(double Value) {
  if ((FMinValue != 0 || FMaxValue != 0) && (Value < FMinValue || Value > FMaxValue)) {
    RangeError(Value, FMinValue, FMaxValue);
  }
  SetData(&Value);
}

std::int32_t TFloatField::GetAsInteger() const {
  const double value = GetAsFloat();
  if (!(value >= INT32_MIN - 0.5 && value < INT32_MAX + 0.5)) {
    RangeError(value, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX));
  }
  return static_cast<std::int32_t>(Round(value));
}

void TFloatField::SetAsInteger(std::int32_t Value) { SetAsFloat(Value); }

std::int64_t TFloatField::GetAsLargeInt() const {
  const double value = GetAsFloat();
  if (!std::isfinite(value) || value < -9.2e18 || value > 9.2e18) RangeError(value, -9.2e18, 9.2e18);
  return Round(value);
}

void TFloatField::SetAsLargeInt(std::int64_t Value) { SetAsFloat(static_cast<double>(Value)); }

Currency TFloatField::GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }

void TFloatField::SetAsCurrency(Currency Value) { SetAsFloat(Value.ToDouble()); }

std::string TFloatField::GetAsString() const {
  double value = 0;
  return GetData(&value) ? FloatToStr(value) : std::string();
}

void TFloatField::SetAsString(const std::string& Value) {
  const std::string_view text = TrimBlanks(Value);
  if (text.empty()) {
    Clear();
    return;
  }
  double value = 0;
  if (!TryStrToFloat(text, value)) DatabaseErrorFmt(SInvalidFloatValue, {Value, GetDisplayName()});
  SetAsFloat(value);
}

Variant TFloatField::GetAsVariant() const {
  double value = 0;
  if (!GetData(&value)) return Null();
  return Variant(value);
}

void TFloatField::GetTextValue(std::string& Text, bool DisplayText) const {
  double value = 0;
  if (!GetData(&value)) {
    Text.clear();
    return;
  }
  const std::string& format = DisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  if (!format.empty()) {
    Text = FormatFloat(format, value);
  } else if (FCurrency && DisplayText) {
    Text = FloatToStrF(value, TFloatFormat::ffCurrency, FPrecision, FormatSettings().CurrencyDecimals);
  } else {
    Text = FloatToStrF(value, TFloatFormat::ffGeneral, FPrecision, 0);
  }
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftBCD);
  FSize = 4;
}

void TBCDField::SetPrecision(int Value) {
  CheckInactive();
  FPrecision = std::clamp(Value, 0, MaxFMTBcdDigits);
}

void TBCDField::SetCurrency(bool Value) {
  FCurrency = Value;
  PropertyChanged(false);
}

Currency TBCDField::GetAsCurrency() const {
  Currency value;
  return GetData(&value, false) ? value : Currency();
}

void TBCDField::SetAsCurrency(Currency Value) {
  if ((FMinValue != Currency() || FMaxValue != Currency()) && (Value < FMinValue || Value > FMaxValue)) {
    RangeError(Value.ToDouble(), FMinValue.ToDouble(), FMaxValue.ToDouble());
  }
  SetData(&Value, false);
}

TBcd TBCDField::GetAsBCD() const {
  TBcd value;
  if (!GetData(&value, true)) return TBcd();
  return value;
}

void TBCDField::SetAsBCD(const TBcd& Value) {
  if (FMinValue != Currency() || FMaxValue != Currency()) {
    Currency limitCheck;
    if (!BCDToCurr(Value, limitCheck) || limitCheck < FMinValue || limitCheck > FMaxValue) {
      RangeError(BcdToDouble(Value), FMinValue.ToDouble(), FMaxValue.ToDouble());
    }
  }
  const int precision = FPrecision > 0 ? FPrecision : 32;
  TBcd normalized;
  if (!NormalizeBcd(Value, normalized, precision, std::clamp(GetSize(), 0, precision))) {
    DatabaseError(SBCDOverflow, GetDataSet());
  }
  SetData(&normalized, true);
}

std::int32_t TBCDField::GetAsInteger() const {
  const std::int64_t value = GetAsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) {
    RangeError(static_cast<double>(value), static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX));
  }
  return static_cast<std::int32_t>(value);
}

void TBCDField::SetAsInteger(std::int32_t Value) { SetAsBCD(IntegerToBcd(Value)); }

std::int64_t TBCDField::GetAsLargeInt() const {
  TBcd value;
  return GetData(&value, true) ? BcdToInt64(value) : 0;
}

void TBCDField::SetAsLargeInt(std::int64_t Value) { SetAsBCD(IntegerToBcd(Value)); }

double TBCDField::GetAsFloat() const {
  TBcd value;
  return GetData(&value, true) ? BcdToDouble(value) : 0.0;
}

void TBCDField::SetAsFloat(double Value) {
  if (!std::isfinite(Value)) DatabaseErrorFmt(SInvalidFloatValue, {FloatToStr(Value), GetDisplayName()});
  SetAsBCD(DoubleToBcd(Value));
}

std::string TBCDField::GetAsString() const {
  TBcd value;
  return GetData(&value, true) ? BcdToStr(value) : std::string();
}

void TBCDField::SetAsString(const std::string& Value) {
  const std::string_view text = TrimBlanks(Value);
  if (text.empty()) {
    Clear();
    return;
  }
  TBcd value;
  if (!TryStrToBcd(text, value)) DatabaseErrorFmt(SInvalidFloatValue, {Value, GetDisplayName()});
  SetAsBCD(value);
}

Variant TBCDField::GetAsVariant() const {
  Currency value;
  if (!GetData(&value, false)) return Null();
  return Variant(value);
}

void TBCDField::GetTextValue(std::string& Text, bool DisplayText) const {
  TBcd value;
  if (!GetData(&value, true)) {
    Text.clear();
    return;
  }
  const std::string& format = DisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  if (!format.empty()) {
    Text = FormatFloat(format, BcdToDouble(value));
  } else if (FCurrency && DisplayText) {
    Currency c;
    Text = BCDToCurr(value, c) ? CurrToStrF(c, TFloatFormat::ffCurrency, FormatSettings().CurrencyDecimals)
                               : BcdToStr(value);
  } else {
    Text = BcdToStr(value);
  }
}

// ---- TBooleanField ------------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& Value) {
  FDisplayValues = Value;
  const std::size_t separator = Value.find(';');
  FTrueText = Value.substr(0, separator);
  FFalseText = separator == std::string::npos ? std::string() : Value.substr(separator + 1);
  PropertyChanged(false);
}

std::string TBooleanField::TrueText() const {
  return FDisplayValues.empty() ? STextTrue.Text() : FTrueText;
}

std::string TBooleanField::FalseText() const {
  return FDisplayValues.empty() ? STextFalse.Text() : FFalseText;
}

bool TBooleanField::GetAsBoolean() const {
  std::int16_t value = 0;
  return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBoolean(bool Value) {
  const std::int16_t value = Value ? -1 : 0;
  SetData(&value);
}

std::string TBooleanField::GetAsString() const {
  std::int16_t value = 0;
  if (!GetData(&value)) return {};
  return value != 0 ? TrueText() : FalseText();
}

void TBooleanField::SetAsString(const std::string& Value) {
  const std::string_view text = TrimBlanks(Value);
  if (text.empty()) {
    Clear();
    return;
  }
  auto begins = [&](const std::string& word) {
    if (text.size() > word.size()) return false;
    const std::string_view head(word.data(), text.size());
    return SameFieldName(head, text);
  };
  // A prefix of either word counts ("t", "fal"); the false word is tried first.
  if (begins(FalseText())) {
    SetAsBoolean(false);
  } else if (begins(TrueText())) {
    SetAsBoolean(true);
  } else {
    DatabaseErrorFmt(SInvalidBoolValue, {Value, GetDisplayName()});
  }
}

Variant TBooleanField::GetAsVariant() const {
  std::int16_t value = 0;
  if (!GetData(&value)) return Null();
  return Variant(value != 0);
}

// ---- dates and times ----------------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftDateTime); }

void TDateTimeField::SetDisplayFormat(const std::string& Value) {
  FDisplayFormat = Value;
  PropertyChanged(false);
}

TDateTime TDateTimeField::GetAsDateTime() const {
  double value = 0;
  return GetData(&value, false) ? TDateTime(value) : TDateTime();
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
  const double value = Value;
  SetData(&value, false);
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }

void TDateTimeField::SetAsFloat(double Value) { SetAsDateTime(TDateTime(Value)); }

std::string TDateTimeField::DefaultText(TDateTime Value) const { return DateTimeToStr(Value); }

TDateTime TDateTimeField::ParseText(const std::string& Value) const {
  TDateTime result;
  if (!TryStrToDateTime(Value, result)) DatabaseErrorFmt(SInvalidDateTimeValue, {Value, GetDisplayName()});
  return result;
}

std::string TDateTimeField::GetAsString() const {
  double value = 0;
  return GetData(&value, false) ? DefaultText(TDateTime(value)) : std::string();
}

void TDateTimeField::SetAsString(const std::string& Value) {
  if (TrimBlanks(Value).empty()) {
    Clear();
    return;
  }
  SetAsDateTime(ParseText(Value));
}

Variant TDateTimeField::GetAsVariant() const {
  double value = 0;
  if (!GetData(&value, false)) return Null();
  return Variant(TDateTime(value));
}

void TDateTimeField::GetTextValue(std::string& Text, bool DisplayText) const {
  double value = 0;
  if (!GetData(&value, false)) {
    Text.clear();
    return;
  }
  Text = DisplayText && !FDisplayFormat.empty() ? FormatDateTime(FDisplayFormat, TDateTime(value))
                                                : DefaultText(TDateTime(value));
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }

std::string TDateField::DefaultText(TDateTime Value) const { return DateToStr(Value); }

TDateTime TDateField::ParseText(const std::string& Value) const {
  TDateTime result;
  if (!TryStrToDate(Value, result) && !TryStrToDateTime(Value, result)) {
    DatabaseErrorFmt(SInvalidDateTimeValue, {Value, GetDisplayName()});
  }
  return result;
}

TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }

std::string TTimeField::DefaultText(TDateTime Value) const { return TimeToStr(Value); }

TDateTime TTimeField::ParseText(const std::string& Value) const {
  TDateTime result;
  if (!TryStrToTime(Value, result)) DatabaseErrorFmt(SInvalidDateTimeValue, {Value, GetDisplayName()});
  return result;
}

// ---- binary data --------------------------------------------------------------------------

TBinaryField::TBinaryField(TComponent* AOwner) : TField(AOwner) {}

std::string TBinaryField::GetAsString() const {
  const TBytes bytes = GetAsBytes();
  return std::string(bytes.begin(), bytes.end());
}

void TBinaryField::SetAsString(const std::string& Value) { SetAsBytes(TBytes(Value.begin(), Value.end())); }

TBytes TBinaryField::GetAsBytes() const { return {}; }

void TBinaryField::SetAsBytes(const TBytes& /*Value*/) { AccessError("Bytes"); }

Variant TBinaryField::GetAsVariant() const {
  if (GetIsNull()) return Null();
  return BytesVariant(GetAsBytes());
}

void TBinaryField::SetVarValue(const Variant& Value) { SetAsBytes(VariantBytes(Value)); }

TBytesField::TBytesField(TComponent* AOwner) : TBinaryField(AOwner) {
  SetDataType(ftBytes);
  FSize = 16;
}

TBytes TBytesField::GetAsBytes() const {
  TBytes buffer(static_cast<std::size_t>(std::max(0, GetDataSize())));
  if (buffer.empty() || !GetData(buffer.data())) return {};
  return buffer;
}

void TBytesField::SetAsBytes(const TBytes& Value) {
  if (Value.size() > static_cast<std::size_t>(GetSize())) DatabaseErrorFmt(SFieldValueError, {GetDisplayName()});
  TBytes buffer(static_cast<std::size_t>(GetDataSize()), 0);
  std::copy(Value.begin(), Value.end(), buffer.begin());
  SetData(buffer.data());
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBinaryField(AOwner) {
  SetDataType(ftVarBytes);
  FSize = 16;
}

TBytes TVarBytesField::GetAsBytes() const {
  TBytes buffer(static_cast<std::size_t>(GetDataSize()));
  if (!GetData(buffer.data())) return {};
  std::uint16_t length = 0;
  std::memcpy(&length, buffer.data(), sizeof length);
  length = static_cast<std::uint16_t>(std::min<int>(length, GetSize()));
  return TBytes(buffer.begin() + 2, buffer.begin() + 2 + length);
}

void TVarBytesField::SetAsBytes(const TBytes& Value) {
  if (Value.size() > static_cast<std::size_t>(GetSize()) || Value.size() > 0xFFFF) {
    DatabaseErrorFmt(SFieldValueError, {GetDisplayName()});
  }
  TBytes buffer(static_cast<std::size_t>(GetDataSize()), 0);
  const std::uint16_t length = static_cast<std::uint16_t>(Value.size());
  std::memcpy(buffer.data(), &length, sizeof length);
  std::copy(Value.begin(), Value.end(), buffer.begin() + 2);
  SetData(buffer.data());
}

// ---- BLOB fields --------------------------------------------------------------------------

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }

void TBlobField::SetBlobType(TFieldType Value) {
  CheckInactive();
  SetDataType(Value);
}

std::int64_t TBlobField::GetBlobSize() const {
  if (GetDataSet() == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  std::unique_ptr<TStream> stream =
      GetDataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  return stream ? stream->Size() : 0;
}

TBytes TBlobField::GetAsBytes() const {
  if (GetDataSet() == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  std::unique_ptr<TStream> stream =
      GetDataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  TBytes result;
  if (!stream) return result;
  const std::int64_t size = stream->Size();
  if (size > 0) {
    result.resize(static_cast<std::size_t>(size));
    const std::int64_t read = stream->Read(result.data(), size);
    result.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, read)));
  }
  return result;
}

void TBlobField::WriteBytes(const void* Data, std::size_t Length) {
  if (GetDataSet() == nullptr) DatabaseErrorFmt(SDataSetMissing, {GetDisplayName()});
  std::unique_ptr<TStream> stream = GetDataSet()->CreateBlobStream(this, bmWrite);
  if (!stream) DatabaseErrorFmt(SBlobStreamMissing, {GetDisplayName()}, GetDataSet());
  if (Length > 0) stream->WriteBuffer(Data, static_cast<std::int64_t>(Length));
  // A stream that kept older bytes beyond the new value is cut.
  if (stream->Size() > static_cast<std::int64_t>(Length)) stream->SetSize(static_cast<std::int64_t>(Length));
  stream.reset();
  FModified = true;
}

void TBlobField::SetAsBytes(const TBytes& Value) { WriteBytes(Value.data(), Value.size()); }

std::string TBlobField::GetAsString() const {
  const TBytes bytes = GetAsBytes();
  return std::string(bytes.begin(), bytes.end());
}

void TBlobField::SetAsString(const std::string& Value) { WriteBytes(Value.data(), Value.size()); }

void TBlobField::Clear() { WriteBytes(nullptr, 0); }

bool TBlobField::GetIsNull() const {
  if (FModified) return GetBlobSize() == 0;
  return TField::GetIsNull();
}

void TBlobField::LoadFromStream(TStream* Stream) {
  TBytes bytes;
  const std::int64_t size = Stream->Size() - Stream->Position();
  if (size > 0) {
    bytes.resize(static_cast<std::size_t>(size));
    Stream->ReadBuffer(bytes.data(), size);
  }
  SetAsBytes(bytes);
}

void TBlobField::SaveToStream(TStream* Stream) const {
  const TBytes bytes = GetAsBytes();
  if (!bytes.empty()) Stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

Variant TBlobField::GetAsVariant() const {
  if (GetIsNull()) return Null();
  return BytesVariant(GetAsBytes());
}

void TBlobField::SetVarValue(const Variant& Value) { SetAsBytes(VariantBytes(Value)); }

void TBlobField::GetTextValue(std::string& Text, bool DisplayText) const {
  if (DisplayText) {
    Text = GetIsNull() ? "(blob)" : "(BLOB)";
  } else {
    Text = GetAsString();
  }
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftMemo); }

Variant TMemoField::GetAsVariant() const {
  if (GetIsNull()) return Null();
  return Variant(GetAsString());
}

void TMemoField::SetVarValue(const Variant& Value) { SetAsString(Value.AsString()); }

void TMemoField::GetTextValue(std::string& Text, bool DisplayText) const {
  if (DisplayText) {
    Text = GetIsNull() ? "(memo)" : "(MEMO)";
  } else {
    Text = GetAsString();
  }
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftGraphic); }

// ---- field classes ------------------------------------------------------------------------

namespace {

template <class T>
TField* Make(TComponent* Owner) {
  return TComponent::Create<T>(Owner);
}

TField* MakeFixedChar(TComponent* Owner) {
  TStringField* field = TComponent::Create<TStringField>(Owner);
  field->SetFixedChar(true);
  return field;
}

template <TFieldType Type>
TField* MakeBlob(TComponent* Owner) {
  TBlobField* field = TComponent::Create<TBlobField>(Owner);
  field->SetBlobType(Type);
  return field;
}

TField* MakeFmtMemo(TComponent* Owner) {
  TMemoField* field = TComponent::Create<TMemoField>(Owner);
  field->SetBlobType(ftFmtMemo);
  return field;
}

}  // namespace

TFieldClass DefaultFieldClass(TFieldType Type) {
  switch (Type) {
    case ftString: return &Make<TStringField>;
    case ftFixedChar: return &MakeFixedChar;
    case ftWideString: return &Make<TWideStringField>;
    case ftSmallint: return &Make<TSmallintField>;
    case ftInteger: return &Make<TIntegerField>;
    case ftWord: return &Make<TWordField>;
    case ftAutoInc: return &Make<TAutoIncField>;
    case ftLargeint: return &Make<TLargeintField>;
    case ftBoolean: return &Make<TBooleanField>;
    case ftFloat: return &Make<TFloatField>;
    case ftCurrency: return &Make<TCurrencyField>;
    case ftBCD: return &Make<TBCDField>;
    case ftDate: return &Make<TDateField>;
    case ftTime: return &Make<TTimeField>;
    case ftDateTime: return &Make<TDateTimeField>;
    case ftBytes: return &Make<TBytesField>;
    case ftVarBytes: return &Make<TVarBytesField>;
    case ftBlob: return &Make<TBlobField>;
    case ftMemo: return &Make<TMemoField>;
    case ftFmtMemo: return &MakeFmtMemo;
    case ftGraphic: return &Make<TGraphicField>;
    case ftTypedBinary: return &MakeBlob<ftTypedBinary>;
    case ftParadoxOle: return &MakeBlob<ftParadoxOle>;
    case ftDBaseOle: return &MakeBlob<ftDBaseOle>;
    default: return nullptr;
  }
}

// ---- TFields ------------------------------------------------------------------------------

TField* TFields::Fields(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FList[static_cast<std::size_t>(Index)];
}

int TFields::IndexOf(const TField* Field) const {
  auto it = std::find(FList.begin(), FList.end(), Field);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

TField* TFields::FindField(std::string_view FieldName) const {
  for (TField* field : FList) {
    if (SameFieldName(field->GetFieldName(), FieldName)) return field;
  }
  return nullptr;
}

TField* TFields::FieldByName(std::string_view FieldName) const {
  TField* field = FindField(FieldName);
  if (field == nullptr) DatabaseErrorFmt(SFieldNotFound, {FieldName}, FDataSet);
  return field;
}

TField* TFields::FieldByNumber(int FieldNo) const {
  for (TField* field : FList) {
    if (field->GetFieldNo() == FieldNo) return field;
  }
  return nullptr;
}

void TFields::Add(TField* Field) { FList.push_back(Field); }

void TFields::Remove(TField* Field) {
  auto it = std::find(FList.begin(), FList.end(), Field);
  if (it != FList.end()) FList.erase(it);
}

void TFields::SetFieldIndex(TField* Field, int Value) {
  const int current = IndexOf(Field);
  if (current < 0) return;
  Value = std::clamp(Value, 0, Count() - 1);
  if (Value == current) return;
  FList.erase(FList.begin() + current);
  FList.insert(FList.begin() + Value, Field);
}

}  // namespace host
